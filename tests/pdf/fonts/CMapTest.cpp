#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "pdf/fonts/kwPDCMap.h"
#include "pdf/fonts/kwPDCMapParser.h"

namespace qm {
namespace {

std::vector<std::string> Tokens(std::string_view AText) {
  TkwPSTokenizer tok(AText);
  std::vector<std::string> out;
  for (std::string t; tok.GetNextToken(t);) out.push_back(t);
  return out;
}

TEST(PSTokenizerTest, TokenKinds) {
  EXPECT_EQ(Tokens("/Registry(Adobe) % note\r/WMode 1 def <00 4 1><<>>[1]{x}(a\\)b)"),
            (std::vector<std::string>{"/Registry", "(Adobe)", "/WMode", "1", "def", "<0041>", "<<", ">>", "[",
                                      "1", "]", "{x", "}", "(a\\)b)"}));
  EXPECT_EQ(Tokens("   %only a comment"), std::vector<std::string>{});
  // An unterminated string or hex token ends with the data.
  EXPECT_EQ(Tokens("(abc"), std::vector<std::string>{"(abc"});
  EXPECT_EQ(Tokens("<41"), std::vector<std::string>{"<41"});
  EXPECT_EQ(Tokens(std::string(1000, 'x'))[0].size(), 256u);
}

TEST(CMapParserTest, ReadsSystemInfoInBothWritings) {
  TkwPDCMapParser a("/CIDSystemInfo << /Registry (Adobe) /Ordering (Japan1) /Supplement 2 >> def /WMode 1 def");
  EXPECT_EQ(a.GetRegistry(), "Adobe");
  EXPECT_EQ(a.GetOrdering(), "Japan1");
  EXPECT_EQ(a.GetSupplement(), "2");
  EXPECT_EQ(a.GetWMode(), 1);
  TkwPDCMapParser b("/CIDSystemInfo 3 dict dup begin /Registry (Adobe) def /Ordering (GB1) def end def");
  EXPECT_EQ(b.GetOrdering(), "GB1");
}

TEST(CMapParserTest, RangesArraysAndSingles) {
  TkwPDCMapParser p(
      "2 beginbfrange <0010> <0012> <0041> <0020> <0022> [<0061> <0062> 99] endbfrange "
      "2 beginbfchar <0005> <00660069> <0006> 7 endbfchar "
      "1 begincidrange <0100> <01FF> 1000 endcidrange "
      "1 begincidrange <0180> <0181> 5 endcidrange");
  EXPECT_EQ(p.MapCode(0x11), 0x42);
  EXPECT_EQ(p.MapCode(0x20), 0x61);
  EXPECT_EQ(p.MapCode(0x21), 0x62);
  EXPECT_EQ(p.MapCode(0x22), 99);
  EXPECT_EQ(p.MapCode(0x05), 0x0066);  // the first UTF-16 unit only
  EXPECT_EQ(p.MapCode(0x06), 7);
  EXPECT_EQ(p.FindInRanges(0x05), -1);
  // The later range wins where they overlap; the earlier one still holds around it.
  EXPECT_EQ(p.MapCode(0x17F), 1000 + 0x7F);
  EXPECT_EQ(p.MapCode(0x180), 5);
  EXPECT_EQ(p.MapCode(0x181), 6);
  EXPECT_EQ(p.MapCode(0x182), 1000 + 0x82);
  EXPECT_EQ(p.MapCode(0x300), -1);
}

TEST(CMapParserTest, DestinationsOfSeveralUnitsKeepTheirWholeText) {
  TkwPDCMapParser p(
      "3 beginbfchar <05> <00660069> <06> <D835DC00> <07> <0041> endbfchar "
      "2 beginbfrange <10> <12> <00410061> <20> <21> [<0066006C> <0042>] endbfrange "
      "1 beginbfchar <06> <0043> endbfchar");
  EXPECT_EQ(p.MapText(0x05), u"fi");
  EXPECT_EQ(p.MapCode(0x05), 0x66);
  // A range with a text counts up in its last unit and keeps the first for every code.
  EXPECT_EQ(p.MapText(0x10), u"Aa");
  EXPECT_EQ(p.MapText(0x12), u"Ac");
  EXPECT_EQ(p.MapCode(0x12), 0x41);
  EXPECT_EQ(p.MapText(0x20), u"fl");
  EXPECT_TRUE(p.MapText(0x21).empty());  // one unit: MapCode says it all
  EXPECT_TRUE(p.MapText(0x07).empty());
  // A later one-unit mapping overrides the surrogate pair.
  EXPECT_TRUE(p.MapText(0x06).empty());
  EXPECT_EQ(p.MapCode(0x06), 0x43);
  TkwPDCMapParser pair("1 beginbfchar <01> <D835DC00> endbfchar");
  EXPECT_EQ(pair.MapText(0x01), std::u16string_view(u"\xD835\xDC00", 2));
}

TEST(CMapParserTest, LaterSingleMappingWinsAndDecimalsWork) {
  TkwPDCMapParser p("2 begincidchar <41> 10 65 20 endcidchar 1 begincidchar 65 30 endcidchar");
  EXPECT_EQ(p.MapCode(0x41), 30);
}

TEST(CMapParserTest, DamagedInputKeepsWhatIsReadable) {
  TkwPDCMapParser p("1 beginbfrange <zz> <0001> <0041> <0002> <0003> <0050> endbfrange "
                    "1 beginbfchar <0009> endbfchar 1 begincidrange <0001> <0002>");
  EXPECT_EQ(p.MapCode(2), 0x50);
  EXPECT_EQ(p.MapCode(9), -1);
  TkwPDCMapParser empty("");
  EXPECT_EQ(empty.MapCode(0), -1);
  EXPECT_EQ(empty.MatchCode(u"\x41").Bytes, 1);
}

TEST(CMapParserTest, CodeSpaceDecidesTheCodeLength) {
  TkwPDCMapParser p("4 begincodespacerange <00> <80> <8140> <9FFC> <A0> <DF> <E040> <FCFC> endcodespacerange");
  EXPECT_EQ(p.MatchCode(u"\x41\x81\x40").Bytes, 1);
  auto m = p.MatchCode(u"\x81\x40\x41");
  EXPECT_EQ(m.Bytes, 2);
  EXPECT_EQ(m.Code, 0x8140u);
  EXPECT_EQ(p.MatchCode(u"\xA5").Bytes, 1);
  EXPECT_EQ(p.MatchCode(u"\x81").Bytes, 1);   // a lead byte at the end
  EXPECT_EQ(p.MatchCode(u"\x81\x20").Bytes, 1);  // no range holds 8120
}

TEST(CMapParserTest, UseCMapPutsTheBaseFirstAndStopsAtLoops) {
  TkwCMapLoader loader = [](std::string_view AName) -> std::string {
    if (AName == "Base") return "/Loop usecmap 1 begincodespacerange <0000> <FFFF> endcodespacerange "
                                "1 begincidrange <0000> <00FF> 100 endcidrange";
    if (AName == "Loop") return "/Top usecmap /Base usecmap";
    return {};
  };
  TkwPDCMapParser p("/Base usecmap 1 begincidchar <0041> 7 endcidchar 1 begincidrange <0010> <0010> 1 endcidrange",
                    loader);
  EXPECT_EQ(p.GetUseCMap(), "Base");
  EXPECT_TRUE(p.HasCodeSpace());
  EXPECT_EQ(p.MapCode(0x41), 7);
  EXPECT_EQ(p.MapCode(0x10), 1);
  EXPECT_EQ(p.MapCode(0x20), 100 + 0x20);
}

TEST(CMapTest, IdentityBytesAndHexElements) {
  auto cmap = TkwPDCMap::MakeCMap("Adobe-Identity-UCS2", "Identity-H", "");
  ASSERT_TRUE(cmap);
  EXPECT_TRUE(cmap->IsIdentity());
  int processed = 0;
  EXPECT_EQ(cmap->GetCID(std::u16string(u"\x00\x41", 2), 0, processed, true), 0x41);
  EXPECT_EQ(processed, 2);
  EXPECT_EQ(cmap->GetCID(std::u16string(1, u'\x0041'), 0, processed, true), 0x41);
  EXPECT_EQ(cmap->GetCID(std::u16string(1, char16_t(0x1234)), 0, processed, true), 0x1234);
  EXPECT_EQ(cmap->GetCID(u"\x12\x34\x07", 2, processed, true), 0x07);
  EXPECT_EQ(processed, 2);
  EXPECT_EQ(TkwPDCMap::MakeCMap("", "Identity-V", "")->GetWMode(), TkwWritingMode::wmVertical);
  EXPECT_EQ(TkwPDCMap::MakeCMap("", "NoSuchCMap-H", ""), nullptr);
}

TEST(CMapTest, NamesCannotLeaveTheCMapFolders) {
  EXPECT_EQ(FindCMapFile("../../etc/passwd", "/usr/share/poppler/cMap/Adobe-Japan1/"), "");
  EXPECT_EQ(FindCMapFile(".hidden", "/tmp"), "");
  EXPECT_EQ(FindCMapFile(std::string("a\0b", 3), "/tmp"), "");
}

TEST(CMapTest, CallerFolderComesFirst) {
  const auto dir = std::filesystem::temp_directory_path() / "qm_cmap_test";
  std::filesystem::create_directories(dir);
  {
    std::ofstream(dir / "90ms-RKSJ-H") << "1 begincodespacerange <00> <FF> endcodespacerange "
                                          "1 begincidrange <41> <41> 4242 endcidrange";
  }
  auto cmap = TkwPDCMap::MakeCMap("Adobe-Japan1-UCS2", "90ms-RKSJ-H", dir.string());
  ASSERT_TRUE(cmap);
  int processed = 0;
  EXPECT_EQ(cmap->GetCID(u"\x41", 0, processed, true), 4242);
  std::filesystem::remove_all(dir);
}

class SystemCMapTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (FindCMapFile("90ms-RKSJ-H", "").empty()) GTEST_SKIP() << "poppler-data is not installed";
  }
};

// A mixed one- and two-byte Shift-JIS string: "A", the ideographic space 8140, "B", and the
// half-width katakana A1.
TEST_F(SystemCMapTest, ShiftJisMixedLengths) {
  auto cmap = TkwPDCMap::MakeCMap("Adobe-Japan1-UCS2", "90ms-RKSJ-H", "/nonexistent/");
  ASSERT_TRUE(cmap);
  ASSERT_TRUE(cmap->GetUCSParser());
  const std::u16string s = u"\x41\x81\x40\x42\xB1";
  std::vector<std::uint16_t> cids, unicode;
  for (std::size_t i = 0; i < s.size();) {
    int n = 0;
    cids.push_back(cmap->GetCID(s, i, n, true));
    unicode.push_back(cmap->GetCID(s, i, n, false));
    i += static_cast<std::size_t>(n);
  }
  EXPECT_EQ(cids, (std::vector<std::uint16_t>{264, 633, 265, 343}));
  EXPECT_EQ(unicode, (std::vector<std::uint16_t>{0x41, 0x3000, 0x42, 0xFF71}));
}

TEST_F(SystemCMapTest, VerticalCMapFollowsUseCMap) {
  auto v = TkwPDCMap::MakeCMap("Adobe-Japan1-UCS2", "90ms-RKSJ-V", "");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->GetWMode(), TkwWritingMode::wmVertical);
  int n = 0;
  // "A" is not in the vertical file itself, only in its horizontal base.
  EXPECT_EQ(v->GetCID(u"\x41", 0, n, true), 264);
  EXPECT_EQ(v->GetCID(u"\x81\x41", 0, n, true), 7887);  // the vertical comma
  EXPECT_EQ(n, 2);
  auto h = TkwPDCMap::MakeCMap("Adobe-Japan1-UCS2", "90ms-RKSJ-H", "");
  EXPECT_EQ(h->GetCID(u"\x81\x41", 0, n, true), 634);
}

TEST_F(SystemCMapTest, IdentityUsesTheCollectionUnicodeMapForUnembeddedFonts) {
  auto cmap = TkwPDCMap::MakeCMap("Adobe-Japan1-UCS2", "Identity-H", "");
  ASSERT_TRUE(cmap && cmap->GetUCSParser());
  int n = 0;
  EXPECT_EQ(cmap->GetCID(u"\x02\x79", 0, n, false), 0x3000);  // CID 633
  EXPECT_EQ(cmap->GetCID(u"\x02\x79", 0, n, true), 633);
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {

TEST_F(SystemCMapTest, ParsedFilesAreSharedBetweenFonts) {
  const auto t0 = std::chrono::steady_clock::now();
  auto a = TkwPDCMap::MakeCMap("Adobe-GB1-UCS2", "GBK-EUC-H", "");
  const auto t1 = std::chrono::steady_clock::now();
  auto b = TkwPDCMap::MakeCMap("Adobe-GB1-UCS2", "GBK-EUC-H", "");
  const auto t2 = std::chrono::steady_clock::now();
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->GetCMapParser(), b->GetCMapParser());
  EXPECT_EQ(a->GetUCSParser(), b->GetUCSParser());
  std::printf("GBK-EUC-H with its UCS2 map: first %.1f ms, again %.3f ms\n",
              std::chrono::duration<double, std::milli>(t1 - t0).count(),
              std::chrono::duration<double, std::milli>(t2 - t1).count());
  // GBK: one byte below 0x80, two bytes from 0x81.
  int n = 0;
  EXPECT_EQ(a->GetCID(u"\xB0\xA1", 0, n, false), 0x554A);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(a->GetCID(u"\x41", 0, n, false), 0x41);
  EXPECT_EQ(n, 1);
}

}  // namespace
}  // namespace qm
