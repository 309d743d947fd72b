#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "app/JobLogic.h"

// The processing window's TJobSink: each call from the worker becomes a signal that the
// window receives, queued, in the user-interface thread. A password question blocks the
// worker until the window answers or closes.
namespace qm {

class TJobBridge final : public QObject, public TJobSink {
  Q_OBJECT
public:
  explicit TJobBridge(QObject* AParent = nullptr) : QObject(AParent) {}

  void Log(const QString& AText, TLogColour AColour) override;
  void StartProgress(int AMaximum) override;
  void StepProgress() override;
  void ShowProgress(int APosition, int AMaximum) override;
  void ObjectsFound(int ACount) override;
  void JobFinished(int AConvertedPages, const QString& AOutput) override;
  std::optional<std::string> AskPassword(const QString& AFileName, bool AWrongBefore) override;
  void FileStarted(int AIndex) override;
  void FileEnded(int AIndex, const TJobResult& AResult) override;

  // User-interface thread: the answer to the pending PasswordWanted.
  void AnswerPassword(std::optional<std::string> APassword);
  // User-interface thread: wakes a waiting worker with no answer and refuses further
  // questions; called before the window waits for its worker.
  void Close();
  // User-interface thread: the pages ended since the last call, taken by the
  // ProgressStepped handler.
  int TakeSteps();
  // User-interface thread: the latest batch progress (position, maximum), taken by the
  // ProgressShown handler.
  std::pair<int, int> TakeProgress();

signals:
  void LogLine(const QString& AText, int AColour);
  void ProgressStarted(int AMaximum);
  // Like the count, page ends are coalesced: one signal stands for every step the
  // handler then takes, so a fast worker never floods the user-interface thread.
  void ProgressStepped();
  // Coalesced like the count: the handler reads the latest position.
  void ProgressShown();
  void Finished(int AConvertedPages, const QString& AOutput);
  void PasswordWanted(const QString& AFileName, bool AWrongBefore);
  void BatchFileStarted(int AIndex);
  // AOutcome is a TJobOutcome.
  void BatchFileEnded(int AIndex, int AOutcome, int APages, const QString& AMessage);

private:
  std::atomic<int> FSteps{0};
  std::atomic<bool> FStepsPosted{false};
  std::mutex FProgressMutex;
  std::pair<int, int> FProgress;  // guarded by FProgressMutex
  std::atomic<bool> FProgressPosted{false};
  std::mutex FMutex;
  std::condition_variable FAnswered;
  bool FWaiting = false;
  bool FHasAnswer = false;
  bool FClosed = false;
  std::optional<std::string> FAnswer;
};

}  // namespace qm
