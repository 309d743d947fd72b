#pragma once

#include <vector>

#include "platform/kwPath2D.h"

namespace qm {

// An area of the plane: the intersection of filled paths. A point is inside when every
// path holds it under that path's fill rule. Paths are flattened when they are added.
// A region made from nothing (the default) is infinite: every point is inside.
class TkwRegion {
public:
  TkwRegion() = default;
  explicit TkwRegion(const TkwRect& ARect);
  TkwRegion(const TkwPath2D& APath, TkwFillRule ARule, double ATolerance = 0.25);

  // Intersects this region with another one, or with a filled path.
  void Intersect(const TkwRegion& AOther);
  void Intersect(const TkwPath2D& APath, TkwFillRule ARule, double ATolerance = 0.25);

  [[nodiscard]] bool Contains(TkwPoint AP) const;
  [[nodiscard]] bool IsInfinite() const { return FParts.empty(); }
  // A rectangle holding the region: the intersection of the parts' bounds (empty,
  // Right < Left, when they do not overlap). Meaningless for an infinite region.
  [[nodiscard]] TkwRect GetBounds() const;

private:
  struct TkwPart {
    std::vector<std::vector<TkwPoint>> Polys;
    TkwFillRule Rule = TkwFillRule::frNonZero;
    TkwRect Bounds;
  };
  void AddPart(std::vector<std::vector<TkwPoint>> APolys, TkwFillRule ARule);

  std::vector<TkwPart> FParts;
};

}  // namespace qm
