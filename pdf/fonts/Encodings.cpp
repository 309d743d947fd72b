#include "pdf/fonts/Encodings.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "pdf/fonts/AdobeGlyphList.h"

namespace qm {

const TkwPDEncodingTable& GetStandardEncoding() { return data::Encoding(data::TkwEncodingId::eiStandard); }
const TkwPDEncodingTable& GetWinAnsiEncoding() { return data::Encoding(data::TkwEncodingId::eiWinAnsi); }
const TkwPDEncodingTable& GetMacRomanEncoding() { return data::Encoding(data::TkwEncodingId::eiMacRoman); }
const TkwPDEncodingTable& GetMacExpertEncoding() { return data::Encoding(data::TkwEncodingId::eiMacExpert); }
const TkwPDEncodingTable& GetSymbolEncoding() { return data::Encoding(data::TkwEncodingId::eiSymbol); }
const TkwPDEncodingTable& GetZapfDingbatsEncoding() {
  return data::Encoding(data::TkwEncodingId::eiZapfDingbats);
}

std::string_view MacStandardGlyphName(std::size_t AIndex) {
  // The standard Macintosh glyph order of the TrueType 'post' table.
  static constexpr std::array<std::string_view, 258> kNames{
    ".notdef", ".null", "nonmarkingreturn", "space", "exclam", "quotedbl", "numbersign", "dollar",
    "percent", "ampersand", "quotesingle", "parenleft", "parenright", "asterisk", "plus", "comma",
    "hyphen", "period", "slash", "zero", "one", "two", "three", "four", "five", "six", "seven",
    "eight", "nine", "colon", "semicolon", "less", "equal", "greater", "question", "at", "A", "B",
    "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M", "N", "O", "P", "Q", "R", "S", "T", "U",
    "V", "W", "X", "Y", "Z", "bracketleft", "backslash", "bracketright", "asciicircum",
    "underscore", "grave", "a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "n",
    "o", "p", "q", "r", "s", "t", "u", "v", "w", "x", "y", "z", "braceleft", "bar", "braceright",
    "asciitilde", "Adieresis", "Aring", "Ccedilla", "Eacute", "Ntilde", "Odieresis", "Udieresis",
    "aacute", "agrave", "acircumflex", "adieresis", "atilde", "aring", "ccedilla", "eacute",
    "egrave", "ecircumflex", "edieresis", "iacute", "igrave", "icircumflex", "idieresis", "ntilde",
    "oacute", "ograve", "ocircumflex", "odieresis", "otilde", "uacute", "ugrave", "ucircumflex",
    "udieresis", "dagger", "degree", "cent", "sterling", "section", "bullet", "paragraph",
    "germandbls", "registered", "copyright", "trademark", "acute", "dieresis", "notequal", "AE",
    "Oslash", "infinity", "plusminus", "lessequal", "greaterequal", "yen", "mu", "partialdiff",
    "summation", "product", "pi", "integral", "ordfeminine", "ordmasculine", "Omega", "ae",
    "oslash", "questiondown", "exclamdown", "logicalnot", "radical", "florin", "approxequal",
    "Delta", "guillemotleft", "guillemotright", "ellipsis", "nonbreakingspace", "Agrave", "Atilde",
    "Otilde", "OE", "oe", "endash", "emdash", "quotedblleft", "quotedblright", "quoteleft",
    "quoteright", "divide", "lozenge", "ydieresis", "Ydieresis", "fraction", "currency",
    "guilsinglleft", "guilsinglright", "fi", "fl", "daggerdbl", "periodcentered", "quotesinglbase",
    "quotedblbase", "perthousand", "Acircumflex", "Ecircumflex", "Aacute", "Edieresis", "Egrave",
    "Iacute", "Icircumflex", "Idieresis", "Igrave", "Oacute", "Ocircumflex", "apple", "Ograve",
    "Uacute", "Ucircumflex", "Ugrave", "dotlessi", "circumflex", "tilde", "macron", "breve",
    "dotaccent", "ring", "cedilla", "hungarumlaut", "ogonek", "caron", "Lslash", "lslash",
    "Scaron", "scaron", "Zcaron", "zcaron", "brokenbar", "Eth", "eth", "Yacute", "yacute", "Thorn",
    "thorn", "minus", "multiply", "onesuperior", "twosuperior", "threesuperior", "onehalf",
    "onequarter", "threequarters", "franc", "Gbreve", "gbreve", "Idotaccent", "Scedilla",
    "scedilla", "Cacute", "cacute", "Ccaron", "ccaron", "dcroat"};
  return AIndex < kNames.size() ? kNames[AIndex] : std::string_view{};
}

const TkwPDEncodingTable* FindEncodingByName(std::string_view AName) {
  if (AName == "WinAnsiEncoding") return &GetWinAnsiEncoding();
  if (AName == "MacRomanEncoding") return &GetMacRomanEncoding();
  if (AName == "MacExpertEncoding") return &GetMacExpertEncoding();
  if (AName == "StandardEncoding") return &GetStandardEncoding();
  return nullptr;
}

namespace {

using TkwSymbolPair = std::pair<std::uint16_t, std::uint16_t>;  // Unicode, Symbol code

std::vector<TkwSymbolPair> BuildSymbolMap() {
  std::vector<TkwSymbolPair> map;
  const auto& enc = GetSymbolEncoding();
  for (std::size_t code = 0; code < enc.size(); ++code) {
    if (enc[code].empty()) continue;
    if (std::uint16_t u = GlyphNameToUnicode(enc[code])) map.emplace_back(u, std::uint16_t(code));
  }
  // The Greek letters and space also have the other code point word processors write.
  auto codeOf = [&](std::string_view AName) -> std::uint16_t {
    for (std::size_t c = 0; c < enc.size(); ++c) {
      if (enc[c] == AName) return std::uint16_t(c);
    }
    return 0;
  };
  for (auto [u, name] : {std::pair<std::uint16_t, std::string_view>{0x00A0, "space"},
                         {0x03A9, "Omega"},
                         {0x0394, "Delta"},
                         {0x03BC, "mu"}}) {
    if (std::uint16_t c = codeOf(name)) map.emplace_back(u, c);
  }
  // Lowest code first when a value appears twice, so the result does not depend on order.
  std::sort(map.begin(), map.end());
  map.erase(std::unique(map.begin(), map.end(),
                        [](const TkwSymbolPair& a, const TkwSymbolPair& b) { return a.first == b.first; }),
            map.end());
  return map;
}

}  // namespace

std::uint16_t UnicodeToSymbolCode(std::uint16_t AValue) {
  static const std::vector<TkwSymbolPair> map = BuildSymbolMap();
  auto it = std::lower_bound(map.begin(), map.end(), TkwSymbolPair{AValue, 0});
  return (it != map.end() && it->first == AValue) ? it->second : 0;
}

}  // namespace qm
