// Colour spaces and images for the interpreter, over the image library.
#include <algorithm>

#include "pdf/content/ContentBridge.h"
#include "pdf/core/kwStream.h"
#include "pdf/core/kwPDBaseObject.h"
#include "pdf/core/Tolerance.h"
#include "pdf/images/kwPDColorSpace.h"
#include "pdf/images/kwPDImage.h"
#include "pdf/model/kwPDResource.h"
#include "pdf/model/kwPDXObject.h"
#include "platform/JPEGImage.h"
#include "platform/Bitmap.h"

namespace qm::content {

void RegisterImageFactories(TkwPDResourceFactories& AFactories) {
  if (!AFactories.ColorSpace) {
    AFactories.ColorSpace = [](TkwPDResource& AOwner, TkwPDBaseObject& AValue,
                               std::string_view AName) -> std::unique_ptr<TkwPDElement> {
      return MakeColorSpace(&AValue, AName, &AOwner);
    };
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
    case TDeviceSpace::Gray: return std::make_shared<TkwPDDeviceGrayColorSpace>();
    case TDeviceSpace::RGB: return std::make_shared<TkwPDDeviceRGBColorSpace>();
    case TDeviceSpace::CMYK: return std::make_shared<TkwPDDeviceCMYKColorSpace>();
    case TDeviceSpace::Pattern: return std::make_shared<TkwPDPatternColorSpace>(nullptr);
  }
  return nullptr;
}

TkwPDColorSpace* LookupColorSpace(TkwPDResource* ARes, std::string_view AName) {
  if (!ARes) return nullptr;
  return dynamic_cast<TkwPDColorSpace*>(ARes->LookUpColorSpace(AName));
}

int ColorSpaceComps(const TkwPDColorSpace* ASpace) { return ASpace ? ASpace->GetNoOfComps() : 1; }

bool ColorSpaceIsPattern(const TkwPDColorSpace* ASpace) {
  return ASpace && ASpace->GetMode() == TkwColorSpaceMode::csPattern;
}

int PatternBaseComps(const TkwPDColorSpace* ASpace) {
  if (!ColorSpaceIsPattern(ASpace)) return 0;
  const TkwPDColorSpace* under = static_cast<const TkwPDPatternColorSpace*>(ASpace)->GetUnder();
  return under ? under->GetNoOfComps() : 0;
}

void ColorSpaceDefault(const TkwPDColorSpace* ASpace, TkwColor& AColor) {
  AColor = TkwColor{};
  if (ASpace) ASpace->GetDefaultColor(AColor);
}

void ColorSpaceToRGB(const TkwPDColorSpace* ASpace, const TkwColor& AColor, std::array<std::int32_t, 3>& ARGB) {
  if (!ASpace) {
    ARGB = {AColor.FComps[0], AColor.FComps[1], AColor.FComps[2]};
    return;
  }
  TkwRGB rgb;
  ASpace->GetRGB(AColor, rgb);
  ARGB = {rgb.R, rgb.G, rgb.B};
}

TkwPDPattern* LookupPattern(TkwPDResource*, std::string_view) { return nullptr; }

TkwPDImage* ImageOf(TkwPDXObject& AXObject) { return dynamic_cast<TkwPDImage*>(&AXObject); }

namespace {
class TInlineImageImpl final : public TInlineImage {
public:
  std::unique_ptr<TkwPDImage> FImage;
  TkwPDImage& Image() override { return *FImage; }
};
}  // namespace

std::unique_ptr<TInlineImage> MakeInlineImage(std::unique_ptr<TkwPDDictionary> ADict, std::string ARawData,
                                              TkwPDResource* ARes, TkwPDObjectResolver*) {
  if (!ADict) return nullptr;
  std::unique_ptr<TkwPDStream> stream;
  try {
    TkwRef<TkwStream> data(TkwMemoryStream::FromString(std::move(ARawData)).Get());
    stream = TkwPDFilterManager::GetFilter(std::move(ADict), data);
  } catch (const std::exception&) {
    RethrowUnlessDamage();
    return nullptr;
  }
  if (!stream) return nullptr;
  auto impl = std::make_unique<TInlineImageImpl>();
  impl->FImage = std::make_unique<TkwPDImage>(stream.get(), ARes ? ARes->GetParentDoc() : nullptr, ARes, "", true);
  impl->FImage->FOwnStream = std::move(stream);
  return impl;
}

namespace {

// The commonest picture, 8-bit RGB without masks or Decode array, is copied into the bitmap
// byte for byte; the colour map would give the same bytes one sample at a time. nullptr
// when the image is of another kind or its data fall short (the general path decides).
std::unique_ptr<TBitmap> PlainRGBBitmap(TkwPDImage& AImage) {
  TkwPDStream* st = AImage.GetStream();
  if (st == nullptr || st->GetStream() == nullptr || st->GetDict() == nullptr || AImage.GetImageMask() ||
      AImage.GetBitsPerComponent() != 8 || AImage.GetDecode() != nullptr) {
    return nullptr;
  }
  const TkwPDColorSpace* cs = AImage.GetColorSpace();
  if (cs == nullptr || cs->GetMode() != TkwColorSpaceMode::csDeviceRGB) return nullptr;
  const TkwPDDictionary& dict = *st->GetDict();
  if (dict.LookUp("Mask") != nullptr || dict.LookUp("SMask") != nullptr) return nullptr;
  if (AImage.GetOuterFilter() == "JPXDecode") return nullptr;
  const int w = AImage.GetWidth(), h = AImage.GetHeight();
  if (w <= 0 || h <= 0) return nullptr;
  auto bmp = std::make_unique<TBitmap>(w, h, TPixelFormat::pf24bit);
  if (bmp->IsEmpty()) return nullptr;  // beyond the raster cap
  const std::size_t row = static_cast<std::size_t>(w) * 3;
  // Row by row through one row of buffer: no copy of the whole decoded image is made.
  std::vector<std::uint8_t> line(row);
  bool complete = true;
  st->Reset();
  try {
    TkwStream& in = *st->GetStream();
    for (int y = 0; y < h && complete; ++y) {
      std::span<std::uint8_t> out = bmp->ScanLine(y);
      if (out.size() < row || in.Read(std::span<std::uint8_t>(line)) < row) {
        complete = false;
        break;
      }
      for (std::size_t x = 0; x < row; x += 3) {
        out[x] = line[x + 2];
        out[x + 1] = line[x + 1];
        out[x + 2] = line[x];
      }
    }
  } catch (const std::exception&) {
    RethrowUnlessDamage();
    complete = false;  // the general path decides what the bytes that were read show
  }
  st->Reset();
  if (!complete) return nullptr;
  return bmp;
}

}  // namespace

namespace {

// Pictures decoded on the page being played, for images drawn again: a logo on every
// column, or one image painted thousands of times, is decoded once. Image masks take the
// fill colour, so it is part of the key. The images are the page's resources, alive until
// the page ends, when the cache is emptied; inline images are never kept, as a later one
// may be made at the same address. One cache per thread: a job plays its pages in one.
struct TCachedPicture {
  const TkwPDImage* Image = nullptr;
  std::array<std::int32_t, 3> Fill{};
  std::shared_ptr<const TGraphic> Graphic;
};

struct TPictureCache {
  std::vector<TCachedPicture> Items;
  std::int64_t Bytes = 0;
};

thread_local TPictureCache gPictureCache;

std::int64_t HeldBytes(const TGraphic& AGraphic) {
  return std::int64_t{AGraphic.GetWidth()} * AGraphic.GetHeight() * 4;
}

std::unique_ptr<TGraphic> DecodeImage(TkwPDImage& AImage) {
  // JPEG data is handed on as it is; every other image (inline and masked JPEGs too) is
  // decoded to a bitmap.
  if (AImage.PassesJpeg()) {
    auto jpeg = std::make_unique<TJPEGImage>(AImage.GetJpegBytes());
    if (!jpeg->IsEmpty()) return jpeg;
  }
  try {
    if (auto plain = PlainRGBBitmap(AImage)) return plain;
  } catch (const std::exception&) {
    RethrowUnlessDamage();
    // Damaged data: the general path copes with it.
  }
  return AImage.RenderBitmap();
}

}  // namespace

void ResetPictureCache() { gPictureCache = TPictureCache{}; }

std::shared_ptr<const TGraphic> ImageToGraphic(TkwPDImage& AImage, TkwPDState& AState) {
  std::array<std::int32_t, 3> fill{0, 0, 0};
  AState.GetFillRGB(fill);
  TPictureCache& cache = gPictureCache;
  const bool keep = !AImage.GetIsInlineImage();
  if (keep) {
    for (const TCachedPicture& c : cache.Items) {
      if (c.Image == &AImage && c.Fill == fill) return c.Graphic;
    }
  }
  AImage.SetFillColor(TkwRGB{fill[0], fill[1], fill[2]});
  std::shared_ptr<const TGraphic> graphic = DecodeImage(AImage);
  if (keep && graphic && !graphic->IsEmpty() && cache.Bytes + HeldBytes(*graphic) <= kMaxImageCacheBytes) {
    cache.Bytes += HeldBytes(*graphic);
    TCachedPicture& c = cache.Items.emplace_back();
    c.Image = &AImage;
    c.Fill = fill;
    c.Graphic = graphic;
  }
  return graphic;
}

}  // namespace qm::content
