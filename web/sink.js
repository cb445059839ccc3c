// The console area's output: bytes as they come are queued and drawn once a
// frame as one text node, only the last LIVE characters of them; older nodes
// go, so the cost of a frame never depends on how much has been printed.
// When the run pauses or ends, more of its output is shown at once. Bytes
// with no printable character show as a visible symbol.

const LIVE = 4000; // characters kept on screen while a run goes on
export const SHOWN = 100000; // characters shown when it pauses or ends

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
    pre.addEventListener("scroll", () => {
      this.stuck = pre.scrollTop + pre.clientHeight >= pre.scrollHeight - 4;
    });
  }
  push(bytes) {
    this.queue.push(bytes);
    this.queued += bytes.length;
    while (this.queued - this.queue[0].length >= LIVE) this.queued -= this.queue.shift().length;
  }
  // Draws what is queued.
  draw() {
    if (!this.queued) return;
    let bytes = new Uint8Array(this.queued);
    this.queue.reduce((at, part) => (bytes.set(part, at), at + part.length), 0);
    this.queue = [];
    this.queued = 0;
    if (bytes.length > LIVE) bytes = bytes.subarray(bytes.length - LIVE);
    const pre = this.pre;
    pre.append(glyphs(bytes));
    this.shown += bytes.length;
    for (let excess = this.shown - LIVE; excess > 0 && pre.firstChild; ) {
      const node = pre.firstChild;
      const cut = Math.min(excess, node.length);
      if (cut === node.length) node.remove();
      else node.deleteData(0, cut);
      excess -= cut;
      this.shown -= cut;
    }
    if (this.stuck) pre.scrollTop = 1e9;
  }
  // Shows exactly these bytes, the last SHOWN of them (a run's output up
  // to some step, when it pauses or ends).
  reset(bytes) {
    this.queue = [];
    this.queued = 0;
    this.pre.textContent = glyphs(bytes.length > SHOWN ? bytes.subarray(bytes.length - SHOWN) : bytes);
    this.shown = Math.min(bytes.length, SHOWN);
    this.pre.scrollTop = 1e9;
    this.stuck = true;
  }
}
