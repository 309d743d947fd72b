#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// The kinds of layout element the formatter reports through OnElementDetected, and the one
// table of their names that the command line, the application and its settings file use.
namespace qm {

// The values are the codes an element carries (TkwFormatterElement::ElementType).
enum class TkwElementKind : std::uint8_t {
  ekPage, ekHSection, ekColumn, ekParagraph, ekTextLine, ekText, ekImage, ekTable, ekRow, ekShape
};
inline constexpr std::size_t kElementKindCount = 10;

[[nodiscard]] constexpr std::size_t KindIndex(TkwElementKind AKind) noexcept {
  return static_cast<std::size_t>(AKind);
}

// The kind of an element code; nothing for a code no kind has.
[[nodiscard]] constexpr std::optional<TkwElementKind> ElementKindOf(int ACode) noexcept {
  if (ACode < 0 || ACode >= static_cast<int>(kElementKindCount)) return std::nullopt;
  return static_cast<TkwElementKind>(ACode);
}

struct TkwElementKindName {
  TkwElementKind Kind;
  std::string_view Name;     // command line: --process NAME=ACTION
  std::string_view Key;      // settings file key, and the name of the choice box
  std::string_view Caption;  // label of the choice box
};

// In the order the application lists the choice boxes and the settings file writes them.
// The keys are the settings file's: changing one loses the users' saved choices.
inline constexpr std::array<TkwElementKindName, kElementKindCount> kElementKindNames{{
    {TkwElementKind::ekPage, "page", "Page", "Page"},
    {TkwElementKind::ekHSection, "hsection", "HSection", "Horizontal section"},
    {TkwElementKind::ekShape, "shape", "Shape", "Shape"},
    {TkwElementKind::ekParagraph, "paragraph", "Paragraph", "Paragraph"},
    {TkwElementKind::ekImage, "image", "Image", "Image"},
    {TkwElementKind::ekTextLine, "textline", "TextLine", "Text line"},
    {TkwElementKind::ekText, "text", "Text", "Text"},
    {TkwElementKind::ekTable, "table", "Table", "Table"},
    {TkwElementKind::ekRow, "row", "Row", "Row"},
    {TkwElementKind::ekColumn, "column", "Column", "Column"},
}};

// The entry of a kind.
[[nodiscard]] constexpr const TkwElementKindName& ElementKindName(TkwElementKind AKind) noexcept {
  for (const TkwElementKindName& n : kElementKindNames) {
    if (n.Kind == AKind) return n;
  }
  return kElementKindNames[0];  // unreachable: every kind has an entry
}

// The kind of a command-line name; nothing for an unknown name.
[[nodiscard]] constexpr std::optional<TkwElementKind> ElementKindByName(std::string_view AName) noexcept {
  for (const TkwElementKindName& n : kElementKindNames) {
    if (n.Name == AName) return n.Kind;
  }
  return std::nullopt;
}

// Something per element kind, indexed by KindIndex.
template <typename T>
using TkwPerElementKind = std::array<T, kElementKindCount>;

}  // namespace qm
