// Jobs on hostile input: a slow page still stops on cancel, within a second, and leaves no
// file behind; the output's temporary file exists only while the document is written.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/kwDiagnostics.h"
#include "converter/kwPDFConverter.h"
#include "tests/support/pdf/TestPdf.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

class HostileInput : public ::testing::Test {
protected:
  void SetUp() override {
    FDir = fs::temp_directory_path() / ("qm_hostile_" + std::to_string(::getpid()));
    fs::remove_all(FDir);
    fs::create_directories(FDir);
  }
  void TearDown() override { fs::remove_all(FDir); }

  std::string Write(const std::string& AName, const std::string& ABytes) {
    const std::string path = (FDir / AName).string();
    std::ofstream(path, std::ios::binary) << ABytes;
    return path;
  }
  // Every file of the folder but the inputs.
  std::vector<std::string> Left() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(FDir)) {
      if (e.path().extension() != ".pdf") names.push_back(e.path().filename().string());
    }
    return names;
  }

  fs::path FDir;
};

// Five pages, each drawing forms nested ten deep, each drawing the next ten times.
std::string SlowFile() {
  TkwTestPdf pdf;
  const int f1 = pdf.AddFont("Helvetica");
  const std::string resources = pdf.AddFormFanOut(f1);
  for (int page = 0; page < 5; ++page) pdf.AddPage("/X Do", {}, resources);
  return pdf.Save();
}

TEST_F(HostileInput, CancelStopsInsideASlowPageAndLeavesNothing) {
  TkwPDFConverter converter;
  converter.SetInputFileName(Write("slow.pdf", SlowFile()));
  converter.SetOutputFileName((FDir / "out.rtf").string());
  std::atomic<bool> started{false};
  converter.SetOnStartPage([&](TkwObject&, TkwPageEventArgs&) { started = true; });
  std::chrono::steady_clock::time_point asked;
  std::thread canceller([&] {
    for (int i = 0; i < 2000 && !started; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    asked = std::chrono::steady_clock::now();
    converter.Cancel();
  });
  EXPECT_THROW(converter.Convert(), EConversionCancelled);
  const auto stopped = std::chrono::steady_clock::now();
  canceller.join();
  EXPECT_LT(std::chrono::duration<double>(stopped - asked).count(), 1.0);
  EXPECT_TRUE(Left().empty());
}

TEST_F(HostileInput, SlowPageEndsAtItsBudgetAndTheJobSaysSo) {
  TkwTestPdf pdf;
  const int f1 = pdf.AddFont("Helvetica");
  std::string copies;
  for (int i = 0; i < 60'000; ++i) copies += "BT /F1 12 Tf 72 720 Td (Hello world) Tj ET\n";
  pdf.AddPage(copies, {{"F1", f1}});
  pdf.AddPage("BT /F1 12 Tf 72 720 Td (Second) Tj ET", {{"F1", f1}});
  TkwPDFConverter converter;
  converter.SetInputFileName(Write("copies.pdf", pdf.Save()));
  converter.SetOutputFileName((FDir / "out.rtf").string());
  converter.Convert();
  EXPECT_EQ(converter.GetDiagnostics().Count(TkwDiagCode::dcPageBudget), 1);
  const std::vector<std::string> lost = DescribeLostContent(converter.GetDiagnostics());
  ASSERT_EQ(lost.size(), 1u);
  EXPECT_EQ(lost[0].rfind("page 1: ", 0), 0u) << lost[0];
  EXPECT_EQ(Left(), std::vector<std::string>{"out.rtf"});
}

TEST_F(HostileInput, OutputTakesTheReplacedFilesPermissionsAndNoTemporaryStays) {
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  const std::string input = Write("in.pdf", pdf.Save());
  const std::string output = (FDir / "out.rtf").string();
  std::ofstream(output) << "old";
  ASSERT_EQ(::chmod(output.c_str(), 0640), 0);
  TkwPDFConverter converter;
  converter.SetInputFileName(input);
  converter.SetOutputFileName(output);
  // While the pages are read, no temporary file exists yet.
  std::vector<std::string> duringPage;
  converter.SetOnStartPage([&](TkwObject&, TkwPageEventArgs&) { duringPage = Left(); });
  converter.Convert();
  EXPECT_EQ(duringPage, std::vector<std::string>{"out.rtf"});
  EXPECT_EQ(Left(), std::vector<std::string>{"out.rtf"});
  struct stat info {};
  ASSERT_EQ(::stat(output.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(HostileInput, FolderThatCannotBeWrittenFailsBeforeAnyPageAndLeavesNothing) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes everywhere";
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  const std::string input = Write("in.pdf", pdf.Save());
  fs::create_directories(FDir / "ro");
  fs::permissions(FDir / "ro", fs::perms::owner_read | fs::perms::owner_exec);
  TkwPDFConverter converter;
  converter.SetInputFileName(input);
  converter.SetOutputFileName((FDir / "ro" / "out.rtf").string());
  bool pageStarted = false;
  converter.SetOnStartPage([&](TkwObject&, TkwPageEventArgs&) { pageStarted = true; });
  try {
    converter.Convert();
    FAIL() << "wrote into a read-only folder";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("out.rtf"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("Permission denied"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(pageStarted);
  fs::permissions(FDir / "ro", fs::perms::owner_all);
  EXPECT_TRUE(fs::is_empty(FDir / "ro"));
}

std::size_t Count(const std::string& AText, const std::string& AWhat) {
  std::size_t n = 0;
  for (std::size_t at = AText.find(AWhat); at != std::string::npos; at = AText.find(AWhat, at + 1)) ++n;
  return n;
}

std::string ReadAll(const std::string& APath) {
  std::ifstream in(APath, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// One 1000 × 1000 picture (3 MB of pixels) painted 20 000 times where it already is, then
// in 20 new places: the job holds one picture, writes it once per place, and stays small
// and quick.
TEST_F(HostileInput, PicturePaintedThousandsOfTimesIsHeldOnceAndWrittenOncePerPlace) {
  TkwTestPdf pdf;
  std::string pixels(3'000'000, '\0');
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<char>((i * 7) % 251);
  const int image = pdf.AddStream(
      "/Type /XObject /Subtype /Image /Width 1000 /Height 1000 /ColorSpace /DeviceRGB /BitsPerComponent 8 "
      "/Filter /FlateDecode",
      TkwTestPdf::Deflate(pixels));
  std::string content;
  for (int i = 0; i < 20'000; ++i) content += "q 200 0 0 200 100 300 cm /Im Do Q\n";
  for (int i = 0; i < 20; ++i) content += "q 20 0 0 20 " + std::to_string(20 + i * 25) + " 100 cm /Im Do Q\n";
  pdf.AddPage(content, {}, "/Resources << /XObject << /Im " + std::to_string(image) + " 0 R >> >>");
  TkwPDFConverter converter;
  converter.SetInputFileName(Write("painted.pdf", pdf.Save()));
  const std::string output = (FDir / "out.rtf").string();
  converter.SetOutputFileName(output);
  const auto start = std::chrono::steady_clock::now();
  converter.Convert();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(Count(ReadAll(output), "{\\pict"), 21u);
  EXPECT_EQ(converter.GetDiagnostics().Count(TkwDiagCode::dcPageBudget), 0);
#ifdef NDEBUG
  // Checked builds are slower and hold more by a factor.
  EXPECT_LT(seconds, 5.0);
  rusage usage{};
  ASSERT_EQ(::getrusage(RUSAGE_SELF, &usage), 0);
  EXPECT_LT(usage.ru_maxrss, 500 * 1024) << "peak KB";
#else
  (void)seconds;
#endif
}

// The input rewritten and cut short, over and over, while it is converted: every job
// either converts what it read or fails with a message, and leaves no file but its output.
TEST_F(HostileInput, FileChangingDuringConversionsNeverCrashesOrLeavesFiles) {
  TkwTestPdf pdf;
  const int f1 = pdf.AddFont("Helvetica");
  for (int page = 0; page < 40; ++page) {
    std::string text = "BT /F1 10 Tf 72 760 Td 12 TL";
    for (int line = 0; line < 40; ++line) text += " (Page " + std::to_string(page + 1) + " line of text) '";
    pdf.AddPage(text + " ET", {{"F1", f1}});
  }
  const std::string full = pdf.Save() + "%" + std::string(8 << 20, ' ') + "\n";
  const std::string input = Write("moving.pdf", full);
  const std::string output = (FDir / "out.rtf").string();
  std::atomic<bool> done{false};
  std::thread changer([&] {
    for (int round = 0; !done; ++round) {
      if (round % 2 == 0) {
        ASSERT_EQ(::truncate(input.c_str(), static_cast<off_t>(full.size() / 3 + round % 1000)), 0);
      } else {
        std::ofstream(input, std::ios::binary) << full;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
  });
  std::set<std::string> messages;
  int converted = 0;
  for (int i = 0; i < 30; ++i) {
    TkwPDFConverter converter;
    converter.SetInputFileName(input);
    converter.SetOutputFileName(output);
    try {
      converter.Convert();
      ++converted;
    } catch (const std::exception& e) {
      messages.insert(e.what());
    }
    for (const std::string& name : Left()) EXPECT_EQ(name, "out.rtf");
  }
  done = true;
  changer.join();
  std::string said;
  for (const std::string& m : messages) {
    EXPECT_FALSE(m.empty());
    said += m + "; ";
  }
  RecordProperty("converted", converted);
  RecordProperty("messages", said);
  // Once the file holds still, it converts in full.
  std::ofstream(input, std::ios::binary) << full;
  TkwPDFConverter converter;
  converter.SetInputFileName(input);
  converter.SetOutputFileName(output);
  converter.Convert();
  EXPECT_NE(ReadAll(output).find("Page 40 line of text"), std::string::npos);
}

}  // namespace
}  // namespace qm
