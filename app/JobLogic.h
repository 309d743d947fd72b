#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/AppSettings.h"
#include "base/kwConvEnums.h"

// What a conversion job of the processing window does, apart from any widget: which
// converter calls it makes, which log lines it writes and when, how the per-element choices
// answer the element-detected event, and how batch files are named. The worker thread runs
// this code; everything it shows goes through a TJobSink.
namespace qm {

// Warnings are what the engine tolerated in a file that still converted.
enum class TLogColour { lcBlack, lcGreen, lcRed, lcWarning };

// The message with which the engine refuses an encrypted file without the right password.
inline constexpr const char* kPasswordRequiredMessage =
    "Encrypted PDF: Password required for loading";
// ... and with a password that was given and opens nothing.
inline constexpr const char* kWrongPasswordMessage = "Wrong password";

// 0 "Process" keeps the element, 1 "Leave Space" leaves its space, 2 "Skip" drops it.
[[nodiscard]] std::optional<TkwAction> ActionForChoice(int AChoiceIndex);
// With custom processing on, the choice box of the element's kind (its code, as the formatter
// reports it) decides; otherwise (or for a code or index without meaning) the formatter's
// proposal stands.
void ApplyElementChoice(bool ACustom, const TChoices& AChoices, int AKind, TkwAction& AAction);

// "nn:ss" of the elapsed seconds; the minutes wrap after 59:59.
[[nodiscard]] QString FormatElapsed(qint64 ASeconds);
// "Time elapsed: nn:ss".
[[nodiscard]] QString ElapsedCaption(qint64 ASeconds);

// How a job ended: what the processing window shows at its end and a batch's row shows in
// its status column.
enum class TJobOutcome { joConverted, joFailed, joPasswordNeeded, joAborted };

struct TJobResult {
  TJobOutcome Outcome = TJobOutcome::joFailed;
  int Pages = 0;    // pages converted
  QString Output;   // the file written (when converted)
  QString Message;  // plain words: what went wrong, or what an abort kept
  QString Details;  // the engine's own words, when it had any
};

// The first problem of a page list as the user types it ("1,3, 5-9"), checked against the
// document's page count when it is known: "page 99 is beyond the last page (3)", "'x' is
// not a page number". Empty when the list is good (a blank list selects every page).
[[nodiscard]] QString PageListProblem(const QString& AList, std::optional<int> APageCount);

// The name the converter writes: ".rtf" is added to a name without an extension.
[[nodiscard]] QString EffectiveOutputName(const QString& AOutput);
// The name with its extension (if any) replaced by AExtension (".rtf").
[[nodiscard]] QString ChangeFileExt(const QString& AName, const QString& AExtension);

// Output names of one batch: the destination folder, a path delimiter and the PDF's name
// with ".rtf". Two PDFs of the same name (from different folders) would overwrite each
// other's result, so a later one gets " (2)", " (3)" ... before the extension.
class TBatchNames {
public:
  [[nodiscard]] QString Next(const QString& ADestFolder, const QString& AName);

private:
  std::set<QString> FUsed;
};

struct TBatchFile {
  QString Name;  // file name without folder, as the list shows it
  QString Path;  // full name
};

// A copy of what the main window holds when Convert is pressed. The worker reads only
// this, never the widgets.
struct TJobOptions {
  bool Batch = false;
  QString Source;
  QString Destination;
  QString Pages;
  QString DestFolder;
  std::vector<TBatchFile> Files;
  bool FormatTabs = true;
  bool OpenAfter = false;
  bool Custom = false;
  TChoices Choices{};
  // Passwords the user gave while the file was being validated, by full name.
  std::map<QString, std::string> Passwords;
};

// One call of the converter.
struct TJobRequest {
  QString InputFileName;
  QString OutputFileName;
  QString PageRange;
  TkwFormattingMode FormattingMode = TkwFormattingMode::fmFormatted;
};

// A failed conversion in words a user can act on: the file or folder at fault and why,
// judged from the files as they are now and the engine's message (which becomes the
// details). AStarted: the engine had opened the PDF.
[[nodiscard]] TJobResult DescribeFailure(const TJobRequest& ARequest, const std::string& AEngine,
                                         bool AStarted);
// What an abort left: "Aborted: nothing was written; the existing file is unchanged".
[[nodiscard]] QString AbortedText(bool AExistingKept);

struct TJobStartInfo {
  QString InputFileName;
  QString OutputFileName;
  int PageCount = 0;          // pages of the document
  int SelectedPageCount = 0;  // pages the range selects
};

// The converter events a job uses, in the converter's thread.
struct TJobEvents {
  std::function<void(const TJobStartInfo&)> OnStartJob;
  std::function<void()> OnStartPage;
  std::function<void()> OnEndPage;
  std::function<void(int AKind, TkwAction& AAction)> OnElementDetected;
  std::function<void(int AConvertedPages)> OnEndJob;
  std::function<void(std::string& APassword)> OnNeedPassword;
  // What the job tolerated, one line per kind; after the job, also when it failed.
  std::function<void(const std::vector<std::string>& ALines)> OnDiagnostics;
};

// The converter as the job sees it: one synchronous conversion, failures as exceptions.
class TJobConverter {
public:
  virtual ~TJobConverter() = default;
  // Raises EJobAborted when Cancel stopped it; the output file is then left as it was.
  virtual void Convert(const TJobRequest& ARequest, const TJobEvents& AEvents) = 0;
  // Asks the running Convert to stop at its next page boundary. Safe from any thread, also
  // before or after Convert runs (a request before Convert stops it at its first page).
  virtual void Cancel() noexcept = 0;
};
using TJobConverterFactory = std::function<std::unique_ptr<TJobConverter>()>;

// Abort of the processing window: a flag that no further job starts after, and the
// converter of the running job, which is told at once. Request is safe from any thread
// and never waits for the job.
class TJobCancel {
public:
  void Request() noexcept;
  [[nodiscard]] bool Requested() const noexcept { return FRequested.load(); }

  // Makes AConverter the running one for the scope's lifetime; a request already made
  // reaches it at once.
  class TScope {
  public:
    TScope(TJobCancel& ACancel, TJobConverter& AConverter) noexcept;
    ~TScope();
    TScope(const TScope&) = delete;
    TScope& operator=(const TScope&) = delete;

  private:
    TJobCancel& FCancel;
  };

private:
  std::atomic<bool> FRequested{false};
  std::mutex FMutex;
  TJobConverter* FActive = nullptr;  // not owned; guarded by FMutex
};

// Reads the page count of a PDF, asking for a password through the handler when needed.
class TPdfProbe {
public:
  virtual ~TPdfProbe() = default;
  // Throws the engine's error when the file is not a readable PDF.
  virtual int PageCount(const QString& AFileName,
                        const std::function<void(std::string&)>& AOnNeedPassword) = 0;
};

// Where a job's output goes. Called in the worker thread; an implementation moves each call
// to the user-interface thread.
class TJobSink {
public:
  virtual ~TJobSink() = default;
  virtual void Log(const QString& AText, TLogColour AColour) = 0;
  virtual void StartProgress(int AMaximum) = 0;  // position 0
  virtual void StepProgress() = 0;
  // A batch's progress over all its files at once (TBatchRun); a single job does not call it.
  virtual void ShowProgress(int /*APosition*/, int /*AMaximum*/) {}
  virtual void ObjectsFound(int ACount) = 0;
  // The job reached its end; AOutput is the file written.
  virtual void JobFinished(int AConvertedPages, const QString& AOutput) = 0;
  // Blocks the worker until the user answers; nothing when the user gives up.
  // AWrongBefore: the password given last time did not open the file.
  virtual std::optional<std::string> AskPassword(const QString& AFileName, bool AWrongBefore) = 0;
  // A batch's file (its index in the batch) started, and how it ended (TBatchRun only).
  virtual void FileStarted(int /*AIndex*/) {}
  virtual void FileEnded(int /*AIndex*/, const TJobResult& /*AResult*/) {}
};

// What a converter raises when Cancel stopped it between pages.
class EJobAborted final : public std::runtime_error {
public:
  EJobAborted() : std::runtime_error("Conversion aborted.") {}
};

class TJobRunner {
public:
  // Single-file jobs ask for a wrong password again up to this many times.
  static constexpr int kMaxPasswordPrompts = 10;

  TJobRunner(TJobConverterFactory AFactory, TJobSink& ASink, TJobCancel& ACancel);

  // The single-file job. Returns true when the conversion reached its end.
  bool RunSingle(const TJobOptions& AOptions);
  // The batch job for the file at AIndex, named through ANames.
  bool RunBatchFile(const TJobOptions& AOptions, int AIndex, TBatchNames& ANames);
  // The batch job for the file at AIndex, written to AOutput.
  bool RunBatchFile(const TJobOptions& AOptions, int AIndex, const QString& AOutput);
  // How the last job ended.
  [[nodiscard]] const TJobResult& Result() const { return FResult; }

private:
  bool Run(const TJobOptions& AOptions, const TJobRequest& ARequest, int AFileNumber,
           bool ABatch);
  bool Fail(const TJobResult& AResult, const std::vector<std::string>& ANotes, bool ABatch);

  TJobConverterFactory FFactory;
  TJobSink& FSink;                  // not owned
  TJobCancel& FCancel;              // not owned
  TJobResult FResult;
};

// A batch of the processing window: its files converted several at once, each by its own
// converter on a worker thread of the batch pool. What the sink sees does not depend on the
// order in which files end: the log lines of each file arrive together, in input order, as
// soon as that file and every file before it have ended; progress and the element count
// are the batch's.
class TBatchRun {
public:
  // Progress units per file of the batch's bar.
  static constexpr int kProgressPerFile = 100;

  // AThreads files at once at most; 0: one per processor core.
  TBatchRun(TJobConverterFactory AFactory, TJobSink& ASink, std::size_t AThreads = 0);
  // Cancels and waits for the running files.
  ~TBatchRun();
  TBatchRun(const TBatchRun&) = delete;
  TBatchRun& operator=(const TBatchRun&) = delete;

  // Starts the batch of AOptions and returns at once. AOnFinished is called once no file
  // runs any more, in a worker thread (at once for an empty batch).
  void Start(const TJobOptions& AOptions, std::function<void()> AOnFinished);
  // No further file starts; the running ones stop at their next page. Any thread.
  void Cancel();
  [[nodiscard]] bool Cancelled() const;
  // Blocks until the batch has ended.
  void Wait();
  [[nodiscard]] std::size_t ThreadCount() const;
  // Files that converted to their end, and files that failed, once the batch has ended;
  // the rest were not converted (an abort stopped or never started them).
  [[nodiscard]] int Converted() const;
  [[nodiscard]] int Failed() const;

private:
  class TFileSink;
  struct TState;
  void FileEnded(int AIndex, std::vector<std::pair<QString, TLogColour>> ALines,
                 const TJobResult& AResult);

  TJobConverterFactory FFactory;
  TJobSink& FSink;  // not owned
  std::unique_ptr<TState> FState;
};

}  // namespace qm
