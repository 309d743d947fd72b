// Images drawn by page content reach the formatter as pictures through the content
// extractor: JPEGs as they are, everything else as bitmaps, masks in the fill colour.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "extract/kwPDFContentExtractor.h"
#include "pdf/content/PageDisplay.h"
#include "platform/JPEGImage.h"
#include "platform/Bitmap.h"
#include "tests/pdf/images/ImageTestSupport.h"

namespace qm {
namespace {

class PictureWriter : public TkwFormatterInput {
public:
  std::vector<std::unique_ptr<TGraphic>> Pictures;
  std::vector<TkwRect> Rects;
  void BeginPage(const TkwPageRecord&) override {}
  void AddGlyph(const TkwGlyphRecord&) override {}
  void AddPicture(const TkwPictureRecord& APicture) override {
    Pictures.push_back(APicture.Graphic->Clone());
    Rects.push_back(APicture.RectPt);
  }
  void EndPage() override {}
};

class PageImages : public ::testing::Test {
protected:
  test::TkwObjectFile F;
  PictureWriter Writer;
  std::vector<std::string> Fonts{"Arial"};

  void Play() {
    F.Load();
    TkwPDFContentExtractor ex(Writer, 3, Fonts);
    DisplayPage(F.Doc(), ex, 1, 72, 72, 0, false, false, false, false);
  }
  static std::uint32_t Px(const TGraphic& AG, int AX, int AY) { return AG.ToBitmap()->GetPixel(AX, AY) & 0xFFFFFF; }
};

TEST_F(PageImages, JpegFlateInlineAndMaskImagesArrive) {
  TBitmap src(8, 8, TPixelFormat::pf24bit);
  src.FillRect(0, 0, 8, 8, 0x00FF00);
  const std::string jpeg = EncodeJpeg(src, 90);
  const int j = F.AddStream("/Type /XObject /Subtype /Image /Width 8 /Height 8 /BitsPerComponent 8 /ColorSpace /DeviceRGB /Filter /DCTDecode", jpeg);
  const int fl = F.AddStream("/Type /XObject /Subtype /Image /Width 2 /Height 1 /BitsPerComponent 8 /ColorSpace /CS0 /Filter /FlateDecode",
                             TkwTestPdf::Deflate(std::string("\x00\xFF", 2)));
  const int m = F.AddStream("/Type /XObject /Subtype /Image /Width 8 /Height 1 /ImageMask true", std::string("\x0F", 1));
  const int dn = F.AddStream("/FunctionType 4 /Domain [0 1] /Range [0 1 0 1 0 1]", "{ 0 0 }");  // tint → (t, 0, 0)
  F.AddPage("q 100 0 0 50 10 20 cm /J Do Q q 10 0 0 10 0 0 cm /F Do Q "
            "q 0 0 1 rg 10 0 0 10 0 0 cm /M Do Q "
            "q 10 0 0 10 0 0 cm BI /W 2 /H 1 /BPC 8 /CS /CS1 ID \x10\xF0 EI Q",
            "/Resources << /XObject << /J " + std::to_string(j) + " 0 R /F " + std::to_string(fl) + " 0 R /M " +
                std::to_string(m) + " 0 R >> /ColorSpace << /CS0 [/Indexed /DeviceRGB 1 <FF000000FF00>] "
                "/CS1 [/DeviceN [/Spot] /DeviceRGB " + std::to_string(dn) + " 0 R] >> >>");
  Play();
  ASSERT_EQ(Writer.Pictures.size(), 4u);
  const auto* asJpeg = dynamic_cast<const TJPEGImage*>(Writer.Pictures[0].get());
  ASSERT_NE(asJpeg, nullptr);
  EXPECT_EQ(asJpeg->GetBytes(), jpeg);
  EXPECT_GT(Writer.Rects[0].Right - Writer.Rects[0].Left, 1.9 * (Writer.Rects[0].Bottom - Writer.Rects[0].Top));

  ASSERT_NE(dynamic_cast<const TBitmap*>(Writer.Pictures[1].get()), nullptr);
  EXPECT_EQ(Px(*Writer.Pictures[1], 0, 0), 0x0000FFu);  // index 0: red from the named Indexed space
  EXPECT_EQ(Px(*Writer.Pictures[1], 1, 0), 0x00FF00u);  // index 255 clipped to 1: green

  EXPECT_EQ(Px(*Writer.Pictures[2], 0, 0), 0xFF0000u);  // painted in the blue fill colour
  EXPECT_EQ(Px(*Writer.Pictures[2], 7, 0), 0xFFFFFFu);

  // The inline image in a DeviceN space goes through its tint transform.
  EXPECT_EQ(Px(*Writer.Pictures[3], 0, 0), 0x000010u);
  EXPECT_EQ(Px(*Writer.Pictures[3], 1, 0), 0x0000F0u);
}

}  // namespace
}  // namespace qm
