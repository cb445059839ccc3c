// A run of the interpreter in slices. Between two slices the page decides
// whether the run goes on, pauses, steps, waits for a key or stops. A bounded
// history (a snapshot of the machine every `every` steps) lets the page show
// any earlier step again: the nearest snapshot, then the module's counting
// loop up to that step. No DOM here: node drives the same code (bench/web.mjs).

import { INSTRUCTIONS } from "./instructions.js";

export const SNAPSHOTS = 256; // kept at most; past that every other goes and `every` doubles
export const OUTPUT_KEPT = 1 << 20; // bytes of output the history keeps
const FRAME_MS = 30; // the page gets control back at least this often
const SLICE_MS = 5; // what one slice aims to take, so Stop acts quickly
const CELLS = 1025;

// A task as soon as the page has handled what waits (setTimeout would add
// 4 ms); node has setImmediate for it.
const soon = globalThis.setImmediate ?? (() => {
  const channel = new MessageChannel();
  const waiting = [];
  channel.port1.onmessage = () => waiting.shift()();
  return (task) => {
    waiting.push(task);
    channel.port2.postMessage(0);
  };
})();

const KEY_READS = new Set(INSTRUCTIONS.filter((ins) => ins.kind === "input").map((ins) => ins.char.charCodeAt(0)));
const isSpace = (byte) => byte === 32 || (byte >= 9 && byte <= 13);

// The program as the dialogue reads it: leading white space skipped, the word
// up to the next white space. Returns where it starts in the text, and its bytes.
export function word(bytes) {
  let start = 0;
  while (start < bytes.length && isSpace(bytes[start])) start++;
  let end = start;
  while (end < bytes.length && !isSpace(bytes[end])) end++;
  return { start, end, bytes: bytes.slice(start, Math.min(end, start + 700)) };
}

// Output bytes with their count from the start of the run; the last `kept`
// bytes (at least) are kept.
export class Output {
  constructor(kept = OUTPUT_KEPT) {
    Object.assign(this, { kept, chunks: [], start: 0, total: 0 });
  }
  append(bytes) {
    if (!bytes.length) return;
    this.chunks.push(bytes);
    this.total += bytes.length;
    while (this.total - this.start - this.chunks[0].length >= this.kept) {
      this.start += this.chunks.shift().length;
    }
  }
  // Bytes [from, to) as far as they are kept.
  slice(from, to) {
    const parts = [];
    let at = this.start;
    for (const chunk of this.chunks) {
      const lo = Math.max(from, at), hi = Math.min(to, at + chunk.length);
      if (lo < hi) parts.push(chunk.subarray(lo - at, hi - at));
      at += chunk.length;
    }
    const all = new Uint8Array(parts.reduce((n, p) => n + p.length, 0));
    parts.reduce((n, p) => (all.set(p, n), n + p.length), 0);
    return all;
  }
  truncate(to) {
    const kept = this.slice(this.start, to);
    this.chunks = kept.length ? [kept] : [];
    this.total = Math.max(to, this.start);
  }
}

// Loads the module once; each Run then takes it over. `extra` goes to
// createVek (wasmBinary under node).
export async function load(createVek, extra = {}) {
  const host = { run: null, keyboard: true };
  for (const name of ["key", "keyWaiting", "read", "write", "writeErr", "nextSlice", "wait"]) {
    host[name] = (...args) => host.run[name](...args);
  }
  const vek = await createVek({ ...extra, vek: host });
  return { vek, host };
}

// hooks: output(bytes) for output as it comes, state() when the run pauses,
// waits, goes on or ends, frame() when the page gets control during a run.
export class Run {
  constructor({ vek, host }, text, keys, hooks = {}) {
    Object.assign(this, { vek, host, hooks, text: Uint8Array.from(text), keys: [...keys] });
    this.program = word(this.text).bytes;
    this.keyAt = 0;
    this.out = new Output();
    this.replaying = false;
    this.steps = 0;
    this.frontier = 0; // the furthest step the run has reached
    this.position = 0;
    this.state = "starting"; // running, paused, waiting (for a key), ended
    this.why = "";
    this.request = null; // "step", "pausing" (before the next position), "stop"
    this.leaving = -1; // a breakpoint the run goes on from
    this.history = [];
    this.every = 1 << 16;
    this.rate = 2000; // steps per ms, measured
    this.breaks = new Set();
    this.watches = []; // 0..3: a..d; 4 + i: mem[i]
    this.seen = [];
    this.resume = null;
    this.clock = 0;
  }

  // The machine: registers a..d, tmp, and memory as a live view.
  register(i) {
    return this.vek._vek_register(i);
  }
  memory() {
    return new Int32Array(this.vek.HEAP32.buffer, this.vek._vek_memory(), CELLS);
  }
  watched(w) {
    return w < 4 ? this.register(w) : this.memory()[w - 4];
  }

  setBreaks(positions) {
    this.breaks = new Set(positions);
    const walls = new Uint8Array(this.vek.HEAPU8.buffer, this.vek._vek_walls(), 701);
    walls.fill(0);
    for (const p of this.breaks) if (p >= 0 && p < 700) walls[p] = 1;
    this.vek._vek_walled(walls.includes(1));
  }
  setWatches(list) {
    this.watches = list.slice(0, 16);
    new Int32Array(this.vek.HEAP32.buffer, this.vek._vek_watches(), 16).set(this.watches);
    this.vek._vek_watch(this.watches.length);
    this.seen = this.watches.map((w) => this.watched(w));
  }

  // What the module asks for.
  key() {
    return this.keyAt < this.keys.length ? this.keys[this.keyAt++] : -1;
  }
  keyWaiting() {
    return this.keyAt < this.keys.length;
  }
  read(cap) {
    if (this.readAt === undefined) {
      this.readAt = 0;
      this.stdin = Uint8Array.from([...this.text, 10]);
      this.write(this.stdin.slice()); // shown after the prompt, as typed
    }
    const part = this.stdin.subarray(this.readAt, Math.min(this.readAt + cap, this.stdin.length));
    this.readAt += part.length;
    return part;
  }
  write(bytes) {
    // The dialogue's start is already in the adopted output; after Stop, nothing.
    if (this.adopted || this.muted) return;
    if (this.replaying) {
      this.replayed += bytes.length;
      return;
    }
    this.out.append(bytes);
    this.hooks.output?.(bytes);
  }
  writeErr(text) {
    this.hooks.note?.(text);
  }

  // Between slices: a step budget, 0 to end the run, or -1 to wait.
  nextSlice(n, taken) {
    const now = performance.now();
    if (taken > 0) {
      this.leaving = -1;
      if (this.state === "running" && now > this.sliceAt) {
        this.rate = Math.max(100, 0.7 * this.rate + 0.3 * (taken / (now - this.sliceAt)));
      }
    }
    this.steps += taken;
    this.position = n;
    this.frontier = Math.max(this.frontier, this.steps);
    if (n < 0) return 0;
    if (this.request === "stop") {
      this.muted = true; // as the console program ended by Ctrl-C: no closing words
      return 0;
    }
    if (this.adopted) { // going on from a step of an earlier run of the same program
      const { step, request } = this.adopted;
      this.adopted = null;
      this.travel(step);
      this.forgetFuture();
      n = this.position;
      this.state = "paused";
      this.request = request === "step" ? "step" : null;
      if (request === "go") this.setState("running", "Running.");
    }
    if (!this.history.length) this.seen = this.watches.map((w) => this.watched(w));
    this.snapshot();
    const changed = this.watches.findIndex((w, i) => this.watched(w) !== this.seen[i]);
    if (changed >= 0) {
      const [w, was] = [this.watches[changed], this.seen[changed]];
      this.seen = this.watches.map((v) => this.watched(v));
      return this.pause(`Paused: ${watchName(w)} changed from ${was} to ${this.watched(w)}.`);
    }
    if (this.request === "pausing") return this.pause(`Paused before position ${n}.`);
    if (this.breaks.has(n) && this.leaving !== n && this.state !== "paused") {
      return this.pause(`Paused at the breakpoint at position ${n}.`);
    }
    if (this.state === "paused" && this.request !== "step") return -1;
    if (KEY_READS.has(this.program[n]) && !this.keyWaiting()) {
      if (this.state !== "waiting") this.setState("waiting", "Waiting for a key: press a key in the console.");
      return -1;
    }
    if (this.request === "step") {
      this.request = "pausing";
      this.leaving = n;
      this.setState("running", "Stepping.");
      return 1;
    }
    if (this.state !== "running") {
      this.setState("running", "Running.");
      this.clock = now;
    }
    if (now - this.clock >= FRAME_MS) {
      this.yielding = true;
      return -1;
    }
    this.sliceAt = now;
    const toSnapshot = this.every - (this.steps % this.every);
    return Math.min(toSnapshot, Math.max(1000, Math.round(this.rate * SLICE_MS)));
  }

  wait() {
    if (this.yielding) {
      this.yielding = false;
      this.hooks.frame?.();
      return new Promise((resolve) => soon(() => {
        this.clock = performance.now();
        resolve();
      }));
    }
    this.hooks.frame?.();
    return new Promise((resolve) => {
      this.resume = () => {
        this.resume = null;
        this.clock = performance.now();
        resolve();
      };
    });
  }
  wake() {
    this.resume?.();
  }

  pause(why) {
    this.request = null;
    this.leaving = this.position;
    this.setState("paused", why);
    return -1;
  }
  setState(state, why) {
    this.state = state;
    this.why = why;
    this.hooks.state?.();
  }

  snapshot() {
    const last = this.history[this.history.length - 1];
    if (this.steps % this.every !== 0 || (last && last.step >= this.steps)) return;
    this.history.push({ step: this.steps, position: this.position, keys: this.keyAt, out: this.out.total,
      regs: Int32Array.from([0, 1, 2, 3, 4], (i) => this.register(i)), mem: this.memory().slice() });
    if (this.history.length > SNAPSHOTS) {
      this.every *= 2;
      this.history = this.history.filter((s) => s.step % this.every === 0);
    }
  }

  // The run as it was after `step` steps (at most the frontier): the
  // machine, the keys read, the output shown and the position to go on from.
  travel(step) {
    step = Math.max(0, Math.min(this.frontier, Math.round(step)));
    let snap = this.history[0];
    for (const s of this.history) if (s.step <= step) snap = s;
    snap.regs.forEach((v, i) => this.vek._vek_set_register(i, v));
    this.memory().set(snap.mem);
    this.keyAt = snap.keys;
    this.replaying = true;
    this.replayed = 0;
    const taken = step > snap.step ? this.vek._vek_trace(snap.position, step - snap.step) : 0;
    this.replaying = false;
    this.steps = snap.step + taken;
    this.position = taken ? this.vek._vek_traced_to() : snap.position;
    this.shown = snap.out + this.replayed;
    this.vek._vek_seek(this.position);
    this.seen = this.watches.map((w) => this.watched(w));
    this.leaving = this.position;
    if (this.state === "waiting") this.state = "paused";
  }
  // Going on from a step before the frontier forgets what came after it.
  forgetFuture() {
    if (this.steps === this.frontier) return;
    this.frontier = this.steps;
    this.history = this.history.filter((s) => s.step <= this.steps);
    this.out.truncate(this.shown);
    this.hooks.rewound?.();
  }

  // How often each position ran in the steps so far (the counting loop from
  // the start again, in parts, so the page stays responsive); null if
  // progress answers false, which cancels the count.
  async heat(progress) {
    const here = this.steps;
    const counts = new Uint32Array(this.vek.HEAPU32.buffer, this.vek._vek_heat(), 700);
    counts.fill(0);
    this.travel(0);
    const part = 20e6;
    this.replaying = true;
    let going = true;
    for (let done = 0, at = this.position; going && done < here && at >= 0; ) {
      done += this.vek._vek_trace(at, Math.min(part, here - done));
      at = this.vek._vek_traced_to();
      if (done < here && progress) {
        this.replaying = false;
        going = (await progress(done / here)) !== false;
        this.replaying = true;
      }
    }
    this.replaying = false;
    const result = going ? Uint32Array.from(new Uint32Array(this.vek.HEAPU32.buffer, this.vek._vek_heat(), 700)) : null;
    this.travel(here);
    return result;
  }

  // Takes over the history of an ended run of the same program, to go on
  // from its step `step` with `request` ("step" or "go").
  adopt(run, step, request) {
    Object.assign(this, { history: run.history, every: run.every, frontier: run.frontier, out: run.out,
      keys: run.keys.slice(), adopted: { step, request } });
  }

  // Controls.
  async start(paused) {
    this.host.run = this;
    if (paused) this.request = "pausing";
    this.setBreaks(this.breaks);
    this.setWatches(this.watches);
    await this.vek.ccall("vek_run", null, ["number"], [1], { async: true });
    this.setState("ended", this.request === "stop" ? "Stopped." : "The program has ended.");
  }
  stop() {
    this.request = "stop";
    this.wake();
  }
  go() {
    this.forgetFuture();
    this.request = null;
    this.setState("running", "Running.");
    this.wake();
  }
  step() {
    this.forgetFuture();
    this.request = "step";
    this.wake();
  }
  press(codes) {
    this.keys.push(...codes);
    if (this.state === "waiting") this.wake();
  }
}

export function watchName(w) {
  return w < 4 ? "abcd"[w] : `mem[${w - 4}]`;
}
