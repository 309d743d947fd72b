#include "formatter/kwFormatter.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/Limits.h"
#include "base/Numbers.h"
#include "formatter/kwDrawingClassifier.h"
#include "formatter/kwFormatterUtil.h"
#include "writer/kwRTFDoc.h"

namespace qm {

namespace {
// A superscript or subscript is set at most this share of the text's size (TeX and word
// processors use 0.58 to 0.7), and at least this far off the baseline, in points.
constexpr double kScriptSizeShare = 0.9;
constexpr double kMinScriptRise = 0.5;
// A glyph more than this many times the size of the text beside it is a brace, a drop cap
// or a delimiter: it neither sets the line's height nor takes the text as its own.
constexpr double kOversizeShare = 2.0;
// Glyphs a run makes room for when it takes its second one; it then grows fourfold up to
// kRunFastGrowth glyphs, and as vectors do beyond.
constexpr std::size_t kRunStartCapacity = 16;
constexpr std::size_t kRunFastGrowth = 1024;

// A word space put in between two glyphs gets the box of the gap it stands for, so that
// each character of a run has a box and a run can be cut between any two of them.
void AddWordSpace(TkwFormatterText& ARun, double AX, const TkwRect& AGlyphRect) {
  ARun.Text += u' ';
  ARun.GlyphRects.emplace_back(ARun.Right * kPixelsPerPoint, AGlyphRect.Top, AX * kPixelsPerPoint, AGlyphRect.Bottom);
}
}  // namespace

TkwFormatter::TkwFormatter(TkwDocumentWriter& ADocument)
    : FRTFDocument(&ADocument),
      FPageSettings(std::make_unique<TkwPageSettings>()),
      FMeasurer(CreateScreenTextMeasurer()),
      FWidths(std::make_unique<TkwFontWidthCache>(*FMeasurer)) {
  FPage = std::make_unique<TkwFormatterPage>();
  FPage->FormattingMode = GetFormattingMode();
}

TkwFormatter::~TkwFormatter() {
  FPage.reset();
}

void TkwFormatter::SetTextMeasurer(std::unique_ptr<TkwTextMeasurer> AMeasurer) {
  if (!AMeasurer) {
    return;
  }
  FMeasurer = std::move(AMeasurer);
  FWidths->SetMeasurer(*FMeasurer);
}

void TkwFormatter::SetMeasurementUnit(TkwMeasurementUnit AUnit) {
  FUnit = AUnit;
  FUnitFactor = MeasurementFactor(AUnit);
  FPageSettings->SetNativeFactor(FUnitFactor);
  FRTFDocument->SetMeasurementUnit(AUnit);
}

TkwMeasurementUnit TkwFormatter::GetMeasurementUnit() const { return FUnit; }

TkwPageSettings& TkwFormatter::GetPageSettings() {
  FTracked.Valid = false;  // the caller may change the margins
  return *FPageSettings;
}

void TkwFormatter::SetPageSettings(const TkwPageSettings& ASettings) {
  FTracked.Valid = false;
  FPageSettings->Assign(ASettings);
}

void TkwFormatter::SetDefaultMargins() {
  FTracked.Valid = false;
  FPageSettings->SetLeftMargin(kDefaultLeftMargin);
  FPageSettings->SetTopMargin(kDefaultTopMargin);
  FPageSettings->SetRightMargin(kDefaultRightMargin);
  FPageSettings->SetBottomMargin(kDefaultBottomMargin);
}

void TkwFormatter::EnsurePage() {
  if (!FPage) {
    FPage = std::make_unique<TkwFormatterPage>();
    FPage->SetFormattingMode(GetFormattingMode());
    // A new page measures afresh: sizes fitted on the previous page do not carry over.
    FSizeFits.clear();
  }
}

void TkwFormatter::BeginDoc() {
  FCurrentLineIndex = -1;
  FLastRunLine = nullptr;
  SetDefaultMargins();
  FRTFDocument->SetPageSettings(*FPageSettings);
  FRTFDocument->BeginDoc();
}

void TkwFormatter::EndDoc() {
  FRTFDocument->EndDoc();
}

int TkwFormatter::NewPage() {
  const int before = FPageCount;
  try {
    FCurrentLineIndex = -1;
    FLastRunLine = nullptr;
    // The page before keeps the margins its text gave it: the new page's settings go to
    // the writer only once its section is open.
    SetDefaultMargins();
    FRTFDocument->NewPage();
    FRTFDocument->SetPageSettings(*FPageSettings);
    ++FPageCount;
    EnsurePage();
    FLastRunId = 0;
    FNextLineId = 0;
    return FPageCount;
  } catch (const EkwWriterError&) {
    // The page is lost but the job goes on; the caller sees the count unchanged.
    FPageCount = before;
    return before;
  }
}

void TkwFormatter::EndPage() {
  FTracked.Valid = false;
  EnsurePage();
  auto& page = *FPage;
  page.SetFormattingMode(GetFormattingMode());
  // Text placed above the page's edge starts at the edge. The bottom margin only decides
  // where a word processor breaks the page: a small one leaves room for text that sets
  // a little taller than on the page, so the page never spills onto another.
  FPageSettings->SetTopMargin(std::max(0.0, FPageSettings->GetTopMargin() - 3));
  FPageSettings->SetBottomMargin(std::clamp(FPageSettings->GetBottomMargin() - 3, 0.0, kFitBottomMargin));
  FRTFDocument->SetPageSettings(*FPageSettings);
  page.PageSettings = FPageSettings.get();
  page.Document = FRTFDocument;
  page.PageNumber = FPageCount + 1;
  page.Formatter = this;

  // Rotated lines on a drawing go into its picture; the others join the text before
  // what the page draws marks the text (underlines, shading) and lines are merged; the
  // rest of the drawing becomes pictures, offered with the images.
  LayUpright(PlaceRotatedText(page, std::exchange(FRotatedLines, {})));
  ClassifyDrawing(page);
  // Lines, images, paragraphs and tables are all offered to OnElementDetected before the
  // page reports progress and is written.
  page.Analyse();
  AttachTableDrawing(page);
  page.DecideActions();
  RenderDrawingPictures(page);
  if (OnProgress) {
    OnProgress(*this, FPageCount + 1);
  }
  page.Render(*FRTFDocument);

  FRTFDocument->EndPage();
  FPage.reset();
  FLastRunLine = nullptr;
  FCurrentLineIndex = -1;
  if (OnEndPage) {
    OnEndPage(*this, FPageCount + 1);
  }
}

void TkwFormatter::AddImage(const TkwRect& ARect, const TGraphic& AGraphic) {
  AddImage(ARect, std::shared_ptr<const TGraphic>(AGraphic.Clone()));
}

void TkwFormatter::AddImage(const TkwRect& ARect, std::shared_ptr<const TGraphic> AGraphic) {
  EnsurePage();
  // A picture wholly outside the page (a page cut from a larger sheet shows only part of
  // its content) is not seen there; written, it would sit on the page's edge over the text.
  const double width = FPageSettings->GetWidth();
  const double height = FPageSettings->GetHeight();
  if (!(ARect.Right > 0 && ARect.Bottom > 0 && ARect.Left < width && ARect.Top < height)) {
    return;
  }
  auto image = std::make_unique<TkwFormatterImage>();
  image->Graphic = std::move(AGraphic);
  image->Rect = TkwFormatterRect(ARect.Left, ARect.Top, ARect.Right, ARect.Bottom);
  image->X = ARect.Left;
  image->Y = ARect.Top;
  image->Document = FRTFDocument;
  image->Formatter = this;
  image->PathsBefore = FPage->Paths.size();
  // The picture is placed when the page is written; an RTF document encodes it meanwhile.
  if (auto* rtf = dynamic_cast<TkwRTFDoc*>(FRTFDocument); rtf && image->Graphic) rtf->PreparePicture(image->Graphic);
  FPage->Images.push_back(std::move(image));
}

void TkwFormatter::BeginPage(const TkwPageRecord& APage) {
  FTracked.Valid = false;
  FRotatedLines.clear();
  // The page as displayed, in pixels; later settings are read in points again.
  SetMeasurementUnit(TkwMeasurementUnit::muPixels);
  FPageSettings->SetWidth(APage.WidthPx);
  FPageSettings->SetHeight(APage.HeightPx);
  SetMeasurementUnit(TkwMeasurementUnit::muPoints);
}

void TkwFormatter::AddGlyph(const TkwGlyphRecord& AGlyph) {
  AddChar(*AGlyph.Font, AGlyph.BoxPx, AGlyph.CharSpacingPt, AGlyph.Unicode, AGlyph.NotFirstInString,
          AGlyph.NotFirstInOperator, AGlyph.AdvancePt, AGlyph.YPt, AGlyph.XPt, AGlyph.WordGapPt);
}

void TkwFormatter::AddPicture(const TkwPictureRecord& APicture) {
  AddImage(APicture.RectPt, APicture.Graphic);
}

void TkwFormatter::AddPath(const TkwPathRecord& APath) {
  EnsurePage();
  FPage->Paths.push_back(APath);
}

void TkwFormatter::AddRotatedLine(const TkwRotatedLineRecord& ALine) {
  EnsurePage();
  if (FRotatedLines.size() >= kMaxRotatedLinesHeld || ALine.Glyphs.empty()) {
    AddUpright(ALine);
    return;
  }
  FRotatedLines.push_back(ALine);
}

void TkwFormatter::LayUpright(const std::vector<TkwRotatedLineRecord>& ALines) {
  if (ALines.empty()) return;
  // They come after the page's last glyph but stand elsewhere: the first does not go on
  // the last line's baseline or raise from it.
  FLastRunLine = nullptr;
  FCurrentLineIndex = -1;
  for (const TkwRotatedLineRecord& line : ALines) AddUpright(line);
}

TkwFormatterText* TkwFormatter::CreateRun(const TFont& AFont, const TkwRect& AGlyphRect,
                                          double ACharSpace, char16_t ACharacter, double AAdvance,
                                          double ATopY, double AX) {
  auto run = std::make_unique<TkwFormatterText>();
  run->X = AX;
  run->Y = ATopY;
  run->Text.assign(1, ACharacter);
  run->Width = AAdvance;
  // The run's end is known from its first glyph, so that a gap before the next string
  // of the same run is seen and becomes a space.
  run->Right = AX + AAdvance;
  run->Font = AFont;
  run->GlyphRects.emplace_back(AGlyphRect.Left, AGlyphRect.Top, AGlyphRect.Right, AGlyphRect.Bottom);
  run->CharSpacing = ACharSpace;
  run->Document = FRTFDocument;
  run->Formatter = this;
  run->Id = ++FLastRunId;
  auto* raw = run.get();
  // The caller attaches it to a line at once.
  FPendingRun = std::move(run);
  return raw;
}

void TkwFormatter::WidenMargins(double ATopY, double AX, double AAdvance, const TkwRect& AGlyphRect) {
  const double right = AX + AAdvance;
  TTrackedExtent& t = FTracked;
  auto& ps = *FPageSettings;
  // Only glyphs ending inside the page move the right margin.
  const bool inside = right < ps.GetWidth();
  if (!t.Valid) {
    t = {true, ATopY, ATopY, AX > 0 ? AX : 1e300, inside ? right : -1e300};
  } else {
    t.MinTop = std::min(t.MinTop, ATopY);
    t.MaxTop = std::max(t.MaxTop, ATopY);
    if (AX > 0) t.MinLeft = std::min(t.MinLeft, AX);
    if (inside) t.MaxRight = std::max(t.MaxRight, right);
  }
  const double pageHeight = ps.GetHeight();
  if (ps.GetTopMargin() > ATopY) {
    const double box = std::fabs(AGlyphRect.Top - AGlyphRect.Bottom) / kPixelsPerPoint;
    ps.SetTopMargin(ATopY - (std::isfinite(box) ? box : 0));
  }
  if (ps.GetBottomMargin() > pageHeight - ATopY) {
    ps.SetBottomMargin(pageHeight - ATopY);
  }
  if (ps.GetLeftMargin() > AX && AX > 0) {
    ps.SetLeftMargin(AX);
  }
  const double r = ps.GetWidth() - (AX + AAdvance);
  if (ps.GetRightMargin() > r && r > 0) {
    ps.SetRightMargin(r);
  }
  if (ps.GetTopMargin() > ATopY) {
    ps.SetTopMargin(ATopY);
  }
}

void TkwFormatter::AddChar(const TFont& AFont, const TkwRect& AGlyphRect, double ACharSpace,
                           char16_t ACharacter, bool, bool ANotFirstInOperator,
                           double AAdvance, double AY, double AX, double AWordGap) {
  EnsurePage();
  auto& page = *FPage;
  const double pageHeight = FPageSettings->GetHeight();
  // Text outside the page (left of it, right of it, above or below it) is not seen.
  if (!(AX >= 0) || !(AY <= pageHeight) || !(AY > 0) || !(AX < FPageSettings->GetWidth()) ||
      !std::isfinite(AX) || !std::isfinite(AY) || !std::isfinite(AAdvance)) {
    return;
  }
  const double topY = pageHeight - AY;
  double boxHeight = (AGlyphRect.Bottom - AGlyphRect.Top) / kPixelsPerPoint;
  if (!std::isfinite(boxHeight)) {
    boxHeight = 0;  // a broken glyph box must not spread through the line geometry
  }
  const auto fittedHeight = [&] {
    const double size = fmt::FontSize(AFont);
    return (std::fabs(size) + 3 < boxHeight && AFont.Name == fmt::kArialUnicode) ? size : boxHeight;
  };
  const double right = AX + AAdvance;
  const int roundedY = RoundEven(topY);

  // Only the line that took the latest run can continue on this baseline.
  TkwFormatterTextLine* line = FLastRunLine;
  TkwFormatterText* last = line != nullptr ? line->LastRun() : nullptr;
  if (line != nullptr && last != nullptr && line->Y == roundedY && last->Id == FLastRunId) {
    const bool sameFont = fmt::SameFont(last->Font, AFont);
    const auto& lastWidths = FWidths->Lookup(last->Font);
    const double wWidth = lastWidths.W;
    const double gap = std::fabs(AX - line->Right);
    const bool far = gap > 2 * wWidth && std::fabs(AX - line->Right - wWidth) > 2;
    line->ListLabel = fmt::IsListLabelLine(*line);
    if (gap > 8 * lastWidths.Space) {
      line->ListLabel = false;
    }
    const bool boldNumber = !ANotFirstInOperator && fmt::IsBoldNumberLine(*line, AFont);
    // Words are parted by where the glyphs stand, whether or not the producer drew a
    // space: inside one string (kerning in a TJ array), between strings, and where the
    // font changes within the line.
    const auto wordSpace = [&](double ARight) {
      if (ARight == 0 || last->Text.empty()) return false;
      const double gap = AWordGap > 0 ? AWordGap : fmt::kWordGapOfSpace * FWidths->SpaceWidth(AFont);
      return fmt::GapIsWordSpace(AX - ARight, gap, last->Text.back(), ACharacter);
    };
    // Back on the baseline after a superscript or subscript: a run of its own.
    const bool afterRise = last->Rise != 0;
    if ((!sameFont || far || afterRise) && (!ANotFirstInOperator || afterRise)) {
      if (far && !line->ListLabel && !boldNumber) {
        StartLine(AFont, AGlyphRect, ACharSpace, ACharacter, AAdvance, topY, AX, fittedHeight());
        TrackMargins(topY, AX, AAdvance, AGlyphRect);
        return;
      }
      // The run reaches to where the next one starts (with a space when the gap is a
      // word's), so that the line reads on without a tab.
      if (wordSpace(last->Right)) AddWordSpace(*last, AX, AGlyphRect);
      if (last->Right != 0 && AX > last->Right) last->Width += AX - last->Right;
      CreateRun(AFont, AGlyphRect, ACharSpace, ACharacter, AAdvance, topY, AX);
      FPendingRun->RunIndex = line->LastRunIndex + 1;
      line->LastRunIndex = FPendingRun->RunIndex;
      line->AddRun(std::move(FPendingRun));
    } else if (const char16_t composed =
                   AX < last->Right && !last->Text.empty() &&
                           (fmt::IsSpacingAccent(ACharacter) || fmt::IsSpacingAccent(last->Text.back()))
                       ? AccentOverLetter(*last, AGlyphRect, ACharacter, AX, right)
                       : char16_t{0};
               composed != 0) {
      last->Text.back() = composed;
      last->Right = std::max(last->Right, right);
      last->Width = last->Right - last->X;
      last->GlyphRects.back().IncludeRect({AGlyphRect.Left, AGlyphRect.Top, AGlyphRect.Right, AGlyphRect.Bottom});
      ACharacter = composed;
    } else {
      if (auto& rects = last->GlyphRects; rects.size() == rects.capacity() && rects.size() < kRunFastGrowth) {
        // A run that goes on past its first glyph is most often a word or a line: it grows
        // by a few words at a time rather than from one glyph, and from its second glyph
        // by about as many as the run that grew before it took. One-glyph runs (table
        // cells, scattered marks) stay small.
        std::size_t room = std::max(kRunStartCapacity, 4 * rects.size());
        if (rects.size() == 1) {
          room = std::clamp(FGrownRunLength + FGrownRunLength / 4, kRunStartCapacity, kRunFastGrowth);
        }
        last->Text.reserve(room);
        rects.reserve(room);
      }
      if (wordSpace(last->Right)) AddWordSpace(*last, AX, AGlyphRect);
      last->Text += ACharacter;
      // The run's width is the span of its glyphs: kerning and word gaps included.
      last->Width = right > last->X ? right - last->X : last->Width + AAdvance;
      last->Right = right;
      last->GlyphRects.emplace_back(AGlyphRect.Left, AGlyphRect.Top, AGlyphRect.Right,
                                    AGlyphRect.Bottom);
      FGrownRunLength = last->GlyphRects.size();
    }
    if (right > line->Right) {
      line->SetRight(right);
    }
    // A brace, drop cap or delimiter far larger than the line's text leaves its height.
    const bool oversized = fmt::FontSize(AFont) > kOversizeShare * fmt::FontSize(line->Runs.front()->Font);
    if (boxHeight > line->Height && !oversized) {
      line->SetHeight(fittedHeight());
    }
    FLastChar = ACharacter;
    TrackMargins(topY, AX, AAdvance, AGlyphRect);
    return;
  }

  // Raised text (a superscript, a trademark sign) inside the last line's height joins it.
  if (FCurrentLineIndex >= 0 && FCurrentLineIndex < static_cast<int>(page.Lines.size())) {
    auto* current = page.Lines[static_cast<std::size_t>(FCurrentLineIndex)];
    auto* currentRun = current->LastRun();
    if (currentRun != nullptr && AddRaised(*current, AFont, AGlyphRect, ACharSpace, ACharacter, AAdvance,
                                           topY, AX, AWordGap)) {
      return;
    }
    // Text beside a glyph far larger than it (a big brace) is not raised text of that glyph.
    const bool besideOversized =
        currentRun != nullptr && fmt::FontSize(currentRun->Font) > kOversizeShare * fmt::FontSize(AFont);
    if (currentRun != nullptr && topY != current->Y && current->Y - current->Height <= topY &&
        topY <= current->Y && !besideOversized &&
        2 * FWidths->SpaceWidth(currentRun->Font) > std::fabs(AX - current->Right)) {
      currentRun->Text += ACharacter;
      currentRun->GlyphRects.emplace_back(AGlyphRect.Left, AGlyphRect.Top, AGlyphRect.Right, AGlyphRect.Bottom);
      currentRun->Width += AAdvance;
      // The run ends after the raised glyph too; otherwise the next glyph on the
      // baseline would look like a new word.
      currentRun->Right = std::max(currentRun->Right, right);
      if (right > current->Right) {
        current->SetRight(right);
      }
      if (ACharacter != u' ' && boxHeight > current->Height) {
        current->SetHeight(fittedHeight());
      }
      FLastChar = ACharacter;
      return;
    }
  }

  StartLine(AFont, AGlyphRect, ACharSpace, ACharacter, AAdvance, topY, AX, fittedHeight());
  TrackMargins(topY, AX, AAdvance, AGlyphRect);
}

char16_t TkwFormatter::AccentOverLetter(const TkwFormatterText& ARun, const TkwRect& AGlyphRect, char16_t ACharacter,
                                        double AX, double ARight) {
  // Only a glyph drawn back over the last one can be its accent or its letter.
  if (ARun.Text.empty() || ARun.GlyphRects.empty() || !(AX < ARun.Right)) return 0;
  const TkwFormatterRect& previous = ARun.GlyphRects.back();
  const char16_t last = ARun.Text.back();
  const double k = kPixelsPerPoint;
  // The accent first, then its letter under it (TeX's way): the accent's middle lies over
  // the letter's advance. Or the letter first and the accent drawn onto it.
  const double previousMid = (previous.Left + previous.Right) / 2 / k;
  if (previousMid >= AX && previousMid <= ARight) {
    if (const char16_t c = fmt::ComposeAccent(ACharacter, last)) return c;
  }
  const double mid = (AGlyphRect.Left + AGlyphRect.Right) / 2 / k;
  if (mid >= previous.Left / k && mid <= previous.Right / k) return fmt::ComposeAccent(last, ACharacter);
  return 0;
}

bool TkwFormatter::AddRaised(TkwFormatterTextLine& ALine, const TFont& AFont, const TkwRect& AGlyphRect,
                             double ACharSpace, char16_t ACharacter, double AAdvance, double ATopY,
                             double AX, double AWordGap) {
  // The line's own text: its last run on the baseline.
  const TkwFormatterText* base = nullptr;
  for (auto it = ALine.Runs.rbegin(); it != ALine.Runs.rend() && base == nullptr; ++it) {
    if ((*it)->Rise == 0) base = it->get();
  }
  TkwFormatterText* last = ALine.LastRun();
  if (base == nullptr || last == nullptr || ACharacter == u' ' || !(fmt::FontSize(base->Font) > 0)) return false;
  const double rise = base->Y - ATopY;
  // Smaller than the line's text, raised into its height or lowered by less than half of
  // it, and close to its end: a superscript or subscript (footnote marks, exponents,
  // chemical formulas). Same-size raised glyphs stay part of the text.
  const double share = fmt::FontSize(AFont) / fmt::FontSize(base->Font);
  const bool smaller = share < kScriptSizeShare && share * kOversizeShare > 1;
  const bool inBand = (rise > 0 && rise <= ALine.Height) || (rise < 0 && -rise <= 0.5 * ALine.Height);
  const bool near = std::fabs(AX - ALine.Right) < 2 * FWidths->SpaceWidth(last->Font);
  if (!smaller || !inBand || !near || std::fabs(rise) < kMinScriptRise) return false;
  const double right = AX + AAdvance;
  if (last->Rise != 0 && std::fabs(last->Rise - rise) < kMinScriptRise && fmt::SameFont(last->Font, AFont)) {
    const double gap = AWordGap > 0 ? AWordGap : fmt::kWordGapOfSpace * FWidths->SpaceWidth(AFont);
    if (!last->Text.empty() && fmt::GapIsWordSpace(AX - last->Right, gap, last->Text.back(), ACharacter)) {
      AddWordSpace(*last, AX, AGlyphRect);
    }
    last->Text += ACharacter;
    last->Width = right > last->X ? right - last->X : last->Width + AAdvance;
    last->Right = right;
    last->GlyphRects.emplace_back(AGlyphRect.Left, AGlyphRect.Top, AGlyphRect.Right, AGlyphRect.Bottom);
  } else {
    if (last->Right != 0 && AX > last->Right) last->Width += AX - last->Right;
    CreateRun(AFont, AGlyphRect, ACharSpace, ACharacter, AAdvance, base->Y, AX);
    FPendingRun->Rise = rise;
    FPendingRun->RunIndex = ALine.LastRunIndex + 1;
    ALine.LastRunIndex = FPendingRun->RunIndex;
    ALine.AddRun(std::move(FPendingRun));
  }
  if (right > ALine.Right) ALine.SetRight(right);
  FLastRunLine = &ALine;
  FLastChar = ACharacter;
  return true;
}

void TkwFormatter::StartLine(const TFont& AFont, const TkwRect& AGlyphRect, double ACharSpace,
                             char16_t ACharacter, double AAdvance, double ATopY, double AX,
                             double AHeight) {
  if (ACharacter == u' ') {
    return;  // a space never starts a line
  }
  auto& page = *FPage;
  auto* line = page.NewLine();
  line->LineId = FNextLineId++;
  line->Document = FRTFDocument;
  line->Formatter = this;
  CreateRun(AFont, AGlyphRect, ACharSpace, ACharacter, AAdvance, ATopY, AX);
  line->AddRun(std::move(FPendingRun));
  line->X = AX;
  line->Y = RoundEven(ATopY);
  line->SetHeight(AHeight);
  line->SetRight(AX + AAdvance);
  FCurrentLineIndex = static_cast<int>(page.Lines.size()) - 1;
  FLastRunLine = line;
  FLastChar = ACharacter;
}

}  // namespace qm
