// Pictures encoded on the background queue: the document must come out exactly as if each
// picture had been encoded when it was placed, whatever happened to the bitmap between.
#include <gtest/gtest.h>

#include <vector>

#include "tests/writer/WriterTestUtil.h"

namespace qm {
namespace {

using namespace writertest;
using rtftest::TRtfDocument;

std::unique_ptr<TBitmap> Pattern(int AW, int AH, std::uint32_t ASeed) {
  auto bmp = std::make_unique<TBitmap>(AW, AH);
  std::uint32_t state = ASeed;
  for (int y = 0; y < AH; ++y) {
    for (int x = 0; x < AW; ++x) {
      state = state * 1664525u + 1013904223u;
      bmp->SetPixel(x, y, (x * 255 / AW) | ((state >> 24) << 8) | ((y * 255 / AH) << 16));
    }
  }
  return bmp;
}

std::unique_ptr<TkwRTFDoc> PngDoc() {
  auto doc = MakeDoc();
  doc->GetImageSettings().OutputImageFormat = TkwOutputImageFormat::ifPNG;
  doc->BeginDoc();
  return doc;
}

std::vector<std::string> PictureBytes(TkwRTFDoc& ADoc) {
  ADoc.EndDoc();
  std::vector<std::string> out;
  for (const auto& p : TRtfDocument::Parse(ADoc.GetRTFText()).Pictures()) out.push_back(p.Blip + ":" + p.Bytes);
  return out;
}

// Pages of pictures, more on one page than may wait on the queue, placed in another order
// than they were prepared in: the RTF is the one the plain path writes.
TEST(PreparedPictures, DocumentIsTheSameAsWithoutPreparing) {
  std::vector<std::unique_ptr<TBitmap>> bitmaps;
  for (int i = 0; i < 90; ++i) bitmaps.push_back(Pattern(40 + i, 30 + i % 7, static_cast<std::uint32_t>(i)));
  auto plain = PngDoc();
  auto prepared = PngDoc();
  for (int page = 0; page < 2; ++page) {
    for (auto& b : bitmaps) prepared->PreparePicture(*b);
    for (std::size_t k = 0; k < bitmaps.size(); ++k) {
      const std::size_t i = (k * 7) % bitmaps.size();
      const TkwRect rect{double(k), double(page), double(k) + 50, double(page) + 40};
      plain->AddImage(rect, *bitmaps[i]);
      prepared->AddImage(rect, *bitmaps[i]);
    }
    plain->EndPage();
    prepared->EndPage();
    plain->NewPage();
    prepared->NewPage();
  }
  const auto expected = PictureBytes(*plain);
  ASSERT_EQ(expected.size(), 180u);
  EXPECT_EQ(PictureBytes(*prepared), expected);
  EXPECT_EQ(plain->GetRTFText(), prepared->GetRTFText());
}

// What is placed is what the document writes: pixels changed after preparing, a picture
// prepared on an earlier page, and settings changed before placing are not taken from the
// queue's copy.
TEST(PreparedPictures, PlacedStateWins) {
  auto bmp = Pattern(32, 24, 1);
  auto doc = PngDoc();
  doc->PreparePicture(*bmp);
  bmp->SetPixel(5, 5, RGBColor(1, 2, 3));
  doc->AddImage({0, 0, 40, 30}, *bmp);

  auto second = Pattern(32, 24, 2);
  doc->PreparePicture(*second);
  doc->EndPage();  // forgotten: it was not placed on its page
  doc->NewPage();
  second->SetPixel(0, 0, RGBColor(9, 9, 9));
  doc->AddImage({0, 0, 40, 31}, *second);

  auto third = Pattern(16, 16, 3);
  doc->PreparePicture(*third);
  doc->GetImageSettings().OutputImageFormat = TkwOutputImageFormat::ifJPEG;
  doc->AddImage({0, 0, 40, 32}, *third);

  std::vector<std::string> expected;
  {
    auto plain = PngDoc();
    plain->AddImage({0, 0, 40, 30}, *bmp);
    plain->AddImage({0, 0, 40, 31}, *second);
    plain->GetImageSettings().OutputImageFormat = TkwOutputImageFormat::ifJPEG;
    plain->AddImage({0, 0, 40, 32}, *third);
    expected = PictureBytes(*plain);
  }
  const auto got = PictureBytes(*doc);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(got[2].substr(0, 9), "jpegblip:");
}

// Prepared but never placed: no picture in the document, and nothing held after the page.
TEST(PreparedPictures, UnplacedPictureLeavesNoTrace) {
  auto doc = PngDoc();
  {
    auto bmp = Pattern(20, 20, 4);
    doc->PreparePicture(*bmp);
  }
  doc->EndPage();
  EXPECT_EQ(doc->GetImageCount(), 0);
  EXPECT_TRUE(PictureBytes(*doc).empty());
}

// One shared picture prepared and placed many times on a page, as a page that paints one
// image all over does, among pictures of their own: every placement is written as the
// plain path writes it, on this page and the next.
TEST(PreparedPictures, SharedPictureIsWrittenAtEveryPlacement) {
  std::shared_ptr<const TGraphic> shared = Pattern(64, 48, 5);
  auto own = Pattern(30, 20, 6);
  auto plain = PngDoc();
  auto doc = PngDoc();
  for (int page = 0; page < 2; ++page) {
    for (int k = 0; k < 30; ++k) doc->PreparePicture(shared);
    doc->PreparePicture(*own);
    for (int k = 0; k < 30; ++k) {
      const TkwRect rect{double(k * 10), double(page), double(k * 10) + 50, double(page) + 40};
      plain->AddImage(rect, *shared);
      doc->AddImage(rect, *shared);
      if (k == 10) {
        plain->AddImage({0, 500, 30, 520}, *own);
        doc->AddImage({0, 500, 30, 520}, *own);
      }
    }
    plain->EndPage();
    doc->EndPage();
    plain->NewPage();
    doc->NewPage();
  }
  const auto expected = PictureBytes(*plain);
  ASSERT_EQ(expected.size(), 62u);
  EXPECT_EQ(PictureBytes(*doc), expected);
  EXPECT_EQ(plain->GetRTFText(), doc->GetRTFText());
}

}  // namespace
}  // namespace qm
