// Colour spaces and images for the interpreter, over the image library.
#include <algorithm>

#include "pdf/content/PDContentBridge.h"
#include "pdf/core/FilterStream.h"
#include "pdf/core/PDBaseObject.h"
#include "pdf/images/PDColorSpace.h"
#include "pdf/images/PDImage.h"
#include "pdf/model/PDResource.h"
#include "pdf/model/PDXObject.h"
#include "platform/Jpeg.h"
#include "platform/Raster.h"

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
    return nullptr;
  }
  if (!stream) return nullptr;
  auto impl = std::make_unique<TInlineImageImpl>();
  impl->FImage = std::make_unique<TkwPDImage>(stream.get(), ARes ? ARes->GetParentDoc() : nullptr, ARes, "", true);
  impl->FImage->FOwnStream = std::move(stream);
  return impl;
}

std::unique_ptr<TGraphic> ImageToGraphic(TkwPDImage& AImage, TkwPDState& AState) {
  std::array<std::int32_t, 3> fill{0, 0, 0};
  AState.GetFillRGB(fill);
  AImage.SetFillColor(TkwRGB{fill[0], fill[1], fill[2]});
  // JPEG data is handed on as it is; every other image (inline and masked JPEGs too) is
  // decoded to a bitmap.
  if (AImage.PassesJpeg()) {
    auto jpeg = std::make_unique<TJPEGImage>(AImage.GetJpegBytes());
    if (!jpeg->IsEmpty()) return jpeg;
  }
  return AImage.RenderBitmap();
}

}  // namespace qm::content
