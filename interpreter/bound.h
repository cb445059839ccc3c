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
