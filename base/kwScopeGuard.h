#pragma once

#include <type_traits>
#include <utility>

namespace qm {

// Runs a cleanup when the scope ends, however it ends, unless dismissed first. The cleanup
// runs inside a destructor, possibly while an exception unwinds: it must not throw.
//   TkwScopeGuard close([&] { parser.Close(); });
//   ... work that may throw ...
//   close.Dismiss();   // the success path closes in its own way, or keeps what was built
template <class F>
class TkwScopeGuard {
public:
  explicit TkwScopeGuard(F ACleanup) noexcept(std::is_nothrow_move_constructible_v<F>)
      : FCleanup(std::move(ACleanup)) {}
  TkwScopeGuard(const TkwScopeGuard&) = delete;
  TkwScopeGuard& operator=(const TkwScopeGuard&) = delete;
  TkwScopeGuard(TkwScopeGuard&&) = delete;
  TkwScopeGuard& operator=(TkwScopeGuard&&) = delete;
  ~TkwScopeGuard() {
    if (FActive) FCleanup();
  }

  // The cleanup will not run.
  void Dismiss() noexcept { FActive = false; }

private:
  F FCleanup;
  bool FActive = true;
};

}  // namespace qm
