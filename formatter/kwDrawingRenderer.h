#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "base/kwRect.h"
#include "formatter/kwFormatterInput.h"
#include "platform/Bitmap.h"

// Rendering of drawn regions to pictures, anti-aliased, through Cairo.
namespace qm {

// The paths AWhich of APaths, drawn over white inside ARectPt (page points) at ADpi, as a
// 24-bit bitmap; the resolution is lowered so that neither side exceeds AMaxPixels.
// Nothing when the rectangle is empty or the surface cannot be made.
[[nodiscard]] std::unique_ptr<TBitmap> RenderDrawing(const std::vector<TkwPathRecord>& APaths,
                                                     const std::vector<std::size_t>& AWhich, const TkwRect& ARectPt,
                                                     double ADpi, int AMaxPixels);

}  // namespace qm
