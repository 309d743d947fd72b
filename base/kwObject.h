#pragma once

// The root of every class hierarchy in the engine: a virtual destructor and no copying.
// Value-like types (matrices, rectangles, points) do not derive from it.
namespace qm {

class TkwObject {
public:
  TkwObject() = default;
  virtual ~TkwObject() = default;
  TkwObject(const TkwObject&) = delete;
  TkwObject& operator=(const TkwObject&) = delete;
};

}  // namespace qm
