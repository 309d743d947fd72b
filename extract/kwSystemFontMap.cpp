#include "extract/kwSystemFontMap.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace qm {

namespace {

std::string Lower(std::string_view AText) {
  std::string s(AText);
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

void EraseFirst(std::string& AText, std::string_view AWhat, bool ACaseless) {
  const std::size_t at = ACaseless ? Lower(AText).find(Lower(AWhat)) : AText.find(AWhat);
  if (at != std::string::npos) AText.erase(at, AWhat.size());
}

}  // namespace

void TkwSystemFontMap::BuildSpaceFree() {
  if (FSpaceFreeBuilt) return;
  FSpaceFree.clear();
  FFallbackInstalled = false;
  const std::string target = Lower(kFallbackFontName);
  for (const std::string& name : FInstalledFonts) {
    std::string s;
    for (char c : name) {
      if (c != ' ') s.push_back(c);
    }
    FSpaceFree.push_back(s);
    if (!name.empty() && target.find(Lower(name)) != std::string::npos) FFallbackInstalled = true;
  }
  FSpaceFreeBuilt = true;
}

TFont TkwSystemFontMap::Map(const std::string& AFontName, bool ABold, bool AItalic, bool ASerif,
                            bool AFixed) {
  TFont font;
  std::string name;
  for (char c : AFontName) {
    if (c != ',' && c != '+' && c != '-') name.push_back(c);
  }
  EraseFirst(name, "PS", false);
  EraseFirst(name, "MT", false);
  TFontStyles style = 0;
  if (name.find("Bold") != std::string::npos) {
    EraseFirst(name, "Bold", true);
    style |= fsBold;
  }
  if (name.find("Italic") != std::string::npos) {
    EraseFirst(name, "Italic", true);
    style |= fsItalic;
  }
  if (ABold) {
    style |= fsBold;
    if (AItalic) style |= fsItalic;
  } else if (AItalic) {
    style |= fsItalic;
  }
  font.Style = style;

  BuildSpaceFree();
  FLastFoundByName = true;
  const std::string lname = Lower(name);
  int best = -1;
  for (std::size_t i = 0; i < FInstalledFonts.size(); ++i) {
    if (FSpaceFree[i].empty()) continue;
    if (lname.find(Lower(FSpaceFree[i])) == std::string::npos) continue;
    if (best < 0 || FInstalledFonts[i].size() > FInstalledFonts[static_cast<std::size_t>(best)].size()) {
      best = static_cast<int>(i);
    }
  }
  if (best >= 0) {
    font.Name = FInstalledFonts[static_cast<std::size_t>(best)];
    return font;
  }
  // The standard PDF families have no installed namesake on any system; they stand for the
  // fonts every word processor has.
  auto starts = [&](const char* APrefix) { return lname.rfind(Lower(APrefix), 0) == 0; };
  if (starts("Helvetica") || starts("Arial")) {
    font.Name = "Arial";
  } else if (starts("Times")) {
    font.Name = "Times New Roman";
  } else if (starts("Courier")) {
    font.Name = "Courier New";
  } else if (FFallbackInstalled) {
    FLastFoundByName = false;
    font.Name = kFallbackFontName;
  } else {
    // Without that font the serif and fixed-pitch classes still choose the output font,
    // as they do when it is installed.
    FLastFoundByName = false;
    font.Name = ASerif ? "Times New Roman" : AFixed ? "Courier New" : "Arial";
    const bool have = std::find(FInstalledFonts.begin(), FInstalledFonts.end(), font.Name) !=
                      FInstalledFonts.end();
    if (!have && !FInstalledFonts.empty() && !ASerif && !AFixed) {
      font.Name = FInstalledFonts.front();
    }
  }
  return font;
}

TFont TkwSystemFontMap::GlyphFont(const TFont& AMapped, bool ASerif, bool AFixed) {
  TFont font = AMapped;
  if (font.Name == kFallbackFontName) {
    if (ASerif) {
      font.Name = "Times New Roman";
    } else if (AFixed) {
      font.Name = "Courier New";
    }
  }
  return font;
}

}  // namespace qm
