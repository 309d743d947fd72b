#include "pdf/core/kwJPXDecode.h"

#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "base/Limits.h"
#include "pdf/core/kwPDBaseObject.h"

namespace qm {

namespace {

struct TMemSource {
  std::span<const std::uint8_t> Data;
  std::size_t Pos = 0;
};

OPJ_SIZE_T ReadFn(void* ABuffer, OPJ_SIZE_T ASize, void* AUser) {
  auto* s = static_cast<TMemSource*>(AUser);
  if (s->Pos >= s->Data.size()) return static_cast<OPJ_SIZE_T>(-1);
  const std::size_t n = std::min<std::size_t>(ASize, s->Data.size() - s->Pos);
  std::memcpy(ABuffer, s->Data.data() + s->Pos, n);
  s->Pos += n;
  return n;
}

OPJ_OFF_T SkipFn(OPJ_OFF_T ACount, void* AUser) {
  auto* s = static_cast<TMemSource*>(AUser);
  if (ACount < 0) {
    const auto back = static_cast<std::size_t>(-ACount);
    if (back > s->Pos) return -1;
    s->Pos -= back;
    return ACount;
  }
  const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(ACount), s->Data.size() - s->Pos);
  s->Pos += n;
  return static_cast<OPJ_OFF_T>(n);
}

OPJ_BOOL SeekFn(OPJ_OFF_T AOffset, void* AUser) {
  auto* s = static_cast<TMemSource*>(AUser);
  if (AOffset < 0 || static_cast<std::size_t>(AOffset) > s->Data.size()) return OPJ_FALSE;
  s->Pos = static_cast<std::size_t>(AOffset);
  return OPJ_TRUE;
}

void Quiet(const char*, void*) {}

struct TCodec {
  opj_codec_t* Codec = nullptr;
  opj_stream_t* Stream = nullptr;
  opj_image_t* Image = nullptr;
  ~TCodec() {
    if (Image) opj_image_destroy(Image);
    if (Stream) opj_stream_destroy(Stream);
    if (Codec) opj_destroy_codec(Codec);
  }
};

// Brings one component's samples to 8 bits; the arithmetic is settled once per component.
struct TTo8 {
  std::int64_t Offset = 0, Max = 255;
  bool Exact = true;
  explicit TTo8(const opj_image_comp_t& AComp) {
    const int prec = static_cast<int>(std::clamp<OPJ_UINT32>(AComp.prec, 1, 31));
    if (AComp.sgnd) Offset = std::int64_t{1} << (prec - 1);
    Max = (std::int64_t{1} << prec) - 1;
    Exact = prec == 8;
  }
  std::uint8_t operator()(OPJ_INT32 AValue) const {
    const std::int64_t v = std::clamp<std::int64_t>(AValue + Offset, 0, Max);
    return static_cast<std::uint8_t>(Exact ? v : (v * 255 + Max / 2) / Max);
  }
};

// Work OpenJPEG would do before a single sample comes out is bounded by what the main
// header announces: a codestream of tiny tiles or code-blocks over a large picture
// costs seconds of set-up and large bookkeeping while carrying almost no data
// (kMaxJPXTiles, kMaxJPXCodeBlocks).

// The image and tile grid of the codestream's SIZ segment, read before OpenJPEG sees the
// data: OpenJPEG sets up every tile while reading the main header, which for the 65535
// tiles a codestream may declare takes hundreds of megabytes.
bool SizIsBounded(std::span<const std::uint8_t> AData) {
  auto u32 = [&](std::size_t APos) {
    return (std::uint32_t{AData[APos]} << 24) | (std::uint32_t{AData[APos + 1]} << 16) |
           (std::uint32_t{AData[APos + 2]} << 8) | AData[APos + 3];
  };
  std::size_t pos = 0;
  if (AData.size() >= 12 && AData[0] == 0 && AData[4] == 'j' && AData[5] == 'P') {
    // A JP2 file: the codestream is the contents of the top-level jp2c box.
    bool found = false;
    while (!found && pos + 8 <= AData.size()) {
      std::uint64_t len = u32(pos);
      std::size_t head = 8;
      if (len == 1) {
        if (pos + 16 > AData.size()) return true;
        len = (std::uint64_t{u32(pos + 8)} << 32) | u32(pos + 12);
        head = 16;
      } else if (len == 0) {
        len = AData.size() - pos;
      }
      if (len < head) return true;  // left to OpenJPEG, which refuses it
      if (u32(pos + 4) == 0x6A703263) {
        pos += head;
        found = true;
      } else if (len > AData.size() - pos) {
        return true;
      } else {
        pos += static_cast<std::size_t>(len);
      }
    }
    if (!found) return true;
  }
  if (pos + 42 > AData.size() || AData[pos] != 0xFF || AData[pos + 1] != 0x4F || AData[pos + 2] != 0xFF ||
      AData[pos + 3] != 0x51) {
    return true;
  }
  const std::int64_t xsiz = u32(pos + 8), ysiz = u32(pos + 12), x0 = u32(pos + 16), y0 = u32(pos + 20);
  const std::int64_t tw = u32(pos + 24), th = u32(pos + 28), tx0 = u32(pos + 32), ty0 = u32(pos + 36);
  if (xsiz <= x0 || ysiz <= y0 || tw == 0 || th == 0 || tx0 > x0 || ty0 > y0) return true;
  const std::int64_t w = xsiz - x0, h = ysiz - y0;
  if (w > kMaxImageDimension || h > kMaxImageDimension || w * h > kMaxImagePixels) return false;
  const std::int64_t tilesX = (xsiz - tx0 + tw - 1) / tw, tilesY = (ysiz - ty0 + th - 1) / th;
  return tilesX * tilesY <= kMaxJPXTiles;
}

bool WorkIsBounded(opj_codec_t* ACodec, const opj_image_t& AImage) {
  opj_codestream_info_v2_t* info = opj_get_cstr_info(ACodec);
  if (!info) return false;
  bool ok = std::int64_t{info->tw} * info->th <= kMaxJPXTiles && info->tw > 0 && info->th > 0;
  const opj_tccp_info_t* tccp = info->m_default_tile_info.tccp_info;
  std::int64_t blocks = 0;
  for (OPJ_UINT32 i = 0; ok && i < AImage.numcomps; ++i) {
    const opj_image_comp_t& comp = AImage.comps[i];
    const std::int64_t samples = std::int64_t{comp.w} * comp.h;
    // Without the coding style the smallest code-block (4 x 4) is assumed.
    int cbLog = 4;
    if (tccp && i < info->nbcomps) cbLog = static_cast<int>(std::clamp<OPJ_UINT32>(tccp[i].cblkw + tccp[i].cblkh, 4, 20));
    blocks += samples >> cbLog;
    ok = blocks <= kMaxJPXCodeBlocks;
  }
  opj_destroy_cstr_info(&info);
  return ok;
}

}  // namespace

namespace {

// JP2 file or bare codestream, told by their signatures; nothing for other data.
std::optional<OPJ_CODEC_FORMAT> DetectFormat(std::span<const std::uint8_t> AData) {
  static constexpr std::uint8_t kJp2Sig[12] = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
  if (AData.size() >= 12 && std::memcmp(AData.data(), kJp2Sig, 12) == 0) return OPJ_CODEC_JP2;
  if (AData.size() >= 4 && AData[0] == 0xFF && AData[1] == 0x4F && AData[2] == 0xFF && AData[3] == 0x51) {
    return OPJ_CODEC_J2K;
  }
  return std::nullopt;
}

// A silent decoder reading ASource, with the main header read into AC.Image.
bool OpenCodec(TCodec& AC, OPJ_CODEC_FORMAT AFormat, TMemSource& ASource) {
  AC.Codec = opj_create_decompress(AFormat);
  if (!AC.Codec) return false;
  opj_set_error_handler(AC.Codec, Quiet, nullptr);
  opj_set_warning_handler(AC.Codec, Quiet, nullptr);
  opj_set_info_handler(AC.Codec, Quiet, nullptr);
  opj_dparameters_t params;
  opj_set_default_decoder_parameters(&params);
  if (!opj_setup_decoder(AC.Codec, &params)) return false;
  AC.Stream = opj_stream_create(64 * 1024, OPJ_TRUE);
  if (!AC.Stream) return false;
  opj_stream_set_user_data(AC.Stream, &ASource, nullptr);
  opj_stream_set_user_data_length(AC.Stream, ASource.Data.size());
  opj_stream_set_read_function(AC.Stream, ReadFn);
  opj_stream_set_skip_function(AC.Stream, SkipFn);
  opj_stream_set_seek_function(AC.Stream, SeekFn);
  return opj_read_header(AC.Stream, AC.Codec, &AC.Image) && AC.Image;
}

// The picture the header announces (AW x AH) and its components stay within the caps.
bool HeaderIsBounded(const opj_image_t& AImage, std::int64_t AW, std::int64_t AH) {
  if (AW <= 0 || AH <= 0 || AW > kMaxImageDimension || AH > kMaxImageDimension || AW * AH > kMaxImagePixels) return false;
  if (AImage.numcomps < 1 || AImage.numcomps > static_cast<OPJ_UINT32>(kMaxImageComponents)) return false;
  // Every component is held as 32-bit samples while decoding; their count, like the
  // 8-bit picture's bytes, stays within what one decoded stream may hold.
  std::int64_t samples = 0;
  for (OPJ_UINT32 i = 0; i < AImage.numcomps; ++i) {
    const opj_image_comp_t& comp = AImage.comps[i];
    if (comp.dx == 0 || comp.dy == 0) return false;
    samples += std::int64_t{comp.w} * comp.h;
  }
  return samples <= kMaxDecodedBytes;
}

// The colour components (at most four, in order) and the first alpha component (-1 when
// none); false when a component has no samples or there is no colour.
bool PickComponents(const opj_image_t& AImage, std::vector<int>& AColour, int& AAlpha) {
  AAlpha = -1;
  for (OPJ_UINT32 i = 0; i < AImage.numcomps; ++i) {
    const opj_image_comp_t& comp = AImage.comps[i];
    if (!comp.data || comp.w == 0 || comp.h == 0 || comp.dx == 0 || comp.dy == 0) return false;
    if (comp.alpha) {
      if (AAlpha < 0) AAlpha = static_cast<int>(i);
    } else {
      AColour.push_back(static_cast<int>(i));
    }
  }
  if (AColour.empty()) return false;
  if (AColour.size() > 4) AColour.resize(4);
  return true;
}

// Subsampled components are spread over the full grid; the column of every output
// pixel is worked out once per component, the row once per output row.
void SpreadComponent(const opj_image_t& AImage, int AComp, int AWidth, int AHeight, std::uint8_t* AOut,
                     std::size_t AStep) {
  const opj_image_comp_t& comp = AImage.comps[AComp];
  const TTo8 to8(comp);
  std::vector<std::uint32_t> cols(static_cast<std::size_t>(AWidth));
  for (int x = 0; x < AWidth; ++x) {
    const std::int64_t cx = (std::int64_t{x} + AImage.x0) / comp.dx - comp.x0;
    cols[static_cast<std::size_t>(x)] = static_cast<std::uint32_t>(std::clamp<std::int64_t>(cx, 0, comp.w - 1));
  }
  for (int y = 0; y < AHeight; ++y) {
    const std::int64_t cy = (std::int64_t{y} + AImage.y0) / comp.dy - comp.y0;
    const OPJ_INT32* row = comp.data + static_cast<std::size_t>(std::clamp<std::int64_t>(cy, 0, comp.h - 1)) * comp.w;
    std::uint8_t* out = AOut + static_cast<std::size_t>(y) * static_cast<std::size_t>(AWidth) * AStep;
    for (const std::uint32_t col : cols) {
      *out = to8(row[col]);
      out += AStep;
    }
  }
}

// YCbCr samples (the first three of every ANc) become RGB.
void SYccToRgb(std::vector<std::uint8_t>& ASamples, int ANc) {
  for (std::size_t p = 0; p + 2 < ASamples.size(); p += static_cast<std::size_t>(ANc)) {
    const double yy = ASamples[p], cb = ASamples[p + 1] - 128.0, cr = ASamples[p + 2] - 128.0;
    auto clip = [](double v) { return static_cast<std::uint8_t>(std::clamp(v + 0.5, 0.0, 255.0)); };
    ASamples[p] = clip(yy + 1.402 * cr);
    ASamples[p + 1] = clip(yy - 0.344136 * cb - 0.714136 * cr);
    ASamples[p + 2] = clip(yy + 1.772 * cb);
  }
}

// The colour space the codestream names, else the usual one for the component count.
void SetColorSpace(OPJ_COLOR_SPACE ASpace, TkwJPXImage& AImage) {
  const int nc = AImage.Components;
  switch (ASpace) {
    case OPJ_CLRSPC_GRAY: AImage.ColorSpace = TkwJPXColorSpace::jcGray; break;
    case OPJ_CLRSPC_SRGB: AImage.ColorSpace = TkwJPXColorSpace::jcRGB; break;
    case OPJ_CLRSPC_CMYK: AImage.ColorSpace = TkwJPXColorSpace::jcCMYK; break;
    case OPJ_CLRSPC_SYCC:
      if (nc >= 3) {
        SYccToRgb(AImage.Samples, nc);
        AImage.ColorSpace = TkwJPXColorSpace::jcRGB;
      }
      break;
    default: break;
  }
  if (AImage.ColorSpace == TkwJPXColorSpace::jcUnknown) {
    AImage.ColorSpace = nc == 1 ? TkwJPXColorSpace::jcGray
                                : (nc == 4 ? TkwJPXColorSpace::jcCMYK : TkwJPXColorSpace::jcRGB);
  }
}

}  // namespace

bool DecodeJPX(std::span<const std::uint8_t> AData, TkwJPXImage& AImage) {
  AImage = TkwJPXImage{};
  const auto format = DetectFormat(AData);
  if (!format || !SizIsBounded(AData)) return false;
  TMemSource src{AData, 0};
  TCodec c;
  if (!OpenCodec(c, *format, src)) return false;
  const std::int64_t w = std::int64_t{c.Image->x1} - c.Image->x0;
  const std::int64_t h = std::int64_t{c.Image->y1} - c.Image->y0;
  if (!HeaderIsBounded(*c.Image, w, h) || !WorkIsBounded(c.Codec, *c.Image)) return false;
  // A damaged tile still leaves the others decoded; keep what came out.
  const bool decoded = opj_decode(c.Codec, c.Stream, c.Image) != 0;
  if (decoded) opj_end_decompress(c.Codec, c.Stream);
  std::vector<int> colour;
  int alpha = -1;
  if (!PickComponents(*c.Image, colour, alpha)) return false;
  const int nc = static_cast<int>(colour.size());
  if (w * h * nc > kMaxDecodedBytes) return false;
  AImage.Width = static_cast<int>(w);
  AImage.Height = static_cast<int>(h);
  AImage.Components = nc;
  AImage.Samples.resize(static_cast<std::size_t>(w * h) * static_cast<std::size_t>(nc));
  for (int k = 0; k < nc; ++k) {
    SpreadComponent(*c.Image, colour[static_cast<std::size_t>(k)], AImage.Width, AImage.Height,
                    AImage.Samples.data() + k, static_cast<std::size_t>(nc));
  }
  if (alpha >= 0) {
    AImage.Alpha.resize(static_cast<std::size_t>(w * h));
    SpreadComponent(*c.Image, alpha, AImage.Width, AImage.Height, AImage.Alpha.data(), 1);
  }
  SetColorSpace(c.Image->color_space, AImage);
  return true;
}

TkwJPXDecode::TkwJPXDecode(TkwRef<TkwStream> ASource) : TkwDecode(std::move(ASource)) {}
TkwJPXDecode::~TkwJPXDecode() = default;

void TkwJPXDecode::ResetDecoder() {
  FLoaded = false;
  FOffset = 0;
  FImage = TkwJPXImage{};
}

void TkwJPXDecode::Load() {
  FLoaded = true;
  if (!FSource) throw ExInvalidStream();
  try {
    std::string input;
    FSource->Read(input, kMaxDecodedBytes);
    DecodeJPX({reinterpret_cast<const std::uint8_t*>(input.data()), input.size()}, FImage);
  } catch (const std::bad_alloc&) {
    throw ExOutofMemory();
  }
}

const TkwJPXImage& TkwJPXDecode::GetImage() {
  if (!FLoaded) Load();
  return FImage;
}

bool TkwJPXDecode::Refill() {
  if (!FLoaded) Load();
  if (FOffset >= FImage.Samples.size()) return false;
  const std::size_t n = std::min<std::size_t>(FImage.Samples.size() - FOffset, 65536);
  SetWindow(FImage.Samples.data() + FOffset, FImage.Samples.data() + FOffset + n);
  FOffset += n;
  return true;
}

}  // namespace qm
