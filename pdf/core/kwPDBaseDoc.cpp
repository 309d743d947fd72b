#include "pdf/core/kwPDBaseDoc.h"

#include <algorithm>
#include <exception>

#include "base/Limits.h"
#include "base/kwScopeGuard.h"
#include "pdf/core/kwAESSecurity.h"
#include "pdf/core/kwCryptStream.h"

namespace qm {

namespace {

// "%PDF-" within the first bytes: its position and the version text after it.
std::int64_t FindHeader(std::span<const std::uint8_t> ABytes, std::string& AVersion) {
  const std::string_view text(reinterpret_cast<const char*>(ABytes.data()), std::min(ABytes.size(), kMaxHeaderOffset));
  const std::size_t at = text.find("%PDF-");
  if (at == std::string_view::npos) return -1;
  std::size_t i = at + 5;
  while (i < text.size() && ((text[i] >= '0' && text[i] <= '9') || text[i] == '.') && i < at + 12) {
    AVersion.push_back(text[i++]);
  }
  return static_cast<std::int64_t>(at);
}

// Versions "M.m" compared numerically.
bool VersionLess(std::string_view A, std::string_view B) {
  const auto parse = [](std::string_view V) {
    int major = 0, minor = 0;
    std::size_t i = 0;
    while (i < V.size() && V[i] >= '0' && V[i] <= '9') major = major * 10 + (V[i++] - '0');
    if (i < V.size() && V[i] == '.') ++i;
    while (i < V.size() && V[i] >= '0' && V[i] <= '9') minor = minor * 10 + (V[i++] - '0');
    return std::pair{major, minor};
  };
  return parse(A) < parse(B);
}

std::string WrapKey(const TkwPDBaseObject* AObj) {
  if (AObj == nullptr || !AObj->IsString()) return {};
  const auto& s = static_cast<const TkwPDString&>(*AObj);
  return s.IsHexString() ? "<" + s.GetString() + ">" : "(" + s.GetString() + ")";
}

}  // namespace

// ---- TkwPDCollection -----------------------------------------------------------------

TkwPDCollection::TkwPDCollection(std::size_t ACapacity) {
  FVector.resize(std::min<std::size_t>(ACapacity, static_cast<std::size_t>(kMaxObjectNumber) + 1));
}

TkwPDBaseObject* TkwPDCollection::Put(std::uint32_t ANum, std::unique_ptr<TkwPDBaseObject> AValue) {
  if (ANum >= FVector.size()) {
    std::size_t size = std::max<std::size_t>(FVector.size(), 64);
    while (size <= ANum) size *= 2;
    FVector.resize(size);
  }
  FVector[ANum] = std::move(AValue);
  return FVector[ANum].get();
}

// ---- TkwPDReader ---------------------------------------------------------------------

void TkwPDReader::LoadFromStream(TkwRef<TkwBaseStream> AStream) {
  FStream = AStream;
  FXRef = std::make_unique<TkwPDXRef>(FParentDoc, std::move(AStream));
  FXRef->SetDiagnostics(&FParentDoc->GetDiagnostics());
  FXRef->GenerateTable();
}

std::unique_ptr<TkwPDBaseObject> TkwPDReader::Fetch(std::uint32_t ANum, TkwFetchStatus* AStatus) {
  if (!FXRef) throw ExInvalidStream();
  auto obj = FXRef->Fetch(ANum, AStatus);
  if (!obj || obj->IsError()) return nullptr;
  return obj;
}

std::unique_ptr<TkwPDDictionary> TkwPDReader::GetTrailer() const {
  if (!FXRef || FXRef->GetTrailorDict() == nullptr) return nullptr;
  auto clone = FXRef->GetTrailorDict()->CloneDict();
  clone->SetParentDoc(FParentDoc);
  return clone;
}

// ---- TkwPDBaseDoc --------------------------------------------------------------------

TkwPDBaseDoc::TkwPDBaseDoc() = default;
TkwPDBaseDoc::~TkwPDBaseDoc() = default;

TkwPDCollection* TkwPDBaseDoc::GetCollection() {
  if (!FCollection) FCollection = std::make_unique<TkwPDCollection>(GetXRef() ? GetXRef()->GetSize() : 0);
  return FCollection.get();
}

TkwPDBaseObject* TkwPDBaseDoc::AddToCollection(std::unique_ptr<TkwPDBaseObject> AValue) {
  if (!AValue) throw ExInvalidObject();
  const std::uint32_t num = AValue->GetObjNumber();
  if (num > static_cast<std::uint32_t>(kMaxObjectNumber)) throw ExInvalidObject();
  return GetCollection()->Put(num, std::move(AValue));
}

bool TkwPDBaseDoc::GetRepaired() const { return GetXRef() != nullptr && GetXRef()->GetRebuilt(); }

void TkwPDBaseDoc::LoadDocument(TkwRef<TkwBaseStream> AStream, std::string_view APassword, bool ADoRepair) {
  if (!AStream) throw ExInvalidStream();
  FDoRepair = ADoRepair;
  FFileSize = AStream->GetSize();
  if (FFileSize <= 0) throw ExInvalidPDFFile();
  FDecodeCap = FFileSize > kDecodeScaledFileBytes ? FFileSize * kMaxDecodeRatio : kMaxDecodedBytesSmallFile;

  // Mail gateways and download scripts put bytes before the header; offsets count from it.
  const std::int64_t header = FindHeader(AStream->View(0), FHeaderVersion);
  FHeaderOffset = std::max<std::int64_t>(header, 0);
  if (FHeaderOffset > 0) {
    AStream->MoveStart(FHeaderOffset);
    FSink->Note(TkwDiagCode::dcHeaderOffset, FHeaderOffset);
  }

  // A failed load leaves the reader with the table it began, which a repair rebuilds.
  const auto tryLoad = [&]() -> std::exception_ptr {
    FReader = std::make_unique<TkwPDReader>(*this);
    try {
      FReader->LoadFromStream(AStream);
      return nullptr;
    } catch (const ExInvalidPDFFile&) {
      throw;
    } catch (const EPDFCoreError&) {
      return std::current_exception();
    }
  };
  std::exception_ptr failure = tryLoad();
  if (failure && FHeaderOffset > 0) {
    // Some files with a prefix count their offsets from the start of the file after all.
    AStream->MoveStart(-FHeaderOffset);
    if (!tryLoad()) {
      FHeaderOffset = 0;
      failure = nullptr;
    } else {
      AStream->MoveStart(FHeaderOffset);
      (void)tryLoad();
    }
  }
  if (failure && !Repair()) {
    // Without a header and without a single object, it is not a damaged PDF: it is none.
    if (header < 0) throw ExNotPDFFile();
    std::rethrow_exception(failure);
  }

  FTrailer = FReader->GetTrailer();
  if (!FTrailer) throw ExImproperCrossRefTableOrStream();

  if (auto* encrypt = FTrailer->LookUp("Encrypt"); encrypt != nullptr && encrypt->IsDict()) {
    FEncrypt = static_cast<TkwPDDictionary*>(encrypt);
    FEncryptNum = FEncrypt->GetObjNumber() == kNoObjNum ? -1 : static_cast<std::int64_t>(FEncrypt->GetObjNumber());
    SetupEncryption(APassword);
  }
  FLoaded = true;
  if (GetRepaired()) {
    GetXRef()->IndexObjectStreams();
    FTrailer = FReader->GetTrailer();
  }
}

void TkwPDBaseDoc::SetupEncryption(std::string_view APassword) {
  FEncryptSettings = std::make_unique<TkwEncryptionSettings>();
  TkwEncryptionSettings& s = *FEncryptSettings;
  // The ID as written, "<hex>" or "(bytes)", so that its bytes are known whatever their number.
  const TkwPDArray* ids = FTrailer->LookUpArray("ID");
  s.FFileID = ids != nullptr ? WrapKey(ids->Get(0)) : std::string();
  s.FOwnerPassword = WrapKey(FEncrypt->LookUp("O"));
  s.FUserPassword = WrapKey(FEncrypt->LookUp("U"));
  s.FPermission = FEncrypt->LookUpInt("P", 0);
  const std::int32_t length = FEncrypt->LookUpInt("Length", 40);
  s.FLevel = length == 40 ? TkwPDFEncryptionLevel::el40Bit : TkwPDFEncryptionLevel::el128Bit;

  FSecurity = MakeAESSecurity(*FEncrypt, FTrailer->LookUpArray("ID"));
  if (!FSecurity) FSecurity = std::make_unique<TkwStandardSecurity>(s);
  // The password check runs once; every string and stream afterwards reuses its file key.
  FCryptStream = MakeRef<TkwCryptStream>(TkwRef<TkwStream>(TkwMemoryStream::FromString({})), *FSecurity, 0u, 0u);
  FUserEncryptionSettings = std::make_unique<TkwEncryptionSettings>();
  if (!FCryptStream->CheckPassword(FUserEncryptionSettings.get(), APassword)) throw ExInvalidPassword();
  FIsOwner = FSecurity->GetIsOwner();
  FPassword = APassword;
  FIsEncrypted = true;
}

std::string TkwPDBaseDoc::GetEncryptionMethod() const { return FSecurity && FIsEncrypted ? FSecurity->GetMethodName() : ""; }

std::string TkwPDBaseDoc::DecryptString(std::string_view ABytes, std::uint32_t AObjNum, std::uint32_t AGenNum) {
  if (!FIsEncrypted || !FSecurity) return std::string(ABytes);
  // A block cipher's data is the vector and whole blocks; anything else is damaged and
  // decrypts to what the whole blocks give.
  if (const std::size_t block = FSecurity->BlockSize(TkwCryptTarget::ctString);
      block > 0 && !ABytes.empty() && (ABytes.size() < 2 * block || ABytes.size() % block != 0)) {
    FSink->Note(TkwDiagCode::dcDecryptError, -1, static_cast<int>(AObjNum));
  }
  return FSecurity->Decrypt(ABytes, AObjNum, AGenNum, TkwCryptTarget::ctString);
}

TkwRef<TkwStream> TkwPDBaseDoc::DecryptStream(TkwRef<TkwStream> AData, std::uint32_t AObjNum, std::uint32_t AGenNum,
                                              const TkwPDDictionary* AStreamDict) {
  if (!FIsEncrypted || !FSecurity) return AData;
  const TkwCryptTarget target =
      AStreamDict != nullptr ? FSecurity->StreamTarget(*AStreamDict) : TkwCryptTarget::ctStream;
  if (target == TkwCryptTarget::ctIdentity) return AData;
  return TkwRef<TkwStream>(MakeRef<TkwCryptStream>(std::move(AData), *FSecurity, AObjNum, AGenNum, target));
}

bool TkwPDBaseDoc::Repair() {
  TkwPDXRef* xref = GetXRef();
  if (!FDoRepair || FRepairTried || xref == nullptr) return false;
  FRepairTried = true;  // a loop guard, not a retry
  if (!xref->Rebuild()) return false;
  if (FLoaded) xref->IndexObjectStreams();
  FFailed.clear();
  return true;
}

TkwPDBaseObject* TkwPDBaseDoc::GetObject(std::uint32_t ANum, std::uint32_t) {
  if (!FReader || ANum > static_cast<std::uint32_t>(kMaxObjectNumber)) return nullptr;
  if (TkwPDBaseObject* cached = GetCollection()->Get(ANum)) return cached;
  if (ANum < FFailed.size() && FFailed[ANum]) return nullptr;
  if (ANum < FInProgress.size() && FInProgress[ANum]) return nullptr;
  if (FDepth >= kMaxIndirectDepth) return nullptr;

  if (ANum >= FInProgress.size()) FInProgress.resize(static_cast<std::size_t>(ANum) + 1);
  FInProgress[ANum] = true;
  ++FDepth;
  std::unique_ptr<TkwPDBaseObject> obj;
  TkwFetchStatus status = TkwFetchStatus::fsOk;
  {
    TkwScopeGuard done([this, ANum] {
      --FDepth;
      FInProgress[ANum] = false;
    });
    obj = FReader->Fetch(ANum, &status);
    const bool incomplete = GetXRef() != nullptr && !GetXRef()->GetOk();
    // Some writers give a Size smaller than their highest object, or leave objects out of
    // the table: such objects are looked for in the file once, as other readers do.
    if (!obj && status == TkwFetchStatus::fsNoEntry && !incomplete && FDoRepair && !FBeyondSizeTried &&
        GetXRef() != nullptr && GetXRef()->GetStartObjectNumber() == 0) {
      FBeyondSizeTried = true;
      if (GetXRef()->AddUnlistedObjects()) {
        FFailed.clear();
        obj = FReader->Fetch(ANum, &status);
        if (obj) FSink->Note(TkwDiagCode::dcObjectBeyondSize, -1, static_cast<int>(ANum));
      }
    }
    if (!obj && (status == TkwFetchStatus::fsBadHeader || status == TkwFetchStatus::fsBadObjStm ||
                 (status == TkwFetchStatus::fsNoEntry && incomplete))) {
      FSink->Note(TkwDiagCode::dcBadXRefEntry, -1, static_cast<int>(ANum));
      if (Repair()) obj = FReader->Fetch(ANum, &status);
    }
  }
  if (!obj) {
    // A missing or free object is simply null; one that is there but unreadable is noted.
    if (status != TkwFetchStatus::fsNoEntry && status != TkwFetchStatus::fsFree) {
      FSink->Note(TkwDiagCode::dcBadObject, -1, static_cast<int>(ANum));
    }
    if (ANum >= FFailed.size()) FFailed.resize(static_cast<std::size_t>(ANum) + 1);
    FFailed[ANum] = true;
    return nullptr;
  }
  if (obj->IsStream()) {
    if (TkwStream* top = static_cast<TkwPDStream&>(*obj).GetStream()) {
      top->SetDecodeCap(FDecodeCap);
      top->SetDiagnostics(FSink);
    }
  }
  return GetCollection()->Put(ANum, std::move(obj));
}

TkwPDDictionary* TkwPDBaseDoc::FindCatalogByScan() {
  TkwPDXRef* xref = GetXRef();
  if (xref == nullptr) return nullptr;
  TkwPDDictionary* anyCatalog = nullptr;
  bool anyPage = false;
  for (const std::uint32_t num : xref->GetObjectNumbersInFileOrder()) {
    TkwPDBaseObject* obj = GetObject(num);
    if (obj == nullptr || !obj->IsDict()) continue;
    auto* dict = static_cast<TkwPDDictionary*>(obj);
    if (dict->IsDict("Catalog")) {
      if (dict->LookupRefObj("Pages") != nullptr) return dict;
      if (anyCatalog == nullptr) anyCatalog = dict;
    } else if (dict->IsDict("Page")) {
      anyPage = true;
    }
  }
  if (!anyPage) return nullptr;  // nothing to convert: the original fault is reported
  if (anyCatalog != nullptr) return anyCatalog;
  // Pages without any catalog: an empty one, whose page list is collected in file order.
  const std::uint32_t num = std::max(xref->GetLastObjectNumber(), xref->GetHighestObjectNumber()) + 1;
  xref->SetLastObjectNumber(num);
  auto dict = std::make_unique<TkwPDDictionary>(num, 0, this);
  dict->SetKeyValue("Type", std::make_unique<TkwPDName>("Catalog"));
  return static_cast<TkwPDDictionary*>(AddToCollection(std::move(dict)));
}

TkwPDDictionary* TkwPDBaseDoc::GetDocRoot() {
  if (FCatalog) return FCatalog;
  const auto usable = [](TkwPDBaseObject* ARoot) {
    return ARoot != nullptr && ARoot->IsDict() && static_cast<TkwPDDictionary*>(ARoot)->LookupRefObj("Pages") != nullptr
               ? static_cast<TkwPDDictionary*>(ARoot)
               : nullptr;
  };
  TkwPDBaseObject* root = FTrailer ? FTrailer->LookUp("Root") : nullptr;
  TkwPDDictionary* catalog = usable(root);
  if (catalog == nullptr && FDoRepair) {
    // The trailer names no catalog that has pages: the cross-reference data may be wrong,
    // so it is rebuilt once; failing that, the catalog is looked for among all objects.
    if (!FRepairTried && Repair()) {
      if (auto rebuilt = FReader->GetTrailer()) {
        if (TkwPDBaseObject* ref = rebuilt->LookupRefObj("Root"); ref != nullptr && ref->IsIndirectRef()) {
          catalog = usable(GetObject(ref->GetObjNumber()));
        }
      }
    }
    if (catalog == nullptr) {
      catalog = FindCatalogByScan();
      if (catalog != nullptr) FSink->Note(TkwDiagCode::dcCatalogByScan);
    }
  }
  if (catalog == nullptr) {
    if (root == nullptr || !root->IsDict()) throw ExBadRootObj();
    throw ExNoPageTreeObj();
  }
  FCatalog = catalog;
  FCatalogNum = catalog->GetObjNumber() == kNoObjNum ? -1 : static_cast<std::int64_t>(catalog->GetObjNumber());
  return FCatalog;
}

TkwPDDictionary* TkwPDBaseDoc::GetDocInfo() {
  if (FDocInfo) return FDocInfo;
  if (!FTrailer) return nullptr;
  if (auto* info = FTrailer->LookUp("Info"); info != nullptr && info->IsDict()) {
    FDocInfo = static_cast<TkwPDDictionary*>(info);
  } else {
    // Numbered past every object of the file, so that no reference of the file reaches it.
    TkwPDXRef* xref = GetXRef();
    std::uint32_t num = 1;
    if (xref) num = std::max(xref->GetLastObjectNumber(), xref->GetHighestObjectNumber()) + 1;
    if (xref) xref->SetLastObjectNumber(num);
    auto dict = std::make_unique<TkwPDDictionary>(num, 0, this);
    dict->SetKeyValue("Producer", std::make_unique<TkwPDString>("Quillmark"));
    FTrailer->SetKeyValue("Info", std::make_unique<TkwPDIndirectRef>(num, 0, this));
    FDocInfo = static_cast<TkwPDDictionary*>(AddToCollection(std::move(dict)));
  }
  FDocInfoNum = FDocInfo->GetObjNumber() == kNoObjNum ? -1 : static_cast<std::int64_t>(FDocInfo->GetObjNumber());
  return FDocInfo;
}

void TkwPDBaseDoc::GetDocID(std::string& AInstanceID, std::string& APermanentID) const {
  AInstanceID.clear();
  APermanentID.clear();
  if (!FTrailer) return;
  const TkwPDArray* id = FTrailer->LookUpArray("ID");
  if (id == nullptr) return;
  if (const auto* a = id->Get(0); a != nullptr && a->IsString()) AInstanceID = static_cast<const TkwPDString*>(a)->GetString();
  if (const auto* b = id->Get(1); b != nullptr && b->IsString()) APermanentID = static_cast<const TkwPDString*>(b)->GetString();
}

std::string TkwPDBaseDoc::GetVersion() {
  std::string version = FHeaderVersion;
  try {
    const std::string catalogVersion = GetDocRoot()->LookUpName("Version");
    if (!catalogVersion.empty() && VersionLess(version, catalogVersion)) version = catalogVersion;
  } catch (const EPDFCoreError&) {
  }
  return version;
}

}  // namespace qm
