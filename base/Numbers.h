#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

// Rounds to the nearest integer, halves to the even neighbour (10.5 -> 10, 11.5 -> 12),
// as every conversion of a real to pixels, twips, sizes and channels does. Values out of
// range clamp; NaN gives 0.
std::int64_t RoundEven64(double AValue);
// Inline: it runs several times for every glyph of a page.
inline int RoundEven(double AValue) {
  if (std::isnan(AValue)) return 0;
  if (AValue >= 2147483647.0) return std::numeric_limits<int>::max();
  if (AValue <= -2147483648.0) return std::numeric_limits<int>::min();
  // nearbyint follows the current rounding mode, round-half-even by default and never
  // changed by the engine.
  return static_cast<int>(std::nearbyint(AValue));
}

// Clamps a value read from a file into int range; file numbers are never trusted.
int ClampToInt(std::int64_t AValue);
int ClampToInt(double AValue);

// Locale-free number formatting and parsing.
std::string IntToStr(std::int64_t AValue);
std::string FloatToStr(double AValue, int ADecimals = 6);  // shortest form, no exponent
std::optional<std::int64_t> ParseInt(std::string_view AText);
std::optional<double> ParseFloat(std::string_view AText);

}  // namespace qm
