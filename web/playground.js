// The playground page: the interpreter (vek.js, WebAssembly) runs the whole
// dialogue as the console program does; between slices of a run this page
// decides whether it goes on, pauses at a breakpoint, steps, waits for a key
// or stops, and shows the machine.
"use strict";

const MAX = 700;
const OUTPUT_KEPT = 200000; // bytes of output the page keeps on screen
const $ = (id) => document.getElementById(id);
const KINDS = [["arith", "!*<)-+$#"], ["copy", "@&%{}"], ["memory", "(>"], ["output", ".:N"],
  ["input", ",;"], ["flow", "?=^"]];
const KEYS_BY_NAME = { Enter: 13, Backspace: 8, Tab: 9, Escape: 27 };

let program = []; // the program text as bytes
const breaks = new Set();
let keys = []; // keystrokes not yet read
let run = null; // the run under way: { mode, stop, steps, position, ... }
let out = [];
let outLength = 0;
let vek = null;

function kind(byte) {
  const entry = KINDS.find(([, chars]) => chars.includes(String.fromCharCode(byte)));
  return entry ? entry[0] : "noop";
}

function note(text) {
  $("note").textContent = text || "";
  $("note").hidden = !text;
}

// Text in the box to bytes: one byte a character; characters beyond Latin-1
// become the no-op byte 0x1a. At most 700 are kept.
function setProgram(text, fromBox) {
  const notes = [];
  let bytes = Array.from(text, (ch) => (ch.charCodeAt(0) < 256 ? ch.charCodeAt(0) : 0x1a));
  if (bytes.some((b, i) => b === 0x1a && text[i] !== "\x1a")) notes.push("characters beyond Latin-1 became the no-op byte 0x1a");
  if (bytes.length > MAX) {
    notes.push(`the text was ${bytes.length} characters long; it was cut at ${MAX}`);
    bytes = bytes.slice(0, MAX);
  }
  program = bytes;
  const shown = String.fromCharCode(...bytes);
  if (!fromBox || $("text").value !== shown) $("text").value = shown;
  $("count").textContent = `${bytes.length} / ${MAX}`;
  for (const b of [...breaks]) if (b >= bytes.length) breaks.delete(b);
  note(notes.join("; "));
  drawProgram();
}

function visible(byte) {
  if (byte > 32 && byte < 127) return String.fromCharCode(byte);
  return byte === 32 ? "\u2423" : byte < 32 ? String.fromCharCode(0x2400 + byte) : "\u00b7";
}

function drawProgram() {
  const view = $("view");
  view.replaceChildren(...program.map((byte, i) => {
    const span = document.createElement("span");
    span.textContent = visible(byte);
    span.className = `k-${kind(byte)}` + (breaks.has(i) ? " break" : "");
    span.title = `position ${i}, byte ${byte}`;
    span.dataset.pos = i;
    return span;
  }));
  markPosition();
}

function markPosition() {
  for (const span of $("view").querySelectorAll(".at")) span.classList.remove("at");
  const paused = run && (run.mode === "paused" || run.waiting);
  const span = paused && $("view").children[run.position];
  if (span) span.classList.add("at");
}

// Output as the console shows it; bytes that are not printable as their hex.
function drawOutput() {
  const bytes = new Uint8Array(outLength);
  let at = 0;
  for (const chunk of out) bytes.set(chunk, (at += chunk.length) - chunk.length);
  let html = "";
  for (const byte of bytes) {
    if (byte === 10 || (byte >= 32 && byte < 127)) {
      html += byte === 60 ? "&lt;" : byte === 38 ? "&amp;" : String.fromCharCode(byte);
    } else {
      html += `<span class="raw">${byte.toString(16).padStart(2, "0")}</span>`;
    }
  }
  $("out").innerHTML = html;
  $("out").scrollTop = $("out").scrollHeight;
}

function write(bytes) {
  out.push(bytes);
  outLength += bytes.length;
  while (outLength - out[0].length >= OUTPUT_KEPT) outLength -= out.shift().length;
}

function drawMachine() {
  const names = ["a", "b", "c", "d"];
  names.forEach((name, i) => {
    const value = vek._vek_register(i);
    const ch = value >= 32 && value < 127 ? ` '${String.fromCharCode(value)}'` : "";
    $(`reg-${name}`).textContent = value + ch;
  });
  $("steps").textContent = run ? run.steps : "";
  $("position").textContent = run && run.position >= 0 ? run.position : "";
  const cells = new Int32Array(vek.HEAP32.buffer, vek._vek_memory(), 1025);
  const memory = $("memory");
  if (memory.children.length !== 1025) {
    memory.replaceChildren(...Array.from(cells, () => document.createElement("div")));
  }
  cells.forEach((value, i) => {
    const cell = memory.children[i];
    cell.textContent = value;
    cell.title = `mem[${i}] = ${value}`;
    cell.className = value ? "nz" : "";
  });
}

function status(text) {
  $("status").textContent = text;
}

function setButtons() {
  const active = run !== null;
  $("run").disabled = active;
  $("stop").disabled = !active;
  $("step").disabled = active && run.mode !== "paused";
  $("continue").disabled = !active || run.mode !== "paused";
}

function pause(why) {
  run.mode = "paused";
  status(why);
  drawMachine();
  drawOutput();
  markPosition();
  setButtons();
}

// Between slices: a step budget, 0 to end the run, or -1 - ms to be asked
// again after ms milliseconds. A run is "running", "paused", "pausing" (at
// the next position) or "step" (one position, then pausing).
function nextSlice(n, taken) {
  run.steps += taken;
  run.position = n;
  if (n < 0 || run.stop) return 0;
  if (run.mode === "paused") return -21;
  if (run.mode === "pausing") {
    pause(`Paused before position ${n}.`);
    return -21;
  }
  const byte = run.program[n];
  if ((byte === 44 || byte === 59) && keys.length === 0) {
    if (!run.waiting) {
      run.waiting = true;
      status("Waiting for a key: press one (Enter gives 13).");
      drawOutput();
      drawMachine();
      markPosition();
    }
    return -21;
  }
  if (run.waiting) {
    run.waiting = false;
    status("Running.");
    markPosition();
  }
  if (run.mode === "step") {
    run.mode = "pausing";
    return 1;
  }
  if (breaks.has(n) && run.leaving !== n) {
    run.leaving = n;
    pause(`Paused at the breakpoint at position ${n}.`);
    return -21;
  }
  run.leaving = -1;
  const now = performance.now();
  if (now - run.yielded > 30) {
    run.yielded = now;
    drawOutput();
    return -1;
  }
  return breaks.size ? 1 : 1e6;
}

async function start(mode) {
  out = [];
  outLength = 0;
  keys = Array.from($("ahead").value, (ch) => (ch === "\n" ? 13 : ch.charCodeAt(0) & 255));
  const stdin = new Uint8Array([...program, 10]);
  let read = 0;
  run = { mode, program: program.slice(), stop: false, waiting: false, steps: 0, position: 0,
    leaving: -1, yielded: performance.now() };
  vek.vek.read = (cap) => {
    const part = stdin.subarray(read, Math.min(read + cap, stdin.length));
    if (read === 0) write(stdin.slice()); // shown after the prompt, as typed
    read += part.length;
    return part;
  };
  status("Running.");
  setButtons();
  await vek.ccall("vek_run", null, ["number"], [1], { async: true });
  const stopped = run.stop;
  run.mode = "ended";
  drawOutput();
  drawMachine();
  run = null;
  status(stopped ? "Stopped." : "The program has ended.");
  markPosition();
  setButtons();
}

function onKey(event) {
  const target = event.target;
  if (!run || target === $("text") || target === $("ahead") || target === $("link")) return;
  const code = KEYS_BY_NAME[event.key] ?? (event.key.length === 1 ? event.key.charCodeAt(0) & 255 : null);
  if (code === null || event.ctrlKey || event.metaKey || event.altKey) return;
  keys.push(code);
  event.preventDefault();
}

// Links carry the program (and keys typed ahead) in the fragment, each byte
// outside A-Z a-z 0-9 - _ . ~ as %XX.
function encode(bytes) {
  return Array.from(bytes, (b) => (/[A-Za-z0-9_.~-]/.test(String.fromCharCode(b))
    ? String.fromCharCode(b) : "%" + b.toString(16).toUpperCase().padStart(2, "0"))).join("");
}

function decode(text) {
  if (!/^([A-Za-z0-9_.~!*'()-]|%[0-9A-Fa-f]{2})*$/.test(text)) throw new Error("bad escape");
  return text.replace(/%([0-9A-Fa-f]{2})/g, (_, hex) => String.fromCharCode(parseInt(hex, 16)));
}

function openLink() {
  const fragment = location.hash.slice(1);
  if (!fragment) return;
  try {
    const fields = Object.fromEntries(fragment.split("&").map((field) => {
      const [name, value, extra] = field.split("=");
      if (!["p", "k"].includes(name) || value === undefined || extra !== undefined) throw new Error(name);
      return [name, decode(value)];
    }));
    if (fields.p === undefined) throw new Error("no program");
    setProgram(fields.p, false);
    $("ahead").value = fields.k ?? "";
    if (fields.p.length > MAX) note(`The link's program was ${fields.p.length} characters long; it was cut at ${MAX}.`);
  } catch {
    setProgram("", false);
    note("The link could not be read, so the program is empty.");
  }
}

function share() {
  const keysAhead = Array.from($("ahead").value, (ch) => ch.charCodeAt(0) & 255);
  const base = location.href.split("#")[0];
  $("link").value = `${base}#p=${encode(program)}` + (keysAhead.length ? `&k=${encode(keysAhead)}` : "");
  $("link").select();
}

async function main() {
  for (const example of EXAMPLES) $("examples").add(new Option(example.name, example.name));
  $("examples").onchange = () => {
    const example = EXAMPLES.find((e) => e.name === $("examples").value);
    if (!example) return;
    setProgram(example.text, false);
    $("ahead").value = example.keys;
    $("about").textContent = example.about + (example.keys ? ` (keys: ${JSON.stringify(example.keys)})` : "");
  };
  $("text").oninput = () => setProgram($("text").value, true);
  $("view").onclick = (event) => {
    const pos = Number(event.target.dataset.pos);
    if (Number.isNaN(pos)) return;
    if (!breaks.delete(pos)) breaks.add(pos);
    drawProgram();
  };
  $("run").onclick = () => start("running");
  $("stop").onclick = () => {
    if (run) run.stop = true;
  };
  $("step").onclick = () => {
    if (!run) start("pausing");
    else if (run.mode === "paused") run.mode = "step";
    setButtons();
  };
  $("continue").onclick = () => {
    if (run && run.mode === "paused") {
      run.mode = "running";
      status("Running.");
      markPosition();
      setButtons();
    }
  };
  $("share").onclick = share;
  document.addEventListener("keydown", onKey);
  window.addEventListener("hashchange", openLink);
  vek = await createVek({
    vek: {
      keyboard: true,
      key: () => (keys.length ? keys.shift() : -1), // the closing wait takes no key here
      keyWaiting: () => keys.length > 0,
      read: () => new Uint8Array(0),
      write: (bytes) => write(bytes),
      writeErr: (text) => note(text),
      nextSlice,
    },
  });
  setProgram("", false);
  openLink();
  drawMachine();
  document.body.dataset.ready = "yes";
}

main();
