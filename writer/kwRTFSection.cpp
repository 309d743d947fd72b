#include "writer/kwRTFSection.h"

namespace qm {

void TkwRTFColumnBreak::Write(std::string& AOut) {
  AOut += "\\column ";
  AOut += kCRLF;
}

TkwRTFSection::TkwRTFSection(std::uint8_t ASectionKind) : FSectionKind(ASectionKind) {}

TkwRTFElements& TkwRTFSection::GetHeaderList() {
  if (!FHeaderList) FHeaderList = std::make_unique<TkwRTFElements>();
  return *FHeaderList;
}

TkwRTFElements& TkwRTFSection::GetFooterList() {
  if (!FFooterList) FFooterList = std::make_unique<TkwRTFElements>();
  return *FFooterList;
}

void TkwRTFSection::Write(std::string& AOut) {
  const TkwPageSettings& ps = FPageSettings;
  switch (FSectionKind) {
    case kSectionContinuous:
      AOut += "\\sectd\\sbknone\\cols1{";
      break;
    case kSectionColumns:
      AOut += "\\sectd\\sbknone{\\cols";
      AppendInt(AOut, ColumnCount);
      for (std::size_t i = 0; i < Columns.size(); ++i) {
        AOut += "\\colno";
        AppendInt(AOut, static_cast<std::int64_t>(i) + 1);
        AOut += "\\colsr";
        AppendTwips(AOut, Columns[i].SpaceAfter);
        AOut += "\\colw";
        AppendTwips(AOut, Columns[i].Width);
        AOut += "\\marglsxn";
        AppendTwips(AOut, ps.NativeLeftMargin());
        AOut += "\\margrsxn";
        AppendTwips(AOut, ps.NativeRightMargin());
      }
      break;
    default:
      // No space before \sectd: after a line break it would be a text character.
      AOut += kCRLF;
      AOut += "\\sectd{";
      if (ps.GetOrientation() == TPrinterOrientation::poLandscape) AOut += "\\lndscpsxn";
      AOut += "\\dntblnsbdb\\pgwsxn";
      AppendTwips(AOut, ps.NativeWidth());
      AOut += "\\pghsxn";
      AppendTwips(AOut, ps.NativeHeight());
      AOut += "\\marglsxn";
      AppendTwips(AOut, ps.NativeLeftMargin());
      AOut += "\\margrsxn";
      AppendTwips(AOut, ps.NativeRightMargin());
      AOut += "\\margtsxn";
      AppendTwips(AOut, ps.NativeTopMargin());
      AOut += "\\margbsxn";
      AppendTwips(AOut, ps.NativeBottomMargin());
      if (ps.GetBinNumber() != 0) {
        AOut += "\\binfsxn";
        AppendInt(AOut, ps.GetBinNumber());
        AOut += "\\binsxn";
        AppendInt(AOut, ps.GetBinNumber());
      }
      AOut += "\\headery";
      AppendTwips(AOut, ps.NativeHeaderHeight());
      AOut += "\\footery";
      AppendTwips(AOut, ps.NativeFooterHeight());
      AOut += "\\sectdefaultcl";
      AOut += kCRLF;
      break;
  }
  if (FHeaderList && !FHeaderList->empty()) {
    AOut += "{\\header";
    for (auto& e : *FHeaderList) e->Write(AOut);
    AOut += "}";
    AOut += kCRLF;
  }
  // Pictures placed before the section's first paragraph get an anchor paragraph of their
  // own that takes no height: left bare, readers make an empty paragraph of a whole line
  // for them, which pushes the page's text down.
  std::size_t leading = 0;
  while (leading < FBody.size() && FBody[leading]->GetKind() == 5) ++leading;
  if (leading > 0) AOut += "{\\pard\\plain\\sb0\\sa0\\sl-1\\slmult0\\fs2 ";
  for (std::size_t i = 0; i < FBody.size(); ++i) {
    FBody[i]->Write(AOut);
    if (leading > 0 && i + 1 == leading) AOut += "\\par}";
  }
  if (FFooterList && !FFooterList->empty()) {
    AOut += "{\\footer";
    for (auto& e : *FFooterList) e->Write(AOut);
    AOut += "}";
    AOut += kCRLF;
  }
  AOut += "\\sect";
  AOut += kCRLF;
  AOut += "}";
}

TkwRTFSection& TkwRTFDocArea::AddSection(std::uint8_t AKind) {
  FSections.push_back(std::make_unique<TkwRTFSection>(AKind));
  return *FSections.back();
}

void TkwRTFDocArea::Write(std::string& AOut) {
  const TkwPageSettings& ps = FPageSettings;
  AOut += kCRLF;
  AOut += "\\paperw";
  AppendTwips(AOut, ps.NativeWidth());
  AOut += "\\paperh";
  AppendTwips(AOut, ps.NativeHeight());
  AOut += "\\margl";
  AppendTwips(AOut, ps.NativeLeftMargin());
  AOut += "\\margr";
  AppendTwips(AOut, ps.NativeRightMargin());
  AOut += "\\margt";
  AppendTwips(AOut, ps.NativeTopMargin());
  AOut += "\\margb";
  AppendTwips(AOut, ps.NativeBottomMargin());
  AOut += "\\headery";
  AppendTwips(AOut, ps.NativeHeaderHeight());
  AOut += "\\footery";
  AppendTwips(AOut, ps.NativeFooterHeight());
  AOut += "\\nouicompat\\lnbrkrule";
  for (auto& section : FSections) {
    AOut += "\\paperw";
    AppendTwips(AOut, section->GetPageSettings().NativeWidth());
    AOut += "\\paperh";
    AppendTwips(AOut, section->GetPageSettings().NativeHeight());
    section->Write(AOut);
  }
}

}  // namespace qm
