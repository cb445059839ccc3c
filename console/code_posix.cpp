// Pages for generated code, from the POSIX memory calls.
#include <sys/mman.h>

#include <cerrno>

#include "console/platform.h"

namespace platform {

void* CodeMap(std::size_t size) {
  void* code = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return code == MAP_FAILED ? nullptr : code;
}

bool CodeSeal(void* code, std::size_t size) {
#if defined(VEK_REFUSE_EXEC_MEMORY)  // a test build, as on a system that forbids it
  errno = EACCES;
  return (void)code, (void)size, false;
#else
  return mprotect(code, size, PROT_READ | PROT_EXEC) == 0;
#endif
}

void CodeUnmap(void* code, std::size_t size) {
  munmap(code, size);
}

}  // namespace platform
