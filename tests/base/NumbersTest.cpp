#include "base/Numbers.h"

#include <gtest/gtest.h>

#include <limits>

namespace qm {
namespace {

struct RoundCase {
  double In;
  std::int64_t Out;
};

class RoundEvenTest : public ::testing::TestWithParam<RoundCase> {};

TEST_P(RoundEvenTest, HalvesGoToEvenNeighbour) {
  EXPECT_EQ(RoundEven64(GetParam().In), GetParam().Out);
}

INSTANTIATE_TEST_SUITE_P(Values, RoundEvenTest,
                         ::testing::Values(RoundCase{10.5, 10}, RoundCase{11.5, 12},
                                           RoundCase{-0.5, 0}, RoundCase{-1.5, -2},
                                           RoundCase{2.4999, 2}, RoundCase{2.5001, 3},
                                           RoundCase{1e300, std::numeric_limits<std::int64_t>::max()},
                                           RoundCase{std::numeric_limits<double>::quiet_NaN(), 0}));

TEST(Numbers, ClampAndFormatAreLocaleFreeAndSafe) {
  EXPECT_EQ(ClampToInt(std::int64_t{1} << 40), std::numeric_limits<int>::max());
  EXPECT_EQ(ClampToInt(-1e20), std::numeric_limits<int>::min());
  EXPECT_EQ(RoundEven(1e20), std::numeric_limits<int>::max());
  EXPECT_EQ(RoundEven(2147483646.5), 2147483646);
  EXPECT_EQ(RoundEven(-2147483648.4), std::numeric_limits<int>::min());
  EXPECT_EQ(RoundEven(-2.5), -2);
  EXPECT_EQ(RoundEven(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(FloatToStr(1.25), "1.25");
  EXPECT_EQ(FloatToStr(-0.0000001), "0");
  EXPECT_EQ(FloatToStr(3.0), "3");
  EXPECT_EQ(ParseInt("+42"), 42);
  EXPECT_FALSE(ParseInt("4x").has_value());
  EXPECT_FALSE(ParseInt("").has_value());
  EXPECT_DOUBLE_EQ(*ParseFloat("-.5"), -0.5);
}

}  // namespace
}  // namespace qm
