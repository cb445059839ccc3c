// The interpreter module (vek.js and vek.wasm) and its host. The module runs
// the whole dialogue, as a new process would, and asks its host, through
// Module.vek, for what a process would ask the system and for when to run:
//   keyboard          whether key reads wait for keys typed (else they read
//                     standard input after the program's line)
//   key()             the next key typed, or -1
//   keyWaiting()      whether a key has been typed and not read
//   read(cap)         at most cap bytes of standard input (none: its end)
//   write(bytes)      output, a view of the module's memory valid during the
//                     call only; writeErr(text): standard error
//   nextSlice(position, taken)  between slices of the run, with the steps the
//                     last one took: steps to run next, 0 to end the run, or
//                     -1 to wait for wait() and ask again
//   wait()            a promise: the page's turn (a frame, a key, a pause)
// A driver is an object with these; the module's own functions are the
// methods of Interpreter. Nothing else here knows the module's names.

const CONTRACT = ["key", "keyWaiting", "read", "write", "writeErr", "nextSlice", "wait"];

export class Interpreter {
  #vek;
  #driver = null;

  // Loads the module once; `extra` goes to createVek (wasmBinary under node).
  static async load(createVek, extra = {}) {
    const self = new Interpreter();
    const host = Object.fromEntries(CONTRACT.map((name) => [name, (...args) => self.#driver[name](...args)]));
    Object.defineProperty(host, "keyboard", { get: () => self.#driver.keyboard });
    self.#vek = await createVek({ ...extra, vek: host });
    const vek = self.#vek;
    // The machine's sizes, as the interpreter has them.
    self.positions = vek._vek_positions(); // of the program text; this one ends the run
    self.cells = vek._vek_cells();
    self.watchLimit = vek._vek_watch_limit();
    return self;
  }

  // Runs the dialogue with `driver` answering the module, to the end.
  async run(driver, argc = 1) {
    this.#driver = driver;
    await this.#vek.ccall("vek_run", null, ["number"], [argc], { async: true });
  }

  // Programs run so far, and of them those that ran as compiled code.
  runs() {
    return { all: this.#vek._vek_runs(), compiled: this.#vek._vek_compiled_runs() };
  }

  // Compiles a program's word as its Run would and rehearses its code where
  // nothing it does is seen, while nothing runs: its first Run then starts
  // in optimised code.
  warm(word) {
    const kept = word.subarray(0, this.positions);
    new Uint8Array(this.#vek.HEAPU8.buffer, this.#vek._vek_warm_word(), this.positions).set(kept);
    this.#vek._vek_warm(kept.length);
  }

  // The page's policy refuses compiling WebAssembly: runs no longer try.
  compilingRefused() {
    this.#vek._vek_compiling_refused();
  }

  // Registers a, b, c, d (0..3) and tmp (4).
  register(i) {
    return this.#vek._vek_register(i);
  }
  setRegister(i, value) {
    this.#vek._vek_set_register(i, value);
  }
  // The memory, as a live view.
  memory() {
    return new Int32Array(this.#vek.HEAP32.buffer, this.#vek._vek_memory(), this.cells);
  }

  // Positions the run pauses before.
  setBreakpoints(positions) {
    const marks = new Uint8Array(this.#vek.HEAPU8.buffer, this.#vek._vek_breakpoints(), this.positions + 1);
    marks.fill(0);
    for (const p of positions) if (p >= 0 && p < this.positions) marks[p] = 1;
    this.#vek._vek_breakpoints_set();
  }
  // Values the run pauses after a change of, numbered as in watches.js.
  setWatches(watches) {
    new Int32Array(this.#vek.HEAP32.buffer, this.#vek._vek_watches(), this.watchLimit).set(watches);
    this.#vek._vek_watches_set(watches.length);
  }
  // Where the waiting run goes on.
  seek(position) {
    this.#vek._vek_seek(position);
  }

  // The counting loop: at most `max` steps from `position`, output delivered
  // and each position's steps added to heat(). Returns the steps taken and
  // where it stopped (-1: the run ended).
  count(position, max) {
    const taken = this.#vek._vek_count(position, max);
    return { taken, at: this.#vek._vek_counted_to() };
  }
  // The same with the fast loop, nothing counted: steps run again.
  advance(position, max) {
    const taken = this.#vek._vek_advance(position, max);
    return { taken, at: this.#vek._vek_counted_to() };
  }
  // Steps counted at each position since the last clearHeat().
  heat() {
    return new Uint32Array(this.#vek.HEAPU32.buffer, this.#vek._vek_heat(), this.positions);
  }
  clearHeat() {
    this.heat().fill(0);
  }
}
