#pragma once

#include <QDialog>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/JobLogic.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTextEdit;
class QThread;
class QTimer;

// The processing window: runs the job of the main window in worker threads (a batch converts
// several files at once, one per processor core) and shows its log, the layout elements
// found, the page progress and the elapsed time. The worker reports through queued signals only; the
// window's destructor stops and waits for its worker, so no report outlives the window.
namespace qm {

class TJobBridge;

struct TProcessServices {
  TJobConverterFactory Converter;
  // Opens a file or folder with its associated program.
  std::function<void(const QString&)> OpenPath;
  // Asks for the password of a file; nothing when the user cancels.
  std::function<std::optional<std::string>(QWidget*, const QString&)> AskPassword;
  // Milliseconds of a steady clock; the elapsed time is read from it.
  std::function<qint64()> ClockMs;
  // Files of a batch converted at once; 0: one per processor core.
  std::size_t BatchThreads = 0;
};

class Tfrm_Process final : public QDialog {
  Q_OBJECT
public:
  Tfrm_Process(TJobOptions AOptions, TProcessServices AServices, QWidget* AParent = nullptr);
  ~Tfrm_Process() override;

  // Abort / Close: no further file starts, the running conversion stops at its next page,
  // the window closes.
  void reject() override;

  // The elapsed timer's tick.
  void ElapsedTick();
  [[nodiscard]] bool WorkerRunning() const;
  [[nodiscard]] int BatchIndex() const { return FBatchIndex; }

  QTextEdit* log_Main = nullptr;
  QLabel* lbl_Objects = nullptr;
  QProgressBar* prg_Page = nullptr;
  QLabel* lbl_Elapsed = nullptr;
  QPushButton* btn_Close = nullptr;
  QTimer* tmr_Start = nullptr;
  QTimer* tmr_Elapsed = nullptr;

protected:
  void showEvent(QShowEvent* AEvent) override;

private:
  void StartJob();
  void BatchTerminated();
  void JobFinished(int AConvertedPages, const QString& AOutput);
  void AppendLog(const QString& AText, TLogColour AColour);
  void AnswerPassword(const QString& AFileName);
  void SetDone();
  void StopWorker();

  TJobOptions FOptions;
  TProcessServices FServices;
  std::unique_ptr<TJobBridge> FBridge;
  TJobCancel FCancel;
  std::unique_ptr<QThread> FThread;
  std::unique_ptr<TBatchRun> FBatch;
  std::atomic<bool> FBatchRunning{false};
  int FBatchIndex = 0;
  qint64 FStartMs = 0;
  bool FLogEmpty = true;
  bool FStartArmed = false;
};

}  // namespace qm
