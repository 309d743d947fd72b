#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "base/Limits.h"
#include "base/kwObject.h"
#include "base/kwRef.h"
#include "pdf/core/kwStream.h"
#include "pdf/core/kwPDBaseObject.h"

namespace qm {

// Turns a byte stream into single-token objects. Malformed input never throws: it gives
// TkwPDError tokens, and the end of input gives TkwPDEOF.
class TkwPDLexer : public TkwObject {
public:
  // AStream is shared; it is read from its current position.
  explicit TkwPDLexer(TkwRef<TkwStream> AStream);

  // The next token, owned by the caller.
  [[nodiscard]] std::unique_ptr<TkwPDBaseObject> GetObject();
  // Consumes bytes up to and including the next LF or CR (CR LF counts as one).
  void SkiptoNextLine();
  void SkipChar() { FStream->GetChar(); }
  [[nodiscard]] TkwStream* GetStream() const { return FStream.Get(); }
  [[nodiscard]] const TkwRef<TkwStream>& GetStreamRef() const { return FStream; }
  [[nodiscard]] std::int64_t GetPosition() const { return FStream->GetPosition(); }
  void SetPosition(std::int64_t APosition) { FStream->SetPosition(APosition); }

  // Character classes of the PDF syntax.
  [[nodiscard]] static bool IsWhiteSpace(int AChar);
  [[nodiscard]] static bool IsDelimiter(int AChar);
  [[nodiscard]] static bool IsRegular(int AChar);

private:
  std::unique_ptr<TkwPDBaseObject> ReadNumber(int AFirst);
  std::unique_ptr<TkwPDBaseObject> ReadLiteralString();
  std::unique_ptr<TkwPDBaseObject> ReadHexString();
  // The run of regular bytes after AFirst (AFirst < 0: none), at most 127 bytes.
  std::size_t ReadRegular(int AFirst);

  TkwRef<TkwStream> FStream;
  std::array<char, kMaxNameBytes + 1> FTokenBuf{};
};

}  // namespace qm
