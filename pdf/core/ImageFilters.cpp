// The image filters that the chain builder creates by name.
#include "pdf/core/ImageFilters.h"

#include "pdf/core/kwCCITTFaxDecode.h"
#include "pdf/core/kwDCTDecode.h"
#include "pdf/core/kwJBIG2Decode.h"
#include "pdf/core/kwJPXDecode.h"
#include "pdf/core/kwPDBaseObject.h"

namespace qm {

TkwRef<TkwStream> MakeDCTDecode(TkwRef<TkwStream> ASource, const TkwPDDictionary* AParms,
                                const TkwPDDictionary*) {
  const int transform = AParms ? AParms->LookUpInt("ColorTransform", -1) : -1;
  return TkwRef<TkwStream>(new TkwDCTDecode(std::move(ASource), transform));
}

TkwRef<TkwStream> MakeCCITTFaxDecode(TkwRef<TkwStream> ASource, const TkwPDDictionary* AParms,
                                     const TkwPDDictionary*) {
  return TkwRef<TkwStream>(new TkwCCITTFaxDecode(std::move(ASource), TkwCCITTFaxDecode::ReadParams(AParms)));
}

TkwRef<TkwStream> MakeJBIG2Decode(TkwRef<TkwStream> ASource, const TkwPDDictionary* AParms,
                                  const TkwPDDictionary* AStreamDict) {
  // The globals live in the filter's parameters; some producers put them in the stream's
  // own DecodeParms only, which is what AParms is in a one-filter chain anyway.
  std::string globals;
  const TkwPDDictionary* parms = AParms;
  if (!parms && AStreamDict) parms = AStreamDict->LookUpDict("DecodeParms");
  if (parms) {
    if (TkwPDStream* g = parms->LookUpStream("JBIG2Globals")) {
      try {
        globals = g->ReadAll(kMaxDecodedBytes);
      } catch (const EPDFCoreError&) {
        globals.clear();  // unreadable globals: decode the page without them
      }
    }
  }
  return TkwRef<TkwStream>(new TkwJBIG2Decode(std::move(ASource), std::move(globals)));
}

TkwRef<TkwStream> MakeJPXDecode(TkwRef<TkwStream> ASource, const TkwPDDictionary*, const TkwPDDictionary*) {
  return TkwRef<TkwStream>(new TkwJPXDecode(std::move(ASource)));
}

}  // namespace qm
