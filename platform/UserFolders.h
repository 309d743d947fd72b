#pragma once

#include <string>

namespace qm {

// Per-user settings folder: $XDG_CONFIG_HOME, or ~/.config when it is unset or empty
// (HOME unset falls back to the current folder). Never creates the folder. No trailing slash.
[[nodiscard]] std::string GetUserConfigFolder();

// Per-user cache folder: $XDG_CACHE_HOME when it is an absolute path, else ~/.cache; empty
// when HOME is not an absolute path either (nothing is cached then). Never creates the
// folder. No trailing slash.
[[nodiscard]] std::string GetUserCacheFolder();

// Temporary folder: $TMPDIR, or /tmp when it is unset or empty. No trailing slash.
[[nodiscard]] std::string GetTempFolder();

}  // namespace qm
