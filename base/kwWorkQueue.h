#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace qm {

// One background thread that does work the caller will need later (decoding and encoding
// pictures) while the caller goes on with the page. Jobs run one at a time, in the order
// given, and must own what they read. The thread starts with the first job and is joined
// when the queue is destroyed; queued jobs that have not started by then are dropped.
// Each document keeps its own queue, so that conversions side by side never wait for
// each other's pictures.
class TkwWorkQueue {
public:
  TkwWorkQueue() = default;
  ~TkwWorkQueue();
  TkwWorkQueue(const TkwWorkQueue&) = delete;
  TkwWorkQueue& operator=(const TkwWorkQueue&) = delete;

  // The job's result to come (an exception it throws is kept there; a job dropped at exit
  // reports a broken promise), or nothing when no thread can be started: the caller then
  // does the work itself.
  template <class R>
  [[nodiscard]] std::optional<std::shared_future<R>> Submit(std::function<R()> AJob) {
    auto task = std::make_shared<std::packaged_task<R()>>(std::move(AJob));
    std::shared_future<R> result = task->get_future().share();
    if (!Enqueue([task] { (*task)(); })) return std::nullopt;
    return result;
  }

private:
  bool Enqueue(std::function<void()> AJob);
  void Work();

  std::mutex FMutex;
  std::condition_variable FWake;
  std::deque<std::function<void()>> FJobs;
  std::thread FThread;
  bool FStop = false;
  bool FFailed = false;  // the thread could not be started
};

}  // namespace qm
