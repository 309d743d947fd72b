#pragma once

// Generated PDF files for the benchmarks: many pages of running text in a standard font,
// each page's content Flate-compressed, written with a classic cross-reference table.
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace qm::bench {

struct TTextCorpusOptions {
  int Pages = 1000;
  int LinesPerPage = 50;
  bool Compress = true;
};

// zlib data of AData at level 6, as a FlateDecode stream holds it.
std::string Deflate(const std::string& AData);

// Builds a PDF object by object (numbered from 1 in the order added) and writes it with a
// classic cross-reference table whose trailer names object 1 as the catalog.
class TPdfBuilder {
public:
  TPdfBuilder();
  void Object(const std::string& ABody);
  void Save(const std::filesystem::path& APath);

private:
  std::string FPdf;
  std::vector<std::size_t> FOffsets;
};

// Writes the file unless it already exists; returns its path.
std::filesystem::path MakeTextPdf(const std::filesystem::path& APath, const TTextCorpusOptions& AOptions);

}  // namespace qm::bench
