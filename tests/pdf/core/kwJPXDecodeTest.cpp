#include "pdf/core/kwJPXDecode.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "pdf/core/ImageFilters.h"
#include "tests/pdf/core/DecoderFixtures.h"

namespace qm {
namespace {

struct TJpxCase {
  const char* Name;
  const char* Raw;
  const char* Reference;
  int Components;
};

class JPXFixture : public ::testing::TestWithParam<TJpxCase> {};

TEST_P(JPXFixture, MatchesPdfimages) {
  const std::string data = test::ReadFixture(GetParam().Raw);
  const test::TPnm ref = test::ReadPnm(GetParam().Reference);
  TkwJPXImage image;
  ASSERT_TRUE(DecodeJPX(test::Bytes(data), image));
  ASSERT_EQ(image.Width, ref.Width);
  ASSERT_EQ(image.Height, ref.Height);
  ASSERT_EQ(image.Components, GetParam().Components);
  const auto n = static_cast<std::size_t>(image.Width * image.Height);
  ASSERT_EQ(ref.Pixels.size(), n * 3);
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t k = 0; k < 3; ++k) {
      const int ours = image.Samples[i * static_cast<std::size_t>(image.Components) + (image.Components == 1 ? 0 : k)];
      EXPECT_NEAR(ours, static_cast<std::uint8_t>(ref.Pixels[i * 3 + k]), 3) << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, JPXFixture,
                         ::testing::Values(TJpxCase{"GrayCodestream", "raw/bug_jpx-15.bin", "ref/bug_jpx-000.ppm", 1},
                                           TJpxCase{"Rgb", "raw/jp2k-resetprob-6.bin", "ref/jp2k-resetprob-000.ppm", 3}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

// A raw codestream of one 8-bit component with no coded data: the main header as
// ISO/IEC 15444-1 lays it out, then one empty tile-part.
struct TJpxHeader {
  const char* Name;
  std::uint32_t Width, Height, TileW, TileH;
  int CodeBlockLog;  // log2 of the code-block side
};

std::string Codestream(const TJpxHeader& AH) {
  std::string s;
  auto u8 = [&](unsigned v) { s.push_back(static_cast<char>(v & 255)); };
  auto u16 = [&](unsigned v) { u8(v >> 8); u8(v); };
  auto u32 = [&](std::uint32_t v) { u16(v >> 16); u16(v & 0xFFFF); };
  u16(0xFF4F);
  u16(0xFF51);
  u16(41);
  u16(0);
  u32(AH.Width);
  u32(AH.Height);
  u32(0);
  u32(0);
  u32(AH.TileW);
  u32(AH.TileH);
  u32(0);
  u32(0);
  u16(1);
  u8(7);
  u8(1);
  u8(1);
  u16(0xFF52);  // COD: no decomposition, one layer, the code-block size asked for
  u16(12);
  u8(0);
  u8(0);
  u16(1);
  u8(0);
  u8(0);
  u8(static_cast<unsigned>(AH.CodeBlockLog - 2));
  u8(static_cast<unsigned>(AH.CodeBlockLog - 2));
  u8(0);
  u8(1);
  u16(0xFF5C);  // QCD: no quantisation
  u16(4);
  u8(0x40);
  u8(0x40);
  u16(0xFF90);  // SOT of tile 0, then an empty SOD
  u16(10);
  u16(0);
  u32(14);
  u8(0);
  u8(1);
  u16(0xFF93);
  u16(0xFFD9);
  return s;
}

class JPXHeaderBounds : public ::testing::TestWithParam<TJpxHeader> {};

// Pictures over the caps, and codestreams whose tiles or code-blocks would keep
// OpenJPEG busy for seconds and hundreds of megabytes setting up units the data never
// fills, are refused before decoding (in a JP2 file as in a raw codestream).
TEST_P(JPXHeaderBounds, RefusedBeforeDecoding) {
  const std::string raw = Codestream(GetParam());
  std::string jp2("\0\0\0\x0CjP  \r\n\x87\n\0\0\0\x14" "ftypjp2 \0\0\0\0jp2 ", 32);
  const auto len = static_cast<std::uint32_t>(raw.size() + 8);
  for (int shift : {24, 16, 8, 0}) jp2.push_back(static_cast<char>((len >> shift) & 255));
  jp2 += "jp2c" + raw;
  for (const std::string& data : {raw, jp2}) {
    TkwJPXImage image;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(DecodeJPX(test::Bytes(data), image));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.5);
    EXPECT_TRUE(image.Samples.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Headers, JPXHeaderBounds,
    ::testing::Values(TJpxHeader{"WiderThan65536", 65537, 4, 65537, 4, 6},
                      TJpxHeader{"Over2To28Pixels", 20000, 20000, 1024, 1024, 6},
                      TJpxHeader{"TooManyTiles", 4096, 2048, 16, 16, 6},
                      TJpxHeader{"TooManyCodeBlocks", 8192, 8192, 8192, 8192, 2}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(JPXDecode, AlphaChannelIsKeptApart) {
  // Two pixels with an alpha channel (SMaskInData). poppler reads the alpha byte as the
  // second pixel's red, so only the first pixel can be checked against pdfimages.
  const std::string data = test::ReadFixture("raw/jpx_smaskindata-5.bin");
  const test::TPnm ref = test::ReadPnm("ref/jpx_smaskindata-000.ppm");
  TkwJPXImage image;
  ASSERT_TRUE(DecodeJPX(test::Bytes(data), image));
  ASSERT_EQ(image.Components, 3);
  ASSERT_EQ(image.Alpha.size(), 2u);
  for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(image.Samples[k], static_cast<std::uint8_t>(ref.Pixels[k]));
  EXPECT_EQ(image.Alpha[0], static_cast<std::uint8_t>(ref.Pixels[3]));
  EXPECT_EQ(image.Alpha[1], 0);
}

TEST(JPXDecode, FilterDeliversSamples) {
  const std::string data = test::ReadFixture("raw/jp2k-resetprob-6.bin");
  const test::TPnm ref = test::ReadPnm("ref/jp2k-resetprob-000.ppm");
  auto filter = MakeJPXDecode(TkwMemoryStream::View(std::string_view(data)), nullptr, nullptr);
  ASSERT_EQ(filter->GetType(), TkwStreamType::stJPX);
  filter->Reset();
  std::string out;
  filter->Read(out, -1);
  EXPECT_EQ(out, ref.Pixels);
}

TEST(JPXDecode, DamagedDataIsRefusedQuietly) {
  std::string data = test::ReadFixture("raw/jp2k-resetprob-6.bin");
  TkwJPXImage image;
  EXPECT_FALSE(DecodeJPX(test::Bytes(std::string("not a jpeg 2000 file")), image));
  EXPECT_FALSE(DecodeJPX(test::Bytes(data.substr(0, 30)), image));
  for (std::size_t i = 60; i < data.size(); i += 97) data[i] = static_cast<char>(data[i] ^ 0x5A);
  (void)DecodeJPX(test::Bytes(data), image);  // whatever survives, no crash
}

}  // namespace
}  // namespace qm
