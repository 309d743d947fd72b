#include "app/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/AppIcon.h"
#include "app/UpdateCheck.h"
#include "app/WebData.h"
#include "app/AboutBox.h"
#include "app/ProcessWindow.h"

namespace qm {
namespace {

constexpr int kColName = 0;
constexpr int kColSize = 1;
constexpr int kColPages = 2;
constexpr int kColPath = 3;

bool IsPdfFile(const QString& AName) {
  const QFileInfo info(AName);
  return info.isFile() && info.suffix().toUpper() == QStringLiteral("PDF");
}

QStringList LocalFiles(const QMimeData* AData) {
  QStringList names;
  if (AData == nullptr) return names;
  for (const QUrl& url : AData->urls()) {
    if (url.isLocalFile()) names.append(url.toLocalFile());
  }
  return names;
}

QPushButton* BrowseButton(QWidget* AParent) {
  auto* b = new QPushButton(QStringLiteral("..."), AParent);
  b->setFixedWidth(28);
  return b;
}

QPushButton* ConvertButton(QWidget* AParent) {
  auto* b = new QPushButton(QStringLiteral("Convert"), AParent);
  QFont f = b->font();
  f.setBold(true);
  b->setFont(f);
  b->setDefault(true);
  b->setMinimumWidth(90);
  return b;
}

}  // namespace

QString FormatKB(qint64 ABytes) {
  QLocale locale;
  locale.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
  return locale.toString(qRound64(static_cast<double>(ABytes) / 1024.0));
}

TFileList::TFileList(QWidget* AParent) : QTreeWidget(AParent) { setAcceptDrops(true); }

void TFileList::dragEnterEvent(QDragEnterEvent* AEvent) {
  if (AEvent->mimeData()->hasUrls()) AEvent->acceptProposedAction();
}

void TFileList::dragMoveEvent(QDragMoveEvent* AEvent) {
  if (AEvent->mimeData()->hasUrls()) AEvent->acceptProposedAction();
}

void TFileList::dropEvent(QDropEvent* AEvent) {
  const QStringList names = LocalFiles(AEvent->mimeData());
  AEvent->acceptProposedAction();
  if (!names.isEmpty()) emit FilesDropped(names);
}

Tfrm_Main::Tfrm_Main(TMainServices AServices, QWidget* AParent)
    : QMainWindow(AParent), FServices(std::move(AServices)) {
  setWindowTitle(QStringLiteral("Quillmark"));
  setWindowIcon(AppIcon());
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFont(QFont(QStringLiteral("Tahoma"), 8));

  pc_Main = new QTabWidget(this);
  pc_Main->setObjectName(QStringLiteral("pc_Main"));
  pc_Main->setFixedSize(680, 393);
  setCentralWidget(pc_Main);
  BuildSinglePage();
  BuildMultiplePage();
  BuildOptionsPage();
  BuildMenu();
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  tmr_Update = new QTimer(this);
  tmr_Update->setInterval(10);
  tmr_Update->setSingleShot(true);
  connect(tmr_Update, &QTimer::timeout, this, &Tfrm_Main::StartUpdateCheck);

  if (FServices.Probe) FProbe = FServices.Probe();
}

Tfrm_Main::~Tfrm_Main() = default;

void Tfrm_Main::BuildSinglePage() {
  tab_Single = new QWidget();
  tab_Single->setObjectName(QStringLiteral("tab_Single"));
  tab_Single->setAcceptDrops(true);
  tab_Single->installEventFilter(this);
  auto* grid = new QGridLayout(tab_Single);
  grid->setContentsMargins(16, 14, 16, 14);
  grid->setVerticalSpacing(4);

  txt_Source = new QLineEdit(tab_Single);
  txt_Source->setObjectName(QStringLiteral("txt_Source"));
  btn_Source = BrowseButton(tab_Single);
  txt_Destination = new QLineEdit(tab_Single);
  txt_Destination->setObjectName(QStringLiteral("txt_Destination"));
  btn_Destination = BrowseButton(tab_Single);
  txt_Pages = new QLineEdit(tab_Single);
  txt_Pages->setObjectName(QStringLiteral("txt_Pages"));
  txt_Pages->setFixedWidth(200);
  lbl_Hint = new QLabel(QStringLiteral("Example: 1,3, 5-9 (leave blank for all)"), tab_Single);
  lbl_Hint->setEnabled(false);
  lbl_Details = new QLabel(tab_Single);
  lbl_Details->setObjectName(QStringLiteral("lbl_Details"));
  btn_ConvertSingle = ConvertButton(tab_Single);
  // Files dropped anywhere on the page, the edits included, are a source.
  for (QLineEdit* e : {txt_Source, txt_Destination, txt_Pages}) e->setAcceptDrops(false);

  grid->addWidget(new QLabel(QStringLiteral("Source PDF:"), tab_Single), 0, 0, 1, 2);
  grid->addWidget(txt_Source, 1, 0);
  grid->addWidget(btn_Source, 1, 1);
  grid->setRowMinimumHeight(2, 8);
  grid->addWidget(new QLabel(QStringLiteral("Destination file:"), tab_Single), 3, 0, 1, 2);
  grid->addWidget(txt_Destination, 4, 0);
  grid->addWidget(btn_Destination, 4, 1);
  grid->setRowMinimumHeight(5, 8);
  grid->addWidget(new QLabel(QStringLiteral("Pages:"), tab_Single), 6, 0, 1, 2);
  auto* pages = new QHBoxLayout();
  pages->addWidget(txt_Pages);
  pages->addSpacing(8);
  pages->addWidget(lbl_Hint);
  pages->addStretch();
  grid->addLayout(pages, 7, 0, 1, 2);
  grid->setRowMinimumHeight(8, 8);
  grid->addWidget(lbl_Details, 9, 0, 1, 2);
  grid->setRowStretch(10, 1);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  buttons->addWidget(btn_ConvertSingle);
  grid->addLayout(buttons, 11, 0, 1, 2);
  pc_Main->addTab(tab_Single, QStringLiteral("Single file"));

  connect(btn_Source, &QPushButton::clicked, this, &Tfrm_Main::BrowseSource);
  connect(txt_Source, &QLineEdit::returnPressed, this, &Tfrm_Main::ValidateSource);
  connect(btn_Destination, &QPushButton::clicked, this, &Tfrm_Main::BrowseDestination);
  connect(txt_Destination, &QLineEdit::returnPressed, this, &Tfrm_Main::Convert);
  connect(txt_Pages, &QLineEdit::returnPressed, this, &Tfrm_Main::Convert);
  connect(btn_ConvertSingle, &QPushButton::clicked, this, &Tfrm_Main::Convert);
}

void Tfrm_Main::BuildMultiplePage() {
  tab_Multiple = new QWidget();
  tab_Multiple->setObjectName(QStringLiteral("tab_Multiple"));
  auto* grid = new QGridLayout(tab_Multiple);
  grid->setContentsMargins(16, 14, 16, 14);
  grid->setVerticalSpacing(4);

  lw_Files = new TFileList(tab_Multiple);
  lw_Files->setObjectName(QStringLiteral("lw_Files"));
  lw_Files->setColumnCount(4);
  lw_Files->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size"),
                             QStringLiteral("Pages"), QStringLiteral("Path")});
  lw_Files->headerItem()->setTextAlignment(kColSize, Qt::AlignRight | Qt::AlignVCenter);
  lw_Files->setColumnWidth(kColName, 200);
  lw_Files->setColumnWidth(kColSize, 100);
  lw_Files->setColumnWidth(kColPages, 60);
  lw_Files->setColumnWidth(kColPath, 230);
  lw_Files->setRootIsDecorated(false);
  lw_Files->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lw_Files->setSelectionBehavior(QAbstractItemView::SelectRows);
  lw_Files->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lw_Files->setContextMenuPolicy(Qt::CustomContextMenu);
  txt_DestFolder = new QLineEdit(tab_Multiple);
  txt_DestFolder->setObjectName(QStringLiteral("txt_DestFolder"));
  btn_DestFolder = BrowseButton(tab_Multiple);
  btn_ConvertMultiple = ConvertButton(tab_Multiple);

  grid->addWidget(new QLabel(QStringLiteral("Source PDFs:"), tab_Multiple), 0, 0, 1, 2);
  grid->addWidget(lw_Files, 1, 0, 1, 2);
  grid->setRowStretch(1, 1);
  grid->setRowMinimumHeight(2, 6);
  grid->addWidget(new QLabel(QStringLiteral("Destination folder:"), tab_Multiple), 3, 0, 1, 2);
  grid->addWidget(txt_DestFolder, 4, 0);
  grid->addWidget(btn_DestFolder, 4, 1);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  buttons->addWidget(btn_ConvertMultiple);
  grid->setRowMinimumHeight(5, 6);
  grid->addLayout(buttons, 6, 0, 1, 2);
  pc_Main->addTab(tab_Multiple, QStringLiteral("Multiple files"));

  act_SelectAll = new QAction(QStringLiteral("Select All"), lw_Files);
  act_SelectAll->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
  act_Delete = new QAction(QStringLiteral("Delete"), lw_Files);
  act_Delete->setShortcut(QKeySequence(Qt::Key_Delete));
  act_ClearAll = new QAction(QStringLiteral("Clear All"), lw_Files);
  for (QAction* a : {act_SelectAll, act_Delete, act_ClearAll}) {
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    lw_Files->addAction(a);
  }
  connect(act_SelectAll, &QAction::triggered, lw_Files, &QTreeWidget::selectAll);
  connect(act_Delete, &QAction::triggered, this, &Tfrm_Main::DeleteSelectedRows);
  connect(act_ClearAll, &QAction::triggered, lw_Files, &QTreeWidget::clear);
  connect(lw_Files, &QWidget::customContextMenuRequested, this, &Tfrm_Main::ListContextMenu);
  connect(lw_Files, &TFileList::FilesDropped, this, &Tfrm_Main::AddFiles);
  connect(lw_Files, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* AItem, int) {
    if (AItem != nullptr && FServices.OpenPath) FServices.OpenPath(AItem->text(kColPath));
  });
  connect(btn_DestFolder, &QPushButton::clicked, this, &Tfrm_Main::BrowseFolder);
  connect(txt_DestFolder, &QLineEdit::returnPressed, this, &Tfrm_Main::Convert);
  connect(btn_ConvertMultiple, &QPushButton::clicked, this, &Tfrm_Main::Convert);
}

void Tfrm_Main::BuildOptionsPage() {
  tab_Options = new QWidget();
  tab_Options->setObjectName(QStringLiteral("tab_Options"));
  auto* v = new QVBoxLayout(tab_Options);
  v->setContentsMargins(16, 14, 16, 14);
  chk_Format = new QCheckBox(QStringLiteral("Format with tabs"), tab_Options);
  chk_Format->setChecked(true);
  chk_Open = new QCheckBox(QStringLiteral("Open after conversion"), tab_Options);
  chk_Custom = new QCheckBox(QStringLiteral("Custom process"), tab_Options);
  v->addWidget(chk_Format);
  v->addWidget(chk_Open);
  v->addWidget(chk_Custom);
  v->addSpacing(6);

  auto* row = new QHBoxLayout();
  pnl_Left = new QWidget(tab_Options);
  pnl_Right = new QWidget(tab_Options);
  auto* left = new QGridLayout(pnl_Left);
  auto* right = new QGridLayout(pnl_Right);
  for (int i = 0; i < kChoiceBoxCount; ++i) {
    const TkwElementKindName& kind = kElementKindNames[static_cast<std::size_t>(i)];
    QWidget* panel = i < 5 ? pnl_Left : pnl_Right;
    QGridLayout* grid = i < 5 ? left : right;
    auto* combo = new QComboBox(panel);
    combo->setObjectName(QStringLiteral("cmb_") + ChoiceKey(kind.Kind));
    combo->addItems({QStringLiteral("Process"), QStringLiteral("Leave Space"),
                     QStringLiteral("Skip")});
    combo->setCurrentIndex(kChoiceProcess);
    combo->setMinimumWidth(130);
    cmb_Choice[KindIndex(kind.Kind)] = combo;
    grid->addWidget(new QLabel(ChoiceCaption(kind.Kind) + u':', panel), i % 5, 0);
    grid->addWidget(combo, i % 5, 1);
  }
  pnl_Presets = new QWidget(tab_Options);
  auto* presets = new QVBoxLayout(pnl_Presets);
  btn_Default = new QPushButton(QStringLiteral("Default"), pnl_Presets);
  btn_ImagesOnly = new QPushButton(QStringLiteral("Images only"), pnl_Presets);
  btn_PlainText = new QPushButton(QStringLiteral("Plain text"), pnl_Presets);
  for (QPushButton* b : {btn_Default, btn_ImagesOnly, btn_PlainText}) presets->addWidget(b);
  presets->addStretch();
  row->addWidget(pnl_Left);
  row->addSpacing(12);
  row->addWidget(pnl_Right);
  row->addSpacing(12);
  row->addWidget(pnl_Presets);
  row->addStretch();
  v->addLayout(row);
  v->addStretch();
  pc_Main->addTab(tab_Options, QStringLiteral("Options"));

  connect(chk_Custom, &QCheckBox::toggled, this, &Tfrm_Main::CustomToggled);
  connect(btn_Default, &QPushButton::clicked, this, [this] { ApplyPreset(PresetDefault()); });
  connect(btn_ImagesOnly, &QPushButton::clicked, this,
          [this] { ApplyPreset(PresetImagesOnly()); });
  connect(btn_PlainText, &QPushButton::clicked, this, [this] { ApplyPreset(PresetPlainText()); });
  CustomToggled(false);
}

void Tfrm_Main::BuildMenu() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
  act_Exit = file->addAction(QStringLiteral("Exit"));
  connect(act_Exit, &QAction::triggered, this, &QWidget::close);

  QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
  act_Help = help->addAction(QStringLiteral("Help"));
  act_Help->setShortcut(QKeySequence(Qt::Key_F1));
  connect(act_Help, &QAction::triggered, this, &Tfrm_Main::ShowHelp);
  help->addSeparator();
  act_CheckUpdate = help->addAction(QStringLiteral("Check for Update on Startup"));
  act_CheckUpdate->setCheckable(true);
  act_CheckUpdate->setChecked(true);
  help->addSeparator();
  act_About = help->addAction(QStringLiteral("About..."));
  connect(act_About, &QAction::triggered, this, [this] {
    Tfrm_About about(this);
    about.exec();
  });
}

void Tfrm_Main::CustomToggled(bool AChecked) {
  pnl_Left->setVisible(AChecked);
  pnl_Right->setVisible(AChecked);
  pnl_Presets->setVisible(AChecked);
}

void Tfrm_Main::ApplyPreset(const TChoices& AChoices) {
  for (int i = 0; i < kChoiceBoxCount; ++i) {
    cmb_Choice[static_cast<std::size_t>(i)]->setCurrentIndex(AChoices[static_cast<std::size_t>(i)]);
  }
}

TChoices Tfrm_Main::Choices() const {
  TChoices c{};
  for (int i = 0; i < kChoiceBoxCount; ++i) {
    c[static_cast<std::size_t>(i)] = cmb_Choice[static_cast<std::size_t>(i)]->currentIndex();
  }
  return c;
}

TAppSettings Tfrm_Main::SettingsFromControls() const {
  TAppSettings s = FSettings;
  s.Update = act_CheckUpdate->isChecked();
  s.Tabs = chk_Format->isChecked();
  s.Open = chk_Open->isChecked();
  s.Custom = chk_Custom->isChecked();
  s.Choices = Choices();
  return s;
}

void Tfrm_Main::ApplySettings(const TAppSettings& ASettings) {
  FSettings = ASettings;
  act_CheckUpdate->setChecked(ASettings.Update);
  chk_Format->setChecked(ASettings.Tabs);
  chk_Open->setChecked(ASettings.Open);
  chk_Custom->setChecked(ASettings.Custom);
  ApplyPreset(ASettings.Choices);
  CustomToggled(ASettings.Custom);
}

TJobOptions Tfrm_Main::JobOptions() const {
  TJobOptions o;
  o.Batch = pc_Main->currentWidget() == tab_Multiple;
  o.Source = txt_Source->text();
  o.Destination = txt_Destination->text();
  o.Pages = txt_Pages->text();
  o.DestFolder = txt_DestFolder->text();
  for (int i = 0; i < lw_Files->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = lw_Files->topLevelItem(i);
    o.Files.push_back({item->text(kColName), item->text(kColPath)});
  }
  o.FormatTabs = chk_Format->isChecked();
  o.OpenAfter = chk_Open->isChecked();
  o.Custom = chk_Custom->isChecked();
  o.Choices = Choices();
  o.Passwords = FPasswords;
  return o;
}

void Tfrm_Main::showEvent(QShowEvent* AEvent) {
  QMainWindow::showEvent(AEvent);
  if (FShownOnce) return;
  FShownOnce = true;
  if (QScreen* screen = this->screen()) {
    QRect r = frameGeometry();
    r.moveCenter(screen->availableGeometry().center());
    move(r.topLeft());
  }
  ApplySettings(LoadSettings(FServices.SettingsPath));
  if (act_CheckUpdate->isChecked()) tmr_Update->start();
}

void Tfrm_Main::closeEvent(QCloseEvent* AEvent) {
  SaveSettings(FServices.SettingsPath, SettingsFromControls());
  QMainWindow::closeEvent(AEvent);
}

bool Tfrm_Main::eventFilter(QObject* AWatched, QEvent* AEvent) {
  if (AWatched == tab_Single) {
    if (AEvent->type() == QEvent::DragEnter || AEvent->type() == QEvent::DragMove) {
      auto* e = static_cast<QDragMoveEvent*>(AEvent);
      if (e->mimeData()->hasUrls()) {
        e->acceptProposedAction();
        return true;
      }
    } else if (AEvent->type() == QEvent::Drop) {
      auto* e = static_cast<QDropEvent*>(AEvent);
      const QStringList names = LocalFiles(e->mimeData());
      e->acceptProposedAction();
      DropOnSingle(names);
      return true;
    }
  }
  return QMainWindow::eventFilter(AWatched, AEvent);
}

std::optional<int> Tfrm_Main::ProbeFile(const QString& AFileName, bool AAskOnce) {
  if (!FProbe) throw std::runtime_error("The conversion engine is not available.");
  const int maxPrompts = AAskOnce ? 1 : TJobRunner::kMaxPasswordPrompts;
  int prompts = 0;
  bool supplied = false;
  bool gaveUp = false;
  std::string given;
  auto onNeedPassword = [&](std::string& APassword) {
    supplied = false;
    if (prompts >= maxPrompts) {
      gaveUp = true;
      return;
    }
    ++prompts;
    std::optional<std::string> answer;
    if (FServices.AskPassword) answer = FServices.AskPassword(this, AFileName);
    if (!answer) {
      gaveUp = true;
      return;
    }
    APassword = *answer;
    given = std::move(*answer);
    supplied = true;
  };
  for (;;) {
    supplied = false;
    try {
      const int pages = FProbe->PageCount(AFileName, onNeedPassword);
      if (supplied) FPasswords[AFileName] = given;
      return pages;
    } catch (const std::exception& e) {
      if (std::string_view(e.what()) != kPasswordRequiredMessage) throw;
      if (gaveUp) return std::nullopt;
      if (!supplied) throw;
      // A wrong password: ask again.
    }
  }
}

void Tfrm_Main::ValidateSource() {
  const QString source = txt_Source->text();
  if (!IsPdfFile(source)) return;
  try {
    const std::optional<int> pages = ProbeFile(source, false);
    if (!pages) return;
    lbl_Details->setText(QStringLiteral("Size: ") + FormatKB(QFileInfo(source).size()) +
                         QStringLiteral(" KB, Pages: ") + QString::number(*pages));
    if (txt_Destination->text().isEmpty()) {
      txt_Destination->setText(ChangeFileExt(source, QStringLiteral(".rtf")));
    }
  } catch (const std::exception&) {
    if (FServices.Message) {
      FServices.Message(this, QStringLiteral("Error"), QStringLiteral("PDF is not valid!"),
                        QMessageBox::Critical);
    }
  }
}

void Tfrm_Main::DropOnSingle(const QStringList& ANames) {
  if (ANames.isEmpty()) return;
  txt_Source->setText(ANames.front());
  if (IsPdfFile(ANames.front())) ValidateSource();
}

void Tfrm_Main::AddFiles(const QStringList& ANames) {
  for (const QString& name : ANames) {
    // Keeps the window painting through a long drop; user input waits, so no second drop
    // arrives in the middle of this one.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (!IsPdfFile(name)) continue;
    std::optional<int> pages;
    try {
      pages = ProbeFile(name, true);
    } catch (const std::exception&) {
      continue;
    }
    if (!pages) continue;
    const QFileInfo info(name);
    auto* item = new QTreeWidgetItem(lw_Files);
    item->setText(kColName, info.fileName());
    item->setText(kColSize, FormatKB(info.size()) + QStringLiteral(" KB"));
    item->setTextAlignment(kColSize, Qt::AlignRight | Qt::AlignVCenter);
    item->setText(kColPages, QString::number(*pages));
    item->setText(kColPath, info.absoluteFilePath());
  }
  if (lw_Files->topLevelItemCount() > 0 && txt_DestFolder->text().isEmpty() && !ANames.isEmpty()) {
    txt_DestFolder->setText(QFileInfo(ANames.front()).absolutePath());
  }
}

void Tfrm_Main::ListContextMenu(const QPoint& APos) {
  QMenu menu(this);
  menu.addAction(act_SelectAll);
  menu.addSeparator();
  act_Delete->setEnabled(!lw_Files->selectedItems().isEmpty());
  menu.addAction(act_Delete);
  menu.addAction(act_ClearAll);
  menu.exec(lw_Files->viewport()->mapToGlobal(APos));
  act_Delete->setEnabled(true);
}

void Tfrm_Main::DeleteSelectedRows() {
  const QList<QTreeWidgetItem*> selected = lw_Files->selectedItems();
  for (QTreeWidgetItem* item : selected) delete item;
}

void Tfrm_Main::BrowseSource() {
  const QString name = QFileDialog::getOpenFileName(this, QString(), txt_Source->text(),
                                                    QStringLiteral("PDF (*.pdf)"));
  if (!name.isEmpty()) txt_Source->setText(name);
  ValidateSource();
}

void Tfrm_Main::BrowseDestination() {
  QFileDialog dialog(this, QString(), txt_Destination->text(), QStringLiteral("RTF (*.rtf)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("rtf"));
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
    txt_Destination->setText(dialog.selectedFiles().front());
  }
}

void Tfrm_Main::BrowseFolder() {
  const QString folder = QFileDialog::getExistingDirectory(
      this, QStringLiteral("Specify destination folder."), txt_DestFolder->text(),
      QFileDialog::ShowDirsOnly);
  if (!folder.isEmpty()) txt_DestFolder->setText(folder);
}

void Tfrm_Main::Convert() {
  TProcessServices ps;
  ps.Converter = FServices.Converter;
  ps.OpenPath = FServices.OpenPath;
  ps.AskPassword = FServices.AskPassword;
  ps.ClockMs = FServices.ClockMs;
  Tfrm_Process process(JobOptions(), std::move(ps), this);
  if (FServices.RunProcess) {
    FServices.RunProcess(process);
  } else {
    process.exec();
  }
}

void Tfrm_Main::ShowHelp() {
  if (QFileInfo(FServices.HelpFilePath).isFile()) {
    if (FServices.OpenPath) FServices.OpenPath(FServices.HelpFilePath);
    return;
  }
  if (FServices.Message) {
    FServices.Message(this, QStringLiteral("Warning"),
                      QStringLiteral("The help file is not found. Please re-install the program."),
                      QMessageBox::Warning);
  }
}

void Tfrm_Main::StartUpdateCheck() {
  tmr_Update->stop();
  if (FUpdateChecked) return;
  FUpdateChecked = true;
  const QUrl url(FSettings.UpdateURL.trimmed());
  if (FSettings.UpdateURL.trimmed().isEmpty() || !url.isValid()) return;
  FWebData = new TWebData(this);
  FWebData->AddItem(url);
  connect(FWebData, &TWebData::DataFound, this,
          [this](int, const QString& AValue) { UpdateDataFound(AValue); });
  FWebData->Start();
}

void Tfrm_Main::UpdateDataFound(const QString& AValue) {
  if (!IsNewerVersion(AValue, ProgramVersion())) return;
  if (FServices.AskYesNo &&
      FServices.AskYesNo(this, QStringLiteral("Update"), UpdatePromptText(AValue)) &&
      FServices.OpenUrl) {
    FServices.OpenUrl(QUrl(FSettings.DownloadURL));
  }
}

}  // namespace qm
