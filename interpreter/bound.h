// Test and fuzz builds only (VEK_STEP_BOUND): the run loop stops after this
// many steps. The product's loop has no bound.
#pragma once

#include <cstdint>

inline std::uint64_t step_budget = UINT64_MAX;
