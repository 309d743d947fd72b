#pragma once

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pdf/fonts/kwBuiltInFont.h"
#include "pdf/fonts/kwPDFont.h"

namespace qm {

// The standard-14 name an alias stands for, with the name the font then carries
// ("Arial,Bold" and "Helvetica-Bold" both give {"Arial,Bold", "Helvetica-Bold"}).
struct TkwFontAlias {
  std::string_view Name;
  std::string_view StandardName;
};
// The first row naming AName in either column, or nullptr.
[[nodiscard]] const TkwFontAlias* FindFontAlias(std::string_view AName);

// A simple (single-byte) font: Type1, Type1C, Type3, TrueType and unknown subtypes.
class TkwPD8bitFont : public TkwPDFont {
public:
  TkwPD8bitFont(TkwPDDocument* AParentDoc, TkwPDElement* AParentElement, TkwPDDictionary* AFontDict,
                std::string_view ATag, std::string_view AName, TkwPDFontType AType);

  // Inline and final: the content stream decodes a simple font's strings without a virtual
  // call for every code.
  int GetNextChar(std::u16string_view AStr, std::size_t AIndex, TkwPDNextChar& AOut) const final {
    // Called once a glyph: the fields are set one by one rather than through a cleared copy.
    AOut.Processed = 1;
    AOut.CharName = {};
    AOut.UnicodeText = {};
    AOut.Dy = AOut.Ox = AOut.Oy = 0;
    AOut.CID = 0;
    if (AIndex >= AStr.size()) {
      AOut.Code = AOut.Unicode = 0;
      AOut.CharCode = 0;
      AOut.Dx = 0;
      return 0;
    }
    const std::uint8_t c = static_cast<std::uint8_t>(AStr[AIndex] & 0xFF);
    AOut.CharCode = c;
    AOut.Dx = FWidths[c];
    AOut.Code = FCodes[c];
    AOut.Unicode = FUnicodes[c];
    if (FToUnicode && FToUnicode->HasTexts()) AOut.UnicodeText = FToUnicode->MapText(c);
    // An empty slot names no glyph (a symbolic Type 1 font's included).
    AOut.CharName = FEncoding[c];
    return 1;
  }
  [[nodiscard]] double GetCharWidth(std::uint32_t ACharCode) const override;

  // Glyph name of a code, "" when none.
  [[nodiscard]] std::string_view GetCharName(std::uint8_t ACode) const { return FEncoding[ACode]; }
  [[nodiscard]] const std::array<std::string, 256>& GetEncoding() const { return FEncoding; }
  [[nodiscard]] const std::array<double, 256>& GetWidths() const { return FWidths; }
  [[nodiscard]] bool GetHasEncoding() const { return FHasEncoding; }
  [[nodiscard]] bool GetHasDifferences() const { return FHasDifferences; }
  [[nodiscard]] bool GetUsesMacRomanEnc() const { return FUsesMacRomanEnc; }
  // The standard font whose metrics were loaded, or nullptr.
  [[nodiscard]] const TkwBuiltInFont* GetBuiltInFont() const { return FBuiltIn; }

private:
  void ReadEncoding(const TkwPDDictionary& ADict);
  void ReadWidths(const TkwPDDictionary& ADict);
  void SetEncodingTable(const TkwPDEncodingTable& ATable);
  void DecodeCode(std::uint8_t ACode, std::uint16_t& ACodeOut, std::uint16_t& AUnicode);
  // Codes that nothing else gives a Unicode value take the one of the glyph the embedded
  // program's own encoding selects: by its name, the program's Unicode map, or a space for
  // a glyph that draws nothing.
  void FillFromProgram(bool AOwnCodes);

  std::array<std::string, 256> FEncoding{};
  bool FHasEncoding = false;
  bool FHasDifferences = false;
  bool FUsesMacRomanEnc = false;
  std::array<double, 256> FWidths{};
  int FFirstChar = 0, FLastChar = 255;  // the codes the Widths array covers
  const TkwBuiltInFont* FBuiltIn = nullptr;  // not owned; process-wide tables
  // Code and Unicode of every byte, worked out once: a font is read-only after construction.
  std::array<std::uint16_t, 256> FCodes{};
  std::array<std::uint16_t, 256> FUnicodes{};
  // The Differences names of a TrueType font: they do not change the glyph-name table, but
  // where nothing else gives a code's text, its name does.
  std::vector<std::pair<std::uint8_t, std::string>> FTrueTypeNames;
  bool FNameHasSymbol = false;
  bool FNameHasDingbats = false;
};

}  // namespace qm
