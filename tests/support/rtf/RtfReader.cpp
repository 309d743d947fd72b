#include "tests/support/rtf/RtfReader.h"

#include <algorithm>
#include <array>
#include <functional>
#include <regex>
#include <set>

namespace qm::rtftest {

void AppendUtf8(std::string& AOut, std::uint32_t C) {
  if (C < 0x80) {
    AOut.push_back(static_cast<char>(C));
  } else if (C < 0x800) {
    AOut.push_back(static_cast<char>(0xC0 | (C >> 6)));
    AOut.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  } else if (C < 0x10000) {
    AOut.push_back(static_cast<char>(0xE0 | (C >> 12)));
    AOut.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
    AOut.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  } else {
    AOut.push_back(static_cast<char>(0xF0 | (C >> 18)));
    AOut.push_back(static_cast<char>(0x80 | ((C >> 12) & 0x3F)));
    AOut.push_back(static_cast<char>(0x80 | ((C >> 6) & 0x3F)));
    AOut.push_back(static_cast<char>(0x80 | (C & 0x3F)));
  }
}

std::string Cp1252ToUtf8(unsigned char B) {
  static constexpr std::array<std::uint16_t, 32> kHigh = {
      0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
  std::string out;
  AppendUtf8(out, B >= 0x80 && B < 0xA0 ? kHigh[B - 0x80] : B);
  return out;
}

std::string TRtfNode::Destination() const {
  for (const TRtfNode& c : Children) {
    if (c.Kind == TKind::Symbol && c.Word == "*") continue;
    if (c.Kind == TKind::Word) return c.Word;
    return "";
  }
  return "";
}

bool TRtfNode::IsIgnorable() const {
  return !Children.empty() && Children[0].Kind == TKind::Symbol && Children[0].Word == "*";
}

std::string TRtfParagraph::Text() const {
  std::string s;
  for (const TRtfRun& r : Runs) s += r.Text;
  return s;
}

TRtfDocument TRtfDocument::Parse(std::string_view ABytes) {
  TRtfDocument doc;
  doc.FRoot.Kind = TRtfNode::TKind::Group;
  std::vector<TRtfNode*> stack{&doc.FRoot};
  const auto isAlpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
  const auto text = [&](std::string_view AUtf8) {
    auto& kids = stack.back()->Children;
    if (kids.empty() || kids.back().Kind != TRtfNode::TKind::Text) {
      kids.push_back({});
      kids.back().Kind = TRtfNode::TKind::Text;
    }
    kids.back().Text += AUtf8;
  };
  std::size_t i = 0;
  while (i < ABytes.size()) {
    const char c = ABytes[i];
    if (c == '{') {
      TRtfNode g;
      g.Kind = TRtfNode::TKind::Group;
      stack.back()->Children.push_back(std::move(g));
      stack.push_back(&stack.back()->Children.back());
      ++i;
    } else if (c == '}') {
      if (stack.size() > 1) stack.pop_back(); else ++doc.FUnbalanced;
      ++i;
    } else if (c == '\\') {
      ++i;
      if (i >= ABytes.size()) break;
      if (isAlpha(ABytes[i])) {
        TRtfNode w;
        w.Kind = TRtfNode::TKind::Word;
        while (i < ABytes.size() && isAlpha(ABytes[i])) w.Word.push_back(ABytes[i++]);
        bool neg = false;
        if (i < ABytes.size() && ABytes[i] == '-' && i + 1 < ABytes.size() && isDigit(ABytes[i + 1])) {
          neg = true;
          ++i;
        }
        if (i < ABytes.size() && isDigit(ABytes[i])) {
          long long v = 0;
          while (i < ABytes.size() && isDigit(ABytes[i])) {
            v = std::min<long long>(v * 10 + (ABytes[i++] - '0'), 1LL << 40);
          }
          w.HasParam = true;
          w.Param = static_cast<int>(std::clamp<long long>(neg ? -v : v, -2147483647LL, 2147483647LL));
        }
        if (i < ABytes.size() && ABytes[i] == ' ') ++i;
        if (w.Word == "u" && w.HasParam) {
          std::string u;
          AppendUtf8(u, static_cast<std::uint32_t>(w.Param < 0 ? w.Param + 65536 : w.Param));
          text(u);
          // skip the one replacement character (\uc1)
          if (i < ABytes.size()) {
            if (ABytes[i] == '\\' && i + 1 < ABytes.size() && ABytes[i + 1] == '\'') i += 4;
            else if (ABytes[i] != '{' && ABytes[i] != '}' && ABytes[i] != '\\') ++i;
          }
          continue;
        }
        stack.back()->Children.push_back(std::move(w));
      } else if (ABytes[i] == '\'') {
        const auto hex = [](char h) {
          return h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10 : h >= 'A' && h <= 'F' ? h - 'A' + 10 : 0;
        };
        unsigned char b = 0;
        if (i + 2 < ABytes.size()) b = static_cast<unsigned char>(hex(ABytes[i + 1]) * 16 + hex(ABytes[i + 2]));
        i += 3;
        text(Cp1252ToUtf8(b));
      } else if (ABytes[i] == '\\' || ABytes[i] == '{' || ABytes[i] == '}') {
        text(std::string(1, ABytes[i]));
        ++i;
      } else if (ABytes[i] == '\r' || ABytes[i] == '\n') {
        TRtfNode w;
        w.Kind = TRtfNode::TKind::Word;
        w.Word = "par";
        stack.back()->Children.push_back(std::move(w));
        ++i;
      } else {
        TRtfNode s;
        s.Kind = TRtfNode::TKind::Symbol;
        s.Word = std::string(1, ABytes[i]);
        stack.back()->Children.push_back(std::move(s));
        ++i;
      }
    } else if (c == '\r' || c == '\n') {
      ++i;
    } else {
      std::string t;
      while (i < ABytes.size() && ABytes[i] != '{' && ABytes[i] != '}' && ABytes[i] != '\\' &&
             ABytes[i] != '\r' && ABytes[i] != '\n') {
        t += Cp1252ToUtf8(static_cast<unsigned char>(ABytes[i++]));
      }
      text(t);
    }
  }
  doc.FUnbalanced += static_cast<int>(stack.size()) - 1;
  return doc;
}

namespace {

bool SkippedGroup(const TRtfNode& G) {
  static const std::set<std::string, std::less<>> kSkip = {
      "fonttbl", "colortbl", "stylesheet", "listtable", "listoverridetable", "info", "pict",
      "shprslt", "sp", "sn", "sv", "bkmkstart", "bkmkend", "leveltext", "levelnumbers",
      "listname", "nonshppict", "themedata", "generator", "xmlnstbl", "rsidtbl", "header",
      "footer"};
  const std::string dest = G.Destination();
  if (kSkip.count(dest)) return true;
  if (G.IsIgnorable() && dest != "shpinst") return true;
  return false;
}

struct TState {
  TRtfRun Format;
  bool InTable = false;
  int List = 0;
};

// Walks the visible content, calling back for text and paragraph/cell ends.
struct TWalker {
  std::vector<TRtfParagraph> Paras;
  TRtfParagraph Current;
  bool CurrentHasContent = false;

  void Flush(const TState& S, bool AForce) {
    if (CurrentHasContent || AForce) {
      Current.InTable = Current.InTable || S.InTable;
      Paras.push_back(std::move(Current));
    }
    Current = {};
    CurrentHasContent = false;
  }
  void AddText(const TState& S, const std::string& AText) {
    if (Current.Runs.empty() || Current.Runs.back().Bold != S.Format.Bold ||
        Current.Runs.back().Italic != S.Format.Italic || Current.Runs.back().Underline != S.Format.Underline ||
        Current.Runs.back().Strike != S.Format.Strike || Current.Runs.back().Font != S.Format.Font ||
        Current.Runs.back().HalfPoints != S.Format.HalfPoints || Current.Runs.back().Color != S.Format.Color) {
      TRtfRun r = S.Format;
      r.Text.clear();
      Current.Runs.push_back(r);
    }
    Current.Runs.back().Text += AText;
    Current.InTable = Current.InTable || S.InTable;
    if (S.List) Current.List = S.List;
    CurrentHasContent = true;
  }
  void Walk(const TRtfNode& G, TState S) {
    for (const TRtfNode& n : G.Children) {
      switch (n.Kind) {
        case TRtfNode::TKind::Group:
          if (!SkippedGroup(n)) Walk(n, S);
          break;
        case TRtfNode::TKind::Text: AddText(S, n.Text); break;
        case TRtfNode::TKind::Symbol:
          if (n.Word == "~") AddText(S, " ");
          else if (n.Word == "_") AddText(S, "-");
          break;
        case TRtfNode::TKind::Word: {
          const std::string& w = n.Word;
          const bool on = !n.HasParam || n.Param != 0;
          if (w == "par") { Current.List = Current.List ? Current.List : S.List; Flush(S, true); }
          else if (w == "cell") { Flush(S, true); Paras.back().InTable = true; }
          else if (w == "tab") AddText(S, "\t");
          else if (w == "line") AddText(S, "\n");
          else if (w == "b") S.Format.Bold = on;
          else if (w == "i") S.Format.Italic = on;
          else if (w == "ul") S.Format.Underline = on;
          else if (w == "ulnone") S.Format.Underline = false;
          else if (w == "strike") S.Format.Strike = on;
          else if (w == "f") S.Format.Font = n.Param;
          else if (w == "fs") S.Format.HalfPoints = n.Param;
          else if (w == "cf") S.Format.Color = n.Param;
          else if (w == "plain") { S.Format = TRtfRun{}; }
          else if (w == "pard") { S.InTable = false; S.List = 0; }
          else if (w == "intbl") S.InTable = true;
          else if (w == "ls") S.List = n.Param;
          else if (w == "row") {}
          break;
        }
      }
    }
  }
};

void CollectWords(const TRtfNode& G, std::string_view AWord, std::vector<int>& AOut) {
  for (const TRtfNode& n : G.Children) {
    if (n.Kind == TRtfNode::TKind::Group) CollectWords(n, AWord, AOut);
    else if (n.Kind == TRtfNode::TKind::Word && n.Word == AWord) AOut.push_back(n.HasParam ? n.Param : 0);
  }
}

void CollectListRefs(const TRtfNode& G, std::vector<int>& AOut) {
  for (const TRtfNode& n : G.Children) {
    if (n.Kind == TRtfNode::TKind::Group) {
      const std::string d = n.Destination();
      if (d != "listtable" && d != "listoverridetable") CollectListRefs(n, AOut);
    } else if (n.Kind == TRtfNode::TKind::Word && n.Word == "ls") {
      AOut.push_back(n.Param);
    }
  }
}

void CollectPictures(const TRtfNode& G, std::vector<TRtfPicture>& AOut) {
  for (const TRtfNode& n : G.Children) {
    if (n.Kind != TRtfNode::TKind::Group) continue;
    if (n.Destination() != "pict") {
      CollectPictures(n, AOut);
      continue;
    }
    TRtfPicture pic;
    std::string hex;
    for (const TRtfNode& k : n.Children) {
      if (k.Kind == TRtfNode::TKind::Word) {
        if (k.Word.ends_with("blip") || k.Word == "wmetafile") pic.Blip = k.Word;
        else if (k.Word == "picwgoal") pic.GoalWidth = k.Param;
        else if (k.Word == "pichgoal") pic.GoalHeight = k.Param;
      } else if (k.Kind == TRtfNode::TKind::Text) {
        hex += k.Text;
      }
    }
    const auto nib = [](char h) {
      return h >= '0' && h <= '9' ? h - '0' : h >= 'a' && h <= 'f' ? h - 'a' + 10 : h >= 'A' && h <= 'F' ? h - 'A' + 10 : -1;
    };
    int high = -1;
    for (char h : hex) {
      const int v = nib(h);
      if (v < 0) continue;
      if (high < 0) high = v;
      else { pic.Bytes.push_back(static_cast<char>(high * 16 + v)); high = -1; }
    }
    AOut.push_back(std::move(pic));
  }
}

}  // namespace

std::vector<TRtfParagraph> TRtfDocument::Paragraphs() const {
  TWalker w;
  w.Walk(FRoot, TState{});
  w.Flush(TState{}, false);
  return w.Paras;
}

std::string TRtfDocument::PlainText() const {
  std::string s;
  for (const TRtfParagraph& p : Paragraphs()) {
    s += p.Text();
    s += p.InTable ? "\t" : "\n";
  }
  return s;
}

std::vector<std::string> TRtfDocument::Words() const {
  std::vector<std::string> out;
  std::string cur;
  for (char c : PlainText()) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      if (!cur.empty()) out.push_back(std::move(cur));
      cur.clear();
    } else {
      cur.push_back(c);
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

int TRtfDocument::CountWord(std::string_view AWord) const {
  return static_cast<int>(WordParams(AWord).size());
}

std::vector<int> TRtfDocument::WordParams(std::string_view AWord) const {
  std::vector<int> out;
  CollectWords(FRoot, AWord, out);
  return out;
}

std::vector<int> TRtfDocument::ListReferences() const {
  std::vector<int> out;
  CollectListRefs(FRoot, out);
  return out;
}

std::vector<TRtfPicture> TRtfDocument::Pictures() const {
  std::vector<TRtfPicture> out;
  CollectPictures(FRoot, out);
  return out;
}

std::string WithIdsMadeEqual(const std::string& ARtf) {
  static const std::regex kIds("(templateid|listid|shplid)-?[0-9]+");
  return std::regex_replace(ARtf, kIds, "$1N");
}

}  // namespace qm::rtftest
