#include "app/ProcessWindow.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
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
    case TLogColour::lcWarning: return QColor(176, 96, 0);
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

QString PagesConverted(int APages) {
  if (APages == 0) return QStringLiteral("Done. No pages converted.");
  if (APages == 1) return QStringLiteral("Done. 1 page converted.");
  return QStringLiteral("Done. %1 pages converted.").arg(APages);
}

}  // namespace

QString BatchSummary(int AConverted, int AFailed, int ANotConverted) {
  QString s = QStringLiteral("%1 converted, %2 failed").arg(AConverted).arg(AFailed);
  if (ANotConverted > 0) s += QStringLiteral(", %1 not converted").arg(ANotConverted);
  return s;
}

Tfrm_Process::Tfrm_Process(TJobOptions AOptions, TProcessServices AServices, QWidget* AParent)
    : QDialog(AParent),
      FOptions(std::move(AOptions)),
      FServices(std::move(AServices)),
      FBridge(std::make_unique<TJobBridge>()) {
  if (!FServices.ClockMs) FServices.ClockMs = SteadyMs;
  setWindowTitle(QStringLiteral("Process"));
  setModal(true);
  setMinimumSize(375, 281);
  resize(520, 340);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  log_Main = new QTextEdit(this);
  log_Main->setObjectName(QStringLiteral("log_Main"));
  log_Main->setReadOnly(true);
  log_Main->setAcceptRichText(false);
  log_Main->setLineWrapMode(QTextEdit::NoWrap);
  log_Main->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log_Main->setMinimumHeight(120);
  layout->addWidget(log_Main, 1);

  lbl_Objects = new QLabel(FOptions.Batch ? QStringLiteral("Starting...")
                                          : QStringLiteral("Opening the PDF..."), this);
  lbl_Objects->setObjectName(QStringLiteral("lbl_Objects"));
  lbl_Objects->setWordWrap(true);
  lbl_Objects->setTextInteractionFlags(Qt::TextSelectableByMouse);
  prg_Page = new QProgressBar(this);
  prg_Page->setRange(0, 1);
  prg_Page->setValue(0);
  prg_Page->setTextVisible(true);
  prg_Page->setFormat(QStringLiteral("%p%"));
  lbl_Elapsed = new QLabel(ElapsedCaption(0), this);
  layout->addWidget(lbl_Objects);
  layout->addWidget(prg_Page);
  layout->addWidget(lbl_Elapsed);

  auto* buttons = new QHBoxLayout();
  btn_OpenFile = new QPushButton(QStringLiteral("&Open file"), this);
  btn_OpenFile->setObjectName(QStringLiteral("btn_OpenFile"));
  btn_ShowFolder = new QPushButton(QStringLiteral("Show in &folder"), this);
  btn_ShowFolder->setObjectName(QStringLiteral("btn_ShowFolder"));
  btn_Close = new QPushButton(QStringLiteral("Abort"), this);
  btn_Close->setObjectName(QStringLiteral("btn_Close"));
  btn_OpenFile->hide();
  btn_ShowFolder->hide();
  buttons->addWidget(btn_OpenFile);
  buttons->addWidget(btn_ShowFolder);
  buttons->addStretch();
  buttons->addWidget(btn_Close);
  layout->addLayout(buttons);
  connect(btn_Close, &QPushButton::clicked, this, &Tfrm_Process::CloseClicked);
  connect(btn_OpenFile, &QPushButton::clicked, this, [this] {
    if (FServices.OpenPath) FServices.OpenPath(FOutput);
  });
  connect(btn_ShowFolder, &QPushButton::clicked, this, [this] {
    if (FServices.OpenPath) FServices.OpenPath(FFolder);
  });

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
            if (FOptions.Batch) return;
            prg_Page->setMaximum(AMaximum > 0 ? AMaximum : 1);
            prg_Page->setValue(0);
            ShowWhere();
          },
          Qt::QueuedConnection);
  connect(b, &TJobBridge::ProgressStepped, this,
          [this] {
            const int steps = FBridge->TakeSteps();
            prg_Page->setValue(std::min(prg_Page->maximum(), prg_Page->value() + steps));
            ShowWhere();
          },
          Qt::QueuedConnection);
  connect(b, &TJobBridge::ProgressShown, this,
          [this] {
            const auto [position, maximum] = FBridge->TakeProgress();
            prg_Page->setMaximum(maximum > 0 ? maximum : 1);
            prg_Page->setValue(std::min(prg_Page->maximum(), position));
          },
          Qt::QueuedConnection);
  connect(b, &TJobBridge::PasswordWanted, this, &Tfrm_Process::AnswerPassword,
          Qt::QueuedConnection);
  connect(b, &TJobBridge::BatchFileStarted, this,
          [this](int AIndex) { SetFileStatus(AIndex, QStringLiteral("Converting...")); },
          Qt::QueuedConnection);
  connect(b, &TJobBridge::BatchFileEnded, this, &Tfrm_Process::BatchFileEnded,
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

void Tfrm_Process::SetFileStatus(int AIndex, const QString& AStatus) {
  if (FServices.FileStatus) FServices.FileStatus(AIndex, AStatus);
}

void Tfrm_Process::StartJob() {
  tmr_Start->stop();
  if (FThread || FBatch || FEnded) return;
  if (!FOptions.Batch) {
    FThread.reset(QThread::create([this] {
      TJobRunner runner(FServices.Converter, *FBridge, FCancel);
      runner.RunSingle(FOptions);
      const TJobResult result = runner.Result();
      // Dropped with the window when it is gone first; queued after the job's last lines.
      QMetaObject::invokeMethod(this, [this, result] { SingleEnded(result); }, Qt::QueuedConnection);
    }));
    FThread->start();
    return;
  }
  FBatchIndex = 0;
  const QString folder = FOptions.DestFolder.trimmed();
  if (folder.isEmpty()) {
    End(QStringLiteral("No destination folder was given."), false, {}, {});
    return;
  }
  if (!QDir().mkpath(folder)) {
    End(QStringLiteral("The destination folder \u201C%1\u201D cannot be created.")
            .arg(QDir::toNativeSeparators(folder)),
        false, {}, {});
    return;
  }
  if (FOptions.Files.empty()) {
    End(QStringLiteral("There are no files to convert."), false, {}, {});
    return;
  }
  FFileEnded.assign(FOptions.Files.size(), false);
  prg_Page->setRange(0, static_cast<int>(FOptions.Files.size()) * TBatchRun::kProgressPerFile);
  ShowWhere();
  FBatch = std::make_unique<TBatchRun>(FServices.Converter, *FBridge, FServices.BatchThreads);
  FBatchRunning.store(true);
  FBatch->Start(FOptions, [this] {
    FBatchRunning.store(false);
    // Dropped with the window when it is gone first.
    QMetaObject::invokeMethod(this, &Tfrm_Process::BatchTerminated, Qt::QueuedConnection);
  });
}

void Tfrm_Process::ShowWhere() {
  if (FEnded || FAborting) return;
  if (FOptions.Batch) {
    const int n = static_cast<int>(FOptions.Files.size());
    lbl_Objects->setText(QStringLiteral("File %1 of %2").arg(std::min(FFilesEnded + 1, n)).arg(n));
    return;
  }
  const int m = prg_Page->maximum();
  lbl_Objects->setText(QStringLiteral("Page %1 of %2").arg(std::min(prg_Page->value() + 1, m)).arg(m));
}

void Tfrm_Process::SingleEnded(const TJobResult& AResult) {
  if (FThread) FThread->wait();
  if (AResult.Outcome == TJobOutcome::joConverted) {
    End(PagesConverted(AResult.Pages), AResult.Pages > 0, AResult.Output,
        QFileInfo(AResult.Output).absolutePath());
    if (FOptions.OpenAfter && FServices.OpenPath) FServices.OpenPath(AResult.Output);
    return;
  }
  End(AResult.Message, false, {}, {});
}

void Tfrm_Process::BatchFileEnded(int AIndex, int AOutcome, int APages, const QString& AMessage) {
  const auto i = static_cast<std::size_t>(AIndex);
  if (i < FFileEnded.size() && !FFileEnded[i]) {
    FFileEnded[i] = true;
    ++FFilesEnded;
  }
  switch (static_cast<TJobOutcome>(AOutcome)) {
    case TJobOutcome::joConverted:
      SetFileStatus(AIndex, APages == 1 ? QStringLiteral("Done (1 page)")
                                        : QStringLiteral("Done (%1 pages)").arg(APages));
      break;
    case TJobOutcome::joPasswordNeeded: SetFileStatus(AIndex, QStringLiteral("Password needed")); break;
    case TJobOutcome::joAborted: SetFileStatus(AIndex, QStringLiteral("Not converted (aborted)")); break;
    case TJobOutcome::joFailed: SetFileStatus(AIndex, QStringLiteral("Failed: ") + AMessage); break;
  }
  ShowWhere();
}

void Tfrm_Process::BatchTerminated() {
  if (!FBatch) return;
  FBatch->Wait();
  const int n = static_cast<int>(FOptions.Files.size());
  FBatchIndex = n;
  for (std::size_t i = 0; i < FFileEnded.size(); ++i) {
    if (!FFileEnded[i]) SetFileStatus(static_cast<int>(i), QStringLiteral("Not converted (aborted)"));
  }
  const int converted = FBatch->Converted();
  const int failed = FBatch->Failed();
  const bool aborted = FCancel.Requested() || FBatch->Cancelled();
  QString summary = BatchSummary(converted, failed, n - converted - failed);
  if (aborted) {
    summary = QStringLiteral("Aborted: ") + summary;
    if (converted > 0) summary += QStringLiteral("; the files converted are kept");
  }
  AppendLog(summary, converted == n ? TLogColour::lcGreen : TLogColour::lcRed);
  const QString folder = FOptions.DestFolder.trimmed();
  End(summary, converted == n, {}, converted > 0 ? folder : QString());
  if (!aborted && converted > 0 && FOptions.OpenAfter && FServices.OpenPath) FServices.OpenPath(folder);
}

void Tfrm_Process::End(const QString& AText, bool ASuccess, const QString& AOutput,
                       const QString& AFolder) {
  FEnded = true;
  FAborting = false;
  FOutput = AOutput;
  FFolder = AFolder;
  tmr_Elapsed->stop();
  tmr_Start->stop();
  lbl_Objects->setText(AText);
  lbl_Objects->setStyleSheet(ASuccess ? QStringLiteral("color: rgb(0, 128, 0);")
                                      : QStringLiteral("color: rgb(255, 0, 0);"));
  if (!ASuccess && FLogEmpty) AppendLog(AText, TLogColour::lcRed);
  // A single job that did not convert has no progress worth a percentage.
  if (!FOptions.Batch && AOutput.isEmpty()) prg_Page->setTextVisible(false);
  btn_OpenFile->setVisible(!AOutput.isEmpty());
  btn_ShowFolder->setVisible(!AFolder.isEmpty());
  btn_Close->setText(QStringLiteral("Close"));
  btn_Close->setEnabled(true);
  btn_Close->setDefault(AOutput.isEmpty());
  btn_OpenFile->setDefault(!AOutput.isEmpty());
  (AOutput.isEmpty() ? btn_Close : btn_OpenFile)->setFocus();
}

void Tfrm_Process::CloseClicked() {
  if (FEnded) {
    accept();
    return;
  }
  Abort();
}

void Tfrm_Process::Abort() {
  if (FEnded || FAborting) return;
  FAborting = true;
  if (FOptions.Batch) FBatchIndex = static_cast<int>(FOptions.Files.size());
  FCancel.Request();
  if (FBatch) FBatch->Cancel();
  FBridge->Close();
  btn_Close->setText(QStringLiteral("Aborting..."));
  btn_Close->setEnabled(false);
  lbl_Objects->setText(QStringLiteral("Stopping at the end of the current page..."));
  // Nothing runs yet: the job ends here.
  if (!WorkerRunning() && !FThread) {
    End(AbortedText(QFileInfo::exists(EffectiveOutputName(FOptions.Destination)) && !FOptions.Batch),
        false, {}, {});
  }
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

void Tfrm_Process::AnswerPassword(const QString& AFileName, bool AWrongBefore) {
  std::optional<std::string> answer;
  if (FServices.AskPassword) answer = FServices.AskPassword(this, AFileName, AWrongBefore);
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
