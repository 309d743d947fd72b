#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Classes of typefaces, as a font name tells them: what a missing font is replaced by and
// what family a word processor is told a font belongs to.
namespace qm {

enum class TkwFontClass : std::uint8_t { fcUnknown, fcSerif, fcSans, fcMono, fcScript, fcSymbol };

// A family every word processor knows by name, with its class.
struct TkwKnownFamily {
  std::string_view Name;  // as word processors write it
  TkwFontClass Class;
};

// The known family whose name, without spaces, occurs in AName (any case; a subset prefix,
// style suffixes and punctuation may surround it); the longest such name wins. The PDF
// standard families count as their word-processor namesakes (Helvetica is Arial, Times is
// Times New Roman, Courier is Courier New).
[[nodiscard]] std::optional<TkwKnownFamily> FindKnownFamily(std::string_view AName);

// The class a font name tells: a known family's, else by the conventions of type names
// (TeX's CMR, CMSS, CMTT and their kin; words as Sans, Mono, Serif, Script); fcUnknown
// when the name says nothing.
[[nodiscard]] TkwFontClass FontClassOfName(std::string_view AName);

}  // namespace qm
