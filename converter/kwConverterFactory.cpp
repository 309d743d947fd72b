#include "converter/kwConverterFactory.h"

#include <stdexcept>

#include "formatter/kwFormatter.h"
#include "writer/kwDocumentWriter.h"

namespace qm {

TkwConverterFactory::TkwConverterFactory() : TkwConverterFactory(nullptr, nullptr, nullptr) {}

TkwConverterFactory::TkwConverterFactory(TWriterCreator AWriter, TFormatterCreator AFormatter,
                                         TParserCreator AParser)
    : FCreateWriter(AWriter ? std::move(AWriter) : TWriterCreator(CreateRTFWriter)),
      FCreateFormatter(AFormatter ? std::move(AFormatter) : TFormatterCreator(CreateLayoutFormatter)),
      FCreateParser(AParser ? std::move(AParser) : TParserCreator(CreatePDFParser)) {}

TkwConverterFactory::~TkwConverterFactory() = default;

std::unique_ptr<TkwDocumentWriter> TkwConverterFactory::CreateWriter(std::uint8_t AKind) {
  if (AKind != kOutputRTF) return nullptr;
  return FCreateWriter(AKind);
}

std::unique_ptr<TkwFormatter> TkwConverterFactory::CreateFormatter(TkwDocumentWriter& AWriter) {
  return FCreateFormatter(AWriter);
}

TkwDocumentParser& TkwConverterFactory::CreateParser(TkwFormatter& AFormatter) {
  if (FParser) {
    FParser->SetFormatter(&AFormatter);
  } else {
    FParser = FCreateParser(&AFormatter);
    if (!FParser) throw std::logic_error("the parser creator returned no parser");
  }
  return *FParser;
}

TkwDocumentParser& TkwConverterFactory::GetParser() {
  if (!FParser) {
    FParser = FCreateParser(nullptr);
    if (!FParser) throw std::logic_error("the parser creator returned no parser");
  }
  return *FParser;
}

void TkwConverterFactory::ReleaseParser() noexcept {
  FParser.reset();
}

std::unique_ptr<TkwFormatter> CreateLayoutFormatter(TkwDocumentWriter& AWriter) {
  return std::make_unique<TkwFormatter>(AWriter);
}

}  // namespace qm
