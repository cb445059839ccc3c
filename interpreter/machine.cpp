#include "interpreter/machine.h"

std::int32_t a, b, c, d;
std::int32_t tmp;
char prog[kProgSize];
std::int32_t mem[kMemCells];
