#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Font.h"
#include "base/FontClass.h"

// Where the output font of a run is chosen: a PDF font's name and class become the
// description of an installed font (family and style; size and colour are the glyph's).
namespace qm {

// What a PDF font tells about its face.
struct TkwPdfFontFacts {
  std::string Name;          // embedded font name, else base font name; a subset prefix may lead
  std::string Family;        // the descriptor's FontFamily, often empty
  std::int32_t Flags = 0;    // the descriptor's Flags
  bool HasDescriptor = false;
  int Weight = 0;            // the descriptor's FontWeight; 0 when absent
  double ItalicAngle = 0;
  bool Bold = false;         // what the font object itself says (ForceBold, its own name rules)
  bool Italic = false;
  bool WideCoverage = false;  // Chinese, Japanese or Korean: no Latin family covers the text
};

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
  // The installed family the font names; else a family word processors know by that name;
  // else the family that stands for the font's class (Times New Roman, Arial, Courier New,
  // a script face), or the fallback font where only it covers the text. Bold and italic
  // come from the name and the descriptor.
  [[nodiscard]] TFont Map(const TkwPdfFontFacts& AFacts);
  // The class of face: by the name (and FontFamily), else by the descriptor's flags.
  [[nodiscard]] static TkwFontClass ClassOf(const TkwPdfFontFacts& AFacts);
  // Bold and italic by the name, the weight, the italic angle and the font's own say.
  [[nodiscard]] static TFontStyles StyleOf(const TkwPdfFontFacts& AFacts);
  // Whether the last Map found an installed family or a standard family by the name, rather
  // than falling back to the class of the font.
  [[nodiscard]] bool GetLastFoundByName() const { return FLastFoundByName; }
  // The names are read again for the next page.
  void ForgetNames() { FSpaceFreeBuilt = false; }

  [[nodiscard]] const std::vector<std::string>& GetInstalledFonts() const { return FInstalledFonts; }

private:
  void BuildSpaceFree();

  const std::vector<std::string>& FInstalledFonts;  // not owned
  std::vector<std::string> FSpaceFree;
  bool FSpaceFreeBuilt = false;
  bool FLastFoundByName = false;
};

}  // namespace qm
