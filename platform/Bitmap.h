#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/Color.h"
#include "base/Limits.h"
#include "base/kwObject.h"

// A small stand-in for the desktop's picture classes: a graphic base class and a bitmap
// with 1, 8, 24 or 32 bits per pixel, a palette and top-down scanlines.
namespace qm {

// The RGB value of a colour (0x00BBGGRR), system colours resolved to a fixed light theme,
// clNone to white and clDefault to black.
[[nodiscard]] std::uint32_t ColorToRGB(TColor AColor);

enum class TPixelFormat : std::uint8_t {
  pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom
};

class TBitmap;

// Base of every picture the writer accepts. Pictures are copied by Clone; the copy has
// the same class as the original.
class TGraphic : public TkwObject {
public:
  [[nodiscard]] virtual int GetWidth() const = 0;
  [[nodiscard]] virtual int GetHeight() const = 0;
  [[nodiscard]] virtual bool IsEmpty() const { return GetWidth() <= 0 || GetHeight() <= 0; }
  [[nodiscard]] virtual std::unique_ptr<TGraphic> Clone() const = 0;
  // Draws the picture at its own pixel size with its top-left corner at (AX, AY).
  virtual void Draw(TBitmap& ATarget, int AX, int AY) const;
  // Draws the picture scaled to the rectangle [ALeft, ARight) × [ATop, ABottom).
  virtual void StretchDraw(TBitmap& ATarget, int ALeft, int ATop, int ARight, int ABottom) const;
  // The picture as a 24-bit bitmap at its own size (an empty bitmap when it cannot be
  // rendered).
  [[nodiscard]] virtual std::unique_ptr<TBitmap> ToBitmap() const = 0;
};

// A bitmap held as top-down scanlines. Each scanline is padded to 4 bytes, as in a
// device-independent bitmap. 24-bit pixels are stored B, G, R; 32-bit pixels B, G, R, A.
// 1- and 8-bit pixels index the palette (0x00BBGGRR entries).
class TBitmap final : public TGraphic {
public:
  TBitmap() = default;
  TBitmap(int AWidth, int AHeight, TPixelFormat AFormat = TPixelFormat::pf24bit);

  [[nodiscard]] int GetWidth() const override { return FWidth; }
  [[nodiscard]] int GetHeight() const override { return FHeight; }
  [[nodiscard]] std::unique_ptr<TGraphic> Clone() const override;
  [[nodiscard]] std::unique_ptr<TBitmap> CloneBitmap() const;
  [[nodiscard]] std::unique_ptr<TBitmap> ToBitmap() const override;
  void Draw(TBitmap& ATarget, int AX, int AY) const override;
  void StretchDraw(TBitmap& ATarget, int ALeft, int ATop, int ARight, int ABottom) const override;

  // Resizes and clears to zero bytes. Sizes above the raster cap (kMaxRasterPixels) or
  // below zero give an empty bitmap.
  void SetSize(int AWidth, int AHeight);
  void SetPixelFormat(TPixelFormat AFormat);  // converts the pixels
  [[nodiscard]] TPixelFormat GetPixelFormat() const { return FFormat; }
  [[nodiscard]] int GetBitsPerPixel() const;
  [[nodiscard]] std::size_t GetStride() const { return FStride; }

  [[nodiscard]] std::span<std::uint8_t> ScanLine(int ARow);
  [[nodiscard]] std::span<const std::uint8_t> ScanLine(int ARow) const;

  // Palette of 1- and 8-bit bitmaps; a new 1-bit bitmap has black and white, an 8-bit one
  // a grey ramp.
  [[nodiscard]] const std::vector<std::uint32_t>& GetPalette() const { return FPalette; }
  void SetPalette(std::vector<std::uint32_t> APalette);

  // Pixel access in RGB (0x00BBGGRR); writing to an indexed bitmap picks the nearest
  // palette entry. Out-of-range coordinates are ignored (read as black).
  [[nodiscard]] std::uint32_t GetPixel(int AX, int AY) const;
  void SetPixel(int AX, int AY, std::uint32_t ARgb);
  void FillRect(int ALeft, int ATop, int ARight, int ABottom, std::uint32_t ARgb);

  // The colour that readers should show as transparent, when set.
  bool FTransparent = false;
  std::uint32_t FTransparentColor = 0xFFFFFF;

  // The bytes of a BMP file (14-byte file header, BITMAPINFOHEADER, palette, bottom-up rows).
  [[nodiscard]] std::string SaveToBMP() const;

private:
  int FWidth = 0;
  int FHeight = 0;
  TPixelFormat FFormat = TPixelFormat::pf24bit;
  std::size_t FStride = 0;
  std::vector<std::uint8_t> FPixels;
  std::vector<std::uint32_t> FPalette;
  [[nodiscard]] int NearestIndex(std::uint32_t ARgb) const;
};

}  // namespace qm
