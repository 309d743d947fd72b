// A generated page with a chart and rotated labels, converted whole: a label on the chart
// goes into the chart's picture where it stands, a rotated line elsewhere stays text.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/e2e/E2eSupport.h"
#include "tests/support/pdf/TestPdf.h"

namespace qm::e2e {
namespace {

TEST(DrawingText, ALabelSlantedUnderAChartIsDrawnIntoItsPicture) {
  // Three bars and two axes from (100, 300) up to (300, 520); a label slanted at 45 degrees
  // ending just under the horizontal axis; a caption read upwards in the left margin.
  const std::string content =
      "0 0 1 rg 110 300 20 100 re f 150 300 20 150 re f 190 300 20 200 re f\n"
      "0 G 0.5 w 100 300 m 100 520 l S 100 300 m 300 300 l S\n"
      "0 g BT /F1 12 Tf 72 720 Td (A chart of sales follows.) Tj ET\n"
      "BT /F1 8 Tf 0.7071 0.7071 -0.7071 0.7071 105 280 Tm (Jan) Tj ET\n"
      "BT /F1 8 Tf 0.7071 0.7071 -0.7071 0.7071 145 280 Tm (Feb) Tj ET\n"
      "BT /F1 10 Tf 0 1 -1 0 40 300 Tm (Margin) Tj ET\n";
  for (const TkwFormattingMode mode : {TkwFormattingMode::fmFormatted, TkwFormattingMode::fmFormattedWithTabs}) {
    TkwTestPdf pdf;
    pdf.AddPage(content, {{"F1", pdf.AddFont("Helvetica")}});
    const fs::path in = ScratchDir() / "drawing-text.pdf";
    const fs::path out = ScratchDir() / "drawing-text.rtf";
    std::ofstream(in, std::ios::binary) << pdf.Save();
    ConvertPdf(in, out, mode);
    const auto doc = rtftest::TRtfDocument::Parse(ReadFile(out));
    fs::remove(in);
    fs::remove(out);
    const std::string text = doc.PlainText();
    EXPECT_NE(text.find("sales"), std::string::npos) << text;
    EXPECT_NE(text.find("Margin"), std::string::npos) << text;
    EXPECT_EQ(text.find("Jan"), std::string::npos) << text;
    EXPECT_EQ(text.find("Feb"), std::string::npos) << text;
    const auto pictures = doc.Pictures();
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].Blip, "pngblip");
    // The chart's 220 points and the labels under it.
    EXPECT_GT(pictures[0].GoalHeight, 230 * 20);
  }
}

}  // namespace
}  // namespace qm::e2e
