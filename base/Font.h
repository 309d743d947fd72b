#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "base/Color.h"

// The font description every stage passes along with text: the extractor chooses it, the
// formatter groups runs by it, the writer puts it in the font table.
namespace qm {

// Font style bits, in the order the RTF runs store them.
using TFontStyles = std::uint8_t;
inline constexpr TFontStyles fsBold = 1;
inline constexpr TFontStyles fsItalic = 2;
inline constexpr TFontStyles fsUnderline = 4;
inline constexpr TFontStyles fsStrikeOut = 8;
inline constexpr TFontStyles fsDoubleUnderline = 16;
inline constexpr TFontStyles fsDottedUnderline = 32;  // with fsUnderline: the underline is dotted

inline constexpr std::uint8_t kDefaultCharset = 1;  // DEFAULT_CHARSET
inline constexpr std::uint8_t kAnsiCharset = 0;
inline constexpr std::uint8_t kSymbolCharset = 2;

// The font a run is shown in when its PDF font matches no installed family and no class
// of font chose another.
inline constexpr std::string_view kFallbackFontName = "Arial Unicode MS";

// Whether two font names are equal, as ==, with names of 4 to 16 bytes (nearly all)
// compared by two overlapping loads rather than a library call: the glyph intake compares
// the names of the fonts of neighbouring glyphs for every glyph.
[[nodiscard]] inline bool SameFontName(const std::string& A, const std::string& B) {
  const std::size_t n = A.size();
  if (n != B.size()) return false;
  const char* a = A.data();
  const char* b = B.data();
  if (n >= 8 && n <= 16) {
    std::uint64_t a0, a1, b0, b1;
    std::memcpy(&a0, a, 8);
    std::memcpy(&b0, b, 8);
    std::memcpy(&a1, a + n - 8, 8);
    std::memcpy(&b1, b + n - 8, 8);
    return a0 == b0 && a1 == b1;
  }
  if (n >= 4 && n < 8) {
    std::uint32_t a0, a1, b0, b1;
    std::memcpy(&a0, a, 4);
    std::memcpy(&b0, b, 4);
    std::memcpy(&a1, a + n - 4, 4);
    std::memcpy(&b1, b + n - 4, 4);
    return a0 == b0 && a1 == b1;
  }
  return A == B;
}

struct TFont {
  std::string Name = "Arial";  // face name, UTF-8
  int Size = 10;               // points
  TFontStyles Style = 0;
  TColor Color = clBlack;
  std::uint8_t Charset = kDefaultCharset;
  bool operator==(const TFont&) const = default;
};

}  // namespace qm
