#include "pdf/core/JPXDecode.h"

#include <gtest/gtest.h>

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
