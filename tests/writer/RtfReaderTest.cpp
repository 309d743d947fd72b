#include "tests/support/rtf/RtfReader.h"

#include <gtest/gtest.h>

namespace qm::rtftest {
namespace {

TEST(RtfReader, TextEscapesAndDestinations) {
  const auto doc = TRtfDocument::Parse(
      "{\\rtf1{\\fonttbl{\\f0 Arial;}}{\\*\\unknown skip}\\pard \\b bold\\b0  x\\'e9\\u8364?\\{\\par}");
  EXPECT_EQ(doc.PlainText(), "bold x\xC3\xA9\xE2\x82\xAC{\n");
  const auto paras = doc.Paragraphs();
  ASSERT_EQ(paras.size(), 1u);
  ASSERT_EQ(paras[0].Runs.size(), 2u);
  EXPECT_TRUE(paras[0].Runs[0].Bold);
  EXPECT_FALSE(paras[0].Runs[1].Bold);
}

TEST(RtfReader, CountsAndUnbalancedBraces) {
  const auto doc = TRtfDocument::Parse("{\\rtf1\\trowd\\cellx10 a\\cell\\row}}{");
  EXPECT_EQ(doc.RowCount(), 1);
  EXPECT_EQ(doc.CellCount(), 1);
  EXPECT_EQ(doc.UnbalancedBraces(), 2);
  EXPECT_EQ(doc.WordParams("cellx"), std::vector<int>{10});
}

}  // namespace
}  // namespace qm::rtftest
