#pragma once

#include <deque>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/kwWorkQueue.h"
#include "writer/kwDocumentWriter.h"
#include "writer/kwRTFHeader.h"
#include "writer/kwRTFParagraph.h"
#include "writer/kwRTFPicture.h"
#include "writer/kwRTFSection.h"
#include "writer/kwRTFShapes.h"
#include "writer/kwRTFTable.h"
#include "writer/kwRTFTextBox.h"

namespace qm {

// The RTF writer: builds the RTF element tree from the writer operations and writes the
// file at EndDoc.
//
// Output goes to a temporary file beside the target, created at BeginDoc and renamed over
// the target at the end of EndDoc; until then an existing target is untouched, and a job
// that fails or is abandoned (the writer destroyed before EndDoc) removes the temporary
// file. Without a file name the document goes to the output stream when one is set, else
// it stays in memory (GetRTFText).
class TkwRTFDoc : public TkwDocumentWriter {
public:
  TkwRTFDoc();
  ~TkwRTFDoc() override;
  [[nodiscard]] const char* ClassName() const override { return "TkwRTFDoc"; }
  [[nodiscard]] static std::string GetDefaultExt() { return "rtf"; }

  void SetMeasurementUnit(TkwMeasurementUnit AUnit) override;
  void SetPageSettings(const TkwPageSettings& ASettings) override;

  void BeginDoc() override;
  void EndDoc() override;
  int NewPage() override;
  void BeginColumns(int AColumnCount, int AColumnSpacing, const TkwColumnSections& AColumns) override;
  void NewSection() override;
  void ColumnBreak() override;

  void BeginPara(std::string_view AStyleName = {}) override;
  void BeginCellPara(int ACellIndex, std::string_view AStyleName = {}) override;
  void EndPara() override;
  void BeginTextBox(const TkwRect& ARect, std::uint8_t AHAlign, std::uint8_t AVAlign) override;
  void EndTextBox() override;

  int AddStyle(const TFont& AFont, TColor AColor, std::string_view AStyleName) override;
  int BeginNumberedList(std::uint8_t ANumberFormat, std::uint8_t AAlignment, int AStartAt,
                        std::uint8_t AFollow, char16_t ALabelClose = u'.') override;
  int BeginBulletList(const TFont& AFont, char16_t ABulletChar, int AStartAt, std::uint8_t AFollow,
                      std::uint8_t AAlignment) override;
  void ContinueList(int AListIndex) override;
  void EndList() override;

  void WriteCellText(int ACellIndex, std::u16string_view AText) override;
  void SetTextRise(double APoints) override { FTextRise = APoints; }
  int WriteText(std::u16string_view AText, double ATabPosition = 0, double ACharSpacing = 0) override;
  int WriteBookmarkText(std::u16string_view AText, std::u16string_view ABookmarkName,
                        double ATabPosition = 0, double ACharSpacing = 0) override;

  int AddGraphic(const TGraphic& AGraphic) override;
  void DrawGraphic(const TGraphic& AGraphic, double AX, double AY) override;
  void AddImage(const TkwRect& ARect, const TGraphic& AGraphic) override;
  void DrawGraphicIndex(const TkwRect& ARect, int AImageIndex) override;
  // A picture AddImage is to be given on this page. When its data depends on its pixels
  // alone, it is encoded from a copy on the picture queue meanwhile, and AddImage takes the
  // result; pictures not placed by the end of the page are forgotten.
  void PreparePicture(const TGraphic& AGraphic);
  // The same for a graphic nobody changes: it is encoded from the graphic itself, once for
  // however often it is prepared and placed on the page, and its placements share the data.
  void PreparePicture(std::shared_ptr<const TGraphic> AGraphic);
  void EndPage() override;

  void DrawLine(const TkwPoint& AP1, const TkwPoint& AP2) override;
  void DrawRectangle(bool AFilled, const TkwPoint& AP1, const TkwPoint& AP2) override;
  void DrawRoundRect(bool AFilled, const TkwPoint& AP1, const TkwPoint& AP2, const TkwPoint& ACorner) override;
  void DrawEllipse(bool AFilled, const TkwPoint& AP1, const TkwPoint& AP2) override;
  void DrawPolygon(const TkwPoints& APoints, bool AFilled) override;
  void DrawPolyline(const TkwPoints& APoints) override;
  void DrawArc(const TkwPoint& AP1, const TkwPoint& AP2, const TkwPoint& AStart, const TkwPoint& AEnd) override;

  int BeginTable(int AColumnCount, double ALeftOffset, double ATop) override;
  int AddRow(double AHeight) override;
  int AddAutoRow() override;
  void SetCellWidth(int ACellIndex, double AWidth) override;
  void SetCellRight(int ACellIndex, double APosition) override;
  void EndTable() override;

  void BeginHeader() override;
  void EndHeader() override;
  void BeginFooter() override;
  void EndFooter() override;

  int SaveState() override;
  void RestoreState(int AStateIndex) override;
  void ClearStates() override;

  // --- RTF writer specifics
  TkwTextEffects& GetTextEffects() { return FTextEffects; }
  void SetTextEffects(const TkwTextEffects& A) { FTextEffects.Assign(A); }
  // When set, the unsupported-graphic and invalid-state errors go to the handler and the
  // operation has no effect.
  void SetErrorHandler(TkwWriterErrorHandler AHandler) { FErrorHandler = std::move(AHandler); }
  // The source of style and shape identifiers; by default a fixed sequence, started
  // again by every BeginDoc.
  void SetRandomProvider(std::shared_ptr<TkwRandomProvider> ARandom);
  // The last document, when it was written neither to a file nor to a stream.
  [[nodiscard]] const std::string& GetRTFText() const { return FRTFText; }
  [[nodiscard]] bool GetDocBegun() const { return FDocBegun; }
  [[nodiscard]] int GetPageCount() const { return FPageCount; }
  [[nodiscard]] int GetPageNumber() const { return FPageNumber; }
  [[nodiscard]] int GetImageCount() const { return static_cast<int>(FImages.size()); }
  [[nodiscard]] int GetStateCount() const { return static_cast<int>(FStates.size()); }
  [[nodiscard]] double GetUnitFactor() const { return FUnitFactor; }
  TkwRTFHeader& GetHeader() { return *FHeader; }
  TkwRTFDocArea& GetDocArea() { return *FDocArea; }
  TkwRTFSection& GetCurrentSection() { return *FCurrentSection; }

private:
  std::shared_ptr<TkwRandomProvider> FRandom;
  bool FRandomInjected = false;
  double FUnitFactor = 1.0;
  TkwTextEffects FTextEffects;
  std::unique_ptr<TkwRTFHeader> FHeader;
  std::unique_ptr<TkwRTFDocArea> FDocArea;
  TkwRTFSection* FCurrentSection = nullptr;  // not owned: in the document area
  TkwRTFElements* FCurrentList = nullptr;    // not owned: body, header or footer list
  std::unique_ptr<TkwRTFParagraph> FOpenPara;
  double FTextRise = 0;  // points, SetTextRise
  TkwRTFParagraph* FRunTarget = nullptr;  // not owned: the paragraph runs go to
  std::unique_ptr<TkwRTFTableItem> FTable;
  std::unique_ptr<TkwRTFTextbox> FTextBox;
  std::vector<std::unique_ptr<TkwPageItem>> FPages;
  int FPageCount = 0;
  int FPageNumber = 0;
  // The image list. A graphic added and placed in one call (AddImage, DrawGraphic) keeps
  // only its rendered picture; one added by AddGraphic keeps the graphic as well, for
  // DrawGraphicIndex to render again with the settings of the time.
  struct TkwImageEntry {
    std::unique_ptr<TGraphic> Graphic;
    std::shared_ptr<const TkwPictureData> Data;
  };
  std::vector<TkwImageEntry> FImages;
  // Pictures encoded on the picture queue: this page's, until AddImage places them; then
  // placed ones, whose data the tree shares and EndDoc fills in before writing.
  struct TkwPreparedPicture {
    const TGraphic* Source = nullptr;      // the graphic AddImage is to be given; not owned
    std::shared_ptr<const TGraphic> Copy;  // the pixels the data is made from (Source when shared)
    std::shared_future<TkwPictureData> Data;
    std::shared_ptr<TkwPictureData> Target;  // what the placements of a shared graphic hold
  };
  struct TkwPendingPicture {
    std::shared_ptr<TkwPictureData> Target;
    std::shared_future<TkwPictureData> Data;
  };
  std::vector<TkwPreparedPicture> FPrepared;
  std::vector<TkwPendingPicture> FPending;
  // Jobs that may still be running, with the bytes of the pixels they hold: the caller
  // waits for the oldest rather than let copies pile up.
  std::deque<std::pair<std::shared_future<TkwPictureData>, std::size_t>> FInFlight;
  std::size_t FInFlightBytes = 0;
  // The document's own picture thread, started by the first picture; destroyed before the
  // results above, it joins its thread first.
  TkwWorkQueue FPictureQueue;
  std::size_t FBodyEstimate = 0;  // bytes of run text written so far, for reserving the body
  std::vector<std::unique_ptr<TkwEngineState>> FStates;
  std::string FRTFText;
  std::string FTempFileName;
  TkwWriterErrorHandler FErrorHandler;
  bool FDocBegun = false;
  bool FParaBegun = false;
  bool FInTable = false;
  bool FInTextBox = false;
  bool FInList = false;
  int FListIndex = -1;
  int FCellIndex = 0;
  int FColumnCount = 0;
  std::optional<TkwRect> FLastPictureRect;

  void ResetTree();
  void RemoveTempFile();
  void Fail(const std::exception& AError);
  void AddShape(int AKind, const TkwPoints& APoints, bool AFilled);
  // False (after reporting "Unknown Graphics format") for a graphic the writer cannot copy.
  bool AcceptGraphic(const TGraphic& AGraphic);
  // Places a listed image, rendered now with the current settings and brush.
  void PlacePicture(const TkwRect& ANativeRect, int AImageIndex);
  // Lists a graphic and places it in one step: only its rendered picture is kept.
  void PlaceNewGraphic(const TkwRect& ANativeRect, const TGraphic& AGraphic);
  // Whether PreparePicture may start encoding AGraphic now: waits for room on the queue.
  bool MayPrepare(const TGraphic& AGraphic);
  void StartPreparing(const TGraphic& ASource, std::shared_ptr<const TGraphic> APixels);
  // The data, filled in before writing, that PreparePicture started for this graphic (the
  // same pixels), if any.
  std::shared_ptr<const TkwPictureData> TakePrepared(const TGraphic& AGraphic);
  // Waits for the data of every placed picture.
  void ResolvePending();
  void AddRunToTarget(std::u16string_view AText, double ATab, double ASpacing,
                      const std::u16string* ABookmark);
  [[nodiscard]] TkwRect ToNative(const TkwRect& ARect) const;
  void WriteOutput(const std::string& AHead, std::string&& ABody);
};

}  // namespace qm
