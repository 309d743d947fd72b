#pragma once

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "tests/formatter/FormatterTestKit.h"
#include "tests/support/rtf/RtfReader.h"
#include "writer/kwRTFDoc.h"

// A page formatted into the real RTF writer and read back as a reader of the file sees it.
namespace qm::test {

class TRtfPage {
public:
  explicit TRtfPage(TkwFormattingMode AMode = TkwFormattingMode::fmFormatted) {
    Writer.SetRandomProvider(MakeFixedRandomProvider());
    Formatter = MakeTestFormatter(Writer, AMode, 612, 792);
  }
  ~TRtfPage() { Formatter.reset(); }

  // AText at AX on the baseline ABaseline (points from the top); the x after it.
  double Show(std::u16string_view AText, double AX, double ABaseline, const TFont& AFont = Font()) {
    const double ppp = kPixelsPerPoint;
    double x = AX;
    for (std::size_t i = 0; i < AText.size(); ++i) {
      const double advance = TFixedMeasurer::CharWidth(AFont, AText[i]);
      const TkwRect rect{x * ppp, (ABaseline - AFont.Size * 0.8) * ppp, (x + advance) * ppp,
                         (ABaseline + AFont.Size * 0.2) * ppp};
      Formatter->AddChar(AFont, rect, 0, AText[i], i > 0, i > 0, advance, 792 - ABaseline, x);
      x += advance;
    }
    return x;
  }
  // Rows of three cells at x 72, 250 and 400, the first on the baseline AFirst, each next
  // AStep lower; the baseline after them.
  double ShowRows(const std::vector<std::vector<std::u16string>>& ARows, double AFirst, double AStep) {
    double y = AFirst;
    for (const auto& row : ARows) {
      Show(row[0], 72, y);
      Show(row[1], 250, y);
      Show(row[2], 400, y);
      y += AStep;
    }
    return y;
  }
  void Path(const TkwPathRecord& APath) { Formatter->AddPath(APath); }
  rtftest::TRtfDocument Finish() {
    Formatter->EndPage();
    Formatter->EndDoc();
    Text = Writer.GetRTFText();
    return rtftest::TRtfDocument::Parse(Text);
  }

  // The colour of the colour table's entry AIndex as 0x00BBGGRR, -1 when there is none.
  [[nodiscard]] std::int64_t ColorAt(int AIndex) const {
    const auto start = Text.find("{\\colortbl");
    if (start == std::string::npos) return -1;
    const std::string table = Text.substr(start, Text.find('}', start) - start);
    std::vector<std::int64_t> colors{0};  // entry 0: the reader's default
    const std::regex entry(R"(\\red(\d+)\\green(\d+)\\blue(\d+);)");
    for (auto it = std::sregex_iterator(table.begin(), table.end(), entry); it != std::sregex_iterator(); ++it) {
      colors.push_back(std::stoi((*it)[1]) | (std::stoi((*it)[2]) << 8) | (std::stoi((*it)[3]) << 16));
    }
    return AIndex >= 0 && AIndex < static_cast<int>(colors.size()) ? colors[static_cast<std::size_t>(AIndex)] : -1;
  }

  TkwRTFDoc Writer;
  std::unique_ptr<TkwFormatter> Formatter;
  std::string Text;
};

}  // namespace qm::test
