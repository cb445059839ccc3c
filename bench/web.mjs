// Times the web build's interpreter (WebAssembly under node, the engine of
// Chromium) against the native programs, on the benchmark programs: each run
// as the page runs it (web/run.js: slices, snapshots, the page's turn every
// frame; a free run goes as WebAssembly compiled in the page), with output
// taken and dropped; then what compiling the program with the most code
// costs the page. Best of five.
//   node bench/web.mjs build/web build/dev/vek build/dev/vek_fast bench/programs/*.vek
import { spawnSync } from "node:child_process";
import { readFileSync } from "node:fs";
import { createRequire } from "node:module";
import { basename, resolve } from "node:path";
import { importPage } from "../tests/web/modules.mjs";

const [dir, vek, fast, ...programs] = process.argv.slice(2);
const { Interpreter } = await importPage(dir, "host.js");
const { Run } = await importPage(dir, "run.js");
const interpreter = await Interpreter.load(createRequire(import.meta.url)(resolve(dir, "vek.js")),
  { wasmBinary: readFileSync(resolve(dir, "vek.wasm")) });

const best = async (once, times = 5) => {
  let least = Infinity;
  for (let i = 0; i < times; i++) {
    const start = performance.now();
    await once();
    least = Math.min(least, (performance.now() - start) / 1000);
  }
  return least;
};
const page = (text) => new Run(interpreter, { text, keyboard: false }).start();
const spawned = (binary, input) => () => spawnSync(binary, { input, stdio: ["pipe", "ignore", "ignore"] });
const column = (x, width = 8) => x.toFixed(3).padStart(width);

console.log("program    page s    vek s   fast s page/vek page/fast");
for (const path of programs) {
  const input = readFileSync(path);
  const text = input.subarray(0, input.indexOf(10) < 0 ? input.length : input.indexOf(10));
  const web = await best(() => page(text));
  const native = await best(spawned(vek, input));
  const loop = await best(spawned(fast, input));
  console.log(`${basename(path, ".vek").padEnd(8)} ${column(web)} ${column(native)} ${column(loop)}` +
    `${(web / native).toFixed(2).padStart(9)}${(web / loop).toFixed(2).padStart(10)}`);
}

// A program of one step: "^" alone, and "^" before 699 digit splits, the
// most code a program text makes. The difference is the compile's.
const encode = (text) => new TextEncoder().encode(text);
const one = await best(() => page(encode("^")), 20);
const most = await best(() => page(encode("^" + "#".repeat(699))), 20);
console.log(`compiling the program with the most code: ${((most - one) * 1e3).toFixed(2)} ms ` +
  `(a one-step run: ${(one * 1e3).toFixed(2)} ms, of which most is the dialogue)`);
const { all, compiled } = interpreter.runs();
console.log(`${compiled} of ${all} programs ran as compiled code`);
