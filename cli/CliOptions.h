#pragma once

#include <array>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/kwElementKind.h"
#include "converter/kwConvEnums.h"

// The command line of `quillmark`, parsed into plain values. Nothing here runs the engine.
namespace qm::cli {

inline constexpr const char* kVersion = "1.1";

// Exit statuses.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;    // a conversion (or the info query) failed
inline constexpr int kExitUsage = 2;     // the command line is wrong
inline constexpr int kExitPassword = 3;  // a password is required or was wrong
inline constexpr int kExitLostContent = 4;  // --strict: a conversion left content out
inline constexpr int kExitInterrupted = 130;  // Ctrl-C (SIGINT) or SIGTERM stopped the run

enum class TCommand { cmNone, cmConvert, cmInfo };

// What each element kind gets, indexed by KindIndex.
using TElementActions = TkwPerElementKind<TkwAction>;

// Files converted at once when --jobs is not given: the number of processor cores.
[[nodiscard]] unsigned DefaultJobs();

// The choices of a preset ("default", "images-only", "plain-text"), or nothing for an
// unknown name.
[[nodiscard]] std::optional<TElementActions> PresetActions(std::string_view AName);
// Applies one "KIND=ACTION" (actions process, leave-space, skip); false when malformed.
[[nodiscard]] bool ApplyProcessChoice(std::string_view AChoice, TElementActions& AActions);

struct TOptions {
  TCommand Command = TCommand::cmNone;
  std::vector<std::string> Inputs;  // "-" is standard input
  std::string Output;     // -o; empty: beside the input; "-": standard output; a folder: NAME.rtf inside
  std::string Dest;       // --dest; empty: no batch folder
  std::string Pages;      // --pages; empty: every page
  std::optional<std::string> Password;
  bool Strict = false;     // --strict: content left out is a failure (kExitLostContent)
  bool NoClobber = false;  // --no-clobber: an existing output is not replaced
  bool Json = false;       // info --json
  bool Tabs = true;
  bool Open = false;
  bool Verbose = false;
  bool Quiet = false;
  // --jobs: files converted at once (capped at the number of inputs); the parser's default
  // is DefaultJobs().
  unsigned Jobs = 1;
  // Set by --preset or --process: every element kind gets its action from Actions.
  bool Custom = false;
  TElementActions Actions{};
};

// Parses argv. Returns nothing when the command should run; otherwise the exit status,
// after printing help or the version to AOut, or a one-line usage error to AErr.
[[nodiscard]] std::optional<int> ParseOptions(int AArgc, const char* const* AArgv, TOptions& AOptions,
                                              std::ostream& AOut, std::ostream& AErr);

}  // namespace qm::cli
