// Colour and image access for builds without the image library: device spaces only,
// images are not drawn. The full build uses PDContentBridgeImages.cpp instead.
#include <algorithm>

#include "pdf/content/PDContentBridge.h"
#include "pdf/core/PDBaseObject.h"
#include "pdf/model/PDResource.h"
#include "pdf/model/PDXObject.h"
#include "platform/Raster.h"

namespace qm {

class TkwPDColorSpace {
public:
  explicit TkwPDColorSpace(content::TDeviceSpace AKind) : FKind(AKind) {}
  content::TDeviceSpace FKind;
};

namespace content {

void RegisterImageFactories(TkwPDResourceFactories&) {}

std::shared_ptr<TkwPDColorSpace> MakeDeviceSpace(TDeviceSpace AKind) {
  return std::make_shared<TkwPDColorSpace>(AKind);
}
TkwPDColorSpace* LookupColorSpace(TkwPDResource*, std::string_view) { return nullptr; }
int ColorSpaceComps(const TkwPDColorSpace* ASpace) {
  if (!ASpace) return 1;
  switch (ASpace->FKind) {
    case TDeviceSpace::Gray: return 1;
    case TDeviceSpace::RGB: return 3;
    case TDeviceSpace::CMYK: return 4;
    case TDeviceSpace::Pattern: return 1;
  }
  return 1;
}
bool ColorSpaceIsPattern(const TkwPDColorSpace* ASpace) {
  return ASpace && ASpace->FKind == TDeviceSpace::Pattern;
}
int PatternBaseComps(const TkwPDColorSpace*) { return 0; }
void ColorSpaceDefault(const TkwPDColorSpace* ASpace, TkwColor& AColor) {
  AColor = TkwColor{};
  if (ASpace && ASpace->FKind == TDeviceSpace::CMYK) AColor.FComps[3] = 65536;
}
void ColorSpaceToRGB(const TkwPDColorSpace* ASpace, const TkwColor& AColor,
                     std::array<std::int32_t, 3>& ARGB) {
  const auto& c = AColor.FComps;
  if (!ASpace) {
    ARGB = {c[0], c[1], c[2]};
    return;
  }
  switch (ASpace->FKind) {
    case TDeviceSpace::Gray:
    case TDeviceSpace::Pattern: ARGB = {c[0], c[0], c[0]}; break;
    case TDeviceSpace::RGB: ARGB = {c[0], c[1], c[2]}; break;
    case TDeviceSpace::CMYK:
      for (int i = 0; i < 3; ++i) {
        ARGB[static_cast<std::size_t>(i)] = std::clamp(65536 - std::min(65536, c[static_cast<std::size_t>(i)] + c[3]), 0, 65536);
      }
      break;
  }
}
TkwPDPattern* LookupPattern(TkwPDResource*, std::string_view) { return nullptr; }
TkwPDImage* ImageOf(TkwPDXObject&) { return nullptr; }
std::unique_ptr<TGraphic> ImageToGraphic(TkwPDImage&, TkwPDState&) { return nullptr; }
std::unique_ptr<TInlineImage> MakeInlineImage(std::unique_ptr<TkwPDDictionary>, std::string,
                                              TkwPDResource*, TkwPDObjectResolver*) {
  return nullptr;
}

}  // namespace content
}  // namespace qm
