// The few x86-64 instruction forms the native code needs, encoded by hand.
// Operands are register numbers (RAX = 0 ... R15 = 15); "32" forms act on the
// low 32 bits and clear the upper ones.
#pragma once

#include <cstdint>
#include <cstring>

namespace x64 {

enum Reg : std::uint8_t {
  RAX = 0,
  RCX = 1,
  RDX = 2,
  RBX = 3,
  RSP = 4,
  RBP = 5,
  R12 = 12,
  R13,
  R14,
  R15
};
enum Cond : std::uint8_t { kBelow = 0x2, kEqual = 0x4, kNotEqual = 0x5, kAbove = 0x7 };
inline constexpr std::uint8_t kNoIndex = 0xff;

struct Asm {
  std::uint8_t* code = nullptr;  // cap bytes; what would not fit is counted, not written
  std::size_t size = 0;
  std::size_t cap = 0;

  std::size_t Here() const { return size; }
  bool Fits() const { return size <= cap; }
  void Byte(std::uint8_t b) {
    if (size < cap) code[size] = b;
    ++size;
  }
  void Bytes(std::initializer_list<std::uint8_t> bs) {
    for (const std::uint8_t b : bs) Byte(b);
  }
  template <typename T>
  void Imm(T v) {
    std::uint8_t b[sizeof v];
    std::memcpy(b, &v, sizeof v);
    for (const std::uint8_t x : b) Byte(x);
  }
  // The REX prefix, when one is needed. (Byte stores use BL and R12B only:
  // neither is changed by a REX prefix being there or not.)
  void Rex(bool w, unsigned reg, unsigned index, unsigned base) {
    const std::uint8_t r =
        0x40 | (w ? 8 : 0) | ((reg >> 3) & 1) << 2 | ((index >> 3) & 1) << 1 | ((base >> 3) & 1);
    if (r != 0x40) Byte(r);
  }
  // op reg, rm with both registers.
  void RR(std::uint8_t op, unsigned reg, unsigned rm, bool w = false) {
    Rex(w, reg, 0, rm);
    Bytes({op, static_cast<std::uint8_t>(0xC0 | (reg & 7) << 3 | (rm & 7))});
  }
  // op reg, [base + index * 2^scale].
  void RM(std::initializer_list<std::uint8_t> op, unsigned reg, unsigned base,
          unsigned index = kNoIndex, unsigned scale = 0, bool w = false) {
    const bool sib = index != kNoIndex || (base & 7) == RSP;
    const bool disp = (base & 7) == RBP;  // [rbp] and [r13] need a displacement
    Rex(w, reg, index == kNoIndex ? 0 : index, base);
    Bytes(op);
    Byte(static_cast<std::uint8_t>((disp ? 0x40 : 0) | (reg & 7) << 3 | (sib ? 4 : base & 7)));
    if (sib)
      Byte(static_cast<std::uint8_t>(
          scale << 6 | ((index == kNoIndex ? unsigned{RSP} : index) & 7) << 3 | (base & 7)));
    if (disp) Byte(0);
  }

  void Push(unsigned r) { Rex(false, 0, 0, r), Byte(0x50 | (r & 7)); }
  void Pop(unsigned r) { Rex(false, 0, 0, r), Byte(0x58 | (r & 7)); }
  void MovAbs(unsigned r, const void* p) {
    Rex(true, 0, 0, r), Byte(0xB8 | (r & 7)), Imm(reinterpret_cast<std::uint64_t>(p));
  }
  void Mov32(unsigned dst, unsigned src) { RR(0x89, src, dst); }
  void MovImm(unsigned dst, std::int32_t v) {
    Rex(false, 0, 0, dst), Byte(0xB8 | (dst & 7)), Imm(v);
  }
  void Load32(unsigned dst, unsigned base) { RM({0x8B}, dst, base); }
  void Store32(unsigned base, unsigned src) { RM({0x89}, src, base); }
  void Add32(unsigned dst, unsigned src) { RR(0x01, src, dst); }
  void Sub32(unsigned dst, unsigned src) { RR(0x29, src, dst); }
  void Xor32(unsigned dst, unsigned src) { RR(0x31, src, dst); }
  void Xchg32(unsigned x, unsigned y) { RR(0x87, x, y); }
  void Cmp32(unsigned x, unsigned y) { RR(0x39, y, x); }
  // add / sub / cmp with an immediate: 81 /0, /5, /7.
  void Arith32(unsigned ext, unsigned r, std::int32_t v) {
    Rex(false, 0, 0, r), Bytes({0x81, static_cast<std::uint8_t>(0xC0 | ext << 3 | (r & 7))}),
        Imm(v);
  }
  void AddImm(unsigned r, std::int32_t v) { Arith32(0, r, v); }
  void CmpImm(unsigned r, std::int32_t v) { Arith32(7, r, v); }
  void Sar(unsigned r, std::uint8_t n, bool w) {
    Rex(w, 0, 0, r), Bytes({0xC1, static_cast<std::uint8_t>(0xF8 | (r & 7)), n});
  }
  void Jcc(Cond cc) { Bytes({0x0F, static_cast<std::uint8_t>(0x80 | cc)}), Imm<std::int32_t>(0); }
  void Jmp() { Byte(0xE9), Imm<std::int32_t>(0); }
  // Points the rel32 that ends at `end` to `target`.
  void Patch(std::size_t end, std::size_t target) {
    const auto rel = static_cast<std::int32_t>(static_cast<std::int64_t>(target) -
                                               static_cast<std::int64_t>(end));
    if (end <= cap) std::memcpy(code + end - 4, &rel, 4);
  }
};

}  // namespace x64
