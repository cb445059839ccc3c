// The program as the dialogue reads it from its line (console/input.cpp's
// ReadWord): leading white space skipped, the word up to the next white
// space, at most `size` bytes of it kept. Positions count from the word's
// first byte. No DOM here.

const isSpace = (byte) => byte === 32 || (byte >= 9 && byte <= 13);

// Where the word starts and ends in `bytes`, and the bytes kept of it.
export function word(bytes, size) {
  let start = 0;
  while (start < bytes.length && isSpace(bytes[start])) start++;
  let end = start;
  while (end < bytes.length && !isSpace(bytes[end])) end++;
  return { start, end, bytes: bytes.slice(start, Math.min(end, start + size)) };
}
