#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qm {

// A font file on disk and the face inside it (collections hold several).
struct TkwFontFile {
  std::string Path;  // empty when nothing matched
  int Index = 0;
};

// The installed outline-font families, as word processors will see them.
// Names are fontconfig's primary family names (UTF-8), sorted by byte order, without
// duplicates. "Arial", "Times New Roman" and "Courier New" are listed as well when their
// metric-compatible stand-ins (Liberation Sans, Serif, Mono) are installed, so that RTF
// output names fonts every reader knows. Built once per process; thread-safe.
[[nodiscard]] const std::vector<std::string>& GetInstalledFonts();

// True when AFamily is in GetInstalledFonts(), compared without regard to ASCII case.
[[nodiscard]] bool IsFontInstalled(std::string_view AFamily);

// The installed family that stands in for AFamily: "Arial" gives "Liberation Sans",
// "Times New Roman" "Liberation Serif", "Courier New" "Liberation Mono" (when those are
// installed); any other name is returned as given.
[[nodiscard]] std::string ResolveFontFamily(std::string_view AFamily);

// The font file for a family and style. An installed family always gives one of its own
// files (the closest weight and slant); an unknown family gives fontconfig's best match,
// which is stable for a given set of installed fonts. Results are cached; thread-safe.
// Path is empty only when fontconfig has no fonts at all.
[[nodiscard]] TkwFontFile FindFontFile(std::string_view AFamily, bool ABold, bool AItalic);

}  // namespace qm
