// Whole conversions, process against process: `quillmark convert` on generated PDFs (200
// and 50 pages of running text, 50 pages mixing text, ruled tables and pictures, 50 pages of
// ruled tables and charts) and on tracemonkey.pdf of the real corpus beside the project
// (../shared/corpus/real, or $QM_CORPUS_DIR; left out when it is not there) against
// `pdftotext -layout` on the same files. Limits: time at most 2 x pdftotext's (0.8 x for
// the 200 pages of running text, the per-glyph path's figure; 1.5 x for the tables and
// charts; 1 x for tracemonkey.pdf), peak memory at most 2 x pdftotext's plus 50 MiB, and
// 200 pages at most 1.1 x 4 x the time of 50 pages.
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/PdfCorpus.h"

namespace {

using qm::bench::Deflate;

namespace fs = std::filesystem;

const char* const kWords[] = {"harbour", "the",   "lantern", "of",    "meadow",  "and",    "signal",
                              "a",       "copper", "window", "with",  "garden",  "river",  "stone",
                              "ledger",  "canvas", "thistle", "beacon", "saddle", "anchor", "willow"};

struct TWords {
  unsigned Seed;
  std::string Line(std::size_t AChars) {
    std::string line;
    while (line.size() < AChars) {
      Seed = Seed * 1103515245u + 12345u;
      if (!line.empty()) line += ' ';
      line += kWords[(Seed >> 16) % (sizeof(kWords) / sizeof(kWords[0]))];
    }
    return line;
  }
};

std::string TextPage(int APage) {
  TWords words{2166136261u ^ static_cast<unsigned>(APage)};
  std::string s = "BT /F1 10 Tf 12 TL 56 760 Td\n";
  for (int l = 0; l < 56; ++l) s.append("(").append(words.Line(95)).append(") '\n");
  return s + "ET\n";
}

// A heading, a paragraph, a ruled table of 6 rows and 4 columns, a picture, a paragraph.
std::string MixedPage(int APage) {
  TWords words{2166136261u ^ static_cast<unsigned>(APage * 7 + 1)};
  std::string s = "BT /F2 16 Tf 56 750 Td (Section " + std::to_string(APage + 1) + " of the report) Tj ET\n";
  s += "BT /F1 10 Tf 12 TL 56 726 Td\n";
  for (int l = 0; l < 12; ++l) s.append("(").append(words.Line(95)).append(") '\n");
  s += "ET\n";
  const double top = 560, rowH = 18, colW = 110, left = 56;
  s += "0.5 w\n";
  for (int r = 0; r <= 6; ++r) {
    s += std::to_string(left) + " " + std::to_string(top - r * rowH) + " m " + std::to_string(left + 4 * colW) +
         " " + std::to_string(top - r * rowH) + " l S\n";
  }
  for (int c = 0; c <= 4; ++c) {
    s += std::to_string(left + c * colW) + " " + std::to_string(top) + " m " + std::to_string(left + c * colW) +
         " " + std::to_string(top - 6 * rowH) + " l S\n";
  }
  for (int r = 0; r < 6; ++r) {
    for (int c = 0; c < 4; ++c) {
      const std::string cell = r == 0 ? words.Line(6) : std::to_string((APage + 3) * (r + 1) * (c + 5) % 997);
      s += "BT /F1 10 Tf " + std::to_string(left + c * colW + 4) + " " + std::to_string(top - (r + 1) * rowH + 5) +
           " Td (" + cell + ") Tj ET\n";
    }
  }
  s += "q 200 0 0 150 56 380 cm /Im1 Do Q\n";
  s += "BT /F1 10 Tf 12 TL 56 360 Td\n";
  for (int l = 0; l < 10; ++l) s.append("(").append(words.Line(95)).append(") '\n");
  return s + "ET\n";
}

// A ruled table of 8 rows and 5 columns with a shaded header, a bar chart of 12 bars with
// its axes and ticks, and a line chart drawn with curves over a dashed grid.
std::string ChartPage(int APage) {
  TWords words{2166136261u ^ static_cast<unsigned>(APage * 13 + 5)};
  const auto n = [](double AValue) { return std::to_string(AValue); };
  std::string s = "BT /F2 14 Tf 56 750 Td (Figures for period " + std::to_string(APage + 1) + ") Tj ET\n";
  const double top = 720, rowH = 16, colW = 96, left = 56;
  s += "0.85 0.9 0.95 rg " + n(left) + " " + n(top - rowH) + " " + n(5 * colW) + " " + n(rowH) + " re f 0 g\n0.5 w\n";
  for (int r = 0; r <= 8; ++r) {
    s += n(left) + " " + n(top - r * rowH) + " m " + n(left + 5 * colW) + " " + n(top - r * rowH) + " l S\n";
  }
  for (int c = 0; c <= 5; ++c) {
    s += n(left + c * colW) + " " + n(top) + " m " + n(left + c * colW) + " " + n(top - 8 * rowH) + " l S\n";
  }
  for (int r = 0; r < 8; ++r) {
    for (int c = 0; c < 5; ++c) {
      const std::string cell = r == 0 ? words.Line(5) : std::to_string((APage + 7) * (r + 3) * (c + 2) % 4999);
      s += "BT /F" + std::string(r == 0 ? "2" : "1") + " 9 Tf " + n(left + c * colW + 4) + " " +
           n(top - (r + 1) * rowH + 4) + " Td (" + cell + ") Tj ET\n";
    }
  }
  // Bar chart.
  const double base = 380, chartLeft = 80;
  s += "1 w " + n(chartLeft) + " " + n(base) + " m " + n(chartLeft + 480) + " " + n(base) + " l S\n";
  s += n(chartLeft) + " " + n(base) + " m " + n(chartLeft) + " " + n(base + 200) + " l S\n";
  for (int k = 0; k < 12; ++k) {
    const double h = 20 + ((APage + 1) * (k + 3) * 37) % 170;
    s += n(0.2 + 0.05 * (k % 4)) + " 0.4 0.7 rg " + n(chartLeft + 10 + k * 39) + " " + n(base) + " 28 " + n(h) + " re f\n";
    s += n(chartLeft + 24 + k * 39) + " " + n(base) + " m " + n(chartLeft + 24 + k * 39) + " " + n(base - 4) + " l S\n";
  }
  s += "0 g\n";
  for (int t = 0; t <= 5; ++t) {
    s += n(chartLeft - 4) + " " + n(base + t * 40) + " m " + n(chartLeft) + " " + n(base + t * 40) + " l S\n";
    s += "BT /F1 7 Tf " + n(chartLeft - 24) + " " + n(base + t * 40 - 2) + " Td (" + std::to_string(t * 50) + ") Tj ET\n";
  }
  // Line chart: a dashed grid and a curve through twenty points.
  const double lineBase = 90;
  s += "q 0.5 w [3 2] 0 d 0.6 G\n";
  for (int g = 0; g <= 5; ++g) s += n(chartLeft) + " " + n(lineBase + g * 36) + " m " + n(chartLeft + 480) + " " + n(lineBase + g * 36) + " l S\n";
  s += "Q q 1.5 w 0.8 0.2 0.1 RG " + n(chartLeft) + " " + n(lineBase + 40) + " m\n";
  for (int k = 1; k <= 20; ++k) {
    const double x = chartLeft + k * 24, y = lineBase + 20 + ((APage + 5) * (k + 1) * 53) % 160;
    s += n(x - 16) + " " + n(y + 20) + " " + n(x - 8) + " " + n(y - 20) + " " + n(x) + " " + n(y) + " c\n";
  }
  s += "S Q\n";
  return s;
}

enum class TPages { Text, Mixed, Charts };

fs::path MakePdf(const fs::path& APath, int APages, TPages AKind) {
  const bool mixed = AKind == TPages::Mixed;
  if (fs::exists(APath)) return APath;
  qm::bench::TPdfBuilder pdf;
  auto object = [&pdf](const std::string& ABody) { pdf.Object(ABody); };
  // 1 catalog, 2 pages, 3 and 4 fonts, then page i at 5 + 3i, its content at 6 + 3i and
  // its picture at 7 + 3i.
  object("<< /Type /Catalog /Pages 2 0 R >>");
  std::string kids;
  for (int i = 0; i < APages; ++i) kids += std::to_string(5 + 3 * i) + " 0 R ";
  object("<< /Type /Pages /Count " + std::to_string(APages) + " /Kids [" + kids + "] >>");
  object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
  object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold /Encoding /WinAnsiEncoding >>");
  for (int i = 0; i < APages; ++i) {
    const std::string image = std::to_string(7 + 3 * i) + " 0 R";
    object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 3 0 R /F2 4 0 R >>" +
           std::string(mixed ? " /XObject << /Im1 " + image + " >>" : "") + " >> /Contents " +
           std::to_string(6 + 3 * i) + " 0 R >>");
    const std::string content =
        Deflate(AKind == TPages::Mixed ? MixedPage(i) : AKind == TPages::Charts ? ChartPage(i) : TextPage(i));
    object("<< /Length " + std::to_string(content.size()) + " /Filter /FlateDecode >>\nstream\n" + content +
           "\nendstream");
    // Each page has a picture of its own: a 160 x 120 RGB gradient.
    std::string samples;
    for (int y = 0; y < 120; ++y) {
      for (int x = 0; x < 160; ++x) {
        samples += static_cast<char>(x * 255 / 160);
        samples += static_cast<char>(y * 255 / 120);
        samples += static_cast<char>((i * 37) & 0xFF);
      }
    }
    const std::string packed = Deflate(samples);
    object("<< /Type /XObject /Subtype /Image /Width 160 /Height 120 /ColorSpace /DeviceRGB "
           "/BitsPerComponent 8 /Filter /FlateDecode /Length " + std::to_string(packed.size()) +
           " >>\nstream\n" + packed + "\nendstream");
  }
  pdf.Save(APath);
  return APath;
}

}  // namespace

int main(int, char** argv) {
  namespace b = qm::bench;
  const auto built = b::BuiltCommand(argv[0]);
  if (!built) return 1;
  const fs::path cli = *built;
  const fs::path dir = b::ScratchDir("e2e");
  struct TInput {
    const char* Name;
    fs::path Pdf;
  };
  const TInput inputs[] = {{"200 text pages", MakePdf(dir / "text-200.pdf", 200, TPages::Text)},
                           {"50 text pages", MakePdf(dir / "text-50.pdf", 50, TPages::Text)},
                           {"50 mixed pages", MakePdf(dir / "mixed-50.pdf", 50, TPages::Mixed)},
                           {"50 pages of ruled tables and charts", MakePdf(dir / "charts-50.pdf", 50, TPages::Charts)}};
  bool ok = true;
  double seconds[4] = {0, 0, 0, 0};
  for (int i = 0; i < 4; ++i) {
    const auto& in = inputs[i];
    const fs::path rtf = dir / (in.Pdf.stem().string() + ".rtf");
    const auto ours = b::RunCommand("'" + cli.string() + "' convert --no-tabs --quiet '" + in.Pdf.string() +
                                    "' -o '" + rtf.string() + "' >/dev/null 2>&1");
    const auto ref = b::RunCommand("pdftotext -layout '" + in.Pdf.string() + "' '" + (dir / "ref.txt").string() +
                                   "' >/dev/null 2>&1");
    if (ours.ExitCode != 0) {
      std::printf("%s: conversion failed (exit %d)\n", in.Name, ours.ExitCode);
      return 1;
    }
    seconds[i] = ours.Seconds;
    if (ref.ExitCode != 0) {
      std::printf("%s: pdftotext is not installed: no reference\n", in.Name);
      continue;
    }
    const double limit = i == 0 ? 0.8 : i == 3 ? 1.5 : 2.0;
    ok &= b::Report(std::string(in.Name) + " time", ours.Seconds, ref.Seconds, limit);
    ok &= b::Report(std::string(in.Name) + " peak memory", ours.PeakKiB / 1024.0,
                    2 * ref.PeakKiB / 1024.0 + 50, 1.0, "MiB");
  }
  ok &= b::Report("200 text pages against 4 x 50", seconds[0], 4 * seconds[1], 1.1);

  // A real paper (pdfTeX, Type 1 fonts, figures): the mix of fonts, sizes and drawing that
  // generated files do not have.
  const char* corpusDir = std::getenv("QM_CORPUS_DIR");
  const fs::path corpus =
      corpusDir != nullptr ? fs::path(corpusDir) : fs::path(QM_SOURCE_DIR) / ".." / "shared" / "corpus" / "real";
  const fs::path paper = corpus / "tracemonkey.pdf";
  if (!fs::exists(paper)) {
    std::printf("%s is not there: no real paper\n", paper.c_str());
    return ok ? 0 : 1;
  }
  const fs::path paperRtf = dir / "tracemonkey.rtf";
  const auto ours = b::RunCommand(b::ShellQuote(cli.string()) + " convert --no-tabs --quiet " +
                                  b::ShellQuote(paper.string()) + " -o " + b::ShellQuote(paperRtf.string()) +
                                  " >/dev/null 2>&1", 5);
  const auto ref = b::RunCommand("pdftotext -layout " + b::ShellQuote(paper.string()) + " " +
                                 b::ShellQuote((dir / "ref.txt").string()) + " >/dev/null 2>&1", 5);
  if (ours.ExitCode != 0) {
    std::printf("tracemonkey.pdf: conversion failed (exit %d)\n", ours.ExitCode);
    return 1;
  }
  if (ref.ExitCode == 0) ok &= b::Report("tracemonkey.pdf time", ours.Seconds, ref.Seconds, 1.0);
  return ok ? 0 : 1;
}
