#pragma once

#include <pybind11/pybind11.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliOptions.h"

// One conversion for Python: a PDF from a file or from bytes-like data, into RTF bytes or
// into a file written atomically. The engine runs in a thread of its own with the GIL
// released, while the calling thread waits, hands on cancellation and watches for Ctrl-C.
namespace qm::py {

namespace pybind = pybind11;

// The exception classes of the module, made when it is imported and kept for the life
// of the interpreter.
struct TErrors {
  pybind::handle Error;
  pybind::handle PasswordRequired;
  pybind::handle InvalidPDF;
  pybind::handle Cancelled;
};
extern TErrors gErrors;

struct TJobOptions {
  std::string Pages;  // page-range text; empty: every page
  bool Tabs = true;
  std::optional<std::string> Password;
  std::optional<std::string> Preset;
  std::vector<std::string> Process;  // "KIND=ACTION", applied after the preset
};

class TPyJob {
public:
  // ASource is a path (AIsPath) or an object exporting a buffer of PDF data, held until
  // the job is dropped. An empty AOutput gives the RTF as bytes. Raises ValueError for an
  // unknown preset or a malformed process choice.
  TPyJob(pybind::object ASource, bool AIsPath, std::string AOutput, const TJobOptions& AOptions);

  // Converts; returns (rtf bytes or None, converted pages, warnings). Raises the module's
  // exceptions with the engine's message (and its warnings), KeyboardInterrupt when Ctrl-C
  // stopped it. A job runs once at a time; it may run again.
  pybind::tuple Run();
  // Stops the running (or next) run at the next point the engine checks; safe from any
  // thread.
  void Cancel() noexcept { FCancel.store(true); }
  [[nodiscard]] bool Cancelled() const noexcept { return FCancel.load(); }

private:
  pybind::object FSource;
  bool FIsPath;
  std::string FPath;
  std::string FOutput;
  TJobOptions FOptions;
  bool FCustom = false;
  cli::TElementActions FActions{};
  std::atomic<bool> FCancel{false};
  std::atomic<bool> FRunning{false};
};

// quillmark.info: {"pages", "version", "encryption"} (encryption None when not encrypted).
[[nodiscard]] pybind::dict Info(const pybind::object& ASource, bool AIsPath, const std::string& APassword);

}  // namespace qm::py
