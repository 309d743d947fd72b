#include "converter/kwPDFParser.h"

#include <algorithm>
#include <stdexcept>

#include "base/Limits.h"
#include "base/kwScopeGuard.h"
#include "formatter/kwFormatter.h"
#include "pdf/core/kwPDBaseObject.h"
#include "pdf/core/kwPDDocument.h"
#include "pdf/model/kwPDPage.h"
#include "writer/kwWriterClasses.h"

namespace qm {

namespace {

bool IsBlank(const std::string& AText) {
  return std::all_of(AText.begin(), AText.end(),
                     [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

}  // namespace

TkwPDFParser::TkwPDFParser() = default;
TkwPDFParser::TkwPDFParser(TkwFormatter* AFormatter) : TkwDocumentParser(AFormatter) {}
TkwPDFParser::~TkwPDFParser() = default;

void TkwPDFParser::Open(const std::string& AFileName, const std::string& APassword) {
  // A fresh document per open, so no password or state of an earlier file carries over.
  FDocument = std::make_unique<TkwPDDocument>();
  FDocument->SetDiagnostics(FDiag);
  FDocument->SetCancelFlag(FCancel);
  if (!IsBlank(APassword)) FDocument->Authorize({}, APassword);
  try {
    FDocument->LoadDocument(AFileName, true);
  } catch (const ExPasswordRequired&) {
    std::string password = APassword;
    if (FOnNeedPassword) FOnNeedPassword(*this, password);
    FDocument->Authorize({}, password);
    FDocument->LoadDocument(AFileName, true);
  }
  TkwScopeGuard close([this] { FDocument->CloseDocument(); });
  // A damaged Count must not turn the page loops into hours of work.
  FPageCount = static_cast<int>(std::clamp<std::int64_t>(FDocument->GetPageCount(), 0, kMaxPages));
  FSelectedPageCount = FParsedRange.CountSelected(FPageCount);
  close.Dismiss();
}

void TkwPDFParser::Open(TkwRef<TkwBaseStream> AStream, const std::string& APassword) {
  FDocument = std::make_unique<TkwPDDocument>();
  FDocument->SetDiagnostics(FDiag);
  FDocument->SetCancelFlag(FCancel);
  if (!IsBlank(APassword)) FDocument->Authorize({}, APassword);
  FDocument->LoadDocument(std::move(AStream), true, false);
}

void TkwPDFParser::Close() {
  if (FDocument) FDocument->CloseDocument();
}

void TkwPDFParser::Run() {
  FConvertedPageCount = 0;
  if (!FFormatter) throw std::logic_error("the PDF parser has no formatter");
  if (!FDocument || !FDocument->GetIsLoaded()) throw std::logic_error("the PDF document is not open");
  TkwFormatter& formatter = *FFormatter;

  std::unique_ptr<TkwPDFPageDisplay> display =
      FCreateDisplay ? FCreateDisplay(*this) : CreatePDFPageDisplay(*this);
  DoBeginDocument();
  const bool everyPage = IsPageRangeBlank();
  for (int pageNumber = 1; pageNumber <= FPageCount; ++pageNumber) {
    if (!everyPage && !IsPageSelected(pageNumber)) continue;
    CheckCancelled(FCancel);
    ++FConvertedPageCount;
    if (FDiag) FDiag->SetPage(pageNumber);
    formatter.SetMeasurementUnit(TkwMeasurementUnit::muPoints);
    TkwPageSettings& settings = formatter.GetPageSettings();
    settings.SetPaperSize(TkwPaperSize::psCustom);
    // A page that cannot be read keeps the size of the page before it.
    if (TkwPDPage* page = FDocument->GetPage(pageNumber)) {
      const TkwPageSize size = page->GetPageSize();
      settings.SetWidth(size.Width);
      settings.SetHeight(size.Height);
    } else if (FDiag) {
      FDiag->Note(TkwDiagCode::dcPageUnreadable);
    }
    if (FConvertedPageCount == 1) {
      formatter.BeginDoc();
    } else {
      formatter.NewPage();
    }
    display->DisplayPage(pageNumber);
  }
  display.reset();
  if (FDiag) FDiag->SetPage(0);
  if (FConvertedPageCount > 0) formatter.EndDoc();
  DoEndDocument();
}

}  // namespace qm
