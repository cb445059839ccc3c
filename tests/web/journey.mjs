// What the page's journeys share: the page served to Chromium, the checks,
// the ways to find controls as a user does (role, label, text), and the
// runner, one fresh page per journey.
//   node FILE.mjs BUILD_WEB_DIR [FILE'S OWN ARGUMENTS] [PART_OF_A_JOURNEY'S_NAME]
import { serve } from "./chromium.mjs";

const [dir, ...rest] = process.argv.slice(2);
// The page served; the arguments after the directory, for the file's own use.
export const served = await serve(dir);
export const args = rest;

export function expect(what, got, want) {
  [got, want] = [JSON.stringify(got), JSON.stringify(want)];
  if (got !== want) throw new Error(`${what}: got ${got}, want ${want}`);
}
// Waits until what(page) gives a value that passes test; fails with the last.
export async function until(what, test, label, ms = 15000) {
  let got;
  for (const end = Date.now() + ms; Date.now() < end; await new Promise((r) => setTimeout(r, 40))) {
    got = await what();
    if (typeof test === "string" ? String(got).includes(test) : test(got)) return got;
  }
  throw new Error(`${label}: still ${JSON.stringify(String(got).slice(-200))}`);
}

export const button = (page, name) => page.getByRole("button", { name, exact: true });
export const status = (page) => page.getByRole("status").textContent();
export const consoleText = (page) => page.getByRole("log", { name: "Console" }).textContent();
export const box = (page) => page.getByLabel("Program", { exact: true });
export const reg = (page, r) => page.locator(`#${r}`).textContent();
export const waitStatus = (page, want, ms) => until(() => status(page), want, "status", ms);
export const ready = (page) => page.waitForSelector("body[data-ready=yes]");
export const hasFocus = (locator) => locator.evaluate((e) => e === document.activeElement);
// A phone: its screen, touch, no keyboard but the one a text field brings up.
export const PHONE = { viewport: { width: 390, height: 844 }, hasTouch: true, isMobile: true };

// Runs the journeys whose name holds `only`, each on a fresh page; exits
// with the outcome.
export async function runJourneys(name, journeys, only = "") {
  let failed = 0;
  const chosen = Object.entries(journeys).filter(([title]) => title.includes(only));
  if (!chosen.length) throw new Error(`no journey's name holds ${JSON.stringify(only)}`);
  for (const [title, journey] of chosen) {
    const page = await served.open();
    await journey(page).catch((error) => {
      failed++;
      console.log(`FAILED ${title}: ${error.message.split("\n")[0]}`);
    });
  }
  await served.close();
  console.log(`${name}: ${chosen.length - failed} passed, ${failed} failed`);
  process.exit(failed ? 1 : 0);
}

// The share of the pixels of two screenshots (PNG buffers of one size) whose
// colours are far apart: a change that a user sees, not antialiasing.
export async function unlike(page, a, b) {
  return page.evaluate(async (pngs) => {
    const [x, y] = await Promise.all(pngs.map(async (png) => {
      const image = await createImageBitmap(await (await fetch(`data:image/png;base64,${png}`)).blob());
      const canvas = new OffscreenCanvas(image.width, image.height).getContext("2d");
      canvas.drawImage(image, 0, 0);
      return canvas.getImageData(0, 0, image.width, image.height).data;
    }));
    if (x.length !== y.length) throw new Error("screenshots of different sizes");
    let far = 0;
    for (let i = 0; i < x.length; i += 4) {
      if (Math.abs(x[i] - y[i]) + Math.abs(x[i + 1] - y[i + 1]) + Math.abs(x[i + 2] - y[i + 2]) > 96) far++;
    }
    return far / (x.length / 4);
  }, [a, b].map((png) => png.toString("base64")));
}
