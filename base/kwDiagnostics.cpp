#include "base/kwDiagnostics.h"

#include <algorithm>
#include <map>
#include <set>

namespace qm {

namespace {

struct TText {
  TkwDiagCode Code;
  const char* One;   // the text for one note
  const char* Many;  // the text for several; "#" stands for the count
};

constexpr TText kTexts[] = {
    {TkwDiagCode::dcXRefRebuilt, "the cross-reference table was damaged and rebuilt",
     "the cross-reference table was damaged and rebuilt # times"},
    {TkwDiagCode::dcStreamTruncated, "a stream was cut short by the end of the file",
     "# streams were cut short by the end of the file"},
    {TkwDiagCode::dcStreamLengthWrong, "a stream had a wrong length", "# streams had a wrong length"},
    {TkwDiagCode::dcBadObject, "an unreadable object was taken as empty", "# unreadable objects were taken as empty"},
    {TkwDiagCode::dcBadXRefEntry, "a cross-reference entry was wrong", "# cross-reference entries were wrong"},
    {TkwDiagCode::dcHeaderOffset, "the file had bytes before its header", "the file had bytes before its header"},
    {TkwDiagCode::dcStartXRefText, "the file's last lines were damaged", "the file's last lines were damaged"},
    {TkwDiagCode::dcFilterError, "a stream had damaged compressed data", "# streams had damaged compressed data"},
    {TkwDiagCode::dcDecodeCapReached, "a stream over the size limit was cut", "# streams over the size limit were cut"},
    {TkwDiagCode::dcLimitReached, "a nesting or count limit cut the content", "nesting or count limits cut the content # times"},
    {TkwDiagCode::dcDecryptError, "a string or stream could not be decrypted", "# strings or streams could not be decrypted"},
    {TkwDiagCode::dcPageTreeLoop, "a loop in the page tree was skipped", "# loops in the page tree were skipped"},
    {TkwDiagCode::dcPageTreeCut, "the page tree was cut at its size limit", "the page tree was cut at its size limit # times"},
    {TkwDiagCode::dcPagesByScan, "the page tree was damaged; pages were taken in file order",
     "the page tree was damaged; pages were taken in file order"},
    {TkwDiagCode::dcCatalogByScan, "the document catalog was found by searching the file",
     "the document catalog was found by searching the file"},
    {TkwDiagCode::dcObjectBeyondSize, "an object outside the cross-reference size was read",
     "# objects outside the cross-reference size were read"},
    {TkwDiagCode::dcPageBudget, "the page was too much work and was stopped; the rest of it is missing",
     "# pages were too much work and were stopped; the rest of them is missing"},
    {TkwDiagCode::dcPageUnreadable, "the page could not be read and is empty", "# pages could not be read and are empty"},
    {TkwDiagCode::dcBadOperator, "a drawing operation failed and was skipped", "# drawing operations failed and were skipped"},
    {TkwDiagCode::dcUnknownOperator, "an unknown operator was skipped", "# unknown operators were skipped"},
    {TkwDiagCode::dcBadOperands, "an operator with wrong operands was skipped", "# operators with wrong operands were skipped"},
    {TkwDiagCode::dcFontMissing, "a missing font was replaced", "# missing fonts were replaced"},
    {TkwDiagCode::dcFontBroken, "a damaged font was replaced", "# damaged fonts were replaced"},
    {TkwDiagCode::dcImageBroken, "a damaged image was left out", "# damaged images were left out"},
    {TkwDiagCode::dcCMapMissing, "a character map was not found", "# character maps were not found"},
    {TkwDiagCode::dcFormLoop, "a form drawn inside itself was skipped", "# forms drawn inside themselves were skipped"},
    {TkwDiagCode::dcTooManyErrors, "the rest of the page was dropped after too many errors",
     "the rest of the page was dropped after too many errors # times"},
    {TkwDiagCode::dcColorSpaceBroken, "a damaged colour space was replaced", "# damaged colour spaces were replaced"},
    {TkwDiagCode::dcFunctionBroken, "a damaged colour function was ignored", "# damaged colour functions were ignored"},
    {TkwDiagCode::dcFontNotInstalled, "a font that is not installed was shown in a font of its kind",
     "# fonts that are not installed were shown in a font of their kind"},
    {TkwDiagCode::dcDrawingCapped, "a page drew more shapes than are kept; the rest were left out",
     "# pages drew more shapes than are kept; the rest were left out"},
    {TkwDiagCode::dcGlyphUnmapped, "a character without a known meaning was left out",
     "# characters without a known meaning were left out"},
    {TkwDiagCode::dcImageTooLarge, "an image over the size limit was left out", "# images over the size limit were left out"},
    {TkwDiagCode::dcFontSubstituted, "a font was replaced by a smaller one to fit its text",
     "# fonts were replaced by smaller ones to fit their text"},
    {TkwDiagCode::dcPictureDropped, "a picture could not be written", "# pictures could not be written"},
    {TkwDiagCode::dcWriterFallback, "a picture was written in a simpler form", "# pictures were written in a simpler form"},
    {TkwDiagCode::dcDrawingTextLeftOut, "a line of rotated text was left out with the drawing it belongs to",
     "# lines of rotated text were left out with the drawings they belong to"},
};

std::string TextFor(TkwDiagCode ACode, std::int64_t ACount) {
  for (const TText& t : kTexts) {
    if (t.Code != ACode) continue;
    if (ACount == 1) return t.One;
    std::string s = t.Many;
    if (const auto at = s.find('#'); at != std::string::npos) s.replace(at, 1, std::to_string(ACount));
    return s;
  }
  return "problem " + std::to_string(static_cast<int>(ACode)) + " (" + std::to_string(ACount) + ")";
}

// "page 3: ", "pages 2, 5-7: ", at most kMaxDiagnosticPageRuns runs.
std::string PagePrefix(const std::set<int>& APages) {
  std::string s = APages.size() == 1 ? "page " : "pages ";
  std::size_t runs = 0;
  for (auto it = APages.begin(); it != APages.end();) {
    if (runs == kMaxDiagnosticPageRuns) {
      s += ", ...";
      break;
    }
    const int first = *it;
    int last = first;
    for (++it; it != APages.end() && *it == last + 1; ++it) last = *it;
    if (runs++ > 0) s += ", ";
    s += std::to_string(first);
    if (last != first) s += "-" + std::to_string(last);
  }
  return s + ": ";
}

}  // namespace

bool LosesContent(TkwDiagCode ACode) {
  using enum TkwDiagCode;
  switch (ACode) {
    case dcDecodeCapReached:
    case dcLimitReached:
    case dcPageTreeCut:
    case dcTooManyErrors:
    case dcImageBroken:
    case dcImageTooLarge:
    case dcPictureDropped:
    case dcPageBudget:
    case dcPageUnreadable:
    case dcDrawingCapped:
      return true;
    default:
      return false;
  }
}

namespace {

std::vector<std::string> Describe(const TkwDiagnostics& ADiag, bool ALostOnly) {
  struct TKind {
    std::set<int> Pages;
    std::int64_t OnPages = 0;
  };
  std::map<TkwDiagCode, TKind> kinds;
  for (const TkwDiagnostic& d : ADiag.Items()) {
    if (ALostOnly && !LosesContent(d.Code)) continue;
    TKind& k = kinds[d.Code];
    if (d.Page > 0) {
      k.Pages.insert(d.Page);
      ++k.OnPages;
    }
  }
  for (const TText& t : kTexts) {
    if (ADiag.Count(t.Code) > 0 && (!ALostOnly || LosesContent(t.Code))) kinds[t.Code];  // noted only after the kept ones
  }
  std::vector<std::string> lines;
  for (const auto& [code, kind] : kinds) {
    if (lines.size() >= kMaxDiagnosticLines) break;
    // Notes past the kept ones are counted without their pages.
    const std::int64_t elsewhere = std::max<std::int64_t>(ADiag.Count(code) - kind.OnPages, 0);
    if (kind.OnPages > 0) lines.push_back(PagePrefix(kind.Pages) + TextFor(code, kind.OnPages));
    if (elsewhere > 0 && lines.size() < kMaxDiagnosticLines) lines.push_back(TextFor(code, elsewhere));
  }
  return lines;
}

}  // namespace

std::vector<std::string> DescribeDiagnostics(const TkwDiagnostics& ADiag) { return Describe(ADiag, false); }

std::vector<std::string> DescribeLostContent(const TkwDiagnostics& ADiag) { return Describe(ADiag, true); }

}  // namespace qm
