#include "converter/kwPageRange.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qm {
namespace {

struct TSelectionCase {
  const char* Name;
  const char* Range;
  int PageCount;
  std::vector<int> Selected;
};

class PageRangeSelection : public ::testing::TestWithParam<TSelectionCase> {};

TEST_P(PageRangeSelection, SelectsExactlyThePagesListed) {
  const TSelectionCase& c = GetParam();
  const TkwPageRange range(c.Range);
  std::vector<int> selected;
  for (int page = 1; page <= c.PageCount; ++page) {
    if (range.Accepts(page)) selected.push_back(page);
  }
  EXPECT_EQ(selected, c.Selected);
  EXPECT_EQ(range.CountSelected(c.PageCount), static_cast<int>(c.Selected.size()));
  for (int page = 1; page <= c.PageCount; ++page) {
    EXPECT_EQ(IsPageSelected(c.Range, page), range.Accepts(page)) << "page " << page;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, PageRangeSelection,
    ::testing::Values(
        TSelectionCase{"Empty", "", 4, {1, 2, 3, 4}},
        TSelectionCase{"Blank", " \t  ", 3, {1, 2, 3}},
        TSelectionCase{"ListAndRangeBeyondEnd", "1,3, 5-9", 6, {1, 3, 5, 6}},
        TSelectionCase{"SinglePageRange", "2-2", 4, {2}},
        TSelectionCase{"BackwardsRange", "9-3", 10, {}},
        TSelectionCase{"LetterItemSkipped", "a,2", 3, {2}},
        TSelectionCase{"BlanksSeparate", "1 3", 4, {1, 3}},
        TSelectionCase{"BlanksAroundComma", " 1 ,  3 ", 4, {1, 3}},
        TSelectionCase{"QuotedItem", "\"2-3\",1", 4, {1, 2, 3}},
        TSelectionCase{"QuotedBlankGroupIsSkipped", "\"1 2\",4", 4, {4}},
        TSelectionCase{"PlusSignSkipped", "+2,3", 4, {3}},
        TSelectionCase{"DuplicatesCountOnce", "2,2,1-3", 4, {1, 2, 3}},
        TSelectionCase{"NegativeLastSide", "2--1,4", 5, {4}},
        TSelectionCase{"PageZeroNeverExists", "0", 3, {}},
        TSelectionCase{"BadItemAfterAcceptingOne", "1-9,,", 3, {1, 2, 3}}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

struct TErrorCase {
  const char* Name;
  const char* Range;
  int Page;
  const char* Message;
};

class PageRangeError : public ::testing::TestWithParam<TErrorCase> {};

TEST_P(PageRangeError, RaisesConversionErrorWithTheOffendingText) {
  const TErrorCase& c = GetParam();
  try {
    (void)TkwPageRange(c.Range).Accepts(c.Page);
    FAIL() << "no error for page " << c.Page;
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), c.Message);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, PageRangeError,
    ::testing::Values(
        TErrorCase{"TrailingComma", "1,3,", 2, "'' is not a valid integer value"},
        TErrorCase{"DoubleComma", "1,,3", 2, "'' is not a valid integer value"},
        TErrorCase{"OpenEnd", "5-", 1, "'' is not a valid integer value"},
        TErrorCase{"OpenStart", "-5", 1, "'' is not a valid integer value"},
        TErrorCase{"LoneDash", "-", 1, "'' is not a valid integer value"},
        TErrorCase{"TwoDashes", "1-2-3", 1, "'2-3' is not a valid integer value"},
        TErrorCase{"TooLarge", "99999999999", 1, "'99999999999' is not a valid integer value"},
        TErrorCase{"LeadingComma", ",1", 1, "'' is not a valid integer value"}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(PageRange, MalformedItemIsNotReachedByAnEarlierAcceptingItem) {
  const TkwPageRange range("1,3,");
  EXPECT_TRUE(range.Accepts(1));
  EXPECT_TRUE(range.Accepts(3));
  EXPECT_THROW((void)range.Accepts(2), EConvertError);
  // Counting reaches page 2, so a two-page document fails at open time.
  EXPECT_THROW((void)range.CountSelected(2), EConvertError);
}

TEST(PageRange, BlankRangeSelectsAllPagesOfAnyCount) {
  EXPECT_TRUE(TkwPageRange("").IsAll());
  EXPECT_FALSE(TkwPageRange("1").IsAll());
  EXPECT_EQ(TkwPageRange(" ").CountSelected(1000), 1000);
  EXPECT_EQ(TkwPageRange("").CountSelected(0), 0);
}

struct TSplitCase {
  const char* Name;
  const char* Text;
  std::vector<std::string> Items;
};

class CommaText : public ::testing::TestWithParam<TSplitCase> {};

TEST_P(CommaText, SplitsLikeTheSettingsCommaText) {
  EXPECT_EQ(SplitCommaText(GetParam().Text), GetParam().Items);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CommaText,
    ::testing::Values(
        TSplitCase{"Plain", "1,3, 5-9", {"1", "3", "5-9"}},
        TSplitCase{"Trailing", "1,3,", {"1", "3", ""}},
        TSplitCase{"Double", "1,,3", {"1", "", "3"}},
        TSplitCase{"LeadingBlanks", "   7", {"7"}},
        TSplitCase{"TrailingBlanks", "7   ", {"7"}},
        TSplitCase{"CommaThenBlanksAtEnd", "7,  ", {"7"}},
        TSplitCase{"DoubledQuote", "\"a\"\"b\",c", {"a\"b", "c"}},
        TSplitCase{"UnclosedQuote", "\"1,2", {"1,2"}},
        TSplitCase{"Empty", "", {}}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

}  // namespace
}  // namespace qm

namespace qm {
namespace {

struct TProblemCase {
  const char* Name;
  const char* Range;
  int PageCount;  // -1: not known
  const char* Problem;  // empty: a selection the user meant
};

class PageRangeProblems : public ::testing::TestWithParam<TProblemCase> {};

TEST_P(PageRangeProblems, NameTheOffendingItemOrPage) {
  const TProblemCase& c = GetParam();
  EXPECT_EQ(PageRangeProblem(c.Range, c.PageCount), c.Problem);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, PageRangeProblems,
    ::testing::Values(
        TProblemCase{"Blank", "  ", 3, ""},
        TProblemCase{"ListWithBlanks", "1,3, 5-9", -1, ""},
        TProblemCase{"PartlyBeyondTheEnd", "1,3, 5-9", 6, ""},
        TProblemCase{"Beyond", "99", 3, "page 99 is beyond the last page (3)"},
        TProblemCase{"RangeBeyond", "5-9", 3, "page 5 is beyond the last page (3)"},
        TProblemCase{"EmptyDocument", "1", 0, "the document has no page"},
        TProblemCase{"Zero", "0", 3, "'0' is not a page number"},
        TProblemCase{"Backwards", "5-2", -1, "'5-2' runs backwards"},
        TProblemCase{"Letter", "x", -1, "'x' is not a page number"},
        TProblemCase{"Word", "2,abc", 3, "'abc' is not a page number"},
        TProblemCase{"Decimal", "1.5", 3, "'1.5' is not a page number"},
        TProblemCase{"Negative", "-5", 3, "'-5' is not a page number"},
        TProblemCase{"OpenEnd", "5-", 3, "'5-' is not a page number"},
        TProblemCase{"DoubleComma", "1,,3", 3, "an item is empty"},
        TProblemCase{"Huge", "99999999999", 3, "'99999999999' is not a page number"}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

}  // namespace
}  // namespace qm
