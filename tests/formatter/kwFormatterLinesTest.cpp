// Glyph intake and the end-of-page line pass.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "formatter/kwFormatterUtil.h"
#include "tests/formatter/FormatterTestKit.h"

namespace qm::test {
namespace {

using fmt::Trim;

std::vector<std::u16string> LineTexts(const TkwFormatterPage& APage) {
  std::vector<std::u16string> texts;
  for (const auto* line : APage.Lines) {
    texts.push_back(line->Text());
  }
  return texts;
}

TEST(FormatterRect, IncludeTreatsZeroAsUnset) {
  TkwFormatterRect rect;
  rect.Include(60, 80, 40, 30);
  EXPECT_EQ(rect.Left, 30);
  EXPECT_EQ(rect.Top, 40);
  rect.Include(70, 90, 45, 50);
  EXPECT_EQ(rect.Left, 30);
  EXPECT_EQ(rect.Top, 40);
  EXPECT_EQ(rect.Right, 90);
  EXPECT_EQ(rect.Bottom, 70);
}

TEST(FormatterLine, RunOutOfRangeIsNull) {
  TkwFormatterTextLine line;
  line.AddRun(std::make_unique<TkwFormatterText>());
  line.AddRun(std::make_unique<TkwFormatterText>());
  EXPECT_EQ(line.RunCount, 2);
  EXPECT_EQ(line.Run(5), nullptr);
  EXPECT_EQ(line.Run(-1), nullptr);
  EXPECT_NE(line.Run(1), nullptr);
}

TEST(GlyphIntake, FarGapStartsNewLineOnSameBaseline) {
  TPageBuilder page;
  page.Show(u"Hello", 72, 100);
  page.Show(u"World", 200, 100);
  const auto& lines = page.Formatter->GetPage()->Lines;
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0]->Y, lines[1]->Y);
  EXPECT_EQ(LineTexts(*page.Formatter->GetPage()), (std::vector<std::u16string>{u"Hello", u"World"}));
}

TEST(GlyphIntake, ListLabelKeepsFarTextOnItsLine) {
  TPageBuilder page;
  // Beyond twice the width of "W" (18) but within eight spaces (20) of the label.
  const double end = page.Show(u"1.", 72, 100);
  page.Show(u"Item", end + 19, 100);
  const auto& lines = page.Formatter->GetPage()->Lines;
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]->RunCount, 2);
  EXPECT_EQ(lines[0]->LastRunIndex, 1);
}

TEST(GlyphIntake, BoldNumberKeepsFarTextOnItsLine) {
  TPageBuilder page;
  const auto bold = Font("Arial", 10, fsBold);
  page.Show(u"12", 72, 100, bold);
  page.Show(u"Heading", 200, 100, bold);
  const auto& lines = page.Formatter->GetPage()->Lines;
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]->RunCount, 2);
}

TEST(GlyphIntake, OtherFontMakesRunOnlyAtOperatorStart) {
  TPageBuilder page;
  const double end = page.Show(u"ab", 72, 100);
  const auto italic = Font("Times New Roman", 10, fsItalic);
  page.Glyph(u'c', end, 100, italic, false, true);  // same operator: joins the run
  page.Glyph(u'd', end + 5, 100, italic, false, false);  // new operator: new run
  const auto& lines = page.Formatter->GetPage()->Lines;
  ASSERT_EQ(lines.size(), 1u);
  ASSERT_EQ(lines[0]->RunCount, 2);
  EXPECT_EQ(lines[0]->Run(0)->Text, u"abc");
  EXPECT_EQ(lines[0]->Run(1)->Text, u"d");
  EXPECT_EQ(lines[0]->Run(1)->RunIndex, 1);
}

TEST(GlyphIntake, SpaceNeverStartsALine) {
  TPageBuilder page;
  page.Glyph(u' ', 300, 300, Font(), false, false);
  EXPECT_TRUE(page.Formatter->GetPage()->Lines.empty());
}

TEST(GlyphIntake, GlyphsOutsideThePageAreIgnored) {
  TPageBuilder page;
  page.Glyph(u'a', -1, 100, Font(), false, false);
  page.Glyph(u'b', 72, -10, Font(), false, false);  // above the top edge
  EXPECT_TRUE(page.Formatter->GetPage()->Lines.empty());
}

struct TScriptCase {
  const char* Name;
  double Offset;     // baseline of the small glyphs, points below the line's (negative: above)
  int Size;          // their font size; the line's is 10
  double Rise;       // the rise expected of their run; 0: no run of their own
  const char16_t* Text;
};

class Scripts : public ::testing::TestWithParam<TScriptCase> {};

// Small glyphs raised into the line's height or lowered below its baseline, right after its
// text, become a run of their own with their rise; the text after them is a new run on the
// baseline. A raised glyph of the text's own size stays part of the text.
TEST_P(Scripts, RaisedAndLoweredSmallGlyphsKeepTheirRise) {
  const auto& c = GetParam();
  TPageBuilder page;
  const double end = page.Show(u"E=mc", 72, 100);
  const TFont small = Font("Times New Roman", c.Size);
  page.Glyph(u'2', end, 100 + c.Offset, small, false, false, c.Size);
  page.Glyph(u'3', end + TFixedMeasurer::CharWidth(small, u'2'), 100 + c.Offset, small, true, true, c.Size);
  page.Glyph(u'x', end + 2 * TFixedMeasurer::CharWidth(small, u'2'), 100, Font(), false, false);
  const auto& lines = page.Formatter->GetPage()->Lines;
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]->Text(), c.Text);
  if (c.Rise != 0) {
    ASSERT_EQ(lines[0]->Runs.size(), 3u);
    EXPECT_NEAR(lines[0]->Runs[1]->Rise, c.Rise, 1e-9);
    EXPECT_EQ(lines[0]->Runs[1]->Text, u"23");
    EXPECT_EQ(lines[0]->Runs[1]->Font.Size, c.Size);
    EXPECT_EQ(lines[0]->Runs[2]->Rise, 0);
  } else {
    for (const auto& run : lines[0]->Runs) EXPECT_EQ(run->Rise, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Intake, Scripts,
    ::testing::Values(TScriptCase{"Superscript", -4, 6, 4, u"E=mc23x"},
                      TScriptCase{"Subscript", 2, 6, -2, u"E=mc23x"},
                      TScriptCase{"SameSizeRaisedStaysText", -4, 10, 0, u"E=mc23x"}),
    [](const auto& info) { return std::string(info.param.Name); });

// A glyph far larger than the text beside it (a brace, a drop cap) neither sets the line's
// height nor takes that text into its run, whichever comes first.
TEST(GlyphIntake, OversizedGlyphLeavesTheTextItsSize) {
  {
    TPageBuilder page;
    const double end = page.Show(u"cases", 72, 100);
    page.Glyph(u'}', end + 2, 100, Font("Times New Roman", 60), false, false, 60);
    const auto& lines = page.Formatter->GetPage()->Lines;
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NEAR(lines[0]->Height, 10, 1e-9);
  }
  {
    TPageBuilder page;
    page.Glyph(u'{', 72, 140, Font("Times New Roman", 60), false, false, 60);
    page.Show(u"first", 72 + 30, 110);
    page.Show(u"second", 72 + 30, 124);
    for (const auto* line : page.Formatter->GetPage()->Lines) {
      for (const auto& run : line->Runs) {
        if (run->Text != u"{") {
          EXPECT_EQ(run->Font.Size, 10);
        }
        EXPECT_EQ(run->Rise, 0);
      }
    }
    EXPECT_EQ(page.Formatter->GetPage()->Lines.size(), 3u);
  }
}

TEST(GlyphIntake, ScriptsRenderWithTheirRiseAndEndIt) {
  TPageBuilder page;
  const double end = page.Show(u"Area", 72, 100);
  page.Glyph(u'2', end, 96, Font("Times New Roman", 6), false, false, 6);
  page.Show(u"more", end + 3, 100);
  page.EndPage();
  std::vector<double> rises;
  for (const auto& call : page.Writer.Calls) {
    if (call.Op == "SetTextRise") rises.push_back(call.A);
  }
  EXPECT_EQ(rises, (std::vector<double>{4, 0}));
}

struct TGapCase {
  const char* Name;
  const char* FontName;
  double Gap;
  const char16_t* Expected;
};

class GapBetweenStrings : public ::testing::TestWithParam<TGapCase> {};

TEST_P(GapBetweenStrings, InsertsOneSpace) {
  const auto& c = GetParam();
  TPageBuilder page;
  const auto font = Font(c.FontName);
  page.ShowStrings({{u"Hello", 72}, {u"World", 72 + 25 + c.Gap}}, 100, font);
  const auto& lines = page.Formatter->GetPage()->Lines;
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]->Text(), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Intake, GapBetweenStrings,
    ::testing::Values(TGapCase{"wide", "Times New Roman", 4, u"Hello World"},
                      TGapCase{"kerning", "Times New Roman", 1, u"HelloWorld"},
                      // The fallback font parts words like every other.
                      TGapCase{"fallback", "Arial Unicode MS", 4, u"Hello World"}),
    [](const auto& info) { return std::string(info.param.Name); });

struct TStringGapCase {
  const char* Name;
  std::vector<std::pair<std::u16string, double>> Strings;  // of one operator
  bool OneString;  // the glyphs are of one string (a TJ adjustment moved them)
  const char16_t* Expected;
};

class GapRule : public ::testing::TestWithParam<TStringGapCase> {};

// Word spaces come from positions alone: inside one string too, never doubling a space
// glyph, never between two CJK characters.
TEST_P(GapRule, SpacesFromPositions) {
  const auto& c = GetParam();
  TPageBuilder page;
  bool first = true;
  for (const auto& [text, startX] : c.Strings) {
    double x = startX;
    for (char16_t ch : text) {
      page.Glyph(ch, x, 100, Font(), c.OneString && !first, !first);
      first = false;
      x += TFixedMeasurer::CharWidth(Font(), ch);
    }
  }
  const auto& lines = page.Formatter->GetPage()->Lines;
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]->Text(), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Intake, GapRule,
    ::testing::Values(
        TStringGapCase{"InsideOneString", {{u"Two", 72}, {u"Words", 72 + 15 + 3}}, true, u"Two Words"},
        TStringGapCase{"KernInsideOneString", {{u"Ker", 72}, {u"ning", 72 + 15 + 0.5}}, true, u"Kerning"},
        TStringGapCase{"SpaceGlyphNotDoubled", {{u"Two ", 72}, {u"Words", 72 + 17.5 + 4}}, false, u"Two Words"},
        TStringGapCase{"CJKWithoutSpaces", {{u"\u65E5\u672C", 72}, {u"\u8A9E", 72 + 10 + 4}}, false,
                       u"\u65E5\u672C\u8A9E"},
        TStringGapCase{"CJKBesideLatin", {{u"\u65E5", 72}, {u"ABC", 72 + 5 + 4}}, false, u"\u65E5 ABC"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(GlyphIntake, FontChangeAfterAGapStartsAWord) {
  TPageBuilder page;
  const double end = page.Show(u"plain", 72, 100);
  page.Show(u"italic", end + 3, 100, Font("Times New Roman", 10, fsItalic));
  page.Show(u"tail", end + 3 + 30, 100);
  const auto& lines = page.Formatter->GetPage()->Lines;
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]->Text(), u"plain italictail");
  ASSERT_EQ(lines[0]->Runs.size(), 3u);
  // The run reaches the next one, so rendering puts no tab between them.
  EXPECT_NEAR(lines[0]->Runs[0]->X + lines[0]->Runs[0]->Width, lines[0]->Runs[1]->X, 1e-9);
}

TEST(GlyphIntake, FirstGlyphsOfARunSeeTheGap) {
  TPageBuilder page;
  // A one-letter word shown as its own string, then the next word after a space gap.
  page.ShowStrings({{u"A", 72}, {u"word", 72 + 5 + 4}}, 100);
  EXPECT_EQ(page.Formatter->GetPage()->Lines[0]->Text(), u"A word");
}

TEST(GlyphIntake, MarginsShrinkToTheText) {
  TPageBuilder page;
  page.Show(u"Text", 90, 60);
  const auto& ps = page.Formatter->GetPageSettings();
  EXPECT_DOUBLE_EQ(ps.GetLeftMargin(), 72);  // the default stays when the text is right of it
  EXPECT_NEAR(ps.GetTopMargin(), 60 - 10, 1e-9);
  page.Show(u"More", 40, 700);
  EXPECT_DOUBLE_EQ(ps.GetLeftMargin(), 40);
  EXPECT_DOUBLE_EQ(ps.GetBottomMargin(), 36);
  page.Show(u"Foot", 40, 770);
  EXPECT_DOUBLE_EQ(ps.GetBottomMargin(), 22);
}

TEST(LinePass, TrademarkSignIsSplicedIntoTallerLine) {
  TPageBuilder page;
  page.Glyph(u'\u00AE', 97, 96, Font("Times New Roman", 5), false, false, 5);
  page.Show(u"Brand", 72, 100);
  page.Show(u"Next line", 72, 200);
  page.EndPage();
  EXPECT_EQ(page.Writer.Texts(), (std::vector<std::u16string>{u"Brand\u00AE", u"Next line"}));
}

TEST(LinePass, OverprintedDuplicateRunIsRemoved) {
  TPageBuilder page;
  auto grey = Font();
  grey.Color = RGBColor(128, 128, 128);
  page.Show(u"abc", 72, 100);
  page.Show(u"abc", 72, 100, grey);
  ASSERT_EQ(page.Formatter->GetPage()->Lines[0]->RunCount, 2);
  page.EndPage();
  EXPECT_EQ(page.Writer.Texts(), (std::vector<std::u16string>{u"abc"}));
}

TEST(LinePass, RemoveDuplicatesKeepsTheLongerText) {
  TkwFormatterTextLine line;
  for (const auto* text : {u"ab", u"abc", u"zz"}) {
    auto run = std::make_unique<TkwFormatterText>();
    run->Text = text;
    run->X = std::u16string_view(text) == u"zz" ? 50 : 10;
    line.AddRun(std::move(run));
  }
  fmt::RemoveDuplicates(line);
  ASSERT_EQ(line.RunCount, 2);
  EXPECT_EQ(line.Run(0)->Text, u"abc");
  EXPECT_EQ(line.Run(1)->Text, u"zz");
}

struct TDuplicateCase {
  const char* Name;
  std::vector<std::pair<std::u16string, double>> Runs;  // text and x, in order
  std::vector<std::u16string> Kept;
};

class DuplicateRuns : public ::testing::TestWithParam<TDuplicateCase> {};

// Copies of a text at one x leave one run; a text inside a longer one at the same x goes;
// runs at other x values are never compared.
TEST_P(DuplicateRuns, KeepOneOfEachOverprint) {
  TkwFormatterTextLine line;
  for (const auto& [text, x] : GetParam().Runs) {
    auto run = std::make_unique<TkwFormatterText>();
    run->Text = text;
    run->X = x;
    line.AddRun(std::move(run));
  }
  fmt::RemoveDuplicates(line);
  std::vector<std::u16string> kept;
  for (int i = 0; i < line.RunCount; ++i) kept.push_back(line.Run(i)->Text);
  EXPECT_EQ(kept, GetParam().Kept);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DuplicateRuns,
    ::testing::Values(
        TDuplicateCase{"Copies", {{u"ab", 10}, {u"ab", 10}, {u"ab", 10}}, {u"ab"}},
        TDuplicateCase{"ShorterFirst", {{u"b", 10}, {u"abc", 10}, {u"b", 10}}, {u"abc"}},
        TDuplicateCase{"LongerFirst", {{u"abc", 10}, {u"b", 10}, {u"abc", 10}}, {u"abc"}},
        TDuplicateCase{"OtherPlaces", {{u"ab", 10}, {u"ab", 20}, {u"ab", 10}, {u"ab", 20}}, {u"ab", u"ab"}},
        TDuplicateCase{"Unrelated", {{u"ab", 10}, {u"cd", 10}}, {u"ab", u"cd"}},
        TDuplicateCase{"SignedZero", {{u"ab", 0.0}, {u"ab", -0.0}}, {u"ab"}}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(LinePass, TextPrintedOverItselfManyTimesCostsLinearTime) {
  TPageBuilder page;
  for (int i = 0; i < 40'000; ++i) page.Show(u"Hello world", 72, 100);
  const auto start = std::chrono::steady_clock::now();
  page.EndPage();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(page.Writer.Texts().size(), 1u);
#ifdef NDEBUG
  EXPECT_LT(seconds, 2.0);  // it took minutes when every copy met every other
#else
  (void)seconds;
#endif
}

TEST(LinePass, TabsModeMergesSideBySideLinesIntoOneTabbedLine) {
  TPageBuilder page(TkwFormattingMode::fmFormattedWithTabs);
  page.Show(u"Value", 300, 100);
  page.Show(u"Name", 72, 100);
  page.EndPage();
  const auto paras = page.Writer.Paragraphs();
  ASSERT_EQ(paras.size(), 1u);
  EXPECT_EQ(paras[0].Text, u"NameValue");
  ASSERT_EQ(paras[0].Tabs.size(), 2u);
  EXPECT_EQ(paras[0].Tabs[0], 0);
  EXPECT_DOUBLE_EQ(paras[0].Tabs[1], 300 - 72 + 2);
  EXPECT_EQ(page.Writer.Count("BeginColumns"), 0);
  EXPECT_EQ(page.Writer.Count("ColumnBreak"), 0);
}

struct TLabelCase {
  const char16_t* Text;
  bool Expected;
};

class ListLabelLine : public ::testing::TestWithParam<TLabelCase> {};

TEST_P(ListLabelLine, Recognises) {
  TkwFormatterTextLine line;
  auto run = std::make_unique<TkwFormatterText>();
  run->Text = GetParam().Text;
  line.AddRun(std::move(run));
  EXPECT_EQ(fmt::IsListLabelLine(line), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Labels, ListLabelLine,
                         ::testing::Values(TLabelCase{u"\u2022", true}, TLabelCase{u"-", true},
                                           TLabelCase{u"1.", true}, TLabelCase{u"9)", true},
                                           TLabelCase{u"a)", true}, TLabelCase{u"B.", true},
                                           TLabelCase{u"0.", false}, TLabelCase{u"12", false},
                                           TLabelCase{u"word", false}, TLabelCase{u"", false},
                                           TLabelCase{u" 3. ", true}, TLabelCase{u"a rest of the line.", true},
                                           TLabelCase{u"ab rest.", false}, TLabelCase{u"1 rest.", false},
                                           TLabelCase{u"12.", false}, TLabelCase{u"x,", true}));

struct THyphenEnd {
  const char16_t* LineEnd;
  char16_t Next;
  std::size_t Hyphen;  // npos: the line does not break a word
};

class WordBreak : public ::testing::TestWithParam<THyphenEnd> {};

TEST_P(WordBreak, FindsTheHyphenOfABrokenWord) {
  EXPECT_EQ(fmt::WordBreakHyphen(GetParam().LineEnd, GetParam().Next), GetParam().Hyphen);
}

constexpr std::size_t kNone = std::u16string_view::npos;
INSTANTIATE_TEST_SUITE_P(
    LineEnds, WordBreak,
    ::testing::Values(THyphenEnd{u"to com-", u'p', 6}, THyphenEnd{u"to com- ", u'p', 6},
                      THyphenEnd{u"the r\u00e9-", u'\u00e9', 6}, THyphenEnd{u"\u0441\u043b\u043e-", u'\u0432', 3},
                      THyphenEnd{u"of dis\u2010", u'c', 6}, THyphenEnd{u"Trace-", u'M', 5},
                      THyphenEnd{u"pages 12-", u'1', kNone}, THyphenEnd{u"and -", u'x', kNone},
                      THyphenEnd{u"the end.", u'a', kNone}, THyphenEnd{u"-", u'a', kNone},
                      THyphenEnd{u"", u'a', kNone}, THyphenEnd{u"x-", u' ', kNone}));

TEST(LineTests, AccentsComposeWithTheirLetters) {
  EXPECT_EQ(fmt::ComposeAccent(u'\u0131', u'\u00A8'), u'\u00EF');  // dotless i
  EXPECT_EQ(fmt::ComposeAccent(u'E', u'\u00B4'), u'\u00C9');
  EXPECT_EQ(fmt::ComposeAccent(u'c', u'\u00B8'), u'\u00E7');
  EXPECT_EQ(fmt::ComposeAccent(u's', u'\u02C7'), u'\u0161');
  EXPECT_EQ(fmt::ComposeAccent(u'o', u'\u02DD'), u'\u0151');
  EXPECT_EQ(fmt::ComposeAccent(u't', u'\u00B4'), 0);  // no such letter
  EXPECT_EQ(fmt::ComposeAccent(u'a', u'x'), 0);        // not an accent
}

// The quick test the glyph intake asks before composing: every character that composes
// with some letter as its accent is a spacing accent, and every spacing accent composes.
TEST(LineTests, SpacingAccentsAreExactlyTheComposingOnes) {
  const std::u16string_view letters = u"aeiouyAEIOUYcnszCNSZdgrtlhIı";
  for (char32_t c = 0; c <= 0xFFFF; ++c) {
    const auto accent = static_cast<char16_t>(c);
    bool composes = false;
    for (char16_t base : letters) composes = composes || fmt::ComposeAccent(base, accent) != 0;
    ASSERT_EQ(fmt::IsSpacingAccent(accent), composes) << static_cast<unsigned>(c);
  }
}

struct TBulletCase {
  char16_t Char;
  bool Bullet;
};

class Bullets : public ::testing::TestWithParam<TBulletCase> {};

TEST_P(Bullets, OnlyMarksStartLists) { EXPECT_EQ(fmt::IsBulletChar(GetParam().Char), GetParam().Bullet); }

INSTANTIATE_TEST_SUITE_P(
    Chars, Bullets,
    ::testing::Values(TBulletCase{u'\u2022', true}, TBulletCase{u'-', true}, TBulletCase{u'*', true},
                      TBulletCase{u'\u2013', true}, TBulletCase{u'\u25AA', true}, TBulletCase{u'\u2713', true},
                      TBulletCase{u'\u27A2', true}, TBulletCase{u'\uF0B7', true}, TBulletCase{u'\u00B7', true},
                      TBulletCase{u'\u00C0', false}, TBulletCase{u'\u00F0', false}, TBulletCase{u'@', false},
                      TBulletCase{u'\u20AC', false}, TBulletCase{u'\u00B0', false}, TBulletCase{u'!', false},
                      TBulletCase{u'\u0416', false}, TBulletCase{u'\u4E00', false}, TBulletCase{u'(', false}));

TEST(LineTests, ContainsNoCaseWithAndWithoutLetters) {
  EXPECT_TRUE(fmt::ContainsNoCase(u"Chapter One . . . . 12", u" . . . . "));
  EXPECT_TRUE(fmt::ContainsNoCase(u"Total....42", u"...."));
  EXPECT_FALSE(fmt::ContainsNoCase(u"Total...42", u"...."));
  EXPECT_TRUE(fmt::ContainsNoCase(u"the CONTENTS page", u"Contents"));
  EXPECT_FALSE(fmt::ContainsNoCase(u"conten", u"Contents"));
  EXPECT_TRUE(fmt::ContainsNoCase(u"x", u""));
  // Needles without letters are found by their first character that is not a space, at
  // either end of the text and nowhere they only partly stand.
  EXPECT_TRUE(fmt::ContainsNoCase(u" . . . . 12", u" . . . . "));
  EXPECT_TRUE(fmt::ContainsNoCase(u"One . . . . ", u" . . . . "));
  EXPECT_FALSE(fmt::ContainsNoCase(u". . . . 12", u" . . . . "));
  EXPECT_FALSE(fmt::ContainsNoCase(u"One . . . .", u" . . . . "));
  EXPECT_TRUE(fmt::ContainsNoCase(u"____", u"____"));
  EXPECT_FALSE(fmt::ContainsNoCase(u"___ _", u"____"));
  EXPECT_TRUE(fmt::ContainsNoCase(u"a  b", u"  "));
  EXPECT_FALSE(fmt::ContainsNoCase(u"a b c", u"  "));
}

// Needles without letters are looked for four units at a time: the answer is the plain
// search's for every length of text and every place of the needle, with near misses, the
// key character beside units that differ from it in one bit, and characters above 0xFF.
TEST(LineTests, ContainsNoCaseWithoutLettersMatchesAPlainSearch) {
  const std::u16string_view needles[] = {u" . . . . ", u"....", u"____", u"\u2026\u2026"};
  const char16_t fillers[] = {u'x', u'/', u'-', u'\u012E', u'\u2025', u' '};
  for (std::u16string_view needle : needles) {
    for (std::size_t length = 0; length <= 23; ++length) {
      for (char16_t filler : fillers) {
        for (std::size_t at = 0; at <= length; ++at) {
          std::u16string text(length, filler);
          // The needle, cut short at the text's end; and a near miss without its last unit.
          text.replace(at, std::min(needle.size(), length - at), needle.substr(0, length - at));
          std::u16string miss(length, filler);
          miss.replace(at, std::min(needle.size() - 1, length - at), needle.substr(0, std::min(needle.size() - 1, length - at)));
          for (const std::u16string& t : {text, miss}) {
            const bool plain = t.find(needle) != std::u16string::npos;
            ASSERT_EQ(fmt::ContainsNoCase(t, needle), plain) << length << " " << at;
          }
        }
      }
    }
  }
}

TEST(LineTests, SideBySideNeedsVerticalOverlapAndHorizontalGap) {
  TkwFormatterTextLine a;
  a.X = 72;
  a.Y = 100;
  a.Height = 10;
  a.SetRight(150);
  TkwFormatterTextLine b;
  b.X = 200;
  b.Y = 104;
  b.Height = 10;
  b.SetRight(260);
  EXPECT_TRUE(fmt::SideBySide(&a, &b, 2));
  b.X = 100;  // overlaps a horizontally
  EXPECT_FALSE(fmt::SideBySide(&a, &b, 2));
  b.X = 200;
  b.Y = 130;  // below a
  EXPECT_FALSE(fmt::SideBySide(&a, &b, 2));
  EXPECT_FALSE(fmt::SideBySide(&a, nullptr, 2));
}

}  // namespace
}  // namespace qm::test
