#pragma once

#include <memory>

#include "app/JobLogic.h"

// The application's view of the engine: a job converter and the validating converter, both
// over TkwPDFConverter. Without the engine in the build both are missing and every job
// reports that the engine is not available.
namespace qm {

[[nodiscard]] std::unique_ptr<TJobConverter> MakeEngineConverter();
[[nodiscard]] std::unique_ptr<TPdfProbe> MakeEngineProbe();

}  // namespace qm
