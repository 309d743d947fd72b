#pragma once

#include <cstdint>
#include <memory>
#include <vector>

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
  // Never changed once handed over: a picture drawn many times is one graphic, which
  // receivers keep by sharing it, not by copying.
  std::shared_ptr<const TGraphic> Graphic;
};

// One piece of a path outline. A move or a line goes to P3; a cubic runs from the current
// point through the controls P1 and P2 to P3; a close returns to the figure's start.
enum class TkwPathSegmentKind : std::uint8_t { psMove, psLine, psCubic, psClose };
struct TkwPathSegment {
  TkwPathSegmentKind Kind = TkwPathSegmentKind::psMove;
  TkwPoint P1, P2, P3;
};

enum class TkwLineDashKind : std::uint8_t { ldSolid, ldDotted, ldDashed };

// One painted path: what a fill, a stroke or both draw. Points are page points from the
// page's top-left corner (y downwards), after every transformation. Shadings and pattern
// fills arrive as filled areas of their average colour.
struct TkwPathRecord {
  std::vector<TkwPathSegment> Segments;
  TkwRect BoundsPt;        // the outline's bounding box, half the line width around strokes
  TkwRect ClipPt;          // the clip's bounding box; nothing outside it is seen
  bool Filled = false;
  bool EvenOdd = false;    // the fill rule; non-zero winding when false
  bool Stroked = false;
  bool Shading = false;    // a shading or pattern, given as its average colour
  TColor FillColor = clBlack;
  TColor StrokeColor = clBlack;
  double LineWidthPt = 1;  // after the transformation (its mean scale)
  std::vector<double> DashPt;  // on, off, ... lengths; empty for a solid line
  double DashPhasePt = 0;
  TkwLineDashKind Dash = TkwLineDashKind::ldSolid;
  double FillAlpha = 1;    // 0 transparent .. 1 opaque
  double StrokeAlpha = 1;
};

// What receives a page's content. Calls for one page: BeginPage, any number of AddGlyph,
// AddPicture and AddPath, EndPage.
class TkwFormatterInput {
public:
  virtual ~TkwFormatterInput() = default;
  virtual void BeginPage(const TkwPageRecord& APage) = 0;
  virtual void AddGlyph(const TkwGlyphRecord& AGlyph) = 0;
  virtual void AddPicture(const TkwPictureRecord& APicture) = 0;
  // Receivers that keep no drawing ignore paths.
  virtual void AddPath(const TkwPathRecord& APath) { (void)APath; }
  virtual void EndPage() = 0;
};

}  // namespace qm
