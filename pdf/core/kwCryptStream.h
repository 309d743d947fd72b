#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/kwRef.h"
#include "pdf/core/Decrypt.h"
#include "pdf/core/kwStream.h"

namespace qm {

// The decrypting stream: the lowest stage of an encrypted document's stream chains, over
// the raw data window of one object. Decryption follows the reads block by block (RC4 is a
// stream cipher), so a stream is never held whole in memory.
class TkwCryptStream final : public TkwDecode {
public:
  // AHandler (not owned) is the document's handler; it outlives the stream because the
  // document owns both the handler and every stream object.
  TkwCryptStream(TkwRef<TkwStream> ASource, TkwSecurityHandler& AHandler, std::uint32_t AObjNum,
                 std::uint32_t AGenNum, TkwCryptTarget ATarget = TkwCryptTarget::ctStream);
  // Over the bytes of an encrypted string.
  TkwCryptStream(std::string_view AString, TkwSecurityHandler& AHandler, std::uint32_t AObjNum,
                 std::uint32_t AGenNum);

  [[nodiscard]] TkwStreamType GetType() const override { return TkwStreamType::stCrypt; }
  // ASettings is a TkwEncryptionSettings; runs the handler's password check.
  bool CheckPassword(void* ASettings, std::string_view APassword) override;

protected:
  void ResetDecoder() override;
  bool Refill() override;

private:
  TkwSecurityHandler* FHandler;  // not owned
  std::unique_ptr<TkwSecurityHandler::TkwCipher> FCipher;
  std::uint32_t FObjNum;
  std::uint32_t FGenNum;
  TkwCryptTarget FTarget;
  std::array<std::uint8_t, 4096> FIn{};
  std::string FOut;
  bool FFinished = false;
};

}  // namespace qm
