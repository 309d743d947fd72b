#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "writer/kwRTFHeader.h"
#include "writer/kwWriterClasses.h"

namespace qm {

// Section kinds: a continuous section, a new page with its own page setup, a continuous
// section with columns.
inline constexpr std::uint8_t kSectionContinuous = 0;
inline constexpr std::uint8_t kSectionNewPage = 1;
inline constexpr std::uint8_t kSectionColumns = 2;

// A column break inside a multi-column section.
class TkwRTFColumnBreak final : public TkwRTFElement {
public:
  [[nodiscard]] std::uint8_t GetKind() const override { return 9; }
  void Write(std::string& AOut) override;
};

class TkwRTFSection final : public TkwRTFElement {
public:
  explicit TkwRTFSection(std::uint8_t ASectionKind);
  [[nodiscard]] std::uint8_t GetKind() const override { return 3; }
  void Write(std::string& AOut) override;
  // Writes the section; pictures and shapes go into the paragraph after them. AAnchors
  // holds those still waiting for one: from the sections before on the same page, and,
  // unless AWriteWaiting, for the sections after.
  void Write(std::string& AOut, std::vector<TkwRTFElement*>& AAnchors, bool AWriteWaiting);

  [[nodiscard]] std::uint8_t GetSectionKind() const { return FSectionKind; }
  // Nothing in the body, header or footer.
  [[nodiscard]] bool IsEmpty() const {
    return FBody.empty() && (!FHeaderList || FHeaderList->empty()) && (!FFooterList || FFooterList->empty());
  }
  TkwRTFElements& GetBody() { return FBody; }
  // Created on first use.
  TkwRTFElements& GetHeaderList();
  TkwRTFElements& GetFooterList();
  TkwPageSettings& GetPageSettings() { return FPageSettings; }

  int ColumnCount = 1;
  int ColumnSpacing = 0;  // kept, not written
  TkwColumnSections Columns;

private:
  std::uint8_t FSectionKind;
  std::unique_ptr<TkwRTFElements> FHeaderList;
  std::unique_ptr<TkwRTFElements> FFooterList;
  TkwRTFElements FBody;
  TkwPageSettings FPageSettings;
};

// The document area: the default page setup and the sections.
class TkwRTFDocArea final : public TkwRTFElement {
public:
  [[nodiscard]] std::uint8_t GetKind() const override { return 2; }
  void Write(std::string& AOut) override;

  TkwPageSettings& GetPageSettings() { return FPageSettings; }
  std::vector<std::unique_ptr<TkwRTFSection>>& GetSections() { return FSections; }
  TkwRTFSection& AddSection(std::uint8_t AKind);

private:
  std::vector<std::unique_ptr<TkwRTFSection>> FSections;
  TkwPageSettings FPageSettings;
};

}  // namespace qm
