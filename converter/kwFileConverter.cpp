#include "converter/kwFileConverter.h"

#include <filesystem>
#include <system_error>

#include "base/OutOfMemory.h"
#include "base/kwScopeGuard.h"
#include "converter/kwDocumentParser.h"
#include "converter/kwJob.h"
#include "converter/kwPageRange.h"
#include "formatter/kwFormatter.h"
#include "writer/kwDocumentWriter.h"

namespace qm {

namespace {

bool IsBlankText(const std::string& AText) {
  for (char c : AText) {
    if (static_cast<unsigned char>(c) > ' ') return false;
  }
  return true;
}

bool FileExists(const std::string& AName) {
  std::error_code ec;
  return !AName.empty() && std::filesystem::is_regular_file(AName, ec);
}

}  // namespace

std::string WithDefaultRTFExtension(const std::string& AName) {
  if (IsBlankText(AName)) return AName;
  const std::size_t slash = AName.find_last_of('/');
  const std::size_t dot = AName.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return hasExtension ? AName : AName + ".rtf";
}

// Ends the job however Convert ends, and lets the factory forget the parser unless
// Preload keeps it for the next job.
class TkwFileConverter::TJobScope {
public:
  explicit TJobScope(TkwFileConverter& AOwner) : FOwner(AOwner) {}
  TJobScope(const TJobScope&) = delete;
  TJobScope& operator=(const TJobScope&) = delete;
  ~TJobScope() {
    if (FOwner.FJob) FOwner.FJob->GetParser().SetDiagnostics(nullptr);
    FOwner.FJob.reset();
    if (!FOwner.FPreload && FOwner.FFactory) FOwner.FFactory->ReleaseParser();
  }

private:
  TkwFileConverter& FOwner;
};

TkwFileConverter::TkwFileConverter(std::unique_ptr<TkwConverterFactory> AFactory, bool APreload)
    : FOutputSettings(std::make_unique<TkwDocSettings>()),
      FStartJobArgs(std::make_unique<TkwStartJobEventArgs>()),
      FEndJobArgs(std::make_unique<TkwEndJobEventArgs>()),
      FPageArgs(std::make_unique<TkwPageEventArgs>()),
      FProgressArgs(std::make_unique<TkwProgressEventArgs>()),
      FFactory(std::move(AFactory)) {
  if (APreload) SetPreload(true);
}

TkwFileConverter::~TkwFileConverter() = default;

TkwConverterFactory& TkwFileConverter::Factory() {
  if (!FFactory) FFactory = std::make_unique<TkwConverterFactory>();
  return *FFactory;
}

void TkwFileConverter::SetPreload(bool APreload) {
  FPreload = APreload;
  if (FPreload && !Factory().HasParser()) (void)Factory().GetParser();
}

void TkwFileConverter::SetInputFileName(const std::string& AName) {
  FInputFileName = AName;
  if (!FPreload || !FileExists(AName) || !FFactory || !FFactory->HasParser()) return;
  TkwDocumentParser& parser = FFactory->GetParser();
  // Counting the pages must not trip over the range of an earlier job.
  parser.SetPageRange(std::string());
  // An encrypted file asks for its password here too, or its page count cannot be read.
  parser.SetOnNeedPassword(FOnNeedPassword);
  parser.Open(AName, std::string());
  TkwScopeGuard close([&parser] { parser.Close(); });
  FInputFilePageCount = parser.PageCount();
  close.Dismiss();
  parser.Close();
}

void TkwFileConverter::CheckCancel() const {
  if (GetCancelRequested()) throw EConversionCancelled();
}

void TkwFileConverter::Convert() {
  try {
    RunJob();
  } catch (const EConversionCancelled&) {
    throw;
  } catch (const ECancelled&) {
    throw EConversionCancelled();  // seen inside a page
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
}

void TkwFileConverter::RunJob() {
  FCancelRequested.store(false, std::memory_order_relaxed);
  FCurrentPage = 0;
  FStartedPages = 0;
  FOutputFileName = WithDefaultRTFExtension(FOutputFileName);
  FDiagnostics.Clear();

  TJobScope scope(*this);
  FJob = std::make_unique<TkwJob>(Factory(), FOutputKind);
  TkwDocumentWriter& writer = FJob->GetWriter();
  TkwFormatter& formatter = FJob->GetFormatter();
  TkwDocumentParser& parser = FJob->GetParser();

  writer.SetOutputFileName(FOutputFileName);
  writer.SetOpenAfterCreate(FOpenAfterCreate);
  writer.SetDiagnostics(&FDiagnostics);
  formatter.SetDiagnostics(&FDiagnostics);
  parser.SetDiagnostics(&FDiagnostics);
  parser.SetCancelFlag(&FCancelRequested);
  parser.SetContentFlags(kContentText | kContentImages);
  parser.SetPageRange(FOutputSettings->GetPageRange());
  formatter.SetFormattingMode(FOutputSettings->GetPreferences().GetFormattingMode());
  ConnectJob(parser, formatter);

  FEventInputFileName = FInputFileName;
  FEventOutputFileName = FOutputFileName;

  FJob->Open(FInputFileName);
  // Nothing to write is a failure, not an empty success.
  if (parser.PageCount() <= 0) throw ENoPageRead();
  if (!parser.IsPageRangeBlank() && parser.SelectedPageCount() == 0) {
    std::string problem = PageRangeProblem(FOutputSettings->GetPageRange(), parser.PageCount());
    if (problem.empty()) problem = "no page of the document is selected";
    throw EPageRangeError(problem);
  }

  if (FOnStartJob) {
    FStartJobArgs->SetJob(FEventInputFileName, FEventOutputFileName, parser.PageCount(),
                          parser.SelectedPageCount());
    FStartJobArgs->SetPageRange(FOutputSettings->GetPageRange());
    FOnStartJob(*this, *FStartJobArgs);
  }
  parser.Run();
  FJob->Close();
  if (FOnEndJob) {
    FEndJobArgs->SetJob(FEventInputFileName, FEventOutputFileName, parser.PageCount(),
                        parser.SelectedPageCount());
    FEndJobArgs->SetConvertedPageCount(parser.ConvertedPageCount());
    FEndJobArgs->SetDiagnostics(&FDiagnostics);
    FOnEndJob(*this, *FEndJobArgs);
  }
}

void TkwFileConverter::ConnectJob(TkwDocumentParser& AParser, TkwFormatter& AFormatter) {
  AParser.SetOnPageStart([this](TkwObject&, int APageNumber) { PageStarted(APageNumber); });
  AParser.SetOnPageEnd(nullptr);
  AFormatter.OnProgress = [this](TkwObject&, int AValue) { FormatterProgress(AValue); };
  AFormatter.OnEndPage = [this](TkwObject&, int) { FormatterEndPage(); };
  AFormatter.OnElementDetected = FOnElementDetected;
  AFormatter.OnFontSubstituting = FOnFontSubstituting;
  // A kept parser must not answer with the handler of an earlier job.
  AParser.SetOnNeedPassword(FOnNeedPassword);
}

void TkwFileConverter::FillPageArgs(TkwPageEventArgs& AArgs) const {
  const TkwDocumentParser* parser = FJob ? &FJob->GetParser() : nullptr;
  AArgs.SetJob(FEventInputFileName, FEventOutputFileName, parser ? parser->PageCount() : 0,
               parser ? parser->SelectedPageCount() : 0);
  AArgs.SetPage(FStartedPages, FCurrentPage);
}

void TkwFileConverter::FireProgress() {
  if (!FOnProgress) return;
  FillPageArgs(*FProgressArgs);
  FProgressArgs->SetFormatting(FFormatting);
  FOnProgress(*this, *FProgressArgs);
}

void TkwFileConverter::PageStarted(int APageNumber) {
  CheckCancel();
  FFormatting = false;
  FCurrentPage = APageNumber;
  ++FStartedPages;
  if (FOnStartPage) {
    FillPageArgs(*FPageArgs);
    FOnStartPage(*this, *FPageArgs);
  }
  FireProgress();
}

void TkwFileConverter::FormatterProgress(int AValue) {
  if (AValue != FStartedPages) FStartedPages = AValue;
  FFormatting = true;
  FireProgress();
}

void TkwFileConverter::FormatterEndPage() {
  CheckCancel();
  if (!FOnEndPage) return;
  FillPageArgs(*FPageArgs);
  FOnEndPage(*this, *FPageArgs);
}

}  // namespace qm
