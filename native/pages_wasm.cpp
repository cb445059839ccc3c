// Code for the page: the bytes of a WebAssembly module, made into an
// instance that imports the interpreter module's memory and, by their index
// in its function table, the functions the code calls out to.
// Making it fails (and the run falls back) where the page's security policy
// forbids compiling WebAssembly at run time.
#include <emscripten.h>

#include <cstdint>

#include "native/pages.h"

// clang-format off
EM_JS(int, JsSealCode, (const void* code, int size), {
  try {
    const module = new WebAssembly.Module(HEAPU8.slice(code, code + size));
    const env = { memory: wasmMemory };
    for (const wanted of WebAssembly.Module.imports(module)) {
      if (wanted.kind == "function") env[wanted.name] = wasmTable.get(Number(wanted.name));
    }
    Module.vekCode = new WebAssembly.Instance(module, { env });
    return 1;
  } catch (e) {
    Module.vekCode = null;
    return 0;
  }
});
EM_JS(int, JsRunCode, (int start, int budget), {
  return Module.vekCode.exports.run(start, budget);
});
// clang-format on

namespace native {
namespace {
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

void UnmapCode(void* /*code*/, std::size_t /*size*/) {}

}  // namespace native
