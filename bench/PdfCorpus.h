#pragma once

// Generated PDF files for the benchmarks: many pages of running text in a standard font,
// each page's content Flate-compressed, written with a classic cross-reference table.
#include <filesystem>
#include <string>

namespace qm::bench {

struct TTextCorpusOptions {
  int Pages = 1000;
  int LinesPerPage = 50;
  bool Compress = true;
};

// zlib data of AData at level 6, as a FlateDecode stream holds it.
std::string Deflate(const std::string& AData);

// Writes the file unless it already exists; returns its path.
std::filesystem::path MakeTextPdf(const std::filesystem::path& APath, const TTextCorpusOptions& AOptions);

}  // namespace qm::bench
