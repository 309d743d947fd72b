#include "pdf/fonts/kwPDCIDFont.h"

#include <algorithm>
#include <cmath>

#include "base/Limits.h"
#include "pdf/fonts/AdobeGlyphList.h"
#include "pdf/fonts/Encodings.h"
#include "platform/kwFontFace.h"

namespace qm {
namespace {

std::string TextOf(const TkwPDBaseObject* AObj) {
  if (AObj == nullptr || !AObj->IsString()) return {};
  return static_cast<const TkwPDString*>(AObj)->GetHexToString();
}

bool IsInt(const TkwPDBaseObject* AObj) { return AObj != nullptr && AObj->IsInteger(); }
std::int64_t IntOf(const TkwPDBaseObject* AObj) { return static_cast<const TkwPDInteger*>(AObj)->GetValue(); }

std::uint16_t ClampCID(std::int64_t AValue) {
  return static_cast<std::uint16_t>(std::clamp<std::int64_t>(AValue, 0, 0xFFFF));
}

double FiniteOr(double AValue, double ADefault) { return std::isfinite(AValue) ? AValue : ADefault; }

}  // namespace

TkwPDCIDFont::TkwPDCIDFont(TkwPDDocument* AParentDoc, TkwPDElement* AParentElement, TkwPDDictionary* ABaseObject,
                           std::string_view ATag, std::string_view AName, std::string_view ACMapPath)
    : TkwPDFont(AParentDoc, AParentElement, ABaseObject, ATag) {
  FOrginalName = AName;
  FName = AName;
  FAscent = 0.95;
  FDescent = -0.35;
  if (ABaseObject == nullptr) return;
  const TkwPDDictionary& dict = *ABaseObject;
  const TkwPDArray* descendants = dict.LookUpArray("DescendantFonts");
  const TkwPDDictionary* desc = nullptr;
  if (descendants != nullptr && descendants->GetLength() > 0) {
    const TkwPDBaseObject* d = descendants->Get(0);
    if (d != nullptr && d->IsDict()) desc = static_cast<const TkwPDDictionary*>(d);
  }
  if (desc == nullptr) return;
  const std::string subtype = desc->LookUpName("Subtype");
  if (subtype == "CIDFontType0") FFontType = TkwPDFontType::CIDType0;
  else if (subtype == "CIDFontType2") FFontType = TkwPDFontType::CIDType2;
  else return;

  ReadFontDescriptor(*desc, FOrginalName);

  // Without a usable CIDSystemInfo the font still decodes through its CMap; only the
  // collection's Unicode map is unknown.
  std::string collection;
  if (const TkwPDDictionary* info = desc->LookUpDict("CIDSystemInfo")) {
    const std::string registry = TextOf(info->LookUp("Registry"));
    const std::string ordering = TextOf(info->LookUp("Ordering"));
    if (!registry.empty() && !ordering.empty()) collection = registry + "-" + ordering + "-UCS2";
    FCJKCollection = ordering == "Japan1" || ordering == "GB1" || ordering == "CNS1" ||
                     ordering == "Korea1" || ordering == "KR";
  }

  TkwPDBaseObject* enc = dict.LookUp("Encoding");
  if (enc != nullptr && enc->IsStream()) {
    FEncodingName = "Custom";
    const std::string bytes = ReadStreamBytes(*static_cast<TkwPDStream*>(enc), kMaxCMapBytes);
    FCMap = TkwPDCMap::MakeCMapFromStream(bytes, collection, "Custom", ACMapPath);
  } else if (enc != nullptr && enc->IsName()) {
    FEncodingName = static_cast<const TkwPDName*>(enc)->GetValue();
    FCMap = TkwPDCMap::MakeCMap(collection, FEncodingName, ACMapPath);
    if (!FCMap) Note(TkwDiagCode::dcCMapMissing);
  }
  if (!FCMap) return;

  ReadWidths(*desc);
  if (FFontType == TkwPDFontType::CIDType2) {
    if (TkwPDStream* map = desc->LookUpStream("CIDToGIDMap")) {
      const std::string bytes = ReadStreamBytes(*map, 2 * 65536);
      FCIDToGID.reserve(bytes.size() / 2);
      for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        FCIDToGID.push_back(static_cast<std::uint16_t>((static_cast<unsigned char>(bytes[i]) << 8) |
                                                       static_cast<unsigned char>(bytes[i + 1])));
      }
      FHasCIDToGID = true;
    }
  }
  ReadToUnicode(dict);
  ReadProgramUnicodes();
}

// A TrueType program keeps its own Unicode map. Where the file's ToUnicode is missing or
// gives U+FFFD (as some producers write for glyphs they did not trace back), the glyph's
// value in that map is the text.
void TkwPDCIDFont::ReadProgramUnicodes() {
  if (FFontType != TkwPDFontType::CIDType2 || !HasEmbeddedProgram()) return;
  bool lacking = !FToUnicode;
  if (FToUnicode) {
    for (const TkwCIDCode& c : FToUnicode->GetCodeList()) lacking = lacking || c.FCode == 0xFFFD;
    for (const TkwCIDRange& r : FToUnicode->GetCIDList()) lacking = lacking || (r.FCode == 0xFFFD && r.FCIDStart == r.FCIDEnd);
  }
  if (!lacking) return;
  const std::string* program = GetEmbeddedFontStream();
  const auto face = program != nullptr ? TkwFontFace::OpenMemory(*program) : nullptr;
  if (!face) return;
  for (const auto& [glyph, value] : face->GetUnicodeByGlyph()) {
    if (value >= 32 && value <= 0xFFFF && value != 0xFFFD) FProgramUnicodes.emplace(glyph, static_cast<char16_t>(value));
  }
}

void TkwPDCIDFont::ReadWidths(const TkwPDDictionary& ADesc) {
  if (const TkwPDBaseObject* dw = ADesc.LookUp("DW"); dw != nullptr && dw->IsNumber()) {
    FWidths.DefWidth = FiniteOr(dw->GetNumber() * 0.001, 1.0);
  }
  if (const TkwPDArray* dw2 = ADesc.LookUpArray("DW2"); dw2 != nullptr && dw2->GetLength() >= 2) {
    FWidths.DefVY = FiniteOr(dw2->GetNumber(0) * 0.001, 0.88);
    FWidths.DefHeight = FiniteOr(dw2->GetNumber(1) * 0.001, -1.0);
  }
  if (const TkwPDArray* w = ADesc.LookUpArray("W")) {
    const std::size_t n = w->GetLength();
    for (std::size_t r = 0; r + 1 < n && FWidths.Exceps.size() < static_cast<std::size_t>(kMaxCMapRanges);) {
      const TkwPDBaseObject* a = w->Get(r);
      const TkwPDBaseObject* b = w->Get(r + 1);
      const TkwPDBaseObject* c = r + 2 < n ? w->Get(r + 2) : nullptr;
      if (IsInt(a) && IsInt(b) && c != nullptr && c->IsNumber()) {
        FWidths.Exceps.push_back({ClampCID(IntOf(a)), ClampCID(IntOf(b)), FiniteOr(c->GetNumber() * 0.001, 0)});
        r += 3;
      } else if (IsInt(a) && b != nullptr && b->IsArray()) {
        const auto* inner = static_cast<const TkwPDArray*>(b);
        std::int64_t cid = IntOf(a);
        for (std::size_t i = 0; i < inner->GetLength() && cid <= 0xFFFF; ++i) {
          const TkwPDBaseObject* e = inner->Get(i);
          if (e != nullptr && e->IsNumber()) {
            FWidths.Exceps.push_back({ClampCID(cid), ClampCID(cid), FiniteOr(e->GetNumber() * 0.001, 0)});
          }
          ++cid;
        }
        r += 2;
      } else {
        r += 1;
      }
    }
  }
  // W2: c [w1y vx vy ...] or cfirst clast w1y vx vy; only the vertical advance w1y is used.
  if (const TkwPDArray* w2 = ADesc.LookUpArray("W2")) {
    const std::size_t n = w2->GetLength();
    for (std::size_t r = 0; r + 1 < n && FWidths.VExceps.size() < static_cast<std::size_t>(kMaxCMapRanges);) {
      const TkwPDBaseObject* a = w2->Get(r);
      const TkwPDBaseObject* b = w2->Get(r + 1);
      const TkwPDBaseObject* c = r + 2 < n ? w2->Get(r + 2) : nullptr;
      if (IsInt(a) && IsInt(b) && c != nullptr && c->IsNumber()) {
        FWidths.VExceps.push_back({ClampCID(IntOf(a)), ClampCID(IntOf(b)), FiniteOr(c->GetNumber() * 0.001, -1)});
        r += 5;
      } else if (IsInt(a) && b != nullptr && b->IsArray()) {
        const auto* inner = static_cast<const TkwPDArray*>(b);
        std::int64_t cid = IntOf(a);
        for (std::size_t i = 0; i + 2 < inner->GetLength() && cid <= 0xFFFF; i += 3) {
          const TkwPDBaseObject* e = inner->Get(i);
          if (e != nullptr && e->IsNumber()) {
            FWidths.VExceps.push_back({ClampCID(cid), ClampCID(cid), FiniteOr(e->GetNumber() * 0.001, -1)});
          }
          ++cid;
        }
        r += 2;
      } else {
        r += 1;
      }
    }
  }
  // The first matching entry decides. Each CID is filled once: "next" skips filled runs, so
  // a W array of many huge overlapping ranges still costs one pass over the CIDs.
  auto fill = [](const std::vector<TCIDWidthExcep>& AList, std::vector<double>& AValues, std::vector<bool>& AHas) {
    if (AList.empty()) return;
    std::uint32_t top = 0;
    for (const auto& e : AList) top = std::max<std::uint32_t>(top, e.Last);
    AValues.assign(top + 1, 0);
    AHas.assign(top + 1, false);
    std::vector<std::uint32_t> next(top + 2);
    for (std::uint32_t c = 0; c < next.size(); ++c) next[c] = c;
    auto find = [&](std::uint32_t c) {
      std::uint32_t root = c;
      while (next[root] != root) root = next[root];
      while (next[c] != root) {
        const std::uint32_t n = next[c];
        next[c] = root;
        c = n;
      }
      return root;
    };
    for (const auto& e : AList) {
      if (e.First > e.Last) continue;  // a reversed range names no CID (and may lie past the table)
      for (std::uint32_t c = find(e.First); c <= e.Last; c = find(c + 1)) {
        AValues[c] = e.Width;
        AHas[c] = true;
        next[c] = c + 1;
      }
    }
  };
  fill(FWidths.Exceps, FWidthByCID, FHasWidth);
  fill(FWidths.VExceps, FHeightByCID, FHasHeight);
}

TkwWritingMode TkwPDCIDFont::WritingMode() const {
  return FCMap ? FCMap->GetWMode() : TkwWritingMode::wmHorizontal;
}

double TkwPDCIDFont::GetCIDWidth(std::uint32_t ACID) const {
  if (ACID < FHasWidth.size() && FHasWidth[ACID]) return FWidthByCID[ACID];
  return FWidths.DefWidth;
}

double TkwPDCIDFont::GetCIDHeight(std::uint32_t ACID) const {
  if (ACID < FHasHeight.size() && FHasHeight[ACID]) return FHeightByCID[ACID];
  return FWidths.DefHeight;
}

int TkwPDCIDFont::GetNextChar(std::u16string_view AStr, std::size_t AIndex, TkwPDNextChar& AOut) const {
  AOut = TkwPDNextChar{};
  if (!FCMap) {
    AOut.Processed = 1;
    return 0;
  }
  const bool embedded = HasEmbeddedProgram();
  std::uint32_t charCode = 0;
  // The CID decides the advance even when the code handed on is a Unicode value.
  const std::uint32_t cid = FCMap->GetCID(AStr, AIndex, AOut.Processed, true, &charCode);
  AOut.CharCode = charCode;
  AOut.CID = cid;
  AOut.Code = static_cast<std::uint16_t>(cid);
  if (!embedded && FCMap->GetUCSParser()) AOut.Code = FCMap->CIDToUnicode(cid);

  if (WritingMode() == TkwWritingMode::wmHorizontal) {
    AOut.Dx = GetCIDWidth(cid);
  } else {
    AOut.Dy = GetCIDHeight(cid);
  }

  const auto toUnicode = MapToUnicode(charCode);
  if (FHasCIDToGID) {
    AOut.Code = cid < FCIDToGID.size() ? FCIDToGID[cid] : 0;
  } else if (!embedded && toUnicode) {
    // ToUnicode is keyed by the character code, not by the CID or its UCS2 value.
    AOut.Code = *toUnicode;
  }
  const auto fromProgram = [&]() -> char16_t {
    if (FProgramUnicodes.empty()) return 0;
    const std::uint32_t glyph = FHasCIDToGID ? (cid < FCIDToGID.size() ? FCIDToGID[cid] : 0) : cid;
    const auto it = FProgramUnicodes.find(glyph);
    return it != FProgramUnicodes.end() ? it->second : 0;
  };
  if (toUnicode && *toUnicode != 0 && *toUnicode != 0xFFFD) {
    AOut.Unicode = *toUnicode;
    if (FToUnicode->HasTexts()) AOut.UnicodeText = FToUnicode->MapText(charCode);
  } else if (const std::uint16_t u = FCMap->CIDToUnicode(cid); u != 0) {
    AOut.Unicode = u;
  } else if (const char16_t p = fromProgram(); p != 0) {
    AOut.Unicode = p;
  } else if (toUnicode) {
    AOut.Unicode = *toUnicode;  // a replacement character shows that a glyph was there
  } else if (!embedded && FFontType == TkwPDFontType::CIDType2 && !FHasCIDToGID && !FCMap->GetUCSParser() &&
             cid != 3) {
    // A TrueType font that is not embedded, shown by glyph index with nothing naming its
    // characters (forms written for a viewer to supply Times New Roman): the index is a
    // glyph of the standard order the core text faces keep. Its space glyph (index 3) is
    // left to the gap it leaves, as with fonts that have none: such forms pad their fields
    // with runs of spaces that a word processor sets wider than the page.
    AOut.Unicode = GlyphNameToUnicode(MacStandardGlyphName(cid));
  }
  return 1;
}

double TkwPDCIDFont::GetCharWidth(std::uint32_t ACharCode) const {
  if (!FCMap || WritingMode() == TkwWritingMode::wmVertical) return 0;
  return GetCIDWidth(FCMap->CodeToCID(ACharCode));
}

}  // namespace qm
