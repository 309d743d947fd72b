#include "pdf/content/kwPDFContentExtractor.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include "base/Numbers.h"
#include "pdf/content/PDContentBridge.h"
#include "pdf/fonts/PDFont.h"
#include "platform/FontFace.h"
#include "platform/GlyphOutline.h"
#include "platform/Path2D.h"
#include "platform/Raster.h"
#include "platform/ScreenDpi.h"
#include "platform/TextMetrics.h"
#include "writer/kwDocumentWriter.h"

namespace qm {

namespace {

TkwMatrix2D Flipped(const TkwPDMatrix& M, double AF) {
  return {M.FM11, -M.FM12, -M.FM21, M.FM22, M.FDx, AF};
}

std::string Lower(std::string_view AText) {
  std::string s(AText);
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

void EraseFirst(std::string& AText, std::string_view AWhat, bool ACaseless) {
  const std::size_t at = ACaseless ? Lower(AText).find(Lower(AWhat)) : AText.find(AWhat);
  if (at != std::string::npos) AText.erase(at, AWhat.size());
}

// Font-unit bounds of a glyph (y upwards), cached per face and character; an empty outline
// is remembered as such.
struct TGlyphBox {
  TkwRectF Box;
  bool Empty = true;
};

const TGlyphBox& GlyphBox(const TkwFontFace& AFace, char32_t ACode) {
  // One per thread: conversions may run on several at once.
  thread_local std::map<std::pair<const TkwFontFace*, char32_t>, TGlyphBox> cache;
  auto key = std::make_pair(&AFace, ACode);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  TGlyphBox box;
  const unsigned glyph = AFace.GetGlyphIndex(ACode);
  if (glyph != 0 || ACode == 0) {
    TkwPath2D path = AFace.GetGlyphPath(glyph);
    if (!path.IsEmpty()) {
      box.Box = path.GetBounds(1.0);
      box.Empty = false;
    }
  }
  if (cache.size() > 200000) cache.clear();  // fonts of a long batch must not pile up
  return cache.emplace(key, box).first->second;
}

}  // namespace

double TkwPDFContentExtractor::PixelsPerPoint() { return static_cast<double>(GetScreenDpi()) / 72.0; }

TkwPDFContentExtractor::TkwPDFContentExtractor(TkwDocumentWriter& AFormatter,
                                               std::uint8_t AContentFlags,
                                               const std::vector<std::string>& AInstalledFonts)
    : FFormatter(AFormatter), FContentFlags(AContentFlags), FInstalledFonts(AInstalledFonts) {
  UseDrawChar = true;
}

TkwPDFContentExtractor::~TkwPDFContentExtractor() = default;

bool TkwPDFContentExtractor::CheckPageSlice(TkwPDPage*, double, double, int, bool, bool, int, int,
                                            int, int) {
  return true;
}

void TkwPDFContentExtractor::StartPage(int AnPage, TkwPDState& AState) {
  FSurface = TkwMatrix2D{};
  FSurfaceStack.clear();
  FCTMCopy.reset();
  FPageWidth = AState.FPageWidth;
  FPageHeight = AState.FPageHeight;
  UpdateCTM(AState, AState.FCTM);
  FFormatter.SetMeasurementUnit(TkwMeasurementUnit::muPixels);
  FFormatter.GetPageSettings().SetWidth(FPageWidth);
  FFormatter.GetPageSettings().SetHeight(FPageHeight);
  FFormatter.SetMeasurementUnit(TkwMeasurementUnit::muPoints);
  FClip = TkwRegion(TkwRectF{0, 0, FPageWidth, FPageHeight});
  FClipRect = TkwRectF{0, 0, FPageWidth, FPageHeight};
  FPageNum = AnPage;
  FInPage = true;
  if (OnPageStart) OnPageStart(AnPage);
}

void TkwPDFContentExtractor::EndPage() {
  FSurfaceStack.clear();
  FMeasureFace.reset();
  FSpaceFree.clear();
  FSpaceFreeBuilt = false;
  FInPage = false;
  if (OnPageEnd) OnPageEnd(FPageNum);
  FFormatter.EndPage();
  FCTMCopy.reset();
}

void TkwPDFContentExtractor::SaveState(TkwPDState&) {
  if (FSurfaceStack.size() < 4096) FSurfaceStack.push_back(FSurface);
}

void TkwPDFContentExtractor::RestoreState(TkwPDState& AState) {
  if (!FSurfaceStack.empty()) {
    FSurface = FSurfaceStack.back();
    FSurfaceStack.pop_back();
    FCTMCopy = FSurface;
  }
  UpdateAll(AState);
  // Clipping does not survive a restore: the whole page is visible again.
  FClip = TkwRegion(TkwRectF{0, 0, FPageWidth, FPageHeight});
  FClipRect = TkwRectF{0, 0, FPageWidth, FPageHeight};
}

void TkwPDFContentExtractor::UpdateCTM(TkwPDState&, const TkwPDMatrix& M) {
  if (!FCTMCopy) {
    FCTMCopy = Flipped(M, M.FDy);
    FSurface = Flipped(M, FPageHeight - M.FDy);
  } else {
    FCTMCopy = Flipped(M, M.FDy);
    FSurface.Prepend(Flipped(M, -M.FDy));
  }
}

void TkwPDFContentExtractor::UpdateFillOpacity(TkwPDState& AState) {
  FFillOpacity = std::clamp(RoundEven(AState.FFillOpacity * 255.0), 0, 255);
}

void TkwPDFContentExtractor::BuildSpaceFree() {
  if (FSpaceFreeBuilt) return;
  FSpaceFree.clear();
  FArialUnicode = false;
  const std::string target = Lower("Arial Unicode MS");
  for (const std::string& name : FInstalledFonts) {
    std::string s;
    for (char c : name) {
      if (c != ' ') s.push_back(c);
    }
    FSpaceFree.push_back(s);
    if (!name.empty() && target.find(Lower(name)) != std::string::npos) FArialUnicode = true;
  }
  FSpaceFreeBuilt = true;
}

TFont TkwPDFContentExtractor::MapSystemFont(const std::string& AFontName, bool ABold, bool AItalic,
                                            bool ASerif, bool AFixed) {
  TFont font;
  std::string name;
  for (char c : AFontName) {
    if (c != ',' && c != '+' && c != '-') name.push_back(c);
  }
  EraseFirst(name, "PS", false);
  EraseFirst(name, "MT", false);
  TFontStyles style = 0;
  if (name.find("Bold") != std::string::npos) {
    EraseFirst(name, "Bold", true);
    style |= fsBold;
  }
  if (name.find("Italic") != std::string::npos) {
    EraseFirst(name, "Italic", true);
    style |= fsItalic;
  }
  if (ABold) {
    style |= fsBold;
    if (AItalic) style |= fsItalic;
  } else if (AItalic) {
    style |= fsItalic;
  }
  font.Style = style;

  BuildSpaceFree();
  const std::string lname = Lower(name);
  int best = -1;
  for (std::size_t i = 0; i < FInstalledFonts.size(); ++i) {
    if (FSpaceFree[i].empty()) continue;
    if (lname.find(Lower(FSpaceFree[i])) == std::string::npos) continue;
    if (best < 0 || FInstalledFonts[i].size() > FInstalledFonts[static_cast<std::size_t>(best)].size()) {
      best = static_cast<int>(i);
    }
  }
  if (best >= 0) {
    font.Name = FInstalledFonts[static_cast<std::size_t>(best)];
    return font;
  }
  // The standard PDF families have no installed namesake on any system; they stand for the
  // fonts every word processor has.
  auto starts = [&](const char* APrefix) { return lname.rfind(Lower(APrefix), 0) == 0; };
  if (starts("Helvetica") || starts("Arial")) {
    font.Name = "Arial";
  } else if (starts("Times")) {
    font.Name = "Times New Roman";
  } else if (starts("Courier")) {
    font.Name = "Courier New";
  } else if (FArialUnicode) {
    font.Name = "Arial Unicode MS";
  } else {
    // Without that font the serif and fixed-pitch classes still choose the output font,
    // as they do when it is installed.
    font.Name = ASerif ? "Times New Roman" : AFixed ? "Courier New" : "Arial";
    const bool have = std::find(FInstalledFonts.begin(), FInstalledFonts.end(), font.Name) !=
                      FInstalledFonts.end();
    if (!have && !FInstalledFonts.empty() && !ASerif && !AFixed) {
      font.Name = FInstalledFonts.front();
    }
  }
  return font;
}

void TkwPDFContentExtractor::UpdateFont(TkwPDState& AState) {
  TkwPDFont* pdfFont = AState.FFont;
  FMeasureFace.reset();
  FEmbedded = false;
  if (!pdfFont) return;
  if (pdfFont != FCurrentFont || !FSystemFontSet) {
    const std::string& name =
        !pdfFont->GetEmbeddedFontName().empty() ? pdfFont->GetEmbeddedFontName()
        : !pdfFont->GetOrginalName().empty()   ? pdfFont->GetOrginalName()
                                                : pdfFont->GetBaseFont();
    FSystemFont = MapSystemFont(name, pdfFont->IsBold(), pdfFont->IsItalic(), pdfFont->IsSerif(),
                                pdfFont->IsFixedWidth());
    FSystemFontSet = true;
    FCurrentFont = pdfFont;
    FGlyphFontValid = false;
  }
  if (pdfFont->HasEmbeddedProgram()) {
    auto it = FEmbeddedOk.find(pdfFont);
    if (it == FEmbeddedOk.end()) {
      bool ok = false;
      if (const std::string* program = pdfFont->GetEmbeddedFontStream()) {
        ok = TkwFontFace::OpenMemory(*program) != nullptr;
      }
      it = FEmbeddedOk.emplace(pdfFont, ok).first;
    }
    FEmbedded = it->second;
  }
  if (!FEmbedded) {
    const bool bold = (FSystemFont.Style & fsBold) != 0;
    const bool italic = (FSystemFont.Style & fsItalic) != 0;
    FMeasureFace = GetSystemFace("Arial Unicode MS", bold, italic);
    if (!FMeasureFace) FMeasureFace = GetSystemFace("Arial", bold, italic);
    if (!FMeasureFace && !FInstalledFonts.empty()) {
      FMeasureFace = GetSystemFace(FInstalledFonts.front(), bold, italic);
    }
  }
}

TkwPointF TkwPDFContentExtractor::ToPagePoints(const TkwPDState& AState, double AX, double AY) const {
  const double k = PixelsPerPoint();
  return {AState.FCTM.TransformX(AX, AY) / k, AState.FCTM.TransformY(AX, AY) / k};
}

namespace {

// The rectangle the points draw when they are one axis-aligned rectangle (edges along the
// axes, so no crossed figure); nothing otherwise.
std::optional<TkwRectF> AxisRectangle(std::vector<TkwPointF> APoints) {
  constexpr double kEps = 1e-6;  // the corners pass through two matrices
  const auto near = [](double A, double B) { return std::fabs(A - B) <= kEps; };
  auto& pts = APoints;
  if (pts.size() == 5 && near(pts.front().X, pts.back().X) && near(pts.front().Y, pts.back().Y)) pts.pop_back();
  if (pts.size() != 4) return std::nullopt;
  TkwRectF r{pts[0].X, pts[0].Y, pts[0].X, pts[0].Y};
  for (const TkwPointF& p : pts) {
    r.Left = std::min(r.Left, p.X);
    r.Right = std::max(r.Right, p.X);
    r.Top = std::min(r.Top, p.Y);
    r.Bottom = std::max(r.Bottom, p.Y);
  }
  for (std::size_t i = 0; i < 4; ++i) {
    const TkwPointF& a = pts[i];
    const TkwPointF& b = pts[(i + 1) % 4];
    const bool sameX = near(a.X, b.X), sameY = near(a.Y, b.Y);
    if (sameX == sameY) return std::nullopt;  // a diagonal edge, or a repeated point
    if ((!near(a.X, r.Left) && !near(a.X, r.Right)) || (!near(a.Y, r.Top) && !near(a.Y, r.Bottom))) {
      return std::nullopt;
    }
  }
  return r;
}

}  // namespace

void TkwPDFContentExtractor::AddClip(TkwPDState& AState, TkwFillRule ARule) {
  // Clipping a rectangle to a rectangle leaves a rectangle (the crop box a page starts
  // with, a table cell); it is kept beside the region for the quick test.
  std::optional<TkwRectF> rect;
  if (FClipRect && AState.GetPath().FSubPathList.size() == 1) {
    const TkwPDSubPath& sp = AState.GetPath().FSubPathList.front();
    bool straight = true;
    std::vector<TkwPointF> pts;
    for (std::size_t i = 0; i < sp.PointCount() && straight; ++i) {
      straight = i == 0 || !sp.IsCurve(i);
      pts.push_back(ToPagePoints(AState, sp.FX[i], sp.FY[i]));
    }
    if (straight) rect = AxisRectangle(std::move(pts));
  }
  if (rect) {
    rect->Left = std::max(rect->Left, FClipRect->Left);
    rect->Top = std::max(rect->Top, FClipRect->Top);
    rect->Right = std::min(rect->Right, FClipRect->Right);
    rect->Bottom = std::min(rect->Bottom, FClipRect->Bottom);
  }
  FClipRect = rect;
  TkwPath2D outline;
  for (const TkwPDSubPath& sp : AState.GetPath().FSubPathList) {
    if (sp.PointCount() == 0) continue;
    outline.MoveTo(ToPagePoints(AState, sp.FX[0], sp.FY[0]));
    std::size_t i = 1;
    while (i < sp.PointCount()) {
      if (sp.IsCurve(i) && i + 2 < sp.PointCount()) {
        outline.CubicTo(ToPagePoints(AState, sp.FX[i], sp.FY[i]),
                        ToPagePoints(AState, sp.FX[i + 1], sp.FY[i + 1]),
                        ToPagePoints(AState, sp.FX[i + 2], sp.FY[i + 2]));
        i += 3;
      } else {
        outline.LineTo(ToPagePoints(AState, sp.FX[i], sp.FY[i]));
        ++i;
      }
    }
    outline.CloseFigure();
  }
  if (!FClip) {
    FClip = TkwRegion(outline, ARule);
  } else {
    FClip->Intersect(outline, ARule);
  }
}

void TkwPDFContentExtractor::Clip(TkwPDState& AState) { AddClip(AState, TkwFillRule::frNonZero); }
void TkwPDFContentExtractor::EvenOddClip(TkwPDState& AState) { AddClip(AState, TkwFillRule::frEvenOdd); }
void TkwPDFContentExtractor::ClipToStrokePath(TkwPDState& AState) {
  AddClip(AState, TkwFillRule::frEvenOdd);
}

namespace {

// ATranslation * AM, for a translation: the products of the general form that are exact
// (ones and zeros) left out.
TkwMatrix2D TranslatedBefore(const TkwMatrix2D& AM, double ADx, double ADy) {
  return {AM.A, AM.B, AM.C, AM.D, ADx * AM.A + ADy * AM.C + AM.E, ADx * AM.B + ADy * AM.D + AM.F};
}

}  // namespace

const TkwRectF* TkwPDFContentExtractor::GlyphBoxOf(const TkwFontFace& AFace, char32_t ACode) {
  if (ACode >= 256) {
    const TGlyphBox& gb = GlyphBox(AFace, ACode);
    return gb.Empty ? nullptr : &gb.Box;
  }
  if (FBoxSlot == nullptr || FBoxSlot->Face != &AFace) {
    FBoxSlot = nullptr;
    for (TBoxSlot& slot : FBoxSlots) {
      if (slot.Face == &AFace) FBoxSlot = &slot;
    }
    if (FBoxSlot == nullptr) {
      FBoxSlot = &FBoxSlots[FBoxSlotNext];
      FBoxSlotNext = (FBoxSlotNext + 1) % FBoxSlots.size();
      FBoxSlot->Face = &AFace;
      FBoxSlot->Boxes.assign(256, TBoxEntry{});
    }
  }
  TBoxEntry& entry = FBoxSlot->Boxes[ACode];
  if (!entry.Known) {
    const TGlyphBox& gb = GlyphBox(AFace, ACode);
    entry = {gb.Box, gb.Empty, true};
  }
  return entry.Empty ? nullptr : &entry.Box;
}

TkwRectF TkwPDFContentExtractor::MeasureGlyph(const TkwPDState& AState, double AX, double AY,
                                              int ACode) {
  const TkwPDMatrix& tm = AState.FTextMatrix;
  const TkwMatrix2D text{tm.FM11, -tm.FM12, -tm.FM21, tm.FM22, tm.FDx, -tm.FDy};
  if (!FTextSurfaceValid || !(text == FTextSurfaceTm) || !(FSurface == FTextSurfaceOf)) {
    FTextSurface = text * FSurface;
    FTextSurfaceTm = text;
    FTextSurfaceOf = FSurface;
    FTextSurfaceValid = true;
  }
  const double fs = AState.FFontSize;
  if (FEmbedded || !FMeasureFace) {
    // The embedded program is not drawn: its outline is empty and measures 1 × 1 pixel at
    // the origin, which the text-extent rule then replaces.
    const TkwMatrix2D surface = TranslatedBefore(FTextSurface, AX, AState.FRise - AY);
    const TkwPointF o = surface.Transform({0, 0});
    return {std::floor(o.X), std::floor(o.Y), std::floor(o.X) + 1, std::floor(o.Y) + 1};
  }
  const TkwMatrix2D surface = TranslatedBefore(FTextSurface, AX, -AY);
  const TkwFontFace& face = *FMeasureFace;
  if (FGlyphMetricsFace != &face || !(FGlyphMetricsSize == fs) || !(FGlyphMetricsRise == AState.FRise)) {
    const double upem = face.GetUnitsPerEm() > 0 ? face.GetUnitsPerEm() : 1000;
    const double ascent = face.GetCellAscent() * fs / upem + AState.FRise;
    FGlyphBaseline = -static_cast<double>(RoundEven(ascent)) + face.GetCellAscent() * fs / upem;
    FGlyphScale = fs / upem;
    FGlyphMetricsFace = &face;
    FGlyphMetricsSize = fs;
    FGlyphMetricsRise = AState.FRise;
  }
  const double baseline = FGlyphBaseline;
  // Font units (y up) to the glyph's layout box (y down), scaled by the horizontal scaling:
  // {sx, 0, 0, -s, 0, baseline} followed by the surface, without the exact zero products.
  const double s = FGlyphScale;
  const double sx = s * AState.FHorizScaling;
  const TkwMatrix2D m{sx * surface.A,
                      sx * surface.B,
                      -s * surface.C,
                      -s * surface.D,
                      baseline * surface.C + surface.E,
                      baseline * surface.D + surface.F};
  const TkwRectF* gb = GlyphBoxOf(face, static_cast<char32_t>(ACode));
  if (gb == nullptr) {
    const TkwPointF o = m.Transform({0, 0});
    return {std::floor(o.X), std::floor(o.Y), std::floor(o.X) + 1, std::floor(o.Y) + 1};
  }
  double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
  const TkwPointF corners[4] = {{gb->Left, gb->Top}, {gb->Right, gb->Top},
                                {gb->Right, gb->Bottom}, {gb->Left, gb->Bottom}};
  for (const TkwPointF& c : corners) {
    const TkwPointF p = m.Transform(c);
    minX = std::min(minX, p.X);
    maxX = std::max(maxX, p.X);
    minY = std::min(minY, p.Y);
    maxY = std::max(maxY, p.Y);
  }
  return {std::floor(minX), std::floor(minY), std::ceil(maxX), std::ceil(maxY)};
}

void TkwPDFContentExtractor::UpdateGlyphFont(const TkwPDFont* APdfFont) {
  FGlyphFont = FSystemFont;
  if (FGlyphFont.Name == "Arial Unicode MS" && APdfFont) {
    if (APdfFont->IsSerif()) {
      FGlyphFont.Name = "Times New Roman";
    } else if (APdfFont->IsFixedWidth()) {
      FGlyphFont.Name = "Courier New";
    }
  }
  FGlyphFontFor = APdfFont;
  FGlyphFontValid = true;
  FExtentFace.reset();
  FExtentFaceFound = false;
}

void TkwPDFContentExtractor::DrawChar(TkwPDState& AState, double AX, double AY, double, double,
                                      int ACode, std::string&) {
  if ((FContentFlags & 1) == 0 || !FInPage) return;
  TkwPDFont* pdfFont = AState.FFont;
  if (pdfFont != FCurrentFont) UpdateFont(AState);

  int code = ACode;
  if (pdfFont) {
    // Composite fonts deliver CIDs and subset fonts private codes: the font's Unicode value
    // (ToUnicode first, then glyph names or the collection's map) is the character.
    const bool hasToUnicode = pdfFont->GetToUnicode() != nullptr;
    if (AState.FCurUnicode != 0 && (pdfFont->IsCIDFont() || (FEmbedded && hasToUnicode))) {
      code = AState.FCurUnicode;
    }
  }

  TkwRectF box = MeasureGlyph(AState, AX, AY, code);
  const TkwPDMatrix& tm = AState.FTextMatrix;
  const double ux = tm.FM11 * AX + tm.FM21 * AY + tm.FDx;
  const double uy = tm.FM12 * AX + tm.FM22 * AY + tm.FDy;

  if (!FGlyphFontValid || FGlyphFontFor != pdfFont) UpdateGlyphFont(pdfFont);
  TFont& font = FGlyphFont;
  const double k = PixelsPerPoint();
  // The output size changes with the font size, the text matrix's second column and the
  // CTM only: kept for the last ones.
  const std::array<double, 7> sizeKey{AState.FFontSize, tm.FM21, tm.FM22, AState.FCTM.FM11, AState.FCTM.FM12,
                                      AState.FCTM.FM21, AState.FCTM.FM22};
  if (!FGlyphSizeValid || !(sizeKey == FGlyphSizeKey)) {
    FGlyphSize = RoundEven(AState.GetTransformedFontSize() / k);
    FGlyphSizeKey = sizeKey;
    FGlyphSizeValid = true;
  }
  font.Size = FGlyphSize;
  std::array<std::int32_t, 3> rgb{0, 0, 0};
  AState.GetFillRGB(rgb);
  // Glyphs come in long runs of one colour: the conversion is kept for the last one.
  if (!FLastFill || (*FLastFill)[0] != rgb[0] || (*FLastFill)[1] != rgb[1] || (*FLastFill)[2] != rgb[2]) {
    auto chan = [](std::int32_t AV) {
      return static_cast<std::uint8_t>(std::clamp(RoundEven(AV * 255.0 / 65536.0), 0, 255));
    };
    FLastFill = rgb;
    FLastFillColor = RGBColor(chan(rgb[0]), chan(rgb[1]), chan(rgb[2]));
  }
  font.Color = FLastFillColor;

  double width = box.Right - box.Left, height = box.Bottom - box.Top;
  if (width == 1 && height == 1) {
    TkwTextExtent ext;
    if (font.Size > 0) {
      if (!FExtentFaceFound) {
        FExtentFace = GetSystemFace(font.Name, (font.Style & fsBold) != 0, (font.Style & fsItalic) != 0);
        FExtentFaceFound = true;
      }
      const char16_t one = static_cast<char16_t>(code);
      if (FExtentFace) ext = GetTextExtent(*FExtentFace, font.Size, std::u16string_view(&one, 1));
    }
    width = ext.Width;
    height = ext.Height;
  }

  if (tm.FM11 != 1 && tm.FM12 != 0 && tm.FM11 == tm.FM22 && tm.FM12 == -tm.FM21) return;

  const TkwPointF page = ToPagePoints(AState, ux, uy);
  const double clipX = RoundEven(page.X), clipY = RoundEven(page.Y);
  const bool insideRect = FClipRect && clipX > FClipRect->Left && clipX < FClipRect->Right &&
                          clipY > FClipRect->Top && clipY < FClipRect->Bottom;
  if (FClip && !insideRect && !FClip->Contains({clipX, clipY})) {
    return;
  }
  const double advance = AState.FCurCharW * tm.FM11 * AState.FHorizScaling;
  FFormatter.AddChar(font, TkwRect{box.Left, box.Top, box.Left + width, box.Top + height},
                     AState.FCharSpace, static_cast<char16_t>(code), FNotFirstInString,
                     FNotFirstInOperator, advance, page.Y, page.X);
  FNotFirstInString = true;
  FNotFirstInOperator = true;
}

void TkwPDFContentExtractor::DrawImage(TkwPDState& AState, TkwPDImage& AImage) {
  if (!FInPage) return;
  std::unique_ptr<TGraphic> picture = content::ImageToGraphic(AImage, AState);
  if (!picture || picture->IsEmpty()) return;
  const double k = PixelsPerPoint();
  const TkwMatrix2D& m = FSurface;
  // The unit square of image space, by scale and translation only.
  TkwRect rect{m.E / k, (m.F - m.D) / k, (m.E + m.A) / k, m.F / k};
  if (rect.Right < rect.Left) std::swap(rect.Left, rect.Right);
  if (rect.Bottom < rect.Top) std::swap(rect.Top, rect.Bottom);
  FFormatter.AddImage(rect, *picture);
}

void TkwPDFContentExtractor::DrawFormXObject(TkwPDState& AState, TkwPDForm& AForm) {
  if (PlayForms && FormPlayer) FormPlayer->PlayForm(AState, AForm, *this);
}

}  // namespace qm
