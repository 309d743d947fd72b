#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "base/kwRect.h"
#include "formatter/kwFormatterInput.h"
#include "platform/Bitmap.h"

// Rendering of drawn regions to pictures, anti-aliased, through Cairo.
namespace qm {

// A picture that lies inside a drawing, painted in the page's order: after the first
// PathsBefore paths of the page and before the rest.
struct TkwDrawingImage {
  const TGraphic* Graphic = nullptr;  // not owned
  TkwRect RectPt;
  std::size_t PathsBefore = 0;
};

// The most colours a drawing's picture holds as palette indices (8 bits a pixel); a
// drawing of more colours, an image in it or a gradient, keeps 24 bits a pixel.
inline constexpr std::size_t kMaxDrawingPaletteColors = 255;

// The paths AWhich of APaths (indexes in ascending order) and AImages, drawn over white
// inside ARectPt (page points) at ADpi. The resolution is lowered so that neither side
// exceeds AMaxPixels. A drawing of at most kMaxDrawingPaletteColors colours comes back as
// an 8-bit bitmap with a palette of just those colours, which encodes several times
// faster and smaller than 24 bits; any other as a 24-bit bitmap. Nothing when the
// rectangle is empty or the surface cannot be made.
[[nodiscard]] std::unique_ptr<TBitmap> RenderDrawing(const std::vector<TkwPathRecord>& APaths,
                                                     const std::vector<std::size_t>& AWhich,
                                                     const std::vector<TkwDrawingImage>& AImages,
                                                     const TkwRect& ARectPt, double ADpi, int AMaxPixels);

}  // namespace qm
