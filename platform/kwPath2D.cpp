#include "platform/kwPath2D.h"

#include <algorithm>
#include <cmath>

namespace qm {

void TkwPath2D::MoveTo(TkwPoint AP) {
  if (!FFigures.empty() && FFigures.back().Kinds.empty() && !FFigures.back().Closed) {
    FFigures.back().Points = {AP};
    return;
  }
  FFigures.push_back({{AP}, {}, false});
}

void TkwPath2D::LineTo(TkwPoint AP) {
  if (FFigures.empty() || FFigures.back().Closed) {
    const TkwPoint start = (FFigures.empty() || FFigures.back().Points.empty())
                                ? AP
                                : FFigures.back().Points.front();
    FFigures.push_back({{start}, {}, false});
  }
  FFigures.back().Points.push_back(AP);
  FFigures.back().Kinds.push_back(TkwSegKind::skLine);
}

void TkwPath2D::CubicTo(TkwPoint AC1, TkwPoint AC2, TkwPoint AEnd) {
  if (FFigures.empty() || FFigures.back().Closed) {
    const TkwPoint start = (FFigures.empty() || FFigures.back().Points.empty())
                                ? AC1
                                : FFigures.back().Points.front();
    FFigures.push_back({{start}, {}, false});
  }
  auto& f = FFigures.back();
  f.Points.insert(f.Points.end(), {AC1, AC2, AEnd});
  f.Kinds.push_back(TkwSegKind::skCubic);
}

void TkwPath2D::QuadTo(TkwPoint AC, TkwPoint AEnd) {
  const TkwPoint p0 = (FFigures.empty() || FFigures.back().Closed) ? AC : FFigures.back().Points.back();
  CubicTo({p0.X + 2.0 / 3.0 * (AC.X - p0.X), p0.Y + 2.0 / 3.0 * (AC.Y - p0.Y)},
          {AEnd.X + 2.0 / 3.0 * (AC.X - AEnd.X), AEnd.Y + 2.0 / 3.0 * (AC.Y - AEnd.Y)}, AEnd);
}

void TkwPath2D::CloseFigure() {
  if (!FFigures.empty()) FFigures.back().Closed = true;
}

void TkwPath2D::AddRectangle(const TkwRect& AR) {
  FFigures.push_back({{{AR.Left, AR.Top}, {AR.Right, AR.Top}, {AR.Right, AR.Bottom}, {AR.Left, AR.Bottom}},
                      {TkwSegKind::skLine, TkwSegKind::skLine, TkwSegKind::skLine},
                      true});
}

bool TkwPath2D::IsEmpty() const {
  return std::all_of(FFigures.begin(), FFigures.end(),
                     [](const TkwFigure& f) { return f.Points.empty(); });
}

void TkwPath2D::Transform(const TkwMatrix2D& AM) {
  for (auto& f : FFigures) {
    for (auto& p : f.Points) p = AM.Transform(p);
  }
}

void FlattenCubic(TkwPoint P0, TkwPoint P1, TkwPoint P2, TkwPoint P3, double ATolerance,
                  std::vector<TkwPoint>& AOut) {
  // The second differences bound how far the chords stray from the curve (Wang's formula):
  // n pieces keep the error under 3/4 · max|d2| / n².
  const double ddx = std::max(std::abs(P0.X - 2 * P1.X + P2.X), std::abs(P1.X - 2 * P2.X + P3.X));
  const double ddy = std::max(std::abs(P0.Y - 2 * P1.Y + P2.Y), std::abs(P1.Y - 2 * P2.Y + P3.Y));
  const double dd = std::hypot(ddx, ddy);
  const double tol = (ATolerance > 1e-6 && std::isfinite(ATolerance)) ? ATolerance : 1e-6;
  double nReal = std::ceil(std::sqrt(0.75 * dd / tol));
  if (!std::isfinite(nReal) || nReal < 1) nReal = 1;
  const int n = static_cast<int>(std::min(nReal, 1024.0));
  for (int i = 1; i < n; ++i) {
    const double t = double(i) / n;
    const double u = 1 - t;
    const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
    AOut.push_back({a * P0.X + b * P1.X + c * P2.X + d * P3.X, a * P0.Y + b * P1.Y + c * P2.Y + d * P3.Y});
  }
  AOut.push_back(P3);
}

std::vector<std::vector<TkwPoint>> TkwPath2D::Flatten(double ATolerance) const {
  std::vector<std::vector<TkwPoint>> out;
  out.reserve(FFigures.size());
  for (const auto& f : FFigures) {
    if (f.Points.empty()) continue;
    std::vector<TkwPoint> poly{f.Points.front()};
    std::size_t pi = 1;
    for (auto kind : f.Kinds) {
      if (kind == TkwSegKind::skLine) {
        if (pi >= f.Points.size()) break;
        poly.push_back(f.Points[pi++]);
      } else {
        if (pi + 2 >= f.Points.size()) break;
        FlattenCubic(f.Points[pi - 1], f.Points[pi], f.Points[pi + 1], f.Points[pi + 2], ATolerance, poly);
        pi += 3;
      }
    }
    out.push_back(std::move(poly));
  }
  return out;
}

TkwRect TkwPath2D::GetBounds(double ATolerance) const {
  bool any = false;
  TkwRect r;
  for (const auto& poly : Flatten(ATolerance)) {
    for (const auto& p : poly) {
      if (!any) {
        r = {p.X, p.Y, p.X, p.Y};
        any = true;
      } else {
        r.Left = std::min(r.Left, p.X);
        r.Top = std::min(r.Top, p.Y);
        r.Right = std::max(r.Right, p.X);
        r.Bottom = std::max(r.Bottom, p.Y);
      }
    }
  }
  return r;
}

bool PolygonsContain(const std::vector<std::vector<TkwPoint>>& APolys, TkwPoint AP, TkwFillRule ARule) {
  int winding = 0;
  int crossings = 0;
  for (const auto& poly : APolys) {
    const std::size_t n = poly.size();
    if (n < 3) continue;
    for (std::size_t i = 0; i < n; ++i) {
      const TkwPoint a = poly[i];
      const TkwPoint b = poly[(i + 1) % n];
      // Half-open in y, so a vertex on the ray is counted once.
      const bool up = a.Y <= AP.Y && AP.Y < b.Y;
      const bool down = b.Y <= AP.Y && AP.Y < a.Y;
      if (!up && !down) continue;
      const double x = a.X + (AP.Y - a.Y) * (b.X - a.X) / (b.Y - a.Y);
      if (AP.X < x) {
        ++crossings;
        winding += up ? 1 : -1;
      }
    }
  }
  return ARule == TkwFillRule::frNonZero ? winding != 0 : (crossings & 1) != 0;
}

}  // namespace qm
