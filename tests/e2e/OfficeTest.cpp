// The RTFs of the fixtures as a word processor shows them: LibreOffice opens each one and
// exports it to PDF (one soffice run for all files of a mode); the export has the source's
// words and page count, and the words sit where the source has them.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/e2e/E2eSupport.h"

namespace qm::e2e {
namespace {

const char* const kFixtures[] = {"prose", "headings", "lists", "tables", "columns", "image", "form", "scan"};

struct TMode {
  const char* Name;
  TkwFormattingMode Value;
};

class OfficeRendering : public ::testing::TestWithParam<TMode> {};

TEST_P(OfficeRendering, ShowsTheSourceWordsWhereTheSourceHasThem) {
  if (!HaveTool("soffice") || !HaveTool("pdftotext")) GTEST_SKIP() << "LibreOffice or poppler missing";
  const fs::path dir = ScratchDir() / (std::string("office-") + GetParam().Name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::string files;
  for (const char* f : kFixtures) {
    const fs::path rtf = dir / (std::string(f) + ".rtf");
    ConvertPdf(FixtureDir() / (std::string(f) + ".pdf"), rtf, GetParam().Value);
    ASSERT_TRUE(fs::exists(rtf)) << f;
    files += " '" + rtf.string() + "'";
  }
  // A private profile lets several of these runs go side by side.
  const std::string cmd = "cd '" + dir.string() + "' && soffice -env:UserInstallation=file://" +
                          (dir / "profile").string() +
                          " --headless --convert-to pdf --outdir '" + dir.string() + "'" + files +
                          " >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  for (const char* f : kFixtures) {
    SCOPED_TRACE(f);
    const fs::path source = FixtureDir() / (std::string(f) + ".pdf");
    const fs::path shown = dir / (std::string(f) + ".pdf");
    ASSERT_TRUE(fs::exists(shown));
    EXPECT_EQ(PageCount(shown), PageCount(source));
    const auto want = WordBoxes(source);
    const auto got = WordBoxes(shown);
    std::vector<std::string> wantWords, gotWords;
    for (const auto& w : want) wantWords.push_back(w.Text);
    for (const auto& w : got) gotWords.push_back(w.Text);
    const double f1 = WordF1(gotWords, wantWords);
    std::printf("%s %s: word F1 %.3f\n", GetParam().Name, f, f1);
    EXPECT_GE(f1, 0.98);
    const double placed = PositionMatch(want, got, 0.03);
    std::printf("%s %s: %.1f%% of the words in place\n", GetParam().Name, f, 100 * placed);
    EXPECT_GE(placed, 0.80);
  }
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Modes, OfficeRendering,
                         ::testing::Values(TMode{"formatted", TkwFormattingMode::fmFormatted},
                                           TMode{"tabs", TkwFormattingMode::fmFormattedWithTabs}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

}  // namespace
}  // namespace qm::e2e
