// Drives the playground in Debian's Chromium, as a user would: examples,
// key presses, Stop, Step and breakpoints, links, the 700-character cut.
//   node page.mjs BUILD_WEB_DIR SCREENSHOT.png
import { spawn } from "node:child_process";
import { chromium } from "playwright-core";

const [dir, screenshot] = process.argv.slice(2);
const E = "\nProgram was end.\n";
// Served as the README says: python3 -m http.server, no special headers.
const server = spawn("python3", ["-u", "-m", "http.server", "-b", "127.0.0.1", "-d", dir, "0"],
  { stdio: ["ignore", "pipe", "ignore"] });
const port = await new Promise((resolve) =>
  server.stdout.on("data", (line) => /port (\d+)/.test(line) && resolve(/port (\d+)/.exec(line)[1])));
const url = `http://127.0.0.1:${port}/`;
const browser = await chromium.launch({
  executablePath: "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync"],
});

async function open(address = url) {
  const page = await browser.newPage();
  await page.goto(address);
  await page.waitForSelector("body[data-ready=yes]");
  return page;
}
const text = (page, id) => page.locator(`#${id}`).textContent();
const until = (page, id, want) => page.waitForFunction(([i, w]) =>
  document.getElementById(i).textContent.includes(w), [id, want], { timeout: 15000 });
function expect(what, got, want) {
  [got, want] = [JSON.stringify(got), JSON.stringify(want)];
  if (got !== want) throw new Error(`${what}: got ${got}, want ${want}`);
}

const checks = {
  async "an example runs to its output"(page) {
    await page.selectOption("#examples", "hello");
    const program = await page.inputValue("#text");
    await page.click("#run");
    await until(page, "status", "ended");
    await until(page, "out", "characters): " + program + "\nHello, World!\n" + E);
  },
  async "a program that reads keys gets the keys pressed"(page) {
    await page.selectOption("#examples", "add");
    await page.fill("#ahead", "");
    await page.click("#run");
    await until(page, "status", "Waiting for a key");
    await page.keyboard.press("3");
    await page.keyboard.press("4");
    await until(page, "status", "ended");
    await until(page, "out", "3+4=07\n" + E);
  },
  async "Stop ends an endless loop"(page) {
    await page.fill("#text", "=^");
    await page.click("#run");
    await until(page, "status", "Running");
    await page.click("#stop");
    await until(page, "status", "Stopped");
  },
  async "a breakpoint pauses; Step runs one position"(page) {
    await page.fill("#text", "!!!*N^");
    await page.click("#view span:nth-child(4)");
    await page.click("#run");
    await until(page, "status", "breakpoint at position 3");
    expect("a, b", [await text(page, "reg-a"), await text(page, "reg-b")], ["3", "0"]);
    expect("highlighted", await page.locator("#view .at").getAttribute("data-pos"), "3");
    await page.click("#step");
    await until(page, "position", "4");
    expect("b", await text(page, "reg-b"), "1");
    await page.click("#continue");
    await until(page, "status", "ended");
    await until(page, "out", "NULL\nSTOP\n" + E);
  },
  async "a link carries the program and the keys"(page) {
    await page.fill("#text", "N^ %&#?x\u00ff");
    await page.fill("#ahead", "k=1");
    await page.click("#share");
    const other = await open(await page.inputValue("#link"));
    expect("program", await other.inputValue("#text"), "N^ %&#?x\u00ff");
    expect("keys", await other.inputValue("#ahead"), "k=1");
  },
  async "a malformed link opens an empty program with a note"() {
    const page = await open(url + "#p=%zz&q");
    expect("program", await page.inputValue("#text"), "");
    expect("note shown", await page.isVisible("#note"), true);
  },
  async "text past 700 characters is cut, with a note"(page) {
    await page.fill("#text", "!".repeat(800));
    expect("kept", (await page.inputValue("#text")).length, 700);
    expect("count", await text(page, "count"), "700 / 700");
    await until(page, "note", "cut at 700");
  },
  async "screenshot"(page) {
    await page.setViewportSize({ width: 1100, height: 800 });
    await page.selectOption("#examples", "digits");
    const output = (await page.inputValue("#text")).lastIndexOf(".");
    await page.click(`#view span:nth-child(${output + 1})`);
    await page.click("#run");
    await until(page, "status", "breakpoint");
    await page.screenshot({ path: screenshot });
  },
};

let failed = 0;
for (const [name, check] of Object.entries(checks)) {
  await check(await open()).catch((error) => {
    failed++;
    console.log(`FAILED ${name}: ${error.message.split("\n")[0]}`);
  });
}
await browser.close();
server.kill();
console.log(`page: ${Object.keys(checks).length - failed} passed, ${failed} failed`);
process.exit(failed ? 1 : 0);
