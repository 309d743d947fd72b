#include "pdf/fonts/kwPDCMapParser.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <queue>

#include "base/Limits.h"

namespace qm {
namespace {

bool IsWhite(unsigned char c) { return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }
bool IsDelim(unsigned char c) {
  return c == '%' || c == '(' || c == ')' || c == '/' || c == '<' || c == '>' || c == '[' || c == ']' ||
         c == '{' || c == '}';
}
bool IsRegular(unsigned char c) { return !IsWhite(c) && !IsDelim(c); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsHexToken(std::string_view t) { return t.size() >= 2 && t.front() == '<' && t[1] != '<'; }

struct TkwHex {
  std::int64_t Value = 0;
  int Digits = 0;  // digits in the token, all of them
};

// The value of the first AMaxDigits hex digits of a "<…>" token.
std::optional<TkwHex> ParseHex(std::string_view t, int AMaxDigits) {
  if (!IsHexToken(t)) return std::nullopt;
  TkwHex h;
  int used = 0;
  for (char c : t.substr(1)) {
    if (c == '>') break;
    const int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    ++h.Digits;
    if (used < AMaxDigits) {
      h.Value = h.Value * 16 + d;
      ++used;
    }
  }
  if (h.Digits == 0) return std::nullopt;
  return h;
}

// All the UTF-16 units of a "<…>" destination token; empty unless it holds two or more
// (a trailing partial unit is dropped).
std::u16string ParseUnits(std::string_view t) {
  std::u16string out;
  if (!IsHexToken(t)) return out;
  unsigned value = 0;
  int digits = 0;
  for (char c : t.substr(1)) {
    if (c == '>') break;
    const int d = HexDigit(c);
    if (d < 0) return {};
    value = value * 16 + static_cast<unsigned>(d);
    if (++digits == 4) {
      out.push_back(static_cast<char16_t>(value));
      value = 0;
      digits = 0;
    }
  }
  if (out.size() < 2) out.clear();
  return out;
}

std::optional<std::int64_t> ParseDecimal(std::string_view t) {
  std::int64_t v = 0;
  auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec != std::errc() || p != t.data() + t.size()) return std::nullopt;
  return v;
}

// A hex token (at most AMaxDigits digits taken) or a decimal integer.
std::optional<std::int64_t> ParseValue(std::string_view t, int AMaxDigits, int* ABytes = nullptr) {
  if (auto h = ParseHex(t, AMaxDigits)) {
    if (ABytes) *ABytes = (h->Digits + 1) / 2;
    return h->Value;
  }
  return ParseDecimal(t);
}

std::string StripParens(std::string_view t) {
  if (!t.empty() && t.front() == '(') t.remove_prefix(1);
  if (!t.empty() && t.back() == ')') t.remove_suffix(1);
  return std::string(t);
}

}  // namespace

bool TkwPSTokenizer::GetNextToken(std::string& AToken) {
  AToken.clear();
  const std::size_t n = FData.size();
  auto push = [&](char c) {
    if (AToken.size() < kMaxCMapTokenBytes) AToken.push_back(c);
  };
  for (;;) {
    while (FPos < n && IsWhite(static_cast<unsigned char>(FData[FPos]))) ++FPos;
    if (FPos >= n) return false;
    if (FData[FPos] != '%') break;
    while (FPos < n && FData[FPos] != '\r' && FData[FPos] != '\n') ++FPos;
  }
  const char c = FData[FPos++];
  if (c == '(') {
    push(c);
    bool escaped = false;
    while (FPos < n) {
      const char d = FData[FPos++];
      push(d);
      if (d == ')' && !escaped) break;
      escaped = (d == '\\') && !escaped;
    }
    return true;
  }
  if (c == '[' || c == ']') {
    push(c);
    return true;
  }
  if (c == '<' && FPos < n && FData[FPos] == '<') {
    ++FPos;
    AToken = "<<";
    return true;
  }
  if (c == '>' && FPos < n && FData[FPos] == '>') {
    ++FPos;
    AToken = ">>";
    return true;
  }
  if (c == '<') {
    push(c);
    while (FPos < n) {
      const char d = FData[FPos++];
      if (IsWhite(static_cast<unsigned char>(d))) continue;
      push(d);
      if (d == '>') break;
    }
    return true;
  }
  push(c);
  while (FPos < n && IsRegular(static_cast<unsigned char>(FData[FPos]))) push(FData[FPos++]);
  return true;
}

TkwPDCMapParser::TkwPDCMapParser(std::string_view AData, const TkwCMapLoader& ALoader) {
  std::set<std::string> visited;
  Parse(AData, ALoader, visited, 0);
  BuildIndex();
}

TkwPDCMapParser::TkwPDCMapParser(std::string_view AData, const TkwCMapLoader& ALoader,
                                 std::set<std::string>& AVisited, int ADepth) {
  Parse(AData, ALoader, AVisited, ADepth);
}

bool TkwPDCMapParser::Full() const {
  return FCIDList.size() + FCodeList.size() + FCodeSpace.size() >= static_cast<std::size_t>(kMaxCMapRanges);
}

void TkwPDCMapParser::NoteSource(int ABytes) { FSourceBytes = std::max(FSourceBytes, std::min(ABytes, 4)); }

void TkwPDCMapParser::Parse(std::string_view AData, const TkwCMapLoader& ALoader,
                            std::set<std::string>& AVisited, int ADepth) {
  TkwPSTokenizer tok(AData);
  std::string t, a;
  std::string lastName;
  while (tok.GetNextToken(t)) {
    if (t == "endcmap") break;
    if (t == "/Registry" || t == "/Ordering" || t == "/Supplement") {
      if (!tok.GetNextToken(a)) break;
      if (t == "/Registry") FRegistry = StripParens(a);
      else if (t == "/Ordering") FOrdering = StripParens(a);
      else FSupplement = a;
    } else if (t == "/WMode") {
      if (!tok.GetNextToken(a)) break;
      if (auto v = ParseDecimal(a)) FWMode = static_cast<int>(std::clamp<std::int64_t>(*v, 0, 1));
    } else if (t == "usecmap") {
      UseCMap(lastName, ALoader, AVisited, ADepth);
    } else if (t == "begincodespacerange") {
      ParseCodeSpaceRanges(tok);
    } else if (t == "begincidrange" || t == "beginbfrange") {
      ParseRanges(tok, t == "beginbfrange");
    } else if (t == "begincidchar" || t == "beginbfchar") {
      ParseChars(tok, t == "beginbfchar");
    }
    if (!t.empty() && t.front() == '/') lastName = t.substr(1);
  }
}

void TkwPDCMapParser::UseCMap(const std::string& AName, const TkwCMapLoader& ALoader,
                              std::set<std::string>& AVisited, int ADepth) {
  // The base CMap's mappings come first, so that this one's override them.
  if (!AName.empty() && ALoader && ADepth + 1 < kMaxCMapDepth && AVisited.insert(AName).second) {
    FUseCMap = AName;
    const std::string bytes = ALoader(AName);
    if (!bytes.empty()) {
      TkwPDCMapParser base(bytes, ALoader, AVisited, ADepth + 1);
      Merge(base);
    }
  }
}

void TkwPDCMapParser::ParseCodeSpaceRanges(TkwPSTokenizer& ATok) {
  std::string a, b;
  while (!Full() && ATok.GetNextToken(a) && a != "endcodespacerange") {
    if (!ATok.GetNextToken(b)) break;
    auto lo = ParseHex(a, 8), hi = ParseHex(b, 8);
    if (!lo || !hi) continue;
    const int bytes = (lo->Digits + 1) / 2;
    if (bytes < 1 || bytes > 4) continue;
    FCodeSpace.push_back({bytes, static_cast<std::uint32_t>(lo->Value), static_cast<std::uint32_t>(hi->Value)});
  }
}

void TkwPDCMapParser::ParseRanges(TkwPSTokenizer& ATok, bool ABf) {
  const std::string_view end = ABf ? "endbfrange" : "endcidrange";
  std::string a, b, c;
  while (!Full() && ATok.GetNextToken(a) && a != end) {
    if (!ATok.GetNextToken(b) || b == end) break;
    if (!ATok.GetNextToken(c) || c == end) break;
    int srcBytes = 0;
    auto lo = ParseValue(a, 8, &srcBytes), hi = ParseValue(b, 8);
    if (c == "[") {
      if (!ParseRangeArray(ATok, ABf, lo, srcBytes)) break;
      continue;
    }
    // A bf destination is UTF-16 text; codes are 16-bit, so its first unit is the value.
    // A text of several units keeps its first units for every code of the range and
    // counts up in its last one, so each code is mapped on its own.
    auto v = ParseValue(c, ABf ? 4 : 8);
    if (!lo || !hi || !v) continue;
    if (ABf) {
      if (std::u16string units = ParseUnits(c); !units.empty()) {
        const std::int64_t count = std::min(*hi - *lo + 1, kMaxCMapTextsPerRange);
        for (std::int64_t k = 0; k < count && !Full(); ++k) {
          std::u16string text = units;
          text.back() = static_cast<char16_t>(text.back() + k);
          FCodeList.push_back({*lo + k, text[0]});
          FTexts.push_back({*lo + k, std::move(text)});
        }
        continue;
      }
    }
    if (!ABf) NoteSource(srcBytes);
    FCIDList.push_back({*lo, *hi, *v});
  }
}

bool TkwPDCMapParser::ParseRangeArray(TkwPSTokenizer& ATok, bool ABf, std::optional<std::int64_t> ALow,
                                      int ASrcBytes) {
  const std::string_view end = ABf ? "endbfrange" : "endcidrange";
  // One destination per code, from low upwards.
  std::string c;
  std::int64_t code = ALow.value_or(0);
  while (!Full() && ATok.GetNextToken(c) && c != "]" && c != end) {
    auto v = ParseValue(c, ABf ? 4 : 8);
    if (ALow && v) FCIDList.push_back({code, code, *v});
    if (ALow && ABf) {
      if (std::u16string units = ParseUnits(c); !units.empty()) FTexts.push_back({code, std::move(units)});
    }
    ++code;
  }
  if (ALow && !ABf) NoteSource(ASrcBytes);
  return c != end;
}

void TkwPDCMapParser::ParseChars(TkwPSTokenizer& ATok, bool ABf) {
  const std::string_view end = ABf ? "endbfchar" : "endcidchar";
  std::string a, b;
  while (!Full() && ATok.GetNextToken(a) && a != end) {
    if (!ATok.GetNextToken(b) || b == end) break;
    int srcBytes = 0;
    auto code = ParseValue(a, 4, &srcBytes), v = ParseValue(b, 4);
    if (!code || !v) continue;
    if (!ABf) NoteSource(srcBytes);
    FCodeList.push_back({*code, *v});
    if (ABf) {
      if (std::u16string units = ParseUnits(b); !units.empty()) FTexts.push_back({*code, std::move(units)});
    }
  }
}

void TkwPDCMapParser::Merge(const TkwPDCMapParser& ABase) {
  FCIDList.insert(FCIDList.begin(), ABase.FCIDList.begin(), ABase.FCIDList.end());
  FCodeList.insert(FCodeList.begin(), ABase.FCodeList.begin(), ABase.FCodeList.end());
  FCodeSpace.insert(FCodeSpace.begin(), ABase.FCodeSpace.begin(), ABase.FCodeSpace.end());
  FTexts.insert(FTexts.begin(), ABase.FTexts.begin(), ABase.FTexts.end());
  FSourceBytes = std::max(FSourceBytes, ABase.FSourceBytes);
  if (FRegistry.empty()) FRegistry = ABase.FRegistry;
  if (FOrdering.empty()) FOrdering = ABase.FOrdering;
  if (FSupplement.empty()) FSupplement = ABase.FSupplement;
}

void TkwPDCMapParser::BuildIndex() {
  // Sweep over the range ends: between two consecutive ends the same set of ranges holds
  // every code, and the one latest in the file decides.
  std::vector<std::int64_t> bounds;
  std::vector<std::size_t> byStart;
  bounds.reserve(FCIDList.size() * 2);
  for (std::size_t i = 0; i < FCIDList.size(); ++i) {
    const auto& r = FCIDList[i];
    if (r.FCIDStart > r.FCIDEnd) continue;
    bounds.push_back(r.FCIDStart);
    bounds.push_back(r.FCIDEnd + 1);
    byStart.push_back(i);
  }
  std::sort(bounds.begin(), bounds.end());
  bounds.erase(std::unique(bounds.begin(), bounds.end()), bounds.end());
  std::stable_sort(byStart.begin(), byStart.end(),
                   [&](std::size_t x, std::size_t y) { return FCIDList[x].FCIDStart < FCIDList[y].FCIDStart; });
  std::priority_queue<std::size_t> active;
  std::size_t next = 0;
  for (std::size_t k = 0; k + 1 < bounds.size(); ++k) {
    const std::int64_t b = bounds[k];
    while (next < byStart.size() && FCIDList[byStart[next]].FCIDStart <= b) active.push(byStart[next++]);
    while (!active.empty() && FCIDList[active.top()].FCIDEnd < b) active.pop();
    if (active.empty()) continue;
    const std::size_t winner = active.top();
    if (!FSegments.empty() && FSegments.back().Range == winner && FSegments.back().High + 1 == b) {
      FSegments.back().High = bounds[k + 1] - 1;
    } else {
      FSegments.push_back({b, bounds[k + 1] - 1, winner});
    }
  }
  FSingles = FCodeList;
  std::stable_sort(FSingles.begin(), FSingles.end(),
                   [](const TkwCIDCode& x, const TkwCIDCode& y) { return x.FCID < y.FCID; });
  // Keep the last mapping of each code.
  std::vector<TkwCIDCode> unique;
  unique.reserve(FSingles.size());
  for (const auto& s : FSingles) {
    if (!unique.empty() && unique.back().FCID == s.FCID) unique.back() = s;
    else unique.push_back(s);
  }
  FSingles = std::move(unique);
  std::stable_sort(FTexts.begin(), FTexts.end(),
                   [](const TkwCodeText& x, const TkwCodeText& y) { return x.Code < y.Code; });
  std::vector<TkwCodeText> texts;
  texts.reserve(FTexts.size());
  for (auto& t : FTexts) {
    if (!texts.empty() && texts.back().Code == t.Code) texts.back() = std::move(t);
    else texts.push_back(std::move(t));
  }
  FTexts = std::move(texts);
}

std::u16string_view TkwPDCMapParser::MapText(std::int64_t ACode) const {
  if (FTexts.empty()) return {};
  auto it = std::lower_bound(FTexts.begin(), FTexts.end(), ACode,
                             [](const TkwCodeText& t, std::int64_t c) { return t.Code < c; });
  if (it == FTexts.end() || it->Code != ACode) return {};
  // A later one-unit mapping of the code overrides the text.
  if (MapCode(ACode) != it->Text[0]) return {};
  return it->Text;
}

std::int64_t TkwPDCMapParser::FindInRanges(std::int64_t ACode) const {
  auto it = std::upper_bound(FSegments.begin(), FSegments.end(), ACode,
                             [](std::int64_t c, const TkwSegment& s) { return c < s.Low; });
  if (it == FSegments.begin()) return -1;
  --it;
  if (ACode > it->High) return -1;
  const auto& r = FCIDList[it->Range];
  return r.FCode + (ACode - r.FCIDStart);
}

std::int64_t TkwPDCMapParser::MapCode(std::int64_t ACode) const {
  auto it = std::lower_bound(FSingles.begin(), FSingles.end(), ACode,
                             [](const TkwCIDCode& s, std::int64_t c) { return s.FCID < c; });
  if (it != FSingles.end() && it->FCID == ACode) return it->FCode;
  return FindInRanges(ACode);
}

TkwPDCMapParser::TkwCodeMatch TkwPDCMapParser::MatchCode(std::u16string_view ABytes) const {
  TkwCodeMatch m;
  if (ABytes.empty()) return m;
  auto codeOf = [&](int n) {
    std::uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = (v << 8) | (ABytes[static_cast<std::size_t>(i)] & 0xFF);
    return v;
  };
  const int avail = static_cast<int>(std::min<std::size_t>(ABytes.size(), 4));
  if (FCodeSpace.empty()) {
    m.Bytes = std::min(avail, FSourceBytes > 0 ? FSourceBytes : 1);
    m.Code = codeOf(m.Bytes);
    return m;
  }
  for (int n = 1; n <= avail; ++n) {
    const std::uint32_t code = codeOf(n);
    for (const auto& r : FCodeSpace) {
      if (r.FBytes != n) continue;
      bool inside = true;
      for (int i = 0; i < n && inside; ++i) {
        const int shift = 8 * (n - 1 - i);
        const std::uint32_t cb = (code >> shift) & 0xFF;
        inside = cb >= ((r.FLow >> shift) & 0xFF) && cb <= ((r.FHigh >> shift) & 0xFF);
      }
      if (inside) return {n, code};
    }
  }
  // No range holds the bytes: skip as many as the shortest code takes, as readers do.
  int shortest = 4;
  for (const auto& r : FCodeSpace) shortest = std::min(shortest, r.FBytes);
  m.Bytes = std::min(avail, shortest);
  m.Code = codeOf(m.Bytes);
  return m;
}

}  // namespace qm
