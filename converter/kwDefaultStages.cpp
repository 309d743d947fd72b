#include "converter/kwConverterFactory.h"
#include "converter/kwPDFParser.h"
#include "converter/kwPDFSummary.h"

#include "formatter/kwFormatter.h"
#include "pdf/core/kwPDDocument.h"
#include "writer/kwDocumentWriter.h"
#include "writer/kwRTFDoc.h"

// The production writer and parser, for the stages this build contains.
namespace qm {

std::unique_ptr<TkwDocumentWriter> CreateRTFWriter(std::uint8_t) {
  return std::make_unique<TkwRTFDoc>();
}

std::unique_ptr<TkwDocumentParser> CreatePDFParser(TkwFormatter* AFormatter) {
  return std::make_unique<TkwPDFParser>(AFormatter);
}

namespace {

// Opens the document with AOpen and reads what its summary says.
template <typename TOpen>
TkwPDFSummary Summarise(const std::string& APassword, TOpen&& AOpen) {
  TkwPDFParser parser;
  parser.SetOnNeedPassword([APassword](TkwObject&, std::string& AAnswer) { AAnswer = APassword; });
  AOpen(parser);
  TkwPDFSummary summary;
  summary.PageCount = parser.PageCount();
  summary.Version = parser.GetDocument()->GetVersion();
  summary.Encrypted = parser.GetDocument()->GetIsEncrypted();
  summary.EncryptionMethod = parser.GetDocument()->GetEncryptionMethod();
  parser.Close();
  return summary;
}

}  // namespace

TkwPDFSummary ReadPDFSummary(const std::string& AFileName, const std::string& APassword) {
  return Summarise(APassword, [&](TkwPDFParser& AParser) { AParser.Open(AFileName, APassword); });
}

TkwPDFSummary ReadPDFSummaryFromBytes(std::string_view ABytes, const std::string& APassword) {
  return Summarise(APassword, [&](TkwPDFParser& AParser) { AParser.OpenBytes(ABytes, APassword); });
}

}  // namespace qm
