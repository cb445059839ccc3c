// Code for the page: the bytes of a WebAssembly module, made into an
// instance that imports the interpreter module's memory and, by their index
// in its function table, the functions the code calls out to.
// Making it fails (and the run falls back) where the page's security policy
// forbids compiling WebAssembly at run time.
// The last few instances made are kept with their bytes: the same bytes
// again (the warm-up's, then the Run's; a program run again) take the same
// instance, whose code the engine may have optimised already. The engine
// optimises code once it has run a while, and a rehearsal gives it that
// while: the newest module runs in an instance of its own, over a fresh
// memory of the same size (zeroed, as the machine starts), with call-outs
// that do nothing, for a few milliseconds or until it traps (output past
// the memory's end may).
#include <emscripten.h>

#include <cstdint>

#include "native/pages.h"
#include "native/slice.h"

// clang-format off
EM_JS(int, JsSealCode, (const void* code, int size), {
  const kKept = 4;
  const bytes = HEAPU8.slice(code, code + size);
  const kept = Module.vekKept = Module.vekKept || [];
  const at = kept.findIndex((k) => k.bytes.length == size && k.bytes.every((x, i) => x == bytes[i]));
  try {
    let made = at >= 0 ? kept.splice(at, 1)[0] : null;
    if (made == null) {
      const module = new WebAssembly.Module(bytes);
      const env = { memory: wasmMemory };
      for (const wanted of WebAssembly.Module.imports(module)) {
        if (wanted.kind == "function") env[wanted.name] = wasmTable.get(Number(wanted.name));
      }
      made = { bytes, module, instance: new WebAssembly.Instance(module, { env }) };
    }
    kept.unshift(made);
    kept.length = Math.min(kept.length, kKept);
    Module.vekCode = made.instance;
    return 1;
  } catch (e) {
    Module.vekCode = null;
    return 0;
  }
});
EM_JS(int, JsRunCode, (int start, int budget), {
  return Module.vekCode.exports.run(start, budget);
});
EM_JS(void, JsRehearse, (int start, int out_of_budget, int ms), {
  const made = (Module.vekKept || [])[0];
  if (!made) return;
  try {
    const env = { memory: new WebAssembly.Memory({ initial: wasmMemory.buffer.byteLength >> 16 }) };
    for (const wanted of WebAssembly.Module.imports(made.module)) {
      if (wanted.kind == "function") env[wanted.name] = () => 0;
    }
    const run = new WebAssembly.Instance(made.module, { env }).exports.run;
    const until = performance.now() + ms;
    let at = run(start, 1 << 16);
    while ((at & out_of_budget) && performance.now() < until) at = run(at & ~out_of_budget, 1 << 16);
  } catch (e) {
  }
});
// clang-format on

namespace native {
namespace {
constexpr int kRehearseMs = 10;  // enough for the engine to optimise the code
alignas(16) std::uint8_t buffer[1 << 17];
}  // namespace

void* MapCode(std::size_t size) {
  return size <= sizeof buffer ? buffer : nullptr;
}

bool SealCode(void* code, std::size_t size) {
  return JsSealCode(code, static_cast<int>(size)) != 0;
}

int RunCode(void* /*code*/, int start, std::uint32_t budget) {
  return JsRunCode(start, static_cast<int>(budget));
}

void RehearseCode(void* /*code*/, int start) {
  JsRehearse(start, kOutOfBudgetBit, kRehearseMs);
}

void UnmapCode(void* /*code*/, std::size_t /*size*/) {}

}  // namespace native
