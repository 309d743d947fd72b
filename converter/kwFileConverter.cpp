#include "converter/kwFileConverter.h"

#include <filesystem>
#include <system_error>

#include "base/OutOfMemory.h"
#include "base/ScopeGuard.h"
#include "converter/kwDocumentParser.h"
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

// Releases the job's pipeline however Convert ends: the formatter and writer always,
// the parser unless Preload keeps it for the next job. An open document is closed, and
// a kept parser forgets the formatter that is about to go.
class TkwFileConverter::TJobScope {
public:
  explicit TJobScope(TkwFileConverter& AOwner) : FOwner(AOwner) {}
  TJobScope(const TJobScope&) = delete;
  TJobScope& operator=(const TJobScope&) = delete;
  ~TJobScope() {
    if (FOwner.FParser) {
      if (FOpen) {
        try {
          FOwner.FParser->Close();
        } catch (...) {
          // The job's own exception, if any, is the one the caller must see.
        }
      }
      FOwner.FParser->SetFormatter(nullptr);
      FOwner.FParser->SetOnPageStart(nullptr);
    }
    FOwner.FFormatter.reset();
    FOwner.FWriter.reset();
    FOwner.FParser = nullptr;
    if (!FOwner.FPreload && FOwner.FFactory) FOwner.FFactory->ReleaseParser();
  }
  void SetOpen(bool AOpen) noexcept { FOpen = AOpen; }

private:
  TkwFileConverter& FOwner;
  bool FOpen = false;
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
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  }
}

void TkwFileConverter::RunJob() {
  FCancelRequested.store(false, std::memory_order_relaxed);
  FCurrentPage = 0;
  FStartedPages = 0;
  FOutputFileName = WithDefaultRTFExtension(FOutputFileName);

  TJobScope scope(*this);
  TkwConverterFactory& factory = Factory();
  FWriter = factory.CreateWriter(FOutputKind);
  if (!FWriter) throw EConversionUnavailable("No writer for this output kind");
  FFormatter = factory.CreateFormatter(*FWriter);
  FParser = &factory.CreateParser(*FFormatter);

  FWriter->SetOutputFileName(FOutputFileName);
  FWriter->SetOpenAfterCreate(FOpenAfterCreate);
  FParser->SetContentFlags(kContentText | kContentImages);
  FParser->SetPageRange(FOutputSettings->GetPageRange());
  FFormatter->SetFormattingMode(FOutputSettings->GetPreferences().GetFormattingMode());
  ConnectJob(*FParser, *FFormatter);

  FEventInputFileName = FInputFileName;
  FEventOutputFileName = FOutputFileName;

  FParser->Open(FInputFileName, std::string());
  scope.SetOpen(true);

  if (FOnStartJob) {
    FStartJobArgs->SetJob(FEventInputFileName, FEventOutputFileName, FParser->PageCount(),
                          FParser->SelectedPageCount());
    FStartJobArgs->SetPageRange(FOutputSettings->GetPageRange());
    FOnStartJob(*this, *FStartJobArgs);
  }
  FParser->Run();
  scope.SetOpen(false);
  FParser->Close();
  if (FOnEndJob) {
    FEndJobArgs->SetJob(FEventInputFileName, FEventOutputFileName, FParser->PageCount(),
                        FParser->SelectedPageCount());
    FEndJobArgs->SetConvertedPageCount(FParser->ConvertedPageCount());
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
  AArgs.SetJob(FEventInputFileName, FEventOutputFileName, FParser ? FParser->PageCount() : 0,
               FParser ? FParser->SelectedPageCount() : 0);
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
