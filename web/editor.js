// The program editor: a plain text box (so caret, selection and undo are the
// browser's own) over a painted copy of its text with each character coloured
// by kind, breakpoints underlined, the position about to run highlighted and,
// on request, the heat of each position. Positions count as the interpreter
// counts them: from the first character after leading white space, up to the
// first white space after it.
import { INSTRUCTIONS } from "./instructions.js";
import { word } from "./words.js";

export const BY_CHAR = Object.fromEntries(INSTRUCTIONS.map((i) => [i.char, i]));
export const KIND_NAMES = { arith: "arithmetic", copy: "copy and swap", memory: "memory", output: "output",
  input: "input", flow: "jumps and stop", noop: "no-op" };

export const times = (n) => `${n.toLocaleString("en")} time${n === 1 ? "" : "s"}`;
export const kindOf = (ch) => BY_CHAR[ch]?.kind ?? "noop";

// What the character count says of a text: the program's length (as the
// interpreter reads the word) out of `size`.
export function count(text, size) {
  const { start, end } = word(Uint8Array.from(text, (ch) => ch.charCodeAt(0)), size);
  return `${Math.min(end - start, size)} / ${size}`;
}

// Characters beyond Latin-1 become the no-op byte 0x1a: one byte each.
const latin1 = (text) => Array.from(text, (ch) => (ch.codePointAt(0) < 256 ? ch : "\x1a")).join("");

export class Editor {
  // size: the most characters a program has.
  constructor(onChange, note, size) {
    this.size = size;
    this.box = document.getElementById("text");
    this.paintEl = document.getElementById("paint");
    this.info = document.getElementById("info");
    this.hint = this.info.textContent; // what the line says before any character is chosen
    this.count = document.getElementById("count");
    this.onChange = onChange;
    this.note = note;
    this.breakpoints = new Set(); // indices into the box's text
    this.at = -1; // index highlighted
    this.heat = null;
    this.old = "";
    this.setLast = null; // the text set() put in as an edit, until the next edit
    this.quiet = false; // an edit set() makes and takes back at once
    this.box.addEventListener("beforeinput", (e) => this.beforeInput(e));
    this.box.addEventListener("input", () => this.changed());
    // Typing elsewhere makes an edit of its own, which an undo here would take back.
    document.addEventListener("input", (e) => {
      if (e.target !== this.box && e.target.matches?.("input, textarea")) this.setLast = null;
    });
    this.box.addEventListener("scroll", () => (this.paintEl.scrollTop = this.box.scrollTop));
    document.addEventListener("selectionchange", () => {
      if (document.activeElement === this.box) this.describe(this.caretIndex());
    });
    this.box.addEventListener("mousemove", (e) => {
      const i = this.indexAt(e.clientX, e.clientY);
      if (i >= 0) this.describe(i);
    });
    // A click or a tap on a character (Ctrl+click also toggles its breakpoint)
    // describes it: the caret lands before or after it, and its move is
    // described first, so the character is described again after that.
    this.box.addEventListener("click", (e) => {
      const i = this.indexAt(e.clientX, e.clientY);
      if (i < 0) return;
      if (e.ctrlKey || e.metaKey) this.toggle(i);
      setTimeout(() => this.describe(i));
    });
    new ResizeObserver(() => this.fit()).observe(this.box);
    // From here the painted copy shows the text (what was typed so far too).
    this.box.parentElement.classList.add("painted");
    this.paint();
  }

  get text() {
    return this.box.value;
  }
  get bytes() {
    return Uint8Array.from(this.box.value, (ch) => ch.charCodeAt(0));
  }
  get word() {
    return word(this.bytes, this.size);
  }

  // Typing or pasting what would not fit, or characters beyond Latin-1: the
  // box takes what fits, as one byte each, and the caret stays where it was.
  beforeInput(e) {
    if (this.box.readOnly) return; // no edit comes
    this.note(""); // what the last note said is of the text before this edit
    if (!e.inputType.startsWith("insert")) return;
    const data = e.data ?? e.dataTransfer?.getData("text/plain");
    if (data == null) return;
    const room = this.size - this.box.value.length + (this.box.selectionEnd - this.box.selectionStart);
    let clean = latin1(data);
    const notes = [];
    if (clean !== data) notes.push("Characters beyond Latin-1 became the no-op byte 0x1a.");
    if (clean.length > room) {
      clean = clean.slice(0, Math.max(0, room));
      notes.push(`The program holds at most ${this.size} characters.`);
    }
    if (clean === data) return;
    e.preventDefault();
    if (clean) document.execCommand("insertText", false, clean);
    this.note(notes.join(" "));
  }

  // After any edit: breakpoints move with the text around them.
  changed() {
    if (this.quiet) return;
    this.setLast = null;
    let text = this.box.value;
    if (text.length > this.size || latin1(text) !== text) { // dropped in, or set from outside
      const caret = this.box.selectionStart;
      text = latin1(text).slice(0, this.size);
      this.box.value = text;
      this.box.setSelectionRange(Math.min(caret, text.length), Math.min(caret, text.length));
      this.note(`The program was cut at ${this.size} characters.`);
    }
    const old = this.old;
    let head = 0;
    while (head < old.length && head < text.length && old[head] === text[head]) head++;
    let tail = 0;
    while (tail < old.length - head && tail < text.length - head &&
      old[old.length - 1 - tail] === text[text.length - 1 - tail]) tail++;
    const moved = new Set();
    for (const i of this.breakpoints) {
      if (i < head) moved.add(i);
      else if (i >= old.length - tail) moved.add(i + text.length - old.length);
    }
    this.breakpoints = moved;
    this.old = text;
    this.heat = null;
    this.paint();
    this.onChange();
  }

  // Replaces the whole text as one edit that Ctrl+Z undoes; with `over`, the
  // edit replaces the one set last if the text is still what it set (picks
  // from a menu, one after another, are one edit to undo).
  set(text, breakpoints = [], over = false) {
    if (text.length > this.size) this.note(`The program was cut at ${this.size} characters.`);
    text = latin1(text).slice(0, this.size);
    const focused = document.activeElement;
    // With nothing focused (the page opening) there is no edit to undo, and
    // focusing the box would make Tab go on from it.
    if (!focused || focused === document.body) [this.box.value, this.setLast] = [text, null];
    else {
      this.box.focus();
      if (over && this.setLast === this.box.value) {
        this.quiet = true; // the text undone is not an edit of its own
        document.execCommand("undo");
        this.quiet = false;
      }
      this.box.select();
      const undoable = document.execCommand("insertText", false, text) && this.box.value === text;
      if (!undoable) this.box.value = text;
      this.setLast = undoable ? text : null;
      focused.focus();
    }
    this.box.setSelectionRange(0, 0);
    this.old = text;
    this.breakpoints = new Set(breakpoints);
    this.heat = null;
    this.paint();
    this.info.textContent = this.hint; // it spoke of the text replaced
    this.onChange();
  }

  positions() { // breakpoints as positions of the run
    const { start, end } = this.word;
    return [...this.breakpoints].filter((i) => i >= start && i < end).map((i) => i - start);
  }
  caretIndex() {
    const { start, end } = this.word;
    const i = this.box.selectionStart;
    return i >= end && i > start ? i - 1 : i;
  }
  toggle(i = this.caretIndex()) {
    const { start, end } = this.word;
    if (i < start || i >= end) {
      this.note("A breakpoint goes on a character of the program.");
      return;
    }
    if (!this.breakpoints.delete(i)) this.breakpoints.add(i);
    this.paint();
    this.describe(i);
    this.onChange();
  }
  // The position about to run (-1: none).
  mark(position) {
    const at = position < 0 ? -1 : position + this.word.start;
    if (at === this.at) return;
    this.paintEl.children[this.at]?.classList.remove("at");
    this.paintEl.children[at]?.classList.add("at");
    this.at = at;
  }
  showHeat(counts) {
    this.heat = counts;
    this.paint();
  }

  fit() {
    this.box.style.height = "auto";
    this.box.style.height = `${this.box.scrollHeight + 2}px`;
  }

  paint() {
    const text = this.box.value;
    const { start, end } = this.word;
    const most = this.heat ? Math.max(1, ...this.heat) : 0;
    const spans = [];
    for (let i = 0; i < text.length; i++) {
      const span = document.createElement("span");
      span.textContent = text[i];
      span.dataset.i = i;
      if (i < start) span.className = "lead";
      else if (i >= end) span.className = "dead";
      else {
        span.className = `k-${kindOf(text[i])}`;
        const count = this.heat?.[i - start];
        if (count) {
          const f = Math.log(count + 1) / Math.log(most + 1);
          span.style.background = `hsl(${50 - 50 * f}, 100%, ${92 - 27 * f}%)`;
          span.style.setProperty("--heat", f.toFixed(2)); // where forced colours drop the background
          span.classList.add("hot");
        }
      }
      if (this.breakpoints.has(i)) span.classList.add("breakpoint");
      if (i === this.at) span.classList.add("at");
      spans.push(span);
    }
    this.paintEl.replaceChildren(...spans, text.endsWith("\n") || !text ? " " : "");
    this.paintEl.classList.toggle("heat", !!this.heat);
    this.count.textContent = count(text, this.size);
    if (end < text.length && /\S/.test(text.slice(end))) {
      this.note(`The program ends at the white space after position ${end - start - 1}: what follows is not run.`, true);
    } else this.note("", true);
    this.fit();
  }

  indexAt(x, y) {
    const el = document.elementsFromPoint(x, y).find((e) => e.parentElement === this.paintEl && e.dataset.i);
    return el ? Number(el.dataset.i) : -1;
  }

  // The line under the editor: what the character at index i does.
  describe(i) {
    const text = this.box.value;
    const { start, end } = this.word;
    if (i < 0 || i >= text.length) return;
    if (i < start || i >= end) {
      this.info.textContent = i < start ? "White space before the program is skipped, as the console does."
        : "After the program: not run.";
      return;
    }
    const ch = text[i];
    const ins = BY_CHAR[ch];
    const code = ch.charCodeAt(0);
    let line = `Position ${i - start}: ` + (ins ? `${ch} — ${ins.effect} (${KIND_NAMES[ins.kind]}); e.g. ${ins.example}.`
      : `byte ${code}${code > 32 && code < 127 ? ` (${ch})` : ""} — no-op.`);
    if (this.heat) line += ` Ran ${times(this.heat[i - start])}.`;
    if (this.breakpoints.has(i)) line += " Breakpoint.";
    this.info.textContent = line;
  }
}
