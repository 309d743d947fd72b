#include "pdf/core/kwPDParser.h"

#include <algorithm>

#include "base/Limits.h"
#include "pdf/core/kwStream.h"

namespace qm {

namespace {
int ObjNumOrNone(std::uint32_t ANum) { return ANum == kNoObjNum ? -1 : static_cast<int>(ANum); }
}  // namespace

TkwPDParser::TkwPDParser(TkwPDObjectResolver* ADoc, std::unique_ptr<TkwPDLexer> ALexer,
                         bool AAllowStreams)
    : FDoc(ADoc), FLexer(std::move(ALexer)), FAllowStreams(AAllowStreams) {
  if (!FLexer) throw ExInvalidStream();
  FLexer->GetStream()->Reset();
  Refill();
}

void TkwPDParser::Refill() {
  FBufObject1 = FLexer->GetObject();
  FBufObject2 = FLexer->GetObject();
}

// An unclosed array or dictionary ends where the next object starts or its own ends: no
// object holds the keywords "obj" or "endobj", and reading on would make every object of a
// damaged file read the rest of it.
bool TkwPDParser::AtObjectBoundary() const {
  return FBufObject1->IsCommand("endobj") || FBufObject1->IsCommand("obj");
}

void TkwPDParser::Shift() {
  const bool secondIsID = FBufObject2 && FBufObject2->IsCommand("ID");
  FBufObject1 = std::move(FBufObject2);
  if (FInlineImage == 1) {
    // While the caller reads image data the lexer must not touch the stream.
    FInlineImage = 2;
    FBufObject2 = std::make_unique<TkwPDNull>();
    return;
  }
  if (FInlineImage == 2) {
    // Only an array or dictionary that swallowed the ID moves on from here: give up the
    // protocol and read on, or the container would collect nulls for ever.
    FInlineImage = 0;
    FBufObject2 = FLexer->GetObject();
    return;
  }
  if (secondIsID) {
    FLexer->SkipChar();  // the one white-space byte that separates ID from the data
    FInlineImage = 1;
    FBufObject2 = std::make_unique<TkwPDNull>();
    return;
  }
  FBufObject2 = FLexer->GetObject();
}

std::unique_ptr<TkwPDBaseObject> TkwPDParser::GetObject(std::string_view AFileKey, int AEncryptAlg,
                                                        int AKeyLength, std::uint32_t AObjNum,
                                                        std::uint32_t AGenNum) {
  if (FInlineImage == 2) {
    Refill();
    FInlineImage = 0;
  }
  FDepthExceeded = false;
  auto result = ParseObject(AFileKey, AEncryptAlg, AKeyLength, AObjNum, AGenNum, 0);
  if (FDepthExceeded) return std::make_unique<TkwPDError>();
  return result;
}

std::unique_ptr<TkwPDBaseObject> TkwPDParser::ParseObject(std::string_view AFileKey,
                                                          int AEncryptAlg, int AKeyLength,
                                                          std::uint32_t AObjNum,
                                                          std::uint32_t AGenNum, int ADepth) {
  const TkwPDBaseObject& token = *FBufObject1;

  if (token.IsCommand("[")) {
    Shift();
    if (ADepth >= kMaxObjectDepth) {
      if (FDiag) FDiag->Note(TkwDiagCode::dcLimitReached, FLexer->GetPosition(), ObjNumOrNone(AObjNum));
      FDepthExceeded = true;
      return std::make_unique<TkwPDError>();
    }
    auto array = std::make_unique<TkwPDArray>(FDoc);
    while (!FBufObject1->IsCommand("]") && !FBufObject1->IsEOF() && !AtObjectBoundary()) {
      auto element = ParseObject(AFileKey, AEncryptAlg, AKeyLength, AObjNum, AGenNum, ADepth + 1);
      if (FDepthExceeded) return std::make_unique<TkwPDError>();
      array->GetBody().Add(std::move(element));
    }
    if (FBufObject1->IsCommand("]")) Shift();
    return array;
  }

  if (token.IsCommand("<<")) {
    Shift();
    if (ADepth >= kMaxObjectDepth) {
      if (FDiag) FDiag->Note(TkwDiagCode::dcLimitReached, FLexer->GetPosition(), ObjNumOrNone(AObjNum));
      FDepthExceeded = true;
      return std::make_unique<TkwPDError>();
    }
    auto dict = std::make_unique<TkwPDDictionary>(FDoc);
    while (!FBufObject1->IsCommand(">>") && !FBufObject1->IsEOF() && !AtObjectBoundary()) {
      if (!FBufObject1->IsName()) {
        Shift();  // a key that is not a name is skipped
        continue;
      }
      std::string key = static_cast<const TkwPDName&>(*FBufObject1).GetValue();
      Shift();
      if (FBufObject1->IsEOF() || FBufObject1->IsError() || AtObjectBoundary()) break;
      auto value = ParseObject(AFileKey, AEncryptAlg, AKeyLength, AObjNum, AGenNum, ADepth + 1);
      if (FDepthExceeded) return std::make_unique<TkwPDError>();
      dict->Add(std::move(key), std::move(value));
    }
    if (FAllowStreams && FBufObject1->IsCommand(">>") && FBufObject2->IsCommand("stream")) {
      return ReadStream(std::move(dict), AFileKey, AObjNum, AGenNum);
    }
    if (FBufObject1->IsCommand(">>")) Shift();
    return dict;
  }

  if (token.IsInteger()) {
    if (FBufObject2->IsInteger()) {
      const std::int32_t num = static_cast<const TkwPDInteger&>(token).GetValue();
      Shift();
      if (FBufObject2->IsCommand("R")) {
        const std::int32_t gen = static_cast<const TkwPDInteger&>(*FBufObject1).GetValue();
        Shift();
        Shift();
        return std::make_unique<TkwPDIndirectRef>(static_cast<std::uint32_t>(num),
                                                  static_cast<std::uint32_t>(gen), FDoc);
      }
      return std::make_unique<TkwPDInteger>(num);
    }
  }

  if (token.IsString() && !AFileKey.empty() && FDoc != nullptr && FDoc->GetIsEncrypted()) {
    const auto& source = static_cast<const TkwPDString&>(token);
    std::string bytes = FDoc->DecryptString(source.GetHexToString(), AObjNum, AGenNum);
    auto result = std::make_unique<TkwPDString>(std::move(bytes), source.GetObjNumber(),
                                                source.GetGenNumber(), false);
    Shift();
    return result;
  }

  auto result = std::move(FBufObject1);
  Shift();
  return result;
}

std::unique_ptr<TkwPDBaseObject> TkwPDParser::ReadStream(std::unique_ptr<TkwPDDictionary> ADict,
                                                         std::string_view AFileKey,
                                                         std::uint32_t AObjNum,
                                                         std::uint32_t AGenNum) {
  // The look-ahead holds ">>" and "stream"; the lexer stands just after "stream".
  FLexer->SkiptoNextLine();
  const std::int64_t start = FLexer->GetPosition();
  auto fail = [this]() -> std::unique_ptr<TkwPDBaseObject> {
    Refill();
    return std::make_unique<TkwPDError>();
  };

  const auto length = ADict->LookUpClone("Length");
  if (!length->IsInteger()) return fail();
  TkwStream* lexStream = FLexer->GetStream();
  TkwBaseStream* base = lexStream->GetBaseStream();
  // Stream data is a window on the file; a decoded source has no such window.
  if (base == nullptr || base != lexStream) return fail();

  const std::int64_t declared = static_cast<const TkwPDInteger&>(*length).GetValue();
  const std::int64_t extent = FindStreamDataLength(*base, start, declared);
  if (extent != declared && FDiag != nullptr) {
    // Data that runs into the end of the file is cut short; otherwise Length was wrong.
    const bool atEnd = extent < declared && extent >= static_cast<std::int64_t>(base->View(start).size());
    FDiag->Note(atEnd ? TkwDiagCode::dcStreamTruncated : TkwDiagCode::dcStreamLengthWrong, start,
                static_cast<int>(AObjNum));
  }
  TkwRef<TkwStream> data(base->MakeSubStream(start, extent, true));

  FLexer->SetPosition(start + extent);
  FBufObject1 = FLexer->GetObject();
  if (FBufObject1->IsCommand("endstream")) FBufObject1 = FLexer->GetObject();
  FBufObject2 = FLexer->GetObject();

  if (!AFileKey.empty() && FDoc != nullptr && FDoc->GetIsEncrypted()) {
    data = FDoc->DecryptStream(std::move(data), AObjNum, AGenNum, ADict.get());
  }
  auto stream = TkwPDFilterManager::GetFilter(std::move(ADict), std::move(data));
  if (AObjNum != kNoObjNum) {
    stream->SetObjNumber(AObjNum);
    stream->SetGenNumber(AGenNum);
  }
  return stream;
}

namespace {

bool IsPdfWhiteSpace(std::uint8_t AByte) {
  return AByte == 0 || AByte == 9 || AByte == 10 || AByte == 12 || AByte == 13 || AByte == 32;
}

}  // namespace

std::int64_t FindStreamDataLength(const TkwBaseStream& AFile, std::int64_t AStart,
                                  std::int64_t ADeclaredLength) {
  static constexpr std::string_view kEnd = "endstream";
  const auto bytes = AFile.View(AStart);
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const auto size = static_cast<std::int64_t>(text.size());

  if (ADeclaredLength >= 0 && ADeclaredLength <= size) {
    auto i = static_cast<std::size_t>(ADeclaredLength);
    while (i < text.size() && IsPdfWhiteSpace(static_cast<std::uint8_t>(text[i]))) ++i;
    if (text.substr(i, kEnd.size()) == kEnd) return ADeclaredLength;
  }
  // Producers that patch files in place leave Length stale; the keyword tells the truth.
  const std::size_t found = text.find(kEnd);
  if (found != std::string_view::npos) {
    std::size_t len = found;
    if (len >= 2 && text[len - 2] == '\r' && text[len - 1] == '\n') {
      len -= 2;
    } else if (len >= 1 && (text[len - 1] == '\n' || text[len - 1] == '\r')) {
      len -= 1;
    }
    return static_cast<std::int64_t>(len);
  }
  const std::int64_t guess = std::max<std::int64_t>(ADeclaredLength, 0) + 5000;
  return std::min(guess, size);
}

}  // namespace qm
