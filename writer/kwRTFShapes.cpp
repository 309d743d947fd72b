#include "writer/kwRTFShapes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "writer/kwRTFPicture.h"

namespace qm {

void AppendShapeProperty(std::string& AOut, std::string_view AName, std::string_view AValue) {
  AOut += "{\\sp{\\sn ";
  AOut += AName;
  AOut += "}{\\sv ";
  AOut += AValue;
  AOut += "}}";
  AOut += kCRLF;
}

void AppendLineProperties(std::string& AOut, const TPen& APen) {
  AppendShapeProperty(AOut, "lineType", "0");
  AppendShapeProperty(AOut, "lineStyle", "0");
  const char* dashing = "0";
  switch (APen.Style) {
    case TPenStyle::psDash: dashing = "1"; break;
    case TPenStyle::psDot: dashing = "2"; break;
    case TPenStyle::psDashDot: dashing = "3"; break;
    default: break;
  }
  AppendShapeProperty(AOut, "lineDashing", dashing);
  AppendShapeProperty(AOut, "lineColor", std::to_string(ColorToRGB(APen.Color)));
}

namespace {
void AppendFillProperties(std::string& AOut, const TBrush& ABrush) {
  AppendShapeProperty(AOut, "fillColor", std::to_string(ColorToRGB(ABrush.Color)));
  AppendShapeProperty(AOut, "fillType", "0");
}
}  // namespace

TkwRTFShapes::TkwRTFShapes(int AKind, const TkwPoints& APoints, const TPen& APen, bool AFilled,
                           const TBrush& ABrush, TkwRandomProvider& ARandom)
    : Filled(AFilled), Points(APoints), Pen(APen), Brush(ABrush), FKind(AKind) {
  ImageSettings.OutputImageFormat = TkwOutputImageFormat::ifJPEG;
  ImageSettings.ScaleToFrame = true;
  ARandom.Randomize();
  ShapeId = ARandom.Random(10000);
  // A rounded rectangle's third point is its corner size, not a vertex.
  const std::size_t n = AKind == kShapeRoundRect ? std::min<std::size_t>(2, Points.size()) : Points.size();
  if (n > 0) {
    FBounds = {Points[0].X, Points[0].Y, Points[0].X, Points[0].Y};
    for (std::size_t i = 1; i < n; ++i) {
      FBounds.Left = std::min(FBounds.Left, Points[i].X);
      FBounds.Top = std::min(FBounds.Top, Points[i].Y);
      FBounds.Right = std::max(FBounds.Right, Points[i].X);
      FBounds.Bottom = std::max(FBounds.Bottom, Points[i].Y);
    }
  }
}

void TkwRTFShapes::Write(std::string& AOut) {
  if (FKind == kShapeArc) {
    WriteArc(AOut);
    return;
  }
  if (FKind < 0 || FKind > kShapePolyline || Points.size() < 2) return;
  const bool line = FKind == kShapeLine;
  const bool poly = FKind == kShapePolygon || FKind == kShapePolyline;
  AOut += kCRLF;
  if (!line) AOut += "{\\lang1024 ";
  AOut += "{\\shp{\\*\\shpinst \\shpleft";
  AppendTwips(AOut, FBounds.Left);
  AOut += "\\shptop";
  AppendTwips(AOut, FBounds.Top);
  AOut += "\\shpright";
  AppendTwips(AOut, FBounds.Right);
  AOut += "\\shpbottom";
  AppendTwips(AOut, FBounds.Bottom);
  AOut += kCRLF;
  AOut += HeaderShape ? "\\shpfhdr1" : "\\shpfhdr0";
  AOut += "\\shplid";
  AppendInt(AOut, ShapeId);
  AOut += "\\shpwr3\\shpwrk0\\shpfblwtxt1\\shpz0\\shpbxpage\\shpbypage";
  const char* shapeType = FKind == kShapeLine ? "20" : FKind == kShapeRectangle ? "1"
                          : FKind == kShapeRoundRect ? "2" : FKind == kShapeEllipse ? "3" : "0";
  AppendShapeProperty(AOut, "shapeType", shapeType);
  if (line || poly) {
    AppendShapeProperty(AOut, "geoRight", std::to_string(NativeToTwips(FBounds.Right - FBounds.Left)));
    AppendShapeProperty(AOut, "geoBottom", std::to_string(NativeToTwips(FBounds.Bottom - FBounds.Top)));
  }
  if (FKind != kShapeRoundRect) {
    AOut += "{\\sp{\\sn pVerticies}{\\sv 8;";
    AppendInt(AOut, static_cast<std::int64_t>(Points.size()));
    AOut += ";";
    for (const TkwPoint& p : Points) {
      AOut += "(";
      AppendTwips(AOut, p.X - FBounds.Left);
      AOut += ",";
      AppendTwips(AOut, p.Y - FBounds.Top);
      AOut += ");";
    }
    AOut += "}}";
    AOut += kCRLF;
  }
  if (Filled) AppendFillProperties(AOut, Brush);
  AppendLineProperties(AOut, Pen);

  AOut += "{\\shprslt{\\*\\do\\dobxpage\\dobypage";
  const TkwPoint& p0 = Points[0];
  const TkwPoint& p1 = Points[1];
  const auto box = [&](double x, double y, double w, double h) {
    AOut += "\\dpx";
    AppendTwips(AOut, x);
    AOut += "\\dpy";
    AppendTwips(AOut, y);
    AOut += "\\dpxsize";
    AppendTwips(AOut, w);
    AOut += "\\dpysize";
    AppendTwips(AOut, h);
  };
  switch (FKind) {
    case kShapeLine: AOut += "\\dpline"; box(p0.X, p0.Y, p1.X - p0.X, p1.Y - p0.Y); break;
    case kShapeRectangle: AOut += "\\dprect"; box(p0.X, p0.Y, p1.X - p0.X, p1.Y - p0.Y); break;
    case kShapeRoundRect: AOut += "\\dprect\\dproundr"; box(p0.X, p0.Y, p1.X - p0.X, p1.Y - p0.Y); break;
    case kShapeEllipse: AOut += "\\dpellipse"; box(p0.X, p0.Y, p1.X - p0.X, p1.Y - p0.Y); break;
    default: {
      AOut += FKind == kShapePolygon ? "\\dppolygon" : "\\dppolyline";
      AOut += "\\dppolycount";
      AppendInt(AOut, static_cast<std::int64_t>(Points.size()));
      for (const TkwPoint& p : Points) {
        AOut += "\\dpptx";
        AppendTwips(AOut, p.X - FBounds.Left);
        AOut += "\\dppty";
        AppendTwips(AOut, p.Y - FBounds.Top);
      }
      box(FBounds.Left, FBounds.Top, FBounds.Right - FBounds.Left, FBounds.Bottom - FBounds.Top);
      break;
    }
  }
  AppendLineProperties(AOut, Pen);
  if (Filled && !line) AppendFillProperties(AOut, Brush);
  // Drawing object, result, shape instruction, shape and (but for lines) the language
  // wrapper: every group opened above is closed exactly once.
  AOut += line ? "}}}}" : "}}}}}";
}

void TkwRTFShapes::WriteArc(std::string& AOut) {
  if (Points.size() < 4) return;
  const TkwPoint& a = Points[0];
  const TkwPoint& b = Points[1];
  const double left = std::min(a.X, b.X);
  const double top = std::min(a.Y, b.Y);
  const int w = static_cast<int>(std::fabs(b.X - a.X));
  const int h = static_cast<int>(std::fabs(b.Y - a.Y));
  TBitmap bmp(w, h, TPixelFormat::pf24bit);
  if (bmp.IsEmpty()) return;
  bmp.FillRect(0, 0, w, h, 0xFFFFFF);
  bmp.FTransparent = true;
  bmp.FTransparentColor = 0xFFFFFF;
  // The arc runs counter-clockwise (in screen terms) from the start ray to the end ray,
  // as the desktop canvas draws it.
  const double cx = w / 2.0;
  const double cy = h / 2.0;
  const double rx = w / 2.0;
  const double ry = h / 2.0;
  const double a0 = std::atan2(-(Points[2].Y - top - cy), Points[2].X - left - cx);
  double a1 = std::atan2(-(Points[3].Y - top - cy), Points[3].X - left - cx);
  if (a1 <= a0) a1 += 2 * std::numbers::pi;
  const std::uint32_t rgb = ColorToRGB(Pen.Color);
  const int penWidth = std::max(1, Pen.Width);
  const int steps = std::max(16, static_cast<int>((rx + ry) * (a1 - a0)));
  for (int i = 0; i <= steps; ++i) {
    const double t = a0 + (a1 - a0) * i / steps;
    const int x = static_cast<int>(cx + (rx - penWidth / 2.0) * std::cos(t));
    const int y = static_cast<int>(cy - (ry - penWidth / 2.0) * std::sin(t));
    bmp.FillRect(x - penWidth / 2, y - penWidth / 2, x - penWidth / 2 + penWidth,
                 y - penWidth / 2 + penWidth, rgb);
  }
  AOut += kCRLF;
  AOut += "{\\pard\\pvpg\\phpg\\posx";
  AppendTwips(AOut, left);
  AOut += "\\posy";
  AppendTwips(AOut, top);
  AOut += "\\overlay{\\pict";
  TkwPictureData data = RenderPictureData(bmp, ImageSettings, TBrush{clWhite, TBrushStyle::bsSolid});
  AOut += data.BlipWord;
  AOut += "\\picw";
  AppendTwips(AOut, data.Width);
  AOut += "\\pich";
  AppendTwips(AOut, data.Height);
  AOut += "\\picbmp\\picbpp4 ";
  AOut += data.HexPrefix;
  AppendHex(AOut, data.Bytes);
  AOut += "030000000000}\\par}";
}

}  // namespace qm
