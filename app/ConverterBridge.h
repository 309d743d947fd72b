#pragma once

#include <functional>
#include <memory>

#include "app/JobLogic.h"

// The application's view of the engine: a job converter and the validating converter, both
// over TkwPDFConverter.
namespace qm {

class TkwConverterFactory;
// Builds the pipeline factory of each job's converter; empty: the production pipeline.
using TEngineFactoryMaker = std::function<std::unique_ptr<TkwConverterFactory>()>;

[[nodiscard]] std::unique_ptr<TJobConverter> MakeEngineConverter(TEngineFactoryMaker AFactory = {});
[[nodiscard]] std::unique_ptr<TPdfProbe> MakeEngineProbe();

}  // namespace qm
