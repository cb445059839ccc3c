// Fuzzing target: native code against the reference loop. From the start a
// run input describes (any position), native code compiled for a bounded
// run and the reference loop agree after the jumps it allows (or before a
// key read the key hook holds back) on output, registers, memory, the keys
// read, where they stopped and the steps taken, whether the code runs in one
// slice or in slices of a few steps, going on where each ended (as the page
// runs it, where the code counts its steps). Where the reference loop came
// to the end within those jumps, so does native code unbounded, as the page
// runs it and as the product does, with the same outcome.
#include "native/native.h"

#include <cstdlib>
#include <optional>

#include "fuzz/common.h"
#include "interpreter/loops.h"
#include "native/slice.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (NativeCode() == nullptr) return 0;  // a build without a back end
  const fuzz::RunInput in = fuzz::Decode(data, size);
  const auto reference = [](int n, Limits& limits) { return ExecVekReference(n, limits); };
  // A build with a back end must run it: no fallback hides a broken one.
  const auto bounded = [](int n, Limits& limits) {
    const std::optional<int> at = ExecVekNative(n, limits);
    if (!at) std::abort();
    return *at;
  };
  const auto whole = [](int n, Limits& /*unused*/) {
    if (!ExecVekNative(n)) std::abort();
    return -1;
  };
  // Slices of 1 to 64 steps; unbounded, as the page runs it.
  const auto sliced = [budget = 1u + in.steps / 7 % 64](bool bounded) {
    return [=](int n, Limits& limits) {
      if (!bounded) limits.jumps = UINT64_MAX;
      std::uint64_t steps = 0;
      NativeRun run;
      if (!run.Compile(n, &limits, &steps)) std::abort();
      SliceEnd end = run.Slice(n, budget);
      while (end.reason == SliceEnd::Reason::kOutOfBudget) end = run.Slice(end.position, budget);
      limits.steps -= steps;
      return end.position;
    };
  };
  fuzz::Outcome want = fuzz::Run(in, fuzz::Bound::kJumps, reference);
  // Two compiles an input at most. A bounded run that comes to its end only
  // counts what the unbounded one does: every other input is enough for it;
  // else, for one in eight, the unbounded run the page makes, in slices.
  const bool in_slices = in.steps / 8 % 2 == 1;
  if (want.where != -1 || in.steps % 8 < 4) {
    fuzz::Agree(in_slices ? "bounded native code in slices and reference loop"
                          : "bounded native code and reference loop",
                in_slices ? fuzz::Run(in, fuzz::Bound::kJumps, sliced(true))
                          : fuzz::Run(in, fuzz::Bound::kJumps, bounded),
                want);
  } else if (in_slices && in.steps / 16 % 4 == 1) {
    fuzz::Agree("native code in slices and reference loop",
                fuzz::Run(in, fuzz::Bound::kJumps, sliced(false)), want);
  }
  if (want.where == -1) {
    want.steps = 0;  // an unbounded run counts none
    fuzz::Agree("native code and reference loop", fuzz::Run(in, fuzz::Bound::kJumps, whole), want);
  }
  return 0;
}
