#include "app/JobBridge.h"

namespace qm {

void TJobBridge::Log(const QString& AText, TLogColour AColour) {
  emit LogLine(AText, static_cast<int>(AColour));
}

void TJobBridge::StartProgress(int AMaximum) { emit ProgressStarted(AMaximum); }

void TJobBridge::StepProgress() {
  FSteps.fetch_add(1);
  if (!FStepsPosted.exchange(true)) emit ProgressStepped();
}

void TJobBridge::ShowProgress(int APosition, int AMaximum) {
  {
    std::lock_guard lock(FProgressMutex);
    FProgress = {APosition, AMaximum};
  }
  if (!FProgressPosted.exchange(true)) emit ProgressShown();
}

std::pair<int, int> TJobBridge::TakeProgress() {
  FProgressPosted.store(false);
  std::lock_guard lock(FProgressMutex);
  return FProgress;
}

int TJobBridge::TakeSteps() {
  FStepsPosted.store(false);
  return FSteps.exchange(0);
}

// The window shows pages and files, not layout elements (the log ends with their number).
void TJobBridge::ObjectsFound(int) {}

void TJobBridge::JobFinished(int AConvertedPages, const QString& AOutput) {
  emit Finished(AConvertedPages, AOutput);
}

void TJobBridge::FileStarted(int AIndex) { emit BatchFileStarted(AIndex); }

void TJobBridge::FileEnded(int AIndex, const TJobResult& AResult) {
  emit BatchFileEnded(AIndex, static_cast<int>(AResult.Outcome), AResult.Pages, AResult.Message);
}

std::optional<std::string> TJobBridge::AskPassword(const QString& AFileName, bool AWrongBefore) {
  std::unique_lock lock(FMutex);
  if (FClosed) return std::nullopt;
  FWaiting = true;
  FHasAnswer = false;
  FAnswer.reset();
  emit PasswordWanted(AFileName, AWrongBefore);
  FAnswered.wait(lock, [this] { return FHasAnswer || FClosed; });
  FWaiting = false;
  if (FClosed) return std::nullopt;
  return std::move(FAnswer);
}

void TJobBridge::AnswerPassword(std::optional<std::string> APassword) {
  {
    std::lock_guard lock(FMutex);
    if (!FWaiting) return;
    FAnswer = std::move(APassword);
    FHasAnswer = true;
  }
  FAnswered.notify_all();
}

void TJobBridge::Close() {
  {
    std::lock_guard lock(FMutex);
    FClosed = true;
  }
  FAnswered.notify_all();
}

}  // namespace qm
