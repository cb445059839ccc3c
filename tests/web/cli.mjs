// The web build's interpreter as a console program under node, with no
// terminal: program text and keys from standard input, as through a pipe.
// The module's contract is web/host.js's. A program that did not run as
// compiled code ends it with status 3, as vek_native does: a fallback cannot
// hide a broken WebAssembly back end.
//   node cli.mjs path/to/vek.js [ARG...]
import { readFileSync, writeSync } from "node:fs";
import { createRequire } from "node:module";
import { dirname, resolve } from "node:path";
import { importPage } from "./modules.mjs";

const [path, ...args] = process.argv.slice(2);
let input = Buffer.alloc(0);
try {
  input = readFileSync(0);
} catch {} // standard input closed: no input at all
let at = 0;
const { Interpreter } = await importPage(dirname(path), "host.js");
const interpreter = await Interpreter.load(createRequire(import.meta.url)(resolve(path)),
  { wasmBinary: readFileSync(path.replace(/\.js$/, ".wasm")) });
await interpreter.run({
  keyboard: false,
  key: () => -1,
  keyWaiting: () => true,
  read: (cap) => input.subarray(at, (at = Math.min(at + cap, input.length))),
  write: (bytes) => {
    for (let done = 0; done < bytes.length; ) done += writeSync(1, bytes, done);
  },
  writeErr: (text) => writeSync(2, text),
  nextSlice: (n) => (n < 0 ? 0 : 1e9),
  wait: async () => {},
}, 1 + args.length);
const { all, compiled } = interpreter.runs();
if (compiled < all) {
  writeSync(2, "cli: the program did not run as compiled code\n");
  process.exitCode = 3;
}
