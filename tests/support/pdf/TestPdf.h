#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// TkwTestPdf: writes small PDF files for tests and computes the cross-reference offsets.
//
//   TkwTestPdf Pdf;                                   // objects 1 (catalog) and 2 (page tree)
//   int F1 = Pdf.AddFont("Helvetica");                // a Type1 font dictionary
//   Pdf.AddPage("BT /F1 12 Tf 72 720 Td (Hello) Tj ET", {{"F1", F1}});
//   Pdf.ShiftXRefEntry(3, +7);                        // damage on purpose
//   std::string Bytes = Pdf.Save();
//
// Object bodies are PDF text written between "N G obj" and "endobj". The builder writes a
// catalog (object 1) and a page tree root (object 2) that lists every page added with
// AddPage, unless SetAutoCatalog(false) is called before the first object is added.
//
// Each BeginUpdate starts an incremental update: objects set from then on are written in a
// new section after the previous one, whose cross-reference data lists only them and whose
// trailer has Prev. Every section can be written as a classic table or a cross-reference
// stream; with object streams on, a section's non-stream objects of generation 0 go into
// one object stream of that section.
//
// Damage helpers change only what Save writes, never the objects themselves.
namespace qm {

class TkwTestPdf {
public:
  enum class TkwXRefForm { xfTable, xfStream };

  explicit TkwTestPdf(std::string_view AVersion = "1.7");

  // Turns the automatic catalog and page tree off; object numbering then starts at 1 for
  // the caller's objects, and the trailer's Root must be set with SetRoot.
  void SetAutoCatalog(bool AOn);
  void SetRoot(int ANum) { FRoot = ANum; }

  // Adds an object with the next free number and returns that number.
  int AddObject(std::string_view ABody);
  // Adds a stream; ADictEntries are the dictionary's entries without "<<" and ">>" and
  // without Length, which the builder writes.
  int AddStream(std::string_view ADictEntries, std::string_view AData);
  // Forms nested ten deep, each drawing the next ten times (10^10 glyphs of AFont asked
  // for); returns the page resources under which "/X Do" draws the top one.
  std::string AddFormFanOut(int AFont);
  // Reserves a number to be set later with SetObject.
  int ReserveObject();
  // Defines or redefines object ANum in the current section.
  void SetObject(int ANum, std::string_view ABody, int AGen = 0);
  void SetStream(int ANum, std::string_view ADictEntries, std::string_view AData, int AGen = 0);

  // A Type1 font dictionary with the standard encoding.
  int AddFont(std::string_view ABaseFont = "Helvetica");
  // A page with one content stream and a Font resource per (name, object) pair. AExtra is
  // added to the page dictionary (for example "/Rotate 90"); when it holds /Contents,
  // /MediaBox or /Resources the builder writes none of its own. Returns the page's number.
  int AddPage(std::string_view AContent, const std::vector<std::pair<std::string, int>>& AFonts = {},
              std::string_view AExtra = "");
  // Entries of the catalog and page tree root besides the builder's own.
  void SetCatalogExtra(std::string_view AEntries) { FCatalogExtra = AEntries; }
  void SetPagesExtra(std::string_view AEntries) { FPagesExtra = AEntries; }
  // MediaBox of pages that do not say otherwise in AExtra (default [0 0 612 792]).
  void SetDefaultMediaBox(std::string_view ABox) { FMediaBox = ABox; }

  // Extra trailer entries of the current section, e.g. "/Info 9 0 R /ID [<..> <..>]".
  void SetTrailerExtra(std::string_view AEntries);

  // Form of the cross-reference data of the current section and of sections after it.
  void SetXRefForm(TkwXRefForm AForm);
  // Object streams need cross-reference streams; turning them on selects that form.
  void SetObjectStreams(bool AOn);

  // Starts an incremental update (a new section).
  void BeginUpdate();

  // ---- Damage (applied when saving) ----
  // Writes the cross-reference offset of ANum ADelta bytes away from the truth, in the
  // newest section that lists the object.
  void ShiftXRefEntry(int ANum, std::int64_t ADelta);
  // Writes AText after "startxref" in place of the real offset and its line end.
  void SetStartXRefText(std::string_view AText) { FStartXRefText = AText; FStartXRefSet = true; }
  // Bytes written before "%PDF-"; all offsets are written as if they were not there.
  void SetPrefix(std::string_view ABytes) { FPrefix = ABytes; }
  // Bytes written after the final "%%EOF".
  void SetSuffix(std::string_view ABytes) { FSuffix = ABytes; }
  // Writes no "%%EOF" line at the end.
  void OmitEOF() { FOmitEOF = true; }

  // The whole file.
  [[nodiscard]] std::string Save();
  bool SaveToFile(const std::string& APath);

  // Facts of the last Save: offset of each object's header (newest definition), and the
  // startxref value of the last section.
  [[nodiscard]] std::int64_t GetObjectOffset(int ANum) const;
  [[nodiscard]] std::int64_t GetStartXRef() const { return FLastStartXRef; }
  [[nodiscard]] int GetNextNumber() const { return FNextNum; }
  [[nodiscard]] const std::vector<int>& GetPages() const { return FPages; }

  // A content stream's dictionary entries and data compressed with zlib (for filter tests).
  static std::string Deflate(std::string_view AData);

private:
  struct TkwObj {
    int Gen = 0;
    std::string Body;
    bool IsStream = false;
  };
  struct TkwSection {
    std::map<int, TkwObj> Objects;
    TkwXRefForm Form = TkwXRefForm::xfTable;
    bool ObjStreams = false;
    std::string TrailerExtra;
    std::size_t PagesAtStart = 0;
    bool PagesChanged = false;
  };

  TkwSection& Current() { return FSections.back(); }
  void EnsureAuto();

  std::string FVersion;
  std::vector<TkwSection> FSections;
  std::vector<int> FPages;
  std::map<int, std::int64_t> FShifts;
  std::map<int, std::int64_t> FOffsets;
  std::string FCatalogExtra, FPagesExtra, FMediaBox = "[0 0 612 792]";
  std::string FStartXRefText, FPrefix, FSuffix;
  bool FStartXRefSet = false;
  bool FOmitEOF = false;
  bool FAuto = true;
  bool FAutoMade = false;
  int FRoot = 1;
  int FNextNum = 1;
  std::int64_t FLastStartXRef = 0;
};

}  // namespace qm
