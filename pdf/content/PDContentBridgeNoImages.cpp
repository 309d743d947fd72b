// Colour spaces and images for builds without the image library: device, ICC-based (by
// component count), calibrated, Separation and Indexed spaces; JPEG images passed through
// and 8-bit uncompressed or Flate images turned into bitmaps. The image library replaces
// this file when it is in the build.
#include <algorithm>
#include <cmath>

#include "base/Limits.h"
#include "pdf/content/PDContentBridge.h"
#include "pdf/core/FilterStream.h"
#include "pdf/core/PDBaseObject.h"
#include "pdf/model/PDResource.h"
#include "pdf/model/PDXObject.h"
#include "platform/Jpeg.h"
#include "platform/Raster.h"

namespace qm {

class TkwPDColorSpace : public TkwPDElement {
public:
  enum class TKind { Gray, RGB, CMYK, Pattern, Separation, Indexed };
  TkwPDColorSpace(TKind AKind, int AComps) : TkwPDElement(nullptr, nullptr, nullptr), FKind(AKind), FComps(AComps) {}
  TKind FKind;
  int FComps;
  // Indexed: the base space and its lookup bytes.
  std::unique_ptr<TkwPDColorSpace> FBase;
  std::string FLookup;
  int FHiVal = 0;
};

class TkwPDImage : public TkwPDXObject {
public:
  TkwPDImage(TkwPDStream* AStream, TkwPDDocument* ADoc, TkwPDElement* AOwner, std::string_view AName)
      : TkwPDXObject(AStream, ADoc, AOwner, TkwXObjectType::xtImage, AName) {}
  // Inline images own their stream.
  std::unique_ptr<TkwPDStream> FOwnStream;
};

namespace content {

namespace {

using TKind = TkwPDColorSpace::TKind;

std::unique_ptr<TkwPDColorSpace> MakeSpace(TkwPDBaseObject* AObj, int ADepth);

std::unique_ptr<TkwPDColorSpace> SpaceByName(const std::string& AName) {
  if (AName == "DeviceGray" || AName == "G" || AName == "CalGray") return std::make_unique<TkwPDColorSpace>(TKind::Gray, 1);
  if (AName == "DeviceRGB" || AName == "RGB" || AName == "CalRGB" || AName == "Lab") return std::make_unique<TkwPDColorSpace>(TKind::RGB, 3);
  if (AName == "DeviceCMYK" || AName == "CMYK") return std::make_unique<TkwPDColorSpace>(TKind::CMYK, 4);
  if (AName == "Pattern") return std::make_unique<TkwPDColorSpace>(TKind::Pattern, 1);
  return nullptr;
}

std::unique_ptr<TkwPDColorSpace> MakeSpace(TkwPDBaseObject* AObj, int ADepth) {
  if (!AObj || ADepth > 8) return nullptr;
  if (AObj->IsName()) return SpaceByName(static_cast<TkwPDName*>(AObj)->GetValue());
  if (!AObj->IsArray()) return nullptr;
  auto* arr = static_cast<TkwPDArray*>(AObj);
  TkwPDBaseObject* head = arr->Get(0);
  if (!head || !head->IsName()) return nullptr;
  const std::string& family = static_cast<TkwPDName*>(head)->GetValue();
  if (family == "ICCBased") {
    TkwPDBaseObject* s = arr->Get(1);
    int n = 3;
    if (s && s->IsStream()) n = static_cast<TkwPDStream*>(s)->GetDict()->LookUpInt("N", 3);
    return std::make_unique<TkwPDColorSpace>(n == 1 ? TKind::Gray : n == 4 ? TKind::CMYK : TKind::RGB,
                                             n == 1 ? 1 : n == 4 ? 4 : 3);
  }
  if (family == "Separation") return std::make_unique<TkwPDColorSpace>(TKind::Separation, 1);
  if (family == "DeviceN") {
    TkwPDBaseObject* names = arr->Get(1);
    const int n = names && names->IsArray() ? static_cast<int>(static_cast<TkwPDArray*>(names)->GetLength()) : 1;
    auto cs = std::make_unique<TkwPDColorSpace>(TKind::Separation, std::clamp(n, 1, 32));
    return cs;
  }
  if (family == "Pattern") return std::make_unique<TkwPDColorSpace>(TKind::Pattern, 1);
  if (family == "Indexed" || family == "I") {
    auto cs = std::make_unique<TkwPDColorSpace>(TKind::Indexed, 1);
    cs->FBase = MakeSpace(arr->Get(1), ADepth + 1);
    cs->FHiVal = std::clamp(static_cast<int>(arr->GetNumber(2, 0)), 0, 255);
    TkwPDBaseObject* lookup = arr->Get(3);
    if (lookup && lookup->IsString()) {
      cs->FLookup = static_cast<TkwPDString*>(lookup)->GetHexToString();
    } else if (lookup && lookup->IsStream()) {
      cs->FLookup = static_cast<TkwPDStream*>(lookup)->ReadAll(4 * 256);
    }
    if (!cs->FBase) return nullptr;
    return cs;
  }
  return SpaceByName(family);
}

std::int32_t Clamp16(std::int64_t AV) { return static_cast<std::int32_t>(std::clamp<std::int64_t>(AV, 0, 65536)); }

}  // namespace

void RegisterImageFactories(TkwPDResourceFactories& AFactories) {
  if (!AFactories.ColorSpace) {
    AFactories.ColorSpace = [](TkwPDResource&, TkwPDBaseObject& AValue,
                               std::string_view) -> std::unique_ptr<TkwPDElement> { return MakeSpace(&AValue, 0); };
  }
  if (!AFactories.Image) {
    AFactories.Image = [](TkwPDElement* AOwner, TkwPDStream& AImage,
                          std::string_view AName) -> std::unique_ptr<TkwPDXObject> {
      return std::make_unique<TkwPDImage>(&AImage, AOwner ? AOwner->GetParentDoc() : nullptr, AOwner, AName);
    };
  }
}

std::shared_ptr<TkwPDColorSpace> MakeDeviceSpace(TDeviceSpace AKind) {
  switch (AKind) {
    case TDeviceSpace::Gray: return std::make_shared<TkwPDColorSpace>(TKind::Gray, 1);
    case TDeviceSpace::RGB: return std::make_shared<TkwPDColorSpace>(TKind::RGB, 3);
    case TDeviceSpace::CMYK: return std::make_shared<TkwPDColorSpace>(TKind::CMYK, 4);
    case TDeviceSpace::Pattern: return std::make_shared<TkwPDColorSpace>(TKind::Pattern, 1);
  }
  return nullptr;
}

TkwPDColorSpace* LookupColorSpace(TkwPDResource* ARes, std::string_view AName) {
  if (!ARes) return nullptr;
  return dynamic_cast<TkwPDColorSpace*>(ARes->LookUpColorSpace(AName));
}

int ColorSpaceComps(const TkwPDColorSpace* ASpace) { return ASpace ? ASpace->FComps : 1; }
bool ColorSpaceIsPattern(const TkwPDColorSpace* ASpace) { return ASpace && ASpace->FKind == TKind::Pattern; }
int PatternBaseComps(const TkwPDColorSpace*) { return 0; }

void ColorSpaceDefault(const TkwPDColorSpace* ASpace, TkwColor& AColor) {
  AColor = TkwColor{};
  if (!ASpace) return;
  if (ASpace->FKind == TKind::CMYK) AColor.FComps[3] = 65536;
  if (ASpace->FKind == TKind::Separation) {
    for (int i = 0; i < ASpace->FComps; ++i) AColor.FComps[static_cast<std::size_t>(i)] = 65536;
  }
}

void ColorSpaceToRGB(const TkwPDColorSpace* ASpace, const TkwColor& AColor, std::array<std::int32_t, 3>& ARGB) {
  const auto& c = AColor.FComps;
  if (!ASpace) {
    ARGB = {c[0], c[1], c[2]};
    return;
  }
  switch (ASpace->FKind) {
    case TKind::Gray:
    case TKind::Pattern: ARGB = {Clamp16(c[0]), Clamp16(c[0]), Clamp16(c[0])}; break;
    case TKind::RGB: ARGB = {Clamp16(c[0]), Clamp16(c[1]), Clamp16(c[2])}; break;
    case TKind::CMYK:
      for (std::size_t i = 0; i < 3; ++i) ARGB[i] = Clamp16(65536 - std::int64_t{c[i]} - c[3]);
      break;
    case TKind::Separation: {
      // Full tint is full ink: shown as black.
      const std::int32_t g = Clamp16(65536 - std::int64_t{c[0]});
      ARGB = {g, g, g};
      break;
    }
    case TKind::Indexed: {
      const int index = std::clamp(static_cast<int>(c[0] >> 16), 0, ASpace->FHiVal);
      const int n = ColorSpaceComps(ASpace->FBase.get());
      TkwColor base;
      for (int k = 0; k < n && k < 4; ++k) {
        const std::size_t at = static_cast<std::size_t>(index * n + k);
        const int byte = at < ASpace->FLookup.size() ? static_cast<unsigned char>(ASpace->FLookup[at]) : 0;
        base.FComps[static_cast<std::size_t>(k)] = byte * 65536 / 255;
      }
      ColorSpaceToRGB(ASpace->FBase.get(), base, ARGB);
      break;
    }
  }
}

TkwPDPattern* LookupPattern(TkwPDResource*, std::string_view) { return nullptr; }
TkwPDImage* ImageOf(TkwPDXObject& AXObject) { return dynamic_cast<TkwPDImage*>(&AXObject); }

namespace {
class TInlineImageImpl final : public TInlineImage {
public:
  std::unique_ptr<TkwPDImage> FImage;
  TkwPDImage& Image() override { return *FImage; }
};

std::string FilterName(const TkwPDDictionary& ADict, bool& AMany) {
  AMany = false;
  TkwPDBaseObject* f = ADict.LookUp("Filter");
  if (!f) f = ADict.LookUp("F");
  if (!f) return {};
  if (f->IsName()) return static_cast<TkwPDName*>(f)->GetValue();
  if (f->IsArray()) {
    auto* a = static_cast<TkwPDArray*>(f);
    AMany = a->GetLength() > 1;
    if (a->GetLength() >= 1 && a->Get(a->GetLength() - 1) && a->Get(a->GetLength() - 1)->IsName()) {
      return static_cast<TkwPDName*>(a->Get(a->GetLength() - 1))->GetValue();
    }
  }
  return {};
}
}  // namespace

std::unique_ptr<TInlineImage> MakeInlineImage(std::unique_ptr<TkwPDDictionary> ADict, std::string ARawData,
                                              TkwPDResource* ARes, TkwPDObjectResolver*) {
  // Abbreviated filter names of inline images.
  TkwRef<TkwStream> data(TkwMemoryStream::FromString(std::move(ARawData)).Get());
  auto stream = TkwPDFilterManager::GetFilter(std::move(ADict), data);
  if (!stream) return nullptr;
  auto impl = std::make_unique<TInlineImageImpl>();
  impl->FImage = std::make_unique<TkwPDImage>(stream.get(), ARes ? ARes->GetParentDoc() : nullptr, ARes, "");
  impl->FImage->FOwnStream = std::move(stream);
  return impl;
}

std::unique_ptr<TGraphic> ImageToGraphic(TkwPDImage& AImage, TkwPDState& AState) {
  TkwPDStream* st = AImage.GetStream();
  if (!st || !st->GetDict() || !st->GetStream()) return nullptr;
  const TkwPDDictionary& d = *st->GetDict();
  bool many = false;
  const std::string filter = FilterName(d, many);
  auto num = [&](const char* AFull, const char* AShort, int ADef) {
    int v = d.LookUpInt(AFull, -1);
    if (v < 0) v = d.LookUpInt(AShort, ADef);
    return v;
  };
  if ((filter == "DCTDecode" || filter == "DCT") && !many) {
    // JPEG data goes through unchanged.
    TkwStream* raw = st->GetStream()->GetUndecodedStream();
    std::string bytes;
    raw->Reset();
    raw->Read(bytes, std::int64_t{64} << 20);
    auto jpeg = std::make_unique<TJPEGImage>(std::move(bytes));
    if (jpeg->IsEmpty()) return nullptr;
    return jpeg;
  }
  if (filter == "JPXDecode" || filter == "JBIG2Decode" || filter == "CCITTFaxDecode" || filter == "CCF" ||
      filter == "DCTDecode" || filter == "DCT") {
    return nullptr;  // needs the image library's decoders
  }
  const int w = num("Width", "W", 0), h = num("Height", "H", 0);
  const bool mask = d.LookUpBool("ImageMask", false) || d.LookUpBool("IM", false);
  int bpc = num("BitsPerComponent", "BPC", mask ? 1 : 8);
  if (w <= 0 || h <= 0 || w > 20000 || h > 20000 || std::int64_t{w} * h > kMaxImagePixels) return nullptr;
  std::unique_ptr<TkwPDColorSpace> owned;
  const TkwPDColorSpace* cs = nullptr;
  if (!mask) {
    TkwPDBaseObject* csObj = d.LookUp("ColorSpace");
    if (!csObj) csObj = d.LookUp("CS");
    if (csObj && csObj->IsName()) {
      const std::string& n = static_cast<TkwPDName*>(csObj)->GetValue();
      owned = SpaceByName(n);
      if (!owned) {
        auto* res = dynamic_cast<TkwPDResource*>(AImage.GetParentElement());
        cs = LookupColorSpace(res, n);
      }
    } else {
      owned = MakeSpace(csObj, 0);
    }
    if (owned) cs = owned.get();
    if (!cs) return nullptr;
  }
  if (bpc != 8 && bpc != 1) return nullptr;
  const int comps = mask ? 1 : ColorSpaceComps(cs);
  const std::int64_t rowBytes = (std::int64_t{w} * comps * bpc + 7) / 8;
  std::string data = st->ReadAll(rowBytes * h);
  if (static_cast<std::int64_t>(data.size()) < rowBytes) return nullptr;
  auto bmp = std::make_unique<TBitmap>(w, h, TPixelFormat::pf24bit);
  std::array<std::int32_t, 3> fill{0, 0, 0};
  AState.GetFillRGB(fill);
  for (int y = 0; y < h; ++y) {
    std::span<std::uint8_t> line = bmp->ScanLine(y);
    const std::int64_t rowAt = rowBytes * y;
    for (int x = 0; x < w; ++x) {
      std::array<std::int32_t, 3> rgb{65536, 65536, 65536};
      auto byteAt = [&](std::int64_t AOff) -> int {
        const std::int64_t at = rowAt + AOff;
        return at < static_cast<std::int64_t>(data.size()) ? static_cast<unsigned char>(data[static_cast<std::size_t>(at)]) : 0;
      };
      if (bpc == 1) {
        const int bit = (byteAt(x / 8) >> (7 - x % 8)) & 1;
        if (mask) {
          if (bit == 0) rgb = fill;  // painted where the sample is 0
        } else {
          TkwColor c;
          c.FComps[0] = bit ? 65536 : 0;
          if (cs->FKind == TKind::Indexed) c.FComps[0] = bit << 16;
          ColorSpaceToRGB(cs, c, rgb);
        }
      } else {
        TkwColor c;
        for (int k = 0; k < comps && k < 32; ++k) {
          const int v = byteAt(std::int64_t{x} * comps + k);
          c.FComps[static_cast<std::size_t>(k)] = cs->FKind == TKind::Indexed ? (v << 16) : v * 65536 / 255;
        }
        ColorSpaceToRGB(cs, c, rgb);
      }
      auto ch = [](std::int32_t AV) { return static_cast<std::uint8_t>(std::clamp((AV * 255 + 32768) >> 16, 0, 255)); };
      line[static_cast<std::size_t>(x) * 3 + 0] = ch(rgb[2]);
      line[static_cast<std::size_t>(x) * 3 + 1] = ch(rgb[1]);
      line[static_cast<std::size_t>(x) * 3 + 2] = ch(rgb[0]);
    }
  }
  return bmp;
}

}  // namespace content
}  // namespace qm
