#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
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
// inside ARectPt (page points) at ADpi, and the rotated lines AText over them where they
// stand (not owned). The resolution is lowered so that neither side
// exceeds AMaxPixels. A drawing of at most kMaxDrawingPaletteColors colours comes back as
// an 8-bit bitmap with a palette of just those colours, which encodes several times
// faster and smaller than 24 bits; any other as a 24-bit bitmap. Nothing when the
// rectangle is empty or the surface cannot be made.
[[nodiscard]] std::unique_ptr<TBitmap> RenderDrawing(const std::vector<TkwPathRecord>& APaths,
                                                     const std::vector<std::size_t>& AWhich,
                                                     const std::vector<TkwDrawingImage>& AImages,
                                                     const TkwRect& ARectPt, double ADpi, int AMaxPixels,
                                                     const std::vector<const TkwRotatedLineRecord*>& AText = {});

// Whether a metafile draws the path as the page does: a solid, opaque fill or stroke.
// Shadings, patterns and transparency need the raster picture.
[[nodiscard]] bool DrawsAsVector(const TkwPathRecord& APath);

// The paths AWhich of APaths as an enhanced metafile of ARectPt (page points), each path
// clipped as the page clips it; nothing when a path cannot be drawn as a vector or the
// metafile would grow past ABudget bytes.
[[nodiscard]] std::optional<std::string> EncodeDrawingEmf(const std::vector<TkwPathRecord>& APaths,
                                                          const std::vector<std::size_t>& AWhich,
                                                          const TkwRect& ARectPt, std::size_t ABudget);

// The metafile of a drawing may take this many bytes, or a quarter of a byte for each
// pixel of its raster picture when that is more; a larger one costs more to write and to
// read than the picture it stands for (hatching, maps of thousands of strokes).
inline constexpr std::size_t kMinDrawingEmfBudget = 64 * 1024;

// A metafile larger than this is written only when it is smaller than the raster
// picture's PNG; a smaller one always is.
inline constexpr std::size_t kDrawingEmfWeighedSize = 16 * 1024;

// The picture of a drawing, as RenderDrawing's arguments say: a vector picture (an
// enhanced metafile, with the raster picture as its raster form) when no image and no
// text lies in it, every path draws as a vector and the metafile keeps within its budget (and, past
// kDrawingEmfWeighedSize, under the PNG's size); else the raster picture. The vector
// picture shares APaths. Nothing when RenderDrawing gives nothing.
[[nodiscard]] std::unique_ptr<TGraphic> RenderDrawingPicture(std::shared_ptr<const std::vector<TkwPathRecord>> APaths,
                                                             const std::vector<std::size_t>& AWhich,
                                                             const std::vector<TkwDrawingImage>& AImages,
                                                             const TkwRect& ARectPt, double ADpi, int AMaxPixels,
                                                             const std::vector<const TkwRotatedLineRecord*>& AText = {});

}  // namespace qm
