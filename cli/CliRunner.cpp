#include "cli/CliRunner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <string_view>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "base/OutOfMemory.h"
#include "base/TempFiles.h"
#include "converter/kwBatchPool.h"
#include "converter/kwPDFConverter.h"
#include "converter/kwPDFSummary.h"
#include "converter/kwPageRange.h"
#include "formatter/kwFormatterElements.h"
#include "pdf/core/kwPDBaseObject.h"

extern char** environ;

namespace qm::cli {

namespace fs = std::filesystem;

namespace {

bool IsPasswordError(const std::exception& AError) {
  return dynamic_cast<const ExPasswordRequired*>(&AError) != nullptr ||
         dynamic_cast<const ExInvalidPassword*>(&AError) != nullptr;
}

// The document core's own message, for an input the command does not even try to open.
std::string FileNotFoundMessage() {
  return ExFileNotFound().what();
}

std::string ChangeExtToRTF(const std::string& AName) {
  const std::size_t slash = AName.find_last_of('/');
  const std::size_t dot = AName.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    return AName.substr(0, dot) + ".rtf";
  }
  return AName + ".rtf";
}

// Two names for the same file, whether or not it exists yet.
bool SameFile(const std::string& A, const std::string& B) {
  std::error_code ec;
  if (fs::equivalent(A, B, ec)) return true;
  const fs::path a = fs::weakly_canonical(fs::absolute(A, ec), ec);
  const fs::path b = fs::weakly_canonical(fs::absolute(B, ec), ec);
  return !ec && a == b;
}

void ShellOpen(const std::string& APath) {
  // An absolute path never starts with '-', so the opener cannot take it for an option
  // (xdg-open refuses a "--" separator).
  std::error_code ec;
  const std::string path = fs::absolute(APath, ec).string();
  const char* argv[] = {"xdg-open", path.empty() ? APath.c_str() : path.c_str(), nullptr};
  pid_t pid = 0;
  // Opening is a courtesy: a desktop without xdg-open just does not open anything.
  if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, const_cast<char**>(argv), environ) == 0) {
    int status = 0;
    (void)waitpid(pid, &status, 0);
  }
}

std::string TwoDigits(long AValue) {
  std::string digits = std::to_string(AValue);
  if (AValue < 10) digits.insert(digits.begin(), '0');
  return digits;
}

// Progress and log output of one `convert` run on stderr. Files may run at once, each
// in its own thread: every call takes the lock, a bar line is drawn per running file, and
// with ABlocks the log lines of a file are kept until it ends and printed as one block.
class TReporter {
public:
  enum class TMode { rmQuiet, rmLog, rmBar };

  TReporter(std::ostream& AErr, TMode AMode, int AFileCount, bool ABlocks)
      : FErr(AErr), FMode(AMode), FFileCount(AFileCount), FBlocks(ABlocks),
        FStart(std::chrono::steady_clock::now()) {}

  // AFile counts from 1; 0 is the run itself.
  void Log(int AFile, const std::string& ALine) {
    std::lock_guard lock(FMutex);
    LogLocked(AFile, ALine);
  }
  void Error(int AFile, const std::string& AInput, const std::string& AMessage) {
    std::lock_guard lock(FMutex);
    const std::string line = "quillmark: " + (AInput.empty() ? "" : AInput + ": ") + AMessage + '\n';
    if (FBlocks && FMode == TMode::rmLog && AFile > 0) {
      FFiles[AFile].Block += line;
      return;
    }
    ClearBars();
    FErr << line;
    DrawBars();
    FErr.flush();
  }
  void StartFile(int AFile) {
    std::lock_guard lock(FMutex);
    FFiles[AFile].Running = true;
    Redraw();
  }
  void StartJob(int AFile, const TkwStartJobEventArgs& AArgs) {
    std::lock_guard lock(FMutex);
    FFiles[AFile].Pages = AArgs.GetSelectedPageCount();
    LogLocked(AFile, "File #" + std::to_string(AFile) + " (" + std::to_string(AArgs.GetPageCount()) + " pages)");
    LogLocked(AFile, "In: " + AArgs.GetInputFileName());
    LogLocked(AFile, "Out: " + AArgs.GetOutputFileName());
    LogLocked(AFile, "Conversion started...");
    Redraw();
  }
  void Page(int AFile, int AStartedPages) {
    std::lock_guard lock(FMutex);
    FFiles[AFile].Page = AStartedPages;
    Redraw();
  }
  void EndJob(int AFile, const TkwEndJobEventArgs& AArgs, int AObjects) {
    std::lock_guard lock(FMutex);
    LogLocked(AFile, std::to_string(AObjects) + " objects processed.");
    const int n = AArgs.GetConvertedPageCount();
    const std::string done = n == 0   ? "Done. No pages converted."
                             : n == 1 ? "Done. 1 page converted."
                                      : "Done. " + std::to_string(n) + " pages converted.";
    LogLocked(AFile, done);
    if (FMode == TMode::rmBar) {
      // The file's bar goes; what stays on the screen is where the result went.
      FFiles[AFile].Running = false;
      ClearBars();
      FErr << done << " Out: " << AArgs.GetOutputFileName() << '\n';
      DrawBars();
      FErr.flush();
    }
  }
  // What the job tolerated, at the end of its file's log.
  void Diagnostics(int AFile, const std::vector<std::string>& ALines) {
    std::lock_guard lock(FMutex);
    for (const std::string& line : ALines) LogLocked(AFile, line);
  }
  void EndFile(int AFile, bool ABatch) {
    std::lock_guard lock(FMutex);
    if (ABatch) LogLocked(AFile, "");
    const auto file = FFiles.find(AFile);
    if (file == FFiles.end()) return;
    if (!file->second.Block.empty()) {
      FErr << file->second.Block;
      FErr.flush();
    }
    const bool wasRunning = file->second.Running;
    FFiles.erase(file);
    if (wasRunning) Redraw();
  }
  void Finish() {
    std::lock_guard lock(FMutex);
    ClearBars();
  }

private:
  struct TFile {
    bool Running = false;  // has a bar line
    int Page = 0;
    int Pages = 0;
    std::string Block;  // log lines kept until the file ends
  };

  void LogLocked(int AFile, const std::string& ALine) {
    if (FMode != TMode::rmLog) return;
    if (FBlocks) {
      FFiles[AFile].Block.append(ALine).append(1, '\n');
    } else {
      FErr << ALine << '\n';
    }
  }
  void Redraw() {
    if (FMode != TMode::rmBar) return;
    ClearBars();
    DrawBars();
    FErr.flush();
  }
  // One line per running file, in file order; the cursor stays at the end of the last.
  void DrawBars() {
    if (FMode != TMode::rmBar) return;
    constexpr int kWidth = 24;
    const long seconds = static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(
                                               std::chrono::steady_clock::now() - FStart)
                                               .count());
    for (const auto& [number, file] : FFiles) {
      if (!file.Running) continue;
      const int filled = file.Pages > 0 ? std::min(kWidth, file.Page * kWidth / file.Pages) : 0;
      std::string bar(static_cast<std::size_t>(filled), '#');
      bar.append(static_cast<std::size_t>(kWidth - filled), '.');
      if (FBarLines > 0) FErr << '\n';
      FErr << "\r\033[K" << "file " << number << "/" << FFileCount << " [" << bar << "] page " << file.Page
           << "/" << file.Pages << "  " << TwoDigits(seconds / 60) << ":" << TwoDigits(seconds % 60);
      ++FBarLines;
    }
  }
  // Leaves the cursor at the start of the first bar line, every bar line cleared.
  void ClearBars() {
    if (FBarLines == 0) return;
    FErr << "\r\033[K";
    for (int i = 1; i < FBarLines; ++i) FErr << "\033[A\r\033[K";
    FBarLines = 0;
  }

  std::mutex FMutex;
  std::ostream& FErr;
  TMode FMode;
  int FFileCount;
  bool FBlocks;
  std::chrono::steady_clock::time_point FStart;
  std::map<int, TFile> FFiles;  // files started and not yet ended, by number
  int FBarLines = 0;
};

enum class TOutcome { oNotStarted, oConverted, oFailed, oPassword, oInterrupted, oUsage };

constexpr const char* kStdStream = "-";

bool IsStdout(const std::string& AName) { return AName == kStdStream || AName == "/dev/stdout"; }

// What the command calls an input in its messages.
std::string InputLabel(const std::string& AInput) { return AInput == kStdStream ? "standard input" : AInput; }

// "NAME.rtf" for an input, "stdin.rtf" for standard input.
std::string OutputFileNameFor(const std::string& AInput) {
  return AInput == kStdStream ? std::string("stdin.rtf") : ChangeExtToRTF(fs::path(AInput).filename().string());
}

bool IsWriteError(const std::string& AMessage) {
  return AMessage.rfind("Cannot write file", 0) == 0 || AMessage.rfind("Cannot create file", 0) == 0;
}

// The password typed on the terminal, without echo; nullopt without a terminal.
std::optional<std::string> PromptPassword(const std::string& AInput) {
  static std::mutex gPromptMutex;  // files converted at once ask one after the other
  std::lock_guard lock(gPromptMutex);
  const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  const std::string prompt = "Password for " + InputLabel(AInput) + ": ";
  (void)!::write(fd, prompt.data(), prompt.size());
  termios saved {};
  const bool isTerminal = ::tcgetattr(fd, &saved) == 0;
  if (isTerminal) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  std::string password;
  char c = 0;
  while (::read(fd, &c, 1) == 1 && c != '\n' && c != '\r') password.push_back(c);
  if (isTerminal) ::tcsetattr(fd, TCSAFLUSH, &saved);
  (void)!::write(fd, "\n", 1);
  ::close(fd);
  return password;
}

// The run's interruption, set by the signal handler; the waiting thread passes it on to the
// batch.
volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterruptSignal(int) {
  // The first signal asks every conversion to stop; a second one ends the process at once,
  // removing the temporary file of any RTF being written.
  if (gInterrupted) {
    RemoveRegisteredTempFiles();
    ::_exit(kExitInterrupted);
  }
  Interrupt();
}

// One input of the run and what was decided for it before any file starts.
struct TPlannedFile {
  std::string Input;
  std::string Output;   // what the user sees ("-" for standard output)
  std::string Refusal;  // why it is not converted; empty: it is
  [[nodiscard]] std::string ConverterInput() const { return Input == kStdStream ? "/dev/stdin" : Input; }
};

// Where -o sends the RTF of AInput: standard output, a file inside a folder (an existing
// one, or a name ending in '/'), or the name itself with ".rtf" added when it has no
// extension.
std::string OutputFor(const std::string& AOutput, const std::string& AInput) {
  if (IsStdout(AOutput)) return kStdStream;
  std::error_code ec;
  if (AOutput.back() == '/' || fs::is_directory(AOutput, ec)) {
    return (fs::path(AOutput) / OutputFileNameFor(AInput)).string();
  }
  return WithDefaultRTFExtension(AOutput);
}

// Decides, in input order, which inputs are converted: so the same input wins an output
// name whatever order the conversions end in.
std::vector<TPlannedFile> PlanFiles(const TOptions& AOptions, bool ABatch) {
  std::vector<TPlannedFile> plan;
  std::set<std::string> written;  // outputs of this run, so no file overwrites another's
  bool stdinTaken = false;
  for (const std::string& input : AOptions.Inputs) {
    TPlannedFile f;
    f.Input = input;
    const bool fromStdin = input == kStdStream;
    f.Output = ABatch ? (fs::path(AOptions.Dest) / OutputFileNameFor(input)).string()
               : !AOptions.Output.empty() ? OutputFor(AOptions.Output, input)
               : fromStdin ? std::string(kStdStream)
                           : BesideInputName(input);
    std::error_code ec;
    const bool toStdout = f.Output == kStdStream;
    const std::string key = toStdout ? f.Output : fs::weakly_canonical(fs::absolute(f.Output, ec), ec).string();
    if (fromStdin && stdinTaken) {
      f.Refusal = "standard input can be read only once";
    } else if (!fromStdin && !fs::exists(input, ec)) {
      f.Refusal = FileNotFoundMessage();
    } else if (!fromStdin && !toStdout && SameFile(input, f.Output)) {
      f.Refusal = "the output " + f.Output + " would replace the input";
    } else if (written.count(key) != 0) {
      f.Refusal = "the output " + f.Output + " is already written by an earlier input";
    } else if (AOptions.NoClobber && !toStdout && fs::exists(f.Output, ec)) {
      f.Refusal = "the output " + f.Output + " exists and --no-clobber keeps it";
    } else {
      written.insert(key);
      if (!toStdout && !ABatch) {
        // -o creates the folders it names, as --dest does.
        const fs::path folder = fs::path(f.Output).parent_path();
        if (!folder.empty() && !fs::is_directory(folder, ec)) {
          fs::create_directories(folder, ec);
          if (ec) f.Refusal = "cannot create the folder " + folder.string() + ": " + ec.message();
        }
      }
    }
    stdinTaken = stdinTaken || fromStdin;
    plan.push_back(std::move(f));
  }
  return plan;
}

// A conversion to standard output writes into a temporary file first, so that nothing
// reaches the output unless the whole document converted.
class TStdoutFile {
public:
  TStdoutFile() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/quillmark-XXXXXX.rtf";
    const int fd = ::mkstemps(pattern.data(), 4);
    if (fd < 0) throw std::runtime_error("Cannot create a temporary file for standard output. " + std::string(std::strerror(errno)));
    ::close(fd);
    FName = pattern;
  }
  ~TStdoutFile() { ::unlink(FName.c_str()); }
  TStdoutFile(const TStdoutFile&) = delete;
  TStdoutFile& operator=(const TStdoutFile&) = delete;
  [[nodiscard]] const std::string& GetName() const { return FName; }
  // Copies the finished file to standard output.
  void CopyOut() const {
    std::ifstream in(FName, std::ios::binary);
    std::cout << in.rdbuf();
    std::cout.flush();
    if (!std::cout) throw std::runtime_error("Cannot write to standard output");
  }

private:
  std::string FName;
};

std::unique_ptr<TkwFileConverter> MakeConverter(const TOptions& AOptions, const TPlannedFile& AFile,
                                                const std::string& AOutputFile, int ANumber, bool AOpenAfter,
                                                TReporter& AReporter) {
  auto converter = std::make_unique<TkwPDFConverter>();
  converter->GetOutputSettings().GetPreferences().SetFormattingMode(
      AOptions.Tabs ? TkwFormattingMode::fmFormattedWithTabs : TkwFormattingMode::fmFormatted);
  converter->SetOpenAfterCreate(AOpenAfter);
  // The converter outlives no event of its own job, so its handlers may share this count.
  auto objects = std::make_shared<int>(0);
  converter->SetOnStartJob([&AReporter, objects, ANumber](TkwObject&, TkwStartJobEventArgs& AArgs) {
    *objects = 0;
    AReporter.StartJob(ANumber, AArgs);
  });
  converter->SetOnStartPage([&AReporter, ANumber](TkwObject&, TkwPageEventArgs& AArgs) {
    AReporter.Page(ANumber, AArgs.GetStartedPageCount() - 1);
  });
  converter->SetOnEndPage([&AReporter, ANumber](TkwObject&, TkwPageEventArgs& AArgs) {
    AReporter.Page(ANumber, AArgs.GetStartedPageCount());
  });
  converter->SetOnElementDetected(
      [&AOptions, objects](TkwObject&, TkwFormatterElement& AElement, TkwAction& AAction) {
        ++*objects;
        if (AOptions.Custom && AElement.ElementType < kElementKindCount) {
          AAction = AOptions.Actions[AElement.ElementType];
        }
      });
  converter->SetOnEndJob([&AReporter, objects, ANumber](TkwObject&, TkwEndJobEventArgs& AArgs) {
    AReporter.EndJob(ANumber, AArgs, *objects);
  });
  std::optional<std::string> password = AOptions.Password;
  if (!password) {
    if (const char* env = std::getenv("QUILLMARK_PASSWORD"); env != nullptr) password = std::string(env);
  }
  if (password) {
    converter->SetOnNeedPassword([pw = *password](TkwObject&, std::string& APassword) { APassword = pw; });
  } else if (::isatty(STDIN_FILENO) == 1 && AFile.Input != kStdStream) {
    converter->SetOnNeedPassword([input = AFile.Input](TkwObject&, std::string& APassword) {
      if (auto typed = PromptPassword(input)) APassword = *typed;
    });
  }
  converter->SetInputFileName(AFile.ConverterInput());
  converter->SetOutputFileName(AOutputFile);
  converter->GetOutputSettings().SetPageRange(AOptions.Pages);
  return converter;
}

TOutcome FailureOutcome(const TkwBatchResult& AResult) {
  if (AResult.Status == TkwBatchStatus::bsCancelled) return TOutcome::oInterrupted;
  try {
    if (AResult.Error) std::rethrow_exception(AResult.Error);
  } catch (const EPageRangeError&) {
    return TOutcome::oUsage;
  } catch (const std::exception& e) {
    if (IsPasswordError(e)) return TOutcome::oPassword;
  } catch (...) {
  }
  return TOutcome::oFailed;
}

}  // namespace

void Interrupt() noexcept { gInterrupted = 1; }

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterruptSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

std::string BatchOutputName(const std::string& ADest, const std::string& AInput) {
  std::string name = fs::path(AInput).filename().string();
  std::string dest = ADest;
  if (!dest.empty() && dest.back() != '/') dest += '/';
  return dest + ChangeExtToRTF(name);
}

std::string BesideInputName(const std::string& AInput) {
  return ChangeExtToRTF(AInput);
}

int RunConvert(const TOptions& AOptions, std::ostream& AErr, bool ATerminal) {
  using TMode = TReporter::TMode;
  const TMode mode = AOptions.Quiet ? TMode::rmQuiet
                     : (AOptions.Verbose || !ATerminal) ? TMode::rmLog
                                                        : TMode::rmBar;
  const int count = static_cast<int>(AOptions.Inputs.size());
  const std::size_t jobs =
      std::clamp<std::size_t>(AOptions.Jobs, 1, std::max<std::size_t>(1, AOptions.Inputs.size()));
  // One file at a time logs as it goes; several keep each file's lines together.
  TReporter reporter(AErr, mode, count, jobs > 1);
  const bool batch = !AOptions.Dest.empty();

  if (batch) {
    std::error_code ec;
    fs::create_directories(AOptions.Dest, ec);
    if (ec || !fs::is_directory(AOptions.Dest, ec)) {
      reporter.Error(0, AOptions.Dest,
                     "cannot create the destination folder: " + (ec ? ec.message() : std::string("Not a directory")));
      return kExitFailed;
    }
  }

  const std::vector<TPlannedFile> plan = PlanFiles(AOptions, batch);
  const bool separate = count > 1 || batch;  // an empty line after each file's log
  std::vector<TOutcome> outcomes(plan.size(), TOutcome::oNotStarted);
  std::vector<bool> lostContent(plan.size(), false);
  // What each job tolerated, kept from its converter for the end of the file's log, and
  // what of it lost content, for the warnings.
  std::vector<std::vector<std::string>> diagnostics(plan.size());
  std::vector<std::vector<std::string>> lostLines(plan.size());
  // One file at a time reports a refused input when its turn comes; several report them
  // all first, in input order, so that the order does not depend on the conversions.
  auto refuse = [&](std::size_t AIndex) {
    const int number = static_cast<int>(AIndex) + 1;
    reporter.Error(number, InputLabel(plan[AIndex].Input), plan[AIndex].Refusal);
    reporter.EndFile(number, separate);
    outcomes[AIndex] = TOutcome::oFailed;
  };
  if (jobs > 1) {
    for (std::size_t i = 0; i < plan.size(); ++i) {
      if (!plan[i].Refusal.empty()) refuse(i);
    }
  }
  TkwBatchPool pool(jobs);
  pool.SetOnTaskEnd([&](std::size_t AIndex, const TkwBatchResult& AResult) {
    const TPlannedFile& file = plan[AIndex];
    const int number = static_cast<int>(AIndex) + 1;
    const std::string input = InputLabel(file.Input);
    if (!file.Refusal.empty()) return;  // reported by refuse
    if (AResult.Status == TkwBatchStatus::bsDone) {
      outcomes[AIndex] = TOutcome::oConverted;
      reporter.Diagnostics(number, diagnostics[AIndex]);
      lostContent[AIndex] = !lostLines[AIndex].empty();
      if (mode != TMode::rmQuiet) {
        for (const std::string& line : lostLines[AIndex]) reporter.Error(number, input, "warning: " + line);
      }
    } else if (FailureOutcome(AResult) == TOutcome::oInterrupted) {
      outcomes[AIndex] = TOutcome::oInterrupted;
      reporter.Error(number, input, "interrupted; the output was left as it was");
    } else {
      outcomes[AIndex] = FailureOutcome(AResult);
      if (outcomes[AIndex] == TOutcome::oUsage) {
        reporter.Error(number, input, "--pages: " + AResult.Message);
      } else if (IsWriteError(AResult.Message)) {
        reporter.Error(number, "", AResult.Message);  // the output is to blame, and named
      } else {
        reporter.Error(number, input, AResult.Message);
      }
      reporter.Diagnostics(number, diagnostics[AIndex]);
    }
    reporter.EndFile(number, separate);
  });
  pool.Start(plan.size(), [&](TkwBatchTask& ATask) {
    const std::size_t index = ATask.GetIndex();
    const TPlannedFile& file = plan[index];
    const int number = static_cast<int>(index) + 1;
    if (!file.Refusal.empty()) {
      if (jobs == 1) refuse(index);
      return;
    }
    reporter.StartFile(number);
    std::optional<TStdoutFile> toStdout;
    if (file.Output == kStdStream) toStdout.emplace();
    const std::unique_ptr<TkwFileConverter> converter =
        MakeConverter(AOptions, file, toStdout ? toStdout->GetName() : file.Output, number,
                      AOptions.Open && !batch && !toStdout, reporter);
    struct TKeepDiagnostics {
      const TkwFileConverter& Converter;
      std::vector<std::string>& Lines;
      std::vector<std::string>& Lost;
      ~TKeepDiagnostics() {
        try {
          Lines = DescribeDiagnostics(Converter.GetDiagnostics());
          Lost = DescribeLostContent(Converter.GetDiagnostics());
        } catch (...) {  // the log goes without them; the job's own outcome stands
        }
      }
    } keep{*converter, diagnostics[index], lostLines[index]};
    ATask.Convert(*converter);
    if (toStdout) toStdout->CopyOut();
  });
  // The signal handler only sets a flag; this thread hands it on to the running files.
  while (!pool.WaitFor(std::chrono::milliseconds(20))) {
    if (gInterrupted) pool.Cancel();
  }
  reporter.Finish();

  bool failed = false;
  bool passwordFailed = false;
  bool usage = false;
  bool lost = false;
  bool interrupted = gInterrupted != 0;
  int converted = 0;
  std::string failures;
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    const TOutcome o = outcomes[i];
    failed |= o == TOutcome::oFailed;
    passwordFailed |= o == TOutcome::oPassword;
    usage |= o == TOutcome::oUsage;
    interrupted |= o == TOutcome::oInterrupted;
    lost |= lostContent[i];
    if (o == TOutcome::oConverted) {
      ++converted;
    } else {
      failures += (failures.empty() ? ": " : ", ") + InputLabel(plan[i].Input);
    }
  }
  if (count > 1 && mode != TMode::rmQuiet) {
    const int notConverted = count - converted;
    AErr << converted << " converted, " << notConverted << " failed" << failures << '\n';
    AErr.flush();
  }
  if (interrupted) return kExitInterrupted;
  if (batch && AOptions.Open) ShellOpen(AOptions.Dest);
  if (failed) return kExitFailed;
  if (usage) return kExitUsage;
  if (passwordFailed) return kExitPassword;
  return AOptions.Strict && lost ? kExitLostContent : kExitOk;
}

namespace {

std::string JsonString(std::string_view AText) {
  std::string out = "\"";
  for (const char c : AText) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      static constexpr char kHex[] = "0123456789abcdef";
      out += "\\u00";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    } else {
      out += c;
    }
  }
  return out + '"';
}

}  // namespace

int RunInfo(const TOptions& AOptions, std::ostream& AOut, std::ostream& AErr) {
  const std::string& input = AOptions.Inputs.front();
  std::error_code ec;
  if (input != kStdStream && !fs::exists(input, ec)) {
    AErr << "quillmark: " << input << ": " << FileNotFoundMessage() << '\n';
    return kExitFailed;
  }
  std::string password = AOptions.Password.value_or(std::string());
  if (!AOptions.Password) {
    if (const char* env = std::getenv("QUILLMARK_PASSWORD"); env != nullptr) password = env;
  }
  const std::string path = input == kStdStream ? std::string("/dev/stdin") : input;
  try {
    TkwPDFSummary summary;
    try {
      summary = ReadPDFSummary(path, password);
    } catch (const std::exception& e) {
      // A file whose user password is empty opens without the one given; otherwise the
      // given password was wrong.
      if (!IsPasswordError(e) || password.empty() || input == kStdStream) throw;
      const std::exception_ptr first = std::current_exception();
      try {
        summary = ReadPDFSummary(path, std::string());
      } catch (const std::exception&) {
        std::rethrow_exception(first);
      }
    }
    if (summary.PageCount <= 0) throw ENoPageRead();
    if (AOptions.Json) {
      AOut << "{\"file\": " << JsonString(InputLabel(input)) << ", \"pages\": " << summary.PageCount
           << ", \"version\": " << (summary.Version.empty() ? std::string("null") : JsonString(summary.Version))
           << ", \"encrypted\": " << (summary.Encrypted ? "true" : "false") << ", \"encryption\": "
           << (summary.Encrypted ? JsonString(summary.EncryptionMethod) : std::string("null")) << "}\n";
      return kExitOk;
    }
    AOut << "File: " << InputLabel(input) << '\n'
         << "Pages: " << summary.PageCount << '\n'
         << "PDF version: " << (summary.Version.empty() ? "unknown" : summary.Version) << '\n'
         << "Encrypted: " << (summary.Encrypted ? "yes, " + summary.EncryptionMethod : "no") << '\n';
    return kExitOk;
  } catch (const std::exception& e) {
    AErr << "quillmark: " << InputLabel(input) << ": " << ErrorMessage(e) << '\n';
    return IsPasswordError(e) ? kExitPassword : kExitFailed;
  }
}

}  // namespace qm::cli
