#include "pdf/core/kwPDXRef.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <regex>
#include <tuple>
#include <string>
#include <thread>

#include <unistd.h>

#include "pdf/core/kwPDBaseDoc.h"
#include "pdf/core/kwPDDocument.h"
#include "tests/support/pdf/TestPdf.h"

namespace qm {
namespace {

using TkwXRefForm = TkwTestPdf::TkwXRefForm;

std::unique_ptr<TkwPDBaseDoc> Load(const std::string& ABytes, bool ARepair = false) {
  auto doc = std::make_unique<TkwPDBaseDoc>();
  doc->LoadDocument(TkwRef<TkwBaseStream>(TkwMemoryStream::FromString(ABytes)), "", ARepair);
  return doc;
}

// The integer value of object ANum, or -1 when it is absent or of another kind.
int IntObject(TkwPDBaseDoc& ADoc, std::uint32_t ANum) {
  const TkwPDBaseObject* obj = ADoc.GetObject(ANum);
  return obj != nullptr && obj->IsInteger() ? static_cast<const TkwPDInteger*>(obj)->GetValue() : -1;
}

std::string Replace(std::string AText, std::string_view AFrom, std::string_view ATo) {
  const std::size_t at = AText.find(AFrom);
  if (at != std::string::npos) AText.replace(at, AFrom.size(), ATo);
  return AText;
}

// ---- Every form of cross-reference data reads the same objects ----------------------

struct TkwFormCase {
  const char* Name;
  std::function<void(TkwTestPdf&)> Setup;
};

class XRefForms : public ::testing::TestWithParam<TkwFormCase> {};

TEST_P(XRefForms, ReadObjectsAndTrailer) {
  TkwTestPdf pdf;
  GetParam().Setup(pdf);
  const int a = pdf.AddObject("41");
  const int b = pdf.AddObject("<< /Name (text) /Ref 3 0 R >>");
  pdf.AddPage("BT ET");
  auto doc = Load(pdf.Save());
  EXPECT_EQ(IntObject(*doc, static_cast<std::uint32_t>(a)), 41);
  const TkwPDBaseObject* dict = doc->GetObject(static_cast<std::uint32_t>(b));
  ASSERT_NE(dict, nullptr);
  ASSERT_TRUE(dict->IsDict());
  EXPECT_EQ(static_cast<const TkwPDDictionary*>(dict)->LookUpInt("Ref"), 41);
  EXPECT_EQ(dict->GetObjNumber(), static_cast<std::uint32_t>(b));
  EXPECT_NE(doc->GetDocRoot(), nullptr);
  EXPECT_FALSE(doc->GetRepaired());
}

INSTANTIATE_TEST_SUITE_P(
    Forms, XRefForms,
    ::testing::Values(TkwFormCase{"Table", [](TkwTestPdf&) {}},
                      TkwFormCase{"Stream", [](TkwTestPdf& P) { P.SetXRefForm(TkwXRefForm::xfStream); }},
                      TkwFormCase{"ObjectStreams", [](TkwTestPdf& P) { P.SetObjectStreams(true); }}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

// ---- Incremental updates ---------------------------------------------------------------

class Updates : public ::testing::TestWithParam<TkwXRefForm> {};

TEST_P(Updates, NewestSectionWinsAndOnlyItsTrailerCounts) {
  TkwTestPdf pdf;
  pdf.SetXRefForm(GetParam());
  const int kept = pdf.AddObject("1");
  const int changed = pdf.AddObject("2");
  pdf.AddPage("BT ET");
  pdf.SetTrailerExtra("/OldKey 7");
  pdf.BeginUpdate();
  pdf.SetObject(changed, "20");
  const int added = pdf.AddObject("30");
  auto doc = Load(pdf.Save());
  EXPECT_EQ(IntObject(*doc, static_cast<std::uint32_t>(kept)), 1);
  EXPECT_EQ(IntObject(*doc, static_cast<std::uint32_t>(changed)), 20);
  EXPECT_EQ(IntObject(*doc, static_cast<std::uint32_t>(added)), 30);
  EXPECT_EQ(doc->GetTrailer()->LookupRefObj("OldKey"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Forms, Updates, ::testing::Values(TkwXRefForm::xfTable, TkwXRefForm::xfStream));

// ---- Hand-written files ----------------------------------------------------------------

// Objects "1 0 obj ... endobj" for each body, a table over offsets of AOffsets (in
// order), a trailer and startxref. Offsets are computed from the text.
struct TkwHandFile {
  std::string Text = "%PDF-1.4\n";
  std::vector<std::int64_t> Offsets;
  std::int64_t Add(int ANum, std::string_view ABody, int AGen = 0) {
    const auto at = static_cast<std::int64_t>(Text.size());
    Text += std::to_string(ANum) + " " + std::to_string(AGen) + " obj\n" + std::string(ABody) + "\nendobj\n";
    Offsets.push_back(at);
    return at;
  }
  static std::string Entry(std::int64_t AOffset, int AGen = 0, char AKind = 'n') {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%010lld %05d %c\r\n", static_cast<long long>(AOffset), AGen, AKind);
    return buf;
  }
};

TEST(XRef, StartObjectNumberOfLastSubsectionShiftsLookups) {
  // Subsections "0 3" and "5 4": every lookup of N uses entry N + 5.
  TkwHandFile f;
  const auto o1 = f.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  const auto o2 = f.Add(2, "<< /Type /Pages /Kids [] /Count 0 >>");
  const auto o5 = f.Add(5, "55");
  const auto o6 = f.Add(6, "66");
  const auto xref = static_cast<std::int64_t>(f.Text.size());
  f.Text += "xref\n0 3\n" + TkwHandFile::Entry(0, 65535, 'f') + TkwHandFile::Entry(o1) + TkwHandFile::Entry(o2) +
            "5 4\n" + TkwHandFile::Entry(o5) + TkwHandFile::Entry(o6) + TkwHandFile::Entry(0, 0, 'f') +
            TkwHandFile::Entry(0, 0, 'f') + "trailer\n<< /Size 9 /Root 1 0 R >>\nstartxref\n" +
            std::to_string(xref) + "\n%%EOF\n";
  TkwPDXRef table(nullptr, TkwRef<TkwBaseStream>(TkwMemoryStream::FromString(f.Text)));
  EXPECT_TRUE(table.GenerateTable());
  EXPECT_EQ(table.GetStartObjectNumber(), 5U);
  EXPECT_EQ(table.GetLastObjectNumber(), 8U);
  TkwFetchStatus status;
  auto zero = table.Fetch(0, &status);  // entry 5, the header of object 5
  EXPECT_TRUE(zero->IsError());
  EXPECT_EQ(status, TkwFetchStatus::fsBadHeader);

  // Without repair the catalog (object 1 at entry 6) cannot be found; with it, it can.
  EXPECT_THROW(Load(f.Text, false)->GetDocRoot(), ExBadRootObj);
  auto repaired = Load(f.Text, true);
  EXPECT_NE(repaired->GetDocRoot(), nullptr);
  EXPECT_EQ(IntObject(*repaired, 6), 66);
  EXPECT_TRUE(repaired->GetRepaired());
}

TEST(XRef, HybridFileTableFreeEntryWinsOverStream) {
  // The table marks object 4 free; its XRefStm lists it as compressed in object stream 5.
  TkwHandFile f;
  const auto o1 = f.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  const auto o2 = f.Add(2, "<< /Type /Pages /Kids [] /Count 0 >>");
  const auto o3 = f.Add(3, "33");
  const std::string objData = "4 0 6 3 44 66";
  const auto o5 = f.Add(5, "<< /Type /ObjStm /N 2 /First 8 /Length " + std::to_string(objData.size()) +
                               " >>\nstream\n" + objData + "\nendstream");
  std::string rows;
  const auto row = [&rows](int AType, std::int64_t AField2, int AField3) {
    rows.push_back(static_cast<char>(AType));
    for (int i = 3; i >= 0; --i) rows.push_back(static_cast<char>((AField2 >> (8 * i)) & 0xFF));
    rows.push_back(static_cast<char>(AField3 >> 8));
    rows.push_back(static_cast<char>(AField3 & 0xFF));
  };
  row(2, 5, 0);  // object 4
  row(1, o5, 0);  // object 5
  row(2, 5, 1);  // object 6
  const auto stm = static_cast<std::int64_t>(f.Text.size());
  f.Text += "7 0 obj\n<< /Type /XRef /Size 8 /W [1 4 2] /Index [4 3] /Length " + std::to_string(rows.size()) +
            " >>\nstream\n" + rows + "\nendstream\nendobj\n";
  const auto xref = static_cast<std::int64_t>(f.Text.size());
  f.Text += "xref\n0 5\n" + TkwHandFile::Entry(0, 65535, 'f') + TkwHandFile::Entry(o1) + TkwHandFile::Entry(o2) +
            TkwHandFile::Entry(o3) + TkwHandFile::Entry(0, 1, 'f') + "trailer\n<< /Size 8 /Root 1 0 R /XRefStm " +
            std::to_string(stm) + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  auto doc = Load(f.Text);
  EXPECT_EQ(IntObject(*doc, 3), 33);
  EXPECT_EQ(IntObject(*doc, 4), -1);  // free in the table
  EXPECT_EQ(IntObject(*doc, 6), 66);  // only in the stream
}

TEST(XRef, GenerationMismatchIsAbsentWithoutRepair) {
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  const int n = pdf.AddObject("7");
  std::string bytes = pdf.Save();
  const std::string header = std::to_string(n) + " 0 obj";
  bytes = Replace(bytes, header, std::to_string(n) + " 1 obj");
  EXPECT_EQ(IntObject(*Load(bytes, false), static_cast<std::uint32_t>(n)), -1);
  EXPECT_EQ(IntObject(*Load(bytes, true), static_cast<std::uint32_t>(n)), 7);
}

TEST(XRef, ReferenceGenerationPlaysNoPart) {
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  const int n = pdf.AddObject("12");
  const int holder = pdf.AddObject("<< /R " + std::to_string(n) + " 3 R >>");
  auto doc = Load(pdf.Save());
  auto* dict = static_cast<TkwPDDictionary*>(doc->GetObject(static_cast<std::uint32_t>(holder)));
  ASSERT_NE(dict, nullptr);
  EXPECT_EQ(dict->LookUpInt("R"), 12);
}

struct TkwStartXRefCase {
  const char* Name;
  const char* Text;  // what follows "startxref"
  bool Opens;
};

class StartXRefText : public ::testing::TestWithParam<TkwStartXRefCase> {};

TEST_P(StartXRefText, LeadingIntegerIsTheOffset) {
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  (void)pdf.Save();
  std::string text = GetParam().Text;
  const std::size_t at = text.find("@");
  if (at != std::string::npos) text.replace(at, 1, std::to_string(pdf.GetStartXRef()));
  pdf.SetStartXRefText(text);
  pdf.OmitEOF();
  const std::string bytes = pdf.Save();
  if (GetParam().Opens) {
    EXPECT_NE(Load(bytes)->GetDocRoot(), nullptr);
  } else {
    EXPECT_THROW(Load(bytes), ExStartXrefNotFound);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartXRefText,
    ::testing::Values(TkwStartXRefCase{"BlankLinesAround", "\n\n\r\n@ \n%%EOF\n", true},
                      TkwStartXRefCase{"EofOnSameLine", "@ %%EOF\n", true},
                      TkwStartXRefCase{"TextOnSameLine", "@ trailing words\n%%EOF\n", true},
                      TkwStartXRefCase{"Zero", "0\n%%EOF\n", false},
                      TkwStartXRefCase{"NotANumber", "abc\n%%EOF\n", false},
                      TkwStartXRefCase{"Missing", "", false}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(XRef, StartXRefWordIsFoundOutsideTheLastKilobyte) {
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  pdf.SetSuffix("%" + std::string(3000, 'x') + "\n");
  EXPECT_NE(Load(pdf.Save())->GetDocRoot(), nullptr);
}

TEST(XRef, PrevChainThatLoopsEnds) {
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  (void)pdf.Save();
  const std::int64_t xref = pdf.GetStartXRef();
  pdf.SetTrailerExtra("/Prev " + std::to_string(xref));
  auto doc = Load(pdf.Save());
  EXPECT_NE(doc->GetDocRoot(), nullptr);
}

TEST(XRef, XRefStmThatPointsBackAtItsTableEnds) {
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  (void)pdf.Save();
  pdf.SetTrailerExtra("/XRefStm " + std::to_string(pdf.GetStartXRef()));
  EXPECT_NE(Load(pdf.Save())->GetDocRoot(), nullptr);
}

TEST(XRef, BytesBeforeHeaderAreCompensated) {
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  const int n = pdf.AddObject("99");
  pdf.SetPrefix("Content-Type: application/pdf\r\n\r\n");
  auto doc = Load(pdf.Save());
  EXPECT_EQ(IntObject(*doc, static_cast<std::uint32_t>(n)), 99);
  EXPECT_EQ(doc->GetHeaderOffset(), 33);
  EXPECT_FALSE(doc->GetRepaired());
}

TEST(XRef, PrefixWithAbsoluteOffsetsStillOpens) {
  // A file whose offsets already count the bytes before its header.
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  const int n = pdf.AddObject("5");
  const std::string plain = pdf.Save();
  const std::string prefix = "junk\n";
  const std::int64_t shift = static_cast<std::int64_t>(prefix.size());
  const std::regex entry("([0-9]{10}) ([0-9]{5}) n");
  std::string text;
  auto it = std::sregex_iterator(plain.begin(), plain.end(), entry);
  std::size_t last = 0;
  for (; it != std::sregex_iterator(); ++it) {
    text += plain.substr(last, static_cast<std::size_t>(it->position()) - last);
    text += TkwHandFile::Entry(std::stoll((*it)[1]) + shift, std::stoi((*it)[2])).substr(0, 18);
    last = static_cast<std::size_t>(it->position() + it->length());
  }
  text += plain.substr(last);
  text = Replace(text, "startxref\n" + std::to_string(pdf.GetStartXRef()),
                 "startxref\n" + std::to_string(pdf.GetStartXRef() + shift));
  auto doc = Load(prefix + text);
  EXPECT_EQ(IntObject(*doc, static_cast<std::uint32_t>(n)), 5);
  EXPECT_EQ(doc->GetHeaderOffset(), 0);
}

TEST(XRef, EmptyInputIsInvalid) {
  EXPECT_THROW(Load(""), ExInvalidPDFFile);
  EXPECT_THROW(Load("", true), ExInvalidPDFFile);
}

// ---- Repair ----------------------------------------------------------------------------

struct TkwDamageCase {
  const char* Name;
  std::function<void(TkwTestPdf&)> Damage;
  bool OpensWithoutRepair;
};

class Damaged : public ::testing::TestWithParam<TkwDamageCase> {};

TEST_P(Damaged, RepairReadsEveryObject) {
  TkwTestPdf pdf;
  pdf.AddPage("BT /F1 12 Tf (one) Tj ET");
  const int value = pdf.AddObject("<< /Value 321 >>");
  GetParam().Damage(pdf);
  const std::string bytes = pdf.Save();
  if (!GetParam().OpensWithoutRepair) {
    EXPECT_THROW(
        {
          auto d = Load(bytes, false);
          if (d->GetObject(static_cast<std::uint32_t>(value)) == nullptr) throw ExInvalidObject();
        },
        EPDFCoreError);
  }
  auto doc = Load(bytes, true);
  ASSERT_NE(doc->GetDocRoot(), nullptr);
  const auto* dict = doc->GetObject(static_cast<std::uint32_t>(value));
  ASSERT_NE(dict, nullptr);
  EXPECT_EQ(static_cast<const TkwPDDictionary*>(dict)->LookUpInt("Value"), 321);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Damaged,
    ::testing::Values(
        TkwDamageCase{"EntryShifted", [](TkwTestPdf& P) { P.ShiftXRefEntry(P.GetNextNumber() - 1, 5); }, false},
        TkwDamageCase{"StartXRefWrong", [](TkwTestPdf& P) { P.SetStartXRefText("17\n"); }, false},
        TkwDamageCase{"StartXRefMissing",
                      [](TkwTestPdf& P) {
                        P.SetStartXRefText("");
                        P.OmitEOF();
                      },
                      false},
        TkwDamageCase{"StreamXRefShifted",
                      [](TkwTestPdf& P) {
                        P.SetXRefForm(TkwXRefForm::xfStream);
                        P.SetStartXRefText("40\n");
                      },
                      false},
        TkwDamageCase{"ObjectStreamsNoXRef",
                      [](TkwTestPdf& P) {
                        P.SetObjectStreams(true);
                        P.SetStartXRefText("3\n");
                      },
                      false}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(Repair, LastDefinitionWinsAndTrailerWithRootIsUsed) {
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  const int n = pdf.AddObject("1");
  pdf.BeginUpdate();
  pdf.SetObject(n, "2");
  pdf.SetStartXRefText("999999\n");
  auto doc = Load(pdf.Save(), true);
  EXPECT_TRUE(doc->GetRepaired());
  EXPECT_EQ(IntObject(*doc, static_cast<std::uint32_t>(n)), 2);
  EXPECT_EQ(doc->GetDiagnostics().Count(TkwDiagCode::dcXRefRebuilt), 1);
}

TEST(Repair, FileWithoutObjectsStillFails) {
  EXPECT_THROW(Load("%PDF-1.4\nnothing here\n", true), ExStartXrefNotFound);
  EXPECT_THROW(Load("%PDF-1.4\n1 0 obj 5 endobj\nstartxref\n9\n%%EOF", true)->GetDocRoot(), ExBadRootObj);
}

TEST(Repair, RunsOnceEvenWhenObjectsStayMissing) {
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  pdf.ShiftXRefEntry(pdf.GetNextNumber() - 1, 3);
  auto doc = Load(pdf.Save(), true);
  for (std::uint32_t i = 100; i < 110; ++i) EXPECT_EQ(doc->GetObject(i), nullptr);
  EXPECT_LE(doc->GetDiagnostics().Count(TkwDiagCode::dcXRefRebuilt), 1);
}

TEST(Repair, StreamDataThatLooksLikeObjectsIsSkipped) {
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  const int n = pdf.AddObject("5");
  pdf.AddStream("", std::to_string(n) + " 0 obj 666 endobj\n");
  pdf.SetStartXRefText("1\n");
  EXPECT_EQ(IntObject(*Load(pdf.Save(), true), static_cast<std::uint32_t>(n)), 5);
}

TEST(Repair, UnclosedDictionariesDoNotMakeTheScanQuadratic) {
  // Thousands of headers each opening a dictionary that never closes.
  std::string text = "%PDF-1.4\n";
  for (int i = 1; i <= 20000; ++i) text += std::to_string(i) + " 0 obj << /K [ ";
  text += "\nstream\nno end";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(Load(text, true)->GetDocRoot(), ExBadRootObj);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
}

// ---- Objects and streams ----------------------------------------------------------------

TEST(Objects, StreamWithWrongLengthEndsAtEndstream) {
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  const int n = pdf.AddObject("<< /Length 3 >>\nstream\nHello, world\nendstream");
  auto doc = Load(pdf.Save());
  auto* stream = doc->GetObject(static_cast<std::uint32_t>(n));
  ASSERT_NE(stream, nullptr);
  ASSERT_TRUE(stream->IsStream());
  EXPECT_EQ(static_cast<TkwPDStream*>(stream)->ReadAll(), "Hello, world");
}

TEST(Objects, StreamLengthThatRefersToItselfDoesNotRecurse) {
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  const int n = pdf.ReserveObject();
  pdf.SetObject(n, "<< /Length " + std::to_string(n) + " 0 R >>\nstream\nabc\nendstream");
  auto doc = Load(pdf.Save(), true);
  EXPECT_EQ(doc->GetObject(static_cast<std::uint32_t>(n)), nullptr);
}

TEST(Objects, IndirectLengthResolves) {
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  const int len = pdf.AddObject("5");
  const int n = pdf.AddObject("<< /Length " + std::to_string(len) + " 0 R >>\nstream\nabcde\nendstream");
  auto doc = Load(pdf.Save());
  auto* stream = doc->GetObject(static_cast<std::uint32_t>(n));
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(static_cast<TkwPDStream*>(stream)->ReadAll(), "abcde");
}

TEST(Objects, BadObjectStreamHeaderHoldsNoObjects) {
  TkwHandFile f;
  const auto o1 = f.Add(1, "<< /Type /Catalog /Pages 2 0 R >>");
  const auto o2 = f.Add(2, "<< /Type /Pages /Kids [] /Count 0 >>");
  const std::string data = "4 5 6 0 44 66";  // offsets decrease
  const auto o3 = f.Add(3, "<< /Type /ObjStm /N 2 /First 8 /Length " + std::to_string(data.size()) +
                               " >>\nstream\n" + data + "\nendstream");
  std::string rows;
  for (const auto& [type, f2, f3] : std::vector<std::tuple<int, std::int64_t, int>>{
           {0, 0, 255}, {1, o1, 0}, {1, o2, 0}, {1, o3, 0}, {2, 3, 0}, {0, 0, 0}, {2, 3, 1}}) {
    rows.push_back(static_cast<char>(type));
    for (int i = 3; i >= 0; --i) rows.push_back(static_cast<char>((f2 >> (8 * i)) & 0xFF));
    rows.push_back(static_cast<char>(f3));
  }
  const auto xref = static_cast<std::int64_t>(f.Text.size());
  f.Text += "8 0 obj\n<< /Type /XRef /Size 7 /W [1 4 1] /Root 1 0 R /Length " + std::to_string(rows.size()) +
            " >>\nstream\n" + rows + "\nendstream\nendobj\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  auto doc = Load(f.Text);
  EXPECT_EQ(IntObject(*doc, 4), -1);
  EXPECT_EQ(IntObject(*doc, 6), -1);
}

TEST(Objects, XRefStreamWithOversizedFieldFailsTheSection) {
  TkwTestPdf pdf;
  pdf.SetXRefForm(TkwXRefForm::xfStream);
  pdf.AddPage("BT ET");
  std::string bytes = Replace(pdf.Save(), "/W [1 4 2]", "/W [1 9 2]");
  EXPECT_THROW(Load(bytes), ExImproperCrossRefTableOrStream);
  EXPECT_NE(Load(bytes, true)->GetDocRoot(), nullptr);
}

TEST(Document, RootAndPagesAreRequired) {
  TkwTestPdf noRoot;
  noRoot.SetAutoCatalog(false);
  noRoot.AddObject("1");
  noRoot.SetRoot(7);
  EXPECT_THROW(Load(noRoot.Save())->GetDocRoot(), ExBadRootObj);

  TkwTestPdf noPages;
  noPages.SetAutoCatalog(false);
  const int cat = noPages.AddObject("<< /Type /Catalog >>");
  noPages.SetRoot(cat);
  EXPECT_THROW(Load(noPages.Save())->GetDocRoot(), ExNoPageTreeObj);
  TkwPDDocument doc;
  EXPECT_THROW(doc.LoadFromBytes(noPages.Save()), ExNoPageTreeObj);
}

TEST(Document, MadeInfoDictionaryIsNumberedPastEveryObject) {
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  pdf.BeginUpdate();
  const int last = pdf.AddObject("77");
  auto doc = Load(pdf.Save());
  TkwPDDictionary* info = doc->GetDocInfo();
  ASSERT_NE(info, nullptr);
  EXPECT_GT(info->GetObjNumber(), static_cast<std::uint32_t>(last));
  EXPECT_EQ(IntObject(*doc, static_cast<std::uint32_t>(last)), 77);
}

TEST(Document, MissingFileAndVersion) {
  TkwPDDocument doc;
  EXPECT_THROW(doc.LoadDocument("/nonexistent/file.pdf", true), ExFileNotFound);
  TkwTestPdf pdf("1.4");
  pdf.AddPage("BT ET");
  pdf.SetCatalogExtra("/Version /1.6");
  doc.LoadFromBytes(pdf.Save());
  EXPECT_EQ(doc.GetVersion(), "1.6");
  EXPECT_FALSE(doc.GetIsEncrypted());
  EXPECT_EQ(doc.GetEncryptionMethod(), "");
  doc.CloseDocument();
  EXPECT_FALSE(doc.GetIsLoaded());
}

// ---- Repair as far as the best readers go ------------------------------------------------

TEST(Repair, ObjectsNumberedPastSizeAreRead) {
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  const int beyond = pdf.GetNextNumber();
  // Written after the last section, past its Size, where only a scan finds it.
  const std::string bytes = pdf.Save() + std::to_string(beyond) + " 0 obj\n42\nendobj\n";
  auto doc = Load(bytes, true);
  EXPECT_EQ(IntObject(*doc, static_cast<std::uint32_t>(beyond)), 42);
  EXPECT_EQ(doc->GetDiagnostics().Count(TkwDiagCode::dcObjectBeyondSize), 1);
  EXPECT_EQ(doc->GetDiagnostics().Count(TkwDiagCode::dcXRefRebuilt), 0);  // the table stays
  // Without repair the file is read as its table says.
  EXPECT_EQ(IntObject(*Load(bytes, false), static_cast<std::uint32_t>(beyond)), -1);
}

struct TRootCase {
  const char* Name;
  const char* Trailer;  // the Root written in the trailer
};

class CatalogByScan : public ::testing::TestWithParam<TRootCase> {};

TEST_P(CatalogByScan, IsFoundWhenTheTrailerNamesNone) {
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  std::string bytes = pdf.Save();
  bytes = Replace(bytes, "/Root 1 0 R", GetParam().Trailer);
  TkwPDDocument doc;
  doc.LoadFromBytes(bytes);
  EXPECT_EQ(doc.GetBaseDoc()->GetDocRoot()->GetObjNumber(), 1u);
  // Found by the rebuilt table's scan, or by the search among the objects after it.
  EXPECT_EQ(doc.GetDiagnostics()->Count(TkwDiagCode::dcXRefRebuilt), 1);
}

INSTANTIATE_TEST_SUITE_P(Roots, CatalogByScan,
                         ::testing::Values(TRootCase{"Missing", "           "}, TRootCase{"WrongObject", "/Root 3 0 R"},
                                           TRootCase{"NoSuchObject", "/Root 9 0 R"}, TRootCase{"NotARef", "/Root 12345"}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(Repair, BrokenPrevChainStillOpens) {
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  pdf.BeginUpdate();
  const int later = pdf.AddObject("7");
  std::string bytes = pdf.Save();
  // The newest section's Prev leads into the middle of an object.
  const std::size_t prev = bytes.rfind("/Prev ");
  ASSERT_NE(prev, std::string::npos);
  std::size_t end = prev + 6;
  while (bytes[end] >= '0' && bytes[end] <= '9') ++end;
  bytes.replace(prev + 6, end - prev - 6, std::string(end - prev - 6 - 1, ' ') + "9");
  TkwPDDocument doc;
  doc.LoadFromBytes(bytes);
  EXPECT_EQ(doc.GetBaseDoc()->GetDocRoot()->GetObjNumber(), 1u);
  EXPECT_NE(doc.GetBaseDoc()->GetObject(3), nullptr);  // from the older section
  EXPECT_EQ(IntObject(*doc.GetBaseDoc(), static_cast<std::uint32_t>(later)), 7);
}

TEST(Document, TextFileIsNotAPdfFile) {
  for (const char* text : {"Just some words in a text file.\n", "<html><body>no</body></html>"}) {
    try {
      Load(text, true);
      FAIL() << text;
    } catch (const ExNotPDFFile& e) {
      EXPECT_STREQ(e.what(), "Not a PDF file");
    }
  }
}

TEST(Document, FolderAndPipeInputs) {
  TkwPDDocument doc;
  try {
    doc.LoadDocument("/tmp", true);
    FAIL() << "a folder opened";
  } catch (const ExIsDirectory& e) {
    EXPECT_STREQ(e.what(), "Is a directory");
  }
  // A pipe is read to its end, as standard input is.
  TkwTestPdf pdf;
  pdf.AddPage("BT ET");
  const std::string bytes = pdf.Save();
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::thread writer([&] {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fds[1], bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::close(fds[1]);
  });
  doc.LoadDocument("/dev/fd/" + std::to_string(fds[0]), true);
  writer.join();
  ::close(fds[0]);
  EXPECT_EQ(doc.GetBaseDoc()->GetDocRoot()->GetObjNumber(), 1u);
}

TEST(Document, WrongPasswordIsToldFromAMissingOne) {
  EXPECT_STREQ(ExWrongPassword().what(), "Wrong password");
  // Still a request for the password, for callers that ask again.
  const ExPasswordRequired& asked = ExWrongPassword();
  EXPECT_STREQ(asked.what(), "Wrong password");
}

}  // namespace
}  // namespace qm
