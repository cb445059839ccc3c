// The Example menu: choosing an example puts it in the program box with its
// keys typed ahead; over a program typed by hand, Undo brings that back.
import { EXAMPLES } from "./examples.js";

const $ = (id) => document.getElementById(id);

export class ExampleMenu {
  #editor;
  #note;
  #changed;
  #undo = null; // what an example replaced
  #shown = ""; // the menu's choice before the last change

  // note(text, ends, canUndo) says what happened; changed() after any change.
  constructor(editor, note, changed) {
    this.#editor = editor;
    this.#note = note;
    this.#changed = changed;
    for (const example of EXAMPLES) $("examples").add(new Option(example.name, example.name));
    $("examples").onchange = () => this.#choose(EXAMPLES.find((e) => e.name === $("examples").value));
    $("undo").onclick = () => this.#takeBack();
  }

  // After any change of the program: once it is no longer the example
  // chosen (typed over, Ctrl+Z, a link), the menu, the example's description
  // and its Undo no longer speak of it.
  edited() {
    if (!this.#shown || this.#editor.text === EXAMPLES.find((e) => e.name === this.#shown)?.text) return;
    this.#shown = $("examples").value = $("about").textContent = "";
    if (this.#undo) this.#note("");
    this.#undo = null;
  }

  #choose(example) {
    if (!example) return;
    const editor = this.#editor;
    const typed = editor.text.trim() && !EXAMPLES.some((e) => e.text === editor.text);
    // Over the example last chosen, as it was (arrowing through the menu),
    // Undo still brings back what was there before it.
    const chosen = editor.text === EXAMPLES.find((e) => e.name === this.#shown)?.text;
    if (typed) {
      this.#undo = { text: editor.text, keys: $("ahead").value, breakpoints: [...editor.breakpoints],
        example: this.#shown, about: $("about").textContent };
    } else if (!chosen) this.#undo = null;
    this.#shown = example.name;
    editor.set(example.text, [], chosen);
    $("ahead").value = example.keys;
    $("about").textContent = example.about + (example.keys ? ` (keys typed ahead: ${JSON.stringify(example.keys)})` : "");
    this.#note(this.#undo ? `The example “${example.name}” replaced your program.` : "", false, !!this.#undo);
    this.#changed();
  }

  #takeBack() {
    const undo = this.#undo;
    if (!undo) return;
    this.#editor.set(undo.text, undo.breakpoints);
    $("ahead").value = undo.keys;
    $("examples").value = this.#shown = undo.example;
    $("about").textContent = undo.about;
    this.#undo = null;
    this.#note("");
    this.#changed();
  }
}
