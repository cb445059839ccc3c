// The keyboard map: which key presses are the page's shortcuts, and which
// key codes a press or a text types for the program (as the console program
// reads keys: Enter is CR, Ctrl+letter its control code, an arrow or a
// function key two codes). No DOM here: a
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

// Keys the console program reads as two codes, 224 then the key's scan code:
// plain (Shift changes nothing), and with Ctrl.
const EXTENDED = {
  ArrowUp: [72, 141], ArrowDown: [80, 145], ArrowLeft: [75, 115], ArrowRight: [77, 116], Home: [71, 119],
  End: [79, 117], PageUp: [73, 132], PageDown: [81, 118], Insert: [82, 146], Delete: [83, 147],
};

// Function keys as the console program reads them: F1 to F10 as 0 then 59 to
// 68 (with Shift 84 to 93, with Ctrl 94 to 103), F11 and F12 as 224 then 133
// and 134 (with Shift 135 and 136, with Ctrl 137 and 138).
function functionKey(n, press) {
  const mod = press.ctrlKey ? 2 : press.shiftKey ? 1 : 0;
  return n <= 10 ? [0, 58 + n + [0, 25, 35][mod]] : [224, 122 + n + 2 * mod];
}

// The key codes a press in the console types, or null: Ctrl+C and Ctrl+V
// stay copy and paste, and Alt combinations are the browser's. Arrows,
// function keys and the keys above the arrows give two codes, as the
// console program reads them from the Windows console.
export function keyCodes(press) {
  const { key } = press;
  if (press.altKey || press.metaKey) return null;
  if (key in EXTENDED) return [224, EXTENDED[key][press.ctrlKey ? 1 : 0]];
  const f = /^F([1-9]|1[0-2])$/.exec(key);
  if (f) return functionKey(Number(f[1]), press);
  if (press.ctrlKey && key === "[") return [27];
  if (press.ctrlKey) return /^[a-z]$/i.test(key) && !/^[cv]$/i.test(key) ? [key.toUpperCase().charCodeAt(0) - 64] : null;
  return key === "Enter" ? [13] : key === "Backspace" ? [8] : key.length === 1 ? codes(key) : null;
}
