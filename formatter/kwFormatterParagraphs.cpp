// Paragraphs: grouping a column's lines, list detection, spacing, fillers, alignment,
// indents and fitting oversized fallback-font text.
#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>

#include "base/Numbers.h"
#include "formatter/kwFormatter.h"
#include "formatter/kwFormatterUtil.h"

namespace qm {

}  // namespace qm

namespace qm::fmt {

std::uint8_t ListKindOf(std::u16string_view AFirstWord, const TFont& AFont, char16_t& AClose) {
  AClose = 0;
  const auto word = Trim(AFirstWord);
  if (!word.empty() && AFirstWord.size() < 2) {
    if (!IsAsciiLetter(word[0])) {
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
  // A lone letter with nothing after it is a word ("A new way"), not a label.
  const bool letter = label.size() == 1 && IsAsciiLetter(label[0]) && close != 0;
  if ((number && *number > 0 && IsDigit(label[0])) || letter) {
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
  if (P.Right < 0.75 * AColumnRight) {
    const auto* r = (P.ListLabel && P.Runs.size() > 1) ? P.Run(1) : P.Run(0);
    if (r != nullptr && FontOnlyBold(r->Font) && P.Runs.size() == 1) {
      return false;
    }
    if (std::fabs(P.Right - L.Right) > 5) {
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
    return width + P.Width - PP->Width > -2;
  }
  return width + P.Width - L.Width > -2;
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

// A page is never taller than this many fillers; a wild coordinate must not make
// millions of paragraphs.
constexpr int kMaxFillers = 2000;
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
  if (!(AHeight >= 1)) {
    return;
  }
  // Whole points, all of them: tens and what is left over.
  const int total = static_cast<int>(std::min(std::round(AHeight), 10.0 * kMaxFillers));
  for (int i = 0; i < total / 10; ++i) {
    MakeFiller(AOwner, 10)->Render(AWriter);
  }
  if (total % 10 != 0) {
    MakeFiller(AOwner, total % 10)->Render(AWriter);
  }
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
  if (substitute) {
    // Every line of the paragraph gets the fitted size, the first one too.
    for (auto& run : l0->Runs) {
      SetFontSize(run->Font, *substitute);
    }
  }
  double body = 0;  // smallest start of the lines after the first
  const auto centred = [pw](const TkwFormatterTextLine& L) { return std::fabs(L.X - (pw - L.Right)) < 5; };
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
    const double dx = std::fabs(L->X - prev->X);
    const double dr = std::fabs(L->Right - prev->Right);
    const bool c = centred(*L);
    const bool last = i + 1 == P.Lines.size();
    if (i == 1) {
      if (dx < 2 && (dr < 5 || last)) {
        P.Alignment = 3;
      } else if (c) {
        P.Alignment = 2;
      } else if (dx < 2) {
        P.Alignment = 0;
      } else if (dr < 2) {
        P.Alignment = 1;
      }
    } else {
      if (c && prevCentred) {
        P.Alignment = (dx >= 2 || dr >= 5) ? 2 : 3;
      } else if (dx < 2 && (dr < 5 || last) && P.Alignment == 3) {
        P.Alignment = 3;
      } else if (dx < 2) {
        P.Alignment = 0;
      } else if (dr < 2) {
        P.Alignment = 1;
      }
    }
    prevCentred = c;
    if (substitute) {
      for (auto& run : L->Runs) {
        SetFontSize(run->Font, *substitute);
      }
    }
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

void TkwFormatterColumn::Analyse() {
  Output.clear();
  Paragraphs.clear();
  const auto& items = Items;
  const std::size_t count = items.size();
  if (count == 0) {
    return;
  }
  const double columnWidth = Rect.Right - Rect.Left;
  const double columnRight = Rect.Right;

  // 1. Paragraph numbers.
  int paragraphNo = 0;
  double leftRef = 0;
  double rightRef = 0;
  TFont refFont;
  bool prevCentred = false;
  for (std::size_t i = 0; i < count; ++i) {
    auto* L = items[i];
    const auto word = FirstWord(*L);
    const auto text = L->Text();
    char16_t close = 0;
    const std::uint8_t kind =
        (text.size() >= word.size() + 2 && L->Run(0) != nullptr) ? ListKindOf(word, L->Run(0)->Font, close) : 0;
    const bool list = kind != 0;
    const bool leader = ContainsNoCase(text, u" . . . . ") || ContainsNoCase(text, u"....") ||
                        ContainsNoCase(text, u"____");
    if (list || L->LastRunIndex > 0 || leader) {
      L->ParagraphIndex = ++paragraphNo;
      L->ListLabel = list;
      L->ListKind = kind;
      L->LabelClose = close;
      UpdateRefs(*L, leftRef, rightRef, refFont);
      continue;
    }
    const bool centred = std::fabs(L->X - (columnWidth - L->Right)) < 5;
    const bool similar = (L->Runs.size() == 1 && SameFace(refFont, L->Runs[0]->Font)) || L->Runs.size() > 1;
    bool cont = false;
    if (i >= 2) {
      cont = ContinuesPrevious(*items[i - 1], *L, items[i - 2], columnRight);
    } else if (i == 1) {
      cont = ContinuesPrevious(*items[0], *L, nullptr, columnRight);
    }
    const bool joins = i > 0 && similar &&
                       (std::fabs(L->X - leftRef) < 2 || std::fabs(L->Right - rightRef) < 5 ||
                        (centred && prevCentred) || cont) &&
                       L->LastRunIndex < 1 && !L->ListLabel && (i == 1 || cont);
    L->ParagraphIndex = joins ? paragraphNo : ++paragraphNo;
    UpdateRefs(*L, leftRef, rightRef, refFont);
    prevCentred = centred;
  }

  // 2. Splitting by spacing: a change in line distance starts a new paragraph.
  {
    int lastNumber = paragraphNo;
    const int passes = paragraphNo;
    double prevY = 0;
    double prevGap = 0;
    std::vector<int> members(static_cast<std::size_t>(paragraphNo) + 1, 0);
    for (const auto* L : items) {
      if (L->ParagraphIndex >= 0 && L->ParagraphIndex <= paragraphNo) {
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
      for (std::size_t i = 0; i < count; ++i) {
        auto* L = items[i];
        const double gap = std::fabs(prevY - L->Y);
        if (L->ParagraphIndex == p) {
          ++c;
          if (c > 2 && std::fabs(prevGap - gap) > 2) {
            const int fresh = ++lastNumber;
            if (prevGap > 0 && i >= 2) {
              items[i - 2]->ParagraphIndex = fresh;
              --c;
            } else {
              L->ParagraphIndex = fresh;
              c = 1;
            }
          } else if (c == 2 && gap > 50) {
            L->ParagraphIndex = ++lastNumber;
          }
        }
        prevY = L->Y;
        prevGap = gap;
      }
    }
  }

  // 3. Paragraph objects.
  std::vector<std::unique_ptr<TkwFormatterParagraph>> built;
  TkwFormatterParagraph* open = nullptr;
  int openNumber = 0;
  for (auto* L : items) {
    if (L->ParagraphIndex < 0) {
      continue;
    }
    if (open == nullptr || L->ParagraphIndex != openNumber) {
      built.push_back(std::make_unique<TkwFormatterParagraph>());
      open = built.back().get();
      open->JoinOwner(*this);
      open->Frame = Rect;
      open->ListLabel = L->ListLabel;
      open->ListKind = L->ListKind;
      open->LabelClose = L->LabelClose;
      openNumber = L->ParagraphIndex;
      open->AddLine(L);
      open->Rect.Include(L->Y + L->Height + 2, L->Right, L->Y, L->X);
    } else {
      open->AddLine(L);
      open->Rect.Include(L->Y + L->Height, L->Right, L->Y, L->X);
    }
    Rect.Include(L->Y + L->Height, L->Right, L->Y, L->X);
    if (open->X == 0 || open->X > L->X) {
      open->X = L->X;
    }
    if (open->Y == 0 || open->Y > L->Y) {
      open->Y = L->Y;
    }
  }

  // 4. Spacing and fillers.
  const double topMargin = TopMargin(*this);
  double prevY = 0;
  const TkwFormatterParagraph* previous = nullptr;
  for (std::size_t k = 0; k < built.size(); ++k) {
    auto& P = *built[k];
    double sum = 0;
    for (std::size_t i = 0; i < P.Lines.size(); ++i) {
      const auto* L = P.Lines[i];
      if (L->FirstOnPage) {
        const double h = MaxTextHeight(*P.Lines[0]);
        if (L->Y - h > topMargin + 20) {
          AddFiller(Output, *this, L->Y - h - topMargin);
        }
      }
      if (i > 0) {
        sum += L->Y - prevY;
      }
      prevY = L->Y;
    }
    if (P.Lines.size() == 1) {
      const auto* L = P.Lines[0];
      double s = MaxTextHeight(*L);
      if (L->Height > 2 && s >= L->Height + 2) {
        s -= 0.5;
      }
      P.LineSpacing = s;
    } else if (P.Lines.size() > 1) {
      P.LineSpacing = sum / static_cast<double>(P.Lines.size() - 1);
    }
    if (previous != nullptr && !P.Lines.empty() && !previous->Lines.empty()) {
      const double h = MaxTextHeight(*P.Lines[0]);
      const double b = P.Rect.Top - previous->Lines.back()->Y - h - 1;
      // The first line takes its own spacing (about h) below the space before it, so the
      // baselines end up as far apart as on the page.
      if (1 < b && b < h) {
        P.SpaceBefore = b + 1;
      } else if (b > 0) {
        AddFiller(Output, *this, b + 1);
      }
    }
    Paragraphs.push_back(&P);
    previous = &P;
    Output.push_back(std::move(built[k]));
  }
  for (auto& P : Output) {
    Attributes(*P);
  }
}

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
  AWriter.BeginPara();
  char16_t lastChar = u' ';
  for (std::size_t i = 0; i < Lines.size(); ++i) {
    const auto* line = Lines[i];
    const TkwFormatterText* previous = nullptr;
    for (std::size_t k = 0; k < line->Runs.size(); ++k) {
      const auto& run = *line->Runs[k];
      AWriter.SetFont(run.Font);
      double tab = 0;
      if (run.RunIndex != 0 && previous != nullptr &&
          RoundEven(run.X) != RoundEven(previous->X + previous->Width) &&
          !(line->ListLabel && run.RunIndex == 2)) {
        tab = run.X - Frame.Left + 2;
      }
      if (i > 0 && k == 0 && lastChar != u' ') {
        std::u16string text;
        text.reserve(run.Text.size() + 1);
        text += u' ';
        text += run.Text;
        AWriter.WriteText(text, tab, run.CharSpacing);
      } else {
        AWriter.WriteText(run.Text, tab, run.CharSpacing);
      }
      previous = &run;
    }
    if (const auto* last = line->LastRun(); last != nullptr && !last->Text.empty()) {
      lastChar = last->Text.back();
    }
  }
  AWriter.EndPara();
}

}  // namespace qm
