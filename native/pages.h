// Pages for generated code: readable and writable until sealed, then
// readable and executable, never both. nullptr or false where the system
// refuses.
#pragma once

#include <cstddef>
#include <cstdint>

namespace native {

void* MapCode(std::size_t size);
// Also makes the instruction cache coherent with what was written.
bool SealCode(void* code, std::size_t size);
// Runs sealed code from position start, for at most budget rounds of the
// dispatch loop where it has one: returns its result.
int RunCode(void* code, int start, std::uint32_t budget);
// Runs sealed code a while from position start on a machine of its own,
// where nothing it does is seen, for a system that optimises code once it
// has run (the page's engine); elsewhere nothing.
void RehearseCode(void* code, int start);
void UnmapCode(void* code, std::size_t size);

}  // namespace native
