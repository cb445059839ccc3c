// The x86 instruction forms the native back end (x86.cpp) uses, one method
// per form, named after its mnemonic, for 64-bit and 32-bit code alike. "R"
// operands are registers, "M" a memory operand, "I" an immediate. Register
// operations are 32-bit (in 64-bit code they clear the upper half); the "Ptr"
// forms are pointer-sized.
#pragma once

#include <cstdint>
#include <cstring>

#include "native/code_buffer.h"

namespace x86 {

inline constexpr bool k64 = sizeof(void*) == 8;  // x86-64, else i686

// The registers, by number: eax..edi (rax..rdi), then r12..r15, which only
// 64-bit code has; kNone for a memory operand's missing base or index.
enum Reg : std::uint8_t {};
inline constexpr Reg kAx{0}, kCx{1}, kDx{2}, kBx{3}, kSp{4}, kBp{5}, kSi{6}, kDi{7}, kR12{12},
    kR13{13}, kR14{14}, kR15{15}, kNone{0xff};
enum Cond : std::uint8_t {
  kBelow = 0x2,
  kAboveEqual = 0x3,
  kEqual = 0x4,
  kNotEqual = 0x5,
  kAbove = 0x7
};

// [base + index * 2^scale + disp]; without base or index, kNone.
struct Mem {
  Reg base = kNone;
  Reg index = kNone;
  std::uint8_t scale = 0;
  std::int32_t disp = 0;
};

// The opcodes, by what they encode.
namespace op {
// op r/m, r; mov and lea also the other way round.
inline constexpr std::uint8_t kAddRmR = 0x01, kSubRmR = 0x29, kXorRmR = 0x31, kCmpRmR = 0x39,
                              kXchgRmR = 0x87, kMovRm8R8 = 0x88, kMovRmR = 0x89, kMovRRm = 0x8B,
                              kLea = 0x8D, kMovsxd = 0x63;
// The register in the opcode's low bits.
inline constexpr std::uint8_t kPushR = 0x50, kPopR = 0x58, kMovRImm = 0xB8;
// With an immediate; a group's operation is the /digit below (group 1: add,
// sub, cmp; the shifts: shr, sar).
inline constexpr std::uint8_t kImulImm32 = 0x69, kImulImm8 = 0x6B, kGroup1Imm32 = 0x81,
                              kGroup1Imm8 = 0x83, kShiftImm8 = 0xC1;
// Group 3 (imul) and group 5 (call, jmp).
inline constexpr std::uint8_t kGroup3 = 0xF7, kGroup5 = 0xFF;
// Control: the short jcc, the 32-bit jcc after kTwoByte, and the rest.
inline constexpr std::uint8_t kJccRel8 = 0x70, kTwoByte = 0x0F, kJccRel32 = 0x80, kRet = 0xC3,
                              kInt3 = 0xCC, kCallRel32 = 0xE8, kJmpRel32 = 0xE9;
// Prefixes: REX (W or-ed in), notrack (an indirect jump that needs no endbr)
// and rep, which makes F3 0F 1E FA (64-bit) or FB (32-bit) an endbr.
inline constexpr std::uint8_t kRex = 0x40, kRexW = 0x08, kNoTrack = 0x3E, kRepPrefix = 0xF3,
                              kEndbr = 0x1E, kEndbr64 = 0xFA, kEndbr32 = 0xFB;
// The /digit of a group's opcode.
inline constexpr std::uint8_t kAdd = 0, kAdc = 2, kCall = 2, kJmp = 4, kImul = 5, kSub = 5,
                              kShr = 5, kCmp = 7, kSar = 7, kSbb = 3;
}  // namespace op

class Asm : public native::CodeBuffer {
 public:
  // endbr64 / endbr32: where indirect-branch tracking is on, the only
  // instruction an indirect call may land on.
  void Endbr() {
    Bytes(op::kRepPrefix, op::kTwoByte, op::kEndbr, k64 ? op::kEndbr64 : op::kEndbr32);
  }
  void Push(Reg r) { Rex(false, 0, r), Byte(op::kPushR | (r & 7)); }
  void Pop(Reg r) { Rex(false, 0, r), Byte(op::kPopR | (r & 7)); }
  void Ret() { Byte(op::kRet); }
  void Int3() { Byte(op::kInt3); }

  void MovRR(Reg dst, Reg src) { RR(op::kMovRmR, src, dst); }
  void MovRI(Reg dst, std::int32_t v) {
    Rex(false, 0, dst), Byte(op::kMovRImm | (dst & 7)), Imm(v);
  }
  // movabs r64, imm64 (64-bit code) or mov r32, imm32: an address.
  void MovPtrRI(Reg dst, const void* p) {
    Rex(true, 0, dst), Byte(op::kMovRImm | (dst & 7));
    Imm(reinterpret_cast<std::uintptr_t>(p));
  }
  void MovRM(Reg dst, Mem m) { RM(op::kMovRRm, dst, m); }
  void MovMR(Mem m, Reg src) { RM(op::kMovRmR, src, m); }
  void MovPtrRM(Reg dst, Mem m) { RM(op::kMovRRm, dst, m, true); }
  void MovPtrMR(Mem m, Reg src) { RM(op::kMovRmR, src, m, true); }
  // mov m8, r8: in 32-bit code only al, cl, dl, bl.
  void MovByteMR(Mem m, Reg src) { RM(op::kMovRm8R8, src, m, false, src >= kSp && src <= kDi); }
  void Lea(Reg dst, Mem m) { RM(op::kLea, dst, m); }
  // lea r64, [rip + rel32]: returns where the rel32 ends, for PatchRel.
  std::size_t LeaRip(Reg dst) {
    Rex(true, dst, 0), Bytes(op::kLea, static_cast<std::uint8_t>((dst & 7) << 3 | 5));
    Imm<std::int32_t>(0);
    return size_;
  }

  void AddRR(Reg dst, Reg src) { RR(op::kAddRmR, src, dst); }
  void SubRR(Reg dst, Reg src) { RR(op::kSubRmR, src, dst); }
  void XorRR(Reg dst, Reg src) { RR(op::kXorRmR, src, dst); }
  void CmpRR(Reg x, Reg y) { RR(op::kCmpRmR, y, x); }
  void XchgRR(Reg x, Reg y) { RR(op::kXchgRmR, x, y); }
  void AddRI(Reg r, std::int32_t v) { Group1(op::kAdd, r, v, false); }
  void CmpRI(Reg r, std::int32_t v) { Group1(op::kCmp, r, v, false); }
  void CmpPtrRI(Reg r, std::int32_t v) { Group1(op::kCmp, r, v, true); }
  void AddPtrRI(Reg r, std::int32_t v) { Group1(op::kAdd, r, v, true); }
  void SubPtrRI(Reg r, std::int32_t v) { Group1(op::kSub, r, v, true); }
  void SarRI(Reg r, std::uint8_t n) {
    Rex(false, 0, r), Bytes(op::kShiftImm8, ModRR(op::kSar, r), n);
  }
  void ShrRI(Reg r, std::uint8_t n) {
    Rex(false, 0, r), Bytes(op::kShiftImm8, ModRR(op::kShr, r), n);
  }
  // 64-bit code: movsxd r64, r32; imul r64, r64, imm32; sar r64, imm8.
  void MovsxdRR(Reg dst, Reg src) { Rex(true, dst, src), Bytes(op::kMovsxd, ModRR(dst, src)); }
  void ImulPtrRRI(Reg dst, Reg src, std::int32_t v) {
    Rex(true, dst, src), Bytes(op::kImulImm32, ModRR(dst, src)), Imm(v);
  }
  void SarPtrRI(Reg r, std::uint8_t n) {
    Rex(true, 0, r), Bytes(op::kShiftImm8, ModRR(op::kSar, r), n);
  }
  // imul r32, r32, imm8
  void ImulRRI(Reg dst, Reg src, std::int8_t v) {
    Rex(false, dst, src), Bytes(op::kImulImm8, ModRR(dst, src)), Imm(v);
  }
  // imul r32: edx:eax = eax * r, signed.
  void ImulR(Reg r) { Rex(false, 0, r), Bytes(op::kGroup3, ModRR(op::kImul, r)); }
  // sub m, imm8 and sbb m, imm8, pointer-sized or 32-bit.
  void SubMI(Mem m, std::int8_t v, bool ptr) { RM(op::kGroup1Imm8, op::kSub, m, ptr), Imm(v); }
  void SbbMI(Mem m, std::int8_t v) { RM(op::kGroup1Imm8, op::kSbb, m), Imm(v); }
  // add m, imm32 (pointer-sized or 32-bit) and adc m, imm8.
  void AddMI(Mem m, std::int32_t v, bool ptr) { RM(op::kGroup1Imm32, op::kAdd, m, ptr), Imm(v); }
  void AdcMI(Mem m, std::int8_t v) { RM(op::kGroup1Imm8, op::kAdc, m), Imm(v); }

  void CallR(Reg r) { Rex(false, 0, r), Bytes(op::kGroup5, ModRR(op::kCall, r)); }
  // call rel32 to an absolute address: 32-bit code, where every address is in reach.
  void CallRel(const void* fn) {
    Byte(op::kCallRel32);
    const auto from = reinterpret_cast<std::uintptr_t>(code_) + size_ + 4;
    Imm(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(fn) - from));
  }
  // notrack jmp [m]: the targets are the code's own entries.
  void JmpM(Mem m) { Byte(op::kNoTrack), RM(op::kGroup5, op::kJmp, m); }
  // jmp rel32 and jcc rel32 to be patched: return where the rel32 ends.
  std::size_t Jmp() { return Byte(op::kJmpRel32), Imm<std::int32_t>(0), size_; }
  std::size_t Jcc(Cond cc) {
    return Bytes(op::kTwoByte, op::kJccRel32 | cc), Imm<std::int32_t>(0), size_;
  }
  // jcc rel8 over the next few instructions, landed by Land.
  std::size_t JccShort(Cond cc) { return Bytes(op::kJccRel8 | cc, 0), size_; }
  void Land(std::size_t from) {
    if (size_ <= cap_) code_[from - 1] = static_cast<std::uint8_t>(size_ - from);
  }

  // Points the rel32 that ends at `end` to offset `target`.
  void PatchRel(std::size_t end, std::size_t target) {
    const auto rel = static_cast<std::int32_t>(static_cast<std::int64_t>(target) -
                                               static_cast<std::int64_t>(end));
    if (end <= cap_) std::memcpy(code_ + end - 4, &rel, 4);
  }
  // Points the absolute address (disp32 of 32-bit code) that ends at `end` to offset `target`.
  void PatchAbs(std::size_t end, std::size_t target) {
    const auto abs = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(code_) + target);
    if (end <= cap_) std::memcpy(code_ + end - 4, &abs, 4);
  }

 private:
  template <typename... B>
  void Bytes(B... bs) {
    (Byte(bs), ...);
  }
  template <typename T>
  void Imm(T v) {
    Value(v);
  }
  static std::uint8_t ModRR(unsigned reg, unsigned rm) {
    return static_cast<std::uint8_t>(0xC0 | (reg & 7) << 3 | (rm & 7));
  }
  // The REX prefix of 64-bit code, when one is needed; `ptr` asks for REX.W,
  // `byte` for the prefix that makes registers 4..7 spl..dil.
  void Rex(bool ptr, unsigned reg, unsigned base, unsigned index = 0, bool byte = false) {
    if constexpr (k64) {
      const unsigned r = (ptr ? op::kRexW : 0) | ((reg >> 3) & 1) << 2 | ((index >> 3) & 1) << 1 |
                         ((base >> 3) & 1);
      if (r != 0 || byte) Byte(op::kRex | r);
    }
  }
  void RR(std::uint8_t opcode, Reg reg, Reg rm) {
    Rex(false, reg, rm), Bytes(opcode, ModRR(reg, rm));
  }
  void Group1(std::uint8_t ext, Reg r, std::int32_t v, bool ptr) {
    Rex(ptr, 0, r);
    if (v >= -128 && v <= 127) {
      Bytes(op::kGroup1Imm8, ModRR(ext, r)), Imm(static_cast<std::int8_t>(v));
    } else {
      Bytes(op::kGroup1Imm32, ModRR(ext, r)), Imm(v);
    }
  }
  // opcode reg, m: ModRM, SIB and displacement as the operand needs them.
  void RM(std::uint8_t opcode, unsigned reg, Mem m, bool ptr = false, bool byte = false) {
    const unsigned base = m.base == kNone ? 0 : m.base;
    const unsigned index = m.index == kNone ? 0 : m.index;
    Rex(ptr, reg, base, index, byte);
    Byte(opcode);
    const unsigned r = (reg & 7) << 3;
    if (m.base == kNone) {  // [index * s + disp32], or [disp32]
      if (m.index == kNone && !k64) {
        Byte(r | 5);
      } else {
        Bytes(r | 4, m.scale << 6 | (m.index == kNone ? 4 : index & 7) << 3 | 5);
      }
      Imm(m.disp);
      return;
    }
    // [rbp] and [r13] have no form without a displacement.
    const bool none = m.disp == 0 && (base & 7) != kBp;
    const bool small = m.disp >= -128 && m.disp <= 127;
    const unsigned mod = none ? 0x00 : small ? 0x40 : 0x80;
    if (m.index != kNone || (base & 7) == kSp) {
      Bytes(mod | r | 4, m.scale << 6 | (m.index == kNone ? 4 : index & 7) << 3 | (base & 7));
    } else {
      Byte(mod | r | (base & 7));
    }
    if (!none) small ? Imm(static_cast<std::int8_t>(m.disp)) : Imm(m.disp);
  }
};

}  // namespace x86
