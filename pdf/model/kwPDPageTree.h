#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pdf/model/kwPDElement.h"
#include "pdf/model/kwPDInheritedProperty.h"
#include "pdf/model/kwPDPage.h"
#include "pdf/model/kwPDResource.h"

namespace qm {

class TkwPDPageTree;

// The catalog wrapper the document holds: the page tree and the resource wrappers of the
// document (one per resource dictionary, so that fonts and XObjects are built once).
class TkwPDCatalog : public TkwPDElement {
public:
  TkwPDCatalog(TkwPDDictionary* ACatalog, TkwPDDocument* AParentDoc);
  ~TkwPDCatalog() override;

  // Made on first use from the catalog's Pages; nullptr when Pages is not a dictionary.
  [[nodiscard]] TkwPDPageTree* GetPageTree();
  // The wrapper of resource dictionary ADict (made on first use); nullptr for nullptr.
  [[nodiscard]] TkwPDResource* GetResourceFor(TkwPDDictionary* ADict, TkwPDElement* AParentElement);
  // The catalog's AcroForm dictionary, or nullptr.
  [[nodiscard]] TkwPDDictionary* GetAcroForm() const;
  // The font wrapper of font dictionary AFontDict under resource name AName, made by AMake
  // on first use and kept for the document; nullptr when AMake gave none. Keyed by the name
  // as well, because a font knows the name it was looked up by.
  [[nodiscard]] TkwPDElement* GetSharedFont(const TkwPDDictionary* AFontDict, std::string_view AName,
                                            const std::function<std::unique_ptr<TkwPDElement>()>& AMake);
  // How this document's resource entries become wrappers; empty until a layer above fills it.
  [[nodiscard]] TkwPDResourceFactories& GetResourceFactories() { return FResourceFactories; }

private:
  TkwPDResourceFactories FResourceFactories;
  std::unique_ptr<TkwPDPageTree> FPageTree;
  bool FPageTreeRead = false;
  std::unique_ptr<TkwPDDictionary> FEmptyRoot;  // the root when the catalog has no Pages
  std::map<const TkwPDDictionary*, std::unique_ptr<TkwPDResource>> FResources;
  // Declared after the resources so that fonts are destroyed first, while the resource
  // wrapper each was built for still exists.
  std::map<std::pair<const TkwPDDictionary*, std::string>, std::unique_ptr<TkwPDElement>, std::less<>> FFonts;
};

// The page tree: pages in document order, found by one walk on first use. The walk skips a
// kid already visited (pages listed twice, loops), stops descending beyond
// kMaxPageTreeDepth levels, and ends when a node's Kids is not an array.
class TkwPDPageTree : public TkwPDElement {
public:
  TkwPDPageTree(TkwPDDictionary* ARoot, TkwPDDocument* AParentDoc, TkwPDElement* AParentElement);
  ~TkwPDPageTree() override;

  // The pages found: the leaves of the tree within the caps (kMaxPages, kMaxPageTreeDepth,
  // kMaxPageTreeNodes; a tree cut at one is noted as dcPageTreeCut), or, when the tree
  // gives none, the page objects of the file in file order (dcPagesByScan). The root's
  // Count is not consulted.
  [[nodiscard]] int GetCount();
  // Page by 1-based index; nullptr for an index below 1 or above GetCount.
  [[nodiscard]] TkwPDPage* GetPage(int AIndex);
  // The page whose reference has the object number of APageRef, or nullptr.
  [[nodiscard]] TkwPDPage* GetPageByIndRef(const TkwPDIndirectRef& APageRef);
  // Pages found by the walk.
  [[nodiscard]] int GetFoundCount();
  [[nodiscard]] const std::shared_ptr<TkwPDInheritedProperty>& GetInheritedProp() const { return FInheritedProp; }

private:
  void BuildList();
  // False when the walk is to end.
  bool Walk(TkwPDDictionary* ANode, const std::shared_ptr<TkwPDInheritedProperty>& AProp, int ADepth);

  std::shared_ptr<TkwPDInheritedProperty> FInheritedProp;
  std::vector<std::unique_ptr<TkwPDPage>> FPageList;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> FPageRefs;  // object and generation number
  void CollectPagesInFileOrder();
  bool FBuilt = false;
  std::int64_t FNodesVisited = 0;
  int FPageNumber = 0;
  std::vector<bool> FVisited;
  std::vector<const TkwPDBaseObject*> FWalking;  // direct nodes on the current path
};

}  // namespace qm
