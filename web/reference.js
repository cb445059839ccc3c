// The instruction reference: one row per instruction, its character
// coloured by kind as in the editor.
import { KIND_NAMES } from "./editor.js";
import { INSTRUCTIONS } from "./instructions.js";

export function fillReference(table) {
  table.tBodies[0].replaceChildren(...INSTRUCTIONS.map((ins) => {
    const row = document.createElement("tr");
    for (const text of [ins.char, KIND_NAMES[ins.kind], ins.effect, ins.example]) {
      row.append(Object.assign(document.createElement("td"), { textContent: text }));
    }
    row.firstChild.className = `k-${ins.kind}`;
    return row;
  }));
}
