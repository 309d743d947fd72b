#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "converter/kwConvEnums.h"
#include "writer/kwWriterClasses.h"

// What a conversion produces, as the caller sets it on the converter.
namespace qm {

class TkwPreferences final : public TkwPersistent {
public:
  void Assign(const TkwPersistent& ASource) override;
  [[nodiscard]] const char* ClassName() const override { return "TkwPreferences"; }

  [[nodiscard]] TkwFormattingMode GetFormattingMode() const noexcept { return FFormattingMode; }
  void SetFormattingMode(TkwFormattingMode AMode) noexcept { FFormattingMode = AMode; }

private:
  TkwFormattingMode FFormattingMode = TkwFormattingMode::fmFormatted;
};

class TkwDocSettings final : public TkwPersistent {
public:
  // Every option bit is set on creation; no conversion reads them, Assign copies them.
  static constexpr std::uint8_t kAllOptions = 0x3F;

  TkwDocSettings();

  // Copies option bits, page range, document information and preferences.
  void Assign(const TkwPersistent& ASource) override;
  [[nodiscard]] const char* ClassName() const override { return "TkwDocSettings"; }

  // Empty or blank selects every page; otherwise the page-range syntax ("1,3, 5-9").
  [[nodiscard]] const std::string& GetPageRange() const noexcept { return FPageRange; }
  void SetPageRange(const std::string& ARange) { FPageRange = ARange; }

  [[nodiscard]] TkwPreferences& GetPreferences() noexcept { return *FPreferences; }
  [[nodiscard]] const TkwPreferences& GetPreferences() const noexcept { return *FPreferences; }
  // Copies into the owned preferences.
  void SetPreferences(const TkwPreferences& APreferences) { FPreferences->Assign(APreferences); }

  [[nodiscard]] TkwDocInfo& GetDocInfo() noexcept { return *FDocInfo; }
  [[nodiscard]] const TkwDocInfo& GetDocInfo() const noexcept { return *FDocInfo; }
  void SetDocInfo(const TkwDocInfo& AInfo) { FDocInfo->Assign(AInfo); }

  [[nodiscard]] std::uint8_t GetOptions() const noexcept { return FOptions; }
  void SetOptions(std::uint8_t AOptions) noexcept { FOptions = AOptions; }

private:
  std::string FPageRange;
  std::unique_ptr<TkwPreferences> FPreferences;
  std::unique_ptr<TkwDocInfo> FDocInfo;
  std::uint8_t FOptions = kAllOptions;
};

}  // namespace qm
