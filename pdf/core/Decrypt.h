#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "base/kwObject.h"

// The standard security handler: MD5 and RC4 of our own, the password algorithms of
// revisions 2 and 3 (RC4 with 40-bit and 128-bit keys) and the per-object keys.
//
// The file key is derived once per document (TkwSecurityHandler::CheckPassword) and every
// later string or stream asks the same handler for its object key; nothing re-runs the
// password algorithms per object.
namespace qm {

class TkwPDDictionary;

// ---- MD5 (RFC 1321) ------------------------------------------------------------------

struct TkwMD5Context {
  std::array<std::uint32_t, 4> State{};
  std::uint64_t Count = 0;  // bytes hashed so far
  std::array<std::uint8_t, 64> Buffer{};
};
using TkwMD5Digest = std::array<std::uint8_t, 16>;

void MD5Init(TkwMD5Context& ACtx);
void MD5Update(TkwMD5Context& ACtx, std::span<const std::uint8_t> AData);
void MD5Update(TkwMD5Context& ACtx, std::string_view AData);
TkwMD5Digest MD5Final(TkwMD5Context& ACtx);
TkwMD5Digest MD5(std::string_view AData);

// ---- RC4 -----------------------------------------------------------------------------

struct TkwRC4State {
  std::array<std::uint8_t, 256> S{};
  std::uint8_t I = 0;
  std::uint8_t J = 0;
};

// Throws ExInvalidKeyLen "RC4: Invalid key length" unless the key has 1 to 256 bytes.
void RC4Init(TkwRC4State& AState, std::span<const std::uint8_t> AKey);
// En- and decrypts in place (the same operation); continues the key stream.
void RC4Crypt(TkwRC4State& AState, std::span<std::uint8_t> AData);
std::string RC4Crypt(std::string_view AKey, std::string_view AData);

// ---- Settings and permissions --------------------------------------------------------

enum class TkwPDFEncryptionLevel : std::uint8_t { el40Bit, el128Bit };
enum class TkwCryptAlgorithm : std::uint8_t { cryptRC4, cryptAES };

// Bits 0..7 in this order.
enum class TkwUserPermissionsType : std::uint8_t {
  AllowCopy,
  AllowModify,
  AllowPrint,
  AllowAnnotation,
  AllowFormFill,
  AllowAccessibility,
  AllowDocAssembly,
  AllowHighResPrint
};

class TkwUserPermissions {
public:
  static TkwUserPermissions All() { return TkwUserPermissions(0xFF); }
  TkwUserPermissions() = default;
  explicit TkwUserPermissions(std::uint8_t ABits) : FBits(ABits) {}
  [[nodiscard]] bool Has(TkwUserPermissionsType AType) const {
    return (FBits >> static_cast<unsigned>(AType)) & 1U;
  }
  void Include(TkwUserPermissionsType AType) {
    FBits = static_cast<std::uint8_t>(FBits | (1U << static_cast<unsigned>(AType)));
  }
  [[nodiscard]] std::uint8_t Bits() const { return FBits; }
  bool operator==(const TkwUserPermissions&) const = default;

private:
  std::uint8_t FBits = 0;
};

// What the encryption dictionary says, and afterwards what the password check found.
// In settings read from a file, FOwnerPassword and FUserPassword hold O and U wrapped as
// written: "<" + hex digits + ">" for a hex string, "(" + bytes + ")" for a literal one.
class TkwEncryptionSettings : public TkwObject {
public:
  bool FIsOwner = true;
  bool FEnabled = false;
  TkwPDFEncryptionLevel FLevel = TkwPDFEncryptionLevel::el128Bit;
  std::string FOwnerPassword;
  std::string FUserPassword;
  TkwUserPermissions FUserPermissions;
  std::string FFileID;  // first ID string as written: "<hex digits>" or "(bytes)" (bare hex digits and raw bytes are read too)
  std::int32_t FPermission = 0;

  void Assign(const TkwEncryptionSettings& ASource);
};

// The 32-byte padding string of the standard security handler.
std::string_view PasswordPadding();
// The first 32 bytes of APassword followed by as much padding as makes 32.
std::string PadPassword(std::string_view APassword);
// Reads "<hex>" or "(bytes)" back to bytes; anything else is returned as it stands.
std::string UnwrapKeyString(std::string_view AWrapped);

// What a decryption is for. RC4 treats both alike; crypt filters may choose a different
// method for strings and for streams.
// What an object's bytes are decrypted as: a string or a stream with the document's own
// methods, left as they are, or a stream under a crypt filter of its own naming.
enum class TkwCryptTarget : std::uint8_t { ctString, ctStream, ctIdentity, ctRC4, ctAESV2, ctAESV3 };

// Decryption of one document, the seam between the loader and the cipher. The document
// owns one handler for its life; strings and streams borrow it.
class TkwSecurityHandler : public TkwObject {
public:
  // Tries APassword as owner, then as user password. True on success, with ASettings
  // filled and the file key kept for every later object key.
  [[nodiscard]] virtual bool CheckPassword(TkwEncryptionSettings& ASettings,
                                           std::string_view APassword) = 0;
  [[nodiscard]] virtual bool GetIsOwner() const = 0;
  // "RC4 40-bit", "RC4 128-bit", ...
  [[nodiscard]] virtual std::string GetMethodName() const = 0;
  // Plain bytes of AData, which belongs to object ANum generation AGen.
  [[nodiscard]] virtual std::string Decrypt(std::string_view AData, std::uint32_t ANum,
                                            std::uint32_t AGen, TkwCryptTarget ATarget) const = 0;
  // The cipher block of ATarget's data (whose length is a multiple of it after the
  // initialisation vector), 0 for a stream cipher.
  [[nodiscard]] virtual std::size_t BlockSize(TkwCryptTarget ATarget) const {
    (void)ATarget;
    return 0;
  }
  // A cipher that decrypts one object's data piece by piece, for streams read lazily.
  class TkwCipher {
  public:
    virtual ~TkwCipher() = default;
    virtual void Restart() = 0;
    // Appends the plain bytes of the next piece AIn of the data to AOut; AFinal marks the
    // last piece (block ciphers hold bytes back until then). Continues where the last call
    // stopped.
    virtual void Process(std::span<const std::uint8_t> AIn, bool AFinal, std::string& AOut) = 0;
  };
  [[nodiscard]] virtual std::unique_ptr<TkwCipher> MakeCipher(std::uint32_t ANum, std::uint32_t AGen,
                                                              TkwCryptTarget ATarget) const = 0;
  // How the stream with dictionary AStreamDict is decrypted: ctStream for every stream
  // unless the handler knows crypt filters.
  [[nodiscard]] virtual TkwCryptTarget StreamTarget(const TkwPDDictionary& AStreamDict) const {
    (void)AStreamDict;
    return TkwCryptTarget::ctStream;
  }
};

// An RC4 cipher over one object's key, for every handler that uses RC4 objects.
[[nodiscard]] std::unique_ptr<TkwSecurityHandler::TkwCipher> MakeRC4Cipher(std::string AKey);

// Revisions 2 and 3 of the standard handler (RC4, 40 or 128 bits).
class TkwStandardSecurity final : public TkwSecurityHandler {
public:
  // Set-up from the dictionary's values (see TkwEncryptionSettings). An ID that is not 16
  // bytes is used with the bytes it has.
  explicit TkwStandardSecurity(const TkwEncryptionSettings& AFileSettings);

  bool CheckPassword(TkwEncryptionSettings& ASettings, std::string_view APassword) override;
  bool GetIsOwner() const override { return FIsOwner; }
  std::string GetMethodName() const override;
  std::string Decrypt(std::string_view AData, std::uint32_t ANum, std::uint32_t AGen,
                      TkwCryptTarget ATarget) const override;
  std::unique_ptr<TkwCipher> MakeCipher(std::uint32_t ANum, std::uint32_t AGen,
                                        TkwCryptTarget ATarget) const override;

  // The steps on their own, for tests and the writing side.
  [[nodiscard]] std::size_t KeyLength() const { return FLevel == TkwPDFEncryptionLevel::el40Bit ? 5 : 16; }
  // The RC4 key of one object: MD5(file key, 3 bytes of ANum, 2 bytes of AGen), cut to n + 5.
  [[nodiscard]] std::string ObjectKey(std::uint32_t ANum, std::uint32_t AGen) const;
  // The candidate file key for a user password, or nothing when it is wrong.
  [[nodiscard]] bool CheckUserPassword(std::string_view APassword, std::string& AKey) const;
  // The user password that the owner password unlocks (padded form), or nothing.
  [[nodiscard]] bool CheckOwnerPassword(std::string_view APassword, std::string& AUserPassword,
                                        std::string& AKey) const;
  [[nodiscard]] const std::string& GetFileKey() const { return FFileKey; }
  [[nodiscard]] TkwPDFEncryptionLevel GetLevel() const { return FLevel; }

private:
  [[nodiscard]] std::string ComputeKey(std::string_view APaddedPassword) const;

  TkwPDFEncryptionLevel FLevel;
  std::string FFileID;    // the ID's bytes (16 in a well-made file), or empty when the trailer has no ID
  std::string FOwnerKey;  // 32 bytes
  std::string FUserKey;   // 32 bytes
  std::string FFileKey;   // n bytes once a password check succeeded
  std::array<std::uint8_t, 4> FPermissions{};
  std::int32_t FP = 0;
  bool FIsOwner = false;
};

}  // namespace qm
