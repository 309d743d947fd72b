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

// Tables are written row by row, so each column's first run comes right after the one
// of the column before. Nothing when a column breaks that; else whether two columns
// were compared.
std::optional<bool> WrittenAcross(const std::vector<std::unique_ptr<TkwFormatterColumn>>& AColumns) {
  bool compared = false;
  const TkwFormatterColumn* previous = nullptr;
  for (const auto& column : AColumns) {
    if (column->Items.empty()) {
      continue;
    }
    if (previous != nullptr) {
      if (FirstRunId(*column->Items[0]) != FirstRunId(*previous->Items[0]) + 1) {
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

// Cuts the page's result lines into bands: runs of ordinary lines share a default
// section, and every run of side-by-side lines gets a section whose columns are detected.
void BuildSections(TkwFormatterPage& APage) {
  const auto& lines = APage.ResultLines;
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
    for (auto* line : lines) {
      if (addGrid(line)) continue;
      addOrdinary(line);
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

void TkwFormatterPage::Analyse() {
  SortLines(Lines);
  MarkImagesOverText(*this);
  if (!Lines.empty()) {
    Lines[0]->FirstOnPage = true;
  }
  fmt::MergeLines(*this);
  InsertGridPlaceholders(*this);

  Sections.clear();
  if (PageSettings == nullptr) {
    return;
  }
  BuildSections(*this);
  for (auto& section : Sections) {
    section->Analyse();
  }
}

namespace {

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

void TkwFormatterHSection::Analyse() {
  if (FromGrid && Table) {
    Children.assign(1, Table.get());
    Table->Analyse();
    return;
  }
  ColumnCount = static_cast<int>(Columns.size());
  IsTable = false;
  Children.clear();
  if (ColumnCount > 1) {
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
  }
  for (auto* child : Children) {
    child->Analyse();
  }
}

}  // namespace qm
