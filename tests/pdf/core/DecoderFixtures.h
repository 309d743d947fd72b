#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

// Fixture access shared by the decoder tests: raw stream data and reference bitmaps that
// pdfimages and jbig2dec wrote (tests/fixtures/images/make-references.cmd).
namespace qm::test {

inline std::string ReadFixture(const std::string& ARelative) {
  std::ifstream in(std::string(QM_FIXTURE_DIR) + "/images/" + ARelative, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::span<const std::uint8_t> Bytes(const std::string& AData) {
  return {reinterpret_cast<const std::uint8_t*>(AData.data()), AData.size()};
}

// A binary PNM file (P4, P5 or P6): its size and pixel bytes as stored.
struct TPnm {
  char Kind = 0;
  int Width = 0, Height = 0;
  std::string Pixels;
};

inline TPnm ReadPnm(const std::string& ARelative) {
  const std::string data = ReadFixture(ARelative);
  TPnm pnm;
  if (data.size() < 3 || data[0] != 'P') return pnm;
  pnm.Kind = data[1];
  std::size_t p = 2;
  std::vector<int> fields;
  const int needed = pnm.Kind == '4' ? 2 : 3;
  while (static_cast<int>(fields.size()) < needed && p < data.size()) {
    while (p < data.size() && (data[p] == ' ' || data[p] == '\n' || data[p] == '\r' || data[p] == '\t')) ++p;
    int v = 0;
    while (p < data.size() && data[p] >= '0' && data[p] <= '9') v = v * 10 + (data[p++] - '0');
    fields.push_back(v);
  }
  ++p;  // the single white-space after the header
  pnm.Width = fields.size() > 0 ? fields[0] : 0;
  pnm.Height = fields.size() > 1 ? fields[1] : 0;
  if (p <= data.size()) pnm.Pixels = data.substr(p);
  return pnm;
}

}  // namespace qm::test
