// vek_reference: the interpreter with the straightforward loop, measured
// against the product's loop as a whole process.
#include "interpreter/machine.h"
#include "interpreter/reference.h"

void ExecVek(int n) {
  ExecVekReference(n);
}
