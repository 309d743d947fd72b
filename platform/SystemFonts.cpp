#include "platform/SystemFonts.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

#include "platform/kwFontCache.h"
#include "platform/UserFolders.h"

namespace qm {
namespace {

struct TkwAliasRow {
  std::string_view Alias;
  std::string_view Family;
};

// Metric-compatible stand-ins: documents laid out for these names keep their line breaks.
constexpr TkwAliasRow kAliases[] = {
    {"Arial", "Liberation Sans"},
    {"Times New Roman", "Liberation Serif"},
    {"Courier New", "Liberation Mono"},
};

bool EqualNoCase(std::string_view A, std::string_view B) {
  if (A.size() != B.size()) return false;
  for (std::size_t i = 0; i < A.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (lower(A[i]) != lower(B[i])) return false;
  }
  return true;
}

struct TkwFcPatternDeleter {
  void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
struct TkwFcFontSetDeleter {
  void operator()(FcFontSet* s) const { FcFontSetDestroy(s); }
};
struct TkwFcObjectSetDeleter {
  void operator()(FcObjectSet* s) const { FcObjectSetDestroy(s); }
};
using TkwFcPattern = std::unique_ptr<FcPattern, TkwFcPatternDeleter>;

struct TkwFaceEntry {
  std::string Family;
  std::string Path;
  int Index = 0;
  int Weight = FC_WEIGHT_REGULAR;
  int Slant = FC_SLANT_ROMAN;
};

// Everything besides the files themselves that moves what fontconfig reads.
std::string CacheEnvironment() {
  std::string env = "fontconfig " + std::to_string(FcGetVersion());
  for (const char* name : {"FONTCONFIG_FILE", "FONTCONFIG_PATH", "FONTCONFIG_SYSROOT", "HOME", "XDG_CONFIG_HOME",
                           "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
    const char* v = std::getenv(name);
    env += '\x1f';
    env += name;
    env += '=';
    if (v != nullptr) env += v;
  }
  return env;
}

void AddAll(FcStrList* AList, std::vector<std::string>& AOut) {
  if (AList == nullptr) return;
  while (FcChar8* s = FcStrListNext(AList)) AOut.emplace_back(reinterpret_cast<const char*>(s));
  FcStrListDone(AList);
}

// The files and folders whose change can change fontconfig's answer: the configuration
// files it read and their folders, the font folders (with the ones found inside them),
// and the usual places of configuration and fonts that do not exist yet.
std::vector<std::string> WatchedPaths(FcConfig* AConfig) {
  std::vector<std::string> paths;
  AddAll(FcConfigGetConfigFiles(AConfig), paths);
  const std::size_t files = paths.size();
  for (std::size_t i = 0; i < files; ++i) {
    const std::size_t slash = paths[i].rfind('/');
    if (slash != std::string::npos && slash > 0) paths.push_back(paths[i].substr(0, slash));
  }
  AddAll(FcConfigGetConfigDirs(AConfig), paths);
  AddAll(FcConfigGetFontDirs(AConfig), paths);
  const std::string config = GetUserConfigFolder();
  for (const std::string& p : {std::string("/etc/fonts"), std::string("/etc/fonts/fonts.conf"),
                               std::string("/etc/fonts/conf.d"), config + "/fontconfig",
                               config + "/fontconfig/fonts.conf", config + "/fontconfig/conf.d"}) {
    paths.push_back(p);
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    for (const char* p : {"/.fonts.conf", "/.fonts.conf.d", "/.fonts", "/.local/share/fonts"}) {
      paths.push_back(std::string(home) + p);
    }
  }
  if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data != '\0') {
    paths.push_back(std::string(data) + "/fonts");
  }
  std::sort(paths.begin(), paths.end());
  paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
  return paths;
}

class TkwFontCatalogue {
public:
  // The catalogue owns its fontconfig configuration, so that nothing of fontconfig's
  // global state is made (and left behind at exit). What fontconfig answered is kept in
  // the user's cache folder; while the files it depends on are unchanged, a run takes it
  // from there and reads the configuration only when a family must be matched anew.
  TkwFontCatalogue() : FCacheFile(FontCacheFileName()), FEnvironment(CacheEnvironment()) {
    if (!FCacheFile.empty()) {
      if (const auto text = LoadFontCacheFile(FCacheFile)) {
        if (auto cache = ReadFontCache(*text, FEnvironment)) {
          FStamps = std::move(cache->Stamps);
          for (TkwCachedFace& f : cache->Faces) {
            FFaces.push_back({std::move(f.Family), std::move(f.Path), f.Index, f.Weight, f.Slant});
          }
          for (TkwCachedMatch& m : cache->Matches) {
            FMatches[std::make_tuple(m.Family, m.Bold, m.Italic)] = {std::move(m.Path), m.Index};
          }
          BuildFamilies();
          return;
        }
      }
    }
    LoadConfig();
    ListFaces();
    BuildFamilies();
    if (!FCacheFile.empty() && FConfig != nullptr) {
      FStamps = StampPaths(WatchedPaths(FConfig));
      SaveCache();
    }
  }

  ~TkwFontCatalogue() {
    if (FConfig != nullptr) FcConfigDestroy(FConfig);
  }
  TkwFontCatalogue(const TkwFontCatalogue&) = delete;
  TkwFontCatalogue& operator=(const TkwFontCatalogue&) = delete;

  const std::vector<std::string>& Families() const { return FFamilies; }

  bool HasFamily(std::string_view AFamily) const {
    return std::any_of(FFaces.begin(), FFaces.end(),
                       [&](const TkwFaceEntry& f) { return EqualNoCase(f.Family, AFamily); });
  }

  std::string Resolve(std::string_view AFamily) const {
    for (const auto& a : kAliases) {
      if (EqualNoCase(a.Alias, AFamily) && HasFamily(a.Family)) return std::string(a.Family);
    }
    return std::string(AFamily);
  }

  TkwFontFile Find(std::string_view AFamily, bool ABold, bool AItalic) {
    std::lock_guard lock(FMutex);
    auto key = std::make_tuple(std::string(AFamily), ABold, AItalic);
    if (auto it = FCache.find(key); it != FCache.end()) return it->second;
    TkwFontFile result = FindUncached(Resolve(AFamily), ABold, AItalic);
    FCache.emplace(std::move(key), result);
    return result;
  }

private:
  void LoadConfig() {
    if (!FConfigLoaded) FConfig = FcInitLoadConfigAndFonts();
    FConfigLoaded = true;
  }

  void ListFaces() {
    if (FConfig == nullptr) return;
    TkwFcPattern pat(FcPatternCreate());
    std::unique_ptr<FcObjectSet, TkwFcObjectSetDeleter> os(
        FcObjectSetBuild(FC_FAMILY, FC_FILE, FC_INDEX, FC_WEIGHT, FC_SLANT, FC_OUTLINE, nullptr));
    std::unique_ptr<FcFontSet, TkwFcFontSetDeleter> set(FcFontList(FConfig, pat.get(), os.get()));
    if (set) {
      for (int i = 0; i < set->nfont; ++i) {
        FcPattern* p = set->fonts[i];
        FcBool outline = FcFalse;
        if (FcPatternGetBool(p, FC_OUTLINE, 0, &outline) != FcResultMatch || !outline) continue;
        FcChar8* family = nullptr;
        FcChar8* file = nullptr;
        if (FcPatternGetString(p, FC_FAMILY, 0, &family) != FcResultMatch) continue;
        if (FcPatternGetString(p, FC_FILE, 0, &file) != FcResultMatch) continue;
        TkwFaceEntry e;
        e.Family = reinterpret_cast<const char*>(family);
        e.Path = reinterpret_cast<const char*>(file);
        FcPatternGetInteger(p, FC_INDEX, 0, &e.Index);
        FcPatternGetInteger(p, FC_WEIGHT, 0, &e.Weight);
        FcPatternGetInteger(p, FC_SLANT, 0, &e.Slant);
        FFaces.push_back(std::move(e));
      }
    }
    // fontconfig lists in cache order, which differs between machines.
    std::sort(FFaces.begin(), FFaces.end(), [](const TkwFaceEntry& a, const TkwFaceEntry& b) {
      return std::tie(a.Family, a.Weight, a.Slant, a.Path, a.Index) <
             std::tie(b.Family, b.Weight, b.Slant, b.Path, b.Index);
    });
  }

  void BuildFamilies() {
    for (const auto& f : FFaces) FFamilies.push_back(f.Family);
    for (const auto& a : kAliases) {
      if (HasFamily(a.Family)) FFamilies.emplace_back(a.Alias);
    }
    std::sort(FFamilies.begin(), FFamilies.end());
    FFamilies.erase(std::unique(FFamilies.begin(), FFamilies.end()), FFamilies.end());
  }

  void SaveCache() const {
    if (FStamps.empty()) return;  // nothing to tell a stale cache by
    TkwFontCache cache;
    cache.Stamps = FStamps;
    for (const TkwFaceEntry& f : FFaces) cache.Faces.push_back({f.Family, f.Path, f.Index, f.Weight, f.Slant});
    for (const auto& [key, file] : FMatches) {
      cache.Matches.push_back({std::get<0>(key), std::get<1>(key), std::get<2>(key), file.Path, file.Index});
    }
    SaveFontCacheFile(FCacheFile, WriteFontCache(cache, FEnvironment));
  }

  TkwFontFile FindUncached(const std::string& AFamily, bool ABold, bool AItalic) {
    const int wantWeight = ABold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR;
    const int wantSlant = AItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN;
    const TkwFaceEntry* best = nullptr;
    long bestScore = 0;
    for (const auto& f : FFaces) {
      if (!EqualNoCase(f.Family, AFamily)) continue;
      // Slant outweighs weight: an upright bold face is a worse italic than a light italic.
      // Oblique counts as italic.
      const bool slanted = f.Slant != FC_SLANT_ROMAN;
      long score = (slanted == AItalic ? 0 : 100000) + std::abs(f.Weight - wantWeight) * 10 +
                   (f.Slant == wantSlant ? 0 : 1);
      if (best == nullptr || score < bestScore) {
        best = &f;
        bestScore = score;
      }
    }
    if (best != nullptr) return {best->Path, best->Index};

    TkwFontFile out;
    const auto matchKey = std::make_tuple(AFamily, ABold, AItalic);
    if (auto it = FMatches.find(matchKey); it != FMatches.end()) {
      out = it->second;
    } else {
      // A family fontconfig's rules decide: the configuration is read now if the
      // catalogue came from the cache, and the answer is kept for the next runs.
      LoadConfig();
      if (FConfig != nullptr) {
        TkwFcPattern pat(FcPatternCreate());
        FcPatternAddString(pat.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(AFamily.c_str()));
        FcPatternAddInteger(pat.get(), FC_WEIGHT, wantWeight);
        FcPatternAddInteger(pat.get(), FC_SLANT, wantSlant);
        FcPatternAddBool(pat.get(), FC_OUTLINE, FcTrue);
        FcConfigSubstitute(FConfig, pat.get(), FcMatchPattern);
        FcDefaultSubstitute(pat.get());
        FcResult res = FcResultNoMatch;
        TkwFcPattern match(FcFontMatch(FConfig, pat.get(), &res));
        if (match) {
          FcChar8* file = nullptr;
          if (FcPatternGetString(match.get(), FC_FILE, 0, &file) == FcResultMatch) {
            out.Path = reinterpret_cast<const char*>(file);
            FcPatternGetInteger(match.get(), FC_INDEX, 0, &out.Index);
          }
        }
        FMatches.emplace(matchKey, out);
        SaveCache();
      }
    }
    if (out.Path.empty() && !FFaces.empty()) out = {FFaces.front().Path, FFaces.front().Index};
    return out;
  }

  std::string FCacheFile;
  std::string FEnvironment;
  std::vector<std::string> FStamps;  // of the cache, loaded or made; empty: none is kept
  FcConfig* FConfig = nullptr;  // owned; read only when needed if the cache served
  bool FConfigLoaded = false;
  std::vector<TkwFaceEntry> FFaces;
  std::vector<std::string> FFamilies;
  mutable std::mutex FMutex;
  std::map<std::tuple<std::string, bool, bool>, TkwFontFile> FCache;
  std::map<std::tuple<std::string, bool, bool>, TkwFontFile> FMatches;  // fontconfig's own matches
};

TkwFontCatalogue& Catalogue() {
  // Shared by every job: the installed fonts are read once and every lookup takes FMutex.
  static TkwFontCatalogue catalogue;
  return catalogue;
}

}  // namespace

const std::vector<std::string>& GetInstalledFonts() { return Catalogue().Families(); }

bool IsFontInstalled(std::string_view AFamily) {
  const auto& f = Catalogue().Families();
  return std::any_of(f.begin(), f.end(), [&](const std::string& n) { return EqualNoCase(n, AFamily); });
}

std::string ResolveFontFamily(std::string_view AFamily) { return Catalogue().Resolve(AFamily); }

TkwFontFile FindFontFile(std::string_view AFamily, bool ABold, bool AItalic) {
  return Catalogue().Find(AFamily, ABold, AItalic);
}

}  // namespace qm
