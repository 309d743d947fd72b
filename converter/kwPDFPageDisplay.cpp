#include "converter/kwPDFParser.h"

#include <string>
#include <vector>

#include "formatter/kwFormatter.h"
#include "pdf/content/PageDisplay.h"
#include "extract/kwPDFContentExtractor.h"
#include "pdf/core/kwPDDocument.h"
#include "platform/ScreenDpi.h"
#include "platform/SystemFonts.h"

// The page reader of a run: the content extractor over the job's formatter, fed by the
// document's page display at the screen resolution.
namespace qm {

namespace {

class TkwExtractorDisplay final : public TkwPDFPageDisplay {
public:
  explicit TkwExtractorDisplay(TkwPDFParser& AParser)
      : FParser(AParser),
        FFonts(GetInstalledFonts()),  // a copy: the list must not change during the run
        FExtractor(*AParser.GetFormatter(), AParser.GetContentFlags(), FFonts) {
    FExtractor.OnPageStart = [this](int APageNum) { FParser.DoPageStart(APageNum); };
    FExtractor.OnPageEnd = [this](int APageNum) { FParser.DoPageEnd(APageNum); };
    FExtractor.SetDiagnostics(AParser.GetDiagnostics());
  }

  void DisplayPage(int APageNumber) override {
    const double dpi = GetScreenDpi();
    qm::DisplayPage(*FParser.GetDocument(), FExtractor, APageNumber, dpi, dpi, 0, true, false, false,
                    true);
  }

private:
  TkwPDFParser& FParser;
  std::vector<std::string> FFonts;
  TkwPDFContentExtractor FExtractor;
};

}  // namespace

std::unique_ptr<TkwPDFPageDisplay> CreatePDFPageDisplay(TkwPDFParser& AParser) {
  return std::make_unique<TkwExtractorDisplay>(AParser);
}

}  // namespace qm
