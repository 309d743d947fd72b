#pragma once

// Timing, memory and reporting shared by the benchmarks.
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace qm::bench {

// Best wall time in seconds of ARuns calls (the least disturbed run).
inline double BestOf(int ARuns, const std::function<void()>& AWork) {
  double best = 1e30;
  for (int i = 0; i < ARuns; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    AWork();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

struct TCommandRun {
  int ExitCode = -1;
  double Seconds = 0;       // best wall time
  long PeakKiB = 0;         // peak resident size of the child
};

// Runs a shell command ARuns times; the peak resident size is the largest of the runs.
inline TCommandRun RunCommand(const std::string& ACommand, int ARuns = 3) {
  TCommandRun r;
  r.Seconds = 1e30;
  for (int i = 0; i < ARuns; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::execl("/bin/sh", "sh", "-c", ACommand.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    r.Seconds = std::min(r.Seconds, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    r.PeakKiB = std::max(r.PeakKiB, usage.ru_maxrss);
    r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  return r;
}

// Peak resident size of this process so far, in KiB.
inline long SelfPeakKiB() {
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// The quillmark command of the build a benchmark belongs to (ARgv0 is the benchmark's own
// path), or nothing, said on stdout, when it is not built.
inline std::optional<std::filesystem::path> BuiltCommand(const char* AArgv0) {
  const auto self = std::filesystem::absolute(AArgv0);
  auto cli = self.parent_path().parent_path() / "cli" / "quillmark";
  if (!std::filesystem::exists(cli)) {
    std::printf("%s is not built\n", cli.c_str());
    return std::nullopt;
  }
  return cli;
}

// A shell word for AArg, quoted.
inline std::string ShellQuote(const std::string& AArg) {
  std::string q = "'";
  for (char c : AArg) {
    if (c == '\'') {
      q += "'\\''";
    } else {
      q += c;
    }
  }
  return q + "'";
}

// A scratch folder for a benchmark's inputs and outputs, kept between runs so that the
// generated corpus is made once.
inline std::filesystem::path ScratchDir(const std::string& AName) {
  const auto dir = std::filesystem::temp_directory_path() / ("quillmark-bench-" + AName);
  std::filesystem::create_directories(dir);
  return dir;
}

// Prints one figure against its reference and limit; false when the limit is missed.
inline bool Report(const std::string& AName, double AValue, double AReference, double ALimitRatio,
                   const char* AUnit = "s") {
  const double ratio = AReference > 0 ? AValue / AReference : 0;
  const bool ok = AReference <= 0 || ratio <= ALimitRatio;
  std::printf("%s: %.3f %s (reference %.3f %s, ratio %.2fx, limit %.2fx)%s\n", AName.c_str(), AValue,
              AUnit, AReference, AUnit, ratio, ALimitRatio, ok ? "" : "  MISSED");
  return ok;
}

}  // namespace qm::bench
