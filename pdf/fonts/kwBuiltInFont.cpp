#include "pdf/fonts/kwBuiltInFont.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace qm {

TkwBuiltInFont::TkwBuiltInFont(const data::TkwAfmFont& AFont)
    : FMetrics(AFont),
      FName(AFont.FontName),
      FBBox{double(AFont.BBox[0]), double(AFont.BBox[1]), double(AFont.BBox[2]), double(AFont.BBox[3])},
      FAscender(AFont.Ascender),
      FDescender(AFont.Descender),
      FFlags(AFont.Flags),
      FEncodingName((AFont.Flags & 4) != 0 ? "FontSpecific" : "StandardEncoding") {
  for (const auto& g : AFont.Glyphs) {
    if (g.Code >= 0 && g.Code < 256) FDefaultBaseEnc[static_cast<std::size_t>(g.Code)] = g.Name;
  }
}

double TkwBuiltInFont::GetWidth(std::string_view AGlyphName) const {
  const auto glyphs = FMetrics.Glyphs;
  auto it = std::lower_bound(glyphs.begin(), glyphs.end(), AGlyphName,
                             [](const data::TkwAfmGlyph& g, std::string_view n) { return g.Name < n; });
  if (it == glyphs.end() || it->Name != AGlyphName) return -1;
  return it->Width;
}

namespace {

const std::vector<std::unique_ptr<TkwBuiltInFont>>& BuiltInFonts() {
  static const std::vector<std::unique_ptr<TkwBuiltInFont>> fonts = [] {
    std::vector<std::unique_ptr<TkwBuiltInFont>> v;
    for (const auto& f : data::StandardFonts()) v.push_back(std::make_unique<TkwBuiltInFont>(f));
    return v;
  }();
  return fonts;
}

}  // namespace

const TkwBuiltInFont* MakeBuiltInFont(std::string_view AFontName) {
  const auto& fonts = BuiltInFonts();
  auto it = std::lower_bound(fonts.begin(), fonts.end(), AFontName,
                             [](const auto& f, std::string_view n) { return f->GetName() < n; });
  if (it == fonts.end() || (*it)->GetName() != AFontName) return nullptr;
  return it->get();
}

bool IsStandardFontName(std::string_view AFontName) { return MakeBuiltInFont(AFontName) != nullptr; }

}  // namespace qm
