#pragma once

#include <atomic>
#include <stdexcept>

namespace qm {

// The flag a front end sets to stop a job; the engine only reads it. Lock-free, so a
// signal handler may set it.
using TkwCancelFlag = std::atomic<bool>;
static_assert(TkwCancelFlag::is_always_lock_free, "a cancel flag must be usable from a signal handler");

// Raised inside the engine (between operators, glyphs, pages) when the job's cancel flag is
// set. The converter turns it into its own EConversionCancelled; nothing catches it as
// damage.
class ECancelled : public std::runtime_error {
public:
  ECancelled() : std::runtime_error("Conversion cancelled") {}
};

// Raises ECancelled when AFlag is set; a null flag never cancels.
inline void CheckCancelled(const TkwCancelFlag* AFlag) {
  if (AFlag != nullptr && AFlag->load(std::memory_order_relaxed)) throw ECancelled();
}

}  // namespace qm
