// The WebAssembly back end: the code is a module of one function,
// run(start, budget), which the page makes with WebAssembly.Module from
// these bytes, importing the interpreter module's memory (where the machine,
// the output buffer and its count are) and the functions it calls out to,
// each named by its index in the interpreter's function table, which is
// what a function pointer is there.
//
// WebAssembly has no goto. Every label opens a block at the head of the
// function, inside a dispatch loop; the code for a label follows its block's
// end, so a branch to a label not yet placed leaves the blocks up to it, and
// one to a position already placed sets the position and goes round the
// loop, whose br_table enters any position. Where steps are counted, the
// loop's head looks whether the slice has run the budget's steps: then run
// returns the position it was going to, with kOutOfBudgetBit set, so the page
// draws and goes on there. a, b, c, d, two scratch values, the output count
// and the steps are locals.
#include <cstddef>
#include <cstdint>

#include "native/backend.h"
#include "native/slice.h"
#include "native/wasm/asm.h"

namespace native {
namespace {

// The locals: run's two parameters, then the i32 ones: a..d and the scratch
// values (Reg's order), the output count and the position the dispatch loop
// goes to; then the i64 ones: the steps counted and where the slice ends.
constexpr std::uint32_t kStart = 0, kBudget = 1, kFirstReg = 2, kLen = kFirstReg + kNoReg,
                        kTarget = kLen + 1, kI32Locals = kTarget - 1, kSteps = kTarget + 1,
                        kLimit = kSteps + 1;
constexpr int kCalloutCap = 8;  // the driver calls out to fewer
constexpr std::size_t kBodyCap = 1 << 17;

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
    head_.Reset(head_bytes_, sizeof head_bytes_);
    body_.Reset(body_bytes_, sizeof body_bytes_);
    world_ = world;
    placed_ = 0;
    fixes_ = 0;
    callouts_ = 0;
    for (int& at : index_) at = -1;
  }

  // Loads the machine; the dispatch loop and the blocks come at Finish, once
  // their number is known.
  void Enter() override {
    Load(head_);
    head_.I32Const(0), head_.I32Load(Address(world_.len)), head_.LocalSet(kLen);
    head_.LocalGet(kStart), head_.LocalSet(kTarget);
    if (world_.steps != nullptr) {
      head_.I32Const(0), head_.I64Load(Address(world_.steps)), head_.LocalSet(kSteps);
    }
    head_.LocalGet(kSteps), head_.LocalGet(kBudget), head_.I64ExtendI32U(), head_.I64Add();
    head_.LocalSet(kLimit);
  }
  void StoreMachine() override { Store(body_); }
  void LoadMachine() override { Load(body_); }
  void Leave(int result) override {
    Store(body_);
    body_.I32Const(result), body_.Return();
  }
  void Place(int label) override {
    body_.End();
    index_[label] = placed_++;
  }

  void Branch(int label) override {
    if (index_[label] < 0) return Forward(body_.Br(), label, 0);
    body_.I32Const(Position(label)), body_.LocalSet(kTarget);
    Around(body_.Br(), 0);
  }
  void BranchIf(Cond cond, Reg x, Reg y, int label) override {
    body_.LocalGet(Local(x)), body_.LocalGet(Local(y));
    BrIf(cond, label);
  }
  void BranchIf(Cond cond, Reg x, std::int32_t y, int label) override {
    body_.LocalGet(Local(x)), body_.I32Const(y);
    BrIf(cond, label);
  }
  void JumpTable(Reg index) override {
    body_.LocalGet(Local(index)), body_.LocalSet(kTarget);
    Around(body_.Br(), 0);
  }
  void AddSteps(std::uint32_t k) override {
    body_.LocalGet(kSteps), body_.I64Const(k), body_.I64Add(), body_.LocalSet(kSteps);
  }
  void CountDown(int label) override {
    const std::uint32_t at = Address(world_.jumps);
    body_.I32Const(0), body_.I64Load(at), body_.I64Eqz();
    Forward(body_.BrIf(), label, 0);
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

  bool Finish(const int* entry) override {
    const std::uint32_t blocks = placed_;
    for (int i = 0; i < fixes_; ++i) {  // depths, now that every label has its block
      const Fix& f = fixes_at_[i];
      const std::uint32_t depth =
          f.label < 0 ? blocks - f.region : static_cast<std::uint32_t>(index_[f.label]) - f.region;
      body_.Patch(f.at, depth + f.inner);
    }
    wasm::Asm code;  // the function: locals, the head, the dispatch loop, the body
    code.Reset(code_bytes_, sizeof code_bytes_);
    code.U32(2), code.U32(kI32Locals), code.Byte(wasm::op::kI32);
    code.U32(2), code.Byte(wasm::op::kI64);
    code.Append(head_);
    code.Loop();
    code.LocalGet(kSteps), code.LocalGet(kLimit), code.I64GeU(), code.If();  // the slice is done
    Store(code);
    code.LocalGet(kTarget), code.I32Const(kOutOfBudgetBit), code.I32Or(), code.Return();
    code.End();
    for (std::uint32_t i = 0; i < blocks; ++i) code.Block();
    code.LocalGet(kTarget), code.BrTable(), code.U32(kEndPos + 1);
    for (int p = 0; p <= kEndPos; ++p) code.U32(static_cast<std::uint32_t>(index_[entry[p]]));
    code.U32(static_cast<std::uint32_t>(index_[kExit]));
    code.Append(body_);
    code.End(), code.Unreachable(), code.End();
    Module(code);
    return code.Fits() && head_.Fits() && body_.Fits() && module_.Fits() && fixes_ <= kFixCap &&
           index_[kExit] >= 0 && callouts_ < kCalloutCap;
  }
  std::size_t Size() const override { return module_.Here(); }

 private:
  struct Fix {
    std::size_t at;        // the depth, in body_
    int label;             // -1: the dispatch loop
    std::uint32_t region;  // labels placed before the branch
    std::uint32_t inner;   // blocks of its own it is inside (an if)
  };
  static constexpr int kFixCap = 4 * kLabels;

  wasm::Asm module_;  // the caller's bytes
  wasm::Asm head_;
  wasm::Asm body_;
  World world_{};
  int index_[kLabels];  // the order in which each label was placed, or -1
  std::uint32_t placed_ = 0;
  Fix fixes_at_[kFixCap];
  int fixes_ = 0;
  Callout callout_[kCalloutCap];
  int callouts_ = 0;
  std::uint8_t head_bytes_[256];
  std::uint8_t body_bytes_[kBodyCap];
  std::uint8_t code_bytes_[kBodyCap + 4096];

  static int Position(int label) { return label == kExit ? kEndPos : label; }

  void Forward(std::size_t at, int label, std::uint32_t inner) {
    if (fixes_ < kFixCap) fixes_at_[fixes_] = {at, label, placed_, inner};
    ++fixes_;
  }
  void Around(std::size_t at, std::uint32_t inner) { Forward(at, -1, inner); }
  // The condition's value is on the stack.
  void BrIf(Cond cond, int label) {
    switch (cond) {
      case Cond::kEqual: body_.I32Eq(); break;
      case Cond::kNotEqual: body_.I32Ne(); break;
      case Cond::kAbove: body_.I32GtU(); break;
    }
    if (index_[label] < 0) return Forward(body_.BrIf(), label, 0);
    body_.If(), body_.I32Const(Position(label)), body_.LocalSet(kTarget);
    Around(body_.Br(), 1), body_.End();
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
  void Store(wasm::Asm& to) const {
    for (int r = kA; r <= kD; ++r) {
      to.I32Const(0), to.LocalGet(Local(Reg(r))), to.I32Store(Address(world_.regs[r]));
    }
    if (world_.steps != nullptr) {
      to.I32Const(0), to.LocalGet(kSteps), to.I64Store(Address(world_.steps));
    }
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
