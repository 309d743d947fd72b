#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/kwPath2D.h"

struct FT_CharMapRec_;

namespace qm {

// One FreeType face, from an installed file or from a font program held in memory (the
// embedded fonts of a PDF). Opening a face is slow, so callers keep the shared handle;
// advances are cached per face. All methods are thread-safe.
class TkwFontFace {
public:
  // nullptr when FreeType cannot read the data. OpenMemory keeps ABytes for the face's life.
  [[nodiscard]] static std::shared_ptr<TkwFontFace> OpenFile(const std::string& APath, int AIndex = 0);
  [[nodiscard]] static std::shared_ptr<TkwFontFace> OpenMemory(std::string ABytes, int AIndex = 0);
  ~TkwFontFace();
  TkwFontFace(const TkwFontFace&) = delete;
  TkwFontFace& operator=(const TkwFontFace&) = delete;

  // Design metrics in font units. Cell ascent and descent are the Windows ascent and
  // descent of the OS/2 table where there is one (what word processors lay out with),
  // else the face's ascender and −descender; line spacing is the face's line height.
  [[nodiscard]] int GetUnitsPerEm() const { return FUnitsPerEm; }
  [[nodiscard]] int GetCellAscent() const { return FCellAscent; }
  [[nodiscard]] int GetCellDescent() const { return FCellDescent; }
  [[nodiscard]] int GetLineSpacing() const { return FLineSpacing; }
  [[nodiscard]] const std::string& GetFamilyName() const { return FFamilyName; }
  [[nodiscard]] bool IsBold() const { return FBold; }
  [[nodiscard]] bool IsItalic() const { return FItalic; }
  [[nodiscard]] unsigned GetGlyphCount() const { return FGlyphCount; }

  // Glyph for a Unicode value, 0 (.notdef) when the face has none. Faces with only a
  // symbol character map are also tried at U+F000 + code, where such fonts keep their glyphs.
  [[nodiscard]] unsigned GetGlyphIndex(char32_t ACode) const;
  // Glyph for a PostScript glyph name, 0 when unknown or the face has no names.
  [[nodiscard]] unsigned GetGlyphIndexByName(std::string_view AName) const;

  // What the program itself says each single-byte code of a simple font shows: the glyph
  // its own encoding selects (a Type 1 or CFF font's built-in encoding, a TrueType font's
  // symbol (3,0) or Macintosh (1,0) map), with that glyph's name, its value in the face's
  // Unicode map and whether it draws nothing. Glyph 0 where the program has no such encoding
  // or the code selects nothing.
  struct TkwCodeGlyph {
    unsigned Glyph = 0;
    std::string Name;
    char32_t Unicode = 0;
    bool Blank = false;
  };
  [[nodiscard]] std::array<TkwCodeGlyph, 256> GetBuiltInEncoding() const;
  // The face's Unicode map read backwards: each mapped glyph's value (the first one mapped
  // to it); empty when the face has no Unicode map.
  [[nodiscard]] std::unordered_map<unsigned, char32_t> GetUnicodeByGlyph() const;

  // Unhinted advance width in font units.
  [[nodiscard]] int GetGlyphAdvance(unsigned AGlyph) const;
  // Advance of the glyph GetGlyphIndex(ACode) gives, cached per code.
  [[nodiscard]] int GetCharAdvance(char32_t ACode) const;
  // Sum of GetCharAdvance over a UTF-16 string (surrogate pairs are one character),
  // taking the face's lock once.
  [[nodiscard]] std::int64_t GetTextAdvance(std::u16string_view AText) const;

  // The glyph's outline in font units, y upwards, origin on the baseline; empty for a
  // glyph without contours (a space) or a glyph the face cannot load.
  [[nodiscard]] TkwPath2D GetGlyphPath(unsigned AGlyph) const;

  struct TkwImpl;
  struct TkwKey {
    explicit TkwKey() = default;
  };
  // For OpenFile and OpenMemory only (TkwKey cannot be made elsewhere).
  TkwFontFace(TkwKey, std::unique_ptr<TkwImpl> AImpl);

private:
  void ReadMetrics();
  unsigned GlyphIndexLocked(char32_t ACode) const;
  int GlyphAdvanceLocked(unsigned AGlyph) const;
  int CharAdvanceLocked(char32_t ACode) const;
  std::unordered_map<unsigned, char32_t> UnicodeByGlyphLocked(::FT_CharMapRec_* AMap) const;

  std::unique_ptr<TkwImpl> FImpl;
  mutable std::mutex FMutex;
  // Advances of BMP characters in pages of 256, filled on first use; -1 = not yet known.
  using TkwAdvancePage = std::array<std::int32_t, 256>;
  mutable std::array<std::unique_ptr<TkwAdvancePage>, 256> FBmpAdvances;
  mutable std::unordered_map<char32_t, std::int32_t> FOtherAdvances;
  int FUnitsPerEm = 1000;
  int FCellAscent = 0;
  int FCellDescent = 0;
  int FLineSpacing = 0;
  unsigned FGlyphCount = 0;
  bool FBold = false;
  bool FItalic = false;
  bool FSymbolMap = false;
  std::string FFamilyName;
};

}  // namespace qm
