// Conversions of the producer-made fixtures in tests/fixtures/e2e, in both formatting
// modes: the RTF has the PDF's words (against pdftotext), the fonts, sizes, styles and
// colours of the runs, and the tables, columns, lists and pictures of the pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>

#include "tests/e2e/E2eSupport.h"

namespace qm::e2e {
namespace {

struct TCase {
  const char* Fixture;
  const char* ModeName;
  TkwFormattingMode Mode;
};

std::string Squeezed(std::string AName) {
  std::string s;
  for (char c : AName)
    if (c != ' ' && c != '-') s.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  return s;
}

class TConverted {
public:
  TConverted(const TCase& ACase) {
    Pdf = FixtureDir() / (std::string(ACase.Fixture) + ".pdf");
    const fs::path out = ScratchDir() / (std::string(ACase.Fixture) + "-" + ACase.ModeName + ".rtf");
    Pages = ConvertPdf(Pdf, out, ACase.Mode);
    Raw = ReadFile(out);
    Doc = rtftest::TRtfDocument::Parse(Raw);
    Paragraphs = Doc.Paragraphs();
    Fonts = FontTable(Doc);
    Colors = ColorTable(Doc);
    fs::remove(out);
  }

  // The first run whose text holds AWord.
  const rtftest::TRtfRun* Run(const std::string& AWord) const {
    for (const auto& p : Paragraphs)
      for (const auto& r : p.Runs)
        if (r.Text.find(AWord) != std::string::npos) return &r;
    return nullptr;
  }
  std::string FontOf(const rtftest::TRtfRun& ARun) const {
    auto it = Fonts.find(ARun.Font);
    return it == Fonts.end() ? "" : Squeezed(it->second);
  }
  int ColorOf(const rtftest::TRtfRun& ARun) const {
    return ARun.Color > 0 && ARun.Color < static_cast<int>(Colors.size()) ? Colors[ARun.Color] : 0;
  }
  // Cells of each table row in document order.
  std::vector<int> RowShapes() const {
    std::vector<int> rows;
    int cells = 0;
    bool inRow = false;
    Walk(Doc.Root(), [&](const rtftest::TRtfNode& N) {
      if (N.Word == "trowd" && !inRow) { inRow = true; cells = 0; }
      else if (N.Word == "cell" && inRow) ++cells;
      else if (N.Word == "row" && inRow) { rows.push_back(cells); inRow = false; }
    });
    return rows;
  }

  // Texts of the table cells in document order, trimmed.
  std::vector<std::string> CellTexts() const {
    std::vector<std::string> cells;
    std::string text;
    WalkAll(Doc.Root(), [&](const rtftest::TRtfNode& N) {
      if (N.Kind == rtftest::TRtfNode::TKind::Text) {
        text += N.Text;
      } else if (N.Word == "cell") {
        const auto b = text.find_first_not_of(" \t\r\n");
        const auto e = text.find_last_not_of(" \t\r\n");
        cells.push_back(b == std::string::npos ? "" : text.substr(b, e - b + 1));
        text.clear();
      } else if (N.Word == "row" || N.Word == "trowd" || N.Word == "par") {
        text.clear();
      }
    });
    return cells;
  }

  fs::path Pdf;
  int Pages = 0;
  std::string Raw;
  rtftest::TRtfDocument Doc;
  std::vector<rtftest::TRtfParagraph> Paragraphs;
  std::map<int, std::string> Fonts;
  std::vector<int> Colors;

private:
  template <class F>
  static void WalkAll(const rtftest::TRtfNode& ANode, F&& AVisit) {
    for (const auto& c : ANode.Children) {
      if (c.IsGroup()) {
        if (c.Destination() != "fonttbl" && c.Destination() != "colortbl" && !c.IsIgnorable()) WalkAll(c, AVisit);
      } else {
        AVisit(c);
      }
    }
  }
  template <class F>
  static void Walk(const rtftest::TRtfNode& ANode, F&& AVisit) {
    for (const auto& c : ANode.Children) {
      if (c.IsGroup()) Walk(c, AVisit);
      else if (c.Kind == rtftest::TRtfNode::TKind::Word) AVisit(c);
    }
  }
};

// Expected look of one run: the font family (squeezed, e.g. "liberationsans"; alternatives
// split by "|"), the size in points, bold, italic and colour.
void ExpectRun(const TConverted& AConv, const std::string& AWord, const std::string& AFamily,
               int APoints, bool ABold, bool AItalic, int AColor) {
  SCOPED_TRACE("run with \"" + AWord + "\"");
  const rtftest::TRtfRun* r = AConv.Run(AWord);
  ASSERT_NE(r, nullptr);
  const std::string font = AConv.FontOf(*r);
  bool family = false;
  std::istringstream names(AFamily);
  for (std::string n; std::getline(names, n, '|');) family = family || font.find(n) != std::string::npos;
  EXPECT_TRUE(family) << font << " is not " << AFamily;
  EXPECT_NEAR(r->HalfPoints, 2 * APoints, 2);
  EXPECT_EQ(r->Bold, ABold);
  EXPECT_EQ(r->Italic, AItalic);
  EXPECT_EQ(AConv.ColorOf(*r), AColor) << std::hex << AConv.ColorOf(*r);
}

// Removes list labels ("1." "a)" "•") that open lines of pdftotext's output; returns how many.
int StripLineLabels(std::string& AText) {
  std::istringstream in(AText);
  std::string line, out;
  int count = 0;
  while (std::getline(in, line)) {
    const auto sp = line.find(' ');
    const std::string first = line.substr(0, sp);
    const bool bullet = first == "\xE2\x80\xA2";
    if (bullet && sp == std::string::npos) {
      ++count;  // pdftotext gives a bullet its own line
      continue;
    }
    bool label = false;
    if (first.size() >= 2 && (first.back() == '.' || first.back() == ')')) {
      const std::string body = first.substr(0, first.size() - 1);
      label = std::all_of(body.begin(), body.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }) ||
              (body.size() == 1 && std::isalpha(static_cast<unsigned char>(body[0])));
    }
    if ((bullet || label) && sp != std::string::npos) {
      line.erase(0, sp + 1);
      ++count;
    }
    out += line + "\n";
  }
  AText = out;
  return count;
}

class FixtureConversion : public ::testing::TestWithParam<TCase> {};

TEST_P(FixtureConversion, KeepsWordsAndLookOfThePages) {
  const TCase c = GetParam();
  const std::string fixture = c.Fixture;
  const bool formatted = c.Mode == TkwFormattingMode::fmFormatted;
  const TConverted conv(c);
  EXPECT_EQ(conv.Pages, PageCount(conv.Pdf));
  EXPECT_EQ(conv.Doc.UnbalancedBraces(), 0);
  if (HaveTool("pdftotext")) {
    std::string reference = RunCommand("pdftotext -q '" + conv.Pdf.string() + "' - 2>/dev/null");
    // The labels of list paragraphs are the RTF list's numbering, not text of the
    // paragraphs: take them out of the reference, one per list paragraph.
    int listed = 0;
    for (const auto& p : conv.Paragraphs) listed += p.List != 0;
    if (listed > 0) {
      const int labels = StripLineLabels(reference);
      EXPECT_EQ(labels, listed);
    }
    const auto want = SplitWords(reference);
    const auto got = SplitWords(conv.Doc.PlainText());
    EXPECT_GE(WordF1(got, want), 0.98) << conv.Doc.PlainText();
  }

  if (fixture == "prose") {
    int runs = 0;
    for (const auto& p : conv.Paragraphs)
      for (const auto& r : p.Runs) {
        if (r.Text.find_first_not_of(" \t\n") == std::string::npos) continue;
        ++runs;
        EXPECT_NE(conv.FontOf(r).find("liberationserif"), std::string::npos) << conv.FontOf(r);
        EXPECT_NEAR(r.HalfPoints, 24, 2) << r.Text;
        EXPECT_FALSE(r.Bold || r.Italic) << r.Text;
      }
    EXPECT_GT(runs, 20);
    // Every page has the margins of its text, not the defaults of a new page.
    EXPECT_EQ(conv.Doc.WordParams("marglsxn"), (std::vector<int>(3, 1136)));
    EXPECT_GE(conv.Paragraphs.size(), 24u);
  } else if (fixture == "headings") {
    ExpectRun(conv, "Annual Report", "liberationsans", 22, true, false, 0);
    ExpectRun(conv, "Weather along", "liberationsans", 16, false, true, 0x1f4e9c);
    ExpectRun(conv, "Repairs to", "liberationsans", 13, true, false, 0xc00000);
    ExpectRun(conv, "strongest", "liberationserif", 11, true, false, 0);
    ExpectRun(conv, "lens assembly", "liberationserif", 11, false, true, 0);
    ExpectRun(conv, "green", "liberationserif", 11, false, false, 0x008000);
    ExpectRun(conv, "Supply boats", "liberationserif", 11, false, false, 0);
  } else if (fixture == "lists") {
    int listed = 0;
    for (const auto& p : conv.Paragraphs)
      if (p.List != 0) ++listed;
    EXPECT_GE(listed, 12);
    for (const char* item : {"warm socks", "Climb the ridge", "Soup from", "opening hours"}) {
      bool found = false;
      for (const auto& p : conv.Paragraphs)
        if (p.Text().find(item) != std::string::npos) found = p.List != 0;
      EXPECT_TRUE(found) << item << " is not in a list";
    }
    const auto levels = LevelTexts(conv.Doc);
    EXPECT_NE(std::find(levels.begin(), levels.end(), "."), levels.end());
    EXPECT_NE(std::find(levels.begin(), levels.end(), ")"), levels.end());
    // Labels are the list's, not text typed into the paragraph as well.
    for (const auto& p : conv.Paragraphs) {
      if (p.List != 0) {
        EXPECT_EQ(p.Text().find("a)"), std::string::npos) << p.Text();
      }
    }
  } else if (fixture == "tables") {
    if (formatted) {
      EXPECT_EQ(conv.RowShapes(), (std::vector<int>{4, 4, 4, 4, 3, 3, 3, 3, 3}));
      const auto cells = conv.CellTexts();
      ASSERT_EQ(cells.size(), 31u);
      EXPECT_EQ(cells[0], "Boat");
      EXPECT_EQ(cells[4], "Heron");
      EXPECT_EQ(cells[3], "Autumn");
      EXPECT_EQ(cells[16], "Harbour");
      EXPECT_EQ(cells[30], "55");
    } else {
      // With tabs, only the table the page rules is a table; the plain one is tabbed text.
      EXPECT_EQ(conv.RowShapes(), (std::vector<int>{4, 4, 4, 4}));
    }
  } else if (fixture == "columns") {
    const auto cols = conv.Doc.Cols();
    const bool two = std::find(cols.begin(), cols.end(), 2) != cols.end();
    EXPECT_EQ(two, formatted);
    if (formatted) {
      // The title spans the page: it comes before the two-column section.
      EXPECT_LT(conv.Raw.find("News from"), conv.Raw.find("\\cols2"));
    }
  } else if (fixture == "image") {
    const auto pics = conv.Doc.Pictures();
    ASSERT_EQ(pics.size(), 1u);
    EXPECT_NEAR(pics[0].GoalWidth, 180 * 20, 40);
    EXPECT_NEAR(pics[0].GoalHeight, 90 * 20, 40);
  } else if (fixture == "form") {
    // The standard fonts, not embedded, come out under their usual system names.
    ExpectRun(conv, "Notice to all", "helvetica|arial|liberationsans", 18, true, false, 0);
    ExpectRun(conv, "annual meeting", "times|liberationserif", 12, false, false, 0);
    ExpectRun(conv, "Tea and cakes", "times|liberationserif", 12, false, true, 0x333399);
  } else if (fixture == "scan") {
    const auto pics = conv.Doc.Pictures();
    ASSERT_EQ(pics.size(), 1u);
    EXPECT_EQ(pics[0].Blip, "jpegblip");
    EXPECT_NEAR(pics[0].GoalWidth, 612 * 20, 40);
    EXPECT_NEAR(pics[0].GoalHeight, 792 * 20, 40);
    EXPECT_TRUE(conv.Doc.Words().empty());
  }
}

// Inputs the fuzzer found: they convert or fail with an exception, never crash.
TEST(DamagedInput, FuzzFindingsNeverCrash) {
  const fs::path dir = fs::path(QM_SOURCE_DIR) / "fuzz" / "regress" / "e2e";
  int seen = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    ++seen;
    for (auto mode : {TkwFormattingMode::fmFormatted, TkwFormattingMode::fmFormattedWithTabs}) {
      try {
        ConvertPdf(e.path(), ScratchDir() / "fuzz.rtf", mode);
      } catch (const std::exception&) {
      }
    }
  }
  EXPECT_GT(seen, 0);
}

std::vector<TCase> AllCases() {
  std::vector<TCase> cases;
  for (const char* f : {"prose", "headings", "lists", "tables", "columns", "image", "form", "scan"}) {
    cases.push_back({f, "formatted", TkwFormattingMode::fmFormatted});
    cases.push_back({f, "tabs", TkwFormattingMode::fmFormattedWithTabs});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureConversion, ::testing::ValuesIn(AllCases()),
                         [](const auto& AInfo) {
                           return std::string(AInfo.param.Fixture) + "_" + AInfo.param.ModeName;
                         });

}  // namespace
}  // namespace qm::e2e
