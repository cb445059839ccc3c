// The fast run loop: executes the plan (decode.h) with the registers in
// locals, one dispatch per operation (dispatch.h). A bounded run is the same
// loop with the limits' checks compiled in.
#include "interpreter/decode.h"
#include "interpreter/dispatch.h"
#include "interpreter/instructions.h"
#include "interpreter/loops.h"
#include "interpreter/machine.h"

namespace {

template <bool kBounded>
int Run(int n, Limits* limits) {
  // prog is read-only during a run: decoded once per run. Nothing folds
  // across a breakpoint, so a run can stop there.
  Op ops[kProgSize + 1];
  const bool* const breakpoints = kBounded ? limits->breakpoints : nullptr;
  Decode(prog, ops, breakpoints);
  const auto marked = [&](const Op* o) {
    return breakpoints != nullptr && o != &ops[kEndPos] && breakpoints[o - ops];
  };
#define VEK_HANDLER_ADDRESS(ch, name, kind, effect) VEK_ADDRESS(L_##name),
#define VEK_PLAN_ADDRESS(name) VEK_ADDRESS(L_##name),
  static const void* const kHandlers[] = {VEK_INSTRUCTIONS(VEK_HANDLER_ADDRESS) VEK_CONTROL(
      VEK_HANDLER_ADDRESS) VEK_PLAN_CODES(VEK_PLAN_ADDRESS)};
  static_assert(sizeof kHandlers / sizeof kHandlers[0] == kCodeCount, "one handler per code");
#undef VEK_PLAN_ADDRESS
#undef VEK_HANDLER_ADDRESS
  for (Op& o : ops) {
    o.to = &ops[o.next];
    o.seq = o.to == &o + 1;
    o.label = kHandlers[o.code];
    // With computed goto a marked position's handler is the stop, so
    // breakpoints cost nothing until one is reached.
    if (marked(&o)) o.label = VEK_ADDRESS(arrived);
  }
  // Locals named like the registers, so the instruction table's effects act on them.
  std::int32_t a = ::a;
  std::int32_t b = ::b;
  std::int32_t c = ::c;
  std::int32_t d = ::d;
  std::int32_t tmp = ::tmp;
  const Op* op = &ops[n];
  const std::uint64_t budget = kBounded ? limits->steps : 0;
  std::uint64_t steps = budget;  // left to run
  const auto leave = [&](int at) {
    ::a = a, ::b = b, ::c = c, ::d = d, ::tmp = tmp;
    if constexpr (kBounded) limits->steps = steps;
    return at;
  };

  // A bounded run stops after exactly its steps: an operation that would
  // overrun them, or a key read that may have to wait, is handed to the
  // reference loop. A breakpoint stops it on arrival, not where it started.
#define ADMIT()                                                                        \
  if constexpr (kBounded) {                                                            \
    if (op->steps > steps || (limits->key_waiting != nullptr && ReadsKey(op->code))) { \
      goto handover;                                                                   \
    }                                                                                  \
    steps -= op->steps;                                                                \
  }
#define GO_TO(target)                           \
  {                                             \
    op = (target);                              \
    ADMIT()                                     \
    if constexpr (kBounded && !kComputedGoto) { \
      if (marked(op)) goto arrived;             \
    }                                           \
    VEK_NEXT(op);                               \
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

  // clang-format off
  // The handlers: clang-format would push the labels and the macro-made cases
  // to the right, so this block keeps its own layout.
[[maybe_unused]] resume:  // bounded runs come back here after a handover
  ADMIT()
  // Where the run starts or goes on, even at a breakpoint.
  VEK_BEGIN(op->code)

#define VEK_HANDLER(ch, name, kind, effect) \
  VEK_CASE(name): {                         \
    effect;                                 \
    THEN();                                 \
  }
  VEK_INSTRUCTIONS(VEK_HANDLER)
#undef VEK_HANDLER

  VEK_CASE(Add): {
    THEN();
  }

  // ? = ^ from the table; = goes on to the next operation when it does not jump.
#define JUMP(target) GO(Target(target))
#define STOP() return leave(-1)
#define VEK_HANDLER(ch, name, kind, effect) \
  VEK_CASE(name): {                         \
    effect;                                 \
    GO_TO(op->to);                          \
  }
  VEK_CONTROL(VEK_HANDLER)
#undef VEK_HANDLER
#undef STOP
#undef JUMP

  VEK_CASE(SetJump): {
    a = op->x;
    b = WrapAdd(b, op->y);
    GO(op->alt);
  }
  VEK_CASE(SetJumpIfEqual): {
    a = op->x;
    b = WrapAdd(b, op->y);
    if (c == d) GO(op->alt);
    GO_TO(op->to);
  }
  VEK_CASE(CopyJumpIfEqual): {
    c = a;
    d = b;
    if (c == d) GO(Target(a));
    GO_TO(op->to);
  }
  VEK_CASE(CopySplit): {
    c = a;
    d = b;
    DigitSplit(a, b, c);
    THEN();
  }
  VEK_CASE(MoveBA): {
    a = b;
    THEN();
  }
  VEK_CASE(End): return leave(-1);
  VEK_END

#undef THEN
#undef GO
#undef GO_TO
#undef ADMIT

[[maybe_unused]] arrived:  // at a breakpoint: its steps were taken on arrival, but not run
  steps += op->steps;
  return leave(static_cast<int>(op - ops));

[[maybe_unused]] handover:
  if constexpr (kBounded) {
    if (marked(op) && steps != budget) {
      return leave(static_cast<int>(op - ops));  // arrived, not started here
    }
    // Here for a key read, if the operation fits the steps left: the
    // reference loop runs it alone, then this loop goes on.
    leave(0);
    const bool fits = op->steps <= steps;
    Limits one{.steps = fits ? op->steps : steps,
               .breakpoints = breakpoints,
               .context = limits->context,
               .key_waiting = limits->key_waiting};
    const std::uint64_t limit = one.steps;
    const int at = ExecVekReference(static_cast<int>(op - ops), one);
    steps -= limit - one.steps;
    if (fits && one.steps == 0 && at >= 0) {
      a = ::a, b = ::b, c = ::c, d = ::d, tmp = ::tmp;
      op = &ops[at];
      if (marked(op)) return leave(at);
      goto resume;
    }
    limits->steps = steps;  // the machine is as the reference loop left it
    return at;
  }
  // clang-format on
  return leave(-1);
}

}  // namespace

void ExecVekFast(int n) {
  if (n >= 0 && n <= kEndPos) Run<false>(n, nullptr);
}

int ExecVekFast(int n, Limits& limits) {
  return n >= 0 && n <= kEndPos ? Run<true>(n, &limits) : -1;
}
