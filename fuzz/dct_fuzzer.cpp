// Decodes the input as a JPEG, row by row, with the colour transform given and not given.
#include <cstdint>
#include <vector>

#include "pdf/core/kwDCTDecode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  using namespace qm;
  const std::span<const std::uint8_t> data(Data, Size);
  for (int transform : {-1, Size > 0 ? (Data[0] & 1) : 0}) {
    TkwJpegDecoder dec(data, transform);
    if (!dec.ReadHeader()) return 0;
    // Frames over 4 megapixels cost seconds of instrumented per-pixel work and add no
    // coverage; the unit tests decode large frames. Mid-size frames are decoded once.
    const std::int64_t pixels = std::int64_t{dec.GetWidth()} * dec.GetHeight();
    if (pixels > (1 << 22) || (transform != -1 && pixels > (1 << 20))) return 0;
    std::vector<std::uint8_t> row(dec.GetRowBytes());
    while (dec.ReadRow(row)) {
    }
  }
  return 0;
}
