// The web build's interpreter as a console program under node, with no
// terminal: program text and keys from standard input, as through a pipe.
//   node cli.mjs path/to/vek.js [ARG...]
import { readFileSync, writeSync } from "node:fs";
import { createRequire } from "node:module";

const [path, ...args] = process.argv.slice(2);
let input = Buffer.alloc(0);
try {
  input = readFileSync(0);
} catch {} // standard input closed: no input at all
let at = 0;
const vek = await createRequire(import.meta.url)(path)({
  wasmBinary: readFileSync(path.replace(/\.js$/, ".wasm")),
  vek: {
    keyboard: false,
    keyWaiting: () => true,
    read: (cap) => input.subarray(at, (at = Math.min(at + cap, input.length))),
    write: (bytes) => {
      for (let done = 0; done < bytes.length; ) done += writeSync(1, bytes, done);
    },
    writeErr: (text) => writeSync(2, text),
    nextSlice: (n) => (n < 0 ? 0 : 1e9),
    wait: async () => {},
  },
});
await vek.ccall("vek_run", null, ["number"], [1 + args.length], { async: true });
