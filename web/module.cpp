// The playground's WebAssembly module: the whole dialogue as a new process
// runs it, with the run in slices between which the page takes control
// (Module.vek.nextSlice: the host contract is in web/host.js), and what the
// page's debugger needs: the machine's sizes, the machine to show and set,
// breakpoints, and a counting loop for watches, time travel and the heat map.
#include <emscripten.h>

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "console/console.h"
#include "dialogue/dialogue.h"
#include "interpreter/limits.h"
#include "interpreter/loops.h"
#include "interpreter/machine.h"
#include "native/slice.h"

// clang-format off
EM_JS(double, JsNextSlice, (int n, double taken), { return Module.vek.nextSlice(n, taken); });
EM_ASYNC_JS(void, JsWait, (), { await Module.vek.wait(); });
EM_JS(int, JsKeyWaiting, (), { return Module.vek.keyWaiting() ? 1 : 0; });
// clang-format on

namespace {

constexpr int kWatchLimit = 16;

std::int32_t KeyWaiting(void* /*context*/) {
  return JsKeyWaiting();
}

std::int32_t Watched(std::int32_t w) {
  const std::int32_t regs[] = {a, b, c, d};
  return w < 4 ? regs[w] : mem[w - 4];
}

// What the page's debugger sets between slices, and the sliced run it
// steers: the page's turns (ExecVek) and its calls (vek_*) share it.
class Playground {
 public:
  bool breakpoints[kProgSize + 1] = {};    // by position
  bool any_breakpoints = false;            // the fast loop looks for them
  std::uint32_t heat[kProgSize] = {};      // steps run at each position
  std::int32_t watches[kWatchLimit] = {};  // 0..3: a..d; 4 + i: mem[i] (as web/watches.js)
  int watch_count = 0;
  bool counting = false;           // the next slices run the counting loop
  int position = 0;                // where the sliced run goes on
  int counted_at = -1;             // where the counting loop last stopped
  int runs = 0;                    // dialogues that ran a program
  int compiled_runs = 0;           // of them, those with a slice of compiled code
  bool compiling_refused = false;  // by the page's policy: not tried again

  // The page answers between slices with a step budget, 0 to end the run,
  // or -1 to wait for Module.vek.wait() (a frame, a key, the end of a pause)
  // and ask again. It may move the run (vek_seek) while it waits.
  void Run(int n) {
    running_ = true;
    position = n;
    compiled_good_ = false;
    compile_failed_ = false;
    bool ran_compiled = false;
    ++runs;
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
      if (!counting && !any_breakpoints && budget > 1 && CompiledSlice(budget, taken)) {
        ran_compiled = true;
        continue;
      }
      Moved();  // another loop moves the run
      if (counting) {
        taken = static_cast<double>(Count(position, budget, true, true));
        position = counted_at;
      } else {
        Limits limits{.steps = budget,
                      .breakpoints = any_breakpoints ? breakpoints : nullptr,
                      .context = this,
                      .key_waiting = KeyWaiting};
        position = ExecVekFast(position, limits);
        taken = static_cast<double>(budget - limits.steps);
      }
    }
    console::Flush();
    compiled_.Drop();
    compiled_runs += ran_compiled ? 1 : 0;
    running_ = false;
  }

  // Compiles `word` as a run from its start would (the same bytes) and
  // rehearses the code where nothing it does is seen, then drops it,
  // leaving the program and the machine as they were: done while the page
  // is idle, it makes the first Run of the program take the instance made
  // here, already past the engine's baseline code.
  void Warm(const char* word, int length) {
    if (running_ || compiling_refused) return;
    char kept_prog[kProgSize];
    std::copy(std::begin(prog), std::end(prog), kept_prog);
    const std::int32_t kept[] = {a, b, c, d};
    std::fill(std::begin(prog), std::end(prog), '\0');
    std::copy_n(word, std::clamp(length, 0, static_cast<int>(kProgSize)), prog);
    a = b = c = d = 0;
    if (Compile(0)) compiled_.Rehearse(0);
    compiled_.Drop();
    std::copy(std::begin(kept_prog), std::end(kept_prog), prog);
    a = kept[0], b = kept[1], c = kept[2], d = kept[3];
  }
  char warm_word[kProgSize] = {};  // where the page puts the word for Warm

  // The reference loop's steps with every position counted in heat; with
  // `watching`, it stops after a step that changes a watched value, and
  // with `breaking`, before a breakpoint other than the one it starts at.
  // Like the bounded loops, it stops before a key read while no key is
  // waiting.
  std::uint64_t Count(int n, std::uint64_t max, bool watching, bool breaking) {
    Moved();
    for (int i = 0; i < watch_count; ++i) before_[i] = Watched(watches[i]);
    Limits limits{.steps = max,
                  .breakpoints = breaking ? breakpoints : nullptr,
                  .context = this,
                  .key_waiting = KeyWaiting,
                  .counts = heat,
                  .go_on = watching && watch_count > 0 ? Unchanged : nullptr};
    counted_at = ExecVekReference(n, limits);
    return max - limits.steps;
  }

  // At most `max` steps from `n` with the fast loop, output delivered, for
  // going back in time: steps that ran before, counted nowhere.
  std::uint64_t Advance(int n, std::uint64_t max) {
    Moved();
    Limits limits{.steps = max, .context = this, .key_waiting = KeyWaiting};
    counted_at = ExecVekFast(n, limits);
    return max - limits.steps;
  }

  // Something other than the compiled code moved the run or the machine.
  void Moved() { compiled_good_ = false; }

 private:
  // A free run (no breakpoint, no watch, not a single step) runs as
  // WebAssembly compiled from the program for the run as it goes on from
  // `position` with the machine as it is; it stays good while nothing else
  // moves the run. Where it cannot be had (the page's security policy
  // forbids compiling WebAssembly, say), the fast loop runs instead, for the
  // rest of the run: the next slices would be refused as well.
  NativeRun compiled_;
  bool running_ = false;  // inside Run: Warm must not replace its code
  bool compiled_good_ = false;
  bool compile_failed_ = false;  // in this run
  std::uint64_t compiled_steps_ = 0;
  std::int32_t before_[kWatchLimit] = {};  // the watched values when the counting loop started

  // A slice of at most about `budget` steps of compiled code; false where
  // there is none to be had.
  bool CompiledSlice(std::uint64_t budget, double& taken) {
    if (!compiled_good_) {
      if (compile_failed_ || compiling_refused) return false;
      compiled_good_ = Compile(position);
      compile_failed_ = !compiled_good_;
      if (!compiled_good_) return false;
    }
    const std::uint64_t before = compiled_steps_;
    const auto most = static_cast<std::uint32_t>(std::min<std::uint64_t>(budget, 1u << 30));
    position = compiled_.Slice(position, most).position;
    taken = static_cast<double>(compiled_steps_ - before);
    return true;
  }

  // The code for a free run going on from n, as both a run and Warm make it.
  bool Compile(int n) {
    Limits limits{.context = this, .key_waiting = KeyWaiting};
    compiled_steps_ = 0;
    return compiled_.Compile(n, &limits, &compiled_steps_);
  }

  // Before each step of the counting loop but the first: whether every
  // watched value is still what it was when the loop started.
  static bool Unchanged(void* context) {
    const auto& self = *static_cast<const Playground*>(context);
    for (int i = 0; i < self.watch_count; ++i) {
      if (Watched(self.watches[i]) != self.before_[i]) return false;
    }
    return true;
  }
};

Playground playground;  // the page has one

}  // namespace

void ExecVek(int n) {
  playground.Run(n);
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
  playground.Moved();
  std::int32_t* regs[] = {&a, &b, &c, &d, &tmp};
  *regs[i % 5] = value;
}
EMSCRIPTEN_KEEPALIVE std::int32_t* vek_memory() {
  return mem;
}
// Breakpoints: mark them at vek_breakpoints(), then call vek_breakpoints_set().
EMSCRIPTEN_KEEPALIVE bool* vek_breakpoints() {
  return playground.breakpoints;
}
EMSCRIPTEN_KEEPALIVE void vek_breakpoints_set() {
  const auto& marks = playground.breakpoints;
  playground.any_breakpoints =
      std::find(std::begin(marks), std::end(marks), true) != std::end(marks);
}
EMSCRIPTEN_KEEPALIVE std::uint32_t* vek_heat() {
  return playground.heat;
}
// Watches: list `count` watched values at vek_watches(), then call
// vek_watches_set(count); while any is set, slices run the counting loop.
EMSCRIPTEN_KEEPALIVE std::int32_t* vek_watches() {
  return playground.watches;
}
EMSCRIPTEN_KEEPALIVE void vek_watches_set(int count) {
  playground.watch_count = std::clamp(count, 0, kWatchLimit);
  playground.counting = playground.watch_count > 0;
}
// Moves the waiting sliced run to position n.
EMSCRIPTEN_KEEPALIVE void vek_seek(int n) {
  playground.Moved();
  playground.position = n;
}
// Runs at most max steps from n with the counting loop, its output
// delivered; returns the steps taken. vek_counted_to() says where it stopped.
EMSCRIPTEN_KEEPALIVE double vek_count(int n, double max) {
  const std::uint64_t taken = playground.Count(n, static_cast<std::uint64_t>(max), false, false);
  console::Flush();
  return static_cast<double>(taken);
}
// The same with the fast loop and nothing counted: a step of the run again.
EMSCRIPTEN_KEEPALIVE double vek_advance(int n, double max) {
  const std::uint64_t taken = playground.Advance(n, static_cast<std::uint64_t>(max));
  console::Flush();
  return static_cast<double>(taken);
}
EMSCRIPTEN_KEEPALIVE int vek_counted_to() {
  return playground.counted_at;
}
// The machine's sizes: positions of the program text (the last ends the
// run), memory cells, and watches at most.
EMSCRIPTEN_KEEPALIVE int vek_positions() {
  return static_cast<int>(kProgSize);
}
EMSCRIPTEN_KEEPALIVE int vek_cells() {
  return static_cast<int>(kMemCells);
}
EMSCRIPTEN_KEEPALIVE int vek_watch_limit() {
  return kWatchLimit;
}
// The page's policy refuses compiling WebAssembly: from now on, runs go
// without trying.
EMSCRIPTEN_KEEPALIVE void vek_compiling_refused() {
  playground.compiling_refused = true;
}
// Warming up for a program's first Run: put its word (the bytes the
// dialogue keeps of its line) at vek_warm_word(), then call vek_warm(length).
EMSCRIPTEN_KEEPALIVE char* vek_warm_word() {
  return playground.warm_word;
}
EMSCRIPTEN_KEEPALIVE void vek_warm(int length) {
  playground.Warm(playground.warm_word, length);
}
// For the tests: programs run, and of them those that ran compiled code.
EMSCRIPTEN_KEEPALIVE int vek_runs() {
  return playground.runs;
}
EMSCRIPTEN_KEEPALIVE int vek_compiled_runs() {
  return playground.compiled_runs;
}
}
