// ExecVek on prepared program texts: effect of every instruction on the state.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "console/console.h"
#include "interpreter/machine.h"
#include "tests/fake_console.h"

namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

struct Regs {
  std::int32_t a = 0, b = 0, c = 0, d = 0;
  bool operator==(const Regs&) const = default;
};

struct Case {
  const char* name;
  std::string program;
  Regs start;
  Regs want;
  std::string out;
  std::string keys = {};
  std::vector<std::pair<int, std::int32_t>> cells = {};  // every other cell must stay 0
};

void PrintTo(const Case& t, std::ostream* os) {
  *os << t.name;
}
void PrintTo(const Regs& r, std::ostream* os) {
  *os << "{" << r.a << ", " << r.b << ", " << r.c << ", " << r.d << "}";
}

// Every byte that is not one of the 23 instructions.
std::string NoOps() {
  std::string s;
  for (int ch = 0; ch < 256; ++ch) {
    if (std::string("?=^!*<)@&%{}.,:;#N$(>-+").find(static_cast<char>(ch)) == std::string::npos) {
      s += static_cast<char>(ch);
    }
  }
  return s;
}

const Case kCases[] = {
    // Flow.
    {"empty", "", {}, {}, ""},
    {"stop", "^!", {}, {}, "STOP\n"},
    {"equal_not_taken", "=!", {.c = 1}, {.a = 1, .c = 1}, ""},
    {"equal_taken", "=N^^", {.a = 3}, {.a = 3}, "STOP\n"},
    {"jump_forward_and_back", "?^xN$!?", {.a = 3}, {.a = 1}, "NULL\nSTOP\n"},
    {"jump_to_700", "?N", {.a = 700}, {.a = 700}, ""},
    {"jump_below_0", "?N", {.a = -1}, {.a = -1}, ""},
    {"jump_above_700", "?N", {.a = 701}, {.a = 701}, ""},
    {"jump_far_negative", "?N", {.a = kMin}, {.a = kMin}, ""},
    // Counting and arithmetic wrap at both ends.
    {"inc_a_wraps", "!", {.a = kMax}, {.a = kMin}, ""},
    {"dec_a_wraps", "<", {.a = kMin}, {.a = kMax}, ""},
    {"inc_b_wraps", "*", {.b = kMax}, {.b = kMin}, ""},
    {"dec_b", "))", {}, {.b = -2}, ""},
    {"minus_adds", "-", {.a = 5, .b = kMax}, {.a = kMin + 4, .b = kMax}, ""},
    {"plus_subtracts", "+", {.b = 1}, {.a = -1, .b = 1}, ""},
    {"plus_then_minus", "+-", {.b = 1}, {.b = 1}, ""},
    {"plus_wraps", "+", {.a = kMin, .b = 1}, {.a = kMax, .b = 1}, ""},
    // Copies and swaps.
    {"copy_ab", "@", {1, 2, 3, 4}, {1, 2, 1, 2}, ""},
    {"copy_cd", "&", {1, 2, 3, 4}, {3, 4, 3, 4}, ""},
    {"dup", "%", {1, 2, 3, 4}, {1, 1, 3, 3}, ""},
    {"dup_then_copy", "%@", {7, 2, 3, 4}, {7, 7, 7, 7}, ""},
    {"swap_ab", "{", {1, 2, 3, 4}, {2, 1, 3, 4}, ""},
    {"swap_cd", "}", {1, 2, 3, 4}, {1, 2, 4, 3}, ""},
    {"swaps_twice", "{{}}", {1, 2, 3, 4}, {1, 2, 3, 4}, ""},
    {"clear_a", "$", {1, 2, 3, 4}, {0, 2, 3, 4}, ""},
    // Output keeps only the low 8 bits and no line end.
    {"put_a", ".", {.a = 256 + 65}, {.a = 256 + 65}, "A"},
    {"put_b", ":", {.b = -190}, {.b = -190}, "B"},
    {"null", "N", {1, 2, 3, 4}, {1, 2, 3, 4}, "NULL\n"},
    // Digit split.
    {"split_42", "@#.:", {.a = 42}, {52, 50, 42, 0}, "42"},
    {"split_c_differs", "#", {.a = 42, .c = 7}, {51, 55, 7, 0}, ""},
    {"split_negative_c", "#", {.c = -13}, {48, 45, -13, 0}, ""},
    {"split_wraps", "#", {.a = kMin, .c = 1}, {214748412, 49, 1, 0}, ""},
    {"split_min", "#", {.a = kMin, .c = kMin}, {-214748316, 40, kMin, 0}, ""},
    // Memory: cells 0 and 1024 are real, other indices touch nothing.
    {"store_load_1024",
     "(}>",
     {.a = 1024, .d = 9},
     {.a = 1024, .c = 9, .d = 9},
     "",
     "",
     {{1024, 9}}},
    {"store_load_0", "(>", {.d = -5}, {.d = -5}, "", "", {{0, -5}}},
    {"unwritten_reads_0", ">", {.a = 5, .d = 7}, {.a = 5}, ""},
    {"index_1025", "(>", {.a = 1025, .d = 9}, {.a = 1025}, ""},
    {"index_negative", "(>", {.a = -1, .d = 9}, {.a = -1}, ""},
    // Key reads.
    {"key_echo", ",.", {}, {.a = 'x'}, "x", "x"},
    {"key_enter", ";:", {}, {.b = 13}, "\r", "\r"},
    {"key_after_end", ",", {}, {.a = -1}, ""},
    // No-ops, wherever they stand.
    {"no_ops", NoOps(), {1, 2, 3, 4}, {1, 2, 3, 4}, ""},
};

class ExecVekTest : public testing::TestWithParam<Case> {};

TEST_P(ExecVekTest, State) {
  const Case& t = GetParam();
  ASSERT_LE(t.program.size(), kProgSize);
  fake::Reset();
  std::copy(t.program.begin(), t.program.end(), prog);
  fake::keys = t.keys;
  a = t.start.a, b = t.start.b, c = t.start.c, d = t.start.d;
  ExecVek(0);
  console::Flush();
  EXPECT_EQ((Regs{a, b, c, d}), t.want);
  EXPECT_EQ(fake::output, t.out);
  std::vector<std::int32_t> want_mem(kMemCells, 0);
  for (const auto& [cell, value] : t.cells) want_mem[cell] = value;
  EXPECT_EQ(std::vector<std::int32_t>(std::begin(mem), std::end(mem)), want_mem);
}

INSTANTIATE_TEST_SUITE_P(Instructions, ExecVekTest, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
