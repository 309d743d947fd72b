#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/Font.h"
#include "base/kwRect.h"
#include "platform/kwMatrix2D.h"
#include "platform/TextMetrics.h"

// Glyph boxes on the page: where a shown glyph's outline lies, in screen pixels, measured
// with an installed face (embedded programs are not drawn). Boxes of a face are kept for
// the whole job, so a page of text outlines each glyph once.
namespace qm {

class TkwFontFace;
class TkwPDState;

class TkwGlyphMeasurer {
public:
  // AInstalledFonts: the system's font names (not owned; outlives the measurer).
  explicit TkwGlyphMeasurer(const std::vector<std::string>& AInstalledFonts);
  ~TkwGlyphMeasurer();

  // The face that measures the glyphs of a font shown as ASystemFont: the fallback font's
  // family, else Arial, else the first installed font, in the font's weight and slant.
  // AEmbedded: the PDF font's own program opens, so glyphs measure as an undrawn program.
  void SelectFace(const TFont& ASystemFont, bool AEmbedded);
  // Forgets the face; glyphs then measure as an undrawn program until SelectFace.
  void ForgetFace() { FMeasureFace.reset(); }
  // Forgets the face and that the font's program is measured.
  void ForgetFont() {
    FMeasureFace.reset();
    FEmbedded = false;
  }
  // Glyphs measure as those of the PDF font's own program.
  [[nodiscard]] bool GetEmbedded() const { return FEmbedded; }

  // The pixel box of the glyph ACode at (AX, AY) in text space: the text matrix, rise and
  // horizontal scaling of AState applied, then ASurface (user space to top-down pixels).
  // A glyph without an outline measures 1 × 1 pixel at its origin.
  [[nodiscard]] TkwRect MeasureGlyph(const TkwPDState& AState, const TkwMatrix2D& ASurface,
                                     double AX, double AY, int ACode) {
    Prepare(AState, ASurface);
    return MeasurePrepared(AState, AX, AY, ACode);
  }
  // MeasureGlyph in two steps, for the glyphs of one string: Prepare takes what the whole
  // string shares (text matrix, surface, face, size and rise), MeasurePrepared measures
  // one glyph with it while none of these changes.
  void Prepare(const TkwPDState& AState, const TkwMatrix2D& ASurface);
  [[nodiscard]] TkwRect MeasurePrepared(const TkwPDState& AState, double AX, double AY, int ACode);
  // The extent of one character in AFont (points size), with the face of the font found on
  // first use after ForgetExtentFace.
  [[nodiscard]] TkwTextExtent CharExtent(const TFont& AFont, char16_t AChar);
  void ForgetExtentFace() {
    FExtentFace.reset();
    FExtentFaceFound = false;
    FLastExtentValid = false;
  }

private:
  // Font-unit bounds of a glyph (y upwards); an empty outline is remembered as such.
  struct TGlyphBox {
    TkwRect Box;
    bool Empty = true;
  };
  const TGlyphBox& GlyphBox(const TkwFontFace& AFace, char32_t ACode);
  // The font-unit box of a character of the measuring face.
  [[nodiscard]] const TkwRect* GlyphBoxOf(const TkwFontFace& AFace, char32_t ACode) {
    // A single-byte code of the last face, known already: nearly every glyph of a page.
    if (ACode < 256 && FBoxSlot != nullptr && FBoxSlot->Face == &AFace) {
      const TBoxEntry& entry = FBoxSlot->Boxes[ACode];
      if (entry.Known) return entry.Empty ? nullptr : &entry.Box;
    }
    return GlyphBoxSlow(AFace, ACode);
  }
  [[nodiscard]] const TkwRect* GlyphBoxSlow(const TkwFontFace& AFace, char32_t ACode);

  const std::vector<std::string>& FInstalledFonts;  // not owned
  std::shared_ptr<TkwFontFace> FMeasureFace;  // family measuring; null for embedded fonts
  bool FEmbedded = false;                     // measuring with the embedded-program branch
  std::shared_ptr<TkwFontFace> FExtentFace;
  bool FExtentFaceFound = false;
  // The last extent measured with FExtentFace: the spaces of a line ask for the same one.
  bool FLastExtentValid = false;
  int FLastExtentSize = 0;
  char16_t FLastExtentChar = 0;
  TkwTextExtent FLastExtent;
  // The surface with the text matrix applied, for the matrices it was made from: the
  // glyphs of a string share it.
  TkwMatrix2D FTextSurface, FTextSurfaceTm, FTextSurfaceOf;
  bool FTextSurfaceValid = false;
  // The glyph box's scale and baseline for a face, size and rise (the last ones asked for).
  const TkwFontFace* FGlyphMetricsFace = nullptr;
  double FGlyphMetricsSize = 0, FGlyphMetricsRise = 0, FGlyphBaseline = 0, FGlyphScale = 0;
  // Every box measured in this job, by face and character.
  std::map<std::pair<const TkwFontFace*, char32_t>, TGlyphBox> FBoxes;
  // Glyph boxes of single-byte codes for the last few measuring faces (faces are cached
  // for the whole run, so their addresses stay valid).
  struct TBoxEntry {
    TkwRect Box;
    bool Empty = true;
    bool Known = false;
  };
  struct TBoxSlot {
    const TkwFontFace* Face = nullptr;
    std::vector<TBoxEntry> Boxes;
  };
  std::array<TBoxSlot, 4> FBoxSlots;
  std::size_t FBoxSlotNext = 0;
  TBoxSlot* FBoxSlot = nullptr;
};

}  // namespace qm
