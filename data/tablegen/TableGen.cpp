// Build-time generator: reads the published tables in data/ and writes them as constexpr
// C++ arrays (generated/data/Tables.cpp), matching the declarations in data/Tables.h.
//
//   qm_tablegen <data folder> <output .cpp>
//
// Malformed input stops the build (exit 1) rather than producing a table with holes.

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <cctype>
#include <type_traits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct TkwGlyphEntry {
  std::string Name;
  std::vector<unsigned long> Codes;
};

struct TkwAfmGlyphEntry {
  std::string Name;
  int Width = 0;
  int Code = -1;
};

struct TkwAfmEntry {
  std::string FontName, FamilyName, EncodingScheme;
  int Ascender = 0, Descender = 0, CapHeight = 0, XHeight = 0;
  std::array<int, 4> BBox{};
  std::string ItalicAngle = "0";
  bool FixedPitch = false;
  std::vector<TkwAfmGlyphEntry> Glyphs;
};

[[noreturn]] void Fail(const std::string& AWhere, const std::string& AWhat) {
  throw std::runtime_error(AWhere + ": " + AWhat);
}

std::vector<std::string> ReadLines(const std::string& APath) {
  std::ifstream in(APath, std::ios::binary);
  if (!in) Fail(APath, "cannot open");
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

template <typename T>
T ParseNumber(std::string_view AText, int ABase, const std::string& AWhere) {
  T value{};
  std::from_chars_result r;
  if constexpr (std::is_floating_point_v<T>) {
    r = std::from_chars(AText.data(), AText.data() + AText.size(), value);
  } else {
    r = std::from_chars(AText.data(), AText.data() + AText.size(), value, ABase);
  }
  auto [ptr, ec] = r;
  if (ec != std::errc() || ptr != AText.data() + AText.size()) Fail(AWhere, "bad number '" + std::string(AText) + "'");
  return value;
}

std::vector<std::string> Split(std::string_view AText) {
  std::vector<std::string> out;
  std::istringstream in{std::string(AText)};
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

// "name;XXXX XXXX" lines; '#' starts a comment line.
std::vector<TkwGlyphEntry> ReadGlyphList(const std::string& APath) {
  std::vector<TkwGlyphEntry> out;
  int n = 0;
  for (const auto& line : ReadLines(APath)) {
    ++n;
    if (line.empty() || line[0] == '#') continue;
    const std::string where = APath + ":" + std::to_string(n);
    const auto semi = line.find(';');
    if (semi == std::string::npos || semi == 0) Fail(where, "expected name;codes");
    TkwGlyphEntry e{line.substr(0, semi), {}};
    for (const auto& hex : Split(std::string_view(line).substr(semi + 1))) {
      e.Codes.push_back(ParseNumber<unsigned long>(hex, 16, where));
    }
    if (e.Codes.empty() || e.Codes.size() > 4) Fail(where, "expected one to four code points");
    out.push_back(std::move(e));
  }
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
  for (std::size_t i = 1; i < out.size(); ++i) {
    if (out[i].Name == out[i - 1].Name) Fail(APath, "duplicate name " + out[i].Name);
  }
  return out;
}

std::array<std::string, 256> ReadEncoding(const std::string& APath) {
  std::array<std::string, 256> table;
  int n = 0;
  for (const auto& line : ReadLines(APath)) {
    ++n;
    if (line.empty() || line[0] == '#') continue;
    const std::string where = APath + ":" + std::to_string(n);
    const auto tab = line.find('\t');
    if (tab == std::string::npos) Fail(where, "expected code<TAB>name");
    const int code = ParseNumber<int>(std::string_view(line).substr(0, tab), 10, where);
    if (code < 0 || code > 255) Fail(where, "code out of range");
    table[static_cast<std::size_t>(code)] = line.substr(tab + 1);
  }
  return table;
}

TkwAfmEntry ReadAfm(const std::string& APath) {
  TkwAfmEntry f;
  int n = 0;
  bool inChars = false;
  for (const auto& line : ReadLines(APath)) {
    ++n;
    const std::string where = APath + ":" + std::to_string(n);
    const auto w = Split(line);
    if (w.empty()) continue;
    if (w[0] == "StartCharMetrics") {
      inChars = true;
      continue;
    }
    if (w[0] == "EndCharMetrics") {
      inChars = false;
      continue;
    }
    if (inChars) {
      // C code ; WX width ; N name ; B ... ; L ... ; each field's first word is its key.
      TkwAfmGlyphEntry g;
      bool hasWidth = false;
      std::istringstream fields(line);
      for (std::string field; std::getline(fields, field, ';');) {
        const auto fw = Split(field);
        if (fw.size() < 2) continue;
        if (fw[0] == "C") g.Code = ParseNumber<int>(fw[1], 10, where);
        if (fw[0] == "WX") {
          g.Width = ParseNumber<int>(fw[1], 10, where);
          hasWidth = true;
        }
        if (fw[0] == "N") g.Name = fw[1];
      }
      if (g.Name.empty() || !hasWidth) Fail(where, "glyph without name or width");
      if (g.Code > 255) Fail(where, "code out of range");
      f.Glyphs.push_back(std::move(g));
      continue;
    }
    auto intAt = [&](std::size_t i) {
      if (i >= w.size()) Fail(where, "missing value");
      return ParseNumber<int>(w[i], 10, where);
    };
    if (w[0] == "FontName" && w.size() > 1) f.FontName = w[1];
    else if (w[0] == "FamilyName" && w.size() > 1) f.FamilyName = line.substr(line.find(' ') + 1);
    else if (w[0] == "EncodingScheme" && w.size() > 1) f.EncodingScheme = w[1];
    else if (w[0] == "Ascender") f.Ascender = intAt(1);
    else if (w[0] == "Descender") f.Descender = intAt(1);
    else if (w[0] == "CapHeight") f.CapHeight = intAt(1);
    else if (w[0] == "XHeight") f.XHeight = intAt(1);
    else if (w[0] == "IsFixedPitch" && w.size() > 1) f.FixedPitch = w[1] == "true";
    else if (w[0] == "ItalicAngle" && w.size() > 1) {
      (void)ParseNumber<double>(w[1], 10, where);
      f.ItalicAngle = w[1];
    } else if (w[0] == "FontBBox") {
      for (std::size_t i = 0; i < 4; ++i) f.BBox[i] = intAt(i + 1);
    }
  }
  if (f.FontName.empty() || f.Glyphs.empty()) Fail(APath, "no FontName or no glyphs");
  std::sort(f.Glyphs.begin(), f.Glyphs.end(), [](const auto& a, const auto& b) { return a.Name < b.Name; });
  for (std::size_t i = 1; i < f.Glyphs.size(); ++i) {
    if (f.Glyphs[i].Name == f.Glyphs[i - 1].Name) Fail(APath, "duplicate glyph " + f.Glyphs[i].Name);
  }
  return f;
}

std::string Quote(std::string_view AText) {
  std::string out = "\"";
  for (char c : AText) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
      Fail("table", "non-ASCII glyph name");
    }
    out += c;
  }
  return out + "\"";
}

void WriteGlyphList(std::ostream& AOut, const char* AName, const std::vector<TkwGlyphEntry>& AList) {
  AOut << "constexpr TkwGlyphUnicode " << AName << "[] = {\n";
  for (const auto& e : AList) {
    AOut << "    {" << Quote(e.Name) << ", {";
    for (std::size_t i = 0; i < 4; ++i) {
      AOut << (i ? ", " : "") << "0x" << std::hex << (i < e.Codes.size() ? e.Codes[i] : 0) << std::dec;
    }
    AOut << "}, " << e.Codes.size() << "},\n";
  }
  AOut << "};\n\n";
}

int Flags(const TkwAfmEntry& AFont) {
  int flags = 0;
  if (AFont.FixedPitch) flags |= 1;
  if (AFont.FamilyName == "Times" || AFont.FamilyName == "Courier") flags |= 2;
  flags |= AFont.EncodingScheme == "FontSpecific" ? 4 : 32;
  if (ParseNumber<double>(AFont.ItalicAngle, 10, AFont.FontName) != 0) flags |= 64;
  return flags;
}

std::string Identifier(std::string_view AName) {
  std::string out;
  for (char c : AName) out += (std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
  return out;
}

void Generate(const std::string& ADataDir, const std::string& AOutPath) {
  const auto agl = ReadGlyphList(ADataDir + "/agl/glyphlist.txt");
  const auto zapf = ReadGlyphList(ADataDir + "/agl/zapfdingbats.txt");
  static const char* const kEncodings[] = {"StandardEncoding", "WinAnsiEncoding", "MacRomanEncoding",
                                           "MacExpertEncoding", "SymbolEncoding", "ZapfDingbatsEncoding"};
  std::vector<std::array<std::string, 256>> encodings;
  for (const char* e : kEncodings) encodings.push_back(ReadEncoding(ADataDir + "/encodings/" + e + ".txt"));
  // The engine's font decoding names Mac Roman 127 "UL" (the file leaves it out).
  if (encodings[2][127].empty()) encodings[2][127] = "UL";

  static const char* const kFonts[] = {
      "Courier", "Courier-Bold", "Courier-BoldOblique", "Courier-Oblique", "Helvetica", "Helvetica-Bold",
      "Helvetica-BoldOblique", "Helvetica-Oblique", "Symbol", "Times-Bold", "Times-BoldItalic",
      "Times-Italic", "Times-Roman", "ZapfDingbats"};
  std::vector<TkwAfmEntry> fonts;
  for (const char* f : kFonts) {
    fonts.push_back(ReadAfm(ADataDir + "/afm/" + f + ".afm"));
    if (fonts.back().FontName != f) Fail(f, "FontName differs from the file name");
  }
  std::sort(fonts.begin(), fonts.end(), [](const auto& a, const auto& b) { return a.FontName < b.FontName; });

  std::ostringstream out;
  out << "// Generated by qm_tablegen from data/; do not edit.\n"
         "#include \"data/Tables.h\"\n\nnamespace qm::data {\nnamespace {\n\n";
  WriteGlyphList(out, "kAdobeGlyphList", agl);
  WriteGlyphList(out, "kZapfDingbatsGlyphList", zapf);
  out << "constexpr TkwEncodingTable kEncodings[] = {\n";
  for (const auto& table : encodings) {
    out << "    {{";
    for (std::size_t c = 0; c < 256; ++c) {
      out << (c ? "," : "") << (c % 8 == 0 ? "\n      " : " ") << Quote(table[c]);
    }
    out << "}},\n";
  }
  out << "};\n\n";
  for (const auto& f : fonts) {
    out << "constexpr TkwAfmGlyph kGlyphs_" << Identifier(f.FontName) << "[] = {\n";
    for (const auto& g : f.Glyphs) out << "    {" << Quote(g.Name) << ", " << g.Width << ", " << g.Code << "},\n";
    out << "};\n\n";
  }
  out << "constexpr TkwAfmFont kStandardFonts[] = {\n";
  for (const auto& f : fonts) {
    out << "    {" << Quote(f.FontName) << ", " << Quote(f.FamilyName) << ", " << f.Ascender << ", "
        << f.Descender << ", {" << f.BBox[0] << ", " << f.BBox[1] << ", " << f.BBox[2] << ", " << f.BBox[3]
        << "}, " << f.CapHeight << ", " << f.XHeight << ", " << f.ItalicAngle << ", " << Flags(f)
        << ", kGlyphs_" << Identifier(f.FontName) << "},\n";
  }
  out << "};\n\n}  // namespace\n\n"
         "std::span<const TkwGlyphUnicode> AdobeGlyphList() { return kAdobeGlyphList; }\n"
         "std::span<const TkwGlyphUnicode> ZapfDingbatsGlyphList() { return kZapfDingbatsGlyphList; }\n"
         "const TkwEncodingTable& Encoding(TkwEncodingId AId) {\n"
         "  return kEncodings[static_cast<unsigned>(AId) < 6 ? static_cast<unsigned>(AId) : 0];\n}\n"
         "std::span<const TkwAfmFont> StandardFonts() { return kStandardFonts; }\n\n"
         "}  // namespace qm::data\n";

  // Rewrite only on change, so that an unchanged table does not rebuild its users.
  {
    std::ifstream old(AOutPath, std::ios::binary);
    std::stringstream current;
    current << old.rdbuf();
    if (old && current.str() == out.str()) return;
  }
  std::ofstream file(AOutPath, std::ios::binary | std::ios::trunc);
  file << out.str();
  if (!file) Fail(AOutPath, "cannot write");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: qm_tablegen <data folder> <output .cpp>\n";
    return 2;
  }
  try {
    Generate(argv[1], argv[2]);
  } catch (const std::exception& e) {
    std::cerr << "qm_tablegen: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
