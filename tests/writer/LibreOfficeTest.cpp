#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/JPEGImage.h"
#include "tests/writer/WriterTestUtil.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using namespace writertest;
using rtftest::TRtfDocument;

bool HaveSoffice() { return std::system("command -v soffice >/dev/null 2>&1") == 0; }

std::unique_ptr<TBitmap> Picture(int W, int H, std::uint32_t AColor) {
  auto owned = std::make_unique<TBitmap>(W, H);
  TBitmap& bmp = *owned;
  bmp.FillRect(0, 0, W, H, AColor);
  bmp.FillRect(W / 4, H / 4, W / 2, H / 2, 0x000000);
  return owned;
}

void Para(TkwRTFDoc& ADoc, const std::u16string& AText, double ATab = 0) {
  ADoc.BeginPara();
  ADoc.WriteText(AText, ATab, 0);
  ADoc.EndPara();
}

// A document with most of what the writer can express, written to APath.
void WriteSampleDocument(const fs::path& APath) {
  auto doc = MakeDoc();
  doc->SetOutputFileName(APath.string());
  doc->SetMeasurementUnit(TkwMeasurementUnit::muPoints);
  TkwPageSettings ps;
  ps.SetNativeFactor(96.0 / 72);
  ps.SetLeftMargin(72);
  ps.SetRightMargin(36);
  ps.SetTopMargin(72);
  ps.SetBottomMargin(36);
  doc->SetPageSettings(ps);
  doc->BeginDoc();
  TFont f;
  f.Name = "Liberation Serif";
  f.Size = 12;
  doc->SetFont(f);
  Para(*doc, u"Alpha caf\u00E9 costs 5\u20AC {braced}");
  f.Style = fsBold | fsUnderline;
  doc->SetFont(f);
  doc->BeginPara();
  doc->WriteText(u"Bold", 0, 0);
  f.Style = 0;
  doc->SetFont(f);
  doc->WriteText(u"Tabbed", 200, 0);
  doc->EndPara();

  doc->BeginBulletList(f, u'o', 1, 0, 0);
  Para(*doc, u"Bullet one");
  Para(*doc, u"Bullet two");
  doc->EndList();
  doc->BeginNumberedList(0, 0, 1, 0);
  Para(*doc, u"Number one");
  Para(*doc, u"Number two");
  doc->EndList();

  doc->SetPen({clBlack, TPenStyle::psSolid, 1});
  doc->SetBrush({clWhite, TBrushStyle::bsClear});
  doc->BeginTable(2, 0, 0);
  for (int row = 0; row < 2; ++row) {
    doc->AddRow(20);
    for (int cell = 0; cell < 2; ++cell) {
      doc->SetCellRight(cell, 150.0 * (cell + 1));
      doc->BeginCellPara(cell);
      doc->WriteText(row == 0 ? (cell == 0 ? u"Cell A1" : u"Cell B1") : (cell == 0 ? u"Cell A2" : u"Cell B2"));
      doc->EndPara();
    }
  }
  doc->EndTable();
  doc->EndPage();

  doc->NewPage();
  doc->BeginColumns(2, 40, {{20, 200}, {0, 200}});
  Para(*doc, u"Left column");
  doc->ColumnBreak();
  Para(*doc, u"Right column");
  doc->NewSection();
  const auto pngOwned = Picture(60, 40, 0x0000FF);
  const TBitmap& png = *pngOwned;
  doc->AddImage({72, 200, 132, 240}, png);
  TJPEGImage jpeg;
  jpeg.Assign(*Picture(50, 50, 0xFF0000), 90);
  doc->AddImage({200, 200, 250, 250}, jpeg);
  doc->DrawRectangle(true, {100, 400}, {300, 450});
  doc->DrawLine({100, 500}, {300, 520});
  doc->BeginTextBox({300, 300, 450, 360}, 0, 0);
  Para(*doc, u"Boxed words");
  doc->EndTextBox();
  Para(*doc, u"Closing line");
  doc->EndPage();
  doc->NewPage();
  Para(*doc, u"Third page");
  doc->EndPage();
  doc->EndDoc();
}

std::vector<std::string> WordsOf(const std::string& AText) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : AText) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

TEST(LibreOffice, OpensTheDocumentAndFindsItsText) {
  if (!HaveSoffice()) GTEST_SKIP() << "soffice is not installed";
  const fs::path dir = fs::temp_directory_path() / ("qm_writer_lo_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path rtf = dir / "sample.rtf";
  WriteSampleDocument(rtf);

  std::ifstream in(rtf, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  const auto reader = TRtfDocument::Parse(bytes.str());
  EXPECT_EQ(reader.UnbalancedBraces(), 0);
  EXPECT_EQ(reader.RowCount(), 2);
  EXPECT_EQ(reader.CellCount(), 4);
  EXPECT_EQ(reader.Pictures().size(), 2u);

  const std::string cmd = "cd " + dir.string() + " && timeout 120 soffice -env:UserInstallation=file://" +
                          (dir / "profile").string() +
                          " --headless --convert-to txt:Text --outdir " + dir.string() + " " + rtf.string() +
                          " >" + (dir / "soffice.log").string() + " 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream txtIn(dir / "sample.txt", std::ios::binary);
  ASSERT_TRUE(txtIn.good());
  std::stringstream txt;
  txt << txtIn.rdbuf();
  std::string text = txt.str();
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);

  // LibreOffice writes list labels into plain text and leaves out the text of frames;
  // every other word must come back in order.
  std::vector<std::string> expected;
  for (const std::string& w : reader.Words()) {
    if (w != "Boxed" && w != "words") expected.push_back(w);
  }
  std::vector<std::string> found;
  for (const std::string& w : WordsOf(text)) {
    if (w == "o" || w == "1." || w == "2." || w == "•") continue;
    if (w == "Boxed" || w == "words") continue;
    found.push_back(w);
  }
  EXPECT_EQ(found, expected) << text;
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qm
