#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "base/kwObject.h"
#include "pdf/content/kwPDState.h"

namespace qm {

class TkwPDPage;
class TkwPDImage;
class TkwPDForm;
class TkwPDExportDevice;

// Plays a form XObject's content into a device on request: the interpreter runs the form
// with its Matrix concatenated, its BBox as clip and its own resources, inside a q/Q pair.
// Devices that want what a form draws (text in forms, widget appearances) call it from
// DrawFormXObject; the interpreter guards depth and self-reference.
class TkwPDFormPlayer {
public:
  virtual ~TkwPDFormPlayer() = default;
  virtual void PlayForm(TkwPDState& AState, TkwPDForm& AForm, TkwPDExportDevice& ADevice) = 0;
};

// The device interface between page display and whatever consumes the page: a fixed set
// of virtual calls, each doing nothing unless a device overrides it.
class TkwPDExportDevice : public TkwObject {
public:
  ~TkwPDExportDevice() override = default;

  // Capabilities read by the interpreter.
  bool UseShadedFill = false;
  bool NeedNonText = false;
  bool InterpretType3Chars = false;
  bool UseDrawChar = false;
  bool UseDrawForm = false;
  bool UseTillingPatternFill = false;
  bool UpsideDown = false;

  [[nodiscard]] const TkwPDMatrix& GetDefaultCTM() const { return DefaultCTM; }
  [[nodiscard]] const TkwPDMatrix& GetDefaultInverseCTM() const { return DefaultInverseCTM; }

  // Set by the interpreter for the duration of a page; null when forms cannot be played.
  TkwPDFormPlayer* FormPlayer = nullptr;  // not owned

  virtual void SetDefaultCTM(const TkwPDMatrix& AMatrix);
  virtual bool CheckPageSlice(TkwPDPage* APage, double AhDPI, double AvDPI, int ARotate,
                              bool AUseMediaBox, bool ACrop, int ASliceX, int ASliceY,
                              int ASliceW, int ASliceH);
  virtual void StartPage(int AnPage, TkwPDState& AState);
  virtual void EndPage();
  virtual void Dump();
  virtual void ConvertDevToUser(double ADx, double ADy, double& AUx, double& AUy);
  virtual void ConvertUserToDev(double AUx, double AUy, double& ADx, double& ADy);
  virtual void SaveState(TkwPDState& AState);
  virtual void RestoreState(TkwPDState& AState);
  virtual void UpdateAll(TkwPDState& AState);
  virtual void UpdateCTM(TkwPDState& AState, const TkwPDMatrix& ACTM);
  virtual void UpdateLineDash(TkwPDState&) {}
  virtual void UpdateFlatness(TkwPDState&) {}
  virtual void UpdateLineJoin(TkwPDState&) {}
  virtual void UpdateLineCap(TkwPDState&) {}
  virtual void UpdateMiterLimit(TkwPDState&) {}
  virtual void UpdateLineWidth(TkwPDState&) {}
  virtual void UpdateStrokeAdjust(TkwPDState&) {}
  virtual void UpdateFillColorSpace(TkwPDState&) {}
  virtual void UpdateStrokeColorSpace(TkwPDState&) {}
  virtual void UpdateFillColor(TkwPDState&) {}
  virtual void UpdateStrokeColor(TkwPDState&) {}
  virtual void UpdateBlendMode(TkwPDState&) {}
  virtual void UpdateFillOpacity(TkwPDState&) {}
  virtual void UpdateStrokeOpacity(TkwPDState&) {}
  virtual void UpdateFillOverPrint(TkwPDState&) {}
  virtual void UpdateStrokeOverPrint(TkwPDState&) {}
  virtual void UpdateTransfer(TkwPDState&) {}
  virtual void ClearSoftMask(TkwPDState&) {}
  virtual void UpdateFont(TkwPDState&) {}
  virtual void UpdateTextMatrix(TkwPDState&) {}
  virtual void UpdateCharSpace(TkwPDState&) {}
  virtual void UpdateRender(TkwPDState&) {}
  virtual void UpdateRise(TkwPDState&) {}
  virtual void UpdateWordSpace(TkwPDState&) {}
  virtual void UpdateHorizScaling(TkwPDState&) {}
  virtual void UpdateTextPos(TkwPDState&) {}
  virtual void UpdateTextShift(TkwPDState&, double /*AShift*/) {}
  virtual void Stroke(TkwPDState&) {}
  virtual void Fill(TkwPDState&) {}
  virtual void EvenOddFill(TkwPDState&) {}
  // A path filled with a pattern, and the sh operator (which paints the whole clip).
  // AAverageRGB is the pattern's or shading's mean colour (16.16 channels), null when it
  // could not be read.
  virtual void PatternFill(TkwPDState&, bool /*AEvenOdd*/, const std::array<std::int32_t, 3>* /*AAverageRGB*/) {}
  virtual void ShadingFill(TkwPDState&, const std::array<std::int32_t, 3>* /*AAverageRGB*/) {}
  virtual void Clip(TkwPDState&) {}
  virtual void EvenOddClip(TkwPDState&) {}
  virtual void ClipToStrokePath(TkwPDState&) {}
  virtual void BeginStringOp(TkwPDState&) {}
  virtual void EndStringOp(TkwPDState&) {}
  virtual void BeginString(TkwPDState&, const std::u16string& /*AStr*/) {}
  virtual void EndString(TkwPDState&) {}
  // One glyph: (AX, AY) its origin in text space, (ADx, ADy) its displacement, ACode the
  // 16-bit value the font delivered, ACharName its glyph name where known.
  virtual void DrawChar(TkwPDState&, double /*AX*/, double /*AY*/, double /*ADx*/,
                        double /*ADy*/, int /*ACode*/, std::string& /*ACharName*/) {}
  virtual void DrawString(std::u16string& /*AStr*/, TkwPDState&) {}
  virtual bool BeginType3Char(TkwPDState&, double, double, double, double, int, int, int) {
    return false;
  }
  virtual void EndType3Char(TkwPDState&) {}
  virtual void EndTextObject(TkwPDState&) {}
  virtual void DrawImage(TkwPDState&, TkwPDImage&) {}
  virtual void DrawFormXObject(TkwPDState&, TkwPDForm&) {}
  virtual void ResetDevice(TkwPDState&) {}
  virtual void RawTextOut(TkwPDState&, double /*AX*/, double /*AY*/, std::u16string& /*AText*/) {}

protected:
  TkwPDMatrix DefaultInverseCTM;
  TkwPDMatrix DefaultCTM;
};

}  // namespace qm
