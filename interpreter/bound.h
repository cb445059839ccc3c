// Test and fuzz builds only (VEK_STEP_BOUND): the fast loop stops after
// step_budget steps, the native code instead of its jump_budget + 1st jump.
// The product has no bound.
#pragma once

#include <cstdint>

inline std::uint64_t step_budget = UINT64_MAX;
inline std::uint64_t jump_budget = UINT64_MAX;
