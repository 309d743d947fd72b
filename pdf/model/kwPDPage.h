#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pdf/model/kwPDElement.h"
#include "pdf/model/kwPDForm.h"
#include "pdf/model/kwPDInheritedProperty.h"

namespace qm {

class TkwPDResource;

// An annotation's appearance to draw after the page content, in Annots order.
struct TkwPDWidgetAppearance {
  TkwPDDictionary* Annot = nullptr;   // not owned
  std::uint32_t ObjNum = kNoObjNum;   // the annotation's object number
  TkwPDRect Rect;                      // the annotation's Rect as written
  TkwPDForm* Form = nullptr;           // the appearance form; owned by the page
  std::string Value;                   // the appearance state used
};

// A page. Boxes, contents and resources are looked up on first use and kept until
// FreeResources (called when the page is destroyed).
class TkwPDPage : public TkwPDElement {
public:
  TkwPDPage(TkwPDDictionary* APageDict, TkwPDDocument* AParentDoc, TkwPDElement* AParentElement, int APageNum,
            std::shared_ptr<TkwPDInheritedProperty> AInheritedProp);
  ~TkwPDPage() override;

  // Own box, else the inherited one; nullptr when there is none. ExBadPage "Bad Page
  // object" when the page's own entry is present but not an array.
  [[nodiscard]] const TkwPDRect* GetMediabox();
  [[nodiscard]] const TkwPDRect* GetCropbox();
  [[nodiscard]] const TkwPDRect* GetBleedbox();
  [[nodiscard]] const TkwPDRect* GetTrimBox();
  // Own integer Rotate (another kind gives 0), else the inherited rotation, else 0.
  [[nodiscard]] int GetRotate();
  // Own Resources, else the inherited ones; nullptr when none.
  [[nodiscard]] TkwPDResource* GetResource();
  // The content streams in drawing order (Contents as one stream or an array of them;
  // elements that are not streams are left out).
  [[nodiscard]] const std::vector<TkwPDStream*>& GetContents();
  [[nodiscard]] bool HasContents() { return !GetContents().empty(); }
  // The page's Annots array (resolved), or nullptr.
  [[nodiscard]] TkwPDArray* GetAnnots() const;
  // Width and height of the crop box, or of the media box without crop box (0 x 0 without
  // either).
  [[nodiscard]] TkwPageSize GetPageSize();
  [[nodiscard]] double GetPageHeight() { return GetPageSize().Height; }

  // For display: ARotate plus the page's rotation, in 0..359.
  [[nodiscard]] int GetEffectiveRotation(int ARotate);
  // The box a display uses: with AUseMediaBox the media box, else the crop box (falling
  // back to the media box); nullptr when the page has neither.
  [[nodiscard]] const TkwPDRect* GetDisplayBox(bool AUseMediaBox);
  // The annotation appearances that follow the page content, in Annots order: visible
  // Widget annotations (and the kids of non-widget annotations with Kids), with the field
  // value found in the catalog's AcroForm as state, and every other annotation a viewer
  // shows (not hidden, not NoView, not a popup) that has an appearance. Built on first use.
  [[nodiscard]] const std::vector<TkwPDWidgetAppearance>& GetWidgetAppearances();

  [[nodiscard]] int GetPageNum() const { return FPageNum; }
  [[nodiscard]] TkwPDDictionary* GetPageDict() const { return static_cast<TkwPDDictionary*>(FBaseObject); }
  [[nodiscard]] const std::shared_ptr<TkwPDInheritedProperty>& GetInheritedProp() const { return FInheritedProp; }
  [[nodiscard]] bool GetIsInheritedMediaBox() const { return FIsInheritedMediaBox; }
  [[nodiscard]] bool GetIsInheritedCropBox() const { return FIsInheritedCropBox; }
  // Forgets boxes, contents, resources and appearances; they are looked up again on demand.
  void FreeResources();

private:
  const TkwPDRect* OwnBox(const char* AKey, std::optional<TkwPDRect>& ABox, bool& ARead);
  void AddWidget(TkwPDDictionary* AAnnot, const std::string& AValue, int ADepth);
  std::string FieldValue(std::uint32_t AAnnotNum) const;

  int FPageNum;
  std::shared_ptr<TkwPDInheritedProperty> FInheritedProp;
  std::optional<TkwPDRect> FMediaBox, FCropBox, FBleedBox, FTrimBox;
  bool FMediaRead = false, FCropRead = false, FBleedRead = false, FTrimRead = false;
  bool FIsInheritedMediaBox = false, FIsInheritedCropBox = false;
  std::optional<int> FRotate;
  bool FResourceRead = false;
  TkwPDResource* FResource = nullptr;  // not owned (the document's resource wrappers)
  bool FContentsRead = false;
  std::vector<TkwPDStream*> FContents;
  bool FWidgetsRead = false;
  std::vector<TkwPDWidgetAppearance> FWidgets;
  std::vector<std::unique_ptr<TkwPDAppearanceStream>> FAppearances;
};

}  // namespace qm
