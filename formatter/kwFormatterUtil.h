#pragma once

#include <optional>
#include <utility>
#include <string>
#include <string_view>

#include "base/Font.h"
#include "formatter/kwFormatterElements.h"
#include "formatter/kwFormatterMeasure.h"

// Helpers shared by the formatter's units; not part of its public interface.
namespace qm::fmt {

// Font facets the layout analysis compares. Inline: the glyph intake asks for them on
// every glyph.
[[nodiscard]] inline std::string_view FontName(const TFont& AFont) { return AFont.Name; }
[[nodiscard]] inline double FontSize(const TFont& AFont) { return AFont.Size; }
void SetFontSize(TFont& AFont, double ASize);
[[nodiscard]] inline bool FontBold(const TFont& AFont) { return (AFont.Style & fsBold) != 0; }
[[nodiscard]] inline bool FontItalic(const TFont& AFont) { return (AFont.Style & fsItalic) != 0; }
// Bold and nothing else.
[[nodiscard]] inline bool FontOnlyBold(const TFont& AFont) { return AFont.Style == fsBold; }
[[nodiscard]] inline bool FontIsSymbolCharset(const TFont& AFont) { return AFont.Charset == kSymbolCharset; }
[[nodiscard]] TFont MakeFont(std::string_view AName, double ASize);
// Name (case-sensitive), size, style and colour.
[[nodiscard]] inline bool SameFont(const TFont& A, const TFont& B) {
  return A.Size == B.Size && A.Style == B.Style && A.Color == B.Color && SameFontName(A.Name, B.Name);
}
// SameFace (name, size and style; colour ignored) is in kwFormatterMeasure.h.
// Name, size, style: the key of the width cache.
[[nodiscard]] std::string FaceKey(const TFont& AFont);

inline constexpr std::string_view kArialUnicode = kFallbackFontName;

// Measuring through the measurer of AAt's formatter. An element outside any formatter
// is a broken invariant (std::logic_error).
[[nodiscard]] TkwFontWidthCache& Widths(const TkwFormatterElement& AAt);
[[nodiscard]] inline double SpaceWidth(const TkwFormatterElement& AAt, const TFont& AFont) {
  return Widths(AAt).SpaceWidth(AFont);
}
[[nodiscard]] inline double TextWidth(const TkwFormatterElement& AAt, const TFont& AFont,
                                      std::u16string_view AText) {
  return Widths(AAt).TextWidth(AFont, AText);
}
[[nodiscard]] inline double TextHeight(const TkwFormatterElement& AAt, const TFont& AFont,
                                       std::u16string_view AText) {
  return Widths(AAt).TextHeight(AFont, AText);
}
// The formatting mode of AAt's formatter (the element's own without one).
[[nodiscard]] TkwFormattingMode Mode(const TkwFormatterElement& AAt);

// Text helpers.
[[nodiscard]] inline bool IsBlank(char16_t C) { return C <= u' '; }
// Ideographs, kana, hangul and full-width forms: scripts written without word spaces.
[[nodiscard]] constexpr bool IsCJK(char16_t C) {
  return (C >= 0x1100 && C <= 0x11FF) || (C >= 0x2E80 && C <= 0x9FFF) ||
         (C >= 0xAC00 && C <= 0xD7AF) || (C >= 0xF900 && C <= 0xFAFF) ||
         (C >= 0xFF00 && C <= 0xFFEF);
}
// Whether a gap of AGap points between APrev and ANext is a word space: wider than AWordGap
// and not beside a space already shown, nor between two characters of a script without
// word spaces.
// Between a sentence's or a clause's mark and a letter the gap may be half as wide:
// typesetters kern the space after a stop, and inside a word ("e.g.", "3.14") such marks
// have no gap at all.
[[nodiscard]] constexpr bool GapIsWordSpace(double AGap, double AWordGap, char16_t APrev,
                                            char16_t ANext) {
  const bool stop = (APrev == u'.' || APrev == u',' || APrev == u';' || APrev == u':' || APrev == u'!' ||
                     APrev == u'?') &&
                    ((ANext >= u'A' && ANext <= u'Z') || (ANext >= u'a' && ANext <= u'z') || (ANext >= 0xC0 && ANext < 0x2000));
  return AGap > (stop ? 0.5 * AWordGap : AWordGap) && APrev != u' ' && ANext != u' ' &&
         !(IsCJK(APrev) && IsCJK(ANext));
}
// Share of a font's space width that a gap must exceed to part words when the producer
// gave no better measure.
inline constexpr double kWordGapOfSpace = 0.5;
[[nodiscard]] inline std::u16string_view Trim(std::u16string_view AText) {
  std::size_t first = 0;
  std::size_t last = AText.size();
  while (first < last && IsBlank(AText[first])) ++first;
  while (last > first && IsBlank(AText[last - 1])) --last;
  return AText.substr(first, last - first);
}
[[nodiscard]] inline bool IsAsciiLetter(char16_t C) { return (C >= u'a' && C <= u'z') || (C >= u'A' && C <= u'Z'); }
[[nodiscard]] inline bool IsDigit(char16_t C) { return C >= u'0' && C <= u'9'; }
// The letter an accent drawn over (or, for a cedilla or an ogonek, under) a base letter
// makes, as TeX and other typesetters build "ï" from "ı" and "¨"; 0 when the pair composes
// to no single character. AAccent is a spacing accent (U+00A8 diaeresis, U+00B4 acute,
// U+0060 grave, U+02C6 circumflex, U+02DC tilde, U+02DA ring, U+00B8 cedilla, U+02C7 caron,
// U+00AF macron, U+02D8 breve, U+02D9 dot above, U+02DB ogonek, U+02DD double acute).
[[nodiscard]] char16_t ComposeAccent(char16_t ABase, char16_t AAccent);
// The spacing accents ComposeAccent knows: with neither character one of them, no pair
// composes (asked for every glyph drawn back over its neighbour by kerning).
[[nodiscard]] constexpr bool IsSpacingAccent(char16_t C) {
  return C == 0x0060 || C == 0x00A8 || C == 0x00AF || C == 0x00B4 || C == 0x00B8 || C == 0x02C6 ||
         C == 0x02C7 || (C >= 0x02D8 && C <= 0x02DD);
}
// Characters that mark list items: dashes, asterisks, bullets, arrows, geometric shapes,
// dingbats and the private-use codes of symbol fonts. Letters of any script, digits,
// currency signs and ordinary punctuation start text instead.
[[nodiscard]] bool IsBulletChar(char16_t C);
// The marks producers set before the items of a list: round and square bullets, dashes,
// ticks and arrowheads, also as the private-use codes of Symbol and Wingdings (and as
// their raw codes when AFont is a symbol font). A lone line that starts with another mark
// is a row of a table of symbols rather than a list of one item.
[[nodiscard]] bool IsCommonBullet(char16_t C, const TFont& AFont);
// The end of a line's text that breaks a word with a hyphen ("com-" before "pile" on the
// next line): where its hyphen starts, or npos when the line does not end so. The hyphen
// follows a letter and the next line goes on with a letter. A capital after it is most
// often a word's own ("Trace-" / "Monkey", "Mc-" / "Cullagh") rather than a compound's
// ("Anglo-" / "Saxon"), as readers of the text take it too; a digit keeps the hyphen.
[[nodiscard]] std::size_t WordBreakHyphen(std::u16string_view ALineEnd, char16_t ANext);
// The optional hyphen: a reader shows it only where a line breaks the word.
inline constexpr char16_t kSoftHyphen = 0xAD;
// A hyphen that may break a word at a line's end: hyphen-minus, hyphen or the optional one.
[[nodiscard]] constexpr bool IsBreakHyphen(char16_t C) { return C == u'-' || C == 0x2010 || C == kSoftHyphen; }
// Where the word that ends before AEnd in AText starts: after the last blank before it.
[[nodiscard]] inline std::size_t WordStartBefore(std::u16string_view AText, std::size_t AEnd) {
  while (AEnd > 0 && !IsBlank(AText[AEnd - 1])) --AEnd;
  return AEnd;
}
// A word broken by a hyphen at the end of an item of a tabbed line (two columns of text
// set side by side, a table's header) goes on in the item at the same stop of a line
// below: the word is made whole in one of them, its hyphen optional. The shorter half
// moves, to whichever side it fits with at most light condensing; items reach at most to
// ARight or the farthest line end. ALines are in page order.
void JoinBrokenWordsAtStops(const std::vector<TkwFormatterTextLine*>& ALines, double ARight);
// The whole text as a decimal integer (optional sign), or nothing.
[[nodiscard]] std::optional<long long> ToInteger(std::u16string_view AText);
[[nodiscard]] bool ContainsNoCase(std::u16string_view AText, std::u16string_view ANeedle);
[[nodiscard]] std::u16string FirstWord(const TkwFormatterTextLine& ALine);
// Largest measured text height of the line's runs, in points.
[[nodiscard]] double MaxTextHeight(const TkwFormatterTextLine& ALine);

// Lines and layout tests shared between the units.

// Lines whose boxes overlap vertically within this many points (baseline jitter and
// mixed sizes on one line) stand side by side.
inline constexpr double kSideBySideTolerance = 2;
[[nodiscard]] bool SideBySide(const TkwFormatterTextLine* A, const TkwFormatterTextLine* B,
                              double ATolerance);
[[nodiscard]] int Classify(const TkwFormatterTextLine& A, const TkwFormatterTextLine& B);
[[nodiscard]] bool IsListLabelLine(const TkwFormatterTextLine& ALine);
[[nodiscard]] bool IsBoldNumberLine(const TkwFormatterTextLine& ALine, const TFont& AFont);
void RemoveDuplicates(TkwFormatterTextLine& ALine);
void SpliceFragment(TkwFormatterTextLine& ATarget, TkwFormatterTextLine& AFragment);

// The end-of-page line pass: fills APage.ResultLines from the sorted APage.Lines.
// AAsTabLines: every row of side-by-side lines becomes one tabbed line, whatever the mode
// (inside a column of running text, where the rows cannot become columns of their own).
void MergeLines(TkwFormatterPage& APage, bool AAsTabLines = false);
// One tabbed line from side-by-side lines (marked Absorbed); nullptr when nothing visible.
TkwFormatterTextLine* MergeToTabLine(TkwFormatterPage& APage,
                                     const std::vector<TkwFormatterTextLine*>& ALines);
// Slot index or -1; ABeyond tells that the box lies right of every slot.
[[nodiscard]] int ColumnSlot(const TkwFormatterRect& ABox, const std::vector<TkwFormatterRect>& ASlots,
                             bool& ABeyond);
int InsertSlot(std::vector<TkwFormatterRect>& ASlots, const TkwFormatterRect& ABox);
int RowSlot(std::vector<TkwFormatterRect>& ARows, const TkwFormatterRect& ABox);
[[nodiscard]] bool IsTableLike(const TkwFormatterHSection& ASection);

// Blank paragraphs of 10 points each and one for the remainder; they join AOwner's
// document and formatter.
void AddFiller(std::vector<std::unique_ptr<TkwFormatterParagraph>>& AList, const TkwFormatterElement& AOwner,
               double AHeight);
// Renders fillers for AHeight when they come to at least two paragraphs.
void RenderFillers(TkwDocumentWriter& AWriter, const TkwFormatterElement& AOwner, double AHeight);
// Renders a blank band of AHeight as one blank line.
void RenderGap(TkwDocumentWriter& AWriter, const TkwFormatterElement& AOwner, double AHeight);
// One blank paragraph of exactly AHeight points.
std::unique_ptr<TkwFormatterParagraph> MakeSpacer(const TkwFormatterElement& AOwner, double AHeight);

struct TFitResult {
  double Size = 0;
  bool Changed = false;
};
// Fitted sizes are kept by the run's formatter for the page.
[[nodiscard]] TFitResult FitFontSize(const TkwFormatterText& ARun);
// FitFontSize and, when the size changed, OnFontSubstituting (sender: ASender); the size
// to give the runs, or nothing when it stays.
[[nodiscard]] std::optional<double> FitAndNotify(TkwFormatterElement& ASender, const TkwFormatterText& ARun);
// 0 none, 1 bullet, 2 numbered. AClose receives what closes a numbered label ('.', ')',
// or 0 when nothing does).
[[nodiscard]] std::uint8_t ListKindOf(std::u16string_view AFirstWord, const TFont& AFont, char16_t& AClose);
// A table of contents' line split into its title and the word after its dot leader (the
// page number); nothing when the text ends in no leader and word.
[[nodiscard]] std::optional<std::pair<std::u16string, std::u16string>> SplitLeader(std::u16string_view AText);
[[nodiscard]] bool ContinuesPrevious(const TkwFormatterTextLine& APrevious, const TkwFormatterTextLine& ALine,
                                     const TkwFormatterTextLine* ABeforePrevious, double AColumnRight);

// Page settings of AAt's formatter (margins tracked for the page), or nullptr.
[[nodiscard]] TkwPageSettings* CurrentPageSettings(const TkwFormatterElement& AAt);
[[nodiscard]] double LeftMargin(const TkwFormatterElement& AAt);
[[nodiscard]] double TopMargin(const TkwFormatterElement& AAt);
[[nodiscard]] double PageWidth(const TkwFormatterElement& AAt);

// Raises OnElementDetected through AElement's formatter; acRetain when no handler is set.
[[nodiscard]] TkwAction RaiseElementDetected(TkwObject& ASender, TkwFormatterElement& AElement);

}  // namespace qm::fmt
