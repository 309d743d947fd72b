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
        TErrorCase{"TrailingComma", "1,3,", 2, "'''' is not a valid integer value"},
        TErrorCase{"DoubleComma", "1,,3", 2, "'''' is not a valid integer value"},
        TErrorCase{"OpenEnd", "5-", 1, "'''' is not a valid integer value"},
        TErrorCase{"OpenStart", "-5", 1, "'''' is not a valid integer value"},
        TErrorCase{"LoneDash", "-", 1, "'''' is not a valid integer value"},
        TErrorCase{"TwoDashes", "1-2-3", 1, "''2-3'' is not a valid integer value"},
        TErrorCase{"TooLarge", "99999999999", 1, "''99999999999'' is not a valid integer value"},
        TErrorCase{"LeadingComma", ",1", 1, "'''' is not a valid integer value"}),
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
