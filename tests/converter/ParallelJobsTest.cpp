// Conversions side by side in one process: each job keeps its own formatter state, style
// and bookmark lists, resource factories and picture thread, so two jobs on two threads
// write the bytes they write one after the other.
#include <gtest/gtest.h>

#include <unistd.h>

#include <barrier>
#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "converter/kwPDFConverter.h"
#include "writer/kwRTFDoc.h"
#include "writer/kwRTFHeader.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

struct TJob {
  const char* Input;  // from the source tree
  TkwFormattingMode Mode;
};

struct TPair {
  const char* Name;
  TJob A;
  TJob B;
};

std::string ReadFile(const fs::path& APath) {
  std::ifstream in(APath, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Lists and shapes draw their ids from the writer's random source; a fixed one makes
// the bytes comparable.
std::string Convert(const TJob& AJob, const fs::path& AOutput) {
  auto factory = std::make_unique<TkwConverterFactory>(
      [](std::uint8_t) -> std::unique_ptr<TkwDocumentWriter> {
        auto doc = std::make_unique<TkwRTFDoc>();
        doc->SetRandomProvider(MakeFixedRandomProvider());
        return doc;
      },
      nullptr, nullptr);
  TkwPDFConverter converter(std::move(factory));
  converter.GetOutputSettings().GetPreferences().SetFormattingMode(AJob.Mode);
  converter.SetInputFileName(std::string(QM_SOURCE_DIR) + "/" + AJob.Input);
  converter.SetOutputFileName(AOutput.string());
  converter.Convert();
  return ReadFile(AOutput);
}

class ParallelJobs : public ::testing::TestWithParam<TPair> {
protected:
  void SetUp() override {
    FDir = fs::temp_directory_path() / ("qm_parallel_" + std::string(GetParam().Name) + "_" +
                                        std::to_string(::getpid()));
    fs::remove_all(FDir);
    fs::create_directories(FDir);
  }
  void TearDown() override { fs::remove_all(FDir); }
  fs::path FDir;
};

TEST_P(ParallelJobs, TwoThreadsWriteWhatOneAfterTheOtherWrites) {
  const TPair& pair = GetParam();
  const std::string aloneA = Convert(pair.A, FDir / "alone-a.rtf");
  const std::string aloneB = Convert(pair.B, FDir / "alone-b.rtf");
  ASSERT_GT(aloneA.size(), 100u);
  ASSERT_GT(aloneB.size(), 100u);
  ASSERT_NE(aloneA, aloneB);

  for (int round = 0; round < 3; ++round) {
    std::string bytesA;
    std::string bytesB;
    std::exception_ptr failA;
    std::exception_ptr failB;
    // Both jobs start together, so that their pages interleave.
    std::barrier start(2);
    std::thread a([&] {
      start.arrive_and_wait();
      try {
        bytesA = Convert(pair.A, FDir / ("a" + std::to_string(round) + ".rtf"));
      } catch (...) {
        failA = std::current_exception();
      }
    });
    std::thread b([&] {
      start.arrive_and_wait();
      try {
        bytesB = Convert(pair.B, FDir / ("b" + std::to_string(round) + ".rtf"));
      } catch (...) {
        failB = std::current_exception();
      }
    });
    a.join();
    b.join();
    if (failA) std::rethrow_exception(failA);
    if (failB) std::rethrow_exception(failB);
    EXPECT_EQ(bytesA, aloneA) << pair.A.Input << ", round " << round;
    EXPECT_EQ(bytesB, aloneB) << pair.B.Input << ", round " << round;
  }
}

// Text, tables, lists, columns and pictures; one job of each pair formats with tabs.
INSTANTIATE_TEST_SUITE_P(
    Jobs, ParallelJobs,
    ::testing::Values(
        TPair{"SampleAndTables", {"examples/sample.pdf", TkwFormattingMode::fmFormatted},
              {"tests/fixtures/e2e/tables.pdf", TkwFormattingMode::fmFormattedWithTabs}},
        TPair{"ListsAndImage", {"tests/fixtures/e2e/lists.pdf", TkwFormattingMode::fmFormatted},
              {"tests/fixtures/e2e/image.pdf", TkwFormattingMode::fmFormatted}},
        TPair{"ColumnsAndHeadings", {"tests/fixtures/e2e/columns.pdf", TkwFormattingMode::fmFormattedWithTabs},
              {"tests/fixtures/e2e/headings.pdf", TkwFormattingMode::fmFormatted}}),
    [](const ::testing::TestParamInfo<TPair>& AInfo) { return std::string(AInfo.param.Name); });

}  // namespace
}  // namespace qm
