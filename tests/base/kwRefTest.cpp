#include "base/kwRef.h"

#include <gtest/gtest.h>

namespace qm {
namespace {

struct Body : TkwRefCounted {
  explicit Body(int* AFreed) : Freed(AFreed) {}
  ~Body() override { ++*Freed; }
  int* Freed;
};

TEST(TkwRef, LastHandleFreesTheBodyOnce) {
  int freed = 0;
  {
    TkwRef<Body> a = MakeRef<Body>(&freed);
    EXPECT_EQ(a->GetRefCount(), 1);
    TkwRef<Body> b = a;
    EXPECT_EQ(a->GetRefCount(), 2);
    TkwRef<Body> c = std::move(b);
    EXPECT_FALSE(b);
    EXPECT_EQ(c->GetRefCount(), 2);
    a = TkwRef<Body>();
    EXPECT_EQ(freed, 0);
  }
  EXPECT_EQ(freed, 1);
}

}  // namespace
}  // namespace qm
