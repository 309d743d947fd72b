#pragma once

#include <array>
#include <string>
#include <string_view>

#include "data/Tables.h"
#include "pdf/fonts/Encodings.h"

namespace qm {

// Metrics of one of the 14 standard fonts, from Adobe's Core 14 AFM files. Immutable.
class TkwBuiltInFont {
public:
  explicit TkwBuiltInFont(const data::TkwAfmFont& AFont);

  // Width of a glyph in font units (1/1000 em), -1 when the font has no glyph of that name.
  [[nodiscard]] double GetWidth(std::string_view AGlyphName) const;

  [[nodiscard]] const std::string& GetName() const { return FName; }
  [[nodiscard]] const std::array<double, 4>& GetBBox() const { return FBBox; }  // font units
  [[nodiscard]] double GetAscender() const { return FAscender; }
  [[nodiscard]] double GetDescender() const { return FDescender; }
  [[nodiscard]] int GetFlags() const { return FFlags; }
  [[nodiscard]] const data::TkwAfmFont& GetMetrics() const { return FMetrics; }
  // The font's own encoding (its AFM codes): StandardEncoding for the text fonts.
  [[nodiscard]] const TkwPDEncodingTable& GetDefaultBaseEnc() const { return FDefaultBaseEnc; }
  // "StandardEncoding", or "FontSpecific" for Symbol and ZapfDingbats.
  [[nodiscard]] const std::string& GetEncodingName() const { return FEncodingName; }

private:
  const data::TkwAfmFont& FMetrics;
  std::string FName;
  std::array<double, 4> FBBox{};
  double FAscender = 0;
  double FDescender = 0;
  int FFlags = 0;
  TkwPDEncodingTable FDefaultBaseEnc{};
  std::string FEncodingName;
};

// The standard font of that exact name ("Helvetica-BoldOblique"), or nullptr. The fonts are
// made once per process and live until it ends; callers borrow them.
[[nodiscard]] const TkwBuiltInFont* MakeBuiltInFont(std::string_view AFontName);

// True for the 14 names MakeBuiltInFont knows.
[[nodiscard]] bool IsStandardFontName(std::string_view AFontName);

}  // namespace qm
