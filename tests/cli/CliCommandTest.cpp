// Runs the built `quillmark` as a user would and checks its output, status and files.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <exception>
#include <new>
#include <stdexcept>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/kwDiagnostics.h"
#include "base/OutOfMemory.h"
#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "converter/kwPDFConverter.h"
#include "tests/support/pdf/TestPdf.h"
#include "tests/support/rtf/RtfReader.h"

namespace {

namespace fs = std::filesystem;

struct TRun {
  int Status = -1;
  std::string Out, Err;
};

std::string Quote(const std::string& AArg) {
  std::string q = "'";
  for (char c : AArg) {
    if (c == '\'') q += "'\\''";
    else q += c;
  }
  return q + "'";
}

std::string ReadFile(const fs::path& APath) {
  std::ifstream in(APath, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class CliCommand : public ::testing::Test {
protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info->name();
    std::replace(name.begin(), name.end(), '/', '_');
    FDir = fs::temp_directory_path() / ("qm_cli_" + name + "_" + std::to_string(::getpid()));
    fs::remove_all(FDir);
    fs::create_directories(FDir);
  }
  void TearDown() override { fs::remove_all(FDir); }

  TRun Run(const std::vector<std::string>& AArgs) {
    std::string cmd = Quote(QM_QUILLMARK);
    for (const std::string& a : AArgs) cmd += " " + Quote(a);
    const fs::path out = FDir / ".stdout", err = FDir / ".stderr";
    cmd += " >" + Quote(out.string()) + " 2>" + Quote(err.string()) + " </dev/null";
    const int raw = std::system(cmd.c_str());
    TRun r;
    r.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.Out = ReadFile(out);
    r.Err = ReadFile(err);
    fs::remove(out);
    fs::remove(err);
    return r;
  }

  std::string Path(const std::string& AName) const { return (FDir / AName).string(); }
  void Write(const std::string& AName, const std::string& AText) {
    fs::create_directories(fs::path(Path(AName)).parent_path());
    std::ofstream(Path(AName), std::ios::binary) << AText;
  }
  std::set<std::string> Listing(const fs::path& ADir) const {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(ADir)) names.insert(e.path().string());
    return names;
  }

  fs::path FDir;
};

TEST_F(CliCommand, HelpListsCommandsAndExitsZero) {
  const TRun r = Run({"--help"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_NE(r.Out.find("convert"), std::string::npos);
  EXPECT_NE(r.Out.find("info"), std::string::npos);
  EXPECT_EQ(r.Err, "");
  const TRun c = Run({"convert", "--help"});
  EXPECT_EQ(c.Status, 0);
  for (const char* option : {"--pages", "--no-tabs", "--dest", "--jobs", "--process", "--preset", "--password",
                             "--open", "--quiet", "--verbose"}) {
    EXPECT_NE(c.Out.find(option), std::string::npos) << option;
  }
}

TEST_F(CliCommand, VersionIsOnePointOne) {
  const TRun r = Run({"--version"});
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, "quillmark 1.1\n");
}

class CliUsage : public CliCommand, public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(CliUsage, ExitsTwoWithOneLineOnStderr) {
  const TRun r = Run(GetParam());
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Out, "");
  ASSERT_FALSE(r.Err.empty());
  EXPECT_EQ(r.Err.rfind("quillmark: ", 0), 0u) << r.Err;
  EXPECT_EQ(r.Err.find('\n'), r.Err.size() - 1) << r.Err;
}

INSTANTIATE_TEST_SUITE_P(
    Errors, CliUsage,
    ::testing::Values(std::vector<std::string>{}, std::vector<std::string>{"--bogus"},
                      std::vector<std::string>{"translate", "a.pdf"},
                      std::vector<std::string>{"convert"},
                      std::vector<std::string>{"convert", "a.pdf", "b.pdf", "-o", "x.rtf"},
                      std::vector<std::string>{"convert", "a.pdf", "-o", "x.rtf", "--dest", "d"},
                      std::vector<std::string>{"convert", "a.pdf", "--process", "page"},
                      std::vector<std::string>{"convert", "a.pdf", "--process", "page=drop"},
                      std::vector<std::string>{"convert", "a.pdf", "--preset", "fancy"},
                      std::vector<std::string>{"convert", "a.pdf", "--verbose", "--quiet"},
                      std::vector<std::string>{"info"},
                      std::vector<std::string>{"convert", "a.pdf", "--pages", "x"},
                      std::vector<std::string>{"convert", "a.pdf", "--pages", "0"},
                      std::vector<std::string>{"convert", "a.pdf", "--pages", "5-2"},
                      std::vector<std::string>{"convert", "a.pdf", "--pages", "abc"},
                      std::vector<std::string>{"convert", "a.pdf", "--pages", "1.5"},
                      std::vector<std::string>{"convert", "a.pdf", "--pages", "1,,3"}));

struct TMessageCase {
  std::vector<std::string> Args;
  const char* Err;
};

class CliUsageMessage : public CliCommand, public ::testing::WithParamInterface<TMessageCase> {};

// The option and the reason are named, with the user's text in single quotes.
TEST_P(CliUsageMessage, NamesTheOptionAndTheReason) {
  const TRun r = Run(GetParam().Args);
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err, std::string("quillmark: ") + GetParam().Err + " (see quillmark --help)\n");
}

INSTANTIATE_TEST_SUITE_P(
    Messages, CliUsageMessage,
    ::testing::Values(TMessageCase{{"convrt", "a.pdf"}, "unknown command 'convrt'"},
                      TMessageCase{{"convert", "a.pdf", "--pages", "x"}, "--pages: 'x' is not a page number"},
                      TMessageCase{{"convert", "a.pdf", "--pages", "0"}, "--pages: '0' is not a page number"},
                      TMessageCase{{"convert", "a.pdf", "--pages", "5-2"}, "--pages: '5-2' runs backwards"},
                      TMessageCase{{"convert", "a.pdf", "--pages", "1.5"}, "--pages: '1.5' is not a page number"},
                      TMessageCase{{"convert", "a.pdf", "--pages", "1,,3"}, "--pages: an item is empty"}));

TEST_F(CliCommand, MissingInputIsFileNotFoundAndExitsOne) {
  const std::string missing = Path("missing.pdf");
  const TRun r = Run({"convert", missing});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "quillmark: " + missing + ": File Not Found\n");
  EXPECT_FALSE(fs::exists(Path("missing.rtf")));
  const TRun i = Run({"info", missing});
  EXPECT_EQ(i.Status, 1);
  EXPECT_EQ(i.Err, "quillmark: " + missing + ": File Not Found\n");
}

TEST_F(CliCommand, BatchGoesOnAfterAFailingFile) {
  const TRun r = Run({"convert", Path("one.pdf"), Path("two.pdf"), "--dest", Path("out"), "--quiet"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "quillmark: " + Path("one.pdf") + ": File Not Found\nquillmark: " + Path("two.pdf") +
                       ": File Not Found\n");
  EXPECT_TRUE(fs::is_directory(Path("out")));  // created even though nothing was converted
}

// --verbose ends a file's log with what the engine tolerated, one line per kind; the lines
// are the converter's own description of the job.
TEST_F(CliCommand, VerboseLogsWhatTheJobTolerated) {
  qm::TkwTestPdf pdf;
  pdf.AddPage("1 foo 0 0 m");
  pdf.AddPage("foo 0 0 m");
  pdf.SetStartXRefText("999999\n");
  Write("damaged.pdf", pdf.Save());
  qm::TkwPDFConverter converter;
  converter.SetInputFileName(Path("damaged.pdf"));
  converter.SetOutputFileName(Path("expected.rtf"));
  converter.Convert();
  const std::vector<std::string> lines = qm::DescribeDiagnostics(converter.GetDiagnostics());
  ASSERT_EQ(lines.size(), 2u);

  const TRun r = Run({"convert", Path("damaged.pdf"), "-o", Path("out.rtf"), "--verbose"});
  EXPECT_EQ(r.Status, 0);
  for (const std::string& line : lines) EXPECT_NE(r.Err.find("\n" + line + "\n"), std::string::npos) << line;
  EXPECT_GT(r.Err.find(lines.front()), r.Err.find("Done."));
  const TRun q = Run({"convert", Path("damaged.pdf"), "-o", Path("out.rtf"), "--quiet"});
  EXPECT_EQ(q.Err.find(lines.front()), std::string::npos);
}

std::string Fixture(const char* AName);

TEST_F(CliCommand, PagesBeyondTheLastPageIsAUsageErrorThatWritesNothing) {
  const std::string file = Fixture("text-3pages.pdf");
  const TRun r = Run({"convert", file, "--pages", "99", "-o", Path("out.rtf"), "-q"});
  EXPECT_EQ(r.Status, 2);
  EXPECT_EQ(r.Err, "quillmark: " + file + ": --pages: page 99 is beyond the last page (3)\n");
  EXPECT_FALSE(fs::exists(Path("out.rtf")));
  EXPECT_EQ(Run({"convert", file, "--pages", "2, 7-9", "-o", Path("out.rtf"), "-q"}).Status, 0);
}

struct TInputCase {
  const char* Name;
  const char* Bytes;  // nullptr: a folder
  const char* Message;
};

class CliInputMessage : public CliCommand, public ::testing::WithParamInterface<TInputCase> {};

TEST_P(CliInputMessage, SaysWhatTheInputIs) {
  const std::string input = Path(std::string(GetParam().Name) + ".pdf");
  if (GetParam().Bytes == nullptr) {
    fs::create_directories(input);
  } else {
    Write(GetParam().Name + std::string(".pdf"), GetParam().Bytes);
  }
  const TRun r = Run({"convert", input, "-o", Path("out.rtf"), "-q"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "quillmark: " + input + ": " + GetParam().Message + "\n");
  EXPECT_FALSE(fs::exists(Path("out.rtf")));
  const TRun i = Run({"info", input});
  EXPECT_EQ(i.Err, "quillmark: " + input + ": " + GetParam().Message + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, CliInputMessage,
    ::testing::Values(TInputCase{"text", "Dear reader,\nthis is a letter.\n", "Not a PDF file"},
                      TInputCase{"folder", nullptr, "Is a directory"},
                      TInputCase{"nopages", "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n2 0 obj << /Type /Pages /Kids [] >> endobj\ntrailer << /Root 1 0 R >>\n",
                                 "No page could be read"}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(CliCommand, OutputConventions) {
  const std::string file = Fixture("text-3pages.pdf");
  // An existing folder, and a name ending in '/' that is created with its parents.
  fs::create_directories(Path("existing"));
  EXPECT_EQ(Run({"convert", file, "-o", Path("existing"), "-q"}).Status, 0);
  EXPECT_TRUE(fs::exists(Path("existing/text-3pages.rtf")));
  EXPECT_EQ(Run({"convert", file, "-o", Path("new/sub") + "/", "-q"}).Status, 0);
  EXPECT_TRUE(fs::exists(Path("new/sub/text-3pages.rtf")));
  EXPECT_EQ(Run({"convert", file, "-o", Path("deep/er/named.rtf"), "-q"}).Status, 0);
  EXPECT_TRUE(fs::exists(Path("deep/er/named.rtf")));
  // Standard output, and standard input to standard output.
  const TRun out = Run({"convert", file, "-o", "-", "-q"});
  EXPECT_EQ(out.Status, 0) << out.Err;
  EXPECT_EQ(out.Out, ReadFile(Path("deep/er/named.rtf")));
  EXPECT_FALSE(fs::exists("-.rtf"));
  const std::string cmd = "'" + std::string(QM_QUILLMARK) + "' convert - -q <'" + file + "' >'" + Path("piped.rtf") + "'";
  const int raw = std::system(cmd.c_str());
  EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, 0);
  EXPECT_EQ(ReadFile(Path("piped.rtf")), out.Out);
  // --no-clobber keeps what is there.
  Write("kept.rtf", "mine");
  const TRun kept = Run({"convert", file, "-o", Path("kept.rtf"), "--no-clobber", "-q"});
  EXPECT_EQ(kept.Status, 1);
  EXPECT_NE(kept.Err.find("--no-clobber"), std::string::npos) << kept.Err;
  EXPECT_EQ(ReadFile(Path("kept.rtf")), "mine");
}

TEST_F(CliCommand, BatchEndsWithASummaryNamingTheFailures) {
  const std::string file = Fixture("text-3pages.pdf");
  const TRun r = Run({"convert", file, Path("missing.pdf"), "--dest", Path("out")});
  EXPECT_EQ(r.Status, 1);
  const std::string last = "1 converted, 1 failed: " + Path("missing.pdf") + "\n";
  ASSERT_GE(r.Err.size(), last.size());
  EXPECT_EQ(r.Err.substr(r.Err.size() - last.size()), last) << r.Err;
}

TEST_F(CliCommand, LostContentIsAWarningAndAFailureWithStrict) {
  qm::TkwTestPdf pdf;
  const int f1 = pdf.AddFont("Helvetica");
  std::string copies;
  for (int i = 0; i < 60'000; ++i) copies += "BT /F1 12 Tf 72 720 Td (Hello world) Tj ET\n";
  pdf.AddPage("BT /F1 12 Tf 72 720 Td (First) Tj ET", {{"F1", f1}});
  pdf.AddPage(copies, {{"F1", f1}});
  Write("copies.pdf", pdf.Save());
  const TRun r = Run({"convert", Path("copies.pdf"), "-o", Path("out.rtf")});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Err.find("quillmark: " + Path("copies.pdf") + ": warning: page 2: the page was too much work"),
            std::string::npos)
      << r.Err;
  EXPECT_TRUE(fs::exists(Path("out.rtf")));
  const TRun strict = Run({"convert", Path("copies.pdf"), "-o", Path("out.rtf"), "--strict", "-q"});
  EXPECT_EQ(strict.Status, 4);
  EXPECT_EQ(strict.Err, "");
  EXPECT_EQ(Run({"convert", Fixture("text-3pages.pdf"), "-o", Path("plain.rtf"), "--strict", "-q"}).Status, 0);
}

TEST_F(CliCommand, InfoJsonAndPasswordSources) {
  const TRun j = Run({"info", Fixture("text-3pages.pdf"), "--json"});
  EXPECT_EQ(j.Status, 0) << j.Err;
  EXPECT_EQ(j.Out.rfind("{\"file\": \"" + Fixture("text-3pages.pdf") + "\", \"pages\": 3, \"version\": \"1.", 0), 0u)
      << j.Out;
  EXPECT_NE(j.Out.find("\"encrypted\": false, \"encryption\": null}\n"), std::string::npos) << j.Out;

  const std::string locked = Fixture("qpdf-rc4-40-userpw.pdf");
  const TRun wrong = Run({"info", locked, "--password", "wrong"});
  EXPECT_EQ(wrong.Status, 3);
  EXPECT_EQ(wrong.Err, "quillmark: " + locked + ": Wrong password\n");
  ::setenv("QUILLMARK_PASSWORD", "user", 1);
  const TRun env = Run({"convert", locked, "-o", Path("unlocked.rtf"), "-q"});
  ::unsetenv("QUILLMARK_PASSWORD");
  EXPECT_EQ(env.Status, 0) << env.Err;
  // A file whose user password is empty opens whatever password is given.
  const TRun open = Run({"info", Fixture("qpdf-rc4-128.pdf"), "--password", "not-the-owner"});
  EXPECT_EQ(open.Status, 0) << open.Err;
}

TEST_F(CliCommand, WriteErrorNamesTheOutputAndTheReason) {
  const TRun r = Run({"convert", Fixture("text-3pages.pdf"), "-o", "/proc/qm-cannot-write-here.rtf", "-q"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err.rfind("quillmark: Cannot create file \"/proc/qm-cannot-write-here.rtf\". ", 0), 0u) << r.Err;
  EXPECT_GT(r.Err.size(), std::string("quillmark: Cannot create file \"/proc/qm-cannot-write-here.rtf\". \n").size());
}

TEST_F(CliCommand, FailedConversionKeepsTheExistingTargetAndLeavesNothingBehind) {
  Write("in/broken.pdf", "%PDF-1.4\nthis is not a PDF body\n");
  Write("out/broken.rtf", "{\\rtf1 the good file}");
  const auto before = Listing(FDir);
  const TRun r = Run({"convert", Path("in/broken.pdf"), "--dest", Path("out")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(ReadFile(Path("out/broken.rtf")), "{\\rtf1 the good file}");
  EXPECT_EQ(Listing(FDir), before);
  // The same with an explicit output name beside the input.
  Write("in/broken.rtf", "keep me");
  const TRun s = Run({"convert", Path("in/broken.pdf")});
  EXPECT_EQ(s.Status, 1);
  EXPECT_EQ(ReadFile(Path("in/broken.rtf")), "keep me");
}

TEST_F(CliCommand, OutputThatWouldReplaceTheInputIsRefused) {
  Write("doc.pdf", "%PDF-1.4\n");
  const TRun r = Run({"convert", Path("doc.pdf"), "-o", Path("./doc.pdf")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("would replace the input"), std::string::npos) << r.Err;
  EXPECT_EQ(ReadFile(Path("doc.pdf")), "%PDF-1.4\n");
}

TEST_F(CliCommand, TwoInputsOfOneNameNeverShareAnOutput) {
  Write("a/doc.pdf", "%PDF-1.4\n");
  Write("b/doc.pdf", "%PDF-1.4\n");
  const TRun r = Run({"convert", Path("a/doc.pdf"), Path("b/doc.pdf"), "--dest", Path("out"), "-q"});
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find(Path("b/doc.pdf") + ": the output " + Path("out") + "/doc.rtf is already written"),
            std::string::npos)
      << r.Err;
}

std::string Fixture(const char* AName) { return std::string(QM_FIXTURE_DIR) + "/" + AName; }

TEST_F(CliCommand, InfoPrintsPagesVersionAndEncryption) {
  const TRun r = Run({"info", Fixture("text-3pages.pdf")});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find("Pages: 3\n"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("PDF version: 1."), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("Encrypted: no\n"), std::string::npos) << r.Out;
  const TRun e = Run({"info", Fixture("qpdf-rc4-128.pdf")});
  EXPECT_EQ(e.Status, 0) << e.Err;
  EXPECT_NE(e.Out.find("Encrypted: yes, RC4 128-bit"), std::string::npos) << e.Out;
}

TEST_F(CliCommand, PasswordRequiredOrWrongExitsThree) {
  const std::string file = Fixture("qpdf-rc4-40-userpw.pdf");
  const TRun none = Run({"info", file});
  EXPECT_EQ(none.Status, 3);
  EXPECT_EQ(none.Err, "quillmark: " + file + ": Encrypted PDF: Password required for loading\n");
  EXPECT_EQ(Run({"info", file, "--password", "wrong"}).Status, 3);
  const TRun good = Run({"info", file, "--password", "user"});
  EXPECT_EQ(good.Status, 0) << good.Err;
  EXPECT_NE(good.Out.find("Encrypted: yes, RC4 40-bit"), std::string::npos) << good.Out;
}

TEST_F(CliCommand, InfoOnADamagedFileGivesTheEngineMessage) {
  Write("empty.pdf", "");
  const TRun r = Run({"info", Path("empty.pdf")});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "quillmark: " + Path("empty.pdf") + ": Invalid PDF Document\n");
}

TEST_F(CliCommand, ConvertNeedingAPasswordExitsThreeAndWritesNothing) {
  const std::string file = Fixture("qpdf-rc4-40-userpw.pdf");
  const TRun r = Run({"convert", file, "-o", Path("locked.rtf")});
  EXPECT_EQ(r.Status, 3);
  EXPECT_EQ(r.Err, "quillmark: " + file + ": Encrypted PDF: Password required for loading\n");
  EXPECT_FALSE(fs::exists(Path("locked.rtf")));
  EXPECT_EQ(Run({"convert", file, "-o", Path("locked.rtf"), "--password", "wrong", "-q"}).Status, 3);
}

// The font catalogue is kept in the user's cache folder after the first run; a later run
// that takes it from there, or finds it damaged, writes the same RTF.
TEST_F(CliCommand, FontCatalogueCacheGivesTheSameDocument) {
  qm::TkwTestPdf pdf;
  const int sans = pdf.AddFont("Helvetica");
  const int serif = pdf.AddFont("Times-Bold");
  pdf.AddPage("BT /F1 12 Tf 72 720 Td (Plain words in a sans face.) Tj ET "
              "BT /F2 14 Tf 72 690 Td (Bold serif words.) Tj ET",
              {{"F1", sans}, {"F2", serif}});
  ASSERT_TRUE(pdf.SaveToFile(Path("in.pdf")));
  const std::string env = "XDG_CACHE_HOME=" + Path("cache");
  const fs::path cacheFile = FDir / "cache" / "quillmark" / "fonts.cache";
  auto convert = [&](const std::string& AOut) {
    const std::string cmd = "env " + Quote(env) + " " + Quote(QM_QUILLMARK) + " convert -q " + Quote(Path("in.pdf")) +
                            " -o " + Quote(Path(AOut)) + " >/dev/null 2>&1";
    return std::system(cmd.c_str());
  };
  ASSERT_EQ(convert("first.rtf"), 0);
  // A machine whose font folders changed in the last seconds (or carry times ahead of its
  // clock) keeps no cache; the documents must still agree.
  const bool cached = fs::exists(cacheFile);
  ASSERT_EQ(convert("second.rtf"), 0);
  Write("cache/quillmark/fonts.cache", "quillmark font cache 1\nenv\tgarbage\n");
  ASSERT_EQ(convert("third.rtf"), 0);
  const std::string first = ReadFile(Path("first.rtf"));
  EXPECT_NE(first.find("Bold serif words."), std::string::npos);
  EXPECT_EQ(ReadFile(Path("second.rtf")), first);
  EXPECT_EQ(ReadFile(Path("third.rtf")), first);
  if (cached) {
    EXPECT_EQ(ReadFile(cacheFile).rfind("quillmark font cache 1\nenv\tfontconfig", 0), 0u) << "written anew";
  }
}

// Runs the shell command ACommand (a verbose conversion writing its messages to AErr) in a
// process of its own and returns its id once the job has begun and ASettle more has passed,
// so that a signal then reaches a conversion under way; -1 when no process could be made.
pid_t StartConversion(const std::string& ACommand, const std::string& AErr, std::chrono::milliseconds ASettle) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execl("/bin/sh", "sh", "-c", ("exec " + ACommand).c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  if (pid < 0) return pid;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (ReadFile(AErr).find("Conversion started...") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  std::this_thread::sleep_for(ASettle);
  return pid;
}

// Ctrl-C stops a conversion at the next page: the run ends with 130, the existing target
// stays as it was and nothing half-written is left beside it.
TEST_F(CliCommand, InterruptStopsTheConversionAndKeepsTheTarget) {
  qm::TkwTestPdf pdf;
  const int font = pdf.AddFont("Helvetica");
  std::string text = "BT /F1 10 Tf 72 760 Td 12 TL";
  for (int line = 0; line < 50; ++line) text += " (Line of text that keeps the converter busy for a while.) '";
  text += " ET";
  for (int page = 0; page < 3000; ++page) pdf.AddPage(text, {{"F1", font}});
  ASSERT_TRUE(pdf.SaveToFile(Path("long.pdf")));
  Write("long.rtf", "the good file");

  const std::string err = Path(".stderr");
  const std::string command = Quote(QM_QUILLMARK) + " convert --verbose " + Quote(Path("long.pdf")) + " 2>" +
                              Quote(err) + " </dev/null >/dev/null";
  const pid_t pid = StartConversion(command, err, std::chrono::milliseconds(200));
  ASSERT_GE(pid, 0);
  ::kill(pid, SIGINT);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << ReadFile(err);
  EXPECT_EQ(WEXITSTATUS(status), 130) << ReadFile(err);
  EXPECT_NE(ReadFile(err).find("interrupted"), std::string::npos) << ReadFile(err);
  EXPECT_EQ(ReadFile(Path("long.rtf")), "the good file");
  fs::remove(err);
  EXPECT_EQ(Listing(FDir), (std::set<std::string>{Path("long.pdf"), Path("long.rtf")}));
}

// A document of APages slow pages: forms nested ten deep, each drawing the next ten times,
// so that each page runs until its work budget ends it.
void WriteSlowPdf(const std::string& APath, int APages) {
  qm::TkwTestPdf pdf;
  const int font = pdf.AddFont("Helvetica");
  const std::string resources = pdf.AddFormFanOut(font);
  for (int page = 0; page < APages; ++page) pdf.AddPage("/X Do", {}, resources);
  std::filesystem::create_directories(std::filesystem::path(APath).parent_path());
  ASSERT_TRUE(pdf.SaveToFile(APath));
}

// Interrupts during a slow page (forms nested ten deep, each drawing the next ten times):
// the first signal stops the page within a second, a second one ends the process at once;
// either way the run exits 130, the existing target stays and no file is left behind.
struct TSignalCase {
  const char* Name;
  std::vector<int> Signals;
};

class CliInterrupt : public CliCommand, public ::testing::WithParamInterface<TSignalCase> {};

TEST_P(CliInterrupt, EndsQuicklyAndLeavesNothing) {
  WriteSlowPdf(Path("slow.pdf"), 20);
  Write("slow.rtf", "the good file");
  const std::string err = Path(".stderr");
  const std::string command = Quote(QM_QUILLMARK) + " convert --verbose " + Quote(Path("slow.pdf")) + " 2>" +
                              Quote(err) + " </dev/null >/dev/null";
  const pid_t pid = StartConversion(command, err, std::chrono::milliseconds(100));
  ASSERT_GE(pid, 0);
  const auto asked = std::chrono::steady_clock::now();
  for (int signal : GetParam().Signals) ::kill(pid, signal);
  int status = 0;
  ::waitpid(pid, &status, 0);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
  ASSERT_TRUE(WIFEXITED(status)) << ReadFile(err);
  EXPECT_EQ(WEXITSTATUS(status), 130) << ReadFile(err);
  EXPECT_LT(seconds, 1.0);
  EXPECT_EQ(ReadFile(Path("slow.rtf")), "the good file");
  fs::remove(err);
  EXPECT_EQ(Listing(FDir), (std::set<std::string>{Path("slow.pdf"), Path("slow.rtf")}));
}

INSTANTIATE_TEST_SUITE_P(Signals, CliInterrupt,
                         ::testing::Values(TSignalCase{"CtrlC", {SIGINT}}, TSignalCase{"Term", {SIGTERM}},
                                           TSignalCase{"CtrlCTwice", {SIGINT, SIGINT}},
                                           TSignalCase{"TermThenCtrlC", {SIGTERM, SIGINT}}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

// A small document of APages pages of text; ASeed makes its words its own.
void WriteTextPdf(const std::string& APath, int APages, int ASeed) {
  qm::TkwTestPdf pdf;
  const int font = pdf.AddFont("Helvetica");
  for (int page = 0; page < APages; ++page) {
    std::string text = "BT /F1 11 Tf 72 740 Td 14 TL";
    for (int line = 0; line < 30; ++line) {
      text += " (File " + std::to_string(ASeed) + " page " + std::to_string(page + 1) + " line " +
              std::to_string(line + 1) + " of running words.) '";
    }
    pdf.AddPage(text + " ET", {{"F1", font}});
  }
  fs::create_directories(fs::path(APath).parent_path());
  ASSERT_TRUE(pdf.SaveToFile(APath));
}

// The log blocks of a run, split at the empty lines.
std::vector<std::vector<std::string>> Blocks(const std::string& AErr) {
  std::vector<std::vector<std::string>> blocks(1);
  std::istringstream in(AErr);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) {
      blocks.emplace_back();
    } else {
      blocks.back().push_back(line);
    }
  }
  if (blocks.back().empty()) blocks.pop_back();
  return blocks;
}

// Several files at once: each file's log lines stay together as one block, whatever order
// the files end in; a refused input is reported before any file starts.
TEST_F(CliCommand, ParallelBatchKeepsEachFilesLogTogether) {
  for (int i = 1; i <= 4; ++i) WriteTextPdf(Path("in/f" + std::to_string(i) + ".pdf"), 2 + i, i);
  const std::vector<std::string> inputs = {Path("in/f1.pdf"), Path("in/f2.pdf"), Path("in/gone.pdf"),
                                           Path("in/f3.pdf"), Path("in/f4.pdf")};
  std::vector<std::string> args = {"convert", "--dest", Path("out"), "--jobs", "2", "-v"};
  args.insert(args.end(), inputs.begin(), inputs.end());
  const TRun r = Run(args);
  EXPECT_EQ(r.Status, 1) << r.Err;
  auto blocks = Blocks(r.Err);
  // The run ends with its summary.
  ASSERT_FALSE(blocks.empty());
  EXPECT_EQ(blocks.back(), std::vector<std::string>{"4 converted, 1 failed: " + Path("in/gone.pdf")});
  blocks.pop_back();
  ASSERT_EQ(blocks.size(), 5u) << r.Err;
  EXPECT_EQ(blocks[0], std::vector<std::string>{"quillmark: " + Path("in/gone.pdf") + ": File Not Found"});
  std::set<int> numbers;
  for (std::size_t b = 1; b < blocks.size(); ++b) {
    const auto& block = blocks[b];
    ASSERT_EQ(block.size(), 6u) << r.Err;
    const int number = std::stoi(block[0].substr(std::string("File #").size()));
    numbers.insert(number);
    const std::string& input = inputs[static_cast<std::size_t>(number - 1)];
    const std::string stem = fs::path(input).stem().string();
    const int pages = 2 + (stem.back() - '0');
    EXPECT_EQ(block[0], "File #" + std::to_string(number) + " (" + std::to_string(pages) + " pages)");
    EXPECT_EQ(block[1], "In: " + input);
    EXPECT_EQ(block[2], "Out: " + Path("out") + "/" + stem + ".rtf");
    EXPECT_EQ(block[3], "Conversion started...");
    EXPECT_EQ(block[5], "Done. " + std::to_string(pages) + " pages converted.");
  }
  EXPECT_EQ(numbers, (std::set<int>{1, 2, 4, 5}));
}

// The outcome of a batch, whatever the number of files at once: the same exit status, the
// same error lines and the same files.
TEST_F(CliCommand, ParallelBatchEndsAsOneByOne) {
  WriteTextPdf(Path("in/good.pdf"), 2, 1);
  WriteTextPdf(Path("in/other.pdf"), 1, 2);
  Write("in/broken.pdf", "%PDF-1.4\nthis is not a PDF body\n");
  Write("in/dup/good.pdf", "%PDF-1.4\n");
  fs::copy_file(Fixture("qpdf-rc4-40-userpw.pdf"), Path("in/locked.pdf"));
  const std::vector<std::string> all = {Path("in/good.pdf"), Path("in/broken.pdf"), Path("in/dup/good.pdf"),
                                        Path("in/locked.pdf"), Path("in/other.pdf")};
  auto errorLines = [](const std::string& AErr) {
    std::multiset<std::string> lines;
    std::istringstream in(AErr);
    for (std::string line; std::getline(in, line);) lines.insert(line);
    return lines;
  };
  auto run = [&](const std::vector<std::string>& AInputs, const std::string& AJobs, const std::string& ADest) {
    std::vector<std::string> args = {"convert", "-q", "--jobs", AJobs, "--dest", Path(ADest)};
    args.insert(args.end(), AInputs.begin(), AInputs.end());
    return Run(args);
  };
  const TRun one = run(all, "1", "one");
  const TRun three = run(all, "3", "three");
  EXPECT_EQ(one.Status, 1);
  EXPECT_EQ(three.Status, one.Status);
  std::string err = one.Err;
  for (std::size_t at; (at = err.find(Path("one"))) != std::string::npos;) err.replace(at, Path("one").size(), Path("three"));
  EXPECT_EQ(errorLines(three.Err), errorLines(err)) << one.Err << "--\n" << three.Err;
  EXPECT_NE(three.Err.find(Path("in/dup/good.pdf") + ": the output " + Path("three") + "/good.rtf is already written"),
            std::string::npos)
      << three.Err;
  EXPECT_EQ(Listing(Path("three")).size(), 2u);
  EXPECT_TRUE(fs::exists(Path("three/good.rtf")));
  EXPECT_TRUE(fs::exists(Path("three/other.rtf")));
  // Only a password failing: 3, as one by one.
  const std::vector<std::string> locked = {Path("in/good.pdf"), Path("in/locked.pdf"), Path("in/other.pdf")};
  EXPECT_EQ(run(locked, "1", "l1").Status, 3);
  EXPECT_EQ(run(locked, "2", "l2").Status, 3);
}

// Several inputs without --dest, at once: each RTF beside its input.
TEST_F(CliCommand, ParallelFilesWithoutDestGoBesideTheirInputs) {
  WriteTextPdf(Path("a/one.pdf"), 2, 1);
  WriteTextPdf(Path("b/two.pdf"), 3, 2);
  const TRun r = Run({"convert", "--jobs", "2", "-q", Path("a/one.pdf"), Path("b/two.pdf")});
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Err, "");
  EXPECT_EQ(ReadFile(Path("a/one.rtf")).rfind("{\\rtf1", 0), 0u);
  EXPECT_EQ(ReadFile(Path("b/two.rtf")).rfind("{\\rtf1", 0), 0u);
}

// Ctrl-C with several files running stops every one of them: 130, no target touched, no
// half-written file left, and no further file started.
TEST_F(CliCommand, InterruptStopsEveryRunningFile) {
  // Slow pages: the two first files are still running when the signal comes.
  for (const char* name : {"a", "b", "c"}) WriteSlowPdf(Path(std::string("in/") + name + ".pdf"), 30);
  for (const char* name : {"a", "b", "c"}) Write(std::string("out/") + name + ".rtf", "the good file");
  const std::string err = Path(".stderr");
  const std::string command = Quote(QM_QUILLMARK) + " convert --jobs 2 -q --dest " + Quote(Path("out")) + " " +
                              Quote(Path("in/a.pdf")) + " " + Quote(Path("in/b.pdf")) + " " +
                              Quote(Path("in/c.pdf")) + " 2>" + Quote(err) + " </dev/null >/dev/null";
  const auto before = Listing(Path("out"));
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::execl("/bin/sh", "sh", "-c", ("exec " + command).c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // The two running files are well into their pages (the temporary files only come when
  // a document is written, so there is nothing to watch for).
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  ::kill(pid, SIGINT);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << ReadFile(err);
  EXPECT_EQ(WEXITSTATUS(status), 130) << ReadFile(err);
  std::set<std::string> lines;
  std::istringstream in(ReadFile(err));
  for (std::string line; std::getline(in, line);) lines.insert(line);
  EXPECT_EQ(lines, (std::set<std::string>{
                       "quillmark: " + Path("in/a.pdf") + ": interrupted; the output was left as it was",
                       "quillmark: " + Path("in/b.pdf") + ": interrupted; the output was left as it was"}))
      << ReadFile(err);
  EXPECT_EQ(Listing(Path("out")), before);
  for (const char* name : {"a", "b", "c"}) EXPECT_EQ(ReadFile(Path(std::string("out/") + name + ".rtf")), "the good file");
}

// On a terminal each running file has its bar line, redrawn in place; a file's Done line
// stays on the screen when it ends, and the bars are gone at the end.
TEST_F(CliCommand, TerminalShowsOneBarPerRunningFile) {
  WriteTextPdf(Path("in/a.pdf"), 6, 1);
  WriteTextPdf(Path("in/b.pdf"), 6, 2);
  qm::cli::TOptions options;
  options.Command = qm::cli::TCommand::cmConvert;
  options.Inputs = {Path("in/a.pdf"), Path("in/b.pdf")};
  options.Dest = Path("out");
  options.Jobs = 2;
  options.Actions.fill(qm::TkwAction::acRetain);
  std::ostringstream err;
  ASSERT_EQ(qm::cli::RunConvert(options, err, true), qm::cli::kExitOk);
  const std::string screen = err.str();
  for (const char* bar : {"file 1/2 [", "file 2/2 [", "] page 6/6  00:"}) {
    EXPECT_NE(screen.find(bar), std::string::npos) << bar;
  }
  for (const char* name : {"a", "b"}) {
    EXPECT_NE(screen.find("Done. 6 pages converted. Out: " + Path("out") + "/" + name + ".rtf\n"), std::string::npos)
        << screen;
  }
  // No bar is drawn after the last file's Done line.
  EXPECT_GT(screen.rfind("Done."), screen.rfind("file "));
  EXPECT_EQ(screen.back(), '\n');
  EXPECT_EQ(screen.find("File #"), std::string::npos);  // no log on a terminal
}

// The RTF of a file with the list and shape ids, which every conversion draws anew, made
// equal.
std::string ReadRtf(const fs::path& APath) { return qm::rtftest::WithIdsMadeEqual(ReadFile(APath)); }

// Files converted at once write what files converted one after the other write.
TEST_F(CliCommand, ParallelBatchWritesTheFilesOfOneByOne) {
  std::vector<std::string> inputs;
  for (const char* name : {"e2e/prose.pdf", "e2e/tables.pdf", "e2e/lists.pdf", "e2e/columns.pdf", "e2e/image.pdf",
                           "e2e/headings.pdf", "text-3pages.pdf"}) {
    inputs.push_back(Fixture(name));
  }
  inputs.push_back(std::string(QM_SOURCE_DIR) + "/examples/sample.pdf");
  for (const char* jobs : {"1", "3"}) {
    std::vector<std::string> args = {"convert", "-q", "--jobs", jobs, "--dest", Path(std::string("jobs-") + jobs)};
    args.insert(args.end(), inputs.begin(), inputs.end());
    const TRun r = Run(args);
    ASSERT_EQ(r.Status, 0) << r.Err;
  }
  for (const std::string& input : inputs) {
    const std::string name = fs::path(input).stem().string() + ".rtf";
    const std::string one = ReadRtf(Path("jobs-1/" + name));
    EXPECT_EQ(one.rfind("{\\rtf1", 0), 0u) << name;
    EXPECT_TRUE(ReadRtf(Path("jobs-3/" + name)) == one) << name;
  }
}

}  // namespace

namespace qm {
namespace {

// The line "quillmark: FILE: <message>" and the application's log show this text.
struct TMessageCase {
  std::exception_ptr Error;
  const char* Shown;
};

class JobErrorMessage : public ::testing::TestWithParam<TMessageCase> {};

TEST_P(JobErrorMessage, OutOfMemoryIsNamedAndEverythingElseKeepsItsMessage) {
  try {
    std::rethrow_exception(GetParam().Error);
  } catch (const std::exception& e) {
    EXPECT_EQ(ErrorMessage(e), GetParam().Shown);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Errors, JobErrorMessage,
    ::testing::Values(TMessageCase{std::make_exception_ptr(std::bad_alloc()), "Out of memory"},
                      TMessageCase{std::make_exception_ptr(std::bad_array_new_length()), "Out of memory"},
                      TMessageCase{std::make_exception_ptr(EOutOfMemory()), "Out of memory"},
                      TMessageCase{std::make_exception_ptr(std::runtime_error("Invalid PDF Document")),
                                   "Invalid PDF Document"},
                      TMessageCase{std::make_exception_ptr(std::length_error("vector")), "vector"}));

}  // namespace
}  // namespace qm
