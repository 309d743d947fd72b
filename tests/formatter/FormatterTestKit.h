#pragma once

#include <memory>
#include <string>
#include <vector>

#include "formatter/kwFormatter.h"

// A writer that records what the formatter sends it, fixed text metrics, and a page
// builder that feeds glyphs the way the content extractor does.
namespace qm::test {

struct TCall {
  std::string Op;
  std::u16string Text;
  double A = 0;
  double B = 0;
  int I = 0;
  TFont Font;
  // Text formatting when the paragraph began.
  std::uint8_t Alignment = 0;
  double LeftIndent = 0;
  double RightIndent = 0;
  double FirstLineIndent = 0;
  double SpaceBefore = 0;
  double LineSpacing = 0;
  TkwColumnSections Columns;
};

// One paragraph as the writer received it.
struct TPara {
  std::u16string Text;
  std::vector<double> Tabs;
  const TCall* Begin = nullptr;
  bool InCell = false;
  int Cell = -1;
};

class TRecordingWriter final : public TkwDocumentWriter {
public:
  std::vector<TCall> Calls;

  void BeginDoc() override { Add("BeginDoc"); }
  void EndDoc() override { Add("EndDoc"); }
  int NewPage() override { Add("NewPage"); return ++FPages; }
  void EndPage() override { Add("EndPage"); }
  void BeginColumns(int ACount, int ASpacing, const TkwColumnSections& AColumns) override {
    auto& c = Add("BeginColumns", ACount, ASpacing);
    c.Columns = AColumns;
  }
  void ColumnBreak() override { Add("ColumnBreak"); }
  void BeginPara(std::string_view) override { AddPara("BeginPara", -1); }
  void BeginCellPara(int ACell, std::string_view) override { AddPara("BeginCellPara", ACell); }
  void EndPara() override { Add("EndPara"); }
  int BeginNumberedList(std::uint8_t AFormat, std::uint8_t, int AStart, std::uint8_t,
                        char16_t AClose) override {
    auto& c = Add("BeginNumberedList", AFormat, AStart);
    if (AClose != 0) c.Text.assign(1, AClose);
    return ++FLists;
  }
  int BeginBulletList(const TFont& AFont, char16_t AChar, int, std::uint8_t, std::uint8_t) override {
    auto& c = Add("BeginBulletList");
    c.Text.assign(1, AChar);
    c.Font = AFont;
    return ++FLists;
  }
  void ContinueList(int AIndex) override { Add("ContinueList", AIndex); }
  void EndList() override { Add("EndList"); }
  void SetTextRise(double APoints) override { Add("SetTextRise", APoints); }
  int WriteText(std::u16string_view AText, double ATab, double ASpacing) override {
    auto& c = Add("WriteText", ATab, ASpacing);
    c.Text = AText;
    c.Font = GetFont();
    return 0;
  }
  void AddImage(const TkwRect& ARect, const TGraphic&) override {
    auto& c = Add("AddImage", ARect.Left, ARect.Top);
    c.Columns = {{ARect.Right, ARect.Bottom}};
  }
  int BeginTable(int ACount, double ALeft, double ATop) override {
    auto& c = Add("BeginTable", ALeft, ATop);
    c.I = ACount;
    return 0;
  }
  int AddRow(double AHeight) override { Add("AddRow", AHeight); return 0; }
  void SetCellRight(int ACell, double APos) override {
    auto& c = Add("SetCellRight", APos);
    c.I = ACell;
  }
  void EndTable() override { Add("EndTable"); }

  [[nodiscard]] int Count(std::string_view AOp) const;
  [[nodiscard]] const TCall* Find(std::string_view AOp, int ANth = 0) const;
  [[nodiscard]] std::vector<TPara> Paragraphs() const;
  // Every paragraph's text, blanks (fillers) left out.
  [[nodiscard]] std::vector<std::u16string> Texts() const;
  [[nodiscard]] std::string Ops() const;  // ops joined by spaces, WriteText left out

private:
  TCall& Add(std::string AOp, double AA = 0, double AB = 0) {
    auto& call = Calls.emplace_back();
    call.Op = std::move(AOp);
    call.A = AA;
    call.B = AB;
    return call;
  }
  void AddPara(std::string AOp, int ACell);
  int FPages = 0;
  int FLists = 0;
};

// Every character is half its font size wide; text is 1.2 × the size high (points),
// except that "W" is 0.9 and " " 0.25 of the size wide. Results in pixels, as the screen gives them.
class TFixedMeasurer final : public TkwTextMeasurer {
public:
  TkwTextExtent Measure(const TFont& AFont, std::u16string_view AText) override;
  static double CharWidth(const TFont& AFont, char16_t AChar);
};

TFont Font(std::string_view AName = "Times New Roman", int ASize = 10, TFontStyles AStyle = 0);

// A formatter on AWriter as the tests use it: fixed glyph widths, points, a custom page of
// AWidth x AHeight; the document begun.
std::unique_ptr<TkwFormatter> MakeTestFormatter(TkwDocumentWriter& AWriter, TkwFormattingMode AMode, double AWidth,
                                                double AHeight);

// Feeds a page to a formatter bound to a recording writer.
class TPageBuilder {
public:
  explicit TPageBuilder(TkwFormattingMode AMode = TkwFormattingMode::fmFormatted);
  ~TPageBuilder();

  // Shows AText as one text-showing operator with one string, baseline ABaseline points
  // from the top of the page, starting at AX. Returns the x after the text.
  double Show(std::u16string_view AText, double AX, double ABaseline, const TFont& AFont = Font());
  // Each of ALines at AX, the first on the baseline AFirst and each next one AStep lower.
  void ShowLines(const std::vector<std::u16string>& ALines, double AX, double AFirst, double AStep) {
    for (std::size_t i = 0; i < ALines.size(); ++i) Show(ALines[i], AX, AFirst + AStep * static_cast<double>(i));
  }
  // One glyph with explicit flags.
  // ACharSpacing is the page's spacing after the glyph (points), which its advance includes.
  void Glyph(char16_t AChar, double AX, double ABaseline, const TFont& AFont, bool ANotFirstInString,
             bool ANotFirstInOperator, double ABoxHeight = -1, double ACharSpacing = 0);
  // Shows several strings in one operator (a TJ array), each at its own x.
  void ShowStrings(const std::vector<std::pair<std::u16string, double>>& AStrings, double ABaseline,
                   const TFont& AFont = Font());
  void Image(double ALeft, double ATop, double ARight, double ABottom);
  void EndPage();
  void NewPage();
  void EndDoc();

  TRecordingWriter Writer;
  std::unique_ptr<TkwFormatter> Formatter;
  static constexpr double kPageWidth = 612;
  static constexpr double kPageHeight = 792;
};

}  // namespace qm::test
