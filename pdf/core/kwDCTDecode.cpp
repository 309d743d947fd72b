#include "pdf/core/kwDCTDecode.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/Limits.h"
#include "pdf/core/kwPDBaseObject.h"

namespace qm {

namespace {

constexpr std::array<std::uint8_t, 64> kZigZag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// A scan whose entropy data runs dry keeps being fed zero bits; once kMaxJpegPaddingBits have
// been used (not merely read ahead) the rest of the scan is abandoned, so that a tiny file
// cannot keep us decoding a huge frame scan after scan. A complete scan never uses more
// than the few bits that pad its last byte.

inline int Extend(int AValue, int ABits) {
  return AValue < (1 << (ABits - 1)) ? AValue - (1 << ABits) + 1 : AValue;
}

inline std::uint8_t ClampByte(std::int64_t AValue) {
  return static_cast<std::uint8_t>(AValue < 0 ? 0 : (AValue > 255 ? 255 : AValue));
}

// JFIF's YCbCr to RGB in 16.16 fixed point, the constants rounded as the reference
// decoders round them. Whole rows at a time, in arithmetic the compiler can vectorise.
constexpr int kCrR = 91881, kCbB = 116130, kCrG = 46802, kCbG = 22554, kHalf = 1 << 15;

inline std::uint8_t Clip(int AValue) { return static_cast<std::uint8_t>(std::clamp(AValue, 0, 255)); }

// The per-pixel loops are built twice, for AVX2 (whose 32-bit multiplies make them worth
// vectorising) and for the baseline processor; the loader picks one at start-up. Not under
// ThreadSanitizer: the loader runs the picker before the sanitizer's runtime is up.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_THREAD__)
#define QM_VECTOR_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define QM_VECTOR_LOOP
#endif

QM_VECTOR_LOOP void YccToRgbRow(const std::uint8_t* AY, const std::uint8_t* ACb, const std::uint8_t* ACr, std::uint8_t* AOut,
                 std::size_t AWidth) {
  for (std::size_t x = 0; x < AWidth; ++x) {
    const int y = AY[x], cb = ACb[x] - 128, cr = ACr[x] - 128;
    AOut[3 * x] = Clip(y + ((kCrR * cr + kHalf) >> 16));
    AOut[3 * x + 1] = Clip(y + ((-kCbG * cb - kCrG * cr + kHalf) >> 16));
    AOut[3 * x + 2] = Clip(y + ((kCbB * cb + kHalf) >> 16));
  }
}

// YCCK: the YCbCr part gives inverted CMY, K passes unchanged.
QM_VECTOR_LOOP void YcckToCmykRow(const std::uint8_t* AY, const std::uint8_t* ACb, const std::uint8_t* ACr, const std::uint8_t* AK,
                   std::uint8_t* AOut, std::size_t AWidth) {
  for (std::size_t x = 0; x < AWidth; ++x) {
    const int y = AY[x], cb = ACb[x] - 128, cr = ACr[x] - 128;
    AOut[4 * x] = static_cast<std::uint8_t>(255 - Clip(y + ((kCrR * cr + kHalf) >> 16)));
    AOut[4 * x + 1] = static_cast<std::uint8_t>(255 - Clip(y + ((-kCbG * cb - kCrG * cr + kHalf) >> 16)));
    AOut[4 * x + 2] = static_cast<std::uint8_t>(255 - Clip(y + ((kCbB * cb + kHalf) >> 16)));
    AOut[4 * x + 3] = AK[x];
  }
}

}  // namespace

TkwJpegDecoder::TkwJpegDecoder(std::span<const std::uint8_t> AData, int AColorTransform)
    : FData(AData), FTransformParam(AColorTransform) {}

bool TkwJpegDecoder::SkipToNextMarker(std::uint8_t& AMarker) {
  while (FPos + 1 < FData.size()) {
    if (FData[FPos] != 0xFF) {
      ++FPos;
      continue;
    }
    std::size_t p = FPos + 1;
    while (p < FData.size() && FData[p] == 0xFF) ++p;
    if (p >= FData.size()) break;
    if (FData[p] == 0x00) {
      FPos = p + 1;
      continue;
    }
    AMarker = FData[p];
    FPos = p + 1;
    return true;
  }
  FPos = FData.size();
  return false;
}

bool TkwJpegDecoder::ReadHeader() {
  FPos = 0;
  FHeaderOk = false;
  bool haveFrame = false;
  std::uint8_t marker = 0;
  while (SkipToNextMarker(marker)) {
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
    if (marker == 0xD9) return false;
    if (FPos + 2 > FData.size()) return false;
    const std::size_t len = (std::size_t{FData[FPos]} << 8) | FData[FPos + 1];
    if (len < 2 || FPos + len > FData.size()) return false;
    const std::size_t start = FPos + 2, end = FPos + len;
    switch (marker) {
      case 0xC0:
      case 0xC1:
      case 0xC2:
        if (haveFrame || !ReadFrame(len, marker == 0xC2)) return false;
        haveFrame = true;
        break;
      case 0xC4:
        if (!ReadHuffmanTables(end)) return false;
        break;
      case 0xDB:
        if (!ReadQuantTables(end)) return false;
        break;
      case 0xDD:
        if (len < 4) return false;
        FRestartInterval = (FData[start] << 8) | FData[start + 1];
        break;
      case 0xE0:
        if (len >= 7 && std::memcmp(&FData[start], "JFIF\0", 5) == 0) FJFIF = true;
        break;
      case 0xEE:
        if (len >= 14 && std::memcmp(&FData[start], "Adobe", 5) == 0) {
          FAdobe = true;
          FAdobeTransform = FData[start + 11];
        }
        break;
      case 0xDA: {
        if (!haveFrame || !ReadScanHeader(end)) return false;
        FPos = end;
        // The marker overrides the parameter; without either the component ids decide.
        if (FAdobe) {
          FColorTransform = FAdobeTransform != 0 ? 1 : 0;
        } else if (FTransformParam >= 0) {
          FColorTransform = FTransformParam != 0 ? 1 : 0;
        } else if (FComps.size() == 3) {
          const bool rgbIds = FComps[0].Id == 'R' && FComps[1].Id == 'G' && FComps[2].Id == 'B';
          FColorTransform = (FJFIF || !rgbIds) ? 1 : 0;
        } else {
          FColorTransform = 0;
        }
        if (FComps.size() != 3 && FComps.size() != 4) FColorTransform = 0;
        FHeaderOk = true;
        return true;
      }
      default:
        // Application segments and comments carry nothing we need; every other marker
        // before the first scan is a frame type this decoder does not handle.
        if (!((marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE)) return false;
        break;
    }
    FPos = end;
  }
  return false;
}

bool TkwJpegDecoder::ReadFrame(std::size_t ALen, bool AProgressive) {
  const std::size_t p = FPos + 2;
  if (ALen < 8) return false;
  if (FData[p] != 8) return false;  // 12-bit precision is not used in PDF files we accept
  FHeight = (FData[p + 1] << 8) | FData[p + 2];
  FWidth = (FData[p + 3] << 8) | FData[p + 4];
  const int nf = FData[p + 5];
  if (FWidth <= 0 || FHeight <= 0 || nf < 1 || nf > 4) return false;
  if (ALen < 8 + 3 * static_cast<std::size_t>(nf)) return false;
  if (std::int64_t{FWidth} * FHeight > kMaxImagePixels) return false;
  FProgressive = AProgressive;
  FComps.assign(static_cast<std::size_t>(nf), {});
  FHMax = FVMax = 1;
  for (int i = 0; i < nf; ++i) {
    auto& c = FComps[static_cast<std::size_t>(i)];
    const std::size_t at = p + 3 * static_cast<std::size_t>(i);
    c.Id = FData[at + 6];
    c.H = FData[at + 7] >> 4;
    c.V = FData[at + 7] & 15;
    c.Tq = FData[at + 8];
    if (c.H < 1 || c.H > 4 || c.V < 1 || c.V > 4 || c.Tq > 3) return false;
    if (nf == 1) c.H = c.V = 1;
    FHMax = std::max(FHMax, c.H);
    FVMax = std::max(FVMax, c.V);
  }
  FMcusX = (FWidth + 8 * FHMax - 1) / (8 * FHMax);
  FMcusY = (FHeight + 8 * FVMax - 1) / (8 * FVMax);
  for (auto& c : FComps) {
    c.BlocksW = FMcusX * c.H;
    c.BlocksH = FMcusY * c.V;
    c.CompW = (FWidth * c.H + FHMax - 1) / FHMax;
    c.CompH = (FHeight * c.V + FVMax - 1) / FVMax;
  }
  return true;
}

bool TkwJpegDecoder::ReadHuffmanTables(std::size_t AEnd) {
  std::size_t p = FPos + 2;
  while (p < AEnd) {
    const int tc = FData[p] >> 4, th = FData[p] & 15;
    if (tc > 1 || th > 3 || p + 17 > AEnd) return false;
    std::array<int, 17> counts{};
    int total = 0;
    for (int l = 1; l <= 16; ++l) {
      counts[static_cast<std::size_t>(l)] = FData[p + static_cast<std::size_t>(l)];
      total += counts[static_cast<std::size_t>(l)];
    }
    p += 17;
    if (total > 256 || p + static_cast<std::size_t>(total) > AEnd) return false;
    THuffman& t = tc == 0 ? FDcTables[static_cast<std::size_t>(th)]
                          : FAcTables[static_cast<std::size_t>(th)];
    t = THuffman{};
    std::copy_n(&FData[p], total, t.Values.begin());
    p += static_cast<std::size_t>(total);
    int code = 0, k = 0;
    for (int l = 1; l <= 16; ++l) {
      const int n = counts[static_cast<std::size_t>(l)];
      t.ValPtr[static_cast<std::size_t>(l)] = k - code;
      for (int i = 0; i < n; ++i, ++code, ++k) {
        if (l <= 9) {
          const int shift = 9 - l;
          const int first = code << shift;
          for (int j = 0; j < (1 << shift); ++j) {
            t.Fast[static_cast<std::size_t>(first + j) & 511] =
                static_cast<std::uint16_t>((l << 8) | t.Values[static_cast<std::size_t>(k)]);
          }
        }
      }
      t.MaxCode[static_cast<std::size_t>(l)] = n > 0 ? code - 1 : -1;
      code <<= 1;
    }
    t.MaxCode[17] = 0x7FFFFFFF;
    for (std::size_t i = 0; i < t.Fast.size(); ++i) {
      const int len = t.Fast[i] >> 8, rs = t.Fast[i] & 0xFF, run = rs >> 4, size = rs & 15;
      if (len == 0 || size == 0 || len + size > 9) continue;
      const int bits = static_cast<int>((i >> (9 - len - size)) & ((1u << size) - 1));
      t.FastAc[i] = Extend(bits, size) * 256 + run * 16 + len + size;
    }
    t.Defined = true;
  }
  return true;
}

bool TkwJpegDecoder::ReadQuantTables(std::size_t AEnd) {
  std::size_t p = FPos + 2;
  while (p < AEnd) {
    const int pq = FData[p] >> 4, tq = FData[p] & 15;
    if (pq > 1 || tq > 3) return false;
    const std::size_t need = pq ? 128 : 64;
    if (p + 1 + need > AEnd) return false;
    auto& q = FQuant[static_cast<std::size_t>(tq)];
    for (std::size_t i = 0; i < 64; ++i) {
      const std::uint16_t v =
          pq ? static_cast<std::uint16_t>((FData[p + 1 + 2 * i] << 8) | FData[p + 2 + 2 * i])
             : FData[p + 1 + i];
      q[kZigZag[i]] = v;  // held in natural order
    }
    p += 1 + need;
  }
  return true;
}

bool TkwJpegDecoder::ReadScanHeader(std::size_t AEnd) {
  std::size_t p = FPos + 2;
  if (p >= AEnd) return false;
  const int ns = FData[p++];
  if (ns < 1 || ns > 4 || p + 2 * static_cast<std::size_t>(ns) + 3 > AEnd) return false;
  FScanComps.clear();
  for (int i = 0; i < ns; ++i) {
    const int id = FData[p], tables = FData[p + 1];
    p += 2;
    auto it = std::find_if(FComps.begin(), FComps.end(), [&](const TComponent& c) { return c.Id == id; });
    if (it == FComps.end()) return false;
    const int index = static_cast<int>(it - FComps.begin());
    if (std::find(FScanComps.begin(), FScanComps.end(), index) != FScanComps.end()) return false;
    it->Td = (tables >> 4) & 3;
    it->Ta = tables & 3;
    FScanComps.push_back(index);
  }
  FSs = FData[p];
  FSe = FData[p + 1];
  FAh = FData[p + 2] >> 4;
  FAl = FData[p + 2] & 15;
  return true;
}

void TkwJpegDecoder::FillBits() {
  // Plain data bytes, the usual case, go in without the marker checks.
  if (!FMarkerHit && FPos + 8 <= FData.size()) {
    while (FBitCount <= 56 && FData[FPos] != 0xFF) {
      FBits = (FBits << 8) | FData[FPos++];
      FBitCount += 8;
    }
  }
  while (FBitCount <= 56) {
    std::uint64_t byte = 0;
    if (!FMarkerHit && FPos < FData.size()) {
      byte = FData[FPos];
      if (byte == 0xFF) {
        const std::uint8_t next = FPos + 1 < FData.size() ? FData[FPos + 1] : 0xD9;
        if (next == 0x00) {
          FPos += 2;
        } else if (next == 0xFF) {
          ++FPos;  // fill byte before a marker
          continue;
        } else {
          FMarkerHit = true;
          byte = 0;
          ++FPadding;
        }
      } else {
        ++FPos;
      }
    } else {
      ++FPadding;
    }
    FBits = (FBits << 8) | byte;
    FBitCount += 8;
  }
}

int TkwJpegDecoder::GetBits(int ACount) {
  if (ACount == 0) return 0;
  if (FBitCount < ACount) FillBits();
  FBitCount -= ACount;
  return static_cast<int>((FBits >> FBitCount) & ((1u << ACount) - 1));
}

int TkwJpegDecoder::GetBit() { return GetBits(1); }

int TkwJpegDecoder::DecodeHuffman(const THuffman& ATable) {
  if (FBitCount < 16) FillBits();
  const auto peek = static_cast<std::uint32_t>((FBits >> (FBitCount - 16)) & 0xFFFF);
  const std::uint16_t fast = ATable.Fast[peek >> 7];
  if (fast != 0) {
    FBitCount -= fast >> 8;
    return fast & 0xFF;
  }
  for (int l = 10; l <= 16; ++l) {
    const auto code = static_cast<std::int32_t>(peek >> (16 - l));
    if (code <= ATable.MaxCode[static_cast<std::size_t>(l)]) {
      FBitCount -= l;
      const int index = ATable.ValPtr[static_cast<std::size_t>(l)] + code;
      return (index >= 0 && index < 256) ? ATable.Values[static_cast<std::size_t>(index)] : 0;
    }
  }
  FBitCount -= 16;  // not a code: corrupt data, decode nothing useful from here
  return 0;
}

bool TkwJpegDecoder::DecodeBlockBaseline(TComponent& AComp, std::int16_t* ABlock) {
  const THuffman& dc = FDcTables[static_cast<std::size_t>(AComp.Td)];
  const THuffman& ac = FAcTables[static_cast<std::size_t>(AComp.Ta)];
  const int t = DecodeHuffman(dc);
  const int diff = (t > 0 && t <= 16) ? Extend(GetBits(t), t) : 0;
  AComp.Pred = static_cast<std::int16_t>(AComp.Pred + diff);
  ABlock[0] = static_cast<std::int16_t>(AComp.Pred);
  bool anyAc = false;
  for (int k = 1; k < 64;) {
    // A code and its extra bits take at most 32 bits: one refill serves both.
    if (FBitCount < 32) FillBits();
    const std::int32_t fast = ac.FastAc[static_cast<std::size_t>((FBits >> (FBitCount - 9)) & 511)];
    if (fast != 0) {
      // Most coefficients: code, run and value from one look-up.
      k += (fast >> 4) & 15;
      FBitCount -= fast & 15;
      if (k > 63) break;
      ABlock[kZigZag[static_cast<std::size_t>(k)]] = static_cast<std::int16_t>(fast >> 8);
      anyAc = true;
      ++k;
      continue;
    }
    const int rs = DecodeHuffman(ac);
    const int r = rs >> 4, s = rs & 15;
    if (s == 0) {
      if (r != 15) break;
      k += 16;
      continue;
    }
    k += r;
    if (k > 63) break;
    FBitCount -= s;
    const int bits = static_cast<int>((FBits >> FBitCount) & ((1u << s) - 1));
    ABlock[kZigZag[static_cast<std::size_t>(k)]] = static_cast<std::int16_t>(Extend(bits, s));
    anyAc = true;
    ++k;
  }
  return anyAc;
}

void TkwJpegDecoder::DecodeDCFirst(TComponent& AComp, std::int16_t* ABlock) {
  const int t = DecodeHuffman(FDcTables[static_cast<std::size_t>(AComp.Td)]);
  const int diff = (t > 0 && t <= 16) ? Extend(GetBits(t), t) : 0;
  AComp.Pred = static_cast<std::int16_t>(AComp.Pred + diff);
  ABlock[0] = static_cast<std::int16_t>(AComp.Pred * (1 << FAl));
}

void TkwJpegDecoder::DecodeDCRefine(std::int16_t* ABlock) {
  if (GetBit()) ABlock[0] = static_cast<std::int16_t>(ABlock[0] | (1 << FAl));
}

void TkwJpegDecoder::DecodeACFirst(TComponent& AComp, std::int16_t* ABlock) {
  if (FEobRun > 0) {
    --FEobRun;
    return;
  }
  const THuffman& ac = FAcTables[static_cast<std::size_t>(AComp.Ta)];
  for (int k = FSs; k <= FSe;) {
    const int rs = DecodeHuffman(ac);
    const int r = rs >> 4, s = rs & 15;
    if (s == 0) {
      if (r < 15) {
        FEobRun = (1 << r) - 1;
        if (r) FEobRun += GetBits(r);
        break;
      }
      k += 16;
      continue;
    }
    k += r;
    if (k > 63) break;
    ABlock[kZigZag[static_cast<std::size_t>(k)]] =
        static_cast<std::int16_t>(Extend(GetBits(s), s) * (1 << FAl));
    ++k;
  }
}

void TkwJpegDecoder::DecodeACRefine(TComponent& AComp, std::int16_t* ABlock) {
  const int p1 = 1 << FAl, m1 = -p1;
  const THuffman& ac = FAcTables[static_cast<std::size_t>(AComp.Ta)];
  auto refine = [&](std::int16_t& ACoef) {
    if (GetBit() && (ACoef & p1) == 0) {
      ACoef = static_cast<std::int16_t>(ACoef + (ACoef >= 0 ? p1 : m1));
    }
  };
  int k = FSs;
  if (FEobRun == 0) {
    while (k <= FSe) {
      const int rs = DecodeHuffman(ac);
      int r = rs >> 4;
      const int s = rs & 15;
      int value = 0;
      if (s != 0) {
        value = GetBit() ? p1 : m1;
      } else if (r != 15) {
        FEobRun = 1 << r;
        if (r) FEobRun += GetBits(r);
        break;
      }
      while (k <= FSe) {
        std::int16_t& coef = ABlock[kZigZag[static_cast<std::size_t>(k)]];
        ++k;
        if (coef != 0) {
          refine(coef);
        } else {
          if (r == 0) {
            if (value != 0) coef = static_cast<std::int16_t>(value);
            break;
          }
          --r;
        }
      }
    }
  }
  if (FEobRun > 0) {
    for (; k <= FSe; ++k) {
      std::int16_t& coef = ABlock[kZigZag[static_cast<std::size_t>(k)]];
      if (coef != 0) refine(coef);
    }
    --FEobRun;
  }
}

bool TkwJpegDecoder::HandleRestart() {
  FBits = 0;
  FBitCount = 0;
  FMarkerHit = false;
  FEobRun = 0;
  for (auto& c : FComps) c.Pred = 0;
  // The marker should be right here; tolerate garbage before it, but never step over a
  // marker of another kind.
  while (FPos + 1 < FData.size()) {
    if (FData[FPos] == 0xFF) {
      const std::uint8_t m = FData[FPos + 1];
      if (m >= 0xD0 && m <= 0xD7) {
        FPos += 2;
        FPadding = 0;
        return true;
      }
      if (m != 0x00 && m != 0xFF) return false;
    }
    ++FPos;
  }
  return false;
}

void TkwJpegDecoder::DecodeScan(bool AStoreCoefs) {
  FBits = 0;
  FBitCount = 0;
  FMarkerHit = false;
  FEobRun = 0;
  FPadding = 0;
  for (auto& c : FComps) c.Pred = 0;
  if (FProgressive) {
    const bool ok = FSs <= FSe && FSe <= 63 && FAh <= 13 && FAl <= 13 &&
                    ((FSs == 0 && FSe == 0) || (FSs > 0 && FScanComps.size() == 1));
    if (!ok) return;
  }
  for (int idx : FScanComps) {
    const auto& c = FComps[static_cast<std::size_t>(idx)];
    const bool needDc = !FProgressive || (FSs == 0 && FAh == 0);
    const bool needAc = !FProgressive || FSs > 0;
    if (needDc && !FDcTables[static_cast<std::size_t>(c.Td)].Defined) return;
    if (needAc && !FAcTables[static_cast<std::size_t>(c.Ta)].Defined) return;
  }
  std::array<std::int16_t, 64> temp{};
  auto decodeBlock = [&](TComponent& AComp, int ABx, int ABy) {
    std::int16_t* block;
    if (AStoreCoefs) {
      block = &AComp.Coefs[(static_cast<std::size_t>(ABy) * static_cast<std::size_t>(AComp.BlocksW) +
                            static_cast<std::size_t>(ABx)) * 64];
    } else {
      block = temp.data();
    }
    if (!FProgressive) {
      if (!DecodeBlockBaseline(AComp, block) && !AStoreCoefs) {
        // Only the DC coefficient: a flat block, and nothing to clear afterwards.
        const std::size_t stride = static_cast<std::size_t>(AComp.BlocksW) * 8;
        IdctFlat(block[0], FQuant[static_cast<std::size_t>(AComp.Tq)][0],
                 &AComp.Plane[static_cast<std::size_t>(ABy) * 8 * stride + static_cast<std::size_t>(ABx) * 8],
                 stride);
        block[0] = 0;
        return;
      }
    } else if (FSs == 0) {
      if (FAh == 0) {
        DecodeDCFirst(AComp, block);
      } else {
        DecodeDCRefine(block);
      }
    } else if (FAh == 0) {
      DecodeACFirst(AComp, block);
    } else {
      DecodeACRefine(AComp, block);
    }
    if (!AStoreCoefs) {
      const std::size_t stride = static_cast<std::size_t>(AComp.BlocksW) * 8;
      IdctBlock(block, FQuant[static_cast<std::size_t>(AComp.Tq)],
                &AComp.Plane[static_cast<std::size_t>(ABy) * 8 * stride + static_cast<std::size_t>(ABx) * 8],
                stride);
      temp.fill(0);
    }
  };
  int unitsLeft = FRestartInterval;
  auto beforeUnit = [&](bool AFirst) -> bool {
    if (FRestartInterval > 0 && !AFirst) {
      if (unitsLeft == 0) {
        HandleRestart();
        unitsLeft = FRestartInterval;
      }
    }
    if (FRestartInterval > 0) --unitsLeft;
    return FPadding * 8 - FBitCount <= kMaxJpegPaddingBits;
  };
  bool first = true;
  if (FScanComps.size() == 1) {
    TComponent& c = FComps[static_cast<std::size_t>(FScanComps[0])];
    const int bw = (c.CompW + 7) / 8, bh = (c.CompH + 7) / 8;
    for (int by = 0; by < bh; ++by) {
      for (int bx = 0; bx < bw; ++bx) {
        if (!beforeUnit(first)) return;
        first = false;
        decodeBlock(c, bx, by);
      }
    }
    return;
  }
  for (int my = 0; my < FMcusY; ++my) {
    for (int mx = 0; mx < FMcusX; ++mx) {
      if (!beforeUnit(first)) return;
      first = false;
      for (int idx : FScanComps) {
        TComponent& c = FComps[static_cast<std::size_t>(idx)];
        for (int v = 0; v < c.V; ++v) {
          for (int h = 0; h < c.H; ++h) {
            decodeBlock(c, mx * c.H + h, my * c.V + v);
          }
        }
      }
    }
  }
}

namespace {

// Loeffler-Ligtenberg-Moschytz factorisation in 13-bit fixed point; the same arithmetic
// as the reference decoders use, so that our samples match theirs.
constexpr int kIdctConst = 13, kIdctPass1 = 2;

template <typename T>
struct TIdct8 {
  T v[8];
};

template <typename T>
[[gnu::always_inline]] inline TIdct8<T> Idct8(const T* in, int AStep) {
  constexpr T c0298 = 2446, c0390 = 3196, c0541 = 4433, c0765 = 6270, c0899 = 7373, c1175 = 9633,
              c1501 = 12299, c1847 = 15137, c1961 = 16069, c2053 = 16819, c2562 = 20995, c3072 = 25172;
  TIdct8<T> o;
  T z2 = in[2 * AStep], z3 = in[6 * AStep];
  T z1 = (z2 + z3) * c0541;
  T tmp2 = z1 - z3 * c1847;
  T tmp3 = z1 + z2 * c0765;
  z2 = in[0];
  z3 = in[4 * AStep];
  T tmp0 = (z2 + z3) * (T{1} << kIdctConst);
  T tmp1 = (z2 - z3) * (T{1} << kIdctConst);
  const T e10 = tmp0 + tmp3, e13 = tmp0 - tmp3, e11 = tmp1 + tmp2, e12 = tmp1 - tmp2;
  tmp0 = in[7 * AStep];
  tmp1 = in[5 * AStep];
  tmp2 = in[3 * AStep];
  tmp3 = in[AStep];
  z1 = tmp0 + tmp3;
  z2 = tmp1 + tmp2;
  z3 = tmp0 + tmp2;
  T z4 = tmp1 + tmp3;
  const T z5 = (z3 + z4) * c1175;
  tmp0 *= c0298;
  tmp1 *= c2053;
  tmp2 *= c3072;
  tmp3 *= c1501;
  z1 *= -c0899;
  z2 *= -c2562;
  z3 = z3 * -c1961 + z5;
  z4 = z4 * -c0390 + z5;
  tmp0 += z1 + z3;
  tmp1 += z2 + z4;
  tmp2 += z2 + z3;
  tmp3 += z1 + z4;
  o.v[0] = e10 + tmp3;
  o.v[7] = e10 - tmp3;
  o.v[1] = e11 + tmp2;
  o.v[6] = e11 - tmp2;
  o.v[2] = e12 + tmp1;
  o.v[5] = e12 - tmp1;
  o.v[3] = e13 + tmp0;
  o.v[4] = e13 - tmp0;
  return o;
}

// The row pass: ws holds the column pass's output.
template <typename T>
void IdctRows(const T* ws, std::uint8_t* AOut, std::size_t AStride) {
  constexpr int shift = kIdctConst + kIdctPass1 + 3;
  for (int r = 0; r < 8; ++r) {
    const T* row = &ws[static_cast<std::size_t>(r) * 8];
    std::uint8_t* out = AOut + static_cast<std::size_t>(r) * AStride;
    if (row[1] == 0 && row[2] == 0 && row[3] == 0 && row[4] == 0 && row[5] == 0 && row[6] == 0 && row[7] == 0) {
      constexpr int dcShift = kIdctPass1 + 3;
      std::memset(out, ClampByte(((row[0] + (T{1} << (dcShift - 1))) >> dcShift) + 128), 8);
      continue;
    }
    const TIdct8<T> o = Idct8(row, 1);
    for (int c = 0; c < 8; ++c) out[c] = ClampByte(((o.v[c] + (T{1} << (shift - 1))) >> shift) + 128);
  }
}

// The two passes over a dequantised block; T = int32 for the values a real image has,
// int64 for the huge values of damaged data. The 32-bit column pass is exact for inputs
// below 2^12 and its output stays below 2^17; the 32-bit row pass is exact below 2^14,
// which real images never leave, and larger outputs take the 64-bit row pass.
template <typename T>
void IdctPasses(const T* in, std::uint8_t* AOut, std::size_t AStride) {
  std::array<T, 64> ws;
  T peak = 0;
  for (int c = 0; c < 8; ++c) {
    const T* col = &in[c];
    if (col[8] == 0 && col[16] == 0 && col[24] == 0 && col[32] == 0 && col[40] == 0 && col[48] == 0 &&
        col[56] == 0) {
      const T dc = col[0] * (T{1} << kIdctPass1);
      for (int r = 0; r < 8; ++r) ws[static_cast<std::size_t>(r * 8 + c)] = dc;
      peak |= dc < 0 ? -dc : dc;
      continue;
    }
    const TIdct8<T> o = Idct8(col, 8);
    constexpr int shift = kIdctConst - kIdctPass1;
    for (int r = 0; r < 8; ++r) {
      const T v = (o.v[r] + (T{1} << (shift - 1))) >> shift;
      ws[static_cast<std::size_t>(r * 8 + c)] = v;
      peak |= v < 0 ? -v : v;
    }
  }
  if (sizeof(T) == 4 && peak >= (1 << 14)) {
    std::array<std::int64_t, 64> wide;
    for (std::size_t i = 0; i < 64; ++i) wide[i] = ws[i];
    IdctRows<std::int64_t>(wide.data(), AOut, AStride);
    return;
  }
  IdctRows<T>(ws.data(), AOut, AStride);
}

// Idct8 on eight sequences at once, the sequences being the lanes: AIn[k * 8 + lane] is
// the k-th input of a lane and AOut[k * 8 + lane] its k-th output, rounded and shifted
// down by AShift. Laid out this way the compiler turns each step into one vector step.
template <int AShift>
[[gnu::always_inline]] inline void Idct8Lanes(const std::int32_t* AIn, std::int32_t* AOut) {
  constexpr std::int32_t rnd = 1 << (AShift - 1);
  for (int l = 0; l < 8; ++l) {
    const TIdct8<std::int32_t> o = Idct8(AIn + l, 8);
    std::int32_t* out = AOut + l;
    for (int k = 0; k < 8; ++k) out[k * 8] = (o.v[k] + rnd) >> AShift;
  }
}

// Both passes in 32 bits over a block whose dequantised coefficients stay below 2^12;
// false, with nothing written, when the column pass leaves values that need the 64-bit
// row pass. The same arithmetic as IdctPasses<std::int32_t>, eight lanes at a time.
QM_VECTOR_LOOP bool IdctLanes32(const std::int32_t* AIn, std::uint8_t* AOut, std::size_t AStride) {
  alignas(32) std::int32_t ws[64];
  alignas(32) std::int32_t t[64];
  Idct8Lanes<kIdctConst - kIdctPass1>(AIn, ws);
  std::int32_t peak = 0;
  for (int i = 0; i < 64; ++i) peak |= ws[i] < 0 ? -ws[i] : ws[i];
  if (peak >= (1 << 14)) return false;
  for (int r = 0; r < 8; ++r) {
    for (int c = 0; c < 8; ++c) t[c * 8 + r] = ws[r * 8 + c];
  }
  Idct8Lanes<kIdctConst + kIdctPass1 + 3>(t, ws);  // ws[c * 8 + r]: row r, column c
  for (int r = 0; r < 8; ++r) {
    std::uint8_t* out = AOut + static_cast<std::size_t>(r) * AStride;
    for (int c = 0; c < 8; ++c) out[c] = Clip(ws[c * 8 + r] + 128);
  }
  return true;
}

// Dequantises a block into AOut; returns the OR of the AC coefficients (0 for a flat
// block) and, in APeak, the OR of the dequantised magnitudes. int16 times uint16 always
// fits 32 bits.
QM_VECTOR_LOOP std::int32_t Dequantise(const std::int16_t* ABlock, const std::uint16_t* AQuant, std::int32_t* AOut,
                                       std::int32_t& APeak) {
  std::int32_t peak = 0, ac = 0;
  for (int i = 0; i < 64; ++i) {
    const std::int32_t v = std::int32_t{ABlock[i]} * AQuant[i];
    AOut[i] = v;
    peak |= v < 0 ? -v : v;
  }
  for (int i = 1; i < 64; ++i) ac |= ABlock[i];
  APeak = peak;
  return ac;
}

}  // namespace

void TkwJpegDecoder::IdctFlat(std::int16_t ADc, std::uint16_t AQuant, std::uint8_t* AOut, std::size_t AStride) {
  // Flat blocks are common in smooth areas and in chroma; their transform is a constant.
  constexpr int dcShift = kIdctPass1 + 3;
  const std::int64_t dc = std::int64_t{ADc} * AQuant * (1 << kIdctPass1);
  const std::uint8_t v = ClampByte(((dc + (1 << (dcShift - 1))) >> dcShift) + 128);
  for (int r = 0; r < 8; ++r) std::memset(AOut + static_cast<std::size_t>(r) * AStride, v, 8);
}

void TkwJpegDecoder::IdctBlock(const std::int16_t* ABlock, const std::array<std::uint16_t, 64>& AQuant,
                               std::uint8_t* AOut, std::size_t AStride) {
  // Dequantised coefficients of an 8-bit image stay within a few thousand; up to 2^12 in
  // magnitude the passes cannot overflow 32 bits. Damaged data with 16-bit quantisers can
  // reach 2^31 and takes the 64-bit passes.
  alignas(32) std::array<std::int32_t, 64> in;
  std::int32_t peak = 0;
  if (Dequantise(ABlock, AQuant.data(), in.data(), peak) == 0) {
    IdctFlat(ABlock[0], AQuant[0], AOut, AStride);
    return;
  }
  if (peak < (1 << 12)) {
    if (!IdctLanes32(in.data(), AOut, AStride)) IdctPasses<std::int32_t>(in.data(), AOut, AStride);
  } else {
    std::array<std::int64_t, 64> wide;
    for (std::size_t i = 0; i < 64; ++i) wide[i] = in[i];
    IdctPasses<std::int64_t>(wide.data(), AOut, AStride);
  }
}

void TkwJpegDecoder::DecodeAll() {
  FDecoded = true;
  const bool singleScan = !FProgressive && FScanComps.size() == FComps.size();
  for (auto& c : FComps) {
    c.Plane.assign(static_cast<std::size_t>(c.BlocksW) * 8 * static_cast<std::size_t>(c.BlocksH) * 8, 128);
    if (!singleScan) {
      c.Coefs.assign(static_cast<std::size_t>(c.BlocksW) * static_cast<std::size_t>(c.BlocksH) * 64, 0);
    }
  }
  // Scan after scan until the end of the image; tables may change between scans.
  for (int scans = 0; scans < kMaxJpegScans; ++scans) {
    DecodeScan(!singleScan);
    if (singleScan) break;
    bool next = false;
    std::uint8_t marker = 0;
    while (SkipToNextMarker(marker)) {
      if (marker == 0xD9) break;
      if (marker >= 0xD0 && marker <= 0xD7) continue;
      if (FPos + 2 > FData.size()) break;
      const std::size_t len = (std::size_t{FData[FPos]} << 8) | FData[FPos + 1];
      if (len < 2 || FPos + len > FData.size()) break;
      const std::size_t end = FPos + len;
      bool ok = true;
      if (marker == 0xC4) {
        ok = ReadHuffmanTables(end);
      } else if (marker == 0xDB) {
        ok = ReadQuantTables(end);
      } else if (marker == 0xDD && len >= 4) {
        FRestartInterval = (FData[FPos + 2] << 8) | FData[FPos + 3];
      } else if (marker == 0xDA) {
        if (!ReadScanHeader(end)) break;
        FPos = end;
        next = true;
        break;
      }
      if (!ok) break;
      FPos = end;
    }
    if (!next) break;
  }
  if (!singleScan) {
    for (auto& c : FComps) {
      const std::size_t stride = static_cast<std::size_t>(c.BlocksW) * 8;
      const auto& q = FQuant[static_cast<std::size_t>(c.Tq)];
      for (int by = 0; by < c.BlocksH; ++by) {
        for (int bx = 0; bx < c.BlocksW; ++bx) {
          const std::size_t b = static_cast<std::size_t>(by) * static_cast<std::size_t>(c.BlocksW) +
                                static_cast<std::size_t>(bx);
          IdctBlock(&c.Coefs[b * 64], q, &c.Plane[static_cast<std::size_t>(by) * 8 * stride +
                                                  static_cast<std::size_t>(bx) * 8],
                    stride);
        }
      }
      c.Coefs.clear();
      c.Coefs.shrink_to_fit();
    }
  }
  FUpRows.assign(FComps.size(), std::vector<std::uint8_t>(static_cast<std::size_t>(FWidth) + 1));
}

void TkwJpegDecoder::UpsampleRow(const TComponent& AComp, int ARow, std::uint8_t* AOut) {
  const std::size_t stride = static_cast<std::size_t>(AComp.BlocksW) * 8;
  const int hs = FHMax / AComp.H, vs = FVMax / AComp.V;
  const bool exactH = hs * AComp.H == FHMax, exactV = vs * AComp.V == FVMax;
  const int n = AComp.CompW;
  auto row = [&](int AY) {
    return &AComp.Plane[static_cast<std::size_t>(std::clamp(AY, 0, AComp.CompH - 1)) * stride];
  };
  const int w = FWidth;
  if (exactH && exactV && hs == 1 && vs == 1) {
    std::memcpy(AOut, row(ARow), static_cast<std::size_t>(w));
    return;
  }
  if (exactH && exactV && hs == 2 && (vs == 1 || vs == 2) && n >= 2) {
    // Triangle filter, the way common decoders smooth chroma. The output row holds
    // 2n >= w samples (FUpRows rows are one longer than the image).
    std::vector<int>& colsum = FColSum;
    colsum.resize(static_cast<std::size_t>(n));
    int* c = colsum.data();
    int shift, rndA, rndB, rndFirst, rndLast;
    if (vs == 2) {
      const int sy = ARow / 2;
      const std::uint8_t* cur = row(sy);
      const std::uint8_t* nearRow = row((ARow & 1) ? sy + 1 : sy - 1);
      for (int i = 0; i < n; ++i) c[i] = 3 * cur[i] + nearRow[i];
      shift = 4, rndA = 8, rndB = 7, rndFirst = 8, rndLast = 7;
    } else {
      const std::uint8_t* cur = row(ARow);
      for (int i = 0; i < n; ++i) c[i] = cur[i];
      shift = 2, rndA = 1, rndB = 2, rndFirst = 0, rndLast = 0;
    }
    AOut[0] = static_cast<std::uint8_t>((c[0] * 4 + rndFirst) >> shift);
    AOut[1] = static_cast<std::uint8_t>((c[0] * 3 + c[1] + rndB) >> shift);
    for (int i = 1; i < n - 1; ++i) {
      AOut[2 * i] = static_cast<std::uint8_t>((c[i] * 3 + c[i - 1] + rndA) >> shift);
      AOut[2 * i + 1] = static_cast<std::uint8_t>((c[i] * 3 + c[i + 1] + rndB) >> shift);
    }
    AOut[2 * n - 2] = static_cast<std::uint8_t>((c[n - 1] * 3 + c[n - 2] + rndA) >> shift);
    AOut[2 * n - 1] = static_cast<std::uint8_t>((c[n - 1] * 4 + rndLast) >> shift);
    return;
  }
  if (exactH && exactV && hs == 1 && vs == 2) {
    const int sy = ARow / 2;
    const std::uint8_t* cur = row(sy);
    const std::uint8_t* nearRow = row((ARow & 1) ? sy + 1 : sy - 1);
    const int rnd = (ARow & 1) ? 2 : 1;
    for (int x = 0; x < w; ++x) AOut[x] = static_cast<std::uint8_t>((3 * cur[x] + nearRow[x] + rnd) >> 2);
    return;
  }
  const std::uint8_t* src = row(static_cast<int>(std::int64_t{ARow} * AComp.V / FVMax));
  for (int x = 0; x < w; ++x) {
    const auto sx = static_cast<std::size_t>(std::int64_t{x} * AComp.H / FHMax);
    AOut[x] = src[std::min(sx, stride - 1)];
  }
}

bool TkwJpegDecoder::ReadRow(std::span<std::uint8_t> AOut) {
  if (!FHeaderOk || FRow >= FHeight || AOut.size() < GetRowBytes()) return false;
  if (!FDecoded) DecodeAll();
  const std::size_t nc = FComps.size();
  for (std::size_t c = 0; c < nc; ++c) UpsampleRow(FComps[c], FRow, FUpRows[c].data());
  const auto w = static_cast<std::size_t>(FWidth);
  std::uint8_t* out = AOut.data();
  if (nc == 1) {
    std::memcpy(out, FUpRows[0].data(), w);
  } else if (FColorTransform == 1 && nc == 3) {
    YccToRgbRow(FUpRows[0].data(), FUpRows[1].data(), FUpRows[2].data(), out, w);
  } else if (FColorTransform == 1 && nc == 4) {
    YcckToCmykRow(FUpRows[0].data(), FUpRows[1].data(), FUpRows[2].data(), FUpRows[3].data(), out, w);
  } else {
    for (std::size_t c = 0; c < nc; ++c) {
      const std::uint8_t* src = FUpRows[c].data();
      for (std::size_t x = 0; x < w; ++x) out[x * nc + c] = src[x];
    }
  }
  ++FRow;
  return true;
}

TkwDCTDecode::TkwDCTDecode(TkwRef<TkwStream> ASource, int AColorTransform)
    : TkwDecode(std::move(ASource)), FColorTransform(AColorTransform) {}

TkwDCTDecode::~TkwDCTDecode() = default;

void TkwDCTDecode::ResetDecoder() {
  FLoaded = false;
  FDecoder.reset();
  FInput.clear();
}

void TkwDCTDecode::Load() {
  FLoaded = true;
  if (!FSource) throw ExInvalidStream();
  try {
    FSource->Read(FInput, kMaxDecodedBytes);
    auto decoder = std::make_unique<TkwJpegDecoder>(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(FInput.data()), FInput.size()),
        FColorTransform);
    if (decoder->ReadHeader()) {
      FDecoder = std::move(decoder);
      FRowBuf.resize(FDecoder->GetRowBytes());
    }
  } catch (const std::bad_alloc&) {
    throw ExOutofMemory();
  }
}

bool TkwDCTDecode::Refill() {
  if (!FLoaded) Load();
  if (!FDecoder) return false;
  try {
    if (!FDecoder->ReadRow(FRowBuf)) return false;
  } catch (const std::bad_alloc&) {
    throw ExOutofMemory();
  }
  SetWindow(FRowBuf.data(), FRowBuf.data() + FRowBuf.size());
  return true;
}

int TkwDCTDecode::GetWidth() {
  if (!FLoaded) Load();
  return FDecoder ? FDecoder->GetWidth() : 0;
}

int TkwDCTDecode::GetHeight() {
  if (!FLoaded) Load();
  return FDecoder ? FDecoder->GetHeight() : 0;
}

int TkwDCTDecode::GetComponents() {
  if (!FLoaded) Load();
  return FDecoder ? FDecoder->GetComponents() : 0;
}

}  // namespace qm
