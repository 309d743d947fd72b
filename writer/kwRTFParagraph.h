#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "writer/kwRTFHeader.h"
#include "writer/kwWriterClasses.h"

namespace qm {

// One text run of a paragraph.
// A document holds every run until it is written, so the fields are packed and the rare
// bookmark name is kept apart.
struct TkwTextItem {
  int FontIndex = 0;
  int ColorIndex = 0;
  int Size = 0;
  int Charset = kDefaultCharset;
  TFontStyles Style = 0;
  bool HasBookmark = false;
  double CharSpacing = 0;  // native units, \expndtw
  double TabPosition = 0;  // native units; > 0 puts a tab stop before the run
  int RiseHalfPoints = 0;  // \up (raised) or \dn (lowered)
  std::u16string Text;
  std::shared_ptr<const std::u16string> BookmarkName;  // set when HasBookmark
};
using TkwTextItems = std::vector<TkwTextItem>;

// The state a paragraph was opened with, and its runs.
class TkwParagraphItem final : public TkwObject {
public:
  TFont Font;
  TBrush Brush;
  TkwTextEffects TextEffects;
  TkwTextFormatting TextFormatting;
  TkwTextItems Runs;
};

// Paragraph flags.
inline constexpr std::uint8_t kParaInTable = 2;
inline constexpr std::uint8_t kParaInList = 4;

class TkwRTFParagraph final : public TkwRTFElement {
public:
  TkwRTFParagraph(TkwRTFHeader& AHeader, std::uint8_t AFlags, int AStyleIndex);
  [[nodiscard]] std::uint8_t GetKind() const override { return 4; }
  // Appends CRLF, the paragraph, CRLF. A failure while writing leaves AOut as it was.
  void Write(std::string& AOut) override;

  void AddRun(std::u16string_view AText, int AFontIndex, double ATabPosition, double ACharSpacing,
              int ACharset, int ASize, TFontStyles AStyle, int AColorIndex);
  void AddBookmarkRun(std::u16string_view AText, int AFontIndex, std::u16string_view ABookmarkName,
                      double ATabPosition, double ACharSpacing, int ACharset, int ASize,
                      TFontStyles AStyle, int AColorIndex);

  TkwParagraphItem& GetItem() { return FItem; }
  [[nodiscard]] std::uint8_t GetFlags() const { return FFlags; }
  [[nodiscard]] bool InTable() const { return (FFlags & kParaInTable) != 0; }
  int StyleIndex = -1;
  int ListIndex = -1;
  // Pictures and shapes anchored in the paragraph, written after its formatting: set by
  // the section while it writes, not owned.
  std::vector<TkwRTFElement*> Anchored;

private:
  TkwParagraphItem FItem;
  std::uint8_t FFlags;
  TkwRTFHeader& FHeader;  // not owned
  void WriteBody(std::string& AOut);
};

}  // namespace qm
