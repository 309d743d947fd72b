#include <gtest/gtest.h>

#include <exception>
#include <new>
#include <stdexcept>
#include <typeinfo>

#include "tests/writer/WriterTestUtil.h"

namespace qm {
namespace {

using namespace writertest;
using rtftest::TRtfDocument;

TEST(Sections, ThreePagesMakeThreePageSections) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  for (int page = 1; page <= 3; ++page) {
    if (page > 1) {
      EXPECT_EQ(doc->NewPage(), page);
    }
    doc->BeginPara();
    doc->WriteText(u"page");
    doc->EndPara();
    doc->EndPage();
  }
  EXPECT_EQ(doc->GetDocArea().GetSections().size(), 3u);
  doc->EndDoc();
  const std::string& rtf = doc->GetRTFText();
  EXPECT_EQ(Occurrences(rtf, "\r\n\\sectd{\\dntblnsbdb\\pgwsxn11905\\pghsxn16838"), 3);
  EXPECT_EQ(Occurrences(rtf, "\\sect\r\n}"), 3);
  EXPECT_TRUE(Contains(rtf, "\r\n\\paperw11905\\paperh16838\\margl0\\margr0\\margt0\\margb0\\headery0\\footery0"
                            "\\nouicompat\\lnbrkrule\\paperw11905"));
  EXPECT_EQ(TRtfDocument::Parse(rtf).UnbalancedBraces(), 0);
}

TEST(Sections, LandscapeAndBinAndColumns) {
  auto doc = MakeDoc();
  TkwPageSettings ps;
  ps.SetOrientation(TPrinterOrientation::poLandscape);
  ps.SetBinNumber(2);
  ps.SetLeftMargin(96);
  doc->SetPageSettings(ps);
  doc->BeginDoc();
  doc->BeginColumns(2, 40, {{24, 300}, {0, 300}});
  doc->BeginPara();
  doc->WriteText(u"left");
  doc->EndPara();
  doc->ColumnBreak();
  doc->BeginPara();
  doc->WriteText(u"right");
  doc->EndPara();
  // Columns ended and begun again with nothing between: no empty section, which a
  // reader would give a line of its own.
  doc->NewSection();
  doc->BeginColumns(2, 40, {{24, 300}, {0, 300}});
  doc->NewSection();
  doc->BeginPara();
  doc->WriteText(u"below");
  doc->EndPara();
  doc->EndDoc();
  const std::string& rtf = doc->GetRTFText();
  EXPECT_TRUE(Contains(rtf, "\r\n\\sectd{\\lndscpsxn\\dntblnsbdb\\pgwsxn16838"));
  EXPECT_TRUE(Contains(rtf, "\\binfsxn2\\binsxn2\\headery0"));
  EXPECT_TRUE(Contains(rtf, "\\sectd\\sbknone{\\cols2\\colno1\\colsr360\\colw4500\\marglsxn1440\\margrsxn0"
                            "\\colno2\\colsr0\\colw4500\\marglsxn1440"));
  EXPECT_TRUE(Contains(rtf, "\\column \r\n"));
  EXPECT_EQ(Occurrences(rtf, "\\sectd\\sbknone\\cols1{"), 1);
  EXPECT_EQ(Occurrences(rtf, "\\cols2"), 1);
  const auto reader = TRtfDocument::Parse(rtf);
  EXPECT_EQ(reader.Cols(), (std::vector<int>{2, 1}));
  EXPECT_EQ(reader.Words(), (std::vector<std::string>{"left", "right", "below"}));
}

TEST(Sections, HeaderAndFooterLists) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  doc->BeginHeader();
  doc->BeginPara();
  doc->WriteText(u"head");
  doc->EndPara();
  doc->EndHeader();
  doc->BeginFooter();
  doc->BeginPara();
  doc->WriteText(u"foot");
  doc->EndPara();
  doc->EndFooter();
  doc->BeginPara();
  doc->WriteText(u"body");
  doc->EndPara();
  doc->EndDoc();
  const std::string& rtf = doc->GetRTFText();
  const auto h = rtf.find("{\\header");
  const auto b = rtf.find("body");
  const auto f = rtf.find("{\\footer");
  ASSERT_NE(h, std::string::npos);
  ASSERT_NE(f, std::string::npos);
  EXPECT_LT(h, b);
  EXPECT_LT(b, f);
}

TEST(Tables, TwoRowsThreeCellsWithClearPenAndBrush) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  TPen pen;
  pen.Style = TPenStyle::psClear;
  pen.Width = 0;
  doc->SetPen(pen);
  doc->SetBrush({clWhite, TBrushStyle::bsClear});
  doc->BeginTable(3, 8, 100);
  for (int row = 0; row < 2; ++row) {
    EXPECT_EQ(doc->AddRow(20), 0);
    for (int cell = 0; cell < 3; ++cell) {
      doc->SetCellRight(cell, 100.0 * (cell + 1));
      doc->GetTableSettings().CellVAlign = 1;
      doc->BeginCellPara(cell);
      doc->WriteText(u"r" + std::u16string(1, static_cast<char16_t>(u'0' + row)) + u"c" +
                     std::u16string(1, static_cast<char16_t>(u'0' + cell)));
      doc->EndPara();
      if (cell == 2) {
        doc->BeginCellPara(cell);
        doc->WriteText(u"more");
        doc->EndPara();
      }
    }
  }
  doc->EndTable();
  doc->EndDoc();
  const std::string& rtf = doc->GetRTFText();
  const auto reader = TRtfDocument::Parse(rtf);
  EXPECT_EQ(reader.RowCount(), 2);
  EXPECT_EQ(reader.CellCount(), 6);
  EXPECT_EQ(reader.CountWord("cellx"), 6);
  EXPECT_EQ(reader.UnbalancedBraces(), 0);
  EXPECT_TRUE(Contains(rtf, "\\pard\\trowd\\trql\\trrh-300\\trleft120\r\n"));
  // A clear pen and brush draw nothing: no border word (which, bare, readers show as a
  // border of their own choosing) and no shading.
  EXPECT_TRUE(Contains(rtf, "\\trleft120\r\n\\clvertalc\\ql\\cellx1500\r\n"));
  EXPECT_FALSE(Contains(rtf, "\\clbrdr"));
  EXPECT_FALSE(Contains(rtf, "\\clcbpat"));
  EXPECT_TRUE(Contains(rtf, "\\pard\\intbl\\ql"));
  EXPECT_TRUE(Contains(rtf, "r1c2\r\n\\par}"));   // an earlier paragraph of the cell
  EXPECT_TRUE(Contains(rtf, "more\r\n}\\cell"));  // the last one
  EXPECT_FALSE(Contains(rtf, "r0c0\\par"));
  EXPECT_TRUE(Contains(rtf, " \\pard\\intbl \\row "));
  const auto paras = reader.Paragraphs();
  ASSERT_GE(paras.size(), 8u);
  EXPECT_TRUE(paras[0].InTable);
}

TEST(Tables, BorderStylesAndShadingWords) {
  struct Case {
    TPenStyle Pen;
    TBrushStyle Brush;
    std::vector<std::string> Expected;
  };
  // Every border in full: style, width and colour.
  const Case cases[] = {
      {TPenStyle::psSolid, TBrushStyle::bsSolid,
       {"\\clbrdrt\\brdrs\\brdrw15\\brdrcf", "\\clbrdrl\\brdrs\\brdrw15\\brdrcf", "\\clcbpat"}},
      {TPenStyle::psDash, TBrushStyle::bsCross, {"\\clbrdrb\\brdrdash\\brdrw15\\brdrcf", "\\clbgcross\\clcfpat"}},
      {TPenStyle::psDot, TBrushStyle::bsHorizontal, {"\\clbrdrr\\brdrdot\\brdrw15\\brdrcf", "\\clbghoriz"}},
      {TPenStyle::psDashDotDot, TBrushStyle::bsSolid, {"\\brdrdash\\brdrw15\\brdrcf", "\\clcbpat"}},
  };
  for (const Case& c : cases) {
    auto doc = MakeDoc();
    doc->BeginDoc();
    doc->SetPen({clBlack, c.Pen, 1});
    doc->SetBrush({clRed, c.Brush});
    doc->BeginTable(1, 0, 0);
    doc->AddAutoRow();
    doc->SetCellRight(0, 50);
    doc->EndTable();
    doc->EndDoc();
    for (const std::string& expected : c.Expected) EXPECT_TRUE(Contains(doc->GetRTFText(), expected)) << expected;
    EXPECT_EQ(TRtfDocument::Parse(doc->GetRTFText()).CountWord("brdrw"), 4);
    EXPECT_TRUE(Contains(doc->GetRTFText(), "\\trrh0\\trleft0"));  // automatic row
    EXPECT_TRUE(Contains(doc->GetRTFText(), "\\red255\\green0\\blue0;"));  // shading colour registered
  }
}

TEST(Tables, CellBordersShadingAndMergesFromTheTableSettings) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  doc->SetPen({clBlack, TPenStyle::psClear, 0});
  doc->SetBrush({clWhite, TBrushStyle::bsClear});
  doc->BeginTable(2, 0, 0);
  doc->AddAutoRow();
  auto& ts = doc->GetTableSettings();
  ts.CellBorders[sdTop] = {TkwBorderStyle::bdDouble, 2, clBlue};
  ts.CellBorders[sdLeft] = {TkwBorderStyle::bdDotted, 1, clRed};
  ts.CellShading = clLime;
  ts.CellMergeAcross = 1;
  doc->SetCellRight(0, 50);
  ts.CellBorders[sdTop] = ts.CellBorders[sdLeft] = {};
  ts.CellShading = clNone;
  ts.CellMergeAcross = 2;
  doc->SetCellRight(1, 100);
  doc->EndTable();
  doc->EndDoc();
  const std::string& rtf = doc->GetRTFText();
  const auto reader = TRtfDocument::Parse(rtf);
  EXPECT_EQ(reader.CountWord("clbrdrt"), 1);
  EXPECT_EQ(reader.CountWord("clbrdrl"), 1);
  EXPECT_EQ(reader.CountWord("clbrdrb") + reader.CountWord("clbrdrr"), 0);
  EXPECT_TRUE(Contains(rtf, "\\clmgf\\clbrdrt\\brdrdb\\brdrw30\\brdrcf"));
  EXPECT_TRUE(Contains(rtf, "\\clbrdrl\\brdrdot\\brdrw15\\brdrcf"));
  EXPECT_EQ(reader.CountWord("clmrg"), 1);
  EXPECT_EQ(reader.CountWord("clcbpat"), 1);
  EXPECT_TRUE(Contains(rtf, "\\red0\\green255\\blue0;"));
}

TEST(Paragraphs, BordersAreWrittenInFullAndShadingAsBackground) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  TkwParaBorder border;
  border.DrawTop = border.DrawBottom = true;
  border.Width = 2;
  border.Color = clRed;
  border.Spacing = 3;
  doc->GetTextFormatting().SetBorder(border);
  doc->SetBrush({clBlue, TBrushStyle::bsSolid});
  doc->BeginPara();
  doc->WriteText(u"framed");
  doc->EndPara();
  doc->EndDoc();
  const std::string& rtf = doc->GetRTFText();
  EXPECT_TRUE(Contains(rtf, "\\brdrt\\brdrs\\brdrw30\\brdrcf"));
  EXPECT_TRUE(Contains(rtf, "\\brdrb\\brdrs\\brdrw30\\brdrcf"));
  EXPECT_EQ(TRtfDocument::Parse(rtf).CountWord("brsp"), 2);
  EXPECT_EQ(TRtfDocument::Parse(rtf).CountWord("cbpat"), 1);
}

TEST(Tables, AddRowWithoutTableReportsFailure) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  EXPECT_EQ(doc->AddRow(10), kWriterOperationFailed);
}

// Where a page's pictures and shapes go: into the next paragraph of the page, after its
// formatting and before its text, so that a word processor opens no empty paragraph for
// them; with no paragraph to follow on their page they stand on their own.
// A table of one row and one cell holding "cell".
void WriteOneCellTable(TkwRTFDoc& ADoc) {
  ADoc.BeginTable(1, 0, 0);
  ADoc.AddRow(12);
  ADoc.SetCellRight(0, 100);
  ADoc.BeginCellPara(0);
  ADoc.WriteText(u"cell");
  ADoc.EndPara();
  ADoc.EndTable();
}

struct TAnchorCase {
  const char* Name;
  bool TextAfter;     // a paragraph follows on the page
  bool Columns;       // that paragraph is in a band of columns
  bool TableFirst;    // a table comes between the picture and the paragraph
};

class Anchoring : public ::testing::TestWithParam<TAnchorCase> {};

TEST_P(Anchoring, PicturesGoIntoTheNextParagraphOfTheirPage) {
  const auto& param = GetParam();
  auto doc = MakeDoc();
  doc->BeginDoc();
  TBitmap bmp(4, 4);
  doc->AddImage({10, 10, 50, 50}, bmp);
  doc->DrawRectangle(false, {10, 60}, {110, 70});
  if (param.TableFirst) {
    WriteOneCellTable(*doc);
  }
  if (param.Columns) {
    doc->BeginColumns(2, 40, {{20, 200}, {0, 200}});
  }
  if (param.TextAfter) {
    doc->BeginPara();
    doc->WriteText(u"first words");
    doc->EndPara();
  }
  doc->EndPage();
  doc->NewPage();
  doc->BeginPara();
  doc->WriteText(u"next page");
  doc->EndPara();
  doc->EndDoc();
  const std::string& rtf = doc->GetRTFText();
  EXPECT_EQ(TRtfDocument::Parse(rtf).UnbalancedBraces(), 0);
  EXPECT_EQ(Occurrences(rtf, "{\\shp{"), 2);
  const auto picture = rtf.find("{\\shp{");
  const auto nextPage = rtf.find("next page");
  ASSERT_NE(picture, std::string::npos);
  EXPECT_LT(rtf.rfind("{\\shp{"), nextPage);  // never carried onto another page
  const auto paragraph = rtf.rfind("{\\pard", picture);
  const bool inParagraph = paragraph != std::string::npos && rtf.find("\\par}", paragraph) > picture &&
                           rtf.find("first words", paragraph) < rtf.find("\\par}", paragraph);
  EXPECT_EQ(inParagraph, param.TextAfter && !param.TableFirst);
  if (inParagraph) {
    // After the paragraph's formatting, before its text.
    EXPECT_LT(rtf.find("\\sl", paragraph), picture);
    EXPECT_LT(rtf.rfind("{\\shp{"), rtf.find("first words"));
  }
}

INSTANTIATE_TEST_SUITE_P(Pages, Anchoring,
                         ::testing::Values(TAnchorCase{"Paragraph", true, false, false},
                                           TAnchorCase{"ColumnParagraph", true, true, false},
                                           TAnchorCase{"NoText", false, false, false},
                                           TAnchorCase{"TableBetween", true, false, true}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

struct TTableEndCase {
  const char* Name;
  int Next;  // 0 end of page, 1 column break, 2 a band of columns, 3 a paragraph
};

class TableEnd : public ::testing::TestWithParam<TTableEndCase> {};

// A reader ends a table with a paragraph of the default font's height before a break: the
// table is followed by one that takes no height instead, unless text follows it.
TEST_P(TableEnd, BeforeABreakComesAParagraphOfNoHeight) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  if (GetParam().Next == 1) {
    doc->BeginColumns(2, 40, {{20, 200}, {0, 200}});
  }
  WriteOneCellTable(*doc);
  if (GetParam().Next == 1) {
    doc->ColumnBreak();
  } else if (GetParam().Next == 2) {
    doc->BeginColumns(2, 40, {{20, 200}, {0, 200}});
  }
  if (GetParam().Next != 0) {
    doc->BeginPara();
    doc->WriteText(u"after");
    doc->EndPara();
  }
  doc->EndPage();
  doc->EndDoc();
  const std::string& rtf = doc->GetRTFText();
  EXPECT_EQ(TRtfDocument::Parse(rtf).UnbalancedBraces(), 0);
  const auto tableEnd = rtf.find("\\row \\pard}");
  ASSERT_NE(tableEnd, std::string::npos);
  const std::string empty = "{\\pard\\plain\\sb0\\sa0\\sl-1\\slmult0\\fs2 \\par}";
  const auto emptyAt = rtf.find(empty, tableEnd);
  const auto breakAt = std::min(rtf.find("\\sect", tableEnd), rtf.find("\\column", tableEnd));
  const bool followed = emptyAt != std::string::npos && emptyAt < breakAt && emptyAt < rtf.find("after", tableEnd);
  EXPECT_EQ(followed, GetParam().Next != 3) << rtf.substr(tableEnd);
}

INSTANTIATE_TEST_SUITE_P(Breaks, TableEnd,
                         ::testing::Values(TTableEndCase{"EndOfPage", 0}, TTableEndCase{"ColumnBreak", 1},
                                           TTableEndCase{"Columns", 2}, TTableEndCase{"Paragraph", 3}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(Shapes, RectangleTwipsAndFallback) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  doc->DrawRectangle(false, {110, 70}, {10, 20});
  doc->DrawRectangle(false, {10, 20}, {110, 70});
  doc->EndDoc();
  const std::string& rtf = doc->GetRTFText();
  EXPECT_EQ(Occurrences(rtf, "\\shpleft150\\shptop300\\shpright1650\\shpbottom1050"), 2);
  EXPECT_TRUE(Contains(rtf, "{\\*\\do\\dobxpage\\dobypage\\dprect\\dpx150\\dpy300\\dpxsize1500\\dpysize750"));
  EXPECT_TRUE(Contains(rtf, "{\\sp{\\sn shapeType}{\\sv 1}}"));
  EXPECT_FALSE(Contains(rtf, "fillColor"));
  EXPECT_EQ(TRtfDocument::Parse(rtf).UnbalancedBraces(), 0);
}

TEST(Shapes, EveryKindBalancesAndPolygonGeometry) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  doc->SetPen({clBlue, TPenStyle::psDash, 1});
  doc->SetBrush({clLime, TBrushStyle::bsSolid});
  doc->DrawLine({0, 0}, {30, 15});
  doc->DrawRoundRect(true, {0, 0}, {40, 40}, {500, 500});
  doc->DrawEllipse(true, {10, 10}, {20, 30});
  doc->DrawPolygon({{20, 10}, {0, 30}, {40, 30}}, false);
  doc->DrawPolyline({{5, 5}, {10, 20}});
  doc->DrawArc({0, 0}, {40, 20}, {40, 10}, {0, 10});
  doc->DrawChord(true, {0, 0}, {1, 1}, {2, 2}, {3, 3});  // accepted, not written
  doc->EndDoc();
  const std::string& rtf = doc->GetRTFText();
  const auto reader = TRtfDocument::Parse(rtf);
  EXPECT_EQ(reader.UnbalancedBraces(), 0);
  EXPECT_EQ(reader.CountWord("shp"), 5);
  EXPECT_TRUE(Contains(rtf, "{\\*\\do\\dobxpage\\dobypage\\dpline\\dpx0\\dpy0\\dpxsize450\\dpysize225"));
  EXPECT_TRUE(Contains(rtf, "\\dprect\\dproundr\\dpx0\\dpy0\\dpxsize600"));
  EXPECT_TRUE(Contains(rtf, "{\\sp{\\sn pVerticies}{\\sv 8;3;(300,0);(0,300);(600,300);}}"));
  EXPECT_TRUE(Contains(rtf, "\\dppolygon\\dppolycount3\\dpptx300\\dppty0\\dpptx0\\dppty300"));
  EXPECT_TRUE(Contains(rtf, "{\\sp{\\sn lineDashing}{\\sv 1}}"));
  EXPECT_TRUE(Contains(rtf, "{\\sp{\\sn lineColor}{\\sv 16711680}}"));
  EXPECT_TRUE(Contains(rtf, "{\\sp{\\sn fillColor}{\\sv 65280}}"));
  // the rounded rectangle's box ignores the corner point
  EXPECT_TRUE(Contains(rtf, "\\shpleft0\\shptop0\\shpright600\\shpbottom600"));
  // the arc is a positioned picture
  EXPECT_TRUE(Contains(rtf, "{\\pard\\pvpg\\phpg\\posx0\\posy0\\overlay{\\pict\\jpegblip\\picw600\\pich300"));
  EXPECT_EQ(reader.Pictures().size(), 1u);
}

TEST(TextBoxes, ParagraphsGoIntoTheBox) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  doc->BeginTextBox({10, 20, 110, 70}, 2, 1);
  doc->BeginPara();
  doc->WriteText(u"boxed");
  doc->EndPara();
  doc->EndTextBox();
  doc->BeginPara();
  doc->WriteText(u"outside");
  doc->EndPara();
  doc->EndDoc();
  const std::string& rtf = doc->GetRTFText();
  EXPECT_TRUE(Contains(rtf, "{\\shp{\\*\\shpinst\\shpleft150\\shptop300\\shpright1650\\shpbottom1050\\shpfhdr0"));
  EXPECT_TRUE(Contains(rtf, "{\\sp{\\sn posh}{\\sv 2}}"));
  EXPECT_TRUE(Contains(rtf, "{\\sp{\\sn anchorText}{\\sv 1}}"));
  EXPECT_TRUE(Contains(rtf, "\\dptxbx\\dpx150\\dpy300\\dpxsize1500\\dpysize750{\\dptxbxtext"));
  EXPECT_EQ(Occurrences(rtf, "boxed"), 2);
  const auto reader = TRtfDocument::Parse(rtf);
  EXPECT_EQ(reader.UnbalancedBraces(), 0);
  EXPECT_EQ(reader.Words(), (std::vector<std::string>{"boxed", "outside"}));
}

TEST(States, SaveRestoreAndInvalidIndex) {
  auto doc = MakeDoc();
  EXPECT_EQ(doc->SaveState(), -1);  // before the document
  doc->BeginDoc();
  TFont f;
  f.Name = "First";
  doc->SetFont(f);
  EXPECT_EQ(doc->SaveState(), 0);
  f.Name = "Second";
  doc->SetFont(f);
  EXPECT_EQ(doc->SaveState(), 1);
  f.Name = "Third";
  doc->SetFont(f);
  doc->RestoreState(-1);
  EXPECT_EQ(doc->GetFont().Name, "Second");
  doc->RestoreState(0);
  EXPECT_EQ(doc->GetFont().Name, "First");
  try {
    doc->RestoreState(2);
    FAIL();
  } catch (const EInvalidEngineState& e) {
    EXPECT_STREQ(e.what(), "Not a valid Engine State identifier");
  }
  std::string reported;
  doc->SetErrorHandler([&](TkwObject&, const std::exception& e) { reported = e.what(); });
  doc->RestoreState(5);
  EXPECT_EQ(reported, "Not a valid Engine State identifier");
  doc->ClearStates();
  EXPECT_EQ(doc->GetStateCount(), 0);
}

TEST(Units, PointsAreScaledToNative) {
  auto doc = MakeDoc();
  doc->SetMeasurementUnit(TkwMeasurementUnit::muPoints);
  doc->BeginDoc();
  doc->GetTextFormatting().SetLeftIndent(36);  // half an inch
  doc->BeginPara();
  doc->WriteText(u"x", 72, 0);
  doc->EndPara();
  doc->BeginTable(1, 72, 0);
  doc->AddRow(12);
  doc->SetCellRight(0, 144);
  doc->EndTable();
  doc->EndDoc();
  const std::string& rtf = doc->GetRTFText();
  EXPECT_TRUE(Contains(rtf, "\\li720"));
  EXPECT_TRUE(Contains(rtf, "\\tx1440\\tab x"));
  EXPECT_TRUE(Contains(rtf, "\\trrh-240\\trleft1440"));
  EXPECT_TRUE(Contains(rtf, "\\cellx2880"));
}

// How a failure inside one of the writer's document operations leaves it: what it threw,
// and the type and message the caller then catches.
struct TGuardCase {
  const char* Name;
  std::exception_ptr Thrown;
  const std::type_info& Caught;
  const char* Message;
};

class WriterGuard : public ::testing::TestWithParam<TGuardCase> {};

TEST_P(WriterGuard, WriterErrorsAndOutOfMemoryPassOthersBecomeTheWritersError) {
  try {
    WriterGuardedCall([] { std::rethrow_exception(GetParam().Thrown); });
    FAIL() << "nothing thrown";
  } catch (const std::exception& e) {
    EXPECT_EQ(typeid(e), GetParam().Caught) << typeid(e).name();
    if (GetParam().Message) {
      EXPECT_STREQ(e.what(), GetParam().Message);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Failures, WriterGuard,
    ::testing::Values(
        TGuardCase{"Plain", std::make_exception_ptr(std::runtime_error("Cannot write file")),
                   typeid(EkwWriterError), "Cannot write file"},
        TGuardCase{"Logic", std::make_exception_ptr(std::out_of_range("vector::_M_range_check")),
                   typeid(EkwWriterError), "vector::_M_range_check"},
        TGuardCase{"State", std::make_exception_ptr(EInvalidEngineState()), typeid(EInvalidEngineState),
                   "Not a valid Engine State identifier"},
        TGuardCase{"Graphics", std::make_exception_ptr(EUnsupportedGraphics()), typeid(EUnsupportedGraphics),
                   "Unknown Graphics format"},
        TGuardCase{"Memory", std::make_exception_ptr(std::bad_alloc()), typeid(std::bad_alloc), nullptr}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

}  // namespace
}  // namespace qm
