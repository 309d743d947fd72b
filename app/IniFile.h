#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// A small INI file: sections of "key=value" lines. Section and key names compare without
// regard to case, as the settings file has always been read. Lines that are neither keep
// their place, so a write changes only the values it sets.
namespace qm {

class TIniFile {
public:
  // Files larger than this are treated as damaged and read as empty.
  static constexpr qint64 kMaxFileBytes = qint64{1} << 20;

  // Reads the file; a missing, unreadable or oversized file gives an empty one.
  void Load(const QString& APath);
  void Parse(const QString& AText);

  [[nodiscard]] std::optional<QString> Value(const QString& ASection, const QString& AKey) const;
  void SetValue(const QString& ASection, const QString& AKey, const QString& AValue);

  [[nodiscard]] QString Text() const;
  // Replaces the file in one step (a crash mid-write leaves the old file).
  bool Save(const QString& APath) const;

  // Integer value as the settings have always read it: decimal, blanks trimmed; anything
  // else gives the default.
  [[nodiscard]] int ReadInteger(const QString& ASection, const QString& AKey, int ADefault) const;
  [[nodiscard]] bool ReadBool(const QString& ASection, const QString& AKey, bool ADefault) const;

private:
  [[nodiscard]] int FindSection(const QString& ASection) const;  // line index of the header
  [[nodiscard]] int FindKey(int ASectionLine, const QString& AKey) const;

  QStringList FLines;
};

}  // namespace qm
