#include "formatter/kwFormatterMeasure.h"

#include "formatter/kwFormatterUtil.h"
#include "platform/FontFace.h"
#include "platform/ScreenDpi.h"

namespace qm {

namespace {

class TkwScreenTextMeasurer final : public TkwTextMeasurer {
public:
  TkwTextExtent Measure(const TFont& AFont, std::u16string_view AText) override {
    return GetTextExtent(AFont.Name, AFont.Size, fmt::FontBold(AFont), fmt::FontItalic(AFont), AText);
  }
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
