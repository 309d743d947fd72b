#pragma once

#include <iosfwd>

#include "cli/CliOptions.h"

// Runs the parsed command: converters for `convert`, the document summary for `info`.
// Reports progress and errors on AErr and returns the exit status.
namespace qm::cli {

// ATerminal: AErr is a terminal, so progress is drawn as bars unless --verbose or --quiet.
// Converts AOptions.Jobs files at once (capped at the number of inputs).
[[nodiscard]] int RunConvert(const TOptions& AOptions, std::ostream& AErr, bool ATerminal);
[[nodiscard]] int RunInfo(const TOptions& AOptions, std::ostream& AOut, std::ostream& AErr);

// Makes SIGINT and SIGTERM stop every running conversion within a few operators of its
// page (its output is left as it was), start no further file, and end the run with
// kExitInterrupted; a second signal ends the process at once.
void InstallInterruptHandler();
// What the handler does; async-signal-safe.
void Interrupt() noexcept;

// Where a batch puts the RTF of AInput: ADest, a path delimiter, and the input's file name
// with its extension changed to ".rtf".
[[nodiscard]] std::string BatchOutputName(const std::string& ADest, const std::string& AInput);
// The input's name with its extension changed to ".rtf", in the input's folder.
[[nodiscard]] std::string BesideInputName(const std::string& AInput);

}  // namespace qm::cli
