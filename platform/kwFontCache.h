#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// What the font catalogue learns from fontconfig, kept in a file between runs: reading
// fontconfig's configuration costs every run several milliseconds, while the answer only
// changes with the configuration or the fonts installed.
struct TkwCachedFace {
  std::string Family;
  std::string Path;
  int Index = 0;
  int Weight = 0;
  int Slant = 0;
  friend bool operator==(const TkwCachedFace&, const TkwCachedFace&) = default;
};

// A family fontconfig matched by its rules (one not installed), and the file it chose.
struct TkwCachedMatch {
  std::string Family;
  bool Bold = false;
  bool Italic = false;
  std::string Path;
  int Index = 0;
  friend bool operator==(const TkwCachedMatch&, const TkwCachedMatch&) = default;
};

struct TkwFontCache {
  // One line per watched file or folder: its name and its state (modification time and
  // size, or absence). The cache holds while every one is as it was.
  std::vector<std::string> Stamps;
  std::vector<TkwCachedFace> Faces;
  std::vector<TkwCachedMatch> Matches;
};

// The stamp lines of these paths as they are now. Empty when one of them changed in the
// last two seconds: a folder being filled is not a state to remember.
[[nodiscard]] std::vector<std::string> StampPaths(const std::vector<std::string>& APaths);

// The cache file's text. AEnvironment names what else the answer depends on (variables
// that move fontconfig's files, its version); a cache made under another one is stale.
[[nodiscard]] std::string WriteFontCache(const TkwFontCache& ACache, std::string_view AEnvironment);

// The cache in the text, when it is whole, made under AEnvironment and every stamp still
// holds; nothing otherwise.
[[nodiscard]] std::optional<TkwFontCache> ReadFontCache(std::string_view AText, std::string_view AEnvironment);

// Where the cache lives: $XDG_CACHE_HOME/quillmark/fonts.cache, else under ~/.cache;
// empty when neither is set.
[[nodiscard]] std::string FontCacheFileName();

// The file's text; nothing when it cannot be read or is far larger than any cache.
[[nodiscard]] std::optional<std::string> LoadFontCacheFile(const std::string& AFileName);

// Replaces the file with the text through a temporary file beside it; false on failure
// (the cache is then simply not kept).
bool SaveFontCacheFile(const std::string& AFileName, const std::string& AText);

}  // namespace qm
