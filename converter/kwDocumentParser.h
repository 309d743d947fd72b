#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "base/Cancelled.h"
#include "base/kwDiagnostics.h"
#include "base/kwObject.h"
#include "base/kwRef.h"
#include "converter/kwEvents.h"
#include "converter/kwPageRange.h"

// The abstract document parser: opens an input document and walks its pages into the
// formatter it feeds.
namespace qm {

class TkwFormatter;
class TkwBaseStream;  // pdf/core/FilterStream.h

// A part of the engine this build does not contain yet was asked for.
class EConversionUnavailable : public std::runtime_error {
public:
  explicit EConversionUnavailable(const std::string& AMessage) : std::runtime_error(AMessage) {}
};

using TkwParserNotify = std::function<void(TkwObject& ASender)>;
using TkwParserPageNotify = std::function<void(TkwObject& ASender, int APageNumber)>;

// Content-flag bits: what the parser hands on to the formatter.
inline constexpr std::uint8_t kContentText = 0x01;
inline constexpr std::uint8_t kContentImages = 0x02;

class TkwDocumentParser : public TkwObject {
public:
  TkwDocumentParser() = default;
  explicit TkwDocumentParser(TkwFormatter* AFormatter) : FFormatter(AFormatter) {}

  // Pages of the open document (1 here), pages converted by the last Run and pages the
  // page range selects (0 here).
  [[nodiscard]] virtual int PageCount() const { return 1; }
  [[nodiscard]] virtual int ConvertedPageCount() const { return 0; }
  [[nodiscard]] virtual int SelectedPageCount() const { return 0; }

  // Opens the document; the password is tried first when it is not blank. Errors of the
  // document core propagate.
  virtual void Open(const std::string& AFileName, const std::string& APassword) = 0;
  // Opens from a stream the caller keeps; no password retry, the counts are not updated.
  virtual void Open(TkwRef<TkwBaseStream> AStream, const std::string& APassword) = 0;
  // One pass over the selected pages into the formatter; the document must be open.
  virtual void Run() = 0;
  virtual void Close() = 0;

  // The notifications, fired by the parser and by the content reader it drives.
  virtual void DoBeginDocument();
  virtual void DoEndDocument();
  virtual void DoPageStart(int APageNumber);
  virtual void DoPageEnd(int APageNumber);

  [[nodiscard]] TkwFormatter* GetFormatter() const noexcept { return FFormatter; }
  void SetFormatter(TkwFormatter* AFormatter) noexcept { FFormatter = AFormatter; }
  [[nodiscard]] std::uint8_t GetContentFlags() const noexcept { return FContentFlags; }
  void SetContentFlags(std::uint8_t AFlags) noexcept { FContentFlags = AFlags; }
  [[nodiscard]] const std::string& GetPageRange() const noexcept { return FPageRange; }
  void SetPageRange(const std::string& ARange);
  // Whether page APage (1-based) is selected by the page range. A malformed item that is
  // reached raises EConvertError with the offending text.
  [[nodiscard]] bool IsPageSelected(int APage) const { return FParsedRange.Accepts(APage); }
  [[nodiscard]] bool IsPageRangeBlank() const noexcept { return FParsedRange.IsAll(); }

  [[nodiscard]] const TkwOnNeedPassword& GetOnNeedPassword() const noexcept { return FOnNeedPassword; }
  void SetOnNeedPassword(TkwOnNeedPassword AHandler) { FOnNeedPassword = std::move(AHandler); }
  void SetOnBeginDocument(TkwParserNotify AHandler) { FOnBeginDocument = std::move(AHandler); }
  void SetOnEndDocument(TkwParserNotify AHandler) { FOnEndDocument = std::move(AHandler); }
  void SetOnPageStart(TkwParserPageNotify AHandler) { FOnPageStart = std::move(AHandler); }
  void SetOnPageEnd(TkwParserPageNotify AHandler) { FOnPageEnd = std::move(AHandler); }
  // Where the document and its pages note what they tolerated; not owned, may be null.
  // Set before Open.
  void SetDiagnostics(TkwDiagnostics* ADiag) noexcept { FDiag = ADiag; }
  [[nodiscard]] TkwDiagnostics* GetDiagnostics() const noexcept { return FDiag; }
  // The job's cancel flag (not owned, may be null): reading stops inside a page when it is
  // set, with ECancelled. Set before Open.
  void SetCancelFlag(const TkwCancelFlag* AFlag) noexcept { FCancel = AFlag; }
  [[nodiscard]] const TkwCancelFlag* GetCancelFlag() const noexcept { return FCancel; }

protected:
  TkwFormatter* FFormatter = nullptr;  // not owned; the job's formatter
  std::uint8_t FContentFlags = 0;
  std::string FPageRange;
  TkwPageRange FParsedRange;
  TkwOnNeedPassword FOnNeedPassword;
  TkwParserNotify FOnBeginDocument;
  TkwParserNotify FOnEndDocument;
  TkwParserPageNotify FOnPageStart;
  TkwParserPageNotify FOnPageEnd;
  TkwDiagnostics* FDiag = nullptr;  // not owned
  const TkwCancelFlag* FCancel = nullptr;  // not owned
};

}  // namespace qm
