#pragma once

#include <functional>
#include <string>

#include "base/kwDiagnostics.h"
#include "base/kwObject.h"
#include "converter/kwConvEnums.h"

// Event arguments and handler types of the converter. Each converter creates one argument
// object per kind and refills it before every firing, so a handler must copy what it keeps.
namespace qm {

class TkwConverterEventArgs : public TkwObject {
public:
  [[nodiscard]] const std::string& GetInputFileName() const noexcept { return FInputFileName; }
  [[nodiscard]] const std::string& GetOutputFileName() const noexcept { return FOutputFileName; }
  // Pages the page range selects in the document.
  [[nodiscard]] int GetSelectedPageCount() const noexcept { return FSelectedPageCount; }
  // Pages of the whole document.
  [[nodiscard]] int GetPageCount() const noexcept { return FPageCount; }

  void SetJob(const std::string& AInputFileName, const std::string& AOutputFileName,
              int APageCount, int ASelectedPageCount) {
    FInputFileName = AInputFileName;
    FOutputFileName = AOutputFileName;
    FPageCount = APageCount;
    FSelectedPageCount = ASelectedPageCount;
  }

private:
  std::string FInputFileName;
  int FSelectedPageCount = 0;
  int FPageCount = 0;
  std::string FOutputFileName;
};

class TkwStartJobEventArgs : public TkwConverterEventArgs {
public:
  [[nodiscard]] const std::string& GetPageRange() const noexcept { return FPageRange; }
  void SetPageRange(const std::string& ARange) { FPageRange = ARange; }

private:
  std::string FPageRange;
};

class TkwEndJobEventArgs : public TkwConverterEventArgs {
public:
  [[nodiscard]] int GetConvertedPageCount() const noexcept { return FConvertedPageCount; }
  void SetConvertedPageCount(int ACount) noexcept { FConvertedPageCount = ACount; }
  // What the job tolerated; owned by the converter, never null while the event runs.
  [[nodiscard]] const TkwDiagnostics* GetDiagnostics() const noexcept { return FDiagnostics; }
  void SetDiagnostics(const TkwDiagnostics* ADiag) noexcept { FDiagnostics = ADiag; }

private:
  int FConvertedPageCount = 0;
  const TkwDiagnostics* FDiagnostics = nullptr;  // not owned
};

class TkwPageEventArgs : public TkwConverterEventArgs {
public:
  // Pages started so far in this job, this one included.
  [[nodiscard]] int GetStartedPageCount() const noexcept { return FStartedPageCount; }
  // 1-based number of the page in the PDF.
  [[nodiscard]] int GetPageNumber() const noexcept { return FPageNumber; }
  void SetPage(int AStartedPageCount, int APageNumber) noexcept {
    FStartedPageCount = AStartedPageCount;
    FPageNumber = APageNumber;
  }

private:
  int FStartedPageCount = 0;
  int FPageNumber = 0;
};

class TkwProgressEventArgs : public TkwPageEventArgs {
public:
  // False when a page has just started being read, true while the formatter writes it.
  [[nodiscard]] bool GetFormatting() const noexcept { return FFormatting; }
  void SetFormatting(bool AFormatting) noexcept { FFormatting = AFormatting; }

private:
  bool FFormatting = false;
};

// The handler may replace the password (a byte string) to try next.
using TkwOnNeedPassword = std::function<void(TkwObject& ASender, std::string& APassword)>;
using TkwOnStartJob = std::function<void(TkwObject& ASender, TkwStartJobEventArgs& AArgs)>;
using TkwOnEndJob = std::function<void(TkwObject& ASender, TkwEndJobEventArgs& AArgs)>;
using TkwOnProgress = std::function<void(TkwObject& ASender, TkwProgressEventArgs& AArgs)>;
using TkwOnStartPage = std::function<void(TkwObject& ASender, TkwPageEventArgs& AArgs)>;
using TkwOnEndPage = std::function<void(TkwObject& ASender, TkwPageEventArgs& AArgs)>;

}  // namespace qm
