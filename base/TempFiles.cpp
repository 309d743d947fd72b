#include "base/TempFiles.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>

#include "base/Limits.h"

namespace qm {
namespace {

enum : int { kFree = 0, kFilling = 1, kHeld = 2 };

// A slot is taken by moving it from free to filling, and is readable by the handler only
// once it is held, so a signal never sees a half-written name.
struct TSlot {
  std::atomic<int> State{kFree};
  char Path[4096] = {};
};

std::array<TSlot, kMaxRegisteredTempFiles> gSlots;

}  // namespace

void RegisterTempFile(const std::string& APath) noexcept {
  if (APath.empty() || APath.size() >= sizeof(TSlot::Path)) return;
  for (TSlot& slot : gSlots) {
    int expected = kFree;
    if (!slot.State.compare_exchange_strong(expected, kFilling)) continue;
    std::memcpy(slot.Path, APath.c_str(), APath.size() + 1);
    slot.State.store(kHeld);
    return;
  }
}

void UnregisterTempFile(const std::string& APath) noexcept {
  for (TSlot& slot : gSlots) {
    int expected = kHeld;
    if (slot.State.load() != kHeld || APath != slot.Path) continue;
    if (slot.State.compare_exchange_strong(expected, kFilling)) {
      slot.Path[0] = '\0';
      slot.State.store(kFree);
      return;
    }
  }
}

void RemoveRegisteredTempFiles() noexcept {
  for (TSlot& slot : gSlots) {
    if (slot.State.load() == kHeld) (void)::unlink(slot.Path);
  }
}

}  // namespace qm
