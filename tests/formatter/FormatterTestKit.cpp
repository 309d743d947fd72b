#include "tests/formatter/FormatterTestKit.h"

namespace qm::test {

int TRecordingWriter::Count(std::string_view AOp) const {
  int n = 0;
  for (const auto& c : Calls) {
    n += c.Op == AOp ? 1 : 0;
  }
  return n;
}

const TCall* TRecordingWriter::Find(std::string_view AOp, int ANth) const {
  for (const auto& c : Calls) {
    if (c.Op == AOp && ANth-- == 0) {
      return &c;
    }
  }
  return nullptr;
}

void TRecordingWriter::AddPara(std::string AOp, int ACell) {
  auto& c = Add(std::move(AOp));
  c.I = ACell;
  const auto& tf = GetTextFormatting();
  c.Alignment = tf.GetAlignment();
  c.LeftIndent = tf.GetLeftIndent();
  c.RightIndent = tf.GetRightIndent();
  c.FirstLineIndent = tf.GetFirstLineIndent();
  c.SpaceBefore = tf.GetSpaceBefore();
  c.LineSpacing = tf.GetLineSpacing();
}

std::vector<TPara> TRecordingWriter::Paragraphs() const {
  std::vector<TPara> paras;
  bool open = false;
  for (const auto& c : Calls) {
    if (c.Op == "BeginPara" || c.Op == "BeginCellPara") {
      auto& para = paras.emplace_back();
      para.Begin = &c;
      para.InCell = c.Op == "BeginCellPara";
      para.Cell = c.I;
      open = true;
    } else if (c.Op == "EndPara") {
      open = false;
    } else if (c.Op == "WriteText" && open) {
      paras.back().Text += c.Text;
      paras.back().Tabs.push_back(c.A);
    }
  }
  return paras;
}

std::vector<std::u16string> TRecordingWriter::Texts() const {
  std::vector<std::u16string> texts;
  for (const auto& p : Paragraphs()) {
    bool blank = true;
    for (char16_t ch : p.Text) {
      blank = blank && ch == u' ';
    }
    if (!blank) {
      texts.push_back(p.Text);
    }
  }
  return texts;
}

std::string TRecordingWriter::Ops() const {
  std::string ops;
  for (const auto& c : Calls) {
    if (c.Op == "WriteText") {
      continue;
    }
    if (!ops.empty()) {
      ops += ' ';
    }
    ops += c.Op;
  }
  return ops;
}

double TFixedMeasurer::CharWidth(const TFont& AFont, char16_t AChar) {
  if (AChar == u'W') {
    return AFont.Size * 0.9;
  }
  if (AChar == u' ') {
    return AFont.Size * 0.25;
  }
  return AFont.Size * 0.5;
}

TkwTextExtent TFixedMeasurer::Measure(const TFont& AFont, std::u16string_view AText) {
  double width = 0;
  for (char16_t c : AText) {
    width += CharWidth(AFont, c);
  }
  const double ppp = kPixelsPerPoint;
  return {width * ppp, AFont.Size * 1.2 * ppp};
}

TFont Font(std::string_view AName, int ASize, TFontStyles AStyle) {
  TFont font;
  font.Name = std::string(AName);
  font.Size = ASize;
  font.Style = AStyle;
  return font;
}

std::unique_ptr<TkwFormatter> MakeTestFormatter(TkwDocumentWriter& AWriter, TkwFormattingMode AMode, double AWidth,
                                                double AHeight) {
  auto formatter = std::make_unique<TkwFormatter>(AWriter);
  formatter->SetTextMeasurer(std::make_unique<TFixedMeasurer>());
  formatter->SetFormattingMode(AMode);
  formatter->SetMeasurementUnit(TkwMeasurementUnit::muPoints);
  auto& ps = formatter->GetPageSettings();
  ps.SetPaperSize(TkwPaperSize::psCustom);
  ps.SetWidth(AWidth);
  ps.SetHeight(AHeight);
  formatter->BeginDoc();
  return formatter;
}

TPageBuilder::TPageBuilder(TkwFormattingMode AMode) {
  Formatter = MakeTestFormatter(Writer, AMode, kPageWidth, kPageHeight);
}

TPageBuilder::~TPageBuilder() {
  Formatter.reset();
}

void TPageBuilder::Glyph(char16_t AChar, double AX, double ABaseline, const TFont& AFont,
                         bool ANotFirstInString, bool ANotFirstInOperator, double ABoxHeight,
                         double ACharSpacing) {
  const double ppp = kPixelsPerPoint;
  const double advance = TFixedMeasurer::CharWidth(AFont, AChar) + ACharSpacing;
  const double box = ABoxHeight >= 0 ? ABoxHeight : AFont.Size;
  const TkwRect rect{AX * ppp, (ABaseline - box * 0.8) * ppp, (AX + advance) * ppp,
                     (ABaseline + box * 0.2) * ppp};
  Formatter->AddChar(AFont, rect, ACharSpacing, AChar, ANotFirstInString, ANotFirstInOperator, advance,
                     kPageHeight - ABaseline, AX);
}

double TPageBuilder::Show(std::u16string_view AText, double AX, double ABaseline, const TFont& AFont) {
  double x = AX;
  for (std::size_t i = 0; i < AText.size(); ++i) {
    Glyph(AText[i], x, ABaseline, AFont, i > 0, i > 0);
    x += TFixedMeasurer::CharWidth(AFont, AText[i]);
  }
  return x;
}

void TPageBuilder::ShowStrings(const std::vector<std::pair<std::u16string, double>>& AStrings,
                               double ABaseline, const TFont& AFont) {
  bool firstInOperator = true;
  for (const auto& [text, startX] : AStrings) {
    double x = startX;
    for (std::size_t i = 0; i < text.size(); ++i) {
      Glyph(text[i], x, ABaseline, AFont, i > 0, !firstInOperator);
      firstInOperator = false;
      x += TFixedMeasurer::CharWidth(AFont, text[i]);
    }
  }
}

void TPageBuilder::Image(double ALeft, double ATop, double ARight, double ABottom) {
  TBitmap bitmap(4, 4);
  Formatter->AddImage(TkwRect{ALeft, ATop, ARight, ABottom}, bitmap);
}

void TPageBuilder::EndPage() { Formatter->EndPage(); }
void TPageBuilder::NewPage() { Formatter->NewPage(); }
void TPageBuilder::EndDoc() { Formatter->EndDoc(); }

}  // namespace qm::test
