#include "pdf/fonts/kwPD8bitFont.h"

#include <cmath>

#include "pdf/fonts/AdobeGlyphList.h"
#include "pdf/fonts/Encodings.h"
#include "platform/kwFontFace.h"

namespace qm {
namespace {

constexpr TkwFontAlias kAliases[] = {
    {"Arial", "Helvetica"},
    {"Arial,Bold", "Helvetica-Bold"},
    {"Arial,BoldItalic", "Helvetica-BoldOblique"},
    {"Arial,Italic", "Helvetica-Oblique"},
    {"Arial-Bold", "Helvetica-Bold"},
    {"Arial-BoldItalic", "Helvetica-BoldOblique"},
    {"Arial-BoldItalicMT", "Helvetica-BoldOblique"},
    {"Arial-BoldMT", "Helvetica-Bold"},
    {"Arial-Italic", "Helvetica-Oblique"},
    {"Arial-ItalicMT", "Helvetica-Oblique"},
    {"Helvetica-Compressed", "Helvetica"},
    {"ArialMT", "Helvetica"},
    {"CourierNew", "Courier"},
    {"CourierNew,Bold", "Courier-Bold"},
    {"CourierNew,BoldItalic", "Courier-BoldOblique"},
    {"CourierNew,Italic", "Courier-Oblique"},
    {"CourierNew-Bold", "Courier-Bold"},
    {"CourierNew-BoldItalic", "Courier-BoldOblique"},
    {"CourierNew-Italic", "Courier-Oblique"},
    {"CourierNewPS-BoldItalicMT", "Courier-BoldOblique"},
    {"CourierNewPS-BoldMT", "Courier-Bold"},
    {"CourierNewPS-ItalicMT", "Courier-Oblique"},
    {"CourierNewPSMT", "Courier"},
    {"Helvetica,Bold", "Helvetica-Bold"},
    {"Helvetica,BoldItalic", "Helvetica-BoldOblique"},
    {"Helvetica,Italic", "Helvetica-Oblique"},
    {"Helvetica-BoldItalic", "Helvetica-BoldOblique"},
    {"Helvetica-Italic", "Helvetica-Oblique"},
    {"Symbol,Bold", "Symbol"},
    {"Symbol,BoldItalic", "Symbol"},
    {"Symbol,Italic", "Symbol"},
    {"TimesNewRoman", "Times-Roman"},
    {"TimesNewRoman,Bold", "Times-Bold"},
    {"TimesNewRoman,BoldItalic", "Times-BoldItalic"},
    {"TimesNewRoman,Italic", "Times-Italic"},
    {"TimesNewRoman-Bold", "Times-Bold"},
    {"TimesNewRoman-BoldItalic", "Times-BoldItalic"},
    {"TimesNewRoman-Italic", "Times-Italic"},
    {"TimesNewRomanPS", "Times-Roman"},
    {"TimesNewRomanPS-Bold", "Times-Bold"},
    {"TimesNewRomanPS-BoldItalic", "Times-BoldItalic"},
    {"TimesNewRomanPS-BoldItalicMT", "Times-BoldItalic"},
    {"TimesNewRomanPS-BoldMT", "Times-Bold"},
    {"TimesNewRomanPS-Italic", "Times-Italic"},
    {"TimesNewRomanPS-ItalicMT", "Times-Italic"},
    {"TimesNewRomanPSMT", "Times-Roman"},
    {"TimesNewRomanPSMT,Bold", "Times-Bold"},
    {"TimesNewRomanPSMT,BoldItalic", "Times-BoldItalic"},
    {"TimesNewRomanPSMT,Italic", "Times-Italic"},
};
static_assert(std::size(kAliases) == 49);

struct TkwFacePair {
  std::string_view Standard;
  std::string_view Face;
};
constexpr TkwFacePair kFaceNames[] = {
    {"Courier", "CourierNew"},
    {"Courier-Bold", "CourierNewBold"},
    {"Courier-BoldOblique", "CourierNewBoldItalic"},
    {"Courier-Oblique", "CourierNewItalic"},
    {"Helvetica", "Arial"},
    {"Helvetica-Bold", "ArialBold"},
    {"Helvetica-BoldOblique", "ArialBoldItalic"},
    {"Helvetica-Oblique", "ArialItalic"},
    {"Symbol", "Symbol"},
    {"Times-Bold", "TimesNewRomanBold"},
    {"Times-BoldItalic", "TimesNewRomanBoldItalic"},
    {"Times-Italic", "TimesNewRomanItalic"},
    {"Times-Roman", "TimesNewRoman"},
    {"ZapfDingbats", "ArialUnicodeMS"},
};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Every ",", "+" and "-" removed, then the first "PS" and the first "MT".
std::string CleanName(std::string_view AName) {
  std::string s;
  for (char c : AName) {
    if (c != ',' && c != '+' && c != '-') s += c;
  }
  for (std::string_view part : {"PS", "MT"}) {
    if (auto p = s.find(part); p != std::string::npos) s.erase(p, part.size());
  }
  return s;
}

const TkwBuiltInFont* SubstituteFont(bool AFixed, bool ASerif, bool ABold, bool AItalic) {
  static constexpr std::string_view kFamilies[3][4] = {
      {"Courier", "Courier-Bold", "Courier-Oblique", "Courier-BoldOblique"},
      {"Times-Roman", "Times-Bold", "Times-Italic", "Times-BoldItalic"},
      {"Helvetica", "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique"},
  };
  const int family = AFixed ? 0 : ASerif ? 1 : 2;
  return MakeBuiltInFont(kFamilies[family][(ABold ? 1 : 0) + (AItalic ? 2 : 0)]);
}

}  // namespace

const TkwFontAlias* FindFontAlias(std::string_view AName) {
  for (const auto& row : kAliases) {
    if (row.Name == AName || row.StandardName == AName) return &row;
  }
  return nullptr;
}

TkwPD8bitFont::TkwPD8bitFont(TkwPDDocument* AParentDoc, TkwPDElement* AParentElement, TkwPDDictionary* AFontDict,
                             std::string_view ATag, std::string_view AName, TkwPDFontType AType)
    : TkwPDFont(AParentDoc, AParentElement, AFontDict, ATag) {
  FFontType = AType;
  FOrginalName = AName;
  FName = Trim(AName);
  std::string working = FName;
  if (const TkwFontAlias* alias = FindFontAlias(FName)) {
    working = alias->StandardName;
    FName = alias->Name;
    FBaseFont = alias->Name;
  }
  FBuiltIn = MakeBuiltInFont(working);
  auto loadBuiltInBox = [&] {
    FAscent = FBuiltIn->GetAscender() * 0.001;
    FDescent = FBuiltIn->GetDescender() * 0.001;
    const auto& b = FBuiltIn->GetBBox();
    FFontBox = {b[0] * 0.001, b[1] * 0.001, b[2] * 0.001, b[3] * 0.001};
  };
  if (FBuiltIn) loadBuiltInBox();
  if (AFontDict == nullptr) {
    for (std::size_t c = 0; c < 256; ++c) DecodeCode(static_cast<std::uint8_t>(c), FCodes[c], FUnicodes[c]);
    return;
  }
  const TkwPDDictionary& dict = *AFontDict;

  ReadFontDescriptor(dict, FOrginalName);

  // Name-derived style, for fonts the system has to find by name.
  if (!FEmbeddedFontName.empty() && !HasEmbeddedProgram()) {
    const std::string clean = CleanName(FEmbeddedFontName);
    if (clean.find("Bold") != std::string::npos) FIsBold = true;
    if (clean.find("Italic") != std::string::npos) FIsItalic = true;
    for (const auto& pair : kFaceNames) {
      if (clean == pair.Standard) FEmbeddedFontName = pair.Face;
    }
  }
  if (FBuiltIn && HasEmbeddedProgram()) loadBuiltInBox();
  if (!FBuiltIn) {
    if (const TkwPDArray* m = dict.LookUpArray("FontMatrix"); m != nullptr && m->GetLength() >= 6) {
      TkwMatrix2D fm{m->GetNumber(0), m->GetNumber(1), m->GetNumber(2),
                     m->GetNumber(3), m->GetNumber(4), m->GetNumber(5)};
      // A matrix that is not finite would poison every advance; the identity is the default.
      if (std::isfinite(fm.A) && std::isfinite(fm.B) && std::isfinite(fm.C) && std::isfinite(fm.D) &&
          std::isfinite(fm.E) && std::isfinite(fm.F)) {
        FFontMatrix = fm;
      }
    }
  }
  FNameHasSymbol = FName.find("Symbol") != std::string::npos;
  FNameHasDingbats = FName.find("ZapfDingbats") != std::string::npos;
  ReadEncoding(dict);
  ReadWidths(dict);
  ReadToUnicode(dict);
  for (std::size_t c = 0; c < 256; ++c) DecodeCode(static_cast<std::uint8_t>(c), FCodes[c], FUnicodes[c]);
  // A symbolic TrueType font without an encoding selects glyphs through its own map: the
  // WinAnsi names it was given are a guess.
  FillFromProgram(FFontType == TkwPDFontType::TrueType && IsSymbolic() && dict.LookUp("Encoding") == nullptr);
}

void TkwPD8bitFont::FillFromProgram(bool AOwnCodes) {
  using enum TkwPDFontType;
  if (!HasEmbeddedProgram() || FFirstChar > FLastChar) return;
  const auto known = [&](std::size_t AC) {
    if (MapToUnicode(static_cast<std::uint32_t>(AC))) return true;
    if (AOwnCodes) return false;
    const std::uint16_t u = FUnicodes[AC];
    return u >= 32 && (u != AC || !FEncoding[AC].empty() || !FTrueTypeNames.empty());
  };
  bool lacking = false;
  for (int c = FFirstChar; c <= FLastChar && !lacking; ++c) lacking = !known(static_cast<std::size_t>(c));
  if (!lacking) return;
  const std::string* program = GetEmbeddedFontStream();
  const auto face = program != nullptr ? TkwFontFace::OpenMemory(*program) : nullptr;
  if (!face) return;
  const auto glyphs = face->GetBuiltInEncoding();
  for (int code = FFirstChar; code <= FLastChar; ++code) {
    const auto c = static_cast<std::size_t>(code);
    const TkwFontFace::TkwCodeGlyph& g = glyphs[c];
    if (g.Glyph == 0 || known(c)) continue;
    std::uint16_t u = GlyphNameToUnicode(g.Name, FNameHasDingbats);
    if (u == 0 && g.Unicode >= 32 && g.Unicode <= 0xFFFF) u = static_cast<std::uint16_t>(g.Unicode);
    if (u == 0 && g.Blank) u = u' ';
    if (u == 0 || u == FUnicodes[c]) continue;
    FUnicodes[c] = u;
    if (FFontType != TrueType) FCodes[c] = u;
    FUnicodeOverCodes = true;
  }
}

void TkwPD8bitFont::SetEncodingTable(const TkwPDEncodingTable& ATable) {
  for (std::size_t i = 0; i < 256; ++i) FEncoding[i] = ATable[i];
}

void TkwPD8bitFont::ReadEncoding(const TkwPDDictionary& ADict) {
  using enum TkwPDFontType;
  if (FBuiltIn) {
    SetEncodingTable(FBuiltIn->GetDefaultBaseEnc());
    FEncodingName = FBuiltIn->GetEncodingName();
  }
  if (FNameHasDingbats) {
    SetEncodingTable(GetZapfDingbatsEncoding());
    FHasEncoding = true;
  }
  const TkwPDBaseObject* enc = ADict.LookUp("Encoding");
  std::string baseName;
  if (enc != nullptr && enc->IsDict()) {
    baseName = static_cast<const TkwPDDictionary*>(enc)->LookUpName("BaseEncoding");
  } else if (enc != nullptr && enc->IsName()) {
    baseName = static_cast<const TkwPDName*>(enc)->GetValue();
  }
  if (baseName == "MacRomanEncoding" || baseName == "MacExpertEncoding" || baseName == "WinAnsiEncoding") {
    SetEncodingTable(*FindEncodingByName(baseName));
    FEncodingName = baseName;
    FUsesMacRomanEnc = baseName == "MacRomanEncoding";
    FHasEncoding = true;
  }
  if (!FHasEncoding) {
    if (FBuiltIn && !HasEmbeddedProgram()) {
      FHasEncoding = true;
    } else if (FFontType == TrueType) {
      SetEncodingTable(GetWinAnsiEncoding());
      FEncodingName = "WinAnsiEncoding";
    } else if (!IsSymbolic()) {
      SetEncodingTable(GetStandardEncoding());
      FEncodingName = "StandardEncoding";
    } else {
      FEncoding.fill(std::string());
      FEncodingName.clear();
    }
  }
  if (enc != nullptr && enc->IsDict()) {
    if (const TkwPDArray* diffs = static_cast<const TkwPDDictionary*>(enc)->LookUpArray("Differences")) {
      const bool trueType = FFontType == TrueType;
      if (!trueType) {
        FHasEncoding = true;
        FHasDifferences = true;
        FEncodingName = "CustomEncoding";
      }
      std::int64_t code = 0;
      for (std::size_t i = 0; i < diffs->GetLength(); ++i) {
        const TkwPDBaseObject* e = diffs->Get(i);
        if (e == nullptr) continue;
        if (e->IsInteger()) {
          code = static_cast<const TkwPDInteger*>(e)->GetValue();
        } else if (e->IsName()) {
          const std::string& name = static_cast<const TkwPDName*>(e)->GetValue();
          if (code >= 0 && code < 256 && trueType) {
            FTrueTypeNames.emplace_back(static_cast<std::uint8_t>(code), name);
          } else if (code >= 0 && code < 256) {
            FEncoding[static_cast<std::size_t>(code)] = name;
          }
          ++code;
        }
      }
    }
  }
}

void TkwPD8bitFont::ReadWidths(const TkwPDDictionary& ADict) {
  FWidths.fill(FMissingWidth * 0.001);
  const TkwPDBaseObject* first = ADict.LookUp("FirstChar");
  const TkwPDBaseObject* last = ADict.LookUp("LastChar");
  int firstChar = first != nullptr && first->IsInteger() ? static_cast<const TkwPDInteger*>(first)->GetValue() : 0;
  if (firstChar < 0 || firstChar > 255) firstChar = 0;
  const bool hasLast = last != nullptr && last->IsInteger();
  int lastChar = hasLast ? static_cast<const TkwPDInteger*>(last)->GetValue() : 0;
  if (lastChar < 0 || lastChar > 255) lastChar = 255;
  const double scale = FFontType == TkwPDFontType::Type3 ? FFontMatrix.A : 0.001;

  if (const TkwPDArray* widths = ADict.LookUpArray("Widths")) {
    FFlags |= 1;
    const int count = static_cast<int>(std::min<std::size_t>(widths->GetLength(), 256));
    // A missing LastChar is damage; the array itself says how far it goes.
    if (!hasLast) lastChar = std::min(255, firstChar + count - 1);
    if (count < lastChar - firstChar + 1) lastChar = firstChar + count - 1;
    FFirstChar = firstChar;
    FLastChar = lastChar;
    bool fixed = true;
    for (int i = 0; firstChar + i <= lastChar; ++i) {
      const TkwPDBaseObject* w = widths->Get(static_cast<std::size_t>(i));
      if (w == nullptr || !w->IsNumber()) continue;
      double v = w->GetNumber() * scale;
      if (!std::isfinite(v)) v = 0;
      FWidths[static_cast<std::size_t>(firstChar + i)] = v;
    }
    for (int c = firstChar; c <= lastChar; ++c) {
      if (FWidths[static_cast<std::size_t>(c)] != FWidths[static_cast<std::size_t>(firstChar)]) fixed = false;
    }
    if (!fixed) FFlags &= ~1;
    return;
  }
  const TkwBuiltInFont* metrics = FBuiltIn ? FBuiltIn : SubstituteFont(IsFixedWidth(), IsSerif(), IsBold(), IsItalic());
  for (std::size_t c = 0; c < 256; ++c) FWidths[c] = metrics->GetWidth(FEncoding[c]) * 0.001;
}

void TkwPD8bitFont::DecodeCode(std::uint8_t c, std::uint16_t& ACodeOut, std::uint16_t& AUnicode) {
  using enum TkwPDFontType;
  const std::string& name = FEncoding[c];
  const bool embedded = HasEmbeddedProgram();
  // A code that Symbol's own encoding leaves out has no glyph in the font a viewer
  // supplies: nothing is drawn.
  if (name.empty() && FBuiltIn && !embedded && !FHasDifferences && FNameHasSymbol && !MapToUnicode(c)) {
    ACodeOut = 0;
    AUnicode = 0;
    return;
  }
  if (FFontType == Type1 || FFontType == Type1C || FFontType == Type1COT) {
    if (!IsSymbolic() || !name.empty()) {
      ACodeOut = (!FNameHasSymbol || FHasDifferences) ? GlyphNameToUnicode(name, FNameHasDingbats) : c;
      if (FNameHasSymbol && !embedded) {
        ACodeOut = UnicodeToSymbolCode(ACodeOut);
        if (ACodeOut == 0) ACodeOut = c;
      }
    } else {
      ACodeOut = c;
    }
  } else if (FFontType == Type3) {
    // Type 3 glyph procedures are not run; the text comes from the names or ToUnicode.
    if (auto u = MapToUnicode(c); u && *u != 0) ACodeOut = *u;
    else if (std::uint16_t g = GlyphNameToUnicode(name, FNameHasDingbats)) ACodeOut = g;
    else ACodeOut = c;
  } else if (FHasEncoding && !IsSymbolic() && !FNameHasSymbol && !embedded) {
    ACodeOut = GlyphNameToUnicode(name, FNameHasDingbats);
  } else {
    ACodeOut = c;
  }

  const auto trueTypeName = [&]() -> std::uint16_t {
    // The last name given for a code holds, as it would in the table.
    for (auto it = FTrueTypeNames.rbegin(); it != FTrueTypeNames.rend(); ++it) {
      if (it->first == c) return GlyphNameToUnicode(it->second, FNameHasDingbats);
    }
    return 0;
  };
  if (auto u = MapToUnicode(c); u && *u != 0) {
    AUnicode = *u;
  } else if (std::uint16_t t = FTrueTypeNames.empty() ? 0 : trueTypeName()) {
    AUnicode = t;
    FUnicodeOverCodes = true;
  } else if (std::uint16_t g = GlyphNameToUnicode(name, FNameHasDingbats)) {
    AUnicode = g;
  } else {
    AUnicode = name.empty() ? c : 0;
  }
  // A TrueType font's Mac encodings give its upper codes other characters than the codes
  // read as Unicode (0xDE is "fi", 0xD5 a right quote): the text comes from the names.
  if (FFontType == TrueType && ACodeOut == c && c >= 0x80 && AUnicode != 0 && AUnicode != c &&
      (FUsesMacRomanEnc || FEncodingName == "MacExpertEncoding")) {
    FUnicodeOverCodes = true;
  }
}

double TkwPD8bitFont::GetCharWidth(std::uint32_t ACharCode) const {
  return ACharCode < 256 ? FWidths[ACharCode] : 0;
}

}  // namespace qm
