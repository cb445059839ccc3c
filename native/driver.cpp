// The native driver: lowers the plan (decode.h) to the build's back end's
// primitives (backend.h). Everything the language means is here, once for
// every back end.
//
// Layout: the straight path follows each operation's successor from position
// 0 to 700; a position off it (a jump into the middle of a run, a no-op in
// front of an instruction) gets a small entry of its own out of line, or
// shares an identical one.
//
// Facts: the code is compiled for one run, so the registers the run starts
// with are known, and so is whatever follows from them along the way. A
// first pass (the same lowering, with no back end) works out what is known
// at each entry; if every jump then has a known target, no jump needs the
// table and what is known holds, so a jump becomes a direct branch. If any
// jump needs the table, every position is an entry and only what each
// operation knows itself is used: a target set in the same operation, and
// c equal to a right after @, which lets the digit split divide once.
#include <algorithm>
#include <iterator>

#include "console/console.h"
#include "interpreter/decode.h"
#include "interpreter/machine.h"
#include "native/backend.h"
#include "native/native.h"
#include "native/pages.h"

namespace native {
namespace {

std::int32_t CallKey() {
  return console::ReadKey();
}
std::int32_t CallFlush() {
  console::Flush();
  return 0;
}
std::int32_t CallNull() {
  console::PutLine("NULL");
  return 0;
}
std::int32_t CallStop() {
  console::PutLine("STOP");
  return 0;
}

// What is known of the registers at a point of the code.
struct Facts {
  bool reached = false;
  bool c_is_a = false;
  std::uint8_t known = 0;  // bit r: v[r] is r's value
  std::int32_t v[kNoReg] = {};

  bool Known(Reg r) const { return (known >> r & 1) != 0; }
  void Set(Reg r, std::int32_t x) { v[r] = x, known |= 1 << r; }
  void Forget(Reg r) { known &= ~(1 << r); }
  // What holds on both ways in.
  bool Merge(const Facts& in) {
    if (!in.reached) return false;
    if (!reached) return *this = in, true;
    const Facts before = *this;
    c_is_a = c_is_a && in.c_is_a;
    for (int r = 0; r < kNoReg; ++r) {
      if (Known(Reg(r)) && (!in.Known(Reg(r)) || v[r] != in.v[r])) Forget(Reg(r));
    }
    return c_is_a != before.c_is_a || known != before.known;
  }
};

Facts Unknown() {
  Facts f;
  f.reached = true;
  return f;
}

// The primitives, applied to what is known as well as handed to the back
// end; with no back end, only what is known and where the run can go. The
// analysis and the code go through the same lowering, so they agree.
class Lowering {
 public:
  Lowering(Backend* e, const int* entry, Facts* at, bool bounded)
      : e_(e), entry_(entry), at_(at), bounded_(bounded) {}

  // Whether the analysis met a jump through the table.
  bool tabled = false;

  // Starts lowering an operation with what is known at its entry.
  void Start(const Facts& f) {
    now_ = f;
    first_local_ = next_local_;
    std::fill(std::begin(local_), std::end(local_), Facts{});
  }
  bool Reached() const { return now_.reached; }

  // The analysis: a position whose facts grew, to visit again.
  void Queue(int p) {
    if (!queued_[p]) queued_[p] = true, queue_[queue_size_++] = p;
  }
  int Next() {
    if (queue_size_ == 0) return -1;
    const int p = queue_[--queue_size_];
    queued_[p] = false;
    return p;
  }

  // One operation of the plan; afterwards Reached() says whether it goes
  // on at op.next.
  void Lower(const Op& op) {
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
      case kClearA: MoveImm(kA, 0); break;
      case kCopyAB: Move(kC, kA), Move(kD, kB); break;
      case kCopyCD: Move(kA, kC), Move(kB, kD); break;
      case kDup: Move(kB, kA), Move(kD, kC); break;
      case kSwapAB: Move(kT0, kA), Move(kA, kB), Move(kB, kT0); break;
      case kSwapCD: Move(kT0, kC), Move(kC, kD), Move(kD, kT0); break;
      case kPutA: PutByte(kA); break;
      case kKeyA: Call(CallKey, kA); break;
      case kPutB: PutByte(kB); break;
      case kKeyB: Call(CallKey, kB); break;
      case kSplit: Split(); break;
      case kNull: Call(CallNull, kNoReg); break;
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
    }
    // What the operation absorbed from the run after it.
    AddImm(kA, kA, op.x), AddImm(kB, kB, op.y);
  }

  void Branch(int label) {
    Flow(label);
    if (e_ != nullptr) e_->Branch(label);
    now_.reached = false;
  }

  // Puts a local label, where the ways to it meet.
  void Place(int label) {
    now_.Merge(local_[label - first_local_]);
    if (e_ != nullptr) e_->Place(label);
  }

 private:
  Backend* e_;  // nullptr while analysing
  const int* entry_;
  Facts* at_;  // what is known at each position's entry
  bool bounded_;
  Facts now_;
  // Local labels, numbered across the whole code; those of one operation.
  int next_local_ = kFirstLocal;
  int first_local_ = kFirstLocal;
  Facts local_[kLocalsPerOp];
  bool queued_[kEndPos + 1] = {};
  int queue_[kEndPos + 1];
  int queue_size_ = 0;

  // Where a branch goes: a position's entry (or the way out), or a local label.
  void Flow(int label) {
    if (label == kExit || !now_.reached) return;
    if (label >= kFirstLocal) {
      local_[label - first_local_].Merge(now_);
    } else if (e_ == nullptr && at_[label].Merge(now_)) {
      Queue(label);
    }
  }

  // A jump of the program: the jump past the count ends a bounded run.
  void Taken(int label) {
    if (bounded_ && e_ != nullptr) e_->CountDown(kExit);
    Branch(label);
  }
  // To a, which ends the run outside 0..700.
  void Jump() {
    if (now_.Known(kA)) return Taken(entry_[Target(now_.v[kA])]);
    tabled = true;
    if (e_ == nullptr) return void(now_.reached = false);
    e_->BranchIf(Cond::kAbove, kA, kEndPos, kExit);
    if (bounded_) e_->CountDown(kExit);
    e_->JumpTable(kA);
    now_.reached = false;
  }
  // To a if c equals d; else on.
  void JumpIfEqual() {
    if (now_.Known(kC) && now_.Known(kD)) {
      if (now_.v[kC] == now_.v[kD]) Jump();
      return;
    }
    if (now_.Known(kA) && !bounded_) {  // one branch
      const int label = entry_[Target(now_.v[kA])];
      Flow(label);
      if (e_ != nullptr) e_->BranchIf(Cond::kEqual, kC, kD, label);
      return;
    }
    const int differ = next_local_++;
    BranchIf(Cond::kNotEqual, kC, kD, differ);
    Jump();
    Place(differ);
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

  // The primitives. Each keeps what is known: a value worked out where its
  // operands are known, and whether c equals a.
  void Wrote(Reg r) {
    if (r == kA || r == kC) {
      now_.c_is_a = now_.Known(kA) && now_.Known(kC) && now_.v[kA] == now_.v[kC];
    }
  }
  void Move(Reg dst, Reg src) {
    if (e_ != nullptr) e_->Move(dst, src);
    now_.Known(src) ? now_.Set(dst, now_.v[src]) : now_.Forget(dst);
    const bool copy = (dst == kC && src == kA) || (dst == kA && src == kC);
    Wrote(dst);
    now_.c_is_a = now_.c_is_a || copy;
  }
  void MoveImm(Reg dst, std::int32_t x) {
    if (e_ != nullptr) e_->MoveImm(dst, x);
    now_.Set(dst, x);
    Wrote(dst);
  }
  void AddImm(Reg dst, Reg src, std::int32_t x) {
    if (x == 0 && dst == src) return;
    if (e_ != nullptr) e_->AddImm(dst, src, x);
    now_.Known(src) ? now_.Set(dst, WrapAdd(now_.v[src], x)) : now_.Forget(dst);
    Wrote(dst);
  }
  void Add(Reg dst, Reg src) {
    if (e_ != nullptr) e_->Add(dst, src);
    Arith(dst, src, WrapAdd(now_.v[dst], now_.v[src]));
  }
  void Sub(Reg dst, Reg src) {
    if (e_ != nullptr) e_->Sub(dst, src);
    Arith(dst, src, WrapSub(now_.v[dst], now_.v[src]));
  }
  void Arith(Reg dst, Reg src, std::int32_t result) {
    now_.Known(dst) && now_.Known(src) ? now_.Set(dst, result) : now_.Forget(dst);
    Wrote(dst);
  }
  void Quotient10(Reg dst, Reg src) {
    if (e_ != nullptr) e_->Quotient10(dst, src);
    now_.Forget(kT1);
    now_.Known(src) ? now_.Set(dst, now_.v[src] / 10) : now_.Forget(dst);
    Wrote(dst);
  }
  void Remainder10(Reg dst, Reg src, Reg q) {
    if (e_ != nullptr) e_->Remainder10(dst, src, q);
    const auto rem = static_cast<std::int32_t>(static_cast<std::uint32_t>(now_.v[src]) -
                                               10u * static_cast<std::uint32_t>(now_.v[q]));
    now_.Known(src) && now_.Known(q) ? now_.Set(dst, rem) : now_.Forget(dst);
    Wrote(dst);
  }
  void LoadCell(Reg dst, Reg index) {
    if (e_ != nullptr) e_->LoadCell(dst, index);
    now_.Forget(dst);
    Wrote(dst);
  }
  void StoreCell(Reg index, Reg value) {
    if (e_ != nullptr) e_->StoreCell(index, value);
  }
  void PutByte(Reg r) {
    if (e_ != nullptr) e_->PutByte(r);
    now_.Forget(kT0), now_.Forget(kT1);
  }
  void Call(Callout fn, Reg result) {
    if (e_ != nullptr) e_->Call(fn, result);
    now_.Forget(kT0), now_.Forget(kT1);
    if (result != kNoReg) now_.Forget(result), Wrote(result);
  }
  void BranchIf(Cond cond, Reg x, Reg y, int label) {
    Flow(label);
    if (e_ != nullptr) e_->BranchIf(cond, x, y, label);
  }
};

bool Same(const Op& x, const Op& y) {
  return x.code == y.code && x.next == y.next && x.alt == y.alt && x.x == y.x && x.y == y.y;
}

// One compile: the plan, each position's entry and what is known there.
struct Compile {
  Op ops[kProgSize + 1];
  bool on_path[kProgSize + 1];
  int entry[kProgSize + 1];  // the label whose code serves each position
  Facts at[kProgSize + 1];

  // Positions on the straight path serve themselves; one off it shares the
  // entry of an identical operation just before it, and a pure no-op that
  // of its successor; the rest get code of their own.
  void Entries() {
    std::fill(std::begin(on_path), std::end(on_path), false);
    for (int p = 0; p != kEndPos; p = ops[p].next) on_path[p] = true;
    int alias[kProgSize + 1];
    for (int p = 0; p <= kEndPos; ++p) {
      const Op& op = ops[p];
      alias[p] = on_path[p] || p == kEndPos                  ? -1
                 : Same(op, ops[p - 1])                      ? p - 1
                 : op.code == kAdd && op.x == 0 && op.y == 0 ? op.next
                                                             : -1;
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
  void Analyse(int n, bool bounded) {
    std::fill(std::begin(at), std::end(at), Facts{});
    Lowering l(nullptr, entry, at, bounded);
    const int start = entry[n];
    if (start != kExit) {
      Facts& f = at[start] = Unknown();
      f.Set(kA, a), f.Set(kB, b), f.Set(kC, c), f.Set(kD, d);
      f.c_is_a = a == c;
      l.Queue(start);
    }
    for (int p = l.Next(); p >= 0 && !l.tabled; p = l.Next()) {
      l.Start(at[p]);
      l.Lower(ops[p]);
      if (l.Reached()) l.Branch(entry[ops[p].next]);
    }
    if (l.tabled) std::fill(std::begin(at), std::end(at), Unknown());
  }

  void Emit(Backend& e, int n, bool bounded) {
    Lowering l(&e, entry, at, bounded);
    e.Enter();
    l.Start(Unknown());
    if (entry[n] != 0) l.Branch(entry[n]);  // else the straight path starts here
    const auto lower = [&](int p, bool falls) {
      e.Place(p);
      l.Start(at[p].reached ? at[p] : Unknown());
      l.Lower(ops[p]);
      if (l.Reached() && !falls) l.Branch(entry[ops[p].next]);
    };
    for (int p = 0; p != kEndPos; p = ops[p].next) lower(p, true);
    e.Place(kExit);
    e.Exit();
    for (int p = 1; p < kEndPos; ++p) {
      if (!on_path[p] && entry[p] == p) lower(p, false);
    }
  }
};

// Far more than any program text needs (about 100 bytes per position at most).
constexpr std::size_t kCodeCap = 1 << 17;

bool Run(int n, std::uint64_t* jumps) {
  Backend* e = TheBackend();
  if (e == nullptr) return false;
  if (n < 0 || n > kEndPos) return true;
  // Pages never touched take no memory.
  auto* code = static_cast<std::uint8_t*>(MapCode(kCodeCap));
  if (code == nullptr) return false;
  Compile compile;
  Decode(prog, compile.ops);
  compile.Entries();
  compile.Analyse(n, jumps != nullptr);
  const World world{{&a, &b, &c, &d}, mem,  console::out.buf, &console::out.len, console::out_limit,
                    CallFlush,        jumps};
  e->Reset(code, kCodeCap, world);
  compile.Emit(*e, n, jumps != nullptr);
  const bool ok = e->Finish(compile.entry) && SealCode(code, kCodeCap);
  if (ok) reinterpret_cast<void (*)()>(code)();
  UnmapCode(code, kCodeCap);
  return ok;
}

}  // namespace
}  // namespace native

bool ExecVekNative(int n) {
  return native::Run(n, nullptr);
}

bool ExecVekNative(int n, Limits& limits) {
  return native::Run(n, &limits.jumps);
}

const char* NativeCode() {
  const native::Backend* e = native::TheBackend();
  return e == nullptr ? nullptr : e->Name();
}
