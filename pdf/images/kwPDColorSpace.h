#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/images/kwColor.h"
#include "pdf/images/kwPDFunction.h"
#include "pdf/model/kwPDElement.h"

// Colour spaces: component values (16.16 fixed point) to gray, RGB and CMYK.
namespace qm {

class TkwPDResource;

enum class TkwColorSpaceMode : std::uint8_t {
  csDeviceGray, csCalGray, csDeviceRGB, csCalRGB, csDeviceCMYK, csLab, csICCBased, csIndexed,
  csSeparation, csDeviceN, csPattern
};

enum class TkwIntentType : std::uint8_t { itAbsoluteColorimetric, itRelativeColorimetric, itSaturation, itPerceptual };

using TkwDecodeArray = std::array<double, kMaxColorComps>;

class TkwPDColorSpace : public TkwPDElement {
public:
  TkwPDColorSpace() : TkwPDElement(nullptr, nullptr, nullptr) {}
  virtual void GetDefaultColor(TkwColor& AColor) const;
  [[nodiscard]] virtual int GetNoOfComps() const = 0;
  [[nodiscard]] virtual TkwColorSpaceMode GetMode() const = 0;
  // Decode ranges of image samples when the image has no Decode array: low and
  // high − low per component. AMaxImgPixel is 2^bits − 1 of the image.
  virtual void GetDefaultRanges(TkwDecodeArray& ADecodeLow, TkwDecodeArray& ADecodeRange, int AMaxImgPixel) const;
  virtual void GetGray(const TkwColor& AColor, std::int32_t& AGray) const = 0;
  virtual void GetRGB(const TkwColor& AColor, TkwRGB& ARGB) const = 0;
  virtual void GetCMYK(const TkwColor& AColor, TkwCMYK& ACMYK) const;
  [[nodiscard]] virtual std::unique_ptr<TkwPDColorSpace> Copy() const = 0;
  // Separation and DeviceN spaces whose colorants are all None paint nothing.
  [[nodiscard]] virtual bool IsNonMarking() const { return false; }

  std::string FTagName;

protected:
  TkwPDColorSpace(const TkwPDColorSpace& AOther) : TkwPDElement(nullptr, nullptr, nullptr), FTagName(AOther.FTagName) {}
};

// A name or array to its colour space, nullptr for anything unknown or malformed. Names
// other than the device spaces (and Pattern) are not looked up here; ARes, when given,
// resolves resource names used inside arrays (an Indexed base, say). ADepth bounds the
// nesting of spaces inside spaces.
[[nodiscard]] std::unique_ptr<TkwPDColorSpace> MakeColorSpace(TkwPDBaseObject* AObject, std::string_view ATagName,
                                                              TkwPDResource* ARes = nullptr, int ADepth = 0);

class TkwPDDeviceGrayColorSpace : public TkwPDColorSpace {
public:
  [[nodiscard]] int GetNoOfComps() const override { return 1; }
  [[nodiscard]] TkwColorSpaceMode GetMode() const override { return TkwColorSpaceMode::csDeviceGray; }
  void GetGray(const TkwColor& AColor, std::int32_t& AGray) const override;
  void GetRGB(const TkwColor& AColor, TkwRGB& ARGB) const override;
  void GetCMYK(const TkwColor& AColor, TkwCMYK& ACMYK) const override;
  [[nodiscard]] std::unique_ptr<TkwPDColorSpace> Copy() const override;
};

class TkwPDDeviceRGBColorSpace : public TkwPDColorSpace {
public:
  [[nodiscard]] int GetNoOfComps() const override { return 3; }
  [[nodiscard]] TkwColorSpaceMode GetMode() const override { return TkwColorSpaceMode::csDeviceRGB; }
  void GetGray(const TkwColor& AColor, std::int32_t& AGray) const override;
  void GetRGB(const TkwColor& AColor, TkwRGB& ARGB) const override;
  void GetCMYK(const TkwColor& AColor, TkwCMYK& ACMYK) const override;
  [[nodiscard]] std::unique_ptr<TkwPDColorSpace> Copy() const override;
};

class TkwPDDeviceCMYKColorSpace : public TkwPDColorSpace {
public:
  void GetDefaultColor(TkwColor& AColor) const override;
  [[nodiscard]] int GetNoOfComps() const override { return 4; }
  [[nodiscard]] TkwColorSpaceMode GetMode() const override { return TkwColorSpaceMode::csDeviceCMYK; }
  void GetGray(const TkwColor& AColor, std::int32_t& AGray) const override;
  void GetRGB(const TkwColor& AColor, TkwRGB& ARGB) const override;
  void GetCMYK(const TkwColor& AColor, TkwCMYK& ACMYK) const override;
  [[nodiscard]] std::unique_ptr<TkwPDColorSpace> Copy() const override;
};

struct TkwCIEPoints {
  double FWhiteX = 1, FWhiteY = 1, FWhiteZ = 1;
  double FBlackX = 0, FBlackY = 0, FBlackZ = 0;
  void Read(const TkwPDDictionary* ADict);
};

class TkwPDCalGrayColorSpace final : public TkwPDDeviceGrayColorSpace, public TkwCIEPoints {
public:
  explicit TkwPDCalGrayColorSpace(const TkwPDDictionary* ADict);
  [[nodiscard]] TkwColorSpaceMode GetMode() const override { return TkwColorSpaceMode::csCalGray; }
  [[nodiscard]] std::unique_ptr<TkwPDColorSpace> Copy() const override;
  double FGamma = 1;
};

class TkwPDCalRGBColorSpace final : public TkwPDDeviceRGBColorSpace, public TkwCIEPoints {
public:
  explicit TkwPDCalRGBColorSpace(const TkwPDDictionary* ADict);
  [[nodiscard]] TkwColorSpaceMode GetMode() const override { return TkwColorSpaceMode::csCalRGB; }
  [[nodiscard]] std::unique_ptr<TkwPDColorSpace> Copy() const override;
  double FGammaR = 1, FGammaG = 1, FGammaB = 1;
  std::array<double, 9> FMatrix{1, 0, 0, 0, 1, 0, 0, 0, 1};
};

class TkwPDLabColorSpace final : public TkwPDColorSpace, public TkwCIEPoints {
public:
  explicit TkwPDLabColorSpace(const TkwPDDictionary* ADict);
  void GetDefaultColor(TkwColor& AColor) const override;
  [[nodiscard]] int GetNoOfComps() const override { return 3; }
  [[nodiscard]] TkwColorSpaceMode GetMode() const override { return TkwColorSpaceMode::csLab; }
  void GetDefaultRanges(TkwDecodeArray& ADecodeLow, TkwDecodeArray& ADecodeRange, int AMaxImgPixel) const override;
  void GetGray(const TkwColor& AColor, std::int32_t& AGray) const override;
  void GetRGB(const TkwColor& AColor, TkwRGB& ARGB) const override;
  [[nodiscard]] std::unique_ptr<TkwPDColorSpace> Copy() const override;
  double FAMin = -100, FAMax = 100, FBMin = -100, FBMax = 100;
  double FKR = 1, FKG = 1, FKB = 1;
};

// Converted through its alternate space; the profile is kept but not interpreted.
class TkwPDICCBasedColorSpace final : public TkwPDColorSpace {
public:
  TkwPDICCBasedColorSpace(int ANoOfComps, std::unique_ptr<TkwPDColorSpace> AAlt, TkwPDStream* AProfile);
  TkwPDICCBasedColorSpace(const TkwPDICCBasedColorSpace& AOther);
  void GetDefaultColor(TkwColor& AColor) const override;
  [[nodiscard]] int GetNoOfComps() const override { return FNoOfComps; }
  [[nodiscard]] TkwColorSpaceMode GetMode() const override { return TkwColorSpaceMode::csICCBased; }
  void GetDefaultRanges(TkwDecodeArray& ADecodeLow, TkwDecodeArray& ADecodeRange, int AMaxImgPixel) const override;
  void GetGray(const TkwColor& AColor, std::int32_t& AGray) const override;
  void GetRGB(const TkwColor& AColor, TkwRGB& ARGB) const override;
  void GetCMYK(const TkwColor& AColor, TkwCMYK& ACMYK) const override;
  [[nodiscard]] std::unique_ptr<TkwPDColorSpace> Copy() const override;
  [[nodiscard]] const TkwPDColorSpace* GetAlt() const { return FAlt.get(); }

  int FNoOfComps;
  std::unique_ptr<TkwPDColorSpace> FAlt;
  TkwDecodeArray FRangeMin{}, FRangeMax{};
  TkwPDStream* FICCProfileStream;  // not owned
};

class TkwPDIndexedColorSpace final : public TkwPDColorSpace {
public:
  TkwPDIndexedColorSpace(std::unique_ptr<TkwPDColorSpace> ABase, int AIndexHigh, std::string ALookup);
  TkwPDIndexedColorSpace(const TkwPDIndexedColorSpace& AOther);
  [[nodiscard]] int GetNoOfComps() const override { return 1; }
  [[nodiscard]] TkwColorSpaceMode GetMode() const override { return TkwColorSpaceMode::csIndexed; }
  void GetDefaultRanges(TkwDecodeArray& ADecodeLow, TkwDecodeArray& ADecodeRange, int AMaxImgPixel) const override;
  void GetGray(const TkwColor& AColor, std::int32_t& AGray) const override;
  void GetRGB(const TkwColor& AColor, TkwRGB& ARGB) const override;
  void GetCMYK(const TkwColor& AColor, TkwCMYK& ACMYK) const override;
  [[nodiscard]] std::unique_ptr<TkwPDColorSpace> Copy() const override;
  [[nodiscard]] const TkwPDColorSpace* GetBase() const { return FBase.get(); }
  // The base colour of entry AIndex (clipped to 0 … high index); entries beyond the end of
  // a short lookup table are 0.
  void MapIndex(int AIndex, TkwColor& ABase) const;
  // Lookup byte of entry AIndex, component AComp (0 beyond the table).
  [[nodiscard]] int LookupByte(int AIndex, int AComp) const;

  std::unique_ptr<TkwPDColorSpace> FBase;
  int FIndexHigh;
  std::string FLookup;
  TkwDecodeArray FBaseLow{}, FBaseRange{};
};

class TkwPDSeparationColorSpace final : public TkwPDColorSpace {
public:
  TkwPDSeparationColorSpace(std::string AName, std::unique_ptr<TkwPDColorSpace> AAlt, std::unique_ptr<TkwPDFunction> AFunc);
  TkwPDSeparationColorSpace(const TkwPDSeparationColorSpace& AOther);
  void GetDefaultColor(TkwColor& AColor) const override;
  [[nodiscard]] int GetNoOfComps() const override { return 1; }
  [[nodiscard]] TkwColorSpaceMode GetMode() const override { return TkwColorSpaceMode::csSeparation; }
  void GetGray(const TkwColor& AColor, std::int32_t& AGray) const override;
  void GetRGB(const TkwColor& AColor, TkwRGB& ARGB) const override;
  void GetCMYK(const TkwColor& AColor, TkwCMYK& ACMYK) const override;
  [[nodiscard]] std::unique_ptr<TkwPDColorSpace> Copy() const override;
  [[nodiscard]] bool IsNonMarking() const override { return FIsNonMarking; }
  [[nodiscard]] const TkwPDColorSpace* GetAlt() const { return FAlt.get(); }
  // The colour in the alternate space; false without an alternate.
  bool ToAlt(const TkwColor& AColor, TkwColor& AAlt) const;

  std::string FName;
  std::unique_ptr<TkwPDColorSpace> FAlt;
  std::unique_ptr<TkwPDFunction> FFunc;
  bool FIsNonMarking;
};

class TkwPDDeviceNColorSpace final : public TkwPDColorSpace {
public:
  TkwPDDeviceNColorSpace(std::vector<std::string> ANames, std::unique_ptr<TkwPDColorSpace> AAlt,
                         std::unique_ptr<TkwPDFunction> AFunc);
  TkwPDDeviceNColorSpace(const TkwPDDeviceNColorSpace& AOther);
  void GetDefaultColor(TkwColor& AColor) const override;
  [[nodiscard]] int GetNoOfComps() const override { return FNoOfComps; }
  [[nodiscard]] TkwColorSpaceMode GetMode() const override { return TkwColorSpaceMode::csDeviceN; }
  void GetGray(const TkwColor& AColor, std::int32_t& AGray) const override;
  void GetRGB(const TkwColor& AColor, TkwRGB& ARGB) const override;
  void GetCMYK(const TkwColor& AColor, TkwCMYK& ACMYK) const override;
  [[nodiscard]] std::unique_ptr<TkwPDColorSpace> Copy() const override;
  [[nodiscard]] bool IsNonMarking() const override { return FIsNonMarking; }
  [[nodiscard]] const TkwPDColorSpace* GetAlt() const { return FAlt.get(); }
  bool ToAlt(const TkwColor& AColor, TkwColor& AAlt) const;

  int FNoOfComps;
  std::vector<std::string> FNames;
  std::unique_ptr<TkwPDColorSpace> FAlt;
  std::unique_ptr<TkwPDFunction> FFunc;
  bool FIsNonMarking;
};

class TkwPDPatternColorSpace final : public TkwPDColorSpace {
public:
  explicit TkwPDPatternColorSpace(std::unique_ptr<TkwPDColorSpace> AUnder);
  TkwPDPatternColorSpace(const TkwPDPatternColorSpace& AOther);
  void GetDefaultColor(TkwColor& AColor) const override;
  [[nodiscard]] int GetNoOfComps() const override { return FUnder ? FUnder->GetNoOfComps() : 1; }
  [[nodiscard]] TkwColorSpaceMode GetMode() const override { return TkwColorSpaceMode::csPattern; }
  void GetGray(const TkwColor& AColor, std::int32_t& AGray) const override;
  void GetRGB(const TkwColor& AColor, TkwRGB& ARGB) const override;
  [[nodiscard]] std::unique_ptr<TkwPDColorSpace> Copy() const override;
  [[nodiscard]] const TkwPDColorSpace* GetUnder() const { return FUnder.get(); }

  std::unique_ptr<TkwPDColorSpace> FUnder;
};

}  // namespace qm
