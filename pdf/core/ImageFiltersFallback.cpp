// Stand-ins for the image and Crypt filters, linked only while their units are missing from
// the link (they live in their own archive after qm_pdf_core, and are weak besides). They
// pass the data through unchanged.
#include "pdf/core/ImageFilters.h"

namespace qm {

__attribute__((weak)) TkwRef<TkwStream> MakeDCTDecode(TkwRef<TkwStream> ASource,
                                                      const TkwPDDictionary*,
                                                      const TkwPDDictionary*) {
  return ASource;
}
__attribute__((weak)) TkwRef<TkwStream> MakeCCITTFaxDecode(TkwRef<TkwStream> ASource,
                                                           const TkwPDDictionary*,
                                                           const TkwPDDictionary*) {
  return ASource;
}
__attribute__((weak)) TkwRef<TkwStream> MakeJBIG2Decode(TkwRef<TkwStream> ASource,
                                                        const TkwPDDictionary*,
                                                        const TkwPDDictionary*) {
  return ASource;
}
__attribute__((weak)) TkwRef<TkwStream> MakeJPXDecode(TkwRef<TkwStream> ASource,
                                                      const TkwPDDictionary*,
                                                      const TkwPDDictionary*) {
  return ASource;
}
__attribute__((weak)) TkwRef<TkwStream> MakeCryptDecode(TkwRef<TkwStream> ASource,
                                                        const TkwPDDictionary*,
                                                        const TkwPDDictionary*) {
  return ASource;
}

}  // namespace qm
