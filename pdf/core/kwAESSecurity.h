#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "pdf/core/Decrypt.h"
#include "pdf/core/kwPDBaseObject.h"

// The standard security handler of today's files: V 4 with crypt filters (RC4 or AES-128)
// and V 5 (AES-256, revisions 5 and 6). AES and the SHA-2 family come from libcrypto.
namespace qm {

// A handler or crypt filter this system cannot decrypt; names it, so that the user is not
// told a password would help.
class ExUnsupportedEncryption : public EPDFCoreError {
public:
  explicit ExUnsupportedEncryption(const std::string& AWhat)
      : EPDFCoreError("Unsupported encryption: " + AWhat) {}
};

enum class TkwCryptMethod : std::uint8_t { cmIdentity, cmRC4, cmAESV2, cmAESV3 };

class TkwAESSecurity final : public TkwSecurityHandler {
public:
  // AEncrypt is the encryption dictionary, AFileID the bytes of the first trailer ID
  // string. Throws ExUnsupportedEncryption for an unknown crypt filter or revision.
  TkwAESSecurity(const TkwPDDictionary& AEncrypt, std::string AFileID);

  bool CheckPassword(TkwEncryptionSettings& ASettings, std::string_view APassword) override;
  bool GetIsOwner() const override { return FIsOwner; }
  // "AES-128", "AES-256", or "RC4 128-bit" for a V 4 file whose filters are all RC4.
  std::string GetMethodName() const override;
  std::string Decrypt(std::string_view AData, std::uint32_t ANum, std::uint32_t AGen,
                      TkwCryptTarget ATarget) const override;
  std::size_t BlockSize(TkwCryptTarget ATarget) const override;
  std::unique_ptr<TkwCipher> MakeCipher(std::uint32_t ANum, std::uint32_t AGen,
                                        TkwCryptTarget ATarget) const override;

  [[nodiscard]] std::int32_t GetRevision() const { return FR; }
  // Metadata streams stay in the clear when EncryptMetadata is false; a stream whose filters
  // start with /Crypt uses the crypt filter its parameters name (Identity when none).
  [[nodiscard]] TkwCryptTarget StreamTarget(const TkwPDDictionary& AStreamDict) const override;
  [[nodiscard]] TkwCryptMethod GetMethod(TkwCryptTarget ATarget) const {
    switch (ATarget) {
      case TkwCryptTarget::ctString: return FStrMethod;
      case TkwCryptTarget::ctStream: return FStmMethod;
      case TkwCryptTarget::ctIdentity: return TkwCryptMethod::cmIdentity;
      case TkwCryptTarget::ctRC4: return TkwCryptMethod::cmRC4;
      case TkwCryptTarget::ctAESV2: return TkwCryptMethod::cmAESV2;
      case TkwCryptTarget::ctAESV3: return TkwCryptMethod::cmAESV3;
    }
    return FStmMethod;
  }
  [[nodiscard]] const std::string& GetFileKey() const { return FFileKey; }

private:
  [[nodiscard]] std::string ObjectKey(std::uint32_t ANum, std::uint32_t AGen, TkwCryptMethod AMethod) const;
  [[nodiscard]] bool CheckR4(std::string_view APassword, bool& AOwner, std::string& AKey) const;
  [[nodiscard]] bool CheckR6(std::string_view APassword, bool& AOwner, std::string& AKey) const;

  std::int32_t FV = 0;
  std::int32_t FR = 0;
  std::size_t FKeyLength = 16;
  std::string FFileID;
  std::string FO, FU, FOE, FUE, FPerms;
  std::int32_t FP = 0;
  bool FEncryptMetadata = true;
  std::map<std::string, TkwCryptMethod> FFilters;  // the CF entries that could be read
  TkwCryptMethod FStrMethod = TkwCryptMethod::cmIdentity;
  TkwCryptMethod FStmMethod = TkwCryptMethod::cmIdentity;
  std::string FFileKey;
  bool FIsOwner = false;
};

// The handler for the encryption dictionary AEncrypt: nullptr for V 1 to 3 of the standard
// handler (the RC4 handler's business), a TkwAESSecurity for V 4 and 5. Throws
// ExUnsupportedEncryption for any other handler (public-key ones among them).
std::unique_ptr<TkwSecurityHandler> MakeAESSecurity(const TkwPDDictionary& AEncrypt,
                                                    const TkwPDArray* AID);

// AES-CBC decryption of AData: 16-byte IV first, PKCS#5 padding removed when valid. A
// short tail or bad padding yields what could be decrypted, never an exception.
std::string AESDecrypt(std::string_view AKey, std::string_view AData);
// The revision 6 (or, with ARevision 5, the plain SHA-256) password hash.
std::string PasswordHashV5(std::string_view APassword, std::string_view ASalt,
                           std::string_view AUserKey, std::int32_t ARevision);

}  // namespace qm
