// Pages formatted into the real RTF writer and read back as a reader of the file sees them.
#include <gtest/gtest.h>

#include "formatter/kwFormatterUtil.h"
#include "tests/formatter/RtfPage.h"

namespace qm::test {
namespace {

std::vector<std::string> Split(std::string_view AText) {
  std::vector<std::string> words;
  std::string word;
  for (char c : AText) {
    if (c == ' ') {
      if (!word.empty()) {
        words.push_back(word);
      }
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) {
    words.push_back(word);
  }
  return words;
}

TEST(RtfOutput, ProseKeepsEveryWord) {
  TRtfPage page;
  const std::u16string lines[] = {u"The quick brown fox jumps over", u"the lazy dog while the cat",
                                  u"watches from the warm window."};
  double y = 100;
  for (const auto& line : lines) {
    page.Show(line, 72, y);
    y += 13;
  }
  page.Show(u"A second paragraph stands alone.", 72, 200, Font("Arial", 14, fsBold));
  const auto doc = page.Finish();
  EXPECT_EQ(doc.UnbalancedBraces(), 0);
  EXPECT_EQ(doc.Words(), Split("The quick brown fox jumps over the lazy dog while the cat watches from "
                               "the warm window. A second paragraph stands alone."));
  bool bold = false;
  for (const auto& para : doc.Paragraphs()) {
    for (const auto& run : para.Runs) {
      if (run.Text.find("second") != std::string::npos) {
        bold = run.Bold && run.HalfPoints == 28;
      }
    }
  }
  EXPECT_TRUE(bold);
}

TEST(RtfOutput, TableHasItsRowsAndCells) {
  TRtfPage page;
  const std::vector<std::vector<std::u16string>> rows = {
      {u"Name", u"Qty", u"Price"}, {u"Apple", u"3", u"1.20"}, {u"Pear", u"12", u"0.80"}};
  page.ShowRows(rows, 100, 14);
  const auto doc = page.Finish();
  EXPECT_EQ(doc.RowCount(), 3);
  EXPECT_EQ(doc.CellCount(), 9);
  EXPECT_EQ(doc.Words(), Split("Name Qty Price Apple 3 1.20 Pear 12 0.80"));
}

TEST(RtfOutput, ColumnsInFormattedModeOnly) {
  for (const auto mode : {TkwFormattingMode::fmFormatted, TkwFormattingMode::fmFormattedWithTabs}) {
    TRtfPage page(mode);
    for (int i = 0; i < 3; ++i) {
      page.Show(u"Left column text runs on", 72, 100 + 12 * i);
    }
    for (int i = 0; i < 3; ++i) {
      page.Show(u"Right column text runs on", 320, 100 + 12 * i);
    }
    const auto doc = page.Finish();
    const auto cols = doc.Cols();
    const bool two = std::find(cols.begin(), cols.end(), 2) != cols.end();
    EXPECT_EQ(two, mode == TkwFormattingMode::fmFormatted);
    EXPECT_EQ(doc.Words().size(), 30u);
  }
}

TEST(RtfOutput, NumberedListIsAnRtfList) {
  TRtfPage page;
  page.Show(u"1. First item", 72, 100);
  page.Show(u"2. Second item", 72, 113);
  page.Show(u"3. Third item", 72, 126);
  const auto doc = page.Finish();
  const auto refs = doc.ListReferences();
  ASSERT_EQ(refs.size(), 3u);
  EXPECT_EQ(refs[0], refs[2]);
  EXPECT_EQ(doc.Words(), Split("First item Second item Third item"));
}

// A table of contents keeps its page numbers at the right where the page has them, with
// the dots drawn by a right tab stop's leader: a wider font can neither push the number
// onto a line of its own nor run the dots together with the title.
TEST(FormatterRtf, LeaderLineGivesADotLeaderTab) {
  for (const auto mode : {TkwFormattingMode::fmFormatted, TkwFormattingMode::fmFormattedWithTabs}) {
    TRtfPage page(mode);
    page.Show(u"Introduction ........................ 1", 72, 100);
    page.Show(u"Related work . . . . . . . . . . . . . . 12", 72, 120);
    page.Show(u"A plain line about 3.5 things", 72, 140);
    const auto doc = page.Finish();
    const std::string& rtf = page.Writer.GetRTFText();
    std::size_t leaders = 0;
    for (std::size_t at = rtf.find("\\tqr\\tldot\\tx"); at != std::string::npos;
         at = rtf.find("\\tqr\\tldot\\tx", at + 1)) {
      ++leaders;
    }
    EXPECT_EQ(leaders, 4u);  // each line's stop, among the paragraph's tabs and at its tab
    const auto text = doc.PlainText();
    EXPECT_NE(text.find("Introduction\t1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Related work\t12\n"), std::string::npos) << text;
    EXPECT_NE(text.find("A plain line about 3.5 things"), std::string::npos) << text;
  }
}

struct TLeaderCase {
  const char16_t* Text;
  const char16_t* Title;  // nullptr: no leader
  const char16_t* Target;
};

class Leaders : public ::testing::TestWithParam<TLeaderCase> {};

TEST_P(Leaders, SplitsTitleAndNumber) {
  const auto& c = GetParam();
  const auto split = fmt::SplitLeader(c.Text);
  if (c.Title == nullptr) {
    EXPECT_FALSE(split.has_value());
    return;
  }
  ASSERT_TRUE(split.has_value());
  EXPECT_EQ(split->first, c.Title);
  EXPECT_EQ(split->second, c.Target);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Leaders,
    ::testing::Values(TLeaderCase{u"Intro....... 3", u"Intro", u"3"}, TLeaderCase{u"Intro . . . . . 14 ", u"Intro", u"14"},
                      TLeaderCase{u"Name ________ ii", u"Name", u"ii"}, TLeaderCase{u"Part\u2026\u2026 7", u"Part", u"7"},
                      TLeaderCase{u"Version 1.2", nullptr, nullptr}, TLeaderCase{u"Wait... 5", nullptr, nullptr},
                      TLeaderCase{u"........ 5", nullptr, nullptr}, TLeaderCase{u"Intro ....", nullptr, nullptr}));


// Cells of a row that starts with a number read as a numbered line; each label after the
// number still stands apart from the next, whether the row is set with tabs or not.
TEST(RtfOutput, WordsOfARowAfterANumberStayApart) {
  for (const auto mode : {TkwFormattingMode::fmFormatted, TkwFormattingMode::fmFormattedWithTabs}) {
    TRtfPage page(mode);
    page.Show(u"3000", 72, 100);
    page.Show(u"Sep 10", 150, 100);
    page.Show(u"Nov 10", 230, 100);
    page.Show(u"Jan 11", 310, 100);
    const auto doc = page.Finish();
    EXPECT_EQ(doc.Words(), Split("3000 Sep 10 Nov 10 Jan 11")) << static_cast<int>(mode);
  }
}

// Double-spaced text: a word broken at a line's end reads whole, and the lines below the
// paragraph (a page number) keep their places.
TEST(RtfOutput, WordBrokenInDoubleSpacedTextReadsWhole) {
  TRtfPage page;
  // Full lines, as justified text sets them: the last one stands as centred as the page
  // number under it.
  const std::u16string lines[] = {u"In this reading, ideology is not a set of beliefs held by one",
                                  u"person or another, but rather a veil that is a means of dis-",
                                  u"tancing the signifier from the ordinary signified; it is the",
                                  u"speaker taken as a sign of an established socialist semio-",
                                  u"sphere, the stock phrase comes to signify less its intrinsic"};
  double y = 100;
  for (const auto& line : lines) {
    page.Show(line, 72, y);
    y += 24;
  }
  page.Show(u"1", 220, y + 30);
  const auto doc = page.Finish();
  const auto words = doc.Words();
  for (const char* whole : {"distancing", "semiosphere,"}) {
    EXPECT_NE(std::find(words.begin(), words.end(), whole), words.end()) << whole;
  }
  EXPECT_EQ(words.back(), "1");
}

// A word broken by a hyphen over the two lines of a table's header cell reads whole.
TEST(RtfOutput, WordBrokenInACellReadsWhole) {
  TRtfPage page;
  page.Show(u"Item", 72, 100);
  page.Show(u"Other compre-", 250, 100);
  page.Show(u"hensive income", 250, 109);
  page.Show(u"Price", 400, 100);
  const std::vector<std::vector<std::u16string>> rows = {{u"Apple", u"3", u"1.20"}, {u"Pear", u"12", u"0.80"}};
  page.ShowRows(rows, 124, 14);
  const auto doc = page.Finish();
  ASSERT_GT(doc.CellCount(), 0);
  EXPECT_EQ(doc.Words(), Split("Item Other comprehensive income Price Apple 3 1.20 Pear 12 0.80"));
}

// A table of tabbed lines whose two-line header breaks a word in a cell reads it whole.
TEST(RtfOutput, WordBrokenInATabbedTablesHeaderReadsWhole) {
  TRtfPage page(TkwFormattingMode::fmFormattedWithTabs);
  const std::vector<std::vector<std::u16string>> rows = {{u"Item", u"Other compre-", u"Price"},
                                                         {u"name", u"hensive income", u"in euro"},
                                                         {u"Apple", u"3", u"1.20"},
                                                         {u"Pear", u"12", u"0.80"}};
  page.ShowRows(rows, 100, 11);
  const auto doc = page.Finish();
  ASSERT_GT(doc.CellCount(), 0);
  const auto words = doc.Words();
  EXPECT_NE(std::find(words.begin(), words.end(), "comprehensive"), words.end());
  EXPECT_EQ(words.size(), 14u);
}

// Two columns of running text set as tabbed lines (too short to be columns of their own):
// a word broken at the end of a line of
// either column reads whole, moved to where it fits; a capital after the hyphen joins too,
// a digit does not.
TEST(RtfOutput, WordBrokenAtATabStopReadsWhole) {
  TRtfPage page(TkwFormattingMode::fmFormattedWithTabs);
  const std::u16string left[] = {u"records the code in a low-level intermedi-", u"ate representation we call",
                                 u"the LIR. It encodes all oper-", u"ations of the trace and the"};
  const std::u16string right[] = {u"loops back to line one, so Trace-", u"Monkey starts recording the",
                                  u"numbers of the IEEE-", u"754 standard with the rest"};
  // Column after column, as a producer writes them.
  for (std::size_t i = 0; i < 4; ++i) page.Show(left[i], 72, 100 + 11.0 * static_cast<double>(i));
  for (std::size_t i = 0; i < 4; ++i) page.Show(right[i], 320, 100 + 11.0 * static_cast<double>(i));
  const auto doc = page.Finish();
  const auto words = doc.Words();
  for (const char* whole : {"intermediate", "operations", "TraceMonkey", "IEEE-", "754"}) {
    EXPECT_NE(std::find(words.begin(), words.end(), whole), words.end()) << whole;
  }
  EXPECT_EQ(words.size(), Split("records the code in a low-level intermediate representation we call the LIR. It "
                                "encodes all operations of the trace and the loops back to line one, so TraceMonkey "
                                "starts recording the numbers of the IEEE- 754 standard with the rest")
                              .size());
}

// A line that ends inside a hyphenated compound goes on without a space; a dash after a
// word keeps it.
TEST(RtfOutput, CompoundBrokenAtItsHyphenReadsWhole) {
  TRtfPage page;
  const std::u16string lines[] = {u"Numbers in JavaScript are stored as IEEE-",
                                  u"754 doubles, as the report of pages 291-",
                                  u"300 says; the engine of Thunderbird email client -",
                                  u"that one too keeps them so."};
  double y = 100;
  for (const auto& line : lines) {
    page.Show(line, 72, y);
    y += 12;
  }
  const auto doc = page.Finish();
  const auto words = doc.Words();
  for (const char* whole : {"IEEE-754", "291-300", "-"}) {
    EXPECT_NE(std::find(words.begin(), words.end(), whole), words.end()) << whole;
  }
}

// A note's first line, a list item, breaks a word that its next line ends.
TEST(RtfOutput, WordBrokenAfterAListLabelReadsWhole) {
  TRtfPage page;
  page.Show(u"1. David Pogue, Don't Just Chat, Do Something, New York Times, 30 Janu-", 90, 100);
  page.Show(u"ary 2000.", 72, 110);
  page.Show(u"2. Reese V. Jenkins, Images and Enterprise, 112.", 90, 122);
  const auto doc = page.Finish();
  const auto words = doc.Words();
  EXPECT_NE(std::find(words.begin(), words.end(), "January"), words.end());
  EXPECT_EQ(std::find(words.begin(), words.end(), "ary"), words.end());
}

// A word broken at the end of a column goes on at the top of the next one.
TEST(RtfOutput, WordBrokenAtAColumnsEndReadsWhole) {
  TRtfPage page;
  const std::u16string left[] = {u"Left column text runs on and on here", u"Left column text runs on and on here",
                                 u"Left column text runs on and com-"};
  const std::u16string right[] = {u"pilation goes on in the right column", u"Right column text runs on and on",
                                  u"Right column text runs on and on"};
  for (std::size_t i = 0; i < 3; ++i) page.Show(left[i], 72, 100 + 12.0 * static_cast<double>(i));
  for (std::size_t i = 0; i < 3; ++i) page.Show(right[i], 320, 100 + 12.0 * static_cast<double>(i));
  const auto doc = page.Finish();
  const auto words = doc.Words();
  EXPECT_NE(std::find(words.begin(), words.end(), "compilation"), words.end());
}

// A bibliography entry broken with a hyphen before its hanging lines is one paragraph.
TEST(RtfOutput, WordBrokenBeforeAHangingIndentReadsWhole) {
  TRtfPage page;
  page.Show(u"[15] I. Piumarta and F. Riccardi. Optimizing direct threaded code by selec-", 72, 100);
  page.Show(u"tive inlining. In Proceedings of the ACM SIGPLAN conference", 88, 110);
  page.Show(u"on Programming language design and implementation.", 88, 120);
  const auto doc = page.Finish();
  const auto words = doc.Words();
  EXPECT_NE(std::find(words.begin(), words.end(), "selective"), words.end());
  EXPECT_EQ(std::find(words.begin(), words.end(), "tive"), words.end());
}

}  // namespace
}  // namespace qm::test
