// The AArch64 instruction forms the native back end uses, one method per
// form, named after its mnemonic. Every instruction is one 32-bit word: the
// form's fixed bits (op::) or-ed with its fields. "W" forms act on 32-bit
// registers (and clear the upper half), "X" forms on 64-bit ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "native/code_buffer.h"

namespace a64 {

// x0..x30; 31 is the zero register or sp, as the form says.
enum Reg : std::uint8_t {};
// x0 the result; x9..x15 scratch, x16 and x17 (ip0, ip1) scratch between
// calls; x19..x28 callee-saved; then the frame pointer and the link register.
inline constexpr Reg kX0{0}, kX9{9}, kX14{14}, kX15{15}, kX16{16}, kX17{17}, kX19{19}, kX20{20},
    kX21{21}, kX22{22}, kX23{23}, kX24{24}, kX25{25}, kX26{26}, kX27{27}, kX28{28}, kFp{29},
    kLr{30}, kZr{31}, kSp{31};
enum Cond : std::uint8_t { kEq = 0x0, kNe = 0x1, kHs = 0x2, kLo = 0x3, kHi = 0x8 };

// Each form's fixed bits.
namespace op {
// Control: bti c (hint #34), ret x30, brk, b, b.cond, br, blr, adr.
inline constexpr std::uint32_t kBtiC = 0xD503245F, kRet = 0xD65F03C0, kBrk = 0xD4200000,
                               kB = 0x14000000, kBCond = 0x54000000, kBr = 0xD61F0000,
                               kBlr = 0xD63F0000, kAdr = 0x10000000;
// Wide immediates.
inline constexpr std::uint32_t kMovzW = 0x52800000, kMovkW = 0x72800000, kMovzX = 0xD2800000,
                               kMovkX = 0xF2800000;
// Arithmetic with a 12-bit immediate.
inline constexpr std::uint32_t kAddImmW = 0x11000000, kSubImmW = 0x51000000, kSubsImmW = 0x71000000,
                               kAddImmX = 0x91000000, kSubsImmX = 0xF1000000;
// Arithmetic and orr on shifted registers, the shift field for asr, and the
// multiplies; asr by an immediate is sbfm xd, xn, #shift, #63.
inline constexpr std::uint32_t kOrrW = 0x2A000000, kAddW = 0x0B000000, kAddX = 0x8B000000,
                               kSubW = 0x4B000000, kSubsW = 0x6B000000, kSubsX = 0xEB000000,
                               kShiftAsr = 2 << 22, kSmull = 0x9B207C00, kMsubW = 0x1B008000,
                               kAsrImmX = 0x9340FC00;
// Loads and stores at an unsigned offset, at a register offset (with the
// index's extend and its scaling by the access size), and of pairs.
inline constexpr std::uint32_t kLdrW = 0xB9400000, kStrW = 0xB9000000, kLdrX = 0xF9400000,
                               kStrX = 0xF9000000, kStrb = 0x39000000;
inline constexpr std::uint32_t kLdrWIndexed = 0xB8600800, kStrWIndexed = 0xB8200800,
                               kLdrXIndexed = 0xF8600800, kExtendUxtw = 2 << 13, kScaled = 1 << 12;
inline constexpr std::uint32_t kStpXPre = 0xA9800000, kStpX = 0xA9000000, kLdpX = 0xA9400000,
                               kLdpXPost = 0xA8C00000;
}  // namespace op

class Asm : public native::CodeBuffer {
 public:
  // The landing pad for calls (blr) where branch targets are guarded.
  void BtiC() { Emit(op::kBtiC); }
  void Ret() { Emit(op::kRet); }
  void Brk() { Emit(op::kBrk); }

  // Branches to be patched (Patch) once the target is known: each returns
  // where the branch is.
  std::size_t B() { return Emit(op::kB); }
  std::size_t BCond(Cond cc) { return Emit(op::kBCond | cc); }
  void Br(Reg n) { Emit(op::kBr | Rn(n)); }
  void Blr(Reg n) { Emit(op::kBlr | Rn(n)); }
  // adr xd, <offset>: patched by Patch.
  std::size_t Adr(Reg d) { return Emit(op::kAdr | d); }

  void MovzW(Reg d, std::uint16_t v, unsigned shift) {
    Emit(op::kMovzW | Hw(shift) | Imm16(v) | d);
  }
  void MovkW(Reg d, std::uint16_t v, unsigned shift) {
    Emit(op::kMovkW | Hw(shift) | Imm16(v) | d);
  }
  void MovzX(Reg d, std::uint16_t v, unsigned shift) {
    Emit(op::kMovzX | Hw(shift) | Imm16(v) | d);
  }
  void MovkX(Reg d, std::uint16_t v, unsigned shift) {
    Emit(op::kMovkX | Hw(shift) | Imm16(v) | d);
  }
  // mov wd, #v: movz and, where the upper half is not 0, movk.
  void MovW(Reg d, std::uint32_t v) {
    MovzW(d, static_cast<std::uint16_t>(v), 0);
    if (v >> 16 != 0) MovkW(d, static_cast<std::uint16_t>(v >> 16), 16);
  }
  // mov xd, #v: movz, then movk for each further non-zero 16 bits.
  void MovX(Reg d, const void* p) {
    MovX(d, static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(p)));
  }
  void MovX(Reg d, std::uint64_t v) {
    MovzX(d, static_cast<std::uint16_t>(v), 0);
    for (unsigned shift = 16; shift < 64; shift += 16) {
      if ((v >> shift & 0xFFFF) != 0) MovkX(d, static_cast<std::uint16_t>(v >> shift), shift);
    }
  }
  void MovW(Reg d, Reg m) { Emit(op::kOrrW | Rm(m) | Rn(kZr) | d); }  // orr wd, wzr, wm
  void MovXFromSp(Reg d) { Emit(op::kAddImmX | Rn(kSp) | d); }        // add xd, sp, #0

  // Immediates are 12 bits, shifted left by 12 or not.
  void AddW(Reg d, Reg n, std::uint32_t imm) { Emit(op::kAddImmW | Imm12(imm) | Rn(n) | d); }
  void SubW(Reg d, Reg n, std::uint32_t imm) { Emit(op::kSubImmW | Imm12(imm) | Rn(n) | d); }
  void CmpW(Reg n, std::uint32_t imm) { Emit(op::kSubsImmW | Imm12(imm) | Rn(n) | kZr); }
  void AddX(Reg d, Reg n, std::uint32_t imm) { Emit(op::kAddImmX | Imm12(imm) | Rn(n) | d); }
  void SubsX(Reg d, Reg n, std::uint32_t imm) { Emit(op::kSubsImmX | Imm12(imm) | Rn(n) | d); }
  static constexpr bool FitsImm12(std::uint32_t imm) {
    return imm < (1u << 12) || (imm % (1u << 12) == 0 && imm < (1u << 24));
  }

  void AddW(Reg d, Reg n, Reg m) { Emit(op::kAddW | Rm(m) | Rn(n) | d); }
  void AddX(Reg d, Reg n, Reg m) { Emit(op::kAddX | Rm(m) | Rn(n) | d); }
  void SubW(Reg d, Reg n, Reg m) { Emit(op::kSubW | Rm(m) | Rn(n) | d); }
  // sub wd, wn, wm, asr #shift
  void SubWAsr(Reg d, Reg n, Reg m, unsigned shift) {
    Emit(op::kSubW | op::kShiftAsr | Rm(m) | shift << 10 | Rn(n) | d);
  }
  void CmpW(Reg n, Reg m) { Emit(op::kSubsW | Rm(m) | Rn(n) | kZr); }
  void CmpX(Reg n, Reg m) { Emit(op::kSubsX | Rm(m) | Rn(n) | kZr); }
  // smull xd, wn, wm: the signed 64-bit product.
  void Smull(Reg d, Reg n, Reg m) { Emit(op::kSmull | Rm(m) | Rn(n) | d); }
  void AsrX(Reg d, Reg n, unsigned shift) { Emit(op::kAsrImmX | shift << 16 | Rn(n) | d); }
  // msub wd, wn, wm, wa: wa - wn * wm.
  void MsubW(Reg d, Reg n, Reg m, Reg a) {
    Emit(op::kMsubW | Rm(m) | std::uint32_t{a} << 10 | Rn(n) | d);
  }

  // [xn, #offset]: the offset a multiple of the access size.
  void LdrW(Reg t, Reg n, std::uint32_t offset) { Emit(op::kLdrW | Off12(offset / 4) | Rn(n) | t); }
  void StrW(Reg t, Reg n, std::uint32_t offset) { Emit(op::kStrW | Off12(offset / 4) | Rn(n) | t); }
  void LdrX(Reg t, Reg n, std::uint32_t offset) { Emit(op::kLdrX | Off12(offset / 8) | Rn(n) | t); }
  void StrX(Reg t, Reg n, std::uint32_t offset) { Emit(op::kStrX | Off12(offset / 8) | Rn(n) | t); }
  void Strb(Reg t, Reg n, std::uint32_t offset) { Emit(op::kStrb | Off12(offset) | Rn(n) | t); }
  // [xn, wm, uxtw #size]: a 32-bit index, zero-extended and scaled.
  void LdrWUxtw(Reg t, Reg n, Reg m) { Indexed(op::kLdrWIndexed, t, n, m); }
  void StrWUxtw(Reg t, Reg n, Reg m) { Indexed(op::kStrWIndexed, t, n, m); }
  void LdrXUxtw(Reg t, Reg n, Reg m) { Indexed(op::kLdrXIndexed, t, n, m); }
  // stp / ldp of x registers at [xn, #offset], and with the base moved
  // before (stp, pre-index) or after (ldp, post-index).
  void StpXPre(Reg t1, Reg t2, Reg n, std::int32_t offset) {
    Pair(op::kStpXPre, t1, t2, n, offset);
  }
  void StpX(Reg t1, Reg t2, Reg n, std::int32_t offset) { Pair(op::kStpX, t1, t2, n, offset); }
  void LdpX(Reg t1, Reg t2, Reg n, std::int32_t offset) { Pair(op::kLdpX, t1, t2, n, offset); }
  void LdpXPost(Reg t1, Reg t2, Reg n, std::int32_t offset) {
    Pair(op::kLdpXPost, t1, t2, n, offset);
  }

  // Points the branch or adr at `at` to offset `target`; false if out of reach.
  bool Patch(std::size_t at, std::size_t target) {
    if (at + 4 > cap_) return true;  // not written: Fits says so
    std::uint32_t word = 0;
    std::memcpy(&word, code_ + at, 4);
    const std::int64_t delta = static_cast<std::int64_t>(target) - static_cast<std::int64_t>(at);
    const auto bits = static_cast<std::uint32_t>(delta);
    if ((word & kBMask) == op::kB) {  // imm26, in words
      if (delta < -(1 << 27) || delta >= (1 << 27)) return false;
      word |= bits >> 2 & 0x3FFFFFF;
    } else if ((word & kBCondMask) == op::kBCond) {  // imm19, in words
      if (delta < -(1 << 20) || delta >= (1 << 20)) return false;
      word |= (bits >> 2 & 0x7FFFF) << 5;
    } else {  // adr: imm21, in bytes, low 2 bits first
      if (delta < -(1 << 20) || delta >= (1 << 20)) return false;
      word |= (bits & 3) << 29 | (bits >> 2 & 0x7FFFF) << 5;
    }
    std::memcpy(code_ + at, &word, 4);
    return true;
  }

 private:
  static constexpr std::uint32_t kBMask = 0xFC000000;
  static constexpr std::uint32_t kBCondMask = 0xFF000010;

  std::size_t Emit(std::uint32_t word) { return Value(word); }
  static std::uint32_t Rn(Reg n) { return std::uint32_t{n} << 5; }
  static std::uint32_t Rm(Reg m) { return std::uint32_t{m} << 16; }
  static std::uint32_t Hw(unsigned shift) { return shift / 16 << 21; }
  static std::uint32_t Imm16(std::uint16_t v) { return std::uint32_t{v} << 5; }
  static std::uint32_t Off12(std::uint32_t scaled) { return (scaled & 0xFFF) << 10; }
  // imm12, or imm12 << 12 with the shift bit set.
  static std::uint32_t Imm12(std::uint32_t imm) {
    return imm < (1u << 12) ? imm << 10 : 1u << 22 | (imm >> 12 & 0xFFF) << 10;
  }
  void Indexed(std::uint32_t form, Reg t, Reg n, Reg m) {
    Emit(form | op::kExtendUxtw | op::kScaled | Rm(m) | Rn(n) | t);
  }
  void Pair(std::uint32_t form, Reg t1, Reg t2, Reg n, std::int32_t offset) {
    Emit(form | (static_cast<std::uint32_t>(offset / 8) & 0x7F) << 15 | std::uint32_t{t2} << 10 |
         Rn(n) | t1);
  }
};

}  // namespace a64
