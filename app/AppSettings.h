#pragma once

#include <QString>

#include <array>

#include "base/kwElementKind.h"

// The options the application keeps between runs, in the INI file "Quillmark.ini",
// section "General". Reading never fails: a missing file, key or unreadable value gives the
// default. Keys the application does not know, and other sections, survive a write.
namespace qm {

// One choice box per element kind; the main window lists them, and the settings file
// keeps them, in the order of kElementKindNames.
inline constexpr int kChoiceBoxCount = static_cast<int>(kElementKindCount);
// Choice index per element kind (indexed by KindIndex): 0 "Process", 1 "Leave Space",
// 2 "Skip".
using TChoices = TkwPerElementKind<int>;
inline constexpr int kChoiceProcess = 0;
inline constexpr int kChoiceLeaveSpace = 1;
inline constexpr int kChoiceSkip = 2;

// The settings-file key of a kind's choice box, and the caption of the box.
[[nodiscard]] QString ChoiceKey(TkwElementKind AKind);
[[nodiscard]] QString ChoiceCaption(TkwElementKind AKind);

// The three presets of the options page.
[[nodiscard]] TChoices PresetDefault();
[[nodiscard]] TChoices PresetImagesOnly();
[[nodiscard]] TChoices PresetPlainText();

struct TAppSettings {
  bool Update = true;   // "Check for Update on Startup"
  bool Tabs = true;     // "Format with tabs"
  bool Open = false;    // "Open after conversion"
  bool Custom = false;  // "Custom process"
  TChoices Choices{};   // all "Process"
  // The main window's size (0: the default), and the folders the file dialogs start in:
  // where PDFs were last picked and where results last went.
  int Width = 0;
  int Height = 0;
  QString SourceFolder;
  QString TargetFolder;
  // Where the update check looks, and the page its prompt opens. Read only: the file keeps
  // whatever an administrator wrote; an empty UpdateURL turns the check off.
  QString UpdateURL;
  QString DownloadURL;

  TAppSettings();
};

// $XDG_CONFIG_HOME/Quillmark/Quillmark.ini (default ~/.config/Quillmark/Quillmark.ini).
[[nodiscard]] QString SettingsFilePath();

[[nodiscard]] TAppSettings LoadSettings(const QString& APath);
// Writes every key of section "General" and keeps the rest of the file. Creates the
// folder when needed. Returns false when the file cannot be written; nothing else happens.
bool SaveSettings(const QString& APath, const TAppSettings& ASettings);

// The web site the About box links to.
[[nodiscard]] QString WebSiteURL();

}  // namespace qm
