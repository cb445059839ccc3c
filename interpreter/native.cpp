// Native code: the plan (decode.h) compiled once per run by the build's back
// end (emitter.h) into fresh pages, which are sealed read+execute (never
// writable and executable at once), run, and unmapped. The straight path
// follows each operation's successor from position 0 to 700; a position off
// it (a jump into the middle of a run, a no-op in front of an instruction)
// gets a small entry of its own out of line, or shares an identical one.
#include "interpreter/native.h"

#include <algorithm>
#include <iterator>

#include "console/console.h"
#include "console/platform.h"
#include "interpreter/decode.h"
#include "interpreter/emitter.h"
#include "interpreter/machine.h"

namespace native {

std::int32_t CallKey() {
  return console::ReadKey();
}
void CallFlush() {
  console::Flush();
}
void CallNull() {
  console::PutLine("NULL");
}
void CallStop() {
  console::PutLine("STOP");
}

}  // namespace native

namespace {

using native::Emitter;

// Far more than any program text needs (about 100 bytes per position at most).
constexpr std::size_t kCodeCap = 1 << 17;

Op ops[kProgSize + 1];
std::size_t at[native::kLabels];  // each label's offset in the code
int alias[kProgSize + 1];         // a position whose entry is that of another, or -1

// The operation's code; true if it goes on at op.next.
bool Emit(Emitter& e, const Op& op) {
  switch (op.code) {
    case kIncA: e.Add(1, 0); break;  // runs are folded into kAdd: kept for completeness
    case kIncB: e.Add(0, 1); break;
    case kDecA: e.Add(-1, 0); break;
    case kDecB: e.Add(0, -1); break;
    case kCopyAB: e.CopyAB(); break;
    case kCopyCD: e.CopyCD(); break;
    case kDup: e.Dup(); break;
    case kSwapAB: e.SwapAB(); break;
    case kSwapCD: e.SwapCD(); break;
    case kPutA: e.PutA(); break;
    case kKeyA: e.KeyA(); break;
    case kPutB: e.PutB(); break;
    case kKeyB: e.KeyB(); break;
    case kSplit: e.Split(); break;
    case kNull: e.Null(); break;
    case kClearA: e.SetA(op.x), e.Add(0, op.y); return true;
    case kStore: e.Store(); break;
    case kLoad: e.Load(); break;
    case kAddB: e.AddB(); break;
    case kSubB: e.SubB(); break;
    case kAdd: break;
    case kMoveBA: e.MoveBA(); break;
    case kCopySplit: e.CopyAB(), e.Split(); break;
    case kJump: e.Jump(); return false;
    case kJumpIfEqual: e.JumpIfEqual(); return true;
    case kCopyJumpIfEqual: e.CopyAB(), e.JumpIfEqual(); return true;
    case kSetJump: e.SetA(op.x), e.Add(0, op.y), e.JumpTo(op.alt); return false;
    case kSetJumpIfEqual: e.SetA(op.x), e.Add(0, op.y), e.JumpIfEqualTo(op.alt); return true;
    case kStop: e.Stop(); return false;
    case kEnd: e.Goto(native::kExit); return false;
  }
  e.Add(op.x, op.y);  // what the operation absorbed from the run after it
  return true;
}

bool Same(const Op& x, const Op& y) {
  return x.code == y.code && x.next == y.next && x.alt == y.alt && x.x == y.x && x.y == y.y;
}

void Compile(Emitter& e) {
  e.Enter();
  std::fill(std::begin(alias), std::end(alias), -2);  // -2: not placed yet
  for (int p = 0; p != kEndPos; p = ops[p].next) {
    at[p] = e.Here(), alias[p] = -1;
    Emit(e, ops[p]);
  }
  at[kEndPos] = at[native::kExit] = e.Here(), alias[kEndPos] = -1;
  e.Exit();
  for (int p = 1; p < kEndPos; ++p) {
    if (alias[p] != -2) continue;
    const Op& op = ops[p];
    if (Same(op, ops[p - 1])) {
      alias[p] = p - 1;
    } else if (op.code == kAdd && op.x == 0 && op.y == 0) {
      alias[p] = op.next;
    } else {
      at[p] = e.Here(), alias[p] = -1;
      if (Emit(e, op)) e.Goto(op.next);
    }
  }
  // Aliases point back to an earlier position or on to an operation's
  // successor, never in a circle; halving the paths keeps long runs of
  // no-ops linear.
  for (int p = 0; p <= kEndPos; ++p) {
    int q = p;
    while (alias[q] >= 0) {
      if (alias[alias[q]] >= 0) alias[q] = alias[alias[q]];
      q = alias[q];
    }
    at[p] = at[q];
  }
}

}  // namespace

bool ExecVekNative(int n) {
  Emitter* e = native::Backend();
  if (e == nullptr) return false;
  if (n < 0 || n > kEndPos) return true;
  // Pages never touched take no memory.
  auto* code = static_cast<std::uint8_t*>(platform::CodeMap(kCodeCap));
  if (code == nullptr) return false;
  Decode(prog, ops);
  e->Reset(code, kCodeCap);
  Compile(*e);
  bool ok = e->Finish(at);
#if defined(__GNUC__)
  if (ok)
    __builtin___clear_cache(reinterpret_cast<char*>(code),
                            reinterpret_cast<char*>(code + kCodeCap));
#endif
  ok = ok && platform::CodeSeal(code, kCodeCap);
  if (ok) {
    using Entry = void (*)(const void* start);
    reinterpret_cast<Entry>(code)(code + at[n]);
  }
  platform::CodeUnmap(code, kCodeCap);
  return ok;
}

#if !defined(VEK_NATIVE_X86_64) && !defined(VEK_NATIVE_I686) && !defined(VEK_NATIVE_AARCH64)
native::Emitter* native::Backend() {
  return nullptr;
}
#endif
