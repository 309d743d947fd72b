#include "bench/PdfCorpus.h"

#include <zlib.h>

#include <fstream>
#include <vector>

namespace qm::bench {

namespace {

const char* const kWords[] = {"converter", "page",  "the",     "layout", "of",        "paragraph", "font",
                              "and",       "table", "columns", "text",   "document",  "with",      "image",
                              "lines",     "a",     "heading", "list",   "rendering", "section"};

std::string PageContent(int APage, int ALines) {
  std::string s = "BT /F1 10 Tf 12 TL 56 760 Td\n";
  unsigned seed = 2166136261u ^ static_cast<unsigned>(APage);
  for (int l = 0; l < ALines; ++l) {
    std::string line;
    while (line.size() < 90) {
      seed = seed * 1103515245u + 12345u;
      if (!line.empty()) line += ' ';
      line += kWords[(seed >> 16) % (sizeof(kWords) / sizeof(kWords[0]))];
    }
    s += "(" + line + ") '\n";
  }
  s += "ET\n";
  return s;
}

}  // namespace

std::string Deflate(const std::string& AData) {
  uLongf size = compressBound(static_cast<uLong>(AData.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(AData.data()),
            static_cast<uLong>(AData.size()), 6);
  out.resize(size);
  return out;
}

TPdfBuilder::TPdfBuilder() : FPdf("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n") {}

void TPdfBuilder::Object(const std::string& ABody) {
  FOffsets.push_back(FPdf.size());
  FPdf += std::to_string(FOffsets.size()) + " 0 obj\n" + ABody + "\nendobj\n";
}

void TPdfBuilder::Save(const std::filesystem::path& APath) {
  const std::size_t xref = FPdf.size();
  FPdf += "xref\n0 " + std::to_string(FOffsets.size() + 1) + "\n0000000000 65535 f \n";
  char entry[32];
  for (std::size_t off : FOffsets) {
    std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", off);
    FPdf += entry;
  }
  FPdf += "trailer\n<< /Size " + std::to_string(FOffsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
          std::to_string(xref) + "\n%%EOF\n";
  std::filesystem::create_directories(APath.parent_path());
  std::ofstream(APath, std::ios::binary) << FPdf;
}

std::filesystem::path MakeTextPdf(const std::filesystem::path& APath, const TTextCorpusOptions& AOptions) {
  if (std::filesystem::exists(APath)) return APath;
  TPdfBuilder pdf;
  auto object = [&pdf](const std::string& ABody) { pdf.Object(ABody); };
  const int n = AOptions.Pages;
  // 1 catalog, 2 pages, 3 font, then page i at 4 + 2i and its content at 5 + 2i.
  object("<< /Type /Catalog /Pages 2 0 R >>");
  std::string kids;
  for (int i = 0; i < n; ++i) kids += std::to_string(4 + 2 * i) + " 0 R ";
  object("<< /Type /Pages /Count " + std::to_string(n) + " /Kids [" + kids + "] >>");
  object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
  for (int i = 0; i < n; ++i) {
    object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R >> >> "
           "/Contents " + std::to_string(5 + 2 * i) + " 0 R >>");
    std::string content = PageContent(i, AOptions.LinesPerPage);
    std::string filter;
    if (AOptions.Compress) {
      content = Deflate(content);
      filter = " /Filter /FlateDecode";
    }
    object("<< /Length " + std::to_string(content.size()) + filter + " >>\nstream\n" + content + "\nendstream");
  }
  pdf.Save(APath);
  return APath;
}

}  // namespace qm::bench
