// The run loops besides native code: the fast loop, which runs the plan
// (decode.h) and is always there to fall back on, and the reference loop,
// one switch per step, which the others are checked and measured against.
// The bounded forms return the position a run stopped at, to go on from, or
// -1 once it has ended.
#pragma once

#include "interpreter/limits.h"

void ExecVekFast(int n);
int ExecVekFast(int n, Limits& limits);  // steps, breakpoints, key_waiting

void ExecVekReference(int n);
int ExecVekReference(int n, Limits& limits);  // every limit
