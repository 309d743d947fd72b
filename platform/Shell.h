#pragma once

#include <functional>
#include <string>

namespace qm {

// Opens a file or folder with the desktop's default program (xdg-open), without waiting
// for it. Returns false when the opener could not be started.
bool ShellOpen(const std::string& APath);

// Replaces the opener (tests); an empty function restores xdg-open.
using TShellOpenHook = std::function<bool(const std::string& APath)>;
void SetShellOpenHook(TShellOpenHook AHook);

}  // namespace qm
