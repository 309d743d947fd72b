#pragma once

#include <array>
#include <cstdint>

#include "pdf/core/kwStream.h"

namespace qm {

// LZW as PDF writes it: codes MSB first from 9 bits, 256 clears, 257 ends. A table that
// fills without a clear code stays at 12 bits and takes no further entries.
class TkwLZWDecode final : public TkwDecode {
public:
  TkwLZWDecode(TkwRef<TkwStream> ASource, int AEarlyChange);
  [[nodiscard]] TkwStreamType GetType() const override { return TkwStreamType::stLZW; }

protected:
  void ResetDecoder() override;
  bool Refill() override;

private:
  int ReadCode();
  void ClearTable();

  struct TEntry {
    std::uint16_t Length;
    std::uint16_t Prev;
    std::uint8_t Last;
    std::uint8_t First;
  };
  int FEarlyChange;
  std::array<TEntry, 4096> FTable{};
  int FNextCode = 258;
  int FCodeLen = 9;
  int FPrevCode = -1;
  std::uint32_t FBitBuf = 0;
  int FBitCnt = 0;
  bool FEnded = false;
  std::array<std::uint8_t, 4096> FSeq{};
};

using TkwLZWStream = TkwLZWDecode;

}  // namespace qm
