#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "writer/kwWriterClasses.h"

// The page selection a user types ("1,3, 5-9"): which page numbers a job converts.
namespace qm {

// Raises EConvertError (the settings' conversion error, writer/kwWriterClasses.h) for a
// text that should have been an integer: "'12x' is not a valid integer value".
[[noreturn]] void RaiseInvalidInteger(std::string_view AText);

// The items of a comma text: commas and blanks (any byte up to space) separate items,
// double quotes group (a doubled quote inside stands for one), two commas in a row or a
// trailing comma give an empty item.
[[nodiscard]] std::vector<std::string> SplitCommaText(std::string_view AText);

// A page range parsed once and tested for many pages.
//
// Items are examined in order and the first one that accepts the page decides. An item
// holding anything but digits and '-' is ignored. "N-M" accepts N..M, "N" accepts N. An
// item that is examined and whose numbers are missing or not integers ("", "5-", "-5")
// raises EConvertError, so a malformed range fails when a page reaches it, never silently.
class TkwPageRange {
public:
  TkwPageRange() = default;
  explicit TkwPageRange(std::string_view ARange);

  // True when no range was given (empty or blank): every page is selected.
  [[nodiscard]] bool IsAll() const noexcept { return FAll; }
  // Whether APage (1-based) is selected. Throws EConvertError for a malformed item
  // examined before an item accepts APage.
  [[nodiscard]] bool Accepts(int APage) const;
  // How many of the pages 1..APageCount are selected (same errors as Accepts).
  [[nodiscard]] int CountSelected(int APageCount) const;

private:
  struct TItem {
    bool IsRange = false;
    // Set when the side is not an integer; the text goes into the error message.
    bool FirstBad = false, LastBad = false;
    int First = 0, Last = 0;
    std::string FirstText, LastText;
  };
  bool FAll = true;
  std::vector<TItem> FItems;
};

// What Convert raises when the page range selects no page of the document; the message is
// PageRangeProblem's ("page 99 is beyond the last page (3)").
class EPageRangeError : public EConvertError {
public:
  using EConvertError::EConvertError;
};

// Why ARange cannot be a page selection a user meant, or empty when it can. Strict where
// the test above is lenient: every item must be a page number or a range "N-M" with
// 1 <= N <= M. With APageCount >= 0 it also checks that some page 1..APageCount is
// selected. The texts name the offending item: "'x' is not a page number",
// "'5-2' runs backwards", "page 99 is beyond the last page (3)".
[[nodiscard]] std::string PageRangeProblem(std::string_view ARange, int APageCount = -1);

// One-shot form of the test: is APage selected by ARange? Reparses ARange.
[[nodiscard]] bool IsPageSelected(std::string_view ARange, int APage);

}  // namespace qm
