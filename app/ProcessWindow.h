#pragma once

#include <QDialog>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/JobLogic.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTextEdit;
class QThread;
class QTimer;

// The processing window: runs the job of the main window in worker threads (a batch converts
// several files at once, one per processor core) and shows its log, where it has got to
// ("Page 3 of 12", "File 2 of 5"), the progress and the elapsed time. Every job ends in a
// state the user can act on: the timer stops, the line under the log says how it ended in
// plain words, the button reads "Close", and a converted file is one click from being
// opened or shown in its folder. The worker reports through queued signals only; the
// window's destructor stops and waits for its worker, so no report outlives the window.
namespace qm {

class TJobBridge;

struct TProcessServices {
  TJobConverterFactory Converter;
  // Opens a file or folder with its associated program.
  std::function<void(const QString&)> OpenPath;
  // Asks for the password of a file; nothing when the user cancels. AWrongBefore: the last
  // password given did not open it, which the question says.
  std::function<std::optional<std::string>(QWidget*, const QString&, bool AWrongBefore)> AskPassword;
  // Milliseconds of a steady clock; the elapsed time is read from it.
  std::function<qint64()> ClockMs;
  // Files of a batch converted at once; 0: one per processor core.
  std::size_t BatchThreads = 0;
  // A batch's file (index in the job's list) changed state: the status column's text.
  std::function<void(int AIndex, const QString& AStatus)> FileStatus;
};

// A batch's end in words: "5 converted, 1 failed", with ", 2 not converted" after an abort.
[[nodiscard]] QString BatchSummary(int AConverted, int AFailed, int ANotConverted);

class Tfrm_Process final : public QDialog {
  Q_OBJECT
public:
  Tfrm_Process(TJobOptions AOptions, TProcessServices AServices, QWidget* AParent = nullptr);
  ~Tfrm_Process() override;

  // Escape or the window's close button: no further file starts, the running conversion
  // stops at its next page, the window closes.
  void reject() override;
  // The Abort button: stops like reject, but the window stays to say what was kept.
  void Abort();

  // The elapsed timer's tick.
  void ElapsedTick();
  [[nodiscard]] bool WorkerRunning() const;
  [[nodiscard]] int BatchIndex() const { return FBatchIndex; }
  // The job has ended (converted, failed or aborted) and says so.
  [[nodiscard]] bool Ended() const { return FEnded; }

  QTextEdit* log_Main = nullptr;
  QLabel* lbl_Objects = nullptr;  // where the job is, then how it ended
  QProgressBar* prg_Page = nullptr;
  QLabel* lbl_Elapsed = nullptr;
  QPushButton* btn_OpenFile = nullptr;
  QPushButton* btn_ShowFolder = nullptr;
  QPushButton* btn_Close = nullptr;
  QTimer* tmr_Start = nullptr;
  QTimer* tmr_Elapsed = nullptr;

protected:
  void showEvent(QShowEvent* AEvent) override;

private:
  void StartJob();
  void SingleEnded(const TJobResult& AResult);
  void BatchTerminated();
  void BatchFileEnded(int AIndex, int AOutcome, int APages, const QString& AMessage);
  void AppendLog(const QString& AText, TLogColour AColour);
  void AnswerPassword(const QString& AFileName, bool AWrongBefore);
  void ShowWhere();
  // The end: the line under the log, the timer, the buttons.
  void End(const QString& AText, bool ASuccess, const QString& AOutput, const QString& AFolder);
  void CloseClicked();
  void StopWorker();
  void SetFileStatus(int AIndex, const QString& AStatus);

  TJobOptions FOptions;
  TProcessServices FServices;
  std::unique_ptr<TJobBridge> FBridge;
  TJobCancel FCancel;
  std::unique_ptr<QThread> FThread;
  std::unique_ptr<TBatchRun> FBatch;
  std::atomic<bool> FBatchRunning{false};
  int FBatchIndex = 0;
  std::vector<bool> FFileEnded;  // a batch's files that have ended
  int FFilesEnded = 0;
  qint64 FStartMs = 0;
  bool FLogEmpty = true;
  bool FStartArmed = false;
  bool FEnded = false;
  bool FAborting = false;
  QString FOutput;  // the converted file, or the batch's folder
  QString FFolder;
};

}  // namespace qm
