#include "pdf/core/kwJBIG2HuffmanTable.h"

#include <array>
#include <climits>
#include <numeric>

#include "base/Limits.h"

namespace qm {

namespace {

using TKind = TkwJBIG2HuffmanTable::TKind;

struct TStdLine {
  std::int8_t PrefLen;
  std::int8_t RangeLen;
  std::int32_t RangeLow;
  TKind Kind;
};

constexpr TKind N = TKind::Normal, L = TKind::Lower, U = TKind::Upper, O = TKind::Oob;

// The standard tables of T.88 Annex B. Lines without a code (prefix length 0) are left out.
constexpr TStdLine kB1[] = {{1, 4, 0, N}, {2, 8, 16, N}, {3, 16, 272, N}, {3, 32, 65808, U}};
constexpr TStdLine kB2[] = {{1, 0, 0, N},  {2, 0, 1, N},   {3, 0, 2, N}, {4, 3, 3, N},
                            {5, 6, 11, N}, {6, 32, 75, U}, {6, 0, 0, O}};
constexpr TStdLine kB3[] = {{8, 8, -256, N}, {1, 0, 0, N},     {2, 0, 1, N},   {3, 0, 2, N}, {4, 3, 3, N},
                            {5, 6, 11, N},   {8, 32, -257, L}, {7, 32, 75, U}, {6, 0, 0, O}};
constexpr TStdLine kB4[] = {{1, 0, 1, N}, {2, 0, 2, N}, {3, 0, 3, N}, {4, 3, 4, N}, {5, 6, 12, N}, {5, 32, 76, U}};
constexpr TStdLine kB5[] = {{7, 8, -255, N}, {1, 0, 1, N},  {2, 0, 2, N},     {3, 0, 3, N},
                            {4, 3, 4, N},    {5, 6, 12, N}, {7, 32, -256, L}, {6, 32, 76, U}};
constexpr TStdLine kB6[] = {{5, 10, -2048, N}, {4, 9, -1024, N}, {4, 8, -512, N}, {4, 7, -256, N},
                            {5, 6, -128, N},   {5, 5, -64, N},   {4, 5, -32, N},  {2, 7, 0, N},
                            {3, 7, 128, N},    {3, 8, 256, N},   {4, 9, 512, N},  {4, 10, 1024, N},
                            {6, 32, -2049, L}, {6, 32, 2048, U}};
constexpr TStdLine kB7[] = {{4, 9, -1024, N}, {3, 8, -512, N}, {4, 7, -256, N},   {5, 6, -128, N},
                            {5, 5, -64, N},   {4, 5, -32, N},  {4, 5, 0, N},      {5, 5, 32, N},
                            {5, 6, 64, N},    {4, 7, 128, N},  {3, 8, 256, N},    {3, 9, 512, N},
                            {3, 10, 1024, N}, {5, 32, -1025, L}, {5, 32, 2048, U}};
constexpr TStdLine kB8[] = {{8, 3, -15, N}, {9, 1, -7, N},    {8, 1, -5, N},    {9, 0, -3, N},  {7, 0, -2, N},
                            {4, 0, -1, N},  {2, 1, 0, N},     {5, 0, 2, N},     {6, 0, 3, N},   {3, 4, 4, N},
                            {6, 1, 20, N},  {4, 4, 22, N},    {4, 5, 38, N},    {5, 6, 70, N},  {5, 7, 134, N},
                            {6, 7, 262, N}, {7, 8, 390, N},   {6, 10, 646, N},  {9, 32, -16, L}, {9, 32, 1670, U},
                            {2, 0, 0, O}};
constexpr TStdLine kB9[] = {{8, 4, -31, N},  {9, 2, -15, N},  {8, 2, -11, N},  {9, 1, -7, N},    {7, 1, -5, N},
                            {4, 1, -3, N},   {3, 1, -1, N},   {3, 1, 1, N},    {5, 1, 3, N},     {6, 1, 5, N},
                            {3, 5, 7, N},    {6, 2, 39, N},   {4, 5, 43, N},   {4, 6, 75, N},    {5, 7, 139, N},
                            {5, 8, 267, N},  {6, 8, 523, N},  {7, 9, 779, N},  {6, 11, 1291, N}, {9, 32, -32, L},
                            {9, 32, 3339, U}, {2, 0, 0, O}};
constexpr TStdLine kB10[] = {{7, 4, -21, N},  {8, 0, -5, N},    {7, 0, -4, N},    {5, 0, -3, N},   {2, 2, -2, N},
                             {5, 0, 2, N},    {6, 0, 3, N},     {7, 0, 4, N},     {8, 0, 5, N},    {2, 6, 6, N},
                             {5, 5, 70, N},   {6, 5, 102, N},   {6, 6, 134, N},   {6, 7, 198, N},  {6, 8, 326, N},
                             {6, 9, 582, N},  {6, 10, 1094, N}, {7, 11, 2118, N}, {8, 32, -22, L}, {8, 32, 4166, U},
                             {2, 0, 0, O}};
constexpr TStdLine kB11[] = {{1, 0, 1, N},  {2, 1, 2, N},  {4, 0, 4, N},  {4, 1, 5, N},  {5, 1, 7, N},
                             {5, 2, 9, N},  {6, 2, 13, N}, {7, 2, 17, N}, {7, 3, 21, N}, {7, 4, 29, N},
                             {7, 5, 45, N}, {7, 6, 77, N}, {7, 32, 141, U}};
constexpr TStdLine kB12[] = {{1, 0, 1, N},  {2, 0, 2, N},  {3, 1, 3, N},  {5, 0, 5, N},  {5, 1, 6, N},
                             {6, 1, 8, N},  {7, 0, 10, N}, {7, 1, 11, N}, {7, 2, 13, N}, {7, 3, 17, N},
                             {7, 4, 25, N}, {8, 5, 41, N}, {8, 32, 73, U}};
constexpr TStdLine kB13[] = {{1, 0, 1, N},  {3, 0, 2, N},  {4, 0, 3, N},  {5, 0, 4, N},  {4, 1, 5, N},
                             {3, 3, 7, N},  {6, 1, 15, N}, {6, 2, 17, N}, {6, 3, 21, N}, {6, 4, 29, N},
                             {6, 5, 45, N}, {7, 6, 77, N}, {7, 32, 141, U}};
constexpr TStdLine kB14[] = {{3, 0, -2, N}, {3, 0, -1, N}, {1, 0, 0, N}, {3, 0, 1, N}, {3, 0, 2, N}};
constexpr TStdLine kB15[] = {{7, 4, -24, N}, {6, 2, -8, N}, {5, 1, -4, N}, {4, 0, -2, N},   {3, 0, -1, N},
                             {1, 0, 0, N},   {3, 0, 1, N},  {4, 0, 2, N},  {5, 1, 3, N},    {6, 2, 5, N},
                             {7, 4, 9, N},   {7, 32, -25, L}, {7, 32, 25, U}};

constexpr std::array<std::span<const TStdLine>, 15> kStandard = {
    std::span<const TStdLine>(kB1), kB2, kB3, kB4, kB5, kB6, kB7, kB8, kB9, kB10, kB11, kB12, kB13, kB14, kB15};

}  // namespace

bool TkwJBIG2HuffmanTable::Add(int APrefLen, int ARangeLen, std::int64_t ARangeLow, TKind AKind) {
  if (APrefLen < 0 || APrefLen > kMaxPrefix || ARangeLen < 0 || ARangeLen > 32) return false;
  FLines.push_back({ARangeLow, static_cast<std::uint8_t>(APrefLen), static_cast<std::uint8_t>(ARangeLen), AKind});
  return true;
}

bool TkwJBIG2HuffmanTable::Build() {
  FOrder.clear();
  std::fill(std::begin(FCount), std::end(FCount), 0u);
  FMaxLen = 0;
  for (const TLine& l : FLines) {
    if (l.PrefLen == 0) continue;
    ++FCount[l.PrefLen];
    FMaxLen = std::max<int>(FMaxLen, l.PrefLen);
  }
  // Codes of one length are consecutive from FFirst and follow the order of the lines.
  FFirst[0] = 0;
  FStart[0] = 0;
  for (int len = 1; len <= kMaxPrefix; ++len) {
    FFirst[len] = (FFirst[len - 1] + (len > 1 ? FCount[len - 1] : 0)) * 2;
    FStart[len] = FStart[len - 1] + (len > 1 ? FCount[len - 1] : 0);
  }
  FOrder.resize(FStart[kMaxPrefix] + FCount[kMaxPrefix]);
  std::array<std::uint32_t, kMaxPrefix + 1> next{};
  for (int len = 0; len <= kMaxPrefix; ++len) next[static_cast<std::size_t>(len)] = FStart[len];
  for (std::uint32_t i = 0; i < FLines.size(); ++i) {
    const int len = FLines[i].PrefLen;
    if (len != 0) FOrder[next[static_cast<std::size_t>(len)]++] = i;
  }
  return !FOrder.empty();
}

TkwJBIG2Code TkwJBIG2HuffmanTable::Decode(TkwJBIG2BitReader& AReader, std::int32_t& AValue) const {
  std::uint64_t code = 0;
  for (int len = 1; len <= FMaxLen; ++len) {
    code = (code << 1) | static_cast<std::uint64_t>(AReader.Bit());
    if (AReader.Overrun()) return TkwJBIG2Code::Fail;
    if (FCount[len] == 0 || code < FFirst[len] || code - FFirst[len] >= FCount[len]) continue;
    const TLine& line = FLines[FOrder[FStart[len] + static_cast<std::uint32_t>(code - FFirst[len])]];
    if (line.Kind == TKind::Oob) return TkwJBIG2Code::Oob;
    const std::int64_t offset = AReader.Bits(line.RangeLen);
    if (AReader.Overrun()) return TkwJBIG2Code::Fail;
    const std::int64_t v = line.Kind == TKind::Lower ? line.RangeLow - offset : line.RangeLow + offset;
    // Values this far out are damage; clamping keeps the callers' sums in range.
    AValue = static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN / 2, INT32_MAX / 2));
    return TkwJBIG2Code::Value;
  }
  return TkwJBIG2Code::Fail;
}

const TkwJBIG2HuffmanTable& JBIG2StandardTable(int ANumber) {
  static const std::array<TkwJBIG2HuffmanTable, 15> tables = [] {
    std::array<TkwJBIG2HuffmanTable, 15> t;
    for (std::size_t i = 0; i < t.size(); ++i) {
      for (const TStdLine& l : kStandard[i]) t[i].Add(l.PrefLen, l.RangeLen, l.RangeLow, l.Kind);
      t[i].Build();
    }
    return t;
  }();
  return tables[static_cast<std::size_t>(std::clamp(ANumber, 1, 15) - 1)];
}

bool ReadJBIG2TableSegment(std::span<const std::uint8_t> AData, TkwJBIG2HuffmanTable& ATable) {
  ATable = TkwJBIG2HuffmanTable();
  if (AData.size() < 9) return false;
  const int flags = AData[0];
  const bool oob = flags & 1;
  const int prefBits = ((flags >> 1) & 7) + 1;
  const int rangeBits = ((flags >> 4) & 7) + 1;
  auto s32 = [&](std::size_t AAt) {
    return static_cast<std::int32_t>((std::uint32_t{AData[AAt]} << 24) | (std::uint32_t{AData[AAt + 1]} << 16) |
                                     (std::uint32_t{AData[AAt + 2]} << 8) | AData[AAt + 3]);
  };
  const std::int64_t low = s32(1), high = s32(5);
  TkwJBIG2BitReader r(AData.subspan(9));
  // Every line covers at least one value, so the loop ends at HTHIGH or at the line cap.
  for (std::int64_t cur = low; cur < high;) {
    if (ATable.Size() >= kMaxJBIG2TableLines) return false;
    const int prefLen = static_cast<int>(r.Bits(prefBits));
    const int rangeLen = static_cast<int>(r.Bits(rangeBits));
    if (r.Overrun() || !ATable.Add(prefLen, rangeLen, cur)) return false;
    cur += std::int64_t{1} << rangeLen;
  }
  const int lowLen = static_cast<int>(r.Bits(prefBits));
  const int highLen = static_cast<int>(r.Bits(prefBits));
  const int oobLen = oob ? static_cast<int>(r.Bits(prefBits)) : 0;
  if (r.Overrun() || !ATable.Add(lowLen, 32, low - 1, TKind::Lower) || !ATable.Add(highLen, 32, high, TKind::Upper)) {
    return false;
  }
  if (oob && !ATable.Add(oobLen, 0, 0, TKind::Oob)) return false;
  return ATable.Build();
}

bool ReadJBIG2SymbolIdTable(TkwJBIG2BitReader& AReader, std::uint32_t ANumSymbols, TkwJBIG2HuffmanTable& ATable) {
  ATable = TkwJBIG2HuffmanTable();
  TkwJBIG2HuffmanTable runs;
  for (int i = 0; i < 35; ++i) runs.Add(static_cast<int>(AReader.Bits(4)), 0, i);
  if (AReader.Overrun() || !runs.Build()) return false;
  std::vector<std::uint8_t> lengths;
  lengths.reserve(ANumSymbols);
  // Each code adds at least one length, so this ends after ANumSymbols codes at most.
  while (lengths.size() < ANumSymbols) {
    std::int32_t code = 0;
    if (runs.Decode(AReader, code) != TkwJBIG2Code::Value) return false;
    std::size_t count = 1;
    std::uint8_t len = 0;
    if (code < 32) {
      len = static_cast<std::uint8_t>(code);
    } else if (code == 32) {
      if (lengths.empty()) return false;  // nothing to repeat
      len = lengths.back();
      count = 3 + AReader.Bits(2);
    } else if (code == 33) {
      count = 3 + AReader.Bits(3);
    } else {
      count = 11 + AReader.Bits(7);
    }
    if (AReader.Overrun()) return false;
    count = std::min<std::size_t>(count, ANumSymbols - lengths.size());
    lengths.insert(lengths.end(), count, len);
  }
  AReader.Align();
  for (std::uint32_t i = 0; i < ANumSymbols; ++i) ATable.Add(lengths[i], 0, i);
  return ATable.Build();
}

}  // namespace qm
