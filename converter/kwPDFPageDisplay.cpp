#include "converter/kwPDFParser.h"

// The page reader that Run uses: until the content extractor and page display are in the
// build there is nothing to read page content with, and a conversion says so.
namespace qm {

std::unique_ptr<TkwPDFPageDisplay> CreatePDFPageDisplay(TkwPDFParser&) {
  throw EConversionUnavailable("Conversion is not available yet: this build has no page content reader");
}

}  // namespace qm
