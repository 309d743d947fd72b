#include "pdf/core/kwAESSecurity.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>

namespace qm {

namespace {

struct TkwCtxFree {
  void operator()(EVP_CIPHER_CTX* ACtx) const { EVP_CIPHER_CTX_free(ACtx); }
};
using TkwCtxPtr = std::unique_ptr<EVP_CIPHER_CTX, TkwCtxFree>;

const EVP_CIPHER* CbcFor(std::size_t AKeyLength) {
  return AKeyLength == 32 ? EVP_aes_256_cbc() : EVP_aes_128_cbc();
}

const unsigned char* U8(std::string_view AData) { return reinterpret_cast<const unsigned char*>(AData.data()); }

// One pass of AES without padding over whole blocks; an empty result when libcrypto fails.
std::string AESRaw(const EVP_CIPHER* ACipher, bool AEncrypt, std::string_view AKey, std::string_view AIV,
                   std::string_view AData) {
  TkwCtxPtr ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return {};
  if (EVP_CipherInit_ex(ctx.get(), ACipher, nullptr, U8(AKey), AIV.empty() ? nullptr : U8(AIV), AEncrypt ? 1 : 0) != 1)
    return {};
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  std::string out(AData.size() + 32, '\0');
  int len = 0;
  if (EVP_CipherUpdate(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &len, U8(AData),
                       static_cast<int>(AData.size())) != 1)
    return {};
  out.resize(static_cast<std::size_t>(len));
  return out;
}

std::string Digest(const EVP_MD* AMD, std::string_view A, std::string_view B = {}, std::string_view C = {}) {
  std::string out(EVP_MAX_MD_SIZE, '\0');
  unsigned int len = 0;
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  if (ctx == nullptr) return {};
  EVP_DigestInit_ex(ctx, AMD, nullptr);
  EVP_DigestUpdate(ctx, A.data(), A.size());
  EVP_DigestUpdate(ctx, B.data(), B.size());
  EVP_DigestUpdate(ctx, C.data(), C.size());
  EVP_DigestFinal_ex(ctx, reinterpret_cast<unsigned char*>(out.data()), &len);
  EVP_MD_CTX_free(ctx);
  out.resize(len);
  return out;
}

// Strips PKCS#5 padding when it is well formed; otherwise the bytes stay as decrypted.
void StripPadding(std::string& AData) {
  if (AData.empty()) return;
  const auto pad = static_cast<std::uint8_t>(AData.back());
  if (pad == 0 || pad > 16 || pad > AData.size()) return;
  for (std::size_t i = AData.size() - pad; i < AData.size(); ++i) {
    if (static_cast<std::uint8_t>(AData[i]) != pad) return;
  }
  AData.erase(AData.end() - pad, AData.end());
}

class TkwAESCipher final : public TkwSecurityHandler::TkwCipher {
public:
  explicit TkwAESCipher(std::string AKey) : FKey(std::move(AKey)) { Restart(); }
  void Restart() override {
    FIV.clear();
    FTail.clear();
    FCtx.reset();
  }
  void Process(std::span<const std::uint8_t> AIn, bool AFinal, std::string& AOut) override {
    std::string_view in(reinterpret_cast<const char*>(AIn.data()), AIn.size());
    if (!FCtx && FIV.size() < 16) {
      const std::size_t take = std::min(in.size(), 16 - FIV.size());
      FIV.append(in.substr(0, take));
      in.remove_prefix(take);
      if (FIV.size() == 16) {
        FCtx.reset(EVP_CIPHER_CTX_new());
        if (FCtx && EVP_DecryptInit_ex(FCtx.get(), CbcFor(FKey.size()), nullptr, U8(FKey), U8(FIV)) == 1) {
          EVP_CIPHER_CTX_set_padding(FCtx.get(), 0);
        } else {
          FCtx.reset();  // nothing decrypts; the object reads as empty
        }
      }
    }
    if (FCtx && !in.empty()) {
      std::string out(in.size() + 16, '\0');
      int len = 0;
      if (EVP_DecryptUpdate(FCtx.get(), reinterpret_cast<unsigned char*>(out.data()), &len, U8(in),
                            static_cast<int>(in.size())) == 1) {
        FTail.append(out.data(), static_cast<std::size_t>(len));
      }
    }
    // The last block is held back until the end, where its padding comes off.
    if (AFinal) {
      StripPadding(FTail);
      AOut += FTail;
      FTail.clear();
    } else if (FTail.size() > 16) {
      AOut.append(FTail, 0, FTail.size() - 16);
      FTail.erase(0, FTail.size() - 16);
    }
  }

private:
  std::string FKey;
  std::string FIV;
  std::string FTail;
  TkwCtxPtr FCtx;
};

class TkwIdentityCipher final : public TkwSecurityHandler::TkwCipher {
public:
  void Restart() override {}
  void Process(std::span<const std::uint8_t> AIn, bool, std::string& AOut) override {
    AOut.append(reinterpret_cast<const char*>(AIn.data()), AIn.size());
  }
};

std::string StringBytes(const TkwPDDictionary& ADict, std::string_view AKey) {
  const TkwPDBaseObject* obj = ADict.LookUp(AKey);
  if (obj == nullptr || !obj->IsString()) return {};
  return static_cast<const TkwPDString*>(obj)->GetHexToString();
}

std::string Digest16(const TkwMD5Digest& ADigest, std::size_t ALength) {
  return std::string(reinterpret_cast<const char*>(ADigest.data()), std::min<std::size_t>(ALength, 16));
}

void TwentyRC4Passes(std::string_view AKey, std::string& AData, bool ADecrypt) {
  std::string key(AKey);
  for (int n = 0; n < 20; ++n) {
    const int i = ADecrypt ? 19 - n : n;
    for (std::size_t k = 0; k < key.size(); ++k) key[k] = static_cast<char>(static_cast<std::uint8_t>(AKey[k]) ^ i);
    AData = RC4Crypt(key, AData);
  }
}

// The Latin-1 bytes of a UTF-8 password whose characters all lie below U+0100, which is
// how revision 4 passwords are written; nothing when there is no such form.
bool Utf8ToLatin1(std::string_view AText, std::string& AOut) {
  AOut.clear();
  bool changed = false;
  for (std::size_t i = 0; i < AText.size(); ++i) {
    const auto c = static_cast<std::uint8_t>(AText[i]);
    if (c < 0x80) {
      AOut.push_back(static_cast<char>(c));
    } else if ((c == 0xC2 || c == 0xC3) && i + 1 < AText.size() &&
               (static_cast<std::uint8_t>(AText[i + 1]) & 0xC0) == 0x80) {
      AOut.push_back(static_cast<char>(((c & 0x03) << 6) | (static_cast<std::uint8_t>(AText[i + 1]) & 0x3F)));
      ++i;
      changed = true;
    } else {
      return false;
    }
  }
  return changed;
}

}  // namespace

std::string AESDecrypt(std::string_view AKey, std::string_view AData) {
  TkwAESCipher cipher{std::string(AKey)};
  std::string out;
  cipher.Process(std::span(reinterpret_cast<const std::uint8_t*>(AData.data()), AData.size()), true, out);
  return out;
}

std::string PasswordHashV5(std::string_view APassword, std::string_view ASalt, std::string_view AUserKey,
                           std::int32_t ARevision) {
  const std::string_view pw = APassword.substr(0, std::min<std::size_t>(APassword.size(), 127));
  std::string k = Digest(EVP_sha256(), pw, ASalt, AUserKey);
  if (ARevision < 6 || k.size() < 32) return k;
  // Bounded: the loop ends once the round count passes the last byte of E plus 32, at most 288.
  for (int round = 0;; ++round) {
    std::string block;
    block.reserve(pw.size() + k.size() + AUserKey.size());
    block.append(pw).append(k).append(AUserKey);
    std::string k1;
    k1.reserve(block.size() * 64);
    for (int i = 0; i < 64; ++i) k1 += block;
    const std::string e = AESRaw(EVP_aes_128_cbc(), true, std::string_view(k).substr(0, 16),
                                 std::string_view(k).substr(16, 16), k1);
    if (e.size() < 16) return k.substr(0, 32);
    unsigned sum = 0;
    for (int i = 0; i < 16; ++i) sum += static_cast<std::uint8_t>(e[static_cast<std::size_t>(i)]);
    const EVP_MD* md = sum % 3 == 0 ? EVP_sha256() : sum % 3 == 1 ? EVP_sha384() : EVP_sha512();
    k = Digest(md, e);
    if (round >= 63 && static_cast<std::uint8_t>(e.back()) <= round - 31) break;
    if (round > 300) break;
  }
  return k.substr(0, 32);
}

// ---- TkwAESSecurity ------------------------------------------------------------------

TkwAESSecurity::TkwAESSecurity(const TkwPDDictionary& AEncrypt, std::string AFileID)
    : FV(AEncrypt.LookUpInt("V", 0)),
      FR(AEncrypt.LookUpInt("R", 0)),
      FFileID(std::move(AFileID)),
      FO(StringBytes(AEncrypt, "O")),
      FU(StringBytes(AEncrypt, "U")),
      FOE(StringBytes(AEncrypt, "OE")),
      FUE(StringBytes(AEncrypt, "UE")),
      FPerms(StringBytes(AEncrypt, "Perms")),
      FP(AEncrypt.LookUpInt("P", 0)),
      FEncryptMetadata(AEncrypt.LookUpBool("EncryptMetadata", true)) {
  if (FV == 5) {
    if (FR != 5 && FR != 6) throw ExUnsupportedEncryption("Standard revision " + std::to_string(FR));
    FKeyLength = 32;
  } else {
    const std::int32_t bits = AEncrypt.LookUpInt("Length", 128);
    FKeyLength = bits >= 40 && bits <= 128 && bits % 8 == 0 ? static_cast<std::size_t>(bits / 8) : 16;
  }
  const TkwPDDictionary* cf = AEncrypt.LookUpDict("CF");
  const auto methodOf = [&](const std::string& AName) {
    if (AName.empty() || AName == "Identity") return TkwCryptMethod::cmIdentity;
    const TkwPDDictionary* filter = cf != nullptr ? cf->LookUpDict(AName) : nullptr;
    if (filter == nullptr) throw ExUnsupportedEncryption("crypt filter /" + AName);
    const std::string cfm = filter->LookUpName("CFM");
    if (cfm == "V2") return TkwCryptMethod::cmRC4;
    if (cfm == "AESV2") return TkwCryptMethod::cmAESV2;
    if (cfm == "AESV3") return TkwCryptMethod::cmAESV3;
    throw ExUnsupportedEncryption("crypt filter /" + AName + " /" + (cfm.empty() ? "None" : cfm));
  };
  if (cf != nullptr) {
    for (std::size_t i = 0; i < cf->GetLength(); ++i) {
      const std::string name = cf->GetKey(i);
      try {
        if (cf->LookUpDict(name) != nullptr) FFilters[name] = methodOf(name);
      } catch (const ExUnsupportedEncryption&) {
        // Only a stream that names such a filter is affected; it reads as it is.
      }
    }
  }
  FStrMethod = methodOf(AEncrypt.LookUpName("StrF"));
  FStmMethod = methodOf(AEncrypt.LookUpName("StmF"));
  const bool aes256 = FStrMethod == TkwCryptMethod::cmAESV3 || FStmMethod == TkwCryptMethod::cmAESV3;
  if (aes256 != (FV == 5)) throw ExUnsupportedEncryption("AESV3 crypt filter with V " + std::to_string(FV));
}

TkwCryptTarget TkwAESSecurity::StreamTarget(const TkwPDDictionary& AStreamDict) const {
  // The first filter of the chain (a name or an array's first element) decides.
  const TkwPDBaseObject* filter = AStreamDict.LookUp("Filter");
  const TkwPDBaseObject* parms = AStreamDict.LookUp("DecodeParms");
  if (filter != nullptr && filter->IsArray()) {
    const auto* array = static_cast<const TkwPDArray*>(filter);
    filter = array->GetLength() > 0 ? array->Get(0) : nullptr;
    parms = parms != nullptr && parms->IsArray() && static_cast<const TkwPDArray*>(parms)->GetLength() > 0
                ? static_cast<const TkwPDArray*>(parms)->Get(0)
                : nullptr;
  }
  if (filter != nullptr && filter->IsName("Crypt")) {
    std::string name = "Identity";
    if (parms != nullptr && parms->IsDict()) {
      const std::string named = static_cast<const TkwPDDictionary*>(parms)->LookUpName("Name");
      if (!named.empty()) name = named;
    }
    if (name == "Identity") return TkwCryptTarget::ctIdentity;
    const auto found = FFilters.find(name);
    if (found == FFilters.end()) return TkwCryptTarget::ctStream;
    switch (found->second) {
      case TkwCryptMethod::cmIdentity: return TkwCryptTarget::ctIdentity;
      case TkwCryptMethod::cmRC4: return TkwCryptTarget::ctRC4;
      case TkwCryptMethod::cmAESV2: return TkwCryptTarget::ctAESV2;
      case TkwCryptMethod::cmAESV3: return TkwCryptTarget::ctAESV3;
    }
  }
  if (!FEncryptMetadata && AStreamDict.LookUpName("Type") == "Metadata") return TkwCryptTarget::ctIdentity;
  return TkwCryptTarget::ctStream;
}

std::string TkwAESSecurity::GetMethodName() const {
  if (FV == 5) return "AES-256";
  if (FStrMethod == TkwCryptMethod::cmAESV2 || FStmMethod == TkwCryptMethod::cmAESV2) return "AES-128";
  return FKeyLength == 5 ? "RC4 40-bit" : "RC4 128-bit";
}

bool TkwAESSecurity::CheckR4(std::string_view APassword, bool& AOwner, std::string& AKey) const {
  const auto userKey = [&](std::string_view APadded, std::string& AOutKey) {
    TkwMD5Context ctx;
    MD5Init(ctx);
    MD5Update(ctx, APadded);
    MD5Update(ctx, std::string_view(FO).substr(0, std::min<std::size_t>(FO.size(), 32)));
    const auto p = static_cast<std::uint32_t>(FP);
    const char pb[4] = {static_cast<char>(p), static_cast<char>(p >> 8), static_cast<char>(p >> 16),
                        static_cast<char>(p >> 24)};
    MD5Update(ctx, std::string_view(pb, 4));
    MD5Update(ctx, FFileID);
    if (!FEncryptMetadata) MD5Update(ctx, std::string_view("\xFF\xFF\xFF\xFF", 4));
    TkwMD5Digest d = MD5Final(ctx);
    for (int i = 0; i < 50; ++i) d = MD5(Digest16(d, FKeyLength));
    const std::string key = Digest16(d, FKeyLength);
    TkwMD5Context check;
    MD5Init(check);
    MD5Update(check, PasswordPadding());
    MD5Update(check, FFileID);
    std::string expected = Digest16(MD5Final(check), 16);
    TwentyRC4Passes(key, expected, false);
    if (FU.size() < 16 || FU.compare(0, 16, expected) != 0) return false;
    AOutKey = key;
    return true;
  };
  // The owner password unwraps the padded user password from O.
  TkwMD5Digest d = MD5(PadPassword(APassword));
  for (int i = 0; i < 50; ++i) d = MD5(Digest16(d, 16));
  std::string user = FO.substr(0, std::min<std::size_t>(FO.size(), 32));
  TwentyRC4Passes(Digest16(d, FKeyLength), user, true);
  if (userKey(user, AKey)) {
    AOwner = true;
    return true;
  }
  AOwner = false;
  return userKey(PadPassword(APassword), AKey);
}

bool TkwAESSecurity::CheckR6(std::string_view APassword, bool& AOwner, std::string& AKey) const {
  if (FU.size() < 48 || FO.size() < 48) return false;
  const std::string_view u(FU), o(FO), u48 = u.substr(0, 48);
  const auto unwrap = [&](std::string_view AIntermediate, const std::string& AWrapped) {
    if (AWrapped.size() < 32) return false;
    AKey = AESRaw(EVP_aes_256_cbc(), false, AIntermediate, std::string(16, '\0'), std::string_view(AWrapped).substr(0, 32));
    return AKey.size() == 32;
  };
  if (PasswordHashV5(APassword, o.substr(32, 8), u48, FR) == o.substr(0, 32)) {
    AOwner = true;
    return unwrap(PasswordHashV5(APassword, o.substr(40, 8), u48, FR), FOE);
  }
  if (PasswordHashV5(APassword, u.substr(32, 8), {}, FR) == u.substr(0, 32)) {
    AOwner = false;
    return unwrap(PasswordHashV5(APassword, u.substr(40, 8), {}, FR), FUE);
  }
  return false;
}

bool TkwAESSecurity::CheckPassword(TkwEncryptionSettings& ASettings, std::string_view APassword) {
  using enum TkwUserPermissionsType;
  bool owner = false;
  std::string key;
  std::string latin1;
  const bool found = FV == 5 ? CheckR6(APassword, owner, key)
                             : CheckR4(APassword, owner, key) ||
                                   (Utf8ToLatin1(APassword, latin1) && CheckR4(latin1, owner, key));
  if (!found) return false;
  FFileKey = key;
  FIsOwner = owner;
  std::int32_t p = FP;
  if (FV == 5 && FPerms.size() >= 16) {
    // Perms repeats P under the file key; the copy there wins when it checks out.
    const std::string plain = AESRaw(EVP_aes_256_ecb(), false, FFileKey, {}, std::string_view(FPerms).substr(0, 16));
    if (plain.size() == 16 && plain.compare(9, 3, "adb") == 0) {
      p = static_cast<std::int32_t>(std::uint32_t{static_cast<std::uint8_t>(plain[0])} |
                                    (std::uint32_t{static_cast<std::uint8_t>(plain[1])} << 8) |
                                    (std::uint32_t{static_cast<std::uint8_t>(plain[2])} << 16) |
                                    (std::uint32_t{static_cast<std::uint8_t>(plain[3])} << 24));
    }
  }
  TkwUserPermissions perms = TkwUserPermissions::All();
  if (!owner) {
    perms = TkwUserPermissions();
    const auto bit = [p](int ABit) { return (static_cast<std::uint32_t>(p) >> (ABit - 1)) & 1U; };
    if (bit(3)) perms.Include(AllowPrint);
    if (bit(4)) perms.Include(AllowModify);
    if (bit(5)) perms.Include(AllowCopy);
    if (bit(6)) perms.Include(AllowAnnotation);
    if (bit(9)) perms.Include(AllowFormFill);
    if (bit(10)) perms.Include(AllowAccessibility);
    if (bit(11)) perms.Include(AllowDocAssembly);
    if (bit(12)) perms.Include(AllowHighResPrint);
  }
  ASettings.FEnabled = true;
  ASettings.FIsOwner = owner;
  if (owner) ASettings.FOwnerPassword = APassword;
  else ASettings.FUserPassword = APassword;
  ASettings.FUserPermissions = perms;
  ASettings.FLevel = TkwPDFEncryptionLevel::el128Bit;
  ASettings.FPermission = p;
  return true;
}

std::string TkwAESSecurity::ObjectKey(std::uint32_t ANum, std::uint32_t AGen, TkwCryptMethod AMethod) const {
  if (AMethod == TkwCryptMethod::cmAESV3) return FFileKey.size() == 32 ? FFileKey : std::string(32, '\0');
  std::string material = FFileKey;
  material.resize(FKeyLength, '\0');
  material.push_back(static_cast<char>(ANum & 0xFF));
  material.push_back(static_cast<char>((ANum >> 8) & 0xFF));
  material.push_back(static_cast<char>((ANum >> 16) & 0xFF));
  material.push_back(static_cast<char>(AGen & 0xFF));
  material.push_back(static_cast<char>((AGen >> 8) & 0xFF));
  if (AMethod == TkwCryptMethod::cmAESV2) material += "sAlT";
  return Digest16(MD5(material), AMethod == TkwCryptMethod::cmAESV2 ? 16 : FKeyLength + 5);
}

std::string TkwAESSecurity::Decrypt(std::string_view AData, std::uint32_t ANum, std::uint32_t AGen,
                                    TkwCryptTarget ATarget) const {
  const TkwCryptMethod method = GetMethod(ATarget);
  switch (method) {
    case TkwCryptMethod::cmIdentity: return std::string(AData);
    case TkwCryptMethod::cmRC4: return AData.empty() ? std::string() : RC4Crypt(ObjectKey(ANum, AGen, method), AData);
    case TkwCryptMethod::cmAESV2:
    case TkwCryptMethod::cmAESV3: return AESDecrypt(ObjectKey(ANum, AGen, method), AData);
  }
  return std::string(AData);
}

std::size_t TkwAESSecurity::BlockSize(TkwCryptTarget ATarget) const {
  const TkwCryptMethod method = GetMethod(ATarget);
  return method == TkwCryptMethod::cmAESV2 || method == TkwCryptMethod::cmAESV3 ? 16 : 0;
}

std::unique_ptr<TkwSecurityHandler::TkwCipher> TkwAESSecurity::MakeCipher(std::uint32_t ANum, std::uint32_t AGen,
                                                                          TkwCryptTarget ATarget) const {
  const TkwCryptMethod method = GetMethod(ATarget);
  switch (method) {
    case TkwCryptMethod::cmIdentity: return std::make_unique<TkwIdentityCipher>();
    case TkwCryptMethod::cmRC4: return MakeRC4Cipher(ObjectKey(ANum, AGen, method));
    case TkwCryptMethod::cmAESV2:
    case TkwCryptMethod::cmAESV3: return std::make_unique<TkwAESCipher>(ObjectKey(ANum, AGen, method));
  }
  return std::make_unique<TkwIdentityCipher>();
}

std::unique_ptr<TkwSecurityHandler> MakeAESSecurity(const TkwPDDictionary& AEncrypt, const TkwPDArray* AID) {
  const std::string filter = AEncrypt.LookUpName("Filter");
  if (filter != "Standard") throw ExUnsupportedEncryption(filter.empty() ? std::string("no Filter") : filter);
  const std::int32_t v = AEncrypt.LookUpInt("V", 0);
  if (v < 4) return nullptr;
  if (v > 5) throw ExUnsupportedEncryption("Standard V " + std::to_string(v));
  std::string id;
  if (AID != nullptr) {
    if (const auto* a = AID->Get(0); a != nullptr && a->IsString()) id = static_cast<const TkwPDString*>(a)->GetHexToString();
  }
  return std::make_unique<TkwAESSecurity>(AEncrypt, std::move(id));
}

}  // namespace qm
