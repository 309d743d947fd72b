#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A small RTF reader for tests: it parses groups, control words and text into a tree and
// answers what a reader of the document sees (text, paragraphs and runs, table rows and
// cells, columns, list references, pictures). Text comes out as UTF-8.
namespace qm::rtftest {

struct TRtfNode {
  enum class TKind : std::uint8_t { Group, Word, Symbol, Text };
  TKind Kind = TKind::Text;
  std::string Word;  // control word or symbol without the backslash
  bool HasParam = false;
  int Param = 0;
  std::string Text;  // UTF-8 for text nodes
  std::vector<TRtfNode> Children;

  [[nodiscard]] bool IsGroup() const { return Kind == TKind::Group; }
  // The first control word of a group, skipping "\*" ("" when none).
  [[nodiscard]] std::string Destination() const;
  [[nodiscard]] bool IsIgnorable() const;  // a group opened by "\*"
};

struct TRtfRun {
  std::string Text;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool Strike = false;
  int Font = 0;
  int HalfPoints = 24;
  int Color = 0;
};

struct TRtfParagraph {
  std::vector<TRtfRun> Runs;
  bool InTable = false;
  int List = 0;  // the \ls number, 0 when none
  [[nodiscard]] std::string Text() const;
};

struct TRtfPicture {
  std::string Blip;   // "pngblip", "jpegblip", "emfblip", "wmetafile" ...
  std::string Bytes;  // the data decoded from hexadecimal
  int GoalWidth = 0;  // \picwgoal, twips
  int GoalHeight = 0;
};

class TRtfDocument {
public:
  // Parses the bytes; unbalanced braces are tolerated and counted.
  static TRtfDocument Parse(std::string_view ABytes);

  [[nodiscard]] const TRtfNode& Root() const { return FRoot; }
  [[nodiscard]] int UnbalancedBraces() const { return FUnbalanced; }

  // The visible text: paragraphs end in "\n", cells in "\t", tabs as "\t"; the tables of
  // the header, shape properties, drawing-object results and pictures are not text.
  [[nodiscard]] std::string PlainText() const;
  // The text split at white space.
  [[nodiscard]] std::vector<std::string> Words() const;
  [[nodiscard]] std::vector<TRtfParagraph> Paragraphs() const;

  // Number of control words of that name anywhere in the document.
  [[nodiscard]] int CountWord(std::string_view AWord) const;
  // Parameters of every occurrence of a control word, in document order.
  [[nodiscard]] std::vector<int> WordParams(std::string_view AWord) const;
  [[nodiscard]] int RowCount() const { return CountWord("trowd"); }
  [[nodiscard]] int CellCount() const { return CountWord("cell"); }
  [[nodiscard]] std::vector<int> Cols() const { return WordParams("cols"); }
  // \ls references of paragraphs (not the list table's own names).
  [[nodiscard]] std::vector<int> ListReferences() const;
  [[nodiscard]] std::vector<TRtfPicture> Pictures() const;

private:
  TRtfNode FRoot;
  int FUnbalanced = 0;
};

// ARtf with the list and shape ids, which every conversion draws anew, made equal, so that
// two conversions of one file compare byte for byte.
std::string WithIdsMadeEqual(const std::string& ARtf);

// Code page 1252 byte to UTF-8.
std::string Cp1252ToUtf8(unsigned char AByte);
void AppendUtf8(std::string& AOut, std::uint32_t ACodePoint);

}  // namespace qm::rtftest
