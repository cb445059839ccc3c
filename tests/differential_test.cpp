// The fast loop against the reference loop: the same output, key reads,
// registers and memory after the same number of steps, on every example and on
// many random programs.
#include "tests/differential.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace {

using differential::Start;

void ExpectSame(const Start& s, std::uint64_t steps) {
  const auto want = differential::RunReference(s, steps);
  const auto got = differential::RunFast(s, steps);
  EXPECT_TRUE(got == want) << "after " << steps << " steps, " << testing::PrintToString(s.program)
                           << "\n  want " << differential::Describe(s, want) << "\n  got  "
                           << differential::Describe(s, got);
}

TEST(Differential, Examples) {
  for (const auto& entry : std::filesystem::directory_iterator(VEK_EXAMPLES)) {
    if (entry.path().extension() != ".vek") continue;
    std::ifstream file(entry.path(), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    // Every stopping point in the first steps, then the whole run.
    for (std::uint64_t steps = 0; steps < 3000; steps += 7) {
      ExpectSame({text.str(), {}, {}, "34\r"}, steps);
    }
    ExpectSame({text.str(), {}, {}, "34\r"}, 100'000'000);
  }
}

TEST(Differential, RandomPrograms) {
  const std::string instructions = "?=^!*<)@&%{}.,:;#N$(>-+";
  std::mt19937 rng(20261206);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  auto value = [&]() -> std::int32_t {
    switch (pick(4)) {
      case 0: return pick(701);      // a position or cell
      case 1: return pick(21) - 10;  // small, either sign
      case 2: return pick(2) ? INT32_MAX - pick(3) : INT32_MIN + pick(3);
      default: return static_cast<std::int32_t>(rng());
    }
  };
  for (int i = 0; i < 4000; ++i) {
    Start s;
    const int length = 1 + pick(i % 4 == 0 ? 700 : 40);
    for (int p = 0; p < length; ++p) {
      s.program += pick(8) != 0 ? instructions[pick(23)] : static_cast<char>(rng());
    }
    for (auto& r : s.regs) r = value();
    for (int k = pick(5); k > 0; --k) s.cells.emplace_back(pick(1025), value());
    for (int k = pick(6); k > 0; --k) s.keys += static_cast<char>(rng());
    ExpectSame(s, static_cast<std::uint64_t>(pick(5000)));
    if (HasFailure()) break;
  }
}

}  // namespace
