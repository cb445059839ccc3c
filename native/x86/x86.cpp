// The x86 back end, 64-bit (System V and Win64) and 32-bit (cdecl): the two
// differ only in the registers at hand, in how the code reaches memory and
// the output buffer, and in calls out.
//
// a, b, c, d live in callee-saved registers, so calls out keep them, and so
// does the output count, stored to its word after each byte and loaded again
// after each call out. 64-bit code reaches mem, the output buffer and the
// jump table through base registers, 32-bit code by absolute addresses. The
// code needs no argument and no caller-saved register on entry, so one
// sequence serves both 64-bit calling conventions; calls out keep the stack
// 16-byte aligned, with Win64's 32 bytes of shadow space.
#include <cstddef>
#include <span>

#include "native/machine_backend.h"
#include "native/x86/asm.h"

namespace native {
namespace {

using x86::kNone;
using x86::Mem;

// a..d, then the two scratch registers (rdx:rax carry the quotient's product).
constexpr x86::Reg kRegs64[] = {x86::kBx, x86::kR12, x86::kR13, x86::kR14, x86::kDx, x86::kAx};
constexpr x86::Reg kRegs32[] = {x86::kBx, x86::kSi, x86::kDi, x86::kBp, x86::kDx, x86::kAx};
constexpr std::span<const x86::Reg> kRegs =
    x86::k64 ? std::span<const x86::Reg>(kRegs64) : std::span<const x86::Reg>(kRegs32);
constexpr x86::Reg T0 = x86::kDx, T1 = x86::kAx;
// What the code keeps in registers besides.
constexpr x86::Reg LEN = x86::k64 ? x86::kSi : x86::kCx;  // the output count
constexpr x86::Reg MEM = x86::kR15;                       // 64-bit only: mem
constexpr x86::Reg OUT = x86::kBp;                        // 64-bit only: the output buffer
constexpr x86::Reg TABLE = x86::kDi;  // 64-bit only: the jump table, loaded again after calls out

// Callee-saved registers pushed at the entry (rsi and rdi are, on Win64), and
// the stack below them: 16-byte aligned at every call, with shadow space.
constexpr x86::Reg kSaved64[] = {x86::kBx,  x86::kBp,  x86::kSi,  x86::kDi,
                                 x86::kR12, x86::kR13, x86::kR14, x86::kR15};
constexpr x86::Reg kSaved32[] = {x86::kBx, x86::kSi, x86::kDi, x86::kBp};
constexpr std::span<const x86::Reg> kSaved =
    x86::k64 ? std::span<const x86::Reg>(kSaved64) : std::span<const x86::Reg>(kSaved32);
constexpr std::int32_t kFrame = x86::k64 ? 40 : 12;

// An absolute address as a 32-bit displacement: 32-bit code only.
std::int32_t Abs(const void* p) {
  return static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(p));
}

constexpr x86::Cond kConds[] = {x86::kEqual, x86::kNotEqual, x86::kAbove};

class X86 final : public MachineBackend<x86::Asm> {
 public:
  const char* Name() const override { return x86::k64 ? "x86-64" : "i686"; }

  void Enter() override {
    tables_ = 0;
    as_.Endbr();
    for (const x86::Reg r : kSaved) as_.Push(r);
    as_.SubPtrRI(x86::kSp, kFrame);
    LoadMachine();
    if constexpr (x86::k64) {
      as_.MovPtrRI(MEM, world_.mem);
      as_.MovPtrRI(OUT, world_.out);
      Table(as_.LeaRip(TABLE));
    }
    as_.MovPtrRM(LEN, Len());
  }

  void Leave(int result) override {
    StoreMachine();
    as_.MovRI(x86::kAx, result);
    as_.AddPtrRI(x86::kSp, kFrame);
    for (auto r = kSaved.rbegin(); r != kSaved.rend(); ++r) as_.Pop(*r);
    as_.Ret();
  }

  void BranchIf(Cond cond, Reg x, Reg y, int label) override {
    as_.CmpRR(kRegs[x], kRegs[y]);
    notes_.Branch(as_.Jcc(kConds[static_cast<int>(cond)]), label);
  }
  void BranchIf(Cond cond, Reg x, std::int32_t y, int label) override {
    as_.CmpRI(kRegs[x], y);
    notes_.Branch(as_.Jcc(kConds[static_cast<int>(cond)]), label);
  }
  void JumpTable(Reg index) override {
    if constexpr (x86::k64) {
      as_.JmpM(Mem{TABLE, kRegs[index], 3, 0});
    } else {
      as_.JmpM(Mem{kNone, kRegs[index], 2, 0});
      Table(as_.Here());
    }
  }
  void AddSteps(std::uint32_t k) override {  // 32-bit code carries into the upper half
    const auto v = static_cast<std::int32_t>(k);
    if constexpr (x86::k64) {
      as_.MovPtrRI(T1, world_.steps);
      as_.AddMI(Mem{T1, kNone, 0, 0}, v, true);
    } else {
      as_.AddMI(Mem{kNone, kNone, 0, Abs(world_.steps)}, v, false);
      as_.AdcMI(Mem{kNone, kNone, 0, Abs(reinterpret_cast<char*>(world_.steps) + 4)}, 0);
    }
  }
  void CountDown(int label) override {  // a 64-bit count: 32-bit code borrows from its upper half
    if constexpr (x86::k64) {
      as_.MovPtrRI(T1, world_.jumps);
      as_.SubMI(Mem{T1, kNone, 0, 0}, 1, true);
    } else {
      as_.SubMI(Mem{kNone, kNone, 0, Abs(world_.jumps)}, 1, false);
      as_.SbbMI(Mem{kNone, kNone, 0, Abs(reinterpret_cast<char*>(world_.jumps) + 4)}, 0);
    }
    notes_.Branch(as_.Jcc(x86::kBelow), label);
  }

  void Move(Reg dst, Reg src) override {
    if (dst != src) as_.MovRR(kRegs[dst], kRegs[src]);
  }
  void Swap(Reg x, Reg y) override { as_.XchgRR(kRegs[x], kRegs[y]); }
  void MoveImm(Reg dst, std::int32_t v) override {
    v == 0 ? as_.XorRR(kRegs[dst], kRegs[dst]) : as_.MovRI(kRegs[dst], v);
  }
  void AddImm(Reg dst, Reg src, std::int32_t v) override {
    if (dst != src) return as_.Lea(kRegs[dst], Mem{kRegs[src], kNone, 0, v});
    if (v != 0) as_.AddRI(kRegs[dst], v);
  }
  void Add(Reg dst, Reg src) override { as_.AddRR(kRegs[dst], kRegs[src]); }
  void Sub(Reg dst, Reg src) override { as_.SubRR(kRegs[dst], kRegs[src]); }
  // Multiplies by 2^34 / 10 and shifts, never divides; 1 more for a negative
  // src. 64-bit code multiplies in one register, 32-bit code into edx:eax.
  void Quotient10(Reg dst, Reg src) override {
    constexpr std::int32_t kTenth = 0x66666667;
    const x86::Reg r = kRegs[src];
    if constexpr (x86::k64) {
      as_.MovsxdRR(T0, r), as_.ImulPtrRRI(T0, T0, kTenth), as_.SarPtrRI(T0, 34);
    } else {
      as_.MovRR(T1, r), as_.MovRI(T0, kTenth), as_.ImulR(T0), as_.SarRI(T0, 2);
    }
    as_.MovRR(T1, r), as_.ShrRI(T1, 31);
    as_.AddRR(T0, T1);
    Move(dst, kT0);
  }
  void Remainder10(Reg dst, Reg src, Reg q) override {
    as_.ImulRRI(kRegs[dst], kRegs[q], -10);
    as_.AddRR(kRegs[dst], kRegs[src]);
  }

  void LoadCell(Reg dst, Reg index) override {  // cells outside 0..1024 read 0
    as_.XorRR(kRegs[dst], kRegs[dst]), as_.CmpRI(kRegs[index], kLastCell);
    const std::size_t out = as_.JccShort(x86::kAbove);
    as_.MovRM(kRegs[dst], Cell(index));
    as_.Land(out);
  }
  void StoreCell(Reg index, Reg value) override {  // and are never written
    as_.CmpRI(kRegs[index], kLastCell);
    const std::size_t out = as_.JccShort(x86::kAbove);
    as_.MovMR(Cell(index), kRegs[value]);
    as_.Land(out);
  }
  void PutByte(Reg r, int i) override {
    x86::Reg byte = kRegs[r];
    if (!x86::k64 && byte != x86::kBx && byte != x86::kDx) {  // 32-bit: al, bl, cl, dl only
      as_.MovRR(T1, byte);
      byte = T1;
    }
    as_.MovByteMR(OutByte(i), byte);
  }
  void Count(int k) override {
    as_.AddPtrRI(LEN, k);
    as_.MovPtrMR(Len(), LEN);
    as_.CmpPtrRI(LEN, static_cast<std::int32_t>(world_.limit));
    const std::size_t from = as_.Jcc(x86::kAboveEqual);
    notes_.OutOfLine(from, as_.Here());
  }
  // The context is the one argument: in rdi (System V) and rcx (Win64), so
  // one sequence serves both; on the stack in 32-bit code, where the frame
  // has room for it.
  void Call(Callout fn, Reg result) override {
    if constexpr (x86::k64) {
      as_.MovPtrRI(x86::kDi, world_.context), as_.MovPtrRI(x86::kCx, world_.context);
      as_.MovPtrRI(T1, reinterpret_cast<const void*>(fn)), as_.CallR(T1);
      Table(as_.LeaRip(TABLE));
    } else {
      as_.MovPtrRI(T1, world_.context), as_.MovPtrMR(Mem{x86::kSp, kNone, 0, 0}, T1);
      as_.CallRel(reinterpret_cast<const void*>(fn));
    }
    if (result != kNoReg) as_.MovRR(kRegs[result], x86::kAx);
    as_.MovPtrRM(LEN, Len());
  }

 private:
  void StoreWord(Reg r, std::int32_t* word) override { as_.MovMR(Word(word), kRegs[r]); }
  void LoadWord(Reg r, const std::int32_t* word) override { as_.MovRM(kRegs[r], Word(word)); }
  std::size_t Jump() override { return as_.Jmp(); }
  void Patch(std::size_t at, std::size_t target) override { as_.PatchRel(at, target); }
  void Pad() override { as_.Int3(); }
  bool PatchTable(std::size_t table) override {
    for (int i = 0; i < tables_ && i < kTableRefs; ++i) {
      x86::k64 ? as_.PatchRel(table_at_[i], table) : as_.PatchAbs(table_at_[i], table);
    }
    return tables_ <= kTableRefs;
  }

  static constexpr int kTableRefs = 2 * kLabels;
  std::size_t table_at_[kTableRefs];  // references to the jump table, by where they end
  int tables_ = 0;

  void Table(std::size_t end) {
    if (tables_ < kTableRefs) table_at_[tables_] = end;
    ++tables_;
  }

  // A word of the machine state; 64-bit code has its address in T0.
  Mem Word(const std::int32_t* word) {
    if constexpr (!x86::k64) return Mem{kNone, kNone, 0, Abs(word)};
    as_.MovPtrRI(T0, word);
    return Mem{T0, kNone, 0, 0};
  }
  Mem Cell(Reg index) const {
    return x86::k64 ? Mem{MEM, kRegs[index], 2, 0} : Mem{kNone, kRegs[index], 2, Abs(world_.mem)};
  }
  // The buffer's byte at the count, and the count's word (64-bit code
  // reaches it from the buffer's base).
  Mem OutByte(int i) const {
    return x86::k64 ? Mem{LEN, OUT, 0, i} : Mem{LEN, kNone, 0, Abs(world_.out + i)};
  }
  Mem Len() const {
    if constexpr (!x86::k64) return Mem{kNone, kNone, 0, Abs(world_.len)};
    return Mem{OUT, kNone, 0,
               static_cast<std::int32_t>(static_cast<char*>(world_.len) - world_.out)};
  }
};

}  // namespace

Backend* TheBackend() {
  return &instance_of<X86>;
}

}  // namespace native
