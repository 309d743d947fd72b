#include "platform/GlyphOutline.h"

#include <cmath>

namespace qm {

TkwPath2D GetGlyphOutline(const TkwFontFace& AFace, unsigned AGlyph, double AEmSize,
                          const TkwMatrix2D& AMatrix) {
  TkwPath2D path = AFace.GetGlyphPath(AGlyph);
  const double s = AEmSize / AFace.GetUnitsPerEm();
  path.Transform(TkwMatrix2D{s, 0, 0, -s, 0, 0} * AMatrix);
  return path;
}

TkwPath2D LayoutCharOutline(const TkwFontFace& AFace, char32_t ACode, double AEmSize,
                            TkwPoint ALayoutOrigin, const TkwMatrix2D& AMatrix) {
  const double baseline = ALayoutOrigin.Y + AFace.GetCellAscent() * AEmSize / AFace.GetUnitsPerEm();
  return GetGlyphOutline(AFace, AFace.GetGlyphIndex(ACode), AEmSize,
                         TkwMatrix2D::Translation(ALayoutOrigin.X, baseline) * AMatrix);
}

TkwRect GetPixelBounds(const TkwPath2D& AOutline, TkwPoint AEmptyOrigin) {
  if (AOutline.IsEmpty()) {
    const double x = std::floor(AEmptyOrigin.X);
    const double y = std::floor(AEmptyOrigin.Y);
    return {x, y, x + 1, y + 1};
  }
  const TkwRect b = AOutline.GetBounds();
  return {std::floor(b.Left), std::floor(b.Top), std::ceil(b.Right), std::ceil(b.Bottom)};
}

}  // namespace qm
