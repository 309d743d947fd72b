#pragma once

#include "converter/kwFileConverter.h"

namespace qm {

// The converter for PDF input, used by every front end.
class TkwPDFConverter final : public TkwFileConverter {
public:
  using TkwFileConverter::TkwFileConverter;
};

}  // namespace qm
