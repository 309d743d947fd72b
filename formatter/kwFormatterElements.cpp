#include "formatter/kwFormatterElements.h"

#include <algorithm>

#include "formatter/kwDrawingClassifier.h"
#include "formatter/kwFormatter.h"
#include "formatter/kwFormatterUtil.h"

namespace qm {

void TkwFormatterRect::Include(double ABottom, double ARight, double ATop, double ALeft) {
  if (Left == 0 || Left > ALeft) {
    Left = ALeft;
  }
  if (Top == 0 || Top > ATop) {
    Top = ATop;
  }
  if (ARight > Right) {
    Right = ARight;
  }
  if (ABottom > Bottom) {
    Bottom = ABottom;
  }
}

void TkwFormatterRect::IncludeRect(const TkwFormatterRect& AOther) {
  Include(AOther.Bottom, AOther.Right, AOther.Top, AOther.Left);
}

std::unique_ptr<TkwFormatterText> TkwFormatterText::Piece(std::size_t AFrom, std::size_t ATo, double AX,
                                                          double ARight) const {
  auto piece = std::make_unique<TkwFormatterText>();
  piece->JoinOwner(*this);
  piece->Text = Text.substr(AFrom, ATo - AFrom);
  if (GlyphRects.size() == Text.size()) {
    piece->GlyphRects.assign(GlyphRects.begin() + static_cast<std::ptrdiff_t>(AFrom),
                             GlyphRects.begin() + static_cast<std::ptrdiff_t>(ATo));
  }
  piece->X = AX;
  piece->Y = Y;
  piece->Right = ARight;
  piece->Width = ARight - AX;
  piece->Font = Font;
  piece->RunIndex = RunIndex;
  piece->CharSpacing = CharSpacing;
  piece->Id = Id;
  piece->Duplicate = Duplicate;
  piece->Rise = Rise;
  return piece;
}

void TkwFormatterTextLine::AddRun(std::unique_ptr<TkwFormatterText> ARun) {
  Runs.push_back(std::move(ARun));
  ++RunCount;
}

void TkwFormatterTextLine::InsertRun(std::unique_ptr<TkwFormatterText> ARun, int AIndex) {
  const auto at = std::clamp<std::ptrdiff_t>(AIndex, 0, static_cast<std::ptrdiff_t>(Runs.size()));
  Runs.insert(Runs.begin() + at, std::move(ARun));
  ++RunCount;
}

std::unique_ptr<TkwFormatterText> TkwFormatterTextLine::TakeRun(int AIndex) {
  if (AIndex < 0 || AIndex >= static_cast<int>(Runs.size())) {
    return nullptr;
  }
  auto run = std::move(Runs[static_cast<std::size_t>(AIndex)]);
  Runs.erase(Runs.begin() + AIndex);
  --RunCount;
  return run;
}

TkwFormatterText* TkwFormatterTextLine::Run(int AIndex) const {
  if (AIndex < 0 || AIndex >= static_cast<int>(Runs.size())) {
    return nullptr;
  }
  return Runs[static_cast<std::size_t>(AIndex)].get();
}

void TkwFormatterTextLine::SetHeight(double AValue) {
  Height = AValue;
  Rect.Bottom = Rect.Top + AValue;
}

void TkwFormatterTextLine::SetRight(double AValue) {
  Right = AValue;
  Width = Right - X;
}

void TkwFormatterTextLine::SetRunFontSize(const TFont& AFont) {
  for (auto& run : Runs) {
    fmt::SetFontSize(run->Font, fmt::FontSize(AFont));
  }
}

std::u16string TkwFormatterTextLine::Text() const {
  std::u16string text;
  for (const auto& run : Runs) {
    text += run->Text;
  }
  return text;
}

void TkwFormatterParagraph::AddLine(TkwFormatterTextLine* ALine) {
  Lines.push_back(ALine);
  ++LineCount;
}

TkwFormatterTable::TkwFormatterTable(int AColumnCount)
    : TkwFormatterContent(kElementTable),
      Columns(static_cast<std::size_t>(std::max(AColumnCount, 0))),
      ColumnCount(std::max(AColumnCount, 0)),
      CellRights(static_cast<std::size_t>(std::max(AColumnCount, 0)), 0.0) {}

void TkwFormatterTable::AddRow(double AHeight) {
  Rows.emplace_back(static_cast<std::size_t>(ColumnCount));
  RowLines.emplace_back();
  RowHeights.push_back(AHeight);
  ++RowCount;
}

void TkwFormatterTable::AddLine(int AColumn, TkwFormatterTextLine* ALine) {
  if (Rows.empty() || AColumn < 0 || AColumn >= ColumnCount) {
    return;
  }
  Rows.back()[static_cast<std::size_t>(AColumn)].push_back(ALine);
  Columns[static_cast<std::size_t>(AColumn)].push_back(ALine);
  RowLines.back().push_back(ALine);
}

void TkwFormatterColumn::AddItem(TkwFormatterTextLine* ALine) {
  Items.push_back(ALine);
  ++ItemCount;
}

TkwFormatterHSection::TkwFormatterHSection() : TkwFormatterElement(kElementHSection) {
  Columns.push_back(std::make_unique<TkwFormatterColumn>());
}

void TkwFormatterHSection::AddColumn(std::unique_ptr<TkwFormatterColumn> AColumn, int AIndex) {
  if (AIndex < 0 || AIndex >= static_cast<int>(Columns.size())) {
    Columns.push_back(std::move(AColumn));
  } else {
    Columns.insert(Columns.begin() + AIndex, std::move(AColumn));
  }
  ++ColumnCount;
}

TkwFormatterPage::TkwFormatterPage() : TkwFormatterElement(kElementPage) {}
TkwFormatterPage::~TkwFormatterPage() = default;

TkwFormatterTextLine* TkwFormatterPage::NewLine() {
  auto* line = StoreLine(std::make_unique<TkwFormatterTextLine>());
  Lines.push_back(line);
  return line;
}

TkwFormatterTextLine* TkwFormatterPage::StoreLine(std::unique_ptr<TkwFormatterTextLine> ALine) {
  FLineStore.push_back(std::move(ALine));
  return FLineStore.back().get();
}

}  // namespace qm
