#include "platform/Bitmap.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/Shell.h"

namespace qm {
namespace {

struct FormatCase {
  TPixelFormat Format;
  int Bits;
  std::size_t Stride5;  // stride of a 5-pixel row
};

class RasterFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(RasterFormat, PixelsRoundTripAndRowsArePadded) {
  const FormatCase c = GetParam();
  TBitmap bmp(5, 3, c.Format);
  EXPECT_EQ(bmp.GetBitsPerPixel(), c.Bits);
  EXPECT_EQ(bmp.GetStride(), c.Stride5);
  bmp.SetPixel(4, 2, 0xFFFFFF);
  bmp.SetPixel(0, 0, 0x000000);
  EXPECT_EQ(bmp.GetPixel(4, 2), 0xFFFFFFu);
  EXPECT_EQ(bmp.GetPixel(0, 0), 0u);
  // out of range is ignored, never written past the buffer
  bmp.SetPixel(5, 0, 0xFFFFFF);
  bmp.SetPixel(-1, 0, 0xFFFFFF);
  EXPECT_EQ(bmp.GetPixel(5, 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Formats, RasterFormat,
                         ::testing::Values(FormatCase{TPixelFormat::pf1bit, 1, 4},
                                           FormatCase{TPixelFormat::pf8bit, 8, 8},
                                           FormatCase{TPixelFormat::pf24bit, 24, 16},
                                           FormatCase{TPixelFormat::pf32bit, 32, 20}));

TEST(Raster, ConvertingFormatKeepsColours) {
  TBitmap bmp(2, 1, TPixelFormat::pf24bit);
  bmp.SetPixel(0, 0, 0x123456);
  bmp.SetPixel(1, 0, 0xFFFFFF);
  bmp.SetPixelFormat(TPixelFormat::pf32bit);
  EXPECT_EQ(bmp.GetPixel(0, 0), 0x123456u);
  bmp.SetPixelFormat(TPixelFormat::pf1bit);
  EXPECT_EQ(bmp.GetPixel(0, 0), 0u);  // dark becomes black
  EXPECT_EQ(bmp.GetPixel(1, 0), 0xFFFFFFu);
}

TEST(Raster, OversizedBitmapIsEmpty) {
  TBitmap bmp(1 << 16, 1 << 16);
  EXPECT_TRUE(bmp.IsEmpty());
  EXPECT_TRUE(bmp.ScanLine(0).empty());
}

TEST(Raster, BmpLayoutIsBottomUpWithPalette) {
  TBitmap bmp(3, 2, TPixelFormat::pf8bit);
  bmp.SetPixel(0, 0, 0xFFFFFF);  // top-left
  const std::string file = bmp.SaveToBMP();
  ASSERT_EQ(file.substr(0, 2), "BM");
  std::uint32_t size = 0;
  std::memcpy(&size, file.data() + 2, 4);
  EXPECT_EQ(size, file.size());
  std::uint32_t offset = 0;
  std::memcpy(&offset, file.data() + 10, 4);
  EXPECT_EQ(offset, 14u + 40u + 256u * 4u);
  // the top row is stored last
  EXPECT_EQ(static_cast<std::uint8_t>(file[offset + 4]), 255);
  EXPECT_EQ(static_cast<std::uint8_t>(file[offset]), 0);
}

TEST(Raster, StretchDrawScalesAndTransparentColourIsSkipped) {
  TBitmap src(2, 1);
  src.SetPixel(0, 0, 0x0000FF);
  src.SetPixel(1, 0, 0xFFFFFF);
  src.FTransparent = true;
  TBitmap dst(4, 2);
  dst.FillRect(0, 0, 4, 2, 0x00FF00);
  src.StretchDraw(dst, 0, 0, 4, 2);
  EXPECT_EQ(dst.GetPixel(1, 1), 0x0000FFu);
  EXPECT_EQ(dst.GetPixel(3, 0), 0x00FF00u);  // white source pixel is transparent
}

TEST(Raster, DrawClipsAtEveryEdge) {
  TBitmap src(3, 2);
  src.FillRect(0, 0, 3, 2, 0x112233);
  for (const int offset : {-2, 0, 2}) {
    TBitmap dst(4, 3);
    src.Draw(dst, offset, offset);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x) {
        const bool inside = x >= offset && x < offset + 3 && y >= offset && y < offset + 2;
        EXPECT_EQ(dst.GetPixel(x, y), inside ? 0x112233u : 0u) << offset << " " << x << "," << y;
      }
  }
}

TEST(Raster, SystemColoursResolve) {
  EXPECT_EQ(ColorToRGB(clWindow), 0xFFFFFFu);
  EXPECT_EQ(ColorToRGB(clWindowText), 0u);
  EXPECT_EQ(ColorToRGB(clRed), 0x0000FFu);
}

TEST(Shell, HookReceivesThePath) {
  std::string seen;
  SetShellOpenHook([&](const std::string& APath) { seen = APath; return true; });
  EXPECT_TRUE(ShellOpen("/tmp/x.rtf"));
  EXPECT_EQ(seen, "/tmp/x.rtf");
  SetShellOpenHook({});
}

}  // namespace
}  // namespace qm
