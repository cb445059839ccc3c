// ExecVek: native code where it can be had, else the fast loop. Test and
// benchmark builds pin one loop: VEK_FAST_LOOP or VEK_REFERENCE_LOOP. (The web
// page's module has an ExecVek of its own, which runs the fast loop in slices.)
#include "interpreter/machine.h"
#include "interpreter/native.h"
#include "interpreter/reference.h"

void ExecVek(int n) {
#if defined(VEK_REFERENCE_LOOP)
  ExecVekReference(n);
#elif defined(VEK_FAST_LOOP)
  ExecVekFast(n);
#else
  if (!ExecVekNative(n)) ExecVekFast(n);
#endif
}
