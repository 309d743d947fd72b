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
  // Adding 1.5 x 2^52 leaves no fraction bits, so the sum is rounded to a whole number in
  // the current rounding mode (round-half-even by default and never changed by the engine)
  // and the difference is that number exactly: nearbyint without a call into the library.
  constexpr double kShift = 6755399441055744.0;
  return static_cast<int>((AValue + kShift) - kShift);
}

// std::floor and std::ceil, signed zeros included, without a call into the library (the
// baseline instruction set has no rounding instruction): glyph boxes take four a glyph.
inline double Floor(double AValue) {
  if (!(std::fabs(AValue) < 4503599627370496.0)) return std::floor(AValue);  // 2^52: whole already
  const double t = static_cast<double>(static_cast<std::int64_t>(AValue));  // towards zero
  return t > AValue ? t - 1 : std::copysign(t, AValue);
}
inline double Ceil(double AValue) {
  if (!(std::fabs(AValue) < 4503599627370496.0)) return std::ceil(AValue);
  const double t = static_cast<double>(static_cast<std::int64_t>(AValue));
  return t < AValue ? t + 1 : std::copysign(t, AValue);
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
