// The RTFs of the fixtures as a word processor shows them: LibreOffice opens each one and
// exports it to PDF (one soffice run for all files of a mode); the export has the source's
// words and page count, and the words sit where the source has them.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/e2e/E2eSupport.h"
#include "tests/support/pdf/TestPdf.h"

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

// Converts the PDF bytes and lets LibreOffice export the RTF as AFormat ("pdf", "txt");
// returns the export's path (empty when something failed).
fs::path ThroughOffice(const std::string& AName, const std::string& APdf, TkwFormattingMode AMode,
                       const std::string& AFormat) {
  const fs::path dir = ScratchDir() / ("office-" + AName);
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path pdf = dir / (AName + ".pdf");
  {
    std::FILE* f = std::fopen(pdf.c_str(), "wb");
    if (f == nullptr) return {};
    std::fwrite(APdf.data(), 1, APdf.size(), f);
    std::fclose(f);
  }
  const fs::path rtf = dir / (AName + ".rtf");
  ConvertPdf(pdf, rtf, AMode);
  const fs::path out = dir / "out";
  const std::string cmd = "cd '" + dir.string() + "' && soffice -env:UserInstallation=file://" +
                          (dir / "profile").string() + " --headless --convert-to " + AFormat + " --outdir '" +
                          out.string() + "' '" + rtf.string() + "' >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return {};
  return out / (AName + "." + AFormat);
}

std::string Num(double AValue) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", AValue);
  return buffer;
}

// A page filled to its edges with text set narrower than any installed font sets it (85 %
// horizontal scaling): the word processor would wrap every line unless the text is fitted.
std::string TightText() {
  std::string content = "BT /F1 11 Tf 85 Tz 12 TL 30 782 Td\n";
  for (int i = 0; i < 65; ++i) {
    content += "(Line " + std::to_string(i + 1) +
               " of a page that is full from its top edge to its bottom edge, in text set tightly.) '\n";
  }
  return content + "ET";
}

// Two columns of running text from the top of the page to its bottom, and a sidebar of
// figures with a note at the right edge whose rows keep baselines of their own: the
// sidebar mixed into the second column would make it far longer than the page.
std::string ColumnsAndSidebar() {
  std::string content;
  for (int c = 0; c < 2; ++c) {
    content += "BT /F1 9 Tf 11 TL " + Num(36 + 186.0 * c) + " 770 Td\n";
    for (int i = 0; i < 66; ++i) {
      content += "(Column " + std::to_string(c + 1) + " line " + std::to_string(i + 1) + " of running text here) '\n";
    }
    content += "ET\n";
  }
  for (int i = 0; i < 40; ++i) {
    const std::string y = Num(764 - 13.0 * i);
    content += "BT /F1 8 Tf 420 " + y + " Td (Figure " + std::to_string(i + 1) + ") Tj ET ";
    content += "BT /F1 8 Tf 500 " + y + " Td (275.5) Tj ET BT /F1 8 Tf 545 " + y + " Td (330.7) Tj ET\n";
  }
  content += "BT /F1 8 Tf 10 TL 420 220 Td\n";
  for (int i = 0; i < 15; ++i) {
    content += "(A note on the figures that fills the width) '\n";
  }
  return content + "ET";
}

// Blocks of a list, each held by a tall brace that the page sets condensed (a word
// processor does not condense a lone character), with a remark at the right of each item.
std::string BracedList() {
  std::string content;
  for (int b = 0; b < 12; ++b) {
    const double top = 770 - 62.0 * b;
    content += "BT /F2 40 Tf -8 Tc 40 " + Num(top - 30) + " Td ({) Tj 0 Tc ET\n";
    for (int k = 0; k < 4; ++k) {
      const std::string y = Num(top - 14.0 * k);
      content += "BT /F2 10 Tf 56 " + y + " Td (\\225) Tj ET BT /F2 10 Tf 70 " + y + " Td (item " +
                 std::to_string(4 * b + k + 1) + " of the braced list) Tj ET BT /F3 9 Tf 330 " + y +
                 " Td (a remark beside the item that runs on to the margin) Tj ET\n";
    }
  }
  return content;
}

struct TOverfullCase {
  const char* Name;
  std::string (*Content)();
};

class OfficeOverfull : public ::testing::TestWithParam<TOverfullCase> {};

// However the page's content would grow in the word processor, the page stays one page.
TEST_P(OfficeOverfull, PageStaysOnePage) {
  if (!HaveTool("soffice") || !HaveTool("pdfinfo")) GTEST_SKIP() << "LibreOffice or poppler missing";
  for (const auto& [mode, tag] : {std::pair{TkwFormattingMode::fmFormatted, "formatted"},
                                  std::pair{TkwFormattingMode::fmFormattedWithTabs, "tabs"}}) {
    const std::string name = std::string("overfull-") + GetParam().Name + "-" + tag;
    TkwTestPdf pdf;
    const int helvetica = pdf.AddFont("Helvetica");
    const int times = pdf.AddFont("Times-Roman");
    const int italic = pdf.AddFont("Times-Italic");
    pdf.AddPage(GetParam().Content(), {{"F1", helvetica}, {"F2", times}, {"F3", italic}});
    const fs::path shown = ThroughOffice(name, pdf.Save(), mode, "pdf");
    ASSERT_TRUE(fs::exists(shown)) << name;
    EXPECT_EQ(PageCount(shown), 1) << name;
    fs::remove_all(shown.parent_path().parent_path());
  }
}

INSTANTIATE_TEST_SUITE_P(Pages, OfficeOverfull,
                         ::testing::Values(TOverfullCase{"Tight", TightText},
                                           TOverfullCase{"Sidebar", ColumnsAndSidebar},
                                           TOverfullCase{"Brace", BracedList}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

// A page that draws a picture before its text and whose lines are set closer than their
// height in places (a timetable's small print): the word processor shows every line where
// the page has it, and the page stays one page.
TEST(OfficePages, LinesLandWhereThePageHasThem) {
  if (!HaveTool("soffice") || !HaveTool("pdftotext") || !HaveTool("pdfinfo")) {
    GTEST_SKIP() << "LibreOffice or poppler missing";
  }
  std::string content = "q 200 0 0 60 72 720 cm /Im1 Do Q BT /F1 11 Tf 72 700 Td\n";
  double y = 700;
  for (int i = 0; i < 40; ++i) {
    const double step = i % 10 < 5 ? 7 : 15;  // five lines closer than the text is high
    content += "0 " + std::to_string(-step) + " Td (Entry " + std::to_string(i + 1) + " of the list) Tj\n";
    y -= step;
  }
  content += "ET";
  for (const auto& [name, mode] : {std::pair{"lines-formatted", TkwFormattingMode::fmFormatted},
                                   std::pair{"lines-tabs", TkwFormattingMode::fmFormattedWithTabs}}) {
    TkwTestPdf pdf;
    const int font = pdf.AddFont("Helvetica");
    const int image = pdf.AddStream("/Type /XObject /Subtype /Image /Width 2 /Height 2 /ColorSpace /DeviceGray "
                                    "/BitsPerComponent 8",
                                    std::string("\x20\x80\x80\x20", 4));
    pdf.AddPage(content, {},
                "/Resources << /Font << /F1 " + std::to_string(font) + " 0 R >> /XObject << /Im1 " +
                    std::to_string(image) + " 0 R >> >>");
    const std::string bytes = pdf.Save();
    const fs::path shown = ThroughOffice(name, bytes, mode, "pdf");
    ASSERT_TRUE(fs::exists(shown)) << name;
    EXPECT_EQ(PageCount(shown), 1) << name;
    const fs::path source = shown.parent_path().parent_path() / (std::string(name) + ".pdf");
    EXPECT_GE(PositionMatch(WordBoxes(source), WordBoxes(shown), 0.01), 0.95) << name;
    fs::remove_all(shown.parent_path().parent_path());
  }
}

// The list table is where LibreOffice looks the paragraphs' list numbers up: its text
// export shows them.
TEST(OfficeLists, NumberedListShowsItsNumbers) {
  if (!HaveTool("soffice")) GTEST_SKIP() << "LibreOffice missing";
  TkwTestPdf pdf;
  const int font = pdf.AddFont("Helvetica");
  pdf.AddPage("BT /F1 12 Tf 16 TL 72 700 Td (1. Apples from the orchard) Tj T* (2. Pears from the garden) Tj "
              "T* (3. Plums from the market) Tj ET",
              {{"F1", font}});
  const fs::path text = ThroughOffice("list-numbers", pdf.Save(), TkwFormattingMode::fmFormatted, "txt");
  ASSERT_TRUE(fs::exists(text));
  const std::string shown = ReadFile(text);
  for (const char* item : {"1.", "2.", "3."}) EXPECT_NE(shown.find(item), std::string::npos) << item << shown;
  EXPECT_NE(shown.find("Plums from the market"), std::string::npos) << shown;
  fs::remove_all(text.parent_path().parent_path());
}

}  // namespace
}  // namespace qm::e2e
