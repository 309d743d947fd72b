#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// A zlib stream made for pictures of flat colour (drawings, charts, tables): rows of
// palette indices that hold long runs of one value and repeat the row above. It looks
// for exactly those two matches, a run (distance 1) and the row above (distance of one
// row), and codes them with the fixed Huffman codes, which costs a few compares a byte
// where a general search costs a hash lookup. Output is any zlib reader's to read.
namespace qm {

class TkwRunDeflater {
public:
  // AStride: the length of one row as it is added (the row above is that far back); at
  // most 32768, the farthest a match may reach.
  explicit TkwRunDeflater(std::size_t AStride);
  // Adds the next row; ASame says it equals the row before it (ARow is then not read
  // beyond what is needed).
  void AddRow(std::string_view ARow, bool ASame);
  // The whole zlib stream; the deflater is spent.
  [[nodiscard]] std::string Finish();

  static constexpr std::size_t kMaxStride = 32768;

private:
  void Put(std::uint32_t ABits, int ACount);
  void PutLiteral(std::uint8_t AByte);
  void PutMatch(std::size_t ALength, std::uint32_t ADistanceBits, int ADistanceCount);

  std::size_t FStride;
  std::string FOut;
  std::uint64_t FBitBuffer = 0;
  int FBitCount = 0;
  std::string FPrevious;  // the row before, as added
  bool FHavePrevious = false;
  std::uint32_t FAdler = 1;
  std::uint32_t FRowAdler = 1;  // of the row before
  std::uint32_t FStrideBits = 0;  // the fixed code of the distance of one row, extra bits included
  int FStrideCount = 0;
};

}  // namespace qm
