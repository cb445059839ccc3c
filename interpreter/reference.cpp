// The straightforward run loop: one switch per step over prog itself.
#include "interpreter/instructions.h"
#include "interpreter/loops.h"
#include "interpreter/machine.h"

namespace {

template <bool kBounded>
int Run(int n, Limits* limits) {
  std::uint64_t steps = 0;
  std::uint64_t jumps = 0;
  if constexpr (kBounded) steps = limits->steps, jumps = limits->jumps;
  const auto stop = [&](int at) {
    if constexpr (kBounded) limits->steps = steps, limits->jumps = jumps;
    return at;
  };
  // One loop over the current position; a jump is a plain assignment to n.
#define JUMP(target)                                  \
  {                                                   \
    if constexpr (kBounded) {                         \
      if (jumps == 0) return stop(n); /* not taken */ \
      --jumps;                                        \
    }                                                 \
    n = (target);                                     \
    continue;                                         \
  }
#define STOP() return stop(-1)
#define STEP(ch, name, kind, effect) \
  case ch: {                         \
    effect;                          \
    break;                           \
  }
  while (n >= 0 && n < static_cast<int>(kProgSize)) {
    if constexpr (kBounded) {
      const bool first = steps == limits->steps;
      const bool key = limits->key_waiting != nullptr && ReadsKey(prog[n]);
      const bool marked = limits->breakpoints != nullptr && !first && limits->breakpoints[n];
      const bool changed = limits->go_on != nullptr && !first && !limits->go_on(limits->context);
      if (steps == 0 || (key && limits->key_waiting(limits->context) == 0) || marked || changed) {
        return stop(n);
      }
      --steps;
      if (limits->counts != nullptr) ++limits->counts[n];
    }
    switch (prog[n]) {
      VEK_INSTRUCTIONS(STEP)
      VEK_CONTROL(STEP)
      default: break;  // every other byte is a no-op
    }
    ++n;
  }
#undef STEP
#undef STOP
#undef JUMP
  return stop(-1);
}

}  // namespace

void ExecVekReference(int n) {
  Run<false>(n, nullptr);
}

int ExecVekReference(int n, Limits& limits) {
  return Run<true>(n, &limits);
}
