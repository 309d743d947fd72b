#pragma once

#include <cstdint>
#include <optional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Bitmap.h"
#include "writer/kwRTFHeader.h"
#include "writer/kwWriterClasses.h"

namespace qm {

// Size of the IDAT chunks the PNG encoder writes.
inline constexpr std::size_t kPngChunkSize = 10240;

// PNG CRC-32 over a byte run (polynomial 0xEDB88320), continuing from ACrc.
[[nodiscard]] std::uint32_t PngCrc(std::string_view ABytes, std::uint32_t ACrc = 0xFFFFFFFFu);
// Whether a 32-bit bitmap has a pixel that is not opaque.
[[nodiscard]] bool HasAlpha(const TBitmap& ABitmap);
// An 8-bit bitmap with a palette of its own colours, fewer than 256 (a drawing's picture;
// a new 8-bit bitmap has the full grey ramp), written as an indexed PNG.
[[nodiscard]] bool IsIndexedPicture(const TBitmap& ABitmap);
// A PNG (no interlace) of the bitmap: indexed for an indexed picture, 8-bit RGBA for a
// 32-bit bitmap with alpha, else 8-bit RGB with ATransparent, when given, as the tRNS colour (0x00BBGGRR).
[[nodiscard]] std::string EncodePNG(const TBitmap& ABitmap, std::optional<std::uint32_t> ATransparent);
// The PNG container around already compressed image data: signature, IHDR (RGBA when
// AAlpha, else RGB), tRNS for RGB when given, the data cut into IDAT chunks of
// kPngChunkSize bytes (the last holding the rest), IEND.
[[nodiscard]] std::string BuildPNG(int AWidth, int AHeight, std::string_view ACompressed,
                                   std::optional<std::uint32_t> ATransparent, bool AAlpha = false);

// Appends bytes as upper-case hexadecimal digits, two per byte.
void AppendHex(std::string& AOut, std::string_view ABytes);

// A picture encoded for the RTF "\pict" group.
struct TkwPictureData {
  std::string BlipWord;   // "\pngblip", "\jpegblip", "\emfblip" or "\wmetafile8"
  std::string HexPrefix;  // the Windows-metafile header text, else empty
  std::string Bytes;      // empty when the picture could not be rendered
  double Width = 0;       // rendered size, native pixels
  double Height = 0;
};

// Renders a graphic in the output format of the settings: a bitmap of the graphic's pixel
// size filled with the brush and the graphic drawn on it (PNG, JPEG, Windows metafile), or
// an enhanced metafile of ATargetWidth × ATargetHeight with the graphic stretched on it.
// A JPEG image that is not to be made transparent keeps its own bytes. Never throws: a
// picture that cannot be rendered has no bytes.
[[nodiscard]] TkwPictureData RenderPictureData(const TGraphic& AGraphic, const TkwImageSettings& ASettings,
                                               const TBrush& ABrush, double ATargetWidth = 0,
                                               double ATargetHeight = 0);

// True when RenderPictureData's result depends on the graphic's pixels alone under these
// settings (a 24- or 32-bit bitmap or an indexed picture written as PNG as it is), so that it can be made ahead of time
// from a copy of the pixels.
[[nodiscard]] bool RendersFromPixelsAlone(const TGraphic& AGraphic, const TkwImageSettings& ASettings);

class TkwRTFPicture final : public TkwRTFElement {
public:
  // AData is the picture rendered with ASettings and ABrush when it was placed: the element
  // tree keeps encoded pictures, not the bitmaps they came from.
  TkwRTFPicture(std::shared_ptr<const TkwPictureData> AData, const TkwImageSettings& ASettings,
                const TBrush& ABrush, const TkwRect& ARect, int AImageIndex);
  [[nodiscard]] std::uint8_t GetKind() const override { return 5; }
  void Write(std::string& AOut) override;

  [[nodiscard]] const TkwRect& GetRect() const { return FRect; }
  [[nodiscard]] int GetImageIndex() const { return FImageIndex; }
  TkwImageSettings ImageSettings;
  TBrush Brush;

private:
  std::shared_ptr<const TkwPictureData> FData;
  TkwRect FRect;
  int FImageIndex;
};

}  // namespace qm
