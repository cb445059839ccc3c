// The machine view: registers, step count, position, the memory cells
// with their index (cells changed since the last pause marked), and the
// list of watches.
import { cellWatch, watchedCell, watchName, watchNamed } from "./watches.js";

const $ = (id) => document.getElementById(id);
const printable = (v) => (v > 32 && v < 127 ? ` '${String.fromCharCode(v)}'` : "");

export class MachineView {
  // cells: the memory's; watchLimit: the most watches the interpreter takes.
  constructor(onWatch, cells, watchLimit) {
    this.onWatch = onWatch; // called with the new list of watches
    this.cells = cells;
    this.watchLimit = watchLimit;
    this.watches = [];
    this.drawn = new Int32Array(cells);
    this.marks = new Uint8Array(cells); // as drawn
    this.all = true; // every cell to be drawn
    this.fresh = true; // no cell drawn yet
    this.before = new Int32Array(cells); // memory at the last pause
    const memory = $("memory");
    memory.replaceChildren(...Array.from({ length: cells }, (_, i) => {
      const cell = document.createElement("div");
      cell.dataset.i = i;
      // Said as "cell 5 holds 7", shown as "5 7".
      cell.innerHTML = `<span class="sr-only">cell </span><span class="i">${i}</span><span class="sr-only"> holds </span><span class="v">0</span>`;
      return cell;
    }));
    this.values = [...memory.children].map((cell) => cell.lastChild);
    memory.onclick = (e) => {
      const cell = e.target.closest("[data-i]");
      if (cell) this.toggle(cellWatch(Number(cell.dataset.i)));
    };
    $("watch-form").onsubmit = (e) => {
      e.preventDefault();
      const w = watchNamed($("watch-what").value, cells);
      if (w < 0) {
        $("watch-what").setCustomValidity(`a, b, c, d or a cell from 0 to ${cells - 1}`);
        $("watch-what").reportValidity();
        return;
      }
      $("watch-what").setCustomValidity("");
      $("watch-what").value = "";
      if (!this.watches.includes(w)) this.toggle(w);
    };
    $("watch-what").oninput = () => $("watch-what").setCustomValidity("");
  }

  toggle(w) {
    const at = this.watches.indexOf(w);
    if (at >= 0) this.watches.splice(at, 1);
    else if (this.watches.length < this.watchLimit) this.watches.push(w);
    this.drawWatches();
    this.onWatch(this.watches);
  }

  drawWatches() {
    $("watches").replaceChildren(...this.watches.map((w) => {
      const item = document.createElement("li");
      const remove = document.createElement("button");
      remove.type = "button";
      remove.textContent = "×";
      remove.setAttribute("aria-label", `Remove the watch on ${watchName(w)}`);
      remove.onclick = () => this.toggle(w);
      item.append(`${watchName(w)} `, remove);
      return item;
    }));
    for (const cell of $("memory").querySelectorAll(".watched")) cell.classList.remove("watched");
    for (const w of this.watches) if (watchedCell(w) >= 0) $("memory").children[watchedCell(w)].classList.add("watched");
  }

  // Cells that differ from memory now are marked as just written.
  since(run) {
    if (run) this.before.set(run.memory());
    else this.before.fill(0);
    this.all = true;
  }

  // run: the Run shown, or null for the machine before any run; the memory
  // cells too unless `cells` is false.
  draw(run, cells = true) {
    ["a", "b", "c", "d"].forEach((name, i) => {
      const v = run ? run.register(i) : 0;
      $(`reg-${name}`).textContent = v + printable(v);
    });
    $("steps").textContent = run ? run.steps.toLocaleString("en") : "";
    $("position").textContent = run && run.position >= 0 ? run.position : run ? "end" : "";
    if (!cells) return;
    const mem = run ? run.memory() : new Int32Array(this.cells);
    const memory = $("memory").children;
    for (let i = 0; i < this.cells; i++) {
      const v = mem[i];
      if (this.all || v !== this.drawn[i]) {
        // A cell's text is set only when it changes: each new text is laid out.
        if (v !== this.drawn[i] || this.fresh) this.values[i].textContent = v + printable(v);
        // Its marks too: non-zero (1), changed since the last pause (2).
        const marks = (v !== 0 ? 1 : 0) | (v !== this.before[i] ? 2 : 0);
        if (marks !== this.marks[i] || this.fresh) {
          memory[i].classList.toggle("nz", (marks & 1) !== 0);
          memory[i].classList.toggle("new", (marks & 2) !== 0);
          this.marks[i] = marks;
        }
        this.drawn[i] = v;
      }
    }
    this.all = false;
    this.fresh = false;
  }
}
