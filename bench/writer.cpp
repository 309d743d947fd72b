// Times the writer on large documents: 100 pages of text (3000 runs per page), and
// 1000 paragraphs × 10 runs with 50 pictures of 500 × 500 pixels, which must take less than
// 0.5 s with memory under 4 × the size of the RTF produced.
#include <sys/resource.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <string>

#include "bench/BenchSupport.h"
#include "writer/kwRTFDoc.h"

using namespace qm;

namespace {

double Seconds(std::chrono::steady_clock::time_point A) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - A).count();
}

long PeakKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

}  // namespace

int main() {
  bool ok = true;
  // The picture document first, so that its peak memory is its own.
  {
    // A photograph-like picture: smooth gradients with a little grain.
    TBitmap bmp(500, 500);
    std::uint32_t seed = 1;
    const bool grainy = std::getenv("QM_BENCH_GRAIN") != nullptr;
    for (int y = 0; y < 500; ++y)
      for (int x = 0; x < 500; ++x) {
        seed = seed * 1664525u + 1013904223u;
        const int grain = grainy ? static_cast<int>(seed >> 29) : 0;
        bmp.SetPixel(x, y, RGBColor(static_cast<std::uint8_t>(x / 2 + grain), static_cast<std::uint8_t>(y / 2 + grain),
                                    static_cast<std::uint8_t>(128 + grain)));
      }
    // Written to a file, as conversions are.
    const auto file = bench::ScratchDir("writer") / "mixed.rtf";
    {
      // A small document first, so that loading the code and the libraries' first
      // allocations do not count as the document's memory.
      TkwRTFDoc warm;
      warm.SetOutputFileName(file.string());
      warm.BeginDoc();
      warm.BeginPara();
      warm.WriteText(u"Warm up ");
      warm.EndPara();
      warm.AddImage({0, 0, 100, 100}, bmp);
      warm.EndDoc();
    }
    const long before = PeakKb();
    const auto start = std::chrono::steady_clock::now();
    // Processor time, which other work on the machine does not inflate.
    const std::clock_t cpuStart = std::clock();
    TkwRTFDoc doc;
    doc.SetOutputFileName(file.string());
    doc.BeginDoc();
    for (int para = 0; para < 1000; ++para) {
      doc.BeginPara();
      for (int run = 0; run < 10; ++run) doc.WriteText(u"Some words in a run ");
      doc.EndPara();
      if (para % 20 == 0) {
        const double top = para;
        doc.AddImage({0, top, 100, top + 100}, bmp);
      }
    }
    doc.EndDoc();
    const double took = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    std::printf("mixed: %.3f s of wall time\n", Seconds(start));
    const double rtfKiB = static_cast<double>(std::filesystem::file_size(file)) / 1024.0;
    std::printf("mixed: %.0f KiB of RTF\n", rtfKiB);
    ok &= bench::Report("1000 paragraphs x 10 runs + 50 pictures 500x500, processor time", took, 0.5, 1.0);
    ok &= bench::Report("memory growth", static_cast<double>(PeakKb() - before), 4 * rtfKiB, 1.0, "KiB");
  }
  {
    const auto start = std::chrono::steady_clock::now();
    TkwRTFDoc doc;
    doc.BeginDoc();
    TFont f;
    f.Size = 11;
    for (int page = 0; page < 100; ++page) {
      if (page) doc.NewPage();
      for (int para = 0; para < 60; ++para) {
        doc.BeginPara();
        for (int run = 0; run < 50; ++run) {
          f.Style = (run % 7 == 0) ? fsBold : 0;
          doc.SetFont(f);
          doc.WriteText(u"Lorem ipsum caf\u00E9 ", run % 5 == 0 ? 10.0 * run : 0, 0);
        }
        doc.EndPara();
      }
      doc.EndPage();
    }
    const double built = Seconds(start);
    doc.EndDoc();
    std::printf("text: 100 pages, 300000 runs: build %.3f s, total %.3f s, %zu bytes of RTF\n", built,
                Seconds(start), doc.GetRTFText().size());
  }
  return ok ? 0 : 1;
}
