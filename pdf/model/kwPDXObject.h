#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/model/kwPDElement.h"

namespace qm {

enum class TkwXObjectType : std::uint8_t { xtImage, xtForm, xtPostScript };

// An XObject resource over its stream. Image XObjects are made by the image layer's
// factory (TkwPDResourceFactories::Image), forms by this layer.
class TkwPDXObject : public TkwPDElement {
public:
  TkwPDXObject(TkwPDStream* AStream, TkwPDDocument* AParentDoc, TkwPDElement* AParentElement,
               TkwXObjectType ASubType, std::string_view ATagName)
      : TkwPDElement(AStream, AParentDoc, AParentElement), FSubType(ASubType), FTagName(ATagName) {}

  [[nodiscard]] virtual bool IsImage() const { return FSubType == TkwXObjectType::xtImage; }
  [[nodiscard]] virtual bool IsForm() const { return FSubType == TkwXObjectType::xtForm; }
  [[nodiscard]] virtual bool IsPostScript() const { return FSubType == TkwXObjectType::xtPostScript; }
  [[nodiscard]] TkwXObjectType GetSubType() const { return FSubType; }
  [[nodiscard]] const std::string& GetTagName() const { return FTagName; }
  [[nodiscard]] TkwPDStream* GetStream() const { return static_cast<TkwPDStream*>(FBaseObject); }

  // The wrapper for AXObject by its Subtype: Image through the image factory, Form as a
  // TkwPDForm; without Subtype a form when AIsAppearance; anything else nullptr.
  [[nodiscard]] static std::unique_ptr<TkwPDXObject> MakeXObject(TkwPDDocument* AParentDoc,
                                                                 TkwPDElement* AResourceElement,
                                                                 TkwPDBaseObject* AXObject, std::string_view ATagName,
                                                                 bool AIsAppearance = false);

protected:
  TkwXObjectType FSubType;
  std::string FTagName;
};

}  // namespace qm
