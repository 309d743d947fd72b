#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "pdf/model/kwPDElement.h"
#include "pdf/model/kwPDXObject.h"

namespace qm {

class TkwPDResource;

// A form XObject; its entries are read once, on first use.
class TkwPDForm : public TkwPDXObject {
public:
  TkwPDForm(TkwPDStream* AStream, TkwPDDocument* AParentDoc, TkwPDElement* AParentElement, std::string_view ATagName)
      : TkwPDXObject(AStream, AParentDoc, AParentElement, TkwXObjectType::xtForm, ATagName) {}

  // BBox as a rectangle; nullptr when missing or not an array.
  [[nodiscard]] const TkwPDRect* GetBBox();
  // Matrix as (a b c d e f); nullptr when missing or not an array of six numbers.
  [[nodiscard]] const std::array<double, 6>* GetMatrix();
  // Wrapper over Resources (shared with every user of the same dictionary); nullptr when
  // missing.
  [[nodiscard]] TkwPDResource* GetResources();
  // FormType, 1 when missing.
  [[nodiscard]] int GetFormType();

private:
  int FFormType = -1;
  bool FBBoxRead = false, FMatrixRead = false, FResourcesRead = false;
  std::optional<TkwPDRect> FBBox;
  std::optional<std::array<double, 6>> FMatrix;
  TkwPDResource* FResources = nullptr;  // not owned (the document's resource wrappers)
};

// The appearance of an annotation (AP), chosen by state.
class TkwPDAppearanceStream : public TkwPDElement {
public:
  // AAnnot is the annotation dictionary; AValue the appearance state to show (empty: AS).
  TkwPDAppearanceStream(TkwPDDictionary* AAnnot, TkwPDDocument* AParentDoc, TkwPDElement* AParentElement,
                        std::string AValue);
  // The normal appearance: AP's N; a dictionary of states gives the stream under the state
  // (or under Off when the state is missing). nullptr when there is none or it is no form.
  [[nodiscard]] TkwPDForm* GetFormXObject();
  // The annotation's Rect.
  [[nodiscard]] TkwPDRect GetDestRect() const;

private:
  std::string FValue;
  bool FRead = false;
  std::unique_ptr<TkwPDXObject> FXObject;
};

}  // namespace qm
