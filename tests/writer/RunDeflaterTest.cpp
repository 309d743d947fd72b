// The run deflater and the indexed pictures it compresses, read back by zlib and libpng.
#include <gtest/gtest.h>

#include <png.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "platform/Bitmap.h"
#include "writer/kwRTFPicture.h"
#include "writer/kwRunDeflater.h"

namespace qm {
namespace {

std::string Inflate(const std::string& AStream, std::size_t AExpected) {
  std::string out(AExpected + 16, '\0');
  uLongf size = static_cast<uLongf>(out.size());
  const int rc = uncompress(reinterpret_cast<Bytef*>(out.data()), &size,
                            reinterpret_cast<const Bytef*>(AStream.data()), static_cast<uLong>(AStream.size()));
  if (rc != Z_OK) return "zlib error " + std::to_string(rc);
  out.resize(size);
  return out;
}

struct TRows {
  const char* Name;
  std::size_t Width;
  std::size_t Height;
  // The byte at (x, y).
  unsigned char (*At)(std::size_t X, std::size_t Y);
};

class RunDeflater : public ::testing::TestWithParam<TRows> {};

TEST_P(RunDeflater, ZlibReadsBackEveryRow) {
  const TRows& shape = GetParam();
  TkwRunDeflater deflater(shape.Width);
  std::string all, previous;
  for (std::size_t y = 0; y < shape.Height; ++y) {
    std::string row(shape.Width, '\0');
    for (std::size_t x = 0; x < shape.Width; ++x) row[x] = static_cast<char>(shape.At(x, y));
    deflater.AddRow(row, y > 0 && row == previous);
    all += row;
    previous = row;
  }
  const std::string stream = deflater.Finish();
  EXPECT_EQ(Inflate(stream, all.size()), all);
  // Pictures of runs shrink to a small part of their size.
  if (std::string_view(shape.Name).starts_with("runs")) {
    EXPECT_LT(stream.size(), all.size() / 8);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, RunDeflater,
    ::testing::Values(
        TRows{"runs_of_one_value", 1000, 50, [](std::size_t, std::size_t) -> unsigned char { return 7; }},
        TRows{"runs_of_bars", 1001, 120,
              [](std::size_t x, std::size_t y) -> unsigned char { return (x / 37) % 3 == 0 && y > x % 97 ? 3 : 0; }},
        TRows{"runs_longer_than_a_match", 5000, 6,
              [](std::size_t x, std::size_t) -> unsigned char { return x < 2600 ? 1 : 2; }},
        TRows{"rows_that_repeat_in_pairs", 333, 40,
              [](std::size_t x, std::size_t y) -> unsigned char { return static_cast<unsigned char>((x * 7 + y / 2) % 5); }},
        TRows{"noise", 517, 33,
              [](std::size_t x, std::size_t y) -> unsigned char {
                return static_cast<unsigned char>((x * 2654435761u + y * 40503u) >> 7);
              }},
        TRows{"one_byte_rows", 1, 300, [](std::size_t, std::size_t y) -> unsigned char { return y % 7 < 4 ? 9 : 200; }},
        TRows{"widest_row", TkwRunDeflater::kMaxStride, 4,
              [](std::size_t x, std::size_t y) -> unsigned char { return static_cast<unsigned char>((x / 300 + y) % 4); }}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

// The pixels of a PNG as RGBA, read by libpng.
std::vector<unsigned char> DecodeRgba(const std::string& APng, int& AWidth, int& AHeight) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, APng.data(), APng.size())) return {};
  image.format = PNG_FORMAT_RGBA;
  std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
  AWidth = static_cast<int>(image.width);
  AHeight = static_cast<int>(image.height);
  return pixels;
}

class IndexedPicture : public ::testing::TestWithParam<std::size_t> {};

// Each palette size takes the fewest bits a pixel (1, 2, 4 or 8), rows packed across
// their bytes; what a reader decodes is the bitmap's colours, pixel for pixel.
TEST_P(IndexedPicture, ReadsBackAsItsColours) {
  const std::size_t colors = GetParam();
  TBitmap bitmap(83, 29, TPixelFormat::pf8bit);
  std::vector<std::uint32_t> palette;
  for (std::size_t i = 0; i < colors; ++i) palette.push_back(static_cast<std::uint32_t>(i * 0x010305 + 0x102030) & 0xFFFFFF);
  bitmap.SetPalette(palette);
  for (int y = 0; y < bitmap.GetHeight(); ++y) {
    for (int x = 0; x < bitmap.GetWidth(); ++x) {
      bitmap.ScanLine(y)[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>((x / 3 + (y / 4) * 5) % colors);
    }
  }
  ASSERT_TRUE(IsIndexedPicture(bitmap));
  const std::string png = EncodePNG(bitmap, std::nullopt);
  const int depth = static_cast<unsigned char>(png[24]);
  EXPECT_EQ(depth, colors <= 2 ? 1 : colors <= 4 ? 2 : colors <= 16 ? 4 : 8);
  EXPECT_EQ(png[25], 3);  // indexed colour
  int w = 0, h = 0;
  const auto rgba = DecodeRgba(png, w, h);
  ASSERT_EQ(w, bitmap.GetWidth());
  ASSERT_EQ(h, bitmap.GetHeight());
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint32_t c = bitmap.GetPixel(x, y);
      const unsigned char* p = &rgba[(static_cast<std::size_t>(y) * static_cast<std::size_t>(w) + static_cast<std::size_t>(x)) * 4];
      ASSERT_EQ(p[0] | p[1] << 8 | p[2] << 16, static_cast<int>(c)) << x << "," << y;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(PaletteSizes, IndexedPicture, ::testing::Values(2u, 3u, 16u, 17u, 255u));

TEST(IndexedPicture, AGreyBitmapKeepsItsTrueColourPicture) {
  // An 8-bit bitmap of the image decoders has the full grey ramp: it is written as before.
  const TBitmap grey(10, 10, TPixelFormat::pf8bit);
  EXPECT_FALSE(IsIndexedPicture(grey));
  EXPECT_EQ(EncodePNG(grey, std::nullopt)[25], 2);
}

}  // namespace
}  // namespace qm
