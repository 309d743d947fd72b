#include "formatter/kwFormatterUtil.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

#include "base/Numbers.h"
#include "formatter/kwFormatter.h"

namespace qm::fmt {

std::string_view FontName(const TFont& AFont) { return AFont.Name; }
double FontSize(const TFont& AFont) { return AFont.Size; }
void SetFontSize(TFont& AFont, double ASize) { AFont.Size = RoundEven(ASize); }
bool FontBold(const TFont& AFont) { return (AFont.Style & fsBold) != 0; }
bool FontItalic(const TFont& AFont) { return (AFont.Style & fsItalic) != 0; }
bool FontOnlyBold(const TFont& AFont) { return AFont.Style == fsBold; }
bool FontIsSymbolCharset(const TFont& AFont) { return AFont.Charset == kSymbolCharset; }

TFont MakeFont(std::string_view AName, double ASize) {
  TFont font;
  font.Name = std::string(AName);
  font.Size = RoundEven(ASize);
  return font;
}

bool SameFont(const TFont& A, const TFont& B) {
  return A.Size == B.Size && A.Style == B.Style && A.Color == B.Color && A.Name == B.Name;
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

bool IsBlank(char16_t C) { return C <= u' '; }

std::u16string_view Trim(std::u16string_view AText) {
  std::size_t first = 0;
  std::size_t last = AText.size();
  while (first < last && IsBlank(AText[first])) {
    ++first;
  }
  while (last > first && IsBlank(AText[last - 1])) {
    --last;
  }
  return AText.substr(first, last - first);
}

bool IsAsciiLetter(char16_t C) { return (C >= u'a' && C <= u'z') || (C >= u'A' && C <= u'Z'); }
bool IsDigit(char16_t C) { return C >= u'0' && C <= u'9'; }

bool IsBulletChar(char16_t C) {
  if (C < 0x80) return C == u'-' || C == u'*' || C == u'+' || C == u'>' || C == u'~';
  if (C < 0x100) {
    // A symbol font's raw bullet and dashes, the middle dot and the guillemet.
    return C == 0x95 || C == 0x96 || C == 0x97 || C == 0xB7 || C == 0xBB;
  }
  return (C >= 0x2010 && C <= 0x2015) || (C >= 0x2020 && C <= 0x2027) || C == 0x2043 || C == 0x204C ||
         C == 0x204D || (C >= 0x2190 && C <= 0x2BFF) || (C >= 0xE000 && C <= 0xF8FF);
}

bool IsLowerLetter(char16_t C) {
  if (C >= u'a' && C <= u'z') return true;
  if (C >= 0xDF && C <= 0xFF) return C != 0xF7;
  // Latin Extended-A pairs capital and small letters, the small one odd up to U+0137 and
  // from U+014A, even between.
  if (C >= 0x100 && C <= 0x17F) return ((C >= 0x139 && C <= 0x148) || C >= 0x179) ? C % 2 == 0 : C % 2 == 1;
  return (C >= 0x3AC && C <= 0x3CE) || (C >= 0x430 && C <= 0x45F);
}

std::size_t WordBreakHyphen(std::u16string_view ALineEnd, char16_t ANext) {
  std::size_t end = ALineEnd.size();
  while (end > 0 && ALineEnd[end - 1] == u' ') --end;
  if (end < 2 || !IsLowerLetter(ANext)) return std::u16string_view::npos;
  const char16_t hyphen = ALineEnd[end - 1], before = ALineEnd[end - 2];
  const bool isHyphen = hyphen == u'-' || hyphen == 0x2010 || hyphen == 0xAD;
  const bool afterLetter = IsAsciiLetter(before) || (before >= 0xC0 && before < 0x2000 && before != 0xD7 && before != 0xF7);
  return isHyphen && afterLetter ? end - 1 : std::u16string_view::npos;
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
}  // namespace

bool ContainsNoCase(std::u16string_view AText, std::u16string_view ANeedle) {
  if (ANeedle.empty()) {
    return true;
  }
  if (ANeedle.size() > AText.size()) {
    return false;
  }
  // A needle without letters (dot leaders, rules) matches only itself.
  if (std::none_of(ANeedle.begin(), ANeedle.end(), IsAsciiLetter)) {
    return AText.find(ANeedle) != std::u16string_view::npos;
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
