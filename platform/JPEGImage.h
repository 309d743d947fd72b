#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Bitmap.h"

namespace qm {

// A JPEG picture held as its file bytes. Size and components are read from the frame
// header without decoding; decoding and encoding go through libjpeg.
class TJPEGImage final : public TGraphic {
public:
  TJPEGImage() = default;
  // Keeps the bytes; a stream without a readable frame header gives an empty picture
  // whose bytes are still kept.
  explicit TJPEGImage(std::string ABytes);
  void LoadFromBytes(std::string ABytes);
  // Encodes the bitmap (quality 0..100, clamped).
  void Assign(const TBitmap& ABitmap, int AQuality = 100);

  [[nodiscard]] int GetWidth() const override { return FWidth; }
  [[nodiscard]] int GetHeight() const override { return FHeight; }
  [[nodiscard]] int GetComponents() const { return FComponents; }
  [[nodiscard]] const std::string& GetBytes() const { return FBytes; }
  [[nodiscard]] std::unique_ptr<TGraphic> Clone() const override;
  // Decodes to 24 bits; nullptr when the data cannot be decoded or exceeds kMaxRasterPixels.
  [[nodiscard]] std::unique_ptr<TBitmap> ToBitmap() const override;

private:
  std::string FBytes;
  int FWidth = 0;
  int FHeight = 0;
  int FComponents = 0;
};

struct TJpegFrameInfo {
  int Width = 0;
  int Height = 0;
  int Components = 0;
};
// Reads the first start-of-frame header; nullopt when there is none.
[[nodiscard]] std::optional<TJpegFrameInfo> ReadJpegFrameInfo(std::string_view ABytes);

// Encodes a bitmap as a baseline JPEG (3 components, or 1 for an 8-bit grey palette).
// Throws std::runtime_error when libjpeg fails.
[[nodiscard]] std::string EncodeJpeg(const TBitmap& ABitmap, int AQuality);
// Decodes JPEG bytes to a 24-bit bitmap; nullptr on failure.
[[nodiscard]] std::unique_ptr<TBitmap> DecodeJpeg(std::string_view ABytes);

}  // namespace qm
