#pragma once

#include <memory>
#include <string_view>

#include "writer/kwWriterClasses.h"

namespace qm {

// The bookmark names of one document, owned by its writer.
class TkwBookmarkManager final : public TkwPersistent {
public:
  void Assign(const TkwPersistent& ASource) override;
  [[nodiscard]] const char* ClassName() const override { return "TkwBookmarkManager"; }

  // Index of the bookmark whose name equals AName in its 8-bit (code page 1252) form,
  // appending a new one when there is none.
  int AddBookmark(std::u16string_view AName);
  [[nodiscard]] int GetCount() const { return static_cast<int>(FBookmarks.size()); }
  [[nodiscard]] const TkwBookmark& BookmarkAt(int AIndex) const;
  void Clear() { FBookmarks.clear(); }

private:
  TkwBookmarks FBookmarks;
};

}  // namespace qm
