#include "base/Numbers.h"

#include "base/Font.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

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

// The inline rounding answers what the library's nearbyint does, over the whole int range:
// halves, values a hair off a half, negative zero and the ends of the range.
TEST(Numbers, RoundEvenMatchesNearbyint) {
  std::vector<double> values = {-0.0, 0.0, 0.49999999999999994, -0.49999999999999994, 1e-300, -1e-300,
                                2147483646.5, 2147483646.4999998, -2147483647.5, -2147483647.9999998};
  for (int i = -2000; i <= 2000; ++i) {
    const double base = i * 1048573.25;  // spreads over the int range
    for (double f : {0.0, 0.25, 0.5, 0.75, 1.5, 2.5}) {
      values.push_back(base + f);
      values.push_back(std::nextafter(base + f, 1e300));
      values.push_back(std::nextafter(base + f, -1e300));
    }
  }
  for (double v : values) {
    ASSERT_EQ(RoundEven(v), static_cast<int>(std::nearbyint(v))) << v;
  }
}

// Floor and Ceil answer what std::floor and std::ceil do, the sign of a zero included.
TEST(Numbers, FloorAndCeilMatchTheLibrary) {
  std::vector<double> values = {0.0,  -0.0, 0.5, -0.5, 1.0, -1.0, 1e-300, -1e-300, 4503599627370495.5,
                                -4503599627370495.5, 4503599627370496.0, 9007199254740993.0, 1e300, -1e300,
                                std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
  for (int i = -3000; i <= 3000; ++i) {
    const double base = i * 7.125;
    values.push_back(base);
    values.push_back(std::nextafter(base, 1e300));
    values.push_back(std::nextafter(base, -1e300));
  }
  for (double v : values) {
    const double f = Floor(v), c = Ceil(v);
    ASSERT_EQ(f, std::floor(v)) << v;
    ASSERT_EQ(std::signbit(f), std::signbit(std::floor(v))) << v;
    ASSERT_EQ(c, std::ceil(v)) << v;
    ASSERT_EQ(std::signbit(c), std::signbit(std::ceil(v))) << v;
  }
  EXPECT_TRUE(std::isnan(Floor(std::numeric_limits<double>::quiet_NaN())));
  EXPECT_TRUE(std::isnan(Ceil(std::numeric_limits<double>::quiet_NaN())));
}

// The quick name comparison answers what == does for every length and every place of a
// difference (first, middle, last byte, inside either load and where the loads overlap).
TEST(Numbers, SameFontNameMatchesEquality) {
  for (std::size_t n = 0; n <= 24; ++n) {
    const std::string name(n, 'a');
    ASSERT_TRUE(SameFontName(name, std::string(n, 'a'))) << n;
    ASSERT_FALSE(SameFontName(name, std::string(n + 1, 'a'))) << n;
    for (std::size_t at = 0; at < n; ++at) {
      std::string other = name;
      other[at] = 'b';
      ASSERT_EQ(SameFontName(name, other), name == other) << n << " " << at;
      ASSERT_FALSE(SameFontName(other, name)) << n << " " << at;
    }
  }
}

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
