#include "app/ConverterBridge.h"

#include <atomic>
#include <mutex>

#ifdef QM_HAVE_CONVERTER
#include "converter/kwPDFConverter.h"
#include "formatter/kwFormatterElements.h"
#endif

namespace qm {

#ifdef QM_HAVE_CONVERTER
namespace {

QString FromEngine(const std::string& AName) { return QString::fromStdString(AName); }

// One job: a converter created for it, configured as the processing window does, and
// freed afterwards.
class TEngineConverter final : public TJobConverter {
public:
  explicit TEngineConverter(TEngineFactoryMaker AFactory) : FFactory(std::move(AFactory)) {}

  void Cancel() noexcept override {
    FCancelled.store(true);
    std::lock_guard lock(FMutex);
    if (FRunning != nullptr) FRunning->Cancel();
  }

  void Convert(const TJobRequest& ARequest, const TJobEvents& AEvents) override {
    TkwPDFConverter c(FFactory ? FFactory() : nullptr);
    const TRunning running(*this, c);
    c.GetOutputSettings().GetPreferences().SetFormattingMode(ARequest.FormattingMode);
    c.SetOnEndJob([&AEvents](TkwObject&, TkwEndJobEventArgs& AArgs) {
      if (AEvents.OnEndJob) AEvents.OnEndJob(AArgs.GetConvertedPageCount());
    });
    c.SetOnEndPage([&AEvents](TkwObject&, TkwPageEventArgs&) {
      if (AEvents.OnEndPage) AEvents.OnEndPage();
    });
    c.SetOnStartJob([&AEvents](TkwObject&, TkwStartJobEventArgs& AArgs) {
      if (!AEvents.OnStartJob) return;
      TJobStartInfo info;
      info.InputFileName = FromEngine(AArgs.GetInputFileName());
      info.OutputFileName = FromEngine(AArgs.GetOutputFileName());
      info.PageCount = AArgs.GetPageCount();
      info.SelectedPageCount = AArgs.GetSelectedPageCount();
      AEvents.OnStartJob(info);
    });
    c.SetOnStartPage([&AEvents](TkwObject&, TkwPageEventArgs&) {
      if (AEvents.OnStartPage) AEvents.OnStartPage();
    });
    c.SetOnElementDetected([&AEvents](TkwObject&, TkwFormatterElement& AElement,
                                      TkwAction& AAction) {
      if (AEvents.OnElementDetected) AEvents.OnElementDetected(AElement.ElementType, AAction);
    });
    if (AEvents.OnNeedPassword) {
      c.SetOnNeedPassword([&AEvents](TkwObject&, std::string& APassword) {
        AEvents.OnNeedPassword(APassword);
      });
    }
    c.SetInputFileName(ARequest.InputFileName.toStdString());
    c.SetOutputFileName(ARequest.OutputFileName.toStdString());
    c.GetOutputSettings().SetPageRange(ARequest.PageRange.toStdString());
    // Convert forgets a request made before it starts: one made until here stops the job
    // at once, one made in between is repeated at the first page.
    c.SetOnProgress([this](TkwObject& ASender, TkwProgressEventArgs&) {
      if (FCancelled.load()) static_cast<TkwFileConverter&>(ASender).Cancel();
    });
    if (FCancelled.load()) throw EJobAborted();
    const auto report = [&] {
      if (AEvents.OnDiagnostics) AEvents.OnDiagnostics(DescribeDiagnostics(c.GetDiagnostics()));
    };
    try {
      c.Convert();
    } catch (const EConversionCancelled&) {
      throw EJobAborted();
    } catch (...) {
      report();
      throw;
    }
    report();
  }

private:
  // Publishes the job's converter to Cancel while Convert runs.
  class TRunning {
  public:
    TRunning(TEngineConverter& AOwner, TkwFileConverter& AConverter) : FOwner(AOwner) {
      std::lock_guard lock(FOwner.FMutex);
      FOwner.FRunning = &AConverter;
    }
    ~TRunning() {
      std::lock_guard lock(FOwner.FMutex);
      FOwner.FRunning = nullptr;
    }
    TRunning(const TRunning&) = delete;
    TRunning& operator=(const TRunning&) = delete;

  private:
    TEngineConverter& FOwner;
  };

  TEngineFactoryMaker FFactory;
  std::atomic<bool> FCancelled{false};
  std::mutex FMutex;
  TkwFileConverter* FRunning = nullptr;  // not owned; guarded by FMutex
};

// The main window's validating converter: Preload on, OpenAfterCreate off, alive as long
// as the window.
class TEngineProbe final : public TPdfProbe {
public:
  TEngineProbe() : FConverter(nullptr, true) { FConverter.SetOpenAfterCreate(false); }

  int PageCount(const QString& AFileName,
                const std::function<void(std::string&)>& AOnNeedPassword) override {
    struct TDetach {
      TkwPDFConverter& C;
      ~TDetach() { C.SetOnNeedPassword(nullptr); }
    } detach{FConverter};
    FConverter.SetOnNeedPassword([&AOnNeedPassword](TkwObject&, std::string& APassword) {
      if (AOnNeedPassword) AOnNeedPassword(APassword);
    });
    FConverter.SetInputFileName(AFileName.toStdString());
    return FConverter.GetInputFilePageCount();
  }

private:
  TkwPDFConverter FConverter;
};

}  // namespace

std::unique_ptr<TJobConverter> MakeEngineConverter(TEngineFactoryMaker AFactory) {
  return std::make_unique<TEngineConverter>(std::move(AFactory));
}
std::unique_ptr<TPdfProbe> MakeEngineProbe() { return std::make_unique<TEngineProbe>(); }

#else

std::unique_ptr<TJobConverter> MakeEngineConverter(TEngineFactoryMaker) { return nullptr; }
std::unique_ptr<TPdfProbe> MakeEngineProbe() { return nullptr; }

#endif

}  // namespace qm
