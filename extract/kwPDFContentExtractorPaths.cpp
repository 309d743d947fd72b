// The extractor's drawing: painted paths, shadings and pattern fills become path records in
// page points, with the clip's bounding box, their paint and their opacity.
#include <algorithm>
#include <cmath>

#include "base/kwDiagnostics.h"
#include "base/Limits.h"
#include "base/Numbers.h"
#include "base/Units.h"
#include "extract/kwPDFContentExtractor.h"
#include "pdf/content/ContentBridge.h"

namespace qm {

namespace {

TColor ToColor(const std::array<std::int32_t, 3>& ARGB) {
  const auto chan = [](std::int32_t AV) {
    return static_cast<std::uint8_t>(std::clamp(RoundEven(AV * 255.0 / 65536.0), 0, 255));
  };
  return RGBColor(chan(ARGB[0]), chan(ARGB[1]), chan(ARGB[2]));
}

bool Usable(const TkwPoint& AP) {
  return std::isfinite(AP.X) && std::isfinite(AP.Y) && std::fabs(AP.X) <= kMaxDrawingCoordinate &&
         std::fabs(AP.Y) <= kMaxDrawingCoordinate;
}

void Widen(TkwRect& ARect, const TkwPoint& AP, bool& AFirst) {
  if (AFirst) {
    ARect = {AP.X, AP.Y, AP.X, AP.Y};
    AFirst = false;
    return;
  }
  ARect.Left = std::min(ARect.Left, AP.X);
  ARect.Top = std::min(ARect.Top, AP.Y);
  ARect.Right = std::max(ARect.Right, AP.X);
  ARect.Bottom = std::max(ARect.Bottom, AP.Y);
}

TkwRect Intersect(const TkwRect& A, const TkwRect& B) {
  return {std::max(A.Left, B.Left), std::max(A.Top, B.Top), std::min(A.Right, B.Right), std::min(A.Bottom, B.Bottom)};
}

// How a dash array reads: short marks are dots, long ones dashes.
TkwLineDashKind DashKind(const std::vector<double>& ADash, double AWidth) {
  if (ADash.empty()) return TkwLineDashKind::ldSolid;
  double on = 0;
  bool any = false;
  for (std::size_t i = 0; i < ADash.size(); i += 2) {
    on = std::max(on, ADash[i]);
    any = any || ADash[i] > 0 || (i + 1 < ADash.size() && ADash[i + 1] > 0);
  }
  if (!any) return TkwLineDashKind::ldSolid;
  return on <= std::max(1.0, 1.5 * AWidth) ? TkwLineDashKind::ldDotted : TkwLineDashKind::ldDashed;
}

}  // namespace

TkwPoint TkwPDFContentExtractor::ToTopDownPoints(const TkwPDState& AState, double AX, double AY) const {
  const double k = kPixelsPerPoint;
  return {AState.FCTM.TransformX(AX, AY) / k, (FPageHeight - AState.FCTM.TransformY(AX, AY)) / k};
}

void TkwPDFContentExtractor::NarrowPathClip(const TkwPDState& AState) {
  TkwRect box;
  bool first = true;
  for (const TkwPDSubPath& sp : AState.GetPath().FSubPathList) {
    for (std::size_t i = 0; i < sp.PointCount(); ++i) {
      const TkwPoint p = ToTopDownPoints(AState, sp.FX[i], sp.FY[i]);
      if (!std::isfinite(p.X) || !std::isfinite(p.Y)) continue;
      Widen(box, p, first);
    }
  }
  // A clip with no usable point hides everything after it.
  FPathClip = first ? TkwRect{0, 0, -1, -1} : Intersect(FPathClip, box);
}

bool TkwPDFContentExtractor::BuildPathRecord(const TkwPDState& AState, TkwPathRecord& ARecord) const {
  bool first = true;
  for (const TkwPDSubPath& sp : AState.GetPath().FSubPathList) {
    if (sp.PointCount() == 0) continue;
    TkwPathSegment move;
    move.Kind = TkwPathSegmentKind::psMove;
    move.P3 = ToTopDownPoints(AState, sp.FX[0], sp.FY[0]);
    if (!Usable(move.P3)) return false;
    Widen(ARecord.BoundsPt, move.P3, first);
    ARecord.Segments.push_back(move);
    std::size_t i = 1;
    while (i < sp.PointCount()) {
      TkwPathSegment seg;
      if (sp.IsCurve(i) && i + 2 < sp.PointCount()) {
        seg.Kind = TkwPathSegmentKind::psCubic;
        seg.P1 = ToTopDownPoints(AState, sp.FX[i], sp.FY[i]);
        seg.P2 = ToTopDownPoints(AState, sp.FX[i + 1], sp.FY[i + 1]);
        seg.P3 = ToTopDownPoints(AState, sp.FX[i + 2], sp.FY[i + 2]);
        if (!Usable(seg.P1) || !Usable(seg.P2)) return false;
        Widen(ARecord.BoundsPt, seg.P1, first);
        Widen(ARecord.BoundsPt, seg.P2, first);
        i += 3;
      } else {
        seg.Kind = TkwPathSegmentKind::psLine;
        seg.P3 = ToTopDownPoints(AState, sp.FX[i], sp.FY[i]);
        ++i;
      }
      if (!Usable(seg.P3)) return false;
      Widen(ARecord.BoundsPt, seg.P3, first);
      ARecord.Segments.push_back(seg);
    }
    if (sp.FClosed) {
      TkwPathSegment close;
      close.Kind = TkwPathSegmentKind::psClose;
      close.P3 = move.P3;
      ARecord.Segments.push_back(close);
    }
  }
  return !first;
}

void TkwPDFContentExtractor::HandOverPath(TkwPathRecord& ARecord) {
  ARecord.ClipPt = FPathClip;
  const double half = ARecord.Stroked ? ARecord.LineWidthPt / 2 : 0;
  const TkwRect painted{ARecord.BoundsPt.Left - half, ARecord.BoundsPt.Top - half, ARecord.BoundsPt.Right + half,
                        ARecord.BoundsPt.Bottom + half};
  const TkwRect seen = Intersect(painted, FPathClip);
  // Clipped away: nothing of it shows (a hairline has no area but still shows).
  if (seen.Right < seen.Left || seen.Bottom < seen.Top) return;
  if (FPathCount >= kMaxPathsPerPage) {
    if (!FPathCapNoted && FDiag) FDiag->Note(TkwDiagCode::dcDrawingCapped);
    FPathCapNoted = true;
    return;
  }
  ++FPathCount;
  FFormatter.AddPath(ARecord);
}

void TkwPDFContentExtractor::PaintPath(TkwPDState& AState, bool AFill, bool AEvenOdd, bool AStroke) {
  if (!FInPage) return;
  const double alpha = AStroke ? AState.FStrokeOpacity : AState.FFillOpacity;
  if (!(alpha > 0)) return;  // fully transparent, or NaN
  TkwPathRecord record;
  if (!BuildPathRecord(AState, record)) return;
  record.Filled = AFill;
  record.EvenOdd = AEvenOdd;
  record.Stroked = AStroke;
  record.FillAlpha = std::clamp(AState.FFillOpacity, 0.0, 1.0);
  record.StrokeAlpha = std::clamp(AState.FStrokeOpacity, 0.0, 1.0);
  std::array<std::int32_t, 3> rgb{0, 0, 0};
  if (AFill) {
    AState.GetFillRGB(rgb);
    record.FillColor = ToColor(rgb);
  }
  if (AStroke) {
    content::ColorSpaceToRGB(AState.GetStrokeColorSpace(), AState.FStrokeColor, rgb);
    record.StrokeColor = ToColor(rgb);
    // The line width and dashes scale with the matrix's mean scale.
    const TkwPDMatrix& m = AState.FCTM;
    const double scale = std::sqrt(std::fabs(m.FM11 * m.FM22 - m.FM12 * m.FM21)) / kPixelsPerPoint;
    const double width = AState.FLineWidth * scale;
    // A zero width is the thinnest line the device can draw.
    record.LineWidthPt = std::isfinite(width) && width > 0 ? std::min(width, kMaxDrawingCoordinate) : 0.25;
    const std::size_t n = std::min<std::size_t>(AState.FLineDash.size(), 64);
    for (std::size_t i = 0; i < n; ++i) {
      const double d = AState.FLineDash[i] * scale;
      if (!std::isfinite(d) || d < 0) {
        record.DashPt.clear();
        break;
      }
      record.DashPt.push_back(d);
    }
    record.DashPhasePt = std::isfinite(AState.FLineStart * scale) ? AState.FLineStart * scale : 0;
    record.Dash = DashKind(record.DashPt, record.LineWidthPt);
  }
  HandOverPath(record);
}

void TkwPDFContentExtractor::PatternFill(TkwPDState& AState, bool AEvenOdd,
                                         const std::array<std::int32_t, 3>* AAverageRGB) {
  if (!FInPage || !(AState.FFillOpacity > 0)) return;
  TkwPathRecord record;
  if (!BuildPathRecord(AState, record)) return;
  record.Filled = true;
  record.EvenOdd = AEvenOdd;
  record.Shading = true;
  record.FillAlpha = std::clamp(AState.FFillOpacity, 0.0, 1.0);
  // An unreadable pattern still covers its area: a light grey keeps text on it readable.
  record.FillColor = AAverageRGB ? ToColor(*AAverageRGB) : RGBColor(0xC0, 0xC0, 0xC0);
  HandOverPath(record);
}

void TkwPDFContentExtractor::ShadingFill(TkwPDState& AState, const std::array<std::int32_t, 3>* AAverageRGB) {
  if (!FInPage || !(AState.FFillOpacity > 0)) return;
  if (FPathClip.Right < FPathClip.Left || FPathClip.Bottom < FPathClip.Top) return;
  // A shading paints everything the clip lets through: the clip's box, as a rectangle.
  TkwPathRecord record;
  const TkwRect& c = FPathClip;
  const TkwPoint corners[4] = {{c.Left, c.Top}, {c.Right, c.Top}, {c.Right, c.Bottom}, {c.Left, c.Bottom}};
  for (int i = 0; i < 4; ++i) {
    TkwPathSegment seg;
    seg.Kind = i == 0 ? TkwPathSegmentKind::psMove : TkwPathSegmentKind::psLine;
    seg.P3 = corners[i];
    record.Segments.push_back(seg);
  }
  TkwPathSegment close;
  close.Kind = TkwPathSegmentKind::psClose;
  close.P3 = corners[0];
  record.Segments.push_back(close);
  record.BoundsPt = c;
  record.Filled = true;
  record.Shading = true;
  record.FillAlpha = std::clamp(AState.FFillOpacity, 0.0, 1.0);
  record.FillColor = AAverageRGB ? ToColor(*AAverageRGB) : RGBColor(0xC0, 0xC0, 0xC0);
  HandOverPath(record);
}

}  // namespace qm
