// The run loops besides the reference: native code where it can be had, and
// the fast loop (run.cpp) that is always there to fall back on.
#pragma once

// The back end this build compiles prog with, if any. Apple platforms (whose
// executable pages need MAP_JIT and per-thread write protection) and Windows
// on ARM (not built or run here) keep the fast loop. Tests use it to tell
// native code from the fallback.
#if (defined(__x86_64__) || defined(_M_X64)) && !defined(__APPLE__)
#define VEK_NATIVE_X86_64 1
inline constexpr const char* kNativeCode = "x86-64";
#elif (defined(__i386__) || defined(_M_IX86)) && !defined(__APPLE__)
#define VEK_NATIVE_I686 1
inline constexpr const char* kNativeCode = "i686";
#elif defined(__aarch64__) && !defined(__APPLE__) && !defined(_WIN32)
#define VEK_NATIVE_AARCH64 1
inline constexpr const char* kNativeCode = "aarch64";
#else
inline constexpr const char* kNativeCode = nullptr;
#endif

// Compiles prog to machine code and runs it from position n; false, with
// nothing run, where native code cannot be had (no back end, executable
// memory refused, or code that does not fit).
bool ExecVekNative(int n);
void ExecVekFast(int n);
