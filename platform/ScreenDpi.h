#pragma once

#include "base/Units.h"

namespace qm {

// The screen resolution, read once; always kScreenDpi.
[[nodiscard]] int GetScreenDpi();

}  // namespace qm
