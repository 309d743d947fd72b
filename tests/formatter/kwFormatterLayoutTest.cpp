// Sections, columns, tables, paragraphs and lists as the writer receives them.
#include <gtest/gtest.h>

#include <cmath>

#include "formatter/kwFormatterUtil.h"
#include "tests/formatter/FormatterTestKit.h"

namespace qm::test {
namespace {

// Three rows of three cells, shown row by row as a table producer writes them.
void ShowTable(TPageBuilder& APage, double ATop = 100) {
  const std::vector<std::vector<std::u16string>> rows = {
      {u"Name", u"Qty", u"Price"}, {u"Apple", u"3", u"1.20"}, {u"Pear", u"12", u"0.80"}};
  double y = ATop;
  for (const auto& row : rows) {
    APage.Show(row[0], 72, y);
    APage.Show(row[1], 250, y);
    APage.Show(row[2], 400, y);
    y += 14;
  }
}

TEST(Sections, ColumnByColumnTextIsTwoColumnsNotATable) {
  TPageBuilder page;
  for (int i = 0; i < 3; ++i) {
    page.Show(u"Left column text runs on", 72, 100 + 12 * i);
  }
  for (int i = 0; i < 3; ++i) {
    page.Show(u"Right column text runs on", 320, 100 + 12 * i);
  }
  page.EndPage();
  EXPECT_EQ(page.Writer.Count("BeginTable"), 0);
  const auto* columns = page.Writer.Find("BeginColumns");
  ASSERT_NE(columns, nullptr);
  EXPECT_EQ(columns->A, 2);
  EXPECT_EQ(columns->B, 40);
  ASSERT_EQ(columns->Columns.size(), 2u);
  EXPECT_DOUBLE_EQ(columns->Columns[0].SpaceAfter, 320 - (72 + 20 * 5 + 4 * 2.5));
  EXPECT_EQ(page.Writer.Count("ColumnBreak"), 1);
  const auto texts = page.Writer.Texts();
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], u"Left column text runs on Left column text runs on Left column text runs on");
}

TEST(Sections, RowByRowCellsBuildATable) {
  TPageBuilder page;
  ShowTable(page);
  page.EndPage();
  const auto* table = page.Writer.Find("BeginTable");
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->I, 3);
  EXPECT_DOUBLE_EQ(table->A, 0);   // left offset from the margin
  EXPECT_DOUBLE_EQ(table->B, 90);  // top of the first row
  ASSERT_EQ(page.Writer.Count("AddRow"), 3);
  EXPECT_DOUBLE_EQ(page.Writer.Find("AddRow", 0)->A, 14);
  EXPECT_NEAR(page.Writer.Find("AddRow", 2)->A, 10 + 5, 1e-9);  // last row: its box + 5
  EXPECT_DOUBLE_EQ(page.Writer.Find("SetCellRight", 0)->A, 250 - 72);
  EXPECT_DOUBLE_EQ(page.Writer.Find("SetCellRight", 1)->A, 400 - 72);
  // "Price" ends at 425; the last cell keeps a little room beyond its widest text.
  EXPECT_DOUBLE_EQ(page.Writer.Find("SetCellRight", 2)->A, 425 - 72 + 6);
  const auto paras = page.Writer.Paragraphs();
  // The blank between the top margin and the first row, then the cells.
  ASSERT_EQ(paras.size(), 10u);
  EXPECT_FALSE(paras[0].InCell);
  EXPECT_EQ(paras[0].Text, u" ");
  EXPECT_TRUE(paras[5].InCell);
  EXPECT_EQ(paras[5].Cell, 1);
  EXPECT_EQ(paras[5].Text, u"3");
  EXPECT_EQ(paras[9].Text, u"0.80");
  EXPECT_EQ(page.Writer.Count("BeginColumns"), 0);
}

TEST(Sections, BulletColumnIsNotATable) {
  TPageBuilder page;
  for (int i = 0; i < 3; ++i) {
    page.Show(u"\u2022", 72, 100 + 14 * i);
    page.Show(u"Point number", 140, 100 + 14 * i);
  }
  page.EndPage();
  EXPECT_EQ(page.Writer.Count("BeginTable"), 0);
}

TEST(Sections, SingleLineColumnIsNotATable) {
  TPageBuilder page;
  page.Show(u"Alone", 72, 100);
  page.Show(u"First", 320, 100);
  page.Show(u"Second", 320, 112);
  page.EndPage();
  EXPECT_EQ(page.Writer.Count("BeginTable"), 0);
}

// A table is written as table rows in the tabs mode too, never as columns.
TEST(Sections, TabsModeWritesATableAsRows) {
  TPageBuilder page(TkwFormattingMode::fmFormattedWithTabs);
  ShowTable(page);
  TkwFormatterPage* collected = page.Formatter->GetPage();
  ASSERT_NE(collected, nullptr);
  page.Formatter->OnElementDetected = [&](TkwObject&, TkwFormatterElement& AElement, TkwAction&) {
    if (AElement.ElementType == kElementTextLine) {
      EXPECT_EQ(collected->Sections.size(), 0u);  // lines come before sections are built
    }
  };
  page.EndPage();
  EXPECT_EQ(page.Writer.Count("BeginTable"), 1);
  EXPECT_EQ(page.Writer.Count("BeginColumns"), 0);
}

// A cell whose text changes font ("a41 [x272E]" with the code in bold) is one cell of
// the table tabbed lines make, as wide as the next item leaves it.
TEST(Sections, TabsModeTableCellKeepsItsFontChanges) {
  TPageBuilder page(TkwFormattingMode::fmFormattedWithTabs);
  const std::vector<std::u16string> names = {u"Apple", u"Pear", u"Plum"};
  double y = 100;
  for (const auto& name : names) {
    page.Show(name, 72, y);
    double x = page.Show(u"a41 [", 250, y);
    x = page.Show(u"x272E", x, y, Font("Courier New", 10, fsBold));
    page.Show(u"]", x, y);
    page.Show(u"1.20", 400, y);
    y += 14;
  }
  page.EndPage();
  const auto* table = page.Writer.Find("BeginTable");
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->I, 3);
  EXPECT_DOUBLE_EQ(page.Writer.Find("SetCellRight", 1)->A, 400 - 2 - 72);
  const auto paras = page.Writer.Paragraphs();
  const auto cell = std::find_if(paras.begin(), paras.end(), [](const auto& p) { return p.InCell && p.Cell == 1; });
  ASSERT_NE(cell, paras.end());
  EXPECT_EQ(cell->Text, u"a41 [x272E]");
}

TEST(Sections, FullWidthTextAfterColumnsReturnsToOneColumn) {
  TPageBuilder page;
  for (int i = 0; i < 3; ++i) {
    page.Show(u"Left column text runs on", 72, 100 + 12 * i);
  }
  for (int i = 0; i < 3; ++i) {
    page.Show(u"Right column text runs on", 320, 100 + 12 * i);
  }
  page.Show(u"A closing line that runs all the way across the width of the page", 72, 300);
  page.EndPage();
  ASSERT_EQ(page.Writer.Count("BeginColumns"), 2);
  EXPECT_EQ(page.Writer.Find("BeginColumns", 1)->A, 1);
}

TEST(ColumnSlotTest, MapsBoxesToSlots) {
  const std::vector<TkwFormatterRect> slots = {{72, 0, 150, 10}, {200, 0, 280, 10}, {320, 0, 400, 10}};
  bool beyond = false;
  EXPECT_EQ(fmt::ColumnSlot({75, 0, 140, 10}, slots, beyond), 0);
  EXPECT_EQ(fmt::ColumnSlot({205, 0, 260, 10}, slots, beyond), 1);
  EXPECT_EQ(fmt::ColumnSlot({330, 0, 390, 10}, slots, beyond), 2);
  EXPECT_EQ(fmt::ColumnSlot({100, 0, 250, 10}, slots, beyond), -1);  // spans two slots
  EXPECT_EQ(fmt::ColumnSlot({450, 0, 500, 10}, slots, beyond), -1);
  EXPECT_TRUE(beyond);
  EXPECT_EQ(fmt::ColumnSlot({0, 0, 1, 1}, {}, beyond), -1);
  EXPECT_TRUE(beyond);
}

TEST(RowSlotTest, InsertsAboveAndMatchesOverlaps) {
  std::vector<TkwFormatterRect> rows = {{0, 100, 10, 110}};
  EXPECT_EQ(fmt::RowSlot(rows, {0, 98, 10, 108}), 0);   // lowered top lands inside the row
  EXPECT_EQ(fmt::RowSlot(rows, {0, 80, 10, 90}), 0);    // above: inserted before
  EXPECT_EQ(rows.size(), 2u);
  EXPECT_EQ(fmt::RowSlot(rows, {0, 130, 10, 140}), 2);  // below all: appended
}

TEST(Tables, EqualCellBoundsGetOnePointOfWidth) {
  TPageBuilder page;
  ShowTable(page);
  TkwFormatterTable table(2);
  table.Formatter = page.Formatter.get();
  table.X = 72;
  table.CellRights = {0, 50};
  table.AddRow(10);
  TkwFormatterTextLine line;
  table.AddLine(0, &line);
  table.Analyse();
  table.Render(page.Writer);
  EXPECT_DOUBLE_EQ(page.Writer.Find("SetCellRight", 0)->A, 1);
  EXPECT_DOUBLE_EQ(page.Writer.Find("SetCellRight", 1)->A, 50);
}

struct TFillerCase {
  double Height;
  std::vector<double> Spacings;
};

class Fillers : public ::testing::TestWithParam<TFillerCase> {};

TEST_P(Fillers, TenPointsEachAndTheRest) {
  std::vector<std::unique_ptr<TkwFormatterParagraph>> list;
  const TkwFormatterColumn owner;
  fmt::AddFiller(list, owner, GetParam().Height);
  std::vector<double> spacings;
  for (const auto& p : list) {
    EXPECT_TRUE(p->Spacer);
    spacings.push_back(p->LineSpacing);
  }
  EXPECT_EQ(spacings, GetParam().Spacings);
}

INSTANTIATE_TEST_SUITE_P(Heights, Fillers,
                         ::testing::Values(TFillerCase{35, {10, 10, 10, 5}}, TFillerCase{12, {10, 2}},
                                           TFillerCase{30, {10, 10}}, TFillerCase{9, {9}},
                                           TFillerCase{91, {10, 10, 10, 10, 10, 10, 10, 10, 10, 1}},
                                           TFillerCase{-20, {}}, TFillerCase{1e12, std::vector<double>(2000, 10)}));

TEST(Paragraphs, EqualLeftEdgesJoinOnlyWhenTheFirstLineWasFull) {
  TPageBuilder page;
  page.Show(u"Short", 72, 100);
  page.Show(u"Second line here", 72, 113);
  page.Show(u"Third line follows", 72, 126);
  page.EndPage();
  // The second line joins (second of the column); the third does not, as "Third"
  // would have fitted after the short second line.
  EXPECT_EQ(page.Writer.Texts(),
            (std::vector<std::u16string>{u"Short Second line here", u"Third line follows"}));
}

TEST(Paragraphs, LeaderLineIsAParagraphOfItsOwn) {
  TPageBuilder page;
  page.Show(u"Chapter one", 72, 100);
  page.Show(u"Intro........5", 72, 113);
  page.EndPage();
  // The dots become the tab stop's leader: the title, then the number at its stop.
  EXPECT_EQ(page.Writer.Texts(), (std::vector<std::u16string>{u"Chapter one", u"Intro5"}));
  const auto paragraphs = page.Writer.Paragraphs();
  ASSERT_EQ(paragraphs.size(), 2u);
  ASSERT_FALSE(paragraphs[1].Tabs.empty());
  EXPECT_GT(paragraphs[1].Tabs.back(), 0);
}

TEST(Paragraphs, WideGapSplitsAfterTheSecondLine) {
  TPageBuilder page;
  const std::u16string full(60, u'a');
  page.Show(full, 72, 100);
  page.Show(full, 72, 113);
  page.Show(full, 72, 180);
  page.EndPage();
  EXPECT_EQ(page.Writer.Texts().size(), 2u);
}

TEST(Paragraphs, FirstLineIndentIsKept) {
  for (const double first : {92.0, 72.0}) {
    TPageBuilder page;
    const double body = first == 92 ? 72 : 92;
    // Every line ends at 392 so that the lines form one paragraph.
    page.Show(std::u16string(static_cast<std::size_t>((392 - first) / 5), u'a'), first, 100);
    for (int i = 1; i < 4; ++i) {
      page.Show(std::u16string(static_cast<std::size_t>((392 - body) / 5), u'a'), body, 100 + 13.0 * i);
    }
    page.EndPage();
    const auto paras = page.Writer.Paragraphs();
    ASSERT_EQ(paras.size(), 1u) << first;
    EXPECT_DOUBLE_EQ(paras[0].Begin->FirstLineIndent, first - body);
    EXPECT_DOUBLE_EQ(paras[0].Begin->LeftIndent, body - 72);
  }
}

TEST(Paragraphs, OneLineIsLeftAlignedWithoutRightIndent) {
  TPageBuilder page;
  page.Show(u"Centred title", 250, 100);
  page.EndPage();
  const auto paras = page.Writer.Paragraphs();
  ASSERT_EQ(paras.size(), 1u);
  EXPECT_EQ(paras[0].Begin->Alignment, 0);
  EXPECT_NEAR(paras[0].Begin->RightIndent, -2.5 / 2, 1e-9);  // only the half space
}

TEST(Paragraphs, GapBetweenParagraphsIsSpaceBeforeNotFillers) {
  TPageBuilder page;
  page.Show(u"Top line", 72, 40);
  page.Show(u"Lower line", 72, 200);
  page.EndPage();
  // The baselines are 160 apart and each line is 12 high: the second paragraph starts
  // 148 below the first one's line, with no blank paragraphs between them.
  const auto paras = page.Writer.Paragraphs();
  ASSERT_EQ(paras.size(), 2u);
  EXPECT_EQ(paras[1].Text, u"Lower line");
  EXPECT_NEAR(paras[1].Begin->SpaceBefore, 148, 0.5);
}

// Baselines of the page's paragraphs (cells left out) as a word processor stacks them:
// each paragraph starts its space before below the one above, and a line of exact height s
// has its baseline 0.8 s below its top. Blank paragraphs count, but only text paragraphs
// are listed.
std::vector<double> StackedBaselines(const TRecordingWriter& AWriter) {
  std::vector<double> ys;
  double pen = 0;
  for (const auto& p : AWriter.Paragraphs()) {
    if (p.InCell) {
      continue;
    }
    pen += p.Begin->SpaceBefore;
    if (!fmt::Trim(p.Text).empty()) {
      ys.push_back(pen + 0.8 * p.Begin->LineSpacing);
    }
    pen += p.Begin->LineSpacing;
  }
  return ys;
}

class BaselineDistances : public ::testing::TestWithParam<std::vector<double>> {};

// Single-line paragraphs (bold and regular by turns, so that none joins the next) land on
// the page's baselines, whether far apart or closer than their text is high (a timetable).
TEST_P(BaselineDistances, AreKeptBetweenParagraphs) {
  for (const auto mode : {TkwFormattingMode::fmFormatted, TkwFormattingMode::fmFormattedWithTabs}) {
    TPageBuilder page(mode);
    const auto& ys = GetParam();
    for (std::size_t i = 0; i < ys.size(); ++i) {
      page.Show(u"Line of text", 72, ys[i], Font("Times New Roman", 10, i % 2 == 0 ? 0 : fsBold));
    }
    page.EndPage();
    const auto got = StackedBaselines(page.Writer);
    ASSERT_EQ(got.size(), ys.size());
    for (std::size_t i = 1; i < ys.size(); ++i) {
      EXPECT_NEAR(got[i] - got[0], ys[i] - ys[0], 0.5) << "line " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Pages, BaselineDistances,
                         ::testing::Values(std::vector<double>{100, 120, 144, 160},
                                           std::vector<double>{100, 140, 153, 230, 245},
                                           std::vector<double>{100, 106, 112, 118, 124, 130},
                                           std::vector<double>{100, 107, 400, 405, 700}));

// A line at the page's very edge (a printed page's header) leaves the indents of the
// paragraphs below it as they were.
TEST(Paragraphs, TextAtThePageEdgeKeepsLaterIndents) {
  TPageBuilder page;
  page.Show(u"Header at the edge", 0, 20);
  page.Show(u"Body text", 48, 100, Font("Times New Roman", 10, fsBold));
  page.Show(u"Item text", 78, 130);
  page.Show(u"More body", 48, 160, Font("Times New Roman", 10, fsBold));
  page.EndPage();
  const auto paras = page.Writer.Paragraphs();
  ASSERT_EQ(paras.size(), 4u);
  const double margin = paras[1].Begin->LeftIndent;
  EXPECT_NEAR(paras[2].Begin->LeftIndent - margin, 30, 1e-6);
  EXPECT_NEAR(paras[3].Begin->LeftIndent - margin, 0, 1e-6);
}

// A ragged paragraph whose lines fit keeps the page's line ends (a line break before each
// later line); a justified one, whose lines reach the edge, is left to wrap.
TEST(Paragraphs, RaggedLinesKeepTheirEnds) {
  for (const bool ragged : {true, false}) {
    TPageBuilder page;
    // A wide heading sets the column's width.
    page.Show(std::u16string(100, u'h'), 72, 60, Font("Times New Roman", 10, fsBold));
    const std::u16string line(85, u'a');
    page.Show(line + u" end", 72, 100);
    page.Show(ragged ? std::u16string(80, u'b') : line + u" end", 72, 113);
    page.Show(u"lastwordhere", 72, 126);
    page.EndPage();
    const auto paras = page.Writer.Paragraphs();
    ASSERT_EQ(paras.size(), 2u) << ragged;
    const auto& text = paras[1].Text;
    const bool broken = text.find(kLineBreak) != std::u16string::npos;
    EXPECT_EQ(broken, ragged) << ragged;
    EXPECT_EQ(paras[1].Begin->Alignment, ragged ? 0 : 3);
  }
}

// What lies wholly outside the page (a page cut from a larger sheet) is not written.
TEST(Pages, TextAndPicturesOutsideThePageAreLeftOut) {
  TPageBuilder page;
  page.Show(u"Seen", 72, 100);
  page.Show(u"Right", TPageBuilder::kPageWidth + 10, 120);
  page.Show(u"Below", 72, TPageBuilder::kPageHeight + 20);
  page.Image(100, -300, 300, -100);
  page.Image(100, 200, 300, 300);
  page.EndPage();
  EXPECT_EQ(page.Writer.Texts(), std::vector<std::u16string>{u"Seen"});
  EXPECT_EQ(page.Writer.Count("AddImage"), 1);
}

// Lines of one paragraph, each given by its start and its length in characters (5 points
// each at 10 points), one baseline 13 points below the other.
struct TAlignCase {
  const char* Name;
  std::vector<std::pair<double, int>> Lines;
  std::uint8_t Alignment;  // 0 left, 1 right, 2 centred, 3 justified
};

class Alignment : public ::testing::TestWithParam<TAlignCase> {};

// Glyph origins jitter: starts within 2 points and ends within 5 are one edge, ends must
// agree within 2 for flush right, and a line centred on the page within 5 points is centred.
TEST_P(Alignment, FollowsTheEdgeTolerances) {
  TPageBuilder page;
  double y = 100;
  for (const auto& [x, chars] : GetParam().Lines) {
    page.Show(std::u16string(static_cast<std::size_t>(chars), u'a'), x, y);
    y += 13;
  }
  page.EndPage();
  const auto paras = page.Writer.Paragraphs();
  ASSERT_EQ(paras.size(), 1u);
  EXPECT_EQ(paras[0].Begin->Alignment, GetParam().Alignment);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, Alignment,
    ::testing::Values(TAlignCase{"StartsWithin2Justify", {{72, 60}, {73.5, 59}}, 3},
                      TAlignCase{"StartsApartStayLeft", {{72, 60}, {74.5, 59}}, 0},
                      TAlignCase{"EndsWithin2AreFlushRight", {{72, 60}, {110.5, 52}}, 1},
                      TAlignCase{"EndsApartAreNotFlushRight", {{72, 60}, {99.5, 54}}, 0},
                      TAlignCase{"EndsWithin5Justify", {{72, 60}, {72.5, 59}, {72, 59}}, 3},
                      TAlignCase{"EndsApartAreLeft", {{72, 60}, {71.5, 59}, {72, 59}}, 0},
                      TAlignCase{"CentredWithin5", {{156, 60}, {208.25, 40}}, 2},
                      TAlignCase{"OffCentreBy5AndMore", {{156, 60}, {208.75, 40}}, 0},
                      // Justified text whose first line is indented: flush on both edges
                      // but the first line's start.
                      TAlignCase{"FirstLineIndentJustified", {{92, 56}, {72, 60}}, 3},
                      TAlignCase{"FarIndentStaysRight", {{132, 48}, {72, 60}}, 1},
                      TAlignCase{"RaggedLeftFlushRightIsRight", {{72, 60}, {102, 54}, {82, 58}, {122, 50}}, 1}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

class TableEnd : public ::testing::TestWithParam<std::pair<double, int>> {};

// A table ends where the distance to the next row grows by more than 5 points; a row
// a little further down still belongs to it.
TEST_P(TableEnd, AtAWiderRowGap) {
  const auto [extra, rows] = GetParam();
  TPageBuilder page;
  ShowTable(page);
  const double y = 100 + 3 * 14 + extra;
  page.Show(u"Plum", 72, y);
  page.Show(u"7", 250, y);
  page.Show(u"2.10", 400, y);
  page.EndPage();
  EXPECT_EQ(page.Writer.Count("AddRow"), rows) << extra;
}

INSTANTIATE_TEST_SUITE_P(Gaps, TableEnd,
                         ::testing::Values(std::pair{0.0, 4}, std::pair{4.5, 4}, std::pair{5.5, 3},
                                           std::pair{12.0, 3}));

TEST(Sections, BlankSpaceBeforeATableIsKept) {
  TPageBuilder page;
  page.Show(u"A line above the table", 72, 76);
  ShowTable(page, 101);
  page.EndPage();
  // Between the line and the table's first baseline lie 25 points; the first row's text
  // takes 12 of them, the rest is blank.
  double blank = 0;
  bool afterText = false;
  for (const auto& c : page.Writer.Calls) {
    if (c.Op == "BeginTable") {
      break;
    }
    if (c.Op == "BeginPara") {
      if (afterText) {
        blank += c.LineSpacing + c.SpaceBefore;
      }
      afterText = true;
    }
  }
  ASSERT_NE(page.Writer.Find("BeginTable"), nullptr);
  EXPECT_NEAR(blank, 25 - 12, 1.0);
}

TEST(Sections, ColumnsFillTheTextWidthWithTheFirstKeepingItsOwn) {
  TPageBuilder page;
  // Column by column, as running text is shown.
  for (int i = 0; i < 3; ++i) {
    page.Show(u"Left column text runs on", 72, 100 + 12 * i);
  }
  for (int i = 0; i < 3; ++i) {
    page.Show(u"Right column text runs on", 320, 100 + 12 * i);
  }
  page.EndPage();
  const auto* columns = page.Writer.Find("BeginColumns");
  ASSERT_NE(columns, nullptr);
  ASSERT_EQ(columns->Columns.size(), 2u);
  // A word processor shares the text width out in proportion to the widths: they must
  // add up to it (612 - 72 - 36), or every column comes out wider than the page's.
  const double total = columns->Columns[0].Width + columns->Columns[0].SpaceAfter + columns->Columns[1].Width;
  EXPECT_NEAR(total, TPageBuilder::kPageWidth - 72 - 36, 1e-6);
  EXPECT_DOUBLE_EQ(columns->Columns[0].Width, 20 * 5 + 4 * 2.5);
}

TEST(TabLines, AGapInOneColumnIsSharedByBoth) {
  TPageBuilder page(TkwFormattingMode::fmFormattedWithTabs);
  const double left[] = {100, 112, 124, 136};
  const double right[] = {100, 112, 130, 142};  // a paragraph gap after the second line
  // The right items do not keep to one stop: tab lines, not a table.
  for (int i = 0; i < 4; ++i) {
    page.Show(u"Left column words", 72, left[i]);
    page.Show(u"Right column words", i % 2 == 0 ? 320 : 330, right[i]);
  }
  page.EndPage();
  const auto got = StackedBaselines(page.Writer);
  ASSERT_EQ(got.size(), 4u);
  // Neither column moves by the whole gap: a gap of one column only would otherwise run
  // across both.
  for (int i = 1; i < 4; ++i) {
    const double at = got[static_cast<std::size_t>(i)] - got[0];
    EXPECT_LE(std::fabs(at - (left[i] - left[0])), 3.5) << i;
    EXPECT_LE(std::fabs(at - (right[i] - right[0])), 3.5) << i;
  }
}

struct TListCase {
  const char* Name;
  std::vector<std::u16string> Lines;
  int Lists;
  int Format;
  int Start;
  std::vector<std::u16string> Texts;
  std::u16string Close;
};

class Lists : public ::testing::TestWithParam<TListCase> {};

TEST_P(Lists, OneListForConsecutiveLabels) {
  const auto& c = GetParam();
  TPageBuilder page;
  page.ShowLines(c.Lines, 72, 100, 13);
  page.EndPage();
  ASSERT_EQ(page.Writer.Count("BeginNumberedList"), c.Lists);
  EXPECT_EQ(page.Writer.Count("EndList"), c.Lists);
  if (c.Lists == 1) {
    const auto* list = page.Writer.Find("BeginNumberedList");
    EXPECT_EQ(list->A, c.Format);
    EXPECT_EQ(list->B, c.Start);
    EXPECT_EQ(list->Text, c.Close);
  }
  EXPECT_EQ(page.Writer.Texts(), c.Texts);
}

// The list carries the label's closing character, so "a)" stays "a)" and a bare number
// stays bare.
INSTANTIATE_TEST_SUITE_P(
    Labels, Lists,
    ::testing::Values(TListCase{"numbers", {u"1. First item", u"2. Second item", u"3. Third item"}, 1, 0, 1,
                                {u"First item", u"Second item", u"Third item"}, u"."},
                      TListCase{"letters", {u"a. Apples here", u"b. Pears there"}, 1, 4, 1,
                                {u"Apples here", u"Pears there"}, u"."},
                      TListCase{"upper", {u"A. First part", u"B. Second part"}, 1, 3, 1,
                                {u"First part", u"Second part"}, u"."},
                      TListCase{"parenthesis", {u"a) Apples here", u"b) Pears there"}, 1, 4, 1,
                                {u"Apples here", u"Pears there"}, u")"},
                      TListCase{"numberParenthesis", {u"1) Apples here", u"2) Pears there"}, 1, 0, 1,
                                {u"Apples here", u"Pears there"}, u")"},
                      TListCase{"unclosed", {u"1 One item", u"2 Two items"}, 1, 0, 1,
                                {u"One item", u"Two items"}, u""},
                      // Labels that neither start at the first of their kind nor go on with
                      // a list of the page are text.
                      TListCase{"closeChanges", {u"1. One", u"2. Two", u"3) Three", u"4) Four"}, 1, 0, 1,
                                {u"One", u"Two", u"3) Three", u"4) Four"}, u"."},
                      TListCase{"midway", {u"17 Seventeen items", u"18 Eighteen items"}, 0, 0, 0,
                                {u"17 Seventeen items", u"18 Eighteen items"}, u""},
                      TListCase{"single", {u"1. Only item here"}, 0, 0, 0, {u"1. Only item here"}, u""},
                      TListCase{"gap", {u"1. One item", u"3. Three items"}, 0, 0, 0,
                                {u"1. One item", u"3. Three items"}, u""},
                      // Letters and numbers named in text are no labels.
                      TListCase{"names", {u"A, B, C = the inputs", u"B, C = the outputs", u"x = the value"}, 0, 0,
                                0, {u"A, B, C = the inputs B, C = the outputs", u"x = the value"}, u""}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ListsDetect, LabelCloseIsCarriedToTheParagraph) {
  TPageBuilder page;
  page.Show(u"a) Apples here", 72, 100);
  page.Show(u"b) Pears there", 72, 113);
  std::vector<char16_t> closes;
  page.Formatter->OnElementDetected = [&](TkwObject&, TkwFormatterElement& AElement, TkwAction&) {
    if (AElement.ElementType == kElementParagraph) {
      const auto& para = static_cast<TkwFormatterParagraph&>(AElement);
      if (para.ListKind == 2) {
        closes.push_back(para.LabelClose);
      }
    }
  };
  page.EndPage();
  EXPECT_EQ(closes, (std::vector<char16_t>{u')', u')'}));
}

TEST(ListsDetect, BulletsMakeABulletList) {
  TPageBuilder page;
  page.Show(u"\u2022 Milk and bread", 72, 100);
  page.Show(u"\u2022 Eggs and cheese", 72, 113);
  page.EndPage();
  ASSERT_EQ(page.Writer.Count("BeginBulletList"), 1);
  EXPECT_EQ(page.Writer.Find("BeginBulletList")->Text, u"\u2022");
  EXPECT_EQ(page.Writer.Texts(), (std::vector<std::u16string>{u" Milk and bread", u" Eggs and cheese"}));
}

TEST(ListsDetect, ArticleIsNoLabel) {
  TPageBuilder page;
  page.Show(u"A new way of working", 72, 100);
  page.Show(u"I think so too", 72, 200);
  page.EndPage();
  EXPECT_EQ(page.Writer.Count("BeginNumberedList"), 0);
  EXPECT_EQ(page.Writer.Texts(),
            (std::vector<std::u16string>{u"A new way of working", u"I think so too"}));
}

struct TKindCase {
  const char16_t* Word;
  const char* FontName;
  int Kind;
  char16_t Close;
};

class ListKind : public ::testing::TestWithParam<TKindCase> {};

TEST_P(ListKind, FromFirstWord) {
  const auto& c = GetParam();
  char16_t close = 1;
  EXPECT_EQ(fmt::ListKindOf(c.Word, Font(c.FontName), close), c.Kind) << std::string(c.FontName);
  EXPECT_EQ(close, c.Close);
}

INSTANTIATE_TEST_SUITE_P(Words, ListKind,
                         ::testing::Values(TKindCase{u"\u2022", "Arial", 1, 0}, TKindCase{u"-", "Arial", 1, 0},
                                           TKindCase{u"l", "Symbol", 1, 0}, TKindCase{u"l", "Arial", 0, 0},
                                           TKindCase{u"1.", "Arial", 2, u'.'}, TKindCase{u"12)", "Arial", 2, u')'},
                                           TKindCase{u"b)", "Arial", 2, u')'}, TKindCase{u"42", "Arial", 2, 0},
                                           TKindCase{u"A,", "Arial", 0, 0}, TKindCase{u"x=", "Arial", 0, 0},
                                           TKindCase{u"3:", "Arial", 0, 0},
                                           TKindCase{u"0.", "Arial", 0, 0}, TKindCase{u"1.2.", "Arial", 0, 0},
                                           TKindCase{u"Word", "Arial", 0, 0}));

struct TBulletCase {
  const char* Name;
  std::vector<std::u16string> Lines;
  int Lists;  // bullet lists written
};

class BulletItems : public ::testing::TestWithParam<TBulletCase> {};

// A line that starts with a mark is a list item when a nearby item has its mark, or when
// it stands alone with a mark that lists use; a page of different symbols is text.
TEST_P(BulletItems, LoneItemsNeedACommonBullet) {
  const auto& c = GetParam();
  TPageBuilder page;
  page.ShowLines(c.Lines, 72, 100, 13);
  page.EndPage();
  EXPECT_EQ(page.Writer.Count("BeginBulletList"), c.Lists);
  // Marks that make no list stay in the text.
  std::u16string all;
  for (const auto& text : page.Writer.Texts()) all += text;
  if (c.Lists == 0) {
    for (const auto& line : c.Lines) EXPECT_NE(all.find(line.substr(0, 1)), std::u16string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pages, BulletItems,
    ::testing::Values(
        TBulletCase{"glyphTable",
                    {u"\u2701 a1 [x2701]", u"\u2702 a2 [x2702]", u"\u2712 a18 [x2712]", u"\u2713 a19 [x2713]",
                     u"\u2714 a20 [x2714]", u"\u2715 a21 [x2715]"},
                    0},
        TBulletCase{"sameMarks", {u"\u272A First point here", u"\u272A Second point here"}, 1},
        // An item's mark comes again after its sub-items.
        TBulletCase{"subItemsBetween",
                    {u"\u272A First point here", u"\u25E6 one thing", u"\u25E6 two things", u"\u25E6 three things",
                     u"\u272A Second point here"},
                    3},
        TBulletCase{"nestedOneEach", {u"\u2022 Fruits and such", u"\u2013 apples and pears"}, 2},
        TBulletCase{"commonBesideSymbol", {u"\u2702 cut along here", u"\u2022 point made here"}, 0},
        TBulletCase{"symbolFontBullet", {u"\uF0B7 First point here", u"\u2702 cut along here"}, 0},
        TBulletCase{"twoListsAndASymbol",
                    {u"\u2022 First point here", u"\u2022 Second point here", u"\u261E see the note"}, 1}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TCommonCase {
  char16_t Char;
  const char* FontName;
  bool Common;
};

class CommonBullets : public ::testing::TestWithParam<TCommonCase> {};

TEST_P(CommonBullets, AreTheMarksListsUse) {
  const auto& c = GetParam();
  EXPECT_EQ(fmt::IsCommonBullet(c.Char, Font(c.FontName)), c.Common) << static_cast<int>(c.Char);
}

INSTANTIATE_TEST_SUITE_P(Marks, CommonBullets,
                         ::testing::Values(TCommonCase{0x2022, "Arial", true}, TCommonCase{0x25AA, "Arial", true},
                                           TCommonCase{u'-', "Arial", true}, TCommonCase{0x2714, "Arial", true},
                                           TCommonCase{0xF0B7, "Arial", true}, TCommonCase{0xF0D8, "Arial", true},
                                           TCommonCase{0x2701, "Arial", false}, TCommonCase{0x261E, "Arial", false},
                                           TCommonCase{0xF041, "Arial", false}, TCommonCase{u'a', "Arial", false},
                                           TCommonCase{u'+', "Arial", false}));

}  // namespace
}  // namespace qm::test

namespace qm::test {
namespace {

// Glyphs set closer than the measured font sets them, as a substitute font is wider than
// the page's own: AAdvance of the size per character.
void ShowTight(TPageBuilder& APage, std::u16string_view AText, double AX, double ABaseline, double AAdvance,
               const TFont& AFont = Font()) {
  double x = AX;
  for (std::size_t i = 0; i < AText.size(); ++i) {
    APage.Glyph(AText[i], x, ABaseline, AFont, i > 0, i > 0);
    x += AAdvance * AFont.Size;
  }
}

// The width a paragraph's writes take in the measurer's font, with their spacing.
double WrittenWidth(const std::vector<TCall>& ACalls, std::size_t AFrom, std::size_t ATo) {
  double width = 0;
  for (std::size_t i = AFrom; i < ATo; ++i) {
    const auto& c = ACalls[i];
    if (c.Op != "WriteText") continue;
    for (const char16_t ch : c.Text) width += TFixedMeasurer::CharWidth(c.Font, ch) + c.B;
  }
  return width;
}

// A line up to the page's right edge in text that the output font sets wider would wrap:
// it is condensed (or made smaller) until it fits where the page has it.
TEST(PageFit, LineWiderInItsFontIsCondensedToItsRoom) {
  TPageBuilder page;
  const std::u16string text(110, u'a');
  ShowTight(page, text, 40, 100, 0.45, Font("Times New Roman", 12));  // ends at 634: the page's right edge
  page.EndPage();
  const auto& calls = page.Writer.Calls;
  const auto* begin = page.Writer.Find("BeginPara");
  ASSERT_NE(begin, nullptr);
  const std::size_t from = static_cast<std::size_t>(begin - calls.data());
  double spacing = 0;
  for (std::size_t i = from; i < calls.size(); ++i) spacing = std::min(spacing, calls[i].B);
  EXPECT_LT(spacing, 0);
  const double room = TPageBuilder::kPageWidth - page.Formatter->GetPageSettings().GetRightMargin() - 40;
  EXPECT_LE(WrittenWidth(calls, from, calls.size()), room);
}

// A paragraph that keeps the page's line ends and whose long lines had to be condensed
// sets its short last line alike: its text does not stand out wider than the lines above.
TEST(PageFit, AParagraphsLinesAreCondensedAlike) {
  TPageBuilder page;
  const TFont font = Font("Times New Roman", 12);
  // Ragged lines (not flush right), so the paragraph keeps the page's line ends.
  ShowTight(page, std::u16string(110, u'a'), 40, 100, 0.45, font);
  ShowTight(page, std::u16string(96, u'a'), 40, 114, 0.45, font);
  ShowTight(page, std::u16string(20, u'a'), 40, 128, 0.45, font);
  page.EndPage();
  std::vector<const TCall*> writes;
  for (const auto& c : page.Writer.Calls) {
    if (c.Op == "WriteText" && !c.Text.empty()) writes.push_back(&c);
  }
  ASSERT_EQ(writes.size(), 3u);
  // The short line, which needed no condensing, is set as the long ones typically were.
  EXPECT_LT(writes[0]->B, 0);
  EXPECT_LT(writes[1]->B, 0);
  EXPECT_GE(writes[2]->B, std::min(writes[0]->B, writes[1]->B));
  EXPECT_LE(writes[2]->B, std::max(writes[0]->B, writes[1]->B));
  for (const TCall* w : writes) EXPECT_EQ(w->Font.Size, writes[0]->Font.Size);
}

// Side by side items at tab stops: an item that would reach past the next stop is fitted
// to the room before it; one that fits keeps its spacing.
TEST(PageFit, TabStretchIsFittedBeforeTheNextStop) {
  TPageBuilder page(TkwFormattingMode::fmFormattedWithTabs);
  ShowTight(page, u"wide wide wide wide wide wide", 72, 100, 0.25);  // 145 measured
  page.Show(u"next", 205, 100);
  page.EndPage();
  const auto& calls = page.Writer.Calls;
  std::vector<const TCall*> writes;
  for (const auto& c : calls) {
    if (c.Op == "WriteText") writes.push_back(&c);
  }
  ASSERT_EQ(writes.size(), 2u);
  double width = 0;
  for (const char16_t ch : writes[0]->Text) width += TFixedMeasurer::CharWidth(writes[0]->Font, ch) + writes[0]->B;
  EXPECT_LT(writes[0]->B, 0);
  EXPECT_LE(width, 205 - 72);
  EXPECT_GT(writes[1]->A, 0);  // at its tab stop
  EXPECT_EQ(writes[1]->B, 0);
}

// Text from the page's top edge to its bottom edge, taller than the text area: blank
// space and then line spacing shrink until it fits the area with some to spare.
TEST(PageFit, PageTallerThanItsAreaIsSqueezedIntoIt) {
  TPageBuilder page;
  double total = 0;
  page.Formatter->OnElementDetected = [&](TkwObject&, TkwFormatterElement& AElement, TkwAction&) {
    if (AElement.ElementType != kElementParagraph) return;
    const auto& P = static_cast<const TkwFormatterParagraph&>(AElement);
    total += P.SpaceBefore + P.LineSpacing * static_cast<double>(std::max<std::size_t>(1, P.Lines.size()));
  };
  for (int i = 0; i < 60; ++i) {
    // every tenth line after a blank of two lines
    const double y = 14 + 12.9 * i + (i / 10) * 2;
    page.Show(u"Line of text " + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)), 72, y,
              Font("Times New Roman", 12));
  }
  page.EndPage();
  const auto& ps = page.Formatter->GetPageSettings();
  const double area = TPageBuilder::kPageHeight - ps.GetTopMargin() - ps.GetBottomMargin();
  EXPECT_GT(total, 0.8 * area);
  EXPECT_LE(total, area);
}

}  // namespace
}  // namespace qm::test

namespace qm::test {
namespace {

// A paper's page: a full-width title, then two columns of running text side by side, the
// left column's lines written first as a typesetter writes them.
void ShowPaper(TPageBuilder& APage) {
  APage.Show(u"A Title Across The Whole Page Width", 200, 80, Font("Times New Roman", 14));
  for (int i = 0; i < 20; ++i) {
    const std::u16string n = std::u16string(1, static_cast<char16_t>(u'A' + i));
    APage.Show(u"left" + n + u" running text of the first column here", 72, 120 + 12 * i);
  }
  for (int i = 0; i < 20; ++i) {
    const std::u16string n = std::u16string(1, static_cast<char16_t>(u'A' + i));
    APage.Show(u"right" + n + u" running text of the second column", 320, 120 + 12 * i);
  }
}

std::u16string AllText(const TRecordingWriter& AWriter) {
  std::u16string all;
  for (const auto& t : AWriter.Texts()) all += t + u"|";
  return all;
}

struct TColumnCase {
  const char* Name;
  TkwFormattingMode Mode;
};

class PaperColumns : public ::testing::TestWithParam<TColumnCase> {};

// The title stays above the columns, and the text reads column by column; in the tabs
// mode too, where a line of one column is never joined to the line beside it.
TEST_P(PaperColumns, TwoColumnsInReadingOrder) {
  TPageBuilder page(GetParam().Mode);
  ShowPaper(page);
  page.EndPage();
  ASSERT_EQ(page.Writer.Count("BeginColumns"), 1);
  EXPECT_EQ(page.Writer.Find("BeginColumns")->A, 2);
  EXPECT_EQ(page.Writer.Count("ColumnBreak"), 1);
  const auto all = AllText(page.Writer);
  const auto at = [&](std::u16string_view AWord) { return all.find(AWord); };
  ASSERT_NE(at(u"leftT"), std::u16string::npos);
  ASSERT_NE(at(u"rightA"), std::u16string::npos);
  EXPECT_LT(at(u"Title"), at(u"leftA"));
  EXPECT_LT(at(u"leftA"), at(u"leftT"));
  EXPECT_LT(at(u"leftT"), at(u"rightA"));
  EXPECT_LT(at(u"rightA"), at(u"rightT"));
  for (const auto& text : page.Writer.Texts()) {
    EXPECT_FALSE(text.find(u"left") != std::u16string::npos && text.find(u"right") != std::u16string::npos)
        << std::string(text.begin(), text.end());
  }
  EXPECT_EQ(page.Writer.Count("BeginTable"), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, PaperColumns,
                         ::testing::Values(TColumnCase{"formatted", TkwFormattingMode::fmFormatted},
                                           TColumnCase{"tabs", TkwFormattingMode::fmFormattedWithTabs}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

// A small table inside the left column of a paper (two cells side by side on each of three
// lines): in either mode each of its rows is one line with a tab stop, not cells read one
// below the other.
TEST_P(PaperColumns, SideBySideItemsInAColumnAreTabLines) {
  TPageBuilder page(GetParam().Mode);
  ShowPaper(page);
  for (int i = 0; i < 3; ++i) {
    const std::u16string n(1, static_cast<char16_t>(u'1' + i));
    page.Show(u"name" + n, 72, 380 + 12 * i);
    page.Show(u"value" + n, 200, 380 + 12 * i);
  }
  page.EndPage();
  ASSERT_EQ(page.Writer.Count("BeginColumns"), 1);
  int rows = 0;
  for (const auto& p : page.Writer.Paragraphs()) {
    if (p.Text.find(u"name") != std::u16string::npos) {
      ++rows;
      EXPECT_NE(p.Text.find(u"value"), std::u16string::npos) << std::string(p.Text.begin(), p.Text.end());
      EXPECT_FALSE(p.Tabs.empty());
    }
  }
  EXPECT_EQ(rows, 3);
}

// A newsletter's three columns, each read to its end before the next.
TEST(PaperColumnsDetect, ThreeColumnsInReadingOrder) {
  TPageBuilder page;
  const double lefts[] = {40, 240, 440};
  for (int c = 0; c < 3; ++c) {
    for (int i = 0; i < 18; ++i) {
      const std::u16string tag = std::u16string(1, static_cast<char16_t>(u'A' + c)) +
                                 std::u16string(1, static_cast<char16_t>(u'a' + i));
      page.Show(u"col" + tag + u" text of a newsletter", lefts[c], 120 + 12 * i);
    }
  }
  page.EndPage();
  ASSERT_EQ(page.Writer.Count("BeginColumns"), 1);
  EXPECT_EQ(page.Writer.Find("BeginColumns")->A, 3);
  EXPECT_EQ(page.Writer.Count("ColumnBreak"), 2);
  const auto all = AllText(page.Writer);
  EXPECT_LT(all.find(u"colAr"), all.find(u"colBa"));
  EXPECT_LT(all.find(u"colBr"), all.find(u"colCa"));
}

// A form's labels and short values left and right of a gap are no columns of text.
TEST(PaperColumnsDetect, ShortItemsBesideEachOtherAreNoColumns) {
  TPageBuilder page(TkwFormattingMode::fmFormattedWithTabs);
  for (int i = 0; i < 20; ++i) {
    page.Show(u"Label", 72, 120 + 14 * i);
    page.Show(u"Value", 400, 120 + 14 * i);
  }
  page.EndPage();
  EXPECT_EQ(page.Writer.Count("BeginColumns"), 0);
}

}  // namespace
}  // namespace qm::test

namespace qm::test {
namespace {

struct TBoxCase {
  const char* Name;
  const char16_t* Box;   // the box or button glyph
  const char* BoxFont;
};

class LabelsBesideBoxes : public ::testing::TestWithParam<TBoxCase> {};

// A form's check boxes and radio buttons drawn as glyphs before their labels: every label
// keeps every letter, in either mode.
TEST_P(LabelsBesideBoxes, KeepEveryLetter) {
  for (const auto mode : {TkwFormattingMode::fmFormatted, TkwFormattingMode::fmFormattedWithTabs}) {
    TPageBuilder page(mode);
    const TFont box = Font(GetParam().BoxFont, 10);
    page.Show(u"Gender:", 72, 100);
    page.Show(GetParam().Box, 130, 100, box);
    page.Show(u"Female", 142, 100);
    page.Show(GetParam().Box, 200, 100, box);
    page.Show(u"Male", 212, 100);
    page.Show(GetParam().Box, 72, 130, box);
    page.Show(u"Agree to privacy policy", 84, 130);
    page.EndPage();
    std::u16string all;
    for (const auto& text : page.Writer.Texts()) all += text + u"|";
    for (const char16_t* label : {u"Female", u"Male", u"Agree to privacy policy"}) {
      EXPECT_NE(all.find(label), std::u16string::npos) << GetParam().Name << ": " << std::string(all.begin(), all.end());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, LabelsBesideBoxes,
                         ::testing::Values(TBoxCase{"Dingbat", u"\u274F", "ZapfDingbats"},
                                           TBoxCase{"Wingdings", u"o", "Wingdings"},
                                           TBoxCase{"Square", u"\u25A1", "Arial"}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

}  // namespace
}  // namespace qm::test


namespace qm::test {
namespace {

// A report's page: two columns of running text and, at the right edge, a sidebar of
// figures (a label and numbers on each row) whose rows keep baselines of their own, with
// a note below them.
void ShowReportWithSidebar(TPageBuilder& APage, bool ANote = true) {
  for (int c = 0; c < 2; ++c) {
    for (int i = 0; i < 20; ++i) {
      const std::u16string tag = std::u16string(1, static_cast<char16_t>(u'A' + c)) +
                                 std::u16string(1, static_cast<char16_t>(u'a' + i));
      APage.Show(u"col" + tag + u" running text of the column", 40 + 160.0 * c, 120 + 12 * i);
    }
  }
  for (int i = 0; i < 12; ++i) {
    const double y = 126 + 17 * i;
    APage.Show(u"Figure" + std::u16string(1, static_cast<char16_t>(u'a' + i)), 420, y, Font("Arial", 8));
    APage.Show(u"275.5", 500, y, Font("Arial", 8));
    APage.Show(u"330.7", 550, y, Font("Arial", 8));
  }
  for (int i = 0; ANote && i < 3; ++i) {
    APage.Show(u"A note on the figures across the sidebar", 420, 345 + 10 * i, Font("Arial", 8));
  }
}

// The sidebar is a column of its own after the text's two, in either mode: its figures
// are never joined to a line of the text beside them, and its rows keep their numbers.
TEST_P(PaperColumns, SidebarOfFiguresIsAColumnOfItsOwn) {
  TPageBuilder page(GetParam().Mode);
  ShowReportWithSidebar(page);
  page.EndPage();
  ASSERT_EQ(page.Writer.Count("BeginColumns"), 1);
  EXPECT_EQ(page.Writer.Find("BeginColumns")->A, 3);
  const auto all = AllText(page.Writer);
  ASSERT_NE(all.find(u"colBt"), std::u16string::npos);
  EXPECT_LT(all.find(u"colAt"), all.find(u"colBa"));
  EXPECT_LT(all.find(u"colBt"), all.find(u"Figurea"));
  int rows = 0;
  for (const auto& text : page.Writer.Texts()) {
    const bool figures = text.find(u"Figure") != std::u16string::npos;
    EXPECT_FALSE(figures && text.find(u"col") != std::u16string::npos) << std::string(text.begin(), text.end());
    rows += figures && text.find(u"330.7") != std::u16string::npos ? 1 : 0;
  }
  EXPECT_EQ(rows, 12);
  EXPECT_LT(all.find(u"330.7"), all.find(u"A note"));
}

// Figures whose rows stand on the text's baselines are a table beside the text, and a
// column of codes without a note is a form's: neither is a sidebar, so no columns.
TEST(PaperColumnsDetect, FiguresOnTheTextsBaselinesOrWithoutANoteAreNoSidebar) {
  {
    TPageBuilder page(TkwFormattingMode::fmFormattedWithTabs);
    for (int c = 0; c < 2; ++c) {
      for (int i = 0; i < 20; ++i) {
        page.Show(u"col running text of the column", 40 + 160.0 * c, 120 + 12 * i);
      }
    }
    for (int i = 0; i < 12; ++i) {
      page.Show(u"Figure", 420, 120 + 12 * i, Font("Arial", 8));
      page.Show(u"275.5", 500, 120 + 12 * i, Font("Arial", 8));
    }
    for (int i = 0; i < 3; ++i) {
      page.Show(u"A note on the figures across the sidebar", 420, 120 + 12 * (12 + i), Font("Arial", 8));
    }
    page.EndPage();
    EXPECT_EQ(page.Writer.Count("BeginColumns"), 0);
  }
  {
    TPageBuilder page(TkwFormattingMode::fmFormattedWithTabs);
    ShowReportWithSidebar(page, false);
    page.EndPage();
    EXPECT_EQ(page.Writer.Count("BeginColumns"), 0);
  }
}

// A band whose first column's glyph reaches under the next column's text (a brace set
// condensed beside a list): the columns touch, with no negative gap, which a word
// processor would lay out as a page of its own.
TEST(Sections, OverlappingColumnsTouch) {
  TPageBuilder page;
  const TFont brace = Font("Times New Roman", 40);
  for (int b = 0; b < 2; ++b) {
    const double top = 100 + 62.0 * b;
    page.Glyph(u'{', 40, top + 30, brace, false, false);  // 20 wide, reaching to 60
    for (int k = 0; k < 4; ++k) {
      page.Show(u"\u2022", 56, top + 14 * k);
      page.Show(u"item of the braced list", 70, top + 14 * k);
      page.Show(u"a remark beside the item", 330, top + 14 * k);
    }
  }
  page.EndPage();
  ASSERT_GE(page.Writer.Count("BeginColumns"), 1);
  for (int n = 0; n < page.Writer.Count("BeginColumns"); ++n) {
    for (const auto& column : page.Writer.Find("BeginColumns", n)->Columns) {
      EXPECT_GE(column.SpaceAfter, 0);
      EXPECT_GE(column.Width, 0);
    }
  }
}

// A tall glyph before a tab stop (a brace beside a list) that the page sets condensed:
// a word processor does not condense a lone character, so the glyph is made smaller to
// end before the stop, or the line's text would move on to later stops and wrap.
TEST(TabLines, LoneCondensedGlyphIsMadeSmallerToEndBeforeItsStop) {
  TPageBuilder page(TkwFormattingMode::fmFormattedWithTabs);
  const TFont brace = Font("Times New Roman", 60);
  for (int i = 0; i < 3; ++i) {
    const double y = 200 + 70 * i;
    page.Glyph(u'{', 72, y + 2, brace, false, false, -1, -10);  // 30 wide, set 20 apart
    page.Show(u"item beside the brace", 100, y);
  }
  page.EndPage();
  int braces = 0;
  for (const auto& call : page.Writer.Calls) {
    if (call.Op == "WriteText" && call.Text.find(u'{') != std::u16string::npos) {
      ++braces;
      EXPECT_LT(call.Font.Size, 60);
      EXPECT_LE(TFixedMeasurer::CharWidth(call.Font, u'{'), 100 + 2 - 1 - 72);
    }
  }
  EXPECT_EQ(braces, 3);
}

}  // namespace
}  // namespace qm::test
