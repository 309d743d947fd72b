#include "converter/kwJob.h"

#include "converter/kwConverterFactory.h"
#include "converter/kwDocumentParser.h"
#include "formatter/kwFormatter.h"
#include "writer/kwDocumentWriter.h"

namespace qm {

TkwJob::TkwJob(TkwConverterFactory& AFactory, std::uint8_t AOutputKind)
    : FWriter(AFactory.CreateWriter(AOutputKind)) {
  if (!FWriter) throw EConversionUnavailable("No writer for this output kind");
  FFormatter = AFactory.CreateFormatter(*FWriter);
  FParser = &AFactory.CreateParser(*FFormatter);
}

TkwJob::~TkwJob() {
  if (FOpen) {
    try {
      FParser->Close();
    } catch (...) {
      // The job's own exception, if any, is the one the caller must see.
    }
  }
  // A parser the factory keeps for the next job must not reach this job's formatter or
  // its converter.
  FParser->SetFormatter(nullptr);
  FParser->SetOnPageStart(nullptr);
  FFormatter.reset();
  FWriter.reset();
}

void TkwJob::Open(const std::string& AFileName) {
  FParser->Open(AFileName, std::string());
  FOpen = true;
}

void TkwJob::OpenBytes(std::string_view ABytes) {
  FParser->OpenBytes(ABytes, std::string());
  FOpen = true;
}

void TkwJob::Close() {
  FOpen = false;
  FParser->Close();
}

}  // namespace qm
