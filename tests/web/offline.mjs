// The released playground in Debian's Chromium with the network cut, as a
// user without one meets it: the single HTML file opened from disk, and the
// site served once, then reloaded with its server gone. Each runs an example
// to its documented output, chosen and started as a user would.
//   node offline.mjs vek-playground.html SITE_DIR
import { spawn } from "node:child_process";
import { resolve } from "node:path";
import { pathToFileURL } from "node:url";
import { chromium } from "playwright-core";

const [single, site] = process.argv.slice(2);
const browser = await chromium.launch({
  executablePath: "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync"],
});

// The hello example from the keyboard, to its output and the closing words.
async function runHello(page) {
  await page.waitForSelector("body[data-ready=yes]", { timeout: 30000 });
  if (!/^vek \d/.test(await page.getByRole("contentinfo").textContent())) throw new Error("no version in the footer");
  await page.getByLabel("Example").selectOption("hello");
  await page.getByLabel("Program", { exact: true }).press("Control+Enter");
  await page.getByRole("status").filter({ hasText: "ended" }).waitFor({ timeout: 30000 });
  const shown = await page.getByRole("log", { name: "Console" }).textContent();
  if (!shown.includes("Hello, World!\n\nProgram was end.")) throw new Error(`console: ${JSON.stringify(shown)}`);
}

const journeys = {
  async "the single file opened from disk runs with no network"() {
    const context = await browser.newContext({ offline: true });
    const page = await context.newPage();
    const elsewhere = [];
    await page.route(/^(?!file:|data:)/, (route) => (elsewhere.push(route.request().url()), route.abort()));
    await page.goto(pathToFileURL(resolve(single)).href);
    await runHello(page);
    if (elsewhere.length) throw new Error(`asked the network for ${elsewhere.join(", ")}`);
    await context.close();
  },
  async "the served site, visited once, reloads and runs with its server gone"() {
    const server = spawn("python3", ["-u", "-m", "http.server", "-b", "127.0.0.1", "-d", site, "0"],
      { stdio: ["ignore", "pipe", "ignore"] });
    const port = await new Promise((done) =>
      server.stdout.on("data", (line) => /port (\d+)/.test(line) && done(/port (\d+)/.exec(line)[1])));
    const context = await browser.newContext();
    const page = await context.newPage();
    await page.goto(`http://127.0.0.1:${port}/`);
    await page.waitForSelector("body[data-ready=yes]", { timeout: 30000 });
    await page.evaluate(() => Promise.race([navigator.serviceWorker.ready, // installed: the files are kept
      new Promise((_, fail) => setTimeout(() => fail(new Error("no service worker")), 30000))]));
    server.kill();
    await new Promise((done) => server.on("exit", done));
    await context.setOffline(true);
    await page.reload();
    await runHello(page);
    await context.close();
  },
};

let failed = 0;
for (const [name, journey] of Object.entries(journeys)) {
  await journey().then(() => console.log(`ok: ${name}`), (error) => {
    failed++;
    console.log(`FAILED ${name}: ${error.message.split("\n")[0]}`);
  });
}
await browser.close();
console.log(`offline: ${Object.keys(journeys).length - failed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
