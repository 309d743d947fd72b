// Words, fonts and sizes of real producers' habits, converted whole: words parted by
// positioning only (TeX writes no space glyphs), fonts that no system has, scaled CTMs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <tuple>

#include "platform/SystemFonts.h"
#include "platform/kwFontFace.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/pdf/TestPdf.h"

namespace qm::e2e {
namespace {

// A simple Type 1 font without a space glyph, as pdfTeX embeds them: codes 65 to 122, of
// four widths, or of one when the flags say fixed pitch (the widths must agree with them).
std::string NoSpaceFont(std::string_view ABaseFont, int AFlags) {
  std::string widths;
  for (int c = 65; c <= 122; ++c) widths += std::to_string((AFlags & 1) != 0 ? 500 : 400 + (c % 4) * 50) + " ";
  return "<< /Type /Font /Subtype /Type1 /BaseFont /" + std::string(ABaseFont) +
         " /FirstChar 65 /LastChar 122 /Widths [" + widths +
         "] /FontDescriptor << /Type /FontDescriptor /FontName /" + std::string(ABaseFont) +
         " /Flags " + std::to_string(AFlags) + " /ItalicAngle 0 /Ascent 700 /Descent -200 >> >>";
}

struct TConversion {
  rtftest::TRtfDocument Doc;
  std::map<int, std::string> Fonts;
  std::vector<rtftest::TRtfParagraph> Paragraphs;
  std::string Text;
  std::string Raw;
};

TConversion Convert(const std::string& AContent, const std::vector<std::pair<std::string, std::string>>& AFonts,
                    TkwFormattingMode AMode = TkwFormattingMode::fmFormatted) {
  TkwTestPdf pdf;
  std::vector<std::pair<std::string, int>> fonts;
  for (const auto& [tag, body] : AFonts) {
    fonts.emplace_back(tag, body.rfind("<<", 0) == 0 ? pdf.AddObject(body) : pdf.AddFont(body));
  }
  pdf.AddPage(AContent, fonts);
  static int n = 0;
  const fs::path in = ScratchDir() / ("words-" + std::to_string(++n) + ".pdf");
  const fs::path out = ScratchDir() / ("words-" + std::to_string(n) + ".rtf");
  std::ofstream(in, std::ios::binary) << pdf.Save();
  ConvertPdf(in, out, AMode);
  TConversion c;
  c.Raw = ReadFile(out);
  c.Doc = rtftest::TRtfDocument::Parse(c.Raw);
  c.Fonts = FontTable(c.Doc);
  c.Paragraphs = c.Doc.Paragraphs();
  c.Text = c.Doc.PlainText();
  fs::remove(in);
  fs::remove(out);
  return c;
}

struct TGapCase {
  const char* Name;
  const char* Font;     // a standard font name, or "notspace" for a font without a space glyph
  const char* Content;  // shown with /F1
  std::vector<std::string> Words;
};

class WordGaps : public ::testing::TestWithParam<TGapCase> {};

// Words come apart where the glyphs stand apart, and only there.
TEST_P(WordGaps, SpacesFollowPositions) {
  const TGapCase& c = GetParam();
  const std::string font = std::string(c.Font) == "nospace" ? NoSpaceFont("ABCDEF+CMR10", 4) : c.Font;
  for (TkwFormattingMode mode : {TkwFormattingMode::fmFormatted, TkwFormattingMode::fmFormattedWithTabs}) {
    const TConversion conv = Convert(c.Content, {{"F1", font}}, mode);
    EXPECT_EQ(SplitWords(conv.Text), c.Words) << conv.Text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Producers, WordGaps,
    ::testing::Values(
        // pdfTeX: one TJ per line, words parted by adjustments only, kerning inside words.
        TGapCase{"TeXAdjustments", "nospace", "BT /F1 10 Tf 72 700 Td [(Two)-333(Column)-250(Kerned)] TJ ET",
                 {"Two", "Column", "Kerned"}},
        TGapCase{"KerningKeepsWords", "nospace", "BT /F1 10 Tf 72 700 Td [(Ker)-80(ning)40(Pairs)] TJ ET",
                 {"KerningPairs"}},
        TGapCase{"TightJustifiedLine", "nospace", "BT /F1 10 Tf 72 700 Td [(Tight)-180(Line)] TJ ET",
                 {"Tight", "Line"}},
        // Separate strings and moves, in a font with a space glyph.
        TGapCase{"StringsApart", "Helvetica", "BT /F1 12 Tf 72 700 Td (Left) Tj 30 0 Td (Right) Tj ET",
                 {"Left", "Right"}},
        TGapCase{"StringsTouching", "Helvetica", "BT /F1 12 Tf 72 700 Td [(Hyphen)] TJ [(ation)] TJ ET",
                 {"Hyphenation"}},
        // The space after a stop is often kerned to half a word space; a stop inside a
        // word has no gap.
        TGapCase{"KernedSpaceAfterAStop", "Helvetica", "BT /F1 12 Tf 72 700 Td [(fly.)-100(The)-300(e.)-20(g.)] TJ ET",
                 {"fly", "The", "e.g"}},
        // A monospaced font's space is as wide as a letter; its words part at a quarter em.
        TGapCase{"Monospaced", "Courier", "BT /F1 10 Tf 72 700 Td [(Edwin)-298(Howard)] TJ ET", {"Edwin", "Howard"}},
        // A space glyph with extra room after it stays one space.
        TGapCase{"SpaceGlyphNotDoubled", "Helvetica", "BT /F1 12 Tf 72 700 Td [(Word )-600(gap)] TJ ET",
                 {"Word", "gap"}},
        // Word spacing widens the space glyphs only.
        TGapCase{"WordSpacing", "Helvetica", "BT /F1 12 Tf 8 Tw 72 700 Td (Wide words) Tj ET",
                 {"Wide", "words"}},
        // A producer drawing in tenths of a point: gaps are measured through the CTM.
        TGapCase{"ScaledCTM", "Helvetica",
                 "0.1 0 0 0.1 0 0 cm BT /F1 120 Tf 720 7000 Td [(Scaled)-400(Words)(Kept)] TJ ET",
                 {"Scaled", "WordsKept"}}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

struct TFontCase {
  const char* BaseFont;
  int Flags;
  const char* Family;  // the font table's name, spaces removed, lower case
  const char* FamilyWord;
  bool Bold, Italic;
};

class MissingFonts : public ::testing::TestWithParam<TFontCase> {};

// A font no system has is written as the family of its class, with its weight and slant,
// at the size the page shows it.
TEST_P(MissingFonts, BecomeTheirClassWithTheirStyle) {
  const TFontCase& c = GetParam();
  const TConversion conv =
      Convert("BT /F1 9.9626 Tf 72 700 Td [(Sample)-333(text)] TJ ET", {{"F1", NoSpaceFont(c.BaseFont, c.Flags)}});
  ASSERT_FALSE(conv.Paragraphs.empty());
  const rtftest::TRtfRun* run = nullptr;
  for (const auto& p : conv.Paragraphs)
    for (const auto& r : p.Runs)
      if (r.Text.find("Sample") != std::string::npos) run = &r;
  ASSERT_NE(run, nullptr) << conv.Text;
  std::string name = conv.Fonts.at(run->Font);
  name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char ch) { return std::tolower(ch); });
  EXPECT_EQ(name, c.Family);
  EXPECT_EQ(run->Bold, c.Bold);
  EXPECT_EQ(run->Italic, c.Italic);
  EXPECT_EQ(run->HalfPoints, 20);  // 9.9626 pt
  EXPECT_NE(conv.Raw.find(std::string("\\") + c.FamilyWord), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    TeXAndURW, MissingFonts,
    ::testing::Values(TFontCase{"ABCDEF+CMR10", 4, "timesnewroman", "froman", false, false},
                      TFontCase{"ABCDEF+CMBX10", 4, "timesnewroman", "froman", true, false},
                      TFontCase{"ABCDEF+CMTI10", 4, "timesnewroman", "froman", false, true},
                      TFontCase{"ABCDEF+CMTT10", 4, "couriernew", "fmodern", false, false},
                      TFontCase{"ABCDEF+CMSS10", 4, "arial", "fswiss", false, false},
                      TFontCase{"ABCDEF+NimbusRomNo9L-Medi", 4, "timesnewroman", "froman", true, false},
                      TFontCase{"ABCDEF+NimbusRomNo9L-ReguItal", 4, "timesnewroman", "froman", false, true},
                      TFontCase{"ABCDEF+NimbusSanL-Regu", 32, "arial", "fswiss", false, false},
                      // The name tells nothing: the descriptor's flags decide.
                      TFontCase{"ABCDEF+Xyzzy", 1 | 32, "couriernew", "fmodern", false, false},
                      TFontCase{"ABCDEF+Xyzzy", 2 | 32, "timesnewroman", "froman", false, false}),
    [](const auto& AInfo) {
      std::string n = std::string(AInfo.param.BaseFont).substr(7) + "_" + std::to_string(AInfo.param.Flags);
      std::replace(n.begin(), n.end(), '-', '_');
      return n;
    });

// A subset font's unused code 32 carries a filler width: not the font's space, so words
// parted by a fifth of an em stay apart.
TEST(WordGapsOfSubsets, UnnamedCode32IsNoSpace) {
  std::string widths = "658 ";
  for (int c = 33; c <= 122; ++c) widths += "500 ";
  const std::string font =
      "<< /Type /Font /Subtype /Type1 /BaseFont /ABCDEF+Cambria-Bold /FirstChar 32 /LastChar 122 /Widths [" + widths +
      "] /Encoding << /Differences [2 /g3 97 /a /b /c /d /e /f /g /h /i /j /k /l /m /n /o /p /q /r /s /t /u /v /w /x "
      "/y /z] >> /FontDescriptor << /Type /FontDescriptor /FontName /ABCDEF+Cambria-Bold /Flags 4 /ItalicAngle 0 "
      "/Ascent 700 /Descent -200 >> >>";
  const TConversion conv = Convert("BT /F1 10 Tf 72 700 Td [(overview)-220(of)-220(the)-220(model)] TJ ET", {{"F1", font}});
  EXPECT_EQ(SplitWords(conv.Text), (std::vector<std::string>{"overview", "of", "the", "model"})) << conv.Text;
}

// TeX sets accents as glyphs of their own, drawn over (or under) their letter: the pair
// reads as one accented letter. An accent beside a letter stays as it is.
TEST(Accents, DrawnOverTheirLetterMakeOneLetter) {
  std::string widths;
  for (int c = 16; c <= 184; ++c) widths += "500 ";
  std::string names = "16 /dotlessi 97";
  for (char c = 'a'; c <= 'z'; ++c) names += std::string(" /") + c;
  names += " 127 /dieresis 180 /acute 184 /cedilla";
  const std::string font = "<< /Type /Font /Subtype /Type1 /BaseFont /ABCDEF+CMR10 /FirstChar 16 /LastChar 184 /Widths [" +
                           widths + "] /Encoding << /Differences [" + names +
                           "] >> /FontDescriptor << /Type /FontDescriptor /FontName /ABCDEF+CMR10 /Flags 4 "
                           "/ItalicAngle 0 /Ascent 700 /Descent -200 >> >>";
  const TConversion conv = Convert(
      "BT /F1 10 Tf 72 700 Td [(na)(\177)500(\020ve)-500(fa)(c)500(\270)(ade)-500(it)(\264)(s)] TJ ET",
      {{"F1", font}});
  EXPECT_EQ(SplitWords(conv.Text), (std::vector<std::string>{"na\xC3\xAFve", "fa\xC3\xA7" "ade", "it\xC2\xB4s"}))
      << conv.Text;
}

struct THyphenCase {
  const char* Name;
  const char* Content;  // /F1 Helvetica, /F2 Helvetica-Oblique
  const char* Word;     // the word the reader reads
  bool Optional;        // written with an optional hyphen
};

class LineEndHyphens : public ::testing::TestWithParam<THyphenCase> {};

// A word a line's end breaks with a hyphen reads whole when the lines become one paragraph,
// its hyphen optional; a hyphen before a digit is a range's and stays, the range whole.
TEST_P(LineEndHyphens, JoinBrokenWords) {
  const THyphenCase& c = GetParam();
  for (TkwFormattingMode mode : {TkwFormattingMode::fmFormatted, TkwFormattingMode::fmFormattedWithTabs}) {
    const TConversion conv = Convert(c.Content, {{"F1", "Helvetica"}, {"F2", "Helvetica-Oblique"}}, mode);
    const auto words = SplitWords(conv.Text);
    EXPECT_NE(std::find(words.begin(), words.end(), c.Word), words.end()) << conv.Text;
    EXPECT_EQ(conv.Raw.find("\\-") != std::string::npos, c.Optional) << conv.Raw;
  }
}

#define QM_LINE(T) "(" T ") Tj T* "
INSTANTIATE_TEST_SUITE_P(
    Paragraphs, LineEndHyphens,
    ::testing::Values(
        THyphenCase{"LowerCaseGoesOn",
                    "BT /F1 10 Tf 12 TL 72 700 Td " QM_LINE("Dynamic languages such as this one are more difficult to com-")
                        QM_LINE("pile than statically typed ones, since no concrete type information")
                        QM_LINE("is available to the compiler of the program.") "ET",
                    "compile", true},
        THyphenCase{"CapitalGoesOn",
                    "BT /F1 10 Tf 12 TL 72 700 Td " QM_LINE("We implemented these techniques in a virtual machine called Trace-")
                        QM_LINE("Monkey, which supports all the features of the language it runs and")
                        QM_LINE("speeds up the programs that it can trace.") "ET",
                    "TraceMonkey", true},
        THyphenCase{"DigitKeepsTheHyphen",
                    "BT /F1 10 Tf 12 TL 72 700 Td " QM_LINE("The measures are given in the tables of the appendix on pages 12-")
                        QM_LINE("15 of this report, where the methods used for them are described in")
                        QM_LINE("detail for each of the programs.") "ET",
                    "12-15", false},
        // A line mixing fonts is a paragraph of its own; the word still joins the next.
        THyphenCase{"AcrossAFontChange",
                    "BT /F1 10 Tf 12 TL 72 700 Td (Categories and ) Tj /F2 10 Tf (Subject Descriptors) Tj /F1 10 Tf "
                    "( of programming lan-) Tj T* " QM_LINE("guages and their processors, compilers and code generation")
                        "ET",
                    "languages", true}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });
#undef QM_LINE

// A line starting on the clip's edge keeps its first letter; a glyph wholly outside stays
// hidden.
TEST(ClippedText, GlyphOnTheClipEdgeShows) {
  const TConversion conv = Convert(
      "q 72.5 0 m 500 0 l 500 800 l 72.5 800 l h W n BT /F1 10 Tf 72.4 700 Td (Keane C.J.) Tj ET "
      "BT /F1 10 Tf 60 650 Td (X) Tj ET Q",
      {{"F1", "Helvetica"}});
  EXPECT_NE(conv.Text.find("Keane"), std::string::npos) << conv.Text;
  EXPECT_EQ(conv.Text.find('X'), std::string::npos) << conv.Text;
}

// A simple TrueType font embedding the system's Arial twin, with the given encoding entry
// and flags.
std::string EmbeddedTrueType(TkwTestPdf& APdf, std::string_view AEncoding, int AFlags) {
  const TkwFontFile file = FindFontFile("Arial", false, false);
  const std::string program = ReadFile(file.Path);
  const int stream = APdf.AddStream("/Length1 " + std::to_string(program.size()), program);
  std::string widths;
  for (int c = 1; c <= 255; ++c) widths += "556 ";
  return "<< /Type /Font /Subtype /TrueType /BaseFont /ABCDEF+LiberationSans /FirstChar 1 /LastChar 255 /Widths [" +
         widths + "] " + std::string(AEncoding) +
         " /FontDescriptor << /Type /FontDescriptor /FontName /ABCDEF+LiberationSans /Flags " + std::to_string(AFlags) +
         " /ItalicAngle 0 /Ascent 905 /Descent -212 /FontBBox [0 -212 1000 905] /FontFile2 " + std::to_string(stream) +
         " 0 R >> >>";
}

TConversion ConvertTrueType(std::string_view AContent, std::string_view AEncoding, int AFlags) {
  TkwTestPdf pdf;
  const int font = pdf.AddObject(EmbeddedTrueType(pdf, AEncoding, AFlags));
  pdf.AddPage(AContent, {{"F1", font}});
  const fs::path in = ScratchDir() / "truetype.pdf", out = ScratchDir() / "truetype.rtf";
  std::ofstream(in, std::ios::binary) << pdf.Save();
  ConvertPdf(in, out, TkwFormattingMode::fmFormatted);
  TConversion c;
  c.Raw = ReadFile(out);
  c.Doc = rtftest::TRtfDocument::Parse(c.Raw);
  c.Text = c.Doc.PlainText();
  fs::remove(in);
  fs::remove(out);
  return c;
}

// Codes without a Unicode map read as the glyphs the font names for them: a TrueType
// font's Differences names, or the glyph its own map selects.
TEST(GlyphNames, TrueTypeDifferencesGiveTheText) {
  if (FindFontFile("Arial", false, false).Path.empty()) GTEST_SKIP() << "no Arial twin installed";
  const TConversion conv = ConvertTrueType("BT /F1 12 Tf 72 700 Td (\\001\\002\\003\\004\\002\\005) Tj ET",
                                           "/Encoding << /BaseEncoding /WinAnsiEncoding /Differences [1 /H /i /space "
                                           "/t /p] >>",
                                           32);
  EXPECT_NE(conv.Text.find("Hi tip"), std::string::npos) << conv.Text;
}

TEST(GlyphNames, SymbolicTrueTypeReadsThroughItsOwnMap) {
  if (FindFontFile("Arial", false, false).Path.empty()) GTEST_SKIP() << "no Arial twin installed";
  // Code 0xD5 is the right quote in the program's Macintosh map (WinAnsi would say Õ).
  const TConversion conv = ConvertTrueType("BT /F1 12 Tf 72 700 Td (it\\325s) Tj ET", "", 4);
  EXPECT_NE(conv.Text.find("it\xE2\x80\x99s"), std::string::npos) << conv.Text;
}

// A composite TrueType font whose ToUnicode is missing, or gives U+FFFD, reads through the
// embedded program's own Unicode map: each glyph's value there is the text.
class ProgramUnicodes : public ::testing::TestWithParam<bool> {};

TEST_P(ProgramUnicodes, CompositeTrueTypeReadsThroughItsOwnMap) {
  const TkwFontFile file = FindFontFile("Arial", false, false);
  if (file.Path.empty()) GTEST_SKIP() << "no Arial twin installed";
  const auto face = TkwFontFace::OpenFile(file.Path);
  ASSERT_NE(face, nullptr);
  const std::string program = ReadFile(file.Path);
  TkwTestPdf pdf;
  const int stream = pdf.AddStream("/Length1 " + std::to_string(program.size()), program);
  std::string codes, toUnicode;
  char hex[8];
  for (char16_t c : std::u16string(u"Hello")) {
    std::snprintf(hex, sizeof hex, "%04X", face->GetGlyphIndex(c));
    codes += hex;
    toUnicode += "<" + std::string(hex) + "> <FFFD>\n";
  }
  std::string unicodeEntry;
  if (GetParam()) {
    const int cmap = pdf.AddStream("", "/CIDInit /ProcSet findresource begin 12 dict begin begincmap "
                                       "1 begincodespacerange <0000> <FFFF> endcodespacerange 5 beginbfchar\n" +
                                           toUnicode + "endbfchar endcmap end end");
    unicodeEntry = " /ToUnicode " + std::to_string(cmap) + " 0 R";
  }
  const int font = pdf.AddObject(
      "<< /Type /Font /Subtype /Type0 /BaseFont /ABCDEF+LiberationSans /Encoding /Identity-H" + unicodeEntry +
      " /DescendantFonts [<< /Type /Font /Subtype /CIDFontType2 /BaseFont /ABCDEF+LiberationSans "
      "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /DW 556 /CIDToGIDMap /Identity "
      "/FontDescriptor << /Type /FontDescriptor /FontName /ABCDEF+LiberationSans /Flags 32 /ItalicAngle 0 "
      "/Ascent 905 /Descent -212 /FontBBox [0 -212 1000 905] /FontFile2 " + std::to_string(stream) + " 0 R >> >>] >>");
  pdf.AddPage("BT /F1 12 Tf 72 700 Td <" + codes + "> Tj ET", {{"F1", font}});
  const fs::path in = ScratchDir() / "cidtruetype.pdf", out = ScratchDir() / "cidtruetype.rtf";
  std::ofstream(in, std::ios::binary) << pdf.Save();
  ConvertPdf(in, out, TkwFormattingMode::fmFormatted);
  const std::string text = rtftest::TRtfDocument::Parse(ReadFile(out)).PlainText();
  fs::remove(in);
  fs::remove(out);
  EXPECT_NE(text.find("Hello"), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(ToUnicode, ProgramUnicodes, ::testing::Bool(),
                         [](const auto& AInfo) { return AInfo.param ? "AllReplacement" : "None"; });

// A subset whose name and descriptor say nothing of its style, and whose OS/2 style bits
// the subsetter cleared, is still bold or italic by its header's style.
TEST(FontStyles, AnEmbeddedProgramsHeaderGivesBoldAndItalic) {
  for (const auto& [bold, italic, words] : {std::tuple{true, false, R"(\\b)"}, std::tuple{false, true, R"(\\i)"}}) {
    const TkwFontFile file = FindFontFile("Arial", bold, italic);
    if (file.Path.empty()) GTEST_SKIP() << "no Arial twin installed";
    std::string program = ReadFile(file.Path);
    // Clear OS/2 fsSelection (offset 62 in the table).
    const auto tables = static_cast<std::size_t>((static_cast<unsigned char>(program[4]) << 8) | static_cast<unsigned char>(program[5]));
    for (std::size_t i = 0; i < tables; ++i) {
      const std::size_t entry = 12 + 16 * i;
      if (program.compare(entry, 4, "OS/2") != 0) continue;
      std::size_t offset = 0;
      for (int b = 0; b < 4; ++b) offset = (offset << 8) | static_cast<unsigned char>(program[entry + 8 + static_cast<std::size_t>(b)]);
      program[offset + 62] = 0;
      program[offset + 63] = 0;
    }
    TkwTestPdf pdf;
    const int stream = pdf.AddStream("/Length1 " + std::to_string(program.size()), program);
    std::string widths;
    for (int c = 32; c <= 126; ++c) widths += "600 ";
    const int font = pdf.AddObject(
        "<< /Type /Font /Subtype /TrueType /BaseFont /ABCDEF+Subset /FirstChar 32 /LastChar 126 /Widths [" + widths +
        "] /Encoding /WinAnsiEncoding /FontDescriptor << /Type /FontDescriptor /FontName /ABCDEF+Subset /Flags 32 "
        "/ItalicAngle 0 /Ascent 905 /Descent -212 /FontBBox [0 -212 1000 905] /FontFile2 " +
        std::to_string(stream) + " 0 R >> >>");
    pdf.AddPage("BT /F1 12 Tf 72 700 Td (Styled words) Tj ET", {{"F1", font}});
    const fs::path in = ScratchDir() / "styled.pdf", out = ScratchDir() / "styled.rtf";
    std::ofstream(in, std::ios::binary) << pdf.Save();
    ConvertPdf(in, out, TkwFormattingMode::fmFormatted);
    const std::string raw = ReadFile(out);
    fs::remove(in);
    fs::remove(out);
    const std::regex styled(std::string(words) + "[^0a-z][^{}]*Styled words");
    EXPECT_TRUE(std::regex_search(raw, styled)) << raw;
  }
}

// A symbolic Type 1 font without an encoding shows its codes through the program's own
// built-in encoding: code 39 is the right quote in the standard encoding of the URW Times
// twin (its raw value would read as an apostrophe).
TEST(GlyphNames, Type1BuiltInEncodingGivesTheText) {
  const fs::path file = "/usr/share/fonts/type1/urw-base35/NimbusRoman-Regular.t1";
  if (!fs::exists(file)) GTEST_SKIP() << "the URW Type 1 fonts are not installed";
  const std::string program = ReadFile(file);
  TkwTestPdf pdf;
  const int stream = pdf.AddStream("/Length1 " + std::to_string(program.size()) + " /Length2 0 /Length3 0", program);
  std::string widths;
  for (int c = 32; c <= 126; ++c) widths += "500 ";
  const int font = pdf.AddObject(
      "<< /Type /Font /Subtype /Type1 /BaseFont /ABCDEF+NimbusRoman-Regular /FirstChar 32 /LastChar 126 /Widths [" +
      widths +
      "] /FontDescriptor << /Type /FontDescriptor /FontName /ABCDEF+NimbusRoman-Regular /Flags 4 /ItalicAngle 0 "
      "/Ascent 700 /Descent -200 /FontFile " + std::to_string(stream) + " 0 R >> >>");
  pdf.AddPage("BT /F1 12 Tf 72 700 Td (it\047s) Tj ET", {{"F1", font}});
  const fs::path in = ScratchDir() / "type1.pdf", out = ScratchDir() / "type1.rtf";
  std::ofstream(in, std::ios::binary) << pdf.Save();
  ConvertPdf(in, out, TkwFormattingMode::fmFormatted);
  const std::string text = rtftest::TRtfDocument::Parse(ReadFile(out)).PlainText();
  fs::remove(in);
  fs::remove(out);
  EXPECT_NE(text.find("it\xE2\x80\x99s"), std::string::npos) << text;
}

// The pdfTeX paper of the real-document corpus, read back: a serif body at the paper's 9
// points, bold section titles, italic emphasis and monospace code. The corpus lives beside
// the repository (or where QM_CORPUS_DIR says); without it the test is skipped.
TEST(RealDocuments, TeXPaperKeepsFamiliesStylesAndSizes) {
  std::vector<fs::path> roots;
  if (const char* env = std::getenv("QM_CORPUS_DIR")) roots.emplace_back(env);
  roots.push_back(fs::path(QM_SOURCE_DIR) / ".." / "shared" / "corpus" / "real");
  roots.push_back(fs::path(QM_SOURCE_DIR) / ".." / ".." / "shared" / "corpus" / "real");
  fs::path pdf;
  for (const fs::path& r : roots) {
    if (fs::exists(r / "tracemonkey.pdf")) pdf = r / "tracemonkey.pdf";
  }
  if (pdf.empty()) GTEST_SKIP() << "the real-document corpus is not here";
  const fs::path out = ScratchDir() / "tracemonkey.rtf";
  ConvertPdf(pdf, out, TkwFormattingMode::fmFormatted);
  const auto doc = rtftest::TRtfDocument::Parse(ReadFile(out));
  fs::remove(out);
  const auto fonts = FontTable(doc);
  std::map<std::pair<std::string, int>, std::size_t> bodyChars;  // (font, half-points) → characters
  std::size_t italicSerif = 0, mono = 0;
  bool boldTitle = false, boldSection = false;
  for (const auto& p : doc.Paragraphs()) {
    for (const auto& r : p.Runs) {
      const std::string font = fonts.count(r.Font) ? fonts.at(r.Font) : "";
      if (!r.Bold && !r.Italic) bodyChars[{font, r.HalfPoints}] += r.Text.size();
      if (r.Italic && font == "Times New Roman") italicSerif += r.Text.size();
      if (font == "Courier New") mono += r.Text.size();
      if (r.Text.find("Trace-based Just-in-Time") != std::string::npos) boldTitle = r.Bold && r.HalfPoints == 36;
      if (r.Text.find("Introduction") != std::string::npos && r.Bold) boldSection = true;
    }
  }
  ASSERT_FALSE(bodyChars.empty());
  const auto body = std::max_element(bodyChars.begin(), bodyChars.end(),
                                     [](const auto& A, const auto& B) { return A.second < B.second; });
  EXPECT_EQ(body->first.first, "Times New Roman");
  EXPECT_EQ(body->first.second, 18);  // 9 pt
  EXPECT_TRUE(boldTitle);
  EXPECT_TRUE(boldSection);
  EXPECT_GT(italicSerif, 100u);
  EXPECT_GT(mono, 200u);
}

}  // namespace
}  // namespace qm::e2e
