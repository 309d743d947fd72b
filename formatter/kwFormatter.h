#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>

#include "base/kwDiagnostics.h"
#include "base/kwConvEnums.h"
#include "formatter/kwFormatterElements.h"
#include "formatter/kwFormatterInput.h"
#include "formatter/kwFormatterMeasure.h"
#include "writer/kwDocumentWriter.h"

// The layout formatter. Through its input port it collects one page of glyphs and
// pictures, and at EndPage rebuilds lines, paragraphs, lists, tables, columns and
// sections and renders them into the writer it is bound to (a TkwRTFDoc in production).
// Page settings are in its measurement unit; the parser sets points.
//
// Order of calls for a document: SetMeasurementUnit(muPoints) and page size through
// GetPageSettings(), BeginDoc, per page BeginPage, AddGlyph/AddPicture ... EndPage,
// NewPage before every further page, EndDoc. The bound writer receives BeginDoc, then
// per page the pictures, the sections and EndPage, NewPage between pages, and EndDoc.
namespace qm {

// Progress and end-of-page notifications: sender (the formatter) first, then the page
// number being written.
using TkwFormatterPageEvent = std::function<void(TkwObject& ASender, int AValue)>;

class TkwFormatter : public TkwObject, public TkwFormatterInput {
public:
  // ADocument is not owned and must outlive the formatter.
  explicit TkwFormatter(TkwDocumentWriter& ADocument);
  ~TkwFormatter() override;

  // --- document, driven by the parser
  void SetMeasurementUnit(TkwMeasurementUnit AUnit);
  [[nodiscard]] TkwMeasurementUnit GetMeasurementUnit() const;
  TkwPageSettings& GetPageSettings();
  void SetPageSettings(const TkwPageSettings& ASettings);
  [[nodiscard]] TkwFormattingMode GetFormattingMode() const { return FFormattingMode; }
  void SetFormattingMode(TkwFormattingMode AMode) { FFormattingMode = AMode; }
  void BeginDoc();
  void EndDoc();
  // Returns the count of pages started (unchanged when starting the page failed).
  int NewPage();

  // --- the input port
  // The displayed page's size becomes the page settings' size.
  void BeginPage(const TkwPageRecord& APage) override;
  void AddGlyph(const TkwGlyphRecord& AGlyph) override;
  // The formatter keeps a copy of the picture; the caller keeps its own.
  void AddPicture(const TkwPictureRecord& APicture) override;
  // The formatter keeps a copy of the path.
  void AddPath(const TkwPathRecord& APath) override;
  // Kept until the page ends (up to kMaxRotatedLinesHeld a page; later ones are laid
  // upright at once): a line on a drawing that becomes a picture is drawn into it where it
  // stands, any other is laid upright as text.
  void AddRotatedLine(const TkwRotatedLineRecord& ALine) override;
  // Analyses the collected page and renders it into the bound writer.
  void EndPage() override;

  // One visible glyph, as AddGlyph takes it: AGlyphRect in screen pixels from the page's
  // top-left corner, AX and AY the origin in points from the page's lower-left corner,
  // AAdvance in points. AWordGap: the gap after the previous glyph's advance, in points,
  // from which on the glyph starts a new word; 0 lets the formatter judge by AFont.
  void AddChar(const TFont& AFont, const TkwRect& AGlyphRect, double ACharSpace,
               char16_t ACharacter, bool ANotFirstInString, bool ANotFirstInOperator,
               double AAdvance, double AY, double AX, double AWordGap = 0);
  // One picture: ARect in points from the page's top-left corner. A copy of AGraphic is
  // kept; a shared graphic is kept as it is.
  void AddImage(const TkwRect& ARect, const TGraphic& AGraphic);
  void AddImage(const TkwRect& ARect, std::shared_ptr<const TGraphic> AGraphic);

  // --- events (set by the converter)
  // Fired with the page number after the page is analysed, before it is written.
  TkwFormatterPageEvent OnProgress;
  // Fired with the page number after the page is written.
  TkwFormatterPageEvent OnEndPage;
  // Every detected line, image, paragraph and table; the handler may change the action.
  TkwOnElementDetected OnElementDetected;
  // A run in the fallback font too wide for its place gets a smaller size.
  TkwOnFontSubstituting OnFontSubstituting;

  // --- state
  [[nodiscard]] TkwDocumentWriter& GetRTFDocument() const { return *FRTFDocument; }
  [[nodiscard]] int GetPageCount() const { return FPageCount; }
  // The page being collected; nullptr between EndPage and the next NewPage.
  [[nodiscard]] TkwFormatterPage* GetPage() const { return FPage.get(); }
  // Text measuring; tests may lay pages out with fixed metrics. The formatter keeps the
  // measurer.
  void SetTextMeasurer(std::unique_ptr<TkwTextMeasurer> AMeasurer);
  [[nodiscard]] TkwFontWidthCache& GetWidthCache() { return *FWidths; }
  // Where what the layout tolerated is noted; not owned, may be null.
  void SetDiagnostics(TkwDiagnostics* ADiag) { FDiag = ADiag; }
  [[nodiscard]] TkwDiagnostics* GetDiagnostics() const { return FDiag; }
  // Sizes the fallback font was fitted to on the current page, by font size.
  [[nodiscard]] std::map<int, int>& GetSizeFits() { return FSizeFits; }

  // Default margins at document and page start, in points.
  static constexpr double kDefaultLeftMargin = 72;
  static constexpr double kDefaultTopMargin = 110;
  static constexpr double kDefaultRightMargin = 36;
  static constexpr double kDefaultBottomMargin = 36;
  // The bottom margin a written page gets at most, in points. The page's text is placed
  // from the top, so the margin only decides where a word processor breaks the page: the
  // whole height is room for text that sets a little taller than on the page.
  static constexpr double kFitBottomMargin = 0;

private:
  void SetDefaultMargins();
  // The rotated lines left to the text, laid upright after the page's own text.
  void LayUpright(const std::vector<TkwRotatedLineRecord>& ALines);
  void EnsurePage();
  void TrackMargins(double ATopY, double AX, double AAdvance, const TkwRect& AGlyphRect) {
    // Most glyphs of a page stand inside the extent already seen, where no margin moves: a
    // margin only shrinks to a glyph beyond every glyph tracked before.
    const TTrackedExtent& t = FTracked;
    if (!(t.Valid && ATopY >= t.MinTop && ATopY <= t.MaxTop && (AX >= t.MinLeft || AX <= 0) &&
          AX + AAdvance <= t.MaxRight)) {
      WidenMargins(ATopY, AX, AAdvance, AGlyphRect);
    }
  }
  void WidenMargins(double ATopY, double AX, double AAdvance, const TkwRect& AGlyphRect);
  // The letter that a glyph drawn back over the last glyph of ARun makes with it, when one
  // of them is a spacing accent set on the other; 0 otherwise.
  [[nodiscard]] static char16_t AccentOverLetter(const TkwFormatterText& ARun, const TkwRect& AGlyphRect,
                                                 char16_t ACharacter, double AX, double ARight);
  // A glyph smaller than ALine's text and raised or lowered beside its end joins it as a
  // superscript or subscript run; false when the glyph is not one.
  bool AddRaised(TkwFormatterTextLine& ALine, const TFont& AFont, const TkwRect& AGlyphRect,
                 double ACharSpace, char16_t ACharacter, double AAdvance, double ATopY, double AX,
                 double AWordGap);
  void StartLine(const TFont& AFont, const TkwRect& AGlyphRect, double ACharSpace,
                 char16_t ACharacter, double AAdvance, double ATopY, double AX, double AHeight);
  // Builds the run in FPendingRun and returns it.
  TkwFormatterText* CreateRun(const TFont& AFont, const TkwRect& AGlyphRect, double ACharSpace,
                              char16_t ACharacter, double AAdvance, double ATopY, double AX);

  TkwDocumentWriter* FRTFDocument;  // not owned
  TkwDiagnostics* FDiag = nullptr;  // not owned
  TkwFormattingMode FFormattingMode = TkwFormattingMode::fmFormatted;
  std::unique_ptr<TkwPageSettings> FPageSettings;
  char16_t FLastChar = 0;
  TkwMeasurementUnit FUnit = TkwMeasurementUnit::muPixels;
  double FUnitFactor = 1.0;
  int FPageCount = 0;
  int FLastRunId = 0;
  int FNextLineId = 0;
  std::unique_ptr<TkwFormatterPage> FPage;
  int FCurrentLineIndex = -1;
  // The line whose last run is the latest run: the only line a glyph on its baseline
  // can extend.
  TkwFormatterTextLine* FLastRunLine = nullptr;
  std::unique_ptr<TkwFormatterText> FPendingRun;
  std::vector<TkwRotatedLineRecord> FRotatedLines;  // this page's, until it ends
  std::unique_ptr<TkwTextMeasurer> FMeasurer;
  std::unique_ptr<TkwFontWidthCache> FWidths;
  std::map<int, int> FSizeFits;
  // The extent of the glyphs whose margins are tracked since the margins were last set:
  // a glyph inside it cannot move a margin (TrackMargins).
  struct TTrackedExtent {
    bool Valid = false;
    double MinTop = 0, MaxTop = 0, MinLeft = 0, MaxRight = 0;
  } FTracked;
  // Glyphs of the run that grew last: a run that goes on past its first glyph makes room
  // for about as many at once (lines of running text are alike).
  std::size_t FGrownRunLength = 0;
};

}  // namespace qm
