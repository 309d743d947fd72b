#pragma once

#include <functional>
#include <memory>

#include "app/JobLogic.h"

// The application's view of the engine: a job converter and the validating converter, both
// over TkwPDFConverter. Without the engine in the build both are missing and every job
// reports that the engine is not available.
namespace qm {

class TkwConverterFactory;
// Builds the pipeline factory of each job's converter; empty: the production pipeline.
using TEngineFactoryMaker = std::function<std::unique_ptr<TkwConverterFactory>()>;

[[nodiscard]] std::unique_ptr<TJobConverter> MakeEngineConverter(TEngineFactoryMaker AFactory = {});
[[nodiscard]] std::unique_ptr<TPdfProbe> MakeEngineProbe();

}  // namespace qm
