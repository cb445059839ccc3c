// The VEK machine: four registers, a scratch word, the program text and the
// memory, one of each per process, and the run loop that executes the text.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kProgSize = 700;   // positions 0..699; 700 ends the run
inline constexpr std::size_t kMemCells = 1025;  // cells 0..1024

extern std::int32_t a, b, c, d;
extern std::int32_t tmp;  // only the swaps { and } go through it
extern char prog[kProgSize];
extern std::int32_t mem[kMemCells];

// Every field as at process start: for whatever runs more than one dialogue in
// one process (the fuzzing harness, the web page).
void ResetMachine();

// Runs prog from position n until position 700 is reached or ^ stops it.
// A jump outside 0..700 ends the run like a jump to 700.
// A seam each program fills with its own choice of loop: the console
// program's dialogue/exec.cpp, the page's web/module.cpp, the dialogue's
// fuzzing target fuzz/dialogue.cpp and tests/native/only.cpp.
void ExecVek(int n);
