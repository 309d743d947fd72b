// Text lines: the tests that compare lines, trademark splicing, duplicate removal and the
// end-of-page pass that groups side-by-side lines.
#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/Numbers.h"
#include "formatter/kwFormatter.h"
#include "formatter/kwFormatterUtil.h"

namespace qm::fmt {

namespace {
// A trademark or copyright sign is looked for this far (in points) beyond the line box,
// as it is raised above the line it marks.
constexpr double kTrademarkReach = 3;
}  // namespace

bool SideBySide(const TkwFormatterTextLine* A, const TkwFormatterTextLine* B, double ATolerance) {
  if (A == nullptr || B == nullptr) {
    return false;
  }
  if (A->Y == B->Y) {
    return true;
  }
  const double aTop = A->Y - A->Height;
  const double bTop = B->Y - B->Height + ATolerance;
  const bool overlap = (aTop < bTop && bTop < A->Y) || (aTop < B->Y && B->Y < A->Y) ||
                       (bTop < aTop && aTop < B->Y) || (bTop < A->Y && A->Y < B->Y) ||
                       (aTop == bTop && A->Y == B->Y);
  if (!overlap) {
    return false;
  }
  return B->X + 5 > A->Right || A->X + 5 > B->Right;
}

int Classify(const TkwFormatterTextLine& A, const TkwFormatterTextLine& B) {
  const double ha = A.Height;
  const double hb = B.Height;
  const double ta = A.Y - ha;
  const double tb = B.Y - hb;
  int result = 0;
  if (0.75 * hb > ha && tb < ta && ta < B.Y) {
    result = 1;
  }
  if (0.75 * ha > hb && ta < tb && tb < A.Y) {
    result = 2;
  }
  return result;
}

bool IsListLabelLine(const TkwFormatterTextLine& ALine) {
  const auto* run = ALine.Run(0);
  if (run == nullptr) {
    return false;
  }
  const auto text = Trim(run->Text);
  if (text.size() == 1 && !IsAsciiLetter(text[0]) && !IsDigit(text[0])) {
    return true;
  }
  if (text.empty() || IsDigit(text.back()) || IsAsciiLetter(text.back())) {
    return false;
  }
  // The label is the text before its closing mark up to the first space. Only a label of
  // one or two characters can pass, so the first two characters are all that is looked at
  // (this runs for every glyph of a line).
  auto label = text.substr(0, text.size() - 1);
  if (!label.empty() && label[0] == u' ') {
    label = label.substr(0, 0);
  } else if (label.size() > 1 && label[1] == u' ') {
    label = label.substr(0, 1);
  } else if (label.size() > 2) {
    return false;
  }
  if (text.size() <= 2) {
    const auto number = ToInteger(label);
    if (number && *number >= 1) {
      return true;
    }
  }
  return label.size() == 1 && IsAsciiLetter(label[0]);
}

bool IsBoldNumberLine(const TkwFormatterTextLine& ALine, const TFont& AFont) {
  if (ALine.Runs.size() != 1 || !FontBold(AFont) || !FontBold(ALine.Runs[0]->Font)) {
    return false;
  }
  std::u16string_view text = ALine.Runs[0]->Text;
  const auto space = text.find(u' ');
  if (space != std::u16string_view::npos) {
    text = text.substr(0, space);
  }
  std::u16string digits;
  for (char16_t c : text) {
    if (c != u'.') {
      digits += c;
    }
  }
  return ToInteger(digits).has_value();
}

void RemoveDuplicates(TkwFormatterTextLine& ALine) {
  auto& runs = ALine.Runs;
  for (auto& run : runs) {
    run->Duplicate = false;
  }
  if (runs.size() < 2) return;  // a run alone copies nothing (most lines of running text)
  // Only runs that start at the same x can be copies of each other. A run whose text
  // equals an earlier one's at that x is a copy and decides nothing the earlier one does
  // not, so each x keeps only the first run of every text for the pairwise test below:
  // a text printed thousands of times over itself costs one hash lookup per copy.
  std::unordered_map<double, std::vector<std::size_t>> byX;
  std::unordered_map<double, std::unordered_set<std::u16string_view>> textsAtX;
  std::vector<double> order;  // the x values in order of their first run
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const double x = runs[i]->X;
    if (x != x) continue;  // NaN equals nothing
    auto [texts, fresh] = textsAtX.try_emplace(x);
    if (fresh) order.push_back(x);
    if (!texts->second.insert(runs[i]->Text).second) {
      runs[i]->Duplicate = true;
      continue;
    }
    byX[x].push_back(i);
  }
  for (const double x : order) {
    const std::vector<std::size_t>& group = byX[x];
    for (std::size_t gi = 0; gi < group.size(); ++gi) {
      for (std::size_t gj = gi + 1; gj < group.size(); ++gj) {
        auto& a = *runs[group[gi]];
        auto& b = *runs[group[gj]];
        if (b.Duplicate) {
          continue;
        }
        if (a.Text.size() < b.Text.size() && b.Text.find(a.Text) != std::u16string::npos) {
          a.Duplicate = true;
        } else if (a.Text.size() >= b.Text.size() && a.Text.find(b.Text) != std::u16string::npos) {
          b.Duplicate = true;
        }
      }
    }
  }
  const auto before = runs.size();
  std::erase_if(runs, [](const auto& run) { return run->Duplicate; });
  ALine.RunCount -= static_cast<int>(before - runs.size());
}

namespace {

// Inserts one run of a fragment into the target line by position.
void SpliceRun(TkwFormatterTextLine& ATarget, std::unique_ptr<TkwFormatterText> AFragment) {
  for (std::size_t i = 0; i < ATarget.Runs.size(); ++i) {
    auto& p = *ATarget.Runs[i];
    if (p.X > AFragment->X) {
      ATarget.InsertRun(std::move(AFragment), static_cast<int>(i));
      return;
    }
    const double pRight = p.X + TextWidth(p, p.Font, p.Text);
    if (AFragment->X < pRight) {
      std::u16string text;
      text.reserve(p.Text.size() + AFragment->Text.size());
      double x = p.X;
      bool inserted = false;
      for (char16_t c : p.Text) {
        if (!inserted && x > AFragment->X) {
          text += AFragment->Text;
          inserted = true;
        }
        text += c;
        x += TextWidth(p, p.Font, std::u16string_view(&c, 1));
      }
      if (!inserted) {
        text += AFragment->Text;
      }
      p.Text = std::move(text);
      return;
    }
  }
  // Right of every run: the sign closes the line rather than being lost.
  ATarget.AddRun(std::move(AFragment));
}

}  // namespace

void SpliceFragment(TkwFormatterTextLine& ATarget, TkwFormatterTextLine& AFragment) {
  // Every run of the fragment goes in, first to last, so no text of it is lost.
  while (!AFragment.Runs.empty()) {
    SpliceRun(ATarget, AFragment.TakeRun(0));
  }
  if (ATarget.Runs.empty()) {
    return;
  }
  ATarget.SetRight(std::max(ATarget.Right, ATarget.Runs.back()->Right));
}

namespace {

bool Conflicts(const TkwFormatterTextLine& L, const TkwFormatterTextLine& P) {
  const bool horizontal = (P.X <= L.X && L.X < P.Right - 1) ||
                          (P.X + 1 <= L.Right && L.Right < P.Right - 1) ||
                          (L.X <= P.X && P.X < L.Right - 1) || (L.X <= P.Right && P.Right < L.Right - 1);
  return horizontal && (std::fabs(L.Y - P.Y) >= 2 ||
                        std::fabs((L.Y + L.Height) - (P.Y + P.Height)) >= 2);
}

struct TRow {
  std::vector<TkwFormatterTextLine*> Lines;
  std::size_t Last = 0;  // index of the row's last line in the page list
};

// Side-by-side lines from AStart that do not overlap one another.
TRow CollectRow(const std::vector<TkwFormatterTextLine*>& ALines, std::size_t AStart, bool ASort) {
  TRow row;
  row.Lines.push_back(ALines[AStart]);
  row.Last = AStart;
  TkwFormatterTextLine* prev = ALines[AStart];
  // Lines of the same box conflict alike, so each box is tested once: text printed over
  // itself many times makes a row of many lines but of one box.
  using TBox = std::array<double, 4>;
  const auto boxOf = [](const TkwFormatterTextLine& L) { return TBox{L.X, L.Right, L.Y, L.Height}; };
  std::vector<TBox> boxes{boxOf(*prev)};
  std::vector<const TkwFormatterTextLine*> distinct{prev};
  std::size_t j = AStart + 1;
  for (; j < ALines.size(); ++j) {
    auto* line = ALines[j];
    if (line->Absorbed) {
      continue;
    }
    if (!SideBySide(prev, line, kSideBySideTolerance)) {
      break;
    }
    const bool conflict = std::any_of(distinct.begin(), distinct.end(),
                                      [&](const auto* p) { return Conflicts(*line, *p); });
    if (conflict) {
      break;
    }
    const TBox box = boxOf(*line);
    if (std::find(boxes.end() - std::min<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(boxes.size()), 4), boxes.end(), box) ==
        boxes.end()) {
      boxes.push_back(box);
      distinct.push_back(line);
    }
    row.Lines.push_back(line);
    row.Last = j;
    prev = line;
  }
  if (ASort && j >= ALines.size()) {
    // Ordered by x; exact positions keep the ordering consistent for the sort.
    std::stable_sort(row.Lines.begin(), row.Lines.end(),
                     [](const auto* a, const auto* b) { return a->X < b->X; });
  }
  return row;
}

bool IsLabelFont(std::string_view AName) {
  return AName == "Wingdings" || AName == "Wingdings 2" || AName == "Wingdings 3" ||
         AName == "Webdings" || AName == kArialUnicode;
}

}  // namespace

TkwFormatterTextLine* MergeToTabLine(TkwFormatterPage& APage, const std::vector<TkwFormatterTextLine*>& ALines) {
  auto merged = std::make_unique<TkwFormatterTextLine>();
  merged->TabLine = true;
  double minX = 10000;
  double maxRight = 0;
  double minRunX = 0;
  double ySum = 0;
  int yCount = 0;
  bool first = true;
  for (auto* source : ALines) {
    if (source->Absorbed) {
      continue;
    }
    source->Absorbed = true;
    if (first) {
      merged->LineId = source->LineId;
      merged->JoinOwner(*source);
      first = false;
    }
    merged->FirstOnPage = merged->FirstOnPage || source->FirstOnPage;
    bool counted = false;
    while (!source->Runs.empty()) {
      auto run = source->TakeRun(0);
      if (Trim(run->Text).empty()) {
        continue;  // blank runs carry nothing into a tabbed line
      }
      if (merged->Runs.empty()) {
        minRunX = run->X + 1;
      }
      minX = std::min(minX, source->X);
      maxRight = std::max(maxRight, source->Right);
      if (run->X < minRunX) {
        minRunX = run->X;
      }
      if (!counted) {
        ySum += source->Y;
        ++yCount;
        counted = true;
      }
      merged->Height = std::max(merged->Height, source->Height);
      // After every run that does not start right of it; the runs are in that order, so
      // the place is found by halving (a NaN position goes last, as the scan put it).
      const double x = run->X;
      const std::size_t at =
          x != x ? merged->Runs.size()
                 : static_cast<std::size_t>(std::upper_bound(merged->Runs.begin(), merged->Runs.end(), x,
                                                             [](double AX, const auto& ARun) { return ARun->X > AX; }) -
                                            merged->Runs.begin());
      merged->InsertRun(std::move(run), static_cast<int>(at));
    }
  }
  if (merged->Runs.empty()) {
    return nullptr;
  }
  merged->Y = RoundEven(ySum / yCount);
  for (std::size_t i = 0; i < merged->Runs.size(); ++i) {
    merged->Runs[i]->RunIndex = static_cast<int>(i);
  }
  merged->LastRunIndex = static_cast<int>(merged->Runs.size()) - 1;
  merged->X = minX;
  merged->SetRight(maxRight);
  merged->SetHeight(merged->Height);
  return APage.StoreLine(std::move(merged));
}

namespace {

// The row after ARow breaks ARow's column pattern: one of its lines fits no slot of
// ARow, or shares a slot with another.
bool NextRowIsIrregular(const std::vector<TkwFormatterTextLine*>& ALines, const TRow& ARow) {
  if (ARow.Last + 1 >= ALines.size()) {
    return false;
  }
  TRow next = CollectRow(ALines, ARow.Last + 1, false);
  std::vector<TkwFormatterRect> slots;
  for (const auto* line : ARow.Lines) {
    slots.emplace_back(line->X, line->Y, line->Right, line->Y + line->Height);
  }
  std::stable_sort(slots.begin(), slots.end(), [](const auto& a, const auto& b) { return a.Left < b.Left; });
  std::vector<bool> used(slots.size(), false);
  for (const auto* line : next.Lines) {
    bool beyond = false;
    const int slot =
        ColumnSlot(TkwFormatterRect(line->X, line->Y, line->Right, line->Y + line->Height), slots, beyond);
    if (slot < 0 || used[static_cast<std::size_t>(slot)]) {
      return true;
    }
    used[static_cast<std::size_t>(slot)] = true;
  }
  return false;
}

// A bullet and its text: two lines, the first blank or a single symbol in a label font.
bool IsLabelRow(const TRow& ARow) {
  if (ARow.Lines.size() != 2) {
    return false;
  }
  const auto* head = ARow.Lines[0];
  const auto text = head->Text();
  const auto trimmed = Trim(text);
  const auto* run = head->Run(0);
  const bool symbol = trimmed.size() == 1 && !IsAsciiLetter(trimmed[0]) && !IsDigit(trimmed[0]) &&
                      run != nullptr && IsLabelFont(run->Font.Name);
  return trimmed.empty() || symbol;
}

// Rows of side-by-side lines become one tabbed line, or stay separate lines for the
// column detection; every other line passes as it is.
void GroupSideBySide(TkwFormatterPage& APage, bool AAsTabLines) {
  const auto& lines = APage.Lines;
  auto& result = APage.ResultLines;
  const bool withTabs = AAsTabLines || Mode(APage) == TkwFormattingMode::fmFormattedWithTabs;
  bool keptSeparate = false;
  std::size_t i = 0;
  const std::size_t count = lines.size();
  while (count >= 2 && i <= count - 2) {
    if (!SideBySide(lines[i], lines[i + 1], kSideBySideTolerance)) {
      if (!lines[i]->Absorbed) {
        result.push_back(lines[i]);
      }
      keptSeparate = false;
      ++i;
      continue;
    }
    TRow rowA = CollectRow(lines, i, true);
    const bool irregular = NextRowIsIrregular(lines, rowA);
    if (withTabs || (irregular && !keptSeparate) || IsLabelRow(rowA)) {
      if (!withTabs) {
        keptSeparate = false;
      }
      if (auto* merged = MergeToTabLine(APage, rowA.Lines)) {
        result.push_back(merged);
      }
    } else {
      for (std::size_t k = i; k <= rowA.Last; ++k) {
        if (!lines[k]->Absorbed) {
          result.push_back(lines[k]);
        }
      }
      keptSeparate = true;
    }
    i = rowA.Last + 1;
  }
  if (count > 0 && i == count - 1 && !lines[i]->Absorbed) {
    result.push_back(lines[i]);
  }
}

bool IsTrademarkSign(const std::u16string& AText) {
  return AText == u"\u00AE" || AText == u"\u00A9" || AText == u"TM";
}

// A small sign on a line of its own is spliced into the line it marks.
void SpliceTrademarks(std::vector<TkwFormatterTextLine*>& AResult) {
  for (std::size_t k = 0; k + 1 < AResult.size();) {
    auto* line = AResult[k];
    const auto* first = line->Run(0);
    bool removed = false;
    if (first != nullptr && IsTrademarkSign(first->Text)) {
      for (std::size_t p = k + 1; p < AResult.size() && SideBySide(line, AResult[p], kTrademarkReach); ++p) {
        auto* partner = AResult[p];
        const int kind = Classify(*line, *partner);
        if (kind == 1) {
          SpliceFragment(*partner, *line);
          line->Absorbed = true;
          AResult.erase(AResult.begin() + static_cast<std::ptrdiff_t>(k));
          removed = true;
          break;
        }
        if (kind == 2) {
          partner->Absorbed = true;
          SpliceFragment(*line, *partner);
          AResult.erase(AResult.begin() + static_cast<std::ptrdiff_t>(p));
          break;
        }
      }
    }
    if (!removed) {
      ++k;
    }
  }
}

// Last line first: drop overprinted copies, then offer the line to the handler; deleted
// lines leave the page.
void OfferLines(TkwFormatterPage& APage) {
  auto& result = APage.ResultLines;
  for (std::size_t k = result.size(); k-- > 0;) {
    auto* line = result[k];
    RemoveDuplicates(*line);
    if (RaiseElementDetected(APage, *line) == TkwAction::acDelete) {
      line->Action = TkwAction::acDelete;
      result.erase(result.begin() + static_cast<std::ptrdiff_t>(k));
    }
  }
}

}  // namespace

void MergeLines(TkwFormatterPage& APage, bool AAsTabLines) {
  APage.ResultLines.clear();
  GroupSideBySide(APage, AAsTabLines);
  SpliceTrademarks(APage.ResultLines);
  OfferLines(APage);
}

}  // namespace qm::fmt
