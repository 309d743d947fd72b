#include "pdf/core/kwPDLexer.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>

#include "base/Limits.h"

namespace qm {

namespace {

// 0 regular, 1 white-space, 2 delimiter.
constexpr std::array<std::uint8_t, 256> MakeClasses() {
  std::array<std::uint8_t, 256> table{};
  for (int c : {0, 9, 10, 12, 13, 32}) table[static_cast<std::size_t>(c)] = 1;
  for (char c : std::string_view("%()/<>[]{}")) table[static_cast<std::uint8_t>(c)] = 2;
  return table;
}
constexpr std::array<std::uint8_t, 256> kClasses = MakeClasses();

bool IsDigit(int AChar) { return AChar >= '0' && AChar <= '9'; }

}  // namespace

bool TkwPDLexer::IsWhiteSpace(int AChar) {
  return AChar >= 0 && AChar < 256 && kClasses[static_cast<std::size_t>(AChar)] == 1;
}
bool TkwPDLexer::IsDelimiter(int AChar) {
  return AChar >= 0 && AChar < 256 && kClasses[static_cast<std::size_t>(AChar)] == 2;
}
bool TkwPDLexer::IsRegular(int AChar) {
  return AChar >= 0 && AChar < 256 && kClasses[static_cast<std::size_t>(AChar)] == 0;
}

TkwPDLexer::TkwPDLexer(TkwRef<TkwStream> AStream) : FStream(std::move(AStream)) {
  if (!FStream) throw ExInvalidStream();
}

void TkwPDLexer::SkiptoNextLine() {
  for (;;) {
    const int c = FStream->GetChar();
    if (c < 0 || c == '\n') return;
    if (c == '\r') {
      if (FStream->LookChar() == '\n') FStream->GetChar();
      return;
    }
  }
}

std::size_t TkwPDLexer::ReadRegular(int AFirst) {
  std::size_t len = 0;
  if (AFirst >= 0) FTokenBuf[len++] = static_cast<char>(AFirst);
  for (;;) {
    const int c = FStream->LookChar();
    if (!IsRegular(c)) break;
    FStream->GetChar();
    // A token holds at most kMaxNameBytes: the next byte is dropped and the rest starts a new
    // token.
    if (len == kMaxNameBytes) break;
    FTokenBuf[len++] = static_cast<char>(c);
  }
  return len;
}

std::unique_ptr<TkwPDBaseObject> TkwPDLexer::GetObject() {
  for (;;) {
    const int c = FStream->GetChar();
    if (c < 0) return std::make_unique<TkwPDEOF>();
    if (IsWhiteSpace(c)) continue;
    switch (c) {
      case '%': {
        for (;;) {
          const int d = FStream->LookChar();
          if (d < 0) return std::make_unique<TkwPDEOF>();
          if (d == '\r' || d == '\n') break;
          FStream->GetChar();
        }
        continue;
      }
      case '(':
        return ReadLiteralString();
      case ')':
      case '{':
      case '}':
        return std::make_unique<TkwPDError>();
      case '/': {
        const std::size_t len = ReadRegular(-1);
        return std::make_unique<TkwPDName>(std::string_view(FTokenBuf.data(), len));
      }
      case '<':
        if (FStream->LookChar() == '<') {
          FStream->GetChar();
          return std::make_unique<TkwPDCommand>("<<");
        }
        return ReadHexString();
      case '>':
        if (FStream->LookChar() == '>') {
          FStream->GetChar();
          return std::make_unique<TkwPDCommand>(">>");
        }
        return std::make_unique<TkwPDError>();
      case '[':
        return std::make_unique<TkwPDCommand>("[");
      case ']':
        return std::make_unique<TkwPDCommand>("]");
      default:
        break;
    }
    if (c == '-' || c == '.' || IsDigit(c)) return ReadNumber(c);
    const std::size_t len = ReadRegular(c);
    const std::string_view word(FTokenBuf.data(), len);
    if (word == "true") return std::make_unique<TkwPDBoolean>(true);
    if (word == "false") return std::make_unique<TkwPDBoolean>(false);
    if (word == "null") return std::make_unique<TkwPDNull>();
    return std::make_unique<TkwPDCommand>(std::string(word));
  }
}

std::unique_ptr<TkwPDBaseObject> TkwPDLexer::ReadNumber(int AFirst) {
  bool negative = false;
  int c = AFirst;
  if (c == '-') {
    negative = true;
    const int next = FStream->LookChar();
    if (!IsDigit(next) && next != '.') return std::make_unique<TkwPDInteger>(0);
    c = FStream->GetChar();
  }
  std::uint64_t intPart = 0;  // wraps on overflow, as the file format's readers always did
  bool isReal = false;
  if (c == '.') {
    isReal = true;
  } else {
    intPart = static_cast<std::uint64_t>(c - '0');
    while (IsDigit(FStream->LookChar())) {
      intPart = intPart * 10 + static_cast<std::uint64_t>(FStream->GetChar() - '0');
    }
    if (FStream->LookChar() == '.') {
      FStream->GetChar();
      isReal = true;
    }
  }
  if (!isReal) {
    std::uint64_t value = negative ? (~intPart + 1) : intPart;
    if (value == 4294967295u) value = 0;
    return std::make_unique<TkwPDInteger>(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
  }
  long double value = static_cast<std::uint32_t>(intPart);
  long double scale = 1;
  for (;;) {
    const int d = FStream->LookChar();
    if (d == '-') {
      FStream->GetChar();  // 1.-5 reads as 1.5
      continue;
    }
    if (!IsDigit(d)) break;
    FStream->GetChar();
    scale /= 10;
    value += (d - '0') * scale;
  }
  return std::make_unique<TkwPDReal>(negative ? -value : value);
}

std::unique_ptr<TkwPDBaseObject> TkwPDLexer::ReadLiteralString() {
  std::string value;
  int depth = 1;
  // Bytes beyond the cap are consumed but not kept, so the syntax after the string still reads.
  auto put = [&](int AByte) {
    if (static_cast<std::int64_t>(value.size()) < kMaxStringBytes) value += static_cast<char>(AByte);
  };
  for (;;) {
    // The plain bytes up to the next parenthesis or backslash, taken from the stream's
    // window in one piece rather than byte by byte.
    const std::span<const std::uint8_t> window = FStream->Buffered();
    std::size_t plain = 0;
    while (plain < window.size() && window[plain] != '(' && window[plain] != ')' && window[plain] != '\\') ++plain;
    if (plain > 0) {
      const auto kept = static_cast<std::size_t>(kMaxStringBytes) > value.size()
                            ? std::min(plain, static_cast<std::size_t>(kMaxStringBytes) - value.size())
                            : std::size_t{0};
      value.append(reinterpret_cast<const char*>(window.data()), kept);
      FStream->Consume(plain);
    }
    int c = FStream->GetChar();
    if (c < 0) break;
    if (c == '(') {
      ++depth;
      put(c);
      continue;
    }
    if (c == ')') {
      if (--depth == 0) break;
      put(c);
      continue;
    }
    if (c != '\\') {
      put(c);
      continue;
    }
    c = FStream->GetChar();
    if (c < 0) break;
    switch (c) {
      case 'n': put(10); break;
      case 'r': put(13); break;
      case 't': put(9); break;
      case 'b': put(8); break;
      case 'f': put(12); break;
      case '\r':
        if (FStream->LookChar() == '\n') FStream->GetChar();
        break;
      case '\n':
        break;
      default:
        if (c >= '0' && c <= '7') {
          int octal = c - '0';
          for (int i = 0; i < 2; ++i) {
            const int d = FStream->LookChar();
            if (d < '0' || d > '7') break;
            FStream->GetChar();
            octal = octal * 8 + (d - '0');
          }
          put(octal & 0xFF);
        } else {
          put(c);
        }
        break;
    }
  }
  return std::make_unique<TkwPDString>(std::move(value), false);
}

std::unique_ptr<TkwPDBaseObject> TkwPDLexer::ReadHexString() {
  std::string value;
  for (;;) {
    const int c = FStream->GetChar();
    if (c < 0 || c == '>') break;
    if (IsWhiteSpace(c)) continue;
    if (static_cast<std::int64_t>(value.size()) < kMaxStringBytes) value += static_cast<char>(c);
  }
  return std::make_unique<TkwPDString>(std::move(value), true);
}

}  // namespace qm
