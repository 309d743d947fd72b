#pragma once

// Lengths between the stages: the interpreter works in screen pixels, the extractor hands
// the formatter points (1/72 inch) and pixel boxes, the writer keeps screen pixels and
// writes twips.
namespace qm {

// Pixels per inch of the screen the engine lays pages out for. Linux offers no single
// answer, and the layout must not change from one machine to the next, so it is fixed.
inline constexpr int kScreenDpi = 96;
inline constexpr double kPointsPerInch = 72.0;
// Screen pixels per point.
inline constexpr double kPixelsPerPoint = kScreenDpi / kPointsPerInch;

}  // namespace qm
