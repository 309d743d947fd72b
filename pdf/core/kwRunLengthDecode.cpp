#include "pdf/core/kwRunLengthDecode.h"

namespace qm {

bool TkwRunLengthDecode::Refill() {
  if (FEnded) return false;
  const int length = FSource->GetChar();
  if (length < 0 || length == 128) {
    FEnded = true;
    return false;
  }
  std::size_t n = 0;
  if (length < 128) {
    n = FSource->Read(std::span<std::uint8_t>(FBuffer.data(), static_cast<std::size_t>(length) + 1));
    if (n < static_cast<std::size_t>(length) + 1) FEnded = true;
  } else {
    const int value = FSource->GetChar();
    if (value < 0) {
      FEnded = true;
      return false;
    }
    n = static_cast<std::size_t>(257 - length);
    std::fill_n(FBuffer.begin(), n, static_cast<std::uint8_t>(value));
  }
  if (n == 0) return false;
  SetWindow(FBuffer.data(), FBuffer.data() + n);
  return true;
}

}  // namespace qm
