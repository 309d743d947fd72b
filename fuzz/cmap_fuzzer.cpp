// The CMap parser and code matching on arbitrary bytes: the CMap is the input, and then
// the input is decoded through it as a shown string.
#include <cstdint>
#include <string>
#include <string_view>

#include "pdf/fonts/kwPDCMapParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  const std::string_view bytes(reinterpret_cast<const char*>(Data), Size);
  // A usecmap names the input itself again, to exercise the loop guard.
  qm::TkwCMapLoader loader = [&](std::string_view) { return std::string(bytes); };
  qm::TkwPDCMapParser parser(bytes, loader);
  std::u16string shown;
  for (std::size_t i = 0; i < Size && i < 4096; ++i) shown.push_back(Data[i]);
  for (std::size_t i = 0; i < shown.size();) {
    const auto m = parser.MatchCode(std::u16string_view(shown).substr(i));
    (void)parser.MapCode(m.Code);
    i += static_cast<std::size_t>(m.Bytes > 0 ? m.Bytes : 1);
  }
  return 0;
}
