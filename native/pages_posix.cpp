// Pages for generated code, from the POSIX memory calls.
#include <sys/mman.h>

#include "native/pages.h"

namespace native {

void* MapCode(std::size_t size) {
  void* code = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return code == MAP_FAILED ? nullptr : code;
}

bool SealCode(void* code, std::size_t size) {
  auto* start = static_cast<char*>(code);
  __builtin___clear_cache(start, start + size);
  return mprotect(code, size, PROT_READ | PROT_EXEC) == 0;
}

// The code branches to its start itself, and has no budget.
int RunCode(void* code, int /*start*/, std::uint32_t /*budget*/) {
  return reinterpret_cast<int (*)()>(code)();
}

void RehearseCode(void* /*code*/, int /*start*/) {}

void UnmapCode(void* code, std::size_t size) {
  munmap(code, size);
}

}  // namespace native
