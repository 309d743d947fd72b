// Decodes the input as CCITT fax data. The first four bytes choose the parameters (K, the
// flags and the width), the rest is the coded data.
#include <cstdint>
#include <vector>

#include "pdf/core/kwCCITTFaxDecode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  using namespace qm;
  if (Size < 4) return 0;
  TkwCCITTParams p;
  p.K = static_cast<int>(static_cast<std::int8_t>(Data[0])) % 4;
  p.EndOfLine = (Data[1] & 1) != 0;
  p.EncodedByteAlign = (Data[1] & 2) != 0;
  p.EndOfBlock = (Data[1] & 4) != 0;
  p.BlackIs1 = (Data[1] & 8) != 0;
  p.Rows = (Data[1] & 16) != 0 ? 64 : 0;
  p.Columns = ((Data[2] << 8) | Data[3]) % 4100;
  TkwCCITTFaxDecoder dec(std::span<const std::uint8_t>(Data + 4, Size - 4), p);
  std::vector<std::uint8_t> row(dec.GetRowBytes());
  for (int i = 0; i < 100000 && dec.ReadRow(row); ++i) {
  }
  return 0;
}
