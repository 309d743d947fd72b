#include "app/ProcessWindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <set>
#include <thread>

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
    s.AskPassword = [](QWidget*, const QString&, bool) -> std::optional<std::string> {
      return std::string("secret");
    };
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
};

TEST_F(ProcessWindowTest, StartsWithItsCaptions) {
  auto w = Make(Single(), TFakeScript{});
  EXPECT_EQ(w->windowTitle(), QStringLiteral("Process"));
  EXPECT_EQ(w->size(), QSize(375, 281));
  EXPECT_EQ(w->lbl_Objects->text(), QStringLiteral("Objects found: 0"));
  EXPECT_EQ(w->lbl_Elapsed->text(), QStringLiteral("Time elapsed: 00:00"));
  EXPECT_EQ(w->btn_Close->text(), QStringLiteral("Abort"));
  EXPECT_TRUE(w->tmr_Elapsed->isActive());
  EXPECT_FALSE(w->tmr_Start->isActive());
  EXPECT_EQ(w->tmr_Start->interval(), 100);
  EXPECT_EQ(w->log_Main->height(), 169);
}

TEST_F(ProcessWindowTest, OnePageJobLogsInColourAndOpensTheResult) {
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
  EXPECT_EQ(w->lbl_Objects->text(), QStringLiteral("Done."));
  EXPECT_EQ(w->prg_Page->value(), 1);
  EXPECT_EQ(w->prg_Page->maximum(), 1);
  EXPECT_FALSE(w->tmr_Elapsed->isActive());
  ASSERT_EQ(Opened.size(), 1u);
  EXPECT_EQ(Opened[0], Dir.filePath(QStringLiteral("in.rtf")));
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

TEST_F(ProcessWindowTest, FailureIsRedAndLeavesAbort) {
  TFakeScript script;
  script.Throw = "Invalid PDF";
  auto w = Make(Single(), script);
  w->show();
  ASSERT_TRUE(WaitFor([&] { return !w->log_Main->toPlainText().isEmpty() && !w->WorkerRunning(); }));
  const std::vector<LogLine> lines = LogLines(w->log_Main);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].Text, QStringLiteral("Invalid PDF"));
  EXPECT_EQ(lines[0].Colour, kRed);
  EXPECT_EQ(w->btn_Close->text(), QStringLiteral("Abort"));
  EXPECT_TRUE(w->tmr_Elapsed->isActive());
}

TEST_F(ProcessWindowTest, PasswordQuestionCrossesToTheWindowAndBack) {
  TFakeScript script;
  script.Password = "secret";
  auto w = Make(Single(), script);
  w->show();
  ASSERT_TRUE(WaitFor([&] { return Closed(*w); }));
  EXPECT_TRUE(w->log_Main->toPlainText().endsWith(QStringLiteral("Done. 1 page converted.")));
}

TEST_F(ProcessWindowTest, BatchOfThreeFilesThenDone) {
  auto w = Make(Batch(3), TFakeScript{});
  w->show();
  ASSERT_TRUE(WaitFor([&] { return Closed(*w); }));
  EXPECT_EQ(w->lbl_Objects->text(), QStringLiteral("Done."));
  const std::vector<LogLine> lines = LogLines(w->log_Main);
  ASSERT_EQ(lines.size(), 21u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(lines[static_cast<std::size_t>(i * 7)].Text, QStringLiteral("File #%1 (1 pages)").arg(i + 1));
    EXPECT_TRUE(lines[static_cast<std::size_t>(i * 7 + 6)].Text.isEmpty());
  }
  EXPECT_EQ(Converters.load(), 3);
  EXPECT_TRUE(QDir(Dir.filePath(QStringLiteral("new/out"))).exists());
  ASSERT_EQ(Opened.size(), 1u);
  EXPECT_EQ(Opened[0], Dir.filePath(QStringLiteral("new/out")));
}

TEST_F(ProcessWindowTest, BatchGoesOnAfterAFailedFile) {
  TFakeScript script;
  script.Throw = "Invalid PDF";
  auto w = Make(Batch(2), script);
  w->show();
  ASSERT_TRUE(WaitFor([&] { return Closed(*w); }));
  EXPECT_EQ(Converters.load(), 2);
  EXPECT_EQ(w->log_Main->toPlainText(), QStringLiteral("Invalid PDF\nInvalid PDF"));
}

TEST_F(ProcessWindowTest, BatchWithoutADestinationStartsNothing) {
  TJobOptions o = Batch(2);
  o.DestFolder.clear();
  auto w = Make(o, TFakeScript{});
  w->show();
  ASSERT_TRUE(WaitFor([&] { return !w->log_Main->toPlainText().isEmpty(); }));
  EXPECT_EQ(LogLines(w->log_Main)[0].Colour, kRed);
  WaitFor([] { return false; }, 100);
  EXPECT_EQ(Converters.load(), 0);
}

TEST_F(ProcessWindowTest, AbortDuringABatchStopsTheRunningFilesAndStartsNoOther) {
  auto gate = std::make_shared<test::TGate>();
  TFakeScript script;
  script.PageCount = 3;
  script.BeforePage = [gate](int) { gate->Wait(); };
  auto w = Make(Batch(4), script, 2);
  w->show();
  ASSERT_TRUE(WaitFor([&] { return gate->Waiting() == 2; }));
  w->btn_Close->click();
  EXPECT_FALSE(w->isVisible());
  EXPECT_EQ(w->BatchIndex(), 4);
  EXPECT_FALSE(w->tmr_Elapsed->isActive());
  gate->Open();
  ASSERT_TRUE(WaitFor([&] { return !w->WorkerRunning(); }));
  WaitFor([] { return false; }, 200);
  EXPECT_EQ(Converters.load(), 2);
  for (const char* name : {"f0.rtf", "f1.rtf", "f2.rtf"}) {
    EXPECT_FALSE(QFile::exists(Dir.filePath(QStringLiteral("new/out/") + QString::fromLatin1(name)))) << name;
  }
  EXPECT_NE(w->btn_Close->text(), QStringLiteral("Close"));
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
  gate->Open();
  ASSERT_TRUE(WaitFor([&] { return Closed(*w); }));
  const std::vector<LogLine> lines = LogLines(w->log_Main);
  ASSERT_EQ(lines.size(), 21u);
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

// Renders the windows to PNG files in the build folder, for a person to look at. It needs a
// window system: ctest runs it as qm_app_screenshots under a virtual X server.
TEST_F(ProcessWindowTest, Screenshots) {
  if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
    GTEST_SKIP() << "needs an X server; run as qm_app_screenshots (xvfb-run)";
  }
  const QString out = QCoreApplication::applicationDirPath();
  QTemporaryDir conf;
  {
    QFile ini(conf.filePath(QStringLiteral("Quillmark.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[General]\nUpdate=0\nCustom=1\nImage=2\nText=1\n");
  }
  TMainServices s;
  s.SettingsPath = conf.filePath(QStringLiteral("Quillmark.ini"));
  Tfrm_Main main(s);
  main.show();
  main.txt_Source->setText(QStringLiteral("/home/user/Documents/annual-report.pdf"));
  main.txt_Destination->setText(QStringLiteral("/home/user/Documents/annual-report.rtf"));
  main.txt_Pages->setText(QStringLiteral("1,3, 5-9"));
  main.lbl_Details->setText(QStringLiteral("Size: 1,500 KB, Pages: 12"));
  main.txt_DestFolder->setText(QStringLiteral("/home/user/Documents/rtf"));
  for (const char* row : {"annual-report.pdf|1,500 KB|12", "minutes.PDF|86 KB|3",
                          "price-list.pdf|12,041 KB|148"}) {
    const QStringList cells = QString::fromLatin1(row).split(u'|');
    auto* item = new QTreeWidgetItem(main.lw_Files);
    item->setText(0, cells[0]);
    item->setText(1, cells[1]);
    item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    item->setText(2, cells[2]);
    item->setText(3, QStringLiteral("/home/user/Documents/") + cells[0]);
  }
  QCoreApplication::processEvents();
  const QStringList pages = {QStringLiteral("single"), QStringLiteral("multiple"),
                             QStringLiteral("options")};
  for (int i = 0; i < 3; ++i) {
    main.pc_Main->setCurrentIndex(i);
    QCoreApplication::processEvents();
    const QString file = out + QStringLiteral("/app-main-%1.png").arg(pages[i]);
    const QImage image = main.grab().toImage();
    ExpectDrawn(image, main.size(), file);
    ASSERT_TRUE(image.save(file)) << file.toStdString();
  }

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
  QCoreApplication::processEvents();
  const QString file = out + QStringLiteral("/app-process.png");
  const QImage image = w->grab().toImage();
  ExpectDrawn(image, w->size(), file);
  EXPECT_TRUE(image.save(file));
  gate->Open();
  ASSERT_TRUE(WaitFor([&] { return Closed(*w); }));
}

}  // namespace
}  // namespace qm
