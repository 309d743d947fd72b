// Decodes the input as an embedded JBIG2 stream. An input with a 0xFF 0xFF 0xFF 0xFF
// separator is split into globals (before) and page data (after).
#include <algorithm>
#include <cstdint>
#include <vector>

#include "pdf/core/kwJBIG2Decode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  using namespace qm;
  const std::span<const std::uint8_t> data(Data, Size);
  static constexpr std::uint8_t kSep[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  const auto* sep = std::search(Data, Data + Size, kSep, kSep + 4);
  TkwJBIG2Decoder dec;
  std::vector<std::uint8_t> out;
  if (sep != Data + Size) {
    const std::size_t g = static_cast<std::size_t>(sep - Data);
    (void)dec.DecodeImage(data.subspan(g + 4), data.first(g), true, out);
  } else {
    (void)dec.DecodeImage(data, out, false);
  }
  return 0;
}
