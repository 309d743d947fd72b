#include "pdf/content/kwPDState.h"

#include <gtest/gtest.h>

#include <cmath>

#include "pdf/content/kwPDPath.h"

namespace qm {
namespace {

struct RotationCase {
  int Rotate;
  TkwPDMatrix CTM;
  double Width, Height;
};

class StateCreation : public ::testing::TestWithParam<RotationCase> {};

// Box 0 0 612 792 at 96 dpi: the page is 816 × 1056 pixels upright.
TEST_P(StateCreation, InitialMatrixAndPageSizeFollowRotation) {
  const std::array<double, 4> box{0, 0, 612, 792};
  TkwPDState s(96, 96, GetParam().Rotate, &box);
  const TkwPDMatrix& m = s.FCTM;
  const TkwPDMatrix& e = GetParam().CTM;
  EXPECT_NEAR(m.FM11, e.FM11, 1e-4);
  EXPECT_NEAR(m.FM12, e.FM12, 1e-4);
  EXPECT_NEAR(m.FM21, e.FM21, 1e-4);
  EXPECT_NEAR(m.FM22, e.FM22, 1e-4);
  EXPECT_NEAR(m.FDx, e.FDx, 1e-4);
  EXPECT_NEAR(m.FDy, e.FDy, 1e-4);
  EXPECT_NEAR(s.FPageWidth, GetParam().Width, 1e-6);
  EXPECT_NEAR(s.FPageHeight, GetParam().Height, 1e-6);
}

constexpr double k = 96.0 / 72.0;
INSTANTIATE_TEST_SUITE_P(
    Rotations, StateCreation,
    ::testing::Values(RotationCase{0, {k, 0, 0, k, 0, 0}, 816, 1056},
                      RotationCase{45, {k, 0, 0, k, 0, 0}, 816, 1056},
                      RotationCase{90, {0, -k, k, 0, 0, k * 612}, 1056, 816},
                      RotationCase{180, {-k, 0, 0, -k, k * 612, k * 792}, 816, 1056},
                      RotationCase{270, {0, k, -k, 0, k * 792, 0}, 1056, 816}));

TEST(TkwPDState, DefaultBoxWithoutPageBox) {
  TkwPDState s(72, 72, 0, nullptr);
  EXPECT_EQ(s.FX2, 850);
  EXPECT_EQ(s.FY2, 1191);
  EXPECT_EQ(s.FPageWidth, 850);
}

TEST(TkwPDState, ConcatClampsHugeAndNaNElements) {
  TkwPDState s(72, 72, 0, nullptr);
  s.ConcatCTM({1e12, 0, 0, 1, 0, 0});
  EXPECT_EQ(s.FCTM.FM11, 1e10);
  s.ConcatCTM({-1e30, 0, 0, 1, 0, 0});
  EXPECT_EQ(s.FCTM.FM11, -1e10);
  TkwPDState t(72, 72, 0, nullptr);
  t.ConcatCTM({std::nan(""), 0, 0, 1, 0, 0});
  EXPECT_EQ(t.FCTM.FM11, -1e10);
}

TEST(TkwPDState, ConcatPutsOperandFirst) {
  TkwPDState s(144, 144, 0, nullptr);  // scale 2
  s.ConcatCTM({1, 0, 0, 1, 50, 50});
  EXPECT_DOUBLE_EQ(s.FCTM.FDx, 100);
  EXPECT_DOUBLE_EQ(s.FCTM.FDy, 100);
  EXPECT_DOUBLE_EQ(s.FCTM.FM11, 2);
}

TEST(TkwPDState, InverseUndoesTheMatrix) {
  TkwPDMatrix m{2, 1, -1, 3, 5, 7};
  TkwPDMatrix i = m.Inverse();
  const double x = m.TransformX(3, 4), y = m.TransformY(3, 4);
  EXPECT_NEAR(i.TransformX(x, y), 3, 1e-12);
  EXPECT_NEAR(i.TransformY(x, y), 4, 1e-12);
  EXPECT_EQ(TkwPDMatrix{}.Inverse(), TkwPDMatrix{});
  EXPECT_EQ((TkwPDMatrix{0, 0, 0, 0, 1, 1}.Inverse()), TkwPDMatrix{});
}

TEST(TkwPDState, PathSurvivesRestore) {
  TkwPDStateStack stack(std::make_unique<TkwPDState>(72, 72, 0, nullptr));
  ASSERT_TRUE(stack.Save());
  stack.Current().MoveTo(0, 0);
  stack.Current().LineTo(10, 10);
  stack.Current().FLineWidth = 5;
  ASSERT_TRUE(stack.Restore());
  EXPECT_TRUE(stack.Current().IsCurrentPath());
  EXPECT_EQ(stack.Current().GetPath().FSubPathList.front().FCount, 1);
  EXPECT_EQ(stack.Current().FLineWidth, 1.0);
  EXPECT_FALSE(stack.Restore());  // unbalanced Q is ignored
}

TEST(TkwPDState, SaveDepthIsCapped) {
  TkwPDStateStack stack(std::make_unique<TkwPDState>(72, 72, 0, nullptr));
  int pushed = 0;
  for (int i = 0; i < 100000 && stack.Save(); ++i) ++pushed;
  EXPECT_LT(pushed, 100000);
  EXPECT_GT(pushed, 10);
}

TEST(TkwPDState, NegativeYCorrectionOnlyForNegativeBoxTop) {
  const std::array<double, 4> box{0, -792, 612, -100};
  TkwPDState s(72, 72, 0, &box);
  s.MoveTo(1, -5);
  EXPECT_DOUBLE_EQ(s.FCurY, -105);
  TkwPDState t(72, 72, 0, nullptr);
  t.MoveTo(1, -5);
  EXPECT_DOUBLE_EQ(t.FCurY, -5);
}

TEST(TkwPDPath, RectangleHasFourClosedSegments) {
  TkwPDPath p;
  p.MoveTo(0, 0);
  p.LineTo(10, 0);
  p.LineTo(10, 10);
  p.LineTo(0, 10);
  double x = 0, y = 0;
  ASSERT_TRUE(p.ClosePath(x, y));
  const TkwPDSubPath& sp = p.FSubPathList.front();
  EXPECT_EQ(sp.FCount, 4);
  EXPECT_TRUE(sp.FClosed);
  EXPECT_EQ(sp.PointCount(), 5u);
  EXPECT_EQ(sp.X(99), 0);  // past the end: the last point
}

TEST(TkwPDPath, MoveThenCloseGivesOnePointSubpath) {
  TkwPDPath p;
  EXPECT_FALSE(p.HasCurrentPoint());
  p.MoveTo(3, 4);
  EXPECT_TRUE(p.HasCurrentPoint());
  EXPECT_FALSE(p.HasSubPath());
  double x = 0, y = 0;
  p.ClosePath(x, y);
  ASSERT_TRUE(p.HasSubPath());
  EXPECT_EQ(p.FSubPathList.front().PointCount(), 1u);
  EXPECT_EQ(p.FSubPathList.front().FCount, 1);
}

TEST(TkwPDPath, CurvesAddThreeFlaggedPoints) {
  TkwPDPath p;
  p.MoveTo(0, 0);
  p.CurveTo(1, 1, 2, 2, 3, 3);
  p.LineTo(4, 4);
  const TkwPDSubPath& sp = p.FSubPathList.front();
  EXPECT_EQ(sp.FCount, 2);
  EXPECT_TRUE(sp.IsCurve(1));
  EXPECT_TRUE(sp.IsCurve(2));
  EXPECT_FALSE(sp.IsCurve(3));
  EXPECT_FALSE(sp.IsCurve(4));
}

}  // namespace
}  // namespace qm
