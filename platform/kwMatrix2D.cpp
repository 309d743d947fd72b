#include "platform/kwMatrix2D.h"

#include <cmath>

namespace qm {

TkwMatrix2D operator*(const TkwMatrix2D& L, const TkwMatrix2D& R) {
  return {L.A * R.A + L.B * R.C,        L.A * R.B + L.B * R.D,
          L.C * R.A + L.D * R.C,        L.C * R.B + L.D * R.D,
          L.E * R.A + L.F * R.C + R.E,  L.E * R.B + L.F * R.D + R.F};
}

std::optional<TkwMatrix2D> TkwMatrix2D::Inverted() const {
  const double det = Determinant();
  if (det == 0 || !std::isfinite(det)) return std::nullopt;
  TkwMatrix2D m{D / det, -B / det, -C / det, A / det, (C * F - D * E) / det, (B * E - A * F) / det};
  if (!std::isfinite(m.A) || !std::isfinite(m.B) || !std::isfinite(m.C) || !std::isfinite(m.D) ||
      !std::isfinite(m.E) || !std::isfinite(m.F)) {
    return std::nullopt;
  }
  return m;
}

}  // namespace qm
