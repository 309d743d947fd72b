#include "app/MainWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include "app/ProcessWindow.h"
#include "tests/app/AppTestSupport.h"

namespace qm {
namespace {

// Page counts by file name; a name without an entry is not a PDF. A password, when set,
// must be given through the handler.
class TFakeProbe final : public TPdfProbe {
public:
  int PageCount(const QString& AFileName,
                const std::function<void(std::string&)>& AOnNeedPassword) override {
    ++Calls;
    const auto it = Pages.find(QFileInfo(AFileName).fileName());
    if (it == Pages.end()) throw std::runtime_error("Invalid PDF");
    if (!Password.empty()) {
      std::string pw;
      AOnNeedPassword(pw);
      if (pw != Password) throw std::runtime_error(kPasswordRequiredMessage);
    }
    return it->second;
  }
  std::map<QString, int> Pages;
  std::string Password;
  int Calls = 0;
};

struct TMessage {
  QString Title;
  QString Text;
  QMessageBox::Icon Icon;
};

class MainWindowTest : public ::testing::Test {
protected:
  MainWindowTest() {
    Ini = Dir.filePath(QStringLiteral("conf/Quillmark.ini"));
    WriteIni("[General]\nUpdate=0\n");
  }

  void WriteIni(const QByteArray& AText) {
    QDir().mkpath(Dir.filePath(QStringLiteral("conf")));
    QFile f(Ini);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(AText);
  }

  QString MakeFile(const QString& AName, qint64 ASize = 100) {
    const QString path = Dir.filePath(AName);
    QFileInfo(path).dir().mkpath(QStringLiteral("."));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(ASize, 'x'));
    return path;
  }

  std::unique_ptr<Tfrm_Main> Make() {
    TMainServices s;
    s.SettingsPath = Ini;
    s.HelpFilePath = Dir.filePath(QStringLiteral("Quillmark.html"));
    s.Probe = [this] {
      auto p = std::make_unique<TFakeProbe>();
      Probe = p.get();
      return p;
    };
    s.Converter = test::FakeFactory(test::TFakeScript{});
    s.OpenPath = [this](const QString& APath) { Opened.push_back(APath); };
    s.Message = [this](QWidget*, const QString& ATitle, const QString& AText,
                       QMessageBox::Icon AIcon) { Messages.push_back({ATitle, AText, AIcon}); };
    s.AskPassword = [this](QWidget*, const QString&, bool AWrongBefore) -> std::optional<std::string> {
      WrongBefore.push_back(AWrongBefore);
      ++Asked;
      if (Answers.empty()) return std::nullopt;
      std::string a = Answers.front();
      Answers.erase(Answers.begin());
      return a;
    };
    s.RunProcess = [this](Tfrm_Process& AProcess) {
      AProcess.show();
      test::WaitFor([&] { return !AProcess.WorkerRunning() && AProcess.BatchIndex() >= 0 &&
                                 ProcessDone(AProcess); });
      ProcessLog = AProcess.findChild<QWidget*>(QStringLiteral("log_Main"))
                       ->property("plainText").toString();
      AProcess.close();
    };
    auto w = std::make_unique<Tfrm_Main>(s);
    w->show();
    return w;
  }

  static bool ProcessDone(Tfrm_Process& AProcess) {
    return AProcess.btn_Close->text() == QStringLiteral("Close");
  }

  QTemporaryDir Dir;
  QString Ini;
  TFakeProbe* Probe = nullptr;
  std::vector<QString> Opened;
  std::vector<TMessage> Messages;
  std::vector<std::string> Answers;
  int Asked = 0;
  std::vector<bool> WrongBefore;  // per question: whether it said the last password was wrong
  QString ProcessLog;
};

QStringList LabelTexts(QWidget* AWidget) {
  QStringList out;
  for (QLabel* l : AWidget->findChildren<QLabel*>()) out.append(l->text());
  return out;
}

TEST_F(MainWindowTest, ShowsEveryCaption) {
  auto w = Make();
  EXPECT_EQ(w->windowTitle(), QStringLiteral("Quillmark"));
  EXPECT_EQ(w->pc_Main->size(), QSize(680, 393));
  ASSERT_EQ(w->pc_Main->count(), 3);
  EXPECT_EQ(w->pc_Main->tabText(0), QStringLiteral("Single file"));
  EXPECT_EQ(w->pc_Main->tabText(1), QStringLiteral("Multiple files"));
  EXPECT_EQ(w->pc_Main->tabText(2), QStringLiteral("Options"));

  const QStringList single = LabelTexts(w->tab_Single);
  for (const char* t : {"Source PDF:", "Destination file:", "Pages:",
                        "Example: 1,3, 5-9 (leave blank for all)"}) {
    EXPECT_TRUE(single.contains(QString::fromLatin1(t))) << t;
  }
  EXPECT_TRUE(w->lbl_Details->text().isEmpty());
  const QStringList multiple = LabelTexts(w->tab_Multiple);
  for (const char* t : {"Source PDFs:", "Destination folder:"}) {
    EXPECT_TRUE(multiple.contains(QString::fromLatin1(t))) << t;
  }
  for (QPushButton* b : {w->btn_ConvertSingle, w->btn_ConvertMultiple}) {
    EXPECT_EQ(b->text(), QStringLiteral("Convert"));
    EXPECT_TRUE(b->font().bold());
  }
  for (QPushButton* b : {w->btn_Source, w->btn_Destination, w->btn_DestFolder}) {
    EXPECT_EQ(b->text(), QStringLiteral("..."));
  }
  QTreeWidgetItem* header = w->lw_Files->headerItem();
  EXPECT_EQ(header->text(0), QStringLiteral("Name"));
  EXPECT_EQ(header->text(1), QStringLiteral("Size"));
  EXPECT_EQ(header->text(2), QStringLiteral("Pages"));
  EXPECT_EQ(header->text(3), QStringLiteral("Path"));
  EXPECT_EQ(w->lw_Files->columnWidth(0), 200);
  EXPECT_EQ(w->lw_Files->columnWidth(1), 100);
  EXPECT_EQ(w->lw_Files->columnWidth(3), 230);

  EXPECT_EQ(w->chk_Format->text(), QStringLiteral("Format with tabs"));
  EXPECT_EQ(w->chk_Open->text(), QStringLiteral("Open after conversion"));
  EXPECT_EQ(w->chk_Custom->text(), QStringLiteral("Custom process"));
  const QStringList options = LabelTexts(w->tab_Options);
  for (const char* t : {"Page:", "Horizontal section:", "Shape:", "Paragraph:", "Image:",
                        "Text line:", "Text:", "Table:", "Row:", "Column:"}) {
    EXPECT_TRUE(options.contains(QString::fromLatin1(t))) << t;
  }
  for (QComboBox* c : w->cmb_Choice) {
    ASSERT_EQ(c->count(), 3);
    EXPECT_EQ(c->itemText(0), QStringLiteral("Process"));
    EXPECT_EQ(c->itemText(1), QStringLiteral("Leave Space"));
    EXPECT_EQ(c->itemText(2), QStringLiteral("Skip"));
  }
  EXPECT_EQ(w->btn_Default->text(), QStringLiteral("Default"));
  EXPECT_EQ(w->btn_ImagesOnly->text(), QStringLiteral("Images only"));
  EXPECT_EQ(w->btn_PlainText->text(), QStringLiteral("Plain text"));

  const QList<QAction*> menus = w->menuBar()->actions();
  ASSERT_EQ(menus.size(), 2);
  EXPECT_EQ(menus[0]->text(), QStringLiteral("File"));
  EXPECT_EQ(menus[1]->text(), QStringLiteral("Help"));
  EXPECT_EQ(w->act_Exit->text(), QStringLiteral("Exit"));
  EXPECT_EQ(w->act_Help->text(), QStringLiteral("Help"));
  EXPECT_EQ(w->act_Help->shortcut(), QKeySequence(Qt::Key_F1));
  EXPECT_EQ(w->act_CheckUpdate->text(), QStringLiteral("Check for Update on Startup"));
  EXPECT_TRUE(w->act_CheckUpdate->isCheckable());
  EXPECT_EQ(w->act_About->text(), QStringLiteral("About..."));
  EXPECT_EQ(w->act_SelectAll->text(), QStringLiteral("Select All"));
  EXPECT_EQ(w->act_SelectAll->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_A));
  EXPECT_EQ(w->act_Delete->text(), QStringLiteral("Delete"));
  EXPECT_EQ(w->act_Delete->shortcut(), QKeySequence(Qt::Key_Delete));
  EXPECT_EQ(w->act_ClearAll->text(), QStringLiteral("Clear All"));
}

TEST_F(MainWindowTest, CustomProcessShowsPanelsAndPresetsSetEveryChoice) {
  auto w = Make();
  w->pc_Main->setCurrentWidget(w->tab_Options);
  EXPECT_FALSE(w->pnl_Left->isVisible());
  EXPECT_FALSE(w->btn_ImagesOnly->isVisible());
  w->chk_Custom->setChecked(true);
  EXPECT_TRUE(w->pnl_Left->isVisible());
  EXPECT_TRUE(w->pnl_Right->isVisible());
  EXPECT_TRUE(w->btn_ImagesOnly->isVisible());

  QTest::mouseClick(w->btn_ImagesOnly, Qt::LeftButton);
  EXPECT_EQ(w->Choices(), PresetImagesOnly());
  QTest::mouseClick(w->btn_Default, Qt::LeftButton);
  for (QComboBox* c : w->cmb_Choice) EXPECT_EQ(c->currentText(), QStringLiteral("Process"));
  QTest::mouseClick(w->btn_PlainText, Qt::LeftButton);
  EXPECT_EQ(w->Choices(), PresetPlainText());
  w->chk_Custom->setChecked(false);
  EXPECT_FALSE(w->pnl_Right->isVisible());
}

TEST_F(MainWindowTest, ReadsSettingsWhenShownAndWritesThemOnClose) {
  WriteIni("[General]\nUpdate=0\nTabs=0\nCustom=1\nImage=2\nRow=1\n");
  auto w = Make();
  EXPECT_FALSE(w->act_CheckUpdate->isChecked());
  EXPECT_FALSE(w->chk_Format->isChecked());
  EXPECT_TRUE(w->chk_Custom->isChecked());
  EXPECT_EQ(w->cmb_Choice[KindIndex(TkwElementKind::ekImage)]->currentIndex(), 2);
  EXPECT_EQ(w->cmb_Choice[KindIndex(TkwElementKind::ekRow)]->currentIndex(), 1);
  w->pc_Main->setCurrentWidget(w->tab_Options);
  EXPECT_TRUE(w->pnl_Left->isVisible());

  w->chk_Open->setChecked(true);
  w->cmb_Choice[KindIndex(TkwElementKind::ekShape)]->setCurrentIndex(2);
  w->close();
  const TAppSettings s = LoadSettings(Ini);
  EXPECT_TRUE(s.Open);
  EXPECT_FALSE(s.Tabs);
  EXPECT_FALSE(s.Update);
  EXPECT_EQ(s.Choices[KindIndex(TkwElementKind::ekShape)], 2);
  EXPECT_EQ(s.Choices[KindIndex(TkwElementKind::ekImage)], 2);
}

TEST_F(MainWindowTest, DamagedSettingsFileStillOpensWithDefaults) {
  WriteIni(QByteArray::fromHex("ff00015b47656e6572616c0a54616273"));
  auto w = Make();
  EXPECT_TRUE(w->chk_Format->isChecked());
  EXPECT_FALSE(w->chk_Custom->isChecked());
  w->close();  // rewrites a readable file
  EXPECT_TRUE(LoadSettings(Ini).Tabs);
}

TEST_F(MainWindowTest, ValidatesTheSourceAndProposesTheDestination) {
  auto w = Make();
  const QString pdf = MakeFile(QStringLiteral("report.PDF"), 1'536'000);
  Probe->Pages[QStringLiteral("report.PDF")] = 7;
  w->txt_Source->setText(pdf);
  QTest::keyClick(w->txt_Source, Qt::Key_Return);
  EXPECT_EQ(w->lbl_Details->text(), QStringLiteral("Size: 1,500 KB, Pages: 7"));
  EXPECT_EQ(w->txt_Destination->text(), Dir.filePath(QStringLiteral("report.rtf")));
  EXPECT_TRUE(Messages.empty());

  // A chosen destination stays.
  w->txt_Destination->setText(QStringLiteral("/elsewhere/x.rtf"));
  w->DropOnSingle({pdf});
  EXPECT_EQ(w->txt_Destination->text(), QStringLiteral("/elsewhere/x.rtf"));
}

TEST_F(MainWindowTest, RejectsAnInvalidPdfAndIgnoresOtherFiles) {
  auto w = Make();
  const QString bad = MakeFile(QStringLiteral("bad.pdf"));
  w->DropOnSingle({bad, MakeFile(QStringLiteral("other.pdf"))});
  EXPECT_EQ(w->txt_Source->text(), bad);
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Title, QStringLiteral("Error"));
  EXPECT_EQ(Messages[0].Text, QStringLiteral("PDF is not valid!"));
  EXPECT_EQ(Messages[0].Icon, QMessageBox::Critical);
  EXPECT_TRUE(w->txt_Destination->text().isEmpty());

  const int calls = Probe->Calls;
  w->DropOnSingle({MakeFile(QStringLiteral("notes.txt"))});
  w->DropOnSingle({Dir.filePath(QStringLiteral("missing.pdf"))});
  EXPECT_EQ(Probe->Calls, calls);
  EXPECT_EQ(Messages.size(), 1u);
}

TEST_F(MainWindowTest, AsksForThePasswordAgainAfterAWrongOne) {
  auto w = Make();
  const QString pdf = MakeFile(QStringLiteral("locked.pdf"));
  Probe->Pages[QStringLiteral("locked.pdf")] = 2;
  Probe->Password = "secret";
  Answers = {"wrong", "secret"};
  w->DropOnSingle({pdf});
  EXPECT_EQ(Asked, 2);
  EXPECT_EQ(w->lbl_Details->text(), QStringLiteral("Size: 0 KB, Pages: 2"));
  EXPECT_EQ(w->JobOptions().Passwords.at(pdf), "secret");

  // Cancel gives up without an error box.
  Answers.clear();
  w->lbl_Details->clear();
  w->ValidateSource();
  EXPECT_TRUE(w->lbl_Details->text().isEmpty());
  EXPECT_TRUE(Messages.empty());
}

TEST_F(MainWindowTest, DropOnTheListAddsOnlyReadablePdfs) {
  auto w = Make();
  QStringList names;
  for (const char* n : {"sub/a.pdf", "sub/b.PDF", "sub/c.pdf"}) {
    names.append(MakeFile(QString::fromLatin1(n), 2048 * 1024));
    Probe->Pages[QFileInfo(names.back()).fileName()] = 3;
  }
  names.append(MakeFile(QStringLiteral("sub/readme.txt")));
  names.append(MakeFile(QStringLiteral("sub/broken.pdf")));  // not readable: skipped silently
  w->AddFiles(names);
  ASSERT_EQ(w->lw_Files->topLevelItemCount(), 3);
  QTreeWidgetItem* row = w->lw_Files->topLevelItem(1);
  EXPECT_EQ(row->text(0), QStringLiteral("b.PDF"));
  EXPECT_EQ(row->text(1), QStringLiteral("2,048 KB"));
  EXPECT_EQ(row->text(2), QStringLiteral("3"));
  EXPECT_EQ(row->text(3), names[1]);
  EXPECT_EQ(w->txt_DestFolder->text(), Dir.filePath(QStringLiteral("sub")));
  EXPECT_TRUE(Messages.empty());

  w->lw_Files->topLevelItem(0)->setSelected(true);
  w->act_Delete->trigger();
  EXPECT_EQ(w->lw_Files->topLevelItemCount(), 2);
  emit w->lw_Files->itemDoubleClicked(w->lw_Files->topLevelItem(0), 0);
  ASSERT_EQ(Opened.size(), 1u);
  EXPECT_EQ(Opened[0], names[1]);
  w->act_ClearAll->trigger();
  EXPECT_EQ(w->lw_Files->topLevelItemCount(), 0);
}

TEST_F(MainWindowTest, HelpOpensTheGuideOrWarns) {
  auto w = Make();
  w->act_Help->trigger();
  ASSERT_EQ(Messages.size(), 1u);
  EXPECT_EQ(Messages[0].Title, QStringLiteral("Warning"));
  EXPECT_EQ(Messages[0].Text,
            QStringLiteral("The help file is not found. Please re-install the program."));
  EXPECT_EQ(Messages[0].Icon, QMessageBox::Warning);
  const QString guide = MakeFile(QStringLiteral("Quillmark.html"));
  w->act_Help->trigger();
  ASSERT_EQ(Opened.size(), 1u);
  EXPECT_EQ(Opened[0], guide);
}

TEST_F(MainWindowTest, ConvertRunsTheActivePagesJob) {
  auto w = Make();
  const QString pdf = MakeFile(QStringLiteral("one.pdf"));
  w->txt_Source->setText(pdf);
  w->txt_Destination->setText(Dir.filePath(QStringLiteral("one.rtf")));
  QTest::mouseClick(w->btn_ConvertSingle, Qt::LeftButton);
  EXPECT_TRUE(ProcessLog.contains(QStringLiteral("Done. 1 page converted."))) << ProcessLog.toStdString();

  Probe->Pages[QStringLiteral("one.pdf")] = 1;
  w->AddFiles({pdf});
  w->txt_DestFolder->setText(Dir.filePath(QStringLiteral("batch")));
  w->pc_Main->setCurrentWidget(w->tab_Multiple);
  const TJobOptions o = w->JobOptions();
  EXPECT_TRUE(o.Batch);
  ASSERT_EQ(o.Files.size(), 1u);
  EXPECT_EQ(o.Files[0].Name, QStringLiteral("one.pdf"));
  EXPECT_EQ(o.Files[0].Path, pdf);
  QTest::mouseClick(w->btn_ConvertMultiple, Qt::LeftButton);
  EXPECT_TRUE(ProcessLog.startsWith(QStringLiteral("File #1 (1 pages)"))) << ProcessLog.toStdString();
}

}  // namespace
}  // namespace qm
