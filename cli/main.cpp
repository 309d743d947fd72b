#include <unistd.h>

#include <exception>
#include <iostream>

#include "base/OutOfMemory.h"
#include "cli/CliOptions.h"
#include "cli/CliRunner.h"

int main(int argc, char** argv) {
  using namespace qm::cli;
  try {
    TOptions options;
    if (auto status = ParseOptions(argc, argv, options, std::cout, std::cerr)) return *status;
    if (options.Command == TCommand::cmInfo) return RunInfo(options, std::cout, std::cerr);
    InstallInterruptHandler();
    return RunConvert(options, std::cerr, isatty(STDERR_FILENO) == 1);
  } catch (const std::exception& e) {
    std::cerr << "quillmark: " << qm::ErrorMessage(e) << '\n';
    return kExitFailed;
  }
}
