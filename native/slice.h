// Native code for the page: compiled for a run that goes on from position n
// with the machine as it is now, then run in slices between the page's
// turns. Only code with a dispatch loop that counts steps (the WebAssembly
// back end, the page's) ends a slice when its budget runs out; machine code
// runs each slice until the run ends or stops.
#pragma once

#include <cstdint>

#include "interpreter/limits.h"

// Why a slice ended, and where the run goes on.
struct SliceEnd {
  enum class Reason : std::uint8_t {
    kEnded,        // position is -1
    kStopped,      // before a key read, or instead of the jump past the limit
    kOutOfBudget,  // the slice ran its steps
  };
  int position;
  Reason reason;
};

// The code leaves before a key read while limits->key_waiting says that no
// key is waiting, counts jumps where limits->jumps is not UINT64_MAX, and
// adds the steps it runs to *steps (when steps is not nullptr).
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
  // stopped, for about budget more steps where it counts them.
  SliceEnd Slice(int n, std::uint32_t budget);
  // Runs the code a while from position n where nothing it does is seen,
  // for an engine that optimises code once it has run.
  void Rehearse(int n);
  void Drop();

 private:
  void* code_ = nullptr;
};

namespace native {
// The code's own result where a slice's budget ran out: the position it
// was going to, with this bit set (positions are below it).
inline constexpr std::int32_t kOutOfBudgetBit = 1024;
}  // namespace native
