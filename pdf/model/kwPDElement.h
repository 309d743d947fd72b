#pragma once

#include <cstdint>
#include <optional>

#include "base/kwDiagnostics.h"
#include "base/kwObject.h"
#include "pdf/core/kwPDBaseObject.h"

namespace qm {

class TkwPDDocument;

// Base of every wrapper over a PDF object (pages, resources, forms, fonts, images, ...).
// The wrapped object belongs to the document's cache and outlives the wrapper.
class TkwPDElement : public TkwObject {
public:
  TkwPDElement(TkwPDBaseObject* ABaseObject, TkwPDDocument* AParentDoc, TkwPDElement* AParentElement)
      : FBaseObject(ABaseObject), FParentDoc(AParentDoc), FParentElement(AParentElement) {}

  // Writes changes back; nothing to do when reading.
  virtual void Update() {}

  [[nodiscard]] TkwPDBaseObject* GetBaseObject() const { return FBaseObject; }
  [[nodiscard]] TkwPDDocument* GetParentDoc() const { return FParentDoc; }
  [[nodiscard]] TkwPDElement* GetParentElement() const { return FParentElement; }
  // The wrapped dictionary, or a stream's dictionary; nullptr for anything else.
  [[nodiscard]] TkwPDDictionary* GetDict() const;
  [[nodiscard]] bool GetIsChanged() const { return FIsChanged; }

protected:
  // Notes ACode with this object's number in the document's diagnostics, if any.
  void Note(TkwDiagCode ACode) const;

  TkwPDBaseObject* FBaseObject;   // not owned (document cache)
  TkwPDDocument* FParentDoc;      // not owned
  TkwPDElement* FParentElement;   // not owned
  bool FIsChanged = false;
};

struct TkwPageSize {
  double Width = 0;
  double Height = 0;
};

// A rectangle as the file writes it: [left top right bottom] in array order, neither
// reordered nor normalised. One read from an array stays a view on it: the setters store
// the new value into the array too. Copyable.
class TkwPDRect {
public:
  TkwPDRect() = default;
  TkwPDRect(double ALeft, double ATop, double ARight, double ABottom)
      : FLeft(ALeft), FTop(ATop), FRight(ARight), FBottom(ABottom), FIsValid(true) {}
  // Elements 0..3 (integer or real; a missing or other element leaves 0).
  [[nodiscard]] static TkwPDRect FromArray(TkwPDArray* AArray);

  [[nodiscard]] double GetLeft() const { return FLeft; }
  [[nodiscard]] double GetTop() const { return FTop; }
  [[nodiscard]] double GetRight() const { return FRight; }
  [[nodiscard]] double GetBottom() const { return FBottom; }
  // |right - left| and |bottom - top|.
  [[nodiscard]] double GetWidth() const;
  [[nodiscard]] double GetHeight() const;
  [[nodiscard]] bool GetIsValid() const { return FIsValid; }
  [[nodiscard]] TkwPDArray* GetBaseObject() const { return FBaseObject; }

  void SetLeft(double AValue) { Store(0, FLeft, AValue); }
  void SetTop(double AValue) { Store(1, FTop, AValue); }
  void SetRight(double AValue) { Store(2, FRight, AValue); }
  void SetBottom(double AValue) { Store(3, FBottom, AValue); }
  void SetValues(double ALeft, double ATop, double ARight, double ABottom);
  // Copies the four values of ASource only.
  void Assign(const TkwPDRect& ASource);

private:
  void Store(std::size_t AIndex, double& AField, double AValue);

  TkwPDArray* FBaseObject = nullptr;  // not owned
  double FLeft = 0, FTop = 0, FRight = 0, FBottom = 0;
  bool FIsValid = false;
};

}  // namespace qm
