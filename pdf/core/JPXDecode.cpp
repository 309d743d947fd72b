#include "pdf/core/JPXDecode.h"

#include <openjpeg.h>

#include <algorithm>
#include <cstring>

#include "base/Limits.h"
#include "pdf/core/PDBaseObject.h"

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

std::uint8_t To8(OPJ_INT32 AValue, const opj_image_comp_t& AComp) {
  std::int64_t v = AValue;
  const int prec = static_cast<int>(std::clamp<OPJ_UINT32>(AComp.prec, 1, 31));
  if (AComp.sgnd) v += std::int64_t{1} << (prec - 1);
  const std::int64_t max = (std::int64_t{1} << prec) - 1;
  v = std::clamp<std::int64_t>(v, 0, max);
  if (prec == 8) return static_cast<std::uint8_t>(v);
  return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
}

}  // namespace

bool DecodeJPX(std::span<const std::uint8_t> AData, TkwJPXImage& AImage) {
  AImage = TkwJPXImage{};
  static constexpr std::uint8_t kJp2Sig[12] = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
  OPJ_CODEC_FORMAT format;
  if (AData.size() >= 12 && std::memcmp(AData.data(), kJp2Sig, 12) == 0) {
    format = OPJ_CODEC_JP2;
  } else if (AData.size() >= 4 && AData[0] == 0xFF && AData[1] == 0x4F && AData[2] == 0xFF && AData[3] == 0x51) {
    format = OPJ_CODEC_J2K;
  } else {
    return false;
  }
  TMemSource src{AData, 0};
  TCodec c;
  c.Codec = opj_create_decompress(format);
  if (!c.Codec) return false;
  opj_set_error_handler(c.Codec, Quiet, nullptr);
  opj_set_warning_handler(c.Codec, Quiet, nullptr);
  opj_set_info_handler(c.Codec, Quiet, nullptr);
  opj_dparameters_t params;
  opj_set_default_decoder_parameters(&params);
  if (!opj_setup_decoder(c.Codec, &params)) return false;
  c.Stream = opj_stream_create(64 * 1024, OPJ_TRUE);
  if (!c.Stream) return false;
  opj_stream_set_user_data(c.Stream, &src, nullptr);
  opj_stream_set_user_data_length(c.Stream, AData.size());
  opj_stream_set_read_function(c.Stream, ReadFn);
  opj_stream_set_skip_function(c.Stream, SkipFn);
  opj_stream_set_seek_function(c.Stream, SeekFn);
  if (!opj_read_header(c.Stream, c.Codec, &c.Image) || !c.Image) return false;
  const std::int64_t w = std::int64_t{c.Image->x1} - c.Image->x0;
  const std::int64_t h = std::int64_t{c.Image->y1} - c.Image->y0;
  if (w <= 0 || h <= 0 || w > 65536 || h > 65536 || w * h > kMaxImagePixels) return false;
  if (c.Image->numcomps < 1 || c.Image->numcomps > static_cast<OPJ_UINT32>(kMaxImageComponents)) return false;
  // A damaged tile still leaves the others decoded; keep what came out.
  const bool decoded = opj_decode(c.Codec, c.Stream, c.Image) != 0;
  if (decoded) opj_end_decompress(c.Codec, c.Stream);
  std::vector<int> colour;
  int alpha = -1;
  for (OPJ_UINT32 i = 0; i < c.Image->numcomps; ++i) {
    const opj_image_comp_t& comp = c.Image->comps[i];
    if (!comp.data || comp.w == 0 || comp.h == 0 || comp.dx == 0 || comp.dy == 0) return false;
    if (comp.alpha) {
      if (alpha < 0) alpha = static_cast<int>(i);
    } else {
      colour.push_back(static_cast<int>(i));
    }
  }
  if (colour.empty()) return false;
  if (colour.size() > 4) colour.resize(4);
  const int nc = static_cast<int>(colour.size());
  AImage.Width = static_cast<int>(w);
  AImage.Height = static_cast<int>(h);
  AImage.Components = nc;
  AImage.Samples.resize(static_cast<std::size_t>(w * h) * static_cast<std::size_t>(nc));
  auto sample = [&](int AComp, int AX, int AY) -> std::uint8_t {
    const opj_image_comp_t& comp = c.Image->comps[AComp];
    // Subsampled components are spread over the full grid.
    const std::int64_t cx = (std::int64_t{AX} + c.Image->x0) / comp.dx - (comp.x0 + 0);
    const std::int64_t cy = (std::int64_t{AY} + c.Image->y0) / comp.dy - (comp.y0 + 0);
    const auto x = static_cast<std::size_t>(std::clamp<std::int64_t>(cx, 0, comp.w - 1));
    const auto y = static_cast<std::size_t>(std::clamp<std::int64_t>(cy, 0, comp.h - 1));
    return To8(comp.data[y * comp.w + x], comp);
  };
  std::uint8_t* out = AImage.Samples.data();
  for (int y = 0; y < AImage.Height; ++y) {
    for (int x = 0; x < AImage.Width; ++x) {
      for (int k = 0; k < nc; ++k) *out++ = sample(colour[static_cast<std::size_t>(k)], x, y);
    }
  }
  if (alpha >= 0) {
    AImage.Alpha.resize(static_cast<std::size_t>(w * h));
    std::size_t i = 0;
    for (int y = 0; y < AImage.Height; ++y) {
      for (int x = 0; x < AImage.Width; ++x) AImage.Alpha[i++] = sample(alpha, x, y);
    }
  }
  switch (c.Image->color_space) {
    case OPJ_CLRSPC_GRAY: AImage.ColorSpace = TkwJPXColorSpace::jcGray; break;
    case OPJ_CLRSPC_SRGB: AImage.ColorSpace = TkwJPXColorSpace::jcRGB; break;
    case OPJ_CLRSPC_CMYK: AImage.ColorSpace = TkwJPXColorSpace::jcCMYK; break;
    case OPJ_CLRSPC_SYCC:
      if (nc >= 3) {
        for (std::size_t p = 0; p + 2 < AImage.Samples.size(); p += static_cast<std::size_t>(nc)) {
          const double yy = AImage.Samples[p], cb = AImage.Samples[p + 1] - 128.0, cr = AImage.Samples[p + 2] - 128.0;
          auto clip = [](double v) { return static_cast<std::uint8_t>(std::clamp(v + 0.5, 0.0, 255.0)); };
          AImage.Samples[p] = clip(yy + 1.402 * cr);
          AImage.Samples[p + 1] = clip(yy - 0.344136 * cb - 0.714136 * cr);
          AImage.Samples[p + 2] = clip(yy + 1.772 * cb);
        }
        AImage.ColorSpace = TkwJPXColorSpace::jcRGB;
      }
      break;
    default: break;
  }
  if (AImage.ColorSpace == TkwJPXColorSpace::jcUnknown) {
    AImage.ColorSpace = nc == 1 ? TkwJPXColorSpace::jcGray
                                : (nc == 4 ? TkwJPXColorSpace::jcCMYK : TkwJPXColorSpace::jcRGB);
  }
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
