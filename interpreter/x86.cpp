// The x86 back end, 64-bit (SysV and Win64) and 32-bit (cdecl): the two
// differ only in the registers at hand, in how the code reaches the machine
// state and the output buffer, and in calls out.
//
// a, b, c, d live in callee-saved registers, so calls out keep them, and the
// output count in a register that is stored to console::out.len after each
// byte and reloaded after each call out. 64-bit code reaches mem, the output
// buffer and the jump table through base registers; 32-bit code by absolute
// addresses. Flushes go out of line.
#include "interpreter/native.h"

#if defined(VEK_NATIVE_X86_64) || defined(VEK_NATIVE_I686)

#include <cstddef>
#include <span>
#include <utility>

#include "console/console.h"
#include "interpreter/emitter.h"
#include "interpreter/machine.h"
#include "interpreter/x86.h"
#if defined(VEK_STEP_BOUND)
#include "interpreter/bound.h"
#endif

namespace {

using namespace x86;  // NOLINT(google-build-using-namespace)

constexpr std::int32_t kLastCell = kMemCells - 1;

// The machine's registers, and what the code keeps in registers besides.
constexpr Reg A = kBx;
constexpr Reg B = k64 ? kR12 : kSi;
constexpr Reg C = k64 ? kR13 : kDi;
constexpr Reg D = k64 ? kR14 : kBp;
constexpr Reg LEN = k64 ? kSi : kCx;  // the output count, reloaded after calls out
constexpr Reg MEM = kR15;             // 64-bit only: mem
constexpr Reg OUT = kBp;              // 64-bit only: the output buffer
constexpr Reg TABLE = kDi;            // 64-bit only: the jump table, reloaded after calls out
// The count's place from the buffer's: 64-bit code reaches both from OUT.
constexpr std::int32_t kLenDisp = offsetof(console::OutBuffer, len);
static_assert(sizeof(console::out.len) == sizeof(void*), "the count is pointer-sized");

// Callee-saved registers pushed at the entry (rsi and rdi are, on Win64), and
// the stack below them: 16-byte aligned at every call, with Win64's 32 bytes
// of shadow space.
constexpr Reg kSaved64[] = {kBx, kBp, kSi, kDi, kR12, kR13, kR14, kR15};
constexpr Reg kSaved32[] = {kBx, kSi, kDi, kBp};
constexpr std::span<const Reg> kSaved = k64 ? std::span<const Reg>(kSaved64) : kSaved32;
constexpr std::int32_t kFrame = k64 ? 40 : 12;

#if defined(_WIN32)
constexpr Reg kArg = kCx;  // the first argument, on Win64
#else
constexpr Reg kArg = kDi;
#endif

const std::pair<Reg, std::int32_t*> kMachine[] = {{A, &a}, {B, &b}, {C, &c}, {D, &d}};

// An absolute address as a 32-bit displacement: 32-bit code only.
std::int32_t Abs(const void* p) {
  return static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(p));
}

class X86 final : public native::Emitter {
 public:
  void Reset(std::uint8_t* code, std::size_t cap) override {
    as_.Reset(code, cap);
    fixes_.Clear(), tables_.Clear(), stubs_.Clear();
  }
  std::size_t Here() const override { return as_.Here(); }

  void Enter() override {
    as_.Endbr();
    for (const Reg r : kSaved) as_.Push(r);
    as_.SubPtrRI(kSp, kFrame);
    if constexpr (k64) {
      as_.MovPtrRR(kAx, kArg);
    } else {  // the argument, above the frame, the saved registers and the return address
      as_.MovRM(kAx, Mem{kSp, kNone, 0, kFrame + 4 * 4 + 4});
    }
    for (const auto& [r, v] : kMachine) {
      if constexpr (k64) as_.MovPtrRI(kDx, v);
      as_.MovRM(r, Machine(v));
    }
    if constexpr (k64) {
      as_.MovPtrRI(MEM, mem);
      as_.MovPtrRI(OUT, console::out.buf);
      Table(as_.LeaRip(TABLE));
    }
    as_.MovPtrRM(LEN, OutLen());
    as_.JmpR(kAx);  // to the start
  }

  void Exit() override {
    for (const auto& [r, v] : kMachine) {
      if constexpr (k64) as_.MovPtrRI(kDx, v);
      as_.MovMR(Machine(v), r);
    }
    as_.AddPtrRI(kSp, kFrame);
    for (auto r = kSaved.rbegin(); r != kSaved.rend(); ++r) as_.Pop(*r);
    as_.Ret();
  }

  void Goto(int label) override { To(as_.Jmp(), label); }

  void Add(std::int32_t x, std::int32_t y) override {
    if (x != 0) as_.AddRI(A, x);
    if (y != 0) as_.AddRI(B, y);
  }
  void SetA(std::int32_t x) override { x == 0 ? as_.XorRR(A, A) : as_.MovRI(A, x); }
  void MoveBA() override { as_.MovRR(A, B); }
  void CopyAB() override { as_.MovRR(C, A), as_.MovRR(D, B); }
  void CopyCD() override { as_.MovRR(A, C), as_.MovRR(B, D); }
  void Dup() override { as_.MovRR(B, A), as_.MovRR(D, C); }
  void SwapAB() override { as_.XchgRR(A, B); }
  void SwapCD() override { as_.XchgRR(C, D); }
  void PutA() override { Put(A); }
  void KeyA() override { Call(reinterpret_cast<const void*>(&native::CallKey), A); }
  void PutB() override { Put(B); }
  void KeyB() override { Call(reinterpret_cast<const void*>(&native::CallKey), B); }
  // mod = c rem 10; b = mod + 48; a = (a - mod) / 10 + 48.
  void Split() override {
    Quotient10(C);
    as_.Lea(kDx, Mem{kDx, kDx, 2, 0});  // q * 5
    as_.AddRR(kDx, kDx);
    as_.MovRR(kAx, C), as_.SubRR(kAx, kDx);  // mod
    as_.Lea(B, Mem{kAx, kNone, 0, '0'});
    as_.SubRR(A, kAx);
    Quotient10(A);
    as_.Lea(A, Mem{kDx, kNone, 0, '0'});
  }
  void Null() override { Call(reinterpret_cast<const void*>(&native::CallNull), kNone); }
  void Store() override {  // cells outside 0..1024 are never touched
    as_.CmpRI(A, kLastCell);
    const std::size_t out = as_.JccShort(kAbove);
    as_.MovMR(Cell(), D);
    as_.Land(out);
  }
  void Load() override {
    as_.XorRR(D, D), as_.CmpRI(A, kLastCell);
    const std::size_t out = as_.JccShort(kAbove);
    as_.MovRM(D, Cell());
    as_.Land(out);
  }
  void AddB() override { as_.AddRR(A, B); }  // '-' adds
  void SubB() override { as_.SubRR(A, B); }  // '+' subtracts

  void Jump() override {  // to a: outside 0..700 ends the run
    as_.CmpRI(A, kEndPos);
    To(as_.Jcc(kAbove), native::kExit);
    Count();
    if constexpr (k64) {
      as_.JmpM(Mem{TABLE, A, 3, 0});
    } else {
      as_.JmpM(Mem{kNone, A, 2, 0});
      Table(as_.Here());
    }
  }
  void JumpIfEqual() override {
    as_.CmpRR(C, D);
    const std::size_t differ = as_.JccShort(kNotEqual);
    Jump();
    as_.Land(differ);
  }
  void JumpTo(int label) override { Count(), Goto(label); }
  void JumpIfEqualTo(int label) override {
    as_.CmpRR(C, D);
#if defined(VEK_STEP_BOUND)
    const std::size_t differ = as_.JccShort(kNotEqual);
    JumpTo(label);
    as_.Land(differ);
#else
    To(as_.Jcc(kEqual), label);
#endif
  }
  void Stop() override {
    Call(reinterpret_cast<const void*>(&native::CallStop), kNone);
    Goto(native::kExit);
  }

  bool Finish(const std::size_t* at) override {
    for (const native::Stub& s : stubs_.All()) {  // flushes, out of line
      as_.PatchRel(s.from, as_.Here());
      Call(reinterpret_cast<const void*>(&native::CallFlush), kNone);
      as_.PatchRel(as_.Jmp(), s.back);
    }
    while (as_.Here() % 8 != 0) as_.Int3();
    const std::size_t table = as_.Here();
    for (int p = 0; p <= kEndPos; ++p) as_.Address(at[p]);
    for (const native::Fix& f : fixes_.All()) as_.PatchRel(f.at, at[f.label]);
    for (const std::size_t t : tables_.All()) {
      k64 ? as_.PatchRel(t, table) : as_.PatchAbs(t, table);
    }
    return as_.Fits() && !fixes_.Full() && !tables_.Full() && !stubs_.Full();
  }

 private:
  Asm as_;
  native::Notes<native::Fix, native::kFixCap> fixes_;    // at: where the rel32 ends
  native::Notes<std::size_t, native::kFixCap> tables_;   // references to the jump table
  native::Notes<native::Stub, native::kStubCap> stubs_;  // from: the jae to the flush

  void To(std::size_t end, int label) {
    fixes_.Add({end, label});
  }
  void Table(std::size_t end) {
    tables_.Add(end);
  }

  // mem[a], and the output buffer's byte at the count and its count.
  static Mem Cell() {
    return k64 ? Mem{MEM, A, 2, 0} : Mem{kNone, A, 2, Abs(mem)};
  }
  static Mem OutByte() {
    return k64 ? Mem{LEN, OUT, 0, 0} : Mem{LEN, kNone, 0, Abs(console::out.buf)};
  }
  Mem OutLen() const {
    return k64 ? Mem{OUT, kNone, 0, kLenDisp} : Mem{kNone, kNone, 0, Abs(&console::out.len)};
  }
  // A machine register's place in memory; 64-bit code has its address in rdx.
  static Mem Machine(const std::int32_t* r) {
    return k64 ? Mem{kDx, kNone, 0, 0} : Mem{kNone, kNone, 0, Abs(r)};
  }

  // edx = r / 10, rounding toward zero: multiply by 2^34 / 10 and shift,
  // never a division; 1 more for a negative r. 64-bit code multiplies in one
  // register, 32-bit code into edx:eax.
  void Quotient10(Reg r) {
    constexpr std::int32_t kTenth = 0x66666667;
    if constexpr (k64) {
      as_.MovsxdRR(kDx, r), as_.ImulPtrRRI(kDx, kDx, kTenth), as_.SarPtrRI(kDx, 34);
    } else {
      as_.MovRR(kAx, r), as_.MovRI(kDx, kTenth), as_.ImulR(kDx), as_.SarRI(kDx, 2);
    }
    as_.MovRR(kAx, r), as_.ShrRI(kAx, 31);
    as_.AddRR(kDx, kAx);
  }

  // The low 8 bits of r into the buffer, then the new count; at the limit, a flush.
  void Put(Reg r) {
    if (!k64 && r != A) {  // only al, bl, cl and dl have a byte form in 32-bit code
      as_.MovRR(kAx, r);
      r = kAx;
    }
    as_.MovByteMR(OutByte(), r);
    as_.IncPtr(LEN);
    as_.MovPtrMR(OutLen(), LEN);
    as_.CmpPtrRI(LEN, static_cast<std::int32_t>(console::out_limit));
    const std::size_t from = as_.Jcc(kAboveEqual);
    stubs_.Add({from, as_.Here()});
  }

  // Calls fn; its result, if any, into `result`; then the registers that a
  // call may have changed are loaded again.
  void Call(const void* fn, Reg result) {
    if constexpr (k64) {
      as_.MovPtrRI(kAx, fn), as_.CallR(kAx);
    } else {
      as_.CallRel(fn);
    }
    if (result != kNone) as_.MovRR(result, kAx);
    as_.MovPtrRM(LEN, OutLen());
    if constexpr (k64) Table(as_.LeaRip(TABLE));
  }

  void Count() {  // bounded builds: the jump past the budget ends the run
#if defined(VEK_STEP_BOUND)
    if constexpr (k64) {
      as_.MovPtrRI(kAx, &jump_budget);
      as_.SubMI(Mem{kAx, kNone, 0, 0}, 1, true);
    } else {
      as_.SubMI(Mem{kNone, kNone, 0, Abs(&jump_budget)}, 1, false);
      as_.SbbMI(Mem{kNone, kNone, 0, Abs(reinterpret_cast<const char*>(&jump_budget) + 4)}, 0);
    }
    To(as_.Jcc(kBelow), native::kExit);
#endif
  }
};

X86 emitter;  // in static storage: its arrays stay off the stack

}  // namespace

native::Emitter* native::Backend() {
  return &emitter;
}

#endif
