// Rotated text on a page that draws: a line that lies on a drawing is drawn into its
// picture where it stands; any other line, and upright text, stays text.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "base/kwDiagnostics.h"
#include "formatter/kwDrawingClassifier.h"
#include "formatter/kwDrawingRenderer.h"
#include "tests/formatter/DrawingPaths.h"
#include "tests/formatter/RtfPage.h"

namespace qm::test {
namespace {

// A line of 10-point text whose baseline starts at (AX, AY) (points from the top) and runs
// at ADegrees anticlockwise from level, laid upright at the same place, as the extractor
// hands it over.
TkwRotatedLineRecord Rotated(std::u16string_view AText, double AX, double AY, double ADegrees) {
  TFont font;
  font.Name = "DejaVu Sans";
  font.Size = 10;
  font.Color = clRed;
  const double a = ADegrees * std::numbers::pi / 180;
  TkwRotatedLineRecord line;
  line.OriginPt = {AX, AY};
  line.DirX = std::cos(a);
  line.DirY = -std::sin(a);
  line.SizePt = 10;
  const double k = kPixelsPerPoint;
  double along = 0;
  for (std::size_t i = 0; i < AText.size(); ++i) {
    const double advance = TFixedMeasurer::CharWidth(font, AText[i]);
    TkwRotatedGlyph g;
    g.Font = font;
    g.AlongPt = along;
    g.Upright.XPt = AX + along;
    g.Upright.YPt = 792 - AY;
    g.Upright.AdvancePt = advance;
    g.Upright.BoxPx = {(AX + along) * k, (AY - 8) * k, (AX + along + advance) * k, (AY + 2) * k};
    g.Upright.Unicode = AText[i];
    g.Upright.NotFirstInString = g.Upright.NotFirstInOperator = i > 0;
    line.Glyphs.push_back(g);
    along += advance;
  }
  line.LengthPt = along;
  return line;
}

// A bar chart's bars and axes from (100, 200) to (300, 400).
void Chart(TRtfPage& APage) {
  APage.Path(StrokedLine(100, 200, 100, 400));
  APage.Path(StrokedLine(100, 400, 300, 400));
  for (int i = 0; i < 5; ++i) APage.Path(FilledRect(110 + 40 * i, 300 - 20 * i, 130 + 40 * i, 400, clBlue));
}

struct TPlacement {
  const char* Name;
  double X, Y, Degrees;  // where the label "Jan" starts, its angle
  bool Upright;          // shown as upright text instead
  bool Drawn;            // drawn into the chart's picture
  std::u16string_view Text = u"Jan";
};

class RotatedLabel : public ::testing::TestWithParam<TPlacement> {};

// Slanted under the axis or standing up beside it, a label belongs to the chart; far from
// it, it stays text; upright text over the chart and a whole sentence stay text.
TEST_P(RotatedLabel, GoesIntoTheChartOnlyWhenItLiesOnIt) {
  const TPlacement& c = GetParam();
  TRtfPage page;
  page.Show(u"A chart follows.", 72, 100);
  Chart(page);
  if (c.Upright) {
    page.Show(c.Text, c.X, c.Y);
  } else {
    page.Formatter->AddRotatedLine(Rotated(c.Text, c.X, c.Y, c.Degrees));
  }
  const auto doc = page.Finish();
  EXPECT_EQ(doc.PlainText().find("Jan") == std::string::npos, c.Drawn) << doc.PlainText();
  const auto pictures = doc.Pictures();
  ASSERT_EQ(pictures.size(), 1u);
  // Text keeps the picture a raster one; the chart alone is a metafile.
  EXPECT_EQ(pictures[0].Blip, c.Drawn ? "pngblip" : "emfblip");
  // The picture grows to hold a label below the axis: 200 points of chart and more.
  if (c.Drawn && c.Y > 400) {
    EXPECT_GT(pictures[0].GoalHeight, 205 * 20);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Places, RotatedLabel,
    ::testing::Values(TPlacement{"slantedUnderTheAxis", 120, 420, 45, false, true},
                      TPlacement{"upBesideTheAxis", 95, 300, 90, false, true},
                      TPlacement{"onTheBars", 150, 350, -30, false, true},
                      TPlacement{"farBelow", 120, 600, 45, false, false},
                      TPlacement{"inTheMargin", 20, 700, 90, false, false},
                      TPlacement{"uprightOnTheChart", 150, 250, 0, true, false},
                      TPlacement{"aSentenceUpTheChart", 95, 400, 90, false, false,
                                 u"Jan was the month in which the sales of the year began to rise."}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

// Rules alone may become a table's borders once the text is analysed: a rotated line on
// them stays text, and so does every line on a page that draws nothing.
TEST(RotatedLabel, RulesAloneOrNoDrawingKeepItText) {
  for (const bool rules : {true, false}) {
    TRtfPage page;
    page.Show(u"Some text.", 72, 100);
    if (rules) {
      page.Path(StrokedLine(100, 200, 100, 400));
      page.Path(StrokedLine(100, 400, 300, 400));
    }
    page.Formatter->AddRotatedLine(Rotated(u"Label", 120, 420, 45));
    const auto doc = page.Finish();
    EXPECT_NE(doc.PlainText().find("Label"), std::string::npos) << rules;
  }
}

// A chart left out, or only its space kept, takes its labels along and says how many.
TEST(RotatedLabel, GoesWithItsPictureAndIsNoted) {
  for (const auto action : {TkwAction::acRetain, TkwAction::acLeaveSpace, TkwAction::acDelete}) {
    TRtfPage page;
    TkwDiagnostics diag;
    page.Formatter->SetDiagnostics(&diag);
    page.Formatter->OnElementDetected = [&](TkwObject&, TkwFormatterElement& AElement, TkwAction& AAction) {
      if (AElement.ElementType == kElementShape) AAction = action;
    };
    page.Show(u"A chart follows.", 72, 100);
    Chart(page);
    page.Formatter->AddRotatedLine(Rotated(u"Jan", 120, 420, 45));
    page.Formatter->AddRotatedLine(Rotated(u"Feb", 160, 420, 45));
    const auto doc = page.Finish();
    const bool kept = action == TkwAction::acRetain;
    EXPECT_EQ(doc.Pictures().size(), kept ? 1u : 0u);
    EXPECT_EQ(doc.PlainText().find("Jan"), std::string::npos);
    EXPECT_EQ(diag.Count(TkwDiagCode::dcDrawingTextLeftOut), kept ? 0 : 2);
  }
}

// Past the page's cap, rotated lines are laid upright at once.
TEST(RotatedLabel, PastTheCapLinesAreLaidUpright) {
  TRtfPage page;
  Chart(page);
  for (std::size_t i = 0; i < kMaxRotatedLinesHeld; ++i) page.Formatter->AddRotatedLine(Rotated(u"x", 120, 405, 45));
  page.Formatter->AddRotatedLine(Rotated(u"Overflow", 120, 405, 45));
  const auto doc = page.Finish();
  EXPECT_NE(doc.PlainText().find("Overflow"), std::string::npos);
  EXPECT_EQ(doc.PlainText().find("x"), std::string::npos) << doc.PlainText();
}

// Broken lines (no direction, no place, a length past any page) neither crash nor vanish:
// those that cannot be placed stay text, the one that reaches over the chart is drawn into
// a picture no larger than the page.
TEST(RotatedLabel, BrokenLinesAreTextOrDrawnWithinThePage) {
  TRtfPage page;
  Chart(page);
  auto noDirection = Rotated(u"Nodir", 120, 420, 45);
  noDirection.DirX = noDirection.DirY = std::nan("");
  auto noPlace = Rotated(u"Noplace", 120, 420, 45);
  noPlace.OriginPt.X = std::numeric_limits<double>::infinity();
  auto endless = Rotated(u"Endless", 120, 420, 45);
  endless.LengthPt = 1e12;
  page.Formatter->AddRotatedLine(noDirection);
  page.Formatter->AddRotatedLine(noPlace);
  page.Formatter->AddRotatedLine(endless);
  page.Formatter->AddRotatedLine(TkwRotatedLineRecord{});
  const auto doc = page.Finish();
  const std::string text = doc.PlainText();
  EXPECT_NE(text.find("Nodir"), std::string::npos) << text;
  EXPECT_NE(text.find("Noplace"), std::string::npos) << text;
  EXPECT_EQ(text.find("Endless"), std::string::npos) << text;
  const auto pictures = doc.Pictures();
  ASSERT_EQ(pictures.size(), 1u);
  EXPECT_LE(pictures[0].GoalWidth, 612 * 20);
  EXPECT_LE(pictures[0].GoalHeight, 792 * 20);
}

// The box a rotated line covers, for the decision: from a little under its baseline to
// the top of its size, turned with it.
TEST(RotatedLabel, BoxTurnsWithTheLine) {
  TkwRotatedLineRecord up;
  up.OriginPt = {100, 200};
  up.DirX = 0;
  up.DirY = -1;  // read upwards
  up.LengthPt = 50;
  up.SizePt = 10;
  const TkwRect b = RotatedLineBox(up);
  EXPECT_NEAR(b.Left, 92, 1e-9);     // the tops of the glyphs lie to the left
  EXPECT_NEAR(b.Right, 102.5, 1e-9);  // the descent to the right
  EXPECT_NEAR(b.Top, 150, 1e-9);
  EXPECT_NEAR(b.Bottom, 200, 1e-9);
}

// Dark pixels in ARect (picture pixels) of the 8-bit or 24-bit bitmap.
int DarkPixels(const TBitmap& ABitmap, int AX0, int AY0, int AX1, int AY1) {
  int dark = 0;
  for (int y = std::max(AY0, 0); y < std::min(AY1, ABitmap.GetHeight()); ++y) {
    for (int x = std::max(AX0, 0); x < std::min(AX1, ABitmap.GetWidth()); ++x) {
      std::uint32_t rgb = 0;
      if (ABitmap.GetBitsPerPixel() == 8) {
        rgb = ABitmap.GetPalette()[ABitmap.ScanLine(y)[static_cast<std::size_t>(x)]];
      } else {
        const std::uint8_t* p = ABitmap.ScanLine(y).data() + static_cast<std::size_t>(x) * 3;
        rgb = p[0] | p[1] << 8 | p[2] << 16;
      }
      if ((rgb & 0xFF) + (rgb >> 8 & 0xFF) + (rgb >> 16 & 0xFF) < 600) ++dark;
    }
  }
  return dark;
}

// The text is drawn where it stands, turned: a line read upwards fills a narrow upright
// strip beside its origin and nothing else.
TEST(RotatedLabel, IsDrawnWhereItStands) {
  const std::vector<TkwPathRecord> none;
  const TkwRotatedLineRecord line = Rotated(u"HHHHHH", 50, 90, 90);  // read upwards from (50, 90)
  const auto plain = RenderDrawing(none, {}, {}, {0, 0, 100, 100}, 72, 4000);
  const auto drawn = RenderDrawing(none, {}, {}, {0, 0, 100, 100}, 72, 4000, {&line});
  ASSERT_NE(plain, nullptr);
  ASSERT_NE(drawn, nullptr);
  // 72 dpi: a pixel a point. The glyphs stand left of the baseline, at most 10 points up.
  EXPECT_EQ(DarkPixels(*plain, 0, 0, 100, 100), 0);
  EXPECT_GT(DarkPixels(*drawn, 41, 90 - static_cast<int>(line.LengthPt), 51, 91), 50);
  EXPECT_EQ(DarkPixels(*drawn, 53, 0, 100, 100), 0);
  EXPECT_EQ(DarkPixels(*drawn, 0, 0, 39, 100), 0);
  EXPECT_EQ(DarkPixels(*drawn, 0, 92, 100, 100), 0);
}

}  // namespace
}  // namespace qm::test
