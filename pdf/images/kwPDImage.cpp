#include "pdf/images/kwPDImage.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <typeinfo>

#include "base/Limits.h"
#include "pdf/core/kwStream.h"
#include "pdf/core/kwPDBaseObject.h"
#include "pdf/core/Tolerance.h"
#include "pdf/model/kwPDPage.h"
#include "pdf/model/kwPDResource.h"
#include "platform/Bitmap.h"

namespace qm {

namespace {

// The value of a one-sample colour from ATable, which ACompute fills for every sample value
// of ABits bits on first use.
template <class TValue, class TCompute>
TValue Tabulated(std::vector<TValue>& ATable, int ABits, std::uint16_t ASample, TCompute ACompute) {
  const std::size_t top = (std::size_t{1} << ABits) - 1;
  if (ATable.empty()) {
    ATable.resize(top + 1);
    for (std::size_t v = 0; v <= top; ++v) {
      const auto sample = static_cast<std::uint16_t>(v);
      ACompute(&sample, ATable[v]);
    }
  }
  return ATable[std::min<std::size_t>(ASample, top)];
}

bool ValidBits(int ABits) { return ABits == 1 || ABits == 2 || ABits == 4 || ABits == 8 || ABits == 16; }

std::string ExpandFilterName(const std::string& AName) {
  if (AName == "AHx") return "ASCIIHexDecode";
  if (AName == "A85") return "ASCII85Decode";
  if (AName == "LZW") return "LZWDecode";
  if (AName == "Fl") return "FlateDecode";
  if (AName == "RL") return "RunLengthDecode";
  if (AName == "CCF") return "CCITTFaxDecode";
  if (AName == "DCT") return "DCTDecode";
  return AName;
}

// Whether ASpace gives the RGB of a colour as DeviceRGB does: it is DeviceRGB, or an ICC
// profile shown through DeviceRGB.
bool ConvertsAsDeviceRGB(const TkwPDColorSpace* ASpace) {
  if (ASpace == nullptr) return false;
  if (typeid(*ASpace) == typeid(TkwPDICCBasedColorSpace)) {
    ASpace = static_cast<const TkwPDICCBasedColorSpace*>(ASpace)->GetAlt();
    if (ASpace == nullptr) return false;
  }
  return typeid(*ASpace) == typeid(TkwPDDeviceRGBColorSpace);
}

}  // namespace

// --- TkwPDImageColorMap ----------------------------------------------------------------------

TkwPDImageColorMap::TkwPDImageColorMap(int ABits, const TkwPDArray* ADecode, const TkwPDColorSpace* ASpace)
    : FBits(ABits), FColorSpace(ASpace) {
  if (!ValidBits(ABits)) return;
  const int max = (1 << ABits) - 1;
  FNComps = ASpace ? ASpace->GetNoOfComps() : 1;
  if (FNComps < 1 || FNComps > kMaxColorComps) return;
  if (ADecode) {
    if (ADecode->GetLength() != static_cast<std::size_t>(2 * FNComps)) return;
    for (int i = 0; i < FNComps; ++i) {
      const TkwPDBaseObject* lo = ADecode->Get(static_cast<std::size_t>(2 * i));
      const TkwPDBaseObject* hi = ADecode->Get(static_cast<std::size_t>(2 * i + 1));
      if (!lo || !hi || !lo->IsNumber() || !hi->IsNumber()) return;
      if (!std::isfinite(lo->GetNumber()) || !std::isfinite(hi->GetNumber())) return;
      FDecodeLow[static_cast<std::size_t>(i)] = lo->GetNumber();
      FDecodeRange[static_cast<std::size_t>(i)] = hi->GetNumber() - lo->GetNumber();
    }
  } else if (ASpace) {
    ASpace->GetDefaultRanges(FDecodeLow, FDecodeRange, max);
  } else {
    FDecodeLow[0] = 0;
    FDecodeRange[0] = 1;
  }
  const std::size_t entries = static_cast<std::size_t>(max) + 1;
  if (ASpace && ASpace->GetMode() == TkwColorSpaceMode::csIndexed) {
    const auto* idx = static_cast<const TkwPDIndexedColorSpace*>(ASpace);
    FColorSpace2 = idx->GetBase();
    FNComps2 = FColorSpace2->GetNoOfComps();
    FLookUp.assign(static_cast<std::size_t>(FNComps2), std::vector<std::int32_t>(entries));
    for (int v = 0; v <= max; ++v) {
      double x = std::trunc(v * FDecodeRange[0] / max + FDecodeLow[0] + 0.5);
      if (!std::isfinite(x)) x = 0;
      const int index = static_cast<int>(std::clamp(x, 0.0, static_cast<double>(idx->FIndexHigh)));
      for (int i = 0; i < FNComps2; ++i) {
        const std::size_t u = static_cast<std::size_t>(i);
        FLookUp[u][static_cast<std::size_t>(v)] =
            ToColor(idx->LookupByte(index, i) / 255.0 * idx->FBaseRange[u] + idx->FBaseLow[u]);
      }
    }
  } else if (ASpace && ASpace->GetMode() == TkwColorSpaceMode::csSeparation &&
             static_cast<const TkwPDSeparationColorSpace*>(ASpace)->FFunc &&
             static_cast<const TkwPDSeparationColorSpace*>(ASpace)->GetAlt()) {
    const auto* sep = static_cast<const TkwPDSeparationColorSpace*>(ASpace);
    FColorSpace2 = sep->GetAlt();
    FNComps2 = FColorSpace2->GetNoOfComps();
    FLookUp.assign(static_cast<std::size_t>(FNComps2), std::vector<std::int32_t>(entries));
    // 16-bit tints: the function runs at every 16th value and the others are interpolated,
    // which bounds the work of long calculator programs.
    const int step = max > 4096 ? 16 : 1;
    auto eval = [&](int AV, TkwFunctionArgs& AOut) {
      TkwFunctionArgs in{};
      in[0] = FDecodeLow[0] + AV * FDecodeRange[0] / max;
      sep->FFunc->Transform(in, AOut);
    };
    TkwFunctionArgs prev{}, cur{};
    int prevV = -1;
    for (int v = 0;; v = std::min(v + step, max)) {
      eval(v, cur);
      for (int i = 0; i < FNComps2; ++i) FLookUp[static_cast<std::size_t>(i)][static_cast<std::size_t>(v)] = ToColor(cur[static_cast<std::size_t>(i)]);
      for (int k = prevV + 1; prevV >= 0 && k < v; ++k) {
        const double t = static_cast<double>(k - prevV) / (v - prevV);
        for (int i = 0; i < FNComps2; ++i) {
          const std::size_t u = static_cast<std::size_t>(i);
          FLookUp[u][static_cast<std::size_t>(k)] = ToColor(prev[u] + (cur[u] - prev[u]) * t);
        }
      }
      prev = cur;
      prevV = v;
      if (v == max) break;
    }
  } else {
    FColorSpace2 = ASpace;
    FNComps2 = FNComps;
    FCacheUsed = ASpace && (ASpace->GetMode() == TkwColorSpaceMode::csDeviceN ||
                            ASpace->GetMode() == TkwColorSpaceMode::csSeparation);
    FLookUp.assign(static_cast<std::size_t>(FNComps), std::vector<std::int32_t>(entries));
    for (int i = 0; i < FNComps; ++i) {
      const std::size_t u = static_cast<std::size_t>(i);
      for (int v = 0; v <= max; ++v) FLookUp[u][static_cast<std::size_t>(v)] = ToColor(FDecodeLow[u] + v * FDecodeRange[u] / max);
    }
  }
  FOk = true;
  FTabulated = FNComps == 1 && FBits <= 8;
  FDirectRGB = FColorSpace2 == FColorSpace && !FCacheUsed && ConvertsAsDeviceRGB(FColorSpace);
}

void TkwPDImageColorMap::GetColor(const std::uint16_t* ASamples, TkwColor& AColor) const {
  AColor = TkwColor{};
  if (!FOk) return;
  const bool viaFirst = FColorSpace2 != FColorSpace;  // Indexed and Separation tables
  const std::size_t top = (std::size_t{1} << FBits) - 1;
  for (int i = 0; i < FNComps2; ++i) {
    const std::size_t s = std::min<std::size_t>(viaFirst ? ASamples[0] : ASamples[i], top);
    AColor.FComps[static_cast<std::size_t>(i)] = FLookUp[static_cast<std::size_t>(i)][s];
  }
}

void TkwPDImageColorMap::GetRGB(const std::uint16_t* ASamples, TkwRGB& ARGB) const {
  if (FDirectRGB) {
    const std::size_t top = (std::size_t{1} << FBits) - 1;
    ARGB = TkwRGB{Clamp(FLookUp[0][std::min<std::size_t>(ASamples[0], top)]),
                  Clamp(FLookUp[1][std::min<std::size_t>(ASamples[1], top)]),
                  Clamp(FLookUp[2][std::min<std::size_t>(ASamples[2], top)])};
    return;
  }
  if (!FTabulated) {
    ComputeRGB(ASamples, ARGB);
    return;
  }
  ARGB = Tabulated(FRGBTable, FBits, ASamples[0], [this](const std::uint16_t* AS, TkwRGB& AV) { ComputeRGB(AS, AV); });
}

void TkwPDImageColorMap::GetGraySlow(const std::uint16_t* ASamples, std::int32_t& AGray) const {
  if (!FTabulated) {
    ComputeGray(ASamples, AGray);
    return;
  }
  AGray = Tabulated(FGrayTable, FBits, ASamples[0],
                    [this](const std::uint16_t* AS, std::int32_t& AV) { ComputeGray(AS, AV); });
}

void TkwPDImageColorMap::ComputeRGB(const std::uint16_t* ASamples, TkwRGB& ARGB) const {
  if (FCacheUsed) {
    const std::size_t n = static_cast<std::size_t>(FNComps);
    if (FCacheValid && std::equal(ASamples, ASamples + n, FCacheKey.begin())) {
      ARGB = FCacheRGB;
      return;
    }
    std::copy(ASamples, ASamples + n, FCacheKey.begin());
  }
  TkwColor c;
  GetColor(ASamples, c);
  if (FColorSpace2) {
    FColorSpace2->GetRGB(c, ARGB);
    if (FCacheUsed) {
      FCacheRGB = ARGB;
      FCacheValid = true;
    }
  } else {
    const std::int32_t g = Clamp(c.FComps[0]);
    ARGB = TkwRGB{g, g, g};
  }
}

void TkwPDImageColorMap::ComputeGray(const std::uint16_t* ASamples, std::int32_t& AGray) const {
  TkwColor c;
  GetColor(ASamples, c);
  if (FColorSpace2) {
    FColorSpace2->GetGray(c, AGray);
  } else {
    AGray = Clamp(c.FComps[0]);
  }
}

// --- TkwPDImageStream ------------------------------------------------------------------------

TkwPDImageStream::TkwPDImageStream(TkwStream* AStream, int AWidth, int ANoComps, int ANoBits)
    : FStream(AStream), FWidth(AWidth), FNoComps(ANoComps), FNoBits(ANoBits),
      FNoVals(std::int64_t{AWidth} * ANoComps) {
  FRowBytes.resize(static_cast<std::size_t>((FNoVals * ANoBits + 7) / 8));
  FImageLine.resize(static_cast<std::size_t>(FNoVals));
}

const std::uint16_t* TkwPDImageStream::GetLine(bool* AAnyData) {
  std::size_t got = FStream ? FStream->Read(std::span<std::uint8_t>(FRowBytes)) : 0;
  if (AAnyData) *AAnyData = got > 0;
  std::fill(FRowBytes.begin() + static_cast<std::ptrdiff_t>(got), FRowBytes.end(), std::uint8_t{0});
  const std::uint8_t* p = FRowBytes.data();
  const std::size_t n = FImageLine.size();
  switch (FNoBits) {
    case 8:
      for (std::size_t i = 0; i < n; ++i) FImageLine[i] = p[i];
      break;
    case 16:
      for (std::size_t i = 0; i < n; ++i) FImageLine[i] = static_cast<std::uint16_t>((p[2 * i] << 8) | p[2 * i + 1]);
      break;
    case 1:
      for (std::size_t i = 0; i < n; ++i) FImageLine[i] = (p[i >> 3] >> (7 - (i & 7))) & 1;
      break;
    default: {
      std::uint32_t acc = 0;
      int bits = 0;
      std::size_t at = 0;
      const std::uint32_t mask = (1u << FNoBits) - 1;
      for (std::size_t i = 0; i < n; ++i) {
        if (bits < FNoBits) {
          acc = (acc << 8) | p[at++];
          bits += 8;
        }
        FImageLine[i] = static_cast<std::uint16_t>((acc >> (bits - FNoBits)) & mask);
        bits -= FNoBits;
      }
      break;
    }
  }
  ++FImgIdx;
  return FImageLine.data();
}

// --- TkwPDImage ------------------------------------------------------------------------------

TkwPDImage::TkwPDImage(TkwPDStream* AStream, TkwPDDocument* ADoc, TkwPDElement* AParent, std::string_view ATagName,
                       bool AIsInlineImage)
    : TkwPDXObject(AStream, ADoc, AParent, TkwXObjectType::xtImage, ATagName), FIsInlineImage(AIsInlineImage) {}

TkwPDImage::~TkwPDImage() = default;

TkwPDBaseObject* TkwPDImage::Key(const char* AFull, const char* AShort) const {
  TkwPDStream* st = GetStream();
  if (!st) return nullptr;
  TkwPDBaseObject* v = st->GetDict()->LookUp(AFull);
  if (IsAbsent(v) && AShort) v = st->GetDict()->LookUp(AShort);
  return IsAbsent(v) ? nullptr : v;
}

int TkwPDImage::ReadInt(const char* AFull, const char* AShort) {
  const TkwPDBaseObject* v = Key(AFull, AShort);
  if (v && v->IsInteger()) return static_cast<const TkwPDInteger*>(v)->GetValue();
  // Some writers give sizes as reals with no fraction.
  if (v && v->IsReal() && std::floor(v->GetNumber()) == v->GetNumber() && std::fabs(v->GetNumber()) < 1e9) {
    return static_cast<int>(v->GetNumber());
  }
  return -1;
}

TkwIntentType TkwPDImage::GetIntent() {
  const TkwPDBaseObject* v = Key("Intent", nullptr);
  const std::string name = v && v->IsName() ? static_cast<const TkwPDName*>(v)->GetValue() : std::string();
  if (name == "AbsoluteColorimetric") FIntentType = TkwIntentType::itAbsoluteColorimetric;
  if (name == "Saturation") FIntentType = TkwIntentType::itSaturation;
  if (name == "Perceptual") FIntentType = TkwIntentType::itPerceptual;
  if (name == "RelativeColorimetric") FIntentType = TkwIntentType::itRelativeColorimetric;
  return FIntentType;
}

int TkwPDImage::GetWidth() {
  if (!FWidthRead) {
    FWidth = ReadInt("Width", "W");
    FWidthRead = true;
  }
  return FWidth;
}

int TkwPDImage::GetHeight() {
  if (!FHeightRead) {
    FHeight = ReadInt("Height", "H");
    if (FHeight < 0) FHeight = 0;
    FHeightRead = true;
  }
  return FHeight;
}

bool TkwPDImage::GetImageMask() {
  if (!FImageMask) {
    const TkwPDBaseObject* v = Key("ImageMask", "IM");
    FImageMask = v && v->IsBoolean() && static_cast<const TkwPDBoolean*>(v)->GetValue();
  }
  return *FImageMask;
}

int TkwPDImage::GetBitsPerComponent() {
  if (!FBitsRead) {
    FBitsPerComponent = ReadInt("BitsPerComponent", "BPC");
    if (GetImageMask() && FBitsPerComponent < 0) FBitsPerComponent = 1;
    FBitsRead = true;
  }
  return FBitsPerComponent;
}

const TkwPDColorSpace* TkwPDImage::GetColorSpace() {
  if (FColorSpaceRead) return FColorSpace;
  FColorSpaceRead = true;
  if (GetImageMask()) return nullptr;
  TkwPDBaseObject* v = Key("ColorSpace", "CS");
  if (!v) return nullptr;
  TkwPDResource* res = dynamic_cast<TkwPDResource*>(GetParentElement());
  if (!res) {
    if (auto* page = dynamic_cast<TkwPDPage*>(GetParentElement())) {
      try {
        res = page->GetResource();
      } catch (const std::exception&) {
        RethrowUnlessDamage();
        res = nullptr;
      }
    }
  }
  FOwnColorSpace = MakeColorSpace(v, "", res);
  FColorSpace = FOwnColorSpace.get();
  if (!FColorSpace && v->IsName() && res) {
    FColorSpace = dynamic_cast<const TkwPDColorSpace*>(res->LookUpColorSpace(static_cast<TkwPDName*>(v)->GetValue()));
  }
  if (!FColorSpace && v->IsName()) Note(TkwDiagCode::dcColorSpaceBroken);
  return FColorSpace;
}

const TkwPDArray* TkwPDImage::GetDecode() {
  TkwPDBaseObject* v = Key("Decode", "D");
  return v && v->IsArray() ? static_cast<TkwPDArray*>(v) : nullptr;
}

const TkwPDImageColorMap* TkwPDImage::GetColorMap() {
  if (FColorMapRead) return FColorMap.get();
  FColorMapRead = true;
  const int bits = GetBitsPerComponent();
  const TkwPDColorSpace* cs = GetColorSpace();
  if (!GetImageMask() && !cs) return nullptr;
  FColorMap = std::make_unique<TkwPDImageColorMap>(GetImageMask() ? 1 : bits, GetDecode(), cs);
  return FColorMap.get();
}

std::string TkwPDImage::GetOuterFilter() {
  const TkwPDBaseObject* f = Key("Filter", "F");
  if (!f) return {};
  if (f->IsName()) return ExpandFilterName(static_cast<const TkwPDName*>(f)->GetValue());
  if (f->IsArray()) {
    const auto* a = static_cast<const TkwPDArray*>(f);
    if (a->GetLength() == 0) return {};
    const TkwPDBaseObject* last = a->Get(a->GetLength() - 1);
    if (last && last->IsName()) return ExpandFilterName(static_cast<const TkwPDName*>(last)->GetValue());
  }
  return {};
}

bool TkwPDImage::SizeOk() {
  const int w = GetWidth(), h = GetHeight();
  return w > 0 && h > 0 && w <= kMaxImageDimension && h <= kMaxImageDimension &&
         std::int64_t{w} * h <= kMaxImagePixels;
}

std::string TkwPDImage::GetJpegBytes() {
  TkwPDStream* st = GetStream();
  if (!st || !st->GetStream() || !IsDCT()) return {};
  std::string bytes;
  try {
    st->Reset();
    TkwStream* top = st->GetStream();
    TkwStream* under = top;
    if (top->GetType() == TkwStreamType::stDCT) {
      if (auto* f = dynamic_cast<TkwFilterStream*>(top)) under = f->GetSource();
    }
    under->Read(bytes, kMaxJpegBytes);
    st->Reset();
  } catch (const std::exception&) {
    RethrowUnlessDamage();
    return {};
  }
  return bytes;
}

std::optional<std::vector<std::uint8_t>> TkwPDImage::MaskBytes(TkwPDStream* AMask, bool AIsSoft) {
  if (!AMask) return std::nullopt;
  TkwPDImage m(AMask, GetParentDoc(), GetParentElement(), "");
  if (!m.SizeOk()) return std::nullopt;
  const TkwPDImageColorMap* map = nullptr;
  TkwPDDeviceGrayColorSpace gray;
  std::unique_ptr<TkwPDImageColorMap> own;
  if (m.GetImageMask() || !AIsSoft) {
    own = std::make_unique<TkwPDImageColorMap>(m.GetImageMask() ? 1 : m.GetBitsPerComponent(), m.GetDecode(), nullptr);
  } else {
    const TkwPDColorSpace* cs = m.GetColorSpace();
    if (!cs || cs->GetNoOfComps() != 1) cs = &gray;
    own = std::make_unique<TkwPDImageColorMap>(m.GetBitsPerComponent(), m.GetDecode(), cs);
  }
  map = own.get();
  if (!map->IsOk()) return std::nullopt;
  const int mw = m.GetWidth(), mh = m.GetHeight();
  std::vector<std::uint8_t> src(static_cast<std::size_t>(mw) * static_cast<std::size_t>(mh));
  try {
    AMask->Reset();
    TkwPDImageStream rows(AMask->GetStream(), mw, 1, map->FBits);
    for (int y = 0; y < mh; ++y) {
      const std::uint16_t* line = rows.GetLine();
      for (int x = 0; x < mw; ++x) {
        std::int32_t g = 0;
        map->GetGray(line + x, g);
        src[static_cast<std::size_t>(y) * static_cast<std::size_t>(mw) + static_cast<std::size_t>(x)] = ToByte(g);
      }
    }
  } catch (const std::exception&) {
    RethrowUnlessDamage();
    return std::nullopt;
  }
  const int w = GetWidth(), h = GetHeight();
  if (mw == w && mh == h) return src;
  // Another size than the image: nearest sample.
  std::vector<std::uint8_t> out(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  for (int y = 0; y < h; ++y) {
    const std::size_t sy = static_cast<std::size_t>(std::int64_t{y} * mh / h);
    for (int x = 0; x < w; ++x) {
      const std::size_t sx = static_cast<std::size_t>(std::int64_t{x} * mw / w);
      out[static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)] =
          src[sy * static_cast<std::size_t>(mw) + sx];
    }
  }
  return out;
}

void TkwPDImage::ReadMasks() {
  if (FMaskRead) return;
  FMaskRead = true;
  // Masks are brought to the image's size: an image over the caps, which is never
  // rendered, must not have them built either.
  if (GetImageMask() || !SizeOk()) return;
  TkwPDBaseObject* mask = Key("Mask", nullptr);
  if (mask && mask->IsStream()) {
    FMask = MaskBytes(static_cast<TkwPDStream*>(mask), false);
  } else if (mask && mask->IsArray()) {
    const auto* a = static_cast<const TkwPDArray*>(mask);
    const TkwPDColorSpace* cs = GetColorSpace();
    const std::size_t comps = cs ? static_cast<std::size_t>(cs->GetNoOfComps()) : 1;
    if (a->GetLength() == 2 * comps) {
      for (std::size_t i = 0; i < comps; ++i) {
        FColorKeyRange.push_back(TkwColorKeyRange{static_cast<int>(a->GetNumber(2 * i, 0)),
                                                  static_cast<int>(a->GetNumber(2 * i + 1, -1))});
      }
      FHasColorKeyMask = true;
    }
  }
  TkwPDBaseObject* smask = Key("SMask", nullptr);
  if (smask && smask->IsStream()) FSoftMask = MaskBytes(static_cast<TkwPDStream*>(smask), true);
}

namespace {

// The samples a colour key mask makes transparent (they are painted white).
struct TkwColorKey {
  const std::vector<TkwColorKeyRange>& Ranges;
  std::size_t Comps;
  bool On;
  [[nodiscard]] bool Holds(const std::uint16_t* AS) const {
    if (!On) return false;
    for (std::size_t i = 0; i < Ranges.size() && i < Comps; ++i) {
      if (AS[i] < Ranges[i].MinRange || AS[i] > Ranges[i].MaxRange) return false;
    }
    return true;
  }
};

// A bitmap of the image's rows: APixel(samples of the row, x, y, the pixel's bytes) fills
// each pixel.
template <class TPixel>
std::unique_ptr<TBitmap> RenderRows(TkwPDImageStream& ARows, int AWidth, int AHeight, TPixelFormat AFormat,
                                    std::size_t ABytesPerPixel, TPixel&& APixel) {
  auto bmp = std::make_unique<TBitmap>(AWidth, AHeight, AFormat);
  if (bmp->IsEmpty()) return nullptr;
  const std::size_t ws = static_cast<std::size_t>(AWidth);
  for (int y = 0; y < AHeight; ++y) {
    const std::uint16_t* line = ARows.GetLine();
    std::span<std::uint8_t> out = bmp->ScanLine(y);
    for (std::size_t x = 0; x < ws; ++x) APixel(line, x, static_cast<std::size_t>(y), &out[x * ABytesPerPixel]);
  }
  return bmp;
}

void PutRGB(std::uint8_t* APx, const TkwRGB& ARGB) {
  APx[0] = ToByte(ARGB.B);
  APx[1] = ToByte(ARGB.G);
  APx[2] = ToByte(ARGB.R);
}

// A stencil mask: the fill colour where the sample is 0, transparent white elsewhere.
std::unique_ptr<TBitmap> RenderStencil(TkwPDImageStream& ARows, const TkwPDImageColorMap& AMap, int AWidth,
                                       int AHeight, const TkwRGB& AFill) {
  return RenderRows(ARows, AWidth, AHeight, TPixelFormat::pf32bit, 4,
                    [&](const std::uint16_t* ALine, std::size_t x, std::size_t, std::uint8_t* APx) {
                      std::int32_t g = 0;
                      AMap.GetGray(ALine + x, g);
                      const std::uint8_t gb = ToByte(g);
                      if (gb != 0) {
                        APx[0] = APx[1] = APx[2] = gb;
                        APx[3] = 0;
                      } else {
                        PutRGB(APx, AFill);
                        APx[3] = 255;
                      }
                    });
}

// Colour with alpha from the explicit mask, the soft mask and the colour key.
std::unique_ptr<TBitmap> RenderWithAlpha(TkwPDImageStream& ARows, const TkwPDImageColorMap& AMap, int AWidth,
                                         int AHeight, const std::optional<std::vector<std::uint8_t>>& AMask,
                                         const std::optional<std::vector<std::uint8_t>>& ASoftMask,
                                         const TkwColorKey& AKey) {
  const std::size_t ws = static_cast<std::size_t>(AWidth);
  return RenderRows(ARows, AWidth, AHeight, TPixelFormat::pf32bit, 4,
                    [&](const std::uint16_t* ALine, std::size_t x, std::size_t y, std::uint8_t* APx) {
                      const std::uint16_t* s = ALine + x * AKey.Comps;
                      const std::size_t at = y * ws + x;
                      TkwRGB rgb;
                      AMap.GetRGB(s, rgb);
                      PutRGB(APx, rgb);
                      APx[3] = 255;
                      if (AMask && (*AMask)[at] != 0) {
                        APx[0] = APx[1] = APx[2] = 255;
                        APx[3] = 0;
                      }
                      if (ASoftMask) APx[3] = static_cast<std::uint8_t>(APx[3] * (*ASoftMask)[at] / 255);
                      if (AKey.Holds(s)) {
                        APx[0] = APx[1] = APx[2] = 255;
                        APx[3] = 0;
                      }
                    });
}

// One gray byte per pixel.
std::unique_ptr<TBitmap> RenderGray(TkwPDImageStream& ARows, const TkwPDImageColorMap& AMap, int AWidth,
                                    int AHeight) {
  return RenderRows(ARows, AWidth, AHeight, TPixelFormat::pf8bit, 1,
                    [&](const std::uint16_t* ALine, std::size_t x, std::size_t, std::uint8_t* APx) {
                      std::int32_t g = 0;
                      AMap.GetGray(ALine + x, g);
                      *APx = ToByte(g);
                    });
}

// Three colour bytes per pixel; keyed samples are white.
std::unique_ptr<TBitmap> RenderColor(TkwPDImageStream& ARows, const TkwPDImageColorMap& AMap, int AWidth,
                                     int AHeight, const TkwColorKey& AKey) {
  return RenderRows(ARows, AWidth, AHeight, TPixelFormat::pf24bit, 3,
                    [&](const std::uint16_t* ALine, std::size_t x, std::size_t, std::uint8_t* APx) {
                      const std::uint16_t* s = ALine + x * AKey.Comps;
                      if (AKey.Holds(s)) {
                        APx[0] = APx[1] = APx[2] = 255;
                        return;
                      }
                      TkwRGB rgb;
                      AMap.GetRGB(s, rgb);
                      PutRGB(APx, rgb);
                    });
}

}  // namespace

std::unique_ptr<TBitmap> TkwPDImage::RenderSamples(TkwStream& AData, const TkwPDImageColorMap& AMap, int AComps, int ABits) {
  const int w = GetWidth(), h = GetHeight();
  ReadMasks();
  TkwPDImageStream rows(&AData, w, AComps, ABits);
  if (GetImageMask()) return RenderStencil(rows, AMap, w, h, FFillColor);
  const TkwColorKey key{FColorKeyRange, static_cast<std::size_t>(AComps), FHasColorKeyMask};
  // A colour key is transparency too: the keyed samples show what lies under the image.
  if (FSoftMask || FMask || FHasColorKeyMask) return RenderWithAlpha(rows, AMap, w, h, FMask, FSoftMask, key);
  const auto* idx = AMap.FColorSpace && AMap.FColorSpace->GetMode() == TkwColorSpaceMode::csIndexed
                        ? static_cast<const TkwPDIndexedColorSpace*>(AMap.FColorSpace)
                        : nullptr;
  const bool gray = ABits == 1 && AComps == 1 && !FHasColorKeyMask && (!idx || idx->GetBase()->GetNoOfComps() == 1);
  if (gray) return RenderGray(rows, AMap, w, h);
  return RenderColor(rows, AMap, w, h, key);
}

std::unique_ptr<TBitmap> TkwPDImage::RenderBitmap() {
  if (!SizeOk()) {
    Note(GetWidth() > 0 && GetHeight() > 0 ? TkwDiagCode::dcImageTooLarge : TkwDiagCode::dcImageBroken);
    return nullptr;
  }
  TkwPDStream* st = GetStream();
  if (!st || !st->GetStream()) {
    Note(TkwDiagCode::dcImageBroken);
    return nullptr;
  }
  try {
    if (GetOuterFilter() == "JPXDecode" && !GetImageMask()) {
      // The JPEG 2000 filter delivers 8-bit samples of the codestream's components.
      const std::int64_t pixels = std::int64_t{GetWidth()} * GetHeight();
      const std::string bytes = st->ReadAll(pixels * 4 + 1);
      int comps = static_cast<int>(static_cast<std::int64_t>(bytes.size()) / pixels);
      const TkwPDColorSpace* cs = GetColorSpace();
      if (!cs || cs->GetNoOfComps() != comps) {
        if (comps > 4) comps = 4;
        if (comps == 2) comps = 1;
        FJPXSpace.reset();
        if (comps == 1) FJPXSpace = std::make_unique<TkwPDDeviceGrayColorSpace>();
        if (comps == 3) FJPXSpace = std::make_unique<TkwPDDeviceRGBColorSpace>();
        if (comps == 4) FJPXSpace = std::make_unique<TkwPDDeviceCMYKColorSpace>();
        cs = FJPXSpace.get();
      }
      if (!cs) return nullptr;
      TkwPDImageColorMap map(8, nullptr, cs);
      if (!map.IsOk()) return nullptr;
      TkwRef<TkwMemoryStream> data = TkwMemoryStream::View(std::string_view(bytes));
      data->Reset();
      return RenderSamples(*data, map, comps, 8);
    }
    const TkwPDImageColorMap* map = GetColorMap();
    if (!map || !map->IsOk()) {
      Note(TkwDiagCode::dcImageBroken);
      return nullptr;
    }
    st->Reset();
    auto bmp = RenderSamples(*st->GetStream(), *map, map->GetNComps(), map->FBits);
    st->Reset();
    // The bitmap itself is refused past the output's raster cap.
    if (!bmp || bmp->IsEmpty()) Note(TkwDiagCode::dcImageTooLarge);
    return bmp;
  } catch (const std::exception&) {
    RethrowUnlessDamage();
    Note(TkwDiagCode::dcImageBroken);
    return nullptr;
  }
}

bool TkwPDImage::PassesJpeg() {
  if (!IsDCT() || FIsInlineImage || GetImageMask()) return false;
  // Masks would be lost with the data passed on as it is.
  ReadMasks();
  if (FMask || FSoftMask || FHasColorKeyMask) return false;
  const TkwPDColorSpace* cs = GetColorSpace();
  return GetBitsPerComponent() == 1 || (cs && cs->GetNoOfComps() == 3);
}

bool TkwPDImage::SaveToStream(std::string& AOut, bool AJpegAsJpeg, TkwOutFormat& AFormat) {
  AOut.clear();
  if (!SizeOk()) return false;
  const TkwPDColorSpace* cs = GetColorSpace();
  ReadMasks();
  const bool masked = FMask || FSoftMask || FHasColorKeyMask;
  if (AJpegAsJpeg && PassesJpeg()) {
    AOut = GetJpegBytes();
    if (!AOut.empty()) {
      AFormat = TkwOutFormat::ofJPEG;
      return true;
    }
  }
  const TkwPDArray* decode = GetDecode();
  const bool inverted = decode && decode->GetLength() == 2 && decode->GetNumber(0, 0) > decode->GetNumber(1, 1);
  const bool plainGray = GetImageMask() || (cs && cs->GetNoOfComps() == 1 && cs->GetMode() != TkwColorSpaceMode::csIndexed &&
                                            cs->GetMode() != TkwColorSpaceMode::csSeparation);
  if (GetBitsPerComponent() == 1 && plainGray && !masked && !IsDCT() && GetOuterFilter() != "JPXDecode") {
    TkwPDStream* st = GetStream();
    if (!st || !st->GetStream()) return false;
    const std::size_t rowBytes = (static_cast<std::size_t>(GetWidth()) + 7) / 8;
    const std::size_t total = rowBytes * static_cast<std::size_t>(GetHeight());
    std::string data;
    try {
      data = st->ReadAll(static_cast<std::int64_t>(total));
      st->Reset();
    } catch (const std::exception&) {
      RethrowUnlessDamage();
      return false;
    }
    data.resize(total, '\0');
    char head[64];
    std::snprintf(head, sizeof head, "P4\r%d %d\r", GetWidth(), GetHeight());
    AOut = head;
    // PBM has 1 for black, gray samples 0; an image mask paints where its samples are 0.
    const std::uint8_t flip = inverted ? 0 : 0xFF;
    for (char& c : data) c = static_cast<char>(static_cast<std::uint8_t>(c) ^ flip);
    AOut += data;
    AFormat = TkwOutFormat::ofPBM;
    return true;
  }
  return SaveToStream(AOut, AFormat = TkwOutFormat::ofBMP);
}

bool TkwPDImage::SaveToStream(std::string& AOut, TkwOutFormat AFormat) {
  AOut.clear();
  if (AFormat != TkwOutFormat::ofBMP) return false;
  auto bmp = RenderBitmap();
  if (!bmp) return false;
  AOut = bmp->SaveToBMP();
  return true;
}

}  // namespace qm
