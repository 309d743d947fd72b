// Tables: rows from the columns of a band, cell alignment and table rendering.
#include <algorithm>
#include <cmath>

#include "base/Numbers.h"
#include "formatter/kwFormatter.h"
#include "formatter/kwFormatterUtil.h"

namespace qm::fmt {

namespace {
// The last column ends where its widest text ends; a word processor keeps a little padding
// inside each cell, so without this allowance that text would wrap onto a second line.
constexpr double kLastCellAllowance = 6;
}  // namespace

int RowSlot(std::vector<TkwFormatterRect>& ARows, const TkwFormatterRect& ABox) {
  const double top = ABox.Top + 3;  // a line set a little higher still belongs to its row
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

void TkwFormatterHSection::BuildTable() {
  struct TRowInfo {
    TkwFormatterRect Box;
    double MinY = 0;
  };
  // Rows are kept in page order; a row inserted between others shifts the ones below,
  // so lines refer to rows by identity until all are placed.
  std::vector<TkwFormatterRect> boxes;
  std::vector<int> ids;  // row identity at each position
  std::vector<double> minY;  // by identity
  std::vector<std::pair<TkwFormatterTextLine*, int>> placed;  // line, row identity
  for (auto& column : Columns) {
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
        const auto at = static_cast<std::size_t>(std::find(ids.begin(), ids.end(), id) - ids.begin());
        boxes[at].IncludeRect(box);
      } else {
        const auto before = boxes.size();
        const int at = fmt::RowSlot(boxes, box);
        if (boxes.size() != before) {
          id = static_cast<int>(minY.size());
          ids.insert(ids.begin() + at, id);
          minY.push_back(line->Y);
        } else {
          id = ids[static_cast<std::size_t>(at)];
        }
      }
      minY[static_cast<std::size_t>(id)] = std::min(minY[static_cast<std::size_t>(id)], line->Y);
      placed.emplace_back(line, id);
      previous = line;
      previousRow = id;
    }
  }
  if (boxes.empty()) {
    return;
  }
  std::vector<int> indexOf(minY.size(), 0);
  for (std::size_t i = 0; i < ids.size(); ++i) {
    indexOf[static_cast<std::size_t>(ids[i])] = static_cast<int>(i);
  }
  for (auto& [line, id] : placed) {
    line->RowIndex = indexOf[static_cast<std::size_t>(id)];
  }

  auto table = std::make_unique<TkwFormatterTable>(ColumnCount);
  table->JoinOwner(*this);
  table->X = boxes[0].Left;
  table->Y = boxes[0].Top;
  table->Rect.Left = table->X;
  table->Rect.Top = table->Y;
  Rect.Left = table->Rect.Left;
  Rect.Top = table->Rect.Top;
  const double leftMargin = fmt::LeftMargin(*this);
  for (std::size_t r = 0; r < boxes.size(); ++r) {
    const double rowY = minY[static_cast<std::size_t>(ids[r])];
    double height = r + 1 < boxes.size() ? minY[static_cast<std::size_t>(ids[r + 1])] - rowY
                                         : boxes[r].Bottom - boxes[r].Top + 5;
    table->AddRow(std::max(height, 0.0));
    for (int c = 0; c < ColumnCount; ++c) {
      // Every line of the row goes in, also one that comes after a later row's line.
      for (auto* line : Columns[static_cast<std::size_t>(c)]->Items) {
        if (line->RowIndex == static_cast<int>(r)) {
          table->AddLine(c, line);
          table->Rect.Include(line->Y + line->Height, line->Right, table->Rect.Top, table->Rect.Left);
        }
      }
    }
  }
  for (int c = 0; c < ColumnCount; ++c) {
    const auto cc = static_cast<std::size_t>(c);
    table->CellRights[cc] = c + 1 < ColumnCount ? Columns[cc + 1]->Rect.Left - leftMargin
                                                : Columns[cc]->Rect.Right - leftMargin + fmt::kLastCellAllowance;
  }
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
      if (b - d > 6) {
        align = TkwVAlignment::vaTop;
      } else if (std::fabs(d - b) <= 6) {
        align = TkwVAlignment::vaCenter;
      } else if (d - b > 6) {
        align = TkwVAlignment::vaBottom;
      }
      CellVAlign.push_back(align);
    }
    top += height;
  }
}

void TkwFormatterTable::Render(TkwDocumentWriter& AWriter) {
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

  const double leftMargin = fmt::LeftMargin(*this);
  AWriter.BeginTable(ColumnCount, X - leftMargin, Y);
  for (int r = 0; r < RowCount; ++r) {
    const auto rr = static_cast<std::size_t>(r);
    AWriter.AddRow(RowHeights[rr]);
    for (int k = 0; k < ColumnCount; ++k) {
      const auto kk = static_cast<std::size_t>(k);
      const double cellLeft = k == 0 ? X - leftMargin : CellRights[kk - 1];
      if (cellLeft == CellRights[kk]) {
        CellRights[kk] += 1;
      }
      AWriter.SetCellRight(k, CellRights[kk]);
    }
    for (int k = 0; k < ColumnCount; ++k) {
      const auto kk = static_cast<std::size_t>(k);
      const double cellLeft = k == 0 ? X - leftMargin : CellRights[kk - 1];
      const auto& cell = Rows[rr][kk];
      const TkwFormatterTextLine* previous = nullptr;
      bool open = false;
      double previousEnd = 0;
      for (auto* line : cell) {
        const double h = fmt::MaxTextHeight(*line);
        if (previous != nullptr && !fmt::SideBySide(previous, line, 0.25 * h)) {
          AWriter.EndPara();
          open = false;
        }
        auto& tf = AWriter.GetTextFormatting();
        tf.SetLineSpacing(0);
        const double indent = line->X - leftMargin - cellLeft;
        tf.SetLeftIndent(indent < -2 ? 0 : indent);
        tf.SetRightIndent(0);
        tf.SetFirstLineIndent(0);
        const bool fresh = !open;
        if (fresh) {
          const auto index = rr * static_cast<std::size_t>(ColumnCount) + kk;
          AWriter.GetTableSettings().CellVAlign =
              index < CellVAlign.size() ? static_cast<std::uint8_t>(CellVAlign[index]) : 0;
          AWriter.BeginCellPara(k);
          open = true;
        }
        if (auto* first = line->Run(0)) {
          if (const auto size = fmt::FitAndNotify(*this, *first)) {
            for (auto& run : line->Runs) {
              fmt::SetFontSize(run->Font, *size);
            }
          }
        }
        for (std::size_t i = 0; i < line->Runs.size(); ++i) {
          const auto& run = *line->Runs[i];
          AWriter.SetFont(run.Font);
          if (fresh) {
            AWriter.WriteText(run.Text, 0, 0);
          } else {
            const double space = fmt::SpaceWidth(run, run.Font);
            int spaces = space > 0 ? RoundEven((run.X - previousEnd) / space) : 1;
            // Pieces of one paragraph are at least a word apart, never more than a line.
            spaces = std::clamp(spaces, i == 0 ? 1 : 0, 200);
            AWriter.WriteText(std::u16string(static_cast<std::size_t>(spaces), u' ') + run.Text, 0, 0);
          }
          previousEnd = run.X + run.Width;
        }
        previous = line;
      }
      if (open) {
        AWriter.EndPara();
      }
    }
  }
  AWriter.EndTable();
}

}  // namespace qm
