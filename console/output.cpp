#include <cstring>

#include "console/console.h"
#include "console/platform.h"

namespace console {

void Flush() {
  const std::size_t n = out.len.load(std::memory_order_relaxed);
  if (n == 0) return;
  const bool ok = platform::WriteOut(out.buf, n, out.sent);
  // Emptied before sent goes back to 0: a signal handler in between sees
  // nothing left to deliver, never the same bytes twice.
  out.len.store(0, std::memory_order_relaxed);
  out.sent.store(0, std::memory_order_relaxed);
  if (!ok) platform::Abandon();
}

void PutText(const char* text) {
  std::size_t len = std::strlen(text);
  while (len > 0) {
    const std::size_t n = out.len.load(std::memory_order_relaxed);
    const std::size_t part = len < kOutSize - n ? len : kOutSize - n;
    std::memcpy(out.buf + n, text, part);
    std::atomic_signal_fence(std::memory_order_release);
    out.len.store(n + part, std::memory_order_relaxed);
    text += part;
    len -= part;
    if (n + part == kOutSize) Flush();
  }
  if (out.len.load(std::memory_order_relaxed) >= out_limit) Flush();
}

void PutLine(const char* text) {
  PutText(text);
  PutChar('\n');
}

}  // namespace console
