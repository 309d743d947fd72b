#pragma once

#include <cstdint>
#include <string>

#include "writer/kwRTFHeader.h"
#include "writer/kwWriterClasses.h"

namespace qm {

// Shape kinds.
inline constexpr int kShapeLine = 0;
inline constexpr int kShapeRectangle = 1;
inline constexpr int kShapeRoundRect = 2;
inline constexpr int kShapeEllipse = 3;
inline constexpr int kShapePolygon = 4;
inline constexpr int kShapePolyline = 5;
inline constexpr int kShapeArc = 6;

// Appends a shape property group {\sp{\sn name}{\sv value}} and CRLF.
void AppendShapeProperty(std::string& AOut, std::string_view AName, std::string_view AValue);
// lineType, lineStyle, lineDashing and lineColor of a pen.
void AppendLineProperties(std::string& AOut, const TPen& APen);

// A vector shape written as a drawing shape with a drawing-object fallback. Points are
// native units. An arc is rendered into a bitmap and written as a positioned picture.
class TkwRTFShapes final : public TkwRTFElement {
public:
  TkwRTFShapes(int AKind, const TkwPoints& APoints, const TPen& APen, bool AFilled,
               const TBrush& ABrush, TkwRandomProvider& ARandom);
  [[nodiscard]] std::uint8_t GetKind() const override { return 8; }
  void Write(std::string& AOut) override;

  [[nodiscard]] int GetShapeKind() const { return FKind; }
  [[nodiscard]] const TkwRect& GetBounds() const { return FBounds; }
  [[nodiscard]] int GetShapeId() const { return ShapeId; }

  bool Filled;
  bool HeaderShape = false;
  TkwPoints Points;
  TPen Pen;
  TBrush Brush;
  TkwImageSettings ImageSettings;  // output of arcs
  int ShapeId = 0;

private:
  int FKind;
  TkwRect FBounds;
  void WriteArc(std::string& AOut);
};

}  // namespace qm
