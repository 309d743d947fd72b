#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "writer/kwRTFHeader.h"
#include "writer/kwRTFParagraph.h"
#include "writer/kwWriterClasses.h"

namespace qm {

// Appends a border in full: its style word, \brdrwN and \brdrcfN; nothing for bdNone.
void AppendBorderLine(std::string& AOut, TkwRTFHeader& AHeader, const TkwBorderLine& ALine);

class TkwRTFCell final : public TkwRTFElement {
public:
  explicit TkwRTFCell(TkwRTFHeader& AHeader);
  // The cell's definition words (borders, shading, alignment, \cellx).
  void WriteDefinition(std::string& AOut);
  void Write(std::string& AOut) override;

  void AddParagraph(std::unique_ptr<TkwRTFParagraph> APara) { FParagraphs.push_back(std::move(APara)); }
  [[nodiscard]] int GetParagraphCount() const { return static_cast<int>(FParagraphs.size()); }

  double Width = -1;  // kept, not written
  std::uint8_t HAlign = 0;  // 0 left, 1 right, 2 centre
  std::uint8_t VAlign = 0;  // 0 top, 1 centre, 2 bottom
  double RightBoundary = 0;  // native units
  TPen Pen;
  TBrush Brush{clWhite, TBrushStyle::bsClear};
  TkwFrame Frame;
  // Borders by side (TkwSide); a side without a style falls back to the pen.
  TkwBorderLine Borders[4];
  TColor Shading = clNone;       // background colour, clNone for none
  std::uint8_t MergeAcross = 0;  // 0 none, 1 first of a merge, 2 merged into the cell before
  std::uint8_t MergeDown = 0;    // the same, with the cell above

private:
  std::vector<std::unique_ptr<TkwRTFParagraph>> FParagraphs;
  TkwRTFHeader& FHeader;  // not owned
};

// Height of a row that takes the height of its content.
inline constexpr double kAutoRowHeight = -1;

class TkwRTFTableItem final : public TkwRTFElement {
public:
  TkwRTFTableItem(TkwRTFHeader& AHeader, double ALeftOffset, double ATop);
  void Write(std::string& AOut) override;

  // Appends a row of ACellCount cells.
  void AddRow(int ACellCount, double AHeight);
  [[nodiscard]] int GetRowCount() const { return static_cast<int>(FRows.size()); }
  // The cell of the last row, or nullptr when there is no such cell.
  [[nodiscard]] TkwRTFCell* LastRowCell(int ACellIndex);

  double LeftOffset = 0;
  double Top = 0;  // kept, not written

private:
  struct TRow {
    std::vector<std::unique_ptr<TkwRTFCell>> Cells;
    double Height = kAutoRowHeight;
  };
  std::vector<TRow> FRows;
  TkwRTFHeader& FHeader;  // not owned
};

}  // namespace qm
