#include "platform/SystemFonts.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

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

class TkwFontCatalogue {
public:
  // The catalogue owns its fontconfig configuration, so that nothing of fontconfig's
  // global state is made (and left behind at exit).
  TkwFontCatalogue() : FConfig(FcInitLoadConfigAndFonts()) {
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
    for (const auto& f : FFaces) FFamilies.push_back(f.Family);
    for (const auto& a : kAliases) {
      if (HasFamily(a.Family)) FFamilies.emplace_back(a.Alias);
    }
    std::sort(FFamilies.begin(), FFamilies.end());
    FFamilies.erase(std::unique(FFamilies.begin(), FFamilies.end()), FFamilies.end());
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
  TkwFontFile FindUncached(const std::string& AFamily, bool ABold, bool AItalic) const {
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

    TkwFcPattern pat(FcPatternCreate());
    FcPatternAddString(pat.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(AFamily.c_str()));
    FcPatternAddInteger(pat.get(), FC_WEIGHT, wantWeight);
    FcPatternAddInteger(pat.get(), FC_SLANT, wantSlant);
    FcPatternAddBool(pat.get(), FC_OUTLINE, FcTrue);
    FcConfigSubstitute(FConfig, pat.get(), FcMatchPattern);
    FcDefaultSubstitute(pat.get());
    FcResult res = FcResultNoMatch;
    TkwFcPattern match(FcFontMatch(FConfig, pat.get(), &res));
    TkwFontFile out;
    if (match) {
      FcChar8* file = nullptr;
      if (FcPatternGetString(match.get(), FC_FILE, 0, &file) == FcResultMatch) {
        out.Path = reinterpret_cast<const char*>(file);
        FcPatternGetInteger(match.get(), FC_INDEX, 0, &out.Index);
      }
    }
    if (out.Path.empty() && !FFaces.empty()) out = {FFaces.front().Path, FFaces.front().Index};
    return out;
  }

  FcConfig* FConfig = nullptr;  // owned
  std::vector<TkwFaceEntry> FFaces;
  std::vector<std::string> FFamilies;
  mutable std::mutex FMutex;
  std::map<std::tuple<std::string, bool, bool>, TkwFontFile> FCache;
};

TkwFontCatalogue& Catalogue() {
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
