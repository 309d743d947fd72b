#include "pdf/core/kwPDDocument.h"

#include <filesystem>

namespace qm {

TkwPDDocument::TkwPDDocument() = default;

TkwPDDocument::~TkwPDDocument() { CloseDocument(); }

void TkwPDDocument::LoadDocument(const std::string& AFileName, bool ADoRepair) {
  FStream = nullptr;
  std::error_code ec;
  if (!std::filesystem::exists(AFileName, ec)) throw ExFileNotFound();
  TkwRef<TkwFileStream> file = TkwFileStream::Open(AFileName);
  FFileName = AFileName;
  LoadDocument(TkwRef<TkwBaseStream>(file), ADoRepair, true);
}

void TkwPDDocument::LoadFromBytes(std::string ABytes, bool ADoRepair) {
  LoadDocument(TkwRef<TkwBaseStream>(TkwMemoryStream::FromString(std::move(ABytes))), ADoRepair, true);
}

void TkwPDDocument::LoadDocument(TkwRef<TkwBaseStream> AStream, bool ADoRepair, bool AFreeStream) {
  // The wrappers borrow objects of the base document, so they go first.
  FCatalog.reset();
  FDocInfo = nullptr;
  FBaseDoc.reset();
  FIsEncrypted = false;
  FVersion.clear();
  FStream = AStream;
  FFreeStream = AFreeStream;

  auto baseDoc = std::make_unique<TkwPDBaseDoc>();
  baseDoc->SetDiagnostics(FDiagSink);
  try {
    baseDoc->LoadDocument(AStream, FPassword, ADoRepair);
  } catch (const ExInvalidPassword&) {
    // A password that was tried and failed is told apart from none given.
    if (!FPassword.empty()) throw ExWrongPassword();
    throw ExPasswordRequired();
  }
  FIsEncrypted = baseDoc->GetIsEncrypted();
  if (FIsEncrypted) {
    if (const TkwEncryptionSettings* s = baseDoc->GetUserEncryptionSettings()) {
      using enum TkwUserPermissionsType;
      const TkwUserPermissions p = s->FUserPermissions;
      FPermissions.CopyText = p.Has(AllowCopy);
      FPermissions.ModifyContents = p.Has(AllowModify);
      FPermissions.Print = p.Has(AllowPrint);
      FPermissions.ModifyTextAnnots = p.Has(AllowAnnotation);
      FPermissions.FillForms = p.Has(AllowFormFill);
      FPermissions.PrintToDigitalCopy = p.Has(AllowAccessibility);
      FPermissions.AssmbleDoc = p.Has(AllowDocAssembly);
      FPermissions.PrintHighQuality = p.Has(AllowHighResPrint);
    }
  }
  baseDoc->GetDocRoot();
  FDocInfo = baseDoc->GetDocInfo();
  FVersion = baseDoc->GetVersion();
  FBaseDoc = std::move(baseDoc);
}

TkwPDPermissions TkwPDDocument::Authorize(const TkwPDPermissions& APermsWanted, std::string_view APassword) {
  FPassword = APassword;
  if (APermsWanted.Enable) {
    FUserEncryptionSettings = std::make_unique<TkwEncryptionSettings>();
    TkwEncryptionSettings& s = *FUserEncryptionSettings;
    s.FEnabled = true;
    s.FOwnerPassword = APermsWanted.OwnerPassword;
    s.FUserPassword = APermsWanted.UserPassword;
    s.FLevel = APermsWanted.Level == TkwEncryptionLevel::el40Bits ? TkwPDFEncryptionLevel::el40Bit
                                                                  : TkwPDFEncryptionLevel::el128Bit;
    using enum TkwUserPermissionsType;
    TkwUserPermissions p;
    if (APermsWanted.CopyText) p.Include(AllowCopy);
    if (APermsWanted.ModifyContents) p.Include(AllowModify);
    if (APermsWanted.Print) p.Include(AllowPrint);
    if (APermsWanted.ModifyTextAnnots) p.Include(AllowAnnotation);
    if (APermsWanted.FillForms) p.Include(AllowFormFill);
    if (APermsWanted.PrintToDigitalCopy) p.Include(AllowAccessibility);
    if (APermsWanted.AssmbleDoc) p.Include(AllowDocAssembly);
    if (APermsWanted.PrintHighQuality) p.Include(AllowHighResPrint);
    s.FUserPermissions = p;
  }
  ++FTries;
  return FPermissions;
}

void TkwPDDocument::CloseDocument() {
  FCatalog.reset();
  FDocInfo = nullptr;
  FBaseDoc.reset();
  FStream = nullptr;
  FIsEncrypted = false;
  FVersion.clear();
}

std::string TkwPDDocument::GetEncryptionMethod() const { return FBaseDoc ? FBaseDoc->GetEncryptionMethod() : ""; }

std::string TkwPDDocument::GetVersion() const { return FVersion; }

std::uint32_t TkwPDDocument::GetLastObjectNumber() const {
  return FBaseDoc && FBaseDoc->GetXRef() ? FBaseDoc->GetXRef()->GetLastObjectNumber() : 0;
}

}  // namespace qm
