#pragma once

// Helpers of the end-to-end suites: converting a fixture, the words of the RTF and of the
// PDF (pdftotext), the font and colour tables of an RTF, and word boxes for the position
// check against LibreOffice's rendering of the RTF.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "converter/kwPDFConverter.h"
#include "tests/support/rtf/RtfReader.h"

namespace qm::e2e {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& APath);
// Runs a shell command and returns its standard output ("" when it cannot start).
std::string RunCommand(const std::string& ACommand);
bool HaveTool(const std::string& AName);

// Words compared without punctuation at their ends.
std::vector<std::string> SplitWords(const std::string& AText);
// F1 of the two bags of words; two empty bags agree fully.
double WordF1(const std::vector<std::string>& AGot, const std::vector<std::string>& AWant);

// The fixture folder of these suites and a scratch folder private to this process.
fs::path FixtureDir();
fs::path ScratchDir();

// Converts APdf to AOut in the given mode; returns the number of pages ended.
int ConvertPdf(const fs::path& APdf, const fs::path& AOut, TkwFormattingMode AMode);

// Font names by \f number and colours (0xRRGGBB, -1 for the auto entry) by \cf number.
std::map<int, std::string> FontTable(const rtftest::TRtfDocument& ADoc);
std::vector<int> ColorTable(const rtftest::TRtfDocument& ADoc);
// The texts of every \leveltext of the list table, with the length byte and the number
// placeholders stripped: "." for "1.", ")" for "a)".
std::vector<std::string> LevelTexts(const rtftest::TRtfDocument& ADoc);

struct TWordBox {
  std::string Text;
  int Page = 0;
  double CX = 0, CY = 0;  // centre, as a fraction of the page's width and height
};
// Word boxes of a PDF in reading order, from pdftotext -bbox.
std::vector<TWordBox> WordBoxes(const fs::path& APdf);
int PageCount(const fs::path& APdf);
// Share of the source's words that an in-order alignment matches in AGot on the same page
// with the centre within ATolerance of the page size.
double PositionMatch(const std::vector<TWordBox>& ASource, const std::vector<TWordBox>& AGot,
                     double ATolerance);

}  // namespace qm::e2e
