// The background job queue: jobs run one at a time in the order given, their results and
// failures reach the caller, and a queue destroyed with work waiting does not hang.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

#include "base/kwWorkQueue.h"

namespace qm {
namespace {

TEST(WorkQueue, RunsJobsInOrderAndKeepsTheirFailures) {
  TkwWorkQueue queue;
  std::vector<int> order;
  std::vector<std::shared_future<int>> results;
  for (int i = 0; i < 20; ++i) {
    auto r = queue.Submit<int>([i, &order] {
      order.push_back(i);  // only the queue's one thread writes it
      if (i == 7) throw std::runtime_error("bad job");
      return i;
    });
    ASSERT_TRUE(r.has_value());
    results.push_back(*r);
  }
  for (int i = 0; i < 20; ++i) {
    if (i == 7) {
      EXPECT_THROW(results[7].get(), std::runtime_error);
    } else {
      EXPECT_EQ(results[static_cast<std::size_t>(i)].get(), i);
    }
  }
  std::vector<int> expected(20);
  for (int i = 0; i < 20; ++i) expected[static_cast<std::size_t>(i)] = i;
  EXPECT_EQ(order, expected);
}

// A queue destroyed with work waiting finishes the running job, drops the rest (their
// results report a broken promise) and does not hang.
TEST(WorkQueue, DestroyedWithJobsWaiting) {
  std::vector<std::shared_future<int>> results;
  std::atomic<bool> started{false};
  {
    TkwWorkQueue queue;
    results.push_back(*queue.Submit<int>([&started] {
      started = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      return 0;
    }));
    for (int i = 0; i < 5; ++i) results.push_back(*queue.Submit<int>([] { return 0; }));
    while (!started) std::this_thread::yield();
  }
  EXPECT_NO_THROW(results[0].get());
  EXPECT_THROW(results.back().get(), std::future_error);
}

}  // namespace
}  // namespace qm
