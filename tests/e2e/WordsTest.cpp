// Words, fonts and sizes of real producers' habits, converted whole: words parted by
// positioning only (TeX writes no space glyphs), fonts that no system has, scaled CTMs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

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
