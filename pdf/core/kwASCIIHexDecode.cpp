#include "pdf/core/kwASCIIHexDecode.h"

#include "pdf/core/kwPDLexer.h"

namespace qm {

namespace {

int HexDigit(int AChar) {
  if (AChar >= '0' && AChar <= '9') return AChar - '0';
  if (AChar >= 'A' && AChar <= 'F') return AChar - 'A' + 10;
  if (AChar >= 'a' && AChar <= 'f') return AChar - 'a' + 10;
  return 0;  // any other character counts as the digit 0
}

}  // namespace

bool TkwASCIIHexDecode::Refill() {
  if (FEnded) return false;
  std::size_t n = 0;
  auto next = [this]() {
    int c;
    do {
      c = FSource->GetChar();
    } while (TkwPDLexer::IsWhiteSpace(c));
    return c;
  };
  while (n < FBuffer.size()) {
    const int high = next();
    if (high < 0 || high == '>') {
      FEnded = true;
      break;
    }
    const int low = next();
    if (low < 0 || low == '>') {
      // A lone last digit is completed with 0, whether or not the ">" is there.
      FBuffer[n++] = static_cast<std::uint8_t>(HexDigit(high) << 4);
      FEnded = true;
      break;
    }
    FBuffer[n++] = static_cast<std::uint8_t>((HexDigit(high) << 4) | HexDigit(low));
  }
  if (n == 0) return false;
  SetWindow(FBuffer.data(), FBuffer.data() + n);
  return true;
}

}  // namespace qm
