#include "pdf/core/kwCryptStream.h"

#include "pdf/core/kwPDBaseObject.h"

namespace qm {

TkwCryptStream::TkwCryptStream(TkwRef<TkwStream> ASource, TkwSecurityHandler& AHandler,
                               std::uint32_t AObjNum, std::uint32_t AGenNum, TkwCryptTarget ATarget)
    : TkwDecode(std::move(ASource)), FHandler(&AHandler), FObjNum(AObjNum), FGenNum(AGenNum), FTarget(ATarget) {
  // The decoded size equals the encrypted size, which the window below already bounds.
  FCap = INT64_MAX;
}

TkwCryptStream::TkwCryptStream(std::string_view AString, TkwSecurityHandler& AHandler, std::uint32_t AObjNum,
                               std::uint32_t AGenNum)
    : TkwCryptStream(TkwRef<TkwStream>(TkwMemoryStream::FromString(std::string(AString))), AHandler, AObjNum,
                     AGenNum, TkwCryptTarget::ctString) {}

bool TkwCryptStream::CheckPassword(void* ASettings, std::string_view APassword) {
  if (ASettings == nullptr) return false;
  return FHandler->CheckPassword(*static_cast<TkwEncryptionSettings*>(ASettings), APassword);
}

void TkwCryptStream::ResetDecoder() {
  FFinished = false;
  if (!FCipher) {
    FCipher = FHandler->MakeCipher(FObjNum, FGenNum, FTarget);
  } else {
    FCipher->Restart();
  }
}

bool TkwCryptStream::Refill() {
  if (!FSource) throw ExInvalidStream();
  if (!FCipher) ResetDecoder();
  if (FFinished) return false;
  const std::size_t n = FSource->Read(FIn);
  // A short read is the end of the source.
  FFinished = n < FIn.size();
  FOut.clear();
  FCipher->Process(std::span<const std::uint8_t>(FIn.data(), n), FFinished, FOut);
  const auto* data = reinterpret_cast<const std::uint8_t*>(FOut.data());
  SetWindow(data, data + FOut.size());
  // An empty window before the end is allowed: input was consumed.
  return !(FFinished && FOut.empty());
}

}  // namespace qm
