// What a native back end provides: a few machine-level primitives, each
// written with its processor's own instruction forms (asm.h in its folder).
// The driver (driver.cpp) lowers the plan to them and owns all that the
// language means: what each operation does, where the run goes on, which
// jumps are counted, what is known of the registers on the way. A back end
// only chooses machine instructions.
//
// The contract, for every back end:
// - The code is one function without arguments that follows the platform's
//   calling convention and returns a 32-bit int. Enter, at offset 0, loads
//   a..d from the machine state; Leave stores them back and returns its
//   result: -1 at the way out, or where the run is to go on.
// - kA..kD hold a..d: 32-bit values, all arithmetic wrapping. kT0 and kT1
//   are scratch: Count, AddSteps, Call, CountDown and Quotient10 (but for
//   its result) may change them.
// - Labels are the positions 0..700, kExit and, from kFirstLocal on, the
//   driver's own. Place puts one at the next instruction; a branch may name
//   a label placed before or after it. Finish gets, for each position, the
//   label whose code serves it, for the jump table.
// - PutByte(r, i): the low 8 bits of r go to out[n + i], n being the count;
//   Count(k) then counts k such bytes: n + k goes to *len (a plain
//   pointer-sized store, after the bytes), and when the count reaches limit,
//   flush is called. The count may live in a machine register, loaded again
//   after every call out. The driver counts at most kOutSlack bytes at once
//   and every byte before any other call, branch or label.
// - LoadCell / StoreCell touch mem[index] only for an index in 0..1024: a
//   load outside gives 0, a store outside does nothing.
// - JumpTable(r): r is in 0..700; goes on at that position's entry.
// - CountDown(label): takes one off *jumps, or, when it is 0, branches to
//   label instead. AddSteps(k) adds k to *steps (a 64-bit word).
// - Rare paths (flushes) go out of line. Nothing is written past the cap:
//   Finish says whether everything fit, and the driver falls back if not.
#pragma once

#include <cstddef>
#include <cstdint>

#include "interpreter/decode.h"
#include "native/native.h"

namespace native {

enum Reg : std::uint8_t { kA, kB, kC, kD, kT0, kT1, kNoReg };
enum class Cond : std::uint8_t { kEqual, kNotEqual, kAbove /* unsigned */ };

inline constexpr std::int32_t kLastCell = kMemCells - 1;
inline constexpr int kExit = kEndPos + 1;  // the way out
inline constexpr int kFirstLocal = kExit + 1;
inline constexpr int kLocalsPerOp = 3;  // the driver's own labels, at most
inline constexpr int kLabels = kFirstLocal + kLocalsPerOp * (kEndPos + 1);

// A call out of the code: the key read (its result goes to a register),
// the flush, NULL and STOP. Its one argument is the world's context.
using Callout = std::int32_t (*)(void* context);

// Where the code finds what it works on, for one compile.
struct World {
  std::int32_t* regs[4];  // a, b, c, d
  std::int32_t* mem;      // kMemCells cells
  char* out;              // the output buffer
  void* len;              // its count: a pointer-sized word
  std::size_t limit;      // the count at which it is flushed
  Callout flush;
  void* context;         // handed to every call out
  std::uint64_t* jumps;  // nullptr: no jump is counted
  std::uint64_t* steps;  // nullptr: steps are not counted
};

class Backend {
 public:
  Backend() = default;
  Backend(const Backend&) = delete;
  Backend& operator=(const Backend&) = delete;

  // For messages and tests: "x86-64", "aarch64", ...
  virtual const char* Name() const = 0;
  // Starts over on cap bytes at code.
  virtual void Reset(std::uint8_t* code, std::size_t cap, const World& world) = 0;

  virtual void Enter() = 0;
  virtual void Leave(int result) = 0;
  // a..d to the machine state and back, around a call out that works on it.
  virtual void StoreMachine() = 0;
  virtual void LoadMachine() = 0;
  virtual void Place(int label) = 0;

  virtual void Branch(int label) = 0;
  virtual void BranchIf(Cond cond, Reg x, Reg y, int label) = 0;
  virtual void BranchIf(Cond cond, Reg x, std::int32_t y, int label) = 0;
  virtual void JumpTable(Reg index) = 0;
  virtual void CountDown(int label) = 0;
  virtual void AddSteps(std::uint32_t k) = 0;

  virtual void Move(Reg dst, Reg src) = 0;
  // x and y trade values: through kT0, where the processor has no single
  // instruction for it.
  virtual void Swap(Reg x, Reg y) { Move(kT0, x), Move(x, y), Move(y, kT0); }
  virtual void MoveImm(Reg dst, std::int32_t v) = 0;
  virtual void AddImm(Reg dst, Reg src, std::int32_t v) = 0;  // dst = src + v
  virtual void Add(Reg dst, Reg src) = 0;                     // dst += src
  virtual void Sub(Reg dst, Reg src) = 0;                     // dst -= src
  // dst = src / 10, rounding toward zero; src is one of kA..kD.
  virtual void Quotient10(Reg dst, Reg src) = 0;
  // dst = src - 10 * q; dst is kT0 or kT1, src one of kA..kD.
  virtual void Remainder10(Reg dst, Reg src, Reg q) = 0;

  virtual void LoadCell(Reg dst, Reg index) = 0;
  virtual void StoreCell(Reg index, Reg value) = 0;
  virtual void PutByte(Reg r, int i) = 0;
  virtual void Count(int k) = 0;
  virtual void Call(Callout fn, Reg result) = 0;  // result: kNoReg if none

  // Emits the rare paths, patches every branch and writes the jump table:
  // entry[p] is the label whose code serves position p (0..700). False if
  // anything did not fit.
  virtual bool Finish(const int* entry) = 0;
  // Bytes of code written.
  virtual std::size_t Size() const = 0;

 protected:
  // Never destroyed through this interface: back ends live in static storage.
  ~Backend() = default;
};

// The back end this build has (CMake chooses its source), or nullptr.
Backend* TheBackend();

// A back end's one instance, in static storage, so that its notes and
// buffers stay off the stack: its source's TheBackend returns
// &instance_of<ItsClass>.
template <typename B>
B instance_of;

}  // namespace native
