#include "app/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace qm {
namespace {

bool IsSectionHeader(const QString& ALine, QString* AName) {
  const QString t = ALine.trimmed();
  if (t.size() < 2 || !t.startsWith(u'[') || !t.endsWith(u']')) return false;
  if (AName != nullptr) *AName = t.mid(1, t.size() - 2).trimmed();
  return true;
}

// Key of a "key=value" line, or an empty string for any other line.
QString KeyOf(const QString& ALine) {
  const qsizetype eq = ALine.indexOf(u'=');
  if (eq <= 0) return {};
  return ALine.left(eq).trimmed();
}

}  // namespace

void TIniFile::Load(const QString& APath) {
  FLines.clear();
  QFile f(APath);
  if (!f.open(QIODevice::ReadOnly)) return;
  if (f.size() > kMaxFileBytes) return;
  Parse(QString::fromUtf8(f.read(kMaxFileBytes)));
}

void TIniFile::Parse(const QString& AText) {
  FLines.clear();
  QString text = AText;
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  text.replace(u'\r', u'\n');
  // NUL bytes and other control characters come only from damage; they would end the line
  // early in other readers, so they are dropped here.
  for (QString& line : text.split(u'\n')) {
    line.removeIf([](QChar c) { return c.unicode() < 0x20 && c != u'\t'; });
    FLines.append(line);
  }
  while (!FLines.isEmpty() && FLines.back().trimmed().isEmpty()) FLines.removeLast();
}

int TIniFile::FindSection(const QString& ASection) const {
  QString name;
  for (int i = 0; i < FLines.size(); ++i) {
    if (IsSectionHeader(FLines[i], &name) && name.compare(ASection, Qt::CaseInsensitive) == 0) {
      return i;
    }
  }
  return -1;
}

int TIniFile::FindKey(int ASectionLine, const QString& AKey) const {
  for (int i = ASectionLine + 1; i < FLines.size(); ++i) {
    if (IsSectionHeader(FLines[i], nullptr)) break;
    if (KeyOf(FLines[i]).compare(AKey, Qt::CaseInsensitive) == 0) return i;
  }
  return -1;
}

std::optional<QString> TIniFile::Value(const QString& ASection, const QString& AKey) const {
  const int s = FindSection(ASection);
  if (s < 0) return std::nullopt;
  const int k = FindKey(s, AKey);
  if (k < 0) return std::nullopt;
  const QString& line = FLines[k];
  return line.mid(line.indexOf(u'=') + 1).trimmed();
}

void TIniFile::SetValue(const QString& ASection, const QString& AKey, const QString& AValue) {
  const QString line = AKey + u'=' + AValue;
  int s = FindSection(ASection);
  if (s < 0) {
    if (!FLines.isEmpty()) FLines.append(QString());
    FLines.append(u'[' + ASection + u']');
    FLines.append(line);
    return;
  }
  const int k = FindKey(s, AKey);
  if (k >= 0) {
    FLines[k] = line;
    return;
  }
  // After the section's last key, before any blank lines that separate it from the next.
  int at = s + 1;
  for (int i = s + 1; i < FLines.size() && !IsSectionHeader(FLines[i], nullptr); ++i) {
    if (!FLines[i].trimmed().isEmpty()) at = i + 1;
  }
  FLines.insert(at, line);
}

QString TIniFile::Text() const {
  QString out;
  for (const QString& line : FLines) {
    out += line;
    out += u'\n';
  }
  return out;
}

bool TIniFile::Save(const QString& APath) const {
  const QFileInfo info(APath);
  if (!QDir().mkpath(info.absolutePath())) return false;
  QSaveFile f(APath);
  if (!f.open(QIODevice::WriteOnly)) return false;
  const QByteArray bytes = Text().toUtf8();
  if (f.write(bytes) != bytes.size()) {
    f.cancelWriting();
    return false;
  }
  return f.commit();
}

int TIniFile::ReadInteger(const QString& ASection, const QString& AKey, int ADefault) const {
  const std::optional<QString> v = Value(ASection, AKey);
  if (!v) return ADefault;
  bool ok = false;
  const int n = v->toInt(&ok, 10);
  return ok ? n : ADefault;
}

bool TIniFile::ReadBool(const QString& ASection, const QString& AKey, bool ADefault) const {
  return ReadInteger(ASection, AKey, ADefault ? 1 : 0) != 0;
}

}  // namespace qm
