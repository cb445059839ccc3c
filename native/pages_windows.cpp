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

void UnmapCode(void* code, std::size_t /*size*/) {
  VirtualFree(code, 0, MEM_RELEASE);
}

}  // namespace native
