#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include "platform/JPEGImage.h"
#include "platform/Metafile.h"
#include "tests/writer/WriterTestUtil.h"

namespace qm {
namespace {

using namespace writertest;
using rtftest::TRtfDocument;

struct Chunk {
  std::string Type;
  std::string Data;
  bool CrcOk;
};

std::vector<Chunk> ReadChunks(const std::string& APng) {
  std::vector<Chunk> out;
  std::size_t pos = 8;
  const auto be32 = [&](std::size_t at) {
    return (static_cast<std::uint32_t>(static_cast<std::uint8_t>(APng[at])) << 24) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(APng[at + 1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<std::uint8_t>(APng[at + 2])) << 8) |
           static_cast<std::uint8_t>(APng[at + 3]);
  };
  while (pos + 12 <= APng.size()) {
    const std::uint32_t len = be32(pos);
    if (pos + 12 + len > APng.size()) break;
    Chunk c{APng.substr(pos + 4, 4), APng.substr(pos + 8, len), false};
    const std::uint32_t crc = static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(APng.data() + pos + 4), len + 4));
    c.CrcOk = crc == be32(pos + 8 + len);
    out.push_back(std::move(c));
    pos += 12 + len;
  }
  return out;
}

TEST(Png, CompressedDataIsCutIntoChunksOf10240) {
  for (const std::size_t size : {std::size_t{20480}, std::size_t{20481}, std::size_t{5}}) {
    const std::string data(size, 'x');
    const auto chunks = ReadChunks(BuildPNG(1, 1, data, std::nullopt));
    std::vector<std::size_t> idat;
    for (const Chunk& c : chunks) {
      EXPECT_TRUE(c.CrcOk) << c.Type;
      if (c.Type == "IDAT") idat.push_back(c.Data.size());
    }
    const std::size_t expected = (size + kPngChunkSize - 1) / kPngChunkSize;
    ASSERT_EQ(idat.size(), expected) << size;
    EXPECT_EQ(idat.back(), size - (expected - 1) * kPngChunkSize);
    EXPECT_EQ(chunks.front().Type, "IHDR");
    EXPECT_EQ(chunks.back().Type, "IEND");
  }
}

TEST(Png, CrcMatchesZlib) {
  const std::string s = "IEND";
  EXPECT_EQ(PngCrc(s) ^ 0xFFFFFFFFu, 0xAE426082u);
}

std::unique_ptr<TBitmap> Noise(int W, int H) {
  auto owned = std::make_unique<TBitmap>(W, H);
  TBitmap& bmp = *owned;
  std::uint32_t state = 12345;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      state = state * 1664525u + 1013904223u;
      bmp.SetPixel(x, y, state >> 8);
    }
  return owned;
}

// Decodes our PNG (8-bit RGB, no interlace) the way a reader does: inflate the IDAT data
// and undo each row's filter. Returns the RGB bytes and the filter types met.
std::string UnfilterPng(const std::string& APng, int AW, int AH, std::set<int>& AFilters) {
  std::string compressed;
  for (const Chunk& c : ReadChunks(APng)) {
    if (c.Type == "IDAT") compressed += c.Data;
  }
  const std::size_t rowBytes = static_cast<std::size_t>(AW) * 3;
  std::string raw((rowBytes + 1) * static_cast<std::size_t>(AH), '\0');
  uLongf rawLen = static_cast<uLongf>(raw.size());
  if (uncompress(reinterpret_cast<Bytef*>(raw.data()), &rawLen, reinterpret_cast<const Bytef*>(compressed.data()),
                 static_cast<uLong>(compressed.size())) != Z_OK ||
      rawLen != raw.size()) {
    return {};
  }
  std::vector<int> out(rowBytes * static_cast<std::size_t>(AH));
  for (int y = 0; y < AH; ++y) {
    const int type = static_cast<std::uint8_t>(raw[static_cast<std::size_t>(y) * (rowBytes + 1)]);
    AFilters.insert(type);
    for (std::size_t i = 0; i < rowBytes; ++i) {
      const int x = static_cast<std::uint8_t>(raw[static_cast<std::size_t>(y) * (rowBytes + 1) + 1 + i]);
      const std::size_t at = static_cast<std::size_t>(y) * rowBytes + i;
      const int a = i >= 3 ? out[at - 3] : 0;
      const int b = y > 0 ? out[at - rowBytes] : 0;
      const int c = y > 0 && i >= 3 ? out[at - rowBytes - 3] : 0;
      int pred = 0;
      switch (type) {
        case 1: pred = a; break;
        case 2: pred = b; break;
        case 3: pred = (a + b) / 2; break;
        case 4: {
          const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
          pred = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
          break;
        }
        default: break;
      }
      out[at] = (x + pred) & 255;
    }
  }
  return std::string(out.begin(), out.end());
}

TEST(Png, ImageDataInflatesToFilteredRows) {
  const auto bmpOwned = Noise(130, 90);
  const TBitmap& bmp = *bmpOwned;  // enough to need several IDAT chunks
  const std::string png = EncodePNG(bmp, 0xFFFFFF);
  std::string compressed;
  bool trns = false;
  int idat = 0;
  for (const Chunk& c : ReadChunks(png)) {
    if (c.Type == "IDAT") { compressed += c.Data; ++idat; }
    if (c.Type == "tRNS") trns = c.Data == std::string("\0\xff\0\xff\0\xff", 6);
  }
  EXPECT_GT(idat, 1);
  EXPECT_TRUE(trns);
  std::set<int> filters;
  const std::string rgb = UnfilterPng(png, 130, 90, filters);
  ASSERT_EQ(rgb.size(), 130u * 90u * 3u);
  const std::uint32_t c = bmp.GetPixel(5, 7);
  EXPECT_EQ(static_cast<std::uint8_t>(rgb[(7 * 130 + 5) * 3]), GetRValue(c));
  EXPECT_EQ(static_cast<std::uint8_t>(rgb[(7 * 130 + 5) * 3 + 2]), GetBValue(c));
}

// Rows of noise, of horizontal, vertical and diagonal gradients: each picks another filter,
// and every one must decode to the bitmap's exact pixels.
TEST(Png, EveryRowFilterDecodesToTheExactPixels) {
  auto bmp = Noise(70, 48);
  for (int y = 12; y < 48; ++y) {
    for (int x = 0; x < 70; ++x) {
      const int v = y < 24 ? x * 3 : y < 36 ? y * 5 : x * 2 + y * 3;
      bmp->SetPixel(x, y, RGBColor(static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(255 - v),
                                   static_cast<std::uint8_t>(v / 2 + (x % 7) * 9)));
    }
  }
  std::set<int> filters;
  const std::string rgb = UnfilterPng(EncodePNG(*bmp, std::nullopt), 70, 48, filters);
  ASSERT_EQ(rgb.size(), 70u * 48u * 3u);
  EXPECT_GE(filters.size(), 3u);
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 70; ++x) {
      const std::uint32_t c = bmp->GetPixel(x, y);
      const std::size_t at = (static_cast<std::size_t>(y) * 70 + static_cast<std::size_t>(x)) * 3;
      ASSERT_EQ(static_cast<std::uint8_t>(rgb[at]), GetRValue(c)) << x << "," << y;
      ASSERT_EQ(static_cast<std::uint8_t>(rgb[at + 1]), GetGValue(c)) << x << "," << y;
      ASSERT_EQ(static_cast<std::uint8_t>(rgb[at + 2]), GetBValue(c)) << x << "," << y;
    }
  }
}

// Smooth pictures must stay small: a filter choice that misses the predictable rows (or
// keeps the first row's choice, made with nothing above it) gives several times the size.
// Each picture is also decoded to its exact pixels.
TEST(Png, SmoothPicturesCompressWell) {
  struct TCase {
    const char* Name;
    decltype(RGBColor(0, 0, 0)) (*Pixel)(int, int);
    std::size_t MaxBytes;
  };
  const TCase cases[] = {
      {"diagonal gradient",
       [](int x, int y) {
         return RGBColor(static_cast<std::uint8_t>(x * 255 / 160), static_cast<std::uint8_t>(y * 255 / 120), 37);
       },
       1500},
      {"texture drifting down the rows",
       [](int x, int y) {
         return RGBColor(static_cast<std::uint8_t>(x * x * 7 + y), static_cast<std::uint8_t>(x * 13 + 2 * y),
                         static_cast<std::uint8_t>(x * x * 3));
       },
       1500},
      {"flat", [](int, int) { return RGBColor(12, 200, 90); }, 600},
  };
  for (const TCase& c : cases) {
    auto bmp = std::make_unique<TBitmap>(160, 120);
    for (int y = 0; y < 120; ++y) {
      for (int x = 0; x < 160; ++x) bmp->SetPixel(x, y, c.Pixel(x, y));
    }
    const std::string png = EncodePNG(*bmp, std::nullopt);
    EXPECT_LE(png.size(), c.MaxBytes) << c.Name;
    std::set<int> filters;
    const std::string rgb = UnfilterPng(png, 160, 120, filters);
    ASSERT_EQ(rgb.size(), 160u * 120u * 3u) << c.Name;
    for (int y = 0; y < 120; y += 7) {
      for (int x = 0; x < 160; x += 3) {
        const std::uint32_t p = c.Pixel(x, y);
        const std::size_t at = (static_cast<std::size_t>(y) * 160 + static_cast<std::size_t>(x)) * 3;
        ASSERT_EQ(static_cast<std::uint8_t>(rgb[at]), GetRValue(p)) << c.Name << " " << x << "," << y;
        ASSERT_EQ(static_cast<std::uint8_t>(rgb[at + 1]), GetGValue(p)) << c.Name << " " << x << "," << y;
        ASSERT_EQ(static_cast<std::uint8_t>(rgb[at + 2]), GetBValue(p)) << c.Name << " " << x << "," << y;
      }
    }
  }
}

// Pictures encoded one after another share the compressor: each must be a stream of its
// own, alike whatever came before.
TEST(Png, EachPictureIsCompressedOnItsOwn) {
  auto small = Noise(9, 5);
  auto large = Noise(130, 90);
  const std::string first = EncodePNG(*small, std::nullopt);
  const std::string other = EncodePNG(*large, 0xFFFFFF);
  EXPECT_EQ(EncodePNG(*small, std::nullopt), first);
  EXPECT_EQ(EncodePNG(*large, 0xFFFFFF), other);
  std::set<int> filters;
  const std::string rgb = UnfilterPng(first, 9, 5, filters);
  ASSERT_EQ(rgb.size(), 9u * 5u * 3u);
  EXPECT_EQ(static_cast<std::uint8_t>(rgb[rgb.size() - 1]), GetBValue(small->GetPixel(8, 4)));
}

// A picture is rendered when it is placed: the caller may change or free its bitmap at once,
// and a graphic listed with AddGraphic can still be placed again later.
TEST(Pictures, PictureShowsTheBitmapAsItWasPlaced) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  auto bmp = std::make_unique<TBitmap>(8, 8);
  bmp->FillRect(0, 0, 8, 8, RGBColor(200, 10, 10));
  doc->AddImage({0, 0, 10, 10}, *bmp);
  const int listed = doc->AddGraphic(*bmp);
  bmp->FillRect(0, 0, 8, 8, RGBColor(10, 10, 200));
  bmp.reset();
  doc->DrawGraphicIndex({20, 20, 30, 30}, listed);
  doc->EndDoc();
  const auto pictures = TRtfDocument::Parse(doc->GetRTFText()).Pictures();
  ASSERT_EQ(pictures.size(), 2u);
  for (const auto& picture : pictures) {
    std::set<int> filters;
    const std::string rgb = UnfilterPng(picture.Bytes, 8, 8, filters);
    ASSERT_EQ(rgb.size(), 8u * 8u * 3u);
    EXPECT_EQ(static_cast<std::uint8_t>(rgb[0]), 200);
    EXPECT_EQ(static_cast<std::uint8_t>(rgb[rgb.size() - 1]), 10);
  }
}

TEST(Png, LibpngDecodesIt) {
  const auto bmpOwned = Noise(64, 48);
  const TBitmap& bmp = *bmpOwned;
  const std::string png = EncodePNG(bmp, std::nullopt);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size())) << image.message;
  image.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) << image.message;
  EXPECT_EQ(image.width, 64u);
  const std::uint32_t c = bmp.GetPixel(10, 20);
  EXPECT_EQ(pixels[(20 * 64 + 10) * 3], GetRValue(c));
  EXPECT_EQ(pixels[(20 * 64 + 10) * 3 + 2], GetBValue(c));
}

std::vector<rtftest::TRtfPicture> PicturesOf(TkwOutputImageFormat AFormat, const TGraphic& AGraphic,
                                             bool ATransparent = false) {
  auto doc = MakeDoc();
  doc->GetImageSettings().OutputImageFormat = AFormat;
  doc->GetImageSettings().Transparent = ATransparent;
  doc->BeginDoc();
  doc->AddImage({10, 20, 110, 70}, AGraphic);
  doc->EndDoc();
  const auto reader = TRtfDocument::Parse(doc->GetRTFText());
  EXPECT_EQ(reader.UnbalancedBraces(), 0);
  return reader.Pictures();
}

// A picture with a soft mask: opaque red on the left, fading out to the right, and fully
// transparent (black, as masked-out samples often are) in the last column.
std::unique_ptr<TBitmap> FadingRed(int AW, int AH) {
  auto bmp = std::make_unique<TBitmap>(AW, AH, TPixelFormat::pf32bit);
  for (int y = 0; y < AH; ++y) {
    auto row = bmp->ScanLine(y);
    for (int x = 0; x < AW; ++x) {
      std::uint8_t* px = row.data() + x * 4;
      const bool last = x == AW - 1;
      px[0] = 0;
      px[1] = 0;
      px[2] = last ? 0 : 255;
      px[3] = last ? 0 : static_cast<std::uint8_t>(255 - x * 255 / AW);
    }
  }
  return bmp;
}

std::vector<unsigned char> DecodeRgba(const std::string& APng, png_image& AImage) {
  AImage = png_image{};
  AImage.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&AImage, APng.data(), APng.size())) return {};
  AImage.format = PNG_FORMAT_RGBA;
  std::vector<unsigned char> pixels(PNG_IMAGE_SIZE(AImage));
  if (!png_image_finish_read(&AImage, nullptr, pixels.data(), 0, nullptr)) return {};
  return pixels;
}

// Readers show an RGBA PNG with what lies under it; drawn on the brush, masked-out
// samples would show as black blocks.
TEST(Pictures, PictureWithAlphaIsAnRgbaPngWithItsAlpha) {
  const auto bmp = FadingRed(16, 4);
  const auto pictures = PicturesOf(TkwOutputImageFormat::ifPNG, *bmp);
  ASSERT_EQ(pictures.size(), 1u);
  EXPECT_EQ(pictures[0].Blip, "pngblip");
  const auto chunks = ReadChunks(pictures[0].Bytes);
  ASSERT_FALSE(chunks.empty());
  EXPECT_EQ(static_cast<int>(chunks[0].Data.at(9)), 6);  // colour type: RGB with alpha
  png_image image;
  const auto rgba = DecodeRgba(pictures[0].Bytes, image);
  ASSERT_EQ(rgba.size(), 16u * 4u * 4u);
  for (int x = 0; x < 16; ++x) {
    const std::size_t at = static_cast<std::size_t>(2 * 16 + x) * 4;
    EXPECT_EQ(rgba[at + 3], bmp->ScanLine(2)[static_cast<std::size_t>(x) * 4 + 3]) << x;
    if (x < 15) {
      EXPECT_EQ(rgba[at], 255) << x;
    }
  }
  // The same picture placed ahead of time on the picture queue gives the same bytes.
  auto doc = MakeDoc();
  doc->BeginDoc();
  doc->PreparePicture(*bmp);
  doc->AddImage({10, 20, 110, 70}, *bmp);
  doc->EndDoc();
  const auto prepared = TRtfDocument::Parse(doc->GetRTFText()).Pictures();
  ASSERT_EQ(prepared.size(), 1u);
  EXPECT_EQ(prepared[0].Bytes, pictures[0].Bytes);
}

// Where the format has no alpha, the picture is laid over white (the brush): a masked-out
// corner is white, a half-transparent red pink.
TEST(Pictures, PictureWithAlphaIsLaidOverTheBrushWithoutAlpha) {
  const auto bmp = FadingRed(16, 4);
  TkwImageSettings settings;
  settings.OutputImageFormat = TkwOutputImageFormat::ifBMP;
  const TkwPictureData data = RenderPictureData(*bmp, settings, TBrush{});
  // The bitmap file without its 14-byte header: 40 bytes of header, then bottom-up rows
  // of blue, green, red.
  const std::string& dib = data.Bytes;
  ASSERT_GT(dib.size(), 40u + 16u * 3u);
  const auto green = [&](int AX) { return static_cast<std::uint8_t>(dib[40 + static_cast<std::size_t>(AX) * 3 + 1]); };
  EXPECT_EQ(green(0), 0);     // opaque red: no green
  EXPECT_EQ(green(15), 255);  // transparent: white
  EXPECT_GT(green(8), 100);   // half way: pink
  EXPECT_LT(green(8), 160);
}

TEST(Pictures, JpegIsWrittenUnchanged) {
  TJPEGImage jpeg;
  jpeg.Assign(*Noise(20, 10), 90);
  const auto pics = PicturesOf(TkwOutputImageFormat::ifPNG, jpeg);
  ASSERT_EQ(pics.size(), 1u);
  EXPECT_EQ(pics[0].Blip, "jpegblip");
  EXPECT_EQ(pics[0].Bytes, jpeg.GetBytes() + std::string("\x03\0\0\0\0\0", 6));
  EXPECT_EQ(pics[0].GoalWidth, 1500);
  EXPECT_EQ(pics[0].GoalHeight, 750);
}

// A picture that cannot be encoded is left out and noted; a good one next to it is not.
TEST(Pictures, APictureThatCannotBeEncodedIsNoted) {
  for (const auto format : {TkwOutputImageFormat::ifPNG, TkwOutputImageFormat::ifJPEG}) {
    TkwDiagnostics diag;
    auto doc = MakeDoc();
    doc->SetDiagnostics(&diag);
    doc->GetImageSettings().OutputImageFormat = format;
    doc->BeginDoc();
    const TJPEGImage broken(std::string("\xFF\xD8 not a picture"));
    TJPEGImage good;
    good.Assign(*Noise(20, 10), 90);
    doc->AddImage({10, 20, 110, 70}, broken);
    doc->AddImage({10, 80, 110, 130}, good);
    doc->EndDoc();
    EXPECT_EQ(diag.Count(TkwDiagCode::dcPictureDropped), 1);
    EXPECT_EQ(diag.Count(TkwDiagCode::dcWriterFallback), 0);
  }
}

// A CMYK JPEG of AW × AH pixels, made with libjpeg.
std::string CmykJpeg(int AW, int AH) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buf, &size);
  cinfo.image_width = static_cast<JDIMENSION>(AW);
  cinfo.image_height = static_cast<JDIMENSION>(AH);
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(AW) * 4, 100);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPLE* line = row.data();
    jpeg_write_scanlines(&cinfo, &line, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::string out(reinterpret_cast<char*>(buf), size);
  std::free(buf);
  jpeg_destroy_compress(&cinfo);
  return out;
}

// A JPEG that cannot go into the file as it came is converted, and that is noted.
TEST(Pictures, ACmykJpegIsConvertedAndNoted) {
  TkwDiagnostics diag;
  auto doc = MakeDoc();
  doc->SetDiagnostics(&diag);
  doc->GetImageSettings().OutputImageFormat = TkwOutputImageFormat::ifPNG;
  doc->BeginDoc();
  const TJPEGImage cmyk(CmykJpeg(8, 4));
  ASSERT_EQ(cmyk.GetComponents(), 4);
  TJPEGImage rgb;
  rgb.Assign(*Noise(20, 10), 90);
  doc->AddImage({10, 20, 110, 70}, cmyk);
  doc->AddImage({10, 80, 110, 130}, rgb);
  doc->EndDoc();
  const auto pics = TRtfDocument::Parse(doc->GetRTFText()).Pictures();
  ASSERT_EQ(pics.size(), 2u);
  EXPECT_EQ(pics[0].Blip, "pngblip");
  EXPECT_EQ(diag.Count(TkwDiagCode::dcWriterFallback), 1);
  EXPECT_EQ(diag.Count(TkwDiagCode::dcPictureDropped), 0);
}

TEST(Pictures, TransparentJpegTakesTheConfiguredFormat) {
  TJPEGImage jpeg;
  jpeg.Assign(*Noise(20, 10), 90);
  const auto pics = PicturesOf(TkwOutputImageFormat::ifPNG, jpeg, true);
  ASSERT_EQ(pics.size(), 1u);
  EXPECT_EQ(pics[0].Blip, "pngblip");
  EXPECT_EQ(pics[0].Bytes.substr(1, 3), "PNG");
}

TEST(Pictures, EachOutputFormat) {
  const auto bmpOwned = Noise(12, 1);
  const TBitmap& bmp = *bmpOwned;
  struct Case {
    TkwOutputImageFormat Format;
    std::string Blip;
    std::string Magic;
  };
  const Case cases[] = {
      {TkwOutputImageFormat::ifPNG, "pngblip", "\x89PNG"},
      {TkwOutputImageFormat::ifJPEG, "jpegblip", "\xFF\xD8"},
      {TkwOutputImageFormat::ifMetafile, "emfblip", std::string("\x01\0\0\0", 4)},
      {TkwOutputImageFormat::ifBMP, "wmetafile", std::string("\x01\0\x09\0", 4)},
  };
  for (const Case& c : cases) {
    const auto pics = PicturesOf(c.Format, bmp);
    ASSERT_EQ(pics.size(), 1u);
    EXPECT_EQ(pics[0].Blip, c.Blip);
    EXPECT_EQ(pics[0].Bytes.substr(0, c.Magic.size()), c.Magic) << c.Blip;
    EXPECT_EQ(pics[0].Bytes.substr(pics[0].Bytes.size() - 6), std::string("\x03\0\0\0\0\0", 6));
  }
  // a one-line bitmap is made two lines high for JPEG
  const auto jpegs = PicturesOf(TkwOutputImageFormat::ifJPEG, bmp);
  EXPECT_EQ(ReadJpegFrameInfo(jpegs[0].Bytes)->Height, 2);
}

TEST(Pictures, SameRectangleTwiceGivesOnePicture) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  const auto bmpOwned = Noise(4, 4);
  const TBitmap& bmp = *bmpOwned;
  doc->AddImage({0, 0, 10, 10}, bmp);
  doc->AddImage({0, 0, 10, 10}, bmp);
  doc->AddImage({0, 0, 10, 11}, bmp);
  doc->NewPage();
  doc->AddImage({0, 0, 10, 11}, bmp);  // a new page forgets the last rectangle
  doc->DrawGraphicIndex({5, 5, 9, 9}, 0);
  doc->DrawGraphicIndex({5, 5, 9, 9}, 42);  // no such picture
  doc->DrawGraphic(bmp, 1, 1);
  EXPECT_EQ(doc->GetImageCount(), 4);
  doc->EndDoc();
  EXPECT_EQ(TRtfDocument::Parse(doc->GetRTFText()).Pictures().size(), 5u);
}

class OtherGraphic final : public TGraphic {
public:
  int GetWidth() const override { return 1; }
  int GetHeight() const override { return 1; }
  std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<OtherGraphic>(); }
  std::unique_ptr<TBitmap> ToBitmap() const override { return std::make_unique<TBitmap>(1, 1); }
};

TEST(Pictures, UnknownGraphicClass) {
  auto doc = MakeDoc();
  doc->BeginDoc();
  OtherGraphic other;
  try {
    doc->AddGraphic(other);
    FAIL();
  } catch (const EUnsupportedGraphics& e) {
    EXPECT_STREQ(e.what(), "Unknown Graphics format");
  }
  int reported = 0;
  doc->SetErrorHandler([&](TkwObject&, const std::exception&) { ++reported; });
  EXPECT_EQ(doc->AddGraphic(other), -1);
  doc->AddImage({0, 0, 5, 5}, other);
  EXPECT_EQ(reported, 2);
  EXPECT_EQ(doc->GetImageCount(), 0);
}

TEST(Pictures, UnrenderablePictureKeepsOnlyTheBlipWord) {
  TBitmap empty;
  auto doc = MakeDoc();
  doc->BeginDoc();
  doc->AddImage({0, 0, 5, 5}, empty);
  doc->EndDoc();
  EXPECT_TRUE(Contains(doc->GetRTFText(), "\\pichgoal75\\pngblip}}}"));
}

}  // namespace
}  // namespace qm
