#include "cli/CliRunner.h"

#include <signal.h>

#include <atomic>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <system_error>

#include "base/OutOfMemory.h"
#include "converter/kwPDFConverter.h"
#include "converter/kwPDFSummary.h"
#include "formatter/kwFormatterElements.h"
#include "pdf/core/PDBaseObject.h"

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

// Progress and log output of one `convert` run on stderr.
class TReporter {
public:
  enum class TMode { rmQuiet, rmLog, rmBar };

  TReporter(std::ostream& AErr, TMode AMode, int AFileCount)
      : FErr(AErr), FMode(AMode), FFileCount(AFileCount), FStart(std::chrono::steady_clock::now()) {}

  void Log(const std::string& ALine) {
    if (FMode == TMode::rmLog) FErr << ALine << '\n';
  }
  void Error(const std::string& AInput, const std::string& AMessage) {
    ClearBar();
    FErr << "quillmark: " << (AInput.empty() ? "" : AInput + ": ") << AMessage << '\n';
    FErr.flush();
  }
  void StartFile(int AIndex) {
    FFile = AIndex;
    FPage = 0;
    FPages = 0;
    DrawBar();
  }
  void StartJob(const TkwStartJobEventArgs& AArgs) {
    FPages = AArgs.GetSelectedPageCount();
    Log("File #" + std::to_string(FFile) + " (" + std::to_string(AArgs.GetPageCount()) + " pages)");
    Log("In: " + AArgs.GetInputFileName());
    Log("Out: " + AArgs.GetOutputFileName());
    Log("Conversion started...");
    DrawBar();
  }
  void Page(int AStartedPages) {
    FPage = AStartedPages;
    DrawBar();
  }
  void EndJob(const TkwEndJobEventArgs& AArgs, int AObjects) {
    Log(std::to_string(AObjects) + " objects processed.");
    const int n = AArgs.GetConvertedPageCount();
    const std::string done = n == 0   ? "Done. No pages converted."
                             : n == 1 ? "Done. 1 page converted."
                                      : "Done. " + std::to_string(n) + " pages converted.";
    Log(done);
    if (FMode == TMode::rmBar) {
      // The bar goes; what stays on the screen is where the result went.
      ClearBar();
      FErr << done << " Out: " << AArgs.GetOutputFileName() << '\n';
    }
  }
  // What the job tolerated, at the end of its file's log.
  void Diagnostics(const TkwDiagnostics& ADiag) {
    for (const std::string& line : DescribeDiagnostics(ADiag)) Log(line);
  }
  void EndFile(bool ABatch) {
    if (ABatch) Log("");
  }
  void Finish() { ClearBar(); }

private:
  void DrawBar() {
    if (FMode != TMode::rmBar) return;
    constexpr int kWidth = 24;
    const int filled = FPages > 0 ? std::min(kWidth, FPage * kWidth / FPages) : 0;
    const long seconds = static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(
                                               std::chrono::steady_clock::now() - FStart)
                                               .count());
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kWidth - filled), '.');
    FErr << "\r\033[K" << "file " << FFile << "/" << FFileCount << " [" << bar << "] page " << FPage
         << "/" << FPages << "  " << TwoDigits(seconds / 60) << ":" << TwoDigits(seconds % 60);
    FErr.flush();
    FBarShown = true;
  }
  void ClearBar() {
    if (!FBarShown) return;
    FErr << "\r\033[K";
    FErr.flush();
    FBarShown = false;
  }

  std::ostream& FErr;
  TMode FMode;
  int FFileCount;
  std::chrono::steady_clock::time_point FStart;
  int FFile = 0;
  int FPage = 0;
  int FPages = 0;
  bool FBarShown = false;
};

enum class TOutcome { oConverted, oFailed, oPassword, oInterrupted };

// The run's interruption: set by the signal handler, which also cancels the conversion
// under way.
volatile std::sig_atomic_t gInterrupted = 0;
std::atomic<TkwFileConverter*> gActive{nullptr};
static_assert(std::atomic<TkwFileConverter*>::is_always_lock_free);

// Publishes the converter to the handler for the scope of one job.
class TActiveJob {
public:
  explicit TActiveJob(TkwFileConverter& AConverter) : FConverter(AConverter) {
    gActive.store(&AConverter);
    if (gInterrupted) AConverter.Cancel();
  }
  ~TActiveJob() { gActive.store(nullptr); }
  TActiveJob(const TActiveJob&) = delete;
  TActiveJob& operator=(const TActiveJob&) = delete;

private:
  TkwFileConverter& FConverter;
};

extern "C" void OnInterruptSignal(int) { Interrupt(); }

TOutcome ConvertOne(const TOptions& AOptions, const std::string& AInput, const std::string& AOutput,
                    bool AOpenAfter, TReporter& AReporter) {
  TkwPDFConverter converter;
  converter.GetOutputSettings().GetPreferences().SetFormattingMode(
      AOptions.Tabs ? TkwFormattingMode::fmFormattedWithTabs : TkwFormattingMode::fmFormatted);
  converter.SetOpenAfterCreate(AOpenAfter);
  int objects = 0;
  converter.SetOnStartJob([&](TkwObject&, TkwStartJobEventArgs& AArgs) {
    objects = 0;
    AReporter.StartJob(AArgs);
  });
  converter.SetOnStartPage(
      [&](TkwObject&, TkwPageEventArgs& AArgs) { AReporter.Page(AArgs.GetStartedPageCount() - 1); });
  converter.SetOnEndPage(
      [&](TkwObject&, TkwPageEventArgs& AArgs) { AReporter.Page(AArgs.GetStartedPageCount()); });
  converter.SetOnElementDetected([&](TkwObject&, TkwFormatterElement& AElement, TkwAction& AAction) {
    ++objects;
    if (AOptions.Custom && AElement.ElementType < kElementKinds) {
      AAction = AOptions.Actions[AElement.ElementType];
    }
  });
  converter.SetOnEndJob(
      [&](TkwObject&, TkwEndJobEventArgs& AArgs) { AReporter.EndJob(AArgs, objects); });
  if (AOptions.Password) {
    const std::string password = *AOptions.Password;
    converter.SetOnNeedPassword([password](TkwObject&, std::string& APassword) { APassword = password; });
  }
  converter.SetInputFileName(AInput);
  converter.SetOutputFileName(AOutput);
  converter.GetOutputSettings().SetPageRange(AOptions.Pages);
  try {
    // Convert forgets a request made before it starts: one that arrives in between is
    // repeated by the first page check of the job.
    TActiveJob active(converter);
    converter.SetOnProgress([](TkwObject& ASender, TkwProgressEventArgs&) {
      if (gInterrupted) static_cast<TkwFileConverter&>(ASender).Cancel();
    });
    converter.Convert();
    AReporter.Diagnostics(converter.GetDiagnostics());
    return TOutcome::oConverted;
  } catch (const EConversionCancelled&) {
    AReporter.Error(AInput, "interrupted; the output was left as it was");
    return TOutcome::oInterrupted;
  } catch (const std::exception& e) {
    AReporter.Error(AInput, ErrorMessage(e));
    AReporter.Diagnostics(converter.GetDiagnostics());
    return IsPasswordError(e) ? TOutcome::oPassword : TOutcome::oFailed;
  }
}

}  // namespace

void Interrupt() noexcept {
  gInterrupted = 1;
  if (TkwFileConverter* converter = gActive.load()) converter->Cancel();
}

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
  TReporter reporter(AErr, mode, count);
  const bool batch = !AOptions.Dest.empty();

  if (batch) {
    std::error_code ec;
    fs::create_directories(AOptions.Dest, ec);
    if (ec || !fs::is_directory(AOptions.Dest, ec)) {
      reporter.Error(AOptions.Dest, "cannot create the destination folder");
      return kExitFailed;
    }
  }

  bool failed = false;
  bool passwordFailed = false;
  std::set<std::string> written;  // outputs of this run, so no file overwrites another's
  bool interrupted = false;
  for (int i = 0; i < count && !interrupted; ++i) {
    const std::string& input = AOptions.Inputs[static_cast<std::size_t>(i)];
    reporter.StartFile(i + 1);
    std::string output = batch ? BatchOutputName(AOptions.Dest, input)
                         : !AOptions.Output.empty() ? WithDefaultRTFExtension(AOptions.Output)
                                                    : BesideInputName(input);
    std::error_code ec;
    const std::string key = fs::weakly_canonical(fs::absolute(output, ec), ec).string();
    TOutcome outcome = TOutcome::oFailed;
    if (!fs::exists(input, ec)) {
      reporter.Error(input, FileNotFoundMessage());
    } else if (SameFile(input, output)) {
      reporter.Error(input, "the output " + output + " would replace the input");
    } else if (written.count(key) != 0) {
      reporter.Error(input, "the output " + output + " is already written by an earlier input");
    } else {
      written.insert(key);
      outcome = ConvertOne(AOptions, input, output, AOptions.Open && !batch, reporter);
    }
    failed |= outcome == TOutcome::oFailed;
    interrupted = outcome == TOutcome::oInterrupted || gInterrupted != 0;
    passwordFailed |= outcome == TOutcome::oPassword;
    reporter.EndFile(count > 1 || batch);
  }
  reporter.Finish();
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
