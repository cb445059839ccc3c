// What the back ends that write machine code into pages share: the code
// buffer of their instruction forms (Asm), the notes to patch once every
// label has its place, storing and loading a..d, and the end of the code,
// the rare paths and the jump table after it. Each says in its own
// instructions how one register goes to its word and back, how to jump, how
// to patch a branch and how to pad.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "native/backend.h"
#include "native/notes.h"

namespace native {

// What a back end with registers enough keeps in them for the whole run,
// besides a..d.
template <typename Reg>
struct Kept {
  Reg mem;     // mem
  Reg out;     // the output buffer
  Reg len;     // the output count
  Reg table;   // the jump table
  Reg len_at;  // the count's word
  Reg limit;   // the count at which the buffer is flushed

  // What the code puts in them on entry, in this order; the table's base is
  // the code's own, and the count is loaded from its word.
  std::array<std::pair<Reg, std::uintptr_t>, 4> OnEntry(const World& world) const {
    const auto address = [](const void* p) { return reinterpret_cast<std::uintptr_t>(p); };
    return {{{mem, address(world.mem)},
             {out, address(world.out)},
             {len_at, address(world.len)},
             {limit, world.limit}}};
  }
};

template <typename Asm>
class MachineBackend : public Backend {
 public:
  void Reset(std::uint8_t* code, std::size_t cap, const World& world) final {
    as_.Reset(code, cap);
    notes_.Clear();
    world_ = world;
    out_of_reach_ = false;
  }

  void Place(int label) final { notes_.Place(label, as_.Here()); }
  std::size_t Size() const final { return as_.Here(); }
  void Branch(int label) final { notes_.Branch(Jump(), label); }

  void StoreMachine() final {
    for (int r = kA; r <= kD; ++r) StoreWord(static_cast<Reg>(r), world_.regs[r]);
  }
  void LoadMachine() final {
    for (int r = kA; r <= kD; ++r) LoadWord(static_cast<Reg>(r), world_.regs[r]);
  }

  bool Finish(const int* entry) final {
    for (const Notes::Stub& s : notes_.Stubs()) {  // flushes, out of line
      Patch(s.from, as_.Here());
      Call(world_.flush, kNoReg);
      Patch(Jump(), s.back);
    }
    while (as_.Here() % 8 != 0) Pad();
    const std::size_t table = as_.Here();
    bool placed = true;
    const auto at = [&](int label) -> std::size_t {
      if (notes_.Placed(label)) return notes_.At(label);
      placed = false;
      return 0;
    };
    for (int p = 0; p <= kEndPos; ++p) as_.Address(at(entry[p]));
    for (const Notes::Fix& f : notes_.Fixes()) Patch(f.at, at(f.label));
    return placed && PatchTable(table) && as_.Fits() && !notes_.Full() && !out_of_reach_;
  }

 protected:
  ~MachineBackend() = default;

  // One of a..d to its word in the machine state, and back.
  virtual void StoreWord(Reg r, std::int32_t* word) = 0;
  virtual void LoadWord(Reg r, const std::int32_t* word) = 0;
  // An unconditional branch, to be patched: returns where it is, as Patch takes it.
  virtual std::size_t Jump() = 0;
  // Points the branch noted at `at` to offset `target`; sets out_of_reach_
  // where it cannot reach.
  virtual void Patch(std::size_t at, std::size_t target) = 0;
  // One instruction that traps, to align the table.
  virtual void Pad() = 0;
  // Points the code's references to the jump table at it; false if they overflowed.
  virtual bool PatchTable(std::size_t table) = 0;

  Asm as_;
  Notes notes_;
  World world_{};
  bool out_of_reach_ = false;
};

}  // namespace native
