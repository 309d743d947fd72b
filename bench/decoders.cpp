// Image decoder speed against the reference tools: a 4000 × 3000 baseline JPEG through our
// DCT decoder against djpeg (limit 3×), and a 2500 × 3300 G4 page through our CCITT
// decoder against tiffcp decompressing it (limit 2×). The inputs are made once in the
// scratch folder with cjpeg and tiffcp; without those tools the figure is skipped.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "pdf/core/kwCCITTFaxDecode.h"
#include "pdf/core/kwDCTDecode.h"

namespace {

using namespace qm;
namespace fs = std::filesystem;

bool HaveTool(const char* AName) {
  return std::system((std::string("command -v ") + AName + " >/dev/null 2>&1").c_str()) == 0;
}

std::string ReadFile(const fs::path& APath) {
  std::ifstream in(APath, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A photograph-like picture: smooth gradients, edges and some noise.
void WritePpm(const fs::path& APath, int AW, int AH) {
  std::ofstream out(APath, std::ios::binary);
  out << "P6\n" << AW << ' ' << AH << "\n255\n";
  std::vector<std::uint8_t> row(static_cast<std::size_t>(AW) * 3);
  std::uint32_t seed = 12345;
  for (int y = 0; y < AH; ++y) {
    for (int x = 0; x < AW; ++x) {
      seed = seed * 1103515245u + 12345u;
      const int noise = static_cast<int>((seed >> 16) & 15);
      const bool edge = ((x / 97) + (y / 61)) % 3 == 0;
      row[3 * x] = static_cast<std::uint8_t>((x * 255 / AW + noise + (edge ? 60 : 0)) & 255);
      row[3 * x + 1] = static_cast<std::uint8_t>((y * 255 / AH + noise) & 255);
      row[3 * x + 2] = static_cast<std::uint8_t>(((x + y) / 23 * 17 + noise) & 255);
    }
    out.write(reinterpret_cast<const char*>(row.data()), static_cast<std::streamsize>(row.size()));
  }
}

// An uncompressed one-strip bilevel TIFF of a text-like page (lines of word blocks).
void WriteBilevelTiff(const fs::path& APath, int AW, int AH) {
  const std::size_t rowBytes = (static_cast<std::size_t>(AW) + 7) / 8;
  std::vector<std::uint8_t> bits(rowBytes * static_cast<std::size_t>(AH), 0);
  std::uint32_t seed = 777;
  for (int line = 0; line * 40 + 200 < AH - 200; ++line) {
    int x = 150;
    while (x < AW - 300) {
      seed = seed * 1103515245u + 12345u;
      const int word = 20 + static_cast<int>((seed >> 16) % 120);
      for (int y = line * 40 + 200; y < line * 40 + 222; ++y) {
        for (int xx = x; xx < x + word; ++xx) {
          // letter strokes: columns on, with gaps
          if (((xx - x) % 9) < 3 || (y - line * 40 - 200) % 11 == 0) {
            bits[static_cast<std::size_t>(y) * rowBytes + static_cast<std::size_t>(xx >> 3)] |=
                static_cast<std::uint8_t>(0x80 >> (xx & 7));
          }
        }
      }
      x += word + 14;
    }
  }
  std::vector<std::uint8_t> f;
  auto u16 = [&](unsigned v) { f.push_back(v & 255); f.push_back((v >> 8) & 255); };
  auto u32 = [&](std::uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
  f = {'I', 'I', 42, 0};
  u32(8);
  const std::uint32_t dataOffset = 8 + 2 + 10 * 12 + 4;
  u16(10);
  auto tag = [&](unsigned t, unsigned type, std::uint32_t v) { u16(t); u16(type); u32(1); u32(v); };
  tag(256, 4, static_cast<std::uint32_t>(AW));
  tag(257, 4, static_cast<std::uint32_t>(AH));
  tag(258, 3, 1);
  tag(259, 3, 1);
  tag(262, 3, 0);  // white is zero
  tag(273, 4, dataOffset);
  tag(277, 3, 1);
  tag(278, 4, static_cast<std::uint32_t>(AH));
  tag(279, 4, static_cast<std::uint32_t>(bits.size()));
  tag(284, 3, 1);
  u32(0);
  f.insert(f.end(), bits.begin(), bits.end());
  std::ofstream(APath, std::ios::binary).write(reinterpret_cast<const char*>(f.data()),
                                                static_cast<std::streamsize>(f.size()));
}

// The one strip of a little-endian TIFF as written by tiffcp with all rows in one strip.
std::string TiffStrip(const std::string& AFile) {
  auto rd16 = [&](std::size_t p) { return p + 2 <= AFile.size() ? unsigned(std::uint8_t(AFile[p])) | unsigned(std::uint8_t(AFile[p + 1])) << 8 : 0u; };
  auto rd32 = [&](std::size_t p) { return std::uint32_t(rd16(p)) | std::uint32_t(rd16(p + 2)) << 16; };
  if (AFile.size() < 8 || AFile[0] != 'I') return {};
  const std::size_t ifd = rd32(4);
  const unsigned n = rd16(ifd);
  std::uint32_t offset = 0, count = 0;
  for (unsigned i = 0; i < n; ++i) {
    const std::size_t e = ifd + 2 + 12 * i;
    const unsigned t = rd16(e), type = rd16(e + 2);
    const std::uint32_t v = type == 3 ? rd16(e + 8) : rd32(e + 8);
    if (t == 273) offset = v;
    if (t == 279) count = v;
  }
  if (std::size_t{offset} + count > AFile.size()) return {};
  return AFile.substr(offset, count);
}

bool BenchJpeg(const fs::path& ADir) {
  if (!HaveTool("cjpeg") || !HaveTool("djpeg")) {
    std::printf("dct_4000x3000: skipped (cjpeg/djpeg missing: apt-get install libjpeg-turbo-progs)\n");
    return true;
  }
  const fs::path ppm = ADir / "photo.ppm", jpg = ADir / "photo.jpg";
  if (!fs::exists(jpg)) {
    WritePpm(ppm, 4000, 3000);
    if (std::system(("cjpeg -quality 85 -outfile '" + jpg.string() + "' '" + ppm.string() + "'").c_str()) != 0) {
      std::printf("dct_4000x3000: cjpeg failed\n");
      return false;
    }
    fs::remove(ppm);
  }
  const std::string data = ReadFile(jpg);
  const auto ref = bench::RunCommand("djpeg -outfile /dev/null '" + jpg.string() + "'", 5);
  std::size_t sum = 0;
  const double ours = bench::BestOf(5, [&] {
    TkwJpegDecoder dec({reinterpret_cast<const std::uint8_t*>(data.data()), data.size()});
    if (!dec.ReadHeader()) return;
    std::vector<std::uint8_t> row(dec.GetRowBytes());
    while (dec.ReadRow(row)) sum += row[0];
  });
  std::printf("(dct checksum %zu)\n", sum);
  return bench::Report("dct_4000x3000", ours, ref.ExitCode == 0 ? ref.Seconds : 0, 3.0);
}

bool BenchG4(const fs::path& ADir) {
  if (!HaveTool("tiffcp")) {
    std::printf("ccitt_g4_2500x3300: skipped (tiffcp missing: apt-get install libtiff-tools)\n");
    return true;
  }
  const fs::path raw = ADir / "page.tif", g4 = ADir / "page-g4.tif";
  if (!fs::exists(g4)) {
    WriteBilevelTiff(raw, 2500, 3300);
    if (std::system(("tiffcp -c g4 -r 3300 '" + raw.string() + "' '" + g4.string() + "'").c_str()) != 0) {
      std::printf("ccitt_g4_2500x3300: tiffcp failed\n");
      return false;
    }
    fs::remove(raw);
  }
  const std::string strip = TiffStrip(ReadFile(g4));
  const fs::path out = ADir / "page-out.tif";
  const auto ref = bench::RunCommand("tiffcp -c none '" + g4.string() + "' '" + out.string() + "'", 5);
  TkwCCITTParams p;
  p.K = -1;
  p.Columns = 2500;
  p.Rows = 3300;
  p.EndOfBlock = false;
  p.BlackIs1 = true;
  int rows = 0;
  const double ours = bench::BestOf(5, [&] {
    TkwCCITTFaxDecoder dec({reinterpret_cast<const std::uint8_t*>(strip.data()), strip.size()}, p);
    std::vector<std::uint8_t> row(dec.GetRowBytes());
    rows = 0;
    while (rows < 3300 && dec.ReadRow(row)) ++rows;
  });
  std::printf("(g4 rows %d, %zu bytes)\n", rows, strip.size());
  return bench::Report("ccitt_g4_2500x3300", ours, ref.ExitCode == 0 ? ref.Seconds : 0, 2.0);
}

}  // namespace

int main() {
  const auto dir = qm::bench::ScratchDir("decoders");
  const bool a = BenchJpeg(dir);
  const bool b = BenchG4(dir);
  return a && b ? 0 : 1;
}
