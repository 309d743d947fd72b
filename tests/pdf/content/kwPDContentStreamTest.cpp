#include "pdf/content/kwPDContentStream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>

#include "base/kwDiagnostics.h"
#include "base/LimitExceeded.h"
#include "base/Limits.h"
#include "pdf/content/PageDisplay.h"
#include "pdf/core/Tolerance.h"
#include "pdf/core/kwPDDocument.h"
#include "pdf/fonts/kwPDCMap.h"
#include "tests/pdf/content/TraceDevice.h"
#include "tests/support/pdf/TestPdf.h"

namespace qm {
namespace {

// Builds a one-page document with Helvetica as F1 and plays it into a trace device.
struct PageRun {
  TkwTestPdf Pdf;
  int F1 = Pdf.AddFont("Helvetica");
  TkwPDDocument Doc;
  TkwTraceDevice Dev;

  void Play(const std::string& AContent, std::string_view AExtraPage = "") {
    Pdf.AddPage(AContent, {{"F1", F1}}, AExtraPage);
    Show();
  }
  void Show() {
    Doc.LoadFromBytes(Pdf.Save());
    DisplayPage(Doc, Dev, 1, 72, 72, 0, true, false, false, true);
  }
  bool Has(const std::string& ALine) const {
    return std::find(Dev.Lines.begin(), Dev.Lines.end(), ALine) != Dev.Lines.end();
  }
};

struct DispatchCase {
  const char* Name;
  const char* Content;
  const char* Expected;  // a trace line that must appear, or "!line" that must not
};

class Dispatch : public ::testing::TestWithParam<DispatchCase> {};

TEST_P(Dispatch, OperandsAreCheckedAgainstTheTable) {
  PageRun r;
  r.Play(GetParam().Content);
  std::string e = GetParam().Expected;
  if (e[0] == '!') {
    EXPECT_FALSE(r.Has(e.substr(1))) << GetParam().Name;
  } else {
    EXPECT_TRUE(r.Has(e)) << GetParam().Name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Operators, Dispatch,
    ::testing::Values(
        DispatchCase{"cm_six", "1 0 0 1 50 50 cm", "UpdateCTM 1.00 0.00 0.00 1.00 50.00 50.00"},
        DispatchCase{"cm_three_ignored", "1 0 0 cm", "!UpdateCTM 1.00 0.00 0.00 1.00 50.00 50.00"},
        DispatchCase{"w_first_of_surplus", "2 3 4 w", "LineWidth 2.00"},
        DispatchCase{"w_wrong_kind", "(x) w", "!LineWidth 0.00"},
        DispatchCase{"tj_first_operand_not_string", "BT /F1 12 Tf 5 (abc) Tj ET", "!BeginString"},
        DispatchCase{"unknown_operator_skipped", "1 2 foo BT /F1 12 Tf (A) Tj ET",
                     "DrawChar 0.00 0.00 8.00 0.00 65"},
        DispatchCase{"rg_fixed_point", "1 0 0 rg", "FillColor 65536 0 0"},
        DispatchCase{"sc_too_many_ignored", "1 2 3 4 5 sc", "!FillColor 65536 131072 196608"},
        DispatchCase{"clip_on_n", "0 0 10 10 re W n", "Clip 1"},
        DispatchCase{"fill_needs_point", "f", "!Fill"},
        DispatchCase{"fill_with_path", "0 0 m 10 0 l 10 10 l f", "Fill"},
        DispatchCase{"unbalanced_Q", "Q Q 3 w", "LineWidth 3.00"}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(ContentStream, TJAdjustmentMovesTheTextPoint) {
  PageRun r;
  r.Play("BT /F1 10 Tf [(A) -500 (B)] TJ ET");
  auto chars = r.Dev.Grep("DrawChar");
  ASSERT_EQ(chars.size(), 2u);
  // A is 667/1000 wide: 6.67 at 10 pt, then 5 units for −500.
  EXPECT_EQ(chars[0], "DrawChar 0.00 0.00 6.67 0.00 65");
  EXPECT_EQ(chars[1], "DrawChar 11.67 0.00 6.67 0.00 66");
  EXPECT_TRUE(r.Has("TextShift -500"));
}

TEST(ContentStream, OddHexStringCompletesTheLastCode) {
  PageRun r;
  r.Play("BT /F1 10 Tf <41424> Tj ET");
  EXPECT_EQ(r.Dev.Grep("DrawChar").size(), 3u);
  EXPECT_EQ(r.Dev.Text, std::string("AB@"));
  // Every code of a hex string is a string of its own.
  EXPECT_EQ(r.Dev.Grep("BeginString").size(), 3u);
}

TEST(ContentStream, HexStringsInCompositeFontsFollowTheCodeSpace) {
  if (FindCMapFile("90ms-RKSJ-H", "").empty()) GTEST_SKIP() << "poppler-data is not installed";
  // Shift-JIS: "A" and "B" are one byte, U+3042 is the two bytes 82 A0; an Identity-H string
  // takes two bytes a code, and an odd final digit is completed with a zero.
  struct Case {
    const char* Encoding;
    const char* Shown;
    std::vector<int> Codes;
  };
  for (const Case& c : {Case{"90ms-RKSJ-H", "<41 82A0 42>", {65, 0x3042, 66}},
                        Case{"90ms-RKSJ-H", "<82A041>", {0x3042, 65}},
                        Case{"Identity-H", "<0001 0002 000>", {0x20, 0x21, 0xFFFD}}}) {
    PageRun r;
    const int desc = r.Pdf.AddObject(
        "<< /Type /Font /Subtype /CIDFontType0 /BaseFont /Ryumin-Light /CIDSystemInfo "
        "<< /Registry (Adobe) /Ordering (Japan1) /Supplement 2 >> /DW 1000 >>");
    const int font = r.Pdf.AddObject(std::string("<< /Type /Font /Subtype /Type0 /BaseFont /Ryumin-Light "
                                                 "/Encoding /") + c.Encoding + " /DescendantFonts [" +
                                     std::to_string(desc) + " 0 R] >>");
    r.Pdf.AddPage(std::string("BT /F2 10 Tf ") + c.Shown + " Tj ET", {{"F2", font}});
    r.Show();
    std::vector<int> codes;
    for (const auto& l : r.Dev.Grep("DrawChar")) codes.push_back(std::stoi(l.substr(l.rfind(' ') + 1)));
    // An unembedded font hands on the collection's Unicode values (CIDs 1 and 2 are the
    // space and "!"; CID 0 is the replacement character).
    EXPECT_EQ(codes, c.Codes) << c.Shown;
    EXPECT_EQ(r.Dev.Grep("BeginString").size(), c.Codes.size()) << c.Shown;
  }
}

TEST(ContentStream, ActualTextReplacesTheGlyphsOfItsSection) {
  struct Case {
    const char* Name;
    const char* Content;
    const char* Text;
  };
  for (const Case& c : {
           Case{"inline", "/Span <</ActualText (fi)>> BDC (X) Tj EMC (A) Tj", "fiA"},
           Case{"utf16", "/Span <</ActualText <FEFF00E9>>> BDC (XY) Tj EMC", "\xE9"},
           Case{"named", "/Span /P1 BDC (X) Tj EMC (B) Tj", "QB"},
           Case{"nested", "/Span <</ActualText (Z)>> BDC /X BMC (ab) Tj EMC (c) Tj EMC (d) Tj", "Zd"},
           Case{"inner_ignored", "/A BMC /Span <</ActualText (Z)>> BDC /Span <</ActualText (W)>> BDC "
                                 "(a) Tj EMC (b) Tj EMC (c) Tj EMC", "Zc"},
           Case{"unbalanced_emc", "EMC EMC (a) Tj /Span <</ActualText (Z)>> BDC EMC (b) Tj", "ab"},
           Case{"no_actual_text", "/Span <</Lang (en)>> BDC (a) Tj EMC", "a"},
       }) {
    PageRun r;
    r.Pdf.AddPage(std::string("BT /F1 10 Tf ") + c.Content + " ET", {},
                  "/Resources << /Font << /F1 " + std::to_string(r.F1) +
                      " 0 R >> /Properties << /P1 << /ActualText (Q) >> >> >>");
    r.Show();
    EXPECT_EQ(r.Dev.Text, c.Text) << c.Name;
  }
  {
    // A form that leaves its ActualText open does not swallow the page's text after it.
    PageRun r;
    r.Dev.PlayForms = true;
    const int form = r.Pdf.AddStream("/Type /XObject /Subtype /Form /BBox [0 0 100 100]",
                                     "/Span <</ActualText (Z)>> BDC BT /F1 10 Tf (a) Tj ET");
    r.Pdf.AddPage("/X1 Do BT /F1 10 Tf (bc) Tj ET EMC", {},
                  "/Resources << /Font << /F1 " + std::to_string(r.F1) + " 0 R >> /XObject << /X1 " +
                      std::to_string(form) + " 0 R >> >>");
    r.Show();
    EXPECT_EQ(r.Dev.Text, "Zbc");
  }
  // The replacement shares its first glyph's advance; later glyphs only move the point.
  PageRun r;
  r.Play("BT /F1 10 Tf /Span <</ActualText (fi)>> BDC (XX) Tj EMC (A) Tj ET");
  auto chars = r.Dev.Grep("DrawChar");
  ASSERT_EQ(chars.size(), 3u);
  EXPECT_EQ(chars[0], "DrawChar 0.00 0.00 3.33 0.00 102");
  EXPECT_EQ(chars[1], "DrawChar 3.33 0.00 3.33 0.00 105");
  EXPECT_EQ(chars[2], "DrawChar 13.34 0.00 6.67 0.00 65");
}

TEST(ContentStream, Type3GlyphsAreDrawnAsCharacters) {
  // Also for a device that asks for Type 3 glyphs to be interpreted: the procedures are not
  // run, so the characters are what it gets. Advance: 500 × 0.002 × 10 pt.
  for (bool interpret : {false, true}) {
    PageRun r;
    r.Dev.InterpretType3Chars = interpret;
    const int proc = r.Pdf.AddStream("", "1000 0 d0");
    const int font = r.Pdf.AddObject(
        "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 500 500] /FontMatrix [0.002 0 0 0.002 0 0] "
        "/CharProcs << /A " + std::to_string(proc) + " 0 R /b " + std::to_string(proc) +
        " 0 R >> /Encoding << /Differences [1 /A /b] >> /FirstChar 1 /LastChar 2 /Widths [500 250] >>");
    r.Pdf.AddPage("BT /T3 10 Tf <0102> Tj ET", {{"T3", font}});
    r.Show();
    EXPECT_EQ(r.Dev.Text, "Ab");
    auto chars = r.Dev.Grep("DrawChar");
    ASSERT_EQ(chars.size(), 2u);
    EXPECT_EQ(chars[0], "DrawChar 0.00 0.00 10.00 0.00 65");
    EXPECT_EQ(chars[1], "DrawChar 10.00 0.00 5.00 0.00 98");
  }
}

TEST(ContentStream, VerticalFontsAdvanceDownWithCharacterSpacing) {
  // W2 gives CID 2 a vertical advance of −500; the rest take DW2's −1000. At 10 pt, with
  // Tc 1 added to the advance, the text point moves down 9, then 4, then 9; word spacing
  // does not apply to two-byte codes. A TJ number of 500 moves the next glyph 5 down.
  PageRun r;
  const int desc = r.Pdf.AddObject(
      "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Vert /CIDSystemInfo "
      "<< /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> /DW 1000 /DW2 [880 -1000] "
      "/W2 [2 [-500 500 880]] >>");
  const int font = r.Pdf.AddObject("<< /Type /Font /Subtype /Type0 /BaseFont /Vert /Encoding /Identity-V "
                                   "/DescendantFonts [" + std::to_string(desc) + " 0 R] >>");
  // Td places the line as it does for horizontal fonts.
  r.Pdf.AddPage("BT /V 10 Tf 1 Tc 5 Tw 300 700 Td [<00010002> 500 <0003>] TJ ET", {{"V", font}});
  r.Show();
  auto chars = r.Dev.Grep("DrawChar");
  ASSERT_EQ(chars.size(), 3u);
  EXPECT_EQ(chars[0], "DrawChar 300.00 700.00 0.00 -9.00 1");
  EXPECT_EQ(chars[1], "DrawChar 300.00 691.00 0.00 -4.00 2");
  EXPECT_EQ(chars[2], "DrawChar 300.00 682.00 0.00 -9.00 3");
}

TEST(ContentStream, SaveAndRestoreStayPairedPastTheNestingCap) {
  PageRun r;
  r.Dev.PlayForms = true;
  const int form = r.Pdf.AddStream("/Type /XObject /Subtype /Form /BBox [0 0 10 10]", "0 0 m");
  std::string content;
  for (int i = 0; i < 300; ++i) content += "q ";
  content += "/X1 Do ";
  for (int i = 0; i < 300; ++i) content += "Q ";
  r.Pdf.AddPage(content, {}, "/Resources << /XObject << /X1 " + std::to_string(form) + " 0 R >> >>");
  r.Show();
  EXPECT_EQ(r.Dev.Grep("SaveState").size(), r.Dev.Grep("RestoreState").size());
  EXPECT_EQ(r.Dev.Lines.back(), "EndPage");
}

TEST(ContentStream, LigatureGlyphsDrawEveryCharacterOfTheirText) {
  // ToUnicode maps "F" to "ffi": three characters share the glyph's 6.11 advance; the word
  // spacing of Tw follows code 32 only.
  PageRun r;
  const int tu = r.Pdf.AddStream("", "1 begincodespacerange <00> <FF> endcodespacerange "
                                     "1 beginbfchar <46> <006600660069> endbfchar");
  const int font = r.Pdf.AddObject("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /ToUnicode " +
                                   std::to_string(tu) + " 0 R >>");
  r.Pdf.AddPage("BT /L 10 Tf 3 Tw (F ) Tj ET", {{"L", font}});
  r.Show();
  EXPECT_EQ(r.Dev.Text, "ffi ");
  auto chars = r.Dev.Grep("DrawChar");
  ASSERT_EQ(chars.size(), 4u);
  EXPECT_EQ(chars[0], "DrawChar 0.00 0.00 2.04 0.00 102");
  EXPECT_EQ(chars[2], "DrawChar 4.07 0.00 2.04 0.00 105");
  EXPECT_EQ(chars[3], "DrawChar 6.11 0.00 5.78 0.00 32");
}

TEST(ContentStream, SpacingAndScalingEnterTheAdvance) {
  PageRun r;
  r.Play("BT /F1 10 Tf 1 Tc 2 Tw 50 Tz (A ) Tj ET");
  auto chars = r.Dev.Grep("DrawChar");
  ASSERT_EQ(chars.size(), 2u);
  // (6.67 + 1) × 0.5 for A; space (278) gets word spacing too: (2.78 + 1 + 2) × 0.5.
  EXPECT_EQ(chars[0], "DrawChar 0.00 0.00 3.83 0.00 65");
  EXPECT_EQ(chars[1], "DrawChar 3.83 0.00 2.89 0.00 32");
}

// A page written by hand: catalog 1, pages 2, page 3 with the given Contents entry.
void HandPage(TkwTestPdf& APdf, const std::string& AContents) {
  APdf.SetAutoCatalog(false);
  APdf.AddObject("<< /Type /Catalog /Pages 2 0 R >>");
  APdf.AddObject("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
  APdf.AddObject("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] "
                 "/Resources << /Font << /F1 4 0 R >> >> " + AContents + " >>");
  APdf.AddObject("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  APdf.SetRoot(1);
}

TEST(ContentStream, OperandsCarryOverToTheNextStream) {
  TkwTestPdf pdf;
  HandPage(pdf, "/Contents [5 0 R 6 0 R]");
  pdf.AddStream("", "BT /F1 12");
  pdf.AddStream("", "Tf (A) Tj ET");
  PageRun r;
  r.Doc.LoadFromBytes(pdf.Save());
  DisplayPage(r.Doc, r.Dev, 1, 72, 72, 0, true, false, false, true);
  EXPECT_EQ(r.Dev.Text, "A");
  EXPECT_TRUE(r.Has("UpdateFont 12"));
}

TEST(ContentStream, SaveRestoreReachTheDeviceInPairs) {
  PageRun r;
  r.Play("q 5 w q Q Q Q");
  EXPECT_EQ(r.Dev.Grep("SaveState").size(), 2u);
  EXPECT_EQ(r.Dev.Grep("RestoreState").size(), 2u);
  EXPECT_EQ(r.Dev.Lines.front(), "StartPage 1");
  EXPECT_EQ(r.Dev.Lines.back(), "EndPage");
}

TEST(ContentStream, InlineImageDataIsSkippedUpToEI) {
  PageRun r;
  // The data holds "EI" inside it; the length from the dictionary keeps it in the image.
  r.Play("BI /W 4 /H 1 /BPC 8 /CS /G ID EIEI EI BT /F1 10 Tf (Z) Tj ET");
  EXPECT_EQ(r.Dev.Text, "Z");
}

TEST(ContentStream, FormsAreHandedOverWholeOrPlayedOnRequest) {
  for (bool play : {false, true}) {
    PageRun r;
    r.Dev.PlayForms = play;
    const int form = r.Pdf.AddStream(
        "/Type /XObject /Subtype /Form /BBox [0 0 100 100] /Matrix [1 0 0 1 10 20] "
        "/Resources << /Font << /F1 3 0 R >> >>",
        "BT /F1 10 Tf (F) Tj ET");
    r.Pdf.AddPage("/X1 Do", {{"F1", r.F1}},
                  "/Resources << /Font << /F1 3 0 R >> /XObject << /X1 " +
                      std::to_string(form) + " 0 R >> >>");
    r.Show();
    EXPECT_EQ(r.Dev.Grep("DrawForm").size(), 1u);
    EXPECT_EQ(r.Dev.Text, play ? "F" : "");
    if (play) {
      EXPECT_TRUE(r.Has("UpdateCTM 1.00 0.00 0.00 1.00 10.00 20.00"));
    }
  }
}

TEST(ContentStream, FormDrawingItselfStops) {
  PageRun r;
  r.Dev.PlayForms = true;
  const int form = r.Pdf.ReserveObject();
  r.Pdf.SetStream(form,
                  "/Type /XObject /Subtype /Form /BBox [0 0 10 10] /Resources << /XObject << /Me " +
                      std::to_string(form) + " 0 R >> >>",
                  "/Me Do");
  r.Pdf.AddPage("/Me Do", {}, "/Resources << /XObject << /Me " + std::to_string(form) + " 0 R >> >>");
  r.Show();
  // Once from the page, once from inside the form, where the guard stops it.
  EXPECT_EQ(r.Dev.Grep("DrawForm").size(), 2u);
  EXPECT_EQ(r.Dev.Lines.back(), "EndPage");
}

TEST(ContentStream, GarbageDoesNotStopTheRestOfThePage) {
  PageRun r;
  r.Play("] >> } ) 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 "
         "30 31 32 33 34 w BT /F1 10 Tf (ok) Tj ET");
  EXPECT_EQ(r.Dev.Text, "ok");
}

TEST(ContentStream, PageWithoutContentsStillStartsAndEnds) {
  TkwTestPdf pdf;
  HandPage(pdf, "");
  PageRun r;
  r.Doc.LoadFromBytes(pdf.Save());
  DisplayPage(r.Doc, r.Dev, 1, 72, 72, 0, true, false, false, true);
  ASSERT_GE(r.Dev.Lines.size(), 2u);
  EXPECT_EQ(r.Dev.Lines.front(), "StartPage 1");
  EXPECT_EQ(r.Dev.Lines.back(), "EndPage");
}

// A device that fails, as lower layers can, whenever a line width of 2 or more is set.
class TFailingDevice : public TkwTraceDevice {
public:
  std::exception_ptr Failure;
  void UpdateLineWidth(TkwPDState& S) override {
    TkwTraceDevice::UpdateLineWidth(S);
    if (S.FLineWidth >= 2) std::rethrow_exception(Failure);
  }
};

struct TFailureRun {
  TkwTestPdf Pdf;
  int F1 = Pdf.AddFont("Helvetica");
  TkwPDDocument Doc;
  TFailingDevice Dev;

  void Play(std::exception_ptr AFailure, const std::string& AContent) {
    Dev.Failure = std::move(AFailure);
    Pdf.AddPage(AContent, {{"F1", F1}});
    Doc.LoadFromBytes(Pdf.Save());
    DisplayPage(Doc, Dev, 1, 72, 72, 0, true, false, false, true);
  }
  int Count(TkwDiagCode ACode) const { return Doc.GetDiagnostics()->Count(ACode); }
};

struct ToleratedCase {
  const char* Name;
  std::exception_ptr Failure;
  TkwDiagCode Noted;
};

class ToleratedFailure : public ::testing::TestWithParam<ToleratedCase> {};

TEST_P(ToleratedFailure, DropsTheOperatorAndKeepsThePage) {
  TFailureRun r;
  r.Play(GetParam().Failure, "1 w BT /F1 10 Tf (a) Tj ET 2 w BT /F1 10 Tf (b) Tj ET");
  EXPECT_EQ(r.Dev.Text, "ab");
  EXPECT_EQ(r.Dev.Lines.back(), "EndPage");
  EXPECT_EQ(r.Count(GetParam().Noted), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ToleratedFailure,
    ::testing::Values(ToleratedCase{"CoreError", std::make_exception_ptr(ExInvalidStream()), TkwDiagCode::dcBadOperator},
                      ToleratedCase{"Cap", std::make_exception_ptr(ELimitExceeded()), TkwDiagCode::dcLimitReached}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(ContentFailure, OutOfMemoryEndsTheJob) {
  TFailureRun r;
  EXPECT_THROW(r.Play(std::make_exception_ptr(std::bad_alloc()), "2 w BT /F1 10 Tf (a) Tj ET"), std::bad_alloc);
}

TEST(ContentFailure, ABugSurfacesInCheckedBuildsAndCostsOnlyTheOperatorInRelease) {
  TFailureRun r;
  const auto play = [&] { r.Play(std::make_exception_ptr(std::out_of_range("bug")), "2 w BT /F1 10 Tf (a) Tj ET"); };
  if constexpr (kTolerateInternalErrors) {
    play();
    EXPECT_EQ(r.Dev.Text, "a");
  } else {
    EXPECT_THROW(play(), std::out_of_range);
  }
}

TEST(ContentFailure, TooManyErrorsDropTheRestOfTheStreamButNotThePage) {
  TFailureRun r;
  std::string content;
  for (int i = 0; i <= kMaxSyntaxErrorsPerPage; ++i) content += "2 w ";
  r.Play(std::make_exception_ptr(ExInvalidStream()), content + "BT /F1 10 Tf (lost) Tj ET");
  EXPECT_EQ(r.Dev.Text, "");
  EXPECT_EQ(r.Dev.Lines.back(), "EndPage");
  EXPECT_EQ(r.Count(TkwDiagCode::dcBadOperator), kMaxSyntaxErrorsPerPage + 1);
  EXPECT_EQ(r.Count(TkwDiagCode::dcLimitReached), 1);
}

}  // namespace
}  // namespace qm
