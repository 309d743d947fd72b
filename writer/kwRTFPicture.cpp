#include "writer/kwRTFPicture.h"

#include <array>
#include <cmath>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include <zlib.h>

#include "base/Numbers.h"
#include "platform/JPEGImage.h"
#include "platform/Metafile.h"
#include "writer/kwEmfEncoder.h"
#include "writer/kwRunDeflater.h"

namespace qm {

namespace {

// zlib's default level: within a few per cent of the best on filtered rows, several times
// faster.
constexpr int kPngLevel = 3;

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

// zlib compression fed row by row, so that no copy of the whole picture's samples is made.
// One per thread serves every picture: zlib's state (about 270 KiB) is reset rather than
// made again, which spares its set-up and the page faults of fresh memory each time.
class TkwPngDeflater {
public:
  TkwPngDeflater() { FReady = deflateInit(&FZ, kPngLevel) == Z_OK; }
  ~TkwPngDeflater() {
    if (FReady) deflateEnd(&FZ);
  }
  TkwPngDeflater(const TkwPngDeflater&) = delete;
  TkwPngDeflater& operator=(const TkwPngDeflater&) = delete;

  // Begins a new zlib stream; anything left of an earlier one (a failed picture) is dropped.
  void Start() {
    if (!FReady || deflateReset(&FZ) != Z_OK) throw std::runtime_error("PNG compression failed");
    FOut.clear();
    FUsed = 0;
  }

  void Add(std::string_view ABytes) { Run(ABytes, Z_NO_FLUSH); }
  std::string Finish() {
    Run({}, Z_FINISH);
    FOut.shrink_to_fit();
    return std::move(FOut);
  }

private:
  void Run(std::string_view AIn, int AFlush) {
    FZ.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(AIn.data()));
    FZ.avail_in = static_cast<uInt>(AIn.size());
    for (;;) {
      if (FOut.size() - FUsed < 16384) FOut.resize(std::max<std::size_t>(FOut.size() * 2, 65536));
      FZ.next_out = reinterpret_cast<Bytef*>(FOut.data() + FUsed);
      FZ.avail_out = static_cast<uInt>(FOut.size() - FUsed);
      const int rc = deflate(&FZ, AFlush);
      FUsed = FOut.size() - FZ.avail_out;
      if (rc == Z_STREAM_END) {
        FOut.resize(FUsed);
        return;
      }
      if (rc != Z_OK && rc != Z_BUF_ERROR) throw std::runtime_error("PNG compression failed");
      if (AFlush == Z_NO_FLUSH && FZ.avail_in == 0) return;
    }
  }

  z_stream FZ{};
  bool FReady = false;
  std::string FOut;
  std::size_t FUsed = 0;
};

// Writes ARow filtered with PNG filter AType (0 None, 1 Sub, 2 Up, 3 Average, 4 Paeth) into
// AOut. Without a row above (APrev null) every byte above counts as 0. Each filter runs as a
// loop of its own so that the simple ones vectorise.
void FilterRow(int AType, const std::uint8_t* ARow, const std::uint8_t* APrev, std::size_t ALen, std::size_t ABpp,
               std::uint8_t* AOut) {
  const std::size_t bpp = std::min(ABpp, ALen);
  switch (APrev ? AType : AType == 2 ? 0 : AType == 4 ? 1 : AType) {
    case 1:
      for (std::size_t i = 0; i < bpp; ++i) AOut[i] = ARow[i];
      for (std::size_t i = bpp; i < ALen; ++i) AOut[i] = static_cast<std::uint8_t>(ARow[i] - ARow[i - bpp]);
      break;
    case 2:
      for (std::size_t i = 0; i < ALen; ++i) AOut[i] = static_cast<std::uint8_t>(ARow[i] - APrev[i]);
      break;
    case 3:
      if (APrev) {
        for (std::size_t i = 0; i < bpp; ++i) AOut[i] = static_cast<std::uint8_t>(ARow[i] - (APrev[i] >> 1));
        for (std::size_t i = bpp; i < ALen; ++i) {
          AOut[i] = static_cast<std::uint8_t>(ARow[i] - ((ARow[i - bpp] + APrev[i]) >> 1));
        }
      } else {
        for (std::size_t i = 0; i < bpp; ++i) AOut[i] = ARow[i];
        for (std::size_t i = bpp; i < ALen; ++i) AOut[i] = static_cast<std::uint8_t>(ARow[i] - (ARow[i - bpp] >> 1));
      }
      break;
    case 4:
      for (std::size_t i = 0; i < bpp; ++i) AOut[i] = static_cast<std::uint8_t>(ARow[i] - APrev[i]);
      // The Paeth predictor with p = a + b - c folded into the three distances, written
      // without branches and in 16-bit lanes (every distance fits) so that the loop
      // vectorises twice as wide as in int.
      for (std::size_t i = bpp; i < ALen; ++i) {
        const std::int16_t a = ARow[i - bpp], b = APrev[i], c = APrev[i - bpp];
        const auto db = static_cast<std::int16_t>(b - c), da = static_cast<std::int16_t>(a - c);
        const auto sum = static_cast<std::int16_t>(da + db);
        const auto pa = static_cast<std::int16_t>(db < 0 ? -db : db);
        const auto pb = static_cast<std::int16_t>(da < 0 ? -da : da);
        const auto pc = static_cast<std::int16_t>(sum < 0 ? -sum : sum);
        const std::int16_t bc = pb <= pc ? b : c;
        const std::int16_t pred = (pa <= pb && pa <= pc) ? a : bc;
        AOut[i] = static_cast<std::uint8_t>(ARow[i] - pred);
      }
      break;
    default:
      std::copy(ARow, ARow + ALen, AOut);
      break;
  }
}

// The filter with the smallest sum of absolute differences (the usual heuristic): filtered
// rows of photographs and gradients compress to a fraction of the raw ones, and faster.
int ChooseFilter(const std::uint8_t* ARow, const std::uint8_t* APrev, std::size_t ALen, std::size_t ABpp,
                 std::vector<std::uint8_t>& AScratch) {
  AScratch.resize(ALen);
  int best = 0;
  long bestSum = 0;
  for (int k = 0; k < 5; ++k) {
    FilterRow(k, ARow, APrev, ALen, ABpp, AScratch.data());
    // 32-bit sums over blocks that cannot overflow them, so that the loop vectorises.
    long sum = 0;
    for (std::size_t at = 0; at < ALen; at += 65536) {
      const std::size_t end = std::min(ALen, at + 65536);
      std::uint32_t part = 0;
      for (std::size_t i = at; i < end; ++i) {
        const auto v = static_cast<std::int8_t>(AScratch[i]);
        part += static_cast<std::uint32_t>(v < 0 ? -v : v);
      }
      sum += part;
    }
    if (k == 0 || sum < bestSum) {
      best = k;
      bestSum = sum;
    }
  }
  return best;
}

// How many rows share one filter choice. Neighbouring rows of a picture are alike, so the
// choice made for the first of a band serves the band nearly as well as one made for each
// row, at a fraction of the cost of trying all five filters on every row.
constexpr int kFilterBand = 8;

// A picture with alpha over the background: formats without alpha show what would
// show through it.
void Composite(const TBitmap& ASource, TBitmap& ATarget, std::uint32_t ABackground) {
  const auto blend = [](int AFore, int ABack, int AAlpha) {
    return static_cast<std::uint32_t>((AFore * AAlpha + ABack * (255 - AAlpha) + 127) / 255);
  };
  const int w = std::min(ASource.GetWidth(), ATarget.GetWidth());
  const int h = std::min(ASource.GetHeight(), ATarget.GetHeight());
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* row = ASource.ScanLine(y).data();
    for (int x = 0; x < w; ++x) {
      const std::uint8_t* px = row + static_cast<std::size_t>(x) * 4;
      const int a = px[3];
      const std::uint32_t rgb = blend(px[2], static_cast<int>(GetRValue(ABackground)), a) |
                                blend(px[1], static_cast<int>(GetGValue(ABackground)), a) << 8 |
                                blend(px[0], static_cast<int>(GetBValue(ABackground)), a) << 16;
      ATarget.SetPixel(x, y, rgb);
    }
  }
}

// The bitmap the bitmap-based outputs encode: the graphic's own size, filled with the
// brush, the graphic drawn at the origin.
std::unique_ptr<TBitmap> RenderBitmap(const TGraphic& AGraphic, const TkwImageSettings& ASettings,
                                      const TBrush& ABrush) {
  auto bmp = std::make_unique<TBitmap>(AGraphic.GetWidth(), AGraphic.GetHeight(), ASettings.ImagePixelFormat);
  if (bmp->IsEmpty()) throw std::runtime_error("Empty picture");
  const std::uint32_t background = ColorToRGB(ABrush.Color);
  bmp->FillRect(0, 0, bmp->GetWidth(), bmp->GetHeight(), background);
  if (const auto* own = dynamic_cast<const TBitmap*>(&AGraphic); own && own->GetBitsPerPixel() == 32) {
    Composite(*own, *bmp, background);
  } else {
    AGraphic.Draw(*bmp, 0, 0);
  }
  if (ASettings.Transparent) {
    bmp->FTransparent = true;
    bmp->FTransparentColor = background;
  }
  return bmp;
}

// Indexed PNG: a palette of the bitmap's colours and the fewest bits a pixel that index it.
// Rows go unfiltered (differences of indices mean nothing) to the run deflater, which
// finds the runs and repeated rows that such pictures are made of.
std::string EncodeIndexedPNG(const TBitmap& ABitmap) {
  const int w = ABitmap.GetWidth();
  const int h = ABitmap.GetHeight();
  const std::vector<std::uint32_t>& palette = ABitmap.GetPalette();
  const int depth = palette.size() <= 2 ? 1 : palette.size() <= 4 ? 2 : palette.size() <= 16 ? 4 : 8;
  const auto perByte = static_cast<std::size_t>(8 / depth);
  const auto ws = static_cast<std::size_t>(w);
  const std::size_t rowBytes = (ws + perByte - 1) / perByte;
  if (rowBytes + 1 > TkwRunDeflater::kMaxStride) throw std::runtime_error("Picture too wide");
  TkwRunDeflater deflater(rowBytes + 1);
  std::string row(rowBytes + 1, '\0');  // the filter byte (none), then the row
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* src = ABitmap.ScanLine(y).data();
    if (y > 0 && std::memcmp(src, ABitmap.ScanLine(y - 1).data(), ws) == 0) {
      deflater.AddRow(row, true);
      continue;
    }
    if (depth == 8) {
      std::memcpy(row.data() + 1, src, ws);
    } else {
      std::fill(row.begin() + 1, row.end(), '\0');
      for (std::size_t x = 0; x < ws; ++x) {
        const auto shift = static_cast<unsigned>(8 - depth - static_cast<int>(x % perByte) * depth);
        char& at = row[1 + x / perByte];
        at = static_cast<char>(static_cast<std::uint8_t>(at) | (src[x] << shift));
      }
    }
    deflater.AddRow(row, false);
  }
  std::string out = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  PutBE32(ihdr, static_cast<std::uint32_t>(w));
  PutBE32(ihdr, static_cast<std::uint32_t>(h));
  ihdr.push_back(static_cast<char>(depth));
  ihdr += std::string_view("\x03\x00\x00\x00", 4);
  PutChunk(out, "IHDR", ihdr);
  std::string plte;
  for (const std::uint32_t c : palette) {
    plte.push_back(static_cast<char>(GetRValue(c)));
    plte.push_back(static_cast<char>(GetGValue(c)));
    plte.push_back(static_cast<char>(GetBValue(c)));
  }
  PutChunk(out, "PLTE", plte);
  const std::string compressed = deflater.Finish();
  for (std::size_t pos = 0; pos < compressed.size(); pos += kPngChunkSize) {
    PutChunk(out, "IDAT", std::string_view(compressed).substr(pos, kPngChunkSize));
  }
  PutChunk(out, "IEND", {});
  return out;
}

}  // namespace

std::uint32_t PngCrc(std::string_view ABytes, std::uint32_t ACrc) {
  // zlib's CRC (the same polynomial) runs several bytes a step; it takes and gives the
  // value with the final inversion done, this function the running value without it.
  std::uint32_t c = ~ACrc;
  for (std::size_t at = 0; at < ABytes.size(); at += 1u << 30) {
    const auto part = static_cast<uInt>(std::min<std::size_t>(ABytes.size() - at, std::size_t{1} << 30));
    c = static_cast<std::uint32_t>(crc32(c, reinterpret_cast<const Bytef*>(ABytes.data() + at), part));
  }
  return ~c;
}

std::string BuildPNG(int AWidth, int AHeight, std::string_view ACompressed,
                     std::optional<std::uint32_t> ATransparent, bool AAlpha) {
  std::string out = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  PutBE32(ihdr, static_cast<std::uint32_t>(AWidth));
  PutBE32(ihdr, static_cast<std::uint32_t>(AHeight));
  ihdr += AAlpha ? std::string_view("\x08\x06\x00\x00\x00", 5) : std::string_view("\x08\x02\x00\x00\x00", 5);
  PutChunk(out, "IHDR", ihdr);
  if (ATransparent && !AAlpha) {
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

bool HasAlpha(const TBitmap& ABitmap) {
  if (ABitmap.GetBitsPerPixel() != 32) return false;
  const std::size_t w = static_cast<std::size_t>(ABitmap.GetWidth());
  for (int y = 0; y < ABitmap.GetHeight(); ++y) {
    const std::uint8_t* row = ABitmap.ScanLine(y).data();
    for (std::size_t x = 0; x < w; ++x) {
      if (row[x * 4 + 3] != 255) return true;
    }
  }
  return false;
}

bool IsIndexedPicture(const TBitmap& ABitmap) {
  return ABitmap.GetBitsPerPixel() == 8 && !ABitmap.GetPalette().empty() && ABitmap.GetPalette().size() < 256 &&
         !ABitmap.FTransparent && !ABitmap.IsEmpty();
}

std::string EncodePNG(const TBitmap& ABitmap, std::optional<std::uint32_t> ATransparent) {
  if (IsIndexedPicture(ABitmap) && !ATransparent) return EncodeIndexedPNG(ABitmap);
  const int w = ABitmap.GetWidth();
  const int h = ABitmap.GetHeight();
  const bool alpha = HasAlpha(ABitmap);
  const std::size_t bpp = alpha ? 4 : 3;
  const std::size_t rowBytes = static_cast<std::size_t>(w) * bpp;
  // One per thread, kept for its allocations; Start resets it, so no picture sees another's.
  thread_local TkwPngDeflater raw;
  raw.Start();
  std::string rows[2] = {std::string(rowBytes, '\0'), std::string(rowBytes, '\0')};
  std::vector<std::uint8_t> scratch;
  std::string filtered(rowBytes + 1, '\0');
  int filter = 0;
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<std::uint8_t*>(rows[y & 1].data());
    const auto* prev = y > 0 ? reinterpret_cast<const std::uint8_t*>(rows[(y + 1) & 1].data()) : nullptr;
    if (alpha) {
      // Blue, green, red, alpha in the bitmap; red first in PNG.
      const std::uint8_t* src = ABitmap.ScanLine(y).data();
      for (std::size_t i = 0; i < rowBytes; i += 4) {
        row[i] = src[i + 2];
        row[i + 1] = src[i + 1];
        row[i + 2] = src[i];
        row[i + 3] = src[i + 3];
      }
    } else if (ABitmap.GetBitsPerPixel() == 24) {
      // Blue, green, red in the bitmap; red first in PNG.
      const std::uint8_t* src = ABitmap.ScanLine(y).data();
      std::uint8_t* dst = row;
      for (const std::uint8_t* const end = src + rowBytes; src != end; src += 3, dst += 3) {
        const std::uint8_t b = src[0], g = src[1], r = src[2];
        dst[0] = r;
        dst[1] = g;
        dst[2] = b;
      }
    } else {
      for (int x = 0; x < w; ++x) {
        const std::uint32_t c = ABitmap.GetPixel(x, y);
        const std::size_t i = static_cast<std::size_t>(x) * 3;
        row[i] = static_cast<std::uint8_t>(GetRValue(c));
        row[i + 1] = static_cast<std::uint8_t>(GetGValue(c));
        row[i + 2] = static_cast<std::uint8_t>(GetBValue(c));
      }
    }
    // The first row has nothing above it, so the second makes a choice of its own.
    if (y % kFilterBand == 0 || y == 1) filter = ChooseFilter(row, prev, rowBytes, bpp, scratch);
    filtered[0] = static_cast<char>(filter);
    FilterRow(filter, row, prev, rowBytes, bpp, reinterpret_cast<std::uint8_t*>(filtered.data()) + 1);
    raw.Add(filtered);
  }
  return BuildPNG(w, h, raw.Finish(), ATransparent, alpha);
}

void AppendHex(std::string& AOut, std::string_view ABytes) {
  // Both digits of a byte at once: pictures are most of a file's bytes.
  static constexpr std::array<char, 512> kPairs = [] {
    constexpr char digits[] = "0123456789ABCDEF";
    std::array<char, 512> pairs{};
    for (std::size_t b = 0; b < 256; ++b) {
      pairs[2 * b] = digits[b >> 4];
      pairs[2 * b + 1] = digits[b & 15];
    }
    return pairs;
  }();
  const std::size_t start = AOut.size();
  AOut.resize(start + ABytes.size() * 2);
  char* p = AOut.data() + start;
  for (const char ch : ABytes) {
    std::memcpy(p, &kPairs[2 * static_cast<std::uint8_t>(ch)], 2);
    p += 2;
  }
}

bool RendersFromPixelsAlone(const TGraphic& AGraphic, const TkwImageSettings& ASettings) {
  const auto* own = dynamic_cast<const TBitmap*>(&AGraphic);
  return own && !own->IsEmpty() &&
         (own->GetBitsPerPixel() == 24 || own->GetBitsPerPixel() == 32 || IsIndexedPicture(*own)) &&
         !ASettings.Transparent &&
         ASettings.ImagePixelFormat == TPixelFormat::pf24bit &&
         ASettings.OutputImageFormat == TkwOutputImageFormat::ifPNG;
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
  // A drawing kept as a metafile goes in as one wherever a metafile is as good as the
  // picture asked for: it is sharp at every size and costs little.
  if (const auto* vector = dynamic_cast<const TkwVectorPicture*>(&AGraphic);
      vector && !vector->GetEmf().empty() &&
      (ASettings.OutputImageFormat == ifPNG || ASettings.OutputImageFormat == ifMetafile)) {
    data.BlipWord = "\\emfblip";
    data.Bytes = vector->GetEmf();
    return data;
  }
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
        // A 24-bit bitmap has nothing for the brush to show through, and a 32-bit one keeps
        // its alpha for the reader to show what lies under it: encode either as it is.
        if (RendersFromPixelsAlone(AGraphic, ASettings)) {
          data.Bytes = EncodePNG(static_cast<const TBitmap&>(AGraphic), std::nullopt);
          break;
        }
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
  } catch (const std::bad_alloc&) {
    throw;  // ends the job: a picture is not dropped for want of memory
  } catch (const std::exception&) {
    data.Bytes.clear();
    data.HexPrefix.clear();
  }
  return data;
}

// ---------------------------------------------------------------------------------------

TkwRTFPicture::TkwRTFPicture(std::shared_ptr<const TkwPictureData> AData, const TkwImageSettings& ASettings,
                             const TBrush& ABrush, const TkwRect& ARect, int AImageIndex)
    : Brush(ABrush), FData(std::move(AData)), FRect(ARect), FImageIndex(AImageIndex) {
  ImageSettings.Assign(ASettings);
}

namespace {

// A picture's frame as the line of its shape: colour as 0x00BBGGRR, width in EMU (12700
// a point), dots and dashes as the system's, a double line as its own style.
void AppendShapeLine(std::string& AOut, const TkwBorderLine& ABorder) {
  if (ABorder.Style == TkwBorderStyle::bdNone) {
    AOut += "{\\sp{\\sn fLine}{\\sv 0}}";
    return;
  }
  AOut += "{\\sp{\\sn fLine}{\\sv 1}}{\\sp{\\sn lineColor}{\\sv ";
  AppendInt(AOut, ColorToRGB(ABorder.Color));
  AOut += "}}{\\sp{\\sn lineWidth}{\\sv ";
  AppendInt(AOut, std::clamp<std::int64_t>(std::llround(NativeToTwips(ABorder.Width) * 635.0), 1, 20 * 12700));
  AOut += "}}";
  if (ABorder.Style == TkwBorderStyle::bdDotted) AOut += "{\\sp{\\sn lineDashing}{\\sv 2}}";
  if (ABorder.Style == TkwBorderStyle::bdDashed) AOut += "{\\sp{\\sn lineDashing}{\\sv 1}}";
  if (ABorder.Style == TkwBorderStyle::bdDouble) AOut += "{\\sp{\\sn lineStyle}{\\sv 1}}";
}

}  // namespace

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
  static const TkwPictureData kNone;
  const TkwPictureData& data = FData ? *FData : kNone;
  AOut += data.BlipWord;
  if (!data.Bytes.empty()) {
    AOut += "\\picbmp\\picbpp4 ";
    AOut += data.HexPrefix;
    AppendHex(AOut, data.Bytes);
    AOut += "030000000000";
  }
  AOut += "}}}";
  AOut += "{\\sp{\\sn pibFlags}{\\sv 2}}{\\sp{\\sn fRecolorFillAsPicture}{\\sv 0}}"
          "{\\sp{\\sn fUseShapeAnchor}{\\sv 0}}";
  AppendShapeLine(AOut, ImageSettings.Border);
  AOut += ImageSettings.BehindText ? "{\\sp{\\sn fBehindDocument}{\\sv 1}}"
                                   : "{\\sp{\\sn fBehindDocument}{\\sv 0}}";
  AOut += "{\\sp{\\sn fLayoutInCell}{\\sv 1}}}}";
}

}  // namespace qm
