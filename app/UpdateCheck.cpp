#include "app/UpdateCheck.h"

namespace qm {

QString ProgramVersion() { return QStringLiteral(QM_PROGRAM_VERSION); }

std::optional<int> VersionNumber(const QString& AVersion) {
  QString v = AVersion;
  if (v.size() == 3) {
    v += QStringLiteral(".0.0");
  } else if (v.size() == 5) {
    v += QStringLiteral(".0");
  }
  int n = 0;
  for (int pos : {0, 2, 4, 6}) {
    if (pos >= v.size()) return std::nullopt;
    const QChar c = v[pos];
    if (c < u'0' || c > u'9') return std::nullopt;
    n = n * 10 + (c.unicode() - u'0');
  }
  return n;
}

bool IsNewerVersion(const QString& ARemote, const QString& ALocal) {
  if (ARemote.isEmpty()) return false;
  const std::optional<int> remote = VersionNumber(ARemote);
  const std::optional<int> local = VersionNumber(ALocal);
  return remote && local && *local < *remote;
}

QString UpdatePromptText(const QString& AVersion) {
  return QStringLiteral("A new version is available: ") + AVersion +
         QStringLiteral("\n\nDo you want to visit the download page now?");
}

std::optional<QString> ExtractMarkedValue(const QString& AText, const QString& AStart,
                                          const QString& ASecond, const QString& AEnd) {
  if (AStart.isEmpty()) return AText;
  const qsizetype s = AText.indexOf(AStart);
  if (s < 0) return std::nullopt;
  const qsizetype second = AText.indexOf(ASecond, s + AStart.size());
  if (second < 0) return std::nullopt;
  const qsizetype from = second + ASecond.size();
  const qsizetype end = AText.indexOf(AEnd, from);
  if (end < 0) return std::nullopt;
  return AText.mid(from, end - from);
}

}  // namespace qm
