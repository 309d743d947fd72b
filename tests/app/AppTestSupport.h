#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "app/JobLogic.h"

// Readable strings in the tests' failure messages.
inline void PrintTo(const QString& AText, std::ostream* AOut) { *AOut << '"' << AText.toStdString() << '"'; }

namespace qm::test {

// Runs the event loop until the condition holds or the time is up.
inline bool WaitFor(const std::function<bool()>& ACondition, int AMs = 5000) {
  QDeadlineTimer deadline(AMs);
  while (!ACondition()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// A converter that plays a job: OnStartJob, per page OnStartPage, the elements, OnEndPage,
// then OnEndJob; or throws. A gate can hold it before each page.
struct TFakeScript {
  int PageCount = 1;
  int SelectedPages = -1;           // -1: all pages
  int ElementsPerPage = 2;
  std::vector<int> Kinds{3, 6};     // element kinds per page, repeated
  std::string Throw;                // message thrown instead of converting
  std::string Password;             // a non-empty one is needed to open
  bool WriteOutput = true;          // writes the output name at the first page (or the end)
  std::function<void(int APage)> BeforePage;
  std::function<void(const QString& AInput, int APage)> BeforePageOf;  // with the input's name
  std::vector<TkwAction>* Actions = nullptr;  // records the answered actions
};

class TFakeConverter final : public TJobConverter {
public:
  explicit TFakeConverter(TFakeScript AScript) : FScript(std::move(AScript)) {}
  void Convert(const TJobRequest& ARequest, const TJobEvents& AEvents) override;
  // Checked where the engine checks: as a page starts and before its end is reported.
  void Cancel() noexcept override { FCancelled.store(true); }

  TFakeScript FScript;
  std::atomic<bool> FCancelled{false};
};

inline void TFakeConverter::Convert(const TJobRequest& ARequest, const TJobEvents& AEvents) {
  if (!FScript.Throw.empty()) throw std::runtime_error(FScript.Throw);
  if (!FScript.Password.empty()) {
    std::string pw;
    if (AEvents.OnNeedPassword) AEvents.OnNeedPassword(pw);
    if (pw != FScript.Password) throw std::runtime_error(kPasswordRequiredMessage);
  }
  const int selected = FScript.SelectedPages < 0 ? FScript.PageCount : FScript.SelectedPages;
  TJobStartInfo info;
  info.InputFileName = ARequest.InputFileName;
  info.OutputFileName = EffectiveOutputName(ARequest.OutputFileName);
  info.PageCount = FScript.PageCount;
  info.SelectedPageCount = selected;
  AEvents.OnStartJob(info);
  for (int p = 0; p < selected; ++p) {
    if (FScript.BeforePage) FScript.BeforePage(p);
    if (FScript.BeforePageOf) FScript.BeforePageOf(ARequest.InputFileName, p);
    if (FCancelled.load()) throw EJobAborted();
    if (AEvents.OnStartPage) AEvents.OnStartPage();
    if (p == 0 && FScript.WriteOutput) {
      QFile f(info.OutputFileName);
      if (f.open(QIODevice::WriteOnly)) f.write("{\\rtf1 partial");
    }
    for (int e = 0; e < FScript.ElementsPerPage; ++e) {
      TkwAction a = TkwAction::acRetain;
      AEvents.OnElementDetected(FScript.Kinds[static_cast<std::size_t>(e) % FScript.Kinds.size()], a);
      if (FScript.Actions) FScript.Actions->push_back(a);
    }
    if (FCancelled.load()) throw EJobAborted();
    AEvents.OnEndPage();
  }
  if (selected == 0 && FScript.WriteOutput) {
    QFile f(info.OutputFileName);
    if (f.open(QIODevice::WriteOnly)) f.write("{\\rtf1}");
  }
  AEvents.OnEndJob(selected);
}

inline TJobConverterFactory FakeFactory(TFakeScript AScript) {
  return [AScript] { return std::make_unique<TFakeConverter>(AScript); };
}

// A gate the test opens to let a blocked worker go on.
class TGate {
public:
  void Wait() {
    std::unique_lock lock(FMutex);
    ++FWaiting;
    FCond.notify_all();
    FCond.wait(lock, [this] { return FOpen; });
  }
  void Open() {
    {
      std::lock_guard lock(FMutex);
      FOpen = true;
    }
    FCond.notify_all();
  }
  int Waiting() {
    std::lock_guard lock(FMutex);
    return FWaiting;
  }

private:
  std::mutex FMutex;
  std::condition_variable FCond;
  bool FOpen = false;
  int FWaiting = 0;
};

}  // namespace qm::test
