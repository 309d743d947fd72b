#pragma once

#include <string>
#include <string_view>

#include "pdf/core/kwPDBaseDoc.h"
#include "pdf/core/kwPDDocument.h"
#include "tests/support/pdf/TestPdf.h"

namespace qm::test {

// Objects written into a small PDF and read back, so that tests hand the image code the
// same objects a document gives it.
class TkwObjectFile {
public:
  int Add(std::string_view ABody) { return FPdf.AddObject(ABody); }
  int AddStream(std::string_view ADict, std::string_view AData) { return FPdf.AddStream(ADict, AData); }
  int AddPage(std::string_view AContent, std::string_view AExtra) { return FPdf.AddPage(AContent, {}, AExtra); }
  void Load() {
    if (FPdf.GetPages().empty()) FPdf.AddPage("");
    FDoc.LoadFromBytes(FPdf.Save());
  }
  TkwPDBaseObject* Get(int ANum) { return FDoc.GetBaseDoc()->GetObject(static_cast<std::uint32_t>(ANum), 0); }
  TkwPDDocument& Doc() { return FDoc; }

private:
  TkwTestPdf FPdf;
  TkwPDDocument FDoc;
};

}  // namespace qm::test
