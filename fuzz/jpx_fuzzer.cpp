// Decodes the input as a JPEG 2000 file or codestream.
#include <cstdint>

#include "pdf/core/kwJPXDecode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  using namespace qm;
  TkwJPXImage image;
  (void)DecodeJPX(std::span<const std::uint8_t>(Data, Size), image);
  return 0;
}
