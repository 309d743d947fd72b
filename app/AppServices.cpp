#include "app/MainWindow.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>

#include "app/ConverterBridge.h"

namespace qm {
namespace {

// The user guide beside the program, or in the installed data folder.
QString FindHelpFile() {
  const QString dir = QCoreApplication::applicationDirPath();
  const QStringList candidates = {
      dir + QStringLiteral("/Quillmark.html"),
      QDir::cleanPath(dir + QStringLiteral("/../share/quillmark/Quillmark.html"))};
  for (const QString& c : candidates) {
    if (QFileInfo(c).isFile()) return c;
  }
  return candidates.front();
}

// PDF passwords are bytes; the standard security handler reads them as PDFDocEncoding,
// which agrees with Latin-1 for what a keyboard types.
std::string PasswordBytes(const QString& AText) {
  for (QChar c : AText) {
    if (c.unicode() > 0xFF) return AText.toStdString();
  }
  return AText.toLatin1().toStdString();
}

}  // namespace

QString PasswordPrompt(const QString& AFileName, bool AWrongBefore) {
  const QString name = QFileInfo(AFileName).fileName();
  if (AWrongBefore) {
    return QStringLiteral("That password did not open \u201C%1\u201D. Check it (letter case "
                          "counts) and type it again:").arg(name);
  }
  return QStringLiteral("\u201C%1\u201D is protected by a password. Password:").arg(name);
}

std::unique_ptr<QInputDialog> MakePasswordDialog(QWidget* AParent, const QString& AFileName,
                                                 bool AWrongBefore) {
  auto dialog = std::make_unique<QInputDialog>(AParent);
  dialog->setWindowTitle(AWrongBefore ? QStringLiteral("Wrong password") : QStringLiteral("Password"));
  dialog->setLabelText(PasswordPrompt(AFileName, AWrongBefore));
  dialog->setTextEchoMode(QLineEdit::Password);
  dialog->setInputMode(QInputDialog::TextInput);
  return dialog;
}

TMainServices DefaultMainServices() {
  TMainServices s;
  s.SettingsPath = SettingsFilePath();
  s.HelpFilePath = FindHelpFile();
  s.Converter = [] { return MakeEngineConverter(); };
  s.Probe = [] { return MakeEngineProbe(); };
  s.OpenPath = [](const QString& APath) { QDesktopServices::openUrl(QUrl::fromLocalFile(APath)); };
  s.OpenUrl = [](const QUrl& AUrl) { QDesktopServices::openUrl(AUrl); };
  s.Message = [](QWidget* AParent, const QString& ATitle, const QString& AText,
                 QMessageBox::Icon AIcon) {
    QMessageBox box(AIcon, ATitle, AText, QMessageBox::Ok, AParent);
    box.exec();
  };
  s.AskYesNo = [](QWidget* AParent, const QString& ATitle, const QString& AText) {
    QMessageBox box(QMessageBox::Information, ATitle, AText, QMessageBox::Yes | QMessageBox::No,
                    AParent);
    return box.exec() == QMessageBox::Yes;
  };
  s.AskPassword = [](QWidget* AParent, const QString& AFileName,
                     bool AWrongBefore) -> std::optional<std::string> {
    const std::unique_ptr<QInputDialog> dialog = MakePasswordDialog(AParent, AFileName, AWrongBefore);
    if (dialog->exec() != QDialog::Accepted) return std::nullopt;
    return PasswordBytes(dialog->textValue());
  };
  s.OpenPdfs = [](QWidget* AParent, const QString& ATitle, const QString& AFolder,
                  bool AMany) -> QStringList {
    const QString filter = QStringLiteral("PDF (*.pdf *.PDF)");
    if (AMany) return QFileDialog::getOpenFileNames(AParent, ATitle, AFolder, filter);
    const QString name = QFileDialog::getOpenFileName(AParent, ATitle, AFolder, filter);
    return name.isEmpty() ? QStringList() : QStringList{name};
  };
  s.SaveRtf = [](QWidget* AParent, const QString& AName) -> QString {
    QFileDialog dialog(AParent, QStringLiteral("Save the RTF file as"), AName,
                       QStringLiteral("RTF (*.rtf)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("rtf"));
    // The main window asks before a job replaces a file; asking here too would ask twice.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
  };
  s.ChooseFolder = [](QWidget* AParent, const QString& ATitle, const QString& AFolder) {
    return QFileDialog::getExistingDirectory(AParent, ATitle, AFolder, QFileDialog::ShowDirsOnly);
  };
  return s;
}

}  // namespace qm
