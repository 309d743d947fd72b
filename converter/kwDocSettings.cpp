#include "converter/kwDocSettings.h"

namespace qm {

void TkwPreferences::Assign(const TkwPersistent& ASource) {
  if (const auto* source = dynamic_cast<const TkwPreferences*>(&ASource)) {
    FFormattingMode = source->FFormattingMode;
    return;
  }
  TkwPersistent::Assign(ASource);
}

TkwDocSettings::TkwDocSettings()
    : FPreferences(std::make_unique<TkwPreferences>()), FDocInfo(std::make_unique<TkwDocInfo>()) {}

void TkwDocSettings::Assign(const TkwPersistent& ASource) {
  if (const auto* source = dynamic_cast<const TkwDocSettings*>(&ASource)) {
    if (source == this) return;
    FOptions = source->FOptions;
    FPageRange = source->FPageRange;
    FDocInfo->Assign(*source->FDocInfo);
    FPreferences->Assign(*source->FPreferences);
    return;
  }
  TkwPersistent::Assign(ASource);
}

}  // namespace qm
