// A run's history: the output kept of a long run, and the snapshots that
// bring back any earlier step, few however long the run.
import assert from "node:assert/strict";
import { test } from "node:test";
import { importWeb } from "../modules.mjs";

const { History, Output } = await importWeb("history.js");

// Output appended in chunks of sizes 1..7, byte i being i % 251; and what it holds.
function written(total, kept) {
  const output = new Output(kept);
  for (let at = 0, n = 1; at < total; at += n, n = (n % 7) + 1) {
    output.append(Uint8Array.from({ length: Math.min(n, total - at) }, (_, i) => (at + i) % 251));
  }
  return output;
}
const bytes = (from, to) => Array.from({ length: to - from }, (_, i) => (from + i) % 251);

test("output: the last bytes kept at least, any range of them read back across chunks", () => {
  const output = written(1000, 100);
  assert.equal(output.total, 1000);
  assert.ok(output.start > 0 && output.start <= 900, `start ${output.start}`);
  for (const [from, to] of [[900, 1000], [output.start, 1000], [950, 951], [903, 977], [1000, 1000]]) {
    assert.deepEqual([...output.slice(from, to)], bytes(from, to), `${from}..${to}`);
  }
  assert.deepEqual([...output.slice(0, 1000)], bytes(output.start, 1000), "what was dropped is not read back");
  assert.deepEqual([...written(50, 100).slice(0, 50)], bytes(0, 50), "a short run keeps all");
  const empty = new Output(4);
  empty.append(new Uint8Array(0));
  assert.deepEqual([empty.total, empty.slice(0, 10).length], [0, 0]);
});

test("output: going back forgets what came after, and new output follows on", () => {
  const output = written(1000, 100);
  output.truncate(960);
  assert.equal(output.total, 960);
  output.append(Uint8Array.of(7, 8));
  assert.equal(output.total, 962);
  assert.deepEqual([...output.slice(950, 962)], [...bytes(950, 960), 7, 8]);
  const short = written(1000, 100);
  short.truncate(0); // before what is kept: nothing is
  assert.equal(short.total, short.start);
  assert.deepEqual([...short.slice(0, 1000)], []);
});

// A machine whose state says which step it is at.
function machine() {
  const registers = new Int32Array(5);
  const memory = new Int32Array(8);
  return {
    register: (i) => registers[i], setRegister: (i, v) => (registers[i] = v), memory: () => memory,
    at(step) {
      registers.fill(step);
      memory.fill(~step);
    },
    step: () => registers[0],
  };
}

test("snapshots: any step restores the machine as it was at a snapshot before it, few and close however long the run", () => {
  const vm = machine();
  const history = new History(vm);
  const slice = 10007; // steps between two notes, as slices end
  const last = slice * 20000; // 2e8 steps
  assert.equal(history.empty, true);
  for (let step = 0; step <= last; step += slice) {
    vm.at(step);
    history.note(step, step % 700, step / slice);
  }
  const taken = new Set();
  for (let step = 0; step <= last; step += slice * 7) {
    vm.at(-1);
    const snap = history.restore(step);
    taken.add(snap.step);
    assert.ok(snap.step <= step && step - snap.step <= last / 32, `step ${step} from ${snap.step}`);
    assert.deepEqual([snap.position, snap.keys], [snap.step % 700, snap.step / slice]);
    assert.deepEqual([0, 1, 2, 3, 4].map(vm.register), Array(5).fill(snap.step), "registers and tmp put back");
    assert.equal(vm.memory()[7], ~snap.step, "memory put back");
  }
  assert.equal(history.empty, false);
  assert.ok(taken.has(0), "the start stays");
  const steps = [...taken].sort((x, y) => x - y);
  assert.ok(steps.every((step, i) => i === 0 || step - steps[i - 1] >= 1 << 16), "none closer than the first spacing");
  assert.ok(taken.size <= 256 && taken.size >= 64, `${taken.size} snapshots`);
  // The last note is kept, however far apart the snapshots have grown.
  vm.at(-1);
  assert.equal(history.restore(last).step, last);
  assert.equal(vm.memory()[7], ~last);
  assert.equal(history.restore(last - 1).step < last - slice, true, "nor used before its step");
});

test("snapshots: going on from an earlier step forgets those after it", () => {
  const vm = machine();
  const history = new History(vm);
  for (let step = 0; step <= 1 << 20; step += 1 << 16) {
    vm.at(step);
    history.output.append(Uint8Array.of(step & 0xff));
    history.note(step, 0, 0);
  }
  assert.equal(history.restore(1 << 20).step, 1 << 20);
  history.forget(3 << 16, 3);
  assert.equal(history.restore(1 << 20).step, 3 << 16);
  assert.equal(history.output.total, 3);
  vm.at(5 << 16);
  history.note(5 << 16, 0, 0);
  assert.equal(history.restore(6 << 16).step, 5 << 16, "new snapshots follow on");
  vm.at((5 << 16) + 9);
  history.note((5 << 16) + 9, 0, 0); // no snapshot due: kept as the last
  assert.equal(history.restore(6 << 16).step, (5 << 16) + 9);
  history.forget((5 << 16) + 3, 3);
  assert.equal(history.restore(6 << 16).step, 5 << 16, "the last note forgotten too");
});
