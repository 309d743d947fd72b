#include "writer/kwRTFTextBox.h"

#include "writer/kwRTFShapes.h"

namespace qm {

TkwRTFTextbox::TkwRTFTextbox(const TkwRect& ARect, std::uint8_t AHAlign, std::uint8_t AVAlign,
                             const TPen& APen)
    : Rect(ARect), HAlign(AHAlign), VAlign(AVAlign), Pen(APen) {}

void TkwRTFTextbox::Write(std::string& AOut) {
  AOut += kCRLF;
  AOut += "{\\shp{\\*\\shpinst\\shpleft";
  AppendTwips(AOut, Rect.Left);
  AOut += "\\shptop";
  AppendTwips(AOut, Rect.Top);
  AOut += "\\shpright";
  AppendTwips(AOut, Rect.Right);
  AOut += "\\shpbottom";
  AppendTwips(AOut, Rect.Bottom);
  AOut += HeaderShape ? "\\shpfhdr1" : "\\shpfhdr0";
  AOut += "{\\sp{\\sn dxTextLeft}{\\sv 0}}{\\sp{\\sn dyTextTop}{\\sv 0}}"
          "{\\sp{\\sn dxTextRight}{\\sv 0}}{\\sp{\\sn dyTextBottom}{\\sv 0}}"
          "\\shpfhdr0\\shpbxcolumn\\shpbxignore\\shpbxpage\\shpbypage\\shpwr3\\shpwrk0\\shpfblwtxt0";
  AppendShapeProperty(AOut, "shapeType", "202");
  AppendShapeProperty(AOut, "posh", HAlign == 1 ? "3" : HAlign == 2 ? "2" : "1");
  AppendShapeProperty(AOut, "anchorText", VAlign == 1 ? "1" : VAlign == 2 ? "2" : "0");
  AppendLineProperties(AOut, Pen);
  AOut += "{\\shptxt \\ltrpar \\pard\\plain";
  for (auto& p : FParagraphs) p->Write(AOut);
  AOut += "}{\\shprslt{\\*\\do\\dobxpage\\dobypage\\dptxbx\\dpx";
  AppendTwips(AOut, Rect.Left);
  AOut += "\\dpy";
  AppendTwips(AOut, Rect.Top);
  AOut += "\\dpxsize";
  AppendTwips(AOut, Rect.Right - Rect.Left);
  AOut += "\\dpysize";
  AppendTwips(AOut, Rect.Bottom - Rect.Top);
  AOut += "{\\dptxbxtext";
  for (auto& p : FParagraphs) p->Write(AOut);
  AOut += "}}}}}";
}

}  // namespace qm
