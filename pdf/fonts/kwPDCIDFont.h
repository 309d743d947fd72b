#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pdf/fonts/kwPDCMap.h"
#include "pdf/fonts/kwPDFont.h"

namespace qm {

struct TCIDWidthExcep {
  std::uint16_t First = 0;
  std::uint16_t Last = 0;
  double Width = 0;  // text-space units
};

struct TCIDWidths {
  double DefWidth = 1.0;
  double DefHeight = -1.0;  // vertical advance (w1y of DW2), text-space units
  double DefVY = 0.88;      // vertical origin (vy of DW2)
  std::vector<TCIDWidthExcep> Exceps;    // from W, in array order; the first match counts
  std::vector<TCIDWidthExcep> VExceps;   // w1y values from W2
};

// A composite (Type0) font: a CMap from codes to CIDs, CID widths, and for TrueType-based
// fonts the CID-to-glyph map.
class TkwPDCIDFont final : public TkwPDFont {
public:
  TkwPDCIDFont(TkwPDDocument* AParentDoc, TkwPDElement* AParentElement, TkwPDDictionary* ABaseObject,
               std::string_view ATag, std::string_view AName, std::string_view ACMapPath = {});

  [[nodiscard]] bool IsCIDFont() const override { return true; }
  [[nodiscard]] TkwWritingMode WritingMode() const override;
  int GetNextChar(std::u16string_view AStr, std::size_t AIndex, TkwPDNextChar& AOut) const override;
  // 0 without a CMap or in vertical mode; else the width of the code's CID.
  [[nodiscard]] double GetCharWidth(std::uint32_t ACharCode) const override;

  [[nodiscard]] const TkwPDCMap* GetCMap() const { return FCMap.get(); }
  [[nodiscard]] const TCIDWidths& GetWidths() const { return FWidths; }
  [[nodiscard]] const std::vector<std::uint16_t>* GetCIDToGID() const {
    return FHasCIDToGID ? &FCIDToGID : nullptr;
  }
  // Horizontal advance and vertical advance of a CID.
  [[nodiscard]] double GetCIDWidth(std::uint32_t ACID) const;
  [[nodiscard]] double GetCIDHeight(std::uint32_t ACID) const;

private:
  void ReadWidths(const TkwPDDictionary& ADescendant);
  void ReadProgramUnicodes();

  std::unique_ptr<TkwPDCMap> FCMap;
  TCIDWidths FWidths;
  std::vector<std::uint16_t> FCIDToGID;
  bool FHasCIDToGID = false;
  // Glyph to value from the embedded TrueType program's own Unicode map, read only where
  // ToUnicode lacks values.
  std::unordered_map<std::uint32_t, char16_t> FProgramUnicodes;
  // Per-CID lookup built from the exception lists (0 = default), so a glyph costs no search.
  std::vector<double> FWidthByCID;
  std::vector<double> FHeightByCID;
  std::vector<bool> FHasWidth;
  std::vector<bool> FHasHeight;
};

}  // namespace qm
