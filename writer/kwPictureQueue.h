#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

#include "writer/kwRTFPicture.h"

namespace qm {

// One background thread that encodes pictures while the caller goes on with the page, so
// that a page's pictures are ready when the page is written. Jobs run in the order given.
// Jobs must own what they read: the queue may outlive any document.
class TkwPictureQueue {
public:
  // The process's queue. Its thread starts with the first job and is joined at exit;
  // queued jobs that have not started by then are dropped.
  static TkwPictureQueue& Shared();

  TkwPictureQueue() = default;
  ~TkwPictureQueue();
  TkwPictureQueue(const TkwPictureQueue&) = delete;
  TkwPictureQueue& operator=(const TkwPictureQueue&) = delete;

  // The job's result to come, or nothing when no thread can be started (the caller then
  // does the work itself).
  [[nodiscard]] std::optional<std::shared_future<TkwPictureData>> Submit(std::function<TkwPictureData()> AJob);

private:
  void Work();

  std::mutex FMutex;
  std::condition_variable FWake;
  std::deque<std::packaged_task<TkwPictureData()>> FJobs;
  std::thread FThread;
  bool FStop = false;
  bool FFailed = false;  // the thread could not be started
};

}  // namespace qm
