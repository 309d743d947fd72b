#include "converter/kwConverterFactory.h"
#include "converter/kwPDFSummary.h"

#include "formatter/kwFormatter.h"
#include "writer/kwDocumentWriter.h"

// The production writer and parser, for the stages this build contains.
namespace qm {

std::unique_ptr<TkwDocumentWriter> CreateRTFWriter(std::uint8_t) {
  throw EConversionUnavailable("Conversion is not available yet: this build has no RTF writer");
}

std::unique_ptr<TkwDocumentParser> CreatePDFParser(TkwFormatter*) {
  throw EConversionUnavailable("Conversion is not available yet: this build has no PDF reader");
}

TkwPDFSummary ReadPDFSummary(const std::string&, const std::string&) {
  throw EConversionUnavailable("Reading PDF files is not available yet: this build has no PDF reader");
}

}  // namespace qm
