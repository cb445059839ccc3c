// ExecVek: native code where it can be had, else the fast loop. Test and
// benchmark builds pin one loop: VEK_FAST_LOOP or VEK_REFERENCE_LOOP; the web
// page runs the fast loop in slices (VEK_SLICED_LOOP).
#include "interpreter/machine.h"
#include "interpreter/native.h"
#include "interpreter/reference.h"
#if defined(VEK_SLICED_LOOP)
#include "console/platform.h"
#include "interpreter/bound.h"
#endif

void ExecVek(int n) {
#if defined(VEK_REFERENCE_LOOP)
  ExecVekReference(n);
#elif defined(VEK_FAST_LOOP)
  ExecVekFast(n);
#elif defined(VEK_SLICED_LOOP)
  // Between slices the platform keeps the page alive, pauses, steps, waits
  // for a key (a slice stops before a key read with none waiting) or stops.
  key_hook = platform::KeyWaiting;
  std::uint64_t taken = 0;
  while (const std::uint64_t budget = platform::NextSlice(n, taken)) {
    step_budget = budget;
    ExecVekFast(n);
    taken = budget - step_budget;
    n = stop_at;
  }
  key_hook = nullptr;
#else
  if (!ExecVekNative(n)) ExecVekFast(n);
#endif
}
