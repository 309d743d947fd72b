#include "pdf/core/JBIG2Decode.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "pdf/core/ImageFilters.h"
#include "pdf/core/PDBaseObject.h"
#include "tests/pdf/core/DecoderFixtures.h"

namespace qm {
namespace {

// The fixtures' reference pages (1 = black, as jbig2dec writes them).
struct TJbig2Case {
  const char* Name;
  const char* Raw;
  const char* Reference;
};

class JBIG2Fixture : public ::testing::TestWithParam<TJbig2Case> {};

TEST_P(JBIG2Fixture, MatchesJbig2decExactly) {
  const std::string data = test::ReadFixture(GetParam().Raw);
  const test::TPnm ref = test::ReadPnm(GetParam().Reference);
  TkwJBIG2Decoder dec;
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(dec.DecodeImage(test::Bytes(data), out, false));
  EXPECT_EQ(dec.GetWidth(), ref.Width);
  EXPECT_EQ(dec.GetHeight(), ref.Height);
  EXPECT_EQ(std::string(out.begin(), out.end()), ref.Pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, JBIG2Fixture,
    ::testing::Values(
        // A generic region in a stream that kept its file header.
        TJbig2Case{"GenericWithFileHeader", "raw/jbig2_file_header-4.bin", "ref/jbig2_file_header-000.pbm"},
        // A symbol dictionary and a text region with two strips.
        TJbig2Case{"SymbolsAndText", "raw/jbig2_symbol_offset-6.bin", "ref/jbig2_symbol_offset-000.pbm"}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

std::string U32(std::uint32_t AValue) {
  return {static_cast<char>(AValue >> 24), static_cast<char>(AValue >> 16), static_cast<char>(AValue >> 8),
          static_cast<char>(AValue)};
}

// A segment header with no referred segments, page 1.
std::string Segment(std::uint32_t ANumber, int AType, const std::string& AData, std::uint32_t ALength = 0) {
  return U32(ANumber) + static_cast<char>(AType) + '\0' + '\1' +
         U32(ALength ? ALength : static_cast<std::uint32_t>(AData.size())) + AData;
}

std::string PageInfo(std::uint32_t AWidth, std::uint32_t AHeight) {
  return Segment(0, 48, U32(AWidth) + U32(AHeight) + U32(0) + U32(0) + '\0' + std::string(2, '\0'));
}

std::string RegionInfo(std::uint32_t AW, std::uint32_t AH, std::uint32_t AX, std::uint32_t AY) {
  return U32(AW) + U32(AH) + U32(AX) + U32(AY) + '\0';
}

// Rows of 8 pixels coded with T.6: all white, then white 2, black 3, white 3.
const std::string kMmrRows = "\x97\xA0";

TEST(JBIG2Decode, GenericRegionWithMMR) {
  const std::string data =
      PageInfo(8, 2) + Segment(1, 38, RegionInfo(8, 2, 0, 0) + '\x01' + kMmrRows) + Segment(2, 49, "");
  TkwJBIG2Decoder dec;
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(dec.DecodeImage(test::Bytes(data), out, true));
  EXPECT_EQ(out, (std::vector<std::uint8_t>{0xFF, 0xC7}));
}

TEST(JBIG2Decode, RegionsCombineWithThePageAndAreClipped) {
  // The same region twice, the second shifted right by 4 and XOR-combined: its row 2 hits
  // pixels 6..8, of which 8 lies outside the page.
  const std::string xorRegion = RegionInfo(8, 2, 4, 0);
  std::string second = xorRegion;
  second[16] = '\x02';
  const std::string data = PageInfo(8, 2) + Segment(1, 38, RegionInfo(8, 2, 0, 0) + '\x01' + kMmrRows) +
                           Segment(2, 38, second + '\x01' + kMmrRows);
  TkwJBIG2Decoder dec;
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(dec.DecodeImage(test::Bytes(data), out, false));
  // Row 2: 0011 1000 XOR 0000 0011 (first 4 columns of the shifted region fall off the edge).
  EXPECT_EQ(out, (std::vector<std::uint8_t>{0x00, 0x3B}));
}

TEST(JBIG2Decode, PageOfUnknownHeightGrowsWithItsRegions) {
  const std::string data = Segment(0, 48, U32(8) + U32(0xFFFFFFFF) + U32(0) + U32(0) + '\0' + "\x80\x10") +
                           Segment(1, 38, RegionInfo(8, 2, 0, 3) + '\x01' + kMmrRows) + Segment(2, 50, U32(5));
  TkwJBIG2Decoder dec;
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(dec.DecodeImage(test::Bytes(data), out, false));
  EXPECT_EQ(dec.GetHeight(), 6);
  EXPECT_EQ(out, (std::vector<std::uint8_t>{0, 0, 0, 0, 0x38, 0}));
}

TEST(JBIG2Decode, PageOfNoWidthDeliversNoBytes) {
  // Found by fuzzing: a page 0 pixels wide whose unknown height grows with a stripe end.
  const std::string data = Segment(0, 48, U32(0) + U32(0xFFFFFFFF) + U32(0) + U32(0) + '\0' + "\x80\x10") +
                           Segment(1, 50, U32(9));
  TkwJBIG2Decoder dec;
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(dec.DecodeImage(test::Bytes(data), out, false));
  EXPECT_EQ(dec.GetHeight(), 10);
  EXPECT_TRUE(out.empty());
}

TEST(JBIG2Decode, GenericRegionOfNoWidthIsEmpty) {
  // Found by fuzzing: typical prediction on a region 0 pixels wide and 4 rows high.
  const std::string data = PageInfo(8, 4) + Segment(1, 38, RegionInfo(0, 4, 0, 0) + '\x08' + std::string(8, '\0') + "\x55\xAA");
  TkwJBIG2Decoder dec;
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(dec.DecodeImage(test::Bytes(data), out, false));
  EXPECT_EQ(out, std::vector<std::uint8_t>(4, 0));
}

TEST(JBIG2Decode, GlobalsSuppliedByTheStreamDictionary) {
  const std::string all = test::ReadFixture("raw/jbig2_symbol_offset-6.bin");
  ASSERT_EQ(all.size(), 191u);
  // Segment 1 (the symbol dictionary) moves to the globals stream.
  const std::string globals = all.substr(30, 111);
  const std::string page = all.substr(0, 30) + all.substr(141);
  const test::TPnm ref = test::ReadPnm("ref/jbig2_symbol_offset-000.pbm");

  TkwJBIG2Decoder dec;
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(dec.DecodeImage(test::Bytes(page), test::Bytes(globals), false, out));
  EXPECT_EQ(std::string(out.begin(), out.end()), ref.Pixels);

  auto globalsStream = std::make_unique<TkwPDStream>(TkwMemoryStream::FromString(globals),
                                                     std::make_unique<TkwPDDictionary>());
  TkwPDDictionary parms;
  parms.SetKeyValue("JBIG2Globals", std::move(globalsStream));
  auto filter = MakeJBIG2Decode(TkwMemoryStream::View(std::string_view(page)), &parms, nullptr);
  ASSERT_EQ(filter->GetType(), TkwStreamType::stJBIG2);
  filter->Reset();
  std::string bytes;
  filter->Read(bytes, -1);
  ASSERT_EQ(bytes.size(), ref.Pixels.size());
  // The filter delivers what PDF expects: 0 for black.
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    EXPECT_EQ(static_cast<std::uint8_t>(bytes[i] ^ 0xFF), static_cast<std::uint8_t>(ref.Pixels[i]));
  }
}

TEST(JBIG2Decode, OversizedPageIsRefused) {
  const std::string data = PageInfo(70000, 10);
  TkwJBIG2Decoder dec;
  std::vector<std::uint8_t> out;
  EXPECT_FALSE(dec.DecodeImage(test::Bytes(data), out, true));
}

TEST(JBIG2Decode, DamagedStreamsNeverCrash) {
  const std::string base = test::ReadFixture("raw/jbig2_symbol_offset-6.bin");
  std::srand(5);
  for (int round = 0; round < 300; ++round) {
    std::string damaged = base;
    for (int i = 0; i < 4; ++i) {
      damaged[static_cast<std::size_t>(std::rand()) % damaged.size()] = static_cast<char>(std::rand());
    }
    if (round % 10 == 0) damaged.resize(static_cast<std::size_t>(std::rand()) % damaged.size());
    TkwJBIG2Decoder dec;
    std::vector<std::uint8_t> out;
    (void)dec.DecodeImage(test::Bytes(damaged), out, true);
  }
}

}  // namespace
}  // namespace qm
