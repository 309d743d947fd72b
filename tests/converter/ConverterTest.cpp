#include "converter/kwPDFConverter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/OutOfMemory.h"
#include "converter/kwDocumentParser.h"
#include "converter/kwPageRange.h"
#include "formatter/kwFormatter.h"
#include "formatter/kwFormatterElements.h"
#include "writer/kwDocumentWriter.h"

namespace qm {
namespace {

// What the pipeline doubles saw, shared by one test.
struct TJournal {
  std::vector<std::string> Events;
  int ParsersCreated = 0;
  int WritersCreated = 0;
  int Opens = 0;
  int Closes = 0;
  std::vector<TkwAction> Answers;  // actions the element handler gave back
  TkwDocumentWriter* LastWriter = nullptr;
  TkwFormatter* LastFormatter = nullptr;
};

// Stands in for the PDF parser and the page content reader: a document of FPages pages
// whose every converted page yields FElementsPerPage paragraphs, reported through the
// formatter's events in the order a real page produces them.
class TFakeParser final : public TkwDocumentParser {
public:
  TFakeParser(TkwFormatter* AFormatter, TJournal& AJournal, int APages)
      : TkwDocumentParser(AFormatter), FJournal(AJournal), FPages(APages) {}

  int PageCount() const override { return FPages; }
  int ConvertedPageCount() const override { return FConverted; }
  int SelectedPageCount() const override { return FSelected; }

  void Open(const std::string& AFileName, const std::string& APassword) override {
    ++FJournal.Opens;
    FJournal.Events.push_back("Open " + AFileName + " [" + APassword + "]");
    if (OpenError) std::rethrow_exception(OpenError);
    if (NeedsPassword) {
      std::string password;
      if (FOnNeedPassword) FOnNeedPassword(*this, password);
      if (password != "secret") throw std::runtime_error("Encrypted PDF: Password required for loading");
    }
    FSelected = FParsedRange.CountSelected(FPages);
  }
  void Open(TkwRef<TkwBaseStream>, const std::string&) override {}

  void Run() override {
    FConverted = 0;
    DoBeginDocument();
    for (int page = 1; page <= FPages; ++page) {
      if (!IsPageRangeBlank() && !IsPageSelected(page)) continue;
      ++FConverted;
      DoPageStart(page);
      if (RunError) throw std::runtime_error("disk full");
      if (RunFailure) std::rethrow_exception(RunFailure);
      TkwFormatter& formatter = *FFormatter;
      for (int i = 0; i < ElementsPerPage; ++i) {
        TkwFormatterParagraph paragraph;
        TkwAction action = TkwAction::acRetain;
        if (formatter.OnElementDetected) formatter.OnElementDetected(formatter, paragraph, action);
        FJournal.Answers.push_back(action);
      }
      if (formatter.OnProgress) formatter.OnProgress(formatter, FConverted);
      if (formatter.OnEndPage) formatter.OnEndPage(formatter, FConverted);
      DoPageEnd(page);
    }
    DoEndDocument();
  }

  void Close() override {
    ++FJournal.Closes;
    FJournal.Events.push_back("Close");
  }

  std::exception_ptr OpenError;
  bool RunError = false;
  std::exception_ptr RunFailure;
  bool NeedsPassword = false;
  int ElementsPerPage = 2;

private:
  TJournal& FJournal;
  int FPages;
  int FSelected = 0;
  int FConverted = 0;
};

class ConverterJob : public ::testing::Test {
protected:
  // A converter whose factory builds a plain writer, the real formatter over it and a
  // fake parser of APages pages; AConfigure adjusts each new parser.
  std::unique_ptr<TkwPDFConverter> MakeConverter(int APages, bool APreload = false,
                                                 std::function<void(TFakeParser&)> AConfigure = {}) {
    auto factory = std::make_unique<TkwConverterFactory>(
        [this](std::uint8_t) {
          ++FJournal.WritersCreated;
          auto writer = std::make_unique<TkwDocumentWriter>();
          FJournal.LastWriter = writer.get();
          return writer;
        },
        [this](TkwDocumentWriter& AWriter) {
          auto formatter = std::make_unique<TkwFormatter>(AWriter);
          FJournal.LastFormatter = formatter.get();
          return formatter;
        },
        [this, APages, AConfigure](TkwFormatter* AFormatter) {
          ++FJournal.ParsersCreated;
          auto parser = std::make_unique<TFakeParser>(AFormatter, FJournal, APages);
          if (AConfigure) AConfigure(*parser);
          return parser;
        });
    auto converter = std::make_unique<TkwPDFConverter>(std::move(factory), APreload);
    converter->SetInputFileName("in.pdf");
    converter->SetOutputFileName("out.rtf");
    return converter;
  }

  // Records every converter event as one line.
  void Attach(TkwFileConverter& AConverter) {
    auto& ev = FJournal.Events;
    AConverter.SetOnStartJob([&ev](TkwObject&, TkwStartJobEventArgs& A) {
      ev.push_back("StartJob " + A.GetInputFileName() + " " + A.GetOutputFileName() + " total " +
                   std::to_string(A.GetPageCount()) + " selected " +
                   std::to_string(A.GetSelectedPageCount()) + " range " + A.GetPageRange());
    });
    AConverter.SetOnStartPage([&ev](TkwObject&, TkwPageEventArgs& A) {
      ev.push_back("StartPage " + std::to_string(A.GetPageNumber()) + " started " +
                   std::to_string(A.GetStartedPageCount()));
    });
    AConverter.SetOnProgress([&ev](TkwObject&, TkwProgressEventArgs& A) {
      ev.push_back(std::string("Progress ") + std::to_string(A.GetPageNumber()) +
                   (A.GetFormatting() ? " formatting" : " reading"));
    });
    AConverter.SetOnElementDetected([&ev](TkwObject&, TkwFormatterElement& E, TkwAction& AAction) {
      ev.push_back("Element " + std::to_string(E.ElementType));
      AAction = TkwAction::acLeaveSpace;
    });
    AConverter.SetOnEndPage([&ev](TkwObject&, TkwPageEventArgs& A) {
      ev.push_back("EndPage " + std::to_string(A.GetPageNumber()));
    });
    AConverter.SetOnEndJob([&ev](TkwObject&, TkwEndJobEventArgs& A) {
      ev.push_back("EndJob converted " + std::to_string(A.GetConvertedPageCount()));
    });
  }

  TJournal FJournal;
};

TEST_F(ConverterJob, ThreePageDocumentWithRangeTwoFiresEventsInOrder) {
  auto converter = MakeConverter(3);
  Attach(*converter);
  converter->GetOutputSettings().SetPageRange("2");
  converter->Convert();
  const std::vector<std::string> expected{
      "Open in.pdf []",
      "StartJob in.pdf out.rtf total 3 selected 1 range 2",
      "StartPage 2 started 1",
      "Progress 2 reading",
      "Element 3",
      "Element 3",
      "Progress 2 formatting",
      "EndPage 2",
      "Close",
      "EndJob converted 1",
  };
  EXPECT_EQ(FJournal.Events, expected);
  // The handler's answer reaches the formatter.
  EXPECT_EQ(FJournal.Answers, (std::vector<TkwAction>{TkwAction::acLeaveSpace, TkwAction::acLeaveSpace}));
}

TEST_F(ConverterJob, ArgumentObjectsAreReusedAndRefilled) {
  auto converter = MakeConverter(3);
  std::vector<const void*> seen;
  std::vector<int> pages;
  converter->SetOnStartPage([&](TkwObject& ASender, TkwPageEventArgs& A) {
    EXPECT_EQ(&ASender, converter.get());
    seen.push_back(&A);
    pages.push_back(A.GetPageNumber() * 10 + A.GetStartedPageCount());
  });
  converter->Convert();
  converter->Convert();
  ASSERT_EQ(seen.size(), 6u);
  for (const void* p : seen) EXPECT_EQ(p, seen.front());
  // The started count starts again with every job.
  EXPECT_EQ(pages, (std::vector<int>{11, 22, 33, 11, 22, 33}));
}

TEST_F(ConverterJob, PipelineReceivesTheConverterSettings) {
  std::uint8_t flags = 0;
  std::string range;
  auto converter = MakeConverter(2, false, [&](TFakeParser& P) {
    P.ElementsPerPage = 0;
    P.SetOnBeginDocument([&](TkwObject& S) {
      auto& parser = static_cast<TFakeParser&>(S);
      flags = parser.GetContentFlags();
      range = parser.GetPageRange();
      EXPECT_EQ(parser.GetFormatter(), FJournal.LastFormatter);
    });
  });
  converter->SetOpenAfterCreate(true);
  converter->GetOutputSettings().SetPageRange("1-2");
  converter->GetOutputSettings().GetPreferences().SetFormattingMode(
      TkwFormattingMode::fmFormattedWithTabs);
  std::string writerName;
  bool writerOpen = false;
  TkwFormattingMode mode = TkwFormattingMode::fmFormatted;
  converter->SetOnStartJob([&](TkwObject&, TkwStartJobEventArgs&) {
    writerName = FJournal.LastWriter->GetOutputFileName();
    writerOpen = FJournal.LastWriter->GetOpenAfterCreate();
    mode = FJournal.LastFormatter->GetFormattingMode();
  });
  converter->Convert();
  EXPECT_EQ(flags, 3);
  EXPECT_EQ(range, "1-2");
  EXPECT_EQ(writerName, "out.rtf");
  EXPECT_TRUE(writerOpen);
  EXPECT_EQ(mode, TkwFormattingMode::fmFormattedWithTabs);
}

struct TNameCase {
  const char* Given;
  const char* Used;
};

class OutputName : public ::testing::TestWithParam<TNameCase> {};

TEST_P(OutputName, GetsRtfExtensionOnlyWhenItHasNone) {
  EXPECT_EQ(WithDefaultRTFExtension(GetParam().Given), GetParam().Used);
}

INSTANTIATE_TEST_SUITE_P(Names, OutputName,
                         ::testing::Values(TNameCase{"/tmp/out/report", "/tmp/out/report.rtf"},
                                           TNameCase{"report.doc", "report.doc"},
                                           TNameCase{"my.dir/report", "my.dir/report.rtf"},
                                           TNameCase{"report.RTF", "report.RTF"},
                                           TNameCase{"", ""},
                                           TNameCase{"  ", "  "}));

TEST_F(ConverterJob, ConvertAppendsExtensionForWriterAndEvents) {
  auto converter = MakeConverter(1);
  converter->SetOutputFileName("/tmp/out/report");
  std::string reported;
  converter->SetOnEndJob([&](TkwObject&, TkwEndJobEventArgs& A) { reported = A.GetOutputFileName(); });
  converter->Convert();
  EXPECT_EQ(reported, "/tmp/out/report.rtf");
  EXPECT_EQ(converter->GetOutputFileName(), "/tmp/out/report.rtf");
}

TEST_F(ConverterJob, FailedOpenFiresNoEventAndPropagatesUnchanged) {
  auto converter = MakeConverter(3, false, [](TFakeParser& P) {
    P.OpenError = std::make_exception_ptr(std::invalid_argument("Invalid PDF Document"));
  });
  Attach(*converter);
  try {
    converter->Convert();
    FAIL();
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "Invalid PDF Document");
  }
  EXPECT_EQ(FJournal.Events, (std::vector<std::string>{"Open in.pdf []"}));
}

TEST_F(ConverterJob, MalformedRangeFailsBeforeStartJob) {
  auto converter = MakeConverter(3);
  Attach(*converter);
  converter->GetOutputSettings().SetPageRange("1,,3");
  try {
    converter->Convert();
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'' is not a valid integer value");
  }
  EXPECT_EQ(FJournal.Events, (std::vector<std::string>{"Open in.pdf []"}));
}

TEST_F(ConverterJob, FailureDuringRunSkipsEndJobButClosesTheDocument) {
  auto converter = MakeConverter(2, false, [](TFakeParser& P) { P.RunError = true; });
  Attach(*converter);
  EXPECT_THROW(converter->Convert(), std::runtime_error);
  ASSERT_FALSE(FJournal.Events.empty());
  EXPECT_EQ(FJournal.Events.back(), "Close");
  EXPECT_EQ(FJournal.Closes, 1);
  // The converter is usable again after a failed job.
  EXPECT_THROW(converter->Convert(), std::runtime_error);
  EXPECT_EQ(FJournal.ParsersCreated, 2);
}

// Where memory runs out: opening the file, reading a page, or building the job's writer.
enum class TOomAt { oaOpen, oaRun, oaWriter };

class ConverterOutOfMemory : public ConverterJob, public ::testing::WithParamInterface<TOomAt> {};

TEST_P(ConverterOutOfMemory, ReachesTheCallerAsOutOfMemoryAndEndsTheJob) {
  const TOomAt at = GetParam();
  std::unique_ptr<TkwPDFConverter> converter;
  if (at == TOomAt::oaWriter) {
    auto factory = std::make_unique<TkwConverterFactory>(
        [](std::uint8_t) -> std::unique_ptr<TkwDocumentWriter> { throw std::bad_alloc(); }, nullptr, nullptr);
    converter = std::make_unique<TkwPDFConverter>(std::move(factory));
    converter->SetInputFileName("in.pdf");
  } else {
    converter = MakeConverter(2, false, [at](TFakeParser& P) {
      (at == TOomAt::oaOpen ? P.OpenError : P.RunFailure) = std::make_exception_ptr(std::bad_alloc());
    });
  }
  Attach(*converter);
  try {
    converter->Convert();
    FAIL() << "Convert returned";
  } catch (const std::bad_alloc& e) {
    EXPECT_STREQ(e.what(), "Out of memory");
  }
  EXPECT_TRUE(FJournal.Events.empty() || FJournal.Events.back().rfind("EndJob", 0) != 0);
  EXPECT_EQ(FJournal.Closes, at == TOomAt::oaRun ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Stages, ConverterOutOfMemory,
                         ::testing::Values(TOomAt::oaOpen, TOomAt::oaRun, TOomAt::oaWriter));

// Nothing to write is a failure the caller can name, not an empty success.
TEST_F(ConverterJob, RangeSelectingNothingFailsWithTheReasonBeforeStartJob) {
  auto converter = MakeConverter(3);
  Attach(*converter);
  converter->GetOutputSettings().SetPageRange("7-9");
  try {
    converter->Convert();
    FAIL() << "a range beyond the document converted";
  } catch (const EPageRangeError& e) {
    EXPECT_STREQ(e.what(), "page 7 is beyond the last page (3)");
  }
  for (const std::string& e : FJournal.Events) EXPECT_NE(e.rfind("StartJob", 0), 0u) << e;
  EXPECT_EQ(FJournal.Closes, FJournal.Opens);
}

TEST_F(ConverterJob, DocumentWithoutPagesFails) {
  auto converter = MakeConverter(0);
  Attach(*converter);
  try {
    converter->Convert();
    FAIL() << "a document without pages converted";
  } catch (const ENoPageRead& e) {
    EXPECT_STREQ(e.what(), "No page could be read");
  }
}

TEST_F(ConverterJob, PasswordHandlerReachesTheParser) {
  auto converter = MakeConverter(1, false, [](TFakeParser& P) { P.NeedsPassword = true; });
  EXPECT_THROW(converter->Convert(), std::runtime_error);
  converter->SetOnNeedPassword([](TkwObject&, std::string& APassword) { APassword = "secret"; });
  EXPECT_NO_THROW(converter->Convert());
}

TEST_F(ConverterJob, WithoutPreloadEveryJobHasItsOwnParserAndWriter) {
  auto converter = MakeConverter(1);
  converter->Convert();
  converter->Convert();
  EXPECT_EQ(FJournal.ParsersCreated, 2);
  EXPECT_EQ(FJournal.WritersCreated, 2);
}

class PreloadFile : public ConverterJob {
protected:
  void SetUp() override {
    FPath = (std::filesystem::temp_directory_path() /
             ("qm_preload_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".pdf"))
                .string();
    std::ofstream(FPath) << "%PDF-1.4\n";
  }
  void TearDown() override { std::filesystem::remove(FPath); }
  std::string FPath;
};

TEST_F(PreloadFile, ReadsPageCountAndKeepsOneParserForEveryJob) {
  auto converter = MakeConverter(5, true);
  EXPECT_EQ(FJournal.ParsersCreated, 1);
  converter->SetInputFileName(FPath);
  EXPECT_EQ(converter->GetInputFilePageCount(), 5);
  EXPECT_EQ(FJournal.Opens, 1);
  EXPECT_EQ(FJournal.Closes, 1);
  converter->Convert();
  converter->Convert();
  EXPECT_EQ(FJournal.ParsersCreated, 1);
  EXPECT_EQ(FJournal.WritersCreated, 2);
}

TEST_F(PreloadFile, MissingFileLeavesPageCountAndRaisesNothing) {
  auto converter = MakeConverter(5, true);
  converter->SetInputFileName(FPath);
  ASSERT_EQ(converter->GetInputFilePageCount(), 5);
  EXPECT_NO_THROW(converter->SetInputFileName(FPath + ".missing"));
  EXPECT_EQ(converter->GetInputFilePageCount(), 5);
  EXPECT_EQ(FJournal.Opens, 1);
}

TEST_F(PreloadFile, PreloadIgnoresTheRangeOfAnEarlierJob) {
  auto converter = MakeConverter(4, true);
  converter->GetOutputSettings().SetPageRange("1,2");
  converter->SetInputFileName(FPath);
  converter->Convert();
  converter->GetOutputSettings().SetPageRange("1,,");
  EXPECT_THROW(converter->Convert(), EConvertError);
  EXPECT_NO_THROW(converter->SetInputFileName(FPath));
  EXPECT_EQ(converter->GetInputFilePageCount(), 4);
}

TEST_F(PreloadFile, EncryptedFileAsksForItsPasswordWhenPreloaded) {
  auto converter = MakeConverter(3, true, [](TFakeParser& P) { P.NeedsPassword = true; });
  int asked = 0;
  converter->SetOnNeedPassword([&asked](TkwObject&, std::string& APassword) {
    ++asked;
    APassword = "secret";
  });
  converter->SetInputFileName(FPath);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(converter->GetInputFilePageCount(), 3);
}

TEST(DocSettings, AssignCopiesEverythingAndSetterDoesNotTakeOwnership) {
  TkwDocSettings source;
  source.SetPageRange("1-3");
  source.SetOptions(0x05);
  source.GetDocInfo().Title = u"Title";
  source.GetPreferences().SetFormattingMode(TkwFormattingMode::fmFormattedWithTabs);

  TkwPDFConverter converter;
  EXPECT_EQ(converter.GetOutputSettings().GetOptions(), TkwDocSettings::kAllOptions);
  converter.SetOutputSettings(source);
  source.SetPageRange("9");
  source.GetDocInfo().Title = u"Changed";
  const TkwDocSettings& own = converter.GetOutputSettings();
  EXPECT_NE(&own, &source);
  EXPECT_EQ(own.GetPageRange(), "1-3");
  EXPECT_EQ(own.GetOptions(), 0x05);
  EXPECT_EQ(own.GetDocInfo().Title, u"Title");
  EXPECT_EQ(own.GetPreferences().GetFormattingMode(), TkwFormattingMode::fmFormattedWithTabs);

  TkwPreferences preferences;
  EXPECT_THROW(converter.GetOutputSettings().Assign(preferences), EConvertError);
}

}  // namespace
}  // namespace qm
