// How soon the playground answers Stop and Step back after a long run of
// output, in Debian's Chromium: from the key press (the event's own time, so
// a busy page counts) to the frame that shows the answer. Two programs print
// forever, one unprintable bytes and one letters; each runs until its output
// fills far more than the console shows, then Escape stops it and Shift+F10
// steps back five times. Three runs of each; median and worst in ms. With
// more than one build (an older one, say), each in turn, in the same browser.
//   node bench/page.mjs BUILD_WEB_DIR...
import { serve } from "../tests/web/chromium.mjs";

const PROGRAMS = { "unprintable bytes": "$!.$?", letters: "$" + "!".repeat(65) + ".$?" };
const STEPS = 20e6; // 4 MB of the first's output, 290 KB of the second's
const RUNS = 3;


// Arms a probe for the next press of `key`, which resolves once the status
// matches `want` and a frame has been drawn after that.
const arm = (page, key, want) => page.evaluate(([key, want]) => {
  const status = document.getElementById("status");
  let asked = null;
  const onKey = (e) => e.key === key && asked === null && (asked = e.timeStamp);
  document.addEventListener("keydown", onKey, true);
  window.answered = new Promise((resolve) => {
    const seen = new MutationObserver(() => {
      if (asked === null || !new RegExp(want).test(status.textContent)) return;
      seen.disconnect();
      document.removeEventListener("keydown", onKey, true);
      requestAnimationFrame(() => setTimeout(() => resolve(performance.now() - asked)));
    });
    seen.observe(status, { childList: true, characterData: true, subtree: true });
  });
}, [key, want]);

async function answer(page, press, key, want) {
  await arm(page, key, want);
  await page.keyboard.press(press);
  return page.evaluate(() => window.answered);
}

const steps = async (page) => Number((await page.locator("#steps").textContent()).replace(/,/g, ""));
const summary = (ms) => {
  const sorted = ms.slice().sort((x, y) => x - y);
  return `${sorted[Math.floor(sorted.length / 2)].toFixed(0).padStart(6)} ${sorted.at(-1).toFixed(0).padStart(6)}`;
};

console.log("output               Stop: median  worst   Step back: median  worst");
for (const dir of process.argv.slice(2)) {
  const { open, close } = await serve(dir);
  console.log(dir);
  for (const [name, program] of Object.entries(PROGRAMS)) await measure(open, name, program);
  await close();
}

async function measure(open, name, program) {
  const stop = [], back = [];
  for (let run = 0; run < RUNS; run++) {
    const page = await open();
    await page.getByLabel("Program", { exact: true }).fill(program);
    await page.getByRole("button", { name: "Run", exact: true }).click();
    while (await steps(page) < STEPS) await page.waitForTimeout(100);
    stop.push(await answer(page, "Escape", "Escape", "^Stopped\\."));
    for (let i = 0; i < 5; i++) back.push(await answer(page, "Shift+F10", "F10", "^Back at step"));
    await page.close();
  }
  console.log(`${name.padEnd(20)} ${summary(stop).padStart(20)} ${summary(back).padStart(25)}`);
}
