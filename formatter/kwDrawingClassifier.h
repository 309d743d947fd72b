#pragma once

#include <cstddef>
#include <vector>

#include "base/Color.h"
#include "base/kwRect.h"
#include "formatter/kwFormatterElements.h"
#include "formatter/kwFormatterInput.h"

// What a page draws, sorted by what it means for the text: rules become underlines,
// strike-through and table borders, filled boxes shade the text on them, and everything
// else is grouped into regions that are rendered to pictures. Points are page points from
// the top-left corner, y downwards.
namespace qm {


// A straight axis-aligned line: a stroked segment or a thin filled rectangle.
struct TkwRule {
  bool Horizontal = true;
  double From = 0, To = 0;  // extent along the line
  double At = 0;            // position of its centre line across
  double Thickness = 0;
  TColor Color = clBlack;
  TkwLineDashKind Dash = TkwLineDashKind::ldSolid;
  std::size_t Path = 0;     // index of the path it came from
  std::vector<std::size_t> Dots;  // a dotted rule of separate dots: every dot's path
  bool Used = false;
};

// A filled axis-aligned rectangle of one colour.
struct TkwBox {
  TkwRect Rect;
  TColor Color = clBlack;
  std::size_t Path = 0;
};

// A rotated line that lies on a drawing: drawn into its picture where it stands.
struct TkwHeldText {
  TkwRotatedLineRecord Line;
  TkwRect BoxPt;            // the rotated line's bounding box on the page
  std::size_t Region = 0;   // the drawing it lies on, in TkwPageDrawing::TextAnchors
};

// A region's picture, placed on the page and drawn once the page's element actions are
// known: a drawing that is not kept costs no rendering.
struct TkwPendingPicture {
  TkwFormatterImage* Picture = nullptr;         // in the page's images (not owned)
  std::vector<std::size_t> Paths;
  TkwRect RectPt;
  std::vector<const TkwFormatterImage*> Inside;  // page images drawn into it when kept (not owned)
  std::vector<const TkwRotatedLineRecord*> Text;  // rotated lines drawn into it (in the drawing)
};

// The page's paths taken apart.
struct TkwPageDrawing {
  std::vector<TkwRule> Rules;
  std::vector<TkwBox> Boxes;
  // Per path: it has been given a meaning (underline, border, shading) and is not drawn.
  std::vector<bool> Consumed;
  // Per path: every part of it is a rule or a box; only then can it be consumed.
  std::vector<bool> Simple;
  // Tables found from grids of rules, with their column boundaries and the line that
  // stands for each in the page's reading order.
  std::vector<std::unique_ptr<TkwFormatterTable>> GridTables;
  std::vector<std::vector<double>> GridColumns;
  std::vector<TkwFormatterTextLine*> GridPlaceholders;
  std::vector<TkwPendingPicture> Pictures;
  // Rotated lines drawn into the pictures, and per drawing they were found on the paths
  // that keep it a drawing whatever the text's analysis makes of its rules.
  std::vector<TkwHeldText> Text;
  std::vector<std::vector<std::size_t>> TextAnchors;
};

// The border a line of this dash draws, and the border a rule draws.
[[nodiscard]] TkwBorderStyle BorderStyleOf(TkwLineDashKind ADash);
[[nodiscard]] TkwBorderLine BorderOf(const TkwRule& ARule);

// Splits the paths into rules, boxes and the rest. Paths that cannot be seen (outside the
// page, fully clipped, transparent) are marked consumed.
[[nodiscard]] TkwPageDrawing TakeApart(const std::vector<TkwPathRecord>& APaths, double APageWidth,
                                       double APageHeight);

// Underlines (single and double) and strike-through from horizontal rules under and through
// the runs of the page's lines; runs are split where a line covers part of them.
void MarkTextDecorations(TkwFormatterPage& APage, TkwPageDrawing& ADrawing);
// A stroked rectangle around a picture is that picture's frame.
void AttachPictureBorders(TkwFormatterPage& APage, TkwPageDrawing& ADrawing);
// Lines on a filled box take its colour as their shading.
void MarkShadedText(TkwFormatterPage& APage, TkwPageDrawing& ADrawing);

// The rules on the table's cell edges become its cell borders, and the shading of the
// text in a cell its cell's shading.
void AttachCellBorders(TkwFormatterTable& ATable, TkwPageDrawing& ADrawing);

// Grids of rules with text in their cells become tables: their lines leave the page's
// lines, a placeholder line marks each table's place, and missing inner rules merge
// cells. Pages of more rules than kMaxGridRules are not searched.
inline constexpr std::size_t kMaxGridRules = 4000;
void FindGridTables(TkwFormatterPage& APage, TkwPageDrawing& ADrawing);
// Puts the placeholders into the page's result lines in reading order (after the lines
// are merged, before the page is cut into bands).
void InsertGridPlaceholders(TkwFormatterPage& APage);
// The band of the grid table that APlaceholder stands for; nullptr for any other line.
[[nodiscard]] std::unique_ptr<TkwFormatterHSection> TakeGridSection(TkwFormatterPage& APage,
                                                                    const TkwFormatterTextLine& APlaceholder);

// Groups of nearby paths that were given no other meaning, each with its bounding box.
struct TkwDrawingRegion {
  TkwRect BoundsPt;
  std::vector<std::size_t> Paths;
};
[[nodiscard]] std::vector<TkwDrawingRegion> GroupRegions(const std::vector<TkwPathRecord>& APaths,
                                                         const TkwPageDrawing& ADrawing);

// The bounding box of a rotated line as it stands, from a little below its baseline to
// the top of its size.
[[nodiscard]] TkwRect RotatedLineBox(const TkwRotatedLineRecord& ALine);

// Before the page's text is classified: the rotated lines that lie on a drawing (or come
// within their size of it, as a chart's labels do) are kept to be drawn into its picture; the others are
// returned, to be laid upright as text. Only a drawing of paths that no rule or shading of
// the text can take (curves, slanted lines, filled boxes) holds text: rules alone may yet
// become table borders. Only short lines (labels, titles) are drawn.
[[nodiscard]] std::vector<TkwRotatedLineRecord> PlaceRotatedText(TkwFormatterPage& APage,
                                                                 std::vector<TkwRotatedLineRecord> ALines);

// The whole pass the formatter runs before it analyses the page: decorations, shading and
// region pictures (added to the page's images as shapes).
void ClassifyDrawing(TkwFormatterPage& APage);
// After the page is analysed: the rules on the tables' cell edges become cell borders,
// and the rest of the drawing is placed as pictures (not drawn yet).
void AttachTableDrawing(TkwFormatterPage& APage);
// After the element actions are decided: the kept pictures are drawn, with the kept images
// inside them (which then leave the page's images) and their rotated text, and the page's
// paths are let go. Rotated text of a picture left out is noted as left out.
void RenderDrawingPictures(TkwFormatterPage& APage);

}  // namespace qm
