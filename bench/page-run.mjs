// The page's Run in Debian's Chromium against native vek: for each benchmark
// program that reads no keys (its keys would have to be typed), and the
// empty program "N^", the page's time from the click on Run to the status
// that says the program has ended, and vek's whole run as a process (the
// program's file on standard input, output dropped), best of three, in ms;
// their ratio; the share of the page's time spent in the run's slices; and
// whether the page's run went as compiled code. The click comes half a
// second after the program is typed, as a user's does (the page compiles a
// program it is idle with: main.js warmSoon); PAUSE_MS=0 clicks at once.
// The machine's load average is printed before and after.
//   node bench/page-run.mjs BUILD_WEB_DIR VEK PROGRAM.vek...
import { spawnSync } from "node:child_process";
import { existsSync, readFileSync } from "node:fs";
import { loadavg } from "node:os";
import { basename } from "node:path";
import { serve } from "../tests/web/chromium.mjs";

const RUNS = 3;
const PAUSE_MS = Number(process.env.PAUSE_MS ?? 500);
const [dir, vek, ...paths] = process.argv.slice(2);
const programs = paths.filter((path) => !existsSync(path.replace(/\.vek$/, ".keys"))).map((path) => {
  const input = readFileSync(path);
  const end = input.indexOf(10);
  return { name: basename(path, ".vek"), text: input.subarray(0, end < 0 ? input.length : end).toString("latin1"), input };
});
programs.push({ name: "N^", text: "N^", input: Buffer.from("N^\n") });

// One run in a fresh page: ms from the click to "has ended", ms in slices.
async function onPage(open, text) {
  const page = await open();
  await page.getByLabel("Program", { exact: true }).fill(text);
  await page.waitForTimeout(PAUSE_MS);
  const ms = await page.evaluate(() => new Promise((resolve) => {
    const status = document.getElementById("status");
    const start = performance.now();
    new MutationObserver((_, seen) => {
      if (!/has ended/.test(status.textContent)) return;
      seen.disconnect();
      resolve(performance.now() - start);
    }).observe(status, { childList: true, characterData: true, subtree: true });
    document.querySelector("#run").click();
  }));
  const { sliceMs, compiledRuns } = await page.evaluate(() => ({ ...document.body.dataset }));
  await page.close();
  return { ms, slices: Number(sliceMs), compiled: compiledRuns === "1" };
}

const native = (input) => {
  const start = performance.now();
  const { status } = spawnSync(vek, { input, stdio: ["pipe", "ignore", "ignore"] });
  if (status !== 0) throw new Error(`${vek} ended with ${status}`);
  return performance.now() - start;
};

const load = () => loadavg().map((x) => x.toFixed(2)).join(" ");
console.log(`load average ${load()}`);
const { open, close } = await serve(dir);
console.log("program    page ms   vek ms  page/vek  in slices  compiled");
for (const { name, text, input } of programs) {
  let best = { ms: Infinity };
  let compiled = true;
  for (let run = 0; run < RUNS; run++) {
    const got = await onPage(open, text);
    compiled &&= got.compiled;
    if (got.ms < best.ms) best = got;
  }
  const vekMs = Math.min(...Array.from({ length: RUNS }, () => native(input)));
  console.log(`${name.padEnd(8)} ${best.ms.toFixed(0).padStart(8)} ${vekMs.toFixed(0).padStart(8)}` +
    `${(best.ms / vekMs).toFixed(2).padStart(10)} ${`${(100 * best.slices / best.ms).toFixed(0)}%`.padStart(10)}` +
    `  ${compiled ? "yes" : "no"}`);
}
await close();
console.log(`load average ${load()}`);
