// The AArch64 back end (AAPCS64: Linux, and anywhere else the same calling
// convention holds).
//
// a, b, c, d live in callee-saved registers, so calls out keep them; so do
// the bases of mem, the output buffer and the jump table, the output count
// (stored to its word after each byte, loaded again after each call out) and
// the flush limit.
#include <cstddef>
#include <utility>

#include "native/a64/asm.h"
#include "native/machine_backend.h"

namespace native {
namespace {

// a..d and the two scratch registers, then what the code keeps besides,
// all callee-saved (x19..x28).
constexpr a64::Reg kRegs[] = {a64::kX19, a64::kX20, a64::kX21, a64::kX22, a64::kX16, a64::kX17};
constexpr Kept<a64::Reg> kKept{a64::kX23, a64::kX24, a64::kX25, a64::kX26, a64::kX27, a64::kX28};
// Scratch of the primitives themselves.
constexpr a64::Reg S0 = a64::kX14, S1 = a64::kX15, S2 = a64::kX9;

// The frame: x29 and x30, then x19..x28, 16-byte aligned.
constexpr std::int32_t kFrame = 96;
constexpr std::pair<a64::Reg, a64::Reg> kSaved[] = {{a64::kX19, a64::kX20},
                                                    {a64::kX21, a64::kX22},
                                                    {a64::kX23, a64::kX24},
                                                    {a64::kX25, a64::kX26},
                                                    {a64::kX27, a64::kX28}};

constexpr a64::Cond kConds[] = {a64::kEq, a64::kNe, a64::kHi};

class A64 final : public MachineBackend<a64::Asm> {
 public:
  const char* Name() const override { return "aarch64"; }

  void Enter() override {
    as_.BtiC();
    as_.StpXPre(a64::kFp, a64::kLr, a64::kSp, -kFrame);
    as_.MovXFromSp(a64::kFp);
    std::int32_t at = 16;
    for (const auto& [r1, r2] : kSaved) as_.StpX(r1, r2, a64::kSp, at), at += 16;
    LoadMachine();
    for (const auto& [r, v] : kKept.OnEntry(world_)) as_.MovX(r, std::uint64_t{v});
    table_ = as_.Adr(kKept.table);
    as_.LdrX(kKept.len, kKept.len_at, 0);
  }

  void Leave(int result) override {
    StoreMachine();
    as_.MovW(a64::kX0, static_cast<std::uint32_t>(result));
    std::int32_t at = 16;
    for (const auto& [r1, r2] : kSaved) as_.LdpX(r1, r2, a64::kSp, at), at += 16;
    as_.LdpXPost(a64::kFp, a64::kLr, a64::kSp, kFrame);
    as_.Ret();
  }

  void BranchIf(Cond cond, Reg x, Reg y, int label) override {
    as_.CmpW(kRegs[x], kRegs[y]);
    notes_.Branch(as_.BCond(kConds[static_cast<int>(cond)]), label);
  }
  void BranchIf(Cond cond, Reg x, std::int32_t y, int label) override {
    const auto v = static_cast<std::uint32_t>(y);
    if (v < (1u << 12)) {
      as_.CmpW(kRegs[x], v);
    } else {
      as_.MovW(S0, v), as_.CmpW(kRegs[x], S0);
    }
    notes_.Branch(as_.BCond(kConds[static_cast<int>(cond)]), label);
  }
  void JumpTable(Reg index) override {
    as_.LdrXUxtw(S0, kKept.table, kRegs[index]);
    as_.Br(S0);
  }
  void AddSteps(std::uint32_t k) override {
    as_.MovX(S0, world_.steps);
    as_.LdrX(S1, S0, 0);
    if (a64::Asm::FitsImm12(k)) {
      as_.AddX(S1, S1, k);
    } else {
      as_.MovX(S2, std::uint64_t{k}), as_.AddX(S1, S1, S2);
    }
    as_.StrX(S1, S0, 0);
  }
  void CountDown(int label) override {
    as_.MovX(S0, world_.jumps);
    as_.LdrX(S1, S0, 0);
    as_.SubsX(S1, S1, 1);
    as_.StrX(S1, S0, 0);
    notes_.Branch(as_.BCond(a64::kLo), label);
  }

  void Move(Reg dst, Reg src) override {
    if (dst != src) as_.MovW(kRegs[dst], kRegs[src]);
  }
  void MoveImm(Reg dst, std::int32_t v) override {
    as_.MovW(kRegs[dst], static_cast<std::uint32_t>(v));
  }
  // One add or sub where v fits 12 bits (shifted or not), else through a
  // scratch register.
  void AddImm(Reg dst, Reg src, std::int32_t v) override {
    const auto up = static_cast<std::uint32_t>(v);
    const std::uint32_t down = 0u - up;
    if (v == 0) {
      Move(dst, src);
    } else if (a64::Asm::FitsImm12(up)) {
      as_.AddW(kRegs[dst], kRegs[src], up);
    } else if (a64::Asm::FitsImm12(down)) {
      as_.SubW(kRegs[dst], kRegs[src], down);
    } else {
      as_.MovW(S0, up), as_.AddW(kRegs[dst], kRegs[src], S0);
    }
  }
  void Add(Reg dst, Reg src) override { as_.AddW(kRegs[dst], kRegs[dst], kRegs[src]); }
  void Sub(Reg dst, Reg src) override { as_.SubW(kRegs[dst], kRegs[dst], kRegs[src]); }
  // The product with 2^34 / 10 (rounded up), shifted; 1 more for a negative
  // src. sdiv would not trap either, but multiplying is faster.
  void Quotient10(Reg dst, Reg src) override {
    as_.MovW(S1, 0x66666667u);
    as_.Smull(S0, kRegs[src], S1);
    as_.AsrX(S0, S0, 34);
    as_.SubWAsr(kRegs[dst], S0, kRegs[src], 31);
  }
  void Remainder10(Reg dst, Reg src, Reg q) override {
    as_.MovW(S0, 10);
    as_.MsubW(kRegs[dst], kRegs[q], S0, kRegs[src]);
  }

  void LoadCell(Reg dst, Reg index) override {  // cells outside 0..1024 read 0
    as_.MovW(kRegs[dst], a64::kZr);
    as_.CmpW(kRegs[index], kLastCell);
    const std::size_t out = as_.BCond(a64::kHi);
    as_.LdrWUxtw(kRegs[dst], kKept.mem, kRegs[index]);
    Land(out);
  }
  void StoreCell(Reg index, Reg value) override {  // and are never written
    as_.CmpW(kRegs[index], kLastCell);
    const std::size_t out = as_.BCond(a64::kHi);
    as_.StrWUxtw(kRegs[value], kKept.mem, kRegs[index]);
    Land(out);
  }
  void PutByte(Reg r, int i) override {
    as_.AddX(S0, kKept.out, kKept.len);
    as_.Strb(kRegs[r], S0, static_cast<std::uint32_t>(i));
  }
  void Count(int k) override {
    as_.AddX(kKept.len, kKept.len, static_cast<std::uint32_t>(k));
    as_.StrX(kKept.len, kKept.len_at, 0);
    as_.CmpX(kKept.len, kKept.limit);
    const std::size_t from = as_.BCond(a64::kHs);
    notes_.OutOfLine(from, as_.Here());
  }
  void Call(Callout fn, Reg result) override {
    as_.MovX(a64::kX0, world_.context);  // the one argument
    as_.MovX(S2, reinterpret_cast<const void*>(fn)), as_.Blr(S2);
    if (result != kNoReg) as_.MovW(kRegs[result], a64::kX0);
    as_.LdrX(kKept.len, kKept.len_at, 0);
  }

 private:
  void StoreWord(Reg r, std::int32_t* word) override {
    as_.MovX(S0, word), as_.StrW(kRegs[r], S0, 0);
  }
  void LoadWord(Reg r, const std::int32_t* word) override {
    as_.MovX(S0, word), as_.LdrW(kRegs[r], S0, 0);
  }
  std::size_t Jump() override { return as_.B(); }
  void Patch(std::size_t at, std::size_t target) override {
    if (!as_.Patch(at, target)) out_of_reach_ = true;
  }
  void Pad() override { as_.Brk(); }
  bool PatchTable(std::size_t table) override { return Patch(table_, table), true; }

  std::size_t table_ = 0;  // the adr of the jump table

  void Land(std::size_t branch) { Patch(branch, as_.Here()); }
};

}  // namespace

Backend* TheBackend() {
  return &instance_of<A64>;
}

}  // namespace native
