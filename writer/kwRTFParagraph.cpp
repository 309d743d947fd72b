#include "writer/kwRTFParagraph.h"

#include <cmath>
#include <new>

#include "base/kwScopeGuard.h"
#include "writer/kwRTFTable.h"

namespace qm {

TkwRTFParagraph::TkwRTFParagraph(TkwRTFHeader& AHeader, std::uint8_t AFlags, int AStyleIndex)
    : StyleIndex(AStyleIndex), FFlags(AFlags), FHeader(AHeader) {}

void TkwRTFParagraph::AddRun(std::u16string_view AText, int AFontIndex, double ATabPosition,
                             double ACharSpacing, int ACharset, int ASize, TFontStyles AStyle,
                             int AColorIndex) {
  TkwTextItem& run = FItem.Runs.emplace_back();
  run.FontIndex = AFontIndex;
  run.ColorIndex = AColorIndex;
  run.Text = AText;
  run.Style = AStyle;
  run.Size = ASize;
  run.Charset = ACharset;
  run.CharSpacing = ACharSpacing;
  run.TabPosition = ATabPosition;
}

void TkwRTFParagraph::AddBookmarkRun(std::u16string_view AText, int AFontIndex,
                                     std::u16string_view ABookmarkName, double ATabPosition,
                                     double ACharSpacing, int ACharset, int ASize,
                                     TFontStyles AStyle, int AColorIndex) {
  AddRun(AText, AFontIndex, ATabPosition, ACharSpacing, ACharset, ASize, AStyle, AColorIndex);
  FItem.Runs.back().HasBookmark = true;
  FItem.Runs.back().BookmarkName = std::make_shared<const std::u16string>(ABookmarkName);
}

void TkwRTFParagraph::Write(std::string& AOut) {
  const std::size_t mark = AOut.size();
  // A paragraph that cannot be written contributes nothing rather than half a group.
  TkwScopeGuard truncate([&] { AOut.resize(mark); });
  try {
    AOut += kCRLF;
    WriteBody(AOut);
    AOut += kCRLF;
    truncate.Dismiss();
  } catch (const std::bad_alloc&) {
    throw;  // a document silently short of text is worse than a failed job
  } catch (...) {
  }
}

void TkwRTFParagraph::WriteBody(std::string& AOut) {
  const TkwTextFormatting& tf = FItem.TextFormatting;
  const bool inTable = InTable();
  AOut += inTable ? "\\pard\\intbl" : "{\\pard";
  if ((FFlags & kParaInList) && ListIndex >= 0 && ListIndex < FHeader.GetListCount()) {
    AOut += "\\";
    AOut += FHeader.ListAt(ListIndex).ListName;
  }
  switch (tf.GetAlignment()) {
    case 1: AOut += "\\qr"; break;
    case 2: AOut += "\\qc"; break;
    case 3: AOut += "\\qj"; break;
    default: AOut += "\\ql"; break;
  }
  AOut += "\\fi";
  AppendTwips(AOut, tf.NativeFirstLineIndent());
  AOut += "\\li";
  AppendTwips(AOut, tf.NativeLeftIndent());
  AOut += "\\ri";
  AppendTwips(AOut, tf.NativeRightIndent());
  AOut += "\\sb";
  AppendTwips(AOut, tf.NativeSpaceBefore());
  if (tf.GetLineSpacingEnabled()) {
    AOut += "\\sl";
    if (!tf.GetLineSpacingAtLeast()) AOut += "-";
    AppendTwips(AOut, std::fabs(tf.NativeLineSpacing()));
    AOut += "\\slmult0";
  }
  const TkwParaBorder& border = tf.GetBorder();
  if (border.DrawLeft || border.DrawRight || border.DrawTop || border.DrawBottom) {
    // Each side in full: its style, width and colour, then its distance from the text.
    TkwBorderLine line;
    line.Style = border.Style == TPenStyle::psDot    ? TkwBorderStyle::bdDotted
                 : border.Style == TPenStyle::psDash ? TkwBorderStyle::bdDashed
                                                     : TkwBorderStyle::bdSingle;
    line.Width = border.Width;
    line.Color = border.Color;
    std::string side;
    AppendBorderLine(side, FHeader, line);
    side += "\\brsp";
    AppendTwips(side, border.Spacing);
    if (border.DrawTop) AOut += "\\brdrt" + side;
    if (border.DrawLeft) AOut += "\\brdrl" + side;
    if (border.DrawBottom) AOut += "\\brdrb" + side;
    if (border.DrawRight) AOut += "\\brdrr" + side;
  }
  // A filled area behind the text: the paragraph's background.
  if (FItem.Brush.Style == TBrushStyle::bsSolid && FItem.Brush.Color != clWhite && FItem.Brush.Color != clNone) {
    AOut += "\\cbpat";
    AppendInt(AOut, FHeader.ColorIndex(FItem.Brush.Color));
  }
  // The tab stops go with the paragraph's formatting as well: a reader that applies
  // paragraph properties only from the paragraph's start (LibreOffice) misses the ones
  // written beside their tabs.
  const auto leader = [&tf](double APosition) {
    return tf.NativeLeaderTab() > 0 && NativeToTwips(APosition) == NativeToTwips(tf.NativeLeaderTab());
  };
  for (const TkwTextItem& run : FItem.Runs) {
    if (run.TabPosition > 0) {
      if (leader(run.TabPosition)) AOut += "\\tqr\\tldot";
      AOut += "\\tx";
      AppendTwips(AOut, run.TabPosition);
    }
  }
  if (inTable) AOut += "{";
  for (TkwRTFElement* anchored : Anchored) anchored->Write(AOut);

  const TkwStyleManager& styles = FHeader.GetStyleManager();
  const bool styled = StyleIndex >= 0 && StyleIndex < styles.GetCount();
  std::string styleFormat;
  if (styled) {
    const TkwStyle& style = styles.StyleAt(StyleIndex);
    styleFormat = " \\" + style.Name;
    AppendCharFormat(styleFormat, FHeader.FontIndex(style.Font), FHeader.ColorIndex(style.Color),
                     style.Font.Size, style.Font.Style);
  }
  int rise = 0;
  for (const TkwTextItem& run : FItem.Runs) {
    if (StyleIndex == -1 || !styled) {
      AppendCharFormat(AOut, run.FontIndex, run.ColorIndex, run.Size, run.Style);
    } else {
      AOut += styleFormat;
    }
    // The offset is a character property that lasts until changed: written where it changes.
    if (run.RiseHalfPoints != rise) {
      rise = run.RiseHalfPoints;
      AOut += rise >= 0 ? "\\up" : "\\dn";
      AppendInt(AOut, rise >= 0 ? rise : -rise);
    }
    AOut += " \\expndtw";
    AppendTwips(AOut, run.CharSpacing);
    AOut += " ";
    if (run.TabPosition > 0) {
      if (leader(run.TabPosition)) AOut += "\\tqr\\tldot";
      AOut += "\\tx";
      AppendTwips(AOut, run.TabPosition);
      AOut += "\\tab ";
    }
    const bool bookmark = run.HasBookmark && run.BookmarkName && !inTable;
    if (bookmark) {
      AOut += "{\\*\\bkmkstart ";
      AppendEscaped(AOut, *run.BookmarkName);
      AOut += "}";
    }
    AppendEscaped(AOut, run.Text);
    if (bookmark) {
      AOut += "{\\*\\bkmkend ";
      AppendEscaped(AOut, *run.BookmarkName);
      AOut += "}";
    }
  }
  if (!inTable) AOut += "\\par}";
}

}  // namespace qm
