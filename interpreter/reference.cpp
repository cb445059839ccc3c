#include "interpreter/reference.h"

#include "interpreter/bound.h"
#include "interpreter/instructions.h"
#include "interpreter/machine.h"

namespace {

enum class Bound { kNone, kSteps, kJumps };

// With a bound, stops after max steps (or before a key read with no key
// waiting), or instead of the jump past max jumps.
template <Bound kBound>
std::uint64_t Run(int n, std::uint64_t max) {
  std::uint64_t count = 0;
  // One loop over the current position; a jump is a plain assignment to n.
#define JUMP(target)                                           \
  {                                                            \
    if (kBound == Bound::kJumps && count++ == max) return max; \
    n = (target);                                              \
    continue;                                                  \
  }
#define STOP()  \
  stop_at = -1; \
  return count
#define STEP(ch, name, kind, effect) \
  case ch: {                   \
    effect;                    \
    break;                     \
  }
  while (n >= 0 && n < static_cast<int>(kProgSize)) {
    if constexpr (kBound == Bound::kSteps) {
      const bool key = key_hook != nullptr && ReadsKey(prog[n]);
      const bool wall = stop_before != nullptr && count > 0 && stop_before[n];
      const bool changed = step_hook != nullptr && count > 0 && !step_hook();
      if (count == max || (key && !key_hook()) || wall || changed) {
        stop_at = n;
        return count;
      }
      ++count;
      if (step_counts != nullptr) ++step_counts[n];
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
  stop_at = -1;
  return count;
}

}  // namespace

void ExecVekReference(int n) {
  Run<Bound::kNone>(n, 0);
}

std::uint64_t ExecVekSteps(int n, std::uint64_t max_steps) {
  return Run<Bound::kSteps>(n, max_steps);
}

void ExecVekJumps(int n, std::uint64_t max_jumps) {
  Run<Bound::kJumps>(n, max_jumps);
}
