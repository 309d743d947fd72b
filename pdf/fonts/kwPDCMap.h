#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/kwObject.h"
#include "pdf/fonts/kwPDCMapParser.h"
#include "pdf/fonts/FontTypes.h"

namespace qm {

// Where Debian's poppler-data keeps Adobe's CMap resources, one folder per collection.
inline constexpr std::string_view kSystemCMapRoot = "/usr/share/poppler/cMap";

// The file for a CMap name: ACMapPath + name when that file exists, else the first
// <kSystemCMapRoot>/<collection>/<name>, trying the folder of AHintCollection ("Adobe-Japan1")
// first and then every collection folder in name order. Empty when none exists or the name
// could leave the folder (a "/", a leading "." or a NUL). ACMapPath may lack its final "/".
[[nodiscard]] std::string FindCMapFile(std::string_view AName, std::string_view ACMapPath,
                                       std::string_view AHintCollection = {});

// The bytes of a CMap file, at most kMaxCMapBytes; empty when it cannot be read.
[[nodiscard]] std::string ReadCMapFile(const std::string& APath);

// The parsed CMap file APath (with its usecmap chain looked up as FindCMapFile does with
// ACMapPath and AHintCollection), or nullptr when it cannot be read. Parsed files are kept
// per process (up to 64), because one file serves every font of a collection and parsing
// a UCS2 map costs milliseconds. Thread-safe.
[[nodiscard]] std::shared_ptr<const TkwPDCMapParser> LoadCMapFile(const std::string& APath,
                                                                  std::string_view ACMapPath,
                                                                  std::string_view AHintCollection);

// The CMap of one composite font: code-to-CID map (none for Identity) and the collection's
// CID-to-Unicode map when one is found.
class TkwPDCMap final : public TkwObject {
public:
  // An embedded CMap stream (ABytes already decoded). A "usecmap" inside is looked up like
  // a predefined CMap. The collection's UCS2 map is loaded as for predefined CMaps.
  [[nodiscard]] static std::unique_ptr<TkwPDCMap> MakeCMapFromStream(std::string_view ABytes,
                                                                     std::string_view aCollection,
                                                                     std::string_view acMapName,
                                                                     std::string_view acMapPath = {});
  // A predefined CMap by name, or an Identity CMap ("Identity", "Identity-H", "Identity-V");
  // nullptr when the name is neither Identity nor found.
  // aCollection is Registry-Ordering-UCS2 of the font.
  [[nodiscard]] static std::unique_ptr<TkwPDCMap> MakeCMap(std::string_view aCollection,
                                                           std::string_view acMapName,
                                                           std::string_view acMapPath);

  // Decodes the code at AIndex (0-based) of a shown string. Elements are the string's bytes,
  // or (hex strings packed in pairs) 16-bit codes: an element above 0xFF is one whole
  // two-byte code. Byte elements are consumed as the code space ranges say (one to four).
  // AProcessed gets the elements consumed (at least 1), ACharCode the code read. Returns the
  // CID, or with AIsEmbeded false and a UCS2 map, the CID's Unicode value (0 when unmapped).
  [[nodiscard]] std::uint16_t GetCID(std::u16string_view AStr, std::size_t AIndex, int& AProcessed,
                                     bool AIsEmbeded, std::uint32_t* ACharCode = nullptr) const;
  // The CID of a character code, without the Unicode step; 0 (notdef) when unmapped.
  [[nodiscard]] std::uint32_t CodeToCID(std::uint32_t ACode) const;
  // Unicode of a CID through the collection's UCS2 map, 0 when unknown.
  [[nodiscard]] std::uint16_t CIDToUnicode(std::uint32_t ACID) const;

  [[nodiscard]] const std::string& GetCMapName() const { return FcMapName; }
  [[nodiscard]] const std::string& GetCollection() const { return FCollection; }
  [[nodiscard]] TkwWritingMode GetWMode() const { return FWMode; }
  [[nodiscard]] bool IsIdentity() const { return FCMapParser == nullptr; }
  [[nodiscard]] const TkwPDCMapParser* GetCMapParser() const { return FCMapParser.get(); }
  [[nodiscard]] const TkwPDCMapParser* GetUCSParser() const { return FUCSParser.get(); }

private:
  void LoadUCS(std::string_view ACMapPath);

  std::string FcMapName;
  std::string FCollection;
  TkwWritingMode FWMode = TkwWritingMode::wmHorizontal;
  // Parsed CMap files are shared between fonts (they are immutable); see LoadCMapFile.
  std::shared_ptr<const TkwPDCMapParser> FCMapParser;
  std::shared_ptr<const TkwPDCMapParser> FUCSParser;
};

}  // namespace qm
