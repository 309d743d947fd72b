#include "pdf/content/ContentBridge.h"

#include <cmath>

#include "pdf/content/kwPDGState.h"
#include "pdf/images/kwPDColorSpace.h"
#include "pdf/images/kwPDFunction.h"
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

namespace {

// The mean of the shading's colours at a few points of its domain: enough to shade a box
// or to tell a dark area from a light one.
bool AverageOfShading(TkwPDBaseObject* AShading, TkwPDResource* ARes, std::array<std::int32_t, 3>& ARGB) {
  TkwPDDictionary* d = nullptr;
  if (AShading && AShading->IsDict()) d = static_cast<TkwPDDictionary*>(AShading);
  if (AShading && AShading->IsStream()) d = static_cast<TkwPDStream*>(AShading)->GetDict();
  if (!d) return false;
  std::unique_ptr<TkwPDColorSpace> cs = MakeColorSpace(d->LookUp("ColorSpace"), "", ARes);
  if (!cs) return false;
  const int comps = std::clamp(cs->GetNoOfComps(), 1, kMaxColorComps);
  std::vector<std::unique_ptr<TkwPDFunction>> functions;
  if (TkwPDBaseObject* f = d->LookUp("Function")) {
    if (f->IsArray()) {
      const auto& a = static_cast<const TkwPDArray&>(*f);
      for (std::size_t i = 0; i < a.GetLength() && i < static_cast<std::size_t>(kMaxColorComps); ++i) {
        if (auto fn = MakeFunction(a.Get(i))) functions.push_back(std::move(fn));
      }
    } else if (auto fn = MakeFunction(f)) {
      functions.push_back(std::move(fn));
    }
  }
  double t0 = 0, t1 = 1;
  if (TkwPDBaseObject* dom = d->LookUp("Domain"); dom && dom->IsArray()) {
    const auto& a = static_cast<const TkwPDArray&>(*dom);
    t0 = a.GetNumber(0, 0);
    t1 = a.GetNumber(1, 1);
    if (!std::isfinite(t0) || !std::isfinite(t1)) t0 = 0, t1 = 1;
  }
  constexpr int kSamples = 5;
  double sum[3] = {0, 0, 0};
  int taken = 0;
  for (int i = 0; i < kSamples; ++i) {
    TkwColor color;
    if (functions.empty()) {
      // Mesh shadings carry colours per vertex: their space's default stands in.
      cs->GetDefaultColor(color);
    } else {
      TkwFunctionArgs in{}, out{};
      in[0] = t0 + (t1 - t0) * i / (kSamples - 1);
      in[1] = in[0];
      if (functions.size() == 1) {
        functions[0]->Transform(in, out);
      } else {
        for (std::size_t k = 0; k < functions.size(); ++k) {
          TkwFunctionArgs one{};
          functions[k]->Transform(in, one);
          out[k] = one[0];
        }
      }
      for (int c = 0; c < comps; ++c) color.FComps[static_cast<std::size_t>(c)] = ToFixed(out[static_cast<std::size_t>(c)]);
    }
    TkwRGB rgb;
    cs->GetRGB(color, rgb);
    sum[0] += rgb.R;
    sum[1] += rgb.G;
    sum[2] += rgb.B;
    ++taken;
  }
  for (int c = 0; c < 3; ++c) ARGB[static_cast<std::size_t>(c)] = static_cast<std::int32_t>(sum[c] / taken);
  return true;
}

}  // namespace

bool ShadingAverageRGB(TkwPDResource* ARes, std::string_view AName, std::array<std::int32_t, 3>& ARGB) {
  if (!ARes) return false;
  TkwPDDictionary* shadings = ARes->GetSubDictionary(TkwPDResourceType::resShading);
  if (!shadings) return false;
  return AverageOfShading(shadings->LookUp(AName), ARes, ARGB);
}

bool PatternAverageRGB(TkwPDResource* ARes, std::string_view AName, const std::array<std::int32_t, 3>& AUnderColor,
                       std::array<std::int32_t, 3>& ARGB) {
  if (!ARes) return false;
  TkwPDDictionary* patterns = ARes->GetSubDictionary(TkwPDResourceType::resPattern);
  if (!patterns) return false;
  TkwPDBaseObject* p = patterns->LookUp(AName);
  TkwPDDictionary* d = nullptr;
  if (p && p->IsDict()) d = static_cast<TkwPDDictionary*>(p);
  if (p && p->IsStream()) d = static_cast<TkwPDStream*>(p)->GetDict();
  if (!d) return false;
  TkwPDBaseObject* type = d->LookUp("PatternType");
  if (type && type->IsNumber() && type->GetNumber() == 2) return AverageOfShading(d->LookUp("Shading"), ARes, ARGB);
  // A tiling pattern: an uncoloured one shows the colour it is painted with; a coloured
  // one draws its own cell, taken as a mid tone of what is under it.
  TkwPDBaseObject* paint = d->LookUp("PaintType");
  if (paint && paint->IsNumber() && paint->GetNumber() == 2) {
    ARGB = AUnderColor;
  } else {
    ARGB = {kColorOne * 3 / 4, kColorOne * 3 / 4, kColorOne * 3 / 4};
  }
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
