// The console area's output: bytes as they come are queued and drawn once a
// frame as one text node, only the last SHOWN characters of them; older
// nodes go, so the cost of a frame never depends on how much has been
// printed. Bytes with no printable character show as a visible symbol.

const SHOWN = 100000; // characters kept on screen

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
  }
  push(bytes) {
    this.queue.push(bytes);
    this.queued += bytes.length;
    while (this.queued - this.queue[0].length >= SHOWN) this.queued -= this.queue.shift().length;
  }
  // Draws what is queued.
  draw() {
    if (!this.queued) return;
    let bytes = new Uint8Array(this.queued);
    this.queue.reduce((at, part) => (bytes.set(part, at), at + part.length), 0);
    this.queue = [];
    this.queued = 0;
    if (bytes.length > SHOWN) bytes = bytes.subarray(bytes.length - SHOWN);
    const pre = this.pre;
    const stuck = pre.scrollTop + pre.clientHeight >= pre.scrollHeight - 4;
    pre.append(glyphs(bytes));
    this.shown += bytes.length;
    while (this.shown > SHOWN && pre.firstChild) {
      this.shown -= pre.firstChild.textContent.length;
      pre.firstChild.remove();
    }
    if (stuck) pre.scrollTop = pre.scrollHeight;
  }
  // Shows exactly these bytes (a run's output up to some step).
  reset(bytes) {
    this.queue = [];
    this.queued = 0;
    this.pre.textContent = "";
    this.shown = 0;
    this.push(bytes.length > SHOWN ? bytes.subarray(bytes.length - SHOWN) : bytes);
    this.draw();
    this.pre.scrollTop = this.pre.scrollHeight;
  }
}
