#include "pdf/model/kwPDInheritedProperty.h"

#include "pdf/core/kwPDDocument.h"
#include "pdf/model/kwPDPageTree.h"

namespace qm {

TkwPDInheritedProperty::TkwPDInheritedProperty(TkwPDDictionary* ANode, TkwPDDocument* AParentDoc,
                                               std::shared_ptr<TkwPDInheritedProperty> AParent)
    : TkwPDElement(ANode, AParentDoc, AParent.get()), FParent(std::move(AParent)) {
  if (FParent) {
    FMediaBox = FParent->FMediaBox;
    FCropBox = FParent->FCropBox;
    FRotate = FParent->FRotate;
    FResource = FParent->FResource;
  }
  if (ANode == nullptr) return;
  if (TkwPDArray* box = ANode->LookUpArray("MediaBox")) FMediaBox = TkwPDRect::FromArray(box);
  if (TkwPDArray* box = ANode->LookUpArray("CropBox")) FCropBox = TkwPDRect::FromArray(box);
  if (const TkwPDBaseObject* rotate = ANode->LookUp("Rotate"); rotate != nullptr && rotate->IsInteger()) {
    FRotate = static_cast<const TkwPDInteger*>(rotate)->GetValue();
  }
  if (TkwPDDictionary* res = ANode->LookUpDict("Resources")) {
    if (TkwPDCatalog* catalog = AParentDoc ? AParentDoc->GetCatalog() : nullptr) {
      FResource = catalog->GetResourceFor(res, this);
    }
  }
}

}  // namespace qm
