#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/kwRef.h"
#include "pdf/content/kwPDState.h"

// The interpreter's view of fonts, colour spaces, images, forms and resources. Every call
// the interpreter makes into those libraries goes through here, so the operator code reads
// as the operator table does and the libraries' interfaces meet it in one place.
namespace qm {

class TkwPDResource;
class TkwPDFont;
class TkwPDColorSpace;
class TkwPDPattern;
class TkwPDImage;
class TkwPDForm;
class TkwPDXObject;
class TkwPDDictionary;
class TkwPDStream;
class TkwPDObjectResolver;
class TkwStream;
class TGraphic;

namespace content {

// Fonts
TkwPDFont* LookupFont(TkwPDResource* ARes, std::string_view AName);
bool FontIsType3(const TkwPDFont& AFont);
bool FontIsCID(const TkwPDFont& AFont);
bool FontIsVertical(const TkwPDFont& AFont);

struct TNextChar {
  bool Ok = false;         // a code was decoded
  int Processed = 1;       // elements of the string consumed
  int Code = 0;            // 16-bit character value
  std::string CharName;    // glyph name where known
  double Dx = 0, Dy = 0;   // advance in text space
  int Unicode = 0;         // the font's best Unicode value, 0 when unknown
};
// Decodes the code at the 1-based position AIndex of AStr.
TNextChar FontNextChar(TkwPDFont& AFont, const std::u16string& AStr, int AIndex);

// Colour spaces
enum class TDeviceSpace : std::uint8_t { Gray, RGB, CMYK, Pattern };
std::shared_ptr<TkwPDColorSpace> MakeDeviceSpace(TDeviceSpace AKind);
TkwPDColorSpace* LookupColorSpace(TkwPDResource* ARes, std::string_view AName);
int ColorSpaceComps(const TkwPDColorSpace* ASpace);
bool ColorSpaceIsPattern(const TkwPDColorSpace* ASpace);
// Components of the space under a pattern space; 0 when there is none.
int PatternBaseComps(const TkwPDColorSpace* ASpace);
void ColorSpaceDefault(const TkwPDColorSpace* ASpace, TkwColor& AColor);
// Channels in 16.16 fixed point.
void ColorSpaceToRGB(const TkwPDColorSpace* ASpace, const TkwColor& AColor,
                     std::array<std::int32_t, 3>& ARGB);
TkwPDPattern* LookupPattern(TkwPDResource* ARes, std::string_view AName);

// Graphics states: stroke and fill alpha, −1 when absent. False when no such resource.
bool LookupExtGStateAlpha(TkwPDResource* ARes, std::string_view AName, double& AStrokeAlpha,
                          double& AFillAlpha);

// Shadings and patterns: the mean colour of the shading (resource name under Shading) or
// of the pattern (under Pattern), RGB channels in 16.16 fixed point, sampled over the
// shading's domain. AUnderColor is the colour an uncoloured tiling pattern is painted in.
// False when the resource cannot be read.
bool ShadingAverageRGB(TkwPDResource* ARes, std::string_view AName, std::array<std::int32_t, 3>& ARGB);
bool PatternAverageRGB(TkwPDResource* ARes, std::string_view AName, const std::array<std::int32_t, 3>& AUnderColor,
                       std::array<std::int32_t, 3>& ARGB);

// XObjects: exactly one of the two is set when the name names an image or a form.
struct TXObject {
  TkwPDImage* Image = nullptr;  // not owned
  TkwPDForm* Form = nullptr;    // not owned
};
TXObject LookupXObject(TkwPDResource* ARes, std::string_view AName);
// The image behind an image XObject wrapper, or nullptr.
TkwPDImage* ImageOf(TkwPDXObject& AXObject);

// An inline image over its decoded data, owned by the caller.
class TInlineImage {
public:
  virtual ~TInlineImage() = default;
  virtual TkwPDImage& Image() = 0;
};
std::unique_ptr<TInlineImage> MakeInlineImage(std::unique_ptr<TkwPDDictionary> ADict,
                                              std::string ARawData, TkwPDResource* ARes,
                                              TkwPDObjectResolver* ADoc);

// The picture an image gives for output: JPEG bytes passed through for DCT images,
// a bitmap otherwise; nullptr when the image cannot be decoded. AState supplies the fill
// colour of image masks.
// An image drawn again on the same page (same image, same fill) is decoded once and every
// drawing shares that picture, which nobody changes; the cache's hold on the pictures ends
// with ResetPictureCache, which page display calls at the start and end of every page.
std::shared_ptr<const TGraphic> ImageToGraphic(TkwPDImage& AImage, TkwPDState& AState);
void ResetPictureCache();

// Forms
struct TFormContent {
  TkwPDMatrix Matrix;
  std::array<double, 4> BBox{0, 0, 0, 0};
  bool HasBBox = false;
  TkwPDResource* Resources = nullptr;  // the form's own, or nullptr
  TkwPDStream* Stream = nullptr;       // not owned
  std::uint32_t ObjNum = 0xFFFFFFFFu;
};
TFormContent GetFormContent(TkwPDForm& AForm);

}  // namespace content
}  // namespace qm
