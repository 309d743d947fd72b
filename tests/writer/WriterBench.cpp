// Times the writer on a large document: 100 pages of text (3000 runs per page), and
// separately 1000 paragraphs × 10 runs with 50 pictures of 500 × 500 pixels.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

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
  {
    const long before = PeakKb();
    const auto start = std::chrono::steady_clock::now();
    TkwRTFDoc doc;
    doc.BeginDoc();
    TBitmap bmp(500, 500);
    for (int y = 0; y < 500; ++y)
      for (int x = 0; x < 500; ++x) bmp.SetPixel(x, y, RGBColor(static_cast<std::uint8_t>(x / 2), static_cast<std::uint8_t>(y / 2), 128));
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
    std::printf("mixed: 1000 paragraphs x 10 runs + 50 pictures 500x500: %.3f s, %zu bytes of RTF, "
                "peak memory grew by %ld kB\n",
                Seconds(start), doc.GetRTFText().size(), PeakKb() - before);
  }
  return 0;
}
