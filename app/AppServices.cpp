#include "app/MainWindow.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
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
  s.AskPassword = [](QWidget* AParent,
                     const QString& AFileName) -> std::optional<std::string> {
    bool ok = false;
    const QString text = QInputDialog::getText(
        AParent, QStringLiteral("Password"),
        QStringLiteral("Password for %1:").arg(QFileInfo(AFileName).fileName()),
        QLineEdit::Password, QString(), &ok);
    if (!ok) return std::nullopt;
    return PasswordBytes(text);
  };
  return s;
}

}  // namespace qm
