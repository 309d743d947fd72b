#include "pdf/model/kwPDPageTree.h"

#include <algorithm>

#include "base/Limits.h"
#include "pdf/core/kwPDDocument.h"

namespace qm {

// ---- TkwPDCatalog --------------------------------------------------------------------

TkwPDCatalog::TkwPDCatalog(TkwPDDictionary* ACatalog, TkwPDDocument* AParentDoc)
    : TkwPDElement(ACatalog, AParentDoc, nullptr) {}

TkwPDCatalog::~TkwPDCatalog() {
  // Pages borrow resource wrappers; they go first.
  FPageTree.reset();
}

TkwPDPageTree* TkwPDCatalog::GetPageTree() {
  if (!FPageTreeRead) {
    FPageTreeRead = true;
    if (TkwPDDictionary* pages = GetDict()->LookUpDict("Pages")) {
      FPageTree = std::make_unique<TkwPDPageTree>(pages, FParentDoc, this);
    }
  }
  return FPageTree.get();
}

TkwPDResource* TkwPDCatalog::GetResourceFor(TkwPDDictionary* ADict, TkwPDElement*) {
  if (ADict == nullptr) return nullptr;
  auto& slot = FResources[ADict];
  // The wrapper outlives whoever asked first, so its parent is the catalog.
  if (!slot) slot = std::make_unique<TkwPDResource>(ADict, FParentDoc, this);
  return slot.get();
}

TkwPDElement* TkwPDCatalog::GetSharedFont(const TkwPDDictionary* AFontDict, std::string_view AName,
                                          const std::function<std::unique_ptr<TkwPDElement>()>& AMake) {
  auto key = std::make_pair(AFontDict, std::string(AName));
  auto it = FFonts.find(key);
  if (it == FFonts.end()) it = FFonts.emplace(std::move(key), AMake()).first;
  return it->second.get();
}

TkwPDDictionary* TkwPDCatalog::GetAcroForm() const { return GetDict()->LookUpDict("AcroForm"); }

// ---- TkwPDPageTree -------------------------------------------------------------------

TkwPDPageTree::TkwPDPageTree(TkwPDDictionary* ARoot, TkwPDDocument* AParentDoc, TkwPDElement* AParentElement)
    : TkwPDElement(ARoot, AParentDoc, AParentElement) {}

TkwPDPageTree::~TkwPDPageTree() = default;

void TkwPDPageTree::BuildList() {
  if (FBuilt) return;
  FBuilt = true;
  TkwPDDictionary* root = GetDict();
  const std::uint32_t rootNum = root->GetObjNumber();
  if (rootNum != kNoObjNum && rootNum <= static_cast<std::uint32_t>(kMaxObjectNumber)) {
    FVisited.resize(static_cast<std::size_t>(rootNum) + 1);
    FVisited[rootNum] = true;
  }
  FInheritedProp = std::make_shared<TkwPDInheritedProperty>(root, FParentDoc, nullptr);
  Walk(root, FInheritedProp, 0);
  FVisited.clear();
  FVisited.shrink_to_fit();
}

bool TkwPDPageTree::Walk(TkwPDDictionary* ANode, const std::shared_ptr<TkwPDInheritedProperty>& AProp, int ADepth) {
  TkwPDArray* kids = ANode->LookUpArray("Kids");
  if (kids == nullptr) return false;
  for (std::size_t i = 0; i < kids->GetLength(); ++i) {
    const TkwPDBaseObject* raw = kids->GetRefObj(i);
    std::uint32_t num = kNoObjNum, gen = 0;
    if (raw != nullptr && raw->IsIndirectRef()) {
      num = raw->GetObjNumber();
      gen = raw->GetGenNumber();
      // Pages listed twice and nodes that list an ancestor are walked once.
      if (num > static_cast<std::uint32_t>(kMaxObjectNumber)) continue;
      if (num >= FVisited.size()) FVisited.resize(std::max<std::size_t>(num + 1, FVisited.size() * 2));
      if (FVisited[num]) {
        Note(TkwDiagCode::dcPageTreeLoop);
        continue;
      }
      FVisited[num] = true;
    }
    TkwPDBaseObject* kid = kids->Get(i);
    if (kid == nullptr || !kid->IsDict()) continue;
    auto* dict = static_cast<TkwPDDictionary*>(kid);
    if (dict->IsDict("Page")) {
      if (static_cast<std::int64_t>(FPageList.size()) >= kMaxPages) {
        Note(TkwDiagCode::dcLimitReached);
        return false;
      }
      auto prop = std::make_shared<TkwPDInheritedProperty>(dict, FParentDoc, AProp);
      FPageRefs.emplace_back(num, gen);
      FPageList.push_back(std::make_unique<TkwPDPage>(dict, FParentDoc, this, ++FPageNumber, std::move(prop)));
    } else if (dict->IsDict("Pages")) {
      if (ADepth + 1 >= kMaxPageTreeDepth) {
        Note(TkwDiagCode::dcLimitReached);
        continue;
      }
      auto prop = std::make_shared<TkwPDInheritedProperty>(dict, FParentDoc, AProp);
      if (!Walk(dict, prop, ADepth + 1)) return false;
    }
  }
  return true;
}

int TkwPDPageTree::GetFoundCount() {
  BuildList();
  return static_cast<int>(FPageList.size());
}

int TkwPDPageTree::GetCount() {
  const TkwPDBaseObject* count = GetDict()->LookUp("Count");
  if (count == nullptr || !count->IsInteger()) return GetFoundCount();
  const std::int64_t value = static_cast<const TkwPDInteger*>(count)->GetValue();
  return static_cast<int>(std::clamp<std::int64_t>(value, 0, kMaxPages));
}

TkwPDPage* TkwPDPageTree::GetPage(int AIndex) {
  if (AIndex < 1 || AIndex > GetCount()) return nullptr;
  const int found = GetFoundCount();
  if (found == 0) return nullptr;
  int index = AIndex;
  if (index > found) {
    index %= found;
    if (index == 0) index = found;
  }
  return FPageList[static_cast<std::size_t>(index - 1)].get();
}

TkwPDPage* TkwPDPageTree::GetPageByIndRef(const TkwPDIndirectRef& APageRef) {
  BuildList();
  for (std::size_t i = 0; i < FPageRefs.size(); ++i) {
    if (FPageRefs[i].first == APageRef.GetObjNumber()) return FPageList[i].get();
  }
  return nullptr;
}

// ---- The document's page functions (declared in pdf/core/PDDocument.h) ---------------

TkwPDCatalog* TkwPDDocument::GetCatalog() {
  if (GetBaseDoc() == nullptr) return nullptr;
  if (GetCatalogSlot() == nullptr) {
    SetCatalogSlot(std::make_unique<TkwPDCatalog>(GetBaseDoc()->GetDocRoot(), this));
  }
  return static_cast<TkwPDCatalog*>(GetCatalogSlot());
}

int TkwPDDocument::GetPageCount() {
  TkwPDCatalog* catalog = GetCatalog();
  TkwPDPageTree* tree = catalog ? catalog->GetPageTree() : nullptr;
  return tree ? tree->GetCount() : 0;
}

TkwPDPage* TkwPDDocument::GetPage(int AIndex) {
  TkwPDCatalog* catalog = GetCatalog();
  TkwPDPageTree* tree = catalog ? catalog->GetPageTree() : nullptr;
  return tree ? tree->GetPage(AIndex) : nullptr;
}

TkwPDPage* TkwPDDocument::GetPageByIndRef(const TkwPDIndirectRef& APageRef) {
  TkwPDCatalog* catalog = GetCatalog();
  TkwPDPageTree* tree = catalog ? catalog->GetPageTree() : nullptr;
  return tree ? tree->GetPageByIndRef(APageRef) : nullptr;
}

}  // namespace qm
