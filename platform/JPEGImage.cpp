#include "platform/JPEGImage.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include <jpeglib.h>

namespace qm {

namespace {

struct TErrorManager {
  jpeg_error_mgr Pub;
  std::jmp_buf Jump;
};

extern "C" void QmJpegErrorExit(j_common_ptr ACinfo) {
  auto* err = reinterpret_cast<TErrorManager*>(ACinfo->err);
  std::longjmp(err->Jump, 1);
}

extern "C" void QmJpegSilent(j_common_ptr, int) {}

// Holds what must survive a longjmp: nothing here is touched by the jump itself.
struct TDecodeState {
  jpeg_decompress_struct Info{};
  TErrorManager Error{};
  std::unique_ptr<TBitmap> Result;
  std::vector<std::uint8_t> Row;
};

struct TEncodeState {
  jpeg_compress_struct Info{};
  TErrorManager Error{};
  unsigned char* Buffer = nullptr;
  unsigned long Size = 0;
  std::vector<std::uint8_t> Row;
};

bool RunDecode(TDecodeState& S, std::string_view ABytes) {
  S.Info.err = jpeg_std_error(&S.Error.Pub);
  S.Error.Pub.error_exit = QmJpegErrorExit;
  S.Error.Pub.emit_message = QmJpegSilent;
  if (setjmp(S.Error.Jump)) {
    jpeg_destroy_decompress(&S.Info);
    return false;
  }
  jpeg_create_decompress(&S.Info);
  jpeg_mem_src(&S.Info, reinterpret_cast<const unsigned char*>(ABytes.data()),
               static_cast<unsigned long>(ABytes.size()));
  jpeg_read_header(&S.Info, TRUE);
  const std::int64_t pixels = static_cast<std::int64_t>(S.Info.image_width) * S.Info.image_height;
  if (pixels <= 0 || pixels > kMaxRasterPixels) {
    jpeg_destroy_decompress(&S.Info);
    return false;
  }
  S.Info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&S.Info);
  const int w = static_cast<int>(S.Info.output_width);
  const int h = static_cast<int>(S.Info.output_height);
  S.Result->SetSize(w, h);
  S.Row.resize(static_cast<std::size_t>(w) * 3);
  while (S.Info.output_scanline < S.Info.output_height) {
    JSAMPROW row = S.Row.data();
    const int y = static_cast<int>(S.Info.output_scanline);
    jpeg_read_scanlines(&S.Info, &row, 1);
    auto line = S.Result->ScanLine(y);
    for (int x = 0; x < w; ++x) {
      line[static_cast<std::size_t>(x) * 3] = S.Row[static_cast<std::size_t>(x) * 3 + 2];
      line[static_cast<std::size_t>(x) * 3 + 1] = S.Row[static_cast<std::size_t>(x) * 3 + 1];
      line[static_cast<std::size_t>(x) * 3 + 2] = S.Row[static_cast<std::size_t>(x) * 3];
    }
  }
  jpeg_finish_decompress(&S.Info);
  jpeg_destroy_decompress(&S.Info);
  return true;
}

bool RunEncode(TEncodeState& S, const TBitmap& ABitmap, int AQuality) {
  S.Info.err = jpeg_std_error(&S.Error.Pub);
  S.Error.Pub.error_exit = QmJpegErrorExit;
  S.Error.Pub.emit_message = QmJpegSilent;
  if (setjmp(S.Error.Jump)) {
    jpeg_destroy_compress(&S.Info);
    return false;
  }
  jpeg_create_compress(&S.Info);
  jpeg_mem_dest(&S.Info, &S.Buffer, &S.Size);
  const int w = ABitmap.GetWidth();
  const int h = ABitmap.GetHeight();
  S.Info.image_width = static_cast<JDIMENSION>(w);
  S.Info.image_height = static_cast<JDIMENSION>(h);
  S.Info.input_components = 3;
  S.Info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&S.Info);
  jpeg_set_quality(&S.Info, AQuality, TRUE);
  jpeg_start_compress(&S.Info, TRUE);
  S.Row.resize(static_cast<std::size_t>(w) * 3);
  while (S.Info.next_scanline < S.Info.image_height) {
    const int y = static_cast<int>(S.Info.next_scanline);
    for (int x = 0; x < w; ++x) {
      const std::uint32_t c = ABitmap.GetPixel(x, y);
      S.Row[static_cast<std::size_t>(x) * 3] = GetRValue(c);
      S.Row[static_cast<std::size_t>(x) * 3 + 1] = GetGValue(c);
      S.Row[static_cast<std::size_t>(x) * 3 + 2] = GetBValue(c);
    }
    JSAMPROW row = S.Row.data();
    jpeg_write_scanlines(&S.Info, &row, 1);
  }
  jpeg_finish_compress(&S.Info);
  jpeg_destroy_compress(&S.Info);
  return true;
}

}  // namespace

std::optional<TJpegFrameInfo> ReadJpegFrameInfo(std::string_view ABytes) {
  const auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(ABytes[i]); };
  if (ABytes.size() < 4 || at(0) != 0xFF || at(1) != 0xD8) return std::nullopt;
  std::size_t pos = 2;
  // Each step moves past one marker segment, so the walk ends within the data.
  while (pos + 4 <= ABytes.size()) {
    if (at(pos) != 0xFF) return std::nullopt;
    const std::uint8_t marker = at(pos + 1);
    if (marker == 0xFF) { ++pos; continue; }
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) { pos += 2; continue; }
    if (marker == 0xD9 || marker == 0xDA) return std::nullopt;
    const std::size_t len = (static_cast<std::size_t>(at(pos + 2)) << 8) | at(pos + 3);
    if (len < 2) return std::nullopt;
    const bool sof = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (sof) {
      if (pos + 10 > ABytes.size()) return std::nullopt;
      TJpegFrameInfo info;
      info.Height = (at(pos + 5) << 8) | at(pos + 6);
      info.Width = (at(pos + 7) << 8) | at(pos + 8);
      info.Components = at(pos + 9);
      return info;
    }
    pos += 2 + len;
  }
  return std::nullopt;
}

std::unique_ptr<TBitmap> DecodeJpeg(std::string_view ABytes) {
  auto state = std::make_unique<TDecodeState>();
  state->Result = std::make_unique<TBitmap>();
  if (!RunDecode(*state, ABytes)) return nullptr;
  return std::move(state->Result);
}

std::string EncodeJpeg(const TBitmap& ABitmap, int AQuality) {
  if (ABitmap.IsEmpty()) throw std::runtime_error("Cannot encode an empty bitmap as JPEG");
  if (AQuality < 0) AQuality = 0;
  if (AQuality > 100) AQuality = 100;
  auto state = std::make_unique<TEncodeState>();
  const bool ok = RunEncode(*state, ABitmap, AQuality);
  std::string out;
  if (state->Buffer) {
    if (ok) out.assign(reinterpret_cast<const char*>(state->Buffer), state->Size);
    std::free(state->Buffer);
  }
  if (!ok) throw std::runtime_error("JPEG error");
  return out;
}

TJPEGImage::TJPEGImage(std::string ABytes) { LoadFromBytes(std::move(ABytes)); }

void TJPEGImage::LoadFromBytes(std::string ABytes) {
  FBytes = std::move(ABytes);
  const auto info = ReadJpegFrameInfo(FBytes);
  FWidth = info ? info->Width : 0;
  FHeight = info ? info->Height : 0;
  FComponents = info ? info->Components : 0;
}

void TJPEGImage::Assign(const TBitmap& ABitmap, int AQuality) {
  LoadFromBytes(EncodeJpeg(ABitmap, AQuality));
}

std::unique_ptr<TGraphic> TJPEGImage::Clone() const {
  auto copy = std::make_unique<TJPEGImage>();
  copy->FBytes = FBytes;
  copy->FWidth = FWidth;
  copy->FHeight = FHeight;
  copy->FComponents = FComponents;
  return copy;
}

std::unique_ptr<TBitmap> TJPEGImage::ToBitmap() const { return DecodeJpeg(FBytes); }

}  // namespace qm
