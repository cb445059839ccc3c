#include <cstring>

#include "console/console.h"
#include "console/flushing.h"
#include "console/platform.h"

namespace console {

void Flush() {
  const std::size_t n = out_len.load(std::memory_order_relaxed);
  if (n == 0) return;
  // While a write is under way a signal handler must not write the same bytes.
  flushing = 1;
  const bool ok = platform::WriteOut(out_buf, n);
  out_len.store(0, std::memory_order_relaxed);
  flushing = 0;
  if (!ok) platform::Abandon();
}

void PutText(const char* text) {
  std::size_t len = std::strlen(text);
  while (len > 0) {
    const std::size_t n = out_len.load(std::memory_order_relaxed);
    const std::size_t part = len < kOutSize - n ? len : kOutSize - n;
    std::memcpy(out_buf + n, text, part);
    std::atomic_signal_fence(std::memory_order_release);
    out_len.store(n + part, std::memory_order_relaxed);
    text += part;
    len -= part;
    if (n + part == kOutSize) Flush();
  }
  if (out_len.load(std::memory_order_relaxed) >= out_limit) Flush();
}

void PutLine(const char* text) {
  PutText(text);
  PutChar('\n');
}

}  // namespace console
