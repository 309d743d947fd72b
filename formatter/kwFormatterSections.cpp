// Page analysis: line order, image overlap, horizontal sections, column detection and
// the decision whether side-by-side columns are a table.
#include <algorithm>
#include <cmath>

#include "base/Numbers.h"
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

bool IsTableLike(const TkwFormatterHSection& ASection) {
  const auto& columns = ASection.Columns;
  if (columns.empty()) {
    return false;
  }
  const auto& firstItems = columns[0]->Items;
  if (std::all_of(firstItems.begin(), firstItems.end(),
                  [](const auto* line) { return IsBulletText(line->Text()); })) {
    return false;
  }
  const TkwFormatterColumn* lastLooked = nullptr;
  for (const auto& column : columns) {
    lastLooked = column.get();
    const auto& items = column->Items;
    if (items.size() == 1) {
      return false;
    }
    std::size_t scanned = 0;
    for (const auto* line : items) {
      const auto text = line->Text();
      const auto number = ToInteger(text);
      if ((!number || *number == 0) && text.size() < 3) {
        break;
      }
      if (line->Runs.size() > 1 ||
          (line->Runs.size() == 1 && std::count(text.begin(), text.end(), u' ') > 2)) {
        break;
      }
      ++scanned;
    }
    if (scanned == items.size() && items.size() >= 2) {
      return true;
    }
  }
  bool result = true;
  if (lastLooked != nullptr) {
    const auto& items = lastLooked->Items;
    if (items.size() < 3 || FirstRunId(*items[1]) == LastRunId(*items[0]) + 1) {
      result = false;
    }
  }
  const TkwFormatterColumn* previous = nullptr;
  for (const auto& column : columns) {
    if (column->Items.empty()) {
      continue;
    }
    if (previous != nullptr) {
      if (FirstRunId(*column->Items[0]) != FirstRunId(*previous->Items[0]) + 1) {
        return false;
      }
      result = true;
    }
    previous = column.get();
  }
  if (columns.size() >= 2 &&
      std::all_of(columns.begin(), columns.end(), [](const auto& c) { return c->Items.size() == 1; })) {
    return false;
  }
  return result;
}

}  // namespace qm::fmt

namespace qm {

namespace {

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

// Columns of a band of side-by-side lines, from line AStart; returns the index of the
// last line the section took.
std::size_t DetectColumns(TkwFormatterHSection& ASection, const std::vector<TkwFormatterTextLine*>& ALines,
                          std::size_t AStart) {
  std::vector<TkwFormatterRect> slots;
  const auto place = [&](TkwFormatterTextLine* ALine) {
    const auto* run = ALine->Run(0);
    const double spaceHeight = run != nullptr ? fmt::Widths(ASection).SpaceHeight(run->Font) : ALine->Height;
    const TkwFormatterRect box(ALine->X, ALine->Y - spaceHeight, ALine->Right, ALine->Y);
    WidenSection(ASection, *ALine);
    bool beyond = false;
    int slot = fmt::ColumnSlot(box, slots, beyond);
    TkwFormatterColumn* column = nullptr;
    if (slot < 0) {
      slot = fmt::InsertSlot(slots, box);
      if (slots.size() == 1) {
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
    column->Rect = slots[static_cast<std::size_t>(slot)];
    column->AddItem(ALine);
  };

  // First row.
  std::size_t last = AStart;
  place(ALines[AStart]);
  while (last + 1 < ALines.size() && fmt::SideBySide(ALines[last], ALines[last + 1], 2)) {
    ++last;
    place(ALines[last]);
  }
  if (slots.size() < 2) {
    return last;
  }

  // Following rows, while they keep to the slots of the first.
  double prevGap = 0;
  double firstGap = 0;
  bool haveFirstGap = false;
  std::size_t next = last + 1;
  while (next < ALines.size()) {
    std::vector<TkwFormatterTextLine*> row{ALines[next]};
    std::size_t rowLast = next;
    while (rowLast + 1 < ALines.size() && fmt::SideBySide(ALines[rowLast], ALines[rowLast + 1], 2)) {
      ++rowLast;
      row.push_back(ALines[rowLast]);
    }
    auto trial = slots;
    std::vector<int> mapped;
    bool stop = false;
    int runOfSame = 1;
    bool twoInOne = false;
    for (std::size_t k = 0; k < row.size() && !stop; ++k) {
      const auto* line = row[k];
      const auto box = LineBox(*line);
      bool beyond = false;
      int slot = fmt::ColumnSlot(box, trial, beyond);
      if (slot < 0 && k > 0 && line->Y == row[k - 1]->Y && line->X > trial.back().Right) {
        slot = fmt::InsertSlot(trial, box);
      }
      if (slot < 0) {
        stop = true;
        break;
      }
      if (k > 0 && slot == mapped.back()) {
        ++runOfSame;
        twoInOne = true;
        if (runOfSame >= 3) {
          stop = true;
        }
      } else {
        runOfSame = 1;
      }
      mapped.push_back(slot);
    }
    if (stop) {
      break;
    }
    double rowTop = row[0]->Y;
    for (const auto* line : row) {
      rowTop = std::min(rowTop, line->Y);
    }
    const double gap = rowTop - ASection.Rect.Bottom;
    if (!haveFirstGap) {
      firstGap = gap;
      haveFirstGap = true;
    }
    if (prevGap > 0 && gap - prevGap > 5 && fmt::IsTableLike(ASection)) {
      break;
    }
    if (twoInOne && std::fabs(gap - firstGap) > 10) {
      break;
    }
    // Accepted: new slots get columns, every slot widens with its lines.
    for (std::size_t k = 0; k < trial.size(); ++k) {
      if (k >= ASection.Columns.size()) {
        auto fresh = std::make_unique<TkwFormatterColumn>();
        fresh->JoinOwner(ASection);
        ASection.AddColumn(std::move(fresh), -1);
      }
    }
    slots = std::move(trial);
    for (std::size_t k = 0; k < row.size(); ++k) {
      const auto slot = static_cast<std::size_t>(mapped[k]);
      slots[slot].IncludeRect(LineBox(*row[k]));
      auto& column = *ASection.Columns[slot];
      column.Rect = slots[slot];
      column.AddItem(row[k]);
      WidenSection(ASection, *row[k]);
    }
    prevGap = gap;
    last = rowLast;
    next = rowLast + 1;
  }
  return last;
}

}  // namespace

void TkwFormatterPage::Analyse() {
  std::stable_sort(Lines.begin(), Lines.end(), [](const auto* a, const auto* b) {
    return a->Y != b->Y ? a->Y < b->Y : a->X < b->X;
  });

  for (auto& image : Images) {
    const auto& r = image->Rect;
    for (const auto* line : Lines) {
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

  if (!Lines.empty()) {
    Lines[0]->FirstOnPage = true;
  }
  fmt::MergeLines(*this);

  Sections.clear();
  if (PageSettings == nullptr) {
    return;
  }
  const auto& lines = ResultLines;
  TkwFormatterHSection* current = nullptr;
  const auto addOrdinary = [&](TkwFormatterTextLine* ALine) {
    if (current == nullptr) {
      Sections.push_back(DefaultSection(*PageSettings, *this));
      current = Sections.back().get();
    }
    current->Columns[0]->AddItem(ALine);
    WidenSection(*current, *ALine);
  };
  if (fmt::Mode(*this) == TkwFormattingMode::fmFormattedWithTabs) {
    for (auto* line : lines) {
      addOrdinary(line);
    }
  } else {
    for (std::size_t n = 0; n < lines.size(); ++n) {
      if (n + 1 < lines.size() && fmt::SideBySide(lines[n], lines[n + 1], 2)) {
        auto section = std::make_unique<TkwFormatterHSection>();
        section->JoinOwner(*this);
        section->Columns[0]->JoinOwner(*this);
        auto* band = section.get();
        Sections.push_back(std::move(section));
        n = DetectColumns(*band, lines, n);
        current = nullptr;
        continue;
      }
      addOrdinary(lines[n]);
    }
  }
  for (auto& section : Sections) {
    section->Analyse();
  }
}

void TkwFormatterHSection::Analyse() {
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
    const double leftMargin = fmt::LeftMargin(*this);
    ColumnSections.assign(static_cast<std::size_t>(ColumnCount) + 1, TkwColumnSection{});
    double x = leftMargin;
    for (int i = 0; i < ColumnCount; ++i) {
      auto& column = *Columns[static_cast<std::size_t>(i)];
      auto& entry = ColumnSections[static_cast<std::size_t>(i)];
      if (i + 1 < ColumnCount) {
        entry.SpaceAfter = Columns[static_cast<std::size_t>(i + 1)]->Rect.Left - column.Rect.Right;
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
    // A word processor shares the whole text width out among the columns, in proportion
    // to their widths. The last column reaches to the right margin, so that the others keep
    // the page's widths; its paragraphs end where the page's text ends, by their indents.
    if (const auto* settings = fmt::CurrentPageSettings(*this); settings != nullptr && ColumnCount >= 2) {
      auto& last = *Columns.back();
      const double textRight = settings->GetWidth() - settings->GetRightMargin();
      const double room = textRight - last.Rect.Right;
      if (room > 0 && room < settings->GetWidth()) {
        ColumnSections[static_cast<std::size_t>(ColumnCount) - 1].Width += room;
        last.Rect.Right = textRight;
      }
    }
  }
  for (auto* child : Children) {
    child->Analyse();
  }
}

}  // namespace qm
