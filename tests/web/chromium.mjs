// The page served as the README says (python3 -m http.server, no special
// headers) and Debian's Chromium, headless, driven by playwright-core: for
// the page's tests and its benchmark.
import { spawn } from "node:child_process";
import { chromium } from "playwright-core";

export async function serve(dir) {
  const server = spawn("python3", ["-u", "-m", "http.server", "-b", "127.0.0.1", "-d", dir, "0"],
    { stdio: ["ignore", "pipe", "ignore"] });
  const port = await new Promise((resolve) =>
    server.stdout.on("data", (line) => /port (\d+)/.test(line) && resolve(/port (\d+)/.exec(line)[1])));
  const browser = await chromium.launch({
    executablePath: "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  });
  const url = `http://127.0.0.1:${port}/`;
  // A page of the playground once its interpreter has loaded.
  async function open(address = url, options = {}) {
    const page = await browser.newPage(options);
    await page.goto(address);
    await page.waitForSelector("body[data-ready=yes]");
    return page;
  }
  async function close() {
    await browser.close();
    server.kill();
  }
  return { browser, url, open, close };
}
