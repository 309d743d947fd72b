// Element actions, event order, pages and the state each formatter keeps.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "formatter/kwFormatterUtil.h"
#include "tests/formatter/FormatterTestKit.h"

namespace qm::test {
namespace {

TkwOnElementDetected Answer(std::uint8_t AKind, TkwAction AAction, std::vector<std::uint8_t>* ASeen = nullptr) {
  return [=](TkwObject&, TkwFormatterElement& AElement, TkwAction& AResult) {
    EXPECT_EQ(AResult, TkwAction::acRetain);
    if (ASeen != nullptr) {
      ASeen->push_back(AElement.ElementType);
    }
    if (AElement.ElementType == AKind) {
      AResult = AAction;
    }
  };
}

TEST(Actions, DeletedLineIsGone) {
  TPageBuilder page;
  page.Show(u"Keep this", 72, 100);
  page.Show(u"Drop this", 72, 200);
  page.Formatter->OnElementDetected = [](TkwObject& ASender, TkwFormatterElement& AElement, TkwAction& A) {
    EXPECT_EQ(dynamic_cast<TkwFormatterPage*>(&ASender) != nullptr, AElement.ElementType == kElementTextLine ||
                                                                        AElement.ElementType == kElementImage);
    if (AElement.ElementType == kElementTextLine &&
        static_cast<TkwFormatterTextLine&>(AElement).Text() == u"Drop this") {
      A = TkwAction::acDelete;
    }
  };
  page.EndPage();
  EXPECT_EQ(page.Writer.Texts(), (std::vector<std::u16string>{u"Keep this"}));
}

TEST(Actions, EveryLineIsOfferedOnceLastFirst) {
  TPageBuilder page;
  page.Show(u"One", 72, 100);
  page.Show(u"Two", 72, 200);
  page.Show(u"Three", 72, 300);
  std::vector<std::u16string> seen;
  page.Formatter->OnElementDetected = [&](TkwObject&, TkwFormatterElement& AElement, TkwAction& A) {
    if (AElement.ElementType == kElementTextLine) {
      const auto text = static_cast<TkwFormatterTextLine&>(AElement).Text();
      seen.push_back(text);
      if (text == u"Two") {
        A = TkwAction::acDelete;
      }
    }
  };
  page.EndPage();
  EXPECT_EQ(seen, (std::vector<std::u16string>{u"Three", u"Two", u"One"}));
}

struct TImageCase {
  TkwAction Action;
  int Written;
};

class ImageActions : public ::testing::TestWithParam<TImageCase> {};

TEST_P(ImageActions, OnlyRetainedImagesAreWritten) {
  TPageBuilder page;
  page.Show(u"Caption", 72, 100);
  page.Image(100, 200, 300, 350);
  page.Formatter->OnElementDetected = Answer(kElementImage, GetParam().Action);
  page.EndPage();
  ASSERT_EQ(page.Writer.Count("AddImage"), GetParam().Written);
  if (GetParam().Written == 1) {
    // Relative to the margins found on the page (left 72, top 90 - 3).
    const auto* image = page.Writer.Find("AddImage");
    EXPECT_DOUBLE_EQ(image->A, 100 - 72);
    EXPECT_DOUBLE_EQ(image->B, 200 - 87);
    // Pictures come before the text of the page.
    EXPECT_LT(image - page.Writer.Calls.data(), page.Writer.Find("BeginPara") - page.Writer.Calls.data());
  }
}

INSTANTIATE_TEST_SUITE_P(Actions, ImageActions,
                         ::testing::Values(TImageCase{TkwAction::acRetain, 1}, TImageCase{TkwAction::acLeaveSpace, 0},
                                           TImageCase{TkwAction::acDelete, 0}));

TEST(Actions, ImageOverlappingTextIsMarked) {
  TPageBuilder page;
  page.Show(u"Over the picture", 120, 250);
  page.Image(100, 200, 300, 350);
  page.Image(400, 500, 450, 550);
  const auto* collected = page.Formatter->GetPage();
  page.Formatter->OnElementDetected = [&](TkwObject&, TkwFormatterElement& AElement, TkwAction&) {
    if (AElement.ElementType == kElementImage) {
      const auto& image = static_cast<TkwFormatterImage&>(AElement);
      EXPECT_EQ(image.OverlapsText, &image == collected->Images[0].get());
    }
  };
  page.EndPage();
}

TEST(Actions, ParagraphLeaveSpaceGivesFillersForItsHeight) {
  TPageBuilder page;
  page.Show(u"Replaced by space", 72, 100);
  page.Formatter->OnElementDetected = Answer(kElementParagraph, TkwAction::acLeaveSpace);
  page.EndPage();
  // One line of 10 points: the paragraph is 12 high, which gives fillers of 10 and 2.
  const auto paras = page.Writer.Paragraphs();
  ASSERT_EQ(paras.size(), 2u);
  EXPECT_EQ(paras[0].Text, u" ");
  EXPECT_DOUBLE_EQ(paras[0].Begin->LineSpacing, 10);
  EXPECT_DOUBLE_EQ(paras[1].Begin->LineSpacing, 2);
}

TEST(Actions, DeletedParagraphWritesNothing) {
  TPageBuilder page;
  page.Show(u"Gone", 72, 100);
  page.Formatter->OnElementDetected = Answer(kElementParagraph, TkwAction::acDelete);
  page.EndPage();
  EXPECT_EQ(page.Writer.Count("BeginPara"), 0);
}

TEST(Actions, TableActions) {
  for (const auto action : {TkwAction::acDelete, TkwAction::acLeaveSpace}) {
    TPageBuilder page;
    double y = 100;
    for (const auto* row : {u"Name", u"Apple", u"Pear"}) {
      page.Show(row, 72, y);
      page.Show(u"Value", 300, y);
      y += 14;
    }
    std::vector<std::uint8_t> seen;
    page.Formatter->OnElementDetected = Answer(kElementTable, action, &seen);
    page.EndPage();
    EXPECT_EQ(page.Writer.Count("BeginTable"), 0);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), kElementTable), 1);
    const int spaces = page.Writer.Count("BeginPara");
    // The blank above the table stays either way.
    if (action == TkwAction::acDelete) {
      EXPECT_EQ(spaces, 1);
    } else {
      EXPECT_EQ(spaces, 6);  // the table is 48 points high: four fillers of 10 and one of 8
    }
  }
}

TEST(Events, ElementsThenProgressThenWrittenPage) {
  TPageBuilder page;
  page.Show(u"Body text", 72, 100);
  page.Image(100, 200, 300, 350);
  std::vector<std::string> order;
  page.Formatter->OnElementDetected = [&](TkwObject&, TkwFormatterElement& AElement, TkwAction&) {
    order.push_back("element" + std::to_string(AElement.ElementType));
  };
  page.Formatter->OnProgress = [&](TkwObject& ASender, int AValue) {
    EXPECT_EQ(&ASender, page.Formatter.get());
    order.push_back("progress" + std::to_string(AValue));
    EXPECT_EQ(page.Writer.Count("BeginPara"), 0);  // nothing written yet
  };
  page.Formatter->OnEndPage = [&](TkwObject&, int AValue) {
    order.push_back("end" + std::to_string(AValue));
    EXPECT_EQ(page.Writer.Calls.back().Op, "EndPage");
  };
  page.EndPage();
  EXPECT_EQ(order, (std::vector<std::string>{"element4", "element6", "element3", "progress1", "end1"}));
}

TEST(Events, FontSubstitutingFitsOversizedFallbackText) {
  TPageBuilder page;
  const auto fallback = Font("Arial Unicode MS", 20);
  // Advances of 5 points where the font measures 10: the text is twice too wide.
  double x = 72;
  for (const char16_t c : std::u16string_view(u"wide")) {
    const double ppp = kPixelsPerPoint;
    page.Formatter->AddChar(fallback, TkwRect{x * ppp, 84 * ppp, (x + 5) * ppp, 104 * ppp}, 0, c,
                            x != 72, x != 72, 5, TPageBuilder::kPageHeight - 100, x);
    x += 5;
  }
  int raised = 0;
  page.Formatter->OnFontSubstituting = [&](TkwObject& ASender, TkwFontSubstitutionEventArgs& AArgs) {
    ++raised;
    EXPECT_NE(dynamic_cast<TkwFormatterParagraph*>(&ASender), nullptr);
    EXPECT_EQ(AArgs.FontInUse.Size, 20);
    EXPECT_EQ(AArgs.Substitute.Size, 10);
    EXPECT_EQ(AArgs.Sender->ElementType, kElementParagraph);
  };
  TkwDiagnostics diag;
  page.Formatter->SetDiagnostics(&diag);
  page.EndPage();
  EXPECT_EQ(raised, 1);
  EXPECT_EQ(diag.Count(TkwDiagCode::dcFontSubstituted), 1);
  const auto* text = page.Writer.Find("WriteText");
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->Font.Size, 10);
}

TEST(Pages, TwoPagesGiveTwoWrittenPages) {
  TPageBuilder page;
  std::vector<int> ends;
  page.Formatter->OnEndPage = [&](TkwObject&, int AValue) { ends.push_back(AValue); };
  page.Show(u"First page", 72, 100);
  page.EndPage();
  EXPECT_EQ(page.Formatter->GetPage(), nullptr);
  EXPECT_EQ(page.Formatter->NewPage(), 1);
  page.Show(u"Second page", 72, 100);
  page.EndPage();
  page.EndDoc();
  EXPECT_EQ(ends, (std::vector<int>{1, 2}));
  EXPECT_EQ(page.Writer.Ops().substr(0, 8), "BeginDoc");
  EXPECT_EQ(page.Writer.Count("NewPage"), 1);
  EXPECT_EQ(page.Writer.Count("EndPage"), 2);
  EXPECT_EQ(page.Writer.Calls.back().Op, "EndDoc");
  EXPECT_EQ(page.Writer.Texts(), (std::vector<std::u16string>{u"First page", u"Second page"}));
}

TEST(Pages, MarginsResetOnNewPage) {
  TPageBuilder page;
  page.Show(u"Far left", 20, 30);
  page.EndPage();
  page.NewPage();
  const auto& ps = page.Formatter->GetPageSettings();
  EXPECT_DOUBLE_EQ(ps.GetLeftMargin(), TkwFormatter::kDefaultLeftMargin);
  EXPECT_DOUBLE_EQ(ps.GetTopMargin(), TkwFormatter::kDefaultTopMargin);
}

// What a formatter sends its writer, one line per call: the operation, its text and
// the font size.
std::string Summary(const TRecordingWriter& AWriter) {
  std::string out;
  for (const auto& call : AWriter.Calls) {
    out += call.Op;
    out += ' ';
    for (char16_t c : call.Text) out += static_cast<char>(c);
    out += ' ' + std::to_string(call.Font.Size) + ' ' + std::to_string(call.A) + '\n';
  }
  return out;
}

// Side-by-side lines and an oversized fallback-font word, drawn with AAdvance points per
// character (the fixed metrics measure 10).
void FillTwoColumnPage(TPageBuilder& APage, double AAdvance) {
  APage.Show(u"Left column text", 72, 100);
  APage.Show(u"Right column", 320, 100);
  APage.Show(u"Left again here", 72, 112);
  APage.Show(u"Right again", 320, 112);
  const auto fallback = Font("Arial Unicode MS", 20);
  const double ppp = kPixelsPerPoint;
  double x = 72;
  for (const char16_t c : std::u16string_view(u"wide")) {
    APage.Formatter->AddChar(fallback, TkwRect{x * ppp, 184 * ppp, (x + AAdvance) * ppp, 204 * ppp}, 0, c,
                             x != 72, x != 72, AAdvance, TPageBuilder::kPageHeight - 200, x);
    x += AAdvance;
  }
}

// Two formatters alive at once keep their own mode, page settings and fitted sizes: each
// writes what it writes alone, whichever page is finished first.
TEST(State, TwoFormattersAliveAtOnceWriteWhatEachWritesAlone) {
  const auto alone = [](TkwFormattingMode AMode, double AAdvance) {
    TPageBuilder page(AMode);
    FillTwoColumnPage(page, AAdvance);
    page.EndPage();
    page.EndDoc();
    return Summary(page.Writer);
  };
  const std::string tabsFitted = alone(TkwFormattingMode::fmFormattedWithTabs, 5);
  const std::string columnsUnfitted = alone(TkwFormattingMode::fmFormatted, 10);
  ASSERT_NE(tabsFitted, columnsUnfitted);

  for (const bool tabsFirst : {true, false}) {
    TPageBuilder tabs(TkwFormattingMode::fmFormattedWithTabs);
    TPageBuilder columns(TkwFormattingMode::fmFormatted);
    FillTwoColumnPage(tabs, 5);
    FillTwoColumnPage(columns, 10);
    auto& first = tabsFirst ? tabs : columns;
    auto& second = tabsFirst ? columns : tabs;
    first.EndPage();
    second.EndPage();
    first.EndDoc();
    second.EndDoc();
    EXPECT_EQ(Summary(tabs.Writer), tabsFitted) << "tabs first: " << tabsFirst;
    EXPECT_EQ(Summary(columns.Writer), columnsUnfitted) << "tabs first: " << tabsFirst;
  }
}

// A page of 3000 glyphs: 60 lines of 50 characters.
double FormatPageMs(bool AScreenMetrics) {
  TPageBuilder page;
  if (AScreenMetrics) {
    page.Formatter->SetTextMeasurer(CreateScreenTextMeasurer());
  }
  const std::u16string text = u"The quick brown fox jumps over the lazy dog again.";
  const auto start = std::chrono::steady_clock::now();
  for (int line = 0; line < 60; ++line) {
    page.Show(text, 72, 80 + 11.0 * line);
  }
  page.EndPage();
  const auto end = std::chrono::steady_clock::now();
  EXPECT_EQ(page.Writer.Texts().empty(), false);
  return std::chrono::duration<double, std::milli>(end - start).count();
}

#if defined(__SANITIZE_ADDRESS__)
// Timing means nothing under the sanitizers, and the installed-font catalogue keeps
// fontconfig's allocations for the life of the process.
TEST(Speed, DISABLED_PageOfThreeThousandGlyphs) {
#else
TEST(Speed, PageOfThreeThousandGlyphs) {
#endif
  FormatPageMs(true);  // warm the font caches
  const double fixed = FormatPageMs(false);
  const double screen = FormatPageMs(true);
  std::printf("3000-glyph page: %.2f ms (fixed metrics), %.2f ms (screen metrics)\n", fixed, screen);
#ifdef NDEBUG
  EXPECT_LT(screen, 5.0);
#else
  EXPECT_LT(screen, 100.0);
#endif
}

}  // namespace
}  // namespace qm::test

namespace qm::test {
namespace {

// Arbitrary glyph streams, pictures and answers: every page is formatted without a crash
// and every call the writer gets is well nested.
TEST(Robustness, ArbitraryPagesFormat) {
  std::uint32_t seed = 12345;
  const auto next = [&seed](std::uint32_t AMod) {
    seed = seed * 1664525u + 1013904223u;
    return (seed >> 8) % AMod;
  };
  const std::vector<TFont> fonts = {Font(), Font("Arial", 14, fsBold), Font("Arial Unicode MS", 9),
                                    Font("Wingdings", 10), Font("Symbol", 12, fsItalic)};
  const std::u16string chars = u"aZ1.) \u2022\u00AE-_ 09.";
  for (int round = 0; round < 40; ++round) {
    TPageBuilder page(round % 2 == 0 ? TkwFormattingMode::fmFormatted
                                     : TkwFormattingMode::fmFormattedWithTabs);
    page.Formatter->OnElementDetected = [&](TkwObject&, TkwFormatterElement&, TkwAction& A) {
      A = static_cast<TkwAction>(next(3));
    };
    page.Formatter->OnFontSubstituting = [](TkwObject&, TkwFontSubstitutionEventArgs& A) {
      A.Substitute.Size = 0;
    };
    for (int p = 0; p < 3; ++p) {
      const int glyphs = static_cast<int>(next(400));
      double x = 72;
      double y = 100;
      for (int g = 0; g < glyphs; ++g) {
        switch (next(6)) {
          case 0: x = next(700) - 50.0; y = next(900) - 50.0; break;  // jump anywhere
          case 1: y += next(30); x = 72 + next(300); break;
          default: x += 5; break;
        }
        const auto& font = fonts[next(static_cast<std::uint32_t>(fonts.size()))];
        const double box = next(10) == 0 ? std::nan("") : next(40);
        page.Glyph(chars[next(static_cast<std::uint32_t>(chars.size()))], x, y, font, next(2) == 0,
                   next(3) != 0, box);
        if (next(50) == 0) {
          page.Image(next(600), next(800), next(600), next(800));
        }
      }
      page.EndPage();
      page.NewPage();
    }
    page.EndDoc();
    int depth = 0;
    for (const auto& call : page.Writer.Calls) {
      depth += call.Op == "BeginPara" || call.Op == "BeginCellPara" ? 1 : call.Op == "EndPara" ? -1 : 0;
      ASSERT_GE(depth, 0);
      ASSERT_LE(depth, 1);
    }
    EXPECT_EQ(depth, 0);
    EXPECT_EQ(page.Writer.Count("BeginTable"), page.Writer.Count("EndTable"));
  }
}

}  // namespace
}  // namespace qm::test
