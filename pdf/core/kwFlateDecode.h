#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "pdf/core/kwStream.h"

namespace qm {

struct TkwFlateBits;

// The system's own inflate (RFC 1950 header, RFC 1951 blocks). Data that is not a zlib
// stream reads as empty; corrupt or truncated data ends the output at the last good byte.
class TkwFlateDecode final : public TkwDecode {
public:
  explicit TkwFlateDecode(TkwRef<TkwStream> ASource);
  ~TkwFlateDecode() override;
  [[nodiscard]] TkwStreamType GetType() const override { return TkwStreamType::stFlate; }

  struct THuffman;  // decoding table of one alphabet

protected:
  void ResetDecoder() override;
  bool Refill() override;

private:
  bool StartBlock();
  bool BuildDynamic();
  // Decodes until the output chunk is full or the block ends; false on bad data.
  bool InflateCodes();
  bool InflateFast(TkwFlateBits& ABits, std::size_t& APos, bool& AEnd);
  bool CopyStored();
  void ReleaseBuffers();

  enum class TState : std::uint8_t { sHeader, sBlockStart, sStored, sCodes, sDone };
  TState FState = TState::sDone;
  bool FLastBlock = false;
  std::uint32_t FStoredLeft = 0;

  std::uint64_t FBitBuf = 0;
  int FBitCnt = 0;
  int FPadBits = 0;  // zero bits appended past the end of the input

  std::unique_ptr<THuffman> FLit;
  std::unique_ptr<THuffman> FDist;
  std::unique_ptr<THuffman> FFixedLit;
  std::unique_ptr<THuffman> FFixedDist;
  const THuffman* FCurLit = nullptr;
  const THuffman* FCurDist = nullptr;

  // History (32 KiB) followed by the chunk being produced.
  static constexpr std::size_t kHistory = 32768;
  static constexpr std::size_t kChunk = 65536;
  std::unique_ptr<std::uint8_t[]> FOut;
  std::size_t FOutPos = 0;     // next byte to produce
  std::size_t FChunkStart = 0; // first byte not yet handed out
  std::int64_t FProduced = 0;  // total bytes produced, to validate distances

  friend struct TkwFlateBits;
};

using TkwFlateStream = TkwFlateDecode;

}  // namespace qm
