#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Reads back enhanced metafiles the writer makes: the records, checked against the sizes
// the header and each record give.
namespace qm::emftest {

struct TEmfRecord {
  std::uint32_t Type = 0;
  std::string Body;  // after the type and size fields

  [[nodiscard]] std::uint32_t U32(std::size_t AAt) const {
    if (AAt * 4 + 4 > Body.size()) return 0xDEADBEEF;
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<std::uint8_t>(Body[AAt * 4 + static_cast<std::size_t>(i)]);
    return v;
  }
  [[nodiscard]] std::int32_t I32(std::size_t AAt) const { return static_cast<std::int32_t>(U32(AAt)); }
  // A 16-bit value at byte AByte of the body.
  [[nodiscard]] std::int16_t I16At(std::size_t AByte) const {
    if (AByte + 2 > Body.size()) return 0;
    return static_cast<std::int16_t>(static_cast<std::uint8_t>(Body[AByte]) |
                                     static_cast<std::uint8_t>(Body[AByte + 1]) << 8);
  }
};

struct TEmf {
  std::vector<TEmfRecord> Records;
  std::string Error;  // empty when the bytes hold together

  // The records of type AType, in order.
  [[nodiscard]] std::vector<TEmfRecord> OfType(std::uint32_t AType) const {
    std::vector<TEmfRecord> out;
    for (const TEmfRecord& r : Records) {
      if (r.Type == AType) out.push_back(r);
    }
    return out;
  }
  [[nodiscard]] std::size_t Count(std::uint32_t AType) const { return OfType(AType).size(); }
  [[nodiscard]] const TEmfRecord& Header() const { return Records.front(); }

  // Bytes past the metafile's own length (the RTF picture's trailing record) are ignored.
  static TEmf Parse(std::string_view ABytes) {
    TEmf emf;
    const auto u32 = [&](std::size_t AAt) {
      std::uint32_t v = 0;
      for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<std::uint8_t>(ABytes[AAt + static_cast<std::size_t>(i)]);
      return v;
    };
    if (ABytes.size() < 108) {
      emf.Error = "short";
      return emf;
    }
    const std::uint32_t total = u32(48);
    if (total > ABytes.size()) {
      emf.Error = "length past the data";
      return emf;
    }
    for (std::size_t at = 0; at < total;) {
      if (at + 8 > total) {
        emf.Error = "record header cut";
        return emf;
      }
      const std::uint32_t type = u32(at), size = u32(at + 4);
      if (size < 8 || size % 4 != 0 || at + size > total) {
        emf.Error = "bad record size at " + std::to_string(at);
        return emf;
      }
      emf.Records.push_back({type, std::string(ABytes.substr(at + 8, size - 8))});
      at += size;
    }
    if (emf.Records.empty() || emf.Records.front().Type != 1 || emf.Records.back().Type != 14) {
      emf.Error = "no header or end";
    } else if (emf.Header().U32(11) != emf.Records.size()) {
      emf.Error = "record count";
    } else if (emf.Header().U32(8) != 0x464D4520) {
      emf.Error = "signature";
    }
    return emf;
  }
};

}  // namespace qm::emftest
