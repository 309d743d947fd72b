#include "app/AppSettings.h"

#include "app/IniFile.h"
#include "platform/UserFolders.h"

namespace qm {
namespace {

const QString kSection = QStringLiteral("General");

constexpr const char* kChoiceKeys[kChoiceBoxCount] = {
    "Page", "HSection", "Shape", "Paragraph", "Image", "TextLine", "Text", "Table", "Row", "Column"};

QString BoolText(bool AValue) { return AValue ? QStringLiteral("1") : QStringLiteral("0"); }

}  // namespace

const char* ChoiceKey(TChoiceBox ABox) { return kChoiceKeys[static_cast<int>(ABox)]; }

TChoices PresetDefault() { return TChoices{}; }

TChoices PresetImagesOnly() {
  TChoices c;
  c.fill(kChoiceSkip);
  c[static_cast<int>(TChoiceBox::cbImage)] = kChoiceProcess;
  return c;
}

TChoices PresetPlainText() {
  TChoices c;
  c.fill(kChoiceSkip);
  for (TChoiceBox b : {TChoiceBox::cbParagraph, TChoiceBox::cbTextLine, TChoiceBox::cbText}) {
    c[static_cast<int>(b)] = kChoiceProcess;
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
  for (int i = 0; i < kChoiceBoxCount; ++i) {
    const int v = ini.ReadInteger(kSection, QString::fromLatin1(kChoiceKeys[i]), kChoiceProcess);
    // A choice box has three items; anything else can only come from a damaged file.
    s.Choices[i] = (v >= kChoiceProcess && v <= kChoiceSkip) ? v : kChoiceProcess;
  }
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
  for (int i = 0; i < kChoiceBoxCount; ++i) {
    ini.SetValue(kSection, QString::fromLatin1(kChoiceKeys[i]),
                 QString::number(ASettings.Choices[i]));
  }
  return ini.Save(APath);
}

}  // namespace qm
