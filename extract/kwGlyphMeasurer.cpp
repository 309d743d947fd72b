#include "extract/kwGlyphMeasurer.h"

#include <algorithm>
#include <cmath>

#include "base/Limits.h"
#include "base/Numbers.h"
#include "pdf/content/kwPDState.h"
#include "platform/kwFontFace.h"
#include "platform/kwPath2D.h"

namespace qm {

namespace {

// ATranslation * AM, for a translation: the products of the general form that are exact
// (ones and zeros) left out.
TkwMatrix2D TranslatedBefore(const TkwMatrix2D& AM, double ADx, double ADy) {
  return {AM.A, AM.B, AM.C, AM.D, ADx * AM.A + ADy * AM.C + AM.E, ADx * AM.B + ADy * AM.D + AM.F};
}

// The box of an outline that is not drawn: one pixel at the origin.
TkwRect OriginPixel(const TkwMatrix2D& AM) {
  const TkwPoint o = AM.Transform({0, 0});
  const double x = Floor(o.X), y = Floor(o.Y);
  return {x, y, x + 1, y + 1};
}

}  // namespace

TkwGlyphMeasurer::TkwGlyphMeasurer(const std::vector<std::string>& AInstalledFonts)
    : FInstalledFonts(AInstalledFonts) {}

TkwGlyphMeasurer::~TkwGlyphMeasurer() = default;

void TkwGlyphMeasurer::SelectFace(const TFont& ASystemFont, bool AEmbedded) {
  FMeasureFace.reset();
  FEmbedded = AEmbedded;
  if (FEmbedded) return;
  const bool bold = (ASystemFont.Style & fsBold) != 0;
  const bool italic = (ASystemFont.Style & fsItalic) != 0;
  FMeasureFace = GetSystemFace(kFallbackFontName, bold, italic);
  if (!FMeasureFace) FMeasureFace = GetSystemFace("Arial", bold, italic);
  if (!FMeasureFace && !FInstalledFonts.empty()) {
    FMeasureFace = GetSystemFace(FInstalledFonts.front(), bold, italic);
  }
}

const TkwGlyphMeasurer::TGlyphBox& TkwGlyphMeasurer::GlyphBox(const TkwFontFace& AFace, char32_t ACode) {
  auto key = std::make_pair(&AFace, ACode);
  auto it = FBoxes.find(key);
  if (it != FBoxes.end()) return it->second;
  TGlyphBox box;
  const unsigned glyph = AFace.GetGlyphIndex(ACode);
  if (glyph != 0 || ACode == 0) {
    TkwPath2D path = AFace.GetGlyphPath(glyph);
    if (!path.IsEmpty()) {
      box.Box = path.GetBounds(1.0);
      box.Empty = false;
    }
  }
  // Fonts of a long document must not pile up; the slots of single-byte codes hold copies.
  if (FBoxes.size() > kMaxGlyphBoxes) FBoxes.clear();
  return FBoxes.emplace(key, box).first->second;
}

const TkwRect* TkwGlyphMeasurer::GlyphBoxSlow(const TkwFontFace& AFace, char32_t ACode) {
  if (ACode >= 256) {
    const TGlyphBox& gb = GlyphBox(AFace, ACode);
    return gb.Empty ? nullptr : &gb.Box;
  }
  if (FBoxSlot == nullptr || FBoxSlot->Face != &AFace) {
    FBoxSlot = nullptr;
    for (TBoxSlot& slot : FBoxSlots) {
      if (slot.Face == &AFace) FBoxSlot = &slot;
    }
    if (FBoxSlot == nullptr) {
      FBoxSlot = &FBoxSlots[FBoxSlotNext];
      FBoxSlotNext = (FBoxSlotNext + 1) % FBoxSlots.size();
      FBoxSlot->Face = &AFace;
      FBoxSlot->Boxes.assign(256, TBoxEntry{});
    }
  }
  TBoxEntry& entry = FBoxSlot->Boxes[ACode];
  if (!entry.Known) {
    const TGlyphBox& gb = GlyphBox(AFace, ACode);
    entry = {gb.Box, gb.Empty, true};
  }
  return entry.Empty ? nullptr : &entry.Box;
}

void TkwGlyphMeasurer::Prepare(const TkwPDState& AState, const TkwMatrix2D& ASurface) {
  const TkwPDMatrix& tm = AState.FTextMatrix;
  const TkwMatrix2D text{tm.FM11, -tm.FM12, -tm.FM21, tm.FM22, tm.FDx, -tm.FDy};
  if (!FTextSurfaceValid || !(text == FTextSurfaceTm) || !(ASurface == FTextSurfaceOf)) {
    FTextSurface = text * ASurface;
    FTextSurfaceTm = text;
    FTextSurfaceOf = ASurface;
    FTextSurfaceValid = true;
  }
  if (FEmbedded || !FMeasureFace) return;
  const double fs = AState.FFontSize;
  const TkwFontFace& face = *FMeasureFace;
  if (FGlyphMetricsFace != &face || !(FGlyphMetricsSize == fs) || !(FGlyphMetricsRise == AState.FRise)) {
    const double upem = face.GetUnitsPerEm() > 0 ? face.GetUnitsPerEm() : 1000;
    const double ascent = face.GetCellAscent() * fs / upem + AState.FRise;
    FGlyphBaseline = -static_cast<double>(RoundEven(ascent)) + face.GetCellAscent() * fs / upem;
    FGlyphScale = fs / upem;
    FGlyphMetricsFace = &face;
    FGlyphMetricsSize = fs;
    FGlyphMetricsRise = AState.FRise;
  }
}

TkwRect TkwGlyphMeasurer::MeasurePrepared(const TkwPDState& AState, double AX, double AY, int ACode) {
  if (FEmbedded || !FMeasureFace) {
    // The embedded program is not drawn: its outline is empty and measures 1 × 1 pixel at
    // the origin, which the text-extent rule then replaces.
    return OriginPixel(TranslatedBefore(FTextSurface, AX, AState.FRise - AY));
  }
  const TkwMatrix2D surface = TranslatedBefore(FTextSurface, AX, -AY);
  const TkwFontFace& face = *FMeasureFace;
  const double baseline = FGlyphBaseline;
  // Font units (y up) to the glyph's layout box (y down), scaled by the horizontal scaling:
  // {sx, 0, 0, -s, 0, baseline} followed by the surface, without the exact zero products.
  const double s = FGlyphScale;
  const double sx = s * AState.FHorizScaling;
  const TkwMatrix2D m{sx * surface.A,
                      sx * surface.B,
                      -s * surface.C,
                      -s * surface.D,
                      baseline * surface.C + surface.E,
                      baseline * surface.D + surface.F};
  const TkwRect* gb = GlyphBoxOf(face, static_cast<char32_t>(ACode));
  if (gb == nullptr) return OriginPixel(m);
  if (m.B == 0 && m.C == 0) {
    // Upright text (nearly all of it): two corners give the box, with the same products.
    const double x1 = m.A * gb->Left + m.E, x2 = m.A * gb->Right + m.E;
    const double y1 = m.D * gb->Top + m.F, y2 = m.D * gb->Bottom + m.F;
    return {Floor(std::min(x1, x2)), Floor(std::min(y1, y2)), Ceil(std::max(x1, x2)), Ceil(std::max(y1, y2))};
  }
  double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
  const TkwPoint corners[4] = {{gb->Left, gb->Top}, {gb->Right, gb->Top},
                               {gb->Right, gb->Bottom}, {gb->Left, gb->Bottom}};
  for (const TkwPoint& c : corners) {
    const TkwPoint p = m.Transform(c);
    minX = std::min(minX, p.X);
    maxX = std::max(maxX, p.X);
    minY = std::min(minY, p.Y);
    maxY = std::max(maxY, p.Y);
  }
  return {Floor(minX), Floor(minY), Ceil(maxX), Ceil(maxY)};
}

TkwTextExtent TkwGlyphMeasurer::CharExtent(const TFont& AFont, char16_t AChar) {
  TkwTextExtent ext;
  if (AFont.Size <= 0) return ext;
  if (!FExtentFaceFound) {
    FExtentFace = GetSystemFace(AFont.Name, (AFont.Style & fsBold) != 0, (AFont.Style & fsItalic) != 0);
    FExtentFaceFound = true;
  }
  if (FLastExtentValid && FLastExtentSize == AFont.Size && FLastExtentChar == AChar) return FLastExtent;
  if (FExtentFace) ext = GetTextExtent(*FExtentFace, AFont.Size, std::u16string_view(&AChar, 1));
  FLastExtentValid = true;
  FLastExtentSize = AFont.Size;
  FLastExtentChar = AChar;
  FLastExtent = ext;
  return ext;
}

}  // namespace qm
