// Painted paths as the extractor hands them over: page points from the top-left corner,
// paint, clip, and the paths it leaves out.
#include <gtest/gtest.h>

#include "base/kwDiagnostics.h"
#include "base/Limits.h"
#include "extract/kwPDFContentExtractor.h"

namespace qm {
namespace {

class PathRecorder : public TkwFormatterInput {
public:
  std::vector<TkwPathRecord> Paths;
  void BeginPage(const TkwPageRecord&) override {}
  void AddGlyph(const TkwGlyphRecord&) override {}
  void AddPicture(const TkwPictureRecord&) override {}
  void AddPath(const TkwPathRecord& APath) override { Paths.push_back(APath); }
  void EndPage() override {}
};

// A US Letter page at the screen's resolution, as the converter displays it.
struct Page {
  std::vector<std::string> Fonts{"Arial"};
  PathRecorder Out;
  TkwPDFContentExtractor Ex{Out, 1, Fonts};
  std::array<double, 4> Box{0, 0, 612, 792};
  TkwPDState State{96, 96, 0, &Box};
  TkwDiagnostics Diag;

  Page() {
    Ex.SetDiagnostics(&Diag);
    Ex.StartPage(1, State);
  }
  // A rectangle in PDF user space (points from the lower-left corner).
  void Rect(double AX, double AY, double AW, double AH) {
    State.MoveTo(AX, AY);
    State.LineTo(AX + AW, AY);
    State.LineTo(AX + AW, AY + AH);
    State.LineTo(AX, AY + AH);
    State.ClosePath();
  }
  void Line(double AX0, double AY0, double AX1, double AY1) {
    State.MoveTo(AX0, AY0);
    State.LineTo(AX1, AY1);
  }
};

TEST(PathExtractor, AFilledRectangleArrivesInTopDownPagePoints) {
  Page p;
  p.State.FFillColor.FComps = {kColorOne, 0, 0};
  p.Rect(72, 700, 100, 20);
  p.Ex.Fill(p.State);
  ASSERT_EQ(p.Out.Paths.size(), 1u);
  const TkwPathRecord& r = p.Out.Paths[0];
  EXPECT_TRUE(r.Filled);
  EXPECT_FALSE(r.Stroked);
  EXPECT_EQ(r.FillColor, clRed);
  EXPECT_NEAR(r.BoundsPt.Left, 72, 1e-6);
  EXPECT_NEAR(r.BoundsPt.Top, 72, 1e-6);
  EXPECT_NEAR(r.BoundsPt.Right, 172, 1e-6);
  EXPECT_NEAR(r.BoundsPt.Bottom, 92, 1e-6);
  ASSERT_EQ(r.Segments.size(), 6u);  // move, four lines (the last closing), close
  EXPECT_EQ(r.Segments.back().Kind, TkwPathSegmentKind::psClose);
}

struct DashCase {
  const char* Name;
  std::vector<float> Dash;
  double Width;
  TkwLineDashKind Kind;
};

class StrokeDash : public ::testing::TestWithParam<DashCase> {};

TEST_P(StrokeDash, WidthScalesWithTheMatrixAndDashesAreNamed) {
  Page p;
  // Drawn at half size: the width and the dashes halve too.
  p.State.ConcatCTM({0.5, 0, 0, 0.5, 0, 0});
  p.State.FLineWidth = GetParam().Width;
  p.State.SetLineDash(GetParam().Dash, static_cast<int>(GetParam().Dash.size()), 0);
  p.Line(100, 100, 300, 100);
  p.Ex.Stroke(p.State);
  ASSERT_EQ(p.Out.Paths.size(), 1u);
  EXPECT_NEAR(p.Out.Paths[0].LineWidthPt, GetParam().Width / 2, 1e-9);
  EXPECT_EQ(p.Out.Paths[0].Dash, GetParam().Kind);
  EXPECT_EQ(p.Out.Paths[0].DashPt.size(), GetParam().Dash.size());
}

INSTANTIATE_TEST_SUITE_P(Dashes, StrokeDash,
                         ::testing::Values(DashCase{"solid", {}, 2, TkwLineDashKind::ldSolid},
                                           DashCase{"dashed", {6, 3}, 2, TkwLineDashKind::ldDashed},
                                           DashCase{"dotted", {1, 2}, 2, TkwLineDashKind::ldDotted},
                                           DashCase{"allZero", {0, 0}, 1, TkwLineDashKind::ldSolid}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(PathExtractor, ClippedAwayPathsAreLeftOutUntilTheClipIsRestored) {
  Page p;
  p.Ex.SaveState(p.State);
  p.Rect(0, 0, 100, 100);
  p.Ex.Clip(p.State);
  p.State.ClearPath();
  p.Line(300, 300, 400, 300);
  p.Ex.Stroke(p.State);  // outside the clip
  p.State.ClearPath();
  p.Line(10, 10, 50, 10);
  p.Ex.Stroke(p.State);  // inside: kept, with the clip's box
  p.State.ClearPath();
  p.Ex.RestoreState(p.State);
  p.Line(300, 300, 400, 300);
  p.Ex.Stroke(p.State);
  ASSERT_EQ(p.Out.Paths.size(), 2u);
  EXPECT_NEAR(p.Out.Paths[0].ClipPt.Right, 100, 1e-6);
  EXPECT_NEAR(p.Out.Paths[0].ClipPt.Top, 692, 1e-6);
  EXPECT_NEAR(p.Out.Paths[1].BoundsPt.Left, 300, 1e-6);
}

TEST(PathExtractor, InvisibleAndBrokenPathsAreLeftOut) {
  Page p;
  p.Line(-500, 100, -400, 100);  // left of the page
  p.Ex.Stroke(p.State);
  p.State.ClearPath();
  p.Line(100, 100, 1e9, 100);  // reaching absurdly far
  p.Ex.Stroke(p.State);
  p.State.ClearPath();
  p.State.FFillOpacity = 0;  // fully transparent
  p.Rect(100, 100, 50, 50);
  p.Ex.Fill(p.State);
  p.State.ClearPath();
  p.State.FFillOpacity = 1;
  p.Ex.Fill(p.State);  // no path at all
  EXPECT_TRUE(p.Out.Paths.empty());
}

TEST(PathExtractor, ShadingsAndPatternsArriveAsFilledAreasOfTheirMeanColour) {
  Page p;
  p.Ex.SaveState(p.State);
  p.Rect(100, 100, 200, 50);
  p.Ex.Clip(p.State);
  p.State.ClearPath();
  const std::array<std::int32_t, 3> blue{0, 0, kColorOne};
  p.Ex.ShadingFill(p.State, &blue);
  p.Ex.RestoreState(p.State);
  p.Rect(50, 50, 10, 10);
  p.Ex.PatternFill(p.State, false, nullptr);  // unreadable: a light grey
  ASSERT_EQ(p.Out.Paths.size(), 2u);
  EXPECT_TRUE(p.Out.Paths[0].Shading);
  EXPECT_EQ(p.Out.Paths[0].FillColor, clBlue);
  EXPECT_NEAR(p.Out.Paths[0].BoundsPt.Left, 100, 1e-6);
  EXPECT_NEAR(p.Out.Paths[0].BoundsPt.Bottom, 692, 1e-6);
  EXPECT_TRUE(p.Out.Paths[1].Filled);
  EXPECT_EQ(p.Out.Paths[1].FillColor, RGBColor(0xC0, 0xC0, 0xC0));
}

TEST(PathExtractor, APageKeepsAtMostTheCapOfPathsAndSaysSo) {
  Page p;
  p.Line(100, 100, 101, 101);
  for (std::size_t i = 0; i < kMaxPathsPerPage + 10; ++i) p.Ex.Stroke(p.State);
  EXPECT_EQ(p.Out.Paths.size(), kMaxPathsPerPage);
  EXPECT_EQ(p.Diag.Count(TkwDiagCode::dcDrawingCapped), 1);
}

}  // namespace
}  // namespace qm
