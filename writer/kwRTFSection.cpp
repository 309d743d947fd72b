#include "writer/kwRTFSection.h"

#include "writer/kwRTFParagraph.h"

namespace qm {

namespace {
// Element kinds (TkwRTFElement::GetKind) the section writer tells apart.
constexpr std::uint8_t kKindParagraph = 4;
constexpr std::uint8_t kKindPicture = 5;
constexpr std::uint8_t kKindShape = 8;
constexpr std::uint8_t kKindColumnBreak = 9;
}  // namespace

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
  std::vector<TkwRTFElement*> anchors;
  Write(AOut, anchors, true);
}

void TkwRTFSection::Write(std::string& AOut, std::vector<TkwRTFElement*>& AAnchors, bool AWriteWaiting) {
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
  // A picture or shape between paragraphs would make a reader open an empty paragraph
  // for it, a line's height that moves the page's text down and can make it spill: it is
  // anchored in the next paragraph, which starts where that empty one would have. With no
  // paragraph to follow on its page (or a table next), it gets an anchor paragraph of its
  // own that takes no height.
  // A table must be followed by a paragraph before a column or section break: a reader
  // adds one of the default font's height otherwise, which can make the page spill. That
  // paragraph takes no height either.
  bool afterTable = false;
  const auto writeWaiting = [&](bool AWithAnchors = true) {
    if ((AAnchors.empty() || !AWithAnchors) && !afterTable) return;
    AOut += "{\\pard\\plain\\sb0\\sa0\\sl-1\\slmult0\\fs2 ";
    if (AWithAnchors) {
      for (TkwRTFElement* e : AAnchors) e->Write(AOut);
      AAnchors.clear();
    }
    AOut += "\\par}";
    afterTable = false;
  };
  for (auto& e : FBody) {
    const std::uint8_t kind = e->GetKind();
    if (kind == kKindPicture || kind == kKindShape) {
      AAnchors.push_back(e.get());
      continue;
    }
    auto* paragraph = kind == kKindParagraph ? static_cast<TkwRTFParagraph*>(e.get()) : nullptr;
    if (paragraph != nullptr && !paragraph->InTable()) {
      paragraph->Anchored = std::move(AAnchors);
      AAnchors.clear();
      paragraph->Write(AOut);
      paragraph->Anchored.clear();
      afterTable = false;
      continue;
    }
    writeWaiting();
    e->Write(AOut);
    afterTable = kind != kKindColumnBreak && paragraph == nullptr;
  }
  writeWaiting(AWriteWaiting);
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
  std::vector<TkwRTFElement*> anchors;
  for (std::size_t i = 0; i < FSections.size(); ++i) {
    auto& section = FSections[i];
    // Pictures wait for a paragraph only within their page.
    const bool pageEnds = i + 1 == FSections.size() || FSections[i + 1]->GetSectionKind() == kSectionNewPage;
    // A reader gives an empty section on the page (columns ended and begun again at once)
    // a line of its own, which moves the rest of the page down.
    if (section->GetSectionKind() != kSectionNewPage && section->IsEmpty() && (anchors.empty() || !pageEnds)) {
      continue;
    }
    AOut += "\\paperw";
    AppendTwips(AOut, section->GetPageSettings().NativeWidth());
    AOut += "\\paperh";
    AppendTwips(AOut, section->GetPageSettings().NativeHeight());
    section->Write(AOut, anchors, pageEnds);
  }
}

}  // namespace qm
