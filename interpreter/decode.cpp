#include "interpreter/decode.h"

#include <array>

namespace {

// Each byte's code, or -1 for a no-op.
constexpr std::array<int, 256> MakeCodes() {
  std::array<int, 256> codes{};
  codes.fill(-1);
#define VEK_ENTRY(ch, name, kind, effect) codes[static_cast<unsigned char>(ch)] = k##name;
  VEK_INSTRUCTIONS(VEK_ENTRY)
  VEK_CONTROL(VEK_ENTRY)
#undef VEK_ENTRY
  return codes;
}
constexpr std::array<int, 256> kCodes = MakeCodes();

// Each code's character; the plan's own codes have none.
constexpr std::array<char, kCodeCount> MakeChars() {
  std::array<char, kCodeCount> chars{};
#define VEK_ENTRY(ch, name, kind, effect) chars[k##name] = (ch);
  VEK_INSTRUCTIONS(VEK_ENTRY)
  VEK_CONTROL(VEK_ENTRY)
#undef VEK_ENTRY
  return chars;
}
constexpr std::array<char, kCodeCount> kChars = MakeChars();

Op Plain(Code code, int next) {
  return Op{code, false, static_cast<std::uint16_t>(next), 0, 1, 0, 0};
}

// An increment or decrement in front of the operation that follows it.
Op Fold(const Op& after, int next, std::int32_t da, std::int32_t db) {
  Op op = after;
  // Those that set a leave only the change to b; every other operation is
  // preceded by an addition of its own.
  const bool sets_a =
      after.code == kClearA || after.code == kSetJump || after.code == kSetJumpIfEqual;
  if (after.code != kAdd && !sets_a) {
    return Op{kAdd, false, static_cast<std::uint16_t>(next), 0, 1, da, db};
  }
  if (after.code == kAdd) op.x = WrapAdd(op.x, da);
  op.y = WrapAdd(op.y, db);
  ++op.steps;
  return op;
}

// An instruction whose effect is followed by the addition after it.
Op Absorb(Op op, const Op& after) {
  if (after.code == kAdd) {
    op.x = after.x;
    op.y = after.y;
    op.next = after.next;
    op.steps += after.steps;
  }
  return op;
}

// Pairs worth one dispatch instead of two.
Op Fuse(Op op, const Op& after) {
  const auto steps = static_cast<std::uint16_t>(op.steps + after.steps);
  if (op.code == kClearA && (after.code == kJump || after.code == kJumpIfEqual)) {
    // a is known here, so is the target.
    const Code code = after.code == kJump ? kSetJump : kSetJumpIfEqual;
    return Op{code, false, after.next, static_cast<std::uint16_t>(Target(op.x)), steps, op.x, op.y};
  }
  if (op.code == kClearA && op.x == 0 && op.y == 0 && after.code == kAddB) {
    return Op{kMoveBA, false, after.next, 0, steps, after.x, after.y};
  }
  if (op.code == kCopyAB && op.x == 0 && op.y == 0) {
    if (after.code == kJumpIfEqual) return Op{kCopyJumpIfEqual, false, after.next, 0, steps, 0, 0};
    if (after.code == kSplit) {
      return Op{kCopySplit, false, after.next, 0, steps, after.x, after.y};
    }
  }
  return op;
}

}  // namespace

char InstructionOf(Code code) {
  return kChars[code];
}

bool ReadsKey(Code code) {
  return ReadsKey(kChars[code]);
}

void Decode(const char* text, Op* ops, const bool* breakpoints) {
  ops[kEndPos] = Op{kEnd, false, static_cast<std::uint16_t>(kEndPos), 0, 0, 0, 0};
  // Stands for the operation at a breakpoint: nothing folds into it.
  constexpr Op kBreakpoint{kEnd, false, 0, 0, 0, 0, 0};
  const auto at = [&](int pos) -> const Op& {
    return breakpoints != nullptr && breakpoints[pos] ? kBreakpoint : ops[pos];
  };
  for (int p = kEndPos - 1; p >= 0; --p) {
    const Op& after = at(p + 1);
    const char ch = text[p];
    const int code = kCodes[static_cast<unsigned char>(ch)];
    Op op{};
    if (AddsToA(ch) != 0 || AddsToB(ch) != 0) {  // ! < * ) fold into what follows
      op = Fold(after, p + 1, AddsToA(ch), AddsToB(ch));
    } else if (code < 0) {  // a no-op: this position acts as the next operation, one step later
      op = &after == &kBreakpoint ? Plain(kAdd, p + 1) : after;
      op.steps = static_cast<std::uint16_t>(&after == &kBreakpoint ? 1 : op.steps + 1);
    } else if (code >= kJump) {  // ? = ^ (after the twenty) absorb nothing
      op = Plain(static_cast<Code>(code), p + 1);
    } else {
      op = Absorb(Plain(static_cast<Code>(code), p + 1), after);
      op = Fuse(op, at(op.next));
    }
    ops[p] = op;
  }
}
