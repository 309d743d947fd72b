#include "pdf/model/kwPDPage.h"

#include <algorithm>
#include <iterator>
#include <string_view>

#include "base/Limits.h"
#include "pdf/core/kwPDDocument.h"
#include "pdf/model/kwPDPageTree.h"
#include "pdf/model/kwPDResource.h"

namespace qm {

namespace {

std::string ValueText(const TkwPDBaseObject* AValue) {
  if (AValue == nullptr) return {};
  if (AValue->IsString()) return static_cast<const TkwPDString*>(AValue)->GetString();
  if (AValue->IsName()) return static_cast<const TkwPDName*>(AValue)->GetValue();
  return {};
}

}  // namespace

TkwPDPage::TkwPDPage(TkwPDDictionary* APageDict, TkwPDDocument* AParentDoc, TkwPDElement* AParentElement,
                     int APageNum, std::shared_ptr<TkwPDInheritedProperty> AInheritedProp)
    : TkwPDElement(APageDict, AParentDoc, AParentElement), FPageNum(APageNum), FInheritedProp(std::move(AInheritedProp)) {}

TkwPDPage::~TkwPDPage() { FreeResources(); }

void TkwPDPage::FreeResources() {
  FMediaBox.reset();
  FCropBox.reset();
  FBleedBox.reset();
  FTrimBox.reset();
  FMediaRead = FCropRead = FBleedRead = FTrimRead = false;
  FIsInheritedMediaBox = FIsInheritedCropBox = false;
  FRotate.reset();
  FResourceRead = false;
  FResource = nullptr;
  FContentsRead = false;
  FContents.clear();
  FWidgetsRead = false;
  FWidgets.clear();
  FAppearances.clear();
}

const TkwPDRect* TkwPDPage::OwnBox(const char* AKey, std::optional<TkwPDRect>& ABox, bool& ARead) {
  if (!ARead) {
    ARead = true;
    if (TkwPDBaseObject* box = GetPageDict()->LookUp(AKey); box != nullptr) {
      if (!box->IsArray()) throw ExBadPage();
      ABox = TkwPDRect::FromArray(static_cast<TkwPDArray*>(box));
    }
  }
  return ABox ? &*ABox : nullptr;
}

const TkwPDRect* TkwPDPage::GetMediabox() {
  const bool first = !FMediaRead;
  if (const TkwPDRect* own = OwnBox("MediaBox", FMediaBox, FMediaRead)) return own;
  if (first && FInheritedProp && FInheritedProp->GetMediaBox()) {
    FMediaBox = FInheritedProp->GetMediaBox();
    FIsInheritedMediaBox = true;
  }
  return FMediaBox ? &*FMediaBox : nullptr;
}

const TkwPDRect* TkwPDPage::GetCropbox() {
  const bool first = !FCropRead;
  if (const TkwPDRect* own = OwnBox("CropBox", FCropBox, FCropRead)) return own;
  if (first && FInheritedProp && FInheritedProp->GetCropBox()) {
    FCropBox = FInheritedProp->GetCropBox();
    FIsInheritedCropBox = true;
  }
  return FCropBox ? &*FCropBox : nullptr;
}

const TkwPDRect* TkwPDPage::GetBleedbox() { return OwnBox("BleedBox", FBleedBox, FBleedRead); }
const TkwPDRect* TkwPDPage::GetTrimBox() { return OwnBox("TrimBox", FTrimBox, FTrimRead); }

int TkwPDPage::GetRotate() {
  if (!FRotate) {
    const TkwPDBaseObject* own = GetPageDict()->LookUp("Rotate");
    if (own != nullptr) {
      FRotate = own->IsInteger() ? static_cast<const TkwPDInteger*>(own)->GetValue() : 0;
    } else {
      FRotate = FInheritedProp && FInheritedProp->GetRotate() ? *FInheritedProp->GetRotate() : 0;
    }
  }
  return *FRotate;
}

int TkwPDPage::GetEffectiveRotation(int ARotate) {
  // Files write 450 or -90 as well; any multiple of 360 away is the same turn.
  const long long sum = static_cast<long long>(ARotate) + GetRotate();
  return static_cast<int>(((sum % 360) + 360) % 360);
}

TkwPDResource* TkwPDPage::GetResource() {
  if (!FResourceRead) {
    FResourceRead = true;
    if (TkwPDDictionary* own = GetPageDict()->LookUpDict("Resources")) {
      TkwPDCatalog* catalog = FParentDoc ? FParentDoc->GetCatalog() : nullptr;
      FResource = catalog ? catalog->GetResourceFor(own, this) : nullptr;
    } else if (FInheritedProp) {
      FResource = FInheritedProp->GetResource();
    }
  }
  return FResource;
}

const std::vector<TkwPDStream*>& TkwPDPage::GetContents() {
  if (!FContentsRead) {
    FContentsRead = true;
    TkwPDBaseObject* contents = GetPageDict()->LookUp("Contents");
    if (contents != nullptr && contents->IsStream()) {
      FContents.push_back(static_cast<TkwPDStream*>(contents));
    } else if (contents != nullptr && contents->IsArray()) {
      auto* list = static_cast<TkwPDArray*>(contents);
      for (std::size_t i = 0; i < list->GetLength(); ++i) {
        TkwPDBaseObject* part = list->Get(i);
        if (part != nullptr && part->IsStream()) FContents.push_back(static_cast<TkwPDStream*>(part));
      }
    }
  }
  return FContents;
}

TkwPDArray* TkwPDPage::GetAnnots() const { return GetPageDict()->LookUpArray("Annots"); }

TkwPageSize TkwPDPage::GetPageSize() {
  const TkwPDRect* box = GetCropbox();
  if (box == nullptr) box = GetMediabox();
  if (box == nullptr) return {};
  return {box->GetWidth(), box->GetHeight()};
}

const TkwPDRect* TkwPDPage::GetDisplayBox(bool AUseMediaBox) {
  if (AUseMediaBox) {
    if (const TkwPDRect* media = GetMediabox()) return media;
    return GetCropbox();
  }
  if (const TkwPDRect* crop = GetCropbox()) return crop;
  return GetMediabox();
}

std::string TkwPDPage::FieldValue(std::uint32_t AAnnotNum) const {
  TkwPDCatalog* catalog = FParentDoc ? FParentDoc->GetCatalog() : nullptr;
  TkwPDDictionary* form = catalog ? catalog->GetAcroForm() : nullptr;
  TkwPDArray* fields = form ? form->LookUpArray("Fields") : nullptr;
  if (fields == nullptr || AAnnotNum == kNoObjNum) return {};
  for (std::size_t i = 0; i < fields->GetLength(); ++i) {
    const TkwPDBaseObject* raw = fields->GetRefObj(i);
    TkwPDBaseObject* field = fields->Get(i);
    if (field == nullptr || !field->IsDict()) continue;
    auto* fd = static_cast<TkwPDDictionary*>(field);
    bool match = raw != nullptr && raw->IsIndirectRef() && raw->GetObjNumber() == AAnnotNum;
    if (!match) {
      if (TkwPDArray* kids = fd->LookUpArray("Kids")) {
        for (std::size_t k = 0; k < kids->GetLength() && !match; ++k) {
          const TkwPDBaseObject* kid = kids->GetRefObj(k);
          match = kid != nullptr && kid->GetObjNumber() == AAnnotNum;
        }
      }
    }
    if (match) return ValueText(fd->LookUp("V"));
  }
  return {};
}

namespace {

// The annotation types of the PDF standard, which a viewer shows even when their
// Invisible flag is set.
bool IsStandardAnnotation(std::string_view ASubtype) {
  static constexpr std::string_view kTypes[] = {
      "3D",       "Caret",     "Circle",    "FileAttachment", "FreeText",    "Highlight", "Ink",
      "Line",     "Link",      "Movie",     "Polygon",        "PolyLine",    "Popup",     "PrinterMark",
      "Projection", "Redact",  "RichMedia", "Screen",         "Sound",       "Square",    "Squiggly",
      "Stamp",    "StrikeOut", "Text",      "TrapNet",        "Underline",   "Watermark", "Widget"};
  return std::find(std::begin(kTypes), std::end(kTypes), ASubtype) != std::end(kTypes);
}

}  // namespace

void TkwPDPage::AddWidget(TkwPDDictionary* AAnnot, const std::string& AValue, int ADepth) {
  const std::string subtype = AAnnot->LookUpName("Subtype");
  const bool widget = subtype == "Widget";
  // Every annotation with an appearance is shown as a viewer shows it: a stamp, a
  // typewritten note, a comment's icon. Popups open only on demand.
  if (widget || (!subtype.empty() && subtype != "Popup" && AAnnot->LookUp("AP") != nullptr)) {
    const TkwPDBaseObject* flags = AAnnot->LookUp("F");
    const std::int64_t f =
        flags != nullptr && flags->IsInteger() ? static_cast<const TkwPDInteger*>(flags)->GetValue() : 0;
    // Bit 2 hidden, bit 6 no view; bit 1 invisible for fields, and for types a viewer does
    // not know.
    const bool invisible = (f & 1) != 0 && (widget || !IsStandardAnnotation(subtype));
    if ((f & 2) != 0 || (f & 32) != 0 || invisible) return;
    auto appearance = std::make_unique<TkwPDAppearanceStream>(AAnnot, FParentDoc, this, AValue);
    if (TkwPDForm* form = appearance->GetFormXObject()) {
      TkwPDWidgetAppearance w;
      w.Annot = AAnnot;
      w.ObjNum = AAnnot->GetObjNumber();
      w.Rect = appearance->GetDestRect();
      w.Form = form;
      w.Value = AValue;
      FWidgets.push_back(std::move(w));
      FAppearances.push_back(std::move(appearance));
    }
    return;
  }
  // A field that is not a widget passes its value to its kids, which are drawn as widgets.
  if (ADepth > 0) return;
  if (TkwPDArray* kids = AAnnot->LookUpArray("Kids")) {
    const TkwPDBaseObject* v = AAnnot->LookUp("V");
    const std::string value = v != nullptr && v->IsName() ? static_cast<const TkwPDName*>(v)->GetValue() : "";
    for (std::size_t i = 0; i < kids->GetLength(); ++i) {
      TkwPDBaseObject* kid = kids->Get(i);
      if (kid != nullptr && kid->IsDict()) AddWidget(static_cast<TkwPDDictionary*>(kid), value, ADepth + 1);
    }
  }
}

const std::vector<TkwPDWidgetAppearance>& TkwPDPage::GetWidgetAppearances() {
  if (!FWidgetsRead) {
    FWidgetsRead = true;
    if (TkwPDArray* annots = GetAnnots()) {
      for (std::size_t i = 0; i < annots->GetLength(); ++i) {
        TkwPDBaseObject* annot = annots->Get(i);
        if (annot == nullptr || !annot->IsDict()) continue;
        auto* dict = static_cast<TkwPDDictionary*>(annot);
        AddWidget(dict, FieldValue(dict->GetObjNumber()), 0);
      }
    }
  }
  return FWidgets;
}

}  // namespace qm
