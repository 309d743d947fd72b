#include "pdf/core/PDBaseObject.h"

#include <gtest/gtest.h>

#include <map>

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
  ASSERT_NE(dict.LookUp("Length"), nullptr);
  EXPECT_EQ(dict.LookUpInt("Length"), 42);
  EXPECT_TRUE(dict.LookupRefObj("Length")->IsIndirectRef());
}

}  // namespace
}  // namespace qm
