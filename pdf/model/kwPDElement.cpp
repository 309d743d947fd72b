#include "pdf/model/kwPDElement.h"

#include <cmath>

#include "base/Numbers.h"
#include "pdf/core/kwPDDocument.h"

namespace qm {

TkwPDDictionary* TkwPDElement::GetDict() const {
  if (FBaseObject == nullptr) return nullptr;
  if (FBaseObject->IsStream()) return static_cast<TkwPDStream*>(FBaseObject)->GetDict();
  if (FBaseObject->IsDict()) return static_cast<TkwPDDictionary*>(FBaseObject);
  return nullptr;
}

void TkwPDElement::Note(TkwDiagCode ACode) const {
  TkwDiagnostics* diag = FParentDoc ? FParentDoc->GetDiagnostics() : nullptr;
  if (diag == nullptr) return;
  const std::uint32_t num = FBaseObject ? FBaseObject->GetObjNumber() : kNoObjNum;
  diag->Note(ACode, -1, num == kNoObjNum ? -1 : static_cast<int>(num));
}

TkwPDRect TkwPDRect::FromArray(TkwPDArray* AArray) {
  TkwPDRect r;
  if (AArray == nullptr) return r;
  r.FBaseObject = AArray;
  r.FLeft = AArray->GetNumber(0, 0);
  r.FTop = AArray->GetNumber(1, 0);
  r.FRight = AArray->GetNumber(2, 0);
  r.FBottom = AArray->GetNumber(3, 0);
  r.FIsValid = true;
  return r;
}

double TkwPDRect::GetWidth() const { return std::fabs(FRight - FLeft); }
double TkwPDRect::GetHeight() const { return std::fabs(FBottom - FTop); }

void TkwPDRect::SetValues(double ALeft, double ATop, double ARight, double ABottom) {
  SetLeft(ALeft);
  SetTop(ATop);
  SetRight(ARight);
  SetBottom(ABottom);
}

void TkwPDRect::Assign(const TkwPDRect& ASource) {
  FLeft = ASource.FLeft;
  FTop = ASource.FTop;
  FRight = ASource.FRight;
  FBottom = ASource.FBottom;
}

void TkwPDRect::Store(std::size_t AIndex, double& AField, double AValue) {
  AField = AValue;
  FIsValid = true;
  if (FBaseObject == nullptr) return;
  TkwPDBaseObject* e = FBaseObject->Get(AIndex);
  if (e == nullptr) return;
  if (e->IsReal()) {
    static_cast<TkwPDReal*>(e)->SetValue(AValue);
  } else if (e->IsInteger()) {
    static_cast<TkwPDInteger*>(e)->SetValue(RoundEven(AValue));
  }
}

}  // namespace qm
