#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// Splits PostScript-like text (CMap files and ToUnicode streams) into tokens.
// Whitespace and "%" comments separate tokens; "(…)" strings keep their parentheses and
// backslashes; "<…>" hex tokens drop the whitespace inside; "<<" and ">>" are tokens of
// their own; "[" and "]" are one-character tokens; anything else runs while the following
// bytes are regular. A token keeps at most 256 characters (the rest of it is skipped).
class TkwPSTokenizer {
public:
  explicit TkwPSTokenizer(std::string_view AData) : FData(AData) {}
  // False at the end of the data.
  [[nodiscard]] bool GetNextToken(std::string& AToken);

private:
  std::string_view FData;
  std::size_t FPos = 0;
};

// Codes FCIDStart..FCIDEnd map to FCode + (code − FCIDStart).
struct TkwCIDRange {
  std::int64_t FCIDStart = 0;
  std::int64_t FCIDEnd = 0;
  std::int64_t FCode = 0;
};

// The code FCID maps to FCode.
struct TkwCIDCode {
  std::int64_t FCID = 0;
  std::int64_t FCode = 0;
};

// Codes of ABytes bytes whose every byte lies between the matching bytes of Low and High.
struct TkwCodeSpaceRange {
  int FBytes = 1;
  std::uint32_t FLow = 0;
  std::uint32_t FHigh = 0;
};

// Supplies the bytes of a CMap named by "usecmap"; empty when there is no such CMap.
using TkwCMapLoader = std::function<std::string(std::string_view ACMapName)>;

// One parsed CMap or ToUnicode stream: its code space, its code-to-value ranges and single
// mappings. A CMap built on another one ("/Name usecmap") holds the other's mappings first,
// so that its own override them. Parsing never throws; damaged input gives fewer mappings.
class TkwPDCMapParser {
public:
  explicit TkwPDCMapParser(std::string_view AData, const TkwCMapLoader& ALoader = {});

  // Value of the last range (in file order) holding ACode, -1 when none does.
  [[nodiscard]] std::int64_t FindInRanges(std::int64_t ACode) const;
  // Value of the last single mapping of ACode, else FindInRanges(ACode).
  [[nodiscard]] std::int64_t MapCode(std::int64_t ACode) const;

  // The whole UTF-16 text of a ToUnicode mapping whose destination has several units (a
  // ligature's letters, a surrogate pair), when that mapping is the one MapCode decides;
  // empty otherwise. Valid while the parser lives.
  [[nodiscard]] std::u16string_view MapText(std::int64_t ACode) const;
  [[nodiscard]] bool HasTexts() const { return !FTexts.empty(); }

  // Length and value of the code at the start of ABytes (bytes 0..255 each), following the
  // code space ranges. A sequence no range holds takes the shortest code length. Without
  // code space ranges the length is that of the mapped source codes, else 1.
  struct TkwCodeMatch {
    int Bytes = 1;
    std::uint32_t Code = 0;
  };
  [[nodiscard]] TkwCodeMatch MatchCode(std::u16string_view ABytes) const;

  [[nodiscard]] bool HasCodeSpace() const { return !FCodeSpace.empty(); }
  [[nodiscard]] const std::string& GetRegistry() const { return FRegistry; }
  [[nodiscard]] const std::string& GetOrdering() const { return FOrdering; }
  [[nodiscard]] const std::string& GetSupplement() const { return FSupplement; }
  [[nodiscard]] int GetWMode() const { return FWMode; }
  [[nodiscard]] const std::string& GetUseCMap() const { return FUseCMap; }
  [[nodiscard]] const std::vector<TkwCIDRange>& GetCIDList() const { return FCIDList; }
  [[nodiscard]] const std::vector<TkwCIDCode>& GetCodeList() const { return FCodeList; }
  [[nodiscard]] const std::vector<TkwCodeSpaceRange>& GetCodeSpace() const { return FCodeSpace; }

private:
  TkwPDCMapParser(std::string_view AData, const TkwCMapLoader& ALoader, std::set<std::string>& AVisited,
                  int ADepth);
  void Parse(std::string_view AData, const TkwCMapLoader& ALoader, std::set<std::string>& AVisited, int ADepth);
  // The parts of a CMap, each read from the token after its "begin…" keyword to its end.
  void UseCMap(const std::string& AName, const TkwCMapLoader& ALoader, std::set<std::string>& AVisited,
               int ADepth);
  void ParseCodeSpaceRanges(TkwPSTokenizer& ATok);
  void ParseRanges(TkwPSTokenizer& ATok, bool ABf);
  // "lo hi [ v… ]": false when the section's end keyword came before "]".
  bool ParseRangeArray(TkwPSTokenizer& ATok, bool ABf, std::optional<std::int64_t> ALow, int ASrcBytes);
  void ParseChars(TkwPSTokenizer& ATok, bool ABf);
  // The mapping cap is reached: the rest of the data is ignored.
  [[nodiscard]] bool Full() const;
  void NoteSource(int ABytes);
  void Merge(const TkwPDCMapParser& ABase);
  void BuildIndex();

  std::string FOrdering;
  std::string FRegistry;
  std::string FSupplement;
  int FWMode = 0;
  std::string FUseCMap;
  std::vector<TkwCIDRange> FCIDList;
  std::vector<TkwCIDCode> FCodeList;
  std::vector<TkwCodeSpaceRange> FCodeSpace;
  int FSourceBytes = 0;  // longest hex source code of the mappings, in bytes
  struct TkwCodeText {
    std::int64_t Code;
    std::u16string Text;
  };
  std::vector<TkwCodeText> FTexts;  // destinations of two units or more; sorted by code

  // Lookup index: disjoint code intervals, each with the range that decides it.
  struct TkwSegment {
    std::int64_t Low;
    std::int64_t High;
    std::size_t Range;
  };
  std::vector<TkwSegment> FSegments;
  std::vector<TkwCIDCode> FSingles;  // sorted by FCID, one per code (the last mapping)
};

}  // namespace qm
