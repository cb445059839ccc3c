// The plan: the decoded form of prog that the fast run loop executes and that
// every native back end compiles. One operation per position, each doing
// exactly what the rest of the program does from there up to its successor,
// which is already resolved. No-op bytes are skipped, runs of ! < * ) are
// folded into one addition, additions are absorbed into the instruction in
// front of them, and common pairs are fused. Decoding goes backwards, so a
// jump into the middle of a folded run still finds an operation that does
// exactly what the rest of the run does.
#pragma once

#include <cstdint>
#include <iterator>

#include "interpreter/instructions.h"
#include "interpreter/machine.h"

// The operations of the plan beyond the instructions' own: folded runs, and
// pairs worth one dispatch instead of two.
#define VEK_PLAN_CODES(X)                                                     \
  X(Add)             /* a += x, b += y: a folded run of ! < * ) */            \
  X(SetJump)         /* $ and increments, then ?: a = x, b += y, go to alt */ \
  X(SetJumpIfEqual)  /* the same with =: if c == d go to alt */               \
  X(CopyJumpIfEqual) /* @= */                                                 \
  X(CopySplit)       /* @# */                                                 \
  X(MoveBA)          /* $-: a = b */                                          \
  X(End)             /* position 700 */

// Every operation code: the instructions of VEK_INSTRUCTIONS, those of VEK_CONTROL, then
// the plan's own. Whatever lists the codes expands the same three lists.
#define VEK_CODE(ch, name, kind, effect) k##name,
#define VEK_PLAN_CODE(name) k##name,
enum Code : std::uint8_t {
  VEK_INSTRUCTIONS(VEK_CODE) VEK_CONTROL(VEK_CODE) VEK_PLAN_CODES(VEK_PLAN_CODE)
};
inline constexpr Code kAllCodes[] = {VEK_INSTRUCTIONS(VEK_CODE) VEK_CONTROL(VEK_CODE)
                                         VEK_PLAN_CODES(VEK_PLAN_CODE)};
inline constexpr int kCodeCount = static_cast<int>(std::size(kAllCodes));
#undef VEK_PLAN_CODE
#undef VEK_CODE

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

// The instruction an operation code stands for; 0 for the plan's own.
char InstructionOf(Code code);
// Whether an operation waits for a key: the instruction set says which.
bool ReadsKey(Code code);

// A jump target outside 0..700 ends the run like 700.
constexpr int Target(std::int32_t pos) {
  return static_cast<std::uint32_t>(pos) <= static_cast<std::uint32_t>(kEndPos) ? pos : kEndPos;
}

// Fills ops[0..700] from text (700 bytes). Positions marked as breakpoints
// (701 entries, may be null) are reached by dispatch: nothing folds or fuses
// across them, so a run can stop there.
void Decode(const char* text, Op* ops, const bool* breakpoints = nullptr);
