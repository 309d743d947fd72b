// Conversions of the producer-made fixtures in tests/fixtures/drawing, in both formatting
// modes: what the pages draw reaches the RTF as table borders and shading, merged cells,
// underlines and strike-through, shaded text and pictures.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

#include "tests/e2e/E2eSupport.h"

namespace qm::e2e {
namespace {

struct TMode {
  const char* Name;
  TkwFormattingMode Mode;
};

class TDrawn {
public:
  TDrawn(const char* AFixture, const TMode& AMode) {
    Pdf = FixtureDir().parent_path() / "drawing" / (std::string(AFixture) + ".pdf");
    const fs::path out = ScratchDir() / (std::string(AFixture) + "-" + AMode.Name + ".rtf");
    const auto start = std::chrono::steady_clock::now();
    ConvertPdf(Pdf, out, AMode.Mode);
    Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    Doc = rtftest::TRtfDocument::Parse(ReadFile(out));
    Paragraphs = Doc.Paragraphs();
    Colors = ColorTable(Doc);
    fs::remove(out);
  }
  const rtftest::TRtfRun* Run(const std::string& AWord) const {
    for (const auto& p : Paragraphs)
      for (const auto& r : p.Runs)
        if (r.Text.find(AWord) != std::string::npos) return &r;
    return nullptr;
  }
  int Color(int AIndex) const {
    return AIndex > 0 && AIndex < static_cast<int>(Colors.size()) ? Colors[static_cast<std::size_t>(AIndex)] : -1;
  }
  // The words of the RTF against pdftotext's; 1 when pdftotext is missing.
  double WordsF1() const {
    if (!HaveTool("pdftotext")) return 1;
    return WordF1(SplitWords(Doc.PlainText()), SplitWords(RunCommand("pdftotext -q '" + Pdf.string() + "' -")));
  }

  fs::path Pdf;
  double Seconds = 0;
  rtftest::TRtfDocument Doc;
  std::vector<rtftest::TRtfParagraph> Paragraphs;
  std::vector<int> Colors;
};

bool Near(int AColor, int AWant, int ATolerance) {
  for (int shift : {0, 8, 16}) {
    if (std::abs(((AColor >> shift) & 0xFF) - ((AWant >> shift) & 0xFF)) > ATolerance) return false;
  }
  return true;
}

class DrawingFixture : public ::testing::TestWithParam<TMode> {};

TEST_P(DrawingFixture, RuledTableKeepsEveryCellEdgeAndItsHeaderShading) {
  const TDrawn c("lo-ruled-table", GetParam());
  EXPECT_EQ(c.Doc.RowCount(), 5);
  EXPECT_EQ(c.Doc.CellCount(), 20);
  for (const char* side : {"clbrdrt", "clbrdrb", "clbrdrl", "clbrdrr"}) EXPECT_EQ(c.Doc.CountWord(side), 20) << side;
  EXPECT_EQ(c.Doc.CountWord("brdrs"), 80);
  const auto shading = c.Doc.WordParams("clcbpat");
  ASSERT_EQ(shading.size(), 4u);  // the header row
  for (int s : shading) EXPECT_TRUE(Near(c.Color(s), 0xB4C8E6, 8)) << std::hex << c.Color(s);
  const auto* head = c.Run("Station");
  ASSERT_NE(head, nullptr);
  EXPECT_TRUE(head->Bold);
  EXPECT_GE(c.WordsF1(), 0.99);
  EXPECT_TRUE(c.Doc.Pictures().empty());  // every rule became a border
}

TEST_P(DrawingFixture, MergedCellsStayMerged) {
  const TDrawn c("lo-merged-table", GetParam());
  EXPECT_EQ(c.Doc.RowCount(), 4);
  EXPECT_EQ(c.Doc.CountWord("clmgf"), 1);
  EXPECT_EQ(c.Doc.CountWord("clmrg"), 1);
  EXPECT_EQ(c.Doc.CountWord("clvmgf"), 1);
  EXPECT_EQ(c.Doc.CountWord("clvmrg"), 1);
  EXPECT_GE(c.WordsF1(), 0.99);
}

TEST_P(DrawingFixture, DrawnUnderlinesAndStrikeThroughMarkTheirWords) {
  const TDrawn c("rl-decorations", GetParam());
  const auto* northern = c.Run("northern");
  const auto* western = c.Run("western");
  const auto* eastern = c.Run("eastern");
  const auto* plain = c.Run("plain words");
  ASSERT_TRUE(northern && western && eastern && plain);
  EXPECT_TRUE(northern->Underline);
  EXPECT_FALSE(northern->Strike);
  EXPECT_TRUE(western->Strike);
  EXPECT_FALSE(western->Underline);
  EXPECT_FALSE(eastern->Underline || eastern->Strike);
  EXPECT_FALSE(plain->Underline || plain->Strike);
  EXPECT_GE(c.WordsF1(), 0.99);
  EXPECT_TRUE(c.Doc.Pictures().empty());
}

TEST_P(DrawingFixture, BarChartIsOnePictureOfItsSize) {
  const TDrawn c("rl-barchart", GetParam());
  const auto pictures = c.Doc.Pictures();
  ASSERT_EQ(pictures.size(), 1u);
  EXPECT_EQ(pictures[0].Blip, "emfblip");  // solid fills and strokes: a metafile
  // The chart's drawing: from the value axis's ticks (5 points left of x = 112) to the
  // plot's right edge (x = 412), from the tallest bar's top (y = 700) to the category
  // axis's ticks (5 points under y = 530): 305 x 175 points, lines included.
  EXPECT_NEAR(pictures[0].GoalWidth, 305 * 20, 305 * 20 * 0.03);
  EXPECT_NEAR(pictures[0].GoalHeight, 175 * 20, 175 * 20 * 0.03);
}

TEST_P(DrawingFixture, WhiteTextSitsOnItsDarkBox) {
  const TDrawn c("rl-dark-box", GetParam());
  const auto* white = c.Run("White words");
  ASSERT_NE(white, nullptr);
  EXPECT_EQ(c.Color(white->Color), 0xFFFFFF);
  const auto shading = c.Doc.WordParams("cbpat");
  ASSERT_EQ(shading.size(), 1u);
  EXPECT_TRUE(Near(c.Color(shading[0]), 0x1A2A5A, 8)) << std::hex << c.Color(shading[0]);
  // The paragraph with the white words is the shaded one.
  for (const auto& p : c.Paragraphs) {
    if (p.Text().find("Black text") != std::string::npos) {
      EXPECT_NE(p.Runs.front().Color, white->Color);
    }
  }
}

TEST_P(DrawingFixture, HatchingIsOnePictureMadeQuickly) {
  const TDrawn c("rl-hatching", GetParam());
  ASSERT_EQ(c.Doc.Pictures().size(), 1u);
  EXPECT_EQ(c.Doc.Pictures()[0].Blip, "pngblip");  // as a metafile it would be larger
#if defined(__SANITIZE_ADDRESS__)
  constexpr double kLimit = 5;  // checked builds run many times slower
#else
  constexpr double kLimit = 0.5;
#endif
  EXPECT_LT(c.Seconds, kLimit);
}

INSTANTIATE_TEST_SUITE_P(Modes, DrawingFixture,
                         ::testing::Values(TMode{"Formatted", TkwFormattingMode::fmFormatted},
                                           TMode{"WithTabs", TkwFormattingMode::fmFormattedWithTabs}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

}  // namespace
}  // namespace qm::e2e
