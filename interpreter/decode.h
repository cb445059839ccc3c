// The decoded form of prog that the fast run loop executes: one operation per
// position, with its successor already resolved. No-op bytes are skipped,
// runs of ! < * ) are folded into one addition, and common sequences are fused.
// Decoding goes backwards, so a jump into the middle of a folded run still
// finds an operation that does exactly what the rest of the run does.
#pragma once

#include <cstdint>

#include "interpreter/instructions.h"
#include "interpreter/machine.h"

enum Code : std::uint8_t {
#define VEK_CODE(ch, name, effect) k##name,
  VEK_INSTRUCTIONS(VEK_CODE)
#undef VEK_CODE
      kAdd,          // a += x, b += y: a folded run of ! < * )
  kJump,             // ?
  kJumpIfEqual,      // =
  kStop,             // ^
  kSetJump,          // $ and increments, then ?: a = x, b += y, go to alt
  kSetJumpIfEqual,   // $ and increments, then =: a = x, b += y, if c == d go to alt
  kCopyJumpIfEqual,  // @=
  kCopySplit,        // @#
  kMoveBA,           // $-: a = b
  kEnd,              // position 700
  kCodeCount
};

struct Op {
  Code code;
  bool seq;             // set by the run loop: the successor is the next element
  std::uint16_t next;   // position of the operation that follows
  std::uint16_t alt;    // jump target known in advance
  std::uint16_t steps;  // positions this operation covers, no-ops included
  // Added to a and b after the operation's own effect (jumps excepted).
  std::int32_t x;
  std::int32_t y;
  // Set by the run loop: the successor as a pointer (one dependent load per
  // step instead of a load and an address computation) and, where dispatch is
  // by computed goto, the handler.
  const Op* to = nullptr;
  const void* label = nullptr;
};

inline constexpr int kEndPos = static_cast<int>(kProgSize);

// What ! < * ) add to a and to b (0 for every other byte): runs of them fold.
constexpr std::int32_t AddsToA(char ch) {
  return ch == '!' ? 1 : ch == '<' ? -1 : 0;
}
constexpr std::int32_t AddsToB(char ch) {
  return ch == '*' ? 1 : ch == ')' ? -1 : 0;
}

// A jump target outside 0..700 ends the run like 700.
constexpr int Target(std::int32_t pos) {
  return static_cast<std::uint32_t>(pos) <= static_cast<std::uint32_t>(kEndPos) ? pos : kEndPos;
}

// Fills ops[0..700] from prog. Positions marked in walls (701 entries, may be
// null) are reached by dispatch: nothing folds or fuses across them, so a run
// can stop there.
void Decode(const char* text, Op* ops, const bool* walls = nullptr);
