#include "pdf/core/kwPDBaseObject.h"

#include <gtest/gtest.h>

#include <map>

#include "pdf/core/kwStream.h"

namespace qm {
namespace {

// A document stand-in: objects by number.
class TTestDoc final : public TkwPDObjectResolver {
public:
  TkwPDBaseObject* GetObject(std::uint32_t AObjNum, std::uint32_t) override {
    auto it = FObjects.find(AObjNum);
    return it == FObjects.end() ? nullptr : it->second.get();
  }
  std::map<std::uint32_t, std::unique_ptr<TkwPDBaseObject>> FObjects;
};

TEST(PDDictionary, MissingKeyLooksUpNilButClonesToNull) {
  TkwPDDictionary dict;
  EXPECT_EQ(dict.LookUp("Missing"), nullptr);
  auto clone = dict.LookUpClone("Missing");
  ASSERT_NE(clone, nullptr);
  EXPECT_TRUE(clone->IsNull());
}

TEST(PDDictionary, ReferenceResolvesWhateverTheGeneration) {
  TTestDoc doc;
  doc.FObjects[7] = std::make_unique<TkwPDInteger>(42, 7, 0);
  TkwPDDictionary dict(&doc);
  dict.Add("Length", std::make_unique<TkwPDIndirectRef>(7, 3, &doc));
  dict.Add("Gone", std::make_unique<TkwPDIndirectRef>(8, 0, &doc));
  ASSERT_NE(dict.LookUp("Length"), nullptr);
  EXPECT_EQ(dict.LookUpInt("Length"), 42);
  EXPECT_TRUE(dict.LookupRefObj("Length")->IsIndirectRef());
  EXPECT_EQ(dict.LookUp("Gone"), nullptr);
  EXPECT_TRUE(dict.LookUpClone("Gone")->IsNull());
}

TEST(PDDictionary, ReferenceWithoutDocumentDoesNotResolve) {
  TkwPDDictionary dict;
  dict.Add("A", std::make_unique<TkwPDIndirectRef>(1, 0));
  EXPECT_EQ(dict.LookUp("A"), nullptr);
  TkwPDArray array;
  array.Add(std::make_unique<TkwPDIndirectRef>(1, 0));
  // Arrays resolve only with a parent document; without one the reference itself is given.
  ASSERT_NE(array.Get(0), nullptr);
  EXPECT_TRUE(array.Get(0)->IsIndirectRef());
}

TEST(PDDictionary, RepeatedKeyIsKeptTwice) {
  TkwPDDictionary dict;
  dict.Add("K", std::make_unique<TkwPDInteger>(1));
  dict.Add("A", std::make_unique<TkwPDInteger>(2));
  dict.Add("K", std::make_unique<TkwPDInteger>(3));
  EXPECT_EQ(dict.GetLength(), 3u);
  ASSERT_NE(dict.LookUp("K"), nullptr);
  // After the first lookup the index order is the sorted key order.
  EXPECT_EQ(dict.GetKey(0), "A");
  EXPECT_EQ(dict.GetKey(1), "K");
  EXPECT_EQ(dict.GetKey(2), "K");
  EXPECT_EQ(dict.GetKey(3), "");
  EXPECT_EQ(dict.GetValue(3), nullptr);
}

TEST(PDDictionary, SetKeyValueReplacesEveryEntryAndMarksChanged) {
  TkwPDDictionary dict;
  dict.Add("K", std::make_unique<TkwPDInteger>(1));
  dict.Add("K", std::make_unique<TkwPDInteger>(2));
  dict.SetIsChanged(false);
  dict.SetKeyValue("K", std::make_unique<TkwPDInteger>(9));
  EXPECT_EQ(dict.GetLength(), 1u);
  EXPECT_EQ(dict.LookUpInt("K"), 9);
  EXPECT_TRUE(dict.GetIsChanged());
}

TEST(PDDictionary, CloneIsDeepAndArrayCloneSharesTheBody) {
  TkwPDDictionary dict;
  dict.Add("N", std::make_unique<TkwPDInteger>(1));
  auto clone = dict.CloneDict();
  clone->SetKeyValue("N", std::make_unique<TkwPDInteger>(2));
  clone->Add("X", std::make_unique<TkwPDNull>());
  EXPECT_EQ(dict.LookUpInt("N"), 1);
  EXPECT_EQ(dict.GetLength(), 1u);

  TkwPDArray array;
  array.Add(std::make_unique<TkwPDInteger>(1));
  auto arrayClone = array.Clone();
  static_cast<TkwPDArray&>(*arrayClone).Add(std::make_unique<TkwPDInteger>(2));
  EXPECT_EQ(array.GetLength(), 2u);
}

TEST(PDDictionary, IsDictComparesTheTypeName) {
  TkwPDDictionary dict;
  dict.Add("Type", std::make_unique<TkwPDName>("Page"));
  EXPECT_TRUE(dict.IsDict("Page"));
  EXPECT_FALSE(dict.IsDict("Pages"));
  TkwPDInteger notDict(1);
  EXPECT_FALSE(notDict.IsDict("Page"));
}

TEST(PDDictionary, IndirectRefsAreCollectedThroughNesting) {
  TkwPDDictionary dict;
  dict.Add("A", std::make_unique<TkwPDIndirectRef>(1, 0));
  auto inner = std::make_unique<TkwPDArray>();
  inner->Add(std::make_unique<TkwPDIndirectRef>(2, 0));
  auto innerDict = std::make_unique<TkwPDDictionary>();
  innerDict->Add("B", std::make_unique<TkwPDIndirectRef>(3, 0));
  inner->Add(std::move(innerDict));
  dict.Add("L", std::move(inner));
  std::vector<const TkwPDIndirectRef*> refs;
  dict.GetIndirectRefs(refs);
  ASSERT_EQ(refs.size(), 3u);
}

struct TTypeCase {
  const char* Name;
  std::unique_ptr<TkwPDBaseObject> (*Make)();
  TkwPDObjTypes Type;
};

const TTypeCase kTypeCases[] = {
    {"Boolean", []() -> std::unique_ptr<TkwPDBaseObject> { return std::make_unique<TkwPDBoolean>(true); },
     TkwPDObjTypes::otBoolean},
    {"Integer", []() -> std::unique_ptr<TkwPDBaseObject> { return std::make_unique<TkwPDInteger>(1); },
     TkwPDObjTypes::otInteger},
    {"Real", []() -> std::unique_ptr<TkwPDBaseObject> { return std::make_unique<TkwPDReal>(1.5); },
     TkwPDObjTypes::otReal},
    {"String", []() -> std::unique_ptr<TkwPDBaseObject> { return std::make_unique<TkwPDString>("x"); },
     TkwPDObjTypes::otString},
    {"Name", []() -> std::unique_ptr<TkwPDBaseObject> { return std::make_unique<TkwPDName>("x"); },
     TkwPDObjTypes::otName},
    {"Null", []() -> std::unique_ptr<TkwPDBaseObject> { return std::make_unique<TkwPDNull>(); },
     TkwPDObjTypes::otNull},
    {"Command", []() -> std::unique_ptr<TkwPDBaseObject> { return std::make_unique<TkwPDCommand>("BT"); },
     TkwPDObjTypes::otCommand},
    {"Ref", []() -> std::unique_ptr<TkwPDBaseObject> { return std::make_unique<TkwPDIndirectRef>(1, 0); },
     TkwPDObjTypes::otIndirectRef},
    {"Array", []() -> std::unique_ptr<TkwPDBaseObject> { return std::make_unique<TkwPDArray>(); },
     TkwPDObjTypes::otArray},
    {"Dict", []() -> std::unique_ptr<TkwPDBaseObject> { return std::make_unique<TkwPDDictionary>(); },
     TkwPDObjTypes::otDict},
    {"Stream", []() -> std::unique_ptr<TkwPDBaseObject> { return std::make_unique<TkwPDStream>(); },
     TkwPDObjTypes::otStream},
    {"EOF", []() -> std::unique_ptr<TkwPDBaseObject> { return std::make_unique<TkwPDEOF>(); },
     TkwPDObjTypes::otEOF},
    {"Error", []() -> std::unique_ptr<TkwPDBaseObject> { return std::make_unique<TkwPDError>(); },
     TkwPDObjTypes::otError},
};

class PDObjectType : public ::testing::TestWithParam<TTypeCase> {};

TEST_P(PDObjectType, TypeAndCloneAgree) {
  auto obj = GetParam().Make();
  obj->SetObjNumber(5);
  obj->SetGenNumber(2);
  EXPECT_EQ(obj->GetType(), GetParam().Type);
  auto clone = obj->Clone();
  EXPECT_EQ(clone->GetType(), GetParam().Type);
  EXPECT_EQ(clone->GetObjNumber(), 5u);
  EXPECT_EQ(clone->GetGenNumber(), 2u);
}

INSTANTIATE_TEST_SUITE_P(All, PDObjectType, ::testing::ValuesIn(kTypeCases),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(PDObject, DirectObjectsCarryAllBitsSet) {
  TkwPDInteger value(3);
  EXPECT_EQ(value.GetObjNumber(), 0xFFFFFFFFu);
  EXPECT_EQ(value.GetGenNumber(), 0xFFFFFFFFu);
}

TEST(PDName, EscapesAreDecodedOnBothSides) {
  TkwPDName name("A#20B");
  EXPECT_EQ(name.GetValue(), "A B");
  EXPECT_TRUE(name.IsName("A#20B"));
  EXPECT_TRUE(name.IsName("A B"));
  EXPECT_FALSE(name.IsName("a b"));
  EXPECT_EQ(TkwPDName("Bad#G1").GetValue(), "Bad#G1");
  EXPECT_EQ(TkwPDName("End#4").GetValue(), "End#4");
  EXPECT_EQ(TkwPDName("#41#42").GetValue(), "AB");
  TkwPDName raw("x");
  raw.SetName("C#20D");
  EXPECT_EQ(raw.GetValue(), "C#20D");
}

TEST(PDString, HexTextAndBytes) {
  TkwPDString hex("48656C6C6F", true);
  EXPECT_TRUE(hex.IsHexString());
  EXPECT_EQ(hex.GetString(), "48656C6C6F");
  EXPECT_EQ(hex.GetHexToString(), "Hello");
  EXPECT_EQ(TkwPDString("4F6", true).GetHexToString(), "O`");
  EXPECT_EQ(TkwPDString("(lit)", false).GetHexToString(), "(lit)");
  auto unicode = TkwPDString::CreateForHex("Az");
  EXPECT_TRUE(unicode->IsHexString());
  EXPECT_EQ(unicode->GetString(), "FEFF0041007A");
}

// Counts destructions of a byte source through a stream's lifetime.
class TCountingStream final : public TkwStream {
public:
  explicit TCountingStream(int* AFreed) : FFreed(AFreed) {}
  ~TCountingStream() override { ++*FFreed; }
  void Reset() override {}
  std::int64_t GetPosition() const override { return 0; }
  TkwStreamType GetType() const override { return TkwStreamType::stFile; }

protected:
  bool Refill() override { return false; }

private:
  int* FFreed;
};

TEST(PDStream, CloneSharesSourceAndDictionaryFreedOnce) {
  for (bool cloneFirst : {false, true}) {
    int freed = 0;
    auto dict = std::make_unique<TkwPDDictionary>();
    dict->Add("Length", std::make_unique<TkwPDInteger>(0));
    TkwPDDictionary* dictPtr = dict.get();
    auto stream = std::make_unique<TkwPDStream>(TkwRef<TkwStream>(new TCountingStream(&freed)),
                                                std::move(dict));
    auto clone = stream->Clone();
    EXPECT_EQ(static_cast<TkwPDStream&>(*clone).GetDict(), dictPtr);
    if (cloneFirst) {
      clone.reset();
      EXPECT_EQ(freed, 0);
      EXPECT_EQ(stream->GetDict()->LookUpInt("Length", -1), 0);
      stream.reset();
    } else {
      stream.reset();
      EXPECT_EQ(freed, 0);
      EXPECT_EQ(static_cast<TkwPDStream&>(*clone).GetDict()->LookUpInt("Length", -1), 0);
      clone.reset();
    }
    EXPECT_EQ(freed, 1);
  }
}

TEST(PDExceptions, MessagesAreFixed) {
  EXPECT_STREQ(ExInvalidStream().what(), "Invalid Stream");
  EXPECT_STREQ(ExPasswordRequired().what(), "Encrypted PDF: Password required for loading");
  EXPECT_STREQ(ExCompressionError().what(), "Compression error ");
  EXPECT_STREQ(ExImproperCrossRefTableOrStream().what(), "Improper Cross reference Table or Stream");
  const EPDFCoreError& base = ExBadRootObj();
  EXPECT_STREQ(base.what(), "Catalog not found");
}

}  // namespace
}  // namespace qm
