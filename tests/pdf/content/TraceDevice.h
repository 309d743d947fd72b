#pragma once

#include <string>
#include <vector>

#include "pdf/content/kwPDExportDevice.h"

namespace qm {

// Records one line per device call with rounded numbers, so interpreter tests compare
// traces instead of poking at state.
class TkwTraceDevice : public TkwPDExportDevice {
public:
  TkwTraceDevice() { UseDrawChar = true; }

  std::vector<std::string> Lines;
  std::string Text;  // the characters drawn, in order

  void StartPage(int AnPage, TkwPDState&) override;
  void EndPage() override { Lines.push_back("EndPage"); }
  void SaveState(TkwPDState&) override { Lines.push_back("SaveState"); }
  void RestoreState(TkwPDState&) override { Lines.push_back("RestoreState"); }
  void UpdateCTM(TkwPDState&, const TkwPDMatrix& M) override;
  void UpdateLineWidth(TkwPDState& S) override;
  void UpdateFont(TkwPDState& S) override;
  void UpdateFillColor(TkwPDState& S) override;
  void UpdateTextShift(TkwPDState&, double AShift) override;
  void Stroke(TkwPDState&) override { Lines.push_back("Stroke"); }
  void Fill(TkwPDState&) override { Lines.push_back("Fill"); }
  void Clip(TkwPDState& S) override;
  void BeginString(TkwPDState&, const std::u16string&) override { Lines.push_back("BeginString"); }
  void DrawChar(TkwPDState& S, double AX, double AY, double ADx, double ADy, int ACode,
                std::string& AName) override;
  void DrawImage(TkwPDState&, TkwPDImage&) override { Lines.push_back("DrawImage"); }
  void DrawFormXObject(TkwPDState& S, TkwPDForm& F) override;

  bool PlayForms = false;

  // Lines starting with APrefix.
  [[nodiscard]] std::vector<std::string> Grep(const std::string& APrefix) const;
};

}  // namespace qm
