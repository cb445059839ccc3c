// The web page's console, under WebAssembly: standard input, output and keys
// come from the page's JavaScript (Module.vek, set by web/run.js or by a
// command-line driver under node).
#include <emscripten.h>

#include <cstdlib>

#include "console/platform.h"

// clang-format off
EM_JS(int, JsKeyboard, (), { return Module.vek.keyboard ? 1 : 0; });
EM_JS(int, JsKey, (), { return Module.vek.key(); });
EM_JS(int, JsRead, (char* buf, int cap), {
  const bytes = Module.vek.read(cap);
  HEAPU8.set(bytes, buf);
  return bytes.length;
});
// A view of the buffer, not a copy: the host keeps what it needs of it.
EM_JS(void, JsWrite, (const char* buf, int len), {
  Module.vek.write(HEAPU8.subarray(buf, buf + len));
});
EM_JS(void, JsWriteErr, (const char* text), { Module.vek.writeErr(UTF8ToString(text)); });
// clang-format on

namespace platform {

bool Open() {
  return false;  // output is buffered, and written out between slices
}
bool HasKeyboard() {
  return JsKeyboard() != 0;
}
void StartKeys() {}
int ReadKeyboard() {
  return JsKey();
}
std::size_t ReadIn(char* buf, std::size_t cap) {
  return static_cast<std::size_t>(JsRead(buf, static_cast<int>(cap)));
}
bool WriteOut(const char* buf, std::size_t len, std::atomic<std::size_t>& sent) {
  const std::size_t from = sent.load(std::memory_order_relaxed);
  JsWrite(buf + from, static_cast<int>(len - from));
  sent.store(len, std::memory_order_relaxed);
  return true;
}
void WriteErr(const char* text) {
  JsWriteErr(text);
}
void Close() {}
void Abandon() {
  std::abort();
}

}  // namespace platform
