#pragma once

#include <string>

namespace qm {

// Per-user settings folder: $XDG_CONFIG_HOME, or ~/.config when it is unset or empty
// (HOME unset falls back to the current folder). Never creates the folder. No trailing slash.
[[nodiscard]] std::string GetUserConfigFolder();

// Temporary folder: $TMPDIR, or /tmp when it is unset or empty. No trailing slash.
[[nodiscard]] std::string GetTempFolder();

}  // namespace qm
