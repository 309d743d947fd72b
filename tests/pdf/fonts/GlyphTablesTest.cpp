#include <gtest/gtest.h>

#include "data/Tables.h"
#include "pdf/fonts/AdobeGlyphList.h"
#include "pdf/fonts/kwBuiltInFont.h"
#include "pdf/fonts/Encodings.h"

namespace qm {
namespace {

TEST(TablesTest, SizesMatchThePublishedLists) {
  EXPECT_EQ(data::AdobeGlyphList().size(), 4281u);
  EXPECT_EQ(data::ZapfDingbatsGlyphList().size(), 201u);
  EXPECT_EQ(data::StandardFonts().size(), 14u);
  for (auto list : {data::AdobeGlyphList(), data::ZapfDingbatsGlyphList()}) {
    for (std::size_t i = 1; i < list.size(); ++i) ASSERT_LT(list[i - 1].Name, list[i].Name);
  }
}

struct TkwNameCase {
  const char* Name;
  bool Dingbats;
  std::uint16_t Unicode;
};

class GlyphNameTest : public ::testing::TestWithParam<TkwNameCase> {};

TEST_P(GlyphNameTest, MapsToUnicode) {
  const auto c = GetParam();
  EXPECT_EQ(GlyphNameToUnicode(c.Name, c.Dingbats), c.Unicode) << c.Name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, GlyphNameTest,
    ::testing::Values(TkwNameCase{"A", false, 0x41}, TkwNameCase{"zcaron", false, 0x17E},
                      TkwNameCase{"Euro", false, 0x20AC}, TkwNameCase{"fi", false, 0xFB01},
                      // several code points: the first
                      TkwNameCase{"lamedholamdagesh", false, 0x05DC},
                      TkwNameCase{"a1", true, 0x2701}, TkwNameCase{"a1", false, 0},
                      TkwNameCase{"four", true, 0x2714}, TkwNameCase{"four", false, 0x34},
                      TkwNameCase{"l", true, 0x25CF},
                      // not in the dingbats list: the glyph list answers
                      TkwNameCase{"space", true, 0x20},
                      TkwNameCase{"uni20AC", false, 0x20AC}, TkwNameCase{"uni00410042", false, 0x41},
                      TkwNameCase{"uni20ac", false, 0}, TkwNameCase{"uniD800", false, 0},
                      TkwNameCase{"u1F600", false, 0}, TkwNameCase{"u00E9", false, 0xE9},
                      TkwNameCase{"a.sc", false, 0x61}, TkwNameCase{"one.oldstyle", false, 0x31},
                      TkwNameCase{"", false, 0}, TkwNameCase{".notdef", false, 0},
                      TkwNameCase{"nosuchglyph", false, 0}));

TEST(EncodingTest, PublishedTablesWithTheirNotes) {
  EXPECT_EQ(GetStandardEncoding()[0x27], "quoteright");
  EXPECT_EQ(GetWinAnsiEncoding()[0x27], "quotesingle");
  for (int c : {127, 129, 141, 143, 144, 157}) EXPECT_EQ(GetWinAnsiEncoding()[c], "bullet") << c;
  EXPECT_EQ(GetWinAnsiEncoding()[160], "space");
  EXPECT_EQ(GetWinAnsiEncoding()[0x80], "Euro");
  EXPECT_EQ(GetMacRomanEncoding()[127], "UL");
  EXPECT_EQ(GetMacRomanEncoding()[0x80], "Adieresis");
  EXPECT_EQ(MacStandardGlyphName(3), "space");
  EXPECT_EQ(MacStandardGlyphName(36), "A");
  EXPECT_EQ(MacStandardGlyphName(135), "bullet");
  EXPECT_EQ(MacStandardGlyphName(183), "quoteright");
  EXPECT_EQ(MacStandardGlyphName(257), "dcroat");
  EXPECT_EQ(MacStandardGlyphName(258), "");
  EXPECT_EQ(GetStandardEncoding()[0x80], "");
  EXPECT_EQ(GetSymbolEncoding()[0x61], "alpha");
  EXPECT_EQ(GetZapfDingbatsEncoding()[0x21], "a1");
  EXPECT_EQ(FindEncodingByName("MacExpertEncoding"), &GetMacExpertEncoding());
  EXPECT_EQ(FindEncodingByName("SymbolEncoding"), nullptr);
}

struct TkwSymbolCase {
  std::uint16_t Unicode, Code;
};
class SymbolCodeTest : public ::testing::TestWithParam<TkwSymbolCase> {};
TEST_P(SymbolCodeTest, MapsIntoTheSymbolFont) {
  EXPECT_EQ(UnicodeToSymbolCode(GetParam().Unicode), GetParam().Code);
}
INSTANTIATE_TEST_SUITE_P(Values, SymbolCodeTest,
                         ::testing::Values(TkwSymbolCase{0x20, 32}, TkwSymbolCase{0xA0, 32},
                                           TkwSymbolCase{0x3B1, 0x61}, TkwSymbolCase{0x2126, 0x57},
                                           TkwSymbolCase{0x3A9, 0x57}, TkwSymbolCase{0x3BC, 0x6D},
                                           TkwSymbolCase{0xB5, 0x6D}, TkwSymbolCase{0x2200, 0x22},
                                           TkwSymbolCase{0xF6D9, 211}, TkwSymbolCase{0xF8FE, 254},
                                           TkwSymbolCase{0x41, 0}, TkwSymbolCase{0xFFFF, 0}));

TEST(BuiltInFontTest, CoreMetrics) {
  const TkwBuiltInFont* courier = MakeBuiltInFont("Courier");
  ASSERT_NE(courier, nullptr);
  EXPECT_EQ(courier->GetAscender(), 629);
  EXPECT_EQ(courier->GetDescender(), -157);
  EXPECT_EQ(courier->GetWidth("W"), 600);
  const TkwBuiltInFont* helv = MakeBuiltInFont("Helvetica");
  EXPECT_EQ(helv->GetAscender(), 718);
  EXPECT_EQ(helv->GetDescender(), -207);
  EXPECT_EQ(helv->GetWidth("H"), 722);
  EXPECT_EQ(helv->GetWidth("nosuch"), -1);
  EXPECT_EQ(helv->GetDefaultBaseEnc()[0x27], "quoteright");
  EXPECT_EQ(helv->GetEncodingName(), "StandardEncoding");
  EXPECT_EQ(MakeBuiltInFont("Times-Roman")->GetAscender(), 683);
  EXPECT_EQ(MakeBuiltInFont("Times-Roman")->GetDescender(), -217);
  const TkwBuiltInFont* symbol = MakeBuiltInFont("Symbol");
  EXPECT_EQ(symbol->GetBBox(), (std::array<double, 4>{-180, -293, 1090, 1010}));
  EXPECT_EQ(symbol->GetDefaultBaseEnc()[0x61], "alpha");
  EXPECT_EQ(symbol->GetEncodingName(), "FontSpecific");
  EXPECT_EQ(MakeBuiltInFont("ZapfDingbats")->GetDefaultBaseEnc()[0x21], "a1");
  EXPECT_EQ(MakeBuiltInFont("Arial"), nullptr);
  EXPECT_EQ(MakeBuiltInFont("helvetica"), nullptr);
  EXPECT_EQ(courier->GetFlags() & 0x23, 0x23);             // fixed pitch, serif, non-symbolic
  EXPECT_EQ(MakeBuiltInFont("Helvetica-Oblique")->GetFlags(), 32 | 64);
}

}  // namespace
}  // namespace qm
