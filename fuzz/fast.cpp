// Fuzzing target: the fast loop against the reference loop. From the start
// a run input describes, after as many steps as it says (or at a breakpoint,
// or before a key read the key hook holds back), both agree on output,
// registers, memory, the keys read, where they stopped and the steps taken.
#include "fuzz/common.h"
#include "interpreter/loops.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::RunInput in = fuzz::Decode(data, size);
  const auto fast = [](int n, Limits& limits) { return ExecVekFast(n, limits); };
  const auto reference = [](int n, Limits& limits) { return ExecVekReference(n, limits); };
  fuzz::Agree("fast and reference loop", fuzz::Run(in, fuzz::Bound::kSteps, fast),
              fuzz::Run(in, fuzz::Bound::kSteps, reference));
  return 0;
}
