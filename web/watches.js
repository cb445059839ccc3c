// Watches are numbered as the module numbers them (web/module.cpp): 0..3
// the registers a..d, 4 + i the memory cell mem[i]. The one place the page
// states it. No DOM here.

const REGISTERS = "abcd";

export const cellWatch = (i) => REGISTERS.length + i;
// The cell a watch is on, or -1 for a register.
export const watchedCell = (w) => (w < REGISTERS.length ? -1 : w - REGISTERS.length);

export const watchName = (w) => (w < REGISTERS.length ? REGISTERS[w] : `mem[${watchedCell(w)}]`);

// The watch on what a user typed: a register's letter or a cell's index
// below `cells`; -1 for anything else.
export function watchNamed(text, cells) {
  const what = text.trim().toLowerCase();
  if (what.length === 1 && REGISTERS.includes(what)) return REGISTERS.indexOf(what);
  return /^\d+$/.test(what) && Number(what) < cells ? cellWatch(Number(what)) : -1;
}

// The value watched, of a machine with register(i) and memory().
export const watchedValue = (machine, w) =>
  w < REGISTERS.length ? machine.register(w) : machine.memory()[watchedCell(w)];
