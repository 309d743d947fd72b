#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "base/Font.h"
#include "extract/kwGlyphMeasurer.h"
#include "extract/kwSystemFontMap.h"
#include "formatter/kwFormatterInput.h"
#include "pdf/content/kwPDExportDevice.h"
#include "platform/kwMatrix2D.h"
#include "platform/kwRegion.h"

namespace qm {

class TkwDiagnostics;
class TkwPDFont;

// The device used for conversion: one glyph record per visible glyph, one picture record
// per picture and one path record per painted path reach the formatter's input port. Glyphs
// outside the clip, or all of them when text extraction is off, produce no record. A line
// of rotated text (chart labels, a vertical caption) reaches the formatter as one record:
// where it stands, and its glyphs laid upright as one line read in its own direction,
// centred where the rotated line stood.
class TkwPDFContentExtractor : public TkwPDExportDevice {
public:
  using TkwPageNotify = std::function<void(int APageNum)>;

  // AFormatter receives the records (not owned; outlives the extractor). AInstalledFonts
  // are the system's font names in its order (not owned). Bit 0 of AContentFlags: text.
  TkwPDFContentExtractor(TkwFormatterInput& AFormatter, std::uint8_t AContentFlags,
                         const std::vector<std::string>& AInstalledFonts);
  ~TkwPDFContentExtractor() override;

  // The parser's page notifications, fired at the end of StartPage and in EndPage.
  TkwPageNotify OnPageStart;
  TkwPageNotify OnPageEnd;

  // Forms and widget appearances are played so their text and images reach the output.
  bool PlayForms = true;
  // Where fonts shown in a font of their class are noted (not owned; may be null).
  void SetDiagnostics(TkwDiagnostics* ADiag) { FDiag = ADiag; }

  bool CheckPageSlice(TkwPDPage*, double, double, int, bool, bool, int, int, int, int) override;
  void StartPage(int AnPage, TkwPDState& AState) override;
  void EndPage() override;
  void SaveState(TkwPDState& AState) override;
  void RestoreState(TkwPDState& AState) override;
  void UpdateCTM(TkwPDState& AState, const TkwPDMatrix& ACTM) override;
  void UpdateFillOpacity(TkwPDState& AState) override;
  void UpdateFont(TkwPDState& AState) override;
  void Stroke(TkwPDState& AState) override { PaintPath(AState, false, false, true); }
  void Fill(TkwPDState& AState) override { PaintPath(AState, true, false, false); }
  void EvenOddFill(TkwPDState& AState) override { PaintPath(AState, true, true, false); }
  void PatternFill(TkwPDState& AState, bool AEvenOdd, const std::array<std::int32_t, 3>* AAverageRGB) override;
  void ShadingFill(TkwPDState& AState, const std::array<std::int32_t, 3>* AAverageRGB) override;
  void Clip(TkwPDState& AState) override;
  void EvenOddClip(TkwPDState& AState) override;
  void ClipToStrokePath(TkwPDState& AState) override;
  void BeginStringOp(TkwPDState&) override { FNotFirstInOperator = false; }
  void EndStringOp(TkwPDState&) override {}
  void BeginString(TkwPDState&, const std::u16string&) override {
    FNotFirstInString = false;
    FInString = true;
    FStringFactsValid = false;
  }
  void EndString(TkwPDState&) override {
    FInString = false;
    FStringFactsValid = false;
  }
  void DrawChar(TkwPDState& AState, double AX, double AY, double ADx, double ADy, int ACode,
                std::string& ACharName) override;
  void DrawImage(TkwPDState& AState, TkwPDImage& AImage) override;
  void DrawFormXObject(TkwPDState& AState, TkwPDForm& AForm) override;

  // The system font description for a PDF font (see TkwSystemFontMap::Map).
  [[nodiscard]] TFont MapSystemFont(const std::string& AFontName, bool ABold, bool AItalic,
                                    bool ASerif, bool AFixed) {
    return FFontMap.Map(AFontName, ABold, AItalic, ASerif, AFixed);
  }

private:
  // Drawing: every painted path goes to the formatter with its paint, clip and place.
  void PaintPath(TkwPDState& AState, bool AFill, bool AEvenOdd, bool AStroke);
  // The path record of the current path in page points; false when it draws nothing
  // that can be seen or kept (no segment, NaN or huge coordinates, clipped away).
  bool BuildPathRecord(const TkwPDState& AState, TkwPathRecord& ARecord) const;
  // A filled area of one colour (a shading, a pattern) over the record's outline.
  void HandOverPath(TkwPathRecord& ARecord);
  void NarrowPathClip(const TkwPDState& AState);
  [[nodiscard]] TkwPoint ToTopDownPoints(const TkwPDState& AState, double AX, double AY) const;

  void AddClip(TkwPDState& AState, TkwFillRule ARule);
  [[nodiscard]] TkwPoint ToPagePoints(const TkwPDState& AState, double AX, double AY) const;
  // The output font of the glyphs of APdfFont, kept until the font changes.
  void UpdateGlyphFont(const TkwPDFont* APdfFont);
  // The gap, in text-space units of a 1-unit font, that parts two words in APdfFont.
  [[nodiscard]] double WordGapEm(const TkwPDFont& APdfFont);
  // Rotated text: glyphs whose baseline runs along (AUx, AUy) in page points (y up) are
  // gathered into lines, each handed over when it ends.
  void AddRotatedGlyph(const TkwGlyphRecord& AGlyph, double AUx, double AUy);
  void FlushRotated();

  struct TRotatedGlyph {
    TkwGlyphRecord Glyph;
    TFont Font;          // the glyph's font (Glyph.Font points at the font being shown)
    double Along = 0;    // from the line's first origin, along the baseline
    double Across = 0;   // and across it (upwards for upright text)
  };
  std::vector<TRotatedGlyph> FRotated;  // the rotated line being read
  TkwPoint FRotOrigin;                  // its first glyph's origin, page points (y up)
  double FRotUx = 1, FRotUy = 0;        // its baseline's direction
  double FRotEnd = 0;                   // where its last advance ends, along the baseline
  double FRotSize = 0;                  // its first glyph's size
  std::vector<TkwRect> FRotPlaced;      // this page's upright-laid lines, page points (y up)
  // What every glyph of a string shares: the font, the output font's size and colour, the
  // measurer's matrices, the scale of advances and the word gap. Inside a string only the
  // text position moves, so the glyphs after the first reuse them.
  void PrepareString(TkwPDState& AState);

  TkwFormatterInput& FFormatter;  // not owned
  std::uint8_t FContentFlags;
  TkwSystemFontMap FFontMap;
  TkwGlyphMeasurer FMeasurer;

  TkwMatrix2D FSurface;                    // user space (y flipped) to top-down pixels
  std::vector<TkwMatrix2D> FSurfaceStack;
  std::optional<TkwMatrix2D> FCTMCopy;
  // The clip region. A restore makes the whole page visible again by sharing FPageClip, so
  // save and restore build nothing; a clip narrows a region of its own, copying the shared
  // one first.
  std::shared_ptr<TkwRegion> FClip;
  std::shared_ptr<TkwRegion> FPageClip;
  // The clip region when it is one axis-aligned rectangle: a point strictly inside it
  // needs no region test.
  std::optional<TkwRect> FClipRect;
  // The last fill colour of a glyph and its RGB value.
  std::optional<std::array<std::int32_t, 3>> FLastFill;
  TColor FLastFillColor{};
  double FPageWidth = 0, FPageHeight = 0;

  TFont FSystemFont;
  bool FSystemFontSet = false;
  TkwPDFont* FCurrentFont = nullptr;       // not owned; the font FSystemFont was made for
  // FSystemFont as the glyphs of FGlyphFontFor get it (size and colour set per glyph).
  TFont FGlyphFont;
  const TkwPDFont* FGlyphFontFor = nullptr;
  bool FGlyphFontValid = false;
  std::array<double, 7> FGlyphSizeKey{};
  int FGlyphSize = 0;
  bool FGlyphSizeValid = false;
  std::unordered_map<const TkwPDFont*, bool> FEmbeddedOk;  // programs FreeType can open
  std::unordered_set<const TkwPDFont*> FNotInstalledNoted;  // each such font is noted once
  std::unordered_map<const TkwPDFont*, double> FWordGaps;   // WordGapEm of each font
  const TkwPDFont* FWordGapFont = nullptr;                   // the last one asked for
  double FWordGap = 0;
  std::unordered_map<const TkwPDFont*, TFont> FMappedFonts;  // the system font of each font
  TkwDiagnostics* FDiag = nullptr;  // not owned

  // The facts PrepareString takes, kept while FInString (between BeginString and
  // EndString); a glyph shown outside a string takes them anew.
  bool FInString = false;
  bool FStringFactsValid = false;
  bool FPreferUnicode = false;   // the state's Unicode value is the character
  bool FRotatedText = false;     // the string runs along a rotated baseline
  double FDirX = 1, FDirY = 0;   // its baseline's direction in page points (y up)
  double FXScale = 0;            // text space to page points along the baseline
  double FWordGapPt = 0;
  bool FNotFirstInString = false;
  bool FNotFirstInOperator = false;
  int FPageNum = 0;
  int FFillOpacity = 255;
  bool FInPage = false;

  // Drawing: the clip's bounding box in top-down page points, saved with the state.
  TkwRect FPathClip;
  std::vector<TkwRect> FPathClipStack;
  std::size_t FPathCount = 0;  // paths handed over on this page
  bool FPathCapNoted = false;
};

}  // namespace qm
