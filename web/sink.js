// The console area's output: bytes as they come are queued and drawn once a
// frame as one text node, only the last DRAWN characters of them; older nodes
// go, so the cost of a frame never depends on how much has been printed.
// When the run pauses or ends, the last DRAWN characters of its output up to
// the step shown are drawn, and earlier ones, as far back as the run keeps
// them, as the console is scrolled up: what is laid out at once never grows
// with the output, whatever its bytes (a control picture, which may need a
// font of its own, can take ten times a letter's time). Bytes with no
// printable character show as a visible symbol.

const DRAWN = 4000;

// Byte to character: line end and tab as themselves, other control bytes as
// their control picture (U+2400 on), 127 as U+2421, 128..159 as U+FFFD, the
// rest as Latin-1.
const GLYPH = Uint16Array.from({ length: 256 }, (_, b) => (b === 10 || b === 9 ? b : b < 32 ? 0x2400 + b
  : b === 127 ? 0x2421 : b >= 128 && b < 160 ? 0xfffd : b));
const utf16 = new TextDecoder("utf-16le");

export function glyphs(bytes) {
  const codes = new Uint16Array(bytes.length);
  for (let i = 0; i < bytes.length; i++) codes[i] = GLYPH[bytes[i]];
  return utf16.decode(codes);
}

export class Sink {
  constructor(pre) {
    this.pre = pre;
    this.queue = [];
    this.queued = 0;
    this.shown = 0;
    this.stuck = true; // following the end of the output
    this.output = null; // at a pause, the run's output (history.js), drawn from byte `from`
    this.from = 0;
    let was = 0;
    pre.addEventListener("scroll", () => {
      this.stuck = pre.scrollTop + pre.clientHeight >= pre.scrollHeight - 4;
      if (pre.scrollTop < was && pre.scrollTop < pre.clientHeight) this.earlier(); // scrolled up near the top
      was = pre.scrollTop;
    });
  }
  // `bytes` may be a view the caller reuses: what is queued is copied.
  push(bytes) {
    this.output = null;
    const kept = bytes.slice(Math.max(0, bytes.length - DRAWN));
    this.queue.push(kept);
    this.queued += kept.length;
    while (this.queued - this.queue[0].length >= DRAWN) this.queued -= this.queue.shift().length;
  }
  // Draws what is queued.
  draw() {
    if (!this.queued) return;
    let bytes = new Uint8Array(this.queued);
    this.queue.reduce((at, part) => (bytes.set(part, at), at + part.length), 0);
    this.queue = [];
    this.queued = 0;
    if (bytes.length > DRAWN) bytes = bytes.subarray(bytes.length - DRAWN);
    const pre = this.pre;
    pre.append(glyphs(bytes));
    this.shown += bytes.length;
    for (let excess = this.shown - DRAWN; excess > 0 && pre.firstChild; ) {
      const node = pre.firstChild;
      const cut = Math.min(excess, node.length);
      if (cut === node.length) node.remove();
      else node.deleteData(0, cut);
      excess -= cut;
      this.shown -= cut;
    }
    if (this.stuck) pre.scrollTop = 1e9;
  }
  // Shows `output` (history.js) up to byte `to`: its last DRAWN bytes, and
  // earlier ones as the console is scrolled up.
  show(output, to) {
    this.queue = [];
    this.queued = 0;
    this.output = output;
    this.from = Math.max(output.start, to - DRAWN);
    this.pre.textContent = glyphs(output.slice(this.from, to));
    this.shown = to - this.from;
    // Earlier bytes until it can scroll; the page's layout only where there are any.
    while (this.from > output.start && this.pre.scrollHeight <= this.pre.clientHeight && this.earlier());
    this.pre.scrollTop = 1e9;
    this.stuck = true;
  }
  clear() {
    this.queue = [];
    this.queued = 0;
    this.output = null;
    this.pre.textContent = "";
    this.shown = 0;
  }
  // DRAWN bytes more before what is drawn, the view kept where it was;
  // false if there are none.
  earlier() {
    if (!this.output || this.from <= this.output.start) return false;
    const to = this.from;
    this.from = Math.max(this.output.start, to - DRAWN);
    const pre = this.pre, height = pre.scrollHeight;
    pre.prepend(glyphs(this.output.slice(this.from, to)));
    this.shown += to - this.from;
    pre.scrollTop += pre.scrollHeight - height;
    return true;
  }
}
