#include "tests/e2e/E2eSupport.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

#include <unistd.h>

namespace qm::e2e {

std::string ReadFile(const fs::path& APath) {
  std::ifstream in(APath, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string RunCommand(const std::string& ACommand) {
  std::string out;
  if (FILE* p = popen(ACommand.c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

bool HaveTool(const std::string& AName) {
  return std::system(("command -v " + AName + " >/dev/null 2>&1").c_str()) == 0;
}

namespace {
std::string Trimmed(std::string w) {
  while (!w.empty() && std::ispunct(static_cast<unsigned char>(w.back()))) w.pop_back();
  while (!w.empty() && std::ispunct(static_cast<unsigned char>(w.front()))) w.erase(w.begin());
  return w;
}
}  // namespace

std::vector<std::string> SplitWords(const std::string& AText) {
  std::vector<std::string> words;
  std::istringstream in(AText);
  std::string w;
  while (in >> w) {
    w = Trimmed(w);
    if (!w.empty()) words.push_back(w);
  }
  return words;
}

double WordF1(const std::vector<std::string>& AGot, const std::vector<std::string>& AWant) {
  if (AGot.empty() && AWant.empty()) return 1;
  if (AGot.empty() || AWant.empty()) return 0;
  std::map<std::string, int> want, got;
  for (const auto& w : AWant) ++want[w];
  for (const auto& w : AGot) ++got[w];
  int common = 0;
  for (const auto& [w, n] : got) {
    auto it = want.find(w);
    if (it != want.end()) common += std::min(n, it->second);
  }
  const double p = static_cast<double>(common) / AGot.size();
  const double r = static_cast<double>(common) / AWant.size();
  return p + r == 0 ? 0 : 2 * p * r / (p + r);
}

fs::path FixtureDir() { return fs::path(QM_FIXTURE_DIR) / "e2e"; }

fs::path ScratchDir() {
  const fs::path dir = fs::temp_directory_path() / ("qm-e2e-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  return dir;
}

int ConvertPdf(const fs::path& APdf, const fs::path& AOut, TkwFormattingMode AMode) {
  fs::remove(AOut);
  TkwPDFConverter conv;
  conv.GetOutputSettings().GetPreferences().SetFormattingMode(AMode);
  conv.SetInputFileName(APdf.string());
  conv.SetOutputFileName(AOut.string());
  int pages = 0;
  conv.SetOnEndPage([&](TkwObject&, TkwPageEventArgs&) { ++pages; });
  conv.Convert();
  return pages;
}

namespace {
const rtftest::TRtfNode* FindGroup(const rtftest::TRtfNode& ANode, const std::string& ADest) {
  for (const auto& c : ANode.Children) {
    if (!c.IsGroup()) continue;
    if (c.Destination() == ADest) return &c;
    if (const auto* f = FindGroup(c, ADest)) return f;
  }
  return nullptr;
}

void CollectText(const rtftest::TRtfNode& ANode, std::string& AOut) {
  for (const auto& c : ANode.Children) {
    if (c.Kind == rtftest::TRtfNode::TKind::Text) AOut += c.Text;
    if (c.IsGroup() && !c.IsIgnorable()) CollectText(c, AOut);
  }
}

void CollectGroups(const rtftest::TRtfNode& ANode, const std::string& ADest,
                   std::vector<const rtftest::TRtfNode*>& AOut) {
  for (const auto& c : ANode.Children) {
    if (!c.IsGroup()) continue;
    if (c.Destination() == ADest) AOut.push_back(&c);
    CollectGroups(c, ADest, AOut);
  }
}
}  // namespace

std::map<int, std::string> FontTable(const rtftest::TRtfDocument& ADoc) {
  std::map<int, std::string> fonts;
  const auto* tbl = FindGroup(ADoc.Root(), "fonttbl");
  if (!tbl) return fonts;
  for (const auto& f : tbl->Children) {
    if (!f.IsGroup()) continue;
    int number = -1;
    std::string name;
    for (const auto& c : f.Children) {
      if (c.Kind == rtftest::TRtfNode::TKind::Word && c.Word == "f" && number < 0) number = c.Param;
      if (c.Kind == rtftest::TRtfNode::TKind::Text) name += c.Text;
    }
    while (!name.empty() && (name.back() == ';' || name.back() == ' ')) name.pop_back();
    while (!name.empty() && name.front() == ' ') name.erase(name.begin());
    if (number >= 0) fonts[number] = name;
  }
  return fonts;
}

std::vector<int> ColorTable(const rtftest::TRtfDocument& ADoc) {
  std::vector<int> colors;
  const auto* tbl = FindGroup(ADoc.Root(), "colortbl");
  if (!tbl) return colors;
  int r = -1, g = -1, b = -1;
  for (const auto& c : tbl->Children) {
    if (c.Kind == rtftest::TRtfNode::TKind::Word) {
      if (c.Word == "red") r = c.Param;
      if (c.Word == "green") g = c.Param;
      if (c.Word == "blue") b = c.Param;
    } else if (c.Kind == rtftest::TRtfNode::TKind::Text) {
      for (char ch : c.Text) {
        if (ch != ';') continue;
        colors.push_back(r < 0 ? -1 : (r << 16) | (std::max(g, 0) << 8) | std::max(b, 0));
        r = g = b = -1;
      }
    }
  }
  return colors;
}

std::vector<std::string> LevelTexts(const rtftest::TRtfDocument& ADoc) {
  std::vector<const rtftest::TRtfNode*> groups;
  CollectGroups(ADoc.Root(), "leveltext", groups);
  std::vector<std::string> texts;
  for (const auto* g : groups) {
    std::string raw;
    // The length byte and the placeholders are written as \'NN symbols, which the reader
    // turns into text; keep only printable ASCII beyond the first character.
    CollectText(*g, raw);
    std::string t;
    for (std::size_t i = 1; i < raw.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(raw[i]);
      if (c >= 0x20 && c < 0x7F && c != ';') t.push_back(static_cast<char>(c));
    }
    texts.push_back(t);
  }
  return texts;
}

std::vector<TWordBox> WordBoxes(const fs::path& APdf) {
  std::vector<TWordBox> boxes;
  const std::string xml = RunCommand("pdftotext -q -bbox '" + APdf.string() + "' - 2>/dev/null");
  static const std::regex page(R"re(<page width="([0-9.]+)" height="([0-9.]+)")re");
  static const std::regex word(
      R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="([0-9.]+)" yMax="([0-9.]+)">([^<]*)</word>)re");
  std::istringstream in(xml);
  std::string line;
  int pageNo = 0;
  double w = 1, h = 1;
  while (std::getline(in, line)) {
    std::smatch m;
    if (std::regex_search(line, m, page)) {
      ++pageNo;
      w = std::stod(m[1]);
      h = std::stod(m[2]);
    } else if (std::regex_search(line, m, word)) {
      std::string text = m[5];
      for (const char* ent : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"}) {
        for (auto p = text.find(ent); p != std::string::npos; p = text.find(ent)) text.erase(p, std::string(ent).size());
      }
      text = Trimmed(text);
      if (text.empty()) continue;
      boxes.push_back({text, pageNo, (std::stod(m[1]) + std::stod(m[3])) / 2 / w,
                       (std::stod(m[2]) + std::stod(m[4])) / 2 / h});
    }
  }
  return boxes;
}

int PageCount(const fs::path& APdf) {
  const std::string info = RunCommand("pdfinfo '" + APdf.string() + "' 2>/dev/null");
  const auto p = info.find("Pages:");
  return p == std::string::npos ? 0 : std::atoi(info.c_str() + p + 6);
}

double PositionMatch(const std::vector<TWordBox>& ASource, const std::vector<TWordBox>& AGot,
                     double ATolerance) {
  if (ASource.empty()) return 1;
  const std::size_t n = ASource.size(), m = AGot.size();
  // Longest common subsequence of the word texts, then a walk back through the table.
  std::vector<std::vector<std::uint16_t>> len(n + 1, std::vector<std::uint16_t>(m + 1, 0));
  for (std::size_t i = n; i-- > 0;) {
    for (std::size_t j = m; j-- > 0;) {
      len[i][j] = ASource[i].Text == AGot[j].Text
                      ? static_cast<std::uint16_t>(len[i + 1][j + 1] + 1)
                      : std::max(len[i + 1][j], len[i][j + 1]);
    }
  }
  std::size_t i = 0, j = 0, matched = 0;
  while (i < n && j < m) {
    if (ASource[i].Text == AGot[j].Text) {
      const auto& a = ASource[i];
      const auto& b = AGot[j];
      if (a.Page == b.Page && std::abs(a.CX - b.CX) <= ATolerance && std::abs(a.CY - b.CY) <= ATolerance)
        ++matched;
      ++i;
      ++j;
    } else if (len[i + 1][j] >= len[i][j + 1]) {
      ++i;
    } else {
      ++j;
    }
  }
  return static_cast<double>(matched) / n;
}

}  // namespace qm::e2e
