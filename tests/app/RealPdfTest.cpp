// The windows over the real engine and real PDF files: fixtures made by producers, an
// encrypted copy of each kind, and a long generated document for Abort and responsiveness.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <string>

#include "app/ConverterBridge.h"
#include "app/MainWindow.h"
#include "app/ProcessWindow.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/pdf/TestPdf.h"
#include "tests/support/rtf/RtfReader.h"

namespace qm {
namespace {

using test::WaitFor;

QString Fixture(const char* AName) {
  return QStringLiteral(QM_FIXTURES_DIR "/") + QString::fromLatin1(AName);
}

// Pages of running text in Helvetica, every line different, so that the formatter has real
// lines and paragraphs to build.
std::string LongTextPdf(int APages) {
  static constexpr const char* kWords[] = {
      "conversion", "keeps", "the", "look", "of", "every", "page", "with", "fonts", "sizes",
      "styles", "and", "colours", "while", "lines", "become", "paragraphs", "lists", "tables"};
  constexpr int kWordCount = static_cast<int>(std::size(kWords));
  TkwTestPdf pdf;
  const int font = pdf.AddFont("Helvetica");
  for (int p = 0; p < APages; ++p) {
    std::string content = "BT /F1 11 Tf 14 TL 72 740 Td\n";
    for (int l = 0; l < 44; ++l) {
      std::string line = "Page " + std::to_string(p + 1) + " line " + std::to_string(l + 1);
      for (int w = 0; w < 9; ++w) line += std::string(" ") + kWords[(p * 7 + l * 3 + w) % kWordCount];
      content += "(" + line + ") '\n";
      if (l % 11 == 10) content += "T*\n";  // a blank line ends a paragraph
    }
    content += "ET";
    pdf.AddPage(content, {{"F1", font}});
  }
  return pdf.Save();
}

QStringList LogTexts(const Tfrm_Process& AWindow) {
  return AWindow.log_Main->toPlainText().split(u'\n');
}

QByteArray ReadAll(const QString& AName) {
  QFile f(AName);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// An RTF file with its list and shape ids, which every conversion draws anew, made equal.
QString ReadRtf(const QString& AName) {
  return QString::fromStdString(rtftest::WithIdsMadeEqual(ReadAll(AName).toStdString()));
}

class RealPdf : public ::testing::Test {
protected:
  QString Copy(const char* AFixture) {
    const QString to = Dir.filePath(QFileInfo(Fixture(AFixture)).fileName());
    EXPECT_TRUE(QFile::copy(Fixture(AFixture), to)) << AFixture;
    return to;
  }

  QString LongPdf(int APages) {
    const QString name = Dir.filePath(QStringLiteral("long.pdf"));
    QFile f(name);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    const std::string bytes = LongTextPdf(APages);
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return name;
  }

  std::optional<std::string> NextAnswer() {
    ++Asked;
    if (Answers.empty()) return std::nullopt;
    std::string a = Answers.front();
    Answers.erase(Answers.begin());
    return a;
  }

  TProcessServices ProcessServices() {
    TProcessServices s;
    s.Converter = [] { return MakeEngineConverter(); };
    s.OpenPath = [](const QString&) {};
    s.AskPassword = [this](QWidget*, const QString&, bool AWrongBefore) {
      WrongBefore.push_back(AWrongBefore);
      return NextAnswer();
    };
    return s;
  }

  std::unique_ptr<Tfrm_Main> MainWindow() {
    TMainServices s;
    s.SettingsPath = Dir.filePath(QStringLiteral("conf/Quillmark.ini"));
    s.Converter = [] { return MakeEngineConverter(); };
    s.Probe = [] { return MakeEngineProbe(); };
    s.OpenPath = [](const QString&) {};
    s.Message = [this](QWidget*, const QString&, const QString& AText, QMessageBox::Icon) {
      Messages.append(AText);
    };
    s.AskPassword = [this](QWidget*, const QString&, bool AWrongBefore) {
      WrongBefore.push_back(AWrongBefore);
      return NextAnswer();
    };
    s.RunProcess = [this](Tfrm_Process& AProcess) {
      AProcess.show();
      WaitFor([&] { return Closed(AProcess) || (!AProcess.WorkerRunning() && Started(AProcess)); },
              120'000);
      WaitFor([] { return false; }, 50);  // the last queued lines
      ProcessLog = LogTexts(AProcess);
      AProcess.close();
    };
    auto w = std::make_unique<Tfrm_Main>(s);
    w->show();
    return w;
  }

  static bool Closed(const Tfrm_Process& AWindow) {
    return AWindow.btn_Close->text() == QStringLiteral("Close");
  }
  static bool Started(const Tfrm_Process& AWindow) {
    return !AWindow.log_Main->toPlainText().isEmpty();
  }

  QTemporaryDir Dir;
  std::vector<std::string> Answers;
  int Asked = 0;
  std::vector<bool> WrongBefore;  // per question: whether it said the last password was wrong
  QStringList Messages;
  QStringList ProcessLog;
};

TEST_F(RealPdf, OnePageFixtureThroughTheMainWindow) {
  const QString pdf = Copy("e2e/headings.pdf");
  auto w = MainWindow();
  w->DropOnSingle({pdf});
  EXPECT_EQ(w->lbl_Details->text(), QStringLiteral("Size: ") + FormatKB(QFileInfo(pdf).size()) +
                                        QStringLiteral(" KB, Pages: 1"));
  const QString rtf = Dir.filePath(QStringLiteral("headings.rtf"));
  EXPECT_EQ(w->txt_Destination->text(), rtf);
  QTest::mouseClick(w->btn_ConvertSingle, Qt::LeftButton);
  ASSERT_FALSE(ProcessLog.isEmpty());
  EXPECT_EQ(ProcessLog.back(), QStringLiteral("Done. 1 page converted."))
      << ProcessLog.join(u'|').toStdString();
  EXPECT_EQ(ProcessLog.front(), QStringLiteral("File #1 (1 pages)"));
  EXPECT_TRUE(ReadAll(rtf).startsWith("{\\rtf1")) << rtf.toStdString();
  EXPECT_TRUE(Messages.isEmpty());
}

// The traps of the single-file page with the real engine: after one conversion a new source
// takes the destination with it, a source the engine cannot read says why, and a page the
// document does not have is named before anything runs.
TEST_F(RealPdf, TheSingleFilePageNeverOverwritesAnEarlierResult) {
  const QString first = Copy("e2e/headings.pdf");
  auto w = MainWindow();
  w->DropOnSingle({first});
  w->btn_ConvertSingle->click();
  const QString firstRtf = Dir.filePath(QStringLiteral("headings.rtf"));
  const QByteArray result = ReadAll(firstRtf);
  ASSERT_TRUE(result.startsWith("{\\rtf1"));

  // A new source that does not exist: the destination follows it, nothing can be converted.
  const QString missing = Dir.filePath(QStringLiteral("prose.pdf"));
  w->txt_Source->setText(missing);
  EXPECT_EQ(w->txt_Destination->text(), Dir.filePath(QStringLiteral("prose.rtf")));
  w->ValidateSource();
  EXPECT_EQ(w->lbl_Details->text(), QStringLiteral("\u201C%1\u201D does not exist.").arg(missing));
  EXPECT_FALSE(w->btn_ConvertSingle->isEnabled());
  // A damaged PDF: the engine's words in the details line.
  QFile damaged(missing);
  ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
  damaged.write("%PDF-1.4\nthis is not the rest of a PDF\n");
  damaged.close();
  w->ValidateSource();
  EXPECT_TRUE(w->lbl_Details->text().startsWith(QStringLiteral("\u201Cprose.pdf\u201D is not a readable PDF. Details: ")))
      << w->lbl_Details->text().toStdString();
  EXPECT_FALSE(w->btn_ConvertSingle->isEnabled());
  // A page the document does not have.
  w->DropOnSingle({first});
  w->txt_Destination->setText(Dir.filePath(QStringLiteral("second.rtf")));
  QTest::keyClicks(w->txt_Pages, QStringLiteral("99"));
  EXPECT_EQ(w->lbl_Hint->text(), QStringLiteral("Page 99 is beyond the last page (1)."));
  EXPECT_FALSE(w->btn_ConvertSingle->isEnabled());
  w->act_Convert->trigger();
  EXPECT_FALSE(QFile::exists(Dir.filePath(QStringLiteral("second.rtf"))));
  EXPECT_EQ(ReadAll(firstRtf), result);
  EXPECT_TRUE(Messages.isEmpty());
}

// A damaged PDF through the processing window: the run ends, saying which file and why.
TEST_F(RealPdf, ADamagedPdfEndsTheRunInPlainWords) {
  TJobOptions o;
  o.Source = Dir.filePath(QStringLiteral("damaged.pdf"));
  o.Destination = Dir.filePath(QStringLiteral("damaged.rtf"));
  QFile f(o.Source);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("%PDF-1.4\nno objects, no cross-reference table\n");
  f.close();
  Tfrm_Process w(o, ProcessServices());
  w.show();
  ASSERT_TRUE(WaitFor([&] { return w.Ended(); }, 60'000));
  const QString said = QStringLiteral("\u201C%1\u201D is not a readable PDF file.").arg(o.Source);
  EXPECT_EQ(w.lbl_Objects->text(), said);
  ASSERT_GE(LogTexts(w).size(), 2);
  EXPECT_EQ(LogTexts(w)[0], said);
  EXPECT_TRUE(LogTexts(w)[1].startsWith(QStringLiteral("Details: ")));
  EXPECT_EQ(w.btn_Close->text(), QStringLiteral("Close"));
  EXPECT_FALSE(w.tmr_Elapsed->isActive());
  EXPECT_FALSE(QFile::exists(o.Destination));
}

// A job without a destination is refused before the engine runs, never reported done.
TEST_F(RealPdf, NoDestinationIsNeverASuccess) {
  TJobOptions o;
  o.Source = Copy("e2e/headings.pdf");
  Tfrm_Process w(o, ProcessServices());
  w.show();
  ASSERT_TRUE(WaitFor([&] { return w.Ended(); }, 60'000));
  EXPECT_EQ(LogTexts(w), QStringList{QStringLiteral("No destination file was given.")});
  EXPECT_EQ(w.btn_Close->text(), QStringLiteral("Close"));
  EXPECT_FALSE(w.btn_OpenFile->isVisible());
}

// The batch list through the real engine: every file listed, each row's status following its
// file, the summary counting the batch.
TEST_F(RealPdf, BatchListWithMixedResults) {
  auto w = MainWindow();
  const QString damaged = Dir.filePath(QStringLiteral("damaged.pdf"));
  QFile f(damaged);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("%PDF-1.4\nnot a PDF after all\n");
  f.close();
  const QString good = Copy("e2e/headings.pdf");
  const QString locked = Copy("qpdf-aes128-userpw.pdf");
  w->pc_Main->setCurrentWidget(w->tab_Multiple);
  w->AddFiles({good, damaged, locked});  // no password given while adding
  ASSERT_EQ(w->lw_Files->topLevelItemCount(), 3);
  EXPECT_TRUE(w->lw_Files->topLevelItem(1)->text(4).startsWith(QStringLiteral("Failed: not a readable PDF (")))
      << w->lw_Files->topLevelItem(1)->text(4).toStdString();
  EXPECT_EQ(w->lw_Files->topLevelItem(2)->text(4), QStringLiteral("Password needed"));
  w->txt_DestFolder->setText(Dir.filePath(QStringLiteral("rtf")));
  w->btn_ConvertMultiple->click();  // the password question is cancelled again
  ASSERT_FALSE(ProcessLog.isEmpty());
  EXPECT_EQ(ProcessLog.back(), QStringLiteral("1 converted, 1 failed")) << ProcessLog.join(u'|').toStdString();
  EXPECT_EQ(w->lw_Files->topLevelItem(0)->text(4), QStringLiteral("Done (1 page)"));
  EXPECT_EQ(w->lw_Files->topLevelItem(2)->text(4), QStringLiteral("Password needed"));
  EXPECT_TRUE(ReadAll(Dir.filePath(QStringLiteral("rtf/headings.rtf"))).startsWith("{\\rtf1"));
  EXPECT_FALSE(QFile::exists(Dir.filePath(QStringLiteral("rtf/damaged.rtf"))));
}

// A batch converts several files at once through the processing window; every RTF file is
// the one a conversion of that file alone writes, byte for byte but for the drawn ids.
TEST_F(RealPdf, ParallelBatchWritesTheFilesOfOneByOne) {
  TJobOptions o;
  o.Batch = true;
  for (const char* name : {"e2e/prose.pdf", "e2e/tables.pdf", "e2e/lists.pdf", "e2e/columns.pdf",
                           "e2e/image.pdf", "e2e/headings.pdf"}) {
    const QString pdf = Copy(name);
    o.Files.push_back({QFileInfo(pdf).fileName(), pdf});
  }
  auto convert = [&](const QString& AFolder, std::size_t AThreads) {
    o.DestFolder = Dir.filePath(AFolder);
    TProcessServices s = ProcessServices();
    s.BatchThreads = AThreads;
    Tfrm_Process w(o, s);
    w.show();
    EXPECT_TRUE(WaitFor([&] { return Closed(w); }, 120'000)) << LogTexts(w).join(u'|').toStdString();
    return LogTexts(w);
  };
  const QStringList log = convert(QStringLiteral("parallel"), 3);
  for (const TBatchFile& f : o.Files) {
    TJobOptions single;
    single.Source = f.Path;
    single.Destination = Dir.filePath(QStringLiteral("single/") + ChangeFileExt(f.Name, QStringLiteral(".rtf")));
    QDir().mkpath(Dir.filePath(QStringLiteral("single")));
    Tfrm_Process w(single, ProcessServices());
    w.show();
    ASSERT_TRUE(WaitFor([&] { return Closed(w); }, 120'000)) << LogTexts(w).join(u'|').toStdString();
    const QString alone = ReadRtf(single.Destination);
    EXPECT_TRUE(alone.startsWith(QStringLiteral("{\\rtf1"))) << f.Name.toStdString();
    EXPECT_TRUE(ReadRtf(Dir.filePath(QStringLiteral("parallel/") + ChangeFileExt(f.Name, QStringLiteral(".rtf")))) == alone)
        << f.Name.toStdString();
  }
  // The log reads as one file after the other.
  EXPECT_EQ(log, convert(QStringLiteral("one"), 1).replaceInStrings(QStringLiteral("/one/"), QStringLiteral("/parallel/")));
}

// Both encryption kinds the tests carry; qpdf wrote them with the user password "user".
class RealEncrypted : public RealPdf, public ::testing::WithParamInterface<const char*> {};

TEST_P(RealEncrypted, ValidationAsksAgainAfterAWrongPasswordAndConversionReusesIt) {
  const QString pdf = Copy(GetParam());
  auto w = MainWindow();
  Answers = {"wrong", "user"};
  w->DropOnSingle({pdf});
  EXPECT_EQ(Asked, 2);
  EXPECT_TRUE(w->lbl_Details->text().endsWith(QStringLiteral(" KB, Pages: 3")))
      << w->lbl_Details->text().toStdString();
  QTest::mouseClick(w->btn_ConvertSingle, Qt::LeftButton);
  ASSERT_FALSE(ProcessLog.isEmpty());
  EXPECT_EQ(ProcessLog.back(), QStringLiteral("Done. 3 pages converted."))
      << ProcessLog.join(u'|').toStdString();
  EXPECT_EQ(Asked, 2);  // the password of the validation opened it
  EXPECT_EQ(WrongBefore, (std::vector<bool>{false, true}));
  EXPECT_TRUE(Messages.isEmpty());

  // Cancel gives up on the password for now: the details say Convert will ask, and it does.
  auto again = MainWindow();
  Asked = 0;
  Answers.clear();
  again->DropOnSingle({pdf});
  EXPECT_EQ(Asked, 1);
  EXPECT_TRUE(again->lbl_Details->text().endsWith(QStringLiteral("protected by a password; Convert asks for it.")))
      << again->lbl_Details->text().toStdString();
  EXPECT_TRUE(again->btn_ConvertSingle->isEnabled());
  EXPECT_TRUE(Messages.isEmpty());
}

TEST_P(RealEncrypted, ProcessWindowAsksUntilRightOrCancelled) {
  const QString pdf = Copy(GetParam());
  TJobOptions o;
  o.Source = pdf;
  o.Destination = Dir.filePath(QStringLiteral("locked.rtf"));
  o.Pages = QStringLiteral("2");
  Answers = {"wrong", "user"};
  {
    Tfrm_Process w(o, ProcessServices());
    w.show();
    ASSERT_TRUE(WaitFor([&] { return Closed(w); }, 60'000)) << LogTexts(w).join(u'|').toStdString();
    EXPECT_EQ(LogTexts(w).back(), QStringLiteral("Done. 1 page converted."));
    EXPECT_EQ(Asked, 2);
    EXPECT_EQ(WrongBefore, (std::vector<bool>{false, true}));
    EXPECT_TRUE(ReadAll(o.Destination).startsWith("{\\rtf1"));
  }
  Asked = 0;
  o.Destination = Dir.filePath(QStringLiteral("gave-up.rtf"));
  Tfrm_Process w(o, ProcessServices());
  w.show();
  ASSERT_TRUE(WaitFor([&] { return w.Ended(); }, 60'000));
  EXPECT_EQ(Asked, 1);
  const QString said = QStringLiteral("\u201C%1\u201D is protected by a password, and the right one was not given.").arg(pdf);
  EXPECT_EQ(LogTexts(w), (QStringList{said, QStringLiteral("Details: ") + QString::fromLatin1(kPasswordRequiredMessage)}));
  EXPECT_EQ(w.lbl_Objects->text(), said);
  EXPECT_EQ(w.btn_Close->text(), QStringLiteral("Close"));
  EXPECT_FALSE(QFile::exists(o.Destination));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RealEncrypted,
                         ::testing::Values("qpdf-aes128-userpw.pdf", "qpdf-rc4-128-userpw.pdf"),
                         [](const auto& AInfo) {
                           return std::string(AInfo.param).substr(5, 6) == "aes128" ? "AES128"
                                                                                    : "RC4";
                         });

// Abort in the middle of a long document stops at the next page: the window's worker ends
// long before the last page, and the target is what it was before (absent, or the old file).
TEST_F(RealPdf, AbortDuringALongConversionLeavesTheTargetAsItWas) {
  constexpr int kPages = 200;
  const QString pdf = LongPdf(kPages);
  for (bool existing : {false, true}) {
    SCOPED_TRACE(existing ? "existing target" : "new target");
    TJobOptions o;
    o.Source = pdf;
    o.Destination = Dir.filePath(existing ? QStringLiteral("old.rtf") : QStringLiteral("new.rtf"));
    const QByteArray before = "{\\rtf1 the file the user had}";
    if (existing) {
      QFile f(o.Destination);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write(before);
    }
    Tfrm_Process w(o, ProcessServices());
    w.show();
    ASSERT_TRUE(WaitFor([&] { return w.prg_Page->value() >= 2; }, 120'000));
    const int atAbort = w.prg_Page->value();
    QTest::mouseClick(w.btn_Close, Qt::LeftButton);
    EXPECT_TRUE(w.isVisible());
    ASSERT_TRUE(WaitFor([&] { return w.Ended(); }, 60'000));
    EXPECT_FALSE(w.WorkerRunning());
    // The page under way ends. The bar lags the worker by the steps still queued, which on
    // a busy machine are a dozen pages of plain text; a worker that went on would reach 200.
    EXPECT_LE(w.prg_Page->value(), atAbort + 30);
    const QString kept = existing ? QStringLiteral("Aborted: nothing was written; the existing file is unchanged")
                                  : QStringLiteral("Aborted: nothing was written");
    EXPECT_EQ(LogTexts(w).back(), kept);
    EXPECT_EQ(w.lbl_Objects->text(), kept);
    EXPECT_EQ(w.btn_Close->text(), QStringLiteral("Close"));
    if (existing) {
      EXPECT_EQ(ReadAll(o.Destination), before);
    } else {
      EXPECT_FALSE(QFile::exists(o.Destination));
    }
  }
}

// The user-interface thread keeps serving a 20 ms timer while the worker converts 200 pages
// of text: no tick comes more than 200 ms late.
TEST_F(RealPdf, StaysResponsiveThroughA200PageConversion) {
  constexpr int kPages = 200;
  TJobOptions o;
  o.Source = LongPdf(kPages);
  o.Destination = Dir.filePath(QStringLiteral("long.rtf"));
  Tfrm_Process w(o, ProcessServices());
  QElapsedTimer clock;
  qint64 last = -1;
  qint64 worstLate = 0;
  int ticks = 0;
  QTimer probe;
  probe.setTimerType(Qt::PreciseTimer);
  probe.setInterval(20);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    if (last >= 0) worstLate = std::max(worstLate, now - last - 20);
    last = now;
    ++ticks;
  });
  clock.start();
  probe.start();
  w.show();
  ASSERT_TRUE(WaitFor([&] { return Closed(w); }, 600'000)) << LogTexts(w).join(u'|').toStdString();
  probe.stop();
  std::cout << "[ RealPdf ] " << kPages << " pages in " << clock.elapsed() << " ms, " << ticks
            << " ticks, worst tick " << worstLate << " ms late\n";
  RecordProperty("worst_tick_late_ms", static_cast<int>(worstLate));
  EXPECT_EQ(w.prg_Page->value(), kPages);
  EXPECT_EQ(LogTexts(w).back(), QStringLiteral("Done. 200 pages converted."));
  EXPECT_TRUE(ReadAll(o.Destination).startsWith("{\\rtf1"));
  // At least half the ticks a 20 ms timer owes, however fast the conversion went.
  EXPECT_GE(ticks, static_cast<int>(clock.elapsed() / 40));
  EXPECT_LE(worstLate, 200);
}

}  // namespace
}  // namespace qm
