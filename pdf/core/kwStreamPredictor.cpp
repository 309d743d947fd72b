#include "pdf/core/kwStreamPredictor.h"

#include <cstdlib>

#include "base/Limits.h"
#include "pdf/core/kwPDBaseObject.h"

namespace qm {

TkwStreamPredictor::TkwStreamPredictor(TkwRef<TkwStream> ASource, int APredictor, int AColumns,
                                       int AColors, int ABitsPerComponent)
    : TkwDecode(std::move(ASource)),
      FPredictor(APredictor),
      FWidth(AColumns),
      FComps(AColors),
      FBits(ABitsPerComponent) {
  if (FWidth <= 0 || FComps <= 0 || FBits <= 0 || FBits > 32) return;
  const std::int64_t pixBits = std::int64_t{FComps} * FBits;
  const std::int64_t pixBytes = (pixBits + 7) / 8;
  const std::int64_t rowBytes = pixBytes + (std::int64_t{FWidth} * pixBits + 7) / 8;
  if (rowBytes > INT32_MAX || rowBytes > kMaxPredictorRowBytes) return;
  FPixBytes = static_cast<int>(pixBytes);
  FRowBytes = static_cast<int>(rowBytes);
  FLine.assign(static_cast<std::size_t>(FRowBytes), 0);
  FPrev.assign(static_cast<std::size_t>(FRowBytes), 0);
  FOk = true;
}

TkwRef<TkwStream> TkwStreamPredictor::Wrap(TkwRef<TkwStream> ASource,
                                           const TkwPDDictionary* AParms) {
  if (AParms == nullptr) return ASource;
  const int predictor = AParms->LookUpInt("Predictor", 1);
  if (predictor == 1) return ASource;
  TkwRef<TkwStreamPredictor> result(new TkwStreamPredictor(
      ASource, predictor, AParms->LookUpInt("Columns", 1), AParms->LookUpInt("Colors", 1),
      AParms->LookUpInt("BitsPerComponent", 8)));
  // Unusable parameters deliver the bytes unpredicted.
  if (!result->GetOk()) return ASource;
  return result;
}

void TkwStreamPredictor::ResetDecoder() {
  std::fill(FLine.begin(), FLine.end(), 0);
  std::fill(FPrev.begin(), FPrev.end(), 0);
}

namespace {

std::uint8_t Paeth(int ALeft, int AUp, int AUpLeft) {
  const int p = ALeft + AUp - AUpLeft;
  const int pa = std::abs(p - ALeft);
  const int pb = std::abs(p - AUp);
  const int pc = std::abs(p - AUpLeft);
  if (pa <= pb && pa <= pc) return static_cast<std::uint8_t>(ALeft);
  if (pb <= pc) return static_cast<std::uint8_t>(AUp);
  return static_cast<std::uint8_t>(AUpLeft);
}

}  // namespace

void TkwStreamPredictor::UndoTiff() {
  std::uint8_t* row = FLine.data() + FPixBytes;
  const std::size_t dataBytes = static_cast<std::size_t>(FRowBytes - FPixBytes);
  if (FBits == 8) {
    for (std::size_t i = static_cast<std::size_t>(FPixBytes); i < dataBytes; ++i) {
      row[i] = static_cast<std::uint8_t>(row[i] + row[i - static_cast<std::size_t>(FPixBytes)]);
    }
    return;
  }
  // Other widths: each component adds the same component of the previous pixel, masked to
  // its width (for 1-bit samples this is the exclusive-or of the neighbours).
  const std::uint64_t mask = FBits == 32 ? 0xFFFFFFFFu : ((std::uint64_t{1} << FBits) - 1);
  const std::size_t count = static_cast<std::size_t>(FWidth) * static_cast<std::size_t>(FComps);
  auto get = [&](std::size_t AIndex) {
    std::uint64_t value = 0;
    std::size_t bit = AIndex * static_cast<std::size_t>(FBits);
    for (int i = 0; i < FBits; ++i, ++bit) {
      value = (value << 1) | ((static_cast<unsigned>(row[bit >> 3]) >> (7 - (bit & 7))) & 1u);
    }
    return value;
  };
  auto put = [&](std::size_t AIndex, std::uint64_t AValue) {
    std::size_t bit = AIndex * static_cast<std::size_t>(FBits) + static_cast<std::size_t>(FBits);
    for (int i = 0; i < FBits; ++i) {
      --bit;
      const auto m = static_cast<std::uint8_t>(0x80u >> (bit & 7));
      if (AValue & 1u) {
        row[bit >> 3] = static_cast<std::uint8_t>(row[bit >> 3] | m);
      } else {
        row[bit >> 3] = static_cast<std::uint8_t>(row[bit >> 3] & ~m);
      }
      AValue >>= 1;
    }
  };
  const auto comps = static_cast<std::size_t>(FComps);
  for (std::size_t i = comps; i < count; ++i) put(i, (get(i) + get(i - comps)) & mask);
}

bool TkwStreamPredictor::Refill() {
  if (!FOk) {
    // Not reached through Wrap; kept so a directly built stream still reads.
    FRaw.resize(4096);
    const std::size_t n = FSource->Read(std::span<std::uint8_t>(FRaw));
    if (n == 0) return false;
    SetWindow(FRaw.data(), FRaw.data() + n);
    return true;
  }
  int rowType = FPredictor;
  if (FPredictor >= 10 && FPredictor <= 15) {
    const int type = FSource->GetChar();
    if (type < 0) return false;
    rowType = type + 10;
  }
  FLine.swap(FPrev);
  const auto pix = static_cast<std::size_t>(FPixBytes);
  const auto rowBytes = static_cast<std::size_t>(FRowBytes);
  std::uint8_t* line = FLine.data();
  const std::uint8_t* up = FPrev.data();
  for (std::size_t i = 0; i < pix; ++i) line[i] = 0;
  const std::size_t want = rowBytes - pix;
  // A row cut short by the end of the data is not delivered.
  if (FSource->Read(std::span<std::uint8_t>(line + pix, want)) < want) return false;
  switch (rowType) {
    case 11:
      for (std::size_t i = pix; i < rowBytes; ++i) line[i] = static_cast<std::uint8_t>(line[i] + line[i - pix]);
      break;
    case 12:
      for (std::size_t i = pix; i < rowBytes; ++i) line[i] = static_cast<std::uint8_t>(line[i] + up[i]);
      break;
    case 13:
      for (std::size_t i = pix; i < rowBytes; ++i) {
        line[i] = static_cast<std::uint8_t>(line[i] + ((line[i - pix] + up[i]) >> 1));
      }
      break;
    case 14:
      for (std::size_t i = pix; i < rowBytes; ++i) {
        line[i] = static_cast<std::uint8_t>(line[i] + Paeth(line[i - pix], up[i], up[i - pix]));
      }
      break;
    case 2:
      UndoTiff();
      break;
    default:
      break;
  }
  SetWindow(line + pix, line + rowBytes);
  return true;
}

}  // namespace qm
