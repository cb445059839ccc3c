// Pages for generated code: readable and writable until sealed, then
// readable and executable, never both. nullptr or false where the system
// refuses.
#pragma once

#include <cstddef>

namespace native {

void* MapCode(std::size_t size);
// Also makes the instruction cache coherent with what was written.
bool SealCode(void* code, std::size_t size);
void UnmapCode(void* code, std::size_t size);

}  // namespace native
