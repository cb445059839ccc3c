// The watch numbering: what a user names, what the run reads, how it is said.
import assert from "node:assert/strict";
import { test } from "node:test";
import { importWeb } from "../modules.mjs";

const { cellWatch, watchedCell, watchedValue, watchName, watchNamed } = await importWeb("watches.js");

test("every watch a user can name is the one the module reads, and is named back", () => {
  const cells = 1025;
  const registers = [11, -2, 33, 44, 55]; // a, b, c, d, tmp
  const machine = { register: (i) => registers[i], memory: () => Int32Array.from({ length: cells }, (_, i) => 1000 + i) };
  const typed = ["a", "b", "c", "d", ...Array.from({ length: cells }, (_, i) => String(i))];
  const watches = typed.map((text) => watchNamed(text, cells));
  assert.deepEqual(watches, typed.map((_, w) => w), "0..3 the registers, then the cells in order");
  assert.deepEqual(watches.slice(0, 4).map((w) => watchedValue(machine, w)), registers.slice(0, 4));
  for (const i of [0, 5, cells - 1]) {
    const w = watchNamed(String(i), cells);
    assert.equal(w, cellWatch(i));
    assert.equal(watchedCell(w), i);
    assert.equal(watchedValue(machine, w), 1000 + i);
    assert.equal(watchName(w), `mem[${i}]`);
  }
  assert.deepEqual([0, 1, 2, 3].map(watchName), ["a", "b", "c", "d"]);
  assert.deepEqual([0, 1, 2, 3].map(watchedCell), [-1, -1, -1, -1]);
  assert.deepEqual([" B ", "007", "\t5\n"].map((text) => watchNamed(text, cells)), [1, 11, 9]);
  for (const text of ["", "e", "ab", "tmp", "-1", "1.5", "1e3", String(cells), "0x10"]) {
    assert.equal(watchNamed(text, cells), -1, JSON.stringify(text));
  }
});
