#pragma once

#include "base/kwRef.h"
#include "pdf/core/kwStream.h"

// Factories of the filters that the chain builder creates but that live in their own units.
// Each returns the filter stream over ASource (which it shares). AParms is the filter's
// parameter dictionary or nullptr; AStreamDict is the stream's own dictionary or nullptr.
// Neither dictionary is kept after the call.
namespace qm {

class TkwPDDictionary;

[[nodiscard]] TkwRef<TkwStream> MakeDCTDecode(TkwRef<TkwStream> ASource,
                                              const TkwPDDictionary* AParms,
                                              const TkwPDDictionary* AStreamDict);
[[nodiscard]] TkwRef<TkwStream> MakeCCITTFaxDecode(TkwRef<TkwStream> ASource,
                                                   const TkwPDDictionary* AParms,
                                                   const TkwPDDictionary* AStreamDict);
[[nodiscard]] TkwRef<TkwStream> MakeJBIG2Decode(TkwRef<TkwStream> ASource,
                                                const TkwPDDictionary* AParms,
                                                const TkwPDDictionary* AStreamDict);
[[nodiscard]] TkwRef<TkwStream> MakeJPXDecode(TkwRef<TkwStream> ASource,
                                              const TkwPDDictionary* AParms,
                                              const TkwPDDictionary* AStreamDict);

}  // namespace qm
