#pragma once

#include <cstdint>
#include <utility>

namespace qm {

// A body shared by reference count (array and dictionary bodies, byte sources, stream
// dictionaries). Only TkwRef calls IncRef/DecRef; nobody else touches the count.
class TkwRefCounted {
public:
  TkwRefCounted() = default;
  TkwRefCounted(const TkwRefCounted&) = delete;
  TkwRefCounted& operator=(const TkwRefCounted&) = delete;
  virtual ~TkwRefCounted() = default;

  void IncRef() const noexcept { ++FRef; }
  // Frees the body when the last handle goes.
  void DecRef() const noexcept {
    if (--FRef == 0) {
      delete this;
    }
  }
  [[nodiscard]] std::int32_t GetRefCount() const noexcept { return FRef; }

private:
  mutable std::int32_t FRef = 0;
};

// Handle to a TkwRefCounted body: copy = IncRef, destroy = DecRef.
template <class T>
class TkwRef {
public:
  TkwRef() noexcept = default;
  TkwRef(std::nullptr_t) noexcept {}
  explicit TkwRef(T* AObj) noexcept : FObj(AObj) {
    if (FObj) FObj->IncRef();
  }
  TkwRef(const TkwRef& AOther) noexcept : TkwRef(AOther.FObj) {}
  TkwRef(TkwRef&& AOther) noexcept : FObj(std::exchange(AOther.FObj, nullptr)) {}
  template <class U>
  TkwRef(const TkwRef<U>& AOther) noexcept : TkwRef(AOther.Get()) {}
  ~TkwRef() {
    if (FObj) FObj->DecRef();
  }
  TkwRef& operator=(TkwRef AOther) noexcept {
    std::swap(FObj, AOther.FObj);
    return *this;
  }

  [[nodiscard]] T* Get() const noexcept { return FObj; }
  T* operator->() const noexcept { return FObj; }
  T& operator*() const noexcept { return *FObj; }
  explicit operator bool() const noexcept { return FObj != nullptr; }
  bool operator==(const TkwRef& AOther) const noexcept { return FObj == AOther.FObj; }

private:
  T* FObj = nullptr;
};

// Creates a body and its first handle.
template <class T, class... Args>
TkwRef<T> MakeRef(Args&&... AArgs) {
  return TkwRef<T>(new T(std::forward<Args>(AArgs)...));
}

}  // namespace qm
