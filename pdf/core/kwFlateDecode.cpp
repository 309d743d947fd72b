#include "pdf/core/kwFlateDecode.h"

#include <bit>
#include <cstring>

namespace qm {

// Canonical Huffman decoding table: a direct table for codes up to kFastBits long and the
// canonical counts for the rare longer ones.
struct TkwFlateDecode::THuffman {
  static constexpr int kFastBits = 10;
  // Each kFastBits-bit value with its bits in reverse order.
  static constexpr std::array<std::uint16_t, 1u << kFastBits> kReversed = [] {
    std::array<std::uint16_t, 1u << kFastBits> table{};
    for (unsigned v = 0; v < table.size(); ++v) {
      unsigned r = 0;
      for (int b = 0; b < kFastBits; ++b) r |= ((v >> b) & 1u) << (kFastBits - 1 - b);
      table[v] = static_cast<std::uint16_t>(r);
    }
    return table;
  }();
  static constexpr std::uint16_t kLenShift = 9;
  std::array<std::uint16_t, 1u << kFastBits> Fast{};  // symbol | length << 9; 0 = not direct
  std::array<std::uint16_t, 16> Count{};
  std::array<std::uint16_t, 320> Symbol{};

  // False for an over-subscribed set of lengths. Incomplete sets are accepted: their
  // missing codes fail when met.
  bool Build(const std::uint8_t* ALengths, int ACount) {
    Count.fill(0);
    Fast.fill(0);
    for (int i = 0; i < ACount; ++i) ++Count[ALengths[i]];
    Count[0] = 0;
    int left = 1;
    for (int len = 1; len < 16; ++len) {
      left <<= 1;
      left -= Count[static_cast<std::size_t>(len)];
      if (left < 0) return false;
    }
    std::array<std::uint16_t, 16> offs{};
    for (int len = 1; len < 15; ++len) {
      offs[static_cast<std::size_t>(len) + 1] =
          static_cast<std::uint16_t>(offs[static_cast<std::size_t>(len)] + Count[static_cast<std::size_t>(len)]);
    }
    for (int sym = 0; sym < ACount; ++sym) {
      if (ALengths[sym] != 0) Symbol[offs[ALengths[sym]]++] = static_cast<std::uint16_t>(sym);
    }
    // Direct entries: codes assigned in canonical order, stored bit-reversed because the
    // stream delivers them most significant bit first into a least-significant-first buffer.
    unsigned code = 0;
    std::size_t index = 0;
    for (int len = 1; len <= kFastBits; ++len) {
      for (int k = 0; k < Count[static_cast<std::size_t>(len)]; ++k) {
        const std::uint16_t sym = Symbol[index++];
        const auto rev = static_cast<unsigned>(kReversed[code] >> (kFastBits - len));
        const auto entry = static_cast<std::uint16_t>(sym | (len << kLenShift));
        for (unsigned i = rev; i < (1u << kFastBits); i += 1u << len) Fast[i] = entry;
        ++code;
      }
      code <<= 1;
    }
    return true;
  }

  // Decodes one symbol from the low bits of ABits (at least 15 valid or padded bits).
  // Returns the symbol and sets ALen, or -1 for a code that is not in the table.
  int Decode(std::uint64_t ABits, int& ALen) const {
    const std::uint16_t entry = Fast[ABits & ((1u << kFastBits) - 1)];
    if (entry != 0) {
      ALen = entry >> kLenShift;
      return entry & 511;
    }
    int code = 0;
    int first = 0;
    int index = 0;
    for (int len = 1; len < 16; ++len) {
      code |= static_cast<int>((ABits >> (len - 1)) & 1u);
      const int count = Count[static_cast<std::size_t>(len)];
      if (code - count < first) {
        ALen = len;
        return Symbol[static_cast<std::size_t>(index + (code - first))];
      }
      index += count;
      first += count;
      first <<= 1;
      code <<= 1;
    }
    return -1;
  }
};

namespace {

constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,
                                           15, 17, 19, 23, 27, 31, 35, 43, 51,  59,
                                           67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kDistBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,
                                         17,   25,   33,   49,   65,   97,    129,   193,
                                         257,  385,  513,  769,  1025, 1537,  2049,  3073,
                                         4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                               11, 4,  12, 3, 13, 2, 14, 1, 15};

constexpr std::size_t kSlack = 320;  // room for one match beyond the chunk end

// The output buffer of the stream last released on this thread, kept for the next one:
// documents decode streams one after another, and a fresh 96 KiB block each time costs the
// allocation and the page faults of touching new memory. It carries nothing from one stream
// to the next: no distance reaches before a stream's own first byte.
std::unique_ptr<std::uint8_t[]>& SpareBuffer() {
  thread_local std::unique_ptr<std::uint8_t[]> spare;
  return spare;
}

}  // namespace

TkwFlateDecode::TkwFlateDecode(TkwRef<TkwStream> ASource)
    : TkwDecode(std::move(ASource)) {}

TkwFlateDecode::~TkwFlateDecode() = default;

// Bit reader over the source. Past the end of the input it appends zero bytes and counts
// them, so that a decode that used them is recognised as truncated.
struct TkwFlateBits {
  std::uint64_t Buf;
  int Cnt;
  int Pad;
  TkwStream& Src;

  void Fill() {
    const auto avail = Src.Buffered();
    if (avail.size() >= 8) {
      // Eight bytes at once, keeping whole bytes only.
      std::uint64_t word;
      std::memcpy(&word, avail.data(), 8);
      if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
      const int take = (63 - Cnt) >> 3;
      Buf |= word << Cnt;
      Buf &= ~std::uint64_t{0} >> (64 - (Cnt + take * 8));
      Src.Consume(static_cast<std::size_t>(take));
      Cnt += take * 8;
      return;
    }
    while (Cnt <= 56) {
      int c = Src.GetChar();
      if (c < 0) {
        c = 0;
        Pad += 8;
      }
      Buf |= static_cast<std::uint64_t>(c) << Cnt;
      Cnt += 8;
    }
  }
  std::uint32_t Take(int AN) {
    const auto value = static_cast<std::uint32_t>(Buf & ((std::uint64_t{1} << AN) - 1));
    Buf >>= AN;
    Cnt -= AN;
    return value;
  }
  [[nodiscard]] bool Overrun() const { return Cnt < Pad; }
};

void TkwFlateDecode::ResetDecoder() {
  // A stream read in part (a picture takes just its samples) and reset holds no buffer
  // while it waits: documents keep thousands of streams.
  ReleaseBuffers();
  FBitBuf = 0;
  FBitCnt = 0;
  FPadBits = 0;
  FOutPos = 0;
  FChunkStart = 0;
  FProduced = 0;
  FLastBlock = false;
  FStoredLeft = 0;
  FState = TState::sDone;
  // zlib header: deflate method, check bits, no preset dictionary. Anything else is empty.
  const int cmf = FSource->GetChar();
  const int flg = FSource->GetChar();
  if (cmf < 0 || flg < 0) return;
  if ((cmf & 0x0F) != 8 || ((cmf << 8) | flg) % 31 != 0 || (flg & 0x20) != 0) {
    NoteDamage();
    return;
  }
  // The buffers live only while a stream is being decoded, from its first refill: a
  // document keeps thousands of streams, and they are made again when a stream is read a
  // second time.
  FState = TState::sBlockStart;
}

void TkwFlateDecode::ReleaseBuffers() {
  if (FOut && !SpareBuffer()) SpareBuffer() = std::move(FOut);
  FOut.reset();
  FLit.reset();
  FDist.reset();
  FFixedLit.reset();
  FFixedDist.reset();
  FCurLit = FCurDist = nullptr;
}

bool TkwFlateDecode::StartBlock() {
  if (FLastBlock) return false;
  TkwFlateBits bits{FBitBuf, FBitCnt, FPadBits, *FSource};
  bits.Fill();
  FLastBlock = bits.Take(1) != 0;
  const std::uint32_t type = bits.Take(2);
  bool ok = !bits.Overrun();
  if (ok && type == 0) {
    bits.Take(bits.Cnt & 7);  // to a byte boundary
    bits.Fill();
    const std::uint32_t len = bits.Take(16);
    const std::uint32_t nlen = bits.Take(16);
    ok = !bits.Overrun() && (len ^ 0xFFFFu) == nlen;
    FStoredLeft = len;
    FState = TState::sStored;
  } else if (ok && type == 1) {
    if (!FFixedLit) {
      std::uint8_t lengths[320];
      int i = 0;
      for (; i < 144; ++i) lengths[i] = 8;
      for (; i < 256; ++i) lengths[i] = 9;
      for (; i < 280; ++i) lengths[i] = 7;
      for (; i < 288; ++i) lengths[i] = 8;
      FFixedLit = std::make_unique<THuffman>();
      FFixedLit->Build(lengths, 288);
      for (i = 0; i < 30; ++i) lengths[i] = 5;
      FFixedDist = std::make_unique<THuffman>();
      FFixedDist->Build(lengths, 30);
    }
    FCurLit = FFixedLit.get();
    FCurDist = FFixedDist.get();
    FState = TState::sCodes;
  } else if (ok && type == 2) {
    FBitBuf = bits.Buf;
    FBitCnt = bits.Cnt;
    FPadBits = bits.Pad;
    if (!FLit) {
      FLit = std::make_unique<THuffman>();
      FDist = std::make_unique<THuffman>();
    }
    if (!BuildDynamic()) return false;
    FCurLit = FLit.get();
    FCurDist = FDist.get();
    FState = TState::sCodes;
    return true;
  } else {
    ok = false;  // reserved block type 3, or no data
  }
  FBitBuf = bits.Buf;
  FBitCnt = bits.Cnt;
  FPadBits = bits.Pad;
  return ok;
}

bool TkwFlateDecode::BuildDynamic() {
  TkwFlateBits bits{FBitBuf, FBitCnt, FPadBits, *FSource};
  bits.Fill();
  const int nlen = static_cast<int>(bits.Take(5)) + 257;
  const int ndist = static_cast<int>(bits.Take(5)) + 1;
  const int ncode = static_cast<int>(bits.Take(4)) + 4;
  if (nlen > 288 || ndist > 30 || ncode > 19) return false;
  std::uint8_t lengths[320] = {};
  for (int i = 0; i < ncode; ++i) {
    bits.Fill();
    lengths[kCodeLengthOrder[i]] = static_cast<std::uint8_t>(bits.Take(3));
  }
  if (bits.Overrun()) return false;
  THuffman codeLengths;
  if (!codeLengths.Build(lengths, 19)) return false;
  std::memset(lengths, 0, sizeof(lengths));
  int index = 0;
  while (index < nlen + ndist) {
    bits.Fill();
    int len = 0;
    const int sym = codeLengths.Decode(bits.Buf, len);
    if (sym < 0) return false;
    bits.Take(len);
    if (sym < 16) {
      lengths[index++] = static_cast<std::uint8_t>(sym);
      continue;
    }
    int repeat = 0;
    std::uint8_t value = 0;
    if (sym == 16) {
      if (index == 0) return false;
      value = lengths[index - 1];
      repeat = 3 + static_cast<int>(bits.Take(2));
    } else if (sym == 17) {
      repeat = 3 + static_cast<int>(bits.Take(3));
    } else {
      repeat = 11 + static_cast<int>(bits.Take(7));
    }
    if (index + repeat > nlen + ndist) return false;
    while (repeat-- > 0) lengths[index++] = value;
    if (bits.Overrun()) return false;
  }
  if (bits.Overrun()) return false;
  if (!FLit->Build(lengths, nlen) || !FDist->Build(lengths + nlen, ndist)) return false;
  FBitBuf = bits.Buf;
  FBitCnt = bits.Cnt;
  FPadBits = bits.Pad;
  return true;
}

// The bulk of a block, while at least 8 input bytes are in the source's window, no padding
// has been read and the longest match still fits the chunk: refills are one unaligned load
// and no truncation or room checks are needed per code. Returns false on bad data; sets
// AEnd at the end of the block. Leaves the rest (the input's and the chunk's last bytes) to
// the careful loop.
bool TkwFlateDecode::InflateFast(TkwFlateBits& ABits, std::size_t& APos, bool& AEnd) {
  AEnd = false;
  if (ABits.Pad != 0) return true;
  const auto avail = FSource->Buffered();
  const std::uint8_t* in = avail.data();
  const std::uint8_t* const inEnd = in + avail.size();
  std::uint64_t buf = ABits.Buf;
  int cnt = ABits.Cnt;
  std::uint8_t* const out = FOut.get();
  std::size_t pos = APos;
  constexpr std::size_t kMaxMatch = 258;
  const std::size_t limit = kHistory + kChunk - kMaxMatch;
  const THuffman& lit = *FCurLit;
  const THuffman& dist = *FCurDist;
  constexpr std::uint64_t kFastMask = (1u << THuffman::kFastBits) - 1;
  bool ok = true;
  while (pos < limit && inEnd - in >= 8) {
    // At least 56 bits afterwards. Bits above cnt are the stream's own next bits, so
    // loading them again on the next refill changes nothing.
    std::uint64_t word;
    std::memcpy(&word, in, 8);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    buf |= word << cnt;
    in += (63 - cnt) >> 3;
    cnt |= 56;
    std::uint16_t entry = lit.Fast[buf & kFastMask];
    int sym = 0;
    int len = 0;
    if (entry != 0) {
      sym = entry & 511;
      len = entry >> THuffman::kLenShift;
    } else {
      sym = lit.Decode(buf, len);
      if (sym < 0) {
        ok = false;
        break;
      }
    }
    buf >>= len;
    cnt -= len;
    if (sym < 256) {
      out[pos++] = static_cast<std::uint8_t>(sym);
      // Up to four more literals from the bits at hand: at least 41 are left and a direct
      // code takes at most 10, so each look-up still sees 10 valid bits. The output has
      // room: the longest match fits after the limit.
      for (int more = 0; more < 4; ++more) {
        entry = lit.Fast[buf & kFastMask];
        if (entry == 0 || (entry & 511) >= 256) break;
        len = entry >> THuffman::kLenShift;
        buf >>= len;
        cnt -= len;
        out[pos++] = static_cast<std::uint8_t>(entry & 511);
      }
      continue;
    }
    if (sym == 256) {
      AEnd = true;
      break;
    }
    // The rest of a match takes at most 5 + 15 + 13 bits; at least 41 are left.
    const int lsym = sym - 257;
    if (lsym >= 29) {
      ok = false;
      break;
    }
    const int lextra = kLengthExtra[lsym];
    const std::size_t length = kLengthBase[lsym] + static_cast<std::size_t>(buf & ((1u << lextra) - 1));
    buf >>= lextra;
    cnt -= lextra;
    const int dsym = dist.Decode(buf, len);
    if (dsym < 0 || dsym >= 30) {
      ok = false;
      break;
    }
    buf >>= len;
    cnt -= len;
    const int dextra = kDistExtra[dsym];
    const std::size_t distance = kDistBase[dsym] + static_cast<std::size_t>(buf & ((1u << dextra) - 1));
    buf >>= dextra;
    cnt -= dextra;
    if (distance > pos) {
      ok = false;
      break;
    }
    std::uint8_t* d = out + pos;
    const std::uint8_t* src = d - distance;
    if (distance >= 8) {
      // Whole words; the slack after the chunk absorbs the overshoot.
      std::uint8_t* const end = d + length;
      do {
        std::memcpy(d, src, 8);
        d += 8;
        src += 8;
      } while (d < end);
    } else {
      for (std::size_t i = 0; i < length; ++i) d[i] = src[i];
    }
    pos += length;
  }
  FSource->Consume(static_cast<std::size_t>(in - avail.data()));
  ABits.Buf = buf & ((std::uint64_t{1} << cnt) - 1);  // the careful loop wants zeros above
  ABits.Cnt = cnt;
  APos = pos;
  return ok;
}

bool TkwFlateDecode::InflateCodes() {
  TkwFlateBits bits{FBitBuf, FBitCnt, FPadBits, *FSource};
  std::uint8_t* const out = FOut.get();
  std::size_t pos = FOutPos;
  const std::size_t limit = kHistory + kChunk;
  const THuffman& lit = *FCurLit;
  const THuffman& dist = *FCurDist;
  bool end = false;
  bool ok = InflateFast(bits, pos, end);
  if (!ok || end) {
    if (end) FState = TState::sBlockStart;
    FBitBuf = bits.Buf;
    FBitCnt = bits.Cnt;
    FPadBits = bits.Pad;
    FOutPos = pos;
    return ok;
  }
  while (pos < limit) {
    if (bits.Cnt < 48) bits.Fill();
    int len = 0;
    const int sym = lit.Decode(bits.Buf, len);
    if (sym < 0) {
      ok = false;
      break;
    }
    bits.Take(len);
    if (sym < 256) {
      if (bits.Overrun()) {
        ok = false;
        break;
      }
      out[pos++] = static_cast<std::uint8_t>(sym);
      continue;
    }
    if (sym == 256) {
      if (bits.Overrun()) ok = false;
      FState = TState::sBlockStart;
      break;
    }
    const int lsym = sym - 257;
    if (lsym >= 29) {
      ok = false;
      break;
    }
    const std::size_t length = kLengthBase[lsym] + bits.Take(kLengthExtra[lsym]);
    const int dsym = dist.Decode(bits.Buf, len);
    if (dsym < 0 || dsym >= 30) {
      ok = false;
      break;
    }
    bits.Take(len);
    const std::size_t distance = kDistBase[dsym] + bits.Take(kDistExtra[dsym]);
    if (bits.Overrun() || distance > pos) {
      ok = false;
      break;
    }
    std::uint8_t* d = out + pos;
    const std::uint8_t* s = d - distance;
    if (distance >= 8) {
      // Whole words; the slack after the chunk absorbs the overshoot.
      std::uint8_t* const end = d + length;
      do {
        std::memcpy(d, s, 8);
        d += 8;
        s += 8;
      } while (d < end);
    } else {
      for (std::size_t i = 0; i < length; ++i) d[i] = s[i];
    }
    pos += length;
  }
  FBitBuf = bits.Buf;
  FBitCnt = bits.Cnt;
  FPadBits = bits.Pad;
  FOutPos = pos;
  return ok;
}

bool TkwFlateDecode::CopyStored() {
  const std::size_t limit = kHistory + kChunk;
  std::uint8_t* const out = FOut.get();
  // Whole bytes still in the bit buffer come first.
  while (FStoredLeft > 0 && FOutPos < limit && FBitCnt >= 8) {
    if (FBitCnt - 8 < FPadBits) return false;
    out[FOutPos++] = static_cast<std::uint8_t>(FBitBuf & 0xFF);
    FBitBuf >>= 8;
    FBitCnt -= 8;
    --FStoredLeft;
  }
  if (FStoredLeft > 0 && FOutPos < limit) {
    const std::size_t want = std::min<std::size_t>(FStoredLeft, limit - FOutPos);
    const std::size_t got = FSource->Read(std::span<std::uint8_t>(out + FOutPos, want));
    FOutPos += got;
    FStoredLeft -= static_cast<std::uint32_t>(got);
    if (got < want) return false;
  }
  if (FStoredLeft == 0) FState = TState::sBlockStart;
  return true;
}

bool TkwFlateDecode::Refill() {
  if (!FOut) {
    if (FState == TState::sDone) return false;
    FOut = std::move(SpareBuffer());
    if (!FOut) FOut = std::make_unique_for_overwrite<std::uint8_t[]>(kHistory + kChunk + kSlack);
  }
  if (FOutPos >= kHistory + kChunk) {
    // Keep the last 32 KiB as the history that distances reach into.
    std::memmove(FOut.get(), FOut.get() + FOutPos - kHistory, kHistory);
    FOutPos = kHistory;
  }
  const std::size_t start = FOutPos;
  while (FState != TState::sDone && FOutPos < kHistory + kChunk) {
    const bool lastDone = FState == TState::sBlockStart && FLastBlock;
    bool ok = true;
    switch (FState) {
      case TState::sBlockStart:
        ok = StartBlock();
        break;
      case TState::sStored:
        ok = CopyStored();
        break;
      case TState::sCodes:
        ok = InflateCodes();
        break;
      default:
        ok = false;
        break;
    }
    // Bad or truncated data ends the output at the last good byte.
    if (!ok) {
      if (!lastDone) NoteDamage();
      FState = TState::sDone;
    }
  }
  if (FOutPos == start) {
    // Everything handed out has been read: nothing refers into the buffers any more.
    ReleaseBuffers();
    return false;
  }
  FProduced += static_cast<std::int64_t>(FOutPos - start);
  SetWindow(FOut.get() + start, FOut.get() + FOutPos);
  return true;
}

}  // namespace qm
