// What the fuzzing targets share: standard input and output in memory, under
// the real console code, and the run targets' input, its decoding and the
// outcome of one run.
//
// A run input: steps (2 bytes), start (2 bytes: the position is it modulo
// 701), registers a..d (4 x 4 bytes), 8 memory cells (2 bytes index modulo
// 1025, 4 bytes value), the count of key bytes (1 byte), the keys, then the
// program text. What is missing counts as 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "interpreter/limits.h"
#include "interpreter/machine.h"

namespace fuzz {

// Standard input from now on, handed out at most block bytes a read, with
// nothing written yet and the console as in a new process.
void Feed(std::string_view in, std::size_t block);
// What has been written to standard output.
const std::string& Written();

struct RunInput {
  std::uint16_t steps = 0;
  std::uint16_t start = 0;
  std::int32_t regs[4] = {};
  struct Cell {
    std::uint16_t index = 0;
    std::int32_t value = 0;
  } cells[8];
  std::string_view keys;
  std::string_view text;

  int Position() const { return start % (kProgSize + 1); }
};
RunInput Decode(const std::uint8_t* data, std::size_t size);

// How a run is bounded: by the steps modulo 4096 (the fast loop), stopping
// at breakpoints on every 13th position with steps a multiple of 3; or by a
// 2048th as many jumps (native code, which counts its steps all the same).
// Either way, with odd steps, a key hook says that a key is waiting, or
// that none is, so that the run stops before its first key read.
enum class Bound { kSteps, kJumps };

// Output, registers, memory, the keys not read, where a bounded run stopped
// (-1: it came to its end) and the steps it took.
struct Outcome {
  std::string out;
  std::array<std::int32_t, 4> regs;
  std::array<std::int32_t, kMemCells> cells;
  std::size_t keys_left;
  int where;
  std::uint64_t steps;
  bool operator==(const Outcome&) const = default;
};

// Two runs that should agree and do not: says how, then aborts.
void Agree(const char* what, const Outcome& x, const Outcome& y);

// The parts of Run that are not the loop.
struct Bounds {
  Limits limits;
  bool marks[kProgSize + 1];
  std::int32_t key_waiting;
};
void Prepare(const RunInput& in, Bound bound, Bounds& bounds);
Outcome Collect(int where, std::uint64_t steps_taken);

// Runs loop(position, limits) -> where on the machine, the console and the
// limits the input describes. The output is flushed after every byte with
// steps a multiple of 5, as on a terminal; else, with start / 701 = q > 0,
// the buffer holds 65536 - 3q bytes already (not part of the output), so
// that a few steps fill it.
template <typename Loop>
Outcome Run(const RunInput& in, Bound bound, Loop loop) {
  Bounds bounds;
  Prepare(in, bound, bounds);
  const std::uint64_t steps = bounds.limits.steps;
  const int where = loop(in.Position(), bounds.limits);
  return Collect(where, steps - bounds.limits.steps);
}

}  // namespace fuzz
