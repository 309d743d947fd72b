#pragma once

#include <memory>
#include <optional>

#include "pdf/model/kwPDElement.h"

namespace qm {

class TkwPDResource;

// The attributes a node of the page tree passes down: each holds the values of the
// nearest node (itself or an ancestor) that defines them. A page's property keeps its
// ancestors' properties alive through the parent link.
class TkwPDInheritedProperty : public TkwPDElement {
public:
  // Takes AParent's boxes, rotation and resources, then replaces them with the node's own
  // MediaBox, CropBox, Resources and Rotate (entries of another kind are ignored).
  TkwPDInheritedProperty(TkwPDDictionary* ANode, TkwPDDocument* AParentDoc,
                         std::shared_ptr<TkwPDInheritedProperty> AParent);

  [[nodiscard]] const std::optional<TkwPDRect>& GetMediaBox() const { return FMediaBox; }
  [[nodiscard]] const std::optional<TkwPDRect>& GetCropBox() const { return FCropBox; }
  [[nodiscard]] const std::optional<int>& GetRotate() const { return FRotate; }
  [[nodiscard]] TkwPDResource* GetResource() const { return FResource; }
  [[nodiscard]] const std::shared_ptr<TkwPDInheritedProperty>& GetParent() const { return FParent; }

private:
  std::shared_ptr<TkwPDInheritedProperty> FParent;
  TkwPDResource* FResource = nullptr;  // not owned (the document's resource wrappers)
  std::optional<TkwPDRect> FMediaBox;
  std::optional<TkwPDRect> FCropBox;
  std::optional<int> FRotate;
};

}  // namespace qm
