#include "pdf/core/kwLZWDecode.h"

namespace qm {

TkwLZWDecode::TkwLZWDecode(TkwRef<TkwStream> ASource, int AEarlyChange)
    : TkwDecode(std::move(ASource)), FEarlyChange(AEarlyChange == 0 ? 0 : 1) {
  for (int i = 0; i < 256; ++i) {
    FTable[static_cast<std::size_t>(i)] = {1, 0, static_cast<std::uint8_t>(i),
                                           static_cast<std::uint8_t>(i)};
  }
  ResetDecoder();
}

void TkwLZWDecode::ClearTable() {
  FNextCode = 258;
  FCodeLen = 9;
  FPrevCode = -1;
}

void TkwLZWDecode::ResetDecoder() {
  ClearTable();
  FBitBuf = 0;
  FBitCnt = 0;
  FEnded = false;
}

int TkwLZWDecode::ReadCode() {
  while (FBitCnt < FCodeLen) {
    const int c = FSource->GetChar();
    if (c < 0) return -1;
    FBitBuf = (FBitBuf << 8) | static_cast<std::uint32_t>(c);
    FBitCnt += 8;
  }
  FBitCnt -= FCodeLen;
  const int code = static_cast<int>((FBitBuf >> FBitCnt) & ((1u << FCodeLen) - 1));
  FBitBuf &= (1u << FBitCnt) - 1;
  return code;
}

bool TkwLZWDecode::Refill() {
  while (!FEnded) {
    const int code = ReadCode();
    if (code < 0 || code == 257) break;
    if (code == 256) {
      ClearTable();
      continue;
    }
    if (FPrevCode < 0) {
      if (code > 255) {
        NoteDamage();  // the first code must be a byte
        break;
      }
      FSeq[0] = static_cast<std::uint8_t>(code);
      FPrevCode = code;
      SetWindow(FSeq.data(), FSeq.data() + 1);
      return true;
    }
    if (code > FNextCode) {
      NoteDamage();  // a code nobody defined yet: the data is corrupt
      break;
    }
    const TEntry& prev = FTable[static_cast<std::size_t>(FPrevCode)];
    std::size_t length;
    std::uint8_t first;
    if (code < FNextCode) {
      const TEntry& entry = FTable[static_cast<std::size_t>(code)];
      length = entry.Length;
      first = entry.First;
    } else {
      length = static_cast<std::size_t>(prev.Length) + 1;
      first = prev.First;
    }
    // A table that fills without a clear code keeps 12 bits and takes no new entries.
    if (FNextCode < 4096) {
      FTable[static_cast<std::size_t>(FNextCode)] = {
          static_cast<std::uint16_t>(prev.Length + 1), static_cast<std::uint16_t>(FPrevCode),
          first, prev.First};
      ++FNextCode;
      const int reach = FNextCode + FEarlyChange;
      if (reach >= 2048) {
        FCodeLen = 12;
      } else if (reach >= 1024) {
        FCodeLen = 11;
      } else if (reach >= 512) {
        FCodeLen = 10;
      }
    }
    // Write the sequence back to front along the chain of previous codes.
    std::size_t pos = length;
    int c = code;
    while (pos > 0) {
      const TEntry& entry = FTable[static_cast<std::size_t>(c)];
      FSeq[--pos] = entry.Last;
      c = entry.Prev;
    }
    FPrevCode = code;
    SetWindow(FSeq.data(), FSeq.data() + length);
    return true;
  }
  FEnded = true;
  return false;
}

}  // namespace qm
