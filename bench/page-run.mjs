// The page's Run in Debian's Chromium, from the click to the status that
// says the program has ended, for each benchmark program that reads no keys:
// best of three, in seconds, with whether it ran as compiled code.
//   node bench/page-run.mjs BUILD_WEB_DIR PROGRAM.vek...
import { existsSync, readFileSync } from "node:fs";
import { basename } from "node:path";
import { serve } from "../tests/web/chromium.mjs";

const [dir, ...programs] = process.argv.slice(2);
const { open, close } = await serve(dir);
console.log("program   page s  compiled");
for (const path of programs) {
  if (existsSync(path.replace(/\.vek$/, ".keys"))) continue; // its keys are not typed here
  const text = readFileSync(path, "latin1").split("\n")[0];
  let best = Infinity;
  let compiled = "";
  for (let run = 0; run < 3; run++) {
    const page = await open();
    await page.getByLabel("Program", { exact: true }).fill(text);
    const seconds = await page.evaluate(() => new Promise((resolve) => {
      const status = document.getElementById("status");
      const start = performance.now();
      new MutationObserver((_, seen) => {
        if (!/has ended/.test(status.textContent)) return;
        seen.disconnect();
        resolve((performance.now() - start) / 1000);
      }).observe(status, { childList: true, characterData: true, subtree: true });
      document.querySelector("#run").click();
    }));
    best = Math.min(best, seconds);
    compiled = await page.evaluate(() => document.body.dataset.compiledRuns === "1" ? "yes" : "no");
    await page.close();
  }
  console.log(`${basename(path, ".vek").padEnd(8)} ${best.toFixed(3).padStart(7)}  ${compiled}`);
}
await close();
