#include "pdf/core/kwDCTDecode.h"

#include <gtest/gtest.h>

#include <chrono>
#include <jpeglib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "pdf/core/kwStream.h"
#include "pdf/core/ImageFilters.h"

namespace qm {
namespace {

// JPEG files made by libjpeg, the encoder behind cjpeg, and decoded by it as djpeg does.
struct TJpegCase {
  const char* Name;
  int Width, Height, Components;
  J_COLOR_SPACE In;
  bool Progressive;
  int Restart;        // MCUs between restart markers, 0 for none
  int HSamp, VSamp;   // luminance sampling factors
  int Quality = 85;   // 100: long codes and large coefficients; 10: mostly end-of-block codes
};

std::vector<std::uint8_t> Pattern(int AWidth, int AHeight, int AComps) {
  std::vector<std::uint8_t> px(static_cast<std::size_t>(AWidth * AHeight * AComps));
  for (int y = 0; y < AHeight; ++y) {
    for (int x = 0; x < AWidth; ++x) {
      for (int k = 0; k < AComps; ++k) {
        const int v = x * 7 + y * 3 + k * 50 + ((x / 13 + y / 7) % 2) * 90 +
                      static_cast<int>(40 * std::sin(x * 0.05 + k));
        px[static_cast<std::size_t>((y * AWidth + x) * AComps + k)] = static_cast<std::uint8_t>(v & 255);
      }
    }
  }
  return px;
}

std::string Encode(const TJpegCase& C, bool AAdobeRgb = false) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buf, &size);
  cinfo.image_width = static_cast<JDIMENSION>(C.Width);
  cinfo.image_height = static_cast<JDIMENSION>(C.Height);
  cinfo.input_components = C.Components;
  cinfo.in_color_space = C.In;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, C.Quality, TRUE);
  if (AAdobeRgb) {
    jpeg_set_colorspace(&cinfo, JCS_RGB);  // stored as RGB, Adobe marker transform 0
    cinfo.write_Adobe_marker = TRUE;
    cinfo.write_JFIF_header = FALSE;
  }
  if (C.Components == 3) {
    cinfo.comp_info[0].h_samp_factor = C.HSamp;
    cinfo.comp_info[0].v_samp_factor = C.VSamp;
  }
  if (C.Progressive) jpeg_simple_progression(&cinfo);
  cinfo.restart_interval = static_cast<unsigned>(C.Restart);
  jpeg_start_compress(&cinfo, TRUE);
  const auto px = Pattern(C.Width, C.Height, C.Components);
  while (cinfo.next_scanline < cinfo.image_height) {
    auto* row = const_cast<JSAMPLE*>(&px[static_cast<std::size_t>(cinfo.next_scanline) *
                                         static_cast<std::size_t>(C.Width * C.Components)]);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::string out(reinterpret_cast<char*>(buf), size);
  std::free(buf);
  jpeg_destroy_compress(&cinfo);
  return out;
}

std::vector<std::uint8_t> Reference(const std::string& AJpeg) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(AJpeg.data()), AJpeg.size());
  jpeg_read_header(&cinfo, TRUE);
  jpeg_start_decompress(&cinfo);
  const std::size_t stride = cinfo.output_width * static_cast<std::size_t>(cinfo.output_components);
  std::vector<std::uint8_t> out(stride * cinfo.output_height);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = &out[cinfo.output_scanline * stride];
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return out;
}

std::vector<std::uint8_t> DecodeAll(const std::string& AJpeg, int* ARows = nullptr) {
  TkwJpegDecoder dec({reinterpret_cast<const std::uint8_t*>(AJpeg.data()), AJpeg.size()});
  std::vector<std::uint8_t> out;
  if (!dec.ReadHeader()) return out;
  std::vector<std::uint8_t> row(dec.GetRowBytes());
  int rows = 0;
  while (dec.ReadRow(row)) {
    out.insert(out.end(), row.begin(), row.end());
    ++rows;
  }
  if (ARows) *ARows = rows;
  return out;
}

int MaxDiff(const std::vector<std::uint8_t>& A, const std::vector<std::uint8_t>& B) {
  if (A.size() != B.size()) return 1000;
  int m = 0;
  for (std::size_t i = 0; i < A.size(); ++i) m = std::max(m, std::abs(int{A[i]} - int{B[i]}));
  return m;
}

class DCTAgainstLibjpeg : public ::testing::TestWithParam<TJpegCase> {};

TEST_P(DCTAgainstLibjpeg, WithinTwoPerChannel) {
  const TJpegCase& c = GetParam();
  const std::string jpeg = Encode(c);
  int rows = 0;
  const auto ours = DecodeAll(jpeg, &rows);
  EXPECT_EQ(rows, c.Height);
  EXPECT_LE(MaxDiff(ours, Reference(jpeg)), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, DCTAgainstLibjpeg,
    ::testing::Values(TJpegCase{"Baseline420", 100, 75, 3, JCS_RGB, false, 0, 2, 2},
                      TJpegCase{"Baseline444", 100, 75, 3, JCS_RGB, false, 0, 1, 1},
                      TJpegCase{"Baseline422Restart", 90, 51, 3, JCS_RGB, false, 2, 2, 1},
                      TJpegCase{"Baseline440", 90, 51, 3, JCS_RGB, false, 0, 1, 2},
                      TJpegCase{"Progressive420", 101, 77, 3, JCS_RGB, true, 0, 2, 2},
                      TJpegCase{"ProgressiveRestart", 90, 51, 3, JCS_RGB, true, 5, 1, 1},
                      TJpegCase{"GrayRestart", 64, 64, 1, JCS_GRAYSCALE, false, 3, 1, 1},
                      TJpegCase{"GrayProgressiveOddSize", 63, 65, 1, JCS_GRAYSCALE, true, 0, 1, 1},
                      TJpegCase{"CmykAdobe", 90, 50, 4, JCS_CMYK, false, 0, 1, 1},
                      TJpegCase{"OnePixel", 1, 1, 3, JCS_RGB, false, 0, 2, 2},
                      TJpegCase{"Baseline420Quality100OddWidth", 129, 67, 3, JCS_RGB, false, 0, 2, 2, 100},
                      TJpegCase{"Baseline420Quality10", 131, 40, 3, JCS_RGB, false, 7, 2, 2, 10},
                      TJpegCase{"GrayQuality100", 70, 30, 1, JCS_GRAYSCALE, false, 0, 1, 1, 100}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(DCTDecode, AdobeTransformZeroIsDeliveredAsRgb) {
  const TJpegCase c{"", 48, 32, 3, JCS_RGB, false, 0, 1, 1};
  const std::string jpeg = Encode(c, true);
  TkwJpegDecoder dec({reinterpret_cast<const std::uint8_t*>(jpeg.data()), jpeg.size()});
  ASSERT_TRUE(dec.ReadHeader());
  EXPECT_TRUE(dec.HasAdobe());
  EXPECT_EQ(dec.GetColorTransform(), 0);
  EXPECT_LE(MaxDiff(DecodeAll(jpeg), Reference(jpeg)), 2);
}

TEST(DCTDecode, UnsupportedFramesDeliverNothing) {
  std::string jpeg = Encode({"", 16, 16, 3, JCS_RGB, false, 0, 1, 1});
  const auto sof = jpeg.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  for (const char marker : {'\xC9', '\xC3', '\xC5'}) {  // arithmetic, lossless, hierarchical
    std::string changed = jpeg;
    changed[sof + 1] = marker;
    EXPECT_TRUE(DecodeAll(changed).empty()) << int(static_cast<unsigned char>(marker));
  }
}

TEST(DCTDecode, FrameOverThePixelCapIsRefused) {
  std::string jpeg = Encode({"", 16, 16, 1, JCS_GRAYSCALE, false, 0, 1, 1});
  const auto sof = jpeg.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  for (int i = 5; i <= 8; ++i) jpeg[sof + static_cast<std::size_t>(i)] = '\xFF';  // 65535 × 65535
  TkwJpegDecoder dec({reinterpret_cast<const std::uint8_t*>(jpeg.data()), jpeg.size()});
  EXPECT_FALSE(dec.ReadHeader());
}

TEST(DCTDecode, TruncatedDataKeepsTheRowsAndTheSize) {
  const TJpegCase c{"", 64, 64, 3, JCS_RGB, false, 0, 2, 2};
  for (const bool progressive : {false, true}) {
    TJpegCase cc = c;
    cc.Progressive = progressive;
    const std::string jpeg = Encode(cc);
    for (const std::size_t keep : {jpeg.size() / 2, jpeg.size() - 3, std::size_t{700}}) {
      int rows = 0;
      const auto ours = DecodeAll(jpeg.substr(0, keep), &rows);
      EXPECT_EQ(rows, 64) << keep;
    }
  }
}

TEST(DCTDecode, ScansThatRunDryStopEarly) {
  // Found by fuzzing: a small progressive file whose frame header claims a large picture
  // and whose scans are repeated many times. Each scan stops once it has used up its
  // data instead of visiting every block of the frame.
  std::string jpeg = Encode({"", 16, 16, 3, JCS_RGB, true, 0, 2, 2});
  const auto sof = jpeg.find("\xFF\xC2");
  const auto sos = jpeg.find("\xFF\xDA");
  ASSERT_NE(sof, std::string::npos);
  ASSERT_NE(sos, std::string::npos);
  jpeg[sof + 5] = '\x08';  // 2048 × 2048
  jpeg[sof + 6] = '\x00';
  jpeg[sof + 7] = '\x08';
  jpeg[sof + 8] = '\x00';
  const std::string scans = jpeg.substr(sos, jpeg.size() - 2 - sos);
  std::string many = jpeg.substr(0, jpeg.size() - 2);
  for (int i = 0; i < 60; ++i) many += scans;
  many += "\xFF\xD9";
  const auto t0 = std::chrono::steady_clock::now();
  int rows = 0;
  const auto ours = DecodeAll(many, &rows);
  EXPECT_EQ(rows, 2048);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 30.0);
}

TEST(DCTDecode, FilterStreamDeliversSamplesAndKeepsTheJpegBelow) {
  const TJpegCase c{"", 40, 30, 3, JCS_RGB, true, 0, 2, 2};
  const std::string jpeg = Encode(c);
  auto filter = MakeDCTDecode(TkwMemoryStream::View(std::string_view(jpeg)), nullptr, nullptr);
  ASSERT_EQ(filter->GetType(), TkwStreamType::stDCT);
  filter->Reset();
  std::string out;
  filter->Read(out, -1);
  const auto ref = Reference(jpeg);
  EXPECT_LE(MaxDiff(std::vector<std::uint8_t>(out.begin(), out.end()), ref), 2);
  // A second pass after Reset gives the same bytes.
  filter->Reset();
  std::string again;
  filter->Read(again, -1);
  EXPECT_EQ(again, out);
  std::string raw;
  TkwStream* below = filter->GetUndecodedStream();
  ASSERT_NE(below, nullptr);
  below->Reset();
  below->Read(raw, -1);
  EXPECT_EQ(raw, jpeg);
}

TEST(DCTDecode, GarbageNeverCrashes) {
  std::string jpeg = Encode({"", 33, 17, 3, JCS_RGB, true, 2, 2, 2});
  std::srand(7);
  for (int round = 0; round < 200; ++round) {
    std::string damaged = jpeg;
    for (int i = 0; i < 8; ++i) {
      damaged[static_cast<std::size_t>(std::rand()) % damaged.size()] = static_cast<char>(std::rand());
    }
    (void)DecodeAll(damaged);
  }
}

}  // namespace
}  // namespace qm
