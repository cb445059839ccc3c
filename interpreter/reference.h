// The straightforward run loop, one switch per step. It is the reference the
// fast loop (run.cpp) is checked and measured against.
#pragma once

#include <cstdint>

void ExecVekReference(int n);

// The same, stopping after at most max_steps steps; returns the steps taken.
std::uint64_t ExecVekSteps(int n, std::uint64_t max_steps);
// The same, stopping instead of taking the jump past max_jumps jumps.
void ExecVekJumps(int n, std::uint64_t max_jumps);
