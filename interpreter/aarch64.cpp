// The AArch64 back end (AAPCS64: Linux, and anywhere else the same calling
// convention holds).
//
// a, b, c, d live in callee-saved registers, so calls out keep them; so do
// the bases of mem, the output buffer and the jump table, the output count
// (stored to console::out.len after each byte, reloaded after each call out)
// and the flush limit. Flushes go out of line.
#include "interpreter/native.h"

#if defined(VEK_NATIVE_AARCH64)

#include <cstddef>
#include <span>
#include <utility>

#include "console/console.h"
#include "interpreter/a64.h"
#include "interpreter/emitter.h"
#include "interpreter/machine.h"
#if defined(VEK_STEP_BOUND)
#include "interpreter/bound.h"
#endif

namespace {

using namespace a64;  // NOLINT(google-build-using-namespace)

constexpr std::uint32_t kLastCell = kMemCells - 1;

// The machine's registers, and what the code keeps in registers besides:
// all callee-saved (x19..x28).
constexpr Reg A = kX19, B = kX20, C = kX21, D = kX22;
constexpr Reg MEM = kX23;     // mem
constexpr Reg OUT = kX24;     // console::out.buf
constexpr Reg LEN = kX25;     // the output count
constexpr Reg TABLE = kX26;   // the jump table
constexpr Reg LEN_AT = kX27;  // &console::out.len
constexpr Reg LIMIT = kX28;   // console::out_limit
// Scratch, which calls out may change.
constexpr Reg T0 = kX16, T1 = kX17, TEN = kX15;
static_assert(sizeof(console::out.len) == 8, "the count is a 64-bit word");

// The frame: x29 and x30, then x19..x28, 16-byte aligned.
constexpr std::int32_t kFrame = 96;
constexpr std::pair<Reg, Reg> kSaved[] = {
    {kX19, kX20}, {kX21, kX22}, {kX23, kX24}, {kX25, kX26}, {kX27, kX28}};

const std::pair<Reg, std::int32_t*> kMachine[] = {{A, &a}, {B, &b}, {C, &c}, {D, &d}};

class AArch64 final : public native::Emitter {
 public:
  void Reset(std::uint8_t* code, std::size_t cap) override {
    as_.Reset(code, cap);
    fixes_.Clear(), stubs_.Clear();
    overflow_ = false;
  }
  std::size_t Here() const override { return as_.Here(); }

  void Enter() override {
    as_.BtiC();
    as_.StpXPre(kFp, kLr, kSp, -kFrame);
    as_.MovXFromSp(kFp);
    std::int32_t at = 16;
    for (const auto& [r1, r2] : kSaved) as_.StpX(r1, r2, kSp, at), at += 16;
    for (const auto& [r, v] : kMachine) as_.MovX(T0, v), as_.LdrW(r, T0, 0);
    as_.MovX(MEM, mem);
    as_.MovX(OUT, console::out.buf);
    as_.MovX(LEN_AT, &console::out.len);
    as_.MovX(LIMIT, std::uint64_t{console::out_limit});
    table_ = as_.Adr(TABLE);
    as_.LdrX(LEN, LEN_AT, 0);
    as_.Br(kX0);  // to the start
  }

  void Exit() override {
    for (const auto& [r, v] : kMachine) as_.MovX(T0, v), as_.StrW(r, T0, 0);
    std::int32_t at = 16;
    for (const auto& [r1, r2] : kSaved) as_.LdpX(r1, r2, kSp, at), at += 16;
    as_.LdpXPost(kFp, kLr, kSp, kFrame);
    as_.Ret();
  }

  void Goto(int label) override { To(as_.B(), label); }

  void Add(std::int32_t x, std::int32_t y) override {
    AddTo(A, x);
    AddTo(B, y);
  }
  void SetA(std::int32_t x) override { as_.MovW(A, static_cast<std::uint32_t>(x)); }
  void MoveBA() override { as_.MovW(A, B); }
  void CopyAB() override { as_.MovW(C, A), as_.MovW(D, B); }
  void CopyCD() override { as_.MovW(A, C), as_.MovW(B, D); }
  void Dup() override { as_.MovW(B, A), as_.MovW(D, C); }
  void SwapAB() override { as_.MovW(T0, A), as_.MovW(A, B), as_.MovW(B, T0); }
  void SwapCD() override { as_.MovW(T0, C), as_.MovW(C, D), as_.MovW(D, T0); }
  void PutA() override { Put(A); }
  void KeyA() override { Call(reinterpret_cast<const void*>(&native::CallKey), A); }
  void PutB() override { Put(B); }
  void KeyB() override { Call(reinterpret_cast<const void*>(&native::CallKey), B); }
  // mod = c rem 10; b = mod + 48; a = (a - mod) / 10 + 48. AArch64's sdiv
  // would not trap either, but multiplying is faster.
  void Split() override {
    as_.MovW(TEN, 0x66666667u);  // 2^34 / 10, rounded up
    Quotient10(T0, C);
    as_.MovW(T1, 10);
    as_.Smull(T1, T0, T1);  // q * 10 (the low word is all that counts)
    as_.SubW(T1, C, T1);    // mod
    as_.AddW(B, T1, '0');
    as_.SubW(A, A, T1);
    Quotient10(A, A);
    as_.AddW(A, A, '0');
  }
  void Null() override { Call(reinterpret_cast<const void*>(&native::CallNull), kZr); }
  void Store() override {  // cells outside 0..1024 are never touched
    as_.CmpW(A, kLastCell);
    const std::size_t out = as_.BCond(kHi);
    as_.StrWUxtw(D, MEM, A);
    Land(out);
  }
  void Load() override {
    as_.MovW(D, kZr);
    as_.CmpW(A, kLastCell);
    const std::size_t out = as_.BCond(kHi);
    as_.LdrWUxtw(D, MEM, A);
    Land(out);
  }
  void AddB() override { as_.AddW(A, A, B); }  // '-' adds
  void SubB() override { as_.SubW(A, A, B); }  // '+' subtracts

  void Jump() override {  // to a: outside 0..700 ends the run
    as_.CmpW(A, kEndPos);
    To(as_.BCond(kHi), native::kExit);
    Count();
    as_.LdrXUxtw(T0, TABLE, A);
    as_.Br(T0);
  }
  void JumpIfEqual() override {
    as_.CmpW(C, D);
    const std::size_t differ = as_.BCond(kNe);
    Jump();
    Land(differ);
  }
  void JumpTo(int label) override { Count(), Goto(label); }
  void JumpIfEqualTo(int label) override {
    as_.CmpW(C, D);
#if defined(VEK_STEP_BOUND)
    const std::size_t differ = as_.BCond(kNe);
    JumpTo(label);
    Land(differ);
#else
    To(as_.BCond(kEq), label);
#endif
  }
  void Stop() override {
    Call(reinterpret_cast<const void*>(&native::CallStop), kZr);
    Goto(native::kExit);
  }

  bool Finish(const std::size_t* at) override {
    for (const native::Stub& s : stubs_.All()) {  // flushes, out of line
      Land(s.from);
      Call(reinterpret_cast<const void*>(&native::CallFlush), kZr);
      Reach(as_.B(), s.back);
    }
    while (as_.Here() % 8 != 0) as_.Brk();
    const std::size_t table = as_.Here();
    for (int p = 0; p <= kEndPos; ++p) as_.Address(at[p]);
    for (const native::Fix& f : fixes_.All()) Reach(f.at, at[f.label]);
    Reach(table_, table);
    return as_.Fits() && !overflow_ && !fixes_.Full() && !stubs_.Full();
  }

 private:
  Asm as_;
  bool overflow_ = false;  // a branch that cannot reach its target
  std::size_t table_ = 0;  // the adr of the jump table
  native::Notes<native::Fix, native::kFixCap> fixes_;
  native::Notes<native::Stub, native::kStubCap> stubs_;  // from: the b.hs to the flush

  void To(std::size_t branch, int label) {
    fixes_.Add({branch, label});
  }
  void Reach(std::size_t branch, std::size_t target) {
    if (!as_.Patch(branch, target)) overflow_ = true;
  }
  void Land(std::size_t branch) {
    Reach(branch, as_.Here());
  }

  // r += x for any 32-bit x: one add or sub where x fits 12 bits (shifted or
  // not), else through a scratch register.
  void AddTo(Reg r, std::int32_t x) {
    const auto up = static_cast<std::uint32_t>(x);
    const std::uint32_t down = 0u - up;
    if (x == 0) return;
    if (Asm::FitsImm12(up)) {
      as_.AddW(r, r, up);
    } else if (Asm::FitsImm12(down)) {
      as_.SubW(r, r, down);
    } else {
      as_.MovW(T0, up), as_.AddW(r, r, T0);
    }
  }

  // q = r / 10, rounding toward zero, with TEN holding the multiplier:
  // the product's upper bits, plus 1 for negative r.
  void Quotient10(Reg q, Reg r) {
    as_.Smull(T0, r, TEN);
    as_.AsrX(T0, T0, 34);
    as_.SubWAsr(q, T0, r, 31);
  }

  // The low 8 bits of r into the buffer, then the new count; at the limit, a flush.
  void Put(Reg r) {
    as_.Strb(r, OUT, LEN);
    as_.AddX(LEN, LEN, 1);
    as_.StrX(LEN, LEN_AT, 0);
    as_.CmpX(LEN, LIMIT);
    const std::size_t from = as_.BCond(kHs);
    stubs_.Add({from, as_.Here()});
  }

  // Calls fn; its result, if any, into `result`; then the count is loaded again.
  void Call(const void* fn, Reg result) {
    as_.MovX(T0, fn), as_.Blr(T0);
    if (result != kZr) as_.MovW(result, kX0);
    as_.LdrX(LEN, LEN_AT, 0);
  }

  void Count() {  // bounded builds: the jump past the budget ends the run
#if defined(VEK_STEP_BOUND)
    as_.MovX(T0, &jump_budget);
    as_.LdrX(T1, T0, 0);
    as_.SubsX(T1, T1, 1);
    as_.StrX(T1, T0, 0);
    To(as_.BCond(kLo), native::kExit);
#endif
  }
};

AArch64 emitter;  // in static storage: its arrays stay off the stack

}  // namespace

native::Emitter* native::Backend() {
  return &emitter;
}

#endif
