#include "pdf/core/Decrypt.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "pdf/core/kwPDBaseDoc.h"
#include "pdf/core/kwPDBaseObject.h"
#include "pdf/core/kwPDDocument.h"
#include "tests/support/pdf/TestPdf.h"

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

// ---- The standard security handler -----------------------------------------------------

std::string Digest16(std::string_view AData) {
  const TkwMD5Digest d = MD5(AData);
  return std::string(reinterpret_cast<const char*>(d.data()), d.size());
}

std::string XorKey(std::string_view AKey, int AValue) {
  std::string k(AKey);
  for (auto& c : k) c = static_cast<char>(static_cast<std::uint8_t>(c) ^ AValue);
  return k;
}

// The writing side of revisions 2 and 3, as the standard describes it, to make files the
// reading side has never seen.
struct TkwEncryptedFile {
  std::string User, Owner;
  bool Is128 = false;
  std::int32_t P = -4;
  std::string Id = "0123456789abcdef";
  bool HexId = true;
  std::string LengthEntry;  // empty: the natural one
  std::string O, U, FileKey;

  void Compute() {
    const std::size_t n = Is128 ? 16 : 5;
    std::string h = Digest16(PadPassword(Owner.empty() ? User : Owner));
    if (Is128) for (int i = 0; i < 50; ++i) h = Digest16(h.substr(0, n));
    const std::string ownerKey = h.substr(0, n);
    O = RC4Crypt(ownerKey, PadPassword(User));
    if (Is128) for (int i = 1; i <= 19; ++i) O = RC4Crypt(XorKey(ownerKey, i), O);

    std::string material = PadPassword(User) + O;
    for (int i = 0; i < 4; ++i) material.push_back(static_cast<char>((static_cast<std::uint32_t>(P) >> (8 * i)) & 0xFF));
    material += Id;
    h = Digest16(material);
    if (Is128) for (int i = 0; i < 50; ++i) h = Digest16(h.substr(0, n));
    FileKey = h.substr(0, n);
    if (!Is128) {
      U = RC4Crypt(FileKey, PasswordPadding());
    } else {
      U = RC4Crypt(FileKey, Digest16(std::string(PasswordPadding()) + Id));
      for (int i = 1; i <= 19; ++i) U = RC4Crypt(XorKey(FileKey, i), U);
      U += std::string(16, '\0');
    }
  }
  std::string ObjectKey(int ANum) const {
    std::string m = FileKey;
    m.push_back(static_cast<char>(ANum & 0xFF));
    m.push_back(static_cast<char>((ANum >> 8) & 0xFF));
    m.push_back(static_cast<char>((ANum >> 16) & 0xFF));
    m.push_back('\0');
    m.push_back('\0');
    return Digest16(m).substr(0, std::min<std::size_t>(m.size(), 16));
  }
  // A one-page file whose content draws "Secret" and whose object SecretNum is a string.
  std::string Save(int& ASecretNum) {
    Compute();
    TkwTestPdf pdf;
    const int contents = pdf.ReserveObject();
    pdf.SetStream(contents, "", RC4Crypt(ObjectKey(contents), "BT (Secret) Tj ET"));
    pdf.AddObject("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " + std::to_string(contents) +
                  " 0 R >>");
    pdf.SetPagesExtra("");
    ASecretNum = pdf.ReserveObject();
    pdf.SetObject(ASecretNum, "[<" + Hex(RC4Crypt(ObjectKey(ASecretNum), "hidden text")) + ">]");
    const std::string length = !LengthEntry.empty() ? LengthEntry : (Is128 ? "/Length 128" : "");
    const int encrypt = pdf.AddObject("<< /Filter /Standard /V " + std::string(Is128 ? "2 /R 3 " : "1 /R 2 ") + length +
                                      " /O <" + Hex(O) + "> /U <" + Hex(U) + "> /P " + std::to_string(P) + " >>");
    const std::string id = HexId ? "<" + Hex(Id) + ">" : "(" + Id + ")";
    pdf.SetTrailerExtra("/Encrypt " + std::to_string(encrypt) + " 0 R /ID [" + id + " " + id + "]");
    return FixPages(pdf.Save());
  }
  // The builder's page tree lists pages made with AddPage; this file made its page by hand.
  static std::string FixPages(std::string ABytes) {
    const std::string from = "/Kids [] /Count 0";
    const std::string to = "/Kids [4 0 R] /Count 1";  // same length keeps every offset
    const std::size_t at = ABytes.find(from);
    if (at != std::string::npos) ABytes.replace(at, from.size(), to.substr(0, from.size()));
    return ABytes;
  }
};

struct TkwHandlerCase {
  const char* Name;
  bool Is128;
  const char* User;
  const char* Owner;
};

class StandardHandler : public ::testing::TestWithParam<TkwHandlerCase> {
protected:
  std::string Make(int& ASecret) {
    F.Is128 = GetParam().Is128;
    F.User = GetParam().User;
    F.Owner = GetParam().Owner;
    F.P = -44;
    return F.Save(ASecret);
  }
  TkwEncryptedFile F;
};

std::string ContentOf(TkwPDBaseDoc& ADoc) {
  auto* obj = ADoc.GetObject(3);
  return obj != nullptr && obj->IsStream() ? static_cast<TkwPDStream*>(obj)->ReadAll() : "";
}

std::string SecretOf(TkwPDBaseDoc& ADoc, int ANum) {
  auto* obj = ADoc.GetObject(static_cast<std::uint32_t>(ANum));
  if (obj == nullptr || !obj->IsArray()) return "";
  auto* s = static_cast<TkwPDArray*>(obj)->Get(0);
  return s != nullptr && s->IsString() ? static_cast<TkwPDString*>(s)->GetString() : "";
}

TEST_P(StandardHandler, UserPasswordOpensWithPermissionsOfP) {
  int secret = 0;
  const std::string bytes = Make(secret);
  TkwPDBaseDoc doc;
  doc.LoadDocument(TkwRef<TkwBaseStream>(TkwMemoryStream::FromString(bytes)), GetParam().User);
  EXPECT_TRUE(doc.GetIsEncrypted());
  EXPECT_FALSE(doc.GetIsOwner());
  EXPECT_EQ(ContentOf(doc), "BT (Secret) Tj ET");
  EXPECT_EQ(SecretOf(doc, secret), "hidden text");
  EXPECT_EQ(doc.GetEncryptionMethod(), GetParam().Is128 ? "RC4 128-bit" : "RC4 40-bit");
  // -44 clears bits 4 and 6 (modify, annotate) and keeps 3 and 5 (print, copy).
  using enum TkwUserPermissionsType;
  const TkwUserPermissions p = doc.GetUserEncryptionSettings()->FUserPermissions;
  EXPECT_TRUE(p.Has(AllowPrint));
  EXPECT_TRUE(p.Has(AllowCopy));
  EXPECT_FALSE(p.Has(AllowModify));
  EXPECT_FALSE(p.Has(AllowAnnotation));
  EXPECT_EQ(p.Has(AllowFormFill), GetParam().Is128);
  EXPECT_EQ(static_cast<const TkwStandardSecurity*>(doc.GetSecurityHandler())->GetFileKey(), F.FileKey);
}

TEST_P(StandardHandler, OwnerPasswordOpensWithEveryPermission) {
  int secret = 0;
  const std::string bytes = Make(secret);
  TkwPDBaseDoc doc;
  doc.LoadDocument(TkwRef<TkwBaseStream>(TkwMemoryStream::FromString(bytes)), GetParam().Owner);
  EXPECT_TRUE(doc.GetIsOwner());
  EXPECT_EQ(doc.GetUserEncryptionSettings()->FUserPermissions, TkwUserPermissions::All());
  // The owner key holds the padded user password: at most its first 32 bytes.
  EXPECT_EQ(doc.GetUserEncryptionSettings()->FUserPassword, std::string(GetParam().User).substr(0, 32));
  EXPECT_EQ(SecretOf(doc, secret), "hidden text");
}

TEST_P(StandardHandler, WrongPasswordIsRefused) {
  int secret = 0;
  const std::string bytes = Make(secret);
  TkwPDBaseDoc base;
  EXPECT_THROW(base.LoadDocument(TkwRef<TkwBaseStream>(TkwMemoryStream::FromString(bytes)), "wrong"),
               ExInvalidPassword);
  TkwPDDocument doc;
  doc.Authorize({}, "wrong");
  try {
    doc.LoadFromBytes(bytes);
    FAIL() << "opened with a wrong password";
  } catch (const ExPasswordRequired& e) {
    // Told apart from no password at all, and still a request for one.
    EXPECT_STREQ(e.what(), "Wrong password");
  }
  // The caller may try again with another password.
  doc.Authorize({}, GetParam().User);
  doc.LoadFromBytes(bytes);
  EXPECT_TRUE(doc.GetIsEncrypted());
  EXPECT_EQ(doc.GetPermissions().CopyText, true);
  EXPECT_EQ(doc.GetPermissions().ModifyContents, false);
}

INSTANTIATE_TEST_SUITE_P(Levels, StandardHandler,
                         ::testing::Values(TkwHandlerCase{"Rc4_40", false, "user", "owner"},
                                           TkwHandlerCase{"Rc4_128", true, "user", "owner"},
                                           TkwHandlerCase{"Rc4_40_LongPasswords", false, "a user password beyond thirty-two bytes", "x"},
                                           TkwHandlerCase{"Rc4_128_LongPasswords", true, "a user password beyond thirty-two bytes", "y"}),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST(StandardHandler, EmptyUserPasswordOpensWithoutPassword) {
  for (const bool is128 : {false, true}) {
    TkwEncryptedFile f;
    f.Is128 = is128;
    f.Owner = "owner";
    int secret = 0;
    TkwPDDocument doc;
    doc.LoadFromBytes(f.Save(secret));
    EXPECT_TRUE(doc.GetIsEncrypted());
    EXPECT_FALSE(doc.GetBaseDoc()->GetIsOwner());
    EXPECT_EQ(SecretOf(*doc.GetBaseDoc(), secret), "hidden text");

    // With the owner password also empty, the empty password is the owner's.
    TkwEncryptedFile both;
    both.Is128 = is128;
    TkwPDDocument doc2;
    doc2.LoadFromBytes(both.Save(secret));
    EXPECT_TRUE(doc2.GetBaseDoc()->GetIsOwner());
  }
}

TEST(StandardHandler, LengthEntryChoosesTheLevel) {
  int secret = 0;
  TkwEncryptedFile noLength;  // 40-bit algorithms, no Length: read as 40 bits
  TkwPDBaseDoc a;
  a.LoadDocument(TkwRef<TkwBaseStream>(TkwMemoryStream::FromString(noLength.Save(secret))), "");
  EXPECT_EQ(a.GetEncryptionMethod(), "RC4 40-bit");
  EXPECT_EQ(SecretOf(a, secret), "hidden text");

  TkwEncryptedFile odd;  // 128-bit algorithms with Length 56: any value but 40 is 128 bits
  odd.Is128 = true;
  odd.LengthEntry = "/Length 56";
  TkwPDBaseDoc b;
  b.LoadDocument(TkwRef<TkwBaseStream>(TkwMemoryStream::FromString(odd.Save(secret))), "");
  EXPECT_EQ(b.GetEncryptionMethod(), "RC4 128-bit");
  EXPECT_EQ(SecretOf(b, secret), "hidden text");
}

TEST(StandardHandler, LiteralAndHexIdGiveTheSameKey) {
  int secret = 0;
  TkwEncryptedFile hex;
  hex.Is128 = true;
  TkwEncryptedFile literal = hex;
  literal.HexId = false;
  TkwPDBaseDoc a, b;
  a.LoadDocument(TkwRef<TkwBaseStream>(TkwMemoryStream::FromString(hex.Save(secret))), "");
  b.LoadDocument(TkwRef<TkwBaseStream>(TkwMemoryStream::FromString(literal.Save(secret))), "");
  EXPECT_EQ(static_cast<const TkwStandardSecurity*>(a.GetSecurityHandler())->GetFileKey(),
            static_cast<const TkwStandardSecurity*>(b.GetSecurityHandler())->GetFileKey());
  EXPECT_EQ(SecretOf(b, secret), "hidden text");
}

// Producers of revision-2 files sometimes write IDs of other lengths or damaged ones;
// the key is made from the bytes there are, as those producers did.
TEST(StandardHandler, IdThatIsNotSixteenBytesIsUsedAsItIs) {
  TkwEncryptionSettings s;
  s.FFileID = std::string(40, 'A');  // 20 bytes as hex digits
  EXPECT_NO_THROW(TkwStandardSecurity{s});
  s.FFileID = "";
  EXPECT_NO_THROW(TkwStandardSecurity{s});

  for (const char* id : {"01234567890123456789", "short"}) {
    for (const bool hexId : {true, false}) {
      int secret = 0;
      TkwEncryptedFile f;
      f.Id = id;
      f.HexId = hexId;
      TkwPDBaseDoc doc;
      doc.LoadDocument(TkwRef<TkwBaseStream>(TkwMemoryStream::FromString(f.Save(secret))), "");
      EXPECT_EQ(SecretOf(doc, secret), "hidden text") << id << (hexId ? " hex" : " literal");
    }
  }
}

TEST(StandardHandler, ObjectKeyLengths) {
  TkwEncryptionSettings s;
  s.FLevel = TkwPDFEncryptionLevel::el40Bit;
  EXPECT_EQ(TkwStandardSecurity(s).ObjectKey(7, 0).size(), 10U);
  s.FLevel = TkwPDFEncryptionLevel::el128Bit;
  EXPECT_EQ(TkwStandardSecurity(s).ObjectKey(7, 0).size(), 16U);
}

TEST(StandardHandler, PaddingAndWrapping) {
  EXPECT_EQ(PadPassword(""), PasswordPadding());
  EXPECT_EQ(PadPassword("ab").substr(0, 3), std::string("ab\x28", 3));
  EXPECT_EQ(PadPassword(std::string(40, 'z')), std::string(32, 'z'));
  EXPECT_EQ(UnwrapKeyString("<414243>"), "ABC");
  EXPECT_EQ(UnwrapKeyString("(a(b)"), "a(b");
}

// ---- Files encrypted by qpdf ---------------------------------------------------------------

struct TkwQpdfCase {
  const char* File;
  const char* Password;
  const char* Method;
  bool Owner;
};

class QpdfEncrypted : public ::testing::TestWithParam<TkwQpdfCase> {};

TEST_P(QpdfEncrypted, DecryptsToTheSameContentAsThePlainFile) {
  TkwPDDocument plain;
  plain.LoadDocument(std::string(QM_FIXTURE_DIR) + "/text-3pages.pdf", true);
  TkwPDDocument doc;
  doc.Authorize({}, GetParam().Password);
  doc.LoadDocument(std::string(QM_FIXTURE_DIR) + "/" + GetParam().File, true);
  EXPECT_TRUE(doc.GetIsEncrypted());
  EXPECT_EQ(doc.GetEncryptionMethod(), GetParam().Method);
  EXPECT_EQ(doc.GetBaseDoc()->GetIsOwner(), GetParam().Owner);
  EXPECT_FALSE(doc.GetBaseDoc()->GetRepaired());
  // The information dictionary's strings are decrypted too.
  ASSERT_NE(doc.GetDocInfo(), nullptr);
  const auto* producer = doc.GetDocInfo()->LookUp("Producer");
  ASSERT_NE(producer, nullptr);
  const auto* plainProducer = plain.GetDocInfo()->LookUp("Producer");
  EXPECT_EQ(static_cast<const TkwPDString*>(producer)->GetHexToString(),
            static_cast<const TkwPDString*>(plainProducer)->GetHexToString());
}

TEST_P(QpdfEncrypted, NeedsItsPassword) {
  if (std::string(GetParam().Password).empty()) GTEST_SKIP() << "empty user password";
  TkwPDDocument doc;
  EXPECT_THROW(doc.LoadDocument(std::string(QM_FIXTURE_DIR) + "/" + GetParam().File, true), ExPasswordRequired);
  doc.Authorize({}, "owner");
  doc.LoadDocument(std::string(QM_FIXTURE_DIR) + "/" + GetParam().File, true);
  EXPECT_TRUE(doc.GetBaseDoc()->GetIsOwner());
}

INSTANTIATE_TEST_SUITE_P(Fixtures, QpdfEncrypted,
                         ::testing::Values(TkwQpdfCase{"qpdf-rc4-40.pdf", "", "RC4 40-bit", false},
                                           TkwQpdfCase{"qpdf-rc4-128.pdf", "", "RC4 128-bit", false},
                                           TkwQpdfCase{"qpdf-rc4-128-objstm.pdf", "", "RC4 128-bit", false},
                                           TkwQpdfCase{"qpdf-rc4-40-userpw.pdf", "user", "RC4 40-bit", false},
                                           TkwQpdfCase{"qpdf-rc4-128-userpw.pdf", "user", "RC4 128-bit", false}));

}  // namespace
}  // namespace qm
