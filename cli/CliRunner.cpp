#include "cli/CliRunner.h"

#include <signal.h>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>

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
#include "converter/kwBatchPool.h"
#include "converter/kwPDFConverter.h"
#include "converter/kwPDFSummary.h"
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
  const char* argv[] = {"xdg-open", APath.c_str(), nullptr};
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

enum class TOutcome { oNotStarted, oConverted, oFailed, oPassword, oInterrupted };

// The run's interruption, set by the signal handler; the waiting thread passes it on to the
// batch.
volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterruptSignal(int) { Interrupt(); }

// One input of the run and what was decided for it before any file starts.
struct TPlannedFile {
  std::string Input;
  std::string Output;
  std::string Refusal;  // why it is not converted; empty: it is
};

// Decides, in input order, which inputs are converted: so the same input wins an output
// name whatever order the conversions end in.
std::vector<TPlannedFile> PlanFiles(const TOptions& AOptions, bool ABatch) {
  std::vector<TPlannedFile> plan;
  std::set<std::string> written;  // outputs of this run, so no file overwrites another's
  for (const std::string& input : AOptions.Inputs) {
    TPlannedFile f;
    f.Input = input;
    f.Output = ABatch ? BatchOutputName(AOptions.Dest, input)
               : !AOptions.Output.empty() ? WithDefaultRTFExtension(AOptions.Output)
                                          : BesideInputName(input);
    std::error_code ec;
    const std::string key = fs::weakly_canonical(fs::absolute(f.Output, ec), ec).string();
    if (!fs::exists(input, ec)) {
      f.Refusal = FileNotFoundMessage();
    } else if (SameFile(input, f.Output)) {
      f.Refusal = "the output " + f.Output + " would replace the input";
    } else if (written.count(key) != 0) {
      f.Refusal = "the output " + f.Output + " is already written by an earlier input";
    } else {
      written.insert(key);
    }
    plan.push_back(std::move(f));
  }
  return plan;
}

std::unique_ptr<TkwFileConverter> MakeConverter(const TOptions& AOptions, const TPlannedFile& AFile,
                                                int ANumber, bool AOpenAfter, TReporter& AReporter) {
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
  if (AOptions.Password) {
    const std::string password = *AOptions.Password;
    converter->SetOnNeedPassword([password](TkwObject&, std::string& APassword) { APassword = password; });
  }
  converter->SetInputFileName(AFile.Input);
  converter->SetOutputFileName(AFile.Output);
  converter->GetOutputSettings().SetPageRange(AOptions.Pages);
  return converter;
}

TOutcome FailureOutcome(const TkwBatchResult& AResult) {
  if (AResult.Status == TkwBatchStatus::bsCancelled) return TOutcome::oInterrupted;
  try {
    if (AResult.Error) std::rethrow_exception(AResult.Error);
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
      reporter.Error(0, AOptions.Dest, "cannot create the destination folder");
      return kExitFailed;
    }
  }

  const std::vector<TPlannedFile> plan = PlanFiles(AOptions, batch);
  const bool separate = count > 1 || batch;  // an empty line after each file's log
  std::vector<TOutcome> outcomes(plan.size(), TOutcome::oNotStarted);
  // What each job tolerated, kept from its converter for the end of the file's log.
  std::vector<std::vector<std::string>> diagnostics(plan.size());
  // One file at a time reports a refused input when its turn comes; several report them
  // all first, in input order, so that the order does not depend on the conversions.
  auto refuse = [&](std::size_t AIndex) {
    const int number = static_cast<int>(AIndex) + 1;
    reporter.Error(number, plan[AIndex].Input, plan[AIndex].Refusal);
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
    if (!file.Refusal.empty()) return;  // reported by refuse
    if (AResult.Status == TkwBatchStatus::bsDone) {
      outcomes[AIndex] = TOutcome::oConverted;
      reporter.Diagnostics(number, diagnostics[AIndex]);
    } else if (FailureOutcome(AResult) == TOutcome::oInterrupted) {
      outcomes[AIndex] = TOutcome::oInterrupted;
      reporter.Error(number, file.Input, "interrupted; the output was left as it was");
    } else {
      outcomes[AIndex] = FailureOutcome(AResult);
      reporter.Error(number, file.Input, AResult.Message);
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
    const std::unique_ptr<TkwFileConverter> converter =
        MakeConverter(AOptions, file, number, AOptions.Open && !batch, reporter);
    struct TKeepDiagnostics {
      const TkwFileConverter& Converter;
      std::vector<std::string>& Lines;
      ~TKeepDiagnostics() {
        try {
          Lines = DescribeDiagnostics(Converter.GetDiagnostics());
        } catch (...) {  // the log goes without them; the job's own outcome stands
        }
      }
    } keep{*converter, diagnostics[index]};
    ATask.Convert(*converter);
  });
  // The signal handler only sets a flag; this thread hands it on to the running files.
  while (!pool.WaitFor(std::chrono::milliseconds(20))) {
    if (gInterrupted) pool.Cancel();
  }
  reporter.Finish();

  bool failed = false;
  bool passwordFailed = false;
  bool interrupted = gInterrupted != 0;
  for (TOutcome o : outcomes) {
    failed |= o == TOutcome::oFailed;
    passwordFailed |= o == TOutcome::oPassword;
    interrupted |= o == TOutcome::oInterrupted;
  }
  if (interrupted) return kExitInterrupted;
  if (batch && AOptions.Open) ShellOpen(AOptions.Dest);
  if (failed) return kExitFailed;
  return passwordFailed ? kExitPassword : kExitOk;
}

int RunInfo(const TOptions& AOptions, std::ostream& AOut, std::ostream& AErr) {
  const std::string& input = AOptions.Inputs.front();
  std::error_code ec;
  if (!fs::exists(input, ec)) {
    AErr << "quillmark: " << input << ": " << FileNotFoundMessage() << '\n';
    return kExitFailed;
  }
  try {
    const TkwPDFSummary summary = ReadPDFSummary(input, AOptions.Password.value_or(std::string()));
    AOut << "File: " << input << '\n'
         << "Pages: " << summary.PageCount << '\n'
         << "PDF version: " << (summary.Version.empty() ? "unknown" : summary.Version) << '\n'
         << "Encrypted: " << (summary.Encrypted ? "yes, " + summary.EncryptionMethod : "no") << '\n';
    return kExitOk;
  } catch (const std::exception& e) {
    AErr << "quillmark: " << input << ": " << ErrorMessage(e) << '\n';
    return IsPasswordError(e) ? kExitPassword : kExitFailed;
  }
}

}  // namespace qm::cli
