#include "base/Numbers.h"

#include <charconv>
#include <cstdio>

namespace qm {

std::int64_t RoundEven64(double AValue) {
  if (std::isnan(AValue)) return 0;
  constexpr double kMax = 9.2e18;
  if (AValue >= kMax) return std::numeric_limits<std::int64_t>::max();
  if (AValue <= -kMax) return std::numeric_limits<std::int64_t>::min();
  // nearbyint follows the current rounding mode, which is round-half-even by default and
  // never changed by the engine.
  return static_cast<std::int64_t>(std::nearbyint(AValue));
}

int ClampToInt(std::int64_t AValue) {
  if (AValue > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (AValue < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(AValue);
}

int ClampToInt(double AValue) {
  if (std::isnan(AValue)) return 0;
  if (AValue >= 2147483647.0) return std::numeric_limits<int>::max();
  if (AValue <= -2147483648.0) return std::numeric_limits<int>::min();
  return static_cast<int>(AValue);
}

std::string IntToStr(std::int64_t AValue) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, AValue);
  return std::string(buf, res.ptr);
}

std::string FloatToStr(double AValue, int ADecimals) {
  if (!std::isfinite(AValue)) return "0";
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, AValue, std::chars_format::fixed, ADecimals);
  std::string s(buf, res.ptr);
  if (s.find('.') != std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

std::optional<std::int64_t> ParseInt(std::string_view AText) {
  std::int64_t v = 0;
  const char* first = AText.data();
  const char* last = first + AText.size();
  if (first != last && *first == '+') ++first;
  auto res = std::from_chars(first, last, v);
  if (res.ec != std::errc() || res.ptr != last) return std::nullopt;
  return v;
}

std::optional<double> ParseFloat(std::string_view AText) {
  double v = 0;
  const char* first = AText.data();
  const char* last = first + AText.size();
  if (first != last && *first == '+') ++first;
  auto res = std::from_chars(first, last, v, std::chars_format::fixed);
  if (res.ec != std::errc() || res.ptr != last) return std::nullopt;
  return v;
}

}  // namespace qm
