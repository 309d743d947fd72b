#include "pdf/images/kwPDColorSpace.h"

#include <gtest/gtest.h>

#include <cmath>

#include "pdf/images/kwPDImage.h"
#include "tests/pdf/images/ImageTestSupport.h"

namespace qm {
namespace {

TkwColor Color(std::initializer_list<double> AValues) {
  TkwColor c;
  std::size_t i = 0;
  for (double v : AValues) c.FComps[i++] = ToColor(v);
  return c;
}

TEST(ColorHelpers, FixedPointConversions) {
  EXPECT_EQ(ToColor(1.0), 65536);
  EXPECT_EQ(ToColor(-0.5), -32768);
  EXPECT_EQ(ToColor(0.99999999), 65535);  // truncated towards zero
  EXPECT_EQ(Clamp(70000), 65536);
  EXPECT_EQ(Clamp(-3), 0);
  EXPECT_EQ(ToByte(65536), 255);
  EXPECT_EQ(ToByte(32768), 128);
  EXPECT_EQ(ToByte(0), 0);
  EXPECT_EQ(ToByte(-100), 0);
  EXPECT_EQ(ToColor(std::nan("")), 0);
  EXPECT_EQ(ToColor(1e30), 2147483647);
}

TEST(DeviceSpaces, GrayRGBAndCMYKConversions) {
  TkwPDDeviceRGBColorSpace rgb;
  std::int32_t gray = 0;
  rgb.GetGray(Color({1, 0, 0}), gray);
  EXPECT_NEAR(gray, 0.3 * 65536, 1);
  TkwCMYK cmyk;
  rgb.GetCMYK(Color({1, 0.5, 0}), cmyk);
  EXPECT_EQ(cmyk.C, 0);
  EXPECT_EQ(cmyk.M, 32768);
  EXPECT_EQ(cmyk.Y, 65536);
  EXPECT_EQ(cmyk.K, 0);

  TkwPDDeviceGrayColorSpace g;
  TkwRGB out;
  g.GetRGB(Color({1.5}), out);  // clamped
  EXPECT_EQ(out.R, 65536);
  EXPECT_EQ(out.B, 65536);

  TkwPDDeviceCMYKColorSpace c;
  c.GetGray(Color({0, 0, 0, 1}), gray);
  EXPECT_EQ(gray, 0);
  TkwColor def;
  c.GetDefaultColor(def);
  EXPECT_EQ(def.FComps[3], 65536);
}

struct Corner {
  double C, M, Y, K, R, G, B;
};

TEST(DeviceSpaces, CMYKCornersGiveTheTableColours) {
  const Corner corners[] = {
      {0, 0, 0, 0, 1, 1, 1},           {0, 0, 0, 1, 0.1373, 0.1216, 0.1255}, {0, 0, 1, 0, 1, 0.949, 0},
      {0, 1, 0, 0, 0.9255, 0, 0.549},  {1, 0, 0, 0, 0, 0.6784, 0.9373},      {1, 1, 1, 0, 0.2118, 0.2119, 0.2235},
      {1, 1, 0, 1, 0, 0, 0.0078},      {1, 1, 1, 1, 0, 0, 0},                {0, 1, 1, 0, 0.9294, 0.1098, 0.1412},
  };
  TkwPDDeviceCMYKColorSpace cs;
  for (const Corner& k : corners) {
    TkwRGB rgb;
    cs.GetRGB(Color({k.C, k.M, k.Y, k.K}), rgb);
    SCOPED_TRACE(testing::Message() << k.C << k.M << k.Y << k.K);
    EXPECT_NEAR(rgb.R, k.R * 65536, 1);
    EXPECT_NEAR(rgb.G, k.G * 65536, 1);
    EXPECT_NEAR(rgb.B, k.B * 65536, 1);
  }
  // Half way between white and the cyan corner.
  TkwRGB mid;
  cs.GetRGB(Color({0.5, 0, 0, 0}), mid);
  EXPECT_NEAR(mid.G, (1 + 0.6784) / 2 * 65536, 2);
  // Out-of-range components are clipped, not extrapolated.
  TkwRGB over;
  cs.GetRGB(Color({2, 0, 0, 0}), over);
  EXPECT_EQ(over.R, 0);
}

class SpaceFile : public ::testing::Test {
protected:
  test::TkwObjectFile F;
  std::unique_ptr<TkwPDColorSpace> Make(int ANum) { return MakeColorSpace(F.Get(ANum), "CS0"); }
};

TEST_F(SpaceFile, LabConvertsThroughXYZ) {
  const int lab = F.Add("[/Lab << /WhitePoint [0.9505 1 1.089] /Range [-128 127 -128 127] >>]");
  F.Load();
  auto cs = Make(lab);
  ASSERT_TRUE(cs);
  EXPECT_EQ(cs->GetMode(), TkwColorSpaceMode::csLab);
  EXPECT_EQ(cs->FTagName, "CS0");
  TkwRGB white, black, red;
  cs->GetRGB(Color({100, 0, 0}), white);
  EXPECT_NEAR(white.R, 65536, 400);
  EXPECT_NEAR(white.G, 65536, 400);
  EXPECT_NEAR(white.B, 65536, 400);
  cs->GetRGB(Color({0, 0, 0}), black);
  EXPECT_EQ(black.R, 0);
  cs->GetRGB(Color({50, 80, 60}), red);
  EXPECT_GT(red.R, red.G);
  EXPECT_GT(red.R, red.B);
  TkwDecodeArray low{}, range{};
  cs->GetDefaultRanges(low, range, 255);
  EXPECT_EQ(low[1], -128);
  EXPECT_EQ(range[1], 255);
  EXPECT_EQ(range[0], 100);
}

TEST_F(SpaceFile, IndexedWithShortLookupReadsMissingEntriesAsZero) {
  // Three entries declared, one and a half given.
  const int idx = F.Add("[/Indexed /DeviceRGB 2 <FF0000 00FF>]");
  F.Load();
  auto cs = Make(idx);
  ASSERT_TRUE(cs);
  TkwRGB rgb;
  cs->GetRGB(Color({0}), rgb);
  EXPECT_EQ(rgb.R, 65536);
  EXPECT_EQ(rgb.G, 0);
  cs->GetRGB(Color({1}), rgb);
  EXPECT_EQ(rgb.R, 0);
  EXPECT_EQ(rgb.G, 65536);
  EXPECT_EQ(rgb.B, 0);
  cs->GetRGB(Color({2}), rgb);
  EXPECT_EQ(rgb.R + rgb.G + rgb.B, 0);
  cs->GetRGB(Color({9}), rgb);  // index clipped to the high value
  EXPECT_EQ(rgb.R + rgb.G + rgb.B, 0);

  // An image over it: raw samples are indices.
  TkwPDImageColorMap map(8, nullptr, cs.get());
  ASSERT_TRUE(map.IsOk());
  const std::uint16_t one = 1;
  map.GetRGB(&one, rgb);
  EXPECT_EQ(rgb.G, 65536);
}

TEST_F(SpaceFile, MalformedSpacesGiveNone) {
  const int a = F.Add("[/Indexed /DeviceRGB]");
  const int b = F.Add("[/Bogus]");
  const int c = F.Add("/Separation");
  const int d = F.Add("[/ICCBased 7]");
  const int self = F.Add("[/Indexed 7 0 R 1 <00>]");
  F.Load();
  EXPECT_FALSE(Make(a));
  EXPECT_FALSE(Make(b));
  EXPECT_FALSE(Make(c));
  EXPECT_FALSE(Make(d));
  EXPECT_FALSE(Make(self));  // refers to itself: the nesting bound ends it
}

TEST_F(SpaceFile, ICCBasedConvertsThroughItsAlternate) {
  const int icc = F.AddStream("/N 4", "profile");
  const int icc3 = F.AddStream("/N 3 /Alternate /DeviceGray", "profile");  // alternate of the wrong size
  const int a = F.Add("[/ICCBased 3 0 R]");
  const int b = F.Add("[/ICCBased 4 0 R]");
  F.Load();
  auto cs = Make(a);
  ASSERT_TRUE(cs);
  EXPECT_EQ(cs->GetNoOfComps(), 4);
  TkwRGB rgb;
  cs->GetRGB(Color({0, 0, 0, 0}), rgb);
  EXPECT_EQ(rgb.R, 65536);
  auto cs3 = Make(b);
  ASSERT_TRUE(cs3);
  EXPECT_EQ(cs3->GetNoOfComps(), 3);
  cs3->GetRGB(Color({1, 0, 0}), rgb);
  EXPECT_EQ(rgb.R, 65536);
  EXPECT_EQ(rgb.G, 0);
  (void)icc;
  (void)icc3;
}

TEST_F(SpaceFile, SeparationWithExponentialAndCalculatorTints) {
  F.Add("<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 1 0 0] /N 1 >>");
  F.AddStream("/FunctionType 4 /Domain [0 1] /Range [0 1 0 1 0 1]", "{ dup 0.5 mul exch 1 exch sub 0 }");
  const int s1 = F.Add("[/Separation /Spot /DeviceCMYK 3 0 R]");
  const int s2 = F.Add("[/Separation /Spot2 /DeviceRGB 4 0 R]");
  const int none = F.Add("[/Separation /None /DeviceGray 3 0 R]");
  F.Load();
  auto a = Make(s1);
  ASSERT_TRUE(a);
  TkwRGB rgb;
  a->GetRGB(Color({1}), rgb);  // full magenta
  EXPECT_NEAR(rgb.R, 0.9255 * 65536, 2);
  EXPECT_EQ(rgb.G, 0);
  TkwColor def;
  a->GetDefaultColor(def);
  EXPECT_EQ(def.FComps[0], 65536);
  EXPECT_FALSE(a->IsNonMarking());

  auto b = Make(s2);
  ASSERT_TRUE(b);
  b->GetRGB(Color({0.5}), rgb);  // (0.25, 0.5, 0)
  EXPECT_NEAR(rgb.R, 16384, 1);
  EXPECT_NEAR(rgb.G, 32768, 1);
  EXPECT_EQ(rgb.B, 0);

  // An image in the space maps its samples through the tint transform once per value.
  TkwPDImageColorMap map(8, nullptr, b.get());
  ASSERT_TRUE(map.IsOk());
  const std::uint16_t full = 255;
  map.GetRGB(&full, rgb);
  EXPECT_NEAR(rgb.R, 32768, 1);
  EXPECT_EQ(rgb.G, 0);

  EXPECT_TRUE(Make(none)->IsNonMarking());

  // 16-bit tints are tabulated from every 16th value; the values between are interpolated.
  TkwPDImageColorMap deep(16, nullptr, b.get());
  ASSERT_TRUE(deep.IsOk());
  for (std::uint16_t v : {std::uint16_t{0}, std::uint16_t{1}, std::uint16_t{0x7FF7}, std::uint16_t{0xFFFE}, std::uint16_t{0xFFFF}}) {
    deep.GetRGB(&v, rgb);
    EXPECT_NEAR(rgb.R, 0.5 * v, 2) << v;
    EXPECT_NEAR(rgb.G, 65536 - 65536.0 * v / 65535, 2) << v;
  }
}

TEST_F(SpaceFile, DeviceNRunsAllComponentsThroughItsFunction) {
  const int calc = F.AddStream("/FunctionType 4 /Domain [0 1 0 1] /Range [0 1 0 1 0 1 0 1]", "{ 0 0 4 2 roll }");
  const int dn = F.Add("[/DeviceN [/A /B] /DeviceCMYK 3 0 R]");
  F.Load();
  (void)calc;
  auto cs = Make(dn);
  ASSERT_TRUE(cs);
  EXPECT_EQ(cs->GetNoOfComps(), 2);
  // (a, b) become (0, 0, a, b) in CMYK: yellow here.
  TkwRGB rgb;
  cs->GetRGB(Color({1, 0}), rgb);
  EXPECT_EQ(rgb.R, 65536);
  EXPECT_NEAR(rgb.G, 0.949 * 65536, 2);
  EXPECT_EQ(rgb.B, 0);
}

TEST_F(SpaceFile, DecodeArrayOfTheWrongLengthMakesTheMapNotOk) {
  const int shortDecode = F.Add("[0 1 0 1]");
  const int goodDecode = F.Add("[1 0 1 0 1 0]");
  F.Load();
  TkwPDDeviceRGBColorSpace rgb;
  TkwPDImageColorMap bad(8, static_cast<TkwPDArray*>(F.Get(shortDecode)), &rgb);
  EXPECT_FALSE(bad.IsOk());
  TkwPDImageColorMap good(8, static_cast<TkwPDArray*>(F.Get(goodDecode)), &rgb);
  ASSERT_TRUE(good.IsOk());
  const std::uint16_t px[3] = {0, 255, 0};
  TkwRGB out;
  good.GetRGB(px, out);  // inverted
  EXPECT_EQ(out.R, 65536);
  EXPECT_EQ(out.G, 0);
  EXPECT_EQ(out.B, 65536);
  TkwPDImageColorMap badBits(3, nullptr, &rgb);
  EXPECT_FALSE(badBits.IsOk());
}

// Maps of one sample keep a table of the colours of every sample value: each depth and
// decode array must give what the decode formula and the space give for every value, on
// the first look-up and on later ones, and a value beyond the depth is the top value.
struct TDecodeCase {
  int Bits;
  const char* Decode;  // nullptr: the space's default
  double Low, High;
  bool Mask;  // no space: an image mask or a stencil
};

class TabulatedMap : public ::testing::TestWithParam<TDecodeCase> {};

TEST_P(TabulatedMap, EverySampleValueGivesTheDecodedColour) {
  const TDecodeCase& c = GetParam();
  test::TkwObjectFile file;
  const int decode = c.Decode != nullptr ? file.Add(c.Decode) : 0;
  file.Load();
  TkwPDDeviceGrayColorSpace gray;
  const auto* array = c.Decode != nullptr ? static_cast<TkwPDArray*>(file.Get(decode)) : nullptr;
  TkwPDImageColorMap map(c.Bits, array, c.Mask ? nullptr : &gray);
  ASSERT_TRUE(map.IsOk());
  const int max = (1 << c.Bits) - 1;
  for (int pass = 0; pass < 2; ++pass) {
    for (int v = 0; v <= max + 1; ++v) {
      const int clipped = std::min(v, max);
      const std::int32_t expected = Clamp(ToColor(c.Low + clipped * (c.High - c.Low) / max));
      const auto sample = static_cast<std::uint16_t>(v);
      TkwRGB rgb;
      map.GetRGB(&sample, rgb);
      std::int32_t g = -1;
      map.GetGray(&sample, g);
      EXPECT_EQ(rgb.R, expected) << "bits " << c.Bits << " value " << v;
      EXPECT_EQ(rgb.G, expected) << "bits " << c.Bits << " value " << v;
      EXPECT_EQ(rgb.B, expected) << "bits " << c.Bits << " value " << v;
      EXPECT_EQ(g, expected) << "bits " << c.Bits << " value " << v;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    DepthsAndDecodes, TabulatedMap,
    ::testing::Values(TDecodeCase{1, nullptr, 0, 1, false}, TDecodeCase{1, "[1 0]", 1, 0, false},
                      TDecodeCase{1, "[1 0]", 1, 0, true}, TDecodeCase{1, nullptr, 0, 1, true},
                      TDecodeCase{2, nullptr, 0, 1, false}, TDecodeCase{2, "[0.25 0.75]", 0.25, 0.75, false},
                      TDecodeCase{4, nullptr, 0, 1, false}, TDecodeCase{4, "[1 0]", 1, 0, false},
                      TDecodeCase{8, nullptr, 0, 1, false}, TDecodeCase{8, "[0.9 0.1]", 0.9, 0.1, false},
                      TDecodeCase{8, "[0 2]", 0, 2, false}));

TEST_F(SpaceFile, TabulatedIndexedMapLooksUpThePalette) {
  // Two bits over four RGB entries; a decode array that reverses the indices.
  const int cs = F.Add("[/Indexed /DeviceRGB 3 <FF0000 00FF00 0000FF FFFFFF>]");
  const int reversed = F.Add("[3 0]");
  F.Load();
  auto space = Make(cs);
  ASSERT_TRUE(space);
  TkwPDImageColorMap map(2, static_cast<TkwPDArray*>(F.Get(reversed)), space.get());
  ASSERT_TRUE(map.IsOk());
  const TkwRGB expected[4] = {{65536, 65536, 65536}, {0, 0, 65536}, {0, 65536, 0}, {65536, 0, 0}};
  for (int pass = 0; pass < 2; ++pass) {
    for (std::uint16_t v = 0; v < 4; ++v) {
      TkwRGB rgb;
      map.GetRGB(&v, rgb);
      EXPECT_EQ(rgb.R, expected[v].R) << v;
      EXPECT_EQ(rgb.G, expected[v].G) << v;
      EXPECT_EQ(rgb.B, expected[v].B) << v;
    }
  }
}

TEST_F(SpaceFile, DeviceRGBChannelsDecodeOnTheirOwn) {
  // DeviceRGB itself, and an ICC profile of three components shown through it.
  const int decode = F.Add("[0 1 1 0 0.5 1]");
  F.AddStream("/N 3", "profile");
  const int icc = F.Add("[/ICCBased 4 0 R]");
  F.Load();
  TkwPDDeviceRGBColorSpace device;
  auto profiled = Make(icc);
  ASSERT_TRUE(profiled);
  const auto channel = [](double ALow, double AHigh, int AV) {
    return Clamp(ToColor(ALow + std::min(AV, 3) * (AHigh - ALow) / 3));
  };
  const TkwPDColorSpace* spaces[] = {&device, profiled.get()};
  for (const TkwPDColorSpace* space : spaces) {
    TkwPDImageColorMap map(2, static_cast<TkwPDArray*>(F.Get(decode)), space);
    ASSERT_TRUE(map.IsOk());
    for (std::uint16_t r = 0; r < 5; ++r) {
      for (std::uint16_t g = 0; g < 4; ++g) {
        for (std::uint16_t b = 0; b < 4; ++b) {
          const std::uint16_t px[3] = {r, g, b};
          TkwRGB rgb;
          map.GetRGB(px, rgb);
          EXPECT_EQ(rgb.R, channel(0, 1, r)) << r << g << b;
          EXPECT_EQ(rgb.G, channel(1, 0, g)) << r << g << b;
          EXPECT_EQ(rgb.B, channel(0.5, 1, b)) << r << g << b;
        }
      }
    }
  }
}

}  // namespace
}  // namespace qm
