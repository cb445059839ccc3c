// The web page's console, under WebAssembly: standard input, output, keys and
// the pace of a run come from the page's JavaScript (Module.vek, set by
// web/playground.js or by a command-line driver under node). Between slices
// of a run the page is given back control, so it stays responsive.
#include <emscripten.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "console/console.h"
#include "console/platform.h"
#include "dialogue/dialogue.h"
#include "interpreter/machine.h"

// clang-format off
EM_JS(int, JsKeyboard, (), { return Module.vek.keyboard ? 1 : 0; });
EM_JS(int, JsKey, (), { return Module.vek.key(); });
EM_JS(int, JsKeyWaiting, (), { return Module.vek.keyWaiting() ? 1 : 0; });
EM_JS(int, JsRead, (char* buf, int cap), {
  const bytes = Module.vek.read(cap);
  HEAPU8.set(bytes, buf);
  return bytes.length;
});
EM_JS(void, JsWrite, (const char* buf, int len), {
  Module.vek.write(HEAPU8.slice(buf, buf + len));
});
EM_JS(void, JsWriteErr, (const char* text), { Module.vek.writeErr(UTF8ToString(text)); });
EM_JS(double, JsNextSlice, (int n, double taken), { return Module.vek.nextSlice(n, taken); });
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

bool KeyWaiting() {
  return JsKeyWaiting() != 0;
}

// The page answers with a step budget, 0 to end the run, or -1 - ms to be
// asked again after giving the page ms milliseconds.
std::uint64_t NextSlice(int n, std::uint64_t taken) {
  console::Flush();
  for (;;) {
    const double answer = JsNextSlice(n, static_cast<double>(taken));
    if (answer >= 0) return static_cast<std::uint64_t>(answer);
    emscripten_sleep(static_cast<unsigned>(-1 - answer));
    taken = 0;
  }
}

}  // namespace platform

// What the page calls: one whole dialogue, as a new process would run it,
// and the machine state to show.
extern "C" {
EMSCRIPTEN_KEEPALIVE void vek_run(int argc) {
  console::Reset();
  std::fill(std::begin(prog), std::end(prog), '\0');
  std::fill(std::begin(mem), std::end(mem), 0);
  tmp = 0;
  Dialogue(argc);
}
EMSCRIPTEN_KEEPALIVE std::int32_t vek_register(int i) {
  const std::int32_t regs[] = {a, b, c, d};
  return regs[i & 3];
}
EMSCRIPTEN_KEEPALIVE std::int32_t* vek_memory() {
  return mem;
}
EMSCRIPTEN_KEEPALIVE char* vek_program() {
  return prog;
}
}
