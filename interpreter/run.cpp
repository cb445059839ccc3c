#include "interpreter/instructions.h"
#include "interpreter/machine.h"

void ExecVek(int n) {
  // One loop over the current position; a jump is a plain assignment to n.
#define JUMP(target) \
  {                  \
    n = (target);    \
    continue;        \
  }
#define STOP() return
#define STEP(ch, name, effect) \
  case ch: {                   \
    effect;                    \
    break;                     \
  }
  while (n >= 0 && n < static_cast<int>(kProgSize)) {
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
}
