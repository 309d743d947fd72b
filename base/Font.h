#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/Color.h"

// The font description every stage passes along with text: the extractor chooses it, the
// formatter groups runs by it, the writer puts it in the font table.
namespace qm {

// Font style bits, in the order the RTF runs store them.
using TFontStyles = std::uint8_t;
inline constexpr TFontStyles fsBold = 1;
inline constexpr TFontStyles fsItalic = 2;
inline constexpr TFontStyles fsUnderline = 4;
inline constexpr TFontStyles fsStrikeOut = 8;
inline constexpr TFontStyles fsDoubleUnderline = 16;
inline constexpr TFontStyles fsDottedUnderline = 32;  // with fsUnderline: the underline is dotted

inline constexpr std::uint8_t kDefaultCharset = 1;  // DEFAULT_CHARSET
inline constexpr std::uint8_t kAnsiCharset = 0;
inline constexpr std::uint8_t kSymbolCharset = 2;

// The font a run is shown in when its PDF font matches no installed family and no class
// of font chose another.
inline constexpr std::string_view kFallbackFontName = "Arial Unicode MS";

struct TFont {
  std::string Name = "Arial";  // face name, UTF-8
  int Size = 10;               // points
  TFontStyles Style = 0;
  TColor Color = clBlack;
  std::uint8_t Charset = kDefaultCharset;
  bool operator==(const TFont&) const = default;
};

}  // namespace qm
