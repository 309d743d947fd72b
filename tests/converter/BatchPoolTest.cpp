#include "converter/kwBatchPool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "converter/kwDocumentParser.h"
#include "converter/kwPDFConverter.h"
#include "formatter/kwFormatter.h"
#include "writer/kwDocumentWriter.h"

namespace qm {
namespace {

using namespace std::chrono_literals;

// A document of FPages pages that the converter walks without reading or writing a file:
// each page only starts, so the converter's page events, progress and cancel checks run.
class TPagesParser final : public TkwDocumentParser {
public:
  TPagesParser(TkwFormatter* AFormatter, int APages, std::function<void(int)> AOnPage, bool AFailOpen)
      : TkwDocumentParser(AFormatter), FPages(APages), FOnPage(std::move(AOnPage)), FFailOpen(AFailOpen) {}

  int PageCount() const override { return FPages; }
  int ConvertedPageCount() const override { return FConverted; }
  int SelectedPageCount() const override { return FPages; }
  void Open(const std::string&, const std::string&) override {
    if (FFailOpen) throw std::runtime_error("Invalid PDF Document");
  }
  void Open(TkwRef<TkwBaseStream>, const std::string&) override {}
  void Run() override {
    for (int page = 1; page <= FPages; ++page) {
      DoPageStart(page);
      ++FConverted;
      if (FOnPage) FOnPage(page);
    }
  }
  void Close() override {}

private:
  int FPages;
  std::function<void(int)> FOnPage;
  bool FFailOpen;
  int FConverted = 0;
};

// A converter over TPagesParser; AOnPage runs in the task's thread after each page start.
std::unique_ptr<TkwFileConverter> PagesConverter(int APages, std::function<void(int)> AOnPage = {},
                                                 bool AFailOpen = false) {
  auto factory = std::make_unique<TkwConverterFactory>(
      [](std::uint8_t) { return std::make_unique<TkwDocumentWriter>(); },
      [](TkwDocumentWriter& AWriter) { return std::make_unique<TkwFormatter>(AWriter); },
      [APages, AOnPage, AFailOpen](TkwFormatter* AFormatter) {
        return std::make_unique<TPagesParser>(AFormatter, APages, AOnPage, AFailOpen);
      });
  auto converter = std::make_unique<TkwPDFConverter>(std::move(factory));
  converter->SetInputFileName("in.pdf");
  converter->SetOutputFileName("out.rtf");
  return converter;
}

// Waits, bounded, until APredicate holds under AMutex.
template <typename TPredicate>
bool WaitUntil(std::mutex& AMutex, std::condition_variable& AChanged, TPredicate APredicate) {
  std::unique_lock lock(AMutex);
  return AChanged.wait_for(lock, 30s, APredicate);
}

TEST(BatchPool, ResultsComeInInputOrderWhateverOrderTheTasksEnd) {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::size_t> ended;
  TkwBatchPool pool(2);
  pool.SetOnTaskEnd([&](std::size_t AIndex, const TkwBatchResult&) {
    std::lock_guard lock(mutex);
    ended.push_back(AIndex);
    changed.notify_all();
  });
  // Task 0 holds its worker until the other worker has run tasks 1, 2 and 3.
  const auto& results = pool.Run(4, [&](TkwBatchTask& ATask) {
    const std::size_t i = ATask.GetIndex();
    if (i == 0) {
      ASSERT_TRUE(WaitUntil(mutex, changed, [&] { return ended.size() == 3; }));
    }
    if (i % 2 == 1) throw std::runtime_error("task " + std::to_string(i));
  });
  EXPECT_EQ(ended, (std::vector<std::size_t>{1, 2, 3, 0}));
  ASSERT_EQ(results.size(), 4u);
  for (std::size_t i = 0; i < results.size(); ++i) {
    EXPECT_EQ(results[i].Status, i % 2 == 1 ? TkwBatchStatus::bsFailed : TkwBatchStatus::bsDone) << i;
    EXPECT_EQ(results[i].Message, i % 2 == 1 ? "task " + std::to_string(i) : "") << i;
    EXPECT_EQ(results[i].Error != nullptr, i % 2 == 1) << i;
  }
}

struct TClampCase {
  std::size_t Threads;
  std::size_t Tasks;
  std::size_t Workers;
};

class BatchPoolClamp : public ::testing::TestWithParam<TClampCase> {};

TEST_P(BatchPoolClamp, WorkersAreTheThreadsAskedForCappedAtTheTasks) {
  const TClampCase& c = GetParam();
  std::atomic<int> running{0};
  std::atomic<int> peak{0};
  std::mutex mutex;
  std::set<std::thread::id> threads;
  int finished = 0;
  TkwBatchPool pool(c.Threads);
  pool.SetOnFinished([&] { ++finished; });
  const auto& results = pool.Run(c.Tasks, [&](TkwBatchTask&) {
    const int now = ++running;
    int seen = peak.load();
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
    {
      std::lock_guard lock(mutex);
      threads.insert(std::this_thread::get_id());
    }
    std::this_thread::sleep_for(2ms);
    --running;
  });
  EXPECT_EQ(pool.GetThreadCount(), c.Workers);
  EXPECT_LE(static_cast<std::size_t>(peak.load()), c.Workers);
  EXPECT_LE(threads.size(), c.Workers);
  EXPECT_EQ(finished, 1);
  ASSERT_EQ(results.size(), c.Tasks);
  for (const TkwBatchResult& r : results) EXPECT_EQ(r.Status, TkwBatchStatus::bsDone);
}

INSTANTIATE_TEST_SUITE_P(Counts, BatchPoolClamp,
                         ::testing::Values(TClampCase{8, 3, 3}, TClampCase{2, 5, 2}, TClampCase{1, 4, 1},
                                           TClampCase{3, 0, 0}, TClampCase{5, 5, 5},
                                           TClampCase{0, 64, std::min<std::size_t>(
                                                                 TkwBatchPool::DefaultThreadCount(), 64)}));

TEST(BatchPool, CancelStopsTheRunningConversionsAndStartsNoOther) {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<int> pagesSeen(6, 0);
  std::vector<std::size_t> started;
  TkwBatchPool pool(2);
  pool.SetOnTaskStart([&](std::size_t AIndex) {
    std::lock_guard lock(mutex);
    started.push_back(AIndex);
  });
  pool.Start(6, [&](std::size_t AIndex) {
    return PagesConverter(100000, [&, AIndex](int APage) {
      {
        std::lock_guard lock(mutex);
        pagesSeen[AIndex] = APage;
      }
      changed.notify_all();
      std::this_thread::sleep_for(1ms);
    });
  });
  ASSERT_TRUE(WaitUntil(mutex, changed, [&] { return pagesSeen[0] >= 3 && pagesSeen[1] >= 3; }));
  pool.Cancel();
  pool.Wait();
  const auto& results = pool.GetResults();
  ASSERT_EQ(results.size(), 6u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(results[i].Status, TkwBatchStatus::bsCancelled) << i;
    EXPECT_LT(pagesSeen[i], 100000) << i;
  }
  for (std::size_t i = 2; i < 6; ++i) EXPECT_EQ(results[i].Status, TkwBatchStatus::bsNotStarted) << i;
  EXPECT_EQ(std::set<std::size_t>(started.begin(), started.end()), (std::set<std::size_t>{0, 1}));
}

TEST(BatchPool, CancelBeforeStartRunsNothing) {
  int made = 0;
  TkwBatchPool pool(2);
  pool.Cancel();
  const auto& results = pool.Run(3, [&](std::size_t) {
    ++made;
    return PagesConverter(1);
  });
  EXPECT_EQ(made, 0);
  for (const TkwBatchResult& r : results) EXPECT_EQ(r.Status, TkwBatchStatus::bsNotStarted);
}

// Convert forgets requests made before it begins; one made while the task prepared its
// converter still stops it before the first page.
TEST(BatchPool, CancelBeforeATasksConvertBeginsStopsIt) {
  int pages = 0;
  TkwBatchPool pool(1);
  const auto& results = pool.Run(1, [&](TkwBatchTask& ATask) {
    auto converter = PagesConverter(50, [&](int) { ++pages; });
    pool.Cancel();
    ATask.Convert(*converter);
  });
  EXPECT_EQ(results[0].Status, TkwBatchStatus::bsCancelled);
  EXPECT_EQ(pages, 0);
}

TEST(BatchPool, AFailingConversionDoesNotStopTheOthers) {
  std::mutex mutex;
  std::vector<int> endedJobs(4, 0);
  TkwBatchPool pool(2);
  const auto& results = pool.Run(4, [&](std::size_t AIndex) {
    auto converter = PagesConverter(3, {}, AIndex == 1);
    converter->SetOnEndJob([&, AIndex](TkwObject&, TkwEndJobEventArgs& AArgs) {
      std::lock_guard lock(mutex);
      endedJobs[AIndex] = AArgs.GetConvertedPageCount();
    });
    return converter;
  });
  ASSERT_EQ(results.size(), 4u);
  EXPECT_EQ(results[1].Status, TkwBatchStatus::bsFailed);
  EXPECT_EQ(results[1].Message, "Invalid PDF Document");
  EXPECT_EQ(endedJobs, (std::vector<int>{3, 0, 3, 3}));
  for (std::size_t i : {0u, 2u, 3u}) EXPECT_EQ(results[i].Status, TkwBatchStatus::bsDone) << i;
}

TEST(BatchPool, AMakerWithoutConverterFailsOnlyItsTask) {
  TkwBatchPool pool(2);
  const auto& results = pool.Run(3, [](std::size_t AIndex) -> std::unique_ptr<TkwFileConverter> {
    if (AIndex == 0) return nullptr;
    if (AIndex == 1) throw std::runtime_error("File Not Found");
    return PagesConverter(1);
  });
  EXPECT_EQ(results[0].Status, TkwBatchStatus::bsFailed);
  EXPECT_EQ(results[1].Message, "File Not Found");
  EXPECT_EQ(results[2].Status, TkwBatchStatus::bsDone);
}

}  // namespace
}  // namespace qm
