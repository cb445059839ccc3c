// Test, fuzz and web builds only (VEK_STEP_BOUND): the fast loop stops after
// step_budget steps, the native code instead of its jump_budget + 1st jump.
// The product has no bound.
#pragma once

#include <cstdint>

inline std::uint64_t step_budget = UINT64_MAX;
inline std::uint64_t jump_budget = UINT64_MAX;
// Where a bounded run of the fast or the reference loop stopped: the
// position to go on from, or -1 once the run has ended.
inline int stop_at = -1;
// If set, the fast and the reference loop stop before a key read while it
// says that no key is waiting.
inline bool (*key_hook)() = nullptr;
// If set (701 entries), the fast and the reference loop stop before running a
// marked position, except the one they were started at: breakpoints.
inline const bool* stop_before = nullptr;
// The web page's counting loop, for its heat map and watchpoints. If set, the
// reference loop's step-bounded run counts each step it runs in
// step_counts[position] (700 entries), and calls step_hook before each step
// but the first: false stops the run there instead.
inline std::uint32_t* step_counts = nullptr;
inline bool (*step_hook)() = nullptr;
