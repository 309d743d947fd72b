#include "pdf/content/PageDisplay.h"

#include "pdf/content/ContentBridge.h"
#include "pdf/content/kwPDContentStream.h"
#include "pdf/content/kwPDExportDevice.h"
#include "pdf/content/kwPDGState.h"
#include "pdf/core/kwPDDocument.h"
#include "pdf/core/Tolerance.h"
#include "pdf/fonts/kwPDFont.h"
#include "pdf/model/kwPDPage.h"
#include "pdf/model/kwPDPageTree.h"
#include "pdf/model/kwPDResource.h"

namespace qm {

namespace content {
void RegisterImageFactories(TkwPDResourceFactories& AFactories);  // PDContentBridgeImages.cpp
}

void RegisterContentFactories(TkwPDDocument& ADoc) {
  TkwPDCatalog* catalog = ADoc.GetCatalog();
  if (catalog == nullptr) return;
  TkwPDResourceFactories& f = catalog->GetResourceFactories();
  if (!f.Font) {
    f.Font = [](TkwPDResource& AOwner, TkwPDBaseObject& AValue,
                std::string_view AName) -> std::unique_ptr<TkwPDElement> {
      if (!AValue.IsDict()) return nullptr;
      TkwPDDocument* doc = AOwner.GetParentDoc();
      return TkwPDFont::MakeFont(doc, &AOwner, AName, static_cast<TkwPDDictionary*>(&AValue),
                                 doc ? std::string_view(doc->GetCMapPath()) : std::string_view());
    };
  }
  if (!f.GState) {
    f.GState = [](TkwPDResource& AOwner, TkwPDBaseObject& AValue,
                  std::string_view AName) -> std::unique_ptr<TkwPDElement> {
      if (!AValue.IsDict()) return nullptr;
      return std::make_unique<TkwPDGState>(static_cast<TkwPDDictionary*>(&AValue),
                                           AOwner.GetParentDoc(), &AOwner, std::string(AName));
    };
  }
  content::RegisterImageFactories(f);
}

namespace {
std::array<double, 4> Normalised(const TkwPDRect& ARect) {
  // Rectangles are written left, bottom, right, top, in any corner order.
  return {std::min(ARect.GetLeft(), ARect.GetRight()), std::min(ARect.GetTop(), ARect.GetBottom()),
          std::max(ARect.GetLeft(), ARect.GetRight()), std::max(ARect.GetTop(), ARect.GetBottom())};
}
}  // namespace

void DisplayPage(TkwPDDocument& ADoc, TkwPDExportDevice& ADev, int APageNum, double AhDPI,
                 double AvDPI, int ARotate, bool AUseMediaBox, bool ACrop, bool /*APrinting*/,
                 bool ARenderAnnots) {
  RegisterContentFactories(ADoc);
  TkwPDPage* page = ADoc.GetPage(APageNum);
  if (!page) return;
  if (!ADev.CheckPageSlice(page, AhDPI, AvDPI, ARotate, AUseMediaBox, ACrop, 0, 0, 0, 0)) return;
  const int rotation = page->GetEffectiveRotation(ARotate);

  // The state is built over the crop box, or the media box without one; a page with
  // neither is given US Letter, which is what viewers assume.
  std::array<double, 4> box{0, 0, 612, 792};
  const TkwPDRect* crop = nullptr;
  const TkwPDRect* media = nullptr;
  try {
    crop = page->GetCropbox();
  } catch (const std::exception&) {
    RethrowUnlessDamage();
    crop = nullptr;
  }
  try {
    media = page->GetMediabox();
  } catch (const std::exception&) {
    RethrowUnlessDamage();
    media = nullptr;
  }
  if (crop && crop->GetIsValid()) {
    box = Normalised(*crop);
  } else if (media && media->GetIsValid()) {
    box = Normalised(*media);
  }
  if (box[2] <= box[0] || box[3] <= box[1]) box = {0, 0, 612, 792};

  std::vector<TkwPDStream*> streams;
  try {
    streams = page->GetContents();
  } catch (const std::exception&) {
    RethrowUnlessDamage();
    streams.clear();
  }
  TkwPDResource* res = nullptr;
  try {
    res = page->GetResource();
  } catch (const std::exception&) {
    RethrowUnlessDamage();
    res = nullptr;
  }
  std::vector<TkwPDAnnotDraw> annots;
  if (ARenderAnnots) {
    try {
      for (const auto& w : page->GetWidgetAppearances()) {
        if (!w.Form) continue;
        TkwPDAnnotDraw a;
        a.Form = w.Form;
        a.Rect = {w.Rect.GetLeft(), w.Rect.GetTop(), w.Rect.GetRight(), w.Rect.GetBottom()};
        // An appearance whose resources have no fonts draws with the page's.
        if (TkwPDResource* fr = w.Form->GetResources()) {
          if (res && fr != res && !fr->GetSubDictionary(TkwPDResourceType::resFont)) fr->UseFontsOf(res);
        }
        annots.push_back(a);
      }
    } catch (const std::exception&) {
      RethrowUnlessDamage();
      // broken annotations leave the page content as it is
    }
  }
  TkwPDContents contents(streams, res);
  contents.Display(ADev, ADoc.GetBaseDoc(), AhDPI, AvDPI, APageNum, rotation, box, annots,
                   ADoc.GetDiagnostics(), ADoc.GetCancelFlag());
}

}  // namespace qm
