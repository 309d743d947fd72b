#include "app/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
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
    s.Converter = [this] { return std::make_unique<test::TFakeConverter>(Script); };
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
    s.AskYesNo = [this](QWidget*, const QString& ATitle, const QString& AText) {
      Questions.push_back({ATitle, AText, QMessageBox::Question});
      return ReplaceAnswer;
    };
    s.OpenPdfs = [this](QWidget*, const QString&, const QString& AFolder, bool AMany) {
      DialogFolders.push_back(AFolder);
      return AMany ? Picked : Picked.mid(0, 1);
    };
    s.SaveRtf = [this](QWidget*, const QString& AName) {
      DialogFolders.push_back(AName);
      return Picked.value(0);
    };
    s.ChooseFolder = [this](QWidget*, const QString&, const QString& AFolder) {
      DialogFolders.push_back(AFolder);
      return Picked.value(0);
    };
    s.RunProcess = [this](Tfrm_Process& AProcess) {
      ++Processes;
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
  test::TFakeScript Script;
  std::vector<TMessage> Questions;
  bool ReplaceAnswer = true;
  QStringList Picked;          // what the file dialogs answer
  QStringList DialogFolders;   // where each file dialog started
  int Processes = 0;
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
  ASSERT_EQ(w->pc_Main->count(), 3);
  EXPECT_EQ(w->pc_Main->tabText(0), QStringLiteral("&Single file"));
  EXPECT_EQ(w->pc_Main->tabText(1), QStringLiteral("&Multiple files"));
  EXPECT_EQ(w->pc_Main->tabText(2), QStringLiteral("&Options"));

  const QStringList single = LabelTexts(w->tab_Single);
  for (const char* t : {"So&urce PDF:", "Des&tination file:", "&Pages:",
                        "Example: 1,3, 5-9 (leave blank for all)"}) {
    EXPECT_TRUE(single.contains(QString::fromLatin1(t))) << t;
  }
  EXPECT_TRUE(w->lbl_Details->text().isEmpty());
  const QStringList multiple = LabelTexts(w->tab_Multiple);
  for (const char* t : {"Sour&ce PDFs:", "Des&tination folder:"}) {
    EXPECT_TRUE(multiple.contains(QString::fromLatin1(t))) << t;
  }
  for (QPushButton* b : {w->btn_ConvertSingle, w->btn_ConvertMultiple}) {
    EXPECT_EQ(b->text(), QStringLiteral("Convert"));
    EXPECT_TRUE(b->font().bold());
  }
  for (QPushButton* b : {w->btn_Source, w->btn_Destination, w->btn_DestFolder}) {
    EXPECT_EQ(b->text(), QStringLiteral("..."));
  }
  EXPECT_EQ(w->btn_AddFiles->text(), QStringLiteral("&Add files..."));
  EXPECT_EQ(w->btn_AddFolder->text(), QStringLiteral("Add fo&lder..."));
  EXPECT_EQ(w->btn_Remove->text(), QStringLiteral("&Remove"));
  QTreeWidgetItem* header = w->lw_Files->headerItem();
  const QStringList columns = {QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Pages"),
                               QStringLiteral("Path"), QStringLiteral("Status")};
  ASSERT_EQ(header->columnCount(), columns.size());
  for (int c = 0; c < columns.size(); ++c) EXPECT_EQ(header->text(c), columns[c]);
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
  EXPECT_EQ(menus[0]->text(), QStringLiteral("&File"));
  EXPECT_EQ(menus[1]->text(), QStringLiteral("&Help"));
  EXPECT_EQ(w->act_Open->text(), QStringLiteral("&Open PDF..."));
  EXPECT_EQ(w->act_Open->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
  EXPECT_EQ(w->act_Convert->text(), QStringLiteral("&Convert"));
  EXPECT_EQ(w->act_Convert->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Return));
  EXPECT_EQ(w->act_Exit->text(), QStringLiteral("E&xit"));
  EXPECT_EQ(w->act_Exit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
  EXPECT_EQ(w->act_Help->text(), QStringLiteral("&Help"));
  EXPECT_EQ(w->act_Help->shortcut(), QKeySequence(Qt::Key_F1));
  EXPECT_EQ(w->act_CheckUpdate->text(), QStringLiteral("Check for &Update on Startup"));
  EXPECT_TRUE(w->act_CheckUpdate->isCheckable());
  EXPECT_EQ(w->act_About->text(), QStringLiteral("&About..."));
  EXPECT_EQ(w->act_SelectAll->text(), QStringLiteral("Select All"));
  EXPECT_EQ(w->act_SelectAll->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_A));
  EXPECT_EQ(w->act_Delete->text(), QStringLiteral("Delete"));
  EXPECT_EQ(w->act_Delete->shortcut(), QKeySequence(Qt::Key_Delete));
  EXPECT_EQ(w->act_ClearAll->text(), QStringLiteral("Clear All"));
  // Every label of a field has a mnemonic that leads to its field.
  for (QWidget* page : {w->tab_Single, w->tab_Multiple}) {
    for (QLabel* l : page->findChildren<QLabel*>()) {
      if (l->text().contains(u'&')) {
        EXPECT_NE(l->buddy(), nullptr) << l->text().toStdString();
      }
    }
  }
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

// The destination follows the source, NAME.rtf beside it; a new source resets it even after
// the user edited it, so a later file's pages never land in an earlier file's result.
TEST_F(MainWindowTest, DestinationFollowsTheSource) {
  auto w = Make();
  const QString pdf = MakeFile(QStringLiteral("report.PDF"), 1'536'000);
  Probe->Pages[QStringLiteral("report.PDF")] = 7;
  w->txt_Source->setText(pdf);
  QTest::keyClick(w->txt_Source, Qt::Key_Return);
  EXPECT_EQ(w->lbl_Details->text(), QStringLiteral("Size: 1,500 KB, Pages: 7"));
  EXPECT_EQ(w->txt_Destination->text(), Dir.filePath(QStringLiteral("report.rtf")));
  EXPECT_TRUE(Messages.empty());

  // The user's own destination stays while the source stays.
  w->txt_Destination->clear();
  QTest::keyClicks(w->txt_Destination, Dir.filePath(QStringLiteral("mine.rtf")));
  w->ValidateSource();
  EXPECT_EQ(w->txt_Destination->text(), Dir.filePath(QStringLiteral("mine.rtf")));
  EXPECT_TRUE(w->btn_ConvertSingle->isEnabled());

  const QString other = MakeFile(QStringLiteral("sub/minutes.pdf"));
  Probe->Pages[QStringLiteral("minutes.pdf")] = 2;
  w->DropOnSingle({other});
  EXPECT_EQ(w->txt_Destination->text(), Dir.filePath(QStringLiteral("sub/minutes.rtf")));
  EXPECT_EQ(w->lbl_Details->text(), QStringLiteral("Size: 0 KB, Pages: 2"));

  // Typing a source: the destination follows each change, and the validation waits for a
  // pause in typing.
  w->txt_Source->clear();
  EXPECT_TRUE(w->txt_Destination->text().isEmpty());
  QTest::keyClicks(w->txt_Source, pdf);
  EXPECT_EQ(w->txt_Destination->text(), Dir.filePath(QStringLiteral("report.rtf")));
  EXPECT_FALSE(w->btn_ConvertSingle->isEnabled());
  ASSERT_TRUE(test::WaitFor([&] { return w->btn_ConvertSingle->isEnabled(); }));
  EXPECT_EQ(w->lbl_Details->text(), QStringLiteral("Size: 1,500 KB, Pages: 7"));
}

struct SourceCase {
  const char* Name;
  const char* File;     // made in the test folder unless it starts with '!'
  const char* Details;  // %1: the full name, %2: the file name
};

class MainWindowSource : public MainWindowTest, public ::testing::WithParamInterface<SourceCase> {};

// A source that cannot be converted: the details line says why, in place of the previous
// file's size and pages, and Convert stays disabled. No message box interrupts typing.
TEST_P(MainWindowSource, DetailsSayWhyAndConvertStaysOff) {
  auto w = Make();
  const QString good = MakeFile(QStringLiteral("good.pdf"), 4096);
  Probe->Pages[QStringLiteral("good.pdf")] = 3;
  w->DropOnSingle({good});
  ASSERT_EQ(w->lbl_Details->text(), QStringLiteral("Size: 4 KB, Pages: 3"));
  ASSERT_TRUE(w->btn_ConvertSingle->isEnabled());

  const std::string file = GetParam().File;
  QString name;
  if (file == "!folder") {
    name = Dir.filePath(QStringLiteral("folder.pdf"));
    QDir().mkpath(name);
  } else if (file[0] == '!') {
    name = Dir.filePath(QString::fromStdString(file.substr(1)));
  } else {
    name = MakeFile(QString::fromStdString(file));
  }
  w->DropOnSingle({name});
  EXPECT_EQ(w->lbl_Details->text(), QString::fromUtf8(GetParam().Details)
                                         .replace(QStringLiteral("%1"), name)
                                         .replace(QStringLiteral("%2"), QFileInfo(name).fileName()));
  EXPECT_FALSE(w->btn_ConvertSingle->isEnabled());
  EXPECT_EQ(w->lbl_SingleStatus->text(), QStringLiteral("The source cannot be converted (see above)."));
  EXPECT_TRUE(Messages.empty());
  w->act_Convert->trigger();
  QTest::keyClick(w->txt_Pages, Qt::Key_Return);
  EXPECT_EQ(Processes, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, MainWindowSource,
    ::testing::Values(
        SourceCase{"Missing", "!missing.pdf", "\u201C%1\u201D does not exist."},
        SourceCase{"NotAPdf", "notes.txt", "\u201C%2\u201D is not a PDF file (its name does not end in .pdf)."},
        SourceCase{"Unreadable", "bad.pdf", "\u201C%2\u201D is not a readable PDF. Details: Invalid PDF"},
        SourceCase{"Folder", "!folder", "\u201C%1\u201D is a folder; choose a PDF file in it."}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

// Convert is enabled only for a job that can run; the line beside it says what is missing.
TEST_F(MainWindowTest, ConvertOnlyForAValidJob) {
  auto w = Make();
  EXPECT_FALSE(w->btn_ConvertSingle->isEnabled());
  EXPECT_EQ(w->lbl_SingleStatus->text(), QStringLiteral("Choose the PDF to convert."));
  const QString pdf = MakeFile(QStringLiteral("one.pdf"));
  Probe->Pages[QStringLiteral("one.pdf")] = 3;
  w->DropOnSingle({pdf});
  EXPECT_TRUE(w->btn_ConvertSingle->isEnabled());
  EXPECT_TRUE(w->lbl_SingleStatus->text().isEmpty());

  struct Step {
    const char* Destination;  // in the test folder; "" for none, "=" for the source
    const char* Pages;
    const char* Status;       // why Convert is off; empty: it is on
    const char* Hint;         // beside the page list
  };
  const QString example = QStringLiteral("Example: 1,3, 5-9 (leave blank for all)");
  for (const Step& step : {Step{"", "", "Choose the destination file.", ""},
                           Step{"=", "", "The destination is the source PDF itself; choose another name.", ""},
                           Step{"nowhere/one.rtf", "", "The folder \u201C%1/nowhere\u201D does not exist.", ""},
                           Step{"one.rtf", "99", "Correct the page list.", "Page 99 is beyond the last page (3)."},
                           Step{"one.rtf", "1,x", "Correct the page list.", "'x' is not a page number."},
                           Step{"one.rtf", "1,,3", "Correct the page list.", "An item between two commas is empty."},
                           Step{"one.rtf", "2-3", "", ""}}) {
    SCOPED_TRACE(std::string(step.Destination) + " pages " + step.Pages);
    const std::string d = step.Destination;
    QString destination;
    if (d == "=") {
      destination = pdf;
    } else if (!d.empty()) {
      destination = Dir.filePath(QString::fromStdString(d));
    }
    w->txt_Destination->setText(destination);
    w->txt_Pages->clear();
    QTest::keyClicks(w->txt_Pages, QString::fromLatin1(step.Pages));
    EXPECT_EQ(w->btn_ConvertSingle->isEnabled(), !*step.Status);
    EXPECT_EQ(w->lbl_SingleStatus->text(), QString::fromUtf8(step.Status).arg(Dir.path()));
    EXPECT_EQ(w->lbl_Hint->text(), *step.Hint ? QString::fromUtf8(step.Hint) : example);
    w->act_Convert->trigger();
    EXPECT_EQ(Processes, *step.Status ? 0 : 1);
  }
  // The batch page: files to convert and a folder for them.
  w->pc_Main->setCurrentWidget(w->tab_Multiple);
  EXPECT_FALSE(w->btn_ConvertMultiple->isEnabled());
  EXPECT_EQ(w->lbl_MultipleStatus->text(), QStringLiteral("Add the PDF files to convert."));
  w->AddFiles({MakeFile(QStringLiteral("broken.pdf"))});
  EXPECT_EQ(w->lbl_MultipleStatus->text(), QStringLiteral("None of the listed files can be converted."));
  w->AddFiles({pdf});
  EXPECT_TRUE(w->btn_ConvertMultiple->isEnabled());
  w->txt_DestFolder->clear();
  EXPECT_EQ(w->lbl_MultipleStatus->text(), QStringLiteral("Choose the destination folder."));
  EXPECT_FALSE(w->btn_ConvertMultiple->isEnabled());
}

// An existing destination is replaced only when the user says so.
TEST_F(MainWindowTest, AnExistingDestinationAsksFirst) {
  auto w = Make();
  const QString pdf = MakeFile(QStringLiteral("one.pdf"));
  Probe->Pages[QStringLiteral("one.pdf")] = 1;
  w->DropOnSingle({pdf});
  const QString rtf = MakeFile(QStringLiteral("one.rtf"), 10);
  ReplaceAnswer = false;
  w->btn_ConvertSingle->click();
  ASSERT_EQ(Questions.size(), 1u);
  EXPECT_EQ(Questions[0].Text, QStringLiteral("\u201Cone.rtf\u201D already exists in \u201C%1\u201D.\n\nReplace it?").arg(Dir.path()));
  EXPECT_EQ(Processes, 0);
  EXPECT_EQ(QFileInfo(rtf).size(), 10);
  ReplaceAnswer = true;
  w->btn_ConvertSingle->click();
  EXPECT_EQ(Processes, 1);
  EXPECT_TRUE(ProcessLog.endsWith(QStringLiteral("Done. 1 page converted.")));

  // A batch names how many of its results exist.
  const QString folder = Dir.filePath(QStringLiteral("out"));
  QDir().mkpath(folder);
  MakeFile(QStringLiteral("out/one.rtf"));
  MakeFile(QStringLiteral("out/two.rtf"));
  const QString two = MakeFile(QStringLiteral("two.pdf"));
  Probe->Pages[QStringLiteral("two.pdf")] = 1;
  w->pc_Main->setCurrentWidget(w->tab_Multiple);
  w->AddFiles({pdf, two});
  w->txt_DestFolder->setText(folder);
  ReplaceAnswer = false;
  w->btn_ConvertMultiple->click();
  ASSERT_EQ(Questions.size(), 3u);
  EXPECT_EQ(Questions[2].Text,
            QStringLiteral("2 of the RTF files already exist in \u201C%1\u201D (one.rtf, two.rtf).\n\nReplace them?").arg(folder));
  EXPECT_EQ(Processes, 1);
}

TEST_F(MainWindowTest, AsksForThePasswordAgainSayingTheLastWasWrong) {
  auto w = Make();
  const QString pdf = MakeFile(QStringLiteral("locked.pdf"));
  Probe->Pages[QStringLiteral("locked.pdf")] = 2;
  Probe->Password = "secret";
  Answers = {"wrong", "secret"};
  w->DropOnSingle({pdf});
  EXPECT_EQ(Asked, 2);
  EXPECT_EQ(WrongBefore, (std::vector<bool>{false, true}));
  EXPECT_EQ(w->lbl_Details->text(), QStringLiteral("Size: 0 KB, Pages: 2"));
  EXPECT_EQ(w->JobOptions().Passwords.at(pdf), "secret");

  // Cancel gives up for now: no error box, and Convert asks again.
  Answers.clear();
  w->ValidateSource();
  EXPECT_EQ(w->lbl_Details->text(), QStringLiteral("Size: 0 KB. The PDF is protected by a password; Convert asks for it."));
  EXPECT_TRUE(w->btn_ConvertSingle->isEnabled());
  EXPECT_TRUE(Messages.empty());
  EXPECT_EQ(PasswordPrompt(pdf, false), QStringLiteral("\u201Clocked.pdf\u201D is protected by a password. Password:"));
  EXPECT_EQ(PasswordPrompt(pdf, true),
            QStringLiteral("That password did not open \u201Clocked.pdf\u201D. Check it (letter case counts) and type it again:"));
}

// Files that cannot be converted stay in the list with the reason; the batch skips them.
TEST_F(MainWindowTest, TheListKeepsEveryFileAndSaysWhy) {
  auto w = Make();
  QStringList names;
  for (const char* n : {"sub/a.pdf", "sub/b.PDF", "sub/c.pdf"}) {
    names.append(MakeFile(QString::fromLatin1(n), 2048 * 1024));
    Probe->Pages[QFileInfo(names.back()).fileName()] = 3;
  }
  names.append(MakeFile(QStringLiteral("sub/readme.txt")));
  names.append(MakeFile(QStringLiteral("sub/broken.pdf")));
  w->AddFiles(names);
  w->AddFiles({names[0]});  // listed once only
  ASSERT_EQ(w->lw_Files->topLevelItemCount(), 5);
  QTreeWidgetItem* row = w->lw_Files->topLevelItem(1);
  EXPECT_EQ(row->text(0), QStringLiteral("b.PDF"));
  EXPECT_EQ(row->text(1), QStringLiteral("2,048 KB"));
  EXPECT_EQ(row->text(2), QStringLiteral("3"));
  EXPECT_EQ(row->text(3), names[1]);
  EXPECT_EQ(row->text(4), QStringLiteral("Waiting"));
  EXPECT_EQ(w->lw_Files->topLevelItem(3)->text(4), QStringLiteral("Failed: not a PDF file"));
  EXPECT_EQ(w->lw_Files->topLevelItem(4)->text(4), QStringLiteral("Failed: not a readable PDF (Invalid PDF)"));
  EXPECT_EQ(w->txt_DestFolder->text(), Dir.filePath(QStringLiteral("sub")));
  EXPECT_EQ(w->JobOptions().Files.size(), 3u);
  EXPECT_TRUE(Messages.empty());

  EXPECT_FALSE(w->btn_Remove->isEnabled());
  w->lw_Files->topLevelItem(0)->setSelected(true);
  EXPECT_TRUE(w->btn_Remove->isEnabled());
  w->btn_Remove->click();
  EXPECT_EQ(w->lw_Files->topLevelItemCount(), 4);
  emit w->lw_Files->itemDoubleClicked(w->lw_Files->topLevelItem(0), 0);
  ASSERT_EQ(Opened.size(), 1u);
  EXPECT_EQ(Opened[0], names[1]);
  w->act_ClearAll->trigger();
  EXPECT_EQ(w->lw_Files->topLevelItemCount(), 0);
}

// Text drawn in the list's empty area: some pixels differ from its background.
int HintPixels(QTreeWidget* AList) {
  const QImage image = AList->viewport()->grab().toImage();
  const QRgb background = image.pixel(2, 2);
  int count = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) count += image.pixel(x, y) != background ? 1 : 0;
  }
  return count;
}

TEST_F(MainWindowTest, AddFilesAndAddFolderFillTheEmptyList) {
  auto w = Make();
  w->pc_Main->setCurrentWidget(w->tab_Multiple);
  EXPECT_GT(HintPixels(w->lw_Files), 50) << "the empty list shows how to fill it";
  for (const char* n : {"in/a.pdf", "in/deep/b.pdf", "in/c.txt", "other/d.pdf"}) {
    Probe->Pages[QFileInfo(MakeFile(QString::fromLatin1(n))).fileName()] = 1;
  }
  Picked = {Dir.filePath(QStringLiteral("other/d.pdf"))};
  w->btn_AddFiles->click();
  ASSERT_EQ(w->lw_Files->topLevelItemCount(), 1);
  EXPECT_EQ(w->txt_DestFolder->text(), Dir.filePath(QStringLiteral("other")));

  Picked = {Dir.filePath(QStringLiteral("in"))};
  w->chk_Subfolders->setChecked(false);
  w->btn_AddFolder->click();
  ASSERT_EQ(w->lw_Files->topLevelItemCount(), 2);
  EXPECT_EQ(w->lw_Files->topLevelItem(1)->text(0), QStringLiteral("a.pdf"));
  w->chk_Subfolders->setChecked(true);
  w->btn_AddFolder->click();
  ASSERT_EQ(w->lw_Files->topLevelItemCount(), 3);
  EXPECT_EQ(w->lw_Files->topLevelItem(2)->text(0), QStringLiteral("b.pdf"));
  // The second dialog started where the first PDFs came from.
  ASSERT_EQ(DialogFolders.size(), 3);
  EXPECT_EQ(DialogFolders[1], Dir.filePath(QStringLiteral("other")));
}

// A batch with mixed results: each row's status follows its file, and the summary counts.
TEST_F(MainWindowTest, BatchStatusColumnFollowsEachFile) {
  auto w = Make();
  Script.BeforePageOf = [](const QString& AInput, int) {
    if (AInput.endsWith(QStringLiteral("b.pdf"))) throw std::runtime_error("Invalid object");
  };
  QStringList names;
  for (const char* n : {"a.pdf", "b.pdf", "c.pdf", "broken.pdf"}) {
    names.append(MakeFile(QString::fromLatin1(n)));
    if (std::string_view(n) != "broken.pdf") Probe->Pages[QString::fromLatin1(n)] = 1;
  }
  w->pc_Main->setCurrentWidget(w->tab_Multiple);
  w->AddFiles(names);
  w->txt_DestFolder->setText(Dir.filePath(QStringLiteral("out")));
  w->btn_ConvertMultiple->click();
  ASSERT_EQ(Processes, 1);
  EXPECT_TRUE(ProcessLog.endsWith(QStringLiteral("2 converted, 1 failed"))) << ProcessLog.toStdString();
  const QStringList expected = {QStringLiteral("Done (1 page)"),
                                QStringLiteral("Failed: The conversion of \u201C%1\u201D failed.").arg(names[1]),
                                QStringLiteral("Done (1 page)"),
                                QStringLiteral("Failed: not a readable PDF (Invalid PDF)")};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(w->lw_Files->topLevelItem(i)->text(4), expected[i]) << i;
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
  EXPECT_EQ(w->statusBar()->currentMessage(), QStringLiteral("Opening the user guide in your web browser..."));
}

TEST_F(MainWindowTest, ConvertRunsTheActivePagesJob) {
  auto w = Make();
  const QString pdf = MakeFile(QStringLiteral("one.pdf"));
  Probe->Pages[QStringLiteral("one.pdf")] = 1;
  w->DropOnSingle({pdf});
  QTest::mouseClick(w->btn_ConvertSingle, Qt::LeftButton);
  EXPECT_TRUE(ProcessLog.contains(QStringLiteral("Done. 1 page converted."))) << ProcessLog.toStdString();
  EXPECT_TRUE(QFile::exists(Dir.filePath(QStringLiteral("one.rtf"))));

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

// The window grows and shrinks with its layouts down to a size that cuts nothing off, and
// comes back at the size it had, with the file dialogs in the folders last used.
TEST_F(MainWindowTest, ResizesAndRemembersItsSizeAndFolders) {
  {
    auto w = Make();
    const QSize minimum = w->minimumSize();
    EXPECT_GE(minimum.width(), w->tab_Single->minimumSizeHint().width());
    EXPECT_LE(minimum.width(), 680);
    w->resize(minimum);
    QCoreApplication::processEvents();
    EXPECT_GE(w->btn_ConvertSingle->geometry().right(), 0);
    EXPECT_LE(w->btn_ConvertSingle->mapTo(w.get(), QPoint(w->btn_ConvertSingle->width(), 0)).x(), w->width());
    const int small = w->txt_Destination->width();
    w->resize(780, 560);
    QCoreApplication::processEvents();
    EXPECT_GT(w->txt_Destination->width(), small + 150);
    EXPECT_GT(w->pc_Main->height(), 450);
    const QString pdf = MakeFile(QStringLiteral("docs/one.pdf"));
    w->AddFiles({pdf});
    w->close();
  }
  const TAppSettings s = LoadSettings(Ini);
  EXPECT_EQ(QSize(s.Width, s.Height), QSize(780, 560));
  EXPECT_EQ(s.SourceFolder, Dir.filePath(QStringLiteral("docs")));
  auto again = Make();
  EXPECT_EQ(again->size(), QSize(780, 560));
  again->act_Open->trigger();
  ASSERT_EQ(DialogFolders.size(), 1);
  EXPECT_EQ(DialogFolders[0], Dir.filePath(QStringLiteral("docs")));
}

// The keyboard reaches every command: Ctrl+O, Ctrl+Return, Ctrl+Q and the mnemonics.
TEST_F(MainWindowTest, KeyboardReachesTheCommands) {
  auto w = Make();
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  const QString pdf = MakeFile(QStringLiteral("one.pdf"));
  Probe->Pages[QStringLiteral("one.pdf")] = 1;
  Picked = {pdf};
  QTest::keyClick(w.get(), Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(w->txt_Source->text(), pdf);
  EXPECT_EQ(w->lbl_Details->text(), QStringLiteral("Size: 0 KB, Pages: 1"));
  QTest::keyClick(w.get(), Qt::Key_P, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), w->txt_Pages);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(Processes, 1);
  // The processing window has closed; the main window has the keyboard again.
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  QTest::keyClick(w.get(), Qt::Key_M, Qt::AltModifier);
  EXPECT_EQ(w->pc_Main->currentWidget(), w->tab_Multiple);
  QTest::keyClick(w.get(), Qt::Key_Q, Qt::ControlModifier);
  EXPECT_FALSE(w->isVisible());
}

TEST_F(MainWindowTest, UpdateCheckIsAnOptionAndUsesHttps) {
  auto w = Make();
  EXPECT_FALSE(w->chk_Update->isChecked());  // the settings file says Update=0
  w->chk_Update->setChecked(true);
  EXPECT_TRUE(w->act_CheckUpdate->isChecked());
  w->act_CheckUpdate->setChecked(false);
  EXPECT_FALSE(w->chk_Update->isChecked());
  EXPECT_TRUE(TAppSettings().UpdateURL.startsWith(QStringLiteral("https://")));
  EXPECT_TRUE(TAppSettings().DownloadURL.startsWith(QStringLiteral("https://")));
}

}  // namespace
}  // namespace qm
