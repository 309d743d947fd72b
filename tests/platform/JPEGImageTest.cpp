#include "platform/JPEGImage.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace qm {
namespace {

std::unique_ptr<TBitmap> Gradient(int W, int H) {
  auto owned = std::make_unique<TBitmap>(W, H);
  TBitmap& bmp = *owned;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) bmp.SetPixel(x, y, RGBColor(static_cast<std::uint8_t>(x * 4), 128, static_cast<std::uint8_t>(y * 4)));
  return owned;
}

TEST(Jpeg, EncodeReadsBackSizeAndDecodesClose) {
  const auto srcOwned = Gradient(40, 30);
  const TBitmap& src = *srcOwned;
  TJPEGImage jpeg;
  jpeg.Assign(src, 95);
  EXPECT_EQ(jpeg.GetWidth(), 40);
  EXPECT_EQ(jpeg.GetHeight(), 30);
  EXPECT_EQ(jpeg.GetComponents(), 3);
  auto decoded = jpeg.ToBitmap();
  ASSERT_TRUE(decoded);
  ASSERT_EQ(decoded->GetWidth(), 40);
  const std::uint32_t a = src.GetPixel(20, 15);
  const std::uint32_t b = decoded->GetPixel(20, 15);
  EXPECT_LE(std::abs(GetRValue(a) - GetRValue(b)), 12);
  EXPECT_LE(std::abs(GetBValue(a) - GetBValue(b)), 12);
}

TEST(Jpeg, CloneKeepsBytesUnchanged) {
  TJPEGImage jpeg;
  jpeg.Assign(*Gradient(8, 8), 80);
  auto copy = jpeg.Clone();
  auto* j = dynamic_cast<TJPEGImage*>(copy.get());
  ASSERT_NE(j, nullptr);
  EXPECT_EQ(j->GetBytes(), jpeg.GetBytes());
}

// Damaged data never crashes: each case keeps its bytes and decodes to nothing.
class JpegDamaged : public ::testing::TestWithParam<std::string> {};

TEST_P(JpegDamaged, DecodesToNothing) {
  TJPEGImage jpeg(GetParam());
  EXPECT_EQ(jpeg.GetBytes(), GetParam());
  EXPECT_EQ(jpeg.ToBitmap(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, JpegDamaged,
                         ::testing::Values(std::string(), std::string("\xFF\xD8", 2),
                                           std::string("\xFF\xD8\xFF\xC0\x00\x02", 6),
                                           std::string("not a jpeg at all")));

TEST(Jpeg, TruncatedStreamDoesNotCrash) {
  TJPEGImage good;
  good.Assign(*Gradient(16, 16), 90);
  TJPEGImage cut(good.GetBytes().substr(0, good.GetBytes().size() / 2));
  EXPECT_EQ(cut.GetWidth(), 16);  // the frame header survived
  (void)cut.ToBitmap();           // libjpeg pads or fails; either way no crash
}

}  // namespace
}  // namespace qm
