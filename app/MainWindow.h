#pragma once

#include <QMainWindow>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTreeWidget>
#include <QUrl>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/AppSettings.h"
#include "app/JobLogic.h"

class QAction;
class QCheckBox;
class QComboBox;
class QInputDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTimer;

// The main window: the single-file page, the multiple-files page and the options, the
// settings file, the validation of each chosen PDF, the update check and the processing
// window. Everything that reaches outside the window (files, dialogs, the shell, the
// converter, the network answer's prompt) goes through TMainServices, so tests can stand in.
namespace qm {

class TWebData;
class Tfrm_Process;

struct TMainServices {
  QString SettingsPath;
  QString HelpFilePath;
  TJobConverterFactory Converter;
  std::function<std::unique_ptr<TPdfProbe>()> Probe;
  std::function<void(const QString&)> OpenPath;
  std::function<void(const QUrl&)> OpenUrl;
  std::function<void(QWidget*, const QString& ATitle, const QString& AText, QMessageBox::Icon)>
      Message;
  std::function<bool(QWidget*, const QString& ATitle, const QString& AText)> AskYesNo;
  // AWrongBefore: the password given last did not open the file; the question says so.
  std::function<std::optional<std::string>(QWidget*, const QString& AFileName, bool AWrongBefore)>
      AskPassword;
  // The file dialogs: PDFs to open (one or many), the RTF file to save, a folder.
  std::function<QStringList(QWidget*, const QString& ATitle, const QString& AFolder, bool AMany)>
      OpenPdfs;
  std::function<QString(QWidget*, const QString& AName)> SaveRtf;
  std::function<QString(QWidget*, const QString& ATitle, const QString& AFolder)> ChooseFolder;
  // Shows the processing window until it closes (exec by default).
  std::function<void(Tfrm_Process&)> RunProcess;
  std::function<qint64()> ClockMs;
};

// The password question's text; after a wrong password it says so.
[[nodiscard]] QString PasswordPrompt(const QString& AFileName, bool AWrongBefore);

// The password question of the real services.
[[nodiscard]] std::unique_ptr<QInputDialog> MakePasswordDialog(QWidget* AParent, const QString& AFileName,
                                                               bool AWrongBefore);

// The real services: the settings file of the user, the help file beside the program, the
// converter, xdg-open, message boxes and a password input box.
[[nodiscard]] TMainServices DefaultMainServices();

// A file list that hands over the names of dropped files and, while empty, says how to
// fill it.
class TFileList final : public QTreeWidget {
  Q_OBJECT
public:
  explicit TFileList(QWidget* AParent = nullptr);
  static QString EmptyHint();
signals:
  void FilesDropped(const QStringList& ANames);

protected:
  void paintEvent(QPaintEvent* AEvent) override;
  void dragEnterEvent(QDragEnterEvent* AEvent) override;
  void dragMoveEvent(QDragMoveEvent* AEvent) override;
  void dropEvent(QDropEvent* AEvent) override;
};

class Tfrm_Main final : public QMainWindow {
  Q_OBJECT
public:
  explicit Tfrm_Main(TMainServices AServices, QWidget* AParent = nullptr);
  ~Tfrm_Main() override;

  // The validation of txt_Source (after the "..." dialog, Enter, a drop, or a pause in
  // typing): the details line shows its size and pages, or why it cannot be converted.
  void ValidateSource();
  // A drop on the single-file page.
  void DropOnSingle(const QStringList& ANames);
  // A drop on the file list, or Add files...: every file gets a row; one that cannot be
  // converted says why in its status.
  void AddFiles(const QStringList& ANames);
  // The PDFs of a folder, with those of its subfolders when ASubfolders.
  void AddFolder(const QString& AFolder, bool ASubfolders);
  // Why Convert on the active page is disabled; empty when it is enabled.
  [[nodiscard]] QString ConvertBlocker() const;
  void ApplyPreset(const TChoices& AChoices);
  // Convert on the active page: the processing window, until it closes.
  void Convert();
  void ShowHelp();
  // The update check, as the update timer starts it.
  void StartUpdateCheck();
  void UpdateDataFound(const QString& AValue);

  [[nodiscard]] TAppSettings SettingsFromControls() const;
  void ApplySettings(const TAppSettings& ASettings);
  [[nodiscard]] TJobOptions JobOptions() const;
  [[nodiscard]] TChoices Choices() const;
  [[nodiscard]] TWebData* WebData() const { return FWebData; }

  QTabWidget* pc_Main = nullptr;
  QWidget* tab_Single = nullptr;
  QWidget* tab_Multiple = nullptr;
  QWidget* tab_Options = nullptr;
  QLineEdit* txt_Source = nullptr;
  QPushButton* btn_Source = nullptr;
  QLineEdit* txt_Destination = nullptr;
  QPushButton* btn_Destination = nullptr;
  QLineEdit* txt_Pages = nullptr;
  QLabel* lbl_Hint = nullptr;
  QLabel* lbl_Details = nullptr;
  QLabel* lbl_SingleStatus = nullptr;  // why Convert is disabled
  QPushButton* btn_ConvertSingle = nullptr;
  TFileList* lw_Files = nullptr;
  QPushButton* btn_AddFiles = nullptr;
  QPushButton* btn_AddFolder = nullptr;
  QCheckBox* chk_Subfolders = nullptr;
  QPushButton* btn_Remove = nullptr;
  QLabel* lbl_MultipleStatus = nullptr;
  QLineEdit* txt_DestFolder = nullptr;
  QPushButton* btn_DestFolder = nullptr;
  QPushButton* btn_ConvertMultiple = nullptr;
  QCheckBox* chk_Format = nullptr;
  QCheckBox* chk_Open = nullptr;
  QCheckBox* chk_Custom = nullptr;
  QCheckBox* chk_Update = nullptr;
  QWidget* pnl_Left = nullptr;
  QWidget* pnl_Right = nullptr;
  QWidget* pnl_Presets = nullptr;
  std::array<QComboBox*, kChoiceBoxCount> cmb_Choice{};
  QPushButton* btn_Default = nullptr;
  QPushButton* btn_ImagesOnly = nullptr;
  QPushButton* btn_PlainText = nullptr;
  QAction* act_Open = nullptr;
  QAction* act_Convert = nullptr;
  QAction* act_Exit = nullptr;
  QAction* act_Help = nullptr;
  QAction* act_CheckUpdate = nullptr;
  QAction* act_About = nullptr;
  QAction* act_SelectAll = nullptr;
  QAction* act_Delete = nullptr;
  QAction* act_ClearAll = nullptr;
  QTimer* tmr_Update = nullptr;
  QTimer* tmr_Validate = nullptr;  // validates the source after a pause in typing

protected:
  void showEvent(QShowEvent* AEvent) override;
  void closeEvent(QCloseEvent* AEvent) override;
  bool eventFilter(QObject* AWatched, QEvent* AEvent) override;

private:
  void BuildSinglePage();
  void BuildMultiplePage();
  void BuildOptionsPage();
  void BuildMenu();
  void CustomToggled(bool AChecked);
  void ListContextMenu(const QPoint& APos);
  void DeleteSelectedRows();
  // Page count of a PDF through the validating converter, asking for a password when the
  // file needs one (AAskOnce: at most one question). Throws when the file does not open;
  // nothing when the user gave up on the password.
  std::optional<int> ProbeFile(const QString& AFileName, bool AAskOnce);
  void BrowseSource();
  void BrowseDestination();
  void BrowseFolder();
  void BrowseAddFiles();
  void BrowseAddFolder();
  void SourceEdited();
  void UpdateConvertState();
  // Rows of the file list that a batch converts, in order.
  [[nodiscard]] std::vector<QTreeWidgetItem*> JobRows() const;
  void AddRow(const QString& AName);
  void ShowDetails(const QString& AText, bool AProblem);
  // The replace question before a job writes over existing files; true: go on.
  bool MayReplace(const TJobOptions& AOptions);

  TMainServices FServices;
  std::unique_ptr<TPdfProbe> FProbe;  // the validating converter
  TAppSettings FSettings;
  std::map<QString, std::string> FPasswords;
  // The source as last validated: its page count when known, and whether it can be converted.
  std::optional<int> FSourcePages;
  bool FSourceUsable = false;
  TWebData* FWebData = nullptr;
  bool FShownOnce = false;
  bool FUpdateChecked = false;
};

// "Size: 1,500 KB, Pages: 3" and the list's "1,500 KB": kilobytes with the user's thousands
// separator.
[[nodiscard]] QString FormatKB(qint64 ABytes);

}  // namespace qm
