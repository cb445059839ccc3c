// The whole VEK instruction set. Each entry is X(character, name, kind,
// effect); the effects act on a, b, c, d, tmp and mem, which a run loop may
// shadow with locals of the same names. Every byte not listed here is a no-op.
// How each is described to people is in instructions.tsv beside this file.
#pragma once

#include <cstdint>

#include "console/console.h"
#include "interpreter/machine.h"

// Register arithmetic goes through unsigned, so it wraps modulo 2^32 by definition.
constexpr std::int32_t WrapAdd(std::int32_t x, std::int32_t y) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(x) + static_cast<std::uint32_t>(y));
}
constexpr std::int32_t WrapSub(std::int32_t x, std::int32_t y) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(x) - static_cast<std::uint32_t>(y));
}

// Indices outside 0..1024 never reach mem: a store is dropped, a load reads 0.
inline void MemStore(std::int32_t index, std::int32_t value) {
  if (static_cast<std::uint32_t>(index) < kMemCells) mem[index] = value;
}
inline std::int32_t MemLoad(std::int32_t index) {
  return static_cast<std::uint32_t>(index) < kMemCells ? mem[index] : 0;
}

// #: the remainder comes from c but the division applies to a; with c == a
// this turns 0..99 into its tens digit in a and its units digit in b.
constexpr void DigitSplit(std::int32_t& ra, std::int32_t& rb, std::int32_t rc) {
  const std::int32_t mod = rc % 10;  // sign of rc, as C++ division truncates
  rb = mod + '0';
  ra = WrapSub(ra, mod) / 10 + '0';
}

// What ^ writes as it stops the run.
inline constexpr char kStopLine[] = "STOP";

// What an instruction deals with: the page colours and describes it by this,
// and a bounded run may stop before one of kind Input, which waits for a key.
enum class Kind : std::uint8_t { Arith, Copy, Memory, Output, Input, Flow };

// The instructions that always go on at the next position.
#define VEK_INSTRUCTIONS(X)                             \
  X('!', IncA, Arith, a = WrapAdd(a, 1))                \
  X('*', IncB, Arith, b = WrapAdd(b, 1))                \
  X('<', DecA, Arith, a = WrapSub(a, 1))                \
  X(')', DecB, Arith, b = WrapSub(b, 1))                \
  X('@', CopyAB, Copy, c = a; d = b)                    \
  X('&', CopyCD, Copy, a = c; b = d)                    \
  X('%', Dup, Copy, b = a; d = c)                       \
  X('{', SwapAB, Copy, tmp = a; a = b; b = tmp)         \
  X('}', SwapCD, Copy, tmp = c; c = d; d = tmp)         \
  X('.', PutA, Output, console::PutChar(a))             \
  X(',', KeyA, Input, a = console::ReadKey())           \
  X(':', PutB, Output, console::PutChar(b))             \
  X(';', KeyB, Input, b = console::ReadKey())           \
  X('#', Split, Arith, DigitSplit(a, b, c))             \
  X('N', Null, Output, console::PutLine("NULL"))        \
  X('$', ClearA, Arith, a = 0)                          \
  X('(', Store, Memory, MemStore(a, d))                 \
  X('>', Load, Memory, d = MemLoad(a))                  \
  X('-', AddB, Arith, a = WrapAdd(a, b)) /* '-' adds */ \
  X('+', SubB, Arith, a = WrapSub(a, b)) /* '+' subtracts */

// The three that change the flow. JUMP(target) leaves the step and goes on at
// target; STOP() ends the run.
#define VEK_CONTROL(X)                           \
  X('?', Jump, Flow, JUMP(a))                    \
  X('=', JumpIfEqual, Flow, if (c == d) JUMP(a)) \
  X('^', Stop, Flow, console::PutLine(kStopLine); STOP())

// Whether a byte is an instruction; every other byte is a no-op.
constexpr bool IsInstruction(char ch) {
#define VEK_IS(c, name, kind, effect) ch == (c) ||
  return VEK_INSTRUCTIONS(VEK_IS) VEK_CONTROL(VEK_IS) false;
#undef VEK_IS
}

// Whether a byte is an instruction that waits for a key.
constexpr bool ReadsKey(char ch) {
#define VEK_READS(c, name, kind, effect) (ch == (c) && Kind::kind == Kind::Input) ||
  return VEK_INSTRUCTIONS(VEK_READS) VEK_CONTROL(VEK_READS) false;
#undef VEK_READS
}

// Which register a key read puts the key in (0..3 for a..d), found by running
// its effect with a stand-in console whose key no register holds; -1 for an
// instruction that reads no key.
constexpr int KeyFills(char ch) {
  struct console {  // the console operations the effects use
    static constexpr std::int32_t ReadKey() { return -1; }
    static constexpr void PutChar(std::int32_t /*ch*/) {}
    static constexpr void PutLine(const char* /*line*/) {}
  };
  std::int32_t regs[4] = {};
  auto& [a, b, c, d] = regs;
  std::int32_t tmp = 0;
#define VEK_FILLS(c, name, kind, effect)        \
  if (ch == (c) && Kind::kind == Kind::Input) { \
    effect;                                     \
  }
  VEK_INSTRUCTIONS(VEK_FILLS)
#undef VEK_FILLS
  for (int r = 0; r < 4; ++r) {
    if (regs[r] == console::ReadKey()) return r;
  }
  return -1;
}
