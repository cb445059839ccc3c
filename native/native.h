// Native code: the plan (decode.h) compiled once per run by the build's back
// end into fresh pages, which are sealed read+execute (never writable and
// executable at once), run, and unmapped.
#pragma once

#include <cstdint>

#include "interpreter/limits.h"

// Runs prog from position n as native code; false, with nothing run, where
// it cannot be had (no back end, executable memory refused, or code that
// does not fit).
bool ExecVekNative(int n);
// The same, bounded: the jump past limits.jumps ends the run instead, and
// with limits.key_waiting the run stops before a key read while no key is
// waiting. Returns where it stopped, to go on from, -1 once it has ended, or
// kNotRun.
inline constexpr int kNotRun = -2;
// Added to where a slice stopped when its budget ran out.
inline constexpr int kOutOfBudget = 1024;
int ExecVekNative(int n, Limits& limits);
// The back end's name ("x86-64", "aarch64", ...), or nullptr where the build
// has none: tests tell native code from the fallback by it.
const char* NativeCode();

// Native code compiled for a run that goes on from position n with the
// machine as it is now, run in slices between the page's turns. It leaves
// before a key read while limits->key_waiting says that no key is waiting,
// counts jumps where limits->jumps is not UINT64_MAX, and adds the steps it
// runs to *steps (when steps is not nullptr).
class NativeRun {
 public:
  NativeRun() = default;
  NativeRun(const NativeRun&) = delete;
  NativeRun& operator=(const NativeRun&) = delete;
  ~NativeRun();

  // False where native code cannot be had.
  bool Compile(int n, Limits* limits, std::uint64_t* steps);
  bool Ready() const { return code_ != nullptr; }
  // Runs from position n, which must be where the code started or last
  // stopped, for about budget more steps where it counts them: returns where
  // it stopped, to go on from (kOutOfBudget added where the budget ran out),
  // or -1 once the run has ended.
  int Slice(int n, std::uint32_t budget);
  void Drop();

 private:
  void* code_ = nullptr;
};
