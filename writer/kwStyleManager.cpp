#include "writer/kwStyleManager.h"

#include <stdexcept>

namespace qm {

void TkwStyleManager::Assign(const TkwPersistent& ASource) {
  const auto* src = dynamic_cast<const TkwStyleManager*>(&ASource);
  if (!src) AssignError(ASource);
  if (src == this) return;
  TkwStyles copy;
  for (const auto& style : src->FStyles) {
    auto s = std::make_unique<TkwStyle>();
    s->Assign(*style);
    copy.push_back(std::move(s));
  }
  FStyles = std::move(copy);
}

int TkwStyleManager::AddStyle(const TFont& AFont, TColor AColor, std::string_view AStyleName,
                              std::uint8_t AKind) {
  if (const int found = IndexOfStyle(AStyleName); found >= 0) return found;
  auto style = std::make_unique<TkwStyle>();
  style->Font = AFont;
  style->Color = AColor;
  style->Kind = AKind;
  style->StyleName = AStyleName;
  style->Name = std::string("s").append(std::to_string(FStyles.size() + 11));
  FStyles.push_back(std::move(style));
  return GetCount() - 1;
}

int TkwStyleManager::IndexOfStyle(std::string_view AStyleName) const {
  for (std::size_t i = 0; i < FStyles.size(); ++i) {
    if (FStyles[i]->StyleName == AStyleName) return static_cast<int>(i);
  }
  return -1;
}

const TkwStyle& TkwStyleManager::StyleAt(int AIndex) const {
  if (AIndex < 0 || AIndex >= GetCount()) throw std::out_of_range("List index out of bounds");
  return *FStyles[static_cast<std::size_t>(AIndex)];
}

}  // namespace qm
