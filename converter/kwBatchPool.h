#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Runs a batch of conversions on several worker threads: each task makes and configures
// its own converter, tasks start in input order, and the results come back in input order
// whatever order the tasks end in. The pool serves the command line and the application.
namespace qm {

class TkwBatchPool;
class TkwFileConverter;

enum class TkwBatchStatus : std::uint8_t {
  bsNotStarted,  // the batch was cancelled before the task began
  bsDone,        // the task ran to its end
  bsFailed,      // the task raised an exception (Error, Message)
  bsCancelled,   // cancelled while it ran
};

struct TkwBatchResult {
  TkwBatchStatus Status = TkwBatchStatus::bsNotStarted;
  std::string Message;       // the exception's message as users see it, for bsFailed and bsCancelled
  std::exception_ptr Error;  // the exception itself, for bsFailed
};

// What a task's work sees of the pool while it runs in its worker thread.
class TkwBatchTask {
public:
  [[nodiscard]] std::size_t GetIndex() const noexcept { return FIndex; }
  [[nodiscard]] bool GetCancelRequested() const;
  // The handler that stops the task's work; a cancel of the batch calls it (from the
  // cancelling thread) while the task runs, and at once when one was already requested.
  void SetOnCancel(std::function<void()> AOnCancel);
  // Runs AConverter's Convert with the batch's cancel reaching it, also when the request
  // came just before Convert began. Takes over the converter's OnProgress event.
  void Convert(TkwFileConverter& AConverter);

private:
  friend class TkwBatchPool;
  TkwBatchTask(TkwBatchPool& APool, std::size_t AIndex) : FPool(APool), FIndex(AIndex) {}

  TkwBatchPool& FPool;
  std::size_t FIndex;
  std::function<void()> FOnCancel;  // guarded by the pool's mutex
};

class TkwBatchPool {
public:
  // Does the work of one task; EConversionCancelled marks the task cancelled, any other
  // exception failed.
  using TkwTaskWork = std::function<void(TkwBatchTask& ATask)>;
  // Makes and configures the converter of task AIndex (input, output, settings, events).
  using TkwConverterMaker = std::function<std::unique_ptr<TkwFileConverter>(std::size_t AIndex)>;
  // Called in the task's worker thread: before its work, and after it with its result.
  using TkwOnTaskStart = std::function<void(std::size_t AIndex)>;
  using TkwOnTaskEnd = std::function<void(std::size_t AIndex, const TkwBatchResult& AResult)>;
  // Called once when no task runs any more: in the last worker thread to end (from Start
  // itself for an empty batch).
  using TkwOnFinished = std::function<void()>;

  // AThreads workers at most; 0 gives DefaultThreadCount().
  explicit TkwBatchPool(std::size_t AThreads = 0);
  // Cancels the batch and waits for its workers.
  ~TkwBatchPool();
  TkwBatchPool(const TkwBatchPool&) = delete;
  TkwBatchPool& operator=(const TkwBatchPool&) = delete;

  // The number of processor cores, at least 1.
  [[nodiscard]] static std::size_t DefaultThreadCount() noexcept;

  void SetOnTaskStart(TkwOnTaskStart A) { FOnTaskStart = std::move(A); }
  void SetOnTaskEnd(TkwOnTaskEnd A) { FOnTaskEnd = std::move(A); }
  void SetOnFinished(TkwOnFinished A) { FOnFinished = std::move(A); }

  // Starts ACount tasks on min(threads, ACount) workers and returns at once. A pool runs one
  // batch; the handlers must be set before.
  void Start(std::size_t ACount, TkwTaskWork AWork);
  void Start(std::size_t ACount, TkwConverterMaker AMake);
  // Start, then Wait; the results in input order.
  const std::vector<TkwBatchResult>& Run(std::size_t ACount, TkwTaskWork AWork);
  const std::vector<TkwBatchResult>& Run(std::size_t ACount, TkwConverterMaker AMake);

  // Blocks until every task has ended (or was dropped by a cancel).
  void Wait();
  // Like Wait, for at most ATimeout; true when the batch has ended.
  [[nodiscard]] bool WaitFor(std::chrono::milliseconds ATimeout);
  // No task starts any more, and the running ones are told to stop. From any thread (not
  // from a signal handler), also before Start and after the end.
  void Cancel();
  [[nodiscard]] bool GetCancelRequested() const;

  // Workers of the running or last batch: the threads asked for, capped at the tasks.
  [[nodiscard]] std::size_t GetThreadCount() const noexcept { return FWorkers; }
  // One result per task in input order; complete once Wait has returned.
  [[nodiscard]] const std::vector<TkwBatchResult>& GetResults() const noexcept { return FResults; }

private:
  friend class TkwBatchTask;
  void Worker();
  void RunTask(std::size_t AIndex);

  std::size_t FThreads;
  std::size_t FWorkers = 0;
  TkwTaskWork FWork;
  TkwOnTaskStart FOnTaskStart;
  TkwOnTaskEnd FOnTaskEnd;
  TkwOnFinished FOnFinished;

  mutable std::mutex FMutex;
  std::condition_variable FEnded;
  std::vector<TkwBatchResult> FResults;   // each written by its own task's worker
  std::vector<TkwBatchTask*> FRunning;    // guarded by FMutex; the tasks under way
  std::size_t FNext = 0;                  // guarded by FMutex; the next task to start
  std::size_t FCount = 0;
  std::size_t FActiveWorkers = 0;         // guarded by FMutex
  std::atomic<bool> FCancelled{false};    // set under FMutex, read anywhere
  bool FStarted = false;
  std::vector<std::thread> FThreadList;
};

}  // namespace qm
