// The RISC-V back end (RV64GC, the LP64 calling convention of Linux).
//
// a, b, c, d live in callee-saved registers as 32-bit values sign-extended,
// as the W forms leave them; so do the bases of mem, the output buffer and
// the jump table, the output count (stored to its word after each byte,
// loaded again after each call out) and the flush limit. A conditional
// branch reaches only 4 KiB, so one to a label skips over a jal, which
// reaches 1 MiB, more than the code's pages.
#include <cstddef>

#include "native/machine_backend.h"
#include "native/rv64/asm.h"

namespace native {
namespace {

// a..d and the two scratch registers, then what the code keeps besides,
// all callee-saved (s1..s10).
constexpr rv64::Reg kRegs[] = {rv64::kS1, rv64::kS2, rv64::kS3, rv64::kS4, rv64::kT0, rv64::kT1};
constexpr Kept<rv64::Reg> kKept{rv64::kS5, rv64::kS6, rv64::kS7, rv64::kS8, rv64::kS9, rv64::kS10};
// Scratch of the primitives themselves.
constexpr rv64::Reg S0 = rv64::kT2, S1 = rv64::kT3, S2 = rv64::kT4;

// The frame: ra and s1..s10, 16-byte aligned.
constexpr rv64::Reg kSaved[] = {rv64::kRa, rv64::kS1, rv64::kS2, rv64::kS3, rv64::kS4, rv64::kS5,
                                rv64::kS6, rv64::kS7, rv64::kS8, rv64::kS9, rv64::kS10};
constexpr std::int32_t kFrame = 96;

class Rv64 final : public MachineBackend<rv64::Asm> {
 public:
  const char* Name() const override { return "riscv64"; }

  void Enter() override {
    as_.Addi(rv64::kSp, rv64::kSp, -kFrame);
    std::int32_t at = 0;
    for (const rv64::Reg r : kSaved) as_.Sd(r, rv64::kSp, at), at += 8;
    LoadMachine();
    for (const auto& [r, v] : kKept.OnEntry(world_)) as_.Li(r, static_cast<std::int64_t>(v));
    table_ = as_.Auipc(kKept.table);
    as_.Addi(kKept.table, kKept.table, 0);
    as_.Ld(kKept.len, kKept.len_at, 0);
  }

  void Leave(int result) override {
    StoreMachine();
    as_.Li(rv64::kA0, result);
    std::int32_t at = 0;
    for (const rv64::Reg r : kSaved) as_.Ld(r, rv64::kSp, at), at += 8;
    as_.Addi(rv64::kSp, rv64::kSp, kFrame);
    as_.Ret();
  }

  // Skips the jal to the label unless the condition holds.
  void BranchIf(Cond cond, Reg x, Reg y, int label) override {
    Unless(cond, kRegs[x], kRegs[y]), Branch(label);
  }
  void BranchIf(Cond cond, Reg x, std::int32_t y, int label) override {
    as_.Li(S0, y);
    Unless(cond, kRegs[x], S0), Branch(label);
  }
  void JumpTable(Reg index) override {
    as_.Slli(S0, kRegs[index], 3);
    as_.Add(S0, kKept.table, S0);
    as_.Ld(S0, S0, 0);
    as_.Jalr(rv64::kZero, S0, 0);
  }
  void AddSteps(std::uint32_t k) override {
    as_.Li(S0, world_.steps);
    as_.Ld(S1, S0, 0);
    as_.Li(S2, k);
    as_.Add(S1, S1, S2);
    as_.Sd(S1, S0, 0);
  }
  void CountDown(int label) override {
    as_.Li(S0, world_.jumps);
    as_.Ld(S1, S0, 0);
    as_.Bne(S1, rv64::kZero, 1), Branch(label);
    as_.Addi(S1, S1, -1);
    as_.Sd(S1, S0, 0);
  }

  void Move(Reg dst, Reg src) override {
    if (dst != src) as_.Mv(kRegs[dst], kRegs[src]);
  }
  void MoveImm(Reg dst, std::int32_t v) override { as_.Li(kRegs[dst], v); }
  void AddImm(Reg dst, Reg src, std::int32_t v) override {
    if (rv64::Asm::FitsImm12(v)) return as_.Addiw(kRegs[dst], kRegs[src], v);
    as_.Li(S0, v), as_.Addw(kRegs[dst], kRegs[src], S0);
  }
  void Add(Reg dst, Reg src) override { as_.Addw(kRegs[dst], kRegs[dst], kRegs[src]); }
  void Sub(Reg dst, Reg src) override { as_.Subw(kRegs[dst], kRegs[dst], kRegs[src]); }
  // The 64-bit product with 2^34 / 10 (rounded up), shifted; 1 more for a
  // negative src (its sign bit, shifted down).
  void Quotient10(Reg dst, Reg src) override {
    as_.Li(S0, 0x66666667);
    as_.Mul(S0, kRegs[src], S0);
    as_.Srai(S0, S0, 34);
    as_.Srli(S1, kRegs[src], 63);
    as_.Addw(kRegs[dst], S0, S1);
  }
  void Remainder10(Reg dst, Reg src, Reg q) override {
    as_.Li(S0, 10);
    as_.Mulw(S0, kRegs[q], S0);
    as_.Subw(kRegs[dst], kRegs[src], S0);
  }

  // Cells outside 0..1024 read 0 and are never written.
  void LoadCell(Reg dst, Reg index) override {
    as_.Mv(kRegs[dst], rv64::kZero);
    as_.Li(S0, kLastCell);
    as_.Bltu(S0, kRegs[index], 3);
    as_.Lw(kRegs[dst], Cell(index), 0);
  }
  void StoreCell(Reg index, Reg value) override {
    as_.Li(S0, kLastCell);
    as_.Bltu(S0, kRegs[index], 3);
    as_.Sw(kRegs[value], Cell(index), 0);
  }
  void PutByte(Reg r, int i) override {
    as_.Add(S0, kKept.out, kKept.len);
    as_.Sb(kRegs[r], S0, i);
  }
  void Count(int k) override {
    as_.Addi(kKept.len, kKept.len, k);
    as_.Sd(kKept.len, kKept.len_at, 0);
    as_.Bltu(kKept.len, kKept.limit, 1);
    const std::size_t from = as_.Jal(rv64::kZero);
    notes_.OutOfLine(from, as_.Here());
  }
  void Call(Callout fn, Reg result) override {
    as_.Li(rv64::kA0, world_.context);  // the one argument
    as_.Li(S2, reinterpret_cast<const void*>(fn));
    as_.Jalr(rv64::kRa, S2, 0);
    if (result != kNoReg) as_.Addiw(kRegs[result], rv64::kA0, 0);
    as_.Ld(kKept.len, kKept.len_at, 0);
  }

 private:
  void StoreWord(Reg r, std::int32_t* word) override { as_.Li(S0, word), as_.Sw(kRegs[r], S0, 0); }
  void LoadWord(Reg r, const std::int32_t* word) override {
    as_.Li(S0, word), as_.Lw(kRegs[r], S0, 0);
  }
  std::size_t Jump() override { return as_.Jal(rv64::kZero); }
  void Patch(std::size_t at, std::size_t target) override {
    if (!as_.Patch(at, target)) out_of_reach_ = true;
  }
  void Pad() override { as_.Ebreak(); }
  bool PatchTable(std::size_t table) override { return as_.PatchPc(table_, table), true; }

  std::size_t table_ = 0;  // the auipc of the jump table

  // A branch over the next instruction unless cond holds of x and y.
  void Unless(Cond cond, rv64::Reg x, rv64::Reg y) {
    switch (cond) {
      case Cond::kEqual: as_.Bne(x, y, 1); break;
      case Cond::kNotEqual: as_.Beq(x, y, 1); break;
      case Cond::kAbove: as_.Bgeu(y, x, 1); break;  // x > y unsigned, else over
    }
  }
  // S1 = the address of mem[index], after index was checked.
  rv64::Reg Cell(Reg index) {
    as_.Slli(S1, kRegs[index], 2);
    as_.Add(S1, kKept.mem, S1);
    return S1;
  }
};

}  // namespace

Backend* TheBackend() {
  return &instance_of<Rv64>;
}

}  // namespace native
