#include "base/kwWorkQueue.h"

#include <system_error>

namespace qm {

TkwWorkQueue::~TkwWorkQueue() {
  std::deque<std::function<void()>> dropped;
  {
    std::lock_guard lock(FMutex);
    FStop = true;
    dropped.swap(FJobs);
  }
  FWake.notify_all();
  if (FThread.joinable()) FThread.join();
}

bool TkwWorkQueue::Enqueue(std::function<void()> AJob) {
  {
    std::lock_guard lock(FMutex);
    if (FStop || FFailed) return false;
    if (!FThread.joinable()) {
      try {
        FThread = std::thread([this] { Work(); });
      } catch (const std::system_error&) {
        FFailed = true;  // out of threads: the callers do their work themselves
        return false;
      }
    }
    FJobs.push_back(std::move(AJob));
  }
  FWake.notify_one();
  return true;
}

void TkwWorkQueue::Work() {
  std::unique_lock lock(FMutex);
  for (;;) {
    FWake.wait(lock, [this] { return FStop || !FJobs.empty(); });
    if (FStop) return;
    std::function<void()> job = std::move(FJobs.front());
    FJobs.pop_front();
    lock.unlock();
    job();  // a packaged task: what the job throws goes to its result
    job = nullptr;  // what the job holds is released before the next one waits
    lock.lock();
  }
}

}  // namespace qm
