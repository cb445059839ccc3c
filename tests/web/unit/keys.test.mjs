// The keyboard map: the page's shortcuts, and the key codes the console
// types for the program.
import assert from "node:assert/strict";
import { test } from "node:test";
import { importWeb } from "../modules.mjs";

const { codes, keyCodes, shortcut } = await importWeb("keys.js");
// "Control+Shift+F10" as a key press.
const press = (name) => {
  const parts = name.split("+");
  const key = parts.pop() || "+";
  const has = (mod) => parts.includes(mod);
  return { key, ctrlKey: has("Control"), metaKey: has("Meta"), altKey: has("Alt"), shiftKey: has("Shift") };
};

test("shortcuts: the run's controls from anywhere, Escape only while something can stop", () => {
  const want = {
    "Control+Enter": "run", "Meta+Enter": "run", "Control+Shift+Enter": "run", F10: "step", "Shift+F10": "back",
    F8: "continue", F9: "breakpoint", Enter: null, a: null, F5: null, "Control+r": null,
  };
  for (const [name, control] of Object.entries(want)) assert.equal(shortcut(press(name), false), control, name);
  assert.equal(shortcut(press("Escape"), true), "stop");
  assert.equal(shortcut(press("Escape"), false), null, "Escape with nothing to stop is the browser's");
});

test("the console's keys are the console program's codes; copy, paste and Alt stay the browser's", () => {
  const want = {
    a: [97], A: [65], " ": [32], "~": [126], "+": [43], Enter: [13], "Shift+Enter": [13], Backspace: [8], "é": [233],
    "ÿ": [255], "€": [26], "Control+a": [1], "Control+A": [1], "Control+d": [4], "Control+z": [26], "Control+[": [27],
    "Control+c": null, "Control+C": null, "Control+v": null, "Control+1": null, "Meta+a": null, "Alt+a": null,
    "Control+Alt+a": null, Tab: null, Escape: null, Shift: null, "Alt+ArrowLeft": null, "Meta+F1": null,
    // Arrows and the keys above them: 224 then the scan code; function keys 0 (F11, F12: 224) then theirs.
    ArrowUp: [224, 72], "Shift+ArrowUp": [224, 72], "Control+ArrowLeft": [224, 115], Delete: [224, 83],
    PageDown: [224, 81], "Control+Home": [224, 119], F1: [0, 59], F7: [0, 65], "Shift+F1": [0, 84],
    "Control+F1": [0, 94], "Shift+F10": [0, 93], F11: [224, 133], F12: [224, 134], "Shift+F12": [224, 136],
    "Control+F11": [224, 137], F13: null,
  };
  for (const [name, code] of Object.entries(want)) assert.deepEqual(keyCodes(press(name)), code, name);
});

test("text becomes key codes: one a character, line ends CR, beyond Latin-1 the no-op byte", () => {
  assert.deepEqual(codes("a\nÿĀ€😀"), [97, 13, 255, 26, 26, 26]);
  assert.deepEqual(codes(""), []);
});
