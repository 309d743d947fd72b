#include "tests/pdf/content/TraceDevice.h"

#include <cstdio>

namespace qm {

namespace {
std::string Fmt(const char* AFormat, double A = 0, double B = 0, double C = 0, double D = 0,
                double E = 0, double F = 0) {
  char buf[256];
  std::snprintf(buf, sizeof buf, AFormat, A, B, C, D, E, F);
  return buf;
}
}  // namespace

void TkwTraceDevice::StartPage(int AnPage, TkwPDState&) {
  Lines.push_back(Fmt("StartPage %.0f", AnPage));
}

void TkwTraceDevice::UpdateCTM(TkwPDState&, const TkwPDMatrix& M) {
  Lines.push_back(Fmt("UpdateCTM %.2f %.2f %.2f %.2f %.2f %.2f", M.FM11, M.FM12, M.FM21, M.FM22,
                      M.FDx, M.FDy));
}

void TkwTraceDevice::UpdateLineWidth(TkwPDState& S) {
  Lines.push_back(Fmt("LineWidth %.2f", S.FLineWidth));
}

void TkwTraceDevice::UpdateFont(TkwPDState& S) { Lines.push_back(Fmt("UpdateFont %.0f", S.FFontSize)); }

void TkwTraceDevice::UpdateFillColor(TkwPDState& S) {
  Lines.push_back(Fmt("FillColor %.0f %.0f %.0f", S.FFillColor.FComps[0], S.FFillColor.FComps[1],
                      S.FFillColor.FComps[2]));
}

void TkwTraceDevice::UpdateTextShift(TkwPDState&, double AShift) {
  Lines.push_back(Fmt("TextShift %.0f", AShift));
}

void TkwTraceDevice::Clip(TkwPDState& S) {
  Lines.push_back(Fmt("Clip %.0f", static_cast<double>(S.GetPath().FSubPathList.size())));
}

void TkwTraceDevice::DrawChar(TkwPDState&, double AX, double AY, double ADx, double ADy, int ACode,
                              std::string&) {
  Lines.push_back(Fmt("DrawChar %.2f %.2f %.2f %.2f %.0f", AX, AY, ADx, ADy, ACode));
  Text.push_back(static_cast<char>(ACode));
}

void TkwTraceDevice::DrawFormXObject(TkwPDState& S, TkwPDForm& F) {
  Lines.push_back("DrawForm");
  if (PlayForms && FormPlayer) FormPlayer->PlayForm(S, F, *this);
}

std::vector<std::string> TkwTraceDevice::Grep(const std::string& APrefix) const {
  std::vector<std::string> out;
  for (const auto& l : Lines) {
    if (l.rfind(APrefix, 0) == 0) out.push_back(l);
  }
  return out;
}

}  // namespace qm
