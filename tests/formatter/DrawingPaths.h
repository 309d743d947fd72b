#pragma once

#include <algorithm>

#include "base/Color.h"
#include "formatter/kwFormatterInput.h"

// Paths as the extractor hands them to the formatter, on a 612 x 792 page (points from the
// top left), for tests of what the formatter makes of drawing.
namespace qm::test {

inline TkwPathRecord StrokedLine(double AX0, double AY0, double AX1, double AY1, double AWidth = 0.5) {
  TkwPathRecord p;
  p.Segments = {{TkwPathSegmentKind::psMove, {}, {}, {AX0, AY0}}, {TkwPathSegmentKind::psLine, {}, {}, {AX1, AY1}}};
  p.BoundsPt = {std::min(AX0, AX1), std::min(AY0, AY1), std::max(AX0, AX1), std::max(AY0, AY1)};
  p.ClipPt = {0, 0, 612, 792};
  p.Stroked = true;
  p.LineWidthPt = AWidth;
  return p;
}

inline TkwPathRecord FilledRect(double ALeft, double ATop, double ARight, double ABottom, TColor AColor) {
  TkwPathRecord p;
  p.Segments = {{TkwPathSegmentKind::psMove, {}, {}, {ALeft, ATop}},
                {TkwPathSegmentKind::psLine, {}, {}, {ARight, ATop}},
                {TkwPathSegmentKind::psLine, {}, {}, {ARight, ABottom}},
                {TkwPathSegmentKind::psLine, {}, {}, {ALeft, ABottom}},
                {TkwPathSegmentKind::psClose, {}, {}, {ALeft, ATop}}};
  p.BoundsPt = {ALeft, ATop, ARight, ABottom};
  p.ClipPt = {0, 0, 612, 792};
  p.Filled = true;
  p.FillColor = AColor;
  return p;
}

}  // namespace qm::test
