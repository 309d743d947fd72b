// Tables found from grids of rules: the rules give the rows, the columns, the borders and
// the merged cells; the text inside gives the cells' content.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "formatter/kwDrawingClassifier.h"
#include "formatter/kwFormatter.h"
#include "formatter/kwFormatterUtil.h"

namespace qm {

namespace {

// Rules meet when they come this close (points); positions this close are one boundary.
constexpr double kMeetSlack = 2;
// A cell edge is ruled when rules cover this share of it.
constexpr double kEdgeCover = 0.6;
// A grid is a table when this share of its cell edges is ruled ...
constexpr double kRuledShare = 0.5;
// ... and this share of its cells holds text (at least two cells).
constexpr double kFilledShare = 0.3;

std::vector<double> Boundaries(std::vector<double> AValues) {
  std::sort(AValues.begin(), AValues.end());
  std::vector<double> out;
  std::vector<int> counts;
  for (double v : AValues) {
    if (!out.empty() && v - out.back() <= kMeetSlack) {
      // The running mean of the cluster.
      out.back() = (out.back() * counts.back() + v) / (counts.back() + 1);
      ++counts.back();
    } else {
      out.push_back(v);
      counts.push_back(1);
    }
  }
  return out;
}

bool Meet(const TkwRule& A, const TkwRule& B) {
  if (A.Horizontal != B.Horizontal) {
    const TkwRule& h = A.Horizontal ? A : B;
    const TkwRule& v = A.Horizontal ? B : A;
    return v.At >= h.From - kMeetSlack && v.At <= h.To + kMeetSlack && h.At >= v.From - kMeetSlack &&
           h.At <= v.To + kMeetSlack;
  }
  return std::fabs(A.At - B.At) <= kMeetSlack / 2 && A.From <= B.To + kMeetSlack && B.From <= A.To + kMeetSlack;
}

// The share of [AFrom, ATo] that the rules of ACandidates at AAt cover, and the rule that
// covers most of it.
double Cover(const std::vector<TkwRule>& ARules, const std::vector<std::size_t>& ACandidates, bool AHorizontal,
             double AAt, double AFrom, double ATo, std::size_t& ABest) {
  double covered = 0, best = 0;
  for (std::size_t i : ACandidates) {
    const TkwRule& r = ARules[i];
    if (r.Horizontal != AHorizontal || std::fabs(r.At - AAt) > kMeetSlack) continue;
    const double part = std::min(r.To, ATo) - std::max(r.From, AFrom);
    if (part <= 0) continue;
    covered += part;
    if (part > best) {
      best = part;
      ABest = i;
    }
  }
  return ATo > AFrom ? std::min(1.0, covered / (ATo - AFrom)) : 0;
}

// The index of the band [AEdges[i], AEdges[i + 1]) that holds AValue, clamped to the bands.
int BandOf(const std::vector<double>& AEdges, double AValue) {
  const auto it = std::upper_bound(AEdges.begin(), AEdges.end(), AValue);
  const int i = static_cast<int>(it - AEdges.begin()) - 1;
  return std::clamp(i, 0, static_cast<int>(AEdges.size()) - 2);
}

// Text does not run across a drawn rule. A line that crosses ruled inner column edges of
// the grid between its glyphs (a row of characters set one to a cell by one string, say)
// is cut there into a line per cell. A word lying across a rule leaves the line whole.
void CutLinesAtRules(TkwFormatterPage& APage, const std::vector<double>& AXs, const std::vector<double>& AYs,
                     const std::vector<std::uint8_t>& ARuledInner) {
  const double k = kPixelsPerPoint;
  const std::size_t uc = AXs.size() - 1;
  for (std::size_t li = 0; li < APage.Lines.size(); ++li) {
    TkwFormatterTextLine* line = APage.Lines[li];
    const double mid = line->Y - line->Height / 2;
    if (line->GridPlaceholder || mid < AYs.front() || mid > AYs.back()) continue;
    const auto r = static_cast<std::size_t>(BandOf(AYs, mid));
    std::vector<double> cuts;
    for (std::size_t c = 1; c < uc; ++c) {
      if (ARuledInner[r * uc + c] != 0 && line->X < AXs[c] && line->Right > AXs[c]) cuts.push_back(AXs[c]);
    }
    if (cuts.empty()) continue;
    // Each character's cell by its middle; the line is cut only between words: where the
    // cell changes, a space or a gap of a quarter em lies between the two characters.
    const auto cellAt = [&](double AX) {
      return static_cast<std::size_t>(std::upper_bound(cuts.begin(), cuts.end(), AX) - cuts.begin());
    };
    bool cuttable = true;
    std::size_t lastCell = 0;
    const TkwFormatterRect* lastBox = nullptr;
    char16_t lastChar = u' ';
    for (const auto& run : line->Runs) {
      if (run->GlyphRects.size() != run->Text.size()) cuttable = false;
      for (std::size_t i = 0; cuttable && i < run->Text.size(); ++i) {
        const TkwFormatterRect& g = run->GlyphRects[i];
        const double x = (g.Left + g.Right) / 2 / k;
        const std::size_t cell = cellAt(x);
        if (run->Text[i] != u' ') {
          for (double cut : cuts) cuttable = cuttable && std::fabs(x - cut) > kMeetSlack / 4;
        }
        if (lastBox != nullptr && cell != lastCell && lastChar != u' ' && run->Text[i] != u' ' &&
            (g.Left - lastBox->Right) / k < 0.25 * fmt::FontSize(run->Font)) {
          cuttable = false;
        }
        lastCell = cell;
        lastBox = &g;
        lastChar = run->Text[i];
      }
      if (!cuttable) break;
    }
    if (!cuttable) continue;
    std::vector<std::unique_ptr<TkwFormatterTextLine>> parts(cuts.size() + 1);
    for (const auto& run : line->Runs) {
      const auto cellOf = [&](std::size_t AIndex) {
        const TkwFormatterRect& g = run->GlyphRects[AIndex];
        return cellAt((g.Left + g.Right) / 2 / k);
      };
      std::size_t from = 0;
      while (from < run->Text.size()) {
        const std::size_t cell = cellOf(from);
        std::size_t to = from + 1;
        while (to < run->Text.size() && cellOf(to) == cell) ++to;
        std::size_t a = from, b = to;
        while (a < b && run->Text[a] == u' ') ++a;
        while (b > a && run->Text[b - 1] == u' ') --b;
        if (a < b) {
          auto& part = parts[cell];
          if (!part) {
            part = std::make_unique<TkwFormatterTextLine>();
            part->JoinOwner(*line);
          }
          part->AddRun(run->Piece(a, b, a == 0 ? run->X : run->GlyphRects[a].Left / k,
                                 b == run->Text.size() ? run->Right : run->GlyphRects[b - 1].Right / k));
        }
        from = to;
      }
    }
    if (std::count_if(parts.begin(), parts.end(), [](const auto& p) { return p != nullptr; }) < 2) continue;
    std::vector<TkwFormatterTextLine*> cut;
    for (auto& part : parts) {
      if (!part) continue;
      part->X = part->Runs.front()->X;
      part->Y = line->Y;
      part->SetHeight(line->Height);
      part->SetRight(part->Runs.back()->Right);
      part->LineId = line->LineId;
      part->FirstOnPage = line->FirstOnPage && cut.empty();
      part->Shading = line->Shading;
      part->ParagraphIndex = line->ParagraphIndex;
      for (std::size_t i = 0; i < part->Runs.size(); ++i) part->Runs[i]->RunIndex = static_cast<int>(i);
      part->LastRunIndex = static_cast<int>(part->Runs.size()) - 1;
      cut.push_back(APage.StoreLine(std::move(part)));
    }
    APage.Lines.erase(APage.Lines.begin() + static_cast<std::ptrdiff_t>(li));
    APage.Lines.insert(APage.Lines.begin() + static_cast<std::ptrdiff_t>(li), cut.begin(), cut.end());
    li += cut.size() - 1;
  }
}

// One grid made into a table, or nothing when it does not read as one.
bool BuildGrid(TkwFormatterPage& APage, TkwPageDrawing& ADrawing, const std::vector<std::size_t>& AGroup) {
  std::vector<double> hs, vs;
  for (std::size_t i : AGroup) (ADrawing.Rules[i].Horizontal ? hs : vs).push_back(ADrawing.Rules[i].At);
  const std::vector<double> ys = Boundaries(hs), xs = Boundaries(vs);
  if (ys.size() < 2 || xs.size() < 2) return false;
  const int rows = static_cast<int>(ys.size()) - 1, cols = static_cast<int>(xs.size()) - 1;
  if (rows * cols < 2) return false;
  const auto ur = static_cast<std::size_t>(rows), uc = static_cast<std::size_t>(cols);
  // Which cell edges are ruled, and by which rule.
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::vector<std::size_t> hEdge((ur + 1) * uc, kNone), vEdge(ur * (uc + 1), kNone);
  int ruled = 0;
  for (std::size_t r = 0; r <= ur; ++r) {
    for (std::size_t c = 0; c < uc; ++c) {
      std::size_t best = kNone;
      if (Cover(ADrawing.Rules, AGroup, true, ys[r], xs[c], xs[c + 1], best) >= kEdgeCover) {
        hEdge[r * uc + c] = best;
        ++ruled;
      }
    }
  }
  for (std::size_t r = 0; r < ur; ++r) {
    for (std::size_t c = 0; c <= uc; ++c) {
      std::size_t best = kNone;
      if (Cover(ADrawing.Rules, AGroup, false, xs[c], ys[r], ys[r + 1], best) >= kEdgeCover) {
        vEdge[r * (uc + 1) + c] = best;
        ++ruled;
      }
    }
  }
  const int edges = (rows + 1) * cols + rows * (cols + 1);
  if (ruled < kRuledShare * edges) return false;

  // Merges: a missing inner rule joins a cell to the one before it or above it.
  std::vector<std::uint8_t> across(ur * uc, 0), down(ur * uc, 0);
  for (std::size_t r = 0; r < ur; ++r) {
    for (std::size_t c = 1; c < uc; ++c) {
      if (vEdge[r * (uc + 1) + c] == kNone) {
        across[r * uc + c] = 2;
        if (across[r * uc + c - 1] == 0) across[r * uc + c - 1] = 1;
      }
    }
  }
  for (std::size_t c = 0; c < uc; ++c) {
    for (std::size_t r = 1; r < ur; ++r) {
      if (hEdge[r * uc + c] == kNone) {
        down[r * uc + c] = 2;
        if (down[(r - 1) * uc + c] == 0) down[(r - 1) * uc + c] = 1;
      }
    }
  }
  std::vector<std::uint8_t> ruledInner(ur * uc, 0);
  for (std::size_t r = 0; r < ur; ++r) {
    for (std::size_t c = 1; c < uc; ++c) ruledInner[r * uc + c] = vEdge[r * (uc + 1) + c] != kNone ? 1 : 0;
  }
  CutLinesAtRules(APage, xs, ys, ruledInner);
  // The text inside: each line goes to the cell of its start, or to the head of its merge.
  std::vector<std::vector<TkwFormatterTextLine*>> cells(ur * uc);
  std::vector<TkwFormatterTextLine*> taken;
  for (auto* line : APage.Lines) {
    const double mid = line->Y - line->Height / 2;
    if (line->X < xs.front() - kMeetSlack || line->X > xs.back() || mid < ys.front() || mid > ys.back()) continue;
    std::size_t r = static_cast<std::size_t>(BandOf(ys, mid)), c = static_cast<std::size_t>(BandOf(xs, line->X + 0.5));
    while (c > 0 && across[r * uc + c] == 2) --c;
    while (r > 0 && down[r * uc + c] == 2) --r;
    cells[r * uc + c].push_back(line);
    taken.push_back(line);
  }
  const auto filled = static_cast<int>(std::count_if(cells.begin(), cells.end(), [](const auto& v) { return !v.empty(); }));
  if (filled < 2 || filled < kFilledShare * rows * cols) return false;
  // The text must keep to its cells: lines running past their cell's right edge, or more
  // lines than a cell's height holds, mean the rules are not the text's grid (a rule across
  // the page meeting a box beside the text, say).
  int overflowing = 0;
  for (std::size_t r = 0; r < ur; ++r) {
    for (std::size_t c = 0; c < uc; ++c) {
      const auto& lines = cells[r * uc + c];
      if (lines.empty()) continue;
      std::size_t cEnd = c + 1, rEnd = r + 1;
      while (cEnd < uc && across[r * uc + cEnd] == 2) ++cEnd;
      while (rEnd < ur && down[rEnd * uc + c] == 2) ++rEnd;
      double top = 1e300, bottom = -1e300;
      for (const auto* line : lines) {
        if (line->Right > xs[cEnd] + kMeetSlack) ++overflowing;
        top = std::min(top, line->Y - line->Height);
        bottom = std::max(bottom, line->Y);
      }
      if (top < ys[r] - kMeetSlack || bottom > ys[rEnd] + kMeetSlack) ++overflowing;
    }
  }
  if (overflowing > std::max(1, static_cast<int>(taken.size()) / 20)) return false;
  // A ruled box with text beside it (a sidebar, an info box) is not a band of the page: as
  // a table it would push that text below itself.
  for (const auto* line : APage.Lines) {
    if (std::find(taken.begin(), taken.end(), line) != taken.end()) continue;
    const double top = line->Y - line->Height;
    if (line->Y > ys.front() + kMeetSlack && top < ys.back() - kMeetSlack) return false;
  }

  auto table = std::make_unique<TkwFormatterTable>(cols);
  table->JoinOwner(APage);
  table->X = xs.front();
  table->Y = ys.front();
  table->Rect = TkwFormatterRect(xs.front(), ys.front(), xs.back(), ys.back());
  table->CellBorders.assign(ur * uc, {});
  table->CellShading.assign(ur * uc, clNone);
  table->CellMergeAcross = across;
  table->CellMergeDown = down;
  for (std::size_t r = 0; r < ur; ++r) {
    table->AddRow(ys[r + 1] - ys[r]);
    for (std::size_t c = 0; c < uc; ++c) {
      auto& lines = cells[r * uc + c];
      std::sort(lines.begin(), lines.end(), [](const auto* a, const auto* b) { return a->Y != b->Y ? a->Y < b->Y : a->X < b->X; });
      for (auto* line : lines) table->AddLine(static_cast<int>(c), line);
      auto& border = table->CellBorders[r * uc + c];
      const auto side = [&](std::size_t AEdge, TkwSide ASide) {
        if (AEdge != kNone) border[ASide] = BorderOf(ADrawing.Rules[AEdge]);
      };
      side(hEdge[r * uc + c], sdTop);
      side(hEdge[(r + 1) * uc + c], sdBottom);
      side(vEdge[r * (uc + 1) + c], sdLeft);
      side(vEdge[r * (uc + 1) + c + 1], sdRight);
      // The last box drawn under the cell's middle shades it.
      const double cx = (xs[c] + xs[c + 1]) / 2, cy = (ys[r] + ys[r + 1]) / 2;
      for (const TkwBox& box : ADrawing.Boxes) {
        const TkwRect& b = box.Rect;
        if (cx < b.Left || cx > b.Right || cy < b.Top || cy > b.Bottom) continue;
        if (b.Left < xs.front() - kMeetSlack || b.Right > xs.back() + kMeetSlack || b.Top < ys.front() - kMeetSlack ||
            b.Bottom > ys.back() + kMeetSlack || !ADrawing.Simple[box.Path]) {
          continue;
        }
        table->CellShading[r * uc + c] = box.Color;
        ADrawing.Consumed[box.Path] = true;
      }
    }
  }
  // Text of shaded cells keeps its own look: the cell carries the shading.
  for (auto* line : taken) line->Shading = clNone;
  for (std::size_t i : AGroup) ADrawing.Rules[i].Used = true;
  std::erase_if(APage.Lines, [&](const TkwFormatterTextLine* l) {
    return std::find(taken.begin(), taken.end(), l) != taken.end();
  });
  auto placeholder = std::make_unique<TkwFormatterTextLine>();
  placeholder->JoinOwner(APage);
  placeholder->X = xs.front();
  placeholder->Y = ys.front();
  placeholder->Right = xs.back();
  placeholder->GridPlaceholder = true;
  ADrawing.GridPlaceholders.push_back(APage.StoreLine(std::move(placeholder)));
  ADrawing.GridTables.push_back(std::move(table));
  ADrawing.GridColumns.push_back(xs);
  return true;
}

}  // namespace

void FindGridTables(TkwFormatterPage& APage, TkwPageDrawing& ADrawing) {
  std::vector<std::size_t> candidates;
  for (std::size_t i = 0; i < ADrawing.Rules.size(); ++i) {
    const TkwRule& r = ADrawing.Rules[i];
    if (!r.Used && ADrawing.Simple[r.Path]) candidates.push_back(i);
  }
  if (candidates.size() < 4 || candidates.size() > kMaxGridRules || APage.Lines.empty()) return;
  std::vector<std::size_t> parent(candidates.size());
  std::iota(parent.begin(), parent.end(), 0);
  const auto find = [&](std::size_t a) {
    while (parent[a] != a) a = parent[a] = parent[parent[a]];
    return a;
  };
  for (std::size_t a = 0; a < candidates.size(); ++a) {
    for (std::size_t b = a + 1; b < candidates.size(); ++b) {
      if (Meet(ADrawing.Rules[candidates[a]], ADrawing.Rules[candidates[b]])) parent[find(a)] = find(b);
    }
  }
  std::vector<std::vector<std::size_t>> groups(candidates.size());
  for (std::size_t a = 0; a < candidates.size(); ++a) groups[find(a)].push_back(candidates[a]);
  for (const auto& group : groups) {
    if (group.size() >= 4) BuildGrid(APage, ADrawing, group);
  }
  // Paths all of whose rules went into tables are drawn no more.
  std::vector<int> state(ADrawing.Consumed.size(), 0);  // 0 no rule, 1 all used, 2 some unused
  for (const TkwRule& r : ADrawing.Rules) {
    int& s = state[r.Path];
    s = r.Used ? (s == 0 ? 1 : s) : 2;
  }
  for (std::size_t p = 0; p < state.size(); ++p) {
    if (state[p] == 1 && ADrawing.Simple[p]) ADrawing.Consumed[p] = true;
  }
}

void InsertGridPlaceholders(TkwFormatterPage& APage) {
  if (!APage.Drawing) return;
  auto& result = APage.ResultLines;
  for (auto* placeholder : APage.Drawing->GridPlaceholders) {
    const auto at = std::find_if(result.begin(), result.end(), [&](const TkwFormatterTextLine* l) {
      return l->Y - l->Height > placeholder->Y || (l->Y > placeholder->Y && l->X >= placeholder->X);
    });
    result.insert(at, placeholder);
  }
}

std::unique_ptr<TkwFormatterHSection> TakeGridSection(TkwFormatterPage& APage, const TkwFormatterTextLine& APlaceholder) {
  if (!APage.Drawing) return nullptr;
  auto& d = *APage.Drawing;
  for (std::size_t i = 0; i < d.GridPlaceholders.size(); ++i) {
    if (d.GridPlaceholders[i] != &APlaceholder || !d.GridTables[i]) continue;
    auto section = std::make_unique<TkwFormatterHSection>();
    section->JoinOwner(APage);
    section->Columns[0]->JoinOwner(APage);
    auto& table = *d.GridTables[i];
    // Cell boundaries from the left margin, as the page's margins stand now.
    const double leftMargin = fmt::LeftMargin(APage);
    const auto& xs = d.GridColumns[i];
    for (std::size_t c = 0; c + 1 < xs.size(); ++c) table.CellRights[c] = xs[c + 1] - leftMargin;
    // The band's column lists its lines, for the spacing around it.
    for (const auto& row : table.Rows) {
      for (const auto& cell : row) {
        for (auto* line : cell) section->Columns[0]->AddItem(line);
      }
    }
    section->Rect = table.Rect;
    section->ColumnCount = table.ColumnCount;
    section->IsTable = true;
    section->FromGrid = true;
    section->Table = std::move(d.GridTables[i]);
    return section;
  }
  return nullptr;
}

}  // namespace qm
