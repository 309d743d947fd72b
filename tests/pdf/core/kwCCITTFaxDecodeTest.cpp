#include "pdf/core/kwCCITTFaxDecode.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/pdf/core/DecoderFixtures.h"
#include "pdf/core/ImageFilters.h"
#include "pdf/core/kwPDBaseObject.h"

namespace qm {
namespace {

std::vector<std::uint8_t> Bits(const std::string& ABits) {
  std::vector<std::uint8_t> out((ABits.size() + 7) / 8, 0);
  std::size_t i = 0;
  for (char c : ABits) {
    if (c == ' ') continue;
    if (c == '1') out[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
    ++i;
  }
  out.resize((i + 7) / 8);
  return out;
}

std::vector<std::uint8_t> DecodeRows(std::span<const std::uint8_t> AData, const TkwCCITTParams& AParams,
                                     int AMaxRows = 1000) {
  TkwCCITTFaxDecoder dec(AData, AParams);
  std::vector<std::uint8_t> out, row(dec.GetRowBytes());
  for (int i = 0; i < AMaxRows && dec.ReadRow(row); ++i) out.insert(out.end(), row.begin(), row.end());
  return out;
}

// The shared sample: one 81 × 26 picture coded six ways; pdfimages made the references.
struct TFixtureCase {
  int Object;
  int K;
  bool EndOfBlock;
  int Reference;
};

class CCITTFixture : public ::testing::TestWithParam<TFixtureCase> {};

TEST_P(CCITTFixture, MatchesPdfimagesExactly) {
  const TFixtureCase& c = GetParam();
  const std::string data = test::ReadFixture("raw/ccitt-" + std::to_string(c.Object) + ".bin");
  char name[64];
  std::snprintf(name, sizeof name, "ref/ccitt_EndOfBlock_false-%03d.pbm", c.Reference);
  const test::TPnm ref = test::ReadPnm(name);
  ASSERT_EQ(ref.Width, 81);
  TkwCCITTParams p;
  p.K = c.K;
  p.EndOfBlock = c.EndOfBlock;
  p.Columns = 81;
  p.Rows = 26;
  const auto rows = DecodeRows(test::Bytes(data), p, 26);
  ASSERT_EQ(rows.size(), ref.Pixels.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    // PBM has 1 for black; the filter's default has 0 for black. Padding bits are free.
    const std::uint8_t mask = (i % 11 == 10) ? 0x80 : 0xFF;
    ASSERT_EQ((rows[i] ^ 0xFF) & mask, static_cast<std::uint8_t>(ref.Pixels[i]) & mask) << "byte " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Codings, CCITTFixture,
                         ::testing::Values(TFixtureCase{6, -1, false, 0}, TFixtureCase{7, -1, true, 1},
                                           TFixtureCase{8, 0, false, 2}, TFixtureCase{9, 0, true, 3},
                                           TFixtureCase{10, 1, false, 4}, TFixtureCase{11, 1, true, 5}),
                         [](const auto& AInfo) {
                           return "K" + std::string(AInfo.param.K < 0 ? "neg" : std::to_string(AInfo.param.K)) +
                                  (AInfo.param.EndOfBlock ? "_EOB" : "_NoEOB");
                         });

// Hand-coded rows of 8 pixels: white 2 (0111), black 3 (10), white 3 (1000).
struct TBitCase {
  const char* Name;
  std::string Data;
  TkwCCITTParams Params;
  std::vector<std::uint8_t> Expected;
};

TkwCCITTParams Params(int AK, bool AEol, bool AAlign, bool ABlackIs1, bool AEob = true, int ARows = 0) {
  TkwCCITTParams p;
  p.K = AK;
  p.EndOfLine = AEol;
  p.EncodedByteAlign = AAlign;
  p.BlackIs1 = ABlackIs1;
  p.EndOfBlock = AEob;
  p.Rows = ARows;
  p.Columns = 8;
  return p;
}

class CCITTBits : public ::testing::TestWithParam<TBitCase> {};

TEST_P(CCITTBits, Decodes) {
  const TBitCase& c = GetParam();
  const auto data = Bits(c.Data);
  EXPECT_EQ(DecodeRows(data, c.Params), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Parameters, CCITTBits,
    ::testing::Values(
        TBitCase{"OneDimensional", "0111 10 1000 0111 10 1000", Params(0, false, false, false), {0xC7, 0xC7}},
        TBitCase{"BlackIs1", "0111 10 1000", Params(0, false, false, true), {0x38}},
        TBitCase{"ByteAligned", "0111 10 1000 000000 0111 10 1000 000000", Params(0, false, true, false),
                 {0xC7, 0xC7}},
        TBitCase{"EndOfLineCodes", "000000000001 0111 10 1000 000000000001 0111 10 1000",
                 Params(0, true, false, false), {0xC7, 0xC7}},
        TBitCase{"ReturnToControlEnds", "0111 10 1000 000000000001 000000000001 0111 10 1000",
                 Params(0, false, false, false), {0xC7}},
        TBitCase{"RowsLimitWithoutEndOfBlock", "0111 10 1000 0111 10 1000 0111 10 1000",
                 Params(0, false, false, false, false, 2), {0xC7, 0xC7}},
        // G4: V0 against the white reference line, then horizontal 2+3 and V0.
        TBitCase{"TwoDimensional", "1 001 0111 10 1", Params(-1, false, false, false), {0xFF, 0xC7}},
        TBitCase{"TwoDimensionalEndOfBlock", "1 000000000001 000000000001 1", Params(-1, false, false, false),
                 {0xFF}},
        // Mixed: EOL + tag 1 (one-dimensional row), EOL + tag 0 (V0, copying the row above).
        TBitCase{"Mixed", "000000000001 1 0111 10 1000 000000000001 0 1 1 1",
                 Params(1, false, false, false), {0xC7, 0xC7}}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

// Strips that libtiff's encoder wrote (tests/fixtures/images/tiffcp/make.cmd): one-
// dimensional G3 with its end-of-line codes, and G4.
TEST(CCITTDecode, TiffcpStripsDecodeToTheExactBitmap) {
  const test::TPnm ref = test::ReadPnm("tiffcp/ref.pbm");
  ASSERT_EQ(ref.Width, 173);
  ASSERT_EQ(ref.Height, 61);
  for (const char* name : {"g3", "g4"}) {
    const std::string data = test::ReadFixture(std::string("tiffcp/") + name + ".bin");
    TkwCCITTParams p;
    p.K = name[1] == '4' ? -1 : 0;
    p.EndOfLine = name[1] == '3';
    p.Columns = 173;
    p.Rows = 61;
    p.BlackIs1 = true;
    const auto rows = DecodeRows(test::Bytes(data), p, 61);
    EXPECT_EQ(std::string(rows.begin(), rows.end()), ref.Pixels) << name;
  }
}

TEST(CCITTDecode, PassModeSkipsAReferenceRun) {
  // Row 1 (1-D): white 2, black 3, white 3. Row 2 (2-D): pass over the black run (b2 = 5),
  // then V0 against b1 = 8: the row is white.
  TkwCCITTParams p = Params(1, false, false, false);
  const auto data = Bits("1 0111 10 1000 0 0001 1");
  EXPECT_EQ(DecodeRows(data, p), (std::vector<std::uint8_t>{0xC7, 0xFF}));
}

TEST(CCITTDecode, LongRunsUseMakeupCodes) {
  TkwCCITTParams p;
  p.Columns = 2560 + 64 + 3;
  // white 2560 (extended makeup 000000011111), white 64 makeup (11011), white 3 (1000).
  const auto data = Bits("000000011111 11011 1000");
  const auto rows = DecodeRows(data, p, 1);
  ASSERT_EQ(rows.size(), (static_cast<std::size_t>(p.Columns) + 7) / 8);
  for (std::size_t i = 0; i + 1 < rows.size(); ++i) EXPECT_EQ(rows[i], 0xFF);
}

TEST(CCITTDecode, DamagedDataEndsWithoutHanging) {
  std::srand(11);
  for (int round = 0; round < 300; ++round) {
    std::vector<std::uint8_t> junk(static_cast<std::size_t>(1 + std::rand() % 200));
    for (auto& b : junk) b = static_cast<std::uint8_t>(std::rand());
    TkwCCITTParams p;
    p.K = round % 3 - 1;
    p.Columns = 1 + std::rand() % 3000;
    p.EndOfLine = (round & 4) != 0;
    p.EncodedByteAlign = (round & 8) != 0;
    // Every row consumes input or ends the data, so this stays small.
    EXPECT_LE(DecodeRows(junk, p, 100000).size(), (junk.size() * 8 + 2) * ((p.Columns + 7) / 8));
  }
}

TEST(CCITTDecode, FilterReadsItsParameters) {
  TkwPDDictionary parms;
  parms.SetKeyValue("K", std::make_unique<TkwPDInteger>(-1));
  parms.SetKeyValue("Columns", std::make_unique<TkwPDInteger>(81));
  parms.SetKeyValue("Rows", std::make_unique<TkwPDInteger>(26));
  parms.SetKeyValue("EndOfBlock", std::make_unique<TkwPDBoolean>(false));
  parms.SetKeyValue("BlackIs1", std::make_unique<TkwPDBoolean>(true));
  const std::string data = test::ReadFixture("raw/ccitt-6.bin");
  auto filter = MakeCCITTFaxDecode(TkwMemoryStream::View(std::string_view(data)), &parms, nullptr);
  ASSERT_EQ(filter->GetType(), TkwStreamType::stCCITTFax);
  filter->Reset();
  std::string out;
  filter->Read(out, -1);
  const test::TPnm ref = test::ReadPnm("ref/ccitt_EndOfBlock_false-000.pbm");
  ASSERT_EQ(out.size(), ref.Pixels.size());
  for (std::size_t i = 0; i < out.size(); ++i) {
    const std::uint8_t mask = (i % 11 == 10) ? 0x80 : 0xFF;
    EXPECT_EQ(static_cast<std::uint8_t>(out[i]) & mask, static_cast<std::uint8_t>(ref.Pixels[i]) & mask);
  }
}

}  // namespace
}  // namespace qm
