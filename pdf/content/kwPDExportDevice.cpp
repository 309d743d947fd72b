#include "pdf/content/kwPDExportDevice.h"

namespace qm {

void TkwPDExportDevice::SetDefaultCTM(const TkwPDMatrix& AMatrix) {
  DefaultCTM = AMatrix;
  DefaultInverseCTM = AMatrix.Inverse();
}

bool TkwPDExportDevice::CheckPageSlice(TkwPDPage*, double, double, int, bool, bool, int, int, int,
                                       int) {
  return true;
}

void TkwPDExportDevice::StartPage(int, TkwPDState&) {}
void TkwPDExportDevice::EndPage() {}
void TkwPDExportDevice::Dump() {}

void TkwPDExportDevice::ConvertDevToUser(double ADx, double ADy, double& AUx, double& AUy) {
  AUx = DefaultInverseCTM.TransformX(ADx, ADy);
  AUy = DefaultInverseCTM.TransformY(ADx, ADy);
}

void TkwPDExportDevice::ConvertUserToDev(double AUx, double AUy, double& ADx, double& ADy) {
  ADx = DefaultCTM.TransformX(AUx, AUy) + 0.5;
  ADy = DefaultCTM.TransformY(AUx, AUy) + 0.5;
}

void TkwPDExportDevice::SaveState(TkwPDState&) {}
void TkwPDExportDevice::RestoreState(TkwPDState&) {}
void TkwPDExportDevice::UpdateCTM(TkwPDState&, const TkwPDMatrix&) {}

void TkwPDExportDevice::UpdateAll(TkwPDState& S) {
  UpdateLineDash(S);
  UpdateFlatness(S);
  UpdateLineJoin(S);
  UpdateLineCap(S);
  UpdateMiterLimit(S);
  UpdateLineWidth(S);
  UpdateStrokeAdjust(S);
  UpdateFillColorSpace(S);
  UpdateFillColor(S);
  UpdateStrokeColorSpace(S);
  UpdateStrokeColor(S);
  UpdateBlendMode(S);
  UpdateFillOpacity(S);
  UpdateStrokeOpacity(S);
  UpdateFillOverPrint(S);
  UpdateStrokeOverPrint(S);
  UpdateTransfer(S);
}

}  // namespace qm
