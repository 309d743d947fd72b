#include "pdf/core/Decrypt.h"

#include <algorithm>
#include <cstring>
#include <random>

#include "pdf/core/kwPDBaseObject.h"

namespace qm {

namespace {

constexpr std::array<std::uint32_t, 64> kMD5Sines = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
constexpr std::array<std::uint8_t, 64> kMD5Shifts = {
    7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 5, 9,  14, 20, 5, 9,
    14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
    4, 11, 16, 23, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

inline std::uint32_t RotL(std::uint32_t x, unsigned c) { return (x << c) | (x >> (32U - c)); }

void MD5Block(std::array<std::uint32_t, 4>& AState, const std::uint8_t* ABlock) {
  std::uint32_t m[16];
  for (int i = 0; i < 16; ++i) {
    m[i] = std::uint32_t{ABlock[i * 4]} | (std::uint32_t{ABlock[i * 4 + 1]} << 8) |
           (std::uint32_t{ABlock[i * 4 + 2]} << 16) | (std::uint32_t{ABlock[i * 4 + 3]} << 24);
  }
  std::uint32_t a = AState[0], b = AState[1], c = AState[2], d = AState[3];
  for (unsigned i = 0; i < 64; ++i) {
    std::uint32_t f;
    unsigned g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    const std::uint32_t t = d;
    d = c;
    c = b;
    b = b + RotL(a + f + kMD5Sines[i] + m[g], kMD5Shifts[i]);
    a = t;
  }
  AState[0] += a;
  AState[1] += b;
  AState[2] += c;
  AState[3] += d;
}

std::span<const std::uint8_t> Bytes(std::string_view AText) {
  return {reinterpret_cast<const std::uint8_t*>(AText.data()), AText.size()};
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Hex digit text to bytes; a non-digit counts as 0 and an odd last digit is followed by 0,
// as hex strings are read everywhere else.
std::string HexToBytes(std::string_view AHex) {
  std::string out;
  out.reserve(AHex.size() / 2 + 1);
  for (std::size_t i = 0; i < AHex.size(); i += 2) {
    const int hi = std::max(0, HexValue(AHex[i]));
    const int lo = i + 1 < AHex.size() ? std::max(0, HexValue(AHex[i + 1])) : 0;
    out.push_back(static_cast<char>(hi * 16 + lo));
  }
  return out;
}

std::string To32(std::string AValue) {
  AValue.resize(32, '\0');
  return AValue;
}

void AppendDigest(std::string& AOut, const TkwMD5Digest& ADigest, std::size_t ACount) {
  AOut.append(reinterpret_cast<const char*>(ADigest.data()), std::min<std::size_t>(ACount, 16));
}

// RC4 with AKey XOR i for i = 19 down to 0, the twenty passes of revision 3.
void TwentyPasses(std::string_view AKey, std::string& AData) {
  std::string key(AKey);
  for (int i = 19; i >= 0; --i) {
    for (std::size_t k = 0; k < key.size(); ++k) {
      key[k] = static_cast<char>(static_cast<std::uint8_t>(AKey[k]) ^ static_cast<std::uint8_t>(i));
    }
    AData = RC4Crypt(key, AData);
  }
}

class TkwRC4Cipher final : public TkwSecurityHandler::TkwCipher {
public:
  explicit TkwRC4Cipher(std::string AKey) : FKey(std::move(AKey)) { Restart(); }
  void Restart() override { RC4Init(FState, Bytes(FKey)); }
  void Process(std::span<const std::uint8_t> AIn, bool, std::string& AOut) override {
    const std::size_t at = AOut.size();
    AOut.append(reinterpret_cast<const char*>(AIn.data()), AIn.size());
    RC4Crypt(FState, std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(AOut.data()) + at, AIn.size()));
  }

private:
  std::string FKey;
  TkwRC4State FState;
};

}  // namespace

std::unique_ptr<TkwSecurityHandler::TkwCipher> MakeRC4Cipher(std::string AKey) {
  return std::make_unique<TkwRC4Cipher>(std::move(AKey));
}

// ---- MD5 -----------------------------------------------------------------------------

void MD5Init(TkwMD5Context& ACtx) {
  ACtx.State = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  ACtx.Count = 0;
}

void MD5Update(TkwMD5Context& ACtx, std::span<const std::uint8_t> AData) {
  std::size_t used = static_cast<std::size_t>(ACtx.Count % 64);
  ACtx.Count += AData.size();
  std::size_t pos = 0;
  if (used > 0) {
    const std::size_t take = std::min(AData.size(), 64 - used);
    std::memcpy(ACtx.Buffer.data() + used, AData.data(), take);
    pos = take;
    if (used + take < 64) return;
    MD5Block(ACtx.State, ACtx.Buffer.data());
  }
  for (; pos + 64 <= AData.size(); pos += 64) {
    MD5Block(ACtx.State, AData.data() + pos);
  }
  if (pos < AData.size()) {
    std::memcpy(ACtx.Buffer.data(), AData.data() + pos, AData.size() - pos);
  }
}

void MD5Update(TkwMD5Context& ACtx, std::string_view AData) { MD5Update(ACtx, Bytes(AData)); }

TkwMD5Digest MD5Final(TkwMD5Context& ACtx) {
  const std::uint64_t bits = ACtx.Count * 8;
  std::array<std::uint8_t, 72> pad{};
  pad[0] = 0x80;
  const std::size_t used = static_cast<std::size_t>(ACtx.Count % 64);
  const std::size_t padLen = used < 56 ? 56 - used : 120 - used;
  MD5Update(ACtx, std::span<const std::uint8_t>(pad.data(), padLen));
  std::array<std::uint8_t, 8> len{};
  for (std::size_t i = 0; i < 8; ++i) len[i] = static_cast<std::uint8_t>(bits >> (8 * i));
  MD5Update(ACtx, len);
  TkwMD5Digest out{};
  for (std::size_t i = 0; i < 16; ++i) out[i] = static_cast<std::uint8_t>(ACtx.State[i / 4] >> (8 * (i % 4)));
  return out;
}

TkwMD5Digest MD5(std::string_view AData) {
  TkwMD5Context ctx;
  MD5Init(ctx);
  MD5Update(ctx, AData);
  return MD5Final(ctx);
}

// ---- RC4 -----------------------------------------------------------------------------

void RC4Init(TkwRC4State& AState, std::span<const std::uint8_t> AKey) {
  if (AKey.empty() || AKey.size() > 256) throw ExInvalidKeyLen();
  for (std::size_t i = 0; i < 256; ++i) AState.S[i] = static_cast<std::uint8_t>(i);
  std::uint8_t j = 0;
  for (std::size_t i = 0; i < 256; ++i) {
    j = static_cast<std::uint8_t>(j + AState.S[i] + AKey[i % AKey.size()]);
    std::swap(AState.S[i], AState.S[j]);
  }
  AState.I = 0;
  AState.J = 0;
}

void RC4Crypt(TkwRC4State& AState, std::span<std::uint8_t> AData) {
  std::uint8_t i = AState.I, j = AState.J;
  auto& s = AState.S;
  for (auto& b : AData) {
    i = static_cast<std::uint8_t>(i + 1);
    j = static_cast<std::uint8_t>(j + s[i]);
    std::swap(s[i], s[j]);
    b ^= s[static_cast<std::uint8_t>(s[i] + s[j])];
  }
  AState.I = i;
  AState.J = j;
}

std::string RC4Crypt(std::string_view AKey, std::string_view AData) {
  TkwRC4State state;
  RC4Init(state, Bytes(AKey));
  std::string out(AData);
  RC4Crypt(state, std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(out.data()), out.size()));
  return out;
}

// ---- Settings ------------------------------------------------------------------------

void TkwEncryptionSettings::Assign(const TkwEncryptionSettings& ASource) {
  FIsOwner = ASource.FIsOwner;
  FEnabled = ASource.FEnabled;
  FLevel = ASource.FLevel;
  FOwnerPassword = ASource.FOwnerPassword;
  FUserPassword = ASource.FUserPassword;
  FUserPermissions = ASource.FUserPermissions;
  FFileID = ASource.FFileID;
  FPermission = ASource.FPermission;
}

std::string_view PasswordPadding() {
  static constexpr char kPadding[32] = {
      '\x28', '\xBF', '\x4E', '\x5E', '\x4E', '\x75', '\x8A', '\x41', '\x64', '\x00', '\x4E',
      '\x56', '\xFF', '\xFA', '\x01', '\x08', '\x2E', '\x2E', '\x00', '\xB6', '\xD0', '\x68',
      '\x3E', '\x80', '\x2F', '\x0C', '\xA9', '\xFE', '\x64', '\x53', '\x69', '\x7A'};
  return {kPadding, 32};
}

std::string PadPassword(std::string_view APassword) {
  std::string out(APassword.substr(0, 32));
  out.append(PasswordPadding().substr(0, 32 - out.size()));
  return out;
}

std::string UnwrapKeyString(std::string_view AWrapped) {
  if (AWrapped.size() >= 2 && AWrapped.front() == '<' && AWrapped.back() == '>') {
    return HexToBytes(AWrapped.substr(1, AWrapped.size() - 2));
  }
  if (AWrapped.size() >= 2 && AWrapped.front() == '(' && AWrapped.back() == ')') {
    return std::string(AWrapped.substr(1, AWrapped.size() - 2));
  }
  return std::string(AWrapped);
}

// ---- Standard security handler -------------------------------------------------------

TkwStandardSecurity::TkwStandardSecurity(const TkwEncryptionSettings& AFileSettings)
    : FLevel(AFileSettings.FLevel),
      FOwnerKey(To32(UnwrapKeyString(AFileSettings.FOwnerPassword))),
      FUserKey(To32(UnwrapKeyString(AFileSettings.FUserPassword))),
      FP(AFileSettings.FPermission) {
  const auto p = static_cast<std::uint32_t>(FP);
  FPermissions[0] = static_cast<std::uint8_t>(p);
  FPermissions[1] = static_cast<std::uint8_t>(p >> 8);
  const std::uint8_t high = (FP < 0 || FP > 0xFFFF) ? 0xFF : 0x00;
  FPermissions[2] = high;
  FPermissions[3] = high;

  const std::string_view id = AFileSettings.FFileID;
  const auto isHex = [](std::string_view AText) {
    return AText.size() % 2 == 0 && std::none_of(AText.begin(), AText.end(), [](char c) { return HexValue(c) < 0; });
  };
  if (id.size() >= 2 && id.front() == '<' && id.back() == '>' && isHex(id.substr(1, id.size() - 2))) {
    FFileID = HexToBytes(std::string(id.substr(1, id.size() - 2)));
  } else if (id.size() >= 2 && id.front() == '(' && id.back() == ')') {
    FFileID = std::string(id.substr(1, id.size() - 2));
  } else if (id.size() == 32 && isHex(id)) {
    FFileID = HexToBytes(std::string(id));
  } else {
    // The ID's bytes as they are, whatever their number: what the producers of IDs of
    // other lengths and the other readers put into the key.
    FFileID = std::string(id);
  }
}

std::string TkwStandardSecurity::GetMethodName() const {
  return FLevel == TkwPDFEncryptionLevel::el40Bit ? "RC4 40-bit" : "RC4 128-bit";
}

std::string TkwStandardSecurity::ComputeKey(std::string_view APaddedPassword) const {
  TkwMD5Context ctx;
  MD5Init(ctx);
  MD5Update(ctx, APaddedPassword);
  MD5Update(ctx, FOwnerKey);
  MD5Update(ctx, FPermissions);
  MD5Update(ctx, FFileID);
  TkwMD5Digest digest = MD5Final(ctx);
  if (FLevel == TkwPDFEncryptionLevel::el128Bit) {
    for (int i = 0; i < 50; ++i) {
      digest = MD5(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
    }
  }
  std::string key;
  AppendDigest(key, digest, KeyLength());
  return key;
}

bool TkwStandardSecurity::CheckUserPassword(std::string_view APassword, std::string& AKey) const {
  const std::string key = ComputeKey(PadPassword(APassword));
  if (FLevel == TkwPDFEncryptionLevel::el40Bit) {
    if (RC4Crypt(key, FUserKey) != PasswordPadding()) return false;
  } else {
    std::string data = FUserKey;
    TwentyPasses(key, data);
    TkwMD5Context ctx;
    MD5Init(ctx);
    MD5Update(ctx, PasswordPadding());
    MD5Update(ctx, FFileID);
    const TkwMD5Digest expected = MD5Final(ctx);
    if (std::memcmp(data.data(), expected.data(), 16) != 0) return false;
  }
  AKey = key;
  return true;
}

bool TkwStandardSecurity::CheckOwnerPassword(std::string_view APassword, std::string& AUserPassword,
                                             std::string& AKey) const {
  TkwMD5Digest digest = MD5(PadPassword(APassword));
  if (FLevel == TkwPDFEncryptionLevel::el128Bit) {
    for (int i = 0; i < 50; ++i) {
      digest = MD5(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
    }
  }
  std::string key;
  AppendDigest(key, digest, KeyLength());
  std::string user = FOwnerKey;
  if (FLevel == TkwPDFEncryptionLevel::el40Bit) {
    user = RC4Crypt(key, user);
  } else {
    TwentyPasses(key, user);
  }
  if (!CheckUserPassword(user, AKey)) return false;
  const std::size_t cut = user.find(PasswordPadding().substr(0, 2));
  AUserPassword = user.substr(0, cut);
  return true;
}

bool TkwStandardSecurity::CheckPassword(TkwEncryptionSettings& ASettings, std::string_view APassword) {
  using enum TkwUserPermissionsType;
  std::string userPassword;
  std::string key;
  if (CheckOwnerPassword(APassword, userPassword, key)) {
    FIsOwner = true;
    FFileKey = key;
    ASettings.FEnabled = true;
    ASettings.FIsOwner = true;
    ASettings.FOwnerPassword = APassword;
    ASettings.FUserPassword = userPassword;
    ASettings.FUserPermissions = TkwUserPermissions::All();
    ASettings.FLevel = FLevel;
    return true;
  }
  if (!CheckUserPassword(APassword, key)) return false;
  FIsOwner = false;
  FFileKey = key;
  TkwUserPermissions perms;
  const auto bit = [this](int ABit) { return (static_cast<std::uint32_t>(FP) >> (ABit - 1)) & 1U; };
  if (bit(3)) perms.Include(AllowPrint);
  if (bit(4)) perms.Include(AllowModify);
  if (bit(5)) perms.Include(AllowCopy);
  if (bit(6)) perms.Include(AllowAnnotation);
  if (FLevel == TkwPDFEncryptionLevel::el128Bit) {
    if (bit(9)) perms.Include(AllowFormFill);
    if (bit(10)) perms.Include(AllowAccessibility);
    if (bit(11)) perms.Include(AllowDocAssembly);
    if (bit(12)) perms.Include(AllowHighResPrint);
  }
  ASettings.FEnabled = true;
  ASettings.FIsOwner = false;
  ASettings.FUserPassword = APassword;
  ASettings.FUserPermissions = perms;
  ASettings.FLevel = FLevel;
  // Only a document being saved would use this; it must merely be unguessable.
  std::random_device rd;
  std::string owner;
  for (int i = 0; i < 16; ++i) owner.push_back(static_cast<char>('a' + rd() % 26));
  ASettings.FOwnerPassword = owner;
  return true;
}

std::string TkwStandardSecurity::ObjectKey(std::uint32_t ANum, std::uint32_t AGen) const {
  // Before a password check the key is all zeros, as the key buffer starts out.
  std::string material = FFileKey;
  material.resize(KeyLength(), '\0');
  material.push_back(static_cast<char>(ANum & 0xFF));
  material.push_back(static_cast<char>((ANum >> 8) & 0xFF));
  material.push_back(static_cast<char>((ANum >> 16) & 0xFF));
  material.push_back(static_cast<char>(AGen & 0xFF));
  material.push_back(static_cast<char>((AGen >> 8) & 0xFF));
  std::string key;
  AppendDigest(key, MD5(material), material.size());
  return key;
}

std::string TkwStandardSecurity::Decrypt(std::string_view AData, std::uint32_t ANum, std::uint32_t AGen,
                                         TkwCryptTarget) const {
  if (AData.empty()) return {};
  return RC4Crypt(ObjectKey(ANum, AGen), AData);
}

std::unique_ptr<TkwSecurityHandler::TkwCipher> TkwStandardSecurity::MakeCipher(std::uint32_t ANum,
                                                                               std::uint32_t AGen,
                                                                               TkwCryptTarget) const {
  return std::make_unique<TkwRC4Cipher>(ObjectKey(ANum, AGen));
}

}  // namespace qm
