#pragma once

#include <cstdint>
#include <string_view>

namespace qm {

// Unicode value of a glyph name, 0 when the name means nothing known.
// With ADingbats the ITC Zapf Dingbats list is asked first ("a1" … "a191"; "four" and "l",
// which older producers use in dingbat fonts, give U+2714 and U+25CF), then the Adobe Glyph
// List. Names outside the lists follow Adobe's glyph naming rules: "uniXXXX", "uXXXX" to
// "uXXXXXX" (values above U+FFFF give 0, the engine's codes are 16-bit), and a suffix after the
// first "." is ignored ("a.sc" is "a"). A name standing for several code points gives the first.
[[nodiscard]] std::uint16_t GlyphNameToUnicode(std::string_view AName, bool ADingbats = false);

}  // namespace qm
