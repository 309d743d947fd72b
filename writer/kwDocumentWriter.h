#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "base/kwDiagnostics.h"
#include "base/kwConvEnums.h"
#include "platform/Bitmap.h"
#include "writer/kwBookmarkManager.h"
#include "writer/kwStyleManager.h"
#include "writer/kwWriterClasses.h"
#include "writer/kwWriterErrors.h"

namespace qm {

// In text given to WriteText: a line break inside the paragraph.
inline constexpr char16_t kLineBreak = u'\u2028';


// Result of AddRow and WriteBookmarkText when the operation failed.
inline constexpr int kWriterOperationFailed = 1001;

// Notifications; set and read by the converter, fired by the formatter.
using TkwDocNotify = std::function<void(TkwObject& ASender)>;
using TkwPageNotify = std::function<void(TkwObject& ASender, int APageNumber)>;

// Errors passed to a handler instead of raised, when one is set.
using TkwWriterErrorHandler = std::function<void(TkwObject& ASender, const std::exception& AError)>;

// The abstract output engine: a fixed set of virtual drawing and structuring operations,
// with empty bodies here, plus the settings objects that hold the current drawing state.
// The formatter drives it to write a page; TkwRTFDoc derives from it to write RTF. Lengths arrive in the caller's measurement unit unless an operation says
// otherwise. A writer is used by one thread at a time.
class TkwDocumentWriter : public TkwComponent {
public:
  TkwDocumentWriter();
  ~TkwDocumentWriter() override;
  [[nodiscard]] const char* ClassName() const override { return "TkwDocumentWriter"; }

  // --- state (slots 1-16)
  virtual TkwTextFormatting& GetTextFormatting();
  virtual void SetTextFormatting(const TkwTextFormatting& AFormatting);
  virtual TBrush& GetBrush();
  virtual void SetBrush(const TBrush& ABrush);
  virtual TPen& GetPen();
  virtual void SetPen(const TPen& APen);
  virtual TFont& GetFont();
  virtual void SetFont(const TFont& AFont);
  virtual void SetMeasurementUnit(TkwMeasurementUnit AUnit);
  [[nodiscard]] virtual TkwMeasurementUnit GetMeasurementUnit() const;
  virtual TkwDocInfo& GetDocInfo();
  virtual void SetDocInfo(const TkwDocInfo& AInfo);
  virtual TkwPageSettings& GetDefaultPageSettings();
  virtual void SetDefaultPageSettings(const TkwPageSettings& ASettings);
  virtual TkwPageSettings& GetPageSettings();
  virtual void SetPageSettings(const TkwPageSettings& ASettings);

  // --- document structure (slots 17-23)
  virtual void BeginDoc() {}
  virtual void EndDoc() {}
  // Starts a page and returns the page count after it (0 in the base).
  virtual int NewPage() { return 0; }
  virtual void EndPage() {}
  // A section of AColumnCount columns; AColumnSpacing is kept, not written.
  virtual void BeginColumns(int AColumnCount, int AColumnSpacing, const TkwColumnSections& AColumns) {
    (void)AColumnCount; (void)AColumnSpacing; (void)AColumns;
  }
  virtual void NewSection() {}
  virtual void ColumnBreak() {}

  // --- paragraphs (slots 30-37)
  virtual void BeginPara(std::string_view AStyleName = {}) { (void)AStyleName; }
  virtual void BeginCellPara(int ACellIndex, std::string_view AStyleName = {}) {
    (void)ACellIndex; (void)AStyleName;
  }
  virtual void EndPara() {}
  // hAlign 0 left, 1 right, 2 centre, 3 justified; vAlign 0 top, 1 middle, 2 bottom.
  virtual void BeginTextBox(const TkwRect& ARect, std::uint8_t AHAlign, std::uint8_t AVAlign) {
    (void)ARect; (void)AHAlign; (void)AVAlign;
  }
  virtual void EndTextBox() {}

  // --- styles and lists (slots 38-42). Results are indexes; -1 when not supported.
  virtual int AddStyle(const TFont& AFont, TColor AColor, std::string_view AStyleName) {
    (void)AFont; (void)AColor; (void)AStyleName;
    return -1;
  }
  // ANumberFormat is the RTF \levelnfc value (0 decimal, 3 upper letter, 4 lower letter),
  // AAlignment 0 left, 1 right, 2 centre, 3 justified, AFollow the \levelfollow value;
  // ALabelClose is the character that ends each label ("1." "a)"), 0 for a bare number.
  virtual int BeginNumberedList(std::uint8_t ANumberFormat, std::uint8_t AAlignment, int AStartAt,
                                std::uint8_t AFollow, char16_t ALabelClose = u'.') {
    (void)ANumberFormat; (void)AAlignment; (void)AStartAt; (void)AFollow; (void)ALabelClose;
    return -1;
  }
  virtual int BeginBulletList(const TFont& AFont, char16_t ABulletChar, int AStartAt,
                              std::uint8_t AFollow, std::uint8_t AAlignment) {
    (void)AFont; (void)ABulletChar; (void)AStartAt; (void)AFollow; (void)AAlignment;
    return -1;
  }
  virtual void ContinueList(int AListIndex) { (void)AListIndex; }
  virtual void EndList() {}

  // --- text runs (slots 45-47). Runs count only inside an open paragraph.
  virtual void WriteCellText(int ACellIndex, std::u16string_view AText) {
    (void)ACellIndex; (void)AText;
  }
  // ATabPosition > 0 puts a tab stop at that position (from the left margin) before the run.
  // The runs written next stand APoints above (negative: below) the line's baseline, in
  // their own size: superscripts and subscripts. 0 ends it.
  virtual void SetTextRise(double APoints) { (void)APoints; }
  virtual int WriteText(std::u16string_view AText, double ATabPosition = 0, double ACharSpacing = 0) {
    (void)AText; (void)ATabPosition; (void)ACharSpacing;
    return 0;
  }
  virtual int WriteBookmarkText(std::u16string_view AText, std::u16string_view ABookmarkName,
                                double ATabPosition = 0, double ACharSpacing = 0) {
    (void)AText; (void)ABookmarkName; (void)ATabPosition; (void)ACharSpacing;
    return 0;
  }

  // --- pictures (slots 51-54). The writer copies the graphic; the caller keeps its own.
  virtual int AddGraphic(const TGraphic& AGraphic) { (void)AGraphic; return -1; }
  // Places the graphic at (AX, AY), native units, at its pixel size × ppi / 96.
  virtual void DrawGraphic(const TGraphic& AGraphic, double AX, double AY) {
    (void)AGraphic; (void)AX; (void)AY;
  }
  virtual void AddImage(const TkwRect& ARect, const TGraphic& AGraphic) { (void)ARect; (void)AGraphic; }
  virtual void DrawGraphicIndex(const TkwRect& ARect, int AImageIndex) { (void)ARect; (void)AImageIndex; }

  // --- vector shapes (slots 59-68); points are native units, taken unchanged.
  virtual void DrawLine(const TkwPoint& AP1, const TkwPoint& AP2) { (void)AP1; (void)AP2; }
  virtual void DrawRectangle(bool AFilled, const TkwPoint& AP1, const TkwPoint& AP2) {
    (void)AFilled; (void)AP1; (void)AP2;
  }
  virtual void DrawRoundRect(bool AFilled, const TkwPoint& AP1, const TkwPoint& AP2,
                             const TkwPoint& ACorner) {
    (void)AFilled; (void)AP1; (void)AP2; (void)ACorner;
  }
  virtual void DrawEllipse(bool AFilled, const TkwPoint& AP1, const TkwPoint& AP2) {
    (void)AFilled; (void)AP1; (void)AP2;
  }
  virtual void DrawPolygon(const TkwPoints& APoints, bool AFilled) { (void)APoints; (void)AFilled; }
  virtual void DrawPolyline(const TkwPoints& APoints) { (void)APoints; }
  // The arc of the ellipse bounded by AP1-AP2, from AStart to AEnd counter-clockwise.
  virtual void DrawArc(const TkwPoint& AP1, const TkwPoint& AP2, const TkwPoint& AStart,
                       const TkwPoint& AEnd) {
    (void)AP1; (void)AP2; (void)AStart; (void)AEnd;
  }
  // Figures accepted and not written.
  virtual void DrawChord(bool AFilled, const TkwPoint& AP1, const TkwPoint& AP2,
                         const TkwPoint& AP3, const TkwPoint& AP4) {
    (void)AFilled; (void)AP1; (void)AP2; (void)AP3; (void)AP4;
  }
  virtual void DrawPie(bool AFilled, const TkwPoint& AP1, const TkwPoint& AP2,
                       const TkwPoint& AP3, const TkwPoint& AP4) {
    (void)AFilled; (void)AP1; (void)AP2; (void)AP3; (void)AP4;
  }
  virtual void DrawPolyBezier(const TkwPoints& APoints) { (void)APoints; }

  // --- tables (slots 77-82)
  virtual int BeginTable(int AColumnCount, double ALeftOffset, double ATop) {
    (void)AColumnCount; (void)ALeftOffset; (void)ATop;
    return 0;
  }
  // 0 on success, kWriterOperationFailed when the row could not be added; -1 in the base.
  virtual int AddRow(double AHeight) { (void)AHeight; return -1; }
  virtual int AddAutoRow() { return -1; }
  virtual void SetCellWidth(int ACellIndex, double AWidth) { (void)ACellIndex; (void)AWidth; }
  virtual void SetCellRight(int ACellIndex, double APosition) { (void)ACellIndex; (void)APosition; }
  virtual void EndTable() {}

  // --- header and footer (slots 83-86)
  virtual void BeginHeader() {}
  virtual void EndHeader() {}
  virtual void BeginFooter() {}
  virtual void EndFooter() {}

  // --- saved states (slots 89-91)
  // Index of the saved state, or -1 before the document has begun.
  virtual int SaveState() { return -1; }
  // -1 restores the latest state; an index outside the list raises EInvalidEngineState.
  virtual void RestoreState(int AStateIndex) { (void)AStateIndex; }
  virtual void ClearStates() {}

  // --- non-virtual accessors
  [[nodiscard]] const std::string& GetOutputFileName() const { return FOutputFileName; }
  void SetOutputFileName(std::string_view AName) { FOutputFileName = AName; }
  // A caller-supplied stream (not owned); when set and no file name is given, the
  // finished document is written to it.
  [[nodiscard]] std::ostream* GetOutputStream() const { return FOutputStream; }
  void SetOutputStream(std::ostream* AStream) { FOutputStream = AStream; }
  TkwImageSettings& GetImageSettings() { return *FImageSettings; }
  void SetImageSettings(const TkwImageSettings& A) { FImageSettings->Assign(A); }
  TkwTableSettings& GetTableSettings() { return *FTableSettings; }
  void SetTableSettings(const TkwTableSettings& A) { FTableSettings->Assign(A); }
  TkwStyleManager& GetStyleManager() { return *FStyleManager; }
  void SetStyleManager(const TkwStyleManager& A) { FStyleManager->Assign(A); }
  TkwBookmarkManager& GetBookmarkManager() { return *FBookmarkManager; }
  void SetBookmarkManager(const TkwBookmarkManager& A) { FBookmarkManager->Assign(A); }
  [[nodiscard]] bool GetOpenAfterCreate() const { return FOpenAfterCreate; }
  void SetOpenAfterCreate(bool A) { FOpenAfterCreate = A; }
  [[nodiscard]] TkwFormattingMode GetFormattingMode() const { return FFormattingMode; }
  void SetFormattingMode(TkwFormattingMode A) { FFormattingMode = A; }

  const TkwDocNotify& GetOnBeginDoc() const { return FOnBeginDoc; }
  void SetOnBeginDoc(TkwDocNotify A) { FOnBeginDoc = std::move(A); }
  const TkwDocNotify& GetOnEndDoc() const { return FOnEndDoc; }
  void SetOnEndDoc(TkwDocNotify A) { FOnEndDoc = std::move(A); }
  const TkwPageNotify& GetOnPageAnalysed() const { return FOnPageAnalysed; }
  void SetOnPageAnalysed(TkwPageNotify A) { FOnPageAnalysed = std::move(A); }
  const TkwPageNotify& GetOnPageWritten() const { return FOnPageWritten; }
  void SetOnPageWritten(TkwPageNotify A) { FOnPageWritten = std::move(A); }
  // Where what was tolerated is noted; not owned, may be null.
  void SetDiagnostics(TkwDiagnostics* ADiag) { FDiag = ADiag; }
  [[nodiscard]] TkwDiagnostics* GetDiagnostics() const { return FDiag; }

protected:
  TPen FPen;
  TFont FFont;
  TBrush FBrush;
  std::unique_ptr<TkwDocInfo> FDocInfo;
  std::unique_ptr<TkwImageSettings> FImageSettings;
  std::unique_ptr<TkwTextFormatting> FTextFormatting;
  std::unique_ptr<TkwPageSettings> FDefaultPageSettings;
  std::unique_ptr<TkwPageSettings> FCurrentPageSettings;
  std::unique_ptr<TkwTableSettings> FTableSettings;
  std::unique_ptr<TkwStyleManager> FStyleManager;
  std::unique_ptr<TkwBookmarkManager> FBookmarkManager;
  std::string FOutputFileName;
  std::ostream* FOutputStream = nullptr;  // not owned
  TkwFormattingMode FFormattingMode = TkwFormattingMode::fmFormatted;
  bool FOpenAfterCreate = false;
  TkwMeasurementUnit FMeasurementUnit = TkwMeasurementUnit::muPixels;
  TkwDocNotify FOnBeginDoc;
  TkwDocNotify FOnEndDoc;
  TkwPageNotify FOnPageAnalysed;
  TkwPageNotify FOnPageWritten;
  TkwDiagnostics* FDiag = nullptr;  // not owned
};

}  // namespace qm
