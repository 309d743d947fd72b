#include "formatter/kwFormatterMeasure.h"

#include <map>
#include <tuple>
#include <utility>

#include "formatter/kwFormatterUtil.h"
#include "platform/kwFontFace.h"
#include "platform/ScreenDpi.h"

namespace qm {

namespace {

class TkwScreenTextMeasurer final : public TkwTextMeasurer {
public:
  TkwTextExtent Measure(const TFont& AFont, std::u16string_view AText) override {
    if (!(AFont.Size > 0)) return {};
    const TkwFontFace* face = Face(AFont);
    return face != nullptr ? GetTextExtent(*face, AFont.Size, AText) : TkwTextExtent{};
  }

private:
  // The system faces this formatter has measured with, so that measuring a glyph takes no
  // process-wide lock (the faces themselves are shared by every job).
  const TkwFontFace* Face(const TFont& AFont) {
    const bool bold = fmt::FontBold(AFont);
    const bool italic = fmt::FontItalic(AFont);
    if (FLast != nullptr && FLast->first == std::tie(AFont.Name, bold, italic)) {
      return FLast->second.get();
    }
    auto it = FFaces.find(std::tie(AFont.Name, bold, italic));
    if (it == FFaces.end()) {
      it = FFaces.emplace(std::make_tuple(AFont.Name, bold, italic), GetSystemFace(AFont.Name, bold, italic)).first;
    }
    FLast = &*it;
    return it->second.get();
  }

  using TKey = std::tuple<std::string, bool, bool>;
  std::map<TKey, std::shared_ptr<TkwFontFace>, std::less<>> FFaces;
  const std::pair<const TKey, std::shared_ptr<TkwFontFace>>* FLast = nullptr;
};

}  // namespace

std::unique_ptr<TkwTextMeasurer> CreateScreenTextMeasurer() {
  // The font library must outlive the cached faces at process exit: start it before the
  // first face is cached (opening no file starts it and opens nothing).
  static const bool started = [] { return TkwFontFace::OpenFile(std::string()) == nullptr; }();
  (void)started;
  return std::make_unique<TkwScreenTextMeasurer>();
}

void TkwFontWidthCache::SetMeasurer(TkwTextMeasurer& AMeasurer) {
  FMeasurer = &AMeasurer;
  Clear();
}

void TkwFontWidthCache::Clear() {
  FEntries.clear();
  FLast = nullptr;
}

const TkwFontWidthCache::TEntry& TkwFontWidthCache::LookupFace(const TFont& AFont) {
  std::string key = fmt::FaceKey(AFont);
  auto it = FEntries.find(key);
  if (it == FEntries.end()) {
    const double ppp = kPixelsPerPoint;
    TEntry entry;
    const auto space = FMeasurer->Measure(AFont, u" ");
    entry.Space = space.Width / ppp;
    entry.SpaceHeight = space.Height / ppp;
    entry.W = FMeasurer->Measure(AFont, u"W").Width / ppp;
    it = FEntries.emplace(key, entry).first;
  }
  FLastFont = AFont;
  FLast = &it->second;
  return *FLast;
}

double TkwFontWidthCache::TextWidth(const TFont& AFont, std::u16string_view AText) {
  return FMeasurer->Measure(AFont, AText).Width / kPixelsPerPoint;
}

double TkwFontWidthCache::TextHeight(const TFont& AFont, std::u16string_view AText) {
  return FMeasurer->Measure(AFont, AText).Height / kPixelsPerPoint;
}

}  // namespace qm
