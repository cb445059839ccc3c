// ExecVek for vek_native, the test build that proves native code ran: where
// the back end this build has cannot run a program, the run fails loudly
// instead of falling back to the fast loop.
#include <cstdio>
#include <cstdlib>

#include "console/console.h"
#include "interpreter/machine.h"
#include "native/native.h"

void ExecVek(int n) {
  if (ExecVekNative(n)) return;
  console::Close();
  std::fprintf(stderr, "vek_native: no native code ran (%s back end)\n", NativeCode());
  std::exit(3);
}
