#include "writer/kwPictureQueue.h"

#include <system_error>

namespace qm {

TkwPictureQueue& TkwPictureQueue::Shared() {
  static TkwPictureQueue queue;
  return queue;
}

TkwPictureQueue::~TkwPictureQueue() {
  {
    std::lock_guard lock(FMutex);
    FStop = true;
    FJobs.clear();
  }
  FWake.notify_all();
  if (FThread.joinable()) FThread.join();
}

std::optional<std::shared_future<TkwPictureData>> TkwPictureQueue::Submit(std::function<TkwPictureData()> AJob) {
  std::packaged_task<TkwPictureData()> task(std::move(AJob));
  std::shared_future<TkwPictureData> result = task.get_future().share();
  {
    std::lock_guard lock(FMutex);
    if (FStop || FFailed) return std::nullopt;
    if (!FThread.joinable()) {
      try {
        FThread = std::thread([this] { Work(); });
      } catch (const std::system_error&) {
        FFailed = true;  // out of threads: every picture is encoded where it is placed
        return std::nullopt;
      }
    }
    FJobs.push_back(std::move(task));
  }
  FWake.notify_one();
  return result;
}

void TkwPictureQueue::Work() {
  std::unique_lock lock(FMutex);
  for (;;) {
    FWake.wait(lock, [this] { return FStop || !FJobs.empty(); });
    if (FStop) return;
    std::packaged_task<TkwPictureData()> task = std::move(FJobs.front());
    FJobs.pop_front();
    lock.unlock();
    task();  // an exception of the job is kept in its result
    lock.lock();
  }
}

}  // namespace qm
