// Pages made by real producers (LibreOffice, Ghostscript) and by the hand-written generator
// in tests/fixtures/content/, played into a device that records DrawChar calls. The
// characters drawn, in order, must be the text pdftotext -raw found on each page.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "pdf/content/PageDisplay.h"
#include "pdf/content/kwPDExportDevice.h"
#include "pdf/core/kwPDDocument.h"
#include "pdf/fonts/kwPDCMap.h"

namespace qm {
namespace {

std::string ReadFile(const std::string& APath) {
  std::ifstream in(APath, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::u32string FromUtf8(const std::string& AText) {
  std::u32string out;
  for (std::size_t i = 0; i < AText.size();) {
    const auto c = static_cast<unsigned char>(AText[i]);
    int n = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    char32_t v = n == 0 ? c : n == 1 ? (c & 0x1F) : n == 2 ? (c & 0x0F) : (c & 0x07);
    ++i;
    for (; n > 0 && i < AText.size(); --n, ++i) v = (v << 6) | (static_cast<unsigned char>(AText[i]) & 0x3F);
    out.push_back(v);
  }
  return out;
}

std::string ToUtf8(const std::u32string& AText) {
  std::string out;
  for (char32_t c : AText) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool IsCJK(char32_t AChar) { return AChar >= 0x2E80 && AChar < 0xFFF0 && !(AChar >= 0xFB00 && AChar <= 0xFB06); }

// Unicode's spaces: the CJK collections map their proportional space to U+2002.
bool IsSpace(char32_t c) {
  return c == U' ' || c == U'\n' || c == U'\r' || c == U'\t' || c == U'\f' || c == 0xA0 ||
         (c >= 0x2000 && c <= 0x200B) || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Whitespace runs become one space (line and word breaks are layout, not text), none is
// kept between two CJK characters (that script has no word spaces, and pdftotext puts
// every glyph of a vertical line on a line of its own), and the Latin ligatures are
// spelt out as pdftotext does.
std::u32string Normalised(const std::u32string& AText) {
  std::u32string spelt;
  for (char32_t c : AText) {
    switch (c) {
      case 0xFB00: spelt += U"ff"; break;
      case 0xFB01: spelt += U"fi"; break;
      case 0xFB02: spelt += U"fl"; break;
      case 0xFB03: spelt += U"ffi"; break;
      case 0xFB04: spelt += U"ffl"; break;
      case 0xFB05:
      case 0xFB06: spelt += U"st"; break;
      default: spelt += c;
    }
  }
  std::u32string out;
  bool pendingSpace = false;
  for (char32_t c : spelt) {
    if (IsSpace(c)) {
      pendingSpace = !out.empty();
      continue;
    }
    if (pendingSpace && !(IsCJK(out.back()) && IsCJK(c))) out += U' ';
    pendingSpace = false;
    out += c;
  }
  return out;
}

// Records the characters drawn on each page. A glyph that does not start where the one
// before it ended (by more than a tenth of the font size) is taken as a word or line
// break, as text extraction does.
class TextRecorder : public TkwPDExportDevice {
public:
  TextRecorder() { UseDrawChar = true; }
  std::vector<std::u32string> Pages;
  int Glyphs = 0;
  int OffPage = 0;  // glyphs whose origin lies outside every fixture's page (A4 or Letter)

  void StartPage(int, TkwPDState&) override {
    Pages.emplace_back();
    FHaveEnd = false;
  }
  void DrawFormXObject(TkwPDState& S, TkwPDForm& F) override {
    if (FormPlayer) FormPlayer->PlayForm(S, F, *this);
  }
  void DrawChar(TkwPDState& S, double AX, double AY, double ADx, double ADy, int ACode,
                std::string&) override {
    ++Glyphs;
    double x = 0, y = 0, ex = 0, ey = 0;
    ToUser(S, AX, AY, x, y);
    ToUser(S, AX + ADx, AY + ADy, ex, ey);
    if (x < -1 || x > 613 || y < -1 || y > 843) ++OffPage;
    const double size = std::max(1.0, std::abs(S.FFontSize * S.FTextMatrix.FM22 * S.FCTM.FM22) +
                                          std::abs(S.FFontSize * S.FTextMatrix.FM11 * S.FCTM.FM11));
    std::u32string& text = Pages.back();
    if (FHaveEnd && std::hypot(x - FEndX, y - FEndY) > 0.1 * size) text += U' ';
    FEndX = ex;
    FEndY = ey;
    FHaveEnd = true;
    const int ch = S.FCurUnicode != 0 ? S.FCurUnicode : ACode;
    if (ch >= 0x20) text += static_cast<char32_t>(ch);
  }

private:
  static void ToUser(const TkwPDState& S, double AX, double AY, double& AUx, double& AUy) {
    const double tx = S.FTextMatrix.TransformX(AX, AY + S.FRise);
    const double ty = S.FTextMatrix.TransformY(AX, AY + S.FRise);
    AUx = S.FCTM.TransformX(tx, ty);
    AUy = S.FCTM.TransformY(tx, ty);
  }
  bool FHaveEnd = false;
  double FEndX = 0, FEndY = 0;
};

struct FixtureCase {
  const char* Name;  // tests/fixtures/content/<Name>.pdf and <Name>.txt
  int Pages;
};

class ProducerFixture : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(ProducerFixture, DrawnTextIsWhatPdftotextFinds) {
  if (std::string(GetParam().Name) == "cjk-predefined" && FindCMapFile("90ms-RKSJ-H", "").empty()) {
    GTEST_SKIP() << "poppler-data is not installed";
  }
  const std::string base = std::string(QM_FIXTURE_DIR) + "/content/" + GetParam().Name;
  const std::string reference = ReadFile(base + ".txt");
  ASSERT_FALSE(reference.empty()) << base << ".txt";
  std::vector<std::u32string> expected;
  {
    std::u32string all = FromUtf8(reference);
    std::u32string page;
    for (char32_t c : all) {
      if (c == U'\f') {
        expected.push_back(Normalised(page));
        page.clear();
      } else {
        page += c;
      }
    }
  }
  ASSERT_EQ(static_cast<int>(expected.size()), GetParam().Pages);

  TkwPDDocument doc;
  doc.LoadFromBytes(ReadFile(base + ".pdf"));
  ASSERT_EQ(doc.GetPageCount(), GetParam().Pages);
  TextRecorder dev;
  for (int p = 1; p <= doc.GetPageCount(); ++p) {
    DisplayPage(doc, dev, p, 72, 72, 0, true, false, false, true);
  }
  ASSERT_EQ(dev.Pages.size(), expected.size());
  EXPECT_EQ(dev.OffPage, 0) << "of " << dev.Glyphs << " glyphs";
  for (std::size_t p = 0; p < expected.size(); ++p) {
    EXPECT_EQ(ToUtf8(Normalised(dev.Pages[p])), ToUtf8(expected[p])) << "page " << p + 1;
  }
}

INSTANTIATE_TEST_SUITE_P(Producers, ProducerFixture,
                         ::testing::Values(FixtureCase{"lo-truetype", 2}, FixtureCase{"gs-type1", 2}, FixtureCase{"gs-type1c", 2},
                                           FixtureCase{"gs-type3", 1}, FixtureCase{"cjk-predefined", 4},
                                           FixtureCase{"form-xobject", 3},
                                           FixtureCase{"lo-cjk", 1}, FixtureCase{"lo-ligatures", 1}, FixtureCase{"type3-names", 1}),
                         [](const auto& AInfo) {
                           std::string n = AInfo.param.Name;
                           for (char& c : n) {
                             if (c == '-') c = '_';
                           }
                           return n;
                         });

}  // namespace
}  // namespace qm
