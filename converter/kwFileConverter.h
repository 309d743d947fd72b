#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "base/Cancelled.h"
#include "base/kwDiagnostics.h"
#include "base/kwObject.h"
#include "converter/kwConverterFactory.h"
#include "converter/kwConvEnums.h"
#include "converter/kwDocSettings.h"
#include "converter/kwEvents.h"

// The converter component: the single entry into the document engine. A caller sets the
// input and output file names, the settings and the event handlers, then calls Convert,
// which runs one job synchronously in the calling thread. A converter serves one thread
// at a time and can run further jobs after one has finished.
namespace qm {

// What Convert raises when Cancel stopped the job; the output file is left as it was.
class EConversionCancelled : public ECancelled {
public:
  EConversionCancelled() = default;
};

// What Convert raises for a document in which no page can be read (an empty or unreadable
// page tree): nothing is written.
class ENoPageRead : public std::runtime_error {
public:
  ENoPageRead() : std::runtime_error("No page could be read") {}
};

class TkwDocumentParser;
class TkwFormatter;
class TkwJob;

class TkwFileConverter : public TkwObject {
public:
  // AFactory builds each job's pipeline; nullptr gives the production factory, created
  // when first needed.
  explicit TkwFileConverter(std::unique_ptr<TkwConverterFactory> AFactory = nullptr,
                            bool APreload = false);
  ~TkwFileConverter() override;

  [[nodiscard]] const std::string& GetInputFileName() const noexcept { return FInputFileName; }
  // With Preload on and an existing file, opens it, reads its page count into
  // InputFilePageCount and closes it; errors of the open propagate.
  void SetInputFileName(const std::string& AName);
  [[nodiscard]] const std::string& GetOutputFileName() const noexcept { return FOutputFileName; }
  void SetOutputFileName(const std::string& AName) { FOutputFileName = AName; }
  [[nodiscard]] bool GetOpenAfterCreate() const noexcept { return FOpenAfterCreate; }
  void SetOpenAfterCreate(bool AOpen) noexcept { FOpenAfterCreate = AOpen; }
  [[nodiscard]] TkwDocSettings& GetOutputSettings() noexcept { return *FOutputSettings; }
  // Copies ASettings into the converter's own settings.
  void SetOutputSettings(const TkwDocSettings& ASettings) { FOutputSettings->Assign(ASettings); }
  [[nodiscard]] int GetInputFilePageCount() const noexcept { return FInputFilePageCount; }
  [[nodiscard]] bool GetPreload() const noexcept { return FPreload; }
  // Turning Preload on obtains the parser that setting InputFileName then uses.
  void SetPreload(bool APreload);

  void SetOnNeedPassword(TkwOnNeedPassword A) { FOnNeedPassword = std::move(A); }
  void SetOnStartJob(TkwOnStartJob A) { FOnStartJob = std::move(A); }
  void SetOnEndJob(TkwOnEndJob A) { FOnEndJob = std::move(A); }
  void SetOnProgress(TkwOnProgress A) { FOnProgress = std::move(A); }
  void SetOnStartPage(TkwOnStartPage A) { FOnStartPage = std::move(A); }
  void SetOnEndPage(TkwOnEndPage A) { FOnEndPage = std::move(A); }
  // Handed unchanged to each job's formatter.
  void SetOnFontSubstituting(TkwOnFontSubstituting A) { FOnFontSubstituting = std::move(A); }
  void SetOnElementDetected(TkwOnElementDetected A) { FOnElementDetected = std::move(A); }

  // Runs one job: input file → output RTF. An output name without an extension gets
  // ".rtf". Failures arrive as exceptions with the engine's message, memory running out
  // as EOutOfMemory ("Out of memory"); OnEndJob then does not fire. A document without a
  // readable page raises ENoPageRead, a page range that selects none of its pages
  // EPageRangeError (converter/kwPageRange.h); neither writes anything.
  void Convert();

  // Asks the running job to stop: the page being read stops within a few operators or
  // glyphs, and Convert raises EConversionCancelled. Safe from any thread and from a signal handler; a request made
  // before Convert starts is forgotten when it starts.
  void Cancel() noexcept { FCancelRequested.store(true, std::memory_order_relaxed); }
  [[nodiscard]] bool GetCancelRequested() const noexcept {
    return FCancelRequested.load(std::memory_order_relaxed);
  }

  // What the last job tolerated (see DescribeDiagnostics); kept after Convert, also when
  // it failed, until the next Convert starts.
  [[nodiscard]] const TkwDiagnostics& GetDiagnostics() const noexcept { return FDiagnostics; }

private:
  void RunJob();
  void CheckCancel() const;
  TkwCancelFlag FCancelRequested{false};

  class TJobScope;
  TkwConverterFactory& Factory();
  void ConnectJob(TkwDocumentParser& AParser, TkwFormatter& AFormatter);
  void PageStarted(int APageNumber);
  void FormatterProgress(int AValue);
  void FormatterEndPage();
  void FillPageArgs(TkwPageEventArgs& AArgs) const;
  void FireProgress();

  std::string FInputFileName;
  std::string FOutputFileName;
  bool FOpenAfterCreate = false;
  std::unique_ptr<TkwDocSettings> FOutputSettings;
  int FInputFilePageCount = 0;
  bool FPreload = false;

  TkwOnNeedPassword FOnNeedPassword;
  TkwOnStartJob FOnStartJob;
  TkwOnEndJob FOnEndJob;
  TkwOnProgress FOnProgress;
  TkwOnStartPage FOnStartPage;
  TkwOnEndPage FOnEndPage;
  TkwOnFontSubstituting FOnFontSubstituting;
  TkwOnElementDetected FOnElementDetected;

  // The job's notes, handed to the parser, formatter and writer; declared before the job
  // so that it outlives it.
  TkwDiagnostics FDiagnostics;
  // The running job, between the start and the end of Convert.
  std::unique_ptr<TkwJob> FJob;

  std::unique_ptr<TkwStartJobEventArgs> FStartJobArgs;
  std::unique_ptr<TkwEndJobEventArgs> FEndJobArgs;
  std::unique_ptr<TkwPageEventArgs> FPageArgs;
  std::unique_ptr<TkwProgressEventArgs> FProgressArgs;

  std::string FEventInputFileName;
  std::string FEventOutputFileName;
  int FCurrentPage = 0;
  int FStartedPages = 0;
  bool FFormatting = false;
  std::uint8_t FOutputKind = kOutputRTF;
  std::unique_ptr<TkwConverterFactory> FFactory;
};

// Appends ".rtf" to a name that is not blank and has no extension; anything else is
// returned unchanged.
[[nodiscard]] std::string WithDefaultRTFExtension(const std::string& AName);

}  // namespace qm
