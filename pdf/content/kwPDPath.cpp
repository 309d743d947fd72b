#include "pdf/content/kwPDPath.h"

namespace qm {

TkwPDSubPath::TkwPDSubPath(double AX, double AY) : FX{AX}, FY{AY}, FCurve{false} {}

void TkwPDSubPath::Grow() {
  // The first segment is already counted by construction.
  if (FIsIncreased) {
    ++FCount;
  } else {
    FIsIncreased = true;
  }
}

void TkwPDSubPath::AddLine(double AX, double AY) {
  FX.push_back(AX);
  FY.push_back(AY);
  FCurve.push_back(false);
  Grow();
}

void TkwPDSubPath::AddCurve(double AX1, double AY1, double AX2, double AY2, double AX3,
                            double AY3) {
  FX.insert(FX.end(), {AX1, AX2, AX3});
  FY.insert(FY.end(), {AY1, AY2, AY3});
  FCurve.insert(FCurve.end(), {true, true, false});
  Grow();
}

double TkwPDSubPath::X(std::size_t AIndex) const {
  return AIndex < FX.size() ? FX[AIndex] : FX.back();
}

double TkwPDSubPath::Y(std::size_t AIndex) const {
  return AIndex < FY.size() ? FY[AIndex] : FY.back();
}

bool TkwPDSubPath::IsCurve(std::size_t AIndex) const {
  return AIndex < FCurve.size() ? FCurve[AIndex] : false;
}

void TkwPDSubPath::Close() {
  // The point checked is the one at index count - 1, as files written against this engine
  // expect; a figure already ending on its start gains no extra segment.
  const std::size_t at = static_cast<std::size_t>(FCount - 1);
  if (!(X(at) == FX.front() && Y(at) == FY.front())) {
    AddLine(FX.front(), FY.front());
  }
  FClosed = true;
}

TkwPDSubPath* TkwPDPath::OpenIfMoved() {
  if (FJustMoved) {
    FJustMoved = false;
    FSubPathList.emplace_back(FFirstX, FFirstY);
  }
  return FSubPathList.empty() ? nullptr : &FSubPathList.back();
}

void TkwPDPath::MoveTo(double AX, double AY) {
  FFirstX = AX;
  FFirstY = AY;
  FJustMoved = true;
}

void TkwPDPath::LineTo(double AX, double AY) {
  if (TkwPDSubPath* sp = OpenIfMoved()) sp->AddLine(AX, AY);
}

void TkwPDPath::CurveTo(double AX1, double AY1, double AX2, double AY2, double AX3, double AY3) {
  if (TkwPDSubPath* sp = OpenIfMoved()) sp->AddCurve(AX1, AY1, AX2, AY2, AX3, AY3);
}

bool TkwPDPath::ClosePath(double& AX, double& AY) {
  TkwPDSubPath* sp = OpenIfMoved();
  if (!sp) return false;
  sp->Close();
  const std::size_t at = static_cast<std::size_t>(sp->FCount > 0 ? sp->FCount - 1 : 0);
  AX = sp->X(at);
  AY = sp->Y(at);
  return true;
}

}  // namespace qm
