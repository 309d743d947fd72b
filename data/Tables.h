#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

// Published glyph, encoding and font-metric tables, generated at build time from the
// files in data/ (see data/README.md). All data is constant and needs no initialisation.
namespace qm::data {

// One glyph name of a glyph list and the Unicode value(s) it stands for. Most names map to
// one code point; a few stand for a sequence (Count > 1).
struct TkwGlyphUnicode {
  std::string_view Name;
  std::array<char32_t, 4> Codes;
  std::uint8_t Count;
};

// Sorted by Name (byte order), for binary search.
[[nodiscard]] std::span<const TkwGlyphUnicode> AdobeGlyphList();
[[nodiscard]] std::span<const TkwGlyphUnicode> ZapfDingbatsGlyphList();

// code → glyph name; "" where the encoding has no glyph.
using TkwEncodingTable = std::array<std::string_view, 256>;

enum class TkwEncodingId : std::uint8_t {
  eiStandard,
  eiWinAnsi,
  eiMacRoman,   // "UL" at 127
  eiMacExpert,
  eiSymbol,
  eiZapfDingbats,
};
[[nodiscard]] const TkwEncodingTable& Encoding(TkwEncodingId AId);

struct TkwAfmGlyph {
  std::string_view Name;
  std::int16_t Width;  // advance in font units (1/1000 em)
  std::int16_t Code;   // code in the font's built-in encoding, -1 when not encoded
};

struct TkwAfmFont {
  std::string_view FontName;     // "Helvetica-BoldOblique"
  std::string_view FamilyName;   // "Helvetica"
  std::int16_t Ascender;
  std::int16_t Descender;        // negative
  std::array<std::int16_t, 4> BBox;  // llx lly urx ury
  std::int16_t CapHeight;        // 0 when the file gives none
  std::int16_t XHeight;
  double ItalicAngle;
  std::int32_t Flags;            // as a PDF font descriptor would carry them
  std::span<const TkwAfmGlyph> Glyphs;  // sorted by Name (byte order)
};

// The 14 standard fonts, sorted by FontName.
[[nodiscard]] std::span<const TkwAfmFont> StandardFonts();

}  // namespace qm::data
