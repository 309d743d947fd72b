#include "formatter/kwDrawingRenderer.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "writer/kwEmfEncoder.h"
#include "writer/kwRTFPicture.h"

namespace qm {

namespace {

// The most pixels of surface memory a thread keeps between pictures (16 MiB).
constexpr std::size_t kKeptSurfacePixels = std::size_t{4} << 20;

// Owns a Cairo surface and its context.
struct TCairo {
  cairo_surface_t* Surface = nullptr;
  cairo_t* Context = nullptr;
  // A surface over AData, which outlives it.
  TCairo(std::uint32_t* AData, int AWidth, int AHeight) {
    Surface = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(AData), CAIRO_FORMAT_ARGB32,
                                                  AWidth, AHeight, AWidth * 4);
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

// Owns an image surface made for one picture.
struct TImageSurface {
  cairo_surface_t* Surface = nullptr;
  explicit TImageSurface(cairo_surface_t* ASurface) : Surface(ASurface) {}
  ~TImageSurface() {
    if (Surface) cairo_surface_destroy(Surface);
  }
  TImageSurface(const TImageSurface&) = delete;
  TImageSurface& operator=(const TImageSurface&) = delete;
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

// Whether the path's clip cuts what it draws, with AMargin to spare. Mitred corners reach
// out further than the bounds say.
bool ClipCuts(const TkwPathRecord& APath, double AMargin) {
  const TkwRect& c = APath.ClipPt;
  const TkwRect& b = APath.BoundsPt;
  const double reach = (APath.Stroked ? 5 * APath.LineWidthPt : 0) + AMargin;
  return b.Left - reach < c.Left || b.Right + reach > c.Right || b.Top - reach < c.Top || b.Bottom + reach > c.Bottom;
}

void DrawPath(cairo_t* ACr, const TkwPathRecord& APath, double AScale) {
  cairo_save(ACr);
  const TkwRect& c = APath.ClipPt;
  // A clip that cuts nothing is not set: one off the pixel grid makes Cairo build a mask.
  if (ClipCuts(APath, 1.0 / AScale)) {
    cairo_rectangle(ACr, c.Left, c.Top, std::max(0.0, c.Right - c.Left), std::max(0.0, c.Bottom - c.Top));
    cairo_clip(ACr);
  }
  if (APath.Filled) {
    Outline(ACr, APath);
    cairo_set_fill_rule(ACr, APath.EvenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    SetColor(ACr, APath.FillColor, APath.FillAlpha);
    cairo_fill(ACr);
  }
  if (APath.Stroked) {
    Outline(ACr, APath);
    // Hairlines stay one device pixel wide.
    cairo_set_line_width(ACr, std::max(APath.LineWidthPt, 1.0 / AScale));
    if (!APath.DashPt.empty()) {
      std::vector<double> dash(APath.DashPt.begin(), APath.DashPt.end());
      if (std::all_of(dash.begin(), dash.end(), [](double d) { return d <= 0; })) dash.clear();
      cairo_set_dash(ACr, dash.data(), static_cast<int>(dash.size()), APath.DashPhasePt);
    }
    SetColor(ACr, APath.StrokeColor, APath.StrokeAlpha);
    cairo_stroke(ACr);
  }
  cairo_restore(ACr);
}

// A picture as a Cairo surface: 32-bit bitmaps keep their alpha (Cairo wants it
// premultiplied), every other kind is drawn opaque.
cairo_surface_t* SurfaceOf(const TGraphic& AGraphic) {
  const auto* own = dynamic_cast<const TBitmap*>(&AGraphic);
  std::unique_ptr<TBitmap> converted;
  if (!own || (own->GetBitsPerPixel() != 32 && own->GetBitsPerPixel() != 24)) {
    converted = AGraphic.ToBitmap();
    own = converted.get();
  }
  if (!own || own->IsEmpty()) return nullptr;
  const bool alpha = own->GetBitsPerPixel() == 32;
  const int w = own->GetWidth(), h = own->GetHeight();
  cairo_surface_t* s = cairo_image_surface_create(alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, w, h);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return nullptr;
  }
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  const auto stride = static_cast<std::size_t>(cairo_image_surface_get_stride(s));
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* src = own->ScanLine(y).data();
    auto* dst = reinterpret_cast<std::uint32_t*>(data + stride * static_cast<std::size_t>(y));
    for (int x = 0; x < w; ++x) {
      if (alpha) {
        const std::uint8_t* p = src + static_cast<std::size_t>(x) * 4;
        const std::uint32_t a = p[3];
        const auto pre = [a](std::uint32_t c) { return (c * a + 127) / 255; };
        dst[x] = a << 24 | pre(p[2]) << 16 | pre(p[1]) << 8 | pre(p[0]);
      } else {
        const std::uint8_t* p = src + static_cast<std::size_t>(x) * 3;
        dst[x] = 0xFF000000u | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
      }
    }
  }
  cairo_surface_mark_dirty(s);
  return s;
}

void DrawImage(cairo_t* ACr, const TkwDrawingImage& AImage, double AScale) {
  if (!AImage.Graphic || AImage.Graphic->IsEmpty()) return;
  const TkwRect& r = AImage.RectPt;
  if (!(r.Right > r.Left) || !(r.Bottom > r.Top)) return;
  TImageSurface image(SurfaceOf(*AImage.Graphic));
  if (!image.Surface) return;
  cairo_save(ACr);
  cairo_rectangle(ACr, r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
  cairo_clip(ACr);
  cairo_translate(ACr, r.Left, r.Top);
  cairo_scale(ACr, (r.Right - r.Left) / AImage.Graphic->GetWidth(), (r.Bottom - r.Top) / AImage.Graphic->GetHeight());
  cairo_set_source_surface(ACr, image.Surface, 0, 0);
  // The edge samples continue outwards, so that the picture's border is not faded.
  cairo_pattern_set_extend(cairo_get_source(ACr), CAIRO_EXTEND_PAD);
  // Samples kept at their size or enlarged stay sharp (a scan, a fax, a chart's bitmap),
  // as they would when the picture is shown alone; only reduced ones are smoothed.
  const double pixels = (r.Right - r.Left) * AScale / AImage.Graphic->GetWidth();
  cairo_pattern_set_filter(cairo_get_source(ACr), pixels >= 0.8 ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
  cairo_paint(ACr);
  cairo_restore(ACr);
}

// A character as UTF-8 into AOut (nul-ended); false for a lone surrogate or a control code.
bool Utf8Of(char16_t AChar, std::array<char, 4>& AOut) {
  const auto c = static_cast<std::uint32_t>(AChar);
  if (c < 0x20 || (c >= 0xD800 && c <= 0xDFFF)) return false;
  if (c < 0x80) {
    AOut = {static_cast<char>(c), 0, 0, 0};
  } else if (c < 0x800) {
    AOut = {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F)), 0, 0};
  } else {
    AOut = {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
            static_cast<char>(0x80 | (c & 0x3F)), 0};
  }
  return true;
}

// A rotated line where it stands: each glyph at its own place along the baseline, in the
// installed family the font mapping chose, its style, size and colour. Greyscale edges keep
// the picture's colours few, and unhinted outlines keep the glyphs where the page put them.
void DrawText(cairo_t* ACr, const TkwRotatedLineRecord& ALine) {
  const double angle = std::atan2(ALine.DirY, ALine.DirX);
  if (!std::isfinite(angle) || !std::isfinite(ALine.OriginPt.X) || !std::isfinite(ALine.OriginPt.Y)) return;
  cairo_save(ACr);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(ACr, options);
  cairo_font_options_destroy(options);
  cairo_translate(ACr, ALine.OriginPt.X, ALine.OriginPt.Y);
  cairo_rotate(ACr, angle);
  // The installed family may set wider than the page's font: the line is narrowed to the
  // page's advances, so that its glyphs do not run into one another.
  const TFont* shown = nullptr;
  double narrow = 1;
  const auto show = [&](const TFont& AFont) {
    if (shown != nullptr && AFont == *shown) return;
    shown = &AFont;
    cairo_select_font_face(ACr, AFont.Name.c_str(),
                           (AFont.Style & fsItalic) != 0 ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           (AFont.Style & fsBold) != 0 ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    const double size = std::clamp(static_cast<double>(AFont.Size), 1.0, 1000.0);
    cairo_matrix_t m;
    cairo_matrix_init_scale(&m, size * narrow, size);
    cairo_set_font_matrix(ACr, &m);
    SetColor(ACr, AFont.Color, 1);
  };
  double set = 0, page = 0;
  for (const TkwRotatedGlyph& g : ALine.Glyphs) {
    std::array<char, 4> utf8{};
    if (!Utf8Of(g.Upright.Unicode, utf8) || !std::isfinite(g.Upright.AdvancePt)) continue;
    show(g.Font);
    cairo_text_extents_t extents;
    cairo_text_extents(ACr, utf8.data(), &extents);
    set += extents.x_advance;
    page += g.Upright.AdvancePt;
  }
  if (set > 0 && page > 0 && page < set) narrow = std::max(0.5, page / set);
  shown = nullptr;
  for (const TkwRotatedGlyph& g : ALine.Glyphs) {
    std::array<char, 4> utf8{};
    if (!Utf8Of(g.Upright.Unicode, utf8) || utf8[0] == ' ') continue;
    if (!std::isfinite(g.AlongPt) || !std::isfinite(g.AcrossPt)) continue;
    show(g.Font);
    cairo_move_to(ACr, g.AlongPt, -g.AcrossPt);
    cairo_show_text(ACr, utf8.data());
  }
  cairo_restore(ACr);
}

// Colours of a picture as palette indices, found by a small open hash.
class TPaletteBuilder {
public:
  TPaletteBuilder() { FSlots.fill(kEmpty); }
  // The index of AArgb (an opaque Cairo pixel); false when the palette is full.
  bool IndexOf(std::uint32_t AArgb, std::uint8_t& AIndex) {
    const std::uint32_t key = AArgb & 0xFFFFFFu;
    std::size_t at = (key * 2654435761u) >> (32 - kBits);
    while (FSlots[at] != kEmpty) {
      if ((FSlots[at] & 0xFFFFFFu) == key) {
        AIndex = static_cast<std::uint8_t>(FSlots[at] >> 24);
        return true;
      }
      at = (at + 1) & (FSlots.size() - 1);
    }
    if (FColors.size() >= kMaxDrawingPaletteColors) return false;
    AIndex = static_cast<std::uint8_t>(FColors.size());
    FSlots[at] = key | std::uint32_t{AIndex} << 24;
    // The bitmap's palette holds 0x00BBGGRR.
    FColors.push_back((key >> 16 & 0xFF) | (key & 0xFF00) | (key & 0xFF) << 16);
    return true;
  }
  std::vector<std::uint32_t> Take() { return std::move(FColors); }

private:
  static constexpr int kBits = 10;  // 1024 slots for at most 255 colours: short probes
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
  std::array<std::uint32_t, std::size_t{1} << kBits> FSlots{};
  std::vector<std::uint32_t> FColors;
};

// The pixels as palette indices; nothing when they hold too many colours. Rows equal to
// the one above (most of a chart's or a table's) are copied rather than looked up.
std::unique_ptr<TBitmap> Indexed(const std::uint32_t* APixels, int AWidth, int AHeight) {
  auto bitmap = std::make_unique<TBitmap>(AWidth, AHeight, TPixelFormat::pf8bit);
  if (bitmap->IsEmpty()) return nullptr;
  TPaletteBuilder palette;
  const auto w = static_cast<std::size_t>(AWidth);
  std::uint32_t last = 0;
  std::uint8_t lastIndex = 0;
  if (!palette.IndexOf(APixels[0], lastIndex)) return nullptr;
  last = APixels[0];
  for (int y = 0; y < AHeight; ++y) {
    const std::uint32_t* src = APixels + w * static_cast<std::size_t>(y);
    std::uint8_t* dst = bitmap->ScanLine(y).data();
    if (y > 0 && std::memcmp(src, src - w, w * 4) == 0) {
      std::memcpy(dst, bitmap->ScanLine(y - 1).data(), w);
      continue;
    }
    // Runs of one colour, the most of a drawing, are found before they are stored.
    for (std::size_t x = 0; x < w;) {
      const std::uint32_t v = src[x];
      if (v != last) {
        if (!palette.IndexOf(v, lastIndex)) return nullptr;
        last = v;
      }
      std::size_t end = x + 1;
      while (end < w && src[end] == v) ++end;
      std::memset(dst + x, lastIndex, end - x);
      x = end;
    }
  }
  bitmap->SetPalette(palette.Take());
  return bitmap;
}

std::unique_ptr<TBitmap> TrueColor(const std::uint32_t* APixels, int AWidth, int AHeight) {
  auto bitmap = std::make_unique<TBitmap>(AWidth, AHeight, TPixelFormat::pf24bit);
  if (bitmap->IsEmpty()) return nullptr;
  const auto w = static_cast<std::size_t>(AWidth);
  for (int y = 0; y < AHeight; ++y) {
    const std::uint32_t* src = APixels + w * static_cast<std::size_t>(y);
    std::uint8_t* dst = bitmap->ScanLine(y).data();
    // Cairo keeps pixels as native 32-bit words (blue in the low byte), the bitmap as blue,
    // green, red bytes.
    for (std::size_t x = 0; x < w; ++x) {
      const std::uint32_t v = src[x];
      dst[x * 3] = static_cast<std::uint8_t>(v & 0xFF);
      dst[x * 3 + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
      dst[x * 3 + 2] = static_cast<std::uint8_t>((v >> 16) & 0xFF);
    }
  }
  return bitmap;
}

// The raster picture's pixels per point and size.
struct TPictureSize {
  double Scale = 0;
  int Width = 0, Height = 0;
};
std::optional<TPictureSize> PictureSize(const TkwRect& ARectPt, double ADpi, int AMaxPixels) {
  const double w = ARectPt.Width(), h = ARectPt.Height();
  if (!(w > 0) || !(h > 0) || !(ADpi > 0) || AMaxPixels < 1) return std::nullopt;
  double scale = ADpi / 72.0;
  const double longest = std::max(w, h) * scale;
  if (longest > AMaxPixels) scale *= AMaxPixels / longest;
  return TPictureSize{scale, std::clamp(static_cast<int>(std::ceil(w * scale)), 1, AMaxPixels),
                      std::clamp(static_cast<int>(std::ceil(h * scale)), 1, AMaxPixels)};
}

}  // namespace

std::unique_ptr<TBitmap> RenderDrawing(const std::vector<TkwPathRecord>& APaths, const std::vector<std::size_t>& AWhich,
                                       const std::vector<TkwDrawingImage>& AImages, const TkwRect& ARectPt, double ADpi,
                                       int AMaxPixels, const std::vector<const TkwRotatedLineRecord*>& AText) {
  const std::optional<TPictureSize> size = PictureSize(ARectPt, ADpi, AMaxPixels);
  if (!size) return nullptr;
  const double scale = size->Scale;
  const int pw = size->Width, ph = size->Height;
  // One surface's memory per thread serves every picture: fresh memory for each would
  // cost more in page faults than the drawing itself.
  thread_local std::vector<std::uint32_t> pixels;
  const auto count = static_cast<std::size_t>(pw) * static_cast<std::size_t>(ph);
  pixels.resize(std::max(pixels.size(), count));
  {
    TCairo cairo(pixels.data(), pw, ph);
    if (!cairo.Ok()) return nullptr;
    cairo_t* cr = cairo.Context;
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_scale(cr, scale, scale);
    cairo_translate(cr, -ARectPt.Left, -ARectPt.Top);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    // Edges are smoothed in 17 steps rather than 256: as smooth to the eye at this
    // resolution, and an edge then adds a few colours, not hundreds, so that the
    // picture keeps a palette.
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_FAST);
    // Images go between the paths as the page painted them.
    std::vector<const TkwDrawingImage*> images;
    for (const TkwDrawingImage& image : AImages) images.push_back(&image);
    std::stable_sort(images.begin(), images.end(), [](const TkwDrawingImage* A, const TkwDrawingImage* B) {
      return A->PathsBefore < B->PathsBefore;
    });
    auto nextImage = images.begin();
    for (std::size_t index : AWhich) {
      if (index >= APaths.size()) continue;
      for (; nextImage != images.end() && (*nextImage)->PathsBefore <= index; ++nextImage) DrawImage(cr, **nextImage, scale);
      DrawPath(cr, APaths[index], scale);
    }
    for (; nextImage != images.end(); ++nextImage) DrawImage(cr, **nextImage, scale);
    // The text goes over the drawing, as the labels of a chart do.
    for (const TkwRotatedLineRecord* line : AText) {
      if (line != nullptr) DrawText(cr, *line);
    }
    cairo_surface_flush(cairo.Surface);
    if (!cairo.Ok()) return nullptr;
  }
  std::unique_ptr<TBitmap> bitmap = Indexed(pixels.data(), pw, ph);
  if (!bitmap) bitmap = TrueColor(pixels.data(), pw, ph);
  // The memory of a page-sized picture is kept for the next; that of a larger one is not.
  if (pixels.size() > kKeptSurfacePixels) std::vector<std::uint32_t>().swap(pixels);
  return bitmap;
}

}  // namespace qm

namespace qm {

namespace {

// A path's outline as a metafile path, moved by AAt.
template <typename TAt>
void Outline(TkwEmfEncoder& AEmf, const TkwPathRecord& APath, const TAt& AAt) {
  AEmf.BeginPath();
  bool current = false;
  for (const TkwPathSegment& seg : APath.Segments) {
    switch (seg.Kind) {
      case TkwPathSegmentKind::psMove:
        AEmf.MoveTo(AAt(seg.P3));
        current = true;
        break;
      case TkwPathSegmentKind::psLine:
        // Drawing with no current point starts a figure, as the raster picture does.
        if (current) {
          AEmf.LineTo(AAt(seg.P3));
        } else {
          AEmf.MoveTo(AAt(seg.P3));
        }
        current = true;
        break;
      case TkwPathSegmentKind::psCubic:
        if (!current) AEmf.MoveTo(AAt(seg.P1));
        AEmf.CurveTo(AAt(seg.P1), AAt(seg.P2), AAt(seg.P3));
        current = true;
        break;
      case TkwPathSegmentKind::psClose:
        if (current) AEmf.CloseFigure();
        break;
    }
  }
  AEmf.EndPath();
}

enum class TDashes : std::uint8_t { dsSolid, dsDashed, dsTooMany };

// The most dashes one path is drawn with in a metafile; more make it a raster picture.
constexpr std::size_t kMaxVectorDashes = 20000;

double Distance(const TkwPoint& A, const TkwPoint& B) { return std::hypot(B.X - A.X, B.Y - A.Y); }

// The dashes of a stroke as open lines, moved by -AOrigin: each figure starts the pattern
// afresh at the phase, curves are followed as short straight steps. A dash of no length
// is a dot as long as the line is wide, which is what its producer meant it to show.
struct TDashLines {
  std::vector<TkwPoint> Points;
  std::vector<std::uint32_t> Counts;  // points of each dash
};
TDashes DashLines(const TkwPathRecord& APath, const TkwPoint& AOrigin, TDashLines& AOut) {
  std::vector<double> dash = APath.DashPt;
  if (dash.empty() || std::any_of(dash.begin(), dash.end(), [](double d) { return !std::isfinite(d) || d < 0; })) {
    return TDashes::dsSolid;
  }
  if (dash.size() % 2 == 1) dash.insert(dash.end(), APath.DashPt.begin(), APath.DashPt.end());
  if (std::all_of(dash.begin(), dash.end(), [](double d) { return d <= 0; })) return TDashes::dsSolid;
  for (std::size_t i = 0; i < dash.size(); i += 2) {
    if (dash[i] <= 0) dash[i] = std::max(APath.LineWidthPt, 0.05);
  }
  double total = 0;
  for (const double d : dash) total += d;
  double phase = std::isfinite(APath.DashPhasePt) ? std::fmod(APath.DashPhasePt, total) : 0;
  if (phase < 0) phase += total;
  std::size_t index = 0;
  double left = 0;  // of the current element
  std::size_t lineStart = AOut.Points.size();  // the first point of the dash being drawn
  const auto restart = [&] {
    index = 0;
    double p = phase;
    while (p >= dash[index]) {
      p -= dash[index];
      index = (index + 1) % dash.size();
    }
    left = dash[index] - p;
    AOut.Points.resize(lineStart);
  };
  bool tooMany = false;
  const auto endDash = [&] {
    if (AOut.Points.size() - lineStart >= 2) {
      AOut.Counts.push_back(static_cast<std::uint32_t>(AOut.Points.size() - lineStart));
    } else {
      AOut.Points.resize(lineStart);
    }
    lineStart = AOut.Points.size();
    tooMany = tooMany || AOut.Counts.size() > kMaxVectorDashes;
  };
  // One straight step of the stroke, cut into the pattern's elements.
  const auto step = [&](TkwPoint AFrom, const TkwPoint& ATo) {
    double length = Distance(AFrom, ATo);
    while (length > 0 && !tooMany) {
      const bool on = index % 2 == 0;
      const double take = std::min(left, length);
      const double t = take / length;
      const TkwPoint to{AFrom.X + (ATo.X - AFrom.X) * t, AFrom.Y + (ATo.Y - AFrom.Y) * t};
      if (on) {
        if (AOut.Points.size() == lineStart) AOut.Points.push_back({AFrom.X - AOrigin.X, AFrom.Y - AOrigin.Y});
        AOut.Points.push_back({to.X - AOrigin.X, to.Y - AOrigin.Y});
      }
      AFrom = to;
      length -= take;
      left -= take;
      if (left <= 1e-9) {
        if (on) endDash();
        index = (index + 1) % dash.size();
        left = dash[index];
      }
    }
  };
  TkwPoint current, start;
  bool open = false;
  for (const TkwPathSegment& seg : APath.Segments) {
    if (tooMany) return TDashes::dsTooMany;
    switch (seg.Kind) {
      case TkwPathSegmentKind::psMove:
        endDash();
        restart();
        current = start = seg.P3;
        open = true;
        break;
      case TkwPathSegmentKind::psLine:
        if (!open) {
          restart();
          current = start = seg.P3;
          open = true;
          break;
        }
        step(current, seg.P3);
        current = seg.P3;
        break;
      case TkwPathSegmentKind::psCubic: {
        if (!open) {
          restart();
          current = start = seg.P1;
          open = true;
        }
        const TkwPoint p0 = current;
        const double hull = Distance(p0, seg.P1) + Distance(seg.P1, seg.P2) + Distance(seg.P2, seg.P3);
        const int n = std::clamp(static_cast<int>(std::ceil(hull / 1.5)), 1, 100);
        for (int k = 1; k <= n; ++k) {
          const double t = static_cast<double>(k) / n, u = 1 - t;
          const TkwPoint q{u * u * u * p0.X + 3 * u * u * t * seg.P1.X + 3 * u * t * t * seg.P2.X + t * t * t * seg.P3.X,
                           u * u * u * p0.Y + 3 * u * u * t * seg.P1.Y + 3 * u * t * t * seg.P2.Y + t * t * t * seg.P3.Y};
          step(current, q);
          current = q;
        }
        break;
      }
      case TkwPathSegmentKind::psClose:
        if (open) {
          step(current, start);
          current = start;
        }
        break;
    }
  }
  endDash();
  return tooMany ? TDashes::dsTooMany : TDashes::dsDashed;
}

}  // namespace

bool DrawsAsVector(const TkwPathRecord& APath) {
  constexpr double kOpaque = 0.999;
  return !APath.Shading && (!APath.Filled || APath.FillAlpha <= 0 || APath.FillAlpha >= kOpaque) &&
         (!APath.Stroked || APath.StrokeAlpha <= 0 || APath.StrokeAlpha >= kOpaque);
}

std::optional<std::string> EncodeDrawingEmf(const std::vector<TkwPathRecord>& APaths,
                                            const std::vector<std::size_t>& AWhich, const TkwRect& ARectPt,
                                            std::size_t ABudget) {
  const double w = ARectPt.Width(), h = ARectPt.Height();
  if (!(w > 0) || !(h > 0)) return std::nullopt;
  for (const std::size_t index : AWhich) {
    if (index < APaths.size() && !DrawsAsVector(APaths[index])) return std::nullopt;
  }
  TkwEmfEncoder emf(w, h);
  const double x0 = ARectPt.Left, y0 = ARectPt.Top;
  const auto at = [&](const TkwPoint& AP) { return TkwPoint{AP.X - x0, AP.Y - y0}; };
  TDashLines dashes;
  for (const std::size_t index : AWhich) {
    if (index >= APaths.size()) continue;
    const TkwPathRecord& p = APaths[index];
    const bool fill = p.Filled && p.FillAlpha > 0, stroke = p.Stroked && p.StrokeAlpha > 0;
    if (!fill && !stroke) continue;
    const TkwRect& c = p.ClipPt;
    // A hundredth of a point is finer than a metafile's unit.
    emf.SetClip(ClipCuts(p, 0.01) ? std::optional<TkwRect>(TkwRect{c.Left - x0, c.Top - y0, c.Right - x0, c.Bottom - y0})
                                  : std::nullopt);
    if (fill) {
      emf.SetFillRule(p.EvenOdd);
      emf.SetBrush(p.FillColor);
    }
    dashes.Points.clear();
    dashes.Counts.clear();
    const TDashes dashed = stroke ? DashLines(p, {x0, y0}, dashes) : TDashes::dsSolid;
    if (dashed == TDashes::dsTooMany) return std::nullopt;
    if (stroke) {
      TkwEmfPen pen;
      pen.Color = p.StrokeColor;
      pen.WidthPt = p.LineWidthPt;
      emf.SetPen(pen);
    }
    if (dashed == TDashes::dsDashed) {
      if (fill) {
        Outline(emf, p, at);
        emf.FillPath();
      }
      emf.PolyPolyline(dashes.Points, dashes.Counts);
    } else {
      Outline(emf, p, at);
      if (fill && stroke) {
        emf.StrokeAndFillPath();
      } else if (fill) {
        emf.FillPath();
      } else {
        emf.StrokePath();
      }
    }
    if (emf.Size() > ABudget) return std::nullopt;
  }
  return emf.Finish();
}

std::unique_ptr<TGraphic> RenderDrawingPicture(std::shared_ptr<const std::vector<TkwPathRecord>> APaths,
                                               const std::vector<std::size_t>& AWhich,
                                               const std::vector<TkwDrawingImage>& AImages, const TkwRect& ARectPt,
                                               double ADpi, int AMaxPixels,
                                               const std::vector<const TkwRotatedLineRecord*>& AText) {
  if (!APaths) return nullptr;
  const std::optional<TPictureSize> size = PictureSize(ARectPt, ADpi, AMaxPixels);
  if (!size) return nullptr;
  // Text keeps the raster picture: drawn here in the family the font mapping chose, it
  // looks the same in every reader, where a metafile's text is set by each reader's own
  // font matching and rotated text support.
  if (AImages.empty() && AText.empty()) {
    const std::size_t pixels = static_cast<std::size_t>(size->Width) * static_cast<std::size_t>(size->Height);
    std::optional<std::string> emf =
        EncodeDrawingEmf(*APaths, AWhich, ARectPt, std::max(kMinDrawingEmfBudget, pixels / 4));
    // A large metafile is weighed against the picture it stands for: the smaller goes in.
    std::unique_ptr<TBitmap> bitmap;
    if (emf && emf->size() > kDrawingEmfWeighedSize) {
      bitmap = RenderDrawing(*APaths, AWhich, {}, ARectPt, ADpi, AMaxPixels);
      if (!bitmap) return nullptr;
      try {
        if (EncodePNG(*bitmap, std::nullopt).size() < emf->size()) return bitmap;
      } catch (const std::bad_alloc&) {
        throw;
      } catch (const std::exception&) {
        // A picture the writer cannot encode: the metafile stands.
      }
    }
    if (emf) {
      auto raster = [APaths, AWhich, ARectPt, ADpi, AMaxPixels]() -> std::unique_ptr<TBitmap> {
        return RenderDrawing(*APaths, AWhich, {}, ARectPt, ADpi, AMaxPixels);
      };
      return std::make_unique<TkwVectorPicture>(std::move(*emf), size->Width, size->Height, std::move(raster));
    }
  }
  return RenderDrawing(*APaths, AWhich, AImages, ARectPt, ADpi, AMaxPixels, AText);
}

}  // namespace qm
