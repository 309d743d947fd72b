// Tables: rows from the columns of a band, cell alignment and table rendering.
#include <algorithm>
#include <cmath>

#include "base/Limits.h"
#include "base/Numbers.h"
#include "formatter/kwFormatter.h"
#include "formatter/kwFormatterUtil.h"

namespace qm::fmt {

namespace {
// The last column ends where its widest text ends; a word processor keeps a little padding
// inside each cell, so without this allowance that text would wrap onto a second line.
constexpr double kLastCellAllowance = 6;
// A line set up to this much higher than a row's top still belongs to that row.
constexpr double kRowTopSlack = 3;
}  // namespace

int RowSlot(std::vector<TkwFormatterRect>& ARows, const TkwFormatterRect& ABox) {
  const double top = ABox.Top + kRowTopSlack;
  for (std::size_t i = 0; i < ARows.size(); ++i) {
    const auto& row = ARows[i];
    const bool match = (row.Top <= top && top < row.Bottom) ||
                       (row.Top <= ABox.Bottom && ABox.Bottom <= row.Bottom) ||
                       (top <= row.Top && row.Top < ABox.Bottom) ||
                       (top <= row.Bottom && row.Bottom <= ABox.Bottom);
    if (match) {
      return static_cast<int>(i);
    }
    if (row.Top > ABox.Top) {
      ARows.insert(ARows.begin() + static_cast<std::ptrdiff_t>(i), ABox);
      return static_cast<int>(i);
    }
  }
  ARows.push_back(ABox);
  return static_cast<int>(ARows.size()) - 1;
}

}  // namespace qm::fmt

namespace qm {

namespace {

// The last row has no next row to measure to: its text box and this much below it.
constexpr double kLastRowPadding = 5;
// A cell's text this close to both the top and the bottom of its row is centred.
constexpr double kVAlignTolerance = 6;
// Lines of a cell closer than this share of their text height are one paragraph.
constexpr double kCellParagraphRatio = 0.25;
// Text starting at most this far left of its cell is set at the cell's edge.
constexpr double kCellIndentSlack = -2;
// A cell line goes on with the word the line above broke when it stands at most this many
// line heights below it, and starts at most kMaxBrokenWordShift points left or right of it.
constexpr double kMaxBrokenWordDrop = 2;
constexpr double kMaxBrokenWordShift = 12;
// Runs of one cell paragraph are never more than kMaxSpacesBetweenRuns spaces apart.

// The rows of a band in page order. A row inserted between others shifts the ones below,
// so lines refer to rows by identity until all are placed.
struct TTableRows {
  std::vector<TkwFormatterRect> Boxes;
  std::vector<int> Ids;      // row identity at each position
  std::vector<double> MinY;  // smallest baseline, by identity
  std::vector<std::pair<TkwFormatterTextLine*, int>> Placed;  // line, row identity
};

// Every non-blank line of every column finds its row: a wrapped cell line the row of the
// line before it, another line the row its box overlaps, or a new one.
TTableRows PlaceRows(const TkwFormatterHSection& ASection) {
  TTableRows rows;
  for (const auto& column : ASection.Columns) {
    const TkwFormatterTextLine* previous = nullptr;
    int previousRow = -1;
    for (auto* line : column->Items) {
      line->RowIndex = -1;
      if (fmt::Trim(line->Text()).empty()) {
        continue;
      }
      const TkwFormatterRect box(line->X, line->Y - line->Height, line->Right, line->Y);
      int id = -1;
      const auto* first = line->Run(0);
      const auto* prevLast = previous != nullptr ? previous->LastRun() : nullptr;
      if (previous != nullptr && first != nullptr && prevLast != nullptr && first->Id == prevLast->Id + 1) {
        id = previousRow;  // a wrapped cell line
        const auto at = static_cast<std::size_t>(std::find(rows.Ids.begin(), rows.Ids.end(), id) - rows.Ids.begin());
        rows.Boxes[at].IncludeRect(box);
      } else {
        const auto before = rows.Boxes.size();
        const int at = fmt::RowSlot(rows.Boxes, box);
        if (rows.Boxes.size() != before) {
          id = static_cast<int>(rows.MinY.size());
          rows.Ids.insert(rows.Ids.begin() + at, id);
          rows.MinY.push_back(line->Y);
        } else {
          id = rows.Ids[static_cast<std::size_t>(at)];
        }
      }
      rows.MinY[static_cast<std::size_t>(id)] = std::min(rows.MinY[static_cast<std::size_t>(id)], line->Y);
      rows.Placed.emplace_back(line, id);
      previous = line;
      previousRow = id;
    }
  }
  return rows;
}

// With all rows known, each line takes its row's position.
void NumberRows(const TTableRows& ARows) {
  std::vector<int> indexOf(ARows.MinY.size(), 0);
  for (std::size_t i = 0; i < ARows.Ids.size(); ++i) {
    indexOf[static_cast<std::size_t>(ARows.Ids[i])] = static_cast<int>(i);
  }
  for (const auto& [line, id] : ARows.Placed) {
    line->RowIndex = indexOf[static_cast<std::size_t>(id)];
  }
}

// Row heights run from baseline to baseline; each row takes its lines, column by column.
void FillRows(TkwFormatterTable& ATable, const TkwFormatterHSection& ASection, const TTableRows& ARows) {
  const auto& boxes = ARows.Boxes;
  for (std::size_t r = 0; r < boxes.size(); ++r) {
    const double rowY = ARows.MinY[static_cast<std::size_t>(ARows.Ids[r])];
    double height = r + 1 < boxes.size() ? ARows.MinY[static_cast<std::size_t>(ARows.Ids[r + 1])] - rowY
                                         : boxes[r].Bottom - boxes[r].Top + kLastRowPadding;
    ATable.AddRow(std::max(height, 0.0));
    for (int c = 0; c < ASection.ColumnCount; ++c) {
      // Every line of the row goes in, also one that comes after a later row's line.
      for (auto* line : ASection.Columns[static_cast<std::size_t>(c)]->Items) {
        if (line->RowIndex == static_cast<int>(r)) {
          ATable.AddLine(c, line);
          ATable.Rect.Include(line->Y + line->Height, line->Right, ATable.Rect.Top, ATable.Rect.Left);
        }
      }
    }
  }
}

// A cell ends where the next column starts; the last one where its text ends.
void SetCellRights(TkwFormatterTable& ATable, const TkwFormatterHSection& ASection) {
  const double leftMargin = fmt::LeftMargin(ASection);
  const int count = ASection.ColumnCount;
  for (int c = 0; c < count; ++c) {
    const auto cc = static_cast<std::size_t>(c);
    ATable.CellRights[cc] = c + 1 < count ? ASection.Columns[cc + 1]->Rect.Left - leftMargin
                                          : ASection.Columns[cc]->Rect.Right - leftMargin + fmt::kLastCellAllowance;
  }
}

}  // namespace

void TkwFormatterHSection::BuildTable() {
  const TTableRows rows = PlaceRows(*this);
  if (rows.Boxes.empty()) {
    return;
  }
  NumberRows(rows);
  auto table = std::make_unique<TkwFormatterTable>(ColumnCount);
  table->JoinOwner(*this);
  table->X = rows.Boxes[0].Left;
  table->Y = rows.Boxes[0].Top;
  table->Rect.Left = table->X;
  table->Rect.Top = table->Y;
  Rect.Left = table->Rect.Left;
  Rect.Top = table->Rect.Top;
  FillRows(*table, *this, rows);
  SetCellRights(*table, *this);
  Rect.Right = std::max(Rect.Right, table->Rect.Right);
  Rect.Bottom = std::max(Rect.Bottom, table->Rect.Bottom);
  Table = std::move(table);
}

void TkwFormatterTable::Analyse() {
  CellVAlign.clear();
  double top = Y;
  for (int j = 0; j < RowCount; ++j) {
    const double height = RowHeights[static_cast<std::size_t>(j)];
    for (int c = 0; c < ColumnCount; ++c) {
      const auto& cell = Rows[static_cast<std::size_t>(j)][static_cast<std::size_t>(c)];
      if (cell.empty()) {
        CellVAlign.push_back(TkwVAlignment::vaTop);
        continue;
      }
      double boxTop = cell[0]->Y;
      double boxBottom = cell[0]->Y + cell[0]->Height;
      for (const auto* line : cell) {
        boxTop = std::min(boxTop, line->Y);
        boxBottom = std::max(boxBottom, line->Y + line->Height);
      }
      const double d = top - boxTop;
      const double b = top + height - boxBottom;
      TkwVAlignment align = TkwVAlignment::vaTop;
      if (b - d > kVAlignTolerance) {
        align = TkwVAlignment::vaTop;
      } else if (std::fabs(d - b) <= kVAlignTolerance) {
        align = TkwVAlignment::vaCenter;
      } else if (d - b > kVAlignTolerance) {
        align = TkwVAlignment::vaBottom;
      }
      CellVAlign.push_back(align);
    }
    top += height;
  }
}

namespace {

// Tables draw no borders or shading, and cell paragraphs start unindented.
void PrepareWriter(TkwDocumentWriter& AWriter) {
  auto pen = AWriter.GetPen();
  pen.Width = 0;
  pen.Style = TPenStyle::psClear;
  AWriter.SetPen(pen);
  auto brush = AWriter.GetBrush();
  brush.Style = TBrushStyle::bsClear;
  AWriter.SetBrush(brush);
  auto& formatting = AWriter.GetTextFormatting();
  formatting.SetSpaceBefore(0);
  formatting.SetFirstLineIndent(0);
  formatting.SetAlignment(0);
}

// Where the line's last run breaks a word with a hyphen that ANext, the line after it in
// the same cell paragraph, goes on with; npos when it does not (or there is no such line).
std::size_t BrokenWordEnd(const TkwFormatterTextLine& ALine, const TkwFormatterTextLine* ANext) {
  const auto* last = ALine.LastRun();
  const auto* first = ANext != nullptr ? ANext->Run(0) : nullptr;
  if (last == nullptr || first == nullptr || first->Text.empty()) return std::u16string_view::npos;
  return fmt::WordBreakHyphen(last->Text, first->Text.front());
}

// The runs of a cell line. A line that continues a paragraph, and each run after the
// first, is set off from the text before it by as many spaces as the gap is wide;
// APreviousEnd carries the end of the last run written. A word the line before broke
// with a hyphen (AJoins) goes on without a space; AHyphen is where this line's last run
// breaks one, its hyphen written as an optional one that the reader shows only where it
// breaks the word itself.
void WriteCellLine(TkwDocumentWriter& AWriter, const TkwFormatterTextLine& ALine, bool AFresh, bool AJoins,
                   std::size_t AHyphen, double& APreviousEnd) {
  for (std::size_t i = 0; i < ALine.Runs.size(); ++i) {
    const auto& run = *ALine.Runs[i];
    AWriter.SetFont(run.Font);
    std::u16string text = run.Text;
    if (i + 1 == ALine.Runs.size() && AHyphen < text.size()) {
      text.resize(AHyphen);
      text += fmt::kSoftHyphen;
    }
    if (AFresh && i == 0) {
      AWriter.WriteText(text, 0, 0);
    } else {
      const double space = fmt::SpaceWidth(run, run.Font);
      int spaces = space > 0 ? RoundEven((run.X - APreviousEnd) / space) : 1;
      // Pieces of one paragraph are at least a word apart, never more than a line.
      spaces = i == 0 && AJoins ? 0 : std::clamp(spaces, i == 0 ? 1 : 0, kMaxSpacesBetweenRuns);
      AWriter.WriteText(std::u16string(static_cast<std::size_t>(spaces), u' ') + text, 0, 0);
    }
    APreviousEnd = run.X + run.Width;
  }
}

// The cells' right boundaries, given again for every row, with the borders and shading
// the page drew for each cell.
void SetRowCellRights(TkwDocumentWriter& AWriter, TkwFormatterTable& ATable, double ALeftMargin, std::size_t ARow) {
  auto& settings = AWriter.GetTableSettings();
  for (int k = 0; k < ATable.ColumnCount; ++k) {
    const auto kk = static_cast<std::size_t>(k);
    const std::size_t at = ARow * static_cast<std::size_t>(ATable.ColumnCount) + kk;
    for (int side = 0; side < 4; ++side) {
      settings.CellBorders[side] = at < ATable.CellBorders.size() ? ATable.CellBorders[at][static_cast<std::size_t>(side)]
                                                                  : TkwBorderLine{};
    }
    settings.CellShading = at < ATable.CellShading.size() ? ATable.CellShading[at] : clNone;
    settings.CellMergeAcross = at < ATable.CellMergeAcross.size() ? ATable.CellMergeAcross[at] : 0;
    settings.CellMergeDown = at < ATable.CellMergeDown.size() ? ATable.CellMergeDown[at] : 0;
    const double cellLeft = k == 0 ? ATable.X - ALeftMargin : ATable.CellRights[kk - 1];
    if (cellLeft == ATable.CellRights[kk]) {
      ATable.CellRights[kk] += 1;  // a cell of no width would swallow its neighbour
    }
    AWriter.SetCellRight(k, ATable.CellRights[kk]);
  }
}

// The lines of one cell, as paragraphs: a line that does not stand beside the one
// before starts a new one.
void RenderCell(TkwDocumentWriter& AWriter, TkwFormatterTable& ATable, std::size_t ARow, int AColumn,
                double ALeftMargin) {
  const auto kk = static_cast<std::size_t>(AColumn);
  const double cellLeft = AColumn == 0 ? ATable.X - ALeftMargin : ATable.CellRights[kk - 1];
  const TkwFormatterTextLine* previous = nullptr;
  bool open = false;
  bool joins = false;
  double previousEnd = 0;
  const auto& lines = ATable.Rows[ARow][kk];
  // Whether the line after AIndex goes on in its paragraph: pieces of one row line, or
  // the line right below that goes on with a word this one broke with a hyphen (the
  // reader breaks it there again where the cell is as narrow).
  const auto sameParagraph = [&](std::size_t AIndex) {
    if (AIndex + 1 >= lines.size()) return false;
    const auto* line = lines[AIndex];
    const auto* next = lines[AIndex + 1];
    if (fmt::SideBySide(line, next, kCellParagraphRatio * fmt::MaxTextHeight(*next))) return true;
    const double drop = next->Y - line->Y;
    return BrokenWordEnd(*line, next) != std::u16string_view::npos && drop > 0 &&
           drop < kMaxBrokenWordDrop * std::max(line->Height, next->Height) &&
           std::fabs(next->X - line->X) < kMaxBrokenWordShift;
  };
  for (std::size_t li = 0; li < lines.size(); ++li) {
    auto* line = lines[li];
    if (previous != nullptr && !sameParagraph(li - 1)) {
      AWriter.EndPara();
      open = false;
      joins = false;
    }
    auto& tf = AWriter.GetTextFormatting();
    tf.SetLineSpacing(0);
    const double indent = line->X - ALeftMargin - cellLeft;
    tf.SetLeftIndent(indent < kCellIndentSlack ? 0 : indent);
    tf.SetRightIndent(0);
    tf.SetFirstLineIndent(0);
    const bool fresh = !open;
    if (fresh) {
      const auto index = ARow * static_cast<std::size_t>(ATable.ColumnCount) + kk;
      AWriter.GetTableSettings().CellVAlign =
          index < ATable.CellVAlign.size() ? static_cast<std::uint8_t>(ATable.CellVAlign[index]) : 0;
      AWriter.BeginCellPara(AColumn);
      open = true;
    }
    if (auto* first = line->Run(0)) {
      if (const auto size = fmt::FitAndNotify(ATable, *first)) {
        for (auto& run : line->Runs) {
          fmt::SetFontSize(run->Font, *size);
        }
      }
    }
    const std::size_t hyphen = sameParagraph(li) ? BrokenWordEnd(*line, lines[li + 1]) : std::u16string_view::npos;
    WriteCellLine(AWriter, *line, fresh, joins, hyphen, previousEnd);
    joins = hyphen != std::u16string_view::npos;
    previous = line;
  }
  if (open) {
    AWriter.EndPara();
  }
}

}  // namespace

void TkwFormatterTable::Render(TkwDocumentWriter& AWriter) {
  PrepareWriter(AWriter);
  const double leftMargin = fmt::LeftMargin(*this);
  AWriter.BeginTable(ColumnCount, X - leftMargin, Y);
  for (int r = 0; r < RowCount; ++r) {
    const auto rr = static_cast<std::size_t>(r);
    AWriter.AddRow(RowHeights[rr]);
    SetRowCellRights(AWriter, *this, leftMargin, rr);
    for (int k = 0; k < ColumnCount; ++k) {
      RenderCell(AWriter, *this, rr, k, leftMargin);
    }
  }
  AWriter.EndTable();
  auto& settings = AWriter.GetTableSettings();
  for (auto& border : settings.CellBorders) border = {};
  settings.CellShading = clNone;
  settings.CellMergeAcross = settings.CellMergeDown = 0;
}

}  // namespace qm
