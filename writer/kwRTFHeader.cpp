#include "writer/kwRTFHeader.h"

#include "base/FontClass.h"
#include "writer/kwDocumentWriter.h"

#include <array>
#include <charconv>
#include <chrono>
#include <ctime>
#include <random>

namespace qm {

namespace {

class TClockRandom final : public TkwRandomProvider {
public:
  TClockRandom()
      : FEngine(static_cast<std::uint32_t>(
            std::chrono::steady_clock::now().time_since_epoch().count() ^
            std::chrono::system_clock::now().time_since_epoch().count())) {}
  int Random(int ARange) override {
    if (ARange <= 0) return 0;
    return static_cast<int>(FEngine() % static_cast<std::uint32_t>(ARange));
  }

private:
  std::mt19937 FEngine;
};

class TFixedRandom final : public TkwRandomProvider {
public:
  explicit TFixedRandom(std::uint32_t ASeed) : FState(ASeed ? ASeed : 1) {}
  int Random(int ARange) override {
    if (ARange <= 0) return 0;
    // xorshift32: the same sequence on every platform
    FState ^= FState << 13;
    FState ^= FState >> 17;
    FState ^= FState << 5;
    return static_cast<int>(FState % static_cast<std::uint32_t>(ARange));
  }

private:
  std::uint32_t FState;
};

// Character set that belongs to the system code page, for non-1252 systems.
int CodePageCharset(int ACodePage) {
  switch (ACodePage) {
    case 1252: return 0;
    case 932: return 128;
    case 949: return 129;
    case 1361: return 130;
    case 936: return 134;
    case 950: return 136;
    case 1253: return 161;
    case 1254: return 162;
    case 1258: return 163;
    case 1255: return 177;
    case 1256: return 178;
    case 1257: return 186;
    case 1251: return 204;
    case 874: return 222;
    case 1250: return 238;
    default: return 0;
  }
}

}  // namespace

std::shared_ptr<TkwRandomProvider> MakeClockRandomProvider() { return std::make_shared<TClockRandom>(); }
std::shared_ptr<TkwRandomProvider> MakeFixedRandomProvider(std::uint32_t ASeed) {
  return std::make_shared<TFixedRandom>(ASeed);
}

void AppendInt(std::string& AOut, std::int64_t AValue) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, AValue);
  AOut.append(buf, res.ptr);
}

namespace {
// A character written as its own byte: Latin-1, neither a control character nor one that
// RTF or this writer gives a meaning (braces, backslash, optional hyphen).
constexpr std::array<bool, 256> kPlainBytes = [] {
  std::array<bool, 256> plain{};
  for (std::size_t c = 0x20; c < plain.size(); ++c) {
    plain[c] = c != 0x7F && c != 0xAD && c != '\\' && c != '{' && c != '}';
  }
  return plain;
}();
constexpr bool IsPlainByte(char16_t C) { return C < kPlainBytes.size() && kPlainBytes[C]; }

void AppendEscapedChar(std::string& AOut, char16_t c) {
  // A control character is no text: a reader takes a raw tab for a jump to the next
  // stop (the line may wrap and the page spill) and drops raw line ends. A font whose
  // codes map to them still drew a glyph there, so it becomes a space.
  if (c < 0x20 || c == 0x7F) {
    AOut.push_back(' ');
  } else if (c == kLineBreak) {
    AOut += "\\line ";
  } else if (c == 0xAD) {
    AOut += "\\-";  // the optional hyphen, shown only where a line breaks the word
  } else if (c < 256) {
    if (c == u'\\' || c == u'{' || c == u'}') AOut.push_back('\\');
    AOut.push_back(static_cast<char>(c));
  } else {
    AOut += "\\u";
    AppendInt(AOut, c <= 32767 ? static_cast<int>(c) : static_cast<int>(c) - 65536);
    AOut.push_back('?');
  }
}
}  // namespace

void AppendEscaped(std::string& AOut, std::u16string_view AText) {
  // Runs of plain characters (nearly all text) are written in one piece.
  std::size_t i = 0;
  while (i < AText.size()) {
    std::size_t to = i;
    while (to < AText.size() && IsPlainByte(AText[to])) ++to;
    if (to > i) {
      const std::size_t at = AOut.size();
      AOut.resize(at + (to - i));
      char* out = AOut.data() + at;
      for (; i < to; ++i) *out++ = static_cast<char>(AText[i]);
    }
    if (i < AText.size()) AppendEscapedChar(AOut, AText[i++]);
  }
}

void AppendEscapedByChar(std::string& AOut, std::u16string_view AText) {
  for (const char16_t c : AText) AppendEscapedChar(AOut, c);
}

std::string EscapeText(std::u16string_view AText) {
  std::string out;
  AppendEscaped(out, AText);
  return out;
}

std::u16string Utf8ToUtf16(std::string_view AText) {
  std::u16string out;
  out.reserve(AText.size());
  for (std::size_t i = 0; i < AText.size();) {
    const auto b = static_cast<unsigned char>(AText[i]);
    std::uint32_t cp = 0xFFFD;
    std::size_t len = 1;
    if (b < 0x80) {
      cp = b;
    } else if ((b & 0xE0) == 0xC0) {
      len = 2;
    } else if ((b & 0xF0) == 0xE0) {
      len = 3;
    } else if ((b & 0xF8) == 0xF0) {
      len = 4;
    }
    if (len > 1) {
      if (i + len > AText.size()) {
        len = 1;
      } else {
        cp = b & (0x7F >> len);
        for (std::size_t k = 1; k < len; ++k) {
          const auto n = static_cast<unsigned char>(AText[i + k]);
          if ((n & 0xC0) != 0x80) { cp = 0xFFFD; len = k; break; }
          cp = (cp << 6) | (n & 0x3F);
        }
      }
    }
    i += len;
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp > 0xFFFF ? 0xFFFD : cp));
    }
  }
  return out;
}

std::string Utf8ToAnsi(std::string_view AText) {
  std::string out;
  for (char16_t c : Utf8ToUtf16(AText)) out.push_back(c < 256 ? static_cast<char>(c) : '?');
  return out;
}

void AppendCharFormat(std::string& AOut, int AFontIndex, int AColorIndex, int ASize,
                      TFontStyles AStyle) {
  AOut += "\\f";
  AppendInt(AOut, AFontIndex);
  AOut += "\\cf";
  AppendInt(AOut, AColorIndex);
  AOut += "\\fs";
  AppendInt(AOut, static_cast<std::int64_t>(ASize) * 2);
  AOut += (AStyle & fsBold) ? " \\b" : "\\b0";
  AOut += (AStyle & fsItalic) ? " \\i" : "\\i0";
  // Switched off explicitly like bold and italic, so that one run's strike-out or
  // underline never carries over into the runs after it.
  AOut += (AStyle & fsStrikeOut) ? " \\strike" : "\\strike0";
  AOut += (AStyle & fsDoubleUnderline)   ? " \\uldb"
          : (AStyle & fsDottedUnderline) ? " \\uld"
          : (AStyle & fsUnderline)       ? " \\ul"
                                         : "\\ulnone";
}

// ---------------------------------------------------------------------------------------

void TkwRTFList::Write(std::string& AOut) const {
  AOut += "{\\list\\listtemplateid";
  AppendInt(AOut, ListId);
  AOut += "\\listhybrid";
  const char* jc = Alignment == 1 ? "2" : Alignment == 2 ? "1" : "0";
  for (int level = 0; level < kLevelsPerList; ++level) {
    AOut += "{\\listlevel\\levelnfc";
    AppendInt(AOut, NumberFormat);
    AOut += "\\levelnfcn";
    AppendInt(AOut, NumberFormat);
    AOut += "\\leveljc";
    AOut += jc;
    AOut += "\\leveljcn";
    AOut += jc;
    AOut += "\\levelfollow";
    AppendInt(AOut, Follow);
    AOut += "\\levelstartat";
    AppendInt(AOut, StartAt);
    AOut += "{\\leveltext\\leveltemplateid";
    AppendInt(AOut, static_cast<std::int64_t>(ListId) * kLevelsPerList + level + 1);
    if (NumberFormat == 23) {
      AOut += "\\'01";
      AppendEscaped(AOut, std::u16string_view(&BulletChar, 1));
      AOut += ";}{\\levelnumbers;}";
      AOut += "\\f";
      AppendInt(AOut, BulletFontIndex);
    } else {
      // The length byte counts the number placeholder and the closing character.
      AOut += LabelClose != 0 ? "\\'02\\'0" : "\\'01\\'0";
      AppendInt(AOut, level);
      if (LabelClose != 0) AppendEscaped(AOut, std::u16string_view(&LabelClose, 1));
      AOut += ";}{\\levelnumbers\\'01;}";
    }
    AOut += "\\rtlch\\fcs1 \\af0 \\ltrch\\fcs0 \\fbias0\\hres0\\chhres0 \\fi-360\\li720\\lin720}";
    AOut += kCRLF;
  }
  AOut += "{\\listname ;}\\listid";
  AppendInt(AOut, ListId);
  AOut += "}";
  AOut += kCRLF;
}

void TkwRTFList::WriteOverride(std::string& AOut) const {
  AOut += "{\\listoverride\\listid";
  AppendInt(AOut, ListId);
  AOut += "\\listoverridecount0\\";
  AOut += ListName;
  AOut += "}";
}

// ---------------------------------------------------------------------------------------

TkwRTFHeader::TkwRTFHeader(TkwStyleManager& AStyles, std::shared_ptr<TkwRandomProvider> ARandom)
    : FStyles(&AStyles), FRandom(std::move(ARandom)) {
  if (!FRandom) FRandom = MakeClockRandomProvider();
}

int TkwRTFHeader::FontIndex(std::string_view AName, std::uint8_t ACharset) {
  const std::string name = Utf8ToAnsi(AName);
  if (FLastFont >= 0) {
    const TFontEntry& last = FFonts[static_cast<std::size_t>(FLastFont)];
    if (last.Charset == ACharset && last.Name == name) return FLastFont;
  }
  for (std::size_t i = 0; i < FFonts.size(); ++i) {
    if (FFonts[i].Charset == ACharset && FFonts[i].Name == name) {
      FLastFont = static_cast<int>(i);
      return FLastFont;
    }
  }
  FFonts.push_back({name, ACharset});
  FLastFont = static_cast<int>(FFonts.size()) - 1;
  return FLastFont;
}

int TkwRTFHeader::FontIndex(const TFont& AFont) { return FontIndex(AFont.Name, AFont.Charset); }

int TkwRTFHeader::ColorIndex(TColor AColor) {
  for (std::size_t i = 0; i < FColors.size(); ++i) {
    if (FColors[i] == AColor) return static_cast<int>(i) + 1;
  }
  FColors.push_back(AColor);
  return static_cast<int>(FColors.size());
}

int TkwRTFHeader::AddStyle(const TFont& AFont, TColor AColor, std::string_view AName) {
  const int index = FStyles->AddStyle(AFont, AColor, AName, 4);
  FontIndex(AFont);
  ColorIndex(AColor);
  return index;
}

int TkwRTFHeader::AddBulletList(const TFont& AFont, char16_t ALevelChar, std::uint8_t ANumberFormat,
                                std::uint8_t AAlignment, std::uint8_t AFollow, int AStartAt) {
  auto list = std::make_unique<TkwRTFList>();
  list->ListName = "ls" + std::to_string(FLists.size() + 1);
  list->BulletChar = ALevelChar;
  list->BulletFontIndex = FontIndex(AFont);
  list->NumberFormat = ANumberFormat;
  list->Alignment = AAlignment;
  list->Follow = AFollow;
  list->StartAt = AStartAt;
  list->ListId = GetListCount() + 1;
  FLists.push_back(std::move(list));
  return GetListCount() - 1;
}

int TkwRTFHeader::AddNumberList(std::uint8_t ANumberFormat, int AStartAt, std::uint8_t AAlignment,
                                std::uint8_t AFollow, char16_t ALabelClose) {
  auto list = std::make_unique<TkwRTFList>();
  list->ListName = "ls" + std::to_string(FLists.size() + 1);
  list->NumberFormat = ANumberFormat;
  list->LabelClose = ALabelClose;
  list->StartAt = AStartAt;
  list->Alignment = AAlignment;
  list->Follow = AFollow;
  list->ListId = GetListCount() + 1;
  FLists.push_back(std::move(list));
  return GetListCount() - 1;
}

namespace {

std::string_view FamilyWord(TkwFontClass AClass) {
  switch (AClass) {
    using enum TkwFontClass;
    case fcSerif: return "\\froman";
    case fcSans: return "\\fswiss";
    case fcMono: return "\\fmodern";
    case fcScript: return "\\fscript";
    case fcSymbol: return "\\ftech";
    default: return "\\fnil";
  }
}

}  // namespace

void TkwRTFHeader::Write(std::string& AOut) {
  AOut += "{\\rtf1\\ansi\\ansicpg";
  AppendInt(AOut, kAnsiCodePage);
  AOut += "\\deff0\\deftab0";
  AOut += kCRLF;
  AOut += kCRLF;

  AOut += "{\\fonttbl";
  for (std::size_t i = 0; i < FFonts.size(); ++i) {
    AOut += "{\\f";
    AppendInt(AOut, static_cast<std::int64_t>(i));
    // The family class lets a reader without the font pick one of the same kind.
    AOut += FamilyWord(FontClassOfName(FFonts[i].Name));
    if (kAnsiCodePage == 1252) {
      AOut += "\\fcharset";
      AppendInt(AOut, FFonts[i].Charset == kDefaultCharset ? kAnsiCharset : FFonts[i].Charset);
    } else {
      AOut += "\\fcharset";
      AppendInt(AOut, CodePageCharset(kAnsiCodePage));
    }
    AOut += " ";
    AOut += FFonts[i].Name;
    AOut += ";}";
  }
  AOut += "}";
  AOut += kCRLF;
  AOut += kCRLF;

  AOut += "{\\colortbl;";
  for (const TColor c : FColors) {
    const std::uint32_t rgb = ColorToRGB(c);
    AOut += "\\red";
    AppendInt(AOut, GetRValue(rgb));
    AOut += "\\green";
    AppendInt(AOut, GetGValue(rgb));
    AOut += "\\blue";
    AppendInt(AOut, GetBValue(rgb));
    AOut += ";";
  }
  AOut += "}";
  AOut += kCRLF;

  const bool hasStyles = FStyles->GetCount() > 0;
  if (hasStyles) {
    AOut += kCRLF;
    AOut += "{\\stylesheet";
    for (int i = 0; i < FStyles->GetCount(); ++i) {
      const TkwStyle& style = FStyles->StyleAt(i);
      AOut += "{\\";
      AOut += style.Name;
      AOut += " \\ql \\li0\\ri0\\sa200\\sl276\\slmult1"
              "\\wrapdefault\\aspalpha\\aspnum\\faauto\\adjustright\\rin0\\lin0\\itap0"
              " \\rtlch\\alang1025 \\ltrch\\fcs0 ";
      AppendCharFormat(AOut, FontIndex(style.Font), ColorIndex(style.Color), style.Font.Size,
                       style.Font.Style);
      AOut += "\\lang1033\\langfe1033\\cgrid\\langnp1033\\langfenp1033"
              "\\sbasedon222 \\sqformat \\spriority0 \\styrsid";
      FRandom->Randomize();
      AppendInt(AOut, FRandom->Random(10000));
      AOut += " ";
      AOut += Utf8ToAnsi(style.StyleName);
      AOut += ";}";
    }
    AOut += "}";
  }
  // One list table, after the style sheet when there is one; the overrides that the
  // paragraphs' \\ls numbers name follow it as a group of their own.
  if (hasStyles || !FLists.empty()) {
    if (!hasStyles) AOut += kCRLF;
    AOut += "{\\*\\listtable";
    for (const auto& list : FLists) list->Write(AOut);
    AOut += "}";
    if (!FLists.empty()) {
      AOut += kCRLF;
      AOut += "{\\*\\listoverridetable";
      for (const auto& list : FLists) list->WriteOverride(AOut);
      AOut += "}";
    }
    AOut += kCRLF;
  }
  WriteInfo(AOut);
}

void TkwRTFHeader::WriteInfo(std::string& AOut) const {
  if (!FCreationTime) return;
  const std::time_t t = static_cast<std::time_t>(*FCreationTime);
  std::tm utc{};
  if (gmtime_r(&t, &utc) == nullptr) return;
  AOut += "{\\info{\\creatim\\yr";
  AppendInt(AOut, utc.tm_year + 1900);
  AOut += "\\mo";
  AppendInt(AOut, utc.tm_mon + 1);
  AOut += "\\dy";
  AppendInt(AOut, utc.tm_mday);
  AOut += "\\hr";
  AppendInt(AOut, utc.tm_hour);
  AOut += "\\min";
  AppendInt(AOut, utc.tm_min);
  AOut += "}}";
  AOut += kCRLF;
}

}  // namespace qm
