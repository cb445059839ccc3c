// The playground's WebAssembly module: the whole dialogue as a new process
// runs it, with the run in slices between which the page takes control
// (Module.vek.nextSlice, from web/run.js or a driver under node), and what the
// page's debugger needs: the machine to show and set, breakpoints, and a
// counting loop for watchpoints, time travel and the heat map.
#include <emscripten.h>

#include <cstdint>

#include "console/console.h"
#include "dialogue/dialogue.h"
#include "interpreter/limits.h"
#include "interpreter/loops.h"
#include "interpreter/machine.h"

// clang-format off
EM_JS(double, JsNextSlice, (int n, double taken), { return Module.vek.nextSlice(n, taken); });
EM_ASYNC_JS(void, JsWait, (), { await Module.vek.wait(); });
EM_JS(int, JsKeyWaiting, (), { return Module.vek.keyWaiting() ? 1 : 0; });
// clang-format on

namespace {

bool walls[kProgSize + 1];      // breakpoints, by position
bool walled = false;            // some are set: the fast loop looks for them
std::uint32_t heat[kProgSize];  // steps run at each position
std::int32_t watches[16];       // 0..3: a..d; 4 + i: mem[i]
int watch_count = 0;
int position = 0;         // where the sliced run goes on
int trace_at = -1;        // where the last counted run stopped
bool traced = false;      // the next slices run the counting loop
std::int32_t before[16];  // the watched values when the counting loop started

bool KeyWaiting() {
  return JsKeyWaiting() != 0;
}

std::int32_t Watched(std::int32_t w) {
  const std::int32_t regs[] = {a, b, c, d};
  return w < 4 ? regs[w] : mem[w - 4];
}

// Before each step of the counting loop but the first: whether every watched
// value is still what it was when the loop started.
bool Unchanged() {
  for (int i = 0; i < watch_count; ++i) {
    if (Watched(watches[i]) != before[i]) return false;
  }
  return true;
}

// The reference loop's steps with every position counted in heat; with
// `watching`, it stops after a step that changes a watched value, and with
// `breaking`, before a breakpoint other than the one it starts at. Like the
// bounded loops, it stops before a key read while no key is waiting.
std::uint64_t Trace(int n, std::uint64_t max, bool watching, bool breaking) {
  for (int i = 0; i < watch_count; ++i) before[i] = Watched(watches[i]);
  Limits limits{.steps = max,
                .breakpoints = breaking ? walls : nullptr,
                .key_waiting = KeyWaiting,
                .counts = heat,
                .go_on = watching && watch_count > 0 ? Unchanged : nullptr};
  trace_at = ExecVekReference(n, limits);
  return max - limits.steps;
}

}  // namespace

// The page answers between slices with a step budget, 0 to end the run, or
// -1 to wait for Module.vek.wait() (a frame, a key, the end of a pause) and
// ask again. It may move the run (vek_seek) while it waits.
void ExecVek(int n) {
  position = n;
  double taken = 0;
  for (;;) {
    console::Flush();
    const double answer = JsNextSlice(position, taken);
    taken = 0;
    if (answer < 0) {
      JsWait();
      continue;
    }
    if (answer == 0) break;
    const auto budget = static_cast<std::uint64_t>(answer);
    if (traced) {
      taken = static_cast<double>(Trace(position, budget, true, true));
      position = trace_at;
    } else {
      Limits limits{
          .steps = budget, .breakpoints = walled ? walls : nullptr, .key_waiting = KeyWaiting};
      position = ExecVekFast(position, limits);
      taken = static_cast<double>(budget - limits.steps);
    }
  }
  console::Flush();
}

extern "C" {
// One whole dialogue in a fresh machine, as a new process would run it.
EMSCRIPTEN_KEEPALIVE void vek_run(int argc) {
  ResetMachine();
  console::Reset();
  Dialogue(argc);
}
// Registers a..d and tmp (4).
EMSCRIPTEN_KEEPALIVE std::int32_t vek_register(int i) {
  const std::int32_t regs[] = {a, b, c, d, tmp};
  return regs[i % 5];
}
EMSCRIPTEN_KEEPALIVE void vek_set_register(int i, std::int32_t value) {
  std::int32_t* regs[] = {&a, &b, &c, &d, &tmp};
  *regs[i % 5] = value;
}
EMSCRIPTEN_KEEPALIVE std::int32_t* vek_memory() {
  return mem;
}
// Breakpoints: set them at vek_walls(), then say whether any is set.
EMSCRIPTEN_KEEPALIVE bool* vek_walls() {
  return walls;
}
EMSCRIPTEN_KEEPALIVE void vek_walled(bool any) {
  walled = any;
}
EMSCRIPTEN_KEEPALIVE std::uint32_t* vek_heat() {
  return heat;
}
// Sets what pauses the sliced run: `count` watched values (listed at
// vek_watches()), and whether slices run the counting loop for them.
EMSCRIPTEN_KEEPALIVE std::int32_t* vek_watches() {
  return watches;
}
EMSCRIPTEN_KEEPALIVE void vek_watch(int count) {
  watch_count = count < 0 ? 0 : count > 16 ? 16 : count;
  traced = watch_count > 0;
}
// Moves the waiting sliced run to position n.
EMSCRIPTEN_KEEPALIVE void vek_seek(int n) {
  position = n;
}
// Runs at most max steps from n with the counting loop, its output
// delivered; returns the steps taken. vek_traced_to() says where it stopped.
EMSCRIPTEN_KEEPALIVE double vek_trace(int n, double max) {
  const std::uint64_t taken = Trace(n, static_cast<std::uint64_t>(max), false, false);
  console::Flush();
  return static_cast<double>(taken);
}
EMSCRIPTEN_KEEPALIVE int vek_traced_to() {
  return trace_at;
}
}
