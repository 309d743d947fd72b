#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "base/Limits.h"

// Colour values in 16.16 fixed point: 65536 is 1.0.
namespace qm {

inline constexpr std::int32_t kColorOne = 65536;

// Up to 32 components of a colour in its own space.
struct TkwColor {
  std::array<std::int32_t, kMaxColorComps> FComps{};
};

struct TkwRGB {
  std::int32_t R = 0, G = 0, B = 0;
};

struct TkwCMYK {
  std::int32_t C = 0, M = 0, Y = 0, K = 0;
};

[[nodiscard]] inline double ToDouble(std::int32_t AColor) { return AColor / 65536.0; }

// x × 65536 truncated towards zero; values beyond the 32-bit range are held at its ends
// and NaN gives 0.
[[nodiscard]] inline std::int32_t ToColor(double AValue) {
  const double v = AValue * 65536.0;
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return static_cast<std::int32_t>(v);
}

[[nodiscard]] inline std::int32_t Clamp(std::int64_t AColor) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(AColor, 0, kColorOne));
}

[[nodiscard]] inline double Clip01(double AValue) {
  if (!(AValue == AValue)) return 0;
  return std::clamp(AValue, 0.0, 1.0);
}

// 0..65536 to 0..255, rounded; values outside 0..1 are clamped first.
[[nodiscard]] inline std::uint8_t ToByte(std::int32_t AColor) {
  return static_cast<std::uint8_t>((std::int64_t{Clamp(AColor)} * 255 + 32768) >> 16);
}

}  // namespace qm
