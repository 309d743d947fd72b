#pragma once

#include <array>
#include <cstdint>

#include "pdf/core/kwStream.h"

namespace qm {

class TkwASCII85Decode final : public TkwDecode {
public:
  explicit TkwASCII85Decode(TkwRef<TkwStream> ASource) : TkwDecode(std::move(ASource)) {}
  [[nodiscard]] TkwStreamType GetType() const override { return TkwStreamType::stASCII85; }

protected:
  void ResetDecoder() override { FEnded = false; }
  bool Refill() override;

private:
  bool FEnded = false;
  std::array<std::uint8_t, 256> FBuffer{};
};

using TkwASCII85Stream = TkwASCII85Decode;

}  // namespace qm
