#include "writer/kwDocumentWriter.h"

namespace qm {

TkwDocumentWriter::TkwDocumentWriter()
    : FDocInfo(std::make_unique<TkwDocInfo>()),
      FImageSettings(std::make_unique<TkwImageSettings>()),
      FTextFormatting(std::make_unique<TkwTextFormatting>()),
      FDefaultPageSettings(std::make_unique<TkwPageSettings>()),
      FCurrentPageSettings(std::make_unique<TkwPageSettings>()),
      FTableSettings(std::make_unique<TkwTableSettings>()),
      FStyleManager(std::make_unique<TkwStyleManager>()),
      FBookmarkManager(std::make_unique<TkwBookmarkManager>()) {}

TkwDocumentWriter::~TkwDocumentWriter() = default;

TkwTextFormatting& TkwDocumentWriter::GetTextFormatting() { return *FTextFormatting; }
void TkwDocumentWriter::SetTextFormatting(const TkwTextFormatting& A) { FTextFormatting->Assign(A); }
TBrush& TkwDocumentWriter::GetBrush() { return FBrush; }
void TkwDocumentWriter::SetBrush(const TBrush& A) { FBrush = A; }
TPen& TkwDocumentWriter::GetPen() { return FPen; }
void TkwDocumentWriter::SetPen(const TPen& A) { FPen = A; }
TFont& TkwDocumentWriter::GetFont() { return FFont; }
void TkwDocumentWriter::SetFont(const TFont& A) { FFont = A; }
void TkwDocumentWriter::SetMeasurementUnit(TkwMeasurementUnit A) { FMeasurementUnit = A; }
TkwMeasurementUnit TkwDocumentWriter::GetMeasurementUnit() const { return FMeasurementUnit; }
TkwDocInfo& TkwDocumentWriter::GetDocInfo() { return *FDocInfo; }
void TkwDocumentWriter::SetDocInfo(const TkwDocInfo&) {}
TkwPageSettings& TkwDocumentWriter::GetDefaultPageSettings() { return *FDefaultPageSettings; }
void TkwDocumentWriter::SetDefaultPageSettings(const TkwPageSettings& A) {
  FDefaultPageSettings->Assign(A);
}
TkwPageSettings& TkwDocumentWriter::GetPageSettings() { return *FCurrentPageSettings; }
void TkwDocumentWriter::SetPageSettings(const TkwPageSettings& A) { FCurrentPageSettings->Assign(A); }

}  // namespace qm
