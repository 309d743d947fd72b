#include "pdf/fonts/kwPDFont.h"

#include <cmath>
#include <fstream>

#include "base/Limits.h"
#include "pdf/core/kwPDDocument.h"
#include "pdf/core/Tolerance.h"
#include "pdf/model/kwPDResource.h"
#include "pdf/fonts/kwPD8bitFont.h"
#include "pdf/fonts/kwPDCIDFont.h"

namespace qm {

std::string ReadStreamBytes(TkwPDStream& AStream, std::int64_t ALimit) {
  try {
    return AStream.ReadAll(ALimit);
  } catch (const std::exception&) {
    RethrowUnlessDamage();
    // A stream whose filters cannot even start gives nothing; the font works without it.
    return {};
  }
}

std::unique_ptr<TkwPDFont> TkwPDFont::MakeFont(TkwPDDocument* AParentDoc, TkwPDElement* AResource,
                                               std::string_view ATag, TkwPDDictionary* AFontDict,
                                               std::string_view ACMapPath) {
  if (AFontDict == nullptr) return nullptr;
  const std::string subtype = AFontDict->LookUpName("Subtype");
  if (subtype.empty()) return nullptr;
  const std::string name = AFontDict->LookUpName("BaseFont");
  if (subtype == "Type0") {
    return std::make_unique<TkwPDCIDFont>(AParentDoc, AResource, AFontDict, ATag, name, ACMapPath);
  }
  TkwPDFontType type = TkwPDFontType::UnknowType;
  if (subtype == "Type1" || subtype == "MMType1") type = TkwPDFontType::Type1;
  else if (subtype == "Type1C") type = TkwPDFontType::Type1C;
  else if (subtype == "Type3") type = TkwPDFontType::Type3;
  else if (subtype == "TrueType") type = TkwPDFontType::TrueType;
  return std::make_unique<TkwPD8bitFont>(AParentDoc, AResource, AFontDict, ATag, name, type);
}

void RegisterFontFactory(TkwPDResourceFactories& AFactories) {
  AFactories.Font = [](TkwPDResource& AOwner, TkwPDBaseObject& AValue,
                                             std::string_view AName) -> std::unique_ptr<TkwPDElement> {
    if (!AValue.IsDict()) return nullptr;
    TkwPDDocument* doc = AOwner.GetParentDoc();
    const std::string cmapPath = doc != nullptr ? doc->GetCMapPath() : std::string();
    return TkwPDFont::MakeFont(doc, &AOwner, AName, static_cast<TkwPDDictionary*>(&AValue), cmapPath);
  };
}

TkwPDFont::TkwPDFont(TkwPDDocument* AParentDoc, TkwPDElement* AParentElement, TkwPDDictionary* AFontDict,
                     std::string_view ATag)
    : TkwPDElement(AFontDict, AParentDoc, AParentElement), FTag(ATag) {}

int TkwPDFont::GetNextChar(std::u16string_view AStr, std::size_t AIndex, TkwPDNextChar& AOut) const {
  (void)AStr;
  (void)AIndex;
  AOut = TkwPDNextChar{};
  return 0;
}

double TkwPDFont::GetCharWidth(std::uint32_t ACharCode) const {
  (void)ACharCode;
  return 0;
}

std::optional<std::uint16_t> TkwPDFont::MapToUnicode(std::uint32_t ACode) const {
  if (!FToUnicode) return std::nullopt;
  const std::int64_t v = FToUnicode->MapCode(ACode);
  if (v < 0) return std::nullopt;
  return static_cast<std::uint16_t>(v & 0xFFFF);
}

void TkwPDFont::ReadFontDescriptor(const TkwPDDictionary& ADict, std::string_view ASubsetName) {
  using enum TkwPDFontType;
  FFlags = 2;
  FMissingWidth = 0;
  const bool subset = ASubsetName.size() > 6 && ASubsetName[6] == '+';
  const TkwPDDictionary* fd = ADict.LookUpDict("FontDescriptor");
  if (fd == nullptr) return;
  FHasDescriptor = true;
  if (const TkwPDBaseObject* w = fd->LookUp("FontWeight"); w != nullptr && w->IsNumber()) {
    const double v = w->GetNumber();
    FFontWeight = std::isfinite(v) && v > 0 && v < 1000 ? static_cast<int>(v) : 0;
  }
  if (const TkwPDBaseObject* f = fd->LookUp("FontFamily"); f != nullptr && f->IsString()) {
    FFontFamily = static_cast<const TkwPDString*>(f)->GetString();
  }
  if (const TkwPDBaseObject* flags = fd->LookUp("Flags"); flags != nullptr && flags->IsInteger()) {
    FFlags = static_cast<const TkwPDInteger*>(flags)->GetValue();
  }
  if (std::string n = fd->LookUpName("FontName"); !n.empty()) FEmbeddedFontName = n;
  if (const TkwPDBaseObject* a = fd->LookUp("ItalicAngle"); a != nullptr && a->IsNumber()) {
    const double v = a->GetNumber();
    FItalicAngle = std::isfinite(v) && std::abs(v) < 360 ? static_cast<int>(std::lround(v)) : 0;
  }

  // A program is usable when the entry leads to a stream (producers write it as a
  // reference; a reference to nothing counts as absent).
  auto program = [&](std::string_view AKey) -> const TkwPDStream* {
    const TkwPDBaseObject* raw = fd->LookupRefObj(AKey);
    if (raw == nullptr) return nullptr;
    if (raw->IsIndirectRef() && raw->GetObjNumber() == kNoObjNum) return nullptr;
    const TkwPDBaseObject* obj = fd->LookUp(AKey);
    if (obj == nullptr || !obj->IsStream()) return nullptr;
    FEmbededFontIndRef = raw->Clone();
    return static_cast<const TkwPDStream*>(obj);
  };
  if (program("FontFile")) {
    FFontType = Type1;
  } else if (program("FontFile2")) {
    if (FFontType == CIDType0) FFontType = CIDType2;
    else if (FFontType != TrueType && FFontType != CIDType2) FFontType = TrueType;
  } else if (const TkwPDStream* ff3 = program("FontFile3")) {
    const std::string sub = ff3->GetDict()->LookUpName("Subtype");
    if (sub == "Type1") FFontType = Type1;
    else if (sub == "Type1C") FFontType = Type1C;
    else if (sub == "TrueType") FFontType = TrueType;
    else if (sub == "CIDFontType0C") FFontType = CIDType0C;
    else if (sub == "OpenType") {
      if (FFontType == TrueType) FFontType = TrueTypeOT;
      else if (FFontType == Type1) FFontType = Type1COT;
      else if (FFontType == CIDType0) FFontType = CIDType0COT;
      else if (FFontType == CIDType2) FFontType = CIDType2OT;
    }
  }
  FEmbeddingType = !FEmbededFontIndRef ? TkwPDFFontEmbeddingType::etNone
                   : subset            ? TkwPDFFontEmbeddingType::etSubset
                                       : TkwPDFFontEmbeddingType::etFull;

  if (const TkwPDBaseObject* mw = fd->LookUp("MissingWidth"); mw != nullptr && mw->IsNumber()) {
    const double v = mw->GetNumber();
    if (std::isfinite(v) && std::abs(v) < 1e6) FMissingWidth = static_cast<int>(std::nearbyint(v));
  }
  if (const TkwPDBaseObject* a = fd->LookUp("Ascent"); a != nullptr && a->IsNumber()) {
    const double v = a->GetNumber();
    if (v != 0 && std::isfinite(v)) FAscent = v * 0.001;
  }
  if (const TkwPDBaseObject* d = fd->LookUp("Descent"); d != nullptr && d->IsNumber()) {
    const double v = d->GetNumber();
    if (v != 0 && std::isfinite(v)) FDescent = -std::abs(v) * 0.001;
  }
  if (const TkwPDArray* box = fd->LookUpArray("FontBBox"); box != nullptr && box->GetLength() >= 4) {
    // Glyph space is 1/1000 of text space, like the built-in boxes.
    FFontBox = {box->GetNumber(0) * 0.001, box->GetNumber(1) * 0.001, box->GetNumber(2) * 0.001,
                box->GetNumber(3) * 0.001};
  }
}

void TkwPDFont::ReadToUnicode(const TkwPDDictionary& ADict) {
  TkwPDStream* s = ADict.LookUpStream("ToUnicode");
  if (s == nullptr) return;
  const std::string bytes = ReadStreamBytes(*s, kMaxCMapBytes);
  if (!bytes.empty()) FToUnicode = std::make_unique<TkwPDCMapParser>(bytes);
}

const std::string* TkwPDFont::GetEmbeddedFontStream() const {
  if (!FEmbeddedRead) {
    FEmbeddedRead = true;
    if (FEmbededFontIndRef) {
      TkwPDBaseObject* obj = FEmbededFontIndRef.get();
      if (obj->IsIndirectRef()) obj = static_cast<TkwPDIndirectRef*>(obj)->Resolve();
      if (obj != nullptr && obj->IsStream()) {
        std::string bytes = ReadStreamBytes(*static_cast<TkwPDStream*>(obj), kMaxFontProgramBytes);
        if (!bytes.empty()) FEmbeddedFontStream = std::make_unique<std::string>(std::move(bytes));
      }
    }
  }
  return FEmbeddedFontStream.get();
}

const std::string* TkwPDFont::GetExtFontStream() const {
  if (!FExtRead) {
    FExtRead = true;
    if (!FExtFontName.empty()) {
      std::ifstream in(FExtFontName, std::ios::binary);
      if (in) {
        std::string bytes;
        char buf[65536];
        while (in && static_cast<std::int64_t>(bytes.size()) < kMaxFontProgramBytes) {
          in.read(buf, sizeof buf);
          bytes.append(buf, static_cast<std::size_t>(in.gcount()));
        }
        if (!bytes.empty()) FExtFontStream = std::make_unique<std::string>(std::move(bytes));
      }
    }
  }
  return FExtFontStream.get();
}

}  // namespace qm
