#pragma once

#include <new>

#include "base/Cancelled.h"
#include "base/LimitExceeded.h"
#include "pdf/core/kwPDBaseObject.h"

namespace qm {

// How the reader and the content interpreter treat a failure they catch while reading a
// damaged part of a document. Builds with checks (no NDEBUG: the debug and sanitizer
// builds) let a failure that is not the document's fault leave, so that a bug shows up in
// the tests. Release builds treat it as damage: a user's page is not given up for it.
#ifdef NDEBUG
inline constexpr bool kTolerateInternalErrors = true;
#else
inline constexpr bool kTolerateInternalErrors = false;
#endif

// Called only from inside a handler. Returns when the exception being handled is one that
// is tolerated, so that the caller notes it and carries on: a document core error, a cap
// reached, and in release builds any other failure but memory running out. Otherwise
// rethrows it; running out of memory and a cancel always end the job.
inline void RethrowUnlessDamage() {
  try {
    throw;
  } catch (const EPDFCoreError&) {
    return;
  } catch (const ELimitExceeded&) {
    return;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const ECancelled&) {
    throw;
  } catch (...) {
    if constexpr (!kTolerateInternalErrors) throw;
  }
}

}  // namespace qm
