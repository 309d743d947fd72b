#include "converter/kwDocumentParser.h"

namespace qm {

void TkwDocumentParser::SetPageRange(const std::string& ARange) {
  // Parsing never fails here: a malformed item raises only when a page reaches it.
  FParsedRange = TkwPageRange(ARange);
  FPageRange = ARange;
}

void TkwDocumentParser::OpenBytes(std::string_view, const std::string&) {
  throw EConversionUnavailable("This parser cannot read a document from memory");
}

void TkwDocumentParser::DoBeginDocument() {
  if (FOnBeginDocument) FOnBeginDocument(*this);
}

void TkwDocumentParser::DoEndDocument() {
  if (FOnEndDocument) FOnEndDocument(*this);
}

void TkwDocumentParser::DoPageStart(int APageNumber) {
  if (FOnPageStart) FOnPageStart(*this, APageNumber);
}

void TkwDocumentParser::DoPageEnd(int APageNumber) {
  if (FOnPageEnd) FOnPageEnd(*this, APageNumber);
}

}  // namespace qm
