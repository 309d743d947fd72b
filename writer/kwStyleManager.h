#pragma once

#include <memory>
#include <string_view>

#include "writer/kwWriterClasses.h"

namespace qm {

// The named paragraph styles of one document; its writer owns it and the RTF header
// borrows it.
class TkwStyleManager final : public TkwPersistent {
public:
  void Assign(const TkwPersistent& ASource) override;
  [[nodiscard]] const char* ClassName() const override { return "TkwStyleManager"; }

  // Index of the style named AStyleName (case-sensitive); a new style is named "s" followed
  // by (count before adding + 11).
  int AddStyle(const TFont& AFont, TColor AColor, std::string_view AStyleName, std::uint8_t AKind);
  [[nodiscard]] int IndexOfStyle(std::string_view AStyleName) const;
  // Throws std::out_of_range for an index outside the list.
  [[nodiscard]] const TkwStyle& StyleAt(int AIndex) const;
  [[nodiscard]] int GetCount() const { return static_cast<int>(FStyles.size()); }
  void Clear() { FStyles.clear(); }

private:
  TkwStyles FStyles;
};

}  // namespace qm
