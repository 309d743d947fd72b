#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "base/kwDiagnostics.h"
#include "base/kwObject.h"
#include "pdf/core/kwPDBaseObject.h"
#include "pdf/core/kwPDLexer.h"

namespace qm {

// Assembles tokens into complete objects (arrays, dictionaries, references, streams).
class TkwPDParser : public TkwObject {
public:
  // ADoc becomes the parent document of every container and reference built and decrypts
  // for encrypted documents; it may be nullptr. Takes the lexer, resets its stream and reads
  // two tokens of look-ahead at once, so the stream must be positioned before.
  TkwPDParser(TkwPDObjectResolver* ADoc, std::unique_ptr<TkwPDLexer> ALexer, bool AAllowStreams);

  // The next complete object, owned by the caller; TkwPDError or TkwPDEOF for what cannot
  // be read. A non-empty AFileKey (the marker "Crpt") asks for decryption of strings and
  // streams in an encrypted document, keyed with AObjNum/AGenNum. Containers nested deeper
  // than kMaxObjectDepth make the whole object a TkwPDError.
  [[nodiscard]] std::unique_ptr<TkwPDBaseObject> GetObject(std::string_view AFileKey = {},
                                                           int AEncryptAlg = 0, int AKeyLength = 0,
                                                           std::uint32_t AObjNum = kNoObjNum,
                                                           std::uint32_t AGenNum = kNoObjNum);
  [[nodiscard]] TkwStream* GetStream() const { return FLexer->GetStream(); }
  [[nodiscard]] std::int64_t GetPosition() const { return FLexer->GetPosition(); }
  [[nodiscard]] TkwPDLexer& GetLexer() const { return *FLexer; }
  // 0 normally; 1 and 2 while the caller reads inline image data after "ID".
  [[nodiscard]] int GetInlineImageState() const { return FInlineImage; }
  // Where tolerated damage is noted (wrong stream Length); may be nullptr.
  void SetDiagnostics(TkwDiagnostics* ADiag) { FDiag = ADiag; }

private:
  std::unique_ptr<TkwPDBaseObject> ParseObject(std::string_view AFileKey, int AEncryptAlg,
                                               int AKeyLength, std::uint32_t AObjNum,
                                               std::uint32_t AGenNum, int ADepth);
  std::unique_ptr<TkwPDBaseObject> ReadStream(std::unique_ptr<TkwPDDictionary> ADict,
                                              std::string_view AFileKey, std::uint32_t AObjNum,
                                              std::uint32_t AGenNum);
  void Shift();
  [[nodiscard]] bool AtObjectBoundary() const;
  void Refill();

  TkwPDObjectResolver* FDoc;  // not owned
  std::unique_ptr<TkwPDLexer> FLexer;
  std::unique_ptr<TkwPDBaseObject> FBufObject1;
  std::unique_ptr<TkwPDBaseObject> FBufObject2;
  int FInlineImage = 0;
  bool FAllowStreams;
  bool FDepthExceeded = false;
  TkwDiagnostics* FDiag = nullptr;  // not owned
};

// Length of the data of a stream whose data starts at AStart (position in AFile) and whose
// dictionary declares ADeclaredLength. The declared length holds when the keyword
// "endstream" follows it (after white-space); otherwise the data ends before the first
// "endstream" after AStart (the end-of-line before it excluded); without one, the data
// runs ADeclaredLength + 5000 bytes, cut at the end of AFile. Leaves AFile's position alone.
[[nodiscard]] std::int64_t FindStreamDataLength(const TkwBaseStream& AFile, std::int64_t AStart,
                                                std::int64_t ADeclaredLength);

}  // namespace qm
