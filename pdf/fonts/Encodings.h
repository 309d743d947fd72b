#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "data/Tables.h"

namespace qm {

// code → glyph name tables of the PDF standard and of the two symbol fonts.
using TkwPDEncodingTable = data::TkwEncodingTable;

[[nodiscard]] const TkwPDEncodingTable& GetStandardEncoding();
[[nodiscard]] const TkwPDEncodingTable& GetWinAnsiEncoding();
[[nodiscard]] const TkwPDEncodingTable& GetMacRomanEncoding();   // "UL" at 127
[[nodiscard]] const TkwPDEncodingTable& GetMacExpertEncoding();
[[nodiscard]] const TkwPDEncodingTable& GetSymbolEncoding();
[[nodiscard]] const TkwPDEncodingTable& GetZapfDingbatsEncoding();

// The name of glyph AIndex in the standard Macintosh glyph order, which TrueType fonts
// name by index in their 'post' table and which the core text faces of Windows and macOS
// (Times New Roman, Arial, Courier New...) keep for their first 258 glyphs; empty past it.
[[nodiscard]] std::string_view MacStandardGlyphName(std::size_t AIndex);

// The table for an encoding name as a font dictionary writes it ("WinAnsiEncoding",
// "MacRomanEncoding", "MacExpertEncoding", "StandardEncoding"); nullptr for any other name.
[[nodiscard]] const TkwPDEncodingTable* FindEncodingByName(std::string_view AName);

// The code of the same glyph in the Symbol font's built-in encoding, 0 when Symbol has no
// such glyph. U+0020 and U+00A0 give 32; the Greek letters are found under both their Greek
// and their symbol code points (U+03A9 and U+2126 give Omega, U+0394 and U+2206 Delta,
// U+03BC and U+00B5 mu); Adobe's private-use values name the glyphs without a standard one.
[[nodiscard]] std::uint16_t UnicodeToSymbolCode(std::uint16_t AValue);

}  // namespace qm
