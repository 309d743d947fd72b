#include "app/ProcessWindow.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

#include "app/JobBridge.h"

namespace qm {
namespace {

QColor LogColour(TLogColour AColour) {
  switch (AColour) {
    case TLogColour::lcGreen: return QColor(0, 128, 0);
    case TLogColour::lcRed: return QColor(255, 0, 0);
    case TLogColour::lcBlack: break;
  }
  return QColor(0, 0, 0);
}

qint64 SteadyMs() {
  static QElapsedTimer timer = [] {
    QElapsedTimer t;
    t.start();
    return t;
  }();
  return timer.elapsed();
}

}  // namespace

Tfrm_Process::Tfrm_Process(TJobOptions AOptions, TProcessServices AServices, QWidget* AParent)
    : QDialog(AParent),
      FOptions(std::move(AOptions)),
      FServices(std::move(AServices)),
      FBridge(std::make_unique<TJobBridge>()) {
  if (!FServices.ClockMs) FServices.ClockMs = SteadyMs;
  setWindowTitle(QStringLiteral("Process"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setModal(true);
  setFont(QFont(QStringLiteral("Tahoma"), 8));
  setFixedSize(375, 281);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  log_Main = new QTextEdit(this);
  log_Main->setObjectName(QStringLiteral("log_Main"));
  log_Main->setReadOnly(true);
  log_Main->setAcceptRichText(false);
  log_Main->setLineWrapMode(QTextEdit::NoWrap);
  log_Main->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log_Main->setFixedHeight(169);
  layout->addWidget(log_Main);

  auto* panel = new QWidget(this);
  auto* panelLayout = new QVBoxLayout(panel);
  panelLayout->setContentsMargins(0, 0, 0, 0);
  lbl_Objects = new QLabel(QStringLiteral("Objects found: 0"), panel);
  prg_Page = new QProgressBar(panel);
  prg_Page->setTextVisible(false);
  prg_Page->setRange(0, 0);
  prg_Page->setMaximum(1);
  prg_Page->setValue(0);
  lbl_Elapsed = new QLabel(ElapsedCaption(0), panel);
  panelLayout->addWidget(lbl_Objects);
  panelLayout->addWidget(prg_Page);
  panelLayout->addWidget(lbl_Elapsed);
  layout->addWidget(panel);

  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  btn_Close = new QPushButton(QStringLiteral("Abort"), this);
  btn_Close->setObjectName(QStringLiteral("btn_Close"));
  buttons->addWidget(btn_Close);
  buttons->addStretch();
  layout->addLayout(buttons);
  connect(btn_Close, &QPushButton::clicked, this, &Tfrm_Process::reject);

  tmr_Start = new QTimer(this);
  tmr_Start->setSingleShot(true);
  tmr_Start->setInterval(100);
  connect(tmr_Start, &QTimer::timeout, this, &Tfrm_Process::StartJob);

  tmr_Elapsed = new QTimer(this);
  tmr_Elapsed->setInterval(1000);
  connect(tmr_Elapsed, &QTimer::timeout, this, &Tfrm_Process::ElapsedTick);
  FStartMs = FServices.ClockMs();
  tmr_Elapsed->start();

  TJobBridge* b = FBridge.get();
  connect(b, &TJobBridge::LogLine, this,
          [this](const QString& AText, int AColour) {
            AppendLog(AText, static_cast<TLogColour>(AColour));
          },
          Qt::QueuedConnection);
  connect(b, &TJobBridge::ProgressStarted, this,
          [this](int AMaximum) {
            prg_Page->setMaximum(AMaximum > 0 ? AMaximum : 1);
            prg_Page->setValue(0);
          },
          Qt::QueuedConnection);
  connect(b, &TJobBridge::ProgressStepped, this,
          [this] {
            const int steps = FBridge->TakeSteps();
            prg_Page->setValue(std::min(prg_Page->maximum(), prg_Page->value() + steps));
          },
          Qt::QueuedConnection);
  connect(b, &TJobBridge::ProgressShown, this,
          [this] {
            const auto [position, maximum] = FBridge->TakeProgress();
            prg_Page->setMaximum(maximum > 0 ? maximum : 1);
            prg_Page->setValue(std::min(prg_Page->maximum(), position));
          },
          Qt::QueuedConnection);
  connect(b, &TJobBridge::ObjectsCounted, this,
          [this] {
            lbl_Objects->setText(QStringLiteral("Objects found: ") +
                                 QString::number(FBridge->TakeObjectCount()));
          },
          Qt::QueuedConnection);
  connect(b, &TJobBridge::Finished, this, &Tfrm_Process::JobFinished, Qt::QueuedConnection);
  connect(b, &TJobBridge::PasswordWanted, this, &Tfrm_Process::AnswerPassword,
          Qt::QueuedConnection);
}

Tfrm_Process::~Tfrm_Process() { StopWorker(); }

void Tfrm_Process::StopWorker() {
  FCancel.Request();
  if (FBatch) FBatch->Cancel();
  FBridge->Close();
  if (FThread) FThread->wait();
  if (FBatch) FBatch->Wait();
}

bool Tfrm_Process::WorkerRunning() const {
  return (FThread && FThread->isRunning()) || FBatchRunning.load();
}

void Tfrm_Process::showEvent(QShowEvent* AEvent) {
  QDialog::showEvent(AEvent);
  if (!FStartArmed) {
    FStartArmed = true;
    tmr_Start->start();
  }
}

void Tfrm_Process::StartJob() {
  tmr_Start->stop();
  if (FThread) return;
  if (!FOptions.Batch) {
    FThread.reset(QThread::create([this] {
      TJobRunner runner(FServices.Converter, *FBridge, FCancel);
      runner.RunSingle(FOptions);
    }));
    FThread->start();
    return;
  }
  const QString folder = FOptions.DestFolder.trimmed();
  if (folder.isEmpty() || !QDir().mkpath(folder)) {
    AppendLog(QStringLiteral("Cannot create the destination folder: ") + folder,
              TLogColour::lcRed);
    return;
  }
  FBatchIndex = 0;
  if (FOptions.Files.empty()) {
    SetDone();
    return;
  }
  FBatch = std::make_unique<TBatchRun>(FServices.Converter, *FBridge, FServices.BatchThreads);
  FBatchRunning.store(true);
  FBatch->Start(FOptions, [this] {
    FBatchRunning.store(false);
    // Dropped with the window when it is gone first.
    QMetaObject::invokeMethod(this, &Tfrm_Process::BatchTerminated, Qt::QueuedConnection);
  });
}

void Tfrm_Process::BatchTerminated() {
  if (!FBatch) return;
  FBatch->Wait();
  FBatchIndex = static_cast<int>(FOptions.Files.size());
  if (FCancel.Requested() || FBatch->Cancelled()) return;
  SetDone();
  if (FOptions.OpenAfter && FServices.OpenPath) FServices.OpenPath(FOptions.DestFolder);
}

void Tfrm_Process::SetDone() {
  lbl_Objects->setText(QStringLiteral("Done."));
  btn_Close->setText(QStringLiteral("Close"));
  tmr_Elapsed->stop();
}

void Tfrm_Process::JobFinished(int, const QString& AOutput) {
  if (FOptions.Batch) return;
  SetDone();
  if (FOptions.OpenAfter && FServices.OpenPath) FServices.OpenPath(AOutput);
}

void Tfrm_Process::ElapsedTick() {
  lbl_Elapsed->setText(ElapsedCaption((FServices.ClockMs() - FStartMs) / 1000));
}

void Tfrm_Process::AppendLog(const QString& AText, TLogColour AColour) {
  QTextCursor cursor(log_Main->document());
  cursor.movePosition(QTextCursor::End);
  QTextCharFormat format;
  format.setForeground(LogColour(AColour));
  if (!FLogEmpty) cursor.insertBlock();
  cursor.insertText(AText, format);
  FLogEmpty = false;
  log_Main->verticalScrollBar()->setValue(log_Main->verticalScrollBar()->maximum());
}

void Tfrm_Process::AnswerPassword(const QString& AFileName) {
  std::optional<std::string> answer;
  if (FServices.AskPassword) answer = FServices.AskPassword(this, AFileName);
  FBridge->AnswerPassword(std::move(answer));
}

void Tfrm_Process::reject() {
  if (FOptions.Batch) FBatchIndex = static_cast<int>(FOptions.Files.size());
  FCancel.Request();
  if (FBatch) FBatch->Cancel();
  FBridge->Close();
  tmr_Start->stop();
  tmr_Elapsed->stop();
  QDialog::reject();
}

}  // namespace qm
