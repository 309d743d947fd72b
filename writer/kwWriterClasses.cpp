#include "writer/kwWriterClasses.h"

#include <array>
#include <utility>

#include "base/Numbers.h"

namespace qm {

double MeasurementFactor(TkwMeasurementUnit AUnit) {
  switch (AUnit) {
    using enum TkwMeasurementUnit;
    case muPixels: return 1.0;
    case muInches: return kPixelsPerPoint * 72.0;
    case muMillimetres: return kPixelsPerPoint * 2.83464;
    case muPoints: return kPixelsPerPoint;
    case muTwips: return kPixelsPerPoint * 0.05;
  }
  return 1.0;
}

int NativeToTwips(double AValue) { return RoundEven(AValue * 1440.0 / kScreenDpi); }

// ---------------------------------------------------------------------------------------

void TkwPersistent::Assign(const TkwPersistent& ASource) { AssignError(ASource); }

void TkwPersistent::AssignError(const TkwPersistent& ASource) const {
  throw EConvertError(std::string("Cannot assign a ") + ASource.ClassName() + " to a " +
                      ClassName() + ".");
}

void TkwBorder::Assign(const TkwPersistent& ASource) {
  const auto* src = dynamic_cast<const TkwBorder*>(&ASource);
  if (!src) AssignError(ASource);
  DrawLeft = src->DrawLeft;
  DrawRight = src->DrawRight;
  DrawTop = src->DrawTop;
  DrawBottom = src->DrawBottom;
  Color = src->Color;
  Style = src->Style;
  Width = src->Width;
}

void TkwParaBorder::Assign(const TkwPersistent& ASource) {
  if (const auto* src = dynamic_cast<const TkwParaBorder*>(&ASource)) Spacing = src->Spacing;
  TkwBorder::Assign(ASource);
}

TkwTextFormatting::TkwTextFormatting() : FBorder(std::make_unique<TkwParaBorder>()) {}

void TkwTextFormatting::Assign(const TkwPersistent& ASource) {
  const auto* src = dynamic_cast<const TkwTextFormatting*>(&ASource);
  if (!src) AssignError(ASource);
  if (src == this) return;
  FSpaceBefore = src->FSpaceBefore;
  FLeftIndent = src->FLeftIndent;
  FRightIndent = src->FRightIndent;
  FFirstLineIndent = src->FFirstLineIndent;
  FLineSpacing = src->FLineSpacing;
  FLeaderTab = src->FLeaderTab;
  FAlignment = src->FAlignment;
  FBorder->Assign(*src->FBorder);
  FLineSpacingEnabled = src->FLineSpacingEnabled;
  FLineSpacingAtLeast = src->FLineSpacingAtLeast;
}

// ---------------------------------------------------------------------------------------

namespace {
constexpr std::array<TkwPaperDimensions, 41> kPaperTable{{
    {8.5, 11},        {8.5, 11},        {11, 17},          {17, 11},          {8.5, 14},
    {5.5, 8.5},       {7.25, 10.5},     {11.6929, 16.5354}, {8.2677, 11.6929}, {8.2677, 11.6929},
    {5.8267, 8.2677}, {9.8425, 13.8976}, {6.9291, 9.8425}, {8.5, 13},          {8.4645, 10.8267},
    {10, 14},         {10, 17},         {8.5, 11},         {4.125, 9.5},      {4.5, 10.375},
    {4.75, 11},       {5, 11.5},        {17, 22},          {22, 34},          {34, 44},
    {4.3307, 8.6614}, {6.3779, 9.0157}, {12.7559, 18.0314}, {9.1057, 12.7559}, {4.4881, 6.3779},
    {4.4881, 9.0157}, {9.8425, 13.8976}, {6.9291, 9.8425}, {6.9291, 4.9212}, {4.3307, 9.0551},
    {3.875, 7.5},     {3.625, 6.5},     {14.875, 11},      {8.5, 12},         {9.8425, 13.8976},
    {0, 0},
}};
}  // namespace

TkwPaperDimensions PaperDimensions(TkwPaperSize ASize) {
  const auto i = static_cast<std::size_t>(ASize);
  return i < kPaperTable.size() ? kPaperTable[i] : TkwPaperDimensions{0, 0};
}

TkwPageSettings::TkwPageSettings() { SetPaperSize(TkwPaperSize::psA4); }

void TkwPageSettings::SetPaperSize(TkwPaperSize A) {
  FPaperSize = A;
  if (A == TkwPaperSize::psCustom) return;
  const TkwPaperDimensions d = PaperDimensions(A);
  if (d.WidthInches <= 0) return;
  FWidth = d.WidthInches * 72.0 * kPixelsPerPoint;
  FHeight = d.HeightInches * 72.0 * kPixelsPerPoint;
  if (FOrientation == TPrinterOrientation::poLandscape) std::swap(FWidth, FHeight);
}

void TkwPageSettings::SetOrientation(TPrinterOrientation A) {
  if (A == FOrientation) return;
  FOrientation = A;
  std::swap(FWidth, FHeight);
}

void TkwPageSettings::Assign(const TkwPersistent& ASource) {
  const auto* src = dynamic_cast<const TkwPageSettings*>(&ASource);
  if (!src) AssignError(ASource);
  FPaperSize = src->FPaperSize;
  FWidth = src->FWidth;
  FHeight = src->FHeight;
  FOrientation = src->FOrientation;
  FLeftMargin = src->FLeftMargin;
  FRightMargin = src->FRightMargin;
  FTopMargin = src->FTopMargin;
  FBottomMargin = src->FBottomMargin;
  FBinNumber = src->FBinNumber;
  FHeaderHeight = src->FHeaderHeight;
  FFooterHeight = src->FFooterHeight;
}

// ---------------------------------------------------------------------------------------

TkwImageSettings::TkwImageSettings() : SourceDPI(kScreenDpi) {}

void TkwImageSettings::Assign(const TkwPersistent& ASource) {
  const auto* src = dynamic_cast<const TkwImageSettings*>(&ASource);
  if (!src) AssignError(ASource);
  CenterInFrame = src->CenterInFrame;
  SizeFromSourceDPI = src->SizeFromSourceDPI;
  ScaleToFrame = src->ScaleToFrame;
  Transparent = src->Transparent;
  KeepAspectRatio = src->KeepAspectRatio;
  Tag = src->Tag;
  DrawFrame = src->DrawFrame;
  OutputImageFormat = src->OutputImageFormat;
  ImagePixelFormat = src->ImagePixelFormat;
  JPEGQuality = src->JPEGQuality;
  SourceDPI = src->SourceDPI;
  BehindText = src->BehindText;
  Border = src->Border;
}

void TkwTextEffects::Assign(const TkwPersistent& ASource) {
  const auto* src = dynamic_cast<const TkwTextEffects*>(&ASource);
  if (!src) AssignError(ASource);
  TextRenderMode = src->TextRenderMode;
  TextRise = src->TextRise;
}

void TkwFrame::Assign(const TkwPersistent& ASource) {
  const auto* src = dynamic_cast<const TkwFrame*>(&ASource);
  if (!src) AssignError(ASource);
  ShowLeft = src->ShowLeft;
  ShowRight = src->ShowRight;
  ShowTop = src->ShowTop;
  ShowBottom = src->ShowBottom;
  Rect = src->Rect;
}

void TkwTableSettings::Assign(const TkwPersistent& ASource) {
  const auto* src = dynamic_cast<const TkwTableSettings*>(&ASource);
  if (!src) AssignError(ASource);
  for (int i = 0; i < 4; ++i) {
    FIntegers[i] = src->FIntegers[i];
    FDoubles[i] = src->FDoubles[i];
  }
  FBytes[0] = src->FBytes[0];
  FBytes[1] = src->FBytes[1];
  FValue = src->FValue;
  for (int i = 0; i < 4; ++i) CellBorders[i] = src->CellBorders[i];
  CellShading = src->CellShading;
  CellMergeAcross = src->CellMergeAcross;
  CellMergeDown = src->CellMergeDown;
}

void TkwDocInfo::Assign(const TkwPersistent& ASource) {
  const auto* src = dynamic_cast<const TkwDocInfo*>(&ASource);
  if (!src) AssignError(ASource);
  Author = src->Author;
  Subject = src->Subject;
  Creator = src->Creator;
  Title = src->Title;
  Keywords = src->Keywords;
}

void TkwStyle::Assign(const TkwPersistent& ASource) {
  const auto* src = dynamic_cast<const TkwStyle*>(&ASource);
  if (!src) AssignError(ASource);
  Font = src->Font;
  Color = src->Color;
  Kind = src->Kind;
  Name = src->Name;
  StyleName = src->StyleName;
}

void TkwBookmark::Assign(const TkwPersistent& ASource) {
  const auto* src = dynamic_cast<const TkwBookmark*>(&ASource);
  if (!src) AssignError(ASource);
  Name = src->Name;
  Tag = src->Tag;
}

// ---------------------------------------------------------------------------------------

int TkwExtMemStream::ReadByte() {
  if (FPos >= FData.size()) return -1;
  return static_cast<std::uint8_t>(FData[FPos++]);
}

void TkwExtMemStream::WriteString(std::u16string_view AText) {
  for (char16_t c : AText) FData.push_back(static_cast<char>(c & 0xFF));
}

void TkwExtMemStream::WriteLongBE(std::uint32_t AValue) {
  const char b[4] = {static_cast<char>(AValue >> 24), static_cast<char>(AValue >> 16),
                     static_cast<char>(AValue >> 8), static_cast<char>(AValue)};
  FData.append(b, 4);
}

void TkwExtMemStream::WriteLongsBE(std::span<const std::uint32_t> AValues) {
  for (std::uint32_t v : AValues) WriteLongBE(v);
}

void TkwExtMemStream::WriteWordBE(std::uint16_t AValue) {
  FData.push_back(static_cast<char>(AValue >> 8));
  FData.push_back(static_cast<char>(AValue));
}

}  // namespace qm
