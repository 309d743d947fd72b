#pragma once

#include <cstdint>
#include <vector>

#include "pdf/core/kwStream.h"

namespace qm {

class TkwPDDictionary;

// Undoes the TIFF (2) and PNG (10..15) predictors over the output of Flate or LZW.
class TkwStreamPredictor final : public TkwDecode {
public:
  TkwStreamPredictor(TkwRef<TkwStream> ASource, int APredictor, int AColumns, int AColors,
                     int ABitsPerComponent);
  [[nodiscard]] TkwStreamType GetType() const override { return FSource->GetType(); }
  // Byte of the source before prediction.
  int ReadRawChar() override { return FSource->GetChar(); }
  // False when the parameters were unusable and the raw bytes are delivered.
  [[nodiscard]] bool GetOk() const { return FOk; }

  // Wraps ASource in a predictor when AParms asks for one (Predictor other than 1 and the
  // set-up succeeds); otherwise returns ASource.
  [[nodiscard]] static TkwRef<TkwStream> Wrap(TkwRef<TkwStream> ASource,
                                              const TkwPDDictionary* AParms);

protected:
  void ResetDecoder() override;
  bool Refill() override;

private:
  void UndoTiff();

  int FPredictor;
  int FWidth;
  int FComps;
  int FBits;
  int FPixBytes = 0;
  int FRowBytes = 0;
  bool FOk = false;
  std::vector<std::uint8_t> FLine;  // first FPixBytes bytes stay zero (left of pixel 0)
  std::vector<std::uint8_t> FPrev;
  std::vector<std::uint8_t> FRaw;   // pass-through buffer when not FOk
};

}  // namespace qm
