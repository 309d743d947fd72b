// Decodes the input as LZW with both EarlyChange settings.
#include <cstdint>

#include "pdf/core/kwLZWDecode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  using namespace qm;
  for (int early : {0, 1}) {
    TkwLZWDecode lzw(TkwMemoryStream::View(std::span<const std::uint8_t>(Data, Size)), early);
    lzw.SetDecodeCap(std::int64_t{1} << 24);
    lzw.Reset();
    std::uint8_t buf[4096];
    while (lzw.Read(std::span<std::uint8_t>(buf)) > 0) {
    }
  }
  return 0;
}
