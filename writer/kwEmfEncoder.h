#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Color.h"
#include "base/kwRect.h"
#include "platform/Bitmap.h"

// Enhanced metafiles of vector drawing: fills and strokes of paths made of lines and
// Bézier curves, and open lines (a dashed stroke's dashes), with solid colours and
// rectangular clips. Every number is written little-endian, as the format lays it out.
namespace qm {

// Logical units of a metafile per point: fine enough that nothing rounds visibly.
inline constexpr int kEmfUnitsPerPoint = 20;

// How a stroke's ends and corners are drawn.
enum class TkwEmfCap : std::uint8_t { ecFlat, ecRound, ecSquare };
enum class TkwEmfJoin : std::uint8_t { ejMiter, ejRound, ejBevel };

// A stroke's look: always a solid line (readers differ in how they draw a pen's own
// dashes; dashes are drawn as lines of their own). The width in points.
struct TkwEmfPen {
  TColor Color = clBlack;
  double WidthPt = 1;
  TkwEmfCap Cap = TkwEmfCap::ecFlat;
  TkwEmfJoin Join = TkwEmfJoin::ejMiter;
  bool operator==(const TkwEmfPen&) const = default;
};

// Builds one metafile of a picture AWidthPt × AHeightPt points. Coordinates are points
// from the picture's top-left corner, y downwards; nothing outside the picture is drawn.
// A path is drawn as BeginPath, MoveTo/LineTo/CurveTo/CloseFigure, EndPath, then one of
// FillPath, StrokePath, StrokeAndFillPath with the pen, brush and fill rule selected.
class TkwEmfEncoder {
public:
  TkwEmfEncoder(double AWidthPt, double AHeightPt);

  // The clip of what follows: the picture's rectangle cut by ARectPt; the whole picture
  // when nothing is given.
  void SetClip(const std::optional<TkwRect>& ARectPt);
  void SetPen(const TkwEmfPen& APen);
  void SetBrush(TColor AColor);
  void SetFillRule(bool AEvenOdd);

  void BeginPath();
  void MoveTo(const TkwPoint& APt);
  void LineTo(const TkwPoint& APt);
  void CurveTo(const TkwPoint& AC1, const TkwPoint& AC2, const TkwPoint& APt);
  void CloseFigure();
  void EndPath();
  void FillPath();
  void StrokePath();
  void StrokeAndFillPath();
  // Open lines drawn with the pen, outside any path: line k is the next ACounts[k] of
  // APoints; lines of fewer than two points are left out.
  void PolyPolyline(const std::vector<TkwPoint>& APoints, const std::vector<std::uint32_t>& ACounts);

  // Bytes written so far: what the metafile will hold but its end record.
  [[nodiscard]] std::size_t Size() const { return FRecords.size(); }
  // The finished metafile: header, the records, end of file. The encoder is spent.
  [[nodiscard]] std::string Finish();

private:
  struct TCachedObject {
    std::uint32_t Handle = 0;
    std::uint64_t LastUse = 0;
    TkwEmfPen Pen;     // pens
    TColor Color = 0;  // brushes
  };

  void Record(std::uint32_t AType, std::initializer_list<std::uint32_t> AValues);
  void FlushPoints();
  // Writes FRun as one record: 16-bit points when they all fit. ACounts are the points of
  // each line of a record of several lines; empty for one run.
  void WritePoints(std::uint32_t AType16, std::uint32_t AType32, const std::vector<std::uint32_t>& ACounts);
  void QueuePoint(std::uint32_t AType, const TkwPoint& APt);
  [[nodiscard]] std::int32_t X(double APt) const;
  [[nodiscard]] std::int32_t Y(double APt) const;
  std::uint32_t NewHandle();
  void Select(std::vector<TCachedObject>& ACache, std::size_t AAt);
  void MakeRoom(std::vector<TCachedObject>& ACache, std::uint32_t ASelected);
  template <class TMatches, class TMake>
  void Use(std::vector<TCachedObject>& ACache, std::uint32_t& ASelected, TMatches AMatches, TMake AMake);
  void WritePen(std::uint32_t AHandle, const TkwEmfPen& APen);

  std::string FRecords;  // room for the header, then the records
  std::uint32_t FRecordCount = 0;
  std::int32_t FWidth = 0, FHeight = 0;  // logical units
  std::int32_t FFrameWidth = 0, FFrameHeight = 0;  // hundredths of a millimetre
  // Points of the polyline or Bézier run being gathered, in logical units.
  std::uint32_t FRunType = 0;
  std::vector<std::int32_t> FRun;
  std::vector<TCachedObject> FPens, FBrushes;
  std::vector<std::uint32_t> FFreeHandles;
  std::uint32_t FHandleCount = 1;  // entry 0 is the metafile's own
  std::uint32_t FPen = 0, FBrush = 0;  // the selected objects' handles; 0 none
  std::uint64_t FUses = 0;
  std::optional<std::array<std::int32_t, 4>> FClip;
  std::optional<bool> FEvenOdd;
};

// A picture held as an enhanced metafile, with a raster form for the outputs that take
// none: ARaster makes it on demand (an empty bitmap when not given). The width and height
// are those of the raster form, in pixels.
class TkwVectorPicture final : public TGraphic {
public:
  using TRaster = std::function<std::unique_ptr<TBitmap>()>;
  TkwVectorPicture(std::string AEmf, int AWidth, int AHeight, TRaster ARaster);

  [[nodiscard]] int GetWidth() const override { return FWidth; }
  [[nodiscard]] int GetHeight() const override { return FHeight; }
  [[nodiscard]] std::unique_ptr<TGraphic> Clone() const override;
  [[nodiscard]] std::unique_ptr<TBitmap> ToBitmap() const override;
  [[nodiscard]] const std::string& GetEmf() const { return FEmf; }

private:
  std::string FEmf;
  int FWidth = 0;
  int FHeight = 0;
  TRaster FRaster;
};

}  // namespace qm
