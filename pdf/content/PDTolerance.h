#pragma once

#include <new>
#define QM_TRACE_TOLERATED 1 // TEMP
#ifdef QM_TRACE_TOLERATED
#include <cstdio>
#include <typeinfo>
#endif

#include "base/LimitExceeded.h"
#include "pdf/core/PDBaseObject.h"

namespace qm {

// Builds with checks (no NDEBUG: the sanitizer and debug builds) let a failure that is not
// the document's fault leave the interpreter, so that a bug shows up in the tests. Release
// builds treat it as damage: a user's page is not given up for it.
#ifdef NDEBUG
inline constexpr bool kTolerateInternalErrors = true;
#else
inline constexpr bool kTolerateInternalErrors = false;
#endif

// Called only from inside a handler. Returns when the exception being handled is one the
// interpreter tolerates (the caller notes it and carries on): a document core error, a
// cap reached, or in release builds any other failure but running out of memory. Otherwise it rethrows
// it: out of memory always ends the job.
inline void RethrowUnlessDamage() {
  try {
    throw;
  } catch (const EPDFCoreError&) {
    return;
  } catch (const ELimitExceeded&) {
    return;
  } catch (const std::bad_alloc&) {
#ifdef QM_TRACE_TOLERATED
    std::fprintf(stderr, "TOLERATED-OOM\n");
#endif
    throw;
  } catch (...) {
#ifdef QM_TRACE_TOLERATED
    try { throw; } catch (const std::exception& e) { std::fprintf(stderr, "TOLERATED %s: %s\n", typeid(e).name(), e.what()); }
#endif
    if constexpr (!kTolerateInternalErrors) throw;
  }
}

}  // namespace qm
