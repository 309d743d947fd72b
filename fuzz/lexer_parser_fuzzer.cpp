// Parses every object of the input, with streams allowed, reading each stream it meets, and
// a second time as a content stream (streams off, inline images passed over).
#include <cstdint>

#include "base/Limits.h"
#include "pdf/core/kwPDParser.h"

namespace {

void Drain(qm::TkwPDBaseObject& AObj) {
  if (!AObj.IsStream()) return;
  auto& stream = static_cast<qm::TkwPDStream&>(AObj);
  try {
    (void)stream.ReadAll(std::int64_t{1} << 22);
  } catch (const qm::EPDFCoreError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  using namespace qm;
  for (bool streams : {true, false}) {
    auto data = TkwMemoryStream::View(std::span<const std::uint8_t>(Data, Size));
    TkwPDParser parser(nullptr, std::make_unique<TkwPDLexer>(TkwRef<TkwStream>(data)), streams);
    // Every call consumes at least one token, so the input bounds the loop; the count
    // bounds it again in case of a regression.
    for (std::size_t n = 0; n <= Size + 2; ++n) {
      auto obj = parser.GetObject("", 0, 0, 1, 0);
      if (obj->IsEOF()) break;
      Drain(*obj);
      if (obj->IsCommand("ID")) {
        TkwStream* s = parser.GetStream();
        for (int k = 0; k < 64 && s->GetChar() >= 0; ++k) {
        }
      }
    }
  }
  return 0;
}
