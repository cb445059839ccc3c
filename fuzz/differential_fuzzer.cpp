// The fast loop and the native code against the reference loop: from the
// same start, after the same number of steps (the fast loop) or jumps (the
// native code), the same output, registers, memory and keys read.
//
// Input: steps (2 bytes; a 64th of them are the jumps), start position
// (2 bytes, modulo 701), registers (4 x 4 bytes), 8 memory cells (2 bytes
// index modulo 1025, 4 bytes value), the count of key bytes (1 byte), the
// keys, then the program text.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "console/console.h"
#include "fuzz/memory_platform.h"
#include "interpreter/bound.h"
#include "interpreter/machine.h"
#include "interpreter/native.h"
#include "interpreter/reference.h"

namespace {

template <typename T>
T Take(const std::uint8_t*& data, std::size_t& size) {
  T value{};
  const std::size_t n = std::min(size, sizeof value);
  std::memcpy(&value, data, n);
  data += n;
  size -= n;
  return value;
}

struct Outcome {
  std::string out;
  std::int32_t regs[4];
  std::vector<std::int32_t> mem;
  std::size_t keys_left;
  bool operator==(const Outcome&) const = default;
};

enum Loop { kFast, kNative, kReferenceSteps, kReferenceJumps };

Outcome Run(const std::uint8_t* data, std::size_t size, Loop loop) {
  const auto steps = Take<std::uint16_t>(data, size);
  const int start = Take<std::uint16_t>(data, size) % (kProgSize + 1);
  for (auto* r : {&a, &b, &c, &d}) *r = Take<std::int32_t>(data, size);
  tmp = 0;
  std::fill(std::begin(mem), std::end(mem), 0);
  for (int i = 0; i < 8; ++i) {
    const auto cell = Take<std::uint16_t>(data, size);
    mem[cell % kMemCells] = Take<std::int32_t>(data, size);
  }
  const std::size_t keys = std::min<std::size_t>(Take<std::uint8_t>(data, size), size);
  memory::Reset({reinterpret_cast<const char*>(data), keys}, 1);
  data += keys;
  size -= keys;
  std::fill(std::begin(prog), std::end(prog), '\0');
  std::copy_n(data, std::min(size, kProgSize), prog);
  const std::uint64_t jumps = steps / 64;  // a jump may take up to 700 steps
  step_budget = steps;
  jump_budget = jumps;
  switch (loop) {
    case kFast: ExecVekFast(start); break;
    case kNative: ExecVekNative(start); break;
    case kReferenceSteps: ExecVekSteps(start, steps); break;
    case kReferenceJumps: ExecVekJumps(start, jumps); break;
  }
  step_budget = jump_budget = UINT64_MAX;
  console::Flush();
  return {memory::out, {a, b, c, d}, {std::begin(mem), std::end(mem)}, memory::InputLeft()};
}

template <typename T>
void Put(std::string& s, T value) {
  s.append(reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!(Run(data, size, kFast) == Run(data, size, kReferenceSteps))) std::abort();
  if (!(Run(data, size, kNative) == Run(data, size, kReferenceJumps))) std::abort();
  return 0;
}

// For replays: programs mostly of instructions, runs of increments among them,
// values at the edges, jumps into the middle of anything.
std::string RandomInput(std::mt19937& rng) {
  auto pick = [&](unsigned n) { return static_cast<int>(rng() % n); };
  auto value = [&]() -> std::int32_t {
    switch (pick(4)) {
      case 0: return pick(kProgSize + 1);  // a position or a cell
      case 1: return pick(21) - 10;
      case 2: return pick(2) != 0 ? INT32_MAX - pick(3) : INT32_MIN + pick(3);
      default: return static_cast<std::int32_t>(rng());
    }
  };
  std::string s;
  Put<std::uint16_t>(s, pick(65536));
  Put<std::uint16_t>(s, pick(2) != 0 ? 0 : pick(kProgSize + 1));
  for (int i = 0; i < 4; ++i) Put(s, value());
  for (int i = 0; i < 8; ++i) {
    Put<std::uint16_t>(s, pick(kMemCells));
    Put(s, pick(2) != 0 ? 0 : value());
  }
  s += static_cast<char>(pick(6));
  for (int i = 0; i < 5; ++i) s += static_cast<char>(rng());
  const int length = 1 + pick(pick(4) == 0 ? kProgSize : 40);
  for (int p = 0; p < length; ++p) {
    const char* set = pick(3) == 0 ? "!<*)" : "?=^!*<)@&%{}.,:;#N$(>-+";
    s += pick(8) != 0 ? set[pick(std::strlen(set))] : static_cast<char>(rng());
  }
  return s;
}
