#include "writer/kwRTFTable.h"

#include <algorithm>
#include <cmath>

namespace qm {

namespace {

// Thinner than this no reader shows a border; wider than this RTF does not allow.
constexpr int kMinBorderTwips = 2;
constexpr int kMaxBorderTwips = 255;

// The border a side of a cell draws: its own, or the pen's on the sides the frame shows.
TkwBorderLine SideBorder(const TkwRTFCell& ACell, int ASide) {
  const TkwBorderLine& own = ACell.Borders[ASide];
  if (own.Style != TkwBorderStyle::bdNone) return own;
  TkwBorderLine line;
  const TPen& pen = ACell.Pen;
  const bool shown = ASide == sdLeft ? ACell.Frame.ShowLeft : ASide == sdTop ? ACell.Frame.ShowTop
                     : ASide == sdRight ? ACell.Frame.ShowRight : ACell.Frame.ShowBottom;
  if (pen.Style == TPenStyle::psClear || !shown || pen.Width <= 0) return line;
  switch (pen.Style) {
    case TPenStyle::psDot: line.Style = TkwBorderStyle::bdDotted; break;
    case TPenStyle::psDash:
    case TPenStyle::psDashDot:
    case TPenStyle::psDashDotDot: line.Style = TkwBorderStyle::bdDashed; break;
    default: line.Style = TkwBorderStyle::bdSingle; break;
  }
  line.Width = pen.Width;
  line.Color = pen.Color;
  return line;
}

}  // namespace

void AppendBorderLine(std::string& AOut, TkwRTFHeader& AHeader, const TkwBorderLine& ALine) {
  switch (ALine.Style) {
    case TkwBorderStyle::bdNone: return;
    case TkwBorderStyle::bdSingle: AOut += "\\brdrs"; break;
    case TkwBorderStyle::bdDotted: AOut += "\\brdrdot"; break;
    case TkwBorderStyle::bdDashed: AOut += "\\brdrdash"; break;
    case TkwBorderStyle::bdDouble: AOut += "\\brdrdb"; break;
  }
  AOut += "\\brdrw";
  AppendInt(AOut, std::clamp(NativeToTwips(ALine.Width), kMinBorderTwips, kMaxBorderTwips));
  AOut += "\\brdrcf";
  AppendInt(AOut, AHeader.ColorIndex(ALine.Color));
}

TkwRTFCell::TkwRTFCell(TkwRTFHeader& AHeader) : FHeader(AHeader) {}

void TkwRTFCell::WriteDefinition(std::string& AOut) {
  if (MergeAcross == 1) AOut += "\\clmgf";
  if (MergeAcross == 2) AOut += "\\clmrg";
  if (MergeDown == 1) AOut += "\\clvmgf";
  if (MergeDown == 2) AOut += "\\clvmrg";
  static constexpr const char* kSideWords[4] = {"\\clbrdrl", "\\clbrdrt", "\\clbrdrr", "\\clbrdrb"};
  // Only the sides that draw are written: a border word with no style after it is one
  // that readers show as nothing, or as a default of their own.
  for (int side : {sdTop, sdLeft, sdBottom, sdRight}) {
    const TkwBorderLine line = SideBorder(*this, side);
    if (line.Style == TkwBorderStyle::bdNone) continue;
    AOut += kSideWords[side];
    AppendBorderLine(AOut, FHeader, line);
  }
  TColor background = Shading;
  switch (Brush.Style) {
    using enum TBrushStyle;
    case bsSolid: background = Brush.Color; break;
    case bsClear: break;
    case bsHorizontal: AOut += "\\clbghoriz"; break;
    case bsVertical: AOut += "\\clbgvert"; break;
    case bsFDiagonal: AOut += "\\clbgfdiag"; break;
    case bsBDiagonal: AOut += "\\clbgbdiag"; break;
    case bsCross: AOut += "\\clbgcross"; break;
    case bsDiagCross: AOut += "\\clbgdcross"; break;
  }
  if (Brush.Style != TBrushStyle::bsSolid && Brush.Style != TBrushStyle::bsClear) {
    AOut += "\\clcfpat";
    AppendInt(AOut, FHeader.ColorIndex(Brush.Color));
  }
  if (background != clNone) {
    AOut += "\\clcbpat";
    AppendInt(AOut, FHeader.ColorIndex(background));
  }
  AOut += VAlign == 1 ? "\\clvertalc" : VAlign == 2 ? "\\clvertalb" : "\\clvertalt";
  AOut += HAlign == 1 ? "\\qr" : HAlign == 2 ? "\\qc" : "\\ql";
  AOut += "\\cellx";
  AppendTwips(AOut, RightBoundary);
  AOut += kCRLF;
}

void TkwRTFCell::Write(std::string& AOut) {
  AOut += kCRLF;
  for (std::size_t i = 0; i < FParagraphs.size(); ++i) {
    const std::size_t mark = AOut.size();
    FParagraphs[i]->Write(AOut);
    if (AOut.size() == mark) continue;  // a paragraph that failed wrote nothing, so nothing to close
    AOut += i + 1 < FParagraphs.size() ? "\\par}" : "}";
  }
  AOut += "\\cell";
  AOut += kCRLF;
}

TkwRTFTableItem::TkwRTFTableItem(TkwRTFHeader& AHeader, double ALeftOffset, double ATop)
    : LeftOffset(ALeftOffset), Top(ATop), FHeader(AHeader) {}

void TkwRTFTableItem::AddRow(int ACellCount, double AHeight) {
  TRow& row = FRows.emplace_back();
  for (int i = 0; i < ACellCount; ++i) row.Cells.push_back(std::make_unique<TkwRTFCell>(FHeader));
  row.Height = AHeight;
}

TkwRTFCell* TkwRTFTableItem::LastRowCell(int ACellIndex) {
  if (FRows.empty() || ACellIndex < 0) return nullptr;
  auto& cells = FRows.back().Cells;
  return static_cast<std::size_t>(ACellIndex) < cells.size() ? cells[static_cast<std::size_t>(ACellIndex)].get()
                                                             : nullptr;
}

void TkwRTFTableItem::Write(std::string& AOut) {
  AOut += kCRLF;
  AOut += "{";
  for (TRow& row : FRows) {
    AOut += "\\pard\\trowd\\trql\\trrh";
    // An automatic row lets the reader size it to its content; every other row keeps the
    // exact height measured on the page.
    if (row.Height == kAutoRowHeight) {
      AOut += "0";
    } else {
      AOut += "-";
      AppendTwips(AOut, std::fabs(row.Height));
    }
    AOut += "\\trleft";
    AppendTwips(AOut, LeftOffset);
    AOut += kCRLF;
    for (auto& cell : row.Cells) cell->WriteDefinition(AOut);
    for (auto& cell : row.Cells) cell->Write(AOut);
    AOut += " \\pard\\intbl \\row ";
  }
  AOut += "\\pard}";
  AOut += kCRLF;
}

}  // namespace qm
