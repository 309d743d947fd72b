#include "base/kwDiagnostics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace qm {
namespace {

using TNote = std::pair<TkwDiagCode, int>;  // code and page

struct DescribeCase {
  const char* Name;
  std::vector<TNote> Notes;
  std::vector<std::string> Lines;
};

class Describe : public ::testing::TestWithParam<DescribeCase> {};

TEST_P(Describe, OneLinePerKindWithItsPages) {
  TkwDiagnostics diag;
  for (const auto& [code, page] : GetParam().Notes) {
    diag.SetPage(page);
    diag.Note(code);
  }
  EXPECT_EQ(DescribeDiagnostics(diag), GetParam().Lines);
}

constexpr auto kTooLarge = TkwDiagCode::dcImageTooLarge;
constexpr auto kRebuilt = TkwDiagCode::dcXRefRebuilt;
constexpr auto kUnknown = TkwDiagCode::dcUnknownOperator;

INSTANTIATE_TEST_SUITE_P(
    Lines, Describe,
    ::testing::Values(
        DescribeCase{"nothing", {}, {}},
        DescribeCase{"one_on_a_page", {{kTooLarge, 3}}, {"page 3: an image over the size limit was left out"}},
        DescribeCase{"two_on_a_page", {{kTooLarge, 3}, {kTooLarge, 3}},
                     {"page 3: 2 images over the size limit were left out"}},
        DescribeCase{"pages_as_runs",
                     {{kTooLarge, 7}, {kTooLarge, 2}, {kTooLarge, 5}, {kTooLarge, 6}},
                     {"pages 2, 5-7: 4 images over the size limit were left out"}},
        DescribeCase{"outside_pages_without_prefix", {{kRebuilt, 0}},
                     {"the cross-reference table was damaged and rebuilt"}},
        DescribeCase{"same_kind_on_and_off_pages", {{kUnknown, 0}, {kUnknown, 4}, {kUnknown, 0}},
                     {"page 4: an unknown operator was skipped", "2 unknown operators were skipped"}},
        DescribeCase{"kinds_in_code_order", {{kTooLarge, 1}, {kRebuilt, 0}},
                     {"the cross-reference table was damaged and rebuilt",
                      "page 1: an image over the size limit was left out"}},
        DescribeCase{"long_page_lists_are_cut",
                     {{kUnknown, 1}, {kUnknown, 3}, {kUnknown, 5}, {kUnknown, 7}, {kUnknown, 9},
                      {kUnknown, 11}, {kUnknown, 13}, {kUnknown, 15}, {kUnknown, 17}},
                     {"pages 1, 3, 5, 7, 9, 11, 13, 15, ...: 9 unknown operators were skipped"}}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(Diagnostics, EveryCodeHasItsOwnText) {
  // Each code described alone gives one line, and no two codes share a text.
  std::vector<std::string> seen;
  for (int raw = 0; raw < 600; ++raw) {
    const auto code = static_cast<TkwDiagCode>(raw);
    TkwDiagnostics diag;
    diag.Note(code);
    diag.Note(code);
    const auto lines = DescribeDiagnostics(diag);
    ASSERT_EQ(lines.size(), 1u) << raw;
    if (lines[0].rfind("problem ", 0) == 0) continue;  // not a code
    EXPECT_EQ(std::find(seen.begin(), seen.end(), lines[0]), seen.end()) << raw;
    seen.push_back(lines[0]);
  }
  EXPECT_EQ(seen.size(), 37u);
}

TEST(Diagnostics, NotesPastTheKeptOnesAreCountedAndDescribed) {
  TkwDiagnostics diag;
  diag.SetPage(2);
  for (std::size_t i = 0; i < kMaxKeptDiagnostics; ++i) diag.Note(kUnknown);
  diag.Note(kTooLarge);  // counted only
  diag.Note(kUnknown);
  EXPECT_EQ(diag.Items().size(), kMaxKeptDiagnostics);
  EXPECT_EQ(diag.Total(), static_cast<std::int64_t>(kMaxKeptDiagnostics) + 2);
  EXPECT_EQ(diag.Count(kUnknown), static_cast<std::int64_t>(kMaxKeptDiagnostics) + 1);
  EXPECT_EQ(diag.Count(kTooLarge), 1);
  const auto lines = DescribeDiagnostics(diag);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2], "an image over the size limit was left out");
}

TEST(Diagnostics, ABrokenFileGivesAShortDescription) {
  TkwDiagnostics diag;
  for (int raw = 0; raw < 600; ++raw) {
    diag.SetPage(raw % 2);
    diag.Note(static_cast<TkwDiagCode>(raw));
  }
  EXPECT_EQ(DescribeDiagnostics(diag).size(), kMaxDiagnosticLines);
}

TEST(Diagnostics, ClearForgetsPageAndCounts) {
  TkwDiagnostics diag;
  diag.SetPage(5);
  diag.Note(kRebuilt, 10, 3);
  EXPECT_EQ(diag.Items().front().Page, 5);
  EXPECT_EQ(diag.Items().front().Offset, 10);
  EXPECT_EQ(diag.Items().front().ObjNum, 3);
  diag.Clear();
  diag.Note(kRebuilt);
  EXPECT_EQ(diag.Items().front().Page, 0);
  EXPECT_EQ(diag.Count(kRebuilt), 1);
  EXPECT_EQ(diag.Total(), 1);
}

// The warnings of the command: only what is missing from the output, one line per kind
// with its pages; what was merely read differently stays out.
TEST(Diagnostics, LostContentLinesNameOnlyWhatIsMissing) {
  TkwDiagnostics diag;
  diag.Note(TkwDiagCode::dcXRefRebuilt);
  diag.SetPage(2);
  diag.Note(TkwDiagCode::dcPageBudget);
  diag.Note(TkwDiagCode::dcFontSubstituted);
  diag.SetPage(4);
  diag.Note(TkwDiagCode::dcImageTooLarge);
  diag.SetPage(5);
  diag.Note(TkwDiagCode::dcImageTooLarge);
  diag.SetPage(0);
  diag.Note(TkwDiagCode::dcPageTreeCut);
  EXPECT_EQ(DescribeLostContent(diag),
            (std::vector<std::string>{"the page tree was cut at its size limit",
                                      "pages 4-5: 2 images over the size limit were left out",
                                      "page 2: the page was too much work and was stopped; the rest of it is missing"}));
  EXPECT_EQ(DescribeDiagnostics(diag).size(), 5u);
  TkwDiagnostics clean;
  clean.Note(TkwDiagCode::dcXRefRebuilt);
  clean.Note(TkwDiagCode::dcObjectBeyondSize);
  EXPECT_TRUE(DescribeLostContent(clean).empty());
  for (TkwDiagCode code : {TkwDiagCode::dcPageBudget, TkwDiagCode::dcPageTreeCut, TkwDiagCode::dcDecodeCapReached,
                           TkwDiagCode::dcPictureDropped, TkwDiagCode::dcPageUnreadable}) {
    EXPECT_TRUE(LosesContent(code)) << static_cast<int>(code);
  }
}

}  // namespace
}  // namespace qm
