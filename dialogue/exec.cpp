// The console program's ExecVek: native code where it can be had, else the
// fast loop. Test and benchmark builds pin one loop; CMake says which
// (VEK_LOOP).
#include "interpreter/loops.h"
#include "interpreter/machine.h"
#include "native/native.h"

namespace {
enum class Loop { kNative, kFast, kReference };
constexpr Loop kLoop = Loop::VEK_LOOP;
}  // namespace

void ExecVek(int n) {
  if constexpr (kLoop == Loop::kReference) {
    ExecVekReference(n);
  } else if (kLoop == Loop::kFast || !ExecVekNative(n)) {
    ExecVekFast(n);
  }
}
