#include "converter/kwPDFParser.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "converter/kwPDFConverter.h"
#include "formatter/kwFormatter.h"
#include "pdf/core/kwPDBaseObject.h"
#include "pdf/core/kwPDDocument.h"
#include "tests/support/pdf/TestPdf.h"
#include "writer/kwDocumentWriter.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

// Records the document calls the formatter passes on to the writer.
class TRecordingWriter final : public TkwDocumentWriter {
public:
  void BeginDoc() override { Calls.push_back("BeginDoc"); }
  int NewPage() override {
    Calls.push_back("NewPage");
    return 0;
  }
  void EndDoc() override { Calls.push_back("EndDoc"); }
  std::vector<std::string> Calls;
};

// Plays no content: reports the page to the parser, as the content reader does, and
// ends it in the formatter; records the page size the formatter was given.
class TFakeDisplay final : public TkwPDFPageDisplay {
public:
  TFakeDisplay(TkwPDFParser& AParser, std::vector<std::string>& ALog) : FParser(AParser), FLog(ALog) {}
  void DisplayPage(int APageNumber) override {
    TkwPageSettings& settings = FParser.GetFormatter()->GetPageSettings();
    FLog.push_back("Display " + std::to_string(APageNumber) + " " +
                   std::to_string(std::lround(settings.GetWidth())) + "x" +
                   std::to_string(std::lround(settings.GetHeight())));
    FParser.DoPageStart(APageNumber);
    FParser.GetFormatter()->EndPage();
    FParser.DoPageEnd(APageNumber);
  }

private:
  TkwPDFParser& FParser;
  std::vector<std::string>& FLog;
};

class PDFParser : public ::testing::Test {
protected:
  void SetUp() override {
    FPath = (fs::temp_directory_path() /
             ("qm_parser_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
              "_" + std::to_string(::getpid()) + ".pdf"))
                .string();
    TkwTestPdf pdf;
    pdf.AddPage("");
    pdf.AddPage("", {}, "/MediaBox [0 0 300 400]");
    pdf.AddPage("", {}, "/MediaBox [0 0 500 200]");
    ASSERT_TRUE(pdf.SaveToFile(FPath));
  }
  void TearDown() override { fs::remove(FPath); }

  TkwPDFParser& MakeParser() {
    FFormatter = std::make_unique<TkwFormatter>(FWriter);
    FParser = std::make_unique<TkwPDFParser>(FFormatter.get());
    FParser->SetPageDisplayCreator(
        [this](TkwPDFParser& AParser) { return std::make_unique<TFakeDisplay>(AParser, FLog); });
    FParser->SetOnBeginDocument([this](TkwObject&) { FLog.push_back("BeginDocument"); });
    FParser->SetOnEndDocument([this](TkwObject&) { FLog.push_back("EndDocument"); });
    FParser->SetOnPageStart([this](TkwObject&, int P) { FLog.push_back("PageStart " + std::to_string(P)); });
    FParser->SetOnPageEnd([this](TkwObject&, int P) { FLog.push_back("PageEnd " + std::to_string(P)); });
    return *FParser;
  }

  static std::string Fixture(const char* AName) { return std::string(QM_FIXTURE_DIR) + "/" + AName; }

  std::string FPath;
  TRecordingWriter FWriter;
  std::unique_ptr<TkwFormatter> FFormatter;
  std::unique_ptr<TkwPDFParser> FParser;
  std::vector<std::string> FLog;
};

TEST_F(PDFParser, OpenCountsPagesAndSelectedPages) {
  TkwPDFParser& parser = MakeParser();
  parser.SetPageRange("1,3, 5-9");
  parser.Open(FPath, "");
  EXPECT_EQ(parser.PageCount(), 3);
  EXPECT_EQ(parser.SelectedPageCount(), 2);
  parser.Close();
  EXPECT_FALSE(parser.GetDocument()->GetIsLoaded());
}

TEST_F(PDFParser, MalformedRangeFailsTheOpenAndClosesTheDocument) {
  TkwPDFParser& parser = MakeParser();
  parser.SetPageRange("1,,3");
  EXPECT_THROW(parser.Open(FPath, ""), EConvertError);
  EXPECT_FALSE(parser.GetDocument()->GetIsLoaded());
}

TEST_F(PDFParser, MissingFileRaisesFileNotFound) {
  TkwPDFParser& parser = MakeParser();
  try {
    parser.Open(FPath + ".missing", "");
    FAIL();
  } catch (const ExFileNotFound& e) {
    EXPECT_STREQ(e.what(), "File Not Found");
  }
}

TEST_F(PDFParser, RunConvertsSelectedPagesWithTheirSizes) {
  TkwPDFParser& parser = MakeParser();
  parser.SetPageRange("2,3");
  parser.Open(FPath, "");
  parser.Run();
  EXPECT_EQ(parser.ConvertedPageCount(), 2);
  const std::vector<std::string> expected{"BeginDocument", "Display 2 300x400", "PageStart 2", "PageEnd 2",
                                          "Display 3 500x200", "PageStart 3", "PageEnd 3", "EndDocument"};
  EXPECT_EQ(FLog, expected);
  EXPECT_EQ(FWriter.Calls, (std::vector<std::string>{"BeginDoc", "NewPage", "EndDoc"}));
}

TEST_F(PDFParser, RangeSelectingNothingBeginsNoDocument) {
  TkwPDFParser& parser = MakeParser();
  parser.SetPageRange("9-3");
  parser.Open(FPath, "");
  parser.Run();
  EXPECT_EQ(parser.ConvertedPageCount(), 0);
  EXPECT_EQ(FLog, (std::vector<std::string>{"BeginDocument", "EndDocument"}));
  EXPECT_TRUE(FWriter.Calls.empty());
}

TEST_F(PDFParser, PasswordIsAskedOnceAndRetried) {
  const std::string file = Fixture("qpdf-rc4-40-userpw.pdf");
  TkwPDFParser& parser = MakeParser();
  EXPECT_THROW(parser.Open(file, ""), ExPasswordRequired);

  int asked = 0;
  parser.SetOnNeedPassword([&](TkwObject&, std::string& APassword) {
    ++asked;
    APassword = "wrong";
  });
  EXPECT_THROW(parser.Open(file, ""), ExPasswordRequired);
  EXPECT_EQ(asked, 1);

  parser.SetOnNeedPassword([&](TkwObject&, std::string& APassword) {
    ++asked;
    APassword = "user";
  });
  parser.Open(file, "");
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(parser.PageCount(), 3);
  EXPECT_TRUE(parser.GetDocument()->GetIsEncrypted());
  parser.Close();

  // A password given to Open is tried before anyone is asked.
  parser.Open(file, "user");
  EXPECT_EQ(asked, 2);
}

// The whole job through the real parser and formatter: the page notifications come from
// the page reader, progress and end of page from the formatter.
TEST_F(PDFParser, ConverterJobOverRealParserAndFormatterFiresEventsInOrder) {
  std::vector<std::string> events;
  auto factory = std::make_unique<TkwConverterFactory>(
      [](std::uint8_t) { return std::make_unique<TRecordingWriter>(); }, nullptr,
      [&events](TkwFormatter* AFormatter) {
        auto parser = std::make_unique<TkwPDFParser>(AFormatter);
        parser->SetPageDisplayCreator(
            [&events](TkwPDFParser& AParser) { return std::make_unique<TFakeDisplay>(AParser, events); });
        return parser;
      });
  TkwPDFConverter converter(std::move(factory));
  converter.SetOnStartJob([&](TkwObject&, TkwStartJobEventArgs& A) {
    events.push_back("StartJob " + std::to_string(A.GetPageCount()) + "/" +
                     std::to_string(A.GetSelectedPageCount()));
  });
  converter.SetOnStartPage([&](TkwObject&, TkwPageEventArgs& A) {
    events.push_back("StartPage " + std::to_string(A.GetPageNumber()));
  });
  converter.SetOnProgress([&](TkwObject&, TkwProgressEventArgs& A) {
    events.push_back(std::string("Progress ") + (A.GetFormatting() ? "formatting" : "reading"));
  });
  converter.SetOnEndPage([&](TkwObject&, TkwPageEventArgs& A) {
    events.push_back("EndPage " + std::to_string(A.GetPageNumber()));
  });
  converter.SetOnEndJob([&](TkwObject&, TkwEndJobEventArgs& A) {
    events.push_back("EndJob " + std::to_string(A.GetConvertedPageCount()));
  });
  converter.SetInputFileName(FPath);
  converter.SetOutputFileName(FPath + ".rtf");
  converter.GetOutputSettings().SetPageRange("2");
  converter.Convert();
  const std::vector<std::string> expected{"StartJob 3/1",        "Display 2 300x400",
                                          "StartPage 2",         "Progress reading",
                                          "Progress formatting", "EndPage 2",
                                          "EndJob 1"};
  EXPECT_EQ(events, expected);
}

}  // namespace
}  // namespace qm
