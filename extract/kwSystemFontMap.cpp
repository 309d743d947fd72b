#include "extract/kwSystemFontMap.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
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
  for (const std::string& name : FInstalledFonts) {
    std::string s;
    for (char c : name) {
      if (c != ' ') s.push_back(c);
    }
    FSpaceFree.push_back(s);
  }
  FSpaceFreeBuilt = true;
}

TFont TkwSystemFontMap::Map(const std::string& AFontName, bool ABold, bool AItalic, bool ASerif,
                            bool AFixed) {
  TkwPdfFontFacts facts;
  facts.Name = AFontName;
  facts.Flags = (ASerif ? 2 : 0) | (AFixed ? 1 : 0);
  facts.HasDescriptor = true;
  facts.Bold = ABold;
  facts.Italic = AItalic;
  return Map(facts);
}

namespace {

// The name as installed names are looked for in it: no punctuation, no "PS" and "MT" of
// PostScript names, no style words.
std::string CleanName(std::string_view AName) {
  std::string name;
  for (char c : AName) {
    if (c != ',' && c != '+' && c != '-') name.push_back(c);
  }
  EraseFirst(name, "PS", false);
  EraseFirst(name, "MT", false);
  if (name.find("Bold") != std::string::npos) EraseFirst(name, "Bold", true);
  if (name.find("Italic") != std::string::npos) EraseFirst(name, "Italic", true);
  return name;
}

// Lower-case letters and digits of a name without its subset prefix.
std::string NameKey(std::string_view AName) {
  if (AName.size() > 7 && AName[6] == '+') AName.remove_prefix(7);
  std::string k;
  for (char c : AName) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      k.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
  }
  return k;
}

bool HasAny(std::string_view AText, std::initializer_list<std::string_view> AWords) {
  for (std::string_view w : AWords) {
    if (AText.find(w) != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace

TFontStyles TkwSystemFontMap::StyleOf(const TkwPdfFontFacts& AFacts) {
  const std::string k = NameKey(AFacts.Name);
  bool bold = AFacts.Bold || AFacts.Weight >= 600;
  bool italic = AFacts.Italic || std::fabs(AFacts.ItalicAngle) >= 4;
  // URW's "Medi" (NimbusRomNo9L-Medi) is their bold; "Medium" is a book weight.
  const std::size_t medi = k.find("medi");
  bold = bold || HasAny(k, {"bold", "black", "heavy", "demi"}) ||
         (medi != std::string::npos && k.compare(medi, 6, "medium") != 0);
  italic = italic || HasAny(k, {"italic", "ital", "oblique", "obl", "slant", "kursiv", "inclined"});
  // Adobe's short style suffixes: "MinionPro-It", "MyriadPro-BoldIt".
  const std::size_t dash = AFacts.Name.find_last_of("-,");
  if (dash != std::string::npos) {
    const std::string suffix = NameKey(std::string_view(AFacts.Name).substr(dash + 1));
    if (suffix.size() >= 2 && suffix.compare(suffix.size() - 2, 2, "it") == 0) italic = true;
    if (suffix == "bd" || suffix == "bdit") bold = true;
  }
  // TeX's names spell the series and shape in letters after the family: CMBX, CMB (bold),
  // CMTI, CMSL, CMMI, CMSSI, CMITT (italic or slanted).
  const bool tex = k.size() > 3 && (k.rfind("cm", 0) == 0 || k.rfind("ec", 0) == 0 ||
                                    k.rfind("tc", 0) == 0 || k.rfind("sf", 0) == 0) &&
                   std::isdigit(static_cast<unsigned char>(k.back()));
  if (tex) {
    std::string_view tail = std::string_view(k).substr(2);
    while (!tail.empty() && std::isdigit(static_cast<unsigned char>(tail.back()))) tail.remove_suffix(1);
    if (tail.rfind('b', 0) == 0 || tail.find("bx") != std::string_view::npos || tail.rfind("mib", 0) == 0) {
      bold = true;
    }
    if (HasAny(tail, {"ti", "sl", "it"}) || tail.rfind("mi", 0) == 0 || tail.rfind("ssi", 0) == 0 ||
        tail.rfind("si", 0) == 0 || tail == "bi") {
      italic = true;
    }
  }
  TFontStyles style = 0;
  if (bold) style |= fsBold;
  if (italic) style |= fsItalic;
  return style;
}

TkwFontClass TkwSystemFontMap::ClassOf(const TkwPdfFontFacts& AFacts) {
  using enum TkwFontClass;
  TkwFontClass c = FontClassOfName(AFacts.Name);
  if (c == fcUnknown && !AFacts.Family.empty()) c = FontClassOfName(AFacts.Family);
  if (c != fcUnknown) return c;
  if ((AFacts.Flags & 1) != 0) return fcMono;
  if ((AFacts.Flags & 8) != 0) return fcScript;
  if ((AFacts.Flags & 2) != 0) return fcSerif;
  // A descriptor that leaves the serif flag off describes a sans face; without one the
  // book face of documents is the likelier guess.
  return AFacts.HasDescriptor ? fcSans : fcSerif;
}

TFont TkwSystemFontMap::Map(const TkwPdfFontFacts& AFacts) {
  TFont font;
  font.Style = StyleOf(AFacts);
  BuildSpaceFree();
  FLastFoundByName = true;
  const auto installed = [&](std::string_view AName) {
    const std::string lname = Lower(CleanName(AName));
    int best = -1;
    for (std::size_t i = 0; i < FInstalledFonts.size(); ++i) {
      if (FSpaceFree[i].empty()) continue;
      if (lname.find(Lower(FSpaceFree[i])) == std::string::npos) continue;
      if (best < 0 || FInstalledFonts[i].size() > FInstalledFonts[static_cast<std::size_t>(best)].size()) {
        best = static_cast<int>(i);
      }
    }
    return best;
  };
  int best = installed(AFacts.Name);
  if (best < 0 && !AFacts.Family.empty()) best = installed(AFacts.Family);
  if (best >= 0) {
    font.Name = FInstalledFonts[static_cast<std::size_t>(best)];
    return font;
  }
  if (AFacts.WideCoverage) {
    FLastFoundByName = false;
    font.Name = kFallbackFontName;
    return font;
  }
  auto known = FindKnownFamily(AFacts.Name);
  if (!known && !AFacts.Family.empty()) known = FindKnownFamily(AFacts.Family);
  // Symbol's text reaches the output as Unicode (Greek, operators), which a text face shows.
  if (known && known->Name != "Symbol") {
    font.Name = known->Name;
    if (known->Class == TkwFontClass::fcSymbol) font.Charset = kSymbolCharset;
    return font;
  }
  FLastFoundByName = false;
  switch (ClassOf(AFacts)) {
    using enum TkwFontClass;
    case fcSans: font.Name = "Arial"; break;
    case fcMono: font.Name = "Courier New"; break;
    case fcScript: font.Name = "Monotype Corsiva"; break;
    case fcSymbol:
      // Dingbats are shown by their Unicode values, which only the wide font covers.
      font.Name = NameKey(AFacts.Name).find("dingbat") != std::string::npos ? std::string(kFallbackFontName)
                                                                            : std::string("Times New Roman");
      break;
    default: font.Name = "Times New Roman"; break;
  }
  return font;
}

}  // namespace qm
