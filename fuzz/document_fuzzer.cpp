// Loads a document from arbitrary bytes (with repair) and walks every page: boxes,
// rotation, resources, widget appearances and every content stream.
#include <cstdint>
#include <string>

#include "base/Limits.h"
#include "pdf/core/kwPDDocument.h"
#include "pdf/model/kwPDPage.h"
#include "pdf/model/kwPDPageTree.h"
#include "pdf/model/kwPDResource.h"

namespace {

constexpr std::int64_t kReadCap = std::int64_t{16} << 20;  // per stream, to keep runs short
constexpr int kPagesWalked = 2000;

void ReadStream(qm::TkwPDStream* AStream) {
  if (AStream == nullptr) return;
  try {
    (void)AStream->ReadAll(kReadCap);
  } catch (const qm::EPDFCoreError&) {
  }
}

void WalkPage(qm::TkwPDPage& APage) {
  try {
    (void)APage.GetMediabox();
    (void)APage.GetCropbox();
    (void)APage.GetBleedbox();
    (void)APage.GetTrimBox();
  } catch (const qm::ExBadPage&) {
  }
  (void)APage.GetEffectiveRotation(90);
  (void)APage.GetPageSize();
  if (qm::TkwPDResource* res = APage.GetResource()) {
    (void)res->GetFonts();
    for (const auto& item : res->GetXObjects()) {
      auto* xobject = static_cast<qm::TkwPDXObject*>(item.Element);
      if (xobject->IsForm()) {
        auto* form = static_cast<qm::TkwPDForm*>(xobject);
        (void)form->GetBBox();
        (void)form->GetMatrix();
        if (qm::TkwPDResource* inner = form->GetResources()) (void)inner->GetXObjects();
      }
      ReadStream(xobject->GetStream());
    }
  }
  for (qm::TkwPDStream* s : APage.GetContents()) ReadStream(s);
  for (const auto& widget : APage.GetWidgetAppearances()) ReadStream(widget.Form->GetStream());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  try {
    qm::TkwPDDocument doc;
    doc.LoadFromBytes(std::string(reinterpret_cast<const char*>(Data), Size), true);
    (void)doc.GetVersion();
    (void)doc.GetEncryptionMethod();
    const int count = doc.GetPageCount();
    for (int i = 1; i <= count && i <= kPagesWalked; ++i) {
      if (qm::TkwPDPage* page = doc.GetPage(i)) WalkPage(*page);
    }
  } catch (const qm::EPDFCoreError&) {
    // A document that cannot be opened fails with one of the core's exceptions.
  }
  return 0;
}
