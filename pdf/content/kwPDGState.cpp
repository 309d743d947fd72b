#include "pdf/content/kwPDGState.h"

namespace qm {

double TkwPDGState::Read(const char* AKey) {
  TkwPDDictionary* d = GetDict();
  if (!d) return -1;
  TkwPDBaseObject* v = d->LookUp(AKey);
  if (!v || !v->IsNumber()) return -1;
  return v->GetNumber();
}

double TkwPDGState::GetStrokeAlpha() {
  if (!FStrokeRead) {
    FStrokeAlpha = Read("CA");
    FStrokeRead = true;
  }
  return static_cast<double>(FStrokeAlpha);
}

double TkwPDGState::GetNonStrokeAlpha() {
  if (!FNonStrokeRead) {
    FNonStrokeAlpha = Read("ca");
    FNonStrokeRead = true;
  }
  return static_cast<double>(FNonStrokeAlpha);
}

}  // namespace qm
