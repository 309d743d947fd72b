#include "converter/kwBatchPool.h"

#include <algorithm>
#include <stdexcept>
#include <system_error>

#include "base/OutOfMemory.h"
#include "converter/kwFileConverter.h"

namespace qm {

bool TkwBatchTask::GetCancelRequested() const { return FPool.GetCancelRequested(); }

void TkwBatchTask::SetOnCancel(std::function<void()> AOnCancel) {
  std::lock_guard lock(FPool.FMutex);
  FOnCancel = std::move(AOnCancel);
  if (FOnCancel && FPool.FCancelled.load()) FOnCancel();
}

void TkwBatchTask::Convert(TkwFileConverter& AConverter) {
  // Convert forgets a request made before it starts; the first page's progress repeats it.
  AConverter.SetOnProgress([this](TkwObject& ASender, TkwProgressEventArgs&) {
    if (GetCancelRequested()) static_cast<TkwFileConverter&>(ASender).Cancel();
  });
  struct TDetach {
    TkwBatchTask& Task;
    ~TDetach() { Task.SetOnCancel(nullptr); }
  } detach{*this};
  SetOnCancel([&AConverter] { AConverter.Cancel(); });
  if (GetCancelRequested()) throw EConversionCancelled();
  AConverter.Convert();
}

TkwBatchPool::TkwBatchPool(std::size_t AThreads)
    : FThreads(AThreads == 0 ? DefaultThreadCount() : AThreads) {}

TkwBatchPool::~TkwBatchPool() {
  Cancel();
  Wait();
}

std::size_t TkwBatchPool::DefaultThreadCount() noexcept {
  return std::max(1u, std::thread::hardware_concurrency());
}

void TkwBatchPool::Start(std::size_t ACount, TkwConverterMaker AMake) {
  Start(ACount, [Make = std::move(AMake)](TkwBatchTask& ATask) {
    std::unique_ptr<TkwFileConverter> converter = Make(ATask.GetIndex());
    if (!converter) throw EConversionUnavailable("No converter for this task");
    ATask.Convert(*converter);
  });
}

void TkwBatchPool::Start(std::size_t ACount, TkwTaskWork AWork) {
  if (FStarted) throw std::logic_error("A batch pool runs one batch");
  FStarted = true;
  FWork = std::move(AWork);
  FCount = ACount;
  FResults.assign(ACount, TkwBatchResult{});
  FWorkers = std::min(FThreads, ACount);
  if (FWorkers == 0) {
    if (FOnFinished) FOnFinished();
    return;
  }
  {
    std::lock_guard lock(FMutex);
    FActiveWorkers = FWorkers;
  }
  FThreadList.reserve(FWorkers);
  for (std::size_t i = 0; i < FWorkers; ++i) {
    try {
      FThreadList.emplace_back([this] { Worker(); });
    } catch (const std::system_error&) {
      // Fewer threads do the same work; with none, nothing would ever end the batch.
      std::lock_guard lock(FMutex);
      FActiveWorkers -= FWorkers - i;
      FWorkers = i;
      if (i == 0) throw;
      break;
    }
  }
}

const std::vector<TkwBatchResult>& TkwBatchPool::Run(std::size_t ACount, TkwTaskWork AWork) {
  Start(ACount, std::move(AWork));
  Wait();
  return FResults;
}

const std::vector<TkwBatchResult>& TkwBatchPool::Run(std::size_t ACount, TkwConverterMaker AMake) {
  Start(ACount, std::move(AMake));
  Wait();
  return FResults;
}

void TkwBatchPool::Wait() {
  {
    std::unique_lock lock(FMutex);
    FEnded.wait(lock, [this] { return FActiveWorkers == 0; });
  }
  for (std::thread& t : FThreadList) {
    if (t.joinable()) t.join();
  }
  FThreadList.clear();
}

bool TkwBatchPool::WaitFor(std::chrono::milliseconds ATimeout) {
  {
    std::unique_lock lock(FMutex);
    if (!FEnded.wait_for(lock, ATimeout, [this] { return FActiveWorkers == 0; })) return false;
  }
  Wait();
  return true;
}

void TkwBatchPool::Cancel() {
  std::lock_guard lock(FMutex);
  FCancelled.store(true);
  for (TkwBatchTask* task : FRunning) {
    if (task->FOnCancel) task->FOnCancel();
  }
}

bool TkwBatchPool::GetCancelRequested() const { return FCancelled.load(); }

void TkwBatchPool::Worker() {
  for (;;) {
    std::size_t index = 0;
    {
      std::lock_guard lock(FMutex);
      if (FCancelled.load() || FNext >= FCount) break;
      index = FNext++;
    }
    RunTask(index);
  }
  bool last = false;
  {
    std::lock_guard lock(FMutex);
    last = --FActiveWorkers == 0;
  }
  if (last && FOnFinished) {
    try {
      FOnFinished();
    } catch (...) {  // the batch has ended either way
    }
  }
  if (last) {
    // Under the lock, so that a waiter cannot miss the wake-up between its test and its wait.
    std::lock_guard lock(FMutex);
    FEnded.notify_all();
  }
}

void TkwBatchPool::RunTask(std::size_t AIndex) {
  TkwBatchTask task(*this, AIndex);
  {
    std::lock_guard lock(FMutex);
    FRunning.push_back(&task);
  }
  TkwBatchResult result;
  try {
    if (FOnTaskStart) FOnTaskStart(AIndex);
    FWork(task);
    result.Status = TkwBatchStatus::bsDone;
  } catch (const EConversionCancelled& e) {
    result.Status = TkwBatchStatus::bsCancelled;
    result.Message = e.what();
  } catch (const std::exception& e) {
    result.Status = TkwBatchStatus::bsFailed;
    result.Message = ErrorMessage(e);
    result.Error = std::current_exception();
  } catch (...) {
    result.Status = TkwBatchStatus::bsFailed;
    result.Message = "Unknown error";
    result.Error = std::current_exception();
  }
  {
    std::lock_guard lock(FMutex);
    FRunning.erase(std::find(FRunning.begin(), FRunning.end(), &task));
  }
  FResults[AIndex] = result;
  if (FOnTaskEnd) {
    try {
      FOnTaskEnd(AIndex, FResults[AIndex]);
    } catch (...) {  // a reporting failure does not stop the batch
    }
  }
}

}  // namespace qm
