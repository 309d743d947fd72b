#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/images/kwPDColorSpace.h"
#include "pdf/model/kwPDXObject.h"

// Image XObjects (and inline images): sample rows to colours, and the encodings the
// content extractor hands on as pictures.
namespace qm {

class TkwStream;
class TBitmap;

enum class TkwOutFormat : std::uint8_t { ofBMP, ofPPM, ofPBM, ofJPEG };

struct TkwColorKeyRange {
  int MinRange = 0;
  int MaxRange = 0;
};

// Raw samples (0 … 2^bits − 1) to colours through the Decode array and the colour space.
class TkwPDImageColorMap {
public:
  // ASpace is not owned and must outlive the map; nullptr for image masks.
  TkwPDImageColorMap(int ABits, const TkwPDArray* ADecode, const TkwPDColorSpace* ASpace);
  [[nodiscard]] bool IsOk() const { return FOk; }
  // Samples per pixel.
  [[nodiscard]] int GetNComps() const { return FNComps; }
  // The colour of the pixel whose samples start at ASamples.
  void GetColor(const std::uint16_t* ASamples, TkwColor& AColor) const;
  void GetRGB(const std::uint16_t* ASamples, TkwRGB& ARGB) const;
  void GetGray(const std::uint16_t* ASamples, std::int32_t& AGray) const {
    // Once a pixel: a tabulated gray is looked up here.
    if (!FGrayTable.empty()) {
      AGray = FGrayTable[std::min<std::size_t>(ASamples[0], FGrayTable.size() - 1)];
      return;
    }
    GetGraySlow(ASamples, AGray);
  }

  int FBits = 8;
  const TkwPDColorSpace* FColorSpace = nullptr;   // not owned
  const TkwPDColorSpace* FColorSpace2 = nullptr;  // base or alternate the tables lead to; not owned
  std::vector<std::vector<std::int32_t>> FLookUp;  // one table per output component
  int FNComps = 1;
  int FNComps2 = 1;
  TkwDecodeArray FDecodeLow{}, FDecodeRange{};
  bool FOk = false;

private:
  void ComputeRGB(const std::uint16_t* ASamples, TkwRGB& ARGB) const;
  void ComputeGray(const std::uint16_t* ASamples, std::int32_t& AGray) const;
  void GetGraySlow(const std::uint16_t* ASamples, std::int32_t& AGray) const;

  // A map of one sample of at most 8 bits (gray, indexed, separation, masks) has at most
  // 256 colours: each is converted once, on the first pixel that asks, and looked up after.
  bool FTabulated = false;
  // DeviceRGB samples are their channels: each is decoded and clamped on its own.
  bool FDirectRGB = false;
  mutable std::vector<TkwRGB> FRGBTable;
  mutable std::vector<std::int32_t> FGrayTable;
  // DeviceN spaces run a function per pixel: the last pixel's colour is kept, since
  // neighbouring pixels mostly repeat.
  bool FCacheUsed = false;
  mutable bool FCacheValid = false;
  mutable std::array<std::uint16_t, kMaxColorComps> FCacheKey{};
  mutable TkwRGB FCacheRGB;
};

// Unpacks the sample rows of an image: width × components values per row, rows starting on
// byte boundaries, most significant bit first.
class TkwPDImageStream {
public:
  TkwPDImageStream(TkwStream* AStream, int AWidth, int ANoComps, int ANoBits);
  // The next row; rows past the end of the data are 0. AAnyData tells whether any byte of
  // the row came from the stream.
  const std::uint16_t* GetLine(bool* AAnyData = nullptr);

  TkwStream* FStream;  // not owned
  int FWidth, FNoComps, FNoBits;
  std::int64_t FNoVals;
  std::vector<std::uint8_t> FRowBytes;
  std::vector<std::uint16_t> FImageLine;
  int FImgIdx = 0;
};

class TkwPDImage : public TkwPDXObject {
public:
  TkwPDImage(TkwPDStream* AStream, TkwPDDocument* ADoc, TkwPDElement* AParent, std::string_view ATagName,
             bool AIsInlineImage = false);
  ~TkwPDImage() override;

  // Dictionary values, each read once. Width, height and bits per component are −1 when
  // missing or not integers (height 0); an image mask without bits per component has 1.
  int GetWidth();
  int GetHeight();
  int GetBitsPerComponent();
  bool GetImageMask();
  // The image's colour space (owned by the image, or by the resources it names); nullptr
  // for image masks and unknown spaces.
  const TkwPDColorSpace* GetColorSpace();
  const TkwPDArray* GetDecode();
  // "Intent"; relative colorimetric when missing or unknown. Kept, not acted on.
  TkwIntentType GetIntent();
  // The colour map over the colour space and Decode array; nullptr when it cannot be made.
  const TkwPDImageColorMap* GetColorMap();
  [[nodiscard]] bool GetIsInlineImage() const { return FIsInlineImage; }
  // Name of the outermost filter ("DCTDecode", "JPXDecode", ... with abbreviations
  // expanded), empty without one.
  std::string GetOuterFilter();
  [[nodiscard]] bool IsDCT() { return GetOuterFilter() == "DCTDecode"; }

  // Image masks paint in this colour (the fill colour where the image is drawn).
  void SetFillColor(const TkwRGB& AColor) { FFillColor = AColor; }

  // Encodes the image. With AJpegAsJpeg a DCT image's data is copied as it is (AFormat
  // becomes ofJPEG), except for inline images and images with masks, which are decoded; a
  // one-bit gray image becomes a PBM (ofPBM); anything else a BMP (ofBMP). False when the
  // image cannot be decoded.
  bool SaveToStream(std::string& AOut, bool AJpegAsJpeg, TkwOutFormat& AFormat);
  // A BMP of the image with its masks (AFormat ofBMP; other formats are not written here).
  bool SaveToStream(std::string& AOut, TkwOutFormat AFormat);

  // The decoded picture: 8-bit gray for one-bit gray images, 32-bit with alpha for image
  // masks, explicit and soft masks, 24-bit otherwise. nullptr when the image is too large,
  // malformed or without data.
  std::unique_ptr<TBitmap> RenderBitmap();
  // True when SaveToStream with AJpegAsJpeg would copy the JPEG data as it is.
  bool PassesJpeg();
  // The bytes under the DCT filter (empty when the outer filter is not DCT).
  std::string GetJpegBytes();

  // Inline images own their stream.
  std::unique_ptr<TkwPDStream> FOwnStream;

  TkwIntentType FIntentType = TkwIntentType::itRelativeColorimetric;

private:
  int ReadInt(const char* AFull, const char* AShort);
  TkwPDBaseObject* Key(const char* AFull, const char* AShort) const;
  // Gray bytes of a mask image scaled to this image's size, nullopt when it cannot be read.
  std::optional<std::vector<std::uint8_t>> MaskBytes(TkwPDStream* AMask, bool AIsSoft);
  bool SizeOk();
  std::unique_ptr<TBitmap> RenderSamples(TkwStream& AData, const TkwPDImageColorMap& AMap, int AComps, int ABits);

  int FWidth = -1, FHeight = -1, FBitsPerComponent = -1;
  bool FWidthRead = false, FHeightRead = false, FBitsRead = false;
  std::optional<bool> FImageMask;
  bool FColorSpaceRead = false;
  std::unique_ptr<TkwPDColorSpace> FOwnColorSpace;
  const TkwPDColorSpace* FColorSpace = nullptr;
  bool FColorMapRead = false;
  std::unique_ptr<TkwPDImageColorMap> FColorMap;
  bool FIsInlineImage;
  TkwRGB FFillColor{};
  // Masks
  bool FMaskRead = false;
  std::optional<std::vector<std::uint8_t>> FMask;      // explicit mask: 0 where the image is painted
  std::optional<std::vector<std::uint8_t>> FSoftMask;  // alpha per pixel
  bool FHasColorKeyMask = false;
  std::vector<TkwColorKeyRange> FColorKeyRange;
  // JPX images: the decoded samples and their space.
  std::unique_ptr<TkwPDColorSpace> FJPXSpace;
  void ReadMasks();
};

}  // namespace qm
