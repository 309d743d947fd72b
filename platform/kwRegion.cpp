#include "platform/kwRegion.h"

#include <algorithm>
#include <limits>

namespace qm {

TkwRegion::TkwRegion(const TkwRect& ARect) {
  TkwPath2D p;
  p.AddRectangle(ARect);
  AddPart(p.Flatten(), TkwFillRule::frNonZero);
}

TkwRegion::TkwRegion(const TkwPath2D& APath, TkwFillRule ARule, double ATolerance) {
  AddPart(APath.Flatten(ATolerance), ARule);
}

void TkwRegion::Intersect(const TkwRegion& AOther) {
  FParts.insert(FParts.end(), AOther.FParts.begin(), AOther.FParts.end());
}

void TkwRegion::Intersect(const TkwPath2D& APath, TkwFillRule ARule, double ATolerance) {
  AddPart(APath.Flatten(ATolerance), ARule);
}

void TkwRegion::AddPart(std::vector<std::vector<TkwPoint>> APolys, TkwFillRule ARule) {
  TkwPart part;
  part.Rule = ARule;
  bool any = false;
  for (const auto& poly : APolys) {
    for (const auto& p : poly) {
      if (!any) {
        part.Bounds = {p.X, p.Y, p.X, p.Y};
        any = true;
      }
      part.Bounds.Left = std::min(part.Bounds.Left, p.X);
      part.Bounds.Top = std::min(part.Bounds.Top, p.Y);
      part.Bounds.Right = std::max(part.Bounds.Right, p.X);
      part.Bounds.Bottom = std::max(part.Bounds.Bottom, p.Y);
    }
  }
  if (!any) {
    // An empty path encloses nothing, so the intersection is empty.
    part.Bounds = {0, 0, -1, -1};
  }
  part.Polys = std::move(APolys);
  FParts.push_back(std::move(part));
}

bool TkwRegion::Contains(TkwPoint AP) const {
  for (const auto& part : FParts) {
    const auto& b = part.Bounds;
    if (AP.X < b.Left || AP.X >= b.Right || AP.Y < b.Top || AP.Y >= b.Bottom) return false;
    if (!PolygonsContain(part.Polys, AP, part.Rule)) return false;
  }
  return true;
}

TkwRect TkwRegion::GetBounds() const {
  if (FParts.empty()) {
    constexpr double big = std::numeric_limits<double>::max();
    return {-big, -big, big, big};
  }
  TkwRect r = FParts.front().Bounds;
  for (const auto& part : FParts) {
    r.Left = std::max(r.Left, part.Bounds.Left);
    r.Top = std::max(r.Top, part.Bounds.Top);
    r.Right = std::min(r.Right, part.Bounds.Right);
    r.Bottom = std::min(r.Bottom, part.Bounds.Bottom);
  }
  return r;
}

}  // namespace qm
