#include "interpreter/reference.h"

#include "interpreter/instructions.h"
#include "interpreter/machine.h"

namespace {

template <bool kBounded>
std::uint64_t Run(int n, std::uint64_t max_steps) {
  std::uint64_t steps = 0;
  // One loop over the current position; a jump is a plain assignment to n.
#define JUMP(target) \
  {                  \
    n = (target);    \
    continue;        \
  }
#define STOP() return steps
#define STEP(ch, name, effect) \
  case ch: {                   \
    effect;                    \
    break;                     \
  }
  while (n >= 0 && n < static_cast<int>(kProgSize)) {
    if constexpr (kBounded) {
      if (steps == max_steps) break;
      ++steps;
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
  return steps;
}

}  // namespace

void ExecVekReference(int n) {
  Run<false>(n, 0);
}

std::uint64_t ExecVekSteps(int n, std::uint64_t max_steps) {
  return Run<true>(n, max_steps);
}
