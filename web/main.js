// The playground page: loads the interpreter (vek.js) and wires the editor,
// the run controls, the machine view, the console, the heat map, the
// examples and the links together.
import { count, Editor } from "./editor.js";
import { ExampleMenu } from "./example-menu.js";
import { HeatView } from "./heat-view.js";
import { Interpreter } from "./host.js";
import { codes, keyCodes, shortcut } from "./keys.js";
import { opening, parse, restore, save, showLink } from "./link.js";
import { MachineView } from "./machine.js";
import { touch } from "./pointer.js";
import { fillReference } from "./reference.js";
import { Run } from "./run.js";
import { Sink } from "./sink.js";

const $ = (id) => document.getElementById(id);
const LIVE_MS = 250; // registers and position redrawn this often during a run

let interpreter = null; // the module, once loaded
let run = null; // the run shown (under way, paused or ended)
let runText = null; // the text in the program box when it started
let aheadFed = ""; // the keys typed ahead that the run has
let drawnAt = 0;
// During a run the memory cells are redrawn every LIVE_MS too, but never at
// its first turn: laying out and painting the grid of cells costs that frame
// about 15 ms, which a run ending before LIVE_MS would wait for.
let cellsAt = 0;

const active = () => run && run.state !== "ended";
// A run to look back on: stopped, and of the program in the box.
const stopped = () => run && ["paused", "waiting", "ended"].includes(run.state) && runText === editor.text;

function note(text, ends = false, canUndo = false) {
  const el = ends ? $("ends") : $("note");
  (ends ? el : $("note-text")).textContent = text;
  el.hidden = !text;
  if (!ends) $("undo").hidden = !canUndo;
}

const SHOWN_PX = 200; // of the console: enough to follow a run's output
const FROZEN = "The program cannot be changed during its run: Stop it first.";

let editor, machine, heat; // once the module says the machine's sizes
const sink = new Sink($("out"));
if (touch) {
  $("info").textContent = "Tap a character (or move the caret to it) to see what it does.";
  $("memory").title = "Memory: tap a cell to watch it";
  drawPress();
}
// The program the page opens with shows at once, however long the module
// takes to load (on a slow network); what is typed meanwhile stays. `first`
// holds what was shown, or null for a box typed into before this ran.
const first = opening(location.hash) ?? { text: "", keys: "" };
first.text = first.text.slice(0, 4096); // a long link is cut once the module says a program's size
for (const [id, key] of [["text", "text"], ["ahead", "keys"]]) {
  if ($(id).value) first[key] = null;
  else $(id).value = first[key];
}

// Until the editor takes over, the count follows the box too, out of the
// page's own figure for a program's size.
const early = () => !editor && ($("count").textContent = count($("text").value, Number($("count").textContent.split("/")[1])));
early();
$("text").addEventListener("input", early);

// The address bar and local storage always hold the current program.
function keep() {
  showLink(editor.text, $("ahead").value);
  save({ text: editor.text, keys: $("ahead").value, breakpoints: [...editor.breakpoints] });
  if (run) run.setBreakpoints(editor.positions());
  setButtons();
  warmSoon();
}

// A moment after the program changes, while nothing runs, it is compiled
// as its Run would compile it and its code rehearsed (host.js warm), so that
// Run starts in optimised code: the engine optimises it meanwhile.
const WARM_MS = 150;
let warmTimer = 0, warmed = null;
function warmSoon() {
  clearTimeout(warmTimer);
  warmTimer = setTimeout(() => {
    if (active() || heat.counting || editor.text === warmed) return;
    warmed = editor.text;
    interpreter.warm(editor.word.bytes);
  }, WARM_MS);
}

// When the focused control disables itself (Run as the run starts, Stop as
// it ends), focus goes on to Stop while there is something to stop, then back
// to where it came from (or Run), not to the page's body.
let focusFrom = null;
function keepFocus(had) {
  if (!had?.disabled) return;
  const to = [had === $("stop") ? focusFrom : $("stop"), $("run")].find((c) => c && !c.disabled);
  if (had !== $("stop")) focusFrom = had;
  to?.focus();
}

function setButtons() {
  const had = document.activeElement;
  const counting = heat.counting;
  const paused = run?.state === "paused" && !counting;
  $("run").disabled = !interpreter || active();
  $("stop").disabled = !active() && !counting;
  $("step").disabled = !interpreter || (active() && !paused);
  $("continue").disabled = !paused && (!back() || counting);
  $("back").disabled = !stopped() || counting || run.steps === 0;
  $("heat").disabled = !stopped() || counting;
  $("time").disabled = !stopped() || counting || run.frontier === 0;
  $("examples").disabled = !!active();
  $("undo").disabled = !!active(); // the program running stays the one shown
  editor.box.readOnly = !!active();
  if (!active() && $("note-text").textContent === FROZEN) note("");
  keepFocus(had);
}

function drawTime() {
  const [step, all] = run ? [run.steps, run.frontier] : [0, 0];
  $("time").max = all;
  $("time").value = step;
  const say = (n) => `step ${n.toLocaleString("en")} of ${all.toLocaleString("en")}`;
  $("time-out").textContent = say(step);
  // A character more than the longest, so it never grows, but never wider
  // than its line, where it wraps.
  $("time-out").style.minWidth = `min(${say(all).length + 1}ch, 100%)`;
}

function drawMachine(cells = true) {
  machine.draw(run, cells);
  if (cells) cellsAt = performance.now();
  editor.mark(run ? run.position : -1);
  drawTime();
  drawnAt = performance.now();
}

function drawPress() {
  const waiting = run?.state === "waiting";
  $("press").textContent = !waiting
    ? touch ? "Keys for the program are typed into Keys typed ahead (while it runs, at their end)."
      : "Keys typed here go to the program while it runs."
    : touch ? "The program waits for a key: type it at the end of Keys typed ahead."
    : document.activeElement === $("console") ? "The program waits for a key: press a key."
      : "The program waits for a key: click here (or Tab here), then press a key, or type it at the end of Keys typed ahead.";
  $("console").classList.toggle("waiting", waiting);
}

let lastState = null;
function onState() {
  const state = run.state;
  // On a touch screen the keys are typed at the end of the keys box.
  $("status").textContent = touch && state === "waiting" ? "Waiting for a key: type it at the end of Keys typed ahead." : run.why;
  // When the run first waits for a key, the console takes the keys, unless
  // they are being typed into a field (the program box takes none during a run).
  const typing = document.activeElement !== editor.box &&
    document.activeElement.matches("input:not([type=range]), textarea");
  if (state === "waiting" && lastState !== "waiting" && !typing) {
    const keys = touch ? $("ahead") : $("console");
    keys.focus();
    if (touch) keys.setSelectionRange(keys.value.length, keys.value.length);
  }
  lastState = state;
  // For the tests: how many programs ran as compiled code, and how many ran;
  // for the benchmark, the ms the run's slices took.
  const { all, compiled } = interpreter.runs();
  Object.assign(document.body.dataset, { runs: all, compiledRuns: compiled, sliceMs: run.sliceMs.toFixed(1) });
  drawPress();
  if (state === "running") {
    // Nothing of it shows before the run gives the page its turn, whose
    // frame draws the output and the machine as they are then.
    machine.since(run);
    drawnAt = -Infinity;
    cellsAt = performance.now();
  } else drawMachine();
  setButtons();
  if (state !== "running") showOutput(); // last: it lays the page out, with the rest changed
  if (heat.on && state === "running") heat.set(false);
}

// An ended run looked back on, not at its end: Step and Continue go on from there.
const back = () => stopped() && run.state === "ended" && run.steps < run.frontier;

function start(paused, request) {
  if (!interpreter || active()) return;
  if ($("undo").hidden) note(""); // a note that offers Undo still holds
  heat.set(false);
  sink.clear();
  aheadFed = $("ahead").value;
  const current = new Run(interpreter, {
    text: editor.bytes,
    keys: codes(aheadFed),
    breakpoints: editor.positions(),
    watches: machine.watches,
    hooks: {
      output: (bytes) => sink.push(bytes),
      state: onState,
      note: (text) => note(text),
      frame: () => {
        sink.draw();
        const now = performance.now();
        if (now - drawnAt > LIVE_MS) drawMachine(now - cellsAt > LIVE_MS);
      },
      rewound: showOutput,
    },
  });
  if (request) current.adopt(run, run.steps, request);
  run = current;
  runText = editor.text;
  machine.since(null);
  current.start(paused);
  if (!paused) showConsole();
}

// A run's output is what its user watches: where little of the console
// shows (a phone, a long program), the page scrolls it up, its foot with the
// latest output too, but no further than puts the status and Stop at the top.
// At the next frame, which lays the page out anyway: measuring now would lay
// it out before the run's first slice.
function showConsole() {
  requestAnimationFrame(() => {
    const at = $("console").getBoundingClientRect();
    if (innerHeight - at.top >= Math.min(at.height, SHOWN_PX)) return;
    const below = at.bottom - innerHeight;
    window.scrollBy(0, Math.max(0, Math.min(below + 8, $("status").getBoundingClientRect().top - 8)));
  });
}

// The output up to the step shown, once the run pauses, waits or ends.
function showOutput() {
  sink.show(run.output, run.outputShown);
}

// Time travel: the machine, the output and the highlight as after `step` steps.
let travelTo = null;
function travel(step) {
  if (!stopped()) return;
  if (travelTo === null) {
    requestAnimationFrame(() => {
      run.travel(travelTo);
      travelTo = null;
      showOutput();
      drawMachine();
      setButtons();
      const heatNote = heat.on ? ` The heat map shows all ${run.frontier.toLocaleString("en")} steps.` : "";
      // Back at the end of an ended run, the status says how it ended again.
      const at = run.state === "ended" && run.steps === run.frontier ? run.why
        : `Back at step ${run.steps.toLocaleString("en")}, before position ${run.position < 0 ? "end" : run.position}.`;
      $("status").textContent = `${at}${heatNote}`;
    });
  }
  travelTo = step;
}

function step() {
  if (back()) start(false, "step");
  else if (!run || !active()) start(true);
  else if (run.state === "paused") run.step();
}

// The controls, the shortcuts and the console's keys, once there is an editor.
function wire() {
  const actions = {
    run: () => !heat.counting && start(false),
    stop: () => (heat.counting ? heat.cancel() : active() && run.stop()),
    step: () => !heat.counting && step(),
    continue: () => {
      if (heat.counting) return;
      if (back()) {
        start(false, "go");
      } else if (run?.state === "paused") {
        run.go();
        showConsole();
      }
    },
    back: () => !heat.counting && stopped() && run.steps > 0 && travel(run.steps - 1),
    breakpoint: () => editor.toggle(),
    heat: () => stopped() && heat.set(!heat.on),
  };
  for (const [id, action] of Object.entries(actions)) $(id).onclick = action;
  $("time").oninput = () => travel(Number($("time").value));
  // During a run, what is typed at the end of the keys typed ahead goes to the
  // program too (on a phone that is where the keyboard comes up).
  $("ahead").oninput = () => {
    const now = $("ahead").value;
    if (active() && now.startsWith(aheadFed) && now.length > aheadFed.length) run.press(codes(now.slice(aheadFed.length)));
    aheadFed = now;
    keep();
  };

  // Shortcuts work everywhere; other keys go to the program only in the console.
  document.addEventListener("keydown", (e) => {
    const control = shortcut(e, active() || heat.counting);
    if (control) {
      e.preventDefault();
      actions[control]();
      return;
    }
    if (e.target !== $("console") || !active()) return;
    const keys = keyCodes(e);
    if (keys === null) return;
    e.preventDefault();
    run.press(keys);
  }, true);
  $("console").addEventListener("paste", (e) => {
    if (!active()) return;
    e.preventDefault();
    run.press(codes(e.clipboardData.getData("text/plain")));
  });
  // The box is read-only during a run (the program running stays the one
  // shown): typing into it says so instead of doing nothing.
  editor.box.addEventListener("beforeinput", () => editor.box.readOnly && note(FROZEN));
  $("console").addEventListener("focus", drawPress);
  $("console").addEventListener("blur", drawPress);

  $("copy").onclick = async () => {
    try {
      await navigator.clipboard.writeText(location.href);
      note("The link to this program is copied.");
    } catch {
      note(`The link: ${location.href}`);
    }
  };
}

// The program from the address, else the one kept from the last visit; but
// what was typed while the page loaded stays (`typed`: whether the program
// and the keys were, and whether over the program shown at first).
function openLink(event, typed = {}) {
  if (active()) run.stop();
  const got = parse(location.hash);
  const link = got instanceof Error ? null : got;
  const saved = event ? null : restore();
  const unread = got instanceof Error ? "The address's link could not be read, so the program was kept as it was." : "";
  if (typed.text) { // the note after the edit it is about
    editor.changed();
    return note(link && !typed.shown ? "The link's program was not opened: what you typed while the page loaded is kept." : unread);
  }
  note(unread);
  const use = event ? link : opening(location.hash);
  if (!use) return keep();
  // The breakpoints kept go with the program they were set in (a reload
  // opens the address, which holds the program but not its breakpoints).
  const kept = event ? { text: editor.text, breakpoints: [...editor.breakpoints] } : saved;
  if (!typed.keys) $("ahead").value = use.keys;
  editor.set(use.text, kept && kept.text === use.text ? kept.breakpoints ?? kept.breaks ?? [] : []); // breaks: kept by older pages
}

function setup() {
  let menu = null;
  editor = new Editor(() => {
    if (!active()) heat.set(false);
    menu?.edited();
    keep();
  }, note, interpreter.positions);
  machine = new MachineView((watches) => run?.setWatches(watches), interpreter.cells, interpreter.watchLimit);
  heat = new HeatView(editor, () => run, setButtons);
  wire();
  menu = new ExampleMenu(editor, note, keep);
  fillReference($("reference"));
  openLink(null, { text: editor.text !== first.text, keys: $("ahead").value !== first.keys, shown: first.text !== null });
  window.addEventListener("hashchange", openLink);
  for (const id of ["copy", "breakpoint", "watch-what", "watch-add"]) $(id).disabled = false;
  machine.draw(null);
  drawTime();
  setButtons();
  warmSoon();
}

// Where the page's policy refuses compiling WebAssembly (the browser reports
// it as "wasm-eval"), runs go on in the module's own loops without trying
// again, silently.
document.addEventListener("securitypolicyviolation", (e) => {
  if (e.blockedURI === "wasm-eval") interpreter?.compilingRefused();
});

// The page works once the interpreter has loaded: the machine's sizes are its.
Interpreter.load(globalThis.createVek).then((loaded) => {
  interpreter = loaded;
  setup();
  $("status").textContent = "Ready.";
  document.body.dataset.ready = "yes";
}, () => {
  $("status").textContent = "The interpreter could not be loaded.";
});
