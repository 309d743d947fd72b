#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "pdf/core/kwPDDocument.h"
#include "pdf/fonts/kwPD8bitFont.h"
#include "pdf/fonts/kwPDCIDFont.h"
#include "pdf/fonts/kwPDFont.h"
#include "pdf/model/kwPDPage.h"
#include "pdf/model/kwPDPageTree.h"
#include "pdf/model/kwPDResource.h"
#include "tests/support/pdf/TestPdf.h"

namespace qm {
namespace {

// Builds a one-page document whose resource F1 is the font dictionary ADict (ASetup may add
// the objects it refers to) and reads the font back through the page's resources.
class FontFixture : public ::testing::Test {
protected:
  template <typename Setup>
  TkwPDFont* Load(Setup ASetup, std::string_view ACMapPath = "") {
    TkwTestPdf pdf;
    const std::string dict = ASetup(pdf);
    const int font = pdf.AddObject(dict);
    pdf.AddPage("BT /F1 12 Tf (x) Tj ET", {{"F1", font}});
    FDoc = std::make_unique<TkwPDDocument>();
    FDoc->SetCMapPath(std::string(ACMapPath));
    FDoc->LoadFromBytes(pdf.Save());
    if (auto* catalog = FDoc->GetCatalog()) RegisterFontFactory(catalog->GetResourceFactories());
    TkwPDPage* page = FDoc->GetPage(1);
    if (page == nullptr || page->GetResource() == nullptr) return nullptr;
    return dynamic_cast<TkwPDFont*>(page->GetResource()->LookUpFont("F1"));
  }
  TkwPDFont* LoadDict(std::string ADict, std::string_view ACMapPath = "") {
    return Load([&](TkwTestPdf&) { return ADict; }, ACMapPath);
  }

  static std::vector<TkwPDNextChar> Decode(const TkwPDFont& AFont, std::u16string_view AStr) {
    std::vector<TkwPDNextChar> out;
    for (std::size_t i = 0; i < AStr.size();) {
      TkwPDNextChar c;
      AFont.GetNextChar(AStr, i, c);
      out.push_back(c);
      i += static_cast<std::size_t>(std::max(1, c.Processed));
    }
    return out;
  }

  std::unique_ptr<TkwPDDocument> FDoc;
};

struct TkwAliasCase {
  const char* BaseFont;
  const char* Name;
  const char* Metrics;
};

class AliasTest : public FontFixture, public ::testing::WithParamInterface<TkwAliasCase> {};

TEST_P(AliasTest, BothColumnsLeadToTheFirst) {
  const auto c = GetParam();
  auto* font = dynamic_cast<TkwPD8bitFont*>(
      LoadDict(std::string("<< /Type /Font /Subtype /Type1 /BaseFont /") + c.BaseFont + " >>"));
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->GetName(), c.Name);
  // Only names in the alias table name a Windows font; the others keep the default.
  EXPECT_EQ(font->GetBaseFont(), FindFontAlias(c.BaseFont) ? c.Name : "Arial Unicode MS");
  ASSERT_NE(font->GetBuiltInFont(), nullptr);
  EXPECT_EQ(font->GetBuiltInFont()->GetName(), c.Metrics);
}

INSTANTIATE_TEST_SUITE_P(Names, AliasTest,
                         ::testing::Values(TkwAliasCase{"Arial,Bold", "Arial,Bold", "Helvetica-Bold"},
                                           TkwAliasCase{"Helvetica-Bold", "Arial,Bold", "Helvetica-Bold"},
                                           TkwAliasCase{"Helvetica", "Arial", "Helvetica"},
                                           TkwAliasCase{"TimesNewRomanPS-ItalicMT", "TimesNewRomanPS-ItalicMT",
                                                        "Times-Italic"},
                                           TkwAliasCase{"Courier", "CourierNew", "Courier"},
                                           TkwAliasCase{"Symbol", "Symbol,Bold", "Symbol"},
                                           TkwAliasCase{"ZapfDingbats", "ZapfDingbats", "ZapfDingbats"}));

TEST_F(FontFixture, StandardFontUsesBuiltInMetricsAndEncoding) {
  TkwPDFont* font = LoadDict("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  ASSERT_NE(font, nullptr);
  EXPECT_DOUBLE_EQ(font->GetAscent(), 0.718);
  EXPECT_DOUBLE_EQ(font->GetDescent(), -0.207);
  auto c = Decode(*font, u"H'");
  EXPECT_EQ(c[0].Code, u'H');
  EXPECT_DOUBLE_EQ(c[0].Dx, 0.722);
  EXPECT_EQ(c[1].CharName, "quoteright");
  EXPECT_EQ(c[1].Code, 0x2019);
  EXPECT_FALSE(font->IsCIDFont());
}

TEST_F(FontFixture, NoSubtypeGivesNoFont) {
  EXPECT_EQ(LoadDict("<< /Type /Font /BaseFont /Helvetica >>"), nullptr);
}

TEST_F(FontFixture, TrueTypeDifferencesLeaveTheBaseEncoding) {
  TkwPDFont* font = LoadDict(
      "<< /Type /Font /Subtype /TrueType /BaseFont /Foo /Encoding << /BaseEncoding /WinAnsiEncoding "
      "/Differences [65 /bullet] >> /FirstChar 65 /LastChar 65 /Widths [500] >>");
  ASSERT_NE(font, nullptr);
  auto c = Decode(*font, u"A\x80");
  EXPECT_EQ(c[0].CharName, "A");
  EXPECT_EQ(c[0].Code, u'A');
  EXPECT_EQ(c[1].Code, 0x20AC);
  EXPECT_EQ(font->GetEncodingName(), "WinAnsiEncoding");
  // The text still follows the names: code 65 shows the bullet glyph.
  EXPECT_EQ(c[0].Unicode, 0x2022);
  EXPECT_EQ(c[1].Unicode, 0x20AC);
  EXPECT_TRUE(font->UnicodeOverCodes());
}

TEST_F(FontFixture, TrueTypeWithoutDifferencesKeepsItsCodes) {
  TkwPDFont* font = LoadDict(
      "<< /Type /Font /Subtype /TrueType /BaseFont /Foo /Encoding /WinAnsiEncoding /FirstChar 65 /LastChar 65 "
      "/Widths [500] >>");
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(Decode(*font, u"A")[0].Unicode, u'A');
  EXPECT_FALSE(font->UnicodeOverCodes());
}

// An embedded TrueType font in a Mac encoding: codes past 127 are not their Unicode values
// (0xDE is "fi", 0xD5 a right quote, 0xA5 a bullet), so the text follows the names.
TEST_F(FontFixture, EmbeddedTrueTypeInMacRomanTakesItsTextFromTheNames) {
  for (const char* enc : {"/MacRomanEncoding", "/WinAnsiEncoding"}) {
    TkwPDFont* font = Load([enc](TkwTestPdf& APdf) {
      const int program = APdf.AddStream("", "not really a font program");
      const int desc = APdf.AddObject("<< /Type /FontDescriptor /FontName /Foo /Flags 32 /FontFile2 " +
                                      std::to_string(program) + " 0 R >>");
      return "<< /Type /Font /Subtype /TrueType /BaseFont /Foo /Encoding " + std::string(enc) +
             " /FirstChar 32 /LastChar 255 /FontDescriptor " + std::to_string(desc) + " 0 R >>";
    });
    ASSERT_NE(font, nullptr);
    ASSERT_TRUE(font->HasEmbeddedProgram());
    auto c = Decode(*font, u"A\xDE\xD5");
    EXPECT_EQ(c[0].Code, u'A');
    const bool mac = std::string(enc) == "/MacRomanEncoding";
    EXPECT_EQ(c[1].Unicode, mac ? 0xFB01 : 0xDE) << enc;
    EXPECT_EQ(c[2].Unicode, mac ? 0x2019 : 0xD5) << enc;
    EXPECT_EQ(font->UnicodeOverCodes(), mac) << enc;
  }
}

// Codes that Symbol's own encoding leaves out draw nothing in the font a viewer supplies;
// the codes it defines keep their glyphs.
TEST_F(FontFixture, CodesOutsideASymbolFontsOwnEncodingDrawNothing) {
  TkwPDFont* symbol = LoadDict("<< /Type /Font /Subtype /Type1 /BaseFont /Symbol >>");
  ASSERT_NE(symbol, nullptr);
  auto s = Decode(*symbol, u"\x80\xF0\x61\xA5");
  EXPECT_EQ(s[0].Code, 0);
  EXPECT_EQ(s[0].Unicode, 0);
  EXPECT_EQ(s[1].Unicode, 0);          // the Apple logo has no standard glyph
  EXPECT_EQ(s[2].Unicode, 0x03B1);     // alpha
  EXPECT_EQ(s[3].Unicode, 0x221E);     // infinity
  TkwPDFont* dingbats = LoadDict("<< /Type /Font /Subtype /Type1 /BaseFont /ZapfDingbats >>");
  ASSERT_NE(dingbats, nullptr);
  EXPECT_EQ(Decode(*dingbats, u"\x21")[0].Unicode, 0x2701);  // a1
}

TEST_F(FontFixture, Type1DifferencesApply) {
  TkwPDFont* font = LoadDict(
      "<< /Type /Font /Subtype /Type1 /BaseFont /Foo /Encoding << /Differences [65 /bullet /Euro 300 /x /y] >> >>");
  ASSERT_NE(font, nullptr);
  auto c = Decode(*font, u"ABC");
  EXPECT_EQ(c[0].Code, 0x2022);
  EXPECT_EQ(c[1].Code, 0x20AC);
  EXPECT_EQ(c[2].Code, u'C');  // the standard encoding below
  EXPECT_EQ(font->GetEncodingName(), "CustomEncoding");
}

TEST_F(FontFixture, FirstCharWithoutLastCharStillReadsTheWidths) {
  TkwPDFont* font = LoadDict("<< /Type /Font /Subtype /TrueType /BaseFont /Foo /FirstChar 32 /Widths [250 300 400] >>");
  ASSERT_NE(font, nullptr);
  EXPECT_DOUBLE_EQ(font->GetCharWidth(32), 0.25);
  EXPECT_DOUBLE_EQ(font->GetCharWidth(34), 0.4);
  EXPECT_DOUBLE_EQ(font->GetCharWidth(35), 0);
  EXPECT_FALSE(font->IsFixedWidth());
}

TEST_F(FontFixture, EqualWidthsMeanFixedPitchAndShortArraysCutLastChar) {
  TkwPDFont* font = LoadDict(
      "<< /Type /Font /Subtype /TrueType /BaseFont /Foo /FirstChar 65 /LastChar 90 /Widths [600 600 600] >>");
  ASSERT_NE(font, nullptr);
  EXPECT_TRUE(font->IsFixedWidth());
  EXPECT_DOUBLE_EQ(font->GetCharWidth(67), 0.6);
  EXPECT_DOUBLE_EQ(font->GetCharWidth(68), 0);
}

TEST_F(FontFixture, WithoutWidthsTheFlagsPickASubstituteFamily) {
  TkwPDFont* fixed = Load([](TkwTestPdf& APdf) {
    const int fd = APdf.AddObject("<< /Type /FontDescriptor /FontName /Foo /Flags 35 /MissingWidth 333.6 >>");
    return "<< /Type /Font /Subtype /Type1 /BaseFont /Foo /FontDescriptor " + std::to_string(fd) + " 0 R >>";
  });
  ASSERT_NE(fixed, nullptr);
  EXPECT_DOUBLE_EQ(fixed->GetCharWidth('i'), 0.6);   // Courier
  EXPECT_EQ(fixed->GetMissingWidth(), 334);
  TkwPDFont* serif = Load([](TkwTestPdf& APdf) {
    const int fd = APdf.AddObject("<< /Type /FontDescriptor /FontName /Foo-Bold /Flags 34 >>");
    return "<< /Type /Font /Subtype /Type1 /BaseFont /Foo-Bold /FontDescriptor " + std::to_string(fd) + " 0 R >>";
  });
  ASSERT_NE(serif, nullptr);
  EXPECT_TRUE(serif->IsBold());
  EXPECT_DOUBLE_EQ(serif->GetCharWidth('A'), 0.722);  // Times-Bold A
}

TEST_F(FontFixture, SymbolicType1EmptySlotGivesTheRawByte) {
  TkwPDFont* font = Load([](TkwTestPdf& APdf) {
    const int prog = APdf.AddStream("", "not really a font program");
    const int fd = APdf.AddObject("<< /Type /FontDescriptor /FontName /ABCDEF+Pi /Flags 4 /FontFile " +
                                  std::to_string(prog) + " 0 R /Descent 200 >>");
    return "<< /Type /Font /Subtype /Type1 /BaseFont /ABCDEF+Pi /FontDescriptor " + std::to_string(fd) +
           " 0 R /Encoding << /Differences [66 /alpha] >> >>";
  });
  ASSERT_NE(font, nullptr);
  auto c = Decode(*font, u"AB");
  EXPECT_EQ(c[0].Code, u'A');
  EXPECT_EQ(c[0].CharName, "");
  EXPECT_EQ(c[1].Code, 0x3B1);
  EXPECT_EQ(font->GetEmbeddingType(), TkwPDFFontEmbeddingType::etSubset);
  EXPECT_DOUBLE_EQ(font->GetDescent(), -0.2);
  ASSERT_NE(font->GetEmbeddedFontStream(), nullptr);
  EXPECT_EQ(*font->GetEmbeddedFontStream(), "not really a font program");
}

TEST_F(FontFixture, SymbolAndDingbats) {
  TkwPDFont* symbol = LoadDict("<< /Type /Font /Subtype /Type1 /BaseFont /Symbol >>");
  ASSERT_NE(symbol, nullptr);
  auto s = Decode(*symbol, u"a ");
  EXPECT_EQ(s[0].Code, 0x61);  // stays in the Symbol font's code space
  EXPECT_EQ(s[0].Unicode, 0x3B1);
  EXPECT_EQ(s[1].Code, 32);
  TkwPDFont* dingbats = LoadDict("<< /Type /Font /Subtype /Type1 /BaseFont /ZapfDingbats >>");
  ASSERT_NE(dingbats, nullptr);
  auto d = Decode(*dingbats, u"!4");
  EXPECT_EQ(d[0].Code, 0x2701);
  EXPECT_EQ(d[1].CharName, "a20");
  EXPECT_EQ(d[1].Code, 0x2714);
}

TEST_F(FontFixture, Type3DecodesThroughNamesAndToUnicode) {
  TkwPDFont* font = Load([](TkwTestPdf& APdf) {
    const int tu = APdf.AddStream("", "1 beginbfchar <01> <0078> endbfchar");
    return "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 100 100] /FontMatrix [0.01 0 0 0.01 0 0] "
           "/CharProcs << >> /Encoding << /Type /Encoding /Differences [1 /g1 /A] >> /FirstChar 1 /LastChar 2 "
           "/Widths [50 70] /ToUnicode " + std::to_string(tu) + " 0 R >>";
  });
  ASSERT_NE(font, nullptr);
  auto c = Decode(*font, u"\x01\x02\x03");
  EXPECT_EQ(c[0].Code, u'x');
  EXPECT_DOUBLE_EQ(c[0].Dx, 0.5);
  EXPECT_EQ(c[1].Code, u'A');
  EXPECT_DOUBLE_EQ(c[1].Dx, 0.7);
  EXPECT_EQ(c[2].Code, 3);
}

TEST_F(FontFixture, ToUnicodeGivesTheUnicodeOfSimpleFonts) {
  TkwPDFont* font = Load([](TkwTestPdf& APdf) {
    const int tu = APdf.AddStream("", "1 beginbfrange <41> <42> <0061> endbfrange");
    return "<< /Type /Font /Subtype /TrueType /BaseFont /Foo /ToUnicode " + std::to_string(tu) + " 0 R >>";
  });
  ASSERT_NE(font, nullptr);
  auto c = Decode(*font, u"BC");
  EXPECT_EQ(c[0].Unicode, u'b');
  EXPECT_EQ(c[1].Unicode, u'C');
  ASSERT_NE(font->GetToUnicode(), nullptr);
}

std::string CIDFontDict(TkwTestPdf& APdf, std::string_view AEncoding, std::string_view ADescExtra,
                        std::string_view AType = "CIDFontType2", std::string_view AOrdering = "Identity") {
  const int desc = APdf.AddObject("<< /Type /Font /Subtype /" + std::string(AType) +
                                  " /BaseFont /Foo /CIDSystemInfo << /Registry (Adobe) /Ordering (" +
                                  std::string(AOrdering) + ") /Supplement 0 >> " + std::string(ADescExtra) + " >>");
  return "<< /Type /Font /Subtype /Type0 /BaseFont /Foo /Encoding " + std::string(AEncoding) +
         " /DescendantFonts [" + std::to_string(desc) + " 0 R] >>";
}

TEST_F(FontFixture, CIDWidthsFromW) {
  auto* font = dynamic_cast<TkwPDCIDFont*>(
      Load([](TkwTestPdf& APdf) { return CIDFontDict(APdf, "/Identity-H", "/W [1 [500 600] 10 20 300]"); }));
  ASSERT_NE(font, nullptr);
  const auto& ex = font->GetWidths().Exceps;
  ASSERT_EQ(ex.size(), 3u);
  EXPECT_EQ(ex[0].First, 1);
  EXPECT_DOUBLE_EQ(ex[1].Width, 0.6);
  EXPECT_EQ(ex[2].First, 10);
  EXPECT_EQ(ex[2].Last, 20);
  EXPECT_DOUBLE_EQ(ex[2].Width, 0.3);
  auto c = Decode(*font, std::u16string(u"\x00\x02\x00\x0F\x00\x15", 6));
  ASSERT_EQ(c.size(), 3u);
  EXPECT_DOUBLE_EQ(c[0].Dx, 0.6);
  EXPECT_DOUBLE_EQ(c[1].Dx, 0.3);
  EXPECT_DOUBLE_EQ(c[2].Dx, 1.0);
  EXPECT_EQ(c[1].Processed, 2);
  EXPECT_TRUE(font->IsCIDFont());
}

TEST_F(FontFixture, DefaultWidthAndOverlappingEntriesFirstWins) {
  auto* font = Load([](TkwTestPdf& APdf) {
    return CIDFontDict(APdf, "/Identity-H", "/DW 500 /W [5 [700] 0 65535 100]");
  });
  ASSERT_NE(font, nullptr);
  EXPECT_DOUBLE_EQ(font->GetCharWidth(5), 0.7);
  EXPECT_DOUBLE_EQ(font->GetCharWidth(6), 0.1);
  auto* plain = Load([](TkwTestPdf& APdf) { return CIDFontDict(APdf, "/Identity-H", "/DW 500"); });
  EXPECT_DOUBLE_EQ(plain->GetCharWidth(1234), 0.5);
}

TEST_F(FontFixture, VerticalIdentityAdvancesDown) {
  auto* font = Load([](TkwTestPdf& APdf) {
    return CIDFontDict(APdf, "/Identity-V", "/DW 500 /DW2 [880 -1000] /W2 [7 [-500 250 880]]");
  });
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->WritingMode(), TkwWritingMode::wmVertical);
  auto c = Decode(*font, std::u16string(u"\x00\x07\x00\x08", 4));
  EXPECT_DOUBLE_EQ(c[0].Dx, 0);
  EXPECT_DOUBLE_EQ(c[0].Dy, -0.5);
  EXPECT_DOUBLE_EQ(c[1].Dy, -1.0);
  EXPECT_DOUBLE_EQ(font->GetCharWidth(8), 0);
}

TEST_F(FontFixture, CIDToGIDMapAndToUnicodeByCharacterCode) {
  auto* font = Load([](TkwTestPdf& APdf) {
    const int map = APdf.AddStream("", std::string("\x00\x00\x00\x07\x00\x09", 6));
    return CIDFontDict(APdf, "/Identity-H", "/CIDToGIDMap " + std::to_string(map) + " 0 R");
  });
  ASSERT_NE(font, nullptr);
  auto c = Decode(*font, std::u16string(u"\x00\x01\x00\x02\x00\x05", 6));
  EXPECT_EQ(c[0].Code, 7);
  EXPECT_EQ(c[1].Code, 9);
  EXPECT_EQ(c[2].Code, 0);  // beyond the map
  auto* withTU = Load([](TkwTestPdf& APdf) {
    const int tu = APdf.AddStream("", "1 beginbfchar <0001> <0041> endbfchar");
    std::string d = CIDFontDict(APdf, "/Identity-H", "");
    d.insert(d.size() - 2, " /ToUnicode " + std::to_string(tu) + " 0 R");
    return d;
  });
  ASSERT_NE(withTU, nullptr);
  auto u = Decode(*withTU, std::u16string(u"\x00\x01", 2));
  EXPECT_EQ(u[0].Code, u'A');
  EXPECT_EQ(u[0].Unicode, u'A');
  EXPECT_EQ(u[0].CID, 1u);
}

// A TrueType font left for the viewer to supply, shown by glyph index: the indexes read in
// the standard glyph order of the core faces ("voir" is 89 82 76 85, "é" 112, "à" 106),
// unless the font says otherwise (a ToUnicode entry, a CIDToGIDMap, an embedded program).
TEST_F(FontFixture, GlyphIndexesOfAFontNotEmbeddedReadInTheStandardOrder) {
  auto* font = Load([](TkwTestPdf& APdf) { return CIDFontDict(APdf, "/Identity-H", ""); });
  ASSERT_NE(font, nullptr);
  auto c = Decode(*font, std::u16string(u"\x00\x59\x00\x52\x00\x4C\x00\x55\x00\x70\x00\x6A\x00\x03\x01\x02", 16));
  ASSERT_EQ(c.size(), 8u);
  std::u16string text;
  for (const auto& ch : c) text += static_cast<char16_t>(ch.Unicode);
  // The space glyph is left to its gap; 258 is past the order.
  EXPECT_EQ(text, std::u16string(u"voir\u00E9\u00E0") + char16_t{0} + char16_t{0});
  auto* withTU = Load([](TkwTestPdf& APdf) {
    const int tu = APdf.AddStream("", "1 beginbfchar <0059> <0041> endbfchar");
    std::string d = CIDFontDict(APdf, "/Identity-H", "");
    d.insert(d.size() - 2, " /ToUnicode " + std::to_string(tu) + " 0 R");
    return d;
  });
  ASSERT_NE(withTU, nullptr);
  EXPECT_EQ(Decode(*withTU, std::u16string(u"\x00\x59", 2))[0].Unicode, u'A');
  auto* mapped = Load([](TkwTestPdf& APdf) {
    const int map = APdf.AddStream("", std::string("\x00\x00\x00\x07", 4));
    return CIDFontDict(APdf, "/Identity-H", "/CIDToGIDMap " + std::to_string(map) + " 0 R");
  });
  ASSERT_NE(mapped, nullptr);
  EXPECT_EQ(Decode(*mapped, std::u16string(u"\x00\x59", 2))[0].Unicode, 0);
  auto* type0 = Load([](TkwTestPdf& APdf) { return CIDFontDict(APdf, "/Identity-H", "", "CIDFontType0"); });
  ASSERT_NE(type0, nullptr);
  EXPECT_EQ(Decode(*type0, std::u16string(u"\x00\x59", 2))[0].Unicode, 0);
}

TEST_F(FontFixture, CompositeFontWithoutCMapDecodesNothing) {
  auto* font = Load([](TkwTestPdf& APdf) { return CIDFontDict(APdf, "/NoSuchCMap-H", ""); });
  ASSERT_NE(font, nullptr);
  TkwPDNextChar c;
  EXPECT_EQ(font->GetNextChar(u"ab", 0, c), 0);
  EXPECT_EQ(c.Processed, 1);
  EXPECT_EQ(c.Dx, 0);
}

TEST_F(FontFixture, EmbeddedCMapStream) {
  auto* font = dynamic_cast<TkwPDCIDFont*>(Load([](TkwTestPdf& APdf) {
    const int cmap = APdf.AddStream("/Type /CMap /CMapName /Custom", "2 begincodespacerange <00> <7F> <8000> <FFFF> "
                                    "endcodespacerange 1 begincidrange <20> <7F> 100 endcidrange "
                                    "1 begincidchar <8001> 5 endcidchar /WMode 0 def");
    return CIDFontDict(APdf, std::to_string(cmap) + " 0 R", "/W [5 [900]]", "CIDFontType0");
  }));
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->GetEncodingName(), "Custom");
  auto c = Decode(*font, u"\x21\x80\x01");
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0].CID, 101u);
  EXPECT_EQ(c[1].CID, 5u);
  EXPECT_DOUBLE_EQ(c[1].Dx, 0.9);
}

TEST_F(FontFixture, PredefinedCMapWithItsUnicodeMap) {
  if (FindCMapFile("90ms-RKSJ-H", "").empty()) GTEST_SKIP() << "poppler-data is not installed";
  auto* font = Load([](TkwTestPdf& APdf) {
    return CIDFontDict(APdf, "/90ms-RKSJ-H", "/DW 1000 /W [231 [500]]", "CIDFontType0", "Japan1");
  });
  ASSERT_NE(font, nullptr);
  auto c = Decode(*font, u"\x20\x82\xA0\x41");
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[0].Code, 0x2002);  // the collection's proportional space
  EXPECT_DOUBLE_EQ(c[0].Dx, 0.5);
  EXPECT_EQ(c[1].Code, 0x3042);  // hiragana a
  EXPECT_EQ(c[1].Processed, 2);
  EXPECT_DOUBLE_EQ(c[1].Dx, 1.0);
  EXPECT_EQ(c[2].Code, u'A');
}

}  // namespace
}  // namespace qm
