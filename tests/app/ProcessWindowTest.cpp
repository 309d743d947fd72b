#include "app/ProcessWindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "app/ConverterBridge.h"
#include "app/MainWindow.h"
#include "tests/app/AppTestSupport.h"

namespace qm {
namespace {

using test::TFakeScript;
using test::WaitFor;

struct LogLine {
  QString Text;
  QColor Colour;
};

std::vector<LogLine> LogLines(QTextEdit* ALog) {
  std::vector<LogLine> out;
  for (QTextBlock b = ALog->document()->begin(); b.isValid(); b = b.next()) {
    QColor c(0, 0, 0);
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      c = it.fragment().charFormat().foreground().color();
      break;
    }
    out.push_back({b.text(), c});
  }
  return out;
}

const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);
const QColor kBlack(0, 0, 0);

class ProcessWindowTest : public ::testing::Test {
protected:
  std::unique_ptr<Tfrm_Process> Make(const TJobOptions& AOptions, TFakeScript AScript, std::size_t AThreads = 0) {
    TProcessServices s;
    s.BatchThreads = AThreads;
    auto script = std::make_shared<TFakeScript>(std::move(AScript));
    s.Converter = [this, script] {
      ++Converters;
      return std::make_unique<test::TFakeConverter>(*script);
    };
    s.OpenPath = [this](const QString& APath) { Opened.push_back(APath); };
    s.AskPassword = [this](QWidget*, const QString&, bool AWrongBefore) -> std::optional<std::string> {
      WrongBefore.push_back(AWrongBefore);
      if (Answers.empty()) return std::string("secret");
      std::string a = Answers.front();
      Answers.erase(Answers.begin());
      return a;
    };
    s.FileStatus = [this](int AIndex, const QString& AStatus) { Statuses[AIndex].append(AStatus); };
    s.ClockMs = [this] { return Now.load(); };
    return std::make_unique<Tfrm_Process>(AOptions, s);
  }

  TJobOptions Single(bool AOpenAfter = false) {
    TJobOptions o;
    o.Source = Dir.filePath(QStringLiteral("in.pdf"));
    o.Destination = Dir.filePath(QStringLiteral("in.rtf"));
    o.OpenAfter = AOpenAfter;
    return o;
  }

  TJobOptions Batch(int AFiles) {
    TJobOptions o;
    o.Batch = true;
    o.OpenAfter = true;
    o.DestFolder = Dir.filePath(QStringLiteral("new/out"));
    for (int i = 0; i < AFiles; ++i) {
      o.Files.push_back({QStringLiteral("f%1.pdf").arg(i), QStringLiteral("/src/f%1.pdf").arg(i)});
    }
    return o;
  }

  static bool Closed(Tfrm_Process& AWindow) {
    return AWindow.btn_Close->text() == QStringLiteral("Close");
  }

  QTemporaryDir Dir;
  std::atomic<int> Converters{0};
  std::atomic<qint64> Now{1000};
  std::vector<QString> Opened;
  std::vector<std::string> Answers;  // then "secret"
  std::vector<bool> WrongBefore;
  std::map<int, QStringList> Statuses;  // by batch index, in order
};

TEST_F(ProcessWindowTest, StartsWithItsCaptions) {
  auto w = Make(Single(), TFakeScript{});
  EXPECT_EQ(w->windowTitle(), QStringLiteral("Process"));
  EXPECT_EQ(w->minimumSize(), QSize(375, 281));
  EXPECT_EQ(w->lbl_Objects->text(), QStringLiteral("Opening the PDF..."));
  EXPECT_EQ(w->lbl_Elapsed->text(), QStringLiteral("Time elapsed: 00:00"));
  EXPECT_EQ(w->btn_Close->text(), QStringLiteral("Abort"));
  EXPECT_TRUE(w->tmr_Elapsed->isActive());
  EXPECT_FALSE(w->tmr_Start->isActive());
  EXPECT_EQ(w->tmr_Start->interval(), 100);
  EXPECT_FALSE(w->btn_OpenFile->isVisibleTo(w.get()));
  EXPECT_FALSE(w->btn_ShowFolder->isVisibleTo(w.get()));
  // The log takes what a larger window gives.
  w->show();
  const int logHeight = w->log_Main->height();
  w->resize(w->width() + 100, w->height() + 200);
  QCoreApplication::processEvents();
  EXPECT_EQ(w->log_Main->height(), logHeight + 200);
}

// The end of a conversion: the result is one click away, in the file and in its folder.
TEST_F(ProcessWindowTest, OnePageJobLogsInColourAndOffersTheResult) {
  auto w = Make(Single(true), TFakeScript{});
  w->show();
  ASSERT_TRUE(WaitFor([&] { return Closed(*w); }));
  const std::vector<LogLine> lines = LogLines(w->log_Main);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0].Text, QStringLiteral("File #1 (1 pages)"));
  EXPECT_EQ(lines[0].Colour, kBlack);
  EXPECT_EQ(lines[3].Text, QStringLiteral("Conversion started..."));
  EXPECT_EQ(lines[3].Colour, kGreen);
  EXPECT_EQ(lines[4].Text, QStringLiteral("2 objects processed."));
  EXPECT_EQ(lines[5].Text, QStringLiteral("Done. 1 page converted."));
  EXPECT_EQ(lines[5].Colour, kGreen);
  EXPECT_EQ(w->lbl_Objects->text(), QStringLiteral("Done. 1 page converted."));
  EXPECT_EQ(w->prg_Page->value(), 1);
  EXPECT_EQ(w->prg_Page->maximum(), 1);
  EXPECT_FALSE(w->tmr_Elapsed->isActive());
  const QString rtf = Dir.filePath(QStringLiteral("in.rtf"));
  ASSERT_EQ(Opened.size(), 1u);  // "Open after conversion"
  EXPECT_EQ(Opened[0], rtf);
  ASSERT_TRUE(w->btn_OpenFile->isVisible());
  ASSERT_TRUE(w->btn_ShowFolder->isVisible());
  EXPECT_TRUE(w->btn_OpenFile->isDefault());
  w->btn_OpenFile->click();
  w->btn_ShowFolder->click();
  EXPECT_EQ(Opened, (std::vector<QString>{rtf, rtf, QFileInfo(rtf).absolutePath()}));
  w->btn_Close->click();
  EXPECT_FALSE(w->isVisible());
}

TEST_F(ProcessWindowTest, RangeSelectingNothingEndsInRed) {
  TFakeScript script;
  script.PageCount = 4;
  script.SelectedPages = 0;
  auto w = Make(Single(), script);
  w->show();
  ASSERT_TRUE(WaitFor([&] { return Closed(*w); }));
  const std::vector<LogLine> lines = LogLines(w->log_Main);
  EXPECT_EQ(lines.back().Text, QStringLiteral("Done. No pages converted."));
  EXPECT_EQ(lines.back().Colour, kRed);
}

struct EndCase {
  const char* Name;
  const char* Throw;
  bool SourceExists;
  const char* Message;  // %1: the source
  const char* Details;
};

class ProcessWindowEnd : public ProcessWindowTest, public ::testing::WithParamInterface<EndCase> {};

// A failed job ends the run: the timer stops, the button closes, and the line under the log
// says in plain words what went wrong with which file; the engine's words are the details.
TEST_P(ProcessWindowEnd, FailureEndsTheRunInPlainWords) {
  const EndCase& c = GetParam();
  TFakeScript script;
  script.Throw = c.Throw;
  TJobOptions o = Single();
  if (c.SourceExists) {
    QFile f(o.Source);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  auto w = Make(o, script);
  w->show();
  ASSERT_TRUE(WaitFor([&] { return w->Ended(); }));
  const QString message = QString::fromUtf8(c.Message).arg(o.Source);
  const std::vector<LogLine> lines = LogLines(w->log_Main);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].Text, message);
  EXPECT_EQ(lines[0].Colour, kRed);
  EXPECT_EQ(lines[1].Text, QStringLiteral("Details: ") + QString::fromLatin1(c.Details));
  EXPECT_EQ(w->lbl_Objects->text(), message);
  EXPECT_EQ(w->btn_Close->text(), QStringLiteral("Close"));
  EXPECT_FALSE(w->tmr_Elapsed->isActive());
  EXPECT_FALSE(w->btn_OpenFile->isVisible());
  EXPECT_FALSE(w->btn_ShowFolder->isVisible());
  w->btn_Close->click();
  EXPECT_FALSE(w->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Errors, ProcessWindowEnd,
    ::testing::Values(
        EndCase{"MissingFile", "Invalid PDF", false, "The source PDF \u201C%1\u201D does not exist.", "Invalid PDF"},
        EndCase{"NotAPdf", "startxref not found", true, "\u201C%1\u201D is not a readable PDF file.",
                "startxref not found"},
        EndCase{"BadRange", "'''' is not a valid integer value", true,
                "The page list \u201C\u201D is not valid.", "'''' is not a valid integer value"}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

// Asked again after a wrong password, the question says the last one was wrong.
TEST_F(ProcessWindowTest, WrongPasswordIsSaidWhenAskingAgain) {
  TFakeScript script;
  script.Password = "secret";
  Answers = {"guess"};
  auto w = Make(Single(), script);
  w->show();
  ASSERT_TRUE(WaitFor([&] { return Closed(*w); }));
  EXPECT_TRUE(w->log_Main->toPlainText().endsWith(QStringLiteral("Done. 1 page converted.")));
  EXPECT_EQ(WrongBefore, (std::vector<bool>{false, true}));
}

// Abort stops the job but keeps the window, which then says what was left.
TEST_F(ProcessWindowTest, AbortSaysWhatWasKept) {
  for (bool existing : {true, false}) {
    SCOPED_TRACE(existing ? "existing file" : "no file");
    auto gate = std::make_shared<test::TGate>();
    TFakeScript script;
    script.PageCount = 4;
    script.WriteOutput = false;
    script.BeforePage = [gate](int APage) {
      if (APage == 2) gate->Wait();
    };
    const TJobOptions o = Single();
    QFile::remove(o.Destination);
    if (existing) {
      QFile f(o.Destination);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write("{\\rtf1 earlier}");
    }
    auto w = Make(o, script);
    w->show();
    ASSERT_TRUE(WaitFor([&] { return gate->Waiting() == 1 && w->prg_Page->value() == 2; }));
    EXPECT_EQ(w->lbl_Objects->text(), QStringLiteral("Page 3 of 4"));
    w->btn_Close->click();
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->btn_Close->isEnabled());
    gate->Open();
    ASSERT_TRUE(WaitFor([&] { return w->Ended(); }));
    EXPECT_EQ(w->lbl_Objects->text(), existing ? QStringLiteral("Aborted: nothing was written; the existing file is unchanged")
                                               : QStringLiteral("Aborted: nothing was written"));
    EXPECT_EQ(w->btn_Close->text(), QStringLiteral("Close"));
    EXPECT_TRUE(w->btn_Close->isEnabled());
    EXPECT_FALSE(w->tmr_Elapsed->isActive());
    EXPECT_EQ(QFile::exists(o.Destination), existing);
  }
}

TEST_F(ProcessWindowTest, BatchOfThreeFilesThenASummary) {
  auto w = Make(Batch(3), TFakeScript{});
  w->show();
  ASSERT_TRUE(WaitFor([&] { return Closed(*w); }));
  EXPECT_EQ(w->lbl_Objects->text(), QStringLiteral("3 converted, 0 failed"));
  const std::vector<LogLine> lines = LogLines(w->log_Main);
  ASSERT_EQ(lines.size(), 22u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(lines[static_cast<std::size_t>(i * 7)].Text, QStringLiteral("File #%1 (1 pages)").arg(i + 1));
    EXPECT_TRUE(lines[static_cast<std::size_t>(i * 7 + 6)].Text.isEmpty());
    EXPECT_EQ(Statuses[i], (QStringList{QStringLiteral("Converting..."), QStringLiteral("Done (1 page)")}));
  }
  EXPECT_EQ(lines.back().Text, QStringLiteral("3 converted, 0 failed"));
  EXPECT_EQ(Converters.load(), 3);
  const QString folder = Dir.filePath(QStringLiteral("new/out"));
  EXPECT_TRUE(QDir(folder).exists());
  ASSERT_EQ(Opened.size(), 1u);
  EXPECT_EQ(Opened[0], folder);
  EXPECT_FALSE(w->btn_OpenFile->isVisible());
  ASSERT_TRUE(w->btn_ShowFolder->isVisible());
  w->btn_ShowFolder->click();
  EXPECT_EQ(Opened.back(), folder);
}

TEST_F(ProcessWindowTest, BatchGoesOnAfterAFailedFileAndCountsIt) {
  TFakeScript script;
  script.Throw = "Invalid PDF";
  auto w = Make(Batch(2), script);
  w->show();
  ASSERT_TRUE(WaitFor([&] { return Closed(*w); }));
  EXPECT_EQ(Converters.load(), 2);
  const QString missing = QStringLiteral("The source PDF \u201C/src/f%1.pdf\u201D does not exist.");
  EXPECT_EQ(w->log_Main->toPlainText(),
            QStringList({missing.arg(0), QStringLiteral("Details: Invalid PDF"), QString(), missing.arg(1),
                         QStringLiteral("Details: Invalid PDF"), QString(), QStringLiteral("0 converted, 2 failed")})
                .join(u'\n'));
  EXPECT_EQ(w->lbl_Objects->text(), QStringLiteral("0 converted, 2 failed"));
  EXPECT_EQ(Statuses[1].back(), QStringLiteral("Failed: ") + missing.arg(1));
  EXPECT_FALSE(w->btn_ShowFolder->isVisible());
  EXPECT_TRUE(Opened.empty());
}

struct BatchStartCase {
  const char* Name;
  const char* Folder;  // in the test folder; "" for none, "file" for a file of that name
  int Files;
  const char* Message;
};

class ProcessWindowBatchStart : public ProcessWindowTest,
                                public ::testing::WithParamInterface<BatchStartCase> {};

// A batch that cannot start ends at once, saying why, with the button closing the window.
TEST_P(ProcessWindowBatchStart, EndsAtOnceSayingWhy) {
  const BatchStartCase& c = GetParam();
  TJobOptions o = Batch(c.Files);
  o.DestFolder = *c.Folder ? Dir.filePath(QString::fromLatin1(c.Folder)) : QString();
  if (std::string_view(c.Folder) == "file") {
    QFile f(o.DestFolder);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  auto w = Make(o, TFakeScript{});
  w->show();
  ASSERT_TRUE(WaitFor([&] { return w->Ended(); }));
  const QString message = QString::fromUtf8(c.Message).arg(o.DestFolder);
  EXPECT_EQ(w->lbl_Objects->text(), message);
  ASSERT_FALSE(LogLines(w->log_Main).empty());
  EXPECT_EQ(LogLines(w->log_Main)[0].Text, message);
  EXPECT_EQ(LogLines(w->log_Main)[0].Colour, kRed);
  EXPECT_EQ(w->btn_Close->text(), QStringLiteral("Close"));
  EXPECT_FALSE(w->tmr_Elapsed->isActive());
  EXPECT_EQ(Converters.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Starts, ProcessWindowBatchStart,
    ::testing::Values(BatchStartCase{"NoFolder", "", 2, "No destination folder was given."},
                      BatchStartCase{"FolderIsAFile", "file", 2,
                                     "The destination folder \u201C%1\u201D cannot be created."},
                      BatchStartCase{"NoFiles", "out", 0, "There are no files to convert."}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(ProcessWindowTest, AbortDuringABatchStopsTheRunningFilesAndSaysWhatWasLeft) {
  auto gate = std::make_shared<test::TGate>();
  TFakeScript script;
  script.PageCount = 3;
  script.BeforePage = [gate](int) { gate->Wait(); };
  auto w = Make(Batch(4), script, 2);
  w->show();
  ASSERT_TRUE(WaitFor([&] { return gate->Waiting() == 2; }));
  EXPECT_EQ(w->lbl_Objects->text(), QStringLiteral("File 1 of 4"));
  w->btn_Close->click();
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->BatchIndex(), 4);
  gate->Open();
  ASSERT_TRUE(WaitFor([&] { return w->Ended(); }));
  EXPECT_FALSE(w->WorkerRunning());
  EXPECT_FALSE(w->tmr_Elapsed->isActive());
  EXPECT_EQ(Converters.load(), 2);
  for (const char* name : {"f0.rtf", "f1.rtf", "f2.rtf"}) {
    EXPECT_FALSE(QFile::exists(Dir.filePath(QStringLiteral("new/out/") + QString::fromLatin1(name)))) << name;
  }
  EXPECT_EQ(w->lbl_Objects->text(), QStringLiteral("Aborted: 0 converted, 0 failed, 4 not converted"));
  EXPECT_EQ(w->btn_Close->text(), QStringLiteral("Close"));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Statuses[i].back(), QStringLiteral("Not converted (aborted)")) << i;
  EXPECT_TRUE(Opened.empty());
}

// Files converted before an abort stay, and the summary says so.
TEST_F(ProcessWindowTest, AbortKeepsTheFilesAlreadyConverted) {
  auto gate = std::make_shared<test::TGate>();
  TFakeScript script;
  script.BeforePageOf = [gate](const QString& AInput, int) {
    if (AInput.endsWith(QStringLiteral("f1.pdf"))) gate->Wait();
  };
  auto w = Make(Batch(3), script, 1);
  w->show();
  ASSERT_TRUE(WaitFor([&] { return gate->Waiting() == 1; }));
  w->btn_Close->click();
  gate->Open();
  ASSERT_TRUE(WaitFor([&] { return w->Ended(); }));
  EXPECT_EQ(w->lbl_Objects->text(),
            QStringLiteral("Aborted: 1 converted, 0 failed, 2 not converted; the files converted are kept"));
  EXPECT_TRUE(QFile::exists(Dir.filePath(QStringLiteral("new/out/f0.rtf"))));
  EXPECT_FALSE(QFile::exists(Dir.filePath(QStringLiteral("new/out/f1.rtf"))));
  EXPECT_TRUE(w->btn_ShowFolder->isVisible());
  EXPECT_EQ(Statuses[0].back(), QStringLiteral("Done (1 page)"));
  EXPECT_EQ(Statuses[1].back(), QStringLiteral("Not converted (aborted)"));
  EXPECT_EQ(Statuses[2].back(), QStringLiteral("Not converted (aborted)"));
}

// Two files at once: the log reads as one by one, the bar counts the whole batch.
TEST_F(ProcessWindowTest, ParallelBatchLogsInFileOrderAndFillsTheBar) {
  auto gate = std::make_shared<test::TGate>();
  auto ended = std::make_shared<std::atomic<int>>(0);
  TFakeScript script;
  script.PageCount = 2;
  // The first file waits until the others have run; their logs wait for it.
  script.BeforePageOf = [gate, ended](const QString& AInput, int APage) {
    if (AInput.endsWith(QStringLiteral("f0.pdf")) && APage == 0) gate->Wait();
    if (!AInput.endsWith(QStringLiteral("f0.pdf")) && APage == 1) ++*ended;
  };
  auto w = Make(Batch(3), script, 2);
  w->show();
  ASSERT_TRUE(WaitFor([&] { return gate->Waiting() == 1 && *ended == 2 && w->WorkerRunning(); }));
  WaitFor([] { return false; }, 100);
  EXPECT_TRUE(w->log_Main->toPlainText().isEmpty());
  EXPECT_EQ(w->prg_Page->maximum(), 3 * TBatchRun::kProgressPerFile);
  EXPECT_EQ(w->lbl_Objects->text(), QStringLiteral("File 3 of 3"));
  gate->Open();
  ASSERT_TRUE(WaitFor([&] { return Closed(*w); }));
  const std::vector<LogLine> lines = LogLines(w->log_Main);
  ASSERT_EQ(lines.size(), 22u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(lines[static_cast<std::size_t>(i * 7)].Text, QStringLiteral("File #%1 (2 pages)").arg(i + 1));
  }
  EXPECT_EQ(w->prg_Page->value(), w->prg_Page->maximum());
}

TEST_F(ProcessWindowTest, WindowGoneWhileTheWorkerRuns) {
  auto gate = std::make_shared<test::TGate>();
  TFakeScript script;
  script.PageCount = 50;
  script.ElementsPerPage = 200;
  script.BeforePage = [gate](int APage) {
    if (APage == 1) gate->Wait();
  };
  auto w = Make(Single(), script);
  w->show();
  ASSERT_TRUE(WaitFor([&] { return gate->Waiting() == 1; }));
  std::thread opener([gate] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    gate->Open();
  });
  w.reset();  // waits for the worker; its queued reports die with the window
  opener.join();
  QCoreApplication::processEvents();
  SUCCEED();
}

TEST_F(ProcessWindowTest, ElapsedLabelReadsTheClock) {
  auto w = Make(Single(), TFakeScript{});
  Now = 1000 + 65'000;
  w->ElapsedTick();
  EXPECT_EQ(w->lbl_Elapsed->text(), QStringLiteral("Time elapsed: 01:05"));
  Now = 1000 + 3'600'000 + 7'000;
  w->ElapsedTick();
  EXPECT_EQ(w->lbl_Elapsed->text(), QStringLiteral("Time elapsed: 00:07"));
}

// A long job with a flood of element reports: the user-interface thread keeps serving its
// timers, because the worker's reports are queued and the element count is coalesced.
TEST_F(ProcessWindowTest, StaysResponsiveDuringALongConversion) {
  TFakeScript script;
  script.PageCount = 200;
  script.ElementsPerPage = 2000;
  script.BeforePage = [](int) { std::this_thread::sleep_for(std::chrono::milliseconds(2)); };
  auto w = Make(Single(), script);
  QElapsedTimer clock;
  qint64 last = -1;
  qint64 worstGap = 0;
  int ticks = 0;
  QTimer probe;
  probe.setInterval(20);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    if (last >= 0) worstGap = std::max(worstGap, now - last);
    last = now;
    ++ticks;
  });
  clock.start();
  probe.start();
  w->show();
  ASSERT_TRUE(WaitFor([&] { return Closed(*w); }, 60'000));
  EXPECT_EQ(w->prg_Page->value(), 200);
  EXPECT_GT(ticks, 5);
  EXPECT_LT(worstGap - 20, 200) << "worst gap " << worstGap << " ms";
}

// A rendered window: as large as the widget, with text and frames drawn in it rather than
// one flat colour.
void ExpectDrawn(const QImage& AImage, const QSize& ASize, const QString& AFile) {
  EXPECT_EQ(AImage.size(), ASize) << AFile.toStdString();
  std::set<QRgb> colours;
  int dark = 0;
  for (int y = 0; y < AImage.height(); y += 2) {
    for (int x = 0; x < AImage.width(); x += 2) {
      const QRgb c = AImage.pixel(x, y);
      colours.insert(c);
      if (qGray(c) < 96) ++dark;
    }
  }
  EXPECT_GT(colours.size(), 8u) << AFile.toStdString();
  EXPECT_GT(dark, 50) << AFile.toStdString();
}

// Renders the windows to PNG files in the build folder, for a person to look at: the main
// window at three sizes, a batch with mixed results, an error, the wrong-password question,
// a finished job and one under way. Real PDFs through the real engine. It needs a window
// system: ctest runs it as qm_app_screenshots under a virtual X server.
TEST_F(ProcessWindowTest, Screenshots) {
  if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
    GTEST_SKIP() << "needs an X server; run as qm_app_screenshots (xvfb-run)";
  }
  const QString out = QCoreApplication::applicationDirPath();
  const auto save = [&out](QWidget& AWindow, const char* AName) {
    QCoreApplication::processEvents();
    const QString file = out + QStringLiteral("/app-%1.png").arg(QString::fromLatin1(AName));
    const QImage image = AWindow.grab().toImage();
    ExpectDrawn(image, AWindow.size(), file);
    EXPECT_TRUE(image.save(file)) << file.toStdString();
  };
  const auto copy = [this](const char* AFixture, const QString& AName) {
    const QString to = Dir.filePath(AName);
    EXPECT_TRUE(QFile::copy(QStringLiteral(QM_FIXTURES_DIR "/") + QString::fromLatin1(AFixture), to)) << AFixture;
    return to;
  };
  {
    QFile ini(Dir.filePath(QStringLiteral("Quillmark.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[General]\nUpdate=0\nCustom=1\nImage=2\nText=1\n");
  }
  TMainServices s;
  s.SettingsPath = Dir.filePath(QStringLiteral("Quillmark.ini"));
  s.Converter = [] { return MakeEngineConverter(); };
  s.Probe = [] { return MakeEngineProbe(); };
  s.AskPassword = [](QWidget*, const QString&, bool) -> std::optional<std::string> { return std::nullopt; };
  s.AskYesNo = [](QWidget*, const QString&, const QString&) { return true; };
  Tfrm_Process* batch = nullptr;
  s.RunProcess = [&](Tfrm_Process& AProcess) {
    AProcess.show();
    EXPECT_TRUE(WaitFor([&] { return AProcess.Ended(); }, 60'000));
    save(AProcess, "process-batch-mixed");
    batch = &AProcess;
  };
  Tfrm_Main main(s);
  main.show();

  // The single-file page at its smallest size, with a page list the document cannot give.
  const QString report = copy("e2e/prose.pdf", QStringLiteral("annual report.pdf"));
  main.DropOnSingle({report});
  QTest::keyClicks(main.txt_Pages, QStringLiteral("1, 7-9"));
  main.resize(main.minimumSize());
  main.activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(&main));
  main.txt_Pages->setFocus();
  save(main, "main-small");
  // The default size, ready to convert; focus on Convert.
  main.txt_Pages->clear();
  main.resize(680, 393 + main.menuBar()->height());
  main.btn_ConvertSingle->setFocus();
  save(main, "main-default");
  // Tab from the source field: the focus moves to its "..." button, and shows.
  main.txt_Source->setFocus();
  QTest::keyClick(main.txt_Source, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), main.btn_Source);
  save(main, "main-focus-after-tab");
  main.pc_Main->setCurrentWidget(main.tab_Options);
  save(main, "main-options");

  // A large window with a batch of mixed results: converted, failed, not readable, locked.
  main.resize(1100, 640);
  main.pc_Main->setCurrentWidget(main.tab_Multiple);
  QFile broken(Dir.filePath(QStringLiteral("damaged.pdf")));
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write("%PDF-1.4\nnot really a PDF\n");
  broken.close();
  main.AddFiles({copy("e2e/tables.pdf", QStringLiteral("price list.pdf")), report,
                 copy("e2e/lists.pdf", QStringLiteral("minutes.pdf")), broken.fileName(),
                 copy("qpdf-aes128-userpw.pdf", QStringLiteral("locked.pdf"))});
  main.txt_DestFolder->setText(Dir.filePath(QStringLiteral("rtf")));
  // One of the converted files' results cannot be written: a folder stands where it goes.
  QDir().mkpath(Dir.filePath(QStringLiteral("rtf/minutes.rtf")));
  main.btn_ConvertMultiple->click();
  ASSERT_NE(batch, nullptr);
  main.lw_Files->clearSelection();
  save(main, "main-large-batch");

  // A single job that fails: the source is not a PDF the engine can read.
  TProcessServices ps;
  ps.Converter = [] { return MakeEngineConverter(); };
  ps.OpenPath = [](const QString&) {};
  TJobOptions failing = Single();
  failing.Source = broken.fileName();
  failing.Destination = Dir.filePath(QStringLiteral("damaged.rtf"));
  {
    Tfrm_Process w(failing, ps);
    w.show();
    ASSERT_TRUE(WaitFor([&] { return w.Ended(); }, 60'000));
    save(w, "process-error");
  }
  // A finished job: the result one click away.
  TJobOptions done = Single();
  done.Source = report;
  done.Destination = Dir.filePath(QStringLiteral("annual report.rtf"));
  {
    Tfrm_Process w(done, ps);
    w.show();
    ASSERT_TRUE(WaitFor([&] { return w.Ended(); }, 60'000));
    save(w, "process-done");
  }
  // The question after a wrong password.
  {
    const std::unique_ptr<QInputDialog> ask = MakePasswordDialog(nullptr, Dir.filePath(QStringLiteral("locked.pdf")), true);
    ask->setTextValue(QStringLiteral("secret"));
    ask->show();
    save(*ask, "password-wrong");
  }
  // A job under way: page and time.
  auto gate = std::make_shared<test::TGate>();
  TFakeScript script;
  script.PageCount = 6;
  script.ElementsPerPage = 37;
  script.BeforePage = [gate](int APage) {
    if (APage == 3) gate->Wait();
  };
  auto w = Make(Single(), script);
  w->show();
  ASSERT_TRUE(WaitFor([&] { return gate->Waiting() == 1 && w->prg_Page->value() == 3; }));
  Now = 1000 + 17'000;
  w->ElapsedTick();
  save(*w, "process-running");
  gate->Open();
  ASSERT_TRUE(WaitFor([&] { return Closed(*w); }));
}

}  // namespace
}  // namespace qm
