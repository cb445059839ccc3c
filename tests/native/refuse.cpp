// vek_refused: the product linked with mprotect wrapped (-Wl,--wrap=mprotect),
// so that making pages executable is refused, as SELinux's deny_execmem and
// hardened kernels do: the fallback must then run every case.
#include <sys/mman.h>

#include <cerrno>
#include <cstddef>

// The linker's names for the wrapped call and the original.
// NOLINTBEGIN(bugprone-reserved-identifier)
extern "C" {
int __real_mprotect(void* addr, std::size_t len, int prot);

int __wrap_mprotect(void* addr, std::size_t len, int prot) {
  if ((prot & PROT_EXEC) != 0) {
    errno = EACCES;
    return -1;
  }
  return __real_mprotect(addr, len, prot);
}
}
// NOLINTEND(bugprone-reserved-identifier)
