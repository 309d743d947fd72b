#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/kwObject.h"
#include "base/kwRef.h"

namespace qm {

class TkwPDBaseObject;
class TkwPDIndirectRef;
class TkwPDDictionary;
class TkwPDArray;
class TkwPDStream;
class TkwStream;

// Object and generation number of a direct object (all 32 bits set).
inline constexpr std::uint32_t kNoObjNum = 0xFFFFFFFFu;

// ---------------------------------------------------------------------------------------------
// Exceptions of the document core. Each class carries one fixed message.

class EPDFCoreError : public std::runtime_error {
public:
  explicit EPDFCoreError(const std::string& AMessage) : std::runtime_error(AMessage) {}
};

#define QM_PD_EXCEPTION(Name, Message)                  \
  class Name : public EPDFCoreError {                   \
  public:                                               \
    Name() : EPDFCoreError(Message) {}                  \
  }

QM_PD_EXCEPTION(ExInvalidPDFFile, "Invalid PDF Document");
QM_PD_EXCEPTION(ExStartXrefNotFound, "startxref not found");
QM_PD_EXCEPTION(ExImproperCrossRefTableOrStream, "Improper Cross reference Table or Stream");
QM_PD_EXCEPTION(ExInvalidCatalog, "Invalid Catalog");
QM_PD_EXCEPTION(ExBadRootObj, "Catalog not found");
QM_PD_EXCEPTION(ExNoPageTreeObj, "No Page Entry in Catalog");
QM_PD_EXCEPTION(ExInvalidPassword, "Invalid password");
class ExPasswordRequired : public EPDFCoreError {
public:
  ExPasswordRequired() : EPDFCoreError("Encrypted PDF: Password required for loading") {}

protected:
  explicit ExPasswordRequired(const std::string& AMessage) : EPDFCoreError(AMessage) {}
};
// A password was given and it opens nothing; still a request for the password.
class ExWrongPassword final : public ExPasswordRequired {
public:
  ExWrongPassword() : ExPasswordRequired("Wrong password") {}
};
QM_PD_EXCEPTION(ExFileNotFound, "File Not Found");
QM_PD_EXCEPTION(ExFileOpenError, "File Open error");
QM_PD_EXCEPTION(ExInvalidStream, "Invalid Stream");
QM_PD_EXCEPTION(ExInvalidObject, "Invalid Object");
QM_PD_EXCEPTION(ExInvalidBuffer, "Invalid Buffer");
QM_PD_EXCEPTION(ExOutofMemory, "Out of Memory");
QM_PD_EXCEPTION(ExInvalidFileID, "Invalid File ID in Trailer");
QM_PD_EXCEPTION(ExInvalidKeyLen, "RC4: Invalid key length");
QM_PD_EXCEPTION(ExBadPage, "Bad Page object");
QM_PD_EXCEPTION(ExBadAnnotation, "Bad Annotation object");
QM_PD_EXCEPTION(ExBadAction, "Bad Action object");
QM_PD_EXCEPTION(ExCompressionError, "Compression error ");
// Files without a PDF header that no repair could read either.
QM_PD_EXCEPTION(ExNotPDFFile, "Not a PDF file");
QM_PD_EXCEPTION(ExIsDirectory, "Is a directory");
// The input shrank or changed while it was being read (a download or sync still running).
QM_PD_EXCEPTION(ExFileChanged, "The file changed while it was read");

#undef QM_PD_EXCEPTION

// ---------------------------------------------------------------------------------------------
// What containers resolve references through. The document (TkwPDBaseDoc) implements it;
// objects only hold a borrowed pointer, so references stay numbers.
class TkwPDObjectResolver {
public:
  virtual ~TkwPDObjectResolver() = default;

  // The object with that number, owned by the resolver, or nullptr. Implementations ignore
  // the generation (a mismatching generation still resolves to the cached object).
  virtual TkwPDBaseObject* GetObject(std::uint32_t AObjNum, std::uint32_t AGenNum) = 0;

  // Decryption hooks used by the parser when it reads an encrypted document. The defaults
  // say "not encrypted" and pass data through unchanged.
  [[nodiscard]] virtual bool GetIsEncrypted() const { return false; }
  // Decrypted bytes of a string of object AObjNum/AGenNum (hex strings arrive decoded).
  virtual std::string DecryptString(std::string_view ABytes, std::uint32_t AObjNum,
                                    std::uint32_t AGenNum) {
    (void)AObjNum;
    (void)AGenNum;
    return std::string(ABytes);
  }
  // Wraps the raw data window of a stream in a decrypting stream. AStreamDict, the stream's
  // dictionary when known, can exempt the stream (metadata left in the clear, an Identity
  // crypt filter) or name the crypt filter it uses.
  virtual TkwRef<TkwStream> DecryptStream(TkwRef<TkwStream> AData, std::uint32_t AObjNum,
                                          std::uint32_t AGenNum, const TkwPDDictionary* AStreamDict = nullptr);
};

// ---------------------------------------------------------------------------------------------

enum class TkwPDObjTypes : std::uint8_t {
  otBoolean,
  otInteger,
  otReal,
  otString,
  otName,
  otCommand,
  otNull,
  otEOF,
  otError,
  otArray,
  otDict,
  otIndirectRef,
  otStream,
  otNone
};

// Root of every value read from a PDF file or a content stream.
class TkwPDBaseObject : public TkwObject {
public:
  TkwPDBaseObject() = default;
  TkwPDBaseObject(std::uint32_t AObjNumber, std::uint32_t AGenNumber)
      : FObjNumber(AObjNumber), FGenNumber(AGenNumber) {}

  [[nodiscard]] virtual bool IsBoolean() const { return false; }
  [[nodiscard]] virtual bool IsInteger() const { return false; }
  [[nodiscard]] virtual bool IsReal() const { return false; }
  [[nodiscard]] virtual bool IsString() const { return false; }
  [[nodiscard]] virtual bool IsName() const { return false; }
  [[nodiscard]] virtual bool IsNull() const { return false; }
  [[nodiscard]] virtual bool IsArray() const { return false; }
  [[nodiscard]] virtual bool IsDict() const { return false; }
  [[nodiscard]] virtual bool IsStream() const { return false; }
  [[nodiscard]] virtual bool IsIndirectRef() const { return false; }
  [[nodiscard]] virtual bool IsCommand() const { return false; }
  [[nodiscard]] virtual bool IsError() const { return false; }
  [[nodiscard]] virtual bool IsEOF() const { return false; }
  // A name equal to AName after #xx processing of AName.
  [[nodiscard]] bool IsName(std::string_view AName) const;
  // A keyword equal to ACommand. Inline (below TkwPDCommand): the parser asks several times
  // for every token.
  [[nodiscard]] bool IsCommand(std::string_view ACommand) const;
  // A dictionary (not a stream) whose unresolved Type entry is the name ADictType.
  [[nodiscard]] bool IsDict(std::string_view ADictType) const;

  // A new object owned by the caller.
  [[nodiscard]] virtual std::unique_ptr<TkwPDBaseObject> Clone() const = 0;
  // Copies object and generation numbers, and in the kinds the value too.
  virtual void Assign(const TkwPDBaseObject& ASourceObj);

  [[nodiscard]] bool IsNumber() const { return IsInteger() || IsReal(); }
  // Integer or real value; 0 for anything else.
  [[nodiscard]] double GetNumber() const;
  [[nodiscard]] TkwPDObjTypes GetType() const;
  [[nodiscard]] std::uint32_t GetObjNumber() const { return FObjNumber; }
  void SetObjNumber(std::uint32_t AValue) { FObjNumber = AValue; }
  [[nodiscard]] std::uint32_t GetGenNumber() const { return FGenNumber; }
  void SetGenNumber(std::uint32_t AValue) { FGenNumber = AValue; }
  [[nodiscard]] bool GetIsWritten() const { return FIsWritten; }
  void SetIsWritten(bool AValue) { FIsWritten = AValue; }
  [[nodiscard]] bool GetIsChanged() const { return FIsChanged; }
  virtual void SetIsChanged(bool AValue) { FIsChanged = AValue; }

protected:
  std::uint32_t FObjNumber = kNoObjNum;
  std::uint32_t FGenNumber = kNoObjNum;
  bool FIsWritten = false;
  bool FIsChanged = false;
};

// Null, absent, or an error marker: what callers treat as "no value".
[[nodiscard]] inline bool IsAbsent(const TkwPDBaseObject* AObj) {
  return AObj == nullptr || AObj->IsNull() || AObj->IsError() || AObj->IsEOF();
}

class TkwPDBoolean final : public TkwPDBaseObject {
public:
  explicit TkwPDBoolean(bool AValue) : FValue(AValue) {}
  TkwPDBoolean(bool AValue, std::uint32_t AObjNumber, std::uint32_t AGenNumber)
      : TkwPDBaseObject(AObjNumber, AGenNumber), FValue(AValue) {}
  [[nodiscard]] bool IsBoolean() const override { return true; }
  [[nodiscard]] std::unique_ptr<TkwPDBaseObject> Clone() const override;
  void Assign(const TkwPDBaseObject& ASourceObj) override;
  [[nodiscard]] bool GetValue() const { return FValue; }
  void SetBool(bool AValue) {
    FValue = AValue;
    FIsChanged = true;
  }

private:
  bool FValue;
};

class TkwPDInteger final : public TkwPDBaseObject {
public:
  explicit TkwPDInteger(std::int32_t AValue) : FValue(AValue) {}
  TkwPDInteger(std::int32_t AValue, std::uint32_t AObjNumber, std::uint32_t AGenNumber)
      : TkwPDBaseObject(AObjNumber, AGenNumber), FValue(AValue) {}
  [[nodiscard]] bool IsInteger() const override { return true; }
  [[nodiscard]] std::unique_ptr<TkwPDBaseObject> Clone() const override;
  void Assign(const TkwPDBaseObject& ASourceObj) override;
  [[nodiscard]] std::int32_t GetValue() const { return FValue; }
  void SetValue(std::int32_t AValue) {
    FValue = AValue;
    FIsChanged = true;
  }

private:
  std::int32_t FValue;
};

class TkwPDReal final : public TkwPDBaseObject {
public:
  explicit TkwPDReal(long double AValue) : FValue(AValue) {}
  TkwPDReal(long double AValue, std::uint32_t AObjNumber, std::uint32_t AGenNumber)
      : TkwPDBaseObject(AObjNumber, AGenNumber), FValue(AValue) {}
  [[nodiscard]] bool IsReal() const override { return true; }
  [[nodiscard]] std::unique_ptr<TkwPDBaseObject> Clone() const override;
  void Assign(const TkwPDBaseObject& ASourceObj) override;
  [[nodiscard]] double GetValue() const { return static_cast<double>(FValue); }
  [[nodiscard]] long double GetExtended() const { return FValue; }
  void SetValue(long double AValue) {
    FValue = AValue;
    FIsChanged = true;
  }

private:
  long double FValue;
};

class TkwPDString final : public TkwPDBaseObject {
public:
  // A literal string (bytes after escape processing) or, with AIsHex, the hex digit text.
  explicit TkwPDString(std::string AValue, bool AIsHex = false)
      : FValue(std::move(AValue)), FIsHex(AIsHex) {}
  TkwPDString(std::string AValue, std::uint32_t AObjNumber, std::uint32_t AGenNumber,
              bool AIsHex)
      : TkwPDBaseObject(AObjNumber, AGenNumber), FValue(std::move(AValue)), FIsHex(AIsHex) {}
  // Hex string "FEFF" followed by four hex digits (00xx) per byte of AStringForHex.
  [[nodiscard]] static std::unique_ptr<TkwPDString> CreateForHex(std::string_view AStringForHex);

  [[nodiscard]] bool IsString() const override { return true; }
  [[nodiscard]] std::unique_ptr<TkwPDBaseObject> Clone() const override;
  void Assign(const TkwPDBaseObject& ASourceObj) override;
  // FValue as stored: the digit text of a hex string.
  [[nodiscard]] const std::string& GetString() const { return FValue; }
  [[nodiscard]] bool IsHexString() const { return FIsHex; }
  // The bytes: hex digit pairs decoded (an odd last digit counts as followed by 0,
  // non-digits are skipped), FValue for a literal string.
  [[nodiscard]] std::string GetHexToString() const;
  void SetString(std::string AValue) {
    FValue = std::move(AValue);
    FIsChanged = true;
  }
  void SetHexToString(std::string_view AValue);

private:
  std::string FValue;
  bool FIsHex;
};

class TkwPDName final : public TkwPDBaseObject {
public:
  // AValue is the name as written after "/", #xx escapes still in it; they are decoded here.
  explicit TkwPDName(std::string_view AValue);
  TkwPDName(std::string_view AValue, std::uint32_t AObjNumber, std::uint32_t AGenNumber);
  using TkwPDBaseObject::IsName;
  [[nodiscard]] bool IsName() const override { return true; }
  [[nodiscard]] std::unique_ptr<TkwPDBaseObject> Clone() const override;
  void Assign(const TkwPDBaseObject& ASourceObj) override;
  [[nodiscard]] const std::string& GetValue() const { return FValue; }
  // Stores AValue unchanged (no escape processing).
  void SetName(std::string AValue) {
    FValue = std::move(AValue);
    FIsChanged = true;
  }
  // #xx escapes decoded to the byte xx; a "#" not followed by two hex digits stays.
  [[nodiscard]] static std::string DecodeEscapes(std::string_view AValue);

private:
  struct TRaw {};
  TkwPDName(TRaw, std::string AValue) : FValue(std::move(AValue)) {}
  std::string FValue;
};

class TkwPDNull final : public TkwPDBaseObject {
public:
  TkwPDNull() = default;
  TkwPDNull(std::uint32_t AObjNumber, std::uint32_t AGenNumber)
      : TkwPDBaseObject(AObjNumber, AGenNumber) {}
  [[nodiscard]] bool IsNull() const override { return true; }
  [[nodiscard]] std::unique_ptr<TkwPDBaseObject> Clone() const override;
};

// Every bare keyword other than true, false and null, and the delimiters [ ] << >>.
class TkwPDCommand final : public TkwPDBaseObject {
public:
  explicit TkwPDCommand(std::string AValue) : FValue(std::move(AValue)) {}
  using TkwPDBaseObject::IsCommand;
  [[nodiscard]] bool IsCommand() const override { return true; }
  [[nodiscard]] std::unique_ptr<TkwPDBaseObject> Clone() const override;
  void Assign(const TkwPDBaseObject& ASourceObj) override;
  [[nodiscard]] const std::string& GetValue() const { return FValue; }

private:
  std::string FValue;
};

inline bool TkwPDBaseObject::IsCommand(std::string_view ACommand) const {
  return IsCommand() && static_cast<const TkwPDCommand*>(this)->GetValue() == ACommand;
}

// N G R. The numbers are the base class's object and generation numbers.
class TkwPDIndirectRef final : public TkwPDBaseObject {
public:
  TkwPDIndirectRef(std::uint32_t AObjNumber, std::uint32_t AGenNumber,
                   TkwPDObjectResolver* AParentDoc = nullptr)
      : TkwPDBaseObject(AObjNumber, AGenNumber), FParentDoc(AParentDoc) {}
  [[nodiscard]] bool IsIndirectRef() const override { return true; }
  [[nodiscard]] std::unique_ptr<TkwPDBaseObject> Clone() const override;
  [[nodiscard]] TkwPDObjectResolver* GetParentDoc() const { return FParentDoc; }
  void SetParentDoc(TkwPDObjectResolver* ADoc) { FParentDoc = ADoc; }
  // The referenced object through the parent document, or nullptr without one.
  [[nodiscard]] TkwPDBaseObject* Resolve() const;

private:
  TkwPDObjectResolver* FParentDoc;  // not owned
};

class TkwPDEOF final : public TkwPDBaseObject {
public:
  TkwPDEOF() = default;
  [[nodiscard]] bool IsEOF() const override { return true; }
  [[nodiscard]] std::unique_ptr<TkwPDBaseObject> Clone() const override;
};

class TkwPDError final : public TkwPDBaseObject {
public:
  TkwPDError() = default;
  [[nodiscard]] bool IsError() const override { return true; }
  [[nodiscard]] std::unique_ptr<TkwPDBaseObject> Clone() const override;
};

// ---------------------------------------------------------------------------------------------
// Shareable container bodies.

class TkwArray final : public TkwRefCounted {
public:
  explicit TkwArray(TkwPDObjectResolver* AParentDoc = nullptr) : FParentDoc(AParentDoc) {}
  void Add(std::unique_ptr<TkwPDBaseObject> AObject);
  void Insert(std::unique_ptr<TkwPDBaseObject> AObject, std::size_t AIndex);
  void Remove(std::size_t AIndex);
  // Resolved through the parent document (only when there is one); nullptr out of range.
  [[nodiscard]] TkwPDBaseObject* Get(std::size_t AIndex) const;
  [[nodiscard]] TkwPDBaseObject* GetRefObj(std::size_t AIndex) const;
  [[nodiscard]] std::size_t Length() const { return FElements.size(); }
  [[nodiscard]] TkwPDObjectResolver* GetParentDoc() const { return FParentDoc; }
  void SetParentDoc(TkwPDObjectResolver* ADoc) { FParentDoc = ADoc; }

private:
  TkwPDObjectResolver* FParentDoc;  // not owned
  std::vector<std::unique_ptr<TkwPDBaseObject>> FElements;
};

class TkwDict final : public TkwRefCounted {
public:
  using TEntry = std::pair<std::string, std::unique_ptr<TkwPDBaseObject>>;

  explicit TkwDict(TkwPDObjectResolver* AParentDoc = nullptr) : FParentDoc(AParentDoc) {}
  // Appends without looking for an existing key.
  void Add(std::string AKey, std::unique_ptr<TkwPDBaseObject> AValue);
  // A key given as a name object is added by its text; any other key object is ignored.
  void Add(const TkwPDBaseObject& AKey, std::unique_ptr<TkwPDBaseObject> AValue);
  [[nodiscard]] TkwPDBaseObject* LookUp(std::string_view AKey) const;
  [[nodiscard]] TkwPDBaseObject* LookupRefObj(std::string_view AKey) const;
  // Index order is the sorted key order once any lookup has happened.
  [[nodiscard]] TkwPDBaseObject* GetValue(std::size_t AIndex) const;
  [[nodiscard]] TkwPDBaseObject* GetValueRefObj(std::size_t AIndex) const;
  [[nodiscard]] std::string GetKey(std::size_t AIndex) const;
  void Remove(std::string_view AKey);
  [[nodiscard]] std::size_t GetLength() const { return FEntries.size(); }
  [[nodiscard]] const std::vector<TEntry>& GetEntries() const { return FEntries; }
  // The unresolved Type entry is the name AType.
  [[nodiscard]] bool Isof(std::string_view AType) const;
  // Deep copy, sorted by key.
  [[nodiscard]] TkwRef<TkwDict> Clone() const;
  [[nodiscard]] TkwPDObjectResolver* GetParentDoc() const { return FParentDoc; }
  void SetParentDoc(TkwPDObjectResolver* ADoc) { FParentDoc = ADoc; }

private:
  void Sort() const;
  TkwPDObjectResolver* FParentDoc;  // not owned
  mutable std::vector<TEntry> FEntries;
  mutable bool FSorted = true;
};

// Follows AObj when it is a reference with a resolver; otherwise AObj itself.
[[nodiscard]] TkwPDBaseObject* ResolveObject(TkwPDBaseObject* AObj,
                                             TkwPDObjectResolver* ADoc);

// ---------------------------------------------------------------------------------------------

// Array facade over a shared body: clones share the body.
class TkwPDArray final : public TkwPDBaseObject {
public:
  explicit TkwPDArray(TkwPDObjectResolver* AParentDoc = nullptr);
  TkwPDArray(TkwPDObjectResolver* AParentDoc, std::uint32_t AObjNumber, std::uint32_t AGenNumber);
  TkwPDArray(TkwRef<TkwArray> AArray, std::uint32_t AObjNumber, std::uint32_t AGenNumber);

  [[nodiscard]] bool IsArray() const override { return true; }
  [[nodiscard]] std::unique_ptr<TkwPDBaseObject> Clone() const override;
  void Assign(const TkwPDBaseObject& ASourceObj) override;

  void Add(std::unique_ptr<TkwPDBaseObject> AObject);
  void Insert(std::unique_ptr<TkwPDBaseObject> AObject, std::size_t AIndex);
  void Remove(std::size_t AIndex);
  [[nodiscard]] TkwPDBaseObject* Get(std::size_t AIndex) const { return FArray->Get(AIndex); }
  [[nodiscard]] TkwPDBaseObject* GetRefObj(std::size_t AIndex) const {
    return FArray->GetRefObj(AIndex);
  }
  // Caller-owned clone of Get; a new TkwPDNull when that is nullptr.
  [[nodiscard]] std::unique_ptr<TkwPDBaseObject> GetClone(std::size_t AIndex) const;
  [[nodiscard]] std::size_t GetLength() const { return FArray->Length(); }
  // Number at AIndex (resolved), or ADefault when absent or not a number.
  [[nodiscard]] double GetNumber(std::size_t AIndex, double ADefault = 0) const;
  // Appends every reference stored in the array, descending into nested containers.
  void GetIndirectRefs(std::vector<const TkwPDIndirectRef*>& AList) const;
  [[nodiscard]] TkwArray& GetBody() const { return *FArray; }
  [[nodiscard]] TkwPDObjectResolver* GetParentDoc() const { return FArray->GetParentDoc(); }
  void SetParentDoc(TkwPDObjectResolver* ADoc) { FArray->SetParentDoc(ADoc); }

private:
  TkwRef<TkwArray> FArray;
};

// Dictionary facade over a body; clones are deep copies.
class TkwPDDictionary : public TkwPDBaseObject {
public:
  explicit TkwPDDictionary(TkwPDObjectResolver* AParentDoc = nullptr);
  TkwPDDictionary(std::uint32_t AObjNumber, std::uint32_t AGenNumber,
                  TkwPDObjectResolver* AParentDoc);
  TkwPDDictionary(std::uint32_t AObjNumber, std::uint32_t AGenNumber, TkwRef<TkwDict> ADict);

  using TkwPDBaseObject::IsDict;
  [[nodiscard]] bool IsDict() const override { return true; }
  [[nodiscard]] std::unique_ptr<TkwPDBaseObject> Clone() const override;
  [[nodiscard]] std::unique_ptr<TkwPDDictionary> CloneDict() const;
  // Fresh entries cloned from the source's (nulls included).
  void Assign(const TkwPDBaseObject& ASourceObj) override;

  // Resolved value (generation ignored), nullptr when missing or unresolvable.
  [[nodiscard]] TkwPDBaseObject* LookUp(std::string_view AKey) const { return FDict->LookUp(AKey); }
  [[nodiscard]] TkwPDBaseObject* LookupRefObj(std::string_view AKey) const {
    return FDict->LookupRefObj(AKey);
  }
  // Caller-owned clone of LookUp; a new TkwPDNull when that is nullptr.
  [[nodiscard]] std::unique_ptr<TkwPDBaseObject> LookUpClone(std::string_view AKey) const;
  [[nodiscard]] TkwPDBaseObject* GetValue(std::size_t AIndex) const {
    return FDict->GetValue(AIndex);
  }
  [[nodiscard]] TkwPDBaseObject* GetValueRefObj(std::size_t AIndex) const {
    return FDict->GetValueRefObj(AIndex);
  }
  [[nodiscard]] std::string GetKey(std::size_t AIndex) const { return FDict->GetKey(AIndex); }
  [[nodiscard]] std::size_t GetLength() const { return FDict->GetLength(); }
  // Replaces every entry under AKey with AValue and marks the dictionary changed.
  void SetKeyValue(std::string_view AKey, std::unique_ptr<TkwPDBaseObject> AValue);
  // Appends without replacing (what the parser does).
  void Add(std::string AKey, std::unique_ptr<TkwPDBaseObject> AValue) {
    FDict->Add(std::move(AKey), std::move(AValue));
  }
  void Remove(std::string_view AKey) { FDict->Remove(AKey); }
  void GetIndirectRefs(std::vector<const TkwPDIndirectRef*>& AList) const;

  // Typed lookups (resolved); nullptr or ADefault when missing or of another kind.
  [[nodiscard]] std::int32_t LookUpInt(std::string_view AKey, std::int32_t ADefault = 0) const;
  [[nodiscard]] double LookUpNumber(std::string_view AKey, double ADefault = 0) const;
  [[nodiscard]] bool LookUpBool(std::string_view AKey, bool ADefault = false) const;
  // The name's text, or empty.
  [[nodiscard]] std::string LookUpName(std::string_view AKey) const;
  [[nodiscard]] TkwPDDictionary* LookUpDict(std::string_view AKey) const;  // streams excluded
  [[nodiscard]] TkwPDArray* LookUpArray(std::string_view AKey) const;
  [[nodiscard]] TkwPDStream* LookUpStream(std::string_view AKey) const;

  [[nodiscard]] TkwDict& GetBody() const { return *FDict; }
  [[nodiscard]] TkwPDObjectResolver* GetParentDoc() const { return FDict->GetParentDoc(); }
  void SetParentDoc(TkwPDObjectResolver* ADoc) { FDict->SetParentDoc(ADoc); }

private:
  TkwRef<TkwDict> FDict;
};

// A stream dictionary and the decoded byte source (top of the filter chain). Clones share
// both the byte source and the dictionary.
class TkwPDStream final : public TkwPDBaseObject {
public:
  explicit TkwPDStream(TkwPDObjectResolver* AParentDoc = nullptr);
  TkwPDStream(TkwRef<TkwStream> AStream, std::unique_ptr<TkwPDDictionary> ADict);
  TkwPDStream(TkwRef<TkwStream> AStream, std::unique_ptr<TkwPDDictionary> ADict,
              std::uint32_t AObjNumber, std::uint32_t AGenNumber);
  ~TkwPDStream() override;

  [[nodiscard]] bool IsStream() const override { return true; }
  [[nodiscard]] std::unique_ptr<TkwPDBaseObject> Clone() const override;
  void Assign(const TkwPDBaseObject& ASourceObj) override;
  void SetIsChanged(bool AValue) override;

  // Never nullptr: a stream built without one has an empty dictionary.
  [[nodiscard]] TkwPDDictionary* GetDict() const { return FDict.get(); }
  // Top of the decoding chain; may be nullptr for a stream built without data.
  [[nodiscard]] TkwStream* GetStream() const { return FStream.Get(); }
  [[nodiscard]] const TkwRef<TkwStream>& GetStreamRef() const { return FStream; }
  void SetStream(TkwRef<TkwStream> AStream);
  // Restarts decoding from the first byte; any failure of the chain becomes ExInvalidStream.
  void Reset();
  // Resets and returns at most ALimit decoded bytes (kMaxDecodedBytes when negative); bytes
  // up to a failure while reading are kept. A failing Reset raises ExInvalidStream.
  [[nodiscard]] std::string ReadAll(std::int64_t ALimit = -1);
  [[nodiscard]] TkwPDObjectResolver* GetParentDoc() const { return FParentDoc; }

private:
  TkwRef<TkwStream> FStream;
  std::shared_ptr<TkwPDDictionary> FDict;
  TkwPDObjectResolver* FParentDoc = nullptr;  // not owned
};

}  // namespace qm
