#pragma once

namespace qm {

// Pixels per inch of the screen the engine lays pages out for. Linux offers no single
// answer, and the layout must not change from one machine to the next, so it is fixed.
inline constexpr int kScreenDpi = 96;

// The screen resolution, read once; always kScreenDpi.
[[nodiscard]] int GetScreenDpi();

}  // namespace qm
