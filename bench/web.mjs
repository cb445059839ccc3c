// Times the web build's interpreter (WebAssembly under node, the engine of
// Chromium) against the native fast loop, on the benchmark programs: each run
// as the page runs it, in slices, with output taken and dropped.
//   node bench/web.mjs build/web/vek.js build/dev/vek_fast bench/programs/*.vek
import { spawnSync } from "node:child_process";
import { readFileSync } from "node:fs";
import { createRequire } from "node:module";
import { basename, resolve } from "node:path";

const [wasm, fast, ...programs] = process.argv.slice(2);
const createVek = createRequire(import.meta.url)(resolve(wasm));
const wasmBinary = readFileSync(wasm.replace(/\.js$/, ".wasm"));
console.log("program    web s   fast s   web/fast");
for (const path of programs) {
  const input = readFileSync(path);
  let at = 0;
  let yielded = performance.now();
  const vek = await createVek({
    wasmBinary,
    vek: {
      keyboard: false,
      keyWaiting: () => true,
      read: (cap) => input.subarray(at, (at = Math.min(at + cap, input.length))),
      write: () => {},
      writeErr: () => {},
      nextSlice: (n) => {  // as the page: a yield every 30 ms
        if (n < 0) return 0;
        if (performance.now() - yielded < 30) return 1e6;
        yielded = performance.now();
        return -1;
      },
    },
  });
  const best = (run) => Math.min(...[0, 1, 2].map(() => run()));
  const web = await (async () => {
    let least = Infinity;
    for (let i = 0; i < 3; i++) {
      const start = performance.now();
      at = 0;
      await vek.ccall("vek_run", null, ["number"], [1], { async: true });
      least = Math.min(least, (performance.now() - start) / 1000);
    }
    return least;
  })();
  const native = best(() => {
    const start = performance.now();
    spawnSync(fast, { input, stdio: ["pipe", "ignore", "ignore"] });
    return (performance.now() - start) / 1000;
  });
  console.log(`${basename(path, ".vek").padEnd(8)} ${web.toFixed(3).padStart(7)} ${native.toFixed(3).padStart(8)} ${(web / native).toFixed(2).padStart(10)}`);
}
