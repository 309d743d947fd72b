#pragma once

#include <cstdint>

// Colours as every stage passes them.
namespace qm {

// A colour as the desktop passes it: 0x00BBGGRR for RGB values (red in the low byte);
// values with the top bit set name a system colour by its index in the low byte.
using TColor = std::int32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;
inline constexpr TColor clSystemColor = static_cast<TColor>(0xFF000000u);
inline constexpr TColor clWindow = static_cast<TColor>(0xFF000005u);
inline constexpr TColor clWindowText = static_cast<TColor>(0xFF000008u);
inline constexpr TColor clBtnFace = static_cast<TColor>(0xFF00000Fu);

[[nodiscard]] inline std::uint8_t GetRValue(std::uint32_t ARgb) { return ARgb & 0xFF; }
[[nodiscard]] inline std::uint8_t GetGValue(std::uint32_t ARgb) { return (ARgb >> 8) & 0xFF; }
[[nodiscard]] inline std::uint8_t GetBValue(std::uint32_t ARgb) { return (ARgb >> 16) & 0xFF; }
[[nodiscard]] inline TColor RGBColor(std::uint8_t R, std::uint8_t G, std::uint8_t B) {
  return static_cast<TColor>(R | (G << 8) | (B << 16));
}

}  // namespace qm
