// The fuzzing harness, also replayed by make test. Whatever the input:
// - from the start it describes, the fast loop after the same number of steps
//   and the native code after the same number of jumps agree with the
//   reference loop on output, registers, memory and keys read; so does the
//   native code as the product runs it, unbounded, wherever the reference
//   loop comes to the end within 2^16 steps;
// - the whole dialogue, with the input as standard input and no terminal,
//   comes to its closing words.
//
// Input: steps (2 bytes; a 64th of them are the jumps), start position
// (2 bytes, modulo 701), registers (4 x 4 bytes), 8 memory cells (2 bytes
// index modulo 1025, 4 bytes value), the count of key bytes (1 byte), the
// keys, then the program text.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "console/console.h"
#include "console/platform.h"
#include "dialogue/dialogue.h"
#include "interpreter/limits.h"
#include "interpreter/loops.h"
#include "interpreter/machine.h"
#include "native/native.h"

namespace {

// Standard input and output in memory, and no terminal, under the real
// console code: input handed out at most `block` bytes a read.
std::string_view input;
std::size_t block = 0;
std::string output;

void Reset(std::string_view in, std::size_t block_size) {
  console::Reset();
  input = in;
  block = block_size;
  output.clear();
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
  output.append(buf + sent, len - sent);
  sent = len;
  return true;
}
void WriteErr(const char* /*text*/) {}
void Close() {}
void Abandon() {
  std::abort();
}
}  // namespace platform

// The dialogue's run, as the product's ExecVek runs it, but bounded: a
// made-up program may loop forever.
void ExecVek(int n) {
  Limits limits{.jumps = 300};
  if (ExecVekNative(n, limits)) return;
  limits = Limits{.steps = 20000};
  ExecVekFast(n, limits);
}

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

// Output, registers, memory, the keys not read, where a bounded run stopped,
// and the steps it took.
using Outcome = std::tuple<std::string, std::vector<std::int32_t>, std::vector<std::int32_t>,
                           std::size_t, int, std::uint64_t>;

enum Loop { kFast, kNative, kNativeWhole, kReferenceSteps, kReferenceJumps, kReferenceWhole };

Outcome Run(const std::uint8_t* data, std::size_t size, Loop loop) {
  const auto steps = Take<std::uint16_t>(data, size);
  const int start = Take<std::uint16_t>(data, size) % (kProgSize + 1);
  ResetMachine();
  for (auto* r : {&a, &b, &c, &d}) *r = Take<std::int32_t>(data, size);
  for (int i = 0; i < 8; ++i) {
    const auto cell = Take<std::uint16_t>(data, size);
    mem[cell % kMemCells] = Take<std::int32_t>(data, size);
  }
  const std::size_t keys = std::min<std::size_t>(Take<std::uint8_t>(data, size), size);
  Reset({reinterpret_cast<const char*>(data), keys}, 1);
  // With steps a multiple of 5, output flushed after every byte, as on a terminal.
  console::out_limit = steps % 5 == 0 ? 1 : console::kOutSize;
  data += keys;
  size -= keys;
  std::copy_n(data, std::min(size, kProgSize), prog);
  Limits limits;
  limits.steps = steps;
  limits.jumps = steps / 64;  // a jump may take up to 700 steps
  // With steps a multiple of 3, breakpoints on every 13th position: both
  // step-bounded loops stop before the first one they reach.
  bool breakpoints[kProgSize + 1];
  for (int p = 0; p <= static_cast<int>(kProgSize); ++p) breakpoints[p] = p % 13 == steps % 13;
  if (steps % 3 == 0) limits.breakpoints = breakpoints;
  // With odd steps, the web page's way with key reads: a key is waiting, or
  // none is and both step-bounded loops stop before the first key read. The
  // hook answers what its context holds, so every loop must hand it over.
  std::int32_t key_waiting = steps % 4 == 1 ? 1 : 0;
  limits.context = &key_waiting;
  if (steps % 2 == 1) {
    limits.key_waiting = +[](void* context) { return *static_cast<std::int32_t*>(context); };
  }
  int where = 0;
  switch (loop) {
    case kFast: where = ExecVekFast(start, limits); break;
    case kNative:  // a build with a back end must run it: no fallback hides a broken one
      if (const std::optional<int> at = ExecVekNative(start, limits)) {
        where = *at;
      } else {
        std::abort();
      }
      break;
    case kReferenceSteps:
      limits.jumps = UINT64_MAX;
      where = ExecVekReference(start, limits);
      break;
    case kReferenceJumps:  // native code honours the jumps and the key hook
      limits = Limits{.steps = steps,
                      .jumps = limits.jumps,
                      .context = limits.context,
                      .key_waiting = limits.key_waiting};
      limits.steps = UINT64_MAX;
      where = ExecVekReference(start, limits);
      limits.steps -= UINT64_MAX - steps;  // taken off the same start as native code's
      break;
    case kNativeWhole:
      if (!ExecVekNative(start)) std::abort();
      break;
    case kReferenceWhole:  // where = 0 if the run came to its end
      limits = Limits{.steps = 1 << 16};
      where = ExecVekReference(start, limits) < 0 ? 0 : 1;
      limits.steps = steps;  // native code unbounded counts none
      break;
  }
  console::Flush();
  return {output,       {a, b, c, d}, {std::begin(mem), std::end(mem)},
          input.size(), where,        steps - limits.steps};
}

// Two loops that should agree and do not: says how, then aborts.
void Differ(const char* what, const Outcome& x, const Outcome& y) {
  const auto say = [](const Outcome& o) {
    const auto& [out, regs, cells, keys, where, taken] = o;
    std::fprintf(stderr,
                 "  %zu bytes out, a..d %d %d %d %d, %zu keys left, at %d after %llu steps\n",
                 out.size(), regs[0], regs[1], regs[2], regs[3], keys, where,
                 static_cast<unsigned long long>(taken));
  };
  std::fprintf(stderr, "harness: %s disagree\n", what);
  say(x), say(y);
  std::fprintf(stderr, "  program:");
  for (const char ch : prog) std::fprintf(stderr, " %02x", static_cast<unsigned char>(ch));
  std::fprintf(stderr, "\n");
  std::abort();
}

void Agree(const char* what, const Outcome& x, const Outcome& y) {
  if (x != y) Differ(what, x, y);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Agree("fast and reference loop", Run(data, size, kFast), Run(data, size, kReferenceSteps));
  if (NativeCode() != nullptr) {
    Agree("bounded native code and reference loop", Run(data, size, kNative),
          Run(data, size, kReferenceJumps));
    const Outcome whole = Run(data, size, kReferenceWhole);
    if (std::get<4>(whole) == 0) {
      Agree("native code and reference loop", Run(data, size, kNativeWhole), whole);
    }
  }

  Reset({reinterpret_cast<const char*>(data), size}, 4096);
  ResetMachine();  // as in a new process
  if (Dialogue(1) != 0) std::abort();
  if (!std::string_view(output).ends_with("\nProgram was end.\n")) std::abort();
  // prog holds the first word of the input, at most 700 bytes, and 0 after it.
  std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::size_t from = std::min(text.find_first_not_of(" \t\n\r\v\f"), size);
  const std::string_view word = text.substr(from, text.find_first_of(" \t\n\r\v\f", from) - from);
  std::string want(word.substr(0, kProgSize));
  want.resize(kProgSize, '\0');
  if (want != std::string_view(prog, kProgSize)) std::abort();
  return 0;
}
