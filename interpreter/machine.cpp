#include "interpreter/machine.h"

#include <algorithm>
#include <iterator>

std::int32_t a, b, c, d;
std::int32_t tmp;
char prog[kProgSize];
std::int32_t mem[kMemCells];

void ResetMachine() {
  a = b = c = d = tmp = 0;
  std::fill(std::begin(prog), std::end(prog), '\0');
  std::fill(std::begin(mem), std::end(mem), 0);
}
