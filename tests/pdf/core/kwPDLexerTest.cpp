#include "pdf/core/kwPDLexer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace qm {
namespace {

// One token rendered as kind:value, so a table can state what the lexer must give.
std::string Describe(const TkwPDBaseObject& AObj) {
  std::ostringstream out;
  switch (AObj.GetType()) {
    using enum TkwPDObjTypes;
    case otBoolean: out << "bool:" << static_cast<const TkwPDBoolean&>(AObj).GetValue(); break;
    case otInteger: out << "int:" << static_cast<const TkwPDInteger&>(AObj).GetValue(); break;
    case otReal: out << "real:" << static_cast<const TkwPDReal&>(AObj).GetValue(); break;
    case otString: {
      const auto& s = static_cast<const TkwPDString&>(AObj);
      out << (s.IsHexString() ? "hex:" : "str:") << s.GetString();
      break;
    }
    case otName: out << "name:" << static_cast<const TkwPDName&>(AObj).GetValue(); break;
    case otCommand: out << "cmd:" << static_cast<const TkwPDCommand&>(AObj).GetValue(); break;
    case otNull: out << "null"; break;
    case otEOF: out << "eof"; break;
    case otError: out << "error"; break;
    default: out << "other"; break;
  }
  return out.str();
}

// The first 100 tokens of ALexer's stream, up to and with its end.
std::vector<std::string> Tokens(TkwPDLexer& ALexer) {
  std::vector<std::string> tokens;
  for (int i = 0; i < 100; ++i) {
    auto obj = ALexer.GetObject();
    tokens.push_back(Describe(*obj));
    if (obj->IsEOF()) break;
  }
  return tokens;
}

std::vector<std::string> Lex(std::string_view AText) {
  TkwPDLexer lexer(TkwMemoryStream::FromString(std::string(AText)));
  return Tokens(lexer);
}

// A stream handing out its bytes in windows of a few bytes: the lexer's bulk reads meet
// window ends anywhere in a token.
class TSmallWindowStream final : public TkwStream {
public:
  TSmallWindowStream(std::string ABytes, std::size_t AWindow) : FBytes(std::move(ABytes)), FWindow(AWindow) {}
  void Reset() override {
    ClearWindow();
    FPos = 0;
  }
  std::int64_t GetPosition() const override { return static_cast<std::int64_t>(FPos - WindowLeft()); }
  TkwStreamType GetType() const override { return TkwStreamType::stFile; }

protected:
  bool Refill() override {
    if (FPos >= FBytes.size()) return false;
    const std::size_t n = std::min(FWindow, FBytes.size() - FPos);
    const auto* begin = reinterpret_cast<const std::uint8_t*>(FBytes.data()) + FPos;
    SetWindow(begin, begin + n);
    FPos += n;
    return true;
  }

private:
  std::string FBytes;
  std::size_t FWindow;
  std::size_t FPos = 0;
};

std::vector<std::string> LexInWindows(std::string_view AText, std::size_t AWindow) {
  TkwPDLexer lexer(TkwRef<TkwStream>(new TSmallWindowStream(std::string(AText), AWindow)));
  lexer.GetStream()->Reset();
  return Tokens(lexer);
}

struct TLexCase {
  const char* Name;
  std::string Input;
  std::vector<std::string> Tokens;  // without the final eof
};

const TLexCase kLexCases[] = {
    {"NestedString", "(a(b)c)", {"str:a(b)c"}},
    {"UnclosedString", "(abc", {"str:abc"}},
    {"LineContinuation", "(a\\\nb)", {"str:ab"}},
    {"CrLfContinuation", "(a\\\r\nb)", {"str:ab"}},
    {"OctalEscape", "(\\101)", {"str:A"}},
    {"OctalStopsAtThree", "(\\0053)", {"str:\x05" "3"}},
    {"OctalHighBitsDropped", "(\\777)", {"str:\xFF"}},
    {"NamedEscapes", "(\\n\\r\\t\\b\\f\\(\\)\\\\\\q)", {"str:\n\r\t\b\f()\\q"}},
    {"BackslashAtEnd", "(ab\\", {"str:ab"}},
    {"LineEndsKept", "(a\r\nb)", {"str:a\r\nb"}},
    {"HexDropsWhiteSpace", "<48 65 6C6C 6F>", {"hex:48656C6C6F"}},
    {"HexKeepsNonDigits", "<4G>", {"hex:4G"}},
    {"HexUnclosed", "<41", {"hex:41"}},
    {"CommentThenNumber", "% a comment\n42", {"int:42"}},
    {"CommentAtEnd", "1 % trailing", {"int:1"}},
    {"NegativeFraction", "-.5", {"real:-0.5"}},
    {"AllBitsSetIsZero", "4294967295", {"int:0"}},
    {"LowBitsOnly", "4294967296 4294967298", {"int:0", "int:2"}},
    {"MinusInFraction", "1.-5", {"real:1.5"}},
    {"LoneMinus", "-", {"int:0"}},
    {"LoneDot", ".", {"real:0"}},
    {"PlusIsKeyword", "+5", {"cmd:+5"}},
    {"NegativeInteger", "-17", {"int:-17"}},
    {"NumberThenName", "12/Name", {"int:12", "name:Name"}},
    {"EmptyName", "/ /A", {"name:", "name:A"}},
    {"NameEscape", "/A#20B", {"name:A B"}},
    {"DictDelimiters", "<</A 1>>", {"cmd:<<", "name:A", "int:1", "cmd:>>"}},
    {"LoneGreater", "> x", {"error", "cmd:x"}},
    {"Brackets", "[1]", {"cmd:[", "int:1", "cmd:]"}},
    {"BadDelimiters", ") { }", {"error", "error", "error"}},
    {"Keywords", "true false null obj R", {"bool:1", "bool:0", "null", "cmd:obj", "cmd:R"}},
    {"HighBytesAreRegular", "\xE9t\xE9", {"cmd:\xE9t\xE9"}},
    {"NulIsWhiteSpace", std::string("1\0" "2", 3), {"int:1", "int:2"}},
};

class PDLexerTable : public ::testing::TestWithParam<TLexCase> {};

TEST_P(PDLexerTable, Tokens) {
  auto expected = GetParam().Tokens;
  expected.push_back("eof");
  EXPECT_EQ(Lex(GetParam().Input), expected);
}

INSTANTIATE_TEST_SUITE_P(All, PDLexerTable, ::testing::ValuesIn(kLexCases),
                         [](const auto& info) { return std::string(info.param.Name); });

// The tokens do not depend on how the stream's bytes come in: every case of the table
// read through windows of one to seven bytes.
TEST_P(PDLexerTable, TokensAcrossWindowEnds) {
  const auto whole = Lex(GetParam().Input);
  for (std::size_t window = 1; window <= 7; ++window) {
    EXPECT_EQ(LexInWindows(GetParam().Input, window), whole) << window;
  }
  const std::string strings = "(plain text) (a(b)c\\)d) (x\101y\
z)" + GetParam().Input;
  for (std::size_t window = 1; window <= 7; ++window) {
    EXPECT_EQ(LexInWindows(strings, window), Lex(strings)) << window;
  }
}

TEST(PDLexer, LongKeywordLosesItsHundredTwentyEighthByte) {
  std::string word(127, 'a');
  word += 'X';  // the 128th byte: consumed and lost
  word += "bc";
  auto tokens = Lex(word);
  ASSERT_EQ(tokens.size(), 3u);
  EXPECT_EQ(tokens[0], "cmd:" + std::string(127, 'a'));
  EXPECT_EQ(tokens[1], "cmd:bc");
}

TEST(PDLexer, LongStringsAreNotCut) {
  const std::string body(1000, 'x');
  auto tokens = Lex("(" + body + ")");
  EXPECT_EQ(tokens[0], "str:" + body);
}

TEST(PDLexer, SkipToNextLineHandlesEveryLineEnd) {
  TkwPDLexer lexer(TkwMemoryStream::FromString("a\r\nb\rc\nd"));
  lexer.GetStream()->Reset();
  lexer.SkiptoNextLine();
  EXPECT_EQ(lexer.GetPosition(), 3);
  lexer.SkiptoNextLine();
  EXPECT_EQ(lexer.GetPosition(), 5);
  lexer.SkiptoNextLine();
  EXPECT_EQ(lexer.GetPosition(), 7);
  lexer.SkiptoNextLine();
  EXPECT_EQ(lexer.GetPosition(), 8);
}

}  // namespace
}  // namespace qm
