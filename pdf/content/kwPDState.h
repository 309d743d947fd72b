#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/kwObject.h"
#include "pdf/content/kwPDPath.h"
#include "pdf/images/kwColor.h"

namespace qm {

class TkwPDFont;
class TkwPDColorSpace;
class TkwPDPattern;

// Affine matrix (a, b, c, d, e, f): (x, y) -> (a·x + c·y + e, b·x + d·y + f).
struct TkwPDMatrix {
  double FM11 = 1, FM12 = 0, FM21 = 0, FM22 = 1, FDx = 0, FDy = 0;

  void SetValues(double AM11, double AM12, double AM21, double AM22, double ADx, double ADy) {
    FM11 = AM11;
    FM12 = AM12;
    FM21 = AM21;
    FM22 = AM22;
    FDx = ADx;
    FDy = ADy;
  }
  [[nodiscard]] double TransformX(double AX, double AY) const { return FM11 * AX + FM21 * AY + FDx; }
  [[nodiscard]] double TransformY(double AX, double AY) const { return FM12 * AX + FM22 * AY + FDy; }
  // This matrix applied first, then AOther.
  [[nodiscard]] TkwPDMatrix Multiply(const TkwPDMatrix& AOther) const;
  // Inverse; the identity when the matrix is singular.
  [[nodiscard]] TkwPDMatrix Inverse() const;
  bool operator==(const TkwPDMatrix&) const = default;
};

// Converts an operand to 16.16 fixed point, rounding half to even and clamping.
std::int32_t ToFixed(double AValue);

// The graphics and text state that the content interpreter changes and every device call
// reads. q pushes a copy (Save), Q pops it (Restore); colour spaces and fonts are shared
// between copies, the path and matrices are copied.
class TkwPDState : public TkwObject {
public:
  // APageBox: left, lower, right, upper; null gives 0 0 850 1191.
  TkwPDState(double AhDPI, double AvDPI, int ARotate, const std::array<double, 4>* APageBox);
  ~TkwPDState() override;

  [[nodiscard]] std::unique_ptr<TkwPDState> Copy() const;

  // CTM := M × CTM, then every element clamped to ±1e10 (NaN gives −1e10).
  void ConcatCTM(const TkwPDMatrix& AMatrix);
  // The text matrix's linear part applied to (X1, Y1).
  void TextTransformDelta(double AX1, double AY1, double& AX2, double& AY2) const;
  [[nodiscard]] double GetTransformedFontSize() const;
  // The fill colour converted to RGB by the fill colour space (channels 16.16).
  void GetFillRGB(std::array<std::int32_t, 3>& ARGB) const;

  // Path building in user space.
  void MoveTo(double AX, double AY);
  void LineTo(double AX, double AY);
  void CurveTo(double AX1, double AY1, double AX2, double AY2, double AX3, double AY3);
  void ClosePath();
  void ClearPath();
  [[nodiscard]] bool IsCurrentPoint() const { return FPath.HasCurrentPoint(); }
  [[nodiscard]] bool IsCurrentPath() const { return FPath.HasSubPath(); }
  [[nodiscard]] const TkwPDPath& GetPath() const { return FPath; }

  // Text positioning in text space.
  void TextMoveTo(double ATx, double ATy);
  void TextShift(double ATx, double ATy) {  // once a glyph: inline
    FCurX += ATx;
    FCurY += ATy;
  }
  void Shift(double ADx, double ADy) {
    FCurX += ADx;
    FCurY += ADy;
  }

  // Colour spaces: AOwned keeps the space alive with the states that use it.
  void SetFillColorSpace(std::shared_ptr<TkwPDColorSpace> AOwned);
  void SetFillColorSpace(TkwPDColorSpace* ABorrowed);
  void SetStrokeColorSpace(std::shared_ptr<TkwPDColorSpace> AOwned);
  void SetStrokeColorSpace(TkwPDColorSpace* ABorrowed);
  [[nodiscard]] TkwPDColorSpace* GetFillColorSpace() const { return FFillColorSpace; }
  [[nodiscard]] TkwPDColorSpace* GetStrokeColorSpace() const { return FStrokeColorSpace; }

  void SetLineDash(const std::vector<float>& ADash, int ALength, double AStart);

  // Fields are public in the manner of a record: devices read them on every call.
  TkwPDPath FPath;
  int FLineJoin = 0;
  std::vector<float> FLineDash;
  int FLineLength = 0;
  double FLineStart = 0;
  double FLineWidth = 1.0;
  int FLineCap = 0;
  double FMiterLimit = 10.0;
  double FFillOpacity = 1.0;
  double FFlatness = 1.0;
  double FvDPI = 72, FhDPI = 72;
  double FPageWidth = 0, FPageHeight = 0;
  double FX1 = 0, FY1 = 0, FX2 = 850, FY2 = 1191;
  double FLineX = 0, FLineY = 0, FCurX = 0, FCurY = 0;
  TkwPDMatrix FCTM;
  TkwPDMatrix FTextMatrix;
  double FFontSize = 0;
  TkwPDFont* FFont = nullptr;  // not owned; the document keeps its fonts
  double FWordSpace = 0;
  double FCharSpace = 0;
  double FCurCharW = 0;
  int FCurUnicode = 0;  // the font's best Unicode value for the glyph being drawn, 0 when unknown
  bool FStrokeAdjust = false;
  double FHorizScaling = 1.0;
  bool FFillOverprint = false, FStrokeOverPrint = false;
  double FRender = 0;
  double FLeading = 0;
  double FStrokeOpacity = 1.0;
  TkwPDPattern* FFillPattern = nullptr;    // not owned
  TkwPDPattern* FStrokePattern = nullptr;  // not owned
  std::string FFillPatternName;            // the resource name of the fill pattern
  TkwColor FFillColor, FStrokeColor;
  double FRise = 0;
  int FRotate = 0;
  int FPageNumber = 0;

private:
  TkwPDColorSpace* FStrokeColorSpace = nullptr;  // current spaces (possibly borrowed)
  TkwPDColorSpace* FFillColorSpace = nullptr;
  std::shared_ptr<TkwPDColorSpace> FStrokeCSKeep;  // keeps spaces the state created alive
  std::shared_ptr<TkwPDColorSpace> FFillCSKeep;
};

// The stack of states that q and Q work on. An unbalanced Q is ignored; the depth is capped.
class TkwPDStateStack {
public:
  explicit TkwPDStateStack(std::unique_ptr<TkwPDState> AInitial);
  [[nodiscard]] TkwPDState& Current() { return *FStates.back(); }
  [[nodiscard]] std::size_t Depth() const { return FStates.size(); }
  // q: pushes a copy; false when the cap is reached (the q is then ignored).
  bool Save();
  // Q: pops; the restored state takes over the path, current point and line start of the
  // state being left. False when there is nothing to restore.
  bool Restore();
  // Takes the current state (for handing it to the next stream of the page).
  std::unique_ptr<TkwPDState> TakeBottomCopy() const;

private:
  std::vector<std::unique_ptr<TkwPDState>> FStates;
};

}  // namespace qm
