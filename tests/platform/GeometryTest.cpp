#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "platform/kwMatrix2D.h"
#include "platform/kwPath2D.h"
#include "platform/kwRegion.h"

namespace qm {
namespace {

TEST(Matrix2DTest, ProductAppliesLeftOperandFirst) {
  const TkwMatrix2D scale = TkwMatrix2D::Scaling(2, 3);
  const TkwMatrix2D move = TkwMatrix2D::Translation(10, 20);
  const TkwPoint p = (scale * move).Transform({1, 1});
  EXPECT_DOUBLE_EQ(p.X, 12);
  EXPECT_DOUBLE_EQ(p.Y, 23);
  TkwMatrix2D m = scale;
  m.Prepend(move);  // translate first, then scale
  EXPECT_EQ(m.Transform({1, 1}), (TkwPoint{22, 63}));
}

TEST(Matrix2DTest, InverseUndoesAndSingularHasNone) {
  const TkwMatrix2D m{0.5, 1.5, -2, 3, 7, -11};
  auto inv = m.Inverted();
  ASSERT_TRUE(inv.has_value());
  const TkwPoint back = inv->Transform(m.Transform({3.25, -4}));
  EXPECT_NEAR(back.X, 3.25, 1e-12);
  EXPECT_NEAR(back.Y, -4, 1e-12);
  EXPECT_FALSE((TkwMatrix2D{1, 2, 2, 4, 0, 0}.Inverted().has_value()));
  EXPECT_FALSE((TkwMatrix2D{1e-300, 0, 0, 1e-300, 0, 0}.Inverted().has_value()));
}

// A quarter circle from four control points; every flattened point must stay within the
// tolerance of the true radius plus the Bézier approximation error (about 0.03 % of r).
TEST(PathTest, FlatteningStaysWithinTolerance) {
  for (double tol : {1.0, 0.25, 0.01}) {
    const double r = 100, k = 0.5522847498 * r;
    TkwPath2D p;
    p.MoveTo({r, 0});
    p.CubicTo({r, k}, {k, r}, {0, r});
    auto polys = p.Flatten(tol);
    ASSERT_EQ(polys.size(), 1u);
    EXPECT_GT(polys[0].size(), 2u);
    for (std::size_t i = 0; i + 1 < polys[0].size(); ++i) {
      const TkwPoint a = polys[0][i], b = polys[0][i + 1];
      const TkwPoint mid{(a.X + b.X) / 2, (a.Y + b.Y) / 2};
      EXPECT_LT(r - std::hypot(mid.X, mid.Y), tol + 0.03) << tol;
    }
    EXPECT_EQ(polys[0].back(), (TkwPoint{0, r}));
  }
}

TEST(PathTest, BoundsFollowTheCurveNotTheControlPoints) {
  TkwPath2D p;
  p.MoveTo({0, 0});
  p.CubicTo({0, 100}, {100, 100}, {100, 0});
  const TkwRect b = p.GetBounds(0.01);
  EXPECT_NEAR(b.Bottom, 75, 0.02);  // the curve peaks at 3/4 of the control height
  EXPECT_DOUBLE_EQ(b.Left, 0);
  EXPECT_DOUBLE_EQ(b.Right, 100);
}

TEST(PathTest, HugeCurvesAreCutIntoBoundedPieces) {
  TkwPath2D p;
  p.MoveTo({0, 0});
  p.CubicTo({1e15, 1e15}, {-1e15, 1e15}, {1, 0});
  EXPECT_LE(p.Flatten(0.25)[0].size(), 1025u + 1);
  p.CubicTo({NAN, 0}, {0, INFINITY}, {2, 2});
  EXPECT_LE(p.Flatten(0.25)[0].size(), 2 * 1025u + 1);
}

struct TkwPointCase {
  double X, Y;
  bool NonZero, EvenOdd;
};

class RegionRuleTest : public ::testing::TestWithParam<TkwPointCase> {};

// Two squares drawn the same way round, one inside the other: the hole exists only
// under the even-odd rule.
TEST_P(RegionRuleTest, NestedSquares) {
  TkwPath2D p;
  p.AddRectangle({0, 0, 100, 100});
  p.AddRectangle({25, 25, 75, 75});
  const auto c = GetParam();
  EXPECT_EQ(TkwRegion(p, TkwFillRule::frNonZero).Contains({c.X, c.Y}), c.NonZero);
  EXPECT_EQ(TkwRegion(p, TkwFillRule::frEvenOdd).Contains({c.X, c.Y}), c.EvenOdd);
}

INSTANTIATE_TEST_SUITE_P(Points, RegionRuleTest,
                         ::testing::Values(TkwPointCase{10, 10, true, true},
                                           TkwPointCase{50, 50, true, false},
                                           TkwPointCase{0, 0, true, true},       // top-left corner is in
                                           TkwPointCase{100, 50, false, false},  // right edge is out
                                           TkwPointCase{50, 100, false, false},  // bottom edge is out
                                           TkwPointCase{-1, 50, false, false},
                                           TkwPointCase{25, 50, true, false}));

TEST(RegionTest, IntersectionNeedsEveryPart) {
  TkwRegion r(TkwRect{0, 0, 816, 1056});
  EXPECT_TRUE(r.Contains({500, 500}));
  TkwPath2D tri;
  tri.MoveTo({0, 0});
  tri.LineTo({200, 0});
  tri.LineTo({0, 200});
  tri.CloseFigure();
  r.Intersect(tri, TkwFillRule::frNonZero);
  EXPECT_FALSE(r.Contains({500, 500}));
  EXPECT_TRUE(r.Contains({50, 50}));
  EXPECT_FALSE(r.Contains({150, 150}));
  const TkwRect b = r.GetBounds();
  EXPECT_EQ(b, (TkwRect{0, 0, 200, 200}));
}

TEST(RegionTest, EmptyPathClipsEverythingAndDefaultHoldsEverything) {
  TkwRegion all;
  EXPECT_TRUE(all.IsInfinite());
  EXPECT_TRUE(all.Contains({-1e9, 1e9}));
  TkwRegion none(TkwPath2D{}, TkwFillRule::frNonZero);
  EXPECT_FALSE(none.Contains({0, 0}));
  EXPECT_LT(none.GetBounds().Right, none.GetBounds().Left);
}

TEST(RegionTest, CurvedClipUsesTheFlattenedCurve) {
  // A circle of radius 50 about (50, 50) from four cubic quarters.
  const double k = 0.5522847498 * 50;
  TkwPath2D c;
  c.MoveTo({100, 50});
  c.CubicTo({100, 50 + k}, {50 + k, 100}, {50, 100});
  c.CubicTo({50 - k, 100}, {0, 50 + k}, {0, 50});
  c.CubicTo({0, 50 - k}, {50 - k, 0}, {50, 0});
  c.CubicTo({50 + k, 0}, {100, 50 - k}, {100, 50});
  c.CloseFigure();
  TkwRegion r(c, TkwFillRule::frNonZero);
  EXPECT_TRUE(r.Contains({50, 50}));
  EXPECT_TRUE(r.Contains({84, 84}));   // r = 48.1
  EXPECT_FALSE(r.Contains({86, 86}));  // r = 50.9
  EXPECT_FALSE(r.Contains({5, 5}));
}

}  // namespace
}  // namespace qm
