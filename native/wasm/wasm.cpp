// The WebAssembly back end: the code is a module of one function,
// run(start, budget), which the page makes with WebAssembly.Module from
// these bytes, importing the interpreter module's memory (where the machine,
// the output buffer and its count are) and the functions it calls out to,
// each named by its index in the interpreter's function table, which is
// what a function pointer is there.
//
// WebAssembly has no goto. The code is written as it comes, with a note at
// each label and branch; at Finish, once every label has its place, the
// notes become loops and blocks (nest.h): a branch back that closes a cycle
// is a br to its loop's head and a branch forward a br out of a block.
// Around them all is a dispatch loop whose br_table enters the code at any
// position: run's start, a jump through the table and a branch back that
// closes no cycle set the position and go round it. Code that can come to a
// jump through the table is written without loops: every position is a way
// in there, and every loop would dispatch at its head; code that only such
// jumps come to is written before the code it goes on to. Where
// steps are counted, a branch back and the dispatch loop's head look whether
// the slice has run the budget's steps: then run returns the position it was
// going to, with kOutOfBudgetBit set, so the page draws and goes on there.
// The steps local holds the steps run less the position of the code: falling
// from one position's code into the next, where every position is a way in,
// counts nothing; a branch adds the difference, and a jump through the table
// the difference from a.
// a, b, c, d, two scratch values, the output count and the steps are locals.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "native/backend.h"
#include "native/slice.h"
#include "native/wasm/asm.h"
#include "native/wasm/nest.h"

namespace native {
namespace {

// The locals: run's two parameters, then the i32 ones: a..d and the scratch
// values (Reg's order), the output count and the position a dispatch goes
// to; then the i64 ones: the steps counted and where the slice ends.
constexpr std::uint32_t kStart = 0, kBudget = 1, kFirstReg = 2, kLen = kFirstReg + kNoReg,
                        kTarget = kLen + 1, kI32Locals = kTarget - 1, kSteps = kTarget + 1,
                        kLimit = kSteps + 1;
// The position outside a dispatch, so that a loop that dispatches goes
// straight on to its head's code.
constexpr std::int32_t kNowhere = -1;
constexpr int kCalloutCap = 8;  // the driver calls out to fewer
constexpr std::size_t kBodyCap = 1 << 17;
constexpr int kNoteCap = 6 * kLabels;  // labels and branches: at most a few of each per position

std::uint32_t Local(Reg r) {
  return kFirstReg + r;
}
std::uint32_t Address(const void* p) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p));
}

class Wasm final : public Backend {
 public:
  const char* Name() const override { return "wasm"; }

  void Reset(std::uint8_t* code, std::size_t cap, const World& world) override {
    module_.Reset(code, cap);
    module_base_ = code, module_cap_ = cap;
    head_.Reset(head_bytes_, sizeof head_bytes_);
    body_.Reset(body_bytes_, sizeof body_bytes_);
    world_ = world;
    base_ = 0, pending_ = 0;
    placed_ = 0;
    notes_ = 0;
    open_ = true;
    callouts_ = 0;
    for (int& at : at_) at = -1;
  }

  // Loads the machine; the loops and blocks come at Finish.
  void Enter() override {
    Load(head_);
    head_.I32Const(0), head_.I32Load(Address(world_.len)), head_.LocalSet(kLen);
    head_.LocalGet(kStart), head_.LocalSet(kTarget);
    if (world_.steps != nullptr) {
      head_.I32Const(0), head_.I64Load(Address(world_.steps)), head_.LocalSet(kSteps);
    }
    head_.LocalGet(kSteps), head_.LocalGet(kBudget), head_.I64ExtendI32U(), head_.I64Add();
    head_.LocalSet(kLimit);
    if (world_.steps != nullptr) {
      head_.LocalGet(kSteps), head_.LocalGet(kStart), head_.I64ExtendI32U(), head_.I64Sub();
      head_.LocalSet(kSteps);
    }
  }
  void StoreMachine() override { Store(body_, Here()); }
  void LoadMachine() override { Load(body_); }
  void Leave(int result) override {
    Store(body_, Here());
    body_.I32Const(result), body_.Return();
    open_ = false;
    if (result >= 0) Note(Kind::kLeave, result);
  }
  void Place(int label) override {
    if (open_) Recount(body_, Here() - Anchor(label));
    base_ = Anchor(label), pending_ = 0;
    anchor_[label] = base_;
    if (at_[label] >= 0) placed_ = kLabels + 1;  // twice: Finish fails
    if (placed_ > 0 && placed_ <= kLabels) falls_[placed_ - 1] = open_;
    if (placed_ < kLabels) first_note_[placed_] = notes_, at_[label] = placed_;
    ++placed_;
    open_ = true;
    Note(Kind::kPlace, label);
  }

  void Branch(int label) override {
    Recount(body_, Here() - Anchor(label));
    Note(Kind::kBranch, label);
    open_ = false;
  }
  void BranchIf(Cond cond, Reg x, Reg y, int label) override {
    Settle(label);
    body_.LocalGet(Local(x)), body_.LocalGet(Local(y));
    BrIf(cond, label);
  }
  void BranchIf(Cond cond, Reg x, std::int32_t y, int label) override {
    Settle(label);
    body_.LocalGet(Local(x)), body_.I32Const(y);
    BrIf(cond, label);
  }
  void JumpTable(Reg index) override {
    body_.LocalGet(Local(index)), body_.LocalSet(kTarget);
    if (world_.steps != nullptr) {  // the steps less a's position
      body_.LocalGet(kSteps), body_.I64Const(Here()), body_.I64Add();
      body_.LocalGet(Local(index)), body_.I64ExtendI32U(), body_.I64Sub(), body_.LocalSet(kSteps);
    }
    Note(Kind::kTable, kExit);
    open_ = false;
  }
  void AddSteps(std::uint32_t k) override { pending_ += k; }
  void CountDown(int label) override {
    Settle(label);
    const std::uint32_t at = Address(world_.jumps);
    body_.I32Const(0), body_.I64Load(at), body_.I64Eqz();
    Note(Kind::kBranchIf, label);
    body_.I32Const(0), body_.I32Const(0), body_.I64Load(at), body_.I64Const(1), body_.I64Sub();
    body_.I64Store(at);
  }

  void Move(Reg dst, Reg src) override { body_.LocalGet(Local(src)), body_.LocalSet(Local(dst)); }
  void MoveImm(Reg dst, std::int32_t v) override { body_.I32Const(v), body_.LocalSet(Local(dst)); }
  void AddImm(Reg dst, Reg src, std::int32_t v) override {
    body_.LocalGet(Local(src)), body_.I32Const(v), body_.I32Add(), body_.LocalSet(Local(dst));
  }
  void Add(Reg dst, Reg src) override { Arith(dst, src), body_.I32Add(), Set(dst); }
  void Sub(Reg dst, Reg src) override { Arith(dst, src), body_.I32Sub(), Set(dst); }
  // i32.div_s rounds toward zero and, by 10, never traps; the engine
  // multiplies instead.
  void Quotient10(Reg dst, Reg src) override {
    body_.LocalGet(Local(src)), body_.I32Const(10), body_.I32DivS(), Set(dst);
  }
  void Remainder10(Reg dst, Reg src, Reg q) override {
    body_.LocalGet(Local(src)), body_.LocalGet(Local(q)), body_.I32Const(10), body_.I32Mul();
    body_.I32Sub(), Set(dst);
  }

  // Cells outside 0..1024 read 0 and are never written.
  void LoadCell(Reg dst, Reg index) override {
    InMemory(index), body_.IfI32();
    Cell(index), body_.I32Load(Address(world_.mem));
    body_.Else(), body_.I32Const(0), body_.End(), Set(dst);
  }
  void StoreCell(Reg index, Reg value) override {
    InMemory(index), body_.If();
    Cell(index), body_.LocalGet(Local(value)), body_.I32Store(Address(world_.mem));
    body_.End();
  }
  void PutByte(Reg r, int i) override {
    body_.LocalGet(kLen), body_.LocalGet(Local(r));
    body_.I32Store8(Address(world_.out + i));
  }
  void Count(int k) override {
    body_.LocalGet(kLen), body_.I32Const(k), body_.I32Add(), body_.LocalSet(kLen);
    body_.I32Const(0), body_.LocalGet(kLen), body_.I32Store(Address(world_.len));
    body_.LocalGet(kLen), body_.I32Const(static_cast<std::int32_t>(world_.limit)), body_.I32GeU();
    body_.If(), Call(world_.flush, kNoReg), body_.End();
  }
  void Call(Callout fn, Reg result) override {
    int i = 0;
    while (i < callouts_ && callout_[i] != fn) ++i;
    if (i == callouts_ && callouts_ < kCalloutCap) callout_[callouts_++] = fn;
    body_.I32Const(static_cast<std::int32_t>(Address(world_.context)));  // the one argument
    body_.Call(static_cast<std::uint32_t>(i));  // imported functions come first
    result == kNoReg ? body_.Drop() : Set(result);
    body_.I32Const(0), body_.I32Load(Address(world_.len)), body_.LocalSet(kLen);
  }

  // Tries the code with its loops, then, where that did not fit, with every
  // branch back going round the dispatch loop.
  bool Finish(const int* entry) override {
    if (placed_ > kLabels || notes_ > kNoteCap || at_[kExit] < 0 || !body_.Fits()) return false;
    falls_[placed_ - 1] = open_;
    for (int p = 0; p <= kEndPos; ++p) {
      if (at_[entry[p]] < 0) return false;
    }
    for (int i = 0; i < notes_; ++i) {
      const Noted& n = note_[i];
      if ((n.kind == Kind::kBranch || n.kind == Kind::kBranchIf) && at_[n.label] < 0) return false;
    }
    for (int k = 0; k < placed_; ++k) label_[k] = note_[first_note_[k]].label;
    entry_ = entry;
    Reach();
    return (!table_live_ && Write(false)) || Write(true, true) || Write(true, false);
  }
  std::size_t Size() const override { return module_.Here(); }

 private:
  // What the body notes as it is written: a label placed, or a branch to
  // one (a conditional one takes its condition from the stack), the jump
  // through the table, or a return to go on at a position (label).
  enum class Kind : std::uint8_t { kPlace, kBranch, kBranchIf, kTable, kLeave };
  struct Noted {
    std::size_t at;  // in body_, after the code before it
    Kind kind;
    int label;
    std::int32_t recount;  // what a conditional branch adds to the steps local, taken
  };
  // A label's code as Parts visits it.
  struct Frame {
    int label;  // its index in the order written
    int note;   // the next of its notes
    bool fell;  // whether its falling through was visited
  };
  using Nest = wasm::Nest<kLabels>;
  static constexpr int kNone = Nest::kNone;
  // What is open at the end of the code so far: a label's block (its index
  // in the order written), a loop (kLoopBase + its head's index), a block or
  // if of the back end's own, or one of the three around them all.
  static constexpr int kExitBlock = -2, kOutOfBudget = -3, kDispatch = -4, kOwn = -5,
                       kLoopBase = kLabels;

  wasm::Asm module_;  // the caller's bytes
  std::uint8_t* module_base_ = nullptr;
  std::size_t module_cap_ = 0;
  wasm::Asm head_;
  wasm::Asm body_;
  wasm::Asm code_;  // the function: locals, the head, the loops and blocks, the body
  World world_{};
  // The body as written: each label's code and notes, by the order placed.
  int at_[kLabels];          // the order in which each label was placed, or -1
  int label_[kLabels];       // the labels in that order
  int first_note_[kLabels];  // each one's note
  bool falls_[kLabels];      // whether its code falls through to the next
  int placed_ = 0;
  bool open_ = true;  // whether the code written so far falls through
  // The position the steps local counts from, and the steps since not added.
  std::int64_t base_ = 0;
  std::int64_t pending_ = 0;
  std::int32_t anchor_[kLabels];  // the position each placed label counts from
  Noted note_[kNoteCap];
  int notes_ = 0;
  const int* entry_ = nullptr;  // each position's label
  // What Finish works out.
  bool live_[kLabels];       // whether the run can come to each label's code
  bool table_live_ = false;  // whether it can come to a jump through the table
  int after_[kLabels];       // see Arrange
  int seq_[kLabels];         // the order the labels' code is written in
  int index_[kLabels];       // each label's place in that order
  int queue_[kLabels];       // labels to visit, for Reach
  int part_[kLabels];        // see Parts, and what it works with:
  int found_[kLabels];       // the order it found each label in
  int low_[kLabels];         // the first found that each one's code can come to
  int held_[kLabels];        // the labels whose part is not known yet
  bool holding_[kLabels];
  // See Landings, and what it works with.
  int landing_[kLabels];
  int landings_ = 0;
  bool moved_[kLabels];
  int lead_[kLabels];  // the first label of each one's piece
  bool seen_[kLabels];
  Frame frame_[kLabels];  // the labels being visited
  Nest nest_;
  int stack_[2 * kLabels + 8];  // what is open, as the function is written
  int depth_ = 0;
  int block_at_[kLabels];  // where each label's block is on the stack
  int loop_at_[kLabels];   // where the loop each label heads is
  Callout callout_[kCalloutCap];
  int callouts_ = 0;
  std::uint8_t head_bytes_[256];
  std::uint8_t body_bytes_[kBodyCap];
  std::uint8_t code_bytes_[kBodyCap + 4096];

  static int Position(int label) { return label == kExit ? kEndPos : label; }

  void Note(Kind kind, int label) {
    std::int32_t recount = 0;
    if (kind == Kind::kBranchIf && world_.steps != nullptr) {
      recount = static_cast<std::int32_t>(Here() - Anchor(label));
    }
    if (notes_ < kNoteCap) note_[notes_] = {body_.Here(), kind, label, recount};
    ++notes_;
  }
  // The steps run, less the local's count, where the code is being written.
  std::int64_t Here() const { return base_ + pending_; }
  // The position the steps local is counted from at a label: its own, or,
  // for a label inside an operation's code, that of the code it is in.
  std::int64_t Anchor(int label) const {
    return label < kExit ? label : label == kExit ? kEndPos : base_;
  }
  void Recount(wasm::Asm& to, std::int64_t by) const {
    if (world_.steps == nullptr || by == 0) return;
    to.LocalGet(kSteps), to.I64Const(by), to.I64Add(), to.LocalSet(kSteps);
  }
  // Before a conditional branch to a label inside the operation's code:
  // both ways count from the same position.
  void Settle(int label) {
    if (label <= kExit) return;
    Recount(body_, pending_);
    pending_ = 0;
  }
  // The condition's value is on the stack.
  void BrIf(Cond cond, int label) {
    switch (cond) {
      case Cond::kEqual: body_.I32Eq(); break;
      case Cond::kNotEqual: body_.I32Ne(); break;
      case Cond::kAbove: body_.I32GtU(); break;
    }
    Note(Kind::kBranchIf, label);
  }

  // The function, with loops or flat (and then with its landings moved, or
  // not); false where it does not fit.
  bool Write(bool flat, bool land = false) {
    Arrange(flat, land);
    if (!Nesting(flat)) return false;
    module_.Reset(module_base_, module_cap_);
    code_.Reset(code_bytes_, sizeof code_bytes_);
    code_.U32(2), code_.U32(kI32Locals), code_.Byte(wasm::op::kI32);
    code_.U32(2), code_.Byte(wasm::op::kI64);
    code_.Append(head_);
    depth_ = 0;
    code_.Block(), Push(kExitBlock), code_.Block(), Push(kOutOfBudget);
    code_.Loop(), Push(kDispatch);
    if (world_.steps != nullptr) {  // the slice is done
      StepsAtTarget(), code_.LocalGet(kLimit), code_.I64GeU(), code_.BrIf(Depth(kOutOfBudget));
    }
    Blocks(kNone);
    Dispatch(kNone);
    if (!Body()) return false;
    while (depth_ > 0 && stack_[depth_ - 1] >= kLoopBase) code_.End(), Pop();
    if (depth_ != 3) return false;
    code_.End(), Pop(), code_.Unreachable();  // the dispatch loop
    code_.End(), Pop(), StepsAtTarget(), code_.LocalSet(kSteps), Store(code_, 0);  // out of budget
    code_.LocalGet(kTarget), code_.I32Const(kOutOfBudgetBit), code_.I32Or(), code_.Return();
    code_.End(), Pop(), Store(code_, kEndPos), code_.I32Const(-1), code_.Return();  // the way out
    code_.End();
    Module(code_);
    return code_.Fits() && head_.Fits() && module_.Fits() && callouts_ < kCalloutCap;
  }

  // Which code the run can come to (live_, by the order placed): where it
  // starts (the branch before any label, else the first label), where it
  // goes on after a return, and from there where the code branches, falls
  // through and jumps through the table.
  void Reach() {
    std::fill(live_, live_ + placed_, false);
    table_live_ = false;
    int n = 0;
    const auto reach = [&](int label) {
      const int k = at_[label];
      if (label != kExit && !live_[k]) live_[k] = true, queue_[n++] = k;
    };
    reach(first_note_[0] > 0 && note_[0].kind == Kind::kBranch ? note_[0].label : label_[0]);
    while (n > 0) {
      const int k = queue_[--n];
      const int last = k + 1 < placed_ ? first_note_[k + 1] : notes_;
      for (int i = first_note_[k]; i < last; ++i) {
        reach(GoesOn(note_[i]));
        if (note_[i].kind != Kind::kTable || table_live_) continue;
        table_live_ = true;
        for (int p = 0; p <= kEndPos; ++p) reach(entry_[p]);
      }
      if (falls_[k] && k + 1 < placed_) reach(label_[k + 1]);
    }
  }

  // The order the labels' code is written in (seq_, and each label's index
  // in it, index_): as placed, but for the code the driver puts out of line
  // after the way out. A piece of it (a label not fallen into, and those its
  // code falls into) goes after the first code that does not fall through
  // at or after the last one placed before the way out that branches to it,
  // so that a loop closed by a branch back from it takes no more than it.
  // Flat, with land, what a jump through the table lands in goes before the
  // code it goes on to (see Landings).
  void Arrange(bool flat, bool land) {
    const int exit = at_[kExit];
    for (int k = 0; k < placed_; ++k) after_[k] = exit;
    for (int k = 0; k < exit && !flat; ++k) {
      if (!live_[k]) continue;
      const int last = k + 1 < placed_ ? first_note_[k + 1] : notes_;
      for (int i = first_note_[k]; i < last; ++i) {
        const Noted& n = note_[i];
        if (n.kind != Kind::kBranch && n.kind != Kind::kBranchIf) continue;
        const int to = at_[n.label];
        if (to <= exit || falls_[to - 1]) continue;
        int after = k;
        while (falls_[after]) ++after;
        after_[to] = after;
      }
    }
    std::fill(moved_, moved_ + placed_, false);
    const int before = land ? Landings(exit) : kNone;
    int n = 0;
    for (int k = 0; k <= exit; ++k) {
      for (int i = 0; k == before && i < landings_; ++i) n = Piece(landing_[i], n);
      seq_[n++] = k;
      for (int u = exit + 1; u < placed_; ++u) {
        if (falls_[u - 1] || after_[u] != k || moved_[u]) continue;
        n = Piece(u, n);
      }
    }
    for (int i = 0; i < placed_; ++i) index_[label_[seq_[i]]] = i;
  }
  // Puts the piece that label u leads (it and the code that falls into the
  // next) in the order from n on; returns where the order goes on.
  int Piece(int u, int n) {
    seq_[n++] = u;
    for (int v = u + 1; v < placed_ && falls_[v - 1]; ++v) seq_[n++] = v;
    return n;
  }
  // The pieces out of line that only the table and each other come to
  // (code a jump through the table lands in, on its way back) go just before
  // the first code before the way out they branch to, so that such a branch
  // goes forward instead of round the dispatch loop; among themselves in
  // reverse postorder along their branches, so that those go forward but
  // where they close a cycle. Never before the first piece: the code
  // before any label falls into it. They are landing_ (landings_ of them)
  // and marked in moved_; returns the label they go before, or kNone.
  int Landings(int exit) {
    landings_ = 0;
    for (int k = 0; k < placed_; ++k) lead_[k] = k > 0 && falls_[k - 1] ? lead_[k - 1] : k;
    for (int u = exit + 1; u < placed_; ++u) moved_[u] = lead_[u] == u;
    for (bool changed = true; changed;) {  // branched to from elsewhere: not moved
      changed = false;
      for (int k = 0; k < placed_; ++k) {
        const int last = k + 1 < placed_ ? first_note_[k + 1] : notes_;
        for (int i = first_note_[k]; i < last; ++i) {
          if (!Branches(note_[i])) continue;
          const int to = lead_[at_[note_[i].label]];
          if (moved_[to] && !moved_[lead_[k]] && to != lead_[k]) moved_[to] = false, changed = true;
        }
      }
    }
    int first = placed_;  // the first code before the way out they branch to
    int n = placed_;      // landing_ filled from its end, in postorder
    std::fill(seen_, seen_ + placed_, false);
    for (int root = placed_ - 1; root > exit; --root) {
      if (!moved_[root] || seen_[root]) continue;
      int depth = 0;
      seen_[root] = true;
      frame_[depth++] = {root, first_note_[root], false};
      while (depth > 0) {
        Frame& f = frame_[depth - 1];
        int end = f.label + 1;
        while (end < placed_ && falls_[end - 1]) ++end;
        const int last = end < placed_ ? first_note_[end] : notes_;
        int next = kNone;
        while (f.note < last && next == kNone) {
          const Noted& note = note_[f.note++];
          if (!Branches(note)) continue;
          const int to = at_[note.label];
          if (to <= exit && lead_[to] > 0) first = std::min(first, lead_[to]);
          if (moved_[lead_[to]] && !seen_[lead_[to]]) next = lead_[to];
        }
        if (next != kNone) {
          seen_[next] = true;
          frame_[depth++] = {next, first_note_[next], false};
          continue;
        }
        landing_[--n] = f.label;
        --depth;
      }
    }
    if (first == placed_) {  // nowhere to go before: they stay
      std::fill(moved_, moved_ + placed_, false);
      return kNone;
    }
    landings_ = placed_ - n;
    std::copy(landing_ + n, landing_ + placed_, landing_);
    return first;
  }
  // Calls note(in, i) for every note i in the order the code is written, in
  // being the index of the label whose code it is in (kNone before any),
  // and bytes(from, to) for the code between notes.
  template <typename Notes, typename Bytes>
  void Walk(Notes note, Bytes bytes) const {
    for (int in = kNone; in < placed_; ++in) {
      const int k = in == kNone ? kNone : seq_[in];
      const int first = k == kNone ? 0 : first_note_[k];
      const int last = k + 1 < placed_ ? first_note_[k + 1] : notes_;
      std::size_t from = k == kNone ? 0 : note_[first].at;
      for (int i = first; i < last; ++i) {
        bytes(from, note_[i].at), note(in, i);
        from = note_[i].at;
      }
      bytes(from, k + 1 < placed_ ? note_[first_note_[k + 1]].at : body_.Here());
    }
  }

  // The loops from the branches back (none where flat), and where the run
  // may go on inside them. False where a branch goes in somewhere other
  // than a position.
  bool Nesting(bool flat) {
    nest_.Reset(placed_);
    if (!flat) Parts();
    const auto none = [](std::size_t, std::size_t) {};
    const auto live = [&](int in) { return in == kNone || live_[seq_[in]]; };
    Walk(
        [&](int in, int i) {
          const Noted& n = note_[i];
          if (flat || !Branches(n) || !live(in)) return;
          if (const int to = index_[n.label]; to <= in && part_[to] == part_[in])
            nest_.Back(in, to);
        },
        none);
    nest_.Close();
    const auto land = [&](int p) {
      if (entry_[p] != kExit) nest_.Land(index_[entry_[p]]);
    };
    for (int p = 0; p < kEndPos && table_live_; ++p) land(p);
    for (int k = 0; k < placed_ && world_.steps != nullptr; ++k) {
      if (nest_.Heads(k)) nest_.Land(k);  // a slice may end at its loop's branch back
    }
    bool good = true;
    Walk(
        [&](int in, int i) {
          const Noted& n = note_[i];
          if (!live(in)) return;
          if (n.kind == Kind::kLeave) land(n.label);
          if (!Branches(n)) return;
          const int to = index_[n.label];
          if (to <= in ? Looped(in, to) : nest_.Via(in, to) == kNone) return;
          good = good && n.label <= kEndPos;  // a position to dispatch on
          nest_.Land(to);
        },
        none);
    return good;
  }
  // The parts of the code in which each label's can come to every other's
  // (Tarjan's strongly connected components, without recursion): part_,
  // by the order written. A branch back closes a cycle where its target is
  // in the same part: following the code it falls or branches to, and where
  // it goes on after a return.
  void Parts() {
    int found = 0, parts = 0, held = 0, depth = 0;
    std::fill(found_, found_ + placed_, kNone);
    const auto visit = [&](int k) {
      found_[k] = low_[k] = found++;
      held_[held++] = k, holding_[k] = true;
      frame_[depth++] = {k, first_note_[seq_[k]] + 1, false};
    };
    for (int root = 0; root < placed_; ++root) {
      if (found_[root] != kNone) continue;
      visit(root);
      while (depth > 0) {
        Frame& f = frame_[depth - 1];
        const int k = f.label;
        const int to = Next(f);
        if (to != kNone) {
          if (found_[to] == kNone) {
            visit(to);
          } else if (holding_[to]) {
            low_[k] = std::min(low_[k], found_[to]);
          }
          continue;
        }
        if (low_[k] == found_[k]) {  // k's part: what is held from k on
          int x = kNone;
          while (x != k) x = held_[--held], holding_[x] = false, part_[x] = parts;
          ++parts;
        }
        if (--depth > 0) {
          const int up = frame_[depth - 1].label;
          low_[up] = std::min(low_[up], low_[k]);
        }
      }
    }
  }
  // Where a label's code goes on next, as Parts visits it; kNone when done.
  int Next(Frame& f) const {
    const int k = seq_[f.label];
    const int last = k + 1 < placed_ ? first_note_[k + 1] : notes_;
    while (f.note < last) {
      const int label = GoesOn(note_[f.note++]);
      if (label != kExit) return index_[label];
    }
    if (f.fell || !falls_[k] || k + 1 >= placed_) return kNone;
    f.fell = true;
    return index_[label_[k + 1]];
  }
  // Where the code goes on from a note: a branch's label, or where a return
  // goes on; kExit for none (or the way out).
  int GoesOn(const Noted& n) const {
    if (n.kind == Kind::kLeave) return entry_[n.label];
    return n.kind == Kind::kBranch || n.kind == Kind::kBranchIf ? n.label : kExit;
  }
  // Whether a branch back from in to to is one to the head of a loop it is in.
  bool Looped(int in, int to) const { return nest_.Heads(to) && in <= nest_.End(to); }
  static bool Branches(const Noted& n) {
    return (n.kind == Kind::kBranch || n.kind == Kind::kBranchIf) && n.label != kExit;
  }

  // The body with its loops and blocks. False where the nesting is not as
  // worked out.
  bool Body() {
    bool good = true;
    Walk(
        [&](int in, int i) {
          const Noted& n = note_[i];
          switch (n.kind) {
            case Kind::kPlace: good = good && Open(in); break;
            case Kind::kTable: code_.Br(Depth(kDispatch)); break;
            case Kind::kLeave: break;
            case Kind::kBranch:
            case Kind::kBranchIf: good = good && Go(in, n); break;
          }
        },
        [&](std::size_t from, std::size_t to) { code_.Put(body_bytes_ + from, to - from); });
    return good;
  }
  // Label k's code begins: the loops before it end, then its block; the
  // loop it heads begins.
  bool Open(int k) {
    while (depth_ > 0 && stack_[depth_ - 1] >= kLoopBase &&
           nest_.End(stack_[depth_ - 1] - kLoopBase) < k) {
      code_.End(), Pop();
    }
    if (depth_ == 0 || stack_[depth_ - 1] != k) return false;
    code_.End(), Pop();
    if (!nest_.Heads(k)) return true;
    code_.Loop(), Push(kLoopBase + k);
    Blocks(k);
    if (nest_.Dispatches(k)) Dispatch(k);
    return true;
  }
  // A branch in label in's code to label: out to its block, back to its
  // loop's head, or in by the head of a loop it is not in. A conditional
  // one that counts steps, taken, is an if around the count and the br.
  bool Go(int in, const Noted& n) {
    const int label = n.label;
    const bool conditional = n.kind == Kind::kBranchIf;
    if (label == kExit) return Out(conditional, n.recount, kExitBlock);
    const int to = index_[label];
    const bool back = to <= in, looped = back && Looped(in, to);
    const int via = back ? kNone : nest_.Via(in, to);
    // What the br goes to, and where it is open.
    const int what = looped ? kLoopBase + to : back ? kDispatch : via == kNone ? to : via;
    const int at = looped ? loop_at_[to] : back ? kExitBlock - kDispatch : block_at_[what];
    if (at < 0 || at >= depth_ || stack_[at] != what) return false;
    if (!back && via == kNone) return Out(conditional, n.recount, at);
    if (conditional) code_.If(), Push(kOwn);
    Recount(code_, n.recount);
    if (!looped) {  // by a dispatch
      code_.I32Const(Position(label)), code_.LocalSet(kTarget);
    } else if (world_.steps != nullptr) {  // the slice may be done
      code_.LocalGet(kSteps), code_.I64Const(anchor_[label]), code_.I64Add();
      code_.LocalGet(kLimit), code_.I64GeU(), code_.If(), Push(kOwn);
      code_.I32Const(Position(label)), code_.LocalSet(kTarget), code_.Br(Depth(kOutOfBudget));
      code_.End(), Pop();
    }
    code_.Br(Depth(at));
    if (conditional) code_.End(), Pop();
    return true;
  }
  // A br out to what is open at stack index at, adding recount to the steps
  // on the way (a conditional one: taken only).
  bool Out(bool conditional, std::int32_t recount, int at) {
    if (recount == 0) {
      conditional ? code_.BrIf(Depth(at)) : code_.Br(Depth(at));
      return true;
    }
    if (conditional) code_.If(), Push(kOwn);
    Recount(code_, recount), code_.Br(Depth(at));
    if (conditional) code_.End(), Pop();
    return true;
  }
  // The steps run, where the steps local counts from the position kTarget
  // holds: on the stack.
  void StepsAtTarget() {
    code_.LocalGet(kSteps), code_.LocalGet(kTarget), code_.I64ExtendI32U(), code_.I64Add();
  }
  // The blocks of the labels directly in the loop h heads (kNone: in no
  // loop), the last outermost.
  void Blocks(int h) {
    const int last = h == kNone ? placed_ - 1 : nest_.End(h);
    for (int k = last; k > h; --k) {
      if (nest_.Loop(k) == h) code_.Block(), Push(k);
    }
  }
  // Where the dispatch loop's head (h: kNone) or the head of loop h goes on
  // at the position kTarget holds, which the dispatch leaves kNowhere: to a
  // label's block, or in by the head of a loop inside, which dispatches in
  // turn.
  void Dispatch(int h) {
    const bool top = h == kNone;
    int lo = top ? 0 : kEndPos + 1, hi = top ? kEndPos : -1;
    bool deeper = false;
    for (int p = 0; p <= kEndPos; ++p) {
      const int k = Served(h, p);
      if (k == kNone) continue;
      lo = std::min(lo, p), hi = std::max(hi, p);
      deeper = deeper || (k >= 0 && nest_.In(h, k) != k);
    }
    if (hi < lo) return;
    if (!top) {
      code_.LocalGet(kTarget), code_.I32Const(kNowhere), code_.I32Ne(), code_.If(), Push(kOwn);
    }
    const auto position = [&] {
      code_.LocalGet(kTarget);
      if (lo > 0) code_.I32Const(lo), code_.I32Sub();
    };
    const auto table = [&](auto depth) {
      code_.BrTable(), code_.U32(static_cast<std::uint32_t>(hi - lo + 1));
      for (int p = lo; p <= hi; ++p) code_.U32(depth(Served(h, p)));
      code_.U32(depth(kNone));
    };
    position();
    if (deeper) {  // first in by the heads of the loops inside; the rest on
      code_.Block(), Push(kOwn);
      position();
      table([&](int k) {
        const int in = k < 0 ? k : nest_.In(h, k);
        return in >= 0 && in != k ? Depth(block_at_[in]) : 0;
      });
      code_.End(), Pop();
    }
    if (nest_.Dispatching()) code_.I32Const(kNowhere), code_.LocalSet(kTarget);
    table([&](int k) {
      if (k == kExitBlock) return Depth(kExitBlock);
      return k >= 0 && nest_.In(h, k) == k ? Depth(block_at_[k]) : top ? Depth(kExitBlock) : 0;
    });
    if (!top) code_.End(), Pop();
  }
  // The index of position p's label if the dispatch of loop h (kNone: the
  // dispatch loop) serves it, kExitBlock for the way out, else kNone.
  int Served(int h, int p) const {
    if (p > kEndPos || p < 0) return kNone;
    if (entry_[p] == kExit) return h == kNone ? kExitBlock : kNone;
    const int k = index_[entry_[p]];
    return nest_.In(h, k) == Nest::kOutside ? kNone : k;
  }

  void Push(int what) {
    if (what >= kLoopBase) loop_at_[what - kLoopBase] = depth_;
    if (what >= 0 && what < kLoopBase) block_at_[what] = depth_;
    stack_[depth_++] = what;
  }
  void Pop() { --depth_; }
  // The depth of a br to what is open at stack index at; kExitBlock,
  // kOutOfBudget and kDispatch are at the bottom, in that order.
  std::uint32_t Depth(int at) const {
    if (at < 0) at = kExitBlock - at;  // 0, 1, 2
    return static_cast<std::uint32_t>(depth_ - 1 - at);
  }

  void Arith(Reg dst, Reg src) { body_.LocalGet(Local(dst)), body_.LocalGet(Local(src)); }
  void Set(Reg dst) { body_.LocalSet(Local(dst)); }
  void InMemory(Reg index) {
    body_.LocalGet(Local(index)), body_.I32Const(kLastCell), body_.I32LeU();
  }
  void Cell(Reg index) { body_.LocalGet(Local(index)), body_.I32Const(2), body_.I32Shl(); }
  void Load(wasm::Asm& to) const {
    for (int r = kA; r <= kD; ++r) {
      to.I32Const(0), to.I32Load(Address(world_.regs[r])), to.LocalSet(Local(Reg(r)));
    }
  }
  // The registers, and the steps: the local's count and `past`.
  void Store(wasm::Asm& to, std::int64_t past) const {
    for (int r = kA; r <= kD; ++r) {
      to.I32Const(0), to.LocalGet(Local(Reg(r))), to.I32Store(Address(world_.regs[r]));
    }
    if (world_.steps == nullptr) return;
    to.I32Const(0), to.LocalGet(kSteps);
    if (past != 0) to.I64Const(past), to.I64Add();
    to.I64Store(Address(world_.steps));
  }

  // The module around the function: its types (0: a call-out, (i32) -> i32;
  // 1: run, (i32, i32) -> i32), imports and export.
  void Module(const wasm::Asm& code) {
    static constexpr std::uint8_t kMagic[] = {0x00, 0x61, 0x73, 0x6D, 0x01, 0x00, 0x00, 0x00};
    module_.Put(kMagic, sizeof kMagic);
    wasm::Asm part;
    std::uint8_t bytes[256];
    part.Reset(bytes, sizeof bytes);
    part.U32(2);
    part.Byte(wasm::op::kFuncType), part.U32(1), part.Byte(wasm::op::kI32);
    part.U32(1), part.Byte(wasm::op::kI32);
    part.Byte(wasm::op::kFuncType), part.U32(2), part.Byte(wasm::op::kI32);
    part.Byte(wasm::op::kI32), part.U32(1), part.Byte(wasm::op::kI32);
    Section(1, part);
    part.Reset(bytes, sizeof bytes);
    part.U32(1 + static_cast<std::uint32_t>(callouts_));  // env.memory, at least a page
    part.Name("env"), part.Name("memory"), part.Byte(2), part.Byte(0), part.U32(1);
    for (int i = 0; i < callouts_; ++i) {  // env.<table index>, of type 0
      char name[12];
      std::uint32_t n = Address(reinterpret_cast<const void*>(callout_[i]));
      int at = sizeof name;
      name[--at] = '\0';
      do name[--at] = static_cast<char>('0' + n % 10), n /= 10;
      while (n != 0);
      part.Name("env"), part.Name(name + at), part.Byte(0), part.U32(0);
    }
    Section(2, part);
    part.Reset(bytes, sizeof bytes);
    part.U32(1), part.U32(1);  // one function, of type run
    Section(3, part);
    part.Reset(bytes, sizeof bytes);
    part.U32(1), part.Name("run"), part.Byte(0), part.U32(static_cast<std::uint32_t>(callouts_));
    Section(7, part);
    module_.Byte(10), module_.U32(static_cast<std::uint32_t>(code.Here() + 1 + 5));
    module_.U32(1);
    const std::size_t size = module_.Padded();
    module_.Append(code);
    module_.Patch(size, static_cast<std::uint32_t>(code.Here()));
  }
  void Section(unsigned id, const wasm::Asm& part) {
    module_.Byte(id), module_.U32(static_cast<std::uint32_t>(part.Here()));
    module_.Append(part);
  }
};

}  // namespace

Backend* TheBackend() {
  return &instance_of<Wasm>;
}

}  // namespace native
