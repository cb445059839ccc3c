// Standard input and output in memory, and no terminal, under the real console
// operations: the harnesses' stand-in for the platform.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace memory {
// Starts afresh, as a new process would, with `in` as all of standard input,
// handed out at most `block` bytes a read.
void Reset(std::string_view in, std::size_t block);
std::size_t InputLeft();  // bytes never read
extern std::string out;
}  // namespace memory
