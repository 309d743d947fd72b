#include "formatter/kwFormatterUtil.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "base/Numbers.h"
#include "formatter/kwFormatter.h"

namespace qm::fmt {

void SetFontSize(TFont& AFont, double ASize) { AFont.Size = RoundEven(ASize); }

TFont MakeFont(std::string_view AName, double ASize) {
  TFont font;
  font.Name = std::string(AName);
  font.Size = RoundEven(ASize);
  return font;
}

std::string FaceKey(const TFont& AFont) {
  std::string key = AFont.Name;
  key += '\x1f';
  key += IntToStr(AFont.Size);
  key += '\x1f';
  key += static_cast<char>('0' + (AFont.Style & (fsBold | fsItalic)));
  return key;
}

TkwFontWidthCache& Widths(const TkwFormatterElement& AAt) {
  if (AAt.Formatter == nullptr) {
    throw std::logic_error("a formatter element measured outside its formatter");
  }
  return AAt.Formatter->GetWidthCache();
}

TkwFormattingMode Mode(const TkwFormatterElement& AAt) {
  return AAt.Formatter != nullptr ? AAt.Formatter->GetFormattingMode() : AAt.FormattingMode;
}


char16_t ComposeAccent(char16_t ABase, char16_t AAccent) {
  // Each accent with the letters it sits on and what they make, lower case then upper.
  struct TAccentRow {
    char16_t Accent;
    std::u16string_view Bases, Composed;
  };
  static constexpr TAccentRow kRows[] = {
      {0x00A8, u"aeiouyAEIOUY", u"\u00E4\u00EB\u00EF\u00F6\u00FC\u00FF\u00C4\u00CB\u00CF\u00D6\u00DC\u0178"},
      {0x00B4, u"aeiouycnszAEIOUYCNSZ",
       u"\u00E1\u00E9\u00ED\u00F3\u00FA\u00FD\u0107\u0144\u015B\u017A\u00C1\u00C9\u00CD\u00D3\u00DA\u00DD\u0106\u0143\u015A\u0179"},
      {0x0060, u"aeiouAEIOU", u"\u00E0\u00E8\u00EC\u00F2\u00F9\u00C0\u00C8\u00CC\u00D2\u00D9"},
      {0x02C6, u"aeiouAEIOU", u"\u00E2\u00EA\u00EE\u00F4\u00FB\u00C2\u00CA\u00CE\u00D4\u00DB"},
      {0x02DC, u"anoANO", u"\u00E3\u00F1\u00F5\u00C3\u00D1\u00D5"},
      {0x02DA, u"auAU", u"\u00E5\u016F\u00C5\u016E"},
      {0x00B8, u"cstCST", u"\u00E7\u015F\u0163\u00C7\u015E\u0162"},
      {0x02C7, u"cdenrstzCDENRSTZ",
       u"\u010D\u010F\u011B\u0148\u0159\u0161\u0165\u017E\u010C\u010E\u011A\u0147\u0158\u0160\u0164\u017D"},
      {0x00AF, u"aeiouAEIOU", u"\u0101\u0113\u012B\u014D\u016B\u0100\u0112\u012A\u014C\u016A"},
      {0x02D8, u"agAG", u"\u0103\u011F\u0102\u011E"},
      {0x02D9, u"cezCEZI", u"\u010B\u0117\u017C\u010A\u0116\u017B\u0130"},
      {0x02DB, u"aeiuAEIU", u"\u0105\u0119\u012F\u0173\u0104\u0118\u012E\u0172"},
      {0x02DD, u"ouOU", u"\u0151\u0171\u0150\u0170"},
  };
  // TeX puts accents on a dotless i.
  const char16_t base = ABase == 0x0131 ? u'i' : ABase;
  for (const TAccentRow& row : kRows) {
    if (row.Accent != AAccent) continue;
    const std::size_t at = row.Bases.find(base);
    return at == std::u16string_view::npos ? char16_t{0} : row.Composed[at];
  }
  return 0;
}

bool IsBulletChar(char16_t C) {
  if (C < 0x80) return C == u'-' || C == u'*' || C == u'+' || C == u'>' || C == u'~';
  if (C < 0x100) {
    // A symbol font's raw bullet and dashes, the middle dot and the guillemet.
    return C == 0x95 || C == 0x96 || C == 0x97 || C == 0xB7 || C == 0xBB;
  }
  return (C >= 0x2010 && C <= 0x2015) || (C >= 0x2020 && C <= 0x2027) || C == 0x2043 || C == 0x204C ||
         C == 0x204D || (C >= 0x2190 && C <= 0x2BFF) || (C >= 0xE000 && C <= 0xF8FF);
}

bool IsCommonBullet(char16_t C, const TFont& AFont) {
  // Symbol and Wingdings codes, as the private-use area or the font's own byte carries
  // them: Symbol's bullet (B7); Wingdings' small square (A7), lozenge (76), arrowheads
  // (D8, E0), tick (FC), round and square bullets (6C, 6E, 71, A1, A8).
  constexpr std::u16string_view kSymbolCodes = u"\u00B7\u00A7\u0076\u00D8\u00E0\u00FC\u006C\u006E\u0071\u00A1\u00A8";
  if (C >= 0xF000 && C <= 0xF0FF) {
    return kSymbolCodes.find(static_cast<char16_t>(C - 0xF000)) != std::u16string_view::npos;
  }
  if (FontIsSymbolCharset(AFont) && kSymbolCodes.find(C) != std::u16string_view::npos) return true;
  constexpr std::u16string_view kBullets =
      u"\u2022\u25E6\u25AA\u25AB\u25A0\u25A1\u25CF\u25CB\u25C6\u25C7\u25BA\u25B8\u25B6\u2023\u2043\u2013\u2014"
      u"\u2219\u00B7\u0095\u0096\u0097-*\u2713\u2714\u27A2\u27A4\u2756";
  return kBullets.find(C) != std::u16string_view::npos;
}

std::size_t WordBreakHyphen(std::u16string_view ALineEnd, char16_t ANext) {
  // Letters of the alphabetic scripts (Latin, Greek, Cyrillic and the like).
  const auto letter = [](char16_t C) { return IsAsciiLetter(C) || (C >= 0xC0 && C < 0x2000 && C != 0xD7 && C != 0xF7); };
  std::size_t end = ALineEnd.size();
  while (end > 0 && ALineEnd[end - 1] == u' ') --end;
  if (end < 2 || !letter(ANext)) return std::u16string_view::npos;
  const char16_t hyphen = ALineEnd[end - 1];
  return IsBreakHyphen(hyphen) && letter(ALineEnd[end - 2]) ? end - 1 : std::u16string_view::npos;
}

std::optional<long long> ToInteger(std::u16string_view AText) {
  // Integers are read as the platform's string-to-integer conversion reads them: the
  // whole text, optional sign, blanks around it allowed.
  AText = Trim(AText);
  if (AText.empty() || AText.size() > 18) {
    return std::nullopt;
  }
  std::string ascii;
  for (char16_t c : AText) {
    if (c > 0x7f) {
      return std::nullopt;
    }
    ascii += static_cast<char>(c);
  }
  const char* first = ascii.data();
  const char* last = first + ascii.size();
  if (*first == '+') {
    ++first;
  }
  long long value = 0;
  auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end != last) {
    return std::nullopt;
  }
  return value;
}

namespace {
char16_t Lower(char16_t C) { return (C >= u'A' && C <= u'Z') ? static_cast<char16_t>(C + 32) : C; }

// The first place from AFrom to ALast (both included) holding AChar, or npos. Four units
// are looked at a time: a unit of the word equal to AChar is a zero unit after the xor,
// which the borrow test finds (it may mark units beyond a zero one, never a word without).
std::size_t FindUnit(std::u16string_view AText, std::size_t AFrom, std::size_t ALast, char16_t AChar) {
  constexpr std::uint64_t kOnes = 0x0001000100010001ULL;
  constexpr std::uint64_t kHighs = 0x8000800080008000ULL;
  const std::uint64_t pattern = kOnes * AChar;
  std::size_t i = AFrom;
  for (; i + 3 <= ALast; i += 4) {
    std::uint64_t word;
    std::memcpy(&word, AText.data() + i, sizeof word);
    const std::uint64_t x = word ^ pattern;
    if (((x - kOnes) & ~x & kHighs) != 0) break;
  }
  for (; i <= ALast; ++i) {
    if (AText[i] == AChar) return i;
  }
  return std::u16string_view::npos;
}
}  // namespace

bool ContainsNoCase(std::u16string_view AText, std::u16string_view ANeedle) {
  if (ANeedle.empty()) {
    return true;
  }
  if (ANeedle.size() > AText.size()) {
    return false;
  }
  // A needle without letters (dot leaders, rules) matches only itself. It is looked for
  // by its first character that is not a space: leaders and rules are rare in running
  // text, spaces are not, and every line of a page is asked.
  if (std::none_of(ANeedle.begin(), ANeedle.end(), IsAsciiLetter)) {
    std::size_t key = 0;
    while (key + 1 < ANeedle.size() && ANeedle[key] == u' ') ++key;
    const char16_t k = ANeedle[key];
    const std::size_t last = AText.size() - ANeedle.size() + key;
    for (std::size_t i = FindUnit(AText, key, last, k); i != std::u16string_view::npos;
         i = i < last ? FindUnit(AText, i + 1, last, k) : std::u16string_view::npos) {
      if (AText.substr(i - key, ANeedle.size()) == ANeedle) return true;
    }
    return false;
  }
  for (std::size_t i = 0; i + ANeedle.size() <= AText.size(); ++i) {
    std::size_t k = 0;
    while (k < ANeedle.size() && Lower(AText[i + k]) == Lower(ANeedle[k])) {
      ++k;
    }
    if (k == ANeedle.size()) {
      return true;
    }
  }
  return false;
}

std::u16string FirstWord(const TkwFormatterTextLine& ALine) {
  const auto* run = ALine.Run(0);
  if (run == nullptr) {
    return {};
  }
  const auto space = run->Text.find(u' ');
  return space == std::u16string::npos ? run->Text : run->Text.substr(0, space);
}

double MaxTextHeight(const TkwFormatterTextLine& ALine) {
  double height = 0;
  for (const auto& run : ALine.Runs) {
    height = std::max(height, TextHeight(ALine, run->Font, run->Text));
  }
  return height;
}

TkwPageSettings* CurrentPageSettings(const TkwFormatterElement& AAt) {
  return AAt.Formatter != nullptr ? &AAt.Formatter->GetPageSettings() : nullptr;
}

double LeftMargin(const TkwFormatterElement& AAt) {
  auto* settings = CurrentPageSettings(AAt);
  return settings != nullptr ? settings->GetLeftMargin() : 0.0;
}

double TopMargin(const TkwFormatterElement& AAt) {
  auto* settings = CurrentPageSettings(AAt);
  return settings != nullptr ? settings->GetTopMargin() : 0.0;
}

double PageWidth(const TkwFormatterElement& AAt) {
  auto* settings = CurrentPageSettings(AAt);
  return settings != nullptr ? settings->GetWidth() : 0.0;
}

TkwAction RaiseElementDetected(TkwObject& ASender, TkwFormatterElement& AElement) {
  TkwAction action = TkwAction::acRetain;
  auto* formatter = AElement.Formatter;
  if (formatter != nullptr && formatter->OnElementDetected) {
    formatter->OnElementDetected(ASender, AElement, action);
  }
  return action;
}

}  // namespace qm::fmt
