#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "base/kwObject.h"
#include "converter/kwDocumentParser.h"

// Builds the pipeline of one job: writer, formatter bound to it, parser bound to that.
namespace qm {

class TkwDocumentWriter;
class TkwFormatter;

// Output kinds of CreateWriter.
inline constexpr std::uint8_t kOutputRTF = 0;

class TkwConverterFactory : public TkwObject {
public:
  using TWriterCreator = std::function<std::unique_ptr<TkwDocumentWriter>(std::uint8_t AKind)>;
  using TFormatterCreator = std::function<std::unique_ptr<TkwFormatter>(TkwDocumentWriter& AWriter)>;
  using TParserCreator = std::function<std::unique_ptr<TkwDocumentParser>(TkwFormatter* AFormatter)>;

  // The production pipeline: TkwRTFDoc, TkwFormatter, TkwPDFParser.
  TkwConverterFactory();
  // Tests substitute any of the three; an empty creator keeps the production one.
  TkwConverterFactory(TWriterCreator AWriter, TFormatterCreator AFormatter, TParserCreator AParser);
  ~TkwConverterFactory() override;

  // A new RTF writer for kind 0, nullptr for any other kind.
  [[nodiscard]] std::unique_ptr<TkwDocumentWriter> CreateWriter(std::uint8_t AKind);
  // A new formatter bound to AWriter, which must outlive it.
  [[nodiscard]] std::unique_ptr<TkwFormatter> CreateFormatter(TkwDocumentWriter& AWriter);
  // The held parser, now feeding AFormatter; created and held when there is none.
  TkwDocumentParser& CreateParser(TkwFormatter& AFormatter);
  // The held parser, created without a formatter when there is none.
  TkwDocumentParser& GetParser();
  [[nodiscard]] bool HasParser() const noexcept { return FParser != nullptr; }
  // Forgets (frees) the held parser.
  void ReleaseParser() noexcept;

private:
  TWriterCreator FCreateWriter;
  TFormatterCreator FCreateFormatter;
  TParserCreator FCreateParser;
  std::unique_ptr<TkwDocumentParser> FParser;
};

// The production creators, each in the unit of the stage it builds.
[[nodiscard]] std::unique_ptr<TkwDocumentWriter> CreateRTFWriter(std::uint8_t AKind);
[[nodiscard]] std::unique_ptr<TkwFormatter> CreateLayoutFormatter(TkwDocumentWriter& AWriter);
[[nodiscard]] std::unique_ptr<TkwDocumentParser> CreatePDFParser(TkwFormatter* AFormatter);

}  // namespace qm
