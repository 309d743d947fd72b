// Images of real PDFs decode to the pixels Poppler's pdfimages extracts from the same files
// (references beside the files, made as their .cmd files say).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pdf/core/kwPDBaseDoc.h"
#include "pdf/core/kwPDDocument.h"
#include "pdf/images/kwPDImage.h"
#include "pdf/model/kwPDPage.h"
#include "pdf/model/kwPDResource.h"
#include "platform/Bitmap.h"

namespace qm {
namespace {

std::string Dir() { return std::string(QM_FIXTURE_DIR) + "/pdf-images/"; }

// A PBM (1 = black), PGM or PPM file as RGB pixels (0x00BBGGRR).
struct TPnm {
  int W = 0, H = 0;
  std::vector<std::uint32_t> Px;
  bool Load(const std::string& APath) {
    std::ifstream f(APath, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    const std::string s = ss.str();
    std::size_t at = 2;
    auto number = [&]() {
      for (;;) {
        while (at < s.size() && std::isspace(static_cast<unsigned char>(s[at]))) ++at;
        if (at < s.size() && s[at] == '#') {
          while (at < s.size() && s[at] != '\n') ++at;
          continue;
        }
        break;
      }
      int v = 0;
      while (at < s.size() && std::isdigit(static_cast<unsigned char>(s[at]))) v = v * 10 + (s[at++] - '0');
      return v;
    };
    if (s.size() < 3 || s[0] != 'P') return false;
    const char kind = s[1];
    W = number();
    H = number();
    if (kind != '4') number();
    ++at;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    Px.assign(static_cast<std::size_t>(W) * static_cast<std::size_t>(H), 0);
    for (int y = 0; y < H; ++y) {
      for (int x = 0; x < W; ++x) {
        std::uint32_t v = 0;
        const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(W) + static_cast<std::size_t>(x);
        if (kind == '4') {
          const std::size_t byte = at + static_cast<std::size_t>(y) * static_cast<std::size_t>((W + 7) / 8) + static_cast<std::size_t>(x / 8);
          if (byte >= s.size()) return false;
          v = ((p[byte] >> (7 - x % 8)) & 1) ? 0 : 0xFFFFFF;
        } else if (kind == '5') {
          if (at + i >= s.size()) return false;
          v = p[at + i] * 0x010101u;
        } else if (kind == '6') {
          if (at + 3 * i + 2 >= s.size()) return false;
          v = p[at + 3 * i] | (p[at + 3 * i + 1] << 8) | (p[at + 3 * i + 2] << 16);
        } else {
          return false;
        }
        Px[i] = v;
      }
    }
    return true;
  }
};

enum class TCheck { Color, ColorWhereOpaque, StencilAlpha, MaskAlpha, SoftAlpha };

struct TCase {
  const char* Pdf;
  int Obj;
  const char* Ref;
  TCheck Check;
};

std::ostream& operator<<(std::ostream& AOut, const TCase& ACase) { return AOut << ACase.Pdf << " " << ACase.Obj << " " << ACase.Ref; }

int Channel(std::uint32_t AV, int AShift) { return static_cast<int>((AV >> AShift) & 0xFF); }

class Fixtures : public ::testing::TestWithParam<TCase> {};

TEST_P(Fixtures, DecodeLikePdfimages) {
  const TCase& c = GetParam();
  TkwPDDocument doc;
  doc.LoadDocument(Dir() + c.Pdf);
  TPnm ref;
  ASSERT_TRUE(ref.Load(Dir() + c.Ref));
  auto* st = dynamic_cast<TkwPDStream*>(doc.GetBaseDoc()->GetObject(static_cast<std::uint32_t>(c.Obj), 0));
  ASSERT_NE(st, nullptr);
  TkwPDPage* page = doc.GetPage(1);
  TkwPDImage image(st, &doc, page ? page->GetResource() : nullptr, "Im");
  auto bmp = image.RenderBitmap();
  ASSERT_TRUE(bmp);
  ASSERT_EQ(bmp->GetWidth(), ref.W);
  ASSERT_EQ(bmp->GetHeight(), ref.H);
  int bad = 0;
  for (int y = 0; y < ref.H && bad < 5; ++y) {
    for (int x = 0; x < ref.W && bad < 5; ++x) {
      const std::uint32_t want = ref.Px[static_cast<std::size_t>(y) * static_cast<std::size_t>(ref.W) + static_cast<std::size_t>(x)];
      const std::uint32_t got = bmp->GetPixel(x, y) & 0xFFFFFF;
      const int alpha = bmp->GetPixelFormat() == TPixelFormat::pf32bit ? bmp->ScanLine(y)[static_cast<std::size_t>(x) * 4 + 3] : 255;
      bool ok = true;
      switch (c.Check) {
        case TCheck::ColorWhereOpaque:
          if (alpha != 255) break;
          [[fallthrough]];
        case TCheck::Color:
          for (int sh : {0, 8, 16}) ok = ok && std::abs(Channel(got, sh) - Channel(want, sh)) <= 3;
          break;
        case TCheck::StencilAlpha:
        case TCheck::MaskAlpha:
          // The reference holds the raw mask bits: a 0 bit (white here) is painted.
          ok = (alpha == 255) == (want == 0xFFFFFF);
          break;
        case TCheck::SoftAlpha: ok = std::abs(alpha - Channel(want, 0)) <= 3; break;
      }
      if (!ok) {
        ++bad;
        ADD_FAILURE() << "pixel " << x << "," << y << " got " << std::hex << got << " alpha " << std::dec << alpha
                      << " want " << std::hex << want;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    PdfImages, Fixtures,
    ::testing::Values(TCase{"flate-rgb.pdf", 5, "flate-rgb-000.ppm", TCheck::Color},
                      TCase{"indexed.pdf", 5, "indexed-000.ppm", TCheck::Color},
                      TCase{"indexed.pdf", 6, "indexed-001.ppm", TCheck::Color},
                      TCase{"one-bit-masks.pdf", 5, "one-bit-masks-000.pbm", TCheck::StencilAlpha},
                      TCase{"one-bit-masks.pdf", 6, "one-bit-masks-001.pbm", TCheck::Color},
                      TCase{"one-bit-masks.pdf", 7, "one-bit-masks-002.ppm", TCheck::ColorWhereOpaque},
                      TCase{"one-bit-masks.pdf", 7, "one-bit-masks-003.pbm", TCheck::MaskAlpha},
                      TCase{"soft-mask.pdf", 5, "soft-mask-000.ppm", TCheck::Color},
                      TCase{"soft-mask.pdf", 5, "soft-mask-001.ppm", TCheck::SoftAlpha},
                      TCase{"jp2k-resetprob.pdf", 6, "jp2k-resetprob-000.ppm", TCheck::Color},
                      TCase{"bug_jpx.pdf", 15, "bug_jpx-000.ppm", TCheck::Color},
                      TCase{"jbig2_symbol_offset.pdf", 6, "jbig2_symbol_offset-000.pbm", TCheck::Color},
                      TCase{"ccitt_EndOfBlock_false.pdf", 6, "ccitt_EndOfBlock_false-000.pbm", TCheck::Color},
                      TCase{"ccitt_EndOfBlock_false.pdf", 8, "ccitt_EndOfBlock_false-002.pbm", TCheck::Color},
                      TCase{"ccitt_EndOfBlock_false.pdf", 11, "ccitt_EndOfBlock_false-005.pbm", TCheck::Color}));

// Damaged copies of the fixtures: every image object is decoded and encoded; nothing may
// crash, hang or read out of bounds (the suite runs under the sanitizers).
TEST(DamagedFixtures, DecodingNeverCrashes) {
  const char* files[] = {"flate-rgb.pdf", "indexed.pdf", "one-bit-masks.pdf", "soft-mask.pdf",
                         "jp2k-resetprob.pdf", "jbig2_symbol_offset.pdf", "ccitt_EndOfBlock_false.pdf"};
  std::uint32_t seed = 12345;
  auto next = [&]() {
    seed = seed * 1103515245u + 12345u;
    return seed >> 8;
  };
  int decoded = 0;
  const char* only = std::getenv("QM_IMAGE_DAMAGE_FILE");  // one file of the list
  for (const char* name : files) {
    if (only && std::string(only) != name) continue;
    std::ifstream f(Dir() + name, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    const std::string original = ss.str();
    // QM_IMAGE_DAMAGE_ROUNDS runs more copies (for long local runs).
    const char* env = std::getenv("QM_IMAGE_DAMAGE_ROUNDS");
    const int rounds = env ? std::atoi(env) : 24;
    for (int round = 0; round < rounds; ++round) {
      std::string bytes = original;
      const int changes = 1 + static_cast<int>(next() % 8);
      for (int k = 0; k < changes; ++k) {
        const std::size_t at = 64 + next() % (bytes.size() - 64);
        const std::uint32_t how = next() % 4;
        if (how == 0) bytes[at] = static_cast<char>(next());
        if (how == 1) bytes[at] = static_cast<char>('0' + next() % 10);  // numbers in dictionaries
        if (how == 2) bytes.erase(at, 1 + next() % 16);
        if (how == 3) bytes.insert(at, 1 + next() % 4, static_cast<char>(next()));
      }
      // QM_IMAGE_DAMAGE_DUMP names a file that holds the copy being decoded, so that a
      // crash leaves its input behind.
      if (const char* dump = std::getenv("QM_IMAGE_DAMAGE_DUMP")) {
        std::ofstream(dump, std::ios::binary) << bytes;
      }
      TkwPDDocument doc;
      try {
        doc.LoadFromBytes(bytes);
      } catch (const std::exception&) {
        continue;
      }
      TkwPDResource* res = nullptr;
      try {
        TkwPDPage* page = doc.GetPage(1);
        res = page ? page->GetResource() : nullptr;
      } catch (const std::exception&) {
        res = nullptr;
      }
      for (std::uint32_t n = 1; n < 20; ++n) {
        try {
          auto* st = dynamic_cast<TkwPDStream*>(doc.GetBaseDoc()->GetObject(n, 0));
          if (!st) continue;
          TkwPDImage image(st, &doc, res, "Im");
          if (image.RenderBitmap()) ++decoded;
          std::string out;
          TkwOutFormat fmt = TkwOutFormat::ofBMP;
          (void)image.SaveToStream(out, true, fmt);
        } catch (const std::exception&) {
          // a damaged object may refuse to load; the image code itself does not throw
        }
      }
    }
  }
  EXPECT_GT(decoded, 0);
}

// A damaged copy whose JBIG2 page once read past an empty pixel buffer.
TEST(DamagedFixtures, JBIG2PageWithoutColumns) {
  TkwPDDocument doc;
  std::ifstream f(Dir() + "damaged/jbig2-empty-page.pdf", std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  doc.LoadFromBytes(ss.str());
  TkwPDPage* page = doc.GetPage(1);
  TkwPDResource* res = page ? page->GetResource() : nullptr;
  for (std::uint32_t n = 1; n < 20; ++n) {
    auto* st = dynamic_cast<TkwPDStream*>(doc.GetBaseDoc()->GetObject(n, 0));
    if (!st) continue;
    TkwPDImage image(st, &doc, res, "Im");
    (void)image.RenderBitmap();
    std::string out;
    TkwOutFormat fmt = TkwOutFormat::ofBMP;
    (void)image.SaveToStream(out, true, fmt);
  }
}

}  // namespace
}  // namespace qm
