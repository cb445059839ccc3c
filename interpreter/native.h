// The run loops besides the reference: native code where it can be had, and
// the fast loop (run.cpp) that is always there to fall back on.
#pragma once

// Compiles prog to x86-64 machine code and runs it from position n; false,
// with nothing run, where native code cannot be had (another processor, or
// executable memory refused).
bool ExecVekNative(int n);
void ExecVekFast(int n);
