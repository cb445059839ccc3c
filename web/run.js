// A run of the interpreter in slices, as a debugger drives it: between two
// slices the run goes on, pauses (a request, a breakpoint, a watched value
// that changed), steps, waits for a key or stops. The scheduler says when
// and how long the slices are; the history lets the page show any earlier
// step again. A Run is the driver of the module's contract (host.js). No
// DOM here: node drives the same code (bench/web.mjs).
import { heatOf } from "./heat.js";
import { History } from "./history.js";
import { INSTRUCTIONS } from "./instructions.js";
import { Scheduler } from "./scheduler.js";
import { watchName, watchedValue } from "./watches.js";
import { word } from "./words.js";

const KEY_READS = new Set(INSTRUCTIONS.filter((ins) => ins.kind === "input").map((ins) => ins.char.charCodeAt(0)));

// hooks: output(bytes) for output as it comes, state() when the run pauses,
// waits, goes on or ends, frame() when the page gets its turn during a run,
// rewound() when going on from an earlier step forgot the output after it,
// note(text) for standard error.
export class Run {
  #interpreter;
  #hooks;
  #keyboard;
  #text; // the program's text as typed, for standard input
  #program; // the program run
  #keys;
  #keyAt = 0;
  #stdin = null;
  #readAt = 0;
  #history;
  #scheduler = new Scheduler();
  #breakpoints = new Set();
  #watches = [];
  #seen = []; // the watched values when last looked at
  #steps = 0;
  #frontier = 0; // the furthest step the run has reached
  #position = 0;
  #shown = 0; // bytes of output up to the step shown
  #state = "starting"; // running, paused, waiting (for a key), ended
  #why = "";
  #request = null; // "step", "pausing" (before the next position), "stop"
  #leaving = -1; // a breakpoint the run goes on from
  #adopted = null; // an earlier run's step to go on from
  #replaying = false; // output is of steps already shown: counted, not kept
  #replayed = 0;
  #muted = false; // stopped: nothing more is written

  constructor(interpreter, { text, keys = [], breakpoints = [], watches = [], keyboard = true, hooks = {} }) {
    this.#interpreter = interpreter;
    this.#hooks = hooks;
    this.#keyboard = keyboard;
    this.#text = Uint8Array.from(text);
    this.#program = word(this.#text, interpreter.positions).bytes;
    this.#keys = [...keys];
    this.#history = new History(interpreter);
    this.#breakpoints = new Set(breakpoints);
    this.#watches = watches.slice(0, interpreter.watchLimit);
  }

  get state() {
    return this.#state;
  }
  get why() {
    return this.#why;
  }
  get steps() {
    return this.#steps;
  }
  // Milliseconds the run's free slices took, all told.
  get sliceMs() {
    return this.#scheduler.busy;
  }
  get frontier() {
    return this.#frontier;
  }
  get position() {
    return this.#position;
  }
  get program() {
    return this.#program;
  }
  get output() {
    return this.#history.output;
  }
  // How much of the output there is at the step shown.
  get outputShown() {
    return this.#steps === this.#frontier ? this.output.total : this.#shown;
  }

  // The machine: registers a..d (0..3) and tmp (4); memory as a live view.
  register(i) {
    return this.#interpreter.register(i);
  }
  memory() {
    return this.#interpreter.memory();
  }
  #watched(w) {
    return watchedValue(this, w);
  }
  #look() {
    this.#seen = this.#watches.map((w) => this.#watched(w));
  }

  setBreakpoints(positions) {
    this.#breakpoints = new Set(positions);
    this.#interpreter.setBreakpoints(this.#breakpoints);
  }
  setWatches(watches) {
    this.#watches = watches.slice(0, this.#interpreter.watchLimit);
    this.#interpreter.setWatches(this.#watches);
    this.#look();
  }

  // What the module asks of its driver (host.js).
  get keyboard() {
    return this.#keyboard;
  }
  key() {
    return this.#keyAt < this.#keys.length ? this.#keys[this.#keyAt++] : -1;
  }
  keyWaiting() {  // without a keyboard, keys come from standard input, or its end
    return !this.#keyboard || this.#keyAt < this.#keys.length;
  }
  read(cap) {
    if (this.#stdin === null) {
      this.#stdin = Uint8Array.from([...this.#text, 10]);
      this.write(this.#stdin.slice()); // shown after the prompt, as typed
    }
    const part = this.#stdin.subarray(this.#readAt, Math.min(this.#readAt + cap, this.#stdin.length));
    this.#readAt += part.length;
    return part;
  }
  write(bytes) {
    // Steps run again only count what they print, after Stop too.
    if (this.#replaying) {
      this.#replayed += bytes.length;
      return;
    }
    // The dialogue's start is already in the adopted output; after Stop, nothing.
    if (this.#adopted || this.#muted) return;
    this.output.append(bytes);
    this.#hooks.output?.(bytes);
  }
  writeErr(text) {
    this.#hooks.note?.(text);
  }
  nextSlice(n, taken) {
    if (taken > 0) {
      this.#leaving = -1;
      this.#scheduler.took(taken, this.#state === "running");
    }
    this.#steps += taken;
    this.#position = n;
    this.#frontier = Math.max(this.#frontier, this.#steps);
    if (n < 0) return 0;
    if (this.#request === "stop") {
      this.#muted = true; // as the console program ended by Ctrl-C: no closing words
      return 0;
    }
    if (this.#adopted) { // going on from a step of an earlier run of the same program
      const { step, request } = this.#adopted;
      this.#adopted = null;
      this.travel(step);
      this.#forgetFuture();
      n = this.#position;
      this.#state = "paused";
      this.#request = request === "step" ? "step" : null;
      if (request === "go") this.#setState("running", "Running.");
    }
    if (this.#history.empty) this.#look();
    this.#history.note(this.#steps, this.#position, this.#keyAt);
    const changed = this.#watches.findIndex((w, i) => this.#watched(w) !== this.#seen[i]);
    if (changed >= 0) {
      const [w, was] = [this.#watches[changed], this.#seen[changed]];
      this.#look();
      return this.#pause(`Paused: ${watchName(w)} changed from ${was} to ${this.#watched(w)}.`);
    }
    if (this.#request === "pausing") return this.#pause(`Paused before position ${n}.`);
    if (this.#breakpoints.has(n) && this.#leaving !== n && this.#state !== "paused") {
      return this.#pause(`Paused at the breakpoint at position ${n}.`);
    }
    if (this.#state === "paused" && this.#request !== "step") return -1;
    if (KEY_READS.has(this.#program[n]) && !this.keyWaiting()) {
      if (this.#state !== "waiting") this.#setState("waiting", "Waiting for a key: press a key in the console.");
      return -1;
    }
    if (this.#request === "step") {
      this.#request = "pausing";
      this.#leaving = n;
      this.#setState("running", "Stepping.");
      return 1;
    }
    if (this.#state !== "running") {
      this.#setState("running", "Running.");
      this.#scheduler.started();
    }
    return this.#scheduler.next();
  }
  wait() {
    this.#hooks.frame?.();
    return this.#scheduler.wait();
  }

  #pause(why) {
    this.#request = null;
    this.#leaving = this.#position;
    this.#setState("paused", why);
    return -1;
  }
  #setState(state, why) {
    this.#state = state;
    this.#why = why;
    this.#hooks.state?.();
  }

  // The run as it was after `step` steps (at most the frontier): the
  // machine, the keys read, the output shown and the position to go on from.
  travel(step) {
    step = Math.max(0, Math.min(this.#frontier, Math.round(step)));
    const snap = this.#history.restore(step);
    this.#keyAt = snap.keys;
    this.#replayed = 0;
    const { taken, at } = step > snap.step ? this.replay(() => this.#interpreter.advance(snap.position, step - snap.step))
      : { taken: 0 };
    this.#steps = snap.step + taken;
    this.#position = taken ? at : snap.position;
    this.#shown = snap.out + this.#replayed;
    this.#interpreter.seek(this.#position);
    this.#look();
    this.#leaving = this.#position;
    if (this.#state === "waiting") this.#state = "paused";
  }
  // Runs `steps` with the output of the steps it runs again not kept.
  replay(steps) {
    this.#replaying = true;
    try {
      return steps();
    } finally {
      this.#replaying = false;
    }
  }
  // Going on from a step before the frontier forgets what came after it.
  #forgetFuture() {
    if (this.#steps === this.#frontier) return;
    this.#frontier = this.#steps;
    this.#history.forget(this.#steps, this.#shown);
    this.#hooks.rewound?.();
  }

  // How often each position ran in the steps so far, or null if progress
  // cancels the count (heat.js).
  heat(progress) {
    return heatOf(this, this.#interpreter, progress);
  }

  // Takes over the history of an ended run of the same program, to go on
  // from its step `step` with `request` ("step" or "go").
  adopt(run, step, request) {
    this.#history = run.#history;
    this.#frontier = run.#frontier;
    this.#keys = run.#keys.slice();
    this.#adopted = { step, request };
  }

  // Controls.
  async start(paused) {
    if (paused) this.#request = "pausing";
    this.setBreakpoints(this.#breakpoints);
    this.setWatches(this.#watches);
    await this.#interpreter.run(this);
    this.#setState("ended", this.#request === "stop" ? "Stopped." : "The program has ended.");
  }
  stop() {
    this.#request = "stop";
    this.#scheduler.wake();
  }
  go() {
    this.#forgetFuture();
    this.#request = null;
    this.#setState("running", "Running.");
    this.#scheduler.wake();
  }
  step() {
    this.#forgetFuture();
    this.#request = "step";
    this.#scheduler.wake();
  }
  press(codes) {
    this.#keys.push(...codes);
    if (this.#state === "waiting") this.#scheduler.wake();
  }
}
