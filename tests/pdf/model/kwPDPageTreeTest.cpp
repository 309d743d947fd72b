#include "pdf/model/kwPDPageTree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "base/Limits.h"
#include "base/kwDiagnostics.h"
#include "pdf/core/kwPDDocument.h"
#include "pdf/model/kwPDPage.h"
#include "tests/support/pdf/TestPdf.h"

namespace qm {
namespace {

// A file whose catalog is 1 and whose objects are given in order from 2 on.
std::string HandTree(const std::vector<std::string>& AObjects) {
  TkwTestPdf pdf;
  pdf.SetAutoCatalog(false);
  pdf.AddObject("<< /Type /Catalog /Pages 2 0 R >>");
  for (const auto& body : AObjects) pdf.AddObject(body);
  pdf.SetRoot(1);
  return pdf.Save();
}

std::unique_ptr<TkwPDDocument> Open(const std::string& ABytes) {
  auto doc = std::make_unique<TkwPDDocument>();
  doc->LoadFromBytes(ABytes, true);
  return doc;
}

int PageObj(TkwPDPage* APage) { return APage ? static_cast<int>(APage->GetPageDict()->GetObjNumber()) : -1; }

TEST(PageTree, PageListedTwiceIsFoundOnce) {
  auto doc = Open(HandTree({"<< /Type /Pages /Kids [3 0 R 3 0 R 4 0 R] /Count 3 >>",
                            "<< /Type /Page /Parent 2 0 R >>", "<< /Type /Page /Parent 2 0 R >>"}));
  TkwPDPageTree* tree = doc->GetCatalog()->GetPageTree();
  EXPECT_EQ(tree->GetFoundCount(), 2);
  EXPECT_EQ(PageObj(tree->GetPage(1)), 3);
  EXPECT_EQ(PageObj(tree->GetPage(2)), 4);
  EXPECT_EQ(tree->GetPage(1)->GetPageNum(), 1);
}

TEST(PageTree, NodeListingItsParentDoesNotLoop) {
  auto doc = Open(HandTree({"<< /Type /Pages /Kids [3 0 R] /Count 2 >>",
                            "<< /Type /Pages /Parent 2 0 R /Kids [2 0 R 4 0 R 3 0 R] /Count 1 >>",
                            "<< /Type /Page /Parent 3 0 R >>"}));
  EXPECT_EQ(doc->GetCatalog()->GetPageTree()->GetFoundCount(), 1);
}

std::unique_ptr<TkwPDDocument> Open(const std::string& ABytes, TkwDiagnostics& ADiag) {
  auto doc = std::make_unique<TkwPDDocument>();
  doc->SetDiagnostics(&ADiag);
  doc->LoadFromBytes(ABytes, true);
  return doc;
}

TEST(PageTree, DeepTreeIsCutAtTheDepthLimitAndSaysSo) {
  std::vector<std::string> objects;
  const int depth = kMaxPageTreeDepth + 20;
  for (int i = 0; i < depth; ++i) {
    objects.push_back("<< /Type /Pages /Kids [" + std::to_string(i + 3) + " 0 R] /Count 1 >>");
  }
  objects.push_back("<< /Type /Page >>");
  TkwDiagnostics diag;
  auto doc = Open(HandTree(objects), diag);
  // The walk gives nothing, so the page is taken from the file.
  EXPECT_EQ(doc->GetCatalog()->GetPageTree()->GetFoundCount(), 1);
  EXPECT_EQ(PageObj(doc->GetPage(1)), depth + 2);
  EXPECT_EQ(diag.Count(TkwDiagCode::dcPageTreeCut), 1);
  EXPECT_EQ(diag.Count(TkwDiagCode::dcPagesByScan), 1);
}

// A Kids array of more entries than the walk visits: the pages before the cap are the
// document, the cut is noted, and the walk ends quickly.
TEST(PageTree, TreePastTheNodeCapKeepsThePagesReadAndSaysSo) {
  std::string kids = "3 0 R ";
  kids.reserve(static_cast<std::size_t>(kMaxPageTreeNodes) * 5 + 64);
  for (std::int64_t i = 0; i < kMaxPageTreeNodes; ++i) kids += "null ";
  kids += "4 0 R";
  TkwDiagnostics diag;
  const auto start = std::chrono::steady_clock::now();
  auto doc = Open(HandTree({"<< /Type /Pages /Kids [" + kids + "] /Count 2 >>", "<< /Type /Page /Parent 2 0 R >>",
                            "<< /Type /Page /Parent 2 0 R >>"}),
                  diag);
  EXPECT_EQ(doc->GetPageCount(), 1);
  EXPECT_EQ(PageObj(doc->GetPage(1)), 3);
  EXPECT_EQ(diag.Count(TkwDiagCode::dcPageTreeCut), 1);
  EXPECT_EQ(diag.Count(TkwDiagCode::dcPagesByScan), 0);
#ifdef NDEBUG
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);
#else
  (void)start;
#endif
}

struct TkwIndexCase {
  int Index;
  int Expected;  // page object number, -1 for none
};

class CountIsOnlyAHint : public ::testing::TestWithParam<TkwIndexCase> {};

TEST_P(CountIsOnlyAHint, ThePagesAreTheLeavesFound) {
  // Count 10, four pages (objects 3..6).
  auto doc = Open(HandTree({"<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R 6 0 R] /Count 10 >>", "<< /Type /Page >>",
                            "<< /Type /Page >>", "<< /Type /Page >>", "<< /Type /Page >>"}));
  EXPECT_EQ(doc->GetPageCount(), 4);
  EXPECT_EQ(PageObj(doc->GetPage(GetParam().Index)), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Indexes, CountIsOnlyAHint,
                         ::testing::Values(TkwIndexCase{0, -1}, TkwIndexCase{-3, -1}, TkwIndexCase{1, 3},
                                           TkwIndexCase{4, 6}, TkwIndexCase{5, -1}, TkwIndexCase{10, -1}));

TEST(PageTree, HugeCountWithOnePageIsOnePage) {
  auto doc = Open(HandTree({"<< /Type /Pages /Kids [3 0 R] /Count 2147483647 >>", "<< /Type /Page >>"}));
  EXPECT_EQ(doc->GetPageCount(), 1);
}

struct TScanCase {
  const char* Name;
  const char* Catalog;
  const char* Pages;  // object 2
  int Found;
};

class PagesInFileOrder : public ::testing::TestWithParam<TScanCase> {};

// Pages 3, 4 and 5 stand in the file in that order, each naming node 2 as Parent, from
// which they inherit the media box.
TEST_P(PagesInFileOrder, AreCollectedWhenTheTreeGivesNone) {
  TkwTestPdf pdf;
  pdf.SetAutoCatalog(false);
  pdf.AddObject(GetParam().Catalog);
  pdf.AddObject(GetParam().Pages);
  for (int i = 0; i < 3; ++i) pdf.AddObject("<< /Type /Page /Parent 2 0 R >>");
  pdf.SetRoot(1);
  TkwDiagnostics diag;
  auto doc = Open(pdf.Save(), diag);
  ASSERT_EQ(doc->GetPageCount(), GetParam().Found);
  for (int i = 1; i <= GetParam().Found; ++i) EXPECT_EQ(PageObj(doc->GetPage(i)), i + 2);
  EXPECT_EQ(diag.Count(TkwDiagCode::dcPagesByScan), GetParam().Found > 0 ? 1 : 0);
  if (GetParam().Pages[0] == '<') {
    const TkwPDRect* box = doc->GetPage(1)->GetMediabox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->GetRight(), 500);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Trees, PagesInFileOrder,
    ::testing::Values(
        TScanCase{"EmptyKids", "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] /MediaBox [0 0 500 700] >>", 3},
        TScanCase{"KidsMissing", "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /MediaBox [0 0 500 700] >>", 3},
        TScanCase{"PagesNotADictionary", "<< /Type /Catalog /Pages 2 0 R >>", "[ /MediaBox [0 0 500 700] ]", 3},
        TScanCase{"CatalogWithoutPages", "<< /Type /Catalog >>", "<< /Type /Pages /MediaBox [0 0 500 700] >>", 3}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(PageTree, CountThatIsNotAnIntegerCountsThePagesFound) {
  for (const char* count : {"", "/Count /Three", "/Count 2.5"}) {
    auto doc = Open(HandTree({"<< /Type /Pages /Kids [3 0 R 4 0 R] " + std::string(count) + " >>",
                              "<< /Type /Page >>", "<< /Type /Page >>"}));
    EXPECT_EQ(doc->GetPageCount(), 2) << count;
  }
}

TEST(PageTree, KidsThatIsNotAnArrayEndsTheWalk) {
  auto doc = Open(HandTree({"<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>", "<< /Type /Page >>",
                            "<< /Type /Pages /Kids 7 >>", "<< /Type /Page >>"}));
  EXPECT_EQ(doc->GetCatalog()->GetPageTree()->GetFoundCount(), 1);
}

TEST(PageTree, KidsOfOtherTypesAreIgnoredAndRefsFound) {
  auto doc = Open(HandTree({"<< /Type /Pages /Kids [3 0 R 4 0 R 99 0 R 5 0 R] /Count 2 >>", "<< /Type /Page >>",
                            "<< /Type /Font >>", "<< /Type /Page >>"}));
  EXPECT_EQ(doc->GetCatalog()->GetPageTree()->GetFoundCount(), 2);
  EXPECT_EQ(PageObj(doc->GetPageByIndRef(TkwPDIndirectRef(5, 7))), 5);
  EXPECT_EQ(doc->GetPageByIndRef(TkwPDIndirectRef(4, 0)), nullptr);
}

// ---- Inherited attributes ----------------------------------------------------------------

TEST(Page, NearestNodeGivesTheInheritedAttributes) {
  auto doc = Open(HandTree({"<< /Type /Pages /Kids [3 0 R] /Count 2 /MediaBox [0 0 595 842] /Rotate 180 >>",
                            "<< /Type /Pages /Parent 2 0 R /Kids [4 0 R 5 0 R] /MediaBox [0 0 612 792] /Rotate 90 "
                            "/Resources << /Font << >> >> >>",
                            "<< /Type /Page /Parent 3 0 R >>",
                            "<< /Type /Page /Parent 3 0 R /MediaBox [0 0 100 200] /Rotate /Bad /CropBox [10 10 50 60] >>"}));
  TkwPDPage* inherited = doc->GetPage(1);
  ASSERT_NE(inherited, nullptr);
  const TkwPDRect* box = inherited->GetMediabox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->GetRight(), 612);
  EXPECT_TRUE(inherited->GetIsInheritedMediaBox());
  EXPECT_EQ(inherited->GetCropbox(), nullptr);
  EXPECT_EQ(inherited->GetRotate(), 90);
  EXPECT_EQ(inherited->GetEffectiveRotation(270), 0);
  EXPECT_NE(inherited->GetResource(), nullptr);

  TkwPDPage* own = doc->GetPage(2);
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->GetMediabox()->GetRight(), 100);
  EXPECT_FALSE(own->GetIsInheritedMediaBox());
  EXPECT_EQ(own->GetRotate(), 0);  // a Rotate of another type
  EXPECT_EQ(own->GetPageSize().Width, 40);
  EXPECT_EQ(own->GetPageSize().Height, 50);
  EXPECT_EQ(own->GetResource(), inherited->GetResource());  // shared wrapper
}

struct TkwRotationCase {
  int Page;
  int Requested;
  int Effective;
};

class Rotations : public ::testing::TestWithParam<TkwRotationCase> {};

TEST_P(Rotations, AreBroughtIntoOneTurn) {
  TkwTestPdf pdf;
  pdf.AddPage("", {}, "/Rotate " + std::to_string(GetParam().Page));
  auto doc = Open(pdf.Save());
  EXPECT_EQ(doc->GetPage(1)->GetEffectiveRotation(GetParam().Requested), GetParam().Effective);
}

INSTANTIATE_TEST_SUITE_P(Cases, Rotations,
                         ::testing::Values(TkwRotationCase{180, 270, 90}, TkwRotationCase{90, 0, 90},
                                           TkwRotationCase{-90, 0, 270}, TkwRotationCase{450, 0, 90},
                                           TkwRotationCase{1080, 90, 90}));

TEST(Page, BoxesAndSize) {
  TkwTestPdf pdf;
  pdf.AddPage("", {}, "/MediaBox [0 792 612 0]");
  pdf.AddPage("", {}, "/CropBox 5");
  pdf.AddPage("", {}, "/MediaBox [0 0 300.5 /x] /TrimBox [1 2 3 4]");
  auto doc = Open(pdf.Save());
  const TkwPageSize size = doc->GetPage(1)->GetPageSize();
  EXPECT_EQ(size.Width, 612);
  EXPECT_EQ(size.Height, 792);
  EXPECT_THROW((void)doc->GetPage(2)->GetCropbox(), ExBadPage);
  TkwPDPage* third = doc->GetPage(3);
  EXPECT_EQ(third->GetMediabox()->GetRight(), 300.5);
  EXPECT_EQ(third->GetMediabox()->GetBottom(), 0);
  EXPECT_EQ(third->GetTrimBox()->GetBottom(), 4);
  EXPECT_EQ(third->GetBleedbox(), nullptr);
  EXPECT_EQ(third->GetDisplayBox(false)->GetRight(), 300.5);
}

TEST(Page, ContentStreamsInOrder) {
  TkwTestPdf pdf;
  const int c1 = pdf.AddStream("", "(one)");
  const int c2 = pdf.AddStream("", "(two)");
  pdf.AddPage("", {}, "/Contents [" + std::to_string(c1) + " 0 R 77 0 R 5 " + std::to_string(c2) + " 0 R]");
  pdf.AddPage("", {}, "/Contents 5");
  auto doc = Open(pdf.Save());
  const auto& contents = doc->GetPage(1)->GetContents();
  ASSERT_EQ(contents.size(), 2U);
  EXPECT_EQ(contents[0]->ReadAll(), "(one)");
  EXPECT_EQ(contents[1]->ReadAll(), "(two)");
  EXPECT_FALSE(doc->GetPage(2)->HasContents());
}

TEST(Page, FreeResourcesLooksUpAgain) {
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  auto doc = Open(pdf.Save());
  TkwPDPage* page = doc->GetPage(1);
  ASSERT_EQ(page->GetContents().size(), 1U);
  page->FreeResources();
  EXPECT_EQ(page->GetContents().size(), 1U);
  EXPECT_EQ(page->GetContents()[0]->ReadAll(), "BT ET");
}

// ---- Speed ------------------------------------------------------------------------------------

TEST(PageTree, ThousandPagesOpenAndWalkQuickly) {
  TkwTestPdf pdf;
  const int font = pdf.AddFont();
  for (int i = 0; i < 1000; ++i) {
    pdf.AddPage("BT /F1 12 Tf 72 720 Td (Page " + std::to_string(i + 1) + ") Tj ET", {{"F1", font}});
  }
  const std::string bytes = pdf.Save();
  const auto start = std::chrono::steady_clock::now();
  TkwPDDocument doc;
  doc.LoadFromBytes(bytes);
  ASSERT_EQ(doc.GetPageCount(), 1000);
  std::size_t total = 0;
  for (int i = 1; i <= 1000; ++i) {
    TkwPDPage* page = doc.GetPage(i);
    ASSERT_NE(page, nullptr);
    (void)page->GetMediabox();
    (void)page->GetResource();
    for (TkwPDStream* s : page->GetContents()) total += s->ReadAll().size();
  }
  const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  RecordProperty("milliseconds", std::to_string(ms));
  EXPECT_GT(total, 1000U * 30);
  // Generous even for sanitizer builds; a release build takes a few milliseconds.
  EXPECT_LT(ms, 5000.0);
}

}  // namespace
}  // namespace qm
