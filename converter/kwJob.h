#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/kwObject.h"

// One conversion job: everything a conversion changes while it runs belongs to one of
// these, so that jobs on different threads share nothing they write. What stays
// process-wide is read-only once built or guards itself (the installed-font list, the
// CMap file cache, FreeType's library and the system font faces).
namespace qm {

class TkwConverterFactory;
class TkwDocumentParser;
class TkwDocumentWriter;
class TkwFormatter;

class TkwJob final : public TkwObject {
public:
  // Builds the pipeline through AFactory: a writer of AOutputKind, a formatter bound to it
  // and the factory's parser feeding that formatter. Raises EConversionUnavailable when
  // the factory has no writer of that kind. AFactory must outlive the job.
  TkwJob(TkwConverterFactory& AFactory, std::uint8_t AOutputKind);
  // Closes a document still open, unbinds the parser (which the factory keeps or frees)
  // and frees the formatter and the writer.
  ~TkwJob() override;

  [[nodiscard]] TkwDocumentWriter& GetWriter() const noexcept { return *FWriter; }
  [[nodiscard]] TkwFormatter& GetFormatter() const noexcept { return *FFormatter; }
  [[nodiscard]] TkwDocumentParser& GetParser() const noexcept { return *FParser; }

  // Opens the input; it stays open until Close or the end of the job.
  void Open(const std::string& AFileName);
  // Opens a whole file held in memory, which must outlive the job.
  void OpenBytes(std::string_view ABytes);
  void Close();

private:
  std::unique_ptr<TkwDocumentWriter> FWriter;
  std::unique_ptr<TkwFormatter> FFormatter;
  TkwDocumentParser* FParser = nullptr;  // not owned; the factory holds it
  bool FOpen = false;
};

}  // namespace qm
