// Rendering of a page: pictures, sections, columns with their lists, and the element
// actions that decide what reaches the writer.
#include <algorithm>
#include <cmath>

#include "base/Numbers.h"
#include "formatter/kwFormatter.h"
#include "formatter/kwFormatterUtil.h"

namespace qm {

using fmt::RaiseElementDetected;

namespace {

// The topmost line of a band, and the baseline of its lowest one (0 when it has none).
const TkwFormatterTextLine* FirstLine(const TkwFormatterHSection& ASection) {
  const TkwFormatterTextLine* first = nullptr;
  for (const auto& column : ASection.Columns) {
    for (const auto* line : column->Items) {
      if (first == nullptr || line->Y < first->Y) {
        first = line;
      }
    }
  }
  return first;
}

double LastBaseline(const TkwFormatterHSection& ASection) {
  double y = 0;
  for (const auto& column : ASection.Columns) {
    for (const auto* line : column->Items) {
      y = std::max(y, line->Y);
    }
  }
  return y;
}

}  // namespace

void TkwFormatterPage::DecideActions() {
  for (auto& image : Images) {
    image->Action = RaiseElementDetected(*this, *image);
  }
  for (auto& section : Sections) {
    for (auto* child : section->Children) {
      if (child->ElementType == kElementTable) {
        child->Action = RaiseElementDetected(*section, *child);
      } else if (child->ElementType == kElementColumn) {
        auto& column = static_cast<TkwFormatterColumn&>(*child);
        for (auto& paragraph : column.Output) {
          paragraph->Action = RaiseElementDetected(column, *paragraph);
        }
      }
    }
  }
}

namespace {

// Pictures go first, placed from the margins; only those the handler kept are written.
void RenderImages(TkwDocumentWriter& AWriter, TkwFormatterPage& APage, double ALeftMargin, double ATopMargin) {
  for (auto& image : APage.Images) {
    auto& r = image->Rect;
    r.Top -= ATopMargin;
    r.Bottom -= ATopMargin;
    r.Left -= ALeftMargin;
    r.Right -= ALeftMargin;
    if (image->Action == TkwAction::acRetain && image->Graphic) {
      auto& settings = AWriter.GetImageSettings();
      const bool behind = settings.BehindText;
      const TkwBorderLine border = settings.Border;
      settings.BehindText = image->BehindText;
      settings.Border = image->Border;
      AWriter.AddImage(TkwRect{r.Left, r.Top, r.Right, r.Bottom}, *image->Graphic);
      settings.BehindText = behind;
      settings.Border = border;
    }
  }
}

// Back to one column after a multi-column band, whatever band follows it.
void EndColumns(TkwDocumentWriter& AWriter, const TkwPageSettings* ASettings, TkwFormatterHSection& APrevious,
                const TkwFormatterHSection& ASection) {
  if (!APrevious.IsTable && APrevious.ColumnCount > 1 && APrevious.Children.size() > 1 &&
      (fmt::Mode(ASection) == TkwFormattingMode::fmFormatted || APrevious.TextColumns) &&
      (ASection.IsTable || ASection.ColumnCount == 1 || APrevious.TextColumns)) {
    const double width = ASettings != nullptr
                             ? ASettings->GetWidth() - ASettings->GetLeftMargin() - ASettings->GetRightMargin()
                             : 0;
    APrevious.ColumnSections.assign(1, TkwColumnSection{0, width});
    AWriter.BeginColumns(1, 100, APrevious.ColumnSections);
  }
}

// The band starts as far below the one before as the page has it: the distance
// between the last baseline above and the first one here, less the spacing the
// first line takes itself, is blank space, however short.
void RenderGapBefore(TkwDocumentWriter& AWriter, const TkwFormatterPage& AOwner, const TkwFormatterHSection& ASection,
                     double APrevLastY) {
  if (const auto* first = FirstLine(ASection); first != nullptr && APrevLastY != 0) {
    const double gap = (first->Y - APrevLastY - fmt::MaxTextHeight(*first)) * AOwner.GapScale;
    if (gap >= 1) {
      fmt::RenderGap(AWriter, AOwner, gap);
    }
  }
}

}  // namespace

void TkwFormatterPage::Render(TkwDocumentWriter& AWriter) {
  const double leftMargin = PageSettings != nullptr ? PageSettings->GetLeftMargin() : 0;
  const double topMargin = PageSettings != nullptr ? PageSettings->GetTopMargin() : 0;
  RenderImages(AWriter, *this, leftMargin, topMargin);
  double prevBottom = 0;
  double prevLastY = 0;
  for (std::size_t i = 0; i < Sections.size(); ++i) {
    auto& section = *Sections[i];
    if (i >= 1) {
      EndColumns(AWriter, PageSettings, *Sections[i - 1], section);
      if (section.Rect.Top != 0 && prevBottom != 0) {
        RenderGapBefore(AWriter, *this, section, prevLastY);
      }
    }
    prevBottom = section.Rect.Bottom;
    prevLastY = LastBaseline(section);
    section.Render(AWriter);
  }
}

void TkwFormatterHSection::Render(TkwDocumentWriter& AWriter) {
  const bool columns = (fmt::Mode(*this) == TkwFormattingMode::fmFormatted || TextColumns) && !IsTable &&
                       Children.size() > 1;
  if (columns) {
    // One entry per real column; the trailing zero-width entry would make the writer
    // lay out an extra, empty column.
    TkwColumnSections sections(ColumnSections.begin(),
                               ColumnSections.begin() + std::min<std::ptrdiff_t>(
                                   ColumnCount, static_cast<std::ptrdiff_t>(ColumnSections.size())));
    AWriter.BeginColumns(ColumnCount, 40, sections);
  }
  for (std::size_t i = 0; i < Children.size(); ++i) {
    auto* child = Children[i];
    if (child->ElementType == kElementTable) {
      switch (child->Action) {
        using enum TkwAction;
        case acDelete:
          break;
        case acLeaveSpace:
          fmt::RenderFillers(AWriter, *this, child->Rect.Bottom - child->Rect.Top);
          break;
        case acRetain:
          child->Render(AWriter);
          break;
      }
    } else {
      child->Render(AWriter);
    }
    if (columns && i + 1 < Children.size()) {
      AWriter.ColumnBreak();
    }
  }
}

namespace {

// The list a column is writing, carried from one paragraph to the next.
struct TListState {
  std::uint8_t PrevKind = 0;  // list kind of the last paragraph written
  bool BulletOpen = false;
  bool NumberOpen = false;
  bool Fresh = false;         // a list was just begun and has no text yet
  char16_t PrevBullet = u' ';
  char16_t PrevLabelChar = u' ';
  char16_t PrevLabelClose = 0;
  long long PrevNumber = -1;
  int ListId = -1;            // the last numbered list, which a later one may continue
  bool PrevBlank = false;     // a blank paragraph followed the list's beginning
};

// A change of list kind closes the open list.
void CloseOnKindChange(TkwDocumentWriter& AWriter, TListState& AState, std::uint8_t AKind) {
  if (AKind == AState.PrevKind) {
    return;
  }
  if (AState.PrevKind != 0 && (AState.BulletOpen || AState.NumberOpen)) {
    AWriter.EndList();
  }
  AState.Fresh = true;
  AState.BulletOpen = AState.NumberOpen = false;
}

// A bullet paragraph: its bullet leaves the text for the list; a new bullet character
// begins a new list.
void EnterBulletList(TkwDocumentWriter& AWriter, TListState& AState, TkwFormatterText& ARun) {
  const std::u16string trimmed(fmt::Trim(ARun.Text));
  char16_t c = AState.PrevBullet != u' ' ? AState.PrevBullet : u'\u2022';
  if (!trimmed.empty()) {
    c = trimmed[0];
    ARun.Text = trimmed.substr(1);
  }
  if (!AState.BulletOpen || c != AState.PrevBullet) {
    if (AState.BulletOpen) {
      AWriter.EndList();
    }
    AWriter.BeginBulletList(ARun.Font, c, 0, 1, 0);
    AState.Fresh = true;
  }
  AState.BulletOpen = true;
  AState.PrevBullet = c;
}

// The number a label reads as (at most nine digits), or -1 for a letter label.
long long LabelNumber(std::u16string_view ALabel) {
  std::size_t digits = 0;
  while (digits < ALabel.size() && digits < 9 && fmt::IsDigit(ALabel[digits])) {
    ++digits;
  }
  return digits > 0 ? *fmt::ToInteger(ALabel.substr(0, digits)) : -1;
}

// Begins a numbered list for a label that does not continue the open one; a list
// interrupted by a blank paragraph goes on with its numbering.
void BeginNumberedList(TkwDocumentWriter& AWriter, TListState& AState, const TkwFormatterParagraph& P,
                       long long ANumber, char16_t AFirst, bool AContinues) {
  if (AState.NumberOpen) {
    AWriter.EndList();
  }
  if (AState.PrevBlank && AContinues && AState.ListId >= 0) {
    AWriter.ContinueList(AState.ListId);
  } else {
    std::uint8_t format = 0;
    int start = ANumber > 0 ? static_cast<int>(ANumber) : 1;
    if (ANumber == -1 && AFirst >= u'a' && AFirst <= u'z') {
      format = 4;
      start = AFirst - u'a' + 1;
    } else if (ANumber == -1 && AFirst >= u'A' && AFirst <= u'Z') {
      format = 3;
      start = AFirst - u'A' + 1;
    }
    AState.ListId = AWriter.BeginNumberedList(format, 0, start, 1, P.LabelClose);
  }
  AState.Fresh = false;
}

// A numbered paragraph: the list writes the label, the text keeps what follows it.
void EnterNumberedList(TkwDocumentWriter& AWriter, TListState& AState, const TkwFormatterParagraph& P,
                       TkwFormatterText& ARun) {
  const std::u16string_view text = fmt::Trim(ARun.Text);
  auto label = text.substr(0, text.find(u' '));
  const std::size_t labelLength = label.size();
  if (!label.empty() && !fmt::IsDigit(label.back()) && !fmt::IsAsciiLetter(label.back())) {
    label.remove_suffix(1);
  }
  const long long n = LabelNumber(label);
  const char16_t first = label.empty() ? u' ' : label[0];
  // "1." and "1)" labels belong to different lists, as they read differently.
  const bool continues =
      (n == AState.PrevNumber + 1 || first == AState.PrevLabelChar + 1) && P.LabelClose == AState.PrevLabelClose;
  if (!AState.NumberOpen || !continues) {
    BeginNumberedList(AWriter, AState, P, n, first, continues);
  }
  ARun.Text = std::u16string(fmt::Trim(text.substr(labelLength)));
  AState.PrevLabelChar = first;
  AState.PrevLabelClose = P.LabelClose;
  AState.PrevNumber = n;
  AState.NumberOpen = true;
}

// Writes the paragraph as its action says: itself, blank space of its height, or nothing.
void RenderByAction(TkwDocumentWriter& AWriter, TListState& AState, TkwFormatterParagraph& P,
                    const TkwFormatterElement& AOwner) {
  switch (P.Action) {
    using enum TkwAction;
    case acRetain:
      P.Render(AWriter);
      AState.PrevKind = P.ListKind;
      break;
    case acLeaveSpace:
      fmt::RenderFillers(AWriter, AOwner, P.Rect.Bottom - P.Rect.Top);
      AState.PrevKind = P.ListKind;
      break;
    case acDelete:
      break;
  }
}

}  // namespace

void TkwFormatterColumn::Render(TkwDocumentWriter& AWriter) {
  TListState state;
  for (auto& item : Output) {
    auto& P = *item;
    if (P.Lines.empty() || P.Lines[0]->Run(0) == nullptr) {
      if (P.Action == TkwAction::acRetain) {
        P.Render(AWriter);
      }
      continue;
    }
    auto* l0 = P.Lines[0];
    auto& r0 = *l0->Run(0);
    CloseOnKindChange(AWriter, state, P.ListKind);
    if (P.ListKind == 1) {
      EnterBulletList(AWriter, state, r0);
    } else if (P.ListKind == 2) {
      EnterNumberedList(AWriter, state, P, r0);
    }
    const bool blank = fmt::Trim(l0->Text()).empty() && P.Lines.size() == 1;
    state.PrevBlank = state.Fresh && blank;
    if (state.Fresh && !blank) {
      state.Fresh = false;
    }
    RenderByAction(AWriter, state, P, *this);
  }
  if (state.BulletOpen || state.NumberOpen) {
    AWriter.EndList();
  }
}

}  // namespace qm
