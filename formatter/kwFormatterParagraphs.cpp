// Paragraphs: grouping a column's lines, list detection, spacing, fillers, alignment,
// indents and fitting oversized fallback-font text.
#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>
#include <tuple>

#include "base/Limits.h"
#include "base/Numbers.h"
#include "formatter/kwFormatter.h"
#include "formatter/kwFormatterUtil.h"

namespace qm {

namespace {
// Distances in points that decide how lines group into paragraphs and how paragraphs
// are spaced.

// A line whose two margins differ by less than this is centred.
constexpr double kCentreTolerance = 5;
// Lines starting this close are aligned on the left; glyph origins jitter by a point.
constexpr double kSameLeftTolerance = 2;
// The widest first-line indent of body text (half an inch; TeX uses 1 to 1.5 em).
constexpr double kMaxFirstLineIndent = 36;
// Lines ending this close are aligned on the right; ragged word ends vary more.
constexpr double kSameRightTolerance = 5;
// A paragraph is set flush right only when its line ends agree as closely as left edges.
constexpr double kFlushRightTolerance = 2;
// A line ending short of this share of the column is a paragraph's last line.
constexpr double kShortLineRatio = 0.75;
// Slack when asking whether the next line's first word would have fitted on this one.
constexpr double kWordFitSlack = -2;
// A line distance that changes by more than this starts a new paragraph.
constexpr double kLineDistanceChange = 2;
// Between a paragraph's first two lines, a distance above this is a paragraph break.
constexpr double kParagraphBreakGap = 50;
// The first line of a paragraph reaches this far below its text box (descenders).
constexpr double kFirstLineDescent = 2;
// A one-line paragraph whose text is this much taller than its line box is tightened
// by kTightenedSpacing, when the box is taller than kMinHeightToTighten.
constexpr double kTallTextExcess = 2;
constexpr double kTightenedSpacing = 0.5;
constexpr double kMinHeightToTighten = 2;
// A blank line shorter than this is not written.
constexpr double kMinGap = 0.25;
// A list label has at least this many characters of text after it.
constexpr std::size_t kMinTextAfterLabel = 2;
// Text that does not fit its room is condensed by at most this share of its size per
// character, then made smaller, never below kMinFitFontSize.
constexpr double kMaxCondenseRatio = 0.08;
constexpr double kMinFitFontSize = 5;
constexpr int kMaxFitSteps = 4;
// A run at a tab stop keeps this far from the next stop.
constexpr double kTabGap = 1;
// A run after a tab is written this far right of where the page has it.
constexpr double kTabStopOffset = 2;
// Share of its room that text is fitted to.
constexpr double kFitRoomShare = 0.97;
// The lines of a paragraph take the smallest size one of them was fitted to when it is at
// least this share of the page's.
constexpr double kMinAlikeSizeShare = 0.8;
// A leader is at least this many dots (or underscores) before a page number of at most
// kMaxLeaderTargetLength characters.
constexpr int kMinLeaderDots = 4;
constexpr std::size_t kMaxLeaderTargetLength = 8;
// A word made whole at a tab stop may overrun the stop by what condensing this share of
// the size from each character of its item takes back.
constexpr double kJoinCondenseShare = 0.04;
// The rest of a word broken at a tab stop is looked for this many lines below.
constexpr std::size_t kMaxRowsToStop = 3;
// Baselines of single-spaced text stand at most this many line heights apart (TeX sets
// 1.2, word processors 1.15 to 1.5); double spacing is twice that.
constexpr double kMaxJoinedLineDistance = 1.6;
}  // namespace

}  // namespace qm

namespace qm::fmt {

std::uint8_t ListKindOf(std::u16string_view AFirstWord, const TFont& AFont, char16_t& AClose) {
  AClose = 0;
  const auto word = Trim(AFirstWord);
  if (!word.empty() && AFirstWord.size() < 2) {
    // A lone digit is a number label ("1 Introduction"), a lone letter or sign a word
    // ("À bientôt", "@ home"), not a bullet.
    if (IsBulletChar(word[0])) {
      return 1;
    }
    if (AFont.Name == "Symbol" || FontIsSymbolCharset(AFont)) {
      return 1;
    }
  }
  auto label = word;
  const auto space = label.find(u' ');
  if (space != std::u16string_view::npos) {
    label = label.substr(0, space);
  }
  if (label.empty()) {
    return 0;
  }
  char16_t close = 0;
  if (!IsDigit(label.back()) && !IsAsciiLetter(label.back())) {
    close = label.back();
    label.remove_suffix(1);
  }
  const auto number = ToInteger(label);
  // A lone letter is a label only when closed as labels are ("a)", "B."): one with
  // nothing after it is a word ("A new way"), one followed by a comma or an equals
  // sign a name ("A, B, C =").
  const bool letter = label.size() == 1 && IsAsciiLetter(label[0]) && (close == u'.' || close == u')');
  const bool numberClose = close == 0 || close == u'.' || close == u')';
  if ((number && *number > 0 && IsDigit(label[0]) && numberClose) || letter) {
    AClose = close;
    return 2;
  }
  return 0;
}

bool ContinuesPrevious(const TkwFormatterTextLine& P, const TkwFormatterTextLine& L,
                       const TkwFormatterTextLine* PP, double AColumnRight) {
  if ((L.LastRunIndex > 0 || P.LastRunIndex > 0) && !P.ListLabel) {
    return false;
  }
  if (P.Right < kShortLineRatio * AColumnRight) {
    const auto* r = (P.ListLabel && P.Runs.size() > 1) ? P.Run(1) : P.Run(0);
    if (r != nullptr && FontOnlyBold(r->Font) && P.Runs.size() == 1) {
      return false;
    }
    if (std::fabs(P.Right - L.Right) > kSameRightTolerance) {
      return false;
    }
  }
  const auto word = FirstWord(L);
  const auto* first = L.Run(0);
  if (word.empty() || first == nullptr) {
    return false;
  }
  const double width = TextWidth(*first, first->Font, word);
  if (PP != nullptr) {
    return width + P.Width - PP->Width > kWordFitSlack;
  }
  return width + P.Width - L.Width > kWordFitSlack;
}

TFitResult FitFontSize(const TkwFormatterText& ARun) {
  const double size = FontSize(ARun.Font);
  // Only the fallback font is refitted; other fonts keep the size the page gave them.
  if (ARun.Font.Name != kArialUnicode) {
    return {size, false};
  }
  if (ARun.Formatter == nullptr) {
    throw std::logic_error("a formatter element fitted outside its formatter");
  }
  auto& fits = ARun.Formatter->GetSizeFits();
  if (const auto it = fits.find(ARun.Font.Size); it != fits.end()) {
    return {static_cast<double>(it->second), true};
  }
  TFont font = ARun.Font;
  if (!(ARun.Width < TextWidth(ARun, font, ARun.Text))) {
    return {size, false};
  }
  while (ARun.Width < TextWidth(ARun, font, ARun.Text) && font.Size > 5) {
    --font.Size;
  }
  fits[ARun.Font.Size] = font.Size;
  return {static_cast<double>(font.Size), true};
}

std::optional<double> FitAndNotify(TkwFormatterElement& ASender, const TkwFormatterText& ARun) {
  const auto fit = FitFontSize(ARun);
  if (!fit.Changed) {
    return std::nullopt;
  }
  auto* formatter = ARun.Formatter;
  if (TkwDiagnostics* diag = formatter ? formatter->GetDiagnostics() : nullptr) diag->Note(TkwDiagCode::dcFontSubstituted);
  if (formatter != nullptr && formatter->OnFontSubstituting) {
    TkwFontSubstitutionEventArgs args;
    args.Sender = &ASender;
    args.FontInUse = ARun.Font;
    args.Substitute = ARun.Font;
    SetFontSize(args.Substitute, fit.Size);
    formatter->OnFontSubstituting(ASender, args);
    // Whatever the handler proposes, text stays visible.
    return std::max(FontSize(args.Substitute), 1.0);
  }
  return fit.Size;
}

namespace {
std::unique_ptr<TkwFormatterParagraph> MakeFiller(const TkwFormatterElement& AOwner, double ASpacing) {
  auto para = std::make_unique<TkwFormatterParagraph>();
  para->JoinOwner(AOwner);
  para->LineSpacing = ASpacing;
  para->Spacer = true;
  para->OwnedLine = std::make_unique<TkwFormatterTextLine>();
  para->OwnedLine->JoinOwner(AOwner);
  auto run = std::make_unique<TkwFormatterText>();
  run->JoinOwner(AOwner);
  run->Text.assign(1, u' ');
  run->Font = MakeFont("Times New Roman", 10);
  para->OwnedLine->AddRun(std::move(run));
  para->AddLine(para->OwnedLine.get());
  return para;
}

// A page is never taller than kMaxFillers fillers; a wild coordinate must not make
// millions of paragraphs.
}  // namespace

void AddFiller(std::vector<std::unique_ptr<TkwFormatterParagraph>>& AList, const TkwFormatterElement& AOwner,
               double AHeight) {
  if (!(AHeight > 0)) {
    return;
  }
  const int n = std::min(RoundEven(AHeight / 10 - 0.5), kMaxFillers);
  for (int i = 0; i < n; ++i) {
    AList.push_back(MakeFiller(AOwner, 10));
  }
  const int rest = RoundEven(AHeight) % 10;
  if (rest != 0 && n < kMaxFillers) {
    AList.push_back(MakeFiller(AOwner, rest));
  }
}

void RenderFillers(TkwDocumentWriter& AWriter, const TkwFormatterElement& AOwner, double AHeight) {
  std::vector<std::unique_ptr<TkwFormatterParagraph>> fillers;
  AddFiller(fillers, AOwner, AHeight);
  if (fillers.size() >= 2) {
    for (auto& filler : fillers) {
      filler->Render(AWriter);
    }
  }
}

void RenderGap(TkwDocumentWriter& AWriter, const TkwFormatterElement& AOwner, double AHeight) {
  // The whole gap as one blank line: a page is never taller than kMaxFillers tens of points.
  const double height = std::min(AHeight, 10.0 * kMaxFillers);
  if (height >= kMinGap) {
    MakeFiller(AOwner, height)->Render(AWriter);
  }
}

std::unique_ptr<TkwFormatterParagraph> MakeSpacer(const TkwFormatterElement& AOwner, double AHeight) {
  return MakeFiller(AOwner, std::min(AHeight, 10.0 * kMaxFillers));
}

}  // namespace qm::fmt

namespace qm {

namespace {

using namespace fmt;

void UpdateRefs(const TkwFormatterTextLine& L, double& ALeftRef, double& ARightRef, TFont& ARefFont) {
  const bool label = L.ListLabel && L.Runs.size() > 1;
  ALeftRef = label ? L.Runs[1]->X : L.X;
  ARightRef = L.Right;
  if (const auto* run = label ? L.Run(1) : L.Run(0)) {
    ARefFont = run->Font;
  }
}

// Every run of the line takes the fitted size.
void ApplySize(TkwFormatterTextLine& ALine, const std::optional<double>& ASize) {
  if (ASize) {
    for (auto& run : ALine.Runs) {
      SetFontSize(run->Font, *ASize);
    }
  }
}

// How a line sits against the one before it.
struct TLineStep {
  double Dx = 0;             // difference of the starts
  double Dr = 0;             // difference of the ends
  bool Centred = false;      // the line is centred on the page
  bool PrevCentred = false;  // the line before is
  bool Last = false;         // the paragraph's last line
};

// The alignment after the line at AIndex (1 for the second line), from the one so far:
// 0 left, 1 right, 2 centred, 3 justified.
std::uint8_t NextAlignment(std::uint8_t ACurrent, std::size_t AIndex, const TLineStep& AStep) {
  const double dx = AStep.Dx;
  const double dr = AStep.Dr;
  if (AIndex == 1) {
    if (dx < kSameLeftTolerance && (dr < kSameRightTolerance || AStep.Last)) {
      return 3;
    }
    if (AStep.Centred) {
      return 2;
    }
  } else {
    if (AStep.Centred && AStep.PrevCentred) {
      return (dx >= kSameLeftTolerance || dr >= kSameRightTolerance) ? 2 : 3;
    }
    if (dx < kSameLeftTolerance && (dr < kSameRightTolerance || AStep.Last) && ACurrent == 3) {
      return 3;
    }
  }
  if (dx < kSameLeftTolerance) {
    return 0;
  }
  if (dr < kFlushRightTolerance) {
    return 1;
  }
  return ACurrent;
}

// Alignment, indents and fitted font sizes of a paragraph, from its lines.
void Attributes(TkwFormatterParagraph& P) {
  if (P.Lines.empty()) {
    return;
  }
  const double pw = PageWidth(P);
  auto* l0 = P.Lines[0];
  P.LeftIndent = l0->X;
  std::optional<double> substitute;
  if (const auto* r = (l0->ListLabel && l0->Runs.size() > 1) ? l0->Run(1) : l0->Run(0)) {
    substitute = FitAndNotify(P, *r);
  }
  // Every line of the paragraph gets the fitted size, the first one too.
  ApplySize(*l0, substitute);
  double body = 0;  // smallest start of the lines after the first
  const auto centred = [pw](const TkwFormatterTextLine& L) {
    return std::fabs(L.X - (pw - L.Right)) < kCentreTolerance;
  };
  bool prevCentred = centred(*l0);
  for (std::size_t i = 1; i < P.Lines.size(); ++i) {
    auto* L = P.Lines[i];
    const auto* prev = P.Lines[i - 1];
    if (L->X < P.LeftIndent || P.LeftIndent == 0) {
      P.LeftIndent = L->X;
    }
    if (L->X < body || body == 0) {
      body = L->X;
    }
    const TLineStep step{std::fabs(L->X - prev->X), std::fabs(L->Right - prev->Right), centred(*L), prevCentred,
                         i + 1 == P.Lines.size()};
    P.Alignment = NextAlignment(P.Alignment, i, step);
    prevCentred = step.Centred;
    ApplySize(*L, substitute);
  }
  // Right alignment needs ragged left edges. Lines after the first that start together
  // (a first-line or hanging indent aside) are justified when they also end together
  // before the last line, and left-aligned otherwise. Two lines ending together whose
  // starts differ by no more than an indent (a paragraph's first line, a bibliography's
  // hanging entry) are justified too; right-aligned pairs differ by more.
  const bool indentOnly = P.Lines.size() == 2 && std::fabs(P.Lines[0]->X - P.Lines[1]->X) < kMaxFirstLineIndent;
  if (P.Alignment == 1 && (P.Lines.size() > 2 || indentOnly)) {
    bool leftFlush = true, rightFlush = true;
    double right = 0;
    for (std::size_t i = 0; i + 1 < P.Lines.size(); ++i) right = std::max(right, P.Lines[i]->Right);
    for (std::size_t i = 1; i < P.Lines.size(); ++i) {
      leftFlush = leftFlush && std::fabs(P.Lines[i]->X - body) < kSameLeftTolerance;
    }
    for (std::size_t i = 0; i + 1 < P.Lines.size(); ++i) {
      rightFlush = rightFlush && right - P.Lines[i]->Right < kSameRightTolerance;
    }
    if (leftFlush) P.Alignment = rightFlush ? 3 : 0;
  }
  // Left and justified paragraphs keep their first line where the page has it: the
  // indent is the body's start and the first line is offset from it.
  P.FirstLineIndent = 0;
  if (P.Lines.size() > 1 && (P.Alignment == 0 || P.Alignment == 3) && body != 0) {
    P.LeftIndent = body;
    P.FirstLineIndent = l0->X - body;
  }
  P.LeftIndent -= P.Frame.Left;
  P.RightIndent = (P.Lines.size() > 1 || P.Alignment != 0) ? P.Frame.Right - P.Rect.Right : 0;
}

}  // namespace

namespace {

// What the numbering carries from one line to the next: the previous line's edges and
// face, and whether it was centred.
struct TParagraphRefs {
  double Left = 0;
  double Right = 0;
  TFont Font;
  bool PrevCentred = false;
};

// Table-of-contents leaders: such a line is always a paragraph of its own.
bool HasLeader(std::u16string_view AText) {
  return ContainsNoCase(AText, u" . . . . ") || ContainsNoCase(AText, u"....") ||
         ContainsNoCase(AText, u"____");
}

// Whether a line ending in AEnd stops inside a hyphenated compound or range ("IEEE-" /
// "754", "pages 291-" / "300") that the next line, starting with ANext, goes on with.
bool EndsInsideCompound(std::u16string_view AEnd, std::u16string_view ANext) {
  const auto alnum = [](char16_t C) { return IsAsciiLetter(C) || IsDigit(C) || (C >= 0xC0 && C < 0x2000); };
  return AEnd.size() >= 2 && (AEnd.back() == u'-' || AEnd.back() == 0x2010) && alnum(AEnd[AEnd.size() - 2]) &&
         !ANext.empty() && alnum(ANext.front());
}

// A word broken at P's end by a hyphen goes on at L's start: L is P's next line in the
// same paragraph, whatever fonts either mixes. L starts under P, or left or right of it by
// at most a first-line or hanging indent (a bibliography's entry), and stands right below
// it (double spacing included).
bool BreaksWordInto(const TkwFormatterTextLine& P, const TkwFormatterTextLine& L) {
  const auto* last = P.LastRun();
  const auto* first = L.Run(0);
  if (last == nullptr || first == nullptr || last->Text.empty() || first->Text.empty()) return false;
  if (WordBreakHyphen(last->Text, first->Text.front()) == std::u16string_view::npos &&
      !EndsInsideCompound(last->Text, first->Text)) {
    return false;
  }
  const double indent = P.X - L.X;
  const double drop = L.Y - P.Y;
  return indent > -kMaxFirstLineIndent && indent < kMaxFirstLineIndent && drop > 0 &&
         drop < 3 * std::max(P.Height, L.Height);
}

// Gives every line of the column a paragraph number, list lines their label kind;
// returns the last number given.
int NumberParagraphs(const std::vector<TkwFormatterTextLine*>& AItems, const TkwFormatterRect& AColumnRect) {
  const double columnWidth = AColumnRect.Right - AColumnRect.Left;
  const double columnRight = AColumnRect.Right;
  int paragraphNo = 0;
  TParagraphRefs refs;
  for (std::size_t i = 0; i < AItems.size(); ++i) {
    auto* L = AItems[i];
    const auto word = FirstWord(*L);
    const auto text = L->Text();
    char16_t close = 0;
    const std::uint8_t kind = (text.size() >= word.size() + kMinTextAfterLabel && L->Run(0) != nullptr)
                                  ? ListKindOf(word, L->Run(0)->Font, close)
                                  : 0;
    const bool list = kind != 0;
    if (list || L->LastRunIndex > 0 || HasLeader(text)) {
      L->ParagraphIndex = ++paragraphNo;
      L->ListLabel = list;
      L->ListKind = kind;
      L->LabelClose = close;
      UpdateRefs(*L, refs.Left, refs.Right, refs.Font);
      continue;
    }
    const bool centred = std::fabs(L->X - (columnWidth - L->Right)) < kCentreTolerance;
    const bool similar = (L->Runs.size() == 1 && SameFace(refs.Font, L->Runs[0]->Font)) || L->Runs.size() > 1;
    bool cont = false;
    if (i >= 2) {
      cont = ContinuesPrevious(*AItems[i - 1], *L, AItems[i - 2], columnRight);
    } else if (i == 1) {
      cont = ContinuesPrevious(*AItems[0], *L, nullptr, columnRight);
    }
    const bool joins = i > 0 && similar &&
                       (std::fabs(L->X - refs.Left) < kSameLeftTolerance ||
                        std::fabs(L->Right - refs.Right) < kSameRightTolerance ||
                        (centred && refs.PrevCentred) || cont) &&
                       L->LastRunIndex < 1 && !L->ListLabel && (i == 1 || cont);
    L->ParagraphIndex = joins ? paragraphNo : ++paragraphNo;
    UpdateRefs(*L, refs.Left, refs.Right, refs.Font);
    refs.PrevCentred = centred;
  }
  return paragraphNo;
}

// A change in line distance inside a paragraph starts a new one; new numbers follow
// ALastNumber.
void SplitBySpacing(const std::vector<TkwFormatterTextLine*>& AItems, int ALastNumber) {
  int lastNumber = ALastNumber;
  const int passes = ALastNumber;
  double prevY = 0;
  double prevGap = 0;
  std::vector<int> members(static_cast<std::size_t>(ALastNumber) + 1, 0);
  for (const auto* L : AItems) {
    if (L->ParagraphIndex >= 0 && L->ParagraphIndex <= ALastNumber) {
      ++members[static_cast<std::size_t>(L->ParagraphIndex)];
    }
  }
  for (int p = 0; p <= passes; ++p) {
    // A paragraph of one line has nothing to split; the distances the walk carries
    // from one number to the next only matter from a paragraph's second line on.
    if (members[static_cast<std::size_t>(p)] < 2) {
      continue;
    }
    int c = 0;
    for (std::size_t i = 0; i < AItems.size(); ++i) {
      auto* L = AItems[i];
      const double gap = std::fabs(prevY - L->Y);
      if (L->ParagraphIndex == p) {
        ++c;
        if (c > 2 && std::fabs(prevGap - gap) > kLineDistanceChange) {
          const int fresh = ++lastNumber;
          if (prevGap > 0 && i >= 2) {
            AItems[i - 2]->ParagraphIndex = fresh;
            --c;
          } else {
            L->ParagraphIndex = fresh;
            c = 1;
          }
        } else if (c == 2 && gap > kParagraphBreakGap) {
          L->ParagraphIndex = ++lastNumber;
        }
      }
      prevY = L->Y;
      prevGap = gap;
    }
  }
}

// A paragraph that starts with the rest of a word the line before broke with a hyphen
// goes on the paragraph of that line: whatever parted them (a change of font or of line
// distance), the word is one.
void JoinBrokenWords(const std::vector<TkwFormatterTextLine*>& AItems) {
  for (std::size_t i = 1; i < AItems.size(); ++i) {
    auto* L = AItems[i];
    const auto* P = AItems[i - 1];
    const int from = L->ParagraphIndex, to = P->ParagraphIndex;
    // A bare number after a compound's hyphen ("IEEE-" / "754 doubles") reads as a
    // numbered line but goes on with the compound.
    const auto* last = P->LastRun();
    const bool number = L->ListLabel && L->ListKind == 2 && L->LabelClose == 0 && last != nullptr &&
                        L->Run(0) != nullptr && EndsInsideCompound(last->Text, L->Run(0)->Text);
    // Tabbed lines keep their items at their stops (JoinBrokenWordsAtStops).
    if (from == to || from < 0 || to < 0 || (L->ListLabel && !number) || P->TabLine || L->TabLine ||
        !BreaksWordInto(*P, *L)) {
      continue;
    }
    if (number) {
      L->ListLabel = false;
      L->ListKind = 0;
    }
    // Lines set wider apart than single spacing join only where the paragraph they join
    // is set that wide too (double-spaced text), and only the lines that go on at that
    // distance: one paragraph takes its distance as its line spacing, and a wider one
    // would start it lower than the page has it.
    const double step = L->Y - P->Y;
    const bool wide = step > kMaxJoinedLineDistance * std::max(P->Height, L->Height);
    if (wide && i >= 2 && AItems[i - 2]->ParagraphIndex == to &&
        std::fabs(P->Y - AItems[i - 2]->Y - step) > kLineDistanceChange) {
      continue;
    }
    for (std::size_t k = i; k < AItems.size() && AItems[k]->ParagraphIndex == from; ++k) {
      if (wide && k > i && std::fabs(AItems[k]->Y - AItems[k - 1]->Y - step) > kLineDistanceChange) break;
      AItems[k]->ParagraphIndex = to;
    }
  }
}

bool StartsAtTab(const TkwFormatterTextLine& ALine, std::size_t AIndex);

// An item of a line: its runs [First, End) between tab stops.
struct TItem {
  std::size_t First = 0;
  std::size_t End = 0;
};

std::vector<TItem> ItemsOf(const TkwFormatterTextLine& ALine) {
  std::vector<TItem> items;
  for (std::size_t k = 0; k < ALine.Runs.size(); ++k) {
    if (k == 0 || StartsAtTab(ALine, k)) items.push_back({k, k});
    items.back().End = k + 1;
  }
  return items;
}

// How far an item's text, as the output font sets it, runs past ARight (0 when it fits),
// and the characters condensing could take that from.
std::pair<double, std::size_t> Overflow(const TkwFormatterTextLine& ALine, const TItem& AItem, double ARight) {
  const auto* first = ALine.Runs[AItem.First].get();
  double width = 0;
  std::size_t chars = 0;
  for (std::size_t k = AItem.First; k < AItem.End; ++k) {
    const auto& run = *ALine.Runs[k];
    width += TextWidth(run, run.Font, run.Text);
    chars += run.Text.size();
  }
  return {std::max(0.0, first->X + width - ARight), chars};
}

// Where an item of ALine may reach: the next item's stop, or AColumnRight.
double ItemLimit(const TkwFormatterTextLine& ALine, const std::vector<TItem>& AItems, std::size_t AIndex,
                 double AColumnRight) {
  return AIndex + 1 < AItems.size() ? ALine.Runs[AItems[AIndex + 1].First]->X - kTabGap : AColumnRight;
}

}  // namespace

void fmt::JoinBrokenWordsAtStops(const std::vector<TkwFormatterTextLine*>& AItems, double ARight) {
  double columnRight = ARight;
  for (const auto* line : AItems) columnRight = std::max(columnRight, line->Right);
  for (std::size_t i = 0; i + 1 < AItems.size(); ++i) {
    auto& A = *AItems[i];
    // Most lines end no run with a hyphen: nothing to measure.
    const bool hyphenated = std::any_of(A.Runs.begin(), A.Runs.end(), [](const auto& ARun) {
      const auto text = Trim(ARun->Text);
      return !text.empty() && IsBreakHyphen(text.back());
    });
    if (!hyphenated) continue;
    const auto itemsA = ItemsOf(A);
    for (std::size_t ia = 0; ia < itemsA.size(); ++ia) {
      auto& last = *A.Runs[itemsA[ia].End - 1];
      const double x = A.Runs[itemsA[ia].First]->X;
      // The first of the next lines right below with an item that starts under this one
      // (or left of it by at most a first-line indent): rows of a header need not come in
      // page order.
      TkwFormatterTextLine* below = nullptr;
      std::vector<TItem> itemsB;
      std::size_t ib = 0;
      for (std::size_t j = i + 1; j < AItems.size() && j <= i + kMaxRowsToStop && below == nullptr; ++j) {
        auto& B = *AItems[j];
        const double drop = B.Y - A.Y;
        if (B.Runs.empty() || !(drop > 0) || drop > 3 * std::max(A.Height, B.Height)) continue;
        itemsB = ItemsOf(B);
        for (ib = 0; ib < itemsB.size(); ++ib) {
          const double dx = x - B.Runs[itemsB[ib].First]->X;
          if (dx > -kSameLeftTolerance && dx < kMaxFirstLineIndent) break;
        }
        if (ib < itemsB.size()) below = &B;
      }
      // Lines of one paragraph are joined where they are written.
      if (below == nullptr || (!A.TabLine && !below->TabLine)) continue;
      auto& B = *below;
      auto& first = *B.Runs[itemsB[ib].First];
      if (first.Text.empty() || first.Text.front() == u' ') continue;
      const std::size_t hyphen = WordBreakHyphen(last.Text, first.Text.front());
      if (hyphen == std::u16string_view::npos) continue;
      // The halves: from the last blank before the hyphen, and up to the first blank.
      const std::size_t headStart = WordStartBefore(last.Text, hyphen);
      std::size_t tailEnd = 0;
      while (tailEnd < first.Text.size() && !IsBlank(first.Text[tailEnd])) ++tailEnd;
      const std::u16string head = last.Text.substr(headStart, hyphen - headStart);
      const std::u16string tail = first.Text.substr(0, tailEnd);
      const std::u16string whole = head + kSoftHyphen + tail;
      // Both ways, measured; the one that overflows less, the shorter move on a tie.
      const std::u16string lastText = last.Text, firstText = first.Text;
      const auto trimEnd = [](std::u16string AText) {
        while (!AText.empty() && IsBlank(AText.back())) AText.pop_back();
        return AText;
      };
      const auto trimStart = [](std::u16string AText) {
        std::size_t n = 0;
        while (n < AText.size() && IsBlank(AText[n])) ++n;
        return AText.substr(n);
      };
      const double limitA = ItemLimit(A, itemsA, ia, columnRight);
      const double limitB = ItemLimit(B, itemsB, ib, columnRight);
      last.Text = lastText.substr(0, headStart) + whole;
      first.Text = trimStart(firstText.substr(tailEnd));
      const auto [upOver, upChars] = Overflow(A, itemsA[ia], limitA);
      last.Text = trimEnd(lastText.substr(0, headStart));
      first.Text = whole + firstText.substr(tailEnd);
      const auto [downOver, downChars] = Overflow(B, itemsB[ib], limitB);
      const bool down = downOver < upOver || (downOver == upOver && head.size() <= tail.size());
      const double over = down ? downOver : upOver;
      const std::size_t chars = down ? downChars : upChars;
      const double allowance =
          kJoinCondenseShare * FontSize(down ? first.Font : last.Font) * static_cast<double>(chars);
      if (over > allowance) {
        last.Text = lastText;
        first.Text = firstText;
      } else if (!down) {
        last.Text = lastText.substr(0, headStart) + whole;
        first.Text = trimStart(firstText.substr(tailEnd));
      }
    }
  }
}

namespace {

// One paragraph per run of equally numbered lines; the paragraphs and the column take
// the lines' extents.
std::vector<std::unique_ptr<TkwFormatterParagraph>> BuildParagraphs(TkwFormatterColumn& AColumn) {
  std::vector<std::unique_ptr<TkwFormatterParagraph>> built;
  TkwFormatterParagraph* open = nullptr;
  int openNumber = 0;
  for (auto* L : AColumn.Items) {
    if (L->ParagraphIndex < 0) {
      continue;
    }
    if (open == nullptr || L->ParagraphIndex != openNumber) {
      built.push_back(std::make_unique<TkwFormatterParagraph>());
      open = built.back().get();
      open->JoinOwner(AColumn);
      open->Frame = AColumn.Rect;
      open->ListLabel = L->ListLabel;
      open->ListKind = L->ListKind;
      open->LabelClose = L->LabelClose;
      openNumber = L->ParagraphIndex;
      open->AddLine(L);
      open->Rect.Include(L->Y + L->Height + kFirstLineDescent, L->Right, L->Y, L->X);
    } else {
      open->AddLine(L);
      open->Rect.Include(L->Y + L->Height, L->Right, L->Y, L->X);
    }
    // The column keeps its left edge when text stands at the page's very edge: a left of 0
    // is no "unset" here, and later paragraphs are indented from it.
    auto& column = AColumn.Rect;
    if (column.Right > column.Left) {
      column.Left = std::min(column.Left, L->X);
      column.Top = std::min(column.Top, L->Y);
      column.Right = std::max(column.Right, L->Right);
      column.Bottom = std::max(column.Bottom, L->Y + L->Height);
    } else {
      column.Include(L->Y + L->Height, L->Right, L->Y, L->X);
    }
    if (open->X == 0 || open->X > L->X) {
      open->X = L->X;
    }
    if (open->Y == 0 || open->Y > L->Y) {
      open->Y = L->Y;
    }
  }
  return built;
}

// The paragraph's line spacing from its baselines. APrevY is the baseline of the line
// before. Where the paragraph stands is the page's to decide (PlaceVertically).
void SetLineSpacing(TkwFormatterParagraph& P, double& APrevY) {
  double sum = 0;
  for (std::size_t i = 0; i < P.Lines.size(); ++i) {
    const auto* L = P.Lines[i];
    if (i > 0) {
      sum += L->Y - APrevY;
    }
    APrevY = L->Y;
  }
  if (P.Lines.size() == 1) {
    const auto* L = P.Lines[0];
    double s = MaxTextHeight(*L);
    if (L->Height > kMinHeightToTighten && s >= L->Height + kTallTextExcess) {
      s -= kTightenedSpacing;
    }
    P.LineSpacing = s;
  } else if (P.Lines.size() > 1) {
    P.LineSpacing = sum / static_cast<double>(P.Lines.size() - 1);
  }
}

// Moves the paragraphs into the column's output with their line spacing.
void SpaceAndFill(TkwFormatterColumn& AColumn, std::vector<std::unique_ptr<TkwFormatterParagraph>>& ABuilt) {
  double prevY = 0;
  for (auto& built : ABuilt) {
    auto& P = *built;
    SetLineSpacing(P, prevY);
    AColumn.Paragraphs.push_back(&P);
    AColumn.Output.push_back(std::move(built));
  }
}

// A numbered paragraph's label as the list would count it.
struct TLabel {
  int Kind = 0;  // 0 digits, 1 lower-case letter, 2 upper-case letter
  long long Value = 0;
  char16_t Close = 0;
};

std::optional<TLabel> ReadLabel(const TkwFormatterParagraph& P) {
  if (P.Lines.empty() || P.Lines[0]->Run(0) == nullptr) {
    return std::nullopt;
  }
  const auto text = Trim(P.Lines[0]->Run(0)->Text);
  auto label = text.substr(0, text.find(u' '));
  if (!label.empty() && !IsDigit(label.back()) && !IsAsciiLetter(label.back())) {
    label.remove_suffix(1);
  }
  if (label.empty()) {
    return std::nullopt;
  }
  TLabel result;
  result.Close = P.LabelClose;
  if (const auto number = ToInteger(label); number && IsDigit(label[0])) {
    result.Value = *number;
  } else if (label.size() == 1 && label[0] >= u'a' && label[0] <= u'z') {
    result.Kind = 1;
    result.Value = label[0] - u'a' + 1;
  } else if (label.size() == 1 && label[0] >= u'A' && label[0] <= u'Z') {
    result.Kind = 2;
    result.Value = label[0] - u'A' + 1;
  } else {
    return std::nullopt;
  }
  return result;
}

void Unlist(TkwFormatterParagraph& P) {
  P.ListKind = 0;
  P.ListLabel = false;
  P.LabelClose = 0;
}

// The bullet a bullet paragraph starts with, and its font.
std::pair<char16_t, const TFont*> BulletOf(const TkwFormatterParagraph& P) {
  const auto* run = P.Lines.empty() ? nullptr : P.Lines[0]->Run(0);
  const auto text = run != nullptr ? Trim(run->Text) : std::u16string_view();
  return {text.empty() ? char16_t{0} : text[0], run != nullptr ? &run->Font : nullptr};
}

// A bullet item is kept when one of the bullet items near it has its bullet, or, standing
// alone, when its bullet is one that lists use and the paragraph on neither side is a lone
// item with another mark: a page of different symbols, each starting a line, is a table
// of glyphs.
void KeepTrueBullets(std::vector<std::unique_ptr<TkwFormatterParagraph>>& AOutput) {
  std::vector<std::size_t> items;  // indexes of the bullet paragraphs
  for (std::size_t i = 0; i < AOutput.size(); ++i) {
    if (AOutput[i]->ListKind == 1) items.push_back(i);
  }
  if (items.size() < 2) {
    for (const auto i : items) Unlist(*AOutput[i]);
    return;
  }
  // A bullet's neighbours: the items on either side of it, as far as a list's sub-items
  // part two of its own items.
  constexpr std::size_t kReach = 8;
  std::vector<bool> paired(items.size(), false);
  for (std::size_t k = 0; k < items.size(); ++k) {
    const char16_t bullet = BulletOf(*AOutput[items[k]]).first;
    for (std::size_t j = k > kReach ? k - kReach : 0; j < items.size() && j <= k + kReach && !paired[k]; ++j) {
      paired[k] = j != k && BulletOf(*AOutput[items[j]]).first == bullet;
    }
  }
  const auto common = [&](std::size_t AIndex) {
    const auto [bullet, font] = BulletOf(*AOutput[AIndex]);
    return font != nullptr && IsCommonBullet(bullet, *font);
  };
  std::vector<std::size_t> itemOf(AOutput.size(), items.size());  // paragraph -> bullet item
  for (std::size_t k = 0; k < items.size(); ++k) itemOf[items[k]] = k;
  const auto loneMarkAt = [&](std::size_t AIndex) {
    return AIndex < itemOf.size() && itemOf[AIndex] < items.size() && !paired[itemOf[AIndex]] && !common(AIndex);
  };
  std::vector<std::size_t> refused;
  for (std::size_t k = 0; k < items.size(); ++k) {
    const std::size_t i = items[k];
    if (!paired[k] && (!common(i) || (i > 0 && loneMarkAt(i - 1)) || loneMarkAt(i + 1))) refused.push_back(i);
  }
  for (const auto i : refused) Unlist(*AOutput[i]);
}

// Labels that only look like list labels lose their list: numbered paragraphs are a list
// when at least two follow each other in counting order from the first label of their
// kind ("1.", "a)", "A."), or when they go on with a list the page already has. A bullet
// needs a second bullet in the column (KeepTrueBullets).
void KeepTrueLists(std::vector<std::unique_ptr<TkwFormatterParagraph>>& AOutput,
                   std::map<std::pair<int, char16_t>, long long>& ANumbers) {
  std::vector<std::pair<TkwFormatterParagraph*, TLabel>> numbered;
  for (auto& P : AOutput) {
    if (P->ListKind == 2) {
      if (const auto label = ReadLabel(*P)) {
        numbered.emplace_back(P.get(), *label);
      } else {
        Unlist(*P);
      }
    }
  }
  KeepTrueBullets(AOutput);
  for (std::size_t i = 0; i < numbered.size();) {
    std::size_t end = i + 1;
    while (end < numbered.size()) {
      const auto& a = numbered[end - 1].second;
      const auto& b = numbered[end].second;
      if (b.Kind != a.Kind || b.Close != a.Close || b.Value != a.Value + 1) {
        break;
      }
      ++end;
    }
    const auto& first = numbered[i].second;
    const auto key = std::make_pair(first.Kind, first.Close);
    const auto known = ANumbers.find(key);
    const bool continues = known != ANumbers.end() && known->second + 1 == first.Value;
    if ((end - i >= 2 && first.Value == 1) || continues) {
      ANumbers[key] = numbered[end - 1].second.Value;
    } else {
      for (std::size_t k = i; k < end; ++k) {
        Unlist(*numbered[k].first);
      }
    }
    i = end;
  }
}

// Whether a run stands at a tab stop of its own when the paragraph is written (the rule of
// TkwFormatterParagraph::Render).
bool StartsAtTab(const TkwFormatterTextLine& ALine, std::size_t AIndex) {
  if (AIndex == 0) {
    return false;
  }
  const auto& run = *ALine.Runs[AIndex];
  const auto& previous = *ALine.Runs[AIndex - 1];
  return run.RunIndex != 0 && RoundEven(run.X) != RoundEven(previous.X + previous.Width) &&
         !(ALine.ListLabel && run.RunIndex == 2);
}

// Width of runs as a word processor sets them: the text in its font plus the spacing of
// every character. Before a tab stop (ABeforeStop) condensing spacing is not given to
// the last character, as a word processor sets it, so a lone character there cannot be
// condensed at all. AChars counts the characters condensing can take from.
double SetWidth(const TkwFormatterElement& AAt, const std::vector<TkwFormatterText*>& ARuns, std::size_t& AChars,
                bool ABeforeStop = false) {
  double width = 0;
  AChars = 0;
  for (std::size_t i = 0; i < ARuns.size(); ++i) {
    const auto* run = ARuns[i];
    const std::size_t n = run->Text.size();
    const std::size_t condensable = ABeforeStop && i + 1 == ARuns.size() && n > 0 ? n - 1 : n;
    width += TextWidth(AAt, run->Font, run->Text) +
             run->CharSpacing * static_cast<double>(run->CharSpacing < 0 ? condensable : n);
    AChars += condensable;
  }
  return width;
}

// Condenses the runs, then makes them a point smaller at a time, until they fit ARoom.
void Condense(const TkwFormatterElement& AAt, const std::vector<TkwFormatterText*>& ARuns, double ARoom,
              bool ABeforeStop) {
  std::size_t chars = 0;
  double width = SetWidth(AAt, ARuns, chars, ABeforeStop);
  if (!(width > ARoom) || !(ARoom > 0)) {
    return;
  }
  for (int step = 0; step < kMaxFitSteps && width > ARoom; ++step) {
    bool changed = false;
    if (chars > 0) {
      const double per = (width - ARoom) / static_cast<double>(chars);
      for (auto* run : ARuns) {
        const double cap = -kMaxCondenseRatio * FontSize(run->Font);
        const double spacing = std::max(cap, run->CharSpacing - per);
        if (spacing < run->CharSpacing) {
          run->CharSpacing = spacing;
          changed = true;
        }
      }
      width = SetWidth(AAt, ARuns, chars, ABeforeStop);
    }
    if (width > ARoom) {
      // Condensed as far as it reads well: the runs get smaller, a point at least, as
      // much as the width is over.
      const double share = ARoom / width;
      for (auto* run : ARuns) {
        const double size = FontSize(run->Font);
        if (size > kMinFitFontSize) {
          SetFontSize(run->Font, std::max(kMinFitFontSize, std::min(size - 1, std::floor(size * share))));
          run->CharSpacing *= share;
          changed = true;
        }
      }
      width = SetWidth(AAt, ARuns, chars, ABeforeStop);
    }
    if (!changed) {
      break;
    }
  }
}

// Whether the paragraph is written with its lines ended where the page ends them, rather
// than wrapped by the reader. Lines are kept only when they fit, the paragraph is not
// justified, and no word is broken across two: the joined word would carry the rest of
// its line onto the line before.
bool KeepsPageLines(const TkwFormatterParagraph& P) {
  bool keep = P.LinesFit && P.Alignment != 3;
  for (std::size_t i = 0; keep && i + 1 < P.Lines.size(); ++i) {
    const auto* last = P.Lines[i]->LastRun();
    const auto* next = P.Lines[i + 1]->Run(0);
    keep = last == nullptr || next == nullptr || next->Text.empty() ||
           (fmt::WordBreakHyphen(last->Text, next->Text.front()) == std::u16string_view::npos &&
            !EndsInsideCompound(last->Text, next->Text));
  }
  return keep;
}

// A substituted font is often a little wider than the page's; a line the word processor
// finds too long wraps, and the page spills onto the next one. Each stretch of a line
// between tab stops is kept within the room up to the next stop, the last one within the
// paragraph's right edge.
void FitLinesToRoom(TkwFormatterParagraph& P) {
  if (P.Spacer) {
    return;
  }
  const double rightEdge = P.Frame.Right - P.RightIndent;
  std::vector<std::pair<TkwFormatterText*, double>> given;
  for (auto* line : P.Lines) {
    // Items at tab stops are fitted each to its own room.
    bool tabbed = false;
    for (std::size_t k = 1; k < line->Runs.size(); ++k) tabbed = tabbed || StartsAtTab(*line, k);
    if (tabbed) continue;
    for (const auto& run : line->Runs) given.emplace_back(run.get(), FontSize(run->Font));
  }
  for (auto* line : P.Lines) {
    const auto& runs = line->Runs;
    std::size_t start = 0;
    while (start < runs.size()) {
      std::size_t end = start + 1;
      while (end < runs.size() && !StartsAtTab(*line, end)) {
        ++end;
      }
      std::vector<TkwFormatterText*> stretch;
      for (std::size_t k = start; k < end; ++k) {
        stretch.push_back(runs[k].get());
      }
      const double from = start == 0 ? line->X : runs[start]->X + kTabStopOffset;
      const double to = end < runs.size() ? runs[end]->X + kTabStopOffset - kTabGap : rightEdge;
      // A word processor measures with hinting and kerning of its own: keep some slack.
      Condense(P, stretch, (to - from) * kFitRoomShare, end < runs.size());
      start = end;
    }
  }
  // Whether each line, set from the paragraph's indent, fits the paragraph's width as it
  // is: only then can the lines end where the page ends them.
  P.LinesFit = P.Lines.size() > 1;
  for (std::size_t i = 0; i < P.Lines.size() && P.LinesFit; ++i) {
    const auto* line = P.Lines[i];
    std::vector<TkwFormatterText*> runs;
    for (std::size_t k = 0; k < line->Runs.size(); ++k) {
      P.LinesFit = P.LinesFit && !StartsAtTab(*line, k);
      runs.push_back(line->Runs[k].get());
    }
    const double start = P.Frame.Left + P.LeftIndent + (i == 0 ? P.FirstLineIndent : 0);
    std::size_t chars = 0;
    P.LinesFit = P.LinesFit && SetWidth(P, runs, chars) <= (rightEdge - start) * kFitRoomShare;
  }
  // A paragraph whose lines end where the page ends them keeps one look: where a line was
  // condensed or made smaller to fit, the same text on its other lines is set alike, or a
  // short last line would stand out. Text the reader wraps keeps its lines' own fit, so
  // that it wraps where the page did.
  if (!KeepsPageLines(P)) return;
  using TKey = std::tuple<std::string_view, TFontStyles, double>;
  std::map<TKey, std::pair<double, std::vector<double>>> fitted;  // smallest size, spacings of condensed runs
  const auto keyOf = [](const TkwFormatterText& ARun, double ASize) {
    return TKey(std::string_view(ARun.Font.Name), ARun.Font.Style, ASize);
  };
  for (const auto& [run, size] : given) {
    auto& [least, spacings] = fitted.try_emplace(keyOf(*run, size), size, std::vector<double>{}).first->second;
    least = std::min(least, FontSize(run->Font));
    if (run->CharSpacing < 0) spacings.push_back(run->CharSpacing);
  }
  for (auto& [key, fit] : fitted) std::sort(fit.second.begin(), fit.second.end());
  for (const auto& [run, size] : given) {
    const auto& [least, spacings] = fitted[keyOf(*run, size)];
    // A line made far smaller (a long address that cannot wrap) keeps that to itself.
    if (least < FontSize(run->Font) && least >= kMinAlikeSizeShare * size) SetFontSize(run->Font, least);
    // A line that needed no condensing takes the spacing the others typically got.
    if (run->CharSpacing == 0 && !spacings.empty()) run->CharSpacing = spacings[spacings.size() / 2];
  }
}

}  // namespace

void TkwFormatterColumn::Analyse() {
  Output.clear();
  Paragraphs.clear();
  if (Items.empty()) {
    return;
  }
  fmt::JoinBrokenWordsAtStops(Items, Rect.Right);
  const int lastNumber = NumberParagraphs(Items, Rect);
  SplitBySpacing(Items, lastNumber);
  JoinBrokenWords(Items);
  auto built = BuildParagraphs(*this);
  SpaceAndFill(*this, built);
  std::map<std::pair<int, char16_t>, long long> ownNumbers;
  auto* page = Formatter != nullptr ? Formatter->GetPage() : nullptr;
  KeepTrueLists(Output, page != nullptr ? page->ListNumbers : ownNumbers);
  for (auto& P : Output) {
    Attributes(*P);
    FitLinesToRoom(*P);
  }
}

namespace fmt {

std::optional<std::pair<std::u16string, std::u16string>> SplitLeader(std::u16string_view AText) {
  const auto isLeader = [](char16_t C) { return C == u'.' || C == u'_' || C == u'\u00B7' || C == u'\u2026'; };
  std::size_t end = AText.size();
  while (end > 0 && IsBlank(AText[end - 1])) {
    --end;
  }
  std::size_t start = end;
  while (start > 0 && !IsBlank(AText[start - 1]) && !isLeader(AText[start - 1])) {
    --start;
  }
  if (start == end || end - start > kMaxLeaderTargetLength) {
    return std::nullopt;
  }
  std::size_t titleEnd = start;
  int dots = 0;
  while (titleEnd > 0 && (IsBlank(AText[titleEnd - 1]) || isLeader(AText[titleEnd - 1]))) {
    --titleEnd;
    const char16_t c = AText[titleEnd];
    dots += c == u'\u2026' ? 3 : isLeader(c) ? 1 : 0;
  }
  const auto title = Trim(AText.substr(0, titleEnd));
  if (dots < kMinLeaderDots || title.empty()) {
    return std::nullopt;
  }
  return std::make_pair(std::u16string(title), std::u16string(AText.substr(start, end - start)));
}

}  // namespace fmt

namespace {

// A table of contents' line: its title, then its page number at a right tab stop where
// the page has it, with the dots drawn by the word processor up to it, so that a wider
// font can never push the number onto a line of its own.
bool RenderLeaderLine(TkwDocumentWriter& AWriter, const TkwFormatterParagraph& P) {
  if (P.Lines.size() != 1 || P.Lines[0]->Runs.empty()) {
    return false;
  }
  const auto* line = P.Lines[0];
  const auto split = fmt::SplitLeader(line->Text());
  const double stop = line->Right - P.Frame.Left;
  if (!split || !(stop > 0)) {
    return false;
  }
  auto& tf = AWriter.GetTextFormatting();
  tf.SetLeaderTab(stop);
  AWriter.BeginPara();
  tf.SetLeaderTab(0);
  AWriter.SetFont(line->Runs.front()->Font);
  AWriter.WriteText(split->first, 0, line->Runs.front()->CharSpacing);
  AWriter.SetFont(line->Runs.back()->Font);
  AWriter.WriteText(split->second, stop, 0);
  AWriter.EndPara();
  return true;
}

}  // namespace

void TkwFormatterParagraph::Render(TkwDocumentWriter& AWriter) {
  auto& tf = AWriter.GetTextFormatting();
  tf.SetAlignment(Alignment);
  tf.SetLeftIndent(LeftIndent);
  double rightIndent = RightIndent;
  const auto* firstRun = Lines.empty() ? nullptr : Lines[0]->Run(0);
  if (firstRun != nullptr) {
    rightIndent -= SpaceWidth(*this, firstRun->Font) / 2;
  }
  tf.SetRightIndent(rightIndent);
  tf.SetFirstLineIndent(FirstLineIndent);
  tf.SetSpaceBefore(SpaceBefore);
  tf.SetLineSpacingEnabled(true);
  tf.SetLineSpacing(LineSpacing);
  tf.SetLineSpacingAtLeast(false);
  if (RenderLeaderLine(AWriter, *this)) {
    return;
  }
  // Text on a filled area keeps it as the paragraph's background.
  const TBrush brush = AWriter.GetBrush();
  TColor shading = clNone;
  for (const auto* line : Lines) {
    if (line->Shading != clNone) shading = line->Shading;
  }
  if (shading != clNone) AWriter.SetBrush(TBrush{shading, TBrushStyle::bsSolid});
  // A rule drawn above or below the paragraph is its border.
  const bool ruled = TopBorder.Style != TkwBorderStyle::bdNone || BottomBorder.Style != TkwBorderStyle::bdNone;
  TkwParaBorder border;
  border.Assign(tf.GetBorder());
  if (ruled) {
    TkwParaBorder rule;
    const TkwBorderLine& line = TopBorder.Style != TkwBorderStyle::bdNone ? TopBorder : BottomBorder;
    rule.DrawTop = TopBorder.Style != TkwBorderStyle::bdNone;
    rule.DrawBottom = BottomBorder.Style != TkwBorderStyle::bdNone;
    rule.Color = line.Color;
    rule.Style = line.Style == TkwBorderStyle::bdDotted ? TPenStyle::psDot
                 : line.Style == TkwBorderStyle::bdDashed ? TPenStyle::psDash : TPenStyle::psSolid;
    rule.Width = std::max(1, RoundEven(line.Width * kPixelsPerPoint));
    tf.SetBorder(rule);
  }
  AWriter.BeginPara();
  if (shading != clNone) AWriter.SetBrush(brush);
  if (ruled) tf.SetBorder(border);
  double rise = 0;
  char16_t lastChar = u' ';
  char16_t beforeLast = u' ';
  const bool breakLines = KeepsPageLines(*this);
  for (std::size_t i = 0; i < Lines.size(); ++i) {
    const auto* line = Lines[i];
    const TkwFormatterText* previous = nullptr;
    bool afterTab = false;
    for (std::size_t k = 0; k < line->Runs.size(); ++k) {
      const auto& run = *line->Runs[k];
      AWriter.SetFont(run.Font);
      if (run.Rise != rise) {
        rise = run.Rise;
        AWriter.SetTextRise(rise);
      }
      double tab = 0;
      if (run.RunIndex != 0 && previous != nullptr &&
          RoundEven(run.X) != RoundEven(previous->X + previous->Width) &&
          !(line->ListLabel && run.RunIndex == 2)) {
        tab = run.X - Frame.Left + kTabStopOffset;
      }
      // The text after a list label follows it without a tab; where it stands a word's gap
      // away (labels of a chart's axis read as a numbered line), a space keeps the two
      // words apart.
      const bool spaceBefore = line->ListLabel && run.RunIndex == 2 && previous != nullptr &&
                               !previous->Text.empty() && !run.Text.empty() && previous->Text.back() != u' ' &&
                               run.Text.front() != u' ' &&
                               run.X - (previous->X + previous->Width) > 0.25 * fmt::FontSize(run.Font);
      // A word broken across two lines is joined, its hyphen made optional: the word
      // processor shows it only where it breaks the word at a line's end itself.
      // Not from a run after a column's gap (wider than an em): the next line starts in
      // another column. A tab that only evens out a few points of a prose line is none.
      afterTab = afterTab || (tab != 0 && previous != nullptr &&
                              run.X - (previous->X + previous->Width) > fmt::FontSize(run.Font));
      std::size_t hyphen = std::u16string_view::npos;
      if (!afterTab && k + 1 == line->Runs.size() && i + 1 < Lines.size() && !Lines[i + 1]->Runs.empty() &&
          !Lines[i + 1]->Runs.front()->Text.empty()) {
        hyphen = fmt::WordBreakHyphen(run.Text, Lines[i + 1]->Runs.front()->Text.front());
      }
      // Otherwise a line ends where the page ends it when it fits: a word processor that
      // wraps the text itself moves words to other lines. Justified lines fill the width
      // to the edge, where a wider face would wrap a kept line in two.
      const bool breakLine = i > 0 && k == 0 && breakLines && lastChar != kSoftHyphen;
      const bool joinLine = i > 0 && k == 0 && !breakLine && lastChar != u' ' && lastChar != kSoftHyphen;
      // A line that ends inside a hyphenated compound or range ("IEEE-" / "754", "pages
      // 291-" / "300") goes on without a space: the hyphen is the word's own.
      const char16_t ending[] = {beforeLast, lastChar};
      const bool compound = EndsInsideCompound({ending, 2}, run.Text);
      if (breakLine || joinLine || spaceBefore || hyphen != std::u16string_view::npos) {
        std::u16string text;
        text.reserve(run.Text.size() + 1);
        if (breakLine) text += kLineBreak;
        if ((joinLine && !compound) || spaceBefore) text += u' ';
        if (hyphen != std::u16string_view::npos) {
          text.append(run.Text, 0, hyphen);
          text += kSoftHyphen;
        } else {
          text += run.Text;
        }
        AWriter.WriteText(text, tab, run.CharSpacing);
      } else {
        AWriter.WriteText(run.Text, tab, run.CharSpacing);
      }
      previous = &run;
      if (!run.Text.empty()) {
        beforeLast = run.Text.size() > 1 ? run.Text[run.Text.size() - 2] : lastChar;
        lastChar = hyphen != std::u16string_view::npos ? kSoftHyphen : run.Text.back();
      }
    }
  }
  if (rise != 0) AWriter.SetTextRise(0);
  AWriter.EndPara();
}

}  // namespace qm
