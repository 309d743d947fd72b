// A whole job into the real RTF writer: the target is replaced only by a finished file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>

#include "converter/kwPDFConverter.h"
#include "converter/kwPDFParser.h"
#include "formatter/kwFormatter.h"
#include "tests/support/pdf/TestPdf.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

// Plays no content; fails on page AFailOn when that is not 0.
class TEmptyDisplay final : public TkwPDFPageDisplay {
public:
  TEmptyDisplay(TkwPDFParser& AParser, int AFailOn) : FParser(AParser), FFailOn(AFailOn) {}
  void DisplayPage(int APageNumber) override {
    FParser.DoPageStart(APageNumber);
    if (APageNumber == FFailOn) throw std::runtime_error("Invalid Stream");
    FParser.GetFormatter()->EndPage();
    FParser.DoPageEnd(APageNumber);
  }

private:
  TkwPDFParser& FParser;
  int FFailOn;
};

class RTFOutput : public ::testing::Test {
protected:
  void SetUp() override {
    FDir = fs::temp_directory_path() /
           ("qm_rtfout_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
            "_" + std::to_string(::getpid()));
    fs::remove_all(FDir);
    fs::create_directories(FDir / "in");
    fs::create_directories(FDir / "out");
    TkwTestPdf pdf;
    pdf.AddPage("");
    pdf.AddPage("");
    ASSERT_TRUE(pdf.SaveToFile((FDir / "in" / "doc.pdf").string()));
    std::ofstream(FDir / "out" / "doc.rtf") << "the good file";
  }
  void TearDown() override { fs::remove_all(FDir); }

  void Convert(int AFailOn, const std::function<void(TkwPDFConverter&)>& APrepare = nullptr) {
    auto factory = std::make_unique<TkwConverterFactory>(nullptr, nullptr, [AFailOn](TkwFormatter* AFormatter) {
      auto parser = std::make_unique<TkwPDFParser>(AFormatter);
      parser->SetPageDisplayCreator(
          [AFailOn](TkwPDFParser& AParser) { return std::make_unique<TEmptyDisplay>(AParser, AFailOn); });
      return parser;
    });
    TkwPDFConverter converter(std::move(factory));
    converter.SetInputFileName((FDir / "in" / "doc.pdf").string());
    converter.SetOutputFileName((FDir / "out" / "doc").string());
    if (APrepare) APrepare(converter);
    converter.Convert();
  }

  std::string Target() const {
    std::ifstream in(FDir / "out" / "doc.rtf", std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::set<std::string> OutFolder() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(FDir / "out")) names.insert(e.path().filename().string());
    return names;
  }

  fs::path FDir;
};

TEST_F(RTFOutput, FailedJobLeavesTheTargetAndNoPartialFile) {
  EXPECT_THROW(Convert(2), std::runtime_error);
  EXPECT_EQ(Target(), "the good file");
  EXPECT_EQ(OutFolder(), std::set<std::string>{"doc.rtf"});
}

TEST_F(RTFOutput, FinishedJobReplacesTheTarget) {
  Convert(0);
  EXPECT_EQ(Target().rfind("{\\rtf", 0), 0u);
  EXPECT_EQ(OutFolder(), std::set<std::string>{"doc.rtf"});
}

// Cancel stops the job at the next page boundary like a failure: the target stays.
TEST_F(RTFOutput, CancelledJobLeavesTheTargetAndNoPartialFile) {
  int pagesEnded = 0;
  EXPECT_THROW(Convert(0,
                       [&](TkwPDFConverter& AConverter) {
                         AConverter.SetOnStartPage([](TkwObject& ASender, TkwPageEventArgs&) {
                           static_cast<TkwPDFConverter&>(ASender).Cancel();
                         });
                         AConverter.SetOnEndPage([&](TkwObject&, TkwPageEventArgs&) { ++pagesEnded; });
                       }),
               EConversionCancelled);
  EXPECT_EQ(pagesEnded, 0);
  EXPECT_EQ(Target(), "the good file");
  EXPECT_EQ(OutFolder(), std::set<std::string>{"doc.rtf"});
}

// A request made before the job starts belongs to no job; the next job runs to its end.
TEST_F(RTFOutput, CancelBeforeTheJobIsForgotten) {
  Convert(0, [](TkwPDFConverter& AConverter) { AConverter.Cancel(); });
  EXPECT_EQ(Target().rfind("{\\rtf", 0), 0u);
}

}  // namespace
}  // namespace qm
