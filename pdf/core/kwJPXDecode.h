#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "pdf/core/kwStream.h"

// JPEG 2000 (JP2 files and raw codestreams) decoding for the JPXDecode filter, through
// OpenJPEG.
namespace qm {

// What the codestream says about its colours.
enum class TkwJPXColorSpace : std::uint8_t { jcUnknown, jcGray, jcRGB, jcCMYK };

// A decoded JPEG 2000 picture: 8 bits per component, components interleaved, every
// component brought to the full image size. Alpha channels (SMaskInData) are kept apart.
struct TkwJPXImage {
  int Width = 0;
  int Height = 0;
  int Components = 0;  // colour components in Samples
  TkwJPXColorSpace ColorSpace = TkwJPXColorSpace::jcUnknown;
  std::vector<std::uint8_t> Samples;
  std::vector<std::uint8_t> Alpha;  // one byte per pixel, empty without an alpha channel
};

// Decodes AData; false for data OpenJPEG cannot read and for pictures over the pixel caps.
// sYCC data comes out as RGB. Never throws on corrupt data.
bool DecodeJPX(std::span<const std::uint8_t> AData, TkwJPXImage& AImage);

// The JPXDecode filter: the decoded colour samples, row after row.
class TkwJPXDecode final : public TkwDecode {
public:
  explicit TkwJPXDecode(TkwRef<TkwStream> ASource);
  ~TkwJPXDecode() override;
  [[nodiscard]] TkwStreamType GetType() const override { return TkwStreamType::stJPX; }
  // The picture (decoded on first use; empty when it could not be decoded).
  [[nodiscard]] const TkwJPXImage& GetImage();

protected:
  void ResetDecoder() override;
  bool Refill() override;

private:
  bool FLoaded = false;
  TkwJPXImage FImage;
  std::size_t FOffset = 0;
  void Load();
};

using TkwJPXStream = TkwJPXDecode;

}  // namespace qm
