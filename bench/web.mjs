// Times the web build's interpreter (WebAssembly under node, the engine of
// Chromium) against the native fast loop, on the benchmark programs: each run
// as the page runs it (web/run.js: slices, snapshots, the page's turn every
// frame), with output taken and dropped.
//   node bench/web.mjs build/web build/dev/vek_fast bench/programs/*.vek
import { spawnSync } from "node:child_process";
import { readFileSync } from "node:fs";
import { createRequire } from "node:module";
import { basename, resolve } from "node:path";
import { importPage } from "../tests/web/modules.mjs";

const [dir, fast, ...programs] = process.argv.slice(2);
const { Interpreter } = await importPage(dir, "host.js");
const { Run } = await importPage(dir, "run.js");
const interpreter = await Interpreter.load(createRequire(import.meta.url)(resolve(dir, "vek.js")),
  { wasmBinary: readFileSync(resolve(dir, "vek.wasm")) });

const best = async (once) => {
  let least = Infinity;
  for (let i = 0; i < 5; i++) {
    const start = performance.now();
    await once();
    least = Math.min(least, (performance.now() - start) / 1000);
  }
  return least;
};
console.log("program    web s   fast s   web/fast");
for (const path of programs) {
  const input = readFileSync(path);
  const text = input.subarray(0, input.indexOf(10) < 0 ? input.length : input.indexOf(10));
  const web = await best(() => new Run(interpreter, { text, keyboard: false }).start());
  const native = await best(() => spawnSync(fast, { input, stdio: ["pipe", "ignore", "ignore"] }));
  console.log(`${basename(path, ".vek").padEnd(8)} ${web.toFixed(3).padStart(7)} ${native.toFixed(3).padStart(8)} ${(web / native).toFixed(2).padStart(10)}`);
}
