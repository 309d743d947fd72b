#include "pdf/model/kwPDPageTree.h"

#include <algorithm>

#include "base/Limits.h"
#include "pdf/core/kwPDBaseDoc.h"
#include "pdf/core/kwPDDocument.h"
#include "pdf/core/kwPDXRef.h"

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
    TkwPDDictionary* pages = GetDict()->LookUpDict("Pages");
    if (pages == nullptr) {
      // No tree to walk: an empty root, so that the pages are collected in file order.
      FEmptyRoot = std::make_unique<TkwPDDictionary>(GetDict()->GetParentDoc());
      pages = FEmptyRoot.get();
    }
    FPageTree = std::make_unique<TkwPDPageTree>(pages, FParentDoc, this);
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
  if (FPageList.empty()) CollectPagesInFileOrder();
}

void TkwPDPageTree::CollectPagesInFileOrder() {
  TkwPDBaseDoc* base = FParentDoc ? FParentDoc->GetBaseDoc() : nullptr;
  if (base == nullptr || base->GetXRef() == nullptr) return;
  for (const std::uint32_t num : base->GetXRef()->GetObjectNumbersInFileOrder()) {
    TkwPDBaseObject* obj = base->GetObject(num);
    if (obj == nullptr || !obj->IsDict("Page")) continue;
    if (static_cast<std::int64_t>(FPageList.size()) >= kMaxPages) {
      Note(TkwDiagCode::dcPageTreeCut);
      break;
    }
    auto* dict = static_cast<TkwPDDictionary*>(obj);
    // What the page inherits comes from the Parent nodes it names, top first.
    std::vector<TkwPDDictionary*> parents;
    std::vector<const TkwPDDictionary*> seen{dict};
    for (TkwPDDictionary* p = dict->LookUpDict("Parent"); p != nullptr && parents.size() < kMaxPageTreeDepth;
         p = p->LookUpDict("Parent")) {
      if (std::find(seen.begin(), seen.end(), p) != seen.end()) break;
      seen.push_back(p);
      parents.push_back(p);
    }
    std::shared_ptr<TkwPDInheritedProperty> prop = FInheritedProp;
    for (auto it = parents.rbegin(); it != parents.rend(); ++it) {
      prop = std::make_shared<TkwPDInheritedProperty>(*it, FParentDoc, prop);
    }
    prop = std::make_shared<TkwPDInheritedProperty>(dict, FParentDoc, prop);
    FPageRefs.emplace_back(num, 0);
    FPageList.push_back(std::make_unique<TkwPDPage>(dict, FParentDoc, this, ++FPageNumber, std::move(prop)));
  }
  if (!FPageList.empty()) Note(TkwDiagCode::dcPagesByScan);
}

bool TkwPDPageTree::Walk(TkwPDDictionary* ANode, const std::shared_ptr<TkwPDInheritedProperty>& AProp, int ADepth) {
  TkwPDArray* kids = ANode->LookUpArray("Kids");
  if (kids == nullptr) return false;
  for (std::size_t i = 0; i < kids->GetLength(); ++i) {
    if (++FNodesVisited > kMaxPageTreeNodes) {
      Note(TkwDiagCode::dcPageTreeCut);
      return false;
    }
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
        Note(TkwDiagCode::dcPageTreeCut);
        return false;
      }
      auto prop = std::make_shared<TkwPDInheritedProperty>(dict, FParentDoc, AProp);
      FPageRefs.emplace_back(num, gen);
      FPageList.push_back(std::make_unique<TkwPDPage>(dict, FParentDoc, this, ++FPageNumber, std::move(prop)));
    } else if (dict->IsDict("Pages")) {
      if (ADepth + 1 >= kMaxPageTreeDepth) {
        Note(TkwDiagCode::dcPageTreeCut);
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

// A Count that disagrees with the leaves (a damaged or hostile file says two billion)
// is not believed: the pages are the ones found.
int TkwPDPageTree::GetCount() { return GetFoundCount(); }

TkwPDPage* TkwPDPageTree::GetPage(int AIndex) {
  if (AIndex < 1 || AIndex > GetFoundCount()) return nullptr;
  return FPageList[static_cast<std::size_t>(AIndex - 1)].get();
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
