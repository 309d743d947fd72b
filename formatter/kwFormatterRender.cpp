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

void TkwFormatterPage::Render(TkwDocumentWriter& AWriter) {
  const double leftMargin = PageSettings != nullptr ? PageSettings->GetLeftMargin() : 0;
  const double topMargin = PageSettings != nullptr ? PageSettings->GetTopMargin() : 0;
  for (auto& image : Images) {
    auto& r = image->Rect;
    r.Top -= topMargin;
    r.Bottom -= topMargin;
    r.Left -= leftMargin;
    r.Right -= leftMargin;
    if (image->Action == TkwAction::acRetain && image->Graphic) {
      AWriter.AddImage(TkwRect{r.Left, r.Top, r.Right, r.Bottom}, *image->Graphic);
    }
  }
  double prevBottom = 0;
  double prevLastY = 0;
  for (std::size_t i = 0; i < Sections.size(); ++i) {
    auto& section = *Sections[i];
    if (i >= 1) {
      // Back to one column after a multi-column band, whatever band follows it.
      auto& previous = *Sections[i - 1];
      if (!previous.IsTable && previous.ColumnCount > 1 && previous.Children.size() > 1 &&
          fmt::Mode(*this) == TkwFormattingMode::fmFormatted &&
          (section.IsTable || section.ColumnCount == 1)) {
        const double width = PageSettings != nullptr
                                 ? PageSettings->GetWidth() - PageSettings->GetLeftMargin() -
                                       PageSettings->GetRightMargin()
                                 : 0;
        previous.ColumnSections.assign(1, TkwColumnSection{0, width});
        AWriter.BeginColumns(1, 100, previous.ColumnSections);
      }
      // The band starts as far below the one before as the page has it: the distance
      // between the last baseline above and the first one here, less the spacing the
      // first line takes itself, is blank space, however short.
      if (section.Rect.Top != 0 && prevBottom != 0) {
        if (const auto* first = FirstLine(section); first != nullptr && prevLastY != 0) {
          const double gap = first->Y - prevLastY - fmt::MaxTextHeight(*first);
          if (gap >= 1) {
            fmt::RenderGap(AWriter, *this, gap);
          }
        }
      }
    }
    prevBottom = section.Rect.Bottom;
    prevLastY = LastBaseline(section);
    section.Render(AWriter);
  }
}

void TkwFormatterHSection::Render(TkwDocumentWriter& AWriter) {
  const bool columns = fmt::Mode(*this) == TkwFormattingMode::fmFormatted && !IsTable &&
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

void TkwFormatterColumn::Render(TkwDocumentWriter& AWriter) {
  std::uint8_t prevKind = 0;
  bool bulletOpen = false;
  bool numberOpen = false;
  bool fresh = false;
  char16_t prevBullet = u' ';
  char16_t prevLabelChar = u' ';
  char16_t prevLabelClose = 0;
  long long prevNumber = -1;
  int listId = -1;
  bool prevBlank = false;
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
    const std::uint8_t kind = P.ListKind;
    if (kind != prevKind) {
      if (prevKind != 0 && (bulletOpen || numberOpen)) {
        AWriter.EndList();
      }
      fresh = true;
      bulletOpen = numberOpen = false;
    }
    if (kind == 1) {
      const std::u16string trimmed(fmt::Trim(r0.Text));
      char16_t c = prevBullet != u' ' ? prevBullet : u'\u2022';
      if (!trimmed.empty()) {
        c = trimmed[0];
        r0.Text = trimmed.substr(1);
      }
      if (!bulletOpen || c != prevBullet) {
        if (bulletOpen) {
          AWriter.EndList();
        }
        AWriter.BeginBulletList(r0.Font, c, 0, 1, 0);
        fresh = true;
      }
      bulletOpen = true;
      prevBullet = c;
    } else if (kind == 2) {
      const std::u16string_view text = fmt::Trim(r0.Text);
      auto label = text.substr(0, text.find(u' '));
      const std::size_t labelLength = label.size();
      if (!label.empty() && !fmt::IsDigit(label.back()) && !fmt::IsAsciiLetter(label.back())) {
        label.remove_suffix(1);
      }
      long long n = -1;
      std::size_t digits = 0;
      while (digits < label.size() && digits < 9 && fmt::IsDigit(label[digits])) {
        ++digits;
      }
      if (digits > 0) {
        n = *fmt::ToInteger(label.substr(0, digits));
      }
      const char16_t first = label.empty() ? u' ' : label[0];
      // "1." and "1)" labels belong to different lists, as they read differently.
      const bool continues = (n == prevNumber + 1 || first == prevLabelChar + 1) && P.LabelClose == prevLabelClose;
      if (!numberOpen || !continues) {
        if (numberOpen) {
          AWriter.EndList();
        }
        if (prevBlank && continues && listId >= 0) {
          AWriter.ContinueList(listId);
        } else {
          std::uint8_t format = 0;
          int start = n > 0 ? static_cast<int>(n) : 1;
          if (n == -1 && first >= u'a' && first <= u'z') {
            format = 4;
            start = first - u'a' + 1;
          } else if (n == -1 && first >= u'A' && first <= u'Z') {
            format = 3;
            start = first - u'A' + 1;
          }
          listId = AWriter.BeginNumberedList(format, 0, start, 1, P.LabelClose);
        }
        fresh = false;
      }
      // The list writes the label; the text keeps what follows it.
      r0.Text = std::u16string(fmt::Trim(text.substr(labelLength)));
      prevLabelChar = first;
      prevLabelClose = P.LabelClose;
      prevNumber = n;
      numberOpen = true;
    }
    const bool blank = fmt::Trim(l0->Text()).empty() && P.Lines.size() == 1;
    prevBlank = fresh && blank;
    if (fresh && !blank) {
      fresh = false;
    }
    switch (P.Action) {
      using enum TkwAction;
      case acRetain:
        P.Render(AWriter);
        prevKind = kind;
        break;
      case acLeaveSpace:
        fmt::RenderFillers(AWriter, *this, P.Rect.Bottom - P.Rect.Top);
        prevKind = kind;
        break;
      case acDelete:
        break;
    }
  }
  if (bulletOpen || numberOpen) {
    AWriter.EndList();
  }
}

}  // namespace qm
