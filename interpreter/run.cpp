// The fast run loop: executes the decoded operations with the registers in
// locals. Dispatch is by computed goto where the compiler has it, by a switch
// elsewhere (or with VEK_SWITCH_DISPATCH).
#include "interpreter/decode.h"
#include "interpreter/instructions.h"
#include "interpreter/machine.h"
#include "interpreter/native.h"

#if defined(VEK_STEP_BOUND)
#include "interpreter/bound.h"
#include "interpreter/reference.h"
#endif

#if (defined(__GNUC__) || defined(__clang__)) && !defined(VEK_SWITCH_DISPATCH)
#define VEK_COMPUTED_GOTO 1
#else
#define VEK_COMPUTED_GOTO 0
#endif

namespace {
Op ops[kProgSize + 1];  // prog is read-only during a run: decoded once per run
}  // namespace

void ExecVekFast(int n) {
  if (n < 0 || n > kEndPos) return;
#if defined(VEK_STEP_BOUND)
  Decode(prog, ops, stop_before);
#else
  Decode(prog, ops);
#endif
  for (Op& o : ops) {
    o.to = &ops[o.next];
    o.seq = o.to == &o + 1;
  }
  // Locals named like the registers, so the instruction table's effects act on them.
  std::int32_t a = ::a;
  std::int32_t b = ::b;
  std::int32_t c = ::c;
  std::int32_t d = ::d;
  std::int32_t tmp = ::tmp;
  const Op* op = &ops[n];

#if defined(VEK_STEP_BOUND)
  // Test builds stop after exactly step_budget steps: an operation that would
  // overrun it, or a key read that may have to wait, is left to the
  // reference loop, one step at a time.
#define VEK_BOUND()                                                             \
  if (op->steps > step_budget || (key_hook != nullptr && ReadsKey(op->code))) { \
    goto handover;                                                              \
  }                                                                             \
  step_budget -= op->steps;
  // A breakpoint stops the run on arrival, not where it was started. With
  // computed goto a marked position's handler is the stop, so breakpoints
  // cost nothing until one is reached.
  const std::uint64_t budget = step_budget;
  const auto marked = [&](const Op* o) {
    return stop_before != nullptr && o != &ops[kEndPos] && stop_before[o - ops];
  };
#if VEK_COMPUTED_GOTO
#define VEK_WALL()
#else
#define VEK_WALL() \
  if (marked(op)) goto walled;
#endif
#else
#define VEK_BOUND()
#define VEK_WALL()
#endif

#if VEK_COMPUTED_GOTO
#define VEK_LABEL(ch, name, kind, effect) &&L_##name,
#define VEK_PLAN_LABEL(name) &&L_##name,
  static const void* const kLabels[] = {VEK_INSTRUCTIONS(VEK_LABEL) VEK_CONTROL(VEK_LABEL)
                                            VEK_PLAN_CODES(VEK_PLAN_LABEL)};
  static_assert(sizeof kLabels / sizeof kLabels[0] == kCodeCount, "one label per code");
#undef VEK_PLAN_LABEL
#undef VEK_LABEL
  for (Op& o : ops) o.label = kLabels[o.code];
#if defined(VEK_STEP_BOUND)
  for (Op& o : ops) {
    if (marked(&o)) o.label = &&L_Walled;
  }
#endif
#define CASE(name) L_##name
#define DISPATCH() goto * op->label  // NOLINT(bugprone-macro-parentheses)
#else
#define CASE(name) case k##name
#define DISPATCH() continue
#endif
#define GO_TO(target) \
  {                   \
    op = (target);    \
    VEK_WALL()        \
    VEK_BOUND()       \
    DISPATCH();       \
  }
#define GO(pos) GO_TO(&ops[pos])
// Straight-line code steps to op + 1 under a predicted branch, so the next
// dispatch need not wait for op->to to load.
#define THEN()           \
  a = WrapAdd(a, op->x); \
  b = WrapAdd(b, op->y); \
  if (op->seq) {         \
    GO_TO(op + 1);       \
  }                      \
  GO_TO(op->to)

#if defined(VEK_STEP_BOUND)
resume:
#endif
#if VEK_COMPUTED_GOTO
  VEK_BOUND()
  goto* kLabels[op->code];  // where the run starts or goes on, even at a breakpoint
#else
  VEK_BOUND()
  for (;;) {
    switch (op->code) {
#endif

#define VEK_HANDLER(ch, name, kind, effect) \
  CASE(name) : {                      \
    effect;                           \
    THEN();                           \
  }
  VEK_INSTRUCTIONS(VEK_HANDLER)
#undef VEK_HANDLER

  CASE(Add) : {
    THEN();
  }
  // ? = ^ from the table; = goes on to the next operation when it does not jump.
#define JUMP(target) GO(Target(target))
#define STOP() goto end
#define VEK_HANDLER(ch, name, kind, effect) \
  CASE(name) : {                      \
    effect;                           \
    GO_TO(op->to);                    \
  }
  VEK_CONTROL(VEK_HANDLER)
#undef VEK_HANDLER
#undef STOP
#undef JUMP
  CASE(SetJump) : {
    a = op->x;
    b = WrapAdd(b, op->y);
    GO(op->alt);
  }
  CASE(SetJumpIfEqual) : {
    a = op->x;
    b = WrapAdd(b, op->y);
    if (c == d) GO(op->alt);
    GO_TO(op->to);
  }
  CASE(CopyJumpIfEqual) : {
    c = a;
    d = b;
    if (c == d) GO(Target(a));
    GO_TO(op->to);
  }
  CASE(CopySplit) : {
    c = a;
    d = b;
    DigitSplit(a, b, c);
    THEN();
  }
  CASE(MoveBA) : {
    a = b;
    THEN();
  }
#if VEK_COMPUTED_GOTO
  CASE(End) : goto end;
#if defined(VEK_STEP_BOUND)
L_Walled:
  step_budget += op->steps;  // taken on arrival, but not run
  goto walled;
#endif
#else
      case kEnd: goto end;
    }
  }
#endif

#if defined(VEK_STEP_BOUND)
handover:
  if (marked(op) && step_budget != budget) goto walled;  // arrived, not started here
  ::a = a, ::b = b, ::c = c, ::d = d, ::tmp = tmp;
  {
    // Here for a key read, if the operation fits the budget: the reference
    // runs it alone, then this loop goes on.
    const bool fits = op->steps <= step_budget;
    const std::uint64_t limit = fits ? op->steps : step_budget;
    const std::uint64_t taken = ExecVekSteps(static_cast<int>(op - ops), limit);
    step_budget -= taken;
    if (fits && taken == limit && stop_at >= 0) {
      a = ::a, b = ::b, c = ::c, d = ::d, tmp = ::tmp;
      op = &ops[stop_at];
      if (marked(op)) goto walled;
      goto resume;
    }
  }
  return;
walled:
  ::a = a, ::b = b, ::c = c, ::d = d, ::tmp = tmp;
  stop_at = static_cast<int>(op - ops);
  return;
#endif
end:
  ::a = a, ::b = b, ::c = c, ::d = d, ::tmp = tmp;
#if defined(VEK_STEP_BOUND)
  stop_at = -1;
#endif

#undef THEN
#undef GO
#undef GO_TO
#undef DISPATCH
#undef CASE
#undef VEK_BOUND
#undef VEK_WALL
}
