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
