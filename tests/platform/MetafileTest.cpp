#include "platform/Metafile.h"

#include <gtest/gtest.h>

#include <cstring>

namespace qm {
namespace {

std::uint32_t LE32(const std::string& S, std::size_t At) {
  std::uint32_t v = 0;
  std::memcpy(&v, S.data() + At, 4);
  return v;
}

TEST(Metafile, EmfRecordsAddUpToTheDeclaredSize) {
  TMetafile emf(10, 6);
  emf.Canvas().FillRect(0, 0, 5, 6, 0x0000FF);
  const std::string bytes = emf.SaveToEMF();
  EXPECT_EQ(LE32(bytes, 0), 1u);                // EMR_HEADER
  EXPECT_EQ(LE32(bytes, 40), 0x464D4520u);      // signature
  EXPECT_EQ(LE32(bytes, 48), bytes.size());     // total bytes
  std::size_t pos = 0;
  int records = 0;
  while (pos + 8 <= bytes.size()) {
    const std::uint32_t size = LE32(bytes, pos + 4);
    ASSERT_GE(size, 8u);
    pos += size;
    ++records;
  }
  EXPECT_EQ(pos, bytes.size());
  EXPECT_EQ(records, 3);
  EXPECT_EQ(LE32(bytes, 52), 3u);
}

TEST(Metafile, WmfHeaderCountsWords) {
  TBitmap bmp(4, 2);
  const std::string file = bmp.SaveToBMP();
  const std::string wmf = SaveBitmapAsWMF(bmp);
  // header 9 words, five setup records 24 words, StretchDIB R words, end record 3 words
  const std::uint32_t r = static_cast<std::uint32_t>(file.size() / 2 + 7);
  EXPECT_EQ(wmf.size(), (9 + 24 + r + 3) * 2);
  EXPECT_EQ(LE32(wmf, 6), r + 36);
  const std::string hex = WmfHeaderHex(static_cast<std::uint32_t>(file.size()), 4, 2);
  EXPECT_EQ(hex.substr(0, 12), "010009000003");
  EXPECT_EQ(hex.substr(hex.size() - 2), "\r\n");
}

}  // namespace
}  // namespace qm
