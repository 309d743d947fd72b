#include "pdf/model/kwPDForm.h"

#include "pdf/core/kwPDDocument.h"
#include "pdf/model/kwPDPageTree.h"
#include "pdf/model/kwPDResource.h"

namespace qm {

const TkwPDRect* TkwPDForm::GetBBox() {
  if (!FBBoxRead) {
    FBBoxRead = true;
    if (TkwPDArray* box = GetDict()->LookUpArray("BBox")) FBBox = TkwPDRect::FromArray(box);
  }
  return FBBox ? &*FBBox : nullptr;
}

const std::array<double, 6>* TkwPDForm::GetMatrix() {
  if (!FMatrixRead) {
    FMatrixRead = true;
    if (TkwPDArray* m = GetDict()->LookUpArray("Matrix"); m != nullptr && m->GetLength() >= 6) {
      std::array<double, 6> values{};
      bool ok = true;
      for (std::size_t i = 0; i < 6; ++i) {
        const TkwPDBaseObject* e = m->Get(i);
        ok = ok && e != nullptr && e->IsNumber();
        values[i] = m->GetNumber(i, 0);
      }
      if (ok) FMatrix = values;
    }
  }
  return FMatrix ? &*FMatrix : nullptr;
}

TkwPDResource* TkwPDForm::GetResources() {
  if (!FResourcesRead) {
    FResourcesRead = true;
    TkwPDDictionary* res = GetDict()->LookUpDict("Resources");
    TkwPDCatalog* catalog = FParentDoc ? FParentDoc->GetCatalog() : nullptr;
    if (res != nullptr && catalog != nullptr) FResources = catalog->GetResourceFor(res, this);
  }
  return FResources;
}

int TkwPDForm::GetFormType() {
  if (FFormType < 0) FFormType = GetDict()->LookUpInt("FormType", 1);
  return FFormType;
}

TkwPDAppearanceStream::TkwPDAppearanceStream(TkwPDDictionary* AAnnot, TkwPDDocument* AParentDoc,
                                             TkwPDElement* AParentElement, std::string AValue)
    : TkwPDElement(AAnnot, AParentDoc, AParentElement), FValue(std::move(AValue)) {}

TkwPDForm* TkwPDAppearanceStream::GetFormXObject() {
  if (!FRead) {
    FRead = true;
    TkwPDDictionary* annot = GetDict();
    TkwPDDictionary* ap = annot ? annot->LookUpDict("AP") : nullptr;
    TkwPDBaseObject* n = ap ? ap->LookUp("N") : nullptr;
    TkwPDBaseObject* chosen = nullptr;
    if (n != nullptr && n->IsDict()) {
      auto* states = static_cast<TkwPDDictionary*>(n);
      const std::string state = FValue.empty() ? annot->LookUpName("AS") : FValue;
      chosen = state.empty() ? nullptr : states->LookUp(state);
      if (chosen == nullptr || !chosen->IsStream()) chosen = states->LookUp("Off");
    } else if (n != nullptr && n->IsStream()) {
      chosen = n;
    }
    FXObject = TkwPDXObject::MakeXObject(FParentDoc, this, chosen, "", true);
  }
  return FXObject && FXObject->IsForm() ? static_cast<TkwPDForm*>(FXObject.get()) : nullptr;
}

TkwPDRect TkwPDAppearanceStream::GetDestRect() const {
  TkwPDDictionary* annot = GetDict();
  return TkwPDRect::FromArray(annot ? annot->LookUpArray("Rect") : nullptr);
}

}  // namespace qm
