#include "pdf/core/kwPDXRef.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <map>
#include <string_view>
#include <tuple>

#include "base/Limits.h"
#include "pdf/core/kwPDLexer.h"
#include "pdf/core/kwPDParser.h"

namespace qm {

namespace {

constexpr std::string_view kCryptMarker = "Crpt";
constexpr std::size_t kMaxEntries = static_cast<std::size_t>(kMaxObjectNumber) + 1;
constexpr std::size_t kObjectStreamsKept = 4;

bool IsWhite(std::uint8_t c) { return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }
bool IsDelim(std::uint8_t c) {
  return c == '%' || c == '(' || c == ')' || c == '/' || c == '<' || c == '>' || c == '[' || c == ']' ||
         c == '{' || c == '}';
}
bool IsDigit(std::uint8_t c) { return c >= '0' && c <= '9'; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view AsText(std::span<const std::uint8_t> ABytes) {
  return {reinterpret_cast<const char*>(ABytes.data()), ABytes.size()};
}

// Last whole-word, case-blind "startxref" in AText, or npos. The last one belongs to the
// newest section: a small incremental update leaves the older one in the same kilobyte.
std::size_t FindStartXref(std::string_view AText) {
  static constexpr std::string_view kWord = "startxref";
  if (AText.size() < kWord.size()) return std::string_view::npos;
  for (std::size_t i = AText.size() - kWord.size() + 1; i-- > 0;) {
    if (Lower(AText[i]) != 's') continue;
    bool match = true;
    for (std::size_t k = 1; k < kWord.size() && match; ++k) match = Lower(AText[i + k]) == kWord[k];
    if (!match) continue;
    const bool startOk = i == 0 || IsWhite(static_cast<std::uint8_t>(AText[i - 1])) ||
                         IsDelim(static_cast<std::uint8_t>(AText[i - 1]));
    const std::size_t e = i + kWord.size();
    const bool endOk = e >= AText.size() || IsWhite(static_cast<std::uint8_t>(AText[e])) ||
                       IsDelim(static_cast<std::uint8_t>(AText[e])) || IsDigit(static_cast<std::uint8_t>(AText[e]));
    if (startOk && endOk) return i;
  }
  return std::string_view::npos;
}

std::unique_ptr<TkwPDParser> MakeParser(TkwPDObjectResolver* ADoc, TkwRef<TkwStream> AStream, bool AStreams) {
  return std::make_unique<TkwPDParser>(ADoc, std::make_unique<TkwPDLexer>(std::move(AStream)), AStreams);
}

const TkwPDInteger* AsInt(const TkwPDBaseObject* AObj) {
  return (AObj != nullptr && AObj->IsInteger()) ? static_cast<const TkwPDInteger*>(AObj) : nullptr;
}

void ClearFlags(TkwPDBaseObject& AObj) {
  AObj.SetIsChanged(false);
  AObj.SetIsWritten(false);
  if (AObj.IsStream()) {
    auto* dict = static_cast<TkwPDStream&>(AObj).GetDict();
    dict->SetIsChanged(false);
    dict->SetIsWritten(false);
  }
}

}  // namespace

// ---- TkwObjectStream -----------------------------------------------------------------

TkwObjectStream::TkwObjectStream(TkwPDXRef& AXRef, std::uint32_t AObjStreamNum) : FObjStrNum(AObjStreamNum) {
  auto obj = AXRef.Fetch(AObjStreamNum);
  if (!obj || !obj->IsStream()) return;
  FLoaded = true;
  auto& stream = static_cast<TkwPDStream&>(*obj);
  const auto* n = AsInt(stream.GetDict()->LookUp("N"));
  const auto* first = AsInt(stream.GetDict()->LookUp("First"));
  if (n == nullptr || first == nullptr || n->GetValue() <= 0 || first->GetValue() < 0) return;
  if (n->GetValue() > kMaxObjectsInObjStream) return;
  FNoObjects = n->GetValue();

  std::string data;
  try {
    data = stream.ReadAll();
  } catch (const EPDFCoreError&) {
    return;
  }
  const auto firstPos = static_cast<std::size_t>(first->GetValue());
  if (firstPos > data.size()) return;

  std::vector<std::pair<std::uint32_t, std::size_t>> pairs;
  {
    auto parser = MakeParser(nullptr, TkwRef<TkwStream>(TkwMemoryStream::View(std::string_view(data).substr(0, firstPos))),
                             false);
    std::size_t last = 0;
    for (std::int32_t i = 0; i < FNoObjects; ++i) {
      auto num = parser->GetObject();
      auto off = parser->GetObject();
      const auto* ni = AsInt(num.get());
      const auto* oi = AsInt(off.get());
      if (ni == nullptr || oi == nullptr || ni->GetValue() < 0 || oi->GetValue() < 0) return;
      const auto offset = static_cast<std::size_t>(oi->GetValue());
      if (offset < last) return;
      last = offset;
      pairs.emplace_back(static_cast<std::uint32_t>(ni->GetValue()), offset);
    }
  }
  const std::string_view body = std::string_view(data).substr(firstPos);
  FPDFObjects.reserve(pairs.size());
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    const std::size_t start = std::min(pairs[i].second, body.size());
    const std::size_t end = i + 1 < pairs.size() ? std::min(pairs[i + 1].second, body.size()) : body.size();
    auto parser = MakeParser(AXRef.GetParentDoc(),
                             TkwRef<TkwStream>(TkwMemoryStream::View(body.substr(start, end - start))), false);
    FPDFObjects.push_back(parser->GetObject());
    FObjNumbers.push_back(pairs[i].first);
  }
}

std::unique_ptr<TkwPDBaseObject> TkwObjectStream::GetObject(std::uint32_t AObjectIndex,
                                                            std::uint32_t AObjNumber) const {
  if (AObjectIndex >= FPDFObjects.size() || FObjNumbers[AObjectIndex] != AObjNumber) {
    return std::make_unique<TkwPDError>();
  }
  return FPDFObjects[AObjectIndex]->Clone();
}

// ---- TkwPDXRef -----------------------------------------------------------------------

TkwPDXRef::TkwPDXRef(TkwPDObjectResolver* AParentDoc, TkwRef<TkwBaseStream> AStream)
    : FParentDoc(AParentDoc), FStream(std::move(AStream)) {}

TkwPDXRef::~TkwPDXRef() = default;

const TkwPDXRefEntry* TkwPDXRef::GetEntry(std::size_t AIndex) const {
  return AIndex < FEntries.size() ? &FEntries[AIndex] : nullptr;
}

void TkwPDXRef::SetEntry(std::size_t AIndex, const TkwPDXRefEntry& AValue) {
  if (AIndex >= kMaxEntries) return;
  if (AIndex >= FEntries.size()) Grow(static_cast<std::int64_t>(AIndex) + 1);
  FEntries[AIndex] = AValue;
  FChanged = true;
}

bool TkwPDXRef::AddDefaultEntries(std::size_t ATillCount) { return Grow(static_cast<std::int64_t>(ATillCount)); }

bool TkwPDXRef::Grow(std::int64_t ACount) {
  if (ACount < 0 || static_cast<std::uint64_t>(ACount) > kMaxEntries) return false;
  const auto want = static_cast<std::size_t>(ACount);
  if (FEntries.size() >= want) return true;
  std::size_t size = FEntries.empty() ? 1024 : FEntries.size() * 2;
  while (size < want) size *= 2;
  FEntries.resize(std::min(size, kMaxEntries));
  return true;
}

std::uint32_t TkwPDXRef::GetHighestObjectNumber() const {
  for (std::size_t i = FEntries.size(); i-- > 0;) {
    if (!FEntries[i].IsUnset() && FEntries[i].FEntryType != TkwPDXRefEntrytype::xeFree) {
      return static_cast<std::uint32_t>(i);
    }
  }
  return 0;
}

std::int64_t TkwPDXRef::GetStartXref() {
  if (FStartXref > 0) return FStartXref;
  const std::int64_t size = FStream ? FStream->GetSize() : 0;
  if (size <= 0) throw ExInvalidPDFFile();
  const std::string_view all = AsText(FStream->View(0));
  std::string_view tail = all.size() > kMaxStartXRefSearch ? all.substr(all.size() - kMaxStartXRefSearch) : all;
  std::size_t at = FindStartXref(tail);
  std::string_view text = tail;
  if (at == std::string_view::npos) {
    text = all;
    at = FindStartXref(all);
  }
  if (at == std::string_view::npos) throw ExStartXrefNotFound();
  std::size_t i = at + 9;
  while (i < text.size() && (text[i] == 0 || text[i] == 9 || text[i] == 10 || text[i] == 13 || text[i] == 32)) ++i;
  // Producers sometimes write the offset and "%%EOF" on one line; the leading integer is
  // the offset.
  std::int64_t value = 0;
  std::size_t digits = 0;
  while (i < text.size() && IsDigit(static_cast<std::uint8_t>(text[i])) && digits < 18) {
    value = value * 10 + (text[i] - '0');
    ++i;
    ++digits;
  }
  std::size_t j = i;
  while (j < text.size() && (text[j] == ' ' || text[j] == 9)) ++j;
  const bool followedOnLine = j < text.size() && text[j] != '\r' && text[j] != '\n' && text[j] != 0;
  if (digits > 0 && followedOnLine && FDiag) FDiag->Note(TkwDiagCode::dcStartXRefText, static_cast<std::int64_t>(at));
  if (value <= 0) throw ExStartXrefNotFound();
  FStartXref = value;
  return value;
}

bool TkwPDXRef::GenerateTable() {
  std::int64_t next = GetStartXref();
  while (next >= 0 && FOk) {
    // A chain that comes back to a section already read would repeat without end.
    if (!FVisited.insert(next).second) break;
    if (FSections >= kMaxXRefSections) {
      if (FDiag) FDiag->Note(TkwDiagCode::dcLimitReached, next);
      break;
    }
    ++FSections;
    next = ReadSection(next);
  }
  return FOk;
}

void TkwPDXRef::CaptureTrailer(const TkwPDDictionary& ADict) {
  if (FTrailerDict) return;
  FTrailerDict = ADict.CloneDict();
  FTrailerDict->SetParentDoc(FParentDoc);
}

std::int64_t TkwPDXRef::ReadSection(std::int64_t AOffset) {
  std::int64_t next = -1;
  if (AOffset < FStream->GetSize()) {
    auto parser = MakeParser(FParentDoc, TkwRef<TkwStream>(FStream->MakeSubStream(AOffset, 0, false)), true);
    parser->SetDiagnostics(FDiag);
    auto first = parser->GetObject();
    if (first->IsCommand()) {
      next = ReadTable(*parser);
    } else if (first->IsInteger()) {
      auto gen = parser->GetObject();
      auto kw = parser->GetObject();
      if (!gen->IsInteger() || !kw->IsCommand("obj")) {
        FOk = false;
        throw ExInvalidCatalog();
      }
      auto obj = parser->GetObject();
      if (obj->IsStream()) {
        next = ReadXRefStream(static_cast<TkwPDStream&>(*obj));
      } else {
        FOk = false;
      }
    }
  }
  if (!FTrailerDict) throw ExImproperCrossRefTableOrStream();
  return next;
}

std::int64_t TkwPDXRef::ReadTable(TkwPDParser& AParser) {
  const auto fail = [this] {
    FOk = false;
    return std::int64_t{-1};
  };
  for (;;) {
    auto tok = AParser.GetObject();
    if (tok->IsCommand("trailer")) break;
    const auto* s = AsInt(tok.get());
    auto countObj = AParser.GetObject();
    const auto* c = AsInt(countObj.get());
    if (s == nullptr || c == nullptr || s->GetValue() < 0 || c->GetValue() < 0) return fail();
    const std::int64_t first = s->GetValue();
    const std::int64_t count = c->GetValue();
    if (!Grow(first + count)) return fail();
    FStartObjectNumber = static_cast<std::uint32_t>(first);
    FLastObjectNumber = static_cast<std::uint32_t>(first + count - 1);
    for (std::int64_t i = 0; i < count; ++i) {
      auto off = AParser.GetObject();
      auto gen = AParser.GetObject();
      auto kind = AParser.GetObject();
      const auto* oi = AsInt(off.get());
      const auto* gi = AsInt(gen.get());
      if (oi == nullptr || gi == nullptr || !(kind->IsCommand("n") || kind->IsCommand("f"))) return fail();
      auto& e = FEntries[static_cast<std::size_t>(first + i)];
      if (!e.IsUnset()) continue;
      // Ten digits can exceed the integer range; offsets are unsigned 32-bit values.
      e.FOffset = static_cast<std::uint32_t>(oi->GetValue());
      e.FGenNum = static_cast<std::uint32_t>(gi->GetValue());
      e.FEntryType = kind->IsCommand("n") ? TkwPDXRefEntrytype::xeUnCompressed : TkwPDXRefEntrytype::xeFree;
    }
  }
  auto trailer = AParser.GetObject();
  if (!trailer->IsDict()) return fail();
  auto& dict = static_cast<TkwPDDictionary&>(*trailer);
  std::int64_t next = -1;
  if (const auto* prev = AsInt(dict.LookupRefObj("Prev"))) next = prev->GetValue();
  CaptureTrailer(dict);
  if (const auto* stm = AsInt(dict.LookupRefObj("XRefStm"))) {
    const std::int64_t at = stm->GetValue();
    if (at >= 0 && FVisited.insert(at).second) {
      try {
        ReadSection(at);
      } catch (const EPDFCoreError&) {
        FOk = false;
      }
    }
    if (!FOk) return -1;
  }
  return next;
}

std::int64_t TkwPDXRef::ReadXRefStream(TkwPDStream& AStream) {
  const auto fail = [this] {
    FOk = false;
    return std::int64_t{-1};
  };
  TkwPDDictionary& d = *AStream.GetDict();
  const auto* size = AsInt(d.LookUp("Size"));
  if (size == nullptr || !Grow(std::max<std::int64_t>(size->GetValue(), 0))) return fail();
  const TkwPDArray* w = d.LookUpArray("W");
  if (w == nullptr || w->GetLength() <= 2) return fail();
  int widths[3];
  for (std::size_t i = 0; i < 3; ++i) {
    const auto* wi = AsInt(w->Get(i));
    // Fields wider than 8 bytes cannot hold a file offset.
    if (wi == nullptr || wi->GetValue() < 0 || wi->GetValue() > 8) return fail();
    widths[i] = wi->GetValue();
  }
  std::vector<std::pair<std::int64_t, std::int64_t>> subsections;
  if (const TkwPDArray* index = d.LookUpArray("Index")) {
    for (std::size_t i = 0; i < index->GetLength(); i += 2) {
      const auto* f = AsInt(index->Get(i));
      const auto* c = AsInt(index->Get(i + 1));
      if (f == nullptr || c == nullptr || f->GetValue() < 0 || c->GetValue() < 0) return fail();
      subsections.emplace_back(f->GetValue(), c->GetValue());
    }
  } else {
    subsections.emplace_back(0, size->GetValue());
  }
  try {
    AStream.Reset();
  } catch (const EPDFCoreError&) {
    return fail();
  }
  TkwStream* data = AStream.GetStream();
  if (data == nullptr) return fail();
  const int rowBytes = widths[0] + widths[1] + widths[2];
  std::uint8_t row[24];
  bool ended = false;
  for (const auto& [first, count] : subsections) {
    if (!Grow(first + count)) return fail();
    FStartObjectNumber = std::min<std::uint32_t>(FStartObjectNumber, static_cast<std::uint32_t>(first));
    if (count > 0) {
      FLastObjectNumber = std::max<std::uint32_t>(FLastObjectNumber, static_cast<std::uint32_t>(first + count - 1));
    }
    for (std::int64_t i = 0; i < count && !ended; ++i) {
      if (rowBytes > 0 && data->Read(std::span<std::uint8_t>(row, static_cast<std::size_t>(rowBytes))) !=
                              static_cast<std::size_t>(rowBytes)) {
        ended = true;
        break;
      }
      std::uint64_t fields[3] = {0, 0, 0};
      int at = 0;
      for (int f = 0; f < 3; ++f) {
        for (int k = 0; k < widths[f]; ++k) fields[f] = (fields[f] << 8) | row[at++];
      }
      const std::uint64_t type = widths[0] == 0 ? 1 : fields[0];
      auto& e = FEntries[static_cast<std::size_t>(first + i)];
      if (!e.IsUnset()) continue;
      switch (type) {
        case 0: e.FEntryType = TkwPDXRefEntrytype::xeFree; break;
        case 1: e.FEntryType = TkwPDXRefEntrytype::xeUnCompressed; break;
        case 2: e.FEntryType = TkwPDXRefEntrytype::xeCompressed; break;
        default: return fail();
      }
      e.FOffset = static_cast<std::int64_t>(std::min<std::uint64_t>(fields[1], INT64_MAX - 1));
      e.FGenNum = static_cast<std::uint32_t>(fields[2]);
    }
  }
  std::int64_t next = -1;
  if (const auto* prev = AsInt(d.LookupRefObj("Prev"))) next = prev->GetValue();
  CaptureTrailer(d);
  return next;
}

std::shared_ptr<TkwObjectStream> TkwPDXRef::GetObjectStream(std::uint32_t ANum) {
  for (std::size_t i = 0; i < FObjectStreams.size(); ++i) {
    if (FObjectStreams[i]->GetObjStrNum() == ANum) {
      auto hit = FObjectStreams[i];
      FObjectStreams.erase(FObjectStreams.begin() + static_cast<std::ptrdiff_t>(i));
      FObjectStreams.push_back(hit);
      return hit;
    }
  }
  auto loaded = std::make_shared<TkwObjectStream>(*this, ANum);
  if (FObjectStreams.size() >= kObjectStreamsKept) FObjectStreams.erase(FObjectStreams.begin());
  FObjectStreams.push_back(loaded);
  return loaded;
}

std::unique_ptr<TkwPDBaseObject> TkwPDXRef::Fetch(std::uint32_t ANum, TkwFetchStatus* AStatus) {
  TkwFetchStatus dummy;
  TkwFetchStatus& status = AStatus ? *AStatus : dummy;
  status = TkwFetchStatus::fsNoEntry;
  if (!FStream) throw ExInvalidStream();
  const auto error = [] { return std::make_unique<TkwPDError>(); };
  if (ANum >= FEntries.size()) return error();
  const std::size_t index = static_cast<std::size_t>(FStartObjectNumber) + ANum;
  if (index >= FEntries.size()) return error();
  const TkwPDXRefEntry entry = FEntries[index];

  std::unique_ptr<TkwPDBaseObject> result;
  if (entry.FEntryType == TkwPDXRefEntrytype::xeUnCompressed && !entry.IsUnset()) {
    status = TkwFetchStatus::fsBadHeader;
    if (entry.FOffset >= FStream->GetSize()) return error();
    auto parser = MakeParser(FParentDoc, TkwRef<TkwStream>(FStream->MakeSubStream(entry.FOffset, 0, false)), true);
    parser->SetDiagnostics(FDiag);
    auto num = parser->GetObject();
    auto gen = parser->GetObject();
    auto kw = parser->GetObject();
    const auto* ni = AsInt(num.get());
    const auto* gi = AsInt(gen.get());
    if (ni == nullptr || gi == nullptr || static_cast<std::uint32_t>(ni->GetValue()) != ANum ||
        static_cast<std::uint32_t>(gi->GetValue()) != entry.FGenNum || !kw->IsCommand("obj")) {
      return error();
    }
    const bool encrypted = FParentDoc != nullptr && FParentDoc->GetIsEncrypted();
    result = parser->GetObject(encrypted ? kCryptMarker : std::string_view{}, 0, 0, ANum, entry.FGenNum);
    if (result->IsError() || result->IsEOF()) {
      status = TkwFetchStatus::fsBadObject;
      return error();
    }
    result->SetGenNumber(entry.FGenNum);
  } else if (entry.FEntryType == TkwPDXRefEntrytype::xeCompressed) {
    status = TkwFetchStatus::fsBadObjStm;
    // An object stream inside an object stream would recurse; the format forbids it.
    if (entry.FOffset < 0 || entry.FOffset > std::numeric_limits<std::uint32_t>::max() ||
        static_cast<std::uint32_t>(entry.FOffset) == ANum) {
      return error();
    }
    const auto stm = GetObjectStream(static_cast<std::uint32_t>(entry.FOffset));
    result = stm->GetObject(entry.FGenNum, ANum);
    if (result->IsError()) return error();
    result->SetGenNumber(0);
  } else {
    status = entry.IsUnset() ? TkwFetchStatus::fsNoEntry : TkwFetchStatus::fsFree;
    return error();
  }
  status = TkwFetchStatus::fsOk;
  result->SetObjNumber(ANum);
  ClearFlags(*result);
  return result;
}

// ---- Repair ----------------------------------------------------------------------------

namespace {

// What a scan of the whole file finds: every "N G obj" header (the last definition of a
// number wins), the trailers, the catalog and the object streams.
class TkwObjectScan {
public:
  struct TkwFound {
    std::int64_t Offset;
    std::uint32_t Gen;
  };

  TkwObjectScan(TkwPDObjectResolver* ADoc, TkwBaseStream& AStream, std::string_view AText)
      : FDoc(ADoc), FStream(AStream), FText(AText) {}

  // Walks the file once, skipping stream data.
  void Run() {
    const std::size_t n = FText.size();
    std::size_t i = 0;
    while (i < n) {
      const char c = FText[i];
      if (c == 'o' && IsObjKeyword(i)) {
        ScanObjectHeader(i);
        i += 3;
      } else if (c == 't' && IsTrailerKeyword(i)) {
        ConsiderTrailer(ParseDictAt(SkipWhite(i + 7)));
        i += 7;
      } else if (c == 's' && IsStreamKeyword(i)) {
        i = AfterStream(i);
      } else {
        ++i;
      }
    }
  }

  std::map<std::uint32_t, TkwFound> Found;
  std::unique_ptr<TkwPDDictionary> Trailer;     // last trailer with a Root
  std::unique_ptr<TkwPDDictionary> AnyTrailer;  // last trailer without one
  std::int64_t CatalogNum = -1;
  std::vector<std::uint32_t> ObjStreams;

private:
  bool IsObjKeyword(std::size_t AAt) const {
    const std::size_t n = FText.size();
    return FText.compare(AAt, 3, "obj") == 0 &&
           (AAt + 3 >= n || IsWhite(static_cast<std::uint8_t>(FText[AAt + 3])) ||
            IsDelim(static_cast<std::uint8_t>(FText[AAt + 3])));
  }
  bool IsTrailerKeyword(std::size_t AAt) const {
    return FText.compare(AAt, 7, "trailer") == 0 &&
           (AAt == 0 || !std::isalpha(static_cast<unsigned char>(FText[AAt - 1])));
  }
  bool IsStreamKeyword(std::size_t AAt) const {
    const std::size_t n = FText.size();
    return FText.compare(AAt, 6, "stream") == 0 && AAt > 0 &&
           (IsWhite(static_cast<std::uint8_t>(FText[AAt - 1])) || FText[AAt - 1] == '>') &&
           (AAt + 6 >= n || FText[AAt + 6] == '\r' || FText[AAt + 6] == '\n');
  }
  std::size_t SkipWhite(std::size_t APos) const {
    while (APos < FText.size() && IsWhite(static_cast<std::uint8_t>(FText[APos]))) ++APos;
    return APos;
  }

  // The "N G " before the keyword at AAt: records the object and looks at its dictionary.
  void ScanObjectHeader(std::size_t AAt) {
    std::size_t p = AAt;
    std::size_t ws = 0;
    while (p > 0 && IsWhite(static_cast<std::uint8_t>(FText[p - 1])) && ws < 64) { --p; ++ws; }
    std::size_t genEnd = p, genDigits = 0;
    while (p > 0 && IsDigit(static_cast<std::uint8_t>(FText[p - 1])) && genDigits < 10) { --p; ++genDigits; }
    std::size_t genStart = p;
    ws = 0;
    while (p > 0 && IsWhite(static_cast<std::uint8_t>(FText[p - 1])) && ws < 64) { --p; ++ws; }
    std::size_t numEnd = p, numDigits = 0;
    while (p > 0 && IsDigit(static_cast<std::uint8_t>(FText[p - 1])) && numDigits < 10) { --p; ++numDigits; }
    const bool boundary = p == 0 || !IsDigit(static_cast<std::uint8_t>(FText[p - 1]));
    if (!(genDigits > 0 && numDigits > 0 && ws > 0 && genEnd < AAt && boundary)) return;
    std::uint64_t num = 0, gen = 0;
    for (std::size_t k = p; k < numEnd; ++k) num = num * 10 + static_cast<std::uint64_t>(FText[k] - '0');
    for (std::size_t k = genStart; k < genEnd; ++k) gen = gen * 10 + static_cast<std::uint64_t>(FText[k] - '0');
    if (num > static_cast<std::uint64_t>(kMaxObjectNumber) || gen > 65535) return;
    const auto objNum = static_cast<std::uint32_t>(num);
    Found[objNum] = TkwFound{static_cast<std::int64_t>(p), static_cast<std::uint32_t>(gen)};
    ClassifyObject(objNum, SkipWhite(AAt + 3));
  }

  // A cross-reference stream is a trailer; object streams and the catalog are noted.
  void ClassifyObject(std::uint32_t AObjNum, std::size_t ABody) {
    if (!(ABody + 1 < FText.size() && FText[ABody] == '<' && FText[ABody + 1] == '<')) return;
    auto dict = ParseDictAt(ABody);
    if (!dict) return;
    if (dict->IsDict("XRef")) {
      ConsiderTrailer(dict->CloneDict());
    } else if (dict->IsDict("ObjStm")) {
      ObjStreams.push_back(AObjNum);
    } else if (dict->IsDict("Catalog")) {
      CatalogNum = AObjNum;
    }
  }

  void ConsiderTrailer(std::unique_ptr<TkwPDDictionary> ADict) {
    if (!ADict) return;
    if (ADict->LookupRefObj("Root") != nullptr) {
      Trailer = std::move(ADict);
    } else {
      AnyTrailer = std::move(ADict);
    }
  }

  // Stream data may hold anything, even text that looks like object headers.
  // Without an "endstream" after it, the stream hides nothing: scanning goes on.
  std::size_t AfterStream(std::size_t AAt) {
    const std::size_t end = FNoEndstreamAfter ? std::string_view::npos : FText.find("endstream", AAt + 6);
    if (end == std::string_view::npos) {
      FNoEndstreamAfter = true;
      return AAt + 6;
    }
    return end + 9;
  }

  // Each dictionary is read only up to the next "obj" or "endobj" (and at most 1 MiB), so
  // that an unclosed "<<" cannot make every header read the rest of the file.
  std::size_t WindowEnd(std::size_t APos) {
    const std::size_t n = FText.size();
    if (FNoObjAfter) return n;
    if (FNextObj < APos) {
      FNextObj = FText.find("obj", APos);
      if (FNextObj == std::string_view::npos) {
        FNoObjAfter = true;
        return n;
      }
    }
    return FNextObj;
  }

  std::unique_ptr<TkwPDDictionary> ParseDictAt(std::size_t APos) {
    const std::size_t end = std::min(WindowEnd(APos), APos + (std::size_t{1} << 20));
    auto parser = MakeParser(FDoc,
                             TkwRef<TkwStream>(FStream.MakeSubStream(static_cast<std::int64_t>(APos),
                                                                     static_cast<std::int64_t>(end - APos), true)),
                             false);
    auto obj = parser->GetObject();
    if (!obj->IsDict()) return nullptr;
    return std::unique_ptr<TkwPDDictionary>(static_cast<TkwPDDictionary*>(obj.release()));
  }

  TkwPDObjectResolver* FDoc;  // not owned
  TkwBaseStream& FStream;
  std::string_view FText;
  std::size_t FNextObj = 0;
  bool FNoObjAfter = false;
  bool FNoEndstreamAfter = false;
};

// The trailer of a rebuilt file: the last one with a Root, else the last one, else an
// empty one; the catalog found supplies a missing Root.
std::unique_ptr<TkwPDDictionary> RebuiltTrailer(TkwObjectScan& AScan, TkwPDObjectResolver* ADoc) {
  auto trailer = std::move(AScan.Trailer);
  if (!trailer && AScan.AnyTrailer) trailer = std::move(AScan.AnyTrailer);
  if (!trailer) trailer = std::make_unique<TkwPDDictionary>(ADoc);
  if (trailer->LookupRefObj("Root") == nullptr && AScan.CatalogNum >= 0) {
    trailer->SetKeyValue("Root", std::make_unique<TkwPDIndirectRef>(static_cast<std::uint32_t>(AScan.CatalogNum), 0, ADoc));
  }
  // Cross-reference stream dictionaries carry keys that mean nothing once rebuilt.
  for (const char* key : {"Prev", "XRefStm", "Index", "W", "Length", "Filter", "DecodeParms", "Type"}) {
    trailer->Remove(key);
  }
  trailer->SetParentDoc(ADoc);
  return trailer;
}

}  // namespace

bool TkwPDXRef::Rebuild() {
  FRebuilt = true;
  if (FDiag) FDiag->Note(TkwDiagCode::dcXRefRebuilt);
  const std::span<const std::uint8_t> bytes = FStream->View(0);
  TkwObjectScan scan(FParentDoc, *FStream, AsText(bytes));
  scan.Run();
  if (scan.Found.empty()) return false;

  FEntries.clear();
  FObjectStreams.clear();
  FStartObjectNumber = 0;
  FLastObjectNumber = 0;
  Grow(static_cast<std::int64_t>(scan.Found.rbegin()->first) + 1);
  for (const auto& [num, f] : scan.Found) {
    FEntries[num] = TkwPDXRefEntry{f.Offset, f.Gen, TkwPDXRefEntrytype::xeUnCompressed};
    FLastObjectNumber = std::max(FLastObjectNumber, num);
  }
  FObjStmCandidates = std::move(scan.ObjStreams);
  FTrailerDict = RebuiltTrailer(scan, FParentDoc);
  FOk = true;
  return true;
}

void TkwPDXRef::IndexObjectStreams() {
  std::vector<std::uint32_t> streams = std::move(FObjStmCandidates);
  FObjStmCandidates.clear();
  bool needRoot = FTrailerDict && FTrailerDict->LookupRefObj("Root") == nullptr;
  for (const std::uint32_t s : streams) {
    const std::int64_t stmOffset = s < FEntries.size() ? FEntries[s].FOffset : -1;
    auto stm = GetObjectStream(s);
    const auto& nums = stm->GetObjNumbers();
    for (std::uint32_t k = 0; k < nums.size(); ++k) {
      const std::uint32_t num = nums[k];
      if (num == s || num > static_cast<std::uint32_t>(kMaxObjectNumber)) continue;
      if (num < FEntries.size()) {
        const auto& e = FEntries[num];
        // An object written directly after the object stream is the newer definition.
        if (e.FEntryType == TkwPDXRefEntrytype::xeUnCompressed && !e.IsUnset() && e.FOffset > stmOffset) continue;
      }
      if (!Grow(static_cast<std::int64_t>(num) + 1)) continue;
      FEntries[num] = TkwPDXRefEntry{static_cast<std::int64_t>(s), k, TkwPDXRefEntrytype::xeCompressed};
      FLastObjectNumber = std::max(FLastObjectNumber, num);
      if (needRoot) {
        auto obj = stm->GetObject(k, num);
        if (obj->IsDict("Catalog")) {
          FTrailerDict->SetKeyValue("Root", std::make_unique<TkwPDIndirectRef>(num, 0, FParentDoc));
          needRoot = false;
        }
      }
    }
  }
}

bool TkwPDXRef::AddUnlistedObjects() {
  if (FBeyondScanned || FRebuilt) return false;
  FBeyondScanned = true;
  const std::span<const std::uint8_t> bytes = FStream->View(0);
  TkwObjectScan scan(FParentDoc, *FStream, AsText(bytes));
  scan.Run();
  bool added = false;
  for (const auto& [num, f] : scan.Found) {
    if (static_cast<std::int64_t>(num) > kMaxObjectNumber) continue;
    if (num < FEntries.size() && !FEntries[num].IsUnset()) continue;
    if (!Grow(static_cast<std::int64_t>(num) + 1)) break;
    FEntries[num] = TkwPDXRefEntry{f.Offset, f.Gen, TkwPDXRefEntrytype::xeUnCompressed};
    FLastObjectNumber = std::max(FLastObjectNumber, num);
    added = true;
  }
  return added;
}

std::vector<std::uint32_t> TkwPDXRef::GetObjectNumbersInFileOrder() const {
  // (position of the object or of its object stream, index in the stream, number)
  std::vector<std::tuple<std::int64_t, std::uint32_t, std::uint32_t>> placed;
  for (std::size_t n = 0; n < FEntries.size(); ++n) {
    const TkwPDXRefEntry& e = FEntries[n];
    if (e.IsUnset()) continue;
    const auto num = static_cast<std::uint32_t>(n);
    if (e.FEntryType == TkwPDXRefEntrytype::xeUnCompressed) {
      placed.emplace_back(e.FOffset, 0u, num);
    } else if (e.FEntryType == TkwPDXRefEntrytype::xeCompressed) {
      const std::size_t stm = static_cast<std::size_t>(e.FOffset);
      const std::int64_t at = stm < FEntries.size() && FEntries[stm].FEntryType == TkwPDXRefEntrytype::xeUnCompressed
                                  ? FEntries[stm].FOffset
                                  : std::numeric_limits<std::int64_t>::max();
      placed.emplace_back(at, e.FGenNum + 1, num);
    }
  }
  std::sort(placed.begin(), placed.end());
  std::vector<std::uint32_t> numbers;
  numbers.reserve(placed.size());
  for (const auto& p : placed) numbers.push_back(std::get<2>(p));
  return numbers;
}

}  // namespace qm
