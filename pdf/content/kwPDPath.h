#pragma once

#include <cstddef>
#include <vector>

namespace qm {

// One figure of a path: points with a curve flag each. A straight segment adds one point;
// a cubic adds three (flags on, on, off). FCount is the number of segments (at least 1).
class TkwPDSubPath {
public:
  TkwPDSubPath(double AX, double AY);

  void AddLine(double AX, double AY);
  void AddCurve(double AX1, double AY1, double AX2, double AY2, double AX3, double AY3);
  // Marks the figure closed, adding a line back to the start unless the last point is there.
  void Close();

  [[nodiscard]] std::size_t PointCount() const { return FX.size(); }
  // Lookups past the end give the last point.
  [[nodiscard]] double X(std::size_t AIndex) const;
  [[nodiscard]] double Y(std::size_t AIndex) const;
  [[nodiscard]] bool IsCurve(std::size_t AIndex) const;

  std::vector<double> FX, FY;
  std::vector<bool> FCurve;
  bool FClosed = false;
  int FCount = 1;
  bool FIsIncreased = false;

private:
  void Grow();
};

class TkwPDPath {
public:
  void MoveTo(double AX, double AY);
  void LineTo(double AX, double AY);
  void CurveTo(double AX1, double AY1, double AX2, double AY2, double AX3, double AY3);
  // Closes the last subpath; the new current point is returned through AX, AY.
  bool ClosePath(double& AX, double& AY);

  [[nodiscard]] bool HasSubPath() const { return !FSubPathList.empty(); }
  [[nodiscard]] bool HasCurrentPoint() const { return HasSubPath() || FJustMoved; }

  bool FJustMoved = false;
  double FFirstX = 0, FFirstY = 0;
  std::vector<TkwPDSubPath> FSubPathList;

private:
  TkwPDSubPath* OpenIfMoved();
};

}  // namespace qm
