// What a job tolerated reaches its caller: through the converter after Convert, also when
// the job failed, and in the end-of-job event, each note with the page it happened on.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/kwDiagnostics.h"
#include "converter/kwPDFConverter.h"
#include "tests/support/pdf/TestPdf.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class JobDiagnostics : public ::testing::Test {
protected:
  void SetUp() override {
    FDir = fs::temp_directory_path() / ("qm_jobdiag_" + std::to_string(::getpid()));
    fs::create_directories(FDir);
  }
  void TearDown() override { fs::remove_all(FDir); }

  std::string Write(const std::string& AName, const std::string& ABytes) {
    const std::string path = (FDir / AName).string();
    std::ofstream(path, std::ios::binary) << ABytes;
    return path;
  }
  void Run(TkwPDFConverter& AConverter, const std::string& AInput) {
    AConverter.SetInputFileName(AInput);
    AConverter.SetOutputFileName((FDir / "out.rtf").string());
    AConverter.Convert();
  }

  fs::path FDir;
};

// Three pages; page 2 has an unknown operator and page 3 two; the table needs rebuilding.
std::string DamagedFile() {
  TkwTestPdf pdf;
  pdf.AddPage("0 0 m");
  pdf.AddPage("1 foo 0 0 m");
  pdf.AddPage("foo bar 0 0 m");
  pdf.SetStartXRefText("999999\n");
  return pdf.Save();
}

TEST_F(JobDiagnostics, NotesCarryTheirPageAndReachTheCaller) {
  TkwPDFConverter converter;
  const TkwDiagnostics* inEvent = nullptr;
  std::int64_t unknownInEvent = -1;
  converter.SetOnEndJob([&](TkwObject&, TkwEndJobEventArgs& AArgs) {
    inEvent = AArgs.GetDiagnostics();
    if (inEvent) unknownInEvent = inEvent->Count(TkwDiagCode::dcUnknownOperator);
  });
  Run(converter, Write("damaged.pdf", DamagedFile()));

  const TkwDiagnostics& diag = converter.GetDiagnostics();
  EXPECT_EQ(inEvent, &diag);
  EXPECT_EQ(unknownInEvent, 3);
  EXPECT_EQ(diag.Count(TkwDiagCode::dcXRefRebuilt), 1);
  std::vector<int> unknownPages;
  for (const TkwDiagnostic& d : diag.Items()) {
    if (d.Code == TkwDiagCode::dcXRefRebuilt) {
      EXPECT_EQ(d.Page, 0);
    }
    if (d.Code == TkwDiagCode::dcUnknownOperator) unknownPages.push_back(d.Page);
  }
  EXPECT_EQ(unknownPages, (std::vector<int>{2, 3, 3}));
  EXPECT_EQ(diag.GetPage(), 0);  // notes after the last page belong to no page
  EXPECT_EQ(DescribeDiagnostics(diag).size(), 2u);
}

TEST_F(JobDiagnostics, APageRangeKeepsTheDocumentsPageNumbers) {
  TkwPDFConverter converter;
  converter.GetOutputSettings().SetPageRange("3");
  Run(converter, Write("damaged.pdf", DamagedFile()));
  const TkwDiagnostics& diag = converter.GetDiagnostics();
  EXPECT_EQ(diag.Count(TkwDiagCode::dcUnknownOperator), 2);
  for (const TkwDiagnostic& d : diag.Items()) {
    if (d.Code == TkwDiagCode::dcUnknownOperator) {
      EXPECT_EQ(d.Page, 3);
    }
  }
}

TEST_F(JobDiagnostics, AFailedJobKeepsWhatItNotedAndTheNextJobStartsAfresh) {
  TkwPDFConverter converter;
  const std::string broken = Write("broken.pdf", "%PDF-1.4\n1 0 obj 5 endobj\nstartxref\n9\n%%EOF");
  EXPECT_ANY_THROW(Run(converter, broken));
  EXPECT_EQ(converter.GetDiagnostics().Count(TkwDiagCode::dcXRefRebuilt), 1);

  TkwTestPdf clean;
  clean.AddPage("0 0 m");
  Run(converter, Write("clean.pdf", clean.Save()));
  EXPECT_EQ(converter.GetDiagnostics().Total(), 0);
}

// A font no installed family is named after is shown in a font of its kind, and said once
// per font however often the page returns to it; a standard family is not such a loss.
TEST_F(JobDiagnostics, AFontShownInAFontOfItsKindIsNotedOnce) {
  TkwTestPdf pdf;
  const int cm = pdf.AddObject("<< /Type /Font /Subtype /Type1 /BaseFont /CMR10 >>");
  const int helv = pdf.AddObject("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  pdf.AddPage("BT /F1 10 Tf 72 700 Td (One) Tj /F2 10 Tf (Two) Tj /F1 10 Tf (Three) Tj ET",
              {{"F1", cm}, {"F2", helv}});
  pdf.AddPage("BT /F2 10 Tf 72 700 Td (Four) Tj ET", {{"F2", helv}});
  TkwPDFConverter converter;
  Run(converter, Write("fonts.pdf", pdf.Save()));
  const TkwDiagnostics& diag = converter.GetDiagnostics();
  ASSERT_EQ(diag.Count(TkwDiagCode::dcFontNotInstalled), 1);
  for (const TkwDiagnostic& d : diag.Items()) {
    if (d.Code == TkwDiagCode::dcFontNotInstalled) {
      EXPECT_EQ(d.Page, 1);
    }
  }
}

}  // namespace
}  // namespace qm
