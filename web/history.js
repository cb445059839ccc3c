// A run's history: its output, the last OUTPUT_KEPT bytes of it,
// and a snapshot of the machine at least `every` steps after the one before
// (slices of compiled code end where they may), at most SNAPSHOTS of them:
// past that `every` doubles and the snapshots closer than that to the one
// kept before them go, so they cover the whole run. The machine at the last
// note is kept too, however far apart the snapshots have grown, so a step
// back from where the run stopped counts through one slice at most. Any
// earlier step is the nearest snapshot, then the counting loop up to that
// step. No DOM here.

const SNAPSHOTS = 256;
const OUTPUT_KEPT = 1 << 20;
const REGISTERS = 5; // a, b, c, d and tmp

// Output bytes with their count from the start of the run: the last `kept`
// of them in a ring, so that appending copies bytes once and allocates
// nothing, however much a run prints.
export class Output {
  #ring;
  #start = 0; // nothing before it is kept, however much the ring holds
  #total = 0;

  constructor(kept = OUTPUT_KEPT) {
    this.#ring = new Uint8Array(kept);
  }
  get start() {
    return Math.max(this.#start, this.#total - this.#ring.length);
  }
  get total() {
    return this.#total;
  }
  // `bytes` may be a view the caller reuses: what is kept is copied.
  append(bytes) {
    const size = this.#ring.length;
    if (bytes.length > size) {
      this.#total += bytes.length - size;
      bytes = bytes.subarray(bytes.length - size);
    }
    const at = this.#total % size;
    const first = Math.min(bytes.length, size - at);
    this.#ring.set(bytes.subarray(0, first), at);
    this.#ring.set(bytes.subarray(first), 0);
    this.#total += bytes.length;
  }
  // Bytes [from, to) as far as they are kept.
  slice(from, to) {
    const size = this.#ring.length;
    from = Math.max(from, this.start);
    to = Math.min(to, this.#total);
    const all = new Uint8Array(Math.max(0, to - from));
    if (!all.length) return all;
    const at = from % size;
    const first = Math.min(all.length, size - at);
    all.set(this.#ring.subarray(at, at + first));
    all.set(this.#ring.subarray(0, all.length - first), first);
    return all;
  }
  truncate(to) {
    this.#start = this.start;
    this.#total = Math.max(Math.min(to, this.#total), this.#start);
  }
}

export class History {
  #interpreter;
  #snapshots = [];
  #every = 1 << 16;
  #latest = null; // the machine at the last note, when no snapshot was due
  #output = new Output();

  constructor(interpreter) {
    this.#interpreter = interpreter;
  }
  get output() {
    return this.#output;
  }
  get empty() {
    return this.#snapshots.length === 0;
  }
  // The machine after `steps` steps, at `position`, `keys` keys read, if a
  // snapshot is due.
  note(steps, position, keys) {
    const last = this.#snapshots.at(-1);
    if (last && steps < last.step + this.#every) {
      this.#latest = this.#take(steps, position, keys, this.#latest); // its arrays used again
      return;
    }
    this.#snapshots.push(this.#take(steps, position, keys));
    if (this.#snapshots.length > SNAPSHOTS) {
      this.#every *= 2;
      const kept = [];
      for (const s of this.#snapshots) if (!kept.length || s.step >= kept.at(-1).step + this.#every) kept.push(s);
      this.#snapshots = kept;
    }
  }
  #take(step, position, keys, into = null) {
    const machine = this.#interpreter;
    const snap = into ?? { registers: new Int32Array(REGISTERS), memory: new Int32Array(machine.memory().length) };
    Object.assign(snap, { step, position, keys, out: this.#output.total });
    for (let i = 0; i < REGISTERS; i++) snap.registers[i] = machine.register(i);
    snap.memory.set(machine.memory());
    return snap;
  }
  // Puts the machine back as at the last snapshot at or before `step`, and
  // returns that snapshot: its step, position, keys read and output length.
  restore(step) {
    let snap = this.#snapshots[0];
    for (const s of this.#snapshots) if (s.step <= step) snap = s;
    if (this.#latest && this.#latest.step <= step && this.#latest.step > snap.step) snap = this.#latest;
    snap.registers.forEach((v, i) => this.#interpreter.setRegister(i, v));
    this.#interpreter.memory().set(snap.memory);
    return snap;
  }
  // Going on from `steps` with `shown` bytes of output forgets what came after.
  forget(steps, shown) {
    this.#snapshots = this.#snapshots.filter((s) => s.step <= steps);
    if (this.#latest?.step > steps) this.#latest = null;
    this.#output.truncate(shown);
  }
}
