// Native code: prog compiled to x86-64 once per run, in one pass. a, b, c, d
// live in callee-saved machine registers, so calls out keep them; every
// position 0..700 has an entry in a 701-entry jump table for computed jumps.
// Runs of ! < * ) and no-ops become one addition per register; a jump into
// the middle of a run lands on a stub, off the straight path, that adds the
// rest of the run. The code touches only its own pages, mem, the output
// buffer and its count, and is never writable and executable at once.
#include "interpreter/native.h"

#if defined(__x86_64__) || defined(_M_X64)

#include <algorithm>
#include <cstring>
#include <span>

#include "console/console.h"
#include "console/platform.h"
#include "interpreter/decode.h"
#include "interpreter/instructions.h"
#include "interpreter/machine.h"
#include "interpreter/x64.h"
#if defined(VEK_STEP_BOUND)
#include "interpreter/bound.h"
#endif

namespace {

using namespace x64;  // NOLINT(google-build-using-namespace)

constexpr Reg A = RBX, B = R12, C = R13, D = R14, MEM = R15, OUT = RBP;
constexpr int kExit = kEndPos + 1;  // label of the way out
constexpr std::int32_t kLastCell = kMemCells - 1;

// Calls out: no arguments, the platform's own calling convention.
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

const std::uint8_t* entry = nullptr;  // where a run starts

bool Folds(char ch) {  // an addition or a no-op
  return AddsToA(ch) != 0 || AddsToB(ch) != 0 || !IsInstruction(ch);
}

// Bounds that no program text reaches: at most about 130 bytes of code and
// four fixes per position.
constexpr std::size_t kCodeCap = 1 << 17;
constexpr int kFixCap = 4 * (kEndPos + 1);

struct Compiler {
  Asm as;
  std::size_t at[kExit + 1] = {};  // each position's entry, and the way out
  int alias[kProgSize] = {};       // a position whose entry is that of another
  struct Fix {
    std::uint32_t end;
    int label;
  };
  Fix fixes[kFixCap] = {};  // rel32 jumps to a label
  int n_fixes = 0;
  std::size_t tables[kProgSize] = {};  // rel32 of the jump table's address
  int n_tables = 0;
  struct Stub {
    int pos;
    std::int32_t x, y;
    int then;  // < 0: the entry of =
  };
  Stub stubs[kProgSize] = {};
  int n_stubs = 0;

  void To(int label) {
    if (n_fixes < kFixCap) fixes[n_fixes++] = {static_cast<std::uint32_t>(as.Here()), label};
  }
  void JumpTo(int label) { as.Jmp(), To(label); }
  void JumpIf(Cond cc, int label) { as.Jcc(cc), To(label); }
  std::size_t Skip(Cond cc) {
    return as.Bytes({static_cast<std::uint8_t>(0x70 | cc), 0}), as.Here();
  }
  void Land(std::size_t from) { as.code[from - 1] = static_cast<std::uint8_t>(as.Here() - from); }
  void Call(const void* fn) { as.MovAbs(RAX, fn), as.Bytes({0xFF, 0xD0}); }

  void Count() {  // test builds: stop instead of the jump past the budget
#if defined(VEK_STEP_BOUND)
    as.MovAbs(RAX, &jump_budget);
    as.RM({0x83}, 5, RAX, kNoIndex, 0, true), as.Byte(1);  // sub qword [rax], 1
    JumpIf(kBelow, kExit);
#endif
  }
  void ComputedJump() {  // to position a: outside 0..700 ends the run
    as.CmpImm(A, kEndPos);
    JumpIf(kAbove, kExit);
    Count();
    as.Bytes({0x48, 0x8D, 0x05}), as.Imm<std::int32_t>(0), tables[n_tables++] = as.Here();
    as.RM({0xFF}, 4, RAX, A, 3);  // jmp [rax + a * 8]
  }
  void Add(std::int32_t x, std::int32_t y) {
    if (x != 0) as.AddImm(A, x);
    if (y != 0) as.AddImm(B, y);
  }
  // The low 8 bits of r into the output buffer; its count is stored after
  // the byte, so a signal handler never writes out a byte not yet there.
  void Put(Reg r) {
    as.MovAbs(RCX, &console::out.len);
    as.RM({0x8B}, RAX, RCX, kNoIndex, 0, true);  // mov rax, [rcx]
    as.RM({0x88}, r, OUT, RAX);                  // mov [out + rax], r8
    as.Bytes({0x48, 0xFF, 0xC0});                // inc rax
    as.RM({0x89}, RAX, RCX, kNoIndex, 0, true);  // mov [rcx], rax
    as.Bytes({0x48, 0x3D}), as.Imm(static_cast<std::int32_t>(console::out_limit));
    const std::size_t full = Skip(kBelow);
    Call(reinterpret_cast<const void*>(&CallFlush));
    Land(full);
  }
  void DivideByTen(Reg r) {     // eax = r / 10, truncated: multiply and shift, no trap
    as.RR(0x63, RAX, r, true);  // movsxd rax, r
    as.RR(0x69, RAX, RAX, true), as.Imm<std::int32_t>(0x66666667);  // imul rax, rax, m
    as.Sar(RAX, 34, true);
    as.Mov32(RDX, r);
    as.Sar(RDX, 31, false);
    as.Sub32(RAX, RDX);  // rounds toward zero for negative r
  }

  // One instruction, as it runs when the run gets to it.
  void Instruction(char ch) {
    switch (ch) {
      case '@': as.Mov32(C, A), as.Mov32(D, B); break;
      case '&': as.Mov32(A, C), as.Mov32(B, D); break;
      case '%': as.Mov32(B, A), as.Mov32(D, C); break;
      case '{': as.Xchg32(A, B); break;
      case '}': as.Xchg32(C, D); break;
      case '.': Put(A); break;
      case ':': Put(B); break;
      case ',': Call(reinterpret_cast<const void*>(&CallKey)), as.Mov32(A, RAX); break;
      case ';': Call(reinterpret_cast<const void*>(&CallKey)), as.Mov32(B, RAX); break;
      case 'N': Call(reinterpret_cast<const void*>(&CallNull)); break;
      case '-': as.Add32(A, B); break;  // '-' adds
      case '+': as.Sub32(A, B); break;  // '+' subtracts
      case '#': {                       // mod = c rem 10; b = mod + 48; a = (a - mod) / 10 + 48
        DivideByTen(C);
        as.RM({0x8D}, RAX, RAX, RAX, 2);  // lea eax, [rax + rax * 4]
        as.Add32(RAX, RAX);
        as.Mov32(RCX, C), as.Sub32(RCX, RAX);
        as.Mov32(B, RCX), as.AddImm(B, '0');
        as.Sub32(A, RCX);
        DivideByTen(A);
        as.Mov32(A, RAX), as.AddImm(A, '0');
        break;
      }
      case '(': {  // cells outside 0..1024 are never touched
        as.CmpImm(A, kLastCell);
        const std::size_t out = Skip(kAbove);
        as.RM({0x89}, D, MEM, A, 2);  // mov [mem + a * 4], d
        Land(out);
        break;
      }
      case '>': {
        as.Xor32(RAX, RAX), as.CmpImm(A, kLastCell);
        const std::size_t out = Skip(kAbove);
        as.RM({0x8B}, RAX, MEM, A, 2);  // mov eax, [mem + a * 4]
        Land(out);
        as.Mov32(D, RAX);
        break;
      }
      case '?': ComputedJump(); break;
      case '=': {
        as.Cmp32(C, D);
        const std::size_t differ = Skip(kNotEqual);
        ComputedJump();
        Land(differ);
        break;
      }
      case '^': Call(reinterpret_cast<const void*>(&CallStop)), JumpTo(kExit); break;
      default: break;
    }
  }

  // Positions p.. that $ and additions make one step of the straight path;
  // returns where the path goes on.
  int Run(const char* text, int p) {
    const bool clear = text[p] == '$';
    int q = p + (clear ? 1 : 0);
    while (q < kEndPos && Folds(text[q])) ++q;
    std::int32_t x = 0, y = 0;  // what the rest of the run adds, from its end back
    for (int i = q - 1; i >= p + (clear ? 1 : 0); --i) {
      x = WrapAdd(x, AddsToA(text[i]));
      y = WrapAdd(y, AddsToB(text[i]));
      if (i == p) break;
      if (x == 0 && y == 0) {
        alias[i] = q;
      } else {
        stubs[n_stubs++] = {i, x, y, q};
      }
    }
    at[p] = as.Here();
    if (!clear) {
      Add(x, y);
      return q;
    }
    as.MovImm(A, x), Add(0, y);
    if (q == kEndPos || (text[q] != '?' && text[q] != '=')) return q;
    // a is known here, so is the target: the position's own entry is general.
    if (text[q] == '?') {
      Count(), JumpTo(Target(x));
      at[q] = as.Here();
      ComputedJump();
    } else {
      as.Cmp32(C, D);
      const std::size_t differ = Skip(kNotEqual);
      Count(), JumpTo(Target(x));
      Land(differ);
      stubs[n_stubs++] = {q, 0, 0, -1};
    }
    return q + 1;
  }

  void Compile(const char* text) {
    std::fill(std::begin(alias), std::end(alias), -1);
    for (const Reg r : {RBX, RBP, R12, R13, R14, R15}) as.Push(r);
    as.Bytes({0x48, 0x83, 0xEC, 0x28});  // sub rsp, 40: aligned, and room for calls out
    for (const auto& [r, v] : {std::pair{A, &a}, {B, &b}, {C, &c}, {D, &d}}) {
      as.MovAbs(RAX, v), as.Load32(r, RAX);
    }
    as.MovAbs(MEM, mem), as.MovAbs(OUT, console::out.buf);
    as.MovAbs(RAX, &entry), as.RM({0xFF}, 4, RAX);  // jmp [entry]
    for (int p = 0; p < kEndPos;) {
      if (text[p] == '$' || Folds(text[p])) {
        p = Run(text, p);
      } else {
        at[p] = as.Here();
        Instruction(text[p++]);
      }
    }
    at[kEndPos] = at[kExit] = as.Here();
    for (const auto& [r, v] : {std::pair{A, &a}, {B, &b}, {C, &c}, {D, &d}}) {
      as.MovAbs(RAX, v), as.Store32(RAX, r);
    }
    as.Bytes({0x48, 0x83, 0xC4, 0x28});
    for (const Reg r : {R15, R14, R13, R12, RBP, RBX}) as.Pop(r);
    as.Byte(0xC3);
    for (const Stub& s : std::span(stubs, n_stubs)) {
      at[s.pos] = as.Here();
      if (s.then < 0) {  // = entered by a jump: a is not known
        as.Cmp32(C, D);
        JumpIf(kNotEqual, s.pos + 1);
        ComputedJump();
      } else {
        Add(s.x, s.y);
        JumpTo(s.then);
      }
    }
    for (int p = 0; p < kEndPos; ++p) {
      if (alias[p] >= 0) at[p] = at[alias[p]];
    }
    for (const Fix& f : std::span(fixes, n_fixes)) as.Patch(f.end, at[f.label]);
    while (as.Here() % 8 != 0) as.Byte(0xCC);
    for (const std::size_t t : std::span(tables, n_tables)) as.Patch(t, as.Here());
    for (int p = 0; p <= kEndPos; ++p) {
      as.Imm(reinterpret_cast<std::uint64_t>(as.code + at[p]));  // the jump table
    }
  }
};

}  // namespace

bool ExecVekNative(int n) {
  if (n < 0 || n > kEndPos) return true;
  static Compiler k;  // its arrays stay off the stack, and only what is used is touched
  k.as = Asm{};
  k.n_fixes = k.n_tables = k.n_stubs = 0;
  // Pages never touched take no memory.
  k.as.code = static_cast<std::uint8_t*>(platform::CodeMap(kCodeCap));
  if (k.as.code == nullptr) return false;
  k.as.cap = kCodeCap;
  k.Compile(prog);
  const bool ok = k.as.Fits() && k.n_fixes < kFixCap && platform::CodeSeal(k.as.code, kCodeCap);
  if (ok) {
    entry = k.as.code + k.at[n];
    reinterpret_cast<void (*)()>(k.as.code)();
  }
  platform::CodeUnmap(k.as.code, kCodeCap);
  return ok;
}

#else

bool ExecVekNative(int /*n*/) {
  return false;
}

#endif
