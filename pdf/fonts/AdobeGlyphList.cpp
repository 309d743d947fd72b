#include "pdf/fonts/AdobeGlyphList.h"

#include <algorithm>
#include <charconv>

#include "data/Tables.h"

namespace qm {
namespace {

char32_t LookUp(std::span<const data::TkwGlyphUnicode> AList, std::string_view AName) {
  auto it = std::lower_bound(AList.begin(), AList.end(), AName,
                             [](const data::TkwGlyphUnicode& e, std::string_view n) { return e.Name < n; });
  if (it == AList.end() || it->Name != AName) return 0;
  return it->Codes[0];
}

bool IsUpperHex(std::string_view AText) {
  return !AText.empty() && std::all_of(AText.begin(), AText.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
  });
}

// Surrogates are not characters; a name claiming one means nothing.
char32_t ValidScalar(unsigned long AValue) {
  if (AValue > 0x10FFFF || (AValue >= 0xD800 && AValue <= 0xDFFF)) return 0;
  return static_cast<char32_t>(AValue);
}

char32_t FromConvention(std::string_view AName) {
  unsigned long v = 0;
  if (AName.size() >= 7 && AName.substr(0, 3) == "uni") {
    // "uniXXXXYYYY…" names a sequence; the first element is what a 16-bit code can carry.
    const std::string_view hex = AName.substr(3, 4);
    if (IsUpperHex(AName.substr(3)) && (AName.size() - 3) % 4 == 0) {
      std::from_chars(hex.data(), hex.data() + hex.size(), v, 16);
      return ValidScalar(v);
    }
  }
  if (AName.size() >= 5 && AName.size() <= 7 && AName[0] == 'u' && IsUpperHex(AName.substr(1))) {
    const std::string_view hex = AName.substr(1);
    std::from_chars(hex.data(), hex.data() + hex.size(), v, 16);
    return ValidScalar(v);
  }
  return 0;
}

char32_t Resolve(std::string_view AName, bool ADingbats) {
  if (ADingbats) {
    if (AName == "four") return 0x2714;
    if (AName == "l") return 0x25CF;
    if (char32_t c = LookUp(data::ZapfDingbatsGlyphList(), AName)) return c;
  }
  if (char32_t c = LookUp(data::AdobeGlyphList(), AName)) return c;
  return FromConvention(AName);
}

}  // namespace

std::uint16_t GlyphNameToUnicode(std::string_view AName, bool ADingbats) {
  if (AName.empty()) return 0;
  char32_t c = Resolve(AName, ADingbats);
  if (c == 0) {
    // Variant glyphs ("a.sc", "one.oldstyle") mean their base name; ligature names joined with
    // "_" are left alone, their first part would misstate the text.
    const auto dot = AName.find('.');
    if (dot != std::string_view::npos && dot > 0) c = Resolve(AName.substr(0, dot), ADingbats);
  }
  return c <= 0xFFFF ? static_cast<std::uint16_t>(c) : 0;
}

}  // namespace qm
