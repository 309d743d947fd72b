#include "app/AppSettings.h"

#include "app/IniFile.h"
#include "platform/UserFolders.h"

namespace qm {
namespace {

const QString kSection = QStringLiteral("General");

QString Latin1(std::string_view AText) {
  return QString::fromLatin1(AText.data(), static_cast<qsizetype>(AText.size()));
}

QString BoolText(bool AValue) { return AValue ? QStringLiteral("1") : QStringLiteral("0"); }

}  // namespace

QString ChoiceKey(TkwElementKind AKind) { return Latin1(ElementKindName(AKind).Key); }
QString ChoiceCaption(TkwElementKind AKind) { return Latin1(ElementKindName(AKind).Caption); }

TChoices PresetDefault() { return TChoices{}; }

TChoices PresetImagesOnly() {
  TChoices c;
  c.fill(kChoiceSkip);
  c[KindIndex(TkwElementKind::ekImage)] = kChoiceProcess;
  return c;
}

TChoices PresetPlainText() {
  TChoices c;
  c.fill(kChoiceSkip);
  for (TkwElementKind k : {TkwElementKind::ekParagraph, TkwElementKind::ekTextLine, TkwElementKind::ekText}) {
    c[KindIndex(k)] = kChoiceProcess;
  }
  return c;
}

TAppSettings::TAppSettings()
    : UpdateURL(QStringLiteral(QM_DEFAULT_UPDATE_URL)),
      DownloadURL(QStringLiteral(QM_DEFAULT_DOWNLOAD_URL)) {}

QString WebSiteURL() { return QStringLiteral(QM_DEFAULT_WEBSITE_URL); }

QString SettingsFilePath() {
  return QString::fromStdString(GetUserConfigFolder()) +
         QStringLiteral("/Quillmark/Quillmark.ini");
}

TAppSettings LoadSettings(const QString& APath) {
  TIniFile ini;
  ini.Load(APath);
  TAppSettings s;
  s.Update = ini.ReadBool(kSection, QStringLiteral("Update"), s.Update);
  s.Tabs = ini.ReadBool(kSection, QStringLiteral("Tabs"), s.Tabs);
  s.Open = ini.ReadBool(kSection, QStringLiteral("Open"), s.Open);
  s.Custom = ini.ReadBool(kSection, QStringLiteral("Custom"), s.Custom);
  for (const TkwElementKindName& k : kElementKindNames) {
    const int v = ini.ReadInteger(kSection, ChoiceKey(k.Kind), kChoiceProcess);
    // A choice box has three items; anything else can only come from a damaged file.
    s.Choices[KindIndex(k.Kind)] = (v >= kChoiceProcess && v <= kChoiceSkip) ? v : kChoiceProcess;
  }
  // A size from a damaged file could put the window beyond any screen.
  const auto size = [&ini](const QString& AKey) {
    const int v = ini.ReadInteger(kSection, AKey, 0);
    return v > 0 && v <= 16384 ? v : 0;
  };
  s.Width = size(QStringLiteral("Width"));
  s.Height = size(QStringLiteral("Height"));
  if (auto v = ini.Value(kSection, QStringLiteral("SourceFolder"))) s.SourceFolder = *v;
  if (auto v = ini.Value(kSection, QStringLiteral("TargetFolder"))) s.TargetFolder = *v;
  if (auto v = ini.Value(kSection, QStringLiteral("UpdateURL"))) s.UpdateURL = *v;
  if (auto v = ini.Value(kSection, QStringLiteral("DownloadURL"))) s.DownloadURL = *v;
  return s;
}

bool SaveSettings(const QString& APath, const TAppSettings& ASettings) {
  TIniFile ini;
  ini.Load(APath);
  ini.SetValue(kSection, QStringLiteral("Update"), BoolText(ASettings.Update));
  ini.SetValue(kSection, QStringLiteral("Tabs"), BoolText(ASettings.Tabs));
  ini.SetValue(kSection, QStringLiteral("Open"), BoolText(ASettings.Open));
  ini.SetValue(kSection, QStringLiteral("Custom"), BoolText(ASettings.Custom));
  for (const TkwElementKindName& k : kElementKindNames) {
    ini.SetValue(kSection, ChoiceKey(k.Kind), QString::number(ASettings.Choices[KindIndex(k.Kind)]));
  }
  if (ASettings.Width > 0 && ASettings.Height > 0) {
    ini.SetValue(kSection, QStringLiteral("Width"), QString::number(ASettings.Width));
    ini.SetValue(kSection, QStringLiteral("Height"), QString::number(ASettings.Height));
  }
  ini.SetValue(kSection, QStringLiteral("SourceFolder"), ASettings.SourceFolder);
  ini.SetValue(kSection, QStringLiteral("TargetFolder"), ASettings.TargetFolder);
  return ini.Save(APath);
}

}  // namespace qm
