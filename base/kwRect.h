#pragma once

#include <vector>

// Points and rectangles of doubles, the geometry every stage shares. The unit is the
// user's: a field or parameter that holds one says which (Pt, Px) in its name.
namespace qm {

struct TkwPoint {
  double X = 0;
  double Y = 0;
  bool operator==(const TkwPoint&) const = default;
};
using TkwPoints = std::vector<TkwPoint>;

// Left, top, right, bottom. A rectangle with Right < Left is empty.
struct TkwRect {
  double Left = 0;
  double Top = 0;
  double Right = 0;
  double Bottom = 0;
  [[nodiscard]] double Width() const { return Right - Left; }
  [[nodiscard]] double Height() const { return Bottom - Top; }
  bool operator==(const TkwRect&) const = default;
};

}  // namespace qm
