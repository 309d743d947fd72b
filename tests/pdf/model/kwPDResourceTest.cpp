#include "pdf/model/kwPDResource.h"

#include <gtest/gtest.h>

#include <string>

#include "pdf/core/kwPDDocument.h"
#include "pdf/model/kwPDForm.h"
#include "pdf/model/kwPDPage.h"
#include "pdf/model/kwPDPageTree.h"
#include "pdf/model/kwPDXObject.h"
#include "tests/support/pdf/TestPdf.h"

namespace qm {
namespace {

// What the upper layers register: a wrapper that remembers the entry it was built from.
class TkwTestItem : public TkwPDElement {
public:
  TkwTestItem(TkwPDBaseObject* AObj, TkwPDDocument* ADoc, TkwPDElement* AParent, std::string AName)
      : TkwPDElement(AObj, ADoc, AParent), Name(std::move(AName)) {}
  std::string Name;
};

class TkwTestImage : public TkwPDXObject {
public:
  TkwTestImage(TkwPDStream* AStream, TkwPDElement* AParent, std::string_view AName)
      : TkwPDXObject(AStream, nullptr, AParent, TkwXObjectType::xtImage, AName) {}
};

class Resources : public ::testing::Test {
protected:
  void SetUp() override {
    auto& f = FFactories;
    f.Font = [this](TkwPDResource& AOwner, TkwPDBaseObject& AValue, std::string_view AName) -> std::unique_ptr<TkwPDElement> {
      ++FFontsBuilt;
      if (!AValue.IsDict("Font")) return nullptr;  // a factory may refuse an entry
      return std::make_unique<TkwTestItem>(&AValue, AOwner.GetParentDoc(), &AOwner, std::string(AName));
    };
    f.ColorSpace = [](TkwPDResource& AOwner, TkwPDBaseObject& AValue, std::string_view AName) {
      return std::make_unique<TkwTestItem>(&AValue, AOwner.GetParentDoc(), &AOwner, std::string(AName));
    };
    f.GState = f.ColorSpace;
    f.Image = [](TkwPDElement* AOwner, TkwPDStream& AImage, std::string_view AName) {
      return std::make_unique<TkwTestImage>(&AImage, AOwner, AName);
    };
  }
  // A document whose resources are built by FFactories.
  std::unique_ptr<TkwPDDocument> Open(TkwTestPdf& APdf) {
    auto doc = std::make_unique<TkwPDDocument>();
    doc->LoadFromBytes(APdf.Save(), true);
    if (auto* catalog = doc->GetCatalog()) catalog->GetResourceFactories() = FFactories;
    return doc;
  }

  int FFontsBuilt = 0;
  TkwPDResourceFactories FFactories;
};

TEST_F(Resources, LookupsByNameBuildEachKindOnce) {
  TkwTestPdf pdf;
  const int f1 = pdf.AddFont("Helvetica");
  const int f2 = pdf.AddFont("Courier");
  const int bad = pdf.AddObject("<< /Type /XObject >>");
  const int res = pdf.AddObject("<< /Font << /F2 " + std::to_string(f2) + " 0 R /F1 " + std::to_string(f1) +
                                " 0 R /Bad " + std::to_string(bad) + " 0 R /Gone 99 0 R >> /ColorSpace << /CS0 "
                                "/DeviceRGB >> /ExtGState << /GS1 << /LW 2 >> >> >>");
  pdf.AddPage("", {}, "/Resources " + std::to_string(res) + " 0 R");
  pdf.AddPage("", {}, "/Resources " + std::to_string(res) + " 0 R");
  auto doc = Open(pdf);
  TkwPDResource* r = doc->GetPage(1)->GetResource();
  ASSERT_NE(r, nullptr);
  auto* font = static_cast<TkwTestItem*>(r->LookUpFont("F1"));
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(font->Name, "F1");
  EXPECT_EQ(font->GetBaseObject()->GetObjNumber(), static_cast<std::uint32_t>(f1));
  EXPECT_EQ(r->LookUpFont("Bad"), nullptr);   // refused by the factory
  EXPECT_EQ(r->LookUpFont("Gone"), nullptr);  // unresolvable
  EXPECT_EQ(r->LookUpFont("F3"), nullptr);
  EXPECT_EQ(r->GetFontCount(), 2);
  EXPECT_NE(r->LookUpColorSpace("CS0"), nullptr);
  EXPECT_NE(r->LookUpGState("GS1"), nullptr);
  EXPECT_EQ(r->LookUpPattern("P0"), nullptr);
  // The second page shares the dictionary, so nothing is built again.
  EXPECT_EQ(doc->GetPage(2)->GetResource(), r);
  EXPECT_EQ(doc->GetPage(2)->GetResource()->LookUpFont("F2") != nullptr, true);
  EXPECT_EQ(FFontsBuilt, 3);
}

// Pages with resource dictionaries of their own that name the same font object alike share
// one font wrapper, built once; another name, another font object or a font written inside
// the resource dictionary gets a wrapper of its own.
TEST_F(Resources, PagesNamingTheSameFontShareOneWrapper) {
  TkwTestPdf pdf;
  const int f1 = pdf.AddFont("Helvetica");
  const int f2 = pdf.AddFont("Courier");
  const std::string r1 = std::to_string(f1) + " 0 R";
  const std::string r2 = std::to_string(f2) + " 0 R";
  pdf.AddPage("", {}, "/Resources << /Font << /F1 " + r1 + " /F2 " + r2 + " >> >>");
  pdf.AddPage("", {}, "/Resources << /Font << /F2 " + r2 + " /F1 " + r1 + " >> >>");
  pdf.AddPage("", {}, "/Resources << /Font << /F7 " + r1 + " >> >>");
  pdf.AddPage("", {}, "/Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont /Helvetica >> >> >>");
  auto doc = Open(pdf);
  TkwPDResource* p1 = doc->GetPage(1)->GetResource();
  TkwPDResource* p2 = doc->GetPage(2)->GetResource();
  TkwPDResource* p3 = doc->GetPage(3)->GetResource();
  TkwPDResource* p4 = doc->GetPage(4)->GetResource();
  ASSERT_TRUE(p1 && p2 && p3 && p4);
  ASSERT_NE(p1, p2);
  TkwPDElement* font = p1->LookUpFont("F1");
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(p2->LookUpFont("F1"), font);
  EXPECT_EQ(p2->LookUpFont("F2"), p1->LookUpFont("F2"));
  EXPECT_NE(p1->LookUpFont("F2"), font);
  EXPECT_EQ(FFontsBuilt, 2);
  auto* renamed = static_cast<TkwTestItem*>(p3->LookUpFont("F7"));
  ASSERT_NE(renamed, nullptr);
  EXPECT_NE(renamed, font);
  EXPECT_EQ(renamed->Name, "F7");
  EXPECT_EQ(renamed->GetBaseObject(), font->GetBaseObject());
  TkwPDElement* inlined = p4->LookUpFont("F1");
  ASSERT_NE(inlined, nullptr);
  EXPECT_NE(inlined, font);
  EXPECT_EQ(FFontsBuilt, 4);
  // Each page's list holds its own names, pointing at the shared wrappers.
  ASSERT_EQ(p2->GetFonts().size(), 2u);
  for (const auto& item : p2->GetFonts()) EXPECT_EQ(item.Element, p1->LookUpFont(item.Name)) << item.Name;
}

// A font the factory refuses is asked for once per document, and stays out of every list.
TEST_F(Resources, ARefusedSharedFontStaysOut) {
  TkwTestPdf pdf;
  const int bad = pdf.AddObject("<< /Type /XObject >>");
  for (int i = 0; i < 3; ++i) pdf.AddPage("", {}, "/Resources << /Font << /F1 " + std::to_string(bad) + " 0 R >> >>");
  auto doc = Open(pdf);
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(doc->GetPage(i)->GetResource()->LookUpFont("F1"), nullptr);
    EXPECT_EQ(doc->GetPage(i)->GetResource()->GetFontCount(), 0);
  }
  EXPECT_EQ(FFontsBuilt, 1);
}

TEST_F(Resources, NamesAreNotSearchedInParentResources) {
  TkwTestPdf pdf;
  const int f1 = pdf.AddFont();
  pdf.SetPagesExtra("/Resources << /Font << /F1 " + std::to_string(f1) + " 0 R >> >>");
  pdf.AddPage("", {}, "/Resources << /ProcSet [/PDF] >>");
  auto doc = Open(pdf);
  TkwPDResource* own = doc->GetPage(1)->GetResource();
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->LookUpFont("F1"), nullptr);
  EXPECT_EQ(own->GetSubDictionary(TkwPDResourceType::resFont), nullptr);
}

TEST_F(Resources, EmptyFactoriesLeaveEntriesOut) {
  FFactories = TkwPDResourceFactories{};
  TkwTestPdf pdf;
  const int f1 = pdf.AddFont();
  const int img = pdf.AddStream("/Subtype /Image /Width 1 /Height 1", "x");
  pdf.AddPage("", {{"F1", f1}}, "");
  pdf.AddPage("", {}, "/Resources << /XObject << /Im1 " + std::to_string(img) + " 0 R >> >>");
  auto doc = Open(pdf);
  EXPECT_EQ(doc->GetPage(1)->GetResource()->LookUpFont("F1"), nullptr);
  EXPECT_EQ(doc->GetPage(2)->GetResource()->LookUpXObject("Im1"), nullptr);
}

TEST_F(Resources, XObjectsByTheirSubtype) {
  TkwTestPdf pdf;
  const int img = pdf.AddStream("/Subtype /Image /Width 1 /Height 1", "x");
  const int inner = pdf.AddFont();
  const int form = pdf.AddStream("/Subtype /Form /BBox [0 0 10 20] /Matrix [1 0 0 1 5 6] /Resources << /Font << /F9 " +
                                     std::to_string(inner) + " 0 R >> >>",
                                 "0 0 m");
  const int ps = pdf.AddStream("/Subtype /PS", "");
  const int loop = pdf.ReserveObject();
  pdf.SetStream(loop, "/Subtype /Form /Resources << /XObject << /Self " + std::to_string(loop) + " 0 R >> >>", "");
  pdf.AddPage("", {}, "/Resources << /XObject << /Im1 " + std::to_string(img) + " 0 R /Fm1 " + std::to_string(form) +
                           " 0 R /Ps " + std::to_string(ps) + " 0 R /Loop " + std::to_string(loop) + " 0 R >> >>");
  auto doc = Open(pdf);
  TkwPDResource* r = doc->GetPage(1)->GetResource();
  TkwPDXObject* image = r->LookUpXObject("Im1");
  ASSERT_NE(image, nullptr);
  EXPECT_TRUE(image->IsImage());
  EXPECT_EQ(image->GetTagName(), "Im1");
  EXPECT_EQ(r->LookUpXObject("Ps"), nullptr);

  auto* fm = static_cast<TkwPDForm*>(r->LookUpXObject("Fm1"));
  ASSERT_NE(fm, nullptr);
  ASSERT_TRUE(fm->IsForm());
  ASSERT_NE(fm->GetBBox(), nullptr);
  EXPECT_EQ(fm->GetBBox()->GetBottom(), 20);
  ASSERT_NE(fm->GetMatrix(), nullptr);
  EXPECT_EQ((*fm->GetMatrix())[4], 5);
  EXPECT_EQ(fm->GetFormType(), 1);
  ASSERT_NE(fm->GetResources(), nullptr);
  EXPECT_NE(fm->GetResources()->LookUpFont("F9"), nullptr);

  // A form whose resources name the form itself does not build without end.
  auto* self = static_cast<TkwPDForm*>(r->LookUpXObject("Loop"));
  ASSERT_NE(self, nullptr);
  auto* again = static_cast<TkwPDForm*>(self->GetResources()->LookUpXObject("Self"));
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->GetResources(), self->GetResources());
}

TEST_F(Resources, WidgetAppearancesFollowTheFieldValues) {
  TkwTestPdf pdf;
  const int on = pdf.AddStream("/BBox [0 0 10 10]", "(on)");
  const int off = pdf.AddStream("/Subtype /Form /BBox [0 0 10 10]", "(off)");
  const int plain = pdf.AddStream("/Subtype /Form /BBox [0 0 10 10]", "(plain)");
  const std::string states = "/AP << /N << /Yes " + std::to_string(on) + " 0 R /Off " + std::to_string(off) + " 0 R >> >>";
  const int check = pdf.AddObject("<< /Type /Annot /Subtype /Widget /Rect [10 20 30 40] " + states + " /AS /Off >>");
  const int hidden = pdf.AddObject("<< /Subtype /Widget /F 2 /Rect [0 0 1 1] /AP << /N " + std::to_string(plain) + " 0 R >> >>");
  const int link = pdf.AddObject("<< /Subtype /Link /Rect [0 0 1 1] >>");
  const int kid = pdf.AddObject("<< /Subtype /Widget /Rect [0 0 5 5] " + states + " >>");
  const int parent = pdf.AddObject("<< /FT /Btn /V /Yes /Kids [" + std::to_string(kid) + " 0 R] >>");
  const int text = pdf.AddObject("<< /Subtype /Widget /Rect [50 60 70 80] /AP << /N " + std::to_string(plain) + " 0 R >> >>");
  pdf.SetCatalogExtra("/AcroForm << /Fields [" + std::to_string(check) + " 0 R << /V /Yes /Kids [" +
                      std::to_string(text) + " 0 R] >>] >>");
  pdf.AddPage("", {}, "/Annots [" + std::to_string(check) + " 0 R " + std::to_string(hidden) + " 0 R " +
                           std::to_string(link) + " 0 R " + std::to_string(parent) + " 0 R " + std::to_string(text) +
                           " 0 R]");
  auto doc = Open(pdf);
  const auto& widgets = doc->GetPage(1)->GetWidgetAppearances();
  ASSERT_EQ(widgets.size(), 3U);
  EXPECT_EQ(widgets[0].ObjNum, static_cast<std::uint32_t>(check));
  EXPECT_EQ(widgets[0].Value, "");  // the field has no V: AS chooses Off
  EXPECT_EQ(widgets[0].Form->GetStream()->ReadAll(), "(off)");
  EXPECT_EQ(widgets[0].Rect.GetTop(), 20);
  EXPECT_EQ(widgets[1].ObjNum, static_cast<std::uint32_t>(kid));
  EXPECT_EQ(widgets[1].Value, "Yes");  // passed down by the parent field
  EXPECT_EQ(widgets[1].Form->GetStream()->ReadAll(), "(on)");  // no Subtype: a form still
  EXPECT_EQ(widgets[2].ObjNum, static_cast<std::uint32_t>(text));
  EXPECT_EQ(widgets[2].Value, "Yes");  // found through the field's Kids
  EXPECT_EQ(widgets[2].Form->GetStream()->ReadAll(), "(plain)");
}

struct AnnotCase {
  const char* Name;
  std::string Dict;  // the annotation without its appearance
  bool Shown;
};

class AnnotationsShown : public Resources, public ::testing::WithParamInterface<AnnotCase> {};

// What a viewer shows: every annotation's normal appearance unless it is hidden, not for
// viewing, a popup, or invisible and of a type no viewer knows.
TEST_P(AnnotationsShown, AsAViewerShowsThem) {
  TkwTestPdf pdf;
  const int look = pdf.AddStream("/Subtype /Form /BBox [0 0 10 10]", "(look)");
  const int annot = pdf.AddObject("<< " + GetParam().Dict + " /Rect [10 20 30 40] /AP << /N " +
                                  std::to_string(look) + " 0 R >> >>");
  pdf.AddPage("", {}, "/Annots [" + std::to_string(annot) + " 0 R]");
  auto doc = Open(pdf);
  const auto& shown = doc->GetPage(1)->GetWidgetAppearances();
  ASSERT_EQ(shown.size(), GetParam().Shown ? 1U : 0U);
  if (GetParam().Shown) {
    EXPECT_EQ(shown[0].Form->GetStream()->ReadAll(), "(look)");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, AnnotationsShown,
    ::testing::Values(AnnotCase{"freeText", "/Subtype /FreeText /F 4", true},
                      AnnotCase{"stamp", "/Subtype /Stamp", true},
                      AnnotCase{"textIcon", "/Subtype /Text /F 28", true},
                      AnnotCase{"hidden", "/Subtype /FreeText /F 2", false},
                      AnnotCase{"hiddenComment", "/Subtype /Text /F 30", false},
                      AnnotCase{"noView", "/Subtype /Square /F 32", false},
                      AnnotCase{"popup", "/Subtype /Popup", false},
                      AnnotCase{"invisibleKnown", "/Subtype /Ink /F 1", true},
                      AnnotCase{"invisibleUnknown", "/Subtype /Custom /F 1", false},
                      AnnotCase{"unknown", "/Subtype /Custom", true},
                      AnnotCase{"noSubtype", "/F 0", false},
                      AnnotCase{"invisibleWidget", "/Subtype /Widget /F 1", false},
                      AnnotCase{"noViewWidget", "/Subtype /Widget /F 32", false}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

TEST_F(Resources, BorrowedFontsComeFromTheOtherResource) {
  TkwTestPdf pdf;
  const int f1 = pdf.AddFont();
  pdf.AddPage("", {{"F1", f1}}, "");
  pdf.AddPage("", {}, "/Resources << /ProcSet [/PDF] >>");
  auto doc = Open(pdf);
  TkwPDResource* pageRes = doc->GetPage(1)->GetResource();
  TkwPDResource* formRes = doc->GetPage(2)->GetResource();
  ASSERT_EQ(formRes->LookUpFont("F1"), nullptr);
  formRes->UseFontsOf(pageRes);
  EXPECT_FALSE(formRes->GetCanFreeFont());
  EXPECT_EQ(formRes->LookUpFont("F1"), pageRes->LookUpFont("F1"));
}

}  // namespace
}  // namespace qm
