#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/kwObject.h"
#include "writer/kwStyleManager.h"
#include "writer/kwWriterClasses.h"

// The RTF element base, the text rules every element uses, and the header (font, colour,
// style and list tables).
namespace qm {

// The system ANSI code page the RTF declares.
inline constexpr int kAnsiCodePage = 1252;

// Source of the random numbers in list, style and shape identifiers. RTF readers only need
// them distinct; tests inject a fixed source so that the output is byte-stable.
class TkwRandomProvider {
public:
  virtual ~TkwRandomProvider() = default;
  // Called where the identifiers of a new list, style or shape are about to be drawn.
  virtual void Randomize() {}
  // A number in 0 .. ARange - 1 (0 when ARange <= 0).
  virtual int Random(int ARange) = 0;
};

// Seeded once from the clock; later Randomize calls do not reseed, so identifiers drawn
// within the same clock tick still differ.
[[nodiscard]] std::shared_ptr<TkwRandomProvider> MakeClockRandomProvider();
// A fixed sequence, the same in every run.
[[nodiscard]] std::shared_ptr<TkwRandomProvider> MakeFixedRandomProvider(std::uint32_t ASeed = 1);

// Appends the RTF form of a UTF-16 text: code units below 256 as one byte ("\", "{", "}"
// escaped), every other unit as "\u" signed value "?".
void AppendEscaped(std::string& AOut, std::u16string_view AText);
// AppendEscaped a character at a time, without its quick way for plain text.
void AppendEscapedByChar(std::string& AOut, std::u16string_view AText);
[[nodiscard]] std::string EscapeText(std::u16string_view AText);
void AppendInt(std::string& AOut, std::int64_t AValue);
// A native length as twips.
inline void AppendTwips(std::string& AOut, double ANative) { AppendInt(AOut, NativeToTwips(ANative)); }
// A UTF-8 name in the 8-bit code page (Latin-1 range; anything else becomes '?').
[[nodiscard]] std::string Utf8ToAnsi(std::string_view AText);
[[nodiscard]] std::u16string Utf8ToUtf16(std::string_view AText);

inline constexpr std::string_view kCRLF = "\r\n";

// Base of every element of the RTF tree.
class TkwRTFElement : public TkwObject {
public:
  // 1 header, 2 document area, 3 section, 4 paragraph, 5 picture, 8 shape, 9 column break;
  // 0 for the others.
  [[nodiscard]] virtual std::uint8_t GetKind() const { return 0; }
  // Appends the element's RTF text.
  virtual void Write(std::string& AOut) { (void)AOut; }
};
using TkwRTFElements = std::vector<std::unique_ptr<TkwRTFElement>>;

class TkwRTFHeader;

// Levels of every list: the same numbering at each.
inline constexpr int kLevelsPerList = 9;

// One list of the list table: nine levels of the same numbering.
class TkwRTFList final : public TkwObject {
public:
  int StartAt = 1;
  std::string ListName;         // "ls1", "ls2", ...
  std::uint8_t Follow = 0;      // \levelfollow
  std::uint8_t NumberFormat = 0;  // \levelnfc; 23 is a bullet
  std::uint8_t Alignment = 0;   // 0 left, 1 right, 2 centre, 3 justified
  char16_t BulletChar = 0;
  char16_t LabelClose = u'.';   // ends each number's label; 0 for none
  int BulletFontIndex = 0;
  // \listid and \listtemplateid: the list's place in the table, counted from 1, so
  // that one input always gives the same file.
  int ListId = 0;

  // The list's entry of the list table.
  void Write(std::string& AOut) const;
  // Its entry of the list override table, which gives it the name paragraphs use.
  void WriteOverride(std::string& AOut) const;
};

// The character formatting words shared by styles and runs: font, colour, size and the
// bold, italic, strike-out and underline switches, each written on or off.
void AppendCharFormat(std::string& AOut, int AFontIndex, int AColorIndex, int ASize,
                      TFontStyles AStyle);

class TkwRTFHeader final : public TkwRTFElement {
public:
  // AStyles is the document's, borrowed: the document outlives its header.
  TkwRTFHeader(TkwStyleManager& AStyles, std::shared_ptr<TkwRandomProvider> ARandom);
  [[nodiscard]] std::uint8_t GetKind() const override { return 1; }
  void Write(std::string& AOut) override;

  // Position of (name, charset) in the font table, added when absent.
  int FontIndex(const TFont& AFont);
  int FontIndex(std::string_view AName, std::uint8_t ACharset);
  // Position + 1 of the colour in the colour table, added when absent.
  int ColorIndex(TColor AColor);
  // Adds the style (kind 4) and registers its font and colour; returns the style index.
  int AddStyle(const TFont& AFont, TColor AColor, std::string_view AName);
  int AddBulletList(const TFont& AFont, char16_t ALevelChar, std::uint8_t ANumberFormat,
                    std::uint8_t AAlignment, std::uint8_t AFollow, int AStartAt = 1);
  int AddNumberList(std::uint8_t ANumberFormat, int AStartAt, std::uint8_t AAlignment,
                    std::uint8_t AFollow, char16_t ALabelClose = u'.');

  [[nodiscard]] int GetFontCount() const { return static_cast<int>(FFonts.size()); }
  [[nodiscard]] int GetColorCount() const { return static_cast<int>(FColors.size()); }
  [[nodiscard]] int GetListCount() const { return static_cast<int>(FLists.size()); }
  [[nodiscard]] const TkwRTFList& ListAt(int AIndex) const { return *FLists.at(static_cast<std::size_t>(AIndex)); }
  [[nodiscard]] TkwStyleManager& GetStyleManager() { return *FStyles; }
  [[nodiscard]] TkwRandomProvider& GetRandom() { return *FRandom; }
  void SetRandom(std::shared_ptr<TkwRandomProvider> ARandom) { FRandom = std::move(ARandom); }
  // Seconds since 1970 (UTC) written as the document's creation time; without one the
  // header has no information group, and the file depends on its input alone.
  void SetCreationTime(std::optional<std::int64_t> ASeconds) { FCreationTime = ASeconds; }

private:
  struct TFontEntry {
    std::string Name;  // 8-bit
    std::uint8_t Charset;
  };
  std::vector<TFontEntry> FFonts;
  std::vector<TColor> FColors;
  std::vector<std::unique_ptr<TkwRTFList>> FLists;
  TkwStyleManager* FStyles;  // not owned
  std::shared_ptr<TkwRandomProvider> FRandom;
  int FLastFont = -1;  // the run before usually has the same font
  std::optional<std::int64_t> FCreationTime;
  void WriteInfo(std::string& AOut) const;
};

}  // namespace qm
