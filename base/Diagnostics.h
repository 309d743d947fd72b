#pragma once

#include <cstdint>
#include <vector>

#include "base/Object.h"

namespace qm {

// Stable codes for what the engine tolerated. Tests check codes, never message text.
// Add a code at the end of its stage's block; never renumber.
enum class TkwDiagCode : std::uint16_t {
  // document core 0..
  dcXRefRebuilt = 0,
  dcStreamTruncated,
  dcStreamLengthWrong,
  dcBadObject,
  dcBadXRefEntry,
  dcHeaderOffset,
  dcStartXRefText,
  dcFilterError,
  dcDecodeCapReached,
  dcLimitReached,
  dcDecryptError,
  dcPageTreeLoop,
  // content 200..
  dcBadOperator = 200,
  dcUnknownOperator,
  dcBadOperands,
  dcFontMissing,
  dcFontBroken,
  dcImageBroken,
  dcCMapMissing,
  dcFormLoop,
  dcTooManyErrors,
  dcColorSpaceBroken,
  dcFunctionBroken,
  // formatter and writer 400..
  dcFontSubstituted = 400,
  dcPictureDropped,
  dcWriterFallback,
};

struct TkwDiagnostic {
  TkwDiagCode Code;
  std::int64_t Offset = -1;  // byte offset in the file or stream, -1 when none
  int ObjNum = -1;           // object number, -1 when none
};

// Collected diagnostics of one job; silent by default, capped so a broken file cannot
// fill memory with notes.
class TkwDiagnostics {
public:
  static constexpr std::size_t kMaxKept = 10'000;

  void Note(TkwDiagCode ACode, std::int64_t AOffset = -1, int AObjNum = -1) {
    ++FTotal;
    if (FItems.size() < kMaxKept) {
      FItems.push_back({ACode, AOffset, AObjNum});
    }
  }
  [[nodiscard]] int Count(TkwDiagCode ACode) const {
    int n = 0;
    for (const auto& d : FItems) {
      if (d.Code == ACode) ++n;
    }
    return n;
  }
  [[nodiscard]] const std::vector<TkwDiagnostic>& Items() const { return FItems; }
  [[nodiscard]] std::int64_t Total() const { return FTotal; }
  void Clear() {
    FItems.clear();
    FTotal = 0;
  }

private:
  std::vector<TkwDiagnostic> FItems;
  std::int64_t FTotal = 0;
};

}  // namespace qm
