// Links: every program and its keys come back from the link made of them,
// older links still open, and a mangled address is told apart; the program
// kept in local storage.
import assert from "node:assert/strict";
import { test } from "node:test";
import { importWeb } from "../modules.mjs";

const { fragment, parse, restore, save } = await importWeb("link.js");
const ALL_BYTES = String.fromCharCode(...Array.from({ length: 256 }, (_, i) => i));

test("a link gives back its program and keys, whatever bytes they hold", () => {
  const texts = [ALL_BYTES, "", "!!N^", "..&k=..", "p=x", "k=1&p=2", "x&k=y", "%41", "%", "#p=1", "a b\n", "&", "=&="];
  const keys = ["", "ab", "&p=x", "k=&p=", "%zz", "\n\r\t", "&", ALL_BYTES];
  for (const text of texts) {
    for (const k of keys) {
      const link = fragment(text, k);
      assert.match(link, /^#[!-~]*$/, "printable ASCII only, no white space");
      assert.doesNotMatch(link, /["<>`]/, "nothing an address cannot hold");
      assert.deepEqual(parse(link), { text, keys: k }, JSON.stringify([text, k]));
    }
  }
});

test("printable programs stay readable in the link", () => {
  assert.equal(fragment("!!N^*@+?", ""), "#p=!!N^*@+?");
  assert.equal(fragment("!!N^", "12"), "#k=12&p=!!N^");
});

test("older links open; no link is null, a mangled one an Error", () => {
  assert.deepEqual(parse("#p=%21%21N%5E&k=a%26b"), { text: "!!N^", keys: "a&b" });
  assert.deepEqual(parse("#p=%2a-_.~%3b&k=x-y~"), { text: "*-_.~;", keys: "x-y~" }, "what older links did not escape");
  assert.deepEqual(parse("#p=!!N^"), { text: "!!N^", keys: "" });
  assert.equal(parse(""), null);
  assert.equal(parse("#"), null);
  for (const hash of ["#p=50%", "#p=%g1", "#k=%2&p=x", "#x=1", "#k=1", "#q=1&p=2"]) {
    assert.ok(parse(hash) instanceof Error, hash);
  }
});

test("the program is kept in local storage, and a storage that refuses keeps nothing", (t) => {
  const store = new Map();
  t.after(() => delete globalThis.localStorage);
  globalThis.localStorage = { getItem: (k) => store.get(k) ?? null, setItem: (k, v) => store.set(k, String(v)) };
  assert.equal(restore(), null, "nothing kept yet");
  const state = { text: "!!N^", keys: "a", breakpoints: [2] };
  save(state);
  assert.deepEqual(restore(), state);
  store.set([...store.keys()][0], "{not json");
  assert.equal(restore(), null, "something else kept under the name");
  globalThis.localStorage = { getItem: () => { throw new Error("denied"); }, setItem: () => { throw new Error("full"); } };
  assert.doesNotThrow(() => save(state));
  assert.equal(restore(), null);
});
