#include "writer/kwWriterClasses.h"

#include <gtest/gtest.h>

#include "writer/kwBookmarkManager.h"
#include "writer/kwDocumentWriter.h"
#include "writer/kwStyleManager.h"

namespace qm {
namespace {

struct UnitCase {
  TkwMeasurementUnit Unit;
  double Factor;
};
class Units : public ::testing::TestWithParam<UnitCase> {};

TEST_P(Units, FactorAtNinetySixPpi) {
  EXPECT_NEAR(MeasurementFactor(GetParam().Unit), GetParam().Factor, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(All, Units,
                         ::testing::Values(UnitCase{TkwMeasurementUnit::muPixels, 1},
                                           UnitCase{TkwMeasurementUnit::muInches, 96},
                                           UnitCase{TkwMeasurementUnit::muMillimetres, 96.0 / 72 * 2.83464},
                                           UnitCase{TkwMeasurementUnit::muPoints, 96.0 / 72},
                                           UnitCase{TkwMeasurementUnit::muTwips, 96.0 / 72 * 0.05},
                                           UnitCase{static_cast<TkwMeasurementUnit>(9), 1}));

TEST(Twips, RoundHalvesToEven) {
  EXPECT_EQ(NativeToTwips(16), 240);
  EXPECT_EQ(NativeToTwips(-1), -15);
  EXPECT_EQ(NativeToTwips(1.0 / 30), 0);     // 0.5 twips -> 0
  EXPECT_EQ(NativeToTwips(1.5 / 15), 2);     // 1.5 twips -> 2
  EXPECT_EQ(NativeToTwips(2.5 / 15), 2);     // 2.5 twips -> 2
}

TEST(PageSettings, A4DefaultsAndOrientationSwapsOnce) {
  TkwPageSettings ps;
  EXPECT_EQ(ps.GetPaperSize(), TkwPaperSize::psA4);
  EXPECT_NEAR(ps.GetWidth(), 8.2677 * 96, 1e-6);
  EXPECT_NEAR(ps.GetHeight(), 11.6929 * 96, 1e-6);
  ps.SetOrientation(TPrinterOrientation::poLandscape);
  ps.SetOrientation(TPrinterOrientation::poLandscape);
  EXPECT_NEAR(ps.GetWidth(), 11.6929 * 96, 1e-6);
  ps.SetPaperSize(TkwPaperSize::psLetter);  // landscape letter
  EXPECT_NEAR(ps.GetWidth(), 11 * 96, 1e-6);
  EXPECT_NEAR(ps.GetHeight(), 8.5 * 96, 1e-6);
}

TEST(PageSettings, CustomKeepsSizeAndOddTableEntries) {
  TkwPageSettings ps;
  ps.SetWidth(500);
  ps.SetHeight(600);
  ps.SetPaperSize(TkwPaperSize::psCustom);
  EXPECT_EQ(ps.GetWidth(), 500);
  EXPECT_EQ(ps.GetHeight(), 600);
  EXPECT_EQ(PaperDimensions(TkwPaperSize::ps11X17).WidthInches, 10);
  EXPECT_EQ(PaperDimensions(TkwPaperSize::psEnvB6).HeightInches, 4.9212);
}

TEST(TextFormatting, AssignKeepsTargetNativeFactor) {
  TkwTextFormatting points;
  points.SetNativeFactor(96.0 / 72);
  points.SetLeftIndent(72);  // 96 native
  points.GetBorder().Spacing = 3;
  points.GetBorder().DrawTop = true;
  TkwTextFormatting pixels;
  pixels.Assign(points);
  EXPECT_EQ(pixels.GetNativeFactor(), 1.0);
  EXPECT_NEAR(pixels.GetLeftIndent(), 96, 1e-9);
  EXPECT_EQ(pixels.GetBorder().Spacing, 3);
  EXPECT_TRUE(pixels.GetBorder().DrawTop);
}

TEST(Persistent, AssignFromAnotherClassRaises) {
  TkwTextFormatting tf;
  TkwPageSettings ps;
  try {
    tf.Assign(ps);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TkwPageSettings to a TkwTextFormatting.");
  }
}

TEST(TableSettings, AssignLeavesCellAlignments) {
  TkwTableSettings a;
  a.CellVAlign = 2;
  a.FIntegers[1] = 5;
  TkwTableSettings b;
  b.Assign(a);
  EXPECT_EQ(b.CellVAlign, 0);
  EXPECT_EQ(b.FIntegers[1], 5);
}

TEST(StyleManager, StableIndexes) {
  auto a = std::make_unique<TkwStyleManager>();
  TFont f;
  EXPECT_EQ(a->AddStyle(f, clBlack, "Body", 4), 0);
  EXPECT_EQ(a->AddStyle(f, clRed, "Heading", 4), 1);
  EXPECT_EQ(a->AddStyle(f, clBlack, "Body", 4), 0);
  EXPECT_EQ(a->GetCount(), 2);
  EXPECT_EQ(a->StyleAt(0).Name, "s11");
  EXPECT_EQ(a->StyleAt(1).Name, "s12");
  EXPECT_EQ(a->IndexOfStyle("body"), -1);  // case-sensitive
}

// Each writer has its own styles and bookmarks: what one document adds is not in another
// written at the same time.
TEST(StyleManager, EachWriterOwnsItsManagers) {
  TkwDocumentWriter a;
  TkwDocumentWriter b;
  EXPECT_NE(&a.GetStyleManager(), &b.GetStyleManager());
  a.GetStyleManager().AddStyle(TFont{}, clBlack, "X", 4);
  a.GetBookmarkManager().AddBookmark(u"top");
  EXPECT_EQ(b.GetStyleManager().GetCount(), 0);
  EXPECT_EQ(b.GetBookmarkManager().GetCount(), 0);
}

TEST(BookmarkManager, SameNameSameIndex) {
  auto m = std::make_unique<TkwBookmarkManager>();
  EXPECT_EQ(m->AddBookmark(u"top"), 0);
  EXPECT_EQ(m->AddBookmark(u"end"), 1);
  EXPECT_EQ(m->AddBookmark(u"top"), 0);
  EXPECT_EQ(m->GetCount(), 2);
}

TEST(ExtMemStream, BigEndianWriters) {
  TkwExtMemStream s;
  s.WriteLongBE(0x01020304);
  s.WriteWordBE(0x0506);
  s.WriteString(std::u16string_view(u"A\u0142"));  // low bytes only
  EXPECT_EQ(s.GetData(), std::string("\x01\x02\x03\x04\x05\x06" "A\x42", 8));
  EXPECT_EQ(s.ReadByte(), 1);
}

}  // namespace
}  // namespace qm
