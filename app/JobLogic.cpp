#include "app/JobLogic.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <limits>
#include <mutex>
#include <utility>

#include "base/OutOfMemory.h"
#include "converter/kwBatchPool.h"
#include "converter/kwPageRange.h"

namespace qm {
namespace {

qsizetype ExtensionStart(const QString& AName) {
  const qsizetype slash = AName.lastIndexOf(u'/');
  const qsizetype dot = AName.lastIndexOf(u'.');
  return dot > slash ? dot : -1;
}

QString DoneLine(int AConverted) {
  if (AConverted == 0) return QStringLiteral("Done. No pages converted.");
  if (AConverted == 1) return QStringLiteral("Done. 1 page converted.");
  return QStringLiteral("Done. ") + QString::number(AConverted) +
         QStringLiteral(" pages converted.");
}

bool SameExistingFile(const QString& AFirst, const QString& ASecond) {
  const QString a = QFileInfo(AFirst).canonicalFilePath();
  return !a.isEmpty() && a == QFileInfo(ASecond).canonicalFilePath();
}

// What the output file looked like before the job, so that an aborted job removes only a
// file it wrote itself.
struct TFileState {
  bool Exists = false;
  qint64 Size = 0;
  QDateTime Modified;

  static TFileState Of(const QString& AName) {
    const QFileInfo info(AName);
    return {info.exists(), info.size(), info.lastModified()};
  }
  bool operator==(const TFileState&) const = default;
};

QString Quoted(const QString& AName) {
  return QStringLiteral("\u201C%1\u201D").arg(QDir::toNativeSeparators(AName));
}

void LogWarnings(TJobSink& ASink, const std::vector<std::string>& ANotes) {
  for (const std::string& line : ANotes) {
    ASink.Log(QStringLiteral("Warning: ") + QString::fromStdString(line), TLogColour::lcWarning);
  }
}

bool StartsWith(const std::string& AText, std::string_view APrefix) {
  return std::string_view(AText).substr(0, APrefix.size()) == APrefix;
}

}  // namespace

QString PageListProblem(const QString& AList, std::optional<int> APageCount) {
  const auto quoted = [](const std::string& AItem) {
    return u'\'' + QString::fromStdString(AItem) + u'\'';
  };
  // A page number as typed: digits only; nothing when it is not one.
  const auto number = [](std::string_view AText) -> std::optional<long long> {
    if (AText.empty() || AText.size() > 12) return std::nullopt;
    long long v = 0;
    for (const char c : AText) {
      if (c < '0' || c > '9') return std::nullopt;
      v = v * 10 + (c - '0');
    }
    return v;
  };
  const auto pageProblem = [&](long long APage) -> QString {
    if (APage == 0) return QStringLiteral("there is no page 0; the first page is 1");
    if (APageCount && APage > *APageCount) {
      return QStringLiteral("page %1 is beyond the last page (%2)").arg(APage).arg(*APageCount);
    }
    if (APage > std::numeric_limits<int>::max()) return QStringLiteral("page %1 is too large").arg(APage);
    return {};
  };
  const std::string text = AList.toStdString();
  if (AList.trimmed().isEmpty()) return {};
  for (const std::string& item : SplitCommaText(text)) {
    if (item.empty()) return QStringLiteral("an item between two commas is empty");
    const std::size_t dash = item.find('-');
    if (dash == std::string::npos) {
      const std::optional<long long> page = number(item);
      if (!page) return quoted(item) + QStringLiteral(" is not a page number");
      if (QString p = pageProblem(*page); !p.isEmpty()) return p;
      continue;
    }
    const std::optional<long long> first = number(std::string_view(item).substr(0, dash));
    const std::optional<long long> last = number(std::string_view(item).substr(dash + 1));
    if (!first || !last) return quoted(item) + QStringLiteral(" is not a page range (write ranges as 5-9)");
    if (QString p = pageProblem(*first); !p.isEmpty()) return p;
    if (QString p = pageProblem(*last); !p.isEmpty()) return p;
    if (*first > *last) {
      return quoted(item) + QStringLiteral(" runs backwards (write %1-%2)").arg(*last).arg(*first);
    }
  }
  return {};
}

QString AbortedText(bool AExistingKept) {
  return AExistingKept ? QStringLiteral("Aborted: nothing was written; the existing file is unchanged")
                       : QStringLiteral("Aborted: nothing was written");
}

TJobResult DescribeFailure(const TJobRequest& ARequest, const std::string& AEngine, bool AStarted) {
  TJobResult r;
  r.Details = QString::fromStdString(AEngine);
  const QString input = ARequest.InputFileName;
  const QString output = EffectiveOutputName(ARequest.OutputFileName);
  const QFileInfo in(input);
  QString& m = r.Message;
  if (AEngine == kPasswordRequiredMessage || AEngine == kWrongPasswordMessage) {
    r.Outcome = TJobOutcome::joPasswordNeeded;
    m = QStringLiteral("%1 is protected by a password, and the right one was not given.").arg(Quoted(input));
  } else if (input.trimmed().isEmpty()) {
    m = QStringLiteral("No source PDF was given.");
  } else if (!in.exists()) {
    m = QStringLiteral("The source PDF %1 does not exist.").arg(Quoted(input));
  } else if (!in.isFile()) {
    m = QStringLiteral("%1 is a folder, not a PDF file.").arg(Quoted(input));
  } else if (!in.isReadable()) {
    m = QStringLiteral("%1 cannot be read: permission denied.").arg(Quoted(input));
  } else if (StartsWith(AEngine, "Cannot create file") || StartsWith(AEngine, "Cannot write file")) {
    const QFileInfo out(output);
    const QFileInfo folder(out.absolutePath());
    if (!folder.isDir()) {
      m = QStringLiteral("The folder %1 does not exist, so %2 cannot be written there.")
              .arg(Quoted(folder.filePath()), Quoted(out.fileName()));
    } else if (!folder.isWritable()) {
      m = QStringLiteral("The folder %1 cannot be written to, so %2 cannot be saved there.")
              .arg(Quoted(folder.filePath()), Quoted(out.fileName()));
    } else {
      m = QStringLiteral("The RTF file %1 could not be written.").arg(Quoted(output));
    }
  } else if (AEngine == "Out of memory") {
    m = QStringLiteral("There was not enough memory to convert %1.").arg(Quoted(input));
  } else if (AEngine.find("is not a valid integer value") != std::string::npos) {
    m = QStringLiteral("The page list %1 is not valid.").arg(Quoted(ARequest.PageRange));
  } else if (!AStarted) {
    m = QStringLiteral("%1 is not a readable PDF file.").arg(Quoted(input));
  } else {
    m = QStringLiteral("The conversion of %1 failed.").arg(Quoted(input));
  }
  return r;
}

std::optional<TkwAction> ActionForChoice(int AChoiceIndex) {
  using enum TkwAction;
  switch (AChoiceIndex) {
    case kChoiceProcess: return acRetain;
    case kChoiceLeaveSpace: return acLeaveSpace;
    case kChoiceSkip: return acDelete;
    default: return std::nullopt;
  }
}

void ApplyElementChoice(bool ACustom, const TChoices& AChoices, int AKind, TkwAction& AAction) {
  if (!ACustom) return;
  const std::optional<TkwElementKind> kind = ElementKindOf(AKind);
  if (!kind) return;
  if (const std::optional<TkwAction> a = ActionForChoice(AChoices[KindIndex(*kind)])) {
    AAction = *a;
  }
}

QString FormatElapsed(qint64 ASeconds) {
  const qint64 s = ASeconds < 0 ? 0 : ASeconds;
  return QStringLiteral("%1:%2")
      .arg((s / 60) % 60, 2, 10, QLatin1Char('0'))
      .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString ElapsedCaption(qint64 ASeconds) {
  return QStringLiteral("Time elapsed: ") + FormatElapsed(ASeconds);
}

QString EffectiveOutputName(const QString& AOutput) {
  if (AOutput.trimmed().isEmpty() || ExtensionStart(AOutput) >= 0) return AOutput;
  return AOutput + QStringLiteral(".rtf");
}

QString ChangeFileExt(const QString& AName, const QString& AExtension) {
  const qsizetype dot = ExtensionStart(AName);
  return (dot >= 0 ? AName.left(dot) : AName) + AExtension;
}

QString TBatchNames::Next(const QString& ADestFolder, const QString& AName) {
  QString folder = ADestFolder;
  if (!folder.endsWith(u'/')) folder += u'/';
  const QString base = ChangeFileExt(AName, QString());
  QString name = folder + base + QStringLiteral(".rtf");
  for (int n = 2; FUsed.count(name) != 0; ++n) {
    name = folder + base + QStringLiteral(" (%1).rtf").arg(n);
  }
  FUsed.insert(name);
  return name;
}

void TJobCancel::Request() noexcept {
  FRequested.store(true);
  std::lock_guard lock(FMutex);
  if (FActive != nullptr) FActive->Cancel();
}

TJobCancel::TScope::TScope(TJobCancel& ACancel, TJobConverter& AConverter) noexcept
    : FCancel(ACancel) {
  std::lock_guard lock(FCancel.FMutex);
  FCancel.FActive = &AConverter;
  if (FCancel.FRequested.load()) AConverter.Cancel();
}

TJobCancel::TScope::~TScope() {
  std::lock_guard lock(FCancel.FMutex);
  FCancel.FActive = nullptr;
}

TJobRunner::TJobRunner(TJobConverterFactory AFactory, TJobSink& ASink, TJobCancel& ACancel)
    : FFactory(std::move(AFactory)), FSink(ASink), FCancel(ACancel) {}

bool TJobRunner::RunSingle(const TJobOptions& AOptions) {
  TJobRequest r;
  r.InputFileName = AOptions.Source;
  r.OutputFileName = AOptions.Destination;
  r.PageRange = AOptions.Pages;
  r.FormattingMode = AOptions.FormatTabs ? TkwFormattingMode::fmFormattedWithTabs
                                         : TkwFormattingMode::fmFormatted;
  return Run(AOptions, r, 1, false);
}

bool TJobRunner::RunBatchFile(const TJobOptions& AOptions, int AIndex, TBatchNames& ANames) {
  if (AIndex < 0 || AIndex >= static_cast<int>(AOptions.Files.size())) return false;
  const TBatchFile& file = AOptions.Files[static_cast<std::size_t>(AIndex)];
  return RunBatchFile(AOptions, AIndex, ANames.Next(AOptions.DestFolder, file.Name));
}

bool TJobRunner::RunBatchFile(const TJobOptions& AOptions, int AIndex, const QString& AOutput) {
  if (AIndex < 0 || AIndex >= static_cast<int>(AOptions.Files.size())) return false;
  const TBatchFile& file = AOptions.Files[static_cast<std::size_t>(AIndex)];
  TJobRequest r;
  r.InputFileName = file.Path;
  r.OutputFileName = AOutput;
  r.FormattingMode = AOptions.FormatTabs ? TkwFormattingMode::fmFormattedWithTabs
                                         : TkwFormattingMode::fmFormatted;
  return Run(AOptions, r, AIndex + 1, true);
}

bool TJobRunner::Fail(const TJobResult& AResult, const std::vector<std::string>& ANotes,
                      bool ABatch) {
  FResult = AResult;
  FSink.Log(AResult.Message, TLogColour::lcRed);
  if (!AResult.Details.isEmpty()) {
    FSink.Log(QStringLiteral("Details: ") + AResult.Details, TLogColour::lcBlack);
  }
  LogWarnings(FSink, ANotes);
  if (ABatch) FSink.Log(QString(), TLogColour::lcBlack);
  return false;
}

bool TJobRunner::Run(const TJobOptions& AOptions, const TJobRequest& ARequest, int AFileNumber,
                     bool ABatch) {
  FResult = TJobResult{};
  const QString output = EffectiveOutputName(ARequest.OutputFileName);
  const TFileState before = TFileState::Of(output);
  if (FCancel.Requested()) {
    FResult = {TJobOutcome::joAborted, 0, {}, AbortedText(before.Exists), {}};
    return false;
  }
  if (ARequest.OutputFileName.trimmed().isEmpty()) {
    return Fail({TJobOutcome::joFailed, 0, {}, QStringLiteral("No destination file was given."), {}}, {},
                ABatch);
  }
  // Writing the result over the PDF being read would destroy the source.
  if (SameExistingFile(ARequest.InputFileName, output)) {
    return Fail({TJobOutcome::joFailed, 0, {},
                 QStringLiteral("The destination %1 is the source PDF itself; choose another name.")
                     .arg(Quoted(output)),
                 {}},
                {}, ABatch);
  }

  int counter = 0;
  bool started = false;
  bool ended = false;
  int converted = 0;
  TJobEvents ev;
  ev.OnStartJob = [&](const TJobStartInfo& AInfo) {
    counter = 0;
    started = true;
    FSink.StartProgress(AInfo.SelectedPageCount);
    FSink.Log(QStringLiteral("File #") + QString::number(AFileNumber) + QStringLiteral(" (") +
                  QString::number(AInfo.PageCount) + QStringLiteral(" pages)"),
              TLogColour::lcBlack);
    FSink.Log(QStringLiteral("In: ") + AInfo.InputFileName, TLogColour::lcBlack);
    FSink.Log(QStringLiteral("Out: ") + AInfo.OutputFileName, TLogColour::lcBlack);
    FSink.Log(QStringLiteral("Conversion started..."), TLogColour::lcGreen);
  };
  ev.OnEndPage = [&] { FSink.StepProgress(); };
  std::vector<std::string> notes;
  ev.OnDiagnostics = [&](const std::vector<std::string>& ALines) { notes = ALines; };
  ev.OnElementDetected = [&](int AKind, TkwAction& AAction) {
    ++counter;
    FSink.ObjectsFound(counter);
    ApplyElementChoice(AOptions.Custom, AOptions.Choices, AKind, AAction);
  };
  ev.OnEndJob = [&](int AConverted) {
    FSink.Log(QString::number(counter) + QStringLiteral(" objects processed."),
              TLogColour::lcGreen);
    FSink.Log(DoneLine(AConverted), AConverted == 0 ? TLogColour::lcRed : TLogColour::lcGreen);
    ended = true;
    converted = AConverted;
  };

  // A password the user gave while the file was validated is tried first; then the user is
  // asked, again after a wrong one (a batch asks once per file).
  const auto known = AOptions.Passwords.find(ARequest.InputFileName);
  bool usedKnown = known == AOptions.Passwords.end();
  const int maxPrompts = ABatch ? 1 : kMaxPasswordPrompts;
  int prompts = 0;
  bool supplied = false;     // this attempt was given a password
  bool lastWrong = false;    // the previous attempt ended on a wrong password
  bool gaveUp = false;
  ev.OnNeedPassword = [&](std::string& APassword) {
    // Asked again after a password was supplied: that one was wrong.
    const bool wrongBefore = supplied || std::exchange(lastWrong, false);
    supplied = false;
    if (!usedKnown) {
      usedKnown = true;
      APassword = known->second;
      supplied = true;
      return;
    }
    if (prompts >= maxPrompts || FCancel.Requested()) {
      gaveUp = true;
      return;
    }
    ++prompts;
    std::optional<std::string> answer = FSink.AskPassword(ARequest.InputFileName, wrongBefore);
    if (!answer) {
      gaveUp = true;
      return;
    }
    APassword = std::move(*answer);
    supplied = true;
  };

  const auto aborted = [&] {
    // No half-written result stays behind; a file that was there before and is untouched stays.
    const TFileState after = TFileState::Of(output);
    const bool changed = after.Exists && !(after == before);
    if (changed) QFile::remove(output);
    FResult = {TJobOutcome::joAborted, 0, {},
               changed && before.Exists
                   ? QStringLiteral("Aborted: %1 was partly rewritten, so it was removed").arg(Quoted(output))
                   : AbortedText(before.Exists),
               {}};
    FSink.Log(FResult.Message, TLogColour::lcRed);
    if (ABatch) FSink.Log(QString(), TLogColour::lcBlack);
    return false;
  };
  const auto failed = [&](const std::string& AEngine) {
    return Fail(DescribeFailure(ARequest, AEngine, started), notes, ABatch);
  };
  try {
    std::unique_ptr<TJobConverter> converter = FFactory();
    if (!converter) throw std::runtime_error("The conversion engine is not available.");
    const TJobCancel::TScope running(FCancel, *converter);
    for (;;) {
      // Each attempt starts unanswered, so an engine that refuses without asking ends the
      // loop; the next question still says the last password was wrong.
      lastWrong = supplied;
      supplied = false;
      try {
        converter->Convert(ARequest, ev);
        break;
      } catch (const EJobAborted&) {
        throw;
      } catch (const std::exception& e) {
        const bool wrongPassword = std::string_view(e.what()) == kPasswordRequiredMessage ||
                                   std::string_view(e.what()) == kWrongPasswordMessage;
        if (!(wrongPassword && supplied && !gaveUp && !FCancel.Requested())) throw;
      }
    }
  } catch (const EJobAborted&) {
    return aborted();
  } catch (const std::exception& e) {
    if (FCancel.Requested()) return aborted();
    return failed(ErrorMessage(e));
  } catch (...) {
    return failed("Unknown error.");
  }
  if (!ended) return failed("The conversion did not reach its end.");
  // An engine that ends without its file must not look like a success.
  if (!QFileInfo(output).isFile()) {
    return Fail({TJobOutcome::joFailed, 0, {},
                 QStringLiteral("The conversion ended, but %1 was not written.").arg(Quoted(output)),
                 {}},
                notes, ABatch);
  }
  LogWarnings(FSink, notes);
  FResult = {TJobOutcome::joConverted, converted, output, {}, {}};
  if (ABatch) FSink.Log(QString(), TLogColour::lcBlack);
  FSink.JobFinished(converted, output);
  return true;
}

struct TBatchRun::TState {
  TJobOptions Options;
  std::vector<QString> Outputs;  // decided in input order before any file starts
  std::unique_ptr<TkwBatchPool> Pool;
  std::atomic<int> Objects{0};   // elements found by every file so far
  std::mutex PasswordMutex;      // one question at a time

  std::mutex Mutex;              // guards what follows
  std::vector<int> Units;        // progress units per file
  int UnitSum = 0;
  std::vector<bool> Ended;
  std::vector<std::vector<std::pair<QString, TLogColour>>> Blocks;
  std::size_t NextShown = 0;     // the first file whose log is not yet shown
  int Converted = 0;
  int Failed = 0;
};

// What one file's job reports: its log is kept until the file ends, its progress and
// element count become the batch's.
class TBatchRun::TFileSink final : public TJobSink {
public:
  TFileSink(TBatchRun& AOwner, std::size_t AIndex) : FOwner(AOwner), FIndex(AIndex) {}

  void Log(const QString& AText, TLogColour AColour) override { FLines.emplace_back(AText, AColour); }
  void StartProgress(int AMaximum) override {
    FPages = AMaximum;
    FSteps = 0;
    Report();
  }
  void StepProgress() override {
    ++FSteps;
    Report();
  }
  void ShowProgress(int, int) override {}
  void ObjectsFound(int ACount) override {
    const int total = FOwner.FState->Objects.fetch_add(ACount - FObjects) + ACount - FObjects;
    FObjects = ACount;
    FOwner.FSink.ObjectsFound(total);
  }
  void JobFinished(int AConvertedPages, const QString& AOutput) override {
    FOwner.FSink.JobFinished(AConvertedPages, AOutput);
  }
  std::optional<std::string> AskPassword(const QString& AFileName, bool AWrongBefore) override {
    std::lock_guard lock(FOwner.FState->PasswordMutex);
    return FOwner.FSink.AskPassword(AFileName, AWrongBefore);
  }

  std::vector<std::pair<QString, TLogColour>> TakeLines() { return std::move(FLines); }

private:
  void Report() {
    const int units = FPages > 0 ? std::min(FSteps, FPages) * kProgressPerFile / FPages : 0;
    TState& s = *FOwner.FState;
    std::lock_guard lock(s.Mutex);
    s.UnitSum += units - s.Units[FIndex];
    s.Units[FIndex] = units;
    FOwner.FSink.ShowProgress(s.UnitSum, static_cast<int>(s.Units.size()) * kProgressPerFile);
  }

  TBatchRun& FOwner;
  std::size_t FIndex;
  std::vector<std::pair<QString, TLogColour>> FLines;
  int FPages = 0;
  int FSteps = 0;
  int FObjects = 0;  // this file's count as last reported
};

TBatchRun::TBatchRun(TJobConverterFactory AFactory, TJobSink& ASink, std::size_t AThreads)
    : FFactory(std::move(AFactory)), FSink(ASink), FState(std::make_unique<TState>()) {
  FState->Pool = std::make_unique<TkwBatchPool>(AThreads);
}

TBatchRun::~TBatchRun() {
  Cancel();
  Wait();
}

void TBatchRun::Start(const TJobOptions& AOptions, std::function<void()> AOnFinished) {
  TState& s = *FState;
  s.Options = AOptions;
  const std::size_t count = s.Options.Files.size();
  TBatchNames names;
  for (const TBatchFile& f : s.Options.Files) s.Outputs.push_back(names.Next(s.Options.DestFolder, f.Name));
  s.Units.assign(count, 0);
  s.Ended.assign(count, false);
  s.Blocks.assign(count, {});
  s.Pool->SetOnFinished(std::move(AOnFinished));
  s.Pool->Start(count, [this](TkwBatchTask& ATask) {
    const std::size_t index = ATask.GetIndex();
    TJobCancel cancel;
    TFileSink sink(*this, index);
    TJobResult result;
    FSink.FileStarted(static_cast<int>(index));
    {
      struct TDetach {
        TkwBatchTask& Task;
        ~TDetach() { Task.SetOnCancel(nullptr); }
      } detach{ATask};
      ATask.SetOnCancel([&cancel] { cancel.Request(); });
      TJobRunner runner(FFactory, sink, cancel);
      runner.RunBatchFile(FState->Options, static_cast<int>(index), FState->Outputs[index]);
      result = runner.Result();
    }
    FileEnded(static_cast<int>(index), sink.TakeLines(), result);
  });
}

void TBatchRun::FileEnded(int AIndex, std::vector<std::pair<QString, TLogColour>> ALines,
                          const TJobResult& AResult) {
  TState& s = *FState;
  const auto i = static_cast<std::size_t>(AIndex);
  std::lock_guard lock(s.Mutex);
  s.UnitSum += kProgressPerFile - s.Units[i];
  s.Units[i] = kProgressPerFile;
  s.Ended[i] = true;
  s.Blocks[i] = std::move(ALines);
  if (AResult.Outcome == TJobOutcome::joConverted) ++s.Converted;
  if (AResult.Outcome == TJobOutcome::joFailed || AResult.Outcome == TJobOutcome::joPasswordNeeded) {
    ++s.Failed;
  }
  FSink.FileEnded(AIndex, AResult);
  // Under the lock: the blocks reach the sink whole and in input order.
  for (; s.NextShown < s.Ended.size() && s.Ended[s.NextShown]; ++s.NextShown) {
    for (const auto& [text, colour] : s.Blocks[s.NextShown]) FSink.Log(text, colour);
    s.Blocks[s.NextShown].clear();
  }
  FSink.ShowProgress(s.UnitSum, static_cast<int>(s.Units.size()) * kProgressPerFile);
}

void TBatchRun::Cancel() { FState->Pool->Cancel(); }

bool TBatchRun::Cancelled() const { return FState->Pool->GetCancelRequested(); }

void TBatchRun::Wait() { FState->Pool->Wait(); }

std::size_t TBatchRun::ThreadCount() const { return FState->Pool->GetThreadCount(); }

int TBatchRun::Converted() const {
  std::lock_guard lock(FState->Mutex);
  return FState->Converted;
}

int TBatchRun::Failed() const {
  std::lock_guard lock(FState->Mutex);
  return FState->Failed;
}

}  // namespace qm
