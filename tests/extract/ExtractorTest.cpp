#include "extract/kwPDFContentExtractor.h"

#include "base/kwDiagnostics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>


namespace qm {
namespace {

struct Glyph {
  TFont Font;
  TkwRect Box;
  char16_t Ch;
  bool NotFirstInString, NotFirstInOperator;
  double X, Y, Advance;
};

class RecordingWriter : public TkwFormatterInput {
public:
  std::vector<Glyph> Glyphs;
  std::vector<TkwPageRecord> Pages;
  int Images = 0;
  int PageEnds = 0;
  void BeginPage(const TkwPageRecord& APage) override { Pages.push_back(APage); }
  void AddGlyph(const TkwGlyphRecord& AG) override {
    Glyphs.push_back({*AG.Font, AG.BoxPx, AG.Unicode, AG.NotFirstInString, AG.NotFirstInOperator,
                      AG.XPt, AG.YPt, AG.AdvancePt});
  }
  void AddPicture(const TkwPictureRecord&) override { ++Images; }
  void EndPage() override { ++PageEnds; }
};

struct Fixture {
  std::vector<std::string> Fonts{"Arial", "Courier New", "DejaVu Sans", "Georgia", "Times New Roman"};
  RecordingWriter Writer;
  TkwPDFContentExtractor Ex{Writer, 3, Fonts};
  std::array<double, 4> Box{0, 0, 612, 792};
  TkwPDState State{96, 96, 0, &Box};

  Fixture() {
    Ex.StartPage(1, State);
    State.FFontSize = 12;
  }
  void Char(char16_t ACh, double AX = 0, double AY = 0) {
    std::string name;
    Ex.DrawChar(State, AX, AY, 0, 0, ACh, name);
  }
};

struct MatrixCase {
  const char* Name;
  TkwPDMatrix Tm;
  bool Kept;
};

class RotatedText : public ::testing::TestWithParam<MatrixCase> {};

// No glyph is lost to its matrix: rotated ones come out at the end of their line.
TEST_P(RotatedText, EveryGlyphIsKept) {
  Fixture f;
  f.State.FTextMatrix = GetParam().Tm;
  f.State.FTextMatrix.FDx = 300;
  f.State.FTextMatrix.FDy = 400;
  f.State.FCurCharW = 6;
  f.Char(u'A');
  EXPECT_EQ(f.Writer.Glyphs.size(), GetParam().Kept ? 1u : 0u);
  f.Ex.EndPage();
  ASSERT_EQ(f.Writer.Glyphs.size(), 1u);
  EXPECT_EQ(f.Writer.Glyphs[0].Ch, u'A');
  EXPECT_NEAR(f.Writer.Glyphs[0].Advance, 6, 0.01);
}

// Kept: handed over at once; otherwise laid upright when the rotated line ends.
INSTANTIATE_TEST_SUITE_P(
    Matrices, RotatedText,
    ::testing::Values(MatrixCase{"upright", {1, 0, 0, 1, 0, 0}, true},
                      MatrixCase{"rot90", {0, 1, -1, 0, 0, 0}, false},
                      MatrixCase{"rot45", {0.7071, 0.7071, -0.7071, 0.7071, 0, 0}, false},
                      MatrixCase{"rot180", {-1, 0, 0, -1, 0, 0}, false},
                      MatrixCase{"rot270", {0, -1, 1, 0, 0, 0}, false},
                      MatrixCase{"tilted2deg", {0.9994, 0.0349, -0.0349, 0.9994, 0, 0}, true},
                      MatrixCase{"slanted", {1, 0, 0.3, 1, 0, 0}, true}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

struct RotatedLine {
  const char* Name;
  double Cos, Sin;  // the baseline's direction
};

class RotatedLines : public ::testing::TestWithParam<RotatedLine> {};

// A line read upwards, downwards, slanted or upside down comes out upright, in its own
// reading order, one advance after another, centred where it stood, its word gap kept.
TEST_P(RotatedLines, ReadInTheirOwnDirection) {
  Fixture f;
  const double c = GetParam().Cos, s = GetParam().Sin;
  f.State.FCurCharW = 6;
  const std::u16string text = u"ab cd";
  // Each glyph placed on its own, as chart labels are; the space is a gap, not a glyph.
  for (std::size_t i = 0; i < text.size(); ++i) {
    const double along = 6.0 * static_cast<double>(i);
    f.State.FTextMatrix.SetValues(c, s, -s, c, 300 + c * along, 400 + s * along);
    if (text[i] != u' ') f.Char(text[i]);
  }
  f.State.FTextMatrix.SetValues(1, 0, 0, 1, 72, 100);
  f.Char(u'Z');  // upright text ends the rotated line
  ASSERT_EQ(f.Writer.Glyphs.size(), 5u);
  const std::u16string order{f.Writer.Glyphs[0].Ch, f.Writer.Glyphs[1].Ch, f.Writer.Glyphs[2].Ch,
                             f.Writer.Glyphs[3].Ch, f.Writer.Glyphs[4].Ch};
  EXPECT_EQ(order, u"abcdZ");
  const auto& g = f.Writer.Glyphs;
  EXPECT_NEAR(g[1].X - g[0].X, 6, 1e-6);
  EXPECT_NEAR(g[2].X - g[1].X, 12, 1e-6);
  EXPECT_NEAR(g[3].X - g[2].X, 6, 1e-6);
  for (std::size_t i = 1; i < 4; ++i) EXPECT_NEAR(g[i].Y, g[0].Y, 1e-6);
  EXPECT_FALSE(g[0].NotFirstInOperator);
  EXPECT_TRUE(g[3].NotFirstInOperator);
  // The line's middle: half its 30 points along the baseline, a third of its size above.
  EXPECT_NEAR((g[0].X + g[3].X + 6) / 2, 300 + c * 15 - s * 0.35 * 12, 1e-6);
  EXPECT_NEAR(g[0].Y + 0.35 * 12, 400 + s * 15 + c * 0.35 * 12, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Directions, RotatedLines,
                         ::testing::Values(RotatedLine{"up", 0, 1}, RotatedLine{"down", 0, -1},
                                           RotatedLine{"slanted60", 0.5, 0.8660254},
                                           RotatedLine{"upsideDown", -1, 0}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

// Slanted labels under a chart's axis stand closer together than they are long: laid
// upright, no two share a stretch of one row or come within an em of each other.
TEST(Extractor, SlantedLabelsLaidUprightDoNotRunIntoEachOther) {
  Fixture f;
  f.State.FCurCharW = 6;
  const double c = 0.5, s = 0.8660254;
  for (int label = 0; label < 6; ++label) {
    for (int i = 0; i < 6; ++i) {
      const double along = 6.0 * i;
      f.State.FTextMatrix.SetValues(c, s, -s, c, 100 + 20.0 * label + c * along, 300 + s * along);
      f.Char(static_cast<char16_t>(u'A' + label));
    }
  }
  f.Ex.EndPage();
  ASSERT_EQ(f.Writer.Glyphs.size(), 36u);
  struct Span { double Left, Right, Y; };
  std::vector<Span> spans;
  for (std::size_t i = 0; i < 36; i += 6) {
    const auto& g = f.Writer.Glyphs;
    for (std::size_t k = i; k < i + 6; ++k) EXPECT_EQ(g[k].Ch, g[i].Ch);
    spans.push_back({g[i].X, g[i + 5].X + 6, g[i].Y});
  }
  for (std::size_t a = 0; a < spans.size(); ++a) {
    for (std::size_t b = a + 1; b < spans.size(); ++b) {
      const bool sameRow = std::fabs(spans[a].Y - spans[b].Y) < 12;
      const bool apart = spans[a].Right + 12 <= spans[b].Left || spans[b].Right + 12 <= spans[a].Left;
      EXPECT_TRUE(!sameRow || apart) << a << " " << b;
    }
  }
  // Rows that keep labels apart, not a row per label.
  std::vector<double> rows;
  for (const Span& sp : spans) {
    if (std::none_of(rows.begin(), rows.end(), [&](double AY) { return std::fabs(AY - sp.Y) < 1; })) rows.push_back(sp.Y);
  }
  EXPECT_LE(rows.size(), 3u);
}

// A receiver that keeps rotated lines whole.
class LineRecorder : public RecordingWriter {
public:
  std::vector<TkwRotatedLineRecord> Lines;
  void AddRotatedLine(const TkwRotatedLineRecord& ALine) override { Lines.push_back(ALine); }
};

// A rotated line reaches a receiver that keeps drawing as one record: where it stands in
// page points from the top, its direction, each glyph's place along it and its font, and
// the same glyphs laid upright that other receivers take as text.
TEST_P(RotatedLines, ArriveWholeWithTheirPlaceAndDirection) {
  LineRecorder out;
  std::vector<std::string> fonts{"Arial", "DejaVu Sans"};
  TkwPDFContentExtractor ex{out, 3, fonts};
  std::array<double, 4> box{0, 0, 612, 792};
  TkwPDState state{96, 96, 0, &box};
  ex.StartPage(1, state);
  state.FFontSize = 12;
  state.FCurCharW = 6;
  const double c = GetParam().Cos, s = GetParam().Sin;
  const std::u16string text = u"ab";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const double along = 6.0 * static_cast<double>(i);
    state.FTextMatrix.SetValues(c, s, -s, c, 300 + c * along, 400 + s * along);
    std::string name;
    ex.DrawChar(state, 0, 0, 0, 0, text[i], name);
  }
  ex.EndPage();
  EXPECT_TRUE(out.Glyphs.empty());
  ASSERT_EQ(out.Lines.size(), 1u);
  const TkwRotatedLineRecord& line = out.Lines[0];
  EXPECT_NEAR(line.OriginPt.X, 300, 1e-6);
  EXPECT_NEAR(line.OriginPt.Y, 792 - 400, 1e-6);  // from the top
  EXPECT_NEAR(line.DirX, c, 1e-6);
  EXPECT_NEAR(line.DirY, -s, 1e-6);  // y runs downwards
  EXPECT_NEAR(line.LengthPt, 12, 1e-6);
  EXPECT_NEAR(line.SizePt, 12, 1e-6);
  ASSERT_EQ(line.Glyphs.size(), 2u);
  EXPECT_NEAR(line.Glyphs[1].AlongPt, 6, 1e-6);
  EXPECT_NEAR(line.Glyphs[1].AcrossPt, 0, 1e-6);
  EXPECT_EQ(line.Glyphs[1].Upright.Unicode, u'b');
  EXPECT_EQ(line.Glyphs[0].Font.Size, 12);
  // Laid upright: one line, one advance after the other.
  EXPECT_NEAR(line.Glyphs[1].Upright.XPt - line.Glyphs[0].Upright.XPt, 6, 1e-6);
  EXPECT_NEAR(line.Glyphs[1].Upright.YPt, line.Glyphs[0].Upright.YPt, 1e-6);
}

TEST(Extractor, PositionIsInPointsFromTheLowerLeft) {
  Fixture f;
  f.State.FTextMatrix.SetValues(1, 0, 0, 1, 72, 700);
  f.Char(u'H');
  ASSERT_EQ(f.Writer.Glyphs.size(), 1u);
  const Glyph& g = f.Writer.Glyphs[0];
  EXPECT_NEAR(g.X, 72, 1e-9);
  EXPECT_NEAR(g.Y, 700, 1e-9);
  EXPECT_EQ(g.Font.Size, 12);
  EXPECT_EQ(g.Ch, u'H');
}

TEST(Extractor, ClipDropsGlyphsOutsideUntilRestore) {
  Fixture f;
  f.State.MoveTo(0, 0);
  f.State.LineTo(100, 0);
  f.State.LineTo(100, 100);
  f.State.LineTo(0, 100);
  f.State.ClosePath();
  f.Ex.SaveState(f.State);
  f.Ex.Clip(f.State);
  f.State.ClearPath();
  f.State.FTextMatrix.SetValues(1, 0, 0, 1, 50, 50);
  f.Char(u'i');
  f.State.FTextMatrix.SetValues(1, 0, 0, 1, 300, 300);
  f.Char(u'o');
  f.Ex.RestoreState(f.State);
  f.Char(u'r');
  ASSERT_EQ(f.Writer.Glyphs.size(), 2u);
  EXPECT_EQ(f.Writer.Glyphs[0].Ch, u'i');
  EXPECT_EQ(f.Writer.Glyphs[1].Ch, u'r');
}

// Clips that are not rectangles, one after the other across restores, and one inside
// another: each restore gives the whole page back, whatever the clips before it narrowed.
TEST(Extractor, ClipsAcrossRestoresDoNotNarrowEachOther) {
  Fixture f;
  auto triangle = [&](double AX, double AY) {
    f.State.MoveTo(AX, AY);
    f.State.LineTo(AX + 100, AY);
    f.State.LineTo(AX, AY + 100);
    f.State.ClosePath();
    f.Ex.Clip(f.State);
    f.State.ClearPath();
  };
  auto at = [&](char16_t ACh, double AX, double AY) {
    f.State.FTextMatrix.SetValues(1, 0, 0, 1, AX, AY);
    f.Char(ACh);
  };
  for (int round = 0; round < 3; ++round) {
    f.Ex.SaveState(f.State);
    triangle(0, 0);
    at(u'a', 20, 20);    // inside
    at(u'x', 90, 90);    // beside it
    f.Ex.RestoreState(f.State);
    f.Ex.SaveState(f.State);
    triangle(300, 300);
    at(u'b', 320, 320);  // inside the second, outside the first
    triangle(300, 300);
    at(u'c', 330, 330);  // the same clip twice
    triangle(320, 300);
    at(u'y', 310, 310);  // outside the narrower one
    f.Ex.RestoreState(f.State);
    at(u'd', 500, 500);
  }
  std::u16string seen;
  for (const Glyph& g : f.Writer.Glyphs) seen += g.Ch;
  EXPECT_EQ(seen, u"abcdabcdabcd");
}

TEST(Extractor, ContinuationFlagsFollowStringsAndOperators) {
  Fixture f;
  f.Ex.BeginStringOp(f.State);
  f.Ex.BeginString(f.State, u"ab");
  f.Char(u'a');
  f.Char(u'b');
  f.Ex.BeginString(f.State, u"c");
  f.Char(u'c');
  ASSERT_EQ(f.Writer.Glyphs.size(), 3u);
  EXPECT_FALSE(f.Writer.Glyphs[0].NotFirstInString);
  EXPECT_FALSE(f.Writer.Glyphs[0].NotFirstInOperator);
  EXPECT_TRUE(f.Writer.Glyphs[1].NotFirstInString);
  EXPECT_FALSE(f.Writer.Glyphs[2].NotFirstInString);
  EXPECT_TRUE(f.Writer.Glyphs[2].NotFirstInOperator);
}

TEST(Extractor, FillColourBecomesTheFontColour) {
  Fixture f;
  f.State.FFillColor.FComps = {65536, 0, 0};
  f.Char(u'R');
  ASSERT_EQ(f.Writer.Glyphs.size(), 1u);
  EXPECT_EQ(f.Writer.Glyphs[0].Font.Color, RGBColor(255, 0, 0));
}

TEST(Extractor, TextFlagOffGivesNoGlyphs) {
  std::vector<std::string> fonts{"Arial"};
  RecordingWriter w;
  TkwPDFContentExtractor ex(w, 2, fonts);
  std::array<double, 4> box{0, 0, 612, 792};
  TkwPDState s(96, 96, 0, &box);
  ex.StartPage(1, s);
  std::string n;
  ex.DrawChar(s, 0, 0, 0, 0, 'x', n);
  ex.EndPage();
  EXPECT_TRUE(w.Glyphs.empty());
  EXPECT_EQ(w.PageEnds, 1);
}

TEST(Extractor, EmptyOutlineTakesTheTextExtent) {
  Fixture f;
  f.State.FTextMatrix.SetValues(1, 0, 0, 1, 72, 700);
  f.Char(u'W');
  ASSERT_EQ(f.Writer.Glyphs.size(), 1u);
  const TkwRect& b = f.Writer.Glyphs[0].Box;
  EXPECT_GT(b.Right - b.Left, 5);   // a 12 pt W is about 15 pixels wide
  EXPECT_GT(b.Bottom - b.Top, 10);  // and one cell high
}

// The glyphs of one string share what the string's state gives; the state a text operator
// changes between strings (size, colour, text matrix) reaches the next string's glyphs, and
// glyphs shown outside a string take the state as it is.
TEST(Extractor, StateChangedBetweenStringsReachesTheNextString) {
  Fixture f;
  f.State.FTextMatrix.SetValues(1, 0, 0, 1, 72, 700);
  f.Ex.BeginString(f.State, u"WW");
  f.Char(u'W');
  f.Char(u'W', 10, 0);
  f.Ex.EndString(f.State);
  f.State.FFontSize = 24;
  f.State.FFillColor.FComps = {65536, 0, 0};
  f.State.FTextMatrix.SetValues(1, 0, 0, 1, 72, 600);
  f.Ex.BeginString(f.State, u"W ");
  f.Char(u'W');
  f.Char(u' ', 20, 0);
  f.Ex.EndString(f.State);
  f.State.FFillColor.FComps = {0, 0, 65536};
  f.Char(u'W');
  f.State.FFontSize = 12;
  f.Char(u'W');
  ASSERT_EQ(f.Writer.Glyphs.size(), 6u);
  const auto& g = f.Writer.Glyphs;
  const auto width = [](const Glyph& AG) { return AG.Box.Right - AG.Box.Left; };
  EXPECT_EQ(g[0].Font.Size, 12);
  EXPECT_EQ(g[1].Font.Size, 12);
  EXPECT_DOUBLE_EQ(g[1].X - g[0].X, 10);
  EXPECT_EQ(g[0].Font.Color, g[1].Font.Color);
  EXPECT_DOUBLE_EQ(width(g[0]), width(g[1]));
  EXPECT_EQ(g[2].Font.Size, 24);
  EXPECT_EQ(g[2].Font.Color, RGBColor(255, 0, 0));
  EXPECT_DOUBLE_EQ(g[0].Y - g[2].Y, 100);
  EXPECT_NEAR(width(g[2]), 2 * width(g[0]), 2);
  EXPECT_LT(width(g[3]), width(g[2]));  // a space is narrower than a W of its size
  EXPECT_EQ(g[4].Font.Color, RGBColor(0, 0, 255));
  EXPECT_DOUBLE_EQ(width(g[4]), width(g[2]));
  EXPECT_EQ(g[5].Font.Size, 12);
  EXPECT_DOUBLE_EQ(width(g[5]), width(g[0]));
}

struct MapCase {
  const char* PdfName;
  bool Bold, Italic, Serif, Fixed;
  const char* Expected;
  TFontStyles Style;
};

class SystemFontMapping : public ::testing::TestWithParam<MapCase> {};

TEST_P(SystemFontMapping, NamesMapToInstalledFonts) {
  Fixture f;
  const MapCase& c = GetParam();
  TFont font = f.Ex.MapSystemFont(c.PdfName, c.Bold, c.Italic, c.Serif, c.Fixed);
  EXPECT_EQ(font.Name, c.Expected) << c.PdfName;
  EXPECT_EQ(font.Style, c.Style) << c.PdfName;
}

INSTANTIATE_TEST_SUITE_P(
    Names, SystemFontMapping,
    ::testing::Values(MapCase{"ABCDEF+Arial,BoldItalic", false, false, false, false, "Arial", fsBold | fsItalic},
                      MapCase{"TimesNewRomanPSMT", false, false, true, false, "Times New Roman", 0},
                      MapCase{"TimesNewRomanPS-BoldMT", false, false, true, false, "Times New Roman", fsBold},
                      MapCase{"Georgia", false, false, true, false, "Georgia", 0},
                      MapCase{"Helvetica-Oblique", false, true, false, false, "Arial", fsItalic},
                      MapCase{"Times-Roman", false, false, true, false, "Times New Roman", 0},
                      MapCase{"Courier", false, false, false, true, "Courier New", 0},
                      // Known families keep their names; others take their class's family.
                      MapCase{"Garamond", false, false, true, false, "Garamond", 0},
                      MapCase{"MinionPro", true, false, false, false, "Times New Roman", fsBold},
                      MapCase{"MinionPro-It", false, false, false, false, "Times New Roman", fsItalic},
                      MapCase{"ABCDEF+CenturyGothic,Bold", false, false, false, false, "Century Gothic", fsBold}));

struct FactsCase {
  const char* Name;
  std::int32_t Flags;
  int Weight;
  double ItalicAngle;
  const char* Family;
  const char* Expected;
  TFontStyles Style;
};

class FontsNoSystemHas : public ::testing::TestWithParam<FactsCase> {};

// The class of a font decides its output family and the name, weight and angle its style.
TEST_P(FontsNoSystemHas, ClassAndStyleFromNameAndDescriptor) {
  const FactsCase& c = GetParam();
  std::vector<std::string> installed{"DejaVu Sans", "Nimbus Sans", "Liberation Serif"};
  TkwSystemFontMap map(installed);
  TkwPdfFontFacts facts;
  facts.Name = c.Name;
  facts.Family = c.Family;
  facts.Flags = c.Flags;
  facts.HasDescriptor = true;
  facts.Weight = c.Weight;
  facts.ItalicAngle = c.ItalicAngle;
  const TFont font = map.Map(facts);
  EXPECT_EQ(font.Name, c.Expected) << c.Name;
  EXPECT_EQ(font.Style, c.Style) << c.Name;
}

INSTANTIATE_TEST_SUITE_P(
    Classes, FontsNoSystemHas,
    ::testing::Values(FactsCase{"ABCDEF+CMR10", 4, 0, 0, "", "Times New Roman", 0},
                      FactsCase{"ABCDEF+CMSL10", 4, 0, -9.46, "", "Times New Roman", fsItalic},
                      FactsCase{"ABCDEF+CMMI9", 4, 0, 0, "", "Times New Roman", fsItalic},
                      FactsCase{"ABCDEF+CMBX12", 4, 0, 0, "", "Times New Roman", fsBold},
                      FactsCase{"ABCDEF+CMTI10", 4, 0, 0, "", "Times New Roman", fsItalic},
                      FactsCase{"ABCDEF+CMTT9", 4, 0, 0, "", "Courier New", 0},
                      FactsCase{"ABCDEF+CMSS10", 4, 0, 0, "", "Arial", 0},
                      FactsCase{"ABCDEF+NimbusRomNo9L-Medi", 4, 0, 0, "", "Times New Roman", fsBold},
                      FactsCase{"ABCDEF+NimbusRomNo9L-ReguItal", 4, 0, 0, "", "Times New Roman", fsItalic},
                      FactsCase{"ABCDEF+NimbusRomNo9L-MediItal", 4, 0, 0, "", "Times New Roman", fsBold | fsItalic},
                      FactsCase{"ABCDEF+NimbusMonL-Regu", 4, 0, 0, "", "Courier New", 0},
                      FactsCase{"ABCDEF+SourceCodePro-Semibold", 1, 0, 0, "", "Courier New", fsBold},
                      FactsCase{"ABCDEF+Roboto-Medium", 32, 0, 0, "", "Arial", 0},
                      FactsCase{"ABCDEF+Xyz-Black", 32, 0, 0, "", "Arial", fsBold},
                      FactsCase{"ABCDEF+Xyz", 2 | 32, 700, 0, "", "Times New Roman", fsBold},
                      FactsCase{"ABCDEF+Xyz", 32, 0, -12, "", "Arial", fsItalic},
                      FactsCase{"ABCDEF+Xyz", 1 | 32, 0, 0, "", "Courier New", 0},
                      FactsCase{"ABCDEF+Xyz", 8 | 32, 0, 0, "", "Monotype Corsiva", 0},
                      FactsCase{"ABCDEF+F1", 32, 0, 0, "Georgia", "Georgia", 0},
                      FactsCase{"ZapfDingbats", 4, 0, 0, "", "Arial Unicode MS", 0},
                      // A real match among the installed families wins over the class.
                      FactsCase{"ABCDEF+NimbusSans-Bold", 32, 0, 0, "", "Nimbus Sans", fsBold}));

TEST(Extractor, WideScriptsTakeTheFallbackFont) {
  std::vector<std::string> installed{"DejaVu Sans"};
  TkwSystemFontMap map(installed);
  TkwPdfFontFacts facts;
  facts.Name = "ABCDEF+MSMincho";
  facts.Flags = 2;
  facts.HasDescriptor = true;
  facts.WideCoverage = true;
  EXPECT_EQ(map.Map(facts).Name, kFallbackFontName);
  facts.WideCoverage = false;
  EXPECT_EQ(map.Map(facts).Name, "Times New Roman");
}

struct LigatureCase {
  const char* Name;
  char16_t Code;
  const char* GlyphName;
  std::u16string Letters;
};

class Ligatures : public ::testing::TestWithParam<LigatureCase> {};

// A ligature glyph becomes its letters, side by side within the glyph's advance.
TEST_P(Ligatures, BecomeTheirLetters) {
  Fixture f;
  f.State.FTextMatrix.SetValues(1, 0, 0, 1, 72, 700);
  f.State.FCurCharW = 6;
  std::string name = GetParam().GlyphName;
  f.Ex.DrawChar(f.State, 0, 0, 0, 0, GetParam().Code, name);
  std::u16string got;
  for (const Glyph& g : f.Writer.Glyphs) got += g.Ch;
  EXPECT_EQ(got, GetParam().Letters);
  const double share = 6.0 / static_cast<double>(GetParam().Letters.size());
  for (std::size_t i = 0; i < f.Writer.Glyphs.size(); ++i) {
    EXPECT_NEAR(f.Writer.Glyphs[i].X, 72 + share * static_cast<double>(i), 1e-9);
    EXPECT_NEAR(f.Writer.Glyphs[i].Advance, share, 1e-9);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, Ligatures,
    ::testing::Values(LigatureCase{"fi", 0xFB01, "", u"fi"}, LigatureCase{"ffl", 0xFB04, "", u"ffl"},
                      LigatureCase{"st", 0xFB06, "", u"st"},
                      LigatureCase{"NamedFFI", u'f', "f_f_i", u"ffi"},
                      LigatureCase{"NamedFl", u'f', "fl", u"fl"},
                      LigatureCase{"PlainF", u'f', "f", u"f"}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(Extractor, GlyphsWithoutAnyValueAreDroppedAndCounted) {
  Fixture f;
  TkwDiagnostics diag;
  f.Ex.SetDiagnostics(&diag);
  f.Char(0x1C);
  f.Char(u'a');
  ASSERT_EQ(f.Writer.Glyphs.size(), 1u);
  EXPECT_EQ(f.Writer.Glyphs[0].Ch, u'a');
  EXPECT_EQ(diag.Count(TkwDiagCode::dcGlyphUnmapped), 1);
}

}  // namespace
}  // namespace qm
