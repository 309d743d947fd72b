// Inflates the input as one zlib stream, and again behind a PNG predictor.
#include <cstdint>

#include "base/Limits.h"
#include "pdf/core/kwFlateDecode.h"
#include "pdf/core/kwStreamPredictor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  using namespace qm;
  auto source = TkwMemoryStream::View(std::span<const std::uint8_t>(Data, Size));
  TkwRef<TkwStream> flate(new TkwFlateDecode(TkwRef<TkwStream>(source)));
  flate->SetDecodeCap(std::int64_t{1} << 24);
  flate->Reset();
  std::uint8_t buf[4096];
  while (flate->Read(std::span<std::uint8_t>(buf)) > 0) {
  }
  const int columns = Size > 0 ? 1 + Data[0] % 17 : 1;
  TkwRef<TkwStream> predicted(new TkwStreamPredictor(flate, 15, columns, 3, 8));
  predicted->Reset();
  while (predicted->GetChar() >= 0) {
  }
  return 0;
}
