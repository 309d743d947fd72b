#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/Font.h"
#include "base/kwObject.h"
#include "base/Units.h"
#include "base/kwRect.h"
#include "platform/Bitmap.h"

// The settings objects through which the formatter and the RTF writer share the current
// drawing and layout state. Lengths are stored in native units (screen pixels); setters
// take value × NativeFactor, getters give stored ÷ NativeFactor.
namespace qm {

// ---------------------------------------------------------------------------------------
// Units

enum class TkwMeasurementUnit : std::uint8_t { muPixels, muInches, muMillimetres, muPoints, muTwips };

// Native units per one unit; 1 for any value outside the table.
[[nodiscard]] double MeasurementFactor(TkwMeasurementUnit AUnit);
// Native length → twips: round(value × 1440 / ppi), halves to even.
[[nodiscard]] int NativeToTwips(double AValue);

// ---------------------------------------------------------------------------------------
// Drawing state values (the desktop's font, pen and brush, as plain copyable values)

enum class TPenStyle : std::uint8_t {
  psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame, psUserStyle, psAlternate
};
enum class TBrushStyle : std::uint8_t {
  bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross
};

struct TPen {
  TColor Color = clBlack;
  TPenStyle Style = TPenStyle::psSolid;
  int Width = 1;  // native units
  bool operator==(const TPen&) const = default;
};

struct TBrush {
  TColor Color = clWhite;
  TBrushStyle Style = TBrushStyle::bsSolid;
  bool operator==(const TBrush&) const = default;
};

// One border line of a cell, a paragraph or a picture.
enum class TkwBorderStyle : std::uint8_t { bdNone, bdSingle, bdDotted, bdDashed, bdDouble };
struct TkwBorderLine {
  TkwBorderStyle Style = TkwBorderStyle::bdNone;
  double Width = 0;  // native units
  TColor Color = clBlack;
  bool operator==(const TkwBorderLine&) const = default;
};
// Left, top, right, bottom.
enum TkwSide : std::uint8_t { sdLeft = 0, sdTop = 1, sdRight = 2, sdBottom = 3 };

// One column of a multi-column section, native units.
struct TkwColumnSection {
  double SpaceAfter = 0;  // space to the right of the column
  double Width = 0;
};
using TkwColumnSections = std::vector<TkwColumnSection>;

// ---------------------------------------------------------------------------------------
// Persistent objects

// Raised when Assign is given an object of another class.
class EConvertError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class TkwPersistent : public TkwObject {
public:
  // Copies from an object of the same class; any other class raises EConvertError
  // "Cannot assign a <source> to a <target>.".
  virtual void Assign(const TkwPersistent& ASource);
  [[nodiscard]] virtual const char* ClassName() const { return "TkwPersistent"; }

protected:
  [[noreturn]] void AssignError(const TkwPersistent& ASource) const;
};

class TkwBorder : public TkwPersistent {
public:
  void Assign(const TkwPersistent& ASource) override;
  [[nodiscard]] const char* ClassName() const override { return "TkwBorder"; }

  bool DrawLeft = false;
  bool DrawRight = false;
  bool DrawTop = false;
  bool DrawBottom = false;
  TColor Color = clBlack;
  TPenStyle Style = TPenStyle::psSolid;
  int Width = 1;

  bool GetDrawLeft() const { return DrawLeft; }
  void SetDrawLeft(bool A) { DrawLeft = A; }
  bool GetDrawRight() const { return DrawRight; }
  void SetDrawRight(bool A) { DrawRight = A; }
  bool GetDrawTop() const { return DrawTop; }
  void SetDrawTop(bool A) { DrawTop = A; }
  bool GetDrawBottom() const { return DrawBottom; }
  void SetDrawBottom(bool A) { DrawBottom = A; }
};

class TkwParaBorder final : public TkwBorder {
public:
  void Assign(const TkwPersistent& ASource) override;
  [[nodiscard]] const char* ClassName() const override { return "TkwParaBorder"; }

  int Spacing = 0;  // distance between border and text, native units
  int GetSpacing() const { return Spacing; }
  void SetSpacing(int A) { Spacing = A; }
};

class TkwTextFormatting final : public TkwPersistent {
public:
  TkwTextFormatting();
  void Assign(const TkwPersistent& ASource) override;
  [[nodiscard]] const char* ClassName() const override { return "TkwTextFormatting"; }

  double GetSpaceBefore() const { return FSpaceBefore / FNativeFactor; }
  void SetSpaceBefore(double A) { FSpaceBefore = A * FNativeFactor; }
  double GetLeftIndent() const { return FLeftIndent / FNativeFactor; }
  void SetLeftIndent(double A) { FLeftIndent = A * FNativeFactor; }
  double GetRightIndent() const { return FRightIndent / FNativeFactor; }
  void SetRightIndent(double A) { FRightIndent = A * FNativeFactor; }
  double GetFirstLineIndent() const { return FFirstLineIndent / FNativeFactor; }
  void SetFirstLineIndent(double A) { FFirstLineIndent = A * FNativeFactor; }
  double GetLineSpacing() const { return FLineSpacing / FNativeFactor; }
  void SetLineSpacing(double A) { FLineSpacing = A * FNativeFactor; }

  // Stored values in native units, as the RTF writer reads them.
  double NativeSpaceBefore() const { return FSpaceBefore; }
  double NativeLeftIndent() const { return FLeftIndent; }
  double NativeRightIndent() const { return FRightIndent; }
  double NativeFirstLineIndent() const { return FFirstLineIndent; }
  double NativeLineSpacing() const { return FLineSpacing; }

  std::uint8_t GetAlignment() const { return FAlignment; }  // 0 left, 1 right, 2 centre, 3 justified
  void SetAlignment(std::uint8_t A) { FAlignment = A; }
  TkwParaBorder& GetBorder() { return *FBorder; }
  const TkwParaBorder& GetBorder() const { return *FBorder; }
  void SetBorder(const TkwParaBorder& A) { FBorder->Assign(A); }
  double GetNativeFactor() const { return FNativeFactor; }
  void SetNativeFactor(double A) { FNativeFactor = A != 0 ? A : 1.0; }
  bool GetLineSpacingEnabled() const { return FLineSpacingEnabled; }
  void SetLineSpacingEnabled(bool A) { FLineSpacingEnabled = A; }
  bool GetLineSpacingAtLeast() const { return FLineSpacingAtLeast; }
  void SetLineSpacingAtLeast(bool A) { FLineSpacingAtLeast = A; }
  // A tab stop at this position is right-aligned and filled with dots (a table of
  // contents' leader to its page number); 0 for none.
  double GetLeaderTab() const { return FLeaderTab / FNativeFactor; }
  void SetLeaderTab(double A) { FLeaderTab = A * FNativeFactor; }
  double NativeLeaderTab() const { return FLeaderTab; }

private:
  double FSpaceBefore = 0;
  double FLeftIndent = 0;
  double FRightIndent = 0;
  double FFirstLineIndent = 0;
  double FLineSpacing = 0.1;
  double FLeaderTab = 0;
  std::uint8_t FAlignment = 0;
  std::unique_ptr<TkwParaBorder> FBorder;
  double FNativeFactor = 1.0;
  bool FLineSpacingEnabled = true;
  bool FLineSpacingAtLeast = false;
};

enum class TPrinterOrientation : std::uint8_t { poPortrait, poLandscape };

enum class TkwPaperSize : std::uint8_t {
  psLetter, psLetterSmall, psTabloid, psLedger, psLegal, psStatement, psExecutive, psA3, psA4,
  psA4Small, psA5, psB4, psB5, psFolio, psQuarto, ps10X14, ps11X17, psNote, psEnv10, psEnv11,
  psEnv12, psEnv14, psCSheet, psDSheet, psESheet, psEnvDL, psEnvC5, psEnvC3, psEnvC4, psEnvC6,
  psEnvC65, psEnvB4, psEnvB5, psEnvB6, psEnvItaly, psEnvMonarch, psEnvPersonal, psFanfoldUS,
  psFanfoldStdGerman, psISOB4, psCustom
};

struct TkwPaperDimensions {
  double WidthInches;
  double HeightInches;
};
// Width and height in inches of a paper size; {0, 0} for psCustom.
[[nodiscard]] TkwPaperDimensions PaperDimensions(TkwPaperSize ASize);

class TkwPageSettings final : public TkwPersistent {
public:
  TkwPageSettings();
  void Assign(const TkwPersistent& ASource) override;
  [[nodiscard]] const char* ClassName() const override { return "TkwPageSettings"; }

  TkwPaperSize GetPaperSize() const { return FPaperSize; }
  // Any size but psCustom sets Width and Height from the paper table (swapped in landscape).
  void SetPaperSize(TkwPaperSize A);
  TPrinterOrientation GetOrientation() const { return FOrientation; }
  // A change of orientation swaps Width and Height.
  void SetOrientation(TPrinterOrientation A);

  double GetWidth() const { return FWidth / FNativeFactor; }
  void SetWidth(double A) { FWidth = A * FNativeFactor; }
  double GetHeight() const { return FHeight / FNativeFactor; }
  void SetHeight(double A) { FHeight = A * FNativeFactor; }
  double GetLeftMargin() const { return FLeftMargin / FNativeFactor; }
  void SetLeftMargin(double A) { FLeftMargin = A * FNativeFactor; }
  double GetRightMargin() const { return FRightMargin / FNativeFactor; }
  void SetRightMargin(double A) { FRightMargin = A * FNativeFactor; }
  double GetTopMargin() const { return FTopMargin / FNativeFactor; }
  void SetTopMargin(double A) { FTopMargin = A * FNativeFactor; }
  double GetBottomMargin() const { return FBottomMargin / FNativeFactor; }
  void SetBottomMargin(double A) { FBottomMargin = A * FNativeFactor; }
  double GetHeaderHeight() const { return FHeaderHeight / FNativeFactor; }
  void SetHeaderHeight(double A) { FHeaderHeight = A * FNativeFactor; }
  double GetFooterHeight() const { return FFooterHeight / FNativeFactor; }
  void SetFooterHeight(double A) { FFooterHeight = A * FNativeFactor; }
  int GetBinNumber() const { return FBinNumber; }
  void SetBinNumber(int A) { FBinNumber = A; }
  double GetNativeFactor() const { return FNativeFactor; }
  void SetNativeFactor(double A) { FNativeFactor = A != 0 ? A : 1.0; }

  // Stored values in native units.
  double NativeWidth() const { return FWidth; }
  double NativeHeight() const { return FHeight; }
  double NativeLeftMargin() const { return FLeftMargin; }
  double NativeRightMargin() const { return FRightMargin; }
  double NativeTopMargin() const { return FTopMargin; }
  double NativeBottomMargin() const { return FBottomMargin; }
  double NativeHeaderHeight() const { return FHeaderHeight; }
  double NativeFooterHeight() const { return FFooterHeight; }

private:
  TkwPaperSize FPaperSize = TkwPaperSize::psA4;
  double FWidth = 0;
  double FHeight = 0;
  TPrinterOrientation FOrientation = TPrinterOrientation::poPortrait;
  double FLeftMargin = 0;
  double FRightMargin = 0;
  double FTopMargin = 0;
  double FBottomMargin = 0;
  int FBinNumber = 0;
  double FHeaderHeight = 0;
  double FFooterHeight = 0;
  double FNativeFactor = 1.0;
};

enum class TkwOutputImageFormat : std::uint8_t {
  ifBMP, ifJPEG, ifGIF, ifPNG, ifMetafile, ifCCITT3, ifCCITT4
};

class TkwImageSettings final : public TkwPersistent {
public:
  TkwImageSettings();
  void Assign(const TkwPersistent& ASource) override;
  [[nodiscard]] const char* ClassName() const override { return "TkwImageSettings"; }

  bool CenterInFrame = false;
  bool SizeFromSourceDPI = false;
  bool ScaleToFrame = false;
  bool Transparent = false;
  bool KeepAspectRatio = false;
  int Tag = 0;  // set by the formatter before each picture; not read by the RTF writer
  bool DrawFrame = false;
  TkwOutputImageFormat OutputImageFormat = TkwOutputImageFormat::ifBMP;
  TPixelFormat ImagePixelFormat = TPixelFormat::pf24bit;
  int JPEGQuality = 100;  // 0..100
  int SourceDPI = 96;
  bool BehindText = false;
  TkwBorderLine Border;  // the picture's frame, on all four sides; set by the formatter per picture
};

enum class TkwTextRenderMode : std::uint8_t { trmFill, trmStroke, trmFillStroke };
enum class TkwTextRise : std::uint8_t { trNormal, trSuperscript, trSubscript };

class TkwTextEffects final : public TkwPersistent {
public:
  void Assign(const TkwPersistent& ASource) override;
  [[nodiscard]] const char* ClassName() const override { return "TkwTextEffects"; }

  TkwTextRenderMode TextRenderMode = TkwTextRenderMode::trmFill;
  TkwTextRise TextRise = TkwTextRise::trNormal;
};

class TkwFrame final : public TkwPersistent {
public:
  void Assign(const TkwPersistent& ASource) override;
  [[nodiscard]] const char* ClassName() const override { return "TkwFrame"; }

  bool ShowLeft = true;
  bool ShowRight = true;
  bool ShowTop = true;
  bool ShowBottom = true;
  TkwRect Rect;
};

class TkwTableSettings final : public TkwPersistent {
public:
  void Assign(const TkwPersistent& ASource) override;
  [[nodiscard]] const char* ClassName() const override { return "TkwTableSettings"; }

  // Plain data kept for callers; the RTF output does not read them.
  int FIntegers[4] = {0, 0, 0, 0};
  double FDoubles[4] = {0, 0, 0, 0};
  std::uint8_t FBytes[2] = {0, 0};
  double FValue = 0;

  std::uint8_t CellVAlign = 0;  // 0 top, 1 centre, 2 bottom
  std::uint8_t CellHAlign = 0;  // 0 left, 1 right, 2 centre
  double NativeFactor = 1.0;
  // What the next cell given a right boundary draws: its borders by side, its shading
  // (clNone for none) and its place in a merge (0 none, 1 first, 2 merged into the one
  // before), across and down.
  TkwBorderLine CellBorders[4];
  TColor CellShading = clNone;
  std::uint8_t CellMergeAcross = 0;
  std::uint8_t CellMergeDown = 0;
};

class TkwDocInfo final : public TkwPersistent {
public:
  void Assign(const TkwPersistent& ASource) override;
  [[nodiscard]] const char* ClassName() const override { return "TkwDocInfo"; }

  std::u16string Author;
  std::u16string Subject;
  std::u16string Creator;
  std::u16string Title;
  std::u16string Keywords;
};

class TkwStyle final : public TkwPersistent {
public:
  void Assign(const TkwPersistent& ASource) override;
  [[nodiscard]] const char* ClassName() const override { return "TkwStyle"; }

  std::string Name;  // RTF control word without backslash: "s11", "s12", ...
  TColor Color = clBlack;
  TFont Font;
  std::uint8_t Kind = 0;
  std::string StyleName;  // the user-visible name
};
using TkwStyles = std::vector<std::unique_ptr<TkwStyle>>;

class TkwBookmark final : public TkwPersistent {
public:
  void Assign(const TkwPersistent& ASource) override;
  [[nodiscard]] const char* ClassName() const override { return "TkwBookmark"; }

  std::u16string Name;
  int Tag = 0;
};
using TkwBookmarks = std::vector<std::unique_ptr<TkwBookmark>>;

// Snapshot of the writer's drawing state (SaveState / RestoreState).
class TkwEngineState final : public TkwObject {
public:
  TFont Font;
  TPen Pen;
  TBrush Brush;
  TkwImageSettings ImageSettings;
  TkwTextFormatting TextFormatting;
  TkwTableSettings TableSettings;
  TkwPageSettings PageSettings;
  TkwTextEffects TextEffects;
};

class TkwBandItem : public TkwObject {
public:
  std::vector<int> FList1;
  std::vector<int> FList2;
  int FValue1 = 0;
  int FValue2 = 0;
};

// One per output page, with a copy of that page's settings.
class TkwPageItem final : public TkwBandItem {
public:
  TkwPageSettings PageSettings;
};

// Byte buffer with big-endian writers, used to build PNG data.
class TkwExtMemStream final : public TkwObject {
public:
  void WriteByte(std::uint8_t AValue) { FData.push_back(static_cast<char>(AValue)); }
  // Reads the byte at the read position, or -1 at the end.
  int ReadByte();
  // Writes the low byte of each character.
  void WriteString(std::u16string_view AText);
  void WriteString(std::string_view AText) { FData.append(AText); }
  void WriteLongBE(std::uint32_t AValue);
  void WriteLongsBE(std::span<const std::uint32_t> AValues);
  void WriteWordBE(std::uint16_t AValue);
  void WriteBytes(std::string_view ABytes) { FData.append(ABytes); }

  [[nodiscard]] const std::string& GetData() const { return FData; }
  [[nodiscard]] std::string TakeData() { return std::move(FData); }
  [[nodiscard]] std::size_t GetSize() const { return FData.size(); }
  void SetPosition(std::size_t APos) { FPos = APos; }
  void Clear() { FData.clear(); FPos = 0; }

private:
  std::string FData;
  std::size_t FPos = 0;
};

// Base of the writer components; About and Version ignore what is set.
class TkwComponent : public TkwPersistent {
public:
  [[nodiscard]] const char* ClassName() const override { return "TkwComponent"; }
  [[nodiscard]] std::string GetAbout() const { return "Quillmark document writer"; }
  void SetAbout(std::string_view) {}
  [[nodiscard]] std::string GetVersion() const { return "1.1"; }
  void SetVersion(std::string_view) {}
};

}  // namespace qm
