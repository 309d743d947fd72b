#pragma once

#include <new>

#include "base/LimitExceeded.h"
#include "pdf/core/PDBaseObject.h"

namespace qm {

// Builds with checks (no NDEBUG: the debug and sanitizer builds) let a failure that is
// not the document's fault leave the interpreter, so that a bug shows up in the tests.
// Release builds treat it as damage: a user's page is not given up for it.
#ifdef NDEBUG
inline constexpr bool kTolerateInternalErrors = true;
#else
inline constexpr bool kTolerateInternalErrors = false;
#endif

// Called only from inside a handler. Returns when the exception being handled is one the
// interpreter tolerates, so that the caller notes it and carries on: a document core
// error, a cap reached, and in release builds any other failure but memory running out.
// Otherwise rethrows it; running out of memory always ends the job.
inline void RethrowUnlessDamage() {
  try {
    throw;
  } catch (const EPDFCoreError&) {
    return;
  } catch (const ELimitExceeded&) {
    return;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (...) {
    if constexpr (!kTolerateInternalErrors) throw;
  }
}

}  // namespace qm
