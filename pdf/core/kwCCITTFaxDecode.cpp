#include "pdf/core/kwCCITTFaxDecode.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "base/Limits.h"
#include "pdf/core/kwPDBaseObject.h"

namespace qm {

namespace {

// Run-length code words of ITU-T T.4, tables 2 and 3, written as bit strings.
constexpr std::array<std::string_view, 64> kWhiteTerm = {
    "00110101", "000111",   "0111",     "1000",     "1011",     "1100",     "1110",
    "1111",     "10011",    "10100",    "00111",    "01000",    "001000",   "000011",
    "110100",   "110101",   "101010",   "101011",   "0100111",  "0001100",  "0001000",
    "0010111",  "0000011",  "0000100",  "0101000",  "0101011",  "0010011",  "0100100",
    "0011000",  "00000010", "00000011", "00011010", "00011011", "00010010", "00010011",
    "00010100", "00010101", "00010110", "00010111", "00101000", "00101001", "00101010",
    "00101011", "00101100", "00101101", "00000100", "00000101", "00001010", "00001011",
    "01010010", "01010011", "01010100", "01010101", "00100100", "00100101", "01011000",
    "01011001", "01011010", "01011011", "01001010", "01001011", "00110010", "00110011",
    "00110100"};
constexpr std::array<std::string_view, 27> kWhiteMakeup = {
    "11011",     "10010",     "010111",    "0110111",   "00110110",  "00110111",  "01100100",
    "01100101",  "01101000",  "01100111",  "011001100", "011001101", "011010010", "011010011",
    "011010100", "011010101", "011010110", "011010111", "011011000", "011011001", "011011010",
    "011011011", "010011000", "010011001", "010011010", "011000",    "010011011"};
constexpr std::array<std::string_view, 64> kBlackTerm = {
    "0000110111",   "010",          "11",           "10",           "011",
    "0011",         "0010",         "00011",        "000101",       "000100",
    "0000100",      "0000101",      "0000111",      "00000100",     "00000111",
    "000011000",    "0000010111",   "0000011000",   "0000001000",   "00001100111",
    "00001101000",  "00001101100",  "00000110111",  "00000101000",  "00000010111",
    "00000011000",  "000011001010", "000011001011", "000011001100", "000011001101",
    "000001101000", "000001101001", "000001101010", "000001101011", "000011010010",
    "000011010011", "000011010100", "000011010101", "000011010110", "000011010111",
    "000001101100", "000001101101", "000011011010", "000011011011", "000001010100",
    "000001010101", "000001010110", "000001010111", "000001100100", "000001100101",
    "000001010010", "000001010011", "000000100100", "000000110111", "000000111000",
    "000000100111", "000000101000", "000001011000", "000001011001", "000000101011",
    "000000101100", "000001011010", "000001100110", "000001100111"};
constexpr std::array<std::string_view, 27> kBlackMakeup = {
    "0000001111",    "000011001000",  "000011001001",  "000001011011",  "000000110011",
    "000000110100",  "000000110101",  "0000001101100", "0000001101101", "0000001001010",
    "0000001001011", "0000001001100", "0000001001101", "0000001110010", "0000001110011",
    "0000001110100", "0000001110101", "0000001110110", "0000001110111", "0000001010010",
    "0000001010011", "0000001010100", "0000001010101", "0000001011010", "0000001011011",
    "0000001100100", "0000001100101"};
// Makeup codes 1792 to 2560, shared by both colours.
constexpr std::array<std::string_view, 13> kExtMakeup = {
    "00000001000",  "00000001100",  "00000001101",  "000000010010", "000000010011",
    "000000010100", "000000010101", "000000010110", "000000010111", "000000011100",
    "000000011101", "000000011110", "000000011111"};

constexpr int kRunBits = 13;

struct TRunEntry {
  std::int16_t Run = 0;
  std::uint8_t Len = 0;  // 0: no code starts with these bits
};

struct TRunTable {
  std::array<TRunEntry, 1 << kRunBits> Entries{};
  void Add(std::string_view ACode, int ARun) {
    unsigned code = 0;
    for (char ch : ACode) code = (code << 1) | (ch == '1' ? 1u : 0u);
    const int shift = kRunBits - static_cast<int>(ACode.size());
    for (unsigned j = 0; j < (1u << shift); ++j) {
      auto& e = Entries[(code << shift) | j];
      e.Run = static_cast<std::int16_t>(ARun);
      e.Len = static_cast<std::uint8_t>(ACode.size());
    }
  }
  TRunTable(const std::array<std::string_view, 64>& ATerm,
            const std::array<std::string_view, 27>& AMakeup) {
    for (int i = 0; i < 64; ++i) Add(ATerm[static_cast<std::size_t>(i)], i);
    for (int i = 0; i < 27; ++i) Add(AMakeup[static_cast<std::size_t>(i)], 64 * (i + 1));
    for (int i = 0; i < 13; ++i) Add(kExtMakeup[static_cast<std::size_t>(i)], 1792 + 64 * i);
  }
};

const TRunTable kWhite(kWhiteTerm, kWhiteMakeup);
const TRunTable kBlack(kBlackTerm, kBlackMakeup);

enum TMode : std::uint8_t { mdNone, mdPass, mdHoriz, mdV0, mdVR1, mdVR2, mdVR3, mdVL1, mdVL2, mdVL3 };

struct TModeTable {
  std::array<std::uint8_t, 128> Mode{};
  std::array<std::uint8_t, 128> Len{};
  void Add(std::string_view ACode, TMode AMode) {
    unsigned code = 0;
    for (char ch : ACode) code = (code << 1) | (ch == '1' ? 1u : 0u);
    const int shift = 7 - static_cast<int>(ACode.size());
    for (unsigned j = 0; j < (1u << shift); ++j) {
      Mode[(code << shift) | j] = AMode;
      Len[(code << shift) | j] = static_cast<std::uint8_t>(ACode.size());
    }
  }
  TModeTable() {
    Add("0001", mdPass);
    Add("001", mdHoriz);
    Add("1", mdV0);
    Add("011", mdVR1);
    Add("000011", mdVR2);
    Add("0000011", mdVR3);
    Add("010", mdVL1);
    Add("000010", mdVL2);
    Add("0000010", mdVL3);
  }
};
const TModeTable kModes;

// Inverts bits [AFrom, ATo) of a packed row.
void FlipBits(std::span<std::uint8_t> ARow, int AFrom, int ATo) {
  if (AFrom >= ATo) return;
  auto b0 = static_cast<std::size_t>(AFrom >> 3), b1 = static_cast<std::size_t>((ATo - 1) >> 3);
  const auto headMask = static_cast<std::uint8_t>(0xFF >> (AFrom & 7));
  const auto tailMask = static_cast<std::uint8_t>(0xFF << (7 - ((ATo - 1) & 7)));
  if (b0 == b1) {
    ARow[b0] ^= static_cast<std::uint8_t>(headMask & tailMask);
    return;
  }
  ARow[b0] ^= headMask;
  for (std::size_t b = b0 + 1; b < b1; ++b) ARow[b] ^= 0xFF;
  ARow[b1] ^= tailMask;
}

}  // namespace

TkwCCITTFaxDecoder::TkwCCITTFaxDecoder(std::span<const std::uint8_t> AData,
                                       const TkwCCITTParams& AParams)
    : FData(AData), FParams(AParams) {
  // A page wider than any fax machine's is damage; keep the line arrays bounded.
  FColumns = std::clamp(AParams.Columns, 1, 1 << 16);
  FBitEnd = FData.size() * 8;
  FReference.assign(3, FColumns);
  FCoding.reserve(static_cast<std::size_t>(FColumns) + 2);
}

std::uint32_t TkwCCITTFaxDecoder::Peek(int ACount) const {
  const std::size_t byte = FBitPos >> 3;
  std::uint32_t w = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    w = (w << 8) | (byte + i < FData.size() ? FData[byte + i] : 0u);
  }
  w <<= (FBitPos & 7);
  return w >> (32 - ACount);
}

int TkwCCITTFaxDecoder::ZeroRun() const {
  int n = 0;
  std::size_t p = FBitPos;
  while (p < FBitEnd && n < 64 && ((FData[p >> 3] >> (7 - (p & 7))) & 1) == 0) {
    ++p;
    ++n;
  }
  return p >= FBitEnd ? -1 : n;  // -1: only zeros up to the end
}

int TkwCCITTFaxDecoder::DecodeRun(bool ABlack) {
  const TRunTable& table = ABlack ? kBlack : kWhite;
  int total = 0;
  // Makeup codes repeat at most a few times for any line we accept.
  for (int i = 0; i < 64; ++i) {
    if (AtEnd()) return -1;
    const TRunEntry& e = table.Entries[Peek(kRunBits)];
    if (e.Len == 0) return -1;
    Skip(e.Len);
    total += e.Run;
    if (e.Run < 64) return total;
  }
  return -1;
}

void TkwCCITTFaxDecoder::AddChange(int APos) {
  APos = std::clamp(APos, 0, FColumns);
  if (!FCoding.empty() && APos < FCoding.back()) APos = FCoding.back();
  FCoding.push_back(APos);
}

bool TkwCCITTFaxDecoder::Decode1D() {
  int pos = 0;
  bool black = false;
  while (pos < FColumns) {
    const int run = DecodeRun(black);
    if (run < 0) return false;
    pos += run;
    AddChange(pos);
    black = !black;
  }
  return true;
}

bool TkwCCITTFaxDecoder::Decode2D() {
  const std::vector<int>& ref = FReference;
  int a0 = -1;
  int color = 0;  // 0 white, 1 black: the colour of the pixel at a0
  std::size_t j = 0;
  const std::size_t last = ref.size() - 2;
  for (int guard = 0; a0 < FColumns && guard <= 2 * FColumns + 4; ++guard) {
    // b1: first changing element right of a0 whose colour is opposite to a0's; changes at
    // even indexes turn to black.
    while (j > 0 && ref[j - 1] > a0) --j;
    while (j < last && (ref[j] <= a0 || (j & 1) != static_cast<std::size_t>(color))) ++j;
    const int b1 = ref[j], b2 = ref[j + 1];
    if (AtEnd()) return false;
    const std::uint32_t bits = Peek(7);
    const TMode mode = static_cast<TMode>(kModes.Mode[bits]);
    Skip(kModes.Len[bits]);
    switch (mode) {
      case mdPass:
        a0 = b2;
        break;
      case mdHoriz: {
        const int r1 = DecodeRun(color == 1);
        if (r1 < 0) return false;
        const int r2 = DecodeRun(color == 0);
        if (r2 < 0) return false;
        const int a1 = std::max(a0, 0) + r1;
        AddChange(a1);
        AddChange(a1 + r2);
        a0 = std::min(a1 + r2, FColumns);
        break;
      }
      case mdNone:
        return false;
      default: {
        static constexpr int kDelta[] = {0, 0, 0, 0, 1, 2, 3, -1, -2, -3};
        const int a1 = std::clamp(b1 + kDelta[mode], std::max(a0, 0), FColumns);
        AddChange(a1);
        a0 = a1;
        color ^= 1;
        break;
      }
    }
  }
  return true;
}

void TkwCCITTFaxDecoder::SkipEndOfBlock() {
  for (int i = 0; i < 2; ++i) {
    if (Peek(12) == 1) Skip(12);
  }
}

bool TkwCCITTFaxDecoder::ReadRow(std::span<std::uint8_t> AOut) {
  if (FEnd || AOut.size() < GetRowBytes()) return false;
  if (!FParams.EndOfBlock && FParams.Rows > 0 && FRow >= FParams.Rows) return false;
  // EOL codes (possibly after fill bits); two in a row close the block.
  bool gotEol = false;
  for (int eols = 0;; ++eols) {
    const int zeros = ZeroRun();
    if (zeros < 0) {
      FEnd = true;
      return false;
    }
    if (zeros < 11) break;
    Skip(zeros + 1);
    gotEol = true;
    if (eols >= 1) {
      FEnd = true;
      return false;
    }
    if (FParams.K > 0) {
      // A tag bit follows each EOL in mixed coding; peek past it for a further EOL.
      const std::size_t save = FBitPos;
      Skip(1);
      const int z = ZeroRun();
      FBitPos = save;
      if (z < 0 || z >= 11) {
        FEnd = true;
        return false;
      }
      break;
    }
  }
  if (!gotEol && FParams.EncodedByteAlign) FBitPos = (FBitPos + 7) & ~std::size_t{7};
  if (AtEnd()) {
    FEnd = true;
    return false;
  }
  bool twoD = FParams.K < 0;
  if (FParams.K > 0) {
    twoD = Peek(1) == 0;
    Skip(1);
  }
  FCoding.clear();
  const bool ok = twoD ? Decode2D() : Decode1D();
  // Pack the row: white everywhere, then the black runs between change pairs.
  const std::uint8_t white = FParams.BlackIs1 ? 0x00 : 0xFF;
  std::fill_n(AOut.begin(), GetRowBytes(), white);
  for (std::size_t i = 0; i < FCoding.size(); i += 2) {
    const int from = FCoding[i];
    const int to = i + 1 < FCoding.size() ? FCoding[i + 1] : FColumns;
    FlipBits(AOut, from, to);
  }
  // The reference for the next row: changes inside the line, then sentinels.
  FReference.clear();
  for (int c : FCoding) {
    if (c < FColumns) FReference.push_back(c);
  }
  FReference.insert(FReference.end(), 3, FColumns);
  ++FRow;
  if (!ok) {
    // Resynchronise at the next EOL when the producer writes them; otherwise stop.
    FEnd = true;
    if (FParams.EndOfLine || FParams.K > 0) {
      while (FBitPos + 12 <= FBitEnd) {
        if (Peek(12) == 1) {
          FEnd = false;
          break;
        }
        Skip(1);
      }
      FReference.assign(3, FColumns);
    }
  }
  return true;
}

TkwCCITTFaxDecode::TkwCCITTFaxDecode(TkwRef<TkwStream> ASource, const TkwCCITTParams& AParams)
    : TkwDecode(std::move(ASource)), FParams(AParams) {}

TkwCCITTFaxDecode::~TkwCCITTFaxDecode() = default;

TkwCCITTParams TkwCCITTFaxDecode::ReadParams(const TkwPDDictionary* AParms) {
  TkwCCITTParams p;
  if (!AParms) return p;
  p.K = AParms->LookUpInt("K", 0);
  p.EndOfLine = AParms->LookUpBool("EndOfLine", false);
  p.EncodedByteAlign = AParms->LookUpBool("EncodedByteAlign", false);
  p.Columns = AParms->LookUpInt("Columns", 1728);
  if (p.Columns <= 0) p.Columns = 1;
  p.Rows = std::max(AParms->LookUpInt("Rows", 0), 0);
  p.EndOfBlock = AParms->LookUpBool("EndOfBlock", true);
  p.BlackIs1 = AParms->LookUpBool("BlackIs1", false);
  return p;
}

void TkwCCITTFaxDecode::ResetDecoder() {
  FLoaded = false;
  FDecoder.reset();
  FInput.clear();
}

bool TkwCCITTFaxDecode::Refill() {
  if (!FLoaded) {
    FLoaded = true;
    if (!FSource) throw ExInvalidStream();
    try {
      FSource->Read(FInput, kMaxDecodedBytes);
      FDecoder = std::make_unique<TkwCCITTFaxDecoder>(
          std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(FInput.data()), FInput.size()),
          FParams);
      FRowBuf.resize(FDecoder->GetRowBytes());
    } catch (const std::bad_alloc&) {
      throw ExOutofMemory();
    }
  }
  if (!FDecoder || !FDecoder->ReadRow(FRowBuf)) return false;
  SetWindow(FRowBuf.data(), FRowBuf.data() + FRowBuf.size());
  return true;
}

}  // namespace qm
