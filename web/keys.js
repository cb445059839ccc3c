// The keyboard map: which key presses are the page's shortcuts, and which
// key code a press or a text types for the program (as the console program
// reads keys: Enter is CR, Ctrl+letter its control code). No DOM here: a
// press is anything with key, ctrlKey, metaKey, altKey and shiftKey.

// Text as key codes: Latin-1 as it is, a line end CR, anything else the
// no-op byte 0x1a.
export const codes = (text) =>
  Array.from(text, (ch) => (ch === "\n" ? 13 : ch.charCodeAt(0) < 256 ? ch.charCodeAt(0) : 26));

// The control a press stands for ("run", "stop", "step", "back", "continue",
// "breakpoint"), or null; Escape stops only what `stoppable` says can be.
export function shortcut(press, stoppable) {
  const { key } = press;
  if ((press.ctrlKey || press.metaKey) && key === "Enter") return "run";
  if (key === "Escape") return stoppable ? "stop" : null;
  if (key === "F10") return press.shiftKey ? "back" : "step";
  return key === "F8" ? "continue" : key === "F9" ? "breakpoint" : null;
}

// The key code a press in the console types, or null: Ctrl+C and Ctrl+V
// stay copy and paste, and Alt combinations are the browser's.
export function keyCode(press) {
  const { key } = press;
  if (press.altKey) return null;
  if (press.ctrlKey && key === "[") return 27;
  if (press.ctrlKey) return /^[a-z]$/i.test(key) && !/^[cv]$/i.test(key) ? key.toUpperCase().charCodeAt(0) - 64 : null;
  if (press.metaKey) return null;
  return key === "Enter" ? 13 : key === "Backspace" ? 8 : key.length === 1 ? codes(key)[0] : null;
}
