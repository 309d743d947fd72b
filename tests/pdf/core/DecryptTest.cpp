#include "pdf/core/Decrypt.h"

#include <gtest/gtest.h>

#include <string>

#include "pdf/core/PDBaseObject.h"

namespace qm {
namespace {

std::string Hex(std::string_view ABytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (const char c : ABytes) {
    out.push_back(kDigits[static_cast<std::uint8_t>(c) >> 4]);
    out.push_back(kDigits[static_cast<std::uint8_t>(c) & 15]);
  }
  return out;
}
std::string Hex(const TkwMD5Digest& ADigest) {
  return Hex(std::string_view(reinterpret_cast<const char*>(ADigest.data()), ADigest.size()));
}
std::string Unhex(std::string_view AHex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < AHex.size(); i += 2) {
    out.push_back(static_cast<char>(std::stoi(std::string(AHex.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

// RFC 1321, appendix A.5.
struct TkwMD5Case {
  const char* Input;
  const char* Digest;
};
class MD5Vectors : public ::testing::TestWithParam<TkwMD5Case> {};
TEST_P(MD5Vectors, MatchRfc1321) { EXPECT_EQ(Hex(MD5(GetParam().Input)), GetParam().Digest); }
INSTANTIATE_TEST_SUITE_P(
    Rfc1321, MD5Vectors,
    ::testing::Values(
        TkwMD5Case{"", "d41d8cd98f00b204e9800998ecf8427e"},
        TkwMD5Case{"a", "0cc175b9c0f1b6a831c399e269772661"},
        TkwMD5Case{"abc", "900150983cd24fb0d6963f7d28e17f72"},
        TkwMD5Case{"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        TkwMD5Case{"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        TkwMD5Case{"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
                   "d174ab98d277d9f5a5611c2c9f419d9f"},
        TkwMD5Case{"1234567890123456789012345678901234567890123456789012345678901234567890123456"
                   "7890",
                   "57edf4a22be3c955ac49da2e2107b67a"}));

TEST(MD5, PiecewiseUpdatesGiveTheSameDigest) {
  std::string data;
  for (int i = 0; i < 1000; ++i) data.push_back(static_cast<char>(i * 7));
  const TkwMD5Digest whole = MD5(data);
  for (const std::size_t step : {1U, 3U, 63U, 64U, 65U, 200U}) {
    TkwMD5Context ctx;
    MD5Init(ctx);
    for (std::size_t i = 0; i < data.size(); i += step) {
      MD5Update(ctx, std::string_view(data).substr(i, step));
    }
    EXPECT_EQ(MD5Final(ctx), whole) << "step " << step;
  }
}

// Published RC4 test vectors.
struct TkwRC4Case {
  const char* Key;
  const char* Plain;
  const char* Cipher;
};
class RC4Vectors : public ::testing::TestWithParam<TkwRC4Case> {};
TEST_P(RC4Vectors, Encrypt) { EXPECT_EQ(Hex(RC4Crypt(GetParam().Key, GetParam().Plain)), GetParam().Cipher); }
INSTANTIATE_TEST_SUITE_P(Published, RC4Vectors,
                         ::testing::Values(TkwRC4Case{"Key", "Plaintext", "bbf316e8d940af0ad3"},
                                           TkwRC4Case{"Wiki", "pedia", "1021bf0420"},
                                           TkwRC4Case{"Secret", "Attack at dawn", "45a01f645fc35b383552544b9bf5"}));

TEST(RC4, Rfc6229KeyStreamForFortyBitKey) {
  // RFC 6229, key 0x0102030405: the first 16 bytes of key stream, and those at offset 240.
  const std::string key = Unhex("0102030405");
  const std::string stream = RC4Crypt(key, std::string(256, '\0'));
  EXPECT_EQ(Hex(stream.substr(0, 16)), "b2396305f03dc027ccc3524a0a1118a8");
  EXPECT_EQ(Hex(stream.substr(240, 16)), "28cb1132c96ce286421dcaadb8b69eae");
}

TEST(RC4, KeyLengthOutsideOneTo256Throws) {
  EXPECT_THROW((void)RC4Crypt("", "x"), ExInvalidKeyLen);
  EXPECT_THROW((void)RC4Crypt(std::string(257, 'k'), "x"), ExInvalidKeyLen);
  EXPECT_NO_THROW((void)RC4Crypt(std::string(256, 'k'), "x"));
  try {
    (void)RC4Crypt("", "x");
  } catch (const EPDFCoreError& e) {
    EXPECT_STREQ(e.what(), "RC4: Invalid key length");
  }
}

}  // namespace
}  // namespace qm
