#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Shell.h"
#include "tests/writer/WriterTestUtil.h"

namespace qm {
namespace {

namespace fs = std::filesystem;
using namespace writertest;

class OutputFile : public ::testing::Test {
protected:
  void SetUp() override {
    FDir = fs::temp_directory_path() / ("qm_writer_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(FDir);
    fs::create_directories(FDir);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(FDir, fs::perms::owner_all, ec);
    fs::remove_all(FDir, ec);
  }
  static std::string Read(const fs::path& APath) {
    std::ifstream in(APath, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::size_t FileCount() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(FDir), fs::directory_iterator()));
  }
  fs::path FDir;
};

TEST_F(OutputFile, ReplacesTargetOnlyAtTheEnd) {
  const fs::path target = FDir / "out.rtf";
  std::ofstream(target) << "old";
  {
    auto doc = MakeDoc();
    doc->SetOutputFileName(target.string());
    doc->BeginDoc();
    doc->BeginPara();
    doc->WriteText(u"new");
    doc->EndPara();
    EXPECT_EQ(Read(target), "old");  // untouched while the job runs
    EXPECT_EQ(FileCount(), 1u);        // the temporary file comes only when the document is written
    doc->EndDoc();
  }
  const std::string rtf = Read(target);
  EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u);
  EXPECT_NE(rtf.find("new"), std::string::npos);
  EXPECT_EQ(FileCount(), 1u);
}

TEST_F(OutputFile, AbandonedJobLeavesTargetAsItWas) {
  const fs::path target = FDir / "out.rtf";
  std::ofstream(target) << "old";
  {
    auto doc = MakeDoc();
    doc->SetOutputFileName(target.string());
    doc->BeginDoc();
    doc->BeginPara();
    doc->WriteText(u"never written");
  }
  EXPECT_EQ(Read(target), "old");
  EXPECT_EQ(FileCount(), 1u);
}

TEST_F(OutputFile, UnwritableFolderNamesPathAndReason) {
  const fs::path target = FDir / "missing" / "out.rtf";
  auto doc = MakeDoc();
  doc->SetOutputFileName(target.string());
  try {
    doc->BeginDoc();
    FAIL();
  } catch (const EkwWriterError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + target.string() + "\". No such file or directory");
  }
}

TEST_F(OutputFile, TargetThatIsAFolderFailsAtTheEndAndCleansUp) {
  const fs::path target = FDir / "out.rtf";
  fs::create_directories(target / "inside");
  auto doc = MakeDoc();
  doc->SetOutputFileName(target.string());
  doc->BeginDoc();
  try {
    doc->EndDoc();
    FAIL();
  } catch (const EkwWriterError& e) {
    EXPECT_NE(std::string(e.what()).find(target.string()), std::string::npos);
  }
  EXPECT_TRUE(fs::is_directory(target / "inside"));
  EXPECT_EQ(FileCount(), 1u);
}

TEST_F(OutputFile, StreamAndOpenAfterCreate) {
  std::ostringstream stream;
  auto doc = MakeDoc();
  doc->SetOutputStream(&stream);
  doc->BeginDoc();
  doc->EndDoc();
  EXPECT_EQ(stream.str().rfind("{\\rtf1", 0), 0u);
  EXPECT_TRUE(doc->GetRTFText().empty());

  std::string opened;
  SetShellOpenHook([&](const std::string& APath) { opened = APath; return true; });
  const fs::path target = FDir / "open.rtf";
  auto second = MakeDoc();
  second->SetOutputFileName(target.string());
  second->SetOpenAfterCreate(true);
  second->BeginDoc();
  second->EndDoc();
  SetShellOpenHook({});
  EXPECT_EQ(opened, target.string());
  EXPECT_TRUE(fs::exists(target));
}

}  // namespace
}  // namespace qm
