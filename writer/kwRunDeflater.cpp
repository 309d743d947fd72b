#include "writer/kwRunDeflater.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace qm {

namespace {

// Bits of a Huffman code in the order the stream sends them (first bit lowest).
constexpr std::uint32_t Reversed(std::uint32_t ACode, int ALength) {
  std::uint32_t r = 0;
  for (int i = 0; i < ALength; ++i) r |= ((ACode >> i) & 1u) << (ALength - 1 - i);
  return r;
}

struct TCode {
  std::uint32_t Bits = 0;
  int Count = 0;
};

// The fixed literal/length code: 0-143 eight bits from 0x30, 144-255 nine bits from 0x190,
// 256-279 seven bits from 0, 280-287 eight bits from 0xC0.
constexpr TCode FixedLiteral(int ASymbol) {
  if (ASymbol < 144) return {Reversed(static_cast<std::uint32_t>(0x30 + ASymbol), 8), 8};
  if (ASymbol < 256) return {Reversed(static_cast<std::uint32_t>(0x190 + ASymbol - 144), 9), 9};
  if (ASymbol < 280) return {Reversed(static_cast<std::uint32_t>(ASymbol - 256), 7), 7};
  return {Reversed(static_cast<std::uint32_t>(0xC0 + ASymbol - 280), 8), 8};
}

constexpr std::array<int, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                             31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<int, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                              2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<int, 30> kDistanceBase = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                               33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                               1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<int, 30> kDistanceExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Literal codes, and every match length's code with its extra bits, made once.
struct TTables {
  std::array<TCode, 256> Literal{};
  std::array<TCode, 259> Length{};
  constexpr TTables() {
    for (int i = 0; i < 256; ++i) Literal[static_cast<std::size_t>(i)] = FixedLiteral(i);
    for (int len = 3; len <= 258; ++len) {
      int k = 28;
      while (kLengthBase[static_cast<std::size_t>(k)] > len) --k;
      const TCode code = FixedLiteral(257 + k);
      const auto extra = static_cast<std::uint32_t>(len - kLengthBase[static_cast<std::size_t>(k)]);
      Length[static_cast<std::size_t>(len)] = {code.Bits | extra << code.Count,
                                               code.Count + kLengthExtra[static_cast<std::size_t>(k)]};
    }
  }
};
constexpr TTables kTables;

TCode DistanceCode(std::size_t ADistance) {
  int k = 29;
  while (static_cast<std::size_t>(kDistanceBase[static_cast<std::size_t>(k)]) > ADistance) --k;
  const auto extra = static_cast<std::uint32_t>(ADistance - static_cast<std::size_t>(kDistanceBase[static_cast<std::size_t>(k)]));
  return {Reversed(static_cast<std::uint32_t>(k), 5) | extra << 5, 5 + kDistanceExtra[static_cast<std::size_t>(k)]};
}

// How many bytes from A equal those from B, up to ALimit, eight at a time.
std::size_t MatchLength(const std::uint8_t* A, const std::uint8_t* B, std::size_t ALimit) {
  std::size_t n = 0;
  while (n + 8 <= ALimit) {
    std::uint64_t a = 0, b = 0;
    std::memcpy(&a, A + n, 8);
    std::memcpy(&b, B + n, 8);
    if (a != b) return n + static_cast<std::size_t>(__builtin_ctzll(a ^ b) / 8);
    n += 8;
  }
  while (n < ALimit && A[n] == B[n]) ++n;
  return n;
}

// How many bytes from A equal AValue, up to ALimit.
std::size_t RunLength(const std::uint8_t* A, std::uint8_t AValue, std::size_t ALimit) {
  const std::uint64_t pattern = 0x0101010101010101ull * AValue;
  std::size_t n = 0;
  while (n + 8 <= ALimit) {
    std::uint64_t a = 0;
    std::memcpy(&a, A + n, 8);
    if (a != pattern) return n + static_cast<std::size_t>(__builtin_ctzll(a ^ pattern) / 8);
    n += 8;
  }
  while (n < ALimit && A[n] == AValue) ++n;
  return n;
}

}  // namespace

TkwRunDeflater::TkwRunDeflater(std::size_t AStride) : FStride(std::clamp<std::size_t>(AStride, 1, kMaxStride)) {
  FOut.reserve(4096);
  // zlib header: deflate with a 32 KiB window, no dictionary, check bits for 0x7801.
  FOut += "\x78\x01";
  Put(3, 3);  // the last block, fixed codes
  const TCode d = DistanceCode(FStride);
  FStrideBits = d.Bits;
  FStrideCount = d.Count;
}

void TkwRunDeflater::Put(std::uint32_t ABits, int ACount) {
  FBitBuffer |= static_cast<std::uint64_t>(ABits) << FBitCount;
  FBitCount += ACount;
  if (FBitCount >= 32) {
    const auto word = static_cast<std::uint32_t>(FBitBuffer);
    const char bytes[4] = {static_cast<char>(word), static_cast<char>(word >> 8), static_cast<char>(word >> 16),
                           static_cast<char>(word >> 24)};
    FOut.append(bytes, 4);
    FBitBuffer >>= 32;
    FBitCount -= 32;
  }
}

void TkwRunDeflater::PutLiteral(std::uint8_t AByte) {
  const TCode& c = kTables.Literal[AByte];
  Put(c.Bits, c.Count);
}

void TkwRunDeflater::PutMatch(std::size_t ALength, std::uint32_t ADistanceBits, int ADistanceCount) {
  const TCode& c = kTables.Length[ALength];
  Put(c.Bits, c.Count);
  Put(ADistanceBits, ADistanceCount);
}

void TkwRunDeflater::AddRow(std::string_view ARow, bool ASame) {
  const auto* row = reinterpret_cast<const std::uint8_t*>(ARow.data());
  const std::size_t n = std::min(ARow.size(), FStride);
  const bool above = FHavePrevious && FPrevious.size() == n;
  const auto* prev = reinterpret_cast<const std::uint8_t*>(FPrevious.data());
  if (!(ASame && above)) FRowAdler = static_cast<std::uint32_t>(adler32(1, row, static_cast<uInt>(n)));
  FAdler = static_cast<std::uint32_t>(adler32_combine(FAdler, FRowAdler, static_cast<z_off_t>(n)));
  // A match to the row above reaches exactly one row back only when rows are FStride long.
  const bool canUseAbove = above && n == FStride;
  std::size_t i = 0;
  while (i < n) {
    std::size_t fromAbove = canUseAbove ? (ASame ? n - i : MatchLength(row + i, prev + i, n - i)) : 0;
    // A run may start in the row above, where this row's first byte repeats its last.
    std::size_t run = 0;
    if (i > 0) {
      run = RunLength(row + i, row[i - 1], n - i);
    } else if (FHavePrevious && !FPrevious.empty()) {
      run = RunLength(row, static_cast<std::uint8_t>(FPrevious.back()), n);
    }
    std::size_t len = std::max(fromAbove, run);
    if (len < 3) {
      PutLiteral(row[i]);
      ++i;
      continue;
    }
    const bool useAbove = fromAbove >= run;
    while (len >= 3) {
      std::size_t m = std::min<std::size_t>(len, 258);
      if (len - m > 0 && len - m < 3) m = len - 3;  // leaves a match, not a stray literal
      if (useAbove) {
        PutMatch(m, FStrideBits, FStrideCount);
      } else {
        PutMatch(m, 0, 5);  // distance 1: code 0, no extra bits
      }
      len -= m;
      i += m;
    }
  }
  if (!(ASame && above)) FPrevious.assign(ARow.data(), n);
  FHavePrevious = true;
}

std::string TkwRunDeflater::Finish() {
  Put(0, 7);  // end of block
  while (FBitCount > 0) {
    FOut.push_back(static_cast<char>(FBitBuffer & 0xFF));
    FBitBuffer >>= 8;
    FBitCount = std::max(0, FBitCount - 8);
  }
  FBitBuffer = 0;
  for (int shift = 24; shift >= 0; shift -= 8) FOut.push_back(static_cast<char>(FAdler >> shift));
  return std::move(FOut);
}

}  // namespace qm
