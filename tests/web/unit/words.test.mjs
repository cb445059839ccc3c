// The word rule: the program is the first word of its line, as the console
// program reads it.
import assert from "node:assert/strict";
import { test } from "node:test";
import { importWeb } from "../modules.mjs";

const { word } = await importWeb("words.js");
const bytes = (text) => Uint8Array.from(text, (ch) => ch.charCodeAt(0));

test("the program is the first word: positions count from its first byte", () => {
  const cases = [
    // text, size, start, end, program
    ["!!N^", 700, 0, 4, "!!N^"],
    [" \t\n\v\f\r!!N^ x", 700, 6, 10, "!!N^"],
    ["!!\tN^", 700, 0, 2, "!!"],
    ["!!\rN^", 700, 0, 2, "!!"],
    // Bytes that are not white space to the console: NUL, backspace, SO, the no-op byte, NBSP, NEL.
    ["\0\b\x0e!\x1a\xa0\x85", 700, 0, 7, "\0\b\x0e!\x1a\xa0\x85"],
    ["", 700, 0, 0, ""],
    [" \n ", 700, 3, 3, ""],
    // A word longer than the program holds is cut; where it ends stays its end.
    ["  abcdef g", 4, 2, 8, "abcd"],
  ];
  for (const [text, size, start, end, program] of cases) {
    const got = word(bytes(text), size);
    assert.deepEqual([got.start, got.end, [...got.bytes]], [start, end, [...bytes(program)]], JSON.stringify(text));
  }
});
