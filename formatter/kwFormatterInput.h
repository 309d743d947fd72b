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

// One glyph of a rotated line.
struct TkwRotatedGlyph {
  TkwGlyphRecord Upright;  // the glyph laid upright, as AddGlyph takes it, but for its Font
  TFont Font;              // the font it is shown in (Upright.Font is not kept)
  double AlongPt = 0;      // its origin from the line's origin, along the baseline
  double AcrossPt = 0;     // and across it, towards the tops of the glyphs
};

// A line of text whose baseline is not level (a chart's slanted labels, a vertical
// caption), handed over whole: where it stands on the page, and the glyphs it reads as
// when it is laid upright as text. Points from the page's top-left corner, y downwards,
// as for paths.
struct TkwRotatedLineRecord {
  std::vector<TkwRotatedGlyph> Glyphs;
  TkwPoint OriginPt;           // the first glyph's origin
  double DirX = 1, DirY = 0;   // the baseline's direction, a unit vector
  double LengthPt = 0;         // from the origin to where the last advance ends
  double SizePt = 0;           // the first glyph's size
};

// What receives a page's content. Calls for one page: BeginPage, any number of AddGlyph,
// AddRotatedLine, AddPicture and AddPath, EndPage.
class TkwFormatterInput {
public:
  virtual ~TkwFormatterInput() = default;
  virtual void BeginPage(const TkwPageRecord& APage) = 0;
  virtual void AddGlyph(const TkwGlyphRecord& AGlyph) = 0;
  virtual void AddPicture(const TkwPictureRecord& APicture) = 0;
  // Receivers that keep no drawing ignore paths.
  virtual void AddPath(const TkwPathRecord& APath) { (void)APath; }
  // Receivers that place no text in drawings take the line's upright glyphs.
  virtual void AddRotatedLine(const TkwRotatedLineRecord& ALine) { AddUpright(ALine); }
  virtual void EndPage() = 0;

protected:
  // The line laid upright: its glyphs through AddGlyph, in its order.
  void AddUpright(const TkwRotatedLineRecord& ALine) {
    for (const TkwRotatedGlyph& g : ALine.Glyphs) {
      TkwGlyphRecord glyph = g.Upright;
      glyph.Font = &g.Font;
      AddGlyph(glyph);
    }
  }
};

}  // namespace qm
