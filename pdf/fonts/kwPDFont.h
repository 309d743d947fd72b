#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "pdf/core/kwPDBaseObject.h"
#include "pdf/fonts/kwPDCMapParser.h"
#include "pdf/fonts/FontTypes.h"
#include "pdf/model/kwPDElement.h"
#include "platform/kwMatrix2D.h"

namespace qm {

// One decoded code of a shown string.
struct TkwPDNextChar {
  int Processed = 1;            // string elements consumed (at least 1)
  std::uint16_t Code = 0;       // the font's character value (Unicode, Symbol code, CID or glyph index)
  std::string_view CharName;    // glyph name (simple fonts); valid while the font lives
  double Dx = 0;                // advance in text-space units
  double Dy = 0;
  double Ox = 0;                // origin displacement (always 0)
  double Oy = 0;
  std::uint32_t CharCode = 0;   // the code as read from the string
  std::uint32_t CID = 0;        // composite fonts: the CID of CharCode
  std::uint16_t Unicode = 0;    // best Unicode value: ToUnicode, else glyph name or the
                                // collection's UCS2 map; 0 when unknown
  std::u16string_view UnicodeText;  // ToUnicode's whole text when it has several units
                                    // (Unicode is its first); valid while the font lives
};

// Base of every font read from a font dictionary. Built completely in the constructor and
// read-only afterwards, except the lazily read font program.
class TkwPDFont : public TkwPDElement {
public:
  // The font for a font dictionary, or nullptr when AFontDict is absent or has no Subtype.
  // ACMapPath is the document's CMap folder (composite fonts look predefined CMaps up there
  // first). AFontDict belongs to the document and outlives the font.
  [[nodiscard]] static std::unique_ptr<TkwPDFont> MakeFont(TkwPDDocument* AParentDoc,
                                                           TkwPDElement* AResource,
                                                           std::string_view ATag,
                                                           TkwPDDictionary* AFontDict,
                                                           std::string_view ACMapPath = {});

  [[nodiscard]] virtual bool IsCIDFont() const { return false; }
  [[nodiscard]] virtual TkwWritingMode WritingMode() const { return TkwWritingMode::wmHorizontal; }
  // Decodes the code at AIndex (0-based) of AStr, whose elements are the shown string's bytes
  // (or 16-bit codes of a hex string in a composite font). Returns 1 when a code was decoded,
  // 0 when the font cannot decode (composite font without a CMap). AOut.Processed ≥ 1 always.
  virtual int GetNextChar(std::u16string_view AStr, std::size_t AIndex, TkwPDNextChar& AOut) const;
  // Advance of a character code without decoding, text-space units.
  [[nodiscard]] virtual double GetCharWidth(std::uint32_t ACharCode) const;

  [[nodiscard]] const TkwPDCMapParser* GetToUnicode() const { return FToUnicode.get(); }
  // ToUnicode value of a code, or nothing when there is no map or it lacks the code.
  [[nodiscard]] std::optional<std::uint16_t> MapToUnicode(std::uint32_t ACode) const;

  [[nodiscard]] bool IsBold() const { return FIsBold || (FFlags & 0x40000) != 0; }
  [[nodiscard]] bool IsItalic() const { return FIsItalic || (FFlags & 64) != 0; }
  [[nodiscard]] bool IsSerif() const { return (FFlags & 2) != 0; }
  [[nodiscard]] bool IsSymbolic() const { return (FFlags & 4) != 0; }
  [[nodiscard]] bool IsFixedWidth() const { return (FFlags & 1) != 0; }
  [[nodiscard]] bool HasEmbeddedProgram() const { return FEmbededFontIndRef != nullptr; }

  // The decoded embedded font program (at most kMaxFontProgramBytes), read on first use and
  // kept; nullptr when the font has none or it cannot be read.
  [[nodiscard]] const std::string* GetEmbeddedFontStream() const;
  // The external font file FExtFontName names, read on first use; nullptr when absent.
  [[nodiscard]] const std::string* GetExtFontStream() const;

  [[nodiscard]] const std::string& GetTag() const { return FTag; }
  [[nodiscard]] TkwPDFontType GetFontType() const { return FFontType; }
  [[nodiscard]] const TkwMatrix2D& GetFontMatrix() const { return FFontMatrix; }
  [[nodiscard]] double GetAscent() const { return FAscent; }
  [[nodiscard]] double GetDescent() const { return FDescent; }
  [[nodiscard]] const TkwRect& GetFontBox() const { return FFontBox; }  // llx, lly, urx, ury
  [[nodiscard]] const std::string& GetName() const { return FName; }
  [[nodiscard]] const std::string& GetOrginalName() const { return FOrginalName; }
  [[nodiscard]] const std::string& GetEmbeddedFontName() const { return FEmbeddedFontName; }
  [[nodiscard]] const std::string& GetBaseFont() const { return FBaseFont; }
  [[nodiscard]] const std::string& GetEncodingName() const { return FEncodingName; }
  [[nodiscard]] const std::string& GetExtFontName() const { return FExtFontName; }
  void SetExtFontName(std::string AName) { FExtFontName = std::move(AName); }
  [[nodiscard]] std::int32_t GetFlags() const { return FFlags; }
  [[nodiscard]] int GetMissingWidth() const { return FMissingWidth; }
  [[nodiscard]] int GetItalicAngle() const { return FItalicAngle; }
  // The font descriptor's FontWeight (0 when absent) and FontFamily; whether there is one.
  [[nodiscard]] int GetFontWeight() const { return FFontWeight; }
  [[nodiscard]] const std::string& GetFontFamily() const { return FFontFamily; }
  [[nodiscard]] bool HasFontDescriptor() const { return FHasDescriptor; }
  // A composite font of a Chinese, Japanese or Korean character collection.
  [[nodiscard]] bool IsCJKCollection() const { return FCJKCollection; }
  [[nodiscard]] TkwPDFFontEmbeddingType GetEmbeddingType() const { return FEmbeddingType; }
  // The Unicode values name the glyphs where the codes do not (a TrueType font's Differences
  // names, the embedded program's own encoding): text is taken from them.
  [[nodiscard]] bool UnicodeOverCodes() const { return FUnicodeOverCodes; }

protected:
  TkwPDFont(TkwPDDocument* AParentDoc, TkwPDElement* AParentElement, TkwPDDictionary* AFontDict,
            std::string_view ATag);
  // Flags, embedded program and the type it implies, embedding type, missing width,
  // ascent, descent and box from ADict's FontDescriptor (ADict: the simple font's or the
  // descendant font's dictionary). ASubsetName is the name that may carry a subset tag.
  void ReadFontDescriptor(const TkwPDDictionary& ADict, std::string_view ASubsetName);
  void ReadToUnicode(const TkwPDDictionary& ADict);

  std::string FTag;
  TkwPDFontType FFontType = TkwPDFontType::UnknowType;
  TkwMatrix2D FFontMatrix;
  double FDescent = -0.35;
  TkwRect FFontBox;
  std::string FExtFontName;
  std::string FEmbeddedFontName;
  mutable std::unique_ptr<std::string> FExtFontStream;
  mutable std::unique_ptr<std::string> FEmbeddedFontStream;
  mutable bool FEmbeddedRead = false;
  mutable bool FExtRead = false;
  double FAscent = 0.95;
  std::string FOrginalName;
  std::int32_t FFlags = 2;
  std::string FName;
  int FMissingWidth = 0;
  std::unique_ptr<TkwPDBaseObject> FEmbededFontIndRef;  // a reference to the program stream
  bool FIsBold = false;
  bool FIsItalic = false;
  int FItalicAngle = 0;
  int FFontWeight = 0;
  std::string FFontFamily;
  bool FHasDescriptor = false;
  bool FCJKCollection = false;
  bool FUnicodeOverCodes = false;
  std::string FEncodingName;
  std::string FBaseFont = "Arial Unicode MS";
  TkwPDFFontEmbeddingType FEmbeddingType = TkwPDFFontEmbeddingType::etNone;
  std::unique_ptr<TkwPDCMapParser> FToUnicode;
};

// Makes the resource dictionaries of the document whose factories AFactories are create
// TkwPDFont objects for their Font entries, with the document's CMap folder.
struct TkwPDResourceFactories;
void RegisterFontFactory(TkwPDResourceFactories& AFactories);

// The decoded bytes of a stream, at most ALimit; empty when the stream cannot be read.
[[nodiscard]] std::string ReadStreamBytes(TkwPDStream& AStream, std::int64_t ALimit);

}  // namespace qm
