// Links and saving. The address's fragment carries the keys typed ahead and
// the program: #k=KEYS&p=PROGRAM (or just #p=PROGRAM), the program last and
// running to the end, so it needs no separator escaped (but for a program
// that would read as an older link, whose & is escaped). Printable ASCII
// stays as it is, except % and what an address cannot hold (" < > `);
// every other byte is %XX. The last program is also kept in local storage.

const STORE = "vek-playground";
const hex = (b) => "%" + b.toString(16).toUpperCase().padStart(2, "0");

function encode(text, also = "") {
  return Array.from(text, (ch) => {
    const b = ch.charCodeAt(0);
    return b > 32 && b < 127 && !`"<>\`%${also}`.includes(ch) ? ch : hex(b);
  }).join("");
}

// Older links: #p=...&k=..., every byte but A-Z a-z 0-9 - _ . ~ escaped.
const OLD = /^p=([\w.~%-]*)&k=([\w.~%-]*)$/;

// %XX is a byte; any other character stands for itself.
function decode(text) {
  return text.replace(/%([0-9A-Fa-f]{2})/g, (_, h) => String.fromCharCode(parseInt(h, 16)));
}

export function fragment(text, keys) {
  if (keys) return `#k=${encode(keys, "&")}&p=${encode(text)}`;
  const link = `p=${encode(text)}`;
  return "#" + (OLD.test(link) ? `p=${encode(text, "&")}` : link);
}

// { text, keys } from a fragment, null if there is none, or an Error.
export function parse(hash) {
  const f = hash.replace(/^#/, "");
  if (!f) return null;
  // No link has a % that starts no %XX: such an address was mangled.
  if (/%(?![0-9A-Fa-f]{2})/.test(f)) return new Error("a % that is not an escape");
  const old = OLD.exec(f);
  if (old) return { text: decode(old[1]), keys: decode(old[2]) };
  const m = /^(?:k=([^&]*)&)?p=(.*)$/s.exec(f);
  if (!m) return new Error("not a program link");
  return { text: decode(m[2]), keys: decode(m[1] ?? "") };
}

// Puts the program into the address bar without a new history entry.
export function showLink(text, keys) {
  const link = fragment(text, keys);
  if (location.hash !== link) history.replaceState(null, "", link);
}

export function save(state) {
  try {
    localStorage.setItem(STORE, JSON.stringify(state));
  } catch {} // storage refused: nothing is kept
}

// What the page opens with, { text, keys }: the address's link, else what
// was kept; null when there is neither.
export function opening(hash) {
  const got = parse(hash);
  if (got && !(got instanceof Error)) return got;
  const saved = restore();
  return saved && { text: saved.text ?? "", keys: saved.keys ?? "" };
}

export function restore() {
  try {
    return JSON.parse(localStorage.getItem(STORE)) ?? null;
  } catch {
    return null;
  }
}
