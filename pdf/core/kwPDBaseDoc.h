#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/kwDiagnostics.h"
#include "base/kwObject.h"
#include "base/kwRef.h"
#include "pdf/core/Decrypt.h"
#include "pdf/core/kwStream.h"
#include "pdf/core/kwPDBaseObject.h"
#include "pdf/core/kwPDXRef.h"

namespace qm {

class TkwPDBaseDoc;
class TkwCryptStream;

// The object cache: every object the document hands out, indexed by object number, owned
// until the document is closed.
class TkwPDCollection : public TkwObject {
public:
  explicit TkwPDCollection(std::size_t ACapacity);
  [[nodiscard]] TkwPDBaseObject* Get(std::uint32_t ANum) const {
    return ANum < FVector.size() ? FVector[ANum].get() : nullptr;
  }
  // Stores AValue under ANum (replacing what was there) and returns it, borrowed.
  TkwPDBaseObject* Put(std::uint32_t ANum, std::unique_ptr<TkwPDBaseObject> AValue);
  [[nodiscard]] std::size_t GetCapacity() const { return FVector.size(); }

private:
  std::vector<std::unique_ptr<TkwPDBaseObject>> FVector;
};

// The file reader: the whole-file window and its cross-reference table.
class TkwPDReader : public TkwObject {
public:
  explicit TkwPDReader(TkwPDBaseDoc& AParentDoc) : FParentDoc(&AParentDoc) {}
  // Creates the table over AStream (the whole file) and reads the chain; throws as
  // TkwPDXRef::GenerateTable.
  void LoadFromStream(TkwRef<TkwBaseStream> AStream);
  // The cross-reference fetch: nullptr for what cannot be read, with the reason.
  [[nodiscard]] std::unique_ptr<TkwPDBaseObject> Fetch(std::uint32_t ANum, TkwFetchStatus* AStatus = nullptr);
  // A clone of the trailer dictionary.
  [[nodiscard]] std::unique_ptr<TkwPDDictionary> GetTrailer() const;
  [[nodiscard]] TkwPDXRef* GetXRef() const { return FXRef.get(); }
  [[nodiscard]] TkwBaseStream* GetFileStream() const { return FStream.Get(); }

private:
  TkwPDBaseDoc* FParentDoc;  // not owned
  TkwRef<TkwBaseStream> FStream;
  std::unique_ptr<TkwPDXRef> FXRef;
};

// The loaded file: cross-reference, trailer, object cache, encryption. Resolves every
// indirect reference of its objects (TkwPDObjectResolver) and decrypts what the parser
// reads from an encrypted file.
class TkwPDBaseDoc : public TkwObject, public TkwPDObjectResolver {
public:
  TkwPDBaseDoc();
  ~TkwPDBaseDoc() override;

  // Reads the cross-reference data, the trailer and the encryption dictionary, and checks
  // APassword. Bytes before the "%PDF-" header are hidden from every offset. With
  // ADoRepair, a table that cannot be read, or an entry that does not lead to its object,
  // makes the table be rebuilt once by scanning the file. Throws the core's exceptions:
  // ExInvalidPDFFile, ExStartXrefNotFound, ExInvalidCatalog,
  // ExImproperCrossRefTableOrStream, ExInvalidPassword, ExInvalidFileID, ExInvalidStream.
  void LoadDocument(TkwRef<TkwBaseStream> AStream, std::string_view APassword, bool ADoRepair = false);

  // Object ANum (AGen plays no part), owned by the document, or nullptr.
  TkwPDBaseObject* GetObject(std::uint32_t ANum, std::uint32_t AGen) override;
  TkwPDBaseObject* GetObject(std::uint32_t ANum) { return GetObject(ANum, 0); }

  [[nodiscard]] bool GetIsEncrypted() const override { return FIsEncrypted; }
  std::string DecryptString(std::string_view ABytes, std::uint32_t AObjNum, std::uint32_t AGenNum) override;
  TkwRef<TkwStream> DecryptStream(TkwRef<TkwStream> AData, std::uint32_t AObjNum, std::uint32_t AGenNum,
                                  const TkwPDDictionary* AStreamDict = nullptr) override;

  // The catalog; ExBadRootObj when Root is not a dictionary, ExNoPageTreeObj without Pages.
  // With repair allowed, a Root that is no catalog with pages makes the table be rebuilt
  // once and the catalog be looked for among the objects (see FindCatalogByScan) first.
  TkwPDDictionary* GetDocRoot();
  [[nodiscard]] TkwPDDictionary* GetEncrypt() const { return FEncrypt; }
  // The information dictionary; when the trailer has none an empty one naming this
  // library as Producer is made (it exists only in memory).
  TkwPDDictionary* GetDocInfo();
  // The two strings of the trailer's ID, as stored; both empty without an ID.
  void GetDocID(std::string& AInstanceID, std::string& APermanentID) const;
  [[nodiscard]] bool GetIsOwner() const { return FIsOwner; }
  [[nodiscard]] const TkwEncryptionSettings* GetEncryptSettings() const { return FEncryptSettings.get(); }
  [[nodiscard]] const TkwEncryptionSettings* GetUserEncryptionSettings() const { return FUserEncryptionSettings.get(); }
  [[nodiscard]] const std::string& GetPassword() const { return FPassword; }
  [[nodiscard]] TkwSecurityHandler* GetSecurityHandler() const { return FSecurity.get(); }
  // "RC4 40-bit", "RC4 128-bit", or empty when not encrypted.
  [[nodiscard]] std::string GetEncryptionMethod() const;
  [[nodiscard]] TkwPDReader* GetReader() const { return FReader.get(); }
  [[nodiscard]] TkwPDXRef* GetXRef() const { return FReader ? FReader->GetXRef() : nullptr; }
  [[nodiscard]] TkwPDDictionary* GetTrailer() const { return FTrailer.get(); }
  TkwPDCollection* GetCollection();
  // Puts a made object into the cache under its own number; returns it, borrowed.
  TkwPDBaseObject* AddToCollection(std::unique_ptr<TkwPDBaseObject> AValue);

  // "1.7": the header's version, or the catalog's Version when that is later.
  [[nodiscard]] std::string GetVersion();
  [[nodiscard]] const std::string& GetHeaderVersion() const { return FHeaderVersion; }
  // Position of "%PDF-" in the file (0 normally).
  [[nodiscard]] std::int64_t GetHeaderOffset() const { return FHeaderOffset; }
  [[nodiscard]] std::int64_t GetFileSize() const { return FFileSize; }
  // True once the table was rebuilt by scanning.
  [[nodiscard]] bool GetRepaired() const;
  [[nodiscard]] TkwDiagnostics& GetDiagnostics() { return *FSink; }
  // Notes go to ADiag (not owned, outlives this document) instead of the document's own
  // list; null returns to the own list. Set before loading.
  void SetDiagnostics(TkwDiagnostics* ADiag) { FSink = ADiag ? ADiag : &FDiag; }

private:
  // Rebuilds the table once; false when already tried or nothing was found.
  bool Repair();
  // The catalog that has pages; else, when the file holds page objects, any catalog or an
  // empty one made for them (their list is then collected in file order); searched among
  // all objects in file order. nullptr when none.
  TkwPDDictionary* FindCatalogByScan();
  void SetupEncryption(std::string_view APassword);

  std::unique_ptr<TkwPDReader> FReader;
  std::unique_ptr<TkwPDCollection> FCollection;
  TkwRef<TkwCryptStream> FCryptStream;
  std::unique_ptr<TkwSecurityHandler> FSecurity;
  std::string FPassword;
  std::unique_ptr<TkwEncryptionSettings> FEncryptSettings;
  std::unique_ptr<TkwEncryptionSettings> FUserEncryptionSettings;
  bool FIsOwner = false;
  std::unique_ptr<TkwPDDictionary> FTrailer;
  // Borrowed from the cache.
  TkwPDDictionary* FCatalog = nullptr;
  TkwPDDictionary* FEncrypt = nullptr;
  TkwPDDictionary* FDocInfo = nullptr;
  std::int64_t FDocInfoNum = -1, FCatalogNum = -1, FEncryptNum = -1;
  bool FIsEncrypted = false;

  bool FDoRepair = false;
  bool FRepairTried = false;
  bool FBeyondSizeTried = false;
  bool FLoaded = false;        // encryption known: object streams may be indexed
  std::vector<bool> FFailed;   // fetches that gave nothing (not retried)
  std::vector<bool> FInProgress;  // fetches under way (a Length that refers to its own stream)
  int FDepth = 0;
  std::string FHeaderVersion;
  std::int64_t FHeaderOffset = 0;
  std::int64_t FFileSize = 0;
  std::int64_t FDecodeCap = 0;
  TkwDiagnostics FDiag;
  TkwDiagnostics* FSink = &FDiag;  // FDiag or the job's
};

}  // namespace qm
