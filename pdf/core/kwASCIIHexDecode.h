#pragma once

#include <array>
#include <cstdint>

#include "pdf/core/kwStream.h"

namespace qm {

class TkwASCIIHexDecode final : public TkwDecode {
public:
  explicit TkwASCIIHexDecode(TkwRef<TkwStream> ASource) : TkwDecode(std::move(ASource)) {}
  [[nodiscard]] TkwStreamType GetType() const override { return TkwStreamType::stASCIIHex; }

protected:
  void ResetDecoder() override { FEnded = false; }
  bool Refill() override;

private:
  bool FEnded = false;
  std::array<std::uint8_t, 256> FBuffer{};
};

using TkwASCIIHexStream = TkwASCIIHexDecode;

}  // namespace qm
