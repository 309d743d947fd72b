#include "writer/kwBookmarkManager.h"

#include <stdexcept>
#include <string>

namespace qm {

namespace {
// The name as an 8-bit string; characters outside Latin-1 become '?', which is how the
// comparison has always folded them.
std::string Narrow(std::u16string_view AName) {
  std::string out;
  out.reserve(AName.size());
  for (char16_t c : AName) out.push_back(c < 256 ? static_cast<char>(c) : '?');
  return out;
}
}  // namespace

void TkwBookmarkManager::Assign(const TkwPersistent& ASource) {
  const auto* src = dynamic_cast<const TkwBookmarkManager*>(&ASource);
  if (!src) AssignError(ASource);
  if (src == this) return;
  TkwBookmarks copy;
  for (const auto& b : src->FBookmarks) {
    auto n = std::make_unique<TkwBookmark>();
    n->Assign(*b);
    copy.push_back(std::move(n));
  }
  FBookmarks = std::move(copy);
}

int TkwBookmarkManager::AddBookmark(std::u16string_view AName) {
  const std::string key = Narrow(AName);
  for (std::size_t i = 0; i < FBookmarks.size(); ++i) {
    if (Narrow(FBookmarks[i]->Name) == key) return static_cast<int>(i);
  }
  auto b = std::make_unique<TkwBookmark>();
  b->Name = AName;
  FBookmarks.push_back(std::move(b));
  return GetCount() - 1;
}

const TkwBookmark& TkwBookmarkManager::BookmarkAt(int AIndex) const {
  if (AIndex < 0 || AIndex >= GetCount()) throw std::out_of_range("List index out of bounds");
  return *FBookmarks[static_cast<std::size_t>(AIndex)];
}

}  // namespace qm
