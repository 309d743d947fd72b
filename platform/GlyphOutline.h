#pragma once

#include "platform/kwFontFace.h"
#include "platform/kwMatrix2D.h"
#include "platform/kwPath2D.h"

namespace qm {

// The outline of glyph AGlyph at an em of AEmSize device units, y downwards with the
// baseline at y = 0 and the origin at x = 0, then mapped through AMatrix. Empty for a glyph
// without contours.
[[nodiscard]] TkwPath2D GetGlyphOutline(const TkwFontFace& AFace, unsigned AGlyph, double AEmSize,
                                        const TkwMatrix2D& AMatrix = {});

// One character laid out as a text-layout engine places it in a line box whose top-left
// corner is ALayoutOrigin (y downwards): the baseline sits one cell ascent
// (GetCellAscent × AEmSize / GetUnitsPerEm) below the corner, no side padding. Then AMatrix.
[[nodiscard]] TkwPath2D LayoutCharOutline(const TkwFontFace& AFace, char32_t ACode, double AEmSize,
                                          TkwPoint ALayoutOrigin, const TkwMatrix2D& AMatrix = {});

// Bounds of an outline in whole pixels (left and top rounded down, right and bottom up).
// An empty outline measures 1 × 1 pixel at AEmptyOrigin (rounded down), so that callers can
// tell "no ink" from a real box and fall back to a text extent.
[[nodiscard]] TkwRect GetPixelBounds(const TkwPath2D& AOutline, TkwPoint AEmptyOrigin);

}  // namespace qm
