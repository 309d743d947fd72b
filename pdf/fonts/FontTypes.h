#pragma once

#include <cstdint>

namespace qm {

// Ordinal values are compared, so the order is fixed.
enum class TkwPDFontType : std::uint8_t {
  UnknowType = 0,
  Type1,
  Type1C,
  Type1COT,
  Type3,
  TrueType,
  TrueTypeOT,
  CIDType0,
  CIDType0C,
  CIDType0COT,
  CIDType2,
  CIDType2OT,
};

enum class TkwWritingMode : std::uint8_t { wmHorizontal, wmVertical };

enum class TkwPDFFontEmbeddingType : std::uint8_t { etNone, etFull, etSubset };

}  // namespace qm
