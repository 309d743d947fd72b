// Every recovery branch of the reader and the interpreter, reached by a file built for it:
// the page still plays, and the branch leaves its diagnostic code. The caps are tested at
// their edge: input that reaches the cap exactly is taken whole, one step more is cut.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "base/kwDiagnostics.h"
#include "base/Limits.h"
#include "pdf/content/PageDisplay.h"
#include "pdf/core/kwPDBaseObject.h"
#include "pdf/core/kwPDDocument.h"
#include "pdf/images/kwPDImage.h"
#include "platform/Bitmap.h"
#include "tests/pdf/content/TraceDevice.h"
#include "tests/support/pdf/TestPdf.h"

namespace qm {
namespace {

// Renders the images it is handed, and fails on a line width of 13 as a device fails on
// damaged data (with a core error), so that a device error can be provoked from the content.
class TkwFailingDevice final : public TkwTraceDevice {
public:
  void UpdateLineWidth(TkwPDState& S) override {
    if (S.FLineWidth == 13) throw ExInvalidObject();
    TkwTraceDevice::UpdateLineWidth(S);
  }
  void DrawImage(TkwPDState& S, TkwPDImage& AImage) override {
    TkwTraceDevice::DrawImage(S, AImage);
    (void)AImage.RenderBitmap();
  }
};

// Plays page 1 of ABytes and returns what was noted.
TkwDiagnostics Play(const std::string& ABytes) {
  TkwDiagnostics diag;
  TkwPDDocument doc;
  doc.SetDiagnostics(&diag);
  doc.LoadFromBytes(ABytes);
  TkwFailingDevice dev;
  dev.PlayForms = true;
  DisplayPage(doc, dev, 1, 72, 72, 0, true, false, false, true);
  return diag;
}

std::string Repeat(std::string_view AText, int ACount) {
  std::string s;
  for (int i = 0; i < ACount; ++i) s += AText;
  return s;
}

std::string Num(int AValue) { return std::to_string(AValue); }

// A page with F1 (Helvetica) and the given content.
std::string Page(std::string_view AContent) {
  TkwTestPdf p;
  const int f1 = p.AddFont();
  p.AddPage(AContent, {{"F1", f1}});
  return p.Save();
}

// A page whose content draws image Im of the given dictionary entries and data.
std::string ImagePage(std::string_view AEntries, std::string_view AData) {
  TkwTestPdf p;
  const int im = p.AddStream("/Type /XObject /Subtype /Image " + std::string(AEntries), AData);
  p.AddPage("q 10 0 0 10 0 0 cm /Im Do Q", {}, "/Resources << /XObject << /Im " + Num(im) + " 0 R >> >>");
  return p.Save();
}

// A page that draws a chain of ADepth forms, each drawing the next.
std::string FormChain(int ADepth) {
  TkwTestPdf p;
  int next = -1;
  for (int i = 0; i < ADepth; ++i) {
    const std::string res = next < 0 ? "" : "/Resources << /XObject << /Fm " + Num(next) + " 0 R >> >>";
    next = p.AddStream("/Type /XObject /Subtype /Form /BBox [0 0 10 10] " + res, next < 0 ? "0 0 m" : "/Fm Do");
  }
  p.AddPage("/Fm Do", {}, "/Resources << /XObject << /Fm " + Num(next) + " 0 R >> >>");
  return p.Save();
}

struct ToleranceCase {
  const char* Name;
  std::function<std::string()> Build;
  TkwDiagCode Code;
  int Count;
};

class Tolerance : public ::testing::TestWithParam<ToleranceCase> {};

TEST_P(Tolerance, TheRecoveryIsNoted) {
  const TkwDiagnostics diag = Play(GetParam().Build());
  EXPECT_EQ(diag.Count(GetParam().Code), GetParam().Count) << GetParam().Name;
}

using enum TkwDiagCode;

INSTANTIATE_TEST_SUITE_P(
    Reader, Tolerance,
    ::testing::Values(
        ToleranceCase{"clean_file", [] { return Page("BT /F1 12 Tf (A) Tj ET"); }, dcXRefRebuilt, 0},
        ToleranceCase{"xref_rebuilt",
                      [] {
                        TkwTestPdf p;
                        p.AddPage("0 0 m");
                        p.SetStartXRefText("999999\n");
                        return p.Save();
                      },
                      dcXRefRebuilt, 1},
        ToleranceCase{"xref_entry_off",
                      [] {
                        TkwTestPdf p;
                        const int page = p.AddPage("0 0 m");
                        p.ShiftXRefEntry(page, 7);
                        return p.Save();
                      },
                      dcBadXRefEntry, 1},
        ToleranceCase{"bytes_before_header",
                      [] {
                        TkwTestPdf p;
                        p.AddPage("0 0 m");
                        p.SetPrefix("mail gateway\n");
                        return p.Save();
                      },
                      dcHeaderOffset, 1},
        ToleranceCase{"text_after_startxref",
                      [] {
                        TkwTestPdf p;
                        p.AddPage("0 0 m");
                        (void)p.Save();
                        p.SetStartXRefText(Num(static_cast<int>(p.GetStartXRef())) + " %%EOF\n");
                        return p.Save();
                      },
                      dcStartXRefText, 1},
        ToleranceCase{"stream_length_wrong",
                      [] {
                        TkwTestPdf p;
                        const int c = p.AddObject("<< /Length 3 >>\nstream\n0 0 m 10 10 l S\nendstream");
                        p.AddPage("", {}, "/Contents " + Num(c) + " 0 R");
                        return p.Save();
                      },
                      dcStreamLengthWrong, 1},
        ToleranceCase{"stream_cut_by_end_of_file",
                      [] {
                        TkwTestPdf p;
                        p.AddFont();  // the catalog and page tree come first
                        const int c = p.GetNextNumber() + 1;  // after the page: last in the file
                        p.AddPage("", {}, "/Contents " + Num(c) + " 0 R");
                        p.AddStream("", Repeat("0 0 m 10 10 l S\n", 20));
                        std::string bytes = p.Save();
                        bytes.resize(bytes.find("stream", bytes.find(Num(c) + " 0 obj")) + 40);
                        return bytes;
                      },
                      dcStreamTruncated, 1},
        ToleranceCase{"object_unreadable",
                      [] {
                        TkwTestPdf p;
                        const int bad = p.AddObject(")");
                        p.AddPage("0 0 m", {}, "/Resources " + Num(bad) + " 0 R");
                        return p.Save();
                      },
                      dcBadObject, 1},
        ToleranceCase{"damaged_flate_data",
                      [] {
                        TkwTestPdf p;
                        const int c = p.AddStream("/Filter /FlateDecode", "this is no deflate data");
                        p.AddPage("", {}, "/Contents " + Num(c) + " 0 R");
                        return p.Save();
                      },
                      dcFilterError, 1},
        ToleranceCase{"clean_flate_data",
                      [] {
                        TkwTestPdf p;
                        const int c = p.AddStream("/Filter /FlateDecode", TkwTestPdf::Deflate("0 0 m 9 9 l S"));
                        p.AddPage("", {}, "/Contents " + Num(c) + " 0 R");
                        return p.Save();
                      },
                      dcFilterError, 0},
        ToleranceCase{"page_listed_twice_and_root_as_kid",
                      [] {
                        TkwTestPdf p;
                        p.SetAutoCatalog(false);
                        p.AddObject("<< /Type /Catalog /Pages 2 0 R >>");
                        p.AddObject("<< /Type /Pages /Kids [3 0 R 3 0 R 2 0 R] /Count 1 >>");
                        p.AddObject("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 10 10] >>");
                        p.SetRoot(1);
                        return p.Save();
                      },
                      dcPageTreeLoop, 2}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

INSTANTIATE_TEST_SUITE_P(
    Content, Tolerance,
    ::testing::Values(
        ToleranceCase{"unknown_operator", [] { return Page("1 2 foo 0 0 m"); }, dcUnknownOperator, 1},
        ToleranceCase{"unknown_operator_in_BX_EX", [] { return Page("BX 1 2 foo EX 0 0 m"); }, dcUnknownOperator, 0},
        // Operators are looked up by their bytes and length: names one byte off, one byte
        // short or one byte long are unknown, the operators themselves are known.
        ToleranceCase{"names_next_to_operators",
                      [] { return Page("0 0 m T r Tjx reX BDCX SCNx Bm q9 1 w"); }, dcUnknownOperator, 8},
        ToleranceCase{"operators_of_one_to_three_bytes",
                      [] {
                        return Page("q Q BT ET n W n W* n h /P BMC EMC /P << >> BDC EMC 0 0 m 1 1 l S 1 w 0 J 0 j "
                                    "1 M 0 i /R ri 1 0 0 1 0 0 cm 0 g 0 G 0 0 0 rg 0 0 0 RG 0 0 0 0 k 0 0 0 0 K "
                                    "0 0 5 5 re f* 0 0 1 1 1 1 c 0 0 1 1 v 0 0 1 1 y b* B* s f F");
                      },
                      dcUnknownOperator, 0},
        ToleranceCase{"operand_of_wrong_kind", [] { return Page("(x) w"); }, dcBadOperands, 1},
        ToleranceCase{"too_few_operands", [] { return Page("1 0 0 cm"); }, dcBadOperands, 1},
        ToleranceCase{"device_fails", [] { return Page("13 w 1 w"); }, dcBadOperator, 1},
        ToleranceCase{"font_not_in_resources", [] { return Page("BT /F9 12 Tf (A) Tj ET"); }, dcFontMissing, 1},
        ToleranceCase{"font_that_cannot_load",
                      [] {
                        TkwTestPdf p;
                        const int f = p.AddObject("<< /Type /Font /BaseFont /Helvetica >>");
                        p.AddPage("BT /F2 12 Tf (A) Tj ET", {{"F2", f}});
                        return p.Save();
                      },
                      dcFontBroken, 1},
        ToleranceCase{"font_that_cannot_load_is_not_missing",
                      [] {
                        TkwTestPdf p;
                        const int f = p.AddObject("<< /Type /Font /BaseFont /Helvetica >>");
                        p.AddPage("BT /F2 12 Tf (A) Tj ET", {{"F2", f}});
                        return p.Save();
                      },
                      dcFontMissing, 0},
        ToleranceCase{"cmap_not_found",
                      [] {
                        TkwTestPdf p;
                        const int f = p.AddObject(
                            "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /NoSuchCMap-H /DescendantFonts "
                            "[<< /Type /Font /Subtype /CIDFontType2 /BaseFont /X /CIDSystemInfo << /Registry (Adobe) "
                            "/Ordering (Japan1) /Supplement 0 >> >>] >>");
                        p.AddPage("BT /F2 12 Tf <0001> Tj ET", {{"F2", f}});
                        return p.Save();
                      },
                      dcCMapMissing, 1},
        ToleranceCase{"form_draws_itself",
                      [] {
                        TkwTestPdf p;
                        const int f = p.ReserveObject();
                        p.SetStream(f, "/Type /XObject /Subtype /Form /BBox [0 0 10 10] /Resources << /XObject << /Fm " +
                                           Num(f) + " 0 R >> >>",
                                    "/Fm Do");
                        p.AddPage("/Fm Do", {}, "/Resources << /XObject << /Fm " + Num(f) + " 0 R >> >>");
                        return p.Save();
                      },
                      dcFormLoop, 1},
        ToleranceCase{"image_over_the_size_limit",
                      [] {
                        return ImagePage("/Width " + Num(kMaxImageDimension + 1) +
                                             " /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray",
                                         "x");
                      },
                      dcImageTooLarge, 1},
        ToleranceCase{"image_at_the_size_limit",
                      [] {
                        return ImagePage("/Width " + Num(kMaxImageDimension) +
                                             " /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray",
                                         "x");
                      },
                      dcImageTooLarge, 0},
        ToleranceCase{"image_without_size",
                      [] { return ImagePage("/Width 0 /Height 1 /BitsPerComponent 8 /ColorSpace /DeviceGray", "x"); },
                      dcImageBroken, 1},
        ToleranceCase{"image_colour_space_unknown",
                      [] { return ImagePage("/Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace [/Foo 1]", "x"); },
                      dcColorSpaceBroken, 1},
        ToleranceCase{"image_colour_space_not_in_resources",
                      [] { return ImagePage("/Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace /CS7", "x"); },
                      dcColorSpaceBroken, 1},
        ToleranceCase{"separation_without_function",
                      [] {
                        return ImagePage(
                            "/Width 1 /Height 1 /BitsPerComponent 8 /ColorSpace [/Separation /Spot /DeviceGray 5]",
                            "x");
                      },
                      dcFunctionBroken, 1}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

INSTANTIATE_TEST_SUITE_P(
    Caps, Tolerance,
    ::testing::Values(
        ToleranceCase{"errors_at_the_cap", [] { return Page(Repeat("13 w ", kMaxSyntaxErrorsPerPage)); },
                      dcTooManyErrors, 0},
        ToleranceCase{"errors_past_the_cap", [] { return Page(Repeat("13 w ", kMaxSyntaxErrorsPerPage + 1)); },
                      dcTooManyErrors, 1},
        ToleranceCase{"operands_at_the_cap", [] { return Page(Repeat("1 ", kMaxOperands) + "n"); }, dcLimitReached, 0},
        ToleranceCase{"operands_past_the_cap", [] { return Page(Repeat("1 ", kMaxOperands + 1) + "n"); },
                      dcLimitReached, 1},
        // The stack holds the page's own state and kMaxStateDepth - 1 saved ones.
        ToleranceCase{"q_at_the_cap", [] { return Page(Repeat("q ", kMaxStateDepth - 1)); }, dcLimitReached, 0},
        ToleranceCase{"q_past_the_cap", [] { return Page(Repeat("q ", kMaxStateDepth)); }, dcLimitReached, 1},
        ToleranceCase{"forms_at_the_cap", [] { return FormChain(kMaxFormDepth); }, dcLimitReached, 0},
        ToleranceCase{"forms_past_the_cap", [] { return FormChain(kMaxFormDepth + 1); }, dcLimitReached, 1},
        ToleranceCase{"arrays_at_the_cap",
                      [] {
                        TkwTestPdf p;
                        const int r = p.AddObject("<< /Deep " + Repeat("[", kMaxObjectDepth - 1) +
                                                  Repeat("]", kMaxObjectDepth - 1) + " >>");
                        p.AddPage("0 0 m", {}, "/Resources " + Num(r) + " 0 R");
                        return p.Save();
                      },
                      dcLimitReached, 0},
        ToleranceCase{"arrays_past_the_cap",
                      [] {
                        TkwTestPdf p;
                        const int r = p.AddObject("<< /Deep " + Repeat("[", kMaxObjectDepth) +
                                                  Repeat("]", kMaxObjectDepth) + " >>");
                        p.AddPage("0 0 m", {}, "/Resources " + Num(r) + " 0 R");
                        return p.Save();
                      },
                      dcLimitReached, 1}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

// ---- Caps whose cut shows in what the page draws

// AData run-length encoded as literal runs.
std::string RunLength(const std::string& AData) {
  std::string out;
  for (std::size_t i = 0; i < AData.size(); i += 128) {
    const std::string run = AData.substr(i, 128);
    out += static_cast<char>(run.size() - 1);
    out += run;
  }
  return out + '\x80';
}

// A page whose content draws one stroke, through ACount filters: run-length ones and,
// last, ASCIIHex (whose undecoded bytes draw nothing).
std::string Filtered(int ACount) {
  std::string data;
  for (const char c : std::string("0 0 m 10 10 l S")) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    data += kHex[static_cast<unsigned char>(c) >> 4];
    data += kHex[c & 15];
  }
  data += '>';
  std::string filters = "/AHx";
  for (int i = 1; i < ACount; ++i) {
    data = RunLength(data);
    filters = "/RL " + filters;
  }
  TkwTestPdf p;
  const int c = p.AddStream("/Filter [" + filters + "]", data);
  p.AddPage("", {}, "/Contents " + Num(c) + " 0 R");
  return p.Save();
}

// An inline image of AEntries dictionary entries (the size and colour entries among them).
std::string InlineImage(int AEntries) {
  return Page("BI /W 1 /H 1 /BPC 8 /CS /G " + Repeat("/X 1 ", AEntries - 4) + "ID x EI");
}

struct DrawnCase {
  const char* Name;
  std::function<std::string()> Build;
  const char* Line;  // a trace line
  bool Drawn;
};

class CapEdges : public ::testing::TestWithParam<DrawnCase> {};

TEST_P(CapEdges, ReachingTheCapDrawsAndPassingItDoesNot) {
  TkwPDDocument doc;
  doc.LoadFromBytes(GetParam().Build());
  TkwTraceDevice dev;
  DisplayPage(doc, dev, 1, 72, 72, 0, true, false, false, true);
  EXPECT_EQ(!dev.Grep(GetParam().Line).empty(), GetParam().Drawn) << GetParam().Name;
}

INSTANTIATE_TEST_SUITE_P(
    Caps, CapEdges,
    ::testing::Values(DrawnCase{"filters_at_cap", [] { return Filtered(kMaxFilters); }, "Stroke", true},
                      DrawnCase{"filters_past_cap", [] { return Filtered(kMaxFilters + 1); }, "Stroke", false},
                      // The entry count includes the ID that ends the dictionary.
                      DrawnCase{"inline_image_at_cap", [] { return InlineImage(kMaxInlineImageEntries - 1); },
                                "DrawImage", true},
                      DrawnCase{"inline_image_past_cap", [] { return InlineImage(kMaxInlineImageEntries); },
                                "DrawImage", false}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

// A page tree of ADepth nested Pages nodes around one page.
std::string DeepTree(int ADepth) {
  TkwTestPdf p;
  p.SetAutoCatalog(false);
  p.AddObject("<< /Type /Catalog /Pages 2 0 R >>");
  for (int i = 0; i < ADepth; ++i) {
    const int self = i + 2;
    p.AddObject("<< /Type /Pages /Kids [" + Num(self + 1) + " 0 R] /Count 1 >>");
  }
  p.AddObject("<< /Type /Page /MediaBox [0 0 10 10] >>");
  p.SetRoot(1);
  return p.Save();
}

// ASections cross-reference sections, each an update of one object; the last one adds
// the document, so that only that object is lost with the sections past the cap.
std::string ManySections(int ASections) {
  TkwTestPdf p;
  p.SetAutoCatalog(false);
  const int n = p.AddObject("0");
  for (int i = 1; i < ASections; ++i) {
    p.BeginUpdate();
    p.SetObject(n, Num(i));
  }
  const int root = p.AddObject("<< /Type /Catalog /Pages " + Num(n + 2) + " 0 R >>");
  p.AddObject("<< /Type /Pages /Kids [" + Num(n + 3) + " 0 R] /Count 1 >>");
  p.AddObject("<< /Type /Page /MediaBox [0 0 10 10] >>");
  p.SetRoot(root);
  return p.Save();
}

INSTANTIATE_TEST_SUITE_P(
    Structure, Tolerance,
    ::testing::Values(
        // The root is depth 0: nodes down to depth kMaxPageTreeDepth - 1 are read.
        ToleranceCase{"page_tree_at_cap", [] { return DeepTree(kMaxPageTreeDepth); }, dcPageTreeCut, 0},
        ToleranceCase{"page_tree_past_cap", [] { return DeepTree(kMaxPageTreeDepth + 1); }, dcPageTreeCut, 1},
        ToleranceCase{"sections_at_cap", [] { return ManySections(kMaxXRefSections); }, dcLimitReached, 0},
        ToleranceCase{"sections_past_cap", [] { return ManySections(kMaxXRefSections + 1); }, dcLimitReached, 1}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

}  // namespace
}  // namespace qm
