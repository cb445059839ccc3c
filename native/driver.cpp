// The native driver: lowers the plan (decode.h) to the build's back end's
// primitives (backend.h). Everything the language means is here, once for
// every back end.
//
// In order: the lowering (what each operation means, in primitives); what
// the analysis lowers to; then one compile: the layout, the analysis and the
// emitting.
//
// Layout: the straight path follows each operation's successor from position
// 0 to 700; a position off it (a jump into the middle of a run, a no-op in
// front of an instruction) gets a small entry of its own out of line, or
// shares an identical one.
//
// Analysis: a first pass, the same lowering over a back end that writes
// nothing, works out what is known of the registers at each entry
// (facts.h); if every jump then has a known target, no jump needs the table
// and what is known holds, so a jump becomes a direct branch. If any jump
// needs the table, every position is an entry and only what each operation
// knows itself is used: a target set in the same operation, and c equal to
// a right after @, which lets the digit split divide once.
#include <algorithm>
#include <iterator>
#include <optional>

#include "console/console.h"
#include "interpreter/decode.h"
#include "interpreter/machine.h"
#include "native/backend.h"
#include "native/facts.h"
#include "native/native.h"
#include "native/pages.h"
#include "native/slice.h"

namespace native {
namespace {

// Each instruction of VEK_INSTRUCTIONS as the table states it, on the machine
// state: native code calls it for an instruction it has no lowering of its
// own for (NULL, which calls out all the same, and any new one), between
// storing a..d and loading them again. A key read goes straight into its
// register: programs that read many keys spend their time there.
#define VEK_EFFECT(ch, name, kind, effect) \
  +[](void*) -> std::int32_t {             \
    effect;                                \
    return 0;                              \
  },
constexpr Callout kEffects[] = {VEK_INSTRUCTIONS(VEK_EFFECT)};
#undef VEK_EFFECT

std::int32_t CallKey(void* /*context*/) {
  return console::ReadKey();
}
std::int32_t CallFlush(void* /*context*/) {
  console::Flush();
  return 0;
}
std::int32_t CallStop(void* /*context*/) {
  console::PutLine(kStopLine);
  return 0;
}

// Where the lowering goes: the entries it branches to with what is known
// there, and those a run comes in by (a branch, or a run that left going on
// there). The emitting has all of it from the analysis already.
class Ways {
 public:
  Ways() = default;
  Ways(const Ways&) = delete;
  Ways& operator=(const Ways&) = delete;

  virtual void Reach(int /*label*/, const Facts& /*f*/) {}
  virtual void Enter(int /*label*/) {}

 protected:
  // Never destroyed through this interface: a virtual destructor would pull
  // operator delete, and with it the C++ runtime library, into the program.
  ~Ways() = default;
};
// The emitting's ways: the analysis has them already.
class Known final : public Ways {};

// The primitives, applied to what is known as well as handed to the back
// end. The analysis and the code go through the same lowering, so they agree.
class Lowering {
 public:
  // A bounded run counts jumps, and, with key_waiting, stops before a key
  // read while it says no key is waiting; with steps, the steps are counted.
  Lowering(Backend& e, Ways& ways, const int* entry, bool bounded, Callout key_waiting, bool steps)
      : e_(e),
        ways_(ways),
        entry_(entry),
        bounded_(bounded),
        key_waiting_(key_waiting),
        steps_(steps) {}

  // Whether a jump went through the table; whether an operation had no
  // lowering (the code is not to be run).
  bool tabled = false;
  bool failed = false;

  // Starts lowering an operation with what is known at its entry.
  void Start(const Facts& f) {
    now_ = f;
    first_local_ = next_local_;
    for (Facts& local : local_) local.reached = false;  // no way there yet
  }
  bool Reached() const { return now_.reached; }

  // The operation at position p; afterwards Reached() says whether it goes
  // on at op.next.
  void Lower(const Op& op, int p) {
    jump_at_ = p + op.steps - 1;  // where a jump of the operation stands
    // Its steps, but for a key read, which may leave first (KeyRead).
    if (!ReadsKey(op.code)) steps_pending_ += op.steps;
    switch (op.code) {
      case kIncA:
      case kIncB:
      case kDecA:
      case kDecB: {  // the decoder folds them into kAdd; exact all the same
        const char ch = InstructionOf(op.code);
        AddImm(kA, kA, AddsToA(ch)), AddImm(kB, kB, AddsToB(ch));
        break;
      }
      case kAdd: break;
      case kClearA: MoveImm(kA, op.x), AddImm(kB, kB, op.y); return;  // a set once
      case kCopyAB: Move(kC, kA), Move(kD, kB); break;
      case kCopyCD: Move(kA, kC), Move(kB, kD); break;
      case kDup: Move(kB, kA), Move(kD, kC); break;
      case kSwapAB: Swap(kA, kB); break;
      case kSwapCD: Swap(kC, kD); break;
      case kPutA: PutByte(kA); break;
      case kPutB: PutByte(kB); break;
      case kSplit: Split(); break;
      case kNull: Effect(op.code); break;
      case kStore: StoreCell(kA, kD); break;
      case kLoad: LoadCell(kD, kA); break;
      case kAddB: Add(kA, kB); break;  // '-' adds
      case kSubB: Sub(kA, kB); break;  // '+' subtracts
      case kMoveBA: Move(kA, kB); break;
      case kCopySplit: Move(kC, kA), Move(kD, kB), Split(); break;
      case kJump: Jump(); return;
      case kJumpIfEqual: JumpIfEqual(); return;
      case kCopyJumpIfEqual: Move(kC, kA), Move(kD, kB), JumpIfEqual(); return;
      case kSetJump: MoveImm(kA, op.x), AddImm(kB, kB, op.y), Jump(); return;
      case kSetJumpIfEqual: MoveImm(kA, op.x), AddImm(kB, kB, op.y), JumpIfEqual(); return;
      case kStop: Call(CallStop, kNoReg), Branch(kExit); return;
      case kEnd: Branch(kExit); return;
      default:  // a key read, or an instruction as the table states it
        ReadsKey(op.code) ? KeyRead(op, p) : Effect(op.code);
        break;
    }
    // What the operation absorbed from the run after it.
    AddImm(kA, kA, op.x), AddImm(kB, kB, op.y);
  }

  void Branch(int label) {
    Settle();
    Flow(label);
    if (label < kExit) ways_.Enter(label);
    e_.Branch(label);
    now_.reached = false;
  }
  // Goes on at the next operation, which follows in the code.
  void Fall(int label) { Flow(label); }
  // Steps run without an operation of their own (a stub's).
  void Count(std::uint32_t steps) { steps_pending_ += steps; }

  // Counts the bytes put down and the steps run since the last count: before
  // any call, branch or way in from elsewhere, the counts are the truth.
  void Settle() {
    if (pending_ > 0) e_.Count(pending_);
    if (steps_ && steps_pending_ > 0) e_.AddSteps(steps_pending_);
    if (pending_ > 0 || steps_pending_ > 0) now_.Scratched();
    pending_ = 0;
    steps_pending_ = 0;
  }

  // Puts a local label, where the ways to it meet.
  void Place(int label) {
    now_.Merge(local_[label - first_local_]);
    e_.Place(label);
  }

 private:
  Backend& e_;
  Ways& ways_;
  const int* entry_;
  bool bounded_;
  Callout key_waiting_;
  bool steps_;
  int pending_ = 0;                  // bytes put down, not yet counted
  std::uint32_t steps_pending_ = 0;  // steps run, not yet counted
  int jump_at_ = 0;
  Facts now_;
  // Local labels, numbered across the whole code; those of one operation.
  int next_local_ = kFirstLocal;
  int first_local_ = kFirstLocal;
  Facts local_[kLocalsPerOp];

  // Where a branch goes: a position's entry (or the way out), or a local label.
  void Flow(int label) {
    if (label == kExit || !now_.reached) return;
    if (label >= kFirstLocal) {
      local_[label - first_local_].Merge(now_);
    } else {
      ways_.Reach(label, now_);
    }
  }

  // To a, which ends the run outside 0..700. A bounded run stops at the
  // jump instead of taking the one past its count, as the reference loop
  // does, to go on there.
  void Jump() {
    Settle();
    const int stop = next_local_++;
    if (bounded_) CountDown(stop);
    if (now_.Known(kA)) {
      Branch(entry_[Target(now_.v[kA])]);
    } else {
      tabled = true;
      e_.BranchIf(Cond::kAbove, kA, kEndPos, kExit), e_.JumpTable(kA);
      now_.reached = false;
    }
    if (bounded_) Place(stop), Leave(jump_at_);
  }
  // To a if c equals d; else on.
  void JumpIfEqual() {
    if (now_.Known(kC) && now_.Known(kD)) {
      if (now_.v[kC] == now_.v[kD]) Jump();
      return;
    }
    if (now_.Known(kA) && !bounded_) {  // one branch
      const int label = entry_[Target(now_.v[kA])];
      BranchIf(Cond::kEqual, kC, kD, label);
      return;
    }
    const int differ = next_local_++;
    BranchIf(Cond::kNotEqual, kC, kD, differ);
    Jump();
    Place(differ);
  }

  // A key read at position p: a bounded run with a key hook leaves before
  // it while no key is waiting, to go on at p later.
  void KeyRead(const Op& op, int p) {
    int at = p;
    while (!IsInstruction(prog[at])) ++at;  // no-ops in front of it
    steps_pending_ += at - p;
    if (key_waiting_ != nullptr) {
      Call(key_waiting_, kT0);
      const int waiting = next_local_++;
      BranchIf(Cond::kNotEqual, kT0, 0, waiting);
      Leave(at);
      Place(waiting);
    }
    steps_pending_ += op.steps - (at - p);
    // The key straight into its register.
    const int r = KeyFills(InstructionOf(op.code));
    Call(CallKey, r < 0 ? kNoReg : static_cast<Reg>(kA + r));
  }
  // An instruction done by its effect in the table, on the machine state.
  void Effect(Code code) {
    if (code >= std::size(kEffects)) return void(failed = true);  // an operation of the plan's own
    e_.StoreMachine();
    Call(kEffects[code], kNoReg);
    e_.LoadMachine();
    for (const Reg r : {kA, kB, kC, kD}) now_.Computed(r);
  }
  // Ends the run, to go on at position p: a way in, with the machine as the
  // run left it (what is known holds there).
  void Leave(int p) {
    Settle();
    Flow(entry_[p]);
    ways_.Enter(entry_[p]);
    e_.Leave(p);
    now_.reached = false;
  }
  void CountDown(int label) {
    Flow(label);
    e_.CountDown(label);
  }

  // mod = c rem 10; b = mod + 48; a = (a - mod) / 10 + 48. Where c equals
  // a, a - mod is ten times the quotient: one division.
  void Split() {
    const bool once = now_.c_is_a;
    Quotient10(kT0, kC);
    Remainder10(kT1, kC, kT0);
    AddImm(kB, kT1, '0');
    if (!once) Sub(kA, kT1), Quotient10(kT0, kA);
    AddImm(kA, kT0, '0');
  }

  // The primitives, to the back end and to what is known; a value worked out
  // where its operands are known is set, not computed.
  void Move(Reg dst, Reg src) { e_.Move(dst, src), now_.Move(dst, src); }
  void Swap(Reg x, Reg y) { e_.Swap(x, y), now_.Swap(x, y); }
  void MoveImm(Reg dst, std::int32_t x) { e_.MoveImm(dst, x), now_.MoveImm(dst, x); }
  void AddImm(Reg dst, Reg src, std::int32_t x) {
    if (x == 0 && dst == src) return;
    if (now_.Known(src)) return MoveImm(dst, WrapAdd(now_.v[src], x));
    e_.AddImm(dst, src, x), now_.Computed(dst);
  }
  void Add(Reg dst, Reg src) {
    if (now_.Known(dst) && now_.Known(src)) return MoveImm(dst, WrapAdd(now_.v[dst], now_.v[src]));
    e_.Add(dst, src), now_.Computed(dst);
  }
  void Sub(Reg dst, Reg src) {
    if (now_.Known(dst) && now_.Known(src)) return MoveImm(dst, WrapSub(now_.v[dst], now_.v[src]));
    e_.Sub(dst, src), now_.Computed(dst);
  }
  void Quotient10(Reg dst, Reg src) {
    if (now_.Known(src)) return MoveImm(dst, now_.v[src] / 10);
    e_.Quotient10(dst, src), now_.Quotient10(dst);
  }
  void Remainder10(Reg dst, Reg src, Reg q) {
    if (now_.Known(src) && now_.Known(q)) {
      return MoveImm(dst, static_cast<std::int32_t>(static_cast<std::uint32_t>(now_.v[src]) -
                                                    10u * static_cast<std::uint32_t>(now_.v[q])));
    }
    e_.Remainder10(dst, src, q), now_.Computed(dst);
  }
  void LoadCell(Reg dst, Reg index) { e_.LoadCell(dst, index), now_.Computed(dst); }
  void StoreCell(Reg index, Reg value) { e_.StoreCell(index, value); }
  void PutByte(Reg r) {
    e_.PutByte(r, pending_), now_.PutByte();
    if (++pending_ == static_cast<int>(console::kOutSlack)) Settle();
  }
  void Call(Callout fn, Reg result) {
    Settle();
    e_.Call(fn, result), now_.Call(result);
  }
  template <typename Y>  // a register or a value
  void BranchIf(Cond cond, Reg x, Y y, int label) {
    Settle();
    Flow(label);
    if (label < kExit) ways_.Enter(label);
    e_.BranchIf(cond, x, y, label);
  }
};

// A back end that writes nothing: the analysis is the same lowering over it.
class NoCode final : public Backend {
 public:
  const char* Name() const override { return "none"; }
  void Reset(std::uint8_t*, std::size_t, const World&) override {}
  void Enter() override {}
  void Leave(int) override {}
  void StoreMachine() override {}
  void LoadMachine() override {}
  void Place(int) override {}
  void Branch(int) override {}
  void BranchIf(Cond, Reg, Reg, int) override {}
  void BranchIf(Cond, Reg, std::int32_t, int) override {}
  void JumpTable(Reg) override {}
  void CountDown(int) override {}
  void AddSteps(std::uint32_t) override {}
  void Move(Reg, Reg) override {}
  void Swap(Reg, Reg) override {}
  void MoveImm(Reg, std::int32_t) override {}
  void AddImm(Reg, Reg, std::int32_t) override {}
  void Add(Reg, Reg) override {}
  void Sub(Reg, Reg) override {}
  void Quotient10(Reg, Reg) override {}
  void Remainder10(Reg, Reg, Reg) override {}
  void LoadCell(Reg, Reg) override {}
  void StoreCell(Reg, Reg) override {}
  void PutByte(Reg, int) override {}
  void Count(int) override {}
  void Call(Callout, Reg) override {}
  bool Finish(const int*) override { return true; }
  std::size_t Size() const override { return 0; }
};

// The analysis's ways: what is known at each entry is what holds on every
// way there; an entry where that changed is lowered again, until none does.
class Analysis final : public Ways {
 public:
  Analysis(Facts* at, bool* entered) : at_(at), entered_(entered) {}

  void Reach(int label, const Facts& f) override {
    if (at_[label].Merge(f) && !queued_[label]) {
      queued_[label] = true, queue_[queue_size_++] = label;
    }
  }
  void Enter(int label) override { entered_[label] = true; }
  // The next entry to lower again, or -1.
  int Next() {
    if (queue_size_ == 0) return -1;
    const int p = queue_[--queue_size_];
    queued_[p] = false;
    return p;
  }

 private:
  Facts* at_;      // what is known at each position's entry
  bool* entered_;  // the positions a branch (or the start) goes to
  bool queued_[kEndPos + 1] = {};
  int queue_[kEndPos + 1];
  int queue_size_ = 0;
};

// Whether two operations do the same, whatever steps they take.
bool Same(const Op& x, const Op& y) {
  return x.code == y.code && x.next == y.next && x.alt == y.alt && x.x == y.x && x.y == y.y;
}

// One compile: the plan, each position's entry and what is known there.
struct Compile {
  Op ops[kProgSize + 1];
  bool on_path[kProgSize + 1];
  int entry[kProgSize + 1];  // the label whose code serves each position
  Facts at[kProgSize + 1];
  bool entered[kProgSize + 1];  // reached other than by falling through
  int table[kProgSize + 1];     // see Table
  // Where steps are counted: a position that does what another does, in
  // more steps, is a stub that counts them and goes there.
  int stub_to[kProgSize + 1];
  std::uint32_t stub_steps[kProgSize + 1];

  // Positions on the straight path serve themselves; one off it shares the
  // entry of an identical operation just before it, and a pure no-op that
  // of its successor (unless its steps are counted); the rest get code of
  // their own.
  void Entries() {
    std::fill(std::begin(on_path), std::end(on_path), false);
    for (int p = 0; p != kEndPos; p = ops[p].next) on_path[p] = true;
    std::fill(std::begin(stub_to), std::end(stub_to), -1);
    int alias[kProgSize + 1];
    for (int p = 0; p <= kEndPos; ++p) {
      const Op& op = ops[p];
      const bool noop = op.code == kAdd && op.x == 0 && op.y == 0;
      alias[p] = -1;
      if (on_path[p] || p == kEndPos) continue;
      if (steps == nullptr) {
        alias[p] = Same(op, ops[p - 1]) ? p - 1 : noop ? op.next : -1;
      } else if (noop || (Same(op, ops[p + 1]) && op.steps == ops[p + 1].steps + 1)) {
        stub_to[p] = noop ? op.next : p + 1;
        stub_steps[p] = noop ? op.steps : 1;
      }
    }
    // A stub goes straight to the code at the end of a chain of them.
    for (int p = kEndPos - 1; p > 0; --p) {
      const int to = stub_to[p];
      if (to < 0 || stub_to[to] < 0) continue;
      stub_to[p] = stub_to[to], stub_steps[p] += stub_steps[to];
    }
    // Aliases point back to an earlier position or on to an operation's
    // successor, never in a circle; halving the paths keeps long runs of
    // no-ops linear.
    for (int p = 0; p <= kEndPos; ++p) {
      int q = p;
      while (alias[q] >= 0) {
        if (alias[alias[q]] >= 0) alias[q] = alias[alias[q]];
        q = alias[q];
      }
      entry[p] = q == kEndPos ? kExit : q;
    }
  }

  // What is known at each entry, from the registers the run starts with at
  // n: everything that follows from them if no jump needs the table, else
  // nothing.
  void Analyse(int n, const Limits* limits) {
    std::fill(std::begin(at), std::end(at), Facts{});
    std::fill(std::begin(entered), std::end(entered), false);
    NoCode none;
    Analysis ways(at, entered);
    Lowering l = For(none, ways, limits);
    const int start = entry[n];
    if (start != kExit) {
      Facts f = NothingKnown();
      f.Set(kA, a), f.Set(kB, b), f.Set(kC, c), f.Set(kD, d);
      f.c_is_a = a == c;
      ways.Reach(start, f);
      ways.Enter(start);
    }
    for (int p = ways.Next(); p >= 0 && !l.tabled; p = ways.Next()) {
      l.Start(at[p]);
      if (stub_to[p] >= 0) {
        l.Branch(entry[stub_to[p]]);
        continue;
      }
      l.Lower(ops[p], p);
      if (!l.Reached()) continue;
      on_path[p] ? l.Fall(entry[ops[p].next]) : l.Branch(entry[ops[p].next]);
    }
    if (l.tabled) {  // every position is a way in, of which nothing is known
      std::fill(std::begin(at), std::end(at), NothingKnown());
      std::fill(std::begin(entered), std::end(entered), true);
    }
  }

  // False where an operation had no lowering.
  bool Emit(Backend& e, int n, const Limits* limits) {
    Known known;
    Lowering l = For(e, known, limits);
    e.Enter();
    l.Start(NothingKnown());
    if (entry[n] != 0) l.Branch(entry[n]);  // else the straight path starts here
    const auto lower = [&](int p, bool falls) {
      if (entered[p]) l.Settle();
      e.Place(p);
      l.Start(at[p].reached ? at[p] : NothingKnown());
      l.Lower(ops[p], p);
      if (l.Reached() && !falls) l.Branch(entry[ops[p].next]);
    };
    for (int p = 0; p != kEndPos; p = ops[p].next) {
      if (Placed(p)) lower(p, true);
    }
    l.Settle();
    e.Place(kExit);
    e.Leave(-1);
    for (int p = 1; p < kEndPos; ++p) {
      if (on_path[p] || entry[p] != p || !Placed(p)) continue;
      if (stub_to[p] < 0) {
        lower(p, false);
        continue;
      }
      e.Place(p);
      l.Start(NothingKnown());
      l.Count(stub_steps[p]);
      l.Branch(entry[stub_to[p]]);
    }
    return !l.failed;
  }

  // Whether position p's code is written: only where a way reaches it, so
  // that no code written branches to code that is not.
  bool Placed(int p) const { return at[p].reached || entered[p]; }
  // Each position's label for the jump table: the way out where its code is
  // not written.
  const int* Table() {
    for (int p = 0; p <= kEndPos; ++p) {
      table[p] = entry[p] == kExit || Placed(entry[p]) ? entry[p] : kExit;
    }
    return table;
  }

  Lowering For(Backend& e, Ways& ways, const Limits* limits) {
    const bool bounded = limits != nullptr && limits->jumps != UINT64_MAX;
    return {e,
            ways,
            entry,
            bounded,
            limits == nullptr ? nullptr : limits->key_waiting,
            steps != nullptr};
  }
  std::uint64_t* steps = nullptr;  // where the steps run are counted, if they are
};

// Far more than any program text needs (about 100 bytes per position at most).
constexpr std::size_t kCodeCap = 1 << 17;
// Steps a slice may take, where code runs in slices and counts steps.
constexpr std::uint32_t kSlice = 1u << 30;

}  // namespace
}  // namespace native

NativeRun::~NativeRun() {
  Drop();
}

bool NativeRun::Compile(int n, Limits* limits, std::uint64_t* steps) {
  Drop();
  native::Backend* e = native::TheBackend();
  if (e == nullptr || n < 0 || n > kEndPos) return false;
  // Pages never touched take no memory.
  code_ = native::MapCode(native::kCodeCap);
  if (code_ == nullptr) return false;
  native::Compile compile;
  compile.steps = steps;
  Decode(prog, compile.ops);
  compile.Entries();
  compile.Analyse(n, limits);
  const native::World world{{&a, &b, &c, &d},
                            mem,
                            console::out.buf,
                            &console::out.len,
                            console::out_limit,
                            native::CallFlush,
                            limits == nullptr ? nullptr : limits->context,
                            limits == nullptr ? nullptr : &limits->jumps,
                            steps};
  e->Reset(static_cast<std::uint8_t*>(code_), native::kCodeCap, world);
  if (!compile.Emit(*e, n, limits) || !e->Finish(compile.Table()) ||
      !native::SealCode(code_, e->Size())) {
    Drop();
  }
  return code_ != nullptr;
}

SliceEnd NativeRun::Slice(int n, std::uint32_t budget) {
  const int at = native::RunCode(code_, n, budget);
  if (at < 0) return {-1, SliceEnd::Reason::kEnded};
  if ((at & native::kOutOfBudgetBit) != 0) {
    return {at & ~native::kOutOfBudgetBit, SliceEnd::Reason::kOutOfBudget};
  }
  return {at, SliceEnd::Reason::kStopped};
}

void NativeRun::Rehearse(int n) {
  if (code_ != nullptr) native::RehearseCode(code_, n);
}

void NativeRun::Drop() {
  if (code_ != nullptr) native::UnmapCode(code_, native::kCodeCap);
  code_ = nullptr;
}

namespace {

// Compiles and runs to the end, slice after slice where the code has them;
// nothing where native code cannot be had.
std::optional<int> RunToEnd(int n, Limits* limits, std::uint64_t* steps) {
  if (n < 0 || n > kEndPos) {
    return native::TheBackend() == nullptr ? std::nullopt : std::optional<int>(-1);
  }
  NativeRun run;
  if (!run.Compile(n, limits, steps)) return std::nullopt;
  SliceEnd end = run.Slice(n, native::kSlice);
  while (end.reason == SliceEnd::Reason::kOutOfBudget)
    end = run.Slice(end.position, native::kSlice);
  return end.position;
}

}  // namespace

bool ExecVekNative(int n) {
  return RunToEnd(n, nullptr, nullptr).has_value();
}

std::optional<int> ExecVekNative(int n, Limits& limits) {
  std::uint64_t steps = 0;
  const std::optional<int> at = RunToEnd(n, &limits, &steps);
  limits.steps -= steps;
  return at;
}

const char* NativeCode() {
  const native::Backend* e = native::TheBackend();
  return e == nullptr ? nullptr : e->Name();
}
