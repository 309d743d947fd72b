#include "pdf/content/ContentBridge.h"

#include "pdf/content/kwPDGState.h"
#include "pdf/core/kwPDBaseObject.h"
#include "pdf/fonts/kwPDFont.h"
#include "pdf/model/kwPDForm.h"
#include "pdf/model/kwPDResource.h"
#include "pdf/model/kwPDXObject.h"

namespace qm::content {

TkwPDFont* LookupFont(TkwPDResource* ARes, std::string_view AName) {
  if (!ARes) return nullptr;
  return dynamic_cast<TkwPDFont*>(ARes->LookUpFont(AName));
}

bool FontIsType3(const TkwPDFont& AFont) { return AFont.GetFontType() == TkwPDFontType::Type3; }
bool FontIsCID(const TkwPDFont& AFont) { return AFont.IsCIDFont(); }
bool FontIsVertical(const TkwPDFont& AFont) {
  return AFont.WritingMode() == TkwWritingMode::wmVertical;
}

TNextChar FontNextChar(TkwPDFont& AFont, const std::u16string& AStr, int AIndex) {
  TNextChar r;
  if (AIndex < 1 || static_cast<std::size_t>(AIndex) > AStr.size()) return r;
  TkwPDNextChar nc;
  const int ok = AFont.GetNextChar(AStr, static_cast<std::size_t>(AIndex - 1), nc);
  r.Processed = nc.Processed < 1 ? 1 : nc.Processed;
  // A code counts when the font yields a character value or a glyph name.
  r.Ok = ok != 0 && (nc.Code != 0 || !nc.CharName.empty() || nc.CharCode == 0);
  r.Code = nc.Code;
  r.CharName = std::string(nc.CharName);
  r.Dx = nc.Dx;
  r.Dy = nc.Dy;
  r.Unicode = nc.Unicode;
  return r;
}

bool LookupExtGStateAlpha(TkwPDResource* ARes, std::string_view AName, double& AStrokeAlpha,
                          double& AFillAlpha) {
  if (!ARes) return false;
  auto* gs = dynamic_cast<TkwPDGState*>(ARes->LookUpGState(AName));
  if (!gs) return false;
  AStrokeAlpha = gs->GetStrokeAlpha();
  AFillAlpha = gs->GetNonStrokeAlpha();
  return true;
}

TXObject LookupXObject(TkwPDResource* ARes, std::string_view AName) {
  TXObject r;
  if (!ARes) return r;
  TkwPDXObject* x = ARes->LookUpXObject(AName);
  if (!x) return r;
  if (x->IsForm()) {
    r.Form = dynamic_cast<TkwPDForm*>(x);
  } else if (x->IsImage()) {
    r.Image = ImageOf(*x);
  }
  return r;
}

TFormContent GetFormContent(TkwPDForm& AForm) {
  TFormContent fc;
  fc.Stream = AForm.GetStream();
  if (fc.Stream) fc.ObjNum = fc.Stream->GetObjNumber();
  if (const auto* m = AForm.GetMatrix()) {
    fc.Matrix.SetValues((*m)[0], (*m)[1], (*m)[2], (*m)[3], (*m)[4], (*m)[5]);
  }
  if (const TkwPDRect* b = AForm.GetBBox()) {
    // BBox as written: left, bottom, right, top in array order; normalise it.
    const double l = std::min(b->GetLeft(), b->GetRight()), r = std::max(b->GetLeft(), b->GetRight());
    const double lo = std::min(b->GetTop(), b->GetBottom()), hi = std::max(b->GetTop(), b->GetBottom());
    fc.BBox = {l, lo, r, hi};
    fc.HasBBox = r > l && hi > lo;
  }
  fc.Resources = AForm.GetResources();
  return fc;
}

}  // namespace qm::content
