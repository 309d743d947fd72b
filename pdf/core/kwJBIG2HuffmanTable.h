#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

// Huffman coding of JBIG2 (ITU-T T.88 Annex B and 7.4.3.1.7): the bit reader, code tables
// with range lines, the fifteen standard tables, user tables from table segments and the
// run-length coded symbol ID tables of text regions.
namespace qm {

// Reads bits most significant first from a byte span. Reading past the end yields 0 bits
// and sets Overrun for good; nothing is ever read outside the span.
class TkwJBIG2BitReader {
public:
  explicit TkwJBIG2BitReader(std::span<const std::uint8_t> AData) : FData(AData) {}

  int Bit() {
    if (FPos >= FData.size() * 8) {
      FOverrun = true;
      return 0;
    }
    const int b = (FData[FPos >> 3] >> (7 - (FPos & 7))) & 1;
    ++FPos;
    return b;
  }
  // ACount bits (at most 32) as an unsigned number.
  std::uint32_t Bits(int ACount) {
    std::uint32_t v = 0;
    for (int i = 0; i < ACount; ++i) v = (v << 1) | static_cast<std::uint32_t>(Bit());
    return v;
  }
  // Skips the rest of the current byte.
  void Align() { FPos = (FPos + 7) & ~std::size_t{7}; }
  // The bytes from the next byte boundary on; the reader stays where it is.
  [[nodiscard]] std::span<const std::uint8_t> RestFromByte() const {
    const std::size_t b = (FPos + 7) >> 3;
    return b <= FData.size() ? FData.subspan(b) : std::span<const std::uint8_t>();
  }
  // Aligns and moves ACount bytes on; past the end it sets Overrun.
  void SkipBytes(std::uint64_t ACount) {
    Align();
    const std::uint64_t left = FData.size() - std::min<std::uint64_t>(FData.size(), FPos >> 3);
    if (ACount > left) {
      FOverrun = true;
      FPos = FData.size() * 8;
    } else {
      FPos += static_cast<std::size_t>(ACount) * 8;
    }
  }
  [[nodiscard]] bool Overrun() const { return FOverrun; }
  [[nodiscard]] std::size_t BitPosition() const { return FPos; }

private:
  std::span<const std::uint8_t> FData;
  std::size_t FPos = 0;
  bool FOverrun = false;
};

enum class TkwJBIG2Code { Value, Oob, Fail };

// A Huffman code table. Lines are added in table order (ordinary lines, then the lower
// range, upper range and out-of-band lines); Build assigns the canonical codes of B.3.
class TkwJBIG2HuffmanTable {
public:
  enum class TKind : std::uint8_t { Normal, Lower, Upper, Oob };
  struct TLine {
    std::int64_t RangeLow = 0;
    std::uint8_t PrefLen = 0;   // 0: the line has no code
    std::uint8_t RangeLen = 0;  // bits of offset after the prefix, at most 32
    TKind Kind = TKind::Normal;
  };

  // False (and the line is dropped) for a prefix above 32 bits or an offset above 32 bits.
  bool Add(int APrefLen, int ARangeLen, std::int64_t ARangeLow, TKind AKind = TKind::Normal);
  // Assigns the codes; false when no line has a code.
  bool Build();
  // Decodes one value. Fail when the data ends first or the bits match no code.
  TkwJBIG2Code Decode(TkwJBIG2BitReader& AReader, std::int32_t& AValue) const;
  [[nodiscard]] bool Empty() const { return FOrder.empty(); }
  [[nodiscard]] std::size_t Size() const { return FLines.size(); }
  [[nodiscard]] const std::vector<TLine>& Lines() const { return FLines; }

private:
  static constexpr int kMaxPrefix = 32;
  std::vector<TLine> FLines;
  std::vector<std::uint32_t> FOrder;  // line indices sorted by prefix length, then code
  std::uint64_t FFirst[kMaxPrefix + 1] = {};
  std::uint32_t FStart[kMaxPrefix + 1] = {};
  std::uint32_t FCount[kMaxPrefix + 1] = {};
  int FMaxLen = 0;
};

// Standard table B.1 .. B.15 (ANumber 1 to 15), built once.
const TkwJBIG2HuffmanTable& JBIG2StandardTable(int ANumber);

// Reads the data of a table segment (B.2); false when it is damaged or defines more than
// kMaxJBIG2TableLines lines.
bool ReadJBIG2TableSegment(std::span<const std::uint8_t> AData, TkwJBIG2HuffmanTable& ATable);

// Reads a text region's symbol ID table (7.4.3.1.7) for ANumSymbols symbols; the reader is
// left at the following byte boundary. The decoded value of a code is the symbol ID.
bool ReadJBIG2SymbolIdTable(TkwJBIG2BitReader& AReader, std::uint32_t ANumSymbols, TkwJBIG2HuffmanTable& ATable);

}  // namespace qm
