// Fuzzing target: native code against the reference loop. From the start a
// run input describes (any position), native code compiled for a bounded
// run and the reference loop agree after the jumps it allows (or before a
// key read the key hook holds back) on output, registers, memory, the keys
// read, where they stopped and the steps taken. Where the reference loop came
// to the end within those jumps, so does native code as the product runs it,
// unbounded, with the same outcome.
#include "native/native.h"

#include <cstdlib>
#include <optional>

#include "fuzz/common.h"
#include "interpreter/loops.h"

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
  fuzz::Outcome want = fuzz::Run(in, fuzz::Bound::kJumps, reference);
  // A bounded run that comes to its end only counts what the unbounded one
  // does: every other input is enough for it.
  if (want.where != -1 || in.steps % 8 < 4) {
    fuzz::Agree("bounded native code and reference loop",
                fuzz::Run(in, fuzz::Bound::kJumps, bounded), want);
  }
  if (want.where == -1) {
    want.steps = 0;  // an unbounded run counts none
    fuzz::Agree("native code and reference loop", fuzz::Run(in, fuzz::Bound::kJumps, whole), want);
  }
  return 0;
}
