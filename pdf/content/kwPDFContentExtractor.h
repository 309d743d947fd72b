#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "pdf/content/PDExportDevice.h"
#include "platform/Matrix2D.h"
#include "platform/Region.h"
#include "writer/kwWriterClasses.h"

namespace qm {

class TkwDocumentWriter;
class TkwFontFace;
class TkwPDFont;

// The device used for conversion: one AddChar per visible glyph and one AddImage per
// picture reach the formatter; paths only matter as clips. Glyphs outside the clip, with a
// rotated text matrix, or all of them when text extraction is off, produce no call.
class TkwPDFContentExtractor : public TkwPDExportDevice {
public:
  using TkwPageNotify = std::function<void(int APageNum)>;

  // AFormatter receives the glyphs (not owned; outlives the extractor). AInstalledFonts are
  // the system's font names in its order (not owned). Bit 0 of AContentFlags: text.
  TkwPDFContentExtractor(TkwDocumentWriter& AFormatter, std::uint8_t AContentFlags,
                         const std::vector<std::string>& AInstalledFonts);
  ~TkwPDFContentExtractor() override;

  // The parser's page notifications, fired at the end of StartPage and in EndPage.
  TkwPageNotify OnPageStart;
  TkwPageNotify OnPageEnd;

  // Forms and widget appearances are played so their text and images reach the output.
  bool PlayForms = true;

  bool CheckPageSlice(TkwPDPage*, double, double, int, bool, bool, int, int, int, int) override;
  void StartPage(int AnPage, TkwPDState& AState) override;
  void EndPage() override;
  void SaveState(TkwPDState& AState) override;
  void RestoreState(TkwPDState& AState) override;
  void UpdateCTM(TkwPDState& AState, const TkwPDMatrix& ACTM) override;
  void UpdateFillOpacity(TkwPDState& AState) override;
  void UpdateFont(TkwPDState& AState) override;
  void Stroke(TkwPDState&) override {}
  void Fill(TkwPDState&) override {}
  void EvenOddFill(TkwPDState&) override {}
  void Clip(TkwPDState& AState) override;
  void EvenOddClip(TkwPDState& AState) override;
  void ClipToStrokePath(TkwPDState& AState) override;
  void BeginStringOp(TkwPDState&) override { FNotFirstInOperator = false; }
  void EndStringOp(TkwPDState&) override {}
  void BeginString(TkwPDState&, const std::u16string&) override { FNotFirstInString = false; }
  void EndString(TkwPDState&) override {}
  void DrawChar(TkwPDState& AState, double AX, double AY, double ADx, double ADy, int ACode,
                std::string& ACharName) override;
  void DrawImage(TkwPDState& AState, TkwPDImage& AImage) override;
  void DrawFormXObject(TkwPDState& AState, TkwPDForm& AForm) override;

  // The system font description for a PDF font: the installed font whose space-free name
  // occurs in the cleaned font name (longest wins), style from the name and the font.
  [[nodiscard]] TFont MapSystemFont(const std::string& AFontName, bool ABold, bool AItalic,
                                    bool ASerif, bool AFixed);

  [[nodiscard]] static double PixelsPerPoint();

private:
  void AddClip(TkwPDState& AState, TkwFillRule ARule);
  void BuildSpaceFree();
  [[nodiscard]] TkwPointF ToPagePoints(const TkwPDState& AState, double AX, double AY) const;
  [[nodiscard]] TkwRectF MeasureGlyph(const TkwPDState& AState, double AX, double AY, int ACode);
  // The font-unit box of a character of the measuring face.
  [[nodiscard]] const TkwRectF* GlyphBoxOf(const TkwFontFace& AFace, char32_t ACode);
  // The output font of the glyphs of APdfFont, kept until the font changes.
  void UpdateGlyphFont(const TkwPDFont* APdfFont);

  TkwDocumentWriter& FFormatter;  // not owned
  std::uint8_t FContentFlags;
  const std::vector<std::string>& FInstalledFonts;  // not owned
  std::vector<std::string> FSpaceFree;
  bool FSpaceFreeBuilt = false;
  bool FArialUnicode = false;

  TkwMatrix2D FSurface;                    // user space (y flipped) to top-down pixels
  std::vector<TkwMatrix2D> FSurfaceStack;
  std::optional<TkwMatrix2D> FCTMCopy;
  std::optional<TkwRegion> FClip;
  // The clip region when it is one axis-aligned rectangle: a point strictly inside it
  // needs no region test.
  std::optional<TkwRectF> FClipRect;
  // The last fill colour of a glyph and its RGB value.
  std::optional<std::array<std::int32_t, 3>> FLastFill;
  TColor FLastFillColor{};
  double FPageWidth = 0, FPageHeight = 0;

  TFont FSystemFont;
  bool FSystemFontSet = false;
  TkwPDFont* FCurrentFont = nullptr;       // not owned; the font FSystemFont was made for
  std::shared_ptr<TkwFontFace> FMeasureFace;  // family measuring; null for embedded fonts
  bool FEmbedded = false;                  // measuring with the embedded-program branch
  // FSystemFont as the glyphs of FGlyphFontFor get it (size and colour set per glyph), and
  // the face that measures a glyph without an outline in it (found on first use).
  TFont FGlyphFont;
  const TkwPDFont* FGlyphFontFor = nullptr;
  bool FGlyphFontValid = false;
  std::shared_ptr<TkwFontFace> FExtentFace;
  bool FExtentFaceFound = false;
  // The surface with the text matrix applied, for the matrices it was made from: the
  // glyphs of a string share it.
  TkwMatrix2D FTextSurface, FTextSurfaceTm, FTextSurfaceOf;
  bool FTextSurfaceValid = false;
  std::array<double, 7> FGlyphSizeKey{};
  int FGlyphSize = 0;
  bool FGlyphSizeValid = false;
  // The glyph box's scale and baseline for a face, size and rise (the last ones asked for).
  const TkwFontFace* FGlyphMetricsFace = nullptr;
  double FGlyphMetricsSize = 0, FGlyphMetricsRise = 0, FGlyphBaseline = 0, FGlyphScale = 0;
  // Glyph boxes of single-byte codes for the last few measuring faces (faces are cached
  // for the whole run, so their addresses stay valid).
  struct TBoxEntry {
    TkwRectF Box;
    bool Empty = true;
    bool Known = false;
  };
  struct TBoxSlot {
    const TkwFontFace* Face = nullptr;
    std::vector<TBoxEntry> Boxes;
  };
  std::array<TBoxSlot, 4> FBoxSlots;
  std::size_t FBoxSlotNext = 0;
  TBoxSlot* FBoxSlot = nullptr;
  std::unordered_map<const TkwPDFont*, bool> FEmbeddedOk;  // programs FreeType can open

  bool FNotFirstInString = false;
  bool FNotFirstInOperator = false;
  int FPageNum = 0;
  int FFillOpacity = 255;
  bool FInPage = false;
};

}  // namespace qm
