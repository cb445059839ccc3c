// The whole VEK instruction set. Each entry is X(character, name, effect);
// the effects act on a, b, c, d, tmp and mem, which a run loop may shadow with
// locals of the same names. Every byte not listed here is a no-op.
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

// Twenty instructions that always go on at the next position.
#define VEK_INSTRUCTIONS(X)                      \
  X('!', IncA, a = WrapAdd(a, 1))                \
  X('*', IncB, b = WrapAdd(b, 1))                \
  X('<', DecA, a = WrapSub(a, 1))                \
  X(')', DecB, b = WrapSub(b, 1))                \
  X('@', CopyAB, c = a; d = b)                   \
  X('&', CopyCD, a = c; b = d)                   \
  X('%', Dup, b = a; d = c)                      \
  X('{', SwapAB, tmp = a; a = b; b = tmp)        \
  X('}', SwapCD, tmp = c; c = d; d = tmp)        \
  X('.', PutA, console::PutChar(a))              \
  X(',', KeyA, a = console::ReadKey())           \
  X(':', PutB, console::PutChar(b))              \
  X(';', KeyB, b = console::ReadKey())           \
  X('#', Split, DigitSplit(a, b, c))             \
  X('N', Null, console::PutLine("NULL"))         \
  X('$', ClearA, a = 0)                          \
  X('(', Store, MemStore(a, d))                  \
  X('>', Load, d = MemLoad(a))                   \
  X('-', AddB, a = WrapAdd(a, b)) /* '-' adds */ \
  X('+', SubB, a = WrapSub(a, b)) /* '+' subtracts */

// The three that change the flow. JUMP(target) leaves the step and goes on at
// target; STOP() ends the run.
#define VEK_CONTROL(X)                     \
  X('?', Jump, JUMP(a))                    \
  X('=', JumpIfEqual, if (c == d) JUMP(a)) \
  X('^', Stop, console::PutLine("STOP"); STOP())

// The instructions that wait for a key: a bounded run may stop before them.
constexpr bool ReadsKey(char ch) {
  return ch == ',' || ch == ';';
}

// Whether a byte is one of the 23 instructions; every other byte is a no-op.
constexpr bool IsInstruction(char ch) {
#define VEK_IS(c, name, effect) ch == (c) ||
  return VEK_INSTRUCTIONS(VEK_IS) VEK_CONTROL(VEK_IS) false;
#undef VEK_IS
}
