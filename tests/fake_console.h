// A console for unit tests: output collected in a string, keys from a string.
#pragma once

#include <string>

namespace fake {
extern std::string output;
extern std::string keys;  // each byte one keystroke; -1 once they run out
void Reset();             // clears output, keys and the whole machine state
}  // namespace fake
