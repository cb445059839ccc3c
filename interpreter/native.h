// The run loops besides the reference: native code where it can be had, and
// the fast loop (run.cpp) that is always there to fall back on.
#pragma once

// The processor this build compiles native code for; nullptr where the fast
// loop always runs. Tests use it to tell native code from the fallback.
#if defined(__x86_64__) || defined(_M_X64)
inline constexpr const char* kNativeCode = "x86-64";
#else
inline constexpr const char* kNativeCode = nullptr;
#endif

// Compiles prog to x86-64 machine code and runs it from position n; false,
// with nothing run, where native code cannot be had (another processor, or
// executable memory refused).
bool ExecVekNative(int n);
void ExecVekFast(int n);
