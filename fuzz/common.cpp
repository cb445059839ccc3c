#include "fuzz/common.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "console/console.h"
#include "console/platform.h"

namespace {

// Standard input and output in memory, and no terminal.
std::string_view input;
std::size_t block = 0;
std::string output;
// Bytes in the output buffer before a run, not part of its output.
std::size_t unseen = 0;

template <typename T>
T Take(const std::uint8_t*& data, std::size_t& size) {
  T value{};
  const std::size_t n = std::min(size, sizeof value);
  std::memcpy(&value, data, n);
  data += n;
  size -= n;
  return value;
}

std::string_view Text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace

namespace platform {
bool Open() {
  return false;
}
bool HasKeyboard() {
  return false;
}
void StartKeys() {}
int ReadKeyboard() {
  return -1;
}
std::size_t ReadIn(char* buf, std::size_t cap) {
  const std::size_t n = std::min({cap, block, input.size()});
  std::copy_n(input.begin(), n, buf);
  input.remove_prefix(n);
  return n;
}
bool WriteOut(const char* buf, std::size_t len, std::atomic<std::size_t>& sent) {
  const std::size_t skip = std::min(unseen, len - sent);
  unseen -= skip;
  output.append(buf + sent + skip, len - sent - skip);
  sent = len;
  return true;
}
void WriteErr(const char* /*text*/) {}
void Close() {}
void Abandon() {
  std::abort();
}
}  // namespace platform

namespace fuzz {

// A few passes over the longest program: with the output buffer nearly full
// at the start and any starting registers, more steps reach nothing new and
// long loops took most of the time.
constexpr std::uint64_t kMostSteps = 1 << 12;

void Feed(std::string_view in, std::size_t block_size) {
  console::Reset();
  input = in;
  block = block_size;
  output.clear();
  unseen = 0;
}

const std::string& Written() {
  return output;
}

RunInput Decode(const std::uint8_t* data, std::size_t size) {
  RunInput in;
  in.steps = Take<std::uint16_t>(data, size);
  in.start = Take<std::uint16_t>(data, size);
  for (std::int32_t& r : in.regs) r = Take<std::int32_t>(data, size);
  for (RunInput::Cell& cell : in.cells) {
    cell.index = Take<std::uint16_t>(data, size);
    cell.value = Take<std::int32_t>(data, size);
  }
  const std::size_t keys = std::min<std::size_t>(Take<std::uint8_t>(data, size), size);
  in.keys = Text(data, keys);
  in.text = Text(data + keys, std::min(size - keys, kProgSize));
  return in;
}

void Prepare(const RunInput& in, Bound bound, Bounds& bounds) {
  ResetMachine();
  a = in.regs[0], b = in.regs[1], c = in.regs[2], d = in.regs[3];
  for (const RunInput::Cell& cell : in.cells) mem[cell.index % kMemCells] = cell.value;
  std::copy(in.text.begin(), in.text.end(), prog);
  Feed(in.keys, 1);
  console::out_limit = in.steps % 5 == 0 ? 1 : console::kOutSize;
  if (const std::size_t q = in.start / (kProgSize + 1); q > 0 && in.steps % 5 != 0) {
    unseen = console::kOutSize - 3 * q;
    console::out.len = unseen;
  }
  Limits& limits = bounds.limits;
  limits = Limits{};
  if (bound == Bound::kSteps) {
    limits.steps = in.steps % kMostSteps;
    for (int p = 0; p <= static_cast<int>(kProgSize); ++p) {
      bounds.marks[p] = p % 13 == in.steps % 13;
    }
    if (in.steps % 3 == 0) limits.breakpoints = bounds.marks;
  } else {
    limits.jumps = in.steps / 2048;
  }
  // The web page's way with key reads. The hook answers what its context
  // holds, so every loop must hand it over.
  bounds.key_waiting = in.steps % 4 == 1 ? 1 : 0;
  limits.context = &bounds.key_waiting;
  if (in.steps % 2 == 1) {
    limits.key_waiting = +[](void* context) { return *static_cast<std::int32_t*>(context); };
  }
}

Outcome Collect(int where, std::uint64_t steps_taken) {
  console::Flush();
  Outcome o{output, {a, b, c, d}, {}, input.size(), where, steps_taken};
  std::copy(std::begin(mem), std::end(mem), o.cells.begin());
  return o;
}

void Agree(const char* what, const Outcome& x, const Outcome& y) {
  if (x == y) return;
  const auto say = [](const Outcome& o) {
    std::fprintf(stderr,
                 "  %zu bytes out, a..d %d %d %d %d, %zu keys left, at %d after %llu steps\n",
                 o.out.size(), o.regs[0], o.regs[1], o.regs[2], o.regs[3], o.keys_left, o.where,
                 static_cast<unsigned long long>(o.steps));
  };
  std::fprintf(stderr, "fuzz: %s disagree\n", what);
  say(x), say(y);
  std::fprintf(stderr, "  program:");
  for (const char ch : prog) std::fprintf(stderr, " %02x", static_cast<unsigned char>(ch));
  std::fprintf(stderr, "\n");
  std::abort();
}

}  // namespace fuzz
