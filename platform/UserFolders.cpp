#include "platform/UserFolders.h"

#include <cstdlib>

namespace qm {
namespace {

std::string EnvOr(const char* AName, std::string AFallback) {
  const char* v = std::getenv(AName);
  if (v == nullptr || *v == '\0') return AFallback;
  return v;
}

std::string StripSlash(std::string APath) {
  while (APath.size() > 1 && APath.back() == '/') APath.pop_back();
  return APath;
}

}  // namespace

std::string GetUserConfigFolder() {
  const char* v = std::getenv("XDG_CONFIG_HOME");
  if (v != nullptr && *v != '\0') return StripSlash(v);
  return StripSlash(EnvOr("HOME", ".")) + "/.config";
}

std::string GetUserCacheFolder() {
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache != nullptr && *cache == '/') return StripSlash(cache);
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home == '/') return StripSlash(home) + "/.cache";
  return {};
}

std::string GetTempFolder() { return StripSlash(EnvOr("TMPDIR", "/tmp")); }

}  // namespace qm
