// Loading a 1000-page PDF and reading every page's content streams, as a whole process,
// against `qpdf --check` on the same file: time at most 1.5 x, peak memory at most twice the
// file size plus 50 MiB.
#include <cstdio>
#include <string>

#include "bench/BenchSupport.h"
#include "bench/PdfCorpus.h"
#include "pdf/core/kwPDDocument.h"
#include "pdf/model/kwPDPage.h"

namespace {

int LoadAndRead(const char* AFile) {
  qm::TkwPDDocument doc;
  doc.LoadDocument(AFile, true);
  const int pages = doc.GetPageCount();
  std::size_t bytes = 0;
  for (int i = 1; i <= pages; ++i) {
    qm::TkwPDPage* page = doc.GetPage(i);
    if (!page) continue;
    for (qm::TkwPDStream* s : page->GetContents()) bytes += s->ReadAll().size();
    page->FreeResources();
  }
  std::printf("%d pages, %zu content bytes\n", pages, bytes);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--load") return LoadAndRead(argv[2]);
  namespace b = qm::bench;
  const auto plain = b::MakeTextPdf(b::ScratchDir("pdfcore") / "text-1000.pdf", {});
  // The same pages with object streams and a cross-reference stream, as qpdf writes them.
  const auto packed = b::ScratchDir("pdfcore") / "text-1000-objstm.pdf";
  if (!std::filesystem::exists(packed)) {
    b::RunCommand("qpdf --object-streams=generate '" + plain.string() + "' '" + packed.string() + "'", 1);
  }
  bool ok = true;
  for (const auto& file : {plain, packed}) {
    if (!std::filesystem::exists(file)) continue;
    const double sizeMiB = static_cast<double>(std::filesystem::file_size(file)) / (1024.0 * 1024.0);
    const std::string self = std::string(argv[0]);
    const auto ours = b::RunCommand("'" + self + "' --load '" + file.string() + "' >/dev/null");
    const auto qpdf = b::RunCommand("qpdf --check '" + file.string() + "' >/dev/null 2>&1");
    std::printf("%s: %.1f MiB; qpdf --check peak %.1f MiB\n", file.filename().c_str(), sizeMiB,
                qpdf.PeakKiB / 1024.0);
    if (ours.ExitCode != 0) {
      std::printf("loading failed (exit %d)\n", ours.ExitCode);
      return 1;
    }
    if (qpdf.ExitCode == 127) {
      std::printf("qpdf is not installed: no reference time\n");
    } else {
      ok &= b::Report("load and read 1000 pages", ours.Seconds, qpdf.Seconds, 1.5);
    }
    ok &= b::Report("peak memory", ours.PeakKiB / 1024.0, 2 * sizeMiB + 50, 1.0, "MiB");
  }
  return ok ? 0 : 1;
}
