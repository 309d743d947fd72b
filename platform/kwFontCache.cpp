#include "platform/kwFontCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>

#include "base/Limits.h"
#include "platform/UserFolders.h"

namespace qm {
namespace {

constexpr std::string_view kHeader = "quillmark font cache 1";

// Fields are separated by tabs and records by line ends; a backslash escapes those three.
std::string Escape(std::string_view AText) {
  std::string out;
  for (const char c : AText) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> Unescape(std::string_view AText) {
  std::string out;
  for (std::size_t i = 0; i < AText.size(); ++i) {
    if (AText[i] != '\\') {
      out += AText[i];
      continue;
    }
    if (++i == AText.size()) return std::nullopt;
    switch (AText[i]) {
      case '\\': out += '\\'; break;
      case 't': out += '\t'; break;
      case 'n': out += '\n'; break;
      default: return std::nullopt;
    }
  }
  return out;
}

std::vector<std::string_view> Split(std::string_view ALine) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = ALine.find('\t', start);
    fields.push_back(ALine.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

std::optional<int> ToInt(std::string_view AText) {
  int value = 0;
  const auto [end, ec] = std::from_chars(AText.data(), AText.data() + AText.size(), value);
  if (ec != std::errc() || end != AText.data() + AText.size()) return std::nullopt;
  return value;
}

// A path's state: modification time to the nanosecond, size and kind; "-" when absent.
std::string StateOf(const std::string& APath, std::time_t* AChanged = nullptr) {
  struct stat st {};
  if (::stat(APath.c_str(), &st) != 0) return "-";
  if (AChanged) *AChanged = st.st_mtim.tv_sec;
  return std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) + " " +
         std::to_string(st.st_size) + " " + std::to_string(st.st_mode & S_IFMT);
}

}  // namespace

std::vector<std::string> StampPaths(const std::vector<std::string>& APaths) {
  std::vector<std::string> stamps;
  const std::time_t now = std::time(nullptr);
  for (const std::string& path : APaths) {
    std::time_t changed = 0;
    const std::string state = StateOf(path, &changed);
    if (state != "-" && changed > now - 2) return {};
    stamps.push_back(Escape(path) + "\t" + state);
  }
  return stamps;
}

std::string WriteFontCache(const TkwFontCache& ACache, std::string_view AEnvironment) {
  std::string out(kHeader);
  out += "\nenv\t" + Escape(AEnvironment) + "\n";
  for (const std::string& s : ACache.Stamps) out += "stamp\t" + s + "\n";
  for (const TkwCachedFace& f : ACache.Faces) {
    out += "face\t" + Escape(f.Family) + "\t" + Escape(f.Path) + "\t" + std::to_string(f.Index) + "\t" +
           std::to_string(f.Weight) + "\t" + std::to_string(f.Slant) + "\n";
  }
  for (const TkwCachedMatch& m : ACache.Matches) {
    out += "match\t" + Escape(m.Family) + "\t" + (m.Bold ? "1" : "0") + "\t" + (m.Italic ? "1" : "0") + "\t" +
           Escape(m.Path) + "\t" + std::to_string(m.Index) + "\n";
  }
  out += "end\n";
  return out;
}

std::optional<TkwFontCache> ReadFontCache(std::string_view AText, std::string_view AEnvironment) {
  TkwFontCache cache;
  bool sawEnv = false, sawEnd = false;
  std::size_t pos = 0;
  bool first = true;
  while (pos < AText.size()) {
    const std::size_t nl = AText.find('\n', pos);
    if (nl == std::string_view::npos) return std::nullopt;  // cut short
    const std::string_view line = AText.substr(pos, nl - pos);
    pos = nl + 1;
    if (first) {
      if (line != kHeader) return std::nullopt;
      first = false;
      continue;
    }
    if (sawEnd) return std::nullopt;
    const auto f = Split(line);
    if (f[0] == "end" && f.size() == 1) {
      sawEnd = true;
    } else if (f[0] == "env" && f.size() == 2 && !sawEnv) {
      const auto env = Unescape(f[1]);
      if (!env || *env != AEnvironment) return std::nullopt;
      sawEnv = true;
    } else if (f[0] == "stamp" && f.size() == 3 && sawEnv) {
      const auto path = Unescape(f[1]);
      if (!path || StateOf(*path) != f[2]) return std::nullopt;  // changed since
      cache.Stamps.push_back(std::string(f[1]) + "\t" + std::string(f[2]));
    } else if (f[0] == "face" && f.size() == 6 && sawEnv) {
      auto family = Unescape(f[1]), path = Unescape(f[2]);
      const auto index = ToInt(f[3]), weight = ToInt(f[4]), slant = ToInt(f[5]);
      if (!family || !path || !index || !weight || !slant) return std::nullopt;
      cache.Faces.push_back({std::move(*family), std::move(*path), *index, *weight, *slant});
    } else if (f[0] == "match" && f.size() == 6 && sawEnv) {
      auto family = Unescape(f[1]), path = Unescape(f[4]);
      const auto index = ToInt(f[5]);
      if (!family || !path || !index || (f[2] != "0" && f[2] != "1") || (f[3] != "0" && f[3] != "1")) {
        return std::nullopt;
      }
      cache.Matches.push_back({std::move(*family), f[2] == "1", f[3] == "1", std::move(*path), *index});
    } else {
      return std::nullopt;
    }
  }
  // Without stamps nothing would ever make the cache stale.
  if (!sawEnd || cache.Stamps.empty()) return std::nullopt;
  return cache;
}

std::string FontCacheFileName() {
  const std::string folder = GetUserCacheFolder();
  return folder.empty() ? std::string() : folder + "/quillmark/fonts.cache";
}

std::optional<std::string> LoadFontCacheFile(const std::string& AFileName) {
  std::ifstream in(AFileName, std::ios::binary | std::ios::ate);
  if (!in || in.tellg() > kMaxFontCacheBytes) return std::nullopt;
  in.seekg(0);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return text;
}

bool SaveFontCacheFile(const std::string& AFileName, const std::string& AText) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path target(AFileName);
  fs::create_directories(target.parent_path(), ec);
  if (ec) return false;
  // A name nobody can guess, created with O_EXCL by mkstemp: a link planted in the cache
  // folder is never followed, and two processes never share a temporary file.
  std::string temp = AFileName + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool written = true;
  std::string_view rest(AText);
  while (!rest.empty()) {
    const ssize_t n = ::write(fd, rest.data(), rest.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      written = false;
      break;
    }
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
  written = written && ::fsync(fd) == 0;
  written = ::close(fd) == 0 && written;
  if (!written) {
    fs::remove(temp, ec);
    return false;
  }
  fs::rename(temp, target, ec);
  if (ec) {
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

}  // namespace qm
