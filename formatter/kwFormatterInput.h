#pragma once

#include "base/Font.h"
#include "base/kwRect.h"
#include "platform/Bitmap.h"

// The formatter's input port: what the content extractor hands over for one page. Every
// length says its unit in its name: Pt for points (1/72 inch), Px for screen pixels.
namespace qm {

// The start of a page, as the interpreter displays it.
struct TkwPageRecord {
  int PageNumber = 0;     // 1-based, in the document
  double WidthPx = 0;     // the displayed page, screen pixels
  double HeightPx = 0;
};

// One visible glyph.
struct TkwGlyphRecord {
  const TFont* Font = nullptr;  // the system font it is shown in, size in points (not owned)
  TkwRect BoxPx;                // glyph box, screen pixels from the page's top-left corner
  double XPt = 0;               // origin, points from the crop box's lower-left corner
  double YPt = 0;
  double AdvancePt = 0;
  double CharSpacingPt = 0;
  // A gap after the previous glyph's advance at least this wide separates two words
  // (from the PDF font's space width and the character spacing); 0: not known.
  double WordGapPt = 0;
  char16_t Unicode = 0;
  bool NotFirstInString = false;    // an earlier glyph of the same string was shown
  bool NotFirstInOperator = false;  // an earlier glyph of the same text operator was shown
};

// One picture.
struct TkwPictureRecord {
  TkwRect RectPt;                      // points from the page's top-left corner
  const TGraphic* Graphic = nullptr;   // the receiver copies what it keeps (not owned)
};

// What receives a page's content. Calls for one page: BeginPage, any number of AddGlyph
// and AddPicture, EndPage.
class TkwFormatterInput {
public:
  virtual ~TkwFormatterInput() = default;
  virtual void BeginPage(const TkwPageRecord& APage) = 0;
  virtual void AddGlyph(const TkwGlyphRecord& AGlyph) = 0;
  virtual void AddPicture(const TkwPictureRecord& APicture) = 0;
  virtual void EndPage() = 0;
};

}  // namespace qm
