#pragma once

#include <QString>

#include <optional>

// The pure part of the update check: reading the version text of the update-information
// file and deciding whether it names a newer program.
namespace qm {

// The running program's version text.
[[nodiscard]] QString ProgramVersion();

// The number a version text stands for: ".0.0" is added to a 3-character text and ".0" to
// a 5-character one, then the characters at positions 1, 3, 5 and 7 are read as one decimal
// number ("1.1" gives 1100, "1.0.9" gives 1090). Nothing when those characters are missing
// or not digits, which is what a trailing line break or any other form leads to.
[[nodiscard]] std::optional<int> VersionNumber(const QString& AVersion);

// True when ARemote names a higher version than ALocal; false on any text that does not read.
[[nodiscard]] bool IsNewerVersion(const QString& ARemote, const QString& ALocal);

// The update prompt's text for the version found.
[[nodiscard]] QString UpdatePromptText(const QString& AVersion);

// The value between markers: with an empty start marker the whole text; otherwise the text
// between the second and the end marker, found in order after the start marker.
[[nodiscard]] std::optional<QString> ExtractMarkedValue(const QString& AText,
                                                        const QString& AStart,
                                                        const QString& ASecond,
                                                        const QString& AEnd);

}  // namespace qm
