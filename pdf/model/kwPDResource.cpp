#include "pdf/model/kwPDResource.h"

#include "pdf/core/kwPDDocument.h"
#include "pdf/model/kwPDPageTree.h"
#include "pdf/model/kwPDXObject.h"

namespace qm {

namespace {

const char* KeyOf(TkwPDResourceType AType) {
  switch (AType) {
    case TkwPDResourceType::resExtGState: return "ExtGState";
    case TkwPDResourceType::resColorSpace: return "ColorSpace";
    case TkwPDResourceType::resPattern: return "Pattern";
    case TkwPDResourceType::resShading: return "Shading";
    case TkwPDResourceType::resXObject: return "XObject";
    case TkwPDResourceType::resFont: return "Font";
    case TkwPDResourceType::resProcSet: return "ProcSet";
    case TkwPDResourceType::resProperties: return "Properties";
  }
  return "";
}

}  // namespace

TkwPDResource::TkwPDResource(TkwPDDictionary* ADict, TkwPDDocument* AParentDoc, TkwPDElement* AParentElement)
    : TkwPDElement(ADict, AParentDoc, AParentElement) {}

TkwPDResource::~TkwPDResource() = default;

TkwPDDictionary* TkwPDResource::GetSubDictionary(TkwPDResourceType AType) const {
  TkwPDDictionary* dict = GetDict();
  return dict ? dict->LookUpDict(KeyOf(AType)) : nullptr;
}

const std::vector<TkwPDResourceItem>& TkwPDResource::Build(TkwPDResourceType AType) {
  using enum TkwPDResourceType;
  std::vector<TkwPDResourceItem>* list = nullptr;
  bool* built = nullptr;
  switch (AType) {
    case resFont: list = &FFontList; built = &FFontsBuilt; break;
    case resXObject: list = &FXObjectList; built = &FXObjectsBuilt; break;
    case resColorSpace: list = &FColorSpaceList; built = &FColorSpacesBuilt; break;
    default: list = &FGStateList; built = &FGStatesBuilt; break;
  }
  if (*built) return *list;
  *built = true;
  TkwPDDictionary* sub = GetSubDictionary(AType);
  if (sub == nullptr) return *list;
  TkwPDCatalog* const document = FParentDoc != nullptr ? FParentDoc->GetCatalog() : nullptr;
  if (document == nullptr) return *list;
  const TkwPDResourceFactories& factories = document->GetResourceFactories();
  // Collect first: a factory may look names up in this same resource.
  std::vector<TkwPDResourceItem> items;
  for (std::size_t i = 0; i < sub->GetLength(); ++i) {
    TkwPDBaseObject* value = sub->GetValue(i);
    if (IsAbsent(value)) continue;
    const std::string name = sub->GetKey(i);
    std::unique_ptr<TkwPDElement> element;
    TkwPDElement* shared = nullptr;
    switch (AType) {
      case resFont: {
        if (!factories.Font) break;
        TkwPDCatalog* catalog = FParentDoc != nullptr && value->IsDict() ? FParentDoc->GetCatalog() : nullptr;
        if (catalog == nullptr) {
          element = factories.Font(*this, *value, name);
          break;
        }
        shared = catalog->GetSharedFont(static_cast<TkwPDDictionary*>(value), name,
                                        [&] { return factories.Font(*this, *value, name); });
        if (shared != nullptr) items.push_back(TkwPDResourceItem{name, shared, nullptr});
        break;
      }
      case resColorSpace:
        if (factories.ColorSpace) element = factories.ColorSpace(*this, *value, name);
        break;
      case resXObject:
        element = TkwPDXObject::MakeXObject(FParentDoc, this, value, name);
        break;
      default:
        if (factories.GState) element = factories.GState(*this, *value, name);
        break;
    }
    if (AType == resFont && factories.Font && !element && shared == nullptr) Note(TkwDiagCode::dcFontBroken);
    if (element) items.push_back(TkwPDResourceItem{name, element.get(), std::move(element)});
  }
  for (auto& item : items) list->push_back(std::move(item));
  return *list;
}

TkwPDElement* TkwPDResource::Find(const std::vector<TkwPDResourceItem>& AList, std::string_view AName) {
  for (const auto& item : AList) {
    if (item.Name == AName) return item.Element;
  }
  return nullptr;
}

const std::vector<TkwPDResourceItem>& TkwPDResource::GetFonts() {
  if (FFontSource != nullptr && FFontSource != this) return FFontSource->GetFonts();
  return Build(TkwPDResourceType::resFont);
}
const std::vector<TkwPDResourceItem>& TkwPDResource::GetXObjects() { return Build(TkwPDResourceType::resXObject); }
const std::vector<TkwPDResourceItem>& TkwPDResource::GetColorSpaces() { return Build(TkwPDResourceType::resColorSpace); }
const std::vector<TkwPDResourceItem>& TkwPDResource::GetGStates() { return Build(TkwPDResourceType::resExtGState); }

TkwPDElement* TkwPDResource::LookUpFont(std::string_view AName) { return Find(GetFonts(), AName); }
TkwPDXObject* TkwPDResource::LookUpXObject(std::string_view AName) {
  return static_cast<TkwPDXObject*>(Find(GetXObjects(), AName));
}
TkwPDElement* TkwPDResource::LookUpColorSpace(std::string_view AName) { return Find(GetColorSpaces(), AName); }
TkwPDElement* TkwPDResource::LookUpGState(std::string_view AName) { return Find(GetGStates(), AName); }
TkwPDElement* TkwPDResource::LookUpPattern(std::string_view) const { return nullptr; }

}  // namespace qm
