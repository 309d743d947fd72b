#include "tests/support/pdf/TestPdf.h"

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace qm {

namespace {

std::string Num(std::int64_t AValue) { return std::to_string(AValue); }

std::string Padded(std::int64_t AValue, int AWidth) {
  std::string s = std::to_string(AValue < 0 ? 0 : AValue);
  if (static_cast<int>(s.size()) < AWidth) s.insert(0, static_cast<std::size_t>(AWidth) - s.size(), '0');
  return s;
}

void PutBE(std::string& AOut, std::uint64_t AValue, int AWidth) {
  for (int i = AWidth - 1; i >= 0; --i) AOut.push_back(static_cast<char>((AValue >> (8 * i)) & 0xFF));
}

struct TkwEntry {
  int Type = 1;           // 0 free, 1 at an offset, 2 in an object stream
  std::int64_t F2 = 0;    // offset, or object stream number
  std::int64_t F3 = 0;    // generation, or index in the object stream
};

}  // namespace

TkwTestPdf::TkwTestPdf(std::string_view AVersion) : FVersion(AVersion) { FSections.emplace_back(); }

void TkwTestPdf::SetAutoCatalog(bool AOn) {
  FAuto = AOn;
  if (!AOn && !FAutoMade) FNextNum = 1;
}

void TkwTestPdf::EnsureAuto() {
  if (FAuto && !FAutoMade) {
    FAutoMade = true;
    FNextNum = std::max(FNextNum, 3);
  }
}

int TkwTestPdf::ReserveObject() {
  EnsureAuto();
  return FNextNum++;
}

int TkwTestPdf::AddObject(std::string_view ABody) {
  const int n = ReserveObject();
  SetObject(n, ABody);
  return n;
}

int TkwTestPdf::AddStream(std::string_view ADictEntries, std::string_view AData) {
  const int n = ReserveObject();
  SetStream(n, ADictEntries, AData);
  return n;
}

std::string TkwTestPdf::AddFormFanOut(int AFont) {
  int next = AddStream("/Type /XObject /Subtype /Form /BBox [0 0 612 792] /Resources << /Font << /F1 " +
                           std::to_string(AFont) + " 0 R >> >>",
                       "BT /F1 12 Tf 10 10 Td (Deep) Tj ET");
  for (int level = 0; level < 9; ++level) {
    std::string body;
    for (int i = 0; i < 10; ++i) body += "q /X Do Q\n";
    next = AddStream("/Type /XObject /Subtype /Form /BBox [0 0 612 792] /Resources << /XObject << /X " +
                         std::to_string(next) + " 0 R >> >>",
                     body);
  }
  return "/Resources << /XObject << /X " + std::to_string(next) + " 0 R >> >>";
}

void TkwTestPdf::SetObject(int ANum, std::string_view ABody, int AGen) {
  EnsureAuto();
  FNextNum = std::max(FNextNum, ANum + 1);
  Current().Objects[ANum] = TkwObj{AGen, std::string(ABody), false};
}

void TkwTestPdf::SetStream(int ANum, std::string_view ADictEntries, std::string_view AData, int AGen) {
  std::string body = "<< ";
  body += ADictEntries;
  body += " /Length " + Num(static_cast<std::int64_t>(AData.size())) + " >>\nstream\n";
  body += AData;
  body += "\nendstream";
  SetObject(ANum, body, AGen);
  Current().Objects[ANum].IsStream = true;
}

int TkwTestPdf::AddFont(std::string_view ABaseFont) {
  return AddObject("<< /Type /Font /Subtype /Type1 /BaseFont /" + std::string(ABaseFont) +
                   " /Encoding /WinAnsiEncoding >>");
}

int TkwTestPdf::AddPage(std::string_view AContent, const std::vector<std::pair<std::string, int>>& AFonts,
                        std::string_view AExtra) {
  EnsureAuto();
  const bool ownContents = AExtra.find("/Contents") != std::string_view::npos;
  const int contents = ownContents ? 0 : AddStream("", AContent);
  std::string page = "<< /Type /Page /Parent 2 0 R";
  if (AExtra.find("/MediaBox") == std::string_view::npos) page += " /MediaBox " + FMediaBox;
  if (AExtra.find("/Resources") == std::string_view::npos) {
    page += " /Resources << /ProcSet [/PDF /Text]";
    if (!AFonts.empty()) {
      page += " /Font <<";
      for (const auto& [name, num] : AFonts) page += " /" + name + " " + Num(num) + " 0 R";
      page += " >>";
    }
    page += " >>";
  }
  if (!ownContents) page += " /Contents " + Num(contents) + " 0 R ";
  page += AExtra;
  page += " >>";
  const int n = AddObject(page);
  FPages.push_back(n);
  Current().PagesChanged = true;
  return n;
}

void TkwTestPdf::SetTrailerExtra(std::string_view AEntries) { Current().TrailerExtra = AEntries; }

void TkwTestPdf::SetXRefForm(TkwXRefForm AForm) { Current().Form = AForm; }

void TkwTestPdf::SetObjectStreams(bool AOn) {
  Current().ObjStreams = AOn;
  if (AOn) Current().Form = TkwXRefForm::xfStream;
}

void TkwTestPdf::BeginUpdate() {
  EnsureAuto();
  TkwSection next;
  next.Form = Current().Form;
  next.ObjStreams = Current().ObjStreams;
  next.PagesAtStart = FPages.size();
  FSections.push_back(std::move(next));
}

void TkwTestPdf::ShiftXRefEntry(int ANum, std::int64_t ADelta) { FShifts[ANum] += ADelta; }

std::int64_t TkwTestPdf::GetObjectOffset(int ANum) const {
  const auto it = FOffsets.find(ANum);
  return it == FOffsets.end() ? -1 : it->second;
}

std::string TkwTestPdf::Save() {
  EnsureAuto();
  FOffsets.clear();
  std::string out = FPrefix;
  const std::int64_t base = static_cast<std::int64_t>(out.size());
  out += "%PDF-" + FVersion + "\n%\xE2\xE3\xCF\xD3\n";
  const auto pos = [&] { return static_cast<std::int64_t>(out.size()) - base; };

  int next = FNextNum;
  std::int64_t prevXRef = -1;
  int size = 1;

  for (std::size_t s = 0; s < FSections.size(); ++s) {
    const TkwSection& sec = FSections[s];
    std::map<int, TkwObj> objects = sec.Objects;
    if (FAuto) {
      if (s == 0) {
        objects.emplace(FRoot, TkwObj{0, "<< /Type /Catalog /Pages 2 0 R " + FCatalogExtra + " >>", false});
      }
      if (s == 0 || sec.PagesChanged) {
        std::size_t count = FPages.size();
        for (std::size_t t = s + 1; t < FSections.size(); ++t) count = std::min(count, FSections[t].PagesAtStart);
        std::string kids;
        for (std::size_t i = 0; i < count; ++i) kids += Num(FPages[i]) + " 0 R ";
        objects.emplace(2, TkwObj{0, "<< /Type /Pages /Kids [" + kids + "] /Count " +
                                         Num(static_cast<std::int64_t>(count)) + " " + FPagesExtra + " >>",
                                  false});
      }
    }

    std::map<int, TkwEntry> entries;
    std::vector<std::pair<int, const TkwObj*>> packed;
    for (const auto& [num, obj] : objects) {
      if (sec.ObjStreams && !obj.IsStream && obj.Gen == 0) {
        packed.emplace_back(num, &obj);
        continue;
      }
      entries[num] = TkwEntry{1, pos(), obj.Gen};
      FOffsets[num] = pos();
      out += Num(num) + " " + Num(obj.Gen) + " obj\n" + obj.Body + "\nendobj\n";
    }
    if (!packed.empty()) {
      const int stmNum = next++;
      std::string header, body;
      for (std::size_t i = 0; i < packed.size(); ++i) {
        header += Num(packed[i].first) + " " + Num(static_cast<std::int64_t>(body.size())) + " ";
        body += packed[i].second->Body + "\n";
        entries[packed[i].first] = TkwEntry{2, stmNum, static_cast<std::int64_t>(i)};
      }
      const std::string data = header + body;
      entries[stmNum] = TkwEntry{1, pos(), 0};
      FOffsets[stmNum] = pos();
      out += Num(stmNum) + " 0 obj\n<< /Type /ObjStm /N " + Num(static_cast<std::int64_t>(packed.size())) +
             " /First " + Num(static_cast<std::int64_t>(header.size())) + " /Length " +
             Num(static_cast<std::int64_t>(data.size())) + " >>\nstream\n" + data + "\nendstream\nendobj\n";
    }
    for (const auto& [num, e] : entries) size = std::max(size, num + 1);

    const auto shifted = [&](int ANum, const TkwEntry& AEntry) {
      std::int64_t v = AEntry.F2;
      if (AEntry.Type == 1) {
        bool isNewest = true;
        for (std::size_t t = s + 1; t < FSections.size(); ++t) {
          if (FSections[t].Objects.count(ANum)) isNewest = false;
        }
        const auto it = FShifts.find(ANum);
        if (isNewest && it != FShifts.end()) v += it->second;
      }
      return v;
    };

    std::string trailer = "/Root " + Num(FRoot) + " 0 R";
    if (prevXRef >= 0) trailer += " /Prev " + Num(prevXRef);
    if (!sec.TrailerExtra.empty()) trailer += " " + sec.TrailerExtra;

    // Runs of consecutive numbers; the first section covers 0..size-1 in one run.
    std::vector<std::pair<int, int>> runs;
    if (s == 0) {
      runs.emplace_back(0, size);
    } else {
      runs.emplace_back(0, 1);
      for (const auto& [num, e] : entries) {
        if (!runs.empty() && runs.back().first + runs.back().second == num) {
          ++runs.back().second;
        } else {
          runs.emplace_back(num, 1);
        }
      }
    }

    const std::int64_t xrefPos = pos();
    if (sec.Form == TkwXRefForm::xfTable) {
      out += "xref\n";
      for (const auto& [first, count] : runs) {
        out += Num(first) + " " + Num(count) + "\n";
        for (int n = first; n < first + count; ++n) {
          const auto it = entries.find(n);
          if (it == entries.end() || it->second.Type != 1) {
            out += n == 0 ? "0000000000 65535 f\r\n" : "0000000000 00000 f\r\n";
          } else {
            out += Padded(shifted(n, it->second), 10) + " " + Padded(it->second.F3, 5) + " n\r\n";
          }
        }
      }
      out += "trailer\n<< /Size " + Num(size) + " " + trailer + " >>\n";
    } else {
      const int xrefNum = next++;
      size = std::max(size, xrefNum + 1);
      entries[xrefNum] = TkwEntry{1, xrefPos, 0};
      FOffsets[xrefNum] = xrefPos;
      if (s == 0) {
        runs.back().second = size;
      } else if (runs.back().first + runs.back().second == xrefNum) {
        ++runs.back().second;
      } else {
        runs.emplace_back(xrefNum, 1);
      }
      std::string rows, index;
      for (const auto& [first, count] : runs) {
        index += Num(first) + " " + Num(count) + " ";
        for (int n = first; n < first + count; ++n) {
          const auto it = entries.find(n);
          if (it == entries.end()) {
            PutBE(rows, 0, 1);
            PutBE(rows, 0, 4);
            PutBE(rows, n == 0 ? 65535 : 0, 2);
          } else {
            PutBE(rows, static_cast<std::uint64_t>(it->second.Type), 1);
            PutBE(rows, static_cast<std::uint64_t>(shifted(n, it->second)), 4);
            PutBE(rows, static_cast<std::uint64_t>(it->second.F3), 2);
          }
        }
      }
      out += Num(xrefNum) + " 0 obj\n<< /Type /XRef /Size " + Num(size) + " /W [1 4 2] /Index [" + index +
             "] " + trailer + " /Length " + Num(static_cast<std::int64_t>(rows.size())) + " >>\nstream\n" +
             rows + "\nendstream\nendobj\n";
    }
    out += "startxref\n";
    if (s + 1 == FSections.size() && FStartXRefSet) {
      out += FStartXRefText;
    } else {
      out += Num(xrefPos) + "\n";
    }
    if (s + 1 < FSections.size() || !FOmitEOF) out += "%%EOF\n";
    prevXRef = xrefPos;
    FLastStartXRef = xrefPos;
  }
  out += FSuffix;
  return out;
}

bool TkwTestPdf::SaveToFile(const std::string& APath) {
  const std::string bytes = Save();
  std::ofstream f(APath, std::ios::binary);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(f);
}

std::string TkwTestPdf::Deflate(std::string_view AData) {
  uLongf len = compressBound(static_cast<uLong>(AData.size()));
  std::string out(len, '\0');
  if (compress(reinterpret_cast<Bytef*>(out.data()), &len, reinterpret_cast<const Bytef*>(AData.data()),
               static_cast<uLong>(AData.size())) != Z_OK) {
    throw std::runtime_error("zlib compress failed");
  }
  out.resize(len);
  return out;
}

}  // namespace qm
