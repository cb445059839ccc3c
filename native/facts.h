// What is known of the registers at a point of the code, and how each of the
// back end's primitives (backend.h) changes it. The code is compiled for one
// run, so the registers the run starts with are known, and so is whatever
// follows from them along the way; the driver sets a value it can work out
// instead of computing it, and divides once where c equals a.
#pragma once

#include <cstdint>

#include "native/backend.h"

namespace native {

struct Facts {
  bool reached = false;
  bool c_is_a = false;
  std::uint8_t known = 0;  // bit r: v[r] is r's value
  std::int32_t v[kNoReg] = {};

  bool Known(Reg r) const { return (known >> r & 1) != 0; }
  void Set(Reg r, std::int32_t x) { v[r] = x, known |= 1 << r; }
  void Forget(Reg r) { known &= ~(1 << r); }
  // What holds on both ways in; whether that grew what was known here.
  bool Merge(const Facts& in) {
    if (!in.reached) return false;
    if (!reached) return *this = in, true;
    const Facts before = *this;
    c_is_a = c_is_a && in.c_is_a;
    for (int r = 0; r < kNoReg; ++r) {
      if (Known(Reg(r)) && (!in.Known(Reg(r)) || v[r] != in.v[r])) Forget(Reg(r));
    }
    return c_is_a != before.c_is_a || known != before.known;
  }

  // After the primitive of the same name.
  void Move(Reg dst, Reg src) {
    Known(src) ? Set(dst, v[src]) : Forget(dst);
    const bool copy = (dst == kC && src == kA) || (dst == kA && src == kC);
    Wrote(dst);
    c_is_a = c_is_a || copy;
  }
  void Swap(Reg x, Reg y) {
    const Facts was = *this;
    was.Known(x) ? Set(y, was.v[x]) : Forget(y);
    was.Known(y) ? Set(x, was.v[y]) : Forget(x);
    Forget(kT0);  // the default swap goes through it
    Wrote(x), Wrote(y);
  }
  void MoveImm(Reg dst, std::int32_t x) {
    Set(dst, x);
    Wrote(dst);
  }
  // After a primitive that works out dst in the code (AddImm, Add, Sub,
  // Remainder10, LoadCell): its value is not known.
  void Computed(Reg dst) {
    Forget(dst);
    Wrote(dst);
  }
  void Quotient10(Reg dst) {
    Forget(kT1);
    Computed(dst);
  }
  void PutByte() { Forget(kT1); }
  // After Count, AddSteps or a call out, which may change the scratch
  // registers; a call's result is not known.
  void Scratched() { Forget(kT0), Forget(kT1); }
  void Call(Reg result) {
    Scratched();
    if (result != kNoReg) Computed(result);
  }

 private:
  // Whether c still equals a, where r was written.
  void Wrote(Reg r) {
    if (r == kA || r == kC) c_is_a = Known(kA) && Known(kC) && v[kA] == v[kC];
  }
};

// What holds at a way in from anywhere.
inline Facts NothingKnown() {
  Facts f;
  f.reached = true;
  return f;
}

}  // namespace native
