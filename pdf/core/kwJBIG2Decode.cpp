#include "pdf/core/kwJBIG2Decode.h"

#include <algorithm>
#include <array>
#include <map>

#include "base/Limits.h"
#include "pdf/core/kwCCITTFaxDecode.h"
#include "pdf/core/kwJBIG2HuffmanTable.h"
#include "pdf/core/kwPDBaseObject.h"

namespace qm {

namespace {

// The caps are in base/Limits.h. The MQ decoder's data counts as used up once it has fed
// kMaxJBIG2BytesPastEnd bytes from a marker or past the end: an encoder's flush leaves the
// decoder at most a few bytes short, so more means truncated or damaged data, and the rest
// of the region is left as decoded so far. The pixels one stream may allocate or combine in
// all (kMaxJBIG2WorkPixels) are a few full-size pages.

bool SpendWork(TkwJBIG2Budget* ABudget, std::int64_t APixels) {
  return ABudget == nullptr || ABudget->Spend(APixels);
}

// ---------------------------------------------------------------------------------------
// MQ arithmetic decoder (T.88 Annex E).

struct TQe {
  std::uint16_t Qe;
  std::uint8_t Nmps, Nlps, Switch;
};
constexpr std::array<TQe, 47> kQe = {{
    {0x5601, 1, 1, 1},   {0x3401, 2, 6, 0},   {0x1801, 3, 9, 0},   {0x0AC1, 4, 12, 0},
    {0x0521, 5, 29, 0},  {0x0221, 38, 33, 0}, {0x5601, 7, 6, 1},   {0x5401, 8, 14, 0},
    {0x4801, 9, 14, 0},  {0x3801, 10, 14, 0}, {0x3001, 11, 17, 0}, {0x2401, 12, 18, 0},
    {0x1C01, 13, 20, 0}, {0x1601, 29, 21, 0}, {0x5601, 15, 14, 1}, {0x5401, 16, 14, 0},
    {0x5101, 17, 15, 0}, {0x4801, 18, 16, 0}, {0x3801, 19, 17, 0}, {0x3401, 20, 18, 0},
    {0x3001, 21, 19, 0}, {0x2801, 22, 19, 0}, {0x2401, 23, 20, 0}, {0x2201, 24, 21, 0},
    {0x1C01, 25, 22, 0}, {0x1801, 26, 23, 0}, {0x1601, 27, 24, 0}, {0x1401, 28, 25, 0},
    {0x1201, 29, 26, 0}, {0x1101, 30, 27, 0}, {0x0AC1, 31, 28, 0}, {0x09C1, 32, 29, 0},
    {0x08A1, 33, 30, 0}, {0x0521, 34, 31, 0}, {0x0441, 35, 32, 0}, {0x02A1, 36, 33, 0},
    {0x0221, 37, 34, 0}, {0x0141, 38, 35, 0}, {0x0111, 39, 36, 0}, {0x0085, 40, 37, 0},
    {0x0049, 41, 38, 0}, {0x0025, 42, 39, 0}, {0x0015, 43, 40, 0}, {0x0009, 44, 41, 0},
    {0x0005, 45, 42, 0}, {0x0001, 45, 43, 0}, {0x5601, 46, 46, 0},
}};

// A context: probability state index << 1 | MPS.
using TCx = std::uint8_t;

class TMQDecoder {
public:
  explicit TMQDecoder(std::span<const std::uint8_t> AData) : FData(AData) {
    FC = static_cast<std::uint32_t>(Byte(0)) << 16;
    ByteIn();
    FC <<= 7;
    FCt -= 7;
    FA = 0x8000;
  }

  int Decode(TCx& ACx) {
    const TQe& q = kQe[ACx >> 1];
    const int mps = ACx & 1;
    int d;
    FA -= q.Qe;
    if ((FC >> 16) < q.Qe) {
      if (FA < q.Qe) {
        d = mps;
        ACx = static_cast<TCx>((q.Nmps << 1) | mps);
      } else {
        d = 1 - mps;
        ACx = static_cast<TCx>((q.Nlps << 1) | (q.Switch ? 1 - mps : mps));
      }
      FA = q.Qe;
      Renorm();
    } else {
      FC -= static_cast<std::uint32_t>(q.Qe) << 16;
      if ((FA & 0x8000) == 0) {
        if (FA < q.Qe) {
          d = 1 - mps;
          ACx = static_cast<TCx>((q.Nlps << 1) | (q.Switch ? 1 - mps : mps));
        } else {
          d = mps;
          ACx = static_cast<TCx>((q.Nmps << 1) | mps);
        }
        Renorm();
      } else {
        d = mps;
      }
    }
    return d;
  }
  // Bytes used so far: data past the end reads as 0xFF, so this may exceed the size.
  [[nodiscard]] std::size_t Position() const { return FBp; }
  // True once the decoder has read well past the end of its data.
  [[nodiscard]] bool Exhausted() const { return FPastEnd > kMaxJBIG2BytesPastEnd; }

private:
  std::span<const std::uint8_t> FData;
  std::size_t FBp = 0;
  std::uint32_t FC = 0, FA = 0;
  int FCt = 0;
  int FPastEnd = 0;

  [[nodiscard]] std::uint32_t Byte(std::size_t AIndex) const {
    return AIndex < FData.size() ? FData[AIndex] : 0xFFu;
  }
  void ByteIn() {
    if (Byte(FBp) == 0xFF) {
      if (Byte(FBp + 1) > 0x8F) {
        // A marker or the end of the data: 1 bits are fed, and the position stays.
        if (FPastEnd <= kMaxJBIG2BytesPastEnd) ++FPastEnd;
        FC += 0xFF00;
        FCt = 8;
      } else {
        ++FBp;
        FC += Byte(FBp) << 9;
        FCt = 7;
      }
    } else {
      ++FBp;
      FC += Byte(FBp) << 8;
      FCt = 8;
    }
  }
  void Renorm() {
    do {
      if (FCt == 0) ByteIn();
      FA <<= 1;
      FC <<= 1;
      --FCt;
    } while ((FA & 0x8000) == 0);
  }
};

// Integer decoding procedure (Annex A.2) with its 512 contexts.
struct TIntDecoder {
  std::array<TCx, 512> Cx{};
  // False for OOB.
  bool Decode(TMQDecoder& AMq, std::int32_t& AValue) {
    std::uint32_t prev = 1;
    auto bit = [&]() {
      const int d = AMq.Decode(Cx[prev]);
      prev = prev < 256 ? ((prev << 1) | static_cast<std::uint32_t>(d))
                        : ((((prev << 1) | static_cast<std::uint32_t>(d)) & 511) | 256);
      return d;
    };
    const int s = bit();
    int bits, offset;
    if (!bit()) {
      bits = 2;
      offset = 0;
    } else if (!bit()) {
      bits = 4;
      offset = 4;
    } else if (!bit()) {
      bits = 6;
      offset = 20;
    } else if (!bit()) {
      bits = 8;
      offset = 84;
    } else if (!bit()) {
      bits = 12;
      offset = 340;
    } else {
      bits = 32;
      offset = 4436;
    }
    std::uint32_t v = 0;
    for (int i = 0; i < bits; ++i) v = (v << 1) | static_cast<std::uint32_t>(bit());
    const std::int64_t value = std::int64_t{v} + offset;
    if (s && value == 0) return false;
    const std::int64_t signedValue = s ? -value : value;
    AValue = static_cast<std::int32_t>(std::clamp<std::int64_t>(signedValue, INT32_MIN / 2, INT32_MAX / 2));
    return true;
  }
};

// Symbol ID decoding (Annex A.3).
struct TIdDecoder {
  int Len = 0;
  std::vector<TCx> Cx;
  explicit TIdDecoder(int ALen) : Len(ALen), Cx(std::size_t{1} << ALen, 0) {}
  std::uint32_t Decode(TMQDecoder& AMq) {
    std::uint32_t prev = 1;
    for (int i = 0; i < Len; ++i) prev = (prev << 1) | static_cast<std::uint32_t>(AMq.Decode(Cx[prev]));
    return prev - (1u << Len);
  }
};

// ---------------------------------------------------------------------------------------

struct TReader {
  std::span<const std::uint8_t> D;
  std::size_t P = 0;
  bool Ok = true;
  bool Need(std::size_t ACount) {
    if (P + ACount > D.size()) Ok = false;
    return Ok;
  }
  std::uint32_t U8() { return Need(1) ? D[P++] : 0; }
  std::int32_t S8() { return static_cast<std::int8_t>(U8()); }
  std::uint32_t U16() {
    if (!Need(2)) return 0;
    const std::uint32_t v = (std::uint32_t{D[P]} << 8) | D[P + 1];
    P += 2;
    return v;
  }
  std::uint32_t U32() {
    if (!Need(4)) return 0;
    const std::uint32_t v = (std::uint32_t{D[P]} << 24) | (std::uint32_t{D[P + 1]} << 16) |
                            (std::uint32_t{D[P + 2]} << 8) | D[P + 3];
    P += 4;
    return v;
  }
  std::int32_t S32() { return static_cast<std::int32_t>(U32()); }
  [[nodiscard]] std::span<const std::uint8_t> Rest() const {
    return P <= D.size() ? D.subspan(P) : std::span<const std::uint8_t>();
  }
};

struct TRegionInfo {
  int W = 0, H = 0, X = 0, Y = 0, Op = 0;
};

bool ReadRegionInfo(TReader& AR, TRegionInfo& AInfo) {
  const std::uint32_t w = AR.U32(), h = AR.U32(), x = AR.U32(), y = AR.U32();
  AInfo.Op = static_cast<int>(AR.U8() & 7);
  if (!AR.Ok || w > kMaxJBIG2Dimension || h > kMaxJBIG2Dimension) return false;
  AInfo.W = static_cast<int>(w);
  AInfo.H = static_cast<int>(h);
  AInfo.X = static_cast<int>(std::min<std::uint32_t>(x, INT32_MAX / 2));
  AInfo.Y = static_cast<int>(std::min<std::uint32_t>(y, INT32_MAX / 2));
  return true;
}

using TBitmapPtr = std::shared_ptr<const TkwJBIG2Bitmap>;

// Generic region decoding (6.2) with arithmetic coding. AAt holds x, y pairs of the
// adaptive pixels; ACx must have 1 << 16 entries.
bool DecodeGenericArith(TMQDecoder& AMq, std::vector<TCx>& ACx, TkwJBIG2Bitmap& AOut, int AW, int AH,
                        int ATemplate, bool ATpgdon, const std::array<int, 8>& AAt,
                        const TkwJBIG2Bitmap* ASkip = nullptr) {
  if (!AOut.Create(AW, AH)) return false;
  if (AW == 0 || AH == 0) return true;  // an empty region codes nothing
  static constexpr std::array<std::uint32_t, 4> kSltp = {0x9B25, 0x0795, 0x00E5, 0x0195};
  int ltp = 0;
  const TkwJBIG2Bitmap& b = AOut;
  // The fixed neighbours of each template lie on up to three rows as runs of pixels, the
  // rightmost at the run's lowest context bit: Low..High bits, the pixel at x + Dx at Low.
  // Moving right shifts each run by one bit and reads one new pixel per row; only the
  // adaptive pixels are read anew at every pixel.
  struct TRun {
    int Low, High, Dx;
  };
  struct TTemplate {
    std::array<TRun, 3> Rows;  // rows y, y - 1, y - 2; High < Low: none
    int AtCount;
    std::array<int, 4> AtBits;
  };
  static constexpr std::array<TTemplate, 4> kTemplates = {{
      {{{{0, 3, -1}, {5, 9, 2}, {12, 14, 1}}}, 4, {4, 10, 11, 15}},
      {{{{0, 2, -1}, {4, 8, 2}, {9, 12, 2}}}, 1, {3, 0, 0, 0}},
      {{{{0, 1, -1}, {3, 6, 1}, {7, 9, 1}}}, 1, {2, 0, 0, 0}},
      {{{{0, 3, -1}, {5, 9, 1}, {1, 0, 0}}}, 1, {4, 0, 0, 0}},
  }};
  const TTemplate& t = kTemplates[static_cast<std::size_t>(ATemplate >= 0 && ATemplate <= 2 ? ATemplate : 3)];
  for (int y = 0; y < AH && !AMq.Exhausted(); ++y) {
    if (ATpgdon) {
      ltp ^= AMq.Decode(ACx[kSltp[static_cast<std::size_t>(ATemplate & 3)]]);
      if (ltp) {
        if (y > 0) {
          std::copy_n(&AOut.P[static_cast<std::size_t>(y - 1) * static_cast<std::size_t>(AW)], AW,
                      &AOut.P[static_cast<std::size_t>(y) * static_cast<std::size_t>(AW)]);
        }
        continue;
      }
    }
    std::array<std::uint32_t, 3> runs{};
    std::array<std::uint32_t, 3> keep{};  // the bits a run keeps when it shifts
    for (std::size_t r = 0; r < 3; ++r) {
      const TRun& run = t.Rows[r];
      if (run.High < run.Low) continue;
      for (int bit = run.Low; bit <= run.High; ++bit) {
        runs[r] |= static_cast<std::uint32_t>(b.Get(run.Dx - (bit - run.Low), y - static_cast<int>(r))) << bit;
      }
      keep[r] = ((std::uint32_t{2} << run.High) - 1) & ~((std::uint32_t{2} << run.Low) - 1);
    }
    for (int x = 0; x < AW; ++x) {
      if (!ASkip || !ASkip->Get(x, y)) {
        std::uint32_t c = runs[0] | runs[1] | runs[2];
        for (int a = 0; a < t.AtCount; ++a) {
          const std::size_t i = static_cast<std::size_t>(2 * a);
          c |= static_cast<std::uint32_t>(b.Get(x + AAt[i], y + AAt[i + 1])) << t.AtBits[static_cast<std::size_t>(a)];
        }
        if (AMq.Decode(ACx[c])) AOut.Set(x, y, 1);
      }
      for (std::size_t r = 0; r < 3; ++r) {
        const TRun& run = t.Rows[r];
        if (run.High < run.Low) continue;
        runs[r] = ((runs[r] << 1) & keep[r]) |
                  (static_cast<std::uint32_t>(b.Get(x + 1 + run.Dx, y - static_cast<int>(r))) << run.Low);
      }
    }
  }
  return true;
}

// Generic region decoding with MMR (T.6) coding. AUsed receives the bytes consumed.
bool DecodeGenericMMR(std::span<const std::uint8_t> AData, TkwJBIG2Bitmap& AOut, int AW, int AH,
                      std::size_t* AUsed = nullptr) {
  if (!AOut.Create(AW, AH)) return false;
  if (AW == 0 || AH == 0) return true;
  TkwCCITTParams p;
  p.K = -1;
  p.Columns = AW;
  p.Rows = AH;
  p.EndOfBlock = false;
  p.BlackIs1 = true;
  TkwCCITTFaxDecoder dec(AData, p);
  std::vector<std::uint8_t> row(dec.GetRowBytes());
  for (int y = 0; y < AH && dec.ReadRow(row); ++y) {
    for (int x = 0; x < AW; ++x) {
      if ((row[static_cast<std::size_t>(x >> 3)] >> (7 - (x & 7))) & 1) AOut.Set(x, y, 1);
    }
  }
  dec.SkipEndOfBlock();
  if (AUsed) *AUsed = dec.GetBytePosition();
  return true;
}

// Generic refinement region decoding (6.3). ACx must have 1 << 13 entries.
bool DecodeRefinement(TMQDecoder& AMq, std::vector<TCx>& ACx, TkwJBIG2Bitmap& AOut, int AW, int AH,
                      int ATemplate, const TkwJBIG2Bitmap& ARef, int ADx, int ADy, bool ATpgron,
                      const std::array<int, 4>& AAt) {
  if (!AOut.Create(AW, AH)) return false;
  const TkwJBIG2Bitmap& b = AOut;
  auto context = [&](int x, int y) -> std::uint32_t {
    const int rx = x - ADx, ry = y - ADy;
    if (ATemplate == 0) {
      return static_cast<std::uint32_t>(
          b.Get(x - 1, y) | (b.Get(x + 1, y - 1) << 1) | (b.Get(x, y - 1) << 2) |
          (b.Get(x + AAt[0], y + AAt[1]) << 3) | (ARef.Get(rx + 1, ry + 1) << 4) |
          (ARef.Get(rx, ry + 1) << 5) | (ARef.Get(rx - 1, ry + 1) << 6) | (ARef.Get(rx + 1, ry) << 7) |
          (ARef.Get(rx, ry) << 8) | (ARef.Get(rx - 1, ry) << 9) | (ARef.Get(rx + 1, ry - 1) << 10) |
          (ARef.Get(rx, ry - 1) << 11) | (ARef.Get(rx + AAt[2], ry + AAt[3]) << 12));
    }
    return static_cast<std::uint32_t>(
        b.Get(x - 1, y) | (b.Get(x + 1, y - 1) << 1) | (b.Get(x, y - 1) << 2) | (b.Get(x - 1, y - 1) << 3) |
        (ARef.Get(rx + 1, ry + 1) << 4) | (ARef.Get(rx, ry + 1) << 5) | (ARef.Get(rx + 1, ry) << 6) |
        (ARef.Get(rx, ry) << 7) | (ARef.Get(rx - 1, ry) << 8) | (ARef.Get(rx, ry - 1) << 9));
  };
  int ltp = 0;
  for (int y = 0; y < AH && !AMq.Exhausted(); ++y) {
    if (ATpgron) ltp ^= AMq.Decode(ACx[ATemplate == 0 ? 0x100 : 0x080]);
    for (int x = 0; x < AW; ++x) {
      if (ltp) {
        // Typical prediction: a uniform 3 × 3 neighbourhood in the reference is copied.
        const int rx = x - ADx, ry = y - ADy;
        const int v = ARef.Get(rx, ry);
        bool uniform = true;
        for (int dy = -1; dy <= 1 && uniform; ++dy) {
          for (int dx = -1; dx <= 1 && uniform; ++dx) uniform = ARef.Get(rx + dx, ry + dy) == v;
        }
        if (uniform) {
          if (v) AOut.Set(x, y, 1);
          continue;
        }
      }
      if (AMq.Decode(ACx[context(x, y)])) AOut.Set(x, y, 1);
    }
  }
  return true;
}

int CeilLog2(std::uint32_t AValue) {
  int n = 0;
  while (n < 32 && (std::uint64_t{1} << n) < AValue) ++n;
  return n;
}

// Contexts of a text region's integer decoders; a symbol dictionary that aggregates keeps
// its own set for the whole dictionary.
struct TTextContexts {
  TIntDecoder Iadt, Iafs, Iads, Iait, Iari, Iardw, Iardh, Iardx, Iardy;
  TIdDecoder Iaid;
  explicit TTextContexts(int ACodeLen) : Iaid(ACodeLen) {}
};

struct TTextParams {
  int W = 0, H = 0;
  std::uint32_t NumInstances = 0;
  int LogStrips = 0;
  int RefCorner = 1;
  bool Transposed = false;
  int CombOp = 0;
  int DefPixel = 0;
  int DsOffset = 0;
  bool Refine = false;
  int RTemplate = 0;
  std::array<int, 4> RAt{-1, -1, -1, -1};
};

// Where a text region's numbers come from: the arithmetic decoder or Huffman codes. A
// symbol dictionary that aggregates decodes its instances through the same coders.
enum class TTextField { Dt, Fs, Ds, It, Ri };

class TTextCoder {
public:
  virtual ~TTextCoder() = default;
  // Oob only where the field allows it (the end of a strip); Fail when the data is used up.
  virtual TkwJBIG2Code Int(TTextField AField, std::int32_t& AValue) = 0;
  virtual bool SymbolId(std::uint32_t& AId) = 0;
  // Decodes the refinement deltas and the refined bitmap of ASymbol.
  virtual bool Refine(const TkwJBIG2Bitmap& ASymbol, const TTextParams& AP, TkwJBIG2Bitmap& AOut) = 0;
  [[nodiscard]] virtual bool Exhausted() const = 0;
};

// The refined bitmap's size and its offset to the symbol (6.4.11.3).
bool RefinedGeometry(const TkwJBIG2Bitmap& ASymbol, std::int32_t ARdw, std::int32_t ARdh, std::int32_t ARdx,
                     std::int32_t ARdy, int& AW, int& AH, int& ADx, int& ADy) {
  const std::int64_t w = std::int64_t{ASymbol.W} + ARdw, h = std::int64_t{ASymbol.H} + ARdh;
  if (w < 0 || h < 0 || w > kMaxJBIG2Dimension || h > kMaxJBIG2Dimension) return false;
  AW = static_cast<int>(w);
  AH = static_cast<int>(h);
  ADx = (ARdw >= 0 ? ARdw / 2 : -((-ARdw + 1) / 2)) + ARdx;
  ADy = (ARdh >= 0 ? ARdh / 2 : -((-ARdh + 1) / 2)) + ARdy;
  return true;
}

class TArithTextCoder final : public TTextCoder {
public:
  TArithTextCoder(TMQDecoder& AMq, TTextContexts& ACtx, std::vector<TCx>& AGrCx)
      : FMq(AMq), FCtx(ACtx), FGrCx(AGrCx) {}
  TkwJBIG2Code Int(TTextField AField, std::int32_t& AValue) override {
    TIntDecoder* d = &FCtx.Iadt;
    switch (AField) {
      case TTextField::Dt: d = &FCtx.Iadt; break;
      case TTextField::Fs: d = &FCtx.Iafs; break;
      case TTextField::Ds: d = &FCtx.Iads; break;
      case TTextField::It: d = &FCtx.Iait; break;
      case TTextField::Ri: d = &FCtx.Iari; break;
    }
    return d->Decode(FMq, AValue) ? TkwJBIG2Code::Value : TkwJBIG2Code::Oob;
  }
  bool SymbolId(std::uint32_t& AId) override {
    AId = FCtx.Iaid.Decode(FMq);
    return true;
  }
  bool Refine(const TkwJBIG2Bitmap& ASymbol, const TTextParams& AP, TkwJBIG2Bitmap& AOut) override {
    std::int32_t rdw = 0, rdh = 0, rdx = 0, rdy = 0;
    if (!FCtx.Iardw.Decode(FMq, rdw) || !FCtx.Iardh.Decode(FMq, rdh) || !FCtx.Iardx.Decode(FMq, rdx) ||
        !FCtx.Iardy.Decode(FMq, rdy)) {
      return false;
    }
    int w, h, dx, dy;
    if (!RefinedGeometry(ASymbol, rdw, rdh, rdx, rdy, w, h, dx, dy)) return false;
    return DecodeRefinement(FMq, FGrCx, AOut, w, h, AP.RTemplate, ASymbol, dx, dy, false, AP.RAt);
  }
  [[nodiscard]] bool Exhausted() const override { return FMq.Exhausted(); }

private:
  TMQDecoder& FMq;
  TTextContexts& FCtx;
  std::vector<TCx>& FGrCx;
};
// The Huffman tables of a text region, in the order of its table selection flags.
struct TTextTables {
  const TkwJBIG2HuffmanTable* Fs = nullptr;
  const TkwJBIG2HuffmanTable* Ds = nullptr;
  const TkwJBIG2HuffmanTable* Dt = nullptr;
  const TkwJBIG2HuffmanTable* Rdw = nullptr;
  const TkwJBIG2HuffmanTable* Rdh = nullptr;
  const TkwJBIG2HuffmanTable* Rdx = nullptr;
  const TkwJBIG2HuffmanTable* Rdy = nullptr;
  const TkwJBIG2HuffmanTable* Rsize = nullptr;
};

// Huffman-coded text: symbol IDs come from the region's own code table, or as fixed-length
// numbers of AIdBits bits when AIds is null (the instances of an aggregating dictionary).
// Each refined bitmap is arithmetic-coded in its own run of bytes.
class THuffTextCoder final : public TTextCoder {
public:
  THuffTextCoder(TkwJBIG2BitReader& AReader, const TTextTables& ATables, const TkwJBIG2HuffmanTable* AIds,
                 int AIdBits, int ALogStrips, std::vector<TCx>& AGrCx)
      : FR(AReader), FT(ATables), FIds(AIds), FIdBits(AIdBits), FLogStrips(ALogStrips), FGrCx(AGrCx) {}
  TkwJBIG2Code Int(TTextField AField, std::int32_t& AValue) override {
    switch (AField) {
      case TTextField::Dt: return FT.Dt->Decode(FR, AValue);
      case TTextField::Fs: return FT.Fs->Decode(FR, AValue);
      case TTextField::Ds: return FT.Ds->Decode(FR, AValue);
      case TTextField::It: AValue = static_cast<std::int32_t>(FR.Bits(FLogStrips)); break;
      case TTextField::Ri: AValue = FR.Bit(); break;
    }
    return FR.Overrun() ? TkwJBIG2Code::Fail : TkwJBIG2Code::Value;
  }
  bool SymbolId(std::uint32_t& AId) override {
    if (!FIds) {
      AId = FR.Bits(FIdBits);
      return !FR.Overrun();
    }
    std::int32_t v = 0;
    if (FIds->Decode(FR, v) != TkwJBIG2Code::Value) return false;
    AId = static_cast<std::uint32_t>(v);
    return true;
  }
  bool Refine(const TkwJBIG2Bitmap& ASymbol, const TTextParams& AP, TkwJBIG2Bitmap& AOut) override {
    std::int32_t rdw = 0, rdh = 0, rdx = 0, rdy = 0, size = 0;
    if (FT.Rdw->Decode(FR, rdw) != TkwJBIG2Code::Value || FT.Rdh->Decode(FR, rdh) != TkwJBIG2Code::Value ||
        FT.Rdx->Decode(FR, rdx) != TkwJBIG2Code::Value || FT.Rdy->Decode(FR, rdy) != TkwJBIG2Code::Value ||
        FT.Rsize->Decode(FR, size) != TkwJBIG2Code::Value || size < 0) {
      return false;
    }
    int w, h, dx, dy;
    if (!RefinedGeometry(ASymbol, rdw, rdh, rdx, rdy, w, h, dx, dy)) return false;
    const std::span<const std::uint8_t> rest = FR.RestFromByte();
    TMQDecoder mq(rest.first(std::min<std::size_t>(rest.size(), static_cast<std::size_t>(size))));
    const bool ok = DecodeRefinement(mq, FGrCx, AOut, w, h, AP.RTemplate, ASymbol, dx, dy, false, AP.RAt);
    // A bitmap cut short is kept; the reader then stands at the end and the region stops.
    FR.SkipBytes(static_cast<std::uint64_t>(size));
    return ok;
  }
  [[nodiscard]] bool Exhausted() const override { return FR.Overrun(); }

private:
  TkwJBIG2BitReader& FR;
  TTextTables FT;
  const TkwJBIG2HuffmanTable* FIds;
  int FIdBits;
  int FLogStrips;
  std::vector<TCx>& FGrCx;
};

// Text region decoding (6.4).
bool DecodeText(TTextCoder& AC, const TTextParams& AP, const std::vector<TBitmapPtr>& ASymbols, TkwJBIG2Bitmap& AOut) {
  if (!AOut.Create(AP.W, AP.H, static_cast<std::uint8_t>(AP.DefPixel))) return false;
  const int strips = 1 << AP.LogStrips;
  std::int32_t v = 0;
  if (AC.Int(TTextField::Dt, v) != TkwJBIG2Code::Value) return false;
  std::int64_t stripT = -std::int64_t{v} * strips;
  std::int64_t firstS = 0;
  std::uint32_t instances = 0;
  // Every pass decodes at least one instance or ends, so this is bounded by the count.
  while (instances < AP.NumInstances) {
    if (AC.Exhausted() || AC.Int(TTextField::Dt, v) != TkwJBIG2Code::Value) return false;
    stripT += std::int64_t{v} * strips;
    if (AC.Int(TTextField::Fs, v) != TkwJBIG2Code::Value) return false;
    firstS += v;
    std::int64_t curS = firstS;
    bool firstInStrip = true;
    // Every strip ends with an OOB, also the last: an aggregating dictionary goes on reading
    // after it. A stream that leaves it out still stops at the instance count.
    for (;;) {
      if (AC.Exhausted()) return false;
      if (!firstInStrip) {
        const TkwJBIG2Code c = AC.Int(TTextField::Ds, v);
        if (c == TkwJBIG2Code::Oob) break;  // end of strip
        if (c == TkwJBIG2Code::Fail) return false;
        if (instances >= AP.NumInstances) break;
        curS += std::int64_t{v} + AP.DsOffset;
      }
      firstInStrip = false;
      std::int32_t curT = 0;
      if (strips > 1 && AC.Int(TTextField::It, curT) != TkwJBIG2Code::Value) return false;
      const std::int64_t t = stripT + curT;
      std::uint32_t id = 0;
      if (!AC.SymbolId(id)) return false;
      std::int32_t ri = 0;
      if (AP.Refine && AC.Int(TTextField::Ri, ri) != TkwJBIG2Code::Value) return false;
      const TkwJBIG2Bitmap* sym = id < ASymbols.size() ? ASymbols[id].get() : nullptr;
      TkwJBIG2Bitmap refined{AOut.Budget};
      if (ri && sym) {
        if (!AC.Refine(*sym, AP, refined)) return false;
        sym = &refined;
      } else if (ri && !sym) {
        return false;
      }
      ++instances;
      if (!sym) continue;  // an ID beyond the dictionary: nothing to draw
      const int wi = sym->W, hi = sym->H;
      const bool rightCorner = AP.RefCorner == 2 || AP.RefCorner == 3;
      const bool bottomCorner = AP.RefCorner == 0 || AP.RefCorner == 2;
      if (!AP.Transposed && rightCorner) {
        curS += wi - 1;
      } else if (AP.Transposed && bottomCorner) {
        curS += hi - 1;
      }
      const std::int64_t s = curS;
      std::int64_t x, y;
      if (!AP.Transposed) {
        x = rightCorner ? s - wi + 1 : s;
        y = bottomCorner ? t - hi + 1 : t;
      } else {
        x = rightCorner ? t - wi + 1 : t;
        y = bottomCorner ? s - hi + 1 : s;
      }
      if (x > -kMaxJBIG2Dimension * 2 && x < kMaxJBIG2Dimension * 2 && y > -kMaxJBIG2Dimension * 2 && y < kMaxJBIG2Dimension * 2) {
        AOut.Compose(*sym, static_cast<int>(x), static_cast<int>(y), AP.CombOp);
      }
      if (!AP.Transposed && !rightCorner) {
        curS += wi - 1;
      } else if (AP.Transposed && !bottomCorner) {
        curS += hi - 1;
      }
      if (curS > INT32_MAX || curS < INT32_MIN) return false;
    }
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------

bool TkwJBIG2Budget::Spend(std::int64_t APixels) {
  if (APixels > Left) {
    Left = 0;
    return false;
  }
  Left -= APixels;
  return true;
}

bool TkwJBIG2Bitmap::Create(int AWidth, int AHeight, std::uint8_t AFill) {
  W = H = 0;
  P.clear();
  if (AWidth < 0 || AHeight < 0 || AWidth > kMaxJBIG2Dimension || AHeight > kMaxJBIG2Dimension ||
      std::int64_t{AWidth} * AHeight > kMaxImagePixels || !SpendWork(Budget, std::int64_t{AWidth} * AHeight)) {
    return false;
  }
  W = AWidth;
  H = AHeight;
  P.assign(static_cast<std::size_t>(W) * static_cast<std::size_t>(H), AFill ? 1 : 0);
  return true;
}

bool TkwJBIG2Bitmap::Grow(int AHeight, std::uint8_t AFill) {
  if (AHeight <= H) return true;
  if (AHeight > kMaxJBIG2Dimension || std::int64_t{W} * AHeight > kMaxImagePixels ||
      !SpendWork(Budget, std::int64_t{W} * (AHeight - H))) {
    return false;
  }
  // Rows are appended in place; the vector's geometric growth keeps a page that grows
  // stripe by stripe linear in its size.
  P.resize(static_cast<std::size_t>(W) * static_cast<std::size_t>(AHeight), AFill ? 1 : 0);
  H = AHeight;
  return true;
}

void TkwJBIG2Bitmap::Compose(const TkwJBIG2Bitmap& ASource, int AX, int AY, int AOp) {
  const int x0 = std::max(0, AX), y0 = std::max(0, AY);
  const int x1 = static_cast<int>(std::min<std::int64_t>(W, std::int64_t{AX} + ASource.W));
  const int y1 = static_cast<int>(std::min<std::int64_t>(H, std::int64_t{AY} + ASource.H));
  if (x1 <= x0 || y1 <= y0 || !SpendWork(Budget, std::int64_t{x1 - x0} * (y1 - y0))) return;
  for (int y = y0; y < y1; ++y) {
    std::uint8_t* d = &P[static_cast<std::size_t>(y) * static_cast<std::size_t>(W)];
    const std::uint8_t* s = &ASource.P[static_cast<std::size_t>(y - AY) * static_cast<std::size_t>(ASource.W)];
    for (int x = x0; x < x1; ++x) {
      const std::uint8_t a = d[x], b = s[x - AX];
      switch (AOp) {
        case 0: d[x] = a | b; break;
        case 1: d[x] = a & b; break;
        case 2: d[x] = a ^ b; break;
        case 3: d[x] = static_cast<std::uint8_t>((a ^ b) ^ 1); break;
        default: d[x] = b; break;
      }
    }
  }
}

struct TkwJBIG2Decoder::TImpl {
  struct TSegment {
    std::uint32_t Number = 0;
    int Type = 0;
    std::vector<std::uint32_t> Refs;
    std::span<const std::uint8_t> Data;
    // Results kept for later segments.
    std::vector<TBitmapPtr> Symbols;   // exported symbols of a dictionary
    std::vector<TBitmapPtr> Patterns;  // pattern dictionary
    std::shared_ptr<TkwJBIG2Bitmap> Region;  // intermediate region
    std::vector<TCx> GbCx, GrCx;  // retained symbol-dictionary statistics
    std::unique_ptr<TkwJBIG2HuffmanTable> Table;  // a table segment's code table
  };

  std::vector<std::unique_ptr<TSegment>> Owned;
  std::map<std::uint32_t, TSegment*> Segments;  // the latest segment of each number
  TkwJBIG2Budget Budget{kMaxJBIG2WorkPixels};  // this decode's: a fresh TImpl for every stream
  TkwJBIG2Bitmap Page{&Budget};
  bool HavePage = false;
  bool PageDone = false;
  bool HeightUnknown = false;
  int PageDefPixel = 0;
  int PageOp = 0;

  // Reads the segments of a stream (sequential or random-access organisation).
  void ReadStream(std::span<const std::uint8_t> AData);
  bool ReadHeader(TReader& AR, TSegment& ASeg, std::uint32_t& ALength);
  void Process(TSegment& ASeg);
  [[nodiscard]] TSegment* Find(std::uint32_t ANumber) {
    auto it = Segments.find(ANumber);
    return it == Segments.end() ? nullptr : it->second;
  }
  void PlaceRegion(const TkwJBIG2Bitmap& ABitmap, const TRegionInfo& AInfo, int AOp);
  void SymbolDictionary(TSegment& ASeg);
  void TextRegion(TSegment& ASeg, bool AImmediate);
  void GenericRegion(TSegment& ASeg, bool AImmediate);
  void RefinementRegion(TSegment& ASeg, bool AImmediate);
  void PatternDictionary(TSegment& ASeg);
  void HalftoneRegion(TSegment& ASeg, bool AImmediate);
  void PageInfo(TSegment& ASeg);
  // The code tables of the table segments ASeg refers to, in the order referred.
  std::vector<const TkwJBIG2HuffmanTable*> UserTables(const TSegment& ASeg);
};

std::vector<const TkwJBIG2HuffmanTable*> TkwJBIG2Decoder::TImpl::UserTables(const TSegment& ASeg) {
  std::vector<const TkwJBIG2HuffmanTable*> tables;
  for (std::uint32_t n : ASeg.Refs) {
    TSegment* s = Find(n);
    if (s && s->Type == 53) tables.push_back(s->Table.get());  // null when damaged: the user is skipped
  }
  return tables;
}

bool TkwJBIG2Decoder::TImpl::ReadHeader(TReader& AR, TSegment& ASeg, std::uint32_t& ALength) {
  ASeg.Number = AR.U32();
  const std::uint32_t flags = AR.U8();
  ASeg.Type = static_cast<int>(flags & 63);
  std::uint32_t b = AR.U8();
  std::uint32_t count = b >> 5;
  if (count == 7) {
    --AR.P;
    count = AR.U32() & 0x1FFFFFFF;
    if (count > static_cast<std::uint32_t>(kMaxJBIG2Segments)) return false;
    AR.P += (count + 8) / 8;  // retention flags
  }
  if (!AR.Ok) return false;
  const int refSize = ASeg.Number <= 256 ? 1 : (ASeg.Number <= 65536 ? 2 : 4);
  for (std::uint32_t i = 0; i < count && AR.Ok; ++i) {
    ASeg.Refs.push_back(refSize == 1 ? AR.U8() : (refSize == 2 ? AR.U16() : AR.U32()));
  }
  if (flags & 64) {
    (void)AR.U32();
  } else {
    (void)AR.U8();
  }
  ALength = AR.U32();
  return AR.Ok;
}

void TkwJBIG2Decoder::TImpl::ReadStream(std::span<const std::uint8_t> AData) {
  TReader r{AData};
  bool sequential = true;
  static constexpr std::uint8_t kFileId[8] = {0x97, 0x4A, 0x42, 0x32, 0x0D, 0x0A, 0x1A, 0x0A};
  // Embedded streams have no file header, but some producers leave it in.
  if (AData.size() >= 9 && std::equal(kFileId, kFileId + 8, AData.begin())) {
    r.P = 8;
    const std::uint32_t fileFlags = r.U8();
    sequential = (fileFlags & 1) != 0;
    if ((fileFlags & 2) == 0) (void)r.U32();
  }
  std::vector<std::pair<TSegment*, std::uint32_t>> pending;  // random access: data follows
  for (int n = 0; n < kMaxJBIG2Segments && r.Ok && r.P < AData.size() && !PageDone; ++n) {
    auto seg = std::make_unique<TSegment>();
    std::uint32_t length = 0;
    if (!ReadHeader(r, *seg, length)) break;
    if (length == 0xFFFFFFFF) {
      // Only an immediate generic region may leave its length open: find its end marker.
      if (!sequential || (seg->Type != 38 && seg->Type != 39)) break;
      TReader probe{AData, r.P};
      if (!probe.Need(18)) break;
      const bool mmr = (AData[r.P + 17] & 1) != 0;
      std::size_t end = r.P + 18;
      bool found = false;
      for (; end + 6 <= AData.size(); ++end) {
        if (mmr ? (AData[end] == 0 && AData[end + 1] == 0) : (AData[end] == 0xFF && AData[end + 1] == 0xAC)) {
          found = true;
          break;
        }
      }
      if (!found) break;
      length = static_cast<std::uint32_t>(end + 6 - r.P);
    }
    const int type = seg->Type;
    TSegment* raw = seg.get();
    const std::uint32_t number = seg->Number;
    Segments[number] = raw;
    Owned.push_back(std::move(seg));
    if (sequential) {
      const std::size_t avail = AData.size() - std::min(AData.size(), r.P);
      raw->Data = AData.subspan(std::min(AData.size(), r.P), std::min<std::size_t>(length, avail));
      r.P += std::min<std::size_t>(length, avail);
      Process(*raw);
    } else {
      pending.emplace_back(raw, length);
    }
    if (type == 51) break;  // end of file
  }
  for (auto& [seg, length] : pending) {
    if (PageDone) break;
    const std::size_t start = std::min(AData.size(), r.P);
    seg->Data = AData.subspan(start, std::min<std::size_t>(length, AData.size() - start));
    r.P = start + seg->Data.size();
    Process(*seg);
  }
}

void TkwJBIG2Decoder::TImpl::Process(TSegment& ASeg) {
  switch (ASeg.Type) {
    case 0: SymbolDictionary(ASeg); break;
    case 4: TextRegion(ASeg, false); break;
    case 6:
    case 7: TextRegion(ASeg, true); break;
    case 16: PatternDictionary(ASeg); break;
    case 20: HalftoneRegion(ASeg, false); break;
    case 22:
    case 23: HalftoneRegion(ASeg, true); break;
    case 36: GenericRegion(ASeg, false); break;
    case 38:
    case 39: GenericRegion(ASeg, true); break;
    case 40: RefinementRegion(ASeg, false); break;
    case 42:
    case 43: RefinementRegion(ASeg, true); break;
    case 48: PageInfo(ASeg); break;
    case 49:
      if (HavePage) PageDone = true;
      break;
    case 50:
      if (HavePage && HeightUnknown && ASeg.Data.size() >= 4) {
        TReader r{ASeg.Data};
        const std::uint32_t end = r.U32();
        const std::int64_t h = std::min<std::int64_t>(std::int64_t{end} + 1, kMaxJBIG2Dimension);
        if (h > Page.H) {
          (void)Page.Grow(static_cast<int>(h), static_cast<std::uint8_t>(PageDefPixel));
        }
      }
      break;
    case 53: {
      auto table = std::make_unique<TkwJBIG2HuffmanTable>();
      if (ReadJBIG2TableSegment(ASeg.Data, *table)) ASeg.Table = std::move(table);
      break;
    }
    default:
      break;  // profiles, extensions: nothing to draw
  }
}

void TkwJBIG2Decoder::TImpl::PageInfo(TSegment& ASeg) {
  if (HavePage) {
    PageDone = true;  // a second page: we deliver the first
    return;
  }
  TReader r{ASeg.Data};
  const std::uint32_t w = r.U32(), h = r.U32();
  (void)r.U32();
  (void)r.U32();
  const std::uint32_t flags = r.U8();
  const std::uint32_t striping = r.U16();
  if (!r.Ok || w > kMaxJBIG2Dimension) return;
  PageDefPixel = (flags >> 2) & 1;
  PageOp = static_cast<int>((flags >> 3) & 3);
  int height;
  if (h == 0xFFFFFFFF) {
    HeightUnknown = true;
    height = 0;
    (void)striping;
  } else {
    if (h > kMaxJBIG2Dimension) return;
    height = static_cast<int>(h);
  }
  if (!Page.Create(static_cast<int>(w), height, static_cast<std::uint8_t>(PageDefPixel))) return;
  HavePage = true;
}

void TkwJBIG2Decoder::TImpl::PlaceRegion(const TkwJBIG2Bitmap& ABitmap, const TRegionInfo& AInfo, int AOp) {
  if (!HavePage) return;
  if (HeightUnknown && std::int64_t{AInfo.Y} + ABitmap.H > Page.H) {
    const std::int64_t h = std::min<std::int64_t>(std::int64_t{AInfo.Y} + ABitmap.H, kMaxJBIG2Dimension);
    (void)Page.Grow(static_cast<int>(h), static_cast<std::uint8_t>(PageDefPixel));
  }
  Page.Compose(ABitmap, AInfo.X, AInfo.Y, AOp);
}

void TkwJBIG2Decoder::TImpl::GenericRegion(TSegment& ASeg, bool AImmediate) {
  TReader r{ASeg.Data};
  TRegionInfo info;
  if (!ReadRegionInfo(r, info)) return;
  const std::uint32_t flags = r.U8();
  const bool mmr = flags & 1;
  const int tmpl = static_cast<int>((flags >> 1) & 3);
  const bool tpgdon = (flags >> 3) & 1;
  std::array<int, 8> at{};
  if (!mmr) {
    const int n = tmpl == 0 ? 4 : 1;
    for (int i = 0; i < n; ++i) {
      at[static_cast<std::size_t>(2 * i)] = r.S8();
      at[static_cast<std::size_t>(2 * i + 1)] = r.S8();
    }
  }
  if (!r.Ok) return;
  auto bitmap = std::make_shared<TkwJBIG2Bitmap>();
  bitmap->Budget = &Budget;
  bool ok;
  if (mmr) {
    ok = DecodeGenericMMR(r.Rest(), *bitmap, info.W, info.H);
  } else {
    TMQDecoder mq(r.Rest());
    std::vector<TCx> cx(1 << 16, 0);
    ok = DecodeGenericArith(mq, cx, *bitmap, info.W, info.H, tmpl, tpgdon, at);
  }
  if (!ok) return;
  if (AImmediate) {
    PlaceRegion(*bitmap, info, info.Op);
  } else {
    ASeg.Region = std::move(bitmap);
  }
}

void TkwJBIG2Decoder::TImpl::RefinementRegion(TSegment& ASeg, bool AImmediate) {
  TReader r{ASeg.Data};
  TRegionInfo info;
  if (!ReadRegionInfo(r, info)) return;
  const std::uint32_t flags = r.U8();
  const int tmpl = static_cast<int>(flags & 1);
  const bool tpgron = (flags >> 1) & 1;
  std::array<int, 4> at{};
  if (tmpl == 0) {
    for (int& a : at) a = r.S8();
  }
  if (!r.Ok) return;
  // The reference is the intermediate region referred to, or the page under the region.
  TkwJBIG2Bitmap pageCut{&Budget};
  const TkwJBIG2Bitmap* ref = nullptr;
  for (std::uint32_t n : ASeg.Refs) {
    TSegment* s = Find(n);
    if (s && s->Region) ref = s->Region.get();
  }
  if (!ref) {
    if (!HavePage || !pageCut.Create(info.W, info.H)) return;
    pageCut.Compose(Page, -info.X, -info.Y, 4);
    ref = &pageCut;
  }
  TMQDecoder mq(r.Rest());
  std::vector<TCx> cx(1 << 13, 0);
  auto bitmap = std::make_shared<TkwJBIG2Bitmap>();
  bitmap->Budget = &Budget;
  if (!DecodeRefinement(mq, cx, *bitmap, info.W, info.H, tmpl, *ref, 0, 0, tpgron, at)) return;
  if (AImmediate) {
    PlaceRegion(*bitmap, info, info.Op);
  } else {
    ASeg.Region = std::move(bitmap);
  }
}

namespace {

// The parameters of a symbol dictionary's decoding procedure (6.5).
struct TDictParams {
  bool RefAgg = false;
  int Template = 0, RTemplate = 0;
  std::array<int, 8> At{};
  std::array<int, 4> RAt{};
  std::uint32_t NumNew = 0;
  const TkwJBIG2HuffmanTable *Dh = nullptr, *Dw = nullptr, *BmSize = nullptr, *AggInst = nullptr;
  TkwJBIG2Budget* Budget = nullptr;  // not owned: the decode's
};

// Height classes with arithmetic coding; new symbols are appended to ASymbols.
// The text region that draws an aggregated symbol of AInstances symbols into a W x H
// bitmap: top-left reference corner, each instance refined from the dictionary's template.
TTextParams AggregateTextParams(const TDictParams& AP, int AW, int AH, std::int32_t AInstances) {
  TTextParams tp;
  tp.W = AW;
  tp.H = AH;
  tp.NumInstances = static_cast<std::uint32_t>(AInstances);
  tp.RefCorner = 1;
  tp.Refine = true;
  tp.RTemplate = AP.RTemplate;
  tp.RAt = AP.RAt;
  return tp;
}

bool DecodeSymbolsArith(TMQDecoder& AMq, const TDictParams& AP, std::vector<TCx>& AGbCx, std::vector<TCx>& AGrCx,
                        std::vector<TBitmapPtr>& ASymbols) {
  TIntDecoder iadh, iadw, iaai;
  const std::uint32_t numIn = static_cast<std::uint32_t>(ASymbols.size());
  TTextContexts text(CeilLog2(numIn + AP.NumNew));
  std::uint32_t decoded = 0;
  std::int64_t height = 0;
  // Height classes: each decodes at least one symbol or ends the dictionary.
  while (decoded < AP.NumNew) {
    std::int32_t dh = 0;
    if (AMq.Exhausted() || !iadh.Decode(AMq, dh)) break;
    height += dh;
    if (height < 0 || height > kMaxJBIG2Dimension) return false;
    std::int64_t width = 0;
    // A height class always ends with an OOB, also after the last symbol.
    for (;;) {
      std::int32_t dw = 0;
      if (!iadw.Decode(AMq, dw)) break;
      if (decoded >= AP.NumNew) return false;
      width += dw;
      if (width < 0 || width > kMaxJBIG2Dimension || AMq.Exhausted()) return false;
      auto sym = std::make_shared<TkwJBIG2Bitmap>();
      sym->Budget = AP.Budget;
      const int w = static_cast<int>(width), h = static_cast<int>(height);
      if (!AP.RefAgg) {
        if (!DecodeGenericArith(AMq, AGbCx, *sym, w, h, AP.Template, false, AP.At)) return false;
      } else {
        std::int32_t nInst = 0;
        if (!iaai.Decode(AMq, nInst) || nInst < 1 || static_cast<std::uint32_t>(nInst) > kMaxJBIG2Symbols) return false;
        if (nInst == 1) {
          const std::uint32_t id = text.Iaid.Decode(AMq);
          std::int32_t rdx = 0, rdy = 0;
          if (!text.Iardx.Decode(AMq, rdx) || !text.Iardy.Decode(AMq, rdy)) return false;
          if (id >= ASymbols.size()) return false;
          if (!DecodeRefinement(AMq, AGrCx, *sym, w, h, AP.RTemplate, *ASymbols[id], rdx, rdy, false, AP.RAt)) {
            return false;
          }
        } else {
          const TTextParams tp = AggregateTextParams(AP, w, h, nInst);
          TArithTextCoder coder(AMq, text, AGrCx);
          if (!DecodeText(coder, tp, ASymbols, *sym)) return false;
        }
      }
      ASymbols.push_back(std::move(sym));
      ++decoded;
    }
  }
  return true;
}

// Cuts a height class's collective bitmap (6.5.9) into its symbols. ABits holds the rows
// uncompressed, or MMR-coded when AMmr; missing data leaves the rest white.
bool SplitCollective(std::span<const std::uint8_t> ABits, bool AMmr, int AHeight, const std::vector<int>& AWidths,
                     std::int64_t ATotal, std::vector<TBitmapPtr>& ASymbols, TkwJBIG2Budget* ABudget) {
  TkwJBIG2Bitmap all{ABudget};
  const std::size_t stride = (static_cast<std::size_t>(ATotal) + 7) / 8;
  if (AMmr && (ATotal > kMaxJBIG2Dimension || !DecodeGenericMMR(ABits, all, static_cast<int>(ATotal), AHeight))) {
    return false;
  }
  std::int64_t x0 = 0;
  for (const int w : AWidths) {
    auto sym = std::make_shared<TkwJBIG2Bitmap>();
    sym->Budget = ABudget;
    if (!sym->Create(w, AHeight)) return false;
    if (AMmr) {
      sym->Compose(all, -static_cast<int>(x0), 0, 4);
    } else {
      for (int y = 0; y < AHeight; ++y) {
        for (int x = 0; x < w; ++x) {
          const std::size_t bit = static_cast<std::size_t>(x0 + x);
          const std::size_t at = static_cast<std::size_t>(y) * stride + (bit >> 3);
          if (at < ABits.size() && ((ABits[at] >> (7 - (bit & 7))) & 1)) sym->Set(x, y, 1);
        }
      }
    }
    ASymbols.push_back(std::move(sym));
    x0 += w;
  }
  return true;
}

// Height classes with Huffman coding (6.5.5 with SDHUFF 1).
bool DecodeSymbolsHuffman(TkwJBIG2BitReader& AR, const TDictParams& AP, std::vector<TCx>& AGrCx,
                          std::vector<TBitmapPtr>& ASymbols) {
  const std::uint32_t numIn = static_cast<std::uint32_t>(ASymbols.size());
  const int idBits = std::max(1, CeilLog2(numIn + AP.NumNew));
  TTextTables aggTables{&JBIG2StandardTable(6),  &JBIG2StandardTable(8),  &JBIG2StandardTable(11),
                        &JBIG2StandardTable(15), &JBIG2StandardTable(15), &JBIG2StandardTable(15),
                        &JBIG2StandardTable(15), &JBIG2StandardTable(1)};
  const TkwJBIG2HuffmanTable& b1 = JBIG2StandardTable(1);
  const TkwJBIG2HuffmanTable& b15 = JBIG2StandardTable(15);
  std::uint32_t decoded = 0;
  std::int64_t height = 0;
  while (decoded < AP.NumNew) {
    std::int32_t dh = 0;
    if (AP.Dh->Decode(AR, dh) != TkwJBIG2Code::Value) return false;
    height += dh;
    if (height < 0 || height > kMaxJBIG2Dimension) return false;
    const int h = static_cast<int>(height);
    std::int64_t width = 0, total = 0;
    std::vector<int> widths;
    for (;;) {
      std::int32_t dw = 0;
      const TkwJBIG2Code c = AP.Dw->Decode(AR, dw);
      if (c == TkwJBIG2Code::Oob) break;
      if (c == TkwJBIG2Code::Fail || decoded >= AP.NumNew) return false;
      width += dw;
      if (width < 0 || width > kMaxJBIG2Dimension) return false;
      const int w = static_cast<int>(width);
      ++decoded;
      if (!AP.RefAgg) {
        total += w;
        if (total * h > kMaxImagePixels) return false;
        widths.push_back(w);
        continue;
      }
      std::int32_t nInst = 0;
      if (AP.AggInst->Decode(AR, nInst) != TkwJBIG2Code::Value || nInst < 1 ||
          static_cast<std::uint32_t>(nInst) > kMaxJBIG2Symbols) {
        return false;
      }
      auto sym = std::make_shared<TkwJBIG2Bitmap>();
      sym->Budget = AP.Budget;
      if (nInst == 1) {
        const std::uint32_t id = AR.Bits(idBits);
        std::int32_t rdx = 0, rdy = 0, size = 0;
        if (b15.Decode(AR, rdx) != TkwJBIG2Code::Value || b15.Decode(AR, rdy) != TkwJBIG2Code::Value ||
            b1.Decode(AR, size) != TkwJBIG2Code::Value || id >= ASymbols.size()) {
          return false;
        }
        const std::span<const std::uint8_t> rest = AR.RestFromByte();
        TMQDecoder mq(rest.first(std::min<std::size_t>(rest.size(), static_cast<std::size_t>(size))));
        if (!DecodeRefinement(mq, AGrCx, *sym, w, h, AP.RTemplate, *ASymbols[id], rdx, rdy, false, AP.RAt)) {
          return false;
        }
        AR.SkipBytes(static_cast<std::uint64_t>(size));
      } else {
        const TTextParams tp = AggregateTextParams(AP, w, h, nInst);
        THuffTextCoder coder(AR, aggTables, nullptr, idBits, 0, AGrCx);
        if (!DecodeText(coder, tp, ASymbols, *sym)) return false;
      }
      ASymbols.push_back(std::move(sym));
    }
    if (!AP.RefAgg) {
      std::int32_t size = 0;
      if (AP.BmSize->Decode(AR, size) != TkwJBIG2Code::Value || size < 0) return false;
      AR.Align();
      const std::span<const std::uint8_t> rest = AR.RestFromByte();
      // BMSIZE 0: the rows are stored uncompressed, each starting on a byte.
      const std::uint64_t bytes = size == 0 ? (static_cast<std::uint64_t>(total) + 7) / 8 * static_cast<std::uint64_t>(h)
                                            : static_cast<std::uint64_t>(size);
      if (!SplitCollective(rest.first(static_cast<std::size_t>(std::min<std::uint64_t>(rest.size(), bytes))),
                           size != 0, h, widths, total, ASymbols, AP.Budget)) {
        return false;
      }
      AR.SkipBytes(bytes);
    }
  }
  return true;
}

}  // namespace

void TkwJBIG2Decoder::TImpl::SymbolDictionary(TSegment& ASeg) {
  TReader r{ASeg.Data};
  const std::uint32_t flags = r.U16();
  const bool huff = flags & 1;
  TDictParams dp;
  dp.Budget = &Budget;
  dp.RefAgg = (flags >> 1) & 1;
  const bool ctxUsed = (flags >> 8) & 1;
  const bool ctxRetained = (flags >> 9) & 1;
  dp.Template = static_cast<int>((flags >> 10) & 3);
  dp.RTemplate = static_cast<int>((flags >> 12) & 1);
  if (!huff) {
    const int n = dp.Template == 0 ? 4 : 1;
    for (int i = 0; i < n; ++i) {
      dp.At[static_cast<std::size_t>(2 * i)] = r.S8();
      dp.At[static_cast<std::size_t>(2 * i + 1)] = r.S8();
    }
  }
  if (dp.RefAgg && dp.RTemplate == 0) {
    for (int& a : dp.RAt) a = r.S8();
  }
  const std::uint32_t numEx = r.U32();
  dp.NumNew = r.U32();
  if (!r.Ok || dp.NumNew > kMaxJBIG2Symbols || numEx > kMaxJBIG2Symbols) return;
  if (huff) {
    // User tables are taken in the order of the selection fields; a selection with no
    // table, or the reserved value, leaves the dictionary undecoded.
    const std::vector<const TkwJBIG2HuffmanTable*> user = UserTables(ASeg);
    std::size_t next = 0;
    auto pick = [&](int ASel, int AStd0, int AStd1) -> const TkwJBIG2HuffmanTable* {
      if (ASel == 0) return &JBIG2StandardTable(AStd0);
      if (ASel == 1 && AStd1) return &JBIG2StandardTable(AStd1);
      if (ASel == 3 || (ASel == 1 && !AStd1)) return next < user.size() ? user[next++] : nullptr;
      return nullptr;
    };
    dp.Dh = pick(static_cast<int>((flags >> 2) & 3), 4, 5);
    dp.Dw = pick(static_cast<int>((flags >> 4) & 3), 2, 3);
    dp.BmSize = pick(static_cast<int>((flags >> 6) & 1), 1, 0);
    dp.AggInst = pick(static_cast<int>((flags >> 7) & 1), 1, 0);
    if (!dp.Dh || !dp.Dw || !dp.BmSize || !dp.AggInst) return;
  }
  std::vector<TBitmapPtr> symbols;
  TSegment* lastDict = nullptr;
  for (std::uint32_t n : ASeg.Refs) {
    TSegment* s = Find(n);
    if (s && s->Type == 0) {
      symbols.insert(symbols.end(), s->Symbols.begin(), s->Symbols.end());
      lastDict = s;
    }
  }
  if (symbols.size() > kMaxJBIG2Symbols) return;
  std::vector<TCx> gbCx(1 << 16, 0), grCx(1 << 13, 0);
  if (ctxUsed && lastDict && !lastDict->GbCx.empty()) {
    gbCx = lastDict->GbCx;
    grCx = lastDict->GrCx;
  }
  // Export flags come as alternating runs over input and new symbols.
  std::vector<TBitmapPtr> exported;
  auto exportRuns = [&](auto&& ARun) {
    bool exportFlag = false;
    std::uint64_t index = 0;
    const std::uint64_t total = symbols.size();
    for (std::uint64_t guard = 0; index < total && guard <= total + 1; ++guard) {
      std::int32_t run = 0;
      if (!ARun(run) || run < 0) break;
      const std::uint64_t end = std::min<std::uint64_t>(total, index + static_cast<std::uint64_t>(run));
      if (exportFlag) {
        for (std::uint64_t i = index; i < end && exported.size() < numEx; ++i) exported.push_back(symbols[i]);
      }
      index = end;
      exportFlag = !exportFlag;
    }
  };
  if (huff) {
    TkwJBIG2BitReader br(r.Rest());
    if (!DecodeSymbolsHuffman(br, dp, grCx, symbols)) return;
    const TkwJBIG2HuffmanTable& b1 = JBIG2StandardTable(1);
    exportRuns([&](std::int32_t& ARun) { return b1.Decode(br, ARun) == TkwJBIG2Code::Value; });
  } else {
    TMQDecoder mq(r.Rest());
    if (!DecodeSymbolsArith(mq, dp, gbCx, grCx, symbols)) return;
    TIntDecoder iaex;
    exportRuns([&](std::int32_t& ARun) { return iaex.Decode(mq, ARun); });
  }
  ASeg.Symbols = std::move(exported);
  if (ctxRetained) {
    ASeg.GbCx = std::move(gbCx);
    ASeg.GrCx = std::move(grCx);
  }
}

void TkwJBIG2Decoder::TImpl::TextRegion(TSegment& ASeg, bool AImmediate) {
  TReader r{ASeg.Data};
  TRegionInfo info;
  if (!ReadRegionInfo(r, info)) return;
  const std::uint32_t flags = r.U16();
  const bool huff = flags & 1;
  TTextParams tp;
  tp.W = info.W;
  tp.H = info.H;
  tp.Refine = (flags >> 1) & 1;
  tp.LogStrips = static_cast<int>((flags >> 2) & 3);
  tp.RefCorner = static_cast<int>((flags >> 4) & 3);
  tp.Transposed = (flags >> 6) & 1;
  tp.CombOp = static_cast<int>((flags >> 7) & 3);
  tp.DefPixel = static_cast<int>((flags >> 9) & 1);
  int ds = static_cast<int>((flags >> 10) & 31);
  tp.DsOffset = ds >= 16 ? ds - 32 : ds;
  tp.RTemplate = static_cast<int>((flags >> 15) & 1);
  const std::uint32_t huffFlags = huff ? r.U16() : 0;
  if (tp.Refine && tp.RTemplate == 0) {
    for (int& a : tp.RAt) a = r.S8();
  }
  tp.NumInstances = r.U32();
  if (!r.Ok || tp.NumInstances > kMaxJBIG2Symbols) return;
  std::vector<TBitmapPtr> symbols;
  for (std::uint32_t n : ASeg.Refs) {
    TSegment* s = Find(n);
    if (s && s->Type == 0) symbols.insert(symbols.end(), s->Symbols.begin(), s->Symbols.end());
  }
  if (symbols.size() > kMaxJBIG2Symbols) return;
  std::vector<TCx> grCx(1 << 13, 0);
  auto bitmap = std::make_shared<TkwJBIG2Bitmap>();
  bitmap->Budget = &Budget;
  bool ok;
  if (huff) {
    // User tables are taken in the order of the selection fields.
    const std::vector<const TkwJBIG2HuffmanTable*> user = UserTables(ASeg);
    std::size_t next = 0;
    auto pick = [&](std::uint32_t ASel, std::initializer_list<int> AStandard) -> const TkwJBIG2HuffmanTable* {
      if (ASel == 3) return next < user.size() ? user[next++] : nullptr;
      return ASel < AStandard.size() ? &JBIG2StandardTable(AStandard.begin()[ASel]) : nullptr;
    };
    TTextTables t;
    t.Fs = pick(huffFlags & 3, {6, 7});
    t.Ds = pick((huffFlags >> 2) & 3, {8, 9, 10});
    t.Dt = pick((huffFlags >> 4) & 3, {11, 12, 13});
    t.Rdw = pick((huffFlags >> 6) & 3, {14, 15});
    t.Rdh = pick((huffFlags >> 8) & 3, {14, 15});
    t.Rdx = pick((huffFlags >> 10) & 3, {14, 15});
    t.Rdy = pick((huffFlags >> 12) & 3, {14, 15});
    t.Rsize = (huffFlags >> 14) & 1 ? pick(3, {}) : &JBIG2StandardTable(1);
    if (!t.Fs || !t.Ds || !t.Dt || !t.Rdw || !t.Rdh || !t.Rdx || !t.Rdy || !t.Rsize) return;
    TkwJBIG2BitReader br(r.Rest());
    TkwJBIG2HuffmanTable ids;
    if (!ReadJBIG2SymbolIdTable(br, static_cast<std::uint32_t>(symbols.size()), ids)) return;
    THuffTextCoder coder(br, t, &ids, 0, tp.LogStrips, grCx);
    ok = DecodeText(coder, tp, symbols, *bitmap);
  } else {
    TMQDecoder mq(r.Rest());
    TTextContexts ctx(CeilLog2(static_cast<std::uint32_t>(symbols.size())));
    TArithTextCoder coder(mq, ctx, grCx);
    ok = DecodeText(coder, tp, symbols, *bitmap);
  }
  // A region cut short by damage still shows the symbols placed so far.
  if (!ok && bitmap->W == 0) return;
  if (AImmediate) {
    PlaceRegion(*bitmap, info, info.Op);
  } else {
    ASeg.Region = std::move(bitmap);
  }
}

void TkwJBIG2Decoder::TImpl::PatternDictionary(TSegment& ASeg) {
  TReader r{ASeg.Data};
  const std::uint32_t flags = r.U8();
  const int pw = static_cast<int>(r.U8()), ph = static_cast<int>(r.U8());
  const std::uint32_t grayMax = r.U32();
  if (!r.Ok || pw == 0 || ph == 0 || grayMax >= kMaxJBIG2Symbols) return;
  const bool mmr = flags & 1;
  const int tmpl = static_cast<int>((flags >> 1) & 3);
  const std::int64_t width = (std::int64_t{grayMax} + 1) * pw;
  if (width > kMaxJBIG2Dimension * 16 || width * ph > kMaxImagePixels) return;
  TkwJBIG2Bitmap all{&Budget};
  // The collective bitmap may be wider than a region; decode it in one piece anyway.
  if (width > kMaxJBIG2Dimension) return;
  bool ok;
  if (mmr) {
    ok = DecodeGenericMMR(r.Rest(), all, static_cast<int>(width), ph);
  } else {
    std::array<int, 8> at{-pw, 0, -3, -1, 2, -2, -2, -2};
    TMQDecoder mq(r.Rest());
    std::vector<TCx> cx(1 << 16, 0);
    ok = DecodeGenericArith(mq, cx, all, static_cast<int>(width), ph, tmpl, false, at);
  }
  if (!ok) return;
  for (std::uint32_t g = 0; g <= grayMax; ++g) {
    auto pat = std::make_shared<TkwJBIG2Bitmap>();
    pat->Budget = &Budget;
    if (!pat->Create(pw, ph)) return;
    pat->Compose(all, -static_cast<int>(g) * pw, 0, 4);
    ASeg.Patterns.push_back(std::move(pat));
  }
}

void TkwJBIG2Decoder::TImpl::HalftoneRegion(TSegment& ASeg, bool AImmediate) {
  TReader r{ASeg.Data};
  TRegionInfo info;
  if (!ReadRegionInfo(r, info)) return;
  const std::uint32_t flags = r.U8();
  const bool mmr = flags & 1;
  const int tmpl = static_cast<int>((flags >> 1) & 3);
  const bool enableSkip = (flags >> 3) & 1;
  const int op = static_cast<int>((flags >> 4) & 7);
  const int defPixel = static_cast<int>((flags >> 7) & 1);
  const std::uint32_t gw = r.U32(), gh = r.U32();
  const std::int32_t gx = r.S32(), gy = r.S32();
  const std::int32_t rx = static_cast<std::int32_t>(r.U16()), ry = static_cast<std::int32_t>(r.U16());
  if (!r.Ok || gw > kMaxJBIG2Dimension || gh > kMaxJBIG2Dimension) return;
  // Cells are at least a pixel apart in any real grid; a grid with far more cells than the
  // region has pixels only stacks patterns on top of each other.
  if (std::int64_t{gw} * gh > std::min<std::int64_t>(kMaxImagePixels, 4 * (std::int64_t{info.W} * info.H + 1024))) return;
  const std::vector<TBitmapPtr>* patterns = nullptr;
  for (std::uint32_t n : ASeg.Refs) {
    TSegment* s = Find(n);
    if (s && s->Type == 16) patterns = &s->Patterns;
  }
  if (!patterns || patterns->empty()) return;
  const int pw = (*patterns)[0]->W, ph = (*patterns)[0]->H;
  auto bitmap = std::make_shared<TkwJBIG2Bitmap>();
  bitmap->Budget = &Budget;
  if (!bitmap->Create(info.W, info.H, static_cast<std::uint8_t>(defPixel))) return;
  const int w = static_cast<int>(gw), h = static_cast<int>(gh);
  auto cellX = [&](int mg, int ng) {
    return static_cast<std::int64_t>((std::int64_t{gx} + std::int64_t{mg} * ry + std::int64_t{ng} * rx) >> 8);
  };
  auto cellY = [&](int mg, int ng) {
    return static_cast<std::int64_t>((std::int64_t{gy} + std::int64_t{mg} * rx - std::int64_t{ng} * ry) >> 8);
  };
  TkwJBIG2Bitmap skip{&Budget};
  const TkwJBIG2Bitmap* skipPtr = nullptr;
  if (enableSkip && skip.Create(w, h)) {
    for (int mg = 0; mg < h; ++mg) {
      for (int ng = 0; ng < w; ++ng) {
        const std::int64_t x = cellX(mg, ng), y = cellY(mg, ng);
        if (x + pw <= 0 || x >= info.W || y + ph <= 0 || y >= info.H) skip.Set(ng, mg, 1);
      }
    }
    skipPtr = &skip;
  }
  // Gray-scale image decoding (Annex C.5): bit planes from the most significant, Gray-coded.
  const int bpp = CeilLog2(static_cast<std::uint32_t>(patterns->size()));
  std::vector<std::uint32_t> gray(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
  TkwJBIG2Bitmap plane{&Budget}, prev{&Budget};
  std::span<const std::uint8_t> rest = r.Rest();
  std::unique_ptr<TMQDecoder> mq;
  std::vector<TCx> cx;
  if (!mmr) {
    mq = std::make_unique<TMQDecoder>(rest);
    cx.assign(1 << 16, 0);
  }
  const std::array<int, 8> at{tmpl <= 1 ? 3 : 2, -1, -3, -1, 2, -2, -2, -2};
  for (int j = bpp - 1; j >= 0; --j) {
    bool ok;
    if (mmr) {
      std::size_t used = 0;
      ok = DecodeGenericMMR(rest, plane, w, h, &used);
      rest = rest.subspan(std::min(used, rest.size()));
    } else {
      ok = DecodeGenericArith(*mq, cx, plane, w, h, tmpl, false, at, skipPtr);
    }
    if (!ok) return;
    if (j < bpp - 1) {
      for (std::size_t i = 0; i < plane.P.size(); ++i) plane.P[i] ^= prev.P[i];
    }
    for (std::size_t i = 0; i < plane.P.size(); ++i) gray[i] |= std::uint32_t{plane.P[i]} << j;
    prev = plane;
  }
  for (int mg = 0; mg < h; ++mg) {
    for (int ng = 0; ng < w; ++ng) {
      if (skipPtr && skip.Get(ng, mg)) continue;
      const std::int64_t x = cellX(mg, ng), y = cellY(mg, ng);
      if (x <= -kMaxJBIG2Dimension || x >= kMaxJBIG2Dimension || y <= -kMaxJBIG2Dimension || y >= kMaxJBIG2Dimension) continue;
      const std::uint32_t g = std::min<std::uint32_t>(
          gray[static_cast<std::size_t>(mg) * static_cast<std::size_t>(w) + static_cast<std::size_t>(ng)],
          static_cast<std::uint32_t>(patterns->size() - 1));
      bitmap->Compose(*(*patterns)[g], static_cast<int>(x), static_cast<int>(y), op);
    }
  }
  if (AImmediate) {
    PlaceRegion(*bitmap, info, info.Op);
  } else {
    ASeg.Region = std::move(bitmap);
  }
}

// ---------------------------------------------------------------------------------------

TkwJBIG2Decoder::TkwJBIG2Decoder() : FImpl(std::make_unique<TImpl>()) {}
TkwJBIG2Decoder::~TkwJBIG2Decoder() = default;

bool TkwJBIG2Decoder::DecodeImage(std::span<const std::uint8_t> AData, std::vector<std::uint8_t>& AOutput,
                                  bool AWhiteHigh) {
  return DecodeImage(AData, {}, AWhiteHigh, AOutput);
}

bool TkwJBIG2Decoder::DecodeImage(std::span<const std::uint8_t> AData, std::span<const std::uint8_t> AGlobals,
                                  bool AWhiteHigh, std::vector<std::uint8_t>& AOutput) {
  FImpl = std::make_unique<TImpl>();
  AOutput.clear();
  if (!AGlobals.empty()) FImpl->ReadStream(AGlobals);
  FImpl->PageDone = false;
  FImpl->ReadStream(AData);
  if (!FImpl->HavePage) return false;
  const TkwJBIG2Bitmap& page = FImpl->Page;
  const std::size_t rowBytes = (static_cast<std::size_t>(page.W) + 7) / 8;
  AOutput.assign(rowBytes * static_cast<std::size_t>(page.H), AWhiteHigh ? 0xFF : 0x00);
  for (int y = 0; page.W > 0 && y < page.H; ++y) {
    const std::uint8_t* src = &page.P[static_cast<std::size_t>(y) * static_cast<std::size_t>(page.W)];
    std::uint8_t* dst = &AOutput[static_cast<std::size_t>(y) * rowBytes];
    for (int x = 0; x < page.W; ++x) {
      if (src[x] != 0) dst[x >> 3] ^= static_cast<std::uint8_t>(0x80 >> (x & 7));
    }
  }
  return true;
}

int TkwJBIG2Decoder::GetWidth() const { return FImpl->Page.W; }
int TkwJBIG2Decoder::GetHeight() const { return FImpl->Page.H; }
const TkwJBIG2Bitmap& TkwJBIG2Decoder::GetPage() const { return FImpl->Page; }

// ---------------------------------------------------------------------------------------

TkwJBIG2Decode::TkwJBIG2Decode(TkwRef<TkwStream> ASource, std::string AGlobals)
    : TkwDecode(std::move(ASource)), FGlobals(std::move(AGlobals)) {}

TkwJBIG2Decode::~TkwJBIG2Decode() = default;

void TkwJBIG2Decode::ResetDecoder() {
  FLoaded = false;
  FOffset = 0;
  FOutput.clear();
}

void TkwJBIG2Decode::Load() {
  FLoaded = true;
  if (!FSource) throw ExInvalidStream();
  try {
    std::string input;
    FSource->Read(input, kMaxDecodedBytes);
    TkwJBIG2Decoder decoder;
    const auto* g = reinterpret_cast<const std::uint8_t*>(FGlobals.data());
    if (decoder.DecodeImage({reinterpret_cast<const std::uint8_t*>(input.data()), input.size()},
                            {g, FGlobals.size()}, IsWhiteHigh(), FOutput)) {
      FWidth = decoder.GetWidth();
      FHeight = decoder.GetHeight();
    }
  } catch (const std::bad_alloc&) {
    throw ExOutofMemory();
  }
}

bool TkwJBIG2Decode::Refill() {
  if (!FLoaded) Load();
  if (FOffset >= FOutput.size()) return false;
  const std::size_t n = std::min<std::size_t>(FOutput.size() - FOffset, 65536);
  SetWindow(FOutput.data() + FOffset, FOutput.data() + FOffset + n);
  FOffset += n;
  return true;
}

int TkwJBIG2Decode::GetWidth() {
  if (!FLoaded) Load();
  return FWidth;
}

int TkwJBIG2Decode::GetHeight() {
  if (!FLoaded) Load();
  return FHeight;
}

}  // namespace qm
