// What a page draws, classified by the formatter and written by the RTF writer: tables from
// grids of rules, underlines and strike-through, shading, and drawing as pictures.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <regex>

#include "formatter/kwDrawingClassifier.h"
#include "formatter/kwDrawingRenderer.h"
#include "tests/formatter/DrawingPaths.h"
#include "tests/formatter/RtfPage.h"
#include "tests/writer/EmfReader.h"
#include "writer/kwEmfEncoder.h"

namespace qm::test {
namespace {

TkwPathRecord Curve(double AX, double AY) {
  TkwPathRecord p;
  p.Segments = {{TkwPathSegmentKind::psMove, {}, {}, {AX, AY}},
                {TkwPathSegmentKind::psCubic, {AX + 20, AY - 30}, {AX + 40, AY + 30}, {AX + 60, AY}}};
  p.BoundsPt = {AX, AY - 30, AX + 60, AY + 30};
  p.ClipPt = {0, 0, 612, 792};
  p.Stroked = true;
  p.StrokeColor = clRed;
  return p;
}


// A grid of ACols x ARows cells of AW x AH points from (AX, AY), every rule drawn but
// those ASkip says to leave out.
void Grid(TRtfPage& APage, double AX, double AY, int ACols, int ARows, double AW, double AH,
          const std::function<bool(bool AHorizontal, int ALine, int ACell)>& ASkip = {}) {
  for (int r = 0; r <= ARows; ++r) {
    for (int c = 0; c < ACols; ++c) {
      if (!ASkip || !ASkip(true, r, c)) APage.Path(StrokedLine(AX + c * AW, AY + r * AH, AX + (c + 1) * AW, AY + r * AH));
    }
  }
  for (int c = 0; c <= ACols; ++c) {
    for (int r = 0; r < ARows; ++r) {
      if (!ASkip || !ASkip(false, c, r)) APage.Path(StrokedLine(AX + c * AW, AY + r * AH, AX + c * AW, AY + (r + 1) * AH));
    }
  }
}

const rtftest::TRtfRun* RunWith(const rtftest::TRtfDocument& ADoc, std::string_view AWord) {
  static std::vector<rtftest::TRtfParagraph> paragraphs;
  paragraphs = ADoc.Paragraphs();
  for (const auto& p : paragraphs) {
    for (const auto& r : p.Runs) {
      if (r.Text.find(AWord) != std::string::npos) return &r;
    }
  }
  return nullptr;
}

class GridTable : public ::testing::TestWithParam<TkwFormattingMode> {};

TEST_P(GridTable, RulesAroundTextMakeABorderedTable) {
  TRtfPage page(GetParam());
  page.Show(u"Before the table.", 72, 80);
  Grid(page, 72, 100, 3, 2, 120, 20);
  const char16_t* words[2][3] = {{u"Name", u"Rain", u"Wind"}, {u"Harbour", u"112", u"18"}};
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 3; ++c) page.Show(words[r][c], 76 + 120 * c, 115 + 20 * r);
  }
  page.Show(u"After the table.", 72, 170);
  const auto doc = page.Finish();
  EXPECT_EQ(doc.RowCount(), 2);
  EXPECT_EQ(doc.CellCount(), 6);
  // Every side of every cell, each in full.
  for (const char* side : {"clbrdrt", "clbrdrb", "clbrdrl", "clbrdrr"}) EXPECT_EQ(doc.CountWord(side), 6) << side;
  EXPECT_EQ(doc.CountWord("brdrs"), 24);
  EXPECT_EQ(doc.WordParams("brdrw"), std::vector<int>(24, 10));
  EXPECT_EQ(doc.Words(), (std::vector<std::string>{"Before", "the", "table.", "Name", "Rain", "Wind", "Harbour", "112",
                                                   "18", "After", "the", "table."}));
  EXPECT_EQ(doc.Pictures().size(), 0u);  // the rules are borders, not drawing
}

TEST_P(GridTable, AMissingInnerRuleMergesCells) {
  TRtfPage page(GetParam());
  // The rule between the first row's second and third cells, and the one under the
  // second row's first cell, are not drawn.
  Grid(page, 72, 100, 3, 3, 100, 20, [](bool AHorizontal, int ALine, int ACell) {
    return (!AHorizontal && ALine == 2 && ACell == 0) || (AHorizontal && ALine == 2 && ACell == 0);
  });
  page.Show(u"Region", 76, 115);
  page.Show(u"Output", 176, 115);
  page.Show(u"North", 76, 135);
  for (int r = 1; r < 3; ++r) {
    page.Show(u"410", 176, 115 + 20 * r);
    page.Show(u"385", 276, 115 + 20 * r);
  }
  const auto doc = page.Finish();
  EXPECT_EQ(doc.RowCount(), 3);
  EXPECT_EQ(doc.CountWord("clmgf"), 1);
  EXPECT_EQ(doc.CountWord("clmrg"), 1);
  EXPECT_EQ(doc.CountWord("clvmgf"), 1);
  EXPECT_EQ(doc.CountWord("clvmrg"), 1);
}

TEST_P(GridTable, AFilledCellIsShaded) {
  TRtfPage page(GetParam());
  page.Path(FilledRect(72, 100, 192, 120, RGBColor(0xB4, 0xC8, 0xE6)));
  Grid(page, 72, 100, 2, 2, 120, 20);
  page.Show(u"Head", 76, 115, Font("Times New Roman", 10, fsBold));
  page.Show(u"Other", 196, 115);
  page.Show(u"a", 76, 135);
  page.Show(u"b", 196, 135);
  const auto doc = page.Finish();
  const auto shading = doc.WordParams("clcbpat");
  ASSERT_EQ(shading.size(), 1u);
  EXPECT_EQ(page.ColorAt(shading[0]), RGBColor(0xB4, 0xC8, 0xE6));
  EXPECT_EQ(doc.Pictures().size(), 0u);
}

TEST_P(GridTable, ARuledBoxWithTextBesideItIsNoTable) {
  TRtfPage page(GetParam());
  // An info box of two ruled rows at the right, running text at its left.
  Grid(page, 380, 100, 1, 2, 160, 20);
  page.Show(u"Author", 384, 115);
  page.Show(u"Released", 384, 135);
  for (int i = 0; i < 4; ++i) page.Show(u"Running text beside the box", 72, 112 + 12 * i);
  const auto doc = page.Finish();
  // Not a table of the rules' own: with tabs no table at all (without, the text beside
  // may still make one of its own).
  if (GetParam() == TkwFormattingMode::fmFormattedWithTabs) {
    EXPECT_EQ(doc.RowCount(), 0);
  }
  EXPECT_EQ(doc.Words().size(), 22u);  // nothing pushed out or lost
}

// A row of characters set one to a cell by one string (a character table, a form's boxes):
// the text is cut at the rules between them, each character in its cell. A word that runs
// across a rule is not cut.
TEST_P(GridTable, ARowSetByOneStringIsCutAtItsRules) {
  TRtfPage page(GetParam());
  Grid(page, 72, 100, 6, 2, 24, 20);
  const std::u16string rows[2] = {u"ABCDEF", u"123456"};
  const TFont font = Font("Courier New", 10);
  for (int r = 0; r < 2; ++r) {
    for (int c = 0; c < 6; ++c) {
      const double x = 72 + 24 * c + 9, baseline = 115 + 20 * r;
      const char16_t ch = rows[r][static_cast<std::size_t>(c)];
      const double advance = TFixedMeasurer::CharWidth(font, ch), ppp = kPixelsPerPoint;
      const TkwRect rect{x * ppp, (baseline - 8) * ppp, (x + advance) * ppp, (baseline + 2) * ppp};
      page.Formatter->AddChar(font, rect, 0, ch, c > 0, c > 0, advance, 792 - baseline, x);
    }
  }
  const auto doc = page.Finish();
  EXPECT_EQ(doc.RowCount(), 2);
  EXPECT_EQ(doc.CellCount(), 12);
  EXPECT_EQ(doc.Words(), (std::vector<std::string>{"A", "B", "C", "D", "E", "F", "1", "2", "3", "4", "5", "6"}));
}

TEST_P(GridTable, AWordAcrossARuleStaysWhole) {
  TRtfPage page(GetParam());
  Grid(page, 72, 100, 2, 2, 40, 20);
  page.Show(u"Harbourmasters", 76, 115);
  page.Show(u"a", 76, 135);
  page.Show(u"b", 116, 135);
  const auto doc = page.Finish();
  const auto words = doc.Words();
  EXPECT_NE(std::find(words.begin(), words.end(), "Harbourmasters"), words.end());
  EXPECT_EQ(words.size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Modes, GridTable,
                         ::testing::Values(TkwFormattingMode::fmFormatted, TkwFormattingMode::fmFormattedWithTabs),
                         [](const auto& AInfo) {
                           return AInfo.param == TkwFormattingMode::fmFormatted ? std::string("Formatted")
                                                                                : std::string("WithTabs");
                         });

TEST(TextDecoration, LinesUnderAndThroughWordsMarkOnlyThoseWords) {
  TRtfPage page;
  // Font size 10: every character 5 points wide.
  const double start = 72;
  page.Show(u"plain under plain", start, 100);
  page.Path(StrokedLine(start + 30, 101.5, start + 55, 101.5));  // "under", just below the baseline
  page.Show(u"keep gone keep", start, 130);
  page.Path(StrokedLine(start + 25, 127, start + 45, 127));  // "gone", through its middle
  page.Show(u"twice", start, 160);
  page.Path(StrokedLine(start, 161, start + 25, 161));
  page.Path(StrokedLine(start, 162.5, start + 25, 162.5));
  const auto doc = page.Finish();
  const auto* under = RunWith(doc, "under");
  ASSERT_NE(under, nullptr);
  EXPECT_TRUE(under->Underline);
  EXPECT_EQ(under->Text, "under");
  const auto* gone = RunWith(doc, "gone");
  ASSERT_NE(gone, nullptr);
  EXPECT_TRUE(gone->Strike);
  EXPECT_FALSE(gone->Underline);
  for (const auto& p : doc.Paragraphs()) {
    for (const auto& r : p.Runs) {
      if (r.Text.find("plain") != std::string::npos || r.Text.find("keep") != std::string::npos) {
        EXPECT_FALSE(r.Underline || r.Strike) << r.Text;
      }
    }
  }
  EXPECT_EQ(doc.CountWord("uldb"), 1);
  EXPECT_EQ(doc.Words(), (std::vector<std::string>{"plain", "under", "plain", "keep", "gone", "keep", "twice"}));
  EXPECT_EQ(doc.Pictures().size(), 0u);
}

TEST(TextDecoration, ALineUnderAWholeRowIsNoUnderline) {
  TRtfPage page;
  page.Show(u"Total", 72, 100);
  page.Show(u"120", 300, 100);
  page.Path(StrokedLine(72, 102, 540, 102));
  const auto doc = page.Finish();
  for (const auto& p : doc.Paragraphs()) {
    for (const auto& r : p.Runs) EXPECT_FALSE(r.Underline) << r.Text;
  }
}

TEST(Shading, AFilledBoxBehindALineShadesItsParagraph) {
  TRtfPage page;
  page.Path(FilledRect(66, 88, 300, 104, RGBColor(0x1A, 0x2A, 0x5A)));
  TFont white = Font();
  white.Color = clWhite;
  page.Show(u"White words", 72, 100, white);
  page.Show(u"Black words", 72, 140);
  const auto doc = page.Finish();
  const auto shading = doc.WordParams("cbpat");
  ASSERT_EQ(shading.size(), 1u);
  EXPECT_EQ(page.ColorAt(shading[0]), RGBColor(0x1A, 0x2A, 0x5A));
  EXPECT_EQ(doc.Pictures().size(), 0u);
  EXPECT_EQ(doc.Words(), (std::vector<std::string>{"White", "words", "Black", "words"}));
}

TEST(Rules, ALoneRuleBetweenParagraphsBordersTheNearerOne) {
  TRtfPage page;
  page.Show(u"A heading over a rule", 72, 100, Font("Arial", 14, fsBold));
  page.Path(StrokedLine(72, 106, 540, 106, 1));
  page.Show(u"The text under the heading goes on.", 72, 140);
  const auto doc = page.Finish();
  EXPECT_EQ(doc.CountWord("brdrb"), 1);
  EXPECT_EQ(doc.CountWord("brdrt"), 0);
  EXPECT_EQ(doc.WordParams("brdrw"), std::vector<int>{15});
  EXPECT_EQ(doc.Pictures().size(), 0u);
}

TEST(Drawing, CurvesNearEachOtherBecomeOnePictureAtTheirPlace) {
  TRtfPage page;
  page.Show(u"A figure follows.", 72, 100);
  page.Path(Curve(100, 300));
  page.Path(Curve(150, 310));
  page.Path(Curve(400, 600));  // far away: a picture of its own
  const auto doc = page.Finish();
  const auto pictures = doc.Pictures();
  ASSERT_EQ(pictures.size(), 2u);
  EXPECT_EQ(pictures[0].Blip, "emfblip");
  // Both curves with their controls and half the line around them: 111 x 71 points.
  EXPECT_NEAR(pictures[0].GoalWidth, 111 * 20, 40);
  EXPECT_NEAR(pictures[0].GoalHeight, 71 * 20, 40);
}

TEST(Drawing, AnImageInsideADrawingIsPartOfItsPicture) {
  TRtfPage page;
  page.Show(u"A diagram with a photo in it.", 72, 100);
  page.Path(StrokedLine(100, 200, 300, 200));
  page.Path(StrokedLine(100, 200, 100, 350));
  page.Path(Curve(100, 350));
  page.Path(StrokedLine(300, 200, 300, 350));
  TBitmap photo(20, 10, TPixelFormat::pf24bit);
  photo.FillRect(0, 0, 20, 10, 0x00FF00);
  page.Formatter->AddImage({150, 250, 250, 300}, photo);   // inside the drawing
  page.Formatter->AddImage({400, 500, 450, 550}, photo);   // on its own
  TBitmap scan(400, 100, TPixelFormat::pf24bit);           // finer than the drawing's picture
  scan.FillRect(0, 0, 400, 100, 0x0000FF);
  page.Formatter->AddImage({150, 310, 250, 335}, scan);
  const auto doc = page.Finish();
  // The drawing with the photo in it, the photo on its own, the scan at its own resolution.
  EXPECT_EQ(doc.Pictures().size(), 3u);
}

TEST(Drawing, InvisiblePathsGiveNothing) {
  TRtfPage page;
  page.Show(u"Nothing is drawn here.", 72, 100);
  auto outside = Curve(700, 300);  // right of the page
  page.Path(outside);
  auto clipped = Curve(100, 300);
  clipped.ClipPt = {300, 300, 400, 400};  // the clip lies elsewhere
  page.Path(clipped);
  auto transparent = Curve(100, 500);
  transparent.StrokeAlpha = 0;
  page.Path(transparent);
  page.Path(FilledRect(100, 600, 200, 650, clWhite));  // white on white paper
  const auto doc = page.Finish();
  EXPECT_EQ(doc.Pictures().size(), 0u);
}

TEST(Drawing, TheShapeActionDecidesAboutDrawingPictures) {
  for (const auto action : {TkwAction::acRetain, TkwAction::acDelete}) {
    TRtfPage page;
    int shapes = 0;
    page.Formatter->OnElementDetected = [&](TkwObject&, TkwFormatterElement& AElement, TkwAction& AAction) {
      if (AElement.ElementType == kElementShape) {
        ++shapes;
        AAction = action;
      }
    };
    page.Show(u"Text", 72, 100);
    page.Path(Curve(100, 300));
    const auto doc = page.Finish();
    EXPECT_EQ(shapes, 1);
    EXPECT_EQ(doc.Pictures().size(), action == TkwAction::acRetain ? 1u : 0u);
  }
}

TEST(Drawing, TenThousandShortStrokesMakeOnePictureQuickly) {
  TRtfPage page;
  page.Show(u"A hatched field follows.", 72, 80);
  for (int i = 0; i < 10000; ++i) {
    const double x = 72 + (i % 100) * 4.5, y = 200 + (i / 100) * 4.5;
    page.Path(StrokedLine(x, y, x + 3, y + 3, 0.3));
  }
  const auto start = std::chrono::steady_clock::now();
  const auto doc = page.Finish();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_EQ(doc.Pictures().size(), 1u);
  // As a metafile it would be far larger than its picture.
  EXPECT_EQ(doc.Pictures()[0].Blip, "pngblip");
  EXPECT_LT(seconds, 2.0);  // checked builds run several times slower than the 0.5 s aimed at
}

TEST(Drawing, ScatteredDrawingMakesAtMostTheCapOfPictures) {
  TRtfPage page;
  page.Show(u"Dots.", 72, 80);
  // 400 dots, each far from the others.
  for (int i = 0; i < 400; ++i) page.Path(FilledRect(20 + (i % 20) * 29, 100 + (i / 20) * 33, 24 + (i % 20) * 29, 104 + (i / 20) * 33, clRed));
  const auto doc = page.Finish();
  EXPECT_EQ(doc.Pictures().size(), kMaxDrawingPictures);
}

TEST(Drawing, PicturesKeepWithinTheirPixelCap) {
  // A drawing far larger than the page's pixel cap allows at full resolution.
  TkwPathRecord big = FilledRect(0, 0, 5000, 5000, clRed);
  big.ClipPt = {0, 0, 5000, 5000};
  const std::vector<TkwPathRecord> paths{big};
  const auto bitmap = RenderDrawing(paths, {0}, {}, {0, 0, 5000, 5000}, 150, kMaxDrawingPicturePixels);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_LE(bitmap->GetWidth(), kMaxDrawingPicturePixels);
  EXPECT_LE(bitmap->GetHeight(), kMaxDrawingPicturePixels);
  EXPECT_EQ(bitmap->GetPixel(10, 10), static_cast<std::uint32_t>(clRed));
}

}  // namespace
}  // namespace qm::test

namespace qm::test {
namespace {

std::unique_ptr<TBitmap> Solid(int AWidth, int AHeight, std::uint32_t ARgb) {
  auto bitmap = std::make_unique<TBitmap>(AWidth, AHeight, TPixelFormat::pf24bit);
  bitmap->FillRect(0, 0, AWidth, AHeight, ARgb);
  return bitmap;
}

TEST(Drawing, ARowOfDotsUnderWordsIsADottedUnderline) {
  TRtfPage page;
  const double right = page.Show(u"Dotted words", 72, 100);
  page.Show(u"plain", right + 40, 100);
  // Small squares, one path each, a little under the baseline.
  for (double x = 72; x + 0.8 <= right; x += 2) page.Path(FilledRect(x, 101.2, x + 0.8, 102, clBlack));
  const auto doc = page.Finish();
  EXPECT_EQ(doc.CountWord("uld"), 1);
  EXPECT_EQ(doc.CountWord("ul"), 0);
  EXPECT_EQ(doc.Pictures().size(), 0u);  // the dots are the underline, not drawing
  const auto* plain = RunWith(doc, "plain");
  ASSERT_NE(plain, nullptr);
  EXPECT_FALSE(plain->Underline);
}

TEST(Drawing, AStrokedFrameAroundAPictureIsItsBorder) {
  TRtfPage page;
  page.Show(u"A framed picture follows.", 72, 80);
  const auto photo = Solid(40, 30, 0x3366CC);
  page.Formatter->AddImage(TkwRect{100, 200, 300, 350}, *photo);
  TkwPathRecord frame = FilledRect(100, 200, 300, 350, clBlack);
  frame.Filled = false;
  frame.Stroked = true;
  frame.StrokeColor = clRed;
  frame.LineWidthPt = 1.5;
  page.Path(frame);
  const auto doc = page.Finish();
  ASSERT_EQ(doc.Pictures().size(), 1u);  // the photo; the frame is no picture of its own
  EXPECT_NE(page.Text.find("{\\sn fLine}{\\sv 1}}{\\sp{\\sn lineColor}{\\sv 255}}{\\sp{\\sn lineWidth}{\\sv 19050}}"),
            std::string::npos);
}

// Whether a picture inside a drawing is painted before both of its fills, between them, or
// after both, as the page painted it: red, then blue over the right half.
class DrawingOrder : public ::testing::TestWithParam<std::size_t> {};

TEST_P(DrawingOrder, PicturesKeepTheirPlaceAmongThePaths) {
  const std::size_t before = GetParam();
  std::vector<TkwPathRecord> paths{FilledRect(0, 0, 100, 100, clRed), FilledRect(50, 0, 100, 100, clBlue)};
  for (auto& p : paths) p.ClipPt = {0, 0, 100, 100};
  const auto green = Solid(8, 8, 0x00FF00);
  const std::vector<TkwDrawingImage> images{{green.get(), {25, 25, 75, 75}, before}};
  const auto bitmap = RenderDrawing(paths, {0, 1}, images, {0, 0, 100, 100}, 72, kMaxDrawingPicturePixels);
  ASSERT_NE(bitmap, nullptr);
  EXPECT_EQ(bitmap->GetPixel(10, 50), static_cast<std::uint32_t>(clRed));
  EXPECT_EQ(bitmap->GetPixel(30, 50), before >= 1 ? 0x00FF00u : static_cast<std::uint32_t>(clRed));
  EXPECT_EQ(bitmap->GetPixel(60, 50), before >= 2 ? 0x00FF00u : static_cast<std::uint32_t>(clBlue));
  EXPECT_EQ(bitmap->GetPixel(90, 50), static_cast<std::uint32_t>(clBlue));
}

INSTANTIATE_TEST_SUITE_P(PathsBefore, DrawingOrder, ::testing::Values(0u, 1u, 2u));

TEST(Drawing, FewColoursMakeAPaletteManyKeepTrueColour) {
  std::vector<TkwPathRecord> paths{FilledRect(0, 0, 100, 100, clRed), Curve(10, 50)};
  const auto flat = RenderDrawing(paths, {0, 1}, {}, {0, 0, 100, 100}, 150, kMaxDrawingPicturePixels);
  ASSERT_NE(flat, nullptr);
  EXPECT_EQ(flat->GetBitsPerPixel(), 8);
  EXPECT_LE(flat->GetPalette().size(), kMaxDrawingPaletteColors);
  EXPECT_EQ(flat->GetPixel(5, 5), static_cast<std::uint32_t>(clRed));
  // A photograph inside: more colours than a palette holds.
  auto photo = std::make_unique<TBitmap>(64, 64, TPixelFormat::pf24bit);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) photo->SetPixel(x, y, static_cast<std::uint32_t>(x * 4 | (y * 4) << 8 | ((x + y) * 2) << 16));
  }
  const auto rich = RenderDrawing(paths, {0, 1}, {{photo.get(), {20, 20, 80, 80}, 1}}, {0, 0, 100, 100}, 150,
                                  kMaxDrawingPicturePixels);
  ASSERT_NE(rich, nullptr);
  EXPECT_EQ(rich->GetBitsPerPixel(), 24);
}

TEST(Drawing, AnImageInsideADrawingThatIsNotKeptStaysAPicture) {
  for (const auto action : {TkwAction::acRetain, TkwAction::acDelete}) {
    TRtfPage page;
    page.Formatter->OnElementDetected = [&](TkwObject&, TkwFormatterElement& AElement, TkwAction& AAction) {
      if (AElement.ElementType == kElementShape) AAction = action;
    };
    page.Show(u"Text", 72, 100);
    page.Path(Curve(100, 300));
    page.Path(Curve(100, 360));
    const auto icon = Solid(10, 10, 0x00AA00);
    page.Formatter->AddImage(TkwRect{120, 320, 140, 340}, *icon);
    const auto doc = page.Finish();
    // Kept, the drawing's picture holds the icon; not kept, the icon is still there.
    EXPECT_EQ(doc.Pictures().size(), 1u);
  }
}

TEST(Drawing, PicturesOpeningAPageTakeNoLineOfTheirOwn) {
  TRtfPage page;
  page.Path(Curve(100, 300));
  page.Show(u"Text under the drawing's anchor.", 72, 100);
  const auto doc = page.Finish();
  ASSERT_EQ(doc.Pictures().size(), 1u);
  // The picture is anchored in the page's first paragraph (or in one of exact, near-zero
  // line height): no paragraph of its own takes a line.
  const std::size_t shape = page.Text.find("{\\shp");
  const std::size_t anchor = page.Text.rfind("\\pard", shape);
  ASSERT_NE(anchor, std::string::npos);
  const std::string head = page.Text.substr(anchor, shape - anchor);
  const std::size_t end = page.Text.find("\\par}", shape);
  const bool inText = page.Text.find("Text under", shape) < end;
  EXPECT_TRUE(inText || head.find("\\sl-1\\slmult0") != std::string::npos) << head;
  EXPECT_EQ(page.Text.find("\\par", anchor + 5), end);
}

// Which drawings become metafiles and which stay raster pictures.
struct TVectorCase {
  const char* Name;
  std::function<void(TkwPathRecord&)> Change;
  bool Image;  // an image lies inside the drawing
  const char* Blip;
};

class DrawingKind : public ::testing::TestWithParam<TVectorCase> {};

TEST_P(DrawingKind, OnlySolidOpaqueDrawingBecomesAMetafile) {
  const TVectorCase& c = GetParam();
  TRtfPage page;
  page.Show(u"A drawing follows.", 72, 100);
  TkwPathRecord box = FilledRect(100, 300, 200, 380, clBlue);
  box.Stroked = true;
  box.StrokeColor = clRed;
  if (c.Change) c.Change(box);
  page.Path(box);
  page.Path(Curve(100, 340));
  const auto photo = Solid(10, 10, 0x00AA00);
  if (c.Image) page.Formatter->AddImage(TkwRect{120, 320, 140, 340}, *photo);
  const auto doc = page.Finish();
  const auto pictures = doc.Pictures();
  ASSERT_EQ(pictures.size(), 1u);
  EXPECT_EQ(pictures[0].Blip, c.Blip);
}

INSTANTIATE_TEST_SUITE_P(
    Drawing, DrawingKind,
    ::testing::Values(TVectorCase{"Solid", nullptr, false, "emfblip"},
                      TVectorCase{"Dashed", [](TkwPathRecord& P) { P.DashPt = {3, 2}; }, false, "emfblip"},
                      TVectorCase{"EvenOdd", [](TkwPathRecord& P) { P.EvenOdd = true; }, false, "emfblip"},
                      TVectorCase{"Shading", [](TkwPathRecord& P) { P.Shading = true; }, false, "pngblip"},
                      TVectorCase{"HalfOpaqueFill", [](TkwPathRecord& P) { P.FillAlpha = 0.5; }, false, "pngblip"},
                      TVectorCase{"HalfOpaqueStroke", [](TkwPathRecord& P) { P.StrokeAlpha = 0.3; }, false,
                                  "pngblip"},
                      TVectorCase{"ImageInside", nullptr, true, "pngblip"}),
    [](const ::testing::TestParamInfo<TVectorCase>& AInfo) { return std::string(AInfo.param.Name); });

constexpr std::uint32_t kEmfIntersectClipRect = 30, kEmfFillPath = 62, kEmfStrokePath = 64,
                        kEmfPolyPolyline16 = 90, kEmfSetWindowExtEx = 9;

TEST(Drawing, AChartIsOneMetafileAtItsPlaceAndSize) {
  TRtfPage page;
  page.Show(u"Sales by month.", 72, 80);
  // Axes, twelve bars and a tick under each: 300 x 150 points from (100, 200).
  page.Path(StrokedLine(100, 350, 400, 350, 1));
  page.Path(StrokedLine(100, 200, 100, 350, 1));
  for (int k = 0; k < 12; ++k) {
    const double x = 105 + k * 24;
    page.Path(FilledRect(x, 350 - 10 * (k + 3), x + 16, 350, RGBColor(40, static_cast<std::uint8_t>(20 * k), 200)));
    page.Path(StrokedLine(x + 8, 350, x + 8, 354));
  }
  const auto doc = page.Finish();
  const auto pictures = doc.Pictures();
  ASSERT_EQ(pictures.size(), 1u);
  ASSERT_EQ(pictures[0].Blip, "emfblip");
  // From the vertical axis's left edge to the horizontal one's right end, from the tallest
  // bar's top to the ticks' ends.
  const double width = 400.5 - 99.5, height = 354 - 200;
  EXPECT_NEAR(pictures[0].GoalWidth, width * 20, width * 20 * 0.03);
  EXPECT_NEAR(pictures[0].GoalHeight, height * 20, height * 20 * 0.03);
  const auto emf = emftest::TEmf::Parse(pictures[0].Bytes);
  ASSERT_EQ(emf.Error, "");
  // The metafile's frame is the picture's size, in hundredths of a millimetre.
  EXPECT_NEAR((emf.Header().I32(6) + 1) / 2540.0 * 1440, pictures[0].GoalWidth, 2);
  EXPECT_NEAR((emf.Header().I32(7) + 1) / 2540.0 * 1440, pictures[0].GoalHeight, 2);
  const auto window = emf.OfType(kEmfSetWindowExtEx);
  ASSERT_EQ(window.size(), 1u);
  EXPECT_NEAR(window[0].I32(0), pictures[0].GoalWidth, 2);  // twentieths of a point, as twips
  EXPECT_EQ(emf.Count(kEmfFillPath), 12u);
  EXPECT_EQ(emf.Count(kEmfStrokePath), 14u);
}

TEST(Drawing, MetafilesDrawDashesAndClipsAsThePageDoes) {
  TkwPathRecord dashed = StrokedLine(10, 20, 110, 20, 1);
  dashed.DashPt = {10, 10};
  dashed.DashPhasePt = 5;  // half the first dash is spent before the line starts
  TkwPathRecord clipped = FilledRect(10, 30, 110, 60, clRed);
  clipped.ClipPt = {10, 30, 60, 60};  // its right half is not seen
  const std::vector<TkwPathRecord> paths{dashed, clipped};
  const auto bytes = EncodeDrawingEmf(paths, {0, 1}, {10, 10, 110, 60}, 1 << 20);
  ASSERT_TRUE(bytes.has_value());
  const auto emf = emftest::TEmf::Parse(*bytes);
  ASSERT_EQ(emf.Error, "");
  // Dashes at 0-5, 15-25, 35-45, 55-65, 75-85 and 95-100 points along the line.
  const auto lines = emf.OfType(kEmfPolyPolyline16);
  ASSERT_EQ(lines.size(), 1u);
  ASSERT_EQ(lines[0].U32(4), 6u);
  const std::size_t points = 24 + 6 * 4;  // after the bounds, the two counts and the six counts
  const std::vector<int> expected{0, 5, 15, 25, 35, 45, 55, 65, 75, 85, 95, 100};
  for (std::size_t k = 0; k < expected.size(); ++k) {
    EXPECT_EQ(lines[0].I16At(points + 4 * k), expected[k] * kEmfUnitsPerPoint) << k;
    EXPECT_EQ(lines[0].I16At(points + 4 * k + 2), 10 * kEmfUnitsPerPoint) << k;
  }
  // The whole picture first, then the clip that cuts the box, relative to the picture.
  const auto clips = emf.OfType(kEmfIntersectClipRect);
  ASSERT_EQ(clips.size(), 2u);
  EXPECT_EQ(clips[1].I32(0), 0);
  EXPECT_EQ(clips[1].I32(1), 20 * kEmfUnitsPerPoint);
  EXPECT_EQ(clips[1].I32(2), 50 * kEmfUnitsPerPoint);
  EXPECT_EQ(emf.Count(kEmfStrokePath), 0u);
  EXPECT_EQ(emf.Count(kEmfFillPath), 1u);
  // Past its budget the metafile is given up, and so it is for a stroke of more dashes
  // than a metafile should hold, whatever the budget.
  EXPECT_FALSE(EncodeDrawingEmf(paths, {0, 1}, {10, 10, 110, 60}, 64).has_value());
  TkwPathRecord fine = StrokedLine(0, 10, 5000, 10, 0.1);
  fine.DashPt = {0.1, 0.1};
  EXPECT_FALSE(EncodeDrawingEmf({fine}, {0}, {0, 0, 5000, 20}, std::size_t{1} << 30).has_value());
}

TEST(Drawing, AMetafileKeepsItsDrawingAsARasterForm) {
  auto paths = std::make_shared<const std::vector<TkwPathRecord>>(
      std::vector<TkwPathRecord>{FilledRect(0, 0, 100, 100, clRed), FilledRect(50, 0, 100, 100, clBlue)});
  const auto graphic = RenderDrawingPicture(paths, {0, 1}, {}, {0, 0, 100, 100}, 72, kMaxDrawingPicturePixels);
  const auto* vector = dynamic_cast<const TkwVectorPicture*>(graphic.get());
  ASSERT_NE(vector, nullptr);
  EXPECT_EQ(vector->GetWidth(), 100);
  const auto raster = vector->ToBitmap();
  ASSERT_EQ(raster->GetWidth(), 100);
  EXPECT_EQ(raster->GetPixel(20, 50), static_cast<std::uint32_t>(clRed));
  EXPECT_EQ(raster->GetPixel(80, 50), static_cast<std::uint32_t>(clBlue));
}

}  // namespace
}  // namespace qm::test
