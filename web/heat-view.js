// The heat map on the page: its switch, the count's progress on the status
// line (Stop or Escape cancels it), the editor's colours and the list of the
// hottest positions. The count itself is heat.js's.
import { times } from "./editor.js";
import { point } from "./pointer.js";

const $ = (id) => document.getElementById(id);
const HOTTEST = 5;

export class HeatView {
  on = false;
  counting = false; // the machine is not the run's meanwhile
  #cancelled = false;
  #editor;
  #shown;
  #changed;

  // shown(): the run on the page; changed(): counting began or ended.
  constructor(editor, shown, changed) {
    this.#editor = editor;
    this.#shown = shown;
    this.#changed = changed;
  }

  cancel() {
    this.#cancelled = true;
  }

  async set(on) {
    this.on = on;
    $("heat").setAttribute("aria-pressed", String(on));
    $("hottest").hidden = !on;
    const run = this.#shown();
    if (!on) {
      if (this.#editor.heat) this.#editor.showHeat(null);
      if (run?.state === "ended" && /heat map/i.test($("status").textContent)) $("status").textContent = run.why;
      return;
    }
    $("status").textContent = "Counting… (Stop or Escape cancels)";
    this.#cancelled = false;
    this.#setCounting(true);
    const counts = await run.heat((done) => new Promise((resolve) => {
      $("status").textContent = `Counting… ${Math.floor(done * 100)}% (Stop or Escape cancels)`;
      setTimeout(() => resolve(!this.#cancelled), 0);
    }));
    this.#setCounting(false);
    if (counts === null) {
      this.set(false);
      $("status").textContent = "Heat map cancelled.";
      return;
    }
    if (run !== this.#shown() || !this.on) return;
    this.#editor.showHeat(counts);
    const hottest = [...counts.keys()].filter((i) => counts[i]).sort((x, y) => counts[y] - counts[x]).slice(0, HOTTEST);
    $("hottest").replaceChildren(...hottest.map((i) => {
      const li = document.createElement("li");
      li.textContent = `position ${i} (${String.fromCharCode(run.program[i])}): ${times(counts[i])}`;
      return li;
    }));
    const steps = `${run.steps.toLocaleString("en")} step${run.steps === 1 ? "" : "s"}`;
    $("status").textContent = `Heat map of ${steps}: ${point} a character (or move the caret to it) for its count.`;
  }

  #setCounting(counting) {
    this.counting = counting;
    this.#changed();
  }
}
