// The playground on a phone, as its users go through it: a small touch
// screen and no keyboard but the one a text field brings up.
//   node phone.mjs BUILD_WEB_DIR [PART_OF_A_JOURNEY'S_NAME]
import { args, box, button, expect, PHONE, runJourneys, served, waitStatus } from "./journey.mjs";

const [only = ""] = args;
const open = () => served.open(served.url, PHONE);

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
};

await runJourneys("phone", journeys, only);
