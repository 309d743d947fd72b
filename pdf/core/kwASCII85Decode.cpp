#include "pdf/core/kwASCII85Decode.h"

#include "pdf/core/kwPDLexer.h"

namespace qm {

bool TkwASCII85Decode::Refill() {
  if (FEnded) return false;
  std::size_t n = 0;
  auto next = [this]() {
    int c;
    do {
      c = FSource->GetChar();
    } while (TkwPDLexer::IsWhiteSpace(c));
    return c;
  };
  while (n + 4 <= FBuffer.size() && !FEnded) {
    int c = next();
    if (c < 0 || c == '~') {
      FEnded = true;
      break;
    }
    if (c == 'z') {
      for (int i = 0; i < 4; ++i) FBuffer[n++] = 0;
      continue;
    }
    std::uint32_t group[5];
    int count = 0;
    group[count++] = static_cast<std::uint32_t>(c);
    while (count < 5) {
      c = next();
      if (c < 0 || c == '~') {
        FEnded = true;
        break;
      }
      group[count++] = static_cast<std::uint32_t>(c);
    }
    if (count < 2) break;
    const int bytes = count == 5 ? 4 : count - 1;
    for (int i = count; i < 5; ++i) group[i] = 'u';
    // Characters are not validated: the arithmetic wraps like the 32-bit value it fills.
    std::uint32_t value = 0;
    for (std::uint32_t g : group) value = value * 85u + (g - 33u);
    for (int i = 0; i < bytes; ++i) {
      FBuffer[n++] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    }
  }
  if (n == 0) return false;
  SetWindow(FBuffer.data(), FBuffer.data() + n);
  return true;
}

}  // namespace qm
