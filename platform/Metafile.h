#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Bitmap.h"

namespace qm {

// A metafile as the writer needs it: a picture surface of a given size whose content is one
// device-independent bitmap stretched over the whole surface. It serialises as an enhanced
// metafile (EMR_HEADER, EMR_STRETCHDIBITS, EMR_EOF).
class TMetafile final : public TGraphic {
public:
  TMetafile() = default;
  TMetafile(int AWidth, int AHeight);

  [[nodiscard]] int GetWidth() const override { return FWidth; }
  [[nodiscard]] int GetHeight() const override { return FHeight; }
  [[nodiscard]] std::unique_ptr<TGraphic> Clone() const override;
  [[nodiscard]] std::unique_ptr<TBitmap> ToBitmap() const override;
  void SetSize(int AWidth, int AHeight);

  // The surface: a white 24-bit bitmap of the metafile's size to draw on.
  [[nodiscard]] TBitmap& Canvas();
  bool Enhanced = true;

  // The bytes of an enhanced metafile holding the surface.
  [[nodiscard]] std::string SaveToEMF() const;

private:
  int FWidth = 0;
  int FHeight = 0;
  std::unique_ptr<TBitmap> FSurface;
};

// Hex text of the Windows-metafile header that precedes a bitmap wrapped as a metafile
// (lower-case digits, multi-byte numbers little-endian), ending in CRLF. ABmpFileSize is
// the size of the bitmap's BMP file; the data that follows is that file without its
// 14-byte file header, then the end record "030000000000".
[[nodiscard]] std::string WmfHeaderHex(std::uint32_t ABmpFileSize, int AWidth, int AHeight);

// The binary Windows metafile of a bitmap (header, records, bitmap, end record).
[[nodiscard]] std::string SaveBitmapAsWMF(const TBitmap& ABitmap);

}  // namespace qm
