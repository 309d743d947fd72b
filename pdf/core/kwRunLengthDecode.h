#pragma once

#include <array>
#include <cstdint>

#include "pdf/core/kwStream.h"

namespace qm {

class TkwRunLengthDecode final : public TkwDecode {
public:
  explicit TkwRunLengthDecode(TkwRef<TkwStream> ASource) : TkwDecode(std::move(ASource)) {}
  [[nodiscard]] TkwStreamType GetType() const override { return TkwStreamType::stRunLength; }

protected:
  void ResetDecoder() override { FEnded = false; }
  bool Refill() override;

private:
  bool FEnded = false;
  std::array<std::uint8_t, 128> FBuffer{};
};

using TkwRunLengthStream = TkwRunLengthDecode;

}  // namespace qm
