#include "converter/kwPageRange.h"

#include <charconv>

namespace qm {

namespace {

bool IsBlank(char AChar) {
  return static_cast<unsigned char>(AChar) <= ' ';
}

std::string_view TrimBlanks(std::string_view AText) {
  while (!AText.empty() && IsBlank(AText.front())) AText.remove_prefix(1);
  while (!AText.empty() && IsBlank(AText.back())) AText.remove_suffix(1);
  return AText;
}

// A decimal integer with an optional minus sign, as a 32-bit value; nothing else.
bool ParseInteger(std::string_view AText, int& AValue) {
  if (AText.empty()) return false;
  const char* first = AText.data();
  const char* last = first + AText.size();
  auto [end, ec] = std::from_chars(first, last, AValue);
  return ec == std::errc() && end == last;
}

}  // namespace

void RaiseInvalidInteger(std::string_view AText) {
  throw EConvertError("'" + std::string(AText) + "' is not a valid integer value");
}

std::vector<std::string> SplitCommaText(std::string_view AText) {
  std::vector<std::string> items;
  std::size_t i = 0;
  const std::size_t n = AText.size();
  // A NUL ends the text, as it ends the string the user typed.
  const std::size_t nul = AText.find('\0');
  const std::size_t end = nul == std::string_view::npos ? n : nul;
  auto skipBlanks = [&] {
    while (i < end && IsBlank(AText[i])) ++i;
  };
  skipBlanks();
  while (i < end) {
    std::string item;
    if (AText[i] == '"') {
      ++i;
      while (i < end) {
        if (AText[i] == '"') {
          if (i + 1 < end && AText[i + 1] == '"') {
            item += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += AText[i++];
      }
    } else {
      const std::size_t start = i;
      while (i < end && !IsBlank(AText[i]) && AText[i] != ',') ++i;
      item.assign(AText.substr(start, i - start));
    }
    items.push_back(std::move(item));
    skipBlanks();
    if (i < end && AText[i] == ',') {
      if (i + 1 >= end) items.emplace_back();  // a trailing comma stands for one more item
      do {
        ++i;
      } while (i < end && IsBlank(AText[i]));
    }
  }
  return items;
}

TkwPageRange::TkwPageRange(std::string_view ARange) {
  FAll = TrimBlanks(ARange).empty();
  if (FAll) return;
  for (const std::string& text : SplitCommaText(ARange)) {
    if (text.find_first_not_of("0123456789-") != std::string::npos) continue;
    TItem item;
    const std::size_t dash = text.find('-');
    item.IsRange = dash != std::string::npos;
    item.FirstText = item.IsRange ? text.substr(0, dash) : text;
    item.FirstBad = !ParseInteger(item.FirstText, item.First);
    if (item.IsRange) {
      item.LastText = text.substr(dash + 1);
      item.LastBad = !ParseInteger(item.LastText, item.Last);
    }
    FItems.push_back(std::move(item));
  }
}

bool TkwPageRange::Accepts(int APage) const {
  if (FAll) return true;
  for (const TItem& item : FItems) {
    if (item.FirstBad) RaiseInvalidInteger(item.FirstText);
    if (!item.IsRange) {
      if (item.First == APage) return true;
      continue;
    }
    if (item.LastBad) RaiseInvalidInteger(item.LastText);
    if (item.First <= APage && APage <= item.Last) return true;
  }
  return false;
}

int TkwPageRange::CountSelected(int APageCount) const {
  if (FAll) return APageCount > 0 ? APageCount : 0;
  int count = 0;
  for (int page = 1; page <= APageCount; ++page) {
    if (Accepts(page)) ++count;
  }
  return count;
}

std::string PageRangeProblem(std::string_view ARange, int APageCount) {
  if (TrimBlanks(ARange).empty()) return {};
  const auto isNumber = [](std::string_view AText, int& AValue) {
    return !AText.empty() && AText.find_first_not_of("0123456789") == std::string_view::npos &&
           ParseInteger(AText, AValue) && AValue >= 1;
  };
  int firstBeyond = 0;
  bool selects = false;
  for (const std::string& text : SplitCommaText(ARange)) {
    if (text.empty()) return "an item is empty";
    const std::size_t dash = text.find('-');
    int first = 0, last = 0;
    if (dash == std::string::npos) {
      if (!isNumber(text, first)) return "'" + text + "' is not a page number";
      last = first;
    } else {
      const std::string_view a = std::string_view(text).substr(0, dash);
      const std::string_view b = std::string_view(text).substr(dash + 1);
      if (!isNumber(a, first) || !isNumber(b, last)) return "'" + text + "' is not a page number";
      if (last < first) return "'" + text + "' runs backwards";
    }
    if (APageCount >= 0 && first > APageCount) {
      if (firstBeyond == 0) firstBeyond = first;
    } else {
      selects = true;
    }
  }
  if (APageCount >= 0 && !selects) {
    if (APageCount == 0) return "the document has no page";
    return "page " + std::to_string(firstBeyond) + " is beyond the last page (" + std::to_string(APageCount) + ")";
  }
  return {};
}

bool IsPageSelected(std::string_view ARange, int APage) {
  return TkwPageRange(ARange).Accepts(APage);
}

}  // namespace qm
