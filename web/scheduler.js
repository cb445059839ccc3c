// When a run's slices go, and how many steps each takes: slices of about
// SLICE_MS, so Stop acts quickly, and the page's turn at least every
// FRAME_MS of running, so it draws and answers. A slice takes at most
// SLICE_STEPS: compiled code runs them in a millisecond or so, and the fast
// loop, which a step back from the end of the run goes through, in 5 to 25
// ms. No DOM here.

const FRAME_MS = 30;
// A run's first turn comes later: that frame lays out and paints what the
// run's start changed, at a cost (20 to 60 ms on a slow machine) that a run
// ending sooner never pays. Stop still acts within 100 ms.
const FIRST_FRAME_MS = 60;
const SLICE_MS = 5;
const SLICE_STEPS = 1 << 23;
// What performance.now() resolves at most in a page that is not isolated
// across origins: a slice it sees take no time took less than this.
const CLOCK_MS = 0.1;

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

export class Scheduler {
  #rate = 2000; // steps per ms, measured
  #sliceAt = 0; // when the last slice started
  #frameAt = 0; // when the page last had its turn
  #yielding = false; // the page's turn has come
  #resume = null; // ends a wait that is not a turn
  busy = 0; // ms the run's free slices took, all told

  // A slice of `taken` steps has just ended; `running` if it ran freely.
  took(taken, running) {
    const now = performance.now();
    if (taken > 0 && running) {
      this.busy += now - this.#sliceAt;
      // A slice too short for the clock says the rate is at least this.
      const ms = Math.max(CLOCK_MS, now - this.#sliceAt);
      this.#rate = Math.max(100, 0.7 * this.#rate + 0.3 * (taken / ms));
    }
  }
  // The run goes on freely from now.
  started() {
    this.#frameAt = performance.now() + FIRST_FRAME_MS - FRAME_MS;
  }
  // Steps for the next slice; -1 when it is the page's turn.
  next() {
    const now = performance.now();
    if (now - this.#frameAt >= FRAME_MS) {
      this.#yielding = true;
      return -1;
    }
    this.#sliceAt = now;
    return Math.min(SLICE_STEPS, Math.max(1000, Math.round(this.#rate * SLICE_MS)));
  }
  // What the run waits for after -1: the page's turn, or else wake().
  wait() {
    const done = (resolve) => () => {
      this.#resume = null;
      this.#frameAt = performance.now();
      resolve();
    };
    if (this.#yielding) {
      this.#yielding = false;
      return new Promise((resolve) => soon(done(resolve)));
    }
    return new Promise((resolve) => (this.#resume = done(resolve)));
  }
  wake() {
    this.#resume?.();
  }
}
