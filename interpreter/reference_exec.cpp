// vek_reference: the interpreter with the straightforward loop, run by the
// tests and measured by the benchmark against the product.
#include "interpreter/machine.h"
#include "interpreter/reference.h"

void ExecVek(int n) {
  ExecVekReference(n);
}
