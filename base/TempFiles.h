#pragma once

#include <string>

namespace qm {

// The temporary files the process is writing, for a signal handler that ends the process
// at once (a second Ctrl-C) to remove. Registering and unregistering may run on any thread;
// RemoveRegisteredTempFiles makes only async-signal-safe calls. Up to kMaxRegisteredTempFiles
// are held; a file beyond them is simply not removed by the handler.

void RegisterTempFile(const std::string& APath) noexcept;
void UnregisterTempFile(const std::string& APath) noexcept;
void RemoveRegisteredTempFiles() noexcept;

}  // namespace qm
