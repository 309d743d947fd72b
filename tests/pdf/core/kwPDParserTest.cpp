#include "pdf/core/kwPDParser.h"

#include <gtest/gtest.h>

#include <map>

#include "base/Limits.h"

namespace qm {
namespace {

class TTestDoc final : public TkwPDObjectResolver {
public:
  TkwPDBaseObject* GetObject(std::uint32_t AObjNum, std::uint32_t) override {
    auto it = FObjects.find(AObjNum);
    return it == FObjects.end() ? nullptr : it->second.get();
  }
  bool GetIsEncrypted() const override { return FEncrypted; }
  std::string DecryptString(std::string_view ABytes, std::uint32_t AObjNum,
                            std::uint32_t) override {
    return "[" + std::to_string(AObjNum) + "]" + std::string(ABytes);
  }
  std::map<std::uint32_t, std::unique_ptr<TkwPDBaseObject>> FObjects;
  bool FEncrypted = false;
};

struct TParsed {
  TkwRef<TkwMemoryStream> Data;
  std::unique_ptr<TkwPDParser> Parser;
};

TParsed MakeParser(std::string AText, TkwPDObjectResolver* ADoc = nullptr, bool AStreams = true) {
  TParsed result;
  result.Data = TkwMemoryStream::FromString(std::move(AText));
  result.Parser = std::make_unique<TkwPDParser>(
      ADoc, std::make_unique<TkwPDLexer>(TkwRef<TkwStream>(result.Data)), AStreams);
  return result;
}

TEST(PDParser, ReferenceInDictionaryAndTwoIntegersBeforeName) {
  auto p = MakeParser("<< /A 12 0 R /B 12 0 /C >>");
  auto obj = p.Parser->GetObject();
  ASSERT_TRUE(obj->IsDict());
  auto& dict = static_cast<TkwPDDictionary&>(*obj);
  ASSERT_NE(dict.LookupRefObj("A"), nullptr);
  EXPECT_TRUE(dict.LookupRefObj("A")->IsIndirectRef());
  EXPECT_EQ(dict.LookupRefObj("A")->GetObjNumber(), 12u);
  // /B 12 0 /C: 12 is the value of B, then 0 sits in a key position and is skipped.
  EXPECT_EQ(dict.LookUpInt("B"), 12);
  EXPECT_TRUE(p.Parser->GetObject()->IsEOF());
}

TEST(PDParser, TopLevelIntegersAndReference) {
  auto p = MakeParser("1 2 3 0 R 4");
  EXPECT_EQ(static_cast<TkwPDInteger&>(*p.Parser->GetObject()).GetValue(), 1);
  EXPECT_EQ(static_cast<TkwPDInteger&>(*p.Parser->GetObject()).GetValue(), 2);
  auto ref = p.Parser->GetObject();
  ASSERT_TRUE(ref->IsIndirectRef());
  EXPECT_EQ(ref->GetObjNumber(), 3u);
  EXPECT_EQ(ref->GetGenNumber(), 0u);
  EXPECT_EQ(static_cast<TkwPDInteger&>(*p.Parser->GetObject()).GetValue(), 4);
}

TEST(PDParser, UnterminatedContainersEndAtEndOfInput) {
  auto p = MakeParser("[1 [2 3");
  auto obj = p.Parser->GetObject();
  ASSERT_TRUE(obj->IsArray());
  auto& array = static_cast<TkwPDArray&>(*obj);
  ASSERT_EQ(array.GetLength(), 2u);
  EXPECT_TRUE(array.Get(1)->IsArray());
}

TEST(PDParser, DictionaryKeyBeforeErrorIsDropped) {
  auto p = MakeParser("<< /A 1 /B ) /C 2 >>");
  auto obj = p.Parser->GetObject();
  ASSERT_TRUE(obj->IsDict());
  auto& dict = static_cast<TkwPDDictionary&>(*obj);
  EXPECT_EQ(dict.GetLength(), 1u);
  EXPECT_EQ(dict.LookUp("B"), nullptr);
}

TEST(PDParser, StrayClosersComeBackAsCommands) {
  auto p = MakeParser("] >> R");
  EXPECT_TRUE(p.Parser->GetObject()->IsCommand("]"));
  EXPECT_TRUE(p.Parser->GetObject()->IsCommand(">>"));
  EXPECT_TRUE(p.Parser->GetObject()->IsCommand("R"));
}

TEST(PDParser, NestingBeyondTheLimitFailsTheObject) {
  const int depth = kMaxObjectDepth + 1;
  auto p = MakeParser(std::string(depth, '[') + std::string(depth, ']') + " 7");
  EXPECT_TRUE(p.Parser->GetObject()->IsError());
  // Within the limit the same shape reads.
  auto q = MakeParser(std::string(kMaxObjectDepth, '[') + std::string(kMaxObjectDepth, ']'));
  EXPECT_TRUE(q.Parser->GetObject()->IsArray());
  // Deep dictionaries too.
  std::string dicts;
  for (int i = 0; i < depth; ++i) dicts += "<< /A ";
  auto r = MakeParser(dicts);
  EXPECT_TRUE(r.Parser->GetObject()->IsError());
}

TEST(PDParser, EncryptedStringsAreDecryptedWithTheObjectNumber) {
  TTestDoc doc;
  doc.FEncrypted = true;
  auto p = MakeParser("[(ab) <4142>]", &doc);
  auto obj = p.Parser->GetObject("Crpt", 0, 5, 9, 0);
  auto& array = static_cast<TkwPDArray&>(*obj);
  ASSERT_EQ(array.GetLength(), 2u);
  EXPECT_EQ(static_cast<TkwPDString&>(*array.Get(0)).GetString(), "[9]ab");
  EXPECT_EQ(static_cast<TkwPDString&>(*array.Get(1)).GetString(), "[9]AB");
  EXPECT_FALSE(static_cast<TkwPDString&>(*array.Get(1)).IsHexString());
  // Without the marker nothing is decrypted.
  auto q = MakeParser("(ab)", &doc);
  EXPECT_EQ(static_cast<TkwPDString&>(*q.Parser->GetObject()).GetString(), "ab");
}

// --- streams ---------------------------------------------------------------------------------

struct TStreamCase {
  const char* Name;
  std::string Length;   // the Length entry as written
  std::string Data;     // stream data as written between the stream line and endstream
  std::string Expected; // decoded bytes
  std::string After;    // text after the data
};

const TStreamCase kStreamCases[] = {
    {"Exact", "5", "Hello", "Hello", "\nendstream 99"},
    {"ExactNoEol", "5", "Hello", "Hello", "endstream 99"},
    {"TenShort", "5", "Hello, world", "Hello, world", "\nendstream 99"},
    {"TooLong", "50", "Hello", "Hello", "\r\nendstream 99"},
    {"Negative", "-3", "Hi", "Hi", "\rendstream 99"},
    {"ContainsEndWordLater", "5", "Hello", "Hello", "\nendstream 99 (endstream)"},
    {"Empty", "0", "", "", "endstream 99"},
};

class PDParserStream : public ::testing::TestWithParam<TStreamCase> {};

TEST_P(PDParserStream, DataEndsAtTheRightPlace) {
  const auto& c = GetParam();
  auto p = MakeParser("<< /Length " + c.Length + " >>\nstream\n" + c.Data + c.After);
  TkwDiagnostics diag;
  p.Parser->SetDiagnostics(&diag);
  auto obj = p.Parser->GetObject();
  ASSERT_TRUE(obj->IsStream());
  auto& stream = static_cast<TkwPDStream&>(*obj);
  EXPECT_EQ(stream.ReadAll(), c.Expected);
  // The parser carries on after endstream.
  auto next = p.Parser->GetObject();
  ASSERT_TRUE(next->IsInteger());
  EXPECT_EQ(static_cast<TkwPDInteger&>(*next).GetValue(), 99);
  const bool lengthRight = std::to_string(c.Data.size()) == c.Length;
  EXPECT_EQ(diag.Count(TkwDiagCode::dcStreamLengthWrong), lengthRight ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(All, PDParserStream, ::testing::ValuesIn(kStreamCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(PDParser, StreamWithoutEndstreamRunsLengthPlus5000CutAtEnd) {
  auto p = MakeParser("<< /Length 2 >>\nstream\nabcdef");
  auto obj = p.Parser->GetObject();
  ASSERT_TRUE(obj->IsStream());
  EXPECT_EQ(static_cast<TkwPDStream&>(*obj).ReadAll(), "abcdef");
}

TEST(PDParser, StreamLengthThroughReference) {
  TTestDoc doc;
  doc.FObjects[4] = std::make_unique<TkwPDInteger>(3);
  auto p = MakeParser("<< /Length 4 0 R >>\nstream\r\nabc\nendstream", &doc);
  auto obj = p.Parser->GetObject();
  ASSERT_TRUE(obj->IsStream());
  EXPECT_EQ(static_cast<TkwPDStream&>(*obj).ReadAll(), "abc");
}

TEST(PDParser, StreamWithoutIntegerLengthIsAnError) {
  for (const char* length : {"", "/Length null", "/Length 2.5", "/Length 8 0 R"}) {
    TTestDoc doc;
    auto p = MakeParser(std::string("<< ") + length + " >>\nstream\nabc\nendstream", &doc);
    EXPECT_TRUE(p.Parser->GetObject()->IsError()) << length;
  }
}

TEST(PDParser, StreamsNotAllowedGiveTheDictionary) {
  auto p = MakeParser("<< /Length 3 >>\nstream\nabc\nendstream", nullptr, false);
  EXPECT_TRUE(p.Parser->GetObject()->IsDict());
  EXPECT_TRUE(p.Parser->GetObject()->IsCommand("stream"));
}

TEST(PDParser, StreamDataIsFilteredLazily) {
  auto p = MakeParser("<< /Length 11 /Filter /AHx >>\nstream\n48 65 6C 6C>\nendstream");
  auto obj = p.Parser->GetObject();
  ASSERT_TRUE(obj->IsStream());
  EXPECT_EQ(static_cast<TkwPDStream&>(*obj).ReadAll(), "Hell");
}

TEST(PDParser, StreamInsideDecodedDataIsAnError) {
  // Object streams hold no streams: a decoded source has no file window to point into.
  auto dict = std::make_unique<TkwPDDictionary>();
  dict->Add("Filter", std::make_unique<TkwPDName>("AHx"));
  auto hex = TkwPDFilterManager::GetFilter(
      std::move(dict), TkwMemoryStream::FromString("3C3C2F4C656E67746820313E3E0A73747265616D0A610A656E6473747265616D>"));
  TkwPDParser parser(nullptr, std::make_unique<TkwPDLexer>(hex->GetStreamRef()), true);
  EXPECT_TRUE(parser.GetObject()->IsError());
}

TEST(FindStreamDataLength, TrimsTheEndOfLineBeforeTheKeyword) {
  auto data = TkwMemoryStream::FromString("XXabc\r\nendstream");
  EXPECT_EQ(FindStreamDataLength(*data, 2, 1), 3);
  EXPECT_EQ(FindStreamDataLength(*data, 2, 3), 3);
  EXPECT_EQ(FindStreamDataLength(*data, 2, 5), 5);  // endstream follows: Length holds
  EXPECT_EQ(FindStreamDataLength(*data, 99, 5), 0);
}

// --- inline images ---------------------------------------------------------------------------

TEST(PDParser, InlineImageLeavesTheStreamAtTheData) {
  const std::string content = std::string("BI /W 1 /H 1 ID ") + "\x01\xFF\x80" + " EI Q";
  auto p = MakeParser(content, nullptr, false);
  EXPECT_TRUE(p.Parser->GetObject()->IsCommand("BI"));
  EXPECT_TRUE(p.Parser->GetObject()->IsName("W"));
  EXPECT_EQ(static_cast<TkwPDInteger&>(*p.Parser->GetObject()).GetValue(), 1);
  EXPECT_TRUE(p.Parser->GetObject()->IsName("H"));
  EXPECT_EQ(static_cast<TkwPDInteger&>(*p.Parser->GetObject()).GetValue(), 1);
  EXPECT_TRUE(p.Parser->GetObject()->IsCommand("ID"));
  EXPECT_EQ(p.Parser->GetPosition(), 16);
  TkwStream* s = p.Parser->GetStream();
  EXPECT_EQ(s->GetChar(), 0x01);
  EXPECT_EQ(s->GetChar(), 0xFF);
  EXPECT_EQ(s->GetChar(), 0x80);
  EXPECT_EQ(s->GetChar(), ' ');
  EXPECT_EQ(s->GetChar(), 'E');
  EXPECT_EQ(s->GetChar(), 'I');
  EXPECT_TRUE(p.Parser->GetObject()->IsCommand("Q"));
  EXPECT_EQ(p.Parser->GetInlineImageState(), 0);
  EXPECT_TRUE(p.Parser->GetObject()->IsEOF());
}

TEST(PDParser, IdInsideContainersDoesNotStallThem) {
  for (const char* text : {"<< /A ID x y >> 5", "[1 ID 2 3] 5", "[ID ] 5", "<< ID  >> 5"}) {
    auto p = MakeParser(text, nullptr, false);
    auto obj = p.Parser->GetObject();
    EXPECT_TRUE(obj->IsArray() || obj->IsDict()) << text;
    bool sawFive = false;
    for (int i = 0; i < 10; ++i) {
      auto next = p.Parser->GetObject();
      if (next->IsInteger() && static_cast<TkwPDInteger&>(*next).GetValue() == 5) sawFive = true;
      if (next->IsEOF()) break;
    }
    EXPECT_TRUE(sawFive) << text;
  }
}

}  // namespace
}  // namespace qm
