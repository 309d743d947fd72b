#include "pdf/images/kwPDImage.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "pdf/content/ContentBridge.h"
#include "pdf/core/kwPDBaseObject.h"
#include "platform/JPEGImage.h"
#include "platform/Bitmap.h"
#include "tests/pdf/images/ImageTestSupport.h"

namespace qm {
namespace {

class Images : public ::testing::Test {
protected:
  test::TkwObjectFile F;
  std::unique_ptr<TkwPDImage> Image(int ANum) {
    auto* st = static_cast<TkwPDStream*>(F.Get(ANum));
    return std::make_unique<TkwPDImage>(st, &F.Doc(), nullptr, "Im0");
  }
  static std::uint32_t Px(const TBitmap& ABmp, int AX, int AY) { return ABmp.GetPixel(AX, AY) & 0xFFFFFF; }
  static int Alpha(const TBitmap& ABmp, int AX, int AY) {
    return ABmp.ScanLine(AY)[static_cast<std::size_t>(AX) * 4 + 3];
  }
};

TEST_F(Images, KeysAndInlineAbbreviationsAreRead) {
  const int a = F.AddStream("/Subtype /Image /Width 3 /Height 2 /BitsPerComponent 8 /ColorSpace /DeviceGray", "abcdef");
  const int b = F.AddStream("/W 3 /H 1 /BPC 4 /CS /RGB /D [1 0 1 0 1 0]", "abcde");
  const int c = F.AddStream("/IM true /W 8 /H 1", "a");
  const int d = F.AddStream("/Width 2.5 /BitsPerComponent /x", "");
  F.Load();
  auto ia = Image(a);
  EXPECT_EQ(ia->GetWidth(), 3);
  EXPECT_EQ(ia->GetHeight(), 2);
  EXPECT_EQ(ia->GetBitsPerComponent(), 8);
  ASSERT_TRUE(ia->GetColorSpace());
  EXPECT_EQ(ia->GetColorSpace()->GetMode(), TkwColorSpaceMode::csDeviceGray);
  auto ib = Image(b);
  EXPECT_EQ(ib->GetBitsPerComponent(), 4);
  ASSERT_TRUE(ib->GetColorMap());
  EXPECT_TRUE(ib->GetColorMap()->IsOk());
  EXPECT_EQ(ib->GetColorSpace()->GetNoOfComps(), 3);
  auto ic = Image(c);
  EXPECT_TRUE(ic->GetImageMask());
  EXPECT_EQ(ic->GetBitsPerComponent(), 1);
  EXPECT_EQ(ic->GetColorSpace(), nullptr);
  auto id = Image(d);
  EXPECT_EQ(id->GetWidth(), -1);
  EXPECT_EQ(id->GetHeight(), 0);
  EXPECT_EQ(id->GetBitsPerComponent(), -1);
  EXPECT_FALSE(id->RenderBitmap());
}

TEST_F(Images, SamplesOfEveryDepthUnpack) {
  // 4-bit RGB: F0 00 F0 → (15, 0, 0) (0, 15, 0).
  const int four = F.AddStream("/Width 2 /Height 1 /BitsPerComponent 4 /ColorSpace /DeviceRGB", std::string("\xF0\x0\xF0", 3));
  const int sixteen = F.AddStream("/Width 1 /Height 1 /BitsPerComponent 16 /ColorSpace /DeviceGray", std::string("\x80\x00", 2));
  const int two = F.AddStream("/Width 4 /Height 1 /BitsPerComponent 2 /ColorSpace /DeviceGray", std::string("\x1B", 1));
  F.Load();
  auto bmp = Image(four)->RenderBitmap();
  ASSERT_TRUE(bmp);
  EXPECT_EQ(Px(*bmp, 0, 0), 0x0000FFu);  // red (0x00BBGGRR)
  EXPECT_EQ(Px(*bmp, 1, 0), 0x00FF00u);  // green
  auto b16 = Image(sixteen)->RenderBitmap();
  ASSERT_TRUE(b16);
  EXPECT_EQ(Px(*b16, 0, 0), 0x808080u);
  auto b2 = Image(two)->RenderBitmap();  // 0 1 2 3 → 0 85 170 255
  ASSERT_TRUE(b2);
  EXPECT_EQ(Px(*b2, 0, 0), 0x000000u);
  EXPECT_EQ(Px(*b2, 1, 0), 0x555555u);
  EXPECT_EQ(Px(*b2, 3, 0), 0xFFFFFFu);
}

TEST_F(Images, OneBitGrayBecomesAPBMOfInvertedBytes) {
  const std::string rows("\xF0\x0F\xAA\x55", 4);  // 10 pixels wide: two bytes a row
  const int g = F.AddStream("/Width 10 /Height 2 /BitsPerComponent 1 /ColorSpace /DeviceGray", rows);
  const int inv = F.AddStream("/Width 10 /Height 2 /BitsPerComponent 1 /ColorSpace /DeviceGray /Decode [1 0]", rows);
  F.Load();
  std::string out;
  TkwOutFormat fmt = TkwOutFormat::ofBMP;
  ASSERT_TRUE(Image(g)->SaveToStream(out, true, fmt));
  EXPECT_EQ(fmt, TkwOutFormat::ofPBM);
  EXPECT_EQ(out, std::string("P4\r10 2\r") + std::string("\x0F\xF0\x55\xAA", 4));
  ASSERT_TRUE(Image(inv)->SaveToStream(out, false, fmt));
  EXPECT_EQ(fmt, TkwOutFormat::ofPBM);
  EXPECT_EQ(out.substr(8), rows);  // already black-is-1
  // As a bitmap: an 8-bit gray picture with the same pixels.
  auto bmp = Image(g)->RenderBitmap();
  ASSERT_TRUE(bmp);
  EXPECT_EQ(bmp->GetPixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(Px(*bmp, 0, 0), 0xFFFFFFu);
  EXPECT_EQ(Px(*bmp, 4, 0), 0x000000u);
}

TEST_F(Images, TooLargeOrMalformedImagesAreSkipped) {
  const int wide = F.AddStream("/Width 70000 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray", "x");
  const int many = F.AddStream("/Width 65536 /Height 65536 /BitsPerComponent 8 /ColorSpace /DeviceGray", "x");
  const int badDecode = F.AddStream("/Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceRGB /Decode [0 1]", "abc");
  const int badBits = F.AddStream("/Width 1 /Height 1 /BitsPerComponent 5 /ColorSpace /DeviceRGB", "abc");
  const int noSpace = F.AddStream("/Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /Nowhere", "abc");
  const int shortData = F.AddStream("/Width 2 /Height 2 /BitsPerComponent 8 /ColorSpace /DeviceGray", std::string("\xFF", 1));
  F.Load();
  EXPECT_FALSE(Image(wide)->RenderBitmap());
  EXPECT_FALSE(Image(many)->RenderBitmap());
  std::string out;
  TkwOutFormat fmt = TkwOutFormat::ofBMP;
  EXPECT_FALSE(Image(many)->SaveToStream(out, TkwOutFormat::ofBMP));
  EXPECT_FALSE(Image(badDecode)->RenderBitmap());
  EXPECT_FALSE(Image(badBits)->RenderBitmap());
  EXPECT_FALSE(Image(noSpace)->SaveToStream(out, true, fmt));
  // Truncated data: what is there is shown, the rest is 0.
  auto bmp = Image(shortData)->RenderBitmap();
  ASSERT_TRUE(bmp);
  EXPECT_EQ(Px(*bmp, 0, 0), 0xFFFFFFu);
  EXPECT_EQ(Px(*bmp, 1, 1), 0x000000u);
}

TEST_F(Images, MasksOfAnImageOverTheCapsAreNotBuilt) {
  // The masks would be scaled to 20000 x 20000 (400 MB, seconds of work) for an image that
  // is skipped anyway (fuzz finding).
  const int soft = F.AddStream("/Width 2 /Height 2 /BitsPerComponent 8 /ColorSpace /DeviceGray", "abcd");
  const int hard = F.AddStream("/ImageMask true /Width 2 /Height 2", "ab");
  const int huge = F.AddStream("/Width 20000 /Height 20000 /BitsPerComponent 8 /ColorSpace /DeviceRGB /Filter /DCTDecode /SMask " +
                                   std::to_string(soft) + " 0 R",
                               "x");
  const int wide = F.AddStream("/Width 70000 /Height 2 /BitsPerComponent 8 /ColorSpace /DeviceGray /Mask " +
                                   std::to_string(hard) + " 0 R",
                               "x");
  F.Load();
  const auto start = std::chrono::steady_clock::now();
  for (int num : {huge, wide}) {
    auto img = Image(num);
    (void)img->PassesJpeg();
    std::string out;
    TkwOutFormat fmt = TkwOutFormat::ofBMP;
    EXPECT_FALSE(img->SaveToStream(out, true, fmt));
    EXPECT_TRUE(out.empty());
  }
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.0);
}

TEST_F(Images, ImageMaskPaintsInTheFillColour) {
  const int m = F.AddStream("/ImageMask true /Width 8 /Height 1", std::string("\x0F", 1));
  const int inv = F.AddStream("/ImageMask true /Width 8 /Height 1 /Decode [1 0]", std::string("\x0F", 1));
  F.Load();
  auto img = Image(m);
  img->SetFillColor(TkwRGB{65536, 0, 0});
  auto bmp = img->RenderBitmap();
  ASSERT_TRUE(bmp);
  EXPECT_EQ(bmp->GetPixelFormat(), TPixelFormat::pf32bit);
  EXPECT_EQ(Px(*bmp, 0, 0), 0x0000FFu);  // sample 0: painted red
  EXPECT_EQ(Alpha(*bmp, 0, 0), 255);
  EXPECT_EQ(Px(*bmp, 7, 0), 0xFFFFFFu);  // sample 1: left alone
  EXPECT_EQ(Alpha(*bmp, 7, 0), 0);
  auto b2 = Image(inv)->RenderBitmap();
  ASSERT_TRUE(b2);
  EXPECT_EQ(Alpha(*b2, 0, 0), 0);
  EXPECT_EQ(Alpha(*b2, 7, 0), 255);
}

TEST_F(Images, ColourKeyExplicitAndSoftMasks) {
  const std::string rgb("\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF\x10\x10\x10", 12);  // red green blue dark
  const int key = F.AddStream("/Width 4 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceRGB /Mask [0 5 250 255 0 5]", rgb);
  const int mask = F.AddStream("/Type /XObject /Subtype /Image /ImageMask true /Width 2 /Height 1", std::string("\x40", 1));
  const int withMask = F.AddStream("/Width 4 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceRGB /Mask 4 0 R", rgb);
  const int soft = F.AddStream("/Width 4 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray", std::string("\x00\x80\xFF\x40", 4));
  const int withSoft = F.AddStream("/Width 4 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceRGB /SMask 6 0 R", rgb);
  const int oddKey = F.AddStream("/Width 4 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceRGB /Mask [0 5]", rgb);
  F.Load();
  (void)mask;
  (void)soft;

  auto k = Image(key)->RenderBitmap();
  ASSERT_TRUE(k);
  EXPECT_EQ(Px(*k, 0, 0), 0x0000FFu);
  EXPECT_EQ(Px(*k, 1, 0), 0xFFFFFFu);  // green lies inside the key ranges
  EXPECT_EQ(Px(*k, 2, 0), 0xFF0000u);
  // Keyed samples are transparent, so that what lies under the image shows through.
  ASSERT_EQ(k->GetPixelFormat(), TPixelFormat::pf32bit);
  EXPECT_EQ(Alpha(*k, 1, 0), 0);
  EXPECT_EQ(Alpha(*k, 0, 0), 255);

  // The 2-pixel mask stretches over 4: samples 0 1 → pixels 0 0 1 1; 0 paints.
  auto m = Image(withMask)->RenderBitmap();
  ASSERT_TRUE(m);
  EXPECT_EQ(m->GetPixelFormat(), TPixelFormat::pf32bit);
  EXPECT_EQ(Px(*m, 0, 0), 0x0000FFu);
  EXPECT_EQ(Alpha(*m, 1, 0), 255);
  EXPECT_EQ(Px(*m, 2, 0), 0xFFFFFFu);
  EXPECT_EQ(Alpha(*m, 3, 0), 0);

  auto s = Image(withSoft)->RenderBitmap();
  ASSERT_TRUE(s);
  EXPECT_EQ(Alpha(*s, 0, 0), 0);
  EXPECT_EQ(Alpha(*s, 1, 0), 128);
  EXPECT_EQ(Alpha(*s, 2, 0), 255);
  EXPECT_EQ(Px(*s, 2, 0), 0xFF0000u);  // colours stay under the alpha

  // A key array that does not fit the space is ignored.
  auto o = Image(oddKey)->RenderBitmap();
  ASSERT_TRUE(o);
  EXPECT_EQ(Px(*o, 1, 0), 0x00FF00u);
}

TEST_F(Images, DeviceNImagesGoThroughTheTintTransform) {
  const int fn = F.AddStream("/FunctionType 4 /Domain [0 1 0 1] /Range [0 1 0 1 0 1]", "{ 0 }");  // (a, b) → (a, b, 0)
  const int img = F.AddStream("/Width 2 /Height 1 /BitsPerComponent 8 /ColorSpace [/DeviceN [/A /B] /DeviceRGB 3 0 R]",
                              std::string("\xFF\x00\x00\xFF", 4));
  F.Load();
  (void)fn;
  auto bmp = Image(img)->RenderBitmap();
  ASSERT_TRUE(bmp);
  EXPECT_EQ(Px(*bmp, 0, 0), 0x0000FFu);
  EXPECT_EQ(Px(*bmp, 1, 0), 0x00FF00u);
}

TEST_F(Images, DCTDataPassesThroughUnlessInlineOrMasked) {
  TBitmap src(16, 8, TPixelFormat::pf24bit);
  src.FillRect(0, 0, 8, 8, 0x0000FF);
  src.FillRect(8, 0, 16, 8, 0xFF0000);
  const std::string jpeg = EncodeJpeg(src, 95);
  ASSERT_FALSE(jpeg.empty());
  const int x = F.AddStream("/Width 16 /Height 8 /BitsPerComponent 8 /ColorSpace /DeviceRGB /Filter /DCTDecode", jpeg);
  const int soft = F.AddStream("/Width 16 /Height 8 /BitsPerComponent 8 /ColorSpace /DeviceGray", std::string(128, '\xFF'));
  const int masked = F.AddStream("/Width 16 /Height 8 /BitsPerComponent 8 /ColorSpace /DeviceRGB /Filter /DCTDecode /SMask 4 0 R", jpeg);
  F.Load();
  (void)soft;
  std::string out;
  TkwOutFormat fmt = TkwOutFormat::ofBMP;
  auto img = Image(x);
  ASSERT_TRUE(img->SaveToStream(out, true, fmt));
  EXPECT_EQ(fmt, TkwOutFormat::ofJPEG);
  EXPECT_EQ(out, jpeg);
  EXPECT_FALSE(Image(masked)->PassesJpeg());

  // The same data inline is decoded into a bitmap.
  auto dict = std::make_unique<TkwPDDictionary>();
  dict->Add("W", std::make_unique<TkwPDInteger>(16));
  dict->Add("H", std::make_unique<TkwPDInteger>(8));
  dict->Add("BPC", std::make_unique<TkwPDInteger>(8));
  dict->Add("CS", std::make_unique<TkwPDName>("RGB"));
  dict->Add("F", std::make_unique<TkwPDName>("DCT"));
  auto inl = content::MakeInlineImage(std::move(dict), jpeg, nullptr, nullptr);
  ASSERT_TRUE(inl);
  EXPECT_FALSE(inl->Image().PassesJpeg());
  ASSERT_TRUE(inl->Image().SaveToStream(out, true, fmt));
  EXPECT_EQ(fmt, TkwOutFormat::ofBMP);
  EXPECT_EQ(out.substr(0, 2), "BM");
  auto bmp = inl->Image().RenderBitmap();
  ASSERT_TRUE(bmp);
  const std::uint32_t left = Px(*bmp, 2, 4), right = Px(*bmp, 13, 4);
  EXPECT_GT(GetRValue(left), 200);
  EXPECT_LT(GetBValue(left), 60);
  EXPECT_GT(GetBValue(right), 200);
  EXPECT_LT(GetRValue(right), 60);
}

}  // namespace
}  // namespace qm
