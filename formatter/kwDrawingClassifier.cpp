#include "formatter/kwDrawingClassifier.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <unordered_map>

#include "base/Limits.h"
#include "base/kwDiagnostics.h"
#include "formatter/kwDrawingRenderer.h"
#include "formatter/kwFormatter.h"
#include "formatter/kwFormatterUtil.h"

namespace qm {

namespace {

// Lines at most this thick (points) are rules; thicker ones are boxes or drawing.
constexpr double kMaxRuleThickness = 3.5;
// A segment whose ends differ by at most this much across is axis-aligned.
constexpr double kAxisSlack = 0.35;
// Paths whose boxes come this close (points) belong to one region.
constexpr double kRegionGap = 6;
// Region pictures are rendered at this resolution, lowered only to keep within the cap.
constexpr double kRegionDpi = 150;
// A rotated line of more glyphs than this is never drawn into a picture.
constexpr std::size_t kMaxDrawnLineGlyphs = 60;
// A paint channel at or above this reads as white on white paper.
constexpr int kWhiteChannel = 250;

bool Visible(const TkwPathRecord& APath, double AW, double AH) {
  const TkwRect& b = APath.BoundsPt;
  const TkwRect& c = APath.ClipPt;
  const double half = APath.Stroked ? APath.LineWidthPt / 2 : 0;
  const double l = std::max({b.Left - half, c.Left, 0.0}), r = std::min({b.Right + half, c.Right, AW});
  const double t = std::max({b.Top - half, c.Top, 0.0}), d = std::min({b.Bottom + half, c.Bottom, AH});
  const bool painted = (APath.Filled && APath.FillAlpha > 0) || (APath.Stroked && APath.StrokeAlpha > 0);
  return painted && l <= r && t <= d;
}

// ARect grown to take in ABy.
void Widen(TkwRect& ARect, const TkwRect& ABy) {
  ARect.Left = std::min(ARect.Left, ABy.Left);
  ARect.Top = std::min(ARect.Top, ABy.Top);
  ARect.Right = std::max(ARect.Right, ABy.Right);
  ARect.Bottom = std::max(ARect.Bottom, ABy.Bottom);
}

bool IsWhite(TColor AColor) {
  const auto rgb = static_cast<std::uint32_t>(AColor);
  return GetRValue(rgb) >= kWhiteChannel && GetGValue(rgb) >= kWhiteChannel && GetBValue(rgb) >= kWhiteChannel;
}

// The rectangle a path outlines when it is one axis-aligned rectangle (possibly closed by
// a fifth point); nothing otherwise.
std::optional<TkwRect> RectangleOf(const std::vector<TkwPathSegment>& ASegments) {
  std::vector<TkwPoint> pts;
  for (const TkwPathSegment& s : ASegments) {
    if (s.Kind == TkwPathSegmentKind::psCubic) return std::nullopt;
    if (s.Kind == TkwPathSegmentKind::psMove && !pts.empty()) return std::nullopt;
    if (s.Kind != TkwPathSegmentKind::psClose) pts.push_back(s.P3);
  }
  if (pts.size() == 5 && std::fabs(pts[0].X - pts[4].X) <= kAxisSlack && std::fabs(pts[0].Y - pts[4].Y) <= kAxisSlack) {
    pts.pop_back();
  }
  if (pts.size() != 4) return std::nullopt;
  TkwRect r{pts[0].X, pts[0].Y, pts[0].X, pts[0].Y};
  for (const TkwPoint& p : pts) {
    r.Left = std::min(r.Left, p.X);
    r.Right = std::max(r.Right, p.X);
    r.Top = std::min(r.Top, p.Y);
    r.Bottom = std::max(r.Bottom, p.Y);
  }
  for (std::size_t i = 0; i < 4; ++i) {
    const TkwPoint& a = pts[i];
    const TkwPoint& b = pts[(i + 1) % 4];
    const bool sameX = std::fabs(a.X - b.X) <= kAxisSlack, sameY = std::fabs(a.Y - b.Y) <= kAxisSlack;
    if (sameX == sameY) return std::nullopt;
  }
  return r;
}

// The stroked segments of a path as rules; false when one of them is not axis-aligned.
bool StrokedRules(const TkwPathRecord& APath, std::size_t AIndex, std::vector<TkwRule>& ARules) {
  TkwPoint current, start;
  const std::size_t before = ARules.size();
  for (const TkwPathSegment& s : APath.Segments) {
    if (s.Kind == TkwPathSegmentKind::psMove) {
      current = start = s.P3;
      continue;
    }
    if (s.Kind == TkwPathSegmentKind::psCubic) {
      ARules.resize(before);
      return false;
    }
    const TkwPoint to = s.Kind == TkwPathSegmentKind::psClose ? start : s.P3;
    const double dx = std::fabs(to.X - current.X), dy = std::fabs(to.Y - current.Y);
    if (dx > kAxisSlack && dy > kAxisSlack) {
      ARules.resize(before);
      return false;
    }
    if (dx > kAxisSlack || dy > kAxisSlack) {
      TkwRule r;
      r.Horizontal = dx > dy;
      r.From = r.Horizontal ? std::min(current.X, to.X) : std::min(current.Y, to.Y);
      r.To = r.Horizontal ? std::max(current.X, to.X) : std::max(current.Y, to.Y);
      r.At = r.Horizontal ? (current.Y + to.Y) / 2 : (current.X + to.X) / 2;
      r.Thickness = APath.LineWidthPt;
      r.Color = APath.StrokeColor;
      r.Dash = APath.Dash;
      r.Path = AIndex;
      ARules.push_back(r);
    }
    current = to;
  }
  return true;
}

// A path is consumed when every rule it gave was used.
void MarkConsumed(TkwPageDrawing& ADrawing) {
  std::unordered_map<std::size_t, bool> allUsed;
  for (const TkwRule& rule : ADrawing.Rules) {
    auto [it, fresh] = allUsed.emplace(rule.Path, rule.Used);
    if (!fresh) it->second = it->second && rule.Used;
  }
  for (const auto& [path, used] : allUsed) {
    if (used && ADrawing.Simple[path]) ADrawing.Consumed[path] = true;
  }
  for (const TkwRule& rule : ADrawing.Rules) {
    if (!rule.Used) continue;
    for (std::size_t dot : rule.Dots) ADrawing.Consumed[dot] = true;
  }
}

// Rows of small dots at one height, evenly spaced, drawn one path each (as some producers
// draw a dotted underline or leader) become dotted rules.
void FindDottedRules(const std::vector<TkwPathRecord>& APaths, TkwPageDrawing& ADrawing) {
  constexpr double kMaxDot = 2.5;    // points across a dot
  constexpr std::size_t kMinDots = 4;
  constexpr std::size_t kMaxDotsChecked = 20000;
  struct TDot {
    double X, Y, Size;
    std::size_t Path;
  };
  std::vector<TDot> dots;
  for (std::size_t i = 0; i < APaths.size() && dots.size() < kMaxDotsChecked; ++i) {
    const TkwPathRecord& p = APaths[i];
    if (ADrawing.Consumed[i] || p.Shading) continue;
    const TkwRect& b = p.BoundsPt;
    const double w = b.Width(), h = b.Height();
    if (w > kMaxDot || h > kMaxDot || w < 0.1 || h < 0.1 || w > 2.5 * h || h > 2.5 * w) continue;
    dots.push_back({(b.Left + b.Right) / 2, (b.Top + b.Bottom) / 2, std::max(w, h), i});
  }
  if (dots.size() < kMinDots) return;
  // Rows: dots by height, cut where the height jumps, each row then left to right.
  std::sort(dots.begin(), dots.end(), [](const TDot& A, const TDot& B) { return A.Y < B.Y; });
  for (std::size_t from = 0; from < dots.size();) {
    std::size_t to = from + 1;
    while (to < dots.size() && dots[to].Y - dots[to - 1].Y <= 0.15) ++to;
    std::sort(dots.begin() + static_cast<std::ptrdiff_t>(from), dots.begin() + static_cast<std::ptrdiff_t>(to),
              [](const TDot& A, const TDot& B) { return A.X < B.X; });
    from = to;
  }
  for (std::size_t start = 0; start < dots.size();) {
    std::size_t end = start + 1;
    const double pitch = end < dots.size() ? dots[end].X - dots[start].X : 0;
    // One row: the same height and size, each the same step after the one before.
    while (end < dots.size() && std::fabs(dots[end].Y - dots[start].Y) <= 0.3 &&
           std::fabs(dots[end].Size - dots[start].Size) <= 0.3 &&
           std::fabs(dots[end].X - dots[end - 1].X - pitch) <= 0.25 * pitch + 0.1 && pitch >= 1.2 * dots[start].Size &&
           pitch <= 5 * dots[start].Size + 1) {
      ++end;
    }
    if (end - start >= kMinDots) {
      const TkwPathRecord& first = APaths[dots[start].Path];
      TkwRule r;
      r.Horizontal = true;
      r.From = dots[start].X - dots[start].Size / 2;
      r.To = dots[end - 1].X + dots[end - 1].Size / 2;
      r.At = dots[start].Y;
      r.Thickness = dots[start].Size;
      r.Color = first.Filled ? first.FillColor : first.StrokeColor;
      r.Dash = TkwLineDashKind::ldDotted;
      r.Path = dots[start].Path;
      for (std::size_t k = start; k < end; ++k) {
        r.Dots.push_back(dots[k].Path);
        // A dot is all the rule says of it.
        ADrawing.Simple[dots[k].Path] = true;
      }
      ADrawing.Rules.push_back(std::move(r));
      start = end;
    } else {
      ++start;
    }
  }
}

}  // namespace

TkwBorderStyle BorderStyleOf(TkwLineDashKind ADash) {
  return ADash == TkwLineDashKind::ldDotted   ? TkwBorderStyle::bdDotted
         : ADash == TkwLineDashKind::ldDashed ? TkwBorderStyle::bdDashed
                                              : TkwBorderStyle::bdSingle;
}

TkwBorderLine BorderOf(const TkwRule& ARule) {
  TkwBorderLine line;
  line.Style = BorderStyleOf(ARule.Dash);
  line.Width = ARule.Thickness;
  line.Color = ARule.Color;
  return line;
}

TkwPageDrawing TakeApart(const std::vector<TkwPathRecord>& APaths, double APageWidth, double APageHeight) {
  TkwPageDrawing d;
  d.Consumed.assign(APaths.size(), false);
  d.Simple.assign(APaths.size(), false);
  for (std::size_t i = 0; i < APaths.size(); ++i) {
    const TkwPathRecord& p = APaths[i];
    if (!Visible(p, APageWidth, APageHeight)) {
      d.Consumed[i] = true;
      continue;
    }
    if (p.Shading) continue;  // gradients are drawn as they are
    bool simple = true;
    if (p.Filled) {
      if (const auto rect = RectangleOf(p.Segments)) {
        const double w = rect->Width(), h = rect->Height();
        if (std::min(w, h) <= kMaxRuleThickness && std::max(w, h) >= 2 * std::min(w, h)) {
          TkwRule r;
          r.Horizontal = w >= h;
          r.From = r.Horizontal ? rect->Left : rect->Top;
          r.To = r.Horizontal ? rect->Right : rect->Bottom;
          r.At = r.Horizontal ? (rect->Top + rect->Bottom) / 2 : (rect->Left + rect->Right) / 2;
          r.Thickness = std::max(std::min(w, h), 0.25);
          r.Color = p.FillColor;
          r.Path = i;
          d.Rules.push_back(r);
        } else if (p.FillAlpha >= 0.5) {
          d.Boxes.push_back({*rect, p.FillColor, i});
        } else {
          simple = false;
        }
      } else {
        simple = false;
      }
    }
    if (p.Stroked && simple) {
      simple = p.LineWidthPt <= kMaxRuleThickness && StrokedRules(p, i, d.Rules);
    }
    d.Simple[i] = simple;
  }
  FindDottedRules(APaths, d);
  return d;
}

namespace {

// Per character of the run, its left edge and its width, by measured widths scaled to the
// run's width on the page.
std::vector<double> CharEdges(const TkwFormatterText& ARun) {
  const std::size_t n = ARun.Text.size();
  std::vector<double> edges(n + 1, ARun.X);
  if (n == 0) return edges;
  std::vector<double> w(n, 0);
  double total = 0;
  for (std::size_t i = 0; i < n; ++i) {
    w[i] = ARun.Formatter != nullptr ? fmt::TextWidth(ARun, ARun.Font, std::u16string_view(&ARun.Text[i], 1)) : 1;
    if (!std::isfinite(w[i]) || w[i] < 0) w[i] = 0;
    total += w[i];
  }
  const double scale = total > 0 ? ARun.Width / total : 0;
  for (std::size_t i = 0; i < n; ++i) {
    edges[i + 1] = edges[i] + (total > 0 ? w[i] * scale : ARun.Width / static_cast<double>(n));
  }
  return edges;
}

// Gives the characters of the line whose middles lie in [AFrom, ATo] the style; the runs
// are split where the range begins and ends inside them. False when no character is in it.
bool StyleRange(TkwFormatterTextLine& ALine, double AFrom, double ATo, TFontStyles AStyle) {
  bool any = false;
  for (std::size_t k = 0; k < ALine.Runs.size(); ++k) {
    TkwFormatterText& run = *ALine.Runs[k];
    if (run.X > ATo || run.X + run.Width < AFrom || run.Text.empty()) continue;
    const std::vector<double> edges = CharEdges(run);
    std::size_t first = run.Text.size(), last = 0;
    for (std::size_t i = 0; i < run.Text.size(); ++i) {
      const double mid = (edges[i] + edges[i + 1]) / 2;
      if (mid >= AFrom && mid <= ATo) {
        first = std::min(first, i);
        last = i + 1;
      }
    }
    // Spaces at the ends of the covered part keep their look.
    while (first < last && run.Text[first] == u' ') ++first;
    while (last > first && run.Text[last - 1] == u' ') --last;
    if (first >= last) continue;
    any = true;
    if (first == 0 && last == run.Text.size()) {
      run.Font.Style |= AStyle;
      continue;
    }
    std::vector<std::unique_ptr<TkwFormatterText>> pieces;
    if (first > 0) pieces.push_back(run.Piece(0, first, edges[0], edges[first]));
    pieces.push_back(run.Piece(first, last, edges[first], edges[last]));
    pieces.back()->Font.Style |= AStyle;
    if (last < run.Text.size()) {
      pieces.push_back(run.Piece(last, run.Text.size(), edges[last], edges[run.Text.size()]));
    }
    const int at = static_cast<int>(k);
    ALine.TakeRun(at);
    for (std::size_t p = 0; p < pieces.size(); ++p) ALine.InsertRun(std::move(pieces[p]), at + static_cast<int>(p));
    k += pieces.size() - 1;
  }
  return any;
}

// The extent of the line's characters whose middles lie in [AFrom, ATo], how many letters
// that is, and whether it begins and ends at word boundaries.
struct TCovered {
  double Lo = 1e300, Hi = -1e300;
  int Letters = 0;
  bool WholeWords = true;
};

bool WordChar(char16_t C) { return C != u' ' && C != u'\t' && C != u',' && C != u'.' && C != u';' && C != u':'; }

TCovered CoveredExtent(const TkwFormatterTextLine& ALine, double AFrom, double ATo) {
  TCovered out;
  // The line's text as one string, with each character's place.
  std::u16string text;
  std::vector<double> left, right;
  for (const auto& run : ALine.Runs) {
    if (run->Text.empty()) continue;
    const std::vector<double> edges = CharEdges(*run);
    if (!text.empty() && run->X > right.back() + 0.5) {
      text += u' ';  // a gap between runs separates words
      left.push_back(right.back());
      right.push_back(run->X);
    }
    for (std::size_t i = 0; i < run->Text.size(); ++i) {
      text += run->Text[i];
      left.push_back(edges[i]);
      right.push_back(edges[i + 1]);
    }
  }
  std::size_t first = text.size(), last = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const double mid = (left[i] + right[i]) / 2;
    if (mid >= AFrom && mid <= ATo && text[i] != u' ') {
      first = std::min(first, i);
      last = i + 1;
      out.Lo = std::min(out.Lo, left[i]);
      out.Hi = std::max(out.Hi, right[i]);
      if (WordChar(text[i])) ++out.Letters;
    }
  }
  if (first >= last) return out;
  out.WholeWords = (first == 0 || !WordChar(text[first - 1]) || !WordChar(text[first])) &&
                   (last == text.size() || !WordChar(text[last]) || !WordChar(text[last - 1]));
  return out;
}

double LineFontSize(const TkwFormatterTextLine& ALine) {
  double size = 0;
  for (const auto& run : ALine.Runs) size = std::max(size, fmt::FontSize(run->Font));
  return size > 0 ? size : 10;
}

}  // namespace

void MarkTextDecorations(TkwFormatterPage& APage, TkwPageDrawing& ADrawing) {
  if (APage.Lines.empty()) return;
  // Lines by baseline, so that each rule looks only at the lines just above it.
  std::vector<TkwFormatterTextLine*> lines(APage.Lines.begin(), APage.Lines.end());
  std::sort(lines.begin(), lines.end(), [](const auto* a, const auto* b) { return a->Y < b->Y; });
  struct THit {
    TkwFormatterTextLine* Line;
    std::size_t Rule;
    bool Strike;
  };
  std::vector<THit> hits;
  // An underline is a line of its own, never an edge of a box.
  std::vector<int> rulesOfPath(ADrawing.Consumed.size(), 0);
  for (const TkwRule& r : ADrawing.Rules) ++rulesOfPath[r.Path];
  for (std::size_t r = 0; r < ADrawing.Rules.size(); ++r) {
    TkwRule& rule = ADrawing.Rules[r];
    if (!rule.Horizontal || rule.Thickness > 2.5 || !ADrawing.Simple[rule.Path] || rulesOfPath[rule.Path] != 1) continue;
    // Baselines within a large font's reach above the rule, or below it for strike-through.
    auto it = std::lower_bound(lines.begin(), lines.end(), rule.At - 40,
                               [](const TkwFormatterTextLine* l, double y) { return l->Y < y; });
    for (; it != lines.end() && (*it)->Y <= rule.At + 40; ++it) {
      TkwFormatterTextLine& line = **it;
      if (line.X > rule.To || line.Right < rule.From) continue;
      const double size = LineFontSize(line);
      const double below = rule.At - line.Y;  // positive under the baseline
      const bool under = below >= -0.05 * size && below <= 0.35 * size;
      const bool through = -below >= 0.12 * size && -below <= 0.45 * size;
      if (!under && !through) continue;
      const TCovered covered = CoveredExtent(line, rule.From, rule.To);
      const double lo = covered.Lo, hi = covered.Hi;
      // Whole words of at least two letters: a rule that starts or ends inside a word, or
      // covers one letter, is drawing (a box's edge, a dash, a mark).
      if (lo > hi || covered.Letters < 2 || !covered.WholeWords) continue;
      // It decorates the text only when it spans that text and does not run far past it:
      // a rule under a whole row, longer than its text, is a border.
      const double slack = 0.6 * size;
      if (rule.From < lo - slack || rule.To > hi + slack) continue;
      if ((hi - lo) < 0.6 * (rule.To - rule.From)) continue;
      hits.push_back({&line, r, !under});
      break;
    }
  }
  // Two underlines under the same text make a double underline.
  for (std::size_t h = 0; h < hits.size(); ++h) {
    TkwRule& rule = ADrawing.Rules[hits[h].Rule];
    TFontStyles style = hits[h].Strike                          ? fsStrikeOut
                        : rule.Dash == TkwLineDashKind::ldDotted ? static_cast<TFontStyles>(fsUnderline | fsDottedUnderline)
                                                                 : fsUnderline;
    if (!hits[h].Strike) {
      for (std::size_t g = 0; g < hits.size(); ++g) {
        const TkwRule& other = ADrawing.Rules[hits[g].Rule];
        if (g != h && !hits[g].Strike && hits[g].Line == hits[h].Line && std::fabs(other.At - rule.At) > 0.5 &&
            std::fabs(other.From - rule.From) < 1 && std::fabs(other.To - rule.To) < 1) {
          style = fsDoubleUnderline;
        }
      }
    }
    if (StyleRange(*hits[h].Line, rule.From, rule.To, style)) {
      rule.Used = true;
    }
  }
  MarkConsumed(ADrawing);
}

void MarkShadedText(TkwFormatterPage& APage, TkwPageDrawing& ADrawing) {
  const double pageArea = APage.PageSettings != nullptr ? APage.PageSettings->GetWidth() * APage.PageSettings->GetHeight() : 0;
  // Later boxes lie on top of earlier ones: the last box under a line gives its colour.
  for (std::size_t b = 0; b < ADrawing.Boxes.size(); ++b) {
    const TkwBox& box = ADrawing.Boxes[b];
    if (IsWhite(box.Color) || !ADrawing.Simple[box.Path] || ADrawing.Consumed[box.Path]) continue;
    // A page, column or panel background holds other boxes, or much of the page: it stays
    // drawing, behind the text.
    if (pageArea > 0 && box.Rect.Width() * box.Rect.Height() > pageArea / 4) continue;
    std::vector<TkwFormatterTextLine*> held;
    double textTop = 1e300, textBottom = -1e300;
    for (auto* line : APage.Lines) {
      const double top = line->Y - line->Height;
      const double mid = (top + line->Y) / 2;
      if (mid < box.Rect.Top || mid > box.Rect.Bottom) continue;
      if (line->X < box.Rect.Left - 2 || line->Right > box.Rect.Right + 2) continue;
      held.push_back(line);
      textTop = std::min(textTop, top);
      textBottom = std::max(textBottom, line->Y);
    }
    if (held.empty()) continue;
    bool holdsBoxes = false;
    for (std::size_t o = b + 1; o < ADrawing.Boxes.size() && o < b + 2000 && !holdsBoxes; ++o) {
      const TkwRect& r = ADrawing.Boxes[o].Rect;
      holdsBoxes = r.Left >= box.Rect.Left - 1 && r.Right <= box.Rect.Right + 1 && r.Top >= box.Rect.Top - 1 &&
                   r.Bottom <= box.Rect.Bottom + 1 && r.Width() * r.Height() > 4;
    }
    if (holdsBoxes) continue;
    // A box drawn over other drawing is part of a picture (a chart, a timetable): it stays
    // there, and the text stays over it.
    bool overDrawing = false;
    for (std::size_t i = 0; i < box.Path && !overDrawing; ++i) {
      if (ADrawing.Consumed[i]) continue;
      const TkwPathRecord& p = APage.Paths[i];
      if ((!p.Filled || IsWhite(p.FillColor)) && (!p.Stroked || IsWhite(p.StrokeColor))) continue;
      const TkwRect& o = p.BoundsPt;
      overDrawing = box.Path > 5000 || (o.Left < box.Rect.Right - 1 && o.Right > box.Rect.Left + 1 &&
                                        o.Top < box.Rect.Bottom - 1 && o.Bottom > box.Rect.Top + 1);
    }
    if (overDrawing) continue;
    // A box about the size of its text is that text's background; a larger one (a page or
    // column background, a panel) stays drawing, behind the text.
    const double lineHeight = std::max(1.0, held.front()->Height);
    const bool fits = box.Rect.Height() <= (textBottom - textTop) + 3 * lineHeight;
    if (!fits) continue;
    for (auto* line : held) line->Shading = box.Color;
    ADrawing.Consumed[box.Path] = true;
  }
}

std::vector<TkwDrawingRegion> GroupRegions(const std::vector<TkwPathRecord>& APaths, const TkwPageDrawing& ADrawing) {
  // Paths join when their boxes, widened by half the gap each, share a cell of a grid of
  // gap-sized cells over the page: one pass over the paths and one over the cells, so a
  // page of many small paths stays linear.
  // Each figure of a path counts on its own: one path may draw marks at all four corners of
  // the page, which are four drawings, not one the size of the page.
  struct TPiece {
    std::size_t Path;
    TkwRect Box;
  };
  std::vector<TPiece> pieces;
  double extentX = 0, extentY = 0;
  for (std::size_t i = 0; i < APaths.size(); ++i) {
    if (ADrawing.Consumed[i]) continue;
    const TkwPathRecord& p = APaths[i];
    const double half = p.Stroked ? p.LineWidthPt / 2 : 0;
    const auto add = [&](TkwRect ABox) {
      TkwRect b{std::max({ABox.Left - half, p.ClipPt.Left, 0.0}), std::max({ABox.Top - half, p.ClipPt.Top, 0.0}),
                std::min(ABox.Right + half, p.ClipPt.Right), std::min(ABox.Bottom + half, p.ClipPt.Bottom)};
      if (b.Right < b.Left || b.Bottom < b.Top) return;
      pieces.push_back({i, b});
      extentX = std::max(extentX, b.Right);
      extentY = std::max(extentY, b.Bottom);
    };
    TkwRect figure;
    bool open = false;
    const auto widen = [&](const TkwPoint& AP) {
      figure = {std::min(figure.Left, AP.X), std::min(figure.Top, AP.Y), std::max(figure.Right, AP.X),
                std::max(figure.Bottom, AP.Y)};
    };
    for (const TkwPathSegment& seg : p.Segments) {
      if (seg.Kind == TkwPathSegmentKind::psMove) {
        if (open) add(figure);
        figure = {seg.P3.X, seg.P3.Y, seg.P3.X, seg.P3.Y};
        open = true;
        continue;
      }
      if (seg.Kind == TkwPathSegmentKind::psCubic) {
        widen(seg.P1);
        widen(seg.P2);
      }
      widen(seg.P3);
    }
    if (open) add(figure);
  }
  // Pages larger than usual get coarser cells: the grid never exceeds about a million.
  constexpr double kMaxExtent = 20000;  // points; paths reaching further were cut at the page
  extentX = std::min(extentX, kMaxExtent);
  extentY = std::min(extentY, kMaxExtent);
  const double kCell = std::max(kRegionGap, std::max(extentX, extentY) / 1024);
  const auto cols = static_cast<std::size_t>(extentX / kCell) + 2;
  const auto rows = static_cast<std::size_t>(extentY / kCell) + 2;
  const auto cellOf = [&](double AValue, std::size_t ACount) {
    return static_cast<std::size_t>(std::clamp(AValue / kCell, 0.0, static_cast<double>(ACount - 1)));
  };
  // Each piece covers the cells its widened box touches; pieces join when their cells
  // meet side by side or overlap.
  struct TCells {
    std::size_t X0, X1, Y0, Y1;
  };
  std::vector<TCells> cells;
  cells.reserve(pieces.size());
  for (const TPiece& piece : pieces) {
    const TkwRect& b = piece.Box;
    cells.push_back({cellOf(b.Left - kCell / 2, cols), cellOf(b.Right + kCell / 2, cols),
                     cellOf(b.Top - kCell / 2, rows), cellOf(b.Bottom + kCell / 2, rows)});
  }
  std::vector<int> groupOf(pieces.size(), 0);
  // A page of few pieces (a chart, a few diagrams) compares them pair by pair, which costs
  // less than walking a grid of the page's cells.
  constexpr std::size_t kMaxPiecesPaired = 192;
  if (pieces.size() <= kMaxPiecesPaired) {
    std::vector<std::size_t> parent(pieces.size());
    std::iota(parent.begin(), parent.end(), std::size_t{0});
    const auto root = [&](std::size_t A) {
      while (parent[A] != A) A = parent[A] = parent[parent[A]];
      return A;
    };
    const auto within = [](std::size_t A0, std::size_t A1, std::size_t B0, std::size_t B1, std::size_t AReach) {
      return A0 <= B1 + AReach && B0 <= A1 + AReach;
    };
    for (std::size_t i = 0; i < cells.size(); ++i) {
      for (std::size_t j = i + 1; j < cells.size(); ++j) {
        const TCells& a = cells[i];
        const TCells& c = cells[j];
        const bool touch = (within(a.X0, a.X1, c.X0, c.X1, 0) && within(a.Y0, a.Y1, c.Y0, c.Y1, 1)) ||
                           (within(a.Y0, a.Y1, c.Y0, c.Y1, 0) && within(a.X0, a.X1, c.X0, c.X1, 1));
        if (touch) parent[root(i)] = root(j);
      }
    }
    for (std::size_t i = 0; i < pieces.size(); ++i) groupOf[i] = static_cast<int>(root(i));
  } else {
    std::vector<int> label(cols * rows, -2);  // -2 empty, -1 occupied, >= 0 its group
    for (const TCells& c : cells) {
      for (std::size_t y = c.Y0; y <= c.Y1; ++y) {
        for (std::size_t x = c.X0; x <= c.X1; ++x) label[y * cols + x] = -1;
      }
    }
    int groups = 0;
    std::vector<std::size_t> stack;
    for (std::size_t start = 0; start < label.size(); ++start) {
      if (label[start] != -1) continue;
      label[start] = groups;
      stack.assign(1, start);
      while (!stack.empty()) {
        const std::size_t at = stack.back();
        stack.pop_back();
        const std::size_t x = at % cols, y = at / cols;
        const std::size_t next[4] = {x > 0 ? at - 1 : at, x + 1 < cols ? at + 1 : at, y > 0 ? at - cols : at,
                                     y + 1 < rows ? at + cols : at};
        for (std::size_t k : next) {
          if (label[k] == -1) {
            label[k] = groups;
            stack.push_back(k);
          }
        }
      }
      ++groups;
    }
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      const TkwRect& b = pieces[i].Box;
      groupOf[i] = label[cellOf(b.Top, rows) * cols + cellOf(b.Left, cols)];
    }
  }
  std::unordered_map<int, std::size_t> regionOf;
  std::vector<TkwDrawingRegion> regions;
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    const TPiece& piece = pieces[k];
    const TkwRect& b = piece.Box;
    auto [it, fresh] = regionOf.emplace(groupOf[k], regions.size());
    if (fresh) regions.push_back({b, {}});
    TkwDrawingRegion& r = regions[it->second];
    // A path's figures come one after the other: it is listed once per region.
    if (r.Paths.empty() || r.Paths.back() != piece.Path) r.Paths.push_back(piece.Path);
    Widen(r.BoundsPt, b);
  }
  // A region of nothing but white paint draws nothing on white paper.
  std::erase_if(regions, [&](const TkwDrawingRegion& r) {
    return std::all_of(r.Paths.begin(), r.Paths.end(), [&](std::size_t i) {
      const TkwPathRecord& p = APaths[i];
      return (!p.Filled || IsWhite(p.FillColor)) && (!p.Stroked || IsWhite(p.StrokeColor));
    });
  });
  // Past the cap, the rest of the page's drawing is one picture.
  if (regions.size() > kMaxDrawingPictures) {
    TkwDrawingRegion& rest = regions[kMaxDrawingPictures - 1];
    for (std::size_t k = kMaxDrawingPictures; k < regions.size(); ++k) {
      const TkwDrawingRegion& r = regions[k];
      rest.Paths.insert(rest.Paths.end(), r.Paths.begin(), r.Paths.end());
      Widen(rest.BoundsPt, r.BoundsPt);
    }
    std::sort(rest.Paths.begin(), rest.Paths.end());  // drawn in the page's order
    regions.resize(kMaxDrawingPictures);
  }
  return regions;
}

namespace {

// The boundary of AEdges nearest to AAt, when it is nearer than ATolerance; -1 otherwise.
int NearestEdge(const std::vector<double>& AEdges, double AAt, double ATolerance) {
  int best = -1;
  double bestDistance = ATolerance;
  for (std::size_t i = 0; i < AEdges.size(); ++i) {
    const double d = std::fabs(AEdges[i] - AAt);
    if (d <= bestDistance) {
      best = static_cast<int>(i);
      bestDistance = d;
    }
  }
  return best;
}

double Overlap(double A0, double A1, double B0, double B1) { return std::min(A1, B1) - std::max(A0, B0); }

}  // namespace

void AttachCellBorders(TkwFormatterTable& ATable, TkwPageDrawing& ADrawing) {
  const int rows = ATable.RowCount, cols = ATable.ColumnCount;
  if (rows <= 0 || cols <= 0 || ATable.CellRights.size() < static_cast<std::size_t>(cols)) return;
  const double leftMargin = fmt::LeftMargin(ATable);
  // Column boundaries: the table's left, where each next column starts, the last right.
  std::vector<double> xs{ATable.X};
  for (int c = 0; c < cols; ++c) xs.push_back(ATable.CellRights[static_cast<std::size_t>(c)] + leftMargin);
  // Row boundaries: the rows stack from the table's top by their heights.
  std::vector<double> ys{ATable.Y};
  for (int r = 0; r < rows; ++r) ys.push_back(ys.back() + ATable.RowHeights[static_cast<std::size_t>(r)]);
  double minRow = 1e300, minCol = 1e300;
  for (std::size_t i = 1; i < ys.size(); ++i) minRow = std::min(minRow, ys[i] - ys[i - 1]);
  for (std::size_t i = 1; i < xs.size(); ++i) minCol = std::min(minCol, xs[i] - xs[i - 1]);
  ATable.CellBorders.assign(static_cast<std::size_t>(rows * cols), {});
  const auto cell = [&](int r, int c) -> std::array<TkwBorderLine, 4>& {
    return ATable.CellBorders[static_cast<std::size_t>(r * cols + c)];
  };
  const double tableLeft = xs.front() - minCol / 2, tableRight = xs.back() + minCol / 2;
  const double tableTop = ys.front() - minRow / 2, tableBottom = ys.back() + minRow / 2;
  for (TkwRule& rule : ADrawing.Rules) {
    if (rule.Used || !ADrawing.Simple[rule.Path]) continue;
    if (rule.Horizontal) {
      if (rule.At < tableTop || rule.At > tableBottom || Overlap(rule.From, rule.To, xs.front(), xs.back()) <= 0) continue;
      const int b = NearestEdge(ys, rule.At, std::max(2.0, minRow * 0.6));
      if (b < 0) continue;
      for (int c = 0; c < cols; ++c) {
        const double l = xs[static_cast<std::size_t>(c)], r = xs[static_cast<std::size_t>(c + 1)];
        if (Overlap(rule.From, rule.To, l, r) < 0.5 * (r - l)) continue;
        if (b > 0) cell(b - 1, c)[sdBottom] = BorderOf(rule);
        if (b < rows) cell(b, c)[sdTop] = BorderOf(rule);
        rule.Used = true;
      }
    } else {
      if (rule.At < tableLeft || rule.At > tableRight || Overlap(rule.From, rule.To, ys.front(), ys.back()) <= 0) continue;
      // A column's text starts a little right of its rule: the rule belongs to the next
      // boundary to its right more than to the one at its left.
      const int v = NearestEdge(xs, rule.At + std::min(6.0, minCol / 4), std::max(2.0, minCol * 0.6));
      if (v < 0) continue;
      for (int r = 0; r < rows; ++r) {
        const double t = ys[static_cast<std::size_t>(r)], d = ys[static_cast<std::size_t>(r + 1)];
        if (Overlap(rule.From, rule.To, t, d) < 0.5 * (d - t)) continue;
        if (v > 0) cell(r, v - 1)[sdRight] = BorderOf(rule);
        if (v < cols) cell(r, v)[sdLeft] = BorderOf(rule);
        rule.Used = true;
      }
    }
  }
  // A cell whose text sits on a filled box is shaded with it.
  ATable.CellShading.assign(static_cast<std::size_t>(rows * cols), clNone);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      for (const auto* line : ATable.Rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]) {
        if (line->Shading != clNone) ATable.CellShading[static_cast<std::size_t>(r * cols + c)] = line->Shading;
      }
    }
  }
  MarkConsumed(ADrawing);
}

namespace {

// Lone horizontal rules between paragraphs become the border of the paragraph they sit
// closest to: under the one above, or over the one below.
void AttachRuleBorders(TkwFormatterPage& APage, TkwPageDrawing& ADrawing) {
  constexpr double kMinRuleLength = 36;  // points; shorter rules are marks of a drawing
  constexpr double kMaxReach = 24;       // points between a rule and its paragraph's text
  constexpr std::size_t kMaxPathsChecked = 5000;
  if (APage.Paths.size() > kMaxPathsChecked) return;
  std::vector<TkwFormatterParagraph*> paragraphs;
  for (auto& section : APage.Sections) {
    if (section->IsTable) continue;
    for (auto& column : section->Columns) {
      for (auto& p : column->Output) {
        if (!p->Lines.empty() && p->Lines.front()->Run(0) != nullptr) paragraphs.push_back(p.get());
      }
    }
  }
  // Paths that draw nothing but horizontal rules (one, or every row's rule at once).
  std::vector<bool> onlyHorizontal(APage.Paths.size(), true);
  for (const TkwRule& r : ADrawing.Rules) {
    if (!r.Horizontal) onlyHorizontal[r.Path] = false;
  }
  for (TkwRule& rule : ADrawing.Rules) {
    if (rule.Used || !rule.Horizontal || !onlyHorizontal[rule.Path] || !ADrawing.Simple[rule.Path] ||
        ADrawing.Consumed[rule.Path] || rule.To - rule.From < kMinRuleLength) {
      continue;
    }
    // Alone: no other drawing comes near it.
    bool alone = true;
    for (std::size_t i = 0; i < APage.Paths.size() && alone; ++i) {
      if (i == rule.Path || ADrawing.Consumed[i]) continue;
      const TkwRect& b = APage.Paths[i].BoundsPt;
      alone = !(b.Left < rule.To + kRegionGap && b.Right > rule.From - kRegionGap && b.Top < rule.At + kRegionGap &&
                b.Bottom > rule.At - kRegionGap);
    }
    if (!alone) continue;
    TkwFormatterParagraph* best = nullptr;
    bool above = false;
    double bestGap = kMaxReach;
    for (auto* p : paragraphs) {
      const double top = p->Lines.front()->Y - p->Lines.front()->Height;
      const double bottom = p->Lines.back()->Y;
      double left = p->Lines.front()->X, right = p->Lines.front()->Right;
      for (const auto* line : p->Lines) {
        left = std::min(left, line->X);
        right = std::max(right, line->Right);
      }
      // A rule shorter than half the paragraph is no border of it (an underline, a mark).
      if (right < rule.From || left > rule.To || rule.To - rule.From < (right - left) / 2) continue;
      if (top >= rule.At && top - rule.At < bestGap) {
        best = p;
        above = false;
        bestGap = top - rule.At;
      }
      if (bottom <= rule.At && rule.At - bottom < bestGap) {
        best = p;
        above = true;
        bestGap = rule.At - bottom;
      }
    }
    if (!best) continue;
    (above ? best->BottomBorder : best->TopBorder) = BorderOf(rule);
    rule.Used = true;
  }
  MarkConsumed(ADrawing);
}

// How far apart two rectangles are: 0 when they meet, else the larger of the gaps across
// and down.
double RectGap(const TkwRect& A, const TkwRect& B) {
  const double across = std::max({A.Left - B.Right, B.Left - A.Right, 0.0});
  const double down = std::max({A.Top - B.Bottom, B.Top - A.Bottom, 0.0});
  return std::max(across, down);
}

double OverlapArea(const TkwRect& A, const TkwRect& B) {
  const double w = std::min(A.Right, B.Right) - std::max(A.Left, B.Left);
  const double h = std::min(A.Bottom, B.Bottom) - std::max(A.Top, B.Top);
  return w > 0 && h > 0 ? w * h : 0;
}

// The page's held rotated lines, each given to the final region that took the paths of the
// drawing it was found on (the nearest such when the drawing came apart); the lines of a
// drawing that all went elsewhere get a picture of their own. The regions grow to hold
// their lines; AText lists each region's lines.
void AssignHeldText(const TkwFormatterPage& APage, const TkwPageDrawing& ADrawing,
                    std::vector<TkwDrawingRegion>& ARegions, std::vector<std::vector<const TkwRotatedLineRecord*>>& AText) {
  AText.assign(ARegions.size(), {});
  if (ADrawing.Text.empty()) return;
  std::vector<int> regionOf(APage.Paths.size(), -1);
  for (std::size_t r = 0; r < ARegions.size(); ++r) {
    for (const std::size_t i : ARegions[r].Paths) regionOf[i] = static_cast<int>(r);
  }
  // Per drawing the text was found on, the regions its lasting paths ended in.
  std::vector<std::vector<int>> finals(ADrawing.TextAnchors.size());
  for (std::size_t a = 0; a < ADrawing.TextAnchors.size(); ++a) {
    for (const std::size_t i : ADrawing.TextAnchors[a]) {
      const int r = i < regionOf.size() ? regionOf[i] : -1;
      if (r >= 0 && std::find(finals[a].begin(), finals[a].end(), r) == finals[a].end()) finals[a].push_back(r);
    }
  }
  std::vector<int> own(finals.size(), -1);
  for (const TkwHeldText& held : ADrawing.Text) {
    int best = -1;
    double bestGap = 1e300;
    if (held.Region < finals.size()) {
      best = own[held.Region];
      for (const int r : finals[held.Region]) {
        const double gap = RectGap(held.BoxPt, ARegions[static_cast<std::size_t>(r)].BoundsPt);
        if (gap < bestGap) {
          best = r;
          bestGap = gap;
        }
      }
    }
    if (best < 0) {
      ARegions.push_back({held.BoxPt, {}});
      AText.emplace_back();
      best = static_cast<int>(ARegions.size() - 1);
      if (held.Region < own.size()) own[held.Region] = best;
    }
    const auto at = static_cast<std::size_t>(best);
    AText[at].push_back(&held.Line);
    Widen(ARegions[at].BoundsPt, held.BoxPt);
  }
}

// Pixels per point of a region's picture: the rendering resolution, lowered so that
// neither side exceeds the cap.
double PictureScale(const TkwRect& ARect) {
  const double scale = kRegionDpi / 72.0;
  const double longest = std::max(ARect.Width(), ARect.Height()) * scale;
  return longest > kMaxDrawingPicturePixels ? scale * kMaxDrawingPicturePixels / longest : scale;
}

// The page's region pictures, as images of the shape kind; they are drawn once the page's
// element actions say they are kept.
void AddRegionPictures(TkwFormatterPage& APage, TkwPageDrawing& ADrawing, double AWidth, double AHeight) {
  std::vector<TkwDrawingRegion> regions = GroupRegions(APage.Paths, ADrawing);
  std::vector<std::vector<const TkwRotatedLineRecord*>> text;
  AssignHeldText(APage, ADrawing, regions, text);
  TkwDiagnostics* diag = APage.Formatter != nullptr ? APage.Formatter->GetDiagnostics() : nullptr;
  for (std::size_t k = 0; k < regions.size(); ++k) {
    TkwDrawingRegion& region = regions[k];
    TkwRect r = region.BoundsPt;
    r.Left = std::max(r.Left, 0.0);
    r.Top = std::max(r.Top, 0.0);
    r.Right = std::min(r.Right, AWidth);
    r.Bottom = std::min(r.Bottom, AHeight);
    if (r.Right <= r.Left || r.Bottom <= r.Top) {
      // Off the page, text and all.
      for (std::size_t i = 0; diag != nullptr && i < text[k].size(); ++i) diag->Note(TkwDiagCode::dcDrawingTextLeftOut);
      continue;
    }
    // Hairlines keep a visible thickness.
    if (r.Right - r.Left < 1) r.Right = r.Left + 1;
    if (r.Bottom - r.Top < 1) r.Bottom = r.Top + 1;
    TkwPendingPicture pending;
    // Images that lie inside the drawing belong to it: drawn into its picture in the
    // page's order. An image finer than the picture, or one the drawing merely frames,
    // keeps its own.
    const double scale = PictureScale(r);
    for (const auto& image : APage.Images) {
      const TkwFormatterRect& i = image->Rect;
      const bool within = image->ElementType == kElementImage && image->Graphic && i.Left >= r.Left - 1 &&
                          i.Right <= r.Right + 1 && i.Top >= r.Top - 1 && i.Bottom <= r.Bottom + 1;
      if (!within) continue;
      const double w = std::max(i.Right - i.Left, 1e-3), h = std::max(i.Bottom - i.Top, 1e-3);
      const bool finer = image->Graphic->GetWidth() / w > 1.25 * scale || image->Graphic->GetHeight() / h > 1.25 * scale;
      if (!finer && w * h <= 0.5 * r.Width() * r.Height()) pending.Inside.push_back(image.get());
    }
    auto image = std::make_unique<TkwFormatterImage>();
    image->ElementType = kElementShape;
    image->Rect = TkwFormatterRect(r.Left, r.Top, r.Right, r.Bottom);
    image->X = r.Left;
    image->Y = r.Top;
    image->JoinOwner(APage);
    image->BehindText = true;
    pending.Picture = image.get();
    pending.Paths = std::move(region.Paths);
    pending.Text = std::move(text[k]);
    pending.RectPt = r;
    ADrawing.Pictures.push_back(std::move(pending));
    APage.Images.push_back(std::move(image));
  }
}

}  // namespace

void AttachPictureBorders(TkwFormatterPage& APage, TkwPageDrawing& ADrawing) {
  if (APage.Images.empty()) return;
  for (std::size_t i = 0; i < APage.Paths.size(); ++i) {
    const TkwPathRecord& p = APage.Paths[i];
    if (ADrawing.Consumed[i] || !p.Stroked || (p.Filled && !IsWhite(p.FillColor)) || p.LineWidthPt > kMaxRuleThickness) {
      continue;
    }
    const auto rect = RectangleOf(p.Segments);
    if (!rect) continue;
    const double tolerance = std::max(2.0, p.LineWidthPt);
    for (auto& image : APage.Images) {
      const TkwFormatterRect& r = image->Rect;
      if (image->ElementType != kElementImage || !image->Graphic || image->Border.Style != TkwBorderStyle::bdNone ||
          std::fabs(r.Left - rect->Left) > tolerance || std::fabs(r.Right - rect->Right) > tolerance ||
          std::fabs(r.Top - rect->Top) > tolerance || std::fabs(r.Bottom - rect->Bottom) > tolerance) {
        continue;
      }
      image->Border.Style = BorderStyleOf(p.Dash);
      image->Border.Width = p.LineWidthPt;
      image->Border.Color = p.StrokeColor;
      ADrawing.Consumed[i] = true;
      for (TkwRule& rule : ADrawing.Rules) {
        if (rule.Path == i) rule.Used = true;
      }
      break;
    }
  }
}

namespace {

void EnsureDrawing(TkwFormatterPage& APage) {
  if (APage.Drawing) return;
  const double width = APage.PageSettings != nullptr ? APage.PageSettings->GetWidth() : 1e6;
  const double height = APage.PageSettings != nullptr ? APage.PageSettings->GetHeight() : 1e6;
  APage.Drawing = std::make_unique<TkwPageDrawing>(TakeApart(APage.Paths, width, height));
}

}  // namespace

TkwRect RotatedLineBox(const TkwRotatedLineRecord& ALine) {
  const double s = ALine.SizePt > 0 ? ALine.SizePt : 1;
  // Towards the tops of the glyphs: the baseline's direction turned a quarter back.
  const double upX = ALine.DirY, upY = -ALine.DirX;
  TkwRect box{1e300, 1e300, -1e300, -1e300};
  for (const double along : {0.0, ALine.LengthPt}) {
    for (const double across : {-0.25 * s, 0.8 * s}) {
      const double x = ALine.OriginPt.X + along * ALine.DirX + across * upX;
      const double y = ALine.OriginPt.Y + along * ALine.DirY + across * upY;
      Widen(box, {x, y, x, y});
    }
  }
  return box;
}

std::vector<TkwRotatedLineRecord> PlaceRotatedText(TkwFormatterPage& APage, std::vector<TkwRotatedLineRecord> ALines) {
  if (ALines.empty() || APage.Paths.empty()) return ALines;
  EnsureDrawing(APage);
  TkwPageDrawing& d = *APage.Drawing;
  // Filled boxes without an outline give no rule; paths that are not all rules and boxes
  // give none either: neither can turn into a border or underline later.
  std::vector<bool> box(APage.Paths.size(), false);
  for (const TkwBox& b : d.Boxes) box[b.Path] = !APage.Paths[b.Path].Stroked;
  const std::vector<TkwDrawingRegion> regions = GroupRegions(APage.Paths, d);
  std::vector<std::vector<std::size_t>> anchors(regions.size());
  for (std::size_t r = 0; r < regions.size(); ++r) {
    for (const std::size_t i : regions[r].Paths) {
      const TkwPathRecord& p = APage.Paths[i];
      const bool inked = (p.Filled && !IsWhite(p.FillColor)) || (p.Stroked && !IsWhite(p.StrokeColor));
      if (inked && (!d.Simple[i] || box[i])) anchors[r].push_back(i);
    }
  }
  std::vector<std::size_t> anchorsAt(regions.size(), regions.size());  // the region's entry in d.TextAnchors
  std::vector<TkwRotatedLineRecord> rest;
  for (TkwRotatedLineRecord& line : ALines) {
    // A long line is a sentence (a rotated page's, a sidebar's), not a drawing's label: it
    // reads better as text.
    if (line.Glyphs.size() > kMaxDrawnLineGlyphs) {
      rest.push_back(std::move(line));
      continue;
    }
    const TkwRect b = RotatedLineBox(line);
    std::size_t best = regions.size();
    // A label stands off its chart's axis by about its size at most.
    double bestGap = std::max(kRegionGap, std::isfinite(line.SizePt) ? line.SizePt : 0.0), bestOverlap = -1;
    if (std::isfinite(b.Left) && std::isfinite(b.Top) && std::isfinite(b.Right) && std::isfinite(b.Bottom)) {
      for (std::size_t r = 0; r < regions.size(); ++r) {
        if (anchors[r].empty()) continue;
        const double gap = RectGap(b, regions[r].BoundsPt);
        const double overlap = OverlapArea(b, regions[r].BoundsPt);
        if (gap < bestGap || (gap <= bestGap && overlap > bestOverlap)) {
          best = r;
          bestGap = gap;
          bestOverlap = overlap;
        }
      }
    }
    if (best == regions.size()) {
      rest.push_back(std::move(line));
      continue;
    }
    if (anchorsAt[best] == regions.size()) {
      anchorsAt[best] = d.TextAnchors.size();
      d.TextAnchors.push_back(anchors[best]);
    }
    d.Text.push_back({std::move(line), b, anchorsAt[best]});
  }
  return rest;
}

void ClassifyDrawing(TkwFormatterPage& APage) {
  if (APage.Paths.empty()) return;
  EnsureDrawing(APage);
  AttachPictureBorders(APage, *APage.Drawing);
  MarkTextDecorations(APage, *APage.Drawing);
  FindGridTables(APage, *APage.Drawing);
  MarkShadedText(APage, *APage.Drawing);
}

void AttachTableDrawing(TkwFormatterPage& APage) {
  if (!APage.Drawing) return;
  // A table whose place the bands did not reach still keeps its text: it goes before the
  // first band below its top.
  auto& d = *APage.Drawing;
  for (std::size_t i = 0; i < d.GridTables.size(); ++i) {
    if (!d.GridTables[i]) continue;
    auto section = TakeGridSection(APage, *d.GridPlaceholders[i]);
    if (!section) continue;
    section->Analyse();
    const double top = section->Rect.Top;
    const auto at = std::find_if(APage.Sections.begin(), APage.Sections.end(),
                                 [&](const auto& ASection) { return ASection->Rect.Top > top; });
    APage.Sections.insert(at, std::move(section));
  }
  const double width = APage.PageSettings != nullptr ? APage.PageSettings->GetWidth() : 1e6;
  const double height = APage.PageSettings != nullptr ? APage.PageSettings->GetHeight() : 1e6;
  for (auto& section : APage.Sections) {
    if (section->IsTable && section->Table && !section->FromGrid) AttachCellBorders(*section->Table, *APage.Drawing);
  }
  AttachRuleBorders(APage, *APage.Drawing);
  AddRegionPictures(APage, *APage.Drawing, width, height);
}

void RenderDrawingPictures(TkwFormatterPage& APage) {
  if (APage.Drawing) {
    // Vector pictures share the page's paths for their raster form, made if ever after the
    // page is gone.
    const auto paths = std::make_shared<const std::vector<TkwPathRecord>>(std::move(APage.Paths));
    std::vector<const TkwFormatterImage*> drawn;
    TkwDiagnostics* diag = APage.Formatter != nullptr ? APage.Formatter->GetDiagnostics() : nullptr;
    // The text drawn into a picture goes with it: a picture left out (or its space only
    // kept) takes its lines along, and says so.
    const auto textLeftOut = [&](const TkwPendingPicture& APending) {
      if (diag == nullptr) return;
      for (std::size_t i = 0; i < APending.Text.size(); ++i) diag->Note(TkwDiagCode::dcDrawingTextLeftOut);
    };
    for (const TkwPendingPicture& pending : APage.Drawing->Pictures) {
      if (pending.Picture->Action != TkwAction::acRetain) {
        textLeftOut(pending);
        continue;
      }
      std::vector<TkwDrawingImage> inside;
      for (const TkwFormatterImage* image : pending.Inside) {
        if (image->Action != TkwAction::acRetain) continue;
        const TkwFormatterRect& i = image->Rect;
        inside.push_back({image->Graphic.get(), TkwRect{i.Left, i.Top, i.Right, i.Bottom}, image->PathsBefore});
      }
      pending.Picture->Graphic = RenderDrawingPicture(paths, pending.Paths, inside, pending.RectPt, kRegionDpi,
                                                      kMaxDrawingPicturePixels, pending.Text);
      // Without a picture of the drawing, the images keep their own.
      if (!pending.Picture->Graphic) {
        textLeftOut(pending);
        continue;
      }
      for (const TkwFormatterImage* image : pending.Inside) {
        if (image->Action == TkwAction::acRetain) drawn.push_back(image);
      }
    }
    std::erase_if(APage.Images, [&](const std::unique_ptr<TkwFormatterImage>& AImage) {
      return std::find(drawn.begin(), drawn.end(), AImage.get()) != drawn.end();
    });
  }
  APage.Paths.clear();
  APage.Drawing.reset();
}

}  // namespace qm
