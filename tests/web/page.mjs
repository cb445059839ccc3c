// The playground in Debian's Chromium, as its users go through it: controls
// found by role, label and text, the keyboard as much as the mouse. One
// journey per feature; each fails when its feature breaks.
//   node page.mjs BUILD_WEB_DIR SCREENSHOT.png [PART_OF_A_JOURNEY'S_NAME]
import { args, box, button, consoleText, expect, hasFocus, ready, reg, runJourneys, served, status, unlike, until,
  waitStatus }
  from "./journey.mjs";

const [screenshot, only = ""] = args;
const { browser, url, open } = served;
const E = "\nProgram was end.\n";
// What the program box shows: its own text where that is visible, else its painted copy.
const shown = (page) => box(page).evaluate((e) =>
  (getComputedStyle(e).color === "rgba(0, 0, 0, 0)" ? document.getElementById("paint").textContent.trim() : e.value));
async function type(page, text, caret) { // a program typed in, the caret put at a position
  await box(page).fill(text);
  await box(page).press("Control+Home");
  for (let i = 0; i < caret; i++) await box(page).press("ArrowRight");
}
// "**********" then a loop that counts b down: position 10 runs 10 times.
const LOOP = "**********)$@$<=$!!!!!!!!!!?";
// 65536 lines of 16 bytes: 1 MiB.
const LINES = "!" + "%-".repeat(16) + "{$" + "!".repeat(65) + ".".repeat(15) + "$!!!!!!!!!!.)$@$<=$" + "!".repeat(34) + "?";

const journeys = {
  async "an example runs to its output, started from the keyboard"(page) {
    await page.getByLabel("Example").selectOption("hello");
    const program = await box(page).inputValue();
    await box(page).press("Control+Enter");
    await waitStatus(page, "ended");
    await until(() => consoleText(page), "characters): " + program + "\nHello, World!\n" + E, "console");
    // It ran as WebAssembly compiled in the page, not the loop to fall back on.
    expect("compiled runs", await page.evaluate(() => document.body.dataset.compiledRuns), "1");
  },
  async "a key read waits for keys typed in the console, and only there"(page) {
    await page.getByLabel("Example").selectOption("add");
    await page.getByLabel("Keys typed ahead").fill("");
    await box(page).press("Control+Enter"); // run from the program box: the console takes the keys
    await waitStatus(page, "Waiting for a key");
    await until(() => page.getByText("The program waits for a key").count(), (n) => n === 1, "prompt in the console");
    await page.keyboard.press("3");
    await page.getByLabel("Watch", { exact: true }).press("7"); // elsewhere a key is the page's
    await page.getByRole("log", { name: "Console" }).press("4");
    await waitStatus(page, "ended");
    await until(() => consoleText(page), "3+4=07\n" + E, "console");
  },
  async "the console says keys go to the program only while it runs"(page) {
    await until(() => consoleText(page), "Keys typed here go to the program while it runs.", "console's hint");
  },
  async "arrow and function keys in the console give the console program's two codes"(page) {
    await box(page).fill(",{,^"); // the first code into b, the second into a
    for (const [key, codes] of [["ArrowUp", [224, 72]], ["F1", [0, 59]], ["Shift+F2", [0, 85]]]) {
      await box(page).press("Control+Enter");
      await waitStatus(page, "Waiting for a key");
      await page.keyboard.press(key);
      await waitStatus(page, "ended");
      expect(key, [parseInt(await reg(page, "reg-b")), parseInt(await reg(page, "reg-a"))], codes);
    }
  },
  async "where the page's policy comes to refuse compiling WebAssembly, runs go on right and stop trying"(page) {
    // A policy without 'wasm-unsafe-eval' once the module has loaded (the
    // module itself needs it), and every compile the page tries counted.
    await page.evaluate(() => {
      const policy = Object.assign(document.createElement("meta"), { httpEquiv: "Content-Security-Policy" });
      policy.content = "script-src 'self' 'unsafe-inline'";
      document.head.append(policy);
      window.compiles = 0;
      WebAssembly.Module = new Proxy(WebAssembly.Module, {
        construct: (module, args) => (window.compiles++, new module(...args)),
      });
    });
    // b = 2^22, then a loop that counts it down: many slices long.
    await box(page).fill("!" + "%-".repeat(22) + "{)$@$<=$" + "!".repeat(46) + "?");
    for (const run of [1, 2]) {
      await box(page).press("Control+Enter");
      await waitStatus(page, "ended");
      await until(() => consoleText(page), "?\n" + E, `console after run ${run}`);
    }
    expect("compiles tried", await page.evaluate(() => window.compiles), 1);
    expect("runs, compiled runs", await page.evaluate(() => [document.body.dataset.runs, document.body.dataset.compiledRuns]), ["2", "0"]);
  },
  async "registers and memory move during a run; Tab reaches Stop and Enter on it stops"(page) {
    await box(page).fill("*@(%=^"); // cell 0 = 1, then again, for ever
    await box(page).press("Control+Enter");
    const first = await until(() => reg(page, "steps"), (s) => s && s !== "0", "steps");
    await until(() => reg(page, "steps"), (s) => s !== first, "steps moving");
    await until(() => page.locator("#memory [data-i='0'] .v").textContent(), "1", "cell 0 during the run");
    await box(page).press("Tab");
    expect("focused", await page.evaluate(() => document.activeElement.textContent), "Stop");
    await page.keyboard.press("Enter");
    await waitStatus(page, "Stopped.");
    if ((await consoleText(page)).includes(E)) throw new Error("closing words after Stop");
  },
  async "when the focused control disables itself, focus goes on to the one to use next"(page) {
    await box(page).fill("=^");
    await button(page, "Run").click();
    await waitStatus(page, "Running");
    expect("focused after Run", await hasFocus(button(page, "Stop")), true);
    await page.keyboard.press("Enter");
    await waitStatus(page, "Stopped.");
    expect("focused after Stop", await hasFocus(button(page, "Run")), true);
  },
  async "a program printing unprintable bytes forever: Stop, Step back, and Escape cancels the heat map's count"(page) {
    await page.clock.install(); // time goes on as usual until paused below
    await box(page).fill("*:$?"); // bytes 1, 2, 3 ... 255, 0, 1 ...
    await button(page, "Run").click();
    await until(() => consoleText(page), "\u2401\u2402\u2403", "control pictures");
    await page.keyboard.press("Escape");
    await waitStatus(page, "Stopped.");
    const steps = Number((await reg(page, "steps")).replace(/,/g, ""));
    const drawn = await page.locator("#out").textContent();
    await page.keyboard.press("Shift+F10");
    const back = await waitStatus(page, `Back at step ${(steps - 1).toLocaleString("en")}, before position`);
    // The console as it was, less the byte that step printed if it was ':'.
    const want = / position 1\b/.test(back) ? drawn.slice(-301, -1) : drawn.slice(-300);
    expect("console after Step back", (await page.locator("#out").textContent()).slice(-300), want);
    // The page's clock stands still from here: the count, which lets the page
    // have its turn before each part, cannot go on before Escape, however fast.
    await page.clock.pauseAt(Date.now() + 1000);
    await button(page, "Heat map").click();
    await waitStatus(page, "Counting");
    await page.keyboard.press("Escape");
    await page.clock.resume();
    await waitStatus(page, "Heat map cancelled.");
  },
  async "a program printing 1 MiB of lines, compiled and tried out unseen while the user pauses, runs that code to its end; scrolling the console up brings earlier lines"(page) {
    await page.waitForTimeout(300); // the warm-up of the page's first program is over
    await page.evaluate(() => {
      window.compiles = 0;
      WebAssembly.Module = new Proxy(WebAssembly.Module, {
        construct: (module, args) => (window.compiles++, new module(...args)),
      });
    });
    await box(page).fill(LINES);
    await until(() => page.evaluate(() => window.compiles), (n) => n === 1, "compiles while the page is idle");
    await page.waitForTimeout(200); // the code's rehearsal, printing, is over
    expect("console and a before Run", [(await consoleText(page)).trim(), await reg(page, "reg-a")],
      ["Keys typed here go to the program while it runs.", "0"]);
    await button(page, "Run").click();
    await waitStatus(page, "ended", 20000);
    await until(() => consoleText(page), "AAAAAAAAAAAAAAA\n" + E, "console");
    expect("compiles after Run", await page.evaluate(() => window.compiles), 1);
    const drawn = (await consoleText(page)).length;
    await page.locator("#out").hover();
    for (let i = 0; i < 3; i++) await page.mouse.wheel(0, -20000);
    await until(() => consoleText(page), (text) => text.length > drawn, "console after scrolling up");
  },
  async "Continue from a breakpoint goes on to it again"(page) {
    await page.getByLabel("Example").selectOption("digits");
    await type(page, await box(page).inputValue(), (await box(page).inputValue()).lastIndexOf("."));
    await button(page, "Breakpoint").click();
    await button(page, "Run").click();
    await waitStatus(page, "Paused at the breakpoint at position 106");
    const steps = await reg(page, "steps");
    await button(page, "Continue").click();
    await until(() => reg(page, "steps"), (s) => s !== steps, "steps after Continue");
    await waitStatus(page, "Paused at the breakpoint at position 106");
    await until(() => consoleText(page), "00 01", "console");
  },
  async "leading blanks: a breakpoint, the highlight and Step count as the console does"(page) {
    await type(page, "  !!N^", 4);
    await box(page).press("F9");
    await box(page).press("Control+Enter");
    await waitStatus(page, "breakpoint at position 2");
    expect("highlighted", await page.locator("#paint .at").textContent(), "N");
    if ((await consoleText(page)).includes("NULL")) throw new Error("NULL printed before the breakpoint");
    await box(page).press("F10");
    await until(() => consoleText(page), "!!N^\nNULL\n", "after Step");
    await page.keyboard.press("Escape");
    await waitStatus(page, "Stopped.");
    await type(page, " !!N^ x", 0);
    await until(() => page.getByText("what follows is not run").count(), (n) => n === 1, "note on the white space");
  },
  async "a watch pauses when its memory cell changes"(page) {
    await box(page).fill("*@!!!!!(!!(N^");
    await page.getByLabel("Watch", { exact: true }).fill("5");
    await page.getByLabel("Watch", { exact: true }).press("Enter");
    await button(page, "Run").click();
    await waitStatus(page, "mem[5] changed from 0 to 1");
    expect("steps", await reg(page, "steps"), "8");
    // What a screen reader says of the cell: its index and value apart.
    expect("marked", await page.locator("#memory .new").ariaSnapshot(), "- text: cell 5 holds 1");
  },
  async "time travel: Step back and the slider take the machine and output back"(page) {
    await type(page, "!!!N*@(^", 7); // ( at 6 stores d = 1 into mem[3]
    await box(page).press("F9");
    await box(page).press("Control+Enter");
    await waitStatus(page, "breakpoint at position 7");
    const cell3 = () => page.locator("#memory [data-i='3'] .v").textContent();
    expect("mem[3]", await cell3(), "1");
    await button(page, "Step back").click();
    await waitStatus(page, "Back at step 6, before position 6");
    expect("a, mem[3]", [await reg(page, "reg-a"), await cell3()], ["3", "0"]);
    await page.getByLabel("Time").press("Home");
    await waitStatus(page, "Back at step 0");
    expect("a at 0", await reg(page, "reg-a"), "0");
    if ((await consoleText(page)).includes("NULL")) throw new Error("output after step 0 still shown");
    await page.getByLabel("Time").press("ArrowRight");
    await page.getByLabel("Time").press("ArrowRight");
    await waitStatus(page, "Back at step 2");
    await page.keyboard.press("F8"); // goes on from there
    await waitStatus(page, "breakpoint at position 7");
    await page.keyboard.press("F8");
    await waitStatus(page, "ended");
    await until(() => consoleText(page), "!!!N*@(^\nNULL\nSTOP\n" + E, "console");
    await page.keyboard.press("Shift+F10"); // and after the end
    await waitStatus(page, "Back at step 7");
    if ((await consoleText(page)).includes("STOP")) throw new Error("output after step 7 still shown");
    await page.keyboard.press("F8");
    await waitStatus(page, "ended");
    await until(() => consoleText(page), "!!!N*@(^\nNULL\nSTOP\n" + E, "console after going on from the end");
    await page.getByLabel("Time").press("Home");
    await page.getByLabel("Time").press("End");
    await waitStatus(page, "The program has ended.");
  },
  async "a reload keeps the breakpoints, and so does the next visit"() {
    const context = await browser.newContext(); // two tabs
    const page = await context.newPage();
    await page.goto(url);
    await ready(page);
    await type(page, "!!!*N^", 3);
    await box(page).press("F9");
    await page.reload();
    await ready(page);
    await box(page).press("Control+Enter");
    await waitStatus(page, "Paused at the breakpoint at position 3");
    const tab = await context.newPage();
    await tab.goto(url);
    await ready(tab);
    expect("program", await box(tab).inputValue(), "!!!*N^");
    await box(tab).press("Control+Enter");
    await waitStatus(tab, "Paused at the breakpoint at position 3");
  },
  async "the heat map counts how often each position ran"(page) {
    await type(page, LOOP, 10);
    await box(page).press("Control+Enter");
    await waitStatus(page, "ended");
    await button(page, "Heat map").click();
    await until(() => page.getByRole("list", { name: "Hottest positions" }).textContent(), "position 10 ()): 10 times", "hottest");
    await box(page).hover({ position: { x: 14, y: 14 } });
    await until(() => page.locator("#info").textContent(), "Ran 1 time.", "count on hover");
    await box(page).press("End");
    await page.keyboard.type("x"); // a changed program: the map and what it said go
    await until(() => status(page), (s) => !/heat map/i.test(s), "status after an edit");
  },
  async "the caret shows what an instruction does; a full program keeps the caret"(page) {
    await type(page, "!".repeat(699) + "N", 699);
    await until(() => page.locator("#info").textContent(), "write the line NULL (output)", "reference at the caret");
    const instructions = await page.evaluate(async () => (await import("./instructions.js")).INSTRUCTIONS.length);
    expect("reference rows", await page.locator("#reference tbody tr").count(), instructions);
    await type(page, "!".repeat(700), 10);
    await page.keyboard.type("x\u20ac");
    expect("kept", (await box(page).inputValue()).length, 700);
    expect("caret", await box(page).evaluate((e) => e.selectionStart), 10);
    await until(() => page.getByRole("alert").textContent(), "at most 700", "note");
    await type(page, "!!N^", 0);
    const [cell, at] = [await page.locator("#paint [data-i='2']").boundingBox(), await box(page).boundingBox()];
    await box(page).click({ modifiers: ["Control"], position: { x: cell.x - at.x + cell.width * 0.8, y: cell.y - at.y + cell.height / 2 } });
    await page.evaluate(() => new Promise((done) => requestAnimationFrame(() => setTimeout(done)))); // the caret's move described
    expect("Ctrl+click", (await page.locator("#info").textContent()).slice(0, 13), "Position 2: N");
    await type(page, "!!", 1);
    await page.keyboard.type("\u20ac");
    expect("beyond Latin-1", [await box(page).inputValue(), await box(page).evaluate((e) => e.selectionStart)], ["!\x1a!", 2]);
  },
  async "what the box does not take is said in a sentence"(page) {
    const note = () => page.getByRole("alert").textContent();
    await box(page).focus();
    await page.keyboard.insertText("!".repeat(705)); // as a paste
    await until(note, (t) => t.startsWith("The program holds at most 700 characters."), "note on a long paste");
    await box(page).fill("");
    await page.keyboard.insertText("!\u20ac");
    await until(note, (t) => t.startsWith("Characters beyond Latin-1 became the no-op byte 0x1a."), "note beyond Latin-1");
  },
  async "a note goes once the program is edited or run"(page) {
    const note = page.getByRole("alert");
    await box(page).fill("N^");
    await button(page, "Copy link").click();
    await until(() => note.textContent(), "The link", "note on Copy link");
    await box(page).press("End");
    await page.keyboard.type("!");
    expect("note after typing", await note.isVisible(), false);
    await box(page).focus();
    await page.keyboard.insertText("!".repeat(705));
    await until(() => note.textContent(), "at most 700", "note on a long paste");
    await box(page).press("Control+a");
    await page.keyboard.type("N^");
    expect("note after typing over", await note.isVisible(), false);
    await page.keyboard.insertText("!".repeat(705));
    await until(() => note.textContent(), "at most 700", "note on a long paste");
    await button(page, "Run").click();
    await waitStatus(page, "ended");
    expect("note after a run", await note.isVisible(), false);
  },
  async "typing into the program during its run says to stop it first, and the note goes with the run"(page) {
    const note = page.getByRole("alert");
    await box(page).fill("=^"); // loops for ever
    await box(page).press("Control+Enter");
    await waitStatus(page, "Running");
    await box(page).click();
    await page.keyboard.type("!");
    await until(() => note.textContent(), "cannot be changed during its run", "note on typing");
    expect("program", await box(page).inputValue(), "=^");
    await page.keyboard.press("Escape");
    await waitStatus(page, "Stopped");
    await until(() => note.isVisible(), (v) => !v, "note after Stop");
  },
  async "the address holds the program and keys; a typed link opens; a reload restores"(page) {
    await box(page).fill("N^ &=?{}x\u00ff");
    await page.getByLabel("Keys typed ahead").fill("k&1");
    expect("link", await page.evaluate(() => location.hash), "#k=k%261&p=N^%20&=?{}x%FF");
    const other = await open(url + "#p=N^");
    expect("typed link", await box(other).inputValue(), "N^");
    await other.goto(url);
    await other.waitForSelector("body[data-ready=yes]");
    expect("restored", await box(other).inputValue(), "N^");
    for (const link of ["#q=1", "#p=%zz&q"]) {
      const bad = await open(url + link);
      await until(() => bad.getByRole("alert").textContent(), "could not be read", `note on ${link}`);
      expect(`program of ${link}`, await box(bad).inputValue(), "");
    }
    // A program that looks like a link's keys survives its own link.
    await page.getByLabel("Keys typed ahead").fill("");
    await box(page).fill("..&k=..");
    const own = await open(url + await page.evaluate(() => location.hash));
    expect("own link", [await box(own).inputValue(), await own.getByLabel("Keys typed ahead").inputValue()], ["..&k=..", ""]);
    const long = await open(url + "#p=" + "!".repeat(1 << 20));
    expect("long link", (await box(long).inputValue()).length, 700);
    await until(() => long.getByRole("alert").textContent(), "cut at 700", "note on a long link");
  },
  async "choosing an example over typed work can be undone, not during its run, also after arrowing through the menu; typed over, it is forgotten"(page) {
    await box(page).fill("!!N^");
    await page.getByLabel("Example").selectOption("add");
    await page.getByLabel("Keys typed ahead").fill("");
    await button(page, "Run").click();
    await waitStatus(page, "Waiting for a key");
    expect("Undo during the run", await button(page, "Undo").isDisabled(), true);
    await button(page, "Stop").click();
    await waitStatus(page, "Stopped.");
    await button(page, "Undo").click();
    expect("program, example", [await box(page).inputValue(), await page.getByLabel("Example").inputValue()], ["!!N^", ""]);
    for (let i = 0; i < 3; i++) await page.getByLabel("Example").press("ArrowDown");
    await button(page, "Undo").click();
    expect("after arrowing", [await box(page).inputValue(), await page.getByLabel("Example").inputValue()], ["!!N^", ""]);
    // Once the program is no longer the example, nothing speaks of it.
    const about = page.getByText("reads two digits and writes their sum");
    await page.getByLabel("Example").selectOption("add");
    await box(page).press("Control+z");
    expect("after Ctrl+Z", [await box(page).inputValue(), await page.getByLabel("Example").inputValue(),
      await about.isVisible(), await button(page, "Undo").isVisible()], ["!!N^", "", false, false]);
    await page.getByLabel("Example").selectOption("add");
    await box(page).press("End");
    await box(page).pressSequentially("N");
    expect("typed over", [await page.getByLabel("Example").inputValue(), await about.isVisible(),
      await button(page, "Undo").isVisible()], ["", false, false]);
  },
  async "after arrowing through the Example menu, one Ctrl+Z in the box brings back what was typed"(page) {
    await box(page).fill("N!N^");
    for (let i = 0; i < 3; i++) await page.getByLabel("Example").press("ArrowDown");
    await box(page).press("Control+z");
    expect("after one Ctrl+Z", [await box(page).inputValue(), await page.getByLabel("Example").inputValue(),
      await button(page, "Undo").isVisible()], ["N!N^", "", false]);
  },
  async "with a link or a kept program, Tab goes through the page from the top"(page) {
    await box(page).fill("N^");
    for (const address of [url + "#p=N^", url]) {
      await page.goto("about:blank");
      await page.goto(address);
      await ready(page);
      await page.keyboard.press("Tab");
      expect(`first Tab on ${address}`, await hasFocus(page.getByLabel("Example")), true);
      await page.keyboard.press("Tab");
      expect(`second Tab on ${address}`, await hasFocus(button(page, "Copy link")), true);
    }
  },
  async "while the module loads, the count says what the box holds and follows typing"() {
    const page = await browser.newPage({ serviceWorkers: "block" });
    let release;
    const held = new Promise((resolve) => (release = resolve));
    await page.route("**/vek.wasm", async (route) => (await held, route.continue()));
    await page.goto(url + "#p=*!N^");
    await until(() => status(page), "Loading", "status");
    await until(() => page.getByText(" / 700").textContent(), "4 / 700", "count of the link's program");
    await box(page).press("End");
    await page.keyboard.type("!");
    await until(() => page.getByText(" / 700").textContent(), "5 / 700", "count after typing");
    release();
    await until(() => button(page, "Run").isDisabled(), (d) => !d, "Run enabled");
    expect("count once loaded", await page.getByText(" / 700").textContent(), "5 / 700");
  },
  async "until the module has loaded, what needs it is disabled, the program kept or linked shows, and what is typed is kept"() {
    const page = await browser.newPage({ serviceWorkers: "block" }); // every visit asks the server
    let release, held;
    const hold = () => (held = new Promise((resolve) => (release = resolve)));
    await page.route("**/vek.wasm", async (route) => (await held, route.continue()));
    hold();
    await page.goto(url + "#k=k&p=*!N^"); // a link on a slow network: its program at once, and typed over
    await until(() => status(page), "Loading", "status");
    expect("link's program and keys while loading", [await shown(page), await page.getByLabel("Keys typed ahead").inputValue()],
      ["*!N^", "k"]);
    await box(page).press("End");
    await page.keyboard.type("!");
    release();
    await until(() => button(page, "Run").isDisabled(), (d) => !d, "Run enabled");
    expect("link's program typed over", [await shown(page), await page.getByRole("alert").isVisible()], ["*!N^!", false]);
    hold();
    await page.goto("about:blank");
    await page.goto(url); // and without one, the program kept
    await until(() => status(page), "Loading", "status");
    expect("kept program while loading", await shown(page), "*!N^!");
    for (const name of ["Run", "Breakpoint", "Copy link", "Add watch"]) {
      expect(`${name} disabled`, await button(page, name).isDisabled(), true);
    }
    await box(page).click();
    await page.keyboard.press("Control+a");
    await page.keyboard.type("*N^");
    await page.getByLabel("Keys typed ahead").click();
    await page.keyboard.press("Control+a");
    await page.keyboard.type("z");
    expect("shown while loading", await shown(page), "*N^");
    release();
    await until(() => button(page, "Run").isDisabled(), (d) => !d, "Run enabled");
    expect("kept", [await box(page).inputValue(), await page.getByLabel("Keys typed ahead").inputValue()], ["*N^", "z"]);
    expect("shown", await shown(page), "*N^");
    for (const name of ["Breakpoint", "Copy link", "Add watch"]) {
      expect(`${name} enabled`, await button(page, name).isDisabled(), false);
    }
    // Typed into the empty box before the page's script ran: the link's
    // program is not opened, and the page says so.
    let go;
    const script = new Promise((resolve) => (go = resolve));
    await page.route("**/main.js", async (route) => (await script, route.continue()));
    await page.goto("about:blank");
    await page.goto(url + "#p=*!N^", { waitUntil: "commit" });
    await box(page).fill("N^");
    go();
    await until(() => button(page, "Run").isDisabled(), (d) => !d, "Run enabled");
    expect("typed before the script", await box(page).inputValue(), "N^");
    await until(() => page.getByRole("alert").textContent(), "was not opened", "note");
  },
  async "under forced colours the heat map and its button's pressed state show; the Time slider keeps its length"(page) {
    await page.emulateMedia({ forcedColors: "active" });
    await type(page, LOOP, 0);
    await box(page).press("Control+Enter");
    await waitStatus(page, "ended");
    const hottest = page.locator("#paint [data-i='10']");
    const [plain, unpressed] = [await hottest.screenshot(), await button(page, "Heat map").screenshot()];
    await button(page, "Heat map").click();
    await waitStatus(page, "Heat map of");
    if ((await hottest.screenshot()).equals(plain)) throw new Error("the heat map shows nothing");
    await box(page).focus(); // neither focused nor under the mouse, as before
    await page.mouse.move(0, 0);
    const pressed = await unlike(page, await button(page, "Heat map").screenshot(), unpressed);
    if (pressed < 0.3) throw new Error(`the button does not look pressed (${pressed} of it changed)`);
    const slider = page.getByLabel("Time");
    await slider.press("Home");
    await waitStatus(page, "Back at step 0,");
    const width = (await slider.boundingBox()).width;
    await slider.press("End");
    await waitStatus(page, "ended");
    expect("slider's width at the end", (await slider.boundingBox()).width, width);
  },
  async "under forced colours a memory cell shows whether it is zero, non-zero or just changed"(page) {
    await page.emulateMedia({ forcedColors: "active" });
    await type(page, "*@!!!!!(!!(N^", 10); // mem[5] = 1, then mem[7] = 1
    await box(page).press("F9");
    await box(page).press("ArrowRight");
    await box(page).press("F9");
    await box(page).press("Control+Enter");
    await waitStatus(page, "breakpoint at position 10");
    await box(page).press("F8");
    await waitStatus(page, "breakpoint at position 11");
    // The top row of a cell's pixels, above its text.
    const top = async (i) => page.screenshot({ clip: { ...(await page.locator(`#memory [data-i='${i}']`).boundingBox()), height: 1 } });
    const [zero, set, changed] = [await top(9), await top(5), await top(7)];
    const apart = [await unlike(page, set, zero), await unlike(page, changed, zero), await unlike(page, changed, set)];
    if (Math.min(...apart) < 0.5) throw new Error(`zero, non-zero and changed cells look alike (${apart})`);
  },
  async "every text colour has 4.5:1 contrast"(page) {
    await box(page).fill(" " + "!@(.,?x".repeat(3) + " y");
    const low = await page.evaluate(() => {
      const rgb = (c) => c.match(/[\d.]+/g).map(Number);
      const lum = ([r, g, b]) => [r, g, b].map((v) => ((v /= 255) <= 0.03928 ? v / 12.92 : ((v + 0.055) / 1.055) ** 2.4))
        .reduce((s, v, i) => s + v * [0.2126, 0.7152, 0.0722][i], 0);
      const back = (e) => {
        for (; e; e = e.parentElement) {
          const c = rgb(getComputedStyle(e).backgroundColor);
          if (c.length < 4 || c[3] > 0) return c;
        }
        return [255, 255, 255];
      };
      return [...document.querySelectorAll("body *")].filter((e) => e.childNodes[0]?.nodeType === 3 && e.checkVisibility())
        .map((e) => [e.textContent.slice(0, 20), lum(rgb(getComputedStyle(e).color)), lum(back(e))])
        .map(([t, a, b]) => [t, (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05)])
        .filter(([t, ratio]) => t.trim() && ratio < 4.5);
    });
    expect("low contrast", low, []);
  },
  async "screenshot"(page) {
    await page.setViewportSize({ width: 1100, height: 820 });
    await page.getByLabel("Example").selectOption("memtable");
    await box(page).press("Control+Enter");
    await waitStatus(page, "ended");
    await page.mouse.wheel(0, -2000); // back up from the console, which Run brought up
    await button(page, "Heat map").click();
    await waitStatus(page, "Heat map");
    for (let i = 0; i < 4; i++) await page.getByLabel("Time").press("PageDown");
    const step = Number(await page.getByLabel("Time").inputValue()).toLocaleString("en");
    const at = (await waitStatus(page, `Back at step ${step},`)).match(/before position (\d+)/)[1];
    const [cell, whole] = [await page.locator(`#paint [data-i='${at}']`).boundingBox(), await box(page).boundingBox()];
    // The mouse over it: the line below says how often it ran.
    await box(page).hover({ position: { x: cell.x - whole.x + cell.width / 2, y: cell.y - whole.y + cell.height / 2 } });
    await until(() => page.locator("#info").textContent(), `Position ${at}:`, "the line under the editor");
    await page.screenshot({ path: screenshot });
  },
};

await runJourneys("page", journeys, only);
