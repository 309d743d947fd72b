#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/writer/WriterTestUtil.h"

namespace qm {
namespace {

using namespace writertest;
using rtftest::TRtfDocument;

struct EscapeCase {
  std::u16string In;
  std::string Out;
};
class Escaping : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(Escaping, MatchesRule) { EXPECT_EQ(EscapeText(GetParam().In), GetParam().Out); }

INSTANTIATE_TEST_SUITE_P(
    Rules, Escaping,
    ::testing::Values(EscapeCase{u"\u00E9", "\xE9"}, EscapeCase{u"\u20AC", "\\u8364?"},
                      EscapeCase{u"\uFFFD", "\\u-3?"}, EscapeCase{u"{a}", "\\{a\\}"},
                      EscapeCase{u"C:\\x", "C:\\\\x"}, EscapeCase{u"\u7FFF\u8000", "\\u32767?\\u-32768?"},
                      EscapeCase{u"plain", "plain"}, EscapeCase{u"a\tb\nc\rd\x01" u"e\x7F", "a b c d e "},
                      EscapeCase{u"end\u2028next", "end\\line next"}, EscapeCase{u"com\u00ADpile", "com\\-pile"}));

// Plain runs are written in one piece: the same bytes as a character at a time, for every
// 16-bit unit between, before and after plain text.
TEST(Escaping, QuickWayWritesWhatEachCharacterDoes) {
  for (char32_t u = 0; u <= 0xFFFF; ++u) {
    const auto c = static_cast<char16_t>(u);
    for (const std::u16string& text : {std::u16string(1, c), u"ab" + std::u16string(1, c) + u"cd",
                                       std::u16string(2, c) + u"x" + std::u16string(1, c)}) {
      std::string quick = "{", each = "{";
      AppendEscaped(quick, text);
      AppendEscapedByChar(each, text);
      ASSERT_EQ(quick, each) << static_cast<unsigned>(u);
    }
  }
}

TEST(Escaping, ReaderSeesTheOriginalText) {
  const std::u16string text = u"caf\u00E9 \u20AC5 {x} a\\b \u4E2D";
  const auto doc = TRtfDocument::Parse(OneParagraph(text));
  EXPECT_EQ(doc.UnbalancedBraces(), 0);
  EXPECT_EQ(doc.PlainText(), "caf\xC3\xA9 \xE2\x82\xAC" "5 {x} a\\b \xE4\xB8\xAD\n");
}

TEST(Header, PlainDocumentHasNoStyleSheetOrListTable) {
  const std::string rtf = OneParagraph(u"x");
  EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1252\\deff0\\deftab0\r\n\r\n{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}", 0), 0u);
  EXPECT_FALSE(Contains(rtf, "\\stylesheet"));
  EXPECT_FALSE(Contains(rtf, "\\listtable"));
  EXPECT_EQ(rtf.back(), '}');
}

TEST(Header, ListTableIsWrittenOnceAfterStyleSheet) {
  for (const bool withList : {false, true}) {
    auto doc = MakeDoc();
    doc->BeginDoc();
    doc->AddStyle(TFont{}, clBlack, "Body");
    if (withList) doc->BeginNumberedList(0, 0, 1, 0);
    doc->BeginPara("Body");
    doc->WriteText(u"x");
    doc->EndPara();
    doc->EndDoc();
    const std::string& rtf = doc->GetRTFText();
    EXPECT_EQ(Occurrences(rtf, "{\\*\\listtable"), 1) << withList;
    EXPECT_LT(rtf.find("{\\stylesheet"), rtf.find("{\\*\\listtable"));
    EXPECT_EQ(Occurrences(rtf, "{\\list\\listtemplateid"), withList ? 1 : 0);
    EXPECT_TRUE(Contains(rtf, " \\s11\\f0\\cf1\\fs20")) << rtf;
    EXPECT_EQ(TRtfDocument::Parse(rtf).UnbalancedBraces(), 0);
  }
}

TEST(Header, FontWithTwoCharsetsGetsTwoEntries) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  doc->BeginPara();
  TFont f;
  f.Name = "Times New Roman";
  doc->SetFont(f);
  doc->WriteText(u"a");
  f.Charset = 238;
  doc->SetFont(f);
  doc->WriteText(u"b");
  doc->EndPara();
  doc->EndDoc();
  const std::string& rtf = doc->GetRTFText();
  EXPECT_TRUE(Contains(rtf, "{\\f0\\froman\\fcharset0 Times New Roman;}{\\f1\\froman\\fcharset238 Times New Roman;}"));
  EXPECT_TRUE(Contains(rtf, "\\f1\\cf1"));
}

struct TFamilyCase {
  const char* Font;
  const char* Entry;
};

class FontFamilies : public ::testing::TestWithParam<TFamilyCase> {};

// Each font table entry names its family class, so that a reader without the font takes
// one of the same kind; symbol fonts keep their charset.
TEST_P(FontFamilies, EntriesCarryClassAndCharset) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  doc->BeginPara();
  TFont f;
  f.Name = GetParam().Font;
  if (f.Name == "Wingdings") f.Charset = kSymbolCharset;
  doc->SetFont(f);
  doc->WriteText(u"a");
  doc->EndPara();
  doc->EndDoc();
  EXPECT_TRUE(Contains(doc->GetRTFText(), GetParam().Entry)) << doc->GetRTFText();
}

INSTANTIATE_TEST_SUITE_P(
    Header, FontFamilies,
    ::testing::Values(TFamilyCase{"Times New Roman", "{\\f0\\froman\\fcharset0 Times New Roman;}"},
                      TFamilyCase{"Georgia", "{\\f0\\froman\\fcharset0 Georgia;}"},
                      TFamilyCase{"Century Gothic", "{\\f0\\fswiss\\fcharset0 Century Gothic;}"},
                      TFamilyCase{"DejaVu Sans Mono", "{\\f0\\fmodern\\fcharset0 DejaVu Sans Mono;}"},
                      TFamilyCase{"Courier New", "{\\f0\\fmodern\\fcharset0 Courier New;}"},
                      TFamilyCase{"Monotype Corsiva", "{\\f0\\fscript\\fcharset0 Monotype Corsiva;}"},
                      TFamilyCase{"Wingdings", "{\\f0\\ftech\\fcharset2 Wingdings;}"},
                      TFamilyCase{"Z003", "{\\f0\\fnil\\fcharset0 Z003;}"}));

TEST(Paragraph, RaisedAndLoweredRunsKeepTheirOffsetUntilItChanges) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  doc->BeginPara();
  doc->WriteText(u"x");
  doc->SetTextRise(3);
  doc->WriteText(u"2");
  doc->SetTextRise(-1.5);
  doc->WriteText(u"i");
  doc->SetTextRise(0);
  doc->WriteText(u"y");
  doc->EndPara();
  doc->EndDoc();
  const std::string& rtf = doc->GetRTFText();
  EXPECT_TRUE(Contains(rtf, "\\up6 \\expndtw0 2")) << rtf;
  EXPECT_TRUE(Contains(rtf, "\\dn3 \\expndtw0 i")) << rtf;
  EXPECT_TRUE(Contains(rtf, "\\up0 \\expndtw0 y")) << rtf;
  EXPECT_EQ(Occurrences(rtf, "\\up"), 2);
  EXPECT_EQ(TRtfDocument::Parse(rtf).PlainText(), "x2iy\n");
}

TEST(Paragraph, FormattingWords) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  TkwTextFormatting& tf = doc->GetTextFormatting();
  tf.SetAlignment(2);
  tf.SetFirstLineIndent(-8);
  tf.SetLeftIndent(32);
  tf.SetRightIndent(16);
  tf.SetSpaceBefore(4);
  tf.SetLineSpacing(16);  // 12 pt at 96 ppi
  tf.GetBorder().DrawLeft = true;
  tf.GetBorder().DrawBottom = true;
  tf.GetBorder().Spacing = 2;
  doc->BeginPara();
  doc->WriteText(u"x");
  doc->EndPara();
  doc->EndDoc();
  EXPECT_TRUE(Contains(doc->GetRTFText(),
                       "{\\pard\\qc\\fi-120\\li480\\ri240\\sb60\\sl-240\\slmult0"
                       "\\brdrl\\brdrs\\brdrw15\\brdrcf"));
  // Each border in full (style, width, colour) before its distance from the text.
  EXPECT_TRUE(Contains(doc->GetRTFText(), "\\brsp30\\brdrb\\brdrs\\brdrw15\\brdrcf"));
}

struct AlignCase {
  std::uint8_t Alignment;
  bool AtLeast;
  bool Enabled;
  std::string Expected;
};
class ParagraphAlign : public ::testing::TestWithParam<AlignCase> {};

TEST_P(ParagraphAlign, Words) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  doc->GetTextFormatting().SetAlignment(GetParam().Alignment);
  doc->GetTextFormatting().SetLineSpacing(16);
  doc->GetTextFormatting().SetLineSpacingAtLeast(GetParam().AtLeast);
  doc->GetTextFormatting().SetLineSpacingEnabled(GetParam().Enabled);
  doc->BeginPara();
  doc->EndPara();
  doc->EndDoc();
  EXPECT_TRUE(Contains(doc->GetRTFText(), GetParam().Expected)) << doc->GetRTFText();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParagraphAlign,
    ::testing::Values(AlignCase{0, false, true, "{\\pard\\ql\\fi0\\li0\\ri0\\sb0\\sl-240\\slmult0\\par}"},
                      AlignCase{1, true, true, "\\qr\\fi0\\li0\\ri0\\sb0\\sl240\\slmult0\\par}"},
                      AlignCase{3, false, false, "\\qj\\fi0\\li0\\ri0\\sb0\\par}"},
                      AlignCase{7, false, false, "\\ql\\fi0"}));

TEST(Runs, TabsSpacingAndSwitchesDoNotLeak) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  doc->BeginPara();
  TFont f;
  f.Size = 12;
  f.Style = fsUnderline | fsStrikeOut | fsBold;
  doc->SetFont(f);
  doc->WriteText(u"one", 96, 1);
  f.Style = 0;
  doc->SetFont(f);
  doc->WriteText(u"two", 0, 0);
  doc->EndPara();
  doc->EndDoc();
  const std::string& rtf = doc->GetRTFText();
  EXPECT_TRUE(Contains(rtf, "\\f0\\cf1\\fs24 \\b\\i0 \\strike \\ul \\expndtw15 \\tx1440\\tab one"));
  EXPECT_TRUE(Contains(rtf, "\\f0\\cf1\\fs24\\b0\\i0\\strike0\\ulnone \\expndtw0 two\\par}"));
  const auto paras = TRtfDocument::Parse(rtf).Paragraphs();
  ASSERT_EQ(paras.size(), 1u);
  ASSERT_EQ(paras[0].Runs.size(), 2u);
  EXPECT_TRUE(paras[0].Runs[0].Underline);
  EXPECT_FALSE(paras[0].Runs[1].Underline);
  EXPECT_FALSE(paras[0].Runs[1].Strike);
  EXPECT_EQ(paras[0].Text(), "\tonetwo");
}

TEST(Runs, TextBeforeFirstParagraphIsDropped) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  doc->WriteText(u"lost");
  doc->BeginPara();
  doc->WriteText(u"kept");
  doc->EndPara();
  doc->EndDoc();
  EXPECT_FALSE(Contains(doc->GetRTFText(), "lost"));
  EXPECT_TRUE(Contains(doc->GetRTFText(), "kept"));
}

TEST(Runs, BookmarksOutsideTablesOnly) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  doc->BeginPara();
  EXPECT_EQ(doc->WriteBookmarkText(u"Intro", u"sec{1}"), 0);
  doc->EndPara();
  doc->BeginTable(1, 0, 0);
  doc->AddRow(20);
  doc->SetCellRight(0, 100);
  doc->BeginCellPara(0);
  doc->WriteBookmarkText(u"cell", u"hidden");
  doc->EndPara();
  doc->EndTable();
  doc->EndDoc();
  const std::string& rtf = doc->GetRTFText();
  EXPECT_TRUE(Contains(rtf, "{\\*\\bkmkstart sec\\{1\\}}Intro{\\*\\bkmkend sec\\{1\\}}"));
  EXPECT_FALSE(Contains(rtf, "hidden"));
  EXPECT_EQ(TRtfDocument::Parse(rtf).Words(), (std::vector<std::string>{"Intro", "cell"}));
}

TEST(Runs, StyledParagraphUsesStyleFormatting) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  TFont heading;
  heading.Name = "Courier New";
  heading.Size = 16;
  heading.Style = fsBold;
  doc->AddStyle(heading, clRed, "Heading");
  doc->BeginPara("Heading");
  doc->WriteText(u"Title");
  doc->EndPara();
  doc->EndDoc();
  EXPECT_TRUE(Contains(doc->GetRTFText(), " \\s11\\f0\\cf1\\fs32 \\b\\i0\\strike0\\ulnone \\expndtw0 Title"));
}

TEST(Lists, NumberedListHasNineLevelsAndParagraphsReferenceIt) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  const int list = doc->BeginNumberedList(0, 2, 3, 0);
  EXPECT_EQ(list, 0);
  for (const char16_t* t : {u"first", u"second"}) {
    doc->BeginPara();
    doc->WriteText(t);
    doc->EndPara();
  }
  doc->EndList();
  TFont symbol;
  symbol.Name = "Symbol";
  symbol.Charset = kSymbolCharset;
  EXPECT_EQ(doc->BeginBulletList(symbol, u'\u00B7', 1, 0, 0), 1);
  doc->BeginPara();
  doc->WriteText(u"dot");
  doc->EndPara();
  doc->EndList();
  doc->BeginPara();
  doc->WriteText(u"after");
  doc->EndPara();
  doc->EndDoc();
  const std::string& rtf = doc->GetRTFText();
  for (int n = 0; n < 9; ++n) {
    EXPECT_TRUE(Contains(rtf, "\\'02\\'0" + std::to_string(n) + ".;}{\\levelnumbers\\'01;}")) << n;
  }
  EXPECT_EQ(Occurrences(rtf, "\\levelnfc0\\levelnfcn0\\leveljc1\\leveljcn1\\levelfollow0\\levelstartat3"), 9);
  EXPECT_EQ(Occurrences(rtf, "\\'01\xB7;}{\\levelnumbers;}\\f1"), 9);
  const auto reader = TRtfDocument::Parse(rtf);
  EXPECT_EQ(reader.ListReferences(), (std::vector<int>{1, 1, 2}));
  // the two lists never share an identifier, and each override names its own list
  const auto ids = reader.WordParams("listid");
  ASSERT_EQ(ids.size(), 4u);
  EXPECT_NE(ids[0], ids[1]);
  EXPECT_EQ(ids[0], ids[2]);
  EXPECT_EQ(ids[1], ids[3]);
}

// Readers look the \ls numbers up in a list override table beside the list table; one
// nested in the list table, after each list, is not found (LibreOffice shows no numbers).
TEST(Lists, ListTableAndOverrideTableAreSiblingHeaderGroups) {
  auto doc = std::make_unique<TkwRTFDoc>();  // the writer's own identifiers
  doc->BeginDoc();
  for (int k = 0; k < 3; ++k) {
    doc->BeginNumberedList(0, 0, 1, 0);
    doc->BeginPara();
    doc->WriteText(u"item");
    doc->EndPara();
    doc->EndList();
  }
  doc->EndDoc();
  const auto reader = TRtfDocument::Parse(doc->GetRTFText());
  ASSERT_EQ(reader.UnbalancedBraces(), 0);
  const auto& top = reader.Root().Children.at(0).Children;
  int listTable = -1;
  int overrideTable = -1;
  for (std::size_t i = 0; i < top.size(); ++i) {
    if (top[i].IsGroup() && top[i].Destination() == "listtable") listTable = static_cast<int>(i);
    if (top[i].IsGroup() && top[i].Destination() == "listoverridetable") overrideTable = static_cast<int>(i);
  }
  ASSERT_GE(listTable, 0);
  ASSERT_GT(overrideTable, listTable);
  const auto countGroups = [](const rtftest::TRtfNode& ANode, std::string_view AName) {
    int n = 0;
    for (const auto& child : ANode.Children) n += child.IsGroup() && child.Destination() == AName;
    return n;
  };
  EXPECT_EQ(countGroups(top[static_cast<std::size_t>(listTable)], "list"), 3);
  EXPECT_EQ(countGroups(top[static_cast<std::size_t>(listTable)], "listoverridetable"), 0);
  EXPECT_EQ(countGroups(top[static_cast<std::size_t>(overrideTable)], "listoverride"), 3);
  // identifiers are counters: the same in every run
  EXPECT_EQ(reader.WordParams("listid"), (std::vector<int>{1, 2, 3, 1, 2, 3}));
  EXPECT_EQ(reader.WordParams("listtemplateid"), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(reader.ListReferences(), (std::vector<int>{1, 2, 3}));
}

TEST(Lists, LevelTextEndsWithTheLabelsOwnClosingCharacter) {
  struct TCase {
    char16_t Close;
    std::string Level;
  };
  for (const TCase& c : {TCase{u')', "\\'02\\'00);}"}, TCase{u'.', "\\'02\\'00.;}"}, TCase{0, "\\'01\\'00;}"}}) {
    auto doc = MakeDoc();
    doc->BeginDoc();
    doc->BeginNumberedList(4, 0, 1, 1, c.Close);
    doc->BeginPara();
    doc->WriteText(u"item");
    doc->EndPara();
    doc->EndList();
    doc->EndDoc();
    const std::string& rtf = doc->GetRTFText();
    EXPECT_EQ(Occurrences(rtf, c.Level + "{\\levelnumbers\\'01;}"), 1) << rtf;
    EXPECT_EQ(TRtfDocument::Parse(rtf).UnbalancedBraces(), 0);
  }
}

// Without an injected source the writer's identifiers still repeat from one document to
// the next, even when one writer writes both; the creation time is written only when
// SOURCE_DATE_EPOCH gives it.
TEST(Output, SameDocumentTwiceGivesTheSameBytes) {
  auto doc = std::make_unique<TkwRTFDoc>();
  const auto once = [&doc] {
    doc->BeginDoc();
    doc->AddStyle(TFont{}, clBlack, "Body");
    doc->BeginBulletList(TFont{}, u'o', 1, 0, 0);
    doc->BeginPara();
    doc->WriteText(u"item");
    doc->EndPara();
    doc->DrawRectangle(true, {0, 0}, {10, 10});
    doc->EndDoc();
    return doc->GetRTFText();
  };
  ::unsetenv("SOURCE_DATE_EPOCH");
  const std::string first = once();
  EXPECT_EQ(first, once());
  EXPECT_FALSE(Contains(first, "\\creatim"));
  ::setenv("SOURCE_DATE_EPOCH", "1700000000", 1);  // 2023-11-14 22:13:20 UTC
  const std::string dated = once();
  ::setenv("SOURCE_DATE_EPOCH", "not a time", 1);
  const std::string undated = once();
  ::unsetenv("SOURCE_DATE_EPOCH");
  EXPECT_TRUE(Contains(dated, "{\\info{\\creatim\\yr2023\\mo11\\dy14\\hr22\\min13}}")) << dated;
  EXPECT_EQ(undated, first);
  EXPECT_EQ(TRtfDocument::Parse(dated).UnbalancedBraces(), 0);
}

TEST(Output, FixedRandomSourceGivesIdenticalFiles) {
  const auto once = [] {
    auto doc = MakeDoc();
    doc->BeginDoc();
    doc->BeginBulletList(TFont{}, u'o', 1, 0, 0);
    doc->BeginPara();
    doc->WriteText(u"item");
    doc->EndPara();
    doc->DrawRectangle(true, {0, 0}, {10, 10});
    doc->EndDoc();
    return doc->GetRTFText();
  };
  EXPECT_EQ(once(), once());
}

}  // namespace
}  // namespace qm
