#include "writer/kwRTFPicture.h"

#include <array>
#include <cmath>
#include <stdexcept>

#include <zlib.h>

#include "base/Numbers.h"
#include "platform/Jpeg.h"
#include "platform/Metafile.h"

namespace qm {

namespace {

constexpr std::array<std::uint32_t, 256> MakeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}
constexpr auto kCrcTable = MakeCrcTable();

void PutBE32(std::string& AOut, std::uint32_t AValue) {
  AOut.push_back(static_cast<char>(AValue >> 24));
  AOut.push_back(static_cast<char>(AValue >> 16));
  AOut.push_back(static_cast<char>(AValue >> 8));
  AOut.push_back(static_cast<char>(AValue));
}

void PutChunk(std::string& AOut, std::string_view AType, std::string_view AData) {
  PutBE32(AOut, static_cast<std::uint32_t>(AData.size()));
  const std::size_t start = AOut.size();
  AOut += AType;
  AOut += AData;
  const std::uint32_t crc = PngCrc(std::string_view(AOut).substr(start)) ^ 0xFFFFFFFFu;
  PutBE32(AOut, crc);
}

std::string Deflate(std::string_view ARaw) {
  uLongf bound = compressBound(static_cast<uLong>(ARaw.size()));
  std::string out(bound, '\0');
  const int rc = compress2(reinterpret_cast<Bytef*>(out.data()), &bound,
                           reinterpret_cast<const Bytef*>(ARaw.data()),
                           static_cast<uLong>(ARaw.size()), Z_BEST_COMPRESSION);
  if (rc != Z_OK) throw std::runtime_error("PNG compression failed");
  out.resize(bound);
  return out;
}

// The bitmap the bitmap-based outputs encode: the graphic's own size, filled with the
// brush, the graphic drawn at the origin.
std::unique_ptr<TBitmap> RenderBitmap(const TGraphic& AGraphic, const TkwImageSettings& ASettings,
                                      const TBrush& ABrush) {
  auto bmp = std::make_unique<TBitmap>(AGraphic.GetWidth(), AGraphic.GetHeight(), ASettings.ImagePixelFormat);
  if (bmp->IsEmpty()) throw std::runtime_error("Empty picture");
  const std::uint32_t background = ColorToRGB(ABrush.Color);
  bmp->FillRect(0, 0, bmp->GetWidth(), bmp->GetHeight(), background);
  AGraphic.Draw(*bmp, 0, 0);
  if (ASettings.Transparent) {
    bmp->FTransparent = true;
    bmp->FTransparentColor = background;
  }
  return bmp;
}

}  // namespace

std::uint32_t PngCrc(std::string_view ABytes, std::uint32_t ACrc) {
  std::uint32_t c = ACrc;
  for (const char ch : ABytes) c = kCrcTable[(c ^ static_cast<std::uint8_t>(ch)) & 0xFF] ^ (c >> 8);
  return c;
}

std::string BuildPNG(int AWidth, int AHeight, std::string_view ACompressed,
                     std::optional<std::uint32_t> ATransparent) {
  std::string out = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  PutBE32(ihdr, static_cast<std::uint32_t>(AWidth));
  PutBE32(ihdr, static_cast<std::uint32_t>(AHeight));
  ihdr += std::string_view("\x08\x02\x00\x00\x00", 5);
  PutChunk(out, "IHDR", ihdr);
  if (ATransparent) {
    const std::uint32_t c = *ATransparent;
    const char trns[6] = {0, static_cast<char>(GetRValue(c)), 0, static_cast<char>(GetGValue(c)),
                          0, static_cast<char>(GetBValue(c))};
    PutChunk(out, "tRNS", std::string_view(trns, 6));
  }
  for (std::size_t pos = 0; pos < ACompressed.size(); pos += kPngChunkSize) {
    PutChunk(out, "IDAT", ACompressed.substr(pos, kPngChunkSize));
  }
  PutChunk(out, "IEND", {});
  return out;
}

std::string EncodePNG(const TBitmap& ABitmap, std::optional<std::uint32_t> ATransparent) {
  const int w = ABitmap.GetWidth();
  const int h = ABitmap.GetHeight();
  std::string raw;
  raw.reserve((static_cast<std::size_t>(w) * 3 + 1) * static_cast<std::size_t>(h));
  for (int y = 0; y < h; ++y) {
    raw.push_back('\0');  // filter: none
    if (ABitmap.GetBitsPerPixel() == 24) {
      const auto line = ABitmap.ScanLine(y);
      for (int x = 0; x < w; ++x) {
        const std::size_t i = static_cast<std::size_t>(x) * 3;
        raw.push_back(static_cast<char>(line[i + 2]));
        raw.push_back(static_cast<char>(line[i + 1]));
        raw.push_back(static_cast<char>(line[i]));
      }
    } else {
      for (int x = 0; x < w; ++x) {
        const std::uint32_t c = ABitmap.GetPixel(x, y);
        raw.push_back(static_cast<char>(GetRValue(c)));
        raw.push_back(static_cast<char>(GetGValue(c)));
        raw.push_back(static_cast<char>(GetBValue(c)));
      }
    }
  }
  return BuildPNG(w, h, Deflate(raw), ATransparent);
}

void AppendHex(std::string& AOut, std::string_view ABytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const std::size_t start = AOut.size();
  AOut.resize(start + ABytes.size() * 2);
  char* p = AOut.data() + start;
  for (const char ch : ABytes) {
    const auto b = static_cast<std::uint8_t>(ch);
    *p++ = kDigits[b >> 4];
    *p++ = kDigits[b & 15];
  }
}

TkwPictureData RenderPictureData(const TGraphic& AGraphic, const TkwImageSettings& ASettings,
                                 const TBrush& ABrush, double ATargetWidth, double ATargetHeight) {
  TkwPictureData data;
  data.Width = AGraphic.GetWidth();
  data.Height = AGraphic.GetHeight();
  // JPEG data goes into the file as it came: smaller, and no second lossy pass. CMYK
  // JPEGs are converted, because word processors show them with inverted colours.
  if (const auto* jpeg = dynamic_cast<const TJPEGImage*>(&AGraphic);
      jpeg && !ASettings.Transparent && !jpeg->IsEmpty() &&
      (jpeg->GetComponents() == 1 || jpeg->GetComponents() == 3)) {
    data.BlipWord = "\\jpegblip";
    data.Bytes = jpeg->GetBytes();
    return data;
  }
  using enum TkwOutputImageFormat;
  switch (ASettings.OutputImageFormat) {
    case ifJPEG: data.BlipWord = "\\jpegblip"; break;
    case ifPNG: data.BlipWord = "\\pngblip"; break;
    case ifMetafile: data.BlipWord = "\\emfblip"; break;
    default: data.BlipWord = "\\wmetafile8"; break;
  }
  try {
    switch (ASettings.OutputImageFormat) {
      case ifJPEG: {
        auto bmp = RenderBitmap(AGraphic, ASettings, ABrush);
        if (bmp->GetHeight() == 1) {
          // Some readers reject a JPEG one line high.
          auto taller = std::make_unique<TBitmap>(bmp->GetWidth(), 2, TPixelFormat::pf24bit);
          bmp->Draw(*taller, 0, 0);
          bmp->Draw(*taller, 0, 1);
          bmp = std::move(taller);
        }
        data.Bytes = EncodeJpeg(*bmp, ASettings.JPEGQuality);
        break;
      }
      case ifPNG: {
        auto bmp = RenderBitmap(AGraphic, ASettings, ABrush);
        std::optional<std::uint32_t> transparent;
        if (bmp->FTransparent) transparent = bmp->FTransparentColor;
        data.Bytes = EncodePNG(*bmp, transparent);
        break;
      }
      case ifMetafile: {
        const int w = RoundEven(ATargetWidth > 0 ? ATargetWidth : AGraphic.GetWidth());
        const int h = RoundEven(ATargetHeight > 0 ? ATargetHeight : AGraphic.GetHeight());
        TMetafile emf(w, h);
        TBitmap& canvas = emf.Canvas();
        if (canvas.IsEmpty()) throw std::runtime_error("Empty picture");
        if (ASettings.CenterInFrame && !ASettings.ScaleToFrame) {
          AGraphic.Draw(canvas, (w - AGraphic.GetWidth()) / 2, (h - AGraphic.GetHeight()) / 2);
        } else {
          AGraphic.StretchDraw(canvas, 0, 0, w, h);
        }
        data.Width = w;
        data.Height = h;
        data.Bytes = emf.SaveToEMF();
        break;
      }
      default: {
        auto bmp = RenderBitmap(AGraphic, ASettings, ABrush);
        const std::string file = bmp->SaveToBMP();
        data.HexPrefix = WmfHeaderHex(static_cast<std::uint32_t>(file.size()), bmp->GetWidth(),
                                      bmp->GetHeight());
        data.Bytes = file.substr(14);
        break;
      }
    }
  } catch (const std::exception&) {
    data.Bytes.clear();
    data.HexPrefix.clear();
  }
  return data;
}

// ---------------------------------------------------------------------------------------

TkwRTFPicture::TkwRTFPicture(const TGraphic& AGraphic, const TkwImageSettings& ASettings,
                             const TBrush& ABrush, const TkwRect& ARect, int AImageIndex)
    : Brush(ABrush), FGraphic(AGraphic), FRect(ARect), FImageIndex(AImageIndex) {
  ImageSettings.Assign(ASettings);
}

void TkwRTFPicture::Write(std::string& AOut) {
  const int w = NativeToTwips(FRect.Right - FRect.Left);
  const int h = NativeToTwips(FRect.Bottom - FRect.Top);
  AOut += "{\\shp{\\*\\shpinst\\shpleft";
  AppendTwips(AOut, FRect.Left);
  AOut += "\\shptop";
  AppendTwips(AOut, FRect.Top);
  AOut += "\\shpright";
  AppendTwips(AOut, FRect.Right);
  AOut += "\\shpbottom";
  AppendTwips(AOut, FRect.Bottom);
  AOut += "\\shpfhdr0\\shpbxcolumn\\shpbxignore\\shpbypara\\shpbyignore\\shpwr3\\shpwrk0\\shpfblwtxt";
  AOut += ImageSettings.BehindText ? "1" : "0";
  AOut += "\\shpz0{\\sp{\\sn shapeType}{\\sv 75}}{\\sp{\\sn fFlipH}{\\sv 0}}{\\sp{\\sn fFlipV}{\\sv 0}}"
          "{\\sp{\\sn pib}{\\sv{\\pict\\picw";
  AppendInt(AOut, w);
  AOut += "\\pich";
  AppendInt(AOut, h);
  AOut += "\\picwgoal";
  AppendInt(AOut, w);
  AOut += "\\pichgoal";
  AppendInt(AOut, h);
  const TkwPictureData data =
      RenderPictureData(FGraphic, ImageSettings, Brush, FRect.Right - FRect.Left, FRect.Bottom - FRect.Top);
  AOut += data.BlipWord;
  if (!data.Bytes.empty()) {
    AOut += "\\picbmp\\picbpp4 ";
    AOut += data.HexPrefix;
    AppendHex(AOut, data.Bytes);
    AOut += "030000000000";
  }
  AOut += "}}}";
  AOut += "{\\sp{\\sn pibFlags}{\\sv 2}}{\\sp{\\sn fRecolorFillAsPicture}{\\sv 0}}"
          "{\\sp{\\sn fUseShapeAnchor}{\\sv 0}}{\\sp{\\sn fLine}{\\sv 0}}";
  AOut += ImageSettings.BehindText ? "{\\sp{\\sn fBehindDocument}{\\sv 1}}"
                                   : "{\\sp{\\sn fBehindDocument}{\\sv 0}}";
  AOut += "{\\sp{\\sn fLayoutInCell}{\\sv 1}}}}";
}

}  // namespace qm
