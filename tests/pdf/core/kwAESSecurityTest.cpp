#include "pdf/core/kwAESSecurity.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <fstream>
#include <random>
#include <iterator>
#include <string>

#include "pdf/core/kwPDBaseDoc.h"
#include "pdf/core/kwPDBaseObject.h"
#include "pdf/core/kwPDDocument.h"
#include "pdf/core/kwPDLexer.h"
#include "pdf/core/kwPDParser.h"

namespace qm {
namespace {

std::string Fixture(std::string_view AName) { return std::string(QM_FIXTURE_DIR) + "/" + std::string(AName); }

std::string ReadFile(const std::string& APath) {
  std::ifstream in(APath, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The first page's content, read through the document's stream chain.
std::string FirstPageContent(TkwPDDocument& ADoc) {
  TkwPDBaseDoc* base = ADoc.GetBaseDoc();
  if (base == nullptr || base->GetTrailer() == nullptr) return "<no trailer>";
  const TkwPDDictionary* root = base->GetTrailer()->LookUpDict("Root");
  const TkwPDDictionary* pages = root != nullptr ? root->LookUpDict("Pages") : nullptr;
  const TkwPDArray* kids = pages != nullptr ? pages->LookUpArray("Kids") : nullptr;
  const TkwPDBaseObject* first = kids != nullptr ? kids->Get(0) : nullptr;

  if (first == nullptr || !first->IsDict()) return "<no page>";
  TkwPDStream* content = static_cast<const TkwPDDictionary*>(first)->LookUpStream("Contents");
  return content != nullptr ? content->ReadAll() : "<no content>";
}

struct TkwAESCase {
  const char* File;
  const char* Password;
  const char* Method;
  bool Owner;
};

class AESEncrypted : public ::testing::TestWithParam<TkwAESCase> {};

TEST_P(AESEncrypted, OpensToTheContentOfThePlainFile) {
  TkwPDDocument plain;
  plain.LoadDocument(Fixture("text-3pages.pdf"), true);
  TkwPDDocument doc;
  doc.Authorize({}, GetParam().Password);
  doc.LoadDocument(Fixture(GetParam().File), true);
  EXPECT_TRUE(doc.GetIsEncrypted());
  EXPECT_EQ(doc.GetEncryptionMethod(), GetParam().Method);
  EXPECT_EQ(doc.GetBaseDoc()->GetIsOwner(), GetParam().Owner);
  EXPECT_FALSE(doc.GetBaseDoc()->GetRepaired());
  const std::string expected = FirstPageContent(plain);
  ASSERT_GT(expected.size(), 20U);
  EXPECT_EQ(FirstPageContent(doc), expected);
  ASSERT_NE(doc.GetDocInfo(), nullptr);
  const auto* producer = doc.GetDocInfo()->LookUp("Producer");
  const auto* plainProducer = plain.GetDocInfo()->LookUp("Producer");
  ASSERT_NE(producer, nullptr);
  ASSERT_NE(plainProducer, nullptr);
  EXPECT_EQ(static_cast<const TkwPDString*>(producer)->GetHexToString(),
            static_cast<const TkwPDString*>(plainProducer)->GetHexToString());
}

TEST_P(AESEncrypted, OwnerPasswordOpensAndAWrongOneIsRefused) {
  TkwPDDocument doc;
  doc.Authorize({}, "owner");
  doc.LoadDocument(Fixture(GetParam().File), true);
  EXPECT_TRUE(doc.GetBaseDoc()->GetIsOwner());
  TkwPDDocument plain;
  plain.LoadDocument(Fixture("text-3pages.pdf"), true);
  EXPECT_EQ(FirstPageContent(doc), FirstPageContent(plain));

  TkwPDDocument wrong;
  wrong.Authorize({}, "wrong");
  EXPECT_THROW(wrong.LoadDocument(Fixture(GetParam().File), true), ExPasswordRequired);
  if (!std::string(GetParam().Password).empty()) {
    TkwPDDocument none;
    EXPECT_THROW(none.LoadDocument(Fixture(GetParam().File), true), ExPasswordRequired);
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, AESEncrypted,
                         ::testing::Values(TkwAESCase{"qpdf-aes128.pdf", "", "AES-128", false},
                                           TkwAESCase{"qpdf-aes128-userpw.pdf", "user", "AES-128", false},
                                           TkwAESCase{"qpdf-aes128-clearmeta.pdf", "user", "AES-128", false},
                                           TkwAESCase{"qpdf-rc4-128-v4.pdf", "user", "RC4 128-bit", false},
                                           TkwAESCase{"qpdf-aes256.pdf", "", "AES-256", false},
                                           TkwAESCase{"qpdf-aes256-userpw.pdf", "user", "AES-256", false},
                                           TkwAESCase{"qpdf-aes256-r5.pdf", "user", "AES-256", false},
                                           TkwAESCase{"qpdf-aes256-clearmeta.pdf", "", "AES-256", false},
                                           TkwAESCase{"qpdf-aes128-latin.pdf", "caf\xC3\xA9", "AES-128", false},
                                           TkwAESCase{"qpdf-aes256-latin.pdf", "caf\xC3\xA9", "AES-256", false}));

// LibreOffice's own export, against qpdf's decryption of it.
TEST(LibreOfficeEncrypted, OpensWithItsPassword) {
  TkwPDDocument plain;
  plain.LoadDocument(Fixture("libreoffice-plain.pdf"), true);
  TkwPDDocument doc;
  EXPECT_THROW(doc.LoadDocument(Fixture("libreoffice-encrypted.pdf"), true), ExPasswordRequired);
  doc.Authorize({}, "pw");
  doc.LoadDocument(Fixture("libreoffice-encrypted.pdf"), true);
  EXPECT_EQ(doc.GetEncryptionMethod(), "RC4 128-bit");
  const std::string expected = FirstPageContent(plain);
  ASSERT_GT(expected.size(), 20U);
  EXPECT_EQ(FirstPageContent(doc), expected);
}

// ---- Handlers and filters this system does not decrypt --------------------------------------

struct TkwPatchCase {
  const char* From;
  const char* To;
  const char* Message;
};

class UnsupportedEncryption : public ::testing::TestWithParam<TkwPatchCase> {};

TEST_P(UnsupportedEncryption, NamesTheHandler) {
  std::string bytes = ReadFile(Fixture("qpdf-aes128.pdf"));
  const std::size_t at = bytes.find(GetParam().From);
  ASSERT_NE(at, std::string::npos);
  ASSERT_EQ(std::string_view(GetParam().From).size(), std::string_view(GetParam().To).size());
  bytes.replace(at, std::string_view(GetParam().To).size(), GetParam().To);
  TkwPDDocument doc;
  try {
    doc.LoadFromBytes(bytes);
    FAIL() << "opened";
  } catch (const ExUnsupportedEncryption& e) {
    EXPECT_STREQ(e.what(), GetParam().Message);
  }
}

INSTANTIATE_TEST_SUITE_P(Patched, UnsupportedEncryption,
                         ::testing::Values(TkwPatchCase{"/Filter /Standard", "/Filter /PubSec  ", "Unsupported encryption: PubSec"},
                                           TkwPatchCase{"/StmF /StdCF", "/StmF /XyzCF", "Unsupported encryption: crypt filter /XyzCF"},
                                           TkwPatchCase{"/AESV2", "/FooV2", "Unsupported encryption: crypt filter /StdCF /FooV2"}));

// ---- AES-CBC with broken data --------------------------------------------------------------

std::string Encrypt(std::string_view AKey, std::string_view AIV, std::string_view APlain, bool APad) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_EncryptInit_ex(ctx, AKey.size() == 32 ? EVP_aes_256_cbc() : EVP_aes_128_cbc(), nullptr,
                     reinterpret_cast<const unsigned char*>(AKey.data()), reinterpret_cast<const unsigned char*>(AIV.data()));
  EVP_CIPHER_CTX_set_padding(ctx, APad ? 1 : 0);
  std::string out(APlain.size() + 32, '\0');
  int len = 0, fin = 0;
  EVP_EncryptUpdate(ctx, reinterpret_cast<unsigned char*>(out.data()), &len,
                    reinterpret_cast<const unsigned char*>(APlain.data()), static_cast<int>(APlain.size()));
  EVP_EncryptFinal_ex(ctx, reinterpret_cast<unsigned char*>(out.data()) + len, &fin);
  EVP_CIPHER_CTX_free(ctx);
  out.resize(static_cast<std::size_t>(len + fin));
  return std::string(AIV) + out;
}

TEST(AESDecrypt, RemovesOnlyWellFormedPadding) {
  const std::string iv = "0123456789abcdef";
  for (const std::string& key : {std::string(16, 'k'), std::string(32, 'K')}) {
    EXPECT_EQ(AESDecrypt(key, Encrypt(key, iv, "hello, world", true)), "hello, world");
    EXPECT_EQ(AESDecrypt(key, Encrypt(key, iv, std::string(32, 'x'), true)), std::string(32, 'x'));
    // No padding at all: the last byte (0) is no padding length, so every byte stays.
    const std::string bare = std::string(31, 'y') + '\0';
    EXPECT_EQ(AESDecrypt(key, Encrypt(key, iv, bare, false)), bare);
    // Inconsistent padding bytes stay too.
    const std::string bad = std::string(29, 'z') + "\x01\x02\x03";
    EXPECT_EQ(AESDecrypt(key, Encrypt(key, iv, bad, false)), bad);
  }
}

TEST(AESDecrypt, TruncatedDataGivesWhatCanBeRead) {
  const std::string key(16, 'k');
  const std::string iv = "0123456789abcdef";
  const std::string plain = std::string(40, 'p');
  const std::string data = Encrypt(key, iv, plain, true);  // IV + 48 bytes
  EXPECT_EQ(AESDecrypt(key, data.substr(0, data.size() - 5)), plain.substr(0, 32));
  EXPECT_EQ(AESDecrypt(key, data.substr(0, 20)), "");
  EXPECT_EQ(AESDecrypt(key, data.substr(0, 16)), "");
  EXPECT_EQ(AESDecrypt(key, data.substr(0, 7)), "");
  EXPECT_EQ(AESDecrypt(key, ""), "");
}

TEST(AESDecrypt, RevisionSixHashIsBoundedAndDeterministic) {
  const std::string a = PasswordHashV5("user", "saltsalt", {}, 6);
  EXPECT_EQ(a.size(), 32U);
  EXPECT_EQ(a, PasswordHashV5("user", "saltsalt", {}, 6));
  EXPECT_NE(a, PasswordHashV5("user", "saltsalt", {}, 5));
  EXPECT_EQ(PasswordHashV5(std::string(300, 'p'), "s", {}, 6), PasswordHashV5(std::string(127, 'p'), "s", {}, 6));
}

TEST(AESCipher, PiecewiseDecryptionMatchesTheWhole) {
  TkwPDDocument doc;
  doc.Authorize({}, "user");
  doc.LoadDocument(Fixture("qpdf-aes256-userpw.pdf"), true);
  const auto* handler = dynamic_cast<const TkwAESSecurity*>(doc.GetBaseDoc()->GetSecurityHandler());
  ASSERT_NE(handler, nullptr);
  ASSERT_EQ(handler->GetFileKey().size(), 32U);
  std::string plain;
  for (int i = 0; i < 10000; ++i) plain.push_back(static_cast<char>(i * 7));
  const std::string data = Encrypt(handler->GetFileKey(), "fedcba9876543210", plain, true);
  for (const std::size_t piece : {1U, 7U, 16U, 4096U}) {
    auto cipher = handler->MakeCipher(5, 0, TkwCryptTarget::ctStream);
    std::string out;
    for (std::size_t at = 0; at < data.size(); at += piece) {
      const std::size_t n = std::min(piece, data.size() - at);
      cipher->Process(std::span(reinterpret_cast<const std::uint8_t*>(data.data()) + at, n), at + n == data.size(), out);
    }
    EXPECT_EQ(out, plain) << "pieces of " << piece;
  }
}

// Damaged encryption dictionaries fail with a core error or open; they never crash.
// With EncryptMetadata false the XMP stream is stored in the clear and must be read as it
// is; with it true (the default) it is decrypted like any stream.
class XmpMetadata : public ::testing::TestWithParam<const char*> {};

TEST_P(XmpMetadata, ReadsInTheClearOrDecrypted) {
  TkwPDDocument doc;
  doc.LoadDocument(Fixture(GetParam()), true);
  EXPECT_TRUE(doc.GetIsEncrypted());
  const TkwPDDictionary* root = doc.GetBaseDoc()->GetTrailer()->LookUpDict("Root");
  ASSERT_NE(root, nullptr);
  TkwPDStream* xmp = root->LookUpStream("Metadata");
  ASSERT_NE(xmp, nullptr);
  EXPECT_NE(xmp->ReadAll().find("<dc:title>Quillmark metadata check</dc:title>"), std::string::npos);
  // The page content around it is still decrypted.
  EXPECT_NE(FirstPageContent(doc).find("BT"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, XmpMetadata,
                         ::testing::Values("qpdf-aes128-clearmeta-xmp.pdf", "qpdf-aes256-clearmeta-xmp.pdf",
                                           "qpdf-aes256-xmp.pdf"));

std::unique_ptr<TkwPDDictionary> Dict(const std::string& AText) {
  TkwPDParser parser(nullptr, std::make_unique<TkwPDLexer>(TkwMemoryStream::FromString(AText)), false);
  auto obj = parser.GetObject();
  if (!obj || !obj->IsDict()) return std::make_unique<TkwPDDictionary>();
  return std::unique_ptr<TkwPDDictionary>(static_cast<TkwPDDictionary*>(obj.release()));
}

// A stream whose filters begin with /Crypt is decrypted by the crypt filter it names:
// Identity (also when it names none) leaves it as it is.
TEST(AESSecurity, CryptFilterOfAStreamChoosesItsDecryption) {
  const auto encrypt = Dict(
      "<< /Filter /Standard /V 4 /R 4 /Length 128 /StmF /StdCF /StrF /StdCF /EncryptMetadata false "
      "/CF << /StdCF << /CFM /AESV2 >> /Old << /CFM /V2 >> /Odd << /CFM /Unknown >> >> "
      "/O <00> /U <00> /P -4 >>");
  const TkwAESSecurity handler(*encrypt, std::string(16, 'x'));
  const struct {
    const char* Stream;
    TkwCryptTarget Target;
  } cases[] = {
      {"<< /Length 5 >>", TkwCryptTarget::ctStream},
      {"<< /Filter /FlateDecode >>", TkwCryptTarget::ctStream},
      {"<< /Filter /Crypt >>", TkwCryptTarget::ctIdentity},
      {"<< /Filter [/Crypt /FlateDecode] /DecodeParms [<< /Name /Identity >> null] >>", TkwCryptTarget::ctIdentity},
      {"<< /Filter [/Crypt /FlateDecode] /DecodeParms [<< /Name /StdCF >> null] >>", TkwCryptTarget::ctAESV2},
      {"<< /Filter /Crypt /DecodeParms << /Name /Old >> >>", TkwCryptTarget::ctRC4},
      {"<< /Filter /Crypt /DecodeParms << /Name /Odd >> >>", TkwCryptTarget::ctStream},
      {"<< /Filter /Crypt /DecodeParms << /Name /Missing >> >>", TkwCryptTarget::ctStream},
      {"<< /Filter [/FlateDecode /Crypt] >>", TkwCryptTarget::ctStream},
      {"<< /Type /Metadata /Subtype /XML >>", TkwCryptTarget::ctIdentity},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(handler.StreamTarget(*Dict(c.Stream)), c.Target) << c.Stream;
  }
  EXPECT_EQ(handler.GetMethod(TkwCryptTarget::ctRC4), TkwCryptMethod::cmRC4);
  const auto encrypted = Dict("<< /Filter /Standard /V 4 /R 4 /StmF /StdCF /StrF /StdCF "
                              "/CF << /StdCF << /CFM /AESV2 >> >> /O <00> /U <00> /P -4 >>");
  const TkwAESSecurity defaults(*encrypted, std::string(16, 'x'));
  EXPECT_EQ(defaults.StreamTarget(*Dict("<< /Type /Metadata >>")), TkwCryptTarget::ctStream);
}

TEST(AESSecurity, MutatedDictionariesAreSafe) {
  for (const char* file : {"qpdf-aes128-userpw.pdf", "qpdf-aes256-userpw.pdf"}) {
    const std::string original = ReadFile(Fixture(file));
    const std::size_t start = original.find("/Filter /Standard");
    ASSERT_NE(start, std::string::npos);
    const std::size_t begin = original.rfind("<<", start), end = original.find(">>", start);
    ASSERT_NE(end, std::string::npos);
    std::mt19937 rng(42);
    for (int round = 0; round < 150; ++round) {
      std::string bytes = original;
      for (int k = 0; k < 3; ++k) {
        const std::size_t at = begin + rng() % (end - begin);
        if (rng() % 2 == 0) bytes[at] = static_cast<char>(rng());
        else bytes.erase(at, 1 + rng() % 8);
      }
      TkwPDDocument doc;
      doc.Authorize({}, "user");
      try {
        doc.LoadFromBytes(bytes, true);
        (void)FirstPageContent(doc);
      } catch (const EPDFCoreError&) {
      }
    }
  }
}

// A string whose encrypted length is not a whole number of blocks is damaged: it still
// reads (as what its whole blocks give) and the damage is noted; a whole one is not.
TEST(AESStrings, ACutStringIsNoted) {
  for (const bool cut : {false, true}) {
    std::string bytes = ReadFile(Fixture("qpdf-aes128.pdf"));
    const std::size_t key = bytes.find("/Creator <");
    ASSERT_NE(key, std::string::npos);
    const std::size_t close = bytes.find('>', key);
    if (cut) bytes.replace(close - 2, 3, ">  ");  // one byte less, offsets kept
    TkwDiagnostics diag;
    TkwPDDocument doc;
    doc.SetDiagnostics(&diag);
    doc.LoadFromBytes(bytes, true);
    ASSERT_NE(doc.GetDocInfo(), nullptr);
    EXPECT_NE(doc.GetDocInfo()->LookUp("Creator"), nullptr);
    EXPECT_EQ(diag.Count(TkwDiagCode::dcDecryptError), cut ? 1 : 0);
  }
}

}  // namespace
}  // namespace qm
