// The scheduler: slices that take about the same time on any machine, the
// page's turn during a free run, and waits that only a wake ends.
import assert from "node:assert/strict";
import { mock, test } from "node:test";
import { importWeb } from "../modules.mjs";

const { Scheduler } = await importWeb("scheduler.js");
// Whether a promise has settled once what waits has run.
const settled = (promise) => Promise.race([promise.then(() => true), new Promise((r) => setTimeout(() => r(false), 20))]);

test("slices follow the machine's speed, measured only while running freely", (t) => {
  let now = 1000;
  mock.method(performance, "now", () => now);
  t.after(() => mock.restoreAll());
  const scheduler = new Scheduler();
  scheduler.started();
  const first = scheduler.next();
  assert.ok(first >= 1000, `${first}`);
  // A machine ten times as fast as the first guess: about 50,000 steps a 5 ms slice.
  let steps = first;
  for (let i = 0; i < 20; i++) {
    now += 1;
    scheduler.took(20_000, true);
    scheduler.started(); // no turn of the page here
    steps = scheduler.next();
  }
  assert.ok(steps > 90_000 && steps < 110_000, `fast: ${steps}`);
  // Single steps and pauses say nothing of the speed.
  for (let i = 0; i < 20; i++) {
    now += 500;
    scheduler.took(1, false);
  }
  scheduler.started();
  assert.equal(scheduler.next(), steps);
  // A slice too short for the clock to see (browsers coarsen it to 0.1 ms)
  // took 0.1 ms at most: its steps at least that fast, so slices grow.
  scheduler.took(1_000_000, true);
  scheduler.started();
  const grown = scheduler.next();
  assert.ok(grown > steps * 10, `unseen: ${grown}`);
  // However fast, a slice is one the counting loop goes through quickly.
  scheduler.took(1e9, true);
  scheduler.started();
  assert.equal(scheduler.next(), 1 << 23);
  // A slow machine still gets slices of 1000 steps at least.
  for (let i = 0; i < 50; i++) {
    now += 1000;
    scheduler.took(10, true);
    scheduler.started();
    steps = scheduler.next();
  }
  assert.equal(steps, 1000);
});

test("a free run gives the page its turn after 60 ms, then every 30 ms, and goes on by itself after it", async (t) => {
  let now = 0;
  mock.method(performance, "now", () => now);
  t.after(() => mock.restoreAll());
  const scheduler = new Scheduler();
  scheduler.started();
  now = 59;
  assert.ok(scheduler.next() > 0, "not yet");
  now = 60;
  assert.equal(scheduler.next(), -1, "the page's first turn");
  assert.ok(await settled(scheduler.wait()), "the turn ends by itself");
  now = 89;
  assert.ok(scheduler.next() > 0, "the next 30 ms count from the turn");
  now = 90;
  assert.equal(scheduler.next(), -1, "the page's next turn");
  assert.ok(await settled(scheduler.wait()));
  const paused = scheduler.wait(); // the run pauses after the turn
  assert.equal(await settled(paused), false, "a pause after a turn waits");
  scheduler.wake();
  assert.equal(await settled(paused), true);
});

test("a wait that is not the page's turn (a pause, a key) ends on wake() only", async () => {
  const scheduler = new Scheduler();
  scheduler.wake(); // nothing waits: nothing happens
  const waiting = scheduler.wait();
  assert.equal(await settled(waiting), false);
  scheduler.wake();
  assert.equal(await settled(waiting), true);
});
