#include "platform/Shell.h"

#include <spawn.h>
#include <sys/wait.h>

#include <thread>
#include <utility>

extern char** environ;

namespace qm {

namespace {
TShellOpenHook& Hook() {
  static TShellOpenHook hook;
  return hook;
}
}  // namespace

void SetShellOpenHook(TShellOpenHook AHook) { Hook() = std::move(AHook); }

bool ShellOpen(const std::string& APath) {
  if (Hook()) return Hook()(APath);
  std::string program = "xdg-open";
  std::string path = APath;
  char* argv[] = {program.data(), path.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) return false;
  // Reap the opener in the background so that it never lingers as a zombie.
  std::thread([pid] {
    int status = 0;
    waitpid(pid, &status, 0);
  }).detach();
  return true;
}

}  // namespace qm
