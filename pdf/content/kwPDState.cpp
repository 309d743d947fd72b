#include "pdf/content/kwPDState.h"

#include <cmath>

#include "base/Limits.h"
#include "base/Numbers.h"
#include "pdf/content/ContentBridge.h"

namespace qm {

TkwPDMatrix TkwPDMatrix::Multiply(const TkwPDMatrix& B) const {
  TkwPDMatrix r;
  r.FM11 = FM11 * B.FM11 + FM12 * B.FM21;
  r.FM12 = FM11 * B.FM12 + FM12 * B.FM22;
  r.FM21 = FM21 * B.FM11 + FM22 * B.FM21;
  r.FM22 = FM21 * B.FM12 + FM22 * B.FM22;
  r.FDx = FDx * B.FM11 + FDy * B.FM21 + B.FDx;
  r.FDy = FDx * B.FM12 + FDy * B.FM22 + B.FDy;
  return r;
}

TkwPDMatrix TkwPDMatrix::Inverse() const {
  const double det = FM11 * FM22 - FM12 * FM21;
  TkwPDMatrix r;
  if (det == 0 || !std::isfinite(det)) return r;
  r.FM11 = FM22 / det;
  r.FM12 = -FM12 / det;
  r.FM21 = -FM21 / det;
  r.FM22 = FM11 / det;
  r.FDx = (FM21 * FDy - FM22 * FDx) / det;
  r.FDy = (FM12 * FDx - FM11 * FDy) / det;
  return r;
}

std::int32_t ToFixed(double AValue) {
  const std::int64_t v = RoundEven64(AValue * 65536.0);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(v);
}

TkwPDState::TkwPDState(double AhDPI, double AvDPI, int ARotate,
                       const std::array<double, 4>* APageBox)
    : FvDPI(AvDPI), FhDPI(AhDPI), FRotate(ARotate) {
  if (APageBox) {
    FX1 = (*APageBox)[0];
    FY1 = (*APageBox)[1];
    FX2 = (*APageBox)[2];
    FY2 = (*APageBox)[3];
  }
  const double sx = AhDPI / 72.0;
  const double sy = AvDPI / 72.0;
  switch (ARotate) {
    case 90:
      FCTM.SetValues(0, -sy, sx, 0, -sx * FY1, sy * FX2);
      FPageWidth = (FY2 - FY1) * sx;
      FPageHeight = (FX2 - FX1) * sy;
      break;
    case 180:
      FCTM.SetValues(-sy, 0, 0, -sx, sx * FX2, sy * FY2);
      FPageWidth = (FX2 - FX1) * sx;
      FPageHeight = (FY2 - FY1) * sy;
      break;
    case 270:
      FCTM.SetValues(0, sy, -sx, 0, sx * FY2, -sy * FX1);
      FPageWidth = (FY2 - FY1) * sy;
      FPageHeight = (FX2 - FX1) * sx;
      break;
    default:
      FCTM.SetValues(sx, 0, 0, sy, -sx * FX1, -sy * FY1);
      FPageWidth = (FX2 - FX1) * sx;
      FPageHeight = (FY2 - FY1) * sy;
      break;
  }
}

TkwPDState::~TkwPDState() = default;

std::unique_ptr<TkwPDState> TkwPDState::Copy() const {
  auto c = std::make_unique<TkwPDState>(FhDPI, FvDPI, FRotate, nullptr);
  c->FPath = FPath;
  c->FLineJoin = FLineJoin;
  c->FLineDash = FLineDash;
  c->FLineLength = FLineLength;
  c->FLineStart = FLineStart;
  c->FLineWidth = FLineWidth;
  c->FLineCap = FLineCap;
  c->FMiterLimit = FMiterLimit;
  c->FFillOpacity = FFillOpacity;
  c->FFlatness = FFlatness;
  c->FPageWidth = FPageWidth;
  c->FPageHeight = FPageHeight;
  c->FX1 = FX1;
  c->FY1 = FY1;
  c->FX2 = FX2;
  c->FY2 = FY2;
  c->FLineX = FLineX;
  c->FLineY = FLineY;
  c->FCurX = FCurX;
  c->FCurY = FCurY;
  c->FCTM = FCTM;
  c->FTextMatrix = FTextMatrix;
  c->FFontSize = FFontSize;
  c->FFont = FFont;
  c->FWordSpace = FWordSpace;
  c->FCharSpace = FCharSpace;
  c->FCurCharW = FCurCharW;
  c->FStrokeAdjust = FStrokeAdjust;
  c->FHorizScaling = FHorizScaling;
  c->FFillOverprint = FFillOverprint;
  c->FStrokeOverPrint = FStrokeOverPrint;
  c->FRender = FRender;
  c->FLeading = FLeading;
  c->FStrokeOpacity = FStrokeOpacity;
  c->FFillPattern = FFillPattern;
  c->FStrokePattern = FStrokePattern;
  c->FFillPatternName = FFillPatternName;
  c->FFillColor = FFillColor;
  c->FStrokeColor = FStrokeColor;
  c->FRise = FRise;
  c->FPageNumber = FPageNumber;
  // Spaces are shared: the copy keeps them alive but never owns them alone.
  c->FFillColorSpace = FFillColorSpace;
  c->FStrokeColorSpace = FStrokeColorSpace;
  c->FFillCSKeep = FFillCSKeep;
  c->FStrokeCSKeep = FStrokeCSKeep;
  return c;
}

namespace {
double ClampCTM(double AValue) {
  if (std::isnan(AValue) || AValue < -1e10) return -1e10;
  if (AValue > 1e10) return 1e10;
  return AValue;
}
}  // namespace

void TkwPDState::ConcatCTM(const TkwPDMatrix& M) {
  TkwPDMatrix r = M.Multiply(FCTM);
  r.FM11 = ClampCTM(r.FM11);
  r.FM12 = ClampCTM(r.FM12);
  r.FM21 = ClampCTM(r.FM21);
  r.FM22 = ClampCTM(r.FM22);
  r.FDx = ClampCTM(r.FDx);
  r.FDy = ClampCTM(r.FDy);
  FCTM = r;
}

void TkwPDState::TextTransformDelta(double AX1, double AY1, double& AX2, double& AY2) const {
  AX2 = FTextMatrix.FM11 * AX1 + FTextMatrix.FM21 * AY1;
  AY2 = FTextMatrix.FM12 * AX1 + FTextMatrix.FM22 * AY1;
}

double TkwPDState::GetTransformedFontSize() const {
  const double vx = FFontSize * FTextMatrix.FM21;
  const double vy = FFontSize * FTextMatrix.FM22;
  const double tx = FCTM.FM11 * vx + FCTM.FM21 * vy;
  const double ty = FCTM.FM12 * vx + FCTM.FM22 * vy;
  return std::sqrt(tx * tx + ty * ty);
}

void TkwPDState::MoveTo(double AX, double AY) {
  if (AY < 0 && FY2 < 0) AY += FY2;
  FPath.MoveTo(AX, AY);
  FCurX = AX;
  FCurY = AY;
}

void TkwPDState::LineTo(double AX, double AY) {
  if (AY < 0 && FY2 < 0) AY += FY2;
  FPath.LineTo(AX, AY);
  FCurX = AX;
  FCurY = AY;
}

void TkwPDState::CurveTo(double AX1, double AY1, double AX2, double AY2, double AX3, double AY3) {
  FPath.CurveTo(AX1, AY1, AX2, AY2, AX3, AY3);
  FCurX = AX3;
  FCurY = AY3;
}

void TkwPDState::ClosePath() {
  double x = 0, y = 0;
  if (FPath.ClosePath(x, y)) {
    FCurX = x;
    FCurY = y;
  }
}

void TkwPDState::GetFillRGB(std::array<std::int32_t, 3>& ARGB) const {
  content::ColorSpaceToRGB(FFillColorSpace, FFillColor, ARGB);
}

void TkwPDState::ClearPath() { FPath = TkwPDPath(); }

void TkwPDState::TextMoveTo(double ATx, double ATy) {
  if (ATy < 0 && FY2 < 0) ATy += FY2;
  FLineX = ATx;
  FLineY = ATy;
  FCurX = ATx;
  FCurY = ATy;
}

void TkwPDState::SetFillColorSpace(std::shared_ptr<TkwPDColorSpace> AOwned) {
  FFillColorSpace = AOwned.get();
  FFillCSKeep = std::move(AOwned);
}

void TkwPDState::SetFillColorSpace(TkwPDColorSpace* ABorrowed) {
  FFillColorSpace = ABorrowed;
  FFillCSKeep.reset();
}

void TkwPDState::SetStrokeColorSpace(std::shared_ptr<TkwPDColorSpace> AOwned) {
  FStrokeColorSpace = AOwned.get();
  FStrokeCSKeep = std::move(AOwned);
}

void TkwPDState::SetStrokeColorSpace(TkwPDColorSpace* ABorrowed) {
  FStrokeColorSpace = ABorrowed;
  FStrokeCSKeep.reset();
}

void TkwPDState::SetLineDash(const std::vector<float>& ADash, int ALength, double AStart) {
  FLineDash = ADash;
  FLineLength = ALength;
  FLineStart = AStart;
}

TkwPDStateStack::TkwPDStateStack(std::unique_ptr<TkwPDState> AInitial) {
  FStates.push_back(std::move(AInitial));
}

bool TkwPDStateStack::Save() {
  if (FStates.size() >= static_cast<std::size_t>(kMaxStateDepth)) return false;
  FStates.push_back(FStates.back()->Copy());
  return true;
}

bool TkwPDStateStack::Restore() {
  if (FStates.size() <= 1) return false;
  std::unique_ptr<TkwPDState> left = std::move(FStates.back());
  FStates.pop_back();
  TkwPDState& back = *FStates.back();
  // The path and the current point survive Q.
  back.FPath = std::move(left->FPath);
  back.FCurX = left->FCurX;
  back.FCurY = left->FCurY;
  back.FLineX = left->FLineX;
  back.FLineY = left->FLineY;
  return true;
}

std::unique_ptr<TkwPDState> TkwPDStateStack::TakeBottomCopy() const { return FStates.back()->Copy(); }

}  // namespace qm
