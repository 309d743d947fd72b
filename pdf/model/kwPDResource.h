#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pdf/model/kwPDElement.h"

namespace qm {

class TkwPDResource;
class TkwPDXObject;

enum class TkwPDResourceType : std::uint8_t {
  resExtGState,
  resColorSpace,
  resPattern,
  resShading,
  resXObject,
  resFont,
  resProcSet,
  resProperties
};

// One wrapper built from an entry of a resource sub-dictionary, with its resource name.
// Fonts are shared by the document (see TkwPDCatalog::GetSharedFont) and only pointed to;
// every other wrapper is owned by the item.
struct TkwPDResourceItem {
  std::string Name;
  TkwPDElement* Element = nullptr;
  std::unique_ptr<TkwPDElement> Owned;
};

// How resource entries become wrappers. Each document has its own set, kept by its
// catalog (TkwPDCatalog::GetResourceFactories); the layers above the page model fill it
// before the document's pages are read (fonts: the font factory, colour spaces: the
// colour-space factory, graphics states: TkwPDGState, images: the image XObject). A
// factory that is empty, or that returns nullptr, leaves the entry out; a resource outside
// any document builds nothing. AValue is the entry resolved; AOwner is the resource
// dictionary's wrapper (its document is AOwner.GetParentDoc()).
struct TkwPDResourceFactories {
  using TkwFactory =
      std::function<std::unique_ptr<TkwPDElement>(TkwPDResource& AOwner, TkwPDBaseObject& AValue, std::string_view AName)>;
  using TkwImageFactory =
      std::function<std::unique_ptr<TkwPDXObject>(TkwPDElement* AOwner, TkwPDStream& AImage, std::string_view AName)>;
  TkwFactory Font;
  TkwFactory ColorSpace;
  TkwFactory GState;
  TkwImageFactory Image;
};

// A resource dictionary. Wrappers of a kind are built for all entries of its
// sub-dictionary on the first lookup of that kind, in the dictionary's index order, and
// live as long as the document. A font dictionary that several resource dictionaries of a
// document name alike (pages sharing their fonts) gets one font wrapper, built once. Names are looked up in this dictionary only, never in
// inherited or parent resources.
//
// Lookups return wrappers owned by this resource (through the document): callers of the
// upper layers cast them to their own classes (TkwPDFont, TkwPDColorSpace, TkwPDGState),
// which the registered factories create.
class TkwPDResource : public TkwPDElement {
public:
  TkwPDResource(TkwPDDictionary* ADict, TkwPDDocument* AParentDoc, TkwPDElement* AParentElement);
  ~TkwPDResource() override;

  [[nodiscard]] TkwPDElement* LookUpFont(std::string_view AName);
  [[nodiscard]] TkwPDXObject* LookUpXObject(std::string_view AName);
  [[nodiscard]] TkwPDElement* LookUpColorSpace(std::string_view AName);
  [[nodiscard]] TkwPDElement* LookUpGState(std::string_view AName);
  // Patterns are not supported: always nullptr.
  [[nodiscard]] TkwPDElement* LookUpPattern(std::string_view AName) const;

  // Every wrapper of a kind, building them on first use.
  [[nodiscard]] const std::vector<TkwPDResourceItem>& GetFonts();
  [[nodiscard]] const std::vector<TkwPDResourceItem>& GetXObjects();
  [[nodiscard]] const std::vector<TkwPDResourceItem>& GetColorSpaces();
  [[nodiscard]] const std::vector<TkwPDResourceItem>& GetGStates();
  [[nodiscard]] int GetFontCount() { return static_cast<int>(GetFonts().size()); }
  // The sub-dictionary of a kind (Font, XObject, ColorSpace, ExtGState, Pattern, Shading,
  // ProcSet is an array and gives nullptr, Properties), resolved; nullptr when missing.
  [[nodiscard]] TkwPDDictionary* GetSubDictionary(TkwPDResourceType AType) const;

  // Font lookups go to ASource's fonts instead of this dictionary's (an appearance form
  // without fonts of its own draws with the page's). nullptr restores the own list.
  void UseFontsOf(TkwPDResource* ASource) { FFontSource = ASource; }
  [[nodiscard]] bool GetCanFreeFont() const { return FFontSource == nullptr; }

private:
  const std::vector<TkwPDResourceItem>& Build(TkwPDResourceType AType);
  static TkwPDElement* Find(const std::vector<TkwPDResourceItem>& AList, std::string_view AName);

  std::vector<TkwPDResourceItem> FFontList, FXObjectList, FColorSpaceList, FGStateList;
  bool FFontsBuilt = false, FXObjectsBuilt = false, FColorSpacesBuilt = false, FGStatesBuilt = false;
  bool FBuilding = false;  // a factory that looks up its own resource sees what is built so far
  TkwPDResource* FFontSource = nullptr;  // not owned
};

}  // namespace qm
