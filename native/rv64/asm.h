// The RISC-V (RV64GC) instruction forms the back end uses, one method per
// form, named after its mnemonic. Every instruction is one 32-bit word: the
// opcode and function bits (op::) or-ed with its register and immediate
// fields in the base formats R, I, S, B, U and J. "W" forms act on the low
// 32 bits and sign-extend the result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "native/code_buffer.h"

namespace rv64 {

// x0..x31, by their names in the calling convention: t0..t6 are scratch,
// s1..s11 callee-saved, a0 the result.
enum Reg : std::uint8_t {};
inline constexpr Reg kZero{0}, kRa{1}, kSp{2}, kT0{5}, kT1{6}, kT2{7}, kS1{9}, kA0{10}, kS2{18},
    kS3{19}, kS4{20}, kS5{21}, kS6{22}, kS7{23}, kS8{24}, kS9{25}, kS10{26}, kT3{28}, kT4{29};

// Each form's opcode and function bits.
namespace op {
inline constexpr std::uint32_t kLui = 0x37;
inline constexpr std::uint32_t kAuipc = 0x17;
inline constexpr std::uint32_t kJal = 0x6F;
inline constexpr std::uint32_t kJalr = 0x67;
inline constexpr std::uint32_t kBeq = 0x63, kBne = 0x1063, kBltu = 0x6063, kBgeu = 0x7063;
inline constexpr std::uint32_t kLw = 0x2003, kLd = 0x3003;
inline constexpr std::uint32_t kSb = 0x23, kSw = 0x2023, kSd = 0x3023;
inline constexpr std::uint32_t kAddi = 0x13, kSlli = 0x1013, kSrli = 0x5013;
inline constexpr std::uint32_t kSrai = 0x40005013;
inline constexpr std::uint32_t kAddiw = 0x1B;
inline constexpr std::uint32_t kAdd = 0x33, kMul = 0x02000033;
inline constexpr std::uint32_t kAddw = 0x3B, kSubw = 0x4000003B, kMulw = 0x0200003B;
inline constexpr std::uint32_t kEbreak = 0x00100073;
}  // namespace op

class Asm : public native::CodeBuffer {
 public:
  void Ebreak() { Emit(op::kEbreak); }
  void Ret() { Jalr(kZero, kRa, 0); }

  void Lui(Reg d, std::uint32_t hi20) { Emit(op::kLui | (hi20 & 0xFFFFF) << 12 | Rd(d)); }
  std::size_t Auipc(Reg d) { return Emit(op::kAuipc | Rd(d)); }  // patched by PatchPc
  std::size_t Jal(Reg d) { return Emit(op::kJal | Rd(d)); }      // patched by Patch
  void Jalr(Reg d, Reg s, std::int32_t imm) { I(op::kJalr, d, s, imm); }
  // A branch over the next `words` instructions.
  void Beq(Reg x, Reg y, int words) { B(op::kBeq, x, y, 4 * (words + 1)); }
  void Bne(Reg x, Reg y, int words) { B(op::kBne, x, y, 4 * (words + 1)); }
  void Bltu(Reg x, Reg y, int words) { B(op::kBltu, x, y, 4 * (words + 1)); }
  void Bgeu(Reg x, Reg y, int words) { B(op::kBgeu, x, y, 4 * (words + 1)); }

  void Lw(Reg d, Reg base, std::int32_t off) { I(op::kLw, d, base, off); }
  void Ld(Reg d, Reg base, std::int32_t off) { I(op::kLd, d, base, off); }
  void Sb(Reg s, Reg base, std::int32_t off) { S(op::kSb, s, base, off); }
  void Sw(Reg s, Reg base, std::int32_t off) { S(op::kSw, s, base, off); }
  void Sd(Reg s, Reg base, std::int32_t off) { S(op::kSd, s, base, off); }

  void Addi(Reg d, Reg s, std::int32_t imm) { I(op::kAddi, d, s, imm); }
  void Addiw(Reg d, Reg s, std::int32_t imm) { I(op::kAddiw, d, s, imm); }
  void Slli(Reg d, Reg s, unsigned shift) { I(op::kSlli, d, s, static_cast<std::int32_t>(shift)); }
  void Srli(Reg d, Reg s, unsigned shift) { I(op::kSrli, d, s, static_cast<std::int32_t>(shift)); }
  void Srai(Reg d, Reg s, unsigned shift) { Emit(op::kSrai | shift << 20 | Rs1(s) | Rd(d)); }
  void Add(Reg d, Reg x, Reg y) { R(op::kAdd, d, x, y); }
  void Mul(Reg d, Reg x, Reg y) { R(op::kMul, d, x, y); }
  void Addw(Reg d, Reg x, Reg y) { R(op::kAddw, d, x, y); }
  void Subw(Reg d, Reg x, Reg y) { R(op::kSubw, d, x, y); }
  void Mulw(Reg d, Reg x, Reg y) { R(op::kMulw, d, x, y); }
  void Mv(Reg d, Reg s) { Addi(d, s, 0); }

  static constexpr bool FitsImm12(std::int64_t v) { return v >= -2048 && v < 2048; }
  // li: any 64-bit value, in as few instructions as lui, addi(w) and
  // shifts allow (a 32-bit value takes at most two).
  void Li(Reg d, std::int64_t v) {
    const std::int64_t lo = (v & 0xFFF) - ((v & 0x800) << 1);  // the low 12 bits, signed
    if (v == static_cast<std::int32_t>(v)) {
      const auto hi = static_cast<std::uint32_t>((v - lo) >> 12);
      if (hi == 0) return Addi(d, kZero, static_cast<std::int32_t>(lo));
      Lui(d, hi);
      if (lo != 0) Addiw(d, d, static_cast<std::int32_t>(lo));
      return;
    }
    std::int64_t hi = (v - lo) / 4096;  // exact
    unsigned shift = 12;
    while ((hi & 1) == 0) hi /= 2, ++shift;
    Li(d, hi);
    Slli(d, d, shift);
    if (lo != 0) Addi(d, d, static_cast<std::int32_t>(lo));
  }
  void Li(Reg d, const void* p) {
    Li(d, static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(p)));
  }

  // Points the jal at `at` to offset `target`; false if out of its reach.
  bool Patch(std::size_t at, std::size_t target) {
    const std::int64_t delta = static_cast<std::int64_t>(target) - static_cast<std::int64_t>(at);
    if (delta < -(1 << 20) || delta >= (1 << 20)) return false;
    const auto v = static_cast<std::uint32_t>(delta);
    Or(at,
       (v >> 20 & 1) << 31 | (v >> 1 & 0x3FF) << 21 | (v >> 11 & 1) << 20 | (v >> 12 & 0xFF) << 12);
    return true;
  }
  // Points the auipc at `at` and the addi after it to offset `target`.
  void PatchPc(std::size_t at, std::size_t target) {
    const std::int64_t delta = static_cast<std::int64_t>(target) - static_cast<std::int64_t>(at);
    const std::int64_t lo = (delta & 0xFFF) - ((delta & 0x800) << 1);
    Or(at, static_cast<std::uint32_t>(delta - lo) & 0xFFFFF000);
    Or(at + 4, static_cast<std::uint32_t>(lo) << 20);
  }

 private:
  std::size_t Emit(std::uint32_t word) { return Value(word); }
  void Or(std::size_t at, std::uint32_t bits) {
    if (at + 4 > cap_) return;  // not written: Fits says so
    std::uint32_t word = 0;
    std::memcpy(&word, code_ + at, 4);
    word |= bits;
    std::memcpy(code_ + at, &word, 4);
  }
  static std::uint32_t Rd(Reg r) { return std::uint32_t{r} << 7; }
  static std::uint32_t Rs1(Reg r) { return std::uint32_t{r} << 15; }
  static std::uint32_t Rs2(Reg r) { return std::uint32_t{r} << 20; }
  void R(std::uint32_t form, Reg d, Reg x, Reg y) { Emit(form | Rs2(y) | Rs1(x) | Rd(d)); }
  void I(std::uint32_t form, Reg d, Reg s, std::int32_t imm) {
    Emit(form | static_cast<std::uint32_t>(imm) << 20 | Rs1(s) | Rd(d));
  }
  void S(std::uint32_t form, Reg s, Reg base, std::int32_t imm) {
    const auto v = static_cast<std::uint32_t>(imm);
    Emit(form | (v >> 5 & 0x7F) << 25 | Rs2(s) | Rs1(base) | (v & 0x1F) << 7);
  }
  void B(std::uint32_t form, Reg x, Reg y, std::int32_t delta) {
    const auto v = static_cast<std::uint32_t>(delta);
    Emit(form | (v >> 12 & 1) << 31 | (v >> 5 & 0x3F) << 25 | Rs2(y) | Rs1(x) |
         (v >> 1 & 0xF) << 8 | (v >> 11 & 1) << 7);
  }
};

}  // namespace rv64
