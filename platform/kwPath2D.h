#pragma once

#include <cstddef>
#include <vector>

#include "platform/kwMatrix2D.h"

namespace qm {

enum class TkwFillRule : unsigned char { frNonZero, frEvenOdd };

// A path of figures made of straight and cubic Bézier segments, as a glyph outline or a
// clipping path is. A plain value.
class TkwPath2D {
public:
  // A figure: a start point and segments. A cubic segment takes three points (two control
  // points and its end), marked in Kinds; a line takes one.
  enum class TkwSegKind : unsigned char { skLine, skCubic };
  struct TkwFigure {
    std::vector<TkwPoint> Points;       // Points[0] is the start point
    std::vector<TkwSegKind> Kinds;       // one per segment
    bool Closed = false;
  };

  // Starts a new figure at AP (an unfinished empty figure is replaced).
  void MoveTo(TkwPoint AP);
  // Without a current figure these start one at AP (lines) or at the first point (curves).
  void LineTo(TkwPoint AP);
  void CubicTo(TkwPoint AC1, TkwPoint AC2, TkwPoint AEnd);
  // Quadratic segments are kept as the equivalent cubic.
  void QuadTo(TkwPoint AC, TkwPoint AEnd);
  void CloseFigure();
  void AddRectangle(const TkwRect& AR);

  [[nodiscard]] bool IsEmpty() const;
  [[nodiscard]] const std::vector<TkwFigure>& Figures() const { return FFigures; }
  void Transform(const TkwMatrix2D& AM);

  // Every figure as a closed polyline whose distance from the true curve is at most
  // ATolerance. Each curve is cut into at most 1024 pieces whatever the tolerance.
  [[nodiscard]] std::vector<std::vector<TkwPoint>> Flatten(double ATolerance = 0.25) const;

  // The smallest rectangle holding the flattened path; all zero for an empty path.
  [[nodiscard]] TkwRect GetBounds(double ATolerance = 0.25) const;

private:
  std::vector<TkwFigure> FFigures;
};

// Points of a cubic Bézier from AP0 (excluded) to AP3 (included), appended to AOut, at
// most ATolerance away from the curve.
void FlattenCubic(TkwPoint AP0, TkwPoint AP1, TkwPoint AP2, TkwPoint AP3, double ATolerance,
                  std::vector<TkwPoint>& AOut);

// True when AP lies inside the closed polygons under ARule. Points on a left or top edge
// are inside, on a right or bottom edge outside, so that abutting shapes never share a point.
[[nodiscard]] bool PolygonsContain(const std::vector<std::vector<TkwPoint>>& APolys, TkwPoint AP,
                                   TkwFillRule ARule);

}  // namespace qm
