#include "pdf/core/kwPDBaseObject.h"

#include <algorithm>
#include <new>

#include "base/Limits.h"
#include "pdf/core/kwStream.h"

namespace qm {

TkwRef<TkwStream> TkwPDObjectResolver::DecryptStream(TkwRef<TkwStream> AData, std::uint32_t AObjNum,
                                                     std::uint32_t AGenNum, const TkwPDDictionary* AStreamDict) {
  (void)AObjNum;
  (void)AGenNum;
  (void)AStreamDict;
  return AData;
}

// --- base ----------------------------------------------------------------------------------

bool TkwPDBaseObject::IsName(std::string_view AName) const {
  if (!IsName()) return false;
  const std::string& value = static_cast<const TkwPDName*>(this)->GetValue();
  if (AName.find('#') == std::string_view::npos) return value == AName;
  return value == TkwPDName::DecodeEscapes(AName);
}

bool TkwPDBaseObject::IsDict(std::string_view ADictType) const {
  if (!IsDict()) return false;
  const TkwPDBaseObject* type = static_cast<const TkwPDDictionary*>(this)->LookupRefObj("Type");
  return type != nullptr && type->IsName(ADictType);
}

void TkwPDBaseObject::Assign(const TkwPDBaseObject& ASourceObj) {
  FObjNumber = ASourceObj.FObjNumber;
  FGenNumber = ASourceObj.FGenNumber;
}

double TkwPDBaseObject::GetNumber() const {
  if (IsInteger()) return static_cast<const TkwPDInteger*>(this)->GetValue();
  if (IsReal()) return static_cast<const TkwPDReal*>(this)->GetValue();
  return 0;
}

TkwPDObjTypes TkwPDBaseObject::GetType() const {
  using enum TkwPDObjTypes;
  if (IsBoolean()) return otBoolean;
  if (IsInteger()) return otInteger;
  if (IsReal()) return otReal;
  if (IsString()) return otString;
  if (IsName()) return otName;
  if (IsNull()) return otNull;
  if (IsArray()) return otArray;
  if (IsDict()) return otDict;
  if (IsStream()) return otStream;
  if (IsIndirectRef()) return otIndirectRef;
  if (IsCommand()) return otCommand;
  if (IsError()) return otError;
  if (IsEOF()) return otEOF;
  return otNone;
}

// --- scalars -------------------------------------------------------------------------------

namespace {

template <class T, class... Args>
std::unique_ptr<TkwPDBaseObject> CloneNumbered(const TkwPDBaseObject& ASource, Args&&... AArgs) {
  auto result = std::make_unique<T>(std::forward<Args>(AArgs)...);
  result->SetObjNumber(ASource.GetObjNumber());
  result->SetGenNumber(ASource.GetGenNumber());
  return result;
}

int HexValue(char AChar) {
  if (AChar >= '0' && AChar <= '9') return AChar - '0';
  if (AChar >= 'A' && AChar <= 'F') return AChar - 'A' + 10;
  if (AChar >= 'a' && AChar <= 'f') return AChar - 'a' + 10;
  return -1;
}

std::string EncodeUtf16Hex(std::string_view ABytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string result = "FEFF";
  result.reserve(4 + ABytes.size() * 4);
  for (const char ch : ABytes) {
    const auto c = static_cast<unsigned char>(ch);
    result += "00";
    result += kDigits[c >> 4];
    result += kDigits[c & 15];
  }
  return result;
}

}  // namespace

std::unique_ptr<TkwPDBaseObject> TkwPDBoolean::Clone() const {
  return CloneNumbered<TkwPDBoolean>(*this, FValue);
}
void TkwPDBoolean::Assign(const TkwPDBaseObject& ASourceObj) {
  TkwPDBaseObject::Assign(ASourceObj);
  if (ASourceObj.IsBoolean()) FValue = static_cast<const TkwPDBoolean&>(ASourceObj).FValue;
}

std::unique_ptr<TkwPDBaseObject> TkwPDInteger::Clone() const {
  return CloneNumbered<TkwPDInteger>(*this, FValue);
}
void TkwPDInteger::Assign(const TkwPDBaseObject& ASourceObj) {
  TkwPDBaseObject::Assign(ASourceObj);
  if (ASourceObj.IsInteger()) FValue = static_cast<const TkwPDInteger&>(ASourceObj).FValue;
}

std::unique_ptr<TkwPDBaseObject> TkwPDReal::Clone() const {
  return CloneNumbered<TkwPDReal>(*this, FValue);
}
void TkwPDReal::Assign(const TkwPDBaseObject& ASourceObj) {
  TkwPDBaseObject::Assign(ASourceObj);
  if (ASourceObj.IsReal()) FValue = static_cast<const TkwPDReal&>(ASourceObj).FValue;
}

std::unique_ptr<TkwPDString> TkwPDString::CreateForHex(std::string_view AStringForHex) {
  return std::make_unique<TkwPDString>(EncodeUtf16Hex(AStringForHex), true);
}
std::unique_ptr<TkwPDBaseObject> TkwPDString::Clone() const {
  return CloneNumbered<TkwPDString>(*this, FValue, FIsHex);
}
void TkwPDString::Assign(const TkwPDBaseObject& ASourceObj) {
  TkwPDBaseObject::Assign(ASourceObj);
  if (ASourceObj.IsString()) {
    const auto& source = static_cast<const TkwPDString&>(ASourceObj);
    FValue = source.FValue;
    FIsHex = source.FIsHex;
  }
}
std::string TkwPDString::GetHexToString() const {
  if (!FIsHex) return FValue;
  std::string result;
  result.reserve(FValue.size() / 2 + 1);
  int high = -1;
  for (char c : FValue) {
    const int digit = HexValue(c);
    if (digit < 0) continue;
    if (high < 0) {
      high = digit;
    } else {
      result += static_cast<char>(high * 16 + digit);
      high = -1;
    }
  }
  if (high >= 0) result += static_cast<char>(high * 16);
  return result;
}
void TkwPDString::SetHexToString(std::string_view AValue) {
  FValue = FIsHex ? EncodeUtf16Hex(AValue) : std::string(AValue);
  FIsChanged = true;
}

std::string TkwPDName::DecodeEscapes(std::string_view AValue) {
  std::string result;
  result.reserve(AValue.size());
  for (std::size_t i = 0; i < AValue.size(); ++i) {
    if (AValue[i] == '#' && i + 2 < AValue.size()) {
      const int high = HexValue(AValue[i + 1]);
      const int low = HexValue(AValue[i + 2]);
      if (high >= 0 && low >= 0) {
        result += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    result += AValue[i];
  }
  return result;
}
TkwPDName::TkwPDName(std::string_view AValue) : FValue(DecodeEscapes(AValue)) {}
TkwPDName::TkwPDName(std::string_view AValue, std::uint32_t AObjNumber, std::uint32_t AGenNumber)
    : TkwPDBaseObject(AObjNumber, AGenNumber), FValue(DecodeEscapes(AValue)) {}
std::unique_ptr<TkwPDBaseObject> TkwPDName::Clone() const {
  auto result = std::unique_ptr<TkwPDName>(new TkwPDName(TRaw{}, FValue));
  result->SetObjNumber(FObjNumber);
  result->SetGenNumber(FGenNumber);
  return result;
}
void TkwPDName::Assign(const TkwPDBaseObject& ASourceObj) {
  TkwPDBaseObject::Assign(ASourceObj);
  if (ASourceObj.IsName()) FValue = static_cast<const TkwPDName&>(ASourceObj).FValue;
}

std::unique_ptr<TkwPDBaseObject> TkwPDNull::Clone() const {
  return std::make_unique<TkwPDNull>(FObjNumber, FGenNumber);
}

std::unique_ptr<TkwPDBaseObject> TkwPDCommand::Clone() const {
  return CloneNumbered<TkwPDCommand>(*this, FValue);
}
void TkwPDCommand::Assign(const TkwPDBaseObject& ASourceObj) {
  TkwPDBaseObject::Assign(ASourceObj);
  if (ASourceObj.IsCommand()) FValue = static_cast<const TkwPDCommand&>(ASourceObj).FValue;
}

std::unique_ptr<TkwPDBaseObject> TkwPDIndirectRef::Clone() const {
  return std::make_unique<TkwPDIndirectRef>(FObjNumber, FGenNumber, FParentDoc);
}
TkwPDBaseObject* TkwPDIndirectRef::Resolve() const {
  return FParentDoc ? FParentDoc->GetObject(FObjNumber, FGenNumber) : nullptr;
}

std::unique_ptr<TkwPDBaseObject> TkwPDEOF::Clone() const { return CloneNumbered<TkwPDEOF>(*this); }
std::unique_ptr<TkwPDBaseObject> TkwPDError::Clone() const {
  return CloneNumbered<TkwPDError>(*this);
}

TkwPDBaseObject* ResolveObject(TkwPDBaseObject* AObj, TkwPDObjectResolver* ADoc) {
  if (AObj == nullptr || !AObj->IsIndirectRef()) return AObj;
  if (ADoc == nullptr) ADoc = static_cast<TkwPDIndirectRef*>(AObj)->GetParentDoc();
  if (ADoc == nullptr) return nullptr;
  return ADoc->GetObject(AObj->GetObjNumber(), AObj->GetGenNumber());
}

// --- bodies --------------------------------------------------------------------------------

void TkwArray::Add(std::unique_ptr<TkwPDBaseObject> AObject) {
  if (AObject) FElements.push_back(std::move(AObject));
}
void TkwArray::Insert(std::unique_ptr<TkwPDBaseObject> AObject, std::size_t AIndex) {
  if (!AObject) return;
  AIndex = std::min(AIndex, FElements.size());
  FElements.insert(FElements.begin() + static_cast<std::ptrdiff_t>(AIndex), std::move(AObject));
}
void TkwArray::Remove(std::size_t AIndex) {
  if (AIndex < FElements.size()) {
    FElements.erase(FElements.begin() + static_cast<std::ptrdiff_t>(AIndex));
  }
}
TkwPDBaseObject* TkwArray::Get(std::size_t AIndex) const {
  TkwPDBaseObject* obj = GetRefObj(AIndex);
  if (obj == nullptr || !obj->IsIndirectRef()) return obj;
  if (FParentDoc == nullptr) return obj;
  return FParentDoc->GetObject(obj->GetObjNumber(), obj->GetGenNumber());
}
TkwPDBaseObject* TkwArray::GetRefObj(std::size_t AIndex) const {
  return AIndex < FElements.size() ? FElements[AIndex].get() : nullptr;
}

void TkwDict::Add(std::string AKey, std::unique_ptr<TkwPDBaseObject> AValue) {
  if (!AValue) return;
  if (FSorted && !FEntries.empty() && FEntries.back().first > AKey) FSorted = false;
  FEntries.emplace_back(std::move(AKey), std::move(AValue));
}
void TkwDict::Add(const TkwPDBaseObject& AKey, std::unique_ptr<TkwPDBaseObject> AValue) {
  if (AKey.IsName()) Add(static_cast<const TkwPDName&>(AKey).GetValue(), std::move(AValue));
}
void TkwDict::Sort() const {
  if (FSorted) return;
  // Stable, so that of a key given twice the first one read is the one found.
  std::stable_sort(FEntries.begin(), FEntries.end(),
                   [](const TEntry& a, const TEntry& b) { return a.first < b.first; });
  FSorted = true;
}
TkwPDBaseObject* TkwDict::LookupRefObj(std::string_view AKey) const {
  Sort();
  auto it = std::lower_bound(FEntries.begin(), FEntries.end(), AKey,
                             [](const TEntry& e, std::string_view k) { return e.first < k; });
  if (it == FEntries.end() || it->first != AKey) return nullptr;
  return it->second.get();
}
TkwPDBaseObject* TkwDict::LookUp(std::string_view AKey) const {
  TkwPDBaseObject* obj = LookupRefObj(AKey);
  if (obj == nullptr || !obj->IsIndirectRef()) return obj;
  if (FParentDoc == nullptr) return nullptr;
  return FParentDoc->GetObject(obj->GetObjNumber(), obj->GetGenNumber());
}
TkwPDBaseObject* TkwDict::GetValueRefObj(std::size_t AIndex) const {
  Sort();
  return AIndex < FEntries.size() ? FEntries[AIndex].second.get() : nullptr;
}
TkwPDBaseObject* TkwDict::GetValue(std::size_t AIndex) const {
  TkwPDBaseObject* obj = GetValueRefObj(AIndex);
  if (obj == nullptr || !obj->IsIndirectRef()) return obj;
  if (FParentDoc == nullptr) return nullptr;
  return FParentDoc->GetObject(obj->GetObjNumber(), obj->GetGenNumber());
}
std::string TkwDict::GetKey(std::size_t AIndex) const {
  Sort();
  return AIndex < FEntries.size() ? FEntries[AIndex].first : std::string();
}
void TkwDict::Remove(std::string_view AKey) {
  std::erase_if(FEntries, [&](const TEntry& e) { return e.first == AKey; });
}
bool TkwDict::Isof(std::string_view AType) const {
  const TkwPDBaseObject* type = LookupRefObj("Type");
  return type != nullptr && type->IsName(AType);
}
TkwRef<TkwDict> TkwDict::Clone() const {
  Sort();
  auto result = MakeRef<TkwDict>(FParentDoc);
  for (const auto& [key, value] : FEntries) result->Add(key, value->Clone());
  return result;
}

// --- array ---------------------------------------------------------------------------------

TkwPDArray::TkwPDArray(TkwPDObjectResolver* AParentDoc) : FArray(MakeRef<TkwArray>(AParentDoc)) {}
TkwPDArray::TkwPDArray(TkwPDObjectResolver* AParentDoc, std::uint32_t AObjNumber,
                       std::uint32_t AGenNumber)
    : TkwPDBaseObject(AObjNumber, AGenNumber), FArray(MakeRef<TkwArray>(AParentDoc)) {}
TkwPDArray::TkwPDArray(TkwRef<TkwArray> AArray, std::uint32_t AObjNumber, std::uint32_t AGenNumber)
    : TkwPDBaseObject(AObjNumber, AGenNumber),
      FArray(AArray ? std::move(AArray) : MakeRef<TkwArray>()) {}

std::unique_ptr<TkwPDBaseObject> TkwPDArray::Clone() const {
  auto result = std::make_unique<TkwPDArray>(FArray, FObjNumber, FGenNumber);
  result->FIsChanged = FIsChanged;
  return result;
}
void TkwPDArray::Assign(const TkwPDBaseObject& ASourceObj) {
  TkwPDBaseObject::Assign(ASourceObj);
  if (ASourceObj.IsArray()) FArray = static_cast<const TkwPDArray&>(ASourceObj).FArray;
}
void TkwPDArray::Add(std::unique_ptr<TkwPDBaseObject> AObject) {
  FArray->Add(std::move(AObject));
  FIsChanged = true;
}
void TkwPDArray::Insert(std::unique_ptr<TkwPDBaseObject> AObject, std::size_t AIndex) {
  FArray->Insert(std::move(AObject), AIndex);
  FIsChanged = true;
}
void TkwPDArray::Remove(std::size_t AIndex) {
  FArray->Remove(AIndex);
  FIsChanged = true;
}
std::unique_ptr<TkwPDBaseObject> TkwPDArray::GetClone(std::size_t AIndex) const {
  const TkwPDBaseObject* obj = Get(AIndex);
  if (obj == nullptr) return std::make_unique<TkwPDNull>();
  return obj->Clone();
}
double TkwPDArray::GetNumber(std::size_t AIndex, double ADefault) const {
  const TkwPDBaseObject* obj = Get(AIndex);
  return obj != nullptr && obj->IsNumber() ? obj->GetNumber() : ADefault;
}

namespace {

void CollectRefs(const TkwPDBaseObject* AObj, std::vector<const TkwPDIndirectRef*>& AList,
                 int ADepth) {
  if (AObj == nullptr || ADepth > kMaxObjectDepth) return;
  if (AObj->IsIndirectRef()) {
    AList.push_back(static_cast<const TkwPDIndirectRef*>(AObj));
  } else if (AObj->IsArray()) {
    const auto& array = static_cast<const TkwPDArray&>(*AObj);
    for (std::size_t i = 0; i < array.GetLength(); ++i) {
      CollectRefs(array.GetRefObj(i), AList, ADepth + 1);
    }
  } else if (AObj->IsDict()) {
    const auto& dict = static_cast<const TkwPDDictionary&>(*AObj);
    for (const auto& entry : dict.GetBody().GetEntries()) {
      CollectRefs(entry.second.get(), AList, ADepth + 1);
    }
  } else if (AObj->IsStream()) {
    CollectRefs(static_cast<const TkwPDStream*>(AObj)->GetDict(), AList, ADepth + 1);
  }
}

}  // namespace

void TkwPDArray::GetIndirectRefs(std::vector<const TkwPDIndirectRef*>& AList) const {
  CollectRefs(this, AList, 0);
}

// --- dictionary ----------------------------------------------------------------------------

TkwPDDictionary::TkwPDDictionary(TkwPDObjectResolver* AParentDoc)
    : FDict(MakeRef<TkwDict>(AParentDoc)) {
  FIsChanged = true;
}
TkwPDDictionary::TkwPDDictionary(std::uint32_t AObjNumber, std::uint32_t AGenNumber,
                                 TkwPDObjectResolver* AParentDoc)
    : TkwPDBaseObject(AObjNumber, AGenNumber), FDict(MakeRef<TkwDict>(AParentDoc)) {
  FIsChanged = true;
}
TkwPDDictionary::TkwPDDictionary(std::uint32_t AObjNumber, std::uint32_t AGenNumber,
                                 TkwRef<TkwDict> ADict)
    : TkwPDBaseObject(AObjNumber, AGenNumber),
      FDict(ADict ? std::move(ADict) : MakeRef<TkwDict>()) {
  FIsChanged = true;
}

std::unique_ptr<TkwPDDictionary> TkwPDDictionary::CloneDict() const {
  auto result = std::make_unique<TkwPDDictionary>(FObjNumber, FGenNumber, FDict->Clone());
  result->FIsChanged = FIsChanged;
  result->FIsWritten = FIsWritten;
  return result;
}
std::unique_ptr<TkwPDBaseObject> TkwPDDictionary::Clone() const { return CloneDict(); }

void TkwPDDictionary::Assign(const TkwPDBaseObject& ASourceObj) {
  TkwPDBaseObject::Assign(ASourceObj);
  if (!ASourceObj.IsDict()) return;
  const auto& source = static_cast<const TkwPDDictionary&>(ASourceObj);
  if (&source == this) return;
  auto body = MakeRef<TkwDict>(source.GetParentDoc());
  for (const auto& [key, value] : source.FDict->GetEntries()) body->Add(key, value->Clone());
  FDict = std::move(body);
  FIsChanged = true;
}

std::unique_ptr<TkwPDBaseObject> TkwPDDictionary::LookUpClone(std::string_view AKey) const {
  const TkwPDBaseObject* obj = LookUp(AKey);
  if (obj == nullptr) return std::make_unique<TkwPDNull>();
  return obj->Clone();
}

void TkwPDDictionary::SetKeyValue(std::string_view AKey, std::unique_ptr<TkwPDBaseObject> AValue) {
  FDict->Remove(AKey);
  FDict->Add(std::string(AKey), std::move(AValue));
  FIsChanged = true;
}

void TkwPDDictionary::GetIndirectRefs(std::vector<const TkwPDIndirectRef*>& AList) const {
  CollectRefs(this, AList, 0);
}

std::int32_t TkwPDDictionary::LookUpInt(std::string_view AKey, std::int32_t ADefault) const {
  const TkwPDBaseObject* obj = LookUp(AKey);
  return obj != nullptr && obj->IsInteger() ? static_cast<const TkwPDInteger*>(obj)->GetValue()
                                            : ADefault;
}
double TkwPDDictionary::LookUpNumber(std::string_view AKey, double ADefault) const {
  const TkwPDBaseObject* obj = LookUp(AKey);
  return obj != nullptr && obj->IsNumber() ? obj->GetNumber() : ADefault;
}
bool TkwPDDictionary::LookUpBool(std::string_view AKey, bool ADefault) const {
  const TkwPDBaseObject* obj = LookUp(AKey);
  return obj != nullptr && obj->IsBoolean() ? static_cast<const TkwPDBoolean*>(obj)->GetValue()
                                            : ADefault;
}
std::string TkwPDDictionary::LookUpName(std::string_view AKey) const {
  const TkwPDBaseObject* obj = LookUp(AKey);
  return obj != nullptr && obj->IsName() ? static_cast<const TkwPDName*>(obj)->GetValue()
                                         : std::string();
}
TkwPDDictionary* TkwPDDictionary::LookUpDict(std::string_view AKey) const {
  TkwPDBaseObject* obj = LookUp(AKey);
  return obj != nullptr && obj->IsDict() ? static_cast<TkwPDDictionary*>(obj) : nullptr;
}
TkwPDArray* TkwPDDictionary::LookUpArray(std::string_view AKey) const {
  TkwPDBaseObject* obj = LookUp(AKey);
  return obj != nullptr && obj->IsArray() ? static_cast<TkwPDArray*>(obj) : nullptr;
}
TkwPDStream* TkwPDDictionary::LookUpStream(std::string_view AKey) const {
  TkwPDBaseObject* obj = LookUp(AKey);
  return obj != nullptr && obj->IsStream() ? static_cast<TkwPDStream*>(obj) : nullptr;
}

// --- stream --------------------------------------------------------------------------------

TkwPDStream::TkwPDStream(TkwPDObjectResolver* AParentDoc)
    : FDict(std::make_shared<TkwPDDictionary>(AParentDoc)), FParentDoc(AParentDoc) {}
TkwPDStream::TkwPDStream(TkwRef<TkwStream> AStream, std::unique_ptr<TkwPDDictionary> ADict)
    : FStream(std::move(AStream)),
      FDict(ADict ? std::shared_ptr<TkwPDDictionary>(std::move(ADict))
                  : std::make_shared<TkwPDDictionary>()),
      FParentDoc(FDict->GetParentDoc()) {}
TkwPDStream::TkwPDStream(TkwRef<TkwStream> AStream, std::unique_ptr<TkwPDDictionary> ADict,
                         std::uint32_t AObjNumber, std::uint32_t AGenNumber)
    : TkwPDStream(std::move(AStream), std::move(ADict)) {
  FObjNumber = AObjNumber;
  FGenNumber = AGenNumber;
}
TkwPDStream::~TkwPDStream() = default;

std::unique_ptr<TkwPDBaseObject> TkwPDStream::Clone() const {
  auto result = std::make_unique<TkwPDStream>(FParentDoc);
  result->FStream = FStream;
  result->FDict = FDict;
  result->FObjNumber = FObjNumber;
  result->FGenNumber = FGenNumber;
  result->FIsChanged = FIsChanged;
  result->FIsWritten = FIsWritten;
  return result;
}
void TkwPDStream::Assign(const TkwPDBaseObject& ASourceObj) {
  TkwPDBaseObject::Assign(ASourceObj);
  if (!ASourceObj.IsStream() || &ASourceObj == this) return;
  const auto& source = static_cast<const TkwPDStream&>(ASourceObj);
  FStream = source.FStream;
  auto dict = std::make_shared<TkwPDDictionary>(source.FParentDoc);
  dict->Assign(*source.FDict);
  FDict = std::move(dict);
  FParentDoc = source.FParentDoc;
}
void TkwPDStream::SetIsChanged(bool AValue) {
  FIsChanged = AValue;
  FDict->SetIsChanged(AValue);
}
void TkwPDStream::SetStream(TkwRef<TkwStream> AStream) { FStream = std::move(AStream); }

void TkwPDStream::Reset() {
  if (!FStream) throw ExInvalidStream();
  try {
    FStream->Reset();
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
    // Whatever a byte source or filter raises, the stream is what failed.
    throw ExInvalidStream();
  }
}

std::string TkwPDStream::ReadAll(std::int64_t ALimit) {
  std::string result;
  if (!FStream) return result;
  Reset();
  try {
    FStream->Read(result, ALimit < 0 ? kMaxDecodedBytes : ALimit);
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception&) {
    // The bytes decoded before the failure are what can be recovered.
  }
  return result;
}

}  // namespace qm
