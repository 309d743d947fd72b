// Page analysis: line order, image overlap, horizontal sections, column detection and
// the decision whether side-by-side columns are a table.
#include <algorithm>
#include <cmath>
#include <optional>

#include "base/Numbers.h"
#include "formatter/kwDrawingClassifier.h"
#include "formatter/kwFormatter.h"
#include "formatter/kwFormatterUtil.h"

namespace qm::fmt {

namespace {
bool Overlaps(const TkwFormatterRect& ABox, const TkwFormatterRect& ASlot) {
  return ABox.Left < ASlot.Right && ABox.Right > ASlot.Left;
}
}  // namespace

int ColumnSlot(const TkwFormatterRect& ABox, const std::vector<TkwFormatterRect>& ASlots, bool& ABeyond) {
  ABeyond = false;
  const int n = static_cast<int>(ASlots.size());
  if (n == 0) {
    ABeyond = true;
    return -1;
  }
  const auto left = RoundEven(ABox.Left);
  const auto right = RoundEven(ABox.Right);
  if (n == 1 && RoundEven(ASlots[0].Left) <= left && left <= RoundEven(ASlots[0].Right) &&
      RoundEven(ASlots[0].Left) <= right && right <= RoundEven(ASlots[0].Right)) {
    return 0;
  }
  for (int i = 0; i + 1 < n; ++i) {
    const auto& slot = ASlots[static_cast<std::size_t>(i)];
    const auto& next = ASlots[static_cast<std::size_t>(i + 1)];
    if (i == 0 && ABox.Right <= next.Left && slot.Left <= left && left <= slot.Right) {
      return 0;
    }
    if (slot.Left <= ABox.Left && ABox.Left < next.Left && slot.Left <= ABox.Right &&
        ABox.Right < next.Left) {
      return i;
    }
    if (i == 0 && ((Overlaps(ABox, slot) && Overlaps(ABox, next)) ||
                   (slot.Left <= ABox.Left && ABox.Left < slot.Right && ABox.Right >= next.Left))) {
      return -1;
    }
    if (i >= 1) {
      const auto& before = ASlots[static_cast<std::size_t>(i - 1)];
      if (before.Right <= ABox.Left && ABox.Right < next.Left) {
        return i;
      }
    }
  }
  const auto& last = ASlots.back();
  if (last.Left <= ABox.Left && ABox.Left <= last.Right) {
    return n - 1;
  }
  if (last.Right <= ABox.Left) {
    ABeyond = true;
  }
  if (n >= 2 && ASlots[static_cast<std::size_t>(n - 2)].Right <= ABox.Left &&
      (last.Right >= ABox.Right || (ABox.Left <= last.Right && last.Right < ABox.Right))) {
    return n - 1;
  }
  ABeyond = true;
  return -1;
}

int InsertSlot(std::vector<TkwFormatterRect>& ASlots, const TkwFormatterRect& ABox) {
  std::size_t at = 0;
  while (at < ASlots.size() && !(ASlots[at].Left > ABox.Left)) {
    ++at;
  }
  ASlots.insert(ASlots.begin() + static_cast<std::ptrdiff_t>(at), ABox);
  return static_cast<int>(at);
}

namespace {

bool IsBulletText(std::u16string_view AText) {
  const auto text = Trim(AText);
  return text.empty() || (text.size() == 1 && !IsAsciiLetter(text[0]) && !IsDigit(text[0]));
}

int FirstRunId(const TkwFormatterTextLine& ALine) {
  const auto* run = ALine.Run(0);
  return run != nullptr ? run->Id : -1;
}

int LastRunId(const TkwFormatterTextLine& ALine) {
  const auto* run = ALine.LastRun();
  return run != nullptr ? run->Id : -1;
}

}  // namespace

namespace {

// A cell value in a column: a line of one run with few spaces that reads as a number, or
// is long enough to be a word.
bool IsCellValueLine(const TkwFormatterTextLine& ALine) {
  const auto text = ALine.Text();
  const auto number = ToInteger(text);
  if ((!number || *number == 0) && text.size() < 3) {
    return false;
  }
  return !(ALine.Runs.size() > 1 ||
           (ALine.Runs.size() == 1 && std::count(text.begin(), text.end(), u' ') > 2));
}

// Decided by single columns: a column of one line is no table; a column whose every line
// is a cell value is one. Nothing when no column decides.
std::optional<bool> DecideByColumns(const std::vector<std::unique_ptr<TkwFormatterColumn>>& AColumns) {
  for (const auto& column : AColumns) {
    const auto& items = column->Items;
    if (items.size() == 1) {
      return false;
    }
    const auto values = std::find_if_not(items.begin(), items.end(),
                                         [](const auto* line) { return IsCellValueLine(*line); });
    if (values == items.end() && items.size() >= 2) {
      return true;
    }
  }
  return std::nullopt;
}

// Cells, not running text: at least three lines, and the second does not carry on the
// text of the first.
bool HoldsCells(const TkwFormatterColumn& AColumn) {
  const auto& items = AColumn.Items;
  return !(items.size() < 3 || FirstRunId(*items[1]) == LastRunId(*items[0]) + 1);
}

// Tables are written row by row, so each column's first run comes right after the last
// run of the first line of the column before. Nothing when a column breaks that; else
// whether two columns were compared.
std::optional<bool> WrittenAcross(const std::vector<std::unique_ptr<TkwFormatterColumn>>& AColumns) {
  bool compared = false;
  const TkwFormatterColumn* previous = nullptr;
  for (const auto& column : AColumns) {
    if (column->Items.empty()) {
      continue;
    }
    if (previous != nullptr) {
      if (FirstRunId(*column->Items[0]) != LastRunId(*previous->Items[0]) + 1) {
        return std::nullopt;
      }
      compared = true;
    }
    previous = column.get();
  }
  return compared;
}

}  // namespace

bool IsTableLike(const TkwFormatterHSection& ASection) {
  const auto& columns = ASection.Columns;
  if (columns.empty()) {
    return false;
  }
  // A column of bullets beside text is a list.
  const auto& firstItems = columns[0]->Items;
  if (std::all_of(firstItems.begin(), firstItems.end(),
                  [](const auto* line) { return IsBulletText(line->Text()); })) {
    return false;
  }
  if (const auto decided = DecideByColumns(columns)) {
    return *decided;
  }
  bool result = HoldsCells(*columns.back());
  const auto across = WrittenAcross(columns);
  if (!across) {
    return false;
  }
  result = result || *across;
  if (columns.size() >= 2 &&
      std::all_of(columns.begin(), columns.end(), [](const auto& c) { return c->Items.size() == 1; })) {
    return false;
  }
  return result;
}

}  // namespace qm::fmt

namespace qm {

namespace {

// Column detection stops at a row this much further below the band than the row before,
// once the band reads as a table: the gap ends the table.
constexpr double kTableRowGapGrowth = 5;
// A row whose lines share a slot is a wrapped cell only while its distance below the band
// stays within this of the first row's.
constexpr double kSharedSlotGapChange = 10;
// Three lines of a row in one slot are running text, not a row of cells.
constexpr int kMaxLinesPerSlotInRow = 3;
// Share of the page's text area a page's text may fill: the rest is slack for text that
// a word processor sets a little taller.
constexpr double kPageFillShare = 0.97;
// Line spacing is never squeezed below this share of the page's.
constexpr double kMinLineSpacingShare = 0.8;
// Text columns: a page of at least kMinColumnPageLines lines with gutters (strips at least
// 2 × kGutterHalfWidth wide) that at most kMaxGutterCrossingShare of its lines cross and
// with at least kMinColumnShare of them on either side; in each column at least
// kMinFullColumnLines lines, and kMinFullLineShare of them, are kFullColumnShare of the
// column wide; a band of columns has at least kMinColumnLines lines in each.
constexpr std::size_t kMinColumnPageLines = 16;
constexpr double kGutterHalfWidth = 4;
constexpr double kMaxGutterCrossingShare = 0.2;
constexpr double kMinColumnShare = 0.2;
constexpr double kFullColumnShare = 0.6;
constexpr std::size_t kMinFullColumnLines = 5;
constexpr double kMinFullLineShare = 0.2;
constexpr std::size_t kMinColumnLines = 3;
// A sidebar's lines stand beside the next column's lines (baselines within
// kSharedBaselineTolerance) less often than this share: a table's cells always do. It
// has a note of a few lines across its width, where a form's column of codes has none.
constexpr std::size_t kMinSidebarFullLines = 2;
constexpr double kSharedBaselineTolerance = 1;
constexpr double kMaxSidebarSharedShare = 0.5;
// A column narrower than its widest text (by kNarrowColumnShare and kColumnFitSlack) is
// made kColumnTextShare of that text wide.
constexpr double kColumnFitSlack = 0.5;
// Only a slot this many times narrower than its text is widened: a wider one is fitted by
// condensing its lines.
constexpr double kNarrowColumnShare = 2;
constexpr double kColumnTextShare = 1.1;
// The narrowest column a word processor is given, in points.
constexpr double kMinColumnWidth = 1;
// Gutters are looked for this share of the page's width in from either edge, and a page
// has at most kMaxTextColumns columns of running text.
constexpr double kGutterSearchFrom = 0.2;
constexpr std::size_t kMaxTextColumns = 3;
// Tab lines are a table when at least kMinGridRows in a row have their items at the same
// stops, within kGridStopTolerance; a cell ends kGridCellGap before the next one starts,
// and the last row reaches kGridLastRowPadding below its text.
constexpr std::size_t kMinGridRows = 3;
constexpr double kGridStopTolerance = 3;
constexpr double kGridCellGap = 2;
// Runs of a tab line this close together are one item.
constexpr double kGridItemGap = 1;
constexpr double kGridLastRowPadding = 5;
// The last cell reaches this far past its widest text: a word processor pads cells.
constexpr double kGridLastCellAllowance = 6;

TkwFormatterRect LineBox(const TkwFormatterTextLine& ALine) {
  return {ALine.X, ALine.Y, ALine.Right, ALine.Y + ALine.Height};
}

void WidenSection(TkwFormatterHSection& ASection, const TkwFormatterTextLine& ALine) {
  ASection.Rect.IncludeRect(LineBox(ALine));
  if (const auto* run = ALine.Run(0)) {
    ASection.Font = run->Font;
  }
}

std::unique_ptr<TkwFormatterHSection> DefaultSection(const TkwPageSettings& APage,
                                                     const TkwFormatterElement& AOwner) {
  auto section = std::make_unique<TkwFormatterHSection>();
  section->JoinOwner(AOwner);
  auto& column = *section->Columns[0];
  column.JoinOwner(AOwner);
  column.Rect = TkwFormatterRect(APage.GetLeftMargin(), APage.GetTopMargin(),
                                 APage.GetWidth() - APage.GetRightMargin(),
                                 APage.GetHeight() - APage.GetBottomMargin());
  return section;
}

// The slots of a band (one per column, ordered by left edge) as detection goes.
using TSlots = std::vector<TkwFormatterRect>;

// A first-row line goes to the column of its slot, or opens a new slot and column.
void PlaceInFirstRow(TkwFormatterHSection& ASection, TSlots& ASlots, TkwFormatterTextLine* ALine) {
  const auto* run = ALine->Run(0);
  const double spaceHeight = run != nullptr ? fmt::Widths(ASection).SpaceHeight(run->Font) : ALine->Height;
  const TkwFormatterRect box(ALine->X, ALine->Y - spaceHeight, ALine->Right, ALine->Y);
  WidenSection(ASection, *ALine);
  bool beyond = false;
  int slot = fmt::ColumnSlot(box, ASlots, beyond);
  TkwFormatterColumn* column = nullptr;
  if (slot < 0) {
    slot = fmt::InsertSlot(ASlots, box);
    if (ASlots.size() == 1) {
      column = ASection.Columns[0].get();
    } else {
      auto fresh = std::make_unique<TkwFormatterColumn>();
      fresh->JoinOwner(ASection);
      column = fresh.get();
      ASection.AddColumn(std::move(fresh), slot);
    }
  } else {
    column = ASection.Columns[static_cast<std::size_t>(slot)].get();
  }
  column->Rect = ASlots[static_cast<std::size_t>(slot)];
  column->AddItem(ALine);
}

// Places the band's first row, from line AStart; returns the index of its last line.
std::size_t PlaceFirstRow(TkwFormatterHSection& ASection, TSlots& ASlots,
                          const std::vector<TkwFormatterTextLine*>& ALines, std::size_t AStart) {
  std::size_t last = AStart;
  PlaceInFirstRow(ASection, ASlots, ALines[AStart]);
  while (last + 1 < ALines.size() && fmt::SideBySide(ALines[last], ALines[last + 1], fmt::kSideBySideTolerance)) {
    ++last;
    PlaceInFirstRow(ASection, ASlots, ALines[last]);
  }
  return last;
}

// The side-by-side lines from AFirst on, in page order; ALast receives the index of
// the last one.
std::vector<TkwFormatterTextLine*> CollectRowFrom(const std::vector<TkwFormatterTextLine*>& ALines,
                                                  std::size_t AFirst, std::size_t& ALast) {
  std::vector<TkwFormatterTextLine*> row{ALines[AFirst]};
  ALast = AFirst;
  while (ALast + 1 < ALines.size() && fmt::SideBySide(ALines[ALast], ALines[ALast + 1], fmt::kSideBySideTolerance)) {
    ++ALast;
    row.push_back(ALines[ALast]);
  }
  return row;
}

// A following row mapped onto the band's slots: the slots with any the row opens, and
// the slot of each line.
struct TRowMapping {
  bool Fits = false;      // every line has a slot, and no slot takes three lines in a row
  bool TwoInOne = false;  // two consecutive lines share a slot
  TSlots Slots;
  std::vector<int> SlotOf;
};

TRowMapping MapRow(const std::vector<TkwFormatterTextLine*>& ARow, const TSlots& ASlots) {
  TRowMapping mapping;
  mapping.Slots = ASlots;
  int runOfSame = 1;
  for (std::size_t k = 0; k < ARow.size(); ++k) {
    const auto* line = ARow[k];
    const auto box = LineBox(*line);
    bool beyond = false;
    int slot = fmt::ColumnSlot(box, mapping.Slots, beyond);
    if (slot < 0 && k > 0 && line->Y == ARow[k - 1]->Y && line->X > mapping.Slots.back().Right) {
      slot = fmt::InsertSlot(mapping.Slots, box);
    }
    if (slot < 0) {
      return mapping;
    }
    if (k > 0 && slot == mapping.SlotOf.back()) {
      ++runOfSame;
      mapping.TwoInOne = true;
      if (runOfSame >= kMaxLinesPerSlotInRow) {
        return mapping;
      }
    } else {
      runOfSame = 1;
    }
    mapping.SlotOf.push_back(slot);
  }
  mapping.Fits = true;
  return mapping;
}

// Row distances of the band so far: the last accepted row's and the first row's.
struct TRowGaps {
  double Previous = 0;
  double First = 0;
  bool HaveFirst = false;
};

// Whether the row's distance below the band keeps to the band's rhythm; AGap is that
// distance. The first row seen sets the rhythm.
bool KeepsRhythm(const TkwFormatterHSection& ASection, TRowGaps& AGaps, const TRowMapping& AMapping, double AGap) {
  if (!AGaps.HaveFirst) {
    AGaps.First = AGap;
    AGaps.HaveFirst = true;
  }
  if (AGaps.Previous > 0 && AGap - AGaps.Previous > kTableRowGapGrowth && fmt::IsTableLike(ASection)) {
    return false;
  }
  return !(AMapping.TwoInOne && std::fabs(AGap - AGaps.First) > kSharedSlotGapChange);
}

double RowTop(const std::vector<TkwFormatterTextLine*>& ARow) {
  double top = ARow[0]->Y;
  for (const auto* line : ARow) {
    top = std::min(top, line->Y);
  }
  return top;
}

// An accepted row: new slots get columns, every slot widens with its lines.
void AcceptRow(TkwFormatterHSection& ASection, TSlots& ASlots, TRowMapping& AMapping,
               const std::vector<TkwFormatterTextLine*>& ARow) {
  for (std::size_t k = 0; k < AMapping.Slots.size(); ++k) {
    if (k >= ASection.Columns.size()) {
      auto fresh = std::make_unique<TkwFormatterColumn>();
      fresh->JoinOwner(ASection);
      ASection.AddColumn(std::move(fresh), -1);
    }
  }
  ASlots = std::move(AMapping.Slots);
  for (std::size_t k = 0; k < ARow.size(); ++k) {
    const auto slot = static_cast<std::size_t>(AMapping.SlotOf[k]);
    ASlots[slot].IncludeRect(LineBox(*ARow[k]));
    auto& column = *ASection.Columns[slot];
    column.Rect = ASlots[slot];
    column.AddItem(ARow[k]);
    WidenSection(ASection, *ARow[k]);
  }
}

// Columns of a band of side-by-side lines, from line AStart; returns the index of the
// last line the section took.
std::size_t DetectColumns(TkwFormatterHSection& ASection, const std::vector<TkwFormatterTextLine*>& ALines,
                          std::size_t AStart) {
  TSlots slots;
  std::size_t last = PlaceFirstRow(ASection, slots, ALines, AStart);
  if (slots.size() < 2) {
    return last;
  }
  // Following rows, while they keep to the slots of the first.
  TRowGaps gaps;
  for (std::size_t next = last + 1; next < ALines.size(); next = last + 1) {
    if (ALines[next]->GridPlaceholder) break;  // a ruled table ends the band
    std::size_t rowLast = next;
    const auto row = CollectRowFrom(ALines, next, rowLast);
    auto mapping = MapRow(row, slots);
    if (!mapping.Fits) {
      break;
    }
    const double gap = RowTop(row) - ASection.Rect.Bottom;
    if (!KeepsRhythm(ASection, gaps, mapping, gap)) {
      break;
    }
    AcceptRow(ASection, slots, mapping, row);
    gaps.Previous = gap;
    last = rowLast;
  }
  return last;
}

}  // namespace

namespace {

// Reading order: by baseline, then from the left.
void SortLines(std::vector<TkwFormatterTextLine*>& ALines) {
  std::stable_sort(ALines.begin(), ALines.end(), [](const auto* a, const auto* b) {
    return a->Y != b->Y ? a->Y < b->Y : a->X < b->X;
  });
}

// An image is marked when a line's top or baseline and one of its ends lie inside it.
void MarkImagesOverText(TkwFormatterPage& APage) {
  for (auto& image : APage.Images) {
    const auto& r = image->Rect;
    for (const auto* line : APage.Lines) {
      const double top = line->Y - line->Height;
      if (top > r.Bottom) {
        break;
      }
      const bool vertical = (r.Top < top && top < r.Bottom) || (r.Top < line->Y && line->Y < r.Bottom);
      const bool horizontal =
          (r.Left < line->X && line->X < r.Right) || (r.Left < line->Right && line->Right < r.Right);
      if (vertical && horizontal) {
        image->OverlapsText = true;
        break;
      }
    }
  }
}

// Where the items of a tab line start: at its first run and at every run that stands
// apart from the one before. Runs that touch (a change of font inside "a41 [x272E]")
// are one item.
std::vector<std::size_t> ItemStarts(const TkwFormatterTextLine& ALine) {
  std::vector<std::size_t> starts;
  for (std::size_t k = 0; k < ALine.Runs.size(); ++k) {
    const auto* run = ALine.Runs[k].get();
    const auto* previous = k > 0 ? ALine.Runs[k - 1].get() : nullptr;
    if (previous == nullptr || run->X - (previous->X + previous->Width) > kGridItemGap) starts.push_back(k);
  }
  return starts;
}

// Tab lines whose items stand at the same stops, line after line: a table.
bool SameStops(const TkwFormatterTextLine& A, const TkwFormatterTextLine& B) {
  if (!A.TabLine || !B.TabLine) {
    return false;
  }
  const auto a = ItemStarts(A);
  const auto b = ItemStarts(B);
  if (a.size() != b.size() || a.size() < 2) {
    return false;
  }
  for (std::size_t k = 0; k < a.size(); ++k) {
    if (std::fabs(A.Runs[a[k]]->X - B.Runs[b[k]]->X) > kGridStopTolerance) {
      return false;
    }
  }
  return true;
}

// A table of the tab lines [AFrom, ATo): a row per line, a cell per item. The lines stay
// in the band's column, for its place on the page.
std::unique_ptr<TkwFormatterHSection> GridSection(TkwFormatterPage& APage,
                                                  const std::vector<TkwFormatterTextLine*>& ALines,
                                                  std::size_t AFrom, std::size_t ATo) {
  auto section = std::make_unique<TkwFormatterHSection>();
  section->JoinOwner(APage);
  section->Columns[0]->JoinOwner(APage);
  const auto count = static_cast<int>(ItemStarts(*ALines[AFrom]).size());
  auto table = std::make_unique<TkwFormatterTable>(count);
  table->JoinOwner(APage);
  const double leftMargin = fmt::LeftMargin(APage);
  double left = ALines[AFrom]->X;
  for (std::size_t r = AFrom; r < ATo; ++r) {
    left = std::min(left, ALines[r]->X);
  }
  table->X = left;
  table->Y = ALines[AFrom]->Y - ALines[AFrom]->Height;
  table->Rect = TkwFormatterRect(table->X, table->Y, table->X, table->Y);
  std::vector<double> starts(static_cast<std::size_t>(count), 1e9);
  double right = 0;
  for (std::size_t r = AFrom; r < ATo; ++r) {
    const auto* line = ALines[r];
    const double height = r + 1 < ATo ? ALines[r + 1]->Y - line->Y : line->Height + kGridLastRowPadding;
    table->AddRow(std::max(height, 0.0));
    const auto items = ItemStarts(*line);
    for (int k = 0; k < count; ++k) {
      const auto kk = static_cast<std::size_t>(k);
      const std::size_t end = kk + 1 < items.size() ? items[kk + 1] : line->Runs.size();
      auto cellLine = std::make_unique<TkwFormatterTextLine>();
      cellLine->JoinOwner(APage);
      cellLine->X = line->Runs[items[kk]]->X;
      cellLine->Y = line->Y;
      for (std::size_t i = items[kk]; i < end; ++i) {
        const auto& source = *line->Runs[i];
        auto run = std::make_unique<TkwFormatterText>();
        run->JoinOwner(APage);
        run->Text = source.Text;
        run->Font = source.Font;
        run->X = source.X;
        run->Y = source.Y;
        run->Width = source.Width;
        run->Right = source.Right;
        run->CharSpacing = source.CharSpacing;
        run->Id = source.Id;
        cellLine->AddRun(std::move(run));
      }
      const auto& last = *line->Runs[end - 1];
      cellLine->SetHeight(line->Height);
      cellLine->SetRight(last.X + last.Width);
      starts[kk] = std::min(starts[kk], cellLine->X);
      right = std::max(right, last.X + last.Width);
      table->AddLine(k, APage.StoreLine(std::move(cellLine)));
    }
    table->Rect.Include(line->Y + line->Height, line->Right, table->Rect.Top, table->Rect.Left);
    section->Columns[0]->AddItem(ALines[r]);
    WidenSection(*section, *ALines[r]);
  }
  for (int k = 0; k < count; ++k) {
    const auto kk = static_cast<std::size_t>(k);
    table->CellRights[kk] = (k + 1 < count ? starts[kk + 1] - kGridCellGap : right + kGridLastCellAllowance) - leftMargin;
  }
  // The table rules decide, on the items as columns: aligned items that are not a table
  // stay tab lines.
  TkwFormatterHSection columns;
  columns.JoinOwner(APage);
  columns.Columns.clear();
  for (const auto& cells : table->Columns) {
    auto column = std::make_unique<TkwFormatterColumn>();
    for (auto* cell : cells) {
      column->AddItem(cell);
    }
    columns.Columns.push_back(std::move(column));
  }
  if (!fmt::IsTableLike(columns)) {
    return nullptr;
  }
  section->IsTable = true;
  section->Table = std::move(table);
  return section;
}

// Cuts the page's result lines into bands: runs of ordinary lines share a default
// section, and every run of side-by-side lines gets a section whose columns are detected.
void BuildSections(TkwFormatterPage& APage, const std::vector<TkwFormatterTextLine*>& lines) {
  auto& sections = APage.Sections;
  TkwFormatterHSection* current = nullptr;
  const auto addOrdinary = [&](TkwFormatterTextLine* ALine) {
    if (current == nullptr) {
      sections.push_back(DefaultSection(*APage.PageSettings, APage));
      current = sections.back().get();
    }
    current->Columns[0]->AddItem(ALine);
    WidenSection(*current, *ALine);
  };
  // A table found from the page's rules is a band of its own.
  const auto addGrid = [&](TkwFormatterTextLine* ALine) {
    if (!ALine->GridPlaceholder) return false;
    if (auto section = TakeGridSection(APage, *ALine)) sections.push_back(std::move(section));
    current = nullptr;
    return true;
  };
  if (fmt::Mode(APage) == TkwFormattingMode::fmFormattedWithTabs) {
    for (std::size_t n = 0; n < lines.size();) {
      if (addGrid(lines[n])) {
        ++n;
        continue;
      }
      std::size_t end = n + 1;
      while (end < lines.size() && !lines[end]->GridPlaceholder && SameStops(*lines[end - 1], *lines[end])) {
        ++end;
      }
      if (end - n >= kMinGridRows) {
        if (auto grid = GridSection(APage, lines, n, end)) {
          sections.push_back(std::move(grid));
          current = nullptr;
          n = end;
          continue;
        }
      }
      for (; n < end; ++n) {
        addOrdinary(lines[n]);
      }
    }
  } else {
    for (std::size_t n = 0; n < lines.size(); ++n) {
      if (addGrid(lines[n])) continue;
      if (n + 1 < lines.size() && !lines[n + 1]->GridPlaceholder &&
          fmt::SideBySide(lines[n], lines[n + 1], fmt::kSideBySideTolerance)) {
        auto section = std::make_unique<TkwFormatterHSection>();
        section->JoinOwner(APage);
        section->Columns[0]->JoinOwner(APage);
        auto* band = section.get();
        sections.push_back(std::move(section));
        n = DetectColumns(*band, lines, n);
        current = nullptr;
        continue;
      }
      addOrdinary(lines[n]);
    }
  }
}

}  // namespace

namespace {

// Heights of what a band writes: the blank space (fillers, space before) and the rest.
struct THeights {
  double Blank = 0;
  double Text = 0;
};

THeights ColumnHeights(const TkwFormatterColumn& AColumn) {
  THeights h;
  for (const auto& P : AColumn.Output) {
    if (P->Spacer) {
      h.Blank += P->LineSpacing;
    } else {
      h.Blank += P->SpaceBefore;
      h.Text += P->LineSpacing * static_cast<double>(std::max<std::size_t>(1, P->Lines.size()));
    }
  }
  return h;
}

THeights SectionHeights(const TkwFormatterHSection& ASection) {
  THeights most;
  for (const auto* child : ASection.Children) {
    if (child->ElementType == kElementTable) {
      const auto& table = static_cast<const TkwFormatterTable&>(*child);
      THeights h;
      for (const double row : table.RowHeights) {
        h.Text += row;
      }
      most = h.Blank + h.Text > most.Blank + most.Text ? h : most;
    } else if (child->ElementType == kElementColumn) {
      const auto h = ColumnHeights(static_cast<const TkwFormatterColumn&>(*child));
      most = h.Blank + h.Text > most.Blank + most.Text ? h : most;
    }
  }
  return most;
}

// A word processor sets a line of exact height s with its baseline this share of s below
// the line's top.
constexpr double kBaselineShare = 0.8;
// Where the page sets lines closer than their text is high, a line is given at least this
// share of its text's height.
constexpr double kMinOverlapShare = 0.3;

// The paragraph's space before, from the running bottom APen of what is written above it,
// so that its first baseline lands where the page has it; a line set closer to the one
// above than its height gets a smaller spacing. APen moves below the paragraph.
void PlaceParagraph(TkwFormatterParagraph& P, double& APen) {
  const double lines = static_cast<double>(std::max<std::size_t>(1, P.Lines.size()));
  if (P.Lines.empty()) {
    APen += P.SpaceBefore + P.LineSpacing * lines;
    return;
  }
  const double baseline = P.Lines.front()->Y;
  double need = baseline - kBaselineShare * P.LineSpacing - APen;
  if (need < 0 && P.Lines.size() == 1 && P.LineSpacing > 0) {
    P.LineSpacing = std::max(P.LineSpacing * kMinOverlapShare, (baseline - APen) / kBaselineShare);
    need = baseline - kBaselineShare * P.LineSpacing - APen;
  }
  P.SpaceBefore = std::max(0.0, need);
  APen += P.SpaceBefore + P.LineSpacing * lines;
}

// Where the column's first paragraph would start with no space before.
std::optional<double> ColumnTop(const TkwFormatterColumn& AColumn) {
  for (const auto& P : AColumn.Output) {
    if (!P->Spacer && !P->Lines.empty()) {
      return P->Lines.front()->Y - kBaselineShare * P->LineSpacing;
    }
  }
  return std::nullopt;
}

// Lays the page's bands out from the top margin down as a word processor stacks exact
// lines, so that every paragraph's first baseline lands where the page has it: blank
// space above a paragraph is its space before, not blank paragraphs. A band of columns or
// a table is preceded by the blank space above it (GapBefore). The first paragraph of a
// band's column keeps no space before: a word processor drops it at the top of a column
// (and moves the whole band by it in the first), so a blank line stands in for it.
void PlaceVertically(TkwFormatterPage& APage) {
  if (APage.PageSettings == nullptr) {
    return;
  }
  double pen = APage.PageSettings->GetTopMargin();
  for (auto& section : APage.Sections) {
    section->GapBefore = 0;
    std::vector<TkwFormatterColumn*> columns;
    const TkwFormatterTable* table = nullptr;
    for (auto* child : section->Children) {
      if (child->ElementType == kElementColumn) {
        auto& column = static_cast<TkwFormatterColumn&>(*child);
        std::erase_if(column.Output, [](const auto& P) { return P->Spacer; });
        columns.push_back(&column);
      } else if (child->ElementType == kElementTable) {
        table = static_cast<const TkwFormatterTable*>(child);
      }
    }
    if (table != nullptr) {
      section->GapBefore = std::max(0.0, table->Y - pen);
      pen += section->GapBefore;
      for (const double row : table->RowHeights) {
        pen += row;
      }
      continue;
    }
    if (columns.size() == 1) {
      for (auto& P : columns[0]->Output) {
        PlaceParagraph(*P, pen);
      }
      continue;
    }
    std::optional<double> top;
    for (const auto* column : columns) {
      if (const auto t = ColumnTop(*column)) {
        top = top ? std::min(*top, *t) : *t;
      }
    }
    if (!top) {
      continue;
    }
    section->GapBefore = std::max(0.0, *top - pen);
    const double start = pen + section->GapBefore;
    double bottom = start;
    for (std::size_t c = 0; c < columns.size(); ++c) {
      auto& output = columns[c]->Output;
      double columnPen = start;
      for (auto& P : output) {
        PlaceParagraph(*P, columnPen);
      }
      if (!output.empty() && output.front()->SpaceBefore > 0) {
        const double lead = output.front()->SpaceBefore;
        output.front()->SpaceBefore = 0;
        auto filler = fmt::MakeSpacer(*columns[c], lead);
        output.insert(output.begin(), std::move(filler));
      }
      bottom = std::max(bottom, columnPen);
    }
    pen = bottom;
  }
}

// The page's text is written from the top margin down with exact line spacing; when it
// would reach below the bottom margin (text above the page's edge, tall substitutes), the
// blank space shrinks first, then the line spacing, so that the page stays one page.
void FitToPage(TkwFormatterPage& APage) {
  const auto* settings = APage.PageSettings;
  if (settings == nullptr) {
    return;
  }
  const double room = (settings->GetHeight() - settings->GetTopMargin() - settings->GetBottomMargin()) * kPageFillShare;
  THeights total;
  double gaps = 0;
  for (const auto& section : APage.Sections) {
    gaps += section->GapBefore;
    const auto h = SectionHeights(*section);
    total.Blank += h.Blank;
    total.Text += h.Text;
  }
  const double blank = total.Blank + gaps;
  const double excess = blank + total.Text - room;
  if (!(excess > 0) || !(room > 0)) {
    return;
  }
  const double blankScale = blank > 0 ? std::max(0.0, 1 - excess / blank) : 1;
  const double rest = excess - (blank - blank * blankScale);
  const double textScale = rest > 0 && total.Text > 0 ? std::max(kMinLineSpacingShare, 1 - rest / total.Text) : 1;
  for (auto& section : APage.Sections) {
    section->GapBefore *= blankScale;
    for (auto* child : section->Children) {
      if (child->ElementType == kElementTable) {
        for (double& row : static_cast<TkwFormatterTable&>(*child).RowHeights) {
          row *= textScale;
        }
        continue;
      }
      if (child->ElementType != kElementColumn) {
        continue;
      }
      auto& output = static_cast<TkwFormatterColumn&>(*child).Output;
      for (auto& P : output) {
        if (P->Spacer) {
          P->LineSpacing *= blankScale;
        } else {
          P->SpaceBefore *= blankScale;
          P->LineSpacing *= textScale;
        }
      }
      // A filler of no height would be written as a line of its own.
      std::erase_if(output, [](const auto& P) { return P->Spacer && P->LineSpacing < 1; });
    }
  }
}

}  // namespace

namespace {

// A band of the page in reading order: its lines, or, for text columns, the lines of
// each column.
struct TBand {
  std::vector<TkwFormatterTextLine*> Lines;
  std::vector<std::vector<TkwFormatterTextLine*>> Columns;
};

bool HasText(const TkwFormatterTextLine& ALine) { return !fmt::Trim(ALine.Text()).empty(); }

// The gaps between the columns of running text, when the page has two or three: strips
// that almost no line crosses, with a good share of the lines on either side, between
// regions whose lines are often as wide as text in a column is. Empty when there are none.
std::vector<double> FindGutters(const std::vector<TkwFormatterTextLine*>& ALines, double APageWidth) {
  std::vector<const TkwFormatterTextLine*> lines;
  for (const auto* line : ALines) {
    if (HasText(*line)) {
      lines.push_back(line);
    }
  }
  const auto n = static_cast<double>(lines.size());
  if (lines.size() < kMinColumnPageLines || !(APageWidth > 0)) {
    return {};
  }
  // Strips of candidate positions; a strip's gutter is the middle of its widest stretch
  // that the fewest lines cross, the white between the columns rather than the middle
  // of all the positions a few lines cross.
  std::vector<double> gutters;
  struct TStretch {
    int Crossing = 0;
    double Start = -1;
    double End = -1;
  };
  TStretch best;
  TStretch open;
  bool inStrip = false;
  const auto closeStrip = [&] {
    if (inStrip) {
      gutters.push_back((best.Start + best.End) / 2);
    }
    inStrip = false;
  };
  // The lines left of a position and right of it, counted by walking their sorted ends and
  // starts as the position moves right: the same counts as asking each line, as long as
  // no line ends before it starts (which a line of text never does).
  std::vector<double> rights, starts;
  rights.reserve(lines.size());
  starts.reserve(lines.size());
  bool ordered = true;
  for (const auto* line : lines) {
    ordered = ordered && line->X <= line->Right;
    rights.push_back(line->Right);
    starts.push_back(line->X);
  }
  std::sort(rights.begin(), rights.end());
  std::sort(starts.begin(), starts.end());
  std::size_t endedBefore = 0, startedBefore = 0;
  for (double x = APageWidth * kGutterSearchFrom; x <= APageWidth * (1 - kGutterSearchFrom); x += 1) {
    int left = 0;
    int right = 0;
    int crossing = 0;
    if (ordered) {
      while (endedBefore < rights.size() && rights[endedBefore] <= x - kGutterHalfWidth) ++endedBefore;
      while (startedBefore < starts.size() && starts[startedBefore] < x + kGutterHalfWidth) ++startedBefore;
      left = static_cast<int>(endedBefore);
      right = static_cast<int>(starts.size() - startedBefore);
      crossing = static_cast<int>(lines.size()) - left - right;
    } else {
      for (const auto* line : lines) {
        if (line->Right <= x - kGutterHalfWidth) {
          ++left;
        } else if (line->X >= x + kGutterHalfWidth) {
          ++right;
        } else {
          ++crossing;
        }
      }
    }
    if (crossing <= kMaxGutterCrossingShare * n && left >= kMinColumnShare * n && right >= kMinColumnShare * n) {
      if (!inStrip || crossing != open.Crossing) {
        open = TStretch{crossing, x, x};
      } else {
        open.End = x;
      }
      const bool fewer = !inStrip || open.Crossing < best.Crossing;
      const bool wider = open.Crossing == best.Crossing && open.End - open.Start > best.End - best.Start;
      if (fewer || wider) {
        best = open;
      }
      inStrip = true;
    } else {
      closeStrip();
    }
  }
  closeStrip();
  if (gutters.empty() || gutters.size() > kMaxTextColumns - 1) {
    return {};
  }
  // Running text fills its column; a form's labels and values or a table's cells do not.
  // Figures in a column bring short labels, so only a share of each column is asked to.
  // A page's first or last column need not be running text when another column is: a
  // sidebar of figures or notes beside the text, whose lines keep their own baselines
  // where a table's cells share theirs with the row's other cells.
  double minX = APageWidth;
  double maxRight = 0;
  for (const auto* line : lines) {
    minX = std::min(minX, line->X);
    maxRight = std::max(maxRight, line->Right);
  }
  std::vector<std::vector<const TkwFormatterTextLine*>> inside(gutters.size() + 1);
  std::vector<bool> running(gutters.size() + 1);
  std::vector<std::size_t> fullLines(gutters.size() + 1);
  for (std::size_t c = 0; c <= gutters.size(); ++c) {
    const double from = c == 0 ? minX : gutters[c - 1];
    const double to = c == gutters.size() ? maxRight : gutters[c];
    std::size_t full = 0;
    for (const auto* line : lines) {
      if (line->X >= from - kGutterHalfWidth && line->Right <= to + kGutterHalfWidth) {
        inside[c].push_back(line);
        full += line->Right - line->X >= kFullColumnShare * (to - from) ? 1U : 0U;
      }
    }
    fullLines[c] = full;
    running[c] = full >= kMinFullColumnLines &&
                 static_cast<double>(full) >= kMinFullLineShare * static_cast<double>(inside[c].size());
  }
  const auto sidebar = [&](std::size_t AColumn, std::size_t ANeighbour) {
    if (!running[ANeighbour] || inside[AColumn].size() < kMinColumnPageLines / 2 ||
        fullLines[AColumn] < kMinSidebarFullLines) {
      return false;
    }
    std::size_t shared = 0;
    for (const auto* line : inside[AColumn]) {
      const bool beside = std::any_of(inside[ANeighbour].begin(), inside[ANeighbour].end(), [&](const auto* other) {
        return std::abs(other->Y - line->Y) < kSharedBaselineTolerance;
      });
      shared += beside ? 1U : 0U;
    }
    return static_cast<double>(shared) < kMaxSidebarSharedShare * static_cast<double>(inside[AColumn].size());
  };
  const std::size_t last = gutters.size();
  for (std::size_t c = 0; c <= last; ++c) {
    const bool accepted = running[c] || (c == 0 && sidebar(0, 1)) || (c == last && sidebar(last, last - 1));
    if (!accepted) {
      return {};
    }
  }
  return gutters;
}

// The column of the line between the gutters, or -1 when it crosses one.
int ColumnOf(const TkwFormatterTextLine& ALine, const std::vector<double>& AGutters) {
  for (std::size_t c = 0; c <= AGutters.size(); ++c) {
    const bool afterLeft = c == 0 || ALine.X >= AGutters[c - 1] - kGutterHalfWidth;
    const bool beforeRight = c == AGutters.size() || ALine.Right <= AGutters[c] + kGutterHalfWidth;
    if (afterLeft && beforeRight) {
      return static_cast<int>(c);
    }
  }
  return -1;
}

// The page cut at the lines that cross a gutter: between them, the lines of each column
// are a band of columns when every column has a few; everything else stays in page order.
std::vector<TBand> PlanBands(const std::vector<TkwFormatterTextLine*>& ALines, const std::vector<double>& AGutters) {
  const std::size_t count = AGutters.size() + 1;
  std::vector<TBand> bands;
  TBand open;
  open.Columns.resize(count);
  const auto ordinary = [&](const std::vector<TkwFormatterTextLine*>& ALinesOf) {
    if (ALinesOf.empty()) {
      return;
    }
    if (bands.empty() || !bands.back().Columns.empty()) {
      bands.emplace_back();
    }
    bands.back().Lines.insert(bands.back().Lines.end(), ALinesOf.begin(), ALinesOf.end());
  };
  const auto close = [&] {
    const bool columns = std::all_of(open.Columns.begin(), open.Columns.end(),
                                     [](const auto& AColumn) { return AColumn.size() >= kMinColumnLines; });
    if (columns) {
      bands.push_back(std::move(open));
    } else {
      std::vector<TkwFormatterTextLine*> merged;
      for (auto& column : open.Columns) {
        merged.insert(merged.end(), column.begin(), column.end());
      }
      SortLines(merged);
      ordinary(merged);
    }
    open = TBand{};
    open.Columns.resize(count);
  };
  for (auto* line : ALines) {
    const int column = ColumnOf(*line, AGutters);
    if (column >= 0) {
      open.Columns[static_cast<std::size_t>(column)].push_back(line);
    } else {
      close();
      ordinary({line});
    }
  }
  close();
  return bands;
}

// Line merging over some of the page's lines only.
std::vector<TkwFormatterTextLine*> MergeSome(TkwFormatterPage& APage, std::vector<TkwFormatterTextLine*> ALines,
                                            bool AAsTabLines = false) {
  std::swap(APage.Lines, ALines);
  fmt::MergeLines(APage, AAsTabLines);
  std::swap(APage.Lines, ALines);
  return APage.ResultLines;
}

// A section of text columns, each column with its own merged lines.
void AddColumnSection(TkwFormatterPage& APage, const TBand& ABand) {
  auto section = std::make_unique<TkwFormatterHSection>();
  section->JoinOwner(APage);
  section->TextColumns = true;
  for (std::size_t c = 0; c < ABand.Columns.size(); ++c) {
    TkwFormatterColumn* column = section->Columns[0].get();
    if (c > 0) {
      auto fresh = std::make_unique<TkwFormatterColumn>();
      column = fresh.get();
      section->AddColumn(std::move(fresh), -1);
    }
    column->JoinOwner(APage);
    bool first = true;
    // Side-by-side items inside a column (a table's cells, a figure's labels) cannot be
    // columns of their own there: they become tab lines rather than lines read one below
    // the other.
    for (auto* line : MergeSome(APage, ABand.Columns[c], true)) {
      column->AddItem(line);
      const TkwFormatterRect box(line->X, line->Y, line->Right, line->Y + line->Height);
      if (first) {
        column->Rect = box;
        first = false;
      } else {
        column->Rect.IncludeRect(box);
      }
      WidenSection(*section, *line);
    }
  }
  APage.Sections.push_back(std::move(section));
}

}  // namespace

void TkwFormatterPage::Analyse() {
  SortLines(Lines);
  MarkImagesOverText(*this);
  if (!Lines.empty()) {
    Lines[0]->FirstOnPage = true;
  }
  Sections.clear();
  const auto gutters = PageSettings != nullptr ? FindGutters(Lines, PageSettings->GetWidth()) : std::vector<double>{};
  if (!gutters.empty()) {
    // Columns first: each column's side-by-side items may become tab lines, but lines of
    // two columns are never joined.
    std::vector<TkwFormatterTextLine*> all;
    for (const auto& band : PlanBands(Lines, gutters)) {
      if (band.Columns.empty()) {
        auto merged = MergeSome(*this, band.Lines);
        // Words broken at the stops of tabbed lines are made whole before the lines are
        // cut into sections: the halves may land in two (a table's header above its rows),
        // and a table of tabbed lines copies its cells' text.
        fmt::JoinBrokenWordsAtStops(merged, 0);
        BuildSections(*this, merged);
        all.insert(all.end(), merged.begin(), merged.end());
      } else {
        AddColumnSection(*this, band);
      }
    }
    ResultLines = all;
  } else {
    fmt::MergeLines(*this);
    // Tables found from the page's rules; on a page of columns they go before the first
    // band below them instead.
    InsertGridPlaceholders(*this);
    if (PageSettings == nullptr) {
      return;
    }
    fmt::JoinBrokenWordsAtStops(ResultLines, 0);
    BuildSections(*this, ResultLines);
  }
  for (auto& section : Sections) {
    section->Analyse();
  }
  PlaceVertically(*this);
  FitToPage(*this);
}

namespace {

// The widest line of a column as the output fonts set it, from its first run's start.
double WidestText(const TkwFormatterColumn& AColumn) {
  double widest = 0;
  for (const auto* line : AColumn.Items) {
    if (line->Runs.empty()) {
      continue;
    }
    const auto& last = *line->Runs.back();
    const double end = last.X + fmt::TextWidth(AColumn, last.Font, last.Text);
    widest = std::max(widest, end - line->Runs.front()->X);
  }
  return widest;
}

// Gap and width of every column for the writer's column layout; the columns are moved to
// where the writer will put them, the first one to the left margin.
void SetColumnSections(TkwFormatterHSection& ASection) {
  auto& columns = ASection.Columns;
  const int count = ASection.ColumnCount;
  const double leftMargin = fmt::LeftMargin(ASection);
  ASection.ColumnSections.assign(static_cast<std::size_t>(count) + 1, TkwColumnSection{});
  double x = leftMargin;
  for (int i = 0; i < count; ++i) {
    auto& column = *columns[static_cast<std::size_t>(i)];
    auto& entry = ASection.ColumnSections[static_cast<std::size_t>(i)];
    if (i + 1 < count) {
      entry.SpaceAfter = columns[static_cast<std::size_t>(i + 1)]->Rect.Left - column.Rect.Right;
    }
    if (i == 0) {
      entry.Width = column.Rect.Right - leftMargin;
      column.Rect.Left = leftMargin;
    } else {
      entry.Width = column.Rect.Right - column.Rect.Left;
      column.Rect.Left = x;
    }
    // A column narrower than its text in the output font (a bullet's or a number's slot)
    // would set it a character a line: it takes what it needs from the gap after it.
    // Text columns keep the page's geometry: their lines are fitted to their width.
    const double text = ASection.TextColumns ? 0 : WidestText(column);
    if (text > entry.Width * kNarrowColumnShare + kColumnFitSlack) {
      const double needed = text * kColumnTextShare;
      const double extra = needed - entry.Width;
      entry.Width = needed;
      entry.SpaceAfter = std::max(0.0, entry.SpaceAfter - extra);
    }
    // Columns that overlap on the page (a tall glyph reaching under the next column's
    // text) touch instead: a word processor lays a negative gap out as a page of its own.
    if (entry.SpaceAfter < 0) {
      entry.Width = std::max(kMinColumnWidth, entry.Width + entry.SpaceAfter);
      entry.SpaceAfter = 0;
    }
    column.Rect.Right = column.Rect.Left + entry.Width;
    x += entry.Width + entry.SpaceAfter;
  }
}

// A word processor shares the whole text width out among the columns, in proportion
// to their widths. The last column reaches to the right margin, so that the others keep
// the page's widths; its paragraphs end where the page's text ends, by their indents.
void StretchLastColumn(TkwFormatterHSection& ASection) {
  const auto* settings = fmt::CurrentPageSettings(ASection);
  if (settings == nullptr || ASection.ColumnCount < 2) {
    return;
  }
  auto& last = *ASection.Columns.back();
  const double textRight = settings->GetWidth() - settings->GetRightMargin();
  const double room = textRight - last.Rect.Right;
  if (room > 0 && room < settings->GetWidth()) {
    ASection.ColumnSections[static_cast<std::size_t>(ASection.ColumnCount) - 1].Width += room;
    last.Rect.Right = textRight;
  }
}

}  // namespace

namespace {

// A word broken by a hyphen at the end of a column goes on at the top of the next: the
// whole word moves to the next column's first line, its hyphen optional, so that the line
// that ends the column only gets shorter. The rule for a broken word is a paragraph's.
void JoinWordsAcrossColumns(TkwFormatterHSection& ASection) {
  const auto firstWithText = [](const std::vector<TkwFormatterTextLine*>& AItems, bool AFromEnd) {
    TkwFormatterTextLine* found = nullptr;
    for (std::size_t i = 0; i < AItems.size() && found == nullptr; ++i) {
      auto* line = AItems[AFromEnd ? AItems.size() - 1 - i : i];
      if (HasText(*line)) found = line;
    }
    return found;
  };
  for (std::size_t k = 0; k + 1 < ASection.Columns.size(); ++k) {
    auto* end = firstWithText(ASection.Columns[k]->Items, true);
    auto* top = firstWithText(ASection.Columns[k + 1]->Items, false);
    if (end == nullptr || top == nullptr || end->TabLine || top->TabLine) continue;
    auto* last = end->LastRun();
    auto* first = top->Run(0);
    if (last == nullptr || first == nullptr || first->Text.empty()) continue;
    const std::size_t hyphen = fmt::WordBreakHyphen(last->Text, first->Text.front());
    if (hyphen == std::u16string_view::npos) continue;
    const std::size_t headStart = fmt::WordStartBefore(last->Text, hyphen);
    // A column that ends in nothing but the broken word keeps it.
    if (headStart == 0 && end->Runs.size() == 1) continue;
    first->Text = last->Text.substr(headStart, hyphen - headStart) + fmt::kSoftHyphen + first->Text;
    last->Text.resize(headStart);
    while (!last->Text.empty() && fmt::IsBlank(last->Text.back())) last->Text.pop_back();
  }
}

}  // namespace

void TkwFormatterHSection::Analyse() {
  Children.clear();
  if ((FromGrid || IsTable) && Table) {
    // Built from the page's rules or from tab lines already.
    Children.push_back(Table.get());
    Table->Analyse();
    return;
  }
  ColumnCount = static_cast<int>(Columns.size());
  IsTable = false;
  if (ColumnCount > 1 && !TextColumns) {
    IsTable = fmt::IsTableLike(*this);
  }
  if (IsTable) {
    BuildTable();
    if (Table) {
      Children.push_back(Table.get());
      Table->Analyse();
    }
    return;
  }
  for (auto& column : Columns) {
    Children.push_back(column.get());
  }
  if (Children.size() >= 2) {
    SetColumnSections(*this);
    StretchLastColumn(*this);
    JoinWordsAcrossColumns(*this);
  }
  for (auto* child : Children) {
    child->Analyse();
  }
}

}  // namespace qm
