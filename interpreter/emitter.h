// What a native back end provides: the machine instructions for each
// operation of the plan (decode.h), written into pages the driver
// (native.cpp) maps. The driver walks the plan, gives every position 0..700
// its entry, and calls these; a back end only chooses machine instructions.
//
// The contract, for every back end:
// - The code is one function, entered at offset 0 (Enter) with one argument:
//   the address of the entry to start at. It loads a, b, c, d from the
//   machine state into machine registers, runs, and on Exit stores them back
//   and returns. It follows the platform's calling convention.
// - Labels are positions 0..700 and kExit. Their offsets are known only at
//   Finish, which patches every branch to a label and writes the jump table
//   (the entries of 0..700) for computed jumps.
// - A computed jump (Jump, JumpIfEqual) to a target outside 0..700 goes to
//   kExit; JumpTo and JumpIfEqualTo get a target already in 0..700.
// - Jumps the program takes (Jump, JumpIfEqual, JumpTo, JumpIfEqualTo), and
//   only those, are counted in bounded builds (VEK_STEP_BOUND): the jump past
//   jump_budget goes to kExit instead. Goto is layout, never counted.
// - Memory: a store with a outside 0..1024 is dropped, a load gives 0.
// - Output (PutA, PutB): the byte goes to console::out.buf[n] with n the
//   count, then the count n + 1 is stored to console::out.len (a plain
//   store, after the byte); at console::out_limit, console::Flush() is
//   called. The count may live in a machine register, reloaded from
//   out.len after every call out.
// - Calls out (key read, flush, NULL, STOP) follow the platform's ABI.
// - Rare paths (flushes) go out of line, emitted by Finish.
// - Nothing is written past cap bytes: Finish returns false if anything did
//   not fit, and the driver falls back to the fast loop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "interpreter/decode.h"

namespace native {

inline constexpr int kExit = kEndPos + 1;  // the label of the way out
inline constexpr int kLabels = kExit + 1;

// What a back end notes while it emits, to patch in Finish: a branch to a
// label, and a branch to a flush kept out of line with where the code goes
// on after it. A list never overruns: a plan that would is noted as full,
// and the driver falls back (no program text comes near the caps).
struct Fix {
  std::size_t at;  // the branch (or where its displacement ends)
  int label;
};
struct Stub {
  std::size_t from;
  std::size_t back;
};
template <typename T, int kCap>
class Notes {
 public:
  void Clear() { n_ = 0, full_ = false; }
  void Add(const T& item) {
    if (n_ == kCap) full_ = true;
    if (!full_) items_[n_++] = item;
  }
  bool Full() const { return full_; }
  std::span<const T> All() const { return {items_, static_cast<std::size_t>(n_)}; }

 private:
  T items_[kCap];
  int n_ = 0;
  bool full_ = false;
};
inline constexpr int kFixCap = 8 * kLabels;
inline constexpr int kStubCap = 2 * kLabels;

class Emitter {
 public:
  Emitter() = default;
  Emitter(const Emitter&) = delete;
  Emitter& operator=(const Emitter&) = delete;

  // Starts over on cap bytes at code.
  virtual void Reset(std::uint8_t* code, std::size_t cap) = 0;
  // Offset of the next instruction: where a label being placed now lands.
  virtual std::size_t Here() const = 0;

  virtual void Enter() = 0;  // at offset 0: the function's entry
  virtual void Exit() = 0;   // the way out (kExit and position 700)
  virtual void Goto(int label) = 0;

  // The operations, after the instructions they stand for (instructions.h).
  virtual void Add(std::int32_t x, std::int32_t y) = 0;  // a += x, b += y
  virtual void SetA(std::int32_t x) = 0;                 // a = x ($ with what follows it)
  virtual void MoveBA() = 0;                             // a = b
  virtual void CopyAB() = 0;
  virtual void CopyCD() = 0;
  virtual void Dup() = 0;
  virtual void SwapAB() = 0;
  virtual void SwapCD() = 0;
  virtual void PutA() = 0;
  virtual void KeyA() = 0;
  virtual void PutB() = 0;
  virtual void KeyB() = 0;
  virtual void Split() = 0;
  virtual void Null() = 0;
  virtual void Store() = 0;
  virtual void Load() = 0;
  virtual void AddB() = 0;
  virtual void SubB() = 0;
  virtual void Jump() = 0;                    // to a
  virtual void JumpIfEqual() = 0;             // to a if c == d, else on
  virtual void JumpTo(int label) = 0;         // a jump of the program to a known target
  virtual void JumpIfEqualTo(int label) = 0;  // the same if c == d, else on
  virtual void Stop() = 0;                    // writes STOP, then to kExit

  // Emits the rare paths, patches every branch with at[label] (the offset of
  // each label) and writes the jump table. False if anything did not fit.
  virtual bool Finish(const std::size_t* at) = 0;

 protected:
  // Never destroyed through this interface: back ends live in static storage.
  ~Emitter() = default;
};

// The calls out the code makes, with no arguments.
std::int32_t CallKey();
void CallFlush();
void CallNull();
void CallStop();

// The back end of this build, or nullptr where there is none. A back end
// keeps its emitter at namespace scope, not as a function's static: nothing
// of the C++ runtime library (a guard, a deleting destructor, type
// information: the back ends build without it) may be linked in, or every
// start of the program pays for loading that library.
Emitter* Backend();

}  // namespace native
