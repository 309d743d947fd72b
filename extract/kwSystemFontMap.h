#pragma once

#include <string>
#include <vector>

#include "base/Font.h"

// Where the output font of a run is chosen: a PDF font's name and class become the
// description of an installed font (family and style; size and colour are the glyph's).
namespace qm {

class TkwSystemFontMap {
public:
  // AInstalledFonts are the system's font names in its order (not owned; outlives the map).
  explicit TkwSystemFontMap(const std::vector<std::string>& AInstalledFonts)
      : FInstalledFonts(AInstalledFonts) {}

  // The installed font whose space-free name occurs in the cleaned font name (longest
  // wins), style from the name and the font; the standard families and the classes of
  // font when none matches.
  [[nodiscard]] TFont Map(const std::string& AFontName, bool ABold, bool AItalic, bool ASerif,
                          bool AFixed);
  // Whether the last Map found an installed family or a standard family by the name, rather
  // than falling back to the class of the font.
  [[nodiscard]] bool GetLastFoundByName() const { return FLastFoundByName; }
  // The font glyphs of a PDF font are shown in: its mapped font, except that the
  // fallback font gives way to the serif or fixed-pitch class of the PDF font.
  [[nodiscard]] static TFont GlyphFont(const TFont& AMapped, bool ASerif, bool AFixed);
  // The names are read again for the next page.
  void ForgetNames() { FSpaceFreeBuilt = false; }

  [[nodiscard]] const std::vector<std::string>& GetInstalledFonts() const { return FInstalledFonts; }

private:
  void BuildSpaceFree();

  const std::vector<std::string>& FInstalledFonts;  // not owned
  std::vector<std::string> FSpaceFree;
  bool FSpaceFreeBuilt = false;
  bool FFallbackInstalled = false;
  bool FLastFoundByName = false;
};

}  // namespace qm
