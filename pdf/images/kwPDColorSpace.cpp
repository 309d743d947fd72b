#include "pdf/images/kwPDColorSpace.h"

#include <cmath>

#include "base/Limits.h"
#include "pdf/core/kwPDBaseObject.h"
#include "pdf/core/kwPDDocument.h"
#include "pdf/core/Tolerance.h"
#include "pdf/model/kwPDResource.h"

namespace qm {

namespace {


std::int32_t RoundGray(double AValue) { return Clamp(static_cast<std::int64_t>(std::trunc(AValue + 0.5))); }

void RGBToCMYK(const TkwRGB& ARGB, TkwCMYK& ACMYK) {
  const std::int32_t c = Clamp(std::int64_t{kColorOne} - ARGB.R);
  const std::int32_t m = Clamp(std::int64_t{kColorOne} - ARGB.G);
  const std::int32_t y = Clamp(std::int64_t{kColorOne} - ARGB.B);
  const std::int32_t k = std::min({c, m, y});
  ACMYK = TkwCMYK{c - k, m - k, y - k, k};
}

// Corners of the CMYK cube, index c·8 + m·4 + y·2 + k, as R, G, B.
constexpr double kCMYKCorners[16][3] = {
    {1, 1, 1},           {0.1373, 0.1216, 0.1255}, {1, 0.949, 0},       {0.1098, 0.102, 0},
    {0.9255, 0, 0.549},  {0.1412, 0, 0},           {0.9294, 0.1098, 0.1412}, {0.1333, 0, 0},
    {0, 0.6784, 0.9373}, {0, 0.0588, 0.1412},      {0, 0.651, 0.3137},  {0, 0.0745, 0},
    {0.1804, 0.1922, 0.5725}, {0, 0, 0.0078},      {0.2118, 0.2119, 0.2235}, {0, 0, 0},
};

double Number(const TkwPDArray* AArray, std::size_t AIndex, double ADefault) {
  if (!AArray) return ADefault;
  const double v = AArray->GetNumber(AIndex, ADefault);
  return std::isfinite(v) ? v : ADefault;
}

const TkwPDDictionary* ParamDict(const TkwPDArray& AArray) {
  TkwPDBaseObject* o = AArray.Get(1);
  if (!o) return nullptr;
  if (o->IsDict()) return static_cast<TkwPDDictionary*>(o);
  if (o->IsStream()) return static_cast<TkwPDStream*>(o)->GetDict();
  return nullptr;
}

void NoteFor(const TkwPDResource* ARes, TkwDiagCode ACode) {
  TkwPDDocument* doc = ARes ? ARes->GetParentDoc() : nullptr;
  if (TkwDiagnostics* diag = doc ? doc->GetDiagnostics() : nullptr) diag->Note(ACode);
}

std::unique_ptr<TkwPDColorSpace> DeviceSpace(int AComps) {
  switch (AComps) {
    case 1: return std::make_unique<TkwPDDeviceGrayColorSpace>();
    case 3: return std::make_unique<TkwPDDeviceRGBColorSpace>();
    case 4: return std::make_unique<TkwPDDeviceCMYKColorSpace>();
    default: return nullptr;
  }
}

std::unique_ptr<TkwPDColorSpace> SpaceOrResource(TkwPDBaseObject* AObject, TkwPDResource* ARes, int ADepth) {
  auto cs = MakeColorSpace(AObject, "", ARes, ADepth);
  if (cs || !AObject || !AObject->IsName() || !ARes) return cs;
  // A named resource space used inside another space, read from the resource dictionary
  // itself (the depth bound ends names that refer to each other).
  TkwPDDictionary* spaces = ARes->GetSubDictionary(TkwPDResourceType::resColorSpace);
  if (!spaces) return nullptr;
  TkwPDBaseObject* entry = spaces->LookUp(static_cast<TkwPDName*>(AObject)->GetValue());
  if (!entry || entry->IsName()) return nullptr;
  return MakeColorSpace(entry, "", ARes, ADepth + 1);
}

}  // namespace

// --- base ------------------------------------------------------------------------------------

void TkwPDColorSpace::GetDefaultColor(TkwColor& AColor) const { AColor = TkwColor{}; }

void TkwPDColorSpace::GetDefaultRanges(TkwDecodeArray& ADecodeLow, TkwDecodeArray& ADecodeRange, int) const {
  for (int i = 0; i < kMaxColorComps; ++i) {
    ADecodeLow[static_cast<std::size_t>(i)] = 0;
    ADecodeRange[static_cast<std::size_t>(i)] = 1;
  }
}

void TkwPDColorSpace::GetCMYK(const TkwColor& AColor, TkwCMYK& ACMYK) const {
  TkwRGB rgb;
  GetRGB(AColor, rgb);
  RGBToCMYK(rgb, ACMYK);
}

// --- device spaces ---------------------------------------------------------------------------

void TkwPDDeviceGrayColorSpace::GetGray(const TkwColor& AColor, std::int32_t& AGray) const { AGray = Clamp(AColor.FComps[0]); }
void TkwPDDeviceGrayColorSpace::GetRGB(const TkwColor& AColor, TkwRGB& ARGB) const {
  const std::int32_t g = Clamp(AColor.FComps[0]);
  ARGB = TkwRGB{g, g, g};
}
void TkwPDDeviceGrayColorSpace::GetCMYK(const TkwColor& AColor, TkwCMYK& ACMYK) const {
  ACMYK = TkwCMYK{0, 0, 0, Clamp(std::int64_t{kColorOne} - AColor.FComps[0])};
}
std::unique_ptr<TkwPDColorSpace> TkwPDDeviceGrayColorSpace::Copy() const {
  return std::unique_ptr<TkwPDColorSpace>(new TkwPDDeviceGrayColorSpace(*this));
}

void TkwPDDeviceRGBColorSpace::GetGray(const TkwColor& AColor, std::int32_t& AGray) const {
  const auto& c = AColor.FComps;
  AGray = RoundGray(0.3 * c[0] + 0.59 * c[1] + 0.11 * c[2]);
}
void TkwPDDeviceRGBColorSpace::GetRGB(const TkwColor& AColor, TkwRGB& ARGB) const {
  ARGB = TkwRGB{Clamp(AColor.FComps[0]), Clamp(AColor.FComps[1]), Clamp(AColor.FComps[2])};
}
void TkwPDDeviceRGBColorSpace::GetCMYK(const TkwColor& AColor, TkwCMYK& ACMYK) const {
  TkwRGB rgb;
  TkwPDDeviceRGBColorSpace::GetRGB(AColor, rgb);
  RGBToCMYK(rgb, ACMYK);
}
std::unique_ptr<TkwPDColorSpace> TkwPDDeviceRGBColorSpace::Copy() const {
  return std::unique_ptr<TkwPDColorSpace>(new TkwPDDeviceRGBColorSpace(*this));
}

void TkwPDDeviceCMYKColorSpace::GetDefaultColor(TkwColor& AColor) const {
  AColor = TkwColor{};
  AColor.FComps[3] = kColorOne;
}
void TkwPDDeviceCMYKColorSpace::GetGray(const TkwColor& AColor, std::int32_t& AGray) const {
  const auto& c = AColor.FComps;
  AGray = RoundGray(65536.0 - c[3] - 0.3 * c[0] - 0.59 * c[1] - 0.11 * c[2]);
}
void TkwPDDeviceCMYKColorSpace::GetRGB(const TkwColor& AColor, TkwRGB& ARGB) const {
  const double c = Clip01(ToDouble(AColor.FComps[0])), m = Clip01(ToDouble(AColor.FComps[1]));
  const double y = Clip01(ToDouble(AColor.FComps[2])), k = Clip01(ToDouble(AColor.FComps[3]));
  double sum[3] = {0, 0, 0};
  for (int corner = 0; corner < 16; ++corner) {
    const double w = ((corner & 8) ? c : 1 - c) * ((corner & 4) ? m : 1 - m) * ((corner & 2) ? y : 1 - y) *
                     ((corner & 1) ? k : 1 - k);
    for (int ch = 0; ch < 3; ++ch) sum[ch] += w * kCMYKCorners[corner][ch];
  }
  ARGB = TkwRGB{Clamp(ToColor(sum[0])), Clamp(ToColor(sum[1])), Clamp(ToColor(sum[2]))};
}
void TkwPDDeviceCMYKColorSpace::GetCMYK(const TkwColor& AColor, TkwCMYK& ACMYK) const {
  const auto& c = AColor.FComps;
  ACMYK = TkwCMYK{Clamp(c[0]), Clamp(c[1]), Clamp(c[2]), Clamp(c[3])};
}
std::unique_ptr<TkwPDColorSpace> TkwPDDeviceCMYKColorSpace::Copy() const {
  return std::unique_ptr<TkwPDColorSpace>(new TkwPDDeviceCMYKColorSpace(*this));
}

// --- calibrated spaces -----------------------------------------------------------------------

void TkwCIEPoints::Read(const TkwPDDictionary* ADict) {
  if (!ADict) return;
  if (const TkwPDArray* w = ADict->LookUpArray("WhitePoint")) {
    FWhiteX = Number(w, 0, 1);
    FWhiteY = Number(w, 1, 1);
    FWhiteZ = Number(w, 2, 1);
  }
  if (const TkwPDArray* b = ADict->LookUpArray("BlackPoint")) {
    FBlackX = Number(b, 0, 0);
    FBlackY = Number(b, 1, 0);
    FBlackZ = Number(b, 2, 0);
  }
}

TkwPDCalGrayColorSpace::TkwPDCalGrayColorSpace(const TkwPDDictionary* ADict) {
  Read(ADict);
  if (ADict) FGamma = ADict->LookUpNumber("Gamma", 1);
}
std::unique_ptr<TkwPDColorSpace> TkwPDCalGrayColorSpace::Copy() const {
  return std::unique_ptr<TkwPDColorSpace>(new TkwPDCalGrayColorSpace(*this));
}

TkwPDCalRGBColorSpace::TkwPDCalRGBColorSpace(const TkwPDDictionary* ADict) {
  Read(ADict);
  if (!ADict) return;
  if (const TkwPDArray* g = ADict->LookUpArray("Gamma")) {
    FGammaR = Number(g, 0, 1);
    FGammaG = Number(g, 1, 1);
    FGammaB = Number(g, 2, 1);
  }
  if (const TkwPDArray* m = ADict->LookUpArray("Matrix")) {
    for (std::size_t i = 0; i < 9; ++i) FMatrix[i] = Number(m, i, FMatrix[i]);
  }
}
std::unique_ptr<TkwPDColorSpace> TkwPDCalRGBColorSpace::Copy() const {
  return std::unique_ptr<TkwPDColorSpace>(new TkwPDCalRGBColorSpace(*this));
}

// --- Lab -------------------------------------------------------------------------------------

namespace {
constexpr double kXYZToRGB[3][3] = {
    {3.240449, -1.537136, -0.498531}, {-0.969265, 1.876011, 0.041556}, {0.055643, -0.204026, 1.057229}};

double LabF(double AWhite, double AS) {
  if (AS >= 6.0 / 29.0) return AWhite * AS * AS * AS;
  return AWhite * (108.0 / 841.0) * (AS - 4.0 / 29.0);
}
}  // namespace

TkwPDLabColorSpace::TkwPDLabColorSpace(const TkwPDDictionary* ADict) {
  Read(ADict);
  if (ADict) {
    if (const TkwPDArray* r = ADict->LookUpArray("Range")) {
      FAMin = Number(r, 0, -100);
      FAMax = Number(r, 1, 100);
      FBMin = Number(r, 2, -100);
      FBMax = Number(r, 3, 100);
    }
  }
  double* k[3] = {&FKR, &FKG, &FKB};
  for (int row = 0; row < 3; ++row) {
    const double d = kXYZToRGB[row][0] * FWhiteX + kXYZToRGB[row][1] * FWhiteY + kXYZToRGB[row][2] * FWhiteZ;
    *k[row] = d != 0 && std::isfinite(d) ? 1.0 / d : 1.0;
  }
}

void TkwPDLabColorSpace::GetDefaultColor(TkwColor& AColor) const {
  AColor = TkwColor{};
  AColor.FComps[1] = ToColor(std::clamp(0.0, std::min(FAMin, FAMax), std::max(FAMin, FAMax)));
  AColor.FComps[2] = ToColor(std::clamp(0.0, std::min(FBMin, FBMax), std::max(FBMin, FBMax)));
}

void TkwPDLabColorSpace::GetDefaultRanges(TkwDecodeArray& ADecodeLow, TkwDecodeArray& ADecodeRange, int AMaxImgPixel) const {
  TkwPDColorSpace::GetDefaultRanges(ADecodeLow, ADecodeRange, AMaxImgPixel);
  ADecodeLow[0] = 0;
  ADecodeRange[0] = 100;
  ADecodeLow[1] = FAMin;
  ADecodeRange[1] = FAMax - FAMin;
  ADecodeLow[2] = FBMin;
  ADecodeRange[2] = FBMax - FBMin;
}

void TkwPDLabColorSpace::GetRGB(const TkwColor& AColor, TkwRGB& ARGB) const {
  const double l = ToDouble(AColor.FComps[0]), a = ToDouble(AColor.FComps[1]), b = ToDouble(AColor.FComps[2]);
  const double t = (l + 16) / 116;
  const double x = LabF(FWhiteX, t + a / 500), y = LabF(FWhiteY, t), z = LabF(FWhiteZ, t - b / 200);
  const double kk[3] = {FKR, FKG, FKB};
  std::int32_t out[3];
  for (int row = 0; row < 3; ++row) {
    const double v = kk[row] * (kXYZToRGB[row][0] * x + kXYZToRGB[row][1] * y + kXYZToRGB[row][2] * z);
    out[row] = ToColor(std::sqrt(Clip01(v)));
  }
  ARGB = TkwRGB{out[0], out[1], out[2]};
}

void TkwPDLabColorSpace::GetGray(const TkwColor& AColor, std::int32_t& AGray) const {
  TkwRGB rgb;
  GetRGB(AColor, rgb);
  AGray = RoundGray(0.3 * rgb.R + 0.59 * rgb.G + 0.11 * rgb.B);
}

std::unique_ptr<TkwPDColorSpace> TkwPDLabColorSpace::Copy() const {
  return std::unique_ptr<TkwPDColorSpace>(new TkwPDLabColorSpace(*this));
}

// --- ICCBased --------------------------------------------------------------------------------

TkwPDICCBasedColorSpace::TkwPDICCBasedColorSpace(int ANoOfComps, std::unique_ptr<TkwPDColorSpace> AAlt, TkwPDStream* AProfile)
    : FNoOfComps(ANoOfComps), FAlt(std::move(AAlt)), FICCProfileStream(AProfile) {
  for (int i = 0; i < kMaxColorComps; ++i) FRangeMax[static_cast<std::size_t>(i)] = 1;
}

TkwPDICCBasedColorSpace::TkwPDICCBasedColorSpace(const TkwPDICCBasedColorSpace& AOther)
    : TkwPDColorSpace(AOther), FNoOfComps(AOther.FNoOfComps), FAlt(AOther.FAlt ? AOther.FAlt->Copy() : nullptr),
      FRangeMin(AOther.FRangeMin), FRangeMax(AOther.FRangeMax), FICCProfileStream(AOther.FICCProfileStream) {}

void TkwPDICCBasedColorSpace::GetDefaultColor(TkwColor& AColor) const {
  FAlt->GetDefaultColor(AColor);
  for (int i = 0; i < FNoOfComps; ++i) {
    const std::size_t u = static_cast<std::size_t>(i);
    AColor.FComps[u] = std::clamp(AColor.FComps[u], ToColor(FRangeMin[u]), std::max(ToColor(FRangeMin[u]), ToColor(FRangeMax[u])));
  }
}

void TkwPDICCBasedColorSpace::GetDefaultRanges(TkwDecodeArray& ADecodeLow, TkwDecodeArray& ADecodeRange, int AMaxImgPixel) const {
  TkwPDColorSpace::GetDefaultRanges(ADecodeLow, ADecodeRange, AMaxImgPixel);
  for (int i = 0; i < FNoOfComps; ++i) {
    const std::size_t u = static_cast<std::size_t>(i);
    ADecodeLow[u] = FRangeMin[u];
    ADecodeRange[u] = FRangeMax[u] - FRangeMin[u];
  }
}

void TkwPDICCBasedColorSpace::GetGray(const TkwColor& AColor, std::int32_t& AGray) const { FAlt->GetGray(AColor, AGray); }
void TkwPDICCBasedColorSpace::GetRGB(const TkwColor& AColor, TkwRGB& ARGB) const { FAlt->GetRGB(AColor, ARGB); }
void TkwPDICCBasedColorSpace::GetCMYK(const TkwColor& AColor, TkwCMYK& ACMYK) const { FAlt->GetCMYK(AColor, ACMYK); }
std::unique_ptr<TkwPDColorSpace> TkwPDICCBasedColorSpace::Copy() const {
  return std::unique_ptr<TkwPDColorSpace>(new TkwPDICCBasedColorSpace(*this));
}

// --- Indexed ---------------------------------------------------------------------------------

TkwPDIndexedColorSpace::TkwPDIndexedColorSpace(std::unique_ptr<TkwPDColorSpace> ABase, int AIndexHigh, std::string ALookup)
    : FBase(std::move(ABase)), FIndexHigh(std::clamp(AIndexHigh, 0, 255)), FLookup(std::move(ALookup)) {
  FBase->GetDefaultRanges(FBaseLow, FBaseRange, 255);
}

TkwPDIndexedColorSpace::TkwPDIndexedColorSpace(const TkwPDIndexedColorSpace& AOther)
    : TkwPDColorSpace(AOther), FBase(AOther.FBase->Copy()), FIndexHigh(AOther.FIndexHigh), FLookup(AOther.FLookup),
      FBaseLow(AOther.FBaseLow), FBaseRange(AOther.FBaseRange) {}

void TkwPDIndexedColorSpace::GetDefaultRanges(TkwDecodeArray& ADecodeLow, TkwDecodeArray& ADecodeRange, int AMaxImgPixel) const {
  TkwPDColorSpace::GetDefaultRanges(ADecodeLow, ADecodeRange, AMaxImgPixel);
  ADecodeLow[0] = 0;
  ADecodeRange[0] = AMaxImgPixel;
}

int TkwPDIndexedColorSpace::LookupByte(int AIndex, int AComp) const {
  const std::size_t at = static_cast<std::size_t>(AIndex) * static_cast<std::size_t>(FBase->GetNoOfComps()) +
                         static_cast<std::size_t>(AComp);
  return at < FLookup.size() ? static_cast<std::uint8_t>(FLookup[at]) : 0;
}

void TkwPDIndexedColorSpace::MapIndex(int AIndex, TkwColor& ABase) const {
  ABase = TkwColor{};
  const int index = std::clamp(AIndex, 0, FIndexHigh);
  const int n = FBase->GetNoOfComps();
  for (int i = 0; i < n && i < kMaxColorComps; ++i) {
    const std::size_t u = static_cast<std::size_t>(i);
    ABase.FComps[u] = ToColor(FBaseLow[u] + LookupByte(index, i) / 255.0 * FBaseRange[u]);
  }
}

namespace {
int IndexOf(const TkwColor& AColor) {
  return static_cast<int>(std::floor(ToDouble(AColor.FComps[0]) + 0.5));
}
}  // namespace

void TkwPDIndexedColorSpace::GetGray(const TkwColor& AColor, std::int32_t& AGray) const {
  TkwColor base;
  MapIndex(IndexOf(AColor), base);
  FBase->GetGray(base, AGray);
}
void TkwPDIndexedColorSpace::GetRGB(const TkwColor& AColor, TkwRGB& ARGB) const {
  TkwColor base;
  MapIndex(IndexOf(AColor), base);
  FBase->GetRGB(base, ARGB);
}
void TkwPDIndexedColorSpace::GetCMYK(const TkwColor& AColor, TkwCMYK& ACMYK) const {
  TkwColor base;
  MapIndex(IndexOf(AColor), base);
  FBase->GetCMYK(base, ACMYK);
}
std::unique_ptr<TkwPDColorSpace> TkwPDIndexedColorSpace::Copy() const {
  return std::unique_ptr<TkwPDColorSpace>(new TkwPDIndexedColorSpace(*this));
}

// --- Separation ------------------------------------------------------------------------------

TkwPDSeparationColorSpace::TkwPDSeparationColorSpace(std::string AName, std::unique_ptr<TkwPDColorSpace> AAlt,
                                                     std::unique_ptr<TkwPDFunction> AFunc)
    : FName(std::move(AName)), FAlt(std::move(AAlt)), FFunc(std::move(AFunc)), FIsNonMarking(FName == "None") {}

TkwPDSeparationColorSpace::TkwPDSeparationColorSpace(const TkwPDSeparationColorSpace& AOther)
    : TkwPDColorSpace(AOther), FName(AOther.FName), FAlt(AOther.FAlt ? AOther.FAlt->Copy() : nullptr),
      FFunc(AOther.FFunc ? AOther.FFunc->Copy() : nullptr), FIsNonMarking(AOther.FIsNonMarking) {}

void TkwPDSeparationColorSpace::GetDefaultColor(TkwColor& AColor) const {
  AColor = TkwColor{};
  if (!FFunc && FAlt && FAlt->GetMode() == TkwColorSpaceMode::csDeviceCMYK && FName != "Black" && FName != "Cyan" &&
      FName != "Magenta" && FName != "Yellow") {
    FAlt->GetDefaultColor(AColor);
    return;
  }
  AColor.FComps[0] = kColorOne;
}

bool TkwPDSeparationColorSpace::ToAlt(const TkwColor& AColor, TkwColor& AAlt) const {
  AAlt = TkwColor{};
  if (!FAlt) return false;
  if (!FFunc) {
    FAlt->GetDefaultColor(AAlt);
    if (FName != "Black") AAlt.FComps[3] = AColor.FComps[0];
    return true;
  }
  TkwFunctionArgs in{}, out{};
  in[0] = ToDouble(AColor.FComps[0]);
  FFunc->Transform(in, out);
  const int n = std::min(FAlt->GetNoOfComps(), kMaxColorComps);
  for (int i = 0; i < n; ++i) AAlt.FComps[static_cast<std::size_t>(i)] = ToColor(out[static_cast<std::size_t>(i)]);
  return true;
}

void TkwPDSeparationColorSpace::GetGray(const TkwColor& AColor, std::int32_t& AGray) const {
  TkwColor alt;
  AGray = 0;
  if (ToAlt(AColor, alt)) FAlt->GetGray(alt, AGray);
}
void TkwPDSeparationColorSpace::GetRGB(const TkwColor& AColor, TkwRGB& ARGB) const {
  TkwColor alt;
  ARGB = TkwRGB{};
  if (ToAlt(AColor, alt)) FAlt->GetRGB(alt, ARGB);
}
void TkwPDSeparationColorSpace::GetCMYK(const TkwColor& AColor, TkwCMYK& ACMYK) const {
  TkwColor alt;
  ACMYK = TkwCMYK{0, 0, 0, kColorOne};
  if (ToAlt(AColor, alt)) FAlt->GetCMYK(alt, ACMYK);
}
std::unique_ptr<TkwPDColorSpace> TkwPDSeparationColorSpace::Copy() const {
  return std::unique_ptr<TkwPDColorSpace>(new TkwPDSeparationColorSpace(*this));
}

// --- DeviceN ---------------------------------------------------------------------------------

TkwPDDeviceNColorSpace::TkwPDDeviceNColorSpace(std::vector<std::string> ANames, std::unique_ptr<TkwPDColorSpace> AAlt,
                                               std::unique_ptr<TkwPDFunction> AFunc)
    : FNoOfComps(static_cast<int>(ANames.size())), FNames(std::move(ANames)), FAlt(std::move(AAlt)),
      FFunc(std::move(AFunc)), FIsNonMarking(true) {
  for (const auto& n : FNames) {
    if (n != "None") FIsNonMarking = false;
  }
}

TkwPDDeviceNColorSpace::TkwPDDeviceNColorSpace(const TkwPDDeviceNColorSpace& AOther)
    : TkwPDColorSpace(AOther), FNoOfComps(AOther.FNoOfComps), FNames(AOther.FNames),
      FAlt(AOther.FAlt ? AOther.FAlt->Copy() : nullptr), FFunc(AOther.FFunc ? AOther.FFunc->Copy() : nullptr),
      FIsNonMarking(AOther.FIsNonMarking) {}

void TkwPDDeviceNColorSpace::GetDefaultColor(TkwColor& AColor) const {
  AColor = TkwColor{};
  for (int i = 0; i < FNoOfComps; ++i) AColor.FComps[static_cast<std::size_t>(i)] = kColorOne;
}

bool TkwPDDeviceNColorSpace::ToAlt(const TkwColor& AColor, TkwColor& AAlt) const {
  AAlt = TkwColor{};
  if (!FAlt) return false;
  if (!FFunc) {
    FAlt->GetDefaultColor(AAlt);
    return true;
  }
  TkwFunctionArgs in{}, out{};
  for (int i = 0; i < FNoOfComps; ++i) in[static_cast<std::size_t>(i)] = ToDouble(AColor.FComps[static_cast<std::size_t>(i)]);
  FFunc->Transform(in, out);
  const int n = std::min(FAlt->GetNoOfComps(), kMaxColorComps);
  for (int i = 0; i < n; ++i) AAlt.FComps[static_cast<std::size_t>(i)] = ToColor(out[static_cast<std::size_t>(i)]);
  return true;
}

void TkwPDDeviceNColorSpace::GetGray(const TkwColor& AColor, std::int32_t& AGray) const {
  TkwColor alt;
  AGray = 0;
  if (ToAlt(AColor, alt)) FAlt->GetGray(alt, AGray);
}
void TkwPDDeviceNColorSpace::GetRGB(const TkwColor& AColor, TkwRGB& ARGB) const {
  TkwColor alt;
  ARGB = TkwRGB{};
  if (ToAlt(AColor, alt)) FAlt->GetRGB(alt, ARGB);
}
void TkwPDDeviceNColorSpace::GetCMYK(const TkwColor& AColor, TkwCMYK& ACMYK) const {
  TkwColor alt;
  ACMYK = TkwCMYK{0, 0, 0, kColorOne};
  if (ToAlt(AColor, alt)) FAlt->GetCMYK(alt, ACMYK);
}
std::unique_ptr<TkwPDColorSpace> TkwPDDeviceNColorSpace::Copy() const {
  return std::unique_ptr<TkwPDColorSpace>(new TkwPDDeviceNColorSpace(*this));
}

// --- Pattern ---------------------------------------------------------------------------------

TkwPDPatternColorSpace::TkwPDPatternColorSpace(std::unique_ptr<TkwPDColorSpace> AUnder) : FUnder(std::move(AUnder)) {}
TkwPDPatternColorSpace::TkwPDPatternColorSpace(const TkwPDPatternColorSpace& AOther)
    : TkwPDColorSpace(AOther), FUnder(AOther.FUnder ? AOther.FUnder->Copy() : nullptr) {}
void TkwPDPatternColorSpace::GetDefaultColor(TkwColor& AColor) const {
  if (FUnder) {
    FUnder->GetDefaultColor(AColor);
  } else {
    AColor = TkwColor{};
  }
}
void TkwPDPatternColorSpace::GetGray(const TkwColor& AColor, std::int32_t& AGray) const {
  AGray = 0;
  if (FUnder) FUnder->GetGray(AColor, AGray);
}
void TkwPDPatternColorSpace::GetRGB(const TkwColor& AColor, TkwRGB& ARGB) const {
  ARGB = TkwRGB{};
  if (FUnder) FUnder->GetRGB(AColor, ARGB);
}
std::unique_ptr<TkwPDColorSpace> TkwPDPatternColorSpace::Copy() const {
  return std::unique_ptr<TkwPDColorSpace>(new TkwPDPatternColorSpace(*this));
}

// --- MakeColorSpace --------------------------------------------------------------------------

namespace {

std::unique_ptr<TkwPDColorSpace> ByName(const std::string& AName) {
  if (AName == "DeviceGray" || AName == "G") return std::make_unique<TkwPDDeviceGrayColorSpace>();
  if (AName == "DeviceRGB" || AName == "RGB") return std::make_unique<TkwPDDeviceRGBColorSpace>();
  if (AName == "DeviceCMYK" || AName == "CMYK") return std::make_unique<TkwPDDeviceCMYKColorSpace>();
  if (AName == "Pattern") return std::make_unique<TkwPDPatternColorSpace>(nullptr);
  return nullptr;
}

std::unique_ptr<TkwPDColorSpace> FromArray(TkwPDArray& AArray, TkwPDResource* ARes, int ADepth) {
  TkwPDBaseObject* head = AArray.Get(0);
  if (!head || !head->IsName()) return nullptr;
  const std::string& family = static_cast<TkwPDName*>(head)->GetValue();
  if (family == "DeviceGray" || family == "G" || family == "DeviceRGB" || family == "RGB" ||
      family == "DeviceCMYK" || family == "CMYK") {
    return ByName(family);
  }
  if (family == "CalGray") return std::make_unique<TkwPDCalGrayColorSpace>(ParamDict(AArray));
  if (family == "CalRGB") return std::make_unique<TkwPDCalRGBColorSpace>(ParamDict(AArray));
  if (family == "Lab") return std::make_unique<TkwPDLabColorSpace>(ParamDict(AArray));
  if (family == "ICCBased") {
    TkwPDBaseObject* s = AArray.Get(1);
    if (!s || !s->IsStream()) return nullptr;
    auto* stream = static_cast<TkwPDStream*>(s);
    const TkwPDDictionary* d = stream->GetDict();
    int n = d->LookUpInt("N", 0);
    std::unique_ptr<TkwPDColorSpace> alt = SpaceOrResource(d->LookUp("Alternate"), ARes, ADepth + 1);
    if (n < 1 || n > kMaxColorComps) n = alt ? alt->GetNoOfComps() : 0;
    if (!alt || alt->GetNoOfComps() != n) alt = DeviceSpace(n);
    if (!alt) return nullptr;
    auto cs = std::make_unique<TkwPDICCBasedColorSpace>(n, std::move(alt), stream);
    const TkwPDArray* range = d->LookUpArray("Range");
    if (range && range->GetLength() >= static_cast<std::size_t>(2 * n)) {
      for (int i = 0; i < n; ++i) {
        cs->FRangeMin[static_cast<std::size_t>(i)] = Number(range, static_cast<std::size_t>(2 * i), 0);
        cs->FRangeMax[static_cast<std::size_t>(i)] = Number(range, static_cast<std::size_t>(2 * i + 1), 1);
      }
    }
    return cs;
  }
  if (family == "Indexed" || family == "I") {
    if (AArray.GetLength() < 4) return nullptr;
    auto base = SpaceOrResource(AArray.Get(1), ARes, ADepth + 1);
    if (!base || base->GetMode() == TkwColorSpaceMode::csIndexed || base->GetMode() == TkwColorSpaceMode::csPattern) {
      return nullptr;
    }
    const TkwPDBaseObject* hi = AArray.Get(2);
    if (!hi || !hi->IsNumber()) return nullptr;
    const int high = static_cast<int>(std::clamp(hi->GetNumber(), 0.0, 255.0));
    TkwPDBaseObject* lookup = AArray.Get(3);
    std::string bytes;
    if (lookup && lookup->IsString()) {
      bytes = static_cast<TkwPDString*>(lookup)->GetHexToString();
    } else if (lookup && lookup->IsStream()) {
      try {
        bytes = static_cast<TkwPDStream*>(lookup)->ReadAll(kMaxIndexedLookupBytes);
      } catch (const std::exception&) {
        RethrowUnlessDamage();
        bytes.clear();
      }
    } else {
      return nullptr;
    }
    const std::size_t want = static_cast<std::size_t>(high + 1) * static_cast<std::size_t>(base->GetNoOfComps());
    if (bytes.size() > want) bytes.resize(want);
    return std::make_unique<TkwPDIndexedColorSpace>(std::move(base), high, std::move(bytes));
  }
  if (family == "Separation") {
    if (AArray.GetLength() < 3) return nullptr;
    TkwPDBaseObject* name = AArray.Get(1);
    std::string n = name && name->IsName() ? static_cast<TkwPDName*>(name)->GetValue() : std::string();
    auto alt = SpaceOrResource(AArray.Get(2), ARes, ADepth + 1);
    if (alt && (alt->GetMode() == TkwColorSpaceMode::csPattern || alt->GetMode() == TkwColorSpaceMode::csIndexed)) alt.reset();
    auto func = MakeFunction(AArray.Get(3));
    if (func && func->GetInputSize() < 1) func.reset();
    if (!func && AArray.Get(3)) NoteFor(ARes, TkwDiagCode::dcFunctionBroken);
    return std::make_unique<TkwPDSeparationColorSpace>(std::move(n), std::move(alt), std::move(func));
  }
  if (family == "DeviceN") {
    if (AArray.GetLength() < 4) return nullptr;
    TkwPDBaseObject* names = AArray.Get(1);
    if (!names || !names->IsArray()) return nullptr;
    auto* na = static_cast<TkwPDArray*>(names);
    if (na->GetLength() < 1 || na->GetLength() > static_cast<std::size_t>(kMaxColorComps)) return nullptr;
    std::vector<std::string> list;
    for (std::size_t i = 0; i < na->GetLength(); ++i) {
      TkwPDBaseObject* o = na->Get(i);
      list.push_back(o && o->IsName() ? static_cast<TkwPDName*>(o)->GetValue() : std::string());
    }
    auto alt = SpaceOrResource(AArray.Get(2), ARes, ADepth + 1);
    if (alt && (alt->GetMode() == TkwColorSpaceMode::csPattern || alt->GetMode() == TkwColorSpaceMode::csIndexed)) alt.reset();
    auto func = MakeFunction(AArray.Get(3));
    if (func && func->GetInputSize() < static_cast<int>(list.size())) func.reset();
    if (!func && AArray.Get(3)) NoteFor(ARes, TkwDiagCode::dcFunctionBroken);
    return std::make_unique<TkwPDDeviceNColorSpace>(std::move(list), std::move(alt), std::move(func));
  }
  if (family == "Pattern") {
    std::unique_ptr<TkwPDColorSpace> under;
    if (AArray.GetLength() > 1) under = SpaceOrResource(AArray.Get(1), ARes, ADepth + 1);
    if (under && under->GetMode() == TkwColorSpaceMode::csPattern) under.reset();
    return std::make_unique<TkwPDPatternColorSpace>(std::move(under));
  }
  return nullptr;
}

}  // namespace

std::unique_ptr<TkwPDColorSpace> MakeColorSpace(TkwPDBaseObject* AObject, std::string_view ATagName, TkwPDResource* ARes,
                                                int ADepth) {
  if (!AObject || ADepth > kMaxColorSpaceDepth) return nullptr;
  std::unique_ptr<TkwPDColorSpace> cs;
  if (AObject->IsName()) {
    cs = ByName(static_cast<TkwPDName*>(AObject)->GetValue());
  } else if (AObject->IsArray()) {
    cs = FromArray(*static_cast<TkwPDArray*>(AObject), ARes, ADepth);
  }
  if (cs) cs->FTagName = std::string(ATagName);
  if (!cs && ADepth == 0 && AObject->IsArray()) NoteFor(ARes, TkwDiagCode::dcColorSpaceBroken);
  return cs;
}

}  // namespace qm
