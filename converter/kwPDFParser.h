#pragma once

#include <functional>
#include <memory>
#include <string>

#include "converter/kwDocumentParser.h"

// The PDF implementation of the document parser.
namespace qm {

class TkwPDDocument;
class TkwPDFParser;

// Reads the content of one page into the formatter during a run: the content extractor,
// its installed-font list and the drawing library it keeps started. One is created per
// run and destroyed before the document is finished.
class TkwPDFPageDisplay : public TkwObject {
public:
  // Plays page APageNumber (1-based) of the parser's document into the formatter; the
  // page start and end notifications go to the parser.
  virtual void DisplayPage(int APageNumber) = 0;
};

using TkwPageDisplayCreator = std::function<std::unique_ptr<TkwPDFPageDisplay>(TkwPDFParser& AParser)>;

// The production page reader, defined where the content extractor is. Until that stage
// is in the build it raises EConversionUnavailable.
[[nodiscard]] std::unique_ptr<TkwPDFPageDisplay> CreatePDFPageDisplay(TkwPDFParser& AParser);

class TkwPDFParser final : public TkwDocumentParser {
public:
  TkwPDFParser();
  explicit TkwPDFParser(TkwFormatter* AFormatter);
  ~TkwPDFParser() override;

  [[nodiscard]] int PageCount() const override { return FPageCount; }
  [[nodiscard]] int ConvertedPageCount() const override { return FConvertedPageCount; }
  [[nodiscard]] int SelectedPageCount() const override { return FSelectedPageCount; }

  // A password that is not blank is tried first. When the file asks for a password the
  // password handler (if set) may supply one, which is tried once; failures of that load
  // propagate. Counts the pages and the pages the page range selects (EConvertError for a
  // malformed range, with the document closed again).
  void Open(const std::string& AFileName, const std::string& APassword) override;
  void Open(TkwRef<TkwBaseStream> AStream, const std::string& APassword) override;
  void OpenBytes(std::string_view ABytes, const std::string& APassword) override;
  // Converts the selected pages: page size into the formatter, BeginDoc on the first,
  // NewPage on each further one, the page content through the page display, and EndDoc
  // when any page was converted. Needs a formatter and an open document.
  void Run() override;
  void Close() override;

  // The open document; nullptr before Open.
  [[nodiscard]] TkwPDDocument* GetDocument() const noexcept { return FDocument.get(); }
  // Replaces the page reader of later runs (tests; an empty creator restores the default).
  void SetPageDisplayCreator(TkwPageDisplayCreator ACreator) { FCreateDisplay = std::move(ACreator); }

private:
  std::unique_ptr<TkwPDDocument> FDocument;
  int FPageCount = 0;
  int FSelectedPageCount = 0;
  int FConvertedPageCount = 0;
  TkwPageDisplayCreator FCreateDisplay;
};

}  // namespace qm
