#include "base/kwScopeGuard.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace qm {
namespace {

// Cleanups the engine relies on: run when the scope is left by an exception, skipped once
// dismissed on the success path.
TEST(ScopeGuard, RunsWhenAnExceptionLeavesTheScopeUnlessDismissed) {
  int runs = 0;
  EXPECT_THROW(
      {
        TkwScopeGuard guard([&] { ++runs; });
        throw std::runtime_error("x");
      },
      std::runtime_error);
  EXPECT_EQ(runs, 1);
  {
    TkwScopeGuard guard([&] { ++runs; });
    guard.Dismiss();
  }
  EXPECT_EQ(runs, 1);
  { TkwScopeGuard guard([&] { ++runs; }); }
  EXPECT_EQ(runs, 2);
}

}  // namespace
}  // namespace qm
