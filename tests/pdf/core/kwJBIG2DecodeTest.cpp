#include "pdf/core/kwJBIG2Decode.h"

#include <gtest/gtest.h>

#include <array>

#include <cmath>

#include <cstdlib>
#include <string>
#include <vector>

#include "pdf/core/ImageFilters.h"
#include "pdf/core/kwJBIG2HuffmanTable.h"
#include "pdf/core/kwPDBaseObject.h"
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

// ---------------------------------------------------------------------------------------
// Huffman-coded segments, built bit by bit. The codes below are those of T.88 Annex B's
// standard tables; the reference pages are what jbig2dec --embedded makes of the same
// streams (tests/fixtures/images/jbig2_huffman.cmd).

// Writes bits most significant first; '0' and '1' are bits, anything else is ignored.
class TBitWriter {
public:
  TBitWriter& Bits(const char* ABits) {
    for (const char* c = ABits; *c; ++c) {
      if (*c == '0' || *c == '1') Put(*c == '1');
    }
    return *this;
  }
  TBitWriter& Num(std::uint32_t AValue, int ACount) {
    for (int i = ACount - 1; i >= 0; --i) Put(((AValue >> i) & 1) != 0);
    return *this;
  }
  TBitWriter& Align() {
    FBit = 0;
    return *this;
  }
  TBitWriter& Raw(const std::string& ABytes) {
    Align();
    FBytes += ABytes;
    return *this;
  }
  [[nodiscard]] const std::string& Str() const { return FBytes; }

private:
  std::string FBytes;
  int FBit = 0;
  void Put(bool AOne) {
    if (FBit == 0) FBytes += '\0';
    if (AOne) FBytes.back() = static_cast<char>(FBytes.back() | (0x80 >> FBit));
    FBit = (FBit + 1) & 7;
  }
};

// A segment header referring to ARefs (segment numbers below 256), page 1.
std::string SegmentTo(std::uint32_t ANumber, int AType, std::initializer_list<int> ARefs, const std::string& AData) {
  std::string h = U32(ANumber) + static_cast<char>(AType) + static_cast<char>(ARefs.size() << 5);
  for (const int r : ARefs) h += static_cast<char>(r);
  return h + '\1' + U32(static_cast<std::uint32_t>(AData.size())) + AData;
}

std::string U16(std::uint32_t AValue) { return {static_cast<char>(AValue >> 8), static_cast<char>(AValue)}; }

// Three symbols: 0 is 2 x 2, 1 is 3 x 2 (one uncompressed height class), 2 is 4 x 3 (MMR).
std::string HuffmanDictionary(std::uint32_t ANumber) {
  TBitWriter b;
  b.Bits("10");                     // DH 2 (B.4)
  b.Bits("110 10 111111");          // DW 2, DW 1, OOB (B.2)
  b.Bits("0 0000").Align();         // BMSIZE 0 (B.1): rows stored uncompressed
  b.Raw("\xF8\xE8");                // XX XXX / XX X.X: symbol 0 then symbol 1
  b.Bits("0");                      // DH 1: height 3
  b.Bits("1110 001 111111");        // DW 4, OOB
  b.Bits("0 0011").Align();         // BMSIZE 3: MMR rows .XX. three times
  b.Raw(std::string("\x04\xBF\x80", 3));
  b.Bits("0 0000 0 0011");          // export runs (B.1): none skipped, 3 exported
  return SegmentTo(ANumber, 0, {}, U16(0x0001) + U32(3) + U32(3) + b.Str());
}

// The symbol ID table of a text region whose ASymbols symbols all get 2-bit codes.
void TwoBitSymbolCodes(TBitWriter& AB, int ASymbols) {
  for (int i = 0; i < 35; ++i) AB.Num(i == 2 ? 1 : 0, 4);  // only run code 2, coded "0"
  for (int i = 0; i < ASymbols; ++i) AB.Bits("0");
  AB.Align();
}

const std::string kHuffmanTextPage =
    "..XX.XXX........"
    "..XX.X.X........"
    "..XX............"
    "................"
    ".XX............."
    ".XX............."
    "................"
    "................";

std::string Picture(const TkwJBIG2Decoder& ADec) {
  std::string s;
  for (int y = 0; y < ADec.GetHeight(); ++y) {
    for (int x = 0; x < ADec.GetWidth(); ++x) s += ADec.GetPage().Get(x, y) ? 'X' : '.';
  }
  return s;
}

std::string HuffmanTextStream() {
  TBitWriter t;
  TwoBitSymbolCodes(t, 3);
  t.Bits("0");                     // STRIPT: DT 1 (B.11), so T starts at -1
  t.Bits("0 00 0000001 10");       // strip: DT 1, FS 1 (B.6), symbol 2 at (1, 0)
  t.Bits("00 1 01");               // DS 1 (B.8), symbol 1 at (5, 0)
  t.Bits("01");                    // OOB: end of strip
  t.Bits("1100 00 0000000 00");    // DT 4, FS 0, symbol 0 at (1, 4)
  t.Bits("01");
  const std::string text = RegionInfo(16, 8, 0, 0) + U16(0x0011) + U16(0) + U32(3) + t.Str();
  return PageInfo(16, 8) + HuffmanDictionary(1) + SegmentTo(2, 6, {1}, text) + Segment(3, 49, "");
}

TEST(JBIG2Decode, HuffmanDictionaryAndTextWithStandardTables) {
  const std::string data = HuffmanTextStream();
  EXPECT_EQ(data, test::ReadFixture("raw/jbig2_huffman-text.bin"));
  const test::TPnm ref = test::ReadPnm("ref/jbig2_huffman-text.pbm");
  TkwJBIG2Decoder dec;
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(dec.DecodeImage(test::Bytes(data), out, false));
  EXPECT_EQ(Picture(dec), kHuffmanTextPage);
  EXPECT_EQ(std::string(out.begin(), out.end()), ref.Pixels);

  // Cut anywhere, the stream still decodes what came before the cut.
  for (std::size_t n = 0; n < data.size(); ++n) {
    TkwJBIG2Decoder cut;
    (void)cut.DecodeImage(test::Bytes(data.substr(0, n)), out, false);
  }
}

std::string UserTableStream() {
  // A table segment: values 0..7 after a "0", lower range "10", upper range "11".
  const std::string table = std::string("\x24", 1) + U32(0) + U32(8) + "\x2D\x20";
  // A text region with the user table for FS, B.10 for DS and B.13 for DT.
  TBitWriter t;
  TwoBitSymbolCodes(t, 3);
  t.Bits("0");                      // STRIPT: DT 1 (B.13)
  t.Bits("0 0 001 01");             // DT 1, FS 1 (user table), symbol 1 at (1, 0)
  t.Bits("00 11 10");               // DS 1 (B.10), symbol 2 at (4, 0)
  t.Bits("10");                     // OOB
  t.Bits("100 0 000 00");           // DT 2, FS 0: symbol 0 at (1, 2)
  t.Bits("00 11 00");               // DS 1: symbol 0 at (3, 2)
  t.Bits("10");
  const std::string text = RegionInfo(16, 5, 0, 0) + U16(0x0011) + U16(0x002B) + U32(4) + t.Str();
  return PageInfo(16, 5) + HuffmanDictionary(1) + Segment(2, 53, table) + SegmentTo(3, 6, {1, 2}, text) +
         Segment(4, 49, "");
}

TEST(JBIG2Decode, HuffmanTextWithUserTable) {
  const std::string data = UserTableStream();
  EXPECT_EQ(data, test::ReadFixture("raw/jbig2_huffman-usertable.bin"));
  const test::TPnm ref = test::ReadPnm("ref/jbig2_huffman-usertable.pbm");
  TkwJBIG2Decoder dec;
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(dec.DecodeImage(test::Bytes(data), out, false));
  EXPECT_EQ(Picture(dec),
            ".XXX.XX........."
            ".X.X.XX........."
            ".XXXXXX........."
            ".XXXX..........."
            "................");
  EXPECT_EQ(std::string(out.begin(), out.end()), ref.Pixels);
}

TEST(JBIG2Decode, HuffmanAggregateSymbol) {
  // A dictionary aggregating symbols 2 and 1 of the first one into a 7 x 3 symbol; its
  // instances' IDs are 2-bit numbers (four symbols in all).
  TBitWriter a;
  a.Bits("110 1110 100");           // DH 3, DW 7
  a.Bits("0 0010");                 // two instances (B.1)
  a.Bits("0 0 00 0000000");         // STRIPT -1, DT 1, FS 0 (B.6)
  a.Bits("10 0");                   // symbol 2, not refined
  a.Bits("00 1 01 0");              // DS 1 (B.8), symbol 1, not refined
  a.Bits("01");                     // end of strip
  a.Bits("111111");                 // end of height class
  a.Bits("0 0011 0 0001");          // export: 3 input symbols skipped, the new one exported
  const std::string agg = SegmentTo(2, 0, {1}, U16(0x1003) + U32(1) + U32(1) + a.Str());
  TBitWriter t;
  for (int i = 0; i < 35; ++i) t.Num(i == 1 ? 1 : 0, 4);  // run code 1 only
  t.Bits("0").Align();              // the one symbol's code is 1 bit long: "0"
  t.Bits("0 0 00 0000001 0");       // STRIPT -1, DT 1, FS 1: the symbol at (1, 0)
  t.Bits("00 1 0");                 // DS 1: again at (8, 0)
  t.Bits("01 1100 00 0000000 0");   // OOB, DT 4, FS 0: at (1, 4)
  t.Bits("01");
  const std::string text = RegionInfo(16, 8, 0, 0) + U16(0x0011) + U16(0) + U32(3) + t.Str();
  const std::string data =
      PageInfo(16, 8) + HuffmanDictionary(1) + agg + SegmentTo(3, 6, {2}, text) + Segment(4, 49, "");
  TkwJBIG2Decoder dec;
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(dec.DecodeImage(test::Bytes(data), out, false));
  EXPECT_EQ(Picture(dec),
            "..XX.XXX.XX.XXX."
            "..XX.X.X.XX.X.X."
            "..XX.....XX....."
            "................"
            "..XX.XXX........"
            "..XX.X.X........"
            "..XX............"
            "................");
}

// The MQ encoder of T.88 Annex E, to make the arithmetic-coded refinements that Huffman
// text regions and dictionaries embed.
class TMQEncoder {
public:
  void Encode(std::uint8_t& ACx, int ABit) {
    struct TQe {
      std::uint16_t Qe;
      std::uint8_t Nmps, Nlps, Switch;
    };
    static constexpr TQe kQe[47] = {
        {0x5601, 1, 1, 1},   {0x3401, 2, 6, 0},   {0x1801, 3, 9, 0},   {0x0AC1, 4, 12, 0},  {0x0521, 5, 29, 0},
        {0x0221, 38, 33, 0}, {0x5601, 7, 6, 1},   {0x5401, 8, 14, 0},  {0x4801, 9, 14, 0},  {0x3801, 10, 14, 0},
        {0x3001, 11, 17, 0}, {0x2401, 12, 18, 0}, {0x1C01, 13, 20, 0}, {0x1601, 29, 21, 0}, {0x5601, 15, 14, 1},
        {0x5401, 16, 14, 0}, {0x5101, 17, 15, 0}, {0x4801, 18, 16, 0}, {0x3801, 19, 17, 0}, {0x3401, 20, 18, 0},
        {0x3001, 21, 19, 0}, {0x2801, 22, 19, 0}, {0x2401, 23, 20, 0}, {0x2201, 24, 21, 0}, {0x1C01, 25, 22, 0},
        {0x1801, 26, 23, 0}, {0x1601, 27, 24, 0}, {0x1401, 28, 25, 0}, {0x1201, 29, 26, 0}, {0x1101, 30, 27, 0},
        {0x0AC1, 31, 28, 0}, {0x09C1, 32, 29, 0}, {0x08A1, 33, 30, 0}, {0x0521, 34, 31, 0}, {0x0441, 35, 32, 0},
        {0x02A1, 36, 33, 0}, {0x0221, 37, 34, 0}, {0x0141, 38, 35, 0}, {0x0111, 39, 36, 0}, {0x0085, 40, 37, 0},
        {0x0049, 41, 38, 0}, {0x0025, 42, 39, 0}, {0x0015, 43, 40, 0}, {0x0009, 44, 41, 0}, {0x0005, 45, 42, 0},
        {0x0001, 45, 43, 0}, {0x5601, 46, 46, 0}};
    const TQe& q = kQe[ACx >> 1];
    int mps = ACx & 1;
    FA -= q.Qe;
    if (ABit != mps) {  // CODELPS
      if (FA < q.Qe) {
        FC += q.Qe;
      } else {
        FA = q.Qe;
      }
      if (q.Switch) mps = 1 - mps;
      ACx = static_cast<std::uint8_t>((q.Nlps << 1) | mps);
      Renorm();
    } else if ((FA & 0x8000) == 0) {  // CODEMPS with renormalisation
      if (FA < q.Qe) {
        FA = q.Qe;
      } else {
        FC += q.Qe;
      }
      ACx = static_cast<std::uint8_t>((q.Nmps << 1) | mps);
      Renorm();
    } else {
      FC += q.Qe;
    }
  }
  std::string Finish() {
    const std::uint32_t temp = FC + FA;
    FC |= 0xFFFF;
    if (FC >= temp) FC -= 0x8000;
    FC <<= FCt;
    ByteOut();
    FC <<= FCt;
    ByteOut();
    if (FB != 0xFF) Emit(0xFF);
    Emit(0xAC);
    return FOut.substr(1);  // the first byte stands before the data
  }

private:
  std::uint32_t FA = 0x8000, FC = 0;
  int FCt = 12;
  std::uint32_t FB = 0;
  std::string FOut = std::string(1, '\0');
  void Emit(std::uint32_t AByte) {
    FB = AByte;
    FOut += static_cast<char>(AByte);
  }
  void Renorm() {
    do {
      FA <<= 1;
      FC <<= 1;
      if (--FCt == 0) ByteOut();
    } while ((FA & 0x8000) == 0);
  }
  void ByteOut() {
    if (FB == 0xFF) {
      Emit(FC >> 20);
      FC &= 0xFFFFF;
      FCt = 7;
    } else if (FC < 0x8000000) {
      Emit(FC >> 19);
      FC &= 0x7FFFF;
      FCt = 8;
    } else {
      ++FB;
      FOut.back() = static_cast<char>(FB);
      if (FB == 0xFF) {
        FC &= 0x7FFFFFF;
        Emit(FC >> 20);
        FC &= 0xFFFFF;
        FCt = 7;
      } else {
        Emit(FC >> 19);
        FC &= 0x7FFFF;
        FCt = 8;
      }
    }
  }
};

// Codes ATarget (rows of '.' and 'X') as a template-1 refinement of AReference at offset 0.
std::string RefineTemplate1(const std::vector<std::string>& ATarget, const std::vector<std::string>& AReference) {
  auto at = [](const std::vector<std::string>& AB, int AX, int AY) {
    return AY >= 0 && AY < static_cast<int>(AB.size()) && AX >= 0 && AX < static_cast<int>(AB[0].size()) &&
           AB[static_cast<std::size_t>(AY)][static_cast<std::size_t>(AX)] == 'X';
  };
  std::vector<std::uint8_t> cx(1 << 10, 0);
  TMQEncoder mq;
  for (int y = 0; y < static_cast<int>(ATarget.size()); ++y) {
    for (int x = 0; x < static_cast<int>(ATarget[0].size()); ++x) {
      const unsigned c = at(ATarget, x - 1, y) | at(ATarget, x + 1, y - 1) << 1 | at(ATarget, x, y - 1) << 2 |
                         at(ATarget, x - 1, y - 1) << 3 | at(AReference, x + 1, y + 1) << 4 |
                         at(AReference, x, y + 1) << 5 | at(AReference, x + 1, y) << 6 | at(AReference, x, y) << 7 |
                         at(AReference, x - 1, y) << 8 | at(AReference, x, y - 1) << 9;
      mq.Encode(cx[c], at(ATarget, x, y) ? 1 : 0);
    }
  }
  return mq.Finish();
}

// A generic region of each template, arithmetic-coded here with the context of T.88 6.2.5.3
// pixel by pixel, must decode to the bitmap it was made from: nominal and moved adaptive
// pixels (one in the row itself), a width that is no multiple of 8, and typical prediction.
struct TGenericCase {
  const char* Name;
  int Template;
  std::array<int, 8> At;
  bool Tpgdon;
};

class GenericArith : public ::testing::TestWithParam<TGenericCase> {};

TEST_P(GenericArith, DecodesWhatWasCoded) {
  const TGenericCase& c = GetParam();
  const int w = 37, h = 23;
  std::vector<std::string> rows;
  unsigned seed = 12345u + static_cast<unsigned>(c.Template);
  for (int y = 0; y < h; ++y) {
    std::string row;
    for (int x = 0; x < w; ++x) {
      seed = seed * 1103515245u + 12345u;
      row += ((seed >> 16) % 5 < 2) ? 'X' : '.';
    }
    // Repeated rows give typical prediction something to skip.
    rows.push_back(y % 4 == 3 ? rows.back() : row);
  }
  auto px = [&](int AX, int AY) -> unsigned {
    return AY >= 0 && AY < h && AX >= 0 && AX < w && rows[static_cast<std::size_t>(AY)][static_cast<std::size_t>(AX)] == 'X';
  };
  const auto& a = c.At;
  std::vector<std::uint8_t> cx(1 << 16, 0);
  TMQEncoder mq;
  static constexpr std::array<unsigned, 4> kSltp = {0x9B25, 0x0795, 0x00E5, 0x0195};
  bool ltp = false;
  for (int y = 0; y < h; ++y) {
    if (c.Tpgdon) {
      const bool same = y > 0 && rows[static_cast<std::size_t>(y)] == rows[static_cast<std::size_t>(y - 1)];
      mq.Encode(cx[kSltp[static_cast<std::size_t>(c.Template)]], same != ltp ? 1 : 0);
      ltp = same;
      if (same) continue;
    }
    for (int x = 0; x < w; ++x) {
      unsigned ctx = 0;
      switch (c.Template) {
        case 0:
          ctx = px(x - 1, y) | px(x - 2, y) << 1 | px(x - 3, y) << 2 | px(x - 4, y) << 3 | px(x + a[0], y + a[1]) << 4 |
                px(x + 2, y - 1) << 5 | px(x + 1, y - 1) << 6 | px(x, y - 1) << 7 | px(x - 1, y - 1) << 8 |
                px(x - 2, y - 1) << 9 | px(x + a[2], y + a[3]) << 10 | px(x + a[4], y + a[5]) << 11 |
                px(x + 1, y - 2) << 12 | px(x, y - 2) << 13 | px(x - 1, y - 2) << 14 | px(x + a[6], y + a[7]) << 15;
          break;
        case 1:
          ctx = px(x - 1, y) | px(x - 2, y) << 1 | px(x - 3, y) << 2 | px(x + a[0], y + a[1]) << 3 |
                px(x + 2, y - 1) << 4 | px(x + 1, y - 1) << 5 | px(x, y - 1) << 6 | px(x - 1, y - 1) << 7 |
                px(x - 2, y - 1) << 8 | px(x + 2, y - 2) << 9 | px(x + 1, y - 2) << 10 | px(x, y - 2) << 11 |
                px(x - 1, y - 2) << 12;
          break;
        case 2:
          ctx = px(x - 1, y) | px(x - 2, y) << 1 | px(x + a[0], y + a[1]) << 2 | px(x + 1, y - 1) << 3 |
                px(x, y - 1) << 4 | px(x - 1, y - 1) << 5 | px(x - 2, y - 1) << 6 | px(x + 1, y - 2) << 7 |
                px(x, y - 2) << 8 | px(x - 1, y - 2) << 9;
          break;
        default:
          ctx = px(x - 1, y) | px(x - 2, y) << 1 | px(x - 3, y) << 2 | px(x - 4, y) << 3 | px(x + a[0], y + a[1]) << 4 |
                px(x + 1, y - 1) << 5 | px(x, y - 1) << 6 | px(x - 1, y - 1) << 7 | px(x - 2, y - 1) << 8 |
                px(x - 3, y - 1) << 9;
          break;
      }
      mq.Encode(cx[ctx], static_cast<int>(px(x, y)));
    }
  }
  std::string region = RegionInfo(w, h, 0, 0) + static_cast<char>(c.Template << 1 | (c.Tpgdon ? 8 : 0));
  for (int i = 0; i < (c.Template == 0 ? 8 : 2); ++i) region += static_cast<char>(a[static_cast<std::size_t>(i)]);
  const std::string data = PageInfo(w, h) + Segment(1, 38, region + mq.Finish()) + Segment(2, 49, "");
  TkwJBIG2Decoder dec;
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(dec.DecodeImage(test::Bytes(data), out, false));
  std::string expected;
  for (const std::string& row : rows) expected += row;
  EXPECT_EQ(Picture(dec), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Templates, GenericArith,
    ::testing::Values(TGenericCase{"T0Nominal", 0, {3, -1, -3, -1, 2, -2, -2, -2}, false},
                      TGenericCase{"T0Moved", 0, {-1, 0, 4, -1, -4, -2, 0, -1}, true},
                      TGenericCase{"T1Nominal", 1, {3, -1, 0, 0, 0, 0, 0, 0}, false},
                      TGenericCase{"T1Moved", 1, {-4, 0, 0, 0, 0, 0, 0, 0}, true},
                      TGenericCase{"T2Nominal", 2, {2, -1, 0, 0, 0, 0, 0, 0}, false},
                      TGenericCase{"T2Moved", 2, {-5, -2, 0, 0, 0, 0, 0, 0}, true},
                      TGenericCase{"T3Nominal", 3, {2, -1, 0, 0, 0, 0, 0, 0}, false},
                      TGenericCase{"T3Moved", 3, {-3, 0, 0, 0, 0, 0, 0, 0}, true}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

std::string RefinedTextStream() {
  // Symbol 0 (XX / XX) refined into a 2 x 2 diagonal, then symbol 1 unrefined after it.
  const std::string refinement = RefineTemplate1({"X.", ".X"}, {"XX", "XX"});
  TBitWriter t;
  TwoBitSymbolCodes(t, 3);
  t.Bits("0 0 00 0000001");        // STRIPT -1, DT 1, FS 1
  t.Bits("00 1");                  // symbol 0, refined
  t.Bits("0 0 0 0");               // RDW, RDH, RDX, RDY 0 (B.15)
  t.Num(0, 1).Num(static_cast<std::uint32_t>(refinement.size()), 4);  // RSIZE (B.1)
  t.Raw(refinement);
  t.Bits("00 1 01 0");             // DS 1, symbol 1 at (3, 0), not refined
  t.Bits("01");
  // Refinement with template 1 (no adaptive pixels), all tables standard; RDW..RDY use B.15.
  const std::string text = RegionInfo(8, 2, 0, 0) + U16(0x8013) + U16(0x1540) + U32(2) + t.Str();
  return PageInfo(8, 2) + HuffmanDictionary(1) + SegmentTo(2, 6, {1}, text) + Segment(3, 49, "");
}

std::string RefinementRegionStream() {
  const std::string r = RefineTemplate1({"X......X", ".X..X.X."}, {"........", "..XXX..."});
  return PageInfo(8, 2) + Segment(1, 38, RegionInfo(8, 2, 0, 0) + '\x01' + kMmrRows) +
         Segment(2, 42, RegionInfo(8, 2, 0, 0) + '\x01' + r) + Segment(3, 49, "");
}

TEST(JBIG2Decode, RefinementRegionOfThePage) {
  // The encoder above against jbig2dec: a template-1 refinement of the page, OR-ed onto it.
  const std::string data = RefinementRegionStream();
  EXPECT_EQ(data, test::ReadFixture("raw/jbig2_refine-page.bin"));
  const test::TPnm ref = test::ReadPnm("ref/jbig2_refine-page.pbm");
  TkwJBIG2Decoder dec;
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(dec.DecodeImage(test::Bytes(data), out, false));
  EXPECT_EQ(Picture(dec),
            "X......X"
            ".XXXX.X.");
  EXPECT_EQ(std::string(out.begin(), out.end()), ref.Pixels);
}

TEST(JBIG2Decode, HuffmanTextRefinesInstancesFromTheirOwnBytes) {
  // jbig2dec 0.19 draws the same refined instance whatever its bytes hold, so the
  // expected page follows T.88 6.4.11 alone: the refinement starts on the byte after
  // RSIZE and the next instance on the byte after the refinement.
  const std::string data = RefinedTextStream();
  TkwJBIG2Decoder dec;
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(dec.DecodeImage(test::Bytes(data), out, false));
  EXPECT_EQ(Picture(dec),
            ".X.XXX.."
            "..XX.X..");
}

TEST(JBIG2Decode, HuffmanDictionaryRefinesOneSymbol) {
  // One new symbol: symbol 0 of the first dictionary (a 2-bit number), refined into a
  // diagonal from BMSIZE bytes of its own.
  const std::string refinement = RefineTemplate1({"X.", ".X"}, {"XX", "XX"});
  TBitWriter a;
  a.Bits("10 110 0 0001");          // DH 2, DW 2, one instance
  a.Bits("00 0 0");                 // symbol 0, RDX 0, RDY 0 (B.15)
  a.Num(0, 1).Num(static_cast<std::uint32_t>(refinement.size()), 4);  // BMSIZE (B.1)
  a.Raw(refinement);
  a.Bits("111111 0 0011 0 0001");   // end of height class; export the new symbol only
  const std::string dict = SegmentTo(2, 0, {1}, U16(0x1003) + U32(1) + U32(1) + a.Str());
  TBitWriter t;
  for (int i = 0; i < 35; ++i) t.Num(i == 1 ? 1 : 0, 4);
  t.Bits("0").Align();
  t.Bits("0 0 00 0000001 0 01");    // the symbol at (1, 0), end of strip
  const std::string text = RegionInfo(4, 2, 0, 0) + U16(0x0011) + U16(0) + U32(1) + t.Str();
  const std::string data =
      PageInfo(4, 2) + HuffmanDictionary(1) + dict + SegmentTo(3, 6, {2}, text) + Segment(4, 49, "");
  TkwJBIG2Decoder dec;
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(dec.DecodeImage(test::Bytes(data), out, false));
  EXPECT_EQ(Picture(dec),
            ".X.."
            "..X.");
}

// Integer coding of T.88 A.2 over the encoder above, with its own 512 contexts.
struct TIntEncoder {
  std::vector<std::uint8_t> Cx = std::vector<std::uint8_t>(512, 0);
  void Encode(TMQEncoder& AMq, std::int64_t AValue, bool AOob = false) {
    unsigned prev = 1;
    auto bit = [&](int ABit) {
      AMq.Encode(Cx[prev], ABit);
      prev = prev < 256 ? (prev << 1) | static_cast<unsigned>(ABit)
                        : ((((prev << 1) | static_cast<unsigned>(ABit)) & 511) | 256);
    };
    const std::int64_t magnitude = AOob ? 0 : (AValue < 0 ? -AValue : AValue);
    bit(AOob || AValue < 0 ? 1 : 0);
    struct TRange {
      int Prefix, Bits;
      std::int64_t Offset;
    };
    static constexpr TRange kRanges[] = {{0, 2, 0}, {1, 4, 4}, {2, 6, 20}, {3, 8, 84}, {4, 12, 340}, {5, 32, 4436}};
    const TRange* r = &kRanges[0];
    for (const TRange& c : kRanges) {
      if (magnitude >= c.Offset) r = &c;
    }
    for (int i = 0; i < r->Prefix; ++i) bit(1);
    if (r->Prefix < 5) bit(0);
    for (int i = r->Bits - 1; i >= 0; --i) bit(static_cast<int>(((magnitude - r->Offset) >> i) & 1));
  }
};

TEST(JBIG2Decode, ArithmeticAggregateReadsTheClosingOob) {
  // The aggregate of HuffmanAggregateSymbol, arithmetic-coded: the end-of-strip OOB after
  // the last instance precedes the end of the height class in the same coded data.
  TMQEncoder mq;
  TIntEncoder iadh, iadw, iaai, iadt, iafs, iads, iari, iaex;
  std::vector<std::uint8_t> iaid(4, 0);
  auto id = [&](unsigned AId) {
    unsigned prev = 1;
    for (int i = 1; i >= 0; --i) {
      const int b = static_cast<int>((AId >> i) & 1);
      mq.Encode(iaid[prev], b);
      prev = (prev << 1) | static_cast<unsigned>(b);
    }
  };
  iadh.Encode(mq, 3);
  iadw.Encode(mq, 7);
  iaai.Encode(mq, 2);
  iadt.Encode(mq, 1);
  iadt.Encode(mq, 1);
  iafs.Encode(mq, 0);
  id(2);
  iari.Encode(mq, 0);
  iads.Encode(mq, 1);
  id(1);
  iari.Encode(mq, 0);
  iads.Encode(mq, 0, true);
  iadw.Encode(mq, 0, true);
  iaex.Encode(mq, 3);
  iaex.Encode(mq, 1);
  // Generic template 1 (one adaptive pixel), refinement template 1.
  const std::string agg = SegmentTo(2, 0, {1}, U16(0x1402) + "\x03\xFF" + U32(1) + U32(1) + mq.Finish());
  TBitWriter t;
  for (int i = 0; i < 35; ++i) t.Num(i == 1 ? 1 : 0, 4);
  t.Bits("0").Align();
  t.Bits("0 0 00 0000001 0 01");    // the symbol at (1, 0), end of strip
  const std::string text = RegionInfo(9, 3, 0, 0) + U16(0x0011) + U16(0) + U32(1) + t.Str();
  const std::string data =
      PageInfo(9, 3) + HuffmanDictionary(1) + agg + SegmentTo(3, 6, {2}, text) + Segment(4, 49, "");
  EXPECT_EQ(data, test::ReadFixture("raw/jbig2_aggregate.bin"));
  const test::TPnm ref = test::ReadPnm("ref/jbig2_aggregate.pbm");
  TkwJBIG2Decoder dec;
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(dec.DecodeImage(test::Bytes(data), out, false));
  EXPECT_EQ(Picture(dec),
            "..XX.XXX."
            "..XX.X.X."
            "..XX.....");
  EXPECT_EQ(std::string(out.begin(), out.end()), ref.Pixels);
}

TEST(JBIG2Decode, HuffmanTextCutShortKeepsItsFirstStrip) {
  const std::string data = HuffmanTextStream();
  // The end-of-page segment and the last 2 bytes of the text region (its second strip) go.
  const std::string cut = data.substr(0, data.size() - 11 - 2);
  TkwJBIG2Decoder dec;
  std::vector<std::uint8_t> out;
  ASSERT_TRUE(dec.DecodeImage(test::Bytes(cut), out, false));
  EXPECT_EQ(Picture(dec), kHuffmanTextPage.substr(0, 3 * 16) + std::string(5 * 16, '.'));
}

// The standard tables as transcribed: every one is a complete prefix code whose ordinary
// lines cover one unbroken range of values, which the range lines continue.
TEST(JBIG2Huffman, StandardTablesAreCompleteAndContiguous) {
  using TKind = TkwJBIG2HuffmanTable::TKind;
  for (int n = 1; n <= 15; ++n) {
    SCOPED_TRACE(n);
    std::vector<TkwJBIG2HuffmanTable::TLine> lines = JBIG2StandardTable(n).Lines();
    double kraft = 0;
    for (const auto& l : lines) kraft += std::ldexp(1.0, -l.PrefLen);
    EXPECT_EQ(kraft, 1.0);
    std::vector<TkwJBIG2HuffmanTable::TLine> normal;
    std::int64_t lower = INT64_MIN, upper = INT64_MIN;
    for (const auto& l : lines) {
      if (l.Kind == TKind::Normal) normal.push_back(l);
      if (l.Kind == TKind::Lower) lower = l.RangeLow;
      if (l.Kind == TKind::Upper) upper = l.RangeLow;
    }
    std::sort(normal.begin(), normal.end(), [](const auto& A, const auto& B) { return A.RangeLow < B.RangeLow; });
    for (std::size_t i = 1; i < normal.size(); ++i) {
      EXPECT_EQ(normal[i - 1].RangeLow + (std::int64_t{1} << normal[i - 1].RangeLen), normal[i].RangeLow) << i;
    }
    if (lower != INT64_MIN) {
      EXPECT_EQ(lower, normal.front().RangeLow - 1);
    }
    if (upper != INT64_MIN) {
      EXPECT_EQ(upper, normal.back().RangeLow + (std::int64_t{1} << normal.back().RangeLen));
    }
  }
}

std::span<const std::uint8_t> Span(const std::string& AData) { return test::Bytes(AData); }

TEST(JBIG2Huffman, TableSegmentsDecodeTheirRangesAndRefuseDamage) {
  // HTOOB 1, 2-bit prefixes, 3-bit ranges, values 10..25: "00"+3 bits 10..17, "01"+3 bits
  // 18..25, lower "100", upper "101", OOB "110" (a 3-bit length for the last three).
  const std::string head = std::string("\x23", 1) + U32(10) + U32(26);
  TBitWriter lines;
  lines.Num(2, 2).Num(3, 3).Num(2, 2).Num(3, 3).Num(3, 2).Num(3, 2).Num(3, 2);
  TkwJBIG2HuffmanTable table;
  ASSERT_TRUE(ReadJBIG2TableSegment(Span(head + lines.Str()), table));
  TBitWriter values;
  values.Bits("00 000  01 111  100").Num(5, 32).Bits("101").Num(7, 32).Bits("110  111");
  TkwJBIG2BitReader r(Span(values.Str()));
  std::int32_t v = 0;
  EXPECT_EQ(table.Decode(r, v), TkwJBIG2Code::Value);
  EXPECT_EQ(v, 10);
  EXPECT_EQ(table.Decode(r, v), TkwJBIG2Code::Value);
  EXPECT_EQ(v, 25);
  EXPECT_EQ(table.Decode(r, v), TkwJBIG2Code::Value);
  EXPECT_EQ(v, 9 - 5);
  EXPECT_EQ(table.Decode(r, v), TkwJBIG2Code::Value);
  EXPECT_EQ(v, 26 + 7);
  EXPECT_EQ(table.Decode(r, v), TkwJBIG2Code::Oob);
  // "111" is no code; then the data ends.
  EXPECT_EQ(table.Decode(r, v), TkwJBIG2Code::Fail);
  EXPECT_EQ(table.Decode(r, v), TkwJBIG2Code::Fail);
  EXPECT_TRUE(r.Overrun());

  struct TDamaged {
    const char* Name;
    std::string Data;
  };
  TBitWriter longPrefix;  // 8-bit prefix lengths: 200 is beyond any code
  longPrefix.Num(200, 8).Num(0, 1).Num(1, 8).Num(1, 8);
  TBitWriter manyLines;   // lines of one value each over two million values
  for (int i = 0; i < 70000; ++i) manyLines.Num(1, 1).Num(0, 1);
  const TDamaged cases[] = {
      {"Short", head.substr(0, 5)},
      {"LinesCutShort", head + lines.Str().substr(0, 1)},
      {"PrefixTooLong", std::string("\x0E", 1) + U32(0) + U32(1) + longPrefix.Str()},
      {"RangeTooLong", std::string("\x70", 1) + U32(0) + U32(1) + "\xFF\xFF"},
      {"TooManyLines", std::string("\x00", 1) + U32(0) + U32(2000000) + manyLines.Str()},
  };
  for (const TDamaged& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_FALSE(ReadJBIG2TableSegment(Span(c.Data), table));
  }
}

TEST(JBIG2Huffman, SymbolIdTableExpandsItsRunCodes) {
  // Run codes 2 ("00"), 32 ("01": repeat), 33 ("10": zeros) and 34 ("11": many zeros).
  auto runCodes = [](TBitWriter& AB) {
    for (int i = 0; i < 35; ++i) AB.Num(i == 2 || i >= 32 ? 2 : 0, 4);
  };
  TBitWriter b;
  runCodes(b);
  // Length 2, repeated three times, then 3, 11 and 3 zeros: symbols 0..3 get the codes
  // 00, 01, 10 and 11, symbols 4..20 none.
  b.Bits("00  01 00  10 000  11 0000000  10 000").Align();
  b.Bits("00 11 10 01");
  TkwJBIG2HuffmanTable ids;
  TkwJBIG2BitReader r(Span(b.Str()));
  ASSERT_TRUE(ReadJBIG2SymbolIdTable(r, 21, ids));
  EXPECT_EQ(r.BitPosition() % 8, 0u);
  std::int32_t v = 0;
  std::vector<std::int32_t> got;
  while (ids.Decode(r, v) == TkwJBIG2Code::Value) got.push_back(v);
  EXPECT_EQ(got, (std::vector<std::int32_t>{0, 3, 2, 1}));

  // A repeat with nothing before it, and lengths that end before all symbols have one.
  TBitWriter first;
  runCodes(first);
  first.Bits("01 00");
  TkwJBIG2BitReader r1(Span(first.Str()));
  EXPECT_FALSE(ReadJBIG2SymbolIdTable(r1, 4, ids));
  TBitWriter cut;
  runCodes(cut);
  cut.Bits("00 00");
  TkwJBIG2BitReader r2(Span(cut.Str()));
  EXPECT_FALSE(ReadJBIG2SymbolIdTable(r2, 1000, ids));
}

TEST(JBIG2Decode, OversizedPageIsRefused) {
  const std::string data = PageInfo(70000, 10);
  TkwJBIG2Decoder dec;
  std::vector<std::uint8_t> out;
  EXPECT_FALSE(dec.DecodeImage(test::Bytes(data), out, true));
}

// The work cap belongs to a decode: what one decode's bitmaps spend, another decode
// (on this thread or any other) still has.
TEST(JBIG2Decode, WorkBudgetIsEachDecodesOwn) {
  TkwJBIG2Budget spent{100};
  TkwJBIG2Budget fresh{100};
  TkwJBIG2Bitmap a{&spent};
  EXPECT_TRUE(a.Create(10, 10));
  TkwJBIG2Bitmap b{&spent};
  EXPECT_FALSE(b.Create(1, 1));
  EXPECT_EQ(b.W, 0);
  TkwJBIG2Bitmap c{&fresh};
  EXPECT_TRUE(c.Create(10, 10));
  c.Compose(a, 0, 0, 0);  // nothing left to combine with: c stays as it was
  EXPECT_EQ(fresh.Left, 0);
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
