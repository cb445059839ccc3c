// The WebAssembly instructions and module parts the back end writes, one
// method per instruction, named after its text form (I32Add for i32.add).
// Integers are LEB128; a size that is known only at the end is written in
// five bytes (a padded LEB128, which the format allows) and patched then.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "native/code_buffer.h"

namespace wasm {

namespace op {
inline constexpr std::uint8_t kUnreachable = 0x00, kBlock = 0x02, kLoop = 0x03, kIf = 0x04,
                              kElse = 0x05, kEnd = 0x0B, kBr = 0x0C, kBrIf = 0x0D, kBrTable = 0x0E,
                              kReturn = 0x0F, kCall = 0x10, kDrop = 0x1A;
inline constexpr std::uint8_t kLocalGet = 0x20, kLocalSet = 0x21;
inline constexpr std::uint8_t kI32Load = 0x28, kI64Load = 0x29, kI32Store = 0x36, kI64Store = 0x37,
                              kI32Store8 = 0x3A;
inline constexpr std::uint8_t kI32Const = 0x41, kI64Const = 0x42;
inline constexpr std::uint8_t kI32Eq = 0x46, kI32Ne = 0x47, kI32GtU = 0x4B, kI32LeU = 0x4D,
                              kI32GeU = 0x4F, kI64Eqz = 0x50, kI64GeU = 0x5A;
inline constexpr std::uint8_t kI32Add = 0x6A, kI32Sub = 0x6B, kI32Mul = 0x6C, kI32DivS = 0x6D,
                              kI32Or = 0x72, kI32Shl = 0x74, kI64Add = 0x7C, kI64Sub = 0x7D,
                              kI64ExtendI32U = 0xAD;
// Types: the empty block type, i32, i64, and a function type.
inline constexpr std::uint8_t kVoid = 0x40, kI32 = 0x7F, kI64 = 0x7E, kFuncType = 0x60;
}  // namespace op

class Asm : public native::CodeBuffer {
 public:
  // The module's parts: bytes, LEB128 integers and names.
  using native::CodeBuffer::Byte;
  using native::CodeBuffer::Put;
  // Another part's bytes; one that did not fit spoils this one too.
  void Append(const Asm& part) {
    if (!part.Fits()) cap_ = 0;  // nothing more is written, and Fits() says so
    Put(part.code_, part.size_);
  }
  void U32(std::uint32_t v) {
    do {
      Byte((v & 0x7F) | (v > 0x7F ? 0x80 : 0));
      v >>= 7;
    } while (v != 0);
  }
  void S64(std::int64_t v) {
    for (bool more = true; more;) {
      const unsigned low = static_cast<unsigned>(v & 0x7F);
      v >>= 7;  // arithmetic: the sign stays
      more = !((v == 0 && (low & 0x40) == 0) || (v == -1 && (low & 0x40) != 0));
      Byte(low | (more ? 0x80 : 0));
    }
  }
  // A u32 in five bytes, to be patched: returns where it is.
  std::size_t Padded() {
    const std::size_t at = size_;
    for (int i = 0; i < 4; ++i) Byte(0x80);
    Byte(0);
    return at;
  }
  void Patch(std::size_t at, std::uint32_t v) {
    if (at + 5 > cap_) return;  // not written: Fits says so
    for (int i = 0; i < 5; ++i, v >>= 7)
      code_[at + i] = static_cast<std::uint8_t>((v & 0x7F) | (i < 4 ? 0x80 : 0));
  }
  void Name(const char* text) {
    const std::size_t n = std::strlen(text);
    U32(static_cast<std::uint32_t>(n));
    Put(text, n);
  }

  void Unreachable() { Byte(op::kUnreachable); }
  void Block() { Byte(op::kBlock), Byte(op::kVoid); }
  void Loop() { Byte(op::kLoop), Byte(op::kVoid); }
  void If() { Byte(op::kIf), Byte(op::kVoid); }
  void IfI32() { Byte(op::kIf), Byte(op::kI32); }
  void Else() { Byte(op::kElse); }
  void End() { Byte(op::kEnd); }
  void Br(std::uint32_t depth) { Byte(op::kBr), U32(depth); }
  void BrIf(std::uint32_t depth) { Byte(op::kBrIf), U32(depth); }
  // Then the count of depths, the depths and the default, with U32.
  void BrTable() { Byte(op::kBrTable); }
  void Return() { Byte(op::kReturn); }
  void Call(std::uint32_t function) { Byte(op::kCall), U32(function); }
  void Drop() { Byte(op::kDrop); }

  void LocalGet(std::uint32_t i) { Byte(op::kLocalGet), U32(i); }
  void LocalSet(std::uint32_t i) { Byte(op::kLocalSet), U32(i); }
  // Loads and stores at a constant offset past the address on the stack.
  void I32Load(std::uint32_t offset) { Byte(op::kI32Load), U32(2), U32(offset); }
  void I64Load(std::uint32_t offset) { Byte(op::kI64Load), U32(3), U32(offset); }
  void I32Store(std::uint32_t offset) { Byte(op::kI32Store), U32(2), U32(offset); }
  void I64Store(std::uint32_t offset) { Byte(op::kI64Store), U32(3), U32(offset); }
  void I32Store8(std::uint32_t offset) { Byte(op::kI32Store8), U32(0), U32(offset); }

  void I32Const(std::int32_t v) { Byte(op::kI32Const), S64(v); }
  void I64Const(std::int64_t v) { Byte(op::kI64Const), S64(v); }
  void I32Eq() { Byte(op::kI32Eq); }
  void I32Ne() { Byte(op::kI32Ne); }
  void I32GtU() { Byte(op::kI32GtU); }
  void I32LeU() { Byte(op::kI32LeU); }
  void I32GeU() { Byte(op::kI32GeU); }
  void I64Eqz() { Byte(op::kI64Eqz); }
  void I64GeU() { Byte(op::kI64GeU); }
  void I64Add() { Byte(op::kI64Add); }
  void I64ExtendI32U() { Byte(op::kI64ExtendI32U); }
  void I32Add() { Byte(op::kI32Add); }
  void I32Sub() { Byte(op::kI32Sub); }
  void I32Mul() { Byte(op::kI32Mul); }
  void I32DivS() { Byte(op::kI32DivS); }
  void I32Or() { Byte(op::kI32Or); }
  void I32Shl() { Byte(op::kI32Shl); }
  void I64Sub() { Byte(op::kI64Sub); }
};

}  // namespace wasm
