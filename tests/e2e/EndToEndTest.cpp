// Whole conversions of shipped PDFs, checked by what a reader of the RTF sees: its words
// against the words pdftotext finds in the PDF, and the structure (pictures, lists).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <unistd.h>
#include <zlib.h>

#include "converter/kwPDFConverter.h"
#include "tests/support/pdf/TestPdf.h"
#include "tests/support/rtf/RtfReader.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& APath) {
  std::ifstream in(APath, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Words of a text, compared without punctuation at their ends.
std::vector<std::string> SplitWords(const std::string& AText) {
  std::vector<std::string> words;
  std::istringstream in(AText);
  std::string w;
  while (in >> w) {
    while (!w.empty() && std::ispunct(static_cast<unsigned char>(w.back()))) w.pop_back();
    while (!w.empty() && std::ispunct(static_cast<unsigned char>(w.front()))) w.erase(w.begin());
    if (!w.empty()) words.push_back(w);
  }
  return words;
}

double WordF1(const std::vector<std::string>& AGot, const std::vector<std::string>& AWant) {
  std::map<std::string, int> want, got;
  for (const auto& w : AWant) ++want[w];
  for (const auto& w : AGot) ++got[w];
  int common = 0;
  for (const auto& [w, n] : got) common += std::min(n, want.count(w) ? want[w] : 0);
  if (AGot.empty() || AWant.empty()) return 0;
  const double p = static_cast<double>(common) / AGot.size();
  const double r = static_cast<double>(common) / AWant.size();
  return p + r == 0 ? 0 : 2 * p * r / (p + r);
}

std::string PdfToText(const fs::path& APdf) {
  const std::string cmd = "pdftotext -q '" + APdf.string() + "' - 2>/dev/null";
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

struct Mode {
  const char* Name;
  TkwFormattingMode Value;
};

class SampleConversion : public ::testing::TestWithParam<Mode> {};

TEST_P(SampleConversion, WordsPicturesAndListsReachTheRtf) {
  const fs::path pdf = fs::path(QM_SOURCE_DIR) / "examples" / "sample.pdf";
  const fs::path out = fs::temp_directory_path() / (std::string("qm-e2e-") + GetParam().Name + ".rtf");
  fs::remove(out);
  TkwPDFConverter conv;
  conv.GetOutputSettings().GetPreferences().SetFormattingMode(GetParam().Value);
  conv.SetInputFileName(pdf.string());
  conv.SetOutputFileName(out.string());
  int pagesEnded = 0;
  conv.SetOnEndPage([&](TkwObject&, TkwPageEventArgs&) { ++pagesEnded; });
  conv.Convert();
  EXPECT_EQ(pagesEnded, 3);
  ASSERT_TRUE(fs::exists(out));
  const auto doc = rtftest::TRtfDocument::Parse(ReadFile(out));
  EXPECT_EQ(doc.Pictures().size(), 1u);
  const std::string reference = PdfToText(pdf);
  if (reference.empty()) GTEST_SKIP() << "pdftotext is not installed";
  const double f1 = WordF1(SplitWords(doc.PlainText()), SplitWords(reference));
  EXPECT_GE(f1, 0.95) << doc.PlainText();
  fs::remove(out);
}

INSTANTIATE_TEST_SUITE_P(Modes, SampleConversion,
                         ::testing::Values(Mode{"formatted", TkwFormattingMode::fmFormatted},
                                           Mode{"tabs", TkwFormattingMode::fmFormattedWithTabs}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

struct TClipCase {
  const char* Name;
  const char* Content;
  std::vector<std::string> Shown;
  std::vector<std::string> Hidden;
};

class ClippedText : public ::testing::TestWithParam<TClipCase> {};

// Glyphs outside the clip never reach the RTF, whether the clip is one rectangle, two
// rectangles crossing, or another shape; restoring the state shows the whole page again.
TEST_P(ClippedText, ShowsOnlyWhatTheClipLeavesVisible) {
  TkwTestPdf pdf;
  const int f1 = pdf.AddFont("Helvetica");
  pdf.AddPage(GetParam().Content, {{"F1", f1}});
  const fs::path dir = fs::temp_directory_path() / ("qm-e2e-clip-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path in = dir / (std::string(GetParam().Name) + ".pdf");
  const fs::path out = dir / (std::string(GetParam().Name) + ".rtf");
  std::ofstream(in, std::ios::binary) << pdf.Save();
  TkwPDFConverter conv;
  conv.SetInputFileName(in.string());
  conv.SetOutputFileName(out.string());
  conv.Convert();
  ASSERT_TRUE(fs::exists(out));
  const auto words = SplitWords(rtftest::TRtfDocument::Parse(ReadFile(out)).PlainText());
  const auto has = [&](const std::string& AWord) { return std::find(words.begin(), words.end(), AWord) != words.end(); };
  for (const auto& w : GetParam().Shown) EXPECT_TRUE(has(w)) << w;
  for (const auto& w : GetParam().Hidden) EXPECT_FALSE(has(w)) << w;
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Clips, ClippedText,
    ::testing::Values(
        TClipCase{"rectangle",
                  "q 100 600 200 200 re W n BT /F1 12 Tf 110 700 Td (Inside) Tj ET "
                  "BT /F1 12 Tf 400 700 Td (Outside) Tj ET BT /F1 12 Tf 150 500 Td (Below) Tj ET Q "
                  "BT /F1 12 Tf 400 400 Td (Restored) Tj ET",
                  {"Inside", "Restored"}, {"Outside", "Below"}},
        TClipCase{"crossing",
                  "q 100 600 200 200 re W n 250 600 200 200 re W n BT /F1 12 Tf 260 700 Td (Both) Tj ET "
                  "BT /F1 12 Tf 120 700 Td (FirstOnly) Tj ET BT /F1 12 Tf 400 700 Td (SecondOnly) Tj ET Q",
                  {"Both"}, {"FirstOnly", "SecondOnly"}},
        TClipCase{"triangle",
                  "q 100 600 m 400 600 l 100 780 l h W n BT /F1 12 Tf 110 610 Td (Corner) Tj ET "
                  "BT /F1 12 Tf 380 770 Td (Beyond) Tj ET Q",
                  {"Corner"}, {"Beyond"}}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

// The RGB samples of an 8-bit RGB PNG (every row filter undone); empty when it is not one.
std::string PngSamples(const std::string& APng, int AW, int AH) {
  std::string z;
  for (std::size_t p = 8; p + 12 <= APng.size();) {
    const auto n = static_cast<std::size_t>(static_cast<std::uint8_t>(APng[p]) << 24 |
                                            static_cast<std::uint8_t>(APng[p + 1]) << 16 |
                                            static_cast<std::uint8_t>(APng[p + 2]) << 8 |
                                            static_cast<std::uint8_t>(APng[p + 3]));
    if (APng.compare(p + 4, 4, "IDAT") == 0) z += APng.substr(p + 8, n);
    p += 12 + n;
  }
  const std::size_t row = static_cast<std::size_t>(AW) * 3;
  std::string raw((row + 1) * static_cast<std::size_t>(AH), '\0');
  uLongf len = static_cast<uLongf>(raw.size());
  if (uncompress(reinterpret_cast<Bytef*>(raw.data()), &len, reinterpret_cast<const Bytef*>(z.data()),
                 static_cast<uLong>(z.size())) != Z_OK || len != raw.size()) {
    return {};
  }
  std::string out(row * static_cast<std::size_t>(AH), '\0');
  for (std::size_t y = 0; y < static_cast<std::size_t>(AH); ++y) {
    const int type = static_cast<std::uint8_t>(raw[y * (row + 1)]);
    for (std::size_t i = 0; i < row; ++i) {
      const int a = i >= 3 ? static_cast<std::uint8_t>(out[y * row + i - 3]) : 0;
      const int b = y > 0 ? static_cast<std::uint8_t>(out[(y - 1) * row + i]) : 0;
      const int c = y > 0 && i >= 3 ? static_cast<std::uint8_t>(out[(y - 1) * row + i - 3]) : 0;
      const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
      const int pred = type == 1 ? a : type == 2 ? b : type == 3 ? (a + b) / 2
                     : type == 4 ? (pa <= pb && pa <= pc ? a : pb <= pc ? b : c) : 0;
      out[y * row + i] = static_cast<char>(static_cast<std::uint8_t>(raw[y * (row + 1) + 1 + i]) + pred);
    }
  }
  return out;
}

// 8-bit RGB pictures, compressed or not, reach the RTF with their exact samples; one whose
// data fall short still converts, and so do the pages after it.
TEST(EndToEnd, RgbPicturesKeepTheirSamples) {
  constexpr int kW = 37, kH = 23;
  std::string samples;
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      samples += static_cast<char>(x * 7);
      samples += static_cast<char>(y * 11);
      samples += static_cast<char>((x * y) & 0xFF);
    }
  }
  std::string packed(compressBound(static_cast<uLong>(samples.size())), '\0');
  uLongf packedLen = static_cast<uLongf>(packed.size());
  ASSERT_EQ(compress(reinterpret_cast<Bytef*>(packed.data()), &packedLen,
                     reinterpret_cast<const Bytef*>(samples.data()), static_cast<uLong>(samples.size())),
            Z_OK);
  packed.resize(packedLen);
  const std::string dict = "/Type /XObject /Subtype /Image /Width " + std::to_string(kW) + " /Height " +
                           std::to_string(kH) + " /ColorSpace /DeviceRGB /BitsPerComponent 8";
  TkwTestPdf pdf;
  const int plain = pdf.AddStream(dict, samples);
  const int flate = pdf.AddStream(dict + " /Filter /FlateDecode", packed);
  const int shortData = pdf.AddStream(dict + " /Filter /FlateDecode", packed.substr(0, packed.size() / 2));
  for (const int image : {plain, shortData, flate}) {
    pdf.AddPage("q 111 0 0 69 50 600 cm /Im1 Do Q", {},
                "/Resources << /XObject << /Im1 " + std::to_string(image) + " 0 R >> >>");
  }
  const fs::path dir = fs::temp_directory_path() / ("qm-e2e-rgb-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path in = dir / "rgb.pdf";
  const fs::path out = dir / "rgb.rtf";
  std::ofstream(in, std::ios::binary) << pdf.Save();
  TkwPDFConverter conv;
  conv.SetInputFileName(in.string());
  conv.SetOutputFileName(out.string());
  conv.Convert();
  ASSERT_TRUE(fs::exists(out));
  const auto pictures = rtftest::TRtfDocument::Parse(ReadFile(out)).Pictures();
  ASSERT_GE(pictures.size(), 2u);
  for (const std::size_t k : {std::size_t{0}, pictures.size() - 1}) {
    ASSERT_EQ(pictures[k].Blip, "pngblip") << k;
    EXPECT_TRUE(PngSamples(pictures[k].Bytes, kW, kH) == samples) << k;
  }
  fs::remove_all(dir);
}

TEST(EndToEnd, DamagedBytesNeverCrashAndKeepNoPartialFile) {
  const fs::path dir = fs::temp_directory_path() / "qm-e2e-damaged";
  fs::create_directories(dir);
  std::string bytes = ReadFile(fs::path(QM_SOURCE_DIR) / "examples" / "sample.pdf");
  ASSERT_FALSE(bytes.empty());
  // Cut the file at several points and overwrite stretches with junk.
  for (std::size_t cut : {bytes.size() / 5, bytes.size() / 2, bytes.size() * 9 / 10}) {
    std::string damaged = bytes.substr(0, cut);
    for (std::size_t i = cut / 3; i < cut / 3 + 200 && i < damaged.size(); ++i) damaged[i] = '\x9c';
    const fs::path in = dir / "in.pdf", out = dir / "out.rtf";
    std::ofstream(in, std::ios::binary) << damaged;
    fs::remove(out);
    TkwPDFConverter conv;
    conv.SetInputFileName(in.string());
    conv.SetOutputFileName(out.string());
    try {
      conv.Convert();
    } catch (const std::exception&) {
      EXPECT_FALSE(fs::exists(out)) << "a failed job left a file at cut " << cut;
    }
  }
  for (const auto& e : fs::directory_iterator(dir)) {
    EXPECT_EQ(e.path().extension() == ".tmp", false) << e.path();
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qm

namespace qm {
namespace {

// The RTF text of a conversion, with the password answered when the file asks for one.
std::string ConvertedText(const fs::path& APdf, const std::string& APassword) {
  // ctest runs the cases side by side, each in its own process: the process id keeps their
  // outputs apart.
  const fs::path out = fs::temp_directory_path() /
                       ("qm-e2e-" + std::to_string(::getpid()) + "-" + APdf.stem().string() + ".rtf");
  fs::remove(out);
  TkwPDFConverter conv;
  conv.SetOnNeedPassword([&](TkwObject&, std::string& APw) { APw = APassword; });
  conv.SetInputFileName(APdf.string());
  conv.SetOutputFileName(out.string());
  conv.Convert();
  std::string text = rtftest::TRtfDocument::Parse(ReadFile(out)).PlainText();
  fs::remove(out);
  return text;
}

struct EncryptedCase {
  const char* File;
  const char* Password;
};

class EncryptedConversion : public ::testing::TestWithParam<EncryptedCase> {};

TEST_P(EncryptedConversion, GivesTheTextOfThePlainFile) {
  const fs::path dir = fs::path(QM_FIXTURE_DIR);
  const std::string plain = ConvertedText(dir / "text-3pages.pdf", "");
  ASSERT_FALSE(plain.empty());
  EXPECT_EQ(ConvertedText(dir / GetParam().File, GetParam().Password), plain);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, EncryptedConversion,
                         ::testing::Values(EncryptedCase{"qpdf-rc4-40.pdf", ""},
                                           EncryptedCase{"qpdf-rc4-128.pdf", ""},
                                           EncryptedCase{"qpdf-aes128.pdf", ""},
                                           EncryptedCase{"qpdf-aes128-userpw.pdf", "user"},
                                           EncryptedCase{"qpdf-aes256.pdf", ""},
                                           EncryptedCase{"qpdf-aes256-userpw.pdf", "user"},
                                           EncryptedCase{"qpdf-aes256-clearmeta.pdf", ""},
                                           EncryptedCase{"qpdf-aes256-r5.pdf", "user"},
                                           EncryptedCase{"qpdf-objstm.pdf", ""}));

TEST(EndToEnd, WrongPasswordIsRefused) {
  try {
    ConvertedText(fs::path(QM_FIXTURE_DIR) / "qpdf-aes256-userpw.pdf", "nope");
    FAIL() << "a wrong password converted";
  } catch (const std::exception& E) {
    // A password that was given is said to be wrong, not missing.
    EXPECT_STREQ(E.what(), "Wrong password");
  }
}

}  // namespace
}  // namespace qm
