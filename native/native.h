// Native code: the plan (decode.h) compiled once per run by the build's back
// end into fresh pages, which are sealed read+execute (never writable and
// executable at once), run, and unmapped.
#pragma once

#include <optional>

#include "interpreter/limits.h"

// Runs prog from position n as native code; false, with nothing run, where
// it cannot be had (no back end, executable memory refused, or code that
// does not fit).
bool ExecVekNative(int n);
// The same, bounded: the jump past limits.jumps ends the run instead, and
// with limits.key_waiting the run stops before a key read while no key is
// waiting. Returns where it stopped, to go on from, or -1 once it has ended;
// nothing, with nothing run, where native code cannot be had.
std::optional<int> ExecVekNative(int n, Limits& limits);
// The back end's name ("x86-64", "aarch64", ...), or nullptr where the build
// has none: tests tell native code from the fallback by it.
const char* NativeCode();
