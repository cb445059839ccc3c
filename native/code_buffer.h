// The bytes a back end's instruction forms write: into its pages, or the
// parts of a WebAssembly module. What would not fit is counted, not written,
// so Fits() says afterwards whether all of it did, and a patch lands only
// where something was written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace native {

class CodeBuffer {
 public:
  void Reset(std::uint8_t* code, std::size_t cap) {
    code_ = code;
    cap_ = cap;
    size_ = 0;
  }
  std::size_t Here() const { return size_; }
  bool Fits() const { return size_ <= cap_; }
  // The absolute address of offset `at`, pointer-sized: a jump table entry.
  void Address(std::size_t at) { Value(reinterpret_cast<std::uintptr_t>(code_ + at)); }

 protected:
  // n bytes at the end; returns where they start.
  std::size_t Put(const void* bytes, std::size_t n) {
    if (size_ <= cap_ && n <= cap_ - size_) std::memcpy(code_ + size_, bytes, n);
    size_ += n;
    return size_ - n;
  }
  // A value's bytes as this processor stores them: a copy of known size,
  // one store, where Put's is a call.
  template <typename T>
  std::size_t Value(const T& value) {
    if (size_ <= cap_ && sizeof value <= cap_ - size_)
      std::memcpy(code_ + size_, &value, sizeof value);
    size_ += sizeof value;
    return size_ - sizeof value;
  }
  // One byte, the low 8 bits of b.
  void Byte(unsigned b) {
    if (size_ < cap_) code_[size_] = static_cast<std::uint8_t>(b);
    ++size_;
  }

  std::uint8_t* code_ = nullptr;  // cap_ bytes
  std::size_t cap_ = 0;
  std::size_t size_ = 0;
};

}  // namespace native
