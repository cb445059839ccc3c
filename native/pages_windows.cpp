// Pages for generated code, from the Windows memory calls.
#include <windows.h>

#include "native/pages.h"

namespace native {

void* MapCode(std::size_t size) {
  return VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

bool SealCode(void* code, std::size_t size) {
  DWORD old = 0;
  return VirtualProtect(code, size, PAGE_EXECUTE_READ, &old) != 0 &&
         FlushInstructionCache(GetCurrentProcess(), code, size) != 0;
}

// The code branches to its start itself, and has no budget.
int RunCode(void* code, int /*start*/, std::uint32_t /*budget*/) {
  return reinterpret_cast<int (*)()>(code)();
}

void RehearseCode(void* /*code*/, int /*start*/) {}

void UnmapCode(void* code, std::size_t /*size*/) {
  VirtualFree(code, 0, MEM_RELEASE);
}

}  // namespace native
