#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "writer/kwRTFParagraph.h"
#include "writer/kwWriterClasses.h"

namespace qm {

// A positioned text box; its paragraphs are written once for readers of drawing shapes
// and once more in the drawing-object fallback.
class TkwRTFTextbox final : public TkwRTFElement {
public:
  TkwRTFTextbox(const TkwRect& ARect, std::uint8_t AHAlign, std::uint8_t AVAlign, const TPen& APen);
  void Write(std::string& AOut) override;

  void AddParagraph(std::unique_ptr<TkwRTFParagraph> APara) { FParagraphs.push_back(std::move(APara)); }
  [[nodiscard]] int GetParagraphCount() const { return static_cast<int>(FParagraphs.size()); }

  TkwRect Rect;  // native units
  std::uint8_t HAlign;  // 0 left, 1 right, 2 centre, 3 justified
  std::uint8_t VAlign;  // 0 top, 1 middle, 2 bottom
  bool HeaderShape = false;
  TPen Pen;

private:
  std::vector<std::unique_ptr<TkwRTFParagraph>> FParagraphs;
};

}  // namespace qm
