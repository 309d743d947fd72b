#include "app/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDir>
#include <QDirIterator>
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
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

#include "app/AppIcon.h"
#include "base/OutOfMemory.h"
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
constexpr int kColStatus = 4;  // last: it takes the room the window gives
// On the name cell: whether a batch converts the row (false: it could not be loaded).
constexpr int kRoleConvertible = Qt::UserRole + 1;

QString Quoted(const QString& AName) {
  return QStringLiteral("\u201C%1\u201D").arg(QDir::toNativeSeparators(AName));
}

QLabel* Buddy(const QString& AText, QWidget* ABuddy, QWidget* AParent) {
  auto* l = new QLabel(AText, AParent);
  l->setBuddy(ABuddy);
  return l;
}

void SetProblemStyle(QLabel* ALabel, bool AProblem) {
  ALabel->setStyleSheet(AProblem ? QStringLiteral("color: rgb(200, 0, 0);") : QString());
}

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

QString TFileList::EmptyHint() {
  return QStringLiteral("Drop PDF files here, or use Add files... or Add folder...");
}

void TFileList::paintEvent(QPaintEvent* AEvent) {
  QTreeWidget::paintEvent(AEvent);
  if (topLevelItemCount() > 0) return;
  QPainter p(viewport());
  p.setPen(palette().color(QPalette::Disabled, QPalette::Text));
  p.drawText(viewport()->rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap,
             EmptyHint());
}

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

  pc_Main = new QTabWidget(this);
  pc_Main->setObjectName(QStringLiteral("pc_Main"));
  setCentralWidget(pc_Main);
  BuildSinglePage();
  BuildMultiplePage();
  BuildOptionsPage();
  BuildMenu();
  // The pages' layouts decide the smallest size at which nothing is cut off.
  setMinimumSize(minimumSizeHint().expandedTo(QSize(520, 360)));
  resize(QSize(680, 393 + menuBar()->sizeHint().height()).expandedTo(minimumSize()));

  tmr_Validate = new QTimer(this);
  tmr_Validate->setInterval(400);
  tmr_Validate->setSingleShot(true);
  connect(tmr_Validate, &QTimer::timeout, this, &Tfrm_Main::ValidateSource);
  connect(pc_Main, &QTabWidget::currentChanged, this, &Tfrm_Main::UpdateConvertState);

  tmr_Update = new QTimer(this);
  tmr_Update->setInterval(10);
  tmr_Update->setSingleShot(true);
  connect(tmr_Update, &QTimer::timeout, this, &Tfrm_Main::StartUpdateCheck);

  if (FServices.Probe) FProbe = FServices.Probe();
  UpdateConvertState();
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
  txt_Source->setPlaceholderText(QStringLiteral("The PDF to convert"));
  btn_Source = BrowseButton(tab_Single);
  btn_Source->setToolTip(QStringLiteral("Choose the PDF (Ctrl+O)"));
  txt_Destination = new QLineEdit(tab_Single);
  txt_Destination->setObjectName(QStringLiteral("txt_Destination"));
  txt_Destination->setPlaceholderText(QStringLiteral("The RTF file to write (beside the PDF unless you change it)"));
  btn_Destination = BrowseButton(tab_Single);
  btn_Destination->setToolTip(QStringLiteral("Choose where the RTF file goes"));
  txt_Pages = new QLineEdit(tab_Single);
  txt_Pages->setObjectName(QStringLiteral("txt_Pages"));
  txt_Pages->setFixedWidth(200);
  lbl_Hint = new QLabel(QStringLiteral("Example: 1,3, 5-9 (leave blank for all)"), tab_Single);
  lbl_Hint->setObjectName(QStringLiteral("lbl_Hint"));
  lbl_Hint->setEnabled(false);
  lbl_Hint->setWordWrap(true);
  lbl_Details = new QLabel(tab_Single);
  lbl_Details->setObjectName(QStringLiteral("lbl_Details"));
  lbl_Details->setWordWrap(true);
  lbl_Details->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lbl_SingleStatus = new QLabel(tab_Single);
  lbl_SingleStatus->setObjectName(QStringLiteral("lbl_SingleStatus"));
  lbl_SingleStatus->setEnabled(false);
  lbl_SingleStatus->setWordWrap(true);
  btn_ConvertSingle = ConvertButton(tab_Single);
  // Files dropped anywhere on the page, the edits included, are a source.
  for (QLineEdit* e : {txt_Source, txt_Destination, txt_Pages}) e->setAcceptDrops(false);

  grid->addWidget(Buddy(QStringLiteral("So&urce PDF:"), txt_Source, tab_Single), 0, 0, 1, 2);
  grid->addWidget(txt_Source, 1, 0);
  grid->addWidget(btn_Source, 1, 1);
  grid->addWidget(lbl_Details, 2, 0, 1, 2);
  grid->setRowMinimumHeight(3, 8);
  grid->addWidget(Buddy(QStringLiteral("Des&tination file:"), txt_Destination, tab_Single), 4, 0, 1, 2);
  grid->addWidget(txt_Destination, 5, 0);
  grid->addWidget(btn_Destination, 5, 1);
  grid->setRowMinimumHeight(6, 8);
  grid->addWidget(Buddy(QStringLiteral("&Pages:"), txt_Pages, tab_Single), 7, 0, 1, 2);
  auto* pages = new QHBoxLayout();
  pages->addWidget(txt_Pages);
  pages->addSpacing(8);
  pages->addWidget(lbl_Hint, 1);
  grid->addLayout(pages, 8, 0, 1, 2);
  grid->setRowStretch(9, 1);
  auto* buttons = new QHBoxLayout();
  buttons->addWidget(lbl_SingleStatus, 1);
  buttons->addWidget(btn_ConvertSingle);
  grid->addLayout(buttons, 10, 0, 1, 2);
  pc_Main->addTab(tab_Single, QStringLiteral("&Single file"));

  connect(btn_Source, &QPushButton::clicked, this, &Tfrm_Main::BrowseSource);
  connect(txt_Source, &QLineEdit::textChanged, this, &Tfrm_Main::SourceEdited);
  connect(txt_Source, &QLineEdit::returnPressed, this, &Tfrm_Main::ValidateSource);
  connect(btn_Destination, &QPushButton::clicked, this, &Tfrm_Main::BrowseDestination);
  connect(txt_Destination, &QLineEdit::textChanged, this, &Tfrm_Main::UpdateConvertState);
  connect(txt_Destination, &QLineEdit::returnPressed, this, &Tfrm_Main::Convert);
  connect(txt_Pages, &QLineEdit::textChanged, this, &Tfrm_Main::UpdateConvertState);
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
  lw_Files->setColumnCount(5);
  lw_Files->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size"),
                             QStringLiteral("Pages"), QStringLiteral("Path"),
                             QStringLiteral("Status")});
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
  lw_Files->setMinimumHeight(90);
  btn_AddFiles = new QPushButton(QStringLiteral("&Add files..."), tab_Multiple);
  btn_AddFolder = new QPushButton(QStringLiteral("Add fo&lder..."), tab_Multiple);
  chk_Subfolders = new QCheckBox(QStringLiteral("&with subfolders"), tab_Multiple);
  chk_Subfolders->setChecked(true);
  btn_Remove = new QPushButton(QStringLiteral("&Remove"), tab_Multiple);
  btn_Remove->setEnabled(false);
  txt_DestFolder = new QLineEdit(tab_Multiple);
  txt_DestFolder->setObjectName(QStringLiteral("txt_DestFolder"));
  txt_DestFolder->setPlaceholderText(QStringLiteral("The folder the RTF files go to (made when missing)"));
  btn_DestFolder = BrowseButton(tab_Multiple);
  btn_DestFolder->setToolTip(QStringLiteral("Choose the destination folder"));
  lbl_MultipleStatus = new QLabel(tab_Multiple);
  lbl_MultipleStatus->setObjectName(QStringLiteral("lbl_MultipleStatus"));
  lbl_MultipleStatus->setEnabled(false);
  lbl_MultipleStatus->setWordWrap(true);
  btn_ConvertMultiple = ConvertButton(tab_Multiple);

  grid->addWidget(Buddy(QStringLiteral("Sour&ce PDFs:"), lw_Files, tab_Multiple), 0, 0, 1, 2);
  grid->addWidget(lw_Files, 1, 0, 1, 2);
  grid->setRowStretch(1, 1);
  auto* listButtons = new QHBoxLayout();
  listButtons->addWidget(btn_AddFiles);
  listButtons->addWidget(btn_AddFolder);
  listButtons->addWidget(chk_Subfolders);
  listButtons->addStretch();
  listButtons->addWidget(btn_Remove);
  grid->addLayout(listButtons, 2, 0, 1, 2);
  grid->setRowMinimumHeight(3, 6);
  grid->addWidget(Buddy(QStringLiteral("Des&tination folder:"), txt_DestFolder, tab_Multiple), 4, 0, 1, 2);
  grid->addWidget(txt_DestFolder, 5, 0);
  grid->addWidget(btn_DestFolder, 5, 1);
  auto* buttons = new QHBoxLayout();
  buttons->addWidget(lbl_MultipleStatus, 1);
  buttons->addWidget(btn_ConvertMultiple);
  grid->setRowMinimumHeight(6, 6);
  grid->addLayout(buttons, 7, 0, 1, 2);
  pc_Main->addTab(tab_Multiple, QStringLiteral("&Multiple files"));

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
  connect(act_ClearAll, &QAction::triggered, this, [this] {
    lw_Files->clear();
    UpdateConvertState();
  });
  connect(lw_Files, &QWidget::customContextMenuRequested, this, &Tfrm_Main::ListContextMenu);
  connect(lw_Files, &TFileList::FilesDropped, this, &Tfrm_Main::AddFiles);
  connect(lw_Files, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* AItem, int) {
    if (AItem != nullptr && FServices.OpenPath) FServices.OpenPath(AItem->text(kColPath));
  });
  connect(lw_Files, &QTreeWidget::itemSelectionChanged, this,
          [this] { btn_Remove->setEnabled(!lw_Files->selectedItems().isEmpty()); });
  connect(btn_AddFiles, &QPushButton::clicked, this, &Tfrm_Main::BrowseAddFiles);
  connect(btn_AddFolder, &QPushButton::clicked, this, &Tfrm_Main::BrowseAddFolder);
  connect(btn_Remove, &QPushButton::clicked, this, &Tfrm_Main::DeleteSelectedRows);
  connect(btn_DestFolder, &QPushButton::clicked, this, &Tfrm_Main::BrowseFolder);
  connect(txt_DestFolder, &QLineEdit::textChanged, this, &Tfrm_Main::UpdateConvertState);
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
  chk_Update = new QCheckBox(QStringLiteral("Check for updates on startup (over a secure connection)"),
                             tab_Options);
  chk_Update->setObjectName(QStringLiteral("chk_Update"));
  chk_Update->setChecked(true);
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
  v->addWidget(chk_Update);
  pc_Main->addTab(tab_Options, QStringLiteral("&Options"));

  connect(chk_Custom, &QCheckBox::toggled, this, &Tfrm_Main::CustomToggled);
  connect(btn_Default, &QPushButton::clicked, this, [this] { ApplyPreset(PresetDefault()); });
  connect(btn_ImagesOnly, &QPushButton::clicked, this,
          [this] { ApplyPreset(PresetImagesOnly()); });
  connect(btn_PlainText, &QPushButton::clicked, this, [this] { ApplyPreset(PresetPlainText()); });
  CustomToggled(false);
}

void Tfrm_Main::BuildMenu() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  act_Open = file->addAction(QStringLiteral("&Open PDF..."));
  act_Open->setShortcut(QKeySequence::Open);
  connect(act_Open, &QAction::triggered, this, [this] {
    pc_Main->setCurrentWidget(tab_Single);
    BrowseSource();
  });
  QAction* addFiles = file->addAction(QStringLiteral("&Add files to the list..."));
  connect(addFiles, &QAction::triggered, this, [this] {
    pc_Main->setCurrentWidget(tab_Multiple);
    BrowseAddFiles();
  });
  file->addSeparator();
  act_Convert = file->addAction(QStringLiteral("&Convert"));
  act_Convert->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
  connect(act_Convert, &QAction::triggered, this, &Tfrm_Main::Convert);
  file->addSeparator();
  act_Exit = file->addAction(QStringLiteral("E&xit"));
  act_Exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  connect(act_Exit, &QAction::triggered, this, &QWidget::close);

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  act_Help = help->addAction(QStringLiteral("&Help"));
  act_Help->setShortcut(QKeySequence(Qt::Key_F1));
  connect(act_Help, &QAction::triggered, this, &Tfrm_Main::ShowHelp);
  help->addSeparator();
  act_CheckUpdate = help->addAction(QStringLiteral("Check for &Update on Startup"));
  act_CheckUpdate->setCheckable(true);
  act_CheckUpdate->setChecked(true);
  // One setting, two places: the menu and the options page.
  connect(act_CheckUpdate, &QAction::toggled, chk_Update, &QCheckBox::setChecked);
  connect(chk_Update, &QCheckBox::toggled, act_CheckUpdate, &QAction::setChecked);
  help->addSeparator();
  act_About = help->addAction(QStringLiteral("&About..."));
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
  s.Width = width();
  s.Height = height();
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
  for (const QTreeWidgetItem* item : JobRows()) {
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
  ApplySettings(LoadSettings(FServices.SettingsPath));
  if (FSettings.Width > 0 && FSettings.Height > 0) {
    resize(QSize(FSettings.Width, FSettings.Height).expandedTo(minimumSize()));
  }
  if (QScreen* screen = this->screen()) {
    const QRect available = screen->availableGeometry();
    if (width() > available.width() || height() > available.height()) {
      resize(size().boundedTo(available.size()).expandedTo(minimumSize()));
    }
    QRect r = frameGeometry();
    r.moveCenter(available.center());
    move(r.topLeft());
  }
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
  bool supplied = false;   // this attempt was given a password
  bool lastWrong = false;  // the previous attempt ended on a wrong password
  bool gaveUp = false;
  std::string given;
  auto onNeedPassword = [&](std::string& APassword) {
    // Asked again after a password was supplied: that one was wrong.
    const bool wrongBefore = supplied || std::exchange(lastWrong, false);
    supplied = false;
    if (prompts >= maxPrompts) {
      gaveUp = true;
      return;
    }
    ++prompts;
    std::optional<std::string> answer;
    if (FServices.AskPassword) answer = FServices.AskPassword(this, AFileName, wrongBefore);
    if (!answer) {
      gaveUp = true;
      return;
    }
    APassword = *answer;
    given = std::move(*answer);
    supplied = true;
  };
  for (;;) {
    lastWrong = supplied;
    supplied = false;
    try {
      const int pages = FProbe->PageCount(AFileName, onNeedPassword);
      if (supplied) FPasswords[AFileName] = given;
      return pages;
    } catch (const std::exception& e) {
      if (std::string_view(e.what()) != kPasswordRequiredMessage && std::string_view(e.what()) != kWrongPasswordMessage) {
        throw;
      }
      if (gaveUp) return std::nullopt;
      if (!supplied) throw;
      // A wrong password: ask again.
    }
  }
}

void Tfrm_Main::ShowDetails(const QString& AText, bool AProblem) {
  lbl_Details->setText(AText);
  SetProblemStyle(lbl_Details, AProblem);
}

void Tfrm_Main::SourceEdited() {
  // A new source: what was known of the old one is gone, and the destination follows it
  // (NAME.rtf beside it) whatever it was before, so that an earlier result is never
  // overwritten by a later file's pages.
  FSourcePages.reset();
  FSourceUsable = false;
  const QString source = txt_Source->text().trimmed();
  txt_Destination->setText(source.isEmpty() ? QString() : ChangeFileExt(source, QStringLiteral(".rtf")));
  ShowDetails(QString(), false);
  if (source.isEmpty()) {
    tmr_Validate->stop();
  } else {
    tmr_Validate->start();
  }
  UpdateConvertState();
}

void Tfrm_Main::ValidateSource() {
  tmr_Validate->stop();
  const QString source = txt_Source->text().trimmed();
  FSourcePages.reset();
  FSourceUsable = false;
  const QFileInfo info(source);
  if (source.isEmpty()) {
    ShowDetails(QString(), false);
  } else if (!info.exists()) {
    ShowDetails(QStringLiteral("%1 does not exist.").arg(Quoted(source)), true);
  } else if (info.isDir()) {
    ShowDetails(QStringLiteral("%1 is a folder; choose a PDF file in it.").arg(Quoted(source)), true);
  } else if (!IsPdfFile(source)) {
    ShowDetails(QStringLiteral("%1 is not a PDF file (its name does not end in .pdf).").arg(Quoted(info.fileName())), true);
  } else {
    try {
      const std::optional<int> pages = ProbeFile(source, false);
      FSourceUsable = true;
      if (pages) {
        FSourcePages = pages;
        ShowDetails(QStringLiteral("Size: ") + FormatKB(info.size()) + QStringLiteral(" KB, Pages: ") +
                        QString::number(*pages),
                    false);
      } else {
        ShowDetails(QStringLiteral("Size: ") + FormatKB(info.size()) +
                        QStringLiteral(" KB. The PDF is protected by a password; Convert asks for it."),
                    false);
      }
    } catch (const std::exception& e) {
      ShowDetails(QStringLiteral("%1 is not a readable PDF. Details: %2")
                      .arg(Quoted(info.fileName()), QString::fromStdString(ErrorMessage(e))),
                  true);
    }
  }
  if (FSourceUsable && !info.absolutePath().isEmpty()) FSettings.SourceFolder = info.absolutePath();
  UpdateConvertState();
}

void Tfrm_Main::DropOnSingle(const QStringList& ANames) {
  if (ANames.isEmpty()) return;
  txt_Source->setText(ANames.front());
  ValidateSource();
}

void Tfrm_Main::AddRow(const QString& AName) {
  const QFileInfo info(AName);
  const QString path = info.absoluteFilePath();
  for (int i = 0; i < lw_Files->topLevelItemCount(); ++i) {
    if (lw_Files->topLevelItem(i)->text(kColPath) == path) return;  // listed already
  }
  QString status = QStringLiteral("Waiting");
  bool convertible = false;
  std::optional<int> pages;
  if (!info.exists()) {
    status = QStringLiteral("Failed: the file does not exist");
  } else if (!IsPdfFile(AName)) {
    status = QStringLiteral("Failed: not a PDF file");
  } else {
    try {
      pages = ProbeFile(path, true);
      convertible = true;
      if (!pages) status = QStringLiteral("Password needed");
    } catch (const std::exception& e) {
      status = QStringLiteral("Failed: not a readable PDF (%1)").arg(QString::fromStdString(ErrorMessage(e)));
    }
  }
  auto* item = new QTreeWidgetItem(lw_Files);
  item->setText(kColName, info.fileName());
  item->setData(kColName, kRoleConvertible, convertible);
  item->setText(kColSize, info.exists() ? FormatKB(info.size()) + QStringLiteral(" KB") : QString());
  item->setTextAlignment(kColSize, Qt::AlignRight | Qt::AlignVCenter);
  item->setText(kColPages, pages ? QString::number(*pages) : QString());
  item->setText(kColStatus, status);
  item->setToolTip(kColStatus, status);
  if (!convertible) item->setForeground(kColStatus, QColor(200, 0, 0));
  item->setText(kColPath, path);
}

void Tfrm_Main::AddFiles(const QStringList& ANames) {
  for (const QString& name : ANames) {
    // Keeps the window painting through a long drop; user input waits, so no second drop
    // arrives in the middle of this one.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    if (QFileInfo(name).isDir()) {
      AddFolder(name, chk_Subfolders->isChecked());
      continue;
    }
    AddRow(name);
  }
  if (lw_Files->topLevelItemCount() > 0 && txt_DestFolder->text().isEmpty() && !ANames.isEmpty()) {
    const QFileInfo first(ANames.front());
    txt_DestFolder->setText(first.isDir() ? first.absoluteFilePath() : first.absolutePath());
  }
  if (!ANames.isEmpty()) {
    const QFileInfo first(ANames.front());
    FSettings.SourceFolder = first.isDir() ? first.absoluteFilePath() : first.absolutePath();
  }
  UpdateConvertState();
}

void Tfrm_Main::AddFolder(const QString& AFolder, bool ASubfolders) {
  QStringList names;
  QDirIterator it(AFolder, QDir::Files | QDir::Readable,
                  ASubfolders ? QDirIterator::Subdirectories : QDirIterator::NoIteratorFlags);
  while (it.hasNext()) {
    const QString name = it.next();
    if (IsPdfFile(name)) names.append(name);
  }
  names.sort();
  if (names.isEmpty()) {
    statusBar()->showMessage(QStringLiteral("No PDF files in %1.").arg(Quoted(AFolder)), 8000);
    return;
  }
  for (const QString& name : names) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    AddRow(name);
  }
  if (txt_DestFolder->text().isEmpty()) txt_DestFolder->setText(QFileInfo(AFolder).absoluteFilePath());
  FSettings.SourceFolder = QFileInfo(AFolder).absoluteFilePath();
  UpdateConvertState();
}

std::vector<QTreeWidgetItem*> Tfrm_Main::JobRows() const {
  std::vector<QTreeWidgetItem*> rows;
  for (int i = 0; i < lw_Files->topLevelItemCount(); ++i) {
    QTreeWidgetItem* item = lw_Files->topLevelItem(i);
    if (item->data(kColName, kRoleConvertible).toBool()) rows.push_back(item);
  }
  return rows;
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
  UpdateConvertState();
}

void Tfrm_Main::BrowseSource() {
  const QString current = txt_Source->text().trimmed();
  const QString folder = current.isEmpty() ? FSettings.SourceFolder : current;
  QStringList names;
  if (FServices.OpenPdfs) names = FServices.OpenPdfs(this, QStringLiteral("Open PDF"), folder, false);
  if (!names.isEmpty()) txt_Source->setText(names.front());
  ValidateSource();
}

void Tfrm_Main::BrowseDestination() {
  QString name = txt_Destination->text().trimmed();
  if (name.isEmpty() && !FSettings.TargetFolder.isEmpty()) name = FSettings.TargetFolder + u'/';
  if (!FServices.SaveRtf) return;
  const QString chosen = FServices.SaveRtf(this, name);
  if (chosen.isEmpty()) return;
  txt_Destination->setText(chosen);
  FSettings.TargetFolder = QFileInfo(chosen).absolutePath();
}

void Tfrm_Main::BrowseFolder() {
  const QString current = txt_DestFolder->text().trimmed();
  if (!FServices.ChooseFolder) return;
  const QString folder = FServices.ChooseFolder(this, QStringLiteral("Specify destination folder."),
                                                current.isEmpty() ? FSettings.TargetFolder : current);
  if (folder.isEmpty()) return;
  txt_DestFolder->setText(folder);
  FSettings.TargetFolder = folder;
}

void Tfrm_Main::BrowseAddFiles() {
  if (!FServices.OpenPdfs) return;
  const QStringList names = FServices.OpenPdfs(this, QStringLiteral("Add PDF files"), FSettings.SourceFolder, true);
  if (!names.isEmpty()) AddFiles(names);
}

void Tfrm_Main::BrowseAddFolder() {
  if (!FServices.ChooseFolder) return;
  const QString folder = FServices.ChooseFolder(this, QStringLiteral("Add the PDF files of a folder"),
                                                FSettings.SourceFolder);
  if (!folder.isEmpty()) AddFolder(folder, chk_Subfolders->isChecked());
}

QString Tfrm_Main::ConvertBlocker() const {
  if (pc_Main->currentWidget() == tab_Multiple) {
    if (lw_Files->topLevelItemCount() == 0) return QStringLiteral("Add the PDF files to convert.");
    if (JobRows().empty()) return QStringLiteral("None of the listed files can be converted.");
    const QString folder = txt_DestFolder->text().trimmed();
    if (folder.isEmpty()) return QStringLiteral("Choose the destination folder.");
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir()) {
      return QStringLiteral("%1 is a file, not a folder.").arg(Quoted(folder));
    }
    return {};
  }
  const QString source = txt_Source->text().trimmed();
  if (source.isEmpty()) return QStringLiteral("Choose the PDF to convert.");
  if (tmr_Validate->isActive()) return QStringLiteral("Checking the PDF...");
  if (!FSourceUsable) return QStringLiteral("The source cannot be converted (see above).");
  const QString destination = txt_Destination->text().trimmed();
  if (destination.isEmpty()) return QStringLiteral("Choose the destination file.");
  const QFileInfo out(EffectiveOutputName(destination));
  if (out.isDir()) return QStringLiteral("The destination is a folder; give a file name.");
  if (out.absoluteFilePath() == QFileInfo(source).absoluteFilePath() ||
      (out.exists() && out.canonicalFilePath() == QFileInfo(source).canonicalFilePath())) {
    return QStringLiteral("The destination is the source PDF itself; choose another name.");
  }
  if (!QFileInfo(out.absolutePath()).isDir()) {
    return QStringLiteral("The folder %1 does not exist.").arg(Quoted(out.absolutePath()));
  }
  if (!PageListProblem(txt_Pages->text(), FSourcePages).isEmpty()) {
    return QStringLiteral("Correct the page list.");
  }
  return {};
}

void Tfrm_Main::UpdateConvertState() {
  const QString pagesProblem = PageListProblem(txt_Pages->text(), FSourcePages);
  lbl_Hint->setText(pagesProblem.isEmpty() ? QStringLiteral("Example: 1,3, 5-9 (leave blank for all)")
                                           : pagesProblem.at(0).toUpper() + pagesProblem.mid(1) + u'.');
  lbl_Hint->setEnabled(!pagesProblem.isEmpty());
  SetProblemStyle(lbl_Hint, !pagesProblem.isEmpty());
  const QString blocker = ConvertBlocker();
  const bool multiple = pc_Main->currentWidget() == tab_Multiple;
  QPushButton* button = multiple ? btn_ConvertMultiple : btn_ConvertSingle;
  QLabel* status = multiple ? lbl_MultipleStatus : lbl_SingleStatus;
  button->setEnabled(blocker.isEmpty());
  button->setToolTip(blocker.isEmpty() ? QStringLiteral("Convert (Ctrl+Return)") : blocker);
  status->setText(blocker);
  if (act_Convert != nullptr) act_Convert->setEnabled(blocker.isEmpty());
}

bool Tfrm_Main::MayReplace(const TJobOptions& AOptions) {
  QStringList existing;
  QString folder;
  if (AOptions.Batch) {
    folder = AOptions.DestFolder.trimmed();
    TBatchNames names;
    for (const TBatchFile& f : AOptions.Files) {
      const QString out = names.Next(folder, f.Name);
      if (QFileInfo::exists(out)) existing.append(QFileInfo(out).fileName());
    }
  } else {
    const QString out = EffectiveOutputName(AOptions.Destination.trimmed());
    if (QFileInfo::exists(out)) existing.append(QFileInfo(out).fileName());
    folder = QFileInfo(out).absolutePath();
  }
  if (existing.isEmpty()) return true;
  QString text;
  if (existing.size() == 1) {
    text = QStringLiteral("%1 already exists in %2.\n\nReplace it?").arg(Quoted(existing.front()), Quoted(folder));
  } else {
    QStringList shown = existing.mid(0, 5);
    if (existing.size() > 5) shown.append(QStringLiteral("..."));
    text = QStringLiteral("%1 of the RTF files already exist in %2 (%3).\n\nReplace them?")
               .arg(existing.size())
               .arg(Quoted(folder), shown.join(QStringLiteral(", ")));
  }
  return FServices.AskYesNo && FServices.AskYesNo(this, QStringLiteral("Replace existing files?"), text);
}

void Tfrm_Main::Convert() {
  UpdateConvertState();
  if (!ConvertBlocker().isEmpty()) return;
  TJobOptions options = JobOptions();
  options.Source = options.Source.trimmed();
  options.Destination = options.Destination.trimmed();
  options.DestFolder = options.DestFolder.trimmed();
  if (!MayReplace(options)) return;
  const std::vector<QTreeWidgetItem*> rows = options.Batch ? JobRows() : std::vector<QTreeWidgetItem*>{};
  for (QTreeWidgetItem* row : rows) {
    row->setText(kColStatus, QStringLiteral("Waiting"));
    row->setForeground(kColStatus, palette().color(QPalette::Text));
  }
  if (options.Batch) {
    FSettings.TargetFolder = QFileInfo(options.DestFolder).absoluteFilePath();
  } else {
    FSettings.TargetFolder = QFileInfo(EffectiveOutputName(options.Destination)).absolutePath();
  }
  TProcessServices ps;
  ps.Converter = FServices.Converter;
  ps.OpenPath = FServices.OpenPath;
  ps.AskPassword = FServices.AskPassword;
  ps.ClockMs = FServices.ClockMs;
  ps.FileStatus = [this, rows](int AIndex, const QString& AStatus) {
    if (AIndex < 0 || static_cast<std::size_t>(AIndex) >= rows.size()) return;
    QTreeWidgetItem* row = rows[static_cast<std::size_t>(AIndex)];
    row->setText(kColStatus, AStatus);
    row->setToolTip(kColStatus, AStatus);
    const bool bad = AStatus.startsWith(QStringLiteral("Failed")) || AStatus.startsWith(QStringLiteral("Password"));
    row->setForeground(kColStatus, bad ? QColor(200, 0, 0) : palette().color(QPalette::Text));
  };
  Tfrm_Process process(std::move(options), std::move(ps), this);
  if (FServices.RunProcess) {
    FServices.RunProcess(process);
  } else {
    process.exec();
  }
}

void Tfrm_Main::ShowHelp() {
  if (QFileInfo(FServices.HelpFilePath).isFile()) {
    statusBar()->showMessage(QStringLiteral("Opening the user guide in your web browser..."), 5000);
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
