#include "writer/kwRTFTable.h"

#include <cmath>

namespace qm {

namespace {

void AppendBorder(std::string& AOut, const TPen& APen, const TkwFrame& AFrame) {
  using enum TPenStyle;
  if (APen.Style == psClear) return;
  switch (APen.Style) {
    case psDash: AOut += "\\brdrdash"; break;
    case psDot: AOut += "\\brdrdot"; break;
    case psDashDot: AOut += "\\brdrdashd"; break;
    case psDashDotDot: AOut += "\\brdrdashdd"; break;
    default: AOut += "\\brdrs"; break;
  }
  AOut += "\\brdrw";
  AppendTwips(AOut, APen.Width);
  if (!AFrame.ShowTop) AOut += "\\brdrt";
  if (!AFrame.ShowRight) AOut += "\\brdrr";
  if (!AFrame.ShowBottom) AOut += "\\brdrb";
  if (!AFrame.ShowLeft) AOut += "\\brdrl";
}

}  // namespace

TkwRTFCell::TkwRTFCell(TkwRTFHeader& AHeader) : FHeader(AHeader) {}

void TkwRTFCell::WriteDefinition(std::string& AOut) {
  std::string border;
  AppendBorder(border, Pen, Frame);
  AOut += "\\clbrdrl";
  AOut += border;
  AOut += "\\clbrdrt";
  AOut += border;
  AOut += "\\clbrdrr";
  AOut += border;
  AOut += "\\clbrdrb";
  AOut += border;
  switch (Brush.Style) {
    using enum TBrushStyle;
    case bsSolid: AOut += "\\clshdng10000"; break;
    case bsClear: AOut += "\\clshdng0"; break;
    case bsHorizontal: AOut += "\\clbghoriz"; break;
    case bsVertical: AOut += "\\clbgvert"; break;
    case bsFDiagonal: AOut += "\\clbgfdiag"; break;
    case bsBDiagonal: AOut += "\\clbgbdiag"; break;
    case bsCross: AOut += "\\clbgcross"; break;
    case bsDiagCross: AOut += "\\clbgdcross"; break;
  }
  AOut += "\\clcfpat";
  AppendInt(AOut, FHeader.ColorIndex(Brush.Color));
  AOut += "\\clcbpat";
  AppendInt(AOut, FHeader.ColorIndex(clWhite));
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
