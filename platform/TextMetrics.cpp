#include "platform/TextMetrics.h"

#include <map>
#include <mutex>
#include <tuple>

#include "platform/ScreenDpi.h"
#include "platform/SystemFonts.h"

namespace qm {
namespace {

struct TkwFaceCache {
  std::mutex Mutex;
  // Keyed by the name as asked, so the per-call cost is one map lookup.
  std::map<std::tuple<std::string, bool, bool>, std::shared_ptr<TkwFontFace>, std::less<>> Faces;
  // Several names may resolve to one file; open it once.
  std::map<std::pair<std::string, int>, std::shared_ptr<TkwFontFace>> ByFile;
};

TkwFaceCache& FaceCache() {
  // Shared by every job: lookups take Mutex, and each face guards its FreeType face itself.
  static TkwFaceCache cache;
  return cache;
}

}  // namespace

std::shared_ptr<TkwFontFace> GetSystemFace(std::string_view AFamily, bool ABold, bool AItalic) {
  auto& cache = FaceCache();
  std::lock_guard lock(cache.Mutex);
  auto key = std::make_tuple(std::string(AFamily), ABold, AItalic);
  if (auto it = cache.Faces.find(key); it != cache.Faces.end()) return it->second;
  const TkwFontFile file = FindFontFile(AFamily, ABold, AItalic);
  std::shared_ptr<TkwFontFace> face;
  auto fileKey = std::make_pair(file.Path, file.Index);
  if (auto it = cache.ByFile.find(fileKey); it != cache.ByFile.end()) {
    face = it->second;
  } else {
    face = TkwFontFace::OpenFile(file.Path, file.Index);
    if (face) cache.ByFile.emplace(std::move(fileKey), face);
  }
  // Failures are cached too: retrying a missing font on every glyph would be slow.
  cache.Faces.emplace(std::move(key), face);
  return face;
}

TkwTextExtent GetTextExtent(const TkwFontFace& AFace, double ASizePt, std::u16string_view AText) {
  if (!(ASizePt > 0)) return {};
  const double pxPerUnit = ASizePt * GetScreenDpi() / 72.0 / AFace.GetUnitsPerEm();
  return {double(AFace.GetTextAdvance(AText)) * pxPerUnit,
          double(AFace.GetCellAscent() + AFace.GetCellDescent()) * pxPerUnit};
}

TkwTextExtent GetTextExtent(std::string_view AFamily, double ASizePt, bool ABold, bool AItalic,
                            std::u16string_view AText) {
  if (!(ASizePt > 0)) return {};
  auto face = GetSystemFace(AFamily, ABold, AItalic);
  if (!face) return {};
  return GetTextExtent(*face, ASizePt, AText);
}

std::optional<TkwFontCellMetrics> GetFontCellMetrics(std::string_view AFamily, bool ABold, bool AItalic) {
  auto face = GetSystemFace(AFamily, ABold, AItalic);
  if (!face) return std::nullopt;
  return TkwFontCellMetrics{face->GetUnitsPerEm(), face->GetCellAscent(), face->GetCellDescent(),
                            face->GetLineSpacing()};
}

}  // namespace qm
