#include "pdf/model/kwPDXObject.h"

#include "pdf/core/kwPDDocument.h"
#include "pdf/model/kwPDForm.h"
#include "pdf/model/kwPDPageTree.h"
#include "pdf/model/kwPDResource.h"

namespace qm {

std::unique_ptr<TkwPDXObject> TkwPDXObject::MakeXObject(TkwPDDocument* AParentDoc, TkwPDElement* AResourceElement,
                                                        TkwPDBaseObject* AXObject, std::string_view ATagName,
                                                        bool AIsAppearance) {
  if (AXObject == nullptr || !AXObject->IsStream()) return nullptr;
  auto* stream = static_cast<TkwPDStream*>(AXObject);
  const std::string subtype = stream->GetDict()->LookUpName("Subtype");
  if (subtype == "Image") {
    TkwPDCatalog* catalog = AParentDoc != nullptr ? AParentDoc->GetCatalog() : nullptr;
    if (catalog == nullptr) return nullptr;
    const auto& factory = catalog->GetResourceFactories().Image;
    return factory ? factory(AResourceElement, *stream, ATagName) : nullptr;
  }
  if (subtype == "Form" || (subtype.empty() && AIsAppearance)) {
    return std::make_unique<TkwPDForm>(stream, AParentDoc, AResourceElement, ATagName);
  }
  return nullptr;
}

}  // namespace qm
