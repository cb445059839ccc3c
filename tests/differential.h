// Runs one program from a given start in the fast loop and in the reference
// loop for the same number of steps; shared by the differential tests and the
// run-loop fuzzer. Needs a bounded build of the fast loop and the fake console.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace differential {

struct Start {
  std::string program;  // at most 700 bytes
  std::int32_t regs[4] = {};
  std::vector<std::pair<int, std::int32_t>> cells;  // memory cells set before the run
  std::string keys;
};

struct Outcome {
  std::string output;
  std::int32_t regs[4] = {};
  std::vector<std::int32_t> memory;
  std::size_t keys_left = 0;
  bool operator==(const Outcome& o) const;
};

Outcome RunFast(const Start& start, std::uint64_t steps);
Outcome RunReference(const Start& start, std::uint64_t steps);
std::string Describe(const Start& start, const Outcome& outcome);

}  // namespace differential
