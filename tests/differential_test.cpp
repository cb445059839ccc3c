// The fast loop against the reference loop: the same output, key reads,
// registers and memory after the same number of steps, on every example and on
// many random programs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "console/console.h"
#include "interpreter/bound.h"
#include "interpreter/machine.h"
#include "interpreter/reference.h"
#include "tests/fake_console.h"

namespace {

struct Start {
  std::string program;
  std::int32_t regs[4];
  std::vector<std::pair<int, std::int32_t>> cells;
  std::string keys;
};

struct Outcome {
  std::string output;
  std::int32_t regs[4];
  std::vector<std::int32_t> memory;
  std::size_t keys_left;
  bool operator==(const Outcome& o) const {
    return output == o.output && std::equal(regs, regs + 4, o.regs) && memory == o.memory &&
           keys_left == o.keys_left;
  }
};

template <typename Run>
Outcome Execute(const Start& s, Run run) {
  fake::Reset();
  std::copy(s.program.begin(), s.program.end(), prog);
  a = s.regs[0], b = s.regs[1], c = s.regs[2], d = s.regs[3];
  for (const auto& [cell, value] : s.cells) mem[cell] = value;
  fake::keys = s.keys;
  run();
  console::Flush();
  return {fake::output, {a, b, c, d}, {std::begin(mem), std::end(mem)}, fake::keys.size()};
}

void ExpectSame(const Start& s, std::uint64_t steps) {
  const Outcome want = Execute(s, [&] { ExecVekSteps(0, steps); });
  const Outcome got = Execute(s, [&] {
    step_budget = steps;
    ExecVek(0);
    step_budget = UINT64_MAX;
  });
  EXPECT_TRUE(got == want) << "program " << testing::PrintToString(s.program)
                           << " start a=" << s.regs[0] << " b=" << s.regs[1] << " c=" << s.regs[2]
                           << " d=" << s.regs[3] << " after " << steps
                           << " steps\n  want a=" << want.regs[0] << " b=" << want.regs[1]
                           << " c=" << want.regs[2] << " d=" << want.regs[3] << " output "
                           << want.output.size() << "\n  got  a=" << got.regs[0]
                           << " b=" << got.regs[1] << " c=" << got.regs[2] << " d=" << got.regs[3]
                           << " output " << got.output.size();
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
