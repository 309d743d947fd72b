// Stand-in for the Crypt filter of a stream's Filter array, linked only while no Crypt unit
// is in the link (it lives in its own archive after qm_pdf_core, and is weak besides). It
// passes the data through unchanged. The image filters are no longer stood in for: their
// units (ImageFilters.cpp and the decoders) are always part of qm_pdf_core.
#include "pdf/core/ImageFilters.h"

namespace qm {

__attribute__((weak)) TkwRef<TkwStream> MakeCryptDecode(TkwRef<TkwStream> ASource,
                                                        const TkwPDDictionary*,
                                                        const TkwPDDictionary*) {
  return ASource;
}

}  // namespace qm
