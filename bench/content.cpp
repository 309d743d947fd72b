// Interpreting every page of a 200-page text-heavy PDF into a device that counts glyphs,
// as a whole process, against `pdftotext -raw` on the same file: time at most 1.0 x.
// The file mixes a standard font (Helvetica) with an embedded TrueType font, Tj and TJ
// with kerning, and Flate-compressed content streams.
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/PdfCorpus.h"
#include "pdf/content/PageDisplay.h"
#include "pdf/content/kwPDExportDevice.h"
#include "pdf/core/kwPDDocument.h"
#include "pdf/model/kwPDPage.h"

namespace {

using qm::bench::Deflate;

constexpr int kPages = 200;
constexpr int kLinesPerPage = 60;

class GlyphCounter : public qm::TkwPDExportDevice {
public:
  GlyphCounter() { UseDrawChar = true; }
  long Glyphs = 0;
  long Checksum = 0;
  void DrawChar(qm::TkwPDState& S, double, double, double, double, int ACode, std::string&) override {
    ++Glyphs;
    Checksum += S.FCurUnicode != 0 ? S.FCurUnicode : ACode;
  }
  void DrawFormXObject(qm::TkwPDState& S, qm::TkwPDForm& F) override {
    if (FormPlayer) FormPlayer->PlayForm(S, F, *this);
  }
};

int Interpret(const char* AFile) {
  qm::TkwPDDocument doc;
  doc.LoadDocument(AFile, true);
  GlyphCounter dev;
  const int pages = doc.GetPageCount();
  for (int i = 1; i <= pages; ++i) {
    qm::DisplayPage(doc, dev, i, 72, 72, 0, true, false, false, true);
    if (qm::TkwPDPage* page = doc.GetPage(i)) page->FreeResources();
  }
  std::printf("%d pages, %ld glyphs, checksum %ld\n", pages, dev.Glyphs, dev.Checksum);
  return dev.Glyphs > 0 ? 0 : 1;
}

std::string ReadFile(const std::string& APath) {
  std::ifstream in(APath, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

const char* const kWords[] = {"the", "quick", "brown", "fox", "jumps", "over", "lazy", "dog", "while",
                              "content", "streams", "carry", "text", "operators", "with", "kerning",
                              "and", "spacing", "Lorem", "ipsum", "dolor", "sit", "amet,", "(paren)",
                              "back\\\\slash", "interpreter", "glyph", "width", "page", "font"};

// A line of words from a simple generator, escaped for a literal string.
std::string Line(unsigned& ASeed, int AWords) {
  std::string s;
  for (int w = 0; w < AWords; ++w) {
    ASeed = ASeed * 1103515245u + 12345u;
    std::string word = kWords[(ASeed >> 16) % (sizeof kWords / sizeof kWords[0])];
    if (word == "(paren)") word = "\\(paren\\)";
    if (w) s += ' ';
    s += word;
  }
  return s;
}

std::filesystem::path MakeCorpus(const std::filesystem::path& APath, std::string& AError) {
  if (std::filesystem::exists(APath)) return APath;
  const std::string ttf = ReadFile("/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf");
  if (ttf.empty()) {
    AError = "LiberationSerif-Regular.ttf is not installed";
    return {};
  }
  std::vector<std::string> objs;  // object n is objs[n-1]
  objs.emplace_back("<< /Type /Catalog /Pages 2 0 R >>");
  objs.emplace_back();  // pages, filled in below
  objs.emplace_back("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
  // The TrueType font: WinAnsi codes 32..126 with the program's own widths left to the
  // interpreter's Widths array (a fixed 500 keeps the generator simple).
  std::string widths = "[";
  for (int c = 32; c <= 126; ++c) widths += "500 ";
  widths += "]";
  objs.push_back("<< /Type /Font /Subtype /TrueType /BaseFont /LiberationSerif /FirstChar 32 /LastChar 126 "
                 "/Widths " + widths + " /Encoding /WinAnsiEncoding /FontDescriptor 5 0 R >>");
  objs.emplace_back("<< /Type /FontDescriptor /FontName /LiberationSerif /Flags 34 "
                    "/FontBBox [-543 -303 1278 981] /ItalicAngle 0 /Ascent 891 /Descent -216 "
                    "/CapHeight 662 /StemV 80 /FontFile2 6 0 R >>");
  const std::string ttfz = Deflate(ttf);
  objs.push_back("<< /Length " + std::to_string(ttfz.size()) + " /Length1 " + std::to_string(ttf.size()) +
                 " /Filter /FlateDecode >>\nstream\n" + ttfz + "\nendstream");
  objs.emplace_back("<< /Font << /F1 3 0 R /F2 4 0 R >> >>");  // 7: shared resources
  std::string kids;
  unsigned seed = 7;
  for (int p = 0; p < kPages; ++p) {
    std::string content = "BT\n";
    for (int l = 0; l < kLinesPerPage; ++l) {
      const bool tt = (l % 3) == 1;
      content += tt ? "/F2 10 Tf\n" : "/F1 10 Tf\n";
      content += "1 0 0 1 50 " + std::to_string(760 - l * 12) + " Tm\n";
      if (l % 2 == 0) {
        content += "(" + Line(seed, 14) + ") Tj\n";
      } else {
        content += "[(" + Line(seed, 5) + ") -120 (" + Line(seed, 4) + ") 30 (" + Line(seed, 5) + ")] TJ\n";
      }
    }
    content += "ET\n";
    const std::string z = Deflate(content);
    const int contentsNum = static_cast<int>(objs.size()) + 1;
    objs.push_back("<< /Length " + std::to_string(z.size()) + " /Filter /FlateDecode >>\nstream\n" + z +
                   "\nendstream");
    const int pageNum = static_cast<int>(objs.size()) + 1;
    objs.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources 7 0 R /Contents " +
                   std::to_string(contentsNum) + " 0 R >>");
    kids += std::to_string(pageNum) + " 0 R ";
  }
  objs[1] = "<< /Type /Pages /Count " + std::to_string(kPages) + " /Kids [" + kids + "] >>";
  std::string out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < objs.size(); ++i) {
    offsets.push_back(out.size());
    out += std::to_string(i + 1) + " 0 obj\n" + objs[i] + "\nendobj\n";
  }
  const std::size_t xref = out.size();
  out += "xref\n0 " + std::to_string(objs.size() + 1) + "\n0000000000 65535 f \n";
  for (std::size_t off : offsets) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%010zu 00000 n \n", off);
    out += buf;
  }
  out += "trailer\n<< /Size " + std::to_string(objs.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
  const auto tmp = APath.string() + ".part";
  std::ofstream(tmp, std::ios::binary) << out;
  std::filesystem::rename(tmp, APath);
  return APath;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--interpret") return Interpret(argv[2]);
  namespace b = qm::bench;
  std::string error;
  const auto file = MakeCorpus(b::ScratchDir("content") / "text-200.pdf", error);
  if (file.empty()) {
    std::printf("no corpus: %s\n", error.c_str());
    return 1;
  }
  const std::string self = std::string(argv[0]);
  const auto ours = b::RunCommand("'" + self + "' --interpret '" + file.string() + "' >/dev/null", 5);
  const auto ref = b::RunCommand("pdftotext -raw '" + file.string() + "' /dev/null 2>/dev/null", 5);
  if (ours.ExitCode != 0) {
    std::printf("interpreting failed (exit %d)\n", ours.ExitCode);
    return 1;
  }
  if (ref.ExitCode == 127) {
    std::printf("pdftotext is not installed: no reference time\n");
    return 0;
  }
  return b::Report("interpret 200 text pages", ours.Seconds, ref.Seconds, 1.0) ? 0 : 1;
}
