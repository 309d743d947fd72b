#include "base/FontClass.h"

#include <array>
#include <string>

namespace qm {

namespace {

using enum TkwFontClass;

// Lower-case letters and digits only, without a subset prefix ("ABCDEF+").
std::string Key(std::string_view AName) {
  if (AName.size() > 7 && AName[6] == '+') AName.remove_prefix(7);
  std::string k;
  k.reserve(AName.size());
  for (char c : AName) {
    if (c >= 'A' && c <= 'Z') k.push_back(static_cast<char>(c - 'A' + 'a'));
    else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) k.push_back(c);
  }
  return k;
}

struct TKnown {
  std::string_view Key;  // lower case, no spaces
  TkwKnownFamily Family;
};

// Families that office suites ship or map by name, and the PDF standard families.
constexpr std::array kKnown{
    TKnown{"timesnewroman", {"Times New Roman", fcSerif}},
    TKnown{"times", {"Times New Roman", fcSerif}},
    TKnown{"georgia", {"Georgia", fcSerif}},
    TKnown{"garamond", {"Garamond", fcSerif}},
    TKnown{"bookantiqua", {"Book Antiqua", fcSerif}},
    TKnown{"palatino", {"Palatino Linotype", fcSerif}},
    TKnown{"cambria", {"Cambria", fcSerif}},
    TKnown{"constantia", {"Constantia", fcSerif}},
    TKnown{"centuryschoolbook", {"Century Schoolbook", fcSerif}},
    TKnown{"bookmanoldstyle", {"Bookman Old Style", fcSerif}},
    TKnown{"arial", {"Arial", fcSans}},
    TKnown{"helvetica", {"Arial", fcSans}},
    TKnown{"arialnarrow", {"Arial Narrow", fcSans}},
    TKnown{"arialblack", {"Arial Black", fcSans}},
    TKnown{"arialunicodems", {"Arial Unicode MS", fcSans}},
    TKnown{"verdana", {"Verdana", fcSans}},
    TKnown{"tahoma", {"Tahoma", fcSans}},
    TKnown{"calibri", {"Calibri", fcSans}},
    TKnown{"candara", {"Candara", fcSans}},
    TKnown{"corbel", {"Corbel", fcSans}},
    TKnown{"segoeui", {"Segoe UI", fcSans}},
    TKnown{"trebuchet", {"Trebuchet MS", fcSans}},
    TKnown{"centurygothic", {"Century Gothic", fcSans}},
    TKnown{"franklingothic", {"Franklin Gothic Medium", fcSans}},
    TKnown{"gillsans", {"Gill Sans MT", fcSans}},
    TKnown{"lucidasansunicode", {"Lucida Sans Unicode", fcSans}},
    TKnown{"microsoftsansserif", {"Microsoft Sans Serif", fcSans}},
    TKnown{"courier", {"Courier New", fcMono}},
    TKnown{"couriernew", {"Courier New", fcMono}},
    TKnown{"consolas", {"Consolas", fcMono}},
    TKnown{"lucidaconsole", {"Lucida Console", fcMono}},
    TKnown{"comicsans", {"Comic Sans MS", fcScript}},
    TKnown{"monotypecorsiva", {"Monotype Corsiva", fcScript}},
    TKnown{"brushscript", {"Brush Script MT", fcScript}},
    TKnown{"symbol", {"Symbol", fcSymbol}},
    TKnown{"wingdings", {"Wingdings", fcSymbol}},
    TKnown{"webdings", {"Webdings", fcSymbol}},
};

bool StartsWith(std::string_view AText, std::string_view APrefix) {
  return AText.substr(0, APrefix.size()) == APrefix;
}

bool HasAny(std::string_view AText, std::initializer_list<std::string_view> AWords) {
  for (std::string_view w : AWords) {
    if (AText.find(w) != std::string_view::npos) return true;
  }
  return false;
}

// TeX's font names: a family prefix (Computer Modern, the EC and TC fonts, CM-Super) and
// shape letters, then the design size.
TkwFontClass TeXClass(std::string_view AKey) {
  std::string_view tail;
  for (std::string_view p : {"cm", "ec", "tc", "sf"}) {
    if (StartsWith(AKey, p) && AKey.size() > 3 && AKey.back() >= '0' && AKey.back() <= '9') {
      tail = AKey.substr(2);
    }
  }
  if (StartsWith(AKey, "msam") || StartsWith(AKey, "msbm") || StartsWith(AKey, "eufm") ||
      StartsWith(AKey, "wasy") || StartsWith(AKey, "lasy") || StartsWith(AKey, "stmary")) {
    return fcSymbol;
  }
  if (StartsWith(AKey, "rsfs") || StartsWith(AKey, "eusm")) return fcScript;
  if (tail.empty()) return fcUnknown;
  if (StartsWith(tail, "sy") || StartsWith(tail, "bsy") || StartsWith(tail, "ex")) return fcSymbol;
  if (tail.find("tt") != std::string_view::npos || StartsWith(tail, "tex")) return fcMono;
  if (StartsWith(tail, "ss")) return fcSans;
  return fcSerif;
}

}  // namespace

std::optional<TkwKnownFamily> FindKnownFamily(std::string_view AName) {
  const std::string k = Key(AName);
  const TKnown* best = nullptr;
  for (const TKnown& known : kKnown) {
    if (k.find(known.Key) == std::string::npos) continue;
    if (best == nullptr || known.Key.size() > best->Key.size()) best = &known;
  }
  if (best == nullptr) return std::nullopt;
  return best->Family;
}

TkwFontClass FontClassOfName(std::string_view AName) {
  const std::string k = Key(AName);
  if (k.empty()) return fcUnknown;
  if (const TkwFontClass tex = TeXClass(k); tex != fcUnknown) return tex;
  if (const auto known = FindKnownFamily(AName)) return known->Class;
  if (HasAny(k, {"symbol", "dingbat", "wingding", "webding", "ornament"})) return fcSymbol;
  if (HasAny(k, {"mono", "courier", "typewriter", "consol", "nimbusmon", "inconsolata", "menlo",
                 "monaco", "lettergothic", "cursor"})) {
    return fcMono;
  }
  if (HasAny(k, {"script", "chancery", "cursive", "brush", "handwrit", "calligraph", "corsiva",
                 "vivaldi", "kunstler", "edwardian", "comic", "chorus"})) {
    return fcScript;
  }
  if (HasAny(k, {"sans", "helvet", "arial", "grotesk", "grotesque", "gothic", "verdana", "tahoma",
                 "futura", "frutiger", "univers", "gill", "segoe", "trebuchet", "franklin", "myriad",
                 "optima", "avant", "nimbussan", "roboto", "lato", "ubuntu", "swiss", "heros",
                 "adventor", "hei", "gulim", "dotum", "meiryo"})) {
    return fcSans;
  }
  if (HasAny(k, {"serif", "times", "roman", "georgia", "garamond", "palatin", "book", "cambria",
                 "century", "minion", "baskerville", "bodoni", "caslon", "utopia", "charter",
                 "nimbusrom", "sabon", "goudy", "didot", "bembo", "plantin", "antiqua", "mincho",
                 "song", "ming", "batang", "myungjo", "clarendon", "dutch", "stix", "libertin",
                 "termes", "pagella", "bonum", "schola"})) {
    return fcSerif;
  }
  return fcUnknown;
}

}  // namespace qm
