#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/Cancelled.h"
#include "base/kwDiagnostics.h"
#include "base/kwObject.h"
#include "base/kwRef.h"
#include "pdf/core/kwStream.h"
#include "pdf/core/kwPDBaseDoc.h"
#include "pdf/core/kwPDBaseObject.h"

namespace qm {

class TkwPDCatalog;
class TkwPDPage;

enum class TkwEncryptionLevel : std::uint8_t { el40Bits, el128Bits };

// What the password check allowed (no operation of this system refuses work because of it),
// and what a caller asks for with Authorize.
struct TkwPDPermissions {
  bool Print = false;
  bool PrintHighQuality = false;
  bool ModifyContents = false;
  bool CopyText = false;
  bool ModifyTextAnnots = false;
  bool FillForms = false;
  bool AssmbleDoc = false;
  bool PrintToDigitalCopy = false;
  std::string OwnerPassword;
  std::string UserPassword;
  TkwEncryptionLevel Level = TkwEncryptionLevel::el128Bits;
  bool Enable = false;
};

// The document as the conversion driver sees it.
//
//   TkwPDDocument Doc;
//   Doc.Authorize({}, Password);              // optional; empty password by default
//   Doc.LoadDocument(FileName, true);         // throws EPDFCoreError kinds
//   int n = Doc.GetPageCount();               // needs qm_pdf_model (see below)
//
// The page tree lives in qm_pdf_model, above this library: GetCatalog, GetPageCount,
// GetPage and GetPageByIndRef are defined there, so callers of those link qm_pdf_model.
class TkwPDDocument : public TkwObject {
public:
  TkwPDDocument();
  ~TkwPDDocument() override;

  // Opens the file read-only and loads it. ExFileNotFound, ExFileOpenError, and what the
  // stream overload throws. DoRepair (what the driver passes) lets a damaged
  // cross-reference table be rebuilt by scanning the file.
  void LoadDocument(const std::string& AFileName, bool ADoRepair = true);
  // Loads from an open stream (the whole file). The document shares the stream; AFreeStream
  // is kept for callers that expect it and changes nothing, since the stream is released
  // by reference count. ExPasswordRequired when the password set by Authorize is wrong,
  // ExBadRootObj, ExNoPageTreeObj and the cross-reference exceptions otherwise.
  void LoadDocument(TkwRef<TkwBaseStream> AStream, bool ADoRepair, bool AFreeStream);
  // Loads from bytes in memory (a copy is kept).
  void LoadFromBytes(std::string ABytes, bool ADoRepair = true);

  // Sets the password for the next load; with APermsWanted.Enable also the settings a save
  // would use. Returns the current permissions.
  TkwPDPermissions Authorize(const TkwPDPermissions& APermsWanted, std::string_view APassword);
  // Frees the loaded document and everything it handed out.
  void CloseDocument();
  [[nodiscard]] bool GetIsLoaded() const { return FBaseDoc != nullptr; }

  // ---- Defined in qm_pdf_model ----
  // The catalog wrapper with the page tree, made on first use; nullptr before loading.
  TkwPDCatalog* GetCatalog();
  // The root Pages node's Count (or the pages found when it has no integer Count).
  int GetPageCount();
  // Page by 1-based index as TkwPDPageTree::GetPage; owned by the document.
  TkwPDPage* GetPage(int AIndex);
  TkwPDPage* GetPageByIndRef(const TkwPDIndirectRef& APageRef);
  // ---------------------------------

  [[nodiscard]] TkwPDBaseDoc* GetBaseDoc() const { return FBaseDoc.get(); }
  [[nodiscard]] bool GetIsEncrypted() const { return FIsEncrypted; }
  // "RC4 40-bit", "RC4 128-bit", or empty when the file is not encrypted.
  [[nodiscard]] std::string GetEncryptionMethod() const;
  // "1.7" (the later of the header's and the catalog's version); empty before loading.
  [[nodiscard]] std::string GetVersion() const;
  [[nodiscard]] const TkwPDPermissions& GetPermissions() const { return FPermissions; }
  [[nodiscard]] const std::string& GetCMapPath() const { return FCMapPath; }
  void SetCMapPath(std::string APath) { FCMapPath = std::move(APath); }
  [[nodiscard]] std::uint32_t GetLastObjectNumber() const;
  [[nodiscard]] const std::string& GetFileName() const { return FFileName; }
  // The information dictionary (see TkwPDBaseDoc::GetDocInfo); nullptr before loading.
  [[nodiscard]] TkwPDDictionary* GetDocInfo() const { return FDocInfo; }
  // What was tolerated while loading and reading: the sink set with SetDiagnostics, else
  // the base document's own; nullptr before loading without a sink.
  [[nodiscard]] TkwDiagnostics* GetDiagnostics() const {
    return FBaseDoc ? &FBaseDoc->GetDiagnostics() : FDiagSink;
  }
  // A sink for the next load's notes (not owned, outlives the loaded document); null
  // gives the base document its own.
  void SetDiagnostics(TkwDiagnostics* ADiag) { FDiagSink = ADiag; }
  // The job's cancel flag (not owned, may be null); page display stops with ECancelled
  // when it is set.
  void SetCancelFlag(const TkwCancelFlag* AFlag) { FCancel = AFlag; }
  [[nodiscard]] const TkwCancelFlag* GetCancelFlag() const { return FCancel; }

  // Slot for the page-tree layer's catalog wrapper (owned; destroyed with the document).
  [[nodiscard]] TkwObject* GetCatalogSlot() const { return FCatalog.get(); }
  void SetCatalogSlot(std::unique_ptr<TkwObject> ACatalog) { FCatalog = std::move(ACatalog); }

private:
  std::unique_ptr<TkwPDBaseDoc> FBaseDoc;
  std::unique_ptr<TkwObject> FCatalog;  // a TkwPDCatalog, made by qm_pdf_model
  std::string FFileName;
  TkwRef<TkwBaseStream> FStream;
  TkwPDDictionary* FDocInfo = nullptr;  // borrowed from the base document
  bool FFreeStream = false;
  std::string FPassword;
  int FTries = 1;
  TkwPDPermissions FPermissions;
  std::unique_ptr<TkwEncryptionSettings> FUserEncryptionSettings;
  bool FIsEncrypted = false;
  std::string FCMapPath = ".\\CMAPS\\";
  TkwDiagnostics* FDiagSink = nullptr;  // not owned
  const TkwCancelFlag* FCancel = nullptr;  // not owned
  std::string FVersion;
};

}  // namespace qm
