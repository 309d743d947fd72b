// The first line of the input is a stream dictionary (Filter, DecodeParms); the rest is the
// data decoded through the chain it names.
#include <cstdint>
#include <cstring>

#include "pdf/core/kwPDParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  using namespace qm;
  const auto* eol = static_cast<const std::uint8_t*>(std::memchr(Data, '\n', Size));
  const std::size_t head = eol != nullptr ? static_cast<std::size_t>(eol - Data) : Size;
  TkwPDParser parser(nullptr,
                     std::make_unique<TkwPDLexer>(
                         TkwMemoryStream::View(std::span<const std::uint8_t>(Data, head))),
                     false);
  auto obj = parser.GetObject();
  if (!obj->IsDict()) return 0;
  std::unique_ptr<TkwPDDictionary> dict(static_cast<TkwPDDictionary*>(obj.release()));
  const std::size_t start = head < Size ? head + 1 : Size;
  auto data = TkwMemoryStream::View(std::span<const std::uint8_t>(Data + start, Size - start));
  try {
    auto stream = TkwPDFilterManager::GetFilter(std::move(dict), TkwRef<TkwStream>(data));
    stream->GetStream()->SetDecodeCap(std::int64_t{1} << 24);
    stream->Reset();
    TkwStream* s = stream->GetStream();
    for (int i = 0; i < (1 << 24) && s->GetChar() >= 0; ++i) {
      (void)s->LookChar();
    }
  } catch (const EPDFCoreError&) {
  }
  return 0;
}
