#include "formatter/kwDrawingRenderer.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>

namespace qm {

namespace {

// Owns a Cairo surface and its context.
struct TCairo {
  cairo_surface_t* Surface = nullptr;
  cairo_t* Context = nullptr;
  TCairo(int AWidth, int AHeight) {
    Surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, AWidth, AHeight);
    if (cairo_surface_status(Surface) == CAIRO_STATUS_SUCCESS) Context = cairo_create(Surface);
  }
  ~TCairo() {
    if (Context) cairo_destroy(Context);
    if (Surface) cairo_surface_destroy(Surface);
  }
  TCairo(const TCairo&) = delete;
  TCairo& operator=(const TCairo&) = delete;
  [[nodiscard]] bool Ok() const { return Context != nullptr && cairo_status(Context) == CAIRO_STATUS_SUCCESS; }
};

void SetColor(cairo_t* ACr, TColor AColor, double AAlpha) {
  const auto rgb = static_cast<std::uint32_t>(AColor);
  cairo_set_source_rgba(ACr, GetRValue(rgb) / 255.0, GetGValue(rgb) / 255.0, GetBValue(rgb) / 255.0, AAlpha);
}

void Outline(cairo_t* ACr, const TkwPathRecord& APath) {
  cairo_new_path(ACr);
  for (const TkwPathSegment& s : APath.Segments) {
    switch (s.Kind) {
      case TkwPathSegmentKind::psMove: cairo_move_to(ACr, s.P3.X, s.P3.Y); break;
      case TkwPathSegmentKind::psLine: cairo_line_to(ACr, s.P3.X, s.P3.Y); break;
      case TkwPathSegmentKind::psCubic: cairo_curve_to(ACr, s.P1.X, s.P1.Y, s.P2.X, s.P2.Y, s.P3.X, s.P3.Y); break;
      case TkwPathSegmentKind::psClose: cairo_close_path(ACr); break;
    }
  }
}

}  // namespace

std::unique_ptr<TBitmap> RenderDrawing(const std::vector<TkwPathRecord>& APaths, const std::vector<std::size_t>& AWhich,
                                       const TkwRect& ARectPt, double ADpi, int AMaxPixels) {
  const double w = ARectPt.Width(), h = ARectPt.Height();
  if (!(w > 0) || !(h > 0) || !(ADpi > 0) || AMaxPixels < 1) return nullptr;
  double scale = ADpi / 72.0;
  const double longest = std::max(w, h) * scale;
  if (longest > AMaxPixels) scale *= AMaxPixels / longest;
  const int pw = std::clamp(static_cast<int>(std::ceil(w * scale)), 1, AMaxPixels);
  const int ph = std::clamp(static_cast<int>(std::ceil(h * scale)), 1, AMaxPixels);
  TCairo cairo(pw, ph);
  if (!cairo.Ok()) return nullptr;
  cairo_t* cr = cairo.Context;
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_scale(cr, scale, scale);
  cairo_translate(cr, -ARectPt.Left, -ARectPt.Top);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
  for (std::size_t index : AWhich) {
    if (index >= APaths.size()) continue;
    const TkwPathRecord& p = APaths[index];
    cairo_save(cr);
    const TkwRect& c = p.ClipPt;
    cairo_rectangle(cr, c.Left, c.Top, std::max(0.0, c.Right - c.Left), std::max(0.0, c.Bottom - c.Top));
    cairo_clip(cr);
    if (p.Filled) {
      Outline(cr, p);
      cairo_set_fill_rule(cr, p.EvenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
      SetColor(cr, p.FillColor, p.FillAlpha);
      cairo_fill(cr);
    }
    if (p.Stroked) {
      Outline(cr, p);
      // Hairlines stay one device pixel wide.
      cairo_set_line_width(cr, std::max(p.LineWidthPt, 1.0 / scale));
      if (!p.DashPt.empty()) {
        std::vector<double> dash(p.DashPt.begin(), p.DashPt.end());
        if (std::all_of(dash.begin(), dash.end(), [](double d) { return d <= 0; })) dash.clear();
        cairo_set_dash(cr, dash.data(), static_cast<int>(dash.size()), p.DashPhasePt);
      }
      SetColor(cr, p.StrokeColor, p.StrokeAlpha);
      cairo_stroke(cr);
    }
    cairo_restore(cr);
  }
  cairo_surface_flush(cairo.Surface);
  if (!cairo.Ok()) return nullptr;
  auto bitmap = std::make_unique<TBitmap>(pw, ph, TPixelFormat::pf24bit);
  if (bitmap->IsEmpty()) return nullptr;
  const unsigned char* data = cairo_image_surface_get_data(cairo.Surface);
  const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(cairo.Surface));
  for (int y = 0; y < ph; ++y) {
    const unsigned char* src = data + stride * static_cast<std::size_t>(y);
    std::span<std::uint8_t> dst = bitmap->ScanLine(y);
    // Cairo keeps pixels as native 32-bit words (blue in the low byte here), the bitmap
    // as blue, green, red bytes.
    for (int x = 0; x < pw; ++x) {
      const auto* px = reinterpret_cast<const std::uint32_t*>(src) + x;
      const std::uint32_t v = *px;
      const auto at = static_cast<std::size_t>(x) * 3;
      dst[at] = static_cast<std::uint8_t>(v & 0xFF);
      dst[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
      dst[at + 2] = static_cast<std::uint8_t>((v >> 16) & 0xFF);
    }
  }
  return bitmap;
}

}  // namespace qm
