#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "base/kwObject.h"
#include "base/kwConvEnums.h"
#include "formatter/kwFormatterInput.h"
#include "platform/Bitmap.h"
#include "writer/kwWriterClasses.h"

// The layout elements the formatter builds from one page's glyphs and pictures. All
// coordinates are points on a page whose origin is the top-left corner, y downwards.
// Lines, paragraphs, tables, columns and sections live until the page element that
// holds them is destroyed after rendering; every list named "not owning" borrows from
// the page.
namespace qm {

class TkwDocumentWriter;
class TkwFormatter;
class TkwFormatterPage;

// Element kind codes, as reported through OnElementDetected.
inline constexpr std::uint8_t kElementPage = static_cast<std::uint8_t>(TkwElementKind::ekPage);
inline constexpr std::uint8_t kElementHSection = static_cast<std::uint8_t>(TkwElementKind::ekHSection);
inline constexpr std::uint8_t kElementColumn = static_cast<std::uint8_t>(TkwElementKind::ekColumn);
inline constexpr std::uint8_t kElementParagraph = static_cast<std::uint8_t>(TkwElementKind::ekParagraph);
inline constexpr std::uint8_t kElementTextLine = static_cast<std::uint8_t>(TkwElementKind::ekTextLine);
inline constexpr std::uint8_t kElementText = static_cast<std::uint8_t>(TkwElementKind::ekText);
inline constexpr std::uint8_t kElementImage = static_cast<std::uint8_t>(TkwElementKind::ekImage);
inline constexpr std::uint8_t kElementTable = static_cast<std::uint8_t>(TkwElementKind::ekTable);
inline constexpr std::uint8_t kElementShape = static_cast<std::uint8_t>(TkwElementKind::ekShape);

enum class TkwVAlignment : std::uint8_t { vaTop, vaCenter, vaBottom };

// A rectangle in which a coordinate of exactly 0 counts as unset while it is widened.
struct TkwFormatterRect {
  double Left = 0;
  double Top = 0;
  double Right = 0;
  double Bottom = 0;

  TkwFormatterRect() = default;
  TkwFormatterRect(double ALeft, double ATop, double ARight, double ABottom)
      : Left(ALeft), Top(ATop), Right(ARight), Bottom(ABottom) {}

  // Left and Top only decrease (or are set when 0); Right and Bottom only increase.
  void Include(double ABottom, double ARight, double ATop, double ALeft);
  void IncludeRect(const TkwFormatterRect& AOther);
  void Assign(const TkwFormatterRect& ASource) { *this = ASource; }
};

// Base of all elements.
class TkwFormatterElement : public TkwObject {
public:
  explicit TkwFormatterElement(std::uint8_t AElementType) : ElementType(AElementType) {}

  virtual void Analyse() {}
  virtual void Render(TkwDocumentWriter& AWriter) = 0;
  void SetFormattingMode(TkwFormattingMode AMode) { FormattingMode = AMode; }
  // An element made while another is analysed renders into the same document and
  // measures, fits and raises events through the same formatter.
  void JoinOwner(const TkwFormatterElement& AOwner) {
    Document = AOwner.Document;
    Formatter = AOwner.Formatter;
  }

  TkwFormatterRect Rect;
  TkwDocumentWriter* Document = nullptr;  // not owned
  // The formatter whose page holds the element: its measurer, its page settings, its
  // events. Every element it makes carries it.
  TkwFormatter* Formatter = nullptr;  // not owned
  int PageNumber = 0;
  std::uint8_t ElementType;
  TkwFormattingMode FormattingMode = TkwFormattingMode::fmFormatted;
  // What OnElementDetected answered for this element (acRetain when not asked).
  TkwAction Action = TkwAction::acRetain;
};

// An element with a position; X and Y do not move Rect.
class TkwFormatterContent : public TkwFormatterElement {
public:
  using TkwFormatterElement::TkwFormatterElement;
  void SetX(double AValue) { X = AValue; }
  void SetY(double AValue) { Y = AValue; }

  double X = 0;
  double Y = 0;
};

// A text run: consecutive characters of one font on one line.
class TkwFormatterText final : public TkwFormatterContent {
public:
  TkwFormatterText() : TkwFormatterContent(kElementText) {}
  void Render(TkwDocumentWriter&) override {}
  // The characters [AFrom, ATo) as a run of their own from AX to ARight, in this run's look.
  [[nodiscard]] std::unique_ptr<TkwFormatterText> Piece(std::size_t AFrom, std::size_t ATo, double AX,
                                                         double ARight) const;

  std::u16string Text;
  TFont Font;
  std::vector<TkwFormatterRect> GlyphRects;  // pixel box of every character added
  int RunIndex = 0;
  double CharSpacing = 0;
  double Width = 0;
  bool Duplicate = false;
  double Right = 0;
  int Id = 0;
  double Rise = 0;  // points above the line's baseline (negative: below): a superscript or subscript
};

// One text line; it owns its runs.
class TkwFormatterTextLine final : public TkwFormatterContent {
public:
  TkwFormatterTextLine() : TkwFormatterContent(kElementTextLine) {}
  void Render(TkwDocumentWriter&) override {}

  void AddRun(std::unique_ptr<TkwFormatterText> ARun);
  void InsertRun(std::unique_ptr<TkwFormatterText> ARun, int AIndex);
  std::unique_ptr<TkwFormatterText> TakeRun(int AIndex);
  // nullptr when out of range.
  [[nodiscard]] TkwFormatterText* Run(int AIndex) const;
  [[nodiscard]] TkwFormatterText* LastRun() const { return Runs.empty() ? nullptr : Runs.back().get(); }
  void SetHeight(double AValue);
  void SetRight(double AValue);
  void SetRunFontSize(const TFont& AFont);
  // All run texts joined.
  [[nodiscard]] std::u16string Text() const;

  std::vector<std::unique_ptr<TkwFormatterText>> Runs;
  double Height = 0;
  int RunCount = 0;
  int ParagraphIndex = 0;
  int LastRunIndex = 0;
  double Right = 0;
  bool ListLabel = false;
  bool Absorbed = false;
  std::uint8_t ListKind = 0;  // 0 none, 1 bullet, 2 numbered
  double Width = 0;
  bool FirstOnPage = false;
  int LineId = 0;
  int RowIndex = 0;
  bool TabLine = false;
  // What closes a numbered label on the page ('.', ')' or 0 for none), so that the
  // list shows "a)" where the page did.
  char16_t LabelClose = 0;
  // The colour of a filled area the line sits on, clNone on the bare page.
  TColor Shading = clNone;
  // Set on the line that stands for a table found from a grid of rules.
  bool GridPlaceholder = false;
};

class TkwFormatterParagraph final : public TkwFormatterContent {
public:
  TkwFormatterParagraph() : TkwFormatterContent(kElementParagraph) {}
  void Render(TkwDocumentWriter& AWriter) override;
  void AddLine(TkwFormatterTextLine* ALine);

  std::vector<TkwFormatterTextLine*> Lines;  // not owning
  double LineSpacing = 0;
  int LineCount = 0;
  std::uint8_t Alignment = 0;  // 0 left, 1 right, 2 centre, 3 justified
  double LeftIndent = 0;
  TkwFormatterRect Frame;
  double SpaceBefore = 0;
  bool Spacer = false;
  bool ListLabel = false;
  std::uint8_t ListKind = 0;
  double RightIndent = 0;
  // What closes the first line's numbered label ('.', ')' or 0), copied from the line.
  char16_t LabelClose = 0;
  // First line's start relative to LeftIndent (negative: hanging indent).
  double FirstLineIndent = 0;
  // Every line fits its room as written: the page's line ends can be kept.
  bool LinesFit = false;
  // A blank filler owns its line.
  std::unique_ptr<TkwFormatterTextLine> OwnedLine;
  // Rules the page drew just above and below the paragraph (bdNone when none).
  TkwBorderLine TopBorder;
  TkwBorderLine BottomBorder;
};

class TkwFormatterTable final : public TkwFormatterContent {
public:
  explicit TkwFormatterTable(int AColumnCount);
  void Analyse() override;
  void Render(TkwDocumentWriter& AWriter) override;
  void AddRow(double AHeight);
  void AddLine(int AColumn, TkwFormatterTextLine* ALine);

  // Rows[r][c] holds the lines of one cell. None of the lists owns its lines.
  std::vector<std::vector<std::vector<TkwFormatterTextLine*>>> Rows;
  std::vector<std::vector<TkwFormatterTextLine*>> Columns;
  std::vector<std::vector<TkwFormatterTextLine*>> RowLines;
  std::vector<TkwVAlignment> CellVAlign;  // row by row
  int ColumnCount;
  int RowCount = 0;
  std::vector<double> CellRights;  // per column, from the left margin
  std::vector<double> RowHeights;
  // From the page's drawing, row by row (empty when it drew none): each cell's borders by
  // side and its shading (clNone for none).
  std::vector<std::array<TkwBorderLine, 4>> CellBorders;
  std::vector<TColor> CellShading;
  // Merged cells, row by row (empty when none): 0 none, 1 first of a merge, 2 merged into
  // the cell before (across) or above (down).
  std::vector<std::uint8_t> CellMergeAcross;
  std::vector<std::uint8_t> CellMergeDown;
};

class TkwFormatterImage final : public TkwFormatterContent {
public:
  TkwFormatterImage() : TkwFormatterContent(kElementImage) {}
  void Render(TkwDocumentWriter&) override {}

  // nullptr when the source picture was of no known kind; shared by every drawing of it
  std::shared_ptr<const TGraphic> Graphic;
  bool OverlapsText = false;
  // Drawing rendered to a picture (its kind is a shape); text over it stays in front.
  bool BehindText = false;
  // How many of the page's paths were painted before this picture.
  std::size_t PathsBefore = 0;
  // A frame drawn around the picture.
  TkwBorderLine Border;
};

class TkwFormatterColumn final : public TkwFormatterElement {
public:
  TkwFormatterColumn() : TkwFormatterElement(kElementColumn) {}
  void Analyse() override;
  void Render(TkwDocumentWriter& AWriter) override;
  void AddItem(TkwFormatterTextLine* ALine);

  int ItemCount = 0;
  std::vector<TkwFormatterTextLine*> Items;       // not owning, page order
  std::vector<TkwFormatterParagraph*> Paragraphs;  // not owning
  std::vector<std::unique_ptr<TkwFormatterParagraph>> Output;  // paragraphs and fillers
};

// A horizontal band of the page.
class TkwFormatterHSection final : public TkwFormatterElement {
public:
  TkwFormatterHSection();
  void Analyse() override;
  void Render(TkwDocumentWriter& AWriter) override;
  // AIndex -1 appends.
  void AddColumn(std::unique_ptr<TkwFormatterColumn> AColumn, int AIndex);
  // Rows and cells from the columns; sets Table (nothing when no line has text).
  void BuildTable();

  std::vector<std::unique_ptr<TkwFormatterColumn>> Columns;  // left to right
  int ColumnCount = 1;
  bool IsTable = false;
  // Columns of running text found from the page's gutter (a paper's two columns): never a
  // table, and written as columns in every formatting mode.
  bool TextColumns = false;
  TFont Font;
  std::unique_ptr<TkwFormatterTable> Table;
  std::vector<TkwFormatterElement*> Children;  // the columns, or the table
  TkwColumnSections ColumnSections;
  // A table found from a grid of rules: built before the band, kept as it is.
  bool FromGrid = false;
  // Blank space written before the band (a table or columns; a band of one column
  // starts with its first paragraph's space before instead).
  double GapBefore = 0;
};

struct TkwPageDrawing;

class TkwFormatterPage final : public TkwFormatterElement {
public:
  TkwFormatterPage();
  ~TkwFormatterPage() override;
  // Orders the lines, merges them, builds sections, analyses and renders the page.
  void Analyse() override;
  void Render(TkwDocumentWriter& AWriter) override;
  // Offers the images, tables and paragraphs to OnElementDetected, after Analyse and
  // before Render, and keeps the answers.
  void DecideActions();

  // Takes ownership; the line is listed in Lines.
  TkwFormatterTextLine* NewLine();
  // Lines built while the page is analysed (tab lines, fillers) are kept here too.
  TkwFormatterTextLine* StoreLine(std::unique_ptr<TkwFormatterTextLine> ALine);

  TkwPageSettings* PageSettings = nullptr;  // not owned
  // The last number of every list kept on the page so far, by label kind (digits, lower
  // or upper letters) and closing mark: a later column may continue such a list.
  std::map<std::pair<int, char16_t>, long long> ListNumbers;
  std::vector<TkwFormatterTextLine*> Lines;
  std::vector<std::unique_ptr<TkwFormatterHSection>> Sections;
  std::vector<TkwFormatterTextLine*> ResultLines;
  std::vector<std::unique_ptr<TkwFormatterImage>> Images;
  // The page's painted paths, classified when the page ends.
  std::vector<TkwPathRecord> Paths;
  std::unique_ptr<TkwPageDrawing> Drawing;  // the paths taken apart, while the page is analysed

private:
  std::vector<std::unique_ptr<TkwFormatterTextLine>> FLineStore;
};

class TkwFormatterEventArgs : public TkwObject {
public:
  TkwFormatterElement* Sender = nullptr;  // not owned
};

// Raised when a run in the fallback font is too wide for its place on the page.
class TkwFontSubstitutionEventArgs final : public TkwFormatterEventArgs {
public:
  TFont FontInUse;
  TFont Substitute;  // the handler may change it
};

}  // namespace qm
