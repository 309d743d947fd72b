#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "base/Units.h"
#include "platform/TextMetrics.h"
#include "writer/kwWriterClasses.h"

// Text measuring for the layout analysis: the size of a string in a font on the screen,
// in pixels at the screen resolution. The formatter measures through one of these so that
// tests can lay pages out with fixed metrics.
namespace qm {

class TkwTextMeasurer {
public:
  virtual ~TkwTextMeasurer() = default;
  [[nodiscard]] virtual TkwTextExtent Measure(const TFont& AFont, std::u16string_view AText) = 0;
};

// The screen measurer over the installed fonts.
[[nodiscard]] std::unique_ptr<TkwTextMeasurer> CreateScreenTextMeasurer();

namespace fmt {
// Same name, size and style: what a face's widths depend on (not the colour).
[[nodiscard]] inline bool SameFace(const TFont& A, const TFont& B) {
  return A.Size == B.Size && A.Style == B.Style && SameFontName(A.Name, B.Name);
}
}  // namespace fmt

// Widths the glyph intake asks for on every glyph, kept per face so that a page of text
// measures each font once.
class TkwFontWidthCache {
public:
  explicit TkwFontWidthCache(TkwTextMeasurer& AMeasurer) : FMeasurer(&AMeasurer) {}
  void SetMeasurer(TkwTextMeasurer& AMeasurer);

  // In points.
  struct TEntry {
    double Space = 0;
    double W = 0;
    double SpaceHeight = 0;
  };
  // The three widths at once; the same face as the last call costs a comparison.
  [[nodiscard]] const TEntry& Lookup(const TFont& AFont) {
    if (FLast != nullptr && fmt::SameFace(FLastFont, AFont)) return *FLast;
    return LookupFace(AFont);
  }
  [[nodiscard]] double SpaceWidth(const TFont& AFont) { return Lookup(AFont).Space; }
  [[nodiscard]] double WWidth(const TFont& AFont) { return Lookup(AFont).W; }
  [[nodiscard]] double SpaceHeight(const TFont& AFont) { return Lookup(AFont).SpaceHeight; }
  // Measured width and height of a string, in points.
  [[nodiscard]] double TextWidth(const TFont& AFont, std::u16string_view AText);
  [[nodiscard]] double TextHeight(const TFont& AFont, std::u16string_view AText);
  void Clear();

private:
  const TEntry& LookupFace(const TFont& AFont);

  TkwTextMeasurer* FMeasurer;  // not owned
  std::unordered_map<std::string, TEntry> FEntries;
  TFont FLastFont;
  const TEntry* FLast = nullptr;
};

}  // namespace qm
