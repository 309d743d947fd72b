#include "extract/kwPDFContentExtractor.h"

#include <algorithm>
#include <cmath>

#include "base/kwDiagnostics.h"
#include "base/Limits.h"
#include "base/Numbers.h"
#include "base/Units.h"
#include "pdf/content/ContentBridge.h"
#include "pdf/fonts/kwPDFont.h"
#include "platform/kwFontFace.h"
#include "platform/kwPath2D.h"
#include "platform/Bitmap.h"

namespace qm {

namespace {

// The widest gap inside a word, in ems of the font's size.
constexpr double kMaxWordGapEm = 0.25;
// sin 5°: a baseline steeper than this is rotated text.
constexpr double kRotatedSine = 0.087;

TkwMatrix2D Flipped(const TkwPDMatrix& M, double AF) {
  return {M.FM11, -M.FM12, -M.FM21, M.FM22, M.FDx, AF};
}

// The letters of a ligature, by its character (the presentation forms U+FB00 to U+FB06) or,
// when the font gave the glyph no such value, by its name ("fi", "f_f_i"); empty otherwise.
std::u16string_view LigatureLetters(char16_t AChar, std::string_view AName) {
  static constexpr std::u16string_view kForms[] = {u"ff", u"fi", u"fl", u"ffi", u"ffl", u"st", u"st"};
  if (AChar >= 0xFB00 && AChar <= 0xFB06) return kForms[AChar - 0xFB00];
  if (AName.size() < 2 || AName.size() > 7 || AName[0] != 'f' || AChar > u'z') return {};
  static constexpr std::pair<std::string_view, std::u16string_view> kNames[] = {
      {"ff", u"ff"}, {"fi", u"fi"}, {"fl", u"fl"}, {"ffi", u"ffi"}, {"ffl", u"ffl"},
      {"f_f", u"ff"}, {"f_i", u"fi"}, {"f_l", u"fl"}, {"f_f_i", u"ffi"}, {"f_f_l", u"ffl"},
      {"f_t", u"ft"}, {"f_j", u"fj"}, {"f_b", u"fb"}, {"f_k", u"fk"}, {"f_h", u"fh"}};
  for (const auto& [name, letters] : kNames) {
    if (AName == name) return letters;
  }
  return {};
}

}  // namespace

TkwPDFContentExtractor::TkwPDFContentExtractor(TkwFormatterInput& AFormatter,
                                               std::uint8_t AContentFlags,
                                               const std::vector<std::string>& AInstalledFonts)
    : FFormatter(AFormatter),
      FContentFlags(AContentFlags),
      FFontMap(AInstalledFonts),
      FMeasurer(AInstalledFonts) {
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
  FFormatter.BeginPage({AnPage, FPageWidth, FPageHeight});
  FPathClip = TkwRect{0, 0, FPageWidth / kPixelsPerPoint, FPageHeight / kPixelsPerPoint};
  FPathClipStack.clear();
  FPathCount = 0;
  FPathCapNoted = false;
  FPageClip = std::make_shared<TkwRegion>(TkwRect{0, 0, FPageWidth, FPageHeight});
  FClip = FPageClip;
  FClipRect = TkwRect{0, 0, FPageWidth, FPageHeight};
  FPageNum = AnPage;
  FRotated.clear();
  FRotPlaced.clear();
  FInPage = true;
  if (OnPageStart) OnPageStart(AnPage);
}

void TkwPDFContentExtractor::EndPage() {
  FlushRotated();
  FRotPlaced.clear();
  FStringFactsValid = false;
  FSurfaceStack.clear();
  FMeasurer.ForgetFace();
  FFontMap.ForgetNames();
  FInPage = false;
  if (OnPageEnd) OnPageEnd(FPageNum);
  FFormatter.EndPage();
  FCTMCopy.reset();
}

void TkwPDFContentExtractor::SaveState(TkwPDState&) {
  if (FSurfaceStack.size() < 4096) FSurfaceStack.push_back(FSurface);
  if (FPathClipStack.size() < 4096) FPathClipStack.push_back(FPathClip);
}

void TkwPDFContentExtractor::RestoreState(TkwPDState& AState) {
  if (!FSurfaceStack.empty()) {
    FSurface = FSurfaceStack.back();
    FSurfaceStack.pop_back();
    FCTMCopy = FSurface;
  }
  if (!FPathClipStack.empty()) {
    FPathClip = FPathClipStack.back();
    FPathClipStack.pop_back();
  }
  UpdateAll(AState);
  // Clipping does not survive a restore: the whole page is visible again.
  if (!FPageClip) FPageClip = std::make_shared<TkwRegion>(TkwRect{0, 0, FPageWidth, FPageHeight});
  FClip = FPageClip;
  FClipRect = TkwRect{0, 0, FPageWidth, FPageHeight};
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

void TkwPDFContentExtractor::UpdateFont(TkwPDState& AState) {
  TkwPDFont* pdfFont = AState.FFont;
  FStringFactsValid = false;
  FMeasurer.ForgetFont();
  if (!pdfFont) return;
  if (pdfFont != FCurrentFont || !FSystemFontSet) {
    // Pages switch between a few fonts all the time: each is mapped once.
    if (auto known = FMappedFonts.find(pdfFont); known != FMappedFonts.end()) {
      FSystemFont = known->second;
      FSystemFontSet = true;
      FCurrentFont = pdfFont;
      FGlyphFontValid = false;
    }
  }
  if (pdfFont != FCurrentFont || !FSystemFontSet) {
    const std::string& name =
        !pdfFont->GetEmbeddedFontName().empty() ? pdfFont->GetEmbeddedFontName()
        : !pdfFont->GetOrginalName().empty()   ? pdfFont->GetOrginalName()
                                                : pdfFont->GetBaseFont();
    TkwPdfFontFacts facts;
    facts.Name = name;
    facts.Family = pdfFont->GetFontFamily();
    facts.Flags = pdfFont->GetFlags();
    facts.HasDescriptor = pdfFont->HasFontDescriptor();
    facts.Weight = pdfFont->GetFontWeight();
    facts.ItalicAngle = pdfFont->GetItalicAngle();
    facts.Bold = pdfFont->IsBold();
    facts.Italic = pdfFont->IsItalic();
    facts.WideCoverage = pdfFont->IsCJKCollection();
    if (pdfFont->HasEmbeddedProgram() && !FEmbeddedOk.contains(pdfFont)) {
      const std::string* program = pdfFont->GetEmbeddedFontStream();
      const auto face = program != nullptr ? TkwFontFace::OpenMemory(*program) : nullptr;
      // A subset's descriptor and name often say nothing of its weight and slant; the
      // program's own style does.
      if (face) {
        facts.Bold = facts.Bold || face->IsBold();
        facts.Italic = facts.Italic || face->IsItalic();
      }
      FEmbeddedOk.emplace(pdfFont, face != nullptr);
    }
    FSystemFont = FFontMap.Map(facts);
    FMappedFonts.emplace(pdfFont, FSystemFont);
    if (FDiag && !FFontMap.GetLastFoundByName() && FNotInstalledNoted.insert(pdfFont).second) {
      FDiag->Note(TkwDiagCode::dcFontNotInstalled);
    }
    FSystemFontSet = true;
    FCurrentFont = pdfFont;
    FGlyphFontValid = false;
  }
  bool embedded = false;
  if (pdfFont->HasEmbeddedProgram()) {
    auto it = FEmbeddedOk.find(pdfFont);
    if (it == FEmbeddedOk.end()) {
      bool ok = false;
      if (const std::string* program = pdfFont->GetEmbeddedFontStream()) {
        ok = TkwFontFace::OpenMemory(*program) != nullptr;
      }
      it = FEmbeddedOk.emplace(pdfFont, ok).first;
    }
    embedded = it->second;
  }
  FMeasurer.SelectFace(FSystemFont, embedded);
}

TkwPoint TkwPDFContentExtractor::ToPagePoints(const TkwPDState& AState, double AX, double AY) const {
  const double k = kPixelsPerPoint;
  return {AState.FCTM.TransformX(AX, AY) / k, AState.FCTM.TransformY(AX, AY) / k};
}

namespace {

// The rectangle the points draw when they are one axis-aligned rectangle (edges along the
// axes, so no crossed figure); nothing otherwise.
std::optional<TkwRect> AxisRectangle(std::vector<TkwPoint> APoints) {
  constexpr double kEps = 1e-6;  // the corners pass through two matrices
  const auto near = [](double A, double B) { return std::fabs(A - B) <= kEps; };
  auto& pts = APoints;
  if (pts.size() == 5 && near(pts.front().X, pts.back().X) && near(pts.front().Y, pts.back().Y)) pts.pop_back();
  if (pts.size() != 4) return std::nullopt;
  TkwRect r{pts[0].X, pts[0].Y, pts[0].X, pts[0].Y};
  for (const TkwPoint& p : pts) {
    r.Left = std::min(r.Left, p.X);
    r.Right = std::max(r.Right, p.X);
    r.Top = std::min(r.Top, p.Y);
    r.Bottom = std::max(r.Bottom, p.Y);
  }
  for (std::size_t i = 0; i < 4; ++i) {
    const TkwPoint& a = pts[i];
    const TkwPoint& b = pts[(i + 1) % 4];
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
  NarrowPathClip(AState);
  // Clipping a rectangle to a rectangle leaves a rectangle (the crop box a page starts
  // with, a table cell); it is kept beside the region for the quick test.
  std::optional<TkwRect> rect;
  if (FClipRect && AState.GetPath().FSubPathList.size() == 1) {
    const TkwPDSubPath& sp = AState.GetPath().FSubPathList.front();
    bool straight = true;
    std::vector<TkwPoint> pts;
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
    FClip = std::make_shared<TkwRegion>(outline, ARule);
  } else {
    if (FClip.use_count() > 1) FClip = std::make_shared<TkwRegion>(*FClip);
    FClip->Intersect(outline, ARule);
  }
}

void TkwPDFContentExtractor::Clip(TkwPDState& AState) { AddClip(AState, TkwFillRule::frNonZero); }
void TkwPDFContentExtractor::EvenOddClip(TkwPDState& AState) { AddClip(AState, TkwFillRule::frEvenOdd); }
void TkwPDFContentExtractor::ClipToStrokePath(TkwPDState& AState) {
  AddClip(AState, TkwFillRule::frEvenOdd);
}

void TkwPDFContentExtractor::UpdateGlyphFont(const TkwPDFont* APdfFont) {
  FGlyphFont = FSystemFont;
  FGlyphFontFor = APdfFont;
  FGlyphFontValid = true;
  FMeasurer.ForgetExtentFace();
}

double TkwPDFContentExtractor::WordGapEm(const TkwPDFont& APdfFont) {
  if (&APdfFont == FWordGapFont) return FWordGap;
  auto it = FWordGaps.find(&APdfFont);
  if (it != FWordGaps.end()) {
    FWordGapFont = &APdfFont;
    FWordGap = it->second;
    return FWordGap;
  }
  // Half the font's own space: narrower than any word space a justified line shrinks to
  // (a third of the space at most in word processors and TeX), wider than kerning, which
  // stays below a tenth of an em in text faces. Fonts without a space glyph (TeX's, most
  // subsets) part words at 0.15 em: TeX's tightest word space in Computer Modern and Times
  // is 0.17 to 0.22 em, and letterspaced or kerned pairs stay below 0.1 em.
  double em = 0.15;
  if (!APdfFont.IsCIDFont()) {
    TkwPDNextChar nc;
    const std::u16string space(1, u' ');
    // Code 32 is the font's space only when its encoding or its Unicode map says so: a
    // subset's unused codes carry a filler width.
    const auto mapped = APdfFont.MapToUnicode(32);
    if (APdfFont.GetNextChar(space, 0, nc) != 0 && nc.Unicode == u' ' &&
        (nc.CharName == "space" || (mapped && *mapped == u' ')) && nc.Dx > 0.1 && nc.Dx < 1) {
      // A monospaced font's space is as wide as its letters (0.6 em): its words part at a
      // quarter of an em, as text faces' do, whatever the space glyph.
      em = std::min(0.5 * nc.Dx, kMaxWordGapEm);
    }
  }
  FWordGaps.emplace(&APdfFont, em);
  FWordGapFont = &APdfFont;
  FWordGap = em;
  return em;
}

void TkwPDFContentExtractor::PrepareString(TkwPDState& AState) {
  TkwPDFont* pdfFont = AState.FFont;
  if (pdfFont != FCurrentFont) UpdateFont(AState);
  // Composite fonts deliver CIDs and subset fonts private codes: the font's Unicode value
  // (ToUnicode first, then glyph names or the collection's map) is the character.
  // A font that is not embedded is shown in a text face (Symbol's Greek included), so its
  // glyphs go by their Unicode values rather than the codes of their own encoding.
  FPreferUnicode = pdfFont != nullptr &&
                   (pdfFont->IsCIDFont() || (FMeasurer.GetEmbedded() && pdfFont->GetToUnicode() != nullptr) ||
                    (!pdfFont->HasEmbeddedProgram() && FSystemFont.Charset != kSymbolCharset) ||
                    pdfFont->UnicodeOverCodes());
  FMeasurer.Prepare(AState, FSurface);

  if (!FGlyphFontValid || FGlyphFontFor != pdfFont) UpdateGlyphFont(pdfFont);
  TFont& font = FGlyphFont;
  const double k = kPixelsPerPoint;
  const TkwPDMatrix& tm = AState.FTextMatrix;
  // The output size changes with the font size, the text matrix's second column and the
  // CTM only: kept for the last ones.
  const TkwPDMatrix& c = AState.FCTM;
  std::array<double, 7>& key = FGlyphSizeKey;
  if (!FGlyphSizeValid || key[0] != AState.FFontSize || key[1] != tm.FM21 || key[2] != tm.FM22 || key[3] != c.FM11 ||
      key[4] != c.FM12 || key[5] != c.FM21 || key[6] != c.FM22) {
    FGlyphSize = RoundEven(AState.GetTransformedFontSize() / k);
    key = {AState.FFontSize, tm.FM21, tm.FM22, c.FM11, c.FM12, c.FM21, c.FM22};
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

  // Advances and gaps in page points: through the text matrix and the CTM (producers that
  // draw in tenths of a point scale the CTM), without the screen resolution.
  const double bx = tm.FM11 * c.FM11 + tm.FM12 * c.FM21;
  const double by = tm.FM11 * c.FM12 + tm.FM12 * c.FM22;
  // A baseline more than about 5 degrees off the horizontal, or running right to left
  // (upside down, mirrored), is rotated text; the slight tilt of a scanned page's text
  // layer is not.
  const double length = std::hypot(bx, by);
  FRotatedText = bx < 0 || (by != 0 && std::fabs(by) > kRotatedSine * length);
  FDirX = FRotatedText && length > 0 ? bx / length : 1;
  FDirY = FRotatedText && length > 0 ? by / length : 0;
  FXScale = (FRotatedText ? length : bx) * AState.FHorizScaling / k;
  double wordGap = 0;
  if (pdfFont) {
    wordGap = (WordGapEm(*pdfFont) * std::fabs(AState.FFontSize) + AState.FCharSpace) * std::fabs(FXScale);
  }
  FWordGapPt = wordGap > 0 ? wordGap : 0;
  FStringFactsValid = FInString;
}

namespace {
// Page coordinates below this round without clamping, and adding half a point is exact.
constexpr double kUnclampedPixels = 1e9;
}  // namespace

void TkwPDFContentExtractor::DrawChar(TkwPDState& AState, double AX, double AY, double, double,
                                      int ACode, std::string& ACharName) {
  if ((FContentFlags & 1) == 0 || !FInPage) return;
  if (!FStringFactsValid) PrepareString(AState);

  const int code = FPreferUnicode && AState.FCurUnicode != 0 ? AState.FCurUnicode : ACode;
  // Control codes are what a font without any Unicode value, usable name or encoding
  // delivers (bitmap fonts of TeX name their glyphs by number): nothing to show.
  if (code < 32 && code != u'\t') {
    if (FDiag) FDiag->Note(TkwDiagCode::dcGlyphUnmapped);
    return;
  }
  TkwRect box = FMeasurer.MeasurePrepared(AState, AX, AY, code);
  const TkwPDMatrix& tm = AState.FTextMatrix;
  const double ux = tm.FM11 * AX + tm.FM21 * AY + tm.FDx;
  const double uy = tm.FM12 * AX + tm.FM22 * AY + tm.FDy;
  TFont& font = FGlyphFont;

  double width = box.Right - box.Left, height = box.Bottom - box.Top;
  if (width == 1 && height == 1) {
    const TkwTextExtent ext = FMeasurer.CharExtent(font, static_cast<char16_t>(code));
    width = ext.Width;
    height = ext.Height;
  }

  const TkwPoint page = ToPagePoints(AState, ux, uy);
  const auto outsideClip = [&] {
    // An origin more than half a point inside the clip's rectangle rounds to a point inside
    // it: the rounding is needed only near its edges (and far out, where it clamps).
    if (FClipRect && std::fabs(page.X) < kUnclampedPixels && std::fabs(page.Y) < kUnclampedPixels &&
        page.X - 0.5 > FClipRect->Left && page.X + 0.5 < FClipRect->Right && page.Y - 0.5 > FClipRect->Top &&
        page.Y + 0.5 < FClipRect->Bottom) {
      return false;
    }
    const double clipX = RoundEven(page.X), clipY = RoundEven(page.Y);
    const bool insideRect = FClipRect && clipX > FClipRect->Left && clipX < FClipRect->Right &&
                            clipY > FClipRect->Top && clipY < FClipRect->Bottom;
    return !insideRect && !FClip->Contains({clipX, clipY});
  };
  if (FClip && outsideClip()) {
    // An origin just outside the clip (a line starting on the clip's edge) still shows the
    // glyph when the middle of its advance is inside.
    const double half = AState.FCurCharW * AState.FHorizScaling / 2;
    const TkwPoint mid = ToPagePoints(AState, ux + tm.FM11 * half, uy + tm.FM12 * half);
    if (!std::isfinite(mid.X) || !std::isfinite(mid.Y) ||
        !FClip->Contains({static_cast<double>(RoundEven(mid.X)), static_cast<double>(RoundEven(mid.Y))})) {
      return;
    }
  }
  const bool rotated = FRotatedText;
  if (!rotated && !FRotated.empty()) FlushRotated();
  const double advance = AState.FCurCharW * FXScale;
  TkwGlyphRecord glyph;
  glyph.Font = &font;
  glyph.BoxPx = {box.Left, box.Top, box.Left + width, box.Top + height};
  glyph.XPt = page.X;
  glyph.YPt = page.Y;
  glyph.AdvancePt = advance;
  glyph.CharSpacingPt = AState.FCharSpace;
  glyph.WordGapPt = FWordGapPt;
  glyph.NotFirstInString = FNotFirstInString;
  glyph.NotFirstInOperator = FNotFirstInOperator;
  double dirX = 1, dirY = 0;
  if (rotated) {
    // Laid upright later: the box is the glyph's upright extent, placed when the line is.
    dirX = FDirX;
    dirY = FDirY;
    const TkwTextExtent ext = FMeasurer.CharExtent(font, static_cast<char16_t>(code));
    glyph.BoxPx = {0, 0, ext.Width, ext.Height};
    width = ext.Width;
  }
  // A ligature becomes its letters, each with an equal share of the glyph's advance and box.
  const std::u16string_view letters = LigatureLetters(static_cast<char16_t>(code), ACharName);
  if (letters.empty()) {
    glyph.Unicode = static_cast<char16_t>(code);
    if (rotated) {
      AddRotatedGlyph(glyph, dirX, dirY);
    } else {
      FFormatter.AddGlyph(glyph);
    }
  } else {
    const double n = static_cast<double>(letters.size());
    const double boxWidth = width / n;
    const double boxLeft = glyph.BoxPx.Left;
    for (std::size_t i = 0; i < letters.size(); ++i) {
      const double f = static_cast<double>(i);
      glyph.Unicode = letters[i];
      glyph.XPt = page.X + dirX * advance * f / n;
      glyph.YPt = page.Y + dirY * advance * f / n;
      glyph.AdvancePt = advance / n;
      glyph.BoxPx.Left = boxLeft + boxWidth * f;
      glyph.BoxPx.Right = glyph.BoxPx.Left + boxWidth;
      if (rotated) {
        AddRotatedGlyph(glyph, dirX, dirY);
      } else {
        FFormatter.AddGlyph(glyph);
      }
      glyph.NotFirstInString = glyph.NotFirstInOperator = true;
    }
  }
  FNotFirstInString = true;
  FNotFirstInOperator = true;
}

void TkwPDFContentExtractor::AddRotatedGlyph(const TkwGlyphRecord& AGlyph, double AUx, double AUy) {
  const double size = std::max(static_cast<double>(AGlyph.Font->Size), 1.0);
  double along = 0, across = 0;
  bool continues = false;
  if (!FRotated.empty() && std::fabs(AUx - FRotUx) < 0.02 && std::fabs(AUy - FRotUy) < 0.02) {
    const double dx = AGlyph.XPt - FRotOrigin.X, dy = AGlyph.YPt - FRotOrigin.Y;
    along = dx * FRotUx + dy * FRotUy;
    across = dy * FRotUx - dx * FRotUy;
    // On the line's baseline (a script glyph a little off it), and no farther on than a
    // wide word space: producers that place each glyph on its own (chart labels) draw
    // neighbouring labels several ems apart.
    continues = std::fabs(across) < 0.5 * FRotSize && along > FRotEnd - FRotSize &&
                along < FRotEnd + 3 * FRotSize;
  }
  if (!continues) {
    FlushRotated();
    FRotOrigin = {AGlyph.XPt, AGlyph.YPt};
    FRotUx = AUx;
    FRotUy = AUy;
    FRotEnd = 0;
    FRotSize = size;
    along = across = 0;
  }
  FRotated.push_back({AGlyph, *AGlyph.Font, along, across});
  FRotEnd = std::max(FRotEnd, along + AGlyph.AdvancePt);
}

void TkwPDFContentExtractor::FlushRotated() {
  if (FRotated.empty()) return;
  const double k = kPixelsPerPoint;
  const double s = FRotSize;
  const double length = FRotEnd;
  // The middle of the line's body (half its length along the baseline, a third of its size
  // above it) is where the upright line's middle goes, inside the page.
  const double midAcross = 0.35 * s;
  const double cx = FRotOrigin.X + length / 2 * FRotUx - midAcross * FRotUy;
  const double cy = FRotOrigin.Y + length / 2 * FRotUy + midAcross * FRotUx;
  const double pageW = FPageWidth / k, pageH = FPageHeight / k;
  double x0 = std::min(cx - length / 2, pageW - length);
  x0 = std::max(x0, 0.0);
  double y0 = std::clamp(cy - midAcross, s, std::max(s, pageH - s));
  // Placed lines keep their baseline in Top and their size's top in Bottom.
  const auto reach = [](const TkwRect& APlaced) { return APlaced.Top - 0.3 * (APlaced.Bottom - APlaced.Top); };
  // Labels of one axis differ in length, so their middles stand a little apart: a line
  // nearly level with one laid before stands level with it.
  for (const TkwRect& p : FRotPlaced) {
    if (std::fabs(p.Top - y0) < 0.5 * s) {
      y0 = p.Top;
      break;
    }
  }
  // Slanted labels side by side (under a chart's axis) are narrower apart than they are
  // long: laid upright, a line steps down below those it would cover or come within an
  // em of, so that two never read as one.
  const auto covers = [&](double AY) {
    return std::any_of(FRotPlaced.begin(), FRotPlaced.end(), [&](const TkwRect& p) {
      return x0 - s < p.Right && p.Left < x0 + length + s && AY - 0.3 * s < p.Bottom && reach(p) < AY + s;
    });
  };
  for (int step = 0; step < 8 && y0 - 1.6 * s > 0 && covers(y0); ++step) y0 -= 1.6 * s;
  if (FRotPlaced.size() >= kMaxRotatedLinesKept) FRotPlaced.erase(FRotPlaced.begin());
  FRotPlaced.push_back({x0, y0, x0 + length, y0 + s});
  // The formatter decides whether the line is drawn where it stands (into a drawing's
  // picture) or laid upright as text; it gets both, in page points from the top.
  TkwRotatedLineRecord line;
  line.OriginPt = {FRotOrigin.X, pageH - FRotOrigin.Y};
  line.DirX = FRotUx;
  line.DirY = -FRotUy;
  line.LengthPt = length;
  line.SizePt = s;
  line.Glyphs.reserve(FRotated.size());
  bool first = true;
  for (TRotatedGlyph& r : FRotated) {
    TkwGlyphRecord& g = r.Glyph;
    g.Font = nullptr;
    g.XPt = x0 + r.Along;
    g.YPt = y0 + r.Across;
    const double w = g.BoxPx.Width(), h = g.BoxPx.Height();
    g.BoxPx.Left = std::floor(g.XPt * k);
    g.BoxPx.Top = std::floor((pageH - g.YPt) * k);
    g.BoxPx.Right = g.BoxPx.Left + w;
    g.BoxPx.Bottom = g.BoxPx.Top + h;
    g.NotFirstInString = g.NotFirstInOperator = !first;
    first = false;
    line.Glyphs.push_back({g, std::move(r.Font), r.Along, r.Across});
  }
  FRotated.clear();
  FFormatter.AddRotatedLine(line);
}

void TkwPDFContentExtractor::DrawImage(TkwPDState& AState, TkwPDImage& AImage) {
  if (!FInPage) return;
  std::shared_ptr<const TGraphic> picture = content::ImageToGraphic(AImage, AState);
  if (!picture || picture->IsEmpty()) return;
  const double k = kPixelsPerPoint;
  const TkwMatrix2D& m = FSurface;
  // The unit square of image space, by scale and translation only.
  TkwRect rect{m.E / k, (m.F - m.D) / k, (m.E + m.A) / k, m.F / k};
  if (rect.Right < rect.Left) std::swap(rect.Left, rect.Right);
  if (rect.Bottom < rect.Top) std::swap(rect.Top, rect.Bottom);
  FFormatter.AddPicture({rect, std::move(picture)});
}

void TkwPDFContentExtractor::DrawFormXObject(TkwPDState& AState, TkwPDForm& AForm) {
  if (PlayForms && FormPlayer) FormPlayer->PlayForm(AState, AForm, *this);
}

}  // namespace qm
