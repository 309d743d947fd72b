#pragma once

#include <optional>

#include "base/kwRect.h"

namespace qm {

// An affine map of the plane, (x, y) → (A·x + C·y + E, B·x + D·y + F), the same layout as a
// PDF matrix [A B C D E F]. A plain value.
struct TkwMatrix2D {
  double A = 1, B = 0, C = 0, D = 1, E = 0, F = 0;

  [[nodiscard]] static TkwMatrix2D Translation(double ADx, double ADy) { return {1, 0, 0, 1, ADx, ADy}; }
  [[nodiscard]] static TkwMatrix2D Scaling(double ASx, double ASy) { return {ASx, 0, 0, ASy, 0, 0}; }

  [[nodiscard]] TkwPoint Transform(TkwPoint AP) const {
    return {A * AP.X + C * AP.Y + E, B * AP.X + D * AP.Y + F};
  }
  // Transforms a direction: no translation.
  [[nodiscard]] TkwPoint TransformVector(TkwPoint AP) const {
    return {A * AP.X + C * AP.Y, B * AP.X + D * AP.Y};
  }
  [[nodiscard]] double Determinant() const { return A * D - B * C; }
  [[nodiscard]] bool IsIdentity() const {
    return A == 1 && B == 0 && C == 0 && D == 1 && E == 0 && F == 0;
  }
  // The inverse, or nothing when the matrix is singular (or not finite).
  [[nodiscard]] std::optional<TkwMatrix2D> Inverted() const;

  // ALeft * ARight maps a point through ALeft first, then ARight (PDF's order: a text
  // matrix times the CTM).
  friend TkwMatrix2D operator*(const TkwMatrix2D& ALeft, const TkwMatrix2D& ARight);
  friend bool operator==(const TkwMatrix2D&, const TkwMatrix2D&) = default;

  // this := AM * this: AM applies before the current transform (what a drawing surface's
  // "translate" or "multiply transform" does by default).
  void Prepend(const TkwMatrix2D& AM) { *this = AM * *this; }
  // this := this * AM: AM applies after the current transform.
  void Append(const TkwMatrix2D& AM) { *this = *this * AM; }
};

}  // namespace qm
