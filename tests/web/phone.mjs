// The playground on a phone, as its users go through it: a small touch
// screen and no keyboard but the one a text field brings up.
//   node phone.mjs BUILD_WEB_DIR [PART_OF_A_JOURNEY'S_NAME]
import { args, box, button, consoleText, expect, hasFocus, PHONE, runJourneys, served, until, waitStatus }
  from "./journey.mjs";

const [only = ""] = args;
const open = () => served.open(served.url, PHONE);
const info = (page) => page.locator("#info").textContent();
// "**********" then a loop that counts b down: position 10 runs 10 times.
const LOOP = "**********)$@$<=$!!!!!!!!!!?";

const journeys = {
  async "no sideways scrolling, controls 40 px tall, the machine below"() {
    const page = await open();
    await page.getByLabel("Example").selectOption("memtable"); // long runs of ! in its echo
    await button(page, "Run").tap();
    await waitStatus(page, "ended");
    expect("page and console widths", await page.evaluate(() => [document.documentElement.scrollWidth,
      document.getElementById("out").scrollWidth <= document.getElementById("out").clientWidth]), [390, true]);
    for (const b of await page.getByRole("button").all()) {
      if (await b.isVisible() && (await b.boundingBox()).height < 40) throw new Error(`${await b.textContent()} is short`);
    }
    const [editor, machine] = [await box(page).boundingBox(), await page.locator("#registers").boundingBox()];
    if (machine.y < editor.y + editor.height) throw new Error("machine beside the editor");
  },
  async "Run and Continue bring the whole console up, the status and Stop still on the screen"() {
    const long = async (page) => box(page).fill(`${"!".repeat(600)}$=`); // ends at 0: loops for ever
    // How each run starts, and what the status then says.
    const starts = [
      [async (page) => (await long(page), button(page, "Run").tap()), "Running"],
      [async (page) => (await long(page), await button(page, "Step").tap(), await waitStatus(page, "Paused"),
        button(page, "Continue").tap()), "Running"],
      [async (page) => (await page.getByLabel("Example").selectOption("hello"), button(page, "Run").tap()), "ended"],
    ];
    for (const [start, said] of starts) {
      const page = await open();
      await start(page);
      await waitStatus(page, said);
      const shown = [page.getByRole("status"), button(page, "Stop"), page.getByRole("log", { name: "Console" })];
      const inView = () => Promise.all(shown.map(async (what) => {
        const at = await what.boundingBox();
        return at.y >= 0 && at.y + at.height <= PHONE.viewport.height;
      }));
      await until(inView, (v) => v.every(Boolean), `in view, ${said}`);
      if (await button(page, "Stop").isEnabled()) await button(page, "Stop").tap();
    }
  },
  async "a trillion steps and a ten-digit b keep apart from the labels, and nothing scrolls sideways"() {
    const page = await open();
    await box(page).fill(`${"!".repeat(600)}$=`); // loops for ever, a trillion steps a second
    await button(page, "Run").tap();
    await until(() => page.locator("#steps").textContent(), (t) => t.length >= 17, "steps"); // 1,000,000,000,000
    await button(page, "Stop").tap();
    await waitStatus(page, "Stopped");
    const text = (cell) => cell.evaluate((e) => {
      const words = document.createRange();
      words.selectNodeContents(e);
      const { left, right, height } = words.getBoundingClientRect();
      return { left, right, height: Math.round(height) };
    });
    const [steps, label] = [await text(page.locator("#steps")), await text(page.locator("#registers th", { hasText: /^position$/ }))];
    if (label.left - steps.right < 8) throw new Error(`${label.left - steps.right} px between steps and "position"`);
    // The longest b and d, on the phone and in small desktop windows: on one line, as a is.
    await page.evaluate(() => {
      for (const id of ["reg-b", "reg-d"]) document.getElementById(id).textContent = "-2147483648";
    });
    for (const width of [390, 761, 961, 1000]) {
      await page.setViewportSize({ width, height: 844 });
      expect(`page width in a ${width} px window`, await page.evaluate(() => document.documentElement.scrollWidth), width);
      const [a, b] = [await text(page.locator("#reg-a")), await text(page.locator("#reg-b"))];
      if (b.height !== a.height) throw new Error(`b on more lines than a in a ${width} px window`);
    }
  },
  async "a key read: the status and the console send the keys to Keys typed ahead, where they go"() {
    const page = await open();
    await page.getByLabel("Example").selectOption("add");
    await page.getByLabel("Keys typed ahead").fill("");
    await button(page, "Run").tap();
    const said = await waitStatus(page, "Waiting for a key");
    if (!said.includes("Keys typed ahead") || said.includes("console")) throw new Error(`status: ${said}`);
    expect("focused", await hasFocus(page.getByLabel("Keys typed ahead")), true);
    await page.keyboard.type("34");
    await waitStatus(page, "ended");
    await until(() => consoleText(page), "3+4=07\n", "console");
  },
  async "the console's hint sends keys to Keys typed ahead; the memory says tap"() {
    const page = await open();
    const hint = await page.getByRole("log", { name: "Console" }).textContent();
    if (/typed here/.test(hint) || !hint.includes("Keys typed ahead")) throw new Error(`console: ${hint}`);
    const title = await page.getByRole("region", { name: "Memory cells" }).getAttribute("title");
    if (!/\btap\b/.test(title) || /click/.test(title)) throw new Error(`memory: ${title}`);
  },
  async "a tap on a character says what it does and, with the heat map, how often it ran"() {
    const page = await open();
    if (/hover/i.test(await info(page))) throw new Error(`hint: ${await info(page)}`);
    await box(page).fill(LOOP);
    await button(page, "Run").tap();
    await waitStatus(page, "ended");
    await button(page, "Heat map").tap();
    const said = await waitStatus(page, "Heat map of");
    if (!/\btap\b/.test(said) || /hover/i.test(said)) throw new Error(`status: ${said}`);
    // Each half of the character: the caret lands before or after it.
    const [cell, at] = [await page.locator("#paint [data-i='10']").boundingBox(), await box(page).boundingBox()];
    for (const part of [0.8, 0.2]) {
      await box(page).tap({ position: { x: cell.x - at.x + cell.width * part, y: cell.y - at.y + cell.height / 2 } });
      await until(() => info(page), "Position 10: ) ", `tapped at ${part} of the character`);
      await until(() => info(page), "Ran 10 times.", "count on a tap");
    }
  },
  async "the instruction reference shows its disclosure marker and opens on a tap"() {
    const page = await open();
    const summary = page.getByText("Instruction reference");
    // The marker stands before the words.
    const indent = await summary.evaluate((e) => {
      const words = document.createRange();
      words.selectNodeContents(e);
      return words.getClientRects()[0].left - e.getBoundingClientRect().left;
    });
    if (indent < 8) throw new Error(`no marker before the words (${indent} px)`);
    await summary.tap();
    await until(() => page.getByRole("table").filter({ hasText: "effect" }).isVisible(), (v) => v, "reference open");
  },
};

await runJourneys("phone", journeys, only);
