// Fuzzes the run loop: arbitrary program text, starting registers, memory and
// keys, run for a bounded number of steps by the fast loop and by the
// reference loop, which must agree.
//
// Input: 16 bytes of registers, 8 memory cells of 6 bytes (index, value), one
// byte counting the keys that follow it, then the program text.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "tests/differential.h"

namespace {

constexpr std::uint64_t kSteps = 20000;

template <typename T>
T Take(const std::uint8_t*& data, std::size_t& size) {
  T value{};
  const std::size_t n = size < sizeof value ? size : sizeof value;
  std::memcpy(&value, data, n);
  data += n;
  size -= n;
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  differential::Start s;
  for (auto& r : s.regs) r = Take<std::int32_t>(data, size);
  for (int i = 0; i < 8; ++i) {
    const auto cell = Take<std::uint16_t>(data, size);
    const auto value = Take<std::int32_t>(data, size);
    s.cells.emplace_back(cell % 1025, value);
  }
  const std::size_t keys = Take<std::uint8_t>(data, size);
  s.keys.assign(reinterpret_cast<const char*>(data), keys < size ? keys : size);
  data += s.keys.size();
  size -= s.keys.size();
  s.program.assign(reinterpret_cast<const char*>(data), size < 700 ? size : 700);
  if (!(differential::RunFast(s, kSteps) == differential::RunReference(s, kSteps))) std::abort();
  return 0;
}
