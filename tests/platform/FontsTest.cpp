#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/GlyphOutline.h"
#include "platform/SystemFonts.h"
#include "platform/TextMetrics.h"

namespace qm {
namespace {

// These tests measure with the fonts scripts/setup installs (fonts-liberation2,
// fonts-dejavu-core); Liberation shares Arial's, Times New Roman's and Courier New's widths.

TEST(SystemFontsTest, CatalogueIsSortedUniqueAndNamesTheMetricTwins) {
  const auto& fonts = GetInstalledFonts();
  ASSERT_FALSE(fonts.empty());
  EXPECT_TRUE(std::is_sorted(fonts.begin(), fonts.end()));
  EXPECT_EQ(std::adjacent_find(fonts.begin(), fonts.end()), fonts.end());
  for (const char* name : {"Arial", "Times New Roman", "Courier New", "Liberation Sans", "DejaVu Sans"}) {
    EXPECT_TRUE(IsFontInstalled(name)) << name;
  }
  EXPECT_TRUE(IsFontInstalled("arial"));
  EXPECT_FALSE(IsFontInstalled("Arial Unicode MS"));
  EXPECT_EQ(ResolveFontFamily("Times New Roman"), "Liberation Serif");
  EXPECT_EQ(ResolveFontFamily("Georgia"), "Georgia");
}

struct TkwFileCase {
  const char* Family;
  bool Bold, Italic;
  const char* FileName;
};

class FontFileTest : public ::testing::TestWithParam<TkwFileCase> {};

TEST_P(FontFileTest, StyleChoosesTheFace) {
  const auto c = GetParam();
  const TkwFontFile f = FindFontFile(c.Family, c.Bold, c.Italic);
  ASSERT_FALSE(f.Path.empty());
  EXPECT_EQ(f.Path.substr(f.Path.rfind('/') + 1), c.FileName);
  EXPECT_EQ(FindFontFile(c.Family, c.Bold, c.Italic).Path, f.Path);
}

INSTANTIATE_TEST_SUITE_P(
    Faces, FontFileTest,
    ::testing::Values(TkwFileCase{"Arial", false, false, "LiberationSans-Regular.ttf"},
                      TkwFileCase{"Arial", true, true, "LiberationSans-BoldItalic.ttf"},
                      TkwFileCase{"Times New Roman", false, true, "LiberationSerif-Italic.ttf"},
                      TkwFileCase{"Courier New", true, false, "LiberationMono-Bold.ttf"},
                      TkwFileCase{"liberation sans", true, false, "LiberationSans-Bold.ttf"},
                      TkwFileCase{"DejaVu Sans", false, false, "DejaVuSans.ttf"},
                      TkwFileCase{"DejaVu Sans", true, false, "DejaVuSans-Bold.ttf"}));

TEST(SystemFontsTest, UnknownFamilyStillGivesAFile) {
  EXPECT_FALSE(FindFontFile("Arial Unicode MS", false, false).Path.empty());
  EXPECT_FALSE(FindFontFile("", true, true).Path.empty());
}

TEST(TextMetricsTest, ExtentUsesDesignAdvancesAt96Dpi) {
  // H 1479 + e 1139 + l 455 + l 455 + o 1139 = 4667 units of 2048; 12 pt is 16 px.
  const TkwTextExtent e = GetTextExtent("Arial", 12, false, false, u"Hello");
  EXPECT_NEAR(e.Width, 4667.0 * 16 / 2048, 1e-9);
  EXPECT_NEAR(e.Height, (1854.0 + 434.0) * 16 / 2048, 1e-9);
  // Courier New: every glyph 1229 units.
  EXPECT_NEAR(GetTextExtent("Courier New", 10, true, false, u"iiWW").Width, 4 * 1229.0 * 40 / 3 / 2048, 1e-9);
  EXPECT_EQ(GetTextExtent("Arial", 0, false, false, u"x").Width, 0);
  EXPECT_EQ(GetTextExtent("Arial", -3, false, false, u"x").Width, 0);
  EXPECT_EQ(GetTextExtent("Arial", 12, false, false, u"").Width, 0);
}

TEST(TextMetricsTest, SurrogatePairIsOneCharacterAndLoneHalvesMeasureAsNotdef) {
  auto face = GetSystemFace("DejaVu Sans", false, false);
  ASSERT_TRUE(face);
  const int notdef = face->GetGlyphAdvance(0);
  EXPECT_EQ(face->GetTextAdvance(u"\U0001F600"), face->GetCharAdvance(0x1F600));
  EXPECT_EQ(face->GetTextAdvance(std::u16string(1, char16_t(0xD800))), notdef);
}

TEST(TextMetricsTest, CellMetricsOfLiberationSans) {
  auto m = GetFontCellMetrics("Arial");
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(m->EmHeight, 2048);
  EXPECT_EQ(m->CellAscent, 1854);
  EXPECT_EQ(m->CellDescent, 434);
  EXPECT_GE(m->LineSpacing, m->CellAscent + m->CellDescent - 100);
}

TEST(TextMetricsTest, FiftyCharacterExtentIsFastOnceCached) {
  const std::u16string text = u"The quick brown fox jumps over the lazy dog 012345";
  ASSERT_EQ(text.size(), 50u);
  (void)GetTextExtent("Arial", 11, false, false, text);
  constexpr int kRuns = 20000;
  double sum = 0;
  const auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < kRuns; ++i) sum += GetTextExtent("Arial", 11, false, false, text).Width;
  const auto t1 = std::chrono::steady_clock::now();
  const double us = std::chrono::duration<double, std::micro>(t1 - t0).count() / kRuns;
  RecordProperty("MicrosecondsPer50Chars", std::to_string(us));
  std::printf("text extent of 50 characters: %.3f us\n", us);
  EXPECT_GT(sum, 0);
  EXPECT_LT(us, 200.0);  // generous: sanitizer builds run here too
}

TEST(GlyphOutlineTest, CapitalHSitsOnTheBaselineAtCapHeight) {
  auto face = GetSystemFace("Arial", false, false);
  ASSERT_TRUE(face);
  const TkwPath2D h = GetGlyphOutline(*face, face->GetGlyphIndex(U'H'), 2048);
  const TkwRect b = h.GetBounds();
  EXPECT_NEAR(b.Bottom, 0, 1e-9);
  EXPECT_NEAR(b.Top, -1409, 1);  // cap height of Liberation Sans, y downwards
  EXPECT_GT(b.Left, 0);
  EXPECT_LT(b.Right, 1479);
}

TEST(GlyphOutlineTest, LayoutPutsTheBaselineOneCellAscentDownAndAppliesTheMatrix) {
  auto face = GetSystemFace("Arial", false, false);
  ASSERT_TRUE(face);
  const double em = 16;
  const TkwMatrix2D shift = TkwMatrix2D::Translation(100, 200);
  const TkwPath2D a = LayoutCharOutline(*face, U'H', em, {0, -10}, shift);
  const TkwRect b = a.GetBounds();
  EXPECT_NEAR(b.Bottom, 200 - 10 + 1854.0 * em / 2048, 1e-9);
  const TkwRect px = GetPixelBounds(a, {0, 0});
  EXPECT_EQ(px.Left, std::floor(b.Left));
  EXPECT_EQ(px.Bottom, std::ceil(b.Bottom));
  // A space has no contours: the 1 × 1 box at the given origin.
  const TkwPath2D space = LayoutCharOutline(*face, U' ', em, {0, 0}, shift);
  EXPECT_TRUE(space.IsEmpty());
  EXPECT_EQ(GetPixelBounds(space, {100.6, 200.2}), (TkwRect{100, 200, 101, 201}));
}

TEST(FontFaceTest, MemoryFaceMatchesFileFaceAndGarbageIsRefused) {
  const TkwFontFile file = FindFontFile("Times New Roman", false, false);
  std::ifstream in(file.Path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(bytes.empty());
  auto mem = TkwFontFace::OpenMemory(bytes);
  auto disk = TkwFontFace::OpenFile(file.Path, file.Index);
  ASSERT_TRUE(mem && disk);
  EXPECT_EQ(mem->GetCharAdvance(U'W'), disk->GetCharAdvance(U'W'));
  EXPECT_EQ(mem->GetGlyphIndexByName("W"), mem->GetGlyphIndex(U'W'));
  EXPECT_EQ(mem->GetGlyphPath(mem->GetGlyphIndex(U'W')).Figures().size(),
            disk->GetGlyphPath(disk->GetGlyphIndex(U'W')).Figures().size());
  EXPECT_TRUE(mem->GetGlyphPath(1u << 30).IsEmpty());
  EXPECT_EQ(mem->GetGlyphAdvance(1u << 30), 0);
  EXPECT_EQ(TkwFontFace::OpenMemory("not a font at all"), nullptr);
  EXPECT_EQ(TkwFontFace::OpenMemory(bytes.substr(0, 100)), nullptr);
  EXPECT_EQ(TkwFontFace::OpenMemory(""), nullptr);
  EXPECT_EQ(TkwFontFace::OpenFile("/nonexistent/font.ttf"), nullptr);
}

}  // namespace
}  // namespace qm
