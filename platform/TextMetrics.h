#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/kwFontFace.h"

namespace qm {

// Size of a one-line text in device pixels at 96 pixels per inch.
struct TkwTextExtent {
  double Width = 0;   // sum of the unhinted advances (no kerning)
  double Height = 0;  // the font's cell height: (cell ascent + cell descent) at this size
};

// A font family's design metrics in font units (what a word processor's font family
// reports): em height, cell ascent and descent, line spacing.
struct TkwFontCellMetrics {
  int EmHeight = 0;
  int CellAscent = 0;
  int CellDescent = 0;
  int LineSpacing = 0;
};

// The face FindFontFile gives for a family and style, opened once per process and kept;
// nullptr only when no font file can be opened at all.
[[nodiscard]] std::shared_ptr<TkwFontFace> GetSystemFace(std::string_view AFamily, bool ABold,
                                                         bool AItalic);

// Extent of AText (UTF-16) in a face at ASizePt points (the em is ASizePt × 96 / 72 pixels).
[[nodiscard]] TkwTextExtent GetTextExtent(const TkwFontFace& AFace, double ASizePt,
                                          std::u16string_view AText);

// Extent of AText in an installed family ("Arial" measures with Liberation Sans). An unknown
// family measures with fontconfig's substitute; a size ≤ 0 gives a zero extent.
[[nodiscard]] TkwTextExtent GetTextExtent(std::string_view AFamily, double ASizePt, bool ABold,
                                          bool AItalic, std::u16string_view AText);

// Cell metrics of a family's face for the style; nothing when no face can be opened.
[[nodiscard]] std::optional<TkwFontCellMetrics> GetFontCellMetrics(std::string_view AFamily,
                                                                   bool ABold = false,
                                                                   bool AItalic = false);

}  // namespace qm
