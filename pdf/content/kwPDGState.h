#pragma once

#include <string>

#include "pdf/model/kwPDElement.h"

namespace qm {

// An ExtGState resource. Only the opacities are applied by the interpreter; they are read
// on first request and cached.
class TkwPDGState : public TkwPDElement {
public:
  TkwPDGState(TkwPDDictionary* ADict, TkwPDDocument* AParentDoc, TkwPDElement* AParentElement,
              std::string ATag)
      : TkwPDElement(ADict, AParentDoc, AParentElement), FTag(std::move(ATag)) {}

  // "CA" and "ca", or −1 when absent or not a number.
  [[nodiscard]] double GetStrokeAlpha();
  [[nodiscard]] double GetNonStrokeAlpha();
  [[nodiscard]] double GetLineWidth() const { return 0; }
  [[nodiscard]] int GetLineCapStyle() const { return 0; }
  [[nodiscard]] const std::string& GetTag() const { return FTag; }

private:
  double Read(const char* AKey);
  std::string FTag;
  long double FStrokeAlpha = -1, FNonStrokeAlpha = -1;
  bool FStrokeRead = false, FNonStrokeRead = false;
};

}  // namespace qm
