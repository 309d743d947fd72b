// A page does bounded work whatever its content asks for, and stops at once when the job
// is cancelled.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "base/Cancelled.h"
#include "base/Limits.h"
#include "base/kwDiagnostics.h"
#include "pdf/content/PageDisplay.h"
#include "pdf/content/kwPDContentStream.h"
#include "pdf/core/kwPDDocument.h"
#include "tests/support/pdf/TestPdf.h"

namespace qm {
namespace {

// Counts what reaches it; plays forms, as the content extractor does.
class TCountingDevice final : public TkwPDExportDevice {
public:
  TCountingDevice() { UseDrawChar = true; }
  void StartPage(int, TkwPDState&) override { ++Pages; }
  void EndPage() override { ++EndPages; }
  void Fill(TkwPDState&) override { ++Fills; }
  void DrawChar(TkwPDState&, double, double, double, double, int, std::string&) override {
    ++Glyphs;
    if (CancelAfterGlyphs > 0 && Glyphs == CancelAfterGlyphs && Cancel) Cancel->store(true);
  }
  void DrawImage(TkwPDState&, TkwPDImage&) override { ++Images; }
  void DrawFormXObject(TkwPDState& AState, TkwPDForm& AForm) override {
    if (FormPlayer) FormPlayer->PlayForm(AState, AForm, *this);
  }
  std::int64_t Pages = 0, EndPages = 0, Fills = 0, Glyphs = 0, Images = 0;
  std::int64_t CancelAfterGlyphs = 0;
  TkwCancelFlag* Cancel = nullptr;
};

std::string Repeat(const std::string& AText, int ACount) {
  std::string s;
  s.reserve(AText.size() * static_cast<std::size_t>(ACount));
  for (int i = 0; i < ACount; ++i) s += AText;
  return s;
}

struct TBudgetCase {
  const char* Name;
  int Copies;            // of Content
  const char* Content;
  bool FanOut;           // the page draws the form fan-out instead
  bool OverBudget;
};

class PageBudget : public ::testing::TestWithParam<TBudgetCase> {};

TEST_P(PageBudget, EndsThePageWithWhatItDrewAndSaysSo) {
  const TBudgetCase& c = GetParam();
  TkwTestPdf pdf;
  const int f1 = pdf.AddFont("Helvetica");
  if (c.FanOut) {
    pdf.AddPage("/X Do", {}, pdf.AddFormFanOut(f1));
  } else {
    pdf.AddPage(Repeat(c.Content, c.Copies), {{"F1", f1}});
  }
  TkwDiagnostics diag;
  TkwPDDocument doc;
  doc.SetDiagnostics(&diag);
  doc.LoadFromBytes(pdf.Save());
  TCountingDevice dev;
  const auto start = std::chrono::steady_clock::now();
  DisplayPage(doc, dev, 1, 72, 72, 0, true, false, false, true);
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
#ifdef NDEBUG
  EXPECT_LT(seconds, 5.0);  // checked builds are slower by a factor
#else
  (void)seconds;
#endif
  EXPECT_EQ(dev.EndPages, 1);  // the page is kept
  EXPECT_EQ(diag.Count(TkwDiagCode::dcPageBudget), c.OverBudget ? 1 : 0);
  EXPECT_LE(dev.Glyphs, kMaxPageGlyphs);
  EXPECT_LE(dev.Fills, kMaxPagePaths);
  EXPECT_EQ(dev.Pages, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, PageBudget,
    ::testing::Values(
        TBudgetCase{"FormsFannedOutInForms", 0, "", true, true},
        TBudgetCase{"TextPrintedOverItself", 60'000, "BT /F1 12 Tf 72 720 Td (Hello world) Tj ET\n", false, true},
        TBudgetCase{"ManyPaths", 1'100'000, "0 0 1 1 re f\n", false, true},
        TBudgetCase{"ManyOperators", 2'100'000, "q Q\n", false, true},
        TBudgetCase{"ADensePageIsUntouched", 5'000, "BT /F1 9 Tf 72 720 Td (A line of text) Tj ET 0 0 5 5 re f\n",
                    false, false}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

// A picture drawn again where it already is adds nothing to see: it is drawn once and
// counted once. Drawn in new places it is counted each time, up to the picture bytes.
struct TRepaintCase {
  const char* Name;
  std::string Content;
  std::int64_t Images;
  bool OverBudget;
};

std::string Places(int ACount) {
  std::string s;
  for (int i = 0; i < ACount; ++i) {
    s += "q 20 0 0 20 " + std::to_string(i % 500) + " " + std::to_string(i / 500) + " cm /Im Do Q\n";
  }
  return s;
}

class PictureRepaint : public ::testing::TestWithParam<TRepaintCase> {};

TEST_P(PictureRepaint, IsDrawnAndCountedOncePerPlace) {
  const TRepaintCase& c = GetParam();
  TkwTestPdf pdf;
  // 1000 × 1000 RGB: 3 MB a picture; the page holds kMaxPagePictureBytes of them.
  const int image = pdf.AddStream(
      "/Type /XObject /Subtype /Image /Width 1000 /Height 1000 /ColorSpace /DeviceRGB /BitsPerComponent 8 "
      "/Filter /FlateDecode",
      TkwTestPdf::Deflate(std::string(3'000'000, '\x40')));
  const int small = pdf.AddStream(
      "/Type /XObject /Subtype /Image /Width 2 /Height 2 /ColorSpace /DeviceGray /BitsPerComponent 8",
      std::string("\x10\x20\x30\x40", 4));
  const int mask = pdf.AddStream("/Type /XObject /Subtype /Image /Width 8 /Height 1 /ImageMask true", "\x55");
  pdf.AddPage(c.Content, {},
              "/Resources << /XObject << /Im " + std::to_string(image) + " 0 R /Small " + std::to_string(small) +
                  " 0 R /Mask " + std::to_string(mask) + " 0 R >> >>");
  TkwDiagnostics diag;
  TkwPDDocument doc;
  doc.SetDiagnostics(&diag);
  doc.LoadFromBytes(pdf.Save());
  TCountingDevice dev;
  DisplayPage(doc, dev, 1, 72, 72, 0, true, false, false, true);
  EXPECT_EQ(dev.Images, c.Images);
  EXPECT_EQ(diag.Count(TkwDiagCode::dcPageBudget), c.OverBudget ? 1 : 0);
  EXPECT_EQ(dev.EndPages, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, PictureRepaint,
    ::testing::Values(
        TRepaintCase{"TwentyThousandTimesInOnePlace", Repeat("q 20 0 0 20 10 10 cm /Im Do Q\n", 20'000), 1, false},
        TRepaintCase{"TwoPicturesTakingTurns",
                     Repeat("q 20 0 0 20 10 10 cm /Im Do Q q 20 0 0 20 10 10 cm /Small Do Q\n", 10'000), 2, false},
        TRepaintCase{"AMaskInTwoColours", Repeat("q 1 0 0 rg 8 0 0 1 5 5 cm /Mask Do Q q 0 0 1 rg 8 0 0 1 5 5 cm /Mask Do Q\n", 1000),
                     2, false},
        TRepaintCase{"ASmallPictureInManyPlaces",
                     [] {
                       std::string s;
                       for (int i = 0; i < 3000; ++i) s += "q 2 0 0 2 " + std::to_string(i) + " 5 cm /Small Do Q\n";
                       return s;
                     }(),
                     3000, false},
        TRepaintCase{"TwentyThousandPlaces", Places(20'000), kMaxPagePictureBytes / 3'000'000, true}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(PageCancel, StopsBetweenGlyphsWithoutEndingThePage) {
  TkwTestPdf pdf;
  const int f1 = pdf.AddFont("Helvetica");
  pdf.AddPage("/X Do", {}, pdf.AddFormFanOut(f1));
  TkwPDDocument doc;
  doc.LoadFromBytes(pdf.Save());
  TkwCancelFlag cancel{false};
  doc.SetCancelFlag(&cancel);
  TCountingDevice dev;
  dev.Cancel = &cancel;
  dev.CancelAfterGlyphs = 10;
  EXPECT_THROW(DisplayPage(doc, dev, 1, 72, 72, 0, true, false, false, true), ECancelled);
  EXPECT_EQ(dev.Glyphs, 10);  // not one glyph more
  EXPECT_EQ(dev.EndPages, 0);
}

}  // namespace
}  // namespace qm
